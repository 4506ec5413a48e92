// The library's DirectShow classes in the system's own filter graph: a WAVE file held in memory runs
// from our asynchronous reader through the system's WAVE parser, our in-place pass-through, our sample
// grabber and a renderer of ours to the end of the stream, on the graph's clock; seeking requests pass
// upstream through our pins; afterwards no object of the family is left.
#include <algorithm>

#include "DirectShowTestSupport.h"

using namespace Vantrel;
using namespace DirectShowTest;

namespace {

// What the grabber's callback saw.
struct GrabbedData {
    CRITICAL_SECTION Lock;
    std::vector<uint8_t> Bytes;
    int Samples = 0;
    int TypeChanges = 0;
};

HRESULT CollectSample(D_IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, BOOL typeChanged,
                      void* user)
{
    GrabbedData* data = static_cast<GrabbedData*>(user);
    BYTE* bytes = nullptr;
    sample->GetPointer(&bytes);
    long length = sample->GetActualDataLength();
    EnterCriticalSection(&data->Lock);
    data->Bytes.insert(data->Bytes.end(), bytes, bytes + length);
    data->Samples++;
    data->TypeChanges += typeChanged ? 1 : 0;
    LeaveCriticalSection(&data->Lock);
    return S_OK;
}

// One graph: reader -> system WAVE parser -> pass-through -> grabber -> renderer.
template <class Renderer>
class WaveGraph {
public:
    WaveFile Wave;
    D_CMemStream* Stream = nullptr;
    D_CMemReader* Reader = nullptr;
    PassThroughFilter* PassThrough = nullptr;
    D_CSampleGrabber* Grabber = nullptr;
    Renderer* Sink = nullptr;
    IBaseFilter* Parser = nullptr;
    IGraphBuilder* Graph = nullptr;
    GrabbedData Grabbed;

    explicit WaveGraph(int frames) : Wave(MakeWave(2, 44100, frames)) { InitializeCriticalSection(&Grabbed.Lock); }

    ~WaveGraph()
    {
        if (Graph != nullptr) Graph->Release();
        if (Parser != nullptr) Parser->Release();
        // The graph has let them go: their owner destroys them.
        StrmBase_Filter_Delete(Sink);
        StrmBase_Filter_Delete(Grabber);
        StrmBase_Filter_Delete(PassThrough);
        StrmBase_Filter_Delete(Reader);
        StrmBase_Stream_Delete(Stream);
        DeleteCriticalSection(&Grabbed.Lock);
    }

    void Connect(IBaseFilter* from, IBaseFilter* to)
    {
        IPin* out = FindPinByDirection(from, PINDIR_OUTPUT);
        IPin* in = FindPinByDirection(to, PINDIR_INPUT);
        ASSERT_NE(out, nullptr);
        ASSERT_NE(in, nullptr);
        HRESULT hr = Graph->ConnectDirect(out, in, nullptr);
        out->Release();
        in->Release();
        ASSERT_EQ(hr, S_OK);
    }

    void Build()
    {
        HRESULT hr = S_OK;
        Stream = StrmBase_MemStream_Create(Wave.File.data(), (LONGLONG)Wave.File.size(), StrmBase_MemStream_NoRateLimit);
        ASSERT_NE(Stream, nullptr);
        AM_MEDIA_TYPE fileType = PlainType(MEDIATYPE_Stream, MEDIASUBTYPE_WAVE, GUID_NULL);
        Reader = StrmBase_MemReader_Create(Stream, &fileType, &hr);
        ASSERT_EQ(hr, S_OK);
        PassThrough = new (__FILE__, __LINE__) PassThroughFilter(&hr);
        ASSERT_EQ(hr, S_OK);
        Grabber = StrmBase_SampleGrabber_Create(nullptr, &hr);
        ASSERT_EQ(hr, S_OK);
        AM_MEDIA_TYPE accepted = PlainType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, GUID_NULL);
        ASSERT_EQ(Grabber->AsGrabberSample()->SetAcceptedMediaType(&accepted), S_OK);
        ASSERT_EQ(Grabber->AsGrabberSample()->SetCallback(CollectSample, &Grabbed), S_OK);
        Sink = new (__FILE__, __LINE__) Renderer(&hr);
        ASSERT_EQ(hr, S_OK);

        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, (void**)&Graph),
                  S_OK);
        ASSERT_EQ(CoCreateInstance(WaveParserClassId(), nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                   (void**)&Parser),
                  S_OK)
            << "the system's WAVE parser";
        ASSERT_EQ(Graph->AddFilter(StrmBase_AsIBaseFilter(Reader), L"MemFile"), S_OK);
        ASSERT_EQ(Graph->AddFilter(Parser, L"Wave Parser"), S_OK);
        ASSERT_EQ(Graph->AddFilter(StrmBase_AsIBaseFilter(PassThrough), L"Pass-through"), S_OK);
        ASSERT_EQ(Graph->AddFilter(StrmBase_AsIBaseFilter(Grabber), L"SampleGrabber"), S_OK);
        ASSERT_EQ(Graph->AddFilter(StrmBase_AsIBaseFilter(Sink), L"Renderer"), S_OK);

        ASSERT_NO_FATAL_FAILURE(Connect(StrmBase_AsIBaseFilter(Reader), Parser));
        ASSERT_NO_FATAL_FAILURE(Connect(Parser, StrmBase_AsIBaseFilter(PassThrough)));
        ASSERT_NO_FATAL_FAILURE(Connect(StrmBase_AsIBaseFilter(PassThrough), StrmBase_AsIBaseFilter(Grabber)));
        ASSERT_NO_FATAL_FAILURE(Connect(StrmBase_AsIBaseFilter(Grabber), StrmBase_AsIBaseFilter(Sink)));
    }

    // Runs to the end of the stream; the event code that ended the wait.
    long RunToCompletion(DWORD timeoutMs)
    {
        IMediaControl* control = nullptr;
        IMediaEvent* events = nullptr;
        Graph->QueryInterface(IID_IMediaControl, (void**)&control);
        Graph->QueryInterface(IID_IMediaEvent, (void**)&events);
        long code = 0;
        if (control != nullptr && events != nullptr) {
            HRESULT hr = control->Run();
            EXPECT_TRUE(SUCCEEDED(hr)) << std::hex << hr;
            hr = events->WaitForCompletion((long)timeoutMs, &code);
            EXPECT_EQ(hr, S_OK) << std::hex << hr;
            EXPECT_EQ(control->Stop(), S_OK);
        }
        if (events != nullptr) events->Release();
        if (control != nullptr) control->Release();
        return code;
    }
};

class DirectShowGraphTest : public ComTest {};

TEST_F(DirectShowGraphTest, WaveFileRunsThroughTheSystemGraphToTheEnd)
{
    const LONG objectsBefore = StrmBase_GetObjectCount();
    {
        // 0.6 s of 44.1 kHz stereo.
        WaveGraph<RecordingRenderer> graph(26460);
        ASSERT_NO_FATAL_FAILURE(graph.Build());

        AM_MEDIA_TYPE connected;
        ASSERT_EQ(graph.Grabber->AsGrabberSample()->GetConnectedMediaType(&connected), S_OK);
        EXPECT_EQ(connected.majortype, MEDIATYPE_Audio);
        EXPECT_EQ(connected.subtype, MEDIASUBTYPE_PCM);
        ASSERT_EQ(connected.formattype, FORMAT_WaveFormatEx);
        ASSERT_GE(connected.cbFormat, 16u);
        const WAVEFORMATEX* format = (const WAVEFORMATEX*)connected.pbFormat;
        EXPECT_EQ(format->nChannels, 2);
        EXPECT_EQ(format->nSamplesPerSec, 44100u);
        EXPECT_EQ(format->wBitsPerSample, 16);
        StrmBase_MediaType_Destroy(&connected);

        EXPECT_EQ(graph.RunToCompletion(20000), EC_COMPLETE);

        EXPECT_GT(graph.Grabbed.Samples, 0);
        EXPECT_EQ(graph.Grabbed.TypeChanges, 1) << "the first sample after connecting reports the type";
        ASSERT_EQ(graph.Grabbed.Bytes.size(), graph.Wave.Pcm.size());
        EXPECT_TRUE(graph.Grabbed.Bytes == graph.Wave.Pcm) << "every byte of the PCM reaches the grabber";
        EXPECT_EQ(graph.PassThrough->Samples, graph.Grabbed.Samples);
        EXPECT_TRUE(graph.Sink->Bytes == graph.Wave.Pcm) << "and the renderer";

        // Rendered on the graph's clock: never before the sample's time and not far after it.
        REFERENCE_TIME earliest = 0;
        REFERENCE_TIME latest = 0;
        for (const RenderedSample& sample : graph.Sink->Rendered) {
            ASSERT_TRUE(sample.HasTime);
            REFERENCE_TIME late = sample.RenderedAt - sample.Start;
            earliest = std::min(earliest, late);
            latest = std::max(latest, late);
        }
        EXPECT_GE(earliest, -20 * 10000) << "at most 20 ms early (clock granularity)";
        EXPECT_LE(latest, 250 * 10000) << "at most 250 ms late";
        RecordProperty("RenderLatenessMaxMs", (int)(latest / 10000));
        RecordProperty("RenderEarlinessMaxMs", (int)(-earliest / 10000));
    }
    EXPECT_EQ(StrmBase_GetObjectCount(), objectsBefore);
    EXPECT_EQ(StrmBase_GetObjectCount(), 0);
}

TEST_F(DirectShowGraphTest, SeekingRequestsReachTheParserThroughOurFilters)
{
    WaveGraph<RecordingRenderer> graph(44100);  // 1 s
    ASSERT_NO_FATAL_FAILURE(graph.Build());

    // The renderer's pass-through asks the grabber, whose output pin asks our pass-through, which asks
    // the parser.
    IMediaSeeking* seeking = nullptr;
    ASSERT_EQ(StrmBase_AsIBaseFilter(graph.Sink)->QueryInterface(IID_IMediaSeeking, (void**)&seeking), S_OK);
    LONGLONG duration = 0;
    ASSERT_EQ(seeking->GetDuration(&duration), S_OK);
    EXPECT_EQ(duration, 10000000);
    IPin* parserOut = FindPinByDirection(graph.Parser, PINDIR_OUTPUT);
    ASSERT_NE(parserOut, nullptr);
    IMediaSeeking* parserSeeking = nullptr;
    ASSERT_EQ(parserOut->QueryInterface(IID_IMediaSeeking, (void**)&parserSeeking), S_OK);
    double rate = 0;
    EXPECT_EQ(seeking->SetRate(0.0), E_INVALIDARG);
    EXPECT_EQ(parserSeeking->GetRate(&rate), S_OK);
    EXPECT_EQ(rate, 1.0) << "a rate of 0 never left the renderer";
    EXPECT_EQ(seeking->SetRate(2.0), S_OK);
    LONGLONG start = 2500000;
    LONGLONG stop = 7500000;
    EXPECT_EQ(seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, &stop, AM_SEEKING_AbsolutePositioning),
              S_OK);
    LONGLONG current = -1;
    EXPECT_EQ(seeking->GetCurrentPosition(&current), S_OK) << "before any sample: answered upstream";
    EXPECT_EQ(current, start);

    EXPECT_EQ(parserSeeking->GetRate(&rate), S_OK);
    EXPECT_EQ(rate, 2.0) << "the rate reached the parser";
    LONGLONG parserStop = 0;
    EXPECT_EQ(parserSeeking->GetStopPosition(&parserStop), S_OK);
    EXPECT_EQ(parserStop, stop);
    parserSeeking->Release();
    parserOut->Release();

    // Once the renderer knows the media time it shows, the position is its own.
    ASSERT_NE(graph.Sink->Position, nullptr);
    graph.Sink->Position->RegisterMediaTime(3000000, 3100000);
    EXPECT_EQ(seeking->GetCurrentPosition(&current), S_OK);
    EXPECT_EQ(current, 3000000);
    graph.Sink->Position->ResetMediaTime();
    EXPECT_EQ(seeking->GetCurrentPosition(&current), S_OK);
    EXPECT_EQ(current, start) << "forgotten: upstream again";

    IMediaPosition* position = nullptr;
    ASSERT_EQ(StrmBase_AsIBaseFilter(graph.Sink)->QueryInterface(IID_IMediaPosition, (void**)&position), S_OK);
    // IMediaPosition goes upstream the same way: the answer is the grabber output pin's (whatever the
    // system's pass-through there makes of it).
    IPin* grabberOut = FindPinByDirection(StrmBase_AsIBaseFilter(graph.Grabber), PINDIR_OUTPUT);
    ASSERT_NE(grabberOut, nullptr);
    IMediaPosition* upstream = nullptr;
    ASSERT_EQ(grabberOut->QueryInterface(IID_IMediaPosition, (void**)&upstream), S_OK);
    REFTIME length = -1;
    REFTIME upstreamLength = -1;
    EXPECT_EQ(position->get_Duration(&length), upstream->get_Duration(&upstreamLength));
    EXPECT_EQ(length, upstreamLength);
    upstream->Release();
    grabberOut->Release();
    EXPECT_EQ(position->put_Rate(0.0), E_INVALIDARG);

    // IDispatch: one type information, from the DirectShow control library.
    UINT count = 0;
    EXPECT_EQ(position->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ITypeInfo* info = nullptr;
    EXPECT_EQ(position->GetTypeInfo(1, 0, &info), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(position->GetTypeInfo(0, 0, nullptr), E_POINTER);
    EXPECT_EQ(position->Invoke(1, IID_IMediaPosition, 0, DISPATCH_PROPERTYGET, nullptr, nullptr, nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);
    HRESULT loaded = position->GetTypeInfo(0, 0, &info);
    RecordProperty("ControlTypeLibrary", loaded == S_OK ? "loaded" : "missing");
    if (loaded == S_OK) {
        info->Release();
        LPOLESTR name = (LPOLESTR)L"Rate";
        DISPID id = 0;
        ASSERT_EQ(position->GetIDsOfNames(GUID_NULL, &name, 1, 0, &id), S_OK);
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        VARIANT result;
        VariantInit(&result);
        EXCEPINFO exception = {};
        double direct = 0;
        HRESULT asked = position->get_Rate(&direct);
        HRESULT invoked = position->Invoke(id, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, &exception, nullptr);
        if (SUCCEEDED(asked)) {
            ASSERT_EQ(invoked, S_OK);
            EXPECT_EQ(result.vt, VT_R8);
            EXPECT_EQ(result.dblVal, direct) << "the rate, asked through IDispatch";
        } else {
            // The call reached get_Rate, whose failure comes back as the exception's code.
            EXPECT_EQ(invoked, DISP_E_EXCEPTION);
            EXPECT_EQ(exception.scode, asked);
            SysFreeString(exception.bstrSource);
            SysFreeString(exception.bstrDescription);
            SysFreeString(exception.bstrHelpFile);
        }
    }
    position->Release();
    seeking->Release();
}

TEST_F(DirectShowGraphTest, PassThroughOverAnUnconnectedPinAnswersNotImplemented)
{
    HRESULT hr = S_OK;
    RecordingRenderer* sink = new (__FILE__, __LINE__) RecordingRenderer(&hr);
    D_CPosPassThru* passThru =
        new (__FILE__, __LINE__) D_CPosPassThru(L"Test pass-through", nullptr, &hr, sink->GetPin(0)->AsPin());
    ASSERT_EQ(hr, S_OK);
    D_IMediaSeeking* seeking = nullptr;
    D_IMediaPosition* position = nullptr;
    ASSERT_EQ(passThru->NonDelegatingQueryInterface(IID_IMediaSeeking, (void**)&seeking), S_OK);
    ASSERT_EQ(passThru->NonDelegatingQueryInterface(IID_IMediaPosition, (void**)&position), S_OK);
    LONGLONG value = 0;
    double rate = 0;
    REFTIME time = 0;
    LONGLONG start = 0;
    EXPECT_EQ(seeking->GetDuration(&value), E_NOTIMPL);
    EXPECT_EQ(seeking->GetCurrentPosition(&value), E_NOTIMPL);
    EXPECT_EQ(seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, 0), E_NOTIMPL);
    EXPECT_EQ(seeking->SetRate(1.5), E_NOTIMPL);
    EXPECT_EQ(seeking->SetRate(0.0), E_INVALIDARG);
    EXPECT_EQ(seeking->GetRate(&rate), E_NOTIMPL);
    EXPECT_EQ(position->get_Duration(&time), E_NOTIMPL);
    EXPECT_EQ(position->put_Rate(2.0), E_NOTIMPL);
    EXPECT_EQ(passThru->GetMediaTime(&value, nullptr), E_FAIL);
    D_CPosPassThru* unusable = new (__FILE__, __LINE__) D_CPosPassThru(L"No pin", nullptr, &hr, nullptr);
    EXPECT_EQ(hr, E_POINTER);
    delete unusable;
    delete passThru;
    StrmBase_Filter_Delete(sink);
}

TEST_F(DirectShowGraphTest, VideoRendererBaseDrawsOrDropsEverySampleAndKeepsStatistics)
{
    const LONG objectsBefore = StrmBase_GetObjectCount();
    {
        WaveGraph<RecordingVideoRenderer> graph(22050);  // 0.5 s
        ASSERT_NO_FATAL_FAILURE(graph.Build());
        EXPECT_EQ(graph.RunToCompletion(20000), EC_COMPLETE);

        int drawn = -1;
        int dropped = -1;
        int rate = -1;
        ASSERT_EQ(graph.Sink->get_FramesDrawn(&drawn), S_OK);
        ASSERT_EQ(graph.Sink->get_FramesDroppedInRenderer(&dropped), S_OK);
        ASSERT_EQ(graph.Sink->get_AvgFrameRate(&rate), S_OK);
        EXPECT_GT(drawn, 0);
        EXPECT_EQ(drawn + dropped, graph.Grabbed.Samples) << "every sample is either drawn or counted as dropped";
        EXPECT_EQ((int)graph.Sink->Rendered.size(), drawn);
        EXPECT_GT(rate, 0);
        for (const RenderedSample& sample : graph.Sink->Rendered)
            EXPECT_LE(sample.RenderedAt - sample.Start, 250 * 10000) << "drawn at most 250 ms late";
    }
    // Leaving the graph told it the window went (EC_WINDOW_DESTROYED) without harm; nothing is left.
    EXPECT_EQ(StrmBase_GetObjectCount(), objectsBefore);
}

}  // namespace
