// VtUseCStrmBaseFilter: object counting, the non-delegating unknown, locks and events, the filter
// base, the pin bases and connection negotiation of the library's DirectShow classes. Every system
// call goes through the system function table.
#include "movie/directshow/VtUseCStrmBaseFilter.h"

#include <string.h>

#include "foundation/VtMemory.h"
#include "movie/directshow/VtUseCStrmBaseFilterInternal.h"

namespace Vantrel {

// The OLE Automation library the IDispatch support loaded (VtUseCStrmBaseFilterEnum.cpp).
extern HMODULE StrmBase_OleAutomationModule;

namespace {

volatile LONG StrmBase_ObjectCount;

// Capacity of the name fields of FILTER_INFO and PIN_INFO, terminator included.
constexpr size_t StrmBase_InfoNameCapacity = 128;

}  // namespace

// ---- Object memory and counting ----------------------------------------------------------------------

void* StrmBase_AllocateObject(size_t size, const char* file, int line)
{
    if (size > 0x7FFFFFFF) return nullptr;
    return Memory_AllocateZeroed((uint32_t)size, file, line);
}

void StrmBase_FreeObject(void* block) { Memory_Free(block); }

D_CBaseObject::D_CBaseObject() { InterlockedIncrement(&StrmBase_ObjectCount); }

D_CBaseObject::~D_CBaseObject()
{
    if (InterlockedDecrement(&StrmBase_ObjectCount) == 0 && StrmBase_OleAutomationModule != nullptr) {
        HMODULE module = (HMODULE)InterlockedExchangePointer((void* volatile*)&StrmBase_OleAutomationModule, nullptr);
        if (module != nullptr && WinAPITable.FreeLibrary != nullptr) WinAPITable.FreeLibrary(module);
    }
}

LONG StrmBase_GetObjectCount() { return StrmBase_ObjectCount; }

// ---- Text helpers ------------------------------------------------------------------------------------

size_t StrmBase_Text_Length(const wchar_t* text)
{
    size_t length = 0;
    if (text != nullptr)
        while (text[length] != 0) length++;
    return length;
}

wchar_t* StrmBase_Text_Duplicate(const wchar_t* text)
{
    if (text == nullptr) return nullptr;
    uint64_t bytes = ((uint64_t)StrmBase_Text_Length(text) + 1) * sizeof(wchar_t);
    if (bytes > 0x7FFFFFFF) return nullptr;
    wchar_t* copy = (wchar_t*)Memory_Allocate((uint32_t)bytes, __FILE__, __LINE__);
    if (copy != nullptr) memcpy(copy, text, (size_t)bytes);
    return copy;
}

BOOL StrmBase_Text_Equal(const wchar_t* a, const wchar_t* b)
{
    if (a == nullptr || b == nullptr) return a == b;
    while (*a != 0 && *a == *b) {
        a++;
        b++;
    }
    return *a == *b;
}

void StrmBase_Text_CopyBounded(wchar_t* destination, size_t capacity, const wchar_t* source)
{
    if (capacity == 0) return;
    size_t i = 0;
    if (source != nullptr)
        for (; i + 1 < capacity && source[i] != 0; i++) destination[i] = source[i];
    destination[i] = 0;
}

// ---- Non-delegating unknown --------------------------------------------------------------------------

HRESULT StrmBase_GetInterface(D_IUnknown* interfacePointer, void** object)
{
    if (object == nullptr) return E_POINTER;
    *object = interfacePointer;
    interfacePointer->AddRef();
    return S_OK;
}

D_CUnknown::D_CUnknown(const wchar_t* objectName, D_IUnknown* outer) : OuterUnknown(outer), ReferenceCount(0)
{
    if (OuterUnknown == nullptr) OuterUnknown = AsIdentity();
}

HRESULT STDMETHODCALLTYPE D_CUnknown::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown) {
        *object = AsIdentity();
        NonDelegatingAddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE D_CUnknown::NonDelegatingAddRef()
{
    LONG count = ReferenceCount;
    return (ULONG)count > 1 ? (ULONG)count : 1;
}

ULONG STDMETHODCALLTYPE D_CUnknown::NonDelegatingRelease()
{
    LONG count = InterlockedDecrement(&ReferenceCount);
    if (count == 0) {
        // Reached only by an object whose count somebody raised: it goes as COM asks.
        ReferenceCount = 1;
        delete this;
        return 0;
    }
    return (ULONG)count > 1 ? (ULONG)count : 1;
}

// ---- Locks and events --------------------------------------------------------------------------------

D_CCritSec::D_CCritSec()
{
    WinAPI_EnsureLoaded();
    WinAPITable.InitializeCriticalSection(&Section);
}

D_CCritSec::~D_CCritSec() { WinAPITable.DeleteCriticalSection(&Section); }

void D_CCritSec::Lock() { WinAPITable.EnterCriticalSection(&Section); }

void D_CCritSec::Unlock() { WinAPITable.LeaveCriticalSection(&Section); }

D_CAMEvent::D_CAMEvent(BOOL manualReset)
{
    WinAPI_EnsureLoaded();
    Event = WinAPITable.CreateEventA(nullptr, manualReset, FALSE, nullptr);
}

D_CAMEvent::~D_CAMEvent()
{
    if (Event != nullptr) WinAPITable.CloseHandle(Event);
}

void D_CAMEvent::Set() { WinAPITable.SetEvent(Event); }

void D_CAMEvent::Reset() { WinAPITable.ResetEvent(Event); }

BOOL D_CAMEvent::Wait(DWORD timeout) { return WinAPITable.WaitForSingleObject(Event, timeout) == WAIT_OBJECT_0; }

// ---- Filter base -------------------------------------------------------------------------------------

D_CBaseFilter::D_CBaseFilter(const wchar_t* objectName, D_IUnknown* outer, D_CCritSec* lock, REFCLSID classId)
    : D_CUnknown(objectName, outer),
      State(StrmBase_State_Stopped),
      Clock(nullptr),
      StartTime(0),
      ClassId(classId),
      FilterLock(lock),
      Name(nullptr),
      Graph(nullptr),
      EventSink(nullptr),
      PinVersion(1)
{
    WinAPI_EnsureLoaded();
}

D_CBaseFilter::~D_CBaseFilter()
{
    Memory_Free(Name);
    if (Clock != nullptr) Clock->Release();
}

void StrmBase_Filter_Delete(D_CBaseFilter* filter)
{
    if (filter != nullptr) delete static_cast<D_INonDelegatingUnknown*>(filter);
}

HRESULT STDMETHODCALLTYPE D_CBaseFilter::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IBaseFilter || iid == IID_IMediaFilter || iid == IID_IPersist)
        return StrmBase_GetInterface(static_cast<D_IBaseFilter*>(this), object);
    if (iid == IID_IAMovieSetup) return StrmBase_GetInterface(static_cast<D_IAMovieSetup*>(this), object);
    return D_CUnknown::NonDelegatingQueryInterface(iid, object);
}

HRESULT STDMETHODCALLTYPE D_CBaseFilter::QueryInterface(REFIID iid, void** object)
{
    return GetOwner()->QueryInterface(iid, object);
}

ULONG STDMETHODCALLTYPE D_CBaseFilter::AddRef() { return GetOwner()->AddRef(); }

ULONG STDMETHODCALLTYPE D_CBaseFilter::Release() { return GetOwner()->Release(); }

HRESULT D_CBaseFilter::StreamTime(REFERENCE_TIME* time)
{
    if (time == nullptr) return E_POINTER;
    if (Clock == nullptr) return VFW_E_NO_CLOCK;
    REFERENCE_TIME now = 0;
    HRESULT hr = Clock->GetTime(&now);
    if (FAILED(hr)) return hr;
    *time = now - StartTime;
    return S_OK;
}

LONG D_CBaseFilter::GetPinVersion() { return PinVersion; }

const StrmBase_FilterSetup* D_CBaseFilter::GetSetupData() { return nullptr; }

HRESULT STDMETHODCALLTYPE D_CBaseFilter::GetClassID(CLSID* classId)
{
    if (classId == nullptr) return E_POINTER;
    *classId = ClassId;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseFilter::Stop()
{
    StrmBase_AutoLock lock(FilterLock);
    HRESULT result = S_OK;
    if (State != StrmBase_State_Stopped) {
        int count = GetPinCount();
        for (int i = 0; i < count; i++) {
            D_CBasePin* pin = GetPin(i);
            if (pin == nullptr || !pin->IsConnected()) continue;
            HRESULT hr = pin->Inactive();
            if (FAILED(hr) && SUCCEEDED(result)) result = hr;
        }
    }
    State = StrmBase_State_Stopped;
    return result;
}

HRESULT STDMETHODCALLTYPE D_CBaseFilter::Pause()
{
    StrmBase_AutoLock lock(FilterLock);
    if (State == StrmBase_State_Stopped) {
        int count = GetPinCount();
        for (int i = 0; i < count; i++) {
            D_CBasePin* pin = GetPin(i);
            if (pin == nullptr || !pin->IsConnected()) continue;
            HRESULT hr = pin->Active();
            if (FAILED(hr)) return hr;
        }
    }
    State = StrmBase_State_Paused;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseFilter::Run(REFERENCE_TIME start)
{
    StrmBase_AutoLock lock(FilterLock);
    StartTime = start;
    if (State == StrmBase_State_Stopped) {
        HRESULT hr = static_cast<D_IBaseFilter*>(this)->Pause();
        if (FAILED(hr)) return hr;
    }
    if (State == StrmBase_State_Running) return S_OK;
    int count = GetPinCount();
    for (int i = 0; i < count; i++) {
        D_CBasePin* pin = GetPin(i);
        if (pin == nullptr || !pin->IsConnected()) continue;
        HRESULT hr = pin->Run(start);
        if (FAILED(hr)) return hr;
    }
    State = StrmBase_State_Running;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseFilter::GetState(DWORD timeout, FILTER_STATE* state)
{
    if (state == nullptr) return E_POINTER;
    *state = (FILTER_STATE)State;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseFilter::SetSyncSource(IReferenceClock* clock)
{
    StrmBase_AutoLock lock(FilterLock);
    if (clock != nullptr) clock->AddRef();
    if (Clock != nullptr) Clock->Release();
    Clock = clock;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseFilter::GetSyncSource(IReferenceClock** clock)
{
    if (clock == nullptr) return E_POINTER;
    StrmBase_AutoLock lock(FilterLock);
    if (Clock != nullptr) Clock->AddRef();
    *clock = Clock;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseFilter::EnumPins(D_IEnumPins** pins)
{
    if (pins == nullptr) return E_POINTER;
    D_CEnumPins* enumerator = new (__FILE__, __LINE__) D_CEnumPins(this, nullptr);
    *pins = enumerator;
    return enumerator != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE D_CBaseFilter::FindPin(LPCWSTR id, D_IPin** pin)
{
    if (pin == nullptr) return E_POINTER;
    StrmBase_AutoLock lock(FilterLock);
    int count = GetPinCount();
    for (int i = 0; i < count; i++) {
        D_CBasePin* candidate = GetPin(i);
        if (candidate == nullptr) continue;
        if (StrmBase_Text_Equal(candidate->PinName, id) && id != nullptr) {
            *pin = candidate->AsPin();
            candidate->AsPin()->AddRef();
            return S_OK;
        }
    }
    *pin = nullptr;
    return VFW_E_NOT_FOUND;
}

HRESULT STDMETHODCALLTYPE D_CBaseFilter::QueryFilterInfo(FILTER_INFO* info)
{
    if (info == nullptr) return E_POINTER;
    StrmBase_Text_CopyBounded(info->achName, StrmBase_InfoNameCapacity, Name);
    info->pGraph = Graph;
    if (Graph != nullptr) Graph->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name)
{
    StrmBase_AutoLock lock(FilterLock);
    Graph = graph;
    EventSink = nullptr;
    if (graph != nullptr) {
        // Kept without a reference: the graph holds the filter, not the other way round.
        IMediaEventSink* sink = nullptr;
        if (SUCCEEDED(graph->QueryInterface(IID_IMediaEventSink, (void**)&sink)) && sink != nullptr) {
            EventSink = sink;
            sink->Release();
        }
    }
    Memory_Free(Name);
    Name = StrmBase_Text_Duplicate(name);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseFilter::QueryVendorInfo(LPWSTR* vendorInfo) { return E_NOTIMPL; }

// Runs one step with the system filter mapper in a multithreaded apartment of its own. COM is
// uninitialised only when this call initialised it (a thread already in another apartment keeps it).
static HRESULT StrmBase_WithFilterMapper(D_CBaseFilter* filter, HRESULT (*step)(D_CBaseFilter*, IFilterMapper*))
{
    HRESULT initialised = WinAPITable.CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IFilterMapper* mapper = nullptr;
    HRESULT hr = WinAPITable.CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper,
                                              (void**)&mapper);
    if (SUCCEEDED(hr) && mapper != nullptr) {
        hr = step(filter, mapper);
        mapper->Release();
    }
    WinAPITable.CoFreeUnusedLibraries();
    if (SUCCEEDED(initialised)) WinAPITable.CoUninitialize();
    return hr;
}

HRESULT STDMETHODCALLTYPE D_CBaseFilter::Register()
{
    if (GetSetupData() == nullptr) return S_FALSE;
    // The registration's own result is not passed on.
    StrmBase_WithFilterMapper(this, [](D_CBaseFilter* filter, IFilterMapper* mapper) {
        return StrmBase_RegisterFilterSetup(filter->GetSetupData(), mapper, TRUE);
    });
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseFilter::Unregister()
{
    if (GetSetupData() == nullptr) return S_FALSE;
    return StrmBase_WithFilterMapper(this, [](D_CBaseFilter* filter, IFilterMapper* mapper) {
        HRESULT hr = mapper->UnregisterFilter(filter->ClassId);
        return hr == StrmBase_FileNotFound ? S_OK : hr;
    });
}

HRESULT D_CBaseFilter::NotifyEvent(long code, LONG_PTR parameter1, LONG_PTR parameter2)
{
    IMediaEventSink* sink = EventSink;
    if (sink == nullptr) return E_NOTIMPL;
    return sink->Notify(code, parameter1, parameter2);
}

// ---- Pin base ----------------------------------------------------------------------------------------

D_CBasePin::D_CBasePin(const wchar_t* objectName, D_CBaseFilter* filter, D_CCritSec* lock, HRESULT* result,
                       const wchar_t* pinName, PIN_DIRECTION direction)
    : D_CUnknown(objectName, nullptr),
      PinName(nullptr),
      ConnectedPin(nullptr),
      Direction(direction),
      PinLock(lock),
      RunTimeError(0),
      CanReconnectWhenActive(0),
      TryMyTypesFirst(0),
      Filter(filter),
      QualitySink(nullptr),
      MediaTypeVersion(1),
      SegmentStart(0),
      SegmentStop(0x7FFFFFFFFFFFFFFFLL),
      SegmentRate(1.0)
{
    StrmBase_MediaType_Init(&ConnectionType);
    if (pinName != nullptr) {
        PinName = StrmBase_Text_Duplicate(pinName);
        if (PinName == nullptr && result != nullptr) *result = E_OUTOFMEMORY;
    }
}

D_CBasePin::~D_CBasePin()
{
    Memory_Free(PinName);
    if (ConnectedPin != nullptr) ConnectedPin->Release();
    StrmBase_MediaType_Destroy(&ConnectionType);
}

HRESULT STDMETHODCALLTYPE D_CBasePin::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IPin) return StrmBase_GetInterface(static_cast<D_IPin*>(this), object);
    if (iid == IID_IQualityControl) return StrmBase_GetInterface(static_cast<D_IQualityControl*>(this), object);
    return D_CUnknown::NonDelegatingQueryInterface(iid, object);
}

HRESULT STDMETHODCALLTYPE D_CBasePin::QueryInterface(REFIID iid, void** object)
{
    return GetOwner()->QueryInterface(iid, object);
}

ULONG STDMETHODCALLTYPE D_CBasePin::AddRef() { return Filter->AsBaseFilter()->AddRef(); }

ULONG STDMETHODCALLTYPE D_CBasePin::Release() { return Filter->AsBaseFilter()->Release(); }

LONG D_CBasePin::GetMediaTypeVersion() { return MediaTypeVersion; }

HRESULT D_CBasePin::Active() { return S_OK; }

HRESULT D_CBasePin::Inactive() { return S_OK; }

HRESULT D_CBasePin::Run(REFERENCE_TIME start) { return S_OK; }

HRESULT D_CBasePin::SetMediaType(const AM_MEDIA_TYPE* type)
{
    StrmBase_MediaType_Destroy(&ConnectionType);
    return StrmBase_MediaType_Copy(&ConnectionType, type);
}

HRESULT D_CBasePin::CheckConnect(D_IPin* pin) { return S_OK; }

HRESULT D_CBasePin::BreakConnect() { return S_OK; }

HRESULT D_CBasePin::CompleteConnect(D_IPin* receivePin) { return S_OK; }

HRESULT D_CBasePin::GetMediaType(int position, AM_MEDIA_TYPE* type) { return E_UNEXPECTED; }

HRESULT D_CBasePin::DisconnectInternal()
{
    if (ConnectedPin == nullptr) return S_FALSE;
    HRESULT hr = BreakConnect();
    if (FAILED(hr)) return hr;
    ConnectedPin->Release();
    ConnectedPin = nullptr;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBasePin::Connect(D_IPin* receivePin, const AM_MEDIA_TYPE* type)
{
    if (receivePin == nullptr) return E_POINTER;
    StrmBase_AutoLock lock(PinLock);
    if (ConnectedPin != nullptr) return VFW_E_ALREADY_CONNECTED;
    if (!IsFilterStopped() && !CanReconnectWhenActive) return VFW_E_NOT_STOPPED;
    HRESULT hr = AgreeMediaType(receivePin, type);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    return S_OK;
}

// A refusal of CheckMediaType that carries no reason of its own becomes the published refusal.
static HRESULT StrmBase_TypeRefusal(HRESULT hr)
{
    if (SUCCEEDED(hr) || hr == E_FAIL || hr == E_INVALIDARG) return VFW_E_TYPE_NOT_ACCEPTED;
    return hr;
}

HRESULT STDMETHODCALLTYPE D_CBasePin::ReceiveConnection(D_IPin* connector, const AM_MEDIA_TYPE* type)
{
    if (connector == nullptr || type == nullptr) return E_POINTER;
    StrmBase_AutoLock lock(PinLock);
    if (ConnectedPin != nullptr) return VFW_E_ALREADY_CONNECTED;
    if (!IsFilterStopped() && !CanReconnectWhenActive) return VFW_E_NOT_STOPPED;
    HRESULT hr = CheckConnect(connector);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    hr = CheckMediaType(type);
    if (hr != S_OK) {
        BreakConnect();
        return StrmBase_TypeRefusal(hr);
    }
    ConnectedPin = connector;
    ConnectedPin->AddRef();
    hr = SetMediaType(type);
    if (SUCCEEDED(hr)) {
        hr = CompleteConnect(connector);
        if (SUCCEEDED(hr)) return S_OK;
    }
    ConnectedPin->Release();
    ConnectedPin = nullptr;
    BreakConnect();
    return hr;
}

HRESULT STDMETHODCALLTYPE D_CBasePin::Disconnect()
{
    StrmBase_AutoLock lock(PinLock);
    if (!IsFilterStopped()) return VFW_E_NOT_STOPPED;
    return DisconnectInternal();
}

HRESULT STDMETHODCALLTYPE D_CBasePin::ConnectedTo(D_IPin** pin)
{
    if (pin == nullptr) return E_POINTER;
    D_IPin* peer = ConnectedPin;
    *pin = peer;
    if (peer == nullptr) return VFW_E_NOT_CONNECTED;
    peer->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* type)
{
    if (type == nullptr) return E_POINTER;
    StrmBase_AutoLock lock(PinLock);
    if (ConnectedPin != nullptr) return StrmBase_MediaType_Copy(type, &ConnectionType);
    StrmBase_MediaType_Init(type);
    return VFW_E_NOT_CONNECTED;
}

HRESULT STDMETHODCALLTYPE D_CBasePin::QueryPinInfo(PIN_INFO* info)
{
    if (info == nullptr) return E_POINTER;
    info->pFilter = StrmBase_AsIBaseFilter(Filter);
    if (Filter != nullptr) Filter->AsBaseFilter()->AddRef();
    StrmBase_Text_CopyBounded(info->achName, StrmBase_InfoNameCapacity, PinName);
    info->dir = Direction;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBasePin::QueryDirection(PIN_DIRECTION* direction)
{
    if (direction == nullptr) return E_POINTER;
    *direction = Direction;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBasePin::QueryId(LPWSTR* id) { return StrmBase_GetWideString(PinName, id); }

HRESULT STDMETHODCALLTYPE D_CBasePin::QueryAccept(const AM_MEDIA_TYPE* type)
{
    HRESULT hr = CheckMediaType(type);
    if (FAILED(hr)) return S_FALSE;
    return hr;
}

HRESULT STDMETHODCALLTYPE D_CBasePin::EnumMediaTypes(D_IEnumMediaTypes** types)
{
    if (types == nullptr) return E_POINTER;
    D_CEnumMediaTypes* enumerator = new (__FILE__, __LINE__) D_CEnumMediaTypes(this, nullptr);
    *types = enumerator;
    return enumerator != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE D_CBasePin::QueryInternalConnections(D_IPin** pins, ULONG* count) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE D_CBasePin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    SegmentStart = start;
    SegmentStop = stop;
    SegmentRate = rate;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBasePin::Notify(D_IBaseFilter* sender, Quality quality)
{
    return sender != nullptr ? S_OK : E_POINTER;
}

HRESULT STDMETHODCALLTYPE D_CBasePin::SetSink(D_IQualityControl* sink)
{
    StrmBase_AutoLock lock(PinLock);
    QualitySink = sink;
    return S_OK;
}

static BOOL StrmBase_IsPlainRefusal(HRESULT hr)
{
    return hr == E_FAIL || hr == E_INVALIDARG || hr == VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT D_CBasePin::AgreeMediaType(D_IPin* receivePin, const AM_MEDIA_TYPE* type)
{
    if (type != nullptr && !StrmBase_MediaType_IsPartiallySpecified(type)) return AttemptConnection(receivePin, type);
    HRESULT error = VFW_E_NO_ACCEPTABLE_TYPES;
    for (int attempt = 0; attempt < 2; attempt++) {
        // The receiving pin's types first unless this pin asks to go first.
        BOOL theirs = (attempt == 0) != (TryMyTypesFirst != 0);
        D_IEnumMediaTypes* types = nullptr;
        HRESULT hr = theirs ? receivePin->EnumMediaTypes(&types) : AsPin()->EnumMediaTypes(&types);
        if (FAILED(hr) || types == nullptr) continue;
        hr = TryMediaTypes(receivePin, type, types);
        types->Release();
        if (SUCCEEDED(hr)) return S_OK;
        if (!StrmBase_IsPlainRefusal(hr)) error = hr;
    }
    return error;
}

HRESULT D_CBasePin::TryMediaTypes(D_IPin* receivePin, const AM_MEDIA_TYPE* partial, D_IEnumMediaTypes* types)
{
    HRESULT hr = types->Reset();
    if (FAILED(hr)) return hr;
    HRESULT firstError = S_OK;
    for (;;) {
        AM_MEDIA_TYPE* candidate = nullptr;
        ULONG fetched = 0;
        hr = types->Next(1, &candidate, &fetched);
        if (hr != S_OK || fetched != 1 || candidate == nullptr) {
            if (candidate != nullptr) StrmBase_MediaType_Delete(candidate);
            break;
        }
        hr = VFW_E_NO_ACCEPTABLE_TYPES;
        if (partial == nullptr || StrmBase_MediaType_MatchesPartial(candidate, partial))
            hr = AttemptConnection(receivePin, candidate);
        StrmBase_MediaType_Delete(candidate);
        if (hr == S_OK) return S_OK;
        if (FAILED(hr) && firstError == S_OK && !StrmBase_IsPlainRefusal(hr) && hr != VFW_E_NO_ACCEPTABLE_TYPES)
            firstError = hr;
    }
    return firstError != S_OK ? firstError : VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT D_CBasePin::AttemptConnection(D_IPin* receivePin, const AM_MEDIA_TYPE* type)
{
    HRESULT hr = CheckConnect(receivePin);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    hr = CheckMediaType(type);
    if (hr == S_OK) {
        ConnectedPin = receivePin;
        ConnectedPin->AddRef();
        hr = SetMediaType(type);
        if (SUCCEEDED(hr)) {
            hr = receivePin->ReceiveConnection(AsPin(), type);
            if (SUCCEEDED(hr)) {
                hr = CompleteConnect(receivePin);
                if (SUCCEEDED(hr)) return hr;
                receivePin->Disconnect();
            }
        }
    } else {
        hr = StrmBase_TypeRefusal(hr);
    }
    BreakConnect();
    if (ConnectedPin != nullptr) {
        ConnectedPin->Release();
        ConnectedPin = nullptr;
    }
    return hr;
}

// ---- Input pin base ----------------------------------------------------------------------------------

D_CBaseInputPin::D_CBaseInputPin(const wchar_t* objectName, D_CBaseFilter* filter, D_CCritSec* lock,
                                 HRESULT* result, const wchar_t* pinName)
    : D_CBasePin(objectName, filter, lock, result, pinName, PINDIR_INPUT),
      Allocator(nullptr),
      ReadOnly(0),
      Flushing(0),
      OwnsSampleType(0)
{
    memset(&SampleProps, 0, sizeof(SampleProps));
}

D_CBaseInputPin::~D_CBaseInputPin()
{
    if (Allocator != nullptr) Allocator->Release();
    if (OwnsSampleType) StrmBase_MediaType_Delete(SampleProps.pMediaType);
}

HRESULT STDMETHODCALLTYPE D_CBaseInputPin::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IMemInputPin) return StrmBase_GetInterface(static_cast<D_IMemInputPin*>(this), object);
    return D_CBasePin::NonDelegatingQueryInterface(iid, object);
}

HRESULT STDMETHODCALLTYPE D_CBaseInputPin::QueryInterface(REFIID iid, void** object)
{
    return D_CBasePin::QueryInterface(iid, object);
}

ULONG STDMETHODCALLTYPE D_CBaseInputPin::AddRef() { return D_CBasePin::AddRef(); }

ULONG STDMETHODCALLTYPE D_CBaseInputPin::Release() { return D_CBasePin::Release(); }

HRESULT D_CBaseInputPin::CheckStreaming()
{
    if (IsFilterStopped()) return VFW_E_WRONG_STATE;
    if (Flushing) return S_FALSE;
    if (RunTimeError) return VFW_E_RUNTIME_ERROR;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseInputPin::GetAllocator(D_IMemAllocator** allocator)
{
    if (allocator == nullptr) return E_POINTER;
    StrmBase_AutoLock lock(PinLock);
    if (Allocator == nullptr) {
        HRESULT hr = WinAPITable.CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                                  IID_IMemAllocator, (void**)&Allocator);
        if (FAILED(hr)) {
            Allocator = nullptr;
            *allocator = nullptr;
            return hr;
        }
    }
    *allocator = Allocator;
    Allocator->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseInputPin::NotifyAllocator(D_IMemAllocator* allocator, BOOL readOnly)
{
    if (allocator == nullptr) return E_POINTER;
    StrmBase_AutoLock lock(PinLock);
    allocator->AddRef();
    if (Allocator != nullptr) Allocator->Release();
    Allocator = allocator;
    ReadOnly = readOnly ? 1 : 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE D_CBaseInputPin::Receive(D_IMediaSample* sample)
{
    if (sample == nullptr) return E_POINTER;
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;

    if (OwnsSampleType) {
        StrmBase_MediaType_Delete(SampleProps.pMediaType);
        OwnsSampleType = 0;
    }
    memset(&SampleProps, 0, sizeof(SampleProps));
    D_IMediaSample2* sample2 = nullptr;
    if (SUCCEEDED(sample->QueryInterface(IID_IMediaSample2, (void**)&sample2)) && sample2 != nullptr) {
        hr = sample2->GetProperties(sizeof(SampleProps), (BYTE*)&SampleProps);
        sample2->Release();
        if (FAILED(hr)) return hr;
    } else {
        SampleProps.cbData = sizeof(SampleProps);
        SampleProps.dwTypeSpecificFlags = 0;
        SampleProps.dwStreamId = AM_STREAM_MEDIA;
        SampleProps.dwSampleFlags = 0;
        if (sample->IsDiscontinuity() == S_OK) SampleProps.dwSampleFlags |= StrmBase_Sample_Discontinuity;
        if (sample->IsPreroll() == S_OK) SampleProps.dwSampleFlags |= StrmBase_Sample_Preroll;
        if (sample->IsSyncPoint() == S_OK) SampleProps.dwSampleFlags |= StrmBase_Sample_SyncPoint;
        if (SUCCEEDED(sample->GetTime(&SampleProps.tStart, &SampleProps.tStop)))
            SampleProps.dwSampleFlags |= StrmBase_Sample_TimeValid | StrmBase_Sample_StopValid;
        AM_MEDIA_TYPE* type = nullptr;
        if (sample->GetMediaType(&type) == S_OK) {
            SampleProps.dwSampleFlags |= StrmBase_Sample_TypeChanged;
            SampleProps.pMediaType = type;
            OwnsSampleType = type != nullptr;
        } else if (type != nullptr) {
            StrmBase_MediaType_Delete(type);
        }
        sample->GetPointer(&SampleProps.pbBuffer);
        SampleProps.lActual = sample->GetActualDataLength();
        SampleProps.cbBuffer = sample->GetSize();
    }

    if ((SampleProps.dwSampleFlags & StrmBase_Sample_TypeChanged) != 0) {
        hr = SampleProps.pMediaType != nullptr ? CheckMediaType(SampleProps.pMediaType) : E_POINTER;
        if (hr != S_OK) {
            RunTimeError = 1;
            EndOfStream();
            Filter->NotifyEvent(EC_ERRORABORT, VFW_E_TYPE_NOT_ACCEPTED, 0);
            return VFW_E_INVALIDMEDIATYPE;
        }
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseInputPin::ReceiveMultiple(D_IMediaSample** samples, long count, long* processed)
{
    if (samples == nullptr) return E_POINTER;
    HRESULT hr = S_OK;
    long done = 0;
    for (long i = 0; i < count; i++) {
        hr = Receive(samples[i]);
        if (hr != S_OK) break;
        done++;
    }
    if (processed != nullptr) *processed = done;
    return hr;
}

HRESULT STDMETHODCALLTYPE D_CBaseInputPin::ReceiveCanBlock()
{
    int count = Filter->GetPinCount();
    BOOL anyOutput = FALSE;
    for (int i = 0; i < count; i++) {
        D_CBasePin* pin = Filter->GetPin(i);
        if (pin == nullptr) continue;
        PIN_DIRECTION direction;
        HRESULT hr = pin->AsPin()->QueryDirection(&direction);
        if (FAILED(hr)) return hr;
        if (direction != PINDIR_OUTPUT) continue;
        D_IPin* peer = nullptr;
        if (FAILED(pin->AsPin()->ConnectedTo(&peer)) || peer == nullptr) continue;
        anyOutput = TRUE;
        D_IMemInputPin* input = nullptr;
        hr = peer->QueryInterface(IID_IMemInputPin, (void**)&input);
        peer->Release();
        if (FAILED(hr) || input == nullptr) return S_OK;
        hr = input->ReceiveCanBlock();
        input->Release();
        if (hr != S_FALSE) return S_OK;
    }
    return anyOutput ? S_FALSE : S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseInputPin::BeginFlush()
{
    StrmBase_AutoLock lock(PinLock);
    Flushing = 1;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseInputPin::EndFlush()
{
    StrmBase_AutoLock lock(PinLock);
    Flushing = 0;
    RunTimeError = 0;
    return S_OK;
}

// ---- Output pin base ---------------------------------------------------------------------------------

D_CBaseOutputPin::D_CBaseOutputPin(const wchar_t* objectName, D_CBaseFilter* filter, D_CCritSec* lock,
                                   HRESULT* result, const wchar_t* pinName)
    : D_CBasePin(objectName, filter, lock, result, pinName, PINDIR_OUTPUT), Allocator(nullptr), InputPin(nullptr)
{
}

D_CBaseOutputPin::~D_CBaseOutputPin()
{
    if (Allocator != nullptr) Allocator->Release();
    if (InputPin != nullptr) InputPin->Release();
}

HRESULT D_CBaseOutputPin::CheckConnect(D_IPin* pin)
{
    PIN_DIRECTION direction;
    HRESULT hr = pin->QueryDirection(&direction);
    if (FAILED(hr)) return hr;
    if (direction == Direction) return VFW_E_INVALID_DIRECTION;
    D_IMemInputPin* input = nullptr;
    hr = pin->QueryInterface(IID_IMemInputPin, (void**)&input);
    if (FAILED(hr)) return hr;
    if (InputPin != nullptr) InputPin->Release();
    InputPin = input;
    return S_OK;
}

HRESULT D_CBaseOutputPin::BreakConnect()
{
    if (Allocator != nullptr) {
        HRESULT hr = Allocator->Decommit();
        if (FAILED(hr)) return hr;
        Allocator->Release();
        Allocator = nullptr;
    }
    if (InputPin != nullptr) {
        InputPin->Release();
        InputPin = nullptr;
    }
    return S_OK;
}

HRESULT D_CBaseOutputPin::CompleteConnect(D_IPin* receivePin)
{
    if (InputPin == nullptr) return E_UNEXPECTED;
    return DecideAllocator(InputPin, &Allocator);
}

HRESULT D_CBaseOutputPin::Active()
{
    if (Allocator == nullptr) return VFW_E_NO_ALLOCATOR;
    return Allocator->Commit();
}

HRESULT D_CBaseOutputPin::Inactive()
{
    RunTimeError = 0;
    if (Allocator == nullptr) return VFW_E_NO_ALLOCATOR;
    return Allocator->Decommit();
}

HRESULT D_CBaseOutputPin::DecideAllocator(D_IMemInputPin* pin, D_IMemAllocator** allocator)
{
    if (pin == nullptr || allocator == nullptr) return E_POINTER;
    if (*allocator != nullptr) {
        (*allocator)->Release();
        *allocator = nullptr;
    }
    ALLOCATOR_PROPERTIES properties;
    memset(&properties, 0, sizeof(properties));
    pin->GetAllocatorRequirements(&properties);
    if (properties.cbAlign == 0) properties.cbAlign = 1;

    // The downstream pin's allocator first, then one of our own.
    HRESULT hr = S_OK;
    for (int attempt = 0; attempt < 2; attempt++) {
        hr = attempt == 0 ? pin->GetAllocator(allocator) : InitAllocator(allocator);
        if (SUCCEEDED(hr) && *allocator == nullptr) hr = E_FAIL;
        if (SUCCEEDED(hr)) {
            hr = DecideBufferSize(*allocator, &properties);
            if (SUCCEEDED(hr)) hr = pin->NotifyAllocator(*allocator, FALSE);
            if (SUCCEEDED(hr)) return S_OK;
        }
        if (*allocator != nullptr) {
            (*allocator)->Release();
            *allocator = nullptr;
        }
    }
    return hr;
}

HRESULT D_CBaseOutputPin::GetDeliveryBuffer(D_IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                            DWORD flags)
{
    if (Allocator == nullptr) return E_NOINTERFACE;
    return Allocator->GetBuffer(sample, start, stop, flags);
}

HRESULT D_CBaseOutputPin::Deliver(D_IMediaSample* sample)
{
    if (InputPin == nullptr) return VFW_E_NOT_CONNECTED;
    return InputPin->Receive(sample);
}

HRESULT D_CBaseOutputPin::InitAllocator(D_IMemAllocator** allocator)
{
    return WinAPITable.CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                        (void**)allocator);
}

HRESULT D_CBaseOutputPin::DeliverEndOfStream()
{
    if (ConnectedPin == nullptr) return VFW_E_NOT_CONNECTED;
    return ConnectedPin->EndOfStream();
}

HRESULT D_CBaseOutputPin::DeliverBeginFlush()
{
    if (ConnectedPin == nullptr) return VFW_E_NOT_CONNECTED;
    return ConnectedPin->BeginFlush();
}

HRESULT D_CBaseOutputPin::DeliverEndFlush()
{
    if (ConnectedPin == nullptr) return VFW_E_NOT_CONNECTED;
    return ConnectedPin->EndFlush();
}

HRESULT D_CBaseOutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    if (ConnectedPin == nullptr) return VFW_E_NOT_CONNECTED;
    return ConnectedPin->NewSegment(start, stop, rate);
}

HRESULT STDMETHODCALLTYPE D_CBaseOutputPin::EndOfStream() { return E_UNEXPECTED; }

HRESULT STDMETHODCALLTYPE D_CBaseOutputPin::BeginFlush() { return E_UNEXPECTED; }

HRESULT STDMETHODCALLTYPE D_CBaseOutputPin::EndFlush() { return E_UNEXPECTED; }

}  // namespace Vantrel
