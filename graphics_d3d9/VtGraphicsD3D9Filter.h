// Direct3D 9 graph filters: the device half of the core's filter run (pass planning, each pass's source
// and output with power-of-two work textures kept across runs, the final copy, the restore of the
// render targets), the filter pixel shaders made from the filter archive on first use, the draw pass
// every body ends in, and the body of each filter kind that has its shader in the archive (its shader,
// its constants in layer 1 of the shader-constant manager, one pass).
// Stands on the call layer, the state cache, the shader-constant manager, the filter-shader pack, the
// graph textures, the sub back buffer and the core's filter run and graph handles.
#pragma once

#include <stdint.h>

#include "graphics/VtGraphicsDispatchTable.h"
#include "graphics_d3d9/VtGraphicsD3D9Call.h"

namespace Vantrel {

// The render targets a run found bound, given back by the restore.
struct D3D9FilterSavedDrawParams {
    IDirect3DSurface9* RenderTargets[8];
    int32_t Saved;
};
extern D3D9FilterSavedDrawParams D3D9FilterSavedParams;

// A pixel shader of the filter archive by file name, made on first use and kept until the device goes;
// null (with the log line) when the archive has no such file or the device refuses it.
IDirect3DPixelShader9* Graphics_D3D9_GraphFilter_CreateShader(const char* name);
// The drawable work graph of the power-of-two size class of width x height in slot 0 or 1, made on
// first use and kept until it is deleted; -1 (with its size in the log) when it cannot be made.
int Graphics_D3D9_GraphFilter_GetWorkTexture(int floatFlag, int bitsPerChannel, int width, int height, int slot);
// One full-rectangle pass of the run's pass source into its pass output (the pass's size divided by
// `divisor`) through the pixel shader bound by the body, bilinear when `linear`; 0, or -1 when an image
// is invalid.
int Graphics_D3D9_GraphFilter_DrawPass(GraphFilterContext* run, int divisor, int linear);
// The filter shaders released and both caches emptied (device end).
int Graphics_D3D9_GraphFilter_ReleaseShaders();

}  // namespace Vantrel
