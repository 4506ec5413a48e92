// The blend-mode table's choice of preset, shader and alpha test per blend mode and draw; the
// simple-transfer blit (exact copy, doubling with point sampling, the bilinear rule, the cached state
// sent back); and the draw preparation, checked through the state cache and the call layer's counts.
#include <gtest/gtest.h>

#include <cmath>

#include "BuiltInShaderSupport.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics_d3d11/VtGraphicsD3D11NormalDraw.h"
#include "image/VtBaseImage.h"
#include "image/VtMemImg.h"

using namespace Vantrel;
using namespace D3D11Test;

namespace {

D3D11NormalDrawInputs Textured(int mode) {
    D3D11NormalDrawInputs in = {};
    in.BlendMode = mode;
    in.Textured = 1;
    in.AlphaTestMode = -1;
    return in;
}

int TexturedEntry(int group, int type, int ignore, int opaque, int test) {
    return D3D11SHADER_TEXTURED_PS + group * 56 + type * 8 + ignore * 4 + opaque * 2 + test;
}

}  // namespace

TEST(D3D11BlendTable, EveryPresetPicksItsRowsShaderAndAlphaTest) {
    for (int mode = 0; mode < D3D11BlendPresetCount; ++mode) {
        const D3D11NormalDrawChoice c = Graphics_D3D11_NormalDraw_Choose(Textured(mode));
        const int preset = mode == 3 ? 16 : mode;
        const D3D11BlendModeRow& row = D3D11BlendModeTable[preset];
        EXPECT_EQ(c.Preset, preset) << mode;
        EXPECT_EQ(c.VertexKind, 1);
        EXPECT_EQ(c.PixelShader, TexturedEntry(0, row.ShaderType, 0, 1, 0)) << mode;
        const bool automatic = row.Blend.BlendEnable && row.DiscardTransparent;
        EXPECT_EQ(c.AlphaTestOn, automatic ? 1 : 0) << mode;
        if (automatic) { EXPECT_EQ(c.AlphaFunc * 1000 + c.AlphaRef, 5000) << mode; }
    }
}

TEST(D3D11BlendTable, TheDrawsFlagsAndSwitchesChooseThePresetAndShader) {
    struct Case {
        const char* What;
        D3D11NormalDrawInputs In;
        int Preset, Kind, Shader, TestOn, Func, Ref, Skip;
    };
    auto in = [](int mode, int textured, int alpha, int cut, int graph, int kind, int p0, int p1, int pma, int depth,
                 int testMode, int testRef, int ignore) {
        D3D11NormalDrawInputs i = {};
        i.BlendMode = mode, i.Textured = textured, i.AlphaChannel = alpha, i.CutOut = cut, i.BlendGraph = graph;
        i.BlendGraphKind = kind, i.BlendGraphParams[0] = p0, i.BlendGraphParams[1] = p1, i.Premultiplied = pma;
        i.DepthEnabled = depth, i.AlphaTestMode = testMode, i.AlphaTestRef = testRef, i.IgnoreTextureColor = ignore;
        return i;
    };
    const int U = D3D11SHADER_UNTEXTURED_PS;
    const Case cases[] = {
        {"mode 0 with an alpha channel blends with the automatic test", in(0, 1, 1, 0, 0, 0, 0, 0, 0, 1, -1, 0, 0), 1, 1, TexturedEntry(0, 0, 0, 0, 0), 1, 5, 0, 0},
        {"mode 0 opaque without depth", in(0, 1, 0, 0, 0, 0, 0, 0, 0, 0, -1, 0, 0), 0, 1, TexturedEntry(0, 0, 0, 1, 0), 0, 0, 0, 0},
        {"mode 0 opaque with depth keeps the texture's alpha", in(0, 1, 0, 0, 0, 0, 0, 0, 0, 1, -1, 0, 1), 0, 1, TexturedEntry(0, 0, 1, 0, 0), 0, 0, 0, 0},
        {"a cut-out texture gets reference 16", in(0, 1, 0, 1, 0, 0, 0, 0, 0, 0, -1, 0, 0), 0, 1, TexturedEntry(0, 0, 0, 0, 0), 1, 5, 16, 0},
        {"the user's test wins and sets the test bit", in(1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 7, 99, 0), 1, 1, TexturedEntry(0, 0, 0, 0, 1), 1, 7, 99, 0},
        {"mode 3 is reverse subtraction", in(3, 1, 0, 0, 0, 0, 0, 0, 0, 0, -1, 0, 0), 16, 1, TexturedEntry(0, 0, 0, 1, 0), 1, 5, 0, 0},
        {"premultiplied mode 0 untextured", in(0, 0, 0, 0, 0, 0, 0, 0, 1, 0, -1, 0, 0), 14, 0, U + 0, 0, 0, 0, 0},
        {"premultiplied mode 0 textured with alpha", in(0, 1, 1, 0, 0, 0, 0, 0, 1, 0, -1, 0, 0), 1, 1, TexturedEntry(0, 0, 0, 0, 0), 1, 5, 0, 0},
        {"untextured with the user's test", in(17, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 40, 0), 17, 0, U + 1, 1, 2, 40, 0},
        {"blend graph kind 0", in(1, 1, 0, 0, 1, 0, 51, 0, 0, 0, -1, 0, 0), 1, 2, TexturedEntry(1, 0, 0, 1, 0), 1, 5, 0, 0},
        {"blend graph kind 1 at 255 draws nothing", in(0, 1, 0, 0, 1, 1, 255, 100, 0, 0, -1, 0, 0), 1, 2, TexturedEntry(2, 0, 0, 1, 0), 0, 0, 0, 1},
        {"blend graph kind 1 one step wide", in(0, 1, 1, 0, 1, 1, 0, 1, 0, 0, -1, 0, 0), 0, 2, TexturedEntry(2, 0, 0, 0, 1), 1, 7, 1, 0},
        {"blend graph kind 2", in(17, 1, 0, 0, 1, 2, 0, 0, 0, 0, -1, 0, 0), 17, 2, TexturedEntry(3, 4, 0, 1, 0), 1, 5, 0, 0},
    };
    for (const Case& c : cases) {
        const D3D11NormalDrawChoice got = Graphics_D3D11_NormalDraw_Choose(c.In);
        EXPECT_EQ(got.Preset, c.Preset) << c.What;
        EXPECT_EQ(got.VertexKind, c.Kind) << c.What;
        EXPECT_EQ(got.PixelShader, c.Shader) << c.What;
        EXPECT_EQ(got.AlphaTestOn, c.TestOn) << c.What;
        if (c.TestOn) { EXPECT_EQ(got.AlphaFunc * 1000 + got.AlphaRef, c.Func * 1000 + c.Ref) << c.What; }
        EXPECT_EQ(got.SkipDraw, c.Skip) << c.What;
    }
    // Kind 1 border constants: everything shown at 0, nothing at 255 (alpha = saturate((b + x) s)).
    D3D11NormalDrawInputs border = in(0, 1, 0, 0, 1, 1, 0, 64, 0, 0, -1, 0, 0);
    for (int param : {0, 128, 255}) {
        border.BlendGraphParams[0] = param;
        const D3D11NormalDrawChoice got = Graphics_D3D11_NormalDraw_Choose(border);
        const float black = std::min(1.0f, std::max(0.0f, got.BaseConstants[3] * got.BaseConstants[2]));
        const float white = std::min(1.0f, std::max(0.0f, (1.0f + got.BaseConstants[3]) * got.BaseConstants[2]));
        EXPECT_EQ(got.BaseConstants[2], 4.0f);
        if (param == 0) { EXPECT_EQ(black, 1.0f); }
        if (param == 255) { EXPECT_EQ(white, 0.0f); }
        if (param == 128) { EXPECT_TRUE(black == 0.0f && white == 1.0f); }
    }
}

TEST_F(BuiltInShaderTest, BlitCopiesExactlyDoublesWithPointSamplingAndFollowsTheBilinearRule) {
    std::vector<uint32_t> pixels(64);
    for (int i = 0; i < 64; ++i) pixels[i] = 0x01000193u * (uint32_t)(i + 7) ^ 0x5A3C9617u;
    ShaderTexture source, destination;
    ASSERT_TRUE(source.Create(8, 8, pixels));
    ASSERT_TRUE(destination.Create(8, 8, std::vector<uint32_t>(64, 0), true));
    Target reader;
    reader.Texture = destination.Object, reader.Width = 8, reader.Height = 8;
    auto blit = [&](const RECT* from, const RECT* to, int linear, ShaderTexture& src) {
        return Graphics_D3D11_ShaderBlit(src.Object, src.View, from, destination.Object, destination.Target, to, linear,
                                         0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0);
    };
    // The cached bindings the blit must send back afterwards.
    ASSERT_EQ(Graphics_D3D11_StateCache_SetRenderTarget(target.Texture, target.View, 0), 0);
    ASSERT_EQ(Graphics_D3D11_StateCache_SetViewportRect(0, 0, 4, 4), 0);
    const uint32_t draws = D3D11VertexBatch.DrawCalls;
    ASSERT_EQ(blit(nullptr, nullptr, 0, source), 0);
    EXPECT_EQ(D3D11VertexBatch.DrawCalls, draws + 1) << "the blit's draw is counted with the others";
    EXPECT_EQ(reader.Read(), pixels);

    // A rectangle of the source to a rectangle of the same size elsewhere: those texels exactly,
    // everything outside left as it was.
    const RECT from = {2, 3, 6, 7}, to = {1, 0, 5, 4};
    ASSERT_EQ(blit(&from, &to, 0, source), 0);
    std::vector<uint32_t> moved = pixels;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) moved[y * 8 + x + 1] = pixels[(y + 3) * 8 + x + 2];
    EXPECT_EQ(reader.Read(), moved);

    const RECT quarter = {0, 0, 4, 4};
    ASSERT_EQ(blit(&quarter, nullptr, 0, source), 0);
    std::vector<uint32_t> doubled = reader.Read();
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(doubled[y * 8 + x], pixels[(y / 2) * 8 + x / 2]) << x << "," << y;

    // A 2 x 1 source stretched over 8 pixels: texel centres at 2 and 6, clamped outside.
    ShaderTexture pair;
    ASSERT_TRUE(pair.Create(2, 1, {0xFF000000, 0xFFFFFFFF}));
    ASSERT_EQ(blit(nullptr, nullptr, 1, pair), 0);
    const std::vector<uint32_t> stretched = reader.Read();
    for (int x = 0; x < 8; ++x) {
        const float t = std::min(1.0f, std::max(0.0f, ((x + 0.5f) / 8.0f * 2.0f - 0.5f)));
        const int want = (int)std::lround(t * 255.0f);
        EXPECT_LE(std::abs((int)(stretched[x] & 0xFF) - want), 2) << x;
    }
    ID3D11RenderTargetView* bound = nullptr;
    D3D11CallState.Context->OMGetRenderTargets(1, &bound, nullptr);
    EXPECT_EQ(bound, target.View);
    if (bound != nullptr) bound->Release();
    D3D11_VIEWPORT viewport = {};
    UINT count = 1;
    D3D11CallState.Context->RSGetViewports(&count, &viewport);
    EXPECT_EQ(viewport.Width, 4.0f);
    pair.Release();
    destination.Release();
    source.Release();
}

// ---- Draw preparation ----

namespace {

class DrawPreparationTest : public BuiltInShaderTest {
protected:
    ShaderTexture texture;
    void SetUp() override {
        BuiltInShaderTest::SetUp();
        Graphics_D3D11_NormalDraw_Reset();
        DrawSettings = {};
        for (int i = 0; i < 16; ++i) DrawSettings.AddressModeU[i] = DrawSettings.AddressModeV[i] = 3;
        DrawSettings.AlphaTestMode = -1;
        DrawSettings.MaxAnisotropy = 1;
        DrawSettings.DepthNormal[2] = DrawSettings.Depth3D[2] = 4;
        ASSERT_TRUE(texture.Create(4, 4, std::vector<uint32_t>(16, 0x80FFFFFF)));
    }
    void TearDown() override {
        texture.Release();
        Graphics_D3D11_NormalDraw_Reset();
        BuiltInShaderTest::TearDown();
    }
    uint32_t TotalCalls() {
        uint32_t total = 0;
        for (uint32_t n : D3D11CallState.ContextCalls) total += n;
        return total;
    }
};

const uint32_t GraphAtWholePosition = DRAWPREP_TEXTURED | DRAWPREP_TRANS | DRAWPREP_ALPHA_CHANNEL | DRAWPREP_PIXEL_EXACT;

}  // namespace

TEST_F(DrawPreparationTest, ATexturedAlphaDrawGetsAlphaBlendingAndASecondIdenticalDrawPreparesNothing) {
    ASSERT_EQ(Graphics_D3D11_StateCache_SetDrawTexture(texture.Object, texture.View), 0);
    ASSERT_TRUE(Graphics_D3D11_DrawStateNeedsPrepare(GraphAtWholePosition));
    Graphics_D3D11_PrepareDrawState(GraphAtWholePosition);
    EXPECT_EQ(D3D11StateCache.BlendKey.Selector, 1);
    EXPECT_EQ(D3D11StateCache.PixelShader, D3D11ShaderObjects.PixelShader[TexturedEntry(0, 0, 0, 0, 0)]);
    EXPECT_EQ(D3D11StateCache.AlphaTestFunc, 5);
    EXPECT_EQ(D3D11StateCache.AlphaTestRef, 0);
    EXPECT_EQ(D3D11StateCache.PSResources[0], texture.View);
    EXPECT_EQ(D3D11VertexBatch.Kind, 1);
    EXPECT_EQ(D3D11StateCache.RasterizerDesc.CullMode, D3D11_CULL_NONE);
    EXPECT_EQ(D3D11StateCache.DepthStencilDesc.DepthEnable, FALSE);
    Graphics_D3D11_StateCache_ApplyPending();

    // The same draw again (the setters of the first marked the state changed): it changes nothing and
    // reaches the device not at all; after it the flag word alone decides, and the third draw skips.
    ASSERT_TRUE(Graphics_D3D11_DrawStateNeedsPrepare(GraphAtWholePosition));
    const uint32_t calls = TotalCalls(), draws = D3D11VertexBatch.DrawCalls;
    Graphics_D3D11_PrepareDrawState(GraphAtWholePosition);
    Graphics_D3D11_StateCache_ApplyPending();
    EXPECT_EQ(TotalCalls(), calls);
    EXPECT_EQ(D3D11VertexBatch.DrawCalls, draws);
    EXPECT_FALSE(Graphics_D3D11_DrawStateNeedsPrepare(GraphAtWholePosition));
    EXPECT_TRUE(Graphics_D3D11_DrawStateNeedsPrepare(GraphAtWholePosition | DRAWPREP_FOG));

    // Fractional position with bilinear filtering blends too; a cut-out graph at a whole position is tested.
    DrawSettings.DrawMode = 1;
    Graphics_D3D11_PrepareDrawState(DRAWPREP_TEXTURED | DRAWPREP_TRANS | DRAWPREP_CUT_OUT);
    EXPECT_EQ(D3D11StateCache.BlendKey.Selector, 1);
    EXPECT_EQ(D3D11StateCache.SamplerDesc[0].Filter, D3D11_FILTER_MIN_MAG_MIP_LINEAR);
    Graphics_D3D11_PrepareDrawState(DRAWPREP_TEXTURED | DRAWPREP_TRANS | DRAWPREP_CUT_OUT | DRAWPREP_PIXEL_EXACT);
    EXPECT_EQ(D3D11StateCache.BlendKey.Selector, 0);
    EXPECT_EQ(D3D11StateCache.AlphaTestRef, 16);

    // Untextured shapes: the texture goes, the set-up runs again with the untextured shader.
    ASSERT_EQ(Graphics_D3D11_StateCache_SetDrawTexture(nullptr, nullptr), 0);
    Graphics_D3D11_PrepareDrawState(DRAWPREP_SHAPE_2D);
    EXPECT_EQ(D3D11VertexBatch.Kind, 0);
    EXPECT_EQ(D3D11StateCache.PixelShader, D3D11ShaderObjects.PixelShader[D3D11SHADER_UNTEXTURED_PS]);
}

TEST_F(DrawPreparationTest, SetsExactlyTheStateTheSettingsName) {
    DrawSettings.DepthNormal[0] = 1, DrawSettings.DepthNormal[1] = 1, DrawSettings.DepthNormal[2] = 2;
    DrawSettings.Depth3D[0] = 1, DrawSettings.Depth3D[1] = 0, DrawSettings.Depth3D[2] = 7, DrawSettings.Depth3D[3] = 3;
    DrawSettings.CullMode = 1;
    DrawSettings.AddressModeU[3] = 1, DrawSettings.AddressModeV[3] = 3;
    DrawSettings.AddressModeU[5] = DrawSettings.AddressModeV[5] = 4;
    DrawSettings.MaxAnisotropy = 16;
    DrawSettings.BlendMode = 2;
    Graphics_D3D11_PrepareDrawState(DRAWPREP_SHAPE_2D);
    const D3D11StateCacheRecord& cache = D3D11StateCache;
    EXPECT_EQ(cache.DepthStencilDesc.DepthEnable, TRUE);
    EXPECT_EQ(cache.DepthStencilDesc.DepthWriteMask, D3D11_DEPTH_WRITE_MASK_ALL);
    EXPECT_EQ(cache.DepthStencilDesc.DepthFunc, D3D11_COMPARISON_LESS);
    EXPECT_EQ(cache.RasterizerDesc.CullMode, D3D11_CULL_NONE);  // no culling flag
    for (int slot = 0; slot < 5; ++slot) EXPECT_EQ(cache.SamplerDesc[slot].AddressU, D3D11_TEXTURE_ADDRESS_CLAMP);
    EXPECT_EQ(cache.BlendKey.Selector, 2);
    EXPECT_EQ(cache.AllMaxAnisotropy, 16);

    Graphics_D3D11_PrepareDrawState(DRAWPREP_SHAPE_2D | DRAWPREP_DEPTH_3D | DRAWPREP_CULLING | DRAWPREP_ADDRESS_MODES);
    EXPECT_EQ(cache.DepthStencilDesc.DepthWriteMask, D3D11_DEPTH_WRITE_MASK_ZERO);
    EXPECT_EQ(cache.DepthStencilDesc.DepthFunc, D3D11_COMPARISON_GREATER_EQUAL);
    EXPECT_EQ(cache.RasterizerDesc.DepthBias, 3);
    EXPECT_EQ(cache.RasterizerDesc.CullMode, D3D11_CULL_BACK);
    EXPECT_EQ(cache.SamplerDesc[3].AddressU, D3D11_TEXTURE_ADDRESS_WRAP);
    EXPECT_EQ(cache.SamplerDesc[3].AddressV, D3D11_TEXTURE_ADDRESS_CLAMP);
    EXPECT_EQ(cache.SamplerDesc[5].AddressU, D3D11_TEXTURE_ADDRESS_BORDER);
    EXPECT_EQ(cache.SamplerDesc[5].AddressV, D3D11_TEXTURE_ADDRESS_BORDER);

    // Through the call layer: the next draw sends the rasterizer, depth and blend objects once each.
    D3D11Call_ResetContextCallCounts();
    ASSERT_TRUE(AddBox(0, 0, 2, 2, 0xFFFFFFFF));
    Graphics_D3D11_VertexBatch_Flush(-1, 0);
    EXPECT_EQ(D3D11CallState.ContextCalls[D3D11CALL_RSSetState], 1u);
    EXPECT_EQ(D3D11CallState.ContextCalls[D3D11CALL_OMSetDepthStencilState], 1u);
    EXPECT_EQ(D3D11CallState.ContextCalls[D3D11CALL_OMSetBlendState], 1u);
    EXPECT_EQ(D3D11CallState.ContextCalls[D3D11CALL_Draw], 1u);

    // Only the blend mode changes: the next draw reaches the device with the blend state alone.
    DrawSettings.BlendMode = 1;
    DrawSettings.StateChanged = 1;
    const uint32_t flags = DRAWPREP_SHAPE_2D | DRAWPREP_DEPTH_3D | DRAWPREP_CULLING | DRAWPREP_ADDRESS_MODES;
    ASSERT_TRUE(Graphics_D3D11_DrawStateNeedsPrepare(flags));
    Graphics_D3D11_PrepareDrawState(flags);
    D3D11Call_ResetContextCallCounts();
    ASSERT_TRUE(AddBox(0, 0, 2, 2, 0xFFFFFFFF));
    Graphics_D3D11_VertexBatch_Flush(-1, 0);
    EXPECT_EQ(D3D11CallState.ContextCalls[D3D11CALL_OMSetBlendState], 1u);
    EXPECT_EQ(D3D11CallState.ContextCalls[D3D11CALL_RSSetState], 0u);
    EXPECT_EQ(D3D11CallState.ContextCalls[D3D11CALL_OMSetDepthStencilState], 0u);
    EXPECT_EQ(D3D11CallState.ContextCalls[D3D11CALL_PSSetSamplers], 0u);
}

// The blend modes that the software road draws too, checked against it: a textured draw with an alpha
// channel through the draw preparation (mode 0 alpha-blends it, mode 1 with the blend parameter as
// the vertex alpha) lands on the device as the memory-image blend puts it on the same destination.
TEST_F(DrawPreparationTest, AlphaBlendModesMatchTheSoftwareBlend) {
    ASSERT_EQ(MemImg_Initialize(), 0);
    uint32_t seed = 99;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    std::vector<uint32_t> sourceArgb(16), destinationArgb(16);
    for (int i = 0; i < 16; ++i) {
        sourceArgb[i] = next();
        if (i % 4 == 0) sourceArgb[i] &= 0x00FFFFFF;   // transparent, opaque and translucent texels
        if (i % 4 == 1) sourceArgb[i] |= 0xFF000000u;
        destinationArgb[i] = next() | 0xFF000000u;
    }
    // R8G8B8A8 texels are 0xAABBGGRR words.
    auto toRgba = [](uint32_t argb) { return (argb & 0xFF00FF00u) | (argb >> 16 & 0xFF) | (argb & 0xFF) << 16; };
    std::vector<uint32_t> sourceRgba(16), destinationRgba(16);
    for (int i = 0; i < 16; ++i) sourceRgba[i] = toRgba(sourceArgb[i]), destinationRgba[i] = toRgba(destinationArgb[i]);
    ShaderTexture source, destination;
    ASSERT_TRUE(source.Create(4, 4, sourceRgba));
    ASSERT_TRUE(destination.Create(4, 4, destinationRgba));

    struct Case {
        int Mode, Param;
    };
    for (const Case c : {Case{0, 255}, Case{1, 255}, Case{1, 128}, Case{1, 40}}) {
        SCOPED_TRACE(c.Mode * 1000 + c.Param);
        // The software road.
        BaseImage sourceImage = {};
        ASSERT_EQ(BaseImage_CreateARGB8(4, 4, &sourceImage), 0);
        memcpy(sourceImage.pixels, sourceArgb.data(), 64);
        MEMIMG soft = {}, softTarget = {};
        ASSERT_EQ(MemImg_Setup(&soft, 4, 4, -1, 0, MemImgColorType_XRGB8, 0, 1, 0, nullptr), 0);
        ASSERT_EQ(MemImg_BltBaseImage(&sourceImage, nullptr, &soft, 0, 0, 4, 4, 0, 0, 0), 0);
        ASSERT_EQ(MemImg_SetupWithDefaults(&softTarget, 4, 4, MemImgColorType_XRGB8), 0);
        for (int y = 0; y < 4; ++y) memcpy((uint8_t*)softTarget.pixels + y * softTarget.body->pitch, &destinationArgb[y * 4], 16);
        const int32_t area[4] = {0, 0, 4, 4};
        MemImg_SetDrawArea(area);
        MemImg_SetBlendMode(c.Mode, c.Param);
        MemImg_SetDrawBright(0xFFFFFF);
        ASSERT_EQ(MemImg_DrawImage(&softTarget, &soft, 0, 0, 0), 0);

        // The device: the destination copied into the target, then one textured quad.
        ASSERT_EQ(Graphics_D3D11_ShaderBlit(destination.Object, destination.View, nullptr, target.Texture, target.View,
                                            nullptr, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                            nullptr, 0),
                  0);
        float projection[16];
        PixelProjection(projection, 4, 4);
        ASSERT_EQ(Graphics_D3D11_StateCache_SetRenderTarget(target.Texture, target.View, 0), 0);
        ASSERT_EQ(Graphics_D3D11_StateCache_SetViewportRect(0, 0, 4, 4), 0);
        ASSERT_EQ(Graphics_D3D11_StateCache_Set2DProjectionMatrix(projection), 0);
        ASSERT_EQ(Graphics_D3D11_StateCache_SetDrawTexture(source.Object, source.View), 0);
        DrawSettings.BlendMode = c.Mode;
        DrawSettings.StateChanged = 1;
        Graphics_D3D11_PrepareDrawState(GraphAtWholePosition);
        ASSERT_EQ(D3D11VertexBatch.Kind, 1);
        const uint32_t colour = (uint32_t)c.Param << 24 | 0xFFFFFF;
        const float corners[4][2] = {{0, 0}, {4, 0}, {0, 4}, {4, 4}};
        const int order[6] = {0, 1, 2, 3, 2, 1};
        uint8_t* at = Graphics_D3D11_VertexBatch_Reserve(6);
        ASSERT_NE(at, nullptr);
        for (int i = 0; i < 6; ++i) {
            const float* p = corners[order[i]];
            const float vertex[4] = {p[0], p[1], 0, 1}, uv[2] = {p[0] / 4, p[1] / 4};
            memcpy(at + i * 28, vertex, 16);
            memcpy(at + i * 28 + 16, &colour, 4);
            memcpy(at + i * 28 + 20, uv, 8);
        }
        Graphics_D3D11_VertexBatch_Commit(6);
        ASSERT_EQ(Graphics_D3D11_VertexBatch_Flush(-1, 0), 0);
        const std::vector<uint32_t> drawn = target.Read();
        ASSERT_EQ(drawn.size(), 16u);
        int changed = 0;
        for (int i = 0; i < 16; ++i) {
            changed += (drawn[i] & 0xFFFFFF) != (destinationRgba[i] & 0xFFFFFF);
            uint32_t expected;
            memcpy(&expected, (const uint8_t*)softTarget.pixels + (i / 4) * softTarget.body->pitch + (i % 4) * 4, 4);
            const uint32_t got = drawn[i];
            for (int channel = 0; channel < 3; ++channel) {   // red, green, blue
                const int want = (int)(expected >> (16 - 8 * channel) & 0xFF), have = (int)(got >> (8 * channel) & 0xFF);
                EXPECT_LE(std::abs(want - have), 1) << "pixel " << i << " channel " << channel << std::hex << ": "
                                                    << got << " against " << expected;
            }
        }
        EXPECT_GE(changed, 10);   // all but the transparent texels show
        MemImg_Release(&softTarget);
        MemImg_Release(&soft);
        BaseImage_Release(&sourceImage);
    }
    MemImg_SetBlendMode(0, 0);
    const int32_t none[4] = {0, 0, 0, 0};
    MemImg_SetDrawArea(none);
    destination.Release();
    source.Release();
}
