// Direct3D 9 device state cache: a copy of every render, sampler and texture-stage state, binding and
// transform the back-end has given the device, so that setting an unchanged value costs one comparison
// and every real change first draws the vertices already batched (they keep the state they were batched
// under). The force flag turns this around: every setter then calls the device and never flushes, which
// is how the whole state is written again (defaults, refresh, restore).
// Stands on the call layer, the vertex batch (through the core's flush switch), the shader-constant
// manager, the device's capabilities and the graphics core's settings.
#pragma once

#include <stdint.h>

#include "graphics_d3d9/VtGraphicsD3D9Call.h"

namespace Vantrel {

constexpr int D3D9SamplerCount = 16;
constexpr int D3D9TextureStageCount = 16;
constexpr int D3D9RenderTargetCount = 8;
constexpr int D3D9LightCacheCount = 256;

// One texture stage of a D3D9StageSetup: the texture (an IDirect3DTexture9, or a Graph or ShadowMap handle
// when the caller says so), then the stage states; -1 leaves a state as it is.
struct D3D9StageEntry {
    uintptr_t Texture;
    int32_t TexCoordIndex;
    int32_t ResultArg;           // 0 D3DTA_CURRENT, any other value D3DTA_TEMP
    int16_t AlphaArg1, AlphaArg2, AlphaOp;
    int16_t ColorArg1, ColorArg2, ColorOp;
};

// A whole blend, alpha-test and texture-stage set-up, as callers state it and as the cache keeps what the
// device has.
struct D3D9StageSetup {
    int32_t AlphaTestEnable;
    int32_t AlphaRef;
    int32_t AlphaFunc;
    int32_t BlendEnable;
    int32_t SeparateAlphaEnable;
    uint32_t TextureFactor;
    int32_t SrcBlend, DestBlend, BlendOp;               // -1 leaves them
    int32_t SrcBlendAlpha, DestBlendAlpha, BlendOpAlpha;
    int32_t StageCount;
    D3D9StageEntry Stages[D3D9TextureStageCount];
};

struct D3D9DeviceStateCacheRecord {
    int32_t Force;                      // every setter calls the device and none flushes
    int32_t StateChanged;               // the draw preparation must look at its derived state again
    int32_t Scene;                      // 1 between BeginScene and EndScene
    int32_t LastPrepareFlags;           // the draw preparation's last flag word (cleared when a scene begins)

    IDirect3DVertexShader9* VertexShader;
    int32_t VertexShaderUser;
    IDirect3DPixelShader9* PixelShader;
    int32_t PixelShaderUser;
    IDirect3DVertexDeclaration9* VertexDeclaration;
    DWORD FVF;
    IDirect3DVertexBuffer9* VertexBuffer;
    UINT VertexStride;
    IDirect3DIndexBuffer9* IndexBuffer;

    IDirect3DSurface9* RenderTarget[D3D9RenderTargetCount];   // target 0 starts as the back buffer
    D3DVIEWPORT9 Viewport;
    RECT ScissorRect;

    int32_t ZEnable;                    // the library's mode; the device gets TRUE only for 1
    int32_t ZWriteEnable;
    int32_t ZFunc;
    DWORD DepthBias;                    // float bits
    int32_t FillMode;
    int32_t CullMode;                   // 0 none, 1 counter-clockwise, 2 clockwise
    int32_t ShadeMode;
    int32_t Lighting;
    int32_t SpecularEnable;

    DWORD AddressU[D3D9SamplerCount];
    DWORD AddressV[D3D9SamplerCount];
    DWORD AddressW[D3D9SamplerCount];
    DWORD MagFilter[D3D9SamplerCount];
    DWORD MinFilter[D3D9SamplerCount];
    DWORD MipFilter[D3D9SamplerCount];
    DWORD MaxAnisotropy[D3D9SamplerCount];
    int32_t AllMaxAnisotropy;           // last set for all samplers at once
    int32_t FilterMode;                 // 0 point, 1 bilinear, 2 anisotropic, 3 set per sampler

    int32_t TextureTransformUse[4];
    D3DMATRIX TextureTransform[4];

    // What the device has of the blend and texture-stage set-up, the texture factor as the four floats of
    // pixel-shader register c5, and the stage count the derived set-up used last.
    D3D9StageSetup Applied;
    float TextureFactor[4];
    int32_t StageCountUsed;

    // Lighting, material, fog and ambient.
    D3DLIGHT9 Light[D3D9LightCacheCount];
    int32_t LightEnable[D3D9LightCacheCount];
    int32_t LightMaxIndex;              // highest enabled light, 0 when none
    D3DMATERIAL9 Material;
    float MaterialExtra[4];             // the core's further material values
    float GlobalAmbient[4];             // red, green, blue, alpha, each / 255
    int32_t DiffuseMaterialSource;      // 255 after a device set-up: the next setter call always reaches it
    int32_t SpecularMaterialSource;
    int32_t FogEnable;
    int32_t FogMode;
    D3DCOLOR FogColor;
    float FogStart;
    float FogEnd;
    float FogDensity;
    float RestoreVertexConstant57[4];   // written only by the restore
    float RestorePixelConstant25[4];
};
extern D3D9DeviceStateCacheRecord D3D9DeviceStateCache;

// Setters: 0, -1 when the device call fails; the result without a device is given per setter.
int Graphics_D3D9_StateCache_SetZEnable(int mode);                    // -1 without device
int Graphics_D3D9_StateCache_SetZWriteEnable(int flag);               // -1
int Graphics_D3D9_StateCache_SetZFunc(int func);                      // -1
int Graphics_D3D9_StateCache_SetDepthBias(DWORD value);               // -1; float bits
int Graphics_D3D9_StateCache_SetFillMode(int mode);                   // -1
int Graphics_D3D9_StateCache_SetCullMode(int mode);                   // 0; 0 none, 1 CCW, 2 CW
int Graphics_D3D9_StateCache_SetShadeMode(int mode);                  // 0
int Graphics_D3D9_StateCache_SetSpecularEnable(int flag);             // 0
int Graphics_D3D9_Lighting_SetEnable(int flag);                       // 0; no flush
// 0 point, 1 bilinear, 2 anisotropic for all samplers; -1 without device or for any other mode.
int Graphics_D3D9_StateCache_SetFilterMode(int mode);
// One filter of one sampler: kind 16 magnification, 17 minification, 18 mip; no flush.
int Graphics_D3D9_StateCache_SetSamplerFilter(int sampler, int kind, DWORD filter);
// Clamped to 1 .. the device's maximum; sampler -1 for all.
int Graphics_D3D9_StateCache_SetMaxAnisotropy(int value, int sampler);
int Graphics_D3D9_StateCache_SetTextureAddressU(int mode, int sampler);
int Graphics_D3D9_StateCache_SetTextureAddressV(int mode, int sampler);
int Graphics_D3D9_StateCache_SetTextureAddressW(int mode, int sampler);
int Graphics_D3D9_StateCache_SetTextureAddress(int mode, int sampler);
int Graphics_D3D9_StateCache_SetTextureAddressUVW(int u, int v, int w, int sampler);
// use 1 with a matrix: D3DTTFF_COUNT3 and the matrix; else disabled. Stage -1: stages 0-3.
int Graphics_D3D9_StateCache_SetTextureTransform(int use, const D3DMATRIX* matrix, int stage);
int Graphics_D3D9_StateCache_SetViewport(const D3DVIEWPORT9* viewport);
int Graphics_D3D9_StateCache_SetViewportRect(int x1, int y1, int x2, int y2);
int Graphics_D3D9_StateCache_SetScissorRect(const RECT* rect);
int Graphics_D3D9_StateCache_SetRenderTarget(IDirect3DSurface9* surface, int index);
int Graphics_D3D9_StateCache_SetVertexShader(IDirect3DVertexShader9* shader, int user);
int Graphics_D3D9_StateCache_SetPixelShader(IDirect3DPixelShader9* shader, int user);
// A Shader handle's device shader (kept in the record's first platform word).
int Graphics_D3D9_StateCache_SetVertexShaderHandle(int shader);
int Graphics_D3D9_StateCache_SetPixelShaderHandle(int shader);
int Graphics_D3D9_StateCache_ResetVertexShader(int keepUser);
int Graphics_D3D9_StateCache_ResetPixelShader(int keepUser);
int Graphics_D3D9_StateCache_SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration);
int Graphics_D3D9_StateCache_SetFVF(DWORD fvf);
int Graphics_D3D9_StateCache_SetVertexBuffer(IDirect3DVertexBuffer9* buffer, UINT stride);
int Graphics_D3D9_StateCache_SetIndexBuffer(IDirect3DIndexBuffer9* buffer);

// The shader, declaration, FVF and buffer bindings forgotten (a new device has none).
void Graphics_D3D9_StateCache_ForgetShadersAndInputs();
int Graphics_D3D9_StateCache_SetDefaults();
int Graphics_D3D9_StateCache_RefreshAll();
int Graphics_D3D9_StateCache_RefreshStageDefaults();
int Graphics_D3D9_StateCache_Restore();
int Graphics_D3D9_StateCache_Reapply();
// The whole cache back to its start (the device is gone).
void Graphics_D3D9_StateCache_Clear();
// Draws what the vertex batch holds and ends an open scene.
void Graphics_D3D9_Scene_FlushAndEnd();

}  // namespace Vantrel
