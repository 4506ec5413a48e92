// Direct3D 9 built-in shader packs: the three packs expanded at start-up (pack 1, the 2D shaders as an
// archive by file name; pack 2, the 512 channel-mix shaders as a table; pack 3, the graph-filter
// shaders as an archive), the byte code of each shader looked up by name or number, the names of the
// shader families, and the element lists of the twelve vertex declarations.
// Stands on the Direct3D 11 back-end's pack expansion, the archive reader, the allocator and the log.
//
// What the built-in shaders read (shader model 2; every register a float register):
// - 2D vertex shader: v0 position (x, y, z in draw-target pixels; w taken as 1), v1 and v2 the two
//   colours, v3-v10 texture coordinates 0-7; c2-c5 the rows of the transposed device projection;
//   c0 = (0, 1, 0, 0) is defined in the shader itself. Out: position, both colours, oT0-oT7.
// - Fixed-function pixel shaders: v0 the diffuse colour; t0 with sampler 0 the draw texture; t1 with
//   sampler 1 the blend graph (blend digits 1-3); c5 the texture factor as (blue, green, red, alpha)
//   / 255 (ignore-colour variants and type 1; the crossfade takes its alpha as the blend ratio);
//   c6.z and c6.w the transition's scale and offset (blend digit 2: the texel's alpha times
//   saturate((blend alpha + c6.w) x c6.z)); c7.x the alpha check's reference (ach digit 1: pixels
//   whose alpha is not above it are discarded). c0 = (0, 0.5, 1, 2) is defined in the shaders.
// - Mask shaders: t0 with sampler 0 the mask screen, t1 with sampler 1 the mask image or graph.
// - Channel-mix shaders: t0 with sampler 0 the source; no constants.
#pragma once

#include <d3d9.h>
#include <stdint.h>

#include "foundation/VtArchive.h"
#include "graphics_d3d11/VtGraphicsD3D11ShaderPack.h"

namespace Vantrel {

// Byte code of one shader inside an expanded pack; Code is nullptr when there is none.
struct D3D9ShaderCode {
    const uint8_t* Code;
    uint32_t Size;
};

constexpr int D3D9SHADER_TYPE_COUNT = 7;
constexpr int D3D9SHADER_UNTEXTURED_COUNT = 14;     // type x 2 + alpha check
constexpr int D3D9SHADER_TEXTURED_COUNT = 224;      // alpha check + 2 x ignore texture alpha + 4 x ignore colour + 8 x type + 56 x blend graph
constexpr int D3D9SHADER_MASK_GRAPH_COUNT = 8;      // channel (a, r, g, b) x 2 + reverse
constexpr int D3D9SHADER_CHANNEL_MIX_COUNT = 512;   // (((red x 4 + green) x 4 + blue) x 4 + alpha) x 2 + premultiplied
constexpr int D3D9SHADER_NAME_BYTES = 64;

// Float registers the built-in shaders read, for the code that feeds them.
constexpr int D3D9VertexRegister_Projection = 2;          // c2-c5
constexpr int D3D9PixelRegister_TextureFactor = 5;        // (blue, green, red, alpha) / 255
constexpr int D3D9PixelRegister_BlendTransition = 6;      // (0, 0, scale, offset)
constexpr int D3D9PixelRegister_AlphaCheck = 7;           // (reference, 0, 0, 0)
// The shadow-map slot parameters of the lit 3D shaders (16 floats): c26-c29, clear of the light
// registers c9-c20 and of the colour add (c22) and restore value (c25).
constexpr int D3D9PixelRegister_ShadowMapSlots = 26;

extern const char* const D3D9ShaderName_Base2DVertex;   // "Base2DVertexShader.vso"
extern const char* const D3D9ShaderName_MaskBlend;      // "ps_mask_blend.pso"

// The shader-code state: the three packs (text and expanded block), the two open archives and the
// blobs of pack 2.
struct D3D9ShaderCodeRecord {
    int32_t Initialized;
    D3D11ShaderPack Base;               // pack 1: archive image
    D3D11ShaderPack ChannelMix;         // pack 2: 512 sizes, then the codes
    D3D11ShaderPack Filter;             // pack 3: archive image
    ArchiveContext BaseArchive;
    ArchiveContext FilterArchive;
    int32_t BaseArchiveOpen;
    int32_t FilterArchiveOpen;
    D3D9ShaderCode ChannelMixCodes[D3D9SHADER_CHANNEL_MIX_COUNT];
};
extern D3D9ShaderCodeRecord D3D9ShaderCodeState;

// Expands the three packs and opens the two archives: 1 when done (also when done before), 0 after
// freeing whatever was made (damaged text, an allocation or open failure; logged).
int Graphics_D3D9_ShaderCode_Base_Initialize();
// Closes both archives and frees the three images: 1.
int Graphics_D3D9_ShaderCode_Base_Terminate();

// Byte code by file name from pack 1 or pack 3, by number from pack 2; {nullptr, 0} when the packs
// are not expanded, the shader is absent, or its bytes are not a whole shader-model 2/3 program.
D3D9ShaderCode Graphics_D3D9_ShaderCode_GetBase(const char* name);
D3D9ShaderCode Graphics_D3D9_ShaderCode_GetFilter(const char* name);
D3D9ShaderCode Graphics_D3D9_ShaderCode_GetChannelMix(int index);

// Names of the families of pack 1 ("ps_nonetex_type3_ach0.pso", "ps_blend0_type2_igcolor1_igtalpha0_ach0.pso",
// "ps_mask_blend_use_grhandle_chr_reverse.pso"); an index outside its family gives an empty name.
void Graphics_D3D9_ShaderCode_UntexturedName(int index, char (&name)[D3D9SHADER_NAME_BYTES]);
void Graphics_D3D9_ShaderCode_TexturedName(int index, char (&name)[D3D9SHADER_NAME_BYTES]);
void Graphics_D3D9_ShaderCode_MaskGraphName(int index, char (&name)[D3D9SHADER_NAME_BYTES]);
// Family members by index (the family's index rule above).
D3D9ShaderCode Graphics_D3D9_ShaderCode_GetUntextured(int index);
D3D9ShaderCode Graphics_D3D9_ShaderCode_GetTextured(int index);
D3D9ShaderCode Graphics_D3D9_ShaderCode_GetMaskGraph(int index);

// True when `code` is a whole shader-model 2/3 program: a vertex or pixel shader version token of
// model 2 or 3, whole words, the end token last.
int Graphics_D3D9_ShaderCode_IsProgram(const uint8_t* code, uint64_t size);

// The twelve vertex declarations, each ending with D3DDECL_END: 0-9 for the vertex format codes of
// D3D9VertexFormatTable, 10 and 11 for the user-primitive 3D draws.
constexpr int D3D9VertexDeclarationCount = 12;
extern const D3DVERTEXELEMENT9* const D3D9VertexDeclarationElements[D3D9VertexDeclarationCount];

}  // namespace Vantrel
