// The lit-3D draw set-up: with each light type, fog mode and the shadow switch the shaders bound are
// the ones the choice names, made on first use only (counted through the call layer); an entry absent
// from the pack fails the draw cleanly (-1, a log line, nothing bound).
#include <gtest/gtest.h>

#include "BuiltInShaderSupport.h"
#include "graphics_d3d11/VtGraphicsD3D11Lit3D.h"
#include "graphics_d3d11/VtGraphicsD3D11NormalDraw.h"

using namespace Vantrel;
using namespace D3D11Test;

class Lit3DSetupTest : public BuiltInShaderTest {
protected:
    void SetUp() override {
        BuiltInShaderTest::SetUp();
        Graphics_D3D11_NormalDraw_Reset();
    }
    void TearDown() override {
        for (int i = 0; i < 6; ++i) Graphics_D3D11_StateCache_SetLightEnable(i, 0);
        Graphics_D3D11_Lighting_SetEnable(0);
        D3D11StateCache.FogEnable[0] = 0;
        D3D11Lit3DState = {};
        BuiltInShaderTest::TearDown();
        Graphics_D3D11_ShaderCode_BaseTerminate();
    }
    void Light(int index, int type) {
        D3D11LightRecord light = {};
        light.Type = type;
        light.Direction[2] = 1.0f;
        ASSERT_EQ(Graphics_D3D11_StateCache_SetLight(index, &light), 0);
        ASSERT_EQ(Graphics_D3D11_StateCache_SetLightEnable(index, 1), 0);
    }
};

TEST_F(Lit3DSetupTest, EachLightTypeFogModeAndShadowSwitchBindsTheChosenPairMadeOnce) {
    struct Case {
        const char* What;
        int LightType, Fog, Shadow;
    };
    const Case cases[] = {{"directional", 3, 0, 0}, {"point, exp fog", 1, 1, 0}, {"spot, exp2 fog", 2, 2, 0},
                          {"directional, linear fog, shadow maps", 3, 3, 1}, {"unlit", 0, 0, 0}};
    for (const Case& c : cases) {
        Graphics_D3D11_StateCache_SetLightEnable(0, 0);
        if (c.LightType > 0) Light(0, c.LightType);
        ASSERT_EQ(Graphics_D3D11_Lighting_SetEnable(c.LightType > 0), 0);
        D3D11StateCache.FogEnable[0] = c.Fog > 0;
        D3D11StateCache.FogMode[0] = c.Fog;
        D3D11Lit3DState.ShadowMapsInUse = c.Shadow;
        D3D11Lit3DKeys keys = {};
        keys.Lighting = c.LightType > 0;
        keys.LightType[0] = c.LightType;
        keys.FogMode = c.Fog;
        keys.ShadowMaps = c.Shadow;
        keys.ShaderType = D3D11BlendModeTable[0].ShaderType;
        D3D11Lit3DChoice choice = {};
        ASSERT_EQ(Graphics_D3D11_Shader_Lit3DChoose(&keys, &choice), 0) << c.What;

        // Point and spot lights share their per-vertex pixel shader: only what is missing is made.
        const int missing = (D3D11ShaderObjects.Lit3DVertexShader[choice.VertexEntry] == nullptr) +
                            (D3D11ShaderObjects.Lit3DPixelShader[choice.PixelEntry] == nullptr);
        ID3D11PixelShader* boundPixel = D3D11StateCache.PixelShader;
        D3D11Call_ResetContextCallCounts();
        const int objects = D3D11Call_GetTotalObjectCount();
        ASSERT_EQ(Graphics_D3D11_Shader_Normal3DDraw_Setup(), 0) << c.What;
        EXPECT_EQ(D3D11Call_GetTotalObjectCount(), objects + missing) << c.What << ": made on first use";
        EXPECT_EQ(D3D11StateCache.VertexShader, D3D11ShaderObjects.Lit3DVertexShader[choice.VertexEntry]) << c.What;
        EXPECT_EQ(D3D11StateCache.PixelShader, D3D11ShaderObjects.Lit3DPixelShader[choice.PixelEntry]) << c.What;
        EXPECT_EQ(D3D11CallState.ContextCalls[D3D11CALL_VSSetShader], 1u) << c.What;
        const uint32_t pixelSets = boundPixel != D3D11StateCache.PixelShader ? 1u : 0u;
        EXPECT_EQ(D3D11CallState.ContextCalls[D3D11CALL_PSSetShader], pixelSets) << c.What;
        ASSERT_EQ(Graphics_D3D11_Shader_Normal3DDraw_Setup(), 0) << c.What;
        EXPECT_EQ(D3D11Call_GetTotalObjectCount(), objects + missing) << c.What << ": made once";
        EXPECT_EQ(D3D11CallState.ContextCalls[D3D11CALL_PSSetShader], pixelSets) << c.What << ": bound once";
    }
}

TEST_F(Lit3DSetupTest, AnEntryAbsentFromThePackFailsTheDrawCleanly) {
    Light(0, 3);
    ASSERT_EQ(Graphics_D3D11_Lighting_SetEnable(1), 0);
    D3D11Lit3DKeys keys = {};
    keys.Lighting = 1;
    keys.LightType[0] = 3;
    keys.ShaderType = D3D11BlendModeTable[0].ShaderType;
    D3D11Lit3DChoice choice = {};
    ASSERT_EQ(Graphics_D3D11_Shader_Lit3DChoose(&keys, &choice), 0);
    D3D11ShaderCode& entry = D3D11ShaderCodeState.Lit3D.Codes[choice.VertexEntry];
    const D3D11ShaderCode kept = entry;
    entry = {nullptr, 0};
    ID3D11VertexShader* bound = D3D11StateCache.VertexShader;
    EXPECT_EQ(Graphics_D3D11_Shader_Normal3DDraw_Setup(), -1);
    EXPECT_EQ(D3D11StateCache.VertexShader, bound);
    EXPECT_NE(ReadLog().find(Utf8(u8"Graphics_D3D11_Shader_Normal3DDraw_Setup で頂点シェーダーの作成に失敗しました")),
              std::string::npos);
    entry = kept;
    EXPECT_EQ(Graphics_D3D11_Shader_Normal3DDraw_Setup(), 0);
}
