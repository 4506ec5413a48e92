// The built-in shaders on a Direct3D 9 device made here (d3d9.dll in a window of its own): the device
// creates every shader of the packs and the twelve vertex declarations; the pixel shaders draw what
// the fixed-function texture stages of the same blend-row type draw; the blend-graph, alpha-check,
// mask and channel-mix shaders draw what their templates say; the 2D vertex shader places pixels as
// pretransformed vertices do.
#include <gtest/gtest.h>

#include <d3d9.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "D3D9ShaderSupport.h"
#include "graphics_d3d9/VtGraphicsD3D9ShaderPack.h"

using namespace Vantrel;
using namespace D3D9ShaderTest;

namespace {

const int kSize = 4;

struct Colour {
    float R, G, B, A;
};

uint32_t Pack(const Colour& c) {
    auto byte = [](float v) { return (uint32_t)std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f); };
    return byte(c.A) << 24 | byte(c.R) << 16 | byte(c.G) << 8 | byte(c.B);
}

Colour Unpack(uint32_t argb) {
    return {(argb >> 16 & 0xFF) / 255.0f, (argb >> 8 & 0xFF) / 255.0f, (argb & 0xFF) / 255.0f, (argb >> 24) / 255.0f};
}

// Channels apart by at most `bound` steps of 8 bits.
bool Near(uint32_t a, uint32_t b, int bound = 2) {
    for (int shift = 0; shift < 32; shift += 8)
        if (std::abs((int)(a >> shift & 0xFF) - (int)(b >> shift & 0xFF)) > bound) return false;
    return true;
}

std::string HexWord(uint32_t v) {
    char text[16];
    snprintf(text, sizeof(text), "%08X", (unsigned)v);
    return text;
}

struct Vertex {
    float X, Y, Z, Rhw;
    uint32_t Diffuse;
    float U0, V0, U1, V1;
};
const DWORD kVertexFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX2;

// The device, a 4 x 4 A8R8G8B8 target read back through system memory, and 1 x 1 textures.
class D3D9Device : public ::testing::Test {
protected:
    static HMODULE Library;
    static HWND Window;
    static IDirect3D9* Direct3D;
    static IDirect3DDevice9* Device;
    static IDirect3DSurface9* Target;
    static IDirect3DSurface9* ReadBack;

    static void SetUpTestSuite() {
        ASSERT_EQ(Graphics_D3D9_ShaderCode_Base_Initialize(), 1);
        Library = LoadLibraryW(L"d3d9.dll");
        ASSERT_NE(Library, nullptr);
        auto create = (IDirect3D9*(WINAPI*)(UINT))(void*)GetProcAddress(Library, "Direct3DCreate9");
        ASSERT_NE(create, nullptr);
        // A prefix made moments before can refuse the first object once.
        for (int attempt = 0; attempt < 3 && Direct3D == nullptr; ++attempt) Direct3D = create(D3D_SDK_VERSION);
        ASSERT_NE(Direct3D, nullptr);
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"D3D9ShaderTest";
        RegisterClassW(&wc);
        Window = CreateWindowW(L"D3D9ShaderTest", L"D3D9ShaderTest", WS_OVERLAPPEDWINDOW, 0, 0, 64, 64, nullptr, nullptr,
                               wc.hInstance, nullptr);
        ASSERT_NE(Window, nullptr);
        D3DPRESENT_PARAMETERS pp = {};
        pp.BackBufferWidth = 16;
        pp.BackBufferHeight = 16;
        pp.BackBufferFormat = D3DFMT_UNKNOWN;
        pp.BackBufferCount = 1;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.hDeviceWindow = Window;
        pp.Windowed = TRUE;
        ASSERT_EQ(Direct3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, Window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &Device), S_OK);
        ASSERT_EQ(Device->CreateRenderTarget(kSize, kSize, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &Target, nullptr), S_OK);
        ASSERT_EQ(Device->CreateOffscreenPlainSurface(kSize, kSize, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &ReadBack, nullptr), S_OK);
    }

    static void TearDownTestSuite() {
        if (ReadBack) ReadBack->Release();
        if (Target) Target->Release();
        if (Device) Device->Release();
        if (Direct3D) Direct3D->Release();
        if (Window) DestroyWindow(Window);
        ReadBack = Target = nullptr;
        Device = nullptr;
        Direct3D = nullptr;
        Window = nullptr;
        Graphics_D3D9_ShaderCode_Base_Terminate();
    }

    IDirect3DTexture9* textures_[2] = {};

    void TearDown() override {
        for (IDirect3DTexture9*& t : textures_)
            if (t) t->Release(), t = nullptr;
    }

    static IDirect3DPixelShader9* PixelShader(const D3D9ShaderCode& code) {
        IDirect3DPixelShader9* shader = nullptr;
        if (code.Code == nullptr || Device->CreatePixelShader((const DWORD*)code.Code, &shader) != S_OK) return nullptr;
        return shader;
    }

    // Texture `stage` (0 or 1) is one texel of `argb`.
    void SetTexel(int stage, uint32_t argb) {
        if (textures_[stage] == nullptr) {
            ASSERT_EQ(Device->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &textures_[stage], nullptr), S_OK);
        }
        D3DLOCKED_RECT locked;
        ASSERT_EQ(textures_[stage]->LockRect(0, &locked, nullptr, 0), S_OK);
        *(uint32_t*)locked.pBits = argb;
        textures_[stage]->UnlockRect(0);
        Device->SetTexture(stage, textures_[stage]);
    }

    // Plain state: no depth, blending, alpha test, fog, lighting or culling; point sampling.
    static void ResetState() {
        Device->SetRenderTarget(0, Target);
        Device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        Device->SetRenderState(D3DRS_LIGHTING, FALSE);
        Device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        Device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        Device->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
        Device->SetRenderState(D3DRS_FOGENABLE, FALSE);
        Device->SetRenderState(D3DRS_SPECULARENABLE, FALSE);
        for (DWORD s = 0; s < 2; ++s) {
            Device->SetSamplerState(s, D3DSAMP_MINFILTER, D3DTEXF_POINT);
            Device->SetSamplerState(s, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
            Device->SetSamplerState(s, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
        }
        for (DWORD s = 0; s < 8; ++s) {
            Device->SetTextureStageState(s, D3DTSS_COLOROP, D3DTOP_DISABLE);
            Device->SetTextureStageState(s, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
            Device->SetTextureStageState(s, D3DTSS_TEXCOORDINDEX, s < 2 ? s : 0);
        }
        Device->SetVertexShader(nullptr);
        Device->SetPixelShader(nullptr);
        Device->SetFVF(kVertexFvf);
    }

    // Draws a quad over the whole target (or only its pixels 1 and 2 in each direction) in `diffuse`
    // and reads the pixel at (1, 1); the target is cleared to `clear` first.
    static uint32_t Draw(uint32_t diffuse, uint32_t clear = 0x00000000, bool inner = false, uint32_t* corner = nullptr) {
        Device->Clear(0, nullptr, D3DCLEAR_TARGET, clear, 1.0f, 0);
        const float a = inner ? 0.5f : -0.5f, b = inner ? 2.5f : kSize - 0.5f;
        const Vertex quad[4] = {{a, a, 0, 1, diffuse, 0, 0, 0, 0},
                                {b, a, 0, 1, diffuse, 1, 0, 1, 0},
                                {a, b, 0, 1, diffuse, 0, 1, 0, 1},
                                {b, b, 0, 1, diffuse, 1, 1, 1, 1}};
        if (Device->BeginScene() != S_OK) return 0xDEADBEEF;
        Device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
        Device->EndScene();
        if (Device->GetRenderTargetData(Target, ReadBack) != S_OK) return 0xDEADBEEF;
        D3DLOCKED_RECT locked;
        if (ReadBack->LockRect(&locked, nullptr, D3DLOCK_READONLY) != S_OK) return 0xDEADBEEF;
        const uint32_t pixel = *(const uint32_t*)((const uint8_t*)locked.pBits + locked.Pitch + 4);
        if (corner != nullptr) *corner = *(const uint32_t*)locked.pBits;
        ReadBack->UnlockRect();
        return pixel;
    }

    // The texture factor as the device state and as pixel-shader register c5 (blue, green, red, alpha).
    static void SetTextureFactor(uint32_t argb) {
        Device->SetRenderState(D3DRS_TEXTUREFACTOR, argb);
        const Colour c = Unpack(argb);
        const float c5[4] = {c.B, c.G, c.R, c.A};
        Device->SetPixelShaderConstantF(D3D9PixelRegister_TextureFactor, c5, 1);
    }

    static void Stage(DWORD stage, DWORD colourOp, DWORD colour1, DWORD colour2, DWORD alphaOp, DWORD alpha1, DWORD alpha2) {
        Device->SetTextureStageState(stage, D3DTSS_COLOROP, colourOp);
        Device->SetTextureStageState(stage, D3DTSS_COLORARG1, colour1);
        Device->SetTextureStageState(stage, D3DTSS_COLORARG2, colour2);
        Device->SetTextureStageState(stage, D3DTSS_ALPHAOP, alphaOp);
        Device->SetTextureStageState(stage, D3DTSS_ALPHAARG1, alpha1);
        Device->SetTextureStageState(stage, D3DTSS_ALPHAARG2, alpha2);
    }
};

HMODULE D3D9Device::Library = nullptr;
HWND D3D9Device::Window = nullptr;
IDirect3D9* D3D9Device::Direct3D = nullptr;
IDirect3DDevice9* D3D9Device::Device = nullptr;
IDirect3DSurface9* D3D9Device::Target = nullptr;
IDirect3DSurface9* D3D9Device::ReadBack = nullptr;

const uint32_t kTexel = 0x99CC4D8C;        // a 0.6, r 0.8, g 0.3, b 0.55
const uint32_t kDiffuse = 0xB380E640;      // a 0.7, r 0.5, g 0.9, b 0.25
const uint32_t kFactor = 0x6633991A;       // a 0.4, r 0.2, g 0.6, b 0.1

}  // namespace

TEST_F(D3D9Device, CreatesEveryShaderOfThePacksAndTheVertexDeclarations) {
    D3DCAPS9 caps;
    ASSERT_EQ(Device->GetDeviceCaps(&caps), S_OK);
    EXPECT_GE(caps.VertexShaderVersion & 0xFFFF, 0x0200u);
    EXPECT_GE(caps.PixelShaderVersion & 0xFFFF, 0x0200u);
    int created = 0;
    for (const PackShader& s : AllPackShaders()) {
        const D3D9ShaderCode code = s.Pack == 1   ? Graphics_D3D9_ShaderCode_GetBase(s.Shader.Name.c_str())
                                    : s.Pack == 2 ? Graphics_D3D9_ShaderCode_GetChannelMix(std::stoi(s.Shader.Name))
                                                  : Graphics_D3D9_ShaderCode_GetFilter(s.Shader.Name.c_str());
        ASSERT_NE(code.Code, nullptr) << s.Shader.Name;
        const bool vertex = code.Code[2] == 0xFE;
        if (vertex) {
            IDirect3DVertexShader9* shader = nullptr;
            EXPECT_EQ(Device->CreateVertexShader((const DWORD*)code.Code, &shader), S_OK) << s.Shader.Name;
            if (shader) shader->Release(), ++created;
        } else {
            IDirect3DPixelShader9* shader = nullptr;
            EXPECT_EQ(Device->CreatePixelShader((const DWORD*)code.Code, &shader), S_OK) << s.Shader.Name;
            if (shader) shader->Release(), ++created;
        }
    }
    EXPECT_EQ(created, 1 + 14 + 224 + 1 + 8 + 512 + 97);

    // The declarations: created, read back as given, and as wide as the vertices of their formats.
    const UINT vertexBytes[D3D9VertexDeclarationCount] = {28, 20, 28, 40, 40, 16, 24, 48, 88, 84, 48, 88};
    for (int i = 0; i < D3D9VertexDeclarationCount; ++i) {
        const D3DVERTEXELEMENT9* elements = D3D9VertexDeclarationElements[i];
        UINT count = 0, end = 0;
        for (; elements[count].Stream != 0xFF; ++count) {
            const UINT size = elements[count].Type == D3DDECLTYPE_FLOAT4   ? 16
                              : elements[count].Type == D3DDECLTYPE_FLOAT3 ? 12
                              : elements[count].Type == D3DDECLTYPE_FLOAT2 ? 8
                                                                           : 4;
            end = std::max(end, (UINT)elements[count].Offset + size);
        }
        EXPECT_EQ(end, vertexBytes[i]) << "declaration " << i;
        IDirect3DVertexDeclaration9* declaration = nullptr;
        ASSERT_EQ(Device->CreateVertexDeclaration(elements, &declaration), S_OK) << "declaration " << i;
        D3DVERTEXELEMENT9 back[MAXD3DDECLLENGTH + 1];
        UINT backCount = MAXD3DDECLLENGTH + 1;
        EXPECT_EQ(declaration->GetDeclaration(back, &backCount), S_OK);
        EXPECT_EQ(backCount, count + 1) << "declaration " << i;
        EXPECT_EQ(memcmp(back, elements, sizeof(D3DVERTEXELEMENT9) * std::min(backCount, count + 1)), 0) << "declaration " << i;
        declaration->Release();
    }
}

// The textured shaders without a blend graph against the stage templates of the same type: the
// template for (alpha variant, use-diffuse, use-blend) and the shader for (type, ignore colour,
// ignore texture alpha = alpha variant 0) draw the same pixel.
TEST_F(D3D9Device, TexturedShadersDrawWhatTheStageTemplatesDraw) {
    ResetState();
    SetTextureFactor(kFactor);
    for (int type = 0; type < D3D9SHADER_TYPE_COUNT; ++type)
        for (int ignoreColour = 0; ignoreColour < 2; ++ignoreColour)
            for (int alphaVariant = 0; alphaVariant < 2; ++alphaVariant)
                for (int useDiffuse = 0; useDiffuse < 2; ++useDiffuse)
                    for (int useBlend = type == 0 ? 0 : 1; useBlend < 2; ++useBlend) {
                        // Without use-diffuse the colour is white; without use-blend (blend mode 0) alpha is 1.
                        uint32_t diffuse = kDiffuse;
                        if (!useDiffuse) diffuse |= 0x00FFFFFF;
                        if (!useBlend) diffuse |= 0xFF000000;
                        SetTexel(0, kTexel);
                        ResetState();

                        // The template of alpha variant a, use-blend, use-diffuse and type.
                        const DWORD texture = ignoreColour ? D3DTA_TFACTOR : D3DTA_TEXTURE;
                        const DWORD complement = type == 2 || type == 5 ? D3DTA_COMPLEMENT : 0;
                        const DWORD alphaOp = alphaVariant == 0 ? D3DTOP_SELECTARG2 : useBlend ? D3DTOP_MODULATE : D3DTOP_SELECTARG1;
                        DWORD colourOp = D3DTOP_MODULATE, colour2 = D3DTA_DIFFUSE;
                        if (type == 3 || type == 6) colourOp = D3DTOP_MODULATE4X;
                        else if (!useDiffuse && type >= 4 && useBlend) colour2 = D3DTA_DIFFUSE | D3DTA_ALPHAREPLICATE;
                        else if (!useDiffuse) colourOp = D3DTOP_SELECTARG1;
                        Stage(0, colourOp, texture | complement, colour2, alphaOp, D3DTA_TEXTURE, D3DTA_DIFFUSE);
                        DWORD next = 1;
                        if (type == 1) Stage(next++, D3DTOP_BLENDCURRENTALPHA, D3DTA_CURRENT, D3DTA_TFACTOR, D3DTOP_SELECTARG1, D3DTA_CURRENT, D3DTA_DIFFUSE);
                        if (((type == 4 || type == 5) && useDiffuse && useBlend) || (type == 6 && useBlend))
                            Stage(next++, D3DTOP_MODULATE, D3DTA_CURRENT, D3DTA_DIFFUSE | D3DTA_ALPHAREPLICATE, D3DTOP_SELECTARG1, D3DTA_CURRENT,
                                  D3DTA_DIFFUSE);
                        const uint32_t fixed = Draw(diffuse);

                        const int index = 8 * type + 4 * ignoreColour + 2 * (alphaVariant == 0 ? 1 : 0);
                        IDirect3DPixelShader9* shader = PixelShader(Graphics_D3D9_ShaderCode_GetTextured(index));
                        ASSERT_NE(shader, nullptr) << index;
                        Device->SetPixelShader(shader);
                        const uint32_t programmable = Draw(diffuse);
                        Device->SetPixelShader(nullptr);
                        shader->Release();
                        EXPECT_TRUE(Near(fixed, programmable))
                            << "type " << type << " ignore colour " << ignoreColour << " alpha variant " << alphaVariant << " diffuse "
                            << useDiffuse << " blend " << useBlend << ": stages " << HexWord(fixed) << ", shader " << HexWord(programmable);
                    }
}

// The untextured shaders against the single stage (with the white texture for types 3 and 6) of the
// same type.
TEST_F(D3D9Device, UntexturedShadersDrawWhatTheUntexturedStagesDraw) {
    for (int type = 0; type < D3D9SHADER_TYPE_COUNT; ++type) {
        ResetState();
        SetTextureFactor(kFactor);
        SetTexel(0, 0xFFFFFFFF);
        switch (type) {
        case 0: Stage(0, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE); break;
        case 1: Stage(0, D3DTOP_BLENDDIFFUSEALPHA, D3DTA_DIFFUSE, D3DTA_TFACTOR, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_DIFFUSE); break;
        case 2: Stage(0, D3DTOP_SELECTARG1, D3DTA_DIFFUSE | D3DTA_COMPLEMENT, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_DIFFUSE); break;
        case 3: Stage(0, D3DTOP_MODULATE4X, D3DTA_DIFFUSE, D3DTA_TEXTURE, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_DIFFUSE); break;
        case 4:
            Stage(0, D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_DIFFUSE | D3DTA_ALPHAREPLICATE, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_DIFFUSE);
            break;
        case 5:
            Stage(0, D3DTOP_MODULATE, D3DTA_DIFFUSE | D3DTA_COMPLEMENT, D3DTA_DIFFUSE | D3DTA_ALPHAREPLICATE, D3DTOP_SELECTARG1, D3DTA_DIFFUSE,
                  D3DTA_DIFFUSE);
            break;
        default:
            Stage(0, D3DTOP_MODULATE4X, D3DTA_DIFFUSE, D3DTA_TEXTURE, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_DIFFUSE);
            Stage(1, D3DTOP_MODULATE, D3DTA_CURRENT, D3DTA_DIFFUSE | D3DTA_ALPHAREPLICATE, D3DTOP_SELECTARG1, D3DTA_CURRENT, D3DTA_DIFFUSE);
            break;
        }
        const uint32_t fixed = Draw(kDiffuse);
        IDirect3DPixelShader9* shader = PixelShader(Graphics_D3D9_ShaderCode_GetUntextured(type * 2));
        ASSERT_NE(shader, nullptr) << type;
        Device->SetPixelShader(shader);
        const uint32_t programmable = Draw(kDiffuse);
        Device->SetPixelShader(nullptr);
        shader->Release();
        EXPECT_TRUE(Near(fixed, programmable)) << "type " << type << ": stage " << HexWord(fixed) << ", shader " << HexWord(programmable);
    }
}

// The alpha check discards pixels whose alpha is not above the reference in c7.x.
TEST_F(D3D9Device, AlphaCheckDiscardsAtAndBelowTheReference) {
    ResetState();
    SetTextureFactor(0xFFFFFFFF);
    SetTexel(0, kTexel);
    const float alpha = 0.6f * 0.7f;   // texel alpha x diffuse alpha of the textured shader
    struct Case {
        D3D9ShaderCode Code;
        float Alpha;
    };
    const Case cases[] = {{Graphics_D3D9_ShaderCode_GetUntextured(1), 0.7f}, {Graphics_D3D9_ShaderCode_GetTextured(1), alpha}};
    for (const Case& c : cases) {
        IDirect3DPixelShader9* shader = PixelShader(c.Code);
        ASSERT_NE(shader, nullptr);
        Device->SetPixelShader(shader);
        for (float reference : {c.Alpha - 0.05f, c.Alpha + 0.05f, 1.0f}) {
            const float c7[4] = {reference, 0, 0, 0};
            Device->SetPixelShaderConstantF(D3D9PixelRegister_AlphaCheck, c7, 1);
            const uint32_t pixel = Draw(kDiffuse, 0x12345678);
            if (reference < c.Alpha) EXPECT_NE(pixel, 0x12345678u) << reference;
            else EXPECT_EQ(pixel, 0x12345678u) << reference;
        }
        Device->SetPixelShader(nullptr);
        shader->Release();
    }
}

// The blend-graph shaders (type 0, nothing ignored): the crossfade by the factor's alpha, the
// transition by the blend graph's alpha through c6, the blend graph's alpha as a mask.
TEST_F(D3D9Device, BlendGraphShadersMixTheBlendGraphIn) {
    ResetState();
    const uint32_t blend = 0x40336699;   // a 0.25
    SetTexel(0, kTexel);
    SetTexel(1, blend);
    SetTextureFactor(kFactor);
    const float c6[4] = {0, 0, 4.0f, -0.125f};
    Device->SetPixelShaderConstantF(D3D9PixelRegister_BlendTransition, c6, 1);
    const Colour t = Unpack(kTexel), b = Unpack(blend), d = Unpack(kDiffuse), f = Unpack(kFactor);
    for (int kind = 0; kind < 3; ++kind) {
        Colour c = t;
        if (kind == 0) c = {t.R + (b.R - t.R) * f.A, t.G + (b.G - t.G) * f.A, t.B + (b.B - t.B) * f.A, t.A + (b.A - t.A) * f.A};
        if (kind == 1) c.A *= std::clamp((b.A + c6[3]) * c6[2], 0.0f, 1.0f);
        if (kind == 2) c.A *= b.A;
        const uint32_t expected = Pack({c.R * d.R, c.G * d.G, c.B * d.B, c.A * d.A});
        IDirect3DPixelShader9* shader = PixelShader(Graphics_D3D9_ShaderCode_GetTextured(56 * (kind + 1)));
        ASSERT_NE(shader, nullptr);
        Device->SetPixelShader(shader);
        const uint32_t pixel = Draw(kDiffuse);
        Device->SetPixelShader(nullptr);
        shader->Release();
        EXPECT_TRUE(Near(pixel, expected)) << "kind " << kind << ": " << HexWord(pixel) << ", expected " << HexWord(expected);
    }
}

TEST_F(D3D9Device, MaskShadersKeepWhatTheMaskLetsThrough) {
    ResetState();
    const uint32_t screen = 0xFF3366CC;
    SetTexel(0, screen);
    // The plain composite: the screen's colour with the mask image's alpha.
    SetTexel(1, 0x80FFFFFF);
    IDirect3DPixelShader9* plain = PixelShader(Graphics_D3D9_ShaderCode_GetBase(D3D9ShaderName_MaskBlend));
    ASSERT_NE(plain, nullptr);
    Device->SetPixelShader(plain);
    EXPECT_TRUE(Near(Draw(0xFFFFFFFF), 0x803366CC));
    Device->SetPixelShader(nullptr);
    plain->Release();
    // By a graph's channel: drawn where the channel is 0, reversed where it is not.
    for (int index = 0; index < D3D9SHADER_MASK_GRAPH_COUNT; ++index) {
        const int shift = index / 2 == 0 ? 24 : index / 2 == 1 ? 16 : index / 2 == 2 ? 8 : 0;
        IDirect3DPixelShader9* shader = PixelShader(Graphics_D3D9_ShaderCode_GetMaskGraph(index));
        ASSERT_NE(shader, nullptr) << index;
        Device->SetPixelShader(shader);
        for (uint32_t value : {0u, 1u, 255u}) {
            SetTexel(1, (0xFFFFFFFFu & ~(0xFFu << shift)) | value << shift);
            const bool drawn = (value == 0) != (index % 2 == 1);
            EXPECT_EQ(Draw(0xFFFFFFFF, 0x12345678), drawn ? screen : 0x12345678u) << "shader " << index << " channel value " << value;
        }
        Device->SetPixelShader(nullptr);
        shader->Release();
    }
}

TEST_F(D3D9Device, ChannelMixShadersChooseTheirChannels) {
    ResetState();
    const uint32_t source = 0x80402010;   // a 0.5; straight colour of the premultiplied form: r 0.5, g 0.25, b 0.125
    SetTexel(0, source);
    const float channels[4] = {0x40 / 255.0f, 0x20 / 255.0f, 0x10 / 255.0f, 0x80 / 255.0f};
    const int selections[][4] = {{0, 1, 2, 3}, {2, 0, 3, 1}, {3, 3, 3, 0}, {1, 2, 0, 2}};
    for (const int* s : selections)
        for (int premultiplied = 0; premultiplied < 2; ++premultiplied) {
            const int index = (((s[0] * 4 + s[1]) * 4 + s[2]) * 4 + s[3]) * 2 + premultiplied;
            float in[4];
            for (int c = 0; c < 4; ++c) in[c] = premultiplied && c < 3 ? channels[c] / channels[3] : channels[c];
            Colour out = {in[s[0]], in[s[1]], in[s[2]], in[s[3]]};
            if (premultiplied) out = {out.R * out.A, out.G * out.A, out.B * out.A, out.A};
            IDirect3DPixelShader9* shader = PixelShader(Graphics_D3D9_ShaderCode_GetChannelMix(index));
            ASSERT_NE(shader, nullptr) << index;
            Device->SetPixelShader(shader);
            const uint32_t pixel = Draw(0xFFFFFFFF);
            Device->SetPixelShader(nullptr);
            shader->Release();
            EXPECT_TRUE(Near(pixel, Pack(out))) << "mix " << index << ": " << HexWord(pixel) << ", expected " << HexWord(Pack(out));
        }
}

// The 2D vertex shader with the projection of a 4 x 4 draw area covers the pixels pretransformed
// vertices cover and passes the colour on.
TEST_F(D3D9Device, TwoDVertexShaderPlacesPixelsAsPretransformedVertices) {
    ResetState();
    IDirect3DPixelShader9* pixel = PixelShader(Graphics_D3D9_ShaderCode_GetUntextured(0));
    ASSERT_NE(pixel, nullptr);
    Device->SetPixelShader(pixel);
    uint32_t fixedCorner = 0, shaderCorner = 0;
    const uint32_t fixed = Draw(kDiffuse, 0x12345678, true, &fixedCorner);

    const D3D9ShaderCode code = Graphics_D3D9_ShaderCode_GetBase(D3D9ShaderName_Base2DVertex);
    IDirect3DVertexShader9* vertex = nullptr;
    ASSERT_EQ(Device->CreateVertexShader((const DWORD*)code.Code, &vertex), S_OK);
    IDirect3DVertexDeclaration9* declaration = nullptr;
    // Declaration 1: the position and colour at the start of the test's vertices.
    ASSERT_EQ(Device->CreateVertexDeclaration(D3D9VertexDeclarationElements[1], &declaration), S_OK);
    // Pixels to clip space: the transposed projection's rows.
    const float projection[16] = {2.0f / kSize, 0, 0, -1, 0, -2.0f / kSize, 0, 1, 0, 0, 1, 0, 0, 0, 0, 1};
    Device->SetVertexShaderConstantF(D3D9VertexRegister_Projection, projection, 4);
    Device->SetVertexShader(vertex);
    Device->SetVertexDeclaration(declaration);
    const uint32_t programmable = Draw(kDiffuse, 0x12345678, true, &shaderCorner);
    Device->SetVertexShader(nullptr);
    Device->SetPixelShader(nullptr);
    Device->SetFVF(kVertexFvf);
    declaration->Release();
    vertex->Release();
    pixel->Release();
    EXPECT_EQ(fixed, kDiffuse);
    EXPECT_EQ(fixedCorner, 0x12345678u);
    EXPECT_EQ(programmable, kDiffuse);
    EXPECT_EQ(shaderCorner, 0x12345678u);
}
