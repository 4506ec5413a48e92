// VtUseCStrmBaseFilter: the library's own DirectShow base classes: object counting, the
// non-delegating unknown, locks and events, media-type records, the filter and pin bases with
// connection negotiation, the enumerators, the registration and IDispatch helpers, the memory
// allocator with its media sample, and the seeking pass-through. Filters built on them live in the
// module's other headers (transform filters, asynchronous reader, renderers). Stands on the
// platform's DirectShow run time, reached through the system function table.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "foundation/VtWinAPI.h"
#include "movie/directshow/VtUseCStrmBaseFilterDecl.h"

namespace Vantrel {

class D_CBaseFilter;
class D_CBasePin;
class D_CBaseAllocator;
class D_CRendererPosPassThru;

// ---- Object memory ---------------------------------------------------------------------------------
// Objects of this family live in library memory, zero-filled, made with new (__FILE__, __LINE__) and
// destroyed through their deleting destructor.
void* StrmBase_AllocateObject(size_t size, const char* file, int line);
void StrmBase_FreeObject(void* block);

#define VT_STRMBASE_OBJECT_MEMORY                                                                       \
    static void* operator new(size_t size, const char* file, int line) noexcept                         \
    {                                                                                                   \
        return StrmBase_AllocateObject(size, file, line);                                               \
    }                                                                                                   \
    static void operator delete(void* block) noexcept { StrmBase_FreeObject(block); }                   \
    static void operator delete(void* block, const char*, int) noexcept { StrmBase_FreeObject(block); } \
    static void* operator new(size_t size) = delete;

// ---- Result codes not named by the compiler's headers -------------------------------------------------
constexpr HRESULT StrmBase_FileNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);  // 0x80070002

// ---- Object counting ---------------------------------------------------------------------------------
// Every object of the family but the enumerators counts itself in a process-wide count; when the last
// one goes, the OLE Automation library loaded by the IDispatch support is freed.
class D_CBaseObject {
public:
    D_CBaseObject();
    ~D_CBaseObject();
    D_CBaseObject(const D_CBaseObject&) = delete;
    D_CBaseObject& operator=(const D_CBaseObject&) = delete;
    VT_STRMBASE_OBJECT_MEMORY
};

// The number of live objects of the family.
LONG StrmBase_GetObjectCount();

// ---- The non-delegating unknown ----------------------------------------------------------------------
// Laid out like IUnknown (its first three slots), so that it serves as the object's identity unknown.
class D_INonDelegatingUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingAddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingRelease() = 0;
    virtual ~D_INonDelegatingUnknown() {}
};

// AddRef reports the count without raising it, so Release never destroys an object of this family
// (the count starts at 0): its owner destroys it through the deleting destructor.
class D_CUnknown : public D_INonDelegatingUnknown, public D_CBaseObject {
public:
    D_IUnknown* OuterUnknown;  // the aggregating object's unknown, or this object's own
    volatile LONG ReferenceCount;

    D_CUnknown(const wchar_t* objectName, D_IUnknown* outer);
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE NonDelegatingAddRef() override;
    ULONG STDMETHODCALLTYPE NonDelegatingRelease() override;
    D_IUnknown* GetOwner() const { return OuterUnknown; }
    D_IUnknown* AsIdentity() { return reinterpret_cast<D_IUnknown*>(static_cast<D_INonDelegatingUnknown*>(this)); }
};

// Hands out an interface with a reference added through its own table.
HRESULT StrmBase_GetInterface(D_IUnknown* interfacePointer, void** object);

// ---- Locks and events --------------------------------------------------------------------------------
class D_CCritSec {
public:
    CRITICAL_SECTION Section;

    D_CCritSec();
    ~D_CCritSec();
    D_CCritSec(const D_CCritSec&) = delete;
    D_CCritSec& operator=(const D_CCritSec&) = delete;
    void Lock();
    void Unlock();
};

// Holds a D_CCritSec for the life of the scope.
class StrmBase_AutoLock {
public:
    explicit StrmBase_AutoLock(D_CCritSec* lock) : Held(lock) { Held->Lock(); }
    ~StrmBase_AutoLock() { Held->Unlock(); }
    StrmBase_AutoLock(const StrmBase_AutoLock&) = delete;
    StrmBase_AutoLock& operator=(const StrmBase_AutoLock&) = delete;

private:
    D_CCritSec* Held;
};

// A system event, manual-reset or auto-reset, closed with the object.
class D_CAMEvent {
public:
    HANDLE Event;

    explicit D_CAMEvent(BOOL manualReset);
    ~D_CAMEvent();
    D_CAMEvent(const D_CAMEvent&) = delete;
    D_CAMEvent& operator=(const D_CAMEvent&) = delete;
    void Set();
    void Reset();
    BOOL Wait(DWORD timeout);  // TRUE when signalled in time
};

// ---- Media-type records ------------------------------------------------------------------------------
// All zero but fixed-size samples 1 and sample size 1.
void StrmBase_MediaType_Init(AM_MEDIA_TYPE* type);
// Copies the record, duplicating the format block (CoTaskMemAlloc) and referencing the held interface.
HRESULT StrmBase_MediaType_Copy(AM_MEDIA_TYPE* destination, const AM_MEDIA_TYPE* source);
// Frees the format block and releases the held interface; the record itself stays.
void StrmBase_MediaType_Destroy(AM_MEDIA_TYPE* type);
BOOL StrmBase_MediaType_Equal(const AM_MEDIA_TYPE* a, const AM_MEDIA_TYPE* b);
BOOL StrmBase_MediaType_IsPartiallySpecified(const AM_MEDIA_TYPE* type);
BOOL StrmBase_MediaType_MatchesPartial(const AM_MEDIA_TYPE* type, const AM_MEDIA_TYPE* partial);
// A copy in a record of its own allocated with CoTaskMemAlloc (null on failure), and its release.
AM_MEDIA_TYPE* StrmBase_MediaType_Duplicate(const AM_MEDIA_TYPE* source);
void StrmBase_MediaType_Delete(AM_MEDIA_TYPE* type);

// A UTF-16 string duplicated with CoTaskMemAlloc.
HRESULT StrmBase_GetWideString(const wchar_t* text, LPWSTR* out);

// ---- Pointer list ------------------------------------------------------------------------------------
struct StrmBase_PtrListNode {
    StrmBase_PtrListNode* Previous;
    StrmBase_PtrListNode* Next;
    void* Object;
};

// A doubly linked list of object pointers that keeps up to CacheLimit spare nodes.
struct StrmBase_PtrList {
    StrmBase_PtrListNode* Head;
    StrmBase_PtrListNode* Tail;
    int32_t Count;
    int32_t CacheLimit;
    int32_t CachedCount;
    StrmBase_PtrListNode* CacheHead;
};

void StrmBase_PtrList_Init(StrmBase_PtrList* list);
// Frees every node and every spare node.
void StrmBase_PtrList_Free(StrmBase_PtrList* list);
// The new node, or null (list unchanged) when no node could be allocated.
StrmBase_PtrListNode* StrmBase_PtrList_AddTail(StrmBase_PtrList* list, void* object);
// The object of the first node, which is removed; null for an empty list.
void* StrmBase_PtrList_RemoveHead(StrmBase_PtrList* list);
BOOL StrmBase_PtrList_Contains(const StrmBase_PtrList* list, const void* object);
void StrmBase_PtrList_RemoveAll(StrmBase_PtrList* list);
// Copies the objects of source after those of destination; FALSE when a node could not be made.
BOOL StrmBase_PtrList_AppendCopy(StrmBase_PtrList* destination, const StrmBase_PtrList* source);

// ---- Filter registration -----------------------------------------------------------------------------
// The setup data a filter offers to the registration helper: class id, name, merit and its pins.
struct StrmBase_FilterSetup {
    const CLSID* ClassId;
    const wchar_t* Name;
    DWORD Merit;
    UINT PinCount;
    const REGFILTERPINS* Pins;
};

// Registers (or only unregisters) the filter of the setup data with the filter mapper.
HRESULT StrmBase_RegisterFilterSetup(const StrmBase_FilterSetup* setup, IFilterMapper* mapper, BOOL registering);

// ---- IDispatch support -------------------------------------------------------------------------------
// The type information of one interface of the DirectShow control type library, loaded on first use
// from OLE Automation.
struct StrmBase_Dispatch {
    ITypeInfo* TypeInfo;
};

HRESULT StrmBase_Dispatch_GetTypeInfo(StrmBase_Dispatch* dispatch, REFIID iid, UINT index, LCID locale,
                                      ITypeInfo** typeInfo);
HRESULT StrmBase_Dispatch_GetIDsOfNames(StrmBase_Dispatch* dispatch, REFIID iid, LPOLESTR* names, UINT count,
                                        LCID locale, DISPID* ids);
void StrmBase_Dispatch_Release(StrmBase_Dispatch* dispatch);

// Waits for the event while letting the thread's sent messages through (waits of at most 10 ms).
// WAIT_OBJECT_0 when signalled, WAIT_TIMEOUT when the time ran out.
DWORD StrmBase_WaitDispatchingMessages(HANDLE event, DWORD timeout);

// ---- Filter base -------------------------------------------------------------------------------------
enum : int32_t {
    StrmBase_State_Stopped = 0,
    StrmBase_State_Paused = 1,
    StrmBase_State_Running = 2,
};

class D_CBaseFilter : public D_CUnknown, public D_IBaseFilter, public D_IAMovieSetup {
public:
    int32_t State;
    IReferenceClock* Clock;
    REFERENCE_TIME StartTime;
    CLSID ClassId;
    D_CCritSec* FilterLock;
    wchar_t* Name;
    IFilterGraph* Graph;
    IMediaEventSink* EventSink;
    int32_t PinVersion;

    D_CBaseFilter(const wchar_t* objectName, D_IUnknown* outer, D_CCritSec* lock, REFCLSID classId);
    ~D_CBaseFilter() override;

    // Non-delegating unknown.
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;
    // The delegating unknown of every interface table of the filter.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // The filter's own operations.
    virtual HRESULT StreamTime(REFERENCE_TIME* time);
    virtual LONG GetPinVersion();
    virtual int GetPinCount() = 0;
    virtual D_CBasePin* GetPin(int index) = 0;
    virtual const StrmBase_FilterSetup* GetSetupData();

    // IPersist, IMediaFilter, IBaseFilter.
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* classId) override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
    HRESULT STDMETHODCALLTYPE GetState(DWORD timeout, FILTER_STATE* state) override;
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override;
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override;
    HRESULT STDMETHODCALLTYPE EnumPins(D_IEnumPins** pins) override;
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, D_IPin** pin) override;
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override;
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* vendorInfo) override;

    // IAMovieSetup.
    HRESULT STDMETHODCALLTYPE Register() override;
    HRESULT STDMETHODCALLTYPE Unregister() override;

    // Sends an event to the graph's event sink (E_NOTIMPL without one).
    HRESULT NotifyEvent(long code, LONG_PTR parameter1, LONG_PTR parameter2);
    void IncrementPinVersion() { InterlockedIncrement(reinterpret_cast<volatile LONG*>(&PinVersion)); }
    BOOL IsStopped() const { return State == StrmBase_State_Stopped; }
    BOOL IsActive() const { return State != StrmBase_State_Stopped; }
    D_IBaseFilter* AsBaseFilter() { return static_cast<D_IBaseFilter*>(this); }
};

// The filter as the platform's IBaseFilter (for IFilterGraph::AddFilter and the like).
inline IBaseFilter* StrmBase_AsIBaseFilter(D_CBaseFilter* filter)
{
    return filter != nullptr ? reinterpret_cast<IBaseFilter*>(filter->AsBaseFilter()) : nullptr;
}

// Destroys a filter through its deleting destructor; null does nothing. Only the owner calls it, after
// the graph has let the filter go.
void StrmBase_Filter_Delete(D_CBaseFilter* filter);

// ---- Pin base ----------------------------------------------------------------------------------------
class D_CBasePin : public D_CUnknown, public D_IPin, public D_IQualityControl {
public:
    wchar_t* PinName;
    D_IPin* ConnectedPin;
    PIN_DIRECTION Direction;
    D_CCritSec* PinLock;
    BYTE RunTimeError;
    BYTE CanReconnectWhenActive;
    BYTE TryMyTypesFirst;
    D_CBaseFilter* Filter;
    D_IQualityControl* QualitySink;
    int32_t MediaTypeVersion;
    AM_MEDIA_TYPE ConnectionType;
    REFERENCE_TIME SegmentStart;
    REFERENCE_TIME SegmentStop;
    double SegmentRate;

    D_CBasePin(const wchar_t* objectName, D_CBaseFilter* filter, D_CCritSec* lock, HRESULT* result,
               const wchar_t* pinName, PIN_DIRECTION direction);
    ~D_CBasePin() override;

    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // The pin's own operations.
    virtual LONG GetMediaTypeVersion();
    virtual HRESULT Active();
    virtual HRESULT Inactive();
    virtual HRESULT Run(REFERENCE_TIME start);
    virtual HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT SetMediaType(const AM_MEDIA_TYPE* type);
    virtual HRESULT CheckConnect(D_IPin* pin);
    virtual HRESULT BreakConnect();
    virtual HRESULT CompleteConnect(D_IPin* receivePin);
    virtual HRESULT GetMediaType(int position, AM_MEDIA_TYPE* type);
    virtual HRESULT DisconnectInternal();

    // IPin.
    HRESULT STDMETHODCALLTYPE Connect(D_IPin* receivePin, const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE ReceiveConnection(D_IPin* connector, const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE ConnectedTo(D_IPin** pin) override;
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override;
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(D_IEnumMediaTypes** types) override;
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(D_IPin** pins, ULONG* count) override;
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    // IQualityControl.
    HRESULT STDMETHODCALLTYPE Notify(D_IBaseFilter* sender, Quality quality) override;
    HRESULT STDMETHODCALLTYPE SetSink(D_IQualityControl* sink) override;

    // Connection negotiation.
    HRESULT AgreeMediaType(D_IPin* receivePin, const AM_MEDIA_TYPE* type);
    HRESULT TryMediaTypes(D_IPin* receivePin, const AM_MEDIA_TYPE* partial, D_IEnumMediaTypes* types);
    HRESULT AttemptConnection(D_IPin* receivePin, const AM_MEDIA_TYPE* type);

    BOOL IsConnected() const { return ConnectedPin != nullptr; }
    BOOL IsFilterStopped() const { return Filter->IsStopped(); }
    D_IPin* GetConnected() const { return ConnectedPin; }
    const AM_MEDIA_TYPE* CurrentMediaType() const { return &ConnectionType; }
    D_IPin* AsPin() { return static_cast<D_IPin*>(this); }
    void IncrementTypeVersion() { InterlockedIncrement(reinterpret_cast<volatile LONG*>(&MediaTypeVersion)); }
};

inline IPin* StrmBase_AsIPin(D_CBasePin* pin) { return pin != nullptr ? reinterpret_cast<IPin*>(pin->AsPin()) : nullptr; }

// ---- Input pin base ----------------------------------------------------------------------------------
class D_CBaseInputPin : public D_CBasePin, public D_IMemInputPin {
public:
    D_IMemAllocator* Allocator;
    BYTE ReadOnly;
    BYTE Flushing;
    AM_SAMPLE2_PROPERTIES SampleProps;
    BYTE OwnsSampleType;  // SampleProps.pMediaType was made for this pin and is freed by it

    D_CBaseInputPin(const wchar_t* objectName, D_CBaseFilter* filter, D_CCritSec* lock, HRESULT* result,
                    const wchar_t* pinName);
    ~D_CBaseInputPin() override;

    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    virtual HRESULT CheckStreaming();

    // IMemInputPin.
    HRESULT STDMETHODCALLTYPE GetAllocator(D_IMemAllocator** allocator) override;
    HRESULT STDMETHODCALLTYPE NotifyAllocator(D_IMemAllocator* allocator, BOOL readOnly) override;
    HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;
    HRESULT STDMETHODCALLTYPE Receive(D_IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE ReceiveMultiple(D_IMediaSample** samples, long count, long* processed) override;
    HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override;

    // IPin flushing.
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;

    BOOL IsFlushing() const { return Flushing != 0; }
    AM_SAMPLE2_PROPERTIES* GetSampleProps() { return &SampleProps; }
    D_IMemInputPin* AsMemInputPin() { return static_cast<D_IMemInputPin*>(this); }
};

// ---- Output pin base ---------------------------------------------------------------------------------
class D_CBaseOutputPin : public D_CBasePin {
public:
    D_IMemAllocator* Allocator;
    D_IMemInputPin* InputPin;  // the downstream pin's IMemInputPin

    D_CBaseOutputPin(const wchar_t* objectName, D_CBaseFilter* filter, D_CCritSec* lock, HRESULT* result,
                     const wchar_t* pinName);
    ~D_CBaseOutputPin() override;

    HRESULT CheckConnect(D_IPin* pin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(D_IPin* receivePin) override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    virtual HRESULT DecideAllocator(D_IMemInputPin* pin, D_IMemAllocator** allocator);
    virtual HRESULT DecideBufferSize(D_IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) = 0;
    virtual HRESULT GetDeliveryBuffer(D_IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                      DWORD flags);
    virtual HRESULT Deliver(D_IMediaSample* sample);
    virtual HRESULT InitAllocator(D_IMemAllocator** allocator);
    virtual HRESULT DeliverEndOfStream();
    virtual HRESULT DeliverBeginFlush();
    virtual HRESULT DeliverEndFlush();
    virtual HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

    // The data flows the other way: an output pin refuses these.
    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;
};

// ---- Enumerators -------------------------------------------------------------------------------------
// Counted normally: the last Release destroys them.
class D_CEnumPins : public D_IEnumPins {
public:
    int32_t Position;
    int32_t PinCount;
    D_CBaseFilter* Filter;
    int32_t Version;
    volatile LONG ReferenceCount;
    StrmBase_PtrList HandedOut;

    // From the filter's current pins, or as a copy of another enumerator (null: a fresh one).
    D_CEnumPins(D_CBaseFilter* filter, const D_CEnumPins* copyFrom);
    virtual ~D_CEnumPins();
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Next(ULONG count, D_IPin** pins, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(D_IEnumPins** clone) override;
    VT_STRMBASE_OBJECT_MEMORY
};

class D_CEnumMediaTypes : public D_IEnumMediaTypes {
public:
    int32_t Position;
    D_CBasePin* Pin;
    int32_t Version;
    volatile LONG ReferenceCount;

    D_CEnumMediaTypes(D_CBasePin* pin, const D_CEnumMediaTypes* copyFrom);
    virtual ~D_CEnumMediaTypes();
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(D_IEnumMediaTypes** clone) override;
    VT_STRMBASE_OBJECT_MEMORY
};

// ---- Media sample and allocators ---------------------------------------------------------------------
enum : DWORD {
    StrmBase_Sample_SyncPoint = 0x1,
    StrmBase_Sample_Preroll = 0x2,
    StrmBase_Sample_Discontinuity = 0x4,
    StrmBase_Sample_TypeChanged = 0x8,
    StrmBase_Sample_TimeValid = 0x10,
    StrmBase_Sample_MediaTimeValid = 0x20,
    StrmBase_Sample_StopValid = 0x100,
};

class D_CMediaSample : public D_IMediaSample2 {
public:
    DWORD Flags;
    DWORD TypeSpecificFlags;
    BYTE* Buffer;
    LONG ActualLength;
    LONG BufferSize;
    D_CBaseAllocator* Allocator;
    D_CMediaSample* NextFree;
    REFERENCE_TIME Start;
    REFERENCE_TIME Stop;
    LONGLONG MediaStart;
    LONG MediaStopOffset;  // media stop as a difference from the media start
    AM_MEDIA_TYPE* MediaType;
    DWORD StreamId;
    volatile LONG ReferenceCount;

    D_CMediaSample(const wchar_t* objectName, D_CBaseAllocator* allocator, HRESULT* result, BYTE* buffer,
                   LONG length);
    virtual ~D_CMediaSample();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetPointer(BYTE** buffer) override;
    long STDMETHODCALLTYPE GetSize() override;
    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
    HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
    HRESULT STDMETHODCALLTYPE IsSyncPoint() override;
    HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL syncPoint) override;
    HRESULT STDMETHODCALLTYPE IsPreroll() override;
    HRESULT STDMETHODCALLTYPE SetPreroll(BOOL preroll) override;
    long STDMETHODCALLTYPE GetActualDataLength() override;
    HRESULT STDMETHODCALLTYPE SetActualDataLength(long length) override;
    HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE** type) override;
    HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE IsDiscontinuity() override;
    HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL discontinuity) override;
    HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG* start, LONGLONG* stop) override;
    HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG* start, LONGLONG* stop) override;
    HRESULT STDMETHODCALLTYPE GetProperties(DWORD size, BYTE* properties) override;
    HRESULT STDMETHODCALLTYPE SetProperties(DWORD size, const BYTE* properties) override;
    VT_STRMBASE_OBJECT_MEMORY
};

class D_CBaseAllocator : public D_CUnknown, public D_IMemAllocatorCallbackTemp, public D_CCritSec {
public:
    D_CMediaSample* FreeHead;
    int32_t FreeCount;
    HANDLE Semaphore;
    int32_t Waiting;
    int32_t BufferCount;
    int32_t AllocatedCount;
    int32_t BufferSize;
    int32_t Alignment;
    int32_t Prefix;
    int32_t Changed;
    int32_t Committed;
    int32_t DecommitInProgress;
    IMemAllocatorNotifyCallbackTemp* NotifyCallback;
    int32_t ReleaseCallbackEnabled;

    D_CBaseAllocator(const wchar_t* objectName, D_IUnknown* outer, HRESULT* result, BOOL createSemaphore,
                     BOOL enableReleaseCallback);
    ~D_CBaseAllocator() override;

    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;
    virtual void Free() = 0;
    virtual HRESULT Alloc();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
    HRESULT STDMETHODCALLTYPE GetProperties(ALLOCATOR_PROPERTIES* properties) override;
    HRESULT STDMETHODCALLTYPE Commit() override;
    HRESULT STDMETHODCALLTYPE Decommit() override;
    HRESULT STDMETHODCALLTYPE GetBuffer(D_IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                        DWORD flags) override;
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(D_IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE SetNotify(IMemAllocatorNotifyCallbackTemp* notify) override;
    HRESULT STDMETHODCALLTYPE GetFreeCount(LONG* freeCount) override;

    // Lets every thread waiting in GetBuffer look again (under the lock).
    void ReleaseWaiters();
    // Distance between two buffers: size and prefix rounded up to the alignment.
    uint64_t SampleStep() const;
    // Samples over memory + prefix + i x step until the buffer count is reached, on the free list.
    HRESULT CreateSamples(BYTE* memory, uint64_t step);
    D_IMemAllocator* AsMemAllocator() { return static_cast<D_IMemAllocator*>(this); }
};

// Buffers from one VirtualAlloc block, kept across decommit and commit until the properties change.
class D_CMemAllocator : public D_CBaseAllocator {
public:
    BYTE* Memory;

    D_CMemAllocator(const wchar_t* objectName, D_IUnknown* outer, HRESULT* result);
    ~D_CMemAllocator() override;
    void Free() override;
    HRESULT Alloc() override;
    // Destroys every free sample and releases the memory block.
    void ReallyFree();
};

// ---- Seeking pass-through ----------------------------------------------------------------------------
// The IDispatch half of IMediaPosition, answered from the DirectShow control type library.
class D_CMediaPosition : public D_IMediaPosition {
public:
    StrmBase_Dispatch Dispatch;

    D_CMediaPosition();
    virtual ~D_CMediaPosition();
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** typeInfo) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;
};

// Answers IMediaSeeking and IMediaPosition for a filter by asking the pin its input pin is connected to.
class D_CPosPassThru : public D_IMediaSeeking, public D_CMediaPosition, public D_CUnknown {
public:
    D_IPin* InputPin;

    D_CPosPassThru(const wchar_t* objectName, D_IUnknown* outer, HRESULT* result, D_IPin* inputPin);
    ~D_CPosPassThru() override;

    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IMediaSeeking.
    HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* capabilities) override;
    HRESULT STDMETHODCALLTYPE CheckCapabilities(DWORD* capabilities) override;
    HRESULT STDMETHODCALLTYPE IsFormatSupported(const GUID* format) override;
    HRESULT STDMETHODCALLTYPE QueryPreferredFormat(GUID* format) override;
    HRESULT STDMETHODCALLTYPE GetTimeFormat(GUID* format) override;
    HRESULT STDMETHODCALLTYPE IsUsingTimeFormat(const GUID* format) override;
    HRESULT STDMETHODCALLTYPE SetTimeFormat(const GUID* format) override;
    HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* duration) override;
    HRESULT STDMETHODCALLTYPE GetStopPosition(LONGLONG* stop) override;
    HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG* current) override;
    HRESULT STDMETHODCALLTYPE ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                                const GUID* sourceFormat) override;
    HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                           DWORD stopFlags) override;
    HRESULT STDMETHODCALLTYPE GetPositions(LONGLONG* current, LONGLONG* stop) override;
    HRESULT STDMETHODCALLTYPE GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
    HRESULT STDMETHODCALLTYPE SetRate(double rate) override;
    HRESULT STDMETHODCALLTYPE GetRate(double* rate) override;
    HRESULT STDMETHODCALLTYPE GetPreroll(LONGLONG* preroll) override;
    virtual HRESULT GetMediaTime(LONGLONG* current, LONGLONG* stop);

    // IMediaPosition.
    HRESULT STDMETHODCALLTYPE get_Duration(REFTIME* length) override;
    HRESULT STDMETHODCALLTYPE put_CurrentPosition(REFTIME time) override;
    HRESULT STDMETHODCALLTYPE get_CurrentPosition(REFTIME* time) override;
    HRESULT STDMETHODCALLTYPE get_StopTime(REFTIME* time) override;
    HRESULT STDMETHODCALLTYPE put_StopTime(REFTIME time) override;
    HRESULT STDMETHODCALLTYPE get_PrerollTime(REFTIME* time) override;
    HRESULT STDMETHODCALLTYPE put_PrerollTime(REFTIME time) override;
    HRESULT STDMETHODCALLTYPE put_Rate(double rate) override;
    HRESULT STDMETHODCALLTYPE get_Rate(double* rate) override;
    HRESULT STDMETHODCALLTYPE CanSeekForward(LONG* canSeek) override;
    HRESULT STDMETHODCALLTYPE CanSeekBackward(LONG* canSeek) override;

    // The upstream pin's interfaces (referenced), or E_NOTIMPL when there is none.
    HRESULT GetPeerSeeking(D_IMediaSeeking** seeking);
    HRESULT GetPeerPosition(D_IMediaPosition** position);
};

// Adds what a renderer knows: the media time of the sample being rendered.
class D_CRendererPosPassThru : public D_CPosPassThru {
public:
    D_CCritSec PositionLock;
    LONGLONG StartMedia;
    LONGLONG StopMedia;
    int32_t NoMediaTime;

    D_CRendererPosPassThru(const wchar_t* objectName, D_IUnknown* outer, HRESULT* result, D_IPin* inputPin);
    HRESULT GetMediaTime(LONGLONG* current, LONGLONG* stop) override;

    // Called by the renderer: the media times of the sample about to be shown; forgetting them; the end
    // of the stream (the position moves to the last sample's end).
    HRESULT RegisterMediaTime(D_IMediaSample* sample);
    HRESULT RegisterMediaTime(LONGLONG start, LONGLONG stop);
    HRESULT ResetMediaTime();
    HRESULT EOS();
};

// Creates the system's seeking pass-through (aggregated by outer) over the input pin.
HRESULT StrmBase_CreateSeekingPassThru(IUnknown* outer, BOOL renderer, D_IPin* inputPin, IUnknown** result);

}  // namespace Vantrel
