// VtUseCStrmBaseFilterVideoRenderer: the video form of the renderer base: per sample it decides
// whether to draw now, wait for the sample's time or drop it, tells the upstream filter how it keeps
// up, throttles itself when told to, and keeps the frame statistics IQualProp reports.
#include "foundation/VtBaseFunc.h"
#include "movie/directshow/VtUseCStrmBaseFilterInternal.h"
#include "movie/directshow/VtUseCStrmBaseFilterRenderer.h"

namespace Vantrel {

// Times here are in 100-ns units unless named otherwise.
constexpr LONGLONG StrmBase_OneSecond = 10000000;
constexpr int32_t StrmBase_EarlyDraw = 80000;  // samples are drawn this much before their time (8 ms)

D_CBaseVideoRenderer::D_CBaseVideoRenderer(REFCLSID classId, const wchar_t* objectName, D_IUnknown* outer,
                                           HRESULT* result)
    : D_CBaseRenderer(classId, objectName, outer, result),
      SupplierHandlingQuality(0),
      FramesDropped(0),
      FramesDrawn(0),
      VideoQualitySink(nullptr)
{
    ResetStreamingTimes();
}

D_CBaseVideoRenderer::~D_CBaseVideoRenderer() {}

HRESULT STDMETHODCALLTYPE D_CBaseVideoRenderer::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IQualProp) return StrmBase_GetInterface(static_cast<D_IQualProp*>(this), object);
    if (iid == IID_IQualityControl) return StrmBase_GetInterface(static_cast<D_IQualityControl*>(this), object);
    return D_CBaseRenderer::NonDelegatingQueryInterface(iid, object);
}

HRESULT STDMETHODCALLTYPE D_CBaseVideoRenderer::QueryInterface(REFIID iid, void** object)
{
    return D_CBaseRenderer::QueryInterface(iid, object);
}

ULONG STDMETHODCALLTYPE D_CBaseVideoRenderer::AddRef() { return D_CBaseRenderer::AddRef(); }

ULONG STDMETHODCALLTYPE D_CBaseVideoRenderer::Release() { return D_CBaseRenderer::Release(); }

HRESULT STDMETHODCALLTYPE D_CBaseVideoRenderer::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name)
{
    if (graph == nullptr && Graph != nullptr)
        NotifyEvent(EC_WINDOW_DESTROYED, (LONG_PTR)StrmBase_AsIBaseFilter(this), 0);
    return D_CBaseRenderer::JoinFilterGraph(graph, name);
}

HRESULT STDMETHODCALLTYPE D_CBaseVideoRenderer::Notify(D_IBaseFilter* sender, Quality quality)
{
    // A negative proportion has no meaning; it would also divide by zero below.
    if (quality.Proportion < 0) return E_INVALIDARG;
    if (quality.Proportion < 1000)
        Throttle = (int32_t)(388880000 / (quality.Proportion + 167) - 330000);
    else
        Throttle = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseVideoRenderer::SetSink(D_IQualityControl* sink)
{
    VideoQualitySink = sink;
    return S_OK;
}

HRESULT D_CBaseVideoRenderer::OnStartStreaming() { return ResetStreamingTimes(); }

HRESULT D_CBaseVideoRenderer::OnStopStreaming()
{
    StreamingTime = (int32_t)(WinAPITable.timeGetTime() - (DWORD)StreamingTime);
    return S_OK;
}

HRESULT D_CBaseVideoRenderer::ResetStreamingTimes()
{
    LastDraw = -1000;
    StreamingTime = (int32_t)WinAPITable.timeGetTime();
    AvgRender = 0;
    AvgFrameTime = -1;
    FrameDuration = 0;
    LastRender = 0;
    AvgWait = 0;
    RenderStart = 0;
    FramesDrawn = 0;
    FramesDropped = 0;
    SumLateness = 0;
    SumSquaredLateness = 0;
    SumFrameTime = 0;
    SumSquaredFrameTime = 0;
    LastFrameTime = 0;
    LastLateness = 0;
    NormalCounter = 0;
    Earliness = 0;
    Target = -300000;
    Throttle = 0;
    RememberedStamp = 0;
    return S_OK;
}

BOOL D_CBaseVideoRenderer::ScheduleSample(D_IMediaSample* sample)
{
    BOOL scheduled = D_CBaseRenderer::ScheduleSample(sample);
    if (!scheduled) FramesDropped++;
    return scheduled;
}

void D_CBaseVideoRenderer::ThrottleWait()
{
    if (Throttle > 0)
        WinAPITable.Sleep((DWORD)(Throttle / 10000));
    else
        WinAPITable.Sleep(0);
}

void D_CBaseVideoRenderer::OnRenderStart(D_IMediaSample* sample)
{
    RecordFrameLateness(LastLateness, LastFrameTime);
    RenderStart = (int32_t)WinAPITable.timeGetTime();
}

void D_CBaseVideoRenderer::OnRenderEnd(D_IMediaSample* sample)
{
    int32_t took = StrmBase_ClampTime((LONGLONG)(int32_t)(WinAPITable.timeGetTime() - (DWORD)RenderStart) * 10000);
    if (took < 2 * AvgRender || took < 2 * LastRender) AvgRender = (took + 3 * AvgRender) / 4;
    LastRender = took;
    ThrottleWait();
}

void D_CBaseVideoRenderer::OnDirectRender(D_IMediaSample* sample)
{
    AvgRender = 0;
    LastRender = 5000000;
    RecordFrameLateness(LastLateness, LastFrameTime);
    ThrottleWait();
}

void D_CBaseVideoRenderer::RecordFrameLateness(int lateness, int frameTime)
{
    int late = lateness / 10000;
    if (late > 1000 || late < -1000) {
        // Far-off frames (start-up) would spoil the figures.
        if (FramesDrawn <= 1)
            late = 0;
        else
            late = late > 0 ? 1000 : -1000;
    }
    if (FramesDrawn > 1) {
        SumLateness += late;
        SumSquaredLateness += (LONGLONG)late * late;
    }
    if (FramesDrawn > 2) {
        int frame = frameTime / 10000;
        if (frame > 1000 || frame < 0) frame = 1000;
        SumFrameTime += frame;
        SumSquaredFrameTime += (LONGLONG)frame * frame;
    }
    FramesDrawn++;
}

HRESULT D_CBaseVideoRenderer::SendQuality(REFERENCE_TIME lateness, REFERENCE_TIME realStream)
{
    Quality quality;
    quality.Type = (AvgFrameTime >= 0 && AvgFrameTime <= 2 * AvgRender) ? Flood : Famine;
    quality.Proportion = 1000;
    if (AvgFrameTime >= 0) {
        if (lateness > 0) {
            LONGLONG proportion = 1000 - lateness / 10000;
            quality.Proportion = (long)(proportion < 500 ? 500 : proportion);
        } else if (AvgWait > 20000 && lateness < -20000) {
            LONGLONG proportion = 2000;
            if (AvgWait < AvgFrameTime)
                proportion = 1000 * ((LONGLONG)AvgFrameTime / ((LONGLONG)AvgFrameTime + 20000 - AvgWait));
            quality.Proportion = (long)(proportion > 2000 ? 2000 : proportion);
        }
    }
    quality.Late = lateness + AvgRender / 2;
    quality.TimeStamp = realStream;

    D_IQualityControl* sink = VideoQualitySink;
    if (sink == nullptr) {
        if (QualitySink == nullptr && InputPin != nullptr && InputPin->GetConnected() != nullptr) {
            D_IQualityControl* upstream = nullptr;
            if (SUCCEEDED(InputPin->GetConnected()->QueryInterface(IID_IQualityControl, (void**)&upstream)))
                QualitySink = upstream;
        }
        sink = QualitySink;
    }
    if (sink == nullptr) return S_FALSE;
    return sink->Notify(AsBaseFilter(), quality);
}

HRESULT D_CBaseVideoRenderer::ShouldDrawSampleNow(D_IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* end)
{
    if (Clock == nullptr) return S_OK;
    // Drawn a little early so that the frame is up by its time.
    if (*start >= StrmBase_EarlyDraw) {
        *start -= StrmBase_EarlyDraw;
        *end -= StrmBase_EarlyDraw;
    }
    REFERENCE_TIME now = 0;
    Clock->GetTime(&now);
    const REFERENCE_TIME realStream = now - StartTime;
    const int32_t trueLate = StrmBase_ClampTime(realStream - *start);
    const int32_t duration = StrmBase_ClampTime(*end - *start);

    HRESULT quality = SendQuality(trueLate, realStream);
    SupplierHandlingQuality = quality == S_OK ? 1 : 0;

    if (duration - FrameDuration > FrameDuration / 32 || FrameDuration - duration > FrameDuration / 32) {
        AvgFrameTime = duration;
        FrameDuration = duration;
    }

    const BOOL justDropped =
        (SupplierHandlingQuality && sample->IsDiscontinuity() == S_OK) || NormalCounter == -1;
    if (trueLate > 0)
        Earliness = 0;
    else if (trueLate >= Earliness || justDropped)
        Earliness = trueLate;
    else
        Earliness -= Earliness / 8;

    const int32_t newAvgWait = (int32_t)(((LONGLONG)(trueLate < 0 ? -trueLate : 0) + 3LL * AvgWait) / 4);
    const LONGLONG sinceDraw = realStream - LastDraw;
    const int32_t frameTime = StrmBase_ClampTime(sinceDraw > StrmBase_OneSecond ? StrmBase_OneSecond : sinceDraw);

    BOOL draw = 3LL * AvgRender <= AvgFrameTime;
    if (!draw)
        draw = SupplierHandlingQuality ? trueLate <= 4LL * duration : 2LL * trueLate < duration;
    if (!draw) draw = newAvgWait > 80000;  // long waits: the decoder is well ahead
    if (!draw) draw = sinceDraw > StrmBase_OneSecond;
    if (!draw) {
        AvgWait = newAvgWait;
        NormalCounter = -1;
        return E_FAIL;
    }

    BOOL playNow = justDropped || (AvgFrameTime > duration + duration / 16 && trueLate > -10LL * duration);
    if (trueLate < -9000000) playNow = FALSE;
    if (playNow) {
        NormalCounter = 0;
        AvgWait = 3 * AvgWait / 4;
        AvgFrameTime = (int32_t)(((LONGLONG)frameTime + 3LL * AvgFrameTime) / 4);
        LastDraw = realStream;
        if (trueLate < Earliness) Earliness = trueLate;
        LastLateness = trueLate;
        LastFrameTime = frameTime;
        return S_OK;
    }

    NormalCounter++;
    AvgFrameTime = duration;
    const REFERENCE_TIME originalStart = *start;
    *start += Earliness > -AvgFrameTime ? Earliness : -AvgFrameTime;
    AvgWait = newAvgWait;
    if (trueLate >= 0) {
        LastLateness = trueLate;
        LastFrameTime = frameTime;
        LastDraw = realStream;
        return S_OK;
    }
    // Drawn when the clock reaches the (moved) start: the figures are those of that moment.
    RememberedStamp = *start;
    LastLateness = StrmBase_ClampTime(*start - originalStart);
    const LONGLONG untilDraw = *start - LastDraw;
    LastFrameTime = StrmBase_ClampTime(untilDraw > StrmBase_OneSecond ? StrmBase_OneSecond : untilDraw);
    LastDraw = *start;
    return S_FALSE;
}

// ---- Statistics --------------------------------------------------------------------------------------

int StrmBase_IntegerSquareRoot(int value)
{
    if (value <= 0) return 0;
    if (value > 0x40000000) return 0x8000;
    int root = 1;
    while ((LONGLONG)root * root < value) root *= 2;
    for (int step = 0; step < 3; step++) root = (root + value / root) / 2;
    return root;
}

int D_CBaseVideoRenderer::GetStdDev(int count, LONGLONG sumOfSquares, LONGLONG total)
{
    if (Clock == nullptr || count <= 1) return 0;
    // total x total / count with a 128-bit product.
    uint64_t magnitude = (uint64_t)(total < 0 ? -total : total);
    uint32_t factor[2] = {(uint32_t)magnitude, (uint32_t)(magnitude >> 32)};
    uint32_t product[4];
    BaseFunc_Mul64To128(factor, factor, product);
    uint32_t divisor[2] = {(uint32_t)count, 0};
    uint32_t quotient[2];
    BaseFunc_Div128By64(product, divisor, quotient);
    uint64_t mean = ((uint64_t)quotient[1] << 32) | quotient[0];
    if (sumOfSquares <= 0 || (uint64_t)sumOfSquares <= mean) return 0;
    uint64_t variance = ((uint64_t)sumOfSquares - mean) / (uint64_t)(count - 1);
    return StrmBase_IntegerSquareRoot(variance > 0x7FFFFFFF ? 0x7FFFFFFF : (int)variance);
}

HRESULT STDMETHODCALLTYPE D_CBaseVideoRenderer::get_FramesDroppedInRenderer(int* frames)
{
    if (frames == nullptr) return E_POINTER;
    StrmBase_AutoLock lock(&InterfaceLock);
    *frames = FramesDropped;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseVideoRenderer::get_FramesDrawn(int* frames)
{
    if (frames == nullptr) return E_POINTER;
    StrmBase_AutoLock lock(&InterfaceLock);
    *frames = FramesDrawn;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseVideoRenderer::get_AvgFrameRate(int* rate)
{
    if (rate == nullptr) return E_POINTER;
    StrmBase_AutoLock lock(&InterfaceLock);
    int streamed = Streaming ? (int)(WinAPITable.timeGetTime() - (DWORD)StreamingTime) : StreamingTime;
    *rate = streamed > 0 ? WinAPITable.MulDiv(FramesDrawn, 100000, streamed) : 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseVideoRenderer::get_Jitter(int* jitter)
{
    if (jitter == nullptr) return E_POINTER;
    StrmBase_AutoLock lock(&InterfaceLock);
    *jitter = GetStdDev(FramesDrawn - 2, SumSquaredFrameTime, SumFrameTime);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseVideoRenderer::get_AvgSyncOffset(int* offset)
{
    if (offset == nullptr) return E_POINTER;
    StrmBase_AutoLock lock(&InterfaceLock);
    *offset = (Clock != nullptr && FramesDrawn > 1) ? (int)(SumLateness / (FramesDrawn - 1)) : 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseVideoRenderer::get_DevSyncOffset(int* deviation)
{
    if (deviation == nullptr) return E_POINTER;
    StrmBase_AutoLock lock(&InterfaceLock);
    *deviation = GetStdDev(FramesDrawn - 1, SumSquaredLateness, SumLateness);
    return S_OK;
}

}  // namespace Vantrel
