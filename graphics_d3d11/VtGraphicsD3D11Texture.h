// Direct3D 11 graph textures and image transfer: the device objects of each texture part of a graph's
// full image (texture, multisample texture, views, depth texture and its views), their creation and
// release, and the transfer of base images into them, with or without mip-maps, for plain and
// block-compressed formats, with the edge column and row repeated where the image ends inside the
// texture. Also the shared scratch block the main thread converts into.
// Stands on the call layer, the state cache, the vertex batch, the format table of the device set-up,
// the graph records and the image module's conversions.
#pragma once

#include <stdint.h>

#include "graphics_d3d11/VtGraphicsD3D11Call.h"

namespace Vantrel {

struct BaseImage;
struct GraphOrigRecord;
struct GraphTexturePart;

// The Direct3D 11 objects of one texture part, kept in the first seven slots of the part's platform
// area (GraphTexturePart::platformArea); all null when absent.
struct D3D11OrigTexture {
    ID3D11Texture2D* MultiSampleTexture;          // multisampled render targets only
    ID3D11Texture2D* Texture;                     // the one sampled; for an external texture the caller's
    ID3D11ShaderResourceView* TextureView;
    ID3D11RenderTargetView** RenderTargetViews;   // render targets: [face * mip count + level]
    ID3D11Texture2D* DepthTexture;
    ID3D11DepthStencilView** DepthViews;          // one per mip level
    ID3D11ShaderResourceView* DepthTextureView;
};
static_assert(sizeof(D3D11OrigTexture) == 7 * sizeof(void*), "seven pointers, in the platform-area slot order");

// The part's record over its platform area (null for a part without one).
D3D11OrigTexture* Graphics_D3D11_OrigTexture_Of(GraphTexturePart* part);
// The render-target view of (face, mip) of a part, or null.
ID3D11RenderTargetView* Graphics_D3D11_OrigTexture_RenderTargetView(const GraphOrigRecord* orig, int partIndex, int face,
                                                                     int mip);

// Creates every missing object of every part; 0, -1 without device or on a failure (what was made stays
// for Graphics_D3D11_Texture_Release).
int Graphics_D3D11_OrigTexture_Create(GraphOrigRecord* orig, void* async);
// Releases everything of every part of a hardware full image; 0.
int Graphics_D3D11_Texture_Release(GraphOrigRecord* orig);
// Transfers the source rectangle of a base image (with an alpha image or null) to (destX, destY) of a graph,
// through its divisions or, with wholeOrig, its full image's parts; 0 / -1.
int Graphics_D3D11_BltBmpOrBaseImageToGraph3(const RECT* sourceRect, int destX, int destY, int graph,
                                             const BaseImage* colorImage, const BaseImage* alphaImage,
                                             int convertOption, int transparentToAlpha, int wholeOrig, void* async);
// One texture part, without mip-maps and with them; 0 / -1.
int Graphics_D3D11_BltBmpOrBaseImageToGraph3_NoMipMapBlt(GraphOrigRecord* orig, GraphTexturePart* part,
                                                         const RECT* sourceRect, const RECT* destRect,
                                                         const BaseImage* colorImage, const BaseImage* alphaImage,
                                                         int convertOption, int transparentToAlpha, int otherThread);
int Graphics_D3D11_BltBmpOrBaseImageToGraph3_MipMapBlt(GraphOrigRecord* orig, GraphTexturePart* part,
                                                       const RECT* sourceRect, const RECT* destRect,
                                                       const BaseImage* colorImage, const BaseImage* alphaImage,
                                                       int convertOption, int transparentToAlpha, int otherThread);
// Grows the shared scratch block to at least `bytes`; 0 / -1. Freed by Graphics_D3D11_Texture_FreeCommonBuffer.
int Graphics_D3D11_Texture_SetupCommonBuffer(uint32_t bytes);
int Graphics_D3D11_Texture_FreeCommonBuffer();
// The shared block (free between transfers; other main-thread fills may borrow it after growing it).
void* Graphics_D3D11_Texture_CommonBuffer();
// Out flags 1 where the colour (or alpha, code negative for none) image must be made plain before the transfer.
int Graphics_D3D11_Texture_CheckConvertNeeded(GraphOrigRecord* orig, int colorFormat, int* colorConvert,
                                              int alphaFormat, int* alphaConvert);
// Forgets the texture bound for normal drawing (a texture being released must not stay bound).
int Graphics_D3D11_DrawTexture_Clear();
// Sets every pixel-shader resource slot of the state cache that holds the view to null (flushing once
// first), clears the draw texture when any did, then releases the view; 0.
int Graphics_D3D11_ShaderResourceView_UnbindAndRelease(ID3D11ShaderResourceView* view);

}  // namespace Vantrel
