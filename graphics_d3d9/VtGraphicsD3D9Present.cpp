// Direct3D 9 present and sub back buffer: creating the buffer drawing goes to, the flip with its
// destination geometry, the transfer into the back buffer (StretchRect, or a drawn quad in the scaled
// full-screen modes), the present, the border painting of a maximised window and the pacing.
// Stands on the call layer, the device set-up, the vertical-blank wait, the state cache, the vertex batch,
// the graphics core's screen state and the window module.
#include "graphics_d3d9/VtGraphicsD3D9Present.h"

#include <stdlib.h>

#include "foundation/VtLog.h"
#include "foundation/VtWinAPI.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsScreen.h"
#include "graphics_d3d9/VtGraphicsD3D9Batch.h"
#include "graphics_d3d9/VtGraphicsD3D9Device.h"
#include "graphics_d3d9/VtGraphicsD3D9Draw.h"
#include "graphics_d3d9/VtGraphicsD3D9State.h"
#include "graphics_d3d9/VtGraphicsD3D9VBlank.h"
#include "system/VtWindow.h"
#include "system/VtWindowSettings.h"

namespace Vantrel {

D3D9PresentStateRecord D3D9PresentState;

namespace {

D3D9PresentStateRecord& State = D3D9PresentState;

int PowerOfTwoAtLeast(int value) {
    int result = 1;
    while (result < value && result < (1 << 30)) result <<= 1;
    return result;
}

void FlushAndEndScene() {
    Graphics_Dispatch_VertexBatch_Flush(0);
    Graphics_D3D9_EndSceneIfOpen();
}

bool ExclusiveFullScreen() { return !D3D9DeviceState.PresentParams.Windowed; }

D3DCOLOR BackgroundColour() {
    const int32_t* c = GraphicsScreenState.BackgroundColor;
    return D3DCOLOR_ARGB(c[3] & 0xFF, c[0] & 0xFF, c[1] & 0xFF, c[2] & 0xFF);
}

// Render targets 0 to 7 and the viewport, saved around the transfer into the back buffer.
struct SavedTargets {
    IDirect3DSurface9* Targets[D3D9RenderTargetCount];
    D3DVIEWPORT9 Viewport;
};

void SaveTargetsAndBindBackBuffer(SavedTargets& saved) {
    D3D9DeviceStateCacheRecord& cache = D3D9DeviceStateCache;
    for (int i = 0; i < D3D9RenderTargetCount; ++i) saved.Targets[i] = cache.RenderTarget[i];
    saved.Viewport = cache.Viewport;
    Graphics_D3D9_StateCache_SetRenderTarget(D3D9DeviceState.BackBuffer, 0);
    for (int i = 1; i < D3D9RenderTargetCount && i < GraphicsSystemState.MaxRenderTargets; ++i)
        Graphics_D3D9_StateCache_SetRenderTarget(nullptr, i);
}

void RestoreTargets(const SavedTargets& saved) {
    for (int i = 0; i < D3D9RenderTargetCount; ++i)
        if (i == 0 || i < GraphicsSystemState.MaxRenderTargets)
            Graphics_D3D9_StateCache_SetRenderTarget(saved.Targets[i], i);
    D3D9DeviceStateCacheRecord& cache = D3D9DeviceStateCache;
    const int32_t force = cache.Force;
    cache.Force = 1;
    Graphics_D3D9_StateCache_SetViewport(&saved.Viewport);
    cache.Force = force;
}

// The transfer's texture stages by plain device calls; the cache's record of the stages is sent again
// afterwards (RestoreStages).
int PlainTransferStages(IDirect3DTexture9* texture) {
    D3D9Call_Device_SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    D3D9Call_Device_SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    D3D9Call_Device_SetTexture(0, texture);
    D3D9Call_Device_SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    D3D9Call_Device_SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    D3D9Call_Device_SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    D3D9Call_Device_SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    D3D9Call_Device_SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    D3D9Call_Device_SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    return 0;
}

void RestoreStages() {
    const D3D9StageSetup& applied = D3D9DeviceStateCache.Applied;
    D3D9Call_Device_SetRenderState(D3DRS_ALPHATESTENABLE, (DWORD)applied.AlphaTestEnable);
    D3D9Call_Device_SetRenderState(D3DRS_ALPHABLENDENABLE, (DWORD)applied.BlendEnable);
    D3D9Call_Device_SetTexture(0, (IDirect3DBaseTexture9*)applied.Stages[0].Texture);
    for (int s = 0; s < 2; ++s) {
        const D3D9StageEntry& stage = applied.Stages[s];
        if (stage.ColorOp > 0) D3D9Call_Device_SetTextureStageState((DWORD)s, D3DTSS_COLOROP, (DWORD)stage.ColorOp);
        if (stage.ColorArg1 >= 0) D3D9Call_Device_SetTextureStageState((DWORD)s, D3DTSS_COLORARG1, (DWORD)stage.ColorArg1);
        if (stage.AlphaOp > 0) D3D9Call_Device_SetTextureStageState((DWORD)s, D3DTSS_ALPHAOP, (DWORD)stage.AlphaOp);
        if (stage.AlphaArg1 >= 0) D3D9Call_Device_SetTextureStageState((DWORD)s, D3DTSS_ALPHAARG1, (DWORD)stage.AlphaArg1);
    }
}

// The uncovered strips of the client area around the picture, painted with the background colour (or
// black), on the presents after a change of the window.
void RepaintBorders(HWND window, const RECT& destination) {
    if (Window_ToolBar_GetHeight() > 0 || !Window.Maximised) return;
    const bool changed = State.LastMaximised != Window.Maximised ||
                         !EqualRect(&State.LastClientRect, &Window.ClientRect) ||
                         !EqualRect(&State.LastDestination, &destination);
    State.LastMaximised = Window.Maximised;
    State.LastClientRect = Window.ClientRect;
    State.LastDestination = destination;
    if (changed || State.BorderChanged) {
        State.BorderChanged = 0;
        State.BorderRepaintCount = D3D9BorderRepaintPresents;
    } else if (State.BorderRepaintCount <= 0) {
        return;
    }
    State.BorderRepaintCount--;
    RECT client = {};
    if (!GetClientRect(window, &client) || EqualRect(&client, &destination)) return;
    const RECT strips[4] = {{client.left, client.top, client.right, destination.top},
                            {client.left, destination.bottom, client.right, client.bottom},
                            {client.left, destination.top, destination.left, destination.bottom},
                            {destination.right, destination.top, client.right, destination.bottom}};
    const HDC dc = GetDC(window);
    if (dc == nullptr) return;
    const int32_t* c = GraphicsScreenState.BackgroundColor;
    const bool own = GraphicsScreenState.BackgroundColorSet != 0;
    const HBRUSH brush = own ? CreateSolidBrush(RGB(c[0], c[1], c[2])) : (HBRUSH)GetStockObject(BLACK_BRUSH);
    for (const RECT& strip : strips)
        if (strip.right > strip.left && strip.bottom > strip.top) FillRect(dc, &strip, brush);
    if (own) DeleteObject(brush);
    ReleaseDC(window, dc);
    State.BorderPaints++;
}

}  // namespace

// ---- Sub back buffer ----

int Graphics_D3D9_SubBackBuffer_Create() {
    if (State.SubBackBuffer != nullptr) return 0;
    if (!D3D9Call_Device_Exists()) return -1;
    FlushAndEndScene();
    const int width = GraphicsScreenState.MainScreenWidth, height = GraphicsScreenState.MainScreenHeight;
    const D3DFORMAT format = D3D9DeviceState.ScreenFormat;
    IDirect3DSurface9* const back = D3D9DeviceState.BackBuffer;
    const RECT whole = {0, 0, width, height};

    if (GraphicsSystemState.ScreenMultiSampleCount == 0 && GraphicsSystemState.ScreenMultiSampleQuality == 0) {
        const int textureWidth = GraphicsSystemState.TexturePowerOfTwoOnly ? PowerOfTwoAtLeast(width) : width;
        const int textureHeight = GraphicsSystemState.TexturePowerOfTwoOnly ? PowerOfTwoAtLeast(height) : height;
        IDirect3DTexture9* texture = nullptr;
        if (D3D9Call_Device_CreateTexture((UINT)textureWidth, (UINT)textureHeight, 1, D3DUSAGE_RENDERTARGET, format,
                                          D3DPOOL_DEFAULT, &texture, nullptr) != D3D_OK) {
            texture = nullptr;
            Log_AddFormatUTF16(L"サブバックバッファ用テクスチャの作成に失敗しました  Format:%d  SizeX:%d  SizeY:%d \n",
                               (int)format, textureWidth, textureHeight);
        } else {
            IDirect3DSurface9* level = nullptr;
            if (D3D9Call_Texture_GetSurfaceLevel(texture, 0, &level) != D3D_OK || level == nullptr) {
                D3D9Call_Object_Release(texture);
                Log_AddTextUTF16(L"サブバックバッファ用テクスチャのサーフェスアドレスの取得に失敗しました\n");
                return -1;
            }
            State.SubTexture = texture;
            State.SubBackBuffer = level;
            State.SubWidth = textureWidth;
            State.SubHeight = textureHeight;
        }
    }
    if (State.SubBackBuffer == nullptr) {
        IDirect3DSurface9* surface = nullptr;
        if (D3D9Call_Device_CreateRenderTarget((UINT)width, (UINT)height, format,
                                               (D3DMULTISAMPLE_TYPE)GraphicsSystemState.ScreenMultiSampleCount,
                                               (DWORD)GraphicsSystemState.ScreenMultiSampleQuality, FALSE, &surface,
                                               nullptr) != D3D_OK) {
            Log_AddTextUTF16(L"サブバックバッファの作成に失敗しました\n");
            return -1;
        }
        State.SubBackBuffer = surface;
        State.SubWidth = width;
        State.SubHeight = height;
    }
    State.SubFormat = format;
    // What was drawn so far moves along; a power-of-two texture keeps it unscaled in its top-left corner.
    if (back != nullptr) {
        D3D9Call_Device_StretchRect(back, &whole, State.SubBackBuffer, &whole, D3DTEXF_NONE);
        D3D9Call_Device_ColorFill(back, nullptr, 0);
    }
    D3D9DeviceStateCacheRecord& cache = D3D9DeviceStateCache;
    const int32_t force = cache.Force;
    cache.Force = 1;
    Graphics_D3D9_StateCache_SetRenderTarget(State.SubBackBuffer, 0);
    cache.Force = force;
    return 0;
}

int Graphics_D3D9_SubBackBuffer_Release() {
    if (State.SubBackBuffer == nullptr && State.SubTexture == nullptr) return 0;
    if (D3D9DeviceStateCache.RenderTarget[0] == State.SubBackBuffer && D3D9Call_Device_Exists()) {
        FlushAndEndScene();
        Graphics_D3D9_StateCache_SetRenderTarget(D3D9DeviceState.BackBuffer, 0);
    }
    if (State.SubBackBuffer != nullptr) D3D9Call_Object_Release(State.SubBackBuffer);
    if (State.SubTexture != nullptr) D3D9Call_Object_Release(State.SubTexture);
    State.SubBackBuffer = nullptr;
    State.SubTexture = nullptr;
    State.SubWidth = State.SubHeight = 0;
    return 0;
}

int Graphics_D3D9_SubBackBuffer_Setup(int flag) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (!Window_IsWindowed() && Graphics_Screen_GetFullScreenResolutionMode() != 0) Graphics_D3D9_SubBackBuffer_Create();
    return 0;
}

int Graphics_D3D9_SubBackBuffer_DrawTransfer(const RECT* source) {
    if (!D3D9Call_Device_Exists() || State.SubBackBuffer == nullptr || source == nullptr) return -1;
    Graphics_Screen_CalcFullScreenOutputSize();
    const RECT output = GraphicsScreenState.FullScreenOutputRect;
    const int outputWidth = output.right - output.left, outputHeight = output.bottom - output.top;
    const bool sizeDiffers = outputWidth != State.SubWidth || outputHeight != State.SubHeight;
    const bool point = GraphicsScreenState.EmulationFilter == 1;
    IDirect3DSurface9* const back = D3D9DeviceState.BackBuffer;

    if (State.SubTexture == nullptr) {
        D3DTEXTUREFILTERTYPE filter = D3DTEXF_POINT;
        if (!point && (D3D9DeviceState.Caps.StretchRectFilterCaps & D3DPTFILTERCAPS_MAGFLINEAR)) filter = D3DTEXF_LINEAR;
        if (sizeDiffers) {
            SavedTargets saved;
            SaveTargetsAndBindBackBuffer(saved);
            D3D9Call_Device_Clear(0, nullptr, D3DCLEAR_TARGET, BackgroundColour(), 1.0f, 0);
            RestoreTargets(saved);
        }
        const HRESULT result = D3D9Call_Device_StretchRect(State.SubBackBuffer, source, back, &output, filter);
        if (result != D3D_OK) {
            Log_AddFormatUTF16(L"Direct3DDevice9 StretchRect 失敗 箇所３ 戻り値 0x%08x", (unsigned)result);
            return -1;
        }
        return 0;
    }

    D3D9DeviceStateCacheRecord& cache = D3D9DeviceStateCache;
    SavedTargets saved;
    SaveTargetsAndBindBackBuffer(saved);
    if (sizeDiffers) D3D9Call_Device_Clear(0, nullptr, D3DCLEAR_TARGET, BackgroundColour(), 1.0f, 0);
    D3D9Call_Device_BeginSceneOnce();
    const DWORD filter = point ? D3DTEXF_POINT : D3DTEXF_LINEAR;
    D3D9Call_Device_SetSamplerState(0, D3DSAMP_MAGFILTER, filter);
    D3D9Call_Device_SetSamplerState(0, D3DSAMP_MINFILTER, filter);
    D3D9Call_Device_SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    Graphics_D3D9_StateCache_ResetVertexShader(0);
    Graphics_D3D9_StateCache_ResetPixelShader(0);
    Graphics_D3D9_StateCache_SetVertexBuffer(nullptr, 0);
    Graphics_D3D9_StateCache_SetIndexBuffer(nullptr);
    const int staged = State.TransferStageSetup != nullptr ? State.TransferStageSetup(State.SubTexture)
                                                           : PlainTransferStages(State.SubTexture);
    HRESULT drawn = E_FAIL;
    if (staged == 0) {
        struct Vertex {
            float X, Y, Z, Rhw;
            D3DCOLOR Colour;
            float U, V;
        };
        static_assert(sizeof(Vertex) == 28, "pre-transformed, coloured, one texture");
        const float l = output.left - 0.5f, t = output.top - 0.5f, r = output.right - 0.5f, b = output.bottom - 0.5f;
        const float u0 = (float)source->left / State.SubWidth, v0 = (float)source->top / State.SubHeight;
        const float u1 = (float)source->right / State.SubWidth, v1 = (float)source->bottom / State.SubHeight;
        const Vertex strip[4] = {{l, t, 0, 1, 0xFFFFFFFF, u0, v0},
                                 {r, t, 0, 1, 0xFFFFFFFF, u1, v0},
                                 {l, b, 0, 1, 0xFFFFFFFF, u0, v1},
                                 {r, b, 0, 1, 0xFFFFFFFF, u1, v1}};
        Graphics_D3D9_StateCache_SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
        drawn = D3D9Call_Device_DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, strip, sizeof(Vertex));
    }
    D3D9Call_Device_EndScene();
    cache.Scene = 0;
    if (State.TransferStageSetup == nullptr) RestoreStages();
    RestoreTargets(saved);
    D3D9Call_Device_SetSamplerState(0, D3DSAMP_MAGFILTER, cache.MagFilter[0]);
    D3D9Call_Device_SetSamplerState(0, D3DSAMP_MINFILTER, cache.MinFilter[0]);
    D3D9Call_Device_SetRenderState(D3DRS_ZENABLE, cache.ZEnable == 1 ? D3DZB_TRUE : D3DZB_FALSE);
    return drawn == D3D_OK ? 0 : -1;
}

// ---- Flip ----

RECT Graphics_D3D9_Screen_GetDestinationRect() {
    const int width = GraphicsScreenState.MainScreenWidth, height = GraphicsScreenState.MainScreenHeight;
    if (ExclusiveFullScreen()) return {0, 0, width, height};
    double rateX = 1.0, rateY = 1.0;
    Window_GetScaleRate(&rateX, &rateY);
    const int scaledWidth = (int)(width * rateX), scaledHeight = (int)(height * rateY);
    RECT destination = {0, 0, scaledWidth, scaledHeight};
    const RECT& client = Window.ClientRect;
    const int clientWidth = client.right - client.left, clientHeight = client.bottom - client.top;
    if (Window.Maximised) {
        // Centred in the client area; an edge within a pixel of the client's edge goes onto it.
        destination.left = (client.right - scaledWidth - client.left) / 2;
        destination.right = destination.left + scaledWidth;
        destination.top = (client.bottom - scaledHeight - client.top) / 2;
        destination.bottom = destination.top + scaledHeight;
        if (abs(destination.left) <= 1) destination.left = 0;
        if (abs(destination.top) <= 1) destination.top = 0;
        if (abs(destination.right - clientWidth) <= 1) destination.right = clientWidth;
        if (abs(destination.bottom - clientHeight) <= 1) destination.bottom = clientHeight;
    }
    if (Window_ToolBar_GetHeight() > 0) {
        destination.top = clientHeight - scaledHeight;
        destination.bottom = destination.top + scaledHeight;
    }
    return destination;
}

int Graphics_D3D9_Screen_Present() {
    if (!D3D9Call_Device_Exists()) return -1;
    const int width = GraphicsScreenState.MainScreenWidth, height = GraphicsScreenState.MainScreenHeight;
    RECT source = {0, 0, width, height};
    RECT destination = Graphics_D3D9_Screen_GetDestinationRect();
    FlushAndEndScene();

    const bool windowed = Window_IsWindowed() != 0;
    const int resolutionMode = Graphics_Screen_GetFullScreenResolutionMode();
    if ((windowed || resolutionMode == 0) && GraphicsScreenState.LowResolutionEmulation) {
        double rateX = 1.0, rateY = 1.0;
        Window_GetScaleRate(&rateX, &rateY);
        source = {0, 0, 320, 240};
        destination = {0, 0, (LONG)(640 * rateX), (LONG)(480 * rateY)};
    }

    if (State.SubBackBuffer != nullptr) {
        const RECT copy = {0, 0, width, height};
        IDirect3DSurface9* const back = D3D9DeviceState.BackBuffer;
        if (windowed || resolutionMode == 2) {
            const HRESULT result = D3D9Call_Device_StretchRect(State.SubBackBuffer, &copy, back, nullptr, D3DTEXF_NONE);
            if (result != D3D_OK) {
                Log_AddFormatUTF16(windowed ? L"Direct3DDevice9 StretchRect 失敗 箇所１ 戻り値 0x%08x"
                                            : L"Direct3DDevice9 StretchRect 失敗 箇所２ 戻り値 0x%08x",
                                   (unsigned)result);
                return -1;
            }
        } else if (Graphics_D3D9_SubBackBuffer_DrawTransfer(&copy) < 0) {
            Log_AddTextUTF16(L"サブバックバッファの内容をバックバッファへ転送する処理が失敗しました");
            return -1;
        }
    }

    IDirect3DSwapChain9* const swapChain = D3D9CallState.SwapChain;
    if (swapChain == nullptr) return 0;
    const HWND window = Window_GetOutputWindow();
    if (!Window.MinimisedFlag) {
        HRESULT result;
        if (windowed) {
            result = D3D9Call_SwapChain_Present(swapChain, &source, &destination, window, nullptr, 0);
            if (result != D3D_OK) return -1;
            RepaintBorders(window, destination);
        } else {
            result = D3D9Call_SwapChain_Present(swapChain, nullptr, nullptr, window, nullptr, 0);
            if (result != D3D_OK) return -1;
        }
        State.Presents++;
    }
    // A minimised window presents nothing: the frame is paced by the blank instead.
    if (GetRunWhileInactive() && !GraphicsScreenState.NoVSyncWait && Window.MinimisedFlag)
        D3D9Call_DDraw_SleepUntilVBlank();
    return 0;
}

int Graphics_D3D9_Screen_Flip() {
    if (!D3D9Call_Device_Exists()) return -1;
    if (Window_IsWindowed() || Graphics_Screen_GetFullScreenResolutionMode() != 2) Graphics_D3D9_SubBackBuffer_Create();
    return Graphics_D3D9_Screen_Present();
}

int Graphics_D3D9_FrontScreen_ArmFlipTimer(int flag) {
    if (flag == 0) return 0;
    WinAPI_EnsureLoaded();
    Graphics_FrontScreen_ArmTimer();
    return 0;
}

}  // namespace Vantrel
