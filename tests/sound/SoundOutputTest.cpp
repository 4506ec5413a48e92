// Output back-ends: the choice loop and its fall-backs, the waveOut refill off the callback thread,
// the reverb presets, and (in the device run, where ALSA's default device writes a WAVE file) a
// 1 kHz tone through each back-end measured in that file, and WASAPI following a device change.
#include <gtest/gtest.h>
#include <windows.h>
#include <mmreg.h>
#include <objbase.h>
#include <mmdeviceapi.h>

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "foundation/VtWinAPI.h"
#include "sound/VtSound.h"
#include "sound/VtSoundBuffer.h"
#include "sound/VtSoundWin.h"
#include "SoundCaptureSupport.h"

using namespace Vantrel;
using namespace SoundCapture;


// Reverb presets ---------------------------------------------------------------------------------

TEST(SoundReverbTest, PresetConversionFollowsTheI3DL2Rules)
{
    XAudio2ReverbParameters28 native;
    SoundWin_Reverb_I3DL2ToNative28(&SoundWin_ReverbPresetsI3DL2[1], &native);
    EXPECT_FLOAT_EQ(native.RoomFilterMain, -100.0f);
    EXPECT_FLOAT_EQ(native.ReflectionsGain, -100.0f);
    EXPECT_FLOAT_EQ(native.ReverbGain, -100.0f);
    EXPECT_FLOAT_EQ(native.DecayTime, 1.0f);
    EXPECT_EQ(native.LowEQGain, 8);
    EXPECT_EQ(native.HighEQGain, 7);
    EXPECT_EQ(native.ReflectionsDelay, 20u);
    EXPECT_EQ(native.ReverbDelay, 40);
    EXPECT_EQ(native.RearDelay, 5);
    EXPECT_EQ(native.PositionMatrixLeft, 27);
    EXPECT_FLOAT_EQ(native.RoomSize, 100.0f);
    EXPECT_EQ(native.EarlyDiffusion, 15);
    EXPECT_EQ(native.DisableLateField, 0);

    XAudio2ReverbParameters27 cave;
    SoundWin_Reverb_I3DL2ToNative27(&SoundWin_ReverbPresetsI3DL2[10], &cave);
    EXPECT_FLOAT_EQ(cave.DecayTime, 2.91f * 1.30f);
    EXPECT_EQ(cave.LowEQGain, 8);
    EXPECT_EQ(cave.HighEQGain, 8);

    XAudio2ReverbParameters27 mountains;
    SoundWin_Reverb_I3DL2ToNative27(&SoundWin_ReverbPresetsI3DL2[18], &mountains);
    EXPECT_EQ(mountains.ReflectionsDelay, 299u);
    EXPECT_EQ(mountains.ReverbDelay, 84);   // 100 ms is beyond the longest reverb delay
    EXPECT_EQ(mountains.EarlyDiffusion, 4); // 27 % of 15

    XAudio2ReverbParameters27 padded;
    SoundWin_Reverb_I3DL2ToNative27(&SoundWin_ReverbPresetsI3DL2[3], &padded);
    EXPECT_EQ(padded.ReflectionsDelay, 1u);  // 1 ms stays at the shortest delay
    EXPECT_EQ(padded.HighEQGain, 5);         // 0.1 in single precision: 4 x log10 is just above -4
}

TEST(SoundReverbTest, PresetQueryNeedsXAudio2AndDecibels)
{
    XAudio2ReverbParameters27 native;
    SoundWinState.UseXAudio2 = 0;
    EXPECT_EQ(SoundWin_GetReverbPresetParam(&native, 0), -1);
    SoundWinState.UseXAudio2 = 1;
    EXPECT_EQ(SoundWin_GetReverbPresetParam(nullptr, 0), 0);
    SoundWin_Reverb_ConvertPresets(7);
    EXPECT_EQ(SoundWin_GetReverbPresetParam(&native, 2), 0);
    EXPECT_FLOAT_EQ(native.RoomFilterHF, -1.0f);
    SoundWinState.UseXAudio2 = 0;

    EXPECT_FLOAT_EQ(SoundWin_AmplitudeToDecibel(1.0f), 0.0f);
    EXPECT_NEAR(SoundWin_AmplitudeToDecibel(0.5f), -6.0206f, 1e-3);
    EXPECT_EQ(SoundWin_AmplitudeToDecibel(0.0f), -3.4028235e38f);
}

// Without a device -------------------------------------------------------------------------------

class SoundNoDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!CapturePath().empty()) GTEST_SKIP() << "the device run has a device";
        ResetSwitches();
    }
    void TearDown() override
    {
        Sound_Terminate();
        ResetSwitches();
    }
    ComScope Com;
};

// WASAPI, then DirectSound fail; the library runs on with the device-less output, and 3D defaults
// are stored on that road too. waveOut or DirectSound forced first fall through the same way, and
// buffers, 3D ones too, play on silently. (XAudio2 is never forced here: inside Wine it crashes
// without a device.)
TEST_F(SoundNoDeviceTest, StartFallsBackAndRunsOnSilent)
{
    for (int road = 0; road < 3; road++) {
        SCOPED_TRACE(road);
        ResetSwitches();
        SoundWinState.UseWaveOut = road == 1;
        SoundWinState.UseDirectSoundFamily = road == 2;
        ASSERT_EQ(Sound_Initialize(), 0);
        EXPECT_EQ(SoundWin_IsOutputReady(), 1);
        EXPECT_EQ(SoundWinState.OutputDevice, 1u);
        EXPECT_EQ(SoundWinState.UseWaveOut, 0);
        EXPECT_EQ(SoundWinState.UseDirectSoundFamily, 1);
        EXPECT_EQ(SoundSystemState.SoftwareMixing, 1);
        EXPECT_EQ(SoundWinState.WasapiAudioClient, nullptr);
        EXPECT_EQ(SoundWinState.PrimaryBuffer, nullptr);
        EXPECT_FLOAT_EQ(SoundWinState.DefaultCone.OuterVolume, 0.75f);
        EXPECT_EQ(SoundWinState.DefaultListener.pCone, &SoundWinState.DefaultCone);
        EXPECT_FLOAT_EQ(SoundWinState.DefaultListener.OrientFront.z, 1.0f);

        SoundBuffer tone;
        MakeTone(&tone, 44100, 1000.0, 0.1, 8000);
        EXPECT_EQ(SoundBuffer_Start(&tone, 1), 0);
        EXPECT_EQ(Sound_ProcessDeviceChange(), 0);
        SoundBuffer_Halt(&tone, 1);
        SoundBuffer_Release(&tone);
        MakeTone(&tone, 44100, 1000.0, 0.1, 8000, 1);
        const float position[3] = {1.0f, 0.0f, 1.0f};
        EXPECT_EQ(SoundBuffer_SetReach3D(&tone, 14.0f), 0);
        EXPECT_EQ(SoundBuffer_Start(&tone, 1), 0);
        EXPECT_EQ(SoundBuffer_Move3D(&tone, position), 0);
        EXPECT_EQ(tone.Refresh3DPending, 0);
        EXPECT_EQ(Sound_Process3DAll(), 0);
        SoundBuffer_Release(&tone);
        Sound_Terminate();
        EXPECT_EQ(SoundWin_IsOutputReady(), 0);
    }
}

// waveOut through fakes: the done-callback only hands the header over; the refill and the next
// waveOutWrite happen on another thread.
namespace {
DWORD FakeWriteThreads[64];
volatile LONG FakeWriteCount;
DWORD_PTR FakeCallback;
HWAVEOUT FakeDevice = (HWAVEOUT)0x1234;

MMRESULT WINAPI FakeWaveOutOpen(LPHWAVEOUT device, UINT, LPCWAVEFORMATEX format, DWORD_PTR callback, DWORD_PTR, DWORD flags)
{
    if (flags != CALLBACK_FUNCTION || format->nBlockAlign != 4) return MMSYSERR_INVALPARAM;
    *device = FakeDevice;
    FakeCallback = callback;
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI FakeWaveOutWrite(HWAVEOUT, LPWAVEHDR, UINT)
{
    const LONG n = InterlockedIncrement(&FakeWriteCount);
    if (n <= 64) FakeWriteThreads[n - 1] = GetCurrentThreadId();
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI FakeWaveOutHeader(HWAVEOUT, LPWAVEHDR header, UINT)
{
    header->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI FakeWaveOutUnprepare(HWAVEOUT, LPWAVEHDR header, UINT)
{
    header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI FakeWaveOutPlain(HWAVEOUT) { return MMSYSERR_NOERROR; }
}  // namespace

TEST_F(SoundNoDeviceTest, WaveOutRefillsOffTheCallbackThread)
{
    WinAPI_EnsureLoaded();
    const auto saved = WinAPITable;
    WinAPITable.waveOutOpen = FakeWaveOutOpen;
    WinAPITable.waveOutWrite = FakeWaveOutWrite;
    WinAPITable.waveOutPrepareHeader = FakeWaveOutHeader;
    WinAPITable.waveOutUnprepareHeader = FakeWaveOutUnprepare;
    WinAPITable.waveOutReset = FakeWaveOutPlain;
    WinAPITable.waveOutClose = FakeWaveOutPlain;
    FakeWriteCount = 0;
    SoundWinState.UseWaveOut = 1;
    const int started = Sound_Initialize();
    if (started == 0) {
        EXPECT_EQ(SoundWinState.UseWaveOut, 1);
        EXPECT_EQ(SoundWinState.WaveOutFrames, 1470);
        EXPECT_EQ(SoundWinState.WaveOutHeaders[0].dwBufferLength, 1470u * 4);
        EXPECT_EQ(SoundWinState.WaveOutHeaders[1].lpData, SoundWinState.WaveOutHeaders[0].lpData + 1470 * 4);
        EXPECT_EQ(FakeWriteCount, 2);
        auto callback = (void(CALLBACK*)(HWAVEOUT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR))FakeCallback;
        const DWORD callbackThread = GetCurrentThreadId();
        callback(FakeDevice, WOM_DONE, 0, (DWORD_PTR)&SoundWinState.WaveOutHeaders[1], 0);
        callback(FakeDevice, WOM_OPEN, 0, 0, 0);
        for (int i = 0; i < 200 && FakeWriteCount < 3; i++) Sleep(5);
        EXPECT_EQ(FakeWriteCount, 3);
        EXPECT_NE(FakeWriteThreads[2], callbackThread);
        // Once stopping, a finished header is not queued again.
        SoundWinState.WaveOutStopping = 1;
        callback(FakeDevice, WOM_DONE, 0, (DWORD_PTR)&SoundWinState.WaveOutHeaders[0], 0);
        Sleep(50);
        EXPECT_EQ(FakeWriteCount, 3);
    }
    Sound_Terminate();
    WinAPITable = saved;
    ASSERT_EQ(started, 0);
    EXPECT_EQ(SoundWinState.WaveOutDevice, nullptr);
    EXPECT_EQ(SoundWinState.WaveOutBlock, nullptr);
}

// With a device ----------------------------------------------------------------------------------

struct BackEndCase {
    const char* Name;
    int WaveOut;
    int DirectSoundFamily;
    int XAudio2;
    bool SelfMixed;
    int MidiMode = 0;   // 1: DirectMusic's DirectSound 8 object plays the buffers
};

class SoundDeviceTest : public SoundDeviceFixture, public ::testing::WithParamInterface<BackEndCase> {};
class SoundDeviceChangeTest : public SoundDeviceFixture {};

TEST_P(SoundDeviceTest, OneSecondToneLandsInTheCapture)
{
    const BackEndCase& c = GetParam();
    SoundWinState.UseWaveOut = c.WaveOut;
    SoundWinState.UseDirectSoundFamily = c.DirectSoundFamily;
    SoundWinState.UseXAudio2 = c.XAudio2;
    SoundSystemState.MidiMode = c.MidiMode;
    ASSERT_EQ(Sound_Initialize(), 0);
    EXPECT_EQ(SoundSystemState.MidiMode, c.MidiMode);
    EXPECT_EQ(SoundWinState.UseWaveOut, c.WaveOut);
    EXPECT_EQ(SoundWinState.UseDirectSoundFamily, c.DirectSoundFamily || c.MidiMode);
    EXPECT_EQ(SoundWinState.UseXAudio2, c.XAudio2);
    EXPECT_EQ(SoundSystemState.SoftwareMixing, c.SelfMixed ? 1 : 0);
    if (c.SelfMixed) {
        EXPECT_EQ(SoundWinState.OutputDevice, 1u);
    } else {
        EXPECT_GT(SoundWinState.OutputDevice, 1u);
        if (c.XAudio2) {
            EXPECT_EQ(SoundWinState.XAudio2Ready, 1);
            EXPECT_NE(SoundWinState.MasteringVoice28, nullptr);
            EXPECT_EQ(SoundSystemState.OutputChannels, 2);
            XAudio2ReverbParameters27 reverb;
            EXPECT_EQ(SoundWin_GetReverbPresetParam(&reverb, 1), 0);
            EXPECT_EQ(reverb.HighEQGain, 7);
        } else if (c.MidiMode) {
            EXPECT_NE(SoundWinState.MusicPerformance, nullptr);
        } else {
            EXPECT_NE(SoundWinState.PrimaryBuffer, nullptr);
            EXPECT_NE(SoundWinState.SilentBuffer, nullptr);
        }
        EXPECT_FLOAT_EQ(SoundWinState.DefaultCone.InnerReverb, 0.708f);
    }
    SoundBuffer tone;
    MakeTone(&tone, 44100, 1000.0, 1.0, 16384);
    if (HasFatalFailure()) return;
    ASSERT_EQ(SoundBuffer_Start(&tone, 0), 0);
    Capture capture;
    PlayOutAndCapture(&tone, &capture);
    if (HasFatalFailure()) return;
    if (!c.SelfMixed) {
        // Shut-down released every platform object, once.
        EXPECT_EQ(SoundWinState.OutputDevice, 0u);
        EXPECT_EQ(SoundWinState.SilentBuffer, nullptr);
        EXPECT_EQ(SoundWinState.MasteringVoice28, nullptr);
        EXPECT_EQ(SoundWinState.XAudio2Module, nullptr);
        SoundWin_Terminate_ReleaseOutput();
    }
    const ToneFigures figures = MeasureTone(capture);
    // One buffer: the device block of the self-mixed outputs, a 60th of a second (the XAudio2
    // submission slice) for the platform-mixed ones.
    const int bufferFrames = c.WaveOut ? 1470 : c.SelfMixed ? (int)SoundWinState.WasapiBufferFrames : capture.Rate / 60;
    printf("%s: %d Hz capture, tone %.3f s at %.1f Hz, RMS %.4f, longest gap %d frames, %d frames of gaps (one buffer: %d frames)\n",
           c.Name, capture.Rate, figures.Seconds, figures.Frequency, figures.Rms, figures.LongestGap, figures.GapFrames,
           bufferFrames);
    EXPECT_NEAR(figures.Frequency, 1000.0, 2.0);
    // The self-mixed outputs resample in the library's mixer (WASAPI from 44.1 to 48 kHz here): the
    // pitch is exact.
    const double fitted = FittedFrequency(capture.Left, capture.Rate);
    printf("%s: tone fitted at %.4f Hz\n", c.Name, fitted);
    if (c.SelfMixed) {
        EXPECT_NEAR(fitted, 1000.0, 0.01);
    }
    // The whole second sounds: nothing lost, nothing repeated. A self-mixed output whose render thread
    // comes late (the capture device does not pace playback, and the machine may be busy) gets a
    // period of silence from the platform in between; such a gap only delays the rest.
    EXPECT_NEAR(figures.Seconds - (double)figures.GapFrames / capture.Rate, 1.0, 0.01);
    EXPECT_NEAR(figures.Rms, 0.5 / sqrt(2.0), 0.02);
    EXPECT_LT(figures.LongestGap, bufferFrames > 0 ? bufferFrames : 1);
}

INSTANTIATE_TEST_SUITE_P(BackEnds, SoundDeviceTest,
                         ::testing::Values(BackEndCase{"WASAPI", 0, 0, 0, true}, BackEndCase{"waveOut", 1, 0, 0, true},
                                           BackEndCase{"DirectSound", 0, 1, 0, false},
                                           BackEndCase{"XAudio2", 0, 1, 1, false},
                                           BackEndCase{"DirectMusic", 0, 0, 0, false, 1}),
                         [](const ::testing::TestParamInfo<BackEndCase>& info) { return std::string(info.param.Name); });

namespace {
HRESULT WINAPI FailingCoCreateInstance(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID* result)
{
    *result = nullptr;
    return E_FAIL;
}

void SignalDefaultDeviceChange(EDataFlow flow, ERole role)
{
    ASSERT_NE(SoundWinState.WasapiNotifyClient, nullptr);
    reinterpret_cast<IMMNotificationClient*>(SoundWinState.WasapiNotifyClient)->OnDefaultDeviceChanged(flow, role, L"{0}");
}
}  // namespace

// The notification only raises the flag; the per-frame check closes and opens WASAPI again, and the
// sound that was playing plays on to its end through the new output.
TEST_F(SoundDeviceChangeTest, WasapiFollowsADefaultDeviceChange)
{
    ASSERT_EQ(Sound_Initialize(), 0);
    ASSERT_NE(SoundWinState.WasapiAudioClient, nullptr);
    SoundBuffer tone;
    MakeTone(&tone, 44100, 1000.0, 1.0, 16384);
    ASSERT_EQ(SoundBuffer_Start(&tone, 0), 0);
    for (int i = 0; i < 500 && tone.PlayPosition < 4410; i++) Sleep(2);

    SignalDefaultDeviceChange(eCapture, eConsole);
    SignalDefaultDeviceChange(eRender, eMultimedia);
    EXPECT_EQ(SoundWinState.DefaultDeviceChanged, 0);
    SignalDefaultDeviceChange(eRender, eConsole);
    EXPECT_EQ(SoundWinState.DefaultDeviceChanged, 1);
    DeleteFileA(CapturePathWindows().c_str());
    EXPECT_EQ(Sound_ProcessDeviceChange(), 0);
    EXPECT_EQ(SoundWinState.DefaultDeviceChanged, 0);
    EXPECT_NE(SoundWinState.WasapiAudioClient, nullptr);
    EXPECT_EQ(SoundWinState.OutputDevice, 1u);

    Capture capture;
    PlayOutAndCapture(&tone, &capture);
    if (HasFatalFailure()) return;
    const ToneFigures figures = MeasureTone(capture);
    // The opening again may leave a short silence where the old stream ended: the tone's pitch is
    // measured on its last quarter second, after any such gap.
    Capture tail = capture;
    size_t last = tail.Left.size();
    while (last > 0 && fabs(tail.Left[last - 1]) <= 0.01) last--;
    const size_t quarter = (size_t)tail.Rate / 4;
    ASSERT_GT(last, quarter);
    tail.Left.assign(capture.Left.begin() + (last - quarter), capture.Left.begin() + last);
    const ToneFigures end = MeasureTone(tail);
    printf("after the change: tone %.3f s, longest gap %d frames, last quarter second at %.1f Hz, RMS %.4f\n",
           figures.Seconds, figures.LongestGap, end.Frequency, end.Rms);
    EXPECT_NEAR(end.Frequency, 1000.0, 2.0);
    EXPECT_NEAR(end.Rms, 0.5 / sqrt(2.0), 0.02);
    EXPECT_GT(figures.Seconds, 0.25);
}

// A re-opening that fails keeps the output a self-mixed one waiting for an endpoint, tries again a
// second later and plays once the endpoint is back.
TEST_F(SoundDeviceChangeTest, FailedReopenIsTriedAgain)
{
    ASSERT_EQ(Sound_Initialize(), 0);
    ASSERT_NE(SoundWinState.WasapiAudioClient, nullptr);
    const auto saved = WinAPITable.CoCreateInstance;
    WinAPITable.CoCreateInstance = FailingCoCreateInstance;
    SignalDefaultDeviceChange(eRender, eConsole);
    Sound_ProcessDeviceChange();
    WinAPITable.CoCreateInstance = saved;
    EXPECT_EQ(SoundWinState.WasapiAudioClient, nullptr);
    EXPECT_EQ(SoundWinState.WasapiReopenPending, 1);
    EXPECT_EQ(SoundWinState.OutputDevice, 1u);
    EXPECT_EQ(SoundWinState.UseDirectSoundFamily, 0);
    EXPECT_EQ(SoundSystemState.SoftwareMixing, 1);

    Sound_ProcessDeviceChange();   // within the second: no new attempt
    EXPECT_EQ(SoundWinState.WasapiAudioClient, nullptr);
    SoundWinState.WasapiReopenStamp -= 2000;
    Sound_ProcessDeviceChange();
    EXPECT_NE(SoundWinState.WasapiAudioClient, nullptr);
    EXPECT_EQ(SoundWinState.WasapiReopenPending, 0);

    SoundBuffer tone;
    MakeTone(&tone, 44100, 1000.0, 0.2, 16384);
    ASSERT_EQ(SoundBuffer_Start(&tone, 0), 0);
    EXPECT_TRUE(WaitUntilEnded(&tone, 5000));
    SoundBuffer_Release(&tone);
}

// DirectMusic: a failure after the performance exists ends the start-up once, with everything
// released, and the next start-up begins clean.
namespace {
const CLSID DirectMusicClass = {0x636b9f10, 0x0c7d, 0x11d1, {0x95, 0xb2, 0x00, 0x20, 0xaf, 0xdc, 0x74, 0x21}};
decltype(WinAPITable.CoCreateInstance) RealCoCreateInstance;
HRESULT WINAPI CoCreateInstanceWithoutDirectMusic(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* result)
{
    if (IsEqualCLSID(clsid, DirectMusicClass)) {
        *result = nullptr;
        return E_FAIL;
    }
    return RealCoCreateInstance(clsid, outer, context, iid, result);
}
}  // namespace

TEST_F(SoundNoDeviceTest, DirectMusicFailureEndsTheStartOnce)
{
    WinAPI_EnsureLoaded();
    RealCoCreateInstance = WinAPITable.CoCreateInstance;
    WinAPITable.CoCreateInstance = CoCreateInstanceWithoutDirectMusic;
    SoundSystemState.MidiMode = 1;
    const int started = Sound_Initialize();
    WinAPITable.CoCreateInstance = RealCoCreateInstance;
    EXPECT_EQ(started, -1);
    EXPECT_EQ(SoundSystemState.Initialized, 0);
    EXPECT_EQ(SoundWinState.OutputDevice, 0u);
    EXPECT_EQ(SoundWinState.MusicPerformance, nullptr);
    EXPECT_EQ(SoundWinState.MusicLoader, nullptr);
    EXPECT_EQ(SoundWinState.UseDirectSoundFamily, 0);   // no further back-end was tried
    ResetSwitches();
    ASSERT_EQ(Sound_Initialize(), 0);
    EXPECT_EQ(SoundWin_IsOutputReady(), 1);
}
