// Direct3D 9 graph textures and image transfer: the device objects of each texture part of a graph's full
// image (texture or cube texture, level-0 surfaces, multisample and depth surfaces), their creation and
// release, the transfer of base images into them with or without mip levels, for plain and
// block-compressed formats, with the edge column and row repeated where the image ends inside the texture,
// the conversion check and the colour descriptions of the Direct3D formats the back-end uses.
// Stands on the call layer, the vertex batch, the device set-up's format tables, the system-memory pools,
// the graph records and the image module's conversions.
#pragma once

#include <stdint.h>

#include "graphics_d3d9/VtGraphicsD3D9Call.h"

namespace Vantrel {

struct BaseImage;
struct ColorFormatDesc;
struct D3D9GraphSurfaces;
struct GraphHandleRecord;
struct GraphOrigRecord;
struct GraphTexturePart;

// The Direct3D 9 objects of one texture part, kept in the nine slots of the part's platform area; all null
// when absent.
struct D3D9GraphTexture {
    IDirect3DBaseTexture9* Texture;          // IDirect3DTexture9, or IDirect3DCubeTexture9 for a cube map
    IDirect3DSurface9* Surfaces[6];          // level 0 (of each cube face, D3DCUBEMAP_FACES order)
    IDirect3DSurface9* MultiSampleSurface;   // drawable graphs with multisampling: drawing goes here
    IDirect3DSurface9* DepthSurface;         // drawable graphs with a depth surface of their own
};
static_assert(sizeof(D3D9GraphTexture) == 9 * sizeof(void*), "nine pointers, in the platform-area slot order");

// The part's record over its platform area (null for a part without one).
D3D9GraphTexture* Graphics_D3D9_GraphTexture_Of(GraphTexturePart* part);
// The D3DFORMAT of the record's textures: the explicit format when one is set, else the format table's
// entry for its colour-format index; D3DFMT_UNKNOWN when the device offers none.
D3DFORMAT Graphics_D3D9_Texture_FormatOf(const GraphOrigRecord* orig);
// The device surfaces of part `part`, face `face` of a graph, for drawing into it and reading it back;
// 0, -1 when the graph has no device texture there.
int Graphics_D3D9_GraphTexture_GetSurfaces(GraphHandleRecord* graph, int part, int face, D3D9GraphSurfaces* out);

// Creates what is missing of every part's objects; 0, -1 without a device or on a failure (what was made
// stays, and a later call makes only the rest).
int Graphics_D3D9_OrigTexture_Create(GraphOrigRecord* orig, void* async);
// Releases every object of every part; 0.
int Graphics_D3D9_Texture_Release(GraphOrigRecord* orig);
// Transfers the source rectangle of a base image (with an alpha image or null) to (destX, destY) of a graph,
// through its divisions or, with wholeOrig, its full image's parts; 0 / -1.
int Graphics_D3D9_BltBmpOrBaseImageToGraph3(const RECT* sourceRect, int destX, int destY, int graph,
                                            const BaseImage* colorImage, const BaseImage* alphaImage, int convertOption,
                                            int transparentToAlpha, int wholeOrig, void* async);
// Out flags 1 where the colour (or alpha, code negative for none) image must be made plain before the transfer.
int Graphics_D3D9_Texture_CheckConvertNeeded(GraphOrigRecord* orig, int colorFormat, int* colorConvert, int alphaFormat,
                                             int* alphaConvert);
// The colour description of a Direct3D format the back-end uses, null for any other.
const ColorFormatDesc* Graphics_D3D9_GetColorDataOfFormat(D3DFORMAT format);

// One texture part without and with mip levels. `staging` writes through pooled system-memory surfaces
// (textures in the default pool cannot be locked); otherwise `target` is locked directly. 0 / -1.
int Graphics_D3D9_BltBmpOrBaseImageToGraph3_NoMipMapBlt(GraphOrigRecord* orig, const RECT* sourceRect,
                                                        const RECT* destRect, int staging,
                                                        IDirect3DBaseTexture9* target, int textureWidth,
                                                        int textureHeight, int imageWidth, int imageHeight,
                                                        const BaseImage* colorImage, const BaseImage* alphaImage,
                                                        const ColorFormatDesc* textureDesc, int convertOption,
                                                        int transparentToAlpha, void* async);
int Graphics_D3D9_BltBmpOrBaseImageToGraph3_MipMapBlt(GraphOrigRecord* orig, const RECT* sourceRect,
                                                      const RECT* destRect, int staging, IDirect3DBaseTexture9* target,
                                                      int textureWidth, int textureHeight, const BaseImage* colorImage,
                                                      const BaseImage* alphaImage, const ColorFormatDesc* textureDesc,
                                                      int convertOption, int transparentToAlpha, void* async);

}  // namespace Vantrel
