// Built-in shaders on the device: every shader of the main and channel-mix packs is created; the
// fixed-function pixel shaders drawn on a 4 x 4 target give the colours of their shader type, switches
// and blend-graph kind (a software model of the same rules as the reference); the channel-mix shaders
// move channels as their index says; a damaged pack fails the set-up with its log line.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "BuiltInShaderSupport.h"
#include "graphics/VtGraphics.h"
#include "graphics_d3d11/VtGraphicsD3D11ShaderBlit.h"
#include "graphics_d3d11/VtGraphicsD3D11ShaderCode.h"
#include "tools/VtBuiltInShaders.h"
#include "tools/VtShaderAssemble.h"

using namespace Vantrel;
using namespace D3D11Test;

namespace {

struct Rgba {
    float R, G, B, A;
};

Rgba FromWord(uint32_t abgr) {  // R8G8B8A8 read little-endian
    return {(abgr & 0xFF) / 255.0f, (abgr >> 8 & 0xFF) / 255.0f, (abgr >> 16 & 0xFF) / 255.0f, (abgr >> 24) / 255.0f};
}

// The texels of the draw texture and of the blend graph: varied colours and alphas.
const uint32_t TexelWords[16] = {0xFF0000FF, 0x80FF8000, 0x00FFFFFF, 0x3C204080, 0xFFFFFFFF, 0xC8102030,
                                 0x64808080, 0x01FF00FF, 0xF0F0F0F0, 0x20304050, 0xA0A0C0E0, 0xFF000000,
                                 0x90406080, 0x40FFFFFF, 0xE0123456, 0x0A0A0A0A};
const uint32_t GraphWords[16] = {0xFF000000, 0x80404040, 0xFFFFFFFF, 0x20C0C0C0, 0xFF808080, 0x00202020,
                                 0xC0E0E0E0, 0x60101010, 0xFFA0A0A0, 0x40606060, 0x80FFFFFF, 0xFF303030,
                                 0x10F0F0F0, 0xE0505050, 0x90909090, 0xFFD0D0D0};
const Rgba Diffuse = {230 / 255.0f, 140 / 255.0f, 60 / 255.0f, 200 / 255.0f};
const uint32_t Sentinel = 0x04030201;      // what a discarded pixel keeps

// What a fixed-function pixel shader draws for one pixel, by the rules its generator documents;
// `discarded` when the alpha test refuses it, `nearEdge` when the alpha is too close to the reference
// for the decision to be checked.
Rgba Model(int group, int type, bool ignore, bool opaque, bool test, Rgba c, Rgba b, const float k[4], int func,
           float reference, bool& discarded, bool& nearEdge) {
    const bool pma = type >= 4;
    if (group < 0) c = {1, 1, 1, 1};
    if (opaque) c.A = 1;
    if (ignore) c.R = c.G = c.B = pma ? c.A : 1;
    if (group == 1) {
        c = {c.R + (b.R - c.R) * k[3], c.G + (b.G - c.G) * k[3], c.B + (b.B - c.B) * k[3], c.A + (b.A - c.A) * k[3]};
    } else if (group == 2 || group == 3) {
        float f = group == 2 ? std::min(1.0f, std::max(0.0f, (b.R + k[3]) * k[2])) : b.A;
        if (pma) c.R *= f, c.G *= f, c.B *= f;
        c.A *= f;
    }
    Rgba s = {c.R * Diffuse.R, c.G * Diffuse.G, c.B * Diffuse.B, c.A * Diffuse.A};
    auto each = [&](auto op) { s.R = op(s.R), s.G = op(s.G), s.B = op(s.B); };
    if (type == 1) each([&](float v) { return v * s.A + 1 - s.A; });
    if (type == 2) each([](float v) { return 1 - v; });
    if (type == 3) each([](float v) { return v * 4; });
    if (pma) each([](float v) { return v * Diffuse.A; });
    if (type == 5) each([&](float v) { return s.A - v; });
    if (type == 6) each([](float v) { return v * 4; });
    nearEdge = std::fabs(s.A - reference) < 1.5f / 255;
    if (!test) {
        discarded = s.A <= reference;
    } else {
        const int bits = func - 1;
        discarded = !(((bits & 1) && s.A < reference) || ((bits & 2) && s.A == reference) || ((bits & 4) && s.A > reference));
    }
    return s;
}

uint32_t ToWord(Rgba c) {
    auto unorm = [](float v) { return (uint32_t)std::lround(std::min(1.0f, std::max(0.0f, v)) * 255.0f); };
    return unorm(c.R) | unorm(c.G) << 8 | unorm(c.B) << 16 | unorm(c.A) << 24;
}

bool Near(uint32_t a, uint32_t b, int tolerance) {
    for (int shift = 0; shift < 32; shift += 8)
        if (std::abs((int)(a >> shift & 0xFF) - (int)(b >> shift & 0xFF)) > tolerance) return false;
    return true;
}

}  // namespace

TEST(D3D11BuiltInShaderSources, TheDisassemblerReadsTheGeneratedShadersBackAndThePacksHoldThem) {
    ASSERT_EQ(Graphics_D3D11_ShaderCode_BaseInitialize(), 1);
    std::vector<VtBuiltIn::Source> sources = VtBuiltIn::MainPackSources();
    ASSERT_EQ((int)sources.size(), D3D11SHADER_MAIN_COUNT);
    const std::vector<VtBuiltIn::Source> mixes = VtBuiltIn::ChannelMixSources();
    ASSERT_EQ((int)mixes.size(), D3D11SHADER_CHANNEL_MIX_COUNT);
    for (int i = 0; i < D3D11SHADER_MAIN_COUNT + D3D11SHADER_CHANNEL_MIX_COUNT; ++i) {
        const bool main = i < D3D11SHADER_MAIN_COUNT;
        const VtBuiltIn::Source& source = main ? sources[i] : mixes[i - D3D11SHADER_MAIN_COUNT];
        VtShaderAsm::Assembler assembler;
        VtShaderAsm::Bytes code;
        ASSERT_TRUE(assembler.Assemble(source.second, code)) << source.first << ": " << assembler.Error;
        const D3D11ShaderCode packed = main ? Graphics_D3D11_ShaderCode_GetMain(i)
                                            : Graphics_D3D11_ShaderCode_GetChannelMix(i - D3D11SHADER_MAIN_COUNT);
        ASSERT_EQ(packed.Size, code.size()) << source.first;
        EXPECT_EQ(memcmp(packed.Code, code.data(), code.size()), 0) << source.first;
        // Every shader of both packs read back by the platform's disassembler.
        const std::string listing = Disassemble(code.data(), code.size());
        EXPECT_EQ(VtShaderAsm::InstructionLines(listing), VtShaderAsm::InstructionLines(source.second)) << source.first << ":\n" << listing;
    }
}

TEST_F(BuiltInShaderTest, EveryShaderOfBothPacksIsCreatedByTheDevice) {
    int made = 0;
    for (int i = 0; i < D3D11SHADER_MAIN_COUNT; ++i) {
        made += D3D11ShaderObjects.VertexShader[i] != nullptr || D3D11ShaderObjects.PixelShader[i] != nullptr;
        EXPECT_NE(Graphics_D3D11_ShaderCode_GetMain(i).Code, nullptr) << i;
    }
    EXPECT_EQ(made, D3D11SHADER_MAIN_COUNT);
    for (int type = 0; type < 8; ++type) {
        EXPECT_NE(D3D11StandardVertex.VertexShader[type], nullptr) << type;
        EXPECT_NE(D3D11StandardVertex.InputLayout[type], nullptr) << type;
    }
    EXPECT_NE(D3D11ShaderObjects.SimpleTransferLayout, nullptr);
    EXPECT_NE(D3D11ShaderObjects.SimpleTransferLayout8, nullptr);
    for (int i = 0; i < D3D11SHADER_CHANNEL_MIX_COUNT; ++i) {
        const D3D11ShaderCode code = Graphics_D3D11_ShaderCode_GetChannelMix(i);
        ASSERT_NE(code.Code, nullptr) << i;
        ID3D11PixelShader* shader = nullptr;
        EXPECT_EQ(D3D11Call_Device_CreatePixelShader(code.Code, code.Size, nullptr, &shader), S_OK) << i;
        D3D11Call_PixelShader_Release(shader);
    }
    EXPECT_EQ(D3D11CallState.ObjectCount[D3D11OBJ_PIXEL_SHADER], 14 + 224 + 10 + 1);
    EXPECT_EQ(D3D11CallState.ObjectCount[D3D11OBJ_VERTEX_SHADER], 8 + 2);
    const std::string log = ReadLog();
    EXPECT_NE(log.find(Utf8(u8"シェーダーコード関係の初期化.... 成功")), std::string::npos);
    EXPECT_NE(log.find(Utf8(u8"各種 ID3D11InputLayout の作成.... 成功")), std::string::npos);
    EXPECT_NE(log.find(Utf8(u8"画像の単純転送処理の初期化... 成功")), std::string::npos);
}

TEST_F(BuiltInShaderTest, FixedFunctionPixelShadersDrawTheColoursOfTheirRow) {
    ShaderTexture texture, graph;
    ASSERT_TRUE(texture.Create(4, 4, std::vector<uint32_t>(TexelWords, TexelWords + 16)));
    ASSERT_TRUE(graph.Create(4, 4, std::vector<uint32_t>(GraphWords, GraphWords + 16)));
    ID3D11ShaderResourceView* views[2] = {texture.View, graph.View};
    ASSERT_EQ(Graphics_D3D11_StateCache_SetPSShaderResources(0, 2, views), 0);
    // The alpha test: reference 0 for the plain test; "less than 150" for the switchable one.
    const float k1[4] = {0, 0, 1.0f, -0.125f};
    const float k0[4] = {1, 1, 1, 96 / 255.0f};
    int checked = 0, failures = 0;
    for (int entry = D3D11SHADER_UNTEXTURED_PS; entry < D3D11SHADER_MASK_PS; ++entry) {
        const bool untextured = entry < D3D11SHADER_TEXTURED_PS;
        const int index = untextured ? entry - D3D11SHADER_UNTEXTURED_PS : (entry - D3D11SHADER_TEXTURED_PS) % 56;
        const int group = untextured ? -1 : (entry - D3D11SHADER_TEXTURED_PS) / 56;
        const int type = untextured ? index / 2 : index / 8;
        const bool ignore = !untextured && (index & 4), opaque = !untextured && (index & 2), test = index & 1;
        const int func = test ? 2 : 5;
        const int reference = test ? 150 : 0;
        const float* k = group == 2 ? k1 : k0;
        Graphics_D3D11_StateCache_SetAlphaTestFunc(func);
        Graphics_D3D11_StateCache_SetAlphaTestRef(reference);
        Graphics_D3D11_StateCache_SetBlendGraphParams(k[0], k[1], k[2], k[3]);
        const std::vector<uint32_t> pixels = DrawQuad(untextured ? 0 : group == 0 ? 1 : 2, entry);
        ASSERT_EQ(pixels.size(), 16u);
        for (int p = 0; p < 16; ++p) {
            bool discarded = false, nearEdge = false;
            const Rgba want = Model(untextured ? -1 : group, type, ignore, opaque, test, FromWord(TexelWords[p]),
                                    FromWord(GraphWords[p]), k, func, reference / 255.0f, discarded, nearEdge);
            if (nearEdge) continue;
            const uint32_t expected = discarded ? Sentinel : ToWord(want);
            ++checked;
            if (!Near(pixels[p], expected, 1) && ++failures < 10)
                ADD_FAILURE() << "shader " << entry << " pixel " << p << ": " << std::hex << pixels[p] << " instead of " << expected;
        }
    }
    EXPECT_EQ(failures, 0);
    EXPECT_GT(checked, 238 * 14);
    graph.Release();
    texture.Release();
}

TEST_F(BuiltInShaderTest, ChannelMixShadersMoveTheChannelsTheirIndexNames) {
    ShaderTexture source, destination;
    ASSERT_TRUE(source.Create(4, 4, std::vector<uint32_t>(TexelWords, TexelWords + 16)));
    ASSERT_TRUE(destination.Create(4, 4, std::vector<uint32_t>(16, 0), true));
    const int cases[][4] = {{0, 1, 2, 3}, {2, 1, 0, 3}, {3, 3, 3, 0}, {1, 2, 3, 0}};
    for (const auto& sel : cases) {
        for (int premultiplied = 0; premultiplied < 2; ++premultiplied) {
            const int index = (((sel[0] * 4 + sel[1]) * 4 + sel[2]) * 4 + sel[3]) * 2 + premultiplied;
            const D3D11ShaderCode code = Graphics_D3D11_ShaderCode_GetChannelMix(index);
            ID3D11PixelShader* shader = nullptr;
            ASSERT_EQ(D3D11Call_Device_CreatePixelShader(code.Code, code.Size, nullptr, &shader), S_OK);
            ASSERT_EQ(Graphics_D3D11_ShaderBlit(source.Object, source.View, nullptr, destination.Object, destination.Target,
                                                nullptr, 0, 0, shader, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                nullptr, 0),
                      0);
            D3D11Call_PixelShader_Release(shader);
            Target reader;
            reader.Texture = destination.Object, reader.Width = 4, reader.Height = 4;
            const std::vector<uint32_t> pixels = reader.Read();
            for (int p = 0; p < 16; ++p) {
                const Rgba c = FromWord(TexelWords[p]);
                float in[4] = {c.R, c.G, c.B, c.A};
                if (premultiplied && c.A > 0) in[0] /= c.A, in[1] /= c.A, in[2] /= c.A;
                if (premultiplied && c.A == 0) in[0] = in[1] = in[2] = 0;
                Rgba out = {in[sel[0]], in[sel[1]], in[sel[2]], in[sel[3]]};
                if (premultiplied) out.R *= out.A, out.G *= out.A, out.B *= out.A;
                EXPECT_TRUE(Near(pixels[p], ToWord(out), 1)) << index << " pixel " << p << std::hex << ": " << pixels[p];
            }
        }
    }
    destination.Release();
    source.Release();
}

TEST(D3D11BuiltInShaderPack, ADamagedPackFailsTheSetUpWithItsLogLine) {
    ASSERT_EQ(StartBackEnd(), 0);
    Graphics_D3D11_ShaderCode_BaseTerminate();
    const char* original = D3D11ShaderCodeState.Main.Text;
    std::string damaged = original;
    for (size_t at : {damaged.size() / 3, damaged.size() / 2, damaged.size() - 40}) {
        const char kept = damaged[at];
        damaged[at] = kept == 'Q' ? 'g' : 'Q';
        D3D11ShaderCodeState.Main.Text = damaged.c_str();
        EXPECT_EQ(Graphics_D3D11_Shader_Initialize(), -1) << "character " << at;
        EXPECT_EQ(GraphicsSystemState.ShadersUsable, 0);
        EXPECT_EQ(D3D11CallState.ObjectCount[D3D11OBJ_PIXEL_SHADER], 0);
        EXPECT_EQ(D3D11ShaderCodeState.Main.Block, nullptr);
        damaged[at] = kept;
    }
    EXPECT_NE(ReadLog().find(Utf8(u8"シェーダーコードを展開するメモリ領域の確保に失敗しました")), std::string::npos);
    D3D11ShaderCodeState.Main.Text = original;
    EXPECT_EQ(Graphics_D3D11_Shader_Initialize(), 0);
    EXPECT_EQ(GraphicsSystemState.ShadersUsable, 1);
    Graphics_D3D11_Shader_ReleaseAll();
    EndBackEnd();
    EXPECT_EQ(D3D11Call_GetTotalObjectCount(), 0);
}
