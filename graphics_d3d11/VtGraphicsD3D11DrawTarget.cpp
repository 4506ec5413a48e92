// Direct3D 11 draw targets, clearing and read-back: binding render target 0 and its depth buffer, extra
// render targets, clearing (whole targets or one rectangle), graph fills, copies into graphs, locks
// through a staging texture and single pixels.
// Stands on the call layer, the state cache, the vertex batch, the target windows, the graph textures, the
// simple-transfer blit and the graphics core's screen state.
#include "graphics_d3d11/VtGraphicsD3D11DrawTarget.h"

#include <string.h>

#include "foundation/VtLog.h"
#include "foundation/VtWinAPI.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics/VtGraphicsMask.h"
#include "graphics/VtGraphicsShadowMap.h"
#include "graphics_d3d11/VtGraphicsD3D11.h"
#include "graphics_d3d11/VtGraphicsD3D11Batch.h"
#include "graphics_d3d11/VtGraphicsD3D11Device.h"
#include "graphics_d3d11/VtGraphicsD3D11Light.h"
#include "graphics_d3d11/VtGraphicsD3D11Mask.h"
#include "graphics_d3d11/VtGraphicsD3D11NormalDraw.h"
#include "graphics_d3d11/VtGraphicsD3D11ShaderBlit.h"
#include "graphics_d3d11/VtGraphicsD3D11State.h"
#include "graphics_d3d11/VtGraphicsD3D11System.h"
#include "graphics_d3d11/VtGraphicsD3D11Texture.h"
#include "graphics_d3d11/VtGraphicsD3D11Window.h"
#include "image/VtBaseImage.h"

namespace Vantrel {

D3D11DrawTargetStateRecord D3D11DrawTargetState;

namespace {

const char* const LockFailedText = "描画対象バッファのロックに失敗しました\n";

void Flush() { Graphics_D3D11_VertexBatch_Flush(-1, 0); }

D3D11OrigTexture* FirstPart(GraphHandleRecord* graph) {
    if (graph == nullptr || graph->Orig == nullptr || graph->Orig->partCount < 1 || !graph->Orig->format.hardware)
        return nullptr;
    return Graphics_D3D11_OrigTexture_Of(&graph->Orig->parts[0]);
}

int MipCount(const GraphHandleRecord* graph) { return graph->Orig->mipLevels > 0 ? graph->Orig->mipLevels : 1; }

GraphHandleRecord* SlotGraph(int slot) {
    const int handle = GraphicsScreenState.DrawTargets[slot].Handle;
    return handle >= 0 ? Graphics_Image_GetGraphRecord(handle, 0) : nullptr;
}

// The sub back buffer when there is one, else the main window's back buffer.
void ScreenTarget(ID3D11Texture2D** texture, ID3D11RenderTargetView** view, ID3D11ShaderResourceView** shaderView) {
    const D3D11WindowStateRecord& windows = D3D11WindowState;
    if (windows.SubTexture != nullptr) {
        *texture = windows.SubTexture;
        if (view) *view = windows.SubRTV;
        if (shaderView) *shaderView = windows.SubSRV;
        return;
    }
    const D3D11TargetWindow& main = windows.Targets[windows.MainTarget];
    *texture = main.BackBuffer;
    if (view) *view = main.BackBufferRTV;
    if (shaderView) *shaderView = main.BackBufferSRV;
}

void ResolveGraph(GraphHandleRecord* graph, int face, int mip) {
    D3D11OrigTexture* object = FirstPart(graph);
    if (object == nullptr || object->MultiSampleTexture == nullptr || object->Texture == nullptr) return;
    const UINT sub = (UINT)(face * MipCount(graph) + mip);
    D3D11Call_DeviceContext_ResolveSubresource(object->Texture, sub, object->MultiSampleTexture, sub,
                                               D3D11DeviceState.TextureFormat[graph->Orig->colorFormatIndex]);
}

void BindDepth(ID3D11Texture2D* texture, ID3D11DepthStencilView* view) {
    Graphics_D3D11_StateCache_SetDepthStencilView(texture, view);
}

void BindMainDepth() { BindDepth(D3D11SystemState.DepthTexture, D3D11SystemState.DepthView); }

// A rectangle of one render-target view set to the colour: the texels written directly for a single-sample
// target of a plain format, else the device's rectangle clear (11.1 runtimes). Nothing outside the rectangle
// changes either way.
void ClearRect(ID3D11RenderTargetView* view, const FLOAT colour[4], const RECT& rect) {
    ID3D11Resource* resource = nullptr;
    D3D11Call_View_GetResource(view, &resource);
    if (resource == nullptr) return;
    ID3D11Texture2D* texture = nullptr;
    resource->QueryInterface(__uuidof(ID3D11Texture2D), (void**)&texture);
    resource->Release();
    if (texture == nullptr) return;
    texture->Release();   // the view keeps it alive
    D3D11_TEXTURE2D_DESC desc = {};
    D3D11Call_Texture2D_GetDesc(texture, &desc);
    D3D11_RENDER_TARGET_VIEW_DESC viewDesc = {};
    D3D11Call_View_GetDesc(view, &viewDesc);
    UINT mip = 0, sub = 0;
    if (viewDesc.ViewDimension == D3D11_RTV_DIMENSION_TEXTURE2D) {
        mip = sub = viewDesc.Texture2D.MipSlice;
    } else if (viewDesc.ViewDimension == D3D11_RTV_DIMENSION_TEXTURE2DARRAY) {
        mip = viewDesc.Texture2DArray.MipSlice;
        sub = mip + viewDesc.Texture2DArray.FirstArraySlice * desc.MipLevels;
    }
    const LONG width = (LONG)(desc.Width >> mip > 0 ? desc.Width >> mip : 1);
    const LONG height = (LONG)(desc.Height >> mip > 0 ? desc.Height >> mip : 1);
    RECT r = rect;
    if (r.left < 0) r.left = 0;
    if (r.top < 0) r.top = 0;
    if (r.right > width) r.right = width;
    if (r.bottom > height) r.bottom = height;
    if (r.left >= r.right || r.top >= r.bottom) return;
    const ColorFormatDesc* format = Graphics_D3D11_Format_GetColorFormatDesc(desc.Format);
    const int64_t pixels = (int64_t)(r.right - r.left) * (r.bottom - r.top);
    if (desc.SampleDesc.Count <= 1 && format != nullptr && !format->isFloat && format->channelCount == 0 &&
        format->bytesPerPixel <= 4 && pixels * format->bytesPerPixel <= 0x7FFFFFFF &&
        Graphics_D3D11_Texture_SetupCommonBuffer((uint32_t)(pixels * format->bytesPerPixel)) == 0) {
        const int bytes = format->bytesPerPixel;
        const uint32_t value = BaseImage_ColorFormat_PackColor(format, (int)(colour[0] * 255.0f + 0.5f),
                                                               (int)(colour[1] * 255.0f + 0.5f),
                                                               (int)(colour[2] * 255.0f + 0.5f),
                                                               (int)(colour[3] * 255.0f + 0.5f));
        uint8_t* block = (uint8_t*)Graphics_D3D11_Texture_CommonBuffer();
        for (int64_t i = 0; i < pixels; ++i)
            for (int b = 0; b < bytes; ++b) block[i * bytes + b] = (uint8_t)(value >> (8 * b));
        const D3D11_BOX box = {(UINT)r.left, (UINT)r.top, 0, (UINT)r.right, (UINT)r.bottom, 1};
        D3D11Call_DeviceContext_UpdateSubresource(texture, sub, &box, block, (UINT)((r.right - r.left) * bytes), 0);
        return;
    }
    const D3D11_RECT clip = {r.left, r.top, r.right, r.bottom};
    D3D11Call_DeviceContext_ClearView(view, colour, &clip, 1);
}

}  // namespace

// ---- Binding ----

int Graphics_D3D11_DrawScreen_Set(int target, int previousSurface, int previousMip, GraphHandleRecord* graph,
                                  GraphHandleRecord* previousGraph, ShadowMapRecord* shadowMap,
                                  ShadowMapRecord* previousShadowMap) {
    return Graphics_D3D11_DrawScreen_SetTargets(target, previousSurface, previousMip, graph, previousGraph, shadowMap,
                                                previousShadowMap, nullptr, nullptr);
}

int Graphics_D3D11_DrawScreen_SetTargets(int target, int previousSurface, int previousMip, GraphHandleRecord* graph,
                                         GraphHandleRecord* previousGraph, ShadowMapRecord* shadowMap,
                                         ShadowMapRecord* previousShadowMap, ID3D11RenderTargetView* view,
                                         ID3D11DepthStencilView* depthView) {
    if (!D3D11Call_Device_Exists()) return -1;
    Flush();
    if (D3D11NormalDrawState.DrawTexture != nullptr) Graphics_D3D11_DrawTexture_Clear();
    ID3D11ShaderResourceView* none[D3D11PSResourceCount] = {};
    Graphics_D3D11_StateCache_SetPSShaderResources(0, D3D11PSResourceCount, none);
    if (previousGraph != nullptr) ResolveGraph(previousGraph, previousSurface, previousMip);

    ID3D11Texture2D* texture = nullptr;
    ID3D11RenderTargetView* targetView = nullptr;
    const DrawTargetSlot& slot = GraphicsScreenState.DrawTargets[0];
    // The shadow map given, else the one slot 0 names (a re-binding after the device came back).
    D3D11ShadowMapPlatform* map = shadowMap != nullptr ? Graphics_D3D11_ShadowMap_Platform(shadowMap)
                                  : graph == nullptr && view == nullptr ? Graphics_D3D11_ShadowMap_PlatformOf(slot.Handle)
                                                                        : nullptr;
    D3D11OrigTexture* object = map == nullptr ? FirstPart(graph) : nullptr;
    const D3D11MaskStateRecord& mask = D3D11MaskState;
    // While the mask screen is in use, drawing lands on it and each draw is composited into the real
    // target afterwards (the mask notes the real target at every draw's start).
    if (MaskScreenState.MaskActive && mask.ScreenTexture != nullptr && mask.ScreenRenderTargetView != nullptr) {
        texture = mask.ScreenTexture;
        targetView = mask.ScreenRenderTargetView;
        object = nullptr;
    } else if (map != nullptr) {
        texture = map->Texture;
        targetView = map->TargetView;
    } else if (object != nullptr) {
        texture = object->MultiSampleTexture != nullptr ? object->MultiSampleTexture : object->Texture;
        targetView = Graphics_D3D11_OrigTexture_RenderTargetView(graph->Orig, 0, slot.Surface, slot.MipLevel);
    } else if (view != nullptr) {
        ID3D11Resource* resource = nullptr;
        D3D11Call_View_GetResource(view, &resource);
        if (resource != nullptr) {
            resource->QueryInterface(__uuidof(ID3D11Texture2D), (void**)&texture);
            resource->Release();
            if (texture != nullptr) texture->Release();   // the view keeps it alive
        }
        targetView = view;
    } else {
        ScreenTarget(&texture, &targetView, nullptr);
    }
    if (texture == nullptr || targetView == nullptr) return -1;
    Graphics_D3D11_StateCache_SetRenderTarget(texture, targetView, 0);
    D3D11_TEXTURE2D_DESC desc = {};
    D3D11Call_Texture2D_GetDesc(texture, &desc);
    const int mip = object != nullptr ? slot.MipLevel : 0;
    const UINT width = desc.Width >> mip > 0 ? desc.Width >> mip : 1, height = desc.Height >> mip > 0 ? desc.Height >> mip : 1;
    Graphics_D3D11_StateCache_SetViewportRect(0.0f, 0.0f, (float)width, (float)height);
    Graphics_D3D11_DepthBuffer_Bind(depthView);
    return 0;
}

int Graphics_D3D11_DepthBuffer_Bind(ID3D11DepthStencilView* view) {
    if (!D3D11Call_Device_Exists()) return -1;
    D3D11ShadowMapPlatform* map = Graphics_D3D11_ShadowMap_PlatformOf(GraphicsScreenState.DrawTargets[0].Handle);
    if (map != nullptr) {
        BindDepth(map->DepthTexture, map->DepthView);
        return 0;
    }
    if (view != nullptr) {
        ID3D11Resource* resource = nullptr;
        ID3D11Texture2D* texture = nullptr;
        D3D11Call_View_GetResource(view, &resource);
        if (resource != nullptr) {
            resource->QueryInterface(__uuidof(ID3D11Texture2D), (void**)&texture);
            resource->Release();
            if (texture != nullptr) texture->Release();
        }
        BindDepth(texture, view);
        return 0;
    }
    GraphHandleRecord* target = SlotGraph(0);
    const int depthHandle = GraphicsScreenState.DepthBufferGraph;
    GraphHandleRecord* depth = depthHandle > 0 ? Graphics_Image_GetGraphRecord(depthHandle, 0) : nullptr;
    D3D11OrigTexture* depthObject = FirstPart(depth);
    if (depthObject != nullptr && depthObject->DepthTexture == nullptr) depthObject = nullptr;
    const int mip = GraphicsScreenState.DrawTargets[0].MipLevel;
    auto viewOf = [mip](D3D11OrigTexture* object, GraphHandleRecord* graph) -> ID3D11DepthStencilView* {
        return object->DepthViews != nullptr && mip < MipCount(graph) ? object->DepthViews[mip] : nullptr;
    };
    if (target == nullptr) {
        if (depthObject == nullptr || depth->Width != GraphicsScreenState.ScreenWidth ||
            depth->Height != GraphicsScreenState.ScreenHeight)
            BindMainDepth();
        else
            BindDepth(depthObject->DepthTexture, viewOf(depthObject, depth));
        return 0;
    }
    if (depthObject == nullptr || depth->Width < target->Width || depth->Height < target->Height) {
        D3D11OrigTexture* own = FirstPart(target);
        if (own != nullptr && own->DepthTexture != nullptr)
            BindDepth(own->DepthTexture, viewOf(own, target));
        else if (target->Width == GraphicsScreenState.ScreenWidth && target->Height == GraphicsScreenState.ScreenHeight)
            BindMainDepth();
        else
            BindDepth(nullptr, nullptr);
        return 0;
    }
    BindDepth(depthObject->DepthTexture, viewOf(depthObject, depth));
    return 0;
}

int Graphics_D3D11_ZBuffer_Setup() { return Graphics_D3D11_DepthBuffer_Bind(nullptr); }

int Graphics_D3D11_DrawScreen_SetPost(int screen) {
    WinAPI_EnsureLoaded();
    if (screen == DRAW_SCREEN_FRONT) Graphics_FrontScreen_ArmTimer();
    return 0;
}

int Graphics_D3D11_ShaderRenderTarget_Set(int slotIndex, int graph, int surface, int mip) {
    if (!GraphicsSystemState.ShadersUsable || !D3D11Call_Device_Exists() || slotIndex < 0 || slotIndex >= 8) return -1;
    if (D3D11NormalDrawState.DrawTexture != nullptr) Graphics_D3D11_DrawTexture_Clear();
    DrawTargetSlot& slot = GraphicsScreenState.DrawTargets[slotIndex];
    GraphHandleRecord* previous = slot.Handle >= 0 ? Graphics_Image_GetGraphRecord(slot.Handle, 0) : nullptr;
    if (previous != nullptr) ResolveGraph(previous, slot.Surface, slot.MipLevel);
    GraphHandleRecord* record = graph >= 0 ? Graphics_Image_GetGraphRecord(graph, 0) : nullptr;
    D3D11OrigTexture* object = FirstPart(record);
    if (record == nullptr || object == nullptr) {
        slot = {graph < 0 ? graph : 0, 0, 0};
        if (slotIndex > 0) slot.Handle = -1;
        Graphics_D3D11_StateCache_SetRenderTarget(nullptr, nullptr, slotIndex);
        return 0;
    }
    if (!record->Orig->format.drawable) return -1;
    ID3D11RenderTargetView* view = Graphics_D3D11_OrigTexture_RenderTargetView(record->Orig, 0, surface, mip);
    ID3D11Texture2D* texture = object->MultiSampleTexture != nullptr ? object->MultiSampleTexture : object->Texture;
    Graphics_D3D11_StateCache_SetRenderTarget(texture, view, slotIndex);
    if (slotIndex == 0) Graphics_Screen_RebindDepthBuffer();
    return 0;
}

// ---- Clearing and filling ----

int Graphics_D3D11_DrawScreen_Clear(const RECT* rect) {
    if (!D3D11Call_Device_Exists()) return 0;
    const int32_t* background = GraphicsScreenState.BackgroundColor;
    const FLOAT colour[4] = {background[0] / 255.0f, background[1] / 255.0f, background[2] / 255.0f,
                             background[3] / 255.0f};
    int slots = GraphicsSystemState.MaxRenderTargets < 8 ? GraphicsSystemState.MaxRenderTargets : 8;
    if (slots < 1) slots = 1;
    for (int i = 0; i < slots; ++i) {
        const DrawTargetSlot& slot = GraphicsScreenState.DrawTargets[i];
        GraphHandleRecord* graph = SlotGraph(i);
        ID3D11RenderTargetView* view = nullptr;
        D3D11ShadowMapPlatform* map = i == 0 && graph == nullptr ? Graphics_D3D11_ShadowMap_PlatformOf(slot.Handle) : nullptr;
        if (map != nullptr) {
            view = map->TargetView;
        } else if (graph != nullptr && graph->Orig != nullptr) {
            view = Graphics_D3D11_OrigTexture_RenderTargetView(graph->Orig, 0, slot.Surface, slot.MipLevel);
        } else if (i > 0) {
            continue;
        } else if (slot.Handle == -6) {
            view = D3D11StateCache.RenderTargetView[0];
        } else {
            ID3D11Texture2D* texture = nullptr;
            ScreenTarget(&texture, &view, nullptr);
        }
        if (view == nullptr) continue;
        Flush();
        if (rect == nullptr) D3D11Call_DeviceContext_ClearRenderTargetView(view, colour);
        else ClearRect(view, colour, *rect);
    }
    // The depth buffer has no rectangle clear: a rectangle clear leaves it alone.
    if (rect == nullptr && D3D11StateCache.DepthView != nullptr) {
        Flush();
        // Reversed depth puts the far plane at 0, except in a shadow map, whose depth the lit shaders
        // compare the usual way.
        const float farDepth = DrawSettings.ReverseDepth && !ShadowMapSlots.Drawing ? 0.0f : 1.0f;
        D3D11Call_DeviceContext_ClearDepthStencilView(D3D11StateCache.DepthView, D3D11_CLEAR_DEPTH, farDepth, 0);
    }
    return 0;
}

int Graphics_D3D11_Graph_Fill(GraphHandleRecord* graph, int red, int green, int blue, int alpha) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (graph == nullptr || graph->Orig == nullptr || !graph->Orig->format.drawable) return 2;
    Flush();
    const FLOAT colour[4] = {red / 255.0f, green / 255.0f, blue / 255.0f, alpha / 255.0f};
    // Only the graph's own piece of each texture: a texture may carry other graphs beside it.
    for (int i = 0; i < graph->drawPartCount; ++i) {
        const GraphDrawPart& division = graph->drawParts[i];
        D3D11OrigTexture* object = Graphics_D3D11_OrigTexture_Of(division.part);
        if (object == nullptr || object->RenderTargetViews == nullptr || object->RenderTargetViews[0] == nullptr) continue;
        const RECT piece = {division.srcX, division.srcY, division.srcX + division.width, division.srcY + division.height};
        const GraphTexturePart& part = *division.part;
        if (piece.left <= 0 && piece.top <= 0 && piece.right >= part.usedWidth && piece.bottom >= part.usedHeight)
            D3D11Call_DeviceContext_ClearRenderTargetView(object->RenderTargetViews[0], colour);
        else
            ClearRect(object->RenderTargetViews[0], colour, piece);
    }
    return 0;
}

// ---- Copy into a graph ----

int Graphics_D3D11_DrawScreen_CopyToGraph(GraphHandleRecord* destination, GraphHandleRecord* source, int lockTarget,
                                          int lockSurface, int lockMip, int reserved1, int reserved2, int left, int top,
                                          int right, int bottom, int destX, int destY) {
    if (!D3D11Call_Device_Exists() || destination == nullptr || destination->Orig == nullptr) return -1;
    Flush();
    if (!destination->Orig->format.drawable) {
        const RECT rect = {left, top, right, bottom};
        BaseImage image = {};
        if (Graphics_Screen_LockDrawTarget(&rect, &image, lockTarget, lockSurface, lockMip, 1, 0) < 0) return -1;
        const BaseImageRect whole = {0, 0, image.width, image.height};
        const int result = Graphics_Image_BltImageToGraph(&whole, destX, destY, destination->Header.Handle, &image, nullptr,
                                                          0, 0, 0, 0);
        Graphics_Screen_UnlockDrawTarget();
        return result < 0 ? -1 : 0;
    }
    ID3D11Texture2D* texture = nullptr;
    ID3D11ShaderResourceView* view = nullptr;
    D3D11OrigTexture* sourceObject = FirstPart(source);
    if (sourceObject != nullptr) {
        ResolveGraph(source, lockSurface > 0 ? lockSurface : 0, lockMip > 0 ? lockMip : 0);
        texture = sourceObject->Texture;
        view = sourceObject->TextureView;
    } else {
        ScreenTarget(&texture, nullptr, &view);
    }
    D3D11OrigTexture* target = FirstPart(destination);
    if (texture == nullptr || view == nullptr || target == nullptr || target->RenderTargetViews == nullptr) return 0;
    const RECT from = {left, top, right, bottom};
    const RECT to = {destX, destY, destX + (right - left), destY + (bottom - top)};
    Graphics_D3D11_ShaderBlit(texture, view, &from, target->Texture, target->RenderTargetViews[0], &to, 0, 0, nullptr,
                              nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0);
    return 0;
}

// ---- Lock and read-back ----

int Graphics_D3D11_DrawScreen_Lock(const RECT* rect, BaseImage* out, int target, GraphHandleRecord* graph, int surface,
                                   int mip, int readOnly, int partIndex) {
    if (!D3D11Call_Device_Exists() || out == nullptr) {
        Log_AddTextShiftJIS(LockFailedText);
        return -1;
    }
    Flush();
    ID3D11Texture2D* texture = nullptr;
    if (graph != nullptr && graph->Orig != nullptr && graph->Orig->format.hardware) {
        if (partIndex < 0 || partIndex >= graph->Orig->partCount) partIndex = 0;
        D3D11OrigTexture* object = Graphics_D3D11_OrigTexture_Of(&graph->Orig->parts[partIndex]);
        if (object != nullptr) texture = object->MultiSampleTexture != nullptr ? object->MultiSampleTexture : object->Texture;
    } else if (D3D11ShadowMapPlatform* map = Graphics_D3D11_ShadowMap_PlatformOf(target)) {
        texture = map->Texture;
        surface = 0;
        mip = 0;
    } else {
        ScreenTarget(&texture, nullptr, nullptr);
        surface = 0;
        mip = 0;
    }
    if (texture == nullptr || Graphics_D3D11_Texture_CreateReadBack(texture, rect, mip, surface, out) < 0) {
        Log_AddTextShiftJIS(LockFailedText);
        return -1;
    }
    return 0;
}

int Graphics_D3D11_Texture_CreateReadBack(ID3D11Texture2D* texture, const RECT* rect, int mip, int face, BaseImage* out) {
    Flush();
    Graphics_D3D11_DrawScreen_Unlock();
    D3D11_TEXTURE2D_DESC desc = {};
    D3D11Call_Texture2D_GetDesc(texture, &desc);
    const ColorFormatDesc* format = Graphics_D3D11_Format_GetColorFormatDesc(desc.Format);
    if (format == nullptr || mip < 0 || (UINT)mip >= desc.MipLevels || face < 0 || (UINT)face >= desc.ArraySize) return -1;
    const UINT width = desc.Width >> mip > 0 ? desc.Width >> mip : 1, height = desc.Height >> mip > 0 ? desc.Height >> mip : 1;
    RECT area = {0, 0, (LONG)width, (LONG)height};
    if (rect != nullptr) {
        if (rect->left < 0 || rect->top < 0 || rect->right > (LONG)width || rect->bottom > (LONG)height ||
            rect->left >= rect->right || rect->top >= rect->bottom)
            return -1;
        area = *rect;
    }
    const UINT sub = (UINT)(mip + face * (int)desc.MipLevels);

    // A multisampled texture is resolved first; any other is copied straight from its subresource.
    ID3D11Texture2D* source = texture;
    UINT sourceSub = sub;
    ID3D11Texture2D* resolved = nullptr;
    if (desc.SampleDesc.Count > 1) {
        D3D11_TEXTURE2D_DESC single = desc;
        single.Width = width;
        single.Height = height;
        single.MipLevels = 1;
        single.ArraySize = 1;
        single.SampleDesc = {1, 0};
        single.Usage = D3D11_USAGE_DEFAULT;
        single.BindFlags = 0;
        single.CPUAccessFlags = 0;
        single.MiscFlags = 0;
        if (D3D11Call_Device_CreateTexture2D(&single, nullptr, &resolved) != S_OK) {
            Log_AddTextShiftJIS("ダウンサンプリング用テクスチャの作成に失敗しました\n");
            return -1;
        }
        D3D11Call_DeviceContext_ResolveSubresource(resolved, 0, texture, sub, desc.Format);
        source = resolved;
        sourceSub = 0;
    }
    D3D11_TEXTURE2D_DESC staging = desc;
    staging.Width = (UINT)(area.right - area.left);
    staging.Height = (UINT)(area.bottom - area.top);
    staging.MipLevels = 1;
    staging.ArraySize = 1;
    staging.SampleDesc = {1, 0};
    staging.Usage = D3D11_USAGE_STAGING;
    staging.BindFlags = 0;
    staging.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    staging.MiscFlags = 0;
    ID3D11Texture2D* readBack = nullptr;
    if (D3D11Call_Device_CreateTexture2D(&staging, nullptr, &readBack) != S_OK) {
        D3D11Call_Texture2D_Release(resolved);
        Log_AddTextShiftJIS("描画対象バッファ読み取り用のテクスチャの作成に失敗しました\n");
        return -1;
    }
    const D3D11_BOX box = {(UINT)area.left, (UINT)area.top, 0, (UINT)area.right, (UINT)area.bottom, 1};
    D3D11Call_DeviceContext_CopySubresourceRegion(readBack, 0, 0, 0, 0, source, sourceSub, &box);
    D3D11Call_Texture2D_Release(resolved);
    D3D11_MAPPED_SUBRESOURCE mapped = {};
    if (D3D11Call_DeviceContext_Map(readBack, 0, D3D11_MAP_READ, 0, &mapped) != S_OK) {
        D3D11Call_Texture2D_Release(readBack);
        Log_AddTextShiftJIS("描画対象バッファ読み取り用のテクスチャのマッピングに失敗しました\n");
        return -1;
    }
    *out = {};
    out->format = *format;
    out->width = (int32_t)staging.Width;
    out->height = (int32_t)staging.Height;
    out->pitch = (int32_t)mapped.RowPitch;
    out->pixels = mapped.pData;
    D3D11DrawTargetState.ReadBack = readBack;
    return 0;
}

int Graphics_D3D11_DrawScreen_Unlock() {
    if (D3D11DrawTargetState.ReadBack == nullptr) return 0;
    D3D11Call_DeviceContext_UnmapASync(D3D11DrawTargetState.ReadBack, 0, 0);
    D3D11Call_Texture2D_Release(D3D11DrawTargetState.ReadBack);
    D3D11DrawTargetState.ReadBack = nullptr;
    return 0;
}

int Graphics_D3D11_DrawScreen_GetPixelWithStatus(int x, int y, int* status) {
    if (status) *status = -1;
    if (!D3D11Call_Device_Exists()) return -1;
    Flush();
    const RECT rect = {x, y, x + 1, y + 1};
    BaseImage image = {};
    if (Graphics_Screen_LockDrawTarget(&rect, &image, -1, 0, 0, 1, 0) < 0) return -1;
    uint32_t colour = 0;
    const int read = Graphics_Screen_LockedPixelColour(&image, &colour);
    Graphics_Screen_UnlockDrawTarget();
    if (read < 0) return -1;
    if (status) *status = 0;
    return (int)colour;
}

int Graphics_D3D11_DrawScreen_GetPixel(int x, int y) { return Graphics_D3D11_DrawScreen_GetPixelWithStatus(x, y, nullptr); }

int Graphics_D3D11_DrawScreen_RefreshTargetFlag() {
    int flag = 0;
    bool onlyFirst = true;
    for (int i = 1; i < 8; ++i)
        if (GraphicsScreenState.DrawTargets[i].Handle > 0) onlyFirst = false;
    const int handle = GraphicsScreenState.DrawTargets[0].Handle;
    if (onlyFirst && handle != -2 && handle != -3 && handle != -4 && handle != -16) {
        GraphHandleRecord* graph = handle >= 0 ? Graphics_Image_GetGraphRecord(handle, 0) : nullptr;
        if (graph != nullptr && graph->Orig != nullptr && graph->Orig->format.alpha && graph->Orig->format.hardware) flag = 1;
    }
    if (flag != DrawSettings.DrawTargetFlag) {
        DrawSettings.DrawTargetFlag = flag;
        D3D11NormalDrawState.SetupNeeded = 1;
        DrawSettings.StateChanged = 1;
    }
    return 0;
}

}  // namespace Vantrel
