// The mask screen on Direct3D 11: the library started with the Direct3D 11 device, a mask screen made
// and filled, and public draw calls read back through the draw target's lock. Every masked draw must
// leave the target exactly as the software road's rule says (the old pixel where the mask byte is set,
// the unmasked draw's pixel where it is 0, nothing outside the drawn rectangle), and a filled box must
// give the very picture the software road gives on the same mask. Also the switch between the mask
// screen and the real target (also when the draw screen is bound again), a grow that keeps the mask
// screen's picture, a device re-creation, the release of every mask object, and the reverse effect.
#include <gtest/gtest.h>

#include <functional>

#include "../graphics/Draw2DCases.h"
#include "../system/WindowTestSupport.h"
#include "D3D11TestSupport.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics/VtGraphicsMask.h"
#include "graphics_d3d11/VtGraphicsD3D11.h"
#include "graphics_d3d11/VtGraphicsD3D11Call.h"
#include "graphics_d3d11/VtGraphicsD3D11DrawTarget.h"
#include "graphics_d3d11/VtGraphicsD3D11Mask.h"
#include "graphics_d3d11/VtGraphicsD3D11State.h"
#include "graphics_d3d11/VtGraphicsD3D11System.h"
#include "system/VtSystem.h"

using namespace Vantrel;
using namespace Draw2DCases;

namespace {

std::vector<uint32_t> Screen() { return D3D11Test::ReadDrawTarget(Size); }

// Whether the mask keeps the target's pixel at (x, y): a set byte, or with the reverse effect a clear one.
bool MaskSet(int x, int y) {
    return (MaskScreenState.MaskData[(size_t)y * MaskScreenState.MaskPitch + x] != 0) != (MaskScreenState.MaskReverse != 0);
}

// A frame, an open hole in it and a striped column, so that every draw meets both kinds of mask byte.
void FillMaskPattern() {
    ASSERT_EQ(FillMaskScreenRect(10, 10, 40, 40, 1), 0);
    ASSERT_EQ(FillMaskScreenRect(20, 20, 30, 30, 0), 0);
    for (int y = 0; y < Size; y += 2) ASSERT_EQ(FillMaskScreenRect(50, y, 52, y + 1, 255), 0);
}

// Clears the real target (the clear is no bracketed draw, so the mask goes off for it).
void ClearTarget() {
    ASSERT_EQ(SetMaskScreenUse(0), 0);
    GraphicsScreenState.BackgroundColor[0] = (Background >> 16) & 0xFF;
    GraphicsScreenState.BackgroundColor[1] = (Background >> 8) & 0xFF;
    GraphicsScreenState.BackgroundColor[2] = Background & 0xFF;
    ClearDrawTarget(nullptr);
    ASSERT_EQ(SetMaskScreenUse(1), 0);
}

}  // namespace

class MaskDeviceTest : public WindowTest::LibraryTest {
protected:
    void Start(int device) {
        D3D11Test::StartLibraryOnRoad(device, Size, Size);
        if (HasFatalFailure()) return;
        ASSERT_EQ(CreateMaskScreen(), 0);
        Graphics_DrawSetting_SetDrawAreaRect(0, 0, Size, Size);
    }

    void TearDown() override {
        MaskScreenState.MaskReverse = 0;
        LibraryTest::TearDown();
        Graphics_D3D11_SetDeviceEnabled(D3D11DeviceEnabledByDefault);
    }

    // Draws once unmasked and once masked from the same picture; the masked picture must be the
    // unmasked one where the mask byte is 0 and the old one elsewhere, exactly.
    void ExpectMaskedExact(const char* name, const std::function<void()>& draw) {
        SCOPED_TRACE(name);
        ClearTarget();
        const std::vector<uint32_t> before = Screen();
        ASSERT_EQ(before.size(), (size_t)(Size * Size));
        ASSERT_EQ(SetMaskScreenUse(0), 0);
        draw();
        const std::vector<uint32_t> unmasked = Screen();
        ASSERT_NE(unmasked, before) << "the draw changed nothing";
        ClearTarget();
        draw();
        const std::vector<uint32_t> masked = Screen();
        int kept = 0, taken = 0, wrong = 0;
        for (int y = 0; y < Size; ++y)
            for (int x = 0; x < Size; ++x) {
                const size_t at = (size_t)y * Size + x;
                const uint32_t expected = MaskSet(x, y) ? before[at] : unmasked[at];
                if (masked[at] != expected) {
                    if (wrong++ < 5) ADD_FAILURE() << "pixel " << x << ", " << y << (MaskSet(x, y) ? " (masked)" : " (open)");
                } else if (before[at] != unmasked[at]) {
                    ++(MaskSet(x, y) ? kept : taken);
                }
            }
        EXPECT_EQ(wrong, 0);
        EXPECT_GT(kept, 0) << "no drawn pixel fell under the mask";
        EXPECT_GT(taken, 0) << "no drawn pixel fell outside the mask";
    }

    // The masked filled box of the road in use.
    std::vector<uint32_t> MaskedBox() {
        ClearTarget();
        DrawFilledRectangle(5, 5, 60, 60, MakeColorCode(250, 10, 10));
        return Screen();
    }
};

TEST_F(MaskDeviceTest, MaskedDrawsTakeTheDrawnPixelOnlyWhereTheMaskByteIsZero) {
    Start(1);
    ASSERT_EQ(GraphicsApi, GRAPHICS_API_D3D11);
    const int graph = MakeTestGraph();
    ASSERT_GE(graph, 0);
    FillMaskPattern();
    ExpectMaskedExact("filled box", [] { DrawFilledRectangle(5, 5, 60, 60, MakeColorCode(250, 10, 10)); });
    ExpectMaskedExact("box outline", [] { DrawRectangleOutline(8, 8, 55, 45, MakeColorCode(10, 250, 10), 2); });
    // Odd thicknesses reach past the rectangle (3: one pixel, 5: two) and the bracket takes those pixels too.
    ExpectMaskedExact("thick box outline", [] { DrawRectangleOutline(12, 6, 48, 44, MakeColorCode(10, 250, 250), 3); });
    ExpectMaskedExact("thicker box outline", [] { DrawRectangleOutline(9, 9, 41, 41, MakeColorCode(250, 10, 250), 5); });
    ExpectMaskedExact("disc", [] { DrawCircleShape(30, 30, 25, MakeColorCode(10, 10, 250), 1, 1); });
    ExpectMaskedExact("line", [] { DrawLineSegment(0, 15, 63, 50, MakeColorCode(200, 200, 0), 1); });
    ExpectMaskedExact("graph, alpha blended", [graph] {
        SetBlendModeAndParam(1, 160);
        DrawGraphAt(16, 18, graph, 1);
        SetBlendModeAndParam(0, 255);
    });
    ExpectMaskedExact("graph stretched", [graph] { DrawGraphStretched(0, 0, 64, 56, graph, 0); });
}

// Binding the draw screen again while the mask is in use (as a device restore does) keeps the mask
// screen as render target 0, so the following draws are still masked.
TEST_F(MaskDeviceTest, BindingTheDrawScreenWhileTheMaskIsInUseKeepsTheMaskScreenFirst) {
    Start(1);
    FillMaskPattern();
    auto rebind = [] {
        const DrawTargetSlot& slot = GraphicsScreenState.DrawTargets[0];
        ASSERT_EQ(Graphics_D3D11_DrawScreen_Set(slot.Handle, slot.Surface, slot.MipLevel, nullptr, nullptr, nullptr, nullptr), 0);
    };
    rebind();
    EXPECT_EQ(D3D11StateCache.RenderTargetTexture[0], D3D11MaskState.ScreenTexture);
    ExpectMaskedExact("filled box after a re-binding", [&] {
        rebind();
        DrawFilledRectangle(5, 5, 60, 60, MakeColorCode(250, 10, 10));
    });
    ASSERT_EQ(SetMaskScreenUse(0), 0);
    rebind();
    EXPECT_NE(D3D11StateCache.RenderTargetTexture[0], D3D11MaskState.ScreenTexture);
}

TEST_F(MaskDeviceTest, TheDeviceGivesTheSoftwareRoadsPictureOnTheSameMask) {
    Start(0);
    FillMaskPattern();
    const std::vector<uint32_t> software = MaskedBox();
    TerminateLibrary();
    Start(1);
    FillMaskPattern();
    const std::vector<uint32_t> device = MaskedBox();
    ASSERT_EQ(device.size(), software.size());
    int differing = 0;
    for (size_t i = 0; i < device.size(); ++i) differing += device[i] != software[i];
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(device[(size_t)15 * Size + 15], Background);       // under the mask frame
    EXPECT_EQ(device[(size_t)25 * Size + 25], 0xFA0A0Au);         // in the open hole
}

// The reverse effect lets drawing through only where the mask byte is set, on both roads alike.
TEST_F(MaskDeviceTest, TheReverseEffectTakesTheDrawnPixelOnlyWhereTheMaskByteIsSet) {
    std::vector<uint32_t> pictures[2];
    for (int device = 0; device < 2; ++device) {
        SCOPED_TRACE(device);
        if (device) TerminateLibrary();
        Start(device);
        FillMaskPattern();
        MaskScreenState.MaskReverse = 1;
        pictures[device] = MaskedBox();
        EXPECT_EQ(pictures[device][(size_t)15 * Size + 15], 0xFA0A0Au);     // under the mask frame
        EXPECT_EQ(pictures[device][(size_t)25 * Size + 25], Background);    // in the open hole
    }
    ASSERT_EQ(pictures[0].size(), pictures[1].size());
    int differing = 0;
    for (size_t i = 0; i < pictures[0].size(); ++i) differing += pictures[0][i] != pictures[1][i];
    EXPECT_EQ(differing, 0);
    const int graph = MakeTestGraph();
    ASSERT_GE(graph, 0);
    ExpectMaskedExact("reversed, line", [] { DrawLineSegment(0, 15, 63, 50, MakeColorCode(200, 200, 0), 1); });
    ExpectMaskedExact("reversed, graph alpha blended", [graph] {
        SetBlendModeAndParam(1, 160);
        DrawGraphAt(16, 18, graph, 1);
        SetBlendModeAndParam(0, 255);
    });
}

TEST_F(MaskDeviceTest, TheUseSwitchBindsTheMaskScreenOrTheRealTargetWithTheDrawAreaViewport) {
    Start(1);
    const D3D11MaskStateRecord& mask = D3D11MaskState;
    ASSERT_NE(mask.ScreenTexture, nullptr);
    ASSERT_NE(mask.ImageTexture, nullptr);
    EXPECT_EQ(D3D11StateCache.RenderTargetTexture[0], mask.ScreenTexture);
    Graphics_DrawSetting_SetDrawAreaRect(4, 6, 40, 30);
    ASSERT_EQ(SetMaskScreenUse(0), 0);
    EXPECT_NE(D3D11StateCache.RenderTargetTexture[0], mask.ScreenTexture);
    EXPECT_NE(D3D11StateCache.RenderTargetTexture[0], nullptr);
    EXPECT_EQ(D3D11StateCache.Viewport.TopLeftX, 4.0f);
    EXPECT_EQ(D3D11StateCache.Viewport.TopLeftY, 6.0f);
    EXPECT_EQ(D3D11StateCache.Viewport.Width, 36.0f);
    EXPECT_EQ(D3D11StateCache.Viewport.Height, 24.0f);
    ASSERT_EQ(SetMaskScreenUse(1), 0);
    EXPECT_EQ(D3D11StateCache.RenderTargetTexture[0], mask.ScreenTexture);
}

TEST_F(MaskDeviceTest, AGrowKeepsTheMaskedPictureAndRebindsTheNewScreen) {
    Start(1);
    FillMaskPattern();
    const std::vector<uint32_t> expected = MaskedBox();
    ID3D11Texture2D* old = D3D11MaskState.ScreenTexture;
    // A larger graph target grows the mask screen while the old one is bound.
    const int big = CreateDrawableGraph(Size * 2, Size + 8, 0);
    ASSERT_GE(big, 0);
    ASSERT_EQ(SelectDrawScreen(big), 0);
    EXPECT_EQ(MaskScreenState.MaskWidth, Size * 2);
    ASSERT_NE(D3D11MaskState.ScreenTexture, old);
    D3D11_TEXTURE2D_DESC desc = {};
    D3D11MaskState.ScreenTexture->GetDesc(&desc);
    EXPECT_EQ(desc.Width, (UINT)(Size * 2));
    EXPECT_EQ(desc.Height, (UINT)(Size + 8));
    EXPECT_EQ(D3D11StateCache.RenderTargetTexture[0], D3D11MaskState.ScreenTexture);
    // The old mask bytes still hold on the new screen.
    ASSERT_EQ(SelectDrawScreen(DRAW_SCREEN_BACK), 0);
    Graphics_DrawSetting_SetDrawAreaRect(0, 0, Size, Size);
    EXPECT_EQ(MaskedBox(), expected);
}

// A grow the device cannot follow (wider than any texture) fails and leaves the old mask screen in
// place: still the screen the targets draw into, with its mask image, masking as before.
TEST_F(MaskDeviceTest, AGrowTheDeviceCannotMakeKeepsTheOldScreenInPlace) {
    Start(1);
    FillMaskPattern();
    const std::vector<uint32_t> expected = MaskedBox();
    ID3D11Texture2D* old = D3D11MaskState.ScreenTexture;
    ASSERT_NE(old, nullptr);
    ASSERT_EQ(D3D11StateCache.RenderTargetTexture[0], old);
    EXPECT_EQ(Mask_CreateScreen(1, 20000, Size), -1);
    EXPECT_EQ(MaskScreenState.MaskWidth, Size);
    EXPECT_EQ(D3D11MaskState.ScreenTexture, old);
    EXPECT_EQ(D3D11MaskState.SavedTexture, nullptr);
    EXPECT_NE(D3D11MaskState.ImageTexture, nullptr);
    EXPECT_EQ(D3D11StateCache.RenderTargetTexture[0], D3D11MaskState.ScreenTexture);
    EXPECT_EQ(MaskedBox(), expected);
}

TEST_F(MaskDeviceTest, ADeviceRecreationBringsTheMaskBackAllDrawableAndTheEndLeavesNoObject) {
    Start(1);
    FillMaskPattern();
    ASSERT_EQ(Graphics_Dispatch_Device_RestoreOrChange(0, -1, -1, -1, -1), 0);
    ASSERT_NE(D3D11MaskState.ScreenTexture, nullptr);
    EXPECT_EQ(MaskScreenState.MaskActive, 1);
    EXPECT_EQ(D3D11StateCache.RenderTargetTexture[0], D3D11MaskState.ScreenTexture);
    Graphics_DrawSetting_SetDrawAreaRect(0, 0, Size, Size);
    const std::vector<uint32_t> box = MaskedBox();
    EXPECT_EQ(box[(size_t)15 * Size + 15], 0xFA0A0Au);   // the frame is gone: everything drawable
    TerminateLibrary();
    EXPECT_EQ(D3D11MaskState.ScreenTexture, nullptr);
    EXPECT_EQ(D3D11MaskState.ImageTexture, nullptr);
    EXPECT_EQ(D3D11Call_GetTotalObjectCount(), 0);
}
