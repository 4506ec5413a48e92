// Direct3D 11 graph textures and image transfer: creation and release of each texture part's objects, the
// transfer of base images into them (converted into a scratch block, the edge repeated where the image
// ends inside the texture, mip levels halved from level 0), block-compressed images copied whole, and
// the conversion check.
// Stands on the call layer, the state cache, the vertex batch, the device set-up's format table, the graph
// records and the image module's conversions.
#include "graphics_d3d11/VtGraphicsD3D11Texture.h"

#include <string.h>

#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics_d3d11/VtGraphicsD3D11Batch.h"
#include "graphics_d3d11/VtGraphicsD3D11Device.h"
#include "graphics_d3d11/VtGraphicsD3D11NormalDraw.h"
#include "graphics_d3d11/VtGraphicsD3D11State.h"
#include "image/VtBaseImage.h"
#include "system/VtWindow.h"

namespace Vantrel {

namespace {

void* CommonBuffer = nullptr;
uint32_t CommonBufferSize = 0;

const char* const DxtRefusedText = "DXTフォーマットのテクスチャに標準形式のイメージを転送することはできません\n";
const char* const CommonBufferFailedText =
    "テクスチャに画像を転送するためのメモリの確保に失敗しました[Graphics_D3D11_Texture_SetupCommonBuffer]\n";

DXGI_FORMAT TextureFormatOf(const GraphOrigRecord* orig) {
    const int index = orig->colorFormatIndex;
    return index >= 0 && index < D3D11TextureFormatCount ? D3D11DeviceState.TextureFormat[index] : DXGI_FORMAT_UNKNOWN;
}

int MipCountOf(const GraphOrigRecord* orig) { return orig->mipLevels > 0 ? orig->mipLevels : 1; }
int FaceCountOf(const GraphOrigRecord* orig) { return orig->format.cubeMap ? 6 : 1; }

// A call for a loader thread: asked for with async data, or simply made on a thread that is not the main one
// (the device is used on the main thread only).
int OtherThread(const void* async) {
    return async != nullptr || (Window.WindowThreadId != 0 && GetCurrentThreadId() != Window.WindowThreadId) ? 1 : 0;
}

bool IsBlockFormat(DXGI_FORMAT format) {
    return (format >= DXGI_FORMAT_BC1_TYPELESS && format <= DXGI_FORMAT_BC5_SNORM) ||
           (format >= DXGI_FORMAT_BC6H_TYPELESS && format <= DXGI_FORMAT_BC7_UNORM_SRGB);
}

bool IsBlockImage(const BaseImage* image) { return image->format.formatCode >= 1 && image->format.formatCode <= 7; }

// Bits per pixel of the block formats (BC1 4, the others 8).
int BlockBitsPerPixel(DXGI_FORMAT format) {
    return format >= DXGI_FORMAT_BC1_TYPELESS && format <= DXGI_FORMAT_BC1_UNORM_SRGB ? 4 : 8;
}

// A scratch block of `bytes`: the shared one on the main thread, a private one for a loader thread.
void* TakeScratch(int64_t bytes, int otherThread, const char* failure) {
    if (bytes <= 0 || bytes > 0x7FFFFFFF) {
        Log_AddTextShiftJIS(failure);
        return nullptr;
    }
    if (otherThread) {
        void* block = Memory_Allocate((uint32_t)bytes, __FILE__, __LINE__);
        if (block == nullptr) Log_AddTextShiftJIS(failure);
        return block;
    }
    if (Graphics_D3D11_Texture_SetupCommonBuffer((uint32_t)bytes) < 0) return nullptr;
    return CommonBuffer;
}

void GiveBackScratch(void* block, int otherThread) {
    if (otherThread) Memory_Free(block);
}

void ReleaseTextureASync(ID3D11Texture2D*& texture, int otherThread) {
    if (texture != nullptr) D3D11Call_Texture2D_ReleaseASync(texture, otherThread);
    texture = nullptr;
}

// Depth objects of a part.
void ReleaseDepth(D3D11OrigTexture* object, int mips) {
    if (object->DepthViews != nullptr) {
        for (int i = 0; i < mips; ++i) {
            if (object->DepthViews[i] != nullptr && D3D11StateCache.DepthView == object->DepthViews[i])
                Graphics_D3D11_StateCache_SetDepthStencilView(nullptr, nullptr);
            D3D11Call_DepthStencilView_Release(object->DepthViews[i]);
        }
        Memory_Free(object->DepthViews);
        object->DepthViews = nullptr;
    }
    Graphics_D3D11_ShaderResourceView_UnbindAndRelease(object->DepthTextureView);
    object->DepthTextureView = nullptr;
    D3D11Call_Texture2D_Release(object->DepthTexture);
    object->DepthTexture = nullptr;
}

// Render-target slots of the state cache that hold the texture are emptied.
void UnbindRenderTarget(ID3D11Texture2D* texture) {
    if (texture == nullptr) return;
    for (int slot = 0; slot < 8; ++slot)
        if (D3D11StateCache.RenderTargetTexture[slot] == texture) Graphics_D3D11_StateCache_SetRenderTarget(nullptr, nullptr, slot);
}

// The rectangle of a division or part that a transfer touches: destination in the part's texels and the
// matching source rectangle; false when they do not overlap.
bool ClipToPart(const RECT& source, int destX, int destY, int regionX, int regionY, int regionWidth, int regionHeight,
                int texelX, int texelY, RECT* sourceOut, RECT* destOut) {
    const int64_t width = (int64_t)source.right - source.left, height = (int64_t)source.bottom - source.top;
    const int64_t left = destX > regionX ? destX : regionX;
    const int64_t top = destY > regionY ? destY : regionY;
    const int64_t right = destX + width < (int64_t)regionX + regionWidth ? destX + width : (int64_t)regionX + regionWidth;
    const int64_t bottom = destY + height < (int64_t)regionY + regionHeight ? destY + height : (int64_t)regionY + regionHeight;
    if (left >= right || top >= bottom) return false;
    *sourceOut = {(LONG)(source.left + (left - destX)), (LONG)(source.top + (top - destY)),
                  (LONG)(source.left + (right - destX)), (LONG)(source.top + (bottom - destY))};
    *destOut = {(LONG)(texelX + (left - regionX)), (LONG)(texelY + (top - regionY)), (LONG)(texelX + (right - regionX)),
                (LONG)(texelY + (bottom - regionY))};
    return true;
}

// Converts the source rectangle of one face into `block` (rows of `pitch` bytes) in the texture's format.
int64_t FaceBytes(const BaseImage* image) { return (int64_t)image->pitch * image->height; }

// Converts the source rectangle of one face of the colour image (and of the alpha image, when given)
// into `block` in the texture's format.
int ConvertFaceRect(void* block, int pitch, const ColorFormatDesc* desc, const GraphOrigRecord* orig,
                    const BaseImage* colour, const BaseImage* alpha, int face, const RECT& source, int convertOption,
                    int transparentToAlpha) {
    const BaseImageRect rect = {source.left, source.top, source.right, source.bottom};
    const bool keyToAlpha = transparentToAlpha && desc->alphaWidth != 0 && alpha == nullptr;
    const uint8_t* colourPixels = (const uint8_t*)colour->pixels + FaceBytes(colour) * face;
    const uint8_t* alphaPixels = alpha != nullptr ? (const uint8_t*)alpha->pixels + FaceBytes(alpha) * face : nullptr;
    return BaseImage_ColorConvertBlt(block, pitch, desc, colourPixels, colour->pitch, &colour->format, alphaPixels,
                                     alpha != nullptr ? alpha->pitch : 0, alpha != nullptr ? &alpha->format : nullptr, 0,
                                     0, &rect, 0, keyToAlpha ? 1 : 0, orig->transColor, 0, 0, convertOption, 0, 0);
}

}  // namespace

D3D11OrigTexture* Graphics_D3D11_OrigTexture_Of(GraphTexturePart* part) {
    return part != nullptr && part->platformArea != nullptr ? reinterpret_cast<D3D11OrigTexture*>(part->platformArea)
                                                            : nullptr;
}

ID3D11RenderTargetView* Graphics_D3D11_OrigTexture_RenderTargetView(const GraphOrigRecord* orig, int partIndex, int face,
                                                                     int mip) {
    if (orig == nullptr || partIndex < 0 || partIndex >= orig->partCount) return nullptr;
    const D3D11OrigTexture* object = Graphics_D3D11_OrigTexture_Of(&orig->parts[partIndex]);
    const int mips = MipCountOf(orig);
    if (object == nullptr || object->RenderTargetViews == nullptr || face < 0 || face >= FaceCountOf(orig) || mip < 0 ||
        mip >= mips)
        return nullptr;
    return object->RenderTargetViews[face * mips + mip];
}

// ---- Scratch ----

int Graphics_D3D11_Texture_SetupCommonBuffer(uint32_t bytes) {
    if (CommonBufferSize >= bytes && CommonBuffer != nullptr) return 0;
    Memory_Free(CommonBuffer);
    CommonBuffer = Memory_Allocate(bytes, __FILE__, __LINE__);
    CommonBufferSize = CommonBuffer != nullptr ? bytes : 0;
    if (CommonBuffer == nullptr) {
        Log_AddTextShiftJIS(CommonBufferFailedText);
        return -1;
    }
    return 0;
}

void* Graphics_D3D11_Texture_CommonBuffer() { return CommonBuffer; }

int Graphics_D3D11_Texture_FreeCommonBuffer() {
    Memory_Free(CommonBuffer);
    CommonBuffer = nullptr;
    CommonBufferSize = 0;
    return 0;
}

// ---- Unbinding ----

int Graphics_D3D11_DrawTexture_Clear() { return Graphics_D3D11_StateCache_SetDrawTexture(nullptr, nullptr); }

int Graphics_D3D11_ShaderResourceView_UnbindAndRelease(ID3D11ShaderResourceView* view) {
    if (view == nullptr) return 0;
    bool held = false;
    if (D3D11Call_Device_Exists()) {
        for (int slot = 0; slot < D3D11PSResourceCount; ++slot) {
            if (D3D11StateCache.PSResources[slot] != view) continue;
            if (!held) Graphics_D3D11_VertexBatch_Flush(-1, 0);
            held = true;
            ID3D11ShaderResourceView* none = nullptr;
            Graphics_D3D11_StateCache_SetPSShaderResources(slot, 1, &none);
        }
        // A view still waiting in the normal-draw state would be sent by the next draw.
        if (held || D3D11NormalDrawState.DrawTextureView == view) Graphics_D3D11_DrawTexture_Clear();
        if (D3D11NormalDrawState.BlendTextureView == view) Graphics_D3D11_StateCache_SetBlendTexture(nullptr, nullptr, 0, 0);
    }
    D3D11Call_ShaderResourceView_Release(view);
    return 0;
}

// ---- Creation and release ----

namespace {

// A texture the program made itself becomes every part's texture as it is (not referenced again, never
// released here); only its shader-resource view is made, in the texture's own format and mip levels.
int AdoptExternalTexture(GraphOrigRecord* orig, int otherThread) {
    ID3D11Texture2D* texture = static_cast<ID3D11Texture2D*>(orig->externalTexture);
    D3D11_TEXTURE2D_DESC desc = {};
    D3D11Call_Texture2D_GetDesc(texture, &desc);
    D3D11_SHADER_RESOURCE_VIEW_DESC srv = {};
    srv.Format = desc.Format;
    if (desc.MiscFlags & D3D11_RESOURCE_MISC_TEXTURECUBE) {
        srv.ViewDimension = D3D11_SRV_DIMENSION_TEXTURECUBE;
        srv.TextureCube.MipLevels = desc.MipLevels;
    } else {
        srv.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
        srv.Texture2D.MipLevels = desc.MipLevels;
    }
    for (int p = 0; p < orig->partCount; ++p) {
        D3D11OrigTexture* object = Graphics_D3D11_OrigTexture_Of(&orig->parts[p]);
        if (object == nullptr) return -1;
        object->Texture = texture;
        if (object->TextureView != nullptr) continue;
        if (D3D11Call_Device_CreateShaderResourceViewASync(texture, &srv, &object->TextureView, otherThread) != S_OK) {
            object->TextureView = nullptr;
            Log_AddFormatShiftJIS("テクスチャ用シェーダーリソースビューの作成に失敗しました  Format:%d  SizeX:%d  SizeY:%d \n",
                                  (int)desc.Format, (int)desc.Width, (int)desc.Height);
            return -1;
        }
    }
    return 0;
}

}  // namespace

int Graphics_D3D11_OrigTexture_Create(GraphOrigRecord* orig, void* async) {
    const int otherThread = OtherThread(async);
    if (!D3D11Call_Device_Exists() || orig == nullptr) return -1;
    if (!orig->format.hardware) return 0;
    if (orig->externalTexture != nullptr) return AdoptExternalTexture(orig, otherThread);
    const DXGI_FORMAT format = TextureFormatOf(orig);
    if (format == DXGI_FORMAT_UNKNOWN) {
        Log_AddTextShiftJIS("指定のフォーマットで作成できるテクスチャフォーマットがありませんでした\n");
        return -1;
    }
    const bool cube = orig->format.cubeMap != 0;
    const bool drawable = orig->format.drawable != 0;
    const int mips = MipCountOf(orig), faces = FaceCountOf(orig);
    UINT samples = orig->format.multiSampleCount, quality = orig->format.multiSampleQuality;
    if (samples == 0) samples = 1;
    if (cube || D3D11CallState.FeatureLevel < D3D_FEATURE_LEVEL_10_0) {
        samples = 1;
        quality = 0;
    } else {
        D3D11Call_Device_CheckMultiSampleParamASync(format, &samples, &quality, 0, otherThread);
    }
    const int depthIndex = orig->depthFormat >= 0 && orig->depthFormat <= 2 ? orig->depthFormat : 0;
    const int screenSamples = GraphicsSystemState.ScreenMultiSampleCount > 0 ? GraphicsSystemState.ScreenMultiSampleCount : 1;

    for (int p = 0; p < orig->partCount; ++p) {
        GraphTexturePart* part = &orig->parts[p];
        D3D11OrigTexture* object = Graphics_D3D11_OrigTexture_Of(part);
        if (object == nullptr) return -1;
        D3D11_TEXTURE2D_DESC desc = {};
        desc.Width = (UINT)part->textureWidth;
        desc.Height = (UINT)part->textureHeight;
        desc.MipLevels = (UINT)mips;
        desc.ArraySize = cube ? 6 : 1;
        desc.Format = format;
        desc.SampleDesc = {samples, quality};
        desc.Usage = D3D11_USAGE_DEFAULT;
        desc.BindFlags = D3D11_BIND_SHADER_RESOURCE | (drawable ? D3D11_BIND_RENDER_TARGET : 0);
        desc.MiscFlags = cube ? D3D11_RESOURCE_MISC_TEXTURECUBE : 0;
        if (object->MultiSampleTexture == nullptr && samples > 1 &&
            D3D11Call_Device_CreateTexture2DASync(&desc, nullptr, &object->MultiSampleTexture, otherThread) != S_OK) {
            object->MultiSampleTexture = nullptr;
            Log_AddTextShiftJIS("マルチサンプルテクスチャの作成に失敗しました\n");
            return -1;
        }
        desc.SampleDesc = {1, 0};
        if (object->Texture == nullptr &&
            D3D11Call_Device_CreateTexture2DASync(&desc, nullptr, &object->Texture, otherThread) != S_OK) {
            object->Texture = nullptr;
            Log_AddTextShiftJIS("テクスチャの作成に失敗しました\n");
            return -1;
        }
        if (drawable) {
            if (object->RenderTargetViews == nullptr) {
                object->RenderTargetViews = (ID3D11RenderTargetView**)Memory_AllocateZeroed(
                    (uint32_t)(sizeof(ID3D11RenderTargetView*) * faces * mips), __FILE__, __LINE__);
                if (object->RenderTargetViews == nullptr) {
                    Log_AddTextShiftJIS(
                        "テクスチャ用レンダーターゲットビューのアドレスを保存するためのメモリの確保に失敗しました\n");
                    return -1;
                }
            }
            ID3D11Texture2D* viewed = object->MultiSampleTexture != nullptr ? object->MultiSampleTexture : object->Texture;
            for (int face = 0; face < faces; ++face)
                for (int mip = 0; mip < mips; ++mip) {
                    ID3D11RenderTargetView*& view = object->RenderTargetViews[face * mips + mip];
                    if (view != nullptr) continue;
                    D3D11_RENDER_TARGET_VIEW_DESC rtv = {};
                    rtv.Format = format;
                    if (cube) {
                        rtv.ViewDimension = D3D11_RTV_DIMENSION_TEXTURE2DARRAY;
                        rtv.Texture2DArray.MipSlice = (UINT)mip;
                        rtv.Texture2DArray.FirstArraySlice = (UINT)face;
                        rtv.Texture2DArray.ArraySize = 1;
                    } else if (samples > 1) {
                        rtv.ViewDimension = D3D11_RTV_DIMENSION_TEXTURE2DMS;
                    } else {
                        rtv.ViewDimension = D3D11_RTV_DIMENSION_TEXTURE2D;
                        rtv.Texture2D.MipSlice = (UINT)mip;
                    }
                    if (D3D11Call_Device_CreateRenderTargetViewASync(viewed, &rtv, &view, otherThread) != S_OK) {
                        view = nullptr;
                        Log_AddFormatShiftJIS(
                            "テクスチャ用レンダーターゲットビューの作成に失敗しました  Format:%d  SizeX:%d  SizeY:%d \n",
                            (int)format, part->textureWidth, part->textureHeight);
                        return -1;
                    }
                }

            const bool needDepth = orig->hasDepthBuffer || ((samples > 1) != (screenSamples > 1));
            ReleaseDepth(object, mips);
            if (needDepth) {
                D3D11_TEXTURE2D_DESC depth = desc;
                depth.ArraySize = 1;
                depth.Format = D3D11DeviceState.DepthTextureFormat[depthIndex];
                depth.SampleDesc = {samples, quality};
                depth.MiscFlags = 0;
                depth.BindFlags = D3D11_BIND_DEPTH_STENCIL | (depth.Format != DXGI_FORMAT_D16_UNORM ? D3D11_BIND_SHADER_RESOURCE : 0);
                if (D3D11Call_Device_CreateTexture2DASync(&depth, nullptr, &object->DepthTexture, otherThread) != S_OK) {
                    depth.BindFlags = D3D11_BIND_DEPTH_STENCIL;
                    if (D3D11Call_Device_CreateTexture2DASync(&depth, nullptr, &object->DepthTexture, otherThread) != S_OK) {
                        object->DepthTexture = nullptr;
                        Log_AddTextShiftJIS("書き込み専用マルチサンプル深度テクスチャの作成に失敗しました\n");
                        return -1;
                    }
                }
                object->DepthViews = (ID3D11DepthStencilView**)Memory_AllocateZeroed(
                    (uint32_t)(sizeof(ID3D11DepthStencilView*) * mips), __FILE__, __LINE__);
                if (object->DepthViews == nullptr) {
                    Log_AddTextShiftJIS("深度バッファ用深度ステンシルビューのアドレスを保存するためのメモリの確保に失敗しました\n");
                    return -1;
                }
                for (int mip = 0; mip < mips; ++mip) {
                    D3D11_DEPTH_STENCIL_VIEW_DESC dsv = {};
                    dsv.Format = D3D11DeviceState.DepthViewFormat[depthIndex];
                    if (samples > 1) {
                        dsv.ViewDimension = D3D11_DSV_DIMENSION_TEXTURE2DMS;
                    } else {
                        dsv.ViewDimension = D3D11_DSV_DIMENSION_TEXTURE2D;
                        dsv.Texture2D.MipSlice = (UINT)mip;
                    }
                    if (D3D11Call_Device_CreateDepthStencilViewASync(object->DepthTexture, &dsv, &object->DepthViews[mip],
                                                                     otherThread) != S_OK) {
                        object->DepthViews[mip] = nullptr;
                        Log_AddTextShiftJIS("深度バッファ用深度ステンシルビューの作成に失敗しました\n");
                        return -1;
                    }
                }
            }
        }
        if (object->TextureView == nullptr) {
            D3D11_SHADER_RESOURCE_VIEW_DESC srv = {};
            srv.Format = format;
            if (cube) {
                srv.ViewDimension = D3D11_SRV_DIMENSION_TEXTURECUBE;
                srv.TextureCube.MipLevels = (UINT)mips;
            } else {
                srv.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
                srv.Texture2D.MipLevels = (UINT)mips;
            }
            if (D3D11Call_Device_CreateShaderResourceViewASync(object->Texture, &srv, &object->TextureView, otherThread) !=
                S_OK) {
                object->TextureView = nullptr;
                Log_AddFormatShiftJIS(
                    "テクスチャ用シェーダーリソースビューの作成に失敗しました  Format:%d  SizeX:%d  SizeY:%d \n",
                    (int)format, part->textureWidth, part->textureHeight);
                return -1;
            }
        }
        const DXGI_FORMAT depthFormat = D3D11DeviceState.DepthTextureFormat[depthIndex];
        if (object->DepthTexture != nullptr && object->DepthTextureView == nullptr && depthFormat != DXGI_FORMAT_D16_UNORM) {
            D3D11_SHADER_RESOURCE_VIEW_DESC srv = {};
            srv.Format = D3D11DeviceState.DepthShaderViewFormat[depthIndex];
            if (samples > 1) {
                srv.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2DMS;
            } else {
                srv.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
                srv.Texture2D.MipLevels = (UINT)mips;
            }
            if (D3D11Call_Device_CreateShaderResourceViewASync(object->DepthTexture, &srv, &object->DepthTextureView,
                                                               otherThread) != S_OK)
                object->DepthTextureView = nullptr;
        }
        if (drawable) {
            const FLOAT clear[4] = {0, 0, 0, 0};
            for (int i = 0; i < faces * mips; ++i)
                D3D11Call_DeviceContext_ClearRenderTargetViewASync(object->RenderTargetViews[i], clear, otherThread);
            if (object->DepthViews != nullptr)
                for (int mip = 0; mip < mips; ++mip)
                    D3D11Call_DeviceContext_ClearDepthStencilViewASync(object->DepthViews[mip], D3D11_CLEAR_DEPTH, 1.0f, 0,
                                                                       otherThread);
        }
    }
    return 0;
}

int Graphics_D3D11_Texture_Release(GraphOrigRecord* orig) {
    if (orig == nullptr || !orig->format.hardware) return 0;
    const int mips = MipCountOf(orig), faces = FaceCountOf(orig);
    const bool device = D3D11Call_Device_Exists() != 0;
    for (int p = 0; p < orig->partCount; ++p) {
        D3D11OrigTexture* object = Graphics_D3D11_OrigTexture_Of(&orig->parts[p]);
        if (object == nullptr) continue;
        if (device) {
            UnbindRenderTarget(object->MultiSampleTexture);
            UnbindRenderTarget(object->Texture);
        }
        if (object->RenderTargetViews != nullptr) {
            for (int i = 0; i < faces * mips; ++i) D3D11Call_RenderTargetView_Release(object->RenderTargetViews[i]);
            Memory_Free(object->RenderTargetViews);
            object->RenderTargetViews = nullptr;
        }
        Graphics_D3D11_ShaderResourceView_UnbindAndRelease(object->TextureView);
        object->TextureView = nullptr;
        ReleaseTextureASync(object->MultiSampleTexture, 0);
        // The program's own texture stays the program's: it is only forgotten.
        if (orig->externalTexture != nullptr && object->Texture == orig->externalTexture) object->Texture = nullptr;
        ReleaseTextureASync(object->Texture, 0);
        ReleaseDepth(object, mips);
    }
    return 0;
}

// ---- Transfer ----

int Graphics_D3D11_Texture_CheckConvertNeeded(GraphOrigRecord* orig, int colorFormat, int* colorConvert, int alphaFormat,
                                              int* alphaConvert) {
    auto needed = [orig](int code) -> int {
        if (code < 1 || code > 7) return 0;
        if (orig == nullptr || !orig->format.hardware) return 1;
        const DXGI_FORMAT format = TextureFormatOf(orig);
        switch (code) {
            case 1: return format != DXGI_FORMAT_BC1_UNORM;
            case 3: return format != DXGI_FORMAT_BC2_UNORM;
            case 5: return format != DXGI_FORMAT_BC3_UNORM;
            case 6: return format != DXGI_FORMAT_BC7_UNORM;
            case 7: return format != DXGI_FORMAT_BC7_UNORM_SRGB;
            default: return 1;
        }
    };
    if (colorConvert != nullptr) *colorConvert = needed(colorFormat);
    if (alphaConvert != nullptr) *alphaConvert = alphaFormat < 0 ? 0 : needed(alphaFormat);
    return 0;
}

int Graphics_D3D11_BltBmpOrBaseImageToGraph3(const RECT* sourceRect, int destX, int destY, int graph,
                                             const BaseImage* colorImage, const BaseImage* alphaImage, int convertOption,
                                             int transparentToAlpha, int wholeOrig, void* async) {
    const int otherThread = OtherThread(async);
    if (!D3D11Call_Device_Exists()) return -1;
    Graphics_D3D11_VertexBatch_Flush(-1, otherThread);
    if (sourceRect == nullptr || colorImage == nullptr) return -1;
    if (sourceRect->left >= sourceRect->right || sourceRect->top >= sourceRect->bottom) return 0;
    GraphHandleRecord* record = Graphics_Image_GetGraphRecord(graph, 1);
    if (record == nullptr || record->Orig == nullptr) return -1;
    GraphOrigRecord* orig = record->Orig;
    const bool mipMapped = MipCountOf(orig) >= 2;
    auto transfer = [&](GraphTexturePart* part, const RECT& source, const RECT& dest) {
        return mipMapped ? Graphics_D3D11_BltBmpOrBaseImageToGraph3_MipMapBlt(orig, part, &source, &dest, colorImage, alphaImage,
                                                                             convertOption, transparentToAlpha, otherThread)
                         : Graphics_D3D11_BltBmpOrBaseImageToGraph3_NoMipMapBlt(orig, part, &source, &dest, colorImage,
                                                                               alphaImage, convertOption,
                                                                               transparentToAlpha, otherThread);
    };
    RECT source, dest;
    if (!wholeOrig) {
        for (int i = 0; i < record->drawPartCount; ++i) {
            const GraphDrawPart& division = record->drawParts[i];
            if (!ClipToPart(*sourceRect, destX, destY, division.destX, division.destY, division.width, division.height,
                            division.srcX, division.srcY, &source, &dest))
                continue;
            if (transfer(division.part, source, dest) < 0) return -1;
        }
    } else {
        for (int i = 0; i < orig->partCount; ++i) {
            GraphTexturePart* part = &orig->parts[i];
            if (!ClipToPart(*sourceRect, destX, destY, part->x, part->y, part->usedWidth, part->usedHeight, 0, 0, &source,
                            &dest))
                continue;
            if (transfer(part, source, dest) < 0) return -1;
        }
    }
    return 0;
}

int Graphics_D3D11_BltBmpOrBaseImageToGraph3_NoMipMapBlt(GraphOrigRecord* orig, GraphTexturePart* part,
                                                         const RECT* sourceRect, const RECT* destRect,
                                                         const BaseImage* colorImage, const BaseImage* alphaImage,
                                                         int convertOption, int transparentToAlpha, int otherThread) {
    D3D11OrigTexture* object = Graphics_D3D11_OrigTexture_Of(part);
    if (object == nullptr || object->Texture == nullptr) return -1;
    const DXGI_FORMAT format = TextureFormatOf(orig);
    const int faces = FaceCountOf(orig), mips = MipCountOf(orig);
    if (IsBlockImage(colorImage) || IsBlockFormat(format)) {
        // Block-compressed: only the whole texture, straight from the image's blocks.
        if (!IsBlockImage(colorImage) || !IsBlockFormat(format) || destRect->left != 0 || destRect->top != 0 ||
            destRect->right != part->textureWidth || destRect->bottom != part->textureHeight) {
            Log_AddTextShiftJIS(DxtRefusedText);
            return -1;
        }
        const int bits = BlockBitsPerPixel(format);
        const int64_t faceBytes = (int64_t)part->textureWidth * part->textureHeight * bits / 8;
        const UINT pitch = (UINT)((int64_t)part->textureWidth * bits / 2);
        for (int face = 0; face < faces; ++face) {
            const uint8_t* data = (const uint8_t*)colorImage->pixels + faceBytes * face;
            if (D3D11Call_DeviceContext_UpdateSubresourceASync(object->Texture, (UINT)(face * mips), nullptr, data, pitch, 0,
                                                               otherThread) < 0)
                return -1;
        }
        return 0;
    }
    const ColorFormatDesc* desc = Graphics_D3D11_Format_GetColorFormatDesc(format);
    if (desc == nullptr) return -1;
    const int bytes = desc->bytesPerPixel;
    const int width = destRect->right - destRect->left, height = destRect->bottom - destRect->top;
    const int extraColumn = part->usedWidth < part->textureWidth && destRect->right == part->usedWidth ? 1 : 0;
    const int extraRow = part->usedHeight < part->textureHeight && destRect->bottom == part->usedHeight ? 1 : 0;
    const int64_t pitch = (int64_t)(width + extraColumn) * bytes;
    const int64_t scratchBytes = pitch * (height + extraRow);
    const char* failure = otherThread ? "テクスチャに画像を転送するためのメモリの確保に失敗しました"
                                        "[Graphics_D3D11_BltBmpOrBaseImageToGraph3_NoMipMapBlt]\n"
                                      : CommonBufferFailedText;
    uint8_t* scratch = (uint8_t*)TakeScratch(scratchBytes, otherThread, failure);
    if (scratch == nullptr) return -1;
    int result = 0;
    for (int face = 0; face < faces && result == 0; ++face) {
        if (ConvertFaceRect(scratch, (int)pitch, desc, orig, colorImage, alphaImage, face, *sourceRect, convertOption,
                            transparentToAlpha) < 0) {
            result = -1;
            break;
        }
        // The texels past the image repeat its last column and row, so that filtering at the edge samples
        // the image and not what the texture held there.
        if (extraColumn)
            for (int y = 0; y < height; ++y) {
                uint8_t* row = scratch + pitch * y;
                memcpy(row + (int64_t)width * bytes, row + (int64_t)(width - 1) * bytes, (size_t)bytes);
            }
        if (extraRow) memcpy(scratch + pitch * height, scratch + pitch * (height - 1), (size_t)(width * bytes));
        if (extraColumn && extraRow) {
            uint8_t* corner = scratch + pitch * height + (int64_t)width * bytes;
            memcpy(corner, scratch + pitch * (height - 1) + (int64_t)(width - 1) * bytes, (size_t)bytes);
        }
        const D3D11_BOX box = {(UINT)destRect->left, (UINT)destRect->top, 0, (UINT)(destRect->right + extraColumn),
                               (UINT)(destRect->bottom + extraRow), 1};
        if (D3D11Call_DeviceContext_UpdateSubresourceASync(object->Texture, (UINT)(face * mips), &box, scratch, (UINT)pitch, 0,
                                                           otherThread) < 0)
            result = -1;
    }
    GiveBackScratch(scratch, otherThread);
    return result;
}

int Graphics_D3D11_BltBmpOrBaseImageToGraph3_MipMapBlt(GraphOrigRecord* orig, GraphTexturePart* part,
                                                       const RECT* sourceRect, const RECT* destRect,
                                                       const BaseImage* colorImage, const BaseImage* alphaImage,
                                                       int convertOption, int transparentToAlpha, int otherThread) {
    D3D11OrigTexture* object = Graphics_D3D11_OrigTexture_Of(part);
    if (object == nullptr || object->Texture == nullptr) return -1;
    const DXGI_FORMAT format = TextureFormatOf(orig);
    const int faces = FaceCountOf(orig), mips = MipCountOf(orig);
    const bool whole = destRect->left == 0 && destRect->top == 0 && destRect->right == part->textureWidth &&
                       destRect->bottom == part->textureHeight;
    const int imageLevels = colorImage->mipLevelCount > 0 ? colorImage->mipLevelCount : 1;
    const ColorFormatDesc* desc = IsBlockFormat(format) ? nullptr : Graphics_D3D11_Format_GetColorFormatDesc(format);
    const bool sameFormat = desc != nullptr && !IsBlockImage(colorImage) &&
                            colorImage->format.bytesPerPixel == desc->bytesPerPixel &&
                            colorImage->format.redMask == desc->redMask && colorImage->format.greenMask == desc->greenMask &&
                            colorImage->format.blueMask == desc->blueMask && colorImage->format.alphaMask == desc->alphaMask &&
                            colorImage->format.channelCount == desc->channelCount && alphaImage == nullptr;
    const bool blocks = IsBlockImage(colorImage) && IsBlockFormat(format);
    if (whole && imageLevels >= mips && (blocks || sameFormat)) {
        // The image holds every level: copied as it is, faces outer, levels inner.
        const int bits = blocks ? BlockBitsPerPixel(format) : 0;
        const uint8_t* data = (const uint8_t*)colorImage->pixels;
        for (int face = 0; face < faces; ++face) {
            int w = part->textureWidth, h = part->textureHeight;
            for (int level = 0; level < imageLevels; ++level) {
                int64_t levelBytes, pitch;
                if (blocks) {
                    pitch = (int64_t)((w + 3) / 4) * bits * 2;
                    levelBytes = pitch * ((h + 3) / 4);
                } else {
                    pitch = (int64_t)w * desc->bytesPerPixel;
                    levelBytes = pitch * h;
                }
                if (level < mips &&
                    D3D11Call_DeviceContext_UpdateSubresourceASync(object->Texture, (UINT)(face * mips + level), nullptr, data,
                                                                   (UINT)pitch, 0, otherThread) < 0)
                    return -1;
                data += levelBytes;
                w = w > 1 ? w / 2 : 1;
                h = h > 1 ? h / 2 : 1;
            }
        }
        return 0;
    }
    if (IsBlockFormat(format) || IsBlockImage(colorImage) || desc == nullptr) {
        Log_AddTextShiftJIS(DxtRefusedText);
        return -1;
    }
    const int bytes = desc->bytesPerPixel;
    const int width = destRect->right - destRect->left, height = destRect->bottom - destRect->top;
    int64_t W = 1, H = 1;
    while (W < width) W *= 2;
    while (H < height) H *= 2;
    const int64_t pitch = W * bytes, half = pitch * H;
    const char* failure = otherThread ? "テクスチャへ転送する画像を一時的に格納するメモリ領域の確保に失敗しました\n"
                                      : CommonBufferFailedText;
    uint8_t* scratch = (uint8_t*)TakeScratch(half * 2, otherThread, failure);
    if (scratch == nullptr) return -1;
    int result = 0;
    for (int face = 0; face < faces && result == 0; ++face) {
        if (ConvertFaceRect(scratch, (int)pitch, desc, orig, colorImage, alphaImage, face, *sourceRect, convertOption,
                            transparentToAlpha) < 0) {
            result = -1;
            break;
        }
        int w = width, h = height;
        uint8_t* current = scratch;
        for (int level = 0; level < mips; ++level) {
            if (level > 0) {
                uint8_t* next = current == scratch ? scratch + half : scratch;
                BaseImage_HalfSizeBlt(desc, next, (int)pitch, current, (int)pitch, 0, 0, 0, 0, w, h);
                w = w > 1 ? w / 2 : 1;
                h = h > 1 ? h / 2 : 1;
                current = next;
            }
            D3D11_BOX box = {(UINT)destRect->left >> level, (UINT)destRect->top >> level, 0, (UINT)destRect->right >> level,
                             (UINT)destRect->bottom >> level, 1};
            if (box.right <= box.left) box.right = box.left + 1;
            if (box.bottom <= box.top) box.bottom = box.top + 1;
            if (D3D11Call_DeviceContext_UpdateSubresourceASync(object->Texture, (UINT)(face * mips + level), &box, current,
                                                               (UINT)pitch, 0, otherThread) < 0) {
                result = -1;
                break;
            }
        }
    }
    GiveBackScratch(scratch, otherThread);
    return result;
}

}  // namespace Vantrel
