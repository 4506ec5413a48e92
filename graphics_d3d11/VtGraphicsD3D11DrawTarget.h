// Direct3D 11 draw targets, clearing and read-back: where drawing lands (a graph's texture, the sub back
// buffer or the main back buffer, with the matching depth buffer), extra render targets of user shaders,
// clearing the whole target or a rectangle of it, filling a graph, copying a rectangle of the draw target
// into a graph, locking the draw target for the CPU through a staging texture, and reading one pixel.
// Stands on the call layer, the state cache, the vertex batch, the target windows, the graph textures, the
// simple-transfer blit and the graphics core's screen state.
#pragma once

#include <stdint.h>

#include "graphics_d3d11/VtGraphicsD3D11Call.h"

namespace Vantrel {

struct BaseImage;
struct GraphHandleRecord;
struct ShadowMapRecord;

struct D3D11DrawTargetStateRecord {
    ID3D11Texture2D* ReadBack;          // the staging texture held from a lock until its unlock
};
extern D3D11DrawTargetStateRecord D3D11DrawTargetState;

int Graphics_D3D11_DrawScreen_SetTargets(int target, int previousSurface, int previousMip, GraphHandleRecord* graph,
                                         GraphHandleRecord* previousGraph, ShadowMapRecord* shadowMap,
                                         ShadowMapRecord* previousShadowMap, ID3D11RenderTargetView* view,
                                         ID3D11DepthStencilView* depthView);
int Graphics_D3D11_DepthBuffer_Bind(ID3D11DepthStencilView* view);
// Reads the rectangle (or the whole level) of one subresource into a staging texture held until the
// unlock and describes it in `out`; 0 / -1.
int Graphics_D3D11_Texture_CreateReadBack(ID3D11Texture2D* texture, const RECT* rect, int mip, int face, BaseImage* out);
// The pixel as 0xFFRRGGBB; *status 0 when it was read, -1 when the read-back failed (a white pixel and
// a failure both give -1 as the colour).
int Graphics_D3D11_DrawScreen_GetPixelWithStatus(int x, int y, int* status);

}  // namespace Vantrel
