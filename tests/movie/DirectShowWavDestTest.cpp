// The WAV writer filter: in the system's graph after the WAVE parser it writes, through a file sink of
// ours, a RIFF WAVE file that sox reads back as the PCM that went in; on its own it stamps each sample
// with its byte position, keeps no bytes of a sample whose delivery failed, and cannot write a header
// through a pin without IStream. (The system's own file writer offers no IStream on its pin under Wine,
// so the header could not reach it.)
#include "DirectShowTestSupport.h"

using namespace Vantrel;
using namespace DirectShowTest;

namespace {

uint32_t Get32(const uint8_t* at)
{
    uint32_t value;
    std::memcpy(&value, at, 4);
    return value;
}

// A file writer on the renderer base: each sample lands at the byte position its media times give,
// and its input pin offers IStream for the header.
class FileSinkPin : public D_CRendererInputPin, public IStream {
public:
    HANDLE File;
    FileSinkPin(D_CBaseRenderer* renderer, HRESULT* result, HANDLE file)
        : D_CRendererInputPin(renderer, result, L"In"), File(file)
    {
    }
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override
    {
        if (object != nullptr && iid == IID_IStream) {
            *object = static_cast<IStream*>(this);
            return S_OK;
        }
        return D_CRendererInputPin::NonDelegatingQueryInterface(iid, object);
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        return D_CRendererInputPin::QueryInterface(iid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return D_CRendererInputPin::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return D_CRendererInputPin::Release(); }
    HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG size, ULONG* written) override
    {
        DWORD done = 0;
        BOOL ok = WriteFile(File, data, size, &done, nullptr);
        if (written != nullptr) *written = done;
        return ok ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override
    {
        LARGE_INTEGER now;
        if (!SetFilePointerEx(File, move, &now, origin)) return E_FAIL;
        if (position != nullptr) position->QuadPart = (ULONGLONG)now.QuadPart;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }
};

class FileSink : public D_CBaseRenderer {
public:
    HANDLE File;
    FileSink(HRESULT* result, const std::string& path) : D_CBaseRenderer(GUID_NULL, L"File sink", nullptr, result)
    {
        File = CreateFileW(WindowsPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    }
    ~FileSink() override
    {
        if (File != INVALID_HANDLE_VALUE) CloseHandle(File);
    }
    D_CBasePin* GetPin(int index) override
    {
        if (index != 0) return nullptr;
        StrmBase_AutoLock lock(&ObjectCreationLock);
        if (InputPin == nullptr) {
            HRESULT hr = S_OK;
            InputPin = new (__FILE__, __LINE__) FileSinkPin(this, &hr, File);
        }
        return InputPin;
    }
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override
    {
        return type != nullptr && type->majortype == MEDIATYPE_Stream ? S_OK : E_FAIL;
    }
    HRESULT DoRenderSample(D_IMediaSample* sample) override
    {
        LONGLONG first = 0;
        LONGLONG end = 0;
        BYTE* data = nullptr;
        if (sample->GetMediaTime(&first, &end) != S_OK || FAILED(sample->GetPointer(&data))) return E_FAIL;
        LARGE_INTEGER at;
        at.QuadPart = first;
        DWORD written = 0;
        SetFilePointerEx(File, at, nullptr, FILE_BEGIN);
        WriteFile(File, data, (DWORD)sample->GetActualDataLength(), &written, nullptr);
        return S_OK;
    }
};

class DirectShowWavDestTest : public ComTest {};

TEST_F(DirectShowWavDestTest, WritesAWaveFileSoxReadsBackAsTheInput)
{
    const std::string folder = TestFolder("directshow_wavdest");
    const std::string output = folder + "/written.wav";
    const std::string raw = folder + "/written.raw";
    DeleteFileW(WindowsPath(output).c_str());
    const WaveFile wave = MakeWave(2, 22050, 11025);  // 0.5 s

    const LONG objectsBefore = StrmBase_GetObjectCount();
    HRESULT hr = S_OK;
    D_CMemStream* stream = StrmBase_MemStream_Create(wave.File.data(), (LONGLONG)wave.File.size(),
                                                     StrmBase_MemStream_NoRateLimit);
    AM_MEDIA_TYPE fileType = PlainType(MEDIATYPE_Stream, MEDIASUBTYPE_WAVE, GUID_NULL);
    D_CMemReader* reader = StrmBase_MemReader_Create(stream, &fileType, &hr);
    ASSERT_EQ(hr, S_OK);
    D_CWavDestFilter* writer = StrmBase_WavDest_Create(nullptr, &hr);
    ASSERT_EQ(hr, S_OK);
    ASSERT_NE(writer, nullptr);

    FileSink* fileSink = new (__FILE__, __LINE__) FileSink(&hr, output);
    ASSERT_EQ(hr, S_OK);
    ASSERT_NE(fileSink->File, INVALID_HANDLE_VALUE);
    IBaseFilter* fileWriter = StrmBase_AsIBaseFilter(fileSink);

    IGraphBuilder* graph = nullptr;
    IBaseFilter* parser = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, (void**)&graph), S_OK);
    ASSERT_EQ(CoCreateInstance(WaveParserClassId(), nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, (void**)&parser),
              S_OK);

    ASSERT_EQ(graph->AddFilter(StrmBase_AsIBaseFilter(reader), L"MemFile"), S_OK);
    ASSERT_EQ(graph->AddFilter(parser, L"Wave Parser"), S_OK);
    ASSERT_EQ(graph->AddFilter(StrmBase_AsIBaseFilter(writer), L"WAV Dest"), S_OK);
    ASSERT_EQ(graph->AddFilter(fileWriter, L"File Writer"), S_OK);
    IBaseFilter* chain[4] = {StrmBase_AsIBaseFilter(reader), parser, StrmBase_AsIBaseFilter(writer), fileWriter};
    for (int i = 0; i < 3; i++) {
        IPin* out = FindPinByDirection(chain[i], PINDIR_OUTPUT);
        IPin* in = FindPinByDirection(chain[i + 1], PINDIR_INPUT);
        ASSERT_NE(out, nullptr);
        ASSERT_NE(in, nullptr);
        EXPECT_EQ(graph->ConnectDirect(out, in, nullptr), S_OK) << "link " << i;
        out->Release();
        in->Release();
    }

    IMediaControl* control = nullptr;
    IMediaEvent* events = nullptr;
    ASSERT_EQ(graph->QueryInterface(IID_IMediaControl, (void**)&control), S_OK);
    ASSERT_EQ(graph->QueryInterface(IID_IMediaEvent, (void**)&events), S_OK);
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    long code = 0;
    EXPECT_EQ(events->WaitForCompletion(20000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_EQ(control->Stop(), S_OK);  // the header is written here
    const uint32_t formatSize = writer->Input->ConnectionType.cbFormat;
    events->Release();
    control->Release();
    graph->Release();
    parser->Release();
    StrmBase_Filter_Delete(fileSink);  // closes the file
    StrmBase_Filter_Delete(writer);
    StrmBase_Filter_Delete(reader);
    StrmBase_Stream_Delete(stream);
    EXPECT_EQ(StrmBase_GetObjectCount(), objectsBefore);

    const std::vector<uint8_t> file = ReadWholeFile(output);
    const size_t header = formatSize + 28;
    ASSERT_EQ(file.size(), header + wave.Pcm.size());
    EXPECT_EQ(std::memcmp(file.data(), "RIFF", 4), 0);
    EXPECT_EQ(Get32(file.data() + 4), file.size() - 8);
    EXPECT_EQ(std::memcmp(file.data() + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(Get32(file.data() + 16), formatSize);
    EXPECT_EQ(std::memcmp(file.data() + 20, &wave.Format, 16), 0);
    EXPECT_EQ(std::memcmp(file.data() + 20 + formatSize, "data", 4), 0);
    EXPECT_EQ(Get32(file.data() + 24 + formatSize), wave.Pcm.size());

    ASSERT_TRUE(RunHostShell("sox '" + output + "' -t raw -e signed-integer -b 16 '" + raw + "' 2>'" + folder +
                                 "/sox.err'",
                             folder + "/sox.done"))
        << "sox did not run";
    const std::vector<uint8_t> decoded = ReadWholeFile(raw);
    EXPECT_EQ(decoded.size(), wave.Pcm.size());
    EXPECT_TRUE(decoded == wave.Pcm) << "sox reads back the PCM that went in";
}

// Our source -> WAV writer -> our renderer, driven by hand.
class WavDestAlone : public ComTest {
protected:
    WAVEFORMATEX Format = {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    ScriptedSourceFilter* Source = nullptr;
    D_CWavDestFilter* Writer = nullptr;
    RecordingRenderer* Sink = nullptr;

    void SetUp() override
    {
        ComTest::SetUp();
        HRESULT hr = S_OK;
        Source = new (__FILE__, __LINE__) ScriptedSourceFilter(1);
        AM_MEDIA_TYPE type = PcmType(&Format);
        Source->Pins[0]->Offered.push_back(type);
        Writer = StrmBase_WavDest_Create(nullptr, &hr);
        ASSERT_EQ(hr, S_OK);
        Sink = new (__FILE__, __LINE__) RecordingRenderer(&hr);
        Sink->AcceptedMajor = MEDIATYPE_Stream;
        ASSERT_EQ(Source->Pins[0]->Connect(Writer->Input->AsPin(), nullptr), S_OK);
        ASSERT_EQ(Writer->Output->Connect(Sink->GetPin(0)->AsPin(), nullptr), S_OK);
        for (D_CBaseFilter* filter : {(D_CBaseFilter*)Sink, (D_CBaseFilter*)Writer, (D_CBaseFilter*)Source})
            ASSERT_TRUE(SUCCEEDED(filter->AsBaseFilter()->Run(0)));
    }
    void TearDown() override
    {
        for (D_CBaseFilter* filter : {(D_CBaseFilter*)Source, (D_CBaseFilter*)Writer, (D_CBaseFilter*)Sink})
            if (filter != nullptr) filter->AsBaseFilter()->Stop();
        if (Source != nullptr) Source->Pins[0]->Disconnect();
        if (Writer != nullptr) {
            Writer->Input->Disconnect();
            Writer->Output->Disconnect();
        }
        if (Sink != nullptr) Sink->GetPin(0)->Disconnect();
        StrmBase_Filter_Delete(Source);
        StrmBase_Filter_Delete(Writer);
        StrmBase_Filter_Delete(Sink);
        ComTest::TearDown();
    }
};

TEST_F(WavDestAlone, StampsBytePositionsAndDropsTheBytesOfAFailedDelivery)
{
    EXPECT_EQ(Writer->HeaderSize, 18u + 28u) << "an 18-byte WAVEFORMATEX gives a 46-byte header";
    std::vector<uint8_t> block(1000, 0x5A);
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 10000;
    ASSERT_EQ(Source->Pins[0]->Push(block.data(), 1000, &start, &stop), S_OK);
    ASSERT_EQ(Source->Pins[0]->Push(block.data(), 600, &start, &stop), S_OK);
    EXPECT_EQ(Writer->DataBytes, 1600u);
    ASSERT_EQ(Sink->Rendered.size(), 2u);
    ASSERT_TRUE(Sink->Rendered[0].HasMediaTime);
    EXPECT_EQ(Sink->Rendered[0].MediaStart, 46);
    EXPECT_EQ(Sink->Rendered[0].MediaStop, 1046);
    EXPECT_EQ(Sink->Rendered[1].MediaStart, 1046);
    EXPECT_EQ(Sink->Rendered[1].MediaStop, 1646);

    // The renderer stops taking samples: the writer does not count what it could not deliver.
    Sink->AsBaseFilter()->Stop();
    EXPECT_NE(Source->Pins[0]->Push(block.data(), 1000, &start, &stop), S_OK);
    EXPECT_EQ(Writer->DataBytes, 1600u);

    // The renderer's pin has no IStream: no header can be written, and stopping says so.
    EXPECT_EQ(Writer->AsBaseFilter()->Stop(), E_NOINTERFACE);
    FILTER_STATE state = State_Running;
    EXPECT_EQ(Writer->AsBaseFilter()->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped) << "stopped all the same, so that a graph can be torn down";
}

TEST_F(WavDestAlone, SamplesWhileFlushingAreAnsweredSFalseAndNotTransformed)
{
    std::vector<uint8_t> block(100, 0x33);
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 10000;
    ASSERT_EQ(Writer->Input->AsPin()->BeginFlush(), S_OK);
    EXPECT_EQ(Source->Pins[0]->Push(block.data(), 100, &start, &stop), S_FALSE);
    EXPECT_EQ(Writer->DataBytes, 0u) << "the filter's Receive was not called";
    EXPECT_TRUE(Sink->Rendered.empty());
    ASSERT_EQ(Writer->Input->AsPin()->EndFlush(), S_OK);
    EXPECT_EQ(Source->Pins[0]->Push(block.data(), 100, &start, &stop), S_OK);
    EXPECT_EQ(Writer->DataBytes, 100u);
}

}  // namespace
