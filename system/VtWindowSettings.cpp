// Window settings (mode, title, icon, running while inactive, several instances, close box), the
// style table, the client-area scale rate, and Window_ApplyStyle, which gives the window its style,
// size and place. Stands on the window state, the graphics core's screen services and the log.
#include "system/VtWindowSettings.h"

#include <cmath>
#include <cstring>

#include "foundation/VtCharCode.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "foundation/VtWinAPI.h"
#include "foundation/VtWinAPIText.h"
#include "graphics/VtGraphicsScreen.h"
#include "system/VtWindow.h"
#include "system/VtWindowWin.h"

namespace Vantrel {

const WindowStyleEntry WindowStyleTable[WindowStyleModeCount] = {
    {0x80CA0000, 0x100, 0x80000000, 0x8, 5}, {0x80080000, 0x100, 0x80000000, 0x8, 5},
    {0x80080000, 0x0, 0x80000000, 0x8, 5},   {0x80CA0000, 0x80, 0x80000000, 0x8, 5},
    {0x80080000, 0x80, 0x80000000, 0x8, 5},  {0x80C80000, 0x100, 0x80000000, 0x8, 5},
    {0x80CA0000, 0x100, 0x80000000, 0x8, 5}, {0x80CB0000, 0x100, 0x80000000, 0x8, 5},
    {0x81CB0000, 0x100, 0x80000000, 0x8, 3}, {0x80CA0000, 0x100, 0x80000000, 0x8, 5},
    {0x80CB0000, 0x100, 0x80000000, 0x8, 5}, {0x80C00000, 0x100, 0x80000000, 0x8, 5},
};

namespace {

bool Settings_NearlyEqual(double a, double b) { return std::fabs(a - b) < 1e-7; }

// Centres a window of the given outer size on the desktop part the task bar leaves free; false when
// the task bar lies where no rule applies (the window then stays where it is).
bool Settings_CentreWithTaskBar(int desktopLeft, int desktopTop, int desktopWidth, int desktopHeight, int outerWidth,
                                int outerHeight, int* left, int* top) {
    HWND bar = WinAPI_FindWindow(L"Shell_TrayWnd", nullptr);
    if (bar == nullptr) {
        *left = desktopLeft + (desktopWidth - outerWidth) / 2;
        *top = desktopTop + (desktopHeight - outerHeight) / 2;
        return true;
    }
    RECT r{};
    WinAPITable.GetWindowRect(bar, &r);
    const int bw = r.right - r.left, bh = r.bottom - r.top;
    const int centredLeft = desktopLeft + (desktopWidth - outerWidth) / 2;
    const int centredTop = desktopTop + (desktopHeight - outerHeight) / 2;
    if (r.left <= 0 && r.top <= 0 && r.right >= desktopWidth) {
        *left = centredLeft;  // along the top
        *top = desktopTop + bh + (desktopHeight - bh - outerHeight) / 2;
    } else if (r.left <= 0 && r.top > 0 && r.right >= desktopWidth && r.bottom >= desktopHeight) {
        *left = centredLeft;  // along the bottom
        *top = desktopTop + (desktopHeight - bh - outerHeight) / 2;
    } else if (r.left <= 0 && r.top <= 0 && r.right < desktopWidth && r.bottom >= desktopHeight) {
        *left = desktopLeft + bw + (desktopWidth - bw - outerWidth) / 2;  // along the left
        *top = centredTop;
    } else if (r.left > 0 && r.top <= 0 && r.right >= desktopWidth && r.bottom >= desktopHeight) {
        *left = desktopLeft + (desktopWidth - bw - outerWidth) / 2;  // along the right
        *top = centredTop;
    } else {
        return false;
    }
    return true;
}

void Settings_SetWindowLongValue(int index, uint32_t value) {
    WinAPI_SetWindowLong(Window.MainWindow, index, static_cast<LONG>(value));
}

}  // namespace

int ChangeWindowMode(int flag) {
    WinAPI_EnsureLoaded();
    Log_AddTextShiftJIS("ChangeWindowMode実行 \n");
    if (flag == Window.WindowMode) return 0;
    Window.VisibleStyle = 1;
    Window.DisplayChanged = 0;
    Window_SetWindowModeFlag(flag);
    if (Window.MainWindow == nullptr) return 0;
    Window.ModeChanging = 1;
    Window_ApplyStyle(1);
    const int result = Graphics_Screen_ChangeMode(-1, -1, -1, 1, -1);
    Window.ModeChanging = 0;
    return result;
}

int SetRunWhileInactive(int flag) {
    Window.RunWhileInactive = flag;
    return 0;
}

int SetAllowMultipleInstances(int flag) {
    Window.AllowMultipleInstances = flag;
    return 0;
}

int SetWindowCloseEnabled(int flag) {
    Window.CloseDisabled = flag == 0 ? 1 : 0;
    return 0;
}

int SetMainWindowTitle(const char* text) {
    WinAPI_EnsureLoaded();
    const CodePageId narrow = CharCode_GetNarrowPage();
    const CodePageId wide = CharCode_GetWidePage();
    wchar_t local[256];
    wchar_t* converted = local;
    const wchar_t* title = reinterpret_cast<const wchar_t*>(text);
    void* block = nullptr;
    if (narrow != wide) {
        const int length = static_cast<int>(std::strlen(text));
        int bytes = static_cast<int>(sizeof(local));
        if (length + 16 > 512) {
            bytes = length * 2 + 32;
            block = Memory_Allocate(static_cast<uint32_t>(bytes), "VtWindowSettings", __LINE__);
            if (block == nullptr) return -1;
            converted = static_cast<wchar_t*>(block);
        }
        CharCode_ConvertString(text, length, narrow, converted, bytes, wide);
        title = converted;
    }
    int i = 0;
    for (; i < 255 && title[i] != 0; ++i) Window.WindowTitle[i] = title[i];
    Window.WindowTitle[i] = 0;
    Window.TitleSet = 1;
    if (Window.MainWindow) WinAPI_SetWindowText(Window.MainWindow, Window.WindowTitle);
    if (block) Memory_Free(block);
    return 0;
}

int SetWindowIconResource(int id) {
    WinAPI_EnsureLoaded();
    Window.IconId = id;
    if (Window.MainWindow) {
        HICON icon = WinAPI_LoadIcon(Window.Instance, MAKEINTRESOURCEW(id == 0 ? 0x7F00 : (id & 0xFFFF)));
        WinAPI_SetClassLong(Window.MainWindow, GCLP_HICON, static_cast<LONG>(reinterpret_cast<LONG_PTR>(icon)));
    }
    return 0;
}

int Window_SetWindowModeFlag(int flag) {
    Window.WindowMode = flag;
    Log_AddTextShiftJIS(flag != 0 ? "ウインドウモードフラグが立てられました\n" : "ウインドウモードフラグが倒されました\n");
    return 0;
}

int Window_SetStyleMode(int mode) {
    WinAPI_EnsureLoaded();
    if (mode < 0 || mode >= WindowStyleModeCount) return -1;
    Window.StyleMode = mode;
    if (Window.MainWindow == nullptr) return 0;
    if (Window_IsNormalWindow()) Window_ApplyStyle(1);
    WinAPITable.SetWindowPos(Window.MainWindow, nullptr, 0, 0, 0, 0,
                             SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
    WinAPITable.UpdateWindow(Window.MainWindow);
    return 0;
}

double Window_GetScaleRate(double* outX, double* outY) {
    if (Window.ScaleRateX <= 0) Window.ScaleRateX = 1.0;
    if (Window.ScaleRateY <= 0) Window.ScaleRateY = 1.0;
    double x = Window.ScaleRateX, y = Window.ScaleRateY;
    if (Window_IsTrueFullScreen()) {
        x = y = 1.0;
    } else if (Window_IsFitToMaximised()) {
        int width = 0, height = 0;
        GetMainScreenSize(&width, &height);
        const double clientWidth = Window.ClientRect.right - Window.ClientRect.left;
        const double clientHeight = Window.ClientRect.bottom - Window.ClientRect.top;
        const double rx = (clientWidth - 1) / width, ry = (clientHeight - 1) / height;
        x = y = rx < ry ? rx : ry;
    }
    if (outX) *outX = x;
    if (outY) *outY = y;
    return x;
}

int Window_SetScaleRate(double x, double y) {
    if (y <= 0) y = x;
    if (x == Window.ScaleRateX && y == Window.ScaleRateY) return 0;
    Window.ScaleRateSet = 1;
    Window.ScaleRateX = x <= 0 ? 1.0 : x;
    Window.ScaleRateY = y <= 0 ? 1.0 : y;
    if (Window_IsNormalWindow() && Window.MainWindow) {
        Window.ScaleChanging = 1;
        Window_ApplyStyle(1);
        Window.ScaleChanging = 0;
    }
    return 0;
}

int Window_ApplyStyle(int centre) {
    WinAPI_EnsureLoaded();
    if (Window.MainWindow == nullptr) return 0;
    RECT windowRect{}, client{};
    WinAPITable.GetWindowRect(Window.MainWindow, &windowRect);
    WinAPITable.GetClientRect(Window.MainWindow, &client);
    const WindowStyleEntry& entry = WindowStyleTable[Window.StyleMode];
    int contentWidth = 0, contentHeight = 0;
    Window_GetContentSize(&contentWidth, &contentHeight);
    int desktopWidth = 0, desktopHeight = 0, desktopLeft = 0, desktopTop = 0;
    Window_GetDesktopInfo(&desktopWidth, &desktopHeight, nullptr, nullptr, &desktopLeft, &desktopTop, nullptr, nullptr,
                          nullptr, nullptr);

    if (Window.WindowMode) {
        Log_AddTextShiftJIS("ウインドウスタイルをウインドウモード用に変更します... ");
        const uint32_t style = entry.WindowedStyle | (Window.VisibleStyle == 1 ? WS_VISIBLE : 0u);
        Settings_SetWindowLongValue(GWL_EXSTYLE, entry.WindowedExStyle);
        Settings_SetWindowLongValue(GWL_STYLE, style);

        int dpiX = 96, dpiY = 96;
        Window_GetMonitorDpi(&dpiX, &dpiY, -1);
        double rateX = 1.0, rateY = 1.0;
        Window_GetScaleRate(&rateX, &rateY);
        const bool exact = (Settings_NearlyEqual(rateX, 1.0) && Settings_NearlyEqual(rateY, 1.0)) ||
                           ((dpiX != 96 || dpiY != 96) && Settings_NearlyEqual(rateX, dpiX / 96.0) &&
                            Settings_NearlyEqual(rateY, dpiY / 96.0));
        const int clientWidth = static_cast<int>(contentWidth * rateX);
        const int clientHeight = static_cast<int>(contentHeight * rateY);

        RECT frame = {0, 0, clientWidth, clientHeight};
        WinAPITable.AdjustWindowRectEx(&frame, style, FALSE, entry.WindowedExStyle);
        int outerWidth = frame.right - frame.left, outerHeight = frame.bottom - frame.top;
        if (!Window.ScaleChanging && !Window.ModeChanging && exact) {
            // Keep the outer size the system gave the window for its DPI, once it has one that fits.
            const int currentWidth = windowRect.right - windowRect.left;
            const int currentHeight = windowRect.bottom - windowRect.top;
            if (currentWidth > 0 && currentHeight > 0 && client.right == clientWidth && client.bottom == clientHeight) {
                outerWidth = currentWidth;
                outerHeight = currentHeight;
            }
        }
        int left = windowRect.left, top = windowRect.top;
        if (centre == 1) {
            int newLeft = left, newTop = top;
            if (Settings_CentreWithTaskBar(desktopLeft, desktopTop, desktopWidth, desktopHeight, outerWidth,
                                           outerHeight, &newLeft, &newTop)) {
                left = newLeft;
                top = newTop;
            }
        }
        WinAPITable.SetWindowPos(Window.MainWindow, HWND_NOTOPMOST, left, top, outerWidth, outerHeight, 0);
        const HWND order = Graphics_Screen_GetFullScreenResolutionMode() == 0 && Window.WindowMode == 0 ? HWND_TOPMOST
                                                                                                         : HWND_TOP;
        WinAPITable.SetWindowPos(Window.MainWindow, order, left, top, outerWidth, outerHeight, 0);

        RECT clientScreen{};
        if (Window_ReadClientScreenRect(&clientScreen) == 0) {
            Window.ClientRect = clientScreen;
            if (clientScreen.left < desktopLeft || clientScreen.top < desktopTop) {
                // Bring the client edge back to screen coordinate 0 on each axis that left the desktop.
                const int shiftX = clientScreen.left < desktopLeft ? -clientScreen.left : 0;
                const int shiftY = clientScreen.top < desktopTop ? -clientScreen.top : 0;
                WinAPITable.SetWindowPos(Window.MainWindow, nullptr, left + shiftX, top + shiftY, 0, 0,
                                         SWP_NOSIZE | SWP_NOZORDER);
                if (Window_ReadClientScreenRect(&clientScreen) == 0) Window.ClientRect = clientScreen;
            }
        }
        Window_SetMouseCursorVisible(-1);
    } else {
        Log_AddTextShiftJIS("ウインドウスタイルをフルスクリーンモード用に変更します... ");
        Settings_SetWindowLongValue(GWL_EXSTYLE, entry.FullScreenExStyle);
        Settings_SetWindowLongValue(GWL_STYLE, entry.FullScreenStyle);
        const int mode = Graphics_Screen_GetFullScreenResolutionMode();
        const int width = (mode == 2 || mode == 3) ? contentWidth : desktopWidth;
        const int height = (mode == 2 || mode == 3) ? contentHeight : desktopHeight;
        Window.ClientRect = {desktopLeft, desktopTop, desktopLeft + width, desktopTop + height};
        WinAPITable.ShowWindow(Window.MainWindow, SW_SHOW);
        WinAPITable.UpdateWindow(Window.MainWindow);
        WinAPITable.SetWindowPos(Window.MainWindow, HWND_TOPMOST, desktopLeft, desktopTop, contentWidth, contentHeight,
                                 SWP_NOREDRAW);
        while (WinAPITable.ShowCursor(FALSE) >= 0) {
        }
    }
    Log_AddTextShiftJIS("完了\n");
    WinAPITable.SetActiveWindow(Window.MainWindow);
    Window_RefreshDragAcceptFiles();
    WinAPI_PostMessage(Window.MainWindow, WM_SETCURSOR, reinterpret_cast<WPARAM>(Window.MainWindow), 0);
    return 0;
}

int Window_SetDwmComposition(int enable) {
    WinAPI_EnsureLoaded();
    const int off = enable == 0 ? 1 : 0;
    if (off == Window.DwmCompositionOff) return 0;
    if (WinAPITable.DwmEnableComposition) WinAPITable.DwmEnableComposition(enable ? DWM_EC_ENABLECOMPOSITION : DWM_EC_DISABLECOMPOSITION);
    Window.DwmCompositionOff = off;
    return 0;
}

int Window_RefreshDragAcceptFiles() {
    WinAPI_EnsureLoaded();
    if (Window.MainWindow && WinAPITable.DragAcceptFiles)
        WinAPITable.DragAcceptFiles(Window.MainWindow, Window.AcceptDroppedFiles ? TRUE : FALSE);
    return 0;
}

int Window_ToolBar_GetHeight() { return Window.ToolBarPresent ? Window.ToolBarHeight : 0; }

int Window_IsFitToMaximised() {
    return Window.Maximised && !Window.NoFitToMaximised[0] && !Window.NoFitToMaximised[1] ? 1 : 0;
}

}  // namespace Vantrel
