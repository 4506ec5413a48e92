// VtUseCStrmBaseFilterAllocator: the media sample and the memory allocator of the library's
// DirectShow classes: samples recycled through a free list, buffers from one VirtualAlloc block,
// GetBuffer callers blocked on a semaphore until a sample comes home.
#include <string.h>

#include "movie/directshow/VtUseCStrmBaseFilter.h"
#include "movie/directshow/VtUseCStrmBaseFilterInternal.h"

namespace Vantrel {

// ---- Media sample ------------------------------------------------------------------------------------

D_CMediaSample::D_CMediaSample(const wchar_t* objectName, D_CBaseAllocator* allocator, HRESULT* result, BYTE* buffer,
                               LONG length)
    : Flags(0),
      TypeSpecificFlags(0),
      Buffer(buffer),
      ActualLength(length),
      BufferSize(length),
      Allocator(allocator),
      NextFree(nullptr),
      Start(0),
      Stop(0),
      MediaStart(0),
      MediaStopOffset(0),
      MediaType(nullptr),
      StreamId(AM_STREAM_MEDIA),
      ReferenceCount(0)
{
    if (length < 0 && result != nullptr) *result = VFW_E_BUFFER_OVERFLOW;
}

D_CMediaSample::~D_CMediaSample() { StrmBase_MediaType_Delete(MediaType); }

HRESULT STDMETHODCALLTYPE D_CMediaSample::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IMediaSample || iid == IID_IMediaSample2 || iid == IID_IUnknown) {
        *object = static_cast<D_IMediaSample2*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE D_CMediaSample::AddRef() { return (ULONG)InterlockedIncrement(&ReferenceCount); }

ULONG STDMETHODCALLTYPE D_CMediaSample::Release()
{
    LONG count;
    if (ReferenceCount == 1) {
        ReferenceCount = 0;
        count = 0;
    } else {
        count = InterlockedDecrement(&ReferenceCount);
    }
    if (count == 0) {
        // The sample goes home clean.
        if ((Flags & StrmBase_Sample_TypeChanged) != 0) {
            StrmBase_MediaType_Delete(MediaType);
            MediaType = nullptr;
        }
        Flags = 0;
        TypeSpecificFlags = 0;
        StreamId = AM_STREAM_MEDIA;
        Allocator->ReleaseBuffer(this);
    }
    return (ULONG)count;
}

HRESULT STDMETHODCALLTYPE D_CMediaSample::GetPointer(BYTE** buffer)
{
    if (buffer == nullptr) return E_POINTER;
    *buffer = Buffer;
    return S_OK;
}

long STDMETHODCALLTYPE D_CMediaSample::GetSize() { return BufferSize; }

HRESULT STDMETHODCALLTYPE D_CMediaSample::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop)
{
    if ((Flags & StrmBase_Sample_StopValid) != 0) {
        if (start != nullptr) *start = Start;
        if (stop != nullptr) *stop = Stop;
        return S_OK;
    }
    if ((Flags & StrmBase_Sample_TimeValid) != 0) {
        if (start != nullptr) *start = Start;
        if (stop != nullptr) *stop = Start + 1;
        return VFW_S_NO_STOP_TIME;
    }
    return VFW_E_SAMPLE_TIME_NOT_SET;
}

HRESULT STDMETHODCALLTYPE D_CMediaSample::SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop)
{
    if (start == nullptr) {
        Flags &= ~(DWORD)(StrmBase_Sample_TimeValid | StrmBase_Sample_StopValid);
        return S_OK;
    }
    Start = *start;
    Flags |= StrmBase_Sample_TimeValid;
    if (stop == nullptr) {
        Flags &= ~(DWORD)StrmBase_Sample_StopValid;
    } else {
        Stop = *stop;
        Flags |= StrmBase_Sample_StopValid;
    }
    return S_OK;
}

static HRESULT StrmBase_Sample_Flag(DWORD flags, DWORD flag) { return (flags & flag) != 0 ? S_OK : S_FALSE; }

static void StrmBase_Sample_SetFlag(DWORD* flags, DWORD flag, BOOL on)
{
    if (on)
        *flags |= flag;
    else
        *flags &= ~flag;
}

HRESULT STDMETHODCALLTYPE D_CMediaSample::IsSyncPoint() { return StrmBase_Sample_Flag(Flags, StrmBase_Sample_SyncPoint); }

HRESULT STDMETHODCALLTYPE D_CMediaSample::SetSyncPoint(BOOL syncPoint)
{
    StrmBase_Sample_SetFlag(&Flags, StrmBase_Sample_SyncPoint, syncPoint);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CMediaSample::IsPreroll() { return StrmBase_Sample_Flag(Flags, StrmBase_Sample_Preroll); }

HRESULT STDMETHODCALLTYPE D_CMediaSample::SetPreroll(BOOL preroll)
{
    StrmBase_Sample_SetFlag(&Flags, StrmBase_Sample_Preroll, preroll);
    return S_OK;
}

long STDMETHODCALLTYPE D_CMediaSample::GetActualDataLength() { return ActualLength; }

HRESULT STDMETHODCALLTYPE D_CMediaSample::SetActualDataLength(long length)
{
    if (length < 0 || length > BufferSize) return VFW_E_BUFFER_OVERFLOW;
    ActualLength = length;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CMediaSample::GetMediaType(AM_MEDIA_TYPE** type)
{
    if (type == nullptr) return E_POINTER;
    *type = nullptr;
    if ((Flags & StrmBase_Sample_TypeChanged) == 0 || MediaType == nullptr) return S_FALSE;
    *type = StrmBase_MediaType_Duplicate(MediaType);
    return *type != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE D_CMediaSample::SetMediaType(AM_MEDIA_TYPE* type)
{
    StrmBase_MediaType_Delete(MediaType);
    MediaType = nullptr;
    if (type == nullptr) {
        Flags &= ~(DWORD)StrmBase_Sample_TypeChanged;
        return S_OK;
    }
    MediaType = StrmBase_MediaType_Duplicate(type);
    if (MediaType == nullptr) {
        Flags &= ~(DWORD)StrmBase_Sample_TypeChanged;
        return E_OUTOFMEMORY;
    }
    Flags |= StrmBase_Sample_TypeChanged;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CMediaSample::IsDiscontinuity()
{
    return StrmBase_Sample_Flag(Flags, StrmBase_Sample_Discontinuity);
}

HRESULT STDMETHODCALLTYPE D_CMediaSample::SetDiscontinuity(BOOL discontinuity)
{
    StrmBase_Sample_SetFlag(&Flags, StrmBase_Sample_Discontinuity, discontinuity);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CMediaSample::GetMediaTime(LONGLONG* start, LONGLONG* stop)
{
    if ((Flags & StrmBase_Sample_MediaTimeValid) == 0) return VFW_E_MEDIA_TIME_NOT_SET;
    if (start != nullptr) *start = MediaStart;
    if (stop != nullptr) *stop = MediaStart + MediaStopOffset;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CMediaSample::SetMediaTime(LONGLONG* start, LONGLONG* stop)
{
    if (start == nullptr) {
        Flags &= ~(DWORD)StrmBase_Sample_MediaTimeValid;
        return S_OK;
    }
    MediaStart = *start;
    MediaStopOffset = stop != nullptr ? (LONG)(*stop - *start) : 0;
    Flags |= StrmBase_Sample_MediaTimeValid;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CMediaSample::GetProperties(DWORD size, BYTE* properties)
{
    if (size == 0) return S_OK;
    if (properties == nullptr) return E_POINTER;
    AM_SAMPLE2_PROPERTIES props;
    memset(&props, 0, sizeof(props));
    DWORD count = size < sizeof(props) ? size : (DWORD)sizeof(props);
    props.cbData = count;
    props.dwTypeSpecificFlags = TypeSpecificFlags;
    props.dwSampleFlags = Flags & ~(DWORD)StrmBase_Sample_MediaTimeValid;
    props.lActual = ActualLength;
    props.tStart = Start;
    props.tStop = Stop;
    props.dwStreamId = StreamId;
    props.pMediaType = (Flags & StrmBase_Sample_TypeChanged) != 0 ? MediaType : nullptr;
    props.pbBuffer = Buffer;
    props.cbBuffer = BufferSize;
    memcpy(properties, &props, count);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CMediaSample::SetProperties(DWORD size, const BYTE* properties)
{
    if (!VT_STRMBASE_PROPS_COVER(size, cbData)) return S_OK;
    if (properties == nullptr) return E_POINTER;
    AM_SAMPLE2_PROPERTIES in;
    memset(&in, 0, sizeof(in));
    if (size > sizeof(in)) return E_INVALIDARG;
    memcpy(&in, properties, size);
    if (in.cbData > sizeof(in)) return E_INVALIDARG;
    if (in.cbData < size) size = in.cbData;

    // Checks first: a refused block changes nothing.
    if (VT_STRMBASE_PROPS_COVER(size, dwSampleFlags)) {
        if ((in.dwSampleFlags & ~(DWORD)0x1DF) != 0) return E_INVALIDARG;
        if ((in.dwSampleFlags & StrmBase_Sample_TimeValid) != 0 && (Flags & StrmBase_Sample_TimeValid) == 0 &&
            !VT_STRMBASE_PROPS_COVER(size, tStop))
            return E_INVALIDARG;
    }
    if (VT_STRMBASE_PROPS_COVER(size, pbBuffer) && in.pbBuffer != nullptr && in.pbBuffer != Buffer)
        return E_INVALIDARG;
    if (VT_STRMBASE_PROPS_COVER(size, cbBuffer) && in.cbBuffer != 0 && in.cbBuffer != BufferSize) return E_INVALIDARG;
    if (VT_STRMBASE_PROPS_COVER(size, lActual) && (in.lActual < 0 || in.lActual > BufferSize)) return E_INVALIDARG;
    AM_MEDIA_TYPE* newType = nullptr;
    BOOL flagsGiven = VT_STRMBASE_PROPS_COVER(size, dwSampleFlags);
    if (flagsGiven && (in.dwSampleFlags & StrmBase_Sample_TypeChanged) != 0 &&
        VT_STRMBASE_PROPS_COVER(size, pMediaType)) {
        if (in.pMediaType == nullptr) return E_POINTER;
        newType = StrmBase_MediaType_Duplicate(in.pMediaType);
        if (newType == nullptr) return E_OUTOFMEMORY;
    }

    if (VT_STRMBASE_PROPS_COVER(size, dwStreamId)) StreamId = in.dwStreamId;
    if (flagsGiven) {
        Flags = (in.dwSampleFlags & ~(DWORD)StrmBase_Sample_MediaTimeValid) | (Flags & StrmBase_Sample_MediaTimeValid);
        TypeSpecificFlags = in.dwTypeSpecificFlags;
    } else if (VT_STRMBASE_PROPS_COVER(size, dwTypeSpecificFlags)) {
        TypeSpecificFlags = in.dwTypeSpecificFlags;
    }
    if (VT_STRMBASE_PROPS_COVER(size, lActual)) ActualLength = in.lActual;
    if (VT_STRMBASE_PROPS_COVER(size, tStop)) Stop = in.tStop;
    if (VT_STRMBASE_PROPS_COVER(size, tStart)) Start = in.tStart;
    if (newType != nullptr) {
        StrmBase_MediaType_Delete(MediaType);
        MediaType = newType;
    } else if (flagsGiven && (Flags & StrmBase_Sample_TypeChanged) == 0 && MediaType != nullptr) {
        StrmBase_MediaType_Delete(MediaType);
        MediaType = nullptr;
    }
    StrmBase_Sample_SetFlag(&Flags, StrmBase_Sample_TypeChanged, MediaType != nullptr);
    return S_OK;
}

// ---- Allocator base ----------------------------------------------------------------------------------

D_CBaseAllocator::D_CBaseAllocator(const wchar_t* objectName, D_IUnknown* outer, HRESULT* result,
                                   BOOL createSemaphore, BOOL enableReleaseCallback)
    : D_CUnknown(objectName, outer),
      D_CCritSec(),
      FreeHead(nullptr),
      FreeCount(0),
      Semaphore(nullptr),
      Waiting(0),
      BufferCount(0),
      AllocatedCount(0),
      BufferSize(0),
      Alignment(0),
      Prefix(0),
      Changed(0),
      Committed(0),
      DecommitInProgress(0),
      NotifyCallback(nullptr),
      ReleaseCallbackEnabled(enableReleaseCallback ? 1 : 0)
{
    if (createSemaphore) {
        Semaphore = WinAPITable.CreateSemaphoreA(nullptr, 0, 0x7FFFFFFF, nullptr);
        if (Semaphore == nullptr && result != nullptr) *result = E_OUTOFMEMORY;
    }
}

D_CBaseAllocator::~D_CBaseAllocator()
{
    if (Semaphore != nullptr) WinAPITable.CloseHandle(Semaphore);
    if (NotifyCallback != nullptr) NotifyCallback->Release();
}

HRESULT STDMETHODCALLTYPE D_CBaseAllocator::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IMemAllocator) return StrmBase_GetInterface(static_cast<D_IMemAllocator*>(this), object);
    if (iid == IID_IMemAllocatorCallbackTemp && ReleaseCallbackEnabled)
        return StrmBase_GetInterface(static_cast<D_IMemAllocatorCallbackTemp*>(this), object);
    return D_CUnknown::NonDelegatingQueryInterface(iid, object);
}

HRESULT STDMETHODCALLTYPE D_CBaseAllocator::QueryInterface(REFIID iid, void** object)
{
    return GetOwner()->QueryInterface(iid, object);
}

ULONG STDMETHODCALLTYPE D_CBaseAllocator::AddRef() { return GetOwner()->AddRef(); }

ULONG STDMETHODCALLTYPE D_CBaseAllocator::Release() { return GetOwner()->Release(); }

uint64_t D_CBaseAllocator::SampleStep() const
{
    uint64_t step = (uint64_t)BufferSize + (uint64_t)Prefix;
    uint64_t remainder = step % (uint64_t)Alignment;
    if (remainder != 0) step += (uint64_t)Alignment - remainder;
    return step;
}

HRESULT D_CBaseAllocator::CreateSamples(BYTE* memory, uint64_t step)
{
    for (int32_t i = AllocatedCount; i < BufferCount; i++) {
        HRESULT made = S_OK;
        BYTE* buffer = memory + Prefix + (size_t)i * (size_t)step;
        D_CMediaSample* sample =
            new (__FILE__, __LINE__) D_CMediaSample(L"Default memory media sample", this, &made, buffer, BufferSize);
        if (sample == nullptr) return E_OUTOFMEMORY;
        sample->NextFree = FreeHead;
        FreeHead = sample;
        FreeCount++;
        AllocatedCount++;
    }
    return S_OK;
}

HRESULT D_CBaseAllocator::Alloc()
{
    if (BufferCount < 1 || BufferSize < 1 || Alignment < 1) return VFW_E_SIZENOTSET;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual)
{
    if (actual == nullptr || request == nullptr) return E_POINTER;
    StrmBase_AutoLock lock(this);
    SYSTEM_INFO system;
    memset(&system, 0, sizeof(system));
    WinAPITable.GetSystemInfo(&system);
    if (request->cbAlign <= 0 || (((DWORD)request->cbAlign - 1) & system.dwAllocationGranularity) != 0)
        return VFW_E_BADALIGN;
    if (Committed) return VFW_E_ALREADY_COMMITTED;
    if (FreeCount < AllocatedCount) return VFW_E_BUFFERS_OUTSTANDING;
    if (request->cBuffers < 0 || request->cbBuffer < 0 || request->cbPrefix < 0) return E_INVALIDARG;
    int64_t size = request->cbBuffer;
    int64_t remainder = (size + request->cbPrefix) % request->cbAlign;
    if (remainder != 0) size += request->cbAlign - remainder;
    if (size > 0x7FFFFFFF) return E_INVALIDARG;
    BufferCount = request->cBuffers;
    BufferSize = (int32_t)size;
    Alignment = request->cbAlign;
    Prefix = request->cbPrefix;
    actual->cBuffers = BufferCount;
    actual->cbBuffer = BufferSize;
    actual->cbAlign = Alignment;
    actual->cbPrefix = Prefix;
    Changed = 1;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseAllocator::GetProperties(ALLOCATOR_PROPERTIES* properties)
{
    if (properties == nullptr) return E_POINTER;
    StrmBase_AutoLock lock(this);
    properties->cBuffers = BufferCount;
    properties->cbBuffer = BufferSize;
    properties->cbAlign = Alignment;
    properties->cbPrefix = Prefix;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseAllocator::Commit()
{
    StrmBase_AutoLock lock(this);
    if (Committed) return S_OK;
    Committed = 1;
    if (DecommitInProgress) {
        DecommitInProgress = 0;
        return S_OK;
    }
    HRESULT hr = Alloc();
    if (FAILED(hr)) {
        Committed = 0;
        return hr;
    }
    AsMemAllocator()->AddRef();
    return S_OK;
}

void D_CBaseAllocator::ReleaseWaiters()
{
    if (Waiting > 0 && Semaphore != nullptr) WinAPITable.ReleaseSemaphore(Semaphore, Waiting, nullptr);
    Waiting = 0;
}

HRESULT STDMETHODCALLTYPE D_CBaseAllocator::Decommit()
{
    BOOL completed = FALSE;
    {
        StrmBase_AutoLock lock(this);
        if (Committed || DecommitInProgress) {
            Committed = 0;
            if (FreeCount < AllocatedCount) {
                DecommitInProgress = 1;
            } else {
                DecommitInProgress = 0;
                Free();
                completed = TRUE;
            }
            ReleaseWaiters();
        }
    }
    if (completed) AsMemAllocator()->Release();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseAllocator::GetBuffer(D_IMediaSample** sample, REFERENCE_TIME* start,
                                                      REFERENCE_TIME* stop, DWORD flags)
{
    if (sample == nullptr) return E_POINTER;
    *sample = nullptr;
    for (;;) {
        D_CMediaSample* taken = nullptr;
        {
            StrmBase_AutoLock lock(this);
            if (!Committed) return VFW_E_NOT_COMMITTED;
            taken = FreeHead;
            if (taken != nullptr) {
                FreeHead = taken->NextFree;
                taken->NextFree = nullptr;
                FreeCount--;
            } else {
                if ((flags & AM_GBF_NOWAIT) != 0 || Semaphore == nullptr) return VFW_E_TIMEOUT;
                Waiting++;
            }
        }
        if (taken != nullptr) {
            taken->ReferenceCount = 1;
            *sample = taken;
            return S_OK;
        }
        WinAPITable.WaitForSingleObject(Semaphore, INFINITE);
    }
}

HRESULT STDMETHODCALLTYPE D_CBaseAllocator::ReleaseBuffer(D_IMediaSample* sample)
{
    if (sample == nullptr) return E_POINTER;
    D_CMediaSample* returned = static_cast<D_CMediaSample*>(static_cast<D_IMediaSample2*>(sample));
    BOOL completed = FALSE;
    IMemAllocatorNotifyCallbackTemp* notify = nullptr;
    {
        StrmBase_AutoLock lock(this);
        returned->NextFree = FreeHead;
        FreeHead = returned;
        FreeCount++;
        ReleaseWaiters();
        if (DecommitInProgress && FreeCount == AllocatedCount) {
            Free();
            DecommitInProgress = 0;
            completed = TRUE;
        }
        notify = NotifyCallback;
        if (notify != nullptr) notify->AddRef();
    }
    if (notify != nullptr) {
        notify->NotifyRelease();
        notify->Release();
    }
    if (completed) AsMemAllocator()->Release();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseAllocator::SetNotify(IMemAllocatorNotifyCallbackTemp* notify)
{
    StrmBase_AutoLock lock(this);
    if (notify != nullptr) notify->AddRef();
    if (NotifyCallback != nullptr) NotifyCallback->Release();
    NotifyCallback = notify;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseAllocator::GetFreeCount(LONG* freeCount)
{
    if (freeCount == nullptr) return E_POINTER;
    StrmBase_AutoLock lock(this);
    *freeCount = BufferCount + FreeCount - AllocatedCount;
    return S_OK;
}

// ---- Memory allocator --------------------------------------------------------------------------------

D_CMemAllocator::D_CMemAllocator(const wchar_t* objectName, D_IUnknown* outer, HRESULT* result)
    : D_CBaseAllocator(objectName, outer, result, TRUE, TRUE), Memory(nullptr)
{
}

D_CMemAllocator::~D_CMemAllocator()
{
    Decommit();
    ReallyFree();
}

// Memory stays with the allocator across decommit and commit.
void D_CMemAllocator::Free() {}

void D_CMemAllocator::ReallyFree()
{
    StrmBase_AutoLock lock(this);
    while (FreeHead != nullptr) {
        D_CMediaSample* sample = FreeHead;
        FreeHead = sample->NextFree;
        delete sample;
        FreeCount--;
        AllocatedCount--;
    }
    FreeCount = 0;
    AllocatedCount = 0;
    if (Memory != nullptr) {
        WinAPITable.VirtualFree(Memory, 0, MEM_RELEASE);
        Memory = nullptr;
    }
}

HRESULT D_CMemAllocator::Alloc()
{
    StrmBase_AutoLock lock(this);
    HRESULT hr = D_CBaseAllocator::Alloc();
    if (FAILED(hr)) return hr;
    if (!Changed) return S_OK;
    ReallyFree();
    uint64_t step = SampleStep();
    uint64_t total = step * (uint64_t)BufferCount;
    if (total > (uint64_t)(SIZE_MAX / 2)) return E_OUTOFMEMORY;
    Memory = (BYTE*)WinAPITable.VirtualAlloc(nullptr, (SIZE_T)total, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (Memory == nullptr) return E_OUTOFMEMORY;
    hr = CreateSamples(Memory, step);
    if (SUCCEEDED(hr)) Changed = 0;
    return hr;
}

}  // namespace Vantrel
