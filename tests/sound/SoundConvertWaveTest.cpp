// The sound conversion front end and its WAVE/RF64 converter: PCM of every width and float files
// decode exactly to the data they were made from, RF64 sizes, loop chunks, format edge cases, seeks,
// the end flag and the record's lifecycle.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "SoundConvertTestSupport.h"
#include "foundation/VtMemory.h"

using namespace Vantrel;
using namespace SoundTest;

namespace {

struct Chunk {
    std::string Id;
    Bytes Body;
    uint32_t SizeField = 0xFFFFFFFE;  // the body's size unless given
};

void Put16(Bytes& b, uint32_t v) { b.push_back(uint8_t(v)); b.push_back(uint8_t(v >> 8)); }
void Put32(Bytes& b, uint32_t v) { Put16(b, v & 0xFFFF); Put16(b, v >> 16); }
void Put64(Bytes& b, uint64_t v) { Put32(b, uint32_t(v)); Put32(b, uint32_t(v >> 32)); }

Bytes Riff(const char* id, const char* form, const std::vector<Chunk>& chunks)
{
    Bytes out(id, id + 4);
    Put32(out, 0);
    out.insert(out.end(), form, form + 4);
    for (const Chunk& c : chunks) {
        out.insert(out.end(), c.Id.begin(), c.Id.end());
        Put32(out, c.SizeField == 0xFFFFFFFE ? uint32_t(c.Body.size()) : c.SizeField);
        out.insert(out.end(), c.Body.begin(), c.Body.end());
        if (c.Body.size() & 1) out.push_back(0);
    }
    uint32_t size = uint32_t(out.size() - 8);
    memcpy(&out[4], &size, 4);
    return out;
}

Bytes Fmt(int tag, int channels, uint32_t rate, int blockAlign, int bits, size_t size = 16)
{
    Bytes b;
    Put16(b, tag);
    Put16(b, channels);
    Put32(b, rate);
    Put32(b, rate * blockAlign);
    Put16(b, blockAlign);
    Put16(b, bits);
    b.resize(size, 0);
    return b;
}

// A "smpl" chunk body of the given size whose first loop runs from start to end.
Bytes Smpl(uint32_t start, uint32_t end, size_t size = 60)
{
    Bytes b(36, 0);
    b[28] = 1;
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, start);
    Put32(b, end);
    b.resize(size, 0);
    return b;
}

Bytes Ramp(size_t bytes)
{
    Bytes b(bytes);
    for (size_t i = 0; i < bytes; ++i) b[i] = uint8_t(i * 7 + (i >> 8));
    return b;
}

class SoundConvertWave : public ::testing::Test {
protected:
    void SetUp() override { memset(&record, 0, sizeof(record)); }
    void TearDown() override
    {
        if (record.Initialized) SoundConvert_Close(&record);
    }
    // Sets the record up over the bytes with only the WAVE converter.
    int Open(const Bytes& bytes, int32_t disable = ~SoundConvertDisable_Wave)
    {
        source.reset();
        file = bytes;
        source.reset(new MemorySource(file));
        return SoundConvert_Setup(&record, source->Get(), disable, 2, 0);
    }
    // The whole conversion as bytes (empty when it fails).
    Bytes ConvertWhole()
    {
        void* data = nullptr;
        uint32_t size = 0;
        if (SoundConvert_ConvertWhole(&record, nullptr, &data, &size) != 0) return Bytes();
        Bytes out(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
        Memory_Free(data);
        return out;
    }
    SoundConvertRecord record;
    Bytes file;
    std::unique_ptr<MemorySource> source;
};

}  // namespace

TEST_F(SoundConvertWave, EveryPcmWidthDecodesToItsData)
{
    struct Case {
        const char* File;
        const char* Raw;
        int Bits, Channels;
    } cases[] = {{"src16.wav", "src16.raw", 16, 2}, {"pcm8.wav", "pcm8.raw", 8, 2}, {"pcm24.wav", "pcm24.raw", 24, 2},
                 {"pcm32.wav", "pcm32.raw", 32, 2}, {"pcm16x6.wav", "pcm16x6.raw", 16, 6}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.File);
        Bytes raw = ReadFixture(c.Raw);
        ASSERT_FALSE(raw.empty());
        ASSERT_EQ(0, Open(ReadFixture(c.File)));
        EXPECT_EQ(SoundConvertKind_Wave, record.Kind);
        WAVEFORMATEX f;
        SoundConvert_GetOutputFormat(&record, &f);
        EXPECT_EQ(WAVE_FORMAT_PCM, f.wFormatTag);
        EXPECT_EQ(c.Bits, f.wBitsPerSample);
        EXPECT_EQ(c.Channels, f.nChannels);
        EXPECT_EQ(c.Channels * c.Bits / 8, f.nBlockAlign);
        EXPECT_EQ(f.nBlockAlign * f.nSamplesPerSec, f.nAvgBytesPerSec);
        EXPECT_EQ(0, f.cbSize);
        EXPECT_EQ(int64_t(raw.size()), SoundConvert_GetTotalBytes(&record));
        // Pieces that split frames, then the whole block.
        EXPECT_EQ(raw, RunToEnd(&record, 777));
        EXPECT_EQ(1, SoundConvert_IsEnd(&record));
        EXPECT_EQ(raw, ConvertWhole());
        EXPECT_EQ(0, SoundConvert_Close(&record));
    }
}

TEST_F(SoundConvertWave, FloatFilesOfBothWidthsGiveBackThe16BitSource)
{
    Bytes raw = ReadFixture("src16.raw");
    for (const char* name : {"float32.wav", "float64.wav"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(0, Open(ReadFixture(name)));
        WAVEFORMATEX f;
        SoundConvert_GetOutputFormat(&record, &f);
        EXPECT_EQ(16, f.wBitsPerSample);
        EXPECT_EQ(4, f.nBlockAlign);
        EXPECT_EQ(int64_t(raw.size()), SoundConvert_GetTotalBytes(&record));
        EXPECT_EQ(raw, ConvertWhole());
        // A seek into the middle lands on that sample.
        SoundConvert_SetSampleTime(&record, 12345);
        Bytes tail = RunToEnd(&record, 4096);
        ASSERT_EQ(raw.size() - 12345 * 4, tail.size());
        EXPECT_TRUE(std::equal(tail.begin(), tail.end(), raw.begin() + 12345 * 4));
        SoundConvert_Close(&record);
    }
}

TEST_F(SoundConvertWave, FloatSamplesAreTruncatedAndClamped)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float in[] = {1.0f, -1.0f, 0.99999f, -0.5f, 2.0f, -3.0f, inf, -inf, std::nanf(""), 0.25f, -0.00002f};
    const int16_t expected[] = {32767, -32768, 32767, -16384, 32767, -32768, 32767, -32768, 0, 8192, 0};
    Bytes data(sizeof(in));
    memcpy(data.data(), in, sizeof(in));
    ASSERT_EQ(0, Open(Riff("RIFF", "WAVE", {{"fmt ", Fmt(3, 1, 8000, 4, 32, 18)}, {"data", data}})));
    std::vector<int16_t> out = AsSamples16(RunToEnd(&record));
    EXPECT_EQ(std::vector<int16_t>(expected, expected + 11), out);
}

TEST_F(SoundConvertWave, Rf64TakesItsSizesFromDs64)
{
    Bytes pcm = Ramp(40000);
    for (uint32_t sizeField : {0xFFFFFFFFu, 0u}) {
        SCOPED_TRACE(sizeField);
        Bytes ds64;
        Put64(ds64, 0);
        Put64(ds64, pcm.size());
        Put64(ds64, pcm.size() / 4);
        Put32(ds64, 0);
        ASSERT_EQ(0, Open(Riff("RF64", "WAVE", {{"ds64", ds64}, {"fmt ", Fmt(1, 2, 44100, 4, 16, 18)},
                                                {"data", pcm, sizeField}, {"smpl", Smpl(10, 900)}})));
        EXPECT_EQ(int64_t(pcm.size()), SoundConvert_GetTotalBytes(&record));
        EXPECT_EQ(pcm, RunToEnd(&record, 3001));
        int64_t start, end;
        EXPECT_EQ(0, SoundConvert_GetLoopArea(&record, &start, &end));
        EXPECT_EQ(10, start);
        EXPECT_EQ(900, end);
        SoundConvert_Close(&record);
    }
}

TEST_F(SoundConvertWave, Rf64WithASizeBeyondAnyStream)
{
    // The chunk walks skip the data chunk by the ds64 size: one that would wrap to a backward seek ends
    // the walk at the stream's end instead of looping.
    Bytes pcm = Ramp(400);
    Bytes ds64;
    Put64(ds64, 0);
    Put64(ds64, 0x8000000000000001ull);
    Put64(ds64, 0);
    Put32(ds64, 0);
    ASSERT_EQ(0, Open(Riff("RF64", "WAVE", {{"ds64", ds64}, {"fmt ", Fmt(1, 1, 8000, 2, 16, 16)}, {"data", pcm}})));
    EXPECT_EQ(int64_t(pcm.size()), SoundConvert_GetTotalBytes(&record));
    EXPECT_EQ(pcm, RunToEnd(&record));
}

TEST_F(SoundConvertWave, FormatEdgeCases)
{
    Bytes pcm = Ramp(600);
    // A 16-byte format chunk: the sample width follows from the block align, whatever the bits field says.
    ASSERT_EQ(0, Open(Riff("RIFF", "WAVE", {{"fmt ", Fmt(1, 2, 8000, 6, 8, 16)}, {"data", pcm}})));
    WAVEFORMATEX f;
    SoundConvert_GetOutputFormat(&record, &f);
    EXPECT_EQ(24, f.wBitsPerSample);
    EXPECT_EQ(6, f.nBlockAlign);
    SoundConvert_Close(&record);

    // Formats that describe nothing playable are refused, never divided by; so is another RIFF form.
    struct Refused {
        const char* What;
        Bytes File;
    } refused[] = {
        {"zero channels", Riff("RIFF", "WAVE", {{"fmt ", Fmt(1, 0, 8000, 2, 16, 16)}, {"data", pcm}})},
        {"zero block align", Riff("RIFF", "WAVE", {{"fmt ", Fmt(1, 2, 8000, 0, 16, 16)}, {"data", pcm}})},
        {"zero rate", Riff("RIFF", "WAVE", {{"fmt ", Fmt(1, 2, 0, 4, 16, 18)}, {"data", pcm}})},
        {"float block align short of the channels", Riff("RIFF", "WAVE", {{"fmt ", Fmt(3, 2, 8000, 4, 32, 18)}, {"data", pcm}})},
        {"24-bit float", Riff("RIFF", "WAVE", {{"fmt ", Fmt(3, 1, 8000, 3, 24, 18)}, {"data", pcm}})},
        {"format chunk too short", Riff("RIFF", "WAVE", {{"fmt ", Fmt(1, 1, 8000, 2, 16, 14)}, {"data", pcm}})},
        {"form type not WAVE", Riff("RIFF", "AVI ", {{"fmt ", Fmt(1, 1, 8000, 2, 16, 16)}, {"data", pcm}})},
        {"no data chunk", Riff("RIFF", "WAVE", {{"fmt ", Fmt(1, 1, 8000, 2, 16, 16)}})},
        {"compressed", Riff("RIFF", "WAVE", {{"fmt ", Fmt(2, 1, 8000, 256, 4, 20)}, {"data", pcm}})},
    };
    for (const Refused& r : refused) {
        SCOPED_TRACE(r.What);
        EXPECT_EQ(-1, Open(r.File));
        EXPECT_EQ(0, record.Initialized);
    }
}

TEST_F(SoundConvertWave, SampleLoopChunks)
{
    Bytes pcm = Ramp(800);
    Bytes fmt = Fmt(1, 1, 8000, 2, 16, 16);
    struct Case {
        const char* What;
        Bytes File;
        int64_t Start, End;
    } cases[] = {
        {"after the data", Riff("RIFF", "WAVE", {{"fmt ", fmt}, {"data", pcm}, {"LIST", Bytes(9)}, {"smpl", Smpl(5, 300)}}), 5, 300},
        {"before the data", Riff("RIFF", "WAVE", {{"smpl", Smpl(7, 0xFFFFFFF0u)}, {"fmt ", fmt}, {"data", pcm}}), 7, 0xFFFFFFF0ll},
        {"59 bytes", Riff("RIFF", "WAVE", {{"fmt ", fmt}, {"data", pcm}, {"smpl", Smpl(5, 300, 59)}}), -1, -1},
        {"none", Riff("RIFF", "WAVE", {{"fmt ", fmt}, {"data", pcm}}), -1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        ASSERT_EQ(0, Open(c.File));
        int64_t start = 99, end = 99;
        EXPECT_EQ(c.Start < 0 ? -1 : 0, SoundConvert_GetLoopArea(&record, &start, &end));
        EXPECT_EQ(c.Start, start);
        EXPECT_EQ(c.End, end);
        EXPECT_EQ(pcm, RunToEnd(&record)) << "the loop search leaves the data where it was";
        SoundConvert_Close(&record);
    }
}

TEST_F(SoundConvertWave, DataShorterThanClaimedEndsCleanly)
{
    Bytes pcm = Ramp(1001);  // the last frame of 4 bytes is cut
    Bytes cut = Riff("RIFF", "WAVE", {{"fmt ", Fmt(1, 2, 8000, 4, 16, 16)}, {"data", pcm, 1000000}});
    cut.resize(cut.size() - 1);  // the pad byte
    ASSERT_EQ(0, Open(cut));
    EXPECT_EQ(1000, SoundConvert_GetTotalBytes(&record));
    Bytes out = RunToEnd(&record, 256);
    EXPECT_EQ(Bytes(pcm.begin(), pcm.begin() + 1000), out);
    EXPECT_EQ(out, ConvertWhole());
}

TEST_F(SoundConvertWave, SeeksAndTheEndFlag)
{
    Bytes pcm = Ramp(1000);
    ASSERT_EQ(0, Open(Riff("RIFF", "WAVE", {{"fmt ", Fmt(1, 1, 8000, 1, 8, 16)}, {"data", pcm}})));
    uint8_t out[10];
    ASSERT_EQ(10, SoundConvert_Run(&record, out, 10));
    // 15 bytes away: nothing moves; 16 bytes away: the next byte is that sample's.
    SoundConvert_SetSampleTime(&record, 25);
    ASSERT_EQ(1, SoundConvert_Run(&record, out, 1));
    EXPECT_EQ(pcm[10], out[0]);
    SoundConvert_SetSampleTime(&record, 27);
    ASSERT_EQ(1, SoundConvert_Run(&record, out, 1));
    EXPECT_EQ(pcm[27], out[0]);
    // Backwards, to the end and past it.
    SoundConvert_SetSampleTime(&record, 0);
    ASSERT_EQ(1, SoundConvert_Run(&record, out, 1));
    EXPECT_EQ(pcm[0], out[0]);
    SoundConvert_SetSampleTime(&record, 990);
    EXPECT_EQ(10, SoundConvert_Run(&record, out, 10));
    EXPECT_EQ(0, SoundConvert_Run(&record, out, 10));
    EXPECT_EQ(1, SoundConvert_IsEnd(&record));
    EXPECT_EQ(0, SoundConvert_Run(&record, out, 10));
    SoundConvert_SetSampleTime(&record, 5000);
    EXPECT_EQ(0, SoundConvert_IsEnd(&record));
    EXPECT_EQ(0, SoundConvert_Run(&record, out, 10));
    EXPECT_EQ(1, SoundConvert_IsEnd(&record));
    SoundConvert_SetSampleTime(&record, -40);
    ASSERT_EQ(1, SoundConvert_Run(&record, out, 1));
    EXPECT_EQ(pcm[0], out[0]);
}

TEST_F(SoundConvertWave, LifecycleAndTheChainFlags)
{
    uint8_t out[4];
    EXPECT_EQ(-1, SoundConvert_Close(&record));
    EXPECT_EQ(0, SoundConvert_Run(&record, out, 4));
    Bytes wave = Riff("RIFF", "WAVE", {{"fmt ", Fmt(1, 1, 8000, 2, 16, 16)}, {"data", Ramp(64)}});
    ASSERT_EQ(0, Open(wave, 0));
    EXPECT_EQ(SoundConvertKind_Wave, record.Kind);
    // Set up again over the same record without a close: the first conversion's buffers are released.
    ASSERT_EQ(0, Open(wave, 0));
    EXPECT_EQ(0, SoundConvert_Close(&record));
    EXPECT_EQ(-1, SoundConvert_Close(&record));
    void* data;
    uint32_t size;
    EXPECT_EQ(-1, SoundConvert_ConvertWhole(&record, nullptr, &data, &size));
    // With the WAVE, Ogg Vorbis and Opus converters off, a WAVE file reaches only the platform ones.
    int result = Open(wave, SoundConvertDisable_Wave | SoundConvertDisable_OggVorbis | SoundConvertDisable_Opus);
    if (result == 0) {
        // ACM takes it when loaded; otherwise Media Foundation, last in the chain, reads WAVE too.
        EXPECT_TRUE(record.Kind == SoundConvertKind_Acm || record.Kind == SoundConvertKind_MediaFoundation)
            << record.Kind;
    }
    EXPECT_EQ(-1, Open(wave, 0x7F));
    EXPECT_EQ(-1, Open(Bytes(), 0));
}
