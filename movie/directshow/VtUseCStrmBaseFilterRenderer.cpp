// VtUseCStrmBaseFilterRenderer: the renderer base: stopped, paused (the first sample is held) and
// running (samples wait for their time on the graph's clock), end of stream signalled after the last
// sample's stop time, flushing, and the input pin that feeds it.
#include "movie/directshow/VtUseCStrmBaseFilterInternal.h"
#include "movie/directshow/VtUseCStrmBaseFilterRenderer.h"

namespace Vantrel {

// The shortest wait for the end of the stream worth a timer (milliseconds).
constexpr LONGLONG StrmBase_EndOfStreamTimerMinimum = 50;

// ---- Input pin ---------------------------------------------------------------------------------------

D_CRendererInputPin::D_CRendererInputPin(D_CBaseRenderer* renderer, HRESULT* result, const wchar_t* pinName)
    : D_CBaseInputPin(L"Renderer pin", renderer, &renderer->InterfaceLock, result, pinName), Renderer(renderer)
{
}

HRESULT D_CRendererInputPin::Active() { return Renderer->Active(); }

HRESULT D_CRendererInputPin::Inactive()
{
    RunTimeError = 0;
    return Renderer->Inactive();
}

HRESULT D_CRendererInputPin::CheckMediaType(const AM_MEDIA_TYPE* type) { return Renderer->CheckMediaType(type); }

HRESULT D_CRendererInputPin::SetMediaType(const AM_MEDIA_TYPE* type)
{
    HRESULT hr = D_CBaseInputPin::SetMediaType(type);
    if (FAILED(hr)) return hr;
    return Renderer->SetMediaType(type);
}

HRESULT D_CRendererInputPin::CheckConnect(D_IPin* pin)
{
    PIN_DIRECTION direction;
    HRESULT hr = pin->QueryDirection(&direction);
    if (FAILED(hr)) return hr;
    if (direction == Direction) return VFW_E_INVALID_DIRECTION;
    return D_CBaseInputPin::CheckConnect(pin);
}

HRESULT D_CRendererInputPin::BreakConnect()
{
    HRESULT hr = Renderer->BreakConnect();
    if (FAILED(hr)) return hr;
    if (Allocator != nullptr) {
        hr = Allocator->Decommit();
        if (FAILED(hr)) return hr;
        Allocator->Release();
        Allocator = nullptr;
    }
    return S_OK;
}

HRESULT D_CRendererInputPin::CompleteConnect(D_IPin* receivePin) { return Renderer->CompleteConnect(receivePin); }

HRESULT D_CRendererInputPin::Run(REFERENCE_TIME start) { return S_OK; }

HRESULT STDMETHODCALLTYPE D_CRendererInputPin::EndOfStream()
{
    StrmBase_AutoLock interfaceLock(&Renderer->InterfaceLock);
    StrmBase_AutoLock rendererLock(&Renderer->RendererLock);
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    hr = Renderer->EndOfStream();
    if (FAILED(hr)) return hr;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CRendererInputPin::BeginFlush()
{
    StrmBase_AutoLock interfaceLock(&Renderer->InterfaceLock);
    {
        StrmBase_AutoLock rendererLock(&Renderer->RendererLock);
        D_CBaseInputPin::BeginFlush();
        Renderer->BeginFlush();
    }
    return Renderer->ResetEndOfStream();
}

HRESULT STDMETHODCALLTYPE D_CRendererInputPin::EndFlush()
{
    StrmBase_AutoLock interfaceLock(&Renderer->InterfaceLock);
    StrmBase_AutoLock rendererLock(&Renderer->RendererLock);
    HRESULT hr = Renderer->EndFlush();
    if (FAILED(hr)) return hr;
    return D_CBaseInputPin::EndFlush();
}

HRESULT STDMETHODCALLTYPE D_CRendererInputPin::Receive(D_IMediaSample* sample)
{
    HRESULT hr = Renderer->Receive(sample);
    if (FAILED(hr)) {
        StrmBase_AutoLock interfaceLock(&Renderer->InterfaceLock);
        if (!Renderer->IsStopped() && !Flushing && !Renderer->Abort && !RunTimeError) {
            // The stream cannot go on: the graph hears of the error and of the end of the stream.
            Renderer->NotifyEvent(EC_ERRORABORT, hr, 0);
            {
                StrmBase_AutoLock rendererLock(&Renderer->RendererLock);
                if (Renderer->IsStreaming() && !Renderer->IsEndOfStreamDelivered()) Renderer->NotifyEndOfStream();
            }
            RunTimeError = 1;
        }
    }
    return hr;
}

HRESULT STDMETHODCALLTYPE D_CRendererInputPin::QueryId(LPWSTR* id) { return StrmBase_GetWideString(L"In", id); }

// ---- Renderer ----------------------------------------------------------------------------------------

D_CBaseRenderer::D_CBaseRenderer(REFCLSID classId, const wchar_t* objectName, D_IUnknown* outer, HRESULT* result)
    : D_CBaseFilter(objectName, outer, &InterfaceLock, classId),
      Position(nullptr),
      RenderEvent(FALSE),
      ThreadSignal(TRUE),
      CompleteEvent(TRUE),
      Abort(0),
      Streaming(0),
      AdviseToken(0),
      PendingSample(nullptr),
      EndOfStreamFlag(0),
      EndOfStreamDelivered(0),
      InputPin(nullptr),
      QualitySink(nullptr),
      RepaintStatus(1),
      InReceive(0),
      SignalTime(0),
      EndOfStreamTimer(0)
{
    if ((RenderEvent.Event == nullptr || ThreadSignal.Event == nullptr || CompleteEvent.Event == nullptr) &&
        result != nullptr)
        *result = E_OUTOFMEMORY;
    if (CompleteEvent.Event != nullptr) Ready();
}

D_CBaseRenderer::~D_CBaseRenderer()
{
    KillEndOfStreamTimer();
    StopStreaming();
    ClearPendingSample();
    delete Position;
    Position = nullptr;
    delete InputPin;
    InputPin = nullptr;
    if (QualitySink != nullptr) QualitySink->Release();
}

HRESULT STDMETHODCALLTYPE D_CBaseRenderer::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IMediaPosition || iid == IID_IMediaSeeking) return GetMediaPositionInterface(iid, object);
    return D_CBaseFilter::NonDelegatingQueryInterface(iid, object);
}

HRESULT D_CBaseRenderer::GetMediaPositionInterface(REFIID iid, void** object)
{
    StrmBase_AutoLock lock(&ObjectCreationLock);
    if (Position == nullptr) {
        D_CBasePin* pin = GetPin(0);
        if (pin == nullptr) return E_OUTOFMEMORY;
        HRESULT hr = S_OK;
        Position = new (__FILE__, __LINE__) D_CRendererPosPassThru(L"Renderer D_CPosPassThru", GetOwner(), &hr,
                                                                   pin->AsPin());
        if (Position == nullptr) return E_OUTOFMEMORY;
        if (FAILED(hr)) {
            delete Position;
            Position = nullptr;
            return E_NOINTERFACE;
        }
    }
    return Position->NonDelegatingQueryInterface(iid, object);
}

int D_CBaseRenderer::GetPinCount() { return 1; }

D_CBasePin* D_CBaseRenderer::GetPin(int index)
{
    if (index != 0) return nullptr;
    StrmBase_AutoLock lock(&ObjectCreationLock);
    if (InputPin == nullptr) {
        HRESULT hr = S_OK;
        InputPin = new (__FILE__, __LINE__) D_CRendererInputPin(this, &hr, L"In");
        if (InputPin != nullptr && FAILED(hr)) {
            delete InputPin;
            InputPin = nullptr;
        }
    }
    return InputPin;
}

HRESULT STDMETHODCALLTYPE D_CBaseRenderer::FindPin(LPCWSTR id, D_IPin** pin)
{
    if (pin == nullptr) return E_POINTER;
    *pin = nullptr;
    if (!StrmBase_Text_Equal(id, L"In")) return VFW_E_NOT_FOUND;
    D_CBasePin* input = GetPin(0);
    if (input == nullptr) return E_OUTOFMEMORY;
    *pin = input->AsPin();
    input->AsPin()->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseRenderer::GetState(DWORD timeout, FILTER_STATE* state)
{
    if (state == nullptr) return E_POINTER;
    DWORD waited = StrmBase_WaitDispatchingMessages(CompleteEvent.Event, timeout);
    *state = (FILTER_STATE)State;
    return waited == WAIT_TIMEOUT ? VFW_S_STATE_INTERMEDIATE : S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseRenderer::Stop()
{
    StrmBase_AutoLock lock(&InterfaceLock);
    if (State == StrmBase_State_Stopped) return S_OK;
    if (InputPin == nullptr || !InputPin->IsConnected()) {
        State = StrmBase_State_Stopped;
        return S_OK;
    }
    D_CBaseFilter::Stop();
    if (InputPin->Allocator != nullptr) InputPin->Allocator->Decommit();
    SetRepaintStatus(1);
    StopStreaming();
    SourceThreadCanWait(FALSE);
    ResetEndOfStream();
    CancelNotification();
    Ready();
    WaitForReceiveToComplete();
    Abort = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseRenderer::Pause()
{
    StrmBase_AutoLock lock(&InterfaceLock);
    int32_t oldState = State;
    if (State == StrmBase_State_Paused) return CompleteStateChange(StrmBase_State_Paused);
    if (InputPin == nullptr || !InputPin->IsConnected()) {
        State = StrmBase_State_Paused;
        return CompleteStateChange(StrmBase_State_Paused);
    }
    HRESULT hr = D_CBaseFilter::Pause();
    if (FAILED(hr)) return hr;
    SetRepaintStatus(1);
    StopStreaming();
    SourceThreadCanWait(TRUE);
    CancelNotification();
    KillEndOfStreamTimer();
    hr = CommitFromState(oldState);
    if (FAILED(hr)) return hr;
    return CompleteStateChange(oldState);
}

HRESULT STDMETHODCALLTYPE D_CBaseRenderer::Run(REFERENCE_TIME start)
{
    StrmBase_AutoLock lock(&InterfaceLock);
    int32_t oldState = State;
    if (State == StrmBase_State_Running) return S_OK;
    if (InputPin == nullptr || !InputPin->IsConnected()) {
        NotifyEvent(EC_COMPLETE, S_OK, (LONG_PTR)StrmBase_AsIBaseFilter(this));
        State = StrmBase_State_Running;
        return S_OK;
    }
    Ready();
    HRESULT hr = D_CBaseFilter::Run(start);
    if (FAILED(hr)) return hr;
    SourceThreadCanWait(TRUE);
    SetRepaintStatus(0);
    hr = CommitFromState(oldState);
    if (FAILED(hr)) return hr;
    return StartStreaming();
}

HRESULT D_CBaseRenderer::CommitFromState(int32_t oldState)
{
    if (InputPin->Allocator != nullptr) {
        HRESULT hr = InputPin->Allocator->Commit();
        if (FAILED(hr)) return hr;
    }
    if (oldState == StrmBase_State_Stopped) {
        // A fresh start: nothing of an earlier run is kept.
        Abort = 0;
        ClearPendingSample();
    }
    return S_OK;
}

HRESULT D_CBaseRenderer::CompleteStateChange(int32_t oldState)
{
    if (InputPin == nullptr || !InputPin->IsConnected() || IsEndOfStream()) {
        Ready();
        return S_OK;
    }
    if (HaveCurrentSample() && oldState != StrmBase_State_Stopped) {
        Ready();
        return S_OK;
    }
    NotReady();
    return S_FALSE;
}

HRESULT D_CBaseRenderer::SourceThreadCanWait(BOOL canWait)
{
    if (canWait)
        ThreadSignal.Reset();
    else
        ThreadSignal.Set();
    return S_OK;
}

HRESULT D_CBaseRenderer::WaitForRenderTime()
{
    HANDLE events[2] = {ThreadSignal.Event, RenderEvent.Event};
    OnWaitStart();
    DWORD woken;
    do {
        woken = WinAPITable.WaitForMultipleObjects(2, events, FALSE, 10000);
    } while (woken == WAIT_TIMEOUT);
    OnWaitEnd();
    if (woken != WAIT_OBJECT_0 + 1) return VFW_E_STATE_CHANGED;
    AdviseToken = 0;
    return S_OK;
}

void D_CBaseRenderer::OnReceiveFirstSample(D_IMediaSample* sample) {}

void D_CBaseRenderer::OnRenderStart(D_IMediaSample* sample) {}

void D_CBaseRenderer::OnRenderEnd(D_IMediaSample* sample) {}

HRESULT D_CBaseRenderer::OnStartStreaming() { return S_OK; }

HRESULT D_CBaseRenderer::OnStopStreaming() { return S_OK; }

void D_CBaseRenderer::OnWaitStart() {}

void D_CBaseRenderer::OnWaitEnd() {}

void D_CBaseRenderer::PrepareRender() {}

HRESULT D_CBaseRenderer::ShouldDrawSampleNow(D_IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* end)
{
    return S_FALSE;
}

BOOL D_CBaseRenderer::ScheduleSample(D_IMediaSample* sample)
{
    if (sample == nullptr) return FALSE;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME end = 0;
    HRESULT hr = GetSampleTimes(sample, &start, &end);
    if (FAILED(hr)) return FALSE;
    if (hr == S_OK) {
        RenderEvent.Set();
        return TRUE;
    }
    if (Clock == nullptr) return FALSE;
    hr = Clock->AdviseTime(StartTime, start, (HEVENT)RenderEvent.Event, &AdviseToken);
    return SUCCEEDED(hr);
}

HRESULT D_CBaseRenderer::GetSampleTimes(D_IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* end)
{
    HRESULT hr = sample->GetTime(start, end);
    if (FAILED(hr)) return S_OK;  // no time: shown at once
    if (*end < *start) return VFW_E_START_TIME_AFTER_END;
    if (Clock == nullptr) return S_OK;
    return ShouldDrawSampleNow(sample, start, end);
}

HRESULT D_CBaseRenderer::CancelNotification()
{
    HRESULT hr = S_FALSE;
    DWORD_PTR token = AdviseToken;
    if (token != 0) {
        if (Clock != nullptr) Clock->Unadvise(token);
        AdviseToken = 0;
        hr = S_OK;
    }
    RenderEvent.Reset();
    return hr;
}

HRESULT D_CBaseRenderer::ClearPendingSample()
{
    StrmBase_AutoLock lock(&RendererLock);
    if (PendingSample != nullptr) {
        PendingSample->Release();
        PendingSample = nullptr;
    }
    return S_OK;
}

HRESULT D_CBaseRenderer::StartStreaming()
{
    StrmBase_AutoLock lock(&RendererLock);
    if (Streaming) return S_OK;
    Streaming = 1;
    WinAPITable.timeBeginPeriod(1);
    OnStartStreaming();
    if (PendingSample != nullptr) {
        if (!ScheduleSample(PendingSample)) RenderEvent.Set();
    } else {
        SendEndOfStream();
    }
    return S_OK;
}

HRESULT D_CBaseRenderer::StopStreaming()
{
    StrmBase_AutoLock lock(&RendererLock);
    EndOfStreamDelivered = 0;
    if (Streaming) {
        Streaming = 0;
        OnStopStreaming();
        WinAPITable.timeEndPeriod(1);
    }
    return S_OK;
}

HRESULT D_CBaseRenderer::EndOfStream()
{
    if (IsStopped()) return S_OK;
    EndOfStreamFlag = 1;
    if (PendingSample != nullptr) return S_OK;  // signalled once that sample is rendered
    Ready();
    if (Streaming) SendEndOfStream();
    return S_OK;
}

BOOL StrmBase_TimerKillSynchronousSupported()
{
    static int supported = -1;
    if (supported < 0) {
        WinAPI_EnsureLoaded();
        OSVERSIONINFOA version;
        version.dwOSVersionInfoSize = sizeof(version);
        supported = 0;
        if (WinAPITable.GetVersionExA != nullptr && WinAPITable.GetVersionExA(&version))
            supported = version.dwMajorVersion > 5 || (version.dwMajorVersion == 5 && version.dwMinorVersion > 0);
    }
    return supported != 0;
}

static void CALLBACK StrmBase_EndOfStreamTimerProc(UINT id, UINT message, DWORD_PTR user, DWORD_PTR, DWORD_PTR)
{
    D_CBaseRenderer* renderer = reinterpret_cast<D_CBaseRenderer*>(user);
    StrmBase_AutoLock lock(&renderer->RendererLock);
    if (renderer->EndOfStreamTimer != id) return;
    renderer->EndOfStreamTimer = 0;
    renderer->SendEndOfStream();
}

HRESULT D_CBaseRenderer::SendEndOfStream()
{
    if (!EndOfStreamFlag || EndOfStreamDelivered || EndOfStreamTimer != 0) return S_OK;
    if (Clock != nullptr) {
        REFERENCE_TIME now = 0;
        if (SUCCEEDED(Clock->GetTime(&now))) {
            LONGLONG wait = (SignalTime + StartTime - now) / 10000;
            if (wait >= StrmBase_EndOfStreamTimerMinimum && wait <= 0x7FFFFFFF) {
                UINT flags = TIME_ONESHOT | TIME_CALLBACK_FUNCTION;
                if (StrmBase_TimerKillSynchronousSupported()) flags |= TIME_KILL_SYNCHRONOUS;
                EndOfStreamTimer = WinAPITable.timeSetEvent((UINT)wait, 10, StrmBase_EndOfStreamTimerProc,
                                                            (DWORD_PTR)this, flags);
                if (EndOfStreamTimer != 0) return S_OK;
            }
        }
    }
    return NotifyEndOfStream();
}

HRESULT D_CBaseRenderer::NotifyEndOfStream()
{
    StrmBase_AutoLock lock(&RendererLock);
    if (!Streaming) return S_OK;
    EndOfStreamTimer = 0;
    if (Position != nullptr) Position->EOS();
    EndOfStreamDelivered = 1;
    return NotifyEvent(EC_COMPLETE, S_OK, (LONG_PTR)StrmBase_AsIBaseFilter(this));
}

void D_CBaseRenderer::KillEndOfStreamTimer()
{
    UINT timer = EndOfStreamTimer;
    if (timer != 0) {
        WinAPITable.timeKillEvent(timer);
        EndOfStreamTimer = 0;
    }
}

HRESULT D_CBaseRenderer::ResetEndOfStream()
{
    KillEndOfStreamTimer();
    StrmBase_AutoLock lock(&RendererLock);
    EndOfStreamFlag = 0;
    EndOfStreamDelivered = 0;
    SignalTime = 0;
    return S_OK;
}

HRESULT D_CBaseRenderer::Active() { return S_OK; }

HRESULT D_CBaseRenderer::Inactive()
{
    if (Position != nullptr) Position->ResetMediaTime();
    ClearPendingSample();
    return S_OK;
}

HRESULT D_CBaseRenderer::BeginFlush()
{
    if (State == StrmBase_State_Paused) NotReady();
    SourceThreadCanWait(FALSE);
    CancelNotification();
    ClearPendingSample();
    WaitForReceiveToComplete();
    return S_OK;
}

HRESULT D_CBaseRenderer::EndFlush()
{
    if (Position != nullptr) Position->ResetMediaTime();
    SourceThreadCanWait(TRUE);
    return S_OK;
}

HRESULT D_CBaseRenderer::BreakConnect()
{
    if (QualitySink != nullptr) {
        QualitySink->Release();
        QualitySink = nullptr;
    }
    if (InputPin == nullptr || !InputPin->IsConnected()) return S_FALSE;
    if (!IsStopped() && !InputPin->CanReconnectWhenActive) return VFW_E_NOT_STOPPED;
    SetRepaintStatus(0);
    ResetEndOfStream();
    ClearPendingSample();
    Abort = 0;
    if (State == StrmBase_State_Running) StopStreaming();
    return S_OK;
}

HRESULT D_CBaseRenderer::SetMediaType(const AM_MEDIA_TYPE* type) { return S_OK; }

HRESULT D_CBaseRenderer::CompleteConnect(D_IPin* receivePin)
{
    Abort = 0;
    if (State == StrmBase_State_Running) {
        HRESULT hr = StartStreaming();
        if (FAILED(hr)) return hr;
        SetRepaintStatus(0);
    } else {
        SetRepaintStatus(1);
    }
    return S_OK;
}

HRESULT D_CBaseRenderer::PrepareReceive(D_IMediaSample* sample)
{
    StrmBase_AutoLock interfaceLock(&InterfaceLock);
    InReceive = 1;
    HRESULT hr = InputPin->D_CBaseInputPin::Receive(sample);
    if (hr != S_OK) {
        InReceive = 0;
        return E_FAIL;
    }
    AM_SAMPLE2_PROPERTIES* props = InputPin->GetSampleProps();
    if ((props->dwSampleFlags & StrmBase_Sample_TypeChanged) != 0 && props->pMediaType != nullptr) {
        hr = InputPin->SetMediaType(props->pMediaType);
        if (FAILED(hr)) {
            InReceive = 0;
            return hr;
        }
    }

    StrmBase_AutoLock rendererLock(&RendererLock);
    if (PendingSample != nullptr || EndOfStreamFlag || Abort) {
        Ready();
        InReceive = 0;
        return E_UNEXPECTED;
    }
    if (Position != nullptr) Position->RegisterMediaTime(sample);
    if (Streaming && !ScheduleSample(sample)) {
        InReceive = 0;
        return VFW_E_SAMPLE_REJECTED;
    }
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    SignalTime = SUCCEEDED(sample->GetTime(&start, &stop)) ? stop : 0;
    PendingSample = sample;
    sample->AddRef();
    if (!Streaming) SetRepaintStatus(1);
    return S_OK;
}

HRESULT D_CBaseRenderer::Receive(D_IMediaSample* sample)
{
    HRESULT hr = PrepareReceive(sample);
    if (FAILED(hr)) return hr == VFW_E_SAMPLE_REJECTED ? S_OK : hr;

    if (State == StrmBase_State_Paused) {
        // The first sample of a pause is held: the state change is complete.
        PrepareRender();
        InReceive = 0;
        {
            StrmBase_AutoLock interfaceLock(&InterfaceLock);
            if (State == StrmBase_State_Stopped) return S_OK;
            InReceive = 1;
            StrmBase_AutoLock rendererLock(&RendererLock);
            OnReceiveFirstSample(sample);
        }
        Ready();
    }

    hr = WaitForRenderTime();
    if (FAILED(hr)) {
        InReceive = 0;
        return S_OK;
    }
    PrepareRender();
    InReceive = 0;
    StrmBase_AutoLock interfaceLock(&InterfaceLock);
    if (State == StrmBase_State_Stopped) return S_OK;
    StrmBase_AutoLock rendererLock(&RendererLock);
    Render(PendingSample);
    ClearPendingSample();
    SendEndOfStream();
    CancelNotification();
    return S_OK;
}

BOOL D_CBaseRenderer::HaveCurrentSample()
{
    StrmBase_AutoLock lock(&RendererLock);
    return PendingSample != nullptr;
}

D_IMediaSample* D_CBaseRenderer::GetCurrentSample()
{
    StrmBase_AutoLock lock(&RendererLock);
    if (PendingSample != nullptr) PendingSample->AddRef();
    return PendingSample;
}

HRESULT D_CBaseRenderer::Render(D_IMediaSample* sample)
{
    if (sample == nullptr || !Streaming) return S_FALSE;
    OnRenderStart(sample);
    DoRenderSample(sample);
    OnRenderEnd(sample);
    return S_OK;
}

void D_CBaseRenderer::WaitForReceiveToComplete()
{
    while (InReceive) {
        // Sent messages go through while the streaming thread finishes.
        MSG message;
        WinAPITable.PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
        WinAPITable.Sleep(1);
    }
    if ((HIWORD(WinAPITable.GetQueueStatus(QS_POSTMESSAGE)) & QS_POSTMESSAGE) != 0)
        WinAPITable.PostThreadMessageW(WinAPITable.GetCurrentThreadId(), WM_NULL, 0, 0);
}

void D_CBaseRenderer::SetRepaintStatus(int32_t repaint)
{
    StrmBase_AutoLock lock(&RendererLock);
    RepaintStatus = repaint;
}

}  // namespace Vantrel
