// The graph-filter shaders of the Direct3D 9 pack on Wine's device, each held to the software body of
// its filter: a 16 x 16 source (and second image) drawn through the shader with the constants its
// filter hands it into a render-target texture, read back and compared channel by channel with what
// the software road writes for the same images, within a bound stated per case.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <vector>

#include "D3D9TestSupport.h"
#include "graphics/VtGraphFilter.h"
#include "graphics_d3d9/VtGraphicsD3D9ShaderPack.h"
#include "image/VtBaseImage.h"
#include "image/VtBaseImageStart.h"

using namespace Vantrel;
using namespace D3D9Test;

namespace {

constexpr int Edge = 16;
constexpr int SourceHandle = 1, SecondHandle = 2, DestinationHandle = 3;

// B, G, R, A bytes of a 16 x 16 image: a spread of colours with transparent, opaque and part alpha,
// premultiplied when asked.
std::vector<uint8_t> Pattern(uint32_t seed, bool premultiplied) {
    std::vector<uint8_t> bytes(Edge * Edge * 4);
    for (size_t i = 0; i < bytes.size(); ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = (uint8_t)(seed >> 16);
    }
    for (int p = 0; p < Edge * Edge; ++p) {
        uint8_t* px = &bytes[p * 4];
        if (p % 7 == 0) px[3] = 255;
        if (p % 11 == 0) px[3] = 0;
        if (p % 13 == 0) px[0] = px[1] = px[2] = 0x80;   // grey: no hue spread
        if (premultiplied)
            for (int c = 0; c < 3; ++c) px[c] = (uint8_t)(px[c] * px[3] / 255);
    }
    return bytes;
}

// A threshold (0-255) that no pixel's luminance comes near, so that rounding cannot sort a pixel to
// the other side.
float ClearThreshold(bool premultiplied) {
    const std::vector<uint8_t> p = Pattern(7, premultiplied);
    for (float t = 100; t < 200; t += 1) {
        bool clear = true;
        for (int i = 0; i < Edge * Edge && clear; ++i) {
            const uint8_t* px = &p[i * 4];
            float c[3];
            for (int k = 0; k < 3; ++k) c[k] = premultiplied ? (px[3] ? px[k] * 255.0f / px[3] : 0) : px[k];
            clear = std::fabs(0.299f * c[2] + 0.587f * c[1] + 0.114f * c[0] - t) > 1.5f;
        }
        if (clear) return t;
    }
    return 100;
}

std::vector<uint8_t> Source, Second, Written;

// The software road reads and writes these images through the filter framework's graph seams.
int QueryHandle(int handle, int* width, int* height, GraphHandleRecord** record) {
    if (handle < SourceHandle || handle > DestinationHandle) return GraphFilter_HandleNone;
    *width = *height = Edge;
    *record = nullptr;
    return GraphFilter_HandleGraph;
}

int ReadGraph(int handle, const BaseImageRect* rect, BaseImage* out) {
    const std::vector<uint8_t>* from = handle == SourceHandle ? &Source : handle == SecondHandle ? &Second : nullptr;
    for (int y = 0; y < out->height; ++y)
        for (int x = 0; x < out->width; ++x) {
            uint8_t* to = (uint8_t*)out->pixels + (size_t)y * out->pitch + x * 4;
            if (from == nullptr) memset(to, 0, 4);   // the destination starts cleared
            else memcpy(to, &(*from)[((rect->top + y) * Edge + rect->left + x) * 4], 4);
        }
    return 0;
}

int WriteGraph(int handle, int x, int y, const BaseImage* image) {
    Written.assign(Edge * Edge * 4, 0);
    for (int row = 0; row < image->height; ++row)
        memcpy(&Written[((y + row) * Edge + x) * 4], (const uint8_t*)image->pixels + (size_t)row * image->pitch,
               (size_t)image->width * 4);
    return 0;
}

struct Case {
    const char* Shader;
    std::vector<std::array<float, 4>> Constants;
    bool Premultiplied;                                  // the images hold premultiplied colour
    std::function<int(GraphFilterContext*)> Software;    // the filter's software body
    int Bound;                                           // largest channel difference allowed
    int BlendKind;                                       // -1: no second image
};

class FilterShaderTest : public BackEndTest {
protected:
    void SetUp() override {
        BackEndTest::SetUp();
        ASSERT_EQ(Graphics_D3D9_ShaderCode_Base_Initialize(), 1);
        BaseImage_EnsureTables();   // the software road's alpha tables
        savedSeams = GraphFilter_Seams;
        GraphFilter_Seams = {};
        GraphFilter_Seams.QueryHandle = QueryHandle;
        GraphFilter_Seams.ReadGraph = ReadGraph;
        GraphFilter_Seams.WriteGraph = WriteGraph;
    }

    void TearDown() override {
        GraphFilter_Seams = savedSeams;
        GraphicsSystemState.ShadersUsable = 1;
        BackEndTest::TearDown();
    }

    // The software body's bytes for the current images.
    std::vector<uint8_t> Software(const Case& c) {
        GraphFilterContext context = {};
        context.PassSource = SourceHandle;
        context.BlendGraph = c.BlendKind >= 0 ? SecondHandle : -1;
        context.BlendFlag = c.BlendKind >= 0 ? 1 : 0;
        context.Kind = c.BlendKind;
        context.BlendRatio = 0.75f;
        context.PassOutput = DestinationHandle;
        context.X2 = context.Y2 = Edge;
        context.Divisor = 1;
        GraphicsSystemState.ShadersUsable = 0;
        Written.clear();
        const int result = c.Software(&context);
        GraphicsSystemState.ShadersUsable = 1;
        EXPECT_EQ(result, 0) << c.Shader;
        return Written;
    }

    IDirect3DTexture9* Texture(const std::vector<uint8_t>& bytes) {
        IDirect3DTexture9* texture = nullptr;
        if (D3D9Call_Device_CreateTexture(Edge, Edge, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr) != D3D_OK)
            return nullptr;
        D3DLOCKED_RECT locked = {};
        if (D3D9Call_Texture_LockRectASync(texture, 0, &locked, nullptr, 0, 0) == D3D_OK) {
            for (int y = 0; y < Edge; ++y) memcpy((uint8_t*)locked.pBits + (size_t)y * locked.Pitch, &bytes[y * Edge * 4], Edge * 4);
            D3D9Call_Texture_UnlockRectASync(texture, 0, 0);
        }
        return texture;
    }

    // The shader's bytes: the source (and second image) drawn through it into a cleared target.
    std::vector<uint8_t> Device(const Case& c) {
        std::vector<uint8_t> out;
        const D3D9ShaderCode code = Graphics_D3D9_ShaderCode_GetFilter(c.Shader);
        EXPECT_NE(code.Code, nullptr) << c.Shader;
        if (code.Code == nullptr) return out;
        IDirect3DPixelShader9* shader = nullptr;
        IDirect3DTexture9* target = nullptr;
        IDirect3DSurface9 *surface = nullptr, *copy = nullptr;
        IDirect3DTexture9* source = Texture(Source);
        IDirect3DTexture9* second = c.BlendKind >= 0 ? Texture(Second) : nullptr;
        const bool made = D3D9Call_Device_CreatePixelShader((const DWORD*)code.Code, &shader) == D3D_OK &&
                          D3D9Call_Device_CreateTexture(Edge, Edge, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8,
                                                        D3DPOOL_DEFAULT, &target, nullptr) == D3D_OK &&
                          D3D9Call_Texture_GetSurfaceLevel(target, 0, &surface) == D3D_OK &&
                          D3D9Call_Device_CreateOffscreenPlainSurface(Edge, Edge, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM,
                                                                      &copy, nullptr) == D3D_OK &&
                          source != nullptr && (c.BlendKind < 0 || second != nullptr);
        EXPECT_TRUE(made) << c.Shader;
        if (made) {
            D3D9Call_Device_ColorFill(surface, nullptr, 0);
            IDirect3DSurface9* before = D3D9DeviceStateCache.RenderTarget[0];
            Graphics_D3D9_StateCache_SetRenderTarget(surface, 0);
            Graphics_D3D9_StateCache_SetViewportRect(0, 0, Edge, Edge);
            D3D9Call_Device_BeginSceneOnce();
            D3D9Call_Device_SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
            D3D9Call_Device_SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
            for (DWORD s = 0; s < 2; ++s) {
                D3D9Call_Device_SetSamplerState(s, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
                D3D9Call_Device_SetSamplerState(s, D3DSAMP_MINFILTER, D3DTEXF_POINT);
                D3D9Call_Device_SetSamplerState(s, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
                D3D9Call_Device_SetSamplerState(s, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
            }
            D3D9Call_Device_SetTexture(0, source);
            D3D9Call_Device_SetTexture(1, second);
            Graphics_D3D9_StateCache_ResetVertexShader(0);
            D3D9Call_Device_SetPixelShader(shader);
            for (size_t i = 0; i < c.Constants.size(); ++i)
                D3D9Call_Device_SetPixelShaderConstantF((UINT)i, c.Constants[i].data(), 1);
            struct Vertex {
                float X, Y, Z, Rhw;
                D3DCOLOR Diffuse, Specular;
                float U0, V0, U1, V1;
            };
            const float e = Edge - 0.5f;
            const Vertex strip[4] = {{-0.5f, -0.5f, 0, 1, 0xFFFFFFFF, 0, 0, 0, 0, 0},
                                     {e, -0.5f, 0, 1, 0xFFFFFFFF, 0, 1, 0, 1, 0},
                                     {-0.5f, e, 0, 1, 0xFFFFFFFF, 0, 0, 1, 0, 1},
                                     {e, e, 0, 1, 0xFFFFFFFF, 0, 1, 1, 1, 1}};
            D3D9Call_Device_SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2);
            D3D9DeviceStateCache.FVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2;
            EXPECT_EQ(D3D9Call_Device_DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, strip, sizeof(Vertex)), D3D_OK);
            D3D9Call_Device_EndScene();
            D3D9DeviceStateCache.Scene = 0;
            D3D9Call_Device_SetPixelShader(nullptr);
            D3D9Call_Device_SetTexture(0, nullptr);
            D3D9Call_Device_SetTexture(1, nullptr);
            Graphics_D3D9_StateCache_SetRenderTarget(before, 0);
            D3DLOCKED_RECT locked = {};
            if (D3D9Call_Device_GetRenderTargetData(surface, copy) == D3D_OK &&
                D3D9Call_Surface_LockRect(copy, &locked, nullptr, D3DLOCK_READONLY) == D3D_OK) {
                out.resize(Edge * Edge * 4);
                for (int y = 0; y < Edge; ++y)
                    memcpy(&out[y * Edge * 4], (const uint8_t*)locked.pBits + (size_t)y * locked.Pitch, Edge * 4);
                D3D9Call_Surface_UnlockRect(copy);
            }
        }
        for (IUnknown* object : {(IUnknown*)shader, (IUnknown*)copy, (IUnknown*)surface, (IUnknown*)target,
                                 (IUnknown*)source, (IUnknown*)second})
            if (object != nullptr) D3D9Call_Object_Release(object);
        return out;
    }

    void Check(const std::vector<Case>& cases) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.Shader);
            Source = Pattern(7, c.Premultiplied);
            Second = Pattern(1234, c.Premultiplied);
            const std::vector<uint8_t> expected = Software(c);
            const std::vector<uint8_t> drawn = Device(c);
            ASSERT_EQ(expected.size(), (size_t)(Edge * Edge * 4));
            ASSERT_EQ(drawn.size(), expected.size());
            int worst = 0, at = 0;
            for (size_t i = 0; i < drawn.size(); ++i) {
                const int d = abs((int)drawn[i] - (int)expected[i]);
                if (d > worst) worst = d, at = (int)i;
            }
            EXPECT_LE(worst, c.Bound) << "pixel " << at / 4 << " byte " << at % 4 << ": " << (int)drawn[at]
                                      << " against the software road's " << (int)expected[at];
        }
    }

    GraphFilterSeams savedSeams = {};
};

constexpr std::array<float, 4> Luma = {0.299f, 0.587f, 0.114f, 0};

TEST_F(FilterShaderTest, ColourFiltersMatchTheSoftwareRoad) {
    const FloatColor first = {0.9f, 0.2f, 0.4f, 1.0f}, second = {0.1f, 0.7f, 0.3f, 0.6f}, fill = {0.2f, 0.4f, 0.8f, 0.5f};
    const float cb = 40 / 200.0f, cr = -30 / 200.0f;
    const float plainThreshold = ClearThreshold(false), pmaThreshold = ClearThreshold(true);
    const float clip = plainThreshold / 255.0f, pmaClip = pmaThreshold / 255.0f;
    // The replaced colour: one of the pattern's own pixels.
    const std::vector<uint8_t> plain = Pattern(7, false);
    const uint8_t* key = &plain[(3 * Edge + 3) * 4];
    const uint32_t target = (uint32_t)key[0] | key[1] << 8 | key[2] << 16 | (uint32_t)key[3] << 24;
    const uint32_t replacement = 0x80FF4010;
    auto unit = [](uint32_t c, int shift) { return (float)(c >> shift & 0xFF) / 255.0f; };
    auto rgba = [&](uint32_t c) { return std::array<float, 4>{unit(c, 16), unit(c, 8), unit(c, 0), unit(c, 24)}; };
    auto colour = [](const FloatColor& c) { return std::array<float, 4>{c.r, c.g, c.b, c.a}; };
    const std::vector<Case> cases = {
        {"Mono.pso", {Luma, {cr * 1.402f, cb * 0.34414f - cr * 0.71414f, cb * 1.772f, 0}}, false,
         [](GraphFilterContext* x) { return GraphFilter_Mono(x, 40, -30); }, 2, -1},
        {"Invert.pso", {}, false, [](GraphFilterContext* x) { return GraphFilter_Invert(x, 0); }, 1, -1},
        {"Invert_PMA.pso", {}, true, [](GraphFilterContext* x) { return GraphFilter_Invert(x, 1); }, 3, -1},
        {"BrightnessScale.pso", {{40 / 255.0f, 255 / 160.0f, 0, 0}}, false,
         [](GraphFilterContext* x) { return GraphFilter_BrightScale(x, 40, 200, 0); }, 6, -1},
        {"TwoColor.pso", {{0.299f, 0.587f, 0.114f, clip}, colour(first), colour(second)}, false,
         [&](GraphFilterContext* x) { return GraphFilter_TwoColor(x, plainThreshold, &first, &second, 0); }, 1, -1},
        {"Replacement.pso", {rgba(target), rgba(replacement)}, false,
         [&](GraphFilterContext* x) { return GraphFilter_Replacement(x, target, replacement, 0); }, 1, -1},
        {"PremultipliedAlpha.pso", {}, false, [](GraphFilterContext* x) { return GraphFilter_PremultipliedAlpha(x); }, 2, -1},
        {"InterpolatedAlpha.pso", {}, true, [](GraphFilterContext* x) { return GraphFilter_InterpolatedAlpha(x); }, 2, -1},
        {"BrightClipLess.pso", {{clip, clip, clip, clip}, Luma, {0, 0, 0, 0}}, false,
         [&](GraphFilterContext* x) { return GraphFilter_BrightClip(x, 2, plainThreshold, 0, nullptr, 0); }, 1, -1},
        {"BrightClipFillGreater.pso", {{clip, clip, clip, clip}, Luma, colour(fill)}, false,
         [&](GraphFilterContext* x) { return GraphFilter_BrightClip(x, 5, plainThreshold, 1, &fill, 0); }, 1, -1},
        {"BrightClipFillLess_PMA.pso", {{pmaClip, pmaClip, pmaClip, pmaClip}, Luma, colour(fill)}, true,
         [&](GraphFilterContext* x) { return GraphFilter_BrightClip(x, 2, pmaThreshold, 1, &fill, 1); }, 3, -1},
    };
    Check(cases);
}

TEST_F(FilterShaderTest, BlendAndChannelMixShadersMatchTheSoftwareRoad) {
    const std::array<float, 4> ratio = {0.75f, 0.75f, 0.75f, 0.75f}, one = {1, 1, 1, 1};
    auto blend = [](int pma) { return [pma](GraphFilterContext* x) { return GraphFilter_Blend(x, pma); }; };
    const struct {
        const char* Shader;
        int Kind, Bound;
    } kinds[] = {{"BasBF_Normal.pso", GraphBlend_Normal, 2},         {"BasBF_Multiple.pso", GraphBlend_Multiple, 2},
                 {"BasBF_Difference.pso", GraphBlend_Difference, 2}, {"BasBF_Add.pso", GraphBlend_Add, 2},
                 {"BasBF_Screen.pso", GraphBlend_Screen, 2},         {"BasBF_Overlay.pso", GraphBlend_Overlay, 3},
                 {"BasBF_Dodge.pso", GraphBlend_Dodge, 4},           {"BasBF_Burn.pso", GraphBlend_Burn, 4},
                 {"BasBF_Darken.pso", GraphBlend_Darken, 2},         {"BasBF_Lighten.pso", GraphBlend_Lighten, 2},
                 {"BasBF_SoftLight.pso", GraphBlend_SoftLight, 3},   {"BasBF_HardLight.pso", GraphBlend_HardLight, 3},
                 {"BasBF_Exclusion.pso", GraphBlend_Exclusion, 3},   {"BasBF_Normal_AlphaCh.pso", GraphBlend_NormalAlphaCh, 3},
                 {"BasBF_Add_AlphaCh.pso", GraphBlend_AddAlphaCh, 6}, {"BasBF_Multiple_AOnly.pso", GraphBlend_MultipleAOnly, 2},
                 {"BasBF_Mask.pso", GraphBlend_Mask, 2}};
    // Dodge, burn and the alpha-channel kinds divide: the software road truncates its divisors and
    // quotients, the shader does not, which the wider bounds allow for.
    std::vector<Case> cases;
    for (const auto& k : kinds) cases.push_back({k.Shader, {ratio, one}, false, blend(0), k.Bound, k.Kind});
    cases.push_back({"BasBF_Multiple_PMA.pso", {ratio, one}, true, blend(1), 3, GraphBlend_Multiple});
    cases.push_back({"RGBAMix_SGSGSGBA.pso", {}, false,
                     [](GraphFilterContext* x) { return GraphFilter_BlendRGBAMix(x, 1, 1, 1, 7, 0); }, 0, GraphBlend_Normal});
    cases.push_back({"RGBAMix_SRSGSBBR.pso", {}, false,
                     [](GraphFilterContext* x) { return GraphFilter_BlendRGBAMix(x, 0, 1, 2, 4, 0); }, 0, GraphBlend_Normal});
    Check(cases);
}

}  // namespace
