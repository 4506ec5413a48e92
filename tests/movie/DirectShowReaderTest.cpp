// The asynchronous reader over a memory stream: the stream's positioning and pacing, queued and
// synchronous reads, requests cut at the end of the stream, short reads, flushing, allocator requests
// and the connection rule that the downstream pin must ask for IAsyncReader.
#include "DirectShowTestSupport.h"

using namespace Vantrel;
using namespace DirectShowTest;

namespace {

// A stream that hands out at most 100 bytes per read.
class StingyStream : public D_CMemStream {
public:
    StingyStream(const BYTE* data, LONGLONG length) : D_CMemStream(data, length, StrmBase_MemStream_NoRateLimit) {}
    HRESULT Read(BYTE* buffer, DWORD count, BOOL aligned, DWORD* read) override
    {
        return D_CMemStream::Read(buffer, count > 100 ? 100 : count, aligned, read);
    }
};

// A stream read in units of 4 bytes.
class AlignedStream : public D_CMemStream {
public:
    AlignedStream(const BYTE* data, LONGLONG length) : D_CMemStream(data, length, StrmBase_MemStream_NoRateLimit) {}
    DWORD Alignment() override { return 4; }
};

class DirectShowReaderTest : public ComTest {
protected:
    std::vector<BYTE> Data;
    D_CMemStream* Stream = nullptr;
    D_CMemReader* Reader = nullptr;
    D_IAsyncReader* Async = nullptr;
    D_CMemAllocator* Samples = nullptr;

    void Open(D_CMemStream* stream)
    {
        Stream = stream;
        AM_MEDIA_TYPE type = PlainType(MEDIATYPE_Stream, MEDIASUBTYPE_WAVE, FORMAT_None);
        HRESULT hr = S_OK;
        Reader = StrmBase_MemReader_Create(Stream, &type, &hr);
        ASSERT_EQ(hr, S_OK);
        ASSERT_EQ(Reader->OutputPin->NonDelegatingQueryInterface(IID_IAsyncReader, (void**)&Async), S_OK);
        Samples = new (__FILE__, __LINE__) D_CMemAllocator(L"Test", nullptr, &hr);
        ALLOCATOR_PROPERTIES request = {4, 2048, 1, 0};
        ALLOCATOR_PROPERTIES actual = {};
        ASSERT_EQ(Samples->AsMemAllocator()->SetProperties(&request, &actual), S_OK);
        ASSERT_EQ(Samples->AsMemAllocator()->Commit(), S_OK);
    }
    void SetUp() override
    {
        ComTest::SetUp();
        for (int i = 0; i < 1000; i++) Data.push_back((BYTE)(i * 7 + 3));
    }
    void TearDown() override
    {
        delete Samples;
        StrmBase_Filter_Delete(Reader);
        StrmBase_Stream_Delete(Stream);
        ComTest::TearDown();
    }
    D_IMediaSample* SampleFor(LONGLONG first, LONGLONG end)
    {
        D_IMediaSample* sample = nullptr;
        EXPECT_EQ(Samples->AsMemAllocator()->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
        REFERENCE_TIME start = first * 10000000;
        REFERENCE_TIME stop = end * 10000000;
        sample->SetTime(&start, &stop);
        return sample;
    }
};

TEST_F(DirectShowReaderTest, MemoryStreamPositionsAndReads)
{
    ASSERT_NO_FATAL_FAILURE(Open(StrmBase_MemStream_Create(Data.data(), (LONGLONG)Data.size(),
                                                           StrmBase_MemStream_NoRateLimit)));
    ASSERT_EQ(Stream->SetPointer(990), S_OK);
    EXPECT_EQ(Stream->SetPointer(1001), S_FALSE) << "beyond the end";
    EXPECT_EQ(Stream->SetPointer(-1), S_FALSE);
    BYTE buffer[32];
    DWORD read = 0;
    ASSERT_EQ(Stream->Read(buffer, 32, FALSE, &read), S_OK);
    EXPECT_EQ(read, 10u) << "the position stayed at 990; the read is cut to what is left";
    EXPECT_EQ(std::memcmp(buffer, Data.data() + 990, 10), 0);
    LONGLONG available = 0;
    EXPECT_EQ(Stream->Size(&available), 1000);
    EXPECT_EQ(available, 1000);

    LONGLONG total = 0;
    EXPECT_EQ(Async->Length(&total, &available), S_OK);
    EXPECT_EQ(total, 1000);
    EXPECT_EQ(Async->Length(nullptr, &available), E_POINTER);
    ASSERT_EQ(Async->SyncRead(100, 32, buffer), S_OK);
    EXPECT_EQ(std::memcmp(buffer, Data.data() + 100, 32), 0);
    EXPECT_EQ(Async->SyncRead(980, 32, buffer), S_FALSE) << "a short read";
}

TEST_F(DirectShowReaderTest, RateLimitedStreamDeliversAtItsPace)
{
    std::vector<BYTE> big(2000, 1);
    DWORD begin = timeGetTime();
    D_CMemStream* stream = StrmBase_MemStream_Create(big.data(), (LONGLONG)big.size(), 1);  // 1 byte per ms
    BYTE buffer[1000];
    DWORD read = 0;
    ASSERT_EQ(stream->Read(buffer, 1000, FALSE, &read), S_OK);
    DWORD took = timeGetTime() - begin;
    EXPECT_EQ(read, 1000u);
    EXPECT_GE(took, 950u) << "the first kilobyte after about one second";
    EXPECT_LT(took, 5000u);
    RecordProperty("RateLimitedKilobyteMs", (int)took);
    StrmBase_Stream_Delete(stream);
}

TEST_F(DirectShowReaderTest, QueuedReadsAreCutAtTheEndOfTheStream)
{
    ASSERT_NO_FATAL_FAILURE(Open(StrmBase_MemStream_Create(Data.data(), (LONGLONG)Data.size(),
                                                           StrmBase_MemStream_NoRateLimit)));
    D_IMediaSample* middle = SampleFor(100, 600);
    D_IMediaSample* tail = SampleFor(512, 1536);
    ASSERT_EQ(Async->Request(middle, 11), S_OK);
    ASSERT_EQ(Async->Request(tail, 22), S_OK);
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    EXPECT_EQ(tail->GetTime(&start, &stop), S_OK);
    EXPECT_EQ(stop, 1000LL * 10000000) << "the stop time moved to the end of the stream";

    for (int i = 0; i < 2; i++) {
        D_IMediaSample* done = nullptr;
        DWORD_PTR user = 0;
        ASSERT_EQ(Async->WaitForNext(10000, &done, &user), S_OK);
        BYTE* bytes = nullptr;
        done->GetPointer(&bytes);
        if (user == 11) {
            EXPECT_EQ(done, middle);
            EXPECT_EQ(done->GetActualDataLength(), 500);
            EXPECT_EQ(std::memcmp(bytes, Data.data() + 100, 500), 0);
        } else {
            EXPECT_EQ(user, 22u);
            EXPECT_EQ(done, tail);
            EXPECT_EQ(done->GetActualDataLength(), 488) << "cut at the end: a short read there is fine";
            EXPECT_EQ(std::memcmp(bytes, Data.data() + 512, 488), 0);
        }
    }
    D_IMediaSample* none = nullptr;
    DWORD_PTR user = 0;
    EXPECT_EQ(Async->WaitForNext(0, &none, &user), VFW_E_TIMEOUT);
    EXPECT_EQ(Async->SyncReadAligned(middle), S_OK);
    EXPECT_EQ(middle->GetActualDataLength(), 500);
    middle->Release();
    tail->Release();
}

TEST_F(DirectShowReaderTest, ShortReadInTheMiddleFails)
{
    ASSERT_NO_FATAL_FAILURE(Open(new (__FILE__, __LINE__) StingyStream(Data.data(), (LONGLONG)Data.size())));
    D_IMediaSample* sample = SampleFor(0, 500);
    ASSERT_EQ(Async->Request(sample, 1), S_OK);
    D_IMediaSample* done = nullptr;
    DWORD_PTR user = 0;
    EXPECT_EQ(Async->WaitForNext(10000, &done, &user), E_FAIL);
    EXPECT_EQ(done, sample);
    sample->Release();

}

TEST_F(DirectShowReaderTest, ShortReadAtTheEndOfAnAlignedStreamSucceeds)
{
    ASSERT_NO_FATAL_FAILURE(Open(new (__FILE__, __LINE__) AlignedStream(Data.data(), 998)));
    D_IMediaSample* sample = SampleFor(996, 1004);
    ASSERT_EQ(Async->Request(sample, 1), S_OK);
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    sample->GetTime(&start, &stop);
    EXPECT_EQ(stop, 1000LL * 10000000) << "cut to the aligned end";
    D_IMediaSample* done = nullptr;
    DWORD_PTR user = 0;
    EXPECT_EQ(Async->WaitForNext(10000, &done, &user), S_OK);
    EXPECT_EQ(done->GetActualDataLength(), 2) << "two bytes were left";
    D_IMediaSample* odd = SampleFor(3, 8);
    EXPECT_EQ(Async->Request(odd, 2), VFW_E_BADALIGN);
    odd->Release();
    sample->Release();
}

TEST_F(DirectShowReaderTest, FlushingRefusesRequestsAndReleasesWaiters)
{
    ASSERT_NO_FATAL_FAILURE(Open(StrmBase_MemStream_Create(Data.data(), (LONGLONG)Data.size(),
                                                           StrmBase_MemStream_NoRateLimit)));
    ASSERT_EQ(Async->BeginFlush(), S_OK);
    D_IMediaSample* sample = SampleFor(0, 100);
    EXPECT_EQ(Async->Request(sample, 1), VFW_E_WRONG_STATE);
    D_IMediaSample* done = nullptr;
    DWORD_PTR user = 0;
    EXPECT_EQ(Async->WaitForNext(1000, &done, &user), VFW_E_WRONG_STATE) << "nothing done while flushing";
    ASSERT_EQ(Async->EndFlush(), S_OK);
    ASSERT_EQ(Async->Request(sample, 1), S_OK);
    EXPECT_EQ(Async->WaitForNext(10000, &done, &user), S_OK);
    sample->Release();
}

TEST_F(DirectShowReaderTest, AllocatorRequestsAndTheConnectionRule)
{
    ASSERT_NO_FATAL_FAILURE(Open(StrmBase_MemStream_Create(Data.data(), (LONGLONG)Data.size(),
                                                           StrmBase_MemStream_NoRateLimit)));
    IMemAllocator* system = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator, (void**)&system),
              S_OK);
    D_IMemAllocator* preferred = reinterpret_cast<D_IMemAllocator*>(system);
    ALLOCATOR_PROPERTIES properties = {2, 1000, 0, 0};
    D_IMemAllocator* chosen = nullptr;
    EXPECT_EQ(Async->RequestAllocator(preferred, nullptr, &chosen), E_POINTER);
    ASSERT_EQ(Async->RequestAllocator(preferred, &properties, &chosen), S_OK);
    EXPECT_EQ(chosen, preferred) << "the downstream pin's allocator when it takes the properties";
    EXPECT_EQ(properties.cbAlign, 1) << "alignment 0 becomes the stream's";
    chosen->Release();

    // A committed allocator refuses new properties: the reader brings its own.
    ASSERT_EQ(system->SetProperties((ALLOCATOR_PROPERTIES*)&properties, (ALLOCATOR_PROPERTIES*)&properties), S_OK);
    ASSERT_EQ(system->Commit(), S_OK);
    const LONG objects = StrmBase_GetObjectCount();
    ASSERT_EQ(Async->RequestAllocator(preferred, &properties, &chosen), S_OK);
    EXPECT_NE(chosen, preferred);
    EXPECT_EQ(StrmBase_GetObjectCount(), objects + 1) << "owned by the pin, destroyed with it";
    chosen->Release();
    system->Decommit();
    system->Release();

    // A downstream pin that never asks for IAsyncReader cannot complete the connection.
    HRESULT hr = S_OK;
    RecordingRenderer* sink = new (__FILE__, __LINE__) RecordingRenderer(&hr);
    sink->AcceptedMajor = MEDIATYPE_Stream;
    AM_MEDIA_TYPE type = PlainType(MEDIATYPE_Stream, MEDIASUBTYPE_WAVE, FORMAT_None);
    EXPECT_EQ(Reader->Connect(sink->GetPin(0)->AsPin(), &type), E_FAIL);
    EXPECT_FALSE(Reader->OutputPin->IsConnected());
    EXPECT_FALSE(sink->GetPin(0)->IsConnected());
    StrmBase_Filter_Delete(sink);

    EXPECT_EQ(Reader->GetPinCount(), 1);
    D_IPin* pin = nullptr;
    ASSERT_EQ(Reader->AsBaseFilter()->FindPin(L"Output", &pin), S_OK);
    EXPECT_EQ(pin, Reader->OutputPin->AsPin());
    AM_MEDIA_TYPE offered;
    StrmBase_MediaType_Init(&offered);
    EXPECT_EQ(Reader->OutputPin->GetMediaType(1, &offered), VFW_S_NO_MORE_ITEMS);
    EXPECT_EQ(Reader->OutputPin->GetMediaType(-1, &offered), E_INVALIDARG);
    ASSERT_EQ(Reader->OutputPin->GetMediaType(0, &offered), S_OK);
    EXPECT_EQ(offered.subtype, MEDIASUBTYPE_WAVE);
    StrmBase_MediaType_Destroy(&offered);
    AM_MEDIA_TYPE avi = PlainType(MEDIATYPE_Stream, MEDIASUBTYPE_Avi, GUID_NULL);
    EXPECT_EQ(Reader->OutputPin->CheckMediaType(&avi), S_FALSE);
}

}  // namespace
