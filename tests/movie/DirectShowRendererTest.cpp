// The renderer base and its video form, driven by a scripted source and a clock the test sets: the
// paused state waits for data, end of stream follows the last sample (at once or by a timer), bad
// sample times are refused, and the video statistics come out as their formulas give.
#include "DirectShowTestSupport.h"

using namespace Vantrel;
using namespace DirectShowTest;

namespace {

template <class Renderer>
class RendererFixture : public ComTest {
protected:
    WAVEFORMATEX Format = {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    ScriptedSourceFilter* Source = nullptr;
    Renderer* Sink = nullptr;
    ScriptedClock Clock;
    RecordingEventSink Events;

    void SetUp() override
    {
        ComTest::SetUp();
        HRESULT hr = S_OK;
        Source = new (__FILE__, __LINE__) ScriptedSourceFilter(1);
        Source->Pins[0]->Offered.push_back(PcmType(&Format));
        Sink = new (__FILE__, __LINE__) Renderer(&hr);
        ASSERT_EQ(hr, S_OK);
        Sink->EventSink = &Events;  // stands in for the graph's sink
        ASSERT_EQ(Source->Pins[0]->Connect(Sink->GetPin(0)->AsPin(), nullptr), S_OK);
    }
    void TearDown() override
    {
        Source->AsBaseFilter()->Stop();
        Sink->AsBaseFilter()->Stop();
        Source->Pins[0]->Disconnect();
        Sink->GetPin(0)->Disconnect();
        Sink->EventSink = nullptr;
        StrmBase_Filter_Delete(Source);
        StrmBase_Filter_Delete(Sink);
        ComTest::TearDown();
    }
    void RunBoth(IReferenceClock* clock)
    {
        ASSERT_EQ(Sink->AsBaseFilter()->SetSyncSource(clock), S_OK);
        ASSERT_TRUE(SUCCEEDED(Sink->AsBaseFilter()->Run(0)));
        ASSERT_TRUE(SUCCEEDED(Source->AsBaseFilter()->Run(0)));
    }
};

// A sample of an allocator of its own (the caller releases the sample and deletes the allocator).
void TakeSample(D_CMemAllocator** allocator, D_IMediaSample** sample)
{
    HRESULT hr = S_OK;
    *allocator = new (__FILE__, __LINE__) D_CMemAllocator(L"Test", nullptr, &hr);
    D_IMemAllocator* memory = (*allocator)->AsMemAllocator();
    ALLOCATOR_PROPERTIES request = {1, 16, 1, 0};
    ALLOCATOR_PROPERTIES actual = {};
    ASSERT_EQ(memory->SetProperties(&request, &actual), S_OK);
    ASSERT_EQ(memory->Commit(), S_OK);
    ASSERT_EQ(memory->GetBuffer(sample, nullptr, nullptr, 0), S_OK);
}

// A sample pushed on a thread of its own (the renderer holds the streaming thread until render time).
struct PushJob {
    ScriptedOutputPin* Pin;
    REFERENCE_TIME Start;
    REFERENCE_TIME Stop;
    HRESULT Result;
};

DWORD WINAPI PushOnThread(LPVOID parameter)
{
    PushJob* job = static_cast<PushJob*>(parameter);
    const char data[16] = "sample data";
    job->Result = job->Pin->Push(data, sizeof(data), &job->Start, &job->Stop);
    return 0;
}

using DirectShowRendererTest = RendererFixture<RecordingRenderer>;

TEST_F(DirectShowRendererTest, PausedRendererWaitsForASampleOrTheEndOfTheStream)
{
    ASSERT_EQ(Sink->AsBaseFilter()->SetSyncSource(&Clock), S_OK);
    EXPECT_EQ(Sink->AsBaseFilter()->Pause(), S_FALSE) << "no data yet: the change is not complete";
    FILTER_STATE state;
    EXPECT_EQ(Sink->AsBaseFilter()->GetState(0, &state), VFW_S_STATE_INTERMEDIATE);
    EXPECT_EQ(state, State_Paused);
    ASSERT_EQ(Source->AsBaseFilter()->Pause(), S_OK);

    // A first sample completes the pause; it is held until the filter runs.
    PushJob job = {Source->Pins[0], 10000000, 10100000, E_FAIL};
    HANDLE thread = CreateThread(nullptr, 0, PushOnThread, &job, 0, nullptr);
    EXPECT_EQ(Sink->AsBaseFilter()->GetState(10000, &state), S_OK);
    EXPECT_TRUE(Sink->HaveCurrentSample());
    EXPECT_EQ(WaitForSingleObject(thread, 100), (DWORD)WAIT_TIMEOUT) << "the streaming thread waits";
    EXPECT_TRUE(Sink->Rendered.empty());
    // Stopping releases it without rendering.
    EXPECT_EQ(Sink->AsBaseFilter()->Stop(), S_OK);
    ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    CloseHandle(thread);
    EXPECT_EQ(job.Result, S_OK);
    EXPECT_TRUE(Sink->Rendered.empty());
    EXPECT_FALSE(Sink->HaveCurrentSample());

    // An end of stream completes a pause too.
    EXPECT_EQ(Sink->AsBaseFilter()->Pause(), S_FALSE);
    EXPECT_EQ(Sink->GetPin(0)->AsPin()->EndOfStream(), S_OK);
    EXPECT_EQ(Sink->AsBaseFilter()->GetState(0, &state), S_OK);
}

TEST_F(DirectShowRendererTest, EndOfStreamWithASamplePendingComesAfterThatSample)
{
    ASSERT_NO_FATAL_FAILURE(RunBoth(&Clock));
    PushJob job = {Source->Pins[0], 20000000, 20400000, E_FAIL};  // 2 s ahead of the clock
    HANDLE thread = CreateThread(nullptr, 0, PushOnThread, &job, 0, nullptr);
    for (int i = 0; i < 1000 && !Sink->HaveCurrentSample(); i++) Sleep(5);
    ASSERT_TRUE(Sink->HaveCurrentSample());
    EXPECT_EQ(Clock.LastAdviseTime, 20000000) << "the clock is asked for the sample's start";
    EXPECT_EQ(Sink->GetPin(0)->AsPin()->EndOfStream(), S_OK);
    EXPECT_EQ(Events.Count(EC_COMPLETE), 0) << "not before the pending sample";

    // The sample's time comes: it is drawn, then the end is signalled (its stop is 10 ms ahead).
    Clock.Now = 20300000;
    SetEvent(Clock.LastAdviseEvent);
    ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    CloseHandle(thread);
    EXPECT_EQ(Sink->Rendered.size(), 1u);
    EXPECT_EQ(Events.Count(EC_COMPLETE), 1);
}

TEST_F(DirectShowRendererTest, EndOfStreamWaitsByATimerOnlyFrom50Milliseconds)
{
    ASSERT_NO_FATAL_FAILURE(RunBoth(&Clock));
    Clock.Now = 1000000;
    Sink->SignalTime = 1000000 + 400000;  // the last sample stops 40 ms ahead
    EXPECT_EQ(Sink->GetPin(0)->AsPin()->EndOfStream(), S_OK);
    EXPECT_EQ(Events.Count(EC_COMPLETE), 1) << "40 ms: at once";
    EXPECT_EQ(Sink->EndOfStreamTimer, 0u);

    Sink->ResetEndOfStream();
    Sink->SignalTime = 1000000 + 600000;  // 60 ms ahead
    EXPECT_EQ(Sink->GetPin(0)->AsPin()->EndOfStream(), S_OK);
    EXPECT_NE(Sink->EndOfStreamTimer, 0u) << "60 ms: a timer";
    EXPECT_EQ(Events.Count(EC_COMPLETE), 1);
    Clock.Now = 1000000 + 600000;  // the clock gets there meanwhile
    for (int i = 0; i < 400 && Events.Count(EC_COMPLETE) < 2; i++) Sleep(5);
    EXPECT_EQ(Events.Count(EC_COMPLETE), 2) << "the timer delivers it";
    EXPECT_EQ(Sink->EndOfStreamTimer, 0u);
}

TEST_F(DirectShowRendererTest, SampleEndingBeforeItStartsIsRefused)
{
    ASSERT_EQ(Sink->AsBaseFilter()->SetSyncSource(&Clock), S_OK);
    D_CMemAllocator* allocator = nullptr;
    D_IMediaSample* sample = nullptr;
    ASSERT_NO_FATAL_FAILURE(TakeSample(&allocator, &sample));
    REFERENCE_TIME start = 1000;
    REFERENCE_TIME stop = 500;
    sample->SetTime(&start, &stop);
    REFERENCE_TIME outStart = 0;
    REFERENCE_TIME outStop = 0;
    EXPECT_EQ(Sink->GetSampleTimes(sample, &outStart, &outStop), VFW_E_START_TIME_AFTER_END);
    EXPECT_FALSE(Sink->ScheduleSample(sample));
    sample->SetTime(nullptr, nullptr);
    EXPECT_EQ(Sink->GetSampleTimes(sample, &outStart, &outStop), S_OK) << "no time: drawn at once";
    sample->Release();
    delete allocator;
}

using DirectShowVideoRendererTest = RendererFixture<RecordingVideoRenderer>;

TEST_F(DirectShowVideoRendererTest, QualityNotificationsSetTheThrottle)
{
    D_IQualityControl* quality = nullptr;
    ASSERT_EQ(Sink->AsBaseFilter()->QueryInterface(IID_IQualityControl, (void**)&quality), S_OK);
    Quality message = {Famine, 500, 0, 0};
    EXPECT_EQ(quality->Notify(Sink->AsBaseFilter(), message), S_OK);
    EXPECT_EQ(Sink->Throttle, 253028) << "388,880,000 / 667 - 330,000";
    message.Proportion = 1000;
    EXPECT_EQ(quality->Notify(Sink->AsBaseFilter(), message), S_OK);
    EXPECT_EQ(Sink->Throttle, 0);
    message.Proportion = -167;
    EXPECT_EQ(quality->Notify(Sink->AsBaseFilter(), message), E_INVALIDARG) << "a proportion that means nothing";
    quality->Release();
}

// Lateness and frame time per drawn frame, in milliseconds.
const int ScriptedLateness[5] = {20, -10, 30, 15000, 10};
const int ScriptedFrameTime[5] = {40, 40, 50, 40, 30};

void PlayScript(D_CBaseVideoRenderer* renderer)
{
    for (int i = 0; i < 5; i++) renderer->RecordFrameLateness(ScriptedLateness[i] * 10000, ScriptedFrameTime[i] * 10000);
}

TEST_F(DirectShowVideoRendererTest, StatisticsFollowTheirFormulasForAScriptedSequence)
{
    ASSERT_EQ(Sink->AsBaseFilter()->SetSyncSource(&Clock), S_OK);
    PlayScript(Sink);
    D_IQualProp* stats = nullptr;
    ASSERT_EQ(Sink->AsBaseFilter()->QueryInterface(IID_IQualProp, (void**)&stats), S_OK);
    int value = -1;
    ASSERT_EQ(stats->get_FramesDrawn(&value), S_OK);
    EXPECT_EQ(value, 5);
    // Lateness counts from the third frame on (30, 1000 for the frame 15 s late, 10): 1040 over 4.
    ASSERT_EQ(stats->get_AvgSyncOffset(&value), S_OK);
    EXPECT_EQ(value, 260);
    // sqrt((30^2 + 1000^2 + 10^2 - 1040^2 / 4) / 3) with three Newton steps from 512: 493.
    ASSERT_EQ(stats->get_DevSyncOffset(&value), S_OK);
    EXPECT_EQ(value, 493);
    // Frame times count from the fourth (40, 30): sqrt((2500 - 70^2 / 3) / 2) from 32 in three steps: 20.
    ASSERT_EQ(stats->get_Jitter(&value), S_OK);
    EXPECT_EQ(value, 20);
    EXPECT_EQ(stats->get_Jitter(nullptr), E_POINTER);

    // Without a clock there is nothing to measure against.
    ASSERT_EQ(Sink->AsBaseFilter()->SetSyncSource(nullptr), S_OK);
    for (auto get : {&D_IQualProp::get_AvgSyncOffset, &D_IQualProp::get_DevSyncOffset, &D_IQualProp::get_Jitter}) {
        value = -1;
        ASSERT_EQ((stats->*get)(&value), S_OK);
        EXPECT_EQ(value, 0);
    }
    stats->Release();

    EXPECT_EQ(StrmBase_IntegerSquareRoot(0), 0);
    EXPECT_EQ(StrmBase_IntegerSquareRoot(1 << 30), 32768);
    EXPECT_EQ(StrmBase_IntegerSquareRoot((1 << 30) + 1), 0x8000);
    EXPECT_EQ(StrmBase_IntegerSquareRoot(10000), 100);
}

// An upstream filter that does not handle quality itself.
class IgnoringQualitySink : public D_IQualityControl {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Notify(D_IBaseFilter*, Quality) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE SetSink(D_IQualityControl*) override { return S_OK; }
};

TEST_F(DirectShowVideoRendererTest, LateFramesAreDrawnOrDroppedAsTheDecisionSays)
{
    ASSERT_NO_FATAL_FAILURE(RunBoth(&Clock));
    IgnoringQualitySink upstream;
    ASSERT_EQ(Sink->SetSink(&upstream), S_OK);
    D_CMemAllocator* allocator = nullptr;
    D_IMediaSample* sample = nullptr;
    ASSERT_NO_FATAL_FAILURE(TakeSample(&allocator, &sample));

    // 50 ms late, 40 ms frames, rendering has been quick: drawn at once.
    Clock.Now = 5000000;
    REFERENCE_TIME start = 4580000;  // moved 8 ms earlier: 50 ms late
    REFERENCE_TIME stop = start + 400000;
    sample->SetTime(&start, &stop);
    EXPECT_TRUE(Sink->ScheduleSample(sample));
    EXPECT_EQ(Sink->LastLateness, 500000);
    EXPECT_EQ(Sink->FramesDropped, 0);

    // Rendering now takes 100 ms a frame and the next frame is 50 ms late again: dropped and counted.
    Sink->AvgRender = 1000000;
    Clock.Now = Clock.Now + 400000;
    start += 400000;
    stop += 400000;
    sample->SetTime(&start, &stop);
    EXPECT_FALSE(Sink->ScheduleSample(sample));
    EXPECT_EQ(Sink->FramesDropped, 1);
    EXPECT_EQ(Sink->NormalCounter, -1);

    // Just after a drop a frame is drawn when it can be.
    Sink->AvgRender = 0;
    Clock.Now = Clock.Now + 400000;
    start += 400000;
    stop += 400000;
    sample->SetTime(&start, &stop);
    EXPECT_TRUE(Sink->ScheduleSample(sample));
    EXPECT_EQ(Sink->NormalCounter, 0);

    // An early frame waits for its (moved) start on the clock while frames come at their rate.
    Sink->AvgFrameTime = 400000;
    const int advises = Clock.Advises;
    start = Clock.Now + 2000000;
    stop = start + 400000;
    sample->SetTime(&start, &stop);
    EXPECT_TRUE(Sink->ScheduleSample(sample));
    EXPECT_EQ(Clock.Advises, advises + 1);
    EXPECT_LE(Clock.LastAdviseTime, start - 80000);
    Sink->CancelNotification();
    sample->Release();
    delete allocator;
}

}  // namespace
