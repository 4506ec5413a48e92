// The platform half of sound buffers: the listener model of DirectSound and software buffers, and
// (in the device run) DirectSound buffers and XAudio2 voices measured in the capture file: 3D levels
// as the listener model and X3DAudio give them, the two-channel copy of mono data, the reverb tail.
#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <dsound.h>
#include <xaudio2.h>

#include <math.h>
#include <stdio.h>
#include <string.h>

#include "sound/VtSound.h"
#include "sound/VtSoundBuffer.h"
#include "sound/VtSoundBufferWin.h"
#include "sound/VtSoundWin.h"
#include "SoundCaptureSupport.h"
#include "SoundMixTestSupport.h"

using namespace Vantrel;
using namespace SoundCapture;

namespace {

const float Right5[3] = {5.0f, 0.0f, 0.0f};

// The levels a mono tone of amplitude 0.5 should reach on each side of the capture.
struct SideLevels {
    double Left, Right;
};

void ExpectSideLevels(const Capture& capture, SideLevels expected, double tolerance)
{
    const double left = MiddleRms(capture, capture.Left), right = MiddleRms(capture, capture.Right);
    printf("3D tone: left RMS %.4f (expected %.4f), right RMS %.4f (expected %.4f)\n", left, expected.Left, right, expected.Right);
    EXPECT_NEAR(left, expected.Left, expected.Left * tolerance + 0.002);
    EXPECT_NEAR(right, expected.Right, expected.Right * tolerance + 0.002);
    EXPECT_GT(right, 2.0 * left);
    const ToneFigures tone = MeasureTone(capture.Right, capture.Rate);
    EXPECT_NEAR(tone.Frequency, 1000.0, 2.0);
}

}  // namespace

// The listener model -------------------------------------------------------------------------------

class SoundListenerModelTest : public SoundMixTest::SoundModuleTest {};

// Listener at the origin facing +z, right +x, cone 150 / 330 degrees with 1.0 / 0.75, radius 14.
TEST_F(SoundListenerModelTest, DistanceConeAndSideGiveTheFactors)
{
    struct Case {
        float Position[3];
        float Volume, Pan;
    };
    const float side = 1.0f - 0.25f * (3.14159265f - 2.6179941f) / (5.7595868f - 2.6179941f);   // 90 degrees off the front
    const Case cases[] = {
        {{0.0f, 0.0f, 20.0f}, 0.0f, 0.0f},                         // beyond the radius: silent
        {{0.0f, 0.0f, 7.0f}, 0.5f, 0.0f},                          // ahead, half the radius
        {{0.0f, 0.0f, 0.0f}, side, 0.0f},                          // at the listener: full distance factor
        {{5.0f, 0.0f, 0.0f}, side * (1.0f - 5.0f / 14.0f), -0.8f},   // right: the left side is lowered
        {{-5.0f, 0.0f, 0.0f}, side * (1.0f - 5.0f / 14.0f), 0.8f},
        {{0.0f, 0.0f, -7.0f}, 0.375f, 0.0f},                       // behind: outside the outer cone
    };
    for (const Case& c : cases) {
        float volume = -1.0f, pan = -1.0f;
        SoundBufferWin_ListenerFactors(c.Position, 14.0f, &volume, &pan);
        EXPECT_NEAR(volume, c.Volume, 1e-4) << c.Position[0] << " " << c.Position[2];
        EXPECT_NEAR(pan, c.Pan, 1e-6) << c.Position[0] << " " << c.Position[2];
    }
}

// A software 3D buffer moved to the right plays louder on the right once refreshed.
TEST_F(SoundListenerModelTest, SoftwareBufferOnTheRightPansRight)
{
    const WAVEFORMATEX format = SoundMixTest::PcmFormat(1, 16, 44100);
    SoundBuffer buffer;
    memset(&buffer, 0, sizeof(buffer));
    ASSERT_EQ(SoundBuffer_Create(&buffer, 64, &format, nullptr, 1), 0);
    ASSERT_EQ(SoundBuffer_SetReach3D(&buffer, 14.0f), 0);   // the sound handle's default reach
    ASSERT_EQ(SoundBuffer_Move3D(&buffer, Right5), 0);
    EXPECT_EQ(buffer.Refresh3DPending, 1);
    ASSERT_EQ(SoundBuffer_Update3D(&buffer, 0), 0);
    EXPECT_EQ(buffer.Refresh3DPending, 0);
    EXPECT_FLOAT_EQ(buffer.Pan3DFactor, -0.8f);
    EXPECT_GT(buffer.PanGain, 0.5f);
    EXPECT_LT(buffer.VolumeGain, 1.0f);
    SoundBuffer_Release(&buffer);
}

// The 3D setters hand position, velocity and radius to the platform half's emitter at once, playing
// or not; the 3D refresh reads them there.
TEST_F(SoundListenerModelTest, ThreeDSettersStoreIntoTheEmitter)
{
    const WAVEFORMATEX format = SoundMixTest::PcmFormat(1, 16, 44100);
    SoundBuffer buffer;
    memset(&buffer, 0, sizeof(buffer));
    ASSERT_EQ(SoundBuffer_Create(&buffer, 64, &format, nullptr, 1), 0);
    const float position[3] = {1.0f, 2.0f, 3.0f}, velocity[3] = {-4.0f, 5.0f, 0.5f};
    ASSERT_EQ(SoundBuffer_Move3D(&buffer, position), 0);
    ASSERT_EQ(SoundBuffer_SetVelocity3D(&buffer, velocity), 0);
    ASSERT_EQ(SoundBuffer_SetReach3D(&buffer, 20.0f), 0);
    EXPECT_EQ(buffer.Refresh3DPending, 1) << "not playing: the refresh waits";
    EXPECT_EQ(buffer.Emitter.Position.x, 1.0f);
    EXPECT_EQ(buffer.Emitter.Position.y, 2.0f);
    EXPECT_EQ(buffer.Emitter.Position.z, 3.0f);
    EXPECT_EQ(buffer.Emitter.Velocity.x, -4.0f);
    EXPECT_EQ(buffer.Emitter.Velocity.z, 0.5f);
    EXPECT_EQ(buffer.Emitter.CurveDistanceScaler, 20.0f);

    const float elsewhere[3] = {7.0f, 8.0f, 9.0f};
    EXPECT_EQ(SoundBufferWin_Store3DPosition(&buffer, elsewhere), 0);
    EXPECT_EQ(SoundBufferWin_Store3DVelocity(&buffer, elsewhere), 0);
    EXPECT_EQ(SoundBufferWin_Store3DRadius(&buffer, 3.5f), 0);
    EXPECT_EQ(buffer.Emitter.Position.y, 8.0f);
    EXPECT_EQ(buffer.Emitter.Velocity.x, 7.0f);
    EXPECT_EQ(buffer.Emitter.CurveDistanceScaler, 3.5f);
    EXPECT_EQ(buffer.Position3D[0], 1.0f) << "only the emitter";
    SoundBuffer_Release(&buffer);

    SoundBuffer flat;
    memset(&flat, 0, sizeof(flat));
    ASSERT_EQ(SoundBuffer_Create(&flat, 64, &format, nullptr, 0), 0);
    EXPECT_EQ(SoundBufferWin_Store3DPosition(&flat, elsewhere), -1);
    EXPECT_EQ(SoundBufferWin_Store3DRadius(&flat, 3.5f), -1);
    SoundBuffer_Release(&flat);
}

// With a device --------------------------------------------------------------------------------------

class SoundDevicePlatformBufferTest : public SoundDeviceFixture {};

// DirectSound: the listener model's levels reach the buffer as pan and volume, and the capture
// shows them as DirectSound's pan law says (a positive pan lowers the left side by that much).
TEST_F(SoundDevicePlatformBufferTest, DirectSound3DToneFollowsTheListenerModel)
{
    SoundWinState.UseDirectSoundFamily = 1;
    ASSERT_EQ(Sound_Initialize(), 0);
    ASSERT_EQ(SoundSystemState.SoftwareMixing, 0);
    ASSERT_EQ(SoundWinState.UseXAudio2, 0);

    // A plain buffer at pan 0 and volume 0 tells DirectSound exactly that.
    SoundBuffer plain;
    MakeTone(&plain, 44100, 1000.0, 0.1, 100);
    if (HasFatalFailure()) return;
    ASSERT_EQ(SoundBuffer_SetAllVolumes(&plain, 0), 0);
    LONG pan = -1, volume = -1;
    ((IDirectSoundBuffer*)plain.PlatformVoice)->GetPan(&pan);
    ((IDirectSoundBuffer*)plain.PlatformVoice)->GetVolume(&volume);
    EXPECT_EQ(pan, 0);
    EXPECT_EQ(volume, 0);
    int rate = 0;
    EXPECT_EQ(SoundBuffer_GetRate(&plain, &rate), 0);
    EXPECT_EQ(rate, 44100);
    SoundBuffer_Release(&plain);

    SoundBuffer tone;
    MakeTone(&tone, 44100, 1000.0, 1.0, 16384, 1);
    if (HasFatalFailure()) return;
    ASSERT_EQ(SoundBuffer_Move3D(&tone, Right5), 0);
    ASSERT_EQ(SoundBuffer_Update3D(&tone, 0), 0);
    int level = 0, combinedPan = 0;
    SoundBuffer_Combine3DLevels(&tone, &level, &combinedPan);
    ((IDirectSoundBuffer*)tone.PlatformVoice)->GetPan(&pan);
    ((IDirectSoundBuffer*)tone.PlatformVoice)->GetVolume(&volume);
    EXPECT_EQ(pan, combinedPan);
    EXPECT_EQ(volume, level);
    EXPECT_GT(combinedPan, 0);
    ASSERT_EQ(SoundBuffer_Start(&tone, 0), 0);
    EXPECT_EQ(SoundBuffer_IsPlaying(&tone), 1);
    Capture capture;
    PlayOutAndCapture(&tone, &capture);
    if (HasFatalFailure()) return;
    const double rms = 0.5 / sqrt(2.0);
    ExpectSideLevels(capture, {rms * pow(10.0, (level - combinedPan) / 2000.0), rms * pow(10.0, level / 2000.0)}, 0.05);
}

// XAudio2: the voice's matrix towards the mastering voice is the one X3DAudio computes for the
// emitter, and with the reverb send muted the capture shows exactly those levels. A sound that ends
// by itself keeps its reverb ringing for three seconds.
TEST_F(SoundDevicePlatformBufferTest, XAudio23DToneFollowsX3DAudio)
{
    SoundWinState.UseDirectSoundFamily = 1;
    SoundWinState.UseXAudio2 = 1;
    ASSERT_EQ(Sound_Initialize(), 0);
    ASSERT_EQ(SoundWinState.XAudio2Ready, 1);
    ASSERT_EQ(SoundSystemState.OutputChannels, 2);

    SoundBuffer tone;
    MakeTone(&tone, 44100, 1000.0, 1.0, 16384, 1);
    if (HasFatalFailure()) return;
    ASSERT_NE(tone.ReverbSubmix, nullptr);
    EXPECT_EQ(tone.VoiceChannels, 1);
    EXPECT_EQ(tone.Wave->StereoCopy, nullptr);
    ASSERT_EQ(SoundBuffer_Move3D(&tone, Right5), 0);
    ASSERT_EQ(SoundBuffer_Update3D(&tone, 0), 0);

    float expected[2];
    X3DAudioStereoLevels(tone, expected);
    float matrix[2] = {-1, -1};
    IXAudio2SourceVoice* voice = (IXAudio2SourceVoice*)tone.PlatformVoice;
    voice->GetOutputMatrix((IXAudio2Voice*)SoundWinState.MasteringVoice28, 1, 2, matrix);
    printf("X3DAudio matrix %.4f %.4f\n", expected[0], expected[1]);
    EXPECT_FLOAT_EQ(matrix[0], expected[0]);
    EXPECT_FLOAT_EQ(matrix[1], expected[1]);
    EXPECT_GT(expected[1], 2.0f * expected[0]);

    ((IXAudio2SubmixVoice*)tone.ReverbSubmix)->SetVolume(0.0f, XAUDIO2_COMMIT_NOW);
    ASSERT_EQ(SoundBuffer_Start(&tone, 0), 0);
    EXPECT_TRUE(WaitUntilEnded(&tone, 5000));
    // Ended by itself: halted without cutting the reverb, whose tail runs out three seconds later.
    EXPECT_EQ(tone.ReverbCycleState, 1);
    EXPECT_EQ(SoundBufferWin_ReverbTail(&tone), 0);
    EXPECT_EQ(tone.ReverbCycleState, 2);
    EXPECT_EQ(SoundBufferWin_ReverbTail(&tone), 0);
    tone.ReverbCycleStamp -= 3000;
    EXPECT_EQ(SoundBufferWin_ReverbTail(&tone), -1);
    EXPECT_EQ(tone.ReverbCycleState, 0);

    Capture capture;
    PlayOutAndCapture(&tone, &capture);
    if (HasFatalFailure()) return;
    const double rms = 0.5 / sqrt(2.0);
    ExpectSideLevels(capture, {rms * expected[0], rms * expected[1]}, 0.05);
}

// XAudio2 plays mono data that is not 3D through a two-channel voice fed from a copy that unlock
// widens; the copy is what plays.
TEST_F(SoundDevicePlatformBufferTest, XAudio2MonoPlaysFromTheWidenedCopy)
{
    SoundWinState.UseDirectSoundFamily = 1;
    SoundWinState.UseXAudio2 = 1;
    ASSERT_EQ(Sound_Initialize(), 0);
    for (int bits : {8, 16}) {
        SCOPED_TRACE(bits);
        const WAVEFORMATEX format = SoundMixTest::PcmFormat(1, bits, 22050);
        SoundBuffer buffer;
        memset(&buffer, 0, sizeof(buffer));
        ASSERT_EQ(SoundBuffer_Create(&buffer, 64, &format, nullptr, 0), 0);
        EXPECT_EQ(buffer.VoiceChannels, 2);
        ASSERT_NE(buffer.Wave->StereoCopy, nullptr);
        EXPECT_EQ((uintptr_t)buffer.Wave->StereoCopy % 16, 0u);
        EXPECT_GE(buffer.Wave->StereoCopy, buffer.Wave->Data + 64);
        void* region[2];
        uint32_t length[2];
        // A range past the end wraps to the start.
        ASSERT_EQ(SoundBuffer_LockRegion(&buffer, 60, 8, &region[0], &length[0], &region[1], &length[1]), 0);
        EXPECT_EQ(length[0], 4u);
        EXPECT_EQ(length[1], 4u);
        memset(region[0], 0x80, length[0]);
        memcpy(region[1], "\x01\x02\x03\x04", 4);
        ASSERT_EQ(SoundBuffer_UnlockRegion(&buffer, region[0], length[0], region[1], length[1]), 0);
        const uint8_t* copy = buffer.Wave->StereoCopy;
        if (bits == 8) {
            EXPECT_EQ(memcmp(copy, "\x01\x01\x02\x02\x03\x03\x04\x04", 8), 0);
            EXPECT_EQ(copy[120], 0x80);
            EXPECT_EQ(copy[121], 0x80);
        } else {
            EXPECT_EQ(memcmp(copy, "\x01\x02\x01\x02\x03\x04\x03\x04", 8), 0);
            EXPECT_EQ(memcmp(copy + 120, "\x80\x80\x80\x80\x80\x80\x80\x80", 8), 0);
        }
        // A second buffer made from it shares the block.
        SoundBuffer shared;
        memset(&shared, 0, sizeof(shared));
        ASSERT_EQ(SoundBuffer_CreateShared(&shared, &buffer, 0), 0);
        EXPECT_EQ(shared.Wave, buffer.Wave);
        EXPECT_EQ(buffer.Wave->ReferenceCount, 2);
        SoundBuffer_Release(&buffer);
        EXPECT_EQ(shared.Wave->ReferenceCount, 1);
        ASSERT_EQ(SoundBuffer_Start(&shared, 0), 0);
        EXPECT_TRUE(WaitUntilEnded(&shared, 2000));
        SoundBuffer_Release(&shared);
    }
}

// The reverb send: a 3D sound on the right reaches the left channel only through its reverb submix
// (one channel, spread over both outputs), so the left side of the capture carries the reverb.
TEST_F(SoundDevicePlatformBufferTest, XAudio2ReverbSendReachesTheOutput)
{
    SoundWinState.UseDirectSoundFamily = 1;
    SoundWinState.UseXAudio2 = 1;
    ASSERT_EQ(Sound_Initialize(), 0);
    SoundBuffer tone;
    MakeTone(&tone, 44100, 1000.0, 0.5, 16384, 1);
    if (HasFatalFailure()) return;
    ASSERT_EQ(SoundBuffer_Move3D(&tone, Right5), 0);
    ASSERT_EQ(SoundBuffer_Update3D(&tone, 0), 0);
    ASSERT_EQ(SoundBuffer_Start(&tone, 0), 0);
    Capture capture;
    PlayOutAndCapture(&tone, &capture);
    if (HasFatalFailure()) return;
    const double left = MiddleRms(capture, capture.Left), right = MiddleRms(capture, capture.Right);
    printf("3D tone with reverb: left RMS %.4f, right RMS %.4f\n", left, right);
    EXPECT_GT(left, 0.002);
    EXPECT_GT(right, left);
}
