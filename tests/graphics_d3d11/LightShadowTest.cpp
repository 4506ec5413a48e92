// Lights and shadow maps on the Direct3D 11 device: lights made through the core's light functions reach
// constant buffer 0 as the state cache lays them out (each type, packed directional, spot, point, in view
// space) when a lit draw is prepared; one directional light makes the side of a quad that faces it
// brighter; a shadow map is made, drawn into by the shadow pass and used, so that the shadowed half of a
// lit quad reads back darker, and its textures go with its handle.
#include <gtest/gtest.h>

#include <vector>

#include "BuiltInShaderSupport.h"
#include "foundation/VtHandle.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsLight.h"
#include "graphics/VtGraphicsShadowMap.h"
#include "graphics_d3d11/VtGraphicsD3D11.h"
#include "graphics_d3d11/VtGraphicsD3D11Light.h"
#include "graphics_d3d11/VtGraphicsD3D11Lit3D.h"
#include "graphics_d3d11/VtGraphicsD3D11NormalDraw.h"

using namespace Vantrel;
using namespace D3D11Test;

namespace {

int Brightness(uint32_t pixel) { return (int)(pixel & 0xFF) + (int)(pixel >> 8 & 0xFF) + (int)(pixel >> 16 & 0xFF); }

class LightShadowTest : public BuiltInShaderTest {
protected:
    int savedApi = 0;

    void SetUp() override {
        BuiltInShaderTest::SetUp();
        savedApi = GraphicsApi;
        GraphicsApi = GRAPHICS_API_D3D11;
        DrawSettings.LightingOff = 0;
        DrawSettings.MaterialChanged = 0;   // the material is the one set below, whatever ran before
        const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        ASSERT_EQ(Graphics_D3D11_StateCache_SetViewMatrix(identity), 0);
        ASSERT_EQ(Graphics_D3D11_StateCache_SetWorldMatrix(identity), 0);
        ASSERT_EQ(Graphics_D3D11_StateCache_SetProjectionMatrix(identity), 0);
        const float diffuse[4] = {0.8f, 0.8f, 0.8f, 1}, ambient[4] = {0.2f, 0.2f, 0.2f, 1}, zero[4] = {};
        ASSERT_EQ(Graphics_D3D11_StateCache_SetMaterial(diffuse, ambient, zero, zero, 20.0f), 0);
        // A library run before this test may leave the core's material marked changed; the draw
        // preparation would then put the core's material over the one set here.
        DrawSettings.MaterialChanged = 0;
    }

    void TearDown() override {
        DeleteLights();
        GraphicsApi = savedApi;
        BuiltInShaderTest::TearDown();
    }

    static void DeleteLights() {
        for (int i = 0; i < Light_MaxCount; ++i)
            if (LightState.Table[i] != nullptr) Graphics_Light_Delete(LightState.Table[i]->Handle);
        Graphics_Light_RefreshDeviceLights();
    }

    static int NewLight(int type, float x, float y, float z) {
        const int light = Graphics_Light_New();
        LightParams params;
        Graphics_Light_GetParams(light, &params);
        params.Type = type;
        params.Position[0] = x, params.Position[1] = y, params.Position[2] = z;
        params.Direction[0] = x, params.Direction[1] = y, params.Direction[2] = z;
        params.Ambient[0] = params.Ambient[1] = params.Ambient[2] = 0.1f;
        Graphics_Light_SetParams(light, &params);
        return light;
    }

    // A quad over the whole render target at depth z in clip space through the lit-3D set-up; the
    // left vertices carry normal nl, the right ones nr.
    void DrawQuad(float z, float left, float right, const float* nl, const float* nr) {
        ASSERT_EQ(Graphics_D3D11_Shader_Normal3DDraw_Setup(), 0);
        const float corners[4][2] = {{left, 1}, {right, 1}, {left, -1}, {right, -1}};
        const int order[6] = {0, 1, 2, 3, 2, 1};
        uint8_t vertices[6 * 48] = {};
        for (int i = 0; i < 6; ++i) {
            const float* n = order[i] % 2 == 0 ? nl : nr;
            const float v[6] = {corners[order[i]][0], corners[order[i]][1], z, n[0], n[1], n[2]};
            memcpy(vertices + i * 48, v, sizeof(v));
            memcpy(vertices + i * 48 + 24, &DiffuseWord, 4);
        }
        D3D11_BUFFER_DESC desc = {sizeof(vertices), D3D11_USAGE_DEFAULT, D3D11_BIND_VERTEX_BUFFER, 0, 0, 0};
        const D3D11_SUBRESOURCE_DATA data = {vertices, 0, 0};
        ID3D11Buffer* buffer = nullptr;
        ASSERT_EQ(D3D11Call_Device_CreateBuffer(&desc, &data, &buffer), S_OK);
        Graphics_D3D11_StateCache_SetInputLayout(D3D11StandardVertex.InputLayout[5]);
        Graphics_D3D11_StateCache_SetVertexBuffer(buffer, 48);
        Graphics_D3D11_StateCache_SetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
        Graphics_D3D11_StateCache_ApplyPending();
        D3D11Call_DeviceContext_Draw(6, 0);
        Graphics_D3D11_StateCache_SetVertexBuffer(nullptr, 0);
        D3D11Call_Buffer_Release(buffer);
    }

    void ClearTarget() {
        Graphics_D3D11_StateCache_SetRenderTarget(target.Texture, target.View, 0);
        Graphics_D3D11_StateCache_SetViewportRect(0, 0, 4, 4);
        const FLOAT clear[4] = {0, 0, 0, 0};
        D3D11Call_DeviceContext_ClearRenderTargetView(target.View, clear);
    }
};

const float Towards[3] = {0, 0, -1};   // facing the viewer, into a light shining along +z

}  // namespace

// Three lights made point, spot, directional go to device slots 0 (directional), 1 (spot) and 2 (point)
// when a lit draw is prepared; each slot of buffer 0 holds its type, view-space position and direction
// and squared range. Deleting the directional light moves the others down and switches slot 2 off.
TEST_F(LightShadowTest, LightsFromTheCoreReachTheConstantBufferByTypeInViewSpace) {
    DeleteLights();
    const float view[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 0, 0, 1};   // moves by (5, 0, 0)
    ASSERT_EQ(Graphics_D3D11_StateCache_SetViewMatrix(view), 0);
    const int point = NewLight(LIGHT_TYPE_POINT, 1, 2, 3);
    const int spot = NewLight(LIGHT_TYPE_SPOT, 0, 1, 0);
    const int directional = NewLight(LIGHT_TYPE_DIRECTIONAL, 0, 0, 1);
    ASSERT_GE(point, 0);
    ASSERT_GE(spot, 0);
    ASSERT_GE(directional, 0);
    ASSERT_EQ(DrawSettings.LightsChanged, 1);
    Graphics_D3D11_PrepareDrawState(DRAWPREP_LIGHTING);
    EXPECT_EQ(DrawSettings.LightsChanged, 0);

    const D3D11StateCacheRecord& cache = D3D11StateCache;
    EXPECT_EQ(cache.LightingEnable, 1);
    const float* cb = (const float*)D3D11ConstantBufferState.Standard[D3D11CB_LIGHTING]->Data;
    struct Expect {
        int Type;
        float Position[3], Direction[3];
    } const expected[3] = {{3, {5, 0, 1}, {0, 0, 1}}, {2, {5, 1, 0}, {0, 1, 0}}, {1, {6, 2, 3}, {1, 2, 3}}};
    for (int slot = 0; slot < 3; ++slot) {
        const float* l = cb + 112 / 4 * slot;
        const Expect& e = expected[slot];
        EXPECT_EQ(*(const int32_t*)l, e.Type) << slot;
        EXPECT_EQ(cache.LightEnable[slot], 1) << slot;
        for (int c = 0; c < 3; ++c) {
            EXPECT_FLOAT_EQ(l[4 + c], e.Position[c]) << slot << " " << c;
            EXPECT_FLOAT_EQ(l[8 + c], e.Direction[c]) << slot << " " << c;
        }
        EXPECT_FLOAT_EQ(l[7], 2000.0f * 2000.0f) << slot;
        EXPECT_FLOAT_EQ(l[12], 1.0f) << slot;                     // diffuse red
        EXPECT_FLOAT_EQ(l[20], 0.1f * 0.2f) << slot;              // light ambient x material ambient
    }
    EXPECT_EQ(cache.LightMaxIndex, 2);

    ASSERT_EQ(Graphics_Light_Delete(directional), 0);
    Graphics_D3D11_PrepareDrawState(DRAWPREP_LIGHTING);
    EXPECT_EQ(*(const int32_t*)cb, 2);
    EXPECT_EQ(*(const int32_t*)(cb + 112 / 4), 1);
    EXPECT_EQ(cache.LightEnable[2], 0);
    EXPECT_EQ(cache.LightMaxIndex, 1);

    // A lit draw with lighting switched off in the settings turns the cached switch off.
    DrawSettings.LightingOff = 1;
    Graphics_D3D11_PrepareDrawState(DRAWPREP_LIGHTING);
    EXPECT_EQ(cache.LightingEnable, 0);
    DrawSettings.LightingOff = 0;
}

// A light the core holds for device slots beyond the six of the state cache is refused, not written.
TEST_F(LightShadowTest, ALightBodyRefusesSlotsBeyondSixAndNullParameters) {
    LightParams params = {};
    params.Type = LIGHT_TYPE_POINT;
    EXPECT_EQ(Graphics_D3D11_Light_SetParam(6, &params), -1);
    EXPECT_EQ(Graphics_D3D11_Light_SetParam(-1, &params), -1);
    EXPECT_EQ(Graphics_D3D11_Light_SetParam(0, nullptr), -1);
    EXPECT_EQ(Graphics_D3D11_Light_SetParam(0, &params), 0);
}

// One directional light along +x: the left side of a quad, whose normals face -x, reads back brighter
// than the right side, whose normals face away.
TEST_F(LightShadowTest, ADirectionalLightBrightensTheSideFacingIt) {
    DeleteLights();
    ASSERT_GE(NewLight(LIGHT_TYPE_DIRECTIONAL, 1, 0, 0), 0);
    Graphics_D3D11_PrepareDrawState(DRAWPREP_LIGHTING);
    ASSERT_EQ(D3D11StateCache.LightingEnable, 1);
    ClearTarget();
    const float facing[3] = {-1, 0, 0}, away[3] = {1, 0, 0};
    DrawQuad(0.5f, -1, 1, facing, away);
    const std::vector<uint32_t> pixels = target.Read();
    ASSERT_EQ(pixels.size(), 16u);
    for (int row = 0; row < 4; ++row) {
        EXPECT_GT(Brightness(pixels[row * 4]), Brightness(pixels[row * 4 + 3]) + 60) << std::hex << pixels[row * 4]
                                                                                    << " " << pixels[row * 4 + 3];
        EXPECT_GE(Brightness(pixels[row * 4 + 1]), Brightness(pixels[row * 4 + 2])) << row;
    }
}

// A 4 x 4 shadow map: made with its five objects, drawn into by the shadow pass over its left half at
// depth 0.2 (the right half cleared to 1.0), put into slot 0 with an identity light matrix and casting
// for the one light. A lit quad at depth 0.5 then reads back darker on the left (shadowed) than on the
// right; the slot constants hold the map's parameters and the light flag, the empty slots their fixed
// values. Deleting the handle releases its objects and the live counts come back.
TEST_F(LightShadowTest, AShadowMapDrawnIntoDarkensWhatItShadows) {
    DeleteLights();
    const bool ownType = !HandleManagerTable[HandleType_ShadowMap].Initialized;
    if (ownType) {
        ASSERT_EQ(Handle_Type_Setup(HandleType_ShadowMap, sizeof(ShadowMapRecord), 8192,
                                    Graphics_ShadowMap_HandleRecord_Initialize, Graphics_ShadowMap_HandleRecord_Terminate,
                                    nullptr, L"ShadowMap"),
                  0);
    }
    const int light = NewLight(LIGHT_TYPE_DIRECTIONAL, 0, 0, 1);
    ASSERT_GE(light, 0);
    Graphics_Light_GetRecord(light)->ShadowMapFlags[0] = 1;

    const int objectsBefore = D3D11Call_GetTotalObjectCount();
    const int handle = Handle_New(HandleType_ShadowMap, 0, -1);
    ASSERT_GT(handle, 0);
    ShadowMapRecord* record = Graphics_ShadowMap_GetHandleData(handle, 0);
    ASSERT_NE(record, nullptr);
    record->Width = record->Height = 4;
    D3D11ShadowMapPlatform* p = Graphics_D3D11_ShadowMap_Platform(record);
    record->BitDepth = 32;
    ASSERT_EQ(Graphics_D3D11_ShadowMap_CreateTextures(record, nullptr), 0);
    ASSERT_NE(p->Texture, nullptr);
    ASSERT_NE(p->ShaderView, nullptr);
    ASSERT_NE(p->TargetView, nullptr);
    ASSERT_NE(p->DepthTexture, nullptr);
    ASSERT_NE(p->DepthView, nullptr);
    EXPECT_EQ(D3D11Call_GetTotalObjectCount(), objectsBefore + 5);
    EXPECT_EQ(Graphics_D3D11_ShadowMap_CreateTextures(record, nullptr), 0);   // nothing missing: nothing made
    EXPECT_EQ(D3D11Call_GetTotalObjectCount(), objectsBefore + 5);

    // The shadow pass: the light's view of a quad over the left half at depth 0.2.
    Graphics_D3D11_PrepareDrawState(DRAWPREP_LIGHTING);
    Graphics_D3D11_StateCache_SetRenderTarget(p->Texture, p->TargetView, 0);
    Graphics_D3D11_StateCache_SetDepthStencilView(p->DepthTexture, p->DepthView);
    Graphics_D3D11_StateCache_SetViewportRect(0, 0, 4, 4);
    const FLOAT farAway[4] = {1, 1, 1, 1};
    D3D11Call_DeviceContext_ClearRenderTargetView(p->TargetView, farAway);
    D3D11Call_DeviceContext_ClearDepthStencilView(p->DepthView, D3D11_CLEAR_DEPTH, 1.0f, 0);
    ShadowMapSlots.Drawing = 1;
    DrawQuad(0.2f, -1, 0, Towards, Towards);
    ShadowMapSlots.Drawing = 0;
    Graphics_D3D11_StateCache_SetDepthStencilView(nullptr, nullptr);

    // Into slot 0, seen through an identity light matrix.
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) record->LightViewProjection.m[r][c] = r == c ? 1.0f : 0.0f;
    record->LightViewProjection.m[3][0] = 0.25f;   // shows that the matrix goes in transposed
    ASSERT_EQ(Graphics_ShadowMap_SetSlot(0, handle), 0);
    EXPECT_EQ(D3D11Lit3DState.ShadowMapsInUse, 1);
    const float* matrices = (const float*)D3D11ConstantBufferState.Standard[D3D11CB_VS_TEXTURE]->Data;
    EXPECT_EQ(matrices[3], 0.25f);
    EXPECT_EQ(matrices[12], 0.0f);
    for (int i = 16; i < 48; ++i) EXPECT_EQ(matrices[i], i % 4 == 3 ? -1.0f : 0.0f) << i;
    const float* slots = (const float*)D3D11ConstantBufferState.Standard[D3D11CB_PS_3D]->Data;
    EXPECT_FLOAT_EQ(slots[0], 0.002f);
    EXPECT_FLOAT_EQ(slots[1], 0.0007f);
    EXPECT_EQ(slots[2], 1.0f);
    const float empty[5] = {1, 0, 1, 1, 1};
    for (int s = 1; s < 3; ++s)
        for (int i = 0; i < 5; ++i) EXPECT_EQ(slots[8 * s + i], empty[i]) << s << " " << i;
    record->LightViewProjection.m[3][0] = 0.0f;
    ASSERT_EQ(Graphics_D3D11_ShadowMap_RefreshLightMatrices(), 0);

    ClearTarget();
    DrawQuad(0.5f, -1, 1, Towards, Towards);
    EXPECT_EQ(D3D11StateCache.PSResources[8], p->ShaderView);
    const std::vector<uint32_t> pixels = target.Read();
    ASSERT_EQ(pixels.size(), 16u);
    for (int row = 0; row < 4; ++row)
        for (int x = 0; x < 2; ++x)
            EXPECT_GT(Brightness(pixels[row * 4 + 3 - x]), Brightness(pixels[row * 4 + x]) + 100)
                << row << " " << x << std::hex << ": " << pixels[row * 4 + x] << " " << pixels[row * 4 + 3 - x];

    // A light that does not cast into the slot is never shadowed there.
    Graphics_Light_GetRecord(light)->ShadowMapFlags[0] = 0;
    ASSERT_EQ(Graphics_D3D11_ShadowMap_RefreshSlotParams(), 0);
    EXPECT_EQ(slots[2], 0.0f);
    ClearTarget();
    DrawQuad(0.5f, -1, 1, Towards, Towards);
    const std::vector<uint32_t> unshadowed = target.Read();
    ASSERT_EQ(unshadowed.size(), 16u);
    EXPECT_LE(std::abs(Brightness(unshadowed[0]) - Brightness(unshadowed[3])), 6) << std::hex << unshadowed[0];

    ID3D11ShaderResourceView* none[3] = {};
    Graphics_D3D11_StateCache_SetPSShaderResources(8, 3, none);
    Graphics_D3D11_StateCache_SetRenderTarget(target.Texture, target.View, 0);
    const int objectsInUse = D3D11Call_GetTotalObjectCount();   // the samplers of slots 8-10 stay shared
    ASSERT_EQ(Handle_Delete(handle, 0, 0), 0);
    EXPECT_EQ(ShadowMapSlots.Count, 0);
    EXPECT_EQ(D3D11Lit3DState.ShadowMapsInUse, 0);
    EXPECT_EQ(p->Texture, nullptr);
    EXPECT_EQ(p->DepthView, nullptr);
    EXPECT_EQ(D3D11Call_GetTotalObjectCount(), objectsInUse - 5);
    if (ownType) Handle_Type_Shutdown(HandleType_ShadowMap);
}
