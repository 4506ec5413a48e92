// Direct3D 9 back-end lifecycle: start in its fixed order, the circle rasterisation probe, the end with
// the live-object dump, and the recovery from a lost device or a screen-mode change.
// Stands on every other part of the back-end, the graphics core's handles and state, and the input module.
#include "graphics_d3d9/VtGraphicsD3D9System.h"

#include <stddef.h>
#include <string.h>

#include "foundation/VtCharCode.h"
#include "foundation/VtString.h"
#include "foundation/VtHandle.h"
#include "foundation/VtLog.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsCamera.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics/VtGraphicsLight.h"
#include "graphics/VtGraphicsMask.h"
#include "graphics/VtGraphicsScreen.h"
#include "graphics/VtGraphicsShader.h"
#include "graphics/VtGraphicsShadowMap.h"
#include "graphics_d3d9/VtGraphicsD3D9.h"
#include "graphics_d3d9/VtGraphicsD3D9Batch.h"
#include "graphics_d3d9/VtGraphicsD3D9Call.h"
#include "graphics_d3d9/VtGraphicsD3D9Device.h"
#include "graphics_d3d9/VtGraphicsD3D9Filter.h"
#include "graphics_d3d9/VtGraphicsD3D9DrawTarget.h"
#include "graphics_d3d9/VtGraphicsD3D9Present.h"
#include "graphics_d3d9/VtGraphicsD3D9Shader.h"
#include "graphics_d3d9/VtGraphicsD3D9Shape.h"
#include "graphics_d3d9/VtGraphicsD3D9ShaderConstant.h"
#include "graphics_d3d9/VtGraphicsD3D9State.h"
#include "graphics_d3d9/VtGraphicsD3D9SysMemPool.h"
#include "graphics_d3d9/VtGraphicsD3D9Texture.h"
#include "graphics_d3d9/VtGraphicsD3D9VBlank.h"
#include "image/VtMemImg.h"
#include "movie/VtMovie.h"
#include "system/VtInput.h"
#include "system/VtSystem.h"
#include "system/VtWindow.h"

namespace Vantrel {

D3D9SystemStateRecord D3D9SystemState = {0, 0, 0, 0, 0, nullptr};

namespace {

// The default depth surface, the sub back buffer, the back buffer, the device and swap chain, the
// Direct3D 9 object, d3d9.dll and the DirectDraw object, in this order.
void ReleaseDeviceAndBelow() {
    D3D9DeviceStateRecord& device = D3D9DeviceState;
    Graphics_D3D9_DrawScreen_Unlock();
    Graphics_D3D9_ZBuffer_Release();
    Graphics_D3D9_SubBackBuffer_Release();
    D3D9Call_Object_Release(device.BackBuffer);
    device.BackBuffer = nullptr;
    D3D9Call_Device_Release();
    D3D9DeviceStateCache.Scene = 0;
    D3D9Call_Direct3D9_Release();
    D3D9Call_Library_Free();
    D3D9Call_DDraw_Release();
}

// The screen settings and capabilities a failed start must leave as they were: the core goes on
// without a device, on the settings it had.
struct CoreSettings {
    int32_t MainWidth, MainHeight, ColourBits;
    RECT MonitorRect;
    uint8_t Caps[offsetof(GraphicsSystemStateRecord, PresentInProgress) -
                 offsetof(GraphicsSystemStateRecord, ScreenMultiSampleCount)];
};

void SaveCore(CoreSettings& saved) {
    saved.MainWidth = GraphicsScreenState.MainScreenWidth;
    saved.MainHeight = GraphicsScreenState.MainScreenHeight;
    saved.ColourBits = GraphicsScreenState.ColourBits;
    saved.MonitorRect = GraphicsScreenState.MonitorRect;
    memcpy(saved.Caps, &GraphicsSystemState.ScreenMultiSampleCount, sizeof(saved.Caps));
}

void RestoreCore(const CoreSettings& saved) {
    if (GraphicsScreenState.MainScreenWidth != saved.MainWidth || GraphicsScreenState.MainScreenHeight != saved.MainHeight)
        Graphics_Screen_SetMainScreenSize(saved.MainWidth, saved.MainHeight);
    GraphicsScreenState.ColourBits = saved.ColourBits;
    GraphicsScreenState.MonitorRect = saved.MonitorRect;
    memcpy(&GraphicsSystemState.ScreenMultiSampleCount, saved.Caps, sizeof(saved.Caps));
}

bool ExclusiveFullScreen() { return !Window_IsWindowed() && Graphics_Screen_GetFullScreenResolutionMode() != 0; }

// ---- Rasterisation probe ----

int ProbeRead(int x, int y) {
    return D3D9SystemState.ProbeReadPixel != nullptr ? D3D9SystemState.ProbeReadPixel(x, y) : ReadDrawScreenPixel(x, y);
}

// One round: a white disc of centre (16, 16) and radius 10, its edge pixels read, the area erased in the
// background colour. True when the disc came out where it belongs: (5, 16) dark and (26, 16) lit.
bool ProbeRound() {
    int red = 0, green = 0, blue = 0;
    Graphics_Screen_GetBackgroundColour(&red, &green, &blue);
    const uint32_t background = (uint32_t)(((red & 0xFF) << 16) | ((green & 0xFF) << 8) | (blue & 0xFF));
    DrawCircleShape(16, 16, 10, 0xFFFFFF, 1, 1);
    const uint32_t left = (uint32_t)ProbeRead(5, 16) & 0xFFFFFF;
    const uint32_t right = (uint32_t)ProbeRead(26, 16) & 0xFFFFFF;
    DrawRectangle(5, 5, 28, 28, background, 1, 1);
    ++D3D9SystemState.ProbeRounds;
    const bool leftLit = left != background, rightLit = right != background;
    return !leftLit && rightLit;
}

// ---- Handle objects ----

// What the restore puts back after the system came up again: the view, both projections and the
// world matrix, and the draw area.
struct KeptView {
    MatrixD World, View, Projection, UserProjection;
    int32_t ProjectionType;
    RECT DrawArea;
};

KeptView KeepView() {
    const GraphicsTransformRecord& t = GraphicsTransform;
    return {t.World, t.View, t.Projection, t.ProjectionSource, t.ProjectionType, DrawSettings.DrawArea};
}

void PutViewBack(const KeptView& kept) {
    Graphics_DrawSetting_SetDrawAreaRect(kept.DrawArea.left, kept.DrawArea.top, kept.DrawArea.right, kept.DrawArea.bottom);
    SetWorldTransformMatrix(&kept.World);
    SetViewTransformMatrix(&kept.View);
    // A projection the caller gave stays his; one the camera derives is derived again from the same
    // parameters, and the projection in use goes back as it was.
    if (kept.ProjectionType == PROJECTION_USER) Graphics_Camera_SetUserProjectionMatrix(&kept.UserProjection);
    else GraphicsTransform.ProjectionSource = kept.UserProjection;
    Graphics_Camera_ApplyProjectionMatrix(&kept.Projection);
}

}  // namespace

// ---- Start ----

int Graphics_D3D9_System_Initialize() {
    GraphicsSystemState.DeviceValid = 0;
    bool built = D3D9Call_Library_Load() >= 0;
    // Without the DirectDraw object the vertical-blank waits pace by time; the device does not need it.
    if (built) D3D9Call_DDraw_Create();
    while (built) {
        built = D3D9Call_Direct3D9_Create() >= 0;
        if (!built) break;
        const int result = Graphics_D3D9_Device_Setup();
        if (result == -2) continue;   // the Ex device was refused: once more with a plain object
        built = result >= 0;
        break;
    }
    if (built) built = Graphics_D3D9_ZBuffer_Create() >= 0;
    if (!built) {
        ReleaseDeviceAndBelow();
        return -1;
    }
    Graphics_D3D9_Shader_Initialize();
    if (GraphicsSystemState.ShadersUsable && ExclusiveFullScreen()) Graphics_D3D9_SubBackBuffer_Create();
    D3D9SystemState.Starts++;
    GraphicsSystemState.DeviceValid = 1;
    return 0;
}

int Graphics_D3D9_Device_Initialize() {
    CoreSettings saved;
    SaveCore(saved);
    if (Graphics_D3D9_System_Initialize() < 0) {
        Graphics_D3D9_System_Terminate();
        Graphics_D3D9_ShaderCode_Base_Terminate();
        RestoreCore(saved);
        return -1;
    }
    Graphics_D3D9_ShaderConstant_Initialize(&D3D9ShaderConstants);
    Graphics_D3D9_ShaderConstant_SelectLayers(&D3D9ShaderConstants, 1);
    return 0;
}

int Graphics_D3D9_Device_PostInitialize() {
    if (!D3D9Call_Device_Exists()) return -1;
    Graphics_D3D9_StateCache_RefreshAll();
    CharCode_CopyString(CharCode_GetWidePage(), GraphicsSystemState.GraphicsApiName, L"DirectX 9");
    return Graphics_D3D9_Device_ProbeCircleRaster();
}

int Graphics_D3D9_Device_ProbeCircleRaster() {
    // The circle body reads its span offsets from the shape state: each round draws with the offset tried.
    Graphics_D3D9_Shape_ResetCircleOffsets();
    D3D9SystemState.ProbeRounds = 0;
    if (ProbeRound()) return 0;
    D3D9ShapeState.CirclePixelOffset[0] = -0.1f;
    if (!ProbeRound()) D3D9ShapeState.CirclePixelOffset[0] = 0.0f;
    return 0;
}

// ---- Device objects ----

int Graphics_D3D9_HandleObjects_ReleaseAll() {
    Handle_ForEachRecord<GraphHandleRecord>(HandleType_Graph, [](GraphHandleRecord* record) {
        if (record->Orig == nullptr) return;
        Graphics_Dispatch_Texture_Release(record->Orig);
        // A movie's frames come back through its own surface: it is made again with the textures.
        if (record->Orig->movie != -1) Movie_ReleaseSurface(record->Orig->movie);
    });
    Handle_ForEachRecord<ShadowMapRecord>(HandleType_ShadowMap,
                                          [](ShadowMapRecord* record) { Graphics_D3D9_ShadowMap_ReleaseTextures(record); });
    Handle_ForEachRecord<BufferHandleRecord>(HandleType_VertexBuffer,
                                             [](BufferHandleRecord* record) { Graphics_D3D9_Buffer_Release(record); });
    Handle_ForEachRecord<BufferHandleRecord>(HandleType_IndexBuffer,
                                             [](BufferHandleRecord* record) { Graphics_D3D9_Buffer_Release(record); });
    Handle_ForEachRecord<ShaderHandleRecord>(HandleType_Shader,
                                             [](ShaderHandleRecord* record) { Graphics_D3D9_Shader_Release(record); });
    Graphics_D3D9_SysMemPool_ReleaseObjects();
    // The cache must not hand the new device a shader or buffer of the old one.
    Graphics_D3D9_StateCache_ForgetShadersAndInputs();
    return 0;
}

int Graphics_D3D9_DeviceObjects_ReleaseAll() {
    Mask_FreeSurfaces();
    Graphics_D3D9_HandleObjects_ReleaseAll();
    return Graphics_D3D9_System_Terminate();
}

// ---- Loss and mode change ----

int Graphics_D3D9_Device_CheckLostOnActivate() {
    if (!D3D9Call_Device_Exists()) {
        // An earlier restore could not build the device: every activation tries again.
        if (GraphicsApi != GRAPHICS_API_D3D9 || D3D9SystemState.FailedRestores == 0) return 0;
        return Graphics_Dispatch_Device_RestoreOrChange(0, -1, -1, -1, -1);
    }
    Graphics_D3D9_Scene_FlushAndEnd();
    if (!D3D9Call_Device_CheckLost()) return 0;
    Log_AddTextShiftJIS("Direct3D 9 のデバイスが失われたので作り直します\n");
    return Graphics_Screen_RestoreOnActivate();
}

int Graphics_D3D9_Device_RestoreOrChange(int mode, int width, int height, int colorBits, int refreshRate) {
    D3D9SystemStateRecord& state = D3D9SystemState;
    ++state.Restores;
    const KeptView kept = KeepView();
    state.Restoring = 1;
    if (!LibraryCore.NoGraphics) Graphics_Dispatch_DeviceObjects_ReleaseAll();
    state.Restoring = 0;
    if (mode == 1) {
        if (width > 0 && height > 0) Graphics_Screen_SetMainScreenSize(width, height);
        if (refreshRate > 0) GraphicsScreenState.RefreshRate = refreshRate;
        if (colorBits > 0) {
            GraphicsScreenState.ColourBits = colorBits;
            MemImg_SetDefaultColorType(colorBits == 32 ? MemImgColorType_XRGB8 : MemImgColorType_R5G6B5);
        }
    } else if (Input_IsInitialized()) {
        Input_Terminate();
        Input_Initialize();
    }
    if (LibraryCore.NoGraphics) return 0;

    if (Graphics_D3D9_System_Initialize() < 0) {
        // Nothing is left of the old device and no new one came: the core goes on knowing there is none,
        // every drawing body finds no device, and the next activation tries again.
        ++state.FailedRestores;
        state.Restoring = 1;
        Graphics_D3D9_System_Terminate();
        state.Restoring = 0;
        Log_AddTextShiftJIS("Direct3D 9 のデバイスを作り直せませんでした\n");
        return -1;
    }
    state.FailedRestores = 0;
    Graphics_D3D9_ShaderConstant_Initialize(&D3D9ShaderConstants);
    Graphics_D3D9_ShaderConstant_SelectLayers(&D3D9ShaderConstants, 1);
    Graphics_D3D9_StateCache_SetDefaults();
    Graphics_D3D9_DeviceObjects_CreateAll();
    Mask_RestoreScreen();

    const DrawTargetSlot target = GraphicsScreenState.DrawTargets[0];
    SetShaderRenderTarget(0, target.Handle, target.Surface, 0);
    Graphics_D3D9_StateCache_Restore();
    // The new textures are empty: graphs flagged to go with the device go, the others are loaded again
    // from where their pixels came from (fonts' cache graphs too).
    Graphics_Image_DeleteLostFlaggedGraphs();
    Graphics_Image_RestoreAllAfterLoss();
    Graphics_D3D9_StateCache_RefreshAll();
    DrawSettings.StateChanged = 1;
    DrawSettings.MaterialChanged = 1;
    LightState.ForceResend = 1;
    if (mode != 1) PutViewBack(kept);
    else Graphics_DrawSetting_SetDrawAreaRect(0, 0, GraphicsScreenState.MainScreenWidth, GraphicsScreenState.MainScreenHeight);
    for (int i = 1; i < GraphicsSystemState.MaxRenderTargets && i < 8; ++i) {
        const DrawTargetSlot& slot = GraphicsScreenState.DrawTargets[i];
        if (slot.Handle != 0) SetShaderRenderTarget(i, slot.Handle, slot.Surface, 0);
    }
    return 0;
}

// ---- End ----

int Graphics_D3D9_System_Terminate() {
    GraphicsSystemState.DeviceValid = 0;
    const bool hadDevice = D3D9Call_Device_Exists() || D3D9CallState.Module != nullptr;
    Graphics_D3D9_VertexBatch_Reset();
    Graphics_D3D9_Shader_ReleaseAll();
    Graphics_D3D9_GraphFilter_ReleaseShaders();
    // The pools' entries live across a restore, which makes their objects anew; any other end takes
    // the entries with their objects.
    if (D3D9SystemState.Restoring) {
        Graphics_D3D9_SysMemPool_ReleaseObjects();
    } else {
        Graphics_D3D9_SysMemTexturePool_Release(0);
        Graphics_D3D9_SysMemSurfacePool_Release(0);
    }
    ReleaseDeviceAndBelow();
    if (hadDevice) D3D9Call_DumpObjectCounts();
    Graphics_D3D9_StateCache_Clear();
    return 0;
}

int Graphics_D3D9_Device_Terminate() {
    Graphics_D3D9_System_Terminate();
    Graphics_D3D9_ShaderCode_Base_Terminate();
    return 0;
}

}  // namespace Vantrel
