// VtUseCStrmBaseFilterTransform: the copying transform filter and the in-place transform filter
// with their pins: state changes under the filter lock, samples under the receive lock, allocators
// shared between upstream and downstream where the in-place filter can.
#include <string.h>

#include "movie/directshow/VtUseCStrmBaseFilterInternal.h"
#include "movie/directshow/VtUseCStrmBaseFilterTransform.h"

namespace Vantrel {

// ---- Copying transform: input pin --------------------------------------------------------------------

D_CTransformInputPin::D_CTransformInputPin(const wchar_t* objectName, D_CTransformFilter* filter, HRESULT* result,
                                           const wchar_t* pinName)
    : D_CBaseInputPin(objectName, filter, &filter->TransformLock, result, pinName), TransformFilter(filter)
{
}

HRESULT STDMETHODCALLTYPE D_CTransformInputPin::QueryId(LPWSTR* id) { return StrmBase_GetWideString(L"In", id); }

HRESULT D_CTransformInputPin::CheckConnect(D_IPin* pin)
{
    HRESULT hr = TransformFilter->CheckConnect(PINDIR_INPUT, pin);
    if (FAILED(hr)) return hr;
    PIN_DIRECTION direction;
    hr = pin->QueryDirection(&direction);
    if (FAILED(hr)) return hr;
    if (direction == Direction) return VFW_E_INVALID_DIRECTION;
    return D_CBaseInputPin::CheckConnect(pin);
}

HRESULT D_CTransformInputPin::CheckMediaType(const AM_MEDIA_TYPE* type)
{
    HRESULT hr = TransformFilter->CheckInputType(type);
    if (hr != S_OK) return hr;
    D_CTransformOutputPin* output = TransformFilter->Output;
    if (output != nullptr && output->IsConnected()) return TransformFilter->CheckTransform(type, &output->ConnectionType);
    return S_OK;
}

HRESULT D_CTransformInputPin::SetMediaType(const AM_MEDIA_TYPE* type)
{
    HRESULT hr = D_CBaseInputPin::SetMediaType(type);
    if (FAILED(hr)) return hr;
    return TransformFilter->SetMediaType(PINDIR_INPUT, type);
}

HRESULT D_CTransformInputPin::BreakConnect()
{
    TransformFilter->BreakConnect(PINDIR_INPUT);
    if (Allocator != nullptr) {
        HRESULT hr = Allocator->Decommit();
        if (FAILED(hr)) return hr;
        Allocator->Release();
        Allocator = nullptr;
    }
    return S_OK;
}

HRESULT D_CTransformInputPin::CompleteConnect(D_IPin* receivePin)
{
    HRESULT hr = TransformFilter->CompleteConnect(PINDIR_INPUT, receivePin);
    if (FAILED(hr)) return hr;
    return S_OK;
}

HRESULT D_CTransformInputPin::Inactive()
{
    RunTimeError = 0;
    if (Allocator == nullptr) return VFW_E_NO_ALLOCATOR;
    Flushing = 0;
    return Allocator->Decommit();
}

HRESULT D_CTransformInputPin::CheckStreaming()
{
    D_CTransformOutputPin* output = TransformFilter->Output;
    if (output == nullptr || !output->IsConnected()) return VFW_E_NOT_CONNECTED;
    if (Flushing) return S_FALSE;
    if (IsFilterStopped()) return VFW_E_WRONG_STATE;
    if (RunTimeError) return VFW_E_RUNTIME_ERROR;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CTransformInputPin::Receive(D_IMediaSample* sample)
{
    StrmBase_AutoLock lock(&TransformFilter->ReceiveLock);
    HRESULT hr = D_CBaseInputPin::Receive(sample);
    if (hr == S_OK) hr = TransformFilter->Receive(sample);
    return hr;
}

HRESULT STDMETHODCALLTYPE D_CTransformInputPin::EndOfStream()
{
    StrmBase_AutoLock lock(&TransformFilter->ReceiveLock);
    HRESULT hr = CheckStreaming();
    if (hr == S_OK) hr = TransformFilter->EndOfStream();
    return hr;
}

HRESULT STDMETHODCALLTYPE D_CTransformInputPin::BeginFlush()
{
    StrmBase_AutoLock lock(&TransformFilter->TransformLock);
    D_CTransformOutputPin* output = TransformFilter->Output;
    if (!IsConnected() || output == nullptr || !output->IsConnected()) return VFW_E_NOT_CONNECTED;
    HRESULT hr = D_CBaseInputPin::BeginFlush();
    if (FAILED(hr)) return hr;
    return TransformFilter->BeginFlush();
}

HRESULT STDMETHODCALLTYPE D_CTransformInputPin::EndFlush()
{
    StrmBase_AutoLock lock(&TransformFilter->TransformLock);
    D_CTransformOutputPin* output = TransformFilter->Output;
    if (!IsConnected() || output == nullptr || !output->IsConnected()) return VFW_E_NOT_CONNECTED;
    HRESULT hr = TransformFilter->EndFlush();
    if (FAILED(hr)) return hr;
    return D_CBaseInputPin::EndFlush();
}

HRESULT STDMETHODCALLTYPE D_CTransformInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    D_CBasePin::NewSegment(start, stop, rate);
    return TransformFilter->NewSegment(start, stop, rate);
}

// ---- Copying transform: output pin -------------------------------------------------------------------

D_CTransformOutputPin::D_CTransformOutputPin(const wchar_t* objectName, D_CTransformFilter* filter, HRESULT* result,
                                             const wchar_t* pinName)
    : D_CBaseOutputPin(objectName, filter, &filter->TransformLock, result, pinName),
      TransformFilter(filter),
      Position(nullptr)
{
}

D_CTransformOutputPin::~D_CTransformOutputPin()
{
    if (Position != nullptr) Position->Release();
}

HRESULT STDMETHODCALLTYPE D_CTransformOutputPin::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IMediaPosition || iid == IID_IMediaSeeking) {
        if (Position == nullptr) {
            D_CTransformInputPin* input = TransformFilter->Input;
            HRESULT hr = StrmBase_CreateSeekingPassThru(reinterpret_cast<IUnknown*>(GetOwner()), FALSE,
                                                        input != nullptr ? input->AsPin() : nullptr, &Position);
            if (FAILED(hr)) {
                *object = nullptr;
                return hr;
            }
        }
        return Position->QueryInterface(iid, object);
    }
    return D_CBaseOutputPin::NonDelegatingQueryInterface(iid, object);
}

HRESULT STDMETHODCALLTYPE D_CTransformOutputPin::QueryId(LPWSTR* id) { return StrmBase_GetWideString(L"Out", id); }

HRESULT D_CTransformOutputPin::CheckConnect(D_IPin* pin)
{
    D_CTransformInputPin* input = TransformFilter->Input;
    if (input == nullptr || !input->IsConnected()) return E_UNEXPECTED;
    HRESULT hr = TransformFilter->CheckConnect(PINDIR_OUTPUT, pin);
    if (FAILED(hr)) return hr;
    return D_CBaseOutputPin::CheckConnect(pin);
}

HRESULT D_CTransformOutputPin::CheckMediaType(const AM_MEDIA_TYPE* type)
{
    D_CTransformInputPin* input = TransformFilter->Input;
    if (input == nullptr || !input->IsConnected()) return E_INVALIDARG;
    return TransformFilter->CheckTransform(&input->ConnectionType, type);
}

HRESULT D_CTransformOutputPin::SetMediaType(const AM_MEDIA_TYPE* type)
{
    HRESULT hr = D_CBaseOutputPin::SetMediaType(type);
    if (FAILED(hr)) return hr;
    return TransformFilter->SetMediaType(PINDIR_OUTPUT, type);
}

HRESULT D_CTransformOutputPin::GetMediaType(int position, AM_MEDIA_TYPE* type)
{
    D_CTransformInputPin* input = TransformFilter->Input;
    if (input != nullptr && input->IsConnected()) return TransformFilter->GetMediaType(position, type);
    return VFW_S_NO_MORE_ITEMS;
}

HRESULT D_CTransformOutputPin::CompleteConnect(D_IPin* receivePin)
{
    HRESULT hr = TransformFilter->CompleteConnect(PINDIR_OUTPUT, receivePin);
    if (FAILED(hr)) return hr;
    return D_CBaseOutputPin::CompleteConnect(receivePin);
}

HRESULT D_CTransformOutputPin::BreakConnect()
{
    TransformFilter->BreakConnect(PINDIR_OUTPUT);
    return D_CBaseOutputPin::BreakConnect();
}

HRESULT D_CTransformOutputPin::DecideBufferSize(D_IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties)
{
    return TransformFilter->DecideBufferSize(allocator, properties);
}

HRESULT STDMETHODCALLTYPE D_CTransformOutputPin::Notify(D_IBaseFilter* sender, Quality quality)
{
    HRESULT hr = TransformFilter->AlterQuality(quality);
    if (hr != S_FALSE) return hr;
    D_CTransformInputPin* input = TransformFilter->Input;
    if (input == nullptr) return VFW_E_NOT_FOUND;
    if (input->QualitySink != nullptr) return input->QualitySink->Notify(TransformFilter->AsBaseFilter(), quality);
    D_IPin* peer = nullptr;
    if (FAILED(input->ConnectedTo(&peer)) || peer == nullptr) return VFW_E_NOT_FOUND;
    D_IQualityControl* upstream = nullptr;
    hr = peer->QueryInterface(IID_IQualityControl, (void**)&upstream);
    peer->Release();
    if (FAILED(hr) || upstream == nullptr) return VFW_E_NOT_FOUND;
    hr = upstream->Notify(TransformFilter->AsBaseFilter(), quality);
    upstream->Release();
    return hr;
}

// ---- Copying transform: filter -----------------------------------------------------------------------

D_CTransformFilter::D_CTransformFilter(const wchar_t* objectName, D_IUnknown* outer, REFCLSID classId)
    : D_CBaseFilter(objectName, outer, &TransformLock, classId),
      EndOfStreamSent(0),
      SampleSkipped(0),
      QualityChanged(0),
      Input(nullptr),
      Output(nullptr)
{
}

D_CTransformFilter::~D_CTransformFilter()
{
    // The output pin's seeking pass-through looks at the input pin: it goes first.
    delete Output;
    delete Input;
}

int D_CTransformFilter::GetPinCount() { return 2; }

D_CBasePin* D_CTransformFilter::GetPin(int index)
{
    if (Input == nullptr) {
        HRESULT hr = S_OK;
        Input = new (__FILE__, __LINE__) D_CTransformInputPin(L"Transform input pin", this, &hr, L"In");
        if (Input != nullptr && FAILED(hr)) {
            delete Input;
            Input = nullptr;
        }
        if (Input == nullptr) return nullptr;
        Output = new (__FILE__, __LINE__) D_CTransformOutputPin(L"Transform output pin", this, &hr, L"Out");
        if (Output != nullptr && FAILED(hr)) {
            delete Output;
            Output = nullptr;
        }
        if (Output == nullptr) {
            delete Input;
            Input = nullptr;
            return nullptr;
        }
    }
    if (index == 0) return Input;
    if (index == 1) return Output;
    return nullptr;
}

HRESULT STDMETHODCALLTYPE D_CTransformFilter::Stop()
{
    StrmBase_AutoLock lock(&TransformLock);
    if (State == StrmBase_State_Stopped) return S_OK;
    if (Input == nullptr || Output == nullptr || !Input->IsConnected() || !Output->IsConnected()) {
        State = StrmBase_State_Stopped;
        return S_OK;
    }
    Input->Inactive();
    StrmBase_AutoLock receive(&ReceiveLock);
    Output->Inactive();
    // A filter whose streaming cannot end cleanly is stopped all the same (its pins already are), so
    // that the graph can still be torn down; the failure is reported.
    HRESULT hr = StopStreaming();
    State = StrmBase_State_Stopped;
    EndOfStreamSent = 0;
    return hr;
}

HRESULT STDMETHODCALLTYPE D_CTransformFilter::Pause()
{
    StrmBase_AutoLock lock(&TransformLock);
    HRESULT hr = S_OK;
    if (State != StrmBase_State_Paused) {
        if (Input == nullptr || !Input->IsConnected()) {
            // Nothing will arrive: tell downstream at once, but only once.
            if (Output != nullptr && !EndOfStreamSent) {
                Output->DeliverEndOfStream();
                EndOfStreamSent = 1;
            }
            State = StrmBase_State_Paused;
        } else if (Output == nullptr || !Output->IsConnected()) {
            State = StrmBase_State_Paused;
        } else {
            if (State == StrmBase_State_Stopped) {
                StrmBase_AutoLock receive(&ReceiveLock);
                hr = StartStreaming();
            }
            if (SUCCEEDED(hr)) hr = D_CBaseFilter::Pause();
        }
    }
    SampleSkipped = 0;
    QualityChanged = 0;
    return hr;
}

HRESULT STDMETHODCALLTYPE D_CTransformFilter::FindPin(LPCWSTR id, D_IPin** pin)
{
    if (pin == nullptr) return E_POINTER;
    *pin = nullptr;
    int index;
    if (StrmBase_Text_Equal(id, L"In"))
        index = 0;
    else if (StrmBase_Text_Equal(id, L"Out"))
        index = 1;
    else
        return VFW_E_NOT_FOUND;
    D_CBasePin* found = GetPin(index);
    if (found == nullptr) return E_OUTOFMEMORY;
    *pin = found->AsPin();
    found->AsPin()->AddRef();
    return S_OK;
}

HRESULT D_CTransformFilter::Transform(D_IMediaSample* in, D_IMediaSample* out) { return E_UNEXPECTED; }

HRESULT D_CTransformFilter::StartStreaming() { return S_OK; }

HRESULT D_CTransformFilter::StopStreaming() { return S_OK; }

HRESULT D_CTransformFilter::AlterQuality(Quality quality) { return S_FALSE; }

HRESULT D_CTransformFilter::SetMediaType(PIN_DIRECTION direction, const AM_MEDIA_TYPE* type) { return S_OK; }

HRESULT D_CTransformFilter::CheckConnect(PIN_DIRECTION direction, D_IPin* pin) { return S_OK; }

HRESULT D_CTransformFilter::BreakConnect(PIN_DIRECTION direction) { return S_OK; }

HRESULT D_CTransformFilter::CompleteConnect(PIN_DIRECTION direction, D_IPin* receivePin) { return S_OK; }

HRESULT D_CTransformFilter::InitializeOutputSample(D_IMediaSample* sample, D_IMediaSample** out)
{
    AM_SAMPLE2_PROPERTIES* props = Input->GetSampleProps();
    DWORD flags = 0;
    if (SampleSkipped) flags |= AM_GBF_PREVFRAMESKIPPED;
    if ((props->dwSampleFlags & StrmBase_Sample_SyncPoint) == 0) flags |= AM_GBF_NOTASYNCPOINT;
    BOOL timeValid = (props->dwSampleFlags & StrmBase_Sample_TimeValid) != 0;
    BOOL stopValid = (props->dwSampleFlags & StrmBase_Sample_StopValid) != 0;
    D_IMediaSample* buffer = nullptr;
    HRESULT hr = Output->GetDeliveryBuffer(&buffer, timeValid ? &props->tStart : nullptr,
                                           stopValid ? &props->tStop : nullptr, flags);
    if (FAILED(hr)) return hr;
    if (buffer == nullptr) return E_UNEXPECTED;

    D_IMediaSample2* buffer2 = nullptr;
    if (SUCCEEDED(buffer->QueryInterface(IID_IMediaSample2, (void**)&buffer2)) && buffer2 != nullptr) {
        AM_SAMPLE2_PROPERTIES outProps;
        memset(&outProps, 0, sizeof(outProps));
        const DWORD size = (DWORD)offsetof(AM_SAMPLE2_PROPERTIES, dwStreamId);
        hr = buffer2->GetProperties(size, (BYTE*)&outProps);
        if (SUCCEEDED(hr)) {
            outProps.cbData = size;
            outProps.dwTypeSpecificFlags = props->dwTypeSpecificFlags;
            outProps.dwSampleFlags = (outProps.dwSampleFlags & StrmBase_Sample_TypeChanged) |
                                     (props->dwSampleFlags & ~(DWORD)(StrmBase_Sample_TypeChanged |
                                                                      StrmBase_Sample_MediaTimeValid));
            outProps.tStart = props->tStart;
            outProps.tStop = props->tStop;
            hr = buffer2->SetProperties(size, (const BYTE*)&outProps);
        }
        buffer2->Release();
        if (FAILED(hr)) {
            buffer->Release();
            return hr;
        }
    } else {
        if (timeValid) buffer->SetTime(&props->tStart, &props->tStop);
        if ((props->dwSampleFlags & StrmBase_Sample_SyncPoint) != 0) buffer->SetSyncPoint(TRUE);
        if ((props->dwSampleFlags & StrmBase_Sample_Discontinuity) != 0) buffer->SetDiscontinuity(TRUE);
        LONGLONG mediaStart = 0;
        LONGLONG mediaStop = 0;
        if (sample->GetMediaTime(&mediaStart, &mediaStop) == S_OK) buffer->SetMediaTime(&mediaStart, &mediaStop);
    }
    *out = buffer;
    return S_OK;
}

HRESULT D_CTransformFilter::Receive(D_IMediaSample* sample)
{
    AM_SAMPLE2_PROPERTIES* props = Input->GetSampleProps();
    if (props->dwStreamId != AM_STREAM_MEDIA) return Output->Deliver(sample);
    D_IMediaSample* out = nullptr;
    HRESULT hr = InitializeOutputSample(sample, &out);
    if (FAILED(hr)) return hr;
    hr = DeliverTransformed(Transform(sample, out), out);
    out->Release();
    return hr;
}

HRESULT D_CTransformFilter::DeliverTransformed(HRESULT transformed, D_IMediaSample* out)
{
    if (transformed == S_OK) {
        SampleSkipped = 0;
        return Output->Deliver(out);
    }
    if (transformed != S_FALSE) return transformed;
    // Dropped on purpose: the stream goes on, downstream hears of the quality change once.
    SampleSkipped = 1;
    if (!QualityChanged) {
        NotifyEvent(EC_QUALITY_CHANGE, 0, 0);
        QualityChanged = 1;
    }
    return S_OK;
}

HRESULT D_CTransformFilter::EndOfStream() { return Output != nullptr ? Output->DeliverEndOfStream() : S_OK; }

HRESULT D_CTransformFilter::BeginFlush() { return Output != nullptr ? Output->DeliverBeginFlush() : S_OK; }

HRESULT D_CTransformFilter::EndFlush() { return Output != nullptr ? Output->DeliverEndFlush() : S_OK; }

HRESULT D_CTransformFilter::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    return Output != nullptr ? Output->DeliverNewSegment(start, stop, rate) : S_OK;
}

// ---- In-place transform: input pin -------------------------------------------------------------------

D_CTransInPlaceInputPin::D_CTransInPlaceInputPin(const wchar_t* objectName, D_CTransInPlaceFilter* filter,
                                                 HRESULT* result, const wchar_t* pinName)
    : D_CTransformInputPin(objectName, filter, result, pinName), InPlaceFilter(filter), InPlaceReadOnly(0)
{
}

// The types an in-place pin offers are those of the pin across the filter's other side.
static HRESULT StrmBase_EnumOtherSideTypes(D_CBasePin* otherPin, D_IEnumMediaTypes** types)
{
    if (types == nullptr) return E_POINTER;
    if (otherPin == nullptr || !otherPin->IsConnected()) {
        *types = nullptr;
        return VFW_E_NOT_CONNECTED;
    }
    return otherPin->GetConnected()->EnumMediaTypes(types);
}

HRESULT STDMETHODCALLTYPE D_CTransInPlaceInputPin::EnumMediaTypes(D_IEnumMediaTypes** types)
{
    return StrmBase_EnumOtherSideTypes(InPlaceFilter->InPlaceOutput(), types);
}

HRESULT D_CTransInPlaceInputPin::CheckMediaType(const AM_MEDIA_TYPE* type)
{
    HRESULT hr = InPlaceFilter->CheckInputType(type);
    if (hr != S_OK) return hr;
    D_CTransInPlaceOutputPin* output = InPlaceFilter->InPlaceOutput();
    if (output != nullptr && output->IsConnected()) return output->GetConnected()->QueryAccept(type);
    return S_OK;
}

HRESULT D_CTransInPlaceInputPin::CompleteConnect(D_IPin* receivePin)
{
    return InPlaceFilter->CompleteConnect(PINDIR_INPUT, receivePin);
}

HRESULT STDMETHODCALLTYPE D_CTransInPlaceInputPin::GetAllocator(D_IMemAllocator** allocator)
{
    if (allocator == nullptr) return E_POINTER;
    StrmBase_AutoLock lock(PinLock);
    D_CTransInPlaceOutputPin* output = InPlaceFilter->InPlaceOutput();
    if (output != nullptr && output->IsConnected() && output->ConnectedMemInputPin() != nullptr) {
        HRESULT hr = output->ConnectedMemInputPin()->GetAllocator(allocator);
        if (SUCCEEDED(hr) && *allocator != nullptr) output->ReceiveAllocator(*allocator);
        return hr;
    }
    return D_CTransformInputPin::GetAllocator(allocator);
}

HRESULT STDMETHODCALLTYPE D_CTransInPlaceInputPin::NotifyAllocator(D_IMemAllocator* allocator, BOOL readOnly)
{
    if (allocator == nullptr) return E_POINTER;
    StrmBase_AutoLock lock(PinLock);
    InPlaceReadOnly = readOnly ? 1 : 0;
    D_CTransInPlaceOutputPin* output = InPlaceFilter->InPlaceOutput();
    if (output == nullptr || !output->IsConnected() || output->ConnectedMemInputPin() == nullptr)
        return D_CTransformInputPin::NotifyAllocator(allocator, readOnly);

    D_IMemInputPin* downstream = output->ConnectedMemInputPin();
    if (readOnly && InPlaceFilter->ModifiesData) {
        // Upstream's buffers must not be written: samples are copied into an allocator of our own side.
        D_IMemAllocator* outAllocator = output->PeekAllocator();
        if (outAllocator != nullptr) {
            outAllocator->AddRef();
        } else {
            HRESULT hr = downstream->GetAllocator(&outAllocator);
            if (FAILED(hr) || outAllocator == nullptr) {
                outAllocator = nullptr;
                hr = output->InitAllocator(&outAllocator);
                if (FAILED(hr)) return hr;
            }
            output->ReceiveAllocator(outAllocator);
        }
        if (outAllocator == allocator) {
            outAllocator->Release();
            return E_FAIL;
        }
        ALLOCATOR_PROPERTIES upstream;
        ALLOCATOR_PROPERTIES actual;
        memset(&upstream, 0, sizeof(upstream));
        memset(&actual, 0, sizeof(actual));
        HRESULT hr = allocator->GetProperties(&upstream);
        if (SUCCEEDED(hr)) hr = outAllocator->SetProperties(&upstream, &actual);
        if (SUCCEEDED(hr) && (actual.cBuffers < upstream.cBuffers || actual.cbBuffer < upstream.cbBuffer ||
                              actual.cbAlign < upstream.cbAlign))
            hr = E_FAIL;
        if (SUCCEEDED(hr)) hr = downstream->NotifyAllocator(outAllocator, FALSE);
        outAllocator->Release();
        if (FAILED(hr)) return hr;
        return D_CTransformInputPin::NotifyAllocator(allocator, readOnly);
    }

    HRESULT hr = downstream->NotifyAllocator(allocator, readOnly);
    if (FAILED(hr)) return hr;
    output->ReceiveAllocator(allocator);
    return D_CTransformInputPin::NotifyAllocator(allocator, readOnly);
}

HRESULT STDMETHODCALLTYPE D_CTransInPlaceInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties)
{
    D_CTransInPlaceOutputPin* output = InPlaceFilter->InPlaceOutput();
    if (output == nullptr || !output->IsConnected() || output->ConnectedMemInputPin() == nullptr) return E_NOTIMPL;
    return output->ConnectedMemInputPin()->GetAllocatorRequirements(properties);
}

// ---- In-place transform: output pin ------------------------------------------------------------------

D_CTransInPlaceOutputPin::D_CTransInPlaceOutputPin(const wchar_t* objectName, D_CTransInPlaceFilter* filter,
                                                   HRESULT* result, const wchar_t* pinName)
    : D_CTransformOutputPin(objectName, filter, result, pinName), InPlaceFilter(filter)
{
}

HRESULT STDMETHODCALLTYPE D_CTransInPlaceOutputPin::EnumMediaTypes(D_IEnumMediaTypes** types)
{
    return StrmBase_EnumOtherSideTypes(InPlaceFilter->InPlaceInput(), types);
}

HRESULT D_CTransInPlaceOutputPin::CheckMediaType(const AM_MEDIA_TYPE* type)
{
    if (InPlaceFilter->UsingDifferentAllocators() && !InPlaceFilter->IsStopped())
        return StrmBase_MediaType_Equal(type, &ConnectionType) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    HRESULT hr = InPlaceFilter->CheckInputType(type);
    if (hr != S_OK) return hr;
    D_CTransInPlaceInputPin* input = InPlaceFilter->InPlaceInput();
    if (input != nullptr && input->IsConnected()) return input->GetConnected()->QueryAccept(type);
    return S_OK;
}

HRESULT D_CTransInPlaceOutputPin::CompleteConnect(D_IPin* receivePin)
{
    HRESULT hr = DecideAllocator(InputPin, &Allocator);
    if (FAILED(hr)) return hr;
    return InPlaceFilter->CompleteConnect(PINDIR_OUTPUT, receivePin);
}

void D_CTransInPlaceOutputPin::ReceiveAllocator(D_IMemAllocator* allocator)
{
    if (allocator != nullptr) allocator->AddRef();
    if (Allocator != nullptr) Allocator->Release();
    Allocator = allocator;
}

// ---- In-place transform: filter ----------------------------------------------------------------------

D_CTransInPlaceFilter::D_CTransInPlaceFilter(const wchar_t* objectName, D_IUnknown* outer, REFCLSID classId,
                                             HRESULT* result, BOOL modifiesData)
    : D_CTransformFilter(objectName, outer, classId), ModifiesData(modifiesData ? 1 : 0)
{
}

D_CBasePin* D_CTransInPlaceFilter::GetPin(int index)
{
    if (Input == nullptr) {
        HRESULT hr = S_OK;
        Input = new (__FILE__, __LINE__) D_CTransInPlaceInputPin(L"TransInPlace input pin", this, &hr, L"Input");
        if (Input != nullptr && FAILED(hr)) {
            delete Input;
            Input = nullptr;
        }
        if (Input == nullptr) return nullptr;
    }
    if (Output == nullptr) {
        HRESULT hr = S_OK;
        Output = new (__FILE__, __LINE__) D_CTransInPlaceOutputPin(L"TransInPlace output pin", this, &hr, L"Output");
        if (Output != nullptr && FAILED(hr)) {
            delete Output;
            Output = nullptr;
        }
        if (Output == nullptr) return nullptr;
    }
    if (index == 0) return Input;
    if (index == 1) return Output;
    return nullptr;
}

HRESULT D_CTransInPlaceFilter::CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) { return S_OK; }

HRESULT D_CTransInPlaceFilter::GetMediaType(int position, AM_MEDIA_TYPE* type) { return E_UNEXPECTED; }

HRESULT D_CTransInPlaceFilter::DecideBufferSize(D_IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties)
{
    if (allocator == nullptr || properties == nullptr) return E_POINTER;
    ALLOCATOR_PROPERTIES reference;
    memset(&reference, 0, sizeof(reference));
    reference.cBuffers = 1;
    reference.cbBuffer = 1;
    D_CTransInPlaceInputPin* input = InPlaceInput();
    if (input != nullptr && input->IsConnected() && input->PeekAllocator() != nullptr) {
        HRESULT hr = input->PeekAllocator()->GetProperties(&reference);
        if (FAILED(hr)) return hr;
    }
    if (reference.cBuffers < 1) reference.cBuffers = 1;
    if (reference.cbBuffer < 1) reference.cbBuffer = 1;
    if (reference.cbAlign < 1) reference.cbAlign = 1;
    properties->cBuffers = reference.cBuffers;
    properties->cbBuffer = reference.cbBuffer;
    properties->cbAlign = reference.cbAlign;
    ALLOCATOR_PROPERTIES actual;
    memset(&actual, 0, sizeof(actual));
    HRESULT hr = allocator->SetProperties(properties, &actual);
    if (FAILED(hr)) return hr;
    if (actual.cBuffers < reference.cBuffers || actual.cbBuffer < reference.cbBuffer ||
        actual.cbAlign < reference.cbAlign)
        return E_FAIL;
    return S_OK;
}

HRESULT D_CTransInPlaceFilter::ReconnectPin(D_IPin* pin, const AM_MEDIA_TYPE* type)
{
    if (Graph == nullptr) return VFW_E_NOT_IN_GRAPH;
    IFilterGraph2* graph2 = nullptr;
    if (SUCCEEDED(Graph->QueryInterface(IID_IFilterGraph2, (void**)&graph2)) && graph2 != nullptr) {
        HRESULT hr = graph2->ReconnectEx(reinterpret_cast<IPin*>(pin), type);
        graph2->Release();
        return hr;
    }
    return Graph->Reconnect(reinterpret_cast<IPin*>(pin));
}

HRESULT D_CTransInPlaceFilter::CompleteConnect(PIN_DIRECTION direction, D_IPin* receivePin)
{
    if (Graph == nullptr) return VFW_E_NOT_IN_GRAPH;
    D_CTransInPlaceInputPin* input = InPlaceInput();
    D_CTransInPlaceOutputPin* output = InPlaceOutput();
    if (direction == PINDIR_OUTPUT) {
        // Upstream is connected again so that it learns of the allocator downstream offers.
        if (input != nullptr && input->IsConnected()) return ReconnectPin(input->AsPin(), &output->ConnectionType);
    } else if (output != nullptr && output->IsConnected()) {
        if (!StrmBase_MediaType_Equal(&output->ConnectionType, &input->ConnectionType))
            return ReconnectPin(output->AsPin(), &input->ConnectionType);
    }
    return S_OK;
}

BOOL D_CTransInPlaceFilter::UsingDifferentAllocators() const
{
    D_CTransInPlaceInputPin* input = InPlaceInput();
    D_CTransInPlaceOutputPin* output = InPlaceOutput();
    if (input == nullptr || output == nullptr) return FALSE;
    return input->PeekAllocator() != output->PeekAllocator();
}

D_IMediaSample* D_CTransInPlaceFilter::Copy(D_IMediaSample* sample)
{
    AM_SAMPLE2_PROPERTIES* props = Input->GetSampleProps();
    BOOL timeValid = (props->dwSampleFlags & StrmBase_Sample_TimeValid) != 0;
    BOOL stopValid = (props->dwSampleFlags & StrmBase_Sample_StopValid) != 0;
    D_IMediaSample* out = nullptr;
    HRESULT hr = Output->GetDeliveryBuffer(&out, timeValid ? &props->tStart : nullptr, stopValid ? &props->tStop : nullptr,
                                           SampleSkipped ? AM_GBF_PREVFRAMESKIPPED : 0);
    if (FAILED(hr) || out == nullptr) return nullptr;

    D_IMediaSample2* out2 = nullptr;
    if (SUCCEEDED(out->QueryInterface(IID_IMediaSample2, (void**)&out2)) && out2 != nullptr) {
        AM_SAMPLE2_PROPERTIES copy = *props;
        copy.dwSampleFlags &= ~(DWORD)StrmBase_Sample_MediaTimeValid;
        if (SampleSkipped) copy.dwSampleFlags |= StrmBase_Sample_Discontinuity;
        copy.cbData = (DWORD)offsetof(AM_SAMPLE2_PROPERTIES, pbBuffer);
        hr = out2->SetProperties(copy.cbData, (const BYTE*)&copy);
        out2->Release();
        if (FAILED(hr)) {
            out->Release();
            return nullptr;
        }
    } else {
        if (timeValid) out->SetTime(&props->tStart, &props->tStop);
        if ((props->dwSampleFlags & StrmBase_Sample_SyncPoint) != 0) out->SetSyncPoint(TRUE);
        if ((props->dwSampleFlags & StrmBase_Sample_Discontinuity) != 0 || SampleSkipped) out->SetDiscontinuity(TRUE);
        if ((props->dwSampleFlags & StrmBase_Sample_Preroll) != 0) out->SetPreroll(TRUE);
        if ((props->dwSampleFlags & StrmBase_Sample_TypeChanged) != 0) out->SetMediaType(props->pMediaType);
    }
    SampleSkipped = 0;

    LONGLONG mediaStart = 0;
    LONGLONG mediaStop = 0;
    if (sample->GetMediaTime(&mediaStart, &mediaStop) == S_OK) out->SetMediaTime(&mediaStart, &mediaStop);
    long length = sample->GetActualDataLength();
    BYTE* source = nullptr;
    BYTE* destination = nullptr;
    if (length < 0 || out->SetActualDataLength(length) != S_OK || FAILED(sample->GetPointer(&source)) ||
        FAILED(out->GetPointer(&destination)) || (length > 0 && (source == nullptr || destination == nullptr))) {
        out->Release();
        return nullptr;
    }
    if (length > 0) memcpy(destination, source, (size_t)length);
    return out;
}

HRESULT D_CTransInPlaceFilter::ReceiveInPlace(D_IMediaSample* sample, BOOL falseSkips)
{
    if (sample == nullptr) return E_POINTER;
    AM_SAMPLE2_PROPERTIES* props = Input->GetSampleProps();
    if (props->dwStreamId != AM_STREAM_MEDIA) return Output->IsConnected() ? Output->Deliver(sample) : S_OK;
    // Samples of an upstream allocator downstream does not share are copied into a buffer of ours.
    D_IMediaSample* work = sample;
    BOOL copied = FALSE;
    if (UsingDifferentAllocators()) {
        work = Copy(sample);
        if (work == nullptr) return E_UNEXPECTED;
        copied = TRUE;
    }
    HRESULT hr = TransformInPlace(work);
    if (hr == S_OK || falseSkips) hr = DeliverTransformed(hr, work);
    if (copied) work->Release();
    return hr;
}

HRESULT D_CTransInPlaceFilter::Receive(D_IMediaSample* sample) { return ReceiveInPlace(sample, TRUE); }

}  // namespace Vantrel
