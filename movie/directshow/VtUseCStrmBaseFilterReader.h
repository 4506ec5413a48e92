// VtUseCStrmBaseFilterReader: a DirectShow source filter that serves a byte stream through the
// pull interface IAsyncReader: the reader filter with its output pin, the I/O object whose worker
// thread performs queued reads, the abstract byte source and its form over a block of memory.
#pragma once

#include "movie/directshow/VtUseCStrmBaseFilter.h"

namespace Vantrel {

class D_CAsyncReader;

// A byte source the reader serves.
class D_CAsyncStream : public D_CBaseObject {
public:
    virtual ~D_CAsyncStream() {}
    // S_OK, or S_FALSE for a position outside the stream (the position stays).
    virtual HRESULT SetPointer(LONGLONG position) = 0;
    virtual HRESULT Read(BYTE* buffer, DWORD count, BOOL aligned, DWORD* read) = 0;
    // The total length; the bytes available so far in *available when it is given.
    virtual LONGLONG Size(LONGLONG* available) = 0;
    virtual DWORD Alignment() = 0;
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
};

// A block of memory (not owned) as a byte source, optionally paced to a number of bytes per millisecond.
class D_CMemStream : public D_CAsyncStream {
public:
    D_CCritSec StreamLock;
    const BYTE* Data;
    LONGLONG Length;
    LONGLONG Position;
    DWORD Rate;       // bytes per millisecond; 0xFFFFFFFF: no limit
    DWORD StartTime;  // timeGetTime at construction

    D_CMemStream(const BYTE* data, LONGLONG length, DWORD rate);
    HRESULT SetPointer(LONGLONG position) override;
    HRESULT Read(BYTE* buffer, DWORD count, BOOL aligned, DWORD* read) override;
    LONGLONG Size(LONGLONG* available) override;
    DWORD Alignment() override;
    void Lock() override;
    void Unlock() override;
};

// No read-rate limit.
constexpr DWORD StrmBase_MemStream_NoRateLimit = 0xFFFFFFFF;

D_CMemStream* StrmBase_MemStream_Create(const void* data, LONGLONG length, DWORD rate);
// Destroys a stream through its deleting destructor (after the reader that used it); null does nothing.
void StrmBase_Stream_Delete(D_CAsyncStream* stream);

// One queued read.
struct StrmBase_AsyncRequest {
    class D_CAsyncIo* Io;
    D_CAsyncStream* Stream;
    LONGLONG Position;
    BOOL Aligned;
    LONG Length;  // becomes the bytes actually read
    BYTE* Buffer;
    D_IMediaSample* Sample;
    DWORD_PTR User;
    HRESULT Result;
};

// Queues reads for a worker thread (started with the first read) and hands back finished ones.
class D_CAsyncIo : public D_CBaseObject {
public:
    D_CCritSec IoLock;
    D_CAsyncStream* Stream;
    D_CCritSec ListLock;
    int32_t Flushing;
    StrmBase_PtrList WorkList;
    StrmBase_PtrList DoneList;
    HANDLE WorkEvent;     // manual reset
    HANDLE DoneEvent;     // manual reset
    int32_t InProgress;
    int32_t WaitingForAll;
    HANDLE AllDoneEvent;  // auto reset
    HANDLE StopEvent;     // manual reset
    HANDLE Thread;

    explicit D_CAsyncIo(D_CAsyncStream* stream);
    ~D_CAsyncIo();

    HRESULT Request(LONGLONG position, LONG length, BOOL aligned, BYTE* buffer, D_IMediaSample* sample,
                    DWORD_PTR user);
    HRESULT WaitForNext(DWORD timeout, D_IMediaSample** sample, DWORD_PTR* user, LONG* actual);
    // Reads on the calling thread; *actual (when given) receives the bytes read.
    HRESULT SyncRead(LONGLONG position, LONG length, BOOL aligned, BYTE* buffer, D_IMediaSample* sample,
                     LONG* actual);
    HRESULT BeginFlush();
    HRESULT EndFlush();

    // Performs one read as the worker does.
    void Process(StrmBase_AsyncRequest* request);
    static DWORD WINAPI ThreadProc(LPVOID parameter);
    DWORD ThreadLoop();
};

class D_CAsyncOutputPin : public D_IAsyncReader, public D_CBasePin {
public:
    int32_t Queried;  // the downstream pin asked for IAsyncReader since the last connection check
    D_CAsyncReader* Reader;
    D_CAsyncIo* Io;
    StrmBase_PtrList OwnedAllocators;  // allocators this pin made for RequestAllocator

    D_CAsyncOutputPin(HRESULT* result, D_CAsyncReader* reader, D_CAsyncIo* io, D_CCritSec* lock);
    ~D_CAsyncOutputPin() override;

    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* type) override;
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT SetMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT CheckConnect(D_IPin* pin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(D_IPin* receivePin) override;
    HRESULT Inactive() override;

    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;
    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;
    HRESULT STDMETHODCALLTYPE Notify(D_IBaseFilter* sender, Quality quality) override;

    // IAsyncReader.
    HRESULT STDMETHODCALLTYPE RequestAllocator(D_IMemAllocator* preferred, ALLOCATOR_PROPERTIES* properties,
                                               D_IMemAllocator** actual) override;
    HRESULT STDMETHODCALLTYPE Request(D_IMediaSample* sample, DWORD_PTR user) override;
    HRESULT STDMETHODCALLTYPE WaitForNext(DWORD timeout, D_IMediaSample** sample, DWORD_PTR* user) override;
    HRESULT STDMETHODCALLTYPE SyncReadAligned(D_IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE SyncRead(LONGLONG position, LONG length, BYTE* buffer) override;
    HRESULT STDMETHODCALLTYPE Length(LONGLONG* total, LONGLONG* available) override;

    // The byte range a sample's times ask for (times are byte positions x 10,000,000), cut to the stream,
    // and the sample's buffer.
    HRESULT ConvertSampleTimes(D_IMediaSample* sample, LONGLONG* position, LONG* length, BYTE** buffer);
};

class D_CAsyncReader : public D_CBaseFilter {
public:
    D_CCritSec ReaderLock;
    D_CAsyncIo* Io;
    D_CAsyncOutputPin* OutputPin;
    AM_MEDIA_TYPE Type;

    D_CAsyncReader(const wchar_t* objectName, D_IUnknown* outer, D_CAsyncStream* stream, HRESULT* result);
    ~D_CAsyncReader() override;

    int GetPinCount() override;
    D_CBasePin* GetPin(int index) override;
    virtual HRESULT Connect(D_IPin* receivePin, const AM_MEDIA_TYPE* type);
};

// {C553F2C0-1529-11D0-B4D1-00805F6CBBEA}
extern const CLSID CLSID_D_AsyncReader;

// The reader over a memory stream, offering one fixed media type.
class D_CMemReader : public D_CAsyncReader {
public:
    D_CMemReader(D_CMemStream* stream, const AM_MEDIA_TYPE* type, HRESULT* result);
};

D_CMemReader* StrmBase_MemReader_Create(D_CMemStream* stream, const AM_MEDIA_TYPE* type, HRESULT* result);

}  // namespace Vantrel
