// Direct3D 11 back-end lifecycle: start in its fixed order, the main depth buffer, the device objects of
// the core's handles, re-creation after a screen-mode change or a lost device, and the end.
// Stands on every other part of the back-end, the graphics core's handles and state, and the input module.
#include "graphics_d3d11/VtGraphicsD3D11System.h"

#include <string.h>

#include "foundation/VtCharCode.h"
#include "foundation/VtHandle.h"
#include "foundation/VtString.h"
#include "foundation/VtLog.h"
#include "graphics/VtGraphics.h"
#include "foundation/VtHandle.h"
#include "graphics/VtGraphicsMask.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics/VtGraphicsLight.h"
#include "graphics/VtGraphicsScreen.h"
#include "graphics/VtGraphicsShader.h"
#include "graphics/VtGraphicsShadowMap.h"
#include "graphics_d3d11/VtGraphicsD3D11.h"
#include "graphics_d3d11/VtGraphicsD3D11Filter.h"
#include "graphics_d3d11/VtGraphicsD3D11Live2D.h"
#include "graphics_d3d11/VtGraphicsD3D11Batch.h"
#include "graphics_d3d11/VtGraphicsD3D11ConstantBuffer.h"
#include "graphics_d3d11/VtGraphicsD3D11Device.h"
#include "graphics_d3d11/VtGraphicsD3D11DrawTarget.h"
#include "graphics_d3d11/VtGraphicsD3D11NormalDraw.h"
#include "graphics_d3d11/VtGraphicsD3D11ShaderBlit.h"
#include "graphics_d3d11/VtGraphicsD3D11ShaderCode.h"
#include "graphics_d3d11/VtGraphicsD3D11State.h"
#include "graphics_d3d11/VtGraphicsD3D11Texture.h"
#include "movie/VtMovie.h"
#include "graphics_d3d11/VtGraphicsD3D11Window.h"
#include "system/VtInput.h"
#include "system/VtSystem.h"
#include "system/VtWindow.h"

namespace Vantrel {

D3D11SystemStateRecord D3D11SystemState = {D3D11DeviceEnabledByDefault, nullptr, nullptr, 0};

namespace {

bool Step(int result) { return result >= 0; }

void ReleaseDepthBuffer() {
    if (D3D11StateCache.DepthView == D3D11SystemState.DepthView && D3D11SystemState.DepthView != nullptr)
        Graphics_D3D11_StateCache_SetDepthStencilView(nullptr, nullptr);
    D3D11Call_DepthStencilView_Release(D3D11SystemState.DepthView);
    D3D11Call_Texture2D_Release(D3D11SystemState.DepthTexture);
    D3D11SystemState.DepthView = nullptr;
    D3D11SystemState.DepthTexture = nullptr;
}

}  // namespace

int Graphics_D3D11_SetDeviceEnabled(int flag) {
    D3D11SystemState.DeviceEnabled = flag != 0;
    return 0;
}

int Graphics_D3D11_IsDeviceEnabled() { return D3D11SystemState.DeviceEnabled; }

// ---- Start ----

int Graphics_D3D11_System_Initialize() {
    const bool started =
        Step(D3D11Call_LoadD3D11()) && Step(D3D11Call_LoadDXGI(1)) && Step(Graphics_D3D11_Device_Setup()) &&
        Step(Graphics_D3D11_VertexBatch_Create()) && Step(Graphics_D3D11_Shader_Initialize()) &&
        Step(Graphics_D3D11_ConstantBuffers_Create()) && Step(Graphics_D3D11_InputLayout_CreateAll()) &&
        Step(Graphics_D3D11_SimpleTransfer_Initialize()) && Step(Graphics_D3D11_DepthBuffer_Create()) &&
        (Window_IsWindowed() || Graphics_Screen_GetFullScreenResolutionMode() == 0 ||
         Step(Graphics_D3D11_SubBackBuffer_Create()));
    if (!started) {
        Graphics_D3D11_System_Terminate();
        return -1;
    }
    GraphicsSystemState.DeviceValid = 1;
    Graphics_D3D11_GraphFilter_Install();
    return 0;
}

int Graphics_D3D11_Device_Initialize() {
    if (!D3D11SystemState.DeviceEnabled) {
        // The device is not used in this build: tell the log whether the system has it and fall back.
        if (D3D11Call_LoadD3D11() < 0) return -1;
        Log_AddTextShiftJIS("Direct3D 11 のデバイスは使用しません\n");
        D3D11Call_FreeD3D11();
        return -1;
    }
    Graphics_D3D11_NormalDraw_Reset();
    return Graphics_D3D11_System_Initialize() < 0 ? -1 : 0;
}

int Graphics_D3D11_Device_PostInitialize() {
    if (!D3D11Call_Device_Exists()) return -1;
    Graphics_D3D11_StateCache_RefreshAll();
    Graphics_D3D11_DrawScreen_Clear(nullptr);
    CharCode_CopyString(CharCode_GetWidePage(), GraphicsSystemState.GraphicsApiName, L"DirectX 11");
    return 0;
}

int Graphics_D3D11_StateCache_Reapply() { return Graphics_D3D11_StateCache_RefreshAll(); }

int Graphics_D3D11_DepthBuffer_Create() {
    if (!D3D11Call_Device_Exists()) return -1;
    ReleaseDepthBuffer();
    Log_AddTextShiftJIS("深度バッファを作成します.... ");
    D3D11_TEXTURE2D_DESC desc = {};
    desc.Width = (UINT)GraphicsScreenState.ScreenWidth;
    desc.Height = (UINT)GraphicsScreenState.ScreenHeight;
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = D3D11DeviceState.DepthTextureFormat[0];
    desc.SampleDesc.Count = GraphicsSystemState.ScreenMultiSampleCount > 0 ? (UINT)GraphicsSystemState.ScreenMultiSampleCount : 1;
    desc.SampleDesc.Quality = (UINT)GraphicsSystemState.ScreenMultiSampleQuality;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_DEPTH_STENCIL;
    if (D3D11Call_Device_CreateTexture2D(&desc, nullptr, &D3D11SystemState.DepthTexture) != S_OK) {
        D3D11SystemState.DepthTexture = nullptr;
        Log_AddTextShiftJIS("深度バッファ用 Texture2D の作成に失敗しました\n");
        return -1;
    }
    D3D11_DEPTH_STENCIL_VIEW_DESC view = {};
    view.Format = D3D11DeviceState.DepthViewFormat[0];
    view.ViewDimension = desc.SampleDesc.Count > 1 ? D3D11_DSV_DIMENSION_TEXTURE2DMS : D3D11_DSV_DIMENSION_TEXTURE2D;
    if (D3D11Call_Device_CreateDepthStencilView(D3D11SystemState.DepthTexture, &view, &D3D11SystemState.DepthView) != S_OK) {
        D3D11SystemState.DepthView = nullptr;
        Log_AddTextShiftJIS("深度バッファ用 DepthStencilView の作成に失敗しました\n");
        ReleaseDepthBuffer();
        return -1;
    }
    Graphics_D3D11_StateCache_SetDepthStencilView(D3D11SystemState.DepthTexture, D3D11SystemState.DepthView);
    D3D11Call_DeviceContext_ClearDepthStencilView(D3D11SystemState.DepthView, D3D11_CLEAR_DEPTH | D3D11_CLEAR_STENCIL,
                                                  1.0f, 0);
    Log_AddTextShiftJIS("成功\n");
    return 0;
}

// ---- Device objects of the handles ----

int Graphics_D3D11_DeviceObjects_ReleaseAll() {
    Graphics_D3D11_HandleObjects_ReleaseAll();
    return Graphics_D3D11_System_Terminate();
}

int Graphics_D3D11_HandleObjects_ReleaseAll() {
    Handle_ForEachRecord<GraphHandleRecord>(HandleType_Graph, [](GraphHandleRecord* record) {
        if (record->Orig == nullptr) return;
        Graphics_D3D11_Texture_Release(record->Orig);
        // A movie's frames come back through its own surface: it is made again with the textures.
        if (record->Orig->movie != -1) Movie_ReleaseSurface(record->Orig->movie);
    });
    Handle_ForEachRecord<ShadowMapRecord>(HandleType_ShadowMap,
                                   [](ShadowMapRecord* record) { Graphics_D3D11_ShadowMap_ReleaseTextures(record); });
    Handle_ForEachRecord<BufferHandleRecord>(HandleType_VertexBuffer,
                                      [](BufferHandleRecord* record) { Graphics_D3D11_Buffer_Release(record); });
    Handle_ForEachRecord<BufferHandleRecord>(HandleType_IndexBuffer,
                                      [](BufferHandleRecord* record) { Graphics_D3D11_Buffer_Release(record); });
    Handle_ForEachRecord<ShaderHandleRecord>(HandleType_Shader,
                                      [](ShaderHandleRecord* record) { Graphics_D3D11_Shader_Release(record); });
    if (!D3D11Call_Device_Exists()) return 0;
    // The bindings start again from nothing, so that the next setter sends them.
    D3D11StateCacheRecord& cache = D3D11StateCache;
    memset(cache.PSResources, 0, sizeof(cache.PSResources));
    cache.InputLayout = nullptr;
    cache.VertexShader = nullptr;
    cache.PixelShader = nullptr;
    cache.IndexBuffer = nullptr;
    cache.VertexBuffer = nullptr;
    memset(cache.RenderTargetTexture, 0, sizeof(cache.RenderTargetTexture));
    memset(cache.RenderTargetView, 0, sizeof(cache.RenderTargetView));
    cache.DepthTexture = nullptr;
    cache.DepthView = nullptr;
    D3D11Call_DeviceContext_PSSetShaderResources(0, D3D11PSResourceCount, cache.PSResources);
    return 0;
}

int Graphics_D3D11_HandleObjects_CreateAll() {
    Handle_ForEachRecord<GraphHandleRecord>(HandleType_Graph, [](GraphHandleRecord* record) {
        if (record->Orig != nullptr && record->Orig->format.hardware) Graphics_D3D11_OrigTexture_Create(record->Orig, nullptr);
    });
    Handle_ForEachRecord<ShadowMapRecord>(HandleType_ShadowMap,
                                   [](ShadowMapRecord* record) { Graphics_D3D11_ShadowMap_CreateTextures(record, nullptr); });
    // The new constant buffers start empty: the slots' light matrices and parameters go in again.
    Graphics_D3D11_ShadowMap_RefreshLightMatrices();
    Graphics_D3D11_ShadowMap_RefreshSlotParams();
    // Buffers come back filled from their system copies, shaders from their kept byte code; a failure is
    // logged and the rest go on.
    Handle_ForEachRecord<BufferHandleRecord>(HandleType_VertexBuffer,
                                      [](BufferHandleRecord* record) { Graphics_D3D11_Buffer_Create(record, 0); });
    Handle_ForEachRecord<BufferHandleRecord>(HandleType_IndexBuffer,
                                      [](BufferHandleRecord* record) { Graphics_D3D11_Buffer_Create(record, 1); });
    Handle_ForEachRecord<ShaderHandleRecord>(HandleType_Shader,
                                      [](ShaderHandleRecord* record) { Graphics_D3D11_Shader_ReCreate(record); });
    return 0;
}

// ---- Re-creation ----

int Graphics_D3D11_Device_RestoreOrChange(int mode, int width, int height, int colorBits, int refreshRate) {
    if (GraphicsSystemState.BeforeReCreateCallback != nullptr)
        GraphicsSystemState.BeforeReCreateCallback(GraphicsSystemState.BeforeReCreateParam);
    // The mask screen goes with the device objects and comes back, all drawable, at the new size.
    Mask_FreeSurfaces();
    if (!LibraryCore.NoGraphics) Graphics_Dispatch_DeviceObjects_ReleaseAll();
    if (mode == 1) {
        if (width > 0 && height > 0) Graphics_Screen_SetMainScreenSize(width, height);
        if (colorBits > 0) GraphicsScreenState.ColourBits = colorBits;
        if (refreshRate > 0) GraphicsScreenState.RefreshRate = refreshRate;
    } else if (Input_IsInitialized()) {
        Input_Terminate();
        Input_Initialize();
    }
    if (LibraryCore.NoGraphics) return 0;
    // A restore keeps the screen size it had (the activation passes -1 for every value).
    if (width <= 0 || height <= 0) width = GraphicsScreenState.ScreenWidth, height = GraphicsScreenState.ScreenHeight;
    Graphics_D3D11_NormalDraw_Reset();
    if (Graphics_D3D11_System_Initialize() < 0) return -1;
    Graphics_D3D11_StateCache_SetDefaults();
    DrawSettings.StateChanged = 1;   // the next draw sends the core's settings to the new device
    LightState.ForceResend = 1;      // lights and material too, at the next lit draw
    DrawSettings.MaterialChanged = 1;
    Graphics_D3D11_HandleObjects_CreateAll();
    const int main = D3D11WindowState.MainTarget;
    if (Window_IsWindowed() && !Window.ModeChanging) Graphics_D3D11_TargetWindow_ResizeBuffer(main, width, height);
    else Graphics_D3D11_TargetWindow_ReCreate(main);
    Graphics_DrawSetting_SetDrawAreaRect(0, 0, width, height);
    // Graphs made only for the old device (the built-in white and pattern graphs) go; they are made
    // again on their next use. The new textures of the others are empty: every graph is loaded again
    // from where its pixels came from.
    Graphics_Image_DeleteLostFlaggedGraphs();
    Graphics_Image_RestoreAllAfterLoss();
    const DrawTargetSlot& slot = GraphicsScreenState.DrawTargets[0];
    GraphHandleRecord* target = slot.Handle >= 0 ? Graphics_Image_GetGraphRecord(slot.Handle, 0) : nullptr;
    Graphics_D3D11_DrawScreen_Set(slot.Handle, slot.Surface, slot.MipLevel, target, nullptr, nullptr, nullptr);
    Mask_RestoreScreen();
    return 0;
}

int Graphics_D3D11_Device_RecoverFromLoss() {
    Log_AddTextShiftJIS("Direct3D 11 のデバイスが失われたので作り直します\n");
    ++D3D11SystemState.Restores;
    return Graphics_Dispatch_Device_RestoreOrChange(0, -1, -1, -1, -1);
}

// ---- End ----

int Graphics_D3D11_System_Terminate() {
    GraphicsSystemState.DeviceValid = 0;
    Graphics_D3D11_Mask_ReleaseSurfaces();
    Graphics_D3D11_Live2D_Release();
    Graphics_D3D11_GraphFilter_Uninstall();
    Graphics_D3D11_SimpleTransfer_Terminate();
    Graphics_D3D11_Texture_FreeCommonBuffer();
    Graphics_D3D11_DrawScreen_Unlock();
    Graphics_D3D11_StateCache_ReleaseAll();
    Graphics_D3D11_GenericVertexBuffer_Release();
    Graphics_D3D11_VertexBatch_Release();
    Graphics_D3D11_InputLayout_ReleaseAll();
    Graphics_D3D11_Shader_ReleaseAll();
    Graphics_D3D11_ConstantBuffers_Release();
    D3D11TargetWindow& main = D3D11WindowState.Targets[0];
    if (D3D11WindowState.FullScreenState) {
        D3D11WindowState.FullScreenState = 0;
        if (main.SwapChain != nullptr) D3D11Call_SwapChain_SetFullscreenState(main.SwapChain, FALSE, nullptr);
    }
    ReleaseDepthBuffer();
    Graphics_D3D11_SubBackBuffer_Release();
    Graphics_D3D11_TargetWindow_DetachAll();
    const bool hadDevice = D3D11Call_Device_Exists() || D3D11CallState.D3D11Module != nullptr;
    D3D11Call_Device_ReleaseAll();
    D3D11Call_DXGIFactory_ReleaseAll();
    D3D11Call_FreeD3D11();
    D3D11Call_FreeDXGI(1);
    if (hadDevice) D3D11Call_DumpObjectCounts();
    Graphics_D3D11_StateCache_ReleaseAll();
    return 0;
}

int Graphics_D3D11_Device_Terminate() {
    Graphics_D3D11_System_Terminate();
    Graphics_D3D11_ShaderCode_BaseTerminate();
    return 0;
}

}  // namespace Vantrel
