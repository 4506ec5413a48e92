// Direct3D 11 built-in shaders, input layouts and simple-transfer objects: the main and channel-mix
// shader packs compiled into the library (made at build time from the shader templates), the shader
// objects of 2D drawing, masks and simple transfers, the input layouts of the eight standard vertex
// types and of the two simple-transfer vertex forms, the fixed state objects of the simple-transfer
// blit, and the index tables of the lit-3D shader choice.
// Stands on the shader packs, the call layer, the state cache, the vertex batch's per-type slots, the
// graphics core's state and the log.
#pragma once

#include <stdint.h>

#include "graphics_d3d11/VtGraphicsD3D11Call.h"
#include "graphics_d3d11/VtGraphicsD3D11ShaderPack.h"

namespace Vantrel {

// Entries of the main pack, in pack order.
enum : int {
    D3D11SHADER_STANDARD_VS = 0,          // 8, one per standard vertex type
    D3D11SHADER_UNTEXTURED_PS = 8,        // 14: [shader type x 2 + alpha test]
    D3D11SHADER_TEXTURED_PS = 22,         // 224: four groups of 56 (plain, blend graph kind 0, 1, 2)
    D3D11SHADER_MASK_PS = 246,
    D3D11SHADER_MASK_REVERSE_PS = 247,
    D3D11SHADER_MASK_VARIANT_PS = 248,    // 4
    D3D11SHADER_MASK_REVERSE_VARIANT_PS = 252,  // 4
    D3D11SHADER_SIMPLE_TRANSFER_VS = 256,
    D3D11SHADER_SIMPLE_TRANSFER_VS8 = 257,
    D3D11SHADER_SIMPLE_TRANSFER_PS = 258,
    D3D11SHADER_MAIN_COUNT = 259,
    D3D11SHADER_CHANNEL_MIX_COUNT = 512,
    D3D11SHADER_UNTEXTURED_COUNT = 14,
    D3D11SHADER_TEXTURED_COUNT = 224,
};

struct D3D11ShaderCodeRecord {
    int32_t BaseInitialized;
    D3D11ShaderPack Main;                 // the texts may be replaced before initialisation (tests)
    D3D11ShaderPack ChannelMix;
    // Lit-3D choice: the 84 non-increasing sequences of six light-type codes (0-3) and the 20 of three,
    // in enumeration order, with the reverse tables (codes read as base-4 digits, first code highest).
    uint8_t Light6Sequence[84][6];
    int16_t Light6Number[4096];
    uint8_t Light3Sequence[20][3];
    int16_t Light3Number[64];
};
extern D3D11ShaderCodeRecord D3D11ShaderCodeState;

// The objects made from the main pack, the input layouts and the simple-transfer state objects.
struct D3D11ShaderObjectsRecord {
    ID3D11VertexShader* VertexShader[D3D11SHADER_MAIN_COUNT];   // one slot per main-pack entry
    ID3D11PixelShader* PixelShader[D3D11SHADER_MAIN_COUNT];
    ID3D11InputLayout* StandardLayout[8];
    ID3D11InputLayout* SimpleTransferLayout;
    ID3D11InputLayout* SimpleTransferLayout8;
    ID3D11BlendState* CopyBlend;
    ID3D11BlendState* AlphaBlend;
    ID3D11SamplerState* PointSampler;
    ID3D11SamplerState* LinearSampler;
    ID3D11SamplerState* PointWrapSampler;
    ID3D11RasterizerState* Rasterizer;
    ID3D11DepthStencilState* DepthStencil;
};
extern D3D11ShaderObjectsRecord D3D11ShaderObjects;

// The code of a main-pack entry (null code when absent or the pack is not expanded).
D3D11ShaderCode Graphics_D3D11_ShaderCode_GetMain(int index);
D3D11ShaderCode Graphics_D3D11_ShaderCode_GetChannelMix(int index);

int Graphics_D3D11_ShaderCode_BaseInitialize();
int Graphics_D3D11_ShaderCode_BaseTerminate();
int Graphics_D3D11_Shader_Initialize();
int Graphics_D3D11_Shader_ReleaseAll();
int Graphics_D3D11_InputLayout_CreateAll();
int Graphics_D3D11_InputLayout_ReleaseAll();
int Graphics_D3D11_SimpleTransfer_Initialize();
int Graphics_D3D11_SimpleTransfer_Terminate();

}  // namespace Vantrel
