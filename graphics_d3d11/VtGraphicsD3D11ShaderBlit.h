// Direct3D 11 simple-transfer blit: copies a rectangle of one texture into a rectangle of a render
// target by drawing one quad with the simple-transfer shaders and state objects (or a caller's
// shaders, with up to two further textures and explicit corners carrying eight coordinate pairs),
// then restores every binding it touched from the state cache. Also the generic dynamic vertex
// buffer it draws from.
// Stands on the call layer, the vertex batch, the state cache and the built-in shader objects.
#pragma once

#include <stdint.h>

#include "graphics_d3d11/VtGraphicsD3D11Call.h"

namespace Vantrel {

// One corner of an explicit quad: position in destination pixels, three floats the blit ignores,
// eight texture-coordinate pairs.
struct D3D11BlitCorner {
    float X, Y;
    float Unused[3];
    float Coords[16];
};

struct D3D11GenericVertexBufferRecord {
    ID3D11Buffer* Buffer;          // dynamic, CPU-writable vertex buffer
    uint32_t Size;
};
extern D3D11GenericVertexBufferRecord D3D11GenericVertexBuffer;

// Grows the generic vertex buffer to at least `bytes`; 0 / -1.
int Graphics_D3D11_GenericVertexBuffer_Setup(uint32_t bytes);
int Graphics_D3D11_GenericVertexBuffer_Release();

// Corners in the order top-left, top-right, bottom-left, bottom-right (or null).
int Graphics_D3D11_ShaderBlit(ID3D11Texture2D* source, ID3D11ShaderResourceView* sourceView, const RECT* sourceRect,
                              ID3D11Texture2D* destination, ID3D11RenderTargetView* destinationView,
                              const RECT* destinationRect, int linear, int blend, ID3D11PixelShader* pixelShader,
                              ID3D11VertexShader* vertexShader, ID3D11Texture2D* second,
                              ID3D11ShaderResourceView* secondView, const RECT* secondRect,
                              const D3D11BlitCorner* corners, ID3D11Texture2D* third,
                              ID3D11ShaderResourceView* thirdView, int thirdWrap);

}  // namespace Vantrel
