// Direct3D 9 built-in shader objects: made from the packs at every system start where the device runs
// vertex and pixel shaders of model 2.0 or 3.0 (the 2D vertex shader, the untextured and textured pixel
// shaders of normal drawing, the mask shaders), released at every system end. While they exist the
// graphics core's programmable-shader switch is 1; without them normal drawing uses the fixed-function
// texture-stage templates.
// Stands on the call layer, the shader packs, the shader-constant manager, the device's capability flags
// and the log.
#pragma once

#include <stdint.h>

#include "graphics_d3d9/VtGraphicsD3D9Call.h"
#include "graphics_d3d9/VtGraphicsD3D9ShaderPack.h"

namespace Vantrel {

struct D3D9ShaderObjectsRecord {
    IDirect3DVertexShader9* Base2DVertex;
    IDirect3DPixelShader9* Untextured[D3D9SHADER_UNTEXTURED_COUNT];   // type x 2 + alpha check
    IDirect3DPixelShader9* Textured[D3D9SHADER_TEXTURED_COUNT];       // index rule of the pack's family
    IDirect3DPixelShader9* MaskBlend;
    IDirect3DPixelShader9* MaskGraph[D3D9SHADER_MASK_GRAPH_COUNT];
};
extern D3D9ShaderObjectsRecord D3D9ShaderObjects;

// Settings without a public setter: FixedFunctionOnly keeps the built-in shaders from being made, so
// that the back-end draws through the fixed-function stages as on a device without shaders.
struct D3D9ShaderSettingsRecord {
    int32_t FixedFunctionOnly;
};
extern D3D9ShaderSettingsRecord D3D9ShaderSettings;

// The vertex declarations of D3D9VertexDeclarationElements, made with the built-in shaders; null while
// the back-end draws through the fixed-function stages.
extern IDirect3DVertexDeclaration9* D3D9VertexDeclarations[D3D9VertexDeclarationCount];

// Makes the shader objects (releasing earlier ones), and the vertex declarations when they were made, and
// sets the programmable-shader switch: 1.
int Graphics_D3D9_Shader_Initialize();
// Releases any declarations, then makes the twelve; 0, -1 when one cannot be made (none is kept then).
int Graphics_D3D9_VertexDeclaration_CreateAll();
// Takes the declaration and shaders off the device and releases the twelve; 0.
int Graphics_D3D9_VertexDeclaration_ReleaseAll();
// Releases every shader object; the switch goes to 0.
int Graphics_D3D9_Shader_ReleaseAll();

}  // namespace Vantrel
