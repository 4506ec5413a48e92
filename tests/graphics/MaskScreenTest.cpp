// Mask screens without a device: masked drawing onto the memory screen is compared pixel for pixel
// with the same draw made unmasked from the same starting picture (where the mask byte is set the
// old pixel must stay, where it is 0 the drawn one must arrive), before and after a screen-mode
// change and a device re-creation; the grow rule of the mask screen and the use switch.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "DrawTargetFixture.h"
#include "foundation/VtHandle.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics/VtGraphicsMask.h"
#include "graphics/VtGraphicsScreen.h"
#include "image/VtBaseImage.h"

using namespace Vantrel;

namespace {

// The main memory screen's bytes.
std::vector<uint8_t> Snapshot() {
    const MEMIMG& screen = GraphicsSystemState.SoftScreenMain;
    const uint8_t* pixels = static_cast<const uint8_t*>(screen.pixels);
    return std::vector<uint8_t>(pixels, pixels + static_cast<size_t>(screen.body->pitch) * screen.height);
}

void Restore(const std::vector<uint8_t>& bytes) {
    memcpy(GraphicsSystemState.SoftScreenMain.pixels, bytes.data(), bytes.size());
}

// A textured 24 x 24 graph of varying colours with alpha, for the graph draw cases.
int MakePatternGraph() {
    BaseImage image;
    if (BaseImage_CreateARGB8(24, 24, &image) < 0) return -1;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 24; ++x)
            BaseImage_SetPixelRGBA(&image, x, y, x * 10, y * 10, 200 - x * 5, 128 + x + y);
    const int graph = MakeGraphFromBaseImage(&image, nullptr, 0);
    BaseImage_Release(&image);
    return graph;
}

// Draws `draw` once masked and once (from the same picture) unmasked, and checks every pixel of the
// screen: the old one where the mask byte is set, the unmasked draw's where it is 0.
void ExpectMaskedDrawExact(const char* name, const std::function<void()>& draw) {
    SCOPED_TRACE(name);
    const MEMIMG& screen = GraphicsSystemState.SoftScreenMain;
    const std::vector<uint8_t> before = Snapshot();
    ASSERT_EQ(MaskScreenState.MaskActive, 1);
    draw();
    const std::vector<uint8_t> masked = Snapshot();
    Restore(before);
    ASSERT_EQ(SetMaskScreenUse(0), 0);
    draw();
    const std::vector<uint8_t> unmasked = Snapshot();
    ASSERT_EQ(SetMaskScreenUse(1), 0);
    ASSERT_NE(unmasked, before) << "the draw changed nothing";

    const int bytes = screen.body->pitch / screen.width;
    int kept = 0, taken = 0, wrong = 0;
    for (int y = 0; y < screen.height; ++y) {
        for (int x = 0; x < screen.width; ++x) {
            const size_t at = static_cast<size_t>(y) * screen.body->pitch + static_cast<size_t>(x) * bytes;
            const bool maskSet = MaskScreenState.MaskData[static_cast<size_t>(y) * MaskScreenState.MaskPitch + x] != 0;
            const std::vector<uint8_t>& expected = maskSet ? before : unmasked;
            if (memcmp(&masked[at], &expected[at], bytes) != 0) {
                if (wrong++ < 5) ADD_FAILURE() << "pixel " << x << ", " << y << (maskSet ? " (masked)" : " (open)");
            } else if (memcmp(&before[at], &unmasked[at], bytes) != 0) {
                ++(maskSet ? kept : taken);
            }
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(kept, 0) << "no drawn pixel fell under the mask";
    EXPECT_GT(taken, 0) << "no drawn pixel fell outside the mask";
}

void RunMaskedDrawCases(int graph) {
    // A frame of mask bytes, a block and a checker column, so that every draw meets both kinds.
    ASSERT_EQ(FillMaskScreenRect(10, 10, 40, 40, 1), 0);
    ASSERT_EQ(FillMaskScreenRect(20, 20, 30, 30, 0), 0);
    for (int y = 0; y < 80; y += 2) ASSERT_EQ(FillMaskScreenRect(50, y, 52, y + 1, 255), 0);
    // The clear is no bracketed draw: with the mask on it would only reach the work surface.
    ASSERT_EQ(SetMaskScreenUse(0), 0);
    DrawTargetTesting::Fill(0, 0, 100, 100, 40, 80, 120);
    ASSERT_EQ(SetMaskScreenUse(1), 0);

    ExpectMaskedDrawExact("filled box", [] { DrawFilledRectangle(5, 5, 60, 60, MakeColorCode(250, 10, 10)); });
    ExpectMaskedDrawExact("box outline", [] { DrawRectangleOutline(8, 8, 55, 45, MakeColorCode(10, 250, 10), 3); });
    ExpectMaskedDrawExact("disc", [] { DrawCircleShape(30, 30, 25, MakeColorCode(10, 10, 250), 1, 1); });
    ExpectMaskedDrawExact("line", [] { DrawLineSegment(0, 15, 70, 50, MakeColorCode(200, 200, 0), 1); });
    ExpectMaskedDrawExact("graph, alpha blended", [graph] {
        SetBlendModeAndParam(1, 160);
        DrawGraphAt(12, 12, graph, 1);
        SetBlendModeAndParam(0, 255);
    });
    ExpectMaskedDrawExact("graph stretched", [graph] { DrawGraphStretched(0, 0, 64, 56, graph, 0); });
}

}  // namespace

class MaskScreenTest : public WindowTest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        SetScreenResolution(160, 120, 32, 60);
        ASSERT_EQ(SetHardwareGraphicsEnable(0), 0);
        ASSERT_EQ(InitializeLibrary(), 0);
        ASSERT_EQ(GraphicsSystemState.DeviceValid, 0);
    }
    void TearDown() override {
        DrawTargetTesting::SetBackground(0, 0, 0);
        LibraryTest::TearDown();
        SetHardwareGraphicsEnable(1);
        EXPECT_EQ(MemoryState.AllocBlockCount, 0);
    }
};

TEST_F(MaskScreenTest, WithoutAMaskScreenTheUseSwitchIsRefusedAndNothingIsBracketed) {
    EXPECT_EQ(GetMaskScreenUseFlag(), 1);
    EXPECT_EQ(SetMaskScreenUse(0), -1);
    EXPECT_EQ(GetMaskScreenUseFlag(), 1);
    EXPECT_EQ(MaskScreenState.MaskActive, 0);
    EXPECT_EQ(MaskScreenState.MaskData, nullptr);
    EXPECT_EQ(FillMaskScreenRect(0, 0, 4, 4, 1), -1);
    EXPECT_EQ(Mask_CreateScreen(0, 100, 100), 0);
    EXPECT_EQ(MaskScreenState.MaskData, nullptr);
    EXPECT_TRUE(HandleManagerTable[HandleType_Mask].Initialized);
}

TEST_F(MaskScreenTest, MaskedDrawingKeepsMaskedPixelsAcrossAModeChangeAndADeviceRecreation) {
    const int graph = MakePatternGraph();
    ASSERT_GE(graph, 0);
    ASSERT_EQ(CreateMaskScreen(), 0);
    EXPECT_EQ(MaskScreenState.MaskWidth, 160);
    EXPECT_EQ(MaskScreenState.MaskHeight, 120);
    EXPECT_EQ(MaskScreenState.MaskActive, 1);
    RunMaskedDrawCases(graph);

    // A screen-mode change: the mask screen comes back at the new size, every byte 0 (all drawable).
    ASSERT_EQ(SetScreenResolution(200, 150, 32, 60), 0);
    ASSERT_EQ(MaskScreenState.MaskScreenCreated, 1);
    EXPECT_EQ(MaskScreenState.MaskWidth, 200);
    EXPECT_EQ(MaskScreenState.MaskHeight, 150);
    EXPECT_EQ(MaskScreenState.MaskActive, 1);
    for (int i = 0; i < MaskScreenState.MaskPitch * MaskScreenState.MaskHeight; ++i)
        ASSERT_EQ(MaskScreenState.MaskData[i], 0) << i;
    const std::vector<uint8_t> before = Snapshot();
    DrawFilledRectangle(0, 0, 200, 150, MakeColorCode(1, 2, 3));
    EXPECT_NE(Snapshot(), before);
    const int graphAfter = MakePatternGraph();   // the change deleted every graph
    ASSERT_GE(graphAfter, 0);
    RunMaskedDrawCases(graphAfter);

    // A device re-creation frees the mask and builds it again, empty, switched on as before.
    Mask_FreeSurfaces();
    EXPECT_EQ(MaskScreenState.MaskData, nullptr);
    EXPECT_EQ(GraphicsSystemState.MemImgDrawTarget, &GraphicsSystemState.SoftScreenMain);
    EXPECT_EQ(DrawFilledRectangle(0, 0, 10, 10, MakeColorCode(9, 9, 9)), 0);   // no crash without mask data
    EXPECT_EQ(Mask_RestoreScreen(), 0);
    EXPECT_EQ(MaskScreenState.MaskWidth, 200);
    EXPECT_EQ(MaskScreenState.MaskActive, 1);
    RunMaskedDrawCases(graphAfter);

    EXPECT_EQ(Mask_DeleteScreen(), 0);
    EXPECT_EQ(MaskScreenState.MaskActive, 0);
    EXPECT_EQ(GraphicsSystemState.MemImgDrawTarget, &GraphicsSystemState.SoftScreenMain);
}

TEST_F(MaskScreenTest, NestedBracketsCompositeOnceAndAnEmptyRectangleComposesNothing) {
    DrawTargetTesting::Fill(0, 0, 160, 120, 0, 0, 0);
    ASSERT_EQ(CreateMaskScreen(), 0);
    const std::vector<uint8_t> before = Snapshot();
    Mask_BeforeMaskedDraw({0, 0, 20, 20});
    Mask_BeforeMaskedDraw({0, 0, 5, 5});
    DrawTargetTesting::SetBackground(0, 0, 0);
    Graphics_Soft_DrawFillRect(0, 0, 20, 20, MakeColorCode(255, 255, 255));
    Mask_AfterMaskedDraw({0, 0, 5, 5});
    EXPECT_EQ(Snapshot(), before) << "the inner bracket composited";
    Mask_AfterMaskedDraw({0, 0, 20, 20});
    EXPECT_NE(Snapshot(), before);
    EXPECT_EQ(MaskScreenState.MaskDrawNesting, 0);

    const std::vector<uint8_t> drawn = Snapshot();
    Mask_BeforeMaskedDraw({30, 30, 30, 60});
    Graphics_Soft_DrawFillRect(30, 30, 40, 40, MakeColorCode(255, 0, 0));
    Mask_AfterMaskedDraw({30, 30, 30, 60});
    EXPECT_EQ(Snapshot(), drawn);
}

TEST_F(MaskScreenTest, TheMaskScreenOnlyGrowsAndKeepsItsRows) {
    MaskScreenState.MaskScreenCreated = 1;
    ASSERT_EQ(Mask_CreateScreen(1, 100, 50), 0);
    EXPECT_EQ(MaskScreenState.MaskPitch, 100);
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 100; ++x) MaskScreenState.MaskData[y * 100 + x] = static_cast<uint8_t>(x + y);
    ASSERT_EQ(Mask_CreateScreen(1, 101, 50), 0);
    EXPECT_EQ(MaskScreenState.MaskWidth, 101);
    EXPECT_EQ(MaskScreenState.MaskPitch, 104);
    for (int y = 0; y < 50; ++y) {
        for (int x = 0; x < 100; ++x) ASSERT_EQ(MaskScreenState.MaskData[y * 104 + x], static_cast<uint8_t>(x + y));
        ASSERT_EQ(MaskScreenState.MaskData[y * 104 + 100], 0);
    }
    ASSERT_EQ(Mask_CreateScreen(1, 80, 80), 0);
    EXPECT_EQ(MaskScreenState.MaskWidth, 101);
    EXPECT_EQ(MaskScreenState.MaskHeight, 80);
    EXPECT_EQ(MaskScreenState.MaskData[49 * 104 + 99], static_cast<uint8_t>(148));
    EXPECT_EQ(MaskScreenState.MaskData[79 * 104 + 99], 0);
    // A size that cannot be allocated fails and keeps the screen as it was.
    EXPECT_EQ(Mask_CreateScreen(1, 0x7FFFFFF0, 0x7FFFFFF0), -1);
    EXPECT_EQ(MaskScreenState.MaskWidth, 101);
    EXPECT_EQ(MaskScreenState.MaskHeight, 80);
    EXPECT_EQ(MaskScreenState.MaskData[49 * 104 + 99], static_cast<uint8_t>(148));
    EXPECT_EQ(Mask_DeleteScreen(), 0);
    EXPECT_EQ(MaskScreenState.MaskData, nullptr);
}

TEST_F(MaskScreenTest, ALargerGraphTargetGrowsTheMaskAndIsMaskedToo) {
    ASSERT_EQ(CreateMaskScreen(), 0);
    const int target = CreateDrawableGraph(240, 60, 0);
    ASSERT_GE(target, 0);
    ASSERT_EQ(SelectDrawScreen(target), 0);
    EXPECT_EQ(MaskScreenState.MaskWidth, 240);
    EXPECT_EQ(MaskScreenState.MaskHeight, 120);
    EXPECT_EQ(MaskScreenState.MaskActive, 1);
    EXPECT_EQ(GraphicsSystemState.MemImgDrawTarget, &MaskScreenState.MaskWorkImage);
    ASSERT_EQ(FillMaskScreenRect(200, 0, 240, 30, 1), 0);

    GraphHandleRecord* record = Graphics_Image_GetGraphRecord(target, 0);
    ASSERT_NE(record, nullptr);
    const MEMIMG& image = record->memImage;
    const int bytes = MemImg_BytesPerPixel(image.body);
    auto pixel = [&](int x, int y) {
        uint32_t value = 0;
        memcpy(&value, static_cast<const uint8_t*>(image.pixels) + static_cast<size_t>(y) * image.body->pitch + x * bytes, bytes);
        return value;
    };
    const uint32_t old = pixel(210, 10);
    ASSERT_EQ(DrawFilledRectangle(180, 0, 240, 60, MakeColorCode(255, 255, 255)), 0);
    EXPECT_EQ(pixel(210, 10), old) << "under the mask";
    EXPECT_NE(pixel(190, 10), old);
    EXPECT_NE(pixel(210, 40), old);
    EXPECT_EQ(pixel(190, 10), pixel(210, 40));

    ASSERT_EQ(SelectDrawScreen(DRAW_SCREEN_BACK), 0);
    EXPECT_EQ(MaskScreenState.MaskWidth, 240) << "the mask never shrinks";
    EXPECT_EQ(DeleteGraph(target), 0);
}
