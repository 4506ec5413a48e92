// Direct3D 9 object and device creation: the object (Ex first), the multisample check, the present
// parameters and the device with its retries, the set-up that reads the capabilities into the graphics
// core, the texture and depth format tables with their log lines, the capability report and the
// back-buffer lock measurement.
// Stands on the call layer, the vertical-blank wait, the state cache, the graphics core's state, the
// window module and the memory-image module.
#include "graphics_d3d9/VtGraphicsD3D9Device.h"

#include <string.h>

#include <initializer_list>

#include "foundation/VtASyncLoad.h"
#include "foundation/VtLog.h"
#include "foundation/VtWinAPI.h"
#include "foundation/VtWinAPIText.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsScreen.h"
#include "graphics_d3d9/VtGraphicsD3D9State.h"
#include "graphics_d3d9/VtGraphicsD3D9VBlank.h"
#include "image/VtMemImg.h"
#include "system/VtWindow.h"
#include "system/VtWindowSettings.h"

namespace Vantrel {

D3DFORMAT D3D9TextureFormatTable[D3D9TextureFormatCount];
D3DFORMAT D3D9DepthFormatTable[3];
D3D9SettingsRecord D3D9Settings;
D3D9DeviceStateRecord D3D9DeviceState;

namespace {

D3D9DeviceStateRecord& Device = D3D9DeviceState;

bool Windowed() { return Window_IsWindowed() || Graphics_Screen_GetFullScreenResolutionMode() == 0; }

UINT ChosenAdapter() { return D3D9Settings.UseAdapter ? (UINT)D3D9Settings.AdapterIndex : 0; }

int Low16(DWORD version) { return (int)(version & 0xFFFF); }

// ---- Format names ----

struct FormatName {
    D3DFORMAT Format;
    const char* Name;
};

const FormatName FormatNames[] = {
    {D3DFMT_R8G8B8, "D3DFMT_R8G8B8"},
    {D3DFMT_A8R8G8B8, "D3DFMT_A8R8G8B8"},
    {D3DFMT_X8R8G8B8, "D3DFMT_X8R8G8B8"},
    {D3DFMT_R5G6B5, "D3DFMT_R5G6B5"},
    {D3DFMT_X1R5G5B5, "D3DFMT_X1R5G5B5"},
    {D3DFMT_A1R5G5B5, "D3DFMT_A1R5G5B5"},
    {D3DFMT_A4R4G4B4, "D3DFMT_A4R4G4B4"},
    {D3DFMT_X8B8G8R8, "D3DFMT_X8B8G8R8"},
    {D3DFMT_A8B8G8R8, "D3DFMT_A8B8G8R8"},
    {D3DFMT_G16R16, "D3DFMT_G16R16"},
    {D3DFMT_A16B16G16R16, "D3DFMT_A16B16G16R16"},
    {D3DFMT_L8, "D3DFMT_L8"},
    {D3DFMT_A8L8, "D3DFMT_A8L8"},
    {D3DFMT_L16, "D3DFMT_L16"},
    {D3DFMT_R16F, "D3DFMT_R16F"},
    {D3DFMT_G16R16F, "D3DFMT_G16R16F"},
    {D3DFMT_A16B16G16R16F, "D3DFMT_A16B16G16R16F"},
    {D3DFMT_R32F, "D3DFMT_R32F"},
    {D3DFMT_G32R32F, "D3DFMT_G32R32F"},
    {D3DFMT_A32B32G32R32F, "D3DFMT_A32B32G32R32F"},
    {D3DFMT_DXT1, "D3DFMT_DXT1"},
    {D3DFMT_DXT2, "D3DFMT_DXT2"},
    {D3DFMT_DXT3, "D3DFMT_DXT3"},
    {D3DFMT_DXT4, "D3DFMT_DXT4"},
    {D3DFMT_DXT5, "D3DFMT_DXT5"},
    {D3DFMT_D16, "D3DFMT_D16"},
    {D3DFMT_D24X8, "D3DFMT_D24X8"},
    {D3DFMT_D32, "D3DFMT_D32"},
};

// ---- Texture formats ----

constexpr DWORD TextureUse = 0;
constexpr DWORD RenderUse = D3DUSAGE_RENDERTARGET;

bool Usable(D3DFORMAT format, DWORD usage) {
    return D3D9Call_Direct3D9_CheckDeviceFormat(Device.Adapter, D3DDEVTYPE_HAL, Device.ScreenFormat, usage,
                                                D3DRTYPE_TEXTURE, format) == D3D_OK;
}

D3DFORMAT FirstUsable(std::initializer_list<D3DFORMAT> candidates, DWORD usage) {
    for (D3DFORMAT candidate : candidates)
        if (candidate != D3DFMT_UNKNOWN && Usable(candidate, usage)) return candidate;
    return D3DFMT_UNKNOWN;
}

// The name of a chosen format in the log; the two drawable 16/32-bit rows write X1R5G5B5 as "R5G5B5".
const char* RowName(D3DFORMAT format, bool shortX1) {
    return shortX1 && format == D3DFMT_X1R5G5B5 ? "D3DFMT_R5G5B5" : Graphics_D3D9_Format_GetName(format);
}

// A required colour row: the first usable candidate, logged; -1 with the row's message when none is.
bool RequiredRow(int code, const char* found, std::initializer_list<D3DFORMAT> candidates, const char* none) {
    const D3DFORMAT chosen = FirstUsable(candidates, TextureUse);
    D3D9TextureFormatTable[code] = chosen;
    if (chosen == D3DFMT_UNKNOWN) {
        Log_AddTextShiftJIS(none);
        return false;
    }
    Log_AddFormatShiftJIS(found, Graphics_D3D9_Format_GetName(chosen));
    return true;
}

// A block-compressed row: its format when usable ("D3DFMT_DXTn です"), else the fallback ("使えません").
void BlockRow(int code, const char* message, D3DFORMAT format, const char* found, D3DFORMAT fallback) {
    const bool usable = Usable(format, TextureUse);
    Log_AddFormatShiftJIS(message, usable ? found : "使えません");
    D3D9TextureFormatTable[code] = usable ? format : fallback;
}

// Rows 24 to 48: the first usable candidate, or none (0) with the row's message.
struct OptionalRow {
    const char* Found;
    DWORD Usage;
    D3DFORMAT Candidates[4];
    const char* None;
};

#define F(name) D3DFMT_##name
const OptionalRow OptionalRows[] = {
    {"ABGR 整数 16 ビット型カラーフォーマットは %s です", TextureUse, {F(A16B16G16R16)},
     "使用できるABGR整数16ビット型カラーフォーマットがありませんでした\n"},
    {"ABGR 浮動小数点 16 ビット型カラーフォーマットは %s です", TextureUse, {F(A16B16G16R16F)},
     "使用できるABGR浮動小数点16ビット型カラーフォーマットがありませんでした\n"},
    {"ABGR 浮動小数点 32 ビット型カラーフォーマットは %s です", TextureUse, {F(A32B32G32R32F), F(A16B16G16R16F)},
     "使用できるABGR浮動小数点32ビット型カラーフォーマットがありませんでした\n"},
    {"１チャンネル整数 8 ビット型カラーフォーマットは %s です", TextureUse, {F(A8R8G8B8)},
     "使用できる１チャンネル整数8ビット型カラーフォーマットがありませんでした\n"},
    {"１チャンネル整数 16 ビット型カラーフォーマットは %s です", TextureUse, {F(G16R16), F(A16B16G16R16)},
     "使用できる１チャンネル整数16ビット型カラーフォーマットがありませんでした\n"},
    {"１チャンネル浮動小数点 16 ビット型カラーフォーマットは %s です", TextureUse,
     {F(R16F), F(G16R16F), F(A16B16G16R16F), F(A32B32G32R32F)},
     "使用できる１チャンネル浮動小数点16ビット型カラーフォーマットがありませんでした\n"},
    {"１チャンネル浮動小数点 32 ビット型カラーフォーマットは %s です", TextureUse,
     {F(R32F), F(G32R32F), F(A32B32G32R32F), F(A16B16G16R16F)},
     "使用できる１チャンネル浮動小数点32ビット型カラーフォーマットがありませんでした\n"},
    {"２チャンネル整数 8 ビット型カラーフォーマットは %s です", TextureUse, {F(A8R8G8B8)},
     "使用できる２チャンネル整数8ビット型カラーフォーマットがありませんでした\n"},
    {"２チャンネル整数 16 ビット型カラーフォーマットは %s です", TextureUse, {F(G16R16), F(A16B16G16R16)},
     "使用できる２チャンネル整数16ビット型カラーフォーマットがありませんでした\n"},
    {"２チャンネル浮動小数点 16 ビット型カラーフォーマットは %s です", TextureUse,
     {F(G16R16F), F(A16B16G16R16F), F(A32B32G32R32F)},
     "使用できる２チャンネル浮動小数点16ビット型カラーフォーマットがありませんでした\n"},
    {"２チャンネル浮動小数点 32 ビット型カラーフォーマットは %s です", TextureUse,
     {F(G32R32F), F(A32B32G32R32F), F(A16B16G16R16F)},
     "使用できる２チャンネル浮動小数点32ビット型カラーフォーマットがありませんでした\n"},
    // Row 35: its candidates depend on the screen format and are filled in when the table is made.
    {"描画用 16bit カラーフォーマットは %s です", RenderUse, {}, "使用できる描画用 16bit カラーフォーマットがありませんでした\n"},
    {"描画用 32bit カラーフォーマットは %s です", RenderUse, {F(X8R8G8B8), F(R5G6B5), F(X1R5G5B5)},
     "使用できる描画用 32bit カラーフォーマットがありませんでした\n"},
    {"描画用アルファ付き 32bit カラーフォーマットは %s です", RenderUse, {F(A8R8G8B8), F(A4R4G4B4)},
     "使用できる描画用アルファ付き 32bit カラーフォーマットがありませんでした\n"},
    {"描画用 ABGR 整数 16 ビット型カラーフォーマットは %s です", RenderUse, {F(A16B16G16R16)},
     "使用できる描画用ABGR整数16ビット型カラーフォーマットがありませんでした\n"},
    {"描画用 ABGR 浮動小数点 16 ビット型カラーフォーマットは %s です", RenderUse, {F(A16B16G16R16F)},
     "使用できる描画用ABGR浮動小数点16ビット型カラーフォーマットがありませんでした\n"},
    {"描画用 ABGR 浮動小数点 32 ビット型カラーフォーマットは %s です", RenderUse, {F(A32B32G32R32F), F(A16B16G16R16F)},
     "使用できる描画用ABGR浮動小数点32ビット型カラーフォーマットがありませんでした\n"},
    {"描画用１チャンネル整数 8 ビット型カラーフォーマットは %s です", RenderUse, {F(L8), F(A8L8), F(A8R8G8B8)},
     "使用できる描画用１チャンネル整数8ビット型カラーフォーマットがありませんでした\n"},
    {"描画用１チャンネル整数 16 ビット型カラーフォーマットは %s です", RenderUse, {F(L16), F(G16R16), F(A16B16G16R16)},
     "使用できる描画用１チャンネル整数16ビット型カラーフォーマットがありませんでした\n"},
    {"描画用１チャンネル浮動小数点 16 ビット型カラーフォーマットは %s です", RenderUse,
     {F(R16F), F(G16R16F), F(A16B16G16R16F), F(A32B32G32R32F)},
     "使用できる描画用１チャンネル浮動小数点16ビット型カラーフォーマットがありませんでした\n"},
    {"描画用１チャンネル浮動小数点 32 ビット型カラーフォーマットは %s です", RenderUse,
     {F(R32F), F(G32R32F), F(A32B32G32R32F), F(A16B16G16R16F)},
     "使用できる描画用１チャンネル浮動小数点32ビット型カラーフォーマットがありませんでした\n"},
    {"描画用２チャンネル整数 8 ビット型カラーフォーマットは %s です", RenderUse, {F(A8L8), F(A8R8G8B8)},
     "使用できる描画用２チャンネル整数8ビット型カラーフォーマットがありませんでした\n"},
    {"描画用２チャンネル整数 16 ビット型カラーフォーマットは %s です", RenderUse, {F(G16R16), F(A16B16G16R16)},
     "使用できる描画用２チャンネル整数16ビット型カラーフォーマットがありませんでした\n"},
    {"描画用２チャンネル浮動小数点 16 ビット型カラーフォーマットは %s です", RenderUse,
     {F(G16R16F), F(A16B16G16R16F), F(A32B32G32R32F)},
     "使用できる描画用２チャンネル浮動小数点16ビット型カラーフォーマットがありませんでした\n"},
    {"描画用２チャンネル浮動小数点 32 ビット型カラーフォーマットは %s です", RenderUse,
     {F(G32R32F), F(A32B32G32R32F), F(A16B16G16R16F)},
     "使用できる描画用２チャンネル浮動小数点32ビット型カラーフォーマットがありませんでした\n"},
};
#undef F
constexpr int OptionalFirstCode = 24;
static_assert(sizeof(OptionalRows) / sizeof(OptionalRows[0]) == 25, "rows 24 to 48");

// ---- Device creation ----

IDirect3DDevice9** DeviceOut() { return &D3D9CallState.Device; }

// Fills the present parameters (and the full-screen display mode) from the core's screen settings; -1
// for a colour depth the back buffer cannot have.
int BuildPresentParameters(D3DPRESENT_PARAMETERS& params, D3DDISPLAYMODEEX& modeEx) {
    memset(&params, 0, sizeof(params));
    memset(&modeEx, 0, sizeof(modeEx));
    GraphicsScreenStateRecord& screen = GraphicsScreenState;
    GraphicsSystemStateRecord& system = GraphicsSystemState;
    Device.ExclusiveFullScreen = !Window_IsWindowed() && Graphics_Screen_GetFullScreenResolutionMode() != 0;
    if (Device.ExclusiveFullScreen) {
        Graphics_Screen_ChooseFullScreenDisplayMode();
        const DisplayModeRecord& mode = screen.FullScreenDisplayMode;
        if (screen.ColourBits == 16) {
            params.BackBufferFormat =
                D3D9Call_Direct3D9_GetAdapterModeCount(0, D3DFMT_R5G6B5) > 0 ? D3DFMT_R5G6B5 : D3DFMT_X1R5G5B5;
        } else if (screen.ColourBits == 32) {
            params.BackBufferFormat = D3DFMT_X8R8G8B8;
        } else {
            Log_AddTextShiftJIS("非対応のバックバッファービット深度が指定されました\n");
            return -1;
        }
        params.BackBufferWidth = (UINT)mode.Width;
        params.BackBufferHeight = (UINT)mode.Height;
        params.FullScreen_RefreshRateInHz = (UINT)(mode.RefreshRate > 0 ? mode.RefreshRate : 0);
        params.Windowed = FALSE;
        params.SwapEffect = D3DSWAPEFFECT_DISCARD;
        modeEx.Size = sizeof(modeEx);
        modeEx.Width = params.BackBufferWidth;
        modeEx.Height = params.BackBufferHeight;
        modeEx.RefreshRate = params.FullScreen_RefreshRateInHz;
        modeEx.Format = params.BackBufferFormat;
        modeEx.ScanLineOrdering = D3DSCANLINEORDERING_PROGRESSIVE;
        Log_AddFormatShiftJIS("画面解像度を %u x %u  リフレッシュレートを %dHz に変更します", params.BackBufferWidth,
                              params.BackBufferHeight, (int)params.FullScreen_RefreshRateInHz);
        if (D3D9Settings.DesktopComposition != 1) {
            Window_SetDwmComposition(0);
            if (WinAPITable.DwmEnableComposition != nullptr) Log_AddTextShiftJIS("Desktop Window Manager を無効にしました\n");
        }
    } else {
        D3DDISPLAYMODE desktop = {};
        D3D9Call_Direct3D9_GetAdapterDisplayMode(0, &desktop);
        params.BackBufferFormat = desktop.Format;
        params.Windowed = TRUE;
        params.SwapEffect = system.ScreenMultiSampleCount == 0 ? D3DSWAPEFFECT_COPY : D3DSWAPEFFECT_DISCARD;
        if (Window_IsWindowed() || Graphics_Screen_GetFullScreenResolutionMode() != 0) {
            params.BackBufferWidth = (UINT)screen.MainScreenWidth;
            params.BackBufferHeight = (UINT)screen.MainScreenHeight;
        } else {
            Graphics_Screen_ChooseFullScreenDisplayMode();
            params.BackBufferWidth = (UINT)screen.FullScreenDisplayMode.Width;
            params.BackBufferHeight = (UINT)screen.FullScreenDisplayMode.Height;
        }
        if (desktop.Format == D3DFMT_X8R8G8B8) {
            screen.ColourBits = 32;
            MemImg_SetDefaultColorType(MemImgColorType_XRGB8);
        } else if (desktop.Format == D3DFMT_R5G6B5 || desktop.Format == D3DFMT_X1R5G5B5 ||
                   desktop.Format == D3DFMT_A1R5G5B5) {
            screen.ColourBits = 16;
            MemImg_SetDefaultColorType(MemImgColorType_R5G6B5);
        }
        if (D3D9Settings.DesktopComposition != 2) Window_SetDwmComposition(1);
    }
    params.BackBufferCount = 1;
    params.hDeviceWindow = Window_GetOutputWindow();
    params.EnableAutoDepthStencil = FALSE;
    params.Flags = system.ScreenMultiSampleCount == 0 ? D3DPRESENTFLAG_LOCKABLE_BACKBUFFER : 0;
    params.PresentationInterval = screen.NoVSyncWait ? D3DPRESENT_INTERVAL_IMMEDIATE : D3DPRESENT_INTERVAL_ONE;
    if (system.ScreenMultiSampleCount != 0) {
        D3DMULTISAMPLE_TYPE type = (D3DMULTISAMPLE_TYPE)system.ScreenMultiSampleCount;
        DWORD quality = (DWORD)system.ScreenMultiSampleQuality;
        D3D9Call_Direct3D9_CheckMultiSampleParam(params.BackBufferFormat, &type, &quality, 0);
        system.ScreenMultiSampleCount = (int32_t)type;
        system.ScreenMultiSampleQuality = (int32_t)quality;
        params.MultiSampleType = type;
        params.MultiSampleQuality = quality;
    } else {
        system.ScreenMultiSampleQuality = 0;
    }
    return 0;
}

// One creation on the Ex road or the plain one.
HRESULT CreateWith(UINT adapter, HWND focus, DWORD flags, D3DPRESENT_PARAMETERS& params, D3DDISPLAYMODEEX* modeEx) {
    D3DPRESENT_PARAMETERS copy = params;   // the runtime may write into it; each try starts from the same one
    HRESULT result;
    if (D3D9CallState.Direct3D9Ex != nullptr) {
        result = D3D9CallState.Direct3D9Ex->CreateDeviceEx(adapter, D3DDEVTYPE_HAL, focus, flags, &copy, modeEx,
                                                           &D3D9CallState.DeviceEx);
        if (result == D3D_OK) D3D9CallState.Device = D3D9CallState.DeviceEx;
        else D3D9CallState.DeviceEx = nullptr;
    } else {
        result = D3D9CallState.Direct3D9->CreateDevice(adapter, D3DDEVTYPE_HAL, focus, flags, &copy, DeviceOut());
        if (result != D3D_OK) D3D9CallState.Device = nullptr;
    }
    if (result == D3D_OK) params = copy;
    return result;
}

// The core's background colour as A8R8G8B8.
D3DCOLOR BackgroundColour() {
    const int32_t* c = GraphicsScreenState.BackgroundColor;
    return D3DCOLOR_ARGB(c[3] & 0xFF, c[0] & 0xFF, c[1] & 0xFF, c[2] & 0xFF);
}

int BytesPerPixel(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_X8R8G8B8:
        case D3DFMT_A8R8G8B8: return 4;
        case D3DFMT_R5G6B5:
        case D3DFMT_X1R5G5B5:
        case D3DFMT_A1R5G5B5: return 2;
        default: return 0;
    }
}

int64_t Ticks() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

int64_t TicksToNs(int64_t ticks) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    if (frequency.QuadPart <= 0) return 0;
    return (int64_t)((double)ticks * 1e9 / (double)frequency.QuadPart);
}

// Copies `rows` rows of `rowBytes` from one locked rectangle into another.
void CopyRows(const D3DLOCKED_RECT& from, const D3DLOCKED_RECT& to, int rows, uint32_t rowBytes) {
    for (int y = 0; y < rows; ++y)
        memcpy((uint8_t*)to.pBits + (int64_t)y * to.Pitch, (const uint8_t*)from.pBits + (int64_t)y * from.Pitch, rowBytes);
}

// One round of the lock measurement on an edge x edge square: the times of reading it by locking the
// back buffer and by copying it through a render target, each -1 when its road failed.
void MeasureRound(int edge, int64_t& lockTime, int64_t& copyTime) {
    lockTime = copyTime = -1;
    const D3DFORMAT format = Device.ScreenFormat;
    const uint64_t rowBytes64 = (uint64_t)edge * (uint64_t)BytesPerPixel(format);
    if (rowBytes64 == 0 || rowBytes64 > 0x7FFFFFFFull) return;
    const uint32_t rowBytes = (uint32_t)rowBytes64;
    const RECT square = {0, 0, edge, edge};
    IDirect3DSurface9* s1 = nullptr;
    IDirect3DSurface9* s2 = nullptr;
    IDirect3DSurface9* s3 = nullptr;
    D3DLOCKED_RECT target = {};
    bool s1Locked = false;
    if (D3D9Call_Device_CreateOffscreenPlainSurface(edge, edge, format, D3DPOOL_SYSTEMMEM, &s1, nullptr) == D3D_OK &&
        D3D9Call_Surface_LockRect(s1, &target, &square, D3DLOCK_READONLY) == D3D_OK) {
        s1Locked = true;
        int64_t start = Ticks();
        D3DLOCKED_RECT back = {};
        if (D3D9Call_Surface_LockRect(Device.BackBuffer, &back, &square, D3DLOCK_READONLY) == D3D_OK) {
            CopyRows(back, target, edge, rowBytes);
            D3D9Call_Surface_UnlockRect(Device.BackBuffer);
            lockTime = Ticks() - start;
        }
        if (lockTime >= 0) {
            start = Ticks();
            D3DLOCKED_RECT copied = {};
            if (D3D9Call_Device_CreateRenderTarget(edge, edge, format, D3DMULTISAMPLE_NONE, 0, FALSE, &s2, nullptr) == D3D_OK &&
                D3D9Call_Device_CreateOffscreenPlainSurface(edge, edge, format, D3DPOOL_SYSTEMMEM, &s3, nullptr) == D3D_OK &&
                D3D9Call_Device_StretchRect(Device.BackBuffer, &square, s2, nullptr, D3DTEXF_NONE) == D3D_OK &&
                D3D9Call_Device_GetRenderTargetData(s2, s3) == D3D_OK &&
                D3D9Call_Surface_LockRect(s3, &copied, nullptr, D3DLOCK_READONLY) == D3D_OK) {
                CopyRows(copied, target, edge, rowBytes);
                D3D9Call_Surface_UnlockRect(s3);
                D3D9Call_Surface_UnlockRect(s1);
                s1Locked = false;
                D3D9Call_Object_Release(s2);
                D3D9Call_Object_Release(s3);
                s2 = s3 = nullptr;
                copyTime = Ticks() - start;
            }
        }
    }
    if (s1Locked) D3D9Call_Surface_UnlockRect(s1);
    D3D9Call_Object_Release(s1);
    D3D9Call_Object_Release(s2);
    D3D9Call_Object_Release(s3);
}

}  // namespace

// ---- Object ----

int D3D9Call_Direct3D9_Create() {
    D3D9Call_Direct3D9_Release();
    if (!D3D9CallState.NoEx) {
        Log_AddTextShiftJIS("IDirect3D9Ex オブジェクトを取得します.... ");
        auto createEx = (D3D9Call_Direct3DCreate9ExProc)(void*)D3D9Call_GetProc("Direct3DCreate9Ex");
        IDirect3D9Ex* object = nullptr;
        if (createEx != nullptr && createEx(D3D_SDK_VERSION, &object) == D3D_OK && object != nullptr) {
            D3D9CallState.Direct3D9Ex = object;
            D3D9CallState.Direct3D9 = object;
            Log_AddTextShiftJIS("成功\n");
            return 0;
        }
        Log_AddTextShiftJIS("失敗\n");
    }
    Log_AddTextShiftJIS("IDirect3D9 オブジェクトを取得します.... ");
    auto create = (D3D9Call_Direct3DCreate9Proc)(void*)D3D9Call_GetProc("Direct3DCreate9");
    if (create == nullptr) {
        Log_AddTextShiftJIS("Direct3DCreate9 APIのアドレス取得に失敗しました\n");
        return -1;
    }
    D3D9CallState.Direct3D9 = create(D3D_SDK_VERSION);
    if (D3D9CallState.Direct3D9 == nullptr) {
        Log_AddTextShiftJIS("IDirect3D9 オブジェクトの取得に失敗しました\n");
        return -1;
    }
    Log_AddTextShiftJIS("成功\n");
    return 0;
}

int D3D9Call_Direct3D9_CheckMultiSampleParam(D3DFORMAT format, D3DMULTISAMPLE_TYPE* type, DWORD* quality, int fail) {
    if (!D3D9Call_Direct3D9_Exists()) return -1;
    const BOOL windowed = Windowed() ? TRUE : FALSE;
    const D3DFORMAT formats[2] = {format, D3DFMT_D16};
    DWORD levels[2] = {0, 0};
    for (int step = 0; step < 2; ++step) {
        for (;;) {
            if (*type == D3DMULTISAMPLE_NONE) {
                *quality = 0;
                return 0;
            }
            if (D3D9Call_Direct3D9_CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, formats[step], windowed, *type,
                                                              &levels[step]) == D3D_OK)
                break;
            if (fail) {
                *quality = 0;
                return -1;
            }
            *type = (D3DMULTISAMPLE_TYPE)(*type - 1);
        }
    }
    const DWORD fewest = levels[0] < levels[1] ? levels[0] : levels[1];
    const DWORD usable = fewest > 0 ? fewest - 1 : 0;
    if (*quality > usable) *quality = usable;
    return 0;
}

int D3D9Call_Direct3D9_CheckMultiSampleParamASync(D3DFORMAT format, D3DMULTISAMPLE_TYPE* type, DWORD* quality, int fail,
                                                  int async) {
    if (async != 1) return D3D9Call_Direct3D9_CheckMultiSampleParam(format, type, quality, fail);
    return ASyncLoad_MainThreadRequest_PostWords(
        [](MainThreadRequest* r) {
            return D3D9Call_Direct3D9_CheckMultiSampleParam((D3DFORMAT)r->Params[0], (D3DMULTISAMPLE_TYPE*)r->Params[1],
                                                            (DWORD*)r->Params[2], (int)r->Params[3]);
        },
        {(intptr_t)format, (intptr_t)type, (intptr_t)quality, (intptr_t)fail});
}

int D3D9Call_Direct3D9_CreateDevice() {
    if (!D3D9Call_Direct3D9_Exists()) return -1;
    D3DPRESENT_PARAMETERS& params = Device.PresentParams;
    if (BuildPresentParameters(params, Device.DisplayModeEx) < 0) return -1;

    const UINT adapter = ChosenAdapter();
    Device.Adapter = adapter;
    const HWND focus = Window_GetMainHandle();
    D3DCAPS9 objectCaps = {};
    D3D9Call_Direct3D9_GetDeviceCaps(adapter, D3DDEVTYPE_HAL, &objectCaps);
    Device.ObjectVertexShaderVersion = objectCaps.VertexShaderVersion;
    Device.MixedProcessing = Low16(objectCaps.VertexShaderVersion) >= 0x200 && Low16(objectCaps.PixelShaderVersion) >= 0x200;
    DWORD extra = 0;
    if (D3D9Settings.Multithreaded) extra |= D3DCREATE_MULTITHREADED;
    if (D3D9Settings.FpuPreserve) extra |= D3DCREATE_FPU_PRESERVE;
    const DWORD first = (Device.MixedProcessing ? D3DCREATE_MIXED_VERTEXPROCESSING : D3DCREATE_SOFTWARE_VERTEXPROCESSING) | extra;
    const DWORD software = D3DCREATE_SOFTWARE_VERTEXPROCESSING | extra;
    D3DDISPLAYMODEEX* modeEx = Device.ExclusiveFullScreen ? &Device.DisplayModeEx : nullptr;

    const bool ex = D3D9CallState.Direct3D9Ex != nullptr;
    Log_AddTextShiftJIS(ex ? "IDirect3DDevice9Ex オブジェクトを取得します.... " : "IDirect3DDevice9 オブジェクトを取得します.... ");
    Device.SoftwareRetry = 0;
    if (CreateWith(adapter, focus, first, params, modeEx) != D3D_OK) {
        Device.MixedProcessing = 0;
        Device.SoftwareRetry = 1;
        if (CreateWith(adapter, focus, software, params, modeEx) != D3D_OK) {
            if (ex) {
                D3D9CallState.NoEx = 1;
                Log_AddTextShiftJIS("Direct3DDevice9Ex の作成に失敗しました\n");
                return -2;
            }
            Log_AddTextShiftJIS("Direct3DDevice9 の作成に失敗しました\n");
            return -1;
        }
    }
    if (ex) D3D9CallState.DeviceEx->SetMaximumFrameLatency(1);
    Log_AddTextShiftJIS(Device.SoftwareRetry ? "ソフトウエア頂点演算を使用します\n" : "ハードウエア頂点演算を使用します\n");

    D3D9Call_Device_SetRenderState(D3DRS_ZENABLE, TRUE);
    const D3DCOLOR clear =
        Window_IsWindowed() || Graphics_Screen_GetFullScreenResolutionMode() == 2 ? BackgroundColour() : 0;
    const HWND output = Window_GetOutputWindow();
    for (int i = 0; i < 3; ++i) {
        D3D9Call_Device_Clear(0, nullptr, D3DCLEAR_TARGET, clear, 1.0f, 0);
        D3D9Call_Device_Present(nullptr, nullptr, output, nullptr);
    }
    D3D9Call_Device_Clear(0, nullptr, D3DCLEAR_TARGET, clear, 1.0f, 0);
    IDirect3DSwapChain9* swapChain = nullptr;
    if (D3D9CallState.Device->GetSwapChain(0, &swapChain) == D3D_OK && swapChain != nullptr) {
        D3D9CallState.SwapChain = swapChain;
        D3D9Call_CountObject(swapChain, D3D9OBJ_SWAP_CHAIN);
    }
    return 0;
}

// ---- Set-up ----

int Graphics_D3D9_Device_Setup() {
    if (!D3D9Call_Direct3D9_Exists()) return -1;
    D3D9Call_Object_Release(Device.BackBuffer);
    Device.BackBuffer = nullptr;
    D3D9Call_Device_Release();
    D3D9DeviceStateCache.Scene = 0;
    GraphicsSystemStateRecord& system = GraphicsSystemState;
    GraphicsScreenStateRecord& screen = GraphicsScreenState;
    if (Graphics_D3D9_Shader_GetSupportVersion() < 200) {
        system.ScreenMultiSampleCount = 0;
        system.ScreenMultiSampleQuality = 0;
    }

    // Safer screen settings one after the other; a refused Ex device goes back to the caller at once.
    int result = D3D9Call_Direct3D9_CreateDevice();
    for (int rung = 0; result == -1 && rung < 3; ++rung) {
        if (rung == 0) {
            screen.ColourBits = 32;
            MemImg_SetDefaultColorType(MemImgColorType_XRGB8);
        } else {
            Graphics_Screen_SetMainScreenSize(rung == 1 ? 800 : 1024, rung == 1 ? 600 : 768);
        }
        result = D3D9Call_Direct3D9_CreateDevice();
    }
    if (result < 0) return result;

    D3D9Call_DDraw_MeasureRefreshInterval();
    Graphics_D3D9_StateCache_ForgetShadersAndInputs();
    if (D3D9Call_Device_GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &Device.BackBuffer) != D3D_OK) Device.BackBuffer = nullptr;
    Log_AddTextShiftJIS("成功\n");

    if (Device.ExclusiveFullScreen) {
        MONITORINFO info = {};
        info.cbSize = sizeof(info);
        if (WinAPI_GetMonitorInfo(D3D9Call_Direct3D9_GetAdapterMonitor(Device.Adapter), &info))
            screen.MonitorRect = info.rcMonitor;
    }

    D3DCAPS9 caps = {};
    D3D9Call_Device_GetDeviceCaps(&caps);
    Graphics_D3D9_Device_ReadCaps(&caps);

    D3DADAPTER_IDENTIFIER9 identifier = {};
    if (D3D9Call_Direct3D9_GetAdapterIdentifier(0, 0, &identifier) == D3D_OK)
        Log_AddFormatShiftJIS("Driver:%s  Description:%s", identifier.Driver, identifier.Description);

    D3DSURFACE_DESC back = {};
    if (Device.BackBuffer != nullptr) D3D9Call_Surface_GetDesc(Device.BackBuffer, &back);
    Device.ScreenFormat = back.Format;
    if (back.Format == D3DFMT_X8R8G8B8 || back.Format == D3DFMT_R5G6B5 || back.Format == D3DFMT_X1R5G5B5)
        Log_AddFormatShiftJIS("画面のフォーマットは %s です", Graphics_D3D9_Format_GetName(back.Format));
    else
        Log_AddFormatShiftJIS("バックバッファが対応していないフォーマット %d です", (int)back.Format);

    if (Graphics_D3D9_Format_SetupTable() < 0) return -1;

    for (D3DFORMAT format : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_A1R5G5B5, D3DFMT_X1R5G5B5}) {
        const bool usable = D3D9Call_Direct3D9_CheckDeviceFormat(Device.Adapter, D3DDEVTYPE_HAL, Device.ScreenFormat,
                                                                 D3DUSAGE_QUERY_VERTEXTEXTURE, D3DRTYPE_TEXTURE,
                                                                 format) == D3D_OK;
        const char* name = Graphics_D3D9_Format_GetName(format) + 7;   // without "D3DFMT_"
        Log_AddFormatShiftJIS(usable ? "%s カラーフォーマットは頂点テクスチャフェッチに使用できます"
                                     : "%s カラーフォーマットは頂点テクスチャフェッチに使用できません",
                              name);
    }

    Log_AddFormatShiftJIS("一度に描画できるプリミティブの最大数:%d", system.MaxPrimitiveCount);
    Log_AddFormatShiftJIS("対応している最大頂点インデックス:%d", system.MaxVertexIndex);
    Log_AddFormatShiftJIS("同時にレンダリングできるバッファの数:%d", system.MaxRenderTargets);
    Log_AddFormatShiftJIS("最大テクスチャサイズ　幅:%d 高さ:%d", system.MaxTextureWidth, system.MaxTextureHeight);
    Log_AddFormatShiftJIS("テクスチャステージテンポラリレジスタ：%s", Device.StageTemporary ? "使用可" : "使用不可");
    Log_AddFormatShiftJIS("減算合成のハードウェア対応：%s", Device.BlendOperation ? "ネイティブ" : "エミュレート");
    if (Device.MixedProcessing) {
        Log_AddFormatShiftJIS("ハードウェア頂点シェーダーバージョンコード：%x", Low16(Device.Caps.VertexShaderVersion));
        Log_AddTextShiftJIS("エミュレーション頂点シェーダーバージョンコード：エミュレーション無し\n");
    } else {
        Log_AddFormatShiftJIS("ハードウェア頂点シェーダーバージョンコード：%x", Low16(Device.ObjectVertexShaderVersion));
        Log_AddFormatShiftJIS("エミュレーション頂点シェーダーバージョンコード：%x", Low16(Device.Caps.VertexShaderVersion));
    }
    Log_AddFormatShiftJIS("ピクセルシェーダーバージョンコード：%x", Low16(Device.Caps.PixelShaderVersion));

    return Graphics_D3D9_Device_MeasureBackBufferLock();
}

void Graphics_D3D9_Device_ReadCaps(const D3DCAPS9* caps) {
    GraphicsSystemStateRecord& system = GraphicsSystemState;
    Device.Caps = *caps;
    Device.TextureStageCount = (int32_t)caps->MaxTextureBlendStages;
    system.MaxRenderTargets = caps->NumSimultaneousRTs < 8 ? (int32_t)caps->NumSimultaneousRTs : 8;
    system.WaitVSyncChangeable = 1;
    system.FurtherCapsSwitch = 1;
    system.NoHalfPixelOffset = 0;
    Device.StageTemporary = (caps->PrimitiveMiscCaps & D3DPMISCCAPS_TSSARGTEMP) != 0;
    Device.BlendOperation = (caps->PrimitiveMiscCaps & D3DPMISCCAPS_BLENDOP) != 0;
    system.SubtractiveBlendSupported = Device.BlendOperation;
    system.SeparateAlphaBlendSupported = (caps->PrimitiveMiscCaps & D3DPMISCCAPS_SEPARATEALPHABLEND) != 0;
    const int vertex = Low16(caps->VertexShaderVersion), pixel = Low16(caps->PixelShaderVersion);
    Device.VertexShader20 = vertex >= 0x200;
    Device.PixelShader20 = pixel >= 0x200;
    Device.VertexShader30 = Device.PixelShader30 = vertex >= 0x300 && pixel >= 0x300;
    system.TexturePowerOfTwoOnly = (caps->TextureCaps & D3DPTEXTURECAPS_POW2) != 0;
    system.TextureSquareOnly = (caps->TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) != 0;
    system.TextureNonPowerOfTwoConditional = (caps->TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) != 0;
    system.MaxTextureWidth = caps->MaxTextureWidth != 0 ? (int32_t)caps->MaxTextureWidth : 256;
    system.MaxTextureHeight = caps->MaxTextureHeight != 0 ? (int32_t)caps->MaxTextureHeight : 256;
    system.MaxTextureSize = system.MaxTextureWidth < system.MaxTextureHeight ? system.MaxTextureWidth : system.MaxTextureHeight;
    system.MaxPrimitiveCount = (int32_t)caps->MaxPrimitiveCount;
    system.MaxVertexIndex = (int32_t)caps->MaxVertexIndex;
    // No setter call equals these, so the next one of each reaches the device.
    D3D9DeviceStateCache.DiffuseMaterialSource = 255;
    D3D9DeviceStateCache.SpecularMaterialSource = 255;
    D3D9DeviceStateCache.StateChanged = 1;
}

int Graphics_D3D9_Format_SetupTable() {
    D3DFORMAT* t = D3D9TextureFormatTable;
    memset(D3D9TextureFormatTable, 0, sizeof(D3D9TextureFormatTable));
    const D3DFORMAT screen = Device.ScreenFormat;
    auto depthUsable = [&](D3DFORMAT format) {
        return D3D9Call_Direct3D9_CheckDepthFormat(Device.Adapter, D3DDEVTYPE_HAL, screen, screen, format) == 0;
    };
    auto firstDepth = [&](std::initializer_list<D3DFORMAT> candidates) {
        for (D3DFORMAT format : candidates)
            if (depthUsable(format)) return format;
        return D3DFMT_D16;
    };
    D3D9DepthFormatTable[0] = D3DFMT_D16;
    D3D9DepthFormatTable[1] = firstDepth({D3DFMT_D24X8, D3DFMT_D32});
    D3D9DepthFormatTable[2] = firstDepth({D3DFMT_D32, D3DFMT_D24X8});
    Log_AddFormatShiftJIS("16bit Zバッファフォーマットは %s です", Graphics_D3D9_Format_GetName(D3D9DepthFormatTable[0]));
    Log_AddFormatShiftJIS("24bit Zバッファフォーマットは %s です", Graphics_D3D9_Format_GetName(D3D9DepthFormatTable[1]));
    Log_AddFormatShiftJIS("32bit Zバッファフォーマットは %s です", Graphics_D3D9_Format_GetName(D3D9DepthFormatTable[2]));

    if (!RequiredRow(6, "16bit カラーフォーマットは %s です", {D3DFMT_R5G6B5, D3DFMT_X1R5G5B5},
                     "使用できる 16bit カラーフォーマットが見つかりませんでした\n"))
        return -1;
    t[7] = FirstUsable({D3DFMT_X8R8G8B8}, TextureUse);
    if (t[7] == D3DFMT_UNKNOWN) t[7] = t[6];
    Log_AddFormatShiftJIS("32bit カラーフォーマットは %s です", Graphics_D3D9_Format_GetName(t[7]));
    if (!RequiredRow(8, "アルファ付き 16bit カラーフォーマットは %s です", {D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8},
                     "使用できるアルファ付き 16bit カラーフォーマットが見つかりませんでした\n") ||
        !RequiredRow(9, "アルファ付き 32bit カラーフォーマットは %s です", {D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4},
                     "使用できるアルファ付き 32bit カラーフォーマットが見つかりませんでした\n") ||
        !RequiredRow(10, "アルファテスト用 16bit カラーフォーマットは %s です",
                     {D3DFMT_A1R5G5B5, D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4},
                     "使用できるアルファテスト用 16bit カラーフォーマットが見つかりませんでした\n") ||
        !RequiredRow(11, "アルファテスト用 32bit カラーフォーマットは %s です",
                     {D3DFMT_A8R8G8B8, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4},
                     "使用できるアルファテスト用 32bit カラーフォーマットが見つかりませんでした\n"))
        return -1;
    BlockRow(12, "ＤＸＴ１テクスチャフォーマットは%s", D3DFMT_DXT1, "D3DFMT_DXT1 です", t[10]);
    BlockRow(13, "ＤＸＴ２テクスチャフォーマットは%s", D3DFMT_DXT2, "D3DFMT_DXT2 です", t[9]);
    BlockRow(14, "ＤＸＴ３テクスチャフォーマットは%s", D3DFMT_DXT3, "D3DFMT_DXT3 です", t[9]);
    BlockRow(15, "ＤＸＴ４テクスチャフォーマットは%s", D3DFMT_DXT4, "D3DFMT_DXT4 です", t[9]);
    BlockRow(16, "ＤＸＴ５テクスチャフォーマットは%s", D3DFMT_DXT5, "D3DFMT_DXT5 です", t[9]);
    t[17] = t[18] = t[9];

    const D3DFORMAT screen16 = screen == D3DFMT_R5G6B5 ? D3DFMT_R5G6B5 : D3DFMT_X1R5G5B5;
    const D3DFORMAT other16 = screen16 == D3DFMT_R5G6B5 ? D3DFMT_X1R5G5B5 : D3DFMT_R5G6B5;
    for (int i = 0; i < 25; ++i) {
        const int code = OptionalFirstCode + i;
        const OptionalRow& row = OptionalRows[i];
        const D3DFORMAT chosen =
            code == 35 ? FirstUsable({screen16, other16, D3DFMT_X8R8G8B8}, row.Usage)
                       : FirstUsable({row.Candidates[0], row.Candidates[1], row.Candidates[2], row.Candidates[3]}, row.Usage);
        t[code] = chosen;
        if (chosen != D3DFMT_UNKNOWN) Log_AddFormatShiftJIS(row.Found, RowName(chosen, code == 35 || code == 36));
        else Log_AddTextShiftJIS(row.None);
    }

    const bool depth16 = GraphicsScreenState.ColourBits == 16;
    t[0] = t[1] = depth16 ? t[6] : t[7];
    t[2] = t[3] = depth16 ? t[8] : t[9];
    t[4] = t[5] = depth16 ? t[10] : t[11];
    t[49] = GraphicsScreenState.ColourBits == 32 ? t[36] : t[35];
    t[50] = GraphicsScreenState.ColourBits == 32 ? t[11] : t[10];
    return 0;
}

int Graphics_D3D9_Device_MeasureBackBufferLock() {
    Device.BackBufferLock = 0;
    Device.LockEdge = 0;
    Device.LockTimeNs = Device.CopyTimeNs = -1;
    if (GraphicsSystemState.ScreenMultiSampleCount != 0) {
        Log_AddTextShiftJIS("フルシーンアンチエイリアスを使用する場合はバックバッファはロックできません\n");
        return 0;
    }
    int edge = 256;
    while (edge > 1 && (edge > GraphicsScreenState.MainScreenWidth || edge > GraphicsScreenState.MainScreenHeight)) edge /= 2;
    Device.LockEdge = edge;
    int64_t lockTime = -1, copyTime = -1;
    // The first two rounds warm the roads up; only the third counts.
    for (int round = 0; round < 3; ++round) MeasureRound(edge, lockTime, copyTime);
    if (Device.BackBuffer == nullptr || lockTime < 0 || copyTime < 0) {
        Log_AddTextShiftJIS("バックバッファはロックできません\n");
        return 0;
    }
    Device.LockTimeNs = TicksToNs(lockTime);
    Device.CopyTimeNs = TicksToNs(copyTime);
    Log_AddFormatShiftJIS("バックバッファロック転送の時間:%dnsec  一時的な描画可能バッファを使用した転送の時間:%dnsec",
                          (int)Device.LockTimeNs, (int)Device.CopyTimeNs);
    Device.BackBufferLock = lockTime < copyTime;
    Log_AddTextShiftJIS(Device.BackBufferLock ? "バックバッファロックを使用します\n" : "バックバッファロックを使用しません\n");
    return 0;
}

const char* Graphics_D3D9_Format_GetName(D3DFORMAT format) {
    for (const FormatName& entry : FormatNames)
        if (entry.Format == format) return entry.Name;
    return "D3DFMT_UNKNOWN";
}

int Graphics_D3D9_Shader_GetSupportVersion() {
    if (!D3D9Call_Direct3D9_Exists()) return 0;
    D3DCAPS9 caps = {};
    if (D3D9Call_Direct3D9_GetDeviceCaps(ChosenAdapter(), D3DDEVTYPE_HAL, &caps) != D3D_OK) return 0;
    const int vertex = Low16(caps.VertexShaderVersion), pixel = Low16(caps.PixelShaderVersion);
    if (vertex < 0x200 && pixel < 0x200) return 0;
    return vertex >= 0x300 && pixel >= 0x300 ? 300 : 200;
}

}  // namespace Vantrel
