// The Direct3D 9 call layer: ASync wrappers called on a loader thread run their calls on the main thread
// (thread id taken in the wrapper), the live-object counts of creations, repeated surface fetches and
// releases, the shut-down dump of what was left, and the wrappers that must work without a device.
#include <gtest/gtest.h>

#include "D3D9TestSupport.h"
#include "../foundation/LoaderJobSupport.h"
#include "foundation/VtThread.h"

using namespace Vantrel;
using namespace D3D9Test;

namespace {

struct LoaderWork {
    volatile LONG Done = 0;
    DWORD LoaderThread = 0;
    HRESULT CreateResult = E_FAIL;
    uint32_t CreateThread = 0;
    IDirect3DTexture9* Texture = nullptr;
    IDirect3DSurface9* Level = nullptr;
    HRESULT LevelResult = E_FAIL;
    int BufferResult = -1;
    uint32_t BufferThread = 0;
    IDirect3DVertexBuffer9* Buffer = nullptr;
    int FlushResult = -1;
    uint32_t FlushThread = 0;
    int CheckResult = -1;
    D3DMULTISAMPLE_TYPE CheckType = D3DMULTISAMPLE_2_SAMPLES;
    DWORD CheckQuality = 50;
    int ReleaseResult = -1;
};

int LoaderJobProcedure(ASyncLoadEntry* entry) {
    LoaderWork* work = (LoaderWork*)LoaderJob::Data(entry);
    work->LoaderThread = GetCurrentThreadId();
    work->CreateResult =
        D3D9Call_Device_CreateTextureASync(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &work->Texture, nullptr, 1);
    work->CreateThread = D3D9CallState.LastDeviceCallThread;
    if (work->Texture != nullptr) work->LevelResult = D3D9Call_Texture_GetSurfaceLevelASync(work->Texture, 0, &work->Level, 1);
    work->BufferResult = D3D9Call_Device_CreateVertexBufferASync(64, 0, 0, D3DPOOL_SYSTEMMEM, &work->Buffer, 1);
    work->BufferThread = D3D9CallState.LastDeviceCallThread;
    // A box the main thread's flush draws: the loader thread hands the flush over too.
    D3D9CallState.LastDeviceCallThread = 0;
    work->FlushResult = Graphics_D3D9_VertexBatch_Flush(1);
    work->FlushThread = D3D9CallState.LastDeviceCallThread;
    work->CheckResult = D3D9Call_Direct3D9_CheckMultiSampleParamASync(D3DFMT_X8R8G8B8, &work->CheckType,
                                                                      &work->CheckQuality, 0, 1);
    work->ReleaseResult = D3D9Call_Object_ReleaseASync(work->Level, 1);
    InterlockedExchange(&work->Done, 1);
    return 0;
}

class D3D9CallLayer : public ::testing::Test {
protected:
    void TearDown() override {
        EndBackEnd();
        EXPECT_EQ(D3D9Call_GetTotalObjectCount(), 0);
    }
};

}  // namespace

TEST_F(D3D9CallLayer, LoaderThreadCallsRunOnTheMainThread) {
    ASSERT_EQ(StartBackEnd(), 0);
    UntexturedStages();
    const uint32_t mainThread = Thread_GetCurrentId();
    ASSERT_TRUE(AddBox(0, 0, 2, 2, 0xFFFFFFFF));
    D3D9Call_ResetDeviceCallCounts();
    const int textures = D3D9CallState.ObjectCount[D3D9OBJ_TEXTURE];
    const int surfaces = D3D9CallState.ObjectCount[D3D9OBJ_SURFACE];

    LoaderWork work;
    ASSERT_EQ(LoaderJob::Run(LoaderJobProcedure, &work, &work.Done), 0);
    EXPECT_NE(work.LoaderThread, (DWORD)mainThread);
    EXPECT_EQ(work.CreateResult, D3D_OK);
    EXPECT_EQ(work.CreateThread, mainThread);
    EXPECT_EQ(work.LevelResult, D3D_OK);
    EXPECT_EQ(work.BufferResult, 0);
    EXPECT_EQ(work.BufferThread, mainThread);
    EXPECT_EQ(work.FlushResult, 0);
    EXPECT_EQ(work.FlushThread, mainThread);
    EXPECT_EQ(DeviceCalls(D3D9CALL_DrawPrimitiveUP), 1u);
    EXPECT_EQ(work.CheckResult, 0);
    EXPECT_EQ(work.ReleaseResult, 0);
    EXPECT_EQ(D3D9CallState.ObjectCount[D3D9OBJ_TEXTURE], textures + 1);
    EXPECT_EQ(D3D9CallState.ObjectCount[D3D9OBJ_SURFACE], surfaces);   // the level, fetched and released
    EXPECT_EQ(D3D9CallState.ObjectCount[D3D9OBJ_VERTEX_BUFFER], 1);

    D3D9Call_Object_Release(work.Texture);
    D3D9Call_Object_Release(work.Buffer);
}

TEST_F(D3D9CallLayer, CountsFollowEveryReferenceAndTheDumpListsWhatIsLeft) {
    ASSERT_EQ(StartBackEnd(), 0);
    const int surfaces = D3D9CallState.ObjectCount[D3D9OBJ_SURFACE];
    // A refused creation counts nothing.
    IDirect3DTexture9* texture = nullptr;
    EXPECT_NE(D3D9Call_Device_CreateTexture(0, 0, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr), D3D_OK);
    EXPECT_EQ(D3D9CallState.ObjectCount[D3D9OBJ_TEXTURE], 0);
    // The same level fetched twice holds two references, each released on its own.
    ASSERT_EQ(D3D9Call_Device_CreateTexture(4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr),
              D3D_OK);
    IDirect3DSurface9* first = nullptr;
    IDirect3DSurface9* second = nullptr;
    ASSERT_EQ(D3D9Call_Texture_GetSurfaceLevel(texture, 0, &first), D3D_OK);
    ASSERT_EQ(D3D9Call_Texture_GetSurfaceLevel(texture, 0, &second), D3D_OK);
    EXPECT_EQ(first, second);
    EXPECT_EQ(D3D9CallState.ObjectCount[D3D9OBJ_SURFACE], surfaces + 2);
    D3D9Call_Object_Release(first);
    EXPECT_EQ(D3D9CallState.ObjectCount[D3D9OBJ_SURFACE], surfaces + 1);
    D3D9Call_Object_Release(second);
    EXPECT_EQ(D3D9CallState.ObjectCount[D3D9OBJ_SURFACE], surfaces);
    // Many objects at once (the table of live objects grows) all come back to 0.
    std::vector<IDirect3DSurface9*> many(300, nullptr);
    for (IDirect3DSurface9*& surface : many)
        ASSERT_EQ(D3D9Call_Device_CreateOffscreenPlainSurface(2, 2, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &surface, nullptr), D3D_OK);
    EXPECT_EQ(D3D9CallState.ObjectCount[D3D9OBJ_SURFACE], surfaces + 300);
    for (IDirect3DSurface9* surface : many) D3D9Call_Object_Release(surface);
    EXPECT_EQ(D3D9CallState.ObjectCount[D3D9OBJ_SURFACE], surfaces);
    // An object never released shows in the dump at the end; its device outlives the release, so the
    // module stays loaded.
    EndBackEnd();
    const std::string log = ReadLog();
    const size_t heading = log.rfind(Utf8(u8"Direct3D9 のオブジェクト数を出力\r\n"));
    ASSERT_NE(heading, std::string::npos);
    EXPECT_NE(log.find("IDirect3DTexture9 : 1\r\n", heading), std::string::npos);
    EXPECT_NE(log.find(Utf8(u8"Direct3D9 のオブジェクト合計数 : 1\r\n"), heading), std::string::npos);
    EXPECT_EQ(log.find("IDirect3DSurface9 : ", heading), std::string::npos);
    EXPECT_EQ(D3D9CallState.ObjectsOutlived, 1);
    EXPECT_NE(log.find(Utf8(u8"d3d9.dll は読み込んだままにします")), std::string::npos);
    D3D9Call_Object_Release(texture);
    D3D9CallState.ObjectsOutlived = 0;
}

TEST_F(D3D9CallLayer, WithoutADeviceOnlyTheGuardedWrappersAnswer) {
    EXPECT_EQ(D3D9Call_Device_Exists(), 0);
    EXPECT_EQ(D3D9Call_Direct3D9_Exists(), 0);
    IDirect3DVertexBuffer9* vertices = nullptr;
    IDirect3DIndexBuffer9* indices = nullptr;
    EXPECT_EQ(D3D9Call_Device_CreateVertexBufferASync(64, 0, 0, D3DPOOL_SYSTEMMEM, &vertices, 0), -1);
    EXPECT_EQ(D3D9Call_Device_CreateIndexBufferASync(64, 0, D3DFMT_INDEX16, D3DPOOL_SYSTEMMEM, &indices, 0), -1);
    EXPECT_EQ(D3D9Call_Device_Release(), 0);
    EXPECT_EQ(D3D9Call_Direct3D9_Release(), 0u);
    EXPECT_EQ(D3D9Call_Library_Free(), 0);
    D3D9Call_Device_BeginSceneOnce();   // nothing to begin
    EXPECT_EQ(D3D9DeviceStateCache.Scene, 0);
}

TEST_F(D3D9CallLayer, AHealthyDeviceIsNotLostAndItsReleaseTakesTheSwapChain) {
    ASSERT_EQ(StartBackEnd(), 0);
    EXPECT_EQ(D3D9Call_Device_CheckLost(), 0);
    EXPECT_EQ(DeviceCalls(D3D9CALL_TestCooperativeLevel) > 0, true);
    ASSERT_NE(D3D9CallState.SwapChain, nullptr);
    D3D9Call_Object_Release(D3D9DeviceState.BackBuffer);
    D3D9DeviceState.BackBuffer = nullptr;
    EXPECT_EQ(D3D9Call_Device_Release(), 0);
    EXPECT_EQ(D3D9CallState.SwapChain, nullptr);
    EXPECT_EQ(D3D9Call_Device_Exists(), 0);
    EXPECT_EQ(D3D9CallState.ObjectCount[D3D9OBJ_SWAP_CHAIN], 0);
}
