// The system-memory surface and texture pools on Wine's device: reuse by key with the per-key limit,
// the per-frame release against a settable clock, eviction from a full table, the retry after a failed
// creation with its log lines, and the loader thread's posted calls.
#include <gtest/gtest.h>

#include "D3D9TestSupport.h"
#include "../foundation/LoaderJobSupport.h"
#include "foundation/VtASyncLoad.h"
#include "foundation/VtThread.h"
#include "foundation/VtWinAPI.h"
#include "graphics_d3d9/VtGraphicsD3D9SysMemPool.h"

using namespace Vantrel;
using namespace D3D9Test;

namespace {

DWORD FakeNow = 0;
DWORD WINAPI FakeTimeGetTime() { return FakeNow; }

class D3D9SysMemPool : public BackEndTest {
protected:
    void SetUp() override {
        BackEndTest::SetUp();
        WinAPI_EnsureLoaded();
        SavedClock = WinAPITable.timeGetTime;
        WinAPITable.timeGetTime = FakeTimeGetTime;
        FakeNow = 100000;
    }

    void TearDown() override {
        WinAPITable.timeGetTime = SavedClock;
        if (MainThreadSet) ASyncLoad_Finish();
        BackEndTest::TearDown();
        EXPECT_EQ(D3D9SysMemSurfacePool.UsedCount, 0);
        EXPECT_EQ(D3D9SysMemTexturePool.UsedCount, 0);
    }

    // The per-frame release runs only on the loader service's main thread.
    void BeMainThread() {
        ASSERT_EQ(ASyncLoad_Prepare(Thread_GetCurrentId()), 0);
        MainThreadSet = true;
    }

    static int Surfaces() { return D3D9CallState.ObjectCount[D3D9OBJ_SURFACE]; }
    static int Textures() {
        return D3D9CallState.ObjectCount[D3D9OBJ_TEXTURE] + D3D9CallState.ObjectCount[D3D9OBJ_CUBE_TEXTURE];
    }

    // Two surfaces and a texture of edge x edge, the first surface and the texture given back.
    struct Holding {
        bool Made;
        int FreeSurface, BusySurface, FreeTexture;
    };
    static Holding HoldSome(int edge) {
        Holding held;
        held.FreeSurface = Graphics_D3D9_SysMemSurfacePool_Get(edge, edge, D3DFMT_A8R8G8B8, nullptr);
        held.BusySurface = Graphics_D3D9_SysMemSurfacePool_Get(edge, edge, D3DFMT_A8R8G8B8, nullptr);
        held.FreeTexture = Graphics_D3D9_SysMemTexturePool_Get(0, edge, edge, 1, D3DFMT_A8R8G8B8, nullptr);
        held.Made = held.FreeSurface >= 0 && held.BusySurface >= 0 && held.FreeTexture >= 0;
        Graphics_D3D9_SysMemSurfacePool_ClearUseFlag(held.FreeSurface, nullptr);
        Graphics_D3D9_SysMemTexturePool_ClearUseFlag(held.FreeTexture, nullptr);
        return held;
    }

    decltype(WinAPITable.timeGetTime) SavedClock = nullptr;
    bool MainThreadSet = false;
};

}  // namespace

TEST_F(D3D9SysMemPool, AFreeObjectOfTheKeyIsReusedAndSixteenBusyOnesRefuseTheSeventeenth) {
    const int surfaces = Surfaces();
    const int first = Graphics_D3D9_SysMemSurfacePool_Get(8, 4, D3DFMT_A8R8G8B8, nullptr);
    const int second = Graphics_D3D9_SysMemSurfacePool_Get(8, 4, D3DFMT_A8R8G8B8, nullptr);
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    EXPECT_NE(first, second);
    EXPECT_EQ(Surfaces(), surfaces + 2);
    D3DSURFACE_DESC desc = {};
    ASSERT_EQ(D3D9Call_Surface_GetDesc(Graphics_D3D9_SysMemSurfacePool_Surface(first), &desc), D3D_OK);
    EXPECT_EQ(desc.Pool, D3DPOOL_SYSTEMMEM);
    EXPECT_EQ(desc.Width, 8u);
    EXPECT_EQ(desc.Height, 4u);

    EXPECT_EQ(Graphics_D3D9_SysMemSurfacePool_ClearUseFlag(first, nullptr), 0);
    EXPECT_EQ(Graphics_D3D9_SysMemSurfacePool_Get(8, 4, D3DFMT_A8R8G8B8, nullptr), first);
    EXPECT_EQ(D3D9SysMemSurfacePool.Entries[first].UseCount, 2);
    EXPECT_EQ(Surfaces(), surfaces + 2);
    // Another size or format is another key.
    EXPECT_NE(Graphics_D3D9_SysMemSurfacePool_Get(4, 8, D3DFMT_A8R8G8B8, nullptr), first);
    EXPECT_EQ(Surfaces(), surfaces + 3);

    // Fourteen more busy ones of the first key make sixteen: the seventeenth is refused while the table
    // has room, and other keys are still served.
    for (int i = 0; i < 14; ++i) ASSERT_GE(Graphics_D3D9_SysMemSurfacePool_Get(8, 4, D3DFMT_A8R8G8B8, nullptr), 0);
    EXPECT_EQ(Graphics_D3D9_SysMemSurfacePool_Get(8, 4, D3DFMT_A8R8G8B8, nullptr), -1);
    EXPECT_GE(Graphics_D3D9_SysMemSurfacePool_Get(8, 4, D3DFMT_X8R8G8B8, nullptr), 0);
    EXPECT_EQ(D3D9SysMemSurfacePool.UsedCount, 18);
    // Giving back an unknown or free index changes nothing.
    EXPECT_EQ(Graphics_D3D9_SysMemSurfacePool_ClearUseFlag(-1, nullptr), 0);
    EXPECT_EQ(Graphics_D3D9_SysMemSurfacePool_ClearUseFlag(2047, nullptr), 0);
    EXPECT_EQ(Graphics_D3D9_SysMemSurfacePool_ClearUseFlag(first, nullptr), 0);
    const uint32_t freeTime = D3D9SysMemSurfacePool.Entries[first].FreeTime;
    FakeNow += 10;
    EXPECT_EQ(Graphics_D3D9_SysMemSurfacePool_ClearUseFlag(first, nullptr), 0);
    EXPECT_EQ(D3D9SysMemSurfacePool.Entries[first].FreeTime, freeTime);
}

TEST_F(D3D9SysMemPool, TexturesAreKeyedByShapeLevelsAndFormat) {
    struct Case {
        int CubeMap, Width, Height, Levels;
        D3DFORMAT Format;
        D3DRESOURCETYPE Type;
    };
    const Case cases[] = {{0, 16, 8, 1, D3DFMT_A8R8G8B8, D3DRTYPE_TEXTURE},
                          {0, 16, 8, 3, D3DFMT_A8R8G8B8, D3DRTYPE_TEXTURE},
                          {0, 16, 8, 1, D3DFMT_X8R8G8B8, D3DRTYPE_TEXTURE},
                          {1, 16, 16, 1, D3DFMT_A8R8G8B8, D3DRTYPE_CUBETEXTURE},
                          {0, 16, 16, 1, D3DFMT_A8R8G8B8, D3DRTYPE_TEXTURE}};
    int indices[5];
    for (int i = 0; i < 5; ++i) {
        const Case& c = cases[i];
        indices[i] = Graphics_D3D9_SysMemTexturePool_Get(c.CubeMap, c.Width, c.Height, c.Levels, c.Format, nullptr);
        ASSERT_GE(indices[i], 0) << i;
        for (int j = 0; j < i; ++j) EXPECT_NE(indices[i], indices[j]) << i;
        IDirect3DBaseTexture9* texture = Graphics_D3D9_SysMemTexturePool_Texture(indices[i]);
        ASSERT_NE(texture, nullptr);
        EXPECT_EQ(texture->GetType(), c.Type) << i;
        EXPECT_EQ(texture->GetLevelCount(), (DWORD)c.Levels) << i;
    }
    EXPECT_EQ(Textures(), 5);
    // Each given back and asked for again comes back as itself.
    for (int i = 0; i < 5; ++i) {
        const Case& c = cases[i];
        Graphics_D3D9_SysMemTexturePool_ClearUseFlag(indices[i], nullptr);
        EXPECT_EQ(Graphics_D3D9_SysMemTexturePool_Get(c.CubeMap, c.Width, c.Height, c.Levels, c.Format, nullptr),
                  indices[i]);
    }
    EXPECT_EQ(Textures(), 5);

    // The free-only release keeps busy objects; the whole release takes everything, textures and surfaces.
    Graphics_D3D9_SysMemTexturePool_ClearUseFlag(indices[0], nullptr);
    ASSERT_GE(Graphics_D3D9_SysMemSurfacePool_Get(4, 4, D3DFMT_A8R8G8B8, nullptr), 0);
    EXPECT_EQ(Graphics_D3D9_SysMemTexturePool_Release(1), 0);
    EXPECT_EQ(D3D9SysMemTexturePool.UsedCount, 4);
    EXPECT_EQ(D3D9SysMemTexturePool.Entries[indices[0]].Used, 0);
    EXPECT_EQ(Textures(), 4);
    EXPECT_EQ(Graphics_D3D9_SysMemPool_ReleaseAll(), 0);
    EXPECT_EQ(D3D9SysMemTexturePool.UsedCount, 0);
    EXPECT_EQ(D3D9SysMemSurfacePool.UsedCount, 0);
    EXPECT_EQ(Textures(), 0);
    // Bad sizes are refused before the device is asked.
    EXPECT_EQ(Graphics_D3D9_SysMemTexturePool_Get(0, 0x8000, 4, 1, D3DFMT_A8R8G8B8, nullptr), -1);
    EXPECT_EQ(Graphics_D3D9_SysMemSurfacePool_Get(-4, 4, D3DFMT_A8R8G8B8, nullptr), -1);
    EXPECT_EQ(D3D9SysMemTexturePool.UsedCount + D3D9SysMemSurfacePool.UsedCount, 0);
}

TEST_F(D3D9SysMemPool, ThePerFrameReleaseTakesObjectsFreeForTwoSecondsAndNeverBusyOnes) {
    BeMainThread();
    const int surfaces = Surfaces();
    const Holding held = HoldSome(8);
    ASSERT_TRUE(held.Made);
    const int kept = held.FreeSurface, busy = held.BusySurface, texture = held.FreeTexture;

    FakeNow += 1999;
    EXPECT_EQ(Graphics_D3D9_SysMemSurfacePool_ReleaseUnused(), 0);
    EXPECT_EQ(Graphics_D3D9_SysMemTexturePool_ReleaseUnused(), 0);
    EXPECT_EQ(D3D9SysMemSurfacePool.UsedCount, 2);
    EXPECT_EQ(D3D9SysMemTexturePool.UsedCount, 1);
    EXPECT_EQ(Surfaces(), surfaces + 2);

    FakeNow += 1;
    EXPECT_EQ(Graphics_D3D9_SysMemSurfacePool_ReleaseUnused(), 0);
    EXPECT_EQ(D3D9SysMemSurfacePool.UsedCount, 1);
    EXPECT_EQ(D3D9SysMemSurfacePool.Entries[kept].Used, 0);
    EXPECT_EQ(D3D9SysMemSurfacePool.Entries[busy].Used, 1);
    EXPECT_EQ(Surfaces(), surfaces + 1);
    EXPECT_EQ(Graphics_D3D9_SysMemTexturePool_ReleaseUnused(), 0);
    EXPECT_EQ(D3D9SysMemTexturePool.UsedCount, 0);
    EXPECT_EQ(D3D9SysMemTexturePool.Entries[texture].Texture, nullptr);
    EXPECT_EQ(Textures(), 0);

    // Long after, the busy one is still there; the hole it left is filled first.
    FakeNow += 60000;
    EXPECT_EQ(Graphics_D3D9_SysMemSurfacePool_ReleaseUnused(), 0);
    EXPECT_EQ(D3D9SysMemSurfacePool.Entries[busy].Used, 1);
    EXPECT_EQ(Graphics_D3D9_SysMemSurfacePool_Get(2, 2, D3DFMT_A8R8G8B8, nullptr), kept);
    Graphics_D3D9_SysMemSurfacePool_ClearUseFlag(busy, nullptr);
    Graphics_D3D9_SysMemSurfacePool_ClearUseFlag(kept, nullptr);
    // The clock's 31 bits wrap: ages are taken across the wrap.
    FakeNow = 0x7FFFFFF0u;
    Graphics_D3D9_SysMemSurfacePool_Get(2, 2, D3DFMT_A8R8G8B8, nullptr);
    Graphics_D3D9_SysMemSurfacePool_ClearUseFlag(kept, nullptr);
    FakeNow = 0x80000000u + 1999 - 0x10;
    Graphics_D3D9_SysMemSurfacePool_ReleaseUnused();
    EXPECT_EQ(D3D9SysMemSurfacePool.Entries[kept].Used, 1);
    FakeNow += 1;
    Graphics_D3D9_SysMemSurfacePool_ReleaseUnused();
    EXPECT_EQ(D3D9SysMemSurfacePool.Entries[kept].Used, 0);
}

TEST_F(D3D9SysMemPool, AFullTableEvictsTheFreeEntryUsedLeastAndTheLaterOneOnEqualCounts) {
    // 2048 busy surfaces of distinct keys (1 x 1 up to 128 x 16).
    for (int i = 0; i < D3D9SysMemPoolSize; ++i)
        ASSERT_EQ(Graphics_D3D9_SysMemSurfacePool_Get(1 + i % 128, 1 + i / 128, D3DFMT_A8R8G8B8, nullptr), i);
    EXPECT_EQ(D3D9SysMemSurfacePool.UsedCount, D3D9SysMemPoolSize);
    // Every entry busy: nothing can be evicted.
    EXPECT_EQ(Graphics_D3D9_SysMemSurfacePool_Get(200, 1, D3DFMT_A8R8G8B8, nullptr), -1);

    // Slots 5 and 100 free with use count 1, slot 2000 free with use count 2.
    for (int slot : {5, 100, 2000}) Graphics_D3D9_SysMemSurfacePool_ClearUseFlag(slot, nullptr);
    ASSERT_EQ(Graphics_D3D9_SysMemSurfacePool_Get(1 + 2000 % 128, 1 + 2000 / 128, D3DFMT_A8R8G8B8, nullptr), 2000);
    Graphics_D3D9_SysMemSurfacePool_ClearUseFlag(2000, nullptr);

    const int surfaces = D3D9CallState.ObjectCount[D3D9OBJ_SURFACE];
    EXPECT_EQ(Graphics_D3D9_SysMemSurfacePool_Get(200, 1, D3DFMT_A8R8G8B8, nullptr), 100);
    EXPECT_EQ(Graphics_D3D9_SysMemSurfacePool_Get(200, 2, D3DFMT_A8R8G8B8, nullptr), 5);
    EXPECT_EQ(Graphics_D3D9_SysMemSurfacePool_Get(200, 3, D3DFMT_A8R8G8B8, nullptr), 2000);
    EXPECT_EQ(Graphics_D3D9_SysMemSurfacePool_Get(200, 4, D3DFMT_A8R8G8B8, nullptr), -1);
    EXPECT_EQ(D3D9CallState.ObjectCount[D3D9OBJ_SURFACE], surfaces);
    EXPECT_EQ(D3D9SysMemSurfacePool.UsedCount, D3D9SysMemPoolSize);
    D3DSURFACE_DESC desc = {};
    ASSERT_EQ(D3D9Call_Surface_GetDesc(Graphics_D3D9_SysMemSurfacePool_Surface(100), &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 200u);
    EXPECT_EQ(desc.Height, 1u);
}

TEST_F(D3D9SysMemPool, AFailedCreationDropsTheFreeObjectsOfItsPoolAndLogsThePoolOnce) {
    const Holding held = HoldSome(4);
    ASSERT_TRUE(held.Made);
    const int freeSurface = held.FreeSurface, busySurface = held.BusySurface, freeTexture = held.FreeTexture;

    // A format no device makes fails both tries.
    const D3DFORMAT bad = (D3DFORMAT)0x7777;
    const size_t logStart = ReadLog().size();
    EXPECT_EQ(Graphics_D3D9_SysMemSurfacePool_Get(4, 4, bad, nullptr), -1);
    EXPECT_EQ(D3D9SysMemSurfacePool.UsedCount, 1);
    EXPECT_EQ(D3D9SysMemSurfacePool.Entries[freeSurface].Used, 0);
    EXPECT_EQ(D3D9SysMemSurfacePool.Entries[busySurface].Used, 1);
    EXPECT_EQ(D3D9SysMemTexturePool.UsedCount, 1);
    EXPECT_EQ(D3D9SysMemTexturePool.Entries[freeTexture].Used, 1);

    // The first try's failure lists the pool as it was then (the free entry still in it), the retry's
    // failure logs its own line only.
    const std::string log = ReadLog().substr(logStart);
    char listed[160];
    snprintf(listed, sizeof(listed),
             "No%d. UseFlag:0 UseCount:1 SizeX:4 SizeY:4 Format:21\nNo%d. UseFlag:1 UseCount:1 SizeX:4 SizeY:4 Format:21\n",
             freeSurface, busySurface);
    size_t at = LogFindLines(log, Utf8(u8"メモリサーフェスの作成に失敗しました PosNo.1  エラーコード:0x"));
    ASSERT_NE(at, std::string::npos) << log;
    at = LogFindLines(log, Utf8(u8"メモリサーフェスの作成に失敗しました PosNo.2  エラーコード:0x"), at);
    ASSERT_NE(at, std::string::npos) << log;
    at = LogFindLines(log, Utf8(u8"非管理テクスチャへのデータ転送用システムメモリ配置サーフェスの数：2\n") + listed, at);
    ASSERT_NE(at, std::string::npos) << log;
    at = LogFindLines(log, Utf8(u8"メモリサーフェスの作成に失敗しました PosNo.1  エラーコード:0x"), at);
    EXPECT_NE(at, std::string::npos) << log;
    EXPECT_NE(log.find("SizeX:4 SizeY:4 Format:30583"), std::string::npos) << log;

    // Later failures log only their own line; a failed texture names itself.
    const size_t secondStart = ReadLog().size();
    EXPECT_EQ(Graphics_D3D9_SysMemSurfacePool_Get(4, 4, bad, nullptr), -1);
    EXPECT_EQ(Graphics_D3D9_SysMemTexturePool_Get(1, 4, 4, 1, bad, nullptr), -1);
    EXPECT_EQ(D3D9SysMemTexturePool.UsedCount, 0);
    const std::string second = ReadLog().substr(secondStart);
    EXPECT_NE(second.find("PosNo.1"), std::string::npos) << second;
    EXPECT_EQ(second.find("PosNo.2"), std::string::npos) << second;
    EXPECT_EQ(second.find("No0."), std::string::npos) << second;
    EXPECT_NE(second.find(Utf8(u8"メモリキューブマップテクスチャの作成に失敗しました  エラーコード:0x")), std::string::npos)
        << second;
}

namespace {

struct LoaderWork {
    volatile LONG Done = 0;
    int Surface = -1, Texture = -1;
    int SurfaceClear = -1, TextureClear = -1;
    int ReleaseUnused = 0;
    uint32_t CreateThread = 0;
};

int LoaderJobProcedure(ASyncLoadEntry* entry) {
    LoaderWork* work = (LoaderWork*)LoaderJob::Data(entry);
    work->Surface = Graphics_D3D9_SysMemSurfacePool_Get(8, 8, D3DFMT_A8R8G8B8, (void*)1);
    work->CreateThread = D3D9CallState.LastDeviceCallThread;
    work->Texture = Graphics_D3D9_SysMemTexturePool_Get(0, 8, 8, 1, D3DFMT_A8R8G8B8, (void*)1);
    work->ReleaseUnused = Graphics_D3D9_SysMemSurfacePool_ReleaseUnused();
    work->SurfaceClear = Graphics_D3D9_SysMemSurfacePool_ClearUseFlag(work->Surface, (void*)1);
    work->TextureClear = Graphics_D3D9_SysMemTexturePool_ClearUseFlag(work->Texture, (void*)1);
    InterlockedExchange(&work->Done, 1);
    return 0;
}

}  // namespace

TEST_F(D3D9SysMemPool, ALoaderThreadHasTheMainThreadServeIt) {
    LoaderWork work;
    ASSERT_EQ(LoaderJob::Run(LoaderJobProcedure, &work, &work.Done), 0);
    EXPECT_EQ(work.CreateThread, Thread_GetCurrentId());
    ASSERT_GE(work.Surface, 0);
    ASSERT_GE(work.Texture, 0);
    EXPECT_EQ(work.ReleaseUnused, -1);
    EXPECT_EQ(work.SurfaceClear, 0);
    EXPECT_EQ(work.TextureClear, 0);
    EXPECT_EQ(D3D9SysMemSurfacePool.Entries[work.Surface].UseFlag, 0);
    EXPECT_EQ(D3D9SysMemTexturePool.Entries[work.Texture].UseFlag, 0);
    EXPECT_EQ(D3D9SysMemSurfacePool.UsedCount, 1);
}
