// VtUseCStrmBaseFilterRenderer: the base of a filter that consumes samples at their presentation
// time (state machine, scheduling on the graph's reference clock, end of stream, flushing) and its
// video form, which decides per sample whether to draw, wait or drop, sends quality messages
// upstream and keeps the frame statistics that IQualProp reports.
#pragma once

#include "image/VtBaseImage.h"
#include "movie/directshow/VtUseCStrmBaseFilter.h"

namespace Vantrel {

class D_CBaseRenderer;

class D_CRendererInputPin : public D_CBaseInputPin {
public:
    D_CBaseRenderer* Renderer;

    D_CRendererInputPin(D_CBaseRenderer* renderer, HRESULT* result, const wchar_t* pinName);

    HRESULT Active() override;
    HRESULT Inactive() override;
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT SetMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT CheckConnect(D_IPin* pin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(D_IPin* receivePin) override;
    HRESULT Run(REFERENCE_TIME start) override;

    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;
    HRESULT STDMETHODCALLTYPE Receive(D_IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;
};

class D_CBaseRenderer : public D_CBaseFilter {
public:
    D_CRendererPosPassThru* Position;
    D_CAMEvent RenderEvent;    // auto reset: the sample is due
    D_CAMEvent ThreadSignal;   // manual reset: releases a streaming thread waiting for render time
    D_CAMEvent CompleteEvent;  // manual reset: set when the state change is complete
    int32_t Abort;
    int32_t Streaming;
    DWORD_PTR AdviseToken;
    D_IMediaSample* PendingSample;
    int32_t EndOfStreamFlag;
    int32_t EndOfStreamDelivered;
    D_CRendererInputPin* InputPin;
    D_CCritSec InterfaceLock;  // the filter lock
    D_CCritSec RendererLock;
    D_IQualityControl* QualitySink;
    int32_t RepaintStatus;
    int32_t InReceive;
    REFERENCE_TIME SignalTime;
    UINT EndOfStreamTimer;
    D_CCritSec ObjectCreationLock;

    D_CBaseRenderer(REFCLSID classId, const wchar_t* objectName, D_IUnknown* outer, HRESULT* result);
    ~D_CBaseRenderer() override;

    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;
    int GetPinCount() override;
    D_CBasePin* GetPin(int index) override;

    // IMediaFilter and IBaseFilter.
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
    HRESULT STDMETHODCALLTYPE GetState(DWORD timeout, FILTER_STATE* state) override;
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, D_IPin** pin) override;

    virtual HRESULT GetMediaPositionInterface(REFIID iid, void** object);
    virtual HRESULT SourceThreadCanWait(BOOL canWait);
    virtual HRESULT WaitForRenderTime();
    virtual HRESULT CompleteStateChange(int32_t oldState);
    virtual void OnReceiveFirstSample(D_IMediaSample* sample);
    virtual void OnRenderStart(D_IMediaSample* sample);
    virtual void OnRenderEnd(D_IMediaSample* sample);
    virtual HRESULT OnStartStreaming();
    virtual HRESULT OnStopStreaming();
    virtual void OnWaitStart();
    virtual void OnWaitEnd();
    virtual void PrepareRender();
    virtual BOOL ScheduleSample(D_IMediaSample* sample);
    virtual HRESULT GetSampleTimes(D_IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* end);
    virtual HRESULT ShouldDrawSampleNow(D_IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* end);
    virtual HRESULT SendEndOfStream();
    virtual HRESULT ResetEndOfStream();
    virtual HRESULT EndOfStream();
    virtual HRESULT CancelNotification();
    virtual HRESULT ClearPendingSample();
    virtual HRESULT Active();
    virtual HRESULT Inactive();
    virtual HRESULT StartStreaming();
    virtual HRESULT StopStreaming();
    virtual HRESULT BeginFlush();
    virtual HRESULT EndFlush();
    virtual HRESULT BreakConnect();
    virtual HRESULT SetMediaType(const AM_MEDIA_TYPE* type);
    virtual HRESULT CompleteConnect(D_IPin* receivePin);
    virtual HRESULT PrepareReceive(D_IMediaSample* sample);
    virtual HRESULT Receive(D_IMediaSample* sample);
    virtual BOOL HaveCurrentSample();
    virtual D_IMediaSample* GetCurrentSample();
    virtual HRESULT Render(D_IMediaSample* sample);
    virtual HRESULT DoRenderSample(D_IMediaSample* sample) = 0;
    virtual HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) = 0;

    HRESULT NotifyEndOfStream();
    // Commits the input pin's allocator when the filter goes paused or running from the old state.
    HRESULT CommitFromState(int32_t oldState);
    void WaitForReceiveToComplete();
    void SetRepaintStatus(int32_t repaint);
    void KillEndOfStreamTimer();
    void Ready() { CompleteEvent.Set(); }
    void NotReady() { CompleteEvent.Reset(); }
    BOOL IsStreaming() const { return Streaming != 0; }
    BOOL IsEndOfStream() const { return EndOfStreamFlag != 0; }
    BOOL IsEndOfStreamDelivered() const { return EndOfStreamDelivered != 0; }
};

// Whether the multimedia timer offers TIME_KILL_SYNCHRONOUS (Windows XP and later), looked up once.
BOOL StrmBase_TimerKillSynchronousSupported();

class D_CBaseVideoRenderer : public D_CBaseRenderer, public D_IQualProp, public D_IQualityControl {
public:
    int32_t NormalCounter;  // -1 right after a drop
    int32_t SupplierHandlingQuality;
    int32_t Throttle;       // 100-ns units
    int32_t AvgRender;
    int32_t LastRender;
    int32_t RenderStart;    // milliseconds
    int32_t Earliness;
    int32_t Target;
    int32_t AvgWait;
    int32_t AvgFrameTime;   // -1 while unknown
    int32_t FrameDuration;
    LONGLONG LastDraw;
    LONGLONG RememberedStamp;
    int32_t FramesDropped;
    int32_t FramesDrawn;
    LONGLONG SumLateness;        // milliseconds
    LONGLONG SumSquaredLateness;
    LONGLONG SumSquaredFrameTime;
    LONGLONG SumFrameTime;
    int32_t LastLateness;        // 100-ns units
    int32_t LastFrameTime;       // 100-ns units
    int32_t StreamingTime;       // start while streaming, duration afterwards (milliseconds)
    D_IQualityControl* VideoQualitySink;  // set through IQualityControl::SetSink, not referenced

    D_CBaseVideoRenderer(REFCLSID classId, const wchar_t* objectName, D_IUnknown* outer, HRESULT* result);
    ~D_CBaseVideoRenderer() override;

    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;

    void OnRenderStart(D_IMediaSample* sample) override;
    void OnRenderEnd(D_IMediaSample* sample) override;
    HRESULT OnStartStreaming() override;
    HRESULT OnStopStreaming() override;
    BOOL ScheduleSample(D_IMediaSample* sample) override;
    HRESULT ShouldDrawSampleNow(D_IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* end) override;

    virtual void RecordFrameLateness(int lateness, int frameTime);
    virtual void OnDirectRender(D_IMediaSample* sample);
    virtual HRESULT ResetStreamingTimes();
    virtual HRESULT SendQuality(REFERENCE_TIME lateness, REFERENCE_TIME realStream);

    // IQualProp.
    HRESULT STDMETHODCALLTYPE get_FramesDroppedInRenderer(int* frames) override;
    HRESULT STDMETHODCALLTYPE get_FramesDrawn(int* frames) override;
    HRESULT STDMETHODCALLTYPE get_AvgFrameRate(int* rate) override;
    HRESULT STDMETHODCALLTYPE get_Jitter(int* jitter) override;
    HRESULT STDMETHODCALLTYPE get_AvgSyncOffset(int* offset) override;
    HRESULT STDMETHODCALLTYPE get_DevSyncOffset(int* deviation) override;

    // IQualityControl.
    HRESULT STDMETHODCALLTYPE Notify(D_IBaseFilter* sender, Quality quality) override;
    HRESULT STDMETHODCALLTYPE SetSink(D_IQualityControl* sink) override;

    void ThrottleWait();
    // Standard deviation of n values from their sum of squares and their sum; 0 without a clock or n <= 1.
    int GetStdDev(int count, LONGLONG sumOfSquares, LONGLONG total);
};

// Integer square root as the statistics use it: 0x8000 above 0x40000000, three Newton steps otherwise.
int StrmBase_IntegerSquareRoot(int value);

// The library's movie renderer: a windowless video renderer that keeps each drawn frame in a buffer
// of its own (XRGB8 for the YUV subtypes, converted on the streaming thread) and, for YUV movies on
// hardware with shader model 2 or better, a Y plane and an interleaved UV plane; every rendered
// frame raises NewFrame, which the movie's update on the main thread takes down.
class D_CMovieRender : public D_CBaseVideoRenderer {
public:
    int32_t MediaTypeSet;
    int32_t NoPlanes;             // no Y/UV planes are made (shader model below 2.0)
    int32_t FirstFrameConverted;
    int32_t Reserved;
    int32_t Yuv;                  // the subtype is YUV (converted to XRGB8 here)
    BaseImage* ConvertImage;      // XRGB8 of Width x Height, made on demand for YUV subtypes
    int32_t Subtype;              // MovieRenderSubtype
    uint32_t Palette[256];        // RGB8: the format's colour table (blue, green, red, reserved)
    uint8_t* FrameBuffer;         // FramePitch x Height bytes, top row first
    uint8_t* PlaneBlock;          // Y plane, then the UV plane
    uint8_t* UVPlane;
    volatile int32_t NewFrame;
    int32_t BottomUp;
    int32_t Width, Height, FramePitch;
    int32_t YWidth, YHeight, YPitch;
    int32_t UVWidth, UVHeight, UVPitch;
    int64_t PlaneBlockBytes;

    D_CMovieRender(D_IUnknown* outer, HRESULT* result);
    ~D_CMovieRender() override;

    HRESULT SetMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT DoRenderSample(D_IMediaSample* sample) override;
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;

    // Makes the buffers the current type needs and does not have yet. 0 / -1.
    int AllocateBuffers();
    void FreeBuffers();
    // Bytes a sample of the current type must hold.
    int64_t SampleBytesNeeded() const;
};

// The movie renderer's subtype codes.
enum MovieRenderSubtype : int32_t {
    MovieRender_RGB24 = 0, MovieRender_RGB32 = 1, MovieRender_YV12 = 2, MovieRender_NV12 = 3,
    MovieRender_YUY2 = 4, MovieRender_UYVY = 5, MovieRender_YVYU = 6, MovieRender_NV11 = 7,
    MovieRender_RGB565 = 8, MovieRender_RGB555 = 9, MovieRender_RGB8 = 10,
};

extern const CLSID CLSID_D_MovieRender;

// A movie renderer (S_OK in `result`), or null.
D_CMovieRender* StrmBase_MovieRender_Create(D_IUnknown* outer, HRESULT* result);

}  // namespace Vantrel
