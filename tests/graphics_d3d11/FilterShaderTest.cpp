// The filter shader pack: an archive of the library's format opened from memory at initialisation; every
// filter shader the filter bodies name is in it (with its premultiplied twin where there is one), reads
// back through the platform's disassembler and is created by the device; a table of them drawn on a
// 4 x 4 target gives the colours their constants mean.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "BuiltInShaderSupport.h"
#include "graphics_d3d11/VtGraphicsD3D11ShaderCode.h"
#include "tools/VtFilterShaders.h"
#include "tools/VtShaderAssemble.h"

using namespace Vantrel;
using namespace D3D11Test;

namespace {

// The names the filter bodies look up; true where a "_PMA" twin follows.
const struct {
    const char* Name;
    bool Premultiplied;
} FilterNames[] = {
    {"Mono", false}, {"Gauss_08Pixel_PS", false}, {"Gauss_16Pixel_PS", false}, {"Gauss_32Pixel_PS", false},
    {"DownScaleX2", false}, {"DownScaleX4", false}, {"DownScaleX8", false}, {"BrightClipLess", true},
    {"BrightClipFillLess", true}, {"BrightClipGreater", true}, {"BrightClipFillGreater", true}, {"BrightnessScale", true},
    {"Hsb_HSB_BASE", true}, {"Hsb_HSB_HLOCK", true}, {"Invert", true}, {"Level", true}, {"TwoColor", true},
    {"GradientMap", true}, {"GradientMapRev", true}, {"Replacement", true}, {"PremultipliedAlpha", false},
    {"InterpolatedAlpha", false}, {"Y2uv2ToRgb", false}, {"Y2uv1ToRgb", false}, {"Y2uv2ToRgb_RRA", false},
    {"Y2uv1ToRgb_RRA", false}, {"Bicubic", false}, {"Lanczos3", false}, {"SSAO", false}, {"SSAO_Blur", false},
    {"SSAO_MIX", false}, {"FloatColorScale", false}, {"BasBF_Normal", true}, {"BasBF_Multiple", true},
    {"BasBF_Difference", true}, {"BasBF_Add", true}, {"BasBF_Screen", true}, {"BasBF_Overlay", true},
    {"BasBF_Dodge", true}, {"BasBF_Burn", true}, {"BasBF_Darken", true}, {"BasBF_Lighten", true},
    {"BasBF_SoftLight", true}, {"BasBF_HardLight", true}, {"BasBF_Exclusion", true}, {"BasBF_Normal_AlphaCh", true},
    {"BasBF_Add_AlphaCh", true}, {"BasBF_Multiple_AOnly", true}, {"BasBF_Mask", true}, {"RGBAMix_Base", true},
    {"RGBAMix_SRSRSRBA", true}, {"RGBAMix_SGSGSGBR", true}, {"RGBAMix_SBSBSBBG", true}, {"RGBAMix_SRSGSBBA", true},
};

bool Near(uint32_t a, uint32_t b, int tolerance) {
    for (int shift = 0; shift < 32; shift += 8)
        if (std::abs((int)(a >> shift & 0xFF) - (int)(b >> shift & 0xFF)) > tolerance) return false;
    return true;
}

const uint32_t Texels[16] = {0xFF0000FF, 0x80FF8000, 0x00FFFFFF, 0x3C204080, 0xFFFFFFFF, 0xC8102030, 0x64808080, 0x01FF00FF,
                             0xF0F0F0F0, 0x20304050, 0xA0A0C0E0, 0xFF000000, 0x90406080, 0x40FFFFFF, 0xE0123456, 0x0A0A0A0A};
const uint32_t Blends[16] = {0xFF000000, 0x80404040, 0xFFFFFFFF, 0x20C0C0C0, 0xFF808080, 0x00202020, 0xC0E0E0E0, 0x60101010,
                             0xFFA0A0A0, 0x40606060, 0x80FFFFFF, 0xFF303030, 0x10F0F0F0, 0xE0505050, 0x90909090, 0xFFD0D0D0};

}  // namespace

TEST(D3D11FilterShaderPack, TheArchiveHoldsEveryFilterShaderAsGeneratedAndTheDisassemblerReadsThemBack) {
    ASSERT_EQ(Graphics_D3D11_ShaderCode_BaseInitialize(), 1);
    ASSERT_EQ(D3D11ShaderCodeState.FilterArchiveOpen, 1);
    for (const auto& f : FilterNames) {
        EXPECT_NE(Graphics_D3D11_ShaderCode_GetFilter((std::string(f.Name) + ".pso").c_str()).Code, nullptr) << f.Name;
        EXPECT_EQ(Graphics_D3D11_ShaderCode_GetFilter((std::string(f.Name) + "_PMA.pso").c_str()).Code != nullptr, f.Premultiplied) << f.Name;
    }
    EXPECT_EQ(Graphics_D3D11_ShaderCode_GetFilter("Missing.pso").Code, nullptr);
    // Names are looked up without regard to case, as the archive does.
    EXPECT_NE(Graphics_D3D11_ShaderCode_GetFilter("mono.PSO").Code, nullptr);
    const std::vector<VtBuiltIn::Source> sources = VtBuiltIn::FilterSources();
    int mismatches = 0;
    for (const VtBuiltIn::Source& source : sources) {
        VtShaderAsm::Assembler assembler;
        VtShaderAsm::Bytes code;
        ASSERT_TRUE(assembler.Assemble(source.second, code)) << source.first << ": " << assembler.Error;
        const D3D11ShaderCode stored = Graphics_D3D11_ShaderCode_GetFilter(source.first.c_str());
        ASSERT_EQ(stored.Size, code.size()) << source.first;
        EXPECT_EQ(memcmp(stored.Code, code.data(), code.size()), 0) << source.first;
        const std::string listing = Disassemble(code.data(), code.size());
        if (VtShaderAsm::InstructionLines(listing) != VtShaderAsm::InstructionLines(source.second) && ++mismatches < 4)
            ADD_FAILURE() << source.first << ":\n" << listing;
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(sources.size(), 113u);
    // Terminating closes the archive; initialising again opens it again.
    Graphics_D3D11_ShaderCode_BaseTerminate();
    EXPECT_EQ(Graphics_D3D11_ShaderCode_GetFilter("Mono.pso").Code, nullptr);
    ASSERT_EQ(Graphics_D3D11_ShaderCode_BaseInitialize(), 1);
    EXPECT_NE(Graphics_D3D11_ShaderCode_GetFilter("Mono.pso").Code, nullptr);
    // The packs live in the library's heap: a later library end must not leave them behind expanded.
    Graphics_D3D11_ShaderCode_BaseTerminate();
}

TEST_F(BuiltInShaderTest, TheDeviceCreatesEveryFilterShaderAndFiltersDrawTheirColours) {
    for (const VtBuiltIn::Source& source : VtBuiltIn::FilterSources()) {
        const D3D11ShaderCode code = Graphics_D3D11_ShaderCode_GetFilter(source.first.c_str());
        ID3D11PixelShader* shader = nullptr;
        EXPECT_EQ(D3D11Call_Device_CreatePixelShader(code.Code, code.Size, nullptr, &shader), S_OK) << source.first;
        D3D11Call_PixelShader_Release(shader);
    }

    ShaderTexture source, blend, destination;
    ASSERT_TRUE(source.Create(4, 4, std::vector<uint32_t>(Texels, Texels + 16)));
    ASSERT_TRUE(blend.Create(4, 4, std::vector<uint32_t>(Blends, Blends + 16)));
    ASSERT_TRUE(destination.Create(4, 4, std::vector<uint32_t>(16, 0), true));
    D3D11ConstantBuffer* constants = Graphics_D3D11_ConstantBuffer_Create(1280, 0);
    ASSERT_NE(constants, nullptr);
    ASSERT_EQ(Graphics_D3D11_ConstantBuffer_SetPS(3, 1, &constants), 0);
    using Rgba = std::array<float, 4>;
    auto unpremultiply = [](Rgba c) {
        for (int i = 0; i < 3; ++i) c[i] = c[3] > 0 ? c[i] / c[3] : 0;
        return c;
    };
    auto premultiply = [](Rgba c) {
        for (int i = 0; i < 3; ++i) c[i] *= c[3];
        return c;
    };
    auto each = [](Rgba c, auto f) {
        for (int i = 0; i < 3; ++i) c[i] = f(c[i]);
        return c;
    };
    // Name, constants, what the shader makes of the source texel s and the second image's texel b.
    struct Case {
        const char* Name;
        std::vector<float> Constants;
        std::function<Rgba(Rgba, Rgba)> Model;
    };
    const float luma[4] = {0.299f, 0.587f, 0.114f, 0};
    auto y = [&](const Rgba& c) { return c[0] * luma[0] + c[1] * luma[1] + c[2] * luma[2]; };
    const Case cases[] = {
        {"Invert.pso", {}, [&](Rgba s, Rgba) { return each(s, [](float v) { return 1 - v; }); }},
        {"Invert_PMA.pso", {}, [&](Rgba s, Rgba) { return premultiply(each(unpremultiply(s), [](float v) { return 1 - v; })); }},
        {"Mono.pso", {0.299f, 0.587f, 0.114f, 0, 0.1f, -0.05f, 0.2f, 0},
         [&](Rgba s, Rgba) { return Rgba{std::min(1.0f, y(s) + 0.1f), std::max(0.0f, y(s) - 0.05f), std::min(1.0f, y(s) + 0.2f), s[3]}; }},
        // Lightness 64 .. 192 stretched over the whole range, each pixel keeping its hue and saturation (the
        // integer HSL model of the software filter).
        {"BrightnessScale.pso", {64 / 255.0f, 255.0f / 128, 0, 0},
         [&](Rgba s, Rgba) {
             int c[3];
             for (int i = 0; i < 3; ++i) c[i] = (int)std::lround(s[i] * 255);
             const int max = std::max({c[0], c[1], c[2]}), min = std::min({c[0], c[1], c[2]}), delta = max - min, sum = max + min;
             const int l = sum >> 1, saturation = delta == 0 ? 0 : (delta << 8) / (l <= 128 ? sum : 512 - sum);
             int pure[3] = {255, 0, 0};
             if (delta != 0) {
                 int d[3];
                 for (int i = 0; i < 3; ++i) d[i] = ((max - c[i]) << 8) / delta;
                 const int top = c[0] == max ? 0 : c[1] == max ? 1 : 2, next = (top + 1) % 3, last = (top + 2) % 3;
                 pure[top] = 255;
                 pure[next] = std::max(d[last] - d[next], 0);
                 pure[last] = std::max(d[next] - d[last], 0);
             }
             const int lit = std::clamp(((l - 64) * (1044480 / 128)) >> 12, 0, 255);
             Rgba out = s;
             for (int i = 0; i < 3; ++i) {
                 const int v = pure[i] + (((128 - pure[i]) * (256 - saturation)) >> 8);
                 out[i] = std::min(255, lit <= 128 ? (2 * lit * v) >> 8 : v + (((255 - v) * (lit - 128) * 2) >> 8)) / 255.0f;
             }
             return out;
         }},
        {"TwoColor.pso", {0.299f, 0.587f, 0.114f, 0.5f, 1, 0, 0, 1, 0, 0, 1, 0.5f},
         [&](Rgba s, Rgba) { return y(s) < 0.5f ? Rgba{1, 0, 0, 1} : Rgba{0, 0, 1, 0.5f}; }},
        {"BrightClipFillLess.pso", {0.4f, 0.4f, 0.4f, 0.4f, 0.299f, 0.587f, 0.114f, 0, 0, 1, 0, 1},
         [&](Rgba s, Rgba) { return y(s) < 0.4f ? Rgba{0, 1, 0, 1} : s; }},
        {"PremultipliedAlpha.pso", {}, [&](Rgba s, Rgba) { return premultiply(s); }},
        {"FloatColorScale.pso", {0.5f, 1, 2, 1, 0.25f, 0, -0.5f, 0},
         [&](Rgba s, Rgba) { return Rgba{s[0] * 0.5f + 0.25f, s[1], std::clamp(s[2] * 2 - 0.5f, 0.0f, 1.0f), s[3]}; }},
        {"BasBF_Multiple.pso", {0.5f},
         [&](Rgba s, Rgba b) {
             const float w = b[3] * 0.5f;
             return Rgba{s[0] + (s[0] * b[0] - s[0]) * w, s[1] + (s[1] * b[1] - s[1]) * w, s[2] + (s[2] * b[2] - s[2]) * w, s[3]};
         }},
        {"BasBF_Screen.pso", {1.0f},
         [&](Rgba s, Rgba b) {
             Rgba o = s;
             for (int i = 0; i < 3; ++i) o[i] = s[i] + ((1 - (1 - s[i]) * (1 - b[i])) - s[i]) * b[3];
             return o;
         }},
        {"BasBF_Darken_PMA.pso", {1.0f},
         [&](Rgba s, Rgba b) {
             const Rgba us = unpremultiply(s), ub = unpremultiply(b);
             Rgba o = us;
             for (int i = 0; i < 3; ++i) o[i] = std::clamp(us[i] + (std::min(us[i], ub[i]) - us[i]) * ub[3], 0.0f, 1.0f);
             return premultiply(o);
         }},
        {"RGBAMix_SGSGSGBR.pso", {}, [&](Rgba s, Rgba b) { return Rgba{s[1], s[1], s[1], b[0]}; }},
        {"RGBAMix_Base.pso", {4.5f, 9.5f, 2.5f, 7.5f}, [&](Rgba s, Rgba b) { return Rgba{b[0], 1 - s[1], s[2], b[3]}; }},
    };
    for (const Case& c : cases) {
        float* data = (float*)constants->Data;
        for (size_t i = 0; i < c.Constants.size(); ++i) data[i] = c.Constants[i];
        constants->Changed = 1;
        Graphics_D3D11_ConstantBuffer_Update(constants);
        const D3D11ShaderCode code = Graphics_D3D11_ShaderCode_GetFilter(c.Name);
        ID3D11PixelShader* shader = nullptr;
        ASSERT_EQ(D3D11Call_Device_CreatePixelShader(code.Code, code.Size, nullptr, &shader), S_OK) << c.Name;
        ASSERT_EQ(Graphics_D3D11_ShaderBlit(source.Object, source.View, nullptr, destination.Object, destination.Target, nullptr, 0, 0,
                                            shader, nullptr, blend.Object, blend.View, nullptr, nullptr, nullptr, nullptr, 0),
                  0);
        D3D11Call_PixelShader_Release(shader);
        Target reader;
        reader.Texture = destination.Object, reader.Width = 4, reader.Height = 4;
        const std::vector<uint32_t> pixels = reader.Read();
        ASSERT_EQ(pixels.size(), 16u);
        for (int p = 0; p < 16; ++p) {
            Rgba s, b;
            for (int i = 0; i < 4; ++i) s[i] = (Texels[p] >> (8 * i) & 0xFF) / 255.0f, b[i] = (Blends[p] >> (8 * i) & 0xFF) / 255.0f;
            const Rgba out = c.Model(s, b);
            uint32_t want = 0;
            for (int i = 0; i < 4; ++i) want |= (uint32_t)std::lround(std::clamp(out[i], 0.0f, 1.0f) * 255) << (8 * i);
            EXPECT_TRUE(Near(pixels[p], want, 1)) << c.Name << " pixel " << p << std::hex << ": " << pixels[p] << " for " << want;
        }
    }
    // Down-scale by 2 with bilinear sampling: each destination pixel the mean of a 2 x 2 block.
    {
        float* data = (float*)constants->Data;
        data[0] = data[1] = 0;
        constants->Changed = 1;
        Graphics_D3D11_ConstantBuffer_Update(constants);
        const D3D11ShaderCode code = Graphics_D3D11_ShaderCode_GetFilter("DownScaleX2.pso");
        ID3D11PixelShader* shader = nullptr;
        ASSERT_EQ(D3D11Call_Device_CreatePixelShader(code.Code, code.Size, nullptr, &shader), S_OK);
        const RECT half = {0, 0, 2, 2};
        ASSERT_EQ(Graphics_D3D11_ShaderBlit(source.Object, source.View, nullptr, destination.Object, destination.Target, &half, 1, 0,
                                            shader, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0),
                  0);
        D3D11Call_PixelShader_Release(shader);
        Target reader;
        reader.Texture = destination.Object, reader.Width = 4, reader.Height = 4;
        const std::vector<uint32_t> pixels = reader.Read();
        ASSERT_EQ(pixels.size(), 16u);
        for (int p = 0; p < 4; ++p) {
            const int x = p % 2 * 2, y = p / 2 * 2;
            uint32_t want = 0;
            for (int i = 0; i < 4; ++i) {
                float sum = 0;
                for (int t : {y * 4 + x, y * 4 + x + 1, y * 4 + x + 4, y * 4 + x + 5}) sum += Texels[t] >> (8 * i) & 0xFF;
                want |= (uint32_t)std::lround(sum / 4) << (8 * i);
            }
            EXPECT_TRUE(Near(pixels[p / 2 * 4 + p % 2], want, 1)) << "down-scale pixel " << p << std::hex << ": "
                                                                << pixels[p / 2 * 4 + p % 2] << " for " << want;
        }
    }
    Graphics_D3D11_StateCache_SetPSConstantBuffers(3, 1, std::vector<ID3D11Buffer*>(1, nullptr).data());
    Graphics_D3D11_ConstantBuffer_Delete(constants);
    destination.Release();
    blend.Release();
    source.Release();
}

// The occlusion shader on a depth buffer with a step: a far surface on the left, a near one on the right
// (a perspective projection, near 1, far 100). Points sampled around the far pixels next to the step fall
// behind the near surface and are occluded; far pixels away from the step and every near pixel see flat
// surroundings and are not; a depth-gap limit below the step's gap takes the occlusion away again.
TEST_F(BuiltInShaderTest, TheOcclusionShaderDarkensOnlyTheFarSideOfADepthStep) {
    constexpr int W = 16, H = 8;
    const float n = 1, f = 100, a = f / (f - n), b = -n * f / (f - n);
    std::vector<float> depths(W * H);
    for (int i = 0; i < W * H; ++i) depths[i] = i % W < W / 2 ? 0.9f : 0.5f;
    D3D11_TEXTURE2D_DESC desc = {};
    desc.Width = W, desc.Height = H, desc.MipLevels = 1, desc.ArraySize = 1, desc.Format = DXGI_FORMAT_R32_FLOAT;
    desc.SampleDesc.Count = 1, desc.Usage = D3D11_USAGE_DEFAULT, desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    const D3D11_SUBRESOURCE_DATA data = {depths.data(), W * 4, 0};
    ShaderTexture depth, pattern, source, destination;
    ASSERT_EQ(D3D11Call_Device_CreateTexture2D(&desc, &data, &depth.Object), S_OK);
    ASSERT_EQ(D3D11Call_Device_CreateShaderResourceView(depth.Object, nullptr, &depth.View), S_OK);
    ASSERT_TRUE(pattern.Create(4, 4, std::vector<uint32_t>(16, 0xFFFFFFFFu)));   // no turn of the kernel
    ASSERT_TRUE(source.Create(W, H, std::vector<uint32_t>(W * H, 0)));
    ASSERT_TRUE(destination.Create(W, H, std::vector<uint32_t>(W * H, 0), true));
    D3D11ConstantBuffer* constants = Graphics_D3D11_ConstantBuffer_Create(1280, 0);
    ASSERT_NE(constants, nullptr);
    ASSERT_EQ(Graphics_D3D11_ConstantBuffer_SetPS(3, 1, &constants), 0);
    float* c = (float*)constants->Data;
    const float projection[16] = {0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, a, b, 0, 0, 1, 0};        // column by column
    const float inverse[16] = {2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 1 / b, -a / b};
    memcpy(c + 8, projection, sizeof(projection));
    memcpy(c + 24, inverse, sizeof(inverse));
    c[4] = n, c[5] = f, c[6] = W, c[7] = H;
    for (int i = 0; i < 64; ++i) {
        const float turn = i * 0.7f, length = 0.1f + 0.9f * (i / 64.0f) * (i / 64.0f);
        c[40 + i * 4] = std::cos(turn) * 0.8f * length, c[41 + i * 4] = std::sin(turn) * 0.8f * length;
        c[42 + i * 4] = 0.6f * length, c[43 + i * 4] = 1;
    }
    const D3D11ShaderCode code = Graphics_D3D11_ShaderCode_GetFilter("SSAO.pso");
    ID3D11PixelShader* shader = nullptr;
    ASSERT_EQ(D3D11Call_Device_CreatePixelShader(code.Code, code.Size, nullptr, &shader), S_OK);
    auto occlusion = [&](float range) {
        const float first[4] = {4.0f, 1.0f, 0.05f, range};
        memcpy(c, first, sizeof(first));
        constants->Changed = 1;
        Graphics_D3D11_ConstantBuffer_Update(constants);
        EXPECT_EQ(Graphics_D3D11_ShaderBlit(source.Object, source.View, nullptr, destination.Object, destination.Target, nullptr, 0, 0,
                                            shader, nullptr, depth.Object, depth.View, nullptr, nullptr, pattern.Object, pattern.View, 1),
                  0);
        Target reader;
        reader.Texture = destination.Object, reader.Width = W, reader.Height = H;
        std::vector<int> row;
        for (uint32_t pixel : reader.Read()) row.push_back((int)(pixel & 0xFF));
        return row;
    };
    const std::vector<int> open = occlusion(0);
    ASSERT_EQ(open.size(), (size_t)(W * H));
    for (int y = 0; y < H; ++y) {
        SCOPED_TRACE(y);
        EXPECT_GT(open[y * W + W / 2 - 1], 0) << "far pixel at the step";
        EXPECT_EQ(open[y * W], 0) << "far pixel away from the step";
        for (int x = W / 2; x < W; ++x) EXPECT_EQ(open[y * W + x], 0) << "near pixel " << x;
    }
    const std::vector<int> limited = occlusion(1.0f);
    for (int y = 0; y < H; ++y) EXPECT_EQ(limited[y * W + W / 2 - 1], 0) << "gap limit, row " << y;
    D3D11Call_PixelShader_Release(shader);
    Graphics_D3D11_StateCache_SetPSConstantBuffers(3, 1, std::vector<ID3D11Buffer*>(1, nullptr).data());
    Graphics_D3D11_ConstantBuffer_Delete(constants);
    destination.Release();
    source.Release();
    pattern.Release();
    depth.Release();
}
