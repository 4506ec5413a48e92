// Direct3D 11 target windows, swap chains and screen flip: attaching and detaching windows, swap-chain
// creation (DXGI 1.2 factory first), the back buffer's views, resizing and re-creating, the full-screen
// state, the sub back buffer and the flip.
// Stands on the call layer, the state cache, the vertex batch, the simple-transfer blit, the graphics
// core's screen state and the window module.
#include "graphics_d3d11/VtGraphicsD3D11Window.h"

#include <string.h>

#include "foundation/VtLog.h"
#include "foundation/VtWinAPI.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics/VtGraphicsScreen.h"
#include "graphics_d3d11/VtGraphicsD3D11Batch.h"
#include "graphics_d3d11/VtGraphicsD3D11ShaderBlit.h"
#include "graphics_d3d11/VtGraphicsD3D11State.h"
#include "graphics_d3d11/VtGraphicsD3D11System.h"
#include "image/VtBaseImage.h"
#include "system/VtWindow.h"
#include "system/VtWindowSettings.h"

namespace Vantrel {

D3D11WindowStateRecord D3D11WindowState;

namespace {

D3D11WindowStateRecord& State = D3D11WindowState;

bool ValidIndex(int index) { return index >= 0 && index < D3D11TargetWindowMax; }

void ReleaseOutputs(D3D11TargetWindow& target) {
    D3D11Call_Object_Release(target.Output1);
    D3D11Call_Object_Release(target.Output);
    target.Output1 = nullptr;
    target.Output = nullptr;
}

// Views, back buffer, outputs and swap chain of a record.
void ReleaseRecord(int index) {
    D3D11TargetWindow& target = State.Targets[index];
    Graphics_D3D11_TargetWindow_ReleaseBuffer(index);
    ReleaseOutputs(target);
    D3D11Call_Object_Release(target.SwapChain);
    target.SwapChain = nullptr;
}

// The render-target slot of the state cache holding the record's back buffer, unbound; -1 when none held it.
int UnbindBackBuffer(const D3D11TargetWindow& target) {
    if (target.BackBuffer == nullptr) return -1;
    for (int slot = 0; slot < 8; ++slot) {
        if (D3D11StateCache.RenderTargetTexture[slot] != target.BackBuffer) continue;
        Graphics_D3D11_StateCache_SetRenderTarget(nullptr, nullptr, slot);
        return slot;
    }
    return -1;
}

void RebindBackBuffer(const D3D11TargetWindow& target, int slot) {
    if (slot >= 0) Graphics_D3D11_StateCache_SetRenderTarget(target.BackBuffer, target.BackBufferRTV, slot);
}

void ClearView(ID3D11RenderTargetView* view, float r, float g, float b, float a) {
    const FLOAT colour[4] = {r, g, b, a};
    D3D11Call_DeviceContext_ClearRenderTargetView(view, colour);
}

// The picture's place in the back buffer when windowed: scaled by the window's rates; centred in a
// maximised window the picture is fitted to; with a tool bar, at the bottom of the client area while the
// picture is fitted, else just below the bar.
RECT WindowedDestination(int screenWidth, int screenHeight, RECT* source) {
    double rateX = 1.0, rateY = 1.0;
    Window_GetScaleRate(&rateX, &rateY);
    if (GraphicsScreenState.LowResolutionEmulation) {
        *source = {0, 0, 320, 240};
        return {0, 0, (LONG)(640 * rateX), (LONG)(480 * rateY)};
    }
    const int width = (int)(screenWidth * rateX), height = (int)(screenHeight * rateY);
    RECT destination = {0, 0, width, height};
    const int clientWidth = Window.ClientRect.right - Window.ClientRect.left;
    const int clientHeight = Window.ClientRect.bottom - Window.ClientRect.top;
    const bool fitted = Window_IsFitToMaximised() != 0;
    if (fitted) {
        destination.left = (clientWidth - width) / 2;
        destination.top = (clientHeight - height) / 2;
        destination.right = destination.left + width;
        destination.bottom = destination.top + height;
    }
    if (Window.ToolBarPresent) {
        const bool fitOff = Window.NoFitToMaximised[0] || Window.NoFitToMaximised[1];
        destination.top = fitOff ? Window_ToolBar_GetHeight() : clientHeight - height;
        destination.bottom = destination.top + height;
    }
    return destination;
}

// The layered window is shown from the back screen instead of a present: the back screen is the draw
// target of slot 0 for the moment of the lock.
int PresentLayered(const D3D11TargetWindow& main) {
    if (GetWaitVSyncEnable() && main.Output != nullptr) D3D11Call_Output_WaitForVBlank(main.Output);
    const DrawTargetSlot savedSlot = GraphicsScreenState.DrawTargets[0];
    const int savedWidth = GraphicsScreenState.DrawTargetWidth, savedHeight = GraphicsScreenState.DrawTargetHeight;
    GraphicsScreenState.DrawTargets[0] = {-2, 0, 0};
    GraphicsScreenState.DrawTargetWidth = GraphicsScreenState.ScreenWidth;
    GraphicsScreenState.DrawTargetHeight = GraphicsScreenState.ScreenHeight;
    const RECT whole = {0, 0, GraphicsScreenState.ScreenWidth, GraphicsScreenState.ScreenHeight};
    BaseImage image = {};
    const int locked = Graphics_Screen_LockDrawTarget(&whole, &image, -1, 0, 0, 1, 0);
    if (locked == 0) {
        Window_UpdateLayeredFromBackBuffer(&image, nullptr, nullptr, 0, 0);
        Graphics_Screen_UnlockDrawTarget();
    }
    GraphicsScreenState.DrawTargets[0] = savedSlot;
    GraphicsScreenState.DrawTargetWidth = savedWidth;
    GraphicsScreenState.DrawTargetHeight = savedHeight;
    return locked;
}

}  // namespace

// ---- Attaching ----

int Graphics_D3D11_TargetWindow_Attach(HWND window, int mainTarget) {
    WinAPI_EnsureLoaded();
    int freeIndex = -1;
    for (int i = 0; i < D3D11TargetWindowMax; ++i) {
        if (State.Targets[i].Used && State.Targets[i].Window == window) return i;
        if (!State.Targets[i].Used && freeIndex < 0) freeIndex = i;
    }
    for (int i = 0; i < D3D11TargetWindowMax; ++i)
        if (State.Targets[i].Used && !IsWindow(State.Targets[i].Window)) Graphics_D3D11_TargetWindow_Detach(nullptr, i);
    if (freeIndex < 0)
        for (int i = 0; i < D3D11TargetWindowMax && freeIndex < 0; ++i)
            if (!State.Targets[i].Used) freeIndex = i;
    if (freeIndex < 0) return -1;
    D3D11TargetWindow& target = State.Targets[freeIndex];
    memset(&target, 0, sizeof(target));
    target.Window = window;
    target.MainTarget = mainTarget;
    if (Graphics_D3D11_TargetWindow_CreateSwapChain(freeIndex) < 0 || Graphics_D3D11_TargetWindow_SetupBuffer(freeIndex) < 0) {
        ReleaseRecord(freeIndex);
        memset(&target, 0, sizeof(target));
        return -1;
    }
    target.Used = 1;
    ++State.UsedCount;
    return freeIndex;
}

int Graphics_D3D11_TargetWindow_Detach(HWND window, int index) {
    if (window != nullptr) {
        index = -1;
        for (int i = 0; i < D3D11TargetWindowMax && index < 0; ++i)
            if (State.Targets[i].Used && State.Targets[i].Window == window) index = i;
    }
    if (!ValidIndex(index) || !State.Targets[index].Used) return -1;
    ReleaseRecord(index);
    memset(&State.Targets[index], 0, sizeof(State.Targets[index]));
    --State.UsedCount;
    return 0;
}

int Graphics_D3D11_TargetWindow_DetachAll() {
    for (int i = 0; i < D3D11TargetWindowMax; ++i)
        if (State.Targets[i].Used) Graphics_D3D11_TargetWindow_Detach(nullptr, i);
    State.UsedCount = 0;
    return 0;
}

// ---- Swap chain ----

int Graphics_D3D11_TargetWindow_CreateSwapChain(int index) {
    if (!ValidIndex(index)) return -1;
    D3D11TargetWindow& target = State.Targets[index];
    int width = GraphicsScreenState.ScreenWidth, height = GraphicsScreenState.ScreenHeight;
    target.FullScreen = target.MainTarget && !Window_IsWindowed() && Graphics_Screen_GetFullScreenResolutionMode() != 0;
    if (target.FullScreen) {
        Graphics_Screen_ChooseFullScreenDisplayMode();
        width = GraphicsScreenState.FullScreenDisplayMode.Width;
        height = GraphicsScreenState.FullScreenDisplayMode.Height;
        Log_AddFormatShiftJIS("[フルスクリーンモード %dx%d]", width, height);
        State.FullScreenState = 1;
    } else {
        const RECT& client = Window.ClientRect;
        Log_AddFormatShiftJIS("[ウインドウモード %dx%d ( %d, %d )-( %d, %d )]", width, height, (int)client.left,
                              (int)client.top, (int)client.right, (int)client.bottom);
        State.FullScreenState = 0;
    }
    GraphicsSystemState.ScreenMultiSampleCount = 1;
    GraphicsSystemState.ScreenMultiSampleQuality = 0;
    const UINT refresh = GraphicsScreenState.RefreshRate != 0 ? (UINT)GraphicsScreenState.RefreshRate : 60;
    const UINT flags = DXGI_SWAP_CHAIN_FLAG_ALLOW_MODE_SWITCH;
    HRESULT result = E_FAIL;
    if (D3D11CallState.Factory2 != nullptr) {
        Log_AddTextShiftJIS("IDXGISwapChain2 を作成します.... ");
        DXGI_SWAP_CHAIN_DESC1 desc = {};
        desc.Width = (UINT)width;
        desc.Height = (UINT)height;
        desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
        desc.SampleDesc = {1, 0};
        desc.BufferUsage = DXGI_USAGE_SHADER_INPUT | DXGI_USAGE_RENDER_TARGET_OUTPUT;
        desc.BufferCount = 2;
        desc.Scaling = DXGI_SCALING_STRETCH;
        desc.SwapEffect = DXGI_SWAP_EFFECT_DISCARD;
        desc.Flags = flags;
        DXGI_SWAP_CHAIN_FULLSCREEN_DESC full = {};
        full.RefreshRate = {refresh, 1};
        full.Windowed = target.FullScreen ? FALSE : TRUE;
        IDXGISwapChain1* chain = nullptr;
        result = D3D11Call_DXGIFactory_CreateSwapChainForHwnd(D3D11CallState.Device, target.Window, &desc, &full, nullptr,
                                                              &chain);
        target.SwapChain = result == S_OK ? chain : nullptr;
        if (target.SwapChain != nullptr) {
            D3D11Call_DXGIFactory_MakeWindowAssociation(target.Window, DXGI_MWA_NO_WINDOW_CHANGES | DXGI_MWA_NO_ALT_ENTER);
            Log_AddTextShiftJIS("成功\n");
            Log_AddFormatShiftJIS("IDXGIFactory2->CreateSwapChainForHwnd の戻り値：0x%08x", (unsigned)result);
        }
    } else {
        Log_AddTextShiftJIS("IDXGISwapChain を作成します.... ");
        DXGI_SWAP_CHAIN_DESC desc = {};
        desc.BufferDesc.Width = (UINT)width;
        desc.BufferDesc.Height = (UINT)height;
        desc.BufferDesc.RefreshRate = {refresh, 1};
        desc.BufferDesc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
        desc.SampleDesc = {1, 0};
        desc.BufferUsage = DXGI_USAGE_SHADER_INPUT | DXGI_USAGE_RENDER_TARGET_OUTPUT;
        desc.BufferCount = 2;
        desc.OutputWindow = target.Window;
        desc.Windowed = target.FullScreen ? FALSE : TRUE;
        desc.SwapEffect = DXGI_SWAP_EFFECT_DISCARD;
        desc.Flags = flags;
        result = D3D11Call_DXGIFactory_CreateSwapChain(&desc, &target.SwapChain);
        if (result != S_OK) target.SwapChain = nullptr;
        if (target.SwapChain != nullptr) {
            D3D11Call_DXGIFactory_MakeWindowAssociation(target.Window, DXGI_MWA_NO_WINDOW_CHANGES | DXGI_MWA_NO_ALT_ENTER);
            Log_AddTextShiftJIS("成功\n");
            Log_AddFormatShiftJIS("IDXGIFactory->CreateSwapChain の戻り値：0x%08x", (unsigned)result);
        }
    }
    if (target.SwapChain != nullptr) {
        D3D11Call_SwapChain_GetDesc(target.SwapChain, &target.SwapChainDesc);
        Log_AddTextShiftJIS("IDXGIOutput を取得します.... ");
        result = D3D11Call_SwapChain_GetContainingOutput(target.SwapChain, &target.Output);
        if (result == S_OK) {
            if (target.Output->QueryInterface(__uuidof(IDXGIOutput1), (void**)&target.Output1) != S_OK)
                target.Output1 = nullptr;
            Log_AddTextShiftJIS("成功\n");
            return 0;
        }
        target.Output = nullptr;
    }
    Log_AddFormatShiftJIS("失敗 エラーコード：0x%08x", (unsigned)result);
    ReleaseRecord(index);
    return -1;
}

int Graphics_D3D11_TargetWindow_SetupBuffer(int index) {
    if (!ValidIndex(index)) return -1;
    D3D11TargetWindow& target = State.Targets[index];
    if (target.SwapChain == nullptr ||
        D3D11Call_SwapChain_GetBuffer(target.SwapChain, 0, __uuidof(ID3D11Texture2D), (void**)&target.BackBuffer) != S_OK) {
        target.BackBuffer = nullptr;
        Log_AddTextShiftJIS("スワップチェインのバッファの ID3D11Texture2D の取得に失敗しました\n");
        return -1;
    }
    D3D11Call_Texture2D_GetDesc(target.BackBuffer, &target.BackBufferDesc);
    if (D3D11Call_Device_CreateShaderResourceView(target.BackBuffer, nullptr, &target.BackBufferSRV) != S_OK) {
        target.BackBufferSRV = nullptr;
        Log_AddTextShiftJIS("スワップチェインのバッファの ID3D11ShaderResourceView の作成に失敗しました\n");
        return -1;
    }
    if (D3D11Call_Device_CreateRenderTargetView(target.BackBuffer, nullptr, &target.BackBufferRTV) != S_OK) {
        target.BackBufferRTV = nullptr;
        Log_AddTextShiftJIS("スワップチェインのバッファの ID3D11RenderTargetView の作成に失敗しました\n");
        return -1;
    }
    return 0;
}

int Graphics_D3D11_TargetWindow_ReleaseBuffer(int index) {
    if (!ValidIndex(index)) return -1;
    D3D11TargetWindow& target = State.Targets[index];
    D3D11Call_ShaderResourceView_Release(target.BackBufferSRV);
    D3D11Call_RenderTargetView_Release(target.BackBufferRTV);
    D3D11Call_Texture2D_Release(target.BackBuffer);
    target.BackBufferSRV = nullptr;
    target.BackBufferRTV = nullptr;
    target.BackBuffer = nullptr;
    return 0;
}

int Graphics_D3D11_TargetWindow_ResizeBuffer(int index, int width, int height) {
    if (width <= 0 || height <= 0 || !ValidIndex(index)) return -1;
    D3D11TargetWindow& target = State.Targets[index];
    if (target.SwapChain == nullptr) return -1;
    const int slot = UnbindBackBuffer(target);
    Graphics_D3D11_TargetWindow_ReleaseBuffer(index);
    if (D3D11Call_SwapChain_ResizeBuffers(target.SwapChain, 2, (UINT)width, (UINT)height, DXGI_FORMAT_R8G8B8A8_UNORM, 0) != S_OK) {
        Log_AddTextShiftJIS("バックバッファのサイズ変更に失敗しました\n");
        return -1;
    }
    if (Graphics_D3D11_TargetWindow_SetupBuffer(index) < 0) return -1;
    RebindBackBuffer(target, slot);
    return 0;
}

int Graphics_D3D11_TargetWindow_ReCreate(int index) {
    if (!ValidIndex(index)) return -1;
    D3D11TargetWindow& target = State.Targets[index];
    const int slot = UnbindBackBuffer(target);
    if (target.FullScreen && target.SwapChain != nullptr) D3D11Call_SwapChain_SetFullscreenState(target.SwapChain, FALSE, nullptr);
    ReleaseRecord(index);
    if (Graphics_D3D11_TargetWindow_CreateSwapChain(index) < 0 || Graphics_D3D11_TargetWindow_SetupBuffer(index) < 0) {
        ReleaseRecord(index);
        return -1;
    }
    RebindBackBuffer(target, slot);
    return 0;
}

int Graphics_D3D11_TargetWindow_SetFullscreenState(int flag) {
    D3D11TargetWindow& target = State.Targets[0];
    if (target.SwapChain == nullptr || (flag != 0) == (State.FullScreenState != 0)) return 0;
    // The state follows the swap chain: a switch it refuses leaves the flag as it was.
    const HRESULT result = flag ? D3D11Call_SwapChain_SetFullscreenState(target.SwapChain, TRUE, target.Output)
                                : D3D11Call_SwapChain_SetFullscreenState(target.SwapChain, FALSE, nullptr);
    if (FAILED(result)) {
        Log_AddFormatShiftJIS("フルスクリーン状態の切り替えに失敗しました HRESULT:0x%08x\n", (unsigned int)result);
        return -1;
    }
    State.FullScreenState = flag != 0;
    return 0;
}

// ---- Sub back buffer ----

int Graphics_D3D11_SubBackBuffer_Create() {
    if (State.SubTexture != nullptr) return 0;
    if (!D3D11Call_Device_Exists()) return -1;
    Graphics_D3D11_VertexBatch_Flush(-1, 0);
    const int width = GraphicsScreenState.ScreenWidth, height = GraphicsScreenState.ScreenHeight;
    const DXGI_FORMAT format = DXGI_FORMAT_R8G8B8A8_UNORM;
    D3D11_TEXTURE2D_DESC desc = {};
    desc.Width = (UINT)width;
    desc.Height = (UINT)height;
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = format;
    desc.SampleDesc = {1, 0};
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_SHADER_RESOURCE | D3D11_BIND_RENDER_TARGET;
    const char* failure = nullptr;
    if (D3D11Call_Device_CreateTexture2D(&desc, nullptr, &State.SubTexture) != S_OK) {
        State.SubTexture = nullptr;
        failure = "サブバックバッファ用テクスチャの作成に失敗しました  Format:%d  SizeX:%d  SizeY:%d \n";
    } else {
        D3D11_RENDER_TARGET_VIEW_DESC rtv = {};
        rtv.Format = format;
        rtv.ViewDimension = D3D11_RTV_DIMENSION_TEXTURE2D;
        D3D11_SHADER_RESOURCE_VIEW_DESC srv = {};
        srv.Format = format;
        srv.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
        srv.Texture2D.MipLevels = 1;
        if (D3D11Call_Device_CreateRenderTargetView(State.SubTexture, &rtv, &State.SubRTV) != S_OK) {
            State.SubRTV = nullptr;
            failure = "サブバックバッファ用レンダーターゲットビューの作成に失敗しました  Format:%d  SizeX:%d  SizeY:%d \n";
        } else if (D3D11Call_Device_CreateShaderResourceView(State.SubTexture, &srv, &State.SubSRV) != S_OK) {
            State.SubSRV = nullptr;
            failure = "サブバックバッファ用シェーダーリソースビューの作成に失敗しました  Format:%d  SizeX:%d  SizeY:%d \n";
        }
    }
    if (failure != nullptr) {
        Log_AddFormatShiftJIS(failure, (int)format, width, height);
        Graphics_D3D11_SubBackBuffer_Release();
        return -1;
    }
    State.SubWidth = width;
    State.SubHeight = height;
    State.SubFormat = format;

    // What the back buffer shows so far moves into the sub back buffer, and drawing goes there from now on.
    D3D11TargetWindow& main = State.Targets[State.MainTarget];
    if (main.BackBuffer != nullptr) {
        const LONG w = (LONG)(main.BackBufferDesc.Width < (UINT)width ? main.BackBufferDesc.Width : (UINT)width);
        const LONG h = (LONG)(main.BackBufferDesc.Height < (UINT)height ? main.BackBufferDesc.Height : (UINT)height);
        const RECT rect = {0, 0, w, h};
        Graphics_D3D11_ShaderBlit(main.BackBuffer, main.BackBufferSRV, &rect, State.SubTexture, State.SubRTV, &rect, 0, 0,
                                  nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0);
        ClearView(main.BackBufferRTV, 0, 0, 0, 0);
    }
    D3D11StateCache.Force = 1;
    Graphics_D3D11_StateCache_SetRenderTarget(State.SubTexture, State.SubRTV, 0);
    D3D11StateCache.Force = 0;
    return 0;
}

int Graphics_D3D11_SubBackBuffer_Release() {
    for (int slot = 0; slot < 8; ++slot)
        if (State.SubTexture != nullptr && D3D11StateCache.RenderTargetTexture[slot] == State.SubTexture)
            Graphics_D3D11_StateCache_SetRenderTarget(nullptr, nullptr, slot);
    D3D11Call_RenderTargetView_Release(State.SubRTV);
    D3D11Call_ShaderResourceView_Release(State.SubSRV);
    D3D11Call_Texture2D_Release(State.SubTexture);
    State.SubRTV = nullptr;
    State.SubSRV = nullptr;
    State.SubTexture = nullptr;
    return 0;
}

int Graphics_D3D11_SubBackBuffer_Setup(int flag) {
    if (!Window_IsWindowed() && Graphics_Screen_GetFullScreenResolutionMode() != 0) Graphics_D3D11_SubBackBuffer_Create();
    return 0;
}

// ---- Flip ----

int Graphics_D3D11_Screen_Flip() {
    WinAPI_EnsureLoaded();
    if (!D3D11Call_Device_Exists()) return -1;
    // An inactive window shows its own picture: nothing is presented meanwhile.
    if (!Window.ActiveFlag && Window.InactivePicture != nullptr && !Window.InactivePictureDrawing) return 0;
    if (Window_IsWindowed() || Graphics_Screen_GetFullScreenResolutionMode() != 2) Graphics_D3D11_SubBackBuffer_Create();
    Graphics_D3D11_VertexBatch_Flush(-1, 0);
    const int index = State.MainTarget;
    D3D11TargetWindow& target = State.Targets[index];
    if (!target.Used || !IsWindow(target.Window) || target.SwapChain == nullptr) return 0;

    int clientWidth = 0, clientHeight = 0;
    if (index == 0 && Window_GetOutputWindow() == Window_GetMainHandle()) {
        clientWidth = Window.ClientRect.right - Window.ClientRect.left;
        clientHeight = Window.ClientRect.bottom - Window.ClientRect.top;
    } else {
        RECT client = {};
        GetClientRect(target.SwapChainDesc.OutputWindow, &client);
        clientWidth = client.right - client.left;
        clientHeight = client.bottom - client.top;
    }
    if (clientWidth > 0 && clientHeight > 0 &&
        ((UINT)clientWidth != target.BackBufferDesc.Width || (UINT)clientHeight != target.BackBufferDesc.Height)) {
        Graphics_D3D11_SubBackBuffer_Create();
        Graphics_D3D11_TargetWindow_ResizeBuffer(index, clientWidth, clientHeight);
    }
    if (target.BackBuffer == nullptr) return -1;

    if (State.SubTexture != nullptr) {
        const int screenWidth = GraphicsScreenState.ScreenWidth, screenHeight = GraphicsScreenState.ScreenHeight;
        RECT source = {0, 0, screenWidth, screenHeight};
        RECT destination;
        if (Window_IsWindowed()) {
            destination = WindowedDestination(screenWidth, screenHeight, &source);
        } else if (Graphics_Screen_GetFullScreenResolutionMode() == 2) {
            destination = {0, 0, screenWidth, screenHeight};
        } else {
            Graphics_Screen_CalcFullScreenOutputSize();
            destination = GraphicsScreenState.FullScreenOutputRect;
        }
        const UINT backWidth = target.BackBufferDesc.Width, backHeight = target.BackBufferDesc.Height;
        if (destination.right > (LONG)backWidth) {
            source.right -= (LONG)((uint32_t)(destination.right - (LONG)backWidth) * (uint32_t)source.right /
                                   (uint32_t)destination.right);
            destination.right = (LONG)backWidth;
        }
        if (destination.bottom > (LONG)backHeight) {
            source.bottom -= (LONG)((uint32_t)(destination.bottom - (LONG)backHeight) * (uint32_t)source.bottom /
                                    (uint32_t)destination.bottom);
            destination.bottom = (LONG)backHeight;
        }
        if (backWidth != (UINT)State.SubWidth || backHeight != (UINT)State.SubHeight) {
            const int32_t* colour = GraphicsScreenState.BackgroundColor;
            ClearView(target.BackBufferRTV, colour[0] / 255.0f, colour[1] / 255.0f, colour[2] / 255.0f, colour[3] / 255.0f);
        }
        const int linear = GraphicsScreenState.EmulationFilter ? 0 : 1;
        Graphics_D3D11_ShaderBlit(State.SubTexture, State.SubSRV, &source, target.BackBuffer, target.BackBufferRTV,
                                  &destination, linear, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, 0);
    }

    if (Window_IsLayered()) {
        if (PresentLayered(target) < 0) return -1;
        Graphics_Dispatch_StateCache_Reapply();
        return 0;
    }

    const UINT sync = GetWaitVSyncEnable() ? 1 : 0;
    State.LastSyncInterval = sync;
    const HRESULT presented = State.PresentHook != nullptr ? State.PresentHook(target.SwapChain, sync, 0)
                                                           : D3D11Call_SwapChain_Present(target.SwapChain, sync, 0);
    if (presented == DXGI_ERROR_DEVICE_REMOVED || presented == DXGI_ERROR_DEVICE_RESET) {
        // The device is gone: everything is made again and every graph reloaded; the next frame draws anew.
        return Graphics_D3D11_Device_RecoverFromLoss() < 0 ? -1 : 0;
    }
    if (FAILED(presented)) return -1;
    ++State.Presents;
    if (GetRunWhileInactive() && sync && Window.MinimisedFlag && target.Output != nullptr)
        D3D11Call_Output_WaitForVBlank(target.Output);
    Graphics_Dispatch_StateCache_Reapply();
    return 0;
}

}  // namespace Vantrel
