// Sound buffers: lock regions (wrapping, clamped to the data, refused outside it), seeking (negative
// and past-the-end positions refused), rate, pan and volume gains, start bookkeeping, and buffers
// that share one wave block.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "SoundMixTestSupport.h"

using namespace Vantrel;
using namespace SoundMixTest;

namespace {

using SoundBufferTest = SoundModuleTest;

// 100 frames of 16-bit stereo (block alignment 4, 400 bytes).
void MakeStereo100(SoundBuffer* buffer) { MakeBuffer(buffer, PcmFormat(2, 16, 44100), std::vector<uint8_t>(400, 0)); }

TEST_F(SoundBufferTest, LockRegionsWrapAndStayInsideTheData)
{
    SoundBuffer buffer;
    MakeStereo100(&buffer);
    uint8_t* data = buffer.Wave->Data;
    struct Case {
        int32_t Offset, Length;
        int Result;
        int64_t First, Length1, Second, Length2;   // offsets from the data start, -1 for no region
    };
    const Case cases[] = {
        {0, 400, 0, 0, 400, -1, 0},      // the whole buffer
        {40, 100, 0, 40, 100, -1, 0},    // fits: no second region
        {360, 100, 0, 360, 40, 0, 60},   // runs past the end: the rest from the start
        {398, 8, 0, 398, 2, 0, 6},       // an offset inside a frame stays byte-exact
        {200, 5000, 0, 200, 200, 0, 200},// longer than the buffer: clamped to its size
        {0, 0x7FFFFFFF, 0, 0, 400, -1, 0},
        {400, 4, -1, 0, 0, 0, 0},        // offset at the end
        {-4, 8, -1, 0, 0, 0, 0},         // negative offset
        {8, -8, -1, 0, 0, 0, 0},         // negative length
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Offset << " + " << c.Length);
        void* p1 = nullptr;
        void* p2 = nullptr;
        uint32_t l1 = 77, l2 = 77;
        ASSERT_EQ(SoundBuffer_LockRegion(&buffer, c.Offset, c.Length, &p1, &l1, &p2, &l2), c.Result);
        if (c.Result != 0) continue;
        EXPECT_EQ((uint8_t*)p1 - data, c.First);
        EXPECT_EQ(l1, (uint32_t)c.Length1);
        if (c.Second < 0) {
            EXPECT_EQ(p2, nullptr);
        } else {
            EXPECT_EQ((uint8_t*)p2 - data, c.Second);
        }
        EXPECT_EQ(l2, (uint32_t)c.Length2);
        EXPECT_LE((uint8_t*)p1 - data + l1, 400);
        EXPECT_LE(l1 + l2, 400u);
    }
    SoundBuffer_Release(&buffer);
}

TEST_F(SoundBufferTest, SeekRefusesNegativeAndPastTheEndPositions)
{
    SoundBuffer buffer;
    MakeStereo100(&buffer);
    EXPECT_EQ(SoundBuffer_SetPosition(&buffer, 396), 0);   // the last frame
    EXPECT_EQ(buffer.ReadCursor, 99);
    EXPECT_EQ(buffer.ReadFraction, 0u);   // on the frame itself
    EXPECT_EQ(SoundBuffer_SetPosition(&buffer, 400), -1);  // exactly the sample count
    EXPECT_EQ(SoundBuffer_SetPosition(&buffer, -4), -1);
    EXPECT_EQ(SoundBuffer_SetPosition(&buffer, INT32_MIN), -1);
    EXPECT_EQ(buffer.PlayPosition, 99);
    int32_t play = -1, write = -1;
    EXPECT_EQ(SoundBuffer_GetPosition(&buffer, &play, &write), 0);
    EXPECT_EQ(play, 396);
    EXPECT_EQ(write, 396);
    SoundBuffer_Release(&buffer);
    EXPECT_EQ(SoundBuffer_SetPosition(&buffer, 0), -1);    // released: invalid
}

TEST_F(SoundBufferTest, RateZeroRestoresTheDataRate)
{
    SoundBuffer buffer;
    MakeStereo100(&buffer);
    int rate = 0;
    EXPECT_EQ(SoundBuffer_SetRate(&buffer, 22050), 0);
    EXPECT_EQ(buffer.Resampling, 1);
    EXPECT_EQ(SoundBuffer_GetRate(&buffer, &rate), 0);
    EXPECT_EQ(rate, 22050);
    EXPECT_EQ(SoundBuffer_SetRate(&buffer, 0), 0);
    EXPECT_EQ(buffer.Frequency, -1);
    EXPECT_EQ(buffer.Resampling, 0);   // the fraction never left the cursor
    EXPECT_EQ(buffer.RateChanged, 1);
    EXPECT_EQ(SoundBuffer_GetRate(&buffer, &rate), 0);
    EXPECT_EQ(rate, 44100);
    SoundBuffer_Release(&buffer);
}

TEST_F(SoundBufferTest, PanAndVolumeGains)
{
    SoundBuffer buffer;
    MakeStereo100(&buffer);
    struct Case {
        int Pan;
        float Gain;
    };
    const Case pans[] = {{-10000, -1.0f}, {0, 0.0f}, {10000, 1.0f}, {-20000, -1.0f}, {20000, 1.0f},
                         {3000, 1.0f - (float)std::pow(10.0, -1.5)}, {-600, -(1.0f - (float)std::pow(10.0, -0.3))}};
    for (const Case& c : pans) {
        ASSERT_EQ(SoundBuffer_SetPanning(&buffer, c.Pan), 0);
        EXPECT_FLOAT_EQ(buffer.PanGain, c.Gain) << c.Pan;
    }
    int pan = 0;
    SoundBuffer_GetPanning(&buffer, &pan);
    EXPECT_EQ(pan, -600);
    ASSERT_EQ(SoundBuffer_SetAllVolumes(&buffer, -10000), 0);
    EXPECT_EQ(buffer.VolumeGain, 0.0f);
    ASSERT_EQ(SoundBuffer_SetChannelVolume(&buffer, 0, -2000), 0);
    EXPECT_FLOAT_EQ(buffer.VolumeGain, 0.1f);
    EXPECT_EQ(SoundBuffer_SetChannelVolume(&buffer, 8, 0), -1);
    int volume = 0;
    EXPECT_EQ(SoundBuffer_GetChannelVolume(&buffer, 7, &volume), 0);
    EXPECT_EQ(volume, -10000);
    SoundBuffer_Release(&buffer);
}

// 3D buffers fold the 3D volume and pan factors and both side levels into one level and pan.
TEST_F(SoundBufferTest, ThreeDimensionalGainsCombineSidesAndPan)
{
    struct Case {
        float VolumeFactor, PanFactor;
        int Pan, LeftVolume, RightVolume;
        int Level, CombinedPan;   // hundredths of a decibel, worked out by hand
    };
    const Case cases[] = {
        {1.0f, 0.0f, 0, 0, 0, 0, 0},
        {1.0f, -0.5f, 0, 0, 0, 0, 602},                // left side at half level: -6.02 dB
        {0.5f, 0.4f, -2000, -300, 0, -902, -2126},     // SL 9,098 against SR 7,164
    };
    const WAVEFORMATEX format = PcmFormat(1, 16, 44100);
    for (const Case& c : cases) {
        SoundBuffer buffer;
        std::memset(&buffer, 0, sizeof(buffer));
        ASSERT_EQ(SoundBuffer_Create(&buffer, 8, &format, nullptr, 1), 0);
        EXPECT_EQ(buffer.Refresh3DPending, 1);
        buffer.Volume3DFactor = c.VolumeFactor;
        buffer.Pan3DFactor = c.PanFactor;
        buffer.Volume[1] = c.RightVolume;
        SoundBuffer_SetChannelVolume(&buffer, 0, c.LeftVolume);
        SoundBuffer_SetPanning(&buffer, c.Pan);
        EXPECT_FLOAT_EQ(buffer.VolumeGain, SoundBuffer_LevelToGain(c.Level)) << c.Level;
        EXPECT_FLOAT_EQ(buffer.PanGain, SoundBuffer_PanToGain(c.CombinedPan)) << c.CombinedPan;
        SoundBuffer_Release(&buffer);
    }
}

TEST_F(SoundBufferTest, StartingAPlayingBufferKeepsItsStartFrame)
{
    SoundBuffer buffer;
    MakeStereo100(&buffer);
    SoundSystemState.TotalOutputFrames = 88200;
    ASSERT_EQ(SoundBuffer_Start(&buffer, 1), 0);
    EXPECT_EQ(buffer.StartFrame, 88200);
    EXPECT_EQ(buffer.Tracking, 1);
    EXPECT_EQ(SoundSystemState.PlayStartCounter, 44100 / 480);
    SoundSystemState.TotalOutputFrames = 100000;
    ASSERT_EQ(SoundBuffer_Start(&buffer, 0), 0);
    EXPECT_EQ(buffer.StartFrame, 88200);
    EXPECT_EQ(buffer.Loop, 0);
    EXPECT_EQ(SoundBuffer_IsPlaying(&buffer), 1);
    EXPECT_EQ(SoundBuffer_Halt(&buffer, 0), 0);
    EXPECT_EQ(SoundBuffer_IsPlaying(&buffer), 0);
    EXPECT_EQ(SoundSystemState.SoundMixerList.End.Prev, &SoundSystemState.SoundMixerList.Start);
    SoundBuffer_Release(&buffer);
}

TEST_F(SoundBufferTest, SharedDataOutlivesTheFirstRelease)
{
    SoundBuffer first, second;
    MakeBuffer(&first, PcmFormat(1, 16, 44100), Pcm16({1234, -1234}));
    SoundBuffer_SetPanning(&first, 2500);
    std::memset(&second, 0, sizeof(second));
    ASSERT_EQ(SoundBuffer_CreateShared(&second, &first, 0), 0);
    EXPECT_EQ(second.Wave, first.Wave);
    EXPECT_EQ(first.Wave->ReferenceCount, 2);
    EXPECT_EQ(second.Pan, 2500);
    EXPECT_EQ(second.SampleCount, 2);
    EXPECT_EQ(SoundBuffer_Create(&second, 4, &first.Format, nullptr, 0), -1);   // already valid
    ASSERT_EQ(SoundBuffer_Release(&first), 0);
    EXPECT_EQ(SoundBuffer_Release(&first), -1);
    ASSERT_EQ(SoundBuffer_UpdateGains(&second), 0);
    ASSERT_EQ(SoundBuffer_Start(&second, 0), 0);
    const std::vector<uint8_t> out = Render(Device16, 2);
    const float pan = 1.0f - (float)std::pow(10.0, -1.25);
    EXPECT_EQ((int16_t)(out[4] | out[5] << 8), (int16_t)(int32_t)(-1234.0f * (1.0f - pan)));   // left
    EXPECT_EQ((int16_t)(out[6] | out[7] << 8), -1234);                                         // right
    SoundBuffer_Release(&second);
}

TEST_F(SoundBufferTest, WaveDataIsAlignedAndFreedWithTheLastBuffer)
{
    const int32_t before = Memory_GetBlockCount();
    SoundBuffer buffers[3];
    for (int i = 0; i < 3; i++) {
        MakeBuffer(&buffers[i], PcmFormat(1, 16, 44100), std::vector<uint8_t>(2 * (i + 1), 0));
        EXPECT_EQ((uintptr_t)buffers[i].Wave->Data % 16, 0u);
        EXPECT_GE(buffers[i].Wave->Data, (uint8_t*)(buffers[i].Wave + 1));
    }
    EXPECT_EQ(Memory_GetBlockCount(), before + 3);
    for (SoundBuffer& buffer : buffers) SoundBuffer_Release(&buffer);
    EXPECT_EQ(Memory_GetBlockCount(), before);
    SoundBuffer huge;
    std::memset(&huge, 0, sizeof(huge));
    const WAVEFORMATEX format = PcmFormat(1, 16, 44100);
    EXPECT_EQ(SoundBuffer_Create(&huge, 0xFFFFFFF0u, &format, nullptr, 0), -1);   // the header would wrap past 2^32
    EXPECT_EQ(huge.Valid, 0);
}

}  // namespace
