// VtUseCStrmBaseFilterSeeking: seeking requests passed upstream: the pass-through that answers
// IMediaSeeking and IMediaPosition for a filter by asking the pin its input is connected to, its
// renderer form that knows the media time being shown, and the system's pass-through object.
#include "movie/directshow/VtUseCStrmBaseFilter.h"
#include "movie/directshow/VtUseCStrmBaseFilterInternal.h"

namespace Vantrel {

// ---- IDispatch half of IMediaPosition ----------------------------------------------------------------

D_CMediaPosition::D_CMediaPosition() { Dispatch.TypeInfo = nullptr; }

D_CMediaPosition::~D_CMediaPosition() { StrmBase_Dispatch_Release(&Dispatch); }

HRESULT STDMETHODCALLTYPE D_CMediaPosition::GetTypeInfoCount(UINT* count)
{
    if (count == nullptr) return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CMediaPosition::GetTypeInfo(UINT index, LCID locale, ITypeInfo** typeInfo)
{
    return StrmBase_Dispatch_GetTypeInfo(&Dispatch, IID_IMediaPosition, index, locale, typeInfo);
}

HRESULT STDMETHODCALLTYPE D_CMediaPosition::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                                          DISPID* ids)
{
    return StrmBase_Dispatch_GetIDsOfNames(&Dispatch, IID_IMediaPosition, names, count, locale, ids);
}

HRESULT STDMETHODCALLTYPE D_CMediaPosition::Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                                   DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                                   UINT* argumentError)
{
    if (iid != GUID_NULL) return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo* info = nullptr;
    HRESULT hr = GetTypeInfo(0, locale, &info);
    if (FAILED(hr)) return hr;
    hr = info->Invoke(static_cast<D_IMediaPosition*>(this), id, flags, parameters, result, exception, argumentError);
    info->Release();
    return hr;
}

// ---- Pass-through ------------------------------------------------------------------------------------

D_CPosPassThru::D_CPosPassThru(const wchar_t* objectName, D_IUnknown* outer, HRESULT* result, D_IPin* inputPin)
    : D_CMediaPosition(), D_CUnknown(objectName, outer), InputPin(inputPin)
{
    if (inputPin == nullptr && result != nullptr) *result = E_POINTER;
}

D_CPosPassThru::~D_CPosPassThru() {}

HRESULT STDMETHODCALLTYPE D_CPosPassThru::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IMediaSeeking) return StrmBase_GetInterface(static_cast<D_IMediaSeeking*>(this), object);
    if (iid == IID_IMediaPosition) return StrmBase_GetInterface(static_cast<D_IMediaPosition*>(this), object);
    return D_CUnknown::NonDelegatingQueryInterface(iid, object);
}

HRESULT STDMETHODCALLTYPE D_CPosPassThru::QueryInterface(REFIID iid, void** object)
{
    return GetOwner()->QueryInterface(iid, object);
}

ULONG STDMETHODCALLTYPE D_CPosPassThru::AddRef() { return GetOwner()->AddRef(); }

ULONG STDMETHODCALLTYPE D_CPosPassThru::Release() { return GetOwner()->Release(); }

HRESULT D_CPosPassThru::GetPeerSeeking(D_IMediaSeeking** seeking)
{
    *seeking = nullptr;
    if (InputPin == nullptr) return E_NOTIMPL;
    D_IPin* peer = nullptr;
    HRESULT hr = InputPin->ConnectedTo(&peer);
    if (FAILED(hr) || peer == nullptr) return E_NOTIMPL;
    hr = peer->QueryInterface(IID_IMediaSeeking, (void**)seeking);
    peer->Release();
    if (FAILED(hr) || *seeking == nullptr) {
        *seeking = nullptr;
        return E_NOTIMPL;
    }
    return S_OK;
}

HRESULT D_CPosPassThru::GetPeerPosition(D_IMediaPosition** position)
{
    *position = nullptr;
    if (InputPin == nullptr) return E_NOTIMPL;
    D_IPin* peer = nullptr;
    HRESULT hr = InputPin->ConnectedTo(&peer);
    if (FAILED(hr) || peer == nullptr) return E_NOTIMPL;
    hr = peer->QueryInterface(IID_IMediaPosition, (void**)position);
    peer->Release();
    if (FAILED(hr) || *position == nullptr) {
        *position = nullptr;
        return E_NOTIMPL;
    }
    return S_OK;
}

// One forwarded call: the same method on the upstream pin's interface.
#define VT_STRMBASE_FORWARD(getter, type, call)                                                          \
    type* peer = nullptr;                                                                               \
    HRESULT hr = getter(&peer);                                                                         \
    if (FAILED(hr)) return hr;                                                                          \
    hr = peer->call;                                                                                    \
    peer->Release();                                                                                    \
    return hr;
#define VT_STRMBASE_FORWARD_SEEKING(call) VT_STRMBASE_FORWARD(GetPeerSeeking, D_IMediaSeeking, call)
#define VT_STRMBASE_FORWARD_POSITION(call) VT_STRMBASE_FORWARD(GetPeerPosition, D_IMediaPosition, call)

HRESULT STDMETHODCALLTYPE D_CPosPassThru::GetCapabilities(DWORD* capabilities)
{
    VT_STRMBASE_FORWARD_SEEKING(GetCapabilities(capabilities))
}

HRESULT STDMETHODCALLTYPE D_CPosPassThru::CheckCapabilities(DWORD* capabilities)
{
    VT_STRMBASE_FORWARD_SEEKING(CheckCapabilities(capabilities))
}

HRESULT STDMETHODCALLTYPE D_CPosPassThru::IsFormatSupported(const GUID* format)
{
    VT_STRMBASE_FORWARD_SEEKING(IsFormatSupported(format))
}

HRESULT STDMETHODCALLTYPE D_CPosPassThru::QueryPreferredFormat(GUID* format)
{
    VT_STRMBASE_FORWARD_SEEKING(QueryPreferredFormat(format))
}

HRESULT STDMETHODCALLTYPE D_CPosPassThru::GetTimeFormat(GUID* format) { VT_STRMBASE_FORWARD_SEEKING(GetTimeFormat(format)) }

HRESULT STDMETHODCALLTYPE D_CPosPassThru::IsUsingTimeFormat(const GUID* format)
{
    VT_STRMBASE_FORWARD_SEEKING(IsUsingTimeFormat(format))
}

HRESULT STDMETHODCALLTYPE D_CPosPassThru::SetTimeFormat(const GUID* format) { VT_STRMBASE_FORWARD_SEEKING(SetTimeFormat(format)) }

HRESULT STDMETHODCALLTYPE D_CPosPassThru::GetDuration(LONGLONG* duration) { VT_STRMBASE_FORWARD_SEEKING(GetDuration(duration)) }

HRESULT STDMETHODCALLTYPE D_CPosPassThru::GetStopPosition(LONGLONG* stop) { VT_STRMBASE_FORWARD_SEEKING(GetStopPosition(stop)) }

HRESULT STDMETHODCALLTYPE D_CPosPassThru::GetCurrentPosition(LONGLONG* current)
{
    HRESULT local = GetMediaTime(current, nullptr);
    if (SUCCEEDED(local)) return local;
    VT_STRMBASE_FORWARD_SEEKING(GetCurrentPosition(current))
}

HRESULT STDMETHODCALLTYPE D_CPosPassThru::ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                                            const GUID* sourceFormat)
{
    VT_STRMBASE_FORWARD_SEEKING(ConvertTimeFormat(target, targetFormat, source, sourceFormat))
}

HRESULT STDMETHODCALLTYPE D_CPosPassThru::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                                       DWORD stopFlags)
{
    VT_STRMBASE_FORWARD_SEEKING(SetPositions(current, currentFlags, stop, stopFlags))
}

HRESULT STDMETHODCALLTYPE D_CPosPassThru::GetPositions(LONGLONG* current, LONGLONG* stop)
{
    VT_STRMBASE_FORWARD_SEEKING(GetPositions(current, stop))
}

HRESULT STDMETHODCALLTYPE D_CPosPassThru::GetAvailable(LONGLONG* earliest, LONGLONG* latest)
{
    VT_STRMBASE_FORWARD_SEEKING(GetAvailable(earliest, latest))
}

HRESULT STDMETHODCALLTYPE D_CPosPassThru::SetRate(double rate)
{
    if (rate == 0.0) return E_INVALIDARG;
    VT_STRMBASE_FORWARD_SEEKING(SetRate(rate))
}

HRESULT STDMETHODCALLTYPE D_CPosPassThru::GetRate(double* rate) { VT_STRMBASE_FORWARD_SEEKING(GetRate(rate)) }

HRESULT STDMETHODCALLTYPE D_CPosPassThru::GetPreroll(LONGLONG* preroll) { VT_STRMBASE_FORWARD_SEEKING(GetPreroll(preroll)) }

HRESULT D_CPosPassThru::GetMediaTime(LONGLONG* current, LONGLONG* stop) { return E_FAIL; }

HRESULT STDMETHODCALLTYPE D_CPosPassThru::get_Duration(REFTIME* length) { VT_STRMBASE_FORWARD_POSITION(get_Duration(length)) }

HRESULT STDMETHODCALLTYPE D_CPosPassThru::put_CurrentPosition(REFTIME time)
{
    VT_STRMBASE_FORWARD_POSITION(put_CurrentPosition(time))
}

HRESULT STDMETHODCALLTYPE D_CPosPassThru::get_CurrentPosition(REFTIME* time)
{
    VT_STRMBASE_FORWARD_POSITION(get_CurrentPosition(time))
}

HRESULT STDMETHODCALLTYPE D_CPosPassThru::get_StopTime(REFTIME* time) { VT_STRMBASE_FORWARD_POSITION(get_StopTime(time)) }

HRESULT STDMETHODCALLTYPE D_CPosPassThru::put_StopTime(REFTIME time) { VT_STRMBASE_FORWARD_POSITION(put_StopTime(time)) }

HRESULT STDMETHODCALLTYPE D_CPosPassThru::get_PrerollTime(REFTIME* time)
{
    VT_STRMBASE_FORWARD_POSITION(get_PrerollTime(time))
}

HRESULT STDMETHODCALLTYPE D_CPosPassThru::put_PrerollTime(REFTIME time)
{
    VT_STRMBASE_FORWARD_POSITION(put_PrerollTime(time))
}

HRESULT STDMETHODCALLTYPE D_CPosPassThru::put_Rate(double rate)
{
    if (rate == 0.0) return E_INVALIDARG;
    VT_STRMBASE_FORWARD_POSITION(put_Rate(rate))
}

HRESULT STDMETHODCALLTYPE D_CPosPassThru::get_Rate(double* rate) { VT_STRMBASE_FORWARD_POSITION(get_Rate(rate)) }

HRESULT STDMETHODCALLTYPE D_CPosPassThru::CanSeekForward(LONG* canSeek)
{
    VT_STRMBASE_FORWARD_POSITION(CanSeekForward(canSeek))
}

HRESULT STDMETHODCALLTYPE D_CPosPassThru::CanSeekBackward(LONG* canSeek)
{
    VT_STRMBASE_FORWARD_POSITION(CanSeekBackward(canSeek))
}

// ---- Renderer form -----------------------------------------------------------------------------------

D_CRendererPosPassThru::D_CRendererPosPassThru(const wchar_t* objectName, D_IUnknown* outer, HRESULT* result,
                                               D_IPin* inputPin)
    : D_CPosPassThru(objectName, outer, result, inputPin), StartMedia(0), StopMedia(0), NoMediaTime(1)
{
}

HRESULT D_CRendererPosPassThru::GetMediaTime(LONGLONG* current, LONGLONG* stop)
{
    StrmBase_AutoLock lock(&PositionLock);
    if (NoMediaTime) return E_FAIL;
    HRESULT hr = ConvertTimeFormat(current, nullptr, StartMedia, &TIME_FORMAT_MEDIA_TIME);
    if (stop != nullptr && SUCCEEDED(hr)) hr = ConvertTimeFormat(stop, nullptr, StopMedia, &TIME_FORMAT_MEDIA_TIME);
    return hr;
}

HRESULT D_CRendererPosPassThru::RegisterMediaTime(D_IMediaSample* sample)
{
    if (sample == nullptr) return E_POINTER;
    LONGLONG start = 0;
    LONGLONG stop = 0;
    HRESULT hr = sample->GetMediaTime(&start, &stop);
    if (FAILED(hr)) return hr;
    return RegisterMediaTime(start, stop);
}

HRESULT D_CRendererPosPassThru::RegisterMediaTime(LONGLONG start, LONGLONG stop)
{
    StrmBase_AutoLock lock(&PositionLock);
    StartMedia = start;
    StopMedia = stop;
    NoMediaTime = 0;
    return S_OK;
}

HRESULT D_CRendererPosPassThru::ResetMediaTime()
{
    StrmBase_AutoLock lock(&PositionLock);
    StartMedia = 0;
    StopMedia = 0;
    NoMediaTime = 1;
    return S_OK;
}

HRESULT D_CRendererPosPassThru::EOS()
{
    StrmBase_AutoLock lock(&PositionLock);
    if (NoMediaTime) return E_FAIL;
    StartMedia = StopMedia;
    return S_OK;
}

// ---- The system's pass-through object ----------------------------------------------------------------

HRESULT StrmBase_CreateSeekingPassThru(IUnknown* outer, BOOL renderer, D_IPin* inputPin, IUnknown** result)
{
    if (result == nullptr) return E_POINTER;
    *result = nullptr;
    WinAPI_EnsureLoaded();
    IUnknown* object = nullptr;
    HRESULT hr =
        WinAPITable.CoCreateInstance(CLSID_SeekingPassThru, outer, CLSCTX_INPROC_SERVER, IID_IUnknown, (void**)&object);
    if (FAILED(hr)) return hr;
    ISeekingPassThru* passThru = nullptr;
    hr = object->QueryInterface(IID_ISeekingPassThru, (void**)&passThru);
    if (SUCCEEDED(hr)) {
        hr = passThru->Init(renderer, reinterpret_cast<IPin*>(inputPin));
        passThru->Release();
    }
    if (FAILED(hr)) {
        object->Release();
        return hr;
    }
    *result = object;
    return S_OK;
}

}  // namespace Vantrel
