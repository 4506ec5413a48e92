// VtUseCStrmBaseFilterReader: the asynchronous reader filter: queued reads served by a worker
// thread, synchronous reads on the caller's thread, flushing, and the memory stream it reads from.
#include <string.h>

#include <initializer_list>

#include "foundation/VtMemory.h"
#include "movie/directshow/VtUseCStrmBaseFilterInternal.h"
#include "movie/directshow/VtUseCStrmBaseFilterReader.h"

namespace Vantrel {

const CLSID CLSID_D_AsyncReader = {0xC553F2C0, 0x1529, 0x11D0, {0xB4, 0xD1, 0x00, 0x80, 0x5F, 0x6C, 0xBB, 0xEA}};

// A stream's read that reports this success marks its sample as a discontinuity.
constexpr HRESULT StrmBase_ReadDiscontinuity = (HRESULT)0x00040000;

// Sample times of the pull model carry byte positions in these units.
constexpr LONGLONG StrmBase_BytePositionUnit = 10000000;

// ---- Memory stream -----------------------------------------------------------------------------------

D_CMemStream::D_CMemStream(const BYTE* data, LONGLONG length, DWORD rate)
    : Data(data), Length(length < 0 ? 0 : length), Position(0), Rate(rate), StartTime(0)
{
    WinAPI_EnsureLoaded();
    StartTime = WinAPITable.timeGetTime();
}

D_CMemStream* StrmBase_MemStream_Create(const void* data, LONGLONG length, DWORD rate)
{
    if (data == nullptr && length > 0) return nullptr;
    return new (__FILE__, __LINE__) D_CMemStream((const BYTE*)data, length, rate);
}

void StrmBase_Stream_Delete(D_CAsyncStream* stream) { delete stream; }

HRESULT D_CMemStream::SetPointer(LONGLONG position)
{
    if (position < 0 || position > Length) return S_FALSE;
    Position = position;
    return S_OK;
}

HRESULT D_CMemStream::Read(BYTE* buffer, DWORD count, BOOL aligned, DWORD* read)
{
    StrmBase_AutoLock lock(&StreamLock);
    LONGLONG left = Length - Position;
    if ((LONGLONG)count > left) count = (DWORD)(left > 0 ? left : 0);
    if (Rate != StrmBase_MemStream_NoRateLimit && Rate != 0) {
        // The bytes up to the end of this read are due (position + count) / rate ms after the start.
        LONGLONG due = (Position + (LONGLONG)count) / (LONGLONG)Rate;
        LONGLONG elapsed = (LONGLONG)(DWORD)(WinAPITable.timeGetTime() - StartTime);
        if (due > elapsed) WinAPITable.Sleep((DWORD)(due - elapsed));
    }
    if (count > 0) memcpy(buffer, Data + Position, count);
    Position += count;
    if (read != nullptr) *read = count;
    return S_OK;
}

LONGLONG D_CMemStream::Size(LONGLONG* available)
{
    if (available != nullptr) {
        if (Rate == StrmBase_MemStream_NoRateLimit || Rate == 0) {
            *available = Length;
        } else {
            LONGLONG elapsed = (LONGLONG)(DWORD)(WinAPITable.timeGetTime() - StartTime);
            LONGLONG reached = elapsed * (LONGLONG)Rate;
            *available = reached < Length ? reached : Length;
        }
    }
    return Length;
}

DWORD D_CMemStream::Alignment() { return 1; }

void D_CMemStream::Lock() { StreamLock.Lock(); }

void D_CMemStream::Unlock() { StreamLock.Unlock(); }

// ---- I/O object --------------------------------------------------------------------------------------

D_CAsyncIo::D_CAsyncIo(D_CAsyncStream* stream)
    : Stream(stream), Flushing(0), InProgress(0), WaitingForAll(0), Thread(nullptr)
{
    WinAPI_EnsureLoaded();
    StrmBase_PtrList_Init(&WorkList);
    StrmBase_PtrList_Init(&DoneList);
    WorkEvent = WinAPITable.CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DoneEvent = WinAPITable.CreateEventA(nullptr, TRUE, FALSE, nullptr);
    AllDoneEvent = WinAPITable.CreateEventA(nullptr, FALSE, FALSE, nullptr);
    StopEvent = WinAPITable.CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

D_CAsyncIo::~D_CAsyncIo()
{
    BeginFlush();
    if (StopEvent != nullptr) WinAPITable.SetEvent(StopEvent);
    if (Thread != nullptr) {
        WinAPITable.WaitForSingleObject(Thread, INFINITE);
        WinAPITable.CloseHandle(Thread);
        Thread = nullptr;
    }
    for (StrmBase_PtrList* list : {&WorkList, &DoneList}) {
        void* request;
        while ((request = StrmBase_PtrList_RemoveHead(list)) != nullptr) Memory_Free(request);
        StrmBase_PtrList_Free(list);
    }
    for (HANDLE event : {WorkEvent, DoneEvent, AllDoneEvent, StopEvent})
        if (event != nullptr) WinAPITable.CloseHandle(event);
}

void D_CAsyncIo::Process(StrmBase_AsyncRequest* request)
{
    request->Stream->Lock();
    HRESULT hr = request->Stream->SetPointer(request->Position);
    if (hr == S_OK) {
        DWORD read = 0;
        hr = request->Stream->Read(request->Buffer, (DWORD)request->Length, request->Aligned, &read);
        if (hr == StrmBase_ReadDiscontinuity) {
            if (request->Sample != nullptr) request->Sample->SetDiscontinuity(TRUE);
            hr = S_OK;
        }
        if (SUCCEEDED(hr)) {
            if ((LONG)read < request->Length) {
                request->Length = (LONG)read;
                hr = S_FALSE;
            } else {
                hr = S_OK;
            }
        }
    } else {
        // A position outside the stream reads nothing.
        request->Length = 0;
    }
    request->Stream->Unlock();
    request->Result = hr;
}

DWORD WINAPI D_CAsyncIo::ThreadProc(LPVOID parameter) { return static_cast<D_CAsyncIo*>(parameter)->ThreadLoop(); }

DWORD D_CAsyncIo::ThreadLoop()
{
    HANDLE events[2] = {StopEvent, WorkEvent};
    for (;;) {
        DWORD woken = WinAPITable.WaitForMultipleObjects(2, events, FALSE, INFINITE);
        if (woken != WAIT_OBJECT_0 + 1) return 0;
        StrmBase_AsyncRequest* request = nullptr;
        {
            StrmBase_AutoLock lock(&ListLock);
            request = (StrmBase_AsyncRequest*)StrmBase_PtrList_RemoveHead(&WorkList);
            if (WorkList.Count == 0) WinAPITable.ResetEvent(WorkEvent);
            if (request != nullptr) InProgress++;
        }
        if (request == nullptr) continue;
        Process(request);
        StrmBase_AutoLock lock(&ListLock);
        if (StrmBase_PtrList_AddTail(&DoneList, request) == nullptr) {
            // No node for it: the read is lost to its waiter but not to memory.
            Memory_Free(request);
        }
        WinAPITable.SetEvent(DoneEvent);
        InProgress--;
        if (InProgress == 0 && WaitingForAll) WinAPITable.SetEvent(AllDoneEvent);
    }
}

HRESULT D_CAsyncIo::Request(LONGLONG position, LONG length, BOOL aligned, BYTE* buffer, D_IMediaSample* sample,
                            DWORD_PTR user)
{
    if (aligned) {
        DWORD alignment = Stream->Alignment();
        if (alignment == 0) alignment = 1;
        if (position % alignment != 0 || (DWORD)length % alignment != 0 || (uintptr_t)buffer % alignment != 0)
            return VFW_E_BADALIGN;
    }
    StrmBase_AsyncRequest* request =
        (StrmBase_AsyncRequest*)Memory_AllocateZeroed(sizeof(StrmBase_AsyncRequest), __FILE__, __LINE__);
    if (request == nullptr) return E_OUTOFMEMORY;
    request->Io = this;
    request->Stream = Stream;
    request->Position = position;
    request->Aligned = aligned;
    request->Length = length;
    request->Buffer = buffer;
    request->Sample = sample;
    request->User = user;
    request->Result = VFW_E_TIMEOUT;

    StrmBase_AutoLock lock(&ListLock);
    if (Flushing) {
        Memory_Free(request);
        return VFW_E_WRONG_STATE;
    }
    if (Thread == nullptr) {
        DWORD id = 0;
        Thread = WinAPITable.CreateThread(nullptr, 0, ThreadProc, this, 0, &id);
        if (Thread == nullptr) {
            Memory_Free(request);
            return HRESULT_FROM_WIN32(WinAPITable.GetLastError());
        }
    }
    if (StrmBase_PtrList_AddTail(&WorkList, request) == nullptr) {
        Memory_Free(request);
        return E_OUTOFMEMORY;
    }
    WinAPITable.SetEvent(WorkEvent);
    return S_OK;
}

HRESULT D_CAsyncIo::WaitForNext(DWORD timeout, D_IMediaSample** sample, DWORD_PTR* user, LONG* actual)
{
    *sample = nullptr;
    *user = 0;
    if (actual != nullptr) *actual = 0;
    StrmBase_AsyncRequest* request = nullptr;
    for (;;) {
        if (WinAPITable.WaitForSingleObject(DoneEvent, timeout) != WAIT_OBJECT_0) return VFW_E_TIMEOUT;
        StrmBase_AutoLock lock(&ListLock);
        request = (StrmBase_AsyncRequest*)StrmBase_PtrList_RemoveHead(&DoneList);
        if (DoneList.Count == 0 && (!Flushing || WaitingForAll)) WinAPITable.ResetEvent(DoneEvent);
        if (request != nullptr) break;
        if (Flushing && !WaitingForAll) return VFW_E_WRONG_STATE;
    }
    HRESULT hr = request->Result;
    if (hr == S_FALSE) {
        // A short read is fine only at the end of the stream.
        hr = request->Position + request->Length == Stream->Size(nullptr) ? S_OK : E_FAIL;
    }
    *sample = request->Sample;
    *user = request->User;
    if (actual != nullptr) *actual = request->Length;
    Memory_Free(request);
    return hr;
}

HRESULT D_CAsyncIo::SyncRead(LONGLONG position, LONG length, BOOL aligned, BYTE* buffer, D_IMediaSample* sample,
                             LONG* actual)
{
    if (aligned) {
        DWORD alignment = Stream->Alignment();
        if (alignment == 0) alignment = 1;
        if (position % alignment != 0 || (DWORD)length % alignment != 0 || (uintptr_t)buffer % alignment != 0)
            return VFW_E_BADALIGN;
    }
    StrmBase_AsyncRequest request;
    memset(&request, 0, sizeof(request));
    request.Io = this;
    request.Stream = Stream;
    request.Position = position;
    request.Aligned = aligned;
    request.Length = length;
    request.Buffer = buffer;
    request.Sample = sample;
    request.Result = VFW_E_TIMEOUT;
    Process(&request);
    if (actual != nullptr) *actual = request.Length;
    return request.Result;
}

HRESULT D_CAsyncIo::BeginFlush()
{
    BOOL wait = FALSE;
    {
        StrmBase_AutoLock lock(&ListLock);
        Flushing = 1;
        StrmBase_AsyncRequest* request;
        while ((request = (StrmBase_AsyncRequest*)StrmBase_PtrList_RemoveHead(&WorkList)) != nullptr) {
            if (StrmBase_PtrList_AddTail(&DoneList, request) == nullptr) Memory_Free(request);
        }
        WinAPITable.ResetEvent(WorkEvent);
        if (DoneList.Count > 0) WinAPITable.SetEvent(DoneEvent);
        if (InProgress > 0) {
            WaitingForAll = 1;
            wait = TRUE;
        }
    }
    while (wait) {
        WinAPITable.WaitForSingleObject(AllDoneEvent, INFINITE);
        StrmBase_AutoLock lock(&ListLock);
        if (InProgress == 0) {
            WaitingForAll = 0;
            wait = FALSE;
        }
    }
    WinAPITable.SetEvent(DoneEvent);
    return S_OK;
}

HRESULT D_CAsyncIo::EndFlush()
{
    StrmBase_AutoLock lock(&ListLock);
    Flushing = 0;
    if (DoneList.Count > 0)
        WinAPITable.SetEvent(DoneEvent);
    else
        WinAPITable.ResetEvent(DoneEvent);
    return S_OK;
}

// ---- Output pin --------------------------------------------------------------------------------------

D_CAsyncOutputPin::D_CAsyncOutputPin(HRESULT* result, D_CAsyncReader* reader, D_CAsyncIo* io, D_CCritSec* lock)
    : D_CBasePin(L"Async output pin", reader, lock, result, L"Output", PINDIR_OUTPUT),
      Queried(0),
      Reader(reader),
      Io(io)
{
    StrmBase_PtrList_Init(&OwnedAllocators);
}

D_CAsyncOutputPin::~D_CAsyncOutputPin()
{
    void* allocator;
    while ((allocator = StrmBase_PtrList_RemoveHead(&OwnedAllocators)) != nullptr)
        delete static_cast<D_CMemAllocator*>(allocator);
    StrmBase_PtrList_Free(&OwnedAllocators);
}

HRESULT STDMETHODCALLTYPE D_CAsyncOutputPin::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IAsyncReader) {
        Queried = 1;
        return StrmBase_GetInterface(static_cast<D_IAsyncReader*>(this), object);
    }
    return D_CBasePin::NonDelegatingQueryInterface(iid, object);
}

HRESULT STDMETHODCALLTYPE D_CAsyncOutputPin::QueryInterface(REFIID iid, void** object)
{
    return D_CBasePin::QueryInterface(iid, object);
}

ULONG STDMETHODCALLTYPE D_CAsyncOutputPin::AddRef() { return D_CBasePin::AddRef(); }

ULONG STDMETHODCALLTYPE D_CAsyncOutputPin::Release() { return D_CBasePin::Release(); }

HRESULT D_CAsyncOutputPin::GetMediaType(int position, AM_MEDIA_TYPE* type)
{
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    if (type == nullptr) return E_POINTER;
    if (Reader == nullptr) return E_UNEXPECTED;
    StrmBase_AutoLock lock(&Reader->ReaderLock);
    StrmBase_MediaType_Destroy(type);
    return StrmBase_MediaType_Copy(type, &Reader->Type);
}

HRESULT D_CAsyncOutputPin::CheckMediaType(const AM_MEDIA_TYPE* type)
{
    if (type == nullptr) return E_POINTER;
    StrmBase_AutoLock lock(&Reader->ReaderLock);
    if (type->majortype == Reader->Type.majortype &&
        (Reader->Type.subtype == GUID_NULL || Reader->Type.subtype == type->subtype))
        return S_OK;
    return S_FALSE;
}

HRESULT D_CAsyncOutputPin::SetMediaType(const AM_MEDIA_TYPE* type)
{
    HRESULT hr = D_CBasePin::SetMediaType(type);
    return FAILED(hr) ? E_OUTOFMEMORY : hr;
}

HRESULT D_CAsyncOutputPin::CheckConnect(D_IPin* pin)
{
    Queried = 0;
    PIN_DIRECTION direction;
    HRESULT hr = pin->QueryDirection(&direction);
    if (FAILED(hr)) return hr;
    if (direction == Direction) return VFW_E_INVALID_DIRECTION;
    return D_CBasePin::CheckConnect(pin);
}

HRESULT D_CAsyncOutputPin::BreakConnect()
{
    Queried = 0;
    return D_CBasePin::BreakConnect();
}

HRESULT D_CAsyncOutputPin::CompleteConnect(D_IPin* receivePin) { return Queried ? S_OK : E_FAIL; }

HRESULT D_CAsyncOutputPin::Inactive()
{
    RunTimeError = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CAsyncOutputPin::QueryId(LPWSTR* id) { return StrmBase_GetWideString(PinName, id); }

HRESULT STDMETHODCALLTYPE D_CAsyncOutputPin::EndOfStream() { return S_OK; }

HRESULT STDMETHODCALLTYPE D_CAsyncOutputPin::BeginFlush() { return Io->BeginFlush(); }

HRESULT STDMETHODCALLTYPE D_CAsyncOutputPin::EndFlush() { return Io->EndFlush(); }

HRESULT STDMETHODCALLTYPE D_CAsyncOutputPin::Notify(D_IBaseFilter* sender, Quality quality) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE D_CAsyncOutputPin::RequestAllocator(D_IMemAllocator* preferred,
                                                              ALLOCATOR_PROPERTIES* properties,
                                                              D_IMemAllocator** actual)
{
    if (preferred == nullptr || properties == nullptr || actual == nullptr) return E_POINTER;
    *actual = nullptr;
    DWORD alignment = Io->Stream->Alignment();
    if (alignment == 0) alignment = 1;
    if (properties->cbAlign == 0 || (((LONG)alignment - 1) & properties->cbAlign) != 0)
        properties->cbAlign = (LONG)alignment;

    ALLOCATOR_PROPERTIES got;
    memset(&got, 0, sizeof(got));
    HRESULT hr = preferred->SetProperties(properties, &got);
    if (SUCCEEDED(hr) && (((LONG)alignment - 1) & got.cbAlign) == 0) {
        *actual = preferred;
        preferred->AddRef();
        return S_OK;
    }

    // Our own allocator, kept by this pin and destroyed with it.
    HRESULT made = S_OK;
    D_CMemAllocator* own = new (__FILE__, __LINE__) D_CMemAllocator(L"AsyncReader allocator", nullptr, &made);
    if (own == nullptr) return E_OUTOFMEMORY;
    if (FAILED(made) || StrmBase_PtrList_AddTail(&OwnedAllocators, own) == nullptr) {
        delete own;
        return FAILED(made) ? made : E_OUTOFMEMORY;
    }
    D_IMemAllocator* allocator = nullptr;
    hr = own->NonDelegatingQueryInterface(IID_IMemAllocator, (void**)&allocator);
    if (FAILED(hr)) return hr;
    hr = allocator->SetProperties(properties, &got);
    if (SUCCEEDED(hr)) {
        if ((((LONG)alignment - 1) & got.cbAlign) != 0) {
            hr = VFW_E_BADALIGN;
        } else {
            *actual = allocator;
            return S_OK;
        }
    }
    allocator->Release();
    return hr;
}

HRESULT D_CAsyncOutputPin::ConvertSampleTimes(D_IMediaSample* sample, LONGLONG* position, LONG* length, BYTE** buffer)
{
    if (sample == nullptr) return E_POINTER;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    HRESULT hr = sample->GetPointer(buffer);
    if (FAILED(hr)) return hr;
    hr = sample->GetTime(&start, &stop);
    if (FAILED(hr)) return hr;
    LONGLONG first = start / StrmBase_BytePositionUnit;
    LONGLONG count = (stop - start) / StrmBase_BytePositionUnit;
    if (first < 0 || count < 0) return E_INVALIDARG;
    LONGLONG total = Io->Stream->Size(nullptr);
    if (first + count > total) {
        LONGLONG alignment = Io->Stream->Alignment();
        if (alignment <= 0) alignment = 1;
        LONGLONG rounded = (total + alignment - 1) / alignment * alignment;
        if (first + count > rounded) {
            count = rounded > first ? rounded - first : 0;
            REFERENCE_TIME newStop = rounded * StrmBase_BytePositionUnit;
            sample->SetTime(&start, &newStop);
        }
    }
    // Never more than the sample holds.
    if (count > sample->GetSize()) return E_INVALIDARG;
    *position = first;
    *length = (LONG)count;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CAsyncOutputPin::Request(D_IMediaSample* sample, DWORD_PTR user)
{
    LONGLONG position = 0;
    LONG length = 0;
    BYTE* buffer = nullptr;
    HRESULT hr = ConvertSampleTimes(sample, &position, &length, &buffer);
    if (FAILED(hr)) return hr;
    return Io->Request(position, length, TRUE, buffer, sample, user);
}

HRESULT STDMETHODCALLTYPE D_CAsyncOutputPin::WaitForNext(DWORD timeout, D_IMediaSample** sample, DWORD_PTR* user)
{
    if (sample == nullptr || user == nullptr) return E_POINTER;
    LONG actual = 0;
    HRESULT hr = Io->WaitForNext(timeout, sample, user, &actual);
    if (SUCCEEDED(hr) && *sample != nullptr) (*sample)->SetActualDataLength(actual);
    return hr;
}

HRESULT STDMETHODCALLTYPE D_CAsyncOutputPin::SyncReadAligned(D_IMediaSample* sample)
{
    LONGLONG position = 0;
    LONG length = 0;
    BYTE* buffer = nullptr;
    HRESULT hr = ConvertSampleTimes(sample, &position, &length, &buffer);
    if (FAILED(hr)) return hr;
    LONG actual = 0;
    hr = Io->SyncRead(position, length, TRUE, buffer, sample, &actual);
    sample->SetActualDataLength(actual);
    return hr;
}

HRESULT STDMETHODCALLTYPE D_CAsyncOutputPin::SyncRead(LONGLONG position, LONG length, BYTE* buffer)
{
    if (buffer == nullptr && length > 0) return E_POINTER;
    if (position < 0 || length < 0) return E_INVALIDARG;
    DWORD alignment = Io->Stream->Alignment();
    if (alignment == 0) alignment = 1;
    BOOL aligned = position % alignment == 0 && (DWORD)length % alignment == 0 && (uintptr_t)buffer % alignment == 0;
    return Io->SyncRead(position, length, aligned, buffer, nullptr, nullptr);
}

HRESULT STDMETHODCALLTYPE D_CAsyncOutputPin::Length(LONGLONG* total, LONGLONG* available)
{
    if (total == nullptr) return E_POINTER;
    *total = Io->Stream->Size(available);
    return S_OK;
}

// ---- Reader filter -----------------------------------------------------------------------------------

D_CAsyncReader::D_CAsyncReader(const wchar_t* objectName, D_IUnknown* outer, D_CAsyncStream* stream, HRESULT* result)
    : D_CBaseFilter(objectName, outer, &ReaderLock, CLSID_D_AsyncReader), Io(nullptr), OutputPin(nullptr)
{
    StrmBase_MediaType_Init(&Type);
    Io = new (__FILE__, __LINE__) D_CAsyncIo(stream);
    if (Io == nullptr) {
        if (result != nullptr) *result = E_OUTOFMEMORY;
        return;
    }
    HRESULT hr = S_OK;
    OutputPin = new (__FILE__, __LINE__) D_CAsyncOutputPin(&hr, this, Io, &ReaderLock);
    if (OutputPin != nullptr && FAILED(hr)) {
        delete OutputPin;
        OutputPin = nullptr;
    }
    if (OutputPin == nullptr && result != nullptr) *result = E_OUTOFMEMORY;
}

D_CAsyncReader::~D_CAsyncReader()
{
    delete OutputPin;
    delete Io;
    StrmBase_MediaType_Destroy(&Type);
}

int D_CAsyncReader::GetPinCount() { return OutputPin != nullptr ? 1 : 0; }

D_CBasePin* D_CAsyncReader::GetPin(int index)
{
    if (GetPinCount() > 0 && index == 0) return OutputPin;
    return nullptr;
}

HRESULT D_CAsyncReader::Connect(D_IPin* receivePin, const AM_MEDIA_TYPE* type)
{
    if (OutputPin == nullptr) return E_UNEXPECTED;
    return OutputPin->Connect(receivePin, type);
}

D_CMemReader::D_CMemReader(D_CMemStream* stream, const AM_MEDIA_TYPE* type, HRESULT* result)
    : D_CAsyncReader(L"Mem Reader", nullptr, stream, result)
{
    if (type != nullptr && FAILED(StrmBase_MediaType_Copy(&Type, type))) {
        StrmBase_MediaType_Init(&Type);
        if (result != nullptr) *result = E_OUTOFMEMORY;
    }
}

D_CMemReader* StrmBase_MemReader_Create(D_CMemStream* stream, const AM_MEDIA_TYPE* type, HRESULT* result)
{
    HRESULT hr = S_OK;
    D_CMemReader* reader = new (__FILE__, __LINE__) D_CMemReader(stream, type, &hr);
    if (reader == nullptr) hr = E_OUTOFMEMORY;
    if (result != nullptr) *result = hr;
    return reader;
}

}  // namespace Vantrel
