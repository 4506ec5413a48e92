// The texture-stage and blend set-up on the real device, on both roads (the built-in pixel shaders, and
// the fixed-function stage templates the back-end falls back to): a textured quad in every blend mode,
// an untextured box and an alpha-tested quad come out as the blend formulas say; and the set-up's own
// rules (blend-graph transitions, the blend-operation fallback, the quick path, the applied copy).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "D3D9TestSupport.h"
#include "graphics_d3d9/VtGraphicsD3D9NormalDraw.h"
#include "graphics_d3d9/VtGraphicsD3D9Shader.h"
#include "graphics_d3d9/VtGraphicsD3D9Stage.h"

using namespace Vantrel;
using namespace D3D9Test;

namespace {

constexpr int kSize = 8;
constexpr uint32_t kBackground = 0xFF335A80;
constexpr uint32_t kTexel = 0x99CC4D8C;   // a 0.6, r 0.8, g 0.3, b 0.55
constexpr int kBound = 4;                 // steps of 8 bits allowed per channel

struct Rgb {
    double R, G, B;
};

Rgb Channels(uint32_t argb) { return {(argb >> 16 & 0xFF) / 255.0, (argb >> 8 & 0xFF) / 255.0, (argb & 0xFF) / 255.0}; }

uint32_t Pack(const Rgb& c) {
    auto byte = [](double v) { return (uint32_t)std::lround(std::clamp(v, 0.0, 1.0) * 255.0); };
    return byte(c.R) << 16 | byte(c.G) << 8 | byte(c.B);
}

bool Near(uint32_t a, uint32_t b) {
    for (int shift = 0; shift < 24; shift += 8)
        if (std::abs((int)(a >> shift & 0xFF) - (int)(b >> shift & 0xFF)) > kBound) return false;
    return true;
}

std::string Hex(uint32_t v) {
    char text[16];
    snprintf(text, sizeof(text), "%06X", (unsigned)v);
    return text;
}

// The colour blend a mode makes of source and destination: factors, operation, and the colour
// treatment of the texel (white opaque diffuse).
enum Factor { ZERO, ONE, SC, ISC, SA, ISA, DC, IDC, NONE };
enum Op { ADD, REVSUB };
struct ModeCase {
    int Mode;
    Factor Src, Dst;
    Op Operation;
    int Type;
};

// From the library's blend-mode definitions (colour part); NONE: blending off.
const ModeCase kModes[] = {
    {0, SA, ISA, ADD, 0},   {1, SA, ISA, ADD, 0},  {2, SA, ONE, ADD, 0},   {3, SA, ONE, REVSUB, 0}, {4, ZERO, SC, ADD, 0},
    {5, SA, ONE, ADD, 0},   {6, NONE, NONE, ADD, 0}, {7, NONE, NONE, ADD, 0}, {8, ZERO, ONE, ADD, 0}, {9, IDC, ZERO, ADD, 0},
    {10, SA, ISA, ADD, 2},  {11, ZERO, SC, ADD, 1}, {12, SA, ISA, ADD, 3},  {13, SA, ONE, ADD, 3},  {14, ONE, ZERO, ADD, 0},
    {15, ONE, ISA, ADD, 0}, {16, SA, ONE, REVSUB, 0}, {17, ONE, ISA, ADD, 4}, {18, ONE, ONE, ADD, 4}, {19, ONE, ONE, REVSUB, 4},
    {20, ONE, ISA, ADD, 5}, {21, ONE, ISA, ADD, 6}, {22, ONE, ONE, ADD, 6}, {23, ZERO, ZERO, ADD, 0}, {24, ONE, ISA, ADD, 0},
    {25, ONE, ONE, ADD, 0}, {26, DC, ISA, ADD, 0},  {27, ZERO, ISC, ADD, 0}, {28, SA, ISA, ADD, 0},  {29, SA, ONE, ADD, 0},
    {30, DC, ISA, ADD, 0},  {31, ONE, ISC, ADD, 0}, {32, SA, ONE, ADD, 0},  {33, ZERO, ONE, ADD, 0}, {34, ZERO, ONE, ADD, 0},
    {35, ZERO, ONE, ADD, 0}, {36, ZERO, SA, ADD, 0}, {37, ZERO, SA, ADD, 0},
};

double Channel(const Rgb& c, int i) { return i == 0 ? c.R : i == 1 ? c.G : c.B; }

uint32_t Expected(const ModeCase& m, uint32_t texel, uint32_t background) {
    const Rgb t = Channels(texel), d = Channels(background);
    const double a = (texel >> 24) / 255.0;
    double s[3], out[3];
    for (int i = 0; i < 3; ++i) {
        const double v = Channel(t, i);
        switch (m.Type) {
            case 1: s[i] = v * a + (1.0 - a); break;   // toward the white texture factor
            case 2:
            case 5: s[i] = 1.0 - v; break;
            case 3:
            case 6: s[i] = std::min(1.0, 4.0 * v); break;
            default: s[i] = v; break;
        }
    }
    for (int i = 0; i < 3; ++i) {
        const double dv = Channel(d, i);
        if (m.Src == NONE) {
            out[i] = s[i];
            continue;
        }
        auto factor = [&](Factor f) {
            switch (f) {
                case ZERO: return 0.0;
                case ONE: return 1.0;
                case SC: return s[i];
                case ISC: return 1.0 - s[i];
                case SA: return a;
                case ISA: return 1.0 - a;
                case DC: return dv;
                case IDC: return 1.0 - dv;
                default: return 0.0;
            }
        };
        const double x = s[i] * factor(m.Src), y = dv * factor(m.Dst);
        out[i] = m.Operation == ADD ? x + y : y - x;
    }
    return Pack({out[0], out[1], out[2]});
}

// A screen-space vertex with one coordinate set (batch layout 1, 28 bytes).
struct TexturedVertex {
    float X, Y, Z, Rhw;
    uint32_t Colour;
    float U, V;
};
static_assert(sizeof(TexturedVertex) == 28, "layout 1");

bool AddTexturedBox(int x1, int y1, int x2, int y2, uint32_t colour) {
    uint8_t* at = Graphics_D3D9_VertexBatch_Reserve(1, 0, D3DPT_TRIANGLELIST, 6);
    if (at == nullptr) return false;
    const float l = x1 - 0.5f, t = y1 - 0.5f, r = x2 - 0.5f, b = y2 - 0.5f;
    const TexturedVertex corners[6] = {{l, t, 0, 1, colour, 0, 0}, {r, t, 0, 1, colour, 1, 0}, {l, b, 0, 1, colour, 0, 1},
                                       {r, b, 0, 1, colour, 1, 1}, {l, b, 0, 1, colour, 0, 1}, {r, t, 0, 1, colour, 1, 0}};
    memcpy(at, corners, sizeof(corners));
    Graphics_D3D9_VertexBatch_Commit(6);
    return true;
}

// A dynamic A8R8G8B8 texture of `width` x 1 texels (the lock is walked with its own pitch).
IDirect3DTexture9* MakeTexture(const std::vector<uint32_t>& texels, int height = 1) {
    const int width = (int)texels.size();
    IDirect3DTexture9* texture = nullptr;
    if (D3D9Call_Device_CreateTexture(width, height, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr) != D3D_OK)
        return nullptr;
    D3DLOCKED_RECT locked;
    if (texture->LockRect(0, &locked, nullptr, D3DLOCK_DISCARD) != D3D_OK) {
        D3D9Call_Object_Release(texture);
        return nullptr;
    }
    for (int y = 0; y < height; ++y) memcpy((uint8_t*)locked.pBits + (size_t)y * locked.Pitch, texels.data(), width * 4u);
    texture->UnlockRect(0);
    return texture;
}

// The normal-draw state of one draw, as the draw preparation would set it, and the derived set-up.
void PrepareNormalDraw(IDirect3DTexture9* texture, int mode, int alphaTest, int alphaBlend, const int* params = nullptr) {
    const int none[7] = {};
    Graphics_D3D9_StateCache_SetDrawTexture(texture);
    Graphics_D3D9_StateCache_SetBlendMode(mode, params ? params : none, alphaTest, alphaBlend);
    Graphics_D3D9_StateCache_SetUseBlend(mode != 0);
    Graphics_D3D9_StateCache_SetUseDiffuseColor(0);
    D3D9NormalDrawStateRecord& normal = D3D9NormalDrawState;
    if (normal.SetupNeeded || normal.TextureChanged) Graphics_D3D9_StateCache_BuildStageSetup(nullptr, 0, 1, 1);
}

// The back-end on one road: 0 the built-in pixel shaders, 1 the fixed-function stages.
class D3D9Road : public ::testing::TestWithParam<int> {
protected:
    IDirect3DTexture9* texture_ = nullptr;

    void SetUp() override {
        D3D9ShaderSettings.FixedFunctionOnly = GetParam();
        ASSERT_EQ(StartBackEnd(), 0);
        ASSERT_EQ(GraphicsSystemState.ShadersUsable, GetParam() == 0 ? 1 : 0);
        Graphics_D3D9_StateCache_SetZEnable(0);
    }

    void TearDown() override {
        if (texture_) D3D9Call_Object_Release(texture_);
        texture_ = nullptr;
        EndBackEnd();
        D3D9ShaderSettings.FixedFunctionOnly = 0;
        EXPECT_EQ(D3D9Call_GetTotalObjectCount(), 0);
    }

    // Clears, lets `draw` write the batch, flushes and reads the top-left kSize x kSize pixels.
    template <typename Draw>
    std::vector<uint32_t> Frame(Draw draw) {
        D3D9Call_Device_Clear(0, nullptr, D3DCLEAR_TARGET, kBackground, 1.0f, 0);
        draw();
        Graphics_D3D9_VertexBatch_Flush(0);
        return ReadBackBuffer(kSize, kSize);
    }

    // With the built-in shaders a normal draw has its pixel shader bound; without them none.
    void ExpectRoad() {
        if (GetParam() == 0) EXPECT_NE(D3D9DeviceStateCache.PixelShader, nullptr);
        else EXPECT_EQ(D3D9DeviceStateCache.PixelShader, nullptr);
    }
};

TEST_P(D3D9Road, TexturedQuadInEveryBlendModeBlendsAsItsFormula) {
    ASSERT_EQ(D3D9DeviceState.BlendOperation, 1) << "mode 3 is listed with the device's subtraction";
    texture_ = MakeTexture({kTexel});
    ASSERT_NE(texture_, nullptr);
    for (const ModeCase& m : kModes) {
        // Mode 32 states its factors: source alpha, one, add, for colour and alpha.
        const int user[7] = {1, 4, 1, 0, 4, 1, 0};
        const std::vector<uint32_t> pixels = Frame([&] {
            PrepareNormalDraw(texture_, m.Mode, 0, 1, m.Mode == 32 ? user : nullptr);
            AddTexturedBox(0, 0, kSize, kSize, 0xFFFFFFFF);
        });
        ASSERT_EQ(pixels.size(), (size_t)kSize * kSize);
        ExpectRoad();
        const uint32_t expected = Expected(m, kTexel, kBackground);
        EXPECT_TRUE(Near(pixels[kSize * 3 + 3], expected))
            << "mode " << m.Mode << ": " << Hex(pixels[kSize * 3 + 3]) << ", formula " << Hex(expected);
        EXPECT_EQ(pixels[0], pixels[kSize * kSize - 1]) << "mode " << m.Mode << ": the quad is even";
    }
}

TEST_P(D3D9Road, UntexturedBoxBlendsItsDiffuseColour) {
    const uint32_t diffuse = 0x80FF8000;
    const std::vector<uint32_t> pixels = Frame([&] {
        PrepareNormalDraw(nullptr, 1, 0, 0);
        AddBox(2, 2, 6, 6, diffuse);
    });
    ASSERT_EQ(pixels.size(), (size_t)kSize * kSize);
    ExpectRoad();
    const ModeCase alpha = {1, SA, ISA, ADD, 0};
    const uint32_t expected = Expected(alpha, diffuse, kBackground);
    EXPECT_TRUE(Near(pixels[kSize * 3 + 3], expected)) << Hex(pixels[kSize * 3 + 3]) << ", formula " << Hex(expected);
    EXPECT_EQ(pixels[kSize + 1], kBackground & 0xFFFFFF) << "outside the box";
    EXPECT_EQ(D3D9VertexBatch.Layout, 0);
}

TEST_P(D3D9Road, AlphaTestedQuadDropsTexelsOfAlphaSixteenAndBelow) {
    // A cut-out graph: alpha test wanted, no blending; the left texel is at the reference, the right
    // one just above it.
    texture_ = MakeTexture({0x10FF0000, 0x11FF0000});
    ASSERT_NE(texture_, nullptr);
    const std::vector<uint32_t> pixels = Frame([&] {
        PrepareNormalDraw(texture_, 0, 1, 0);
        AddTexturedBox(0, 0, kSize, kSize, 0xFFFFFFFF);
    });
    ASSERT_EQ(pixels.size(), (size_t)kSize * kSize);
    ExpectRoad();
    EXPECT_EQ(D3D9DeviceStateCache.Applied.AlphaTestEnable, 1);
    EXPECT_EQ(D3D9DeviceStateCache.Applied.BlendEnable, 0);
    for (int y = 0; y < kSize; ++y) {
        EXPECT_EQ(pixels[y * kSize + 1], kBackground & 0xFFFFFF) << "row " << y;
        EXPECT_EQ(pixels[y * kSize + 6], 0xFF0000u) << "row " << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Roads, D3D9Road, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& info) { return info.param == 0 ? "Shaders" : "FixedFunction"; });

// The set-up's own rules, on the back-end with its shaders.
class D3D9StageSetup_ : public BackEndTest {
protected:
    IDirect3DTexture9* draw_ = nullptr;
    IDirect3DTexture9* blend_ = nullptr;

    void SetUp() override {
        BackEndTest::SetUp();
        draw_ = MakeTexture({kTexel});
        blend_ = MakeTexture({0x80FFFFFF});
        ASSERT_NE(draw_, nullptr);
        ASSERT_NE(blend_, nullptr);
    }

    void TearDown() override {
        D3D9NormalDrawState.DrawTexture = D3D9NormalDrawState.BlendTexture = nullptr;
        if (draw_) D3D9Call_Object_Release(draw_);
        if (blend_) D3D9Call_Object_Release(blend_);
        BackEndTest::TearDown();
    }
};

TEST_F(D3D9StageSetup_, TransitionBlendGraphSetsFactorStagesAndAlphaTestFromThresholdAndWidth) {
    struct Case {
        int Threshold, Width, AlphaBlend;
        uint32_t FactorAlpha;
        int Stage0AlphaOp, Stage1AlphaOp;
        int AlphaTest, AlphaRef, AlphaFunc, Blend, Skip;
    };
    const Case cases[] = {
        {0, 64, 0, 64, D3DTOP_ADD, D3DTOP_MODULATE4X, 0, -1, -1, 1, 0},
        {255, 64, 0, 255, D3DTOP_SUBTRACT, D3DTOP_MODULATE4X, 0, -1, -1, 1, 1},
        {128, 200, 0, 1, D3DTOP_SUBTRACT, D3DTOP_MODULATE, 0, -1, -1, 1, 0},
        {0, 1, 1, 0, -1, -1, 1, 1, D3DCMP_GREATEREQUAL, 0, 0},
        {40, 1, 0, 0, -1, -1, 1, 40, D3DCMP_GREATEREQUAL, 0, 0},
    };
    // A textured shader is bound first: the blend graph must take it away.
    PrepareNormalDraw(draw_, 1, 0, 1);
    ASSERT_NE(D3D9DeviceStateCache.PixelShader, nullptr);
    Graphics_D3D9_StateCache_SetBlendTexture(blend_, 1, 1);
    for (const Case& c : cases) {
        const int params[2] = {c.Threshold, c.Width};
        Graphics_D3D9_StateCache_SetBlendGraphParam(1, params);
        PrepareNormalDraw(draw_, 1, 0, c.AlphaBlend);
        const D3D9StageSetup& applied = D3D9DeviceStateCache.Applied;
        const std::string label = "threshold " + std::to_string(c.Threshold) + " width " + std::to_string(c.Width);
        EXPECT_EQ(D3D9DeviceStateCache.PixelShader, nullptr) << label;
        EXPECT_EQ(applied.TextureFactor >> 24, c.FactorAlpha) << label;
        if (c.Stage0AlphaOp != -1) {
            EXPECT_EQ(applied.Stages[0].AlphaOp, c.Stage0AlphaOp) << label;
            EXPECT_EQ(applied.Stages[1].AlphaOp, c.Stage1AlphaOp) << label;
        }
        EXPECT_EQ(applied.AlphaTestEnable, c.AlphaTest) << label;
        if (c.AlphaTest) {
            EXPECT_EQ(applied.AlphaRef, c.AlphaRef) << label;
            EXPECT_EQ(applied.AlphaFunc, c.AlphaFunc) << label;
        }
        EXPECT_EQ(applied.BlendEnable, c.Blend) << label;
        EXPECT_EQ(D3D9VertexBatch.SkipDraw, c.Skip) << label;
        EXPECT_EQ(D3D9VertexBatch.Layout, 2) << label;
        // The draw texture sits in stage 2 behind an empty stage when the draw blends, else in stage 1.
        EXPECT_EQ(applied.Stages[0].Texture, (uintptr_t)blend_) << label;
        EXPECT_EQ(applied.Stages[c.AlphaBlend ? 2 : 1].Texture, (uintptr_t)draw_) << label;
    }
}

TEST_F(D3D9StageSetup_, SubtractiveModeFallsBackWithoutTheBlendOperation) {
    const struct {
        int Operation;
        int Src, Dest, Op;
    } cases[] = {{1, D3DBLEND_SRCALPHA, D3DBLEND_ONE, D3DBLENDOP_REVSUBTRACT}, {0, D3DBLEND_INVDESTCOLOR, D3DBLEND_ZERO, D3DBLENDOP_ADD}};
    const int saved = D3D9DeviceState.BlendOperation;
    for (const auto& c : cases) {
        D3D9DeviceState.BlendOperation = c.Operation;
        Graphics_D3D9_StateCache_SetBlendMode(0, nullptr, 0, 0);
        PrepareNormalDraw(draw_, 3, 0, 1);
        const D3D9StageSetup& applied = D3D9DeviceStateCache.Applied;
        EXPECT_EQ(applied.SrcBlend, c.Src) << c.Operation;
        EXPECT_EQ(applied.DestBlend, c.Dest) << c.Operation;
        EXPECT_EQ(applied.BlendOp, c.Op) << c.Operation;
    }
    D3D9DeviceState.BlendOperation = saved;
}

TEST_F(D3D9StageSetup_, QuickPathRebindsOnlyAChangedTextureAndOtherwiseDoesNothing) {
    PrepareNormalDraw(draw_, 1, 0, 1);
    D3D9Call_ResetDeviceCallCounts();
    EXPECT_EQ(Graphics_D3D9_StateCache_BuildStageSetup(nullptr, 0, 1, 1), -1);
    EXPECT_EQ(AllDeviceCalls(), 0u);

    // Another texture with the same set-up: the texture alone goes to the device.
    Graphics_D3D9_StateCache_SetDrawTexture(blend_);
    ASSERT_EQ(D3D9NormalDrawState.SetupNeeded, 0);
    D3D9Call_ResetDeviceCallCounts();
    EXPECT_EQ(Graphics_D3D9_StateCache_BuildStageSetup(nullptr, 0, 1, 1), 0);
    EXPECT_EQ(DeviceCalls(D3D9CALL_SetRenderState) + DeviceCalls(D3D9CALL_SetTextureStageState) + DeviceCalls(D3D9CALL_SetPixelShader), 0u);
    EXPECT_GE(DeviceCalls(D3D9CALL_SetTexture), 1u);
    EXPECT_EQ(D3D9DeviceStateCache.Applied.Stages[0].Texture, (uintptr_t)blend_);
    EXPECT_EQ(D3D9NormalDrawState.TextureChanged, 0);
}

TEST_F(D3D9StageSetup_, SameRecordTwiceSendsOnlyTheEmptyVertexSamplersAgain) {
    D3D9StageSetup record = {};
    record.AlphaTestEnable = 1;
    record.AlphaRef = 8;
    record.AlphaFunc = D3DCMP_GREATER;
    record.BlendEnable = 1;
    record.TextureFactor = 0x80FFFFFF;
    record.SrcBlend = D3DBLEND_SRCALPHA, record.DestBlend = D3DBLEND_INVSRCALPHA, record.BlendOp = D3DBLENDOP_ADD;
    record.SrcBlendAlpha = record.DestBlendAlpha = record.BlendOpAlpha = -1;
    record.StageCount = 2;
    record.Stages[0] = {(uintptr_t)draw_, 0, 0, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_MODULATE};
    record.Stages[1] = {0, -1, -1, -1, -1, D3DTOP_DISABLE, -1, -1, D3DTOP_DISABLE};
    ASSERT_EQ(Graphics_D3D9_StateCache_ApplyStageSetup(&record, 0, 0, 0), 0);
    EXPECT_EQ(D3D9DeviceStateCache.Applied.Stages[0].Texture, (uintptr_t)draw_);
    EXPECT_EQ(D3D9DeviceStateCache.PixelShader, nullptr);
    D3D9Call_ResetDeviceCallCounts();
    ASSERT_EQ(Graphics_D3D9_StateCache_ApplyStageSetup(&record, 0, 0, 0), 0);
    EXPECT_EQ(DeviceCalls(D3D9CALL_SetRenderState), 0u);
    EXPECT_EQ(DeviceCalls(D3D9CALL_SetTextureStageState), 0u);
    EXPECT_EQ(DeviceCalls(D3D9CALL_SetTexture), 2u) << "vertex samplers 2 and 3";
    EXPECT_EQ(D3D9NormalDrawState.SetupNeeded, 1);
}

}  // namespace
