// Direct3D 9 mask screen: the device objects behind the core's mask screen (the mask image texture whose
// texels' alpha holds the mask bytes, the mask draw texture and surface that draws land on while the mask
// is in use) and the real target noted at the start of each masked draw. The bodies are the switch
// layer's Mask_ operations. Stands on the call layer, the state cache, the stage set-up and the core's
// mask state.
#pragma once

#include <stdint.h>

#include "graphics_d3d9/VtGraphicsD3D9Call.h"

namespace Vantrel {

struct D3D9MaskStateRecord {
    IDirect3DTexture9* ImageTexture;        // the mask bytes in the alpha bits (mask alpha-buffer format)
    IDirect3DTexture9* DrawTexture;         // where masked drawing lands (back-buffer format)
    IDirect3DSurface9* DrawSurface;         // its level 0
    int32_t Width, Height;                  // powers of two, not below the size asked for
    IDirect3DTexture9* SavedImageTexture;   // the old objects during a re-creation
    IDirect3DTexture9* SavedDrawTexture;
    IDirect3DSurface9* SavedDrawSurface;
    int32_t SavedWidth, SavedHeight;
    IDirect3DSurface9* RealTarget;          // the real target noted at draw begin (not referenced)
};
extern D3D9MaskStateRecord D3D9MaskState;

// The mask bytes of `rect` (clipped to the draw area and the mask) written into the image texture's
// alpha bits, scaled to their width so that 0 stays 0 and any other byte stays non-zero; 0, -1 when the
// lock fails.
int Graphics_D3D9_Mask_UpdateImageTexture(const RECT* rect);

// One mask byte as the alpha bits of a texel of `alphaWidth` bits: 0 for 0, never 0 for anything else,
// the full value for 255.
uint32_t Graphics_D3D9_Mask_ScaleToAlpha(uint8_t value, int alphaWidth);

}  // namespace Vantrel
