// Sound handles: loading from files and memory images (at once and as loading jobs), normal-sound
// playback control, stream sounds with loop points (checked sample for sample in the capture file
// of a mixed run), the loop-tag text, and every public call refusing a dead handle.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "SoundConvertTestSupport.h"
#include "SoundHandleTestSupport.h"
#include "SoundMixTestSupport.h"
#include "foundation/VtASyncLoad.h"
#include "foundation/VtHandle.h"
#include "foundation/VtMemory.h"
#include "foundation/VtThread.h"
#include "sound/VtSoundHandle.h"
#include "sound/VtSoundWave.h"

using namespace Vantrel;
using namespace SoundMixTest;
using namespace SoundHandleTestSupport;

namespace {

TEST_F(SoundHandleTest, LoopedStreamPlaysAcrossTheLoopPointSampleForSample)
{
    constexpr int frames = 88200, loopStart = 30000, loopEnd = 70000;
    const std::vector<int16_t> source = DistinctFrames(frames, 2);
    const std::string wave = WorkFolder() + "/looped.wav";
    const std::vector<uint8_t> image = WaveImage(Pcm16(source), PcmFormat(2, 16, 44100));
    WriteFile(wave, image.data(), image.size());
    const char tag[] = "LOOPSTART=30000\r\nLOOPLENGTH=40000\r\n";
    WriteFile(WorkFolder() + "/looped_loop.txt", tag, sizeof(tag) - 1);

    const HandleValue handle = LoadSoundFromFileWithParam(&param_, WindowsPath(wave).c_str(), 1, -1, 0, 0);
    ASSERT_GE(handle, 0);
    ASSERT_EQ(Record(handle)->IsStream, 1) << "loop points make a stream";
    EXPECT_EQ(Record(handle)->Sources[0].LoopStartSample, loopStart);
    EXPECT_EQ(Record(handle)->Sources[0].LoopEndSample, loopEnd);
    EXPECT_EQ(GetSoundSampleCount(handle, 0), frames);

    const std::string capture = WorkFolder() + "/looped-capture.wav";
    ASSERT_EQ(Sound_BeginCapture(WindowsPath(capture).c_str()), 0);
    ASSERT_EQ(StartSoundPlayback(handle, SoundPlayType_Loop, 1), 0);
    constexpr int played = 200000;   // across the loop end three times
    PlayFrames(played);
    ASSERT_EQ(Sound_EndCapture(), 0);

    // Where frame k of the output comes from in the source.
    auto sourceFrame = [](int k) { return k < loopEnd ? k : loopStart + (k - loopEnd) % (loopEnd - loopStart); };
    const std::vector<uint8_t> file = ReadFile(capture);
    ASSERT_EQ(file.size(), 46u + (size_t)played * 4);
    const int16_t* out = (const int16_t*)(file.data() + 46);
    int wrong = 0, firstWrong = -1;
    for (int k = 0; k < played; k++) {
        const int from = sourceFrame(k);
        if (out[2 * k] != source[2 * from] || out[2 * k + 1] != source[2 * from + 1]) {
            if (firstWrong < 0) firstWrong = k;
            wrong++;
        }
    }
    EXPECT_EQ(wrong, 0) << "first differing output frame " << firstWrong;
    for (int k : {loopEnd - 1, loopEnd, loopEnd + 1, 2 * loopEnd - loopStart - 1, 2 * loopEnd - loopStart}) {
        EXPECT_EQ(out[2 * k], source[2 * sourceFrame(k)]) << "frame " << k;
    }
    EXPECT_EQ(GetSoundPosition(handle), (int64_t)sourceFrame(played) * 4) << "played bytes follow the wraps";
    EXPECT_EQ(IsSoundPlaying(handle), 1);
    EXPECT_EQ(StopSoundPlayback(handle, 0), 0);
    EXPECT_EQ(IsSoundPlaying(handle), 0);
    EXPECT_EQ(Handle_Delete(handle, 0, 0), 0);
}

TEST_F(SoundHandleTest, StreamWithoutLoopDrainsStopsAndStartsAgainFromTheTop)
{
    const std::vector<int16_t> source = DistinctFrames(22050, 1);
    const std::vector<uint8_t> image = WaveImage(Pcm16(source), PcmFormat(1, 16, 44100));
    param_.DataType = 2;
    const HandleValue handle = LoadImage(image);
    ASSERT_GE(handle, 0);
    ASSERT_EQ(Record(handle)->IsStream, 1);
    EXPECT_EQ(GetSoundLengthMs(handle), 500);

    ASSERT_EQ(StartSoundPlayback(handle, SoundPlayType_Back, 0), 0);
    EXPECT_EQ(IsSoundPlaying(handle), 1);
    PlayFrames(44100 * 2);
    EXPECT_EQ(IsSoundPlaying(handle), 0) << "the stream stops by itself after its data";
    Sound_ProcessPlayingAll();
    EXPECT_EQ(Record(handle)->InPlayingList, 0);

    ASSERT_EQ(StartSoundPlayback(handle, SoundPlayType_Back, 0), 0);
    EXPECT_EQ(IsSoundPlaying(handle), 1);
    PlayFrames(4410);
    EXPECT_EQ(GetSoundPosition(handle), 4410 * 2) << "the second run starts at the top";
    EXPECT_EQ(StartSoundPlayback(handle, SoundPlayType_Back, 0), -1) << "a playing stream is not started twice";
    EXPECT_EQ(SeekSoundToTime(100, handle), 0);
    EXPECT_EQ(IsSoundPlaying(handle), 1) << "a seek keeps a playing stream playing";
    EXPECT_EQ(GetSoundPosition(handle), 4410 * 2);
    EXPECT_EQ(SetSoundPosition(22051 * 2, handle), -1) << "beyond the data";
    EXPECT_EQ(IsSoundPlaying(handle), 1);
}

TEST_F(SoundHandleTest, NormalSoundRotatesBuffersAndRestartsAfterEndingByItself)
{
    const std::vector<int16_t> source = DistinctFrames(22050, 1);
    const HandleValue handle = LoadImage(WaveImage(Pcm16(source), PcmFormat(1, 16, 44100)), 3);
    ASSERT_GE(handle, 0);
    SoundHandleRecord* sound = Record(handle);
    ASSERT_EQ(sound->IsStream, 0);
    EXPECT_EQ(sound->BufferCount, 3);
    EXPECT_EQ(GetSoundLengthMs(handle), 500);
    EXPECT_EQ(GetSoundFrequency(handle), 44100);

    for (int i = 0; i < 4; i++) EXPECT_EQ(StartSoundPlayback(handle, SoundPlayType_Back, 0), 0);
    EXPECT_EQ(sound->CurrentBuffer, 0) << "the fourth start found buffer 0 playing and did nothing";
    for (int i = 0; i < 3; i++) EXPECT_EQ(SoundBuffer_IsPlaying(&sound->Buffers[i]), 1);
    PlayFrames(30000);
    EXPECT_EQ(IsSoundPlaying(handle), 0);

    // Every buffer ended at the end of its data; a start without the from-top flag plays the sound
    // again from its beginning.
    ASSERT_EQ(StartSoundPlayback(handle, SoundPlayType_Back, 0), 0);
    EXPECT_EQ(IsSoundPlaying(handle), 1);
    EXPECT_EQ(GetSoundPosition(handle), 0);
    const std::vector<uint8_t> block = Render(Device16, 100);
    const int16_t* out = (const int16_t*)block.data();
    EXPECT_EQ(out[0], source[0]);
    EXPECT_EQ(out[198], source[99]);

    EXPECT_EQ(StopSoundPlayback(handle, 0), 0);
    EXPECT_EQ(IsSoundPlaying(handle), 0);
    ASSERT_EQ(StartSoundPlayback(handle, SoundPlayType_Loop, 0), 0);
    EXPECT_EQ(StopSoundPlayback(handle, 1), 0) << "let the current pass end";
    PlayFrames(30000);
    EXPECT_EQ(IsSoundPlaying(handle), 0);
}

TEST_F(SoundHandleTest, SettersKeepLevelsInRangeAndConvertTime)
{
    const std::vector<int16_t> source = DistinctFrames(88200, 2);
    const HandleValue handle = LoadImage(WaveImage(Pcm16(source), PcmFormat(2, 16, 44100)), 2);
    ASSERT_GE(handle, 0);
    SoundHandleRecord* sound = Record(handle);
    struct Case {
        int Given;
        int Level;
    };
    for (const Case& c : {Case{0, -10000}, Case{10000, 0}, Case{2500, -7500}, Case{20000, 0}, Case{-5, -10000},
                          Case{INT32_MAX, 0}, Case{INT32_MIN, -10000}}) {
        SCOPED_TRACE(c.Given);
        EXPECT_EQ(SetSoundVolume(c.Given, handle), 0);
        for (int channel = 0; channel < 8; channel++) {
            EXPECT_EQ(sound->ChannelVolume[channel], c.Level);
            for (int i = 0; i < 2; i++) EXPECT_EQ(sound->Buffers[i].Volume[channel], c.Level);
        }
        EXPECT_EQ(GetSoundChannelVolume(0, handle), c.Level + 10000);
    }
    EXPECT_EQ(GetSoundChannelVolume(8, handle), -1);
    EXPECT_EQ(SetSoundPan(-30000, handle), 0);
    EXPECT_EQ(GetSoundPan(handle), -10000);
    EXPECT_EQ(SetSoundFrequency(22050, handle), 0);
    EXPECT_EQ(GetSoundFrequency(handle), 22050);
    EXPECT_EQ(SetSoundFrequency(-1, handle), 0);
    EXPECT_EQ(GetSoundFrequency(handle), 44100);

    EXPECT_EQ(SeekSoundToTime(1000, handle), 0);
    EXPECT_EQ(GetSoundPosition(handle), 176400);
    EXPECT_EQ(SetSoundPosition(88200 * 4, handle), -1) << "the sample count itself is beyond the data";
    EXPECT_EQ(SetSoundPosition(88199 * 4, handle), 0);
    EXPECT_EQ(Sound_MsToSamples(44100, 1000), 44100);
    EXPECT_EQ(Sound_SamplesToMs(44100, 22050), 500);
    EXPECT_EQ(Sound_MsToSamples(192000, INT64_C(1) << 50), (INT64_C(1) << 50) / 1000 * 192000 + ((INT64_C(1) << 50) % 1000) * 192);

    EXPECT_EQ(Sound_SetLoopStartSample(88200, handle, 0), -1) << "a loop start at the sample count is refused";
    EXPECT_EQ(Sound_SetLoopStartSample(-1, handle, 0), 0);
    EXPECT_EQ(Record(handle)->IsStream, 0) << "clearing a loop start changes nothing";
    EXPECT_EQ(Sound_SetLoopAreaSamples(1000, 5000, handle, 0), 0);
    sound = Record(handle);
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(sound->IsStream, 1) << "a loop point turns the sound into a stream with the same handle";
    EXPECT_EQ(sound->Sources[0].LoopStartSample, 1000);
    EXPECT_EQ(sound->Sources[0].LoopEndSample, 5000);
    EXPECT_EQ(GetSoundPan(handle), -10000) << "the settings survive the change";
    EXPECT_EQ(GetSoundPosition(handle), 88199 * 4);
}

// Byte positions and times at or past 2 GiB of data are beyond any sound: refused, never wrapped to
// a small position that happens to be valid.
TEST_F(SoundHandleTest, SeeksFarPastTheDataFail)
{
    const std::vector<uint8_t> image = WaveImage(Pcm16(DistinctFrames(88200, 2)), PcmFormat(2, 16, 44100));
    const HandleValue handle = LoadImage(image);
    ASSERT_GE(handle, 0);
    ASSERT_EQ(SetSoundPosition(4000, handle), 0);
    for (int64_t bytes : {INT64_C(1) << 32, (INT64_C(1) << 32) + 4000, INT64_C(1) << 31, INT64_C(1) << 40, INT64_MAX, INT64_C(-4)})
        EXPECT_EQ(SetSoundPosition(bytes, handle), -1) << bytes;
    EXPECT_EQ(GetSoundPosition(handle), 4000);
    // 24,347,900 ms of 44.1 kHz stereo are 4,294,969,560 bytes: 2,264 past 4 GiB.
    for (int64_t ms : {INT64_C(24347900), INT64_C(24348000), INT64_C(48695800), INT64_C(100000000000000), INT64_MAX,
                       INT64_C(-1), INT64_MIN})
        EXPECT_EQ(SeekSoundToTime(ms, handle), -1) << ms;
    EXPECT_EQ(GetSoundPosition(handle), 4000);
    EXPECT_EQ(SeekSoundToTime(1500, handle), 0);
    EXPECT_EQ(GetSoundPosition(handle), 264600);

    param_.DataType = 2;
    const HandleValue stream = LoadImage(image);
    ASSERT_GE(stream, 0);
    ASSERT_EQ(Record(stream)->IsStream, 1);
    EXPECT_EQ(SeekSoundToTime(24347900, stream), -1);
    EXPECT_EQ(SeekSoundToTime(-1, stream), -1);
    EXPECT_EQ(SetSoundPosition((INT64_C(1) << 32) + 4000, stream), -1);
    EXPECT_EQ(SeekSoundToTime(1500, stream), 0);
    EXPECT_EQ(GetSoundPosition(stream), 264600);
}

// A load asking for no buffer at all keeps the data and has nothing to play, from a file as from
// memory; its deletion leaves nothing behind.
TEST_F(SoundHandleTest, LoadWithBufferCountZeroHasNoBuffers)
{
    const int32_t blocks = Memory_GetBlockCount();
    const std::vector<uint8_t> image = WaveImage(Pcm16(DistinctFrames(4410, 2)), PcmFormat(2, 16, 44100));
    const std::string wave = WorkFolder() + "/nobuffer.wav";
    WriteFile(wave, image.data(), image.size());
    const HandleValue fromMemory = LoadImage(image, 0);
    const HandleValue fromFile = LoadSoundFromFileWithParam(&param_, WindowsPath(wave).c_str(), 0, -1, 0, 0);
    for (HandleValue handle : {fromMemory, fromFile}) {
        ASSERT_GE(handle, 0);
        const SoundHandleRecord* sound = Record(handle);
        EXPECT_EQ(sound->IsStream, 0);
        EXPECT_EQ(sound->BufferCount, 0);
        for (int i = 0; i < SOUND_HANDLE_BUFFER_MAX; i++) EXPECT_EQ(sound->Buffers[i].Valid, 0) << "buffer " << i;
        EXPECT_EQ(GetSoundSampleCount(handle, 0), 4410);
        EXPECT_EQ(GetSoundLengthMs(handle), 100);
        EXPECT_EQ(StartSoundPlayback(handle, SoundPlayType_Back, 0), -1) << "nothing to play";
        EXPECT_EQ(IsSoundPlaying(handle), 0);
        EXPECT_EQ(Handle_Delete(handle, 0, 0), 0);
    }
    EXPECT_EQ(Memory_GetBlockCount(), blocks);
}

TEST_F(SoundHandleTest, LongSoundsAndFoundLoopPointsBecomeStreams)
{
    // 181 s of 8-bit mono at 8,000 Hz.
    std::vector<uint8_t> pcm(181 * 8000);
    for (size_t i = 0; i < pcm.size(); i++) pcm[i] = (uint8_t)(128 + (int)(i % 50) - 25);
    const HandleValue longSound = LoadImage(WaveImage(pcm, PcmFormat(1, 8, 8000)));
    ASSERT_GE(longSound, 0);
    EXPECT_EQ(Record(longSound)->IsStream, 1);
    EXPECT_EQ(Record(longSound)->Pcm, nullptr);
    EXPECT_EQ(GetSoundSampleCount(longSound, 0), 181 * 8000);
    pcm.resize(180 * 8000);
    const HandleValue shorter = LoadImage(WaveImage(pcm, PcmFormat(1, 8, 8000)));
    ASSERT_GE(shorter, 0);
    EXPECT_EQ(Record(shorter)->IsStream, 0);

    const SoundTest::Bytes ogg = SoundTest::ReadFixture("vorbis.ogg");
    ASSERT_FALSE(ogg.empty());
    const HandleValue looped = LoadImage(ogg);
    ASSERT_GE(looped, 0);
    EXPECT_EQ(Record(looped)->IsStream, 1) << "the Ogg Vorbis loop comments make a stream";
    EXPECT_EQ(Record(looped)->Sources[0].LoopStartSample, 44100);
    EXPECT_EQ(Record(looped)->Sources[0].LoopCount, 255);

    EXPECT_EQ(LoadImage(std::vector<uint8_t>(100, 7)), -1) << "no converter takes it";
    EXPECT_EQ(LoadSoundFromFileWithParam(&param_, L"Z:\\no\\such\\sound.wav", 1, -1, 0, 0), -1);
}

// An Ogg file tells its length from the position of its last page, before a sample is decoded. A file
// whose last page claims more than three minutes is streamed on that word alone, however little audio
// its pages really hold: the length is never learnt by decoding the whole file first.
TEST_F(SoundHandleTest, TheLengthThatDecidesStreamingIsTheReportedOne)
{
    // Three seconds over several pages; the file's loop comments are not asked for.
    SoundTest::Bytes ogg = SoundTest::ReadFixture("vorbis.ogg");
    ASSERT_GT(ogg.size(), 100u);
    param_.LoopAreaOff = 1;
    const HandleValue plain = LoadImage(ogg);
    ASSERT_GE(plain, 0);
    EXPECT_EQ(Record(plain)->IsStream, 0);
    const int64_t realSamples = GetSoundSampleCount(plain, 0);
    ASSERT_GT(realSamples, 0);

    // The sample rate from the identification header; the last page's position made 181 s.
    const uint8_t vorbisId[7] = {1, 'v', 'o', 'r', 'b', 'i', 's'};
    const auto id = std::search(ogg.begin(), ogg.end(), vorbisId, vorbisId + 7);
    ASSERT_NE(id, ogg.end());
    uint32_t rate;
    memcpy(&rate, &*(id + 12), 4);
    size_t last = ogg.size();
    for (size_t at = 0; at + 27 <= ogg.size(); at++)
        if (memcmp(&ogg[at], "OggS", 4) == 0) last = at;
    ASSERT_LT(last, ogg.size());
    const int64_t claimed = (int64_t)rate * 181;
    memcpy(&ogg[last + 6], &claimed, 8);
    // The page checksum: CRC-32 with polynomial 0x04C11DB7, not reflected, over the page with the
    // checksum field zero.
    size_t pageSize = 27 + ogg[last + 26];
    for (int i = 0; i < ogg[last + 26]; i++) pageSize += ogg[last + 27 + i];
    ASSERT_EQ(last + pageSize, ogg.size());
    memset(&ogg[last + 22], 0, 4);
    uint32_t crc = 0;
    for (size_t i = 0; i < pageSize; i++) {
        crc ^= (uint32_t)ogg[last + i] << 24;
        for (int bit = 0; bit < 8; bit++) crc = crc & 0x80000000u ? crc << 1 ^ 0x04C11DB7u : crc << 1;
    }
    memcpy(&ogg[last + 22], &crc, 4);

    const HandleValue claimedLong = LoadImage(ogg);
    ASSERT_GE(claimedLong, 0);
    EXPECT_EQ(Record(claimedLong)->IsStream, 1) << "decided by the reported length (the data holds "
                                                << realSamples << " samples)";
    EXPECT_EQ(Record(claimedLong)->Pcm, nullptr);
    EXPECT_GT(GetSoundSampleCount(claimedLong, 0), (int64_t)rate * 180);
}

TEST(SoundLoopTagTest, TextsAndWhatTheyGive)
{
    struct Case {
        const wchar_t* Text;
        int Result;
        int64_t Start, End;
    };
    const Case cases[] = {
        {L"LOOPSTART=1000 LOOPLENGTH=500", 0, 1000, 1500},
        {L"LOOPSTART=1000\r\nLOOPEND=4000", 0, 1000, 4000},
        {L"LOOPSTART=1000 LOOPEND=800", -1, 0, 0},
        {L"LOOPSTART=1000 LOOPEND=1000", -1, 0, 0},
        {L"xx LOOPSTART = 7 ; LOOPLENGTH = 3", 0, 7, 10},
        {L"LOOPSTART=1000", -1, 0, 0},            // a first value at the very end of the text
        {L"LOOPSTART=1000 ", -1, 0, 0},
        {L"LOOPLENGTH=5 LOOPSTART=1", -1, 0, 0},
        {L"LOOPSTART=5 LOOPX=9", -1, 0, 0},
        {L"LOOPSTART=5 LOOPEND", -1, 0, 0},
        {L"", -1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        int64_t start = 0, end = 0;
        EXPECT_EQ(Sound_LoopTagFile_Parse(c.Text, &start, &end), c.Result);
        if (c.Result == 0) {
            EXPECT_EQ(start, c.Start);
            EXPECT_EQ(end, c.End);
        }
    }
    wchar_t name[64];
    ASSERT_EQ(Sound_LoopTagFile_MakeName(L"C:\\a.b\\music.ogg", name, sizeof(name)), 0);
    EXPECT_STREQ(name, L"C:\\a.b\\music_loop.txt");
    ASSERT_EQ(Sound_LoopTagFile_MakeName(L"music", name, sizeof(name)), 0);
    EXPECT_STREQ(name, L"music_loop.txt");
    EXPECT_EQ(Sound_LoopTagFile_MakeName(L"music.wav", name, 10), -1);
}

TEST_F(SoundHandleTest, LoopTagFilesInEveryEncoding)
{
    const std::string base = WorkFolder() + "/tag";
    struct Case {
        std::vector<uint8_t> Bytes;
        int64_t Start, End;
    };
    const char ascii[] = "LOOPSTART=20 LOOPLENGTH=30";
    std::vector<uint8_t> utf16le = {0xFF, 0xFE}, utf16be = {0xFE, 0xFF}, utf8 = {0xEF, 0xBB, 0xBF};
    for (const char* p = ascii; *p; p++) {
        utf16le.insert(utf16le.end(), {(uint8_t)*p, 0});
        utf16be.insert(utf16be.end(), {0, (uint8_t)*p});
        utf8.push_back((uint8_t)*p);
    }
    // Shift-JIS without a prefix, with a double-byte character before the tags.
    std::vector<uint8_t> sjis = {0x83, 0x8B, 0x81, 0x5B, 0x83, 0x76, ' '};
    sjis.insert(sjis.end(), ascii, ascii + sizeof(ascii) - 1);
    const Case cases[] = {{utf16le, 20, 50}, {utf16be, 20, 50}, {utf8, 20, 50}, {sjis, 20, 50}, {{'L', 'O'}, -1, -1}};
    int i = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(i);
        const std::string path = base + std::to_string(i++) + "_loop.txt";
        WriteFile(path, c.Bytes.data(), c.Bytes.size());
        int64_t start = -1, end = -1;
        EXPECT_EQ(Sound_LoopTagFile_Read(WindowsPath(path).c_str(), &start, &end), c.Start < 0 ? -1 : 0);
        if (c.Start >= 0) {
            EXPECT_EQ(start, c.Start);
            EXPECT_EQ(end, c.End);
        }
    }
    int64_t start = 0, end = 0;
    EXPECT_EQ(Sound_LoopTagFile_Read(WindowsPath(base + "-missing_loop.txt").c_str(), &start, &end), -1);
}

TEST_F(SoundHandleTest, EveryCallOnADeadHandleGivesMinusOne)
{
    const std::vector<uint8_t> image = WaveImage(Pcm16(DistinctFrames(4410, 2)), PcmFormat(2, 16, 44100));
    const HandleValue deleted = LoadImage(image);
    ASSERT_GE(deleted, 0);
    param_.DataType = 2;
    const HandleValue deletedStream = LoadImage(image);
    ASSERT_GE(deletedStream, 0);
    ASSERT_EQ(Handle_Delete(deleted, 0, 0), 0);
    ASSERT_EQ(Handle_Delete(deletedStream, 0, 0), 0);
    const HandleValue live = LoadImage(image);
    ASSERT_GE(live, 0);
    const HandleValue softSound = Handle_New(HandleType_SoftSound, 0, -1);
    ASSERT_GE(softSound, 0);
    const HandleValue dead[] = {deleted, deletedStream, -1, 0, softSound, live ^ (1 << HandleValue_CheckShift),
                                Handle_MakeValue(HandleType_Sound, 3, 32767)};
    const std::string wave = WorkFolder() + "/dead.wav";
    WriteFile(wave, image.data(), image.size());
    const std::wstring wavePath = WindowsPath(wave);

    const std::pair<const char*, std::function<int64_t(HandleValue)>> calls[] = {
        {"StartSoundPlayback", [](HandleValue h) { return StartSoundPlayback(h, SoundPlayType_Back, 1); }},
        {"StopSoundPlayback", [](HandleValue h) { return StopSoundPlayback(h, 0); }},
        {"IsSoundPlaying", [](HandleValue h) { return IsSoundPlaying(h); }},
        {"GetSoundFrequency", [](HandleValue h) { return GetSoundFrequency(h); }},
        {"GetSoundSampleCount", [](HandleValue h) { return GetSoundSampleCount(h, 0); }},
        {"GetSoundLengthMs", [](HandleValue h) { return GetSoundLengthMs(h); }},
        {"GetSoundPosition", [](HandleValue h) { return GetSoundPosition(h); }},
        {"SetSoundPosition", [](HandleValue h) { return SetSoundPosition(0, h); }},
        {"SeekSoundToTime", [](HandleValue h) { return SeekSoundToTime(0, h); }},
        {"SetSoundVolume", [](HandleValue h) { return SetSoundVolume(5000, h); }},
        {"SetSoundPan", [](HandleValue h) { return SetSoundPan(0, h); }},
        {"SetSoundFrequency", [](HandleValue h) { return SetSoundFrequency(0, h); }},
        {"GetSoundChannelVolume", [](HandleValue h) { return GetSoundChannelVolume(0, h); }},
        {"GetSoundPan", [](HandleValue h) { return GetSoundPan(h); }},
        {"Sound_SetLoopAreaSamples", [](HandleValue h) { return Sound_SetLoopAreaSamples(10, 20, h, 0); }},
        {"Sound_SetLoopAreaTime", [](HandleValue h) { return Sound_SetLoopAreaTime(1, 2, h, 0); }},
        {"Sound_SetLoopStartSample", [](HandleValue h) { return Sound_SetLoopStartSample(-1, h, 0); }},
        {"Sound_SetLoopEndSample", [](HandleValue h) { return Sound_SetLoopEndSample(-1, h, 0); }},
        {"Sound_SetLoopStartTime", [](HandleValue h) { return Sound_SetLoopStartTime(1, h, 0); }},
        {"Sound_SetLoopEndTime", [](HandleValue h) { return Sound_SetLoopEndTime(1, h, 0); }},
        {"Sound_RecreateAsStream", [](HandleValue h) { return Sound_RecreateAsStream(h); }},
        {"Sound_Stream_GetPlayedBytes", [](HandleValue h) { return Sound_Stream_GetPlayedBytes(h); }},
        {"Sound_Stream_Seek", [](HandleValue h) { return Sound_Stream_Seek(0, h, 0); }},
        {"Sound_Stream_Stop", [](HandleValue h) { return Sound_Stream_Stop(h, 0); }},
        {"Sound_Stream_IsPlaying", [](HandleValue h) { return Sound_Stream_IsPlaying(h); }},
        {"Sound_Stream_Prepare", [](HandleValue h) { return Sound_Stream_Prepare(h, 0); }},
        {"Sound_Stream_Refill", [](HandleValue h) { return Sound_Stream_Refill(h, 0); }},
        {"Sound_Stream_SeekToTime", [](HandleValue h) { return Sound_Stream_SeekToTime(0, h); }},
        {"Sound_Stream_AddFromFile", [&](HandleValue h) {
             return Sound_Stream_AddFromFile(&param_, wavePath.c_str(), 0, h, 2, -1, 0);
         }},
        {"Sound_Stream_AddFromMemImage", [&](HandleValue h) {
             return Sound_Stream_AddFromMemImage(&param_, image.data(), (int64_t)image.size(), 0, h, 2, -1, 0);
         }},
        {"LoadSoundFromMemImageWithParam", [&](HandleValue h) {
             return (int64_t)LoadSoundFromMemImageWithParam(&param_, 0, h, image.data(), (int64_t)image.size(), 1, -1, 0, 0);
         }},
    };
    for (const auto& call : calls) {
        for (HandleValue h : dead) EXPECT_EQ(call.second(h), -1) << call.first << " on 0x" << std::hex << h;
    }
    // The live handle is untouched and still answers.
    EXPECT_EQ(IsSoundPlaying(live), 0);
    EXPECT_EQ(GetSoundSampleCount(live, 0), 4410);
    Handle_Delete(softSound, 0, 0);
}

TEST_F(SoundHandleTest, HundredAsynchronousLoadsWithDeletesLeakNothing)
{
    const std::string wave = WorkFolder() + "/async.wav";
    const std::vector<uint8_t> image = WaveImage(Pcm16(DistinctFrames(8000, 2)), PcmFormat(2, 16, 44100));
    WriteFile(wave, image.data(), image.size());
    const std::vector<uint8_t> broken(64, 3);
    const std::wstring path = WindowsPath(wave);

    const int32_t blocksBefore = Memory_GetBlockCount();
    ASSERT_EQ(ASyncLoad_Prepare(Thread_GetCurrentId()), 0);
    ASSERT_EQ(ASyncLoad_StartThreads(4), 0);
    std::vector<HandleValue> kept;
    for (int i = 0; i < 100; i++) {
        SoundLoadParam param;
        Sound_LoadParam_Init(&param);
        param.DataType = i % 4 == 1 ? 2 : i % 4 == 3 ? 3 : 0;
        HandleValue handle;
        if (i % 5 == 4) {
            handle = LoadSoundFromMemImageWithParam(&param, 1, -1, broken.data(), (int64_t)broken.size(), 1, -1, 1, 0);
        } else if (i % 2 == 0) {
            handle = LoadSoundFromMemImageWithParam(&param, 1, -1, image.data(), (int64_t)image.size(), 2, -1, 1, 0);
        } else {
            handle = LoadSoundFromFileWithParam(&param, path.c_str(), 2, -1, 1, 0);
        }
        ASSERT_GE(handle, 0) << i;
        if (i % 3 == 0) {
            const int deleted = Handle_Delete(handle, 0, 0);   // while it may still be loading
            if (i % 5 != 4) {
                EXPECT_EQ(deleted, 0) << i;
            }
        } else if (i % 7 == 0) {
            EXPECT_EQ(IsSoundPlaying(handle), i % 5 == 4 ? -1 : 0) << i;   // finishes the load first
            Handle_Delete(handle, 0, 0);
        } else {
            kept.push_back(handle);
        }
        if (i % 10 == 9) Handle_ProcessDeleteRequests(0);
    }
    int loaded = 0;
    for (HandleValue handle : kept) {
        const int64_t samples = GetSoundSampleCount(handle, 0);
        if (samples < 0) continue;   // the broken images fail and drop their handle
        EXPECT_EQ(samples, 8000);
        EXPECT_EQ(StartSoundPlayback(handle, SoundPlayType_Back, 1), 0);
        loaded++;
    }
    EXPECT_GE(loaded, 40);
    PlayFrames(2000);
    for (HandleValue handle : kept) Handle_Delete(handle, 0, 0);
    for (int i = 0; i < 500 && (ASyncLoad_GetPendingCount() != 0 || HandleManagerTable[HandleType_Sound].DeleteRequestCount != 0); i++) {
        ASyncLoad_ServeMainThreadRequests();
        Handle_ProcessDeleteRequests(0);
        Sleep(2);
    }
    EXPECT_EQ(HandleManagerTable[HandleType_Sound].Count, 0);
    EXPECT_EQ(ASyncLoad_StopThreads(), 0);
    EXPECT_EQ(ASyncLoad_Finish(), 0);
    EXPECT_EQ(Memory_GetBlockCount(), blocksBefore) << "every block of the loads was freed";
}

}  // namespace
