// VtUseCStrmBaseFilterDecl: the COM and DirectShow interfaces the library's DirectShow classes
// implement and call, declared in their published method order (a table laid out like the system's,
// so that the filter graph manager and the system's filters can call our objects and we theirs).
// The platform's own records, GUIDs and result codes come from the compiler's DirectShow headers.
#pragma once

#include <dshow.h>
#include <oleauto.h>

namespace Vantrel {

struct D_IPin;
struct D_IEnumPins;
struct D_IEnumMediaTypes;
struct D_IMemAllocator;
struct D_IMediaSample;
struct D_IBaseFilter;
struct D_IQualityControl;

struct D_IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};

struct D_IPersist : public D_IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetClassID(CLSID* classId) = 0;
};

struct D_IMediaFilter : public D_IPersist {
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
    virtual HRESULT STDMETHODCALLTYPE Pause() = 0;
    virtual HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetState(DWORD timeout, FILTER_STATE* state) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) = 0;
};

struct D_IBaseFilter : public D_IMediaFilter {
    virtual HRESULT STDMETHODCALLTYPE EnumPins(D_IEnumPins** pins) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, D_IPin** pin) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) = 0;
    virtual HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* vendorInfo) = 0;
};

struct D_IAMovieSetup : public D_IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Register() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unregister() = 0;
};

struct D_IPin : public D_IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Connect(D_IPin* receivePin, const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReceiveConnection(D_IPin* connector, const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT STDMETHODCALLTYPE Disconnect() = 0;
    virtual HRESULT STDMETHODCALLTYPE ConnectedTo(D_IPin** pin) = 0;
    virtual HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumMediaTypes(D_IEnumMediaTypes** types) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryInternalConnections(D_IPin** pins, ULONG* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE EndOfStream() = 0;
    virtual HRESULT STDMETHODCALLTYPE BeginFlush() = 0;
    virtual HRESULT STDMETHODCALLTYPE EndFlush() = 0;
    virtual HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) = 0;
};

struct D_IMediaSample : public D_IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetPointer(BYTE** buffer) = 0;
    virtual long STDMETHODCALLTYPE GetSize() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsSyncPoint() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL syncPoint) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsPreroll() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPreroll(BOOL preroll) = 0;
    virtual long STDMETHODCALLTYPE GetActualDataLength() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetActualDataLength(long length) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE** type) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsDiscontinuity() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL discontinuity) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG* start, LONGLONG* stop) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG* start, LONGLONG* stop) = 0;
};

struct D_IMediaSample2 : public D_IMediaSample {
    virtual HRESULT STDMETHODCALLTYPE GetProperties(DWORD size, BYTE* properties) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetProperties(DWORD size, const BYTE* properties) = 0;
};

struct D_IMemAllocator : public D_IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetProperties(ALLOCATOR_PROPERTIES* properties) = 0;
    virtual HRESULT STDMETHODCALLTYPE Commit() = 0;
    virtual HRESULT STDMETHODCALLTYPE Decommit() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBuffer(D_IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                                DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReleaseBuffer(D_IMediaSample* sample) = 0;
};

struct D_IMemAllocatorCallbackTemp : public D_IMemAllocator {
    virtual HRESULT STDMETHODCALLTYPE SetNotify(IMemAllocatorNotifyCallbackTemp* notify) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFreeCount(LONG* freeCount) = 0;
};

struct D_IMemInputPin : public D_IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetAllocator(D_IMemAllocator** allocator) = 0;
    virtual HRESULT STDMETHODCALLTYPE NotifyAllocator(D_IMemAllocator* allocator, BOOL readOnly) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) = 0;
    virtual HRESULT STDMETHODCALLTYPE Receive(D_IMediaSample* sample) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReceiveMultiple(D_IMediaSample** samples, long count, long* processed) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReceiveCanBlock() = 0;
};

struct D_IQualityControl : public D_IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Notify(D_IBaseFilter* sender, Quality quality) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSink(D_IQualityControl* sink) = 0;
};

struct D_IQualProp : public D_IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_FramesDroppedInRenderer(int* frames) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_FramesDrawn(int* frames) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_AvgFrameRate(int* rate) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Jitter(int* jitter) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_AvgSyncOffset(int* offset) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DevSyncOffset(int* deviation) = 0;
};

struct D_IMediaSeeking : public D_IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* capabilities) = 0;
    virtual HRESULT STDMETHODCALLTYPE CheckCapabilities(DWORD* capabilities) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsFormatSupported(const GUID* format) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryPreferredFormat(GUID* format) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTimeFormat(GUID* format) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsUsingTimeFormat(const GUID* format) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetTimeFormat(const GUID* format) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* duration) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStopPosition(LONGLONG* stop) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG* current) = 0;
    virtual HRESULT STDMETHODCALLTYPE ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                                        const GUID* sourceFormat) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                                   DWORD stopFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPositions(LONGLONG* current, LONGLONG* stop) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAvailable(LONGLONG* earliest, LONGLONG* latest) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRate(double rate) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRate(double* rate) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPreroll(LONGLONG* preroll) = 0;
};

struct D_IDispatch : public D_IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** typeInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                                    DISPID* ids) = 0;
    virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                             VARIANT* result, EXCEPINFO* exception, UINT* argumentError) = 0;
};

struct D_IMediaPosition : public D_IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Duration(REFTIME* length) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_CurrentPosition(REFTIME time) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CurrentPosition(REFTIME* time) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_StopTime(REFTIME* time) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_StopTime(REFTIME time) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_PrerollTime(REFTIME* time) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_PrerollTime(REFTIME time) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Rate(double rate) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Rate(double* rate) = 0;
    virtual HRESULT STDMETHODCALLTYPE CanSeekForward(LONG* canSeek) = 0;
    virtual HRESULT STDMETHODCALLTYPE CanSeekBackward(LONG* canSeek) = 0;
};

struct D_IEnumPins : public D_IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG count, D_IPin** pins, ULONG* fetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG count) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(D_IEnumPins** clone) = 0;
};

struct D_IEnumMediaTypes : public D_IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG count) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(D_IEnumMediaTypes** clone) = 0;
};

struct D_IAsyncReader : public D_IUnknown {
    virtual HRESULT STDMETHODCALLTYPE RequestAllocator(D_IMemAllocator* preferred, ALLOCATOR_PROPERTIES* properties,
                                                       D_IMemAllocator** actual) = 0;
    virtual HRESULT STDMETHODCALLTYPE Request(D_IMediaSample* sample, DWORD_PTR user) = 0;
    virtual HRESULT STDMETHODCALLTYPE WaitForNext(DWORD timeout, D_IMediaSample** sample, DWORD_PTR* user) = 0;
    virtual HRESULT STDMETHODCALLTYPE SyncReadAligned(D_IMediaSample* sample) = 0;
    virtual HRESULT STDMETHODCALLTYPE SyncRead(LONGLONG position, LONG length, BYTE* buffer) = 0;
    virtual HRESULT STDMETHODCALLTYPE Length(LONGLONG* total, LONGLONG* available) = 0;
    virtual HRESULT STDMETHODCALLTYPE BeginFlush() = 0;
    virtual HRESULT STDMETHODCALLTYPE EndFlush() = 0;
};

// The sample grabber's own control interface (the library's, not the system's).
// {6B652FFF-11FE-4FCE-92AD-0266B5D7C78F}
extern const IID IID_D_IGrabberSample;

// The function the grabber hands every sample to: (sample, start time, stop time, the media type
// changed since the last call, user value) -> the result the grabber passes upstream.
typedef HRESULT (*StrmBase_SampleCallback)(D_IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                           BOOL typeChanged, void* user);

struct D_IGrabberSample : public D_IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetAcceptedMediaType(const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetConnectedMediaType(AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCallback(StrmBase_SampleCallback callback, void* user) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDeliveryBuffer(ALLOCATOR_PROPERTIES properties, BYTE* buffer) = 0;
};

}  // namespace Vantrel
