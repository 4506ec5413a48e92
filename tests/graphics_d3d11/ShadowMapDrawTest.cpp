// Shadow maps drawn on the Direct3D 11 device as the library runs them: a shadow map made through the
// core becomes the draw target (colour and depth at the far end), the shadow pass writes a model's depth
// from the light into it, the previous draw target and camera come back at the end, and a lit receiver
// drawn afterwards reads back darker where the model shadows it. A mode change and a lost device make
// the shadow map's objects and constants anew. Bad sizes and depths are refused with a log line.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include "../graphics/GraphHandleSupport.h"
#include "graphics/VtGraphicsCamera.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics/VtGraphicsLight.h"
#include "graphics/VtGraphicsShadowMap.h"
#include "graphics_d3d11/VtGraphicsD3D11.h"
#include "graphics_d3d11/VtGraphicsD3D11Call.h"
#include "graphics_d3d11/VtGraphicsD3D11ConstantBuffer.h"
#include "graphics_d3d11/VtGraphicsD3D11Light.h"
#include "graphics_d3d11/VtGraphicsD3D11Lit3D.h"
#include "graphics_d3d11/VtGraphicsD3D11NormalDraw.h"
#include "graphics_d3d11/VtGraphicsD3D11Shape.h"
#include "graphics_d3d11/VtGraphicsD3D11State.h"
#include "graphics_d3d11/VtGraphicsD3D11System.h"
#include "graphics_d3d11/VtGraphicsD3D11Window.h"
#include "system/VtSystem.h"

using namespace Vantrel;
using namespace WindowTest;

namespace {

constexpr int MapSize = 64;

int Brightness(uint32_t pixel) { return (int)(pixel & 0xFF) + (int)(pixel >> 8 & 0xFF) + (int)(pixel >> 16 & 0xFF); }
int Red(int pixel) { return (int)((uint32_t)pixel >> 16 & 0xFF); }

HRESULT PresentLost(IDXGISwapChain*, UINT, UINT) { return DXGI_ERROR_DEVICE_REMOVED; }

// The scene: a light shining along +z over the box (-10, -10, 0)-(10, 10, 10); a square model over the
// left half at z = 3 between it and a receiver filling the box at z = 6.
class ShadowMapDrawTest : public LibraryTest {
protected:
    int map = -1;
    int light = -1;

    void SetUp() override {
        LibraryTest::SetUp();
        Graphics_D3D11_SetDeviceEnabled(1);
        ASSERT_EQ(InitializeLibrary(), 0);
        ASSERT_EQ(GraphicsApi, GRAPHICS_API_D3D11);
        ASSERT_EQ(GraphicsSystemState.DeviceValid, 1);
        for (int i = 0; i < 4; ++i) GraphicsScreenState.BackgroundColor[i] = 0;
        // The library's own light, made to shine along +z and to be shadowed by slot 0.
        light = DrawSettings.DefaultLight;
        LightParams params;
        ASSERT_EQ(Graphics_Light_GetParams(light, &params), 0);
        params.Direction[0] = 0, params.Direction[1] = 0, params.Direction[2] = 1;
        ASSERT_EQ(Graphics_Light_SetParams(light, &params), 0);
        ASSERT_EQ(Graphics_ShadowMap_SetLightUse(light, 0, 1), 0);
    }

    void TearDown() override {
        D3D11WindowState.PresentHook = nullptr;
        LibraryTest::TearDown();
        Graphics_D3D11_SetDeviceEnabled(0);
        D3D11CallApi = {};
        EXPECT_EQ(D3D11Call_GetTotalObjectCount(), 0);
        // The ended library leaves its end request behind; the device tests after this one draw on.
        System_ClearEndRequest();
    }

    void MakeMap() {
        map = Graphics_ShadowMap_Make(MapSize, MapSize, 32, 1);
        ASSERT_GT(map, 0);
        ASSERT_EQ(Graphics_ShadowMap_SetLightDirection(map, {0, 0, 1}), 0);
        ASSERT_EQ(Graphics_ShadowMap_SetArea(map, {10, 10, 10}, {-10, -10, 0}), 0);
    }

    D3D11ShadowMapPlatform* Platform() { return Graphics_D3D11_ShadowMap_PlatformOf(map); }

    // A square of lit 3D vertices facing -z (towards the light) through the library's lit draw path.
    static void DrawLitSquare(float left, float bottom, float right, float top, float z) {
        Graphics_D3D11_PrepareDrawState(DRAWPREP_LIGHTING);
        const float corners[4][2] = {{left, top}, {right, top}, {left, bottom}, {right, bottom}};
        const int order[6] = {0, 1, 2, 3, 2, 1};
        uint8_t vertices[6 * 48] = {};
        for (int i = 0; i < 6; ++i) {
            const float v[6] = {corners[order[i]][0], corners[order[i]][1], z, 0, 0, -1};
            memcpy(vertices + i * 48, v, sizeof(v));
            const uint32_t white = 0xFFFFFFFF;
            memcpy(vertices + i * 48 + 24, &white, 4);
        }
        ASSERT_EQ(Graphics_D3D11_GenericDraw_DrawVertices(5, D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST, vertices, 6, 1), 0);
    }

    // The shadow pass: the model's depth from the light; the map holds 0.3 (z = 3 of 0..10) behind the
    // model and the far end (1.0) elsewhere.
    void DrawShadowPass() {
        ASSERT_EQ(Graphics_ShadowMap_BeginDraw(map), 0);
        EXPECT_EQ(GraphicsScreenState.DrawTargets[0].Handle, map);
        EXPECT_EQ(D3D11StateCache.RenderTargetView[0], Platform()->TargetView);
        EXPECT_EQ(D3D11StateCache.DepthView, Platform()->DepthView);
        EXPECT_EQ(Red(ReadDrawScreenPixel(MapSize / 4, MapSize / 2)), 255) << "cleared to the far end";
        DrawLitSquare(-10, -10, 0, 10, 3);
        EXPECT_EQ(Red(ReadDrawScreenPixel(MapSize / 4, MapSize / 2)), 76);
        EXPECT_EQ(Red(ReadDrawScreenPixel(MapSize * 3 / 4, MapSize / 2)), 255);
        ASSERT_EQ(Graphics_ShadowMap_EndDraw(), 0);
    }

    // The receiver seen straight along the light (the screen spans the box); the pixels left and right
    // of the centre line, at mid height.
    void DrawReceiver(uint32_t* left, uint32_t* right) {
        MatrixD view, projection;
        MakeIdentityMatrixD(&view);
        MakeIdentityMatrixD(&projection);
        projection.m[0][0] = projection.m[1][1] = projection.m[2][2] = 0.1;
        ASSERT_EQ(SetViewTransformMatrix(&view), 0);
        ASSERT_EQ(Graphics_Camera_SetUserProjectionMatrix(&projection), 0);
        ASSERT_EQ(ClearDrawTarget(nullptr), 0);
        DrawLitSquare(-10, -10, 10, 10, 6);
        const int width = GraphicsScreenState.ScreenWidth, height = GraphicsScreenState.ScreenHeight;
        *left = (uint32_t)ReadDrawScreenPixel(width / 4, height / 2);
        *right = (uint32_t)ReadDrawScreenPixel(width * 3 / 4, height / 2);
    }

    void ExpectShadowOnTheLeft(const char* when) {
        SCOPED_TRACE(when);
        DrawShadowPass();
        uint32_t left = 0, right = 0;
        DrawReceiver(&left, &right);
        EXPECT_GT(Brightness(right), Brightness(left) + 100) << std::hex << left << " " << right;
    }

    void ExpectSlotConstantsOfTheMap() {
        const float* matrices = (const float*)D3D11ConstantBufferState.Standard[D3D11CB_VS_TEXTURE]->Data;
        const ShadowMapRecord* record = Graphics_ShadowMap_GetHandleData(map, 0);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) EXPECT_EQ(matrices[r * 4 + c], record->LightViewProjection.m[c][r]) << r << c;
        const float* slots = (const float*)D3D11ConstantBufferState.Standard[D3D11CB_PS_3D]->Data;
        EXPECT_FLOAT_EQ(slots[0], record->ShaderParam1);
    }
};

}  // namespace

// Drawing into the shadow map and then with it: the draw target, camera and fog come back after the pass,
// the receiver is darker behind the model; a light the slot does not shadow lights both halves alike;
// deleting the map takes its view out of the pixel stage.
TEST_F(ShadowMapDrawTest, AModelDrawnIntoTheMapShadowsTheReceiverBehindIt) {
    MakeMap();
    const D3D11ShadowMapPlatform* p = Platform();
    ASSERT_NE(p, nullptr);
    EXPECT_NE(p->Texture, nullptr);
    EXPECT_NE(p->DepthView, nullptr);
    ASSERT_EQ(SelectDrawScreen(DRAW_SCREEN_BACK), 0);
    ASSERT_EQ(SetDrawFogEnable(1), 0);
    ID3D11RenderTargetView* screenView = D3D11StateCache.RenderTargetView[0];
    const int screenWidth = GraphicsScreenState.DrawTargetWidth;
    const MatrixD viewBefore = GraphicsTransform.View;

    DrawShadowPass();
    EXPECT_EQ(GraphicsScreenState.DrawTargets[0].Handle, DRAW_SCREEN_BACK);
    EXPECT_EQ(D3D11StateCache.RenderTargetView[0], screenView);
    EXPECT_EQ(GraphicsScreenState.DrawTargetWidth, screenWidth);
    EXPECT_EQ(DrawSettings.FogEnable, 1);
    EXPECT_EQ(memcmp(&GraphicsTransform.View, &viewBefore, sizeof(viewBefore)), 0);
    EXPECT_EQ(ShadowMapSlots.Drawing, 0);
    ASSERT_EQ(SetDrawFogEnable(0), 0);

    ASSERT_EQ(Graphics_ShadowMap_SetSlot(0, map), 0);
    ExpectSlotConstantsOfTheMap();
    uint32_t left = 0, right = 0;
    DrawReceiver(&left, &right);
    EXPECT_EQ(D3D11StateCache.PSResources[8], p->ShaderView);
    EXPECT_GT(Brightness(right), Brightness(left) + 100) << std::hex << left << " " << right;

    ASSERT_EQ(Graphics_ShadowMap_SetLightUse(light, 0, 0), 0);
    DrawReceiver(&left, &right);
    EXPECT_LE(std::abs(Brightness(right) - Brightness(left)), 6) << std::hex << left << " " << right;
    ASSERT_EQ(Graphics_ShadowMap_SetLightUse(light, 0, 1), 0);

    // Its view leaves the pixel stage with it: no freed object stays in the state cache.
    ID3D11ShaderResourceView* view = p->ShaderView;
    ASSERT_EQ(D3D11StateCache.PSResources[8], view);
    ASSERT_EQ(Graphics_ShadowMap_Delete(map), 0);
    EXPECT_EQ(ShadowMapSlots.Count, 0);
    for (ID3D11ShaderResourceView* bound : D3D11StateCache.PSResources) EXPECT_NE(bound, view);
    EXPECT_EQ(Graphics_ShadowMap_Delete(map), -1);
}

// A graph draw target comes back after the pass; one deleted during the pass gives way to the back
// screen. A pass cannot start inside another or on a dead handle.
TEST_F(ShadowMapDrawTest, TheDrawTargetComesBackAfterThePassOrTheBackScreenWhenItIsGone) {
    MakeMap();
    const int graph = CreateDrawableGraph(32, 32, 0);
    ASSERT_GE(graph, 0);
    ASSERT_EQ(SelectDrawScreen(graph), 0);
    ASSERT_EQ(Graphics_ShadowMap_BeginDraw(map), 0);
    EXPECT_EQ(Graphics_ShadowMap_BeginDraw(map), -1);
    EXPECT_EQ(GraphicsScreenState.DrawTargetWidth, MapSize);
    ASSERT_EQ(Graphics_ShadowMap_EndDraw(), 0);
    EXPECT_EQ(GraphicsScreenState.DrawTargets[0].Handle, graph);
    EXPECT_EQ(GraphicsScreenState.DrawTargetWidth, 32);

    ASSERT_EQ(Graphics_ShadowMap_BeginDraw(map), 0);
    ASSERT_EQ(Handle_Delete(graph, 0, 0), 0);
    ASSERT_EQ(Graphics_ShadowMap_EndDraw(), 0);
    EXPECT_EQ(GraphicsScreenState.DrawTargets[0].Handle, DRAW_SCREEN_BACK);
    EXPECT_NE(D3D11StateCache.RenderTargetView[0], Platform()->TargetView);

    EXPECT_EQ(Graphics_ShadowMap_BeginDraw(map + 1), -1);
    EXPECT_EQ(ShadowMapSlots.Drawing, 0);
    EXPECT_EQ(Graphics_ShadowMap_EndDraw(), -1);
}

// Sizes outside 1-16384 and depths other than 16 and 32 bits make nothing; a 16-bit map is made in the
// integer or the half-float format.
TEST_F(ShadowMapDrawTest, BadSizesAndDepthsAreRefusedWithALogLine) {
    const int objects = D3D11Call_GetTotalObjectCount();
    const struct {
        int Width, Height, Bits;
    } bad[] = {{0, 64, 32}, {64, -1, 32}, {16385, 64, 32}, {64, 64, 24}, {64, 64, 0}};
    for (const auto& c : bad) {
        EXPECT_EQ(Graphics_ShadowMap_Make(c.Width, c.Height, c.Bits, 0), -1) << c.Width << " " << c.Height << " " << c.Bits;
    }
    EXPECT_EQ(D3D11Call_GetTotalObjectCount(), objects);
    EXPECT_NE(ReadLog().find(Utf8(u8"シャドウマップのサイズが不正です")), std::string::npos);
    EXPECT_NE(ReadLog().find(Utf8(u8"シャドウマップのビット深度は 16 か 32 です")), std::string::npos);
    for (int floatFlag : {0, 1}) {
        const int half = Graphics_ShadowMap_Make(8, 8, 16, floatFlag);
        ASSERT_GT(half, 0);
        EXPECT_EQ(Graphics_D3D11_ShadowMap_PlatformOf(half)->ColorFormatIndex, floatFlag ? 43 : 42);
        EXPECT_EQ(Graphics_ShadowMap_Delete(half), 0);
    }
    EXPECT_EQ(D3D11Call_GetTotalObjectCount(), objects);
}

// A mode change and a lost device release the shadow map's objects with the device and make them anew,
// with the slot's constants sent again; drawing into it and with it works as before.
TEST_F(ShadowMapDrawTest, ModeChangeAndLostDeviceMakeTheShadowMapAnew) {
    MakeMap();
    ASSERT_EQ(Graphics_ShadowMap_SetSlot(0, map), 0);
    ExpectShadowOnTheLeft("before");

    ASSERT_EQ(Graphics_Dispatch_Device_RestoreOrChange(1, 800, 600, 32, 60), 0);
    ASSERT_EQ(GraphicsSystemState.DeviceValid, 1);
    ASSERT_NE(Platform(), nullptr);
    EXPECT_NE(Platform()->Texture, nullptr);
    EXPECT_NE(Platform()->ShaderView, nullptr);
    EXPECT_NE(Platform()->TargetView, nullptr);
    EXPECT_NE(Platform()->DepthTexture, nullptr);
    EXPECT_NE(Platform()->DepthView, nullptr);
    ExpectSlotConstantsOfTheMap();
    ExpectShadowOnTheLeft("after the mode change");

    const int restores = D3D11SystemState.Restores;
    D3D11WindowState.PresentHook = PresentLost;
    EXPECT_EQ(PresentScreen(), 0);
    D3D11WindowState.PresentHook = nullptr;
    ASSERT_EQ(D3D11SystemState.Restores, restores + 1);
    ASSERT_EQ(GraphicsSystemState.DeviceValid, 1);
    EXPECT_NE(Platform()->Texture, nullptr);
    EXPECT_NE(Platform()->DepthView, nullptr);
    ExpectSlotConstantsOfTheMap();
    ExpectShadowOnTheLeft("after the lost device");
}

// A shadow map lost with the device while it is the draw target is bound again when the device comes back.
TEST_F(ShadowMapDrawTest, AShadowMapBeingDrawnIsTheDrawTargetAgainAfterALostDevice) {
    MakeMap();
    const int screen = GraphicsScreenState.DrawTargets[0].Handle;
    ASSERT_EQ(Graphics_ShadowMap_BeginDraw(map), 0);
    D3D11WindowState.PresentHook = PresentLost;
    EXPECT_EQ(PresentScreen(), 0);
    D3D11WindowState.PresentHook = nullptr;
    ASSERT_EQ(GraphicsSystemState.DeviceValid, 1);
    EXPECT_EQ(D3D11StateCache.RenderTargetView[0], Platform()->TargetView);
    EXPECT_EQ(D3D11StateCache.DepthView, Platform()->DepthView);
    ASSERT_EQ(Graphics_ShadowMap_EndDraw(), 0);
    EXPECT_EQ(GraphicsScreenState.DrawTargets[0].Handle, screen);
}
