// A fake ASIO driver: an in-process COM server whose driver object answers as the test scripts it
// and, once started, runs a driver thread that makes buffer switches the way a sound card's driver
// does (alternating half-buffers, the host's bufferSwitch callback on the driver thread) whenever
// the test lets it pull, keeping a copy of what the host wrote. Stands on kernel32 only; the driver
// interface comes from the library's declaration of it.
#include <windows.h>

#include <cstring>
#include <vector>

#include "sound/VtAsioDecl.h"
#include "FakeAsio.h"

using namespace Vantrel;

namespace {

const IID IidUnknown = {0x00000000, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IidClassFactory = {0x00000001, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

FakeAsio::Script TheScript = {ASIOTrue, ASE_OK, 64, 2048, 256, 32, ASE_OK, ASIOSTInt16LSB, ASE_OK, 44100.0, ASE_OK, ASE_OK};
FakeAsio::Record TheRecord;
LONG ServerLocks;

int SampleBytes(long type)
{
    switch (type) {
    case ASIOSTInt16MSB: case ASIOSTInt16LSB: return 2;
    case ASIOSTInt24MSB: case ASIOSTInt24LSB: return 3;
    case ASIOSTFloat64MSB: case ASIOSTFloat64LSB: return 8;
    case ASIOSTDSDInt8LSB1: case ASIOSTDSDInt8MSB1: case ASIOSTDSDInt8NER8: return 1;
    default: return 4;
    }
}

enum Command : LONG { CommandNone, CommandPull, CommandRate, CommandQuit };

class Driver : public IASIO {
public:
    Driver() { InterlockedIncrement(&TheRecord.Objects); }
    virtual ~Driver()
    {
        EndThread();
        InterlockedDecrement(&TheRecord.Objects);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** result) override
    {
        if (IsEqualIID(iid, IidUnknown) || IsEqualIID(iid, FakeAsio::Clsid)) {
            AddRef();
            *result = static_cast<IASIO*>(this);
            return S_OK;
        }
        *result = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override
    {
        const LONG count = InterlockedIncrement(&References);
        TheRecord.References = count;
        return (ULONG)count;
    }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG count = InterlockedDecrement(&References);
        TheRecord.References = count;
        if (count == 0) delete this;
        return (ULONG)count;
    }

    ASIOBool VT_ASIO_METHOD init(void* systemHandle) override
    {
        TheRecord.InitCalls++;
        TheRecord.InitHandle = systemHandle;
        Rate = TheScript.Rate;
        return TheScript.InitResult;
    }
    void VT_ASIO_METHOD getDriverName(char* name) override { strcpy(name, "Vantrel Fake ASIO"); }
    long VT_ASIO_METHOD getDriverVersion() override { return 1; }
    void VT_ASIO_METHOD getErrorMessage(char* text) override { strcpy(text, ""); }
    ASIOError VT_ASIO_METHOD start() override
    {
        TheRecord.StartCalls++;
        if (TheScript.StartResult != ASE_OK) return TheScript.StartResult;
        if (!TheRecord.BuffersLive || Thread != nullptr) return ASE_InvalidMode;
        CommandEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        DoneEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        Thread = CreateThread(nullptr, 0, ThreadMain, this, 0, &ThreadId);
        TheRecord.ThreadRunning = Thread != nullptr;
        return Thread != nullptr ? ASE_OK : ASE_HWMalfunction;
    }
    ASIOError VT_ASIO_METHOD stop() override
    {
        TheRecord.StopCalls++;
        EndThread();
        return ASE_OK;
    }
    ASIOError VT_ASIO_METHOD getChannels(long* inputs, long* outputs) override
    {
        *inputs = 0;
        *outputs = 2;
        return ASE_OK;
    }
    ASIOError VT_ASIO_METHOD getLatencies(long* input, long* output) override
    {
        *input = 0;
        *output = BufferSize;
        return ASE_OK;
    }
    ASIOError VT_ASIO_METHOD getBufferSize(long* minimum, long* maximum, long* preferred, long* granularity) override
    {
        TheRecord.BufferSizeCalls++;
        *minimum = TheScript.Minimum;
        *maximum = TheScript.Maximum;
        *preferred = TheScript.Preferred;
        *granularity = TheScript.Granularity;
        return TheScript.BufferSizeResult;
    }
    ASIOError VT_ASIO_METHOD canSampleRate(ASIOSampleRate) override { return ASE_OK; }
    ASIOError VT_ASIO_METHOD getSampleRate(ASIOSampleRate* rate) override
    {
        *rate = Rate;
        return ASE_OK;
    }
    ASIOError VT_ASIO_METHOD setSampleRate(ASIOSampleRate rate) override
    {
        TheRecord.RateSet = rate;
        if (TheScript.SetRateResult == ASE_OK) Rate = rate;
        return TheScript.SetRateResult;
    }
    ASIOError VT_ASIO_METHOD getClockSources(ASIOClockSource* clocks, long* count) override
    {
        memset(clocks, 0, sizeof(*clocks));
        clocks->isCurrentSource = ASIOTrue;
        strcpy(clocks->name, "Internal");
        *count = 1;
        return ASE_OK;
    }
    ASIOError VT_ASIO_METHOD setClockSource(long) override { return ASE_OK; }
    ASIOError VT_ASIO_METHOD getSamplePosition(ASIOSamples* position, ASIOTimeStamp* stamp) override
    {
        memset(position, 0, sizeof(*position));
        memset(stamp, 0, sizeof(*stamp));
        return ASE_OK;
    }
    ASIOError VT_ASIO_METHOD getChannelInfo(ASIOChannelInfo* info) override
    {
        TheRecord.ChannelInfoCalls++;
        if (TheScript.ChannelInfoResult != ASE_OK) return TheScript.ChannelInfoResult;
        info->isActive = ASIOFalse;
        info->channelGroup = 0;
        info->type = TheScript.SampleType;
        strcpy(info->name, info->channel == 0 ? "Fake Out L" : "Fake Out R");
        return ASE_OK;
    }
    ASIOError VT_ASIO_METHOD createBuffers(ASIOBufferInfo* infos, long count, long size, ASIOCallbacks* callbacks) override
    {
        TheRecord.CreateBuffersCalls++;
        TheRecord.ChannelCount = count;
        TheRecord.BufferSize = size;
        for (long i = 0; i < count && i < 2; i++) {
            TheRecord.Channels[i] = infos[i].channelNum;
            TheRecord.IsInput[i] = infos[i].isInput;
        }
        if (TheScript.CreateBuffersResult != ASE_OK) return TheScript.CreateBuffersResult;
        if (count != 2 || size <= 0 || callbacks == nullptr || TheRecord.BuffersLive) return ASE_InvalidMode;
        BufferSize = size;
        Bytes = (size_t)size * SampleBytes(TheScript.SampleType);
        for (int channel = 0; channel < 2; channel++) {
            for (int half = 0; half < 2; half++) {
                Halves[channel][half].assign(Bytes, 0);
                infos[channel].buffers[half] = Halves[channel][half].data();
            }
        }
        Callbacks = *callbacks;
        TheRecord.BuffersLive = 1;
        return ASE_OK;
    }
    ASIOError VT_ASIO_METHOD disposeBuffers() override
    {
        TheRecord.DisposeCalls++;
        EndThread();
        for (auto& channel : Halves)
            for (auto& half : channel) std::vector<unsigned char>().swap(half);
        TheRecord.BuffersLive = 0;
        return ASE_OK;
    }
    ASIOError VT_ASIO_METHOD controlPanel() override { return ASE_OK; }
    ASIOError VT_ASIO_METHOD future(long, void*) override { return ASE_InvalidParameter; }
    ASIOError VT_ASIO_METHOD outputReady() override
    {
        TheRecord.OutputReadyCalls++;
        if (GetCurrentThreadId() == ThreadId) TheRecord.OutputReadyOnDriverThread++;
        return ASE_OK;
    }

    // Run by the test's thread: hands one command to the driver thread and waits for it.
    int Run(Command command, int switches, unsigned char* out, int capacity, double rate)
    {
        if (Thread == nullptr) return -1;
        PullSwitches = switches;
        PullOut = out;
        PullCapacity = capacity;
        PullCopied = 0;
        NewRate = rate;
        Pending = command;
        SetEvent(CommandEvent);
        if (WaitForSingleObject(DoneEvent, 10000) != WAIT_OBJECT_0) return -1;
        return PullCopied;
    }

private:
    static DWORD WINAPI ThreadMain(LPVOID parameter)
    {
        Driver* self = (Driver*)parameter;
        for (;;) {
            WaitForSingleObject(self->CommandEvent, INFINITE);
            const LONG command = self->Pending;
            if (command == CommandQuit) break;
            if (command == CommandPull) self->Pull();
            if (command == CommandRate) {
                self->Rate = self->NewRate;
                self->Callbacks.sampleRateDidChange(self->NewRate);
            }
            SetEvent(self->DoneEvent);
        }
        return 0;
    }

    // One switch per half-buffer, as a card asks for the half it has just finished playing.
    void Pull()
    {
        for (int i = 0; i < PullSwitches; i++) {
            for (int channel = 0; channel < 2; channel++) memset(Halves[channel][Index].data(), 0xCD, Bytes);
            Callbacks.bufferSwitch(Index, ASIOTrue);
            TheRecord.Switches++;
            for (int channel = 0; channel < 2; channel++) {
                if (PullCopied + (int)Bytes > PullCapacity) continue;
                memcpy(PullOut + PullCopied, Halves[channel][Index].data(), Bytes);
                PullCopied += (int)Bytes;
            }
            Index ^= 1;
        }
    }

    void EndThread()
    {
        if (Thread != nullptr) {
            Pending = CommandQuit;
            SetEvent(CommandEvent);
            WaitForSingleObject(Thread, INFINITE);
            CloseHandle(Thread);
            Thread = nullptr;
            ThreadId = 0;
        }
        if (CommandEvent != nullptr) CloseHandle(CommandEvent);
        if (DoneEvent != nullptr) CloseHandle(DoneEvent);
        CommandEvent = DoneEvent = nullptr;
        TheRecord.ThreadRunning = 0;
    }

    LONG References = 1;
    ASIOCallbacks Callbacks = {};
    std::vector<unsigned char> Halves[2][2];
    size_t Bytes = 0;
    long BufferSize = 0;
    long Index = 0;
    double Rate = 44100.0;
    HANDLE Thread = nullptr;
    DWORD ThreadId = 0;
    HANDLE CommandEvent = nullptr;
    HANDLE DoneEvent = nullptr;
    volatile LONG Pending = CommandNone;
    int PullSwitches = 0;
    unsigned char* PullOut = nullptr;
    int PullCapacity = 0;
    int PullCopied = 0;
    double NewRate = 0.0;
};

Driver* LastDriver;

class Factory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** result) override
    {
        if (IsEqualIID(iid, IidUnknown) || IsEqualIID(iid, IidClassFactory)) {
            *result = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *result = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** result) override
    {
        *result = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        Driver* driver = new Driver();
        const HRESULT hr = driver->QueryInterface(iid, result);
        if (SUCCEEDED(hr)) LastDriver = driver;
        driver->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        if (lock) InterlockedIncrement(&ServerLocks);
        else InterlockedDecrement(&ServerLocks);
        return S_OK;
    }
};

Factory TheFactory;

Driver* LiveDriver() { return TheRecord.Objects > 0 ? LastDriver : nullptr; }

}  // namespace

extern "C" {

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** result)
{
    *result = nullptr;
    if (!IsEqualCLSID(clsid, FakeAsio::Clsid)) return CLASS_E_CLASSNOTAVAILABLE;
    return TheFactory.QueryInterface(iid, result);
}

HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    return TheRecord.Objects == 0 && ServerLocks == 0 ? S_OK : S_FALSE;
}

void FakeAsio_SetScript(const FakeAsio::Script* script)
{
    TheScript = *script;
    const LONG objects = TheRecord.Objects;
    memset(&TheRecord, 0, sizeof(TheRecord));
    TheRecord.Objects = objects;
}

void FakeAsio_GetRecord(FakeAsio::Record* record) { *record = TheRecord; }

int FakeAsio_Pull(int switches, unsigned char* out, int capacity)
{
    Driver* driver = LiveDriver();
    return driver != nullptr ? driver->Run(CommandPull, switches, out, capacity, 0.0) : -1;
}

int FakeAsio_ChangeRate(double rate)
{
    Driver* driver = LiveDriver();
    return driver != nullptr && driver->Run(CommandRate, 0, nullptr, 0, rate) >= 0 ? 0 : -1;
}

}  // extern "C"
