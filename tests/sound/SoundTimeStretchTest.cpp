// Time-stretch and pitch: a tone stretched keeps its frequency and takes the new length, a pitch
// change keeps the length and moves the frequency (through the load chain, whose WAVE image a
// recording loader takes), stereo channels stretched on their own, and the refusals and edges.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "sound/VtSound.h"
#include "sound/VtSoundTimeStretch.h"

using namespace Vantrel;

namespace {

constexpr int Rate = 44100;

struct Pcm {
    SoftSoundData View;
    std::vector<uint8_t> Bytes;
};

Pcm MakePcm(int tag, int channels, int bits, int64_t frames)
{
    Pcm pcm;
    pcm.Bytes.assign((size_t)(frames * channels * bits / 8), 0);
    pcm.View = {tag, channels, Rate, bits, frames, pcm.Bytes.empty() ? nullptr : pcm.Bytes.data()};
    return pcm;
}

// Channel c of a float or 16-bit tone of the given frequency per channel, amplitude 0.5.
Pcm MakeTone(int tag, const std::vector<double>& hertz, int64_t frames)
{
    const int channels = (int)hertz.size();
    Pcm pcm = MakePcm(tag, channels, tag == 3 ? 32 : 16, frames);
    for (int64_t i = 0; i < frames; i++)
        for (int c = 0; c < channels; c++) {
            const double v = 0.5 * std::sin(2.0 * 3.141592653589793 * hertz[c] * (double)i / Rate);
            if (tag == 3) ((float*)pcm.View.Data)[i * channels + c] = (float)v;
            else ((int16_t*)pcm.View.Data)[i * channels + c] = (int16_t)(v * 32767.0);
        }
    return pcm;
}

double Value(const SoftSoundData& view, int64_t frame, int channel)
{
    const int64_t at = frame * view.Channels + channel;
    if (view.FormatTag == 3) return ((const float*)view.Data)[at];
    return ((const int16_t*)view.Data)[at] / 32768.0;
}

// The frequency from the rising zero crossings (interpolated) of frames first .. last.
double Frequency(const SoftSoundData& view, int channel, int64_t first, int64_t last)
{
    double firstCrossing = -1.0, lastCrossing = -1.0;
    int crossings = 0;
    for (int64_t i = first; i + 1 < last; i++) {
        const double a = Value(view, i, channel), b = Value(view, i + 1, channel);
        if (a < 0.0 && b >= 0.0) {
            const double at = (double)i + a / (a - b);
            if (firstCrossing < 0.0) firstCrossing = at;
            lastCrossing = at;
            crossings++;
        }
    }
    if (crossings < 2) return 0.0;
    return (crossings - 1) * (double)Rate / (lastCrossing - firstCrossing);
}

// One past the last frame louder than a tenth of the tone's amplitude.
int64_t SoundingLength(const SoftSoundData& view, int channel)
{
    for (int64_t i = view.SampleCount; i > 0; i--)
        if (std::fabs(Value(view, i - 1, channel)) > 0.05) return i;
    return 0;
}

class TimeStretchTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Sound_BuildTables(); }
};

// ---- Stretching keeps the frequency -----------------------------------------------------------------------

struct StretchCase {
    const char* Name;
    int Tag;
    std::vector<double> Hertz;
    double Ratio;
};

TEST_F(TimeStretchTest, StretchedToneKeepsItsFrequencyAndTakesTheNewLength)
{
    const StretchCase cases[] = {
        {"float mono x1.5", 3, {440.0}, 1.5},
        {"16-bit mono x1.5", 1, {440.0}, 1.5},
        {"float mono x0.6", 3, {440.0}, 0.6},
        {"16-bit stereo x1.5, own periods per channel", 1, {440.0, 660.0}, 1.5},
        {"float stereo x0.75", 3, {330.0, 550.0}, 0.75},
    };
    const int64_t frames = Rate * 2;
    for (const StretchCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const Pcm source = MakeTone(c.Tag, c.Hertz, frames);
        const int64_t target = (int64_t)(frames * c.Ratio);
        Pcm out = MakePcm(c.Tag, (int)c.Hertz.size(), source.View.BitsPerSample, target);
        ASSERT_EQ(SoftSound_TimeStretch(&source.View, &out.View), 0);
        for (int channel = 0; channel < (int)c.Hertz.size(); channel++) {
            EXPECT_NEAR(Frequency(out.View, channel, Rate / 10, target - Rate / 10), c.Hertz[channel], c.Hertz[channel] * 0.01);
            EXPECT_NEAR((double)SoundingLength(out.View, channel), (double)target, target * 0.02);
        }
    }
}

// Twice the length: each cycle copies a period and inserts one, so the first period is the source's own.
TEST_F(TimeStretchTest, DoublingCopiesThePeriodThenInsertsIt)
{
    const Pcm source = MakeTone(1, {441.0}, Rate);   // period of exactly 100 frames, within 220 .. 882 as 200, 300, ...
    Pcm out = MakePcm(1, 1, 16, 2 * Rate);
    ASSERT_EQ(SoftSound_TimeStretch(&source.View, &out.View), 0);
    const int16_t* in = (const int16_t*)source.View.Data;
    const int16_t* result = (const int16_t*)out.View.Data;
    EXPECT_EQ(0, std::memcmp(in, result, 220 * sizeof(int16_t)));
    EXPECT_NEAR(Frequency(out.View, 0, 1000, 2 * Rate - 1000), 441.0, 4.41);
}

// ---- Pitch through the load chain -------------------------------------------------------------------------

struct LoadRecord {
    int Calls = 0;
    int Handle = 0, BufferCount = 0;
    SoundLoadParam Param;
    std::vector<uint8_t> Image;
    int Result = 0;
};
LoadRecord* currentLoad = nullptr;

int RecordingLoad(int soundHandle, const void* image, uint32_t imageSize, int bufferCount, const SoundLoadParam* param, void*)
{
    currentLoad->Calls++;
    currentLoad->Handle = soundHandle;
    currentLoad->BufferCount = bufferCount;
    currentLoad->Param = *param;
    currentLoad->Image.assign((const uint8_t*)image, (const uint8_t*)image + imageSize);
    return currentLoad->Result;
}

// The float frames of the image the loader received (18-byte format chunk).
SoftSoundData ImageView(const LoadRecord& load)
{
    const uint8_t* image = load.Image.data();
    uint16_t channels;
    uint32_t bytes;
    std::memcpy(&channels, image + 22, 2);
    std::memcpy(&bytes, image + 24 + 18, 4);
    return {3, channels, Rate, 32, (int64_t)bytes / (4 * channels), (void*)(image + 28 + 18)};
}

TEST_F(TimeStretchTest, PitchRateMovesTheFrequencyAndKeepsTheLength)
{
    struct Case {
        int Tag;
        int PitchSwitch;
        float PitchRate;
        int StretchSwitch;
        float StretchRate;
        double Hertz;
        double Frames;
    } cases[] = {
        {3, 1, 2.0f, 0, 1.0f, 880.0, 1.0},      // one octave up
        {1, 1, 2.0f, 0, 1.0f, 880.0, 1.0},      // from 16-bit data
        {3, 1, 3.0f, 0, 1.0f, 1320.0, 1.0},     // one doubling, then 1.5
        {3, 1, 1.0f, 1, 1.0f, 440.0, 1.0},      // both rates 1: the sound as it was
        {3, 0, 2.0f, 1, 1.5f, 440.0, 1.5},      // only the stretch switch counts
    };
    const int64_t frames = Rate;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "tag " << c.Tag << " pitch " << c.PitchRate << " stretch " << c.StretchRate);
        const Pcm source = MakeTone(c.Tag, {440.0}, frames);
        SoundLoadParam param;
        std::memset(&param, 0, sizeof(param));
        param.DataType = 3;
        param.PitchSwitch = c.PitchSwitch;
        param.PitchRate = c.PitchRate;
        param.TimeStretchSwitch = c.StretchSwitch;
        param.TimeStretchRate = c.StretchRate;
        LoadRecord load;
        currentLoad = &load;
        ASSERT_EQ(Sound_LoadWithPitchOrStretch(7, &param, &source.View, 2, nullptr, RecordingLoad), 0);
        ASSERT_EQ(load.Calls, 1);
        EXPECT_EQ(load.Handle, 7);
        EXPECT_EQ(load.BufferCount, 2);
        EXPECT_EQ(load.Param.DataType, 0);
        EXPECT_EQ(load.Param.PitchSwitch, 0);
        EXPECT_EQ(load.Param.TimeStretchSwitch, 0);
        EXPECT_EQ(load.Param.PitchRate, 1.0f);
        EXPECT_EQ(load.Param.TimeStretchRate, 1.0f);
        const SoftSoundData result = ImageView(load);
        EXPECT_EQ(result.SampleCount, (int64_t)(frames * c.Frames));
        EXPECT_NEAR(Frequency(result, 0, Rate / 10, result.SampleCount - Rate / 10), c.Hertz, c.Hertz * 0.01);
    }
}

TEST_F(TimeStretchTest, LoadChainFailuresReturnTheirCodes)
{
    SoundLoadParam param;
    std::memset(&param, 0, sizeof(param));
    param.TimeStretchSwitch = 1;
    param.TimeStretchRate = 1.5f;
    LoadRecord load;
    currentLoad = &load;
    const Pcm tone = MakeTone(3, {440.0}, 4410);

    load.Result = -1;
    EXPECT_EQ(Sound_LoadWithPitchOrStretch(1, &param, &tone.View, 1, nullptr, RecordingLoad), -7);
    load.Result = 0;

    SoftSoundData noData = tone.View;
    noData.Data = nullptr;
    EXPECT_EQ(Sound_LoadWithPitchOrStretch(1, &param, &noData, 1, nullptr, RecordingLoad), -5);
    const Pcm deep = MakePcm(1, 1, 24, 4410);
    EXPECT_EQ(Sound_LoadWithPitchOrStretch(1, &param, &deep.View, 1, nullptr, RecordingLoad), -1);
    const Pcm surround = MakePcm(3, 6, 32, 4410);
    EXPECT_EQ(Sound_LoadWithPitchOrStretch(1, &param, &surround.View, 1, nullptr, RecordingLoad), -1);
    param.TimeStretchRate = -1.0f;
    EXPECT_EQ(Sound_LoadWithPitchOrStretch(1, &param, &tone.View, 1, nullptr, RecordingLoad), -4);
    param.TimeStretchSwitch = 0;
    param.PitchSwitch = 1;
    param.PitchRate = -0.5f;
    EXPECT_EQ(Sound_LoadWithPitchOrStretch(1, &param, &tone.View, 1, nullptr, RecordingLoad), -3);
    EXPECT_EQ(load.Calls, 1);
}

// ---- Refusals and edges -------------------------------------------------------------------------------------

TEST_F(TimeStretchTest, RefusalsChangeNothing)
{
    const Pcm tone = MakeTone(1, {440.0}, 4410);
    struct Case {
        const char* Name;
        int Tag, Channels, Bits;
        int64_t Frames;
        int Expected;      // both functions
    } cases[] = {
        {"same length", 1, 1, 16, 4410, -1},
        {"other channel count", 1, 2, 16, 8820, -1},
        {"other depth", 1, 1, 8, 8820, -1},
        {"other format tag", 3, 1, 32, 8820, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Pcm out = MakePcm(c.Tag, c.Channels, c.Bits, c.Frames);
        std::memset(out.Bytes.data(), 0x5A, out.Bytes.size());
        const std::vector<uint8_t> before = out.Bytes;
        EXPECT_EQ(SoftSound_TimeStretch(&tone.View, &out.View), c.Expected);
        EXPECT_EQ(SoftSound_Resample(&tone.View, &out.View), c.Expected);
        EXPECT_EQ(out.Bytes, before);
    }
    // Data the stretch does not handle: accepted, nothing written.
    struct Unhandled {
        const char* Name;
        int Channels, Bits;
    } unhandled[] = {{"three channels", 3, 16}, {"24-bit", 1, 24}};
    for (const Unhandled& c : unhandled) {
        SCOPED_TRACE(c.Name);
        Pcm in = MakePcm(1, c.Channels, c.Bits, 4410);
        std::memset(in.Bytes.data(), 0x33, in.Bytes.size());
        Pcm out = MakePcm(1, c.Channels, c.Bits, 6000);
        std::memset(out.Bytes.data(), 0x5A, out.Bytes.size());
        const std::vector<uint8_t> before = out.Bytes;
        EXPECT_EQ(SoftSound_TimeStretch(&in.View, &out.View), 0);
        EXPECT_EQ(out.Bytes, before);
    }
    SoftSoundData broken = tone.View;
    broken.Data = nullptr;
    Pcm out = MakePcm(1, 1, 16, 8820);
    EXPECT_EQ(SoftSound_TimeStretch(&broken, &out.View), -1);
    EXPECT_EQ(SoftSound_TimeStretch(nullptr, &out.View), -1);
    EXPECT_EQ(SoftSound_Resample(&tone.View, nullptr), -1);
}

// Sources shorter than two longest periods go straight to the tail, where reads past the end are
// silence; an empty source gives a silent destination (8-bit silence is 128).
TEST_F(TimeStretchTest, ShortAndEmptySourcesEndInSilence)
{
    struct Case {
        const char* Name;
        int Bits;
        int64_t SourceFrames, DestinationFrames;
    } cases[] = {
        {"empty 8-bit", 8, 0, 3000},
        {"empty 16-bit", 16, 0, 3000},
        {"short 8-bit", 8, 1000, 5000},
        {"short 16-bit", 16, 1000, 5000},
        {"short 16-bit shrunk", 16, 1000, 400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Pcm in = MakePcm(1, 2, c.Bits, c.SourceFrames);
        const int silence = c.Bits == 8 ? 128 : 0;
        for (int64_t i = 0; i < c.SourceFrames * 2; i++) {
            if (c.Bits == 8) in.Bytes[i] = (uint8_t)(200 + (i & 1) * 20);
            else ((int16_t*)in.Bytes.data())[i] = (int16_t)(9000 + (i & 1) * 1000);
        }
        Pcm out = MakePcm(1, 2, c.Bits, c.DestinationFrames);
        std::memset(out.Bytes.data(), 0x5A, out.Bytes.size());
        ASSERT_EQ(SoftSound_TimeStretch(&in.View, &out.View), 0);
        auto at = [&](int64_t i) { return c.Bits == 8 ? (int)out.Bytes[i] : (int)((int16_t*)out.Bytes.data())[i]; };
        const int64_t values = c.DestinationFrames * 2;
        if (c.SourceFrames == 0) {
            for (int64_t i = 0; i < values; i++) ASSERT_EQ(at(i), silence) << i;
        } else {
            EXPECT_EQ(at(0), c.Bits == 8 ? 200 : 9000);
            EXPECT_EQ(at(1), c.Bits == 8 ? 220 : 10000);
            if (c.DestinationFrames > c.SourceFrames) {
                EXPECT_EQ(at(values - 1), silence);
            }
            for (int64_t i = 0; i < values; i++) ASSERT_NE(at(i), c.Bits == 8 ? 0x5A : 0x5A5A) << i;
        }
    }
}

// The resampler keeps a slow tone's shape: halving the length doubles the frequency, doubling it
// halves it, mono and stereo.
TEST_F(TimeStretchTest, ResampleScalesTheFrequency)
{
    struct Case {
        int Tag;
        std::vector<double> Hertz;
        double Ratio;
    } cases[] = {{3, {440.0}, 0.5}, {3, {300.0, 500.0}, 2.0}, {1, {440.0}, 0.5}};
    for (const Case& c : cases) {
        const int channels = (int)c.Hertz.size();
        const Pcm in = MakeTone(c.Tag, c.Hertz, Rate);
        Pcm out = MakePcm(c.Tag, channels, in.View.BitsPerSample, (int64_t)(Rate * c.Ratio));
        ASSERT_EQ(SoftSound_Resample(&in.View, &out.View), 0);
        for (int channel = 0; channel < channels; channel++) {
            const double expected = c.Hertz[channel] / c.Ratio;
            EXPECT_NEAR(Frequency(out.View, channel, 1000, out.View.SampleCount - 1000), expected, expected * 0.01);
            // Amplitude stays about 0.5.
            double peak = 0.0;
            for (int64_t i = 1000; i < out.View.SampleCount - 1000; i++) peak = std::fmax(peak, std::fabs(Value(out.View, i, channel)));
            EXPECT_NEAR(peak, 0.5, 0.05);
        }
    }
}

}  // namespace
