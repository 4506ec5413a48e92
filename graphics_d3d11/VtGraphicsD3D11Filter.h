// Direct3D 11 graph filters: the device half of the core's filter run (pass planning, each pass's
// source and output with power-of-two work textures kept across runs, the final copy), the filter
// shaders made from the filter archive on first use, the draw pass every body ends in, and the body
// of each filter kind (its shader, its constants in the filter constant buffer, its pass).
// Stands on the call layer, the constant buffers, the built-in shader code, the simple-transfer blit,
// the graph textures and the core's filter run, graph and shader handles.
#pragma once

#include <stdint.h>

#include "graphics/VtGraphicsDispatchTable.h"
#include "graphics_d3d11/VtGraphicsD3D11Call.h"

namespace Vantrel {

struct D3D11BlitCorner;

constexpr int D3D11FilterPixelTypes = 51;
constexpr int D3D11FilterSizeSteps = 18;

// A pixel shader of the filter archive by file name (1: pixel), as a shader handle; -1 when the
// archive is not open, has no such file, or the creation fails.
int Graphics_D3D11_GraphFilter_CreateShader(const char* name, int shaderType);
// The slot of the core's filter shader cache that holds a file of the filter archive, -1 for a name
// outside it; the slot of a pre-built channel-mix shader by its index.
int Graphics_D3D11_GraphFilter_ShaderSlot(const char* name);
int Graphics_D3D11_GraphFilter_ChannelMixSlot(int index);
// The work texture of (pixel type, power-of-two size class, index 0 or 1), made on first use; -1.
int Graphics_D3D11_GraphFilter_GetWorkTexture(int pixelType, int width, int height, int index);
// The run's framework (pass planning, each pass's source and output, restore, the final copy) and the
// body of each filter kind (its shader, its constants in the filter constant buffer, one pass): 0, -1
// without device or shader.
#define VT_GRAPHICS_D3D11_FILTER_DECLARE(name, params, args) int Graphics_D3D11_##name params;
VT_GRAPHICS_DISPATCH_GRAPHFILTER(VT_GRAPHICS_D3D11_FILTER_DECLARE)
#undef VT_GRAPHICS_D3D11_FILTER_DECLARE
int Graphics_D3D11_GraphFilter_FloatColorScale(GraphFilterContext* run, const float* values);
int Graphics_D3D11_GraphFilter_Ssao(GraphFilterContext* run, int depthGraph, float p1, float p2, float p3, float p4,
                                    int colour, float mix, int mixGraph);
// One full-rectangle pass of the run's pass source into its pass output through the pixel shader;
// 0, or -1 when an image or the shader is invalid.
int Graphics_D3D11_GraphFilter_DrawPass(int pixelShader, GraphFilterContext* run, int linear, int divisor, int second,
                                        int secondDepth, const D3D11BlitCorner* corners, int third, int extra);
// Empties the shader and work-texture caches (device start); deletes what they hold (device end).
int Graphics_D3D11_GraphFilter_Install();
int Graphics_D3D11_GraphFilter_Uninstall();

}  // namespace Vantrel
