// The device switch layer: the plain switches generated from the one table, the switches that
// differ from the plain rule written out, the back-end choice, restore, device end, the present
// without a device (the main software screen drawn into the window through GDI), the monitor list
// and the front-screen present timer.
// Stands on both back-ends, the window module, asynchronous loading and the system function table.
#include "graphics/VtGraphicsDispatch.h"

#include "foundation/VtASyncLoad.h"
#include "foundation/VtLog.h"
#include "foundation/VtString.h"
#include "foundation/VtThread.h"
#include "foundation/VtWinAPI.h"
#include "foundation/VtWinAPIText.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics/VtGraphicsScreen.h"
#include "graphics_d3d11/VtGraphicsD3D11.h"
#include "graphics_d3d11/VtGraphicsD3D11DrawTarget.h"
#include "graphics_d3d11/VtGraphicsD3D11Filter.h"
#include "graphics_d3d9/VtGraphicsD3D9.h"
#include "system/VtWindow.h"
#include "system/VtWindowSettings.h"

namespace Vantrel {

// ---- The plain switches ----

#define VT_GRAPHICS_DISPATCH_SWITCH(name, params, args)      \
    int Graphics_Dispatch_##name params {                    \
        switch (GraphicsApi) {                               \
            case GRAPHICS_API_D3D9: return Graphics_D3D9_##name args;   \
            case GRAPHICS_API_D3D11: return Graphics_D3D11_##name args; \
            default: return 0;                               \
        }                                                    \
    }
VT_GRAPHICS_DISPATCH_PLAIN(VT_GRAPHICS_DISPATCH_SWITCH)
VT_GRAPHICS_DISPATCH_GRAPHFILTER(VT_GRAPHICS_DISPATCH_SWITCH)
#undef VT_GRAPHICS_DISPATCH_SWITCH

// ---- The switches that differ ----

int Graphics_Dispatch_GraphFilter_FloatColorScale(GraphFilterContext* context, const float* values) {
    return GraphicsApi == GRAPHICS_API_D3D11 ? Graphics_D3D11_GraphFilter_FloatColorScale(context, values) : 0;
}

int Graphics_Dispatch_GraphFilter_Ssao(GraphFilterContext* context, int depthGraph, float p1, float p2, float p3,
                                       float p4, int color, float mix, int mixGraph) {
    if (GraphicsApi != GRAPHICS_API_D3D11) return 0;
    return Graphics_D3D11_GraphFilter_Ssao(context, depthGraph, p1, p2, p3, p4, color, mix, mixGraph);
}

int Graphics_Dispatch_Device_IsValid() {
    switch (GraphicsApi) {
        case GRAPHICS_API_D3D9: return D3D9Call_Device_Exists();
        case GRAPHICS_API_D3D11: return D3D11Call_Device_Exists();
        default: return 0;
    }
}

int Graphics_Dispatch_VertexBatch_Flush(int otherThread) {
    switch (GraphicsApi) {
        case GRAPHICS_API_D3D9: return Graphics_D3D9_VertexBatch_Flush(otherThread);
        case GRAPHICS_API_D3D11: return Graphics_D3D11_VertexBatch_Flush(-1, otherThread);
        default: return 0;
    }
}

int Graphics_Dispatch_IndexBuffer_SetData(BufferHandleRecord* buffer, int first, const void* data, int count) {
    switch (GraphicsApi) {
        case GRAPHICS_API_D3D9: return Graphics_D3D9_IndexBuffer_SetData(buffer, first, data, count);
        case GRAPHICS_API_D3D11: return Graphics_D3D11_Buffer_SetData(buffer, first, data, count);
        default: return 0;
    }
}

int Graphics_Dispatch_VertexBuffer_SetData(BufferHandleRecord* buffer, int first, const void* data, int count) {
    switch (GraphicsApi) {
        case GRAPHICS_API_D3D9: return Graphics_D3D9_VertexBuffer_SetData(buffer, first, data, count);
        case GRAPHICS_API_D3D11: return Graphics_D3D11_Buffer_SetData(buffer, first, data, count);
        default: return 0;
    }
}

// Direct3D 11 keeps no system-memory pools.
int Graphics_Dispatch_SysMemPool_ReleaseAll() {
    return GraphicsApi == GRAPHICS_API_D3D9 ? Graphics_D3D9_SysMemPool_ReleaseAll() : 0;
}

int Graphics_Dispatch_SysMemPool_ReleaseUnused() {
    if (GraphicsApi == GRAPHICS_API_D3D9) {
        Graphics_D3D9_SysMemTexturePool_ReleaseUnused();
        Graphics_D3D9_SysMemSurfacePool_ReleaseUnused();
    }
    return 0;
}

// Direct3D 11 accepts any graph as depth buffer.
int Graphics_Dispatch_ZBuffer_CheckGraph(int reserved, GraphHandleRecord* graph) {
    return GraphicsApi == GRAPHICS_API_D3D9 ? Graphics_D3D9_ZBuffer_CheckGraph(reserved, graph) : 0;
}

int Graphics_Dispatch_MaxAnisotropy_Set(int value) {
    return GraphicsApi == GRAPHICS_API_D3D9 ? Graphics_D3D9_MaxAnisotropy_Set(value) : 0;
}

int Graphics_Dispatch_Texture_UpdateFromMovie(MovieRecord* movie, GraphHandleRecord* graph) {
    return GraphicsApi == GRAPHICS_API_D3D9 ? Graphics_D3D9_Texture_UpdateFromMovie(movie, graph) : 0;
}

int Graphics_Dispatch_ShadowMap_DrawEndHook() { return 0; }

int Graphics_Dispatch_Device_PostInitialize() {
    switch (GraphicsApi) {
        case GRAPHICS_API_D3D9: return Graphics_D3D9_Device_PostInitialize() < 0 ? -1 : 0;
        case GRAPHICS_API_D3D11: return Graphics_D3D11_Device_PostInitialize() < 0 ? -1 : 0;
        default: return 0;
    }
}

int Graphics_Dispatch_Device_CheckLostOnActivate() {
    if (GraphicsApi == GRAPHICS_API_D3D9) Graphics_D3D9_Device_CheckLostOnActivate();
    return 0;
}

// Always the Direct3D 9 body: it does nothing without a Direct3D 9 device.
int Graphics_Dispatch_SetDialogBoxMode(int flag) { return Graphics_D3D9_SetDialogBoxMode(flag); }

int Graphics_Dispatch_DrawScreen_SetPost(int screen) {
    switch (GraphicsApi) {
        case GRAPHICS_API_D3D9: return Graphics_D3D9_DrawScreen_SetPost(screen);
        case GRAPHICS_API_D3D11: return Graphics_D3D11_DrawScreen_SetPost(screen);
        default:
            if (screen == DRAW_SCREEN_FRONT) Graphics_FrontScreen_ArmTimer();
            return 0;
    }
}

int Graphics_Dispatch_DrawScreen_GetPixelWithStatus(int x, int y, int* status) {
    if (GraphicsApi == GRAPHICS_API_D3D11) return Graphics_D3D11_DrawScreen_GetPixelWithStatus(x, y, status);
    if (status) *status = 0;
    return Graphics_Dispatch_DrawScreen_GetPixel(x, y);
}

void* Graphics_Dispatch_DirectDraw7_Get() { return D3D9Call_DDraw_Get(); }

// ---- Back-end choice, restore and end ----

int Graphics_Dispatch_Device_Initialize() {
    if (!GraphicsSystemState.SoftwareOnly) {
        GraphicsApi = GRAPHICS_API_D3D11;
        if (Graphics_D3D11_Device_Initialize() >= 0) return 0;
        GraphicsApi = GRAPHICS_API_D3D9;
        if (Graphics_D3D9_Device_Initialize() >= 0) {
            Log_AddTextShiftJIS("Direct3D 11 が使えないので Direct3D 9 で描画します\n");
            return 0;
        }
    }
    GraphicsApi = GRAPHICS_API_NONE;
    D3D9Call_DDraw_Create();
    D3D9Call_DDraw_MeasureRefreshInterval();
    return 0;
}

int Graphics_Dispatch_Device_RestoreOrChange(int mode, int width, int height, int colorBits, int refreshRate) {
    while (ASyncLoad_GetPendingCount() > 0) {
        ASyncLoad_ServeMainThreadRequests();
        Thread_Sleep(Window.LogicalProcessorCount > 1 ? 0 : 2);
    }
    switch (GraphicsApi) {
        case GRAPHICS_API_D3D9: return Graphics_D3D9_Device_RestoreOrChange(mode, width, height, colorBits, refreshRate);
        case GRAPHICS_API_D3D11:
            return Graphics_D3D11_Device_RestoreOrChange(mode, width, height, colorBits, refreshRate);
        default:
            D3D9Call_DDraw_Release();
            if (D3D9Call_DDraw_Create() < 0) return -1;
            D3D9Call_DDraw_MeasureRefreshInterval();
            return 0;
    }
}

int Graphics_Dispatch_Device_Terminate() {
    int result = 0;
    switch (GraphicsApi) {
        case GRAPHICS_API_D3D9: Graphics_D3D9_Device_Terminate(); break;
        case GRAPHICS_API_D3D11: result = Graphics_D3D11_Device_Terminate(); break;
        default: D3D9Call_DDraw_Release(); break;
    }
    Graphics_Display_ReleaseInfo();
    return result;
}

// ---- GDI drawing over the device ----

int GetGDIDrawEnableFlag() { return GraphicsSystemState.GDIDrawAllowed; }

int SetGDIDrawEnableFlag(int flag) {
    GraphicsSystemState.GDIDrawAllowed = flag;
    if (GraphicsSystemState.DeviceValid && GraphicsApi == GRAPHICS_API_D3D9 && D3D9Call_Device_Exists()) {
        D3D9Call_Device_SetDialogBoxMode(0);
        if (flag) D3D9Call_Device_SetDialogBoxMode(1);
    }
    return 0;
}

// ---- Present ----

// The software present hands the picture to the window module only with both layered switches set.
int Graphics_Dispatch_LayeredWindowActive() { return Window.LayeredWindow[0] && Window.LayeredWindow[1] ? 1 : 0; }

namespace {

struct BitmapInfoWithMasks {
    BITMAPINFOHEADER Header;
    DWORD Masks[3];
};

// The layered-window present: the back screen, locked whole as the draw target of slot 0 for the moment,
// handed to the window module. 0, or -1 when it cannot be locked; slot 0 is put back either way.
int Graphics_Dispatch_SoftScreen_PresentLayered() {
    if (!GraphicsScreenState.NoVSyncWait) D3D9Call_DDraw_SleepUntilVBlank();
    DrawTargetSlot& slot = GraphicsScreenState.DrawTargets[0];
    const DrawTargetSlot saved = slot;
    slot.Handle = DRAW_SCREEN_BACK;
    slot.Surface = 0;
    int width = 0, height = 0;
    GetMainScreenSize(&width, &height);
    const RECT whole = {0, 0, width, height};
    BaseImage image = {};
    if (Graphics_Screen_LockDrawTarget(&whole, &image, -1, 0, 0, 1, 0) < 0) {
        slot = saved;
        return -1;
    }
    Window_UpdateLayeredFromBackBuffer(&image, nullptr, nullptr, 0, 0);
    Graphics_Screen_UnlockDrawTarget();
    slot = saved;
    return 0;
}

// The main software screen drawn into the output window through GDI.
int Graphics_Dispatch_SoftScreen_Present() {
    const MEMIMG& screen = GraphicsSystemState.SoftScreenMain;
    const int bitsPerPixel = Graphics_SoftScreen_BitsPerPixel(&screen);
    int mainWidth = 0, mainHeight = 0;
    GetMainScreenSize(&mainWidth, &mainHeight);
    double rateX = 1.0, rateY = 1.0;
    if (Window_IsWindowed()) Window_GetScaleRate(&rateX, &rateY);
    int outputWidth = static_cast<int>(mainWidth * rateX);
    int outputHeight = static_cast<int>(mainHeight * rateY);
    const int clientWidth = Window.ClientRect.right - Window.ClientRect.left;
    const int clientHeight = Window.ClientRect.bottom - Window.ClientRect.top;
    int topOffset = 0;
    if (Window_ToolBar_GetHeight() > 0) {
        outputHeight = clientHeight;
        topOffset = clientHeight - mainHeight;
    }

    if (!MemImg_IsValid(&screen) || !MemImg_IsValid(&GraphicsSystemState.SoftScreenAux)) return 0;
    if (!GraphicsScreenState.NoVSyncWait) D3D9Call_DDraw_SleepUntilVBlank();
    if (Graphics_Dispatch_LayeredWindowActive()) return Graphics_Dispatch_SoftScreen_PresentLayered();

    BitmapInfoWithMasks info = {};
    info.Header.biSize = sizeof(BITMAPINFOHEADER);
    info.Header.biWidth = Graphics_SoftScreen_Pitch(&screen) / (bitsPerPixel / 8);
    info.Header.biHeight = -screen.height;
    info.Header.biPlanes = 1;
    info.Header.biBitCount = static_cast<WORD>(bitsPerPixel);
    info.Header.biCompression = BI_BITFIELDS;
    info.Masks[0] = screen.body->format->redMask;
    info.Masks[1] = screen.body->format->greenMask;
    info.Masks[2] = screen.body->format->blueMask;
    const BITMAPINFO* bitmap = reinterpret_cast<const BITMAPINFO*>(&info);

    WinAPI_EnsureLoaded();
    if (WinAPITable.GetDC == nullptr || WinAPITable.ReleaseDC == nullptr) return 0;
    const HWND window = Window_GetOutputWindow();
    const HDC dc = WinAPITable.GetDC(window);
    if (dc == nullptr) return 0;

    if (GraphicsScreenState.LowResolutionEmulation) {
        WinAPITable.StretchDIBits(dc, 0, 0, 640, 480, 0, 0, 320, 240, screen.pixels, bitmap, DIB_RGB_COLORS, SRCCOPY);
    } else if (Window_IsWindowed()) {
        if (outputWidth == screen.width && outputHeight - topOffset == screen.height) {
            WinAPITable.SetDIBitsToDevice(dc, 0, 0, screen.width, screen.height, 0, 0, 0, screen.height, screen.pixels,
                                          bitmap, DIB_RGB_COLORS);
        } else {
            const int left = (clientWidth - outputWidth) / 2;
            const int top = (clientHeight - outputHeight) / 2;
            WinAPITable.StretchDIBits(dc, left, top, outputWidth, outputHeight, 0, 0, screen.width, screen.height,
                                      screen.pixels, bitmap, DIB_RGB_COLORS, SRCCOPY);
        }
    } else {
        // Full screen: the picture scaled into the display with its aspect ratio kept, the rectangle
        // computed for the display as it is now.
        Graphics_Screen_CalcFullScreenOutputSize();
        const RECT out = GraphicsScreenState.FullScreenOutputRect;
        WinAPITable.StretchDIBits(dc, out.left, out.top, out.right - out.left, out.bottom - out.top, 0, 0, screen.width,
                                  screen.height, screen.pixels, bitmap, DIB_RGB_COLORS, SRCCOPY);
    }
    WinAPITable.ReleaseDC(window, dc);
    return 0;
}

}  // namespace

int Graphics_Dispatch_Screen_Flip() {
    switch (GraphicsApi) {
        case GRAPHICS_API_D3D9: return Graphics_D3D9_Screen_Flip();
        case GRAPHICS_API_D3D11: return Graphics_D3D11_Screen_Flip();
        default: return Graphics_Dispatch_SoftScreen_Present();
    }
}

// ---- Monitor list ----

namespace {

// Windows NT 5.0 or later offers monitor and display-device enumeration.
bool Graphics_Display_HasMonitorEnumeration() {
    if (WinAPITable.GetVersionExA == nullptr) return false;
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!WinAPITable.GetVersionExA(&version)) return false;
    return version.dwPlatformId >= 2 && version.dwMajorVersion >= 5;
}

void* Graphics_Display_HeapAllocate(size_t bytes) {
    if (WinAPITable.GetProcessHeap == nullptr || WinAPITable.HeapAlloc == nullptr) return nullptr;
    return WinAPITable.HeapAlloc(WinAPITable.GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
}

void Graphics_Display_HeapFree(void* block) {
    if (block != nullptr && WinAPITable.HeapFree != nullptr && WinAPITable.GetProcessHeap != nullptr)
        WinAPITable.HeapFree(WinAPITable.GetProcessHeap(), 0, block);
}

// Sizes, colour bits and refresh rate of a monitor from a device context on it.
void Graphics_Display_ReadDeviceCaps(MonitorInfo* entry, HDC dc) {
    entry->Width = WinAPITable.GetDeviceCaps(dc, HORZRES);
    entry->Height = WinAPITable.GetDeviceCaps(dc, VERTRES);
    entry->PhysicalWidth = WinAPITable.GetDeviceCaps(dc, DESKTOPHORZRES);
    entry->PhysicalHeight = WinAPITable.GetDeviceCaps(dc, DESKTOPVERTRES);
    if (entry->PhysicalWidth < 1 || entry->PhysicalHeight < 1) {
        entry->PhysicalWidth = entry->Width;
        entry->PhysicalHeight = entry->Height;
    }
    entry->ColourBits = WinAPITable.GetDeviceCaps(dc, PLANES) * WinAPITable.GetDeviceCaps(dc, BITSPIXEL);
    entry->RefreshRate = WinAPITable.GetDeviceCaps(dc, VREFRESH);
}

// Appends the display modes of 16 or more colour bits of one display device, without repeats.
int Graphics_Display_ReadModes(MonitorInfo* entry, const wchar_t* deviceName) {
    DEVMODEW mode = {};
    mode.dmSize = sizeof(mode);
    int count = 0;
    for (DWORD index = 0; WinAPI_EnumDisplaySettings(deviceName, index, &mode); ++index)
        if (mode.dmBitsPerPel >= 16) ++count;
    if (count == 0) return 0;
    const size_t bytes = (static_cast<size_t>(entry->DisplayModeCount) + count) * sizeof(DisplayModeRecord);
    DisplayModeRecord* modes = static_cast<DisplayModeRecord*>(Graphics_Display_HeapAllocate(bytes));
    if (modes == nullptr) return -1;
    for (int i = 0; i < entry->DisplayModeCount; ++i) modes[i] = entry->DisplayModes[i];
    Graphics_Display_HeapFree(entry->DisplayModes);
    entry->DisplayModes = modes;
    const int capacity = entry->DisplayModeCount + count;
    for (DWORD index = 0; entry->DisplayModeCount < capacity; ++index) {
        if (!WinAPI_EnumDisplaySettings(deviceName, index, &mode)) break;
        if (mode.dmBitsPerPel < 16) continue;
        const DisplayModeRecord record = {static_cast<int32_t>(mode.dmPelsWidth), static_cast<int32_t>(mode.dmPelsHeight),
                                          static_cast<int32_t>(mode.dmBitsPerPel),
                                          static_cast<int32_t>(mode.dmDisplayFrequency)};
        bool known = false;
        for (int i = 0; i < entry->DisplayModeCount && !known; ++i)
            known = modes[i].Width == record.Width && modes[i].Height == record.Height &&
                    modes[i].ColourBits == record.ColourBits && modes[i].RefreshRate == record.RefreshRate;
        if (!known) modes[entry->DisplayModeCount++] = record;
    }
    return 0;
}

int Graphics_Display_SetupFailed() {
    Log_AddFormatUTF16(L"[エラー]ディスプレイ情報保存用のメモリ確保に失敗しました");
    Log_Indent_Decrease();
    return -1;
}

}  // namespace

BOOL CALLBACK Graphics_Display_MonitorEnumCallback(HMONITOR monitor, HDC dc, LPRECT rect, LPARAM data) {
    if (GraphicsSystemState.MonitorList != nullptr) {
        // The filling pass carries the list's length: a monitor that came after the count has no entry.
        const int index = GraphicsSystemState.MonitorCount;
        if (index >= static_cast<int>(data)) return FALSE;
        MonitorInfo* entry = &GraphicsSystemState.MonitorList[index];
        MONITORINFOEXW info = {};
        info.cbSize = sizeof(info);
        if (WinAPI_GetMonitorInfo(monitor, reinterpret_cast<LPMONITORINFO>(&info))) {
            entry->Primary = (info.dwFlags & MONITORINFOF_PRIMARY) ? 1 : 0;
            if (entry->Primary) GraphicsSystemState.PrimaryMonitor = index;
            entry->Rect = info.rcMonitor;
            String_CopyBoundedW(entry->DeviceName, sizeof(entry->DeviceName), info.szDevice);
        }
        const HDC monitorDC = WinAPI_CreateDC(entry->DeviceName, entry->DeviceName, nullptr, nullptr);
        if (monitorDC != nullptr) {
            Graphics_Display_ReadDeviceCaps(entry, monitorDC);
            WinAPITable.DeleteDC(monitorDC);
        }
        entry->Monitor = monitor;
        UINT dpiX = 0, dpiY = 0;
        if (WinAPITable.GetDpiForMonitor != nullptr &&
            SUCCEEDED(WinAPITable.GetDpiForMonitor(monitor, MDT_EFFECTIVE_DPI, &dpiX, &dpiY))) {
            entry->DpiX = static_cast<int32_t>(dpiX);
            entry->DpiY = static_cast<int32_t>(dpiY);
            Log_AddFormatUTF16(L"No.%d  モニター名：%s　%dx%d　%dbit　%dHz  %dx%ddpi", index, entry->DeviceName,
                               entry->PhysicalWidth, entry->PhysicalHeight, entry->ColourBits, entry->RefreshRate,
                               entry->DpiX, entry->DpiY);
        } else {
            Log_AddFormatUTF16(L"No.%d  モニター名：%s　%dx%d　%dbit　%dHz", index, entry->DeviceName,
                               entry->PhysicalWidth, entry->PhysicalHeight, entry->ColourBits, entry->RefreshRate);
        }
    }
    GraphicsSystemState.MonitorCount++;
    return TRUE;
}

int Graphics_Display_SetupInfo() {
    WinAPI_EnsureLoaded();
    Log_AddFormatUTF16(L"ディスプレイ情報のセットアップ開始");
    Log_Indent_Increase();
    Graphics_Display_ReleaseInfo();

    const bool enumerate = Graphics_Display_HasMonitorEnumeration() && WinAPITable.EnumDisplayMonitors != nullptr;
    int monitors = 1, devices = 1;
    if (enumerate) {
        GraphicsSystemState.MonitorCount = 0;
        WinAPITable.EnumDisplayMonitors(nullptr, nullptr, Graphics_Display_MonitorEnumCallback, 0);
        monitors = GraphicsSystemState.MonitorCount;
        DISPLAY_DEVICEW device = {};
        device.cb = sizeof(device);
        devices = 0;
        while (WinAPI_EnumDisplayDevices(nullptr, devices, &device, 0)) ++devices;
    }
    Log_AddFormatUTF16(L"モニターの数：%d  ディスプレイデバイスの数：%d", monitors, devices);
    if (monitors < 1) monitors = 1;

    GraphicsSystemState.MonitorCount = 0;
    GraphicsSystemState.MonitorList =
        static_cast<MonitorInfo*>(Graphics_Display_HeapAllocate(static_cast<size_t>(monitors) * sizeof(MonitorInfo)));
    if (GraphicsSystemState.MonitorList == nullptr) return Graphics_Display_SetupFailed();

    if (enumerate)
        WinAPITable.EnumDisplayMonitors(nullptr, nullptr, Graphics_Display_MonitorEnumCallback,
                                        static_cast<LPARAM>(monitors));
    if (GraphicsSystemState.MonitorCount == 0) {
        // One monitor read from the screen's device context.
        MonitorInfo* entry = &GraphicsSystemState.MonitorList[0];
        const HDC dc = WinAPITable.GetDC(nullptr);
        if (dc != nullptr) {
            Graphics_Display_ReadDeviceCaps(entry, dc);
            WinAPITable.ReleaseDC(nullptr, dc);
        }
        entry->PhysicalWidth = entry->Width;
        entry->PhysicalHeight = entry->Height;
        entry->Primary = 1;
        entry->Rect = {0, 0, entry->Width, entry->Height};
        String_CopyBoundedW(entry->DeviceName, sizeof(entry->DeviceName), L"DISPLAY");
        GraphicsSystemState.PrimaryMonitor = 0;
        GraphicsSystemState.MonitorCount = 1;
        Log_AddFormatUTF16(L"No.%d  モニター名：%s　%dx%d　%dbit　%dHz", 0, entry->DeviceName, entry->Width,
                           entry->Height, entry->ColourBits, entry->RefreshRate);
    }

    if (enumerate) {
        for (int index = 0; index < devices; ++index) {
            DISPLAY_DEVICEW device = {};
            device.cb = sizeof(device);
            if (!WinAPI_EnumDisplayDevices(nullptr, index, &device, 0)) break;
            for (int m = 0; m < GraphicsSystemState.MonitorCount; ++m) {
                MonitorInfo* entry = &GraphicsSystemState.MonitorList[m];
                if (String_CompareW(entry->DeviceName, device.DeviceName) != 0) continue;
                if (Graphics_Display_ReadModes(entry, device.DeviceName) < 0) return Graphics_Display_SetupFailed();
                break;
            }
        }
    } else if (Graphics_Display_ReadModes(&GraphicsSystemState.MonitorList[0], nullptr) < 0) {
        return Graphics_Display_SetupFailed();
    }

    Log_Indent_Decrease();
    Log_AddFormatUTF16(L"ディスプレイ情報のセットアップ完了");
    return 0;
}

int Graphics_Display_ReleaseInfo() {
    if (GraphicsSystemState.MonitorList != nullptr) {
        for (int i = 0; i < GraphicsSystemState.MonitorCount; ++i)
            Graphics_Display_HeapFree(GraphicsSystemState.MonitorList[i].DisplayModes);
        Graphics_Display_HeapFree(GraphicsSystemState.MonitorList);
    }
    GraphicsSystemState.MonitorList = nullptr;
    GraphicsSystemState.MonitorCount = 0;
    GraphicsSystemState.PrimaryMonitor = 0;
    return 0;
}

// ---- Front-screen present timer ----

int Graphics_FrontScreen_ArmTimer() {
    const HWND window = Window_GetMainHandle();
    if (window == nullptr || WinAPITable.SetTimer == nullptr) return -1;
    WinAPITable.SetTimer(window, FrontScreenTimerId, FrontScreenTimerMs, Graphics_FrontScreen_FlipTimerProc);
    return 0;
}

void CALLBACK Graphics_FrontScreen_FlipTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time) {
    if (WinAPITable.KillTimer != nullptr) WinAPITable.KillTimer(window, id);
    const DrawTargetSlot& slot = GraphicsScreenState.DrawTargets[0];
    if (slot.Handle != DRAW_SCREEN_FRONT || slot.Surface != 0 || Window_IsLayered()) return;
    if (Window_GetActiveFlag()) PresentScreen();
    Graphics_FrontScreen_ArmTimer();
}

}  // namespace Vantrel
