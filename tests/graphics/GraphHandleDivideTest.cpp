// Graph handles without a device, second part: divided graphs (at once and as a job, mirrored,
// float cells, refreshed in place, handle values reused, grids the image cannot hold), bitmap
// sources, copies of graphs and of the draw target into graphs, the built-in graphs, the depth
// buffer's fallback when its graph goes, and the restore of separate graphs loaded from one file.
#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "GraphHandleSupport.h"
#include "foundation/VtLog.h"
#include "graphics/VtGraphFilter.h"

using namespace Vantrel;
using namespace WindowTest;
using namespace GraphHandleSupport;

namespace {

constexpr int Cells = 128;

// The 128 cells of 8 x 16 in 16 columns and 8 rows of a 128 x 128 BMP.
int Divide(const std::vector<uint8_t>& bmp, int* handles, int mirror = 0) {
    return CreateDivGraphFromMemoryImage(bmp.data(), static_cast<int>(bmp.size()), Cells, 16, 8, 8, 16, handles, 0,
                                         mirror, nullptr, 0);
}

}  // namespace

TEST_F(GraphHandleTest, DividedGraphsShareOneFullImageAtOnceAndAsAJob) {
    const std::vector<uint8_t> bmp = MakeBmp(128, 128, 5);
    for (int async : {0, 1}) {
        SCOPED_TRACE(async ? "job" : "at once");
        EnableAsyncLoad(async);
        int handles[Cells];
        ASSERT_EQ(Divide(bmp, handles), 0);
        EnableAsyncLoad(0);
        const GraphHandleRecord* first = Record(handles[0]);   // finishes the job
        // The job hands the hidden whole graph's deletion to the main thread, whose message pump runs it.
        Handle_ProcessDeleteRequests(0);
        EXPECT_EQ(LiveGraphs(), Cells);   // the whole graph is gone, the cells hold the full image
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first->Orig->refCount, Cells);
        ASSERT_NE(first->sourceInfo, nullptr);
        EXPECT_NE(first->sourceInfo->memImage, nullptr);
        EXPECT_EQ(first->sourceInfo->refCount, Cells);
        int wrong = 0;
        for (int i = 0; i < Cells; ++i) {
            const GraphHandleRecord* cell = Record(handles[i]);
            ASSERT_NE(cell, nullptr);
            wrong += cell->Orig != first->Orig || cell->sourceInfo != first->sourceInfo || cell->Width != 8 ||
                     cell->Height != 16 || cell->x != (i % 16) * 8 || cell->y != (i / 16) * 16;
            wrong += PatternDifferences(handles[i], 5, (i % 16) * 8, (i / 16) * 16) != 0;
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(Record(handles[17])->x, 8);
        EXPECT_EQ(Record(handles[17])->y, 16);
        for (int handle : handles) EXPECT_EQ(DeleteGraph(handle), 0);
        EXPECT_EQ(LiveGraphs(), 0);
    }

    // Mirrored: the image is mirrored and the cells are numbered from the right, so cell 0 shows
    // the mirrored picture's right-most column block, which is the original's left-most.
    int handles[Cells];
    ASSERT_EQ(Divide(bmp, handles, 1), 0);
    EXPECT_EQ(Record(handles[0])->x, 120);
    int wrong = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 8; ++x) wrong += GraphPixel(handles[0], x, y) != PatternColor(7 - x, y, 5);
    EXPECT_EQ(wrong, 0);
    for (int handle : handles) DeleteGraph(handle);
}

TEST_F(GraphHandleTest, DividedGraphsRefusedLeaveNoHandle) {
    const std::vector<uint8_t> bmp = MakeBmp(128, 128, 5);
    int handles[Cells];
    EXPECT_EQ(CreateDivGraphFromMemoryImage(bmp.data(), static_cast<int>(bmp.size()), 0, 16, 8, 8, 16, handles, 0, 0,
                                            nullptr, 0),
              -1);
    // More cells than the grid, and a grid larger than the image.
    EXPECT_EQ(CreateDivGraphFromMemoryImage(bmp.data(), static_cast<int>(bmp.size()), 200, 16, 8, 8, 16, handles, 0, 0,
                                            nullptr, 0),
              -1);
    EXPECT_EQ(CreateDivGraphFromMemoryImage(bmp.data(), static_cast<int>(bmp.size()), Cells, 16, 8, 9, 16, handles, 0,
                                            0, nullptr, 0),
              -1);
    EXPECT_NE(LogFind(ReadLog(), u8"分割後の総サイズが分割元の画像よりも大きい指定になってしまっています"),
              std::string::npos);
    // Cell sizes near the int range are refused, never wrapped into the image.
    EXPECT_EQ(CreateDivGraphFromMemoryImage(bmp.data(), static_cast<int>(bmp.size()), 4, 2, 2, 0x40000001, 16,
                                            handles, 0, 0, nullptr, 0),
              -1);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(handles[i], -1);
    EXPECT_EQ(LiveGraphs(), 0);
    // Damaged data: nothing loads, nothing stays.
    std::vector<uint8_t> damaged = bmp;
    damaged.resize(40);
    EXPECT_EQ(Divide(damaged, handles), -1);
    EnableAsyncLoad(1);
    EXPECT_EQ(Divide(damaged, handles), 0);   // queued: the failure comes with the job
    EnableAsyncLoad(0);
    for (int i = 0; i < Cells; ++i) EXPECT_FALSE(Graphics_Image_CheckGraphHandle(handles[i]));
    EXPECT_EQ(LiveGraphs(), 0);
}

TEST_F(GraphHandleTest, DividedGraphsRefreshStepFloatCellsAndReusedHandles) {
    const std::vector<uint8_t> bmp = MakeBmp(64, 32, 2), second = MakeBmp(64, 32, 9);
    // Cells of 6 x 10 every 8 x 16, float places every 7.5.
    int handles[8];
    GraphLoadParam param;
    Graphics_Image_InitLoadParam(&param);
    param.memImage = bmp.data();
    param.memSize = static_cast<int>(bmp.size());
    param.count = 8, param.columns = 4, param.rows = 2;
    param.cellWidth = 6, param.cellHeight = 10, param.cellWidthF = 6.0f, param.cellHeightF = 10.0f;
    param.stepX = 8, param.stepY = 16, param.stepXF = 7.5f, param.stepYF = 16.0f;
    param.floatCoords = 1;
    param.handles = handles;
    ASSERT_EQ(Graphics_Image_CreateDivGraph_GParam(&param, 0, 0), 0);
    const GraphHandleRecord* cell = Record(handles[6]);
    EXPECT_EQ(cell->Width, 6);
    EXPECT_EQ(cell->x, 16);
    EXPECT_EQ(cell->y, 16);
    EXPECT_FLOAT_EQ(cell->xF, 15.0f);
    EXPECT_EQ(PatternDifferences(handles[6], 2, 16, 16), 0);

    // Refreshed from another picture: the same handles show it, every cell at its place.
    GraphLoadParam refresh = param;
    refresh.memImage = second.data();
    refresh.memSize = static_cast<int>(second.size());
    refresh.refresh = 1;
    ASSERT_EQ(Graphics_Image_CreateDivGraph_GParam(&refresh, 0, 0), 0);
    int wrong = 0;
    for (int i = 0; i < 8; ++i) wrong += PatternDifferences(handles[i], 9, (i % 4) * 8, (i / 4) * 16) != 0;
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(LiveGraphs(), 8);
    // A picture too small for the grid is refused and the cells stay as they were.
    const std::vector<uint8_t> small = MakeBmp(16, 16, 4);
    refresh.memImage = small.data();
    refresh.memSize = static_cast<int>(small.size());
    EXPECT_EQ(Graphics_Image_CreateDivGraph_GParam(&refresh, 0, 0), -1);
    EXPECT_EQ(PatternDifferences(handles[0], 9), 0);

    // The creation parameters may name the handle values to use (their array is taken over).
    std::vector<int> old(handles, handles + 8);
    for (int handle : old) DeleteGraph(handle);
    Graphics_Image_InitLoadParam(&param);
    param.memImage = bmp.data();
    param.memSize = static_cast<int>(bmp.size());
    param.count = 8, param.columns = 4, param.rows = 2;
    param.cellWidth = 8, param.cellHeight = 16, param.cellWidthF = 8.0f, param.cellHeightF = 16.0f;
    param.handles = handles;
    param.create.handleArray = static_cast<int32_t*>(Memory_Allocate(8 * 4, __FILE__, __LINE__));
    param.create.handleArrayCount = 8;
    for (int i = 0; i < 8; ++i) param.create.handleArray[i] = old[i];
    ASSERT_EQ(Graphics_Image_CreateDivGraph_GParam(&param, 0, 0), 0);
    EXPECT_EQ(param.create.handleArray, nullptr);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(handles[i], old[i]);
    for (int handle : handles) DeleteGraph(handle);
}

TEST_F(GraphHandleTest, BitmapSourcesAndDrawTargetCopies) {
    // A top-down 32-bit DIB section of the pattern.
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = 20, info.bmiHeader.biHeight = -12;
    info.bmiHeader.biPlanes = 1, info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 20; ++x) static_cast<uint32_t*>(bits)[y * 20 + x] = PatternColor(x, y, 6);
    ColorFormatDesc format;
    BaseImage_ColorFormat_InitXRGB8(&format);
    const int graph = MakeGraph(20, 12);
    ASSERT_GE(graph, 0);
    ASSERT_EQ(Graphics_Image_BltBmpOrImageToGraph(&format, bitmap, nullptr, graph, nullptr, nullptr, 0), 0);
    EXPECT_EQ(PatternDifferences(graph, 6), 0);
    // The source is kept as a copy: the bitmap may go, the restore still has the pixels.
    ASSERT_NE(Record(graph)->sourceInfo, nullptr);
    EXPECT_NE(Record(graph)->sourceInfo->image, nullptr);
    DeleteObject(bitmap);
    Graphics_Image_FillGraph_GParam(graph, 0, 0, 0, 0);
    EXPECT_NE(PatternDifferences(graph, 6), 0);
    Graphics_Image_RestoreFromSourceInfo();
    EXPECT_EQ(PatternDifferences(graph, 6), 0);
    // No bitmap bits and no image: refused.
    EXPECT_EQ(Graphics_Image_BltBmpOrImageToGraph(&format, nullptr, nullptr, graph, nullptr, nullptr, 0), -1);

    // Graph to graph, overlapping within one graph, from the draw target, and refused rectangles.
    const int copy = MakeGraph(20, 12);
    ASSERT_EQ(Graphics_Image_CopyDrawTargetToGraph(graph, 0, 0, 2, 3, 10, 9, 5, 4, copy), 0);
    int wrong = 0;
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) wrong += GraphPixel(copy, 5 + x, 4 + y) != PatternColor(2 + x, 3 + y, 6);
    EXPECT_EQ(wrong, 0);
    ASSERT_EQ(Graphics_Image_CopyDrawTargetToGraph(graph, 0, 0, 0, 0, 10, 10, 2, 1, graph), 0);
    wrong = 0;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) wrong += GraphPixel(graph, 2 + x, 1 + y) != PatternColor(x, y, 6);
    EXPECT_EQ(wrong, 0);
    BaseImage screen;
    ASSERT_EQ(BaseImage_CreateXRGB8(30, 30, &screen), 0);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x) static_cast<uint32_t*>(screen.pixels)[y * screen.pitch / 4 + x] = PatternColor(x, y, 1);
    ASSERT_EQ(MemImg_BltBaseImage(&screen, nullptr, GraphicsSystemState.MemImgDrawTarget, 0, 0, 30, 30, 0, 0, 0), 0);
    BaseImage_Release(&screen);
    ASSERT_EQ(Graphics_Image_CopyDrawTargetToGraph(-1, 0, 0, 4, 4, 24, 16, 0, 0, copy), 0);
    EXPECT_EQ(PatternDifferences(copy, 1, 4, 4), 0);
    for (const auto& r : std::vector<std::array<int, 6>>{{-1, 0, 4, 4, 0, 0}, {4, 0, 4, 4, 0, 0}, {0, 4, 4, 4, 0, 0},
                                                         {0, 0, 21, 4, 0, 0}, {0, 0, 4, 4, 17, 0}, {0, 0, 4, 4, 0, -1}})
        EXPECT_EQ(Graphics_Image_CopyDrawTargetToGraph(graph, 0, 0, r[0], r[1], r[2], r[3], r[4], r[5], copy), -1);
    EXPECT_EQ(Graphics_Image_CopyDrawTargetToGraph(graph, 0, 0, 0, 0, 4, 4, 0, 0, -1), -1);
    DeleteGraph(graph);
    DeleteGraph(copy);
}

TEST_F(GraphHandleTest, BuiltInGraphsDepthBufferFallbackAndRestoreOfOneFileTwice) {
    const int white = Graphics_Image_GetPlainWhiteGraph();
    ASSERT_GE(white, 0);
    EXPECT_EQ(Graphics_Image_GetPlainWhiteGraph(), white);
    int width = 0, height = 0;
    QueryGraphSize(white, &width, &height);
    EXPECT_EQ(width, 8);
    BaseImage pixels;
    ASSERT_EQ(GraphFilter_ReadGraphToImage(white, &pixels, nullptr), 0);
    EXPECT_EQ(BaseImage_GetPixelARGB8(&pixels, 7, 7), 0xFFFFFFFFu);
    BaseImage_Release(&pixels);
    const int pattern = Graphics_Image_GetSsaoPatternTexHandle();
    ASSERT_GE(pattern, 0);
    QueryGraphSize(pattern, &width, &height);
    EXPECT_EQ(width, 4);
    EXPECT_EQ(height, 4);
    // Deleted with the device's loss and made again on the next use; a plain graph stays.
    const int plain = MakeGraph(4, 4);
    Graphics_Image_DeleteLostFlaggedGraphs();
    EXPECT_FALSE(Graphics_Image_CheckGraphHandle(white));
    EXPECT_FALSE(Graphics_Image_CheckGraphHandle(pattern));
    EXPECT_TRUE(Graphics_Image_CheckGraphHandle(plain));
    const int again = Graphics_Image_GetPlainWhiteGraph();
    EXPECT_GE(again, 0);
    EXPECT_NE(again, white);
    DeleteGraph(again);

    // The depth buffer falls back to the draw target's own when its graph goes.
    GraphicsScreenState.DepthBufferGraph = plain;
    DeleteGraph(plain);
    EXPECT_EQ(GraphicsScreenState.DepthBufferGraph, DRAW_SCREEN_BACK);

    // Two separate loads of one file, each with its own record, and a graph derived from one:
    // the restore brings all three back.
    const std::wstring path = TempPath(L"vt_graph_restore.bmp");
    WriteFile(path, MakeBmp(24, 20, 7));
    const int a = LoadGraphFileExW(path.c_str(), 0, 0, 0), b = LoadGraphFileExW(path.c_str(), 0, 0, 0);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_NE(Record(a)->sourceInfo, Record(b)->sourceInfo);
    const int part = DeriveGraphRect(4, 3, 10, 10, b);
    for (int graph : {a, b}) Graphics_Image_FillGraph_GParam(graph, 0, 0, 0, 0);
    EXPECT_NE(PatternDifferences(part, 7, 4, 3), 0);
    Graphics_Image_RestoreFromSourceInfo();
    EXPECT_EQ(PatternDifferences(a, 7), 0);
    EXPECT_EQ(PatternDifferences(b, 7), 0);
    EXPECT_EQ(PatternDifferences(part, 7, 4, 3), 0);
    for (int graph : {a, b, part}) DeleteGraph(graph);
    DeleteFileW(path.c_str());
}
