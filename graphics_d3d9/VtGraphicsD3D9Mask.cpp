// Direct3D 9 mask screen: the mask image texture (the core's mask bytes in its texels' alpha) and the
// mask draw texture that draws land on while the mask is in use, kept across a resize, and the per-draw
// copy in and the fixed-function composite back into the real target, which lets the mask draw surface
// through wherever the mask byte is 0 (not 0 with the reverse flag).
// Stands on the call layer, the state cache, the stage set-up, the vertex batch, the format table of the
// device set-up, the graph textures, the sub back buffer and the graphics core's mask and screen state.
#include "graphics_d3d9/VtGraphicsD3D9Mask.h"

#include <string.h>

#include <utility>

#include "foundation/VtBaseFunc.h"
#include "foundation/VtLog.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics/VtGraphicsMask.h"
#include "graphics/VtGraphicsShadowMap.h"
#include "graphics_d3d9/VtGraphicsD3D9Batch.h"
#include "graphics_d3d9/VtGraphicsD3D9Device.h"
#include "graphics_d3d9/VtGraphicsD3D9DrawTarget.h"
#include "graphics_d3d9/VtGraphicsD3D9Stage.h"
#include "graphics_d3d9/VtGraphicsD3D9State.h"
#include "graphics_d3d9/VtGraphicsD3D9Texture.h"
#include "image/VtBaseImage.h"

namespace Vantrel {

D3D9MaskStateRecord D3D9MaskState;

namespace {

D3D9MaskStateRecord& State = D3D9MaskState;

// Library texture-format codes of the mask buffers.
constexpr int MaskColourFormatCode = 49;
constexpr int MaskAlphaFormatCode = 50;

// The composite's vertex: pre-transformed, diffuse and specular, two coordinate sets (FVF 0x2C4).
struct CompositeVertex {
    float X, Y, Z, Rhw;
    D3DCOLOR Diffuse, Specular;
    float U0, V0, U1, V1;
};
static_assert(sizeof(CompositeVertex) == 40, "the composite's vertex stride");
constexpr DWORD CompositeFVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2;
static_assert(CompositeFVF == 0x2C4, "the composite's vertex format");

int PowerOfTwoNotBelow(int value) {
    int result = 1;
    while (result < value && result < (1 << 30)) result <<= 1;
    return result;
}

bool MaskInUse() { return MaskScreenState.MaskActive != 0 && State.DrawSurface != nullptr; }

GraphHandleRecord* DrawScreenGraph() {
    const int handle = GraphicsScreenState.DrawTargets[0].Handle;
    return handle >= 0 ? Graphics_Image_GetGraphRecord(handle, 0) : nullptr;
}

// The surface the masked draws are copied from and composited into: the draw-screen graph's surface of
// the current face, else the sub back buffer, else the back buffer.
IDirect3DSurface9* CompositeTarget() {
    if (GraphHandleRecord* graph = DrawScreenGraph()) {
        D3D9GraphSurfaces surfaces = {};
        if (Graphics_D3D9_GraphTexture_GetSurfaces(graph, 0, GraphicsScreenState.DrawTargets[0].Surface, &surfaces) != 0)
            return nullptr;
        return surfaces.Surface;
    }
    return Graphics_D3D9_DrawScreen_ScreenSurface();
}

// The surface drawing lands on without the mask: the shadow map being drawn, the draw-screen graph's
// multisample surface or its surface of the current face, else the sub back buffer, else the back buffer.
IDirect3DSurface9* RealDrawTarget() {
    if (ShadowMapSlots.Drawing) {
        ShadowMapRecord* map = Graphics_ShadowMap_GetHandleData(ShadowMapSlots.DrawingHandle, 0);
        if (map != nullptr && map->PlatformArea[2] != nullptr) return (IDirect3DSurface9*)map->PlatformArea[2];
    }
    if (GraphHandleRecord* graph = DrawScreenGraph()) {
        D3D9GraphSurfaces surfaces = {};
        if (Graphics_D3D9_GraphTexture_GetSurfaces(graph, 0, GraphicsScreenState.DrawTargets[0].Surface, &surfaces) != 0)
            return nullptr;
        return surfaces.MultiSample != nullptr ? surfaces.MultiSample : surfaces.Surface;
    }
    return Graphics_D3D9_DrawScreen_ScreenSurface();
}

// The viewport over the draw area, written whatever the cache holds.
void ForceViewportToDrawArea() {
    const RECT& area = DrawSettings.DrawArea;
    const int32_t force = D3D9DeviceStateCache.Force;
    D3D9DeviceStateCache.Force = 1;
    Graphics_D3D9_StateCache_SetViewportRect(area.left, area.top, area.right, area.bottom);
    D3D9DeviceStateCache.Force = force;
}

void ReleaseCurrent() {
    D3D9Call_Object_ReleaseAndClear(State.ImageTexture);
    D3D9Call_Object_ReleaseAndClear(State.DrawSurface);
    D3D9Call_Object_ReleaseAndClear(State.DrawTexture);
}

void ReleaseSaved() {
    D3D9Call_Object_ReleaseAndClear(State.SavedImageTexture);
    D3D9Call_Object_ReleaseAndClear(State.SavedDrawSurface);
    D3D9Call_Object_ReleaseAndClear(State.SavedDrawTexture);
}

// Render-target slots of the state cache holding `from` get `to` (null: the real draw target in slot 0,
// nothing in the others), so that no draw lands in a released surface.
void RebindTargets(IDirect3DSurface9* from, IDirect3DSurface9* to, bool realWhenNull) {
    if (from == nullptr) return;
    for (int slot = 0; slot < D3D9RenderTargetCount; ++slot) {
        if (D3D9DeviceStateCache.RenderTarget[slot] != from) continue;
        IDirect3DSurface9* next = to;
        if (next == nullptr && realWhenNull && slot == 0) next = RealDrawTarget();
        Graphics_D3D9_StateCache_SetRenderTarget(next, slot);
    }
}

int Fail(const char* text) {
    Log_AddTextShiftJIS(text);
    return -1;
}

// The image texture and the draw texture with its surface of the power-of-two size, each made when missing.
int MakeSurfaces(int width, int height) {
    if (!D3D9Call_Device_Exists()) return -1;
    const D3DFORMAT colourFormat = D3D9TextureFormatTable[MaskColourFormatCode];
    const D3DFORMAT alphaFormat = D3D9TextureFormatTable[MaskAlphaFormatCode];
    if (colourFormat == D3DFMT_UNKNOWN)
        return Fail("マスク描画用カラーバッファで使用できるテクスチャフォーマットがありませんでした");
    if (alphaFormat == D3DFMT_UNKNOWN)
        return Fail("マスク描画用アルファチャンネルバッファで使用できるテクスチャフォーマットがありませんでした");
    if (width <= 0 || height <= 0) return -1;
    State.Width = PowerOfTwoNotBelow(width);
    State.Height = PowerOfTwoNotBelow(height);

    if (State.ImageTexture == nullptr) {
        if (D3D9Call_Device_CreateTexture((UINT)State.Width, (UINT)State.Height, 1, D3DUSAGE_DYNAMIC, alphaFormat,
                                          D3DPOOL_DEFAULT, &State.ImageTexture, nullptr) != D3D_OK) {
            State.ImageTexture = nullptr;
            return Fail("マスク用イメージテクスチャの作成に失敗しました");
        }
        D3DLOCKED_RECT locked = {};
        if (D3D9Call_Texture_LockRectASync(State.ImageTexture, 0, &locked, nullptr, 0, 0) == D3D_OK) {
            const ColorFormatDesc* desc = Graphics_D3D9_GetColorDataOfFormat(alphaFormat);
            const int64_t rowBytes = (int64_t)State.Width * (desc != nullptr ? desc->bytesPerPixel : 4);
            for (int y = 0; y < State.Height; ++y)
                memset((uint8_t*)locked.pBits + (int64_t)y * locked.Pitch, 0, (size_t)rowBytes);
            D3D9Call_Texture_UnlockRectASync(State.ImageTexture, 0, 0);
        }
    }
    if (State.DrawTexture == nullptr) {
        if (D3D9Call_Device_CreateTexture((UINT)State.Width, (UINT)State.Height, 1, D3DUSAGE_RENDERTARGET,
                                          D3D9DeviceState.ScreenFormat, D3DPOOL_DEFAULT, &State.DrawTexture,
                                          nullptr) != D3D_OK) {
            State.DrawTexture = nullptr;
            return Fail("マスク用スクリーンテクスチャの作成に失敗しました");
        }
    }
    if (State.DrawSurface == nullptr &&
        D3D9Call_Texture_GetSurfaceLevel(State.DrawTexture, 0, &State.DrawSurface) != D3D_OK) {
        State.DrawSurface = nullptr;
        return -1;
    }
    return 0;
}

}  // namespace

uint32_t Graphics_D3D9_Mask_ScaleToAlpha(uint8_t value, int alphaWidth) {
    if (value == 0 || alphaWidth <= 0) return 0;
    if (alphaWidth >= 8) return (uint32_t)value << (alphaWidth - 8);
    const uint32_t top = (1u << alphaWidth) - 1;
    // Rounded up, so that a small non-zero byte keeps masking.
    return ((uint32_t)value * top + 254) / 255;
}

namespace {

// The current objects and the saved ones change places.
void SwapCurrentAndSaved() {
    std::swap(State.ImageTexture, State.SavedImageTexture);
    std::swap(State.DrawTexture, State.SavedDrawTexture);
    std::swap(State.DrawSurface, State.SavedDrawSurface);
    std::swap(State.Width, State.SavedWidth);
    std::swap(State.Height, State.SavedHeight);
}

}  // namespace

int Graphics_D3D9_Mask_SaveSurfaces() {
    // A save that no copy followed leaves nothing behind.
    ReleaseSaved();
    SwapCurrentAndSaved();
    return 0;
}

// A re-creation whose new objects cannot be made puts the saved ones back, so that the targets still
// drawing into the old mask draw surface keep a live one.
int Graphics_D3D9_Mask_CreateSurfaces(int width, int height) {
    if (MakeSurfaces(width, height) == 0) return 0;
    if (State.SavedDrawSurface != nullptr) {
        ReleaseCurrent();
        SwapCurrentAndSaved();
    }
    return -1;
}

int Graphics_D3D9_Mask_CopyAndReleaseSaved(int width, int height) {
    const RECT whole = {0, 0, width, height};
    Graphics_D3D9_Mask_UpdateImageTexture(&whole);
    D3D9Call_Object_ReleaseAndClear(State.SavedImageTexture);
    if (State.SavedDrawSurface == nullptr) return 0;
    if (State.DrawSurface != nullptr) {
        const int64_t right = (int64_t)width < State.SavedWidth ? width : State.SavedWidth;
        const int64_t bottom = (int64_t)height < State.SavedHeight ? height : State.SavedHeight;
        if (right > 0 && bottom > 0 && right <= State.Width && bottom <= State.Height) {
            const RECT copied = {0, 0, (LONG)right, (LONG)bottom};
            Graphics_Dispatch_VertexBatch_Flush(0);
            D3D9Call_Device_StretchRect(State.SavedDrawSurface, &copied, State.DrawSurface, &copied, D3DTEXF_NONE);
        }
    }
    RebindTargets(State.SavedDrawSurface, State.DrawSurface, true);
    if (State.RealTarget == State.SavedDrawSurface) State.RealTarget = nullptr;
    ReleaseSaved();
    return 0;
}

int Graphics_D3D9_Mask_UpdateImageTexture(const RECT* rect) {
    const MaskScreenStateRecord& mask = MaskScreenState;
    if (State.ImageTexture == nullptr || mask.MaskData == nullptr || rect == nullptr) return 0;
    // Clipped to the mask itself (which the texture covers), not only to today's draw area: a byte left
    // out here would let drawing through once the draw area grows over it.
    int32_t area[4] = {rect->left, rect->top, rect->right, rect->bottom};
    const int32_t maskArea[4] = {0, 0, mask.MaskWidth < State.Width ? mask.MaskWidth : State.Width,
                                 mask.MaskHeight < State.Height ? mask.MaskHeight : State.Height};
    Math_Rect_Clip(area, maskArea);
    if (area[2] <= area[0] || area[3] <= area[1]) return 0;

    const RECT locked = {area[0], area[1], area[2], area[3]};
    D3DLOCKED_RECT bits = {};
    if (D3D9Call_Texture_LockRectASync(State.ImageTexture, 0, &bits, &locked, 0, 0) != D3D_OK) return -1;
    const ColorFormatDesc* desc = Graphics_D3D9_GetColorDataOfFormat(D3D9TextureFormatTable[MaskAlphaFormatCode]);
    const int bytes = desc != nullptr ? desc->bytesPerPixel : 0;
    if (desc != nullptr && desc->alphaWidth > 0 && (bytes == 2 || bytes == 4)) {
        const uint32_t alphaMask = desc->alphaMask;
        for (int y = area[1]; y < area[3]; ++y) {
            const uint8_t* from = mask.MaskData + (int64_t)y * mask.MaskPitch + area[0];
            uint8_t* row = (uint8_t*)bits.pBits + (int64_t)(y - area[1]) * bits.Pitch;
            for (int x = 0; x < area[2] - area[0]; ++x) {
                const uint32_t alpha = Graphics_D3D9_Mask_ScaleToAlpha(from[x], desc->alphaWidth) << desc->alphaShift;
                if (bytes == 4) {
                    uint32_t texel;
                    memcpy(&texel, row + x * 4, 4);
                    texel = (texel & ~alphaMask) | (alpha & alphaMask);
                    memcpy(row + x * 4, &texel, 4);
                } else {
                    uint16_t texel;
                    memcpy(&texel, row + x * 2, 2);
                    texel = (uint16_t)((texel & ~alphaMask) | (alpha & alphaMask));
                    memcpy(row + x * 2, &texel, 2);
                }
            }
        }
    }
    D3D9Call_Texture_UnlockRectASync(State.ImageTexture, 0, 0);
    return 0;
}

int Graphics_D3D9_Mask_DrawBegin(const RECT* rect) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (!MaskInUse() || rect == nullptr) return 0;
    State.RealTarget = CompositeTarget();
    if (State.RealTarget == nullptr) return 0;
    int32_t area[4] = {rect->left, rect->top, rect->right, rect->bottom};
    const int32_t maskArea[4] = {0, 0, State.Width, State.Height};
    Math_Rect_Clip(area, maskArea);
    if (area[2] <= area[0] || area[3] <= area[1]) return 0;
    const RECT copied = {area[0], area[1], area[2], area[3]};
    D3D9Call_Device_StretchRect(State.RealTarget, &copied, State.DrawSurface, &copied, D3DTEXF_NONE);
    return 0;
}

int Graphics_D3D9_Mask_DrawAfter(const RECT* rect) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (!MaskInUse() || rect == nullptr || State.RealTarget == nullptr) return 0;
    if (rect->right <= rect->left || rect->bottom <= rect->top) return 0;
    D3D9DeviceStateCacheRecord& cache = D3D9DeviceStateCache;

    // The draw's vertices still batched go into the mask draw surface before the target changes.
    Graphics_D3D9_StateCache_SetRenderTarget(State.RealTarget, 0);
    D3D9Call_Device_BeginSceneOnce();
    const int32_t zEnable = cache.ZEnable;
    Graphics_D3D9_StateCache_SetZEnable(0);
    Graphics_D3D9_StateCache_ResetVertexShader(0);
    Graphics_D3D9_StateCache_ResetPixelShader(0);
    Graphics_D3D9_StateCache_SetVertexBuffer(nullptr, 0);
    Graphics_D3D9_StateCache_SetIndexBuffer(nullptr);
    ForceViewportToDrawArea();

    D3D9StageSetup setup = {};
    setup.AlphaTestEnable = 1;
    setup.AlphaRef = 0;
    setup.AlphaFunc = MaskScreenState.MaskReverse != 0 ? D3DCMP_NOTEQUAL : D3DCMP_EQUAL;
    setup.BlendEnable = 0;
    setup.SeparateAlphaEnable = 0;
    setup.TextureFactor = 0xFFFFFFFF;
    setup.SrcBlend = setup.DestBlend = setup.BlendOp = -1;
    setup.SrcBlendAlpha = setup.DestBlendAlpha = setup.BlendOpAlpha = -1;
    setup.StageCount = 3;
    setup.Stages[0] = {(uintptr_t)State.DrawTexture, 0, -1, D3DTA_CURRENT, -1, D3DTOP_SELECTARG1,
                       D3DTA_TEXTURE, -1, D3DTOP_SELECTARG1};
    setup.Stages[1] = {(uintptr_t)State.ImageTexture, 1, -1, D3DTA_TEXTURE, -1, D3DTOP_SELECTARG1,
                       D3DTA_CURRENT, -1, D3DTOP_SELECTARG1};
    setup.Stages[2] = {0, 0, -1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_DISABLE, D3DTA_TEXTURE, D3DTA_DIFFUSE,
                       D3DTOP_DISABLE};
    Graphics_D3D9_StateCache_ApplyStageSetup(&setup, 0, 0, 0);

    D3D9Call_Device_BeginSceneOnce();
    const float l = rect->left - 0.5f, t = rect->top - 0.5f, r = rect->right - 0.5f, b = rect->bottom - 0.5f;
    const float u0 = (float)rect->left / State.Width, v0 = (float)rect->top / State.Height;
    const float u1 = (float)rect->right / State.Width, v1 = (float)rect->bottom / State.Height;
    const CompositeVertex strip[4] = {{l, t, 0, 1, 0xFFFFFFFF, 0, u0, v0, u0, v0},
                                      {r, t, 0, 1, 0xFFFFFFFF, 0, u1, v0, u1, v0},
                                      {l, b, 0, 1, 0xFFFFFFFF, 0, u0, v1, u0, v1},
                                      {r, b, 0, 1, 0xFFFFFFFF, 0, u1, v1, u1, v1}};
    Graphics_D3D9_StateCache_SetFVF(CompositeFVF);
    D3D9Call_Device_DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, strip, sizeof(CompositeVertex));
    D3D9VertexBatch.DrawCalls++;

    D3D9Call_Device_EndScene();
    cache.Scene = 0;
    D3D9Call_Device_BeginSceneOnce();
    Graphics_D3D9_StateCache_SetZEnable(zEnable);
    Graphics_D3D9_StateCache_SetRenderTarget(State.DrawSurface, 0);
    ForceViewportToDrawArea();
    return 0;
}

int Graphics_D3D9_Mask_ReleaseSurfaces() {
    if (State.DrawSurface != nullptr && D3D9Call_Device_Exists()) {
        Graphics_Dispatch_VertexBatch_Flush(0);
        // A mask draw surface still bound goes back to the real target first.
        RebindTargets(State.DrawSurface, nullptr, true);
    }
    ReleaseCurrent();
    ReleaseSaved();
    State.RealTarget = nullptr;
    return 0;
}

int Graphics_D3D9_Mask_SetUseFlag() {
    if (!D3D9Call_Device_Exists()) return -1;
    IDirect3DSurface9* target = MaskInUse() ? State.DrawSurface : RealDrawTarget();
    Graphics_Dispatch_VertexBatch_Flush(0);
    if (target != nullptr) Graphics_D3D9_StateCache_SetRenderTarget(target, 0);
    Graphics_Screen_RebindDepthBuffer();
    ForceViewportToDrawArea();
    D3D9DeviceStateCache.Force = 0;
    return 0;
}

}  // namespace Vantrel
