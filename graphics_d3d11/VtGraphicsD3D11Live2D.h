// Direct3D 11 Live2D renderer: the shader objects made from the Live2D module's shader pack (an
// archive of the vertex and pixel shaders of graphics_d3d11/shaders/live2d), their input layout,
// constant buffer, state objects and growing vertex and index buffers, and the mask texture; draws a
// model's meshes into the draw target, plain, masked or inverted-masked, with straight or
// premultiplied textures, after drawing the masks into the mask texture.
// Stands on the call layer, the state cache (restored after each run of draws), the vertex batch and
// the Live2D module's shader pack.
#pragma once

#include <stdint.h>

#include "graphics_d3d11/VtGraphicsD3D11Call.h"

namespace Vantrel {

enum : int {
    D3D11LIVE2D_VS_NORMAL = 0,
    D3D11LIVE2D_VS_MASKED,
    D3D11LIVE2D_VS_SETUP_MASK,
    D3D11LIVE2D_VS_COUNT,
};

enum : int {
    D3D11LIVE2D_PS_NORMAL = 0,
    D3D11LIVE2D_PS_NORMAL_PREMULTIPLIED,
    D3D11LIVE2D_PS_MASKED,
    D3D11LIVE2D_PS_MASKED_PREMULTIPLIED,
    D3D11LIVE2D_PS_MASKED_INVERTED,
    D3D11LIVE2D_PS_MASKED_INVERTED_PREMULTIPLIED,
    D3D11LIVE2D_PS_SETUP_MASK,
    D3D11LIVE2D_PS_COUNT,
};

enum : int {
    D3D11LIVE2D_BLEND_NORMAL = 0,
    D3D11LIVE2D_BLEND_ADDITIVE,
    D3D11LIVE2D_BLEND_MULTIPLICATIVE,
    D3D11LIVE2D_BLEND_MASK,
    D3D11LIVE2D_BLEND_COUNT,
};

// The pack's file of each shader.
extern const char* const D3D11Live2DVertexShaderNames[D3D11LIVE2D_VS_COUNT];
extern const char* const D3D11Live2DPixelShaderNames[D3D11LIVE2D_PS_COUNT];

struct D3D11Live2DRecord {
    ID3D11VertexShader* VertexShader[D3D11LIVE2D_VS_COUNT];
    ID3D11PixelShader* PixelShader[D3D11LIVE2D_PS_COUNT];
    ID3D11InputLayout* Layout;              // position x, y and texture u, v: four floats
    ID3D11Buffer* Constants;                // 13 rows, see the shader sources
    ID3D11BlendState* Blend[D3D11LIVE2D_BLEND_COUNT];
    ID3D11SamplerState* Sampler;            // linear, clamped
    ID3D11RasterizerState* Rasterizer;      // both faces, no scissor
    ID3D11DepthStencilState* DepthStencil;  // no depth
    ID3D11Buffer* Vertices;
    uint32_t VertexCapacity;                // vertices
    ID3D11Buffer* Indices;
    uint32_t IndexCapacity;                 // 16-bit indices
    ID3D11Texture2D* MaskTexture;           // the size of the draw target's viewport
    ID3D11RenderTargetView* MaskTarget;
    ID3D11ShaderResourceView* MaskView;
    uint32_t MaskWidth, MaskHeight;
};
extern D3D11Live2DRecord D3D11Live2D;

// One mesh as drawn: model-space positions and bottom-up texture coordinates, the triangle list.
struct D3D11Live2DMesh {
    const float* Positions;                 // VertexCount x, y pairs
    const float* Uvs;                       // VertexCount u, v pairs
    uint32_t VertexCount;
    const uint16_t* Indices;
    uint32_t IndexCount;
    ID3D11ShaderResourceView* Texture;
    int32_t Blend;                          // D3D11LIVE2D_BLEND_NORMAL, _ADDITIVE or _MULTIPLICATIVE
    int32_t Premultiplied;                  // the texture holds premultiplied colour
    float BaseColor[4];                     // colour and opacity
    float MultiplyColor[4];
    float ScreenColor[4];
};

// Makes every object from the module's open shader pack: 0, -1 without a device or pack, or when an
// object cannot be made (then nothing is kept).
int Graphics_D3D11_Live2D_Create();
// 1 when the objects exist.
int Graphics_D3D11_Live2D_Ready();
// Releases every object (nothing to do without them).
int Graphics_D3D11_Live2D_Release();

// A run of draws: Begin flushes the batch and sets the fixed state; End restores the state cache's.
// `projection` (16 floats, row-vector order) takes model units to the draw target's clip space.
int Graphics_D3D11_Live2D_Begin();
// The projection that puts model point (x, y) (y up) at pixel (offsetX + x scaleX, offsetY - y scaleY)
// of the draw target, through the viewport in use. 0, or -1 when the viewport is empty.
int Graphics_D3D11_Live2D_PixelProjection(float* out, float scaleX, float scaleY, float offsetX, float offsetY);
int Graphics_D3D11_Live2D_End();
// Clears the mask texture (made or remade at the draw target's viewport size). 0 / -1.
int Graphics_D3D11_Live2D_ClearMask();
// Adds a mask mesh's coverage to the mask texture. 0 / -1.
int Graphics_D3D11_Live2D_DrawMaskMesh(const D3D11Live2DMesh* mesh, const float* projection);
// Draws a mesh into the draw target: mask 0 plain, 1 where the mask is set, 2 where it is not. 0 / -1.
int Graphics_D3D11_Live2D_DrawMesh(const D3D11Live2DMesh* mesh, const float* projection, int mask);

}  // namespace Vantrel
