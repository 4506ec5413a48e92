// The Direct3D 9 state cache on the real device, counted through the wrappers: an equal value makes no
// device call, a change first draws the batch (and the drawn pixels keep the old state), the force flag
// makes every setter call the device without flushing; and the setters' own rules (FVF, viewport and
// scene, render-target index, anisotropy clamping, filter modes, no device).
#include <gtest/gtest.h>

#include <functional>

#include "D3D9TestSupport.h"

using namespace Vantrel;
using namespace D3D9Test;

namespace {

// One setter with two distinct values (variant 0 and 1), the device method it calls, and whether a
// change draws the batch first.
struct Setter {
    const char* Name;
    std::function<int(int)> Set;
    D3D9DeviceCall Call;
    bool Flushes;
};

D3DVIEWPORT9 Viewport(int variant) { return {0, 0, variant ? 32u : 64u, variant ? 32u : 64u, 0.0f, 1.0f}; }
RECT Scissor(int variant) { return {0, 0, variant ? 16 : 64, 64}; }

std::vector<Setter> Setters() {
    return {
        {"Z enable", [](int v) { return Graphics_D3D9_StateCache_SetZEnable(v); }, D3D9CALL_SetRenderState, true},
        {"Z write", [](int v) { return Graphics_D3D9_StateCache_SetZWriteEnable(v); }, D3D9CALL_SetRenderState, true},
        {"Z function", [](int v) { return Graphics_D3D9_StateCache_SetZFunc(v ? D3DCMP_GREATER : D3DCMP_LESSEQUAL); },
         D3D9CALL_SetRenderState, true},
        {"depth bias", [](int v) { return Graphics_D3D9_StateCache_SetDepthBias(v ? 0x3F000000u : 0u); },
         D3D9CALL_SetRenderState, true},
        {"fill mode", [](int v) { return Graphics_D3D9_StateCache_SetFillMode(v ? D3DFILL_WIREFRAME : D3DFILL_SOLID); },
         D3D9CALL_SetRenderState, true},
        {"cull mode", [](int v) { return Graphics_D3D9_StateCache_SetCullMode(v ? 2 : 0); }, D3D9CALL_SetRenderState, true},
        {"shade mode", [](int v) { return Graphics_D3D9_StateCache_SetShadeMode(v ? D3DSHADE_GOURAUD : D3DSHADE_FLAT); },
         D3D9CALL_SetRenderState, true},
        {"specular", [](int v) { return Graphics_D3D9_StateCache_SetSpecularEnable(v); }, D3D9CALL_SetRenderState, true},
        {"lighting", [](int v) { return Graphics_D3D9_Lighting_SetEnable(v); }, D3D9CALL_SetRenderState, false},
        {"one sampler's filter",
         [](int v) { return Graphics_D3D9_StateCache_SetSamplerFilter(3, 17, v ? D3DTEXF_LINEAR : D3DTEXF_POINT); },
         D3D9CALL_SetSamplerState, false},
        {"filter mode", [](int v) { return Graphics_D3D9_StateCache_SetFilterMode(v ? 1 : 0); }, D3D9CALL_SetSamplerState,
         true},
        {"anisotropy of all", [](int v) { return Graphics_D3D9_StateCache_SetMaxAnisotropy(v ? 2 : 1, -1); },
         D3D9CALL_SetSamplerState, true},
        {"anisotropy of one", [](int v) { return Graphics_D3D9_StateCache_SetMaxAnisotropy(v ? 2 : 1, 9); },
         D3D9CALL_SetSamplerState, true},
        {"address U of all", [](int v) { return Graphics_D3D9_StateCache_SetTextureAddressU(v ? D3DTADDRESS_WRAP : D3DTADDRESS_CLAMP, -1); },
         D3D9CALL_SetSamplerState, true},
        {"address of one", [](int v) { return Graphics_D3D9_StateCache_SetTextureAddress(v ? D3DTADDRESS_MIRROR : D3DTADDRESS_CLAMP, 5); },
         D3D9CALL_SetSamplerState, true},
        {"viewport",
         [](int v) {
             const D3DVIEWPORT9 viewport = Viewport(v);
             return Graphics_D3D9_StateCache_SetViewport(&viewport);
         },
         D3D9CALL_SetViewport, true},
        {"scissor",
         [](int v) {
             const RECT rect = Scissor(v);
             return Graphics_D3D9_StateCache_SetScissorRect(&rect);
         },
         D3D9CALL_SetScissorRect, true},
        {"texture transforms",
         [](int v) {
             const D3DMATRIX identity = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};
             return Graphics_D3D9_StateCache_SetTextureTransform(v, &identity, 0);
         },
         D3D9CALL_SetTextureStageState, true},
    };
}

class D3D9StateCache_ : public BackEndTest {
protected:
    // Every setter at variant 0 first, so that the cache and the device agree on a known value.
    void SetUp() override {
        BackEndTest::SetUp();
        for (const Setter& setter : Setters()) {
            D3D9DeviceStateCache.Force = 1;
            setter.Set(0);
            D3D9DeviceStateCache.Force = 0;
        }
        // The start binds the untextured built-in pixel shader; these tests begin with none.
        Graphics_D3D9_StateCache_ResetPixelShader(0);
        ASSERT_EQ(Graphics_D3D9_VertexBatch_Flush(0), 0);
        D3D9Call_ResetDeviceCallCounts();
    }
};

}  // namespace

TEST_F(D3D9StateCache_, AnEqualValueMakesNoDeviceCall) {
    ASSERT_TRUE(AddBox(0, 0, 4, 4, 0xFFFFFFFF));
    for (const Setter& setter : Setters()) {
        SCOPED_TRACE(setter.Name);
        const uint32_t before = AllDeviceCalls();
        EXPECT_EQ(setter.Set(0), 0);
        EXPECT_EQ(AllDeviceCalls(), before);
    }
    EXPECT_EQ(D3D9VertexBatch.Count, 6u);   // nothing was flushed either
    // Bindings likewise.
    const uint32_t before = AllDeviceCalls();
    EXPECT_EQ(Graphics_D3D9_StateCache_SetRenderTarget(D3D9DeviceState.BackBuffer, 0), 0);
    EXPECT_EQ(Graphics_D3D9_StateCache_SetVertexShader(nullptr, 0), 0);
    EXPECT_EQ(Graphics_D3D9_StateCache_SetPixelShader(nullptr, 0), 0);
    EXPECT_EQ(Graphics_D3D9_StateCache_SetVertexDeclaration(nullptr), 0);
    EXPECT_EQ(Graphics_D3D9_StateCache_SetVertexBuffer(nullptr, 0), 0);
    EXPECT_EQ(Graphics_D3D9_StateCache_SetIndexBuffer(nullptr), 0);
    EXPECT_EQ(Graphics_D3D9_StateCache_ResetVertexShader(0), 0);
    EXPECT_EQ(Graphics_D3D9_StateCache_ResetPixelShader(0), 0);
    EXPECT_EQ(AllDeviceCalls(), before);
}

TEST_F(D3D9StateCache_, AChangeDrawsTheBatchFirst) {
    for (const Setter& setter : Setters()) {
        SCOPED_TRACE(setter.Name);
        ASSERT_TRUE(AddBox(0, 0, 4, 4, 0xFFFFFFFF));
        const uint32_t draws = DeviceCalls(D3D9CALL_DrawPrimitiveUP);
        const uint32_t calls = DeviceCalls(setter.Call);
        EXPECT_EQ(setter.Set(1), 0);
        EXPECT_GT(DeviceCalls(setter.Call), calls);
        EXPECT_EQ(DeviceCalls(D3D9CALL_DrawPrimitiveUP), draws + (setter.Flushes ? 1 : 0));
        EXPECT_EQ(D3D9VertexBatch.Count, setter.Flushes ? 0u : 6u);
        ASSERT_EQ(Graphics_D3D9_VertexBatch_Flush(0), 0);
        EXPECT_EQ(setter.Set(0), 0);
        ASSERT_EQ(Graphics_D3D9_VertexBatch_Flush(0), 0);
    }
}

TEST_F(D3D9StateCache_, BatchedVerticesKeepTheStateTheyWereBatchedUnder) {
    // A red box, then wireframe filling and a green box over it: the red box was drawn solid before the
    // change, the green one only as its outline.
    ASSERT_TRUE(AddBox(8, 8, 24, 24, 0xFFFF0000));
    ASSERT_EQ(Graphics_D3D9_StateCache_SetFillMode(D3DFILL_WIREFRAME), 0);
    EXPECT_EQ(DeviceCalls(D3D9CALL_DrawPrimitiveUP), 1u);
    ASSERT_TRUE(AddBox(8, 8, 24, 24, 0xFF00FF00));
    ASSERT_EQ(Graphics_D3D9_VertexBatch_Flush(0), 0);
    const std::vector<uint32_t> pixels = ReadBackBuffer(64, 64);
    ASSERT_EQ(pixels.size(), 64u * 64u);
    EXPECT_EQ(pixels[15 * 64 + 12], 0xFF0000u);   // inside, off the outline and the diagonal
    EXPECT_EQ(pixels[4 * 64 + 4], 0u);
    EXPECT_EQ(Graphics_D3D9_StateCache_SetFillMode(D3DFILL_SOLID), 0);
}

TEST_F(D3D9StateCache_, TheForceFlagMakesEverySetterCallTheDeviceWithoutFlushing) {
    ASSERT_TRUE(AddBox(0, 0, 4, 4, 0xFFFFFFFF));
    D3D9DeviceStateCache.Force = 1;
    for (const Setter& setter : Setters()) {
        SCOPED_TRACE(setter.Name);
        const uint32_t calls = DeviceCalls(setter.Call);
        EXPECT_EQ(setter.Set(0), 0);
        EXPECT_GT(DeviceCalls(setter.Call), calls);
    }
    const uint32_t binds = AllDeviceCalls();
    EXPECT_EQ(Graphics_D3D9_StateCache_SetRenderTarget(D3D9DeviceState.BackBuffer, 0), 0);
    EXPECT_EQ(Graphics_D3D9_StateCache_SetVertexShader(nullptr, 0), 0);
    EXPECT_EQ(Graphics_D3D9_StateCache_SetPixelShader(nullptr, 0), 0);
    EXPECT_EQ(Graphics_D3D9_StateCache_SetVertexDeclaration(nullptr), 0);
    EXPECT_EQ(Graphics_D3D9_StateCache_ResetVertexShader(1), 0);
    EXPECT_EQ(Graphics_D3D9_StateCache_ResetPixelShader(1), 0);
    EXPECT_GE(AllDeviceCalls(), binds + 6);
    D3D9DeviceStateCache.Force = 0;
    EXPECT_EQ(DeviceCalls(D3D9CALL_DrawPrimitiveUP), 0u);
    EXPECT_EQ(D3D9VertexBatch.Count, 6u);
}

TEST_F(D3D9StateCache_, TheSettersOwnRules) {
    // The FVF is sent on every non-zero call; 0 only drops a declaration.
    ASSERT_EQ(Graphics_D3D9_StateCache_SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE), 0);
    ASSERT_EQ(Graphics_D3D9_StateCache_SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE), 0);
    EXPECT_EQ(DeviceCalls(D3D9CALL_SetFVF), 2u);
    ASSERT_EQ(Graphics_D3D9_StateCache_SetFVF(0), 0);
    EXPECT_EQ(DeviceCalls(D3D9CALL_SetFVF), 2u);

    // A viewport change while a scene is open ends it first; the next flush opens a new one.
    D3D9Call_Device_BeginSceneOnce();
    ASSERT_EQ(D3D9DeviceStateCache.Scene, 1);
    const uint32_t ends = DeviceCalls(D3D9CALL_EndScene);
    ASSERT_EQ(Graphics_D3D9_StateCache_SetViewportRect(0, 0, 48, 48), 0);
    EXPECT_EQ(DeviceCalls(D3D9CALL_EndScene), ends + 1);
    EXPECT_EQ(D3D9DeviceStateCache.Scene, 0);
    ASSERT_TRUE(AddBox(0, 0, 2, 2, 0xFFFFFFFF));
    const uint32_t begins = DeviceCalls(D3D9CALL_BeginScene);
    ASSERT_EQ(Graphics_D3D9_VertexBatch_Flush(0), 0);
    EXPECT_EQ(DeviceCalls(D3D9CALL_BeginScene), begins + 1);
    EXPECT_EQ(D3D9DeviceStateCache.Scene, 1);

    // Render target 8 does not exist; target 0 brings its own viewport.
    const uint32_t before = AllDeviceCalls();
    EXPECT_EQ(Graphics_D3D9_StateCache_SetRenderTarget(D3D9DeviceState.BackBuffer, 8), -1);
    EXPECT_EQ(AllDeviceCalls(), before);
    IDirect3DSurface9* target = nullptr;
    ASSERT_EQ(D3D9Call_Device_CreateRenderTarget(16, 8, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &target, nullptr), D3D_OK);
    ASSERT_EQ(Graphics_D3D9_StateCache_SetRenderTarget(target, 0), 0);
    EXPECT_EQ(D3D9DeviceStateCache.Viewport.Width, 16u);
    EXPECT_EQ(D3D9DeviceStateCache.Viewport.Height, 8u);
    ASSERT_EQ(Graphics_D3D9_StateCache_SetRenderTarget(D3D9DeviceState.BackBuffer, 0), 0);
    D3D9Call_Object_Release(target);

    // Anisotropy: 0 or less is 1, above the device's maximum its maximum.
    ASSERT_EQ(Graphics_D3D9_StateCache_SetMaxAnisotropy(0, 2), 0);
    EXPECT_EQ(D3D9DeviceStateCache.MaxAnisotropy[2], 1u);
    ASSERT_EQ(Graphics_D3D9_StateCache_SetMaxAnisotropy(100000, 2), 0);
    EXPECT_EQ(D3D9DeviceStateCache.MaxAnisotropy[2], D3D9DeviceState.Caps.MaxAnisotropy > 0 ? D3D9DeviceState.Caps.MaxAnisotropy : 1u);

    // Anisotropic filtering: the setter magnifies linearly; another mode is refused.
    ASSERT_EQ(Graphics_D3D9_StateCache_SetFilterMode(2), 0);
    EXPECT_EQ(D3D9DeviceStateCache.MagFilter[0], (DWORD)D3DTEXF_LINEAR);
    EXPECT_EQ(D3D9DeviceStateCache.MinFilter[15], (DWORD)D3DTEXF_ANISOTROPIC);
    EXPECT_EQ(Graphics_D3D9_StateCache_SetFilterMode(3), -1);
    ASSERT_EQ(Graphics_D3D9_StateCache_SetSamplerFilter(4, 16, D3DTEXF_POINT), 0);
    EXPECT_EQ(D3D9DeviceStateCache.FilterMode, 3);
    EXPECT_EQ(Graphics_D3D9_StateCache_SetSamplerFilter(16, 16, D3DTEXF_POINT), 0);   // no such sampler
    EXPECT_EQ(Graphics_D3D9_StateCache_SetTextureAddressU(D3DTADDRESS_WRAP, 16), -1);
}

TEST(D3D9StateCacheWithoutDevice, SettersGiveTheirNoDeviceResults) {
    EXPECT_EQ(D3D9Call_Device_Exists(), 0);
    EXPECT_EQ(Graphics_D3D9_StateCache_SetZEnable(1), -1);
    EXPECT_EQ(Graphics_D3D9_StateCache_SetZFunc(D3DCMP_LESS), -1);
    EXPECT_EQ(Graphics_D3D9_StateCache_SetFilterMode(1), -1);
    EXPECT_EQ(Graphics_D3D9_StateCache_SetCullMode(1), 0);
    EXPECT_EQ(Graphics_D3D9_StateCache_SetShadeMode(D3DSHADE_FLAT), 0);
    EXPECT_EQ(Graphics_D3D9_Lighting_SetEnable(1), 0);
    EXPECT_EQ(Graphics_D3D9_StateCache_SetMaxAnisotropy(4, -1), 0);
    EXPECT_EQ(Graphics_D3D9_StateCache_SetRenderTarget(nullptr, 0), -1);
    EXPECT_EQ(Graphics_D3D9_StateCache_SetFVF(D3DFVF_XYZ), -1);
    EXPECT_EQ(Graphics_D3D9_StateCache_SetDefaults(), -1);
    EXPECT_EQ(Graphics_D3D9_StateCache_RefreshAll(), -1);
}
