// Direct3D 11 normal-draw state: its cached setters, the normal-draw set-up over the blend-mode table,
// and the draw preparation from the core's draw settings.
// Stands on the call layer, the state cache, the vertex batch, the constant buffers, the built-in
// shader objects and the core's draw settings.
#include "graphics_d3d11/VtGraphicsD3D11NormalDraw.h"

#include <string.h>

#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsLight.h"
#include "graphics_d3d11/VtGraphicsD3D11Batch.h"
#include "graphics_d3d11/VtGraphicsD3D11ConstantBuffer.h"
#include "graphics_d3d11/VtGraphicsD3D11ShaderCode.h"
#include "graphics_d3d11/VtGraphicsD3D11State.h"

namespace Vantrel {

D3D11NormalDrawStateRecord D3D11NormalDrawState;

namespace {

D3D11NormalDrawStateRecord& State = D3D11NormalDrawState;

bool Forced() { return State.Force != 0 || D3D11StateCache.Force != 0; }
bool Changes(bool differs) { return differs || Forced(); }
void FlushBeforeChange() {
    if (!Forced()) Graphics_D3D11_VertexBatch_Flush(-1, 0);
}

void WritePSBase(uint32_t offset, const void* value) {
    D3D11ConstantBuffer* buffer = D3D11ConstantBufferState.Standard[D3D11CB_PS_BASE];
    if (buffer == nullptr) return;
    memcpy((uint8_t*)buffer->Data + offset, value, 4);
    buffer->Changed = 1;
}

// The pixel-shader base constants of a kind-1 blend graph wider than one step.
void BorderConstants(int param, int width, float out[4]) {
    int scale, span, knee, tail;
    if (width <= 64) scale = 4, span = 1280, knee = 1024, tail = 64;
    else if (width <= 128) scale = 2, span = 768, knee = 512, tail = 128;
    else scale = 1, span = 512, knee = 256, tail = 255;
    const int h = param * span / 255;
    const int c = span - h;
    const float x = c < knee ? (float)(255 - c * 255 / knee) / -255.0f : (float)((c - knee) * tail / 256) / 255.0f;
    out[0] = 0.0f;
    out[1] = 0.0f;
    out[2] = (float)scale;
    out[3] = x;
}

D3D11_CULL_MODE CullFromSetting(int mode) {
    return mode == 1 ? D3D11_CULL_BACK : mode == 2 ? D3D11_CULL_FRONT : D3D11_CULL_NONE;
}

}  // namespace

// ---- The set-up's choice ----

D3D11NormalDrawChoice Graphics_D3D11_NormalDraw_Choose(const D3D11NormalDrawInputs& in) {
    D3D11NormalDrawChoice out = {};
    const bool alphaFlag = in.AlphaChannel || in.CutOut;
    int preset;
    if (in.BlendMode == 3) {
        preset = 16;
    } else if (in.BlendMode != 0) {
        preset = in.BlendMode >= 0 && in.BlendMode < D3D11BlendPresetCount ? in.BlendMode : 0;
    } else {
        preset = in.Premultiplied ? 14 : 0;
        if (in.Textured) {
            const bool toAlpha = in.BlendGraph ? (in.BlendGraphKind == 1 || ((in.BlendGraphKind == 0 || in.BlendGraphKind == 2) && alphaFlag))
                                               : in.AlphaChannel != 0;
            if (toAlpha) preset = 1;
        }
    }
    const bool opaque = !in.AlphaChannel && !in.CutOut && (!in.DepthEnabled || in.BlendGraph);
    const bool ignore = in.IgnoreTextureColor != 0;
    const bool userTest = in.AlphaTestMode >= 0;
    auto userAlphaTest = [&]() {
        out.AlphaTestOn = 1;
        out.AlphaFunc = in.AlphaTestMode;
        out.AlphaRef = in.AlphaTestRef;
    };
    auto autoAlphaTest = [&](int reference) {
        out.AlphaTestOn = 1;
        out.AlphaFunc = 5;
        out.AlphaRef = reference;
    };

    if (!in.Textured) {
        out.VertexKind = 0;
        out.ShaderType = D3D11BlendModeTable[0].ShaderType;
        if (userTest) userAlphaTest();
    } else if (!in.BlendGraph) {
        out.VertexKind = 1;
        const D3D11BlendModeRow& row = D3D11BlendModeTable[preset];
        if (userTest) userAlphaTest();
        else if (in.CutOut) autoAlphaTest(16);
        else if (row.Blend.BlendEnable && row.DiscardTransparent) autoAlphaTest(0);
    } else {
        out.VertexKind = 2;
        const D3D11BlendModeRow& row = D3D11BlendModeTable[preset];
        if (in.BlendGraphKind == 0) {
            if (userTest) userAlphaTest();
            else if (in.CutOut || in.AlphaChannel || row.Blend.BlendEnable) autoAlphaTest(0);
            out.BaseConstantsSet = 1;
            out.BaseConstants[0] = out.BaseConstants[1] = out.BaseConstants[2] = 1.0f;
            out.BaseConstants[3] = (float)in.BlendGraphParams[0] / 255.0f;
        } else if (in.BlendGraphKind == 1) {
            const int param = in.BlendGraphParams[0], width = in.BlendGraphParams[1];
            out.SkipDraw = param == 255;
            out.BaseConstantsSet = 1;
            if (width <= 1) {
                preset = 0;
                out.AlphaTestOn = 1;
                out.AlphaFunc = 7;
                out.AlphaRef = param == 0 && alphaFlag ? 1 : param;
                out.BaseConstants[2] = 1.0f;
            } else {
                BorderConstants(param, width, out.BaseConstants);
            }
        } else {
            if (userTest) userAlphaTest();
            else if (row.Blend.BlendEnable) autoAlphaTest(0);
        }
    }
    out.Preset = preset;
    if (in.Textured) out.ShaderType = D3D11BlendModeTable[preset].ShaderType;
    const int test = out.AlphaTestOn && out.AlphaFunc != 5 ? 1 : 0;
    if (!in.Textured) {
        out.PixelShader = D3D11SHADER_UNTEXTURED_PS + out.ShaderType * 2 + test;
    } else {
        const int group = in.BlendGraph ? 1 + (in.BlendGraphKind >= 0 && in.BlendGraphKind <= 2 ? in.BlendGraphKind : 0) : 0;
        out.PixelShader = D3D11SHADER_TEXTURED_PS + group * 56 + out.ShaderType * 8 + (ignore ? 4 : 0) + (opaque ? 2 : 0) + test;
    }
    return out;
}

// ---- Set-up ----

int Graphics_D3D11_StateCache_Setup2D() {
    if (!D3D11Call_Device_Exists()) return -1;
    State.SetupNeeded = 0;
    State.TextureChanged = 0;
    State.StateChanged = 1;
    D3D11NormalDrawInputs in = {};
    in.BlendMode = State.BlendMode;
    in.Premultiplied = DrawSettings.PremultipliedAlpha;
    in.Textured = State.DrawTexture != nullptr;
    in.BlendGraph = State.BlendTexture != nullptr;
    in.BlendGraphKind = State.BlendGraphKind;
    in.BlendGraphParams[0] = State.BlendGraphParams[0];
    in.BlendGraphParams[1] = State.BlendGraphParams[1];
    in.AlphaChannel = State.AlphaBlendWanted;
    in.CutOut = State.AlphaTestWanted;
    in.AlphaTestMode = State.AlphaTestMode;
    in.AlphaTestRef = State.AlphaTestRef;
    in.IgnoreTextureColor = State.IgnoreTextureColor;
    in.DepthEnabled = D3D11StateCache.DepthStencilDesc.DepthEnable;
    const D3D11NormalDrawChoice choice = Graphics_D3D11_NormalDraw_Choose(in);

    D3D11VertexBatchRecord& batch = D3D11VertexBatch;
    if (batch.Kind != choice.VertexKind || batch.SkipDraw != choice.SkipDraw) {
        FlushBeforeChange();
        batch.Kind = choice.VertexKind;
        batch.SkipDraw = choice.SkipDraw;
    }
    if (in.Textured) {
        ID3D11ShaderResourceView* views[2] = {State.DrawTextureView, State.BlendTextureView};
        Graphics_D3D11_StateCache_SetPSShaderResources(0, in.BlendGraph ? 2 : 1, views);
    }
    Graphics_D3D11_StateCache_SetAlphaTestRef(choice.AlphaTestOn ? choice.AlphaRef : -1);
    Graphics_D3D11_StateCache_SetAlphaTestFunc(choice.AlphaTestOn ? choice.AlphaFunc : 5);
    if (choice.BaseConstantsSet)
        Graphics_D3D11_StateCache_SetBlendGraphParams(choice.BaseConstants[0], choice.BaseConstants[1],
                                                      choice.BaseConstants[2], choice.BaseConstants[3]);
    const int32_t* p = State.BlendParams;
    Graphics_D3D11_StateCache_SetBlendStateKey(choice.Preset, p[0], p[1], p[2], p[3], p[4], p[5], p[6], State.KeepDestAlpha);
    ID3D11PixelShader* shader = D3D11ShaderObjects.PixelShader[choice.PixelShader];
    if (shader != nullptr && (shader != D3D11StateCache.PixelShader || Forced()))
        Graphics_D3D11_StateCache_SetPixelShader(shader, 1);
    return 0;
}

// ---- Setters ----

int Graphics_D3D11_StateCache_SetDrawTexture(ID3D11Texture2D* texture, ID3D11ShaderResourceView* view) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (!Changes(State.DrawTexture != texture || State.DrawTextureView != view)) return 0;
    FlushBeforeChange();
    State.TextureChanged = 1;
    if ((State.DrawTexture == nullptr) != (texture == nullptr)) State.SetupNeeded = 1;
    State.DrawTexture = texture;
    State.DrawTextureView = view;
    State.StateChanged = 1;
    return 0;
}

int Graphics_D3D11_StateCache_SetBlendTexture(ID3D11Texture2D* texture, ID3D11ShaderResourceView* view, int width,
                                              int height) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (!Changes(State.BlendTexture != texture || State.BlendTextureView != view)) return 0;
    FlushBeforeChange();
    State.TextureChanged = 1;
    State.StateChanged = 1;
    if ((State.BlendTexture == nullptr) != (texture == nullptr)) State.SetupNeeded = 1;
    State.BlendTexture = texture;
    State.BlendTextureView = view;
    if (texture != nullptr) {
        State.BlendWidth = width;
        State.BlendHeight = height;
        State.BlendInvWidth = width != 0 ? 1.0f / (float)width : 0.0f;
        State.BlendInvHeight = height != 0 ? 1.0f / (float)height : 0.0f;
    }
    return 0;
}

int Graphics_D3D11_StateCache_SetBlendGraphParam(int kind, const int* params) {
    if (!D3D11Call_Device_Exists()) return -1;
    int values[2] = {0, 0};
    if (params != nullptr && (kind == 0 || kind == 1)) values[0] = params[0];
    if (params != nullptr && kind == 1) values[1] = params[1];
    if (!Changes(State.BlendGraphKind != kind || State.BlendGraphParams[0] != values[0] ||
                 State.BlendGraphParams[1] != values[1]))
        return 0;
    FlushBeforeChange();
    State.BlendGraphKind = kind;
    State.BlendGraphParams[0] = values[0];
    State.BlendGraphParams[1] = values[1];
    State.SetupNeeded = 1;
    State.StateChanged = 1;
    return 0;
}

int Graphics_D3D11_StateCache_SetAlphaTest(int mode, int reference) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (!Changes(State.AlphaTestMode != mode || State.AlphaTestRef != reference)) return 0;
    FlushBeforeChange();
    State.AlphaTestMode = mode;
    State.AlphaTestRef = reference;
    State.StateChanged = 1;
    State.SetupNeeded = 1;
    return 0;
}

int Graphics_D3D11_StateCache_SetBlendMode(int mode, const int* params, int alphaTestWanted, int alphaBlendWanted) {
    if (!D3D11Call_Device_Exists()) return -1;
    int values[7] = {};
    if (params != nullptr) memcpy(values, params, sizeof(values));
    if (!Changes(State.BlendMode != mode || memcmp(State.BlendParams, values, sizeof(values)) != 0 ||
                 State.AlphaTestWanted != alphaTestWanted || State.AlphaBlendWanted != alphaBlendWanted))
        return 0;
    FlushBeforeChange();
    State.BlendMode = mode;
    memcpy(State.BlendParams, values, sizeof(values));
    State.AlphaTestWanted = alphaTestWanted;
    State.AlphaBlendWanted = alphaBlendWanted;
    State.StateChanged = 1;
    State.SetupNeeded = 1;
    return 0;
}

int Graphics_D3D11_StateCache_SetIgnoreTextureColor(int flag) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (!Changes(State.IgnoreTextureColor != flag)) return 0;
    FlushBeforeChange();
    State.IgnoreTextureColor = flag;
    const float value = flag ? 1.0f : 0.0f;
    for (int i = 0; i < 3; ++i) WritePSBase(D3D11CB4_IGNORE_COLOUR + 4 * i, &value);
    State.SetupNeeded = 1;
    return 0;
}

int Graphics_D3D11_StateCache_SetPSSwitch(int index, int flag) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (index < 0 || index > 2) return -1;
    const int value = flag != 0;
    if (!Changes(State.Switch[index] != value)) return 0;
    FlushBeforeChange();
    State.Switch[index] = value;
    if (index == 0) {
        const float f = value ? 1.0f : 0.0f;
        WritePSBase(D3D11CB4_SWITCHES, &f);
    } else {
        WritePSBase(D3D11CB4_SWITCHES + 4 * index, &value);
    }
    State.StateChanged = 1;
    return 0;
}

void Graphics_D3D11_NormalDraw_Refresh() {
    if (!D3D11Call_Device_Exists()) return;
    State.Force = 1;
    Graphics_D3D11_StateCache_SetDrawTexture(nullptr, nullptr);
    Graphics_D3D11_StateCache_SetBlendTexture(nullptr, nullptr, 0, 0);
    const int32_t mode = State.BlendMode;
    int32_t params[7];
    memcpy(params, State.BlendParams, sizeof(params));
    Graphics_D3D11_StateCache_SetBlendMode(mode, params, 0, 0);
    Graphics_D3D11_StateCache_SetIgnoreTextureColor(State.IgnoreTextureColor);
    for (int i = 0; i < 3; ++i) Graphics_D3D11_StateCache_SetPSSwitch(i, State.Switch[i]);
    State.Force = 0;
}

void Graphics_D3D11_NormalDraw_Reset() {
    memset(&State, 0, sizeof(State));
    State.AlphaTestMode = -1;
    State.SetupNeeded = 1;
}

// ---- Draw preparation ----

int Graphics_D3D11_DrawStateNeedsPrepare(uint32_t flags) {
    return DrawSettings.StateChanged || State.StateChanged || flags != State.LastFlags || !State.Prepared;
}

void Graphics_D3D11_PrepareDrawState(uint32_t flags) {
    if (!D3D11Call_Device_Exists()) return;
    D3D11StateCacheRecord& cache = D3D11StateCache;
    const DrawSettingsRecord& settings = DrawSettings;
    State.StateChanged = 0;
    DrawSettings.StateChanged = 0;

    // Lighting: the pixel-shader choice reads the cached switch, so switching off sends nothing.
    if ((flags & DRAWPREP_LIGHTING) && !settings.LightingOff) {
        if (settings.LightsChanged || LightState.ForceResend) Graphics_Light_RefreshDeviceLights();
        else if (!cache.LightingEnable) Graphics_D3D11_Lighting_SetEnable(1);
    } else if (cache.LightingEnable) {
        FlushBeforeChange();
        cache.LightingEnable = 0;
        State.StateChanged = 1;
    }
    if (settings.MaterialChanged) {
        DrawSettings.MaterialChanged = 0;
        Graphics_D3D11_StateCache_SetMaterial(settings.MaterialDiffuse, settings.MaterialAmbient,
                                              settings.MaterialSpecular, settings.MaterialEmissive,
                                              settings.MaterialPower);
        Graphics_D3D11_StateCache_SetMaterialColorSource(settings.MaterialColorSource);
    }
    Graphics_D3D11_StateCache_SetVSSwitch0(1);
    Graphics_D3D11_StateCache_SetVSSwitch1(1);
    Graphics_D3D11_StateCache_SetVSSwitch2((flags & DRAWPREP_SPECULAR) != 0);

    const int32_t* depth = (flags & DRAWPREP_DEPTH_3D) ? settings.Depth3D : settings.DepthNormal;
    if (depth[0]) {
        Graphics_D3D11_StateCache_SetDepthEnable(1);
        Graphics_D3D11_StateCache_SetDepthWriteEnable(depth[1]);
        Graphics_D3D11_StateCache_SetDepthFunc((D3D11_COMPARISON_FUNC)depth[2]);
        Graphics_D3D11_StateCache_SetDepthBias(depth[3]);
    } else {
        Graphics_D3D11_StateCache_SetDepthEnable(0);
        if (cache.DepthStencilDesc.DepthWriteMask == D3D11_DEPTH_WRITE_MASK_ALL) {
            FlushBeforeChange();
            cache.DepthStencilDesc.DepthWriteMask = D3D11_DEPTH_WRITE_MASK_ZERO;
            cache.DepthStencilDirty = 1;
            State.StateChanged = 1;
        }
    }
    const D3D11_FILL_MODE fill = settings.FillWord == D3D11_FILL_WIREFRAME ? D3D11_FILL_WIREFRAME : D3D11_FILL_SOLID;
    if (cache.RasterizerDesc.FillMode != fill) {
        Graphics_D3D11_StateCache_SetFillMode(fill);
        State.StateChanged = 1;
    }
    const int fog = (flags & DRAWPREP_FOG) && settings.FogEnable ? 1 : 0;
    if (cache.FogEnable[0] != fog) Graphics_D3D11_StateCache_SetFogEnable(fog);

    if (!(flags & DRAWPREP_KEEP_BLEND)) {
        int test = 0, blend = 0;
        if ((flags & DRAWPREP_TEXTURED) && (flags & DRAWPREP_TRANS) && (flags & (DRAWPREP_ALPHA_CHANNEL | DRAWPREP_CUT_OUT))) {
            if (settings.BlendMode != 0 && settings.BlendMode != 8) {
                blend = 1;
            } else if (!(flags & DRAWPREP_PIXEL_EXACT) && settings.DrawMode == 1) {
                blend = 1;
            } else {
                test = (flags & DRAWPREP_CUT_OUT) != 0;
                blend = (flags & DRAWPREP_ALPHA_CHANNEL) != 0;
            }
        }
        if (State.IgnoreTextureColor != settings.IgnoreTextureColor)
            Graphics_D3D11_StateCache_SetIgnoreTextureColor(settings.IgnoreTextureColor);
        Graphics_D3D11_StateCache_SetBlendMode(settings.BlendMode, settings.BlendFactor, test, blend);
        Graphics_D3D11_StateCache_SetAlphaTest(settings.AlphaTestMode, settings.AlphaTestParam);
        if (State.SetupNeeded || State.TextureChanged || (GraphicsSystemState.ShadersUsable && cache.PixelShader == nullptr))
            Graphics_D3D11_StateCache_Setup2D();
    }

    if (cache.DrawMode != settings.DrawMode) Graphics_D3D11_StateCache_SetDrawMode(settings.DrawMode);
    if (cache.AllMaxAnisotropy != settings.MaxAnisotropy) Graphics_D3D11_StateCache_SetMaxAnisotropy(settings.MaxAnisotropy, -1);

    if (flags & DRAWPREP_CULLING) {
        const D3D11_CULL_MODE cull = CullFromSetting(settings.CullMode);
        if (cache.RasterizerDesc.CullMode != cull) Graphics_D3D11_StateCache_SetCullMode(settings.CullMode);
    } else if (cache.RasterizerDesc.CullMode != D3D11_CULL_NONE) {
        FlushBeforeChange();
        cache.RasterizerDesc.CullMode = D3D11_CULL_NONE;
        cache.RasterizerDirty = 1;
        State.StateChanged = 1;
    }

    if (!State.Prepared) {
        Graphics_D3D11_StateCache_SetTextureMatrix(0, nullptr);
        State.Prepared = 1;
        State.StateChanged = 1;
    }

    if (flags & DRAWPREP_ADDRESS_MODES) {
        for (int slot = 0; slot < D3D11SamplerCount; ++slot) {
            const auto u = (D3D11_TEXTURE_ADDRESS_MODE)settings.AddressModeU[slot];
            const auto v = (D3D11_TEXTURE_ADDRESS_MODE)settings.AddressModeV[slot];
            const D3D11_SAMPLER_DESC& desc = cache.SamplerDesc[slot];
            if (u != v) {
                if (desc.AddressU != u) Graphics_D3D11_StateCache_SetAddressU(u, slot);
                if (desc.AddressV != v) Graphics_D3D11_StateCache_SetAddressV(v, slot);
            } else if (desc.AddressU != u || desc.AddressV != v) {
                Graphics_D3D11_StateCache_SetAddressU(u, slot);
                Graphics_D3D11_StateCache_SetAddressV(v, slot);
            }
        }
    } else {
        for (int slot = 0; slot < 5; ++slot) {
            const D3D11_SAMPLER_DESC& desc = cache.SamplerDesc[slot];
            if (desc.AddressU != D3D11_TEXTURE_ADDRESS_CLAMP || desc.AddressV != D3D11_TEXTURE_ADDRESS_CLAMP) {
                Graphics_D3D11_StateCache_SetAddressU(D3D11_TEXTURE_ADDRESS_CLAMP, slot);
                Graphics_D3D11_StateCache_SetAddressV(D3D11_TEXTURE_ADDRESS_CLAMP, slot);
            }
        }
    }
    State.LastFlags = flags;
}

}  // namespace Vantrel
