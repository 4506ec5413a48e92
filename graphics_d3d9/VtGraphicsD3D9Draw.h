// Direct3D 9 draw preparation: before it writes vertices, every draw brings the cached device state and
// the normal-draw state in line with the core's draw settings (shaders, lighting, depth, fill, fog, blend
// and stage set-up, shading, filters, culling, address modes); the shape colour of the draw bodies; the
// scene end used before operations that must run outside a scene.
// Stands on the call layer, the state cache, the normal-draw state, the stage set-up, the lighting cache,
// the vertex batch and the core's draw settings.
#pragma once

#include <stdint.h>

#include "graphics_d3d9/VtGraphicsD3D9Call.h"

namespace Vantrel {

// DrawPrepFlags: the flag word every draw body hands to the draw preparation.
enum : uint32_t {
    D3D9DRAWPREP_TRANS = 0x1,
    D3D9DRAWPREP_PIXEL_EXACT = 0x2,
    D3D9DRAWPREP_GOURAUD = 0x8,
    D3D9DRAWPREP_USER_VERTICES = 0x10,
    D3D9DRAWPREP_SHAPE_2D = 0x20,        // use the diffuse colour: what untextured shapes pass
    D3D9DRAWPREP_FORCE_BLEND = 0x40,
    D3D9DRAWPREP_FOG = 0x80,
    D3D9DRAWPREP_KEEP_BLEND = 0x100,
    D3D9DRAWPREP_LIGHTING = 0x200,
    D3D9DRAWPREP_SPECULAR = 0x400,
    D3D9DRAWPREP_DEPTH_3D = 0x800,
    D3D9DRAWPREP_ADDRESS_MODES = 0x1000,
    D3D9DRAWPREP_KEEP_SHADERS = 0x2000,
    D3D9DRAWPREP_CULLING = 0x4000,
    D3D9DRAWPREP_TEXTURED = 0x8000,
    D3D9DRAWPREP_ALPHA_CHANNEL = 0x10000,
    D3D9DRAWPREP_CUT_OUT = 0x20000,
};

// True when a draw with this flag word must run the preparation: the core's or the back-end's
// state-changed flag is set, or the word differs from the last prepared one.
int Graphics_D3D9_DrawStateNeedsPrepare(uint32_t flags);
void Graphics_D3D9_PrepareDrawState(uint32_t flags);
// Runs the preparation when the draw needs it.
void Graphics_D3D9_PrepareDrawStateIfNeeded(uint32_t flags);

// Ends an open scene: EndScene's result; without a scene 1, without the Direct3D 9 object 0.
int Graphics_D3D9_EndSceneIfOpen();

// The colour of a shape vertex: the colour code's red, green and blue scaling the batch's diffuse colour
// (0xAARRGGBB), its alpha kept.
D3DCOLOR Graphics_D3D9_ShapeColor(unsigned int color);

}  // namespace Vantrel
