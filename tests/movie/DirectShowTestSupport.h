// What the DirectShow tests share: a COM apartment per test, WAVE files made at test time, the
// system's filters found by their published class ids, pins found by direction, and small filters of
// our own built on the library's classes (a pass-through in-place filter, recording renderers, a
// source pin that pushes scripted samples) plus fakes of the graph's edge (clock, event sink).
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "movie/directshow/VtUseCStrmBaseFilter.h"
#include "movie/directshow/VtUseCStrmBaseFilterReader.h"
#include "movie/directshow/VtUseCStrmBaseFilterRenderer.h"
#include "movie/directshow/VtUseCStrmBaseFilterTransform.h"

namespace DirectShowTest {

using namespace Vantrel;

// The system's WAVE parser: {D51BD5A1-7548-11CF-A520-0080C77EF58A}.
inline const CLSID& WaveParserClassId()
{
    static const CLSID id = {0xD51BD5A1, 0x7548, 0x11CF, {0xA5, 0x20, 0x00, 0x80, 0xC7, 0x7E, 0xF5, 0x8A}};
    return id;
}

// Each test runs in a multithreaded apartment of its own.
class ComTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
    void TearDown() override { CoUninitialize(); }
};

// A RIFF WAVE file of 16-bit PCM with its PCM bytes (a deterministic pattern, no two frames alike).
struct WaveFile {
    WAVEFORMATEX Format;
    std::vector<uint8_t> File;
    std::vector<uint8_t> Pcm;
};

inline void PutLittle(std::vector<uint8_t>& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; i++) out.push_back((uint8_t)(value >> (8 * i)));
}

inline WaveFile MakeWave(int channels, int rate, int frames)
{
    WaveFile wave;
    wave.Format = {};
    wave.Format.wFormatTag = WAVE_FORMAT_PCM;
    wave.Format.nChannels = (WORD)channels;
    wave.Format.nSamplesPerSec = (DWORD)rate;
    wave.Format.wBitsPerSample = 16;
    wave.Format.nBlockAlign = (WORD)(channels * 2);
    wave.Format.nAvgBytesPerSec = (DWORD)(rate * channels * 2);
    uint32_t seed = 12345;
    for (int i = 0; i < frames * channels; i++) {
        seed = seed * 1103515245u + 12345u;
        PutLittle(wave.Pcm, (seed >> 8) & 0xFFFF, 2);
    }
    std::vector<uint8_t>& f = wave.File;
    f.insert(f.end(), {'R', 'I', 'F', 'F'});
    PutLittle(f, (uint32_t)(4 + 8 + 16 + 8 + wave.Pcm.size()), 4);
    f.insert(f.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutLittle(f, 16, 4);
    PutLittle(f, wave.Format.wFormatTag, 2);
    PutLittle(f, wave.Format.nChannels, 2);
    PutLittle(f, wave.Format.nSamplesPerSec, 4);
    PutLittle(f, wave.Format.nAvgBytesPerSec, 4);
    PutLittle(f, wave.Format.nBlockAlign, 2);
    PutLittle(f, wave.Format.wBitsPerSample, 2);
    f.insert(f.end(), {'d', 'a', 't', 'a'});
    PutLittle(f, (uint32_t)wave.Pcm.size(), 4);
    f.insert(f.end(), wave.Pcm.begin(), wave.Pcm.end());
    return wave;
}

// A Unix path as Wine shows it (drive Z:).
inline std::wstring WindowsPath(const std::string& unixPath)
{
    std::wstring path = L"Z:";
    for (char c : unixPath) path.push_back(c == '/' ? L'\\' : (wchar_t)(unsigned char)c);
    return path;
}

// A folder of the test program's own under the build folder (a Unix path).
inline std::string TestFolder(const char* name)
{
    const char* binary = std::getenv("VT_TEST_BINARY_DIR");
    std::string folder = std::string(binary != nullptr ? binary : "/tmp") + "/" + name;
    CreateDirectoryW(WindowsPath(folder).c_str(), nullptr);
    return folder;
}

inline std::vector<uint8_t> ReadWholeFile(const std::string& unixPath)
{
    std::vector<uint8_t> bytes;
    HANDLE file = CreateFileW(WindowsPath(unixPath).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    DWORD size = GetFileSize(file, nullptr);
    bytes.resize(size);
    DWORD read = 0;
    if (size > 0 && !::ReadFile(file, bytes.data(), size, &read, nullptr)) read = 0;
    bytes.resize(read);
    CloseHandle(file);
    return bytes;
}

// Runs a command line of the host's shell; Wine gives no handle to wait on for a Unix program, so the
// command touches a marker file when done. False when it did not finish within 15 s.
inline bool RunHostShell(const std::string& command, const std::string& marker)
{
    DeleteFileW(WindowsPath(marker).c_str());
    std::wstring line = L"Z:\\bin\\sh -c \"";
    for (char c : command + "; touch '" + marker + "'") line.push_back((wchar_t)(unsigned char)c);
    line += L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(L"Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    if (process.hProcess != nullptr) CloseHandle(process.hProcess);
    if (process.hThread != nullptr) CloseHandle(process.hThread);
    for (int waited = 0; waited < 300; waited++) {
        if (GetFileAttributesW(WindowsPath(marker).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
        Sleep(50);
    }
    return false;
}

// The first pin of a platform filter with the direction (referenced), or null.
inline IPin* FindPinByDirection(IBaseFilter* filter, PIN_DIRECTION direction)
{
    IEnumPins* pins = nullptr;
    if (FAILED(filter->EnumPins(&pins))) return nullptr;
    IPin* found = nullptr;
    IPin* pin = nullptr;
    while (found == nullptr && pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION d;
        if (SUCCEEDED(pin->QueryDirection(&d)) && d == direction)
            found = pin;
        else
            pin->Release();
    }
    pins->Release();
    return found;
}

// A media type of the major type, subtype and format type given (no format block).
inline AM_MEDIA_TYPE PlainType(const GUID& major, const GUID& sub, const GUID& format)
{
    AM_MEDIA_TYPE type;
    StrmBase_MediaType_Init(&type);
    type.majortype = major;
    type.subtype = sub;
    type.formattype = format;
    return type;
}

// An audio PCM type with its WAVEFORMATEX block (the block is the caller's).
inline AM_MEDIA_TYPE PcmType(WAVEFORMATEX* format)
{
    AM_MEDIA_TYPE type = PlainType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx);
    type.cbFormat = sizeof(*format);
    type.pbFormat = (BYTE*)format;
    type.lSampleSize = format->nBlockAlign;
    return type;
}

// ---- Filters of our own on the library's classes ----------------------------------------------------

// Passes audio through unchanged and counts what it saw.
class PassThroughFilter : public D_CTransInPlaceFilter {
public:
    volatile LONG Samples = 0;
    explicit PassThroughFilter(HRESULT* result)
        : D_CTransInPlaceFilter(L"Pass-through", nullptr, GUID_NULL, result, FALSE)
    {
    }
    HRESULT CheckInputType(const AM_MEDIA_TYPE* type) override
    {
        return type != nullptr && type->majortype == MEDIATYPE_Audio ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT TransformInPlace(D_IMediaSample* sample) override
    {
        InterlockedIncrement(&Samples);
        return S_OK;
    }
};

// One rendered sample: its start time and when the renderer drew it (stream time), its length.
struct RenderedSample {
    REFERENCE_TIME Start;
    REFERENCE_TIME Stop;
    REFERENCE_TIME RenderedAt;
    BOOL HasTime;
    long Length;
    LONGLONG MediaStart;
    LONGLONG MediaStop;
    BOOL HasMediaTime;
};

// Records what it draws; accepts audio with a WAVEFORMATEX block (or video, when told).
template <class Base>
class RecordingRendererOf : public Base {
public:
    CRITICAL_SECTION Lock;
    std::vector<RenderedSample> Rendered;
    std::vector<uint8_t> Bytes;
    GUID AcceptedMajor = MEDIATYPE_Audio;
    volatile LONG EndOfStreams = 0;

    explicit RecordingRendererOf(HRESULT* result) : Base(GUID_NULL, L"Recording renderer", nullptr, result)
    {
        InitializeCriticalSection(&Lock);
    }
    ~RecordingRendererOf() override { DeleteCriticalSection(&Lock); }
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override
    {
        if (type == nullptr) return E_POINTER;
        return type->majortype == AcceptedMajor ? S_OK : E_FAIL;
    }
    HRESULT EndOfStream() override
    {
        InterlockedIncrement(&EndOfStreams);
        return Base::EndOfStream();
    }
    HRESULT DoRenderSample(D_IMediaSample* sample) override
    {
        RenderedSample record = {};
        record.HasTime = SUCCEEDED(sample->GetTime(&record.Start, &record.Stop));
        this->StreamTime(&record.RenderedAt);
        record.Length = sample->GetActualDataLength();
        record.HasMediaTime = sample->GetMediaTime(&record.MediaStart, &record.MediaStop) == S_OK;
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        EnterCriticalSection(&Lock);
        Rendered.push_back(record);
        if (data != nullptr && record.Length > 0) Bytes.insert(Bytes.end(), data, data + record.Length);
        LeaveCriticalSection(&Lock);
        return S_OK;
    }
};

using RecordingRenderer = RecordingRendererOf<D_CBaseRenderer>;
using RecordingVideoRenderer = RecordingRendererOf<D_CBaseVideoRenderer>;

// ---- Fakes at the graph's edge ----------------------------------------------------------------------

// A reference clock whose time the test sets; advises are remembered, never fired.
class ScriptedClock : public IReferenceClock {
public:
    volatile REFERENCE_TIME Now = 0;
    int Advises = 0;
    HANDLE LastAdviseEvent = nullptr;
    REFERENCE_TIME LastAdviseTime = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown || iid == IID_IReferenceClock) {
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* time) override
    {
        *time = Now;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AdviseTime(REFERENCE_TIME base, REFERENCE_TIME offset, HEVENT event,
                                         DWORD_PTR* cookie) override
    {
        Advises++;
        LastAdviseEvent = (HANDLE)event;
        LastAdviseTime = base + offset;
        *cookie = (DWORD_PTR)Advises;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AdvisePeriodic(REFERENCE_TIME, REFERENCE_TIME, HSEMAPHORE, DWORD_PTR*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD_PTR) override { return S_OK; }
};

// The graph's event sink: remembers every event.
class RecordingEventSink : public IMediaEventSink {
public:
    CRITICAL_SECTION Lock;
    std::vector<long> Codes;
    std::vector<LONG_PTR> FirstParameters;
    RecordingEventSink() { InitializeCriticalSection(&Lock); }
    ~RecordingEventSink() { DeleteCriticalSection(&Lock); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown || iid == IID_IMediaEventSink) {
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Notify(long code, LONG_PTR parameter1, LONG_PTR parameter2) override
    {
        EnterCriticalSection(&Lock);
        Codes.push_back(code);
        FirstParameters.push_back(parameter1);
        LeaveCriticalSection(&Lock);
        return S_OK;
    }
    int Count(long code)
    {
        EnterCriticalSection(&Lock);
        int n = 0;
        for (long c : Codes) n += c == code;
        LeaveCriticalSection(&Lock);
        return n;
    }
};

// ---- A scripted source of our own --------------------------------------------------------------------

class ScriptedSourceFilter;

// An output pin offering the types it is given, in that order.
class ScriptedOutputPin : public D_CBaseOutputPin {
public:
    std::vector<AM_MEDIA_TYPE> Offered;
    ALLOCATOR_PROPERTIES Wanted = {4, 4096, 1, 0};

    ScriptedOutputPin(D_CBaseFilter* filter, D_CCritSec* lock, HRESULT* result, const wchar_t* name)
        : D_CBaseOutputPin(L"Scripted output pin", filter, lock, result, name)
    {
    }
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override
    {
        for (const AM_MEDIA_TYPE& offered : Offered)
            if (StrmBase_MediaType_MatchesPartial(type, &offered)) return S_OK;
        return E_FAIL;
    }
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* type) override
    {
        if (position < 0) return E_INVALIDARG;
        if (position >= (int)Offered.size()) return VFW_S_NO_MORE_ITEMS;
        return StrmBase_MediaType_Copy(type, &Offered[(size_t)position]);
    }
    HRESULT DecideBufferSize(D_IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) override
    {
        ALLOCATOR_PROPERTIES actual;
        ALLOCATOR_PROPERTIES request = Wanted;
        if (properties->cbAlign > request.cbAlign) request.cbAlign = properties->cbAlign;
        return allocator->SetProperties(&request, &actual);
    }
    // Sends one sample of the bytes with the times (null: none).
    HRESULT Push(const void* data, long length, REFERENCE_TIME* start, REFERENCE_TIME* stop)
    {
        D_IMediaSample* sample = nullptr;
        HRESULT hr = GetDeliveryBuffer(&sample, start, stop, 0);
        if (FAILED(hr)) return hr;
        BYTE* buffer = nullptr;
        sample->GetPointer(&buffer);
        std::memcpy(buffer, data, (size_t)length);
        sample->SetActualDataLength(length);
        sample->SetTime(start, stop);
        hr = Deliver(sample);
        sample->Release();
        return hr;
    }
};

// A filter with any number of scripted output pins (a source for tests of filters downstream).
class ScriptedSourceFilter : public D_CBaseFilter {
public:
    D_CCritSec SourceLock;
    std::vector<ScriptedOutputPin*> Pins;

    explicit ScriptedSourceFilter(int pins) : D_CBaseFilter(L"Scripted source", nullptr, &SourceLock, GUID_NULL)
    {
        for (int i = 0; i < pins; i++) AddPin();
    }
    ~ScriptedSourceFilter() override
    {
        for (ScriptedOutputPin* pin : Pins) delete pin;
    }
    ScriptedOutputPin* AddPin()
    {
        HRESULT hr = S_OK;
        std::wstring name = L"Out" + std::to_wstring(Pins.size());
        ScriptedOutputPin* pin = new (__FILE__, __LINE__) ScriptedOutputPin(this, &SourceLock, &hr, name.c_str());
        Pins.push_back(pin);
        IncrementPinVersion();
        return pin;
    }
    int GetPinCount() override { return (int)Pins.size(); }
    D_CBasePin* GetPin(int index) override
    {
        return index >= 0 && index < (int)Pins.size() ? Pins[(size_t)index] : nullptr;
    }
};

}  // namespace DirectShowTest
