// The library's memory allocator and media sample: properties and alignment, commit and decommit
// (also with samples out), GetBuffer blocking until a sample comes home, the release callback, and
// the sample's times, flags, media type and property blocks.
#include "DirectShowTestSupport.h"

using namespace Vantrel;
using namespace DirectShowTest;

namespace {

class DirectShowAllocatorTest : public ComTest {
protected:
    D_CMemAllocator* Owner = nullptr;
    D_IMemAllocator* Allocator = nullptr;

    void SetUp() override
    {
        ComTest::SetUp();
        HRESULT hr = S_OK;
        Owner = new (__FILE__, __LINE__) D_CMemAllocator(L"Test allocator", nullptr, &hr);
        ASSERT_EQ(hr, S_OK);
        ASSERT_EQ(Owner->NonDelegatingQueryInterface(IID_IMemAllocator, (void**)&Allocator), S_OK);
    }
    void TearDown() override
    {
        delete Owner;
        ComTest::TearDown();
    }
    void SetUpBuffers(long count, long size, long align, long prefix)
    {
        ALLOCATOR_PROPERTIES request = {count, size, align, prefix};
        ALLOCATOR_PROPERTIES actual = {};
        ASSERT_EQ(Allocator->SetProperties(&request, &actual), S_OK);
    }
};

TEST_F(DirectShowAllocatorTest, PropertiesAlignmentAndCommit)
{
    ALLOCATOR_PROPERTIES request = {3, 1001, 0, 8};
    ALLOCATOR_PROPERTIES actual = {};
    EXPECT_EQ(Allocator->SetProperties(&request, nullptr), E_POINTER);
    EXPECT_EQ(Allocator->SetProperties(&request, &actual), VFW_E_BADALIGN) << "alignment 0";
    request.cbAlign = 16;
    ASSERT_EQ(Allocator->SetProperties(&request, &actual), S_OK);
    EXPECT_EQ(actual.cBuffers, 3);
    EXPECT_EQ(actual.cbBuffer, 1016) << "size + prefix raised to a multiple of the alignment";
    EXPECT_EQ(actual.cbAlign, 16);
    EXPECT_EQ(actual.cbPrefix, 8);

    D_IMediaSample* sample = nullptr;
    EXPECT_EQ(Allocator->GetBuffer(&sample, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
    ASSERT_EQ(Allocator->Commit(), S_OK);
    EXPECT_EQ(Allocator->SetProperties(&request, &actual), VFW_E_ALREADY_COMMITTED);

    D_IMediaSample* samples[3] = {};
    for (D_IMediaSample*& s : samples) {
        ASSERT_EQ(Allocator->GetBuffer(&s, nullptr, nullptr, 0), S_OK);
        BYTE* buffer = nullptr;
        ASSERT_EQ(s->GetPointer(&buffer), S_OK);
        EXPECT_EQ(((uintptr_t)buffer - 8) % 16, 0u) << "each buffer follows its prefix on the alignment";
        EXPECT_EQ(s->GetSize(), 1016);
        std::memset(buffer - 8, 0xEE, 1024);  // prefix and buffer are ours to write
    }
    EXPECT_EQ(Allocator->GetBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_TIMEOUT);
    for (D_IMediaSample* s : samples) s->Release();

    LONG freeCount = -1;
    D_IMemAllocatorCallbackTemp* callbacks = nullptr;
    ASSERT_EQ(Allocator->QueryInterface(IID_IMemAllocatorCallbackTemp, (void**)&callbacks), S_OK);
    EXPECT_EQ(callbacks->GetFreeCount(&freeCount), S_OK);
    EXPECT_EQ(freeCount, 3);
    callbacks->Release();
    EXPECT_EQ(Allocator->Decommit(), S_OK);
    EXPECT_EQ(Allocator->GetBuffer(&sample, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
}

struct WaitingCaller {
    D_IMemAllocator* Allocator;
    D_IMediaSample* Sample;
    HRESULT Result;
    HANDLE Done;
};

DWORD WINAPI CallGetBuffer(LPVOID parameter)
{
    WaitingCaller* caller = static_cast<WaitingCaller*>(parameter);
    caller->Result = caller->Allocator->GetBuffer(&caller->Sample, nullptr, nullptr, 0);
    SetEvent(caller->Done);
    return 0;
}

HANDLE StartGetBuffer(WaitingCaller* caller)
{
    caller->Sample = nullptr;
    caller->Result = E_FAIL;
    caller->Done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return CreateThread(nullptr, 0, CallGetBuffer, caller, 0, nullptr);
}

TEST_F(DirectShowAllocatorTest, GetBufferBlocksUntilASampleComesHomeOrTheAllocatorIsDecommitted)
{
    ASSERT_NO_FATAL_FAILURE(SetUpBuffers(2, 256, 1, 0));
    ASSERT_EQ(Allocator->Commit(), S_OK);
    D_IMediaSample* first = nullptr;
    D_IMediaSample* second = nullptr;
    ASSERT_EQ(Allocator->GetBuffer(&first, nullptr, nullptr, 0), S_OK);
    ASSERT_EQ(Allocator->GetBuffer(&second, nullptr, nullptr, 0), S_OK);

    WaitingCaller caller = {Allocator, nullptr, S_OK, nullptr};
    HANDLE thread = StartGetBuffer(&caller);
    EXPECT_EQ(WaitForSingleObject(caller.Done, 200), (DWORD)WAIT_TIMEOUT) << "every sample is out: it waits";
    first->Release();
    ASSERT_EQ(WaitForSingleObject(caller.Done, 10000), WAIT_OBJECT_0) << "a release wakes it";
    EXPECT_EQ(caller.Result, S_OK);
    EXPECT_EQ(caller.Sample, first) << "it gets the sample that came home";
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CloseHandle(caller.Done);

    // Both out again: a decommit releases the waiter, which then finds the allocator decommitted.
    thread = StartGetBuffer(&caller);
    EXPECT_EQ(WaitForSingleObject(caller.Done, 200), (DWORD)WAIT_TIMEOUT);
    EXPECT_EQ(Allocator->Decommit(), S_OK);
    ASSERT_EQ(WaitForSingleObject(caller.Done, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(caller.Result, VFW_E_NOT_COMMITTED);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CloseHandle(caller.Done);

    // The decommit waits for the samples still out; their memory stays usable meanwhile.
    EXPECT_EQ(Owner->DecommitInProgress, 1);
    BYTE* buffer = nullptr;
    second->GetPointer(&buffer);
    std::memset(buffer, 0x42, 256);
    ALLOCATOR_PROPERTIES request = {4, 128, 1, 0};
    ALLOCATOR_PROPERTIES actual = {};
    EXPECT_EQ(Allocator->SetProperties(&request, &actual), VFW_E_BUFFERS_OUTSTANDING);
    first->Release();
    EXPECT_EQ(Owner->DecommitInProgress, 1);
    second->Release();
    EXPECT_EQ(Owner->DecommitInProgress, 0) << "the last sample home completes the decommit";
    EXPECT_NE(Owner->Memory, nullptr) << "memory stays until the properties change";
    EXPECT_EQ(Allocator->SetProperties(&request, &actual), S_OK);
}

// Counts the allocator's release notifications.
class CountingNotify : public IMemAllocatorNotifyCallbackTemp {
public:
    volatile LONG Releases = 0;
    LONG References = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return (ULONG)++References; }
    ULONG STDMETHODCALLTYPE Release() override { return (ULONG)--References; }
    HRESULT STDMETHODCALLTYPE NotifyRelease() override
    {
        InterlockedIncrement(&Releases);
        return S_OK;
    }
};

TEST_F(DirectShowAllocatorTest, ReleaseCallbackHearsOfEverySampleComingHome)
{
    CountingNotify notify;
    D_IMemAllocatorCallbackTemp* callbacks = nullptr;
    ASSERT_EQ(Allocator->QueryInterface(IID_IMemAllocatorCallbackTemp, (void**)&callbacks), S_OK);
    ASSERT_EQ(callbacks->SetNotify(&notify), S_OK);
    EXPECT_EQ(notify.References, 1);
    ASSERT_NO_FATAL_FAILURE(SetUpBuffers(2, 64, 1, 0));
    ASSERT_EQ(Allocator->Commit(), S_OK);
    for (int i = 0; i < 5; i++) {
        D_IMediaSample* sample = nullptr;
        ASSERT_EQ(Allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
        sample->AddRef();
        sample->Release();
        EXPECT_EQ(notify.Releases, i) << "only the last release sends the sample home";
        sample->Release();
    }
    EXPECT_EQ(notify.Releases, 5);
    ASSERT_EQ(callbacks->SetNotify(nullptr), S_OK);
    EXPECT_EQ(notify.References, 0);
    callbacks->Release();
}

TEST_F(DirectShowAllocatorTest, ReleaseNeverDestroysTheAllocator)
{
    const LONG objects = StrmBase_GetObjectCount();
    for (int i = 0; i < 5; i++) {
        D_IMemAllocator* again = nullptr;
        ASSERT_EQ(Allocator->QueryInterface(IID_IMemAllocator, (void**)&again), S_OK);
        again->Release();
        again->Release();
    }
    EXPECT_EQ(StrmBase_GetObjectCount(), objects) << "the owner destroys it, not Release";
    ALLOCATOR_PROPERTIES properties = {};
    EXPECT_EQ(Allocator->GetProperties(&properties), S_OK);
}

TEST_F(DirectShowAllocatorTest, SampleTimesFlagsTypesAndPropertiesRoundTrip)
{
    ASSERT_NO_FATAL_FAILURE(SetUpBuffers(1, 100, 1, 0));
    ASSERT_EQ(Allocator->Commit(), S_OK);
    D_IMediaSample* sample = nullptr;
    ASSERT_EQ(Allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);

    REFERENCE_TIME start = -1;
    REFERENCE_TIME stop = -1;
    EXPECT_EQ(sample->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);
    REFERENCE_TIME givenStart = 5000;
    REFERENCE_TIME givenStop = 9000;
    sample->SetTime(&givenStart, nullptr);
    EXPECT_EQ(sample->GetTime(&start, &stop), VFW_S_NO_STOP_TIME);
    EXPECT_EQ(start, 5000);
    EXPECT_EQ(stop, 5001);
    sample->SetTime(&givenStart, &givenStop);
    EXPECT_EQ(sample->GetTime(&start, &stop), S_OK);
    EXPECT_EQ(stop, 9000);

    EXPECT_EQ(sample->SetActualDataLength(101), VFW_E_BUFFER_OVERFLOW);
    EXPECT_EQ(sample->GetActualDataLength(), 100) << "the old length stays";
    EXPECT_EQ(sample->SetActualDataLength(40), S_OK);

    LONGLONG mediaStart = 0;
    LONGLONG mediaStop = 0;
    EXPECT_EQ(sample->GetMediaTime(&mediaStart, &mediaStop), VFW_E_MEDIA_TIME_NOT_SET);
    LONGLONG givenMediaStart = 100;
    LONGLONG givenMediaStop = 350;
    sample->SetMediaTime(&givenMediaStart, &givenMediaStop);
    EXPECT_EQ(sample->GetMediaTime(&mediaStart, &mediaStop), S_OK);
    EXPECT_EQ(mediaStart, 100);
    EXPECT_EQ(mediaStop, 350);

    EXPECT_EQ(sample->IsSyncPoint(), S_FALSE);
    sample->SetSyncPoint(TRUE);
    sample->SetPreroll(TRUE);
    EXPECT_EQ(sample->IsSyncPoint(), S_OK);
    EXPECT_EQ(sample->IsPreroll(), S_OK);
    EXPECT_EQ(sample->IsDiscontinuity(), S_FALSE);

    AM_MEDIA_TYPE* type = nullptr;
    EXPECT_EQ(sample->GetMediaType(&type), S_FALSE);
    EXPECT_EQ(type, nullptr);
    WAVEFORMATEX format = {WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
    AM_MEDIA_TYPE pcm = PcmType(&format);
    ASSERT_EQ(sample->SetMediaType(&pcm), S_OK);
    ASSERT_EQ(sample->GetMediaType(&type), S_OK);
    EXPECT_TRUE(StrmBase_MediaType_Equal(type, &pcm));
    EXPECT_NE(type->pbFormat, pcm.pbFormat) << "a copy of its own";
    StrmBase_MediaType_Delete(type);

    // The property block says the same, without the media-time flag.
    D_IMediaSample2* sample2 = nullptr;
    ASSERT_EQ(sample->QueryInterface(IID_IMediaSample2, (void**)&sample2), S_OK);
    AM_SAMPLE2_PROPERTIES props = {};
    ASSERT_EQ(sample2->GetProperties(sizeof(props), (BYTE*)&props), S_OK);
    EXPECT_EQ(props.cbData, sizeof(props));
    EXPECT_EQ(props.dwSampleFlags, (DWORD)(0x1 | 0x2 | 0x8 | 0x10 | 0x100));
    EXPECT_EQ(props.lActual, 40);
    EXPECT_EQ(props.tStart, 5000);
    EXPECT_EQ(props.tStop, 9000);
    EXPECT_EQ(props.cbBuffer, 100);
    ASSERT_NE(props.pMediaType, nullptr);
    EXPECT_TRUE(StrmBase_MediaType_Equal(props.pMediaType, &pcm));

    // Written back changed; what a block may not say is refused and changes nothing.
    AM_SAMPLE2_PROPERTIES changed = props;
    changed.dwSampleFlags = 0x4 | 0x10 | 0x100;  // discontinuity, times; no type
    changed.tStart = 7;
    changed.tStop = 70;
    changed.lActual = 12;
    changed.dwTypeSpecificFlags = 0xAB;
    changed.dwStreamId = AM_STREAM_CONTROL;
    ASSERT_EQ(sample2->SetProperties(sizeof(changed), (const BYTE*)&changed), S_OK);
    AM_SAMPLE2_PROPERTIES back = {};
    ASSERT_EQ(sample2->GetProperties(sizeof(back), (BYTE*)&back), S_OK);
    EXPECT_EQ(back.dwSampleFlags, changed.dwSampleFlags);
    EXPECT_EQ(back.tStart, 7);
    EXPECT_EQ(back.tStop, 70);
    EXPECT_EQ(back.lActual, 12);
    EXPECT_EQ(back.dwTypeSpecificFlags, 0xABu);
    EXPECT_EQ(back.dwStreamId, (DWORD)AM_STREAM_CONTROL);
    EXPECT_EQ(back.pMediaType, nullptr) << "the type went with its flag";
    EXPECT_EQ(sample->GetMediaTime(&mediaStart, &mediaStop), S_OK) << "the media time is not the block's to clear";

    AM_SAMPLE2_PROPERTIES bad = back;
    bad.dwSampleFlags = 0x20;
    EXPECT_EQ(sample2->SetProperties(sizeof(bad), (const BYTE*)&bad), E_INVALIDARG);
    bad = back;
    bad.pbBuffer = back.pbBuffer + 1;
    EXPECT_EQ(sample2->SetProperties(sizeof(bad), (const BYTE*)&bad), E_INVALIDARG);
    bad = back;
    bad.lActual = 101;
    EXPECT_EQ(sample2->SetProperties(sizeof(bad), (const BYTE*)&bad), E_INVALIDARG);
    EXPECT_EQ(sample2->SetProperties(3, (const BYTE*)&bad), S_OK) << "a block of 3 bytes says nothing";
    EXPECT_EQ(sample2->SetProperties(sizeof(bad), nullptr), E_POINTER);
    ASSERT_EQ(sample2->GetProperties(sizeof(props), (BYTE*)&props), S_OK);
    EXPECT_EQ(props.lActual, 12);
    EXPECT_EQ(props.dwSampleFlags, back.dwSampleFlags);
    sample2->Release();

    // A sample comes back from its allocator clean.
    sample->Release();
    ASSERT_EQ(Allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(sample->IsDiscontinuity(), S_FALSE);
    EXPECT_EQ(sample->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);
    sample->Release();
}

}  // namespace
