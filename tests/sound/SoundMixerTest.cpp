// Software mixer: exact device samples of known buffers at given volumes, pans and rates (the
// expectation computed here from the sample arithmetic, frame by frame), for 16-bit, 24-in-32-bit
// (both justifications), 32-bit, float and one-channel devices; start delays, the end of data, the
// limiter's clip and recovery, and a block larger than any work buffer can be.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "SoundMixTestSupport.h"

using namespace Vantrel;
using namespace SoundMixTest;

namespace {

// Source values on the 16-bit scale, negative ones included; left and right differ.
int SourceValue(int frame, int channel) { return ((frame * 7919 + channel * 104729) % 52000) - 26000; }

struct Source {
    WAVEFORMATEX Format;
    std::vector<uint8_t> Bytes;
    std::vector<int> Left, Right;   // what the mixer should read, 16-bit scale
};

// A source of the depth and channel count; 24-bit samples carry a low byte the mixer drops, 8-bit
// ones are unsigned bytes that read as u x 257 - 32768; channels past the second are noise.
Source MakeSource(int channels, int bits, int rate, int frames)
{
    Source source;
    source.Format = PcmFormat(channels, bits, rate);
    for (int i = 0; i < frames; i++) {
        for (int c = 0; c < channels; c++) {
            const int value = SourceValue(i, c);
            int read = value;
            if (bits == 16) {
                const int16_t v = (int16_t)value;
                source.Bytes.insert(source.Bytes.end(), {(uint8_t)(v & 0xFF), (uint8_t)((v >> 8) & 0xFF)});
            } else if (bits == 24) {
                const int16_t v = (int16_t)value;
                source.Bytes.insert(source.Bytes.end(), {(uint8_t)(0x5A + i), (uint8_t)(v & 0xFF), (uint8_t)((v >> 8) & 0xFF)});
            } else {
                const uint8_t u = (uint8_t)((value + 32768) >> 8);
                source.Bytes.push_back(u);
                read = u * 257 - 32768;
            }
            if (c == 0) source.Left.push_back(read);
            if (c == 1) source.Right.push_back(read);
        }
        if (channels == 1) source.Right.push_back(source.Left.back());
    }
    return source;
}

struct MixCase {
    const char* Name;
    int Channels, Bits, DataRate, Frames;
    int Frequency;   // 0: the data's rate
    int Volume, Pan, Loop;
    Device Dev;
    int RenderFrames;
};

// Failures name the case rather than dumping its bytes.
void PrintTo(const MixCase& c, std::ostream* out) { *out << c.Name; }

constexpr Device Device24In32 = {2, 32, 24, false, false, 44100};
constexpr Device Device24In32Low = {2, 32, 24, false, true, 44100};
constexpr Device Device32 = {2, 32, 32, false, false, 44100};
constexpr Device DeviceFloat = {2, 32, 32, true, false, 44100};
constexpr Device DeviceMono16 = {1, 16, 16, false, false, 44100};
constexpr Device DeviceMonoFloat = {1, 32, 32, true, false, 44100};

const MixCase MixCases[] = {
    {"stereo16_full_level_unscaled", 2, 16, 44100, 40, 0, 0, 0, 0, Device16, 64},
    {"stereo16_attenuated_panned_right", 2, 16, 44100, 40, 0, -600, 3000, 1, Device16, 100},
    {"mono16_panned_left_24in32", 1, 16, 44100, 30, 0, -1200, -5000, 1, Device24In32, 64},
    {"mono16_panned_left_24in32_low", 1, 16, 44100, 30, 0, -1200, -5000, 1, Device24In32Low, 64},
    {"stereo16_pan_full_right_32bit", 2, 16, 44100, 50, 0, -100, 10000, 0, Device32, 64},
    {"mono8_float", 1, 8, 44100, 20, 0, -300, 0, 1, DeviceFloat, 50},
    {"stereo24_float", 2, 24, 44100, 33, 0, -300, -2500, 0, DeviceFloat, 48},
    {"stereo24_unscaled_16bit", 2, 24, 44100, 33, 0, 0, 0, 1, Device16, 70},
    {"four_channels16_24in32", 4, 16, 44100, 25, 0, -50, 700, 1, Device24In32, 60},
    {"resampled_half_rate_ends", 2, 16, 22050, 21, 0, -200, 0, 0, Device16, 64},
    {"resampled_frequency_looping_float", 1, 16, 22050, 17, 33075, -400, 1500, 1, DeviceFloat, 80},
    {"resampled_quarter_rate_unscaled_24in32", 1, 16, 11025, 9, 0, 0, 0, 1, Device24In32, 64},
    {"resampled_steps_of_several_frames_looping", 1, 16, 11025, 7, 110250, -100, 0, 1, Device16, 40},
    {"resampled_steps_of_several_frames_ends", 2, 16, 11025, 30, 110250, 0, 0, 0, Device24In32, 20},
    {"mono_device_average", 2, 16, 44100, 40, 0, -900, 2000, 1, DeviceMono16, 64},
    {"mono_float_device_average", 2, 16, 44100, 40, 0, -900, -2000, 1, DeviceMonoFloat, 64},
    {"silent_volume", 2, 16, 44100, 40, 0, -10000, 0, 1, Device16, 32},
};

float LevelGain(int level) { return level >= -9999 ? (float)std::pow(10.0, (double)((float)level / 100.0f / 20.0f)) : 0.0f; }

float PanGain(int pan)
{
    if (pan == -10000) return -1.0f;
    if (pan == 10000) return 1.0f;
    if (pan == 0) return 0.0f;
    const float magnitude = 1.0f - (float)std::pow(10.0, (double)((float)-std::abs(pan) / 100.0f / 20.0f));
    return pan < 0 ? -magnitude : magnitude;
}

// One side of one output frame as the work buffer holds it: float or integer cells.
struct Cell {
    double Value;   // float cells: the float; integer cells: the integer
};

// The work buffer of one voice, frame by frame, computed from the sample arithmetic.
std::vector<Cell> ExpectedCells(const MixCase& c, const Source& source)
{
    const bool floatCells = c.Dev.IsFloat;
    const float volume = LevelGain(c.Volume), pan = PanGain(c.Pan);
    float gains[2] = {volume, volume};
    if (pan > 0.0f) gains[0] = volume * (1.0f - pan);
    if (pan < 0.0f) gains[1] = volume * (pan + 1.0f);
    const bool scaled = floatCells || volume != 1.0f || pan != 0.0f;
    if (floatCells) {
        gains[0] *= 1.0f / 32768.0f;
        gains[1] *= 1.0f / 32768.0f;
    }
    const double step = (double)c.DataRate / c.Dev.Rate * (c.Frequency > 0 ? (double)c.Frequency / c.DataRate : 1.0);
    const std::vector<int>* sides[2] = {&source.Left, &source.Right};
    std::vector<Cell> cells(2 * (size_t)c.RenderFrames, Cell{0.0});
    for (int k = 0; k < c.RenderFrames; k++) {
        const double position = k * step;   // the steps of the table are exact in binary
        long cursor = (long)position;
        const double f = position - cursor;
        if (cursor >= c.Frames && !c.Loop) break;
        for (int side = 0; side < 2; side++) {
            const std::vector<int>& s = *sides[side];
            const int a = s[cursor % c.Frames];
            double value;
            if (step == 1.0) {
                value = floatCells ? (double)((float)a * gains[side]) : scaled ? (double)(int32_t)((float)a * gains[side]) : a;
            } else {
                const long next = cursor + 1;
                const int b = next < c.Frames ? s[next] : c.Loop ? s[next % c.Frames] : 0;
                const double v = a + (b - a) * f;
                value = floatCells ? (double)((float)v * gains[side]) : scaled ? (double)(int32_t)(v * gains[side]) : (double)(int32_t)v;
            }
            cells[2 * k + side].Value = value;
        }
    }
    return cells;
}

int32_t Clamp16(double v) { return v > 32767 ? 32767 : v < -32768 ? -32768 : (int32_t)v; }

// The device sample bytes of one frame side, as the format says they are written.
void ExpectSample(const Device& device, const uint8_t* at, double cellLeft, double cellRight, bool left, const std::string& where)
{
    if (device.IsFloat) {
        float expected = left ? (float)cellLeft : (float)cellRight;
        if (device.Channels == 1) expected = ((float)cellLeft + (float)cellRight) * 0.5f;
        float got;
        std::memcpy(&got, at, 4);
        EXPECT_EQ(got, expected) << where;
        return;
    }
    int32_t v = left ? Clamp16(cellLeft) : Clamp16(cellRight);
    if (device.Channels == 1) v = (Clamp16(cellLeft) + Clamp16(cellRight)) >> 1;
    if (device.ValidBits == 16) {
        int16_t got;
        std::memcpy(&got, at, 2);
        EXPECT_EQ(got, v) << where;
    } else {
        int32_t got;
        std::memcpy(&got, at, 4);
        // 24 valid bits: the top 24 of the word (low byte 0), or the low 24 sign-extended.
        const int32_t expected = device.ValidBits == 32 ? v * 65536 : device.LowJustified ? v * 256 : v * 65536;
        EXPECT_EQ(got, expected) << where;
    }
}

class MixerTableTest : public SoundModuleTest, public ::testing::WithParamInterface<MixCase> {};

TEST_P(MixerTableTest, DeviceSamplesFollowTheSampleArithmetic)
{
    const MixCase& c = GetParam();
    OpenDevice(c.Dev);
    Source source = MakeSource(c.Channels, c.Bits, c.DataRate, c.Frames);
    SoundBuffer buffer;
    MakeBuffer(&buffer, source.Format, source.Bytes);
    ASSERT_EQ(SoundBuffer_SetAllVolumes(&buffer, c.Volume), 0);
    ASSERT_EQ(SoundBuffer_SetPanning(&buffer, c.Pan), 0);
    if (c.Frequency > 0) {
        ASSERT_EQ(SoundBuffer_SetRate(&buffer, c.Frequency), 0);
    }
    ASSERT_EQ(SoundBuffer_Start(&buffer, c.Loop), 0);

    const std::vector<uint8_t> out = Render(c.Dev, c.RenderFrames);
    const std::vector<Cell> cells = ExpectedCells(c, source);
    const int sampleBytes = c.Dev.ContainerBits / 8;
    for (int k = 0; k < c.RenderFrames; k++) {
        const uint8_t* frame = out.data() + (size_t)k * c.Dev.Channels * sampleBytes;
        const std::string where = std::string(c.Name) + " frame " + std::to_string(k);
        ExpectSample(c.Dev, frame, cells[2 * k].Value, cells[2 * k + 1].Value, true, where);
        if (c.Dev.Channels > 1) ExpectSample(c.Dev, frame + sampleBytes, cells[2 * k].Value, cells[2 * k + 1].Value, false, where);
        if (::testing::Test::HasFailure()) break;
    }
    SoundBuffer_Release(&buffer);
}

INSTANTIATE_TEST_SUITE_P(Cases, MixerTableTest, ::testing::ValuesIn(MixCases),
                         [](const ::testing::TestParamInfo<MixCase>& info) { return std::string(info.param.Name); });

using MixerTest = SoundModuleTest;

TEST_F(MixerTest, TwoVoicesSumTheirTruncatedContributions)
{
    OpenDevice(Device16);
    SoundBuffer a, b;
    MakeBuffer(&a, PcmFormat(1, 16, 44100), Pcm16({-20000, 12345, -7, 3}));
    MakeBuffer(&b, PcmFormat(1, 16, 44100), Pcm16({-9999, -12345, 7, 30001}));
    SoundBuffer_SetAllVolumes(&a, -300);
    SoundBuffer_SetAllVolumes(&b, -1000);
    SoundBuffer_Start(&a, 1);
    SoundBuffer_Start(&b, 1);
    const std::vector<uint8_t> out = Render(Device16, 4);
    const int sa[4] = {-20000, 12345, -7, 3}, sb[4] = {-9999, -12345, 7, 30001};
    for (int k = 0; k < 4; k++) {
        const int expected = (int32_t)((float)sa[k] * LevelGain(-300)) + (int32_t)((float)sb[k] * LevelGain(-1000));
        int16_t left, right;
        std::memcpy(&left, &out[4 * k], 2);
        std::memcpy(&right, &out[4 * k + 2], 2);
        EXPECT_EQ(left, expected) << k;
        EXPECT_EQ(right, expected) << k;
    }
    SoundBuffer_Release(&a);
    SoundBuffer_Release(&b);
}

TEST_F(MixerTest, StartDelaySkipsFramesAcrossBlocks)
{
    OpenDevice(Device16);
    SoundBuffer buffer;
    MakeBuffer(&buffer, PcmFormat(1, 16, 44100), Pcm16({100, 200, 300, 400, 500, 600}));
    SoundBuffer_Start(&buffer, 0);
    buffer.StartDelay = 5;
    std::vector<uint8_t> out = Render(Device16, 3);
    EXPECT_EQ(buffer.StartDelay, 2);
    for (int k = 0; k < 3; k++) EXPECT_EQ(out[4 * k] | out[4 * k + 1] << 8, 0) << k;
    out = Render(Device16, 4);
    EXPECT_EQ(buffer.StartDelay, 0);
    const int expected[4] = {0, 0, 100, 200};
    for (int k = 0; k < 4; k++) EXPECT_EQ((int16_t)(out[4 * k] | out[4 * k + 1] << 8), expected[k]) << k;
    SoundBuffer_Release(&buffer);
}

TEST_F(MixerTest, NonLoopingBufferEndsMidBlockAndLeavesTheMixer)
{
    OpenDevice(Device16);
    SoundBuffer buffer;
    MakeBuffer(&buffer, PcmFormat(1, 16, 44100), Pcm16({-1, -2, -3}));
    SoundBuffer_Start(&buffer, 0);
    const std::vector<uint8_t> out = Render(Device16, 6);
    const int expected[6] = {-1, -2, -3, 0, 0, 0};
    for (int k = 0; k < 6; k++) EXPECT_EQ((int16_t)(out[4 * k] | out[4 * k + 1] << 8), expected[k]) << k;
    EXPECT_EQ(buffer.PlayPosition, 3);
    EXPECT_EQ(SoundBuffer_IsPlaying(&buffer), 0);
    EXPECT_EQ(buffer.InMixerList, 0);
    EXPECT_EQ(SoundSystemState.SoundMixerList.End.Prev, &SoundSystemState.SoundMixerList.Start);
    EXPECT_EQ(SoundSystemState.TotalOutputFrames, 6u);
    SoundBuffer_Release(&buffer);
}

// Two full-scale voices clip to half gain; a quiet voice that follows hears the gain recover
// linearly over half a second of output (22,050 frames at 44,100 Hz) and then play at full level.
TEST_F(MixerTest, LimiterClipsAndRecoversOverHalfASecond)
{
    OpenDevice(Device16);
    SoundBuffer loud[2], quiet;
    for (SoundBuffer& b : loud) {
        MakeBuffer(&b, PcmFormat(1, 16, 44100), Pcm16(std::vector<int16_t>(10, 32767)));
        SoundBuffer_Start(&b, 0);
    }
    MakeBuffer(&quiet, PcmFormat(1, 16, 44100), Pcm16({1000}));
    SoundBuffer_Start(&quiet, 1);
    quiet.StartDelay = 10;

    const int frames = 23000;
    const std::vector<uint8_t> out = Render(Device16, frames);
    auto left = [&](int k) { return (int16_t)(out[4 * k] | out[4 * k + 1] << 8); };
    for (int k = 0; k < 10; k++) EXPECT_EQ(left(k), 32767) << k;
    EXPECT_EQ(SoundSystemState.LimiterRelease, 22050);
    for (int k = 10; k < frames; k++) {
        const int n = k - 9;   // frames since the last clip when this frame is scaled
        const float c = n < 22050 ? (1.0f - 0.5f) * (float)n / 22050.0f + 0.5f : 1.0f;
        ASSERT_EQ(left(k), (int32_t)(1000.0f * c)) << k;
    }
    EXPECT_EQ(SoundSystemState.LimiterActive, 0);
    for (SoundBuffer& b : loud) SoundBuffer_Release(&b);
    SoundBuffer_Release(&quiet);
}

// The work buffer cannot grow to 2^29 + 3 frames (more than 4 GB of cells): the block is mixed in
// pieces of the capacity there is, and nothing is written past it.
TEST_F(MixerTest, BlockBeyondAnyWorkBufferIsMixedInPieces)
{
    OpenDevice(Device16);
    SoundBuffer buffer;
    MakeBuffer(&buffer, PcmFormat(1, 16, 44100), Pcm16({11, -22, 33}));
    SoundBuffer_Start(&buffer, 1);
    const int capacity = SoundSystemState.MixFrameCount;
    const int32_t frames = (1 << 29) + 3;   // x 8 bytes does not fit in 32 bits
    int16_t frame[2] = {0, 0};
    ASSERT_EQ(Sound_Mixer_Render(&frame[0], &frame[1], 0, frames), 0);
    EXPECT_EQ(SoundSystemState.MixFrameCount, capacity);
    EXPECT_EQ(frame[0], (int16_t)(frames % 3 == 0 ? 33 : frames % 3 == 1 ? 11 : -22));
    EXPECT_EQ(buffer.ReadCursor, frames % 3);
    EXPECT_EQ(SoundSystemState.TotalOutputFrames, (uint64_t)frames);
    SoundBuffer_Release(&buffer);
}

TEST_F(MixerTest, ExtraChannelsOfAnInterleavedDeviceGetSilence)
{
    const Device surround = {6, 16, 16, false, false, 48000};
    OpenDevice(surround);
    SoundBuffer buffer;
    MakeBuffer(&buffer, PcmFormat(2, 16, 48000), Pcm16({-5, 7, -9, 11}));
    SoundBuffer_Start(&buffer, 1);
    const std::vector<uint8_t> out = Render(surround, 2);
    const int16_t expected[12] = {-5, 7, 0, 0, 0, 0, -9, 11, 0, 0, 0, 0};
    int16_t got[12];
    std::memcpy(got, out.data(), sizeof(got));
    for (int i = 0; i < 12; i++) EXPECT_EQ(got[i], expected[i]) << i;
    SoundBuffer_Release(&buffer);
}

DWORD WINAPI RenderUntilStopped(LPVOID stop)
{
    std::vector<uint8_t> block(256 * 4);
    while (InterlockedCompareExchange((volatile LONG*)stop, 0, 0) == 0) Sound_Mixer_Render(block.data(), block.data() + 2, 4, 256);
    return 0;
}

// An output thread mixes while the owner starts, stops and seeks buffers: the mixer list and the
// positions stay consistent.
TEST_F(MixerTest, OutputThreadMixesWhileBuffersStartStopAndSeek)
{
    OpenDevice(Device16);
    SoundBuffer buffers[8];
    for (SoundBuffer& buffer : buffers) MakeBuffer(&buffer, PcmFormat(1, 16, 22050), Pcm16(std::vector<int16_t>(64, 1000)));
    volatile LONG stop = 0;
    HANDLE thread = CreateThread(nullptr, 0, RenderUntilStopped, (LPVOID)&stop, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    for (int i = 0; i < 30000; i++) {
        SoundBuffer& buffer = buffers[i % 8];
        switch (i % 3) {
        case 0: SoundBuffer_Start(&buffer, (i / 3) % 2); break;
        case 1: SoundBuffer_SetPosition(&buffer, (i % 64) * 2); break;
        default: if (i % 7 == 0) SoundBuffer_Halt(&buffer, 0); break;
        }
    }
    InterlockedExchange(&stop, 1);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    int listed = 0;
    for (PointerListNode* node = SoundSystemState.SoundMixerList.End.Prev; node != &SoundSystemState.SoundMixerList.Start; node = node->Prev) {
        ASSERT_EQ(((SoundBuffer*)node->Data)->InMixerList, 1);
        ASSERT_LT(++listed, 9);
    }
    for (SoundBuffer& buffer : buffers) {
        EXPECT_GE(buffer.ReadCursor, 0);
        EXPECT_LE(buffer.ReadCursor, 64);
        EXPECT_EQ(buffer.InMixerList, buffer.Playing);
        SoundBuffer_Release(&buffer);
    }
    EXPECT_EQ(SoundSystemState.SoundMixerList.End.Prev, &SoundSystemState.SoundMixerList.Start);
}

TEST(MixerOffTest, RefusesWithoutSoftwareMixing)
{
    int16_t frame[2] = {1, 2};
    EXPECT_EQ(Sound_Mixer_Render(&frame[0], &frame[1], 4, 1), -1);
    EXPECT_EQ(frame[0], 1);
}

}  // namespace
