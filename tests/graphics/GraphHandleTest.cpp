// Graph handles without a device: creation, derivation (nested and overlapping) and deletion in
// every order with the full image shared and freed by its last graph, the handle limit, the draw
// state saved and restored, loading from BMP files and memory at once and on the loader threads,
// damaged files, deleting graphs whose load is still running, and drawable graphs made on the loader
// threads with copies of the draw target.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "GraphHandleSupport.h"
#include "../system/WindowTestSupport.h"
#include "foundation/VtASyncLoad.h"
#include "foundation/VtHandle.h"
#include "foundation/VtMemory.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsCamera.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsImage.h"
#include "system/VtSystem.h"

using namespace Vantrel;
using namespace WindowTest;
using namespace GraphHandleSupport;

TEST_F(GraphHandleTest, DerivedGraphsShareTheFullImageUntilTheLastOneGoesInEveryDeletionOrder) {
    const int seed = 3;
    BaseImage image;
    ASSERT_EQ(BaseImage_CreateXRGB8(64, 32, &image), 0);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) {
            const uint32_t c = PatternColor(x, y, seed);
            BaseImage_SetPixelRGBA(&image, x, y, (c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF, 255);
        }
    const int64_t blocksBefore = MemoryState.AllocBlockCount;
    std::array<int, 4> order = {0, 1, 2, 3};
    int rounds = 0;
    do {
        SCOPED_TRACE(rounds);
        int graphs[4];
        graphs[0] = MakeGraphFromBaseImage(&image, nullptr, 0);
        ASSERT_GE(graphs[0], 0);
        graphs[1] = DeriveGraphRect(8, 4, 40, 20, graphs[0]);
        graphs[2] = DeriveGraphRect(4, 2, 100, 100, graphs[1]);     // nested and clamped to 36 x 18
        graphs[3] = DeriveGraphRect(30, 10, 30, 10, graphs[0]);     // overlaps the first derivation
        for (int g : graphs) ASSERT_GE(g, 0);
        GraphOrigRecord* orig = Record(graphs[0])->Orig;
        EXPECT_EQ(orig->refCount, 4);
        for (int g : graphs) EXPECT_EQ(Record(g)->Orig, orig);
        int width = 0, height = 0;
        EXPECT_EQ(QueryGraphSize(graphs[2], &width, &height), 0);
        EXPECT_EQ(width, 36);
        EXPECT_EQ(height, 18);
        EXPECT_EQ(Record(graphs[2])->x, 12);
        EXPECT_EQ(Record(graphs[2])->y, 6);
        if (rounds == 0) {
            EXPECT_EQ(PatternDifferences(graphs[0], seed), 0);
            EXPECT_EQ(PatternDifferences(graphs[2], seed, 12, 6), 0);
            EXPECT_EQ(PatternDifferences(graphs[3], seed, 30, 10), 0);
            // A graph source record is shared by derivation.
            EXPECT_NE(Record(graphs[0])->sourceInfo, nullptr);
            EXPECT_EQ(Record(graphs[3])->sourceInfo, Record(graphs[0])->sourceInfo);
        }
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(Handle_Delete(graphs[order[i]], 0, 0), 0);
            if (i < 3) {
                EXPECT_EQ(orig->refCount, 3 - i);
            }
            EXPECT_EQ(QueryGraphSize(graphs[order[i]], nullptr, nullptr), -1);
        }
        EXPECT_EQ(MemoryState.AllocBlockCount, blocksBefore);
        ++rounds;
    } while (std::next_permutation(order.begin(), order.end()));
    EXPECT_EQ(rounds, 24);
    BaseImage_Release(&image);
}

TEST_F(GraphHandleTest, DerivationOutsideTheSourceFailsAndLeavesNoHandle) {
    const int graph = MakeGraph(32, 16);
    ASSERT_GE(graph, 0);
    const int live = LiveGraphs();
    const int cases[][4] = {{32, 0, 4, 4}, {0, 16, 4, 4}, {-1, 0, 4, 4}, {0, -1, 4, 4}, {0, 0, 0, 4}};
    for (const auto& c : cases) EXPECT_EQ(DeriveGraphRect(c[0], c[1], c[2], c[3], graph), -1) << c[0] << "," << c[1];
    EXPECT_EQ(DeriveGraphRect(0, 0, 4, 4, 0x7FFFFFF), -1);
    EXPECT_EQ(LiveGraphs(), live);

    int lost = -5;
    const int derived = DeriveGraphRect(31, 15, 8, 8, graph);
    ASSERT_GE(derived, 0);
    EXPECT_EQ(Record(derived)->Width, 1);
    EXPECT_EQ(SetGraphLostNotifyFlag(derived, &lost), 0);
    EXPECT_EQ(lost, 0);
    Handle_Delete(derived, 0, 0);
    EXPECT_EQ(lost, 1);
}

TEST_F(GraphHandleTest, TheLimitOfGraphHandlesIsRefusedWithItsLogLine) {
    const int first = MakeGraph(2, 2);
    ASSERT_GE(first, 0);
    std::vector<int> graphs;
    graphs.reserve(GraphHandle_MaxCount);
    for (int i = 1; i < GraphHandle_MaxCount; ++i) {
        const int graph = DeriveGraphRect(0, 0, 1, 1, first);
        if (graph < 0) {
            ADD_FAILURE() << "graph " << i << " refused";
            break;
        }
        graphs.push_back(graph);
    }
    EXPECT_EQ(LiveGraphs(), GraphHandle_MaxCount);
    EXPECT_EQ(DeriveGraphRect(0, 0, 1, 1, first), -1);
    EXPECT_EQ(MakeGraph(2, 2), -1);
    EXPECT_EQ(LiveGraphs(), GraphHandle_MaxCount);
    EXPECT_NE(LogFind(ReadLog(), u8"Graphハンドルの数が限界数( 262144 )に達していて新たなハンドルを作成できません"),
              std::string::npos);
    EXPECT_EQ(Record(first)->Orig->refCount, GraphHandle_MaxCount);
}

TEST_F(GraphHandleTest, DrawStateSavedAndRestoredComesBackWhole) {
    DrawStateSnapshot before, changed, after;
    ASSERT_EQ(SetBlendModeAndParam(1, 300), 0);
    int mode = 0, param = 0;
    GetBlendModeAndParam(&mode, &param);
    EXPECT_EQ(param, 255);
    SetBlendModeAndParam(1, -5);
    GetBlendModeAndParam(nullptr, &param);
    EXPECT_EQ(param, 0);
    SetBlendModeAndParam(2, 128);
    SetTextureFilterMode(1);
    Graphics_DrawSetting_SetTextureAddressModesUVW(1, 2, 4, 3);
    Graphics_DrawSetting_SetDrawAreaRect(100, 50, 20, 10);
    MatrixD world;
    MakeIdentityMatrixD(&world);
    world.m[3][0] = 5.0, world.m[3][1] = 6.0, world.m[3][2] = 7.0;
    SetWorldTransformMatrix(&world);
    Graphics_DrawSetting_SaveState(&before);
    EXPECT_EQ(before.DrawArea[0], 20);
    EXPECT_EQ(before.DrawArea[3], 50);
    EXPECT_EQ(before.AddressModeW[3], 4);

    SetBlendModeAndParam(4, 7);
    SetTextureFilterMode(2);
    SetTextureAddressModes(1, 1, -1);
    Graphics_DrawSetting_SetTextureAddressModesUVW(2, 2, 2, 3);
    Graphics_DrawSetting_SetDrawAreaRect(-10, -10, 2000, 2000);
    SetWorldTransformMatrix(&world);
    Graphics_Camera_SetOrthographic(3.0);
    Graphics_DrawSetting_SaveState(&changed);
    EXPECT_EQ(changed.DrawArea[2], 860);
    EXPECT_NE(memcmp(&before, &changed, sizeof(before)), 0);

    ASSERT_EQ(Graphics_DrawSetting_RestoreState(&before), 0);
    Graphics_DrawSetting_SaveState(&after);
    // Only the parameter of the projection in use is applied again.
    EXPECT_EQ(after.ProjectionType, 0);
    after.OrthoSize = before.OrthoSize;
    const uint8_t* a = reinterpret_cast<const uint8_t*>(&before);
    const uint8_t* b = reinterpret_cast<const uint8_t*>(&after);
    for (size_t i = 0; i < sizeof(before); ++i)
        if (a[i] != b[i]) {
            ADD_FAILURE() << "restored state differs at byte " << i;
            break;
        }
    EXPECT_EQ(DrawSettings.AddressModeW[3], 4);

    // Samplers outside 0-15 change nothing; a blend graph of type 3 is refused.
    EXPECT_EQ(SetTextureAddressModes(3, 3, 16), 0);
    EXPECT_EQ(DrawSettings.AddressModeU[0], before.AddressModeU[0]);
    const int graph = MakeGraph(8, 8);
    EXPECT_EQ(SetBlendGraphParams(graph, 3, 0), -1);
    EXPECT_EQ(SetBlendGraphTwoParam(graph, 300, -4), 0);
    EXPECT_EQ(DrawSettings.BlendGraphBorderParam, 255);
    EXPECT_EQ(DrawSettings.BlendGraphBorderRange, 0);
    EXPECT_EQ(GraphicsSystemState.BlendGraphMemImg, &Record(graph)->memImage);
    Handle_Delete(graph, 0, 0);
    EXPECT_EQ(GraphicsSystemState.BlendGraphMemImg, nullptr);

    // An empty draw area makes a draw call return 0 at once.
    Graphics_DrawSetting_SetDrawAreaRect(5, 5, 5, 100);
    EXPECT_EQ(Graphics_DrawSetting_DrawBegin(-1), 0);
    Graphics_DrawSetting_SetDrawAreaRect(0, 0, 10, 10);
    EXPECT_EQ(Graphics_DrawSetting_DrawBegin(-1), 1);
}

TEST_F(GraphHandleTest, BmpLoadsTheSamePixelsAtOnceAndOnTheLoaderThreads) {
    const std::vector<uint8_t> bmp = MakeBmp(70, 33, 9);
    const std::wstring path = TempPath(L"vt_graph_test.bmp");
    WriteFile(path, bmp);

    const int direct = LoadGraphFileExW(path.c_str(), 0, 0, 0);
    ASSERT_GE(direct, 0);
    EXPECT_EQ(PatternDifferences(direct, 9), 0);
    ASSERT_NE(Record(direct)->sourceInfo, nullptr);
    EXPECT_NE(Record(direct)->sourceInfo->fileName, nullptr);

    const int fromMemory = CreateGraphFromMemoryImage(bmp.data(), static_cast<int>(bmp.size()), nullptr, 0, 0);
    ASSERT_GE(fromMemory, 0);
    EXPECT_EQ(PatternDifferences(fromMemory, 9), 0);

    EnableAsyncLoad(1);
    std::vector<uint8_t> copy = bmp;
    const int queued = LoadGraphFileExW(path.c_str(), 0, 0, 0);
    const int queuedMemory = CreateGraphFromMemoryImage(copy.data(), static_cast<int>(copy.size()), nullptr, 0, 0);
    // The caller's base image may go at once: the job holds its own copy of the pixels.
    BaseImage image;
    ASSERT_EQ(BaseImage_CreateXRGB8(70, 33, &image), 0);
    for (int y = 0; y < 33; ++y)
        for (int x = 0; x < 70; ++x) {
            const uint32_t c = PatternColor(x, y, 9);
            BaseImage_SetPixelRGBA(&image, x, y, (c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF, 255);
        }
    const int queuedImage = MakeGraphFromBaseImage(&image, nullptr, 0);
    BaseImage_Release(&image);
    std::fill(copy.begin(), copy.end(), 0);
    EnableAsyncLoad(0);
    for (int graph : {queued, queuedMemory, queuedImage}) {
        ASSERT_GE(graph, 0);
        EXPECT_EQ(PatternDifferences(graph, 9), 0);
    }

    // Restoring from the source records puts the same pixels back.
    Graphics_Image_FillGraph_GParam(direct, 0, 0, 0, 0);
    Graphics_Image_FillGraph_GParam(queuedImage, 0, 0, 0, 0);
    EXPECT_NE(PatternDifferences(direct, 9), 0);
    Graphics_Image_RestoreFromSourceInfo();
    EXPECT_EQ(PatternDifferences(direct, 9), 0);
    EXPECT_EQ(PatternDifferences(queuedImage, 9), 0);
    DeleteFileW(path.c_str());
}

TEST_F(GraphHandleTest, DamagedTruncatedOrMissingFilesFailWithALogLineAndLeaveNoHandle) {
    std::vector<uint8_t> bmp = MakeBmp(16, 16, 1);
    const std::wstring truncatedPath = TempPath(L"vt_graph_truncated.bmp");
    const std::wstring damagedPath = TempPath(L"vt_graph_damaged.bmp");
    std::vector<uint8_t> truncated(bmp.begin(), bmp.begin() + 40);
    std::vector<uint8_t> damaged = bmp;
    damaged[0] = 'X';
    WriteFile(truncatedPath, truncated);
    WriteFile(damagedPath, damaged);
    const int live = LiveGraphs();
    for (int async = 0; async < 2; ++async) {
        EnableAsyncLoad(async);
        for (const std::wstring& path : {truncatedPath, damagedPath}) {
            const int graph = LoadGraphFileExW(path.c_str(), 0, 0, 0);
            if (async) {
                // The handle exists until its job has run; then it is gone.
                EXPECT_EQ(QueryGraphSize(graph, nullptr, nullptr), -1);
            } else {
                EXPECT_EQ(graph, -1);
            }
        }
        EXPECT_EQ(LiveGraphs(), live);
    }
    EnableAsyncLoad(0);
    const std::string log = ReadLog();
    EXPECT_NE(LogFind(log, u8"vt_graph_truncated.bmp のロードに失敗しました"), std::string::npos);
    EXPECT_NE(LogFind(log, u8"vt_graph_damaged.bmp のロードに失敗しました"), std::string::npos);
    EXPECT_EQ(CreateGraphFromMemoryImage(truncated.data(), static_cast<int>(truncated.size()), nullptr, 0, 0), -1);
    EXPECT_EQ(LoadGraphFile("vt_no_such_picture.bmp", 0), -1);
    EXPECT_NE(LogFind(ReadLog(), u8"vt_no_such_picture.bmp がありません"), std::string::npos);

    // A long name is taken whole, never cut or written past a buffer.
    std::string longName(600, 'a');
    longName += ".bmp";
    EXPECT_EQ(LoadGraphFile(longName.c_str(), 0), -1);
    EXPECT_EQ(LiveGraphs(), live);
    DeleteFileW(truncatedPath.c_str());
    DeleteFileW(damagedPath.c_str());
}

// A load job that fails on a loader thread hands its handle's deletion to the main thread: the record
// waits, dead to every caller, until the main thread deletes it (here when it looks at the handle, or
// at its next message pump); texture release and unbinding never run on a loader thread.
TEST_F(GraphHandleTest, AFailedLoadJobLeavesItsHandlesDeletionToTheMainThread) {
    std::vector<uint8_t> damaged = MakeBmp(16, 16, 1);
    damaged.resize(40);
    const int live = LiveGraphs();
    for (int look = 0; look < 2; ++look) {
        EnableAsyncLoad(1);
        const int graph = CreateGraphFromMemoryImage(damaged.data(), static_cast<int>(damaged.size()), nullptr, 0, 0);
        EnableAsyncLoad(0);
        ASSERT_GE(graph, 0);
        // The job has run to its end on a loader thread (nothing here looks at the handle meanwhile).
        for (int i = 0; i < 2000 && ASyncLoad_GetPendingCount() > 0; ++i) Sleep(5);
        ASSERT_EQ(ASyncLoad_GetPendingCount(), 0);
        HandleHeader* record = Handle_GetRecord(graph);
        ASSERT_NE(record, nullptr) << "deleted on the loader thread";
        EXPECT_EQ(record->DeleteRequested, 1);
        EXPECT_LT(record->ASyncLoadResult, 0);
        EXPECT_EQ(LiveGraphs(), live + 1);
        if (look == 0) {
            EXPECT_EQ(QueryGraphSize(graph, nullptr, nullptr), -1);
        } else {
            EXPECT_EQ(Handle_ProcessDeleteRequests(0), 0);
        }
        EXPECT_EQ(Handle_GetRecord(graph), nullptr);
        EXPECT_EQ(LiveGraphs(), live);
    }
}

TEST_F(GraphHandleTest, DeletingGraphsWhoseLoadsStillRunNeitherCrashesNorLeaks) {
    const std::vector<uint8_t> bmp = MakeBmp(512, 512, 4);
    const int64_t blocksBefore = MemoryState.AllocBlockCount;
    EnableAsyncLoad(1);
    for (int round = 0; round < 3; ++round) {
        std::vector<int> graphs;
        for (int i = 0; i < 24; ++i)
            graphs.push_back(CreateGraphFromMemoryImage(bmp.data(), static_cast<int>(bmp.size()), nullptr, 0, 0));
        // Delete in a scattered order: some jobs have not started, some run, some are done.
        for (int i = 0; i < 24; ++i) {
            const int graph = graphs[(i * 7) % 24];
            ASSERT_GE(graph, 0);
            EXPECT_EQ(Handle_Delete(graph, 0, 0), 0);
        }
        for (int i = 0; i < 200 && ASyncLoad_GetPendingCount() > 0; ++i) Sleep(5);
        EXPECT_EQ(LiveGraphs(), 0);
        EXPECT_EQ(MemoryState.AllocBlockCount, blocksBefore);
    }
    EnableAsyncLoad(0);
}

TEST_F(GraphHandleTest, DrawableGraphsAreMadeOnTheLoaderThreadsAndTakeCopiesOfTheDrawTarget) {
    EnableAsyncLoad(1);
    const int drawable = CreateDrawableGraph(24, 16, 0);
    const int refused = CreateDrawableGraph(0, 16, 0);
    EnableAsyncLoad(0);
    ASSERT_GE(drawable, 0);
    ASSERT_GE(refused, 0) << "the handle comes back before its set-up ran";
    // Both jobs run to their end on a loader thread (nothing here looks at the handles meanwhile).
    for (int i = 0; i < 2000 && ASyncLoad_GetPendingCount() > 0; ++i) Sleep(5);
    ASSERT_EQ(ASyncLoad_GetPendingCount(), 0);
    const GraphHandleRecord* made = reinterpret_cast<GraphHandleRecord*>(Handle_GetRecord(drawable));
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->Header.ASyncLoadResult, 0);
    ASSERT_NE(made->Orig, nullptr);
    EXPECT_EQ(made->Orig->format.drawable, 1);
    EXPECT_EQ(QueryGraphSize(refused, nullptr, nullptr), -1);

    // The graph is a draw target; a rectangle of it copies into a graph of exactly that size.
    ASSERT_EQ(SelectDrawScreen(drawable), 0);
    ASSERT_EQ(DrawRectangle(0, 0, 24, 16, MakeColorCode(0x12, 0x34, 0x56), 1, 1), 0);
    ASSERT_EQ(DrawRectangle(4, 2, 10, 8, MakeColorCode(0xA0, 0xB0, 0xC0), 1, 1), 0);
    const int copy = MakeGraph(8, 6);
    ASSERT_GE(copy, 0);
    EXPECT_EQ(CopyDrawScreenToGraph(2, 1, 11, 7, copy), -1) << "one pixel wider than the graph";
    EXPECT_EQ(CopyDrawScreenToGraph(20, 12, 28, 18, copy), -1) << "beyond the draw target";
    ASSERT_EQ(CopyDrawScreenToGraph(2, 1, 10, 7, copy), 0);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool inner = x + 2 >= 4 && x + 2 < 10 && y + 1 >= 2 && y + 1 < 8;
            EXPECT_EQ(GraphPixel(copy, x, y), inner ? 0xA0B0C0u : 0x123456u) << x << "," << y;
        }
    ASSERT_EQ(SelectDrawScreen(DRAW_SCREEN_BACK), 0);
    DeleteGraph(copy);
    DeleteGraph(drawable);
}
