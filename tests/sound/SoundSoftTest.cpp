// Soft sounds and soft-sound players: data edited frame by frame, read back and played exactly (the
// mix of the device-less output), conversions and copies with their edge values, sizes that do not fit
// refused, a player fed in chunks that plays without a gap and goes dry when its queue runs out, and
// the time-stretch and pitch change of sounds loaded with those settings, measured in the mix.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "SoundCaptureSupport.h"
#include "SoundMixTestSupport.h"
#include "foundation/VtASyncLoad.h"
#include "foundation/VtMemory.h"
#include "foundation/VtThread.h"
#include "sound/VtSoundHandle.h"
#include "sound/VtSoundSoft.h"
#include "sound/VtSoundTimeStretch.h"
#include "sound/VtSoundWave.h"

using namespace Vantrel;
using namespace SoundMixTest;

namespace {

constexpr int Rate = 44100;

// Stereo 16-bit frames that differ from each other, well inside the range.
std::vector<int16_t> DistinctStereo(int frames)
{
    std::vector<int16_t> samples((size_t)frames * 2);
    uint32_t seed = 777;
    for (size_t i = 0; i < samples.size(); i++) {
        seed = seed * 1664525u + 1013904223u;
        samples[i] = (int16_t)((int)(seed >> 20) % 6000 - 3000 + (int)(i % 991) + 1);
    }
    return samples;
}

// Where the frames of expected start in the rendered stereo output; -1 when they do not.
long FindStart(const std::vector<int16_t>& out, const std::vector<int16_t>& expected)
{
    for (size_t at = 0; at + 1 < out.size(); at += 2)
        if (out[at] == expected[0] && out[at + 1] == expected[1]) return (long)(at / 2);
    return -1;
}

std::vector<int16_t> RenderSamples(int frames)
{
    const std::vector<uint8_t> block = Render(Device16, frames);
    std::vector<int16_t> out(block.size() / 2);
    memcpy(out.data(), block.data(), block.size());
    return out;
}

// A 16-bit mono WAVE image of a sine at amplitude one half.
std::vector<uint8_t> ToneImage(double hertz, double seconds)
{
    const int frames = (int)(Rate * seconds);
    std::vector<int16_t> samples(frames);
    for (int i = 0; i < frames; i++) samples[i] = (int16_t)lrint(16384.0 * sin(2.0 * 3.141592653589793 * hertz * i / Rate));
    const WAVEFORMATEX format = PcmFormat(1, 16, Rate);
    void* image = nullptr;
    uint32_t size = 0;
    EXPECT_EQ(Sound_CreateWaveFileImage(&image, &size, &format, 18, samples.data(), (uint32_t)frames * 2), 0);
    std::vector<uint8_t> out((const uint8_t*)image, (const uint8_t*)image + size);
    Memory_Free(image);
    return out;
}

class SoftSoundTest : public SoundModuleTest {
protected:
    void SetUp() override
    {
        SoundModuleTest::SetUp();
        OpenDevice(Device16);
    }
};

}  // namespace

TEST_F(SoftSoundTest, EditedDataReadsBackAndPlaysExactly)
{
    constexpr int frames = 4410;
    const std::vector<int16_t> source = DistinctStereo(frames);
    const HandleValue soft = SoftSound_MakeData(2, 16, Rate, frames, 0);
    ASSERT_GE(soft, 0);
    int channels = 0, bits = 0, rate = 0, isFloat = -1;
    ASSERT_EQ(SoftSound_GetFormat(soft, &channels, &bits, &rate, &isFloat), 0);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(bits, 16);
    EXPECT_EQ(rate, Rate);
    EXPECT_EQ(isFloat, 0);
    EXPECT_EQ(SoftSound_GetSampleCount(soft), frames);
    for (int i = 0; i < frames; i++)
        for (int c = 0; c < 2; c++) ASSERT_EQ(SoftSound_WriteSample(soft, i, c, source[i * 2 + c]), 0);
    for (int i = 0; i < frames; i++)
        for (int c = 0; c < 2; c++) {
            int value = 0;
            ASSERT_EQ(SoftSound_ReadSample(soft, i, c, &value), 0);
            ASSERT_EQ(value, source[i * 2 + c]);
        }
    int value = 0;
    EXPECT_EQ(SoftSound_ReadSample(soft, frames, 0, &value), -1) << "past the end";
    EXPECT_EQ(SoftSound_WriteSample(soft, 0, 2, 0), -1) << "no third channel";
    EXPECT_EQ(SoftSound_WriteSampleF(soft, 0, 0, 0.5f), -1) << "integer data takes integer values";

    const HandleValue sound = LoadSoundFromSoftSound(soft, 1);
    ASSERT_GE(sound, 0);
    ASSERT_EQ(StartSoundPlayback(sound, SoundPlayType_Back, 1), 0);
    const std::vector<int16_t> out = RenderSamples(frames + 500);
    const long start = FindStart(out, source);
    ASSERT_GE(start, 0);
    ASSERT_LE((size_t)(start + frames) * 2, out.size());
    for (int i = 0; i < frames * 2; i++) ASSERT_EQ(out[start * 2 + i], source[i]) << "value " << i;
    for (size_t i = (size_t)(start + frames) * 2; i < out.size(); i++) ASSERT_EQ(out[i], 0);
}

TEST_F(SoftSoundTest, ValuesOfEveryDepthAreStoredAsGivenAndClamped)
{
    struct Case {
        int Bits;
        int Written;
        int Read;
    };
    const Case cases[] = {{8, 300, 255}, {8, -5, 0}, {8, 200, 200}, {16, 40000, 32767}, {16, -40000, -32768},
                          {24, -8388608, -8388608}, {24, 9000000, 8388607}, {24, 123456, 123456}, {32, -2000000000, -2000000000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Bits);
        const HandleValue soft = SoftSound_MakeData(6, c.Bits, 48000, 3, 0);
        ASSERT_GE(soft, 0);
        ASSERT_EQ(SoftSound_WriteSample(soft, 2, 5, c.Written), 0);
        int value = 0;
        ASSERT_EQ(SoftSound_ReadSample(soft, 2, 5, &value), 0);
        EXPECT_EQ(value, c.Read);
        ASSERT_EQ(SoftSound_ReadSample(soft, 2, 4, &value), 0);
        EXPECT_EQ(value, 0) << "the neighbour is untouched";
        Handle_Delete(soft, 0, 0);
    }
    const HandleValue floats = SoftSound_MakeData(1, 16, 48000, 2, 1);
    int bits = 0, isFloat = 0;
    ASSERT_EQ(SoftSound_GetFormat(floats, nullptr, &bits, nullptr, &isFloat), 0);
    EXPECT_EQ(bits, 32);
    EXPECT_EQ(isFloat, 1);
    float f = 0.0f;
    ASSERT_EQ(SoftSound_WriteSampleF(floats, 1, 0, -0.25f), 0);
    ASSERT_EQ(SoftSound_ReadSampleF(floats, 1, 0, &f), 0);
    EXPECT_EQ(f, -0.25f);
}

TEST_F(SoftSoundTest, ConversionsGiveTheEdgeValuesAndCopiesNeedEqualFormats)
{
    const float inputs[] = {1.0f, -1.0f, 0.0f};
    const int to8[] = {255, 0, 127};
    const int to16[] = {32767, -32768, 0};
    // Six channels: every channel of every frame is converted, none beyond the data.
    const HandleValue floats = SoftSound_MakeData(6, 32, Rate, 3, 1);
    const HandleValue bytes = SoftSound_MakeData(6, 8, Rate, 3, 0);
    const HandleValue words = SoftSound_MakeData(6, 16, Rate, 3, 0);
    for (int i = 0; i < 3; i++)
        for (int c = 0; c < 6; c++) ASSERT_EQ(SoftSound_WriteSampleF(floats, i, c, inputs[i]), 0);
    ASSERT_EQ(SoftSound_ConvertFloatToInt(floats, bytes), 0);
    ASSERT_EQ(SoftSound_ConvertFloatToInt(floats, words), 0);
    for (int i = 0; i < 3; i++)
        for (int c = 0; c < 6; c++) {
            int value = 0;
            ASSERT_EQ(SoftSound_ReadSample(bytes, i, c, &value), 0);
            EXPECT_EQ(value, to8[i]);
            ASSERT_EQ(SoftSound_ReadSample(words, i, c, &value), 0);
            EXPECT_EQ(value, to16[i]);
        }
    ASSERT_EQ(SoftSound_WriteSample(bytes, 0, 5, 127), 0);
    ASSERT_EQ(SoftSound_WriteSample(words, 1, 5, -32768), 0);
    ASSERT_EQ(SoftSound_ConvertIntToFloat(bytes, floats), 0);
    float f = 1.0f;
    ASSERT_EQ(SoftSound_ReadSampleF(floats, 0, 5, &f), 0);
    EXPECT_EQ(f, 0.0f);
    ASSERT_EQ(SoftSound_ConvertIntToFloat(words, floats), 0);
    ASSERT_EQ(SoftSound_ReadSampleF(floats, 1, 5, &f), 0);
    EXPECT_EQ(f, -1.0f);

    EXPECT_EQ(SoftSound_Copy(bytes, words), -1) << "different depths";
    EXPECT_EQ(SoftSound_ConvertIntToFloat(floats, bytes), -1) << "wrong directions";
    const HandleValue shorter = SoftSound_MakeData(6, 16, Rate, 2, 0);
    EXPECT_EQ(SoftSound_Copy(words, shorter), -1) << "different lengths";
    const HandleValue twin = SoftSound_MakeData(6, 16, Rate, 3, 0);
    ASSERT_EQ(SoftSound_Copy(words, twin), 0);
    int value = 0;
    ASSERT_EQ(SoftSound_ReadSample(twin, 1, 5, &value), 0);
    EXPECT_EQ(value, -32768);
    const HandleValue player = SoftSound_MakePlayer(6, 16, Rate, 0);
    ASSERT_GE(player, 0);
    EXPECT_EQ(SoftSound_GetSampleCount(player), -1) << "players hold no data";
    EXPECT_EQ(SoftSound_Copy(words, player), -1);
}

TEST_F(SoftSoundTest, SizesThatDoNotFitAreRefused)
{
    // 16-bit stereo frames are 4 bytes: these counts come to 4 GiB or more, or wrap to a small size
    // in 32 bits.
    const int64_t counts[] = {(int64_t)1 << 30, ((int64_t)1 << 32) + 10, ((int64_t)1 << 29) + 1, INT64_MAX / 2, -1};
    for (int64_t count : counts) {
        SCOPED_TRACE(count);
        EXPECT_EQ(SoftSound_MakeData(2, 16, Rate, count, 0), -1);
    }
    EXPECT_EQ(SoftSound_MakeData(9, 16, Rate, 10, 0), -1) << "channels";
    EXPECT_EQ(SoftSound_MakeData(2, 12, Rate, 10, 0), -1) << "depth";
    EXPECT_EQ(SoftSound_MakeData(2, 16, 0, 10, 0), -1) << "rate";
    EXPECT_GE(SoftSound_MakeData(2, 16, Rate, 0, 0), 0) << "empty data is data";

    const HandleValue player = SoftSound_MakePlayer(2, 16, Rate, 0);
    ASSERT_GE(player, 0);
    std::vector<int16_t> frames(8, 0);
    EXPECT_EQ(SoftSound_Player_AddData(player, frames.data(), 0x20000000), -1) << "2 GiB of frames";
    EXPECT_EQ(SoftSound_Player_GetQueuedFrames(player), 0);
    EXPECT_EQ(SoftSound_MakePlayer(2, 16, Rate, 1), -1) << "the mixer plays integer data only";
}

TEST_F(SoftSoundTest, PlayerFedInChunksPlaysWithoutAGapThenGoesDry)
{
    constexpr int total = Rate, chunk = 4410, block = 735;
    const std::vector<int16_t> source = DistinctStereo(total);
    const HandleValue player = SoftSound_MakePlayer(2, 16, Rate, 0);
    ASSERT_GE(player, 0);
    int queued = 0;
    auto queue = [&](int frames) {
        ASSERT_EQ(SoftSound_Player_AddData(player, source.data() + (size_t)queued * 2, frames), 0);
        queued += frames;
    };
    queue(chunk * 2);
    EXPECT_EQ(SoftSound_Player_GetQueuedFrames(player), chunk * 2);
    EXPECT_EQ(SoftSound_Player_IsPlaying(player), 0);
    ASSERT_EQ(SoftSound_Player_Start(player), 0);
    EXPECT_EQ(SoftSound_Player_IsPlaying(player), 1);

    std::vector<int16_t> out;
    for (int pass = 0; out.size() / 2 < (size_t)total + Rate / 2; pass++) {
        if (pass % 4 == 3 && queued < total) queue(total - queued < chunk ? total - queued : chunk);
        ASSERT_EQ(SoftSound_ProcessPlayersAll(), 0);
        const std::vector<int16_t> part = RenderSamples(block);
        out.insert(out.end(), part.begin(), part.end());
    }
    const long start = FindStart(out, source);
    ASSERT_GE(start, 0);
    ASSERT_LT(start, block);
    for (int i = 0; i < total * 2; i++) ASSERT_EQ(out[start * 2 + i], source[i]) << "value " << i;
    for (size_t i = (size_t)(start + total) * 2; i < out.size(); i++) ASSERT_EQ(out[i], 0) << "silence after the data";
    EXPECT_EQ(SoftSound_Player_GetQueuedFrames(player), 0);
    EXPECT_EQ(SoftSound_Player_IsDry(player), 1);
    EXPECT_EQ(SoftSound_Player_IsPlaying(player), 1) << "a dry player still runs";

    // New data clears the dry state and plays.
    queue(0);
    ASSERT_EQ(SoftSound_Player_AddData(player, source.data(), chunk), 0);
    std::vector<int16_t> again;
    for (int pass = 0; pass < 6; pass++) {
        ASSERT_EQ(SoftSound_ProcessPlayersAll(), 0);
        const std::vector<int16_t> part = RenderSamples(block);
        again.insert(again.end(), part.begin(), part.end());
    }
    EXPECT_EQ(SoftSound_Player_IsDry(player), 0);
    const long restart = FindStart(again, source);
    ASSERT_GE(restart, 0);
    for (int i = 0; i < block * 2; i++) ASSERT_EQ(again[restart * 2 + i], source[i]);

    // Pausing keeps the player's place; it answers as playing while paused.
    EXPECT_EQ(PauseAllSoftSoundPlayers(1), 0);
    EXPECT_EQ(SoftSound_Player_IsPlaying(player), 1);
    const std::vector<int16_t> paused = RenderSamples(block);
    for (int16_t v : paused) ASSERT_EQ(v, 0);
    EXPECT_EQ(PauseAllSoftSoundPlayers(0), 0);
    EXPECT_EQ(SoftSound_Player_Stop(player), 0);
    EXPECT_EQ(SoftSound_Player_IsPlaying(player), 0);
    EXPECT_EQ(Handle_Delete(player, 0, 0), 0);
    EXPECT_EQ(SoftSound_ProcessPlayersAll(), 0);
}

// ---- Time-stretch and pitch through the loaders ------------------------------------------------------------

namespace {

// Plays a sound handle to its end through the mix and measures the tone in the left channel.
SoundCapture::ToneFigures PlayAndMeasure(HandleValue sound)
{
    EXPECT_EQ(StartSoundPlayback(sound, SoundPlayType_Back, 1), 0);
    std::vector<double> left;
    for (int pass = 0; pass < 400 && (pass < 2 || IsSoundPlaying(sound) == 1); pass++) {
        const std::vector<int16_t> part = RenderSamples(4410);
        for (size_t i = 0; i < part.size(); i += 2) left.push_back(part[i] / 32768.0);
    }
    return SoundCapture::MeasureTone(left, Rate);
}

std::string WorkFolder()
{
    const char* binary = std::getenv("VT_TEST_BINARY_DIR");
    return std::string(binary ? binary : "/tmp");
}

}  // namespace

TEST_F(SoftSoundTest, StretchedAndPitchedLoadsKeepOrMoveTheFrequency)
{
    struct Case {
        const char* Name;
        bool FromFile;
        float Pitch;        // 0: no pitch change
        float Stretch;      // 0: no time-stretch
        double Hertz;
        double Seconds;
    };
    const Case cases[] = {
        {"image stretched x1.5", false, 0.0f, 1.5f, 440.0, 1.5},
        {"file stretched x1.5", true, 0.0f, 1.5f, 440.0, 1.5},
        {"image an octave up", false, 2.0f, 0.0f, 880.0, 1.0},
        {"file two octaves up", true, 4.0f, 0.0f, 1760.0, 1.0},
        {"image a fifth up, shortened x0.8", false, 1.5f, 0.8f, 660.0, 0.8},
    };
    const std::vector<uint8_t> image = ToneImage(440.0, 1.0);
    const std::string path = WorkFolder() + "/soft_tone.wav";
    {
        std::ofstream file("Z:" + path, std::ios::binary | std::ios::trunc);
        file.write((const char*)image.data(), (std::streamsize)image.size());
    }
    std::wstring windowsPath = L"Z:";
    for (char c : path) windowsPath.push_back(c == '/' ? L'\\' : (wchar_t)c);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        SoundLoadParam param;
        Sound_LoadParam_Init(&param);
        param.PitchSwitch = c.Pitch != 0.0f;
        param.PitchRate = c.Pitch;
        param.TimeStretchSwitch = c.Stretch != 0.0f;
        param.TimeStretchRate = c.Stretch;
        const HandleValue sound = c.FromFile
                                      ? LoadSoundFromFileWithParam(&param, windowsPath.c_str(), 1, -1, 0, 0)
                                      : LoadSoundFromMemImageWithParam(&param, 1, -1, image.data(), (int64_t)image.size(), 1, -1, 0, 0);
        ASSERT_GE(sound, 0);
        const SoundCapture::ToneFigures figures = PlayAndMeasure(sound);
        EXPECT_NEAR(figures.Frequency, c.Hertz, c.Hertz * 0.01);
        EXPECT_NEAR(figures.Seconds, c.Seconds, c.Seconds * 0.02);
        Handle_Delete(sound, 0, 0);
    }
    EXPECT_EQ(HandleManagerTable[HandleType_SoftSound].Count, 0) << "the working soft sounds are gone";
}

TEST_F(SoftSoundTest, HandleEntryPointsStretchAndResampleSoftSounds)
{
    const std::vector<uint8_t> image = ToneImage(440.0, 0.5);
    const HandleValue source = SoftSound_Load(nullptr, nullptr, image.data(), (int64_t)image.size(), 0);
    ASSERT_GE(source, 0);
    EXPECT_EQ(SoftSound_GetSampleCount(source), Rate / 2);
    const HandleValue longer = SoftSound_Make(0, 0, 0, 0, Rate, 0, source, 0);
    ASSERT_GE(longer, 0);
    ASSERT_EQ(SoftSound_TimeStretch(source, longer), 0);
    int value = 0, loud = 0;
    for (int64_t i = Rate - Rate / 10; i < Rate; i++) {
        ASSERT_EQ(SoftSound_ReadSample(longer, i, 0, &value), 0);
        if (std::abs(value) > 8000) loud++;
    }
    EXPECT_GT(loud, Rate / 40) << "the tone reaches the end of the doubled length";
    const HandleValue shorter = SoftSound_Make(0, 0, 0, 0, Rate / 4, 0, source, 0);
    ASSERT_EQ(SoftSound_Resample(source, shorter), 0);

    EXPECT_EQ(SoftSound_TimeStretch(source, source), -1) << "same length";
    const HandleValue player = SoftSound_MakePlayer(1, 16, Rate, 0);
    EXPECT_EQ(SoftSound_TimeStretch(source, player), -1);
    EXPECT_EQ(SoftSound_Resample(player, longer), -1);
    const HandleValue otherRate = SoftSound_MakeData(1, 16, 22050, Rate, 0);
    EXPECT_EQ(SoftSound_TimeStretch(source, otherRate), -1);
    EXPECT_EQ(SoftSound_Load(nullptr, nullptr, image.data(), 10, 0), -1) << "a damaged image";
}

// Loading jobs: soft sounds loaded and made on the loader threads, and a stretched load whose soft
// sound is made inside the sound's own job; each call on the handle finishes the job first.
TEST_F(SoftSoundTest, LoadsAndStretchesRunAsLoadingJobs)
{
    const std::vector<uint8_t> image = ToneImage(440.0, 0.25);
    const std::vector<uint8_t> broken(64, 3);
    const int32_t blocksBefore = Memory_GetBlockCount();
    ASSERT_EQ(ASyncLoad_Prepare(Thread_GetCurrentId()), 0);
    ASSERT_EQ(ASyncLoad_StartThreads(2), 0);

    const HandleValue loaded = SoftSound_Load(nullptr, nullptr, image.data(), (int64_t)image.size(), 1);
    const HandleValue damaged = SoftSound_Load(nullptr, nullptr, broken.data(), (int64_t)broken.size(), 1);
    const HandleValue made = SoftSound_Make(0, 2, 8, 22050, 1000, 0, -1, 1);
    SoundLoadParam param;
    Sound_LoadParam_Init(&param);
    param.TimeStretchSwitch = 1;
    param.TimeStretchRate = 2.0f;
    const HandleValue stretched = LoadSoundFromMemImageWithParam(&param, 1, -1, image.data(), (int64_t)image.size(), 1, -1, 1, 0);
    ASSERT_GE(loaded, 0);
    ASSERT_GE(damaged, 0);
    ASSERT_GE(made, 0);
    ASSERT_GE(stretched, 0);
    EXPECT_EQ(SoftSound_GetSampleCount(loaded), Rate / 4);
    EXPECT_EQ(SoftSound_GetSampleCount(damaged), -1) << "the failed job dropped its handle";
    int channels = 0, bits = 0, rate = 0;
    ASSERT_EQ(SoftSound_GetFormat(made, &channels, &bits, &rate, nullptr), 0);
    EXPECT_EQ(channels * 100000 + bits * 1000 + rate / 1000, 2 * 100000 + 8 * 1000 + 22);
    EXPECT_EQ(GetSoundSampleCount(stretched, 0), Rate / 2);

    for (HandleValue handle : {loaded, made, stretched}) Handle_Delete(handle, 0, 0);
    for (int i = 0; i < 500 && (ASyncLoad_GetPendingCount() != 0 || HandleManagerTable[HandleType_SoftSound].DeleteRequestCount != 0 ||
                                HandleManagerTable[HandleType_Sound].DeleteRequestCount != 0);
         i++) {
        ASyncLoad_ServeMainThreadRequests();
        Handle_ProcessDeleteRequests(0);
        Sleep(2);
    }
    EXPECT_EQ(HandleManagerTable[HandleType_SoftSound].Count, 0);
    EXPECT_EQ(HandleManagerTable[HandleType_Sound].Count, 0);
    EXPECT_EQ(ASyncLoad_StopThreads(), 0);
    EXPECT_EQ(ASyncLoad_Finish(), 0);
    EXPECT_EQ(Memory_GetBlockCount(), blocksBefore) << "every block of the loads was freed";
}

// ---- With a device -------------------------------------------------------------------------------------------

namespace {

struct PlayerDeviceCase {
    const char* Name;
    int DirectSoundFamily;
    int XAudio2;
};

class SoundDeviceSoftPlayerTest : public SoundCapture::SoundDeviceFixture,
                                  public ::testing::WithParamInterface<PlayerDeviceCase> {};

}  // namespace

// A second of tone queued a tenth of a second at a time while the device plays, fed every 10 ms as the
// sound-processing thread feeds it: the capture holds the tone once, and silence after it.
TEST_P(SoundDeviceSoftPlayerTest, ToneQueuedInChunksLandsWithoutAGap)
{
    const PlayerDeviceCase& c = GetParam();
    SoundWinState.UseDirectSoundFamily = c.DirectSoundFamily;
    SoundWinState.UseXAudio2 = c.XAudio2;
    ASSERT_EQ(Sound_Initialize(), 0);
    constexpr int chunk = Rate / 10;
    std::vector<int16_t> tone((size_t)Rate * 2);
    for (int i = 0; i < Rate; i++)
        tone[i * 2] = tone[i * 2 + 1] = (int16_t)lrint(16384.0 * sin(2.0 * 3.141592653589793 * 440.0 * i / Rate));
    const HandleValue player = SoftSound_MakePlayer(2, 16, Rate, 0);
    ASSERT_GE(player, 0);
    int queued = 0;
    ASSERT_EQ(SoftSound_Player_AddData(player, tone.data(), chunk * 2), 0);
    queued = chunk * 2;
    ASSERT_EQ(SoftSound_Player_Start(player), 0);
    // At the processing thread's priority: a pass later than the player's lead (62 ms) would leave a
    // gap whatever the library did.
    const int priority = GetThreadPriority(GetCurrentThread());
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    for (int waited = 0; waited < 5000 && SoftSound_Player_IsDry(player) != 1; waited += 10) {
        if (queued < Rate && SoftSound_Player_GetQueuedFrames(player) < chunk) {
            ASSERT_EQ(SoftSound_Player_AddData(player, tone.data() + (size_t)queued * 2, chunk), 0);
            queued += chunk;
        }
        SoftSound_ProcessPlayersAll();
        Sleep(10);
    }
    EXPECT_EQ(SoftSound_Player_IsDry(player), 1);
    for (int waited = 0; waited < 200; waited += 10) {
        SoftSound_ProcessPlayersAll();
        Sleep(10);
    }
    SetThreadPriority(GetCurrentThread(), priority);
    Sound_Terminate();
    SoundCapture::Capture capture;
    ASSERT_TRUE(SoundCapture::ReadCapture(SoundCapture::CapturePath(), &capture));
    const SoundCapture::ToneFigures figures = SoundCapture::MeasureTone(capture);
    printf("%s: player tone %.3f s at %.1f Hz, longest gap %d frames\n", c.Name, figures.Seconds, figures.Frequency,
           figures.LongestGap);
    EXPECT_NEAR(figures.Frequency, 440.0, 4.4);
    // The writer keeps two leads (62 ms) ahead of the play position. On a loaded machine a pass can
    // still come later than that, and Wine's DirectSound moves its play cursor in steps of up to
    // 70 ms: such a pass loses less than one lead (31 ms) and the writer starts again at the play
    // position, never playing the buffer's stale round.
    EXPECT_NEAR(figures.Seconds, 1.0, 0.1);
    EXPECT_LT(figures.LongestGap, capture.Rate * 31 / 1000);
}

INSTANTIATE_TEST_SUITE_P(BackEnds, SoundDeviceSoftPlayerTest,
                         ::testing::Values(PlayerDeviceCase{"WASAPI", 0, 0}, PlayerDeviceCase{"DirectSound", 1, 0},
                                           PlayerDeviceCase{"XAudio2", 1, 1}),
                         [](const ::testing::TestParamInfo<PlayerDeviceCase>& info) { return std::string(info.param.Name); });
