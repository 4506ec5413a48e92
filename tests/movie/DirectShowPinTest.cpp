// Filters and pins of the library's DirectShow classes: connection negotiation and its refusals,
// the lifetime rule (Release never destroys), names in the info records, the pin and media-type
// enumerators, the media-type helpers, filter registration, the transform filters' pins and the
// sample grabber's configuration and delivery buffer.
#include "DirectShowTestSupport.h"
#include "foundation/VtMemory.h"

using namespace Vantrel;
using namespace DirectShowTest;

namespace {

class DirectShowPinTest : public ComTest {
protected:
    WAVEFORMATEX Format = {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    ScriptedSourceFilter* Source = nullptr;
    RecordingRenderer* Sink = nullptr;

    void SetUp() override
    {
        ComTest::SetUp();
        HRESULT hr = S_OK;
        Source = new (__FILE__, __LINE__) ScriptedSourceFilter(2);
        for (ScriptedOutputPin* pin : Source->Pins) pin->Offered.push_back(PcmType(&Format));
        Sink = new (__FILE__, __LINE__) RecordingRenderer(&hr);
        ASSERT_EQ(hr, S_OK);
    }
    void TearDown() override
    {
        for (ScriptedOutputPin* pin : Source->Pins)
            if (pin->IsConnected()) {
                Source->AsBaseFilter()->Stop();
                Sink->AsBaseFilter()->Stop();
                pin->GetConnected()->Disconnect();
                pin->Disconnect();
            }
        StrmBase_Filter_Delete(Source);
        StrmBase_Filter_Delete(Sink);
        ComTest::TearDown();
    }
    D_IPin* SinkPin() { return Sink->GetPin(0)->AsPin(); }
};

TEST_F(DirectShowPinTest, ConnectionRefusalsGiveThePublishedCodes)
{
    Sink->AcceptedMajor = MEDIATYPE_Video;
    ScriptedOutputPin* out = Source->Pins[0];
    EXPECT_EQ(out->Connect(SinkPin(), nullptr), VFW_E_NO_ACCEPTABLE_TYPES) << "no type of either pin is taken";
    AM_MEDIA_TYPE pcm = PcmType(&Format);
    EXPECT_EQ(out->Connect(SinkPin(), &pcm), VFW_E_TYPE_NOT_ACCEPTED) << "a refused type, fully specified";
    EXPECT_EQ(SinkPin()->ReceiveConnection(out->AsPin(), &pcm), VFW_E_TYPE_NOT_ACCEPTED);
    D_IPin* peer = nullptr;
    EXPECT_EQ(out->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(peer, nullptr);
    AM_MEDIA_TYPE type;
    EXPECT_EQ(SinkPin()->ConnectionMediaType(&type), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(out->Connect(nullptr, nullptr), E_POINTER);

    Sink->AcceptedMajor = MEDIATYPE_Audio;
    ASSERT_EQ(out->Connect(SinkPin(), nullptr), S_OK);
    ASSERT_EQ(SinkPin()->ConnectionMediaType(&type), S_OK);
    EXPECT_TRUE(StrmBase_MediaType_Equal(&type, &pcm));
    StrmBase_MediaType_Destroy(&type);
    ASSERT_EQ(SinkPin()->ConnectedTo(&peer), S_OK);
    EXPECT_EQ(peer, out->AsPin());
    peer->Release();

    EXPECT_EQ(out->Connect(SinkPin(), nullptr), VFW_E_ALREADY_CONNECTED);
    EXPECT_EQ(Source->Pins[1]->Connect(SinkPin(), nullptr), VFW_E_ALREADY_CONNECTED)
        << "the renderer's pin is taken";
    EXPECT_EQ(SinkPin()->ReceiveConnection(Source->Pins[1]->AsPin(), &pcm), VFW_E_ALREADY_CONNECTED);

    // A running filter's pin neither connects nor disconnects.
    ASSERT_EQ(Source->AsBaseFilter()->Run(0), S_OK);
    HRESULT hr = S_OK;
    RecordingRenderer* other = new (__FILE__, __LINE__) RecordingRenderer(&hr);
    EXPECT_EQ(Source->Pins[1]->Connect(other->GetPin(0)->AsPin(), nullptr), VFW_E_NOT_STOPPED);
    EXPECT_FALSE(Source->Pins[1]->IsConnected());
    EXPECT_FALSE(other->GetPin(0)->IsConnected()) << "the other pin was not touched";
    EXPECT_EQ(out->Disconnect(), VFW_E_NOT_STOPPED);
    ASSERT_EQ(Source->AsBaseFilter()->Stop(), S_OK);
    StrmBase_Filter_Delete(other);

    EXPECT_EQ(SinkPin()->Disconnect(), S_OK);
    EXPECT_EQ(out->Disconnect(), S_OK);
    EXPECT_EQ(out->Disconnect(), S_FALSE) << "nothing left to break";
}

TEST_F(DirectShowPinTest, ReleaseNeverDestroysAFilterOrPin)
{
    Sink->GetPin(0);  // made on first use
    const LONG objects = StrmBase_GetObjectCount();
    IBaseFilter* filter = StrmBase_AsIBaseFilter(Sink);
    for (int i = 0; i < 10; i++) {
        IBaseFilter* again = nullptr;
        ASSERT_EQ(filter->QueryInterface(IID_IBaseFilter, (void**)&again), S_OK);
        again->Release();
        again->Release();
        IPin* pin = nullptr;
        ASSERT_EQ(filter->FindPin(L"In", &pin), S_OK);
        pin->Release();
        pin->Release();
    }
    EXPECT_EQ(StrmBase_GetObjectCount(), objects);
    FILTER_STATE state;
    EXPECT_EQ(filter->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
    IPin* pin = nullptr;
    EXPECT_EQ(filter->FindPin(L"Out", &pin), VFW_E_NOT_FOUND);
    EXPECT_EQ(pin, nullptr);
}

TEST_F(DirectShowPinTest, InfoRecordsTruncateNamesTo127Characters)
{
    std::wstring longName(200, L'n');
    for (size_t i = 0; i < longName.size(); i++) longName[i] = (wchar_t)(L'a' + i % 26);
    ASSERT_EQ(Sink->AsBaseFilter()->JoinFilterGraph(nullptr, longName.c_str()), S_OK);
    FILTER_INFO info;
    ASSERT_EQ(Sink->AsBaseFilter()->QueryFilterInfo(&info), S_OK);
    EXPECT_EQ(std::wstring(info.achName), longName.substr(0, 127));
    EXPECT_EQ(info.pGraph, nullptr);

    HRESULT hr = S_OK;
    ScriptedOutputPin* pin = new (__FILE__, __LINE__) ScriptedOutputPin(Source, &Source->SourceLock, &hr, longName.c_str());
    PIN_INFO pinInfo;
    ASSERT_EQ(pin->QueryPinInfo(&pinInfo), S_OK);
    EXPECT_EQ(std::wstring(pinInfo.achName), longName.substr(0, 127));
    EXPECT_EQ(pinInfo.dir, PINDIR_OUTPUT);
    EXPECT_EQ(pinInfo.pFilter, StrmBase_AsIBaseFilter(Source));
    LPWSTR id = nullptr;
    ASSERT_EQ(pin->QueryId(&id), S_OK);
    EXPECT_EQ(std::wstring(id), longName) << "the id keeps the whole name";
    CoTaskMemFree(id);
    delete pin;
}

TEST_F(DirectShowPinTest, PinEnumeratorFollowsThePublishedRules)
{
    Source->AddPin();  // three pins
    D_IEnumPins* pins = nullptr;
    ASSERT_EQ(Source->AsBaseFilter()->EnumPins(&pins), S_OK);
    D_IPin* got[4] = {};
    ULONG fetched = 99;
    EXPECT_EQ(pins->Next(2, got, nullptr), E_INVALIDARG) << "more than one needs a count";
    EXPECT_EQ(pins->Next(1, nullptr, nullptr), E_POINTER);
    ASSERT_EQ(pins->Next(2, got, &fetched), S_OK);
    EXPECT_EQ(fetched, 2u);
    EXPECT_EQ(got[0], Source->Pins[0]->AsPin());
    EXPECT_EQ(got[1], Source->Pins[1]->AsPin());
    EXPECT_EQ(pins->Next(2, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(got[0], Source->Pins[2]->AsPin());
    EXPECT_EQ(pins->Next(1, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    ASSERT_EQ(pins->Reset(), S_OK);
    EXPECT_EQ(pins->Skip(4), S_FALSE);
    EXPECT_EQ(pins->Skip(2), S_OK);
    D_IEnumPins* clone = nullptr;
    ASSERT_EQ(pins->Clone(&clone), S_OK);
    ASSERT_EQ(clone->Next(1, got, nullptr), S_OK);
    EXPECT_EQ(got[0], Source->Pins[2]->AsPin()) << "the clone goes on where its original stands";
    clone->Release();
    ASSERT_EQ(pins->Next(1, got, nullptr), S_OK);
    EXPECT_EQ(got[0], Source->Pins[2]->AsPin());

    // A pin added: the filter's pin version moves on.
    Source->AddPin();
    EXPECT_EQ(pins->Skip(1), VFW_E_ENUM_OUT_OF_SYNC);
    EXPECT_EQ(pins->Clone(&clone), VFW_E_ENUM_OUT_OF_SYNC);
    EXPECT_EQ(clone, nullptr);
    ASSERT_EQ(pins->Next(4, got, &fetched), S_FALSE) << "starts over without the pin handed out before";
    ASSERT_EQ(fetched, 3u);
    EXPECT_EQ(got[0], Source->Pins[0]->AsPin());
    EXPECT_EQ(got[1], Source->Pins[1]->AsPin());
    EXPECT_EQ(got[2], Source->Pins[3]->AsPin());
    ASSERT_EQ(pins->Reset(), S_OK);
    ASSERT_EQ(pins->Next(4, got, &fetched), S_OK);
    EXPECT_EQ(fetched, 4u);

    // Counted normally: the last Release frees it.
    const int32_t blocks = Memory_GetBlockCount();
    D_IEnumPins* extra = nullptr;
    ASSERT_EQ(Source->AsBaseFilter()->EnumPins(&extra), S_OK);
    EXPECT_EQ(extra->AddRef(), 2u);
    EXPECT_EQ(extra->Release(), 1u);
    EXPECT_EQ(extra->Release(), 0u);
    EXPECT_EQ(Memory_GetBlockCount(), blocks);
    pins->Release();
}

TEST_F(DirectShowPinTest, MediaTypeEnumeratorFollowsThePublishedRules)
{
    ScriptedOutputPin* pin = Source->Pins[0];
    pin->Offered.push_back(PlainType(MEDIATYPE_Audio, MEDIASUBTYPE_IEEE_FLOAT, GUID_NULL));
    pin->Offered.push_back(PlainType(MEDIATYPE_Video, MEDIASUBTYPE_RGB32, GUID_NULL));
    D_IEnumMediaTypes* types = nullptr;
    ASSERT_EQ(pin->EnumMediaTypes(&types), S_OK);
    AM_MEDIA_TYPE* got[3] = {};
    ULONG fetched = 0;
    ASSERT_EQ(types->Next(2, got, &fetched), S_OK);
    ASSERT_EQ(fetched, 2u);
    EXPECT_TRUE(StrmBase_MediaType_Equal(got[0], &pin->Offered[0]));
    EXPECT_NE(got[0]->pbFormat, pin->Offered[0].pbFormat) << "each a copy of its own";
    EXPECT_EQ(got[1]->subtype, MEDIASUBTYPE_IEEE_FLOAT);
    for (ULONG i = 0; i < fetched; i++) StrmBase_MediaType_Delete(got[i]);
    ASSERT_EQ(types->Next(2, got, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(got[0]->majortype, MEDIATYPE_Video);
    StrmBase_MediaType_Delete(got[0]);

    ASSERT_EQ(types->Reset(), S_OK);
    EXPECT_EQ(types->Skip(0), S_OK);
    EXPECT_EQ(types->Skip(5), S_FALSE) << "past the end";
    EXPECT_EQ(types->Next(1, got, nullptr), S_FALSE) << "but the position moved";
    ASSERT_EQ(types->Reset(), S_OK);
    EXPECT_EQ(types->Skip(2), S_OK);
    ASSERT_EQ(types->Next(1, got, nullptr), S_OK);
    EXPECT_EQ(got[0]->majortype, MEDIATYPE_Video);
    StrmBase_MediaType_Delete(got[0]);

    pin->IncrementTypeVersion();
    EXPECT_EQ(types->Next(1, got, nullptr), VFW_E_ENUM_OUT_OF_SYNC);
    EXPECT_EQ(types->Skip(1), VFW_E_ENUM_OUT_OF_SYNC);
    D_IEnumMediaTypes* clone = nullptr;
    EXPECT_EQ(types->Clone(&clone), VFW_E_ENUM_OUT_OF_SYNC);
    ASSERT_EQ(types->Reset(), S_OK);
    ASSERT_EQ(types->Clone(&clone), S_OK);
    ASSERT_EQ(clone->Next(1, got, nullptr), S_OK);
    StrmBase_MediaType_Delete(got[0]);
    clone->Release();
    types->Release();
}

// Counts references for the media type's held interface.
class CountedUnknown : public IUnknown {
public:
    LONG References = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return (ULONG)++References; }
    ULONG STDMETHODCALLTYPE Release() override { return (ULONG)--References; }
};

TEST(DirectShowMediaTypeTest, CopyCompareAndPartialMatch)
{
    WAVEFORMATEX format = {WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
    AM_MEDIA_TYPE pcm = PcmType(&format);
    CountedUnknown held;
    pcm.pUnk = &held;
    AM_MEDIA_TYPE copy;
    ASSERT_EQ(StrmBase_MediaType_Copy(&copy, &pcm), S_OK);
    EXPECT_EQ(held.References, 2);
    EXPECT_NE(copy.pbFormat, pcm.pbFormat);
    EXPECT_TRUE(StrmBase_MediaType_Equal(&copy, &pcm));
    ((WAVEFORMATEX*)copy.pbFormat)->nSamplesPerSec = 8001;
    EXPECT_FALSE(StrmBase_MediaType_Equal(&copy, &pcm)) << "format bytes count";

    const AM_MEDIA_TYPE any = PlainType(GUID_NULL, GUID_NULL, GUID_NULL);
    const AM_MEDIA_TYPE video = PlainType(MEDIATYPE_Video, MEDIASUBTYPE_RGB24, FORMAT_VideoInfo);
    EXPECT_TRUE(StrmBase_MediaType_MatchesPartial(&pcm, &any)) << "three null GUIDs match any type";
    EXPECT_TRUE(StrmBase_MediaType_MatchesPartial(&video, &any));
    const AM_MEDIA_TYPE audio = PlainType(MEDIATYPE_Audio, GUID_NULL, GUID_NULL);
    EXPECT_TRUE(StrmBase_MediaType_MatchesPartial(&pcm, &audio));
    EXPECT_FALSE(StrmBase_MediaType_MatchesPartial(&video, &audio));
    EXPECT_TRUE(StrmBase_MediaType_MatchesPartial(&pcm, &pcm));
    EXPECT_FALSE(StrmBase_MediaType_MatchesPartial(&copy, &pcm)) << "a given format type brings its bytes";
    EXPECT_TRUE(StrmBase_MediaType_IsPartiallySpecified(&audio));
    EXPECT_FALSE(StrmBase_MediaType_IsPartiallySpecified(&pcm));

    StrmBase_MediaType_Destroy(&copy);
    EXPECT_EQ(held.References, 1);
    EXPECT_EQ(copy.pbFormat, nullptr);
    EXPECT_EQ(copy.cbFormat, 0u);
    EXPECT_EQ(copy.pUnk, nullptr);
}

class DirectShowRegistrationTest : public ComTest {};

TEST_F(DirectShowRegistrationTest, RegisteringAndUnregisteringWithTheFilterMapper)
{
    HRESULT hr = S_OK;
    D_CWavDestFilter* writer = StrmBase_WavDest_Create(nullptr, &hr);
    ASSERT_EQ(hr, S_OK);
    D_IAMovieSetup* setup = nullptr;
    ASSERT_EQ(writer->AsBaseFilter()->QueryInterface(IID_IAMovieSetup, (void**)&setup), S_OK);
    EXPECT_EQ(setup->Unregister(), S_OK) << "never registered: still S_OK";
    EXPECT_EQ(setup->Register(), S_OK);
    EXPECT_EQ(setup->Unregister(), S_OK);
    setup->Release();

    IFilterMapper* mapper = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper, (void**)&mapper),
              S_OK);
    EXPECT_EQ(StrmBase_RegisterFilterSetup(StrmBase_WavDest_Templates[0].Setup, mapper, TRUE), S_OK);
    EXPECT_EQ(StrmBase_RegisterFilterSetup(StrmBase_WavDest_Templates[0].Setup, mapper, FALSE), S_OK);
    EXPECT_EQ(StrmBase_RegisterFilterSetup(nullptr, mapper, TRUE), S_FALSE);
    mapper->Release();
    EXPECT_EQ(StrmBase_WavDest_TemplateCount, 1);
    EXPECT_EQ(*StrmBase_WavDest_Templates[0].ClassId, CLSID_D_WavDest);

    // A filter without setup data has nothing to register.
    RecordingRenderer* sink = new (__FILE__, __LINE__) RecordingRenderer(&hr);
    ASSERT_EQ(sink->AsBaseFilter()->QueryInterface(IID_IAMovieSetup, (void**)&setup), S_OK);
    EXPECT_EQ(setup->Register(), S_FALSE);
    setup->Release();
    StrmBase_Filter_Delete(sink);
    StrmBase_Filter_Delete(writer);
}

TEST_F(DirectShowPinTest, TransformPinsByNameAndInOrder)
{
    HRESULT hr = S_OK;
    D_CWavDestFilter* writer = StrmBase_WavDest_Create(nullptr, &hr);
    ASSERT_EQ(hr, S_OK);
    D_IPin* pin = nullptr;
    ASSERT_EQ(writer->AsBaseFilter()->FindPin(L"Out", &pin), S_OK);
    EXPECT_EQ(pin, writer->Output->AsPin());
    EXPECT_EQ(writer->AsBaseFilter()->FindPin(L"Output", &pin), VFW_E_NOT_FOUND);
    EXPECT_EQ(pin, nullptr);
    ASSERT_EQ(writer->AsBaseFilter()->FindPin(L"In", &pin), S_OK);
    EXPECT_EQ(pin, writer->Input->AsPin());

    // The output connects only once the input has.
    Sink->AcceptedMajor = MEDIATYPE_Stream;
    AM_MEDIA_TYPE wave = PlainType(MEDIATYPE_Stream, MEDIASUBTYPE_WAVE, FORMAT_None);
    EXPECT_EQ(writer->Output->Connect(SinkPin(), &wave), E_UNEXPECTED);
    EXPECT_FALSE(writer->Output->IsConnected());

    // Nothing upstream: a pause delivers one end of stream downstream, and only one.
    ASSERT_EQ(Source->Pins[0]->Connect(writer->Input->AsPin(), nullptr), S_OK);
    ASSERT_EQ(writer->Output->Connect(SinkPin(), nullptr), S_OK);
    ASSERT_EQ(Source->Pins[0]->Disconnect(), S_OK);
    ASSERT_EQ(writer->Input->Disconnect(), S_OK);
    ASSERT_TRUE(SUCCEEDED(Sink->AsBaseFilter()->Run(0)));
    EXPECT_EQ(writer->AsBaseFilter()->Pause(), S_OK);
    EXPECT_EQ(Sink->EndOfStreams, 1);
    EXPECT_EQ(writer->AsBaseFilter()->Pause(), S_OK);
    EXPECT_EQ(writer->AsBaseFilter()->Stop(), S_OK);
    EXPECT_EQ(writer->AsBaseFilter()->Pause(), S_OK);
    EXPECT_EQ(Sink->EndOfStreams, 1);
    Sink->AsBaseFilter()->Stop();
    writer->AsBaseFilter()->Stop();
    writer->Output->Disconnect();
    SinkPin()->Disconnect();
    StrmBase_Filter_Delete(writer);
}

// The grabber's pins connect inside a graph (the in-place filter reconnects through it).
class DirectShowGrabberTest : public DirectShowPinTest {
protected:
    IFilterGraph* Graph = nullptr;
    D_CSampleGrabber* Grabber = nullptr;

    void SetUp() override
    {
        DirectShowPinTest::SetUp();
        HRESULT hr = S_OK;
        Grabber = StrmBase_SampleGrabber_Create(nullptr, &hr);
        ASSERT_EQ(hr, S_OK);
        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterGraph, (void**)&Graph),
                  S_OK);
    }
    void TearDown() override
    {
        if (Graph != nullptr) Graph->Release();  // stops and disconnects everything it holds
        StrmBase_Filter_Delete(Grabber);
        DirectShowPinTest::TearDown();
    }
    void AddAll()
    {
        ASSERT_EQ(Graph->AddFilter(StrmBase_AsIBaseFilter(Source), L"Source"), S_OK);
        ASSERT_EQ(Graph->AddFilter(StrmBase_AsIBaseFilter(Grabber), L"Grabber"), S_OK);
        ASSERT_EQ(Graph->AddFilter(StrmBase_AsIBaseFilter(Sink), L"Sink"), S_OK);
    }
};

struct CallbackLog {
    std::vector<BYTE*> Buffers;
    std::vector<BOOL> Changed;
    std::vector<REFERENCE_TIME> Starts;
};

HRESULT LogSample(D_IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, BOOL changed, void* user)
{
    CallbackLog* log = static_cast<CallbackLog*>(user);
    BYTE* buffer = nullptr;
    sample->GetPointer(&buffer);
    log->Buffers.push_back(buffer);
    log->Changed.push_back(changed);
    log->Starts.push_back(*start);
    return S_OK;
}

TEST_F(DirectShowGrabberTest, AcceptedTypeAndConfigurationRules)
{
    D_IGrabberSample* control = nullptr;
    ASSERT_EQ(StrmBase_AsIBaseFilter(Grabber)->QueryInterface(IID_D_IGrabberSample, (void**)&control), S_OK);
    AM_MEDIA_TYPE accepted = PlainType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, GUID_NULL);
    ASSERT_EQ(control->SetAcceptedMediaType(&accepted), S_OK);
    AM_MEDIA_TYPE pcm = PcmType(&Format);
    AM_MEDIA_TYPE pcmOtherFormat = PlainType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_None);
    AM_MEDIA_TYPE video = PlainType(MEDIATYPE_Video, MEDIASUBTYPE_RGB32, FORMAT_VideoInfo);
    AM_MEDIA_TYPE floatAudio = PlainType(MEDIATYPE_Audio, MEDIASUBTYPE_IEEE_FLOAT, FORMAT_WaveFormatEx);
    EXPECT_EQ(Grabber->CheckInputType(&pcm), S_OK);
    EXPECT_EQ(Grabber->CheckInputType(&pcmOtherFormat), S_OK) << "any format type";
    EXPECT_EQ(Grabber->CheckInputType(&video), VFW_E_TYPE_NOT_ACCEPTED);
    EXPECT_EQ(Grabber->CheckInputType(&floatAudio), VFW_E_TYPE_NOT_ACCEPTED);
    ASSERT_EQ(control->SetAcceptedMediaType(nullptr), S_OK);
    EXPECT_EQ(Grabber->CheckInputType(&video), S_OK) << "reset: anything goes";
    ASSERT_EQ(control->SetAcceptedMediaType(&accepted), S_OK);

    AM_MEDIA_TYPE connected;
    EXPECT_EQ(control->GetConnectedMediaType(&connected), VFW_E_NOT_CONNECTED);
    BYTE buffer[64];
    ALLOCATOR_PROPERTIES two = {2, 32, 1, 0};
    EXPECT_EQ(control->SetDeliveryBuffer(two, buffer), E_INVALIDARG) << "one buffer only";
    ALLOCATOR_PROPERTIES one = {1, 64, 1, 0};
    EXPECT_EQ(control->SetDeliveryBuffer(one, nullptr), E_POINTER);

    // Video is refused at the pin; audio connects.
    ASSERT_NO_FATAL_FAILURE(AddAll());
    Source->Pins[1]->Offered.assign(1, video);
    EXPECT_EQ(Graph->ConnectDirect(StrmBase_AsIPin(Source->Pins[1]), StrmBase_AsIPin(Grabber->GetPin(0)), nullptr),
              VFW_E_NO_ACCEPTABLE_TYPES);
    ASSERT_EQ(Graph->ConnectDirect(StrmBase_AsIPin(Source->Pins[0]), StrmBase_AsIPin(Grabber->GetPin(0)), nullptr),
              S_OK);
    ASSERT_EQ(control->GetConnectedMediaType(&connected), S_OK);
    EXPECT_TRUE(StrmBase_MediaType_Equal(&connected, &pcm));
    StrmBase_MediaType_Destroy(&connected);
    EXPECT_EQ(control->SetDeliveryBuffer(one, buffer), E_INVALIDARG) << "not once connected";
    control->Release();
}

TEST_F(DirectShowGrabberTest, DeliversIntoTheCallersBufferAndReportsTheTypeChangeOnce)
{
    std::vector<BYTE> delivery(4096, 0);
    CallbackLog log;
    AM_MEDIA_TYPE accepted = PlainType(MEDIATYPE_Audio, GUID_NULL, GUID_NULL);
    ASSERT_EQ(Grabber->SetAcceptedMediaType(&accepted), S_OK);
    ASSERT_EQ(Grabber->SetCallback(LogSample, &log), S_OK);
    ALLOCATOR_PROPERTIES one = {1, 4096, 1, 0};
    ASSERT_EQ(Grabber->SetDeliveryBuffer(one, delivery.data()), S_OK);
    Source->Pins[0]->Wanted = one;

    ASSERT_NO_FATAL_FAILURE(AddAll());
    ASSERT_EQ(Graph->ConnectDirect(StrmBase_AsIPin(Source->Pins[0]), StrmBase_AsIPin(Grabber->GetPin(0)), nullptr),
              S_OK);
    ASSERT_EQ(Graph->ConnectDirect(StrmBase_AsIPin(Grabber->GetPin(1)), StrmBase_AsIPin(Sink->GetPin(0)), nullptr),
              S_OK);
    D_IMemAllocator* upstream = nullptr;
    ASSERT_EQ(Grabber->GrabberInput()->GetAllocator(&upstream), S_OK);
    EXPECT_EQ(upstream, Grabber->GrabberInput()->DeliveryAllocator->AsMemAllocator());
    upstream->Release();

    for (D_CBaseFilter* filter : {(D_CBaseFilter*)Sink, (D_CBaseFilter*)Grabber, (D_CBaseFilter*)Source})
        ASSERT_TRUE(SUCCEEDED(filter->AsBaseFilter()->Run(0)));
    ASSERT_EQ(Grabber->GetPin(0)->AsPin()->NewSegment(5000, 1000000, 1.0), S_OK);
    const char first[] = "first block";
    const char second[] = "second block";
    REFERENCE_TIME start = 100;
    REFERENCE_TIME stop = 200;
    ASSERT_EQ(Source->Pins[0]->Push(first, sizeof(first), &start, &stop), S_OK);
    ASSERT_EQ(Source->Pins[0]->Push(second, sizeof(second), &start, &stop), S_OK);
    ASSERT_EQ(log.Buffers.size(), 2u);
    EXPECT_EQ(log.Buffers[0], delivery.data()) << "the sample lies in the caller's buffer";
    EXPECT_EQ(log.Changed[0], TRUE) << "the first sample after the type was set";
    EXPECT_EQ(log.Changed[1], FALSE);
    EXPECT_EQ(log.Starts[0], 5100) << "times are raised by the segment start";
    std::vector<uint8_t> expected(first, first + sizeof(first));
    expected.insert(expected.end(), second, second + sizeof(second));
    EXPECT_TRUE(Sink->Bytes == expected) << "and pass on unchanged";
    for (D_CBaseFilter* filter : {(D_CBaseFilter*)Source, (D_CBaseFilter*)Grabber, (D_CBaseFilter*)Sink})
        filter->AsBaseFilter()->Stop();
}

}  // namespace
