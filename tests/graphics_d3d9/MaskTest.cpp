// The mask screen on Wine's device: draws redirected into the mask draw surface and composited back into
// the back buffer through the mask image texture, held to the software road's rule (the drawn colour
// where the mask byte is 0, the old picture elsewhere and outside the drawn rectangle) for each mask
// alpha-buffer format; the reverse flag, and a re-creation that keeps the picture and the binding.
#include <gtest/gtest.h>

#include <vector>

#include "D3D9TestSupport.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsMask.h"
#include "graphics_d3d9/VtGraphicsD3D9.h"
#include "graphics_d3d9/VtGraphicsD3D9Mask.h"
#include "graphics_d3d9/VtGraphicsD3D9Stage.h"

using namespace Vantrel;
using namespace D3D9Test;

namespace {

constexpr int Size = 64;
constexpr uint32_t Old = 0x204060, Drawn = 0xF0A010;
// Mask bytes laid over the screen in stripes: both sides of every bit a 16-bit alpha keeps.
constexpr uint8_t MaskValues[] = {0, 1, 0x0F, 0x10, 0x40, 0x7F, 0x80, 0xFF};

// The diffuse colour as it is, no alpha test, no blending, stated through the state cache (a composite
// before leaves its alpha test there).
void PlainStages() {
    D3D9StageSetup plain = {};
    plain.AlphaFunc = D3DCMP_ALWAYS;
    plain.TextureFactor = 0xFFFFFFFF;
    plain.SrcBlend = plain.DestBlend = plain.BlendOp = -1;
    plain.SrcBlendAlpha = plain.DestBlendAlpha = plain.BlendOpAlpha = -1;
    plain.StageCount = 2;
    plain.Stages[0] = {0, 0, -1, D3DTA_DIFFUSE, -1, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, -1, D3DTOP_SELECTARG1};
    plain.Stages[1] = {0, 0, -1, -1, -1, D3DTOP_DISABLE, -1, -1, D3DTOP_DISABLE};
    Graphics_D3D9_StateCache_ApplyStageSetup(&plain, 0, 0, 0);
}

class MaskTest : public BackEndTest {
protected:
    void SetUp() override {
        BackEndTest::SetUp();
        savedAlphaFormat = D3D9TextureFormatTable[50];
        GraphicsScreenState.DrawTargets[0].Handle = DRAW_SCREEN_BACK;
        DrawSettings.DrawArea = {0, 0, Size, Size};
        bytes.assign(Size * Size, 0);
        for (int y = 0; y < Size; ++y)
            for (int x = 0; x < Size; ++x) bytes[y * Size + x] = MaskValues[(x / 3 + y / 5) % 8];
        MaskScreenState.MaskData = bytes.data();
        MaskScreenState.MaskPitch = Size;
        MaskScreenState.MaskWidth = Size;
        MaskScreenState.MaskHeight = Size;
        MaskScreenState.MaskScreenCreated = 1;
        MaskScreenState.MaskActive = 1;
        MaskScreenState.MaskReverse = 0;
    }

    void TearDown() override {
        Graphics_D3D9_Mask_ReleaseSurfaces();
        MaskScreenState.MaskData = nullptr;
        MaskScreenState.MaskActive = 0;
        MaskScreenState.MaskScreenCreated = 0;
        MaskScreenState.MaskReverse = 0;
        D3D9TextureFormatTable[50] = savedAlphaFormat;
        BackEndTest::TearDown();
    }

    // The old picture in the back buffer, the mask switched on, one box drawn through the bracket.
    void MaskedDraw(const RECT& box) {
        PlainStages();
        ASSERT_TRUE(AddBox(0, 0, Size, Size, 0xFF000000 | Old));
        ASSERT_EQ(Graphics_D3D9_VertexBatch_Flush(0), 0);
        ASSERT_EQ(Graphics_D3D9_Mask_CreateSurfaces(Size, Size), 0);
        const RECT whole = {0, 0, Size, Size};
        ASSERT_EQ(Graphics_D3D9_Mask_UpdateImageTexture(&whole), 0);
        ASSERT_EQ(Graphics_D3D9_Mask_SetUseFlag(), 0);
        ASSERT_EQ(D3D9DeviceStateCache.RenderTarget[0], D3D9MaskState.DrawSurface);
        ASSERT_EQ(Graphics_D3D9_Mask_DrawBegin(&box), 0);
        PlainStages();
        ASSERT_TRUE(AddBox(box.left, box.top, box.right, box.bottom, 0xFF000000 | Drawn));
        ASSERT_EQ(Graphics_D3D9_Mask_DrawAfter(&box), 0);
        EXPECT_EQ(D3D9DeviceStateCache.RenderTarget[0], D3D9MaskState.DrawSurface);
        // Off again: the back buffer is the target once more.
        MaskScreenState.MaskActive = 0;
        ASSERT_EQ(Graphics_D3D9_Mask_SetUseFlag(), 0);
        EXPECT_EQ(D3D9DeviceStateCache.RenderTarget[0], D3D9DeviceState.BackBuffer);
    }

    // The software road: the drawn colour inside the box where the mask lets it through.
    uint32_t Expected(int x, int y, const RECT& box) const {
        const bool inside = x >= box.left && x < box.right && y >= box.top && y < box.bottom;
        const bool through = (bytes[y * Size + x] == 0) != (MaskScreenState.MaskReverse != 0);
        return inside && through ? Drawn : Old;
    }

    int Mismatches(const RECT& box) {
        const std::vector<uint32_t> pixels = ReadBackBuffer(Size, Size);
        if (pixels.size() != (size_t)(Size * Size)) return -1;
        int wrong = 0;
        for (int y = 0; y < Size; ++y)
            for (int x = 0; x < Size; ++x)
                if (pixels[y * Size + x] != Expected(x, y, box)) {
                    if (wrong < 4)
                        ADD_FAILURE() << "pixel (" << x << ", " << y << ") mask " << (int)bytes[y * Size + x] << ": "
                                      << std::hex << pixels[y * Size + x] << " instead of " << Expected(x, y, box);
                    ++wrong;
                }
        return wrong;
    }

    std::vector<uint8_t> bytes;
    D3DFORMAT savedAlphaFormat = D3DFMT_UNKNOWN;
};

TEST_F(MaskTest, CompositeEqualsSoftwareRoadForEachAlphaFormat) {
    const struct {
        D3DFORMAT AlphaFormat;
        int Reverse;
    } cases[] = {{D3DFMT_A8R8G8B8, 0}, {D3DFMT_A4R4G4B4, 0}, {D3DFMT_A1R5G5B5, 0}, {D3DFMT_A8R8G8B8, 1},
                 {D3DFMT_A4R4G4B4, 1}};
    const RECT box = {5, 7, 50, 41};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "format " << c.AlphaFormat << " reverse " << c.Reverse);
        D3D9TextureFormatTable[50] = c.AlphaFormat;
        MaskScreenState.MaskActive = 1;
        MaskScreenState.MaskReverse = c.Reverse;
        MaskedDraw(box);
        EXPECT_EQ(Mismatches(box), 0);
        Graphics_D3D9_Mask_ReleaseSurfaces();
    }
}

TEST_F(MaskTest, RecreationKeepsPictureAndBinding) {
    ASSERT_EQ(Graphics_D3D9_Mask_CreateSurfaces(Size, Size), 0);
    ASSERT_EQ(Graphics_D3D9_Mask_SetUseFlag(), 0);
    PlainStages();
    ASSERT_TRUE(AddBox(0, 0, Size, Size, 0xFF000000 | Drawn));
    ASSERT_EQ(Graphics_D3D9_VertexBatch_Flush(0), 0);
    IDirect3DSurface9* old = D3D9MaskState.DrawSurface;

    ASSERT_EQ(Graphics_D3D9_Mask_SaveSurfaces(), 0);
    ASSERT_EQ(Graphics_D3D9_Mask_CreateSurfaces(100, 70), 0);
    EXPECT_EQ(D3D9MaskState.Width, 128);
    EXPECT_EQ(D3D9MaskState.Height, 128);
    ASSERT_EQ(Graphics_D3D9_Mask_CopyAndReleaseSaved(Size, Size), 0);
    EXPECT_NE(D3D9MaskState.DrawSurface, old);
    EXPECT_EQ(D3D9DeviceStateCache.RenderTarget[0], D3D9MaskState.DrawSurface);
    EXPECT_EQ(D3D9MaskState.SavedDrawSurface, nullptr);

    // The kept picture, read through a system-memory copy of the new surface.
    IDirect3DSurface9* copy = nullptr;
    ASSERT_EQ(D3D9Call_Device_CreateOffscreenPlainSurface(128, 128, D3D9DeviceState.ScreenFormat, D3DPOOL_SYSTEMMEM, &copy,
                                                          nullptr),
              D3D_OK);
    if (D3D9DeviceStateCache.Scene == 1) {
        D3D9Call_Device_EndScene();
        D3D9DeviceStateCache.Scene = 0;
    }
    ASSERT_EQ(D3D9Call_Device_GetRenderTargetData(D3D9MaskState.DrawSurface, copy), D3D_OK);
    D3DLOCKED_RECT locked = {};
    ASSERT_EQ(D3D9Call_Surface_LockRect(copy, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    int kept = 0;
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x)
            kept += (((const uint32_t*)((const uint8_t*)locked.pBits + (size_t)y * locked.Pitch))[x] & 0xFFFFFF) == Drawn;
    D3D9Call_Surface_UnlockRect(copy);
    D3D9Call_Object_Release(copy);
    EXPECT_EQ(kept, Size * Size);
}

TEST_F(MaskTest, MissingAlphaFormatFailsWithItsLine) {
    D3D9TextureFormatTable[50] = D3DFMT_UNKNOWN;
    EXPECT_EQ(Graphics_D3D9_Mask_CreateSurfaces(Size, Size), -1);
    EXPECT_EQ(D3D9MaskState.DrawSurface, nullptr);
    EXPECT_TRUE(LogHasLines(ReadLog(), u8"マスク描画用アルファチャンネルバッファで使用できるテクスチャフォーマットがありませんでした"));
}

}  // namespace
