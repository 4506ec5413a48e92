// VtSoundWin: the platform half of the sound state: choosing and opening the output back-end
// (WASAPI, waveOut, ASIO, XAudio2, DirectSound, DirectMusic's DirectSound), the output format the mixer
// writes, the reverb presets and 3D defaults, and the sound-processing thread with its start and stop.
// Stands on the sound state, the mixer, the window state and the system function table.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <stdint.h>

#include "foundation/VtThread.h"
#include "sound/VtAsioDecl.h"
#include "sound/VtXAudio2Decl.h"

// Platform objects are only named here; the modules that use them include their headers.
struct IMMDeviceEnumerator;
struct IMMDevice;
struct IAudioClient;
struct IAudioClock;
struct IAudioRenderClient;
struct IDirectSoundBuffer;
struct IDirectMusicLoader8;
struct IDirectMusicPerformance8;
struct IXAudio2MasteringVoice;

namespace Vantrel {

class D_CMMNotificationClient;

constexpr int SOUND_REVERB_PRESET_COUNT = 30;
constexpr int SOUND_ASIO_DRIVER_MAX = 32;
constexpr int SOUND_ASIO_SAMPLE_TYPE_COUNT = 44;

// One installed ASIO driver as the registry lists it.
struct SoundAsioDriver {
    CLSID Clsid;
    wchar_t Name[256];
    IASIO* Driver;          // null until created
};

// One row of the ASIO sample-type table; rows without a name are types the output does not know.
struct SoundAsioSampleType {
    const wchar_t* Name;
    int32_t Bits;           // container bits
    int32_t ValidBits;
    int32_t Float;
    int32_t MsbFirst;
};
extern const SoundAsioSampleType SoundWin_AsioSampleTypes[SOUND_ASIO_SAMPLE_TYPE_COUNT];

struct SoundWinStateRecord {
    uintptr_t OutputDevice;         // 0 no output; 1 a self-mixed output (no object); else the object
    uint32_t OutputGeneration;      // counts the closings of platform outputs: buffers of an older one are stale
    int32_t UseAsio;
    int32_t UseWaveOut;
    int32_t UseDirectSoundFamily;
    int32_t UseXAudio2;
    int32_t UseSoftwareBuffers;
    WAVEFORMATEXTENSIBLE OutputFormat;
    HANDLE ProcessThread;
    DWORD ProcessThreadId;
    volatile LONG ProcessThreadState;   // 0 running, 1 stop requested, 2 ended

    // waveOut. The done-callback only notes which header finished; the refill thread fills and
    // queues it again (the system forbids waveOut calls inside the callback).
    int32_t WaveOutConfigured;
    int32_t WaveOutConfigFrames;
    int32_t WaveOutConfigRate;
    HWAVEOUT WaveOutDevice;
    WAVEHDR WaveOutHeaders[2];
    uint8_t* WaveOutBlock;
    int32_t WaveOutFrames;
    volatile LONG WaveOutStopping;
    volatile LONG WaveOutDoneMask;      // bit 0 header 0, bit 1 header 1
    HANDLE WaveOutRefillEvent;
    HANDLE WaveOutRefillThread;

    // ASIO. The driver thread reaches these only through the buffer-switch and sample-rate callbacks.
    int32_t AsioDriverCount;
    SoundAsioDriver AsioDrivers[SOUND_ASIO_DRIVER_MAX];
    int32_t AsioSelected;
    int32_t AsioBufferMinimum;
    int32_t AsioBufferMaximum;
    int32_t AsioBufferPreferred;
    int32_t AsioBufferGranularity;
    int32_t AsioBufferSize;             // frames of each half-buffer in use
    int32_t AsioConfigured;
    int32_t AsioConfigBufferSize;
    int32_t AsioConfigRate;
    int32_t AsioSampleType;
    ASIOBufferInfo AsioBuffers[2];      // output channels 0 and 1
    ASIOCallbacks AsioCallbacks;
    int32_t AsioBuffersCreated;
    int32_t AsioStarted;
    float* AsioFloatBlock;              // 64-bit float devices: the block mixed as 32-bit floats first

    // WASAPI.
    int32_t WasapiExclusive;
    int32_t WasapiConfigured;
    int32_t WasapiConfigPeriod;
    int32_t WasapiConfigRate;
    IMMDeviceEnumerator* WasapiEnumerator;
    D_CMMNotificationClient* WasapiNotifyClient;
    int32_t WasapiNotifyRegistered;
    IMMDevice* WasapiDevice;
    IAudioClient* WasapiAudioClient;
    IAudioClock* WasapiAudioClock;
    // The clock is read on the processing thread while a re-opening (main thread) replaces it: both
    // go through this lock, which is taken last of all and held only around the clock's calls.
    CriticalSection WasapiClockLock;
    int32_t WasapiClockLockCreated;
    uint64_t WasapiClockBase;       // output frames mixed before this opening's clock started
    uint32_t WasapiClockRate;       // the output rate of this opening
    IAudioRenderClient* WasapiRenderClient;
    HANDLE WasapiEvent;
    HANDLE WasapiThread;
    volatile LONG WasapiRunning;
    int64_t WasapiDefaultPeriod;
    int64_t WasapiMinimumPeriod;
    int64_t WasapiPeriod;
    uint32_t WasapiBufferFrames;
    volatile LONG DefaultDeviceChanged;
    int32_t WasapiReopenPending;    // a re-opening after a device change failed; tried again
    DWORD WasapiReopenStamp;

    // DirectMusic.
    IDirectMusicLoader8* MusicLoader;
    IDirectMusicPerformance8* MusicPerformance;
    uint32_t MidiMasterVolume;

    // XAudio2 (2.8 from its DLL, 2.7 through COM) and X3DAudio.
    HMODULE XAudio2Module;
    FARPROC XAudio2CreateEntry;
    FARPROC CreateAudioVolumeMeterEntry;
    FARPROC CreateAudioReverbEntry;
    X3DAudioInitializeProc X3DAudioInitializeEntry;
    X3DAudioCalculateProc X3DAudioCalculateEntry;
    HMODULE X3DAudioModule;
    IXAudio2MasteringVoice* MasteringVoice27;
    IXAudio2MasteringVoice* MasteringVoice28;
    uint32_t OutputChannelMask;
    X3DAudioHandle X3DInstance;
    XAudio2ReverbParameters28 ReverbPresets28[SOUND_REVERB_PRESET_COUNT];
    XAudio2ReverbParameters27 ReverbPresets27[SOUND_REVERB_PRESET_COUNT];
    int32_t XAudio2Ready;

    // DirectSound.
    IDirectSoundBuffer* PrimaryBuffer;
    IDirectSoundBuffer* SilentBuffer;

    // 3D defaults, stored at the end of every output start-up.
    X3DAudioCone DefaultCone;
    X3DAudioListener DefaultListener;
};
extern SoundWinStateRecord SoundWinState;

int SoundWin_InitializeOutput();
int SoundWin_InitializeOutput_Finish();
int SoundWin_IsOutputReady();
DWORD WINAPI SoundWin_ProcessThread_Main(LPVOID parameter);
int SoundWin_Terminate_StopThread();
int SoundWin_Terminate_ReleaseOutput();
int SoundWin_Midi_IsPlaying(const void* musicRecord);
BOOL CALLBACK SoundWin_DirectSoundEnum_LogCallback(LPGUID guid, LPCWSTR description, LPCWSTR module, LPVOID context);

// Opens (or opens again) the device-less output in the given format (null: 16-bit stereo at
// 44,100 Hz), with a mixing block of a thirtieth of a second. The output of last resort when no
// device opens: the library runs on, silent.
int SoundWin_OpenDevicelessOutput(const WAVEFORMATEXTENSIBLE* format);

// The output clock where the output offers one (WASAPI): output frames played since the sound
// system started, across re-openings of the output, and the output rate; -1 else.
int SoundWin_GetOutputClock(uint64_t* position, uint64_t* frequency);

// waveOut.
int SoundWin_WaveOut_Open();
int SoundWin_WaveOut_Close();
void CALLBACK SoundWin_WaveOut_DoneCallback(HWAVEOUT device, UINT message, DWORD_PTR instance, DWORD_PTR parameter1,
                                            DWORD_PTR parameter2);

// ASIO.
int SoundWin_Asio_EnumerateDrivers();
int SoundWin_Asio_Open();
int SoundWin_Asio_Close();
void SoundWin_Asio_BufferSwitchCallback(long doubleBufferIndex, ASIOBool directProcess);
void SoundWin_Asio_SampleRateCallback(ASIOSampleRate sampleRate);
long SoundWin_Asio_MessageCallback(long selector, long value, void* message, double* optional);

// WASAPI.
int SoundWin_Wasapi_Open();
int SoundWin_Wasapi_Close();
int SoundWin_Wasapi_CheckDeviceChange();
int SoundWin_Wasapi_GetClockPosition(uint64_t* position, uint64_t* frequency);
DWORD WINAPI SoundWin_WasapiRenderThread_Main(LPVOID parameter);

// The platform-mixed back-ends; each returns 0 or -1 as the choice loop expects.
int SoundWin_DirectMusic_Open();
int SoundWin_XAudio2_Open();
int SoundWin_DirectSound_Open();
int SoundWin_PlatformOutput_Finish();
int SoundWin_PlatformOutput_Close();

// Reverb presets and 3D parameters.
extern const XAudio2I3DL2Parameters SoundWin_ReverbPresetsI3DL2[SOUND_REVERB_PRESET_COUNT];
void SoundWin_Reverb_I3DL2ToNative28(const XAudio2I3DL2Parameters* preset, XAudio2ReverbParameters28* native);
void SoundWin_Reverb_I3DL2ToNative27(const XAudio2I3DL2Parameters* preset, XAudio2ReverbParameters27* native);
int SoundWin_Reverb_ConvertPresets(int version);
int SoundWin_GetReverbPresetParam(XAudio2ReverbParameters27* native, int preset);
float SoundWin_AmplitudeToDecibel(float amplitude);
int SoundWin_Store3DDefaults();

// Writes one block of the self-mixed output: frames of the output format at data (interleaved).
int SoundWin_MixInto(void* data, int32_t frames);
// Logs the output format lines of a self-mixed back-end.
void SoundWin_LogOutputFormat();

}  // namespace Vantrel
