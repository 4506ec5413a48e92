// Draw targets on Wine's device: locking the screen (directly, or through a render target and a pooled
// system-memory surface) walked by the lock's pitch, reading pixels, clearing with the background
// colour, and a drawable graph (its texture in the part's platform area) bound, filled, copied
// into and read back.
#include <gtest/gtest.h>

#include "D3D9TestSupport.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics_d3d9/VtGraphicsD3D9.h"
#include "graphics_d3d9/VtGraphicsD3D9DrawTarget.h"
#include "graphics_d3d9/VtGraphicsD3D9Present.h"
#include "graphics_d3d9/VtGraphicsD3D9SysMemPool.h"
#include "graphics_d3d9/VtGraphicsD3D9Texture.h"
#include "image/VtBaseImage.h"

using namespace Vantrel;
using namespace D3D9Test;

namespace {

constexpr uint32_t Red = 0xFF0000, Green = 0x00FF00, Blue = 0x0000FF, White = 0xFFFFFF;

void DrawQuadrants() {
    ASSERT_TRUE(AddBox(0, 0, 32, 32, 0xFF000000 | Red));
    ASSERT_TRUE(AddBox(32, 0, 64, 32, 0xFF000000 | Green));
    ASSERT_TRUE(AddBox(0, 32, 32, 64, 0xFF000000 | Blue));
    ASSERT_TRUE(AddBox(32, 32, 64, 64, 0xFF000000 | White));
}

uint32_t QuadrantColour(int x, int y) { return y < 32 ? (x < 32 ? Red : Green) : (x < 32 ? Blue : White); }

// The 0x00RRGGBB pixels of a locked image, walked row by row with its pitch.
std::vector<uint32_t> Pixels(const BaseImage& image) {
    std::vector<uint32_t> pixels;
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* row = (const uint8_t*)image.pixels + (size_t)y * (size_t)image.pitch;
        for (int x = 0; x < image.width; ++x) {
            uint32_t value = 0;
            memcpy(&value, row + (size_t)x * image.format.bytesPerPixel, image.format.bytesPerPixel);
            int r = 0, g = 0, b = 0;
            BaseImage_ColorFormat_UnpackColor(&image.format, value, &r, &g, &b, nullptr);
            pixels.push_back((uint32_t)(r << 16 | g << 8 | b));
        }
    }
    return pixels;
}

// A drawable 48 x 40 graph of one texture part: its render-target texture is made here and kept in the
// part's platform area, where the graph-texture module keeps it.
struct FakeGraph {
    GraphOrigRecord Orig = {};
    GraphTexturePart Part = {};
    GraphHandleRecord Graph = {};
    D3D9GraphTexture Objects = {};
    IDirect3DTexture9* Texture = nullptr;
    IDirect3DSurface9* Level = nullptr;
};
FakeGraph* TheGraph = nullptr;

class D3D9DrawTarget : public BackEndTest {
protected:
    void SetUp() override {
        BackEndTest::SetUp();
        GraphicsScreenState.DrawTargets[0] = {DRAW_SCREEN_BACK, 0, 0};
        GraphicsScreenState.DrawTargetWidth = 64;
        GraphicsScreenState.DrawTargetHeight = 64;
        DrawSettings.DrawArea = {0, 0, 64, 64};
    }

    void TearDown() override {
        if (TheGraph != nullptr) {
            Graphics_D3D9_StateCache_SetRenderTarget(D3D9DeviceState.BackBuffer, 0);
            D3D9Call_Object_Release(TheGraph->Level);
            D3D9Call_Object_Release(TheGraph->Texture);
            delete TheGraph;
            TheGraph = nullptr;
        }
        for (int32_t& c : GraphicsScreenState.BackgroundColor) c = 0;
        BackEndTest::TearDown();
    }

    FakeGraph& MakeGraph() {
        TheGraph = new FakeGraph();
        FakeGraph& g = *TheGraph;
        EXPECT_EQ(D3D9Call_Device_CreateTexture(48, 40, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                                &g.Texture, nullptr),
                  D3D_OK);
        EXPECT_EQ(D3D9Call_Texture_GetSurfaceLevel(g.Texture, 0, &g.Level), D3D_OK);
        g.Orig.format.hardware = 1;
        g.Orig.format.drawable = 1;
        g.Orig.format.explicitFormat = 2;  // A8R8G8B8
        g.Orig.width = 48;
        g.Orig.height = 40;
        g.Orig.partCount = 1;
        g.Orig.parts = &g.Part;
        g.Objects.Texture = g.Texture;
        g.Objects.Surfaces[0] = g.Level;
        g.Part.platformArea = reinterpret_cast<void**>(&g.Objects);
        g.Part.usedWidth = g.Part.textureWidth = 48;
        g.Part.usedHeight = g.Part.textureHeight = 40;
        g.Graph.Orig = &g.Orig;
        g.Graph.Width = 48;
        g.Graph.Height = 40;
        g.Graph.drawPartCount = 1;
        g.Graph.drawParts[0].width = 48;
        g.Graph.drawParts[0].height = 40;
        g.Graph.drawParts[0].part = &g.Part;
        return g;
    }
};

}  // namespace

TEST_F(D3D9DrawTarget, LockingTheScreenReadsTheRectangleRowByRowWithThePitchOfTheLock) {
    // Without a sub back buffer the lockable back buffer is locked in place; with one, the rectangle goes
    // through a render target into a pooled surface, which is free again after the unlock.
    for (const bool sub : {false, true}) {
        SCOPED_TRACE(sub ? "sub back buffer" : "back buffer");
        if (sub) {
            ASSERT_EQ(Graphics_D3D9_SubBackBuffer_Create(), 0);
        }
        ASSERT_EQ(D3D9Call_Device_Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0), D3D_OK);
        DrawQuadrants();
        const int surfaces = D3D9CallState.ObjectCount[D3D9OBJ_SURFACE];
        const RECT rect = {8, 4, 57, 41};
        BaseImage image = {};
        ASSERT_EQ(Graphics_D3D9_DrawScreen_Lock(&rect, &image, -1, nullptr, 0, 0, 1, 0), 0);
        EXPECT_EQ(image.width, 49);
        EXPECT_EQ(image.height, 37);
        EXPECT_GE(image.pitch, 49 * 4);
        EXPECT_EQ(D3D9DrawTargetState.LockedDirect != nullptr, !sub);
        EXPECT_EQ(D3D9DrawTargetState.LockedPooled != nullptr, sub);
        const std::vector<uint32_t> pixels = Pixels(image);
        int wrong = 0;
        for (int y = 0; y < 37; ++y)
            for (int x = 0; x < 49; ++x)
                if (pixels[y * 49 + x] != QuadrantColour(x + 8, y + 4)) ++wrong;
        EXPECT_EQ(wrong, 0);
        const int index = D3D9DrawTargetState.LockedPoolIndex;
        EXPECT_EQ(Graphics_D3D9_DrawScreen_Unlock(), 0);
        EXPECT_EQ(D3D9DrawTargetState.LockedPooled, nullptr);
        EXPECT_EQ(D3D9DrawTargetState.LockedDirect, nullptr);
        if (sub) {
            ASSERT_GE(index, 0);
            EXPECT_EQ(D3D9SysMemSurfacePool.Entries[index].UseFlag, 0);
            // The temporary render target is gone, the pooled surface kept for the next read.
            EXPECT_EQ(D3D9CallState.ObjectCount[D3D9OBJ_SURFACE], surfaces + 1);
        }
    }
    // A rectangle outside the screen locks nothing.
    const RECT outside = {60, 60, 70, 70};
    BaseImage image = {};
    EXPECT_EQ(Graphics_D3D9_DrawScreen_Lock(&outside, &image, -1, nullptr, 0, 0, 1, 0), -1);
}

TEST_F(D3D9DrawTarget, PixelsReadBackAndClearingFillsTheRectangleWithTheBackgroundColour) {
    ASSERT_EQ(Graphics_D3D9_SubBackBuffer_Create(), 0);
    DrawQuadrants();
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{{0, 0}, {31, 31}, {32, 0}, {63, 31}, {0, 63}, {63, 63}})
        EXPECT_EQ((uint32_t)Graphics_D3D9_DrawScreen_GetPixel(x, y), 0xFF000000u | QuadrantColour(x, y)) << x << "," << y;
    EXPECT_EQ(Graphics_D3D9_DrawScreen_GetPixel(64, 0), -1);
    EXPECT_EQ(GraphicsSystemState.DrawTargetLocked, 0);

    GraphicsScreenState.BackgroundColor[0] = 0x12;
    GraphicsScreenState.BackgroundColor[1] = 0x34;
    GraphicsScreenState.BackgroundColor[2] = 0x56;
    const RECT rect = {16, 16, 48, 40};
    EXPECT_EQ(Graphics_D3D9_DrawScreen_Clear(&rect), 0);
    EXPECT_EQ((uint32_t)Graphics_D3D9_DrawScreen_GetPixel(16, 16), 0xFF123456u);
    EXPECT_EQ((uint32_t)Graphics_D3D9_DrawScreen_GetPixel(47, 39), 0xFF123456u);
    EXPECT_EQ((uint32_t)Graphics_D3D9_DrawScreen_GetPixel(15, 16), 0xFF000000u | Red);
    EXPECT_EQ((uint32_t)Graphics_D3D9_DrawScreen_GetPixel(48, 39), 0xFF000000u | White);
    EXPECT_EQ((uint32_t)Graphics_D3D9_DrawScreen_GetPixel(47, 40), 0xFF000000u | White);
    // The viewport is the draw area again.
    EXPECT_EQ(D3D9DeviceStateCache.Viewport.Width, 64u);
    EXPECT_EQ(Graphics_D3D9_DrawScreen_Clear(nullptr), 0);
    EXPECT_EQ((uint32_t)Graphics_D3D9_DrawScreen_GetPixel(0, 63), 0xFF123456u);
}

TEST_F(D3D9DrawTarget, ADrawableGraphIsBoundFilledCopiedIntoAndReadBack) {
    FakeGraph& g = MakeGraph();
    ASSERT_EQ(Graphics_D3D9_SubBackBuffer_Create(), 0);
    DrawQuadrants();
    ASSERT_EQ(Graphics_D3D9_Graph_Fill(&g.Graph, 0x10, 0x20, 0x30, 0xFF), 0);

    // The screen's rectangle (24, 24)-(40, 40) copied to (4, 6) of the graph.
    ASSERT_EQ(Graphics_D3D9_DrawScreen_CopyToGraph(&g.Graph, nullptr, -1, 0, 0, 0, 0, 24, 24, 40, 40, 4, 6), 0);
    BaseImage image = {};
    ASSERT_EQ(Graphics_D3D9_DrawScreen_Lock(nullptr, &image, 0, &g.Graph, 0, 0, 1, 0), 0);
    ASSERT_EQ(image.width, 48);
    ASSERT_EQ(image.height, 40);
    std::vector<uint32_t> pixels = Pixels(image);
    Graphics_D3D9_DrawScreen_Unlock();
    EXPECT_EQ(pixels[0], 0x102030u);
    EXPECT_EQ(pixels[39 * 48 + 47], 0x102030u);
    EXPECT_EQ(pixels[6 * 48 + 4], Red);               // screen (24, 24)
    EXPECT_EQ(pixels[6 * 48 + 19], Green);            // screen (39, 24)
    EXPECT_EQ(pixels[21 * 48 + 4], Blue);             // screen (24, 39)
    EXPECT_EQ(pixels[21 * 48 + 19], White);
    EXPECT_EQ(pixels[22 * 48 + 20], 0x102030u);

    // Bound as the draw screen, drawing lands in the graph; back on the screen, the screen is drawn again.
    ASSERT_EQ(Graphics_D3D9_DrawScreen_Set(0, 0, 0, &g.Graph, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(D3D9DeviceStateCache.RenderTarget[0], g.Level);
    ASSERT_TRUE(AddBox(0, 0, 8, 8, 0xFF00FF00));
    ASSERT_EQ(Graphics_D3D9_DrawScreen_Set(DRAW_SCREEN_BACK, 0, 0, nullptr, &g.Graph, nullptr, nullptr), 0);
    EXPECT_EQ(D3D9DeviceStateCache.RenderTarget[0], D3D9PresentState.SubBackBuffer);
    const RECT corner = {0, 0, 9, 1};
    ASSERT_EQ(Graphics_D3D9_DrawScreen_Lock(&corner, &image, 0, &g.Graph, 0, 0, 1, 0), 0);
    pixels = Pixels(image);
    Graphics_D3D9_DrawScreen_Unlock();
    EXPECT_EQ(pixels[0], Green);
    EXPECT_EQ(pixels[8], 0x102030u);

    // A graph that is not a render target is left to the software fill and cannot be bound.
    g.Orig.format.drawable = 0;
    EXPECT_EQ(Graphics_D3D9_Graph_Fill(&g.Graph, 0, 0, 0, 0), 2);
    EXPECT_EQ(Graphics_D3D9_DrawScreen_Set(0, 0, 0, &g.Graph, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(D3D9DeviceStateCache.RenderTarget[0], D3D9PresentState.SubBackBuffer);
}
