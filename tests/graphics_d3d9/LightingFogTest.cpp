// Lighting, material, fog and view state on the real device: the registers the built-in shaders read
// hold what the fixed-function pipeline is given (spot cones, lights beyond the shader registers, the
// highest enabled light, the fog switches), and a directional light and linear fog change the drawn
// pixels as those registers' formulas say.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "D3D9TestSupport.h"
#include "graphics/VtGraphicsCamera.h"
#include "graphics_d3d9/VtGraphicsD3D9Light.h"
#include "graphics_d3d9/VtGraphicsD3D9NormalDraw.h"
#include "graphics_d3d9/VtGraphicsD3D9Shader.h"
#include "graphics_d3d9/VtGraphicsD3D9Stage.h"

using namespace Vantrel;
using namespace D3D9Test;

namespace {

const float* VertexFloat(int reg) {
    return (const float*)D3D9ShaderConstants.Layers[D3D9CONST_VERTEX_FLOAT][0].Values + reg * 4;
}
const float* PixelFloat(int reg) { return (const float*)D3D9ShaderConstants.Layers[D3D9CONST_PIXEL_FLOAT][0].Values + reg * 4; }
BOOL VertexBool(int reg) { return ((const BOOL*)D3D9ShaderConstants.Layers[D3D9CONST_VERTEX_BOOL][0].Values)[reg]; }

D3DLIGHT9 Light(D3DLIGHTTYPE type, float red, D3DVECTOR direction = {0, 0, 1}) {
    D3DLIGHT9 light = {};
    light.Type = type;
    light.Diffuse = {red, 0.5f, 0.25f, 1.0f};
    light.Direction = direction;
    light.Range = 100.0f;
    light.Attenuation0 = 1.0f;
    return light;
}

using LightRegisters = BackEndTest;

TEST_F(LightRegisters, SpotConesAndLightIndexesReachTheirRegisters) {
    // Equal cones: the cone scale is 100000 instead of a division by zero.
    D3DLIGHT9 spot = Light(D3DLIGHT_SPOT, 0.1f);
    spot.Theta = spot.Phi = 0.5f;
    ASSERT_EQ(Graphics_D3D9_StateCache_SetLight(0, &spot), 0);
    EXPECT_EQ(VertexFloat(D3D9VertexRegister_Light + 6)[2], 100000.0f);
    EXPECT_EQ(PixelFloat(D3D9PixelRegister_Light + 6)[2], 100000.0f);
    EXPECT_NEAR(PixelFloat(D3D9PixelRegister_Light + 6)[1], std::cos(0.25f), 1e-6);
    EXPECT_TRUE(VertexBool(D3D9VertexBool_Light + 1));
    EXPECT_TRUE(VertexBool(D3D9VertexBool_Light + 2));

    // Light 3 reaches both shaders, 4 and 5 the pixel shader only, 6 neither; all reach the device.
    const struct {
        int Index;
        bool Vertex, Pixel;
    } cases[] = {{3, true, true}, {4, false, true}, {5, false, true}, {6, false, false}};
    for (const auto& c : cases) {
        const float red = 0.125f * (c.Index + 1);
        const D3DLIGHT9 light = Light(D3DLIGHT_DIRECTIONAL, red);
        const uint32_t before = DeviceCalls(D3D9CALL_SetLight);
        ASSERT_EQ(Graphics_D3D9_StateCache_SetLight(c.Index, &light), 0);
        EXPECT_EQ(DeviceCalls(D3D9CALL_SetLight), before + 1) << c.Index;
        EXPECT_EQ(VertexFloat(D3D9VertexRegister_Light + 7 * c.Index + 2)[0] == red, c.Vertex) << c.Index;
        EXPECT_EQ(PixelFloat(D3D9PixelRegister_Light + 7 * c.Index + 2)[0] == red, c.Pixel) << c.Index;
    }
    EXPECT_NE(VertexFloat(D3D9VertexRegister_MaterialSource)[0], 0.625f) << "light 4 stays out of VS c43";
}

TEST_F(LightRegisters, EnableKeepsTheHighestEnabledLightAndIgnoresLightsBeyondTheCache) {
    const uint32_t calls = AllDeviceCalls();
    ASSERT_EQ(Graphics_D3D9_StateCache_SetLightEnable(300, 1), 0);
    EXPECT_EQ(DeviceCalls(D3D9CALL_LightEnable), 1u);
    EXPECT_EQ(AllDeviceCalls(), calls + 1);
    EXPECT_EQ(D3D9DeviceStateCache.LightMaxIndex, 0);

    const struct {
        int Index, Flag, Highest;
    } steps[] = {{2, 1, 2}, {5, 1, 5}, {5, 0, 2}, {2, 0, 0}};
    for (const auto& s : steps) {
        ASSERT_EQ(Graphics_D3D9_StateCache_SetLightEnable(s.Index, s.Flag), 0);
        EXPECT_EQ(D3D9DeviceStateCache.LightMaxIndex, s.Highest) << s.Index << " " << s.Flag;
    }
    EXPECT_TRUE(VertexBool(D3D9VertexBool_Light + 6) == FALSE);

    // The ambient registers of an enabled light: light ambient x material ambient.
    D3DMATERIAL9 material = {};
    material.Ambient = {0.5f, 0.5f, 0.5f, 1.0f};
    material.Emissive = {0.125f, 0, 0, 0};
    ASSERT_EQ(Graphics_D3D9_StateCache_SetMaterial(&material), 0);
    D3DLIGHT9 light = Light(D3DLIGHT_POINT, 1.0f);
    light.Ambient = {0.5f, 0.25f, 1.0f, 1.0f};
    Graphics_D3D9_StateCache_SetLight(1, &light);
    Graphics_D3D9_StateCache_SetLightEnable(1, 1);
    EXPECT_TRUE(VertexBool(D3D9VertexBool_Light + 3));
    EXPECT_FLOAT_EQ(VertexFloat(D3D9VertexRegister_Light + 7 + 4)[1], 0.125f);
    EXPECT_FLOAT_EQ(PixelFloat(D3D9PixelRegister_LightColor + 3 + 2)[2], 0.5f);
    Graphics_D3D9_StateCache_SetAmbientColor(0xFF808080);
    EXPECT_NEAR(PixelFloat(D3D9PixelRegister_AmbientEmissive)[0], 0.125f + 0.5f * 128 / 255.0f, 1e-6);
}

TEST_F(LightRegisters, FogModeAndEnableSetTheFogSwitches) {
    ASSERT_EQ(Graphics_D3D9_StateCache_SetFogMode(D3DFOG_LINEAR), 0);
    EXPECT_TRUE(VertexBool(D3D9VertexBool_Fog));
    EXPECT_FALSE(VertexBool(D3D9VertexBool_Fog + 1));
    EXPECT_TRUE(VertexBool(D3D9VertexBool_Fog + 3));
    ASSERT_EQ(Graphics_D3D9_StateCache_SetFogEnable(0), 0);
    EXPECT_FALSE(VertexBool(D3D9VertexBool_Fog + 3));
    ASSERT_EQ(Graphics_D3D9_StateCache_SetFogStartEnd(2.0f, 10.0f), 0);
    EXPECT_FLOAT_EQ(VertexFloat(D3D9VertexRegister_Fog)[0], 10.0f / 8.0f);
    EXPECT_FLOAT_EQ(VertexFloat(D3D9VertexRegister_Fog)[1], -1.0f / 8.0f);
    ASSERT_EQ(Graphics_D3D9_StateCache_SetFogColor(0x00FF8000), 0);
    EXPECT_FLOAT_EQ(PixelFloat(D3D9PixelRegister_FogColor)[1], 128 / 255.0f);
    EXPECT_FLOAT_EQ(PixelFloat(D3D9PixelRegister_FogColor)[3], 1.0f);
}

// The fixed-function pipeline draws a lit or fogged full-screen quad of untransformed vertices.
class FixedFunctionScene : public BackEndTest {
protected:
    void SetUp() override {
        D3D9ShaderSettings.FixedFunctionOnly = 1;
        BackEndTest::SetUp();
        const D3DMATRIX identity = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};
        D3D9Call_Device_SetTransform(D3DTS_WORLD, &identity);
        D3D9Call_Device_SetTransform(D3DTS_PROJECTION, &identity);
        // The lights are placed by the core's view, the one the device gets.
        memcpy(&GraphicsTransform.ViewF, &identity, sizeof(identity));
        ASSERT_EQ(Graphics_D3D9_StateCache_SetViewMatrix(&identity), 0);
        Graphics_D3D9_StateCache_SetSpecularEnable(0);
        // An untextured draw without blending: the stages pass the vertex colour on.
        const int none[7] = {};
        Graphics_D3D9_StateCache_SetDrawTexture(nullptr);
        Graphics_D3D9_StateCache_SetBlendMode(0, none, 0, 0);
        Graphics_D3D9_StateCache_BuildStageSetup(nullptr, 0, 1, 1);
    }

    void TearDown() override {
        BackEndTest::TearDown();
        D3D9ShaderSettings.FixedFunctionOnly = 0;
    }

    // The colour at the centre of a quad over the whole screen at depth z.
    template <typename Vertex>
    uint32_t Draw(const Vertex (&quad)[4], DWORD fvf) {
        D3D9Call_Device_Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        Graphics_D3D9_StateCache_SetFVF(fvf);
        D3D9Call_Device_BeginSceneOnce();
        D3D9Call_Device_DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
        const std::vector<uint32_t> pixels = ReadBackBuffer(64, 64);
        return pixels.empty() ? 0xDEADBEEF : pixels[32 * 64 + 32];
    }
};

int Byte(uint32_t colour, int shift) { return (int)(colour >> shift & 0xFF); }

TEST_F(FixedFunctionScene, DirectionalLightLightsAsItsRegistersSay) {
    struct LitVertex {
        float X, Y, Z, NX, NY, NZ;
    };
    const LitVertex quad[4] = {{-1, 1, 0.5f, 0, 0, -1}, {1, 1, 0.5f, 0, 0, -1}, {-1, -1, 0.5f, 0, 0, -1}, {1, -1, 0.5f, 0, 0, -1}};
    D3DMATERIAL9 material = {};
    material.Diffuse = {1, 1, 1, 1};
    material.Ambient = {1, 1, 1, 1};
    ASSERT_EQ(Graphics_D3D9_StateCache_SetMaterial(&material), 0);
    ASSERT_EQ(Graphics_D3D9_StateCache_SetDiffuseMaterialSource(0), 0);
    ASSERT_EQ(Graphics_D3D9_StateCache_SetAmbientColor(0x00202020), 0);
    ASSERT_EQ(Graphics_D3D9_Lighting_SetEnable(1), 0);
    const float degrees[] = {0.0f, 60.0f, 90.0f, 135.0f};
    for (float angle : degrees) {
        const float r = angle * 3.14159265f / 180.0f;
        const D3DLIGHT9 light = Light(D3DLIGHT_DIRECTIONAL, 0.75f, {0, std::sin(r), std::cos(r)});
        ASSERT_EQ(Graphics_D3D9_StateCache_SetLight(0, &light), 0);
        ASSERT_EQ(Graphics_D3D9_StateCache_SetLightEnable(0, 1), 0);
        // Colour = ambient-and-emissive register + max(0, normal . -direction) x light diffuse x material diffuse.
        const float* direction = VertexFloat(D3D9VertexRegister_Light + 1);
        const float* diffuse = VertexFloat(D3D9VertexRegister_Light + 2);
        const float* base = VertexFloat(D3D9VertexRegister_AmbientEmissive);
        const float* materialDiffuse = VertexFloat(D3D9VertexRegister_Material);
        const float lambert = std::max(0.0f, direction[2]);   // normal (0, 0, -1)
        const uint32_t pixel = Draw(quad, D3DFVF_XYZ | D3DFVF_NORMAL);
        for (int c = 0; c < 3; ++c) {
            const float value = std::min(1.0f, base[c] + lambert * diffuse[c] * materialDiffuse[c]);
            EXPECT_NEAR(Byte(pixel, 16 - 8 * c), value * 255.0f, 3.0f) << angle << " degrees, channel " << c;
        }
    }
    EXPECT_NEAR(Byte(Draw(quad, D3DFVF_XYZ | D3DFVF_NORMAL), 16), 0x20, 3) << "behind the light: ambient only";
}

TEST_F(FixedFunctionScene, LinearFogMixesTheFogColourAsItsRegisterSays) {
    struct ColourVertex {
        float X, Y, Z;
        uint32_t Colour;
    };
    Graphics_D3D9_Lighting_SetEnable(0);
    ASSERT_EQ(Graphics_D3D9_StateCache_SetFogColor(0xFF0000FF), 0);
    ASSERT_EQ(Graphics_D3D9_StateCache_SetFogMode(D3DFOG_LINEAR), 0);
    ASSERT_EQ(Graphics_D3D9_StateCache_SetFogStartEnd(0.0f, 1.0f), 0);
    ASSERT_EQ(Graphics_D3D9_StateCache_SetFogEnable(1), 0);
    const float depths[] = {0.25f, 0.5f, 0.75f};
    for (float z : depths) {
        const ColourVertex quad[4] = {{-1, 1, z, 0xFFFFFFFF}, {1, 1, z, 0xFFFFFFFF}, {-1, -1, z, 0xFFFFFFFF}, {1, -1, z, 0xFFFFFFFF}};
        // The part of the vertex colour left: z x c10.y + c10.x, clamped.
        const float* fog = VertexFloat(D3D9VertexRegister_Fog);
        const float kept = std::clamp(z * fog[1] + fog[0], 0.0f, 1.0f);
        const uint32_t pixel = Draw(quad, D3DFVF_XYZ | D3DFVF_DIFFUSE);
        EXPECT_NEAR(Byte(pixel, 16), kept * 255.0f, 3.0f) << "depth " << z;
        EXPECT_NEAR(Byte(pixel, 8), kept * 255.0f, 3.0f) << "depth " << z;
        EXPECT_EQ(Byte(pixel, 0), 255) << "depth " << z;
    }
    ASSERT_EQ(Graphics_D3D9_StateCache_SetFogEnable(0), 0);
    const ColourVertex quad[4] = {{-1, 1, 0.5f, 0xFFFFFFFF}, {1, 1, 0.5f, 0xFFFFFFFF}, {-1, -1, 0.5f, 0xFFFFFFFF}, {1, -1, 0.5f, 0xFFFFFFFF}};
    EXPECT_EQ(Draw(quad, D3DFVF_XYZ | D3DFVF_DIFFUSE) & 0xFFFFFF, 0xFFFFFFu) << "fog off";
}

}  // namespace
