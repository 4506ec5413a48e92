// The Direct3D 9 back-end's life inside the library started on it (this program's prefix has no
// Direct3D 11): the circle rasterisation probe driven by scripted read-back answers, a lost device
// (TestCooperativeLevel answering lost through the call layer) rebuilt on the next activation with its
// graphs, draw targets and fonts, a restore that cannot build the device, a screen-mode change, and the
// end leaving no object alive.
#include <gtest/gtest.h>

#include <vector>

#include "D3D9TestSupport.h"
#include "FakeDirect3D9.h"
#include "font/VtFont.h"
#include "font/VtFontDraw.h"
#include "graphics/VtGraphicsCamera.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics_d3d9/VtGraphicsD3D9.h"
#include "graphics_d3d9/VtGraphicsD3D9Shape.h"
#include "graphics_d3d9/VtGraphicsD3D9Texture.h"
#include "image/VtBaseImage.h"

using namespace Vantrel;
using namespace D3D9Test;

namespace {

HRESULT WINAPI AnswerLost(IDirect3DDevice9*) { return D3DERR_DEVICENOTRESET; }

// The scripted read-back of the probe: the answers for (5, 16) and (26, 16) of each round.
std::vector<int> ProbeAnswers;
size_t ProbeAsked = 0;
int ScriptedPixel(int, int) { return ProbeAsked < ProbeAnswers.size() ? ProbeAnswers[ProbeAsked++] : -1; }

constexpr int Dark = (int)0xFF000000, Lit = (int)0xFFFFFFFF;

// The 0x00RRGGBB pixels of a graph, read back through the core's draw-target lock; empty when unreadable.
std::vector<uint32_t> GraphPixels(int graph) {
    std::vector<uint32_t> pixels;
    BaseImage image = {};
    int width = 0, height = 0;
    if (QueryGraphSize(graph, &width, &height) < 0) return pixels;
    const RECT whole = {0, 0, width, height};
    if (Graphics_Screen_LockDrawTarget(&whole, &image, graph, 0, 0, 1, 0) < 0) return pixels;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            uint32_t value = 0;
            memcpy(&value, (const uint8_t*)image.pixels + (size_t)y * image.pitch + (size_t)x * image.format.bytesPerPixel,
                   image.format.bytesPerPixel);
            int r = 0, g = 0, b = 0;
            BaseImage_ColorFormat_UnpackColor(&image.format, value, &r, &g, &b, nullptr);
            pixels.push_back((uint32_t)(r << 16 | g << 8 | b));
        }
    Graphics_Screen_UnlockDrawTarget();
    return pixels;
}

bool AllPixels(const std::vector<uint32_t>& pixels, uint32_t colour, size_t count) {
    if (pixels.size() != count) return false;
    for (uint32_t p : pixels)
        if (p != colour) return false;
    return true;
}

// The device texture of a graph's first part, null when it has none.
IDirect3DBaseTexture9* GraphTexture(int graph) {
    GraphHandleRecord* record = Graphics_Image_GetGraphRecord(graph, 0);
    if (record == nullptr || record->Orig == nullptr || record->Orig->parts == nullptr) return nullptr;
    const D3D9GraphTexture* texture = Graphics_D3D9_GraphTexture_Of(&record->Orig->parts[0]);
    return texture != nullptr ? texture->Texture : nullptr;
}

class D3D9Lifecycle : public WindowTest::LibraryTest {
protected:
    void SetUp() override {
        WindowTest::LibraryTest::SetUp();
        ASSERT_EQ(InitializeLibrary(), 0);
        ASSERT_EQ(GraphicsApi, GRAPHICS_API_D3D9);
        ASSERT_EQ(D3D9Call_Device_Exists(), 1);
    }

    void TearDown() override {
        D3D9CallApi.TestCooperativeLevel = nullptr;
        D3D9SystemState.ProbeReadPixel = nullptr;
        RemoveFakeObject();
        D3D9CallState.NoEx = 0;
        WindowTest::LibraryTest::TearDown();
        EXPECT_EQ(D3D9Call_GetTotalObjectCount(), 0);
        EXPECT_EQ(D3D9Call_Device_Exists(), 0);
        EXPECT_EQ(D3D9CallState.Module, nullptr);
    }

    // Loses the device and activates the window's check: the whole system is built again.
    void LoseAndActivate() {
        D3D9CallApi.TestCooperativeLevel = AnswerLost;
        const uint32_t asked = DeviceCalls(D3D9CALL_TestCooperativeLevel);
        Graphics_D3D9_Device_CheckLostOnActivate();
        EXPECT_EQ(DeviceCalls(D3D9CALL_TestCooperativeLevel), asked + 1);
        D3D9CallApi.TestCooperativeLevel = nullptr;
    }
};

}  // namespace

TEST_F(D3D9Lifecycle, TheProbeSettlesTheCircleStartOffsetFromWhatTheScreenShows) {
    const struct {
        const char* Device;
        std::vector<int> Answers;   // (5, 16), (26, 16) of round 1, then of round 2
        float StartX;
        int Rounds;
    } cases[] = {
        {"circles where they belong", {Dark, Lit}, -0.5f, 1},
        {"one pixel to the left, right at -0.1", {Lit, Dark, Dark, Lit}, -0.1f, 2},
        {"right end missing, right at -0.1", {Dark, Dark, Dark, Lit}, -0.1f, 2},
        {"still wrong at -0.1", {Lit, Dark, Lit, Dark}, 0.0f, 2},
    };
    D3D9SystemState.ProbeReadPixel = ScriptedPixel;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Device);
        ProbeAnswers = c.Answers;
        ProbeAsked = 0;
        EXPECT_EQ(Graphics_D3D9_Device_ProbeCircleRaster(), 0);
        EXPECT_EQ(D3D9ShapeState.CirclePixelOffset[0], c.StartX);
        EXPECT_EQ(D3D9ShapeState.CirclePixelOffset[1], -0.5f);
        EXPECT_EQ(D3D9SystemState.ProbeRounds, c.Rounds);
        EXPECT_EQ(ProbeAsked, c.Answers.size());
    }
}

TEST_F(D3D9Lifecycle, ActivatingAHealthyDeviceAsksOnceAndRestoresNothing) {
    const int restores = D3D9SystemState.Restores;
    IDirect3DDevice9* device = D3D9CallState.Device;
    const uint32_t asked = DeviceCalls(D3D9CALL_TestCooperativeLevel);
    D3D9Call_Device_BeginSceneOnce();
    EXPECT_EQ(Graphics_D3D9_Device_CheckLostOnActivate(), 0);
    EXPECT_EQ(DeviceCalls(D3D9CALL_TestCooperativeLevel), asked + 1);
    EXPECT_EQ(D3D9DeviceStateCache.Scene, 0);
    EXPECT_EQ(D3D9SystemState.Restores, restores);
    EXPECT_EQ(D3D9CallState.Device, device);
}

TEST_F(D3D9Lifecycle, ALostDeviceIsRebuiltWithItsGraphsDrawTargetsFontsAndView) {
    // A graph filled in memory (its fill is its source), a drawable graph, a font with its glyph cache.
    const int graph = MakeGraph(24, 16);
    ASSERT_GT(graph, 0);
    ASSERT_EQ(Graphics_Image_FillGraph_GParam(graph, 0x20, 0x40, 0x60, 255), 0);
    const int target = CreateDrawableGraph(32, 32, 0);
    ASSERT_GT(target, 0);
    const int font = CreateFontToHandle(nullptr, 16, 1, 0, -1, 0, 0, -1);
    ASSERT_GT(font, 0);
    DrawTextToHandle(0, 0, "Qelvar", 0xFFFFFF, font, 0, 0);
    FontHandleRecord* fontRecord = Font_GetRecord(font);
    ASSERT_NE(fontRecord, nullptr);
    const int cache = fontRecord->CacheGraph;
    ASSERT_GT(cache, 0);
    ASSERT_NE(GraphTexture(cache), nullptr);
    EXPECT_TRUE(AllPixels(GraphPixels(graph), 0x204060, 24 * 16));

    // The caller's view, projection and draw area.
    MatrixD view = {}, projection = {};
    for (int i = 0; i < 4; ++i) view.m[i][i] = projection.m[i][i] = 1.0;
    view.m[3][0] = 5.0, view.m[3][2] = 40.0;
    projection.m[0][0] = 0.5, projection.m[2][3] = 1.0, projection.m[3][2] = -2.0, projection.m[3][3] = 0.0;
    ASSERT_EQ(SetViewTransformMatrix(&view), 0);
    ASSERT_EQ(Graphics_Camera_SetUserProjectionMatrix(&projection), 0);
    ASSERT_EQ(Graphics_DrawSetting_SetDrawAreaRect(10, 20, 200, 150), 0);
    const MatrixD viewBefore = GraphicsTransform.View, projectionBefore = GraphicsTransform.Projection;
    const RECT areaBefore = DrawSettings.DrawArea;

    IDirect3DBaseTexture9* before = GraphTexture(graph);
    const int restores = D3D9SystemState.Restores;
    LoseAndActivate();
    EXPECT_EQ(D3D9SystemState.Restores, restores + 1);
    ASSERT_EQ(D3D9Call_Device_Exists(), 1);
    EXPECT_EQ(GraphicsSystemState.DeviceValid, 1);
    EXPECT_TRUE(LogHasLines(ReadLog(), u8"Direct3D 9 のデバイスが失われたので作り直します\n"));

    // Everything came back on the new device, with its pixels.
    EXPECT_NE(GraphTexture(graph), nullptr);
    EXPECT_NE(GraphTexture(graph), before);
    EXPECT_TRUE(AllPixels(GraphPixels(graph), 0x204060, 24 * 16));
    ASSERT_NE(GraphTexture(target), nullptr);
    EXPECT_EQ(Graphics_Image_FillGraph_GParam(target, 0x80, 0x10, 0x30, 255), 0);
    EXPECT_TRUE(AllPixels(GraphPixels(target), 0x801030, 32 * 32));
    fontRecord = Font_GetRecord(font);
    ASSERT_NE(fontRecord, nullptr);
    ASSERT_GT(fontRecord->CacheGraph, 0);
    EXPECT_NE(GraphTexture(fontRecord->CacheGraph), nullptr);

    EXPECT_EQ(memcmp(&GraphicsTransform.View, &viewBefore, sizeof(MatrixD)), 0);
    EXPECT_EQ(memcmp(&GraphicsTransform.Projection, &projectionBefore, sizeof(MatrixD)), 0);
    EXPECT_EQ(GraphicsTransform.ProjectionType, PROJECTION_USER);
    EXPECT_EQ(DrawSettings.DrawArea.left, areaBefore.left);
    EXPECT_EQ(DrawSettings.DrawArea.top, areaBefore.top);
    EXPECT_EQ(DrawSettings.DrawArea.right, areaBefore.right);
    EXPECT_EQ(DrawSettings.DrawArea.bottom, areaBefore.bottom);

    DeleteFontToHandle(font);
    DeleteGraph(target);
    DeleteGraph(graph);
}

TEST_F(D3D9Lifecycle, ARestoreThatCannotBuildTheDeviceLeavesNoneAndTheNextActivationTriesAgain) {
    const int graph = MakeGraph(8, 8);
    ASSERT_EQ(Graphics_Image_FillGraph_GParam(graph, 0x11, 0x22, 0x33, 255), 0);
    PutFakeObject();
    FakeSettings.RefuseDevices = 1000;
    EXPECT_EQ(Graphics_D3D9_Device_RestoreOrChange(0, -1, -1, -1, -1), -1);
    EXPECT_EQ(D3D9Call_Device_Exists(), 0);
    EXPECT_EQ(GraphicsSystemState.DeviceValid, 0);
    EXPECT_EQ(D3D9Call_GetTotalObjectCount(), 0);
    EXPECT_EQ(GraphTexture(graph), nullptr);
    // Drawing finds no device and touches nothing released.
    EXPECT_EQ(Graphics_Image_FillGraph_GParam(graph, 0, 0, 0, 255), -1);
    EXPECT_EQ(Graphics_D3D9_DrawScreen_GetPixel(0, 0), -1);
    EXPECT_EQ(Graphics_D3D9_Device_PostInitialize(), -1);

    FakeSettings.RefuseDevices = 0;
    EXPECT_EQ(Graphics_D3D9_Device_CheckLostOnActivate(), 0);
    ASSERT_EQ(D3D9Call_Device_Exists(), 1);
    EXPECT_EQ(GraphicsSystemState.DeviceValid, 1);
    EXPECT_TRUE(AllPixels(GraphPixels(graph), 0x112233, 8 * 8));
    DeleteGraph(graph);
}

TEST_F(D3D9Lifecycle, AModeChangeRebuildsAtTheNewSize) {
    ASSERT_EQ(Graphics_DrawSetting_SetDrawAreaRect(10, 20, 200, 150), 0);
    const int graph = MakeGraph(8, 8);
    ASSERT_EQ(Graphics_Image_FillGraph_GParam(graph, 0x44, 0x55, 0x66, 255), 0);
    ASSERT_EQ(Graphics_D3D9_Device_RestoreOrChange(1, 320, 240, 32, 60), 0);
    ASSERT_EQ(D3D9Call_Device_Exists(), 1);
    EXPECT_EQ(D3D9DeviceState.PresentParams.BackBufferWidth, 320u);
    EXPECT_EQ(D3D9DeviceState.PresentParams.BackBufferHeight, 240u);
    EXPECT_EQ(GraphicsScreenState.MainScreenWidth, 320);
    EXPECT_EQ(GraphicsScreenState.MainScreenHeight, 240);
    EXPECT_EQ(DrawSettings.DrawArea.left, 0);
    EXPECT_EQ(DrawSettings.DrawArea.top, 0);
    EXPECT_EQ(DrawSettings.DrawArea.right, 320);
    EXPECT_EQ(DrawSettings.DrawArea.bottom, 240);
    EXPECT_TRUE(AllPixels(GraphPixels(graph), 0x445566, 8 * 8));
    DeleteGraph(graph);
}
