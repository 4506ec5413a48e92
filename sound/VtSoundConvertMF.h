// The Media Foundation converter's records (VtSoundConvertMF.cpp): the library's IMFByteStream over a
// Stream, whose asynchronous reads run on a thread of its own, and the converter's state in the
// record's per-converter area.
#pragma once

#include <windows.h>
#include <mfidl.h>
#include <mfapi.h>
#include <mfreadwrite.h>

#include "foundation/VtStream.h"
#include "foundation/VtThread.h"
#include "sound/VtSoundConvert.h"

namespace Vantrel {

// The published byte stream interface, as the library's byte stream implements it.
using D_IMFByteStream = IMFByteStream;

// Reads a Stream (not owned) for Media Foundation: synchronous reads and seeks under the lock;
// BeginRead hands the read to the read thread, which performs it and invokes the caller's callback.
class D_SoundConvertMFByteStream : public D_IMFByteStream {
public:
    volatile LONG ReferenceCount;
    int32_t ReadPending;            // 1 between BeginRead and EndRead
    IMFAsyncResult* PendingResult;  // one reference
    void* ReadDestination;
    uint32_t RequestedBytes;
    int64_t PositionAtBegin;
    uint32_t BytesRead;
    Stream* Source;
    int64_t Length;
    IMFAttributes* Attributes;      // empty; owned
    CriticalSection Lock;
    HANDLE ReadThread;
    HANDLE WakeEvent;               // auto-reset
    volatile int32_t ExitRequest;
    volatile int32_t ThreadEnded;

    D_SoundConvertMFByteStream(Stream* source, int64_t length);
    virtual ~D_SoundConvertMFByteStream();
    // Creates the wake event and the read thread: 0, or -1 (nothing left behind) when either fails.
    int Start();

    static void* operator new(size_t size) noexcept;
    static void operator delete(void* block) noexcept;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* capabilities) override;
    HRESULT STDMETHODCALLTYPE GetLength(QWORD* length) override;
    HRESULT STDMETHODCALLTYPE SetLength(QWORD length) override;
    HRESULT STDMETHODCALLTYPE GetCurrentPosition(QWORD* position) override;
    HRESULT STDMETHODCALLTYPE SetCurrentPosition(QWORD position) override;
    HRESULT STDMETHODCALLTYPE IsEndOfStream(BOOL* end) override;
    HRESULT STDMETHODCALLTYPE Read(BYTE* buffer, ULONG count, ULONG* read) override;
    HRESULT STDMETHODCALLTYPE BeginRead(BYTE* buffer, ULONG count, IMFAsyncCallback* callback, IUnknown* state) override;
    HRESULT STDMETHODCALLTYPE EndRead(IMFAsyncResult* result, ULONG* read) override;
    HRESULT STDMETHODCALLTYPE Write(const BYTE* buffer, ULONG count, ULONG* written) override;
    HRESULT STDMETHODCALLTYPE BeginWrite(const BYTE* buffer, ULONG count, IMFAsyncCallback* callback,
                                         IUnknown* state) override;
    HRESULT STDMETHODCALLTYPE EndWrite(IMFAsyncResult* result, ULONG* written) override;
    HRESULT STDMETHODCALLTYPE Seek(MFBYTESTREAM_SEEK_ORIGIN origin, LONGLONG offset, DWORD flags,
                                   QWORD* current) override;
    HRESULT STDMETHODCALLTYPE Flush() override;
    HRESULT STDMETHODCALLTYPE Close() override;

private:
    static DWORD WINAPI ReadThreadEntry(void* parameter);
};

// A byte stream over the stream with its read thread running (one reference), or null when it cannot
// be made.
D_SoundConvertMFByteStream* SoundConvertMF_CreateByteStream(Stream* source, int64_t length);

// Media Foundation converter state.
struct SoundConvertMFArea {
    IMFSourceReader* Reader;
    IMFMediaType* CurrentType;    // the reader's decoded type
    IMFMediaType* RequestedType;  // audio/PCM
    D_SoundConvertMFByteStream* ByteStream;
    int64_t Duration;             // 100-ns units
    int32_t SampleCapacity;
    uint8_t* SampleBuffer;        // a copy of the last sample's bytes (owned)
    int32_t Consumed;             // bytes of it already copied out
    int32_t Held;                 // bytes it holds
};

}  // namespace Vantrel
