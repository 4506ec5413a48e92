// Direct3D 9 present and sub back buffer: the off-screen buffer of the main screen's size that drawing
// goes to, the flip that moves it into the back buffer and presents it to the window (scaled, centred in
// a maximised window with the uncovered borders painted), the drawn transfer of the full-screen modes,
// pacing by the vertical-blank wait, and the front screen's present timer.
// Stands on the call layer, the device set-up, the vertical-blank wait, the state cache, the vertex batch,
// the graphics core's screen state and the window module.
#pragma once

#include <stdint.h>

#include "graphics_d3d9/VtGraphicsD3D9Call.h"

namespace Vantrel {

constexpr int D3D9BorderRepaintPresents = 3;   // presents that paint the borders after a change

struct D3D9PresentStateRecord {
    IDirect3DSurface9* SubBackBuffer;   // non-null: the sub back buffer exists
    IDirect3DTexture9* SubTexture;      // the texture it is level 0 of, when it was made from one
    int32_t SubWidth, SubHeight;
    D3DFORMAT SubFormat;
    int32_t BorderRepaintCount;         // presents that still paint the borders
    int32_t BorderChanged;              // the window's client area changed since the last present
    RECT LastClientRect;                // the window's client rectangle (desktop) and maximised flag seen
    int32_t LastMaximised;
    RECT LastDestination;               // where the last windowed present put the picture
    uint32_t Presents;                  // successful presents
    uint32_t BorderPaints;              // presents that painted borders
    // The blend and texture-stage set-up of the drawn transfer: stage 0 the texture with colour and alpha
    // as they are, stage 1 off, no alpha test and no blending; 0 or -1. Null uses plain device calls.
    int (*TransferStageSetup)(IDirect3DTexture9* texture);
};
extern D3D9PresentStateRecord D3D9PresentState;

// Creates the sub back buffer when it does not exist and makes it render target 0; 0 or -1.
int Graphics_D3D9_SubBackBuffer_Create();
// Releases it (the back buffer is render target 0 again); 0.
int Graphics_D3D9_SubBackBuffer_Release();
// The core's set-up: made at once in exclusive full screen; 0, -1 without a device.
int Graphics_D3D9_SubBackBuffer_Setup(int flag);
// The sub back buffer's `source` rectangle drawn into the back buffer at the full-screen output
// rectangle; 0 or -1.
int Graphics_D3D9_SubBackBuffer_DrawTransfer(const RECT* source);
int Graphics_D3D9_Screen_Flip();
int Graphics_D3D9_Screen_Present();
// With a non-zero flag, arms the main window's 32 ms front-screen present timer; 0.
int Graphics_D3D9_FrontScreen_ArmFlipTimer(int flag);
// Where the windowed present puts the picture in the output window's client area.
RECT Graphics_D3D9_Screen_GetDestinationRect();

}  // namespace Vantrel
