// VtSoundOutputPlatform: the platform-mixed output back-ends: DirectMusic with its DirectSound 8
// object, XAudio2 2.8 (from its DLL) or 2.7 (through COM) with the mastering voice and X3DAudio,
// DirectSound with its primary buffer, the closing steps that describe or prepare the chosen device
// (channel mask and X3DAudio, the looping silent buffer, the device description), and their release.
// Stands on the platform half of the sound state, the reverb presets, the log and the system
// function table.
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <initguid.h>
#include <dsound.h>
#include <dmusici.h>
#include <xaudio2.h>
#include <string.h>

#include "foundation/VtLog.h"
#include "foundation/VtWinAPI.h"
#include "sound/VtSound.h"
#include "sound/VtSoundWin.h"

namespace Vantrel {

typedef HRESULT(WINAPI* SoundWin_XAudio2CreateProc)(IXAudio2** engine, UINT32 flags, XAUDIO2_PROCESSOR processor);
typedef HRESULT(WINAPI* SoundWin_DirectSoundEnumerateProc)(LPDSENUMCALLBACKW callback, LPVOID context);

static const XAUDIO2_PROCESSOR SoundWin_AllProcessors = (XAUDIO2_PROCESSOR)0xffffffffu;

static IUnknown* SoundWin_OutputObject()
{
    return SoundWinState.OutputDevice > 1 ? (IUnknown*)SoundWinState.OutputDevice : nullptr;
}

BOOL CALLBACK SoundWin_DirectSoundEnum_LogCallback(LPGUID guid, LPCWSTR description, LPCWSTR module, LPVOID context)
{
    Log_AddFormatUTF16(L"Module Name : %15s   Description : %s ", module != nullptr ? module : L"",
                       description != nullptr ? description : L"");
    return TRUE;
}

// DirectMusic -------------------------------------------------------------------------------------

// 0 open; -1 the loader or the performance could not be made (the choice loop goes on without
// MIDI through DirectMusic); -2 a later failure, which ends the start-up.
int SoundWin_DirectMusic_Open()
{
    SoundWinStateRecord& win = SoundWinState;
    Log_AddTextUTF16(L"DirectSound8 の初期化を行います\n");
    if (WinAPITable.CoCreateInstance(CLSID_DirectMusicLoader, nullptr, CLSCTX_INPROC, IID_IDirectMusicLoader8,
                                     (void**)&win.MusicLoader) != S_OK ||
        win.MusicLoader == nullptr) {
        win.MusicLoader = nullptr;
        Log_AddTextUTF16(L"DirectMusicLoader8 オブジェクトの作成に失敗しました\n");
        Log_AddTextUTF16(L"前バージョンでの初期化処理に移ります\n");
        return -1;
    }
    if (WinAPITable.CoCreateInstance(CLSID_DirectMusicPerformance, nullptr, CLSCTX_INPROC, IID_IDirectMusicPerformance8,
                                     (void**)&win.MusicPerformance) != S_OK ||
        win.MusicPerformance == nullptr) {
        win.MusicPerformance = nullptr;
        win.MusicLoader->Release();
        win.MusicLoader = nullptr;
        Log_AddTextUTF16(L"DirectMusicPerformance オブジェクトの作成に失敗しました\n");
        return -1;
    }
    IDirectMusic* music = nullptr;
    if (WinAPITable.CoCreateInstance(CLSID_DirectMusic, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectMusic, (void**)&music) != S_OK ||
        music == nullptr) {
        Log_AddTextUTF16(L"DirectMusic オブジェクトの取得に失敗しました\n");
        return -2;
    }
    IDirectMusic8* music8 = nullptr;
    if (music->QueryInterface(IID_IDirectMusic8, (void**)&music8) != S_OK) {
        music->Release();
        Log_AddTextUTF16(L"DirectMusic8 オブジェクトの取得に失敗しました\n");
        return -2;
    }
    for (DWORD index = 0;; index++) {
        DMUS_PORTCAPS caps;
        memset(&caps, 0, sizeof(caps));
        caps.dwSize = sizeof(caps);
        if (music8->EnumPort(index, &caps) != S_OK) break;
        Log_AddFormatUTF16(L"%s  Device%d:%s ", caps.dwClass == DMUS_PC_OUTPUTCLASS ? L"Output port" : L"Input port",
                           (int)index, caps.wszDescription);
    }
    music8->Release();
    music->Release();

    IDirectMusic* unused = nullptr;
    IDirectSound* sound = nullptr;
    win.OutputDevice = 0;
    DMUS_AUDIOPARAMS params;
    memset(&params, 0, sizeof(params));
    params.dwSize = sizeof(params);
    params.fInitNow = TRUE;
    params.dwValidData = DMUS_AUDIOPARAMS_FEATURES | DMUS_AUDIOPARAMS_SAMPLERATE;
    params.dwFeatures = DMUS_AUDIOF_ALL;
    params.dwSampleRate = 44100;
    const DWORD pathType = SoundSystemState.MidiMode == 2 ? DMUS_APATH_DYNAMIC_STEREO : DMUS_APATH_SHARED_STEREOPLUSREVERB;
    if (win.MusicPerformance->InitAudio(&unused, &sound, nullptr, pathType, 64, DMUS_AUDIOF_ALL, &params) != S_OK ||
        sound == nullptr) {
        Log_AddTextUTF16(L"DirectMusicPerformanceオブジェクトの初期化に失敗しました\n");
        return -2;
    }
    win.OutputDevice = (uintptr_t)sound;
    uint32_t volume = 0;
    win.MusicPerformance->GetGlobalParam(GUID_PerfMasterVolume, &volume, sizeof(volume));
    win.MidiMasterVolume = volume;
    win.UseDirectSoundFamily = 1;
    return 0;
}

// XAudio2 -----------------------------------------------------------------------------------------

static int SoundWin_XAudio2_Fail()
{
    Log_Indent_Decrease();
    return -1;
}

int SoundWin_XAudio2_Open()
{
    SoundWinStateRecord& win = SoundWinState;
    const UINT32 rate = (UINT32)SoundSystemState.OutputRate;
    Log_AddTextUTF16(L"XAudio2 の初期化を行います\n");
    Log_Indent_Increase();
    win.XAudio2Module = WinAPITable.LoadLibraryW(L"XAudio2_8.dll");
    if (win.XAudio2Module != nullptr) {
        Log_AddTextUTF16(L"XAudio2_8.dll を使用します\n");
        win.XAudio2CreateEntry = WinAPITable.GetProcAddress(win.XAudio2Module, "XAudio2Create");
        win.CreateAudioVolumeMeterEntry = WinAPITable.GetProcAddress(win.XAudio2Module, "CreateAudioVolumeMeter");
        win.CreateAudioReverbEntry = WinAPITable.GetProcAddress(win.XAudio2Module, "CreateAudioReverb");
        win.X3DAudioInitializeEntry = (X3DAudioInitializeProc)(void*)WinAPITable.GetProcAddress(win.XAudio2Module, "X3DAudioInitialize");
        win.X3DAudioCalculateEntry = (X3DAudioCalculateProc)(void*)WinAPITable.GetProcAddress(win.XAudio2Module, "X3DAudioCalculate");
        Log_AddTextUTF16(L"XAudio2 インターフェースの取得と初期化を行います....  ");
        IXAudio2* engine = nullptr;
        const HRESULT hr = win.XAudio2CreateEntry != nullptr
                               ? ((SoundWin_XAudio2CreateProc)(void*)win.XAudio2CreateEntry)(&engine, 0, SoundWin_AllProcessors)
                               : E_FAIL;
        if (hr != S_OK || engine == nullptr) {
            Log_AddTextUTF16(L"初期化に失敗しました\n");
            Log_AddFormatUTF16(L"エラーコード %x", (unsigned)hr);
            return SoundWin_XAudio2_Fail();
        }
        win.OutputDevice = (uintptr_t)engine;
        Log_AddTextUTF16(L"成功 Ver2.8\n");
        if (engine->CreateMasteringVoice(&win.MasteringVoice28, 0, rate, 0, nullptr, nullptr, AudioCategory_GameEffects) != S_OK) {
            win.MasteringVoice28 = nullptr;
            Log_AddTextUTF16(L"XAudio2MasteringVoiceの作成に失敗しました\n");
            return SoundWin_XAudio2_Fail();
        }
        SoundWin_Reverb_ConvertPresets(8);
        win.XAudio2Ready = 1;
        return 0;
    }

    Log_AddTextUTF16(L"XAudio2 インターフェースの取得を行います....  ");
    IXAudio27* engine = nullptr;
    const CLSID* classes[2] = {&CLSID_XAudio27, &CLSID_XAudio2Debug};
    int found = -1;
    for (int i = 0; i < 2 && found < 0; i++) {
        if (WinAPITable.CoCreateInstance(*classes[i], nullptr, CLSCTX_ALL, IID_IXAudio27, (void**)&engine) == S_OK && engine != nullptr)
            found = i;
        else
            engine = nullptr;
    }
    if (found < 0) {
        Log_AddTextUTF16(L"XAudio2インターフェースの取得に失敗しました\n");
        return SoundWin_XAudio2_Fail();
    }
    win.OutputDevice = (uintptr_t)engine;
    Log_AddFormatUTF16(L"成功 Ver2.%d\n", 7 - found);
    Log_AddTextUTF16(L"引き続きインターフェースの初期化処理...  ");
    const HRESULT hr = engine->Initialize(0, SoundWin_AllProcessors);
    if (hr != S_OK) {
        Log_AddTextUTF16(L"初期化に失敗しました\n");
        Log_AddFormatUTF16(L"エラーコード %x", (unsigned)hr);
        return SoundWin_XAudio2_Fail();
    }
    Log_AddTextUTF16(L"成功\n");
    Log_AddTextUTF16(L"X3DAudio.DLL の読み込み中... ");
    win.X3DAudioModule = WinAPITable.LoadLibraryW(L"X3DAudio1_7.dll");
    if (win.X3DAudioModule == nullptr) {
        Log_AddTextUTF16(L"失敗、X3DAudio、XAudio2は使用しません\n");
        return SoundWin_XAudio2_Fail();
    }
    Log_AddTextUTF16(L"成功\n");
    win.X3DAudioInitializeEntry = (X3DAudioInitializeProc)(void*)WinAPITable.GetProcAddress(win.X3DAudioModule, "X3DAudioInitialize");
    win.X3DAudioCalculateEntry = (X3DAudioCalculateProc)(void*)WinAPITable.GetProcAddress(win.X3DAudioModule, "X3DAudioCalculate");
    IXAudio2MasteringVoice* voice = nullptr;
    if (engine->CreateMasteringVoice(&voice, 0, rate, 0, 0, nullptr) != S_OK || voice == nullptr) {
        Log_AddTextUTF16(L"XAudio2MasteringVoiceの作成に失敗しました\n");
        WinAPITable.FreeLibrary(win.X3DAudioModule);
        win.X3DAudioModule = nullptr;
        win.X3DAudioInitializeEntry = nullptr;
        win.X3DAudioCalculateEntry = nullptr;
        return SoundWin_XAudio2_Fail();
    }
    win.MasteringVoice27 = voice;
    SoundWin_Reverb_ConvertPresets(7);
    win.XAudio2Ready = 1;
    return 0;
}

// DirectSound -------------------------------------------------------------------------------------

static int SoundWin_DirectSound_Fail(const wchar_t* message)
{
    if (message != nullptr) Log_AddTextUTF16(message);
    if (IUnknown* object = SoundWin_OutputObject()) object->Release();
    SoundWinState.OutputDevice = 0;
    return -1;
}

int SoundWin_DirectSound_Open()
{
    SoundWinStateRecord& win = SoundWinState;
    Log_AddTextUTF16(L"DirectSound の初期化を行います\n");
    Log_AddTextUTF16(L"DirectSound インターフェースの取得を行います....  ");
    IDirectSound* sound = nullptr;
    if (WinAPITable.CoCreateInstance(CLSID_DirectSound, nullptr, CLSCTX_ALL, IID_IDirectSound, (void**)&sound) != S_OK ||
        sound == nullptr) {
        win.OutputDevice = 0;
        Log_AddTextUTF16(L"DirectSoundインターフェースの取得に失敗しました\n");
        return -1;
    }
    win.OutputDevice = (uintptr_t)sound;
    Log_AddTextUTF16(L"成功\n");
    Log_AddTextUTF16(L"引き続きインターフェースの初期化処理...  ");
    const HRESULT hr = sound->Initialize(nullptr);
    if (hr != S_OK) {
        Log_AddTextUTF16(L"初期化に失敗しました\n");
        Log_AddFormatUTF16(L"エラーコード %x", (unsigned)hr);
        return SoundWin_DirectSound_Fail(nullptr);
    }
    Log_AddTextUTF16(L"成功\n");
    if (sound->SetCooperativeLevel(WinAPITable.GetDesktopWindow(), DSSCL_PRIORITY) != S_OK)
        return SoundWin_DirectSound_Fail(L"DirectSoundの協調レベルの設定に失敗しました\n");
    DSBUFFERDESC desc;
    memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DSBCAPS_PRIMARYBUFFER | (win.UseSoftwareBuffers ? DSBCAPS_LOCSOFTWARE : 0);
    if (sound->CreateSoundBuffer(&desc, &win.PrimaryBuffer, nullptr) != S_OK) {
        win.PrimaryBuffer = nullptr;
        return SoundWin_DirectSound_Fail(L"DirectSoundのプライマリサウンドバッファの作成に失敗しました\n");
    }
    DSCAPS caps;
    memset(&caps, 0, sizeof(caps));
    caps.dwSize = sizeof(caps);
    sound->GetCaps(&caps);
    WAVEFORMATEX format;
    memset(&format, 0, sizeof(format));
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = (caps.dwFlags & DSCAPS_PRIMARYSTEREO) ? 2 : 1;
    format.wBitsPerSample = (caps.dwFlags & DSCAPS_PRIMARY16BIT) ? 16 : 8;
    format.nSamplesPerSec = caps.dwMaxSecondarySampleRate < 44100 ? caps.dwMaxSecondarySampleRate : 44100;
    format.nBlockAlign = (WORD)(format.nChannels * format.wBitsPerSample / 8);
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    if (win.PrimaryBuffer->SetFormat(&format) != S_OK)
        Log_AddTextUTF16(L"DirectSoundのプライマリサウンドバッファのフォーマット設定に失敗しました\n");
    return 0;
}

// Closing steps -----------------------------------------------------------------------------------

static void SoundWin_DirectSound_StartSilentBuffer(IDirectSound* sound)
{
    SoundWinStateRecord& win = SoundWinState;
    WAVEFORMATEX format;
    memset(&format, 0, sizeof(format));
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = 22050;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 2;
    format.nAvgBytesPerSec = 44100;
    const DWORD location = win.UseSoftwareBuffers ? DSBCAPS_LOCSOFTWARE : DSBCAPS_STATIC;
    DSBUFFERDESC desc;
    memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME | DSBCAPS_GLOBALFOCUS |
                   DSBCAPS_GETCURRENTPOSITION2 | location;
    desc.dwBufferBytes = 9000 * 2;
    desc.lpwfxFormat = &format;
    if (sound->CreateSoundBuffer(&desc, &win.SilentBuffer, nullptr) != S_OK) {
        desc.dwFlags = DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME | location;
        if (sound->CreateSoundBuffer(&desc, &win.SilentBuffer, nullptr) != S_OK) {
            win.SilentBuffer = nullptr;
            Log_AddTextUTF16(L"無音バッファの作成に失敗しました");
            return;
        }
    }
    void* data = nullptr;
    DWORD bytes = 0;
    if (win.SilentBuffer->Lock(0, 0, &data, &bytes, nullptr, nullptr, DSBLOCK_ENTIREBUFFER) != S_OK) {
        Log_AddTextUTF16(L"無音バッファのロックに失敗しました");
        win.SilentBuffer->Release();
        win.SilentBuffer = nullptr;
        return;
    }
    memset(data, 0, bytes);
    win.SilentBuffer->Unlock(data, bytes, nullptr, 0);
    win.SilentBuffer->Play(0, 0, DSBPLAY_LOOPING);
}

static void SoundWin_DirectSound_LogDevice(IDirectSound* sound)
{
    DSCAPS caps;
    memset(&caps, 0, sizeof(caps));
    caps.dwSize = sizeof(caps);
    sound->GetCaps(&caps);
    Log_Indent_Increase();
    Log_AddTextUTF16(L"DirectSound デバイスを列挙します\n");
    HMODULE module = WinAPITable.LoadLibraryW(L"DSound.DLL");
    if (module == nullptr) {
        Log_AddTextUTF16(L"DSOUND.DLL のロードに失敗しました\n");
    } else {
        SoundWin_DirectSoundEnumerateProc enumerate =
            (SoundWin_DirectSoundEnumerateProc)(void*)WinAPITable.GetProcAddress(module, "DirectSoundEnumerateW");
        if (enumerate == nullptr) Log_AddTextUTF16(L"DirectSound デバイスの列挙用関数のポインタ取得に失敗しました\n");
        else enumerate(SoundWin_DirectSoundEnum_LogCallback, nullptr);
        Log_AddFormatUTF16(L"最大サンプリングレート:%.2fKHz 最小サンプリングレート:%.2fKHz ",
                           caps.dwMaxSecondarySampleRate / 1000.0, caps.dwMinSecondarySampleRate / 1000.0);
        Log_AddFormatUTF16(L"総サウンドメモリ領域:%.2fKB 空きサウンドメモリ領域:%.2fKB \n", caps.dwTotalHwMemBytes / 1024.0,
                           caps.dwFreeHwMemBytes / 1024.0);
        auto ok = [&](DWORD flag) { return (caps.dwFlags & flag) ? L"OK" : L"NO"; };
        Log_AddTextUTF16(L"利用可能サンプリング精度\n");
        Log_AddFormatUTF16(L"  Primary    16bit = %s  8bit = %s ", ok(DSCAPS_PRIMARY16BIT), ok(DSCAPS_PRIMARY8BIT));
        Log_AddFormatUTF16(L"  Secondary  16bit = %s  8bit = %s \n", ok(DSCAPS_SECONDARY16BIT), ok(DSCAPS_SECONDARY8BIT));
        Log_AddTextUTF16(L"利用可能チャンネル\n");
        Log_AddFormatUTF16(L"  Primary    MONO = %s   STEREO = %s ", ok(DSCAPS_PRIMARYMONO), ok(DSCAPS_PRIMARYSTEREO));
        Log_AddFormatUTF16(L"  Secondary  MONO = %s   STEREO = %s \n", ok(DSCAPS_SECONDARYMONO), ok(DSCAPS_SECONDARYSTEREO));
        WinAPITable.FreeLibrary(module);
    }
    Log_Indent_Decrease();
}

int SoundWin_PlatformOutput_Finish()
{
    SoundWinStateRecord& win = SoundWinState;
    if (win.UseWaveOut || win.UseAsio || !win.UseDirectSoundFamily || SoundWin_OutputObject() == nullptr) return 0;
    if (win.UseXAudio2) {
        if (win.MasteringVoice28 != nullptr) {
            DWORD mask = 0;
            win.MasteringVoice28->GetChannelMask(&mask);
            win.OutputChannelMask = mask;
            int count = 0;
            for (int bit = 0; bit < 32; bit++) count += (mask >> bit) & 1;
            SoundSystemState.OutputChannels = count;
        } else {
            IXAudio27* engine = (IXAudio27*)win.OutputDevice;
            XAUDIO2_DEVICE_DETAILS details;
            memset(&details, 0, sizeof(details));
            engine->GetDeviceDetails(0, &details);
            win.OutputChannelMask = details.OutputFormat.dwChannelMask;
            SoundSystemState.OutputChannels = details.OutputFormat.Format.nChannels;
            Log_Indent_Increase();
            Log_AddFormatUTF16(L"Device Name : %s", details.DisplayName);
            Log_AddFormatUTF16(L"チャンネル数:%d", (int)details.OutputFormat.Format.nChannels);
            Log_AddFormatUTF16(L"ビット精度:%dbit", (int)details.OutputFormat.Format.wBitsPerSample);
            Log_AddFormatUTF16(L"サンプリングレート:%dHz", (int)details.OutputFormat.Format.nSamplesPerSec);
            Log_Indent_Decrease();
        }
        if (win.X3DAudioInitializeEntry != nullptr)
            win.X3DAudioInitializeEntry(win.OutputChannelMask, VT_X3DAUDIO_SPEED_OF_SOUND, win.X3DInstance);
        return 0;
    }
    IDirectSound* sound = (IDirectSound*)win.OutputDevice;
    SoundWin_DirectSound_StartSilentBuffer(sound);
    SoundWin_DirectSound_LogDevice(sound);
    return 0;
}

// Releases every object of the platform-mixed back-ends; each goes once and its pointer is
// cleared, so a second call (or a call after a failed open) releases nothing twice.
int SoundWin_PlatformOutput_Close()
{
    SoundWinStateRecord& win = SoundWinState;
    win.OutputGeneration++;
    if (win.SilentBuffer != nullptr) {
        win.SilentBuffer->Stop();
        win.SilentBuffer->Release();
        win.SilentBuffer = nullptr;
    }
    if (win.PrimaryBuffer != nullptr) {
        win.PrimaryBuffer->Release();
        win.PrimaryBuffer = nullptr;
    }
    if (win.MasteringVoice28 != nullptr) {
        win.MasteringVoice28->DestroyVoice();
        win.MasteringVoice28 = nullptr;
    }
    if (win.MasteringVoice27 != nullptr) {
        ((IXAudio27MasteringVoice*)win.MasteringVoice27)->DestroyVoice();
        win.MasteringVoice27 = nullptr;
    }
    win.XAudio2Ready = 0;
    if (win.MusicPerformance != nullptr) {
        // The performance owns the DirectSound object it made: it goes with CloseDown.
        win.MusicPerformance->CloseDown();
        win.MusicPerformance->Release();
        win.MusicPerformance = nullptr;
        if (win.OutputDevice > 1) ((IUnknown*)win.OutputDevice)->Release();
        win.OutputDevice = 0;
    }
    if (win.MusicLoader != nullptr) {
        win.MusicLoader->Release();
        win.MusicLoader = nullptr;
    }
    if (IUnknown* object = SoundWin_OutputObject()) object->Release();
    if (win.OutputDevice > 1) win.OutputDevice = 0;
    if (win.X3DAudioModule != nullptr) {
        WinAPITable.FreeLibrary(win.X3DAudioModule);
        win.X3DAudioModule = nullptr;
    }
    if (win.XAudio2Module != nullptr) {
        WinAPITable.FreeLibrary(win.XAudio2Module);
        win.XAudio2Module = nullptr;
    }
    win.XAudio2CreateEntry = nullptr;
    win.CreateAudioVolumeMeterEntry = nullptr;
    win.CreateAudioReverbEntry = nullptr;
    win.X3DAudioInitializeEntry = nullptr;
    win.X3DAudioCalculateEntry = nullptr;
    return 0;
}

}  // namespace Vantrel
