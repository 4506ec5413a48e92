// Direct3D 9 draw targets, clearing and read-back: binding the draw screen (a drawable graph, the sub
// back buffer or the back buffer) with its depth buffer, the default depth buffer, clearing, filling and
// copying into graphs, locking the draw target for the CPU and reading one pixel.
// Stands on the call layer, the state cache, the present module's sub back buffer, the system-memory
// surface pool, the graphics core's target slots and the base-image formats.
#pragma once

#include <stdint.h>

#include "graphics_d3d9/VtGraphicsD3D9Call.h"

namespace Vantrel {

struct GraphHandleRecord;
struct ColorFormatDesc;

// The device surfaces of one texture part of a graph, as the graph-texture module keeps them.
struct D3D9GraphSurfaces {
    IDirect3DSurface9* Surface;       // the level-0 surface of the face asked for (not referenced)
    IDirect3DSurface9* MultiSample;   // the multisample render target drawn into instead, or null
    IDirect3DSurface9* Depth;         // the graph's own depth surface, or null
    D3DFORMAT Format;
    int32_t Width, Height;            // of the texture part
    int32_t RenderTarget;             // the graph was made drawable
};

struct D3D9DrawTargetStateRecord {
    IDirect3DSurface9* DepthBuffer;   // the default depth buffer
    int32_t DepthWidth, DepthHeight;  // powers of two
    int32_t DepthBits;                // 16
    // The read-back of the lock in progress: a pooled system-memory surface and its index, or the
    // surface locked directly.
    IDirect3DSurface9* LockedPooled;
    int32_t LockedPoolIndex;          // -1 when none
    IDirect3DSurface9* LockedDirect;
};
extern D3D9DrawTargetStateRecord D3D9DrawTargetState;

// The sub back buffer when it exists, else the back buffer.
IDirect3DSurface9* Graphics_D3D9_DrawScreen_ScreenSurface();
// The base-image format of a Direct3D format the screen or a read-back uses; null when it has none.
const ColorFormatDesc* Graphics_D3D9_DrawScreen_FormatDesc(D3DFORMAT format);
int Graphics_D3D9_ZBuffer_Create();
int Graphics_D3D9_ZBuffer_Release();

}  // namespace Vantrel
