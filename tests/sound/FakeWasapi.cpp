// The fake WASAPI endpoint: enumerator, device, audio client, render client and clock over the
// published interfaces, answering from the test's settings and recording the calls.
#include "FakeWasapi.h"

#include <string.h>

#include <memory>

#include "SoundMixTestSupport.h"
#include "foundation/VtWinAPI.h"

namespace FakeWasapi {

namespace {

const CLSID ClsidEnumerator = {0xbcde0395, 0xe52f, 0x467c, {0x8e, 0x3d, 0xc4, 0x57, 0x92, 0x91, 0x69, 0x2e}};
const IID IidAudioClient = {0x1cb9ad4c, 0xdbfa, 0x4c32, {0xb1, 0x78, 0xc2, 0xf5, 0x68, 0xa7, 0x03, 0xb2}};
const IID IidAudioClock = {0xcd63314f, 0x3fba, 0x4a1b, {0x81, 0x2c, 0xef, 0x96, 0x35, 0x87, 0x28, 0xe7}};
const IID IidRenderClient = {0xf294acfc, 0x3146, 0x4483, {0xa7, 0xbf, 0xad, 0xdc, 0xa7, 0xc2, 0x60, 0xe2}};

// Every fake object stays allocated until Uninstall; Release only marks it released.
struct FakeObject {
    virtual ~FakeObject() = default;
    volatile LONG References = 1;
    volatile LONG Released = 0;
    ULONG Add() { return (ULONG)InterlockedIncrement(&References); }
    ULONG Drop()
    {
        const LONG count = InterlockedDecrement(&References);
        if (count == 0) InterlockedExchange(&Released, 1);
        return (ULONG)count;
    }
};

// The IUnknown part every fake shares: no other interface is handed out, references are counted.
template <class Interface> struct FakeCom : Interface, FakeObject {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** result) override
    {
        *result = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return Add(); }
    ULONG STDMETHODCALLTYPE Release() override { return Drop(); }
};

struct Shared {
    CRITICAL_SECTION Lock;
    Settings Configured;
    std::vector<std::unique_ptr<FakeObject>> Objects;
    std::vector<WAVEFORMATEXTENSIBLE> Queries;
    std::vector<InitializeCall> Calls;
    int Activations = 0;
    HANDLE Event = nullptr;
    IMMNotificationClient* Notify = nullptr;
    volatile LONG AfterRelease = 0;
    volatile LONG Renders = 0;
    volatile DWORD Thread = 0;
    std::vector<uint8_t> Rendered;
    UINT32 RenderedFrames = 0;
    volatile LONG FreeFrames = 0;
    struct Clock* LatestClock = nullptr;
};
Shared* State = nullptr;
decltype(Vantrel::WinAPITable.CoCreateInstance) SystemCoCreateInstance = nullptr;

template <class T> T* Keep(T* object)
{
    EnterCriticalSection(&State->Lock);
    State->Objects.emplace_back(object);
    LeaveCriticalSection(&State->Lock);
    return object;
}

WAVEFORMATEXTENSIBLE Copy(const WAVEFORMATEX* format)
{
    WAVEFORMATEXTENSIBLE copy;
    memset(&copy, 0, sizeof(copy));
    if (format != nullptr)
        memcpy(&copy, format, format->wFormatTag == WAVE_FORMAT_EXTENSIBLE && format->cbSize >= 22 ? sizeof(copy) : sizeof(WAVEFORMATEX));
    return copy;
}

struct Clock final : FakeCom<IAudioClock> {
    volatile UINT64 Frames = 0;
    UINT32 Rate = 48000;

    void Check()
    {
        if (Released) InterlockedIncrement(&State->AfterRelease);
    }
    HRESULT STDMETHODCALLTYPE GetFrequency(UINT64* frequency) override
    {
        Check();
        if (State->Configured.ClockCallMilliseconds) Sleep(State->Configured.ClockCallMilliseconds);
        Check();
        *frequency = State->Configured.ClockFrequency;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPosition(UINT64* position, UINT64* counter) override
    {
        Check();
        *position = Frames * State->Configured.ClockFrequency / (Rate != 0 ? Rate : 1);
        if (counter != nullptr) *counter = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCharacteristics(DWORD* characteristics) override
    {
        *characteristics = 0;
        return S_OK;
    }
};

struct RenderClient final : FakeCom<IAudioRenderClient> {
    std::vector<uint8_t> Data;
    UINT32 BlockAlign = 4;

    HRESULT STDMETHODCALLTYPE GetBuffer(UINT32 frames, BYTE** data) override
    {
        if ((size_t)frames * BlockAlign > Data.size()) return AUDCLNT_E_BUFFER_TOO_LARGE;
        memset(Data.data(), 0xCD, (size_t)frames * BlockAlign);
        State->Thread = GetCurrentThreadId();
        *data = Data.data();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(UINT32 frames, DWORD) override
    {
        if (frames == 0) return S_OK;
        EnterCriticalSection(&State->Lock);
        State->Rendered.assign(Data.begin(), Data.begin() + (size_t)frames * BlockAlign);
        State->RenderedFrames = frames;
        LeaveCriticalSection(&State->Lock);
        InterlockedIncrement(&State->Renders);
        return S_OK;
    }
};

struct AudioClient final : FakeCom<IAudioClient> {
    int Number = 0;
    bool Initialized = false;
    WAVEFORMATEXTENSIBLE Format = {};

    HRESULT STDMETHODCALLTYPE Initialize(AUDCLNT_SHAREMODE mode, DWORD flags, REFERENCE_TIME duration,
                                         REFERENCE_TIME periodicity, const WAVEFORMATEX* format, LPCGUID) override
    {
        if (Initialized) return AUDCLNT_E_ALREADY_INITIALIZED;
        const InitializeCall call = {mode, flags, duration, periodicity, Copy(format), Number};
        EnterCriticalSection(&State->Lock);
        State->Calls.push_back(call);
        LeaveCriticalSection(&State->Lock);
        const HRESULT result = State->Configured.InitializeResult ? State->Configured.InitializeResult(call) : S_OK;
        if (result == S_OK) {
            Initialized = true;
            Format = call.Format;
        }
        return result;
    }
    HRESULT STDMETHODCALLTYPE GetBufferSize(UINT32* frames) override
    {
        *frames = State->Configured.BufferFrames;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStreamLatency(REFERENCE_TIME* latency) override
    {
        *latency = State->Configured.DefaultPeriod;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCurrentPadding(UINT32* padding) override
    {
        const UINT32 frames = State->Configured.BufferFrames;
        const UINT32 free = (UINT32)State->FreeFrames < frames ? (UINT32)State->FreeFrames : frames;
        *padding = frames - free;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsFormatSupported(AUDCLNT_SHAREMODE mode, const WAVEFORMATEX* format, WAVEFORMATEX** closest) override
    {
        if (closest != nullptr) *closest = nullptr;
        const WAVEFORMATEXTENSIBLE asked = Copy(format);
        if (mode == AUDCLNT_SHAREMODE_EXCLUSIVE) {
            EnterCriticalSection(&State->Lock);
            State->Queries.push_back(asked);
            LeaveCriticalSection(&State->Lock);
            const bool supported = State->Configured.ExclusiveSupported && State->Configured.ExclusiveSupported(asked);
            return supported ? S_OK : AUDCLNT_E_UNSUPPORTED_FORMAT;
        }
        return memcmp(&asked, &State->Configured.MixFormat, sizeof(asked)) == 0 ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE GetMixFormat(WAVEFORMATEX** format) override
    {
        void* copy = CoTaskMemAlloc(sizeof(WAVEFORMATEXTENSIBLE));
        if (copy == nullptr) return E_OUTOFMEMORY;
        memcpy(copy, &State->Configured.MixFormat, sizeof(WAVEFORMATEXTENSIBLE));
        *format = (WAVEFORMATEX*)copy;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDevicePeriod(REFERENCE_TIME* defaultPeriod, REFERENCE_TIME* minimumPeriod) override
    {
        if (defaultPeriod != nullptr) *defaultPeriod = State->Configured.DefaultPeriod;
        if (minimumPeriod != nullptr) *minimumPeriod = State->Configured.MinimumPeriod;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Start() override { return Initialized ? S_OK : AUDCLNT_E_NOT_INITIALIZED; }
    HRESULT STDMETHODCALLTYPE Stop() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Reset() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetEventHandle(HANDLE event) override
    {
        State->Event = event;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetService(REFIID iid, void** result) override
    {
        *result = nullptr;
        if (!Initialized) return AUDCLNT_E_NOT_INITIALIZED;
        if (IsEqualIID(iid, IidAudioClock)) {
            Clock* clock = Keep(new Clock());
            clock->Rate = Format.Format.nSamplesPerSec;
            EnterCriticalSection(&State->Lock);
            State->LatestClock = clock;
            LeaveCriticalSection(&State->Lock);
            *result = static_cast<IAudioClock*>(clock);
            return S_OK;
        }
        if (IsEqualIID(iid, IidRenderClient)) {
            RenderClient* render = Keep(new RenderClient());
            render->BlockAlign = Format.Format.nBlockAlign;
            render->Data.resize((size_t)State->Configured.BufferFrames * render->BlockAlign);
            *result = static_cast<IAudioRenderClient*>(render);
            return S_OK;
        }
        return E_NOINTERFACE;
    }
};

struct Device final : FakeCom<IMMDevice> {
    HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD, PROPVARIANT*, void** result) override
    {
        *result = nullptr;
        if (!IsEqualIID(iid, IidAudioClient)) return E_NOINTERFACE;
        AudioClient* client = Keep(new AudioClient());
        EnterCriticalSection(&State->Lock);
        client->Number = ++State->Activations;
        LeaveCriticalSection(&State->Lock);
        *result = static_cast<IAudioClient*>(client);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD, IPropertyStore** store) override
    {
        *store = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetId(LPWSTR* id) override
    {
        *id = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetState(DWORD* state) override
    {
        *state = DEVICE_STATE_ACTIVE;
        return S_OK;
    }
};

struct Enumerator final : FakeCom<IMMDeviceEnumerator> {
    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow, DWORD, IMMDeviceCollection** devices) override
    {
        *devices = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow flow, ERole, IMMDevice** endpoint) override
    {
        *endpoint = nullptr;
        if (flow != eRender) return E_NOTFOUND;
        *endpoint = Keep(new Device());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR, IMMDevice** device) override
    {
        *device = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RegisterEndpointNotificationCallback(IMMNotificationClient* client) override
    {
        State->Notify = client;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE UnregisterEndpointNotificationCallback(IMMNotificationClient* client) override
    {
        if (State->Notify == client) State->Notify = nullptr;
        return S_OK;
    }
};

HRESULT WINAPI FakeCoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* result)
{
    if (!IsEqualCLSID(clsid, ClsidEnumerator)) return SystemCoCreateInstance(clsid, outer, context, iid, result);
    *result = nullptr;
    if (State->Configured.FailEnumerator) return REGDB_E_CLASSNOTREG;
    *result = static_cast<IMMDeviceEnumerator*>(Keep(new Enumerator()));
    return S_OK;
}

}  // namespace

void Install(const Settings& settings)
{
    Vantrel::WinAPI_EnsureLoaded();
    if (State == nullptr) {
        State = new Shared();
        InitializeCriticalSection(&State->Lock);
        SystemCoCreateInstance = Vantrel::WinAPITable.CoCreateInstance;
    }
    State->Configured = settings;
    if (settings.MixFormat.Format.nChannels == 0) State->Configured.MixFormat = SoundMixTest::DeviceFormat({2, 32, 32, true, false, 48000});
    Vantrel::WinAPITable.CoCreateInstance = FakeCoCreateInstance;
}

void Uninstall()
{
    if (State == nullptr) return;
    Vantrel::WinAPITable.CoCreateInstance = SystemCoCreateInstance;
    DeleteCriticalSection(&State->Lock);
    delete State;
    State = nullptr;
}

Settings& Current() { return State->Configured; }

std::vector<WAVEFORMATEXTENSIBLE> ExclusiveQueries()
{
    EnterCriticalSection(&State->Lock);
    std::vector<WAVEFORMATEXTENSIBLE> copy = State->Queries;
    LeaveCriticalSection(&State->Lock);
    return copy;
}

std::vector<InitializeCall> Initializations()
{
    EnterCriticalSection(&State->Lock);
    std::vector<InitializeCall> copy = State->Calls;
    LeaveCriticalSection(&State->Lock);
    return copy;
}

int Activations() { return State->Activations; }
HANDLE EventHandle() { return State->Event; }
IMMNotificationClient* Notification() { return State->Notify; }
LONG ClockCallsAfterRelease() { return State->AfterRelease; }
LONG RenderCalls() { return State->Renders; }
DWORD RenderThread() { return State->Thread; }

std::vector<uint8_t> LastRendered()
{
    EnterCriticalSection(&State->Lock);
    std::vector<uint8_t> copy = State->Rendered;
    LeaveCriticalSection(&State->Lock);
    return copy;
}

UINT32 LastRenderedFrames() { return State->RenderedFrames; }

void SetFreeFrames(UINT32 frames) { InterlockedExchange(&State->FreeFrames, (LONG)frames); }

void SetClockFrames(UINT64 frames)
{
    EnterCriticalSection(&State->Lock);
    if (State->LatestClock != nullptr) State->LatestClock->Frames = frames;
    LeaveCriticalSection(&State->Lock);
}

}  // namespace FakeWasapi
