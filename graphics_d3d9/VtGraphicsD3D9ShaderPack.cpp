// Direct3D 9 built-in shader packs: expansion of the three packs through the pack expansion the
// Direct3D 11 back-end uses (each pack whole, then pack 2's size table read here), lookups that hand
// out only whole shader-model 2/3 programs, the family names and the vertex declarations.
// The pack texts stay untouched, so packs in read-only data can be expanded again after a free.
#include "graphics_d3d9/VtGraphicsD3D9ShaderPack.h"

#include <stdio.h>
#include <string.h>

#include "VtD3D9ShaderPacks.h"
#include "foundation/VtCharCode.h"
#include "foundation/VtLog.h"

namespace Vantrel {

static_assert(VtShaderPackCount_D3D9Base == 0 && VtShaderPackCount_D3D9Filter == 0, "packs 1 and 3 are archives used whole");
static_assert(VtShaderPackCount_D3D9ChannelMix == D3D9SHADER_CHANNEL_MIX_COUNT, "channel-mix pack entries");

const char* const D3D9ShaderName_Base2DVertex = "Base2DVertexShader.vso";
const char* const D3D9ShaderName_MaskBlend = "ps_mask_blend.pso";

D3D9ShaderCodeRecord D3D9ShaderCodeState = {
    0,
    {VtShaderPackText_D3D9Base, 0, 0, nullptr, 0, nullptr},
    {VtShaderPackText_D3D9ChannelMix, 0, 0, nullptr, 0, nullptr},
    {VtShaderPackText_D3D9Filter, 0, 0, nullptr, 0, nullptr},
    {}, {}, 0, 0, {},
};

namespace {

D3D9ShaderCodeRecord& Code = D3D9ShaderCodeState;

const uint32_t kEndToken = 0x0000FFFFu;

uint32_t Word(const uint8_t* at) {
    return (uint32_t)at[0] | (uint32_t)at[1] << 8 | (uint32_t)at[2] << 16 | (uint32_t)at[3] << 24;
}

// Pack 2 expanded whole: 512 little-endian 16-bit sizes, then the codes in that order. Every code
// present must be a whole program and the codes must fill the rest exactly.
bool ReadChannelMixTable() {
    const uint8_t* block = Code.ChannelMix.Block;
    const uint64_t blockSize = Code.ChannelMix.BlockSize;
    const uint64_t tableBytes = (uint64_t)D3D9SHADER_CHANNEL_MIX_COUNT * 2;
    if (block == nullptr || blockSize < tableBytes) return false;
    uint64_t at = tableBytes;
    for (int i = 0; i < D3D9SHADER_CHANNEL_MIX_COUNT; ++i) {
        const uint32_t size = (uint32_t)block[2 * i] | (uint32_t)block[2 * i + 1] << 8;
        if (at + size > blockSize || (size != 0 && !Graphics_D3D9_ShaderCode_IsProgram(block + at, size))) return false;
        Code.ChannelMixCodes[i] = {size != 0 ? block + at : nullptr, size};
        at += size;
    }
    return at == blockSize;
}

void FreeAll() {
    if (Code.BaseArchiveOpen) Archive_CloseAndReset(&Code.BaseArchive);
    if (Code.FilterArchiveOpen) Archive_CloseAndReset(&Code.FilterArchive);
    Code.BaseArchiveOpen = 0;
    Code.FilterArchiveOpen = 0;
    Graphics_D3D11_ShaderPack_Free(&Code.Base);
    Graphics_D3D11_ShaderPack_Free(&Code.ChannelMix);
    Graphics_D3D11_ShaderPack_Free(&Code.Filter);
    memset(Code.ChannelMixCodes, 0, sizeof(Code.ChannelMixCodes));
    Code.Initialized = 0;
}

// A file of an open archive, when it lies inside the image and is a whole program.
D3D9ShaderCode Locate(ArchiveContext* archive, int open, const D3D11ShaderPack& pack, const char* name) {
    uint64_t offset = 0, size = 0;
    if (!Code.Initialized || !open || name == nullptr || name[0] == 0 ||
        Archive_LocateFile(archive, CodePage_Ascii, name, &offset, &size) != 0 || offset > pack.BlockSize ||
        size > pack.BlockSize - offset || !Graphics_D3D9_ShaderCode_IsProgram(pack.Block + offset, size))
        return {nullptr, 0};
    return {pack.Block + offset, (uint32_t)size};
}

}  // namespace

int Graphics_D3D9_ShaderCode_IsProgram(const uint8_t* code, uint64_t size) {
    if (code == nullptr || size < 8 || size % 4 != 0) return 0;
    const uint32_t version = Word(code);
    const uint32_t kind = version >> 16, major = version >> 8 & 0xFF, minor = version & 0xFF;
    return (kind == 0xFFFE || kind == 0xFFFF) && (major == 2 || major == 3) && minor == 0 && Word(code + size - 4) == kEndToken;
}

int Graphics_D3D9_ShaderCode_Base_Initialize() {
    if (Code.Initialized) return 1;
    // Pack 1 opened as an archive, pack 2's table read, pack 3 opened as an archive.
    bool ok = Graphics_D3D11_ShaderPack_Expand(&Code.Base) &&
              Archive_OpenFromMemory(&Code.BaseArchive, Code.Base.Block, Code.Base.BlockSize, 0, 0, nullptr, nullptr) == 0;
    Code.BaseArchiveOpen = ok;
    ok = ok && Graphics_D3D11_ShaderPack_Expand(&Code.ChannelMix);
    if (ok && !ReadChannelMixTable()) {
        Log_AddTextShiftJIS("シェーダーパックが壊れています: table\n");
        ok = false;
    }
    ok = ok && Graphics_D3D11_ShaderPack_Expand(&Code.Filter) &&
         Archive_OpenFromMemory(&Code.FilterArchive, Code.Filter.Block, Code.Filter.BlockSize, 0, 0, nullptr, nullptr) == 0;
    Code.FilterArchiveOpen = ok;
    if (!ok) {
        FreeAll();
        return 0;
    }
    Code.Initialized = 1;
    return 1;
}

int Graphics_D3D9_ShaderCode_Base_Terminate() {
    FreeAll();
    return 1;
}

D3D9ShaderCode Graphics_D3D9_ShaderCode_GetBase(const char* name) {
    return Locate(&Code.BaseArchive, Code.BaseArchiveOpen, Code.Base, name);
}

D3D9ShaderCode Graphics_D3D9_ShaderCode_GetFilter(const char* name) {
    return Locate(&Code.FilterArchive, Code.FilterArchiveOpen, Code.Filter, name);
}

D3D9ShaderCode Graphics_D3D9_ShaderCode_GetChannelMix(int index) {
    if (!Code.Initialized || index < 0 || index >= D3D9SHADER_CHANNEL_MIX_COUNT) return {nullptr, 0};
    return Code.ChannelMixCodes[index];
}

void Graphics_D3D9_ShaderCode_UntexturedName(int index, char (&name)[D3D9SHADER_NAME_BYTES]) {
    name[0] = 0;
    if (index >= 0 && index < D3D9SHADER_UNTEXTURED_COUNT) snprintf(name, sizeof(name), "ps_nonetex_type%d_ach%d.pso", index / 2, index % 2);
}

void Graphics_D3D9_ShaderCode_TexturedName(int index, char (&name)[D3D9SHADER_NAME_BYTES]) {
    name[0] = 0;
    if (index >= 0 && index < D3D9SHADER_TEXTURED_COUNT)
        snprintf(name, sizeof(name), "ps_blend%d_type%d_igcolor%d_igtalpha%d_ach%d.pso", index / 56, index / 8 % 7, index / 4 % 2,
                 index / 2 % 2, index % 2);
}

void Graphics_D3D9_ShaderCode_MaskGraphName(int index, char (&name)[D3D9SHADER_NAME_BYTES]) {
    name[0] = 0;
    if (index >= 0 && index < D3D9SHADER_MASK_GRAPH_COUNT)
        snprintf(name, sizeof(name), "ps_mask_blend_use_grhandle_ch%c%s.pso", "argb"[index / 2], index % 2 != 0 ? "_reverse" : "");
}

D3D9ShaderCode Graphics_D3D9_ShaderCode_GetUntextured(int index) {
    char name[D3D9SHADER_NAME_BYTES];
    Graphics_D3D9_ShaderCode_UntexturedName(index, name);
    return Graphics_D3D9_ShaderCode_GetBase(name);
}

D3D9ShaderCode Graphics_D3D9_ShaderCode_GetTextured(int index) {
    char name[D3D9SHADER_NAME_BYTES];
    Graphics_D3D9_ShaderCode_TexturedName(index, name);
    return Graphics_D3D9_ShaderCode_GetBase(name);
}

D3D9ShaderCode Graphics_D3D9_ShaderCode_GetMaskGraph(int index) {
    char name[D3D9SHADER_NAME_BYTES];
    Graphics_D3D9_ShaderCode_MaskGraphName(index, name);
    return Graphics_D3D9_ShaderCode_GetBase(name);
}

// ---- Vertex declarations ----

namespace {

#define VT_ELEMENT(offset, type, usage, index) {0, offset, D3DDECLTYPE_##type, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_##usage, index}

// 0 and 2: pretransformed position, diffuse, one coordinate set.
const D3DVERTEXELEMENT9 kElements2DTextured[] = {
    VT_ELEMENT(0, FLOAT4, POSITION, 0), VT_ELEMENT(16, D3DCOLOR, COLOR, 0), VT_ELEMENT(20, FLOAT2, TEXCOORD, 0), D3DDECL_END()};
// 1: pretransformed position, diffuse.
const D3DVERTEXELEMENT9 kElements2D[] = {VT_ELEMENT(0, FLOAT4, POSITION, 0), VT_ELEMENT(16, D3DCOLOR, COLOR, 0), D3DDECL_END()};
// 3 and 4: pretransformed position, diffuse, specular, two coordinate sets.
const D3DVERTEXELEMENT9 kElements2DBlend[] = {
    VT_ELEMENT(0, FLOAT4, POSITION, 0), VT_ELEMENT(16, D3DCOLOR, COLOR, 0), VT_ELEMENT(20, D3DCOLOR, COLOR, 1),
    VT_ELEMENT(24, FLOAT2, TEXCOORD, 0), VT_ELEMENT(32, FLOAT2, TEXCOORD, 1), D3DDECL_END()};
// 5: position, diffuse.
const D3DVERTEXELEMENT9 kElements3D[] = {VT_ELEMENT(0, FLOAT3, POSITION, 0), VT_ELEMENT(12, D3DCOLOR, COLOR, 0), D3DDECL_END()};
// 6: position, diffuse, one coordinate set.
const D3DVERTEXELEMENT9 kElements3DTextured[] = {
    VT_ELEMENT(0, FLOAT3, POSITION, 0), VT_ELEMENT(12, D3DCOLOR, COLOR, 0), VT_ELEMENT(16, FLOAT2, TEXCOORD, 0), D3DDECL_END()};
// 7 and 10: position, normal, diffuse, specular, two coordinate sets.
const D3DVERTEXELEMENT9 kElements3DLit[] = {
    VT_ELEMENT(0, FLOAT3, POSITION, 0), VT_ELEMENT(12, FLOAT3, NORMAL, 0), VT_ELEMENT(24, D3DCOLOR, COLOR, 0),
    VT_ELEMENT(28, D3DCOLOR, COLOR, 1), VT_ELEMENT(32, FLOAT2, TEXCOORD, 0), VT_ELEMENT(40, FLOAT2, TEXCOORD, 1), D3DDECL_END()};
// 8 and 11: position, a second position, normal, tangent, binormal, diffuse, specular, two sets.
const D3DVERTEXELEMENT9 kElements3DShader[] = {
    VT_ELEMENT(0, FLOAT3, POSITION, 0),  VT_ELEMENT(12, FLOAT4, POSITION, 1), VT_ELEMENT(28, FLOAT3, NORMAL, 0),
    VT_ELEMENT(40, FLOAT3, TANGENT, 0),  VT_ELEMENT(52, FLOAT3, BINORMAL, 0), VT_ELEMENT(64, D3DCOLOR, COLOR, 0),
    VT_ELEMENT(68, D3DCOLOR, COLOR, 1),  VT_ELEMENT(72, FLOAT2, TEXCOORD, 0), VT_ELEMENT(80, FLOAT2, TEXCOORD, 1),
    D3DDECL_END()};
// 9: pretransformed position, diffuse, eight coordinate sets.
const D3DVERTEXELEMENT9 kElements2DEightSets[] = {
    VT_ELEMENT(0, FLOAT4, POSITION, 0),  VT_ELEMENT(16, D3DCOLOR, COLOR, 0), VT_ELEMENT(20, FLOAT2, TEXCOORD, 0),
    VT_ELEMENT(28, FLOAT2, TEXCOORD, 1), VT_ELEMENT(36, FLOAT2, TEXCOORD, 2), VT_ELEMENT(44, FLOAT2, TEXCOORD, 3),
    VT_ELEMENT(52, FLOAT2, TEXCOORD, 4), VT_ELEMENT(60, FLOAT2, TEXCOORD, 5), VT_ELEMENT(68, FLOAT2, TEXCOORD, 6),
    VT_ELEMENT(76, FLOAT2, TEXCOORD, 7), D3DDECL_END()};

#undef VT_ELEMENT

}  // namespace

const D3DVERTEXELEMENT9* const D3D9VertexDeclarationElements[D3D9VertexDeclarationCount] = {
    kElements2DTextured, kElements2D,    kElements2DTextured, kElements2DBlend, kElements2DBlend,     kElements3D,
    kElements3DTextured, kElements3DLit, kElements3DShader,   kElements2DEightSets, kElements3DLit, kElements3DShader,
};

}  // namespace Vantrel
