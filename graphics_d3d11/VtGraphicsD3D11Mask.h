// Direct3D 11 mask screen: the device objects behind the core's mask screen (the mask image texture
// holding the mask bytes, the mask screen texture draws land on while the mask is in use) and the real
// target noted at the start of each masked draw. The bodies are the switch layer's Mask_ operations.
// Stands on the call layer, the state cache, the simple-transfer blit and the core's mask state.
#pragma once

#include <stdint.h>

#include "graphics_d3d11/VtGraphicsD3D11Call.h"

namespace Vantrel {

struct D3D11MaskStateRecord {
    ID3D11Texture2D* ImageTexture;                 // the mask bytes (mask alpha-buffer format)
    ID3D11ShaderResourceView* ImageView;
    ID3D11Texture2D* ScreenTexture;                // where masked drawing lands (mask screen format)
    ID3D11ShaderResourceView* ScreenView;
    ID3D11RenderTargetView* ScreenRenderTargetView;
    ID3D11Texture2D* SavedTexture;                 // the old mask screen during a re-creation
    ID3D11ShaderResourceView* SavedView;
    ID3D11RenderTargetView* SavedRenderTargetView;
    ID3D11Texture2D* RealTexture;                  // the real target noted at draw begin
    ID3D11ShaderResourceView* RealView;
    ID3D11RenderTargetView* RealRenderTargetView;
    int32_t Width, Height;                         // the size last asked for
};
extern D3D11MaskStateRecord D3D11MaskState;

}  // namespace Vantrel
