// The lit-3D shader pack: every generated shader is in the pack and the platform's disassembler reads it
// back; the device creates every one of them; the choice follows the index formula; lit
// quads on a 4 x 4 target give the colour the lighting rules mean, with one directional light
// (per-vertex lighting) and with four lights in an order the light table has to sort out (per pixel);
// the draw set-up hands the shaders the vertex colour and the draw texture.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "BuiltInShaderSupport.h"
#include "graphics_d3d11/VtGraphicsD3D11NormalDraw.h"
#include "graphics_d3d11/VtGraphicsD3D11ShaderCode.h"
#include "graphics_d3d11/VtGraphicsD3D11Shape.h"
#include "graphics_d3d11/VtGraphicsD3D11State.h"
#include "tools/VtLit3DShaders.h"
#include "tools/VtShaderAssemble.h"

using namespace Vantrel;
using namespace D3D11Test;

namespace {

bool Near(uint32_t a, uint32_t b, int tolerance) {
    for (int shift = 0; shift < 32; shift += 8)
        if (std::abs((int)(a >> shift & 0xFF) - (int)(b >> shift & 0xFF)) > tolerance) return false;
    return true;
}

uint32_t Word(float r, float g, float b, float a) {  // R8G8B8A8 read little-endian
    auto unorm = [](float v) { return (uint32_t)std::lround(std::fmin(1.0f, std::fmax(0.0f, v)) * 255.0f); };
    return unorm(r) | unorm(g) << 8 | unorm(b) << 16 | unorm(a) << 24;
}

}  // namespace

TEST(D3D11Lit3DShaderSources, ThePackHoldsEveryGeneratedShaderAndTheDisassemblerReadsThemBack) {
    ASSERT_EQ(Graphics_D3D11_ShaderCode_Base3DInitialize(), 1);
    const std::vector<VtBuiltIn::Source> sources = VtBuiltIn::Lit3DSources();
    ASSERT_EQ((int)sources.size(), D3D11LIT3D_COUNT);
    int mismatches = 0;
    for (int i = 0; i < D3D11LIT3D_COUNT; ++i) {
        VtShaderAsm::Assembler assembler;
        VtShaderAsm::Bytes code;
        ASSERT_TRUE(assembler.Assemble(sources[i].second, code)) << sources[i].first << ": " << assembler.Error;
        const D3D11ShaderCode packed = Graphics_D3D11_ShaderCode_GetLit3D(i);
        ASSERT_EQ(packed.Size, code.size()) << sources[i].first;
        EXPECT_EQ(memcmp(packed.Code, code.data(), code.size()), 0) << sources[i].first;
        const std::string listing = Disassemble(code.data(), code.size());
        if (VtShaderAsm::InstructionLines(listing) != VtShaderAsm::InstructionLines(sources[i].second) && ++mismatches < 4)
            ADD_FAILURE() << sources[i].first << ":\n" << listing;
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(D3D11Lit3DShaderSources, TheIndexTablesNumberTheSequencesAsTheGeneratorDoes) {
    ASSERT_EQ(Graphics_D3D11_ShaderCode_Base3DInitialize(), 1);
    D3D11Lit3DKeys keys = {};
    D3D11Lit3DChoice choice;
    ASSERT_EQ(Graphics_D3D11_Shader_Lit3DChoose(&keys, &choice), 0);  // builds the tables
    const D3D11ShaderCodeRecord& code = D3D11ShaderCodeState;
    const auto six = VtBuiltIn::NonIncreasingSequences(6, 3), three = VtBuiltIn::NonIncreasingSequences(3, 3),
               classes = VtBuiltIn::NonIncreasingSequences(3, 2);
    ASSERT_EQ(six.size(), 84u);
    ASSERT_EQ(three.size(), 20u);
    ASSERT_EQ(classes.size(), 10u);
    for (size_t n = 0; n < six.size(); ++n)
        for (int i = 0; i < 6; ++i) EXPECT_EQ(code.Light6Sequence[n][i], six[n][i]) << n;
    for (size_t n = 0; n < three.size(); ++n)
        for (int i = 0; i < 3; ++i) EXPECT_EQ(code.Light3Sequence[n][i], three[n][i]) << n;
    for (size_t n = 0; n < classes.size(); ++n)
        for (int i = 0; i < 3; ++i) EXPECT_EQ(code.Class3Sequence[n][i], classes[n][i]) << n;
}

// Keys in, pack entries out, as the selection formula gives them.
TEST(D3D11Lit3DShaderSources, TheChoiceFollowsTheIndexFormula) {
    struct Case {
        D3D11Lit3DKeys Keys;
        int Vertex, Pixel, PerPixel;
        int Order[6];
    };
    ASSERT_EQ(Graphics_D3D11_ShaderCode_Base3DInitialize(), 1);
    const D3D11ShaderCodeRecord& code = D3D11ShaderCodeState;
    D3D11Lit3DChoice warm;
    D3D11Lit3DKeys none = {};
    ASSERT_EQ(Graphics_D3D11_Shader_Lit3DChoose(&none, &warm), 0);
    const int n3210 = code.Light6Number[((((3 * 4 + 2) * 4 + 1) * 4 + 1) * 4) * 4];      // 3, 2, 1, 1, 0, 0
    const int n300 = code.Light3Number[3 * 16], n321 = code.Light3Number[3 * 16 + 2 * 4 + 1];
    const int c200 = code.Class3Number[2 * 16], c211 = code.Class3Number[2 * 16 + 1 * 4 + 1];
    const Case cases[] = {
        // Shadow pass: [test] of 2 each, whatever else is set.
        {{1, 1, {3, 0, 0, 0, 0, 0}, 2, 1, 4, 1}, D3D11LIT3D_SHADOW_VS + 1, D3D11LIT3D_SHADOW_PS + 1, 0, {0, -1, -1, -1, -1, -1}},
        // Unlit: vertex [fog], pixel [type x 2 + test].
        {{0, 0, {3, 0, 0, 0, 0, 0}, 3, 1, 5, 0}, D3D11LIT3D_UNLIT_VS + 3, D3D11LIT3D_UNLIT_PS + 10, 0, {0, -1, -1, -1, -1, -1}},
        // One directional light on light 2: per vertex.
        {{0, 1, {0, 0, 3, 0, 0, 0}, 1, 0, 2, 1}, D3D11LIT3D_PER_VERTEX_VS + n300 + 1 * 20,
         D3D11LIT3D_PER_VERTEX_PS + (c200 * 7 + 2) * 2 + 1, 0, {2, -1, -1, -1, -1, -1}},
        // Three lights with shadow maps: per vertex, order directional, spot, point.
        {{0, 1, {1, 3, 2, 0, 0, 0}, 2, 1, 6, 0}, D3D11LIT3D_PER_VERTEX_VS + n321 + (2 + 4) * 20,
         D3D11LIT3D_PER_VERTEX_PS + ((c211 + 10) * 7 + 6) * 2, 0, {1, 2, 0, -1, -1, -1}},
        // Four lights: per pixel.
        {{0, 1, {1, 0, 2, 1, 3, 0}, 0, 1, 3, 1}, D3D11LIT3D_PER_PIXEL_VS + 4, D3D11LIT3D_PER_PIXEL_PS + ((n3210 + 84) * 7 + 3) * 2 + 1, 1,
         {4, 2, 0, 3, -1, -1}},
    };
    for (const Case& c : cases) {
        D3D11Lit3DChoice choice;
        ASSERT_EQ(Graphics_D3D11_Shader_Lit3DChoose(&c.Keys, &choice), 0);
        EXPECT_EQ(choice.VertexEntry, c.Vertex);
        EXPECT_EQ(choice.PixelEntry, c.Pixel);
        EXPECT_EQ(choice.PerPixel, c.PerPixel);
        for (int k = 0; k < 6; ++k) EXPECT_EQ(choice.LightOrder[k], c.Order[k]) << k;
    }
    D3D11Lit3DKeys bad = {};
    bad.LightType[0] = 4;
    EXPECT_EQ(Graphics_D3D11_Shader_Lit3DChoose(&bad, &warm), -1);
    bad.LightType[0] = 0, bad.ShaderType = 7;
    EXPECT_EQ(Graphics_D3D11_Shader_Lit3DChoose(&bad, &warm), -1);
}

namespace {

class Lit3DShaderTest : public BuiltInShaderTest {
protected:
    // One quad over the whole target in clip space at depth 0.5 facing the viewer, through the batch's
    // lit vertex type with the chosen shaders; the lights and material are in the state cache.
    std::vector<uint32_t> DrawLitQuad(const D3D11Lit3DKeys& keys) {
        D3D11Lit3DChoice choice;
        EXPECT_EQ(Graphics_D3D11_Shader_Lit3DChoose(&keys, &choice), 0);
        EXPECT_EQ(Graphics_D3D11_Shader_Lit3DWriteLightTable(&choice), 0);
        ID3D11VertexShader* vertex = Graphics_D3D11_Shader_GetLit3DVertexShader(choice.VertexEntry);
        ID3D11PixelShader* pixel = Graphics_D3D11_Shader_GetLit3DPixelShader(choice.PixelEntry);
        if (vertex == nullptr || pixel == nullptr) return {};
        Graphics_D3D11_StateCache_SetRenderTarget(target.Texture, target.View, 0);
        Graphics_D3D11_StateCache_SetViewportRect(0, 0, 4, 4);
        Graphics_D3D11_StateCache_SetVertexShader(vertex, 0);
        Graphics_D3D11_StateCache_SetPixelShader(pixel, 0);
        uint8_t vertices[6 * 48];
        StartLitQuad(vertices);
        D3D11_BUFFER_DESC desc = {sizeof(vertices), D3D11_USAGE_DEFAULT, D3D11_BIND_VERTEX_BUFFER, 0, 0, 0};
        const D3D11_SUBRESOURCE_DATA data = {vertices, 0, 0};
        ID3D11Buffer* buffer = nullptr;
        if (D3D11Call_Device_CreateBuffer(&desc, &data, &buffer) != S_OK) return {};
        Graphics_D3D11_StateCache_SetInputLayout(D3D11StandardVertex.InputLayout[5]);
        Graphics_D3D11_StateCache_SetVertexBuffer(buffer, 48);
        Graphics_D3D11_StateCache_SetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
        Graphics_D3D11_StateCache_ApplyPending();
        D3D11Call_DeviceContext_Draw(6, 0);
        Graphics_D3D11_StateCache_SetVertexBuffer(nullptr, 0);
        D3D11Call_Buffer_Release(buffer);
        return target.Read();
    }

    // Clears the target and writes the six vertices of a quad over all of it in clip space at depth 0.5
    // facing the viewer, in the lit vertex type: position, normal, diffuse and specular colour, two
    // coordinate pairs (the first over the texture).
    void StartLitQuad(uint8_t (&vertices)[6 * 48]) {
        const FLOAT clear[4] = {0, 0, 0, 0};
        D3D11Call_DeviceContext_ClearRenderTargetView(target.View, clear);
        const float corners[4][2] = {{-1, 1}, {1, 1}, {-1, -1}, {1, -1}};
        const int order[6] = {0, 1, 2, 3, 2, 1};
        memset(vertices, 0, sizeof(vertices));
        for (int i = 0; i < 6; ++i) {
            const float p[6] = {corners[order[i]][0], corners[order[i]][1], 0.5f, 0, 0, -1};
            const float uv[2] = {(p[0] + 1) / 2, (1 - p[1]) / 2};
            memcpy(vertices + i * 48, p, sizeof(p));
            memcpy(vertices + i * 48 + 24, &DiffuseWord, 4);
            memcpy(vertices + i * 48 + 32, uv, 8);
        }
    }

    void SetScene() {
        const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        ASSERT_EQ(Graphics_D3D11_StateCache_SetViewMatrix(identity), 0);
        ASSERT_EQ(Graphics_D3D11_StateCache_SetWorldMatrix(identity), 0);
        ASSERT_EQ(Graphics_D3D11_StateCache_SetProjectionMatrix(identity), 0);
        const float diffuse[4] = {0.8f, 0.6f, 0.4f, 1}, ambient[4] = {0.2f, 0.2f, 0.2f, 1}, zero[4] = {};
        ASSERT_EQ(Graphics_D3D11_StateCache_SetMaterial(diffuse, ambient, zero, zero, 20.0f), 0);
        const float global[4] = {0.1f, 0.1f, 0.1f, 0};
        ASSERT_EQ(Graphics_D3D11_StateCache_SetGlobalAmbient(global), 0);
        // The lit colours from the material, whatever a started library left as the core's choice.
        const int32_t fromMaterial[3] = {0, 0, 0};
        ASSERT_EQ(Graphics_D3D11_StateCache_SetMaterialColorSource(fromMaterial), 0);
        Graphics_D3D11_StateCache_SetAlphaTestRef(0);
    }

    // The coloured directional light: from above and in front (N.L = 0.8 on the quad).
    static D3D11LightRecord Directional() {
        D3D11LightRecord light = {};
        light.Type = 3;
        light.Direction[0] = 0, light.Direction[1] = 0.6f, light.Direction[2] = 0.8f;
        light.Diffuse[0] = 1, light.Diffuse[1] = 0.5f, light.Diffuse[2] = 1;
        light.Ambient[0] = 0.1f, light.Ambient[1] = 0.2f, light.Ambient[2] = 0.3f;
        return light;
    }
};

// global x material ambient + light diffuse x material diffuse x 0.8 + light ambient x material ambient
const uint32_t LitColour = Word(0.02f + 0.64f + 0.02f, 0.02f + 0.24f + 0.04f, 0.02f + 0.32f + 0.06f, 1.0f);

}  // namespace

TEST_F(Lit3DShaderTest, ADirectionalLightGivesTheLitColourPerVertex) {
    SetScene();
    const D3D11LightRecord light = Directional();
    ASSERT_EQ(Graphics_D3D11_StateCache_SetLight(0, &light), 0);
    ASSERT_EQ(Graphics_D3D11_StateCache_SetLightEnable(0, 1), 0);
    const D3D11Lit3DKeys keys = {0, 1, {3, 0, 0, 0, 0, 0}, 0, 0, 0, 0};
    const std::vector<uint32_t> pixels = DrawLitQuad(keys);
    ASSERT_EQ(pixels.size(), 16u);
    for (int p = 0; p < 16; ++p) EXPECT_TRUE(Near(pixels[p], LitColour, 2)) << p << std::hex << ": " << pixels[p] << " for " << LitColour;
    // Without lighting the unlit shaders draw the vertex colour (0xC8E68C3C: r 230, g 140, b 60, a 200).
    const D3D11Lit3DKeys unlit = {0, 0, {3, 0, 0, 0, 0, 0}, 0, 0, 0, 0};
    const std::vector<uint32_t> plain = DrawLitQuad(unlit);
    ASSERT_EQ(plain.size(), 16u);
    EXPECT_TRUE(Near(plain[5], 0xC83C8CE6, 1)) << std::hex << plain[5];
}

TEST_F(Lit3DShaderTest, FourLightsPerPixelReadTheirConstantsThroughTheLightTable) {
    SetScene();
    // Lights 0-2 give nothing (point, spot, directional, all black); light 3 is the coloured one.
    D3D11LightRecord black = {};
    black.Range = 100, black.Attenuation[0] = 1, black.Phi = 1, black.Theta = 0.5f, black.Falloff = 1;
    black.Direction[2] = 1;
    for (int i = 0; i < 3; ++i) {
        black.Type = i + 1;
        ASSERT_EQ(Graphics_D3D11_StateCache_SetLight(i, &black), 0);
        ASSERT_EQ(Graphics_D3D11_StateCache_SetLightEnable(i, 1), 0);
    }
    const D3D11LightRecord light = Directional();
    ASSERT_EQ(Graphics_D3D11_StateCache_SetLight(3, &light), 0);
    ASSERT_EQ(Graphics_D3D11_StateCache_SetLightEnable(3, 1), 0);
    const D3D11Lit3DKeys keys = {0, 1, {1, 2, 3, 3, 0, 0}, 0, 0, 0, 0};
    D3D11Lit3DChoice choice;
    ASSERT_EQ(Graphics_D3D11_Shader_Lit3DChoose(&keys, &choice), 0);
    EXPECT_EQ(choice.PerPixel, 1);
    const std::vector<uint32_t> pixels = DrawLitQuad(keys);
    ASSERT_EQ(pixels.size(), 16u);
    for (int p = 0; p < 16; ++p) EXPECT_TRUE(Near(pixels[p], LitColour, 2)) << p << std::hex << ": " << pixels[p] << " for " << LitColour;
}

// Every one of the 2,822 shaders, each made once on first use (about 3 s under Wine).
TEST_F(Lit3DShaderTest, TheDeviceCreatesEveryShaderOfThePackOnFirstUse) {
    ASSERT_EQ(Graphics_D3D11_ShaderCode_Base3DInitialize(), 1);
    int made = 0, tried = 0;
    for (int i = 0; i < D3D11LIT3D_COUNT; ++i) {
        const bool vertex = i < D3D11LIT3D_PER_PIXEL_PS || (i >= D3D11LIT3D_SHADOW_VS && i < D3D11LIT3D_SHADOW_PS);
        ++tried;
        const bool ok = vertex ? Graphics_D3D11_Shader_GetLit3DVertexShader(i) != nullptr : Graphics_D3D11_Shader_GetLit3DPixelShader(i) != nullptr;
        made += ok;
        EXPECT_TRUE(ok) << i;
        // Made once: the second call hands back the same object.
        if (ok && vertex) {
            EXPECT_EQ(Graphics_D3D11_Shader_GetLit3DVertexShader(i), D3D11ShaderObjects.Lit3DVertexShader[i]);
        } else if (ok) {
            EXPECT_EQ(Graphics_D3D11_Shader_GetLit3DPixelShader(i), D3D11ShaderObjects.Lit3DPixelShader[i]);
        }
    }
    EXPECT_EQ(tried, D3D11LIT3D_COUNT);
    EXPECT_EQ(D3D11CallState.ObjectCount[D3D11OBJ_VERTEX_SHADER], 8 + 2 + 8 + 2 + 4 + 160);
    EXPECT_EQ(made, tried);
    // Entries of the other kind are refused.
    EXPECT_EQ(Graphics_D3D11_Shader_GetLit3DPixelShader(D3D11LIT3D_UNLIT_VS), nullptr);
    EXPECT_EQ(Graphics_D3D11_Shader_GetLit3DVertexShader(D3D11LIT3D_UNLIT_PS), nullptr);
    EXPECT_EQ(Graphics_D3D11_Shader_GetLit3DVertexShader(D3D11LIT3D_COUNT), nullptr);
}

// A point light just in front of the eye, per pixel (with three black lights), and linear fog halfway:
// each pixel gets N.L = 1 / distance, then half the fog colour.
TEST_F(Lit3DShaderTest, APointLightFallsOffAcrossTheQuadAndLinearFogMixesInItsColour) {
    SetScene();
    D3D11LightRecord black = {};
    black.Type = 3;
    black.Direction[2] = 1;
    for (int i = 1; i < 4; ++i) {
        ASSERT_EQ(Graphics_D3D11_StateCache_SetLight(i, &black), 0);
        ASSERT_EQ(Graphics_D3D11_StateCache_SetLightEnable(i, 1), 0);
    }
    D3D11LightRecord point = {};
    point.Type = 1;
    point.Position[2] = -0.5f;
    point.Range = 100;
    point.Attenuation[0] = 1;
    point.Diffuse[0] = point.Diffuse[1] = point.Diffuse[2] = 1;
    ASSERT_EQ(Graphics_D3D11_StateCache_SetLight(0, &point), 0);
    ASSERT_EQ(Graphics_D3D11_StateCache_SetLightEnable(0, 1), 0);
    ASSERT_EQ(Graphics_D3D11_StateCache_SetFogEnable(1), 0);
    ASSERT_EQ(Graphics_D3D11_StateCache_SetFogColor(0x00FF0000), 0);   // red
    ASSERT_EQ(Graphics_D3D11_StateCache_SetFogStartEnd(0.0f, 1.0f), 0);
    const D3D11Lit3DKeys keys = {0, 1, {1, 3, 3, 3, 0, 0}, 3, 0, 0, 0};
    const std::vector<uint32_t> pixels = DrawLitQuad(keys);
    ASSERT_EQ(pixels.size(), 16u);
    const float diffuse[3] = {0.8f, 0.6f, 0.4f}, fog[3] = {1, 0, 0};
    for (int p = 0; p < 16; ++p) {
        // Pixel centres in clip space = view space (identity matrices); the quad lies at z 0.5.
        const float x = -0.75f + 0.5f * (p % 4), y = 0.75f - 0.5f * (p / 4);
        const float ndl = 1.0f / std::sqrt(x * x + y * y + 1.0f);
        float c[3];
        for (int i = 0; i < 3; ++i) c[i] = 0.5f * (0.02f + diffuse[i] * ndl) + 0.5f * fog[i];
        const uint32_t want = Word(c[0], c[1], c[2], 1.0f);
        EXPECT_TRUE(Near(pixels[p], want, 2)) << p << std::hex << ": " << pixels[p] << " for " << want;
    }
}

// Shadow maps, per vertex: slot 0 holds depth 0.2 over the whole quad (at depth 0.5 through an identity
// light matrix) and casts for light 0, so the light is shadowed until the slot's depth adjustment
// (0.5) lifts the stored depth past the quad; slots 1 and 2 are empty (their matrices rows of
// (0, 0, 0, -1), adjustment 1.0) and never shadow.
TEST_F(Lit3DShaderTest, AShadowMapSlotShadowsTheLightItCastsFor) {
    SetScene();
    const D3D11LightRecord light = Directional();
    ASSERT_EQ(Graphics_D3D11_StateCache_SetLight(0, &light), 0);
    ASSERT_EQ(Graphics_D3D11_StateCache_SetLightEnable(0, 1), 0);
    ShaderTexture depth;
    ASSERT_TRUE(depth.Create(1, 1, std::vector<uint32_t>(1, 51)));   // red 0.2
    ASSERT_EQ(Graphics_D3D11_StateCache_SetPSShaderResources(8, 1, &depth.View), 0);
    float* matrices = Graphics_D3D11_ConstantBuffer_Float(D3D11CB_VS_TEXTURE, 0);
    for (int i = 0; i < 16; ++i) matrices[i] = i % 5 == 0 ? 1.0f : 0.0f;
    for (int i = 16; i < 48; ++i) matrices[i] = i % 4 == 3 ? -1.0f : 0.0f;
    D3D11ConstantBufferState.Standard[D3D11CB_VS_TEXTURE]->Changed = 1;
    float* slots = Graphics_D3D11_ConstantBuffer_Float(D3D11CB_PS_3D, 0);
    const float params[3][5] = {{0.0f, 0, 1, 0, 0}, {1.0f, 0, 1, 1, 1}, {1.0f, 0, 1, 1, 1}};
    for (int s = 0; s < 3; ++s) memcpy(slots + 8 * s, params[s], sizeof(params[s]));
    D3D11ConstantBufferState.Standard[D3D11CB_PS_3D]->Changed = 1;
    const D3D11Lit3DKeys keys = {0, 1, {3, 0, 0, 0, 0, 0}, 0, 1, 0, 0};
    const std::vector<uint32_t> shadowed = DrawLitQuad(keys);
    ASSERT_EQ(shadowed.size(), 16u);
    // Only the ambient terms: global x material ambient + light ambient x material ambient.
    const uint32_t ambient = Word(0.02f + 0.02f, 0.02f + 0.04f, 0.02f + 0.06f, 1.0f);
    for (int p = 0; p < 16; ++p) EXPECT_TRUE(Near(shadowed[p], ambient, 2)) << p << std::hex << ": " << shadowed[p];
    slots[0] = 0.5f;
    D3D11ConstantBufferState.Standard[D3D11CB_PS_3D]->Changed = 1;
    const std::vector<uint32_t> lit = DrawLitQuad(keys);
    ASSERT_EQ(lit.size(), 16u);
    for (int p = 0; p < 16; ++p) EXPECT_TRUE(Near(lit[p], LitColour, 2)) << p << std::hex << ": " << lit[p];
    ID3D11ShaderResourceView* none = nullptr;
    Graphics_D3D11_StateCache_SetPSShaderResources(8, 1, &none);
    depth.Release();
}

// The set-up a 3D draw runs picks the shaders and tells them what to read: the vertex colour in place of
// the material diffuse when the core takes it from the vertices, and the draw texture whenever one is
// bound (unlit too). Drawn through the generic draw of the lit vertex type on the 4 x 4 target.
TEST_F(Lit3DShaderTest, TheDrawSetUpHandsTheShadersTheVertexColourAndTheDrawTexture) {
    SetScene();
    Graphics_D3D11_NormalDraw_Reset();
    const D3D11LightRecord light = Directional();
    ASSERT_EQ(Graphics_D3D11_StateCache_SetLight(0, &light), 0);
    ASSERT_EQ(Graphics_D3D11_StateCache_SetLightEnable(0, 1), 0);
    ShaderTexture texture;
    ASSERT_TRUE(texture.Create(4, 4, std::vector<uint32_t>(16, 0xFFFFFF80)));   // red 0.5, the rest 1
    const float vertexColour[4] = {230 / 255.0f, 140 / 255.0f, 60 / 255.0f, 200 / 255.0f};   // DiffuseWord
    // With the diffuse from the vertices: global x ambient + light diffuse x vertex colour x 0.8 + light
    // ambient x ambient, and the vertex alpha.
    const uint32_t litVertex = Word(0.04f + vertexColour[0] * 0.8f, 0.06f + 0.5f * vertexColour[1] * 0.8f,
                                    0.08f + vertexColour[2] * 0.8f, vertexColour[3]);
    auto halfRed = [](uint32_t word) { return (word & 0xFFFFFF00u) | (((word & 0xFF) * 128 + 127) / 255); };
    struct Case {
        const char* What;
        int Lighting, DiffuseFromVertex, Textured;
        uint32_t Want;
    };
    const Case cases[] = {
        {"lit, material diffuse", 1, 0, 0, LitColour},
        {"lit, vertex diffuse", 1, 1, 0, litVertex},
        {"lit, material diffuse, textured", 1, 0, 1, halfRed(LitColour)},
        {"lit, vertex diffuse, textured", 1, 1, 1, halfRed(litVertex)},
        {"unlit, textured", 0, 0, 1, halfRed(0xC83C8CE6)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        ASSERT_EQ(Graphics_D3D11_Lighting_SetEnable(c.Lighting), 0);
        const int32_t sources[3] = {c.DiffuseFromVertex, 0, 0};
        ASSERT_EQ(Graphics_D3D11_StateCache_SetMaterialColorSource(sources), 0);
        ASSERT_EQ(Graphics_D3D11_StateCache_SetDrawTexture(c.Textured ? texture.Object : nullptr,
                                                           c.Textured ? texture.View : nullptr),
                  0);
        Graphics_D3D11_StateCache_SetRenderTarget(target.Texture, target.View, 0);
        Graphics_D3D11_StateCache_SetViewportRect(0, 0, 4, 4);
        uint8_t vertices[6 * 48];
        StartLitQuad(vertices);
        ASSERT_EQ(Graphics_D3D11_GenericDraw_DrawVertices(5, D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST, vertices, 6, 1), 0);
        const std::vector<uint32_t> pixels = target.Read();
        ASSERT_EQ(pixels.size(), 16u);
        for (int p = 0; p < 16; ++p)
            EXPECT_TRUE(Near(pixels[p], c.Want, 2)) << p << std::hex << ": " << pixels[p] << " for " << c.Want;
    }
    Graphics_D3D11_StateCache_SetDrawTexture(nullptr, nullptr);
    Graphics_D3D11_StateCache_SetPSSwitch(D3D11PS_SWITCH_USES_TEXTURE, 0);
    Graphics_D3D11_Lighting_SetEnable(0);
    ID3D11ShaderResourceView* none = nullptr;
    Graphics_D3D11_StateCache_SetPSShaderResources(0, 1, &none);
    texture.Release();
}
