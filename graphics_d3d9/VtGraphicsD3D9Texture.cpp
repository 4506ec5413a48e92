// Direct3D 9 graph textures and image transfer: creation and release of each texture part's objects, the
// transfer of base images into them (converted straight into locked memory, through pooled system-memory
// objects where the texture cannot be locked, the edge repeated where the image ends inside the texture,
// mip levels halved from level 0 or taken ready-made from the image), block-compressed images copied
// whole, the conversion check and the colour descriptions of the Direct3D formats.
// Stands on the call layer, the vertex batch, the device set-up's format tables, the system-memory pools,
// the graph records and the image module's conversions.
#include "graphics_d3d9/VtGraphicsD3D9Texture.h"

#include <string.h>

#include <algorithm>

#include "foundation/VtASyncLoad.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "foundation/VtThread.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics_d3d9/VtGraphicsD3D9Batch.h"
#include "graphics_d3d9/VtGraphicsD3D9Device.h"
#include "graphics_d3d9/VtGraphicsD3D9DrawTarget.h"
#include "graphics_d3d9/VtGraphicsD3D9Operation.h"
#include "graphics_d3d9/VtGraphicsD3D9SysMemPool.h"
#include "image/VtBaseImage.h"
#include "system/VtSystem.h"

namespace Vantrel {

namespace {

const char* const DxtRefusedText = "DXTフォーマットのテクスチャに標準形式のイメージを転送することはできません\n";

// Explicit-format index -> D3DFORMAT.
const D3DFORMAT ExplicitFormats[] = {
    D3DFMT_UNKNOWN,  D3DFMT_R8G8B8,       D3DFMT_A8R8G8B8,    D3DFMT_X8R8G8B8, D3DFMT_R5G6B5,       D3DFMT_X1R5G5B5,
    D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4,     D3DFMT_R3G3B2,      D3DFMT_A8R3G3B2, D3DFMT_X4R4G4B4,     D3DFMT_A2B10G10R10,
    D3DFMT_G16R16,   D3DFMT_A8B8G8R8,     D3DFMT_X8B8G8R8,    D3DFMT_A2R10G10B10, D3DFMT_A16B16G16R16, D3DFMT_R16F,
    D3DFMT_G16R16F,  D3DFMT_A16B16G16R16F, D3DFMT_R32F,       D3DFMT_G32R32F,  D3DFMT_A32B32G32R32F,
};
constexpr int ExplicitFormatCount = sizeof(ExplicitFormats) / sizeof(ExplicitFormats[0]);
static_assert(ExplicitFormatCount == 23, "indices 1 to 22");

// ---- Colour descriptions ----

struct ColourDescRow {
    D3DFORMAT Format;
    D3DFORMAT Twin;   // a second format sharing the record, or D3DFMT_UNKNOWN
    int BitDepth;
    uint32_t Red, Green, Blue, Alpha;
    int Channels, Bits, IsFloat;
};

const ColourDescRow ColourDescRows[] = {
    {D3DFMT_R8G8B8, D3DFMT_UNKNOWN, 24, 0xFF0000, 0xFF00, 0xFF, 0, 0, 0, 0},
    {D3DFMT_A8R8G8B8, D3DFMT_UNKNOWN, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 0, 0, 0},
    {D3DFMT_X8R8G8B8, D3DFMT_UNKNOWN, 32, 0xFF0000, 0xFF00, 0xFF, 0, 0, 0, 0},
    {D3DFMT_R5G6B5, D3DFMT_UNKNOWN, 16, 0xF800, 0x7E0, 0x1F, 0, 0, 0, 0},
    {D3DFMT_X1R5G5B5, D3DFMT_UNKNOWN, 16, 0x7C00, 0x3E0, 0x1F, 0, 0, 0, 0},
    {D3DFMT_A1R5G5B5, D3DFMT_UNKNOWN, 16, 0x7C00, 0x3E0, 0x1F, 0x8000, 0, 0, 0},
    {D3DFMT_A4R4G4B4, D3DFMT_UNKNOWN, 16, 0xF00, 0xF0, 0xF, 0xF000, 0, 0, 0},
    {D3DFMT_R3G3B2, D3DFMT_UNKNOWN, 8, 0xE0, 0x1C, 0x3, 0, 0, 0, 0},
    {D3DFMT_A8R3G3B2, D3DFMT_UNKNOWN, 16, 0xE0, 0x1C, 0x3, 0xFF00, 0, 0, 0},
    {D3DFMT_X4R4G4B4, D3DFMT_UNKNOWN, 16, 0xF00, 0xF0, 0xF, 0, 0, 0, 0},
    {D3DFMT_A2B10G10R10, D3DFMT_UNKNOWN, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000, 0, 0, 0},
    {D3DFMT_A8B8G8R8, D3DFMT_UNKNOWN, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000, 0, 0, 0},
    {D3DFMT_X8B8G8R8, D3DFMT_UNKNOWN, 32, 0xFF, 0xFF00, 0xFF0000, 0, 0, 0, 0},
    {D3DFMT_G16R16, D3DFMT_UNKNOWN, 32, 0, 0, 0, 0, 2, 16, 0},
    {D3DFMT_A2R10G10B10, D3DFMT_UNKNOWN, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000, 0, 0, 0},
    {D3DFMT_A16B16G16R16, D3DFMT_UNKNOWN, 64, 0, 0, 0, 0, 4, 16, 0},
    {D3DFMT_L8, D3DFMT_UNKNOWN, 8, 0, 0, 0, 0, 1, 8, 0},
    {D3DFMT_A8L8, D3DFMT_V8U8, 16, 0, 0, 0, 0, 2, 8, 0},
    {D3DFMT_L16, D3DFMT_UNKNOWN, 16, 0, 0, 0, 0, 1, 16, 0},
    {D3DFMT_R16F, D3DFMT_UNKNOWN, 16, 0, 0, 0, 0, 1, 16, 1},
    {D3DFMT_G16R16F, D3DFMT_UNKNOWN, 32, 0, 0, 0, 0, 2, 16, 1},
    {D3DFMT_A16B16G16R16F, D3DFMT_UNKNOWN, 64, 0, 0, 0, 0, 4, 16, 1},
    {D3DFMT_R32F, D3DFMT_UNKNOWN, 32, 0, 0, 0, 0, 1, 32, 1},
    {D3DFMT_G32R32F, D3DFMT_UNKNOWN, 64, 0, 0, 0, 0, 2, 32, 1},
    {D3DFMT_A32B32G32R32F, D3DFMT_UNKNOWN, 128, 0, 0, 0, 0, 4, 32, 1},
};
constexpr int ColourDescCount = sizeof(ColourDescRows) / sizeof(ColourDescRows[0]);
static_assert(ColourDescCount == 25, "25 records");
ColorFormatDesc ColourDescs[ColourDescCount];
int ColourDescsMade = 0;

// ---- Small helpers ----

int Post(const void* async) { return async != nullptr ? 1 : 0; }
int MipCountOf(const GraphOrigRecord* orig) { return orig->mipLevels > 0 ? orig->mipLevels : 1; }
int FaceCountOf(const GraphOrigRecord* orig) { return orig->format.cubeMap ? 6 : 1; }
int LevelSize(int size, int level) { return size >> level > 0 ? size >> level : 1; }

// The block format D3DFMT_DXTn as n (1 to 5), else 0.
int DxtNumber(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_DXT1: return 1;
        case D3DFMT_DXT2: return 2;
        case D3DFMT_DXT3: return 3;
        case D3DFMT_DXT4: return 4;
        case D3DFMT_DXT5: return 5;
        default: return 0;
    }
}

bool IsBlockImage(const BaseImage* image) {
    return image->format.formatCode >= BaseImageFormat_DXT1 && image->format.formatCode <= BaseImageFormat_DXT5;
}

// The image is block-compressed in exactly the texture's format.
bool SameBlockFormat(const BaseImage* image, D3DFORMAT format) {
    return IsBlockImage(image) && image->format.formatCode == DxtNumber(format);
}

// Bytes of one 4 x 4 block (DXT1 8, the others 16).
int BlockBytes(D3DFORMAT format) { return format == D3DFMT_DXT1 ? 8 : 16; }
int64_t BlockRowBytes(int width, D3DFORMAT format) { return (int64_t)((width + 3) / 4) * BlockBytes(format); }
int64_t BlockLevelBytes(int width, int height, D3DFORMAT format) {
    return BlockRowBytes(width, format) * ((height + 3) / 4);
}

bool IsWhole(const RECT* rect, int width, int height) {
    return rect->left == 0 && rect->top == 0 && rect->right == width && rect->bottom == height;
}

// Copies `rows` rows of `rowBytes` from rows `sourcePitch` apart to rows `pitch` apart (a locked area's
// pitch is the driver's and need not equal the row length).
void CopyRows(void* destination, int64_t pitch, const void* source, int64_t sourcePitch, int64_t rowBytes, int rows) {
    for (int y = 0; y < rows; ++y)
        memcpy((uint8_t*)destination + pitch * y, (const uint8_t*)source + sourcePitch * y, (size_t)rowBytes);
}

// ---- Level access of a texture or cube texture ----

struct Level {
    IDirect3DBaseTexture9* Texture;
    bool Cube;
    int Face;
    int Mip;
};

HRESULT LockLevel(const Level& level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags, int post) {
    if (level.Cube)
        return D3D9Call_CubeTexture_LockRectASync(static_cast<IDirect3DCubeTexture9*>(level.Texture),
                                                  (D3DCUBEMAP_FACES)level.Face, (UINT)level.Mip, locked, rect, flags, post);
    return D3D9Call_Texture_LockRectASync(static_cast<IDirect3DTexture9*>(level.Texture), (UINT)level.Mip, locked, rect,
                                          flags, post);
}

void UnlockLevel(const Level& level, int post) {
    if (level.Cube)
        D3D9Call_CubeTexture_UnlockRectASync(static_cast<IDirect3DCubeTexture9*>(level.Texture),
                                             (D3DCUBEMAP_FACES)level.Face, (UINT)level.Mip, post);
    else
        D3D9Call_Texture_UnlockRectASync(static_cast<IDirect3DTexture9*>(level.Texture), (UINT)level.Mip, post);
}

HRESULT LevelSurface(const Level& level, IDirect3DSurface9** surface, int post) {
    if (level.Cube)
        return D3D9Call_CubeTexture_GetCubeMapSurfaceASync(static_cast<IDirect3DCubeTexture9*>(level.Texture),
                                                           (D3DCUBEMAP_FACES)level.Face, (UINT)level.Mip, surface, post);
    return D3D9Call_Texture_GetSurfaceLevelASync(static_cast<IDirect3DTexture9*>(level.Texture), (UINT)level.Mip, surface,
                                                 post);
}

// ---- Pooled objects ----

// A pooled object from `get`: asked again after one pass of the message pump and 1 ms while the pool has
// none free; -1 only when the program is quitting.
template <typename Get>
int WaitForPooled(Get get) {
    for (;;) {
        const int index = get();
        if (index >= 0) return index;
        if (ASyncLoad_IsMainThread() ? System_PollMessagesNoLock() < 0 : System_IsEndRequested() != 0) return -1;
        Thread_Sleep(1);
    }
}

int WaitForPooledSurface(int width, int height, D3DFORMAT format, void* async) {
    return WaitForPooled([&] { return Graphics_D3D9_SysMemSurfacePool_Get(width, height, format, async); });
}

int WaitForPooledTexture(const GraphOrigRecord* orig, const GraphTexturePart* part, void* async) {
    const int index = (int)(part - orig->parts);
    return WaitForPooled([&] { return Graphics_D3D9_SysMemTexturePool_GetForTexture(orig, index, async); });
}

// Where a rectangle of one level is written: locked straight in the level, or (staging) in a pooled surface
// of the level's full size that is copied into the level on Finish.
struct LevelWriter {
    Level Target;
    int Staging;
    int PoolIndex = -1;
    IDirect3DSurface9* Pooled = nullptr;
    RECT Rect = {};
    D3DLOCKED_RECT Locked = {};
    bool Open = false;

    // 0, -1 on a failed lock, -2 when no pooled surface could be had.
    int Begin(const RECT& rect, int levelWidth, int levelHeight, D3DFORMAT format, void* async) {
        Rect = rect;
        if (Staging) {
            PoolIndex = WaitForPooledSurface(levelWidth, levelHeight, format, async);
            if (PoolIndex < 0) return -2;
            Pooled = D3D9SysMemSurfacePool.Entries[PoolIndex].Surface;
            if (Pooled == nullptr ||
                D3D9Call_Surface_LockRectASync(Pooled, &Locked, &Rect, D3DLOCK_DISCARD, Post(async)) != D3D_OK) {
                Graphics_D3D9_SysMemSurfacePool_ClearUseFlag(PoolIndex, async);
                PoolIndex = -1;
                return -1;
            }
        } else if (LockLevel(Target, &Locked, &Rect, 0, Post(async)) != D3D_OK) {
            return -1;
        }
        Open = true;
        return 0;
    }

    // Unlocks; in staging mode copies into the level and gives the pooled surface back. 0 / -1.
    int Finish(void* async) {
        if (!Open) return 0;
        Open = false;
        const int post = Post(async);
        if (!Staging) {
            UnlockLevel(Target, post);
            return 0;
        }
        D3D9Call_Surface_UnlockRectASync(Pooled, post);
        int result = 0;
        IDirect3DSurface9* surface = nullptr;
        if (LevelSurface(Target, &surface, post) == D3D_OK && surface != nullptr) {
            const POINT at = {Rect.left, Rect.top};
            if (D3D9Call_Device_UpdateSurfaceASync(Pooled, &Rect, surface, &at, post) != D3D_OK) result = -1;
            D3D9Call_Object_ReleaseASync(surface, post);
        } else {
            result = -1;
        }
        Graphics_D3D9_SysMemSurfacePool_ClearUseFlag(PoolIndex, async);
        PoolIndex = -1;
        return result;
    }
};

// The transparent colour becomes alpha 0 when asked for, the texture has alpha and no alpha image is given.
int KeyToAlpha(const ColorFormatDesc* desc, const BaseImage* alpha, int transparentToAlpha) {
    return transparentToAlpha && desc->alphaWidth != 0 && alpha == nullptr ? 1 : 0;
}

// Converts `source` of one face of the colour image (and of the alpha image) to (x, y) of `pixels`.
int ConvertFace(void* pixels, int pitch, const ColorFormatDesc* desc, int x, int y, const GraphOrigRecord* orig,
                const BaseImage* colour, const BaseImage* alpha, int face, const RECT& source, int convertOption,
                int transparentToAlpha) {
    const BaseImageRect rect = {source.left, source.top, source.right, source.bottom};
    const uint8_t* colourPixels = (const uint8_t*)colour->pixels + (int64_t)colour->pitch * colour->height * face;
    const uint8_t* alphaPixels =
        alpha != nullptr ? (const uint8_t*)alpha->pixels + (int64_t)alpha->pitch * alpha->height * face : nullptr;
    return BaseImage_ColorConvertBlt(pixels, pitch, desc, colourPixels, colour->pitch, &colour->format, alphaPixels,
                                     alpha != nullptr ? alpha->pitch : 0, alpha != nullptr ? &alpha->format : nullptr, x,
                                     y, &rect, 0, KeyToAlpha(desc, alpha, transparentToAlpha), orig->transColor, 0, 0,
                                     convertOption, 0, 0);
}

void ReleaseSurface(IDirect3DSurface9*& surface) {
    if (surface != nullptr) D3D9Call_Object_Release(surface);
    surface = nullptr;
}

}  // namespace

D3D9GraphTexture* Graphics_D3D9_GraphTexture_Of(GraphTexturePart* part) {
    return part != nullptr && part->platformArea != nullptr ? reinterpret_cast<D3D9GraphTexture*>(part->platformArea)
                                                            : nullptr;
}

int Graphics_D3D9_GraphTexture_GetSurfaces(GraphHandleRecord* graph, int part, int face, D3D9GraphSurfaces* out) {
    if (graph == nullptr || out == nullptr || graph->Orig == nullptr) return -1;
    GraphOrigRecord* orig = graph->Orig;
    if (part < 0 || part >= orig->partCount || orig->parts == nullptr || face < 0 || face >= 6) return -1;
    GraphTexturePart* texturePart = &orig->parts[part];
    D3D9GraphTexture* texture = Graphics_D3D9_GraphTexture_Of(texturePart);
    if (texture == nullptr || texture->Surfaces[face] == nullptr) return -1;
    *out = {};
    out->Surface = texture->Surfaces[face];
    out->MultiSample = texture->MultiSampleSurface;
    out->Depth = texture->DepthSurface;
    out->Format = Graphics_D3D9_Texture_FormatOf(orig);
    out->Width = texturePart->textureWidth;
    out->Height = texturePart->textureHeight;
    out->RenderTarget = orig->format.drawable;
    return 0;
}

D3DFORMAT Graphics_D3D9_Texture_FormatOf(const GraphOrigRecord* orig) {
    if (orig == nullptr) return D3DFMT_UNKNOWN;
    const int explicitFormat = orig->format.explicitFormat;
    if (explicitFormat != 0) return explicitFormat < ExplicitFormatCount ? ExplicitFormats[explicitFormat] : D3DFMT_UNKNOWN;
    const int index = orig->colorFormatIndex;
    return index >= 0 && index < D3D9TextureFormatCount ? D3D9TextureFormatTable[index] : D3DFMT_UNKNOWN;
}

const ColorFormatDesc* Graphics_D3D9_GetColorDataOfFormat(D3DFORMAT format) {
    if (!ColourDescsMade) {
        for (int i = 0; i < ColourDescCount; ++i) {
            const ColourDescRow& row = ColourDescRows[i];
            BaseImage_ColorFormat_InitFromMasks(&ColourDescs[i], row.BitDepth, row.Red, row.Green, row.Blue, row.Alpha,
                                                row.Channels, row.Bits, row.IsFloat);
        }
        ColourDescsMade = 1;
    }
    if (format == D3DFMT_UNKNOWN) return nullptr;
    for (int i = 0; i < ColourDescCount; ++i)
        if (ColourDescRows[i].Format == format || ColourDescRows[i].Twin == format) return &ColourDescs[i];
    return nullptr;
}

// ---- Creation and release ----

int Graphics_D3D9_OrigTexture_Create(GraphOrigRecord* orig, void* async) {
    const int post = Post(async);
    if (!D3D9Call_Device_Exists() || orig == nullptr) return -1;
    if (!orig->format.hardware) return 0;
    const D3DFORMAT format = Graphics_D3D9_Texture_FormatOf(orig);
    if (format == D3DFMT_UNKNOWN) {
        Log_AddTextShiftJIS("指定のフォーマットで作成できるテクスチャフォーマットがありませんでした\n");
        return -1;
    }
    const bool cube = orig->format.cubeMap != 0, drawable = orig->format.drawable != 0;
    const int mips = MipCountOf(orig), faces = FaceCountOf(orig);
    const int depthIndex = orig->depthFormat >= 0 && orig->depthFormat <= 2 ? orig->depthFormat : 0;
    for (int p = 0; p < orig->partCount; ++p) {
        GraphTexturePart* part = &orig->parts[p];
        D3D9GraphTexture* object = Graphics_D3D9_GraphTexture_Of(part);
        if (object == nullptr) return -1;
        const UINT width = (UINT)part->textureWidth, height = (UINT)part->textureHeight;
        // An Ex device has no managed pool.
        if (D3D9CallState.DeviceEx != nullptr) orig->format.managed = 0;

        if (drawable && !cube) {
            D3DMULTISAMPLE_TYPE samples = (D3DMULTISAMPLE_TYPE)orig->format.multiSampleCount;
            DWORD quality = orig->format.multiSampleQuality;
            if (samples != D3DMULTISAMPLE_NONE) D3D9Call_Direct3D9_CheckMultiSampleParamASync(format, &samples, &quality, 0, post);
            if (samples == D3DMULTISAMPLE_NONE) quality = 0;
            if (samples != D3DMULTISAMPLE_NONE && object->MultiSampleSurface == nullptr &&
                D3D9Call_Device_CreateRenderTargetASync(width, height, format, samples, quality, FALSE,
                                                        &object->MultiSampleSurface, nullptr, post) != D3D_OK) {
                object->MultiSampleSurface = nullptr;
                Log_AddTextShiftJIS("書き込み専用サーフェスの作成に失敗しました\n");
                return -1;
            }
            // Its own depth surface when its multisampling differs from the screen's (the screen's depth
            // buffer cannot serve it) or when the graph asks for one.
            const bool screenSamples = GraphicsSystemState.ScreenMultiSampleCount != 0;
            const bool needDepth = screenSamples != (samples != D3DMULTISAMPLE_NONE) || orig->hasDepthBuffer != 0;
            if (object->DepthSurface != nullptr) D3D9Call_Object_ReleaseASync(object->DepthSurface, post);
            object->DepthSurface = nullptr;
            if (needDepth &&
                D3D9Call_Device_CreateDepthStencilSurfaceASync(width, height, D3D9DepthFormatTable[depthIndex], samples,
                                                               quality, FALSE, &object->DepthSurface, nullptr,
                                                               post) != D3D_OK) {
                object->DepthSurface = nullptr;
                Log_AddTextShiftJIS("書き込み専用マルチサンプル深度サーフェスの作成に失敗しました\n");
                return -1;
            }
        }

        if (object->Texture == nullptr) {
            const DWORD usage = drawable ? D3DUSAGE_RENDERTARGET : 0;
            const D3DPOOL pool = orig->format.managed && !drawable ? D3DPOOL_MANAGED : D3DPOOL_DEFAULT;
            HRESULT made;
            if (cube) {
                IDirect3DCubeTexture9* texture = nullptr;
                made = D3D9Call_Device_CreateCubeTextureASync(width, (UINT)mips, usage, format, pool, &texture, nullptr, post);
                object->Texture = made == D3D_OK ? texture : nullptr;
            } else {
                IDirect3DTexture9* texture = nullptr;
                made = D3D9Call_Device_CreateTextureASync(width, height, (UINT)mips, usage, format, pool, &texture, nullptr,
                                                          post);
                object->Texture = made == D3D_OK ? texture : nullptr;
            }
            if (object->Texture == nullptr) {
                Log_AddTextShiftJIS(cube ? "キューブマップテクスチャの作成に失敗しました\n" : "テクスチャの作成に失敗しました\n");
                return -1;
            }
        }

        for (int face = 0; face < faces; ++face) {
            if (object->Surfaces[face] != nullptr) continue;
            if (LevelSurface({object->Texture, cube, face, 0}, &object->Surfaces[face], post) != D3D_OK) {
                object->Surfaces[face] = nullptr;
                Log_AddTextShiftJIS(cube ? "キューブテクスチャのサーフェスアドレスの取得に失敗しました\n"
                                         : "テクスチャのサーフェスアドレスの取得に失敗しました\n");
                return -1;
            }
        }

        if (drawable)
            for (IDirect3DSurface9* surface : object->Surfaces)
                if (surface != nullptr) D3D9Call_Device_ColorFillASync(surface, nullptr, 0, post);
    }
    return 0;
}

int Graphics_D3D9_Texture_Release(GraphOrigRecord* orig) {
    if (orig == nullptr || !orig->format.hardware) return 0;
    for (int p = 0; p < orig->partCount; ++p) {
        D3D9GraphTexture* object = Graphics_D3D9_GraphTexture_Of(&orig->parts[p]);
        if (object == nullptr) continue;
        for (IDirect3DSurface9*& surface : object->Surfaces) ReleaseSurface(surface);
        ReleaseSurface(object->MultiSampleSurface);
        ReleaseSurface(object->DepthSurface);
        if (object->Texture != nullptr) {
            // A stage still holding the texture would keep it alive on the device and hand it to the next draw.
            Graphics_D3D9_StateCache_UnbindTexture(object->Texture);
            D3D9Call_Object_Release(object->Texture);
        }
        object->Texture = nullptr;
    }
    return 0;
}

// ---- Transfer ----

int Graphics_D3D9_Texture_CheckConvertNeeded(GraphOrigRecord* orig, int colorFormat, int* colorConvert, int alphaFormat,
                                             int* alphaConvert) {
    auto needed = [orig](int code) -> int {
        if (orig == nullptr || !orig->format.hardware) return code >= 1 && code <= 7 ? 1 : 0;
        if (code < BaseImageFormat_DXT1 || code > BaseImageFormat_DXT5) return 0;
        return DxtNumber(Graphics_D3D9_Texture_FormatOf(orig)) == code ? 0 : 1;
    };
    if (colorConvert != nullptr) *colorConvert = needed(colorFormat);
    if (alphaConvert != nullptr) *alphaConvert = alphaFormat < 0 ? 0 : needed(alphaFormat);
    return 0;
}

namespace {

// One transfer's shared settings.
struct Transfer {
    GraphOrigRecord* Orig;
    const BaseImage* Colour;
    const BaseImage* Alpha;
    int ConvertOption;
    int TransparentToAlpha;
    void* Async;
    D3DFORMAT Format;
    const ColorFormatDesc* Desc;
    int Faces;   // of the image
};

// The temporary system-memory copies of a drawable transfer: the source rectangle of each face converted
// into a surface of its size.
struct DrawableSource {
    IDirect3DSurface9* Surfaces[6] = {};
    IDirect3DTexture9* Texture = nullptr;

    void Release(int post) {
        for (IDirect3DSurface9*& surface : Surfaces) {
            if (surface != nullptr) D3D9Call_Object_ReleaseASync(surface, post);
            surface = nullptr;
        }
        if (Texture != nullptr) D3D9Call_Object_ReleaseASync(Texture, post);
        Texture = nullptr;
    }
};

// Converts the source rectangle of each face into a surface of its size; 0, 1 when a surface could not be
// made (the caller falls back), -1 on a conversion failure.
int MakeDrawableSource(const Transfer& t, const RECT& source, DrawableSource* out) {
    const int post = Post(t.Async);
    const UINT width = (UINT)(source.right - source.left), height = (UINT)(source.bottom - source.top);
    for (int face = 0; face < t.Faces; ++face) {
        if (D3D9Call_Device_CreateOffscreenPlainSurfaceASync(width, height, t.Format, D3DPOOL_SYSTEMMEM,
                                                             &out->Surfaces[face], nullptr, post) != D3D_OK) {
            out->Surfaces[face] = nullptr;
            return 1;
        }
        D3DLOCKED_RECT locked = {};
        if (D3D9Call_Surface_LockRectASync(out->Surfaces[face], &locked, nullptr, D3DLOCK_DISCARD, post) != D3D_OK) {
            Log_AddTextShiftJIS("テクスチャのロックに失敗しました\n");
            return -1;
        }
        const int converted = ConvertFace(locked.pBits, locked.Pitch, t.Desc, 0, 0, t.Orig, t.Colour, t.Alpha, face, source,
                                          t.ConvertOption, t.TransparentToAlpha);
        D3D9Call_Surface_UnlockRectASync(out->Surfaces[face], post);
        if (converted < 0) return -1;
    }
    return 0;
}

// The fall-back of a drawable graph of one face and one part when no surface of the rectangle's size could be
// had: one system-memory texture of the part's size, the rectangle converted to its place, copied whole.
int DrawableFallback(const Transfer& t, const RECT& sourceRect, int destX, int destY, GraphTexturePart* part,
                     DrawableSource* source) {
    const int post = Post(t.Async);
    D3D9GraphTexture* object = Graphics_D3D9_GraphTexture_Of(part);
    if (object == nullptr || object->Texture == nullptr) return -1;
    if (D3D9Call_Device_CreateTextureASync((UINT)part->textureWidth, (UINT)part->textureHeight, 1, 0, t.Format,
                                           D3DPOOL_SYSTEMMEM, &source->Texture, nullptr, post) != D3D_OK) {
        source->Texture = nullptr;
        return -1;
    }
    RECT clippedSource, dest;
    if (Graphics_Image_ClipBltRectByTexturePart(&sourceRect, destX, destY, part, &clippedSource, &dest) < 0) return 0;
    D3DLOCKED_RECT locked = {};
    if (D3D9Call_Texture_LockRectASync(source->Texture, 0, &locked, nullptr, D3DLOCK_DISCARD, post) != D3D_OK) {
        Log_AddTextShiftJIS("テクスチャのロックに失敗しました\n");
        return -1;
    }
    const int converted = ConvertFace(locked.pBits, locked.Pitch, t.Desc, dest.left, dest.top, t.Orig, t.Colour, t.Alpha,
                                      0, clippedSource, t.ConvertOption, t.TransparentToAlpha);
    D3D9Call_Texture_UnlockRectASync(source->Texture, 0, post);
    if (converted < 0) return -1;
    D3D9Call_Device_UpdateTextureASync(source->Texture, object->Texture, post);
    return 0;
}

// Copies from the temporary surfaces into one part of a drawable graph; `source` is in image pixels.
int DrawableCopy(const Transfer& t, const DrawableSource& temporary, const RECT& sourceRect, const RECT& source,
                 const RECT& dest, GraphTexturePart* part, int wholeOrig) {
    const int post = Post(t.Async);
    D3D9GraphTexture* object = Graphics_D3D9_GraphTexture_Of(part);
    if (object == nullptr) return -1;
    // The temporary surfaces start at the rectangle's top-left.
    const RECT inTemporary = {source.left - sourceRect.left, source.top - sourceRect.top, source.right - sourceRect.left,
                              source.bottom - sourceRect.top};
    const POINT at = {dest.left, dest.top};
    const int faces = t.Faces < FaceCountOf(t.Orig) ? t.Faces : FaceCountOf(t.Orig);
    for (int face = 0; face < faces; ++face) {
        const HRESULT copied =
            D3D9Call_Device_UpdateSurfaceASync(temporary.Surfaces[face], &inTemporary, object->Surfaces[face], &at, post);
        if (wholeOrig) continue;
        if (copied != D3D_OK) {
            Log_AddTextShiftJIS("描画可能テクスチャへの画像の転送に失敗しました\n");
            return -1;
        }
    }
    if (wholeOrig && object->MultiSampleSurface != nullptr)
        D3D9Call_Device_UpdateSurfaceASync(temporary.Surfaces[0], &inTemporary, object->MultiSampleSurface, &at, post);
    return 0;
}

// Transfers into one part of a graph that is not drawable.
int PlainCopy(const Transfer& t, const RECT& source, const RECT& dest, GraphTexturePart* part) {
    D3D9GraphTexture* object = Graphics_D3D9_GraphTexture_Of(part);
    if (object == nullptr || object->Texture == nullptr) return -1;
    const bool whole = IsWhole(&dest, part->textureWidth, part->textureHeight);
    const bool managed = t.Orig->format.managed != 0;
    IDirect3DBaseTexture9* target = object->Texture;
    int poolIndex = -1;
    if (whole && !managed) {
        poolIndex = WaitForPooledTexture(t.Orig, part, t.Async);
        if (poolIndex < 0) return -1;
        target = D3D9SysMemTexturePool.Entries[poolIndex].Texture;
        if (target == nullptr) {
            Graphics_D3D9_SysMemTexturePool_ClearUseFlag(poolIndex, t.Async);
            return -1;
        }
    }
    const int staging = !whole && !managed ? 1 : 0;
    const int result =
        MipCountOf(t.Orig) < 2
            ? Graphics_D3D9_BltBmpOrBaseImageToGraph3_NoMipMapBlt(
                  t.Orig, &source, &dest, staging, target, part->textureWidth, part->textureHeight, part->usedWidth,
                  part->usedHeight, t.Colour, t.Alpha, t.Desc, t.ConvertOption, t.TransparentToAlpha, t.Async)
            : Graphics_D3D9_BltBmpOrBaseImageToGraph3_MipMapBlt(t.Orig, &source, &dest, staging, target,
                                                                part->textureWidth, part->textureHeight, t.Colour, t.Alpha,
                                                                t.Desc, t.ConvertOption, t.TransparentToAlpha, t.Async);
    if (poolIndex >= 0) {
        if (result >= 0) D3D9Call_Device_UpdateTextureASync(target, object->Texture, Post(t.Async));
        Graphics_D3D9_SysMemTexturePool_ClearUseFlag(poolIndex, t.Async);
    }
    return result < 0 ? -1 : 0;
}

}  // namespace

int Graphics_D3D9_BltBmpOrBaseImageToGraph3(const RECT* sourceRect, int destX, int destY, int graph,
                                            const BaseImage* colorImage, const BaseImage* alphaImage, int convertOption,
                                            int transparentToAlpha, int wholeOrig, void* async) {
    const int post = Post(async);
    if (!D3D9Call_Device_Exists()) return -1;
    Graphics_D3D9_VertexBatch_Flush(post);
    if (sourceRect == nullptr || colorImage == nullptr) return -1;
    if (sourceRect->left >= sourceRect->right || sourceRect->top >= sourceRect->bottom) return 0;
    // On the main thread a graph still loading is waited for (or its queued job run at once).
    GraphHandleRecord* record = Graphics_Image_GetGraphRecord(graph, ASyncLoad_IsMainThread() ? 0 : 1);
    if (record == nullptr || record->Orig == nullptr) return -1;
    GraphOrigRecord* orig = record->Orig;
    if (!orig->format.hardware) return 0;
    Transfer t = {orig, colorImage, alphaImage, convertOption, transparentToAlpha, async, Graphics_D3D9_Texture_FormatOf(orig),
                  nullptr, colorImage->faceCount > 0 ? colorImage->faceCount : 1};
    if (t.Faces > 6) return -1;
    t.Desc = Graphics_D3D9_GetColorDataOfFormat(t.Format);

    // Each target with the part it lands on and its clipped rectangles.
    auto forEachTarget = [&](auto&& body) -> int {
        RECT source, dest;
        if (wholeOrig) {
            for (int i = 0; i < orig->partCount; ++i) {
                GraphTexturePart* part = &orig->parts[i];
                if (Graphics_Image_ClipBltRectByTexturePart(sourceRect, destX, destY, part, &source, &dest) < 0) continue;
                if (body(part, source, dest) < 0) return -1;
            }
        } else {
            for (int i = 0; i < record->drawPartCount; ++i) {
                const GraphDrawPart* division = &record->drawParts[i];
                if (Graphics_Image_ClipBltRectByImage(sourceRect, destX, destY, division, &source, &dest) < 0) continue;
                if (body(division->part, source, dest) < 0) return -1;
            }
        }
        return 0;
    };

    if (!orig->format.drawable) {
        if (t.Desc == nullptr && DxtNumber(t.Format) == 0) return -1;
        return forEachTarget([&](GraphTexturePart* part, const RECT& source, const RECT& dest) {
            return PlainCopy(t, source, dest, part);
        });
    }

    if (t.Desc == nullptr) return -1;
    DrawableSource temporary;
    const int made = MakeDrawableSource(t, *sourceRect, &temporary);
    int result = 0;
    if (made < 0) {
        result = -1;
    } else if (made > 0) {
        if (t.Faces == 1 && orig->partCount <= 1) {
            temporary.Release(post);
            result = DrawableFallback(t, *sourceRect, destX, destY, &orig->parts[0], &temporary);
        } else {
            Log_AddTextShiftJIS("画像転送用のシステムメモリテクスチャの作成に失敗しました\n");
            result = -1;
        }
    } else {
        result = forEachTarget([&](GraphTexturePart* part, const RECT& source, const RECT& dest) {
            return DrawableCopy(t, temporary, *sourceRect, source, dest, part, wholeOrig);
        });
    }
    temporary.Release(post);
    return result;
}

int Graphics_D3D9_BltBmpOrBaseImageToGraph3_NoMipMapBlt(GraphOrigRecord* orig, const RECT* sourceRect,
                                                        const RECT* destRect, int staging,
                                                        IDirect3DBaseTexture9* target, int textureWidth,
                                                        int textureHeight, int imageWidth, int imageHeight,
                                                        const BaseImage* colorImage, const BaseImage* alphaImage,
                                                        const ColorFormatDesc* textureDesc, int convertOption,
                                                        int transparentToAlpha, void* async) {
    if (orig == nullptr || sourceRect == nullptr || destRect == nullptr || target == nullptr || colorImage == nullptr)
        return -1;
    const D3DFORMAT format = Graphics_D3D9_Texture_FormatOf(orig);
    const bool cube = orig->format.cubeMap != 0;
    const int faces = FaceCountOf(orig);
    const int width = sourceRect->right - sourceRect->left, height = sourceRect->bottom - sourceRect->top;

    // The texels right of and below the image repeat its last column and row, so that filtering at the image's
    // edge does not pull in what the texture held there.
    RECT dest = *destRect;
    const int extraColumn = imageWidth < textureWidth && dest.right == imageWidth ? 1 : 0;
    const int extraRow = imageHeight < textureHeight && dest.bottom == imageHeight ? 1 : 0;
    dest.right += extraColumn;
    dest.bottom += extraRow;

    const bool wholeBlocks = IsWhole(&dest, textureWidth, textureHeight) && SameBlockFormat(colorImage, format) &&
                             colorImage->width >= textureWidth && colorImage->height >= textureHeight;
    if (!wholeBlocks && (DxtNumber(format) != 0 || textureDesc == nullptr || IsBlockImage(colorImage))) {
        // Blocks are only ever copied whole and in their own format; nothing else can be written into
        // block-compressed texels.
        Log_AddTextShiftJIS(DxtRefusedText);
        return -1;
    }

    for (int face = 0; face < faces; ++face) {
        LevelWriter writer = {{target, cube, face, 0}, staging};
        const int begun = writer.Begin(dest, textureWidth, textureHeight, format, async);
        if (begun < 0) {
            if (begun == -1) Log_AddTextShiftJIS("テクスチャのロックに失敗しました\n");
            return -1;
        }
        uint8_t* pixels = (uint8_t*)writer.Locked.pBits;
        const int64_t pitch = writer.Locked.Pitch;
        int result = 0;
        if (wholeBlocks) {
            // The face's blocks, faces one after another in the image, a row of blocks at a time.
            const int64_t imageFaceBytes = BlockLevelBytes(colorImage->width, colorImage->height, format);
            const uint8_t* data = (const uint8_t*)colorImage->pixels + imageFaceBytes * face;
            CopyRows(pixels, pitch, data, BlockRowBytes(colorImage->width, format), BlockRowBytes(textureWidth, format),
                     (textureHeight + 3) / 4);
        } else {
            result = ConvertFace(pixels, (int)pitch, textureDesc, 0, 0, orig, colorImage, alphaImage, face, *sourceRect,
                                 convertOption, transparentToAlpha);
            const int bytes = textureDesc->bytesPerPixel;
            if (result >= 0 && extraColumn)
                for (int y = 0; y < height; ++y) {
                    uint8_t* row = pixels + pitch * y;
                    memcpy(row + (int64_t)width * bytes, row + (int64_t)(width - 1) * bytes, (size_t)bytes);
                }
            if (result >= 0 && extraRow) {
                uint8_t* row = pixels + pitch * height;
                memcpy(row, row - pitch, (size_t)((int64_t)width * bytes));
                if (extraColumn) memcpy(row + (int64_t)width * bytes, row - pitch + (int64_t)(width - 1) * bytes, (size_t)bytes);
            }
        }
        if (writer.Finish(async) < 0 || result < 0) return -1;
    }
    return 0;
}

int Graphics_D3D9_BltBmpOrBaseImageToGraph3_MipMapBlt(GraphOrigRecord* orig, const RECT* sourceRect,
                                                      const RECT* destRect, int staging, IDirect3DBaseTexture9* target,
                                                      int textureWidth, int textureHeight, const BaseImage* colorImage,
                                                      const BaseImage* alphaImage, const ColorFormatDesc* textureDesc,
                                                      int convertOption, int transparentToAlpha, void* async) {
    if (orig == nullptr || sourceRect == nullptr || destRect == nullptr || target == nullptr || colorImage == nullptr)
        return -1;
    const D3DFORMAT format = Graphics_D3D9_Texture_FormatOf(orig);
    const bool cube = orig->format.cubeMap != 0;
    const int faces = FaceCountOf(orig), mips = MipCountOf(orig);
    const int imageLevels = colorImage->mipLevelCount > 1 ? colorImage->mipLevelCount : 1;
    const bool whole = IsWhole(destRect, textureWidth, textureHeight);
    const char* lockFailed = "ミップマップテクスチャのロックに失敗しました\n";

    if (whole && imageLevels >= mips && SameBlockFormat(colorImage, format) && colorImage->width == textureWidth &&
        colorImage->height == textureHeight) {
        // Ready-made block levels: faces one after another in the image, within a face its levels.
        int64_t faceBytes = 0;
        for (int level = 0; level < imageLevels; ++level)
            faceBytes += BlockLevelBytes(LevelSize(colorImage->width, level), LevelSize(colorImage->height, level), format);
        for (int face = 0; face < faces; ++face) {
            const uint8_t* data = (const uint8_t*)colorImage->pixels + faceBytes * face;
            for (int level = 0; level < mips; ++level) {
                const int w = LevelSize(textureWidth, level), h = LevelSize(textureHeight, level);
                LevelWriter writer = {{target, cube, face, level}, staging};
                const RECT all = {0, 0, w, h};
                const int begun = writer.Begin(all, w, h, format, async);
                if (begun < 0) {
                    if (begun == -1)
                        Log_AddTextShiftJIS(cube ? "キューブマップミップマップテクスチャのロックに失敗しました\n" : lockFailed);
                    return -1;
                }
                CopyRows(writer.Locked.pBits, writer.Locked.Pitch, data, BlockRowBytes(w, format), BlockRowBytes(w, format),
                         (h + 3) / 4);
                if (writer.Finish(async) < 0) return -1;
                data += BlockLevelBytes(w, h, format);
            }
        }
        return 0;
    }
    if (DxtNumber(format) != 0 || textureDesc == nullptr || IsBlockImage(colorImage)) {
        Log_AddTextShiftJIS(DxtRefusedText);
        return -1;
    }

    const int width = destRect->right - destRect->left, height = destRect->bottom - destRect->top;
    const int bytes = textureDesc->bytesPerPixel;
    if (imageLevels >= mips) {
        // Ready-made levels of a standard image: level 0 rows at the image's pitch, further levels packed.
        int64_t faceBytes = 0;
        for (int level = 0; level < imageLevels; ++level)
            faceBytes += (level == 0 ? (int64_t)colorImage->pitch
                                     : (int64_t)LevelSize(colorImage->width, level) * colorImage->format.bytesPerPixel) *
                         LevelSize(colorImage->height, level);
        for (int face = 0; face < faces; ++face) {
            const uint8_t* data = (const uint8_t*)colorImage->pixels + faceBytes * face;
            for (int level = 0; level < mips; ++level) {
                const int imageWidth = LevelSize(colorImage->width, level), imageHeight = LevelSize(colorImage->height, level);
                const int64_t imagePitch =
                    level == 0 ? (int64_t)colorImage->pitch : (int64_t)imageWidth * colorImage->format.bytesPerPixel;
                RECT rect = {destRect->left >> level, destRect->top >> level, destRect->right >> level,
                             destRect->bottom >> level};
                if (rect.right <= rect.left) rect.right = rect.left + 1;
                if (rect.bottom <= rect.top) rect.bottom = rect.top + 1;
                const RECT source = {sourceRect->left >> level, sourceRect->top >> level,
                                     (LONG)std::min<int64_t>((sourceRect->left >> level) + (rect.right - rect.left), imageWidth),
                                     (LONG)std::min<int64_t>((sourceRect->top >> level) + (rect.bottom - rect.top), imageHeight)};
                if (source.right > source.left && source.bottom > source.top && imagePitch <= 0x7FFFFFFF) {
                    LevelWriter writer = {{target, cube, face, level}, staging};
                    const int begun = writer.Begin(rect, LevelSize(textureWidth, level), LevelSize(textureHeight, level),
                                                   format, async);
                    if (begun < 0) {
                        if (begun == -1) Log_AddTextShiftJIS(lockFailed);
                        return -1;
                    }
                    const BaseImageRect from = {source.left, source.top, source.right, source.bottom};
                    const int converted = BaseImage_ColorConvertBlt(
                        writer.Locked.pBits, writer.Locked.Pitch, textureDesc, data, (int)imagePitch, &colorImage->format,
                        nullptr, 0, nullptr, 0, 0, &from, 0, KeyToAlpha(textureDesc, nullptr, transparentToAlpha),
                        orig->transColor, 0, 0, convertOption, 0, 0);
                    if (writer.Finish(async) < 0 || converted < 0) return -1;
                }
                data += imagePitch * imageHeight;
            }
        }
        return 0;
    }

    // Generated levels: level 0 converted into the first of two work images of W x H (the powers of two
    // holding the rectangle), each further level halved into the other.
    int64_t W = 1, H = 1;
    while (W < width) W *= 2;
    while (H < height) H *= 2;
    const int64_t workPitch = W * bytes, half = workPitch * H;
    uint8_t* work = half * 2 <= 0x7FFFFFFF && workPitch <= 0x7FFFFFFF
                        ? (uint8_t*)Memory_Allocate((uint32_t)(half * 2), __FILE__, __LINE__)
                        : nullptr;
    if (work == nullptr) {
        Log_AddTextShiftJIS("テクスチャへ転送する画像を一時的に格納するメモリ領域の確保に失敗しました\n");
        return -1;
    }
    int result = 0;
    for (int face = 0; face < faces && result == 0; ++face) {
        if (ConvertFace(work, (int)workPitch, textureDesc, 0, 0, orig, colorImage, alphaImage, face, *sourceRect,
                        convertOption, transparentToAlpha) < 0) {
            result = -1;
            break;
        }
        int64_t w = width, h = height;
        uint8_t* current = work;
        for (int level = 0; level < mips; ++level) {
            if (level > 0) {
                uint8_t* next = level % 2 == 1 ? work + half : work;
                BaseImage_HalfSizeBlt(textureDesc, next, (int)workPitch, current, (int)workPitch, 0, 0, 0, 0, (int)w, (int)h);
                w = w > 1 ? w / 2 : 1;
                h = h > 1 ? h / 2 : 1;
                current = next;
            }
            RECT rect = {destRect->left >> level, destRect->top >> level, destRect->right >> level, destRect->bottom >> level};
            if (rect.right <= rect.left) rect.right = rect.left + 1;
            if (rect.bottom <= rect.top) rect.bottom = rect.top + 1;
            LevelWriter writer = {{target, cube, face, level}, staging};
            const int begun =
                writer.Begin(rect, LevelSize(textureWidth, level), LevelSize(textureHeight, level), format, async);
            if (begun < 0) {
                Log_AddTextShiftJIS(begun == -2 ? "ミップマップテクスチャ用のメモリサーフェスの取得に失敗しました\n" : lockFailed);
                result = -1;
                break;
            }
            const BaseImageRect from = {0, 0, (int32_t)std::min<int64_t>(rect.right - rect.left, W),
                                        (int32_t)std::min<int64_t>(rect.bottom - rect.top, H)};
            const int converted = BaseImage_ColorConvertBlt(writer.Locked.pBits, writer.Locked.Pitch, textureDesc, current,
                                                            (int)workPitch, textureDesc, nullptr, 0, nullptr, 0, 0, &from,
                                                            0, 0, 0, 0, 0, 0, 0, 0);
            if (writer.Finish(async) < 0 || converted < 0) {
                result = -1;
                break;
            }
        }
    }
    Memory_Free(work);
    return result;
}

}  // namespace Vantrel
