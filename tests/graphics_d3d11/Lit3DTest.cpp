// The lit-3D shader choice: the pack entry each combination of fog, shadow maps, light types, blend
// row and alpha test names; a draw with no lit-3D pack fails cleanly (-1, a log line, nothing bound);
// with the chosen entries present their objects are made on first use only and bound.
#include <gtest/gtest.h>

#include <vector>

#include "BuiltInShaderSupport.h"
#include "VtBuiltShaders.h"
#include "graphics_d3d11/VtGraphicsD3D11Lit3D.h"
#include "graphics_d3d11/VtGraphicsD3D11NormalDraw.h"

using namespace Vantrel;
using namespace D3D11Test;

namespace {

D3D11Lit3DKeys Keys(int fog, int shadow, int lighting, std::vector<int> types, int type, int test) {
    D3D11Lit3DKeys keys = {};
    keys.Fog = fog, keys.Shadow = shadow, keys.Lighting = lighting, keys.ShaderType = type, keys.AlphaTest = test;
    for (size_t i = 0; i < types.size() && i < 6; ++i) keys.LightTypes[i] = types[i];
    return keys;
}

}  // namespace

class Lit3DTest : public BuiltInShaderTest {
protected:
    void TearDown() override {
        D3D11Lit3D.Pack = {nullptr, D3D11LIT_COUNT, 0, nullptr, 0, nullptr};
        BuiltInShaderTest::TearDown();
    }
};

TEST_F(Lit3DTest, EachLightTypeFogModeAndShadowSwitchNamesItsEntries) {
    const D3D11ShaderCodeRecord& code = D3D11ShaderCodeState;
    struct Case {
        const char* What;
        D3D11Lit3DKeys Keys;
        int Vertex, Pixel;
    };
    const int dir3 = code.Light3Number[3 << 4], point3 = code.Light3Number[1 << 4], spot3 = code.Light3Number[2 << 4];
    const int mixed3 = code.Light3Number[3 << 4 | 2 << 2 | 1];
    const Case cases[] = {
        {"unlit, no fog", Keys(0, 0, 0, {}, 0, 0), D3D11LIT_UNLIT_VS, D3D11LIT_UNLIT_PS},
        {"unlit, linear fog, type 4, tested", Keys(3, 0, 0, {}, 4, 1), D3D11LIT_UNLIT_VS + 3, D3D11LIT_UNLIT_PS + 9},
        {"one directional light", Keys(0, 0, 1, {3}, 0, 0), D3D11LIT_PER_VERTEX_VS + dir3, D3D11LIT_PER_VERTEX_PS + 14},
        {"one point light, exp fog", Keys(1, 0, 1, {1}, 0, 0), D3D11LIT_PER_VERTEX_VS + point3 + 20, D3D11LIT_PER_VERTEX_PS + 14},
        {"one spot light, exp2 fog, shadow", Keys(2, 1, 1, {2}, 1, 1), D3D11LIT_PER_VERTEX_VS + spot3 + (2 + 4) * 20,
         D3D11LIT_PER_VERTEX_PS + ((1 + 10) * 7 + 1) * 2 + 1},
        {"three lights in any order", Keys(0, 0, 1, {1, 3, 2}, 0, 0), D3D11LIT_PER_VERTEX_VS + mixed3, D3D11LIT_PER_VERTEX_PS + 3 * 14},
        {"disabled slots are skipped", Keys(0, 0, 1, {0, 2, 0, 3, 1}, 0, 0), D3D11LIT_PER_VERTEX_VS + mixed3, D3D11LIT_PER_VERTEX_PS + 3 * 14},
        {"four lights without per-pixel code light per vertex", Keys(0, 0, 1, {3, 3, 3, 3}, 0, 0),
         D3D11LIT_PER_VERTEX_VS + code.Light3Number[63], D3D11LIT_PER_VERTEX_PS + 3 * 14},
    };
    for (const Case& c : cases) {
        int vertex = -1, pixel = -1;
        ASSERT_EQ(Graphics_D3D11_Lit3D_Choose(c.Keys, &vertex, &pixel), 0) << c.What;
        EXPECT_EQ(vertex, c.Vertex) << c.What;
        EXPECT_EQ(pixel, c.Pixel) << c.What;
        EXPECT_LT(vertex, D3D11LIT_COUNT);
        EXPECT_LT(pixel, D3D11LIT_COUNT);
    }
    D3D11Lit3DKeys pass = Keys(3, 1, 1, {3}, 2, 1);
    pass.ShadowPass = 1;
    int vertex = -1, pixel = -1;
    ASSERT_EQ(Graphics_D3D11_Lit3D_Choose(pass, &vertex, &pixel), 0);
    EXPECT_EQ(vertex, D3D11LIT_SHADOW_VS + 1);
    EXPECT_EQ(pixel, D3D11LIT_SHADOW_PS + 1);
    EXPECT_EQ(Graphics_D3D11_Lit3D_Choose(Keys(4, 0, 0, {}, 0, 0), &vertex, &pixel), -1);
}

TEST_F(Lit3DTest, WithoutThePackTheDrawFailsCleanly) {
    D3D11Lit3D.Pack = {nullptr, D3D11LIT_COUNT, 0, nullptr, 0, nullptr};
    ID3D11VertexShader* bound = D3D11StateCache.VertexShader;
    EXPECT_EQ(Graphics_D3D11_Shader_Normal3DDraw_Setup(), -1);
    EXPECT_EQ(D3D11StateCache.VertexShader, bound);
    // Present pack, absent entry (size 0): the creation failure is logged and the draw refused.
    std::vector<D3D11ShaderCode> codes(D3D11LIT_COUNT, D3D11ShaderCode{nullptr, 0});
    D3D11Lit3D.Pack = {nullptr, D3D11LIT_COUNT, 1, nullptr, 0, codes.data()};
    EXPECT_EQ(Graphics_D3D11_Shader_Normal3DDraw_Setup(), -1);
    EXPECT_NE(ReadLog().find(Utf8(u8"Graphics_D3D11_Shader_Normal3DDraw_Setup で頂点シェーダーの作成に失敗しました")), std::string::npos);
}

TEST_F(Lit3DTest, ADirectionalLightsShadersAreMadeOnFirstUseAndBound) {
    std::vector<D3D11ShaderCode> codes(D3D11LIT_COUNT, D3D11ShaderCode{nullptr, 0});
    D3D11Lit3D.Pack = {nullptr, D3D11LIT_COUNT, 1, nullptr, 0, codes.data()};
    Graphics_D3D11_NormalDraw_Reset();
    D3D11LightRecord light = {};
    light.Type = 3;
    ASSERT_EQ(Graphics_D3D11_StateCache_SetLight(0, &light), 0);
    ASSERT_EQ(Graphics_D3D11_StateCache_SetLightEnable(0, 1), 0);
    ASSERT_EQ(Graphics_D3D11_Lighting_SetEnable(1), 0);
    int vertex = -1, pixel = -1;
    D3D11Lit3DKeys keys = Keys(0, 0, 1, {3}, D3D11BlendModeTable[D3D11NormalDrawState.BlendMode].ShaderType, 0);
    ASSERT_EQ(Graphics_D3D11_Lit3D_Choose(keys, &vertex, &pixel), 0);
    codes[vertex] = {VtShaderCode_Test2DVertex, sizeof(VtShaderCode_Test2DVertex)};
    codes[pixel] = {VtShaderCode_TestColourPixel, sizeof(VtShaderCode_TestColourPixel)};
    const int before = D3D11Call_GetTotalObjectCount();
    ASSERT_EQ(Graphics_D3D11_Shader_Normal3DDraw_Setup(), 0);
    EXPECT_EQ(D3D11Call_GetTotalObjectCount(), before + 2);
    EXPECT_EQ(D3D11StateCache.VertexShader, D3D11Lit3D.Objects[vertex]);
    EXPECT_EQ(D3D11StateCache.PixelShader, D3D11Lit3D.Objects[pixel]);
    ASSERT_EQ(Graphics_D3D11_Shader_Normal3DDraw_Setup(), 0);
    EXPECT_EQ(D3D11Call_GetTotalObjectCount(), before + 2);   // made once
    Graphics_D3D11_StateCache_SetLightEnable(0, 0);
    Graphics_D3D11_Lighting_SetEnable(0);
}
