// VtSoundOutputWasapi: the WASAPI output: the default render endpoint opened through the MMDevice
// API in shared mode (exclusive on request, with its format search), fed by a render thread that
// calls the software mixer, and opened again when the default endpoint changes.
// Stands on the platform half of the sound state, the mixer, the log and the system function table.
#include <initguid.h>
#include <mmdeviceapi.h>
#include <audioclient.h>
#include <functiondiscoverykeys_devpkey.h>
#include <string.h>

#include <new>

#include "foundation/VtLog.h"
#include "foundation/VtWinAPI.h"
#include "sound/VtSound.h"
#include "sound/VtSoundMixer.h"
#include "sound/VtSoundWin.h"

namespace Vantrel {

static const GUID SoundWin_SubtypePcm = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
static const GUID SoundWin_SubtypeFloat = {0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
static const CLSID SoundWin_ClsidMMDeviceEnumerator = {0xbcde0395, 0xe52f, 0x467c, {0x8e, 0x3d, 0xc4, 0x57, 0x92, 0x91, 0x69, 0x2e}};
static const IID SoundWin_IidMMDeviceEnumerator = {0xa95664d2, 0x9614, 0x4f35, {0xa7, 0x46, 0xde, 0x8d, 0xb6, 0x36, 0x17, 0xe6}};
static const IID SoundWin_IidMMNotificationClient = {0x7991eec9, 0x7e89, 0x4d85, {0x83, 0x90, 0x6c, 0x70, 0x3c, 0xec, 0x60, 0xc0}};
static const IID SoundWin_IidAudioClient = {0x1cb9ad4c, 0xdbfa, 0x4c32, {0xb1, 0x78, 0xc2, 0xf5, 0x68, 0xa7, 0x03, 0xb2}};
static const IID SoundWin_IidAudioClock = {0xcd63314f, 0x3fba, 0x4a1b, {0x81, 0x2c, 0xef, 0x96, 0x35, 0x87, 0x28, 0xe7}};
static const IID SoundWin_IidAudioRenderClient = {0xf294acfc, 0x3146, 0x4483, {0xa7, 0xbf, 0xad, 0xdc, 0xa7, 0xc2, 0x60, 0xe2}};

// Learns of a change of the default render endpoint; the main thread's per-frame check acts on it.
class D_CMMNotificationClient : public IMMNotificationClient {
public:
    LONG ReferenceCount = 1;
    IMMDeviceEnumerator* Enumerator = nullptr;

    virtual ~D_CMMNotificationClient()
    {
        if (Enumerator != nullptr) Enumerator->Release();
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** result) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, SoundWin_IidMMNotificationClient)) {
            AddRef();
            *result = this;
            return S_OK;
        }
        *result = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return (ULONG)++ReferenceCount; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG count = --ReferenceCount;
        if (count == 0) delete this;
        return (ULONG)count;
    }
    HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR) override
    {
        if (flow == eRender && role == eConsole) InterlockedExchange(&SoundWinState.DefaultDeviceChanged, 1);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override { return S_OK; }
};

// The exclusive-mode format search: rows of container bits, valid bits and float samples.
static const struct {
    int ContainerBits, ValidBits, Float;
} SoundWin_WasapiFormatRows[5] = {{16, 16, 0}, {24, 24, 0}, {32, 24, 0}, {32, 32, 0}, {32, 32, 1}};
static const int SoundWin_WasapiRates[6] = {44100, 48000, 88200, 96000, 176400, 192000};

static void SoundWin_Wasapi_MakeFormat(WAVEFORMATEXTENSIBLE* format, int rate, int row)
{
    memset(format, 0, sizeof(*format));
    format->Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    format->Format.nChannels = 2;
    format->Format.nSamplesPerSec = (DWORD)rate;
    format->Format.wBitsPerSample = (WORD)SoundWin_WasapiFormatRows[row].ContainerBits;
    format->Format.nBlockAlign = (WORD)(2 * SoundWin_WasapiFormatRows[row].ContainerBits / 8);
    format->Format.nAvgBytesPerSec = (DWORD)format->Format.nBlockAlign * (DWORD)rate;
    format->Format.cbSize = 22;
    format->Samples.wValidBitsPerSample = (WORD)SoundWin_WasapiFormatRows[row].ValidBits;
    format->dwChannelMask = 3;
    format->SubFormat = SoundWin_WasapiFormatRows[row].Float ? SoundWin_SubtypeFloat : SoundWin_SubtypePcm;
}

template <class T> static void SoundWin_ReleaseObject(T*& object)
{
    if (object != nullptr) object->Release();
    object = nullptr;
}

static int SoundWin_Wasapi_PublishFormat()
{
    const WAVEFORMATEXTENSIBLE& format = SoundWinState.OutputFormat;
    if (Sound_Mixer_SetOutputFormat(&format, 0, 0) != 0) return -1;
    SoundWin_LogOutputFormat();
    return 0;
}

// Puts a new audio clock in place (null: none) and releases the old one, under the clock lock, so
// that a reader on another thread never calls a released clock. The clock of a new opening counts
// from 0: the output frames mixed so far are its base.
static void SoundWin_Wasapi_SetClock(IAudioClock* clock)
{
    SoundWinStateRecord& win = SoundWinState;
    if (win.WasapiClockLockCreated) CriticalSection_Enter(&win.WasapiClockLock, "ViZedavWin", __LINE__);
    IAudioClock* old = win.WasapiAudioClock;
    win.WasapiAudioClock = clock;
    win.WasapiClockBase = SoundSystemState.TotalOutputFrames;
    win.WasapiClockRate = (uint32_t)SoundSystemState.SoftwareOutputRate;
    if (old != nullptr) old->Release();
    if (win.WasapiClockLockCreated) CriticalSection_Leave(&win.WasapiClockLock);
}

// Releases what an open made, in the order of a failed open; shutting the thread comes first.
static void SoundWin_Wasapi_ReleaseAll(WAVEFORMATEX* mixFormat)
{
    SoundWinStateRecord& win = SoundWinState;
    if (win.WasapiThread != nullptr) {
        InterlockedExchange(&win.WasapiRunning, 0);
        // An exclusive-mode thread waiting for the device's event goes at once.
        if (win.WasapiEvent != nullptr) WinAPITable.SetEvent(win.WasapiEvent);
        WinAPITable.WaitForSingleObject(win.WasapiThread, INFINITE);
        WinAPITable.CloseHandle(win.WasapiThread);
        win.WasapiThread = nullptr;
    }
    win.WasapiRunning = 0;
    SoundWin_ReleaseObject(win.WasapiRenderClient);
    if (win.WasapiEvent != nullptr) {
        WinAPITable.CloseHandle(win.WasapiEvent);
        win.WasapiEvent = nullptr;
    }
    SoundWin_ReleaseObject(win.WasapiAudioClient);
    SoundWin_Wasapi_SetClock(nullptr);
    SoundWin_ReleaseObject(win.WasapiDevice);
    if (win.WasapiNotifyRegistered && win.WasapiEnumerator != nullptr)
        win.WasapiEnumerator->UnregisterEndpointNotificationCallback(win.WasapiNotifyClient);
    win.WasapiNotifyRegistered = 0;
    SoundWin_ReleaseObject(win.WasapiEnumerator);
    SoundWin_ReleaseObject(win.WasapiNotifyClient);
    if (mixFormat != nullptr) WinAPITable.CoTaskMemFree(mixFormat);
}

// A failure: the log indent goes down, the message is logged, everything made is released. A
// shared-mode failure (or any failure outside the exclusive search) falls back to DirectSound;
// an exclusive-mode failure asks the choice loop to try shared mode.
static int SoundWin_Wasapi_Fail(const wchar_t* message, WAVEFORMATEX* mixFormat, bool exclusiveFallBack)
{
    Log_Indent_Decrease();
    if (message != nullptr) Log_AddTextUTF16(message);
    SoundWin_Wasapi_ReleaseAll(mixFormat);
    if (exclusiveFallBack && SoundWinState.WasapiExclusive) {
        Log_AddTextUTF16(L"排他モードでの初期化に失敗したので共有モードでの初期化を試行します\n");
        SoundWinState.WasapiExclusive = 0;
    } else {
        SoundWinState.UseDirectSoundFamily = 1;
        SoundSystemState.SoftwareMixing = 0;
    }
    return -1;
}

static int SoundWin_Wasapi_Activate()
{
    return SoundWinState.WasapiDevice->Activate(SoundWin_IidAudioClient, CLSCTX_ALL, nullptr,
                                                (void**)&SoundWinState.WasapiAudioClient) == S_OK &&
                   SoundWinState.WasapiAudioClient != nullptr
               ? 0
               : -1;
}

int SoundWin_Wasapi_Open()
{
    SoundWinStateRecord& win = SoundWinState;
    const bool exclusive = win.WasapiExclusive != 0;
    WAVEFORMATEX* mixFormat = nullptr;
    SoundSystemState.SoftwareMixing = 1;
    Log_AddTextUTF16(L"WASAPI の初期化を行います\n");
    Log_Indent_Increase();

    const HRESULT created = WinAPITable.CoCreateInstance(SoundWin_ClsidMMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                                         SoundWin_IidMMDeviceEnumerator, (void**)&win.WasapiEnumerator);
    if (created != S_OK || win.WasapiEnumerator == nullptr) {
        win.WasapiEnumerator = nullptr;
        return SoundWin_Wasapi_Fail(L"IMMDeviceEnumerator の取得に失敗しました\n", nullptr, false);
    }
    win.WasapiNotifyClient = new (std::nothrow) D_CMMNotificationClient();
    if (win.WasapiNotifyClient != nullptr &&
        win.WasapiEnumerator->RegisterEndpointNotificationCallback(win.WasapiNotifyClient) == S_OK)
        win.WasapiNotifyRegistered = 1;
    if (win.WasapiEnumerator->GetDefaultAudioEndpoint(eRender, eConsole, &win.WasapiDevice) != S_OK ||
        win.WasapiDevice == nullptr) {
        win.WasapiDevice = nullptr;
        return SoundWin_Wasapi_Fail(L"IMMDevice の取得に失敗しました\n", nullptr, false);
    }
    IPropertyStore* store = nullptr;
    if (win.WasapiDevice->OpenPropertyStore(STGM_READ, &store) == S_OK && store != nullptr) {
        PROPVARIANT name;
        PropVariantInit(&name);
        if (store->GetValue(PKEY_Device_FriendlyName, &name) == S_OK && name.vt == VT_LPWSTR && name.pwszVal != nullptr)
            Log_AddFormatUTF16(L"デバイス名 : %s", name.pwszVal);
        PropVariantClear(&name);
        store->Release();
    }
    if (SoundWin_Wasapi_Activate() != 0) {
        win.WasapiAudioClient = nullptr;
        return SoundWin_Wasapi_Fail(L"オーディオクライアントの取得に失敗しました\n", nullptr, false);
    }

    REFERENCE_TIME defaultPeriod = 0, minimumPeriod = 0;
    win.WasapiAudioClient->GetDevicePeriod(&defaultPeriod, &minimumPeriod);
    win.WasapiDefaultPeriod = defaultPeriod;
    win.WasapiMinimumPeriod = minimumPeriod;
    Log_AddFormatUTF16(L"デフォルト遅延時間 : %.3f ms", (double)((float)defaultPeriod / 10000.0f));
    Log_AddFormatUTF16(L"最小遅延時間       : %.3f ms", (double)((float)minimumPeriod / 10000.0f));
    if (win.WasapiConfigured && win.WasapiConfigPeriod >= 0)
        win.WasapiPeriod = win.WasapiConfigPeriod < minimumPeriod ? minimumPeriod : win.WasapiConfigPeriod;
    else
        win.WasapiPeriod = defaultPeriod;
    Log_AddFormatUTF16(L"遅延時間           : %.3f ms", (double)((float)win.WasapiPeriod / 10000.0f));

    if (exclusive) {
        SoundWin_Wasapi_MakeFormat(&win.OutputFormat, win.WasapiConfigured && win.WasapiConfigRate > 0 ? win.WasapiConfigRate : 44100, 0);
        if (win.WasapiAudioClient->IsFormatSupported(AUDCLNT_SHAREMODE_EXCLUSIVE, &win.OutputFormat.Format, nullptr) != S_OK) {
            Log_AddTextUTF16(L"デバイスが指定のフォーマットに非対応だったため他のフォーマットでの初期化を試みます");
            bool found = false;
            for (int r = 0; r < 6 && !found; r++) {
                for (int row = 0; row < 5 && !found; row++) {
                    SoundWin_Wasapi_MakeFormat(&win.OutputFormat, SoundWin_WasapiRates[r], row);
                    found = win.WasapiAudioClient->IsFormatSupported(AUDCLNT_SHAREMODE_EXCLUSIVE, &win.OutputFormat.Format,
                                                                     nullptr) == S_OK;
                }
            }
            if (!found) {
                // The exclusive fall-back, with this case's own words: the next pass opens shared mode.
                Log_Indent_Decrease();
                Log_AddTextUTF16(L"WASAPI の排他モードがサポートするフォーマットが見つかりませんでした\n");
                Log_AddTextUTF16(L"排他モードの初期化に失敗したので共有モードの初期化を試行します\n");
                SoundWin_Wasapi_ReleaseAll(nullptr);
                win.WasapiExclusive = 0;
                return -1;
            }
        }
    } else {
        if (win.WasapiAudioClient->GetMixFormat(&mixFormat) != S_OK || mixFormat == nullptr) {
            mixFormat = nullptr;
            return SoundWin_Wasapi_Fail(L"WASAPI の共有モードのサウンドフォーマットの取得に失敗しました\n", nullptr, false);
        }
        memset(&win.OutputFormat, 0, sizeof(win.OutputFormat));
        memcpy(&win.OutputFormat, mixFormat, mixFormat->cbSize >= 22 ? sizeof(WAVEFORMATEXTENSIBLE) : sizeof(WAVEFORMATEX));
    }
    if (SoundWin_Wasapi_PublishFormat() != 0)
        return SoundWin_Wasapi_Fail(L"WASAPI の共有モードのサウンドフォーマットの取得に失敗しました\n", mixFormat, exclusive);

    // Initialize, with at most one adjustment of the period to the device's alignment and, in
    // exclusive mode, the walk through the other formats: row 0 at 44,100 Hz first, then row by
    // row, rate by rate. Each candidate gets one fresh audio client; whichever format finally
    // opens is the one the mixer writes.
    bool aligned = false;
    int candidate = -1;
    constexpr int candidates = 6 * 5;
    for (;;) {
        const HRESULT hr = win.WasapiAudioClient->Initialize(
            exclusive ? AUDCLNT_SHAREMODE_EXCLUSIVE : AUDCLNT_SHAREMODE_SHARED, exclusive ? AUDCLNT_STREAMFLAGS_EVENTCALLBACK : 0,
            win.WasapiPeriod, exclusive ? win.WasapiPeriod : 0, &win.OutputFormat.Format, nullptr);
        if (hr == S_OK) {
            if (candidate >= 0) {
                Log_AddTextUTF16(L"フォーマットに変更があったためフォーマット情報を再出力");
                SoundWin_Wasapi_PublishFormat();
            }
            break;
        }
        if (hr == AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED && !aligned) {
            aligned = true;
            Log_AddTextUTF16(L"オーディオクライアントの初期化が AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED エラーで失敗しました、遅延時間を調整します");
            UINT32 frames = 0;
            win.WasapiAudioClient->GetBufferSize(&frames);
            Log_AddFormatUTF16(L"オーディオクライアントのバッファサンプル数 : %d sample", (int)frames);
            const uint64_t rate = win.OutputFormat.Format.nSamplesPerSec != 0 ? win.OutputFormat.Format.nSamplesPerSec : 1;
            // 10,000,000 x a 32-bit frame count stays below 2^56: the 64-bit product is exact.
            win.WasapiPeriod = (int64_t)(UINT64_C(10000000) * frames / rate);
            Log_AddFormatUTF16(L"調整後の遅延時間   : %.1f μs ( %.3f ms )", (double)win.WasapiPeriod / 10.0,
                               (double)win.WasapiPeriod / 10000.0);
            SoundWin_ReleaseObject(win.WasapiAudioClient);
            if (SoundWin_Wasapi_Activate() != 0) {
                win.WasapiAudioClient = nullptr;
                return SoundWin_Wasapi_Fail(L"オーディオクライアントの再取得に失敗しました\n", mixFormat, exclusive);
            }
            continue;
        }
        if (exclusive && !aligned && candidate + 1 < candidates) {
            candidate++;
            SoundWin_ReleaseObject(win.WasapiAudioClient);
            if (SoundWin_Wasapi_Activate() != 0) {
                win.WasapiAudioClient = nullptr;
                return SoundWin_Wasapi_Fail(L"オーディオクライアントの再取得に失敗しました\n", mixFormat, true);
            }
            SoundWin_Wasapi_MakeFormat(&win.OutputFormat, SoundWin_WasapiRates[candidate / 5], candidate % 5);
            continue;
        }
        Log_Indent_Decrease();
        Log_AddFormatUTF16(L"オーディオクライアントの初期化に失敗しました　エラーコード：%08x", (unsigned)hr);
        Log_Indent_Increase();
        return SoundWin_Wasapi_Fail(nullptr, mixFormat, exclusive);
    }

    IAudioClock* clock = nullptr;
    if (win.WasapiAudioClient->GetService(SoundWin_IidAudioClock, (void**)&clock) != S_OK || clock == nullptr)
        return SoundWin_Wasapi_Fail(L"オーディオクロックの取得に失敗しました\n", mixFormat, false);
    SoundWin_Wasapi_SetClock(clock);
    if (exclusive) {
        win.WasapiEvent = WinAPITable.CreateEventA(nullptr, FALSE, FALSE, nullptr);
        if (win.WasapiEvent == nullptr) return SoundWin_Wasapi_Fail(L"イベントオブジェクトの作成に失敗しました\n", mixFormat, true);
        if (win.WasapiAudioClient->SetEventHandle(win.WasapiEvent) != S_OK)
            return SoundWin_Wasapi_Fail(L"イベントオブジェクトの設定に失敗しました\n", mixFormat, true);
    }
    if (win.WasapiAudioClient->GetService(SoundWin_IidAudioRenderClient, (void**)&win.WasapiRenderClient) != S_OK) {
        win.WasapiRenderClient = nullptr;
        return SoundWin_Wasapi_Fail(L"オーディオレンダラーの取得に失敗しました\n", mixFormat, exclusive);
    }
    UINT32 bufferFrames = 0;
    win.WasapiAudioClient->GetBufferSize(&bufferFrames);
    win.WasapiBufferFrames = bufferFrames;
    BYTE* data = nullptr;
    if (win.WasapiRenderClient->GetBuffer(bufferFrames, &data) == S_OK && data != nullptr) {
        memset(data, 0, (size_t)win.OutputFormat.Format.nBlockAlign * bufferFrames);
        win.WasapiRenderClient->ReleaseBuffer(bufferFrames, 0);
    }
    if (Sound_SetupMixingWorkBuffer(SoundSystemState.Output.FloatFlag, (int)bufferFrames) != 0)
        return SoundWin_Wasapi_Fail(L"自前ミキシング作業用バッファの確保に失敗しました\n", mixFormat, false);

    InterlockedExchange(&win.WasapiRunning, 1);
    win.WasapiThread = WinAPITable.CreateThread(nullptr, 0, SoundWin_WasapiRenderThread_Main, nullptr, 0, nullptr);
    if (win.WasapiThread == nullptr)
        return SoundWin_Wasapi_Fail(L"オーディオ再生用スレッドの作成に失敗しました\n", mixFormat, false);
    WinAPITable.SetThreadPriority(win.WasapiThread, THREAD_PRIORITY_TIME_CRITICAL);

    if (mixFormat != nullptr) WinAPITable.CoTaskMemFree(mixFormat);
    win.WasapiAudioClient->Start();
    Log_AddTextUTF16(exclusive ? L"動作モード         : 排他モード" : L"動作モード         : 共有モード");
    Log_Indent_Decrease();
    Log_AddTextUTF16(L"WASAPI の初期化は正常に終了しました\n");
    return 0;
}

int SoundWin_Wasapi_Close()
{
    SoundWin_Wasapi_ReleaseAll(nullptr);
    return 0;
}

int SoundWin_Wasapi_CheckDeviceChange()
{
    SoundWinStateRecord& win = SoundWinState;
    const bool changed = InterlockedExchange(&win.DefaultDeviceChanged, 0) != 0;
    const bool retry = win.WasapiReopenPending && WinAPITable.GetTickCount() - win.WasapiReopenStamp >= 1000;
    if (!changed && !retry) return 0;
    // Only a WASAPI output (open, or waiting to open again) follows the default endpoint.
    if (win.WasapiAudioClient == nullptr && !win.WasapiReopenPending) return 0;
    SoundWin_Wasapi_Close();
    const int32_t useDirectSoundFamily = win.UseDirectSoundFamily;
    if (SoundWin_Wasapi_Open() == 0) {
        win.WasapiReopenPending = 0;
        return 0;
    }
    // No other back-end opens while running: the switches keep what they had, the sound state
    // stays that of a self-mixed output, and the opening is tried again every second, so output
    // goes on once an endpoint is there again.
    win.UseDirectSoundFamily = useDirectSoundFamily;
    SoundSystemState.SoftwareMixing = 1;
    if (!win.WasapiReopenPending) Log_AddTextUTF16(L"既定の出力デバイスの変更後に WASAPI を開き直せませんでした、再試行します\n");
    win.WasapiReopenPending = 1;
    win.WasapiReopenStamp = WinAPITable.GetTickCount();
    return 0;
}

int SoundWin_Wasapi_GetClockPosition(uint64_t* position, uint64_t* frequency)
{
    SoundWinStateRecord& win = SoundWinState;
    if (!win.WasapiClockLockCreated) return -1;
    CriticalSection_Enter(&win.WasapiClockLock, "ViZedavWin", __LINE__);
    IAudioClock* clock = win.WasapiAudioClock;
    UINT64 f = 0, p = 0;
    if (clock != nullptr) {
        clock->GetFrequency(&f);
        clock->GetPosition(&p, nullptr);
    }
    CriticalSection_Leave(&win.WasapiClockLock);
    if (clock == nullptr) return -1;
    if (position != nullptr) *position = p;
    if (frequency != nullptr) *frequency = f;
    return 0;
}

DWORD WINAPI SoundWin_WasapiRenderThread_Main(LPVOID parameter)
{
    SoundWinStateRecord& win = SoundWinState;
    IAudioRenderClient* render = win.WasapiRenderClient;
    IAudioClient* client = win.WasapiAudioClient;
    if (win.WasapiExclusive) {
        while (InterlockedCompareExchange(&win.WasapiRunning, 0, 0) == 1) {
            if (WinAPITable.WaitForSingleObject(win.WasapiEvent, 2000) != WAIT_OBJECT_0) continue;
            UINT32 frames = 0;
            BYTE* data = nullptr;
            client->GetBufferSize(&frames);
            if (render->GetBuffer(frames, &data) != S_OK) continue;
            SoundWin_MixInto(data, (int32_t)frames);
            render->ReleaseBuffer(frames, 0);
        }
        return 0;
    }
    DWORD sleep = (DWORD)(win.WasapiPeriod / 20000);
    if (sleep < 1) sleep = 1;
    while (InterlockedCompareExchange(&win.WasapiRunning, 0, 0) == 1) {
        WinAPITable.Sleep(sleep);
        UINT32 padding = 0;
        if (client->GetCurrentPadding(&padding) != S_OK) continue;
        const UINT32 free = win.WasapiBufferFrames > padding ? win.WasapiBufferFrames - padding : 0;
        if (free == 0) continue;
        BYTE* data = nullptr;
        if (render->GetBuffer(free, &data) != S_OK) continue;
        SoundWin_MixInto(data, (int32_t)free);
        render->ReleaseBuffer(free, 0);
    }
    return 0;
}

}  // namespace Vantrel
