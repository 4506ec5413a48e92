// Direct3D 9 device state cache: the cached setters (compare, flush before a change, call, store), the
// start-up defaults, the pass that writes every cached value again, and the restore after the device was
// made anew.
// Stands on the call layer, the vertex batch (through the core's flush switch), the shader-constant
// manager, the device's capabilities, the graphics core's handles and settings.
#include "graphics_d3d9/VtGraphicsD3D9State.h"

#include <string.h>

#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsShader.h"
#include "graphics_d3d9/VtGraphicsD3D9Batch.h"
#include "graphics_d3d9/VtGraphicsD3D9Device.h"
#include "graphics_d3d9/VtGraphicsD3D9Light.h"
#include "graphics_d3d9/VtGraphicsD3D9NormalDraw.h"
#include "graphics_d3d9/VtGraphicsD3D9ShaderConstant.h"
#include "graphics_d3d9/VtGraphicsD3D9Stage.h"

namespace Vantrel {

D3D9DeviceStateCacheRecord D3D9DeviceStateCache;

namespace {

D3D9DeviceStateCacheRecord& Cache = D3D9DeviceStateCache;

// A change is made when the value differs or the force flag asks for every value again; a change outside
// the force flag first draws what the batch holds, with the state it was written for.
bool Changes(bool differs) { return differs || Cache.Force; }
void FlushBeforeChange() {
    if (!Cache.Force) Graphics_Dispatch_VertexBatch_Flush(0);
}

int Result(HRESULT result) { return result == D3D_OK ? 0 : -1; }

// One render state kept in `cached` as the library's value `value`, sent to the device as `sent`.
int SetState(int32_t& cached, int value, D3DRENDERSTATETYPE state, DWORD sent, bool flush) {
    if (!Changes(cached != value)) return 0;
    if (flush) FlushBeforeChange();
    const int result = Result(D3D9Call_Device_SetRenderState(state, sent));
    cached = value;
    return result;
}

// One sampler state kept in `cached`.
int SetSampler(DWORD& cached, int sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
    if (!Changes(cached != value)) return 0;
    const int result = Result(D3D9Call_Device_SetSamplerState((DWORD)sampler, type, value));
    cached = value;
    return result;
}

// The magnification, minification and mip filters of a filter mode.
void FilterModeFilters(int mode, DWORD filters[3]) {
    static const DWORD table[3][3] = {{D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_POINT},
                                      {D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTEXF_LINEAR},
                                      {D3DTEXF_LINEAR, D3DTEXF_ANISOTROPIC, D3DTEXF_LINEAR}};
    memcpy(filters, table[mode], sizeof(table[mode]));
}

// The address-mode setters share their rules: one sampler, or every sampler at once (-1).
int SetAddress(DWORD* caches[], const D3DSAMPLERSTATETYPE* types, int kinds, int mode, int sampler) {
    if (!D3D9Call_Device_Exists()) return 0;
    if (sampler >= 0) {
        if (sampler >= D3D9SamplerCount) return -1;
        bool differs = false;
        for (int k = 0; k < kinds; ++k) differs |= caches[k][sampler] != (DWORD)mode;
        if (!Changes(differs)) return 0;
        FlushBeforeChange();
        int result = 0;
        for (int k = 0; k < kinds; ++k)
            if (SetSampler(caches[k][sampler], sampler, types[k], (DWORD)mode) < 0) result = -1;
        return result;
    }
    bool differs = false;
    for (int s = 0; s < D3D9SamplerCount; ++s)
        for (int k = 0; k < kinds; ++k) differs |= caches[k][s] != (DWORD)mode;
    if (!Changes(differs)) return 0;
    FlushBeforeChange();
    int result = 0;
    for (int s = 0; s < D3D9SamplerCount; ++s)
        for (int k = 0; k < kinds; ++k) {
            if (D3D9Call_Device_SetSamplerState((DWORD)s, types[k], (DWORD)mode) != D3D_OK) result = -1;
            caches[k][s] = (DWORD)mode;
        }
    return result;
}

// Ends an open scene before an operation the device refuses inside one.
void EndOpenScene() {
    if (Cache.Scene != 1) return;
    D3D9Call_Device_EndScene();
    Cache.Scene = 0;
}

IUnknown* ShaderOfHandle(int handle, int kind) {
    ShaderHandleRecord* record = Graphics_Shader_GetHandleData(handle, 0);
    if (record == nullptr || record->Kind != kind) return nullptr;
    return (IUnknown*)record->PlatformArea[0];
}

}  // namespace

// ---- Depth and raster ----

int Graphics_D3D9_StateCache_SetZEnable(int mode) {
    if (!D3D9Call_Device_Exists()) return -1;
    return SetState(Cache.ZEnable, mode, D3DRS_ZENABLE, mode == 1 ? TRUE : FALSE, true);
}

int Graphics_D3D9_StateCache_SetZWriteEnable(int flag) {
    if (!D3D9Call_Device_Exists()) return -1;
    return SetState(Cache.ZWriteEnable, flag, D3DRS_ZWRITEENABLE, (DWORD)flag, true);
}

int Graphics_D3D9_StateCache_SetZFunc(int func) {
    if (!D3D9Call_Device_Exists()) return -1;
    return SetState(Cache.ZFunc, func, D3DRS_ZFUNC, (DWORD)func, true);
}

int Graphics_D3D9_StateCache_SetDepthBias(DWORD value) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (!Changes(Cache.DepthBias != value)) return 0;
    FlushBeforeChange();
    const int result = Result(D3D9Call_Device_SetRenderState(D3DRS_DEPTHBIAS, value));
    Cache.DepthBias = value;
    return result;
}

int Graphics_D3D9_StateCache_SetFillMode(int mode) {
    if (!D3D9Call_Device_Exists()) return -1;
    return SetState(Cache.FillMode, mode, D3DRS_FILLMODE, (DWORD)mode, true);
}

int Graphics_D3D9_StateCache_SetCullMode(int mode) {
    if (!D3D9Call_Device_Exists()) return 0;
    static const DWORD cull[3] = {D3DCULL_NONE, D3DCULL_CCW, D3DCULL_CW};
    return SetState(Cache.CullMode, mode, D3DRS_CULLMODE, cull[mode == 1 ? 1 : mode == 2 ? 2 : 0], true);
}

int Graphics_D3D9_StateCache_SetShadeMode(int mode) {
    if (!D3D9Call_Device_Exists()) return 0;
    return SetState(Cache.ShadeMode, mode, D3DRS_SHADEMODE, (DWORD)mode, true);
}

int Graphics_D3D9_StateCache_SetSpecularEnable(int flag) {
    if (!D3D9Call_Device_Exists()) return 0;
    return SetState(Cache.SpecularEnable, flag, D3DRS_SPECULARENABLE, (DWORD)flag, true);
}

int Graphics_D3D9_Lighting_SetEnable(int flag) {
    if (!D3D9Call_Device_Exists()) return 0;
    return SetState(Cache.Lighting, flag, D3DRS_LIGHTING, (DWORD)flag, false);
}

// ---- Samplers ----

int Graphics_D3D9_StateCache_SetFilterMode(int mode) {
    if (!D3D9Call_Device_Exists() || mode < 0 || mode > 2) return -1;
    if (!Changes(Cache.FilterMode != mode)) return 0;
    FlushBeforeChange();
    DWORD filters[3];
    FilterModeFilters(mode, filters);
    int result = 0;
    for (int s = 0; s < D3D9SamplerCount; ++s) {
        if (SetSampler(Cache.MagFilter[s], s, D3DSAMP_MAGFILTER, filters[0]) < 0) result = -1;
        if (SetSampler(Cache.MinFilter[s], s, D3DSAMP_MINFILTER, filters[1]) < 0) result = -1;
        if (SetSampler(Cache.MipFilter[s], s, D3DSAMP_MIPFILTER, filters[2]) < 0) result = -1;
    }
    Cache.FilterMode = mode;
    return result;
}

int Graphics_D3D9_StateCache_SetSamplerFilter(int sampler, int kind, DWORD filter) {
    if (!D3D9Call_Device_Exists() || sampler < 0 || sampler >= D3D9SamplerCount) return 0;
    DWORD* cached = kind == 16 ? &Cache.MagFilter[sampler] : kind == 17 ? &Cache.MinFilter[sampler]
                  : kind == 18 ? &Cache.MipFilter[sampler] : nullptr;
    if (cached == nullptr) return 0;
    const D3DSAMPLERSTATETYPE type = kind == 16 ? D3DSAMP_MAGFILTER : kind == 17 ? D3DSAMP_MINFILTER : D3DSAMP_MIPFILTER;
    if (!Changes(*cached != filter)) return 0;
    Cache.FilterMode = 3;   // the samplers no longer follow one mode
    return SetSampler(*cached, sampler, type, filter);
}

int Graphics_D3D9_StateCache_SetMaxAnisotropy(int value, int sampler) {
    if (!D3D9Call_Device_Exists()) return 0;
    const int most = D3D9DeviceState.Caps.MaxAnisotropy > 0 ? (int)D3D9DeviceState.Caps.MaxAnisotropy : 1;
    const int clamped = value <= 0 ? 1 : value > most ? most : value;
    if (sampler >= 0) {
        if (sampler >= D3D9SamplerCount) return 0;
        if (!Changes(Cache.MaxAnisotropy[sampler] != (DWORD)clamped)) return 0;
        FlushBeforeChange();
        return SetSampler(Cache.MaxAnisotropy[sampler], sampler, D3DSAMP_MAXANISOTROPY, (DWORD)clamped);
    }
    if (!Changes(Cache.AllMaxAnisotropy != clamped)) return 0;
    FlushBeforeChange();
    int count = Cache.StageCountUsed > 4 ? Cache.StageCountUsed : 4;
    if (count > D3D9SamplerCount) count = D3D9SamplerCount;
    int result = 0;
    for (int s = 0; s < count; ++s)
        if (SetSampler(Cache.MaxAnisotropy[s], s, D3DSAMP_MAXANISOTROPY, (DWORD)clamped) < 0) result = -1;
    Cache.AllMaxAnisotropy = clamped;
    return result;
}

int Graphics_D3D9_StateCache_SetTextureAddressU(int mode, int sampler) {
    DWORD* caches[1] = {Cache.AddressU};
    const D3DSAMPLERSTATETYPE types[1] = {D3DSAMP_ADDRESSU};
    return SetAddress(caches, types, 1, mode, sampler);
}

int Graphics_D3D9_StateCache_SetTextureAddressV(int mode, int sampler) {
    DWORD* caches[1] = {Cache.AddressV};
    const D3DSAMPLERSTATETYPE types[1] = {D3DSAMP_ADDRESSV};
    return SetAddress(caches, types, 1, mode, sampler);
}

int Graphics_D3D9_StateCache_SetTextureAddressW(int mode, int sampler) {
    DWORD* caches[1] = {Cache.AddressW};
    const D3DSAMPLERSTATETYPE types[1] = {D3DSAMP_ADDRESSW};
    return SetAddress(caches, types, 1, mode, sampler);
}

int Graphics_D3D9_StateCache_SetTextureAddress(int mode, int sampler) {
    DWORD* caches[3] = {Cache.AddressU, Cache.AddressV, Cache.AddressW};
    const D3DSAMPLERSTATETYPE types[3] = {D3DSAMP_ADDRESSU, D3DSAMP_ADDRESSV, D3DSAMP_ADDRESSW};
    return SetAddress(caches, types, 3, mode, sampler);
}

int Graphics_D3D9_StateCache_SetTextureAddressUVW(int u, int v, int w, int sampler) {
    const int a = Graphics_D3D9_StateCache_SetTextureAddressU(u, sampler);
    const int b = Graphics_D3D9_StateCache_SetTextureAddressV(v, sampler);
    const int c = Graphics_D3D9_StateCache_SetTextureAddressW(w, sampler);
    return a < 0 || b < 0 || c < 0 ? -1 : 0;
}

int Graphics_D3D9_StateCache_SetTextureTransform(int use, const D3DMATRIX* matrix, int stage) {
    if (!D3D9Call_Device_Exists()) return -1;
    auto apply = [&](int s) {
        const bool on = use == 1 && matrix != nullptr;
        D3D9Call_Device_SetTextureStageState((DWORD)s, D3DTSS_TEXTURETRANSFORMFLAGS, on ? D3DTTFF_COUNT3 : D3DTTFF_DISABLE);
        if (on) {
            D3D9Call_Device_SetTransform((D3DTRANSFORMSTATETYPE)(D3DTS_TEXTURE0 + s), matrix);
            Cache.TextureTransform[s] = *matrix;
        }
        Cache.TextureTransformUse[s] = on ? 1 : 0;
    };
    if (stage < 0) {
        FlushBeforeChange();
        for (int s = 0; s < 4; ++s) apply(s);
        return 0;
    }
    if (stage >= 4 || stage >= D3D9DeviceState.TextureStageCount) return 0;
    if (!Cache.TextureTransformUse[stage] && use != 1 && !Cache.Force) return 0;
    FlushBeforeChange();
    apply(stage);
    return 0;
}

// ---- Viewport, scissor and render targets ----

int Graphics_D3D9_StateCache_SetViewport(const D3DVIEWPORT9* viewport) {
    if (!D3D9Call_Device_Exists()) return -1;
    const D3DVIEWPORT9& c = Cache.Viewport;
    const bool differs = c.X != viewport->X || c.Y != viewport->Y || c.Width != viewport->Width || c.Height != viewport->Height;
    if (!Changes(differs)) return 0;
    FlushBeforeChange();
    EndOpenScene();
    const int result = Result(D3D9Call_Device_SetViewport(viewport));
    Cache.Viewport = *viewport;
    return result;
}

int Graphics_D3D9_StateCache_SetViewportRect(int x1, int y1, int x2, int y2) {
    D3DVIEWPORT9 viewport = {};
    viewport.X = x1 > 0 ? (DWORD)x1 : 0;
    viewport.Y = y1 > 0 ? (DWORD)y1 : 0;
    viewport.Width = x2 > x1 ? (DWORD)((int64_t)x2 - x1) : 0;
    viewport.Height = y2 > y1 ? (DWORD)((int64_t)y2 - y1) : 0;
    viewport.MinZ = 0.0f;
    viewport.MaxZ = 1.0f;
    return Graphics_D3D9_StateCache_SetViewport(&viewport);
}

int Graphics_D3D9_StateCache_SetScissorRect(const RECT* rect) {
    if (!D3D9Call_Device_Exists()) return -1;
    const RECT& c = Cache.ScissorRect;
    const bool differs = c.left != rect->left || c.top != rect->top || c.right != rect->right || c.bottom != rect->bottom;
    if (!Changes(differs)) return 0;
    FlushBeforeChange();
    EndOpenScene();
    const int result = Result(D3D9Call_Device_SetScissorRect(rect));
    Cache.ScissorRect = *rect;
    return result;
}

int Graphics_D3D9_StateCache_SetRenderTarget(IDirect3DSurface9* surface, int index) {
    if (!D3D9Call_Device_Exists() || index < 0 || index >= D3D9RenderTargetCount) return -1;
    if (!Changes(Cache.RenderTarget[index] != surface)) return 0;
    FlushBeforeChange();
    if (D3D9Call_Device_SetRenderTarget((DWORD)index, surface) != D3D_OK) return -1;
    Cache.RenderTarget[index] = surface;
    if (index == 0 && surface != nullptr) {
        D3DSURFACE_DESC desc = {};
        D3D9Call_Surface_GetDesc(surface, &desc);
        Graphics_D3D9_StateCache_SetViewportRect(0, 0, (int)desc.Width, (int)desc.Height);
    }
    return 0;
}

// ---- Shaders and vertex input ----

int Graphics_D3D9_StateCache_SetVertexShader(IDirect3DVertexShader9* shader, int user) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (!Changes(Cache.VertexShader != shader)) {
        Cache.VertexShaderUser = user;
        return 0;
    }
    const int result = Result(D3D9Call_Device_SetVertexShader(shader));
    Cache.VertexShader = shader;
    Cache.VertexShaderUser = user;
    return result;
}

int Graphics_D3D9_StateCache_SetPixelShader(IDirect3DPixelShader9* shader, int user) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (!Changes(Cache.PixelShader != shader)) {
        Cache.PixelShaderUser = user;
        return 0;
    }
    const int result = Result(D3D9Call_Device_SetPixelShader(shader));
    Cache.PixelShader = shader;
    Cache.PixelShaderUser = user;
    if (!user) Cache.StateChanged = 1;
    return result;
}

int Graphics_D3D9_StateCache_SetVertexShaderHandle(int shader) {
    IUnknown* object = ShaderOfHandle(shader, SHADER_KIND_VERTEX);
    if (object == nullptr) return -1;
    return Graphics_D3D9_StateCache_SetVertexShader((IDirect3DVertexShader9*)object, 0);
}

int Graphics_D3D9_StateCache_SetPixelShaderHandle(int shader) {
    IUnknown* object = ShaderOfHandle(shader, SHADER_KIND_PIXEL);
    if (object == nullptr) return -1;
    return Graphics_D3D9_StateCache_SetPixelShader((IDirect3DPixelShader9*)object, 0);
}

int Graphics_D3D9_StateCache_ResetVertexShader(int keepUser) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (!Cache.Force) {
        if (Cache.VertexShader != nullptr && Cache.VertexShaderUser && keepUser) return 0;
        if (Cache.VertexShader == nullptr && Cache.VertexDeclaration == nullptr) return 0;
    }
    D3D9Call_Device_SetVertexShader(nullptr);
    D3D9Call_Device_SetVertexDeclaration(nullptr);
    Cache.VertexShader = nullptr;
    Cache.VertexShaderUser = 0;
    Cache.VertexDeclaration = nullptr;
    Cache.FVF = 0;
    return 0;
}

int Graphics_D3D9_StateCache_ResetPixelShader(int keepUser) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (!Cache.Force) {
        if (Cache.PixelShader != nullptr && Cache.PixelShaderUser && keepUser) return 0;
        if (Cache.PixelShader == nullptr) return 0;
    }
    D3D9Call_Device_SetPixelShader(nullptr);
    Cache.PixelShader = nullptr;
    Cache.PixelShaderUser = 0;
    return 0;
}

int Graphics_D3D9_StateCache_SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (!Changes(Cache.VertexDeclaration != declaration)) return 0;
    const int result = Result(D3D9Call_Device_SetVertexDeclaration(declaration));
    Cache.VertexDeclaration = declaration;
    Cache.FVF = 0;
    return result;
}

int Graphics_D3D9_StateCache_SetFVF(DWORD fvf) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (Cache.VertexDeclaration != nullptr) {
        D3D9Call_Device_SetVertexDeclaration(nullptr);
        Cache.VertexDeclaration = nullptr;
    }
    Cache.FVF = fvf;
    if (fvf == 0 && !Cache.Force) return 0;
    return Result(D3D9Call_Device_SetFVF(fvf));
}

int Graphics_D3D9_StateCache_SetVertexBuffer(IDirect3DVertexBuffer9* buffer, UINT stride) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (!Changes(Cache.VertexBuffer != buffer || Cache.VertexStride != stride)) return 0;
    int result = 0;
    if (buffer != nullptr) result = Result(D3D9Call_Device_SetStreamSource(0, buffer, 0, stride));
    Cache.VertexBuffer = buffer;
    Cache.VertexStride = stride;
    return result;
}

int Graphics_D3D9_StateCache_SetIndexBuffer(IDirect3DIndexBuffer9* buffer) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (!Changes(Cache.IndexBuffer != buffer)) return 0;
    int result = 0;
    if (buffer != nullptr) result = Result(D3D9Call_Device_SetIndices(buffer));
    Cache.IndexBuffer = buffer;
    return result;
}

void Graphics_D3D9_StateCache_ForgetShadersAndInputs() {
    Cache.VertexShader = nullptr;
    Cache.VertexShaderUser = 0;
    Cache.VertexDeclaration = nullptr;
    Cache.PixelShader = nullptr;
    Cache.PixelShaderUser = 0;
    Cache.FVF = 0;
    Cache.IndexBuffer = nullptr;
    Cache.VertexBuffer = nullptr;
    Cache.VertexStride = 0;
}

// ---- Defaults, refresh and restore ----

int Graphics_D3D9_StateCache_SetDefaults() {
    if (!D3D9Call_Device_Exists()) return -1;
    Graphics_D3D9_VertexBatch_Prepare();

    // Samplers: the core's address modes (0 standing for clamp) and the filters of the cached mode; the
    // four vertex-texture samplers clamp with point sampling.
    DWORD filters[3];
    FilterModeFilters(Cache.FilterMode >= 0 && Cache.FilterMode <= 2 ? Cache.FilterMode : 0, filters);
    if (Cache.FilterMode == 2) filters[0] = D3DTEXF_ANISOTROPIC;
    for (int s = 0; s < D3D9SamplerCount; ++s) {
        const int32_t* modes[3] = {DrawSettings.AddressModeU, DrawSettings.AddressModeV, DrawSettings.AddressModeW};
        const D3DSAMPLERSTATETYPE types[3] = {D3DSAMP_ADDRESSU, D3DSAMP_ADDRESSV, D3DSAMP_ADDRESSW};
        DWORD* caches[3] = {Cache.AddressU, Cache.AddressV, Cache.AddressW};
        for (int k = 0; k < 3; ++k) {
            caches[k][s] = modes[k][s] != 0 ? (DWORD)modes[k][s] : (DWORD)D3DTADDRESS_CLAMP;
            D3D9Call_Device_SetSamplerState((DWORD)s, types[k], caches[k][s]);
        }
        Cache.MagFilter[s] = filters[0];
        Cache.MinFilter[s] = filters[1];
        Cache.MipFilter[s] = filters[2];
        D3D9Call_Device_SetSamplerState((DWORD)s, D3DSAMP_MAGFILTER, filters[0]);
        D3D9Call_Device_SetSamplerState((DWORD)s, D3DSAMP_MINFILTER, filters[1]);
        D3D9Call_Device_SetSamplerState((DWORD)s, D3DSAMP_MIPFILTER, filters[2]);
        Cache.MaxAnisotropy[s] = 1;
    }
    for (DWORD s = D3DVERTEXTEXTURESAMPLER0; s <= D3DVERTEXTEXTURESAMPLER3; ++s) {
        D3D9Call_Device_SetSamplerState(s, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
        D3D9Call_Device_SetSamplerState(s, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
        D3D9Call_Device_SetSamplerState(s, D3DSAMP_ADDRESSW, D3DTADDRESS_CLAMP);
        D3D9Call_Device_SetSamplerState(s, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
        D3D9Call_Device_SetSamplerState(s, D3DSAMP_MINFILTER, D3DTEXF_POINT);
        D3D9Call_Device_SetSamplerState(s, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    }

    const float zero = 0.0f, one = 1.0f;
    DWORD zeroBits, oneBits;
    memcpy(&zeroBits, &zero, 4);
    memcpy(&oneBits, &one, 4);
    const struct {
        D3DRENDERSTATETYPE State;
        DWORD Value;
    } states[] = {
        {D3DRS_CULLMODE, D3DCULL_NONE},        {D3DRS_LIGHTING, TRUE},         {D3DRS_SHADEMODE, D3DSHADE_FLAT},
        {D3DRS_DITHERENABLE, FALSE},           {D3DRS_SPECULARENABLE, TRUE},   {D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL},
        {D3DRS_NORMALIZENORMALS, TRUE},        {D3DRS_FOGENABLE, FALSE},       {D3DRS_FOGVERTEXMODE, D3DFOG_NONE},
        {D3DRS_FOGCOLOR, 0},                   {D3DRS_FOGSTART, zeroBits},     {D3DRS_FOGEND, oneBits},
    };
    for (const auto& s : states) D3D9Call_Device_SetRenderState(s.State, s.Value);
    D3D9Call_Device_GetMaterial(&Cache.Material);

    // What the device now has of the blend and stage set-up: nothing bound, every stage off.
    memset(&Cache.Applied, 0, sizeof(Cache.Applied));
    for (D3D9StageEntry& stage : Cache.Applied.Stages) {
        stage.AlphaArg1 = D3DTA_TEXTURE;
        stage.AlphaArg2 = D3DTA_DIFFUSE;
        stage.AlphaOp = D3DTOP_DISABLE;
        stage.ColorArg1 = D3DTA_TEXTURE;
        stage.ColorArg2 = D3DTA_DIFFUSE;
        stage.ColorOp = D3DTOP_DISABLE;
    }

    Cache.Lighting = 1;
    Cache.AllMaxAnisotropy = 1;
    Cache.ShadeMode = D3DSHADE_FLAT;
    Cache.ZEnable = 1;
    Cache.ZWriteEnable = 0;
    Cache.ZFunc = D3DCMP_LESSEQUAL;
    Cache.DepthBias = 0;
    Cache.FillMode = D3DFILL_SOLID;
    Cache.CullMode = 0;
    Cache.SpecularEnable = 1;
    Cache.FogEnable = 0;
    Cache.FogMode = 0;
    Cache.FogColor = 0;
    Cache.FogStart = 0.0f;
    Cache.FogEnd = 1.0f;
    Cache.Viewport = {0, 0, (DWORD)GraphicsScreenState.MainScreenWidth, (DWORD)GraphicsScreenState.MainScreenHeight, 0.0f, 1.0f};
    Cache.FilterMode = 3;
    Cache.RenderTarget[0] = D3D9DeviceState.BackBuffer;
    Cache.Scene = 0;
    Graphics_D3D9_NormalDraw_Reset();
    Graphics_D3D9_VertexBatch_SetLayout(1);

    Graphics_D3D9_StateCache_RefreshAll();
    if (D3D9Call_Direct3D9_Exists() && Cache.Scene != 1) D3D9Call_Device_BeginSceneOnce();
    // The refresh's stage set-up chose the layout of its own draw; start-up leaves layout 1 and has the
    // first normal draw derive its set-up again.
    Graphics_D3D9_VertexBatch_SetLayout(1);
    D3D9NormalDrawState.SetupNeeded = 1;
    Graphics_D3D9_VertexBatch_Reset();
    return 0;
}

int Graphics_D3D9_StateCache_RefreshStageDefaults() {
    if (!D3D9Call_Device_Exists()) return -1;
    FlushBeforeChange();
    for (int s = 0; s < 4; ++s) {
        D3D9Call_Device_SetSamplerState((DWORD)s, D3DSAMP_ADDRESSU, Cache.AddressU[s]);
        D3D9Call_Device_SetSamplerState((DWORD)s, D3DSAMP_ADDRESSV, Cache.AddressV[s]);
    }
    static const int coordinateSets[4] = {0, 1, 1, 0};
    for (int s = 0; s < 4; ++s) {
        D3D9Call_Device_SetTextureStageState((DWORD)s, D3DTSS_TEXCOORDINDEX, (DWORD)coordinateSets[s]);
        Cache.Applied.Stages[s].TexCoordIndex = coordinateSets[s];
        if (D3D9DeviceState.StageTemporary) {
            D3D9Call_Device_SetTextureStageState((DWORD)s, D3DTSS_RESULTARG, D3DTA_CURRENT);
            Cache.Applied.Stages[s].ResultArg = 0;
        }
    }
    D3D9Call_Device_SetRenderState(D3DRS_SHADEMODE, (DWORD)Cache.ShadeMode);
    D3D9Call_Device_SetRenderState(D3DRS_LIGHTING, (DWORD)Cache.Lighting);
    D3D9Call_Device_SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    D3D9Call_Device_SetRenderState(D3DRS_DITHERENABLE, FALSE);
    static const float vertexZero[4] = {0.0f, 1.0f, 0.0f, 0.0f};
    static const float pixelZero[4] = {0.0f, 0.5f, 1.0f, 2.0f};
    Graphics_D3D9_ShaderConstant_SetValues(&D3D9ShaderConstants, D3D9CONST_VERTEX_FLOAT, 0, 0, vertexZero, 1, 1);
    Graphics_D3D9_ShaderConstant_SetValues(&D3D9ShaderConstants, D3D9CONST_PIXEL_FLOAT, 0, 0, pixelZero, 1, 1);
    Graphics_D3D9_StateCache_ResetVertexShader(0);
    Graphics_D3D9_StateCache_ResetPixelShader(0);
    Cache.VertexBuffer = nullptr;
    Cache.VertexStride = 0;
    Cache.IndexBuffer = nullptr;
    return 0;
}

int Graphics_D3D9_StateCache_RefreshAll() {
    if (!D3D9Call_Device_Exists()) return -1;
    Cache.Force = 1;
    Cache.StateChanged = 1;
    Graphics_D3D9_StateCache_SetFogEnable(Cache.FogEnable);
    const D3DVIEWPORT9 viewport = Cache.Viewport;
    Graphics_D3D9_StateCache_SetViewport(&viewport);
    const RECT scissor = Cache.ScissorRect;
    Graphics_D3D9_StateCache_SetScissorRect(&scissor);
    Graphics_D3D9_StateCache_SetDrawTexture(D3D9NormalDrawState.DrawTexture);
    Graphics_D3D9_StateCache_RefreshStageDefaults();
    if (Cache.FilterMode >= 0 && Cache.FilterMode <= 2) Graphics_D3D9_StateCache_SetFilterMode(Cache.FilterMode);
    Graphics_D3D9_StateCache_BuildStageSetup(nullptr, 0, 1, 0);
    Graphics_D3D9_StateCache_BuildStageSetup(nullptr, 0, 1, 1);
    Graphics_D3D9_StateCache_SetZEnable(Cache.ZEnable);
    Graphics_D3D9_StateCache_SetZWriteEnable(Cache.ZWriteEnable);
    Graphics_D3D9_StateCache_SetZFunc(Cache.ZFunc);
    Graphics_D3D9_StateCache_SetDepthBias(Cache.DepthBias);
    Graphics_D3D9_StateCache_SetFillMode(Cache.FillMode);
    Graphics_D3D9_StateCache_SetCullMode(Cache.CullMode);
    Graphics_D3D9_StateCache_SetShadeMode(Cache.ShadeMode);
    const D3DMATERIAL9 material = Cache.Material;
    Graphics_D3D9_StateCache_SetMaterial(&material);
    Graphics_D3D9_StateCache_SetSpecularEnable(Cache.SpecularEnable);
    Graphics_D3D9_StateCache_SetDiffuseMaterialSource(Cache.DiffuseMaterialSource);
    Graphics_D3D9_StateCache_SetSpecularMaterialSource(Cache.SpecularMaterialSource);
    // Every register as the device copies of the constant manager hold it.
    D3D9ShaderConstantManager& constants = D3D9ShaderConstants;
    static const int registers[D3D9CONST_SET_COUNT] = {256, 16, 16, 224, 16, 16};
    for (int set = 0; set < D3D9CONST_SET_COUNT; ++set)
        Graphics_D3D9_ShaderConstant_Upload(&constants, set, 0, constants.DeviceCopy[set].Values, registers[set]);
    Cache.Force = 0;
    return 0;
}

int Graphics_D3D9_StateCache_Restore() {
    if (!D3D9Call_Device_Exists()) return -1;
    D3D9Call_Device_SetRenderState(D3DRS_DITHERENABLE, FALSE);
    Cache.Force = 1;
    Cache.StateChanged = 1;
    Graphics_D3D9_VertexBatch_Reset();
    D3D9NormalDrawStateRecord& normal = D3D9NormalDrawState;
    normal.DrawTexture = nullptr;
    Graphics_D3D9_StateCache_SetBlendMode(normal.BlendMode, normal.BlendParams, normal.AlphaTestWanted, normal.AlphaBlendWanted);
    Graphics_D3D9_StateCache_SetIgnoreTextureColor(normal.IgnoreTextureColor);
    Graphics_D3D9_StateCache_SetBlendSwitch(normal.BlendSwitch);
    Graphics_D3D9_StateCache_SetCullMode(Cache.CullMode);
    if (Cache.FilterMode >= 0 && Cache.FilterMode <= 2) Graphics_D3D9_StateCache_SetFilterMode(Cache.FilterMode);
    Graphics_D3D9_StateCache_SetShadeMode(Cache.ShadeMode);
    Graphics_D3D9_StateCache_SetMaxAnisotropy(Cache.AllMaxAnisotropy, -1);
    Graphics_D3D9_StateCache_SetCullMode(Cache.CullMode);
    for (int s = 0; s < 8; ++s)
        Graphics_D3D9_StateCache_SetTextureAddressUVW((int)Cache.AddressU[s], (int)Cache.AddressV[s], (int)Cache.AddressW[s], s);
    for (int s = 0; s < 4; ++s)
        Graphics_D3D9_StateCache_SetTextureTransform(Cache.TextureTransformUse[s], &Cache.TextureTransform[s], s);
    Graphics_D3D9_StateCache_SetZEnable(Cache.ZEnable);
    Graphics_D3D9_StateCache_SetZWriteEnable(Cache.ZWriteEnable);
    Graphics_D3D9_StateCache_SetZFunc(Cache.ZFunc);
    Graphics_D3D9_StateCache_SetDepthBias(Cache.DepthBias);
    Graphics_D3D9_StateCache_SetFillMode(Cache.FillMode);
    Graphics_D3D9_StateCache_RestoreLighting();
    Graphics_D3D9_StateCache_SetSpecularEnable(Cache.SpecularEnable);
    Graphics_D3D9_Lighting_SetEnable(Cache.Lighting);
    const RECT& area = DrawSettings.DrawArea;
    Graphics_D3D9_StateCache_SetViewportRect(area.left, area.top, area.right, area.bottom);
    Graphics_D3D9_StateCache_SetScissorRect(&area);
    for (int s = 0; s < D3D9TextureStageCount && s < D3D9DeviceState.TextureStageCount; ++s)
        D3D9Call_Device_SetTextureStageState((DWORD)s, D3DTSS_TEXCOORDINDEX, (DWORD)s);
    Graphics_D3D9_StateCache_BuildStageSetup(nullptr, 0, 1, 0);
    Graphics_D3D9_StateCache_BuildStageSetup(nullptr, 0, 1, 1);
    Graphics_D3D9_StateCache_RefreshAll();
    Cache.Force = 0;
    return 0;
}

int Graphics_D3D9_StateCache_Reapply() {
    if (!D3D9Call_Device_Exists()) return -1;
    Graphics_D3D9_StateCache_RefreshAll();
    D3D9NormalDrawStateRecord& normal = D3D9NormalDrawState;
    Cache.Force = 1;
    Graphics_D3D9_StateCache_SetBlendMode(normal.BlendMode, normal.BlendParams, normal.AlphaTestWanted, normal.AlphaBlendWanted);
    Cache.Force = 0;
    return 0;
}

void Graphics_D3D9_Scene_FlushAndEnd() {
    Graphics_Dispatch_VertexBatch_Flush(0);
    EndOpenScene();
}

void Graphics_D3D9_StateCache_Clear() { memset(&Cache, 0, sizeof(Cache)); }

}  // namespace Vantrel
