// Direct3D 11 target windows, swap chains and screen flip: the table of windows the back-end shows its
// pictures in (record 0 is the library's output window), each with its DXGI swap chain, back buffer and
// views; the full-screen state; the off-screen sub back buffer of the screen's size that drawing goes
// to; and the flip that stretches it into the back buffer and presents.
// Stands on the call layer, the state cache, the vertex batch, the simple-transfer blit, the graphics
// core's screen state and the window module.
#pragma once

#include <stdint.h>

#include "graphics_d3d11/VtGraphicsD3D11Call.h"

namespace Vantrel {

constexpr int D3D11TargetWindowMax = 256;

struct D3D11TargetWindow {
    int32_t Used;
    HWND Window;
    int32_t MainTarget;
    int32_t FullScreen;
    IDXGISwapChain* SwapChain;
    DXGI_SWAP_CHAIN_DESC SwapChainDesc;
    IDXGIOutput* Output;
    IDXGIOutput1* Output1;
    ID3D11Texture2D* BackBuffer;
    D3D11_TEXTURE2D_DESC BackBufferDesc;
    ID3D11ShaderResourceView* BackBufferSRV;
    ID3D11RenderTargetView* BackBufferRTV;
};

struct D3D11WindowStateRecord {
    D3D11TargetWindow Targets[D3D11TargetWindowMax];
    int32_t UsedCount;
    int32_t MainTarget;                 // index of the library's output window
    int32_t FullScreenState;            // the main swap chain is in full-screen state
    int32_t SubWidth, SubHeight;
    DXGI_FORMAT SubFormat;
    ID3D11Texture2D* SubTexture;        // non-null: the sub back buffer exists
    ID3D11RenderTargetView* SubRTV;
    ID3D11ShaderResourceView* SubSRV;
    uint32_t Presents;                  // successful presents since start-up
    UINT LastSyncInterval;
    // Test hook at the present call: when set, called in place of IDXGISwapChain::Present.
    HRESULT (*PresentHook)(IDXGISwapChain* swapChain, UINT syncInterval, UINT flags);
};
extern D3D11WindowStateRecord D3D11WindowState;

int Graphics_D3D11_TargetWindow_Attach(HWND window, int mainTarget);
int Graphics_D3D11_TargetWindow_Detach(HWND window, int index);
int Graphics_D3D11_TargetWindow_CreateSwapChain(int index);
int Graphics_D3D11_TargetWindow_SetupBuffer(int index);
int Graphics_D3D11_TargetWindow_ReleaseBuffer(int index);
int Graphics_D3D11_TargetWindow_ReCreate(int index);
int Graphics_D3D11_TargetWindow_ResizeBuffer(int index, int width, int height);
int Graphics_D3D11_TargetWindow_SetFullscreenState(int flag);
// Every used record detached (the back-end's end).
int Graphics_D3D11_TargetWindow_DetachAll();

int Graphics_D3D11_SubBackBuffer_Create();
int Graphics_D3D11_SubBackBuffer_Release();

}  // namespace Vantrel
