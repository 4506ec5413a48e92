// The Direct3D 11 call layer: calls made on loader threads run on the main thread (thread id taken in
// the wrapper), the live-object counts of creations and releases, the shut-down dump, and the
// summing of the time inside calls.
#include <gtest/gtest.h>

#include "D3D11TestSupport.h"
#include "foundation/VtASyncLoad.h"
#include "foundation/VtThread.h"

using namespace Vantrel;
using namespace D3D11Test;

namespace {

struct LoaderWork {
    volatile LONG Done = 0;
    DWORD LoaderThread = 0;
    HRESULT CreateResult = E_FAIL;
    uint32_t CreateThread = 0;
    ID3D11Buffer* Buffer = nullptr;
    int UpdateResult = -1;
    uint32_t UpdateThread = 0;
    int FlushResult = -1;
    int ReleaseResult = -1;
    ID3D11Texture2D* Texture = nullptr;
    uint32_t ReleaseThread = 0;
};

int LoaderJob(ASyncLoadEntry* entry) {
    int offset = 0;
    LoaderWork* work = (LoaderWork*)ASyncLoad_Param_GetPointer(entry->Params, &offset);
    work->LoaderThread = GetCurrentThreadId();
    D3D11_BUFFER_DESC desc = {};
    desc.ByteWidth = 64;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_CONSTANT_BUFFER;
    work->CreateResult = D3D11Call_Device_CreateBufferASync(&desc, nullptr, &work->Buffer, 1);
    work->CreateThread = D3D11CallState.LastDeviceCallThread;
    float data[16] = {1.0f};
    work->UpdateResult = D3D11Call_DeviceContext_UpdateSubresourceASync(work->Buffer, 0, nullptr, data, 0, 0, 1);
    work->UpdateThread = D3D11CallState.LastDeviceCallThread;
    work->FlushResult = Graphics_D3D11_VertexBatch_Flush(-1, 1);
    work->ReleaseResult = D3D11Call_Texture2D_ReleaseASync(work->Texture, 1);
    work->ReleaseThread = GetCurrentThreadId();
    InterlockedExchange(&work->Done, 1);
    return 0;
}

}  // namespace

TEST(D3D11CallLayer, LoaderThreadCallsRunOnTheMainThread) {
    ASSERT_EQ(StartBackEnd(), 0);
    const uint32_t mainThread = Thread_GetCurrentId();
    ASSERT_EQ(ASyncLoad_Prepare(mainThread), 0);
    ASSERT_EQ(ASyncLoad_StartThreads(2), 0);

    LoaderWork work;
    D3D11_TEXTURE2D_DESC textureDesc = {};
    textureDesc.Width = textureDesc.Height = 4;
    textureDesc.MipLevels = textureDesc.ArraySize = 1;
    textureDesc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    textureDesc.SampleDesc.Count = 1;
    textureDesc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    ASSERT_EQ(D3D11Call_Device_CreateTexture2D(&textureDesc, nullptr, &work.Texture), S_OK);
    const int buffersBefore = D3D11CallState.ObjectCount[D3D11OBJ_BUFFER];
    const int texturesBefore = D3D11CallState.ObjectCount[D3D11OBJ_TEXTURE2D];

    int size = 0;
    ASyncLoad_Param_PutPointer(nullptr, &size, &work);
    ASyncLoadEntry* entry = ASyncLoad_Entry_Allocate(size);
    ASSERT_NE(entry, nullptr);
    entry->Procedure = LoaderJob;
    int offset = 0;
    ASyncLoad_Param_PutPointer(entry->Params, &offset, &work);
    ASSERT_EQ(ASyncLoad_Entry_Enqueue(entry), 0);
    const DWORD start = GetTickCount();
    while (!work.Done && GetTickCount() - start < 10000) {
        ASyncLoad_ServeMainThreadRequests();
        Sleep(1);
    }
    ASSERT_EQ(work.Done, 1);
    EXPECT_NE(work.LoaderThread, (DWORD)mainThread);
    EXPECT_EQ(work.CreateResult, S_OK);
    EXPECT_EQ(work.CreateThread, mainThread);
    EXPECT_EQ(work.UpdateResult, 0);
    EXPECT_EQ(work.UpdateThread, mainThread);
    EXPECT_EQ(work.FlushResult, 0);
    EXPECT_EQ(work.ReleaseResult, 0);
    EXPECT_EQ(D3D11CallState.ObjectCount[D3D11OBJ_BUFFER], buffersBefore + 1);
    EXPECT_EQ(D3D11CallState.ObjectCount[D3D11OBJ_TEXTURE2D], texturesBefore - 1);

    EXPECT_EQ(ASyncLoad_StopThreads(), 0);
    EXPECT_EQ(ASyncLoad_Finish(), 0);
    D3D11Call_Buffer_Release(work.Buffer);
    EndBackEnd();
    EXPECT_EQ(D3D11Call_GetTotalObjectCount(), 0);
}

TEST(D3D11CallLayer, FailedCreationsCountNothingAndTheDumpListsWhatIsLeft) {
    ASSERT_EQ(StartBackEnd(), 0);
    const int before = D3D11CallState.ObjectCount[D3D11OBJ_TEXTURE2D];
    D3D11_TEXTURE2D_DESC bad = {};   // zero size: refused
    ID3D11Texture2D* texture = nullptr;
    EXPECT_NE(D3D11Call_Device_CreateTexture2D(&bad, nullptr, &texture), S_OK);
    EXPECT_EQ(D3D11CallState.ObjectCount[D3D11OBJ_TEXTURE2D], before);

    // A texture kept past the end shows in the dump, with the total of what was printed.
    D3D11_TEXTURE2D_DESC desc = {};
    desc.Width = desc.Height = 2;
    desc.MipLevels = desc.ArraySize = 1;
    desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    ASSERT_EQ(D3D11Call_Device_CreateTexture2D(&desc, nullptr, &texture), S_OK);
    texture->AddRef();   // the test's own reference keeps it alive past the release below
    EndBackEnd();
    const std::string log = ReadLog();
    const size_t heading = log.rfind(Utf8(u8"Direct3D11 のオブジェクト数を出力"));
    ASSERT_NE(heading, std::string::npos);
    EXPECT_NE(log.find("ID3D11Texture2D : 1", heading), std::string::npos);
    EXPECT_NE(log.find(Utf8(u8"Direct3D11 のオブジェクト合計数 : 1"), heading), std::string::npos);
    EXPECT_EQ(log.find("ID3D11Buffer : ", heading), std::string::npos);
    // The texture still holds the device, whose code must outlive it: the modules stay loaded.
    EXPECT_NE(log.find(Utf8(u8"d3d11.dll と dxgi.dll は読み込んだままにします")), std::string::npos);
    EXPECT_NE(GetModuleHandleW(L"d3d11.dll"), nullptr);
    D3D11Call_Texture2D_Release(texture);
    texture->Release();
    EXPECT_EQ(D3D11Call_GetTotalObjectCount(), 0);
}

namespace {

// An object whose release takes a known time (the slowest call the layer could meet).
struct SlowObject : IUnknown {
    DWORD Milliseconds;
    explicit SlowObject(DWORD milliseconds) : Milliseconds(milliseconds) {}
    virtual ~SlowObject() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override {
        Sleep(Milliseconds);
        return 1;
    }
};

}  // namespace

// The time inside calls is summed only while the timing is on, apart from the present's, and
// switching clears the sums.
TEST(D3D11CallLayer, TimingSumsCallsOnlyWhileSwitchedOn) {
    SlowObject slow(20);
    D3D11Call_SetTiming(0);
    D3D11Call_Object_Release(&slow);
    EXPECT_EQ(D3D11CallTiming.CallTicks, 0);
    EXPECT_EQ(D3D11CallTiming.Calls, 0u);

    D3D11Call_SetTiming(1);
    ASSERT_EQ(D3D11CallTiming.Enabled, 1);
    D3D11Call_Object_Release(&slow);
    D3D11Call_Object_Release(nullptr);   // no call made: nothing timed
    EXPECT_EQ(D3D11CallTiming.Calls, 1u);
    EXPECT_GE(D3D11Call_TicksToMilliseconds(D3D11CallTiming.CallTicks), 15.0);
    EXPECT_LT(D3D11Call_TicksToMilliseconds(D3D11CallTiming.CallTicks), 2000.0);
    EXPECT_EQ(D3D11CallTiming.PresentTicks, 0);

    D3D11Call_ResetTiming();
    EXPECT_EQ(D3D11CallTiming.CallTicks, 0);
    EXPECT_EQ(D3D11CallTiming.Calls, 0u);
    D3D11Call_SetTiming(0);
    D3D11Call_Object_Release(&slow);
    EXPECT_EQ(D3D11CallTiming.CallTicks, 0);
}
