// VtUseCStrmBaseFilterGrabber: the sample grabber: an in-place filter that accepts only the media
// type its user set, hands every sample to the user's callback and passes it on unchanged; it can
// also deliver into a buffer the caller supplies, through an allocator of its own.
#include <string.h>

#include "movie/directshow/VtUseCStrmBaseFilterInternal.h"
#include "movie/directshow/VtUseCStrmBaseFilterTransform.h"

namespace Vantrel {

const IID IID_D_IGrabberSample = {0x6B652FFF, 0x11FE, 0x4FCE, {0x92, 0xAD, 0x02, 0x66, 0xB5, 0xD7, 0xC7, 0x8F}};
const CLSID CLSID_D_SampleGrabber = {0x2FA4F053, 0x6D60, 0x4CB0, {0x95, 0x03, 0x8E, 0x89, 0x23, 0x4F, 0x3F, 0x73}};

// ---- Delivery allocator ------------------------------------------------------------------------------

D_CSampleGrabberAllocator::D_CSampleGrabberAllocator(D_CSampleGrabberInPin* owner, HRESULT* result)
    : D_CMemAllocator(L"SampleGrabberAllocator", nullptr, result), OwnerPin(owner)
{
}

// Only the samples are ours; the memory is the caller's.
D_CSampleGrabberAllocator::~D_CSampleGrabberAllocator() {}

void D_CSampleGrabberAllocator::Free() {}

HRESULT D_CSampleGrabberAllocator::Alloc()
{
    StrmBase_AutoLock lock(this);
    HRESULT hr = D_CBaseAllocator::Alloc();
    if (FAILED(hr)) return hr;
    if (!Changed) return S_OK;
    ReallyFree();
    if (OwnerPin == nullptr || OwnerPin->DeliveryBuffer == nullptr) return E_OUTOFMEMORY;
    hr = CreateSamples(OwnerPin->DeliveryBuffer, SampleStep());
    if (SUCCEEDED(hr)) Changed = 0;
    return hr;
}

HRESULT STDMETHODCALLTYPE D_CSampleGrabberAllocator::SetProperties(ALLOCATOR_PROPERTIES* request,
                                                                   ALLOCATOR_PROPERTIES* actual)
{
    HRESULT hr = D_CMemAllocator::SetProperties(request, actual);
    if (FAILED(hr)) return hr;
    const ALLOCATOR_PROPERTIES& delivery = OwnerPin->DeliveryProperties;
    if (request->cbAlign != delivery.cbAlign) return VFW_E_BADALIGN;
    if (request->cbPrefix != delivery.cbPrefix || request->cbBuffer > delivery.cbBuffer ||
        request->cBuffers > delivery.cBuffers)
        return E_FAIL;
    StrmBase_AutoLock lock(this);
    BufferCount = delivery.cBuffers;
    BufferSize = delivery.cbBuffer;
    Alignment = delivery.cbAlign;
    Prefix = delivery.cbPrefix;
    *actual = delivery;
    Changed = 1;
    return S_OK;
}

// ---- Input pin ---------------------------------------------------------------------------------------

D_CSampleGrabberInPin::D_CSampleGrabberInPin(D_CSampleGrabber* grabber, HRESULT* result)
    : D_CTransInPlaceInputPin(L"SampleGrabberInputPin", grabber, result, L"Input"),
      Grabber(grabber),
      Reserved(0),
      DeliveryAllocator(nullptr),
      DeliveryBuffer(nullptr),
      MediaTypeChanged(0)
{
    memset(&DeliveryProperties, 0, sizeof(DeliveryProperties));
}

D_CSampleGrabberInPin::~D_CSampleGrabberInPin()
{
    // The pin's allocator reference may be the delivery allocator: let it go first.
    if (DeliveryAllocator != nullptr) {
        if (Allocator == DeliveryAllocator->AsMemAllocator()) Allocator = nullptr;
        delete DeliveryAllocator;
    }
}

HRESULT D_CSampleGrabberInPin::GetMediaType(int position, AM_MEDIA_TYPE* type)
{
    if (type == nullptr) return E_POINTER;
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    StrmBase_MediaType_Init(type);
    StrmBase_AutoLock lock(&Grabber->CallbackLock);
    type->majortype = Grabber->AcceptedType.majortype;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CSampleGrabberInPin::EnumMediaTypes(D_IEnumMediaTypes** types)
{
    if (types == nullptr) return E_POINTER;
    D_CTransInPlaceOutputPin* output = Grabber->InPlaceOutput();
    if (output != nullptr && output->IsConnected()) return output->GetConnected()->EnumMediaTypes(types);
    return D_CBasePin::EnumMediaTypes(types);
}

HRESULT STDMETHODCALLTYPE D_CSampleGrabberInPin::GetAllocator(D_IMemAllocator** allocator)
{
    if (allocator == nullptr) return E_POINTER;
    if (DeliveryAllocator != nullptr) {
        *allocator = DeliveryAllocator->AsMemAllocator();
        (*allocator)->AddRef();
        return S_OK;
    }
    return D_CTransInPlaceInputPin::GetAllocator(allocator);
}

HRESULT STDMETHODCALLTYPE D_CSampleGrabberInPin::NotifyAllocator(D_IMemAllocator* allocator, BOOL readOnly)
{
    if (allocator == nullptr) return E_POINTER;
    if (DeliveryAllocator != nullptr) {
        if (allocator != DeliveryAllocator->AsMemAllocator()) return E_FAIL;
        if (readOnly && Grabber->ModifiesData) return E_FAIL;
    }
    return D_CTransInPlaceInputPin::NotifyAllocator(allocator, readOnly);
}

HRESULT STDMETHODCALLTYPE D_CSampleGrabberInPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties)
{
    if (DeliveryAllocator != nullptr) {
        if (properties == nullptr) return E_POINTER;
        *properties = DeliveryProperties;
        return S_OK;
    }
    return D_CTransInPlaceInputPin::GetAllocatorRequirements(properties);
}

HRESULT D_CSampleGrabberInPin::SetMediaType(const AM_MEDIA_TYPE* type)
{
    MediaTypeChanged = 1;
    return D_CTransInPlaceInputPin::SetMediaType(type);
}

HRESULT D_CSampleGrabberInPin::SetDeliveryBuffer(const ALLOCATOR_PROPERTIES& properties, BYTE* buffer)
{
    if (properties.cBuffers != 1) return E_INVALIDARG;
    if (buffer == nullptr) return E_POINTER;
    DeliveryProperties = properties;
    DeliveryBuffer = buffer;
    if (DeliveryAllocator != nullptr) {
        if (Allocator == DeliveryAllocator->AsMemAllocator()) Allocator = nullptr;
        delete DeliveryAllocator;
        DeliveryAllocator = nullptr;
    }
    HRESULT hr = S_OK;
    DeliveryAllocator = new (__FILE__, __LINE__) D_CSampleGrabberAllocator(this, &hr);
    if (DeliveryAllocator == nullptr) return E_OUTOFMEMORY;
    if (FAILED(hr)) {
        delete DeliveryAllocator;
        DeliveryAllocator = nullptr;
        return E_OUTOFMEMORY;
    }
    DeliveryAllocator->AsMemAllocator()->AddRef();
    return S_OK;
}

// ---- Filter ------------------------------------------------------------------------------------------

D_CSampleGrabber::D_CSampleGrabber(D_IUnknown* outer, HRESULT* result, BOOL modifiesData)
    : D_CTransInPlaceFilter(L"SampleGrabber", outer, CLSID_D_SampleGrabber, result, modifiesData),
      Callback(nullptr),
      CallbackUser(nullptr)
{
    StrmBase_MediaType_Init(&AcceptedType);
    AcceptedType.majortype = GUID_NULL;
    HRESULT hr = S_OK;
    D_CSampleGrabberInPin* input = new (__FILE__, __LINE__) D_CSampleGrabberInPin(this, &hr);
    if (input != nullptr && FAILED(hr)) {
        delete input;
        input = nullptr;
    }
    Input = input;
    if (input == nullptr && result != nullptr) *result = E_OUTOFMEMORY;
}

D_CSampleGrabber::~D_CSampleGrabber() { StrmBase_MediaType_Destroy(&AcceptedType); }

D_CSampleGrabber* StrmBase_SampleGrabber_Create(D_IUnknown* outer, HRESULT* result)
{
    HRESULT hr = S_OK;
    D_CSampleGrabber* grabber = new (__FILE__, __LINE__) D_CSampleGrabber(outer, &hr, FALSE);
    if (grabber == nullptr) {
        if (result != nullptr) *result = E_OUTOFMEMORY;
        return nullptr;
    }
    if (result != nullptr) *result = hr;
    return grabber;
}

HRESULT STDMETHODCALLTYPE D_CSampleGrabber::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (object == nullptr) return E_POINTER;
    if (iid == IID_D_IGrabberSample) return StrmBase_GetInterface(AsGrabberSample(), object);
    return D_CTransInPlaceFilter::NonDelegatingQueryInterface(iid, object);
}

HRESULT STDMETHODCALLTYPE D_CSampleGrabber::QueryInterface(REFIID iid, void** object)
{
    return D_CTransInPlaceFilter::QueryInterface(iid, object);
}

ULONG STDMETHODCALLTYPE D_CSampleGrabber::AddRef() { return D_CTransInPlaceFilter::AddRef(); }

ULONG STDMETHODCALLTYPE D_CSampleGrabber::Release() { return D_CTransInPlaceFilter::Release(); }

int D_CSampleGrabber::GetPinCount() { return 2; }

D_CBasePin* D_CSampleGrabber::GetPin(int index)
{
    if (index == 0) return Input;
    if (index != 1) return nullptr;
    if (Output == nullptr) {
        HRESULT hr = S_OK;
        Output = new (__FILE__, __LINE__) D_CTransInPlaceOutputPin(L"SampleGrabberOutputPin", this, &hr, L"Output");
        if (Output != nullptr && FAILED(hr)) {
            delete Output;
            Output = nullptr;
        }
    }
    return Output;
}

HRESULT D_CSampleGrabber::CheckInputType(const AM_MEDIA_TYPE* type)
{
    StrmBase_AutoLock lock(&CallbackLock);
    if (type == nullptr) return E_POINTER;
    if (AcceptedType.majortype == GUID_NULL) return S_OK;
    if (AcceptedType.majortype != type->majortype) return VFW_E_TYPE_NOT_ACCEPTED;
    if (AcceptedType.subtype != GUID_NULL && AcceptedType.subtype != type->subtype) return VFW_E_TYPE_NOT_ACCEPTED;
    if (AcceptedType.formattype != GUID_NULL && AcceptedType.formattype != type->formattype)
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT D_CSampleGrabber::Receive(D_IMediaSample* sample)
{
    if (sample == nullptr) return E_POINTER;
    AM_SAMPLE2_PROPERTIES* props = Input->GetSampleProps();
    // A sample that brings a new media type makes it the pin's type: the callback hears of the change.
    if (props->dwStreamId == AM_STREAM_MEDIA && (props->dwSampleFlags & StrmBase_Sample_TypeChanged) != 0 &&
        props->pMediaType != nullptr)
        GrabberInput()->SetMediaType(props->pMediaType);
    // The callback's refusal (S_FALSE included) goes upstream and the sample goes no further.
    return ReceiveInPlace(sample, FALSE);
}

HRESULT D_CSampleGrabber::TransformInPlace(D_IMediaSample* sample)
{
    StrmBase_AutoLock lock(&CallbackLock);
    if (sample == nullptr) return E_POINTER;
    if (Callback == nullptr) return S_OK;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    sample->GetTime(&start, &stop);
    start += Input->SegmentStart;
    stop += Input->SegmentStart;
    D_CSampleGrabberInPin* input = GrabberInput();
    HRESULT hr = Callback(sample, &start, &stop, input->MediaTypeChanged, CallbackUser);
    input->MediaTypeChanged = 0;
    return hr;
}

HRESULT STDMETHODCALLTYPE D_CSampleGrabber::SetAcceptedMediaType(const AM_MEDIA_TYPE* type)
{
    StrmBase_AutoLock lock(&CallbackLock);
    StrmBase_MediaType_Destroy(&AcceptedType);
    if (type == nullptr) {
        StrmBase_MediaType_Init(&AcceptedType);
        AcceptedType.majortype = GUID_NULL;
        return S_OK;
    }
    HRESULT hr = StrmBase_MediaType_Copy(&AcceptedType, type);
    if (FAILED(hr)) StrmBase_MediaType_Init(&AcceptedType);
    return hr;
}

HRESULT STDMETHODCALLTYPE D_CSampleGrabber::GetConnectedMediaType(AM_MEDIA_TYPE* type)
{
    if (type == nullptr) return E_POINTER;
    if (Input == nullptr || !Input->IsConnected()) return VFW_E_NOT_CONNECTED;
    return StrmBase_MediaType_Copy(type, &Input->ConnectionType);
}

HRESULT STDMETHODCALLTYPE D_CSampleGrabber::SetCallback(StrmBase_SampleCallback callback, void* user)
{
    StrmBase_AutoLock lock(&CallbackLock);
    Callback = callback;
    CallbackUser = user;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CSampleGrabber::SetDeliveryBuffer(ALLOCATOR_PROPERTIES properties, BYTE* buffer)
{
    // The output pin is made here when nothing has asked for it yet.
    if (Input == nullptr || GetPin(1) == nullptr) return E_POINTER;
    if (Input->IsConnected() || Output->IsConnected()) return E_INVALIDARG;
    return GrabberInput()->SetDeliveryBuffer(properties, buffer);
}

}  // namespace Vantrel
