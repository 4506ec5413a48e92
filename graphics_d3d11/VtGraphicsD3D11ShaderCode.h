// Direct3D 11 built-in shaders, input layouts and simple-transfer objects: the main and channel-mix
// shader packs compiled into the library (made at build time from the shader templates), the shader
// objects of 2D drawing, masks and simple transfers, the input layouts of the eight standard vertex
// types and of the two simple-transfer vertex forms, the fixed state objects of the simple-transfer
// blit, and the index tables of the lit-3D shader choice.
// Stands on the shader packs, the call layer, the state cache, the vertex batch's per-type slots, the
// graphics core's state and the log.
#pragma once

#include <stdint.h>

#include "foundation/VtArchive.h"
#include "foundation/VtThread.h"
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

// Entries of the lit-3D pack, in pack order.
enum : int {
    D3D11LIT3D_PER_PIXEL_VS = 0,          // 8: [fog + 4 x shadow]
    D3D11LIT3D_PER_PIXEL_PS = 8,          // 2352: [((six-light number + 84 x shadow) x 7 + type) x 2 + test]
    D3D11LIT3D_SHADOW_VS = 2360,          // 2: [test]
    D3D11LIT3D_UNLIT_VS = 2362,           // 4: [fog]
    D3D11LIT3D_PER_VERTEX_VS = 2366,      // 160: [three-light number + (fog + 4 x shadow) x 20]
    D3D11LIT3D_SHADOW_PS = 2526,          // 2: [test]
    D3D11LIT3D_UNLIT_PS = 2528,           // 14: [type x 2 + test]
    D3D11LIT3D_PER_VERTEX_PS = 2542,      // 280: [((class number + 10 x shadow) x 7 + type) x 2 + test]
    D3D11LIT3D_COUNT = 2822,
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
    // The light classes of the per-vertex pixel shaders (0 none, 1 point or spot, 2 directional): the
    // 10 non-increasing sequences of three, with the reverse table.
    uint8_t Class3Sequence[10][3];
    int16_t Class3Number[64];
    D3D11ShaderPack Lit3D;                // expanded on the first lit 3D draw, under Lit3DLock
    CriticalSection Lit3DLock;
    int32_t Lit3DLockMade;
    volatile LONG Lit3DExpanded;
    // The filter shaders: an archive image expanded whole, opened from the block (no copy, default key).
    D3D11ShaderPack Filter;
    ArchiveContext FilterArchive;
    int32_t FilterArchiveOpen;
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
    ID3D11VertexShader* Lit3DVertexShader[D3D11LIT3D_COUNT];   // made on first use
    ID3D11PixelShader* Lit3DPixelShader[D3D11LIT3D_COUNT];
};
extern D3D11ShaderObjectsRecord D3D11ShaderObjects;

// The code of a main-pack entry (null code when absent or the pack is not expanded).
D3D11ShaderCode Graphics_D3D11_ShaderCode_GetMain(int index);
D3D11ShaderCode Graphics_D3D11_ShaderCode_GetChannelMix(int index);

// What the lit-3D shader choice depends on.
struct D3D11Lit3DKeys {
    int32_t ShadowPass;                   // drawing into a shadow map
    int32_t Lighting;                     // lighting on
    int32_t LightType[6];                 // each light of the core: 0 disabled, 1 point, 2 spot, 3 directional
    int32_t FogMode;                      // 0 when fog is off, else 1 exp, 2 exp2, 3 linear
    int32_t ShadowMaps;                   // the core uses shadow maps (count above 0)
    int32_t ShaderType;                   // the shader type of the blend row, 0-6
    int32_t AlphaTest;                    // the alpha-test bit of the normal-draw set-up
};

// The choice: lit-3D pack entries of the two shaders, and the light whose constants the shaders read
// as their k-th light (the light sequence sorted by type, directional first; -1 past the last).
struct D3D11Lit3DChoice {
    int32_t VertexEntry;
    int32_t PixelEntry;
    int32_t PerPixel;
    int32_t LightOrder[6];
};

// The code of a filter shader by its file name in the filter archive (code page 32765, as the filter
// bodies name them); null code when the archive is not open or has no such file.
D3D11ShaderCode Graphics_D3D11_ShaderCode_GetFilter(const char* name);

// The code of a lit-3D entry (null code when absent or the pack is not expanded).
D3D11ShaderCode Graphics_D3D11_ShaderCode_GetLit3D(int index);
// Expands the lit-3D pack once per process: 1 / 0.
int Graphics_D3D11_ShaderCode_Base3DInitialize();
// Picks the lit-3D shaders for the keys (expanding the pack when needed): 0, or -1 when the pack
// cannot be expanded or a key is out of range.
int Graphics_D3D11_Shader_Lit3DChoose(const D3D11Lit3DKeys* keys, D3D11Lit3DChoice* choice);
// Writes the choice's light order into the light table of constant buffer 0 (the unused words of the
// first two light records) and marks the buffer changed when it differs: 0, -1 without the buffer.
int Graphics_D3D11_Shader_Lit3DWriteLightTable(const D3D11Lit3DChoice* choice);
// The shader object of a lit-3D entry, created from its code on first use; null when the entry is not
// a shader of that kind, absent, or its creation fails.
ID3D11VertexShader* Graphics_D3D11_Shader_GetLit3DVertexShader(int entry);
ID3D11PixelShader* Graphics_D3D11_Shader_GetLit3DPixelShader(int entry);

int Graphics_D3D11_ShaderCode_BaseInitialize();
int Graphics_D3D11_ShaderCode_BaseTerminate();
int Graphics_D3D11_Shader_Initialize();
int Graphics_D3D11_Shader_ReleaseAll();
int Graphics_D3D11_InputLayout_CreateAll();
int Graphics_D3D11_InputLayout_ReleaseAll();
int Graphics_D3D11_SimpleTransfer_Initialize();
int Graphics_D3D11_SimpleTransfer_Terminate();

}  // namespace Vantrel
