// The Ogg Vorbis, Opus and ACM (compressed WAVE and MP3) converters against the reference decoders'
// own output, their loop comments, seeks, the MP3 frame headers and the ACM look-ahead decoder.
// Tolerances, in 16-bit steps: Vorbis against oggdec (the same library) at most 2; Opus against
// opusdec's float output at most 32 with an RMS below 8 (opusfile's 16-bit output carries noise-shaped
// dither, a few steps strong); ADPCM,
// mu-law and A-law against sox at most 2; MP3 against lame's decoder at most 16 with an RMS below 2,
// after lining both up (the decoders trim different start delays).
#include <gtest/gtest.h>

#include "SoundConvertTestSupport.h"
#include "foundation/VtMemory.h"

using namespace Vantrel;
using namespace SoundTest;

namespace {

class SoundConvertCodec : public ::testing::Test {
protected:
    static void SetUpTestSuite() { acmReady = SoundConvertWin_Initialize() == 0; }
    void SetUp() override { memset(&record, 0, sizeof(record)); }
    void TearDown() override
    {
        if (record.Initialized) SoundConvert_Close(&record);
    }
    int Open(const char* name, int32_t disable = 0, int bytesPerSample = 2)
    {
        file = ReadFixture(name);
        if (file.empty()) return -2;
        source.reset(new MemorySource(file));
        return SoundConvert_Setup(&record, source->Get(), disable, bytesPerSample, 0);
    }
    WAVEFORMATEX Format()
    {
        WAVEFORMATEX f;
        SoundConvert_GetOutputFormat(&record, &f);
        return f;
    }
    static bool acmReady;
    SoundConvertRecord record;
    Bytes file;
    std::unique_ptr<MemorySource> source;
};
bool SoundConvertCodec::acmReady = false;

// Counts the conversions ACM is asked for, passing each on to the real function.
int acmConvertCalls = 0;
decltype(SoundConvertWin.acmStreamConvert) realAcmStreamConvert = nullptr;
MMRESULT WINAPI CountingAcmStreamConvert(HACMSTREAM stream, LPACMSTREAMHEADER header, DWORD flags)
{
    ++acmConvertCalls;
    return realAcmStreamConvert(stream, header, flags);
}

// The reference offset (in frames) at which decoded samples match the reference best.
ptrdiff_t BestLag(const std::vector<int16_t>& decoded, const std::vector<double>& reference, int channels, int range)
{
    ptrdiff_t best = 0;
    double bestError = 1e300;
    size_t from = decoded.size() / 4, count = 8192;
    for (int lag = -range; lag <= range; ++lag) {
        double error = 0;
        for (size_t i = from; i < from + count && i < decoded.size(); ++i) {
            ptrdiff_t r = ptrdiff_t(i) + ptrdiff_t(lag) * channels;
            if (r < 0 || size_t(r) >= reference.size()) {
                error += 1e9;
                continue;
            }
            error += std::fabs(decoded[i] - reference[size_t(r)]);
        }
        if (error < bestError) {
            bestError = error;
            best = ptrdiff_t(lag) * channels;
        }
    }
    return best;
}

}  // namespace

TEST_F(SoundConvertCodec, VorbisMatchesOggdecAndReadsItsLoop)
{
    ReferencePcm ref = ReadReferenceWave(ReadFixture("vorbis.ref.wav"));
    ASSERT_EQ(0, Open("vorbis.ogg"));
    EXPECT_EQ(SoundConvertKind_OggVorbis, record.Kind);
    WAVEFORMATEX f = Format();
    EXPECT_EQ(2, f.nChannels);
    EXPECT_EQ(44100u, f.nSamplesPerSec);
    EXPECT_EQ(16, f.wBitsPerSample);
    EXPECT_EQ(int64_t(ref.Samples.size() * 2), SoundConvert_GetTotalBytes(&record));
    int64_t start, end;
    ASSERT_EQ(0, SoundConvert_GetLoopArea(&record, &start, &end));
    EXPECT_EQ(44100, start);
    EXPECT_EQ(132300, end);

    std::vector<int16_t> all = AsSamples16(RunToEnd(&record, 3333));
    ASSERT_EQ(ref.Samples.size(), all.size());
    Difference d = Compare(all, ref.Samples);
    EXPECT_LE(d.MaxAbs, 2);

    // Seeks land on the asked sample, forwards and back.
    for (int64_t sample : {100000, 777, 44100, 0}) {
        SoundConvert_SetSampleTime(&record, sample);
        std::vector<int16_t> part = AsSamples16(RunToEnd(&record, 8000, 8000));
        ASSERT_EQ(4000u, part.size());
        EXPECT_TRUE(std::equal(part.begin(), part.end(), all.begin() + sample * 2)) << sample;
    }
}

TEST_F(SoundConvertCodec, VorbisAsUnsigned8Bit)
{
    ReferencePcm ref = ReadReferenceWave(ReadFixture("vorbis8.ref.wav"));
    ASSERT_EQ(0, Open("vorbis.ogg", 0, 1));
    WAVEFORMATEX f = Format();
    EXPECT_EQ(8, f.wBitsPerSample);
    EXPECT_EQ(2, f.nBlockAlign);
    Bytes out = RunToEnd(&record);
    ASSERT_EQ(ref.Samples.size(), out.size());
    double worst = 0;
    for (size_t i = 0; i < out.size(); ++i) worst = std::max(worst, std::fabs(out[i] - ref.Samples[i]));
    EXPECT_LE(worst, 1);
}

TEST_F(SoundConvertCodec, VorbisLoopComments)
{
    // Made from one second of 22,050 Hz: the total is 22,050 samples.
    struct Case {
        const char* File;
        int Result;
        int64_t Start, End;
    } cases[] = {{"loop0.ogg", 0, 0, 1000},  {"loop1.ogg", 0, 500, 22050}, {"loop2.ogg", -1, -1, -1},
                 {"loop3.ogg", -1, -1, -1},  {"loop4.ogg", 0, 7, 16},     {"noloop.ogg", -1, -1, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.File);
        ASSERT_EQ(0, Open(c.File));
        int64_t start = 5, end = 5;
        EXPECT_EQ(c.Result, SoundConvert_GetLoopArea(&record, &start, &end));
        EXPECT_EQ(c.Start, start);
        EXPECT_EQ(c.End, end);
        SoundConvert_Close(&record);
    }
}

TEST_F(SoundConvertCodec, OpusMatchesOpusdec)
{
    ReferencePcm ref = ReadReferenceWave(ReadFixture("opus.ref.wav"));
    ASSERT_EQ(2, ref.Channels);
    ASSERT_EQ(0, Open("opus.opus"));
    EXPECT_EQ(SoundConvertKind_Opus, record.Kind);
    WAVEFORMATEX f = Format();
    EXPECT_EQ(48000u, f.nSamplesPerSec);
    EXPECT_EQ(4, f.nBlockAlign);
    EXPECT_EQ(int64_t(ref.Samples.size() * 2), SoundConvert_GetTotalBytes(&record));
    EXPECT_EQ(-1, SoundConvert_GetLoopArea(&record, nullptr, nullptr));
    std::vector<int16_t> all = AsSamples16(RunToEnd(&record, 5000));
    ASSERT_EQ(ref.Samples.size(), all.size());
    Difference d = Compare(all, ref.Samples);
    EXPECT_LE(d.MaxAbs, 32);
    EXPECT_LT(d.Rms, 8);
    for (int64_t sample : {96000, 1234, 0}) {
        SoundConvert_SetSampleTime(&record, sample);
        std::vector<int16_t> part = AsSamples16(RunToEnd(&record, 8000, 8000));
        ASSERT_EQ(4000u, part.size());
        // The decoder's energy prediction needs a moment to settle after a seek (pre-roll), so the
        // landing is checked by alignment: the part lines up with the reference at the asked sample.
        std::vector<double> around(ref.Samples.begin() + (sample - 200) * 2 * (sample >= 200),
                                   ref.Samples.begin() + std::min<size_t>(ref.Samples.size(), sample * 2 + 9000));
        EXPECT_EQ(sample >= 200 ? 400 : 0, BestLag(part, around, 2, 200)) << sample;
    }
}

TEST_F(SoundConvertCodec, OpusTotalIsAlways48kHz)
{
    ASSERT_EQ(0, Open("short.opus"));
    EXPECT_EQ(192000, SoundConvert_GetTotalBytes(&record));
    WAVEFORMATEX f = Format();
    EXPECT_EQ(48000u, f.nSamplesPerSec);
    EXPECT_EQ(16, f.wBitsPerSample);
    EXPECT_EQ(4, f.nBlockAlign);
    EXPECT_EQ(192000u, RunToEnd(&record).size());
}

TEST_F(SoundConvertCodec, CompressedWaveThroughAcm)
{
    if (!acmReady) GTEST_SKIP() << "msacm32.dll is not there";
    for (const char* name : {"ima-adpcm", "ms-adpcm", "mu-law", "a-law"}) {
        SCOPED_TRACE(name);
        std::string base = name;
        ReferencePcm ref = ReadReferenceWave(ReadFixture((base + ".ref.wav").c_str()));
        ASSERT_EQ(0, Open((base + ".wav").c_str()));
        EXPECT_EQ(SoundConvertKind_Acm, record.Kind);
        WAVEFORMATEX f = Format();
        EXPECT_EQ(2, f.nChannels);
        EXPECT_EQ(44100u, f.nSamplesPerSec);
        EXPECT_EQ(16, f.wBitsPerSample);
        std::vector<int16_t> all = AsSamples16(RunToEnd(&record, 7000));
        // A last partial block is the codec's to drop: at most one block short of sox's output.
        EXPECT_GE(all.size() + 2 * 2048, ref.Samples.size());
        EXPECT_GE(all.size(), 44100u * 2 * 29 / 10);
        Difference d = Compare(all, ref.Samples);
        EXPECT_LE(d.MaxAbs, 2);
        EXPECT_GT(SoundConvert_GetTotalBytes(&record), 0);
        SoundConvert_SetSampleTime(&record, 50000);
        std::vector<int16_t> part = AsSamples16(RunToEnd(&record, 4000, 4000));
        ASSERT_EQ(2000u, part.size());
        EXPECT_TRUE(std::equal(part.begin(), part.end(), all.begin() + 100000));
        SoundConvert_Close(&record);
    }
}

TEST_F(SoundConvertCodec, Mp3ThroughAcm)
{
    if (!acmReady) GTEST_SKIP() << "msacm32.dll is not there";
    ReferencePcm ref = ReadReferenceWave(ReadFixture("mp3.ref.wav"));
    ASSERT_EQ(0, Open("mp3.mp3", SoundConvertDisable_AcmWave));
    EXPECT_EQ(SoundConvertKind_Acm, record.Kind);
    WAVEFORMATEX f = Format();
    EXPECT_EQ(2, f.nChannels);
    EXPECT_EQ(44100u, f.nSamplesPerSec);
    EXPECT_EQ(16, f.wBitsPerSample);
    int64_t total = SoundConvert_GetTotalBytes(&record);
    EXPECT_EQ(0, total % (1152 * 4));
    std::vector<int16_t> all = AsSamples16(RunToEnd(&record, 6000));
    EXPECT_GE(all.size(), ref.Samples.size());
    EXPECT_LE(int64_t(all.size() * 2), total);
    ptrdiff_t lag = BestLag(all, ref.Samples, 2, 3000);
    Difference d = Compare(all, ref.Samples, lag);
    EXPECT_GT(d.Compared, ref.Samples.size() * 9 / 10);
    EXPECT_LE(d.MaxAbs, 16);
    EXPECT_LT(d.Rms, 2);
    for (int64_t sample : {70000, 3000, 0}) {
        SoundConvert_SetSampleTime(&record, sample);
        std::vector<int16_t> part = AsSamples16(RunToEnd(&record, 8000, 8000));
        ASSERT_EQ(4000u, part.size());
        EXPECT_TRUE(std::equal(part.begin(), part.end(), all.begin() + sample * 2)) << sample;
    }
}

TEST_F(SoundConvertCodec, Mp3TagsAndRateChanges)
{
    if (!acmReady) GTEST_SKIP() << "msacm32.dll is not there";
    ASSERT_EQ(0, Open("mp3.mp3", SoundConvertDisable_AcmWave));
    int64_t plain = SoundConvert_GetTotalBytes(&record);
    int64_t plainStart = record.DataStart, plainSize = record.DataSize;
    SoundConvert_Close(&record);
    ASSERT_EQ(0, Open("id3v1.mp3", SoundConvertDisable_AcmWave));
    EXPECT_EQ(plain, SoundConvert_GetTotalBytes(&record));
    EXPECT_EQ(plainSize, record.DataSize);
    EXPECT_EQ(int64_t(file.size()) - 128, record.DataStart + record.DataSize);
    SoundConvert_Close(&record);
    ASSERT_EQ(0, Open("id3v2.mp3", SoundConvertDisable_AcmWave));
    EXPECT_EQ(plain, SoundConvert_GetTotalBytes(&record));
    EXPECT_EQ(int64_t(file.size()) - plainSize, record.DataStart);
    EXPECT_EQ(0, plainStart);
    SoundConvert_Close(&record);
    // Frames of the largest rate are decoded from the first of them on; a lower rate after it refuses.
    ASSERT_EQ(0, Open("up.mp3", SoundConvertDisable_AcmWave));
    EXPECT_EQ(int64_t(ReadFixture("part44.mp3").size()), record.DataStart);
    EXPECT_EQ(48000u, Format().nSamplesPerSec);
    SoundConvert_Close(&record);
    EXPECT_EQ(-1, Open("down.mp3", SoundConvertDisable_AcmWave | SoundConvertDisable_Mp3DirectShow |
                                     SoundConvertDisable_MediaFoundation));
}

TEST_F(SoundConvertCodec, AcmHeaderLayouts)
{
    if (!acmReady) GTEST_SKIP() << "msacm32.dll is not there";
    // An ID3v2.4 tag with a footer is skipped 20 bytes beyond its size field: bytes that would fail as a
    // frame header stand where the footer is.
    Bytes mp3 = ReadFixture("mp3.mp3");
    Bytes tagged = {'I', 'D', '3', 4, 0, 0x10, 0, 0, 1, 0};  // 128 bytes of tag body
    tagged.resize(10 + 128, 0);
    tagged.insert(tagged.end(), {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    tagged.insert(tagged.end(), mp3.begin(), mp3.end());
    file = tagged;
    source.reset(new MemorySource(file));
    ASSERT_EQ(0, SoundConvert_Setup(&record, source->Get(), SoundConvertDisable_AcmWave, 2, 0));
    EXPECT_EQ(148, record.DataStart);
    SoundConvert_Close(&record);

    // A compressed WAVE whose first chunk after "WAVE" is not its format is refused.
    Bytes wave = ReadFixture("ima-adpcm.wav");
    Bytes listed(wave.begin(), wave.begin() + 12);
    listed.insert(listed.end(), {'L', 'I', 'S', 'T', 4, 0, 0, 0, 'I', 'N', 'F', 'O'});
    listed.insert(listed.end(), wave.begin() + 12, wave.end());
    file = listed;
    source.reset(new MemorySource(file));
    EXPECT_EQ(-1, SoundConvert_Setup(&record, source->Get(), ~SoundConvertDisable_AcmWave, 2, 0));
    file = wave;
    source.reset(new MemorySource(file));
    EXPECT_EQ(0, SoundConvert_Setup(&record, source->Get(), ~SoundConvertDisable_AcmWave, 2, 0));
}

TEST_F(SoundConvertCodec, Mp3FrameHeaders)
{
    struct Case {
        uint8_t Bytes[4];
        int Result, Layer, Version, Bitrate, Rate, Padding, Channels, Length, Samples;
    } cases[] = {
        {{0xFF, 0xFB, 0x90, 0x64}, 0, 2, 0, 128, 44100, 0, 2, 417, 1152},
        {{0xFF, 0xF3, 0x82, 0xC4}, 0, 2, 1, 64, 22050, 1, 1, 209, 576},
        {{0xFF, 0xE3, 0x52, 0x00}, 0, 2, 2, 40, 11025, 1, 2, 262, 576},
        {{0xFF, 0xFD, 0x84, 0x00}, 0, 1, 0, 128, 48000, 0, 2, 384, 1152},
        {{0xFF, 0xFF, 0x40, 0x00}, 0, 0, 0, 128, 44100, 0, 2, 136, 384},
        {{0xFF, 0xFB, 0xF0, 0x00}, -1, 0, 0, 0, 0, 0, 0, 0, 0},  // bitrate index 15
        {{0xFF, 0xFB, 0x9C, 0x00}, -1, 0, 0, 0, 0, 0, 0, 0, 0},  // sample-rate index 3
        {{0xFF, 0xEB, 0x90, 0x00}, -1, 0, 0, 0, 0, 0, 0, 0, 0},  // version bits 1
        {{0xFF, 0xF9, 0x90, 0x00}, -1, 0, 0, 0, 0, 0, 0, 0, 0},  // layer bits 0
        {{0xFF, 0xDB, 0x90, 0x00}, -2, 0, 0, 0, 0, 0, 0, 0, 0},
        {{0xFE, 0xFB, 0x90, 0x00}, -2, 0, 0, 0, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        Mp3FrameHeader h = {};
        ASSERT_EQ(c.Result, SoundConvertWin_Mp3_ParseFrameHeader(c.Bytes, &h)) << int(c.Bytes[1]) << " " << int(c.Bytes[2]);
        if (c.Result != 0) continue;
        EXPECT_EQ(c.Layer, h.Layer);
        EXPECT_EQ(c.Version, h.Version);
        EXPECT_EQ(uint32_t(c.Bitrate), h.Bitrate);
        EXPECT_EQ(uint32_t(c.Rate), h.SampleRate);
        EXPECT_EQ(c.Padding, h.Padding);
        EXPECT_EQ(c.Channels, h.Channels);
        EXPECT_EQ(uint32_t(c.Length), h.FrameLength);
        EXPECT_EQ(uint32_t(c.Samples), h.SamplesPerFrame);
    }
}

TEST_F(SoundConvertCodec, AcmLookAheadServesTheJumpBackToTheLoopStart)
{
    if (!acmReady) GTEST_SKIP() << "msacm32.dll is not there";
    ASSERT_EQ(0, Open("ima-adpcm.wav"));
    std::vector<int16_t> all = AsSamples16(RunToEnd(&record, 7000));
    SoundConvert_SetSampleTime(&record, 0);
    const int64_t loopStart = 60000;
    SoundConvert_SetLoopStartSample(&record, loopStart);
    // Play on well past the loop start: the look-ahead decoder stops just before it.
    std::vector<int16_t> played = AsSamples16(RunToEnd(&record, 4096, 100000 * 4));
    EXPECT_TRUE(std::equal(played.begin(), played.end(), all.begin()));
    // The jump back resumes from the look-ahead decoder, without decoding from the file start (that
    // would take some thirty conversions), and delivers the same samples.
    realAcmStreamConvert = SoundConvertWin.acmStreamConvert;
    SoundConvertWin.acmStreamConvert = CountingAcmStreamConvert;
    acmConvertCalls = 0;
    SoundConvert_SetSampleTime(&record, loopStart);
    SoundConvertWin.acmStreamConvert = realAcmStreamConvert;
    EXPECT_LE(acmConvertCalls, 4);
    EXPECT_EQ(loopStart * 4, record.Position);
    std::vector<int16_t> again = AsSamples16(RunToEnd(&record, 8000, 8000));
    ASSERT_EQ(4000u, again.size());
    EXPECT_TRUE(std::equal(again.begin(), again.end(), all.begin() + loopStart * 2));
}
