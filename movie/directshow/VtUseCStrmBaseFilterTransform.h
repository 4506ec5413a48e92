// VtUseCStrmBaseFilterTransform: the transform filters of the library's DirectShow classes (one
// input, one output): the copying transform and the in-place transform with their pins, the sample
// grabber built on the in-place transform, and the WAV writer built on the copying one.
#pragma once

#include "movie/directshow/VtUseCStrmBaseFilter.h"

namespace Vantrel {

class D_CTransformFilter;
class D_CTransInPlaceFilter;
class D_CSampleGrabber;

// ---- Copying transform -------------------------------------------------------------------------------
class D_CTransformInputPin : public D_CBaseInputPin {
public:
    D_CTransformFilter* TransformFilter;

    D_CTransformInputPin(const wchar_t* objectName, D_CTransformFilter* filter, HRESULT* result, const wchar_t* pinName);

    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;
    HRESULT CheckConnect(D_IPin* pin) override;
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT SetMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(D_IPin* receivePin) override;
    HRESULT Inactive() override;
    HRESULT CheckStreaming() override;
    HRESULT STDMETHODCALLTYPE Receive(D_IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
};

class D_CTransformOutputPin : public D_CBaseOutputPin {
public:
    D_CTransformFilter* TransformFilter;
    IUnknown* Position;  // the system's seeking pass-through, aggregated by this pin

    D_CTransformOutputPin(const wchar_t* objectName, D_CTransformFilter* filter, HRESULT* result,
                          const wchar_t* pinName);
    ~D_CTransformOutputPin() override;

    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;
    HRESULT CheckConnect(D_IPin* pin) override;
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT SetMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* type) override;
    HRESULT CompleteConnect(D_IPin* receivePin) override;
    HRESULT BreakConnect() override;
    HRESULT DecideBufferSize(D_IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) override;
    HRESULT STDMETHODCALLTYPE Notify(D_IBaseFilter* sender, Quality quality) override;
};

class D_CTransformFilter : public D_CBaseFilter {
public:
    int32_t EndOfStreamSent;
    int32_t SampleSkipped;
    int32_t QualityChanged;
    D_CCritSec TransformLock;  // the filter lock
    D_CCritSec ReceiveLock;
    D_CTransformInputPin* Input;
    D_CTransformOutputPin* Output;

    D_CTransformFilter(const wchar_t* objectName, D_IUnknown* outer, REFCLSID classId);
    ~D_CTransformFilter() override;

    int GetPinCount() override;
    D_CBasePin* GetPin(int index) override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, D_IPin** pin) override;

    virtual HRESULT Transform(D_IMediaSample* in, D_IMediaSample* out);
    virtual HRESULT CheckInputType(const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) = 0;
    virtual HRESULT DecideBufferSize(D_IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) = 0;
    virtual HRESULT GetMediaType(int position, AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT StartStreaming();
    virtual HRESULT StopStreaming();
    virtual HRESULT AlterQuality(Quality quality);
    virtual HRESULT SetMediaType(PIN_DIRECTION direction, const AM_MEDIA_TYPE* type);
    virtual HRESULT CheckConnect(PIN_DIRECTION direction, D_IPin* pin);
    virtual HRESULT BreakConnect(PIN_DIRECTION direction);
    virtual HRESULT CompleteConnect(PIN_DIRECTION direction, D_IPin* receivePin);
    virtual HRESULT Receive(D_IMediaSample* sample);
    virtual HRESULT EndOfStream();
    virtual HRESULT BeginFlush();
    virtual HRESULT EndFlush();
    virtual HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

    // A delivery buffer whose properties follow the input sample's.
    HRESULT InitializeOutputSample(D_IMediaSample* sample, D_IMediaSample** out);
    // Delivers a transformed sample (S_OK), or counts a deliberate drop (S_FALSE, answered S_OK).
    HRESULT DeliverTransformed(HRESULT transformed, D_IMediaSample* out);
};

// ---- In-place transform ------------------------------------------------------------------------------
class D_CTransInPlaceInputPin : public D_CTransformInputPin {
public:
    D_CTransInPlaceFilter* InPlaceFilter;
    int32_t InPlaceReadOnly;

    D_CTransInPlaceInputPin(const wchar_t* objectName, D_CTransInPlaceFilter* filter, HRESULT* result,
                            const wchar_t* pinName);

    HRESULT STDMETHODCALLTYPE EnumMediaTypes(D_IEnumMediaTypes** types) override;
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT CompleteConnect(D_IPin* receivePin) override;
    HRESULT STDMETHODCALLTYPE GetAllocator(D_IMemAllocator** allocator) override;
    HRESULT STDMETHODCALLTYPE NotifyAllocator(D_IMemAllocator* allocator, BOOL readOnly) override;
    HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;
    D_IMemAllocator* PeekAllocator() const { return Allocator; }
};

class D_CTransInPlaceOutputPin : public D_CTransformOutputPin {
public:
    D_CTransInPlaceFilter* InPlaceFilter;

    D_CTransInPlaceOutputPin(const wchar_t* objectName, D_CTransInPlaceFilter* filter, HRESULT* result,
                             const wchar_t* pinName);

    HRESULT STDMETHODCALLTYPE EnumMediaTypes(D_IEnumMediaTypes** types) override;
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT CompleteConnect(D_IPin* receivePin) override;
    // Keeps an allocator the input pin obtained downstream.
    void ReceiveAllocator(D_IMemAllocator* allocator);
    D_IMemAllocator* PeekAllocator() const { return Allocator; }
    D_IMemInputPin* ConnectedMemInputPin() const { return InputPin; }
};

class D_CTransInPlaceFilter : public D_CTransformFilter {
public:
    int32_t ModifiesData;

    D_CTransInPlaceFilter(const wchar_t* objectName, D_IUnknown* outer, REFCLSID classId, HRESULT* result,
                          BOOL modifiesData);

    D_CBasePin* GetPin(int index) override;
    HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) override;
    HRESULT DecideBufferSize(D_IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) override;
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* type) override;
    HRESULT CompleteConnect(PIN_DIRECTION direction, D_IPin* receivePin) override;
    HRESULT Receive(D_IMediaSample* sample) override;
    virtual HRESULT TransformInPlace(D_IMediaSample* sample) = 0;

    // Transforms a media sample (a copy of it where the allocators differ) and delivers it; other streams
    // pass straight on. A transform's S_FALSE is a skip when falseSkips is set, else it is returned.
    HRESULT ReceiveInPlace(D_IMediaSample* sample, BOOL falseSkips);
    // A delivery buffer holding a copy of the sample (null on failure).
    D_IMediaSample* Copy(D_IMediaSample* sample);
    BOOL UsingDifferentAllocators() const;
    D_CTransInPlaceInputPin* InPlaceInput() const { return static_cast<D_CTransInPlaceInputPin*>(Input); }
    D_CTransInPlaceOutputPin* InPlaceOutput() const { return static_cast<D_CTransInPlaceOutputPin*>(Output); }
    // Reconnects the pin with the type through the graph (ReconnectEx where offered).
    HRESULT ReconnectPin(D_IPin* pin, const AM_MEDIA_TYPE* type);
};

// ---- Sample grabber ----------------------------------------------------------------------------------
class D_CSampleGrabberInPin;

// Delivers into the caller's buffer: its samples lie over the delivery buffer, which it never frees.
class D_CSampleGrabberAllocator : public D_CMemAllocator {
public:
    D_CSampleGrabberInPin* OwnerPin;

    D_CSampleGrabberAllocator(D_CSampleGrabberInPin* owner, HRESULT* result);
    ~D_CSampleGrabberAllocator() override;
    void Free() override;
    HRESULT Alloc() override;
    HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
};

class D_CSampleGrabberInPin : public D_CTransInPlaceInputPin {
public:
    D_CSampleGrabber* Grabber;
    int32_t Reserved;
    D_CSampleGrabberAllocator* DeliveryAllocator;
    ALLOCATOR_PROPERTIES DeliveryProperties;
    BYTE* DeliveryBuffer;
    int32_t MediaTypeChanged;

    D_CSampleGrabberInPin(D_CSampleGrabber* grabber, HRESULT* result);
    ~D_CSampleGrabberInPin() override;

    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(D_IEnumMediaTypes** types) override;
    HRESULT STDMETHODCALLTYPE GetAllocator(D_IMemAllocator** allocator) override;
    HRESULT STDMETHODCALLTYPE NotifyAllocator(D_IMemAllocator* allocator, BOOL readOnly) override;
    HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;
    HRESULT SetMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT SetDeliveryBuffer(const ALLOCATOR_PROPERTIES& properties, BYTE* buffer);
};

class D_CSampleGrabber : public D_CTransInPlaceFilter, public D_IGrabberSample {
public:
    AM_MEDIA_TYPE AcceptedType;
    D_CCritSec CallbackLock;
    StrmBase_SampleCallback Callback;
    void* CallbackUser;

    D_CSampleGrabber(D_IUnknown* outer, HRESULT* result, BOOL modifiesData);
    ~D_CSampleGrabber() override;

    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    int GetPinCount() override;
    D_CBasePin* GetPin(int index) override;
    // Transform, CheckTransform, GetMediaType, the streaming, quality and connection steps: the bases'.
    HRESULT CheckInputType(const AM_MEDIA_TYPE* type) override;
    HRESULT Receive(D_IMediaSample* sample) override;
    HRESULT TransformInPlace(D_IMediaSample* sample) override;

    // D_IGrabberSample.
    HRESULT STDMETHODCALLTYPE SetAcceptedMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE GetConnectedMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE SetCallback(StrmBase_SampleCallback callback, void* user) override;
    HRESULT STDMETHODCALLTYPE SetDeliveryBuffer(ALLOCATOR_PROPERTIES properties, BYTE* buffer) override;

    D_CSampleGrabberInPin* GrabberInput() const { return static_cast<D_CSampleGrabberInPin*>(Input); }
    D_IGrabberSample* AsGrabberSample() { return static_cast<D_IGrabberSample*>(this); }
};

// {2FA4F053-6D60-4CB0-9503-8E89234F3F73}
extern const CLSID CLSID_D_SampleGrabber;

// A grabber that passes samples on unchanged (null with E_OUTOFMEMORY in result when it cannot be made).
D_CSampleGrabber* StrmBase_SampleGrabber_Create(D_IUnknown* outer, HRESULT* result);

// ---- WAV writer --------------------------------------------------------------------------------------
class D_CWavDestOutputPin : public D_CTransformOutputPin {
public:
    D_CWavDestOutputPin(D_CTransformFilter* filter, HRESULT* result);
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(D_IEnumMediaTypes** types) override;
};

class D_CWavDestFilter : public D_CTransformFilter {
public:
    uint32_t DataBytes;
    uint32_t HeaderSize;

    D_CWavDestFilter(D_IUnknown* outer, HRESULT* result);

    HRESULT Transform(D_IMediaSample* in, D_IMediaSample* out) override;
    HRESULT CheckInputType(const AM_MEDIA_TYPE* type) override;
    HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) override;
    HRESULT DecideBufferSize(D_IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) override;
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* type) override;
    HRESULT StartStreaming() override;
    HRESULT StopStreaming() override;
    HRESULT Receive(D_IMediaSample* sample) override;
    const StrmBase_FilterSetup* GetSetupData() override;
};

// {3C78B8E2-6C4D-11D1-ADE2-0000F8754B99}
extern const CLSID CLSID_D_WavDest;

D_CWavDestFilter* StrmBase_WavDest_Create(D_IUnknown* outer, HRESULT* result);

// One row of a class factory's template table.
struct StrmBase_FactoryTemplate {
    const wchar_t* Name;
    const CLSID* ClassId;
    D_CBaseFilter* (*Create)(D_IUnknown* outer, HRESULT* result);
    void (*Initialise)(BOOL loading, const CLSID* classId);
    const StrmBase_FilterSetup* Setup;
};

// The WAV writer's template table, for a COM class factory to serve.
extern const StrmBase_FactoryTemplate StrmBase_WavDest_Templates[];
extern const int StrmBase_WavDest_TemplateCount;

}  // namespace Vantrel
