// Platform-mixed paths with a device (the device run's capture file): DirectSound buffer creation
// retried with fewer controls, handle setters that report a failing platform call, a playing 3D
// DirectSound buffer refreshed the moment it moves, XAudio2 looping and seeking, and 3D sound
// handles on both back-ends: the 3D lists, the reverb cycle of Sound_Process3DAll and the 3D
// settings applied at each start. The DirectSound object is the system's, seen through a proxy of
// the test's own (CoCreateInstance of the system function table) that can refuse or trim buffers.
#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <dsound.h>
#include <xaudio2.h>

#include <math.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "SoundCaptureSupport.h"
#include "SoundHandleTestSupport.h"
#include "SoundMixTestSupport.h"
#include "foundation/VtHandle.h"
#include "foundation/VtMemory.h"
#include "foundation/VtWinAPI.h"
#include "sound/VtSound.h"
#include "sound/VtSoundBuffer.h"
#include "sound/VtSoundBufferWin.h"
#include "sound/VtSoundHandle.h"
#include "sound/VtSoundWave.h"
#include "sound/VtSoundWin.h"

using namespace Vantrel;
using namespace SoundCapture;

namespace {

// The DirectSound object through a proxy: secondary buffers asked for with frequency control can
// be refused a number of times, and their controls can be trimmed away, as a lesser device would.
struct ProxyControl {
    int RefuseFrequencyControl = 0;     // refusals of buffers with frequency control left
    int RefuseAny = 0;                  // refusals of any secondary buffer left
    bool TrimControls = false;
    std::vector<DWORD> SecondaryFlags;  // the flags of every secondary buffer asked for
};
ProxyControl Proxy;

class DirectSoundProxy final : public IDirectSound {
public:
    explicit DirectSoundProxy(IDirectSound* inner) : Inner(inner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** result) override { return Inner->QueryInterface(iid, result); }
    ULONG STDMETHODCALLTYPE AddRef() override { return (ULONG)InterlockedIncrement(&References); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG count = InterlockedDecrement(&References);
        if (count == 0) {
            Inner->Release();
            delete this;
        }
        return (ULONG)count;
    }
    HRESULT STDMETHODCALLTYPE CreateSoundBuffer(LPCDSBUFFERDESC desc, LPLPDIRECTSOUNDBUFFER buffer, IUnknown* outer) override
    {
        if (desc == nullptr || (desc->dwFlags & DSBCAPS_PRIMARYBUFFER)) return Inner->CreateSoundBuffer(desc, buffer, outer);
        Proxy.SecondaryFlags.push_back(desc->dwFlags);
        if (Proxy.RefuseAny > 0 || ((desc->dwFlags & DSBCAPS_CTRLFREQUENCY) && Proxy.RefuseFrequencyControl > 0)) {
            if (Proxy.RefuseAny > 0) Proxy.RefuseAny--;
            else Proxy.RefuseFrequencyControl--;
            *buffer = nullptr;
            return DSERR_CONTROLUNAVAIL;
        }
        DSBUFFERDESC trimmed = *desc;
        if (Proxy.TrimControls) trimmed.dwFlags &= ~(DWORD)(DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME);
        return Inner->CreateSoundBuffer(&trimmed, buffer, outer);
    }
    HRESULT STDMETHODCALLTYPE GetCaps(LPDSCAPS caps) override { return Inner->GetCaps(caps); }
    HRESULT STDMETHODCALLTYPE DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER original, LPLPDIRECTSOUNDBUFFER duplicate) override
    {
        return Inner->DuplicateSoundBuffer(original, duplicate);
    }
    HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD level) override { return Inner->SetCooperativeLevel(window, level); }
    HRESULT STDMETHODCALLTYPE Compact() override { return Inner->Compact(); }
    HRESULT STDMETHODCALLTYPE GetSpeakerConfig(LPDWORD config) override { return Inner->GetSpeakerConfig(config); }
    HRESULT STDMETHODCALLTYPE SetSpeakerConfig(DWORD config) override { return Inner->SetSpeakerConfig(config); }
    HRESULT STDMETHODCALLTYPE Initialize(LPCGUID device) override { return Inner->Initialize(device); }

private:
    IDirectSound* Inner;
    volatile LONG References = 1;
};

decltype(WinAPITable.CoCreateInstance) SystemCoCreateInstance;
const CLSID DirectSoundClass = {0x47d4d946, 0x62e8, 0x11cf, {0x93, 0xbc, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

HRESULT WINAPI CoCreateInstanceThroughTheProxy(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* result)
{
    const HRESULT hr = SystemCoCreateInstance(clsid, outer, context, iid, result);
    if (hr == S_OK && IsEqualCLSID(clsid, DirectSoundClass) && *result != nullptr)
        *result = static_cast<IDirectSound*>(new DirectSoundProxy((IDirectSound*)*result));
    return hr;
}

constexpr DWORD AllControls = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME | DSBCAPS_GLOBALFOCUS |
                              DSBCAPS_GETCURRENTPOSITION2;
const float Right5[3] = {5.0f, 0.0f, 0.0f};

std::vector<uint8_t> ToneImage(int rate, double frequency, double seconds, int amplitude)
{
    std::vector<int16_t> samples((size_t)(rate * seconds));
    for (size_t i = 0; i < samples.size(); i++)
        samples[i] = (int16_t)lrint(amplitude * sin(2.0 * 3.14159265358979323846 * frequency * (double)i / rate));
    return SoundHandleTestSupport::WaveImage(SoundMixTest::Pcm16(samples), SoundMixTest::PcmFormat(1, 16, rate));
}

class SoundDevicePathsTest : public SoundDeviceFixture {
protected:
    void SetUp() override
    {
        SoundDeviceFixture::SetUp();
        if (IsSkipped()) return;
        WinAPI_EnsureLoaded();
        Proxy = ProxyControl();
        SystemCoCreateInstance = WinAPITable.CoCreateInstance;
        WinAPITable.CoCreateInstance = CoCreateInstanceThroughTheProxy;
    }
    void TearDown() override
    {
        SoundDeviceFixture::TearDown();
        if (SystemCoCreateInstance != nullptr) WinAPITable.CoCreateInstance = SystemCoCreateInstance;
        SystemCoCreateInstance = nullptr;
    }
    void OpenDirectSound()
    {
        SoundWinState.UseDirectSoundFamily = 1;
        ASSERT_EQ(Sound_Initialize(), 0);
        ASSERT_EQ(SoundSystemState.SoftwareMixing, 0);
        ASSERT_EQ(SoundWinState.UseXAudio2, 0);
        ASSERT_GT(SoundWinState.OutputDevice, 1u);
    }
    void OpenXAudio2()
    {
        SoundWinState.UseDirectSoundFamily = 1;
        SoundWinState.UseXAudio2 = 1;
        ASSERT_EQ(Sound_Initialize(), 0);
        ASSERT_EQ(SoundWinState.XAudio2Ready, 1);
    }
    HandleValue LoadTone(const std::vector<uint8_t>& image, int buffers, int is3D)
    {
        SoundLoadParam param;
        Sound_LoadParam_Init(&param);
        param.Is3D = is3D;
        return LoadSoundFromMemImageWithParam(&param, 1, -1, image.data(), (int64_t)image.size(), buffers, -1, 0, 0);
    }
};

// A device that refuses a buffer with frequency control gets the request again with pan and volume
// control only (the location flag kept); a second refusal fails the creation. The retried buffer
// plays, and a rate change on it reports the platform's refusal.
TEST_F(SoundDevicePathsTest, DirectSoundCreationIsRetriedWithFewerControls)
{
    OpenDirectSound();
    for (int software = 0; software < 2; software++) {
        SCOPED_TRACE(software);
        SoundWinState.UseSoftwareBuffers = software;
        const DWORD location = software ? DSBCAPS_LOCSOFTWARE : DSBCAPS_STATIC;
        Proxy.SecondaryFlags.clear();
        Proxy.RefuseFrequencyControl = 1;
        SoundBuffer tone;
        MakeTone(&tone, 44100, 1000.0, 0.1, 8000);
        if (HasFatalFailure()) return;
        ASSERT_EQ(Proxy.SecondaryFlags.size(), 2u);
        EXPECT_EQ(Proxy.SecondaryFlags[0], AllControls | location);
        EXPECT_EQ(Proxy.SecondaryFlags[1], (DWORD)(DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME) | location);
        EXPECT_EQ(SoundBuffer_SetRate(&tone, 22050), -1) << "no frequency control: the platform refuses";
        EXPECT_EQ(SoundBuffer_SetPanning(&tone, 2000), 0);
        ASSERT_EQ(SoundBuffer_Start(&tone, 0), 0);
        EXPECT_TRUE(WaitUntilEnded(&tone, 5000));
        SoundBuffer_Release(&tone);
    }
    // Refused twice: no buffer, and nothing of it left.
    SoundWinState.UseSoftwareBuffers = 0;
    Proxy.SecondaryFlags.clear();
    Proxy.RefuseAny = 2;
    const WAVEFORMATEX format = SoundMixTest::PcmFormat(1, 16, 44100);
    SoundBuffer refused;
    memset(&refused, 0, sizeof(refused));
    EXPECT_EQ(SoundBuffer_Create(&refused, 4410 * 2, &format, nullptr, 0), -1);
    EXPECT_EQ(Proxy.SecondaryFlags.size(), 2u);
    EXPECT_EQ(refused.Valid, 0);
    EXPECT_EQ(refused.PlatformVoice, nullptr);
}

// Setters of a sound handle tell when the platform refused: a device whose buffers have no pan,
// volume or frequency control makes them return -1, and the handle keeps its settings.
TEST_F(SoundDevicePathsTest, HandleSettersReportARefusingPlatform)
{
    OpenDirectSound();
    const std::vector<uint8_t> image = ToneImage(44100, 1000.0, 0.2, 8000);
    const HandleValue working = LoadTone(image, 2, 0);
    ASSERT_GE(working, 0);
    EXPECT_EQ(SetSoundVolume(5000, working), 0);
    EXPECT_EQ(SetSoundPan(-3000, working), 0);
    EXPECT_EQ(SetSoundFrequency(22050, working), 0);
    EXPECT_EQ(GetSoundFrequency(working), 22050);

    Proxy.TrimControls = true;
    const HandleValue trimmed = LoadTone(image, 2, 0);
    ASSERT_GE(trimmed, 0);
    SoundHandleRecord* sound = (SoundHandleRecord*)Handle_GetRecord(trimmed);
    ASSERT_NE(sound, nullptr);
    ASSERT_EQ(sound->BufferCount, 2);
    EXPECT_EQ(SetSoundVolume(5000, trimmed), -1);
    EXPECT_EQ(sound->ChannelVolume[0], 0) << "the handle keeps its volume";
    EXPECT_EQ(SetSoundPan(-3000, trimmed), -1);
    EXPECT_EQ(sound->Pan, 0);
    EXPECT_EQ(SetSoundFrequency(22050, trimmed), -1);
    EXPECT_EQ(sound->Frequency, 44100);
    EXPECT_EQ(Handle_Delete(trimmed, 0, 0), 0);
    EXPECT_EQ(Handle_Delete(working, 0, 0), 0);
}

// A playing DirectSound 3D buffer that moves is refreshed at once: its pan and volume follow the
// listener model before the next explicit update.
TEST_F(SoundDevicePathsTest, PlayingDirectSound3DBufferFollowsAMoveAtOnce)
{
    OpenDirectSound();
    SoundBuffer tone;
    MakeTone(&tone, 44100, 1000.0, 2.0, 8000, 1);
    if (HasFatalFailure()) return;
    ASSERT_EQ(SoundBuffer_Update3D(&tone, 1), 0);
    ASSERT_EQ(SoundBuffer_Start(&tone, 1), 0);
    ASSERT_EQ(SoundBuffer_IsPlaying(&tone), 1);
    LONG pan = -1, volume = -1;
    ((IDirectSoundBuffer*)tone.PlatformVoice)->GetPan(&pan);
    EXPECT_EQ(pan, 0);
    ASSERT_EQ(SoundBuffer_Move3D(&tone, Right5), 0);
    EXPECT_EQ(tone.Refresh3DPending, 0) << "refreshed while playing";
    int level = 0, combinedPan = 0;
    SoundBuffer_Combine3DLevels(&tone, &level, &combinedPan);
    EXPECT_GT(combinedPan, 0);
    ((IDirectSoundBuffer*)tone.PlatformVoice)->GetPan(&pan);
    ((IDirectSoundBuffer*)tone.PlatformVoice)->GetVolume(&volume);
    EXPECT_EQ(pan, combinedPan);
    EXPECT_EQ(volume, level);
    ASSERT_EQ(SoundBuffer_SetReach3D(&tone, 7.0f), 0);
    EXPECT_EQ(tone.Refresh3DPending, 0);
    ((IDirectSoundBuffer*)tone.PlatformVoice)->GetVolume(&volume);
    SoundBuffer_Combine3DLevels(&tone, &level, &combinedPan);
    EXPECT_EQ(volume, level) << "a shorter reach lowers the level at once";
    SoundBuffer_Halt(&tone, 1);
    SoundBuffer_Release(&tone);
}

// XAudio2 looping: a quarter second played round and round without a seam until halted.
TEST_F(SoundDevicePathsTest, XAudio2LoopsWithoutASeam)
{
    OpenXAudio2();
    SoundBuffer tone;
    MakeTone(&tone, 44100, 1000.0, 0.25, 16384);
    if (HasFatalFailure()) return;
    ASSERT_EQ(SoundBuffer_Start(&tone, 1), 0);
    int wraps = 0, last = 0;
    for (int waited = 0; waited < 20000 && wraps < 3; waited += 2) {
        const int position = tone.PlayPosition;
        if (position < last) wraps++;
        last = position;
        Sleep(2);
    }
    EXPECT_EQ(wraps, 3);
    EXPECT_EQ(SoundBuffer_IsPlaying(&tone), 1) << "a looping buffer plays on";
    ASSERT_EQ(SoundBuffer_Halt(&tone, 1), 0);
    EXPECT_EQ(SoundBuffer_IsPlaying(&tone), 0);
    Capture capture;
    PlayOutAndCapture(&tone, &capture);
    if (HasFatalFailure()) return;
    const ToneFigures figures = MeasureTone(capture);
    printf("XAudio2 loop: tone %.3f s at %.1f Hz, RMS %.4f, longest gap %d frames\n", figures.Seconds, figures.Frequency,
           figures.Rms, figures.LongestGap);
    EXPECT_GT(figures.Seconds, 0.7);
    EXPECT_NEAR(figures.Frequency, 1000.0, 2.0);
    EXPECT_NEAR(figures.Rms, 0.5 / sqrt(2.0), 0.02);
    EXPECT_LT(figures.LongestGap, capture.Rate / 60);
}

// XAudio2 seeking: a buffer of 500 Hz then 1 kHz, sought to its middle, plays only the second half.
TEST_F(SoundDevicePathsTest, XAudio2SeekPlaysFromThePositionSought)
{
    OpenXAudio2();
    const int rate = 44100;
    const WAVEFORMATEX format = SoundMixTest::PcmFormat(1, 16, rate);
    SoundBuffer tone;
    memset(&tone, 0, sizeof(tone));
    ASSERT_EQ(SoundBuffer_Create(&tone, (uint32_t)rate * 2, &format, nullptr, 0), 0);
    void* region[2];
    uint32_t length[2];
    ASSERT_EQ(SoundBuffer_LockRegion(&tone, 0, rate * 2, &region[0], &length[0], &region[1], &length[1]), 0);
    int16_t* samples = (int16_t*)region[0];
    for (int i = 0; i < rate; i++) {
        const double frequency = i < rate / 2 ? 500.0 : 1000.0;
        samples[i] = (int16_t)lrint(16384 * sin(2.0 * 3.14159265358979323846 * frequency * i / rate));
    }
    ASSERT_EQ(SoundBuffer_UnlockRegion(&tone, region[0], length[0], region[1], length[1]), 0);
    EXPECT_EQ(SoundBuffer_SetPosition(&tone, rate * 2), -1) << "the end of the data";
    ASSERT_EQ(SoundBuffer_SetPosition(&tone, rate), 0);
    EXPECT_EQ(tone.ReadCursor, rate / 2);
    int32_t play = -1;
    ASSERT_EQ(SoundBuffer_GetPosition(&tone, &play, nullptr), 0);
    EXPECT_EQ(play, rate);
    ASSERT_EQ(SoundBuffer_Start(&tone, 0), 0);
    Capture capture;
    PlayOutAndCapture(&tone, &capture);
    if (HasFatalFailure()) return;
    const ToneFigures figures = MeasureTone(capture);
    printf("XAudio2 after a seek: tone %.3f s at %.1f Hz\n", figures.Seconds, figures.Frequency);
    EXPECT_NEAR(figures.Seconds - (double)figures.GapFrames / capture.Rate, 0.5, 0.01);
    EXPECT_NEAR(figures.Frequency, 1000.0, 2.0);
}

// 3D sound handles on both platform back-ends: a 3D handle is listed from its creation; a start
// applies its stored position and radius and a one-shot velocity, refreshes the buffer and lists
// the handle as 3D-playing; the per-frame 3D service keeps it listed while its reverb rings (XAudio2:
// while playing and 3 s after) and drops it at once where there is no reverb (DirectSound).
struct ThreeDCase {
    const char* Name;
    bool XAudio2;
};

class SoundDevice3DHandleTest : public SoundDevicePathsTest, public ::testing::WithParamInterface<ThreeDCase> {};

bool Listed(const SoundHandleList& list, const void* record)
{
    for (const HandleListNode* node = list.End.Prev; node != nullptr && node != &list.Start; node = node->Prev)
        if (node->Record == record) return true;
    return false;
}

TEST_P(SoundDevice3DHandleTest, StartAppliesThe3DSettingsAndTheListsFollow)
{
    if (GetParam().XAudio2) OpenXAudio2();
    else OpenDirectSound();
    if (HasFatalFailure()) return;
    const HandleValue handle = LoadTone(ToneImage(44100, 1000.0, 0.3, 8000), 2, 1);
    ASSERT_GE(handle, 0);
    SoundHandleRecord* sound = (SoundHandleRecord*)Handle_GetRecord(handle);
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(sound->Is3D, 1);
    EXPECT_TRUE(Listed(SoundSystemState.Sound3DHandleList, sound));
    EXPECT_FALSE(Listed(SoundSystemState.Sound3DPlayingList, sound));

    memcpy(sound->Position3D, Right5, sizeof(Right5));
    sound->Radius3D = 10.0f;
    const float velocity[3] = {1.0f, 0.0f, 0.0f};
    memcpy(sound->Velocity3DOverride, velocity, sizeof(velocity));
    sound->Velocity3DOverrideSet = 1;
    ASSERT_EQ(StartSoundPlayback(handle, SoundPlayType_Back, 0), 0);
    SoundBuffer& buffer = sound->Buffers[sound->CurrentBuffer];
    EXPECT_EQ(buffer.Position3D[0], 5.0f);
    EXPECT_EQ(buffer.Radius3D, 10.0f);
    EXPECT_EQ(buffer.Velocity3D[0], 1.0f);
    EXPECT_EQ(sound->Velocity3DOverrideSet, 0) << "the override served one start";
    EXPECT_EQ(buffer.Refresh3DPending, 0);
    EXPECT_EQ(buffer.Emitter.Position.x, 5.0f);
    EXPECT_EQ(buffer.Emitter.CurveDistanceScaler, 10.0f);
    EXPECT_EQ(buffer.Emitter.Velocity.x, 1.0f);
    if (GetParam().XAudio2) {
        float expected[2], matrix[2] = {-1, -1};
        X3DAudioStereoLevels(buffer, expected);
        ((IXAudio2SourceVoice*)buffer.PlatformVoice)->GetOutputMatrix((IXAudio2Voice*)SoundWinState.MasteringVoice28, 1, 2, matrix);
        EXPECT_FLOAT_EQ(matrix[0], expected[0]);
        EXPECT_FLOAT_EQ(matrix[1], expected[1]);
        EXPECT_GT(expected[1], expected[0]) << "on the right";
    } else {
        int level = 0, combinedPan = 0;
        SoundBuffer_Combine3DLevels(&buffer, &level, &combinedPan);
        LONG pan = 0;
        ((IDirectSoundBuffer*)buffer.PlatformVoice)->GetPan(&pan);
        EXPECT_EQ(pan, combinedPan);
        EXPECT_GT(pan, 0);
    }
    EXPECT_TRUE(Listed(SoundSystemState.Sound3DPlayingList, sound));
    EXPECT_EQ(sound->In3DPlayingList, 1);

    ASSERT_EQ(Sound_Process3DAll(), 0);
    if (!GetParam().XAudio2) {
        EXPECT_EQ(sound->In3DPlayingList, 0) << "no reverb cycle: it leaves at the first pass";
        EXPECT_FALSE(Listed(SoundSystemState.Sound3DPlayingList, sound));
    } else {
        EXPECT_EQ(sound->In3DPlayingList, 1) << "playing";
        ASSERT_EQ(StopSoundPlayback(handle, 0), 0);
        ASSERT_EQ(Sound_Process3DAll(), 0);
        EXPECT_EQ(sound->In3DPlayingList, 1) << "the reverb tail rings on";
        EXPECT_EQ(buffer.ReverbCycleState, 2);
        buffer.ReverbCycleStamp -= 3000;
        ASSERT_EQ(Sound_Process3DAll(), 0);
        EXPECT_EQ(sound->In3DPlayingList, 0);
        EXPECT_EQ(buffer.ReverbCycleState, 0);
    }

    // The next start takes the next buffer and gives it the stored settings (no override now).
    ASSERT_EQ(StartSoundPlayback(handle, SoundPlayType_Back, 1), 0);
    SoundBuffer& next = sound->Buffers[sound->CurrentBuffer];
    EXPECT_NE(&next, &buffer);
    EXPECT_EQ(next.Position3D[0], 5.0f);
    EXPECT_EQ(next.Velocity3D[0], 0.0f);
    EXPECT_EQ(next.Refresh3DPending, 0);
    EXPECT_EQ(sound->In3DPlayingList, 1);
    EXPECT_EQ(Handle_Delete(handle, 0, 0), 0);
    EXPECT_FALSE(Listed(SoundSystemState.Sound3DHandleList, sound));
    EXPECT_FALSE(Listed(SoundSystemState.Sound3DPlayingList, sound));
}

INSTANTIATE_TEST_SUITE_P(BackEnds, SoundDevice3DHandleTest, ::testing::Values(ThreeDCase{"DirectSound", false}, ThreeDCase{"XAudio2", true}),
                         [](const ::testing::TestParamInfo<ThreeDCase>& info) { return std::string(info.param.Name); });

}  // namespace
