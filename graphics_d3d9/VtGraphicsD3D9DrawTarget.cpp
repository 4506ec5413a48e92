// Direct3D 9 draw targets, clearing and read-back: the bodies of the core's draw-screen switches.
// Graphs reach the device through the graph-texture module's surfaces (Graphics_D3D9_GraphTexture_GetSurfaces);
// the screen is the sub back buffer or the back buffer.
// Stands on the call layer, the state cache, the present module's sub back buffer, the system-memory
// surface pool, the graphics core's target slots and the base-image formats.
#include "graphics_d3d9/VtGraphicsD3D9DrawTarget.h"

#include <string.h>

#include "foundation/VtLog.h"
#include "foundation/VtThread.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics/VtGraphicsShadowMap.h"
#include "graphics_d3d9/VtGraphicsD3D9.h"
#include "graphics_d3d9/VtGraphicsD3D9Device.h"
#include "graphics_d3d9/VtGraphicsD3D9Operation.h"
#include "graphics_d3d9/VtGraphicsD3D9Present.h"
#include "graphics_d3d9/VtGraphicsD3D9State.h"
#include "graphics_d3d9/VtGraphicsD3D9SysMemPool.h"
#include "graphics_d3d9/VtGraphicsD3D9Texture.h"
#include "image/VtBaseImage.h"
#include "system/VtSystem.h"

namespace Vantrel {

D3D9DrawTargetStateRecord D3D9DrawTargetState = {nullptr, 0, 0, 16, nullptr, -1, nullptr};

namespace {

D3D9DrawTargetStateRecord& State = D3D9DrawTargetState;

// No texture is sampled while it may be a target.
void UnbindDrawTexture() {
    D3D9StageEntry& stage = D3D9DeviceStateCache.Applied.Stages[0];
    if (stage.Texture == 0) return;
    D3D9Call_Device_SetTexture(0, nullptr);
    stage.Texture = 0;
}

bool GraphSurfaces(GraphHandleRecord* graph, int part, int face, D3D9GraphSurfaces* out) {
    *out = {};
    if (graph == nullptr || graph->Orig == nullptr) return false;
    return Graphics_D3D9_GraphTexture_GetSurfaces(graph, part, face, out) == 0 && out->Surface != nullptr;
}

GraphHandleRecord* GraphOf(int handle) { return handle >= 0 ? Graphics_Image_GetGraphRecord(handle, 0) : nullptr; }

// The objects of the shadow map slot 0 holds (after its pending load), null when it holds none.
const D3D9ShadowMapPlatform* SlotShadowMap() {
    return Graphics_D3D9_ShadowMap_Platform(Graphics_ShadowMap_GetHandleData(GraphicsScreenState.DrawTargets[0].Handle, 0));
}

// The surface a graph is drawn into: its multisample surface when it has one.
IDirect3DSurface9* DrawnSurface(const D3D9GraphSurfaces& surfaces) {
    return surfaces.MultiSample != nullptr ? surfaces.MultiSample : surfaces.Surface;
}

// The multisample picture of a graph moved into its texture, so that it can be sampled.
void ResolveGraph(GraphHandleRecord* graph, int face) {
    D3D9GraphSurfaces surfaces;
    if (GraphSurfaces(graph, 0, face, &surfaces) && surfaces.MultiSample != nullptr)
        D3D9Call_Device_StretchRect(surfaces.MultiSample, nullptr, surfaces.Surface, nullptr, D3DTEXF_NONE);
}

bool BackBufferLockable() {
    return (D3D9DeviceState.PresentParams.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) != 0 &&
           D3D9DeviceState.PresentParams.MultiSampleType == D3DMULTISAMPLE_NONE;
}

}  // namespace

IDirect3DSurface9* Graphics_D3D9_DrawScreen_ScreenSurface() {
    return D3D9PresentState.SubBackBuffer != nullptr ? D3D9PresentState.SubBackBuffer : D3D9DeviceState.BackBuffer;
}

const ColorFormatDesc* Graphics_D3D9_DrawScreen_FormatDesc(D3DFORMAT format) {
    struct Known {
        D3DFORMAT Format;
        int Bits;
        uint32_t R, G, B, A;
        int Channels, ChannelBits, Float;
    };
    static const Known known[] = {
        {D3DFMT_X8R8G8B8, 32, 0xFF0000, 0xFF00, 0xFF, 0, 0, 0, 0},
        {D3DFMT_A8R8G8B8, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u, 0, 0, 0},
        {D3DFMT_X8B8G8R8, 32, 0xFF, 0xFF00, 0xFF0000, 0, 0, 0, 0},
        {D3DFMT_A8B8G8R8, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000u, 0, 0, 0},
        {D3DFMT_R5G6B5, 16, 0xF800, 0x7E0, 0x1F, 0, 0, 0, 0},
        {D3DFMT_X1R5G5B5, 16, 0x7C00, 0x3E0, 0x1F, 0, 0, 0, 0},
        {D3DFMT_A1R5G5B5, 16, 0x7C00, 0x3E0, 0x1F, 0x8000, 0, 0, 0},
        {D3DFMT_A4R4G4B4, 16, 0xF00, 0xF0, 0xF, 0xF000, 0, 0, 0},
        {D3DFMT_A2R10G10B10, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000u, 0, 0, 0},
        {D3DFMT_A16B16G16R16F, 64, 0, 0, 0, 0, 4, 16, 1},
        {D3DFMT_A32B32G32R32F, 128, 0, 0, 0, 0, 4, 32, 1},
        {D3DFMT_G16R16F, 32, 0, 0, 0, 0, 2, 16, 1},
        {D3DFMT_G32R32F, 64, 0, 0, 0, 0, 2, 32, 1},
        {D3DFMT_R16F, 16, 0, 0, 0, 0, 1, 16, 1},
        {D3DFMT_R32F, 32, 0, 0, 0, 0, 1, 32, 1},
    };
    constexpr int count = sizeof(known) / sizeof(known[0]);
    static ColorFormatDesc descs[count];
    static bool made = false;
    if (!made) {
        for (int i = 0; i < count; ++i) {
            const Known& k = known[i];
            BaseImage_ColorFormat_InitFromMasks(&descs[i], k.Bits, k.R, k.G, k.B, k.A, k.Channels, k.ChannelBits, k.Float);
        }
        made = true;
    }
    for (int i = 0; i < count; ++i)
        if (known[i].Format == format) return &descs[i];
    return nullptr;
}

// ---- Binding ----

int Graphics_D3D9_DrawScreen_Set(int target, int previousSurface, int previousMip, GraphHandleRecord* graph,
                                 GraphHandleRecord* previousGraph, ShadowMapRecord* shadowMap,
                                 ShadowMapRecord* previousShadowMap) {
    if (!D3D9Call_Device_Exists()) return -1;
    Graphics_D3D9_Scene_FlushAndEnd();
    UnbindDrawTexture();
    if (previousGraph != nullptr) ResolveGraph(previousGraph, previousSurface);

    IDirect3DSurface9* surface = nullptr;
    D3D9GraphSurfaces surfaces;
    if (shadowMap != nullptr) {
        const D3D9ShadowMapPlatform* map = Graphics_D3D9_ShadowMap_Platform(shadowMap);
        surface = map->Surface;
    } else if (graph != nullptr) {
        if (!GraphSurfaces(graph, 0, GraphicsScreenState.DrawTargets[0].Surface, &surfaces) || !surfaces.RenderTarget)
            return -1;
        surface = DrawnSurface(surfaces);
    } else {
        surface = Graphics_D3D9_DrawScreen_ScreenSurface();
    }
    if (surface == nullptr) return -1;
    Graphics_D3D9_StateCache_SetRenderTarget(surface, 0);
    Graphics_Screen_RebindDepthBuffer();
    return 0;
}

int Graphics_D3D9_DrawScreen_SetPost(int screen) {
    if (!D3D9Call_Device_Exists()) return -1;
    return Graphics_D3D9_FrontScreen_ArmFlipTimer(screen == DRAW_SCREEN_FRONT ? 1 : 0);
}

int Graphics_D3D9_ShaderRenderTarget_Set(int slot, int graph, int surface, int mip) {
    if (!GraphicsSystemState.ShadersUsable || !D3D9Call_Device_Exists()) return -1;
    if (slot < 0 || slot >= D3D9RenderTargetCount) return -1;
    Graphics_D3D9_Scene_FlushAndEnd();
    UnbindDrawTexture();
    DrawTargetSlot& held = GraphicsScreenState.DrawTargets[slot];
    if (GraphHandleRecord* previous = GraphOf(held.Handle)) ResolveGraph(previous, held.Surface);
    D3D9GraphSurfaces surfaces;
    GraphHandleRecord* record = GraphOf(graph);
    if (record != nullptr && GraphSurfaces(record, 0, surface, &surfaces)) {
        if (!surfaces.RenderTarget) return -1;
        Graphics_D3D9_StateCache_SetRenderTarget(DrawnSurface(surfaces), slot);
        return 0;
    }
    held.Handle = 0;
    held.Surface = 0;
    if (slot > 0) Graphics_D3D9_StateCache_SetRenderTarget(nullptr, slot);
    return 0;
}

// ---- Depth buffers ----

int Graphics_D3D9_ZBuffer_Create() {
    if (!D3D9Call_Device_Exists()) return -1;
    Graphics_D3D9_ZBuffer_Release();
    Log_AddTextShiftJIS("Ｚバッファを作成します.... ");
    int width = 1, height = 1;
    while (width < GraphicsScreenState.MainScreenWidth) width <<= 1;
    while (height < GraphicsScreenState.MainScreenHeight) height <<= 1;
    State.DepthBits = 16;
    IDirect3DSurface9* surface = nullptr;
    if (D3D9Call_Device_CreateDepthStencilSurface(
            (UINT)width, (UINT)height, D3D9DepthFormatTable[0], (D3DMULTISAMPLE_TYPE)GraphicsSystemState.ScreenMultiSampleCount,
            (DWORD)GraphicsSystemState.ScreenMultiSampleQuality, TRUE, &surface, nullptr) != D3D_OK) {
        Log_AddTextShiftJIS("Ｚバッファの作成に失敗しました\n");
        return -1;
    }
    State.DepthBuffer = surface;
    State.DepthWidth = width;
    State.DepthHeight = height;
    D3D9Call_Device_SetDepthStencilSurface(surface);
    D3D9Call_Device_Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    Log_AddTextShiftJIS("成功\n");
    return 0;
}

int Graphics_D3D9_ZBuffer_Release() {
    if (State.DepthBuffer == nullptr) return 0;
    if (D3D9Call_Device_Exists()) D3D9Call_Device_SetDepthStencilSurface(nullptr);
    D3D9Call_Object_Release(State.DepthBuffer);
    State.DepthBuffer = nullptr;
    State.DepthWidth = State.DepthHeight = 0;
    return 0;
}

int Graphics_D3D9_ZBuffer_Setup() {
    if (!D3D9Call_Device_Exists()) return -1;
    if (const D3D9ShadowMapPlatform* map = SlotShadowMap()) {
        D3D9Call_Device_SetDepthStencilSurface(map->DepthSurface);
        return 0;
    }
    GraphHandleRecord* target = GraphOf(GraphicsScreenState.DrawTargets[0].Handle);
    const int depthHandle = GraphicsScreenState.DepthBufferGraph;
    GraphHandleRecord* depth = depthHandle > 0 ? GraphOf(depthHandle) : nullptr;
    D3D9GraphSurfaces depthSurfaces;
    if (depth != nullptr && !GraphSurfaces(depth, 0, 0, &depthSurfaces)) depth = nullptr;

    IDirect3DSurface9* bound = nullptr;
    D3D9GraphSurfaces targetSurfaces;
    if (target == nullptr || !GraphSurfaces(target, 0, GraphicsScreenState.DrawTargets[0].Surface, &targetSurfaces)) {
        const bool depthFits = depth != nullptr && depth->Width >= GraphicsScreenState.MainScreenWidth &&
                               depth->Height >= GraphicsScreenState.MainScreenHeight;
        bound = depthFits ? depthSurfaces.Depth : State.DepthBuffer;
    } else if (depth == nullptr || depth->Width < target->Width || depth->Height < target->Height) {
        bound = targetSurfaces.Depth;
        if (bound == nullptr && State.DepthWidth >= targetSurfaces.Width && State.DepthHeight >= targetSurfaces.Height)
            bound = State.DepthBuffer;
    } else {
        bound = depthSurfaces.Depth;
    }
    D3D9Call_Device_SetDepthStencilSurface(bound);
    return 0;
}

int Graphics_D3D9_ZBuffer_CheckGraph(int reserved, GraphHandleRecord* graph) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (graph == nullptr) return 0;
    D3D9GraphSurfaces surfaces;
    return GraphSurfaces(graph, 0, 0, &surfaces) && surfaces.RenderTarget && surfaces.Depth != nullptr ? 0 : -1;
}

// ---- Clearing, filling, copying ----

int Graphics_D3D9_DrawScreen_Clear(const RECT* rect) {
    if (!D3D9Call_Device_Exists()) return 0;
    const DrawTargetSlot& slot = GraphicsScreenState.DrawTargets[0];
    GraphHandleRecord* graph = GraphOf(slot.Handle);
    Graphics_D3D9_Scene_FlushAndEnd();
    int width = GraphicsScreenState.MainScreenWidth, height = GraphicsScreenState.MainScreenHeight;
    D3D9GraphSurfaces surfaces;
    const ShadowMapRecord* shadow = Graphics_ShadowMap_GetHandleData(slot.Handle, 0);
    if (shadow != nullptr) {
        width = shadow->Width;
        height = shadow->Height;
    } else if (GraphSurfaces(graph, 0, slot.Surface, &surfaces)) {
        width = surfaces.Width;
        height = surfaces.Height;
    }
    // The viewport limits the clear: the whole target (a viewport past its edges would be refused).
    const D3DVIEWPORT9 whole = {0, 0, (DWORD)width, (DWORD)height, 0.0f, 1.0f};
    Graphics_D3D9_StateCache_SetViewport(&whole);
    const int32_t* c = GraphicsScreenState.BackgroundColor;
    const D3DCOLOR colour = D3DCOLOR_ARGB(c[3] & 0xFF, c[0] & 0xFF, c[1] & 0xFF, c[2] & 0xFF);
    D3DRECT area = {};
    if (rect != nullptr) area = {rect->left, rect->top, rect->right, rect->bottom};
    D3D9Call_Device_Clear(rect != nullptr ? 1 : 0, rect != nullptr ? &area : nullptr, D3DCLEAR_TARGET, colour, 1.0f, 0);
    if (State.DepthBuffer != nullptr) {
        // Reversed depth puts the far plane at 0, except in a shadow map, whose depth is compared the usual way.
        const float farDepth = DrawSettings.ReverseDepth && !ShadowMapSlots.Drawing ? 0.0f : 1.0f;
        D3D9Call_Device_Clear(rect != nullptr ? 1 : 0, rect != nullptr ? &area : nullptr, D3DCLEAR_ZBUFFER, 0, farDepth, 0);
    }
    const RECT& drawArea = DrawSettings.DrawArea;
    if (drawArea.right > drawArea.left && drawArea.bottom > drawArea.top)
        Graphics_D3D9_StateCache_SetViewportRect(drawArea.left, drawArea.top, drawArea.right, drawArea.bottom);
    return 0;
}

int Graphics_D3D9_Graph_Fill(GraphHandleRecord* graph, int red, int green, int blue, int alpha) {
    if (!D3D9Call_Device_Exists()) return -1;
    D3D9GraphSurfaces surfaces;
    if (!GraphSurfaces(graph, 0, 0, &surfaces) || !surfaces.RenderTarget) return 2;
    Graphics_D3D9_Scene_FlushAndEnd();
    const D3DCOLOR colour = (D3DCOLOR)((alpha & 0xFF) << 24 | (red & 0xFF) << 16 | (green & 0xFF) << 8 | (blue & 0xFF));
    for (int i = 0; i < graph->drawPartCount; ++i) {
        const GraphDrawPart& division = graph->drawParts[i];
        const int part = division.part != nullptr ? (int)(division.part - graph->Orig->parts) : 0;
        D3D9GraphSurfaces partSurfaces;
        if (!GraphSurfaces(graph, part, 0, &partSurfaces)) continue;
        const RECT rect = {division.srcX, division.srcY, division.srcX + division.width, division.srcY + division.height};
        D3D9Call_Device_ColorFill(partSurfaces.Surface, &rect, colour);
    }
    return 0;
}

int Graphics_D3D9_DrawScreen_CopyToGraph(GraphHandleRecord* destination, GraphHandleRecord* source, int lockTarget,
                                         int lockSurface, int lockMip, int reserved1, int reserved2, int left, int top,
                                         int right, int bottom, int destX, int destY) {
    if (!D3D9Call_Device_Exists()) return -1;
    Graphics_D3D9_Scene_FlushAndEnd();
    D3D9GraphSurfaces target;
    if (GraphSurfaces(destination, 0, 0, &target) && target.RenderTarget) {
        IDirect3DSurface9* from = nullptr;
        D3D9GraphSurfaces sourceSurfaces;
        if (source != nullptr) {
            if (GraphSurfaces(source, 0, lockSurface, &sourceSurfaces)) from = DrawnSurface(sourceSurfaces);
        } else {
            from = Graphics_D3D9_DrawScreen_ScreenSurface();
        }
        if (from == nullptr) return 0;
        const RECT rect = {left, top, right, bottom};
        const RECT to = {destX, destY, destX + (right - left), destY + (bottom - top)};
        D3D9Call_Device_StretchRect(from, &rect, target.Surface, &to, D3DTEXF_NONE);
        return 0;
    }
    const RECT rect = {left, top, right, bottom};
    BaseImage image = {};
    if (Graphics_Screen_LockDrawTarget(&rect, &image, lockTarget, lockSurface, lockMip, 1, 0) < 0) return -1;
    const BaseImageRect whole = {0, 0, right - left, bottom - top};
    const int handle = destination != nullptr ? destination->Header.Handle : -1;
    Graphics_Image_BltImageToGraph(&whole, destX, destY, handle, &image, nullptr, 0, 0, 0, 0);
    Graphics_Screen_UnlockDrawTarget();
    return 0;
}

// ---- Lock and read-back ----

int Graphics_D3D9_DrawScreen_Lock(const RECT* rect, BaseImage* out, int target, GraphHandleRecord* graph, int surface,
                                  int mip, int readOnly, int partIndex) {
    if (!D3D9Call_Device_Exists() || out == nullptr) return -1;
    Graphics_D3D9_Scene_FlushAndEnd();
    Graphics_D3D9_DrawScreen_Unlock();
    IDirect3DSurface9* source = nullptr;
    D3DFORMAT format = D3D9DeviceState.ScreenFormat;
    if (graph != nullptr) {
        D3D9GraphSurfaces surfaces;
        if (partIndex < 0 || partIndex >= graph->Orig->partCount) partIndex = 0;
        if (!GraphSurfaces(graph, partIndex, surface, &surfaces)) return -1;
        source = DrawnSurface(surfaces);
        format = surfaces.Format;
    } else {
        source = Graphics_D3D9_DrawScreen_ScreenSurface();
    }
    const ColorFormatDesc* desc = Graphics_D3D9_DrawScreen_FormatDesc(format);
    D3DSURFACE_DESC sourceDesc = {};
    if (source == nullptr || desc == nullptr || D3D9Call_Surface_GetDesc(source, &sourceDesc) != D3D_OK) return -1;
    RECT area = {0, 0, (LONG)sourceDesc.Width, (LONG)sourceDesc.Height};
    if (rect != nullptr) {
        if (rect->left < 0 || rect->top < 0 || rect->right > area.right || rect->bottom > area.bottom ||
            rect->left >= rect->right || rect->top >= rect->bottom)
            return -1;
        area = *rect;
    }
    const DWORD flags = readOnly ? D3DLOCK_READONLY : 0;
    const UINT width = (UINT)(area.right - area.left), height = (UINT)(area.bottom - area.top);
    D3DLOCKED_RECT locked = {};

    if (source == D3D9DeviceState.BackBuffer && BackBufferLockable() &&
        D3D9Call_Surface_LockRect(source, &locked, &area, flags) == D3D_OK) {
        State.LockedDirect = source;
    } else {
        IDirect3DSurface9* copy = nullptr;
        if (D3D9Call_Device_CreateRenderTarget(width, height, format, D3DMULTISAMPLE_NONE, 0, FALSE, &copy, nullptr) !=
            D3D_OK) {
            Log_AddTextShiftJIS("バックバッファロック用描画可能サーフェスの作成に失敗しました\n");
            return -1;
        }
        int index;
        while ((index = Graphics_D3D9_SysMemSurfacePool_Get((int)width, (int)height, format, nullptr)) < 0) {
            if (System_PollMessagesNoLock() < 0) {
                Log_AddTextShiftJIS("バックバッファロック用システムメモリサーフェスの作成に失敗しました\n");
                D3D9Call_Object_Release(copy);
                return -1;
            }
            Thread_Sleep(1);
        }
        IDirect3DSurface9* pooled = Graphics_D3D9_SysMemSurfacePool_Surface(index);
        const bool read = D3D9Call_Device_StretchRect(source, &area, copy, nullptr, D3DTEXF_NONE) == D3D_OK &&
                          D3D9Call_Device_GetRenderTargetData(copy, pooled) == D3D_OK &&
                          D3D9Call_Surface_LockRect(pooled, &locked, nullptr, flags) == D3D_OK;
        D3D9Call_Object_Release(copy);
        if (!read) {
            Graphics_D3D9_SysMemSurfacePool_ClearUseFlag(index, nullptr);
            return -1;
        }
        State.LockedPooled = pooled;
        State.LockedPoolIndex = index;
    }
    *out = {};
    out->format = *desc;
    out->width = (int32_t)width;
    out->height = (int32_t)height;
    out->pitch = (int32_t)locked.Pitch;
    out->pixels = locked.pBits;
    return 0;
}

int Graphics_D3D9_DrawScreen_Unlock() {
    if (State.LockedPooled != nullptr) {
        D3D9Call_Surface_UnlockRect(State.LockedPooled);
        Graphics_D3D9_SysMemSurfacePool_ClearUseFlag(State.LockedPoolIndex, nullptr);
        State.LockedPooled = nullptr;
        State.LockedPoolIndex = -1;
    } else if (State.LockedDirect != nullptr) {
        D3D9Call_Surface_UnlockRect(State.LockedDirect);
        State.LockedDirect = nullptr;
    }
    return 0;
}

int Graphics_D3D9_DrawScreen_GetPixel(int x, int y) {
    if (!D3D9Call_Device_Exists()) return -1;
    Graphics_D3D9_Scene_FlushAndEnd();
    const RECT rect = {x, y, x + 1, y + 1};
    BaseImage image = {};
    if (Graphics_Screen_LockDrawTarget(&rect, &image, -1, 0, 0, 1, 0) < 0) return -1;
    uint32_t colour = 0;
    const int read = Graphics_Screen_LockedPixelColour(&image, &colour);
    Graphics_Screen_UnlockDrawTarget();
    return read < 0 ? -1 : (int)colour;
}

int Graphics_D3D9_DrawScreen_RefreshTargetFlag() {
    bool onlyFirst = true;
    for (int i = 1; i < 8; ++i)
        if (GraphicsScreenState.DrawTargets[i].Handle != 0) onlyFirst = false;
    const int handle = GraphicsScreenState.DrawTargets[0].Handle;
    int flag = 0;
    if (onlyFirst && handle != -2 && handle != -3 && handle != -4 && handle != -16) {
        GraphHandleRecord* graph = GraphOf(handle);
        if (graph != nullptr && graph->Orig != nullptr && graph->Orig->format.alpha && graph->Orig->format.hardware)
            flag = 1;
    }
    if (flag != DrawSettings.DrawTargetFlag) {
        DrawSettings.DrawTargetFlag = flag;
        DrawSettings.StateChanged = 1;
    }
    return 0;
}

}  // namespace Vantrel
