// Draw targets without a device: choosing screens and drawable graphs (and refusing everything else
// with the current target left whole), what a target change resets, clearing, locking, copying and
// reading pixels back from the memory image of the target, and a deleted target graph.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>

#include "DrawTargetFixture.h"
#include "foundation/VtHandle.h"
#include "foundation/VtMemory.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics/VtGraphicsImage.h"

using namespace Vantrel;
using namespace WindowTest;
using namespace DrawTargetTesting;

namespace {

struct TargetView {
    int Handle, Width, Height;
    RECT Area;
    MEMIMG* Image;
};

TargetView CurrentTarget() {
    return {GetCurrentDrawScreen(), GraphicsScreenState.DrawTargetWidth, GraphicsScreenState.DrawTargetHeight,
            DrawSettings.DrawArea, GraphicsSystemState.MemImgDrawTarget};
}

void ExpectSameTarget(const TargetView& a, const TargetView& b) {
    EXPECT_EQ(a.Handle, b.Handle);
    EXPECT_EQ(a.Width, b.Width);
    EXPECT_EQ(a.Height, b.Height);
    EXPECT_TRUE(EqualRect(&a.Area, &b.Area));
    EXPECT_EQ(a.Image, b.Image);
}

int LiveGraphs() { return HandleManagerTable[HandleType_Graph].Count; }

// A graph whose memory image has an alpha plane (drawable without a device, but not a target).
int MakeAlphaGraph(int width, int height) {
    BaseImage image;
    if (BaseImage_CreateARGB8(width, height, &image) < 0) return -1;
    BaseImage_Fill(&image, 10, 20, 30, 128);
    const int graph = MakeGraphFromBaseImage(&image, nullptr, 0);
    BaseImage_Release(&image);
    return graph;
}

// A blend image: never a draw target.
int MakeBlendGraph(int width, int height) {
    GraphCreateParam param;
    Graphics_Image_InitCreateParam(&param);
    param.blendImage = 1;
    return Graphics_Image_MakeEmptyGraph_GParam(&param, width, height, 0, 0, 0, 0, 0);
}

}  // namespace

class DrawTargetTest : public NoDeviceTest {
protected:
    void SetUp() override {
        NoDeviceTest::SetUp();
        ASSERT_EQ(GetCurrentDrawScreen(), DRAW_SCREEN_FRONT);
    }
};

TEST_F(DrawTargetTest, ScreensAndDrawableGraphsBecomeTargetsWithTheirSizeAreaAndImage) {
    const int graph = CreateDrawableGraph(64, 48, 0);
    ASSERT_GE(graph, 0);
    MEMIMG* screen = &GraphicsSystemState.SoftScreenMain;
    MEMIMG* graphImage = &Graphics_Image_GetGraphRecord(graph, 0)->memImage;
    struct Case {
        int Target, Width, Height;
        RECT Area;
        MEMIMG* Image;
    };
    // The size-less codes keep the size before them (the graph's here) with an empty draw area.
    const Case cases[] = {
        {DRAW_SCREEN_BACK, 860, 560, {0, 0, 860, 560}, screen},  {graph, 64, 48, {0, 0, 64, 48}, graphImage},
        {DRAW_SCREEN_SIZELESS_A, 64, 48, {0, 0, 0, 0}, screen},  {DRAW_SCREEN_FRONT, 860, 560, {0, 0, 860, 560}, screen},
        {graph, 64, 48, {0, 0, 64, 48}, graphImage},             {DRAW_SCREEN_SIZELESS_B, 64, 48, {0, 0, 0, 0}, screen},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Target);
        // A narrowed draw area is reset by every change, also to the same target.
        Graphics_DrawSetting_SetDrawAreaRect(1, 1, 2, 2);
        ASSERT_EQ(SelectDrawScreen(c.Target), 0);
        ExpectSameTarget(CurrentTarget(), {c.Target, c.Width, c.Height, c.Area, c.Image});
    }
    ASSERT_EQ(SelectDrawScreen(graph), 0);
    Graphics_DrawSetting_SetDrawAreaRect(1, 1, 2, 2);
    ASSERT_EQ(SelectDrawScreen(graph), 0);
    ExpectSameTarget(CurrentTarget(), {graph, 64, 48, {0, 0, 64, 48}, graphImage});
}

TEST_F(DrawTargetTest, RefusedTargetsLeaveTheCurrentTargetWhole) {
    const int graph = CreateDrawableGraph(32, 32, 0);
    const int alphaGraph = MakeAlphaGraph(16, 16);
    const int blendGraph = MakeBlendGraph(16, 16);
    const int deleted = CreateDrawableGraph(8, 8, 0);
    ASSERT_GE(graph, 0);
    ASSERT_GE(alphaGraph, 0);
    ASSERT_GE(blendGraph, 0);
    ASSERT_EQ(DeleteGraph(deleted), 0);
    // A drawable graph with an alpha channel cannot be had without a device.
    EXPECT_EQ(CreateDrawableGraph(16, 16, 1), -1);

    const int refused[] = {-1, -5, 0, 1, 12345, deleted, alphaGraph, blendGraph, graph ^ 0x10000, INT32_MIN};
    for (int current : {static_cast<int>(DRAW_SCREEN_BACK), graph}) {
        ASSERT_EQ(SelectDrawScreen(current), 0);
        Graphics_DrawSetting_SetDrawAreaRect(3, 4, 10, 12);
        const TargetView before = CurrentTarget();
        for (int target : refused) {
            SCOPED_TRACE(testing::Message() << "current " << current << ", refused " << target);
            EXPECT_EQ(SelectDrawScreen(target), -1);
            ExpectSameTarget(CurrentTarget(), before);
        }
    }
}

TEST_F(DrawTargetTest, ClearLockCopyAndReadBackWorkOnTheTargetsMemoryImage) {
    const int graph = CreateDrawableGraph(40, 30, 0);
    const int copy = MakeGraph(10, 5);
    ASSERT_GE(graph, 0);
    ASSERT_GE(copy, 0);
    ASSERT_EQ(SelectDrawScreen(DRAW_SCREEN_BACK), 0);
    Fill(0, 0, 860, 560, 1, 2, 3);

    ASSERT_EQ(SelectDrawScreen(graph), 0);
    SetBackground(200, 100, 50);
    ASSERT_EQ(ClearDrawTarget(nullptr), 0);
    Fill(5, 6, 15, 11, 9, 8, 7);
    // The graph took the clears, the screen kept its own colour.
    EXPECT_EQ(ReadDrawScreenPixel(0, 0), 0x00C86432);
    EXPECT_EQ(ReadDrawScreenPixel(5, 6), 0x00090807);
    EXPECT_EQ(ReadDrawScreenPixel(14, 10), 0x00090807);
    EXPECT_EQ(ReadDrawScreenPixel(15, 10), 0x00C86432);
    EXPECT_EQ(Graphics_SoftScreen_GetPixel(&GraphicsSystemState.SoftScreenMain, 0, 0), 0x00010203);

    // Locking: inside rectangles give the pixels in place, the rest is refused.
    const RECT badRects[] = {{-1, 0, 4, 4}, {0, -1, 4, 4}, {4, 0, 4, 4}, {0, 4, 4, 4}, {0, 0, 41, 4},
                             {0, 0, 4, 31}, {5, 0, 4, 4}, {40, 0, 41, 1}};
    BaseImage locked;
    for (const RECT& rect : badRects) {
        EXPECT_EQ(Graphics_Screen_LockDrawTarget(&rect, &locked, -1, 0, 0, 0, 0), -1);
        EXPECT_EQ(GraphicsSystemState.DrawTargetLocked, 0);
    }
    const RECT whole = {4, 5, 40, 30};
    ASSERT_EQ(Graphics_Screen_LockDrawTarget(&whole, &locked, -1, -1, -1, 0, 0), 0);
    EXPECT_EQ(GraphicsSystemState.DrawTargetLocked, 1);
    EXPECT_EQ(locked.width, 36);
    EXPECT_EQ(locked.height, 25);
    EXPECT_EQ(locked.format.bitDepth, 32);
    uint32_t first;
    memcpy(&first, static_cast<uint8_t*>(locked.pixels) + locked.pitch + 4, 4);
    EXPECT_EQ(first & 0x00FFFFFF, 0x00090807u);  // (5, 6) of the graph
    // A white pixel whose spare byte is set reads as -1, which only the status tells from a failure.
    const uint32_t white = 0xFFFFFFFF;
    memcpy(static_cast<uint8_t*>(locked.pixels) + static_cast<size_t>(locked.pitch) * 24 + 35 * 4, &white, 4);
    EXPECT_EQ(Graphics_Screen_UnlockDrawTarget(), 0);
    EXPECT_EQ(GraphicsSystemState.DrawTargetLocked, 0);
    int status = 5;
    EXPECT_EQ(ReadDrawScreenPixelWithStatus(39, 29, &status), -1);
    EXPECT_EQ(status, 0);
    const int outside[][2] = {{40, 0}, {0, 30}, {-1, 0}, {0, -1}};
    for (const auto& point : outside) {
        status = 5;
        EXPECT_EQ(ReadDrawScreenPixelWithStatus(point[0], point[1], &status), -1);
        EXPECT_EQ(status, -1);
    }
    status = 5;
    EXPECT_EQ(ReadDrawScreenPixelWithStatus(14, 10, &status), 0x00090807);
    EXPECT_EQ(status, 0);

    // Locking another target by handle: the screen at its own size.
    const RECT screenRect = {850, 550, 860, 560};
    ASSERT_EQ(Graphics_Screen_LockDrawTarget(&screenRect, &locked, DRAW_SCREEN_BACK, -1, -1, 0, 0), -1)
        << "the screen code is sized by the current target, a 40 x 30 graph";
    const RECT small = {0, 0, 2, 2};
    ASSERT_EQ(Graphics_Screen_LockDrawTarget(&small, &locked, DRAW_SCREEN_BACK, -1, -1, 0, 0), 0);
    memcpy(&first, locked.pixels, 4);
    EXPECT_EQ(first, 0x00010203u);
    Graphics_Screen_UnlockDrawTarget();

    // Copying into a graph of exactly the rectangle's size; any other size or a rectangle beyond the
    // target is refused.
    EXPECT_EQ(CopyDrawScreenToGraph(5, 6, 16, 11, copy), -1);
    EXPECT_EQ(CopyDrawScreenToGraph(5, 6, 15, 12, copy), -1);
    EXPECT_EQ(CopyDrawScreenToGraph(35, 0, 45, 5, copy), -1);
    EXPECT_EQ(CopyDrawScreenToGraph(-1, 0, 9, 5, copy), -1);
    EXPECT_EQ(CopyDrawScreenToGraph(5, 6, 15, 11, copy + 1), -1);
    ASSERT_EQ(CopyDrawScreenToGraph(10, 8, 20, 13, copy), 0);
    const MEMIMG* copied = &Graphics_Image_GetGraphRecord(copy, 0)->memImage;
    EXPECT_EQ(Graphics_SoftScreen_GetPixel(copied, 0, 0) & 0xFFFFFF, 0x00090807);
    EXPECT_EQ(Graphics_SoftScreen_GetPixel(copied, 4, 2) & 0xFFFFFF, 0x00090807);
    EXPECT_EQ(Graphics_SoftScreen_GetPixel(copied, 5, 2) & 0xFFFFFF, 0x00C86432);
    EXPECT_EQ(Graphics_SoftScreen_GetPixel(copied, 4, 3) & 0xFFFFFF, 0x00C86432);
}

TEST_F(DrawTargetTest, DeletingTheTargetGraphFallsBackToTheFrontScreen) {
    const int graph = CreateDrawableGraph(20, 20, 0);
    ASSERT_EQ(SelectDrawScreen(graph), 0);
    const int before = LiveGraphs();
    ASSERT_EQ(DeleteGraph(graph), 0);
    EXPECT_EQ(LiveGraphs(), before - 1);
    ExpectSameTarget(CurrentTarget(), {DRAW_SCREEN_FRONT, 860, 560, {0, 0, 860, 560}, &GraphicsSystemState.SoftScreenMain});
    SetBackground(7, 7, 7);
    EXPECT_EQ(ClearDrawTarget(nullptr), 0);
    EXPECT_EQ(ReadDrawScreenPixel(859, 559), 0x00070707);
}
