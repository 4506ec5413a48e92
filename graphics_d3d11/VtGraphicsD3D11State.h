// Direct3D 11 state cache: a copy of every description and binding sent to the immediate context, so
// that setting an unchanged value costs one comparison, every real change first flushes the vertex
// batch, and the whole state can be sent again (force flag). Rasterizer, depth-stencil, blend and
// sampler descriptions are marked dirty and turned into shared or private state objects when the next
// draw applies pending state. Also the blend-mode table the preset blend states are made from.
// Stands on the call layer, the vertex batch, the constant buffers and the graphics core's state.
#pragma once

#include <stdint.h>

#include "graphics_d3d11/VtGraphicsD3D11Call.h"

namespace Vantrel {

constexpr int D3D11BlendPresetCount = 38;
constexpr int D3D11SamplerCount = 16;
constexpr int D3D11PSResourceCount = 128;
constexpr int D3D11ConstantSlotCount = 14;

// One row of the blend-mode table: pixel-shader type, the render-target blend, and whether texels
// that are fully transparent are discarded.
struct D3D11BlendModeRow {
    int32_t ShaderType;
    D3D11_RENDER_TARGET_BLEND_DESC Blend;
    int32_t DiscardTransparent;
};
extern const D3D11BlendModeRow D3D11BlendModeTable[D3D11BlendPresetCount];

// Selector -1 custom description, 32 user factors, else a preset of the blend-mode table.
struct D3D11BlendKey {
    int32_t Selector;
    int32_t Enable;
    int32_t ColorSource, ColorDest, ColorOp;
    int32_t AlphaSource, AlphaDest, AlphaOp;
    int32_t KeepDestAlpha;
};

constexpr int D3D11LightCount = 6;

// A light as the state cache keeps it (world space; the constants hold it in view space).
struct D3D11LightRecord {
    int32_t Type;                   // 1 point, 2 spot, 3 directional
    float Diffuse[4], Specular[4], Ambient[4];
    float Position[3], Direction[3];
    float Range, Falloff;
    float Attenuation[3];
    float Theta, Phi;               // inner and outer cone angles (radians)
};

struct D3D11StateCacheRecord {
    int32_t Force;
    int32_t StateChanged;

    D3D11_RASTERIZER_DESC RasterizerDesc;
    int32_t RasterizerDirty;
    ID3D11RasterizerState* Rasterizer;
    int32_t RasterizerPrivate;
    ID3D11RasterizerState* RasterizerTable[64];

    D3D11_DEPTH_STENCIL_DESC DepthStencilDesc;
    int32_t DepthStencilDirty;
    ID3D11DepthStencilState* DepthStencil;
    int32_t DepthStencilPrivate;
    ID3D11DepthStencilState* DepthStencilTable[36];

    D3D11BlendKey BlendKey;
    D3D11_BLEND_DESC BlendDesc;            // the custom description (selector -1)
    int32_t BlendDirty;
    ID3D11BlendState* Blend;
    int32_t BlendPrivate;
    ID3D11BlendState* BlendTable[D3D11BlendPresetCount * 2];
    FLOAT BlendFactor[4];

    D3D11_SAMPLER_DESC SamplerDesc[D3D11SamplerCount];
    int32_t SamplerDirty[D3D11SamplerCount];
    int32_t SamplersDirty;
    ID3D11SamplerState* Sampler[D3D11SamplerCount];
    int32_t SamplerPrivate[D3D11SamplerCount];
    int32_t AllFilter;                     // -1 when the samplers differ
    int32_t AllMaxAnisotropy;
    int32_t DrawMode;                      // the last draw mode set, -1 when forgotten
    ID3D11SamplerState** SamplerTable;     // 18 filters x 6 x 6 x 6 address modes x 3 anisotropy classes

    ID3D11Texture2D* RenderTargetTexture[8];
    ID3D11RenderTargetView* RenderTargetView[8];
    D3D11_TEXTURE2D_DESC RenderTargetDesc[8];
    ID3D11Texture2D* DepthTexture;
    ID3D11DepthStencilView* DepthView;
    D3D11_TEXTURE2D_DESC DepthDesc;
    D3D11_VIEWPORT Viewport;
    D3D11_PRIMITIVE_TOPOLOGY Topology;
    ID3D11InputLayout* InputLayout;
    ID3D11Buffer* VertexBuffer;
    UINT VertexStride;
    ID3D11Buffer* IndexBuffer;
    DXGI_FORMAT IndexFormat;
    ID3D11VertexShader* VertexShader;
    int32_t VertexShaderStandard;
    ID3D11PixelShader* PixelShader;
    int32_t PixelShaderStandard;
    ID3D11GeometryShader* GeometryShader;
    ID3D11ShaderResourceView* PSResources[D3D11PSResourceCount];
    ID3D11Buffer* VSConstantBuffers[D3D11ConstantSlotCount];
    ID3D11Buffer* PSConstantBuffers[D3D11ConstantSlotCount];
    int32_t VertexTextures;                // send shader resources to the vertex stage too
    int32_t GeometryTextures;              // and to the geometry stage

    float VSSwitch[3];
    int32_t TextureMatrixUsed;
    float TextureMatrix[16];
    float BlendGraphParams[4];
    int32_t AlphaTestFunc;
    int32_t AlphaTestRef;

    int32_t FogEnable[2];
    int32_t FogMode[2];
    uint32_t FogColor[2];
    float FogStart[2], FogEnd[2], FogDensity[2];
    int32_t LightingEnable;
    float MaterialAmbient[4];
    float MaterialEmissive[4];
    float GlobalAmbient[4];
    D3D11LightRecord Light[D3D11LightCount];
    int32_t LightEnable[D3D11LightCount];
    int32_t LightMaxIndex;          // highest enabled light, -1 for none
    float ViewMatrix[16];
};
extern D3D11StateCacheRecord D3D11StateCache;

int Graphics_D3D11_StateCache_SetViewport(const D3D11_VIEWPORT* viewport);
int Graphics_D3D11_StateCache_SetViewportRect(float x1, float y1, float x2, float y2);
int Graphics_D3D11_StateCache_SetRenderTarget(ID3D11Texture2D* texture, ID3D11RenderTargetView* view, int slot);
int Graphics_D3D11_StateCache_SetDepthStencilView(ID3D11Texture2D* texture, ID3D11DepthStencilView* view);
int Graphics_D3D11_StateCache_ApplyRenderTargets();
int Graphics_D3D11_StateCache_SetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY topology);
int Graphics_D3D11_StateCache_SetInputLayout(ID3D11InputLayout* layout);
int Graphics_D3D11_StateCache_SetVertexBuffer(ID3D11Buffer* buffer, UINT stride);
int Graphics_D3D11_StateCache_SetIndexBuffer(ID3D11Buffer* buffer, DXGI_FORMAT format);
int Graphics_D3D11_StateCache_SetVertexShader(ID3D11VertexShader* shader, int standard);
int Graphics_D3D11_StateCache_SetPixelShader(ID3D11PixelShader* shader, int standard);
int Graphics_D3D11_StateCache_ClearGeometryShader();
int Graphics_D3D11_StateCache_ClearVertexShader(int keepStandard);
int Graphics_D3D11_StateCache_SetPSShaderResources(int firstSlot, int count, ID3D11ShaderResourceView* const* views);
int Graphics_D3D11_StateCache_SetVSConstantBuffers(int firstSlot, int count, ID3D11Buffer* const* buffers);
int Graphics_D3D11_StateCache_SetPSConstantBuffers(int firstSlot, int count, ID3D11Buffer* const* buffers);
int Graphics_D3D11_StateCache_SetFillMode(D3D11_FILL_MODE mode);
int Graphics_D3D11_StateCache_SetCullMode(int mode);
int Graphics_D3D11_StateCache_SetDepthBias(int bias);
int Graphics_D3D11_StateCache_SetDepthEnable(int flag);
int Graphics_D3D11_StateCache_SetDepthWriteEnable(int flag);
int Graphics_D3D11_StateCache_SetDepthFunc(D3D11_COMPARISON_FUNC func);
int Graphics_D3D11_StateCache_SetBlendStateKey(int selector, int enable, int colorSource, int colorDest, int colorOp,
                                               int alphaSource, int alphaDest, int alphaOp, int keepDestAlpha);
int Graphics_D3D11_StateCache_SetSamplerFilter(D3D11_FILTER filter, int slot);
int Graphics_D3D11_StateCache_SetMaxAnisotropy(int value, int slot);
int Graphics_D3D11_StateCache_SetAddressU(D3D11_TEXTURE_ADDRESS_MODE mode, int slot);
int Graphics_D3D11_StateCache_SetAddressV(D3D11_TEXTURE_ADDRESS_MODE mode, int slot);
int Graphics_D3D11_StateCache_SetAddressW(D3D11_TEXTURE_ADDRESS_MODE mode, int slot);
int Graphics_D3D11_StateCache_SetAddressUVW(D3D11_TEXTURE_ADDRESS_MODE mode, int slot);
int Graphics_D3D11_StateCache_SetDrawMode(int mode);
int Graphics_D3D11_Lighting_SetEnable(int flag);
int Graphics_D3D11_StateCache_SetVSSwitch0(int flag);
int Graphics_D3D11_StateCache_SetVSSwitch1(int flag);
int Graphics_D3D11_StateCache_SetVSSwitch2(int flag);
int Graphics_D3D11_StateCache_SetFogEnable(int flag);
int Graphics_D3D11_StateCache_SetFogColor(uint32_t color);
int Graphics_D3D11_StateCache_SetFogStartEnd(float start, float end);
int Graphics_D3D11_StateCache_SetFog2Color(uint32_t color);
int Graphics_D3D11_StateCache_SetFog2StartEnd(float start, float end);
int Graphics_D3D11_StateCache_SetTextureMatrix(int use, const float* matrix);
int Graphics_D3D11_StateCache_Set2DProjectionMatrix(const float* matrix);
int Graphics_D3D11_StateCache_SetProjectionMatrix(const float* matrix);
int Graphics_D3D11_StateCache_SetViewMatrix(const float* matrix);
int Graphics_D3D11_StateCache_SetWorldMatrix(const float* matrix);
int Graphics_D3D11_StateCache_SetBlendGraphParams(float a, float b, float c, float d);
int Graphics_D3D11_StateCache_SetAlphaTestFunc(int func);
int Graphics_D3D11_StateCache_SetAlphaTestRef(int reference);
// Material colours (r, g, b, a each) and power into constant buffer 0; the global ambient term follows.
int Graphics_D3D11_StateCache_SetMaterial(const float* diffuse, const float* ambient, const float* specular,
                                          const float* emissive, float power);
// The first three material colour sources (diffuse, specular, ambient; 1 = the vertex colour) into
// constant buffer 0, where the lit shaders choose between the material and the vertex colours.
int Graphics_D3D11_StateCache_SetMaterialColorSource(const int32_t* sources);
int Graphics_D3D11_StateCache_SetLight(int index, const D3D11LightRecord* light);
int Graphics_D3D11_StateCache_SetLightEnable(int index, int flag);
// Light ambient x material ambient for every enabled light up to the highest, and the global term;
// buffer 0's record (null without device).
struct D3D11ConstantBuffer* Graphics_D3D11_StateCache_UpdateAmbientConstants();
// The global ambient colour; buffer 0 gets global ambient x material ambient + material emissive.
int Graphics_D3D11_StateCache_SetGlobalAmbient(const float* colour);

// Samplers, rasterizer, depth-stencil and blend when dirty, then the changed standard constant buffers.
int Graphics_D3D11_StateCache_ApplyPending();
int Graphics_D3D11_StateCache_RefreshAll();
int Graphics_D3D11_StateCache_SetDefaults();
// Releases every state object (shared and private) and clears the bindings, so that the next setter
// sends its value again.
int Graphics_D3D11_StateCache_ReleaseAll();

}  // namespace Vantrel
