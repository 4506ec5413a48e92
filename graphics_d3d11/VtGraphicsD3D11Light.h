// Direct3D 11 lights and shadow maps: the light body that hands a core light to the state cache, the
// shadow-map constants (light matrices in buffer 2, slot values in buffer 5), the shadow maps' device
// objects kept in the record's platform area, and their views bound in pixel slots 8-10.
// Stands on the call layer, the state cache, the constant buffers, the core's lights and shadow maps.
#pragma once

#include <stdint.h>

#include "graphics_d3d11/VtGraphicsD3D11Call.h"

namespace Vantrel {

struct ShadowMapRecord;

// The Direct3D 11 objects of a shadow map, in the record's platform area; the textures follow the
// record's size, bit depth and float flag.
struct D3D11ShadowMapPlatform {
    ID3D11Texture2D* Texture;                   // colour (the depth the shadow pass writes)
    ID3D11ShaderResourceView* ShaderView;
    ID3D11RenderTargetView* TargetView;
    ID3D11Texture2D* DepthTexture;
    ID3D11DepthStencilView* DepthView;
    // 16-bit fields: with 32-bit pointers the whole record must fit the platform area's 32 bytes.
    int16_t ColorFormatIndex;                   // D3D11TextureFormatTable row in use
    int16_t DepthFormatIndex;                   // depth code 0 (16-bit) or 2 (32-bit)
};

// The platform part of a shadow-map record (its platform area), null for null.
D3D11ShadowMapPlatform* Graphics_D3D11_ShadowMap_Platform(ShadowMapRecord* record);
// The platform part of the live shadow map a handle names, null for anything else.
D3D11ShadowMapPlatform* Graphics_D3D11_ShadowMap_PlatformOf(int handle);

// The views of the shadow maps in the core's slots into pixel slots 8-10 (clamped, linear samplers);
// nothing while a shadow map is drawn. Returns the highest pixel slot filled, -1 for none.
int Graphics_D3D11_ShadowMap_BindSlots();

}  // namespace Vantrel
