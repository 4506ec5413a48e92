// The main window's procedure: activity, size and place, repaint, closing, cursor visibility,
// character filtering, mouse buttons and wheel, touch, device changes and the library's private
// messages; activation changes are deferred to the end of the message drain.
// Stands on the window state, the pump's activation queue, the graphics core's screen services,
// sound and movie pausing, input, key input and the log.
#include <cstdlib>
#include <cstring>

#include "foundation/VtWinAPI.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "foundation/VtNetwork.h"
#include "foundation/VtWinAPI.h"
#include "foundation/VtWinAPIText.h"
#include "graphics/VtGraphicsScreen.h"
#include "graphics_d3d11/VtGraphicsD3D11Window.h"
#include "movie/VtMovie.h"
#include "sound/VtSound.h"
#include "system/VtInput.h"
#include "system/VtInputKeyMouseWin.h"
#include "system/VtInputPadWin.h"
#include "system/VtPadVibration.h"
#include "system/VtSystem.h"
#include "system/VtSystemNeighbours.h"
#include "system/VtTime.h"
#include "system/VtWindow.h"
#include "system/VtWindowSettings.h"
#include "system/VtWindowWin.h"

namespace Vantrel {

namespace {

// WM_KEYDOWN keys that enter the key-input buffer as control characters.
struct KeyCharEntry {
    WPARAM VirtualKey;
    wchar_t Character;
};
const KeyCharEntry KeyCharTable[] = {
    {VK_DELETE, 0x10}, {VK_LEFT, 0x1D}, {VK_RIGHT, 0x1C}, {VK_UP, 0x1E},   {VK_DOWN, 0x1F},
    {VK_HOME, 0x1A},   {VK_END, 0x19},  {VK_PRIOR, 0x17}, {VK_NEXT, 0x15},
};

bool Window_IsWindows10OrLater() { return Window.OsVersionCode >= OsVersionWin10; }

void Window_OnKeyDown(WPARAM key) {
    if (KeyInput_IsCharBufferFull()) return;
    if (Window_IsWindows10OrLater() && Ime_IsCompositionActive()) return;
    for (const KeyCharEntry& entry : KeyCharTable) {
        if (entry.VirtualKey != key) continue;
        const uint32_t now = static_cast<uint32_t>(GetMillisecondCount());
        if (Window_IsWindows10OrLater() && now - Window.LastCharTime <= 40 && Window.LastChar == entry.Character)
            return;
        Window.LastCharTime = now;
        Window.LastChar = entry.Character;
        KeyInput_StockChar(entry.Character);
        return;
    }
}

void Window_OnChar(WPARAM wParam) {
    const uint32_t now = static_cast<uint32_t>(GetMillisecondCount());
    const wchar_t character = static_cast<wchar_t>(wParam);
    if (Window_IsWindows10OrLater()) {
        if ((Ime_IsConversionOpen() && character > 0x20) || Ime_IsCompositionActive()) return;
        if (now - Window.LastCharTime < 40 && Window.LastChar == static_cast<int32_t>(wParam)) return;
    }
    Window.LastCharTime = now;
    Window.LastChar = static_cast<int32_t>(wParam);
    if (character == 0x0A) {
        KeyInput_StockChar(0x0D);
        return;
    }
    if (character >= 0x20) {
        KeyInput_StockChar(character);
        return;
    }
    switch (character) {
        case 0x01: case 0x03: case 0x08: case 0x09: case 0x0D: case 0x10: case 0x16: case 0x18: case 0x1B:
            KeyInput_StockChar(character);
            break;
        default:
            break;
    }
}

// Shows or hides the cursor by calling ShowCursor until the display count crosses the threshold.
void Window_ApplyCursorRule() {
    if (Window.MouseVisible == 1 || (Window.WindowMode && !Window_IsCursorInClient())) {
        while (WinAPITable.ShowCursor(TRUE) < 0) {
        }
    } else {
        WinAPITable.SetCursor(nullptr);
        while (WinAPITable.ShowCursor(FALSE) >= 0) {
        }
    }
}

void Window_OnMouse(UINT message, LPARAM lParam) {
    const int clientX = static_cast<int16_t>(LOWORD(lParam));
    const int clientY = static_cast<int16_t>(HIWORD(lParam));
    int x = 0, y = 0;
    Window_ScreenToDrawPosition(clientX + Window.ClientRect.left, clientY + Window.ClientRect.top, &x, &y);
    int button = 0, pressed = 0;
    switch (message) {
        case WM_LBUTTONDOWN: button = 1; pressed = 1; break;
        case WM_RBUTTONDOWN: button = 2; pressed = 1; break;
        case WM_MBUTTONDOWN: button = 4; pressed = 1; break;
        case WM_LBUTTONUP: button = 1; break;
        case WM_RBUTTONUP: button = 2; break;
        case WM_MBUTTONUP: button = 4; break;
        default: break;
    }
    if (button != 0) {
        if (pressed) Input_LogMouseClick(button, x, y);
        Input_LogMouseInput(button, pressed, x, y);
    }
    Window_ApplyCursorRule();
}

void Window_AccumulateWheel(int32_t& accumulator, int delta) {
    if ((delta < 0 && accumulator > 0) || (delta > 0 && accumulator < 0))
        accumulator = delta;
    else
        accumulator += delta;
}

void Window_OnTouch(WPARAM wParam, LPARAM lParam) {
    if (WinAPITable.GetTouchInputInfo == nullptr) return;
    const UINT count = LOWORD(wParam);
    if (count == 0) return;
    TOUCHINPUT local[16];
    TOUCHINPUT* inputs = local;
    if (count > 16) {
        inputs = static_cast<TOUCHINPUT*>(Memory_Allocate(static_cast<uint32_t>(sizeof(TOUCHINPUT) * count), "VtWindowWin", __LINE__));
        if (inputs == nullptr) return;
    }
    HTOUCHINPUT handle = reinterpret_cast<HTOUCHINPUT>(lParam);
    if (WinAPITable.GetTouchInputInfo(handle, count, inputs, sizeof(TOUCHINPUT))) {
        WindowTouchRecord record{};
        record.Time = static_cast<int64_t>(inputs[0].dwTime) * 1000;
        for (UINT i = 0; i < count && record.PointCount < WindowTouchPointMax; ++i) {
            if (inputs[i].dwFlags & TOUCHEVENTF_UP) continue;
            WindowTouchPoint& point = record.Points[record.PointCount++];
            point.Device = 0;
            point.Id = static_cast<int>(inputs[i].dwID);
            Window_ScreenToDrawPosition(inputs[i].x / 100, inputs[i].y / 100, &point.X, &point.Y);
        }
        Input_LogTouch(&record);
    }
    if (WinAPITable.CloseTouchInputHandle) WinAPITable.CloseTouchInputHandle(handle);
    if (inputs != local) Memory_Free(inputs);
}

void Window_OnDropFiles(HDROP drop) {
    const UINT count = WinAPI_DragQueryFile(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count && Window.DroppedFileCount < MaxDroppedFiles; ++i) {
        const UINT length = WinAPI_DragQueryFile(drop, i, nullptr, 0);
        wchar_t* name = static_cast<wchar_t*>(Memory_Allocate((length + 1) * sizeof(wchar_t), "VtWindowWin", __LINE__));
        if (name == nullptr) break;
        WinAPI_DragQueryFile(drop, i, name, length + 1);
        Window.DroppedFiles[Window.DroppedFileCount++] = name;
    }
    if (WinAPITable.DragFinish) WinAPITable.DragFinish(drop);
}

// The window counts as inactive while the user moves it or uses its system menu.
void Window_EnterModalLoop() {
    if (Window_IsNormalWindow() && Window.ModalLoop == 0) {
        Window.ModalLoop = 1;
        Window_ProcessActivate(0, 0, 0, 1);
    }
}

void Window_ExitModalLoop() {
    if (Window.ModalLoop == 1) {
        Window.ModalLoop = 0;
        Window_QueueActivate(1, 0, 0, 1);
    }
}

LRESULT Window_PassOn(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return WinAPI_DefWindowProc(window, message, wParam, lParam);
}

}  // namespace

void Window_FreeDroppedFiles() {
    for (int i = 0; i < Window.DroppedFileCount; ++i) {
        Memory_Free(Window.DroppedFiles[i]);
        Window.DroppedFiles[i] = nullptr;
    }
    Window.DroppedFileCount = 0;
}

int Window_ReadClientScreenRect(RECT* rect) {
    RECT client{};
    if (!WinAPITable.GetClientRect(Window.MainWindow, &client)) return -1;
    POINT origin = {0, 0};
    WinAPITable.ClientToScreen(Window.MainWindow, &origin);
    *rect = {origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
    return 0;
}

LRESULT CALLBACK Window_Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WinAPI_EnsureLoaded();
    switch (message) {
        case WM_DESTROY:
            Log_AddTextShiftJIS("ウインドウが破棄されようとしています\n");
            Window.Destroyed = 1;
            WinAPITable.PostQuitMessage(0);
            Window.EndFlag = 1;
            System_RequestEnd();
            Log_AddTextShiftJIS("ソフトを終了する準備が整いました\n");
            break;
        case WM_MOVE:
            WinAPITable.GetWindowRect(window, &Window.WindowRect);
            if (Window_IsNormalWindow() && !Window.ModeChanging) Window_ProcessMove(lParam);
            break;
        case WM_SIZE: {
            WinAPITable.GetWindowRect(window, &Window.WindowRect);
            const int wasMaximised = Window.Maximised, wasMinimised = Window.MinimisedFlag;
            Window.MinimisedFlag = wParam == SIZE_MINIMIZED ? 1 : 0;
            if (wParam != SIZE_MAXIMIZED) Window.Maximised = 0;
            if (wParam == SIZE_MAXIMIZED) {
                if (!wasMaximised && !wasMinimised) {
                    Window.MaximisedSavedClientRect = Window.ClientRect;
                    Window.MaximisedSavedWindowRect = Window.WindowRect;
                }
                Window.Maximised = 1;
            }
            Window_ProcessSize();
            break;
        }
        case WM_ACTIVATE:
            Window_QueueActivate(wParam, lParam, 0, 0);
            break;
        case WM_PAINT: {
            PAINTSTRUCT paint{};
            HDC dc = WinAPITable.BeginPaint(window, &paint);
            if (Window_IsNormalWindow()) {
                Window.InPaint = 1;
                Window_ProcessPaint(dc, &paint.rcPaint, 0);
                Window.InPaint = 0;
            }
            WinAPITable.EndPaint(window, &paint);
            return 0;
        }
        case WM_CLOSE:
            Log_AddTextShiftJIS("ウインドウを閉じようとしています\n");
            if (Window.CloseDisabled == 0 || Window.CloseState == CloseStateEnding) WinAPITable.DestroyWindow(window);
            if (Window.CloseState == CloseStateNormal) Window.CloseState = CloseStateCloseBox;
            return 0;
        case WM_ACTIVATEAPP:
            if (wParam == 0) Window_QueueActivate(0, lParam, 1, 0);
            break;
        case WM_SETCURSOR:
            if (Window.ModalLoop == 1) {
                Window.ModalLoop = 0;
                Window_QueueActivate(1, 0, 0, 1);
            }
            Window_ApplyCursorRule();
            break;
        case WM_DISPLAYCHANGE:
            if (Window_IsNormalWindow() && !Window.ModeChanging) {
                if (static_cast<int>(wParam) != GetScreenColorBitDepth()) {
                    if (Graphics_Image_HasRestoreCallback() && wParam != 24 && wParam != 8) {
                        Movie_ResumeAll();
                    } else {
                        Log_AddTextShiftJIS(
                            "復元関数が登録されていないためか画面が24ビットカラー、又は8ビットカラーに変更されたため終了します\n");
                        if (!Window.DestroyRequested) {
                            Window.DestroyRequested = 1;
                            WinAPI_PostMessage(window, WM_CLOSE, 0, 0);
                        }
                    }
                } else {
                    Window.DisplayChanged = 1;
                }
            } else {
                Window.DisplayChanged = 1;
            }
            break;
        case WM_NCRBUTTONDOWN:
        case WM_ENTERMENULOOP:
        case WM_ENTERSIZEMOVE:
            Window_EnterModalLoop();
            break;
        case WM_EXITMENULOOP:
        case WM_EXITSIZEMOVE:
            Window_ExitModalLoop();
            break;
        case WM_KEYDOWN:
            Window_OnKeyDown(wParam);
            break;
        case WM_CHAR:
            Window_OnChar(wParam);
            break;
        case WM_SYSCHAR:
            return 0;
        case WM_SYSCOMMAND: {
            const WPARAM command = wParam & 0xFFF0;
            if (command == SC_MOVE) Window_EnterModalLoop();
            if (command == SC_MONITORPOWER || command == SC_SCREENSAVE) return 1;
            break;
        }
        case WM_IME_STARTCOMPOSITION:
        case WM_IME_ENDCOMPOSITION:
        case WM_IME_COMPOSITION:
        case WM_IME_SETCONTEXT:
        case WM_IME_NOTIFY:
        case WM_IME_REQUEST:
            return Ime_HandleWindowMessage(window, message, wParam, lParam);
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
            Window_OnMouse(message, lParam);
            break;
        case WM_MOUSEWHEEL:
            Window_AccumulateWheel(Window.WheelV, static_cast<int16_t>(HIWORD(wParam)));
            break;
        case WM_MOUSEHWHEEL:
            Window_AccumulateWheel(Window.WheelH, static_cast<int16_t>(HIWORD(wParam)));
            break;
        case WM_MOVING:
            WinAPITable.GetWindowRect(window, &Window.WindowRect);
            if (Window_IsTrueFullScreen()) *reinterpret_cast<RECT*>(lParam) = Window.WindowRect;
            break;
        case WM_DEVICECHANGE:
            if (wParam == 7) Window.DevicesChanged = 1;
            break;
        case WM_DROPFILES:
            Window_OnDropFiles(reinterpret_cast<HDROP>(wParam));
            break;
        case WM_TOUCH:
            Window_OnTouch(wParam, lParam);
            break;
        case MM_MCINOTIFY:
            Sound_Midi_OnMciNotify();
            break;
        case 0x46F:
            if (wParam == 1)
                Input_SetReportF10();
            else
                Input_ClearReportF10();
            break;
        case 0x505:
            return Network_OnSocketMessage(window, 0x505, wParam, lParam);
        default:
            break;
    }
    return Window_PassOn(window, message, wParam, lParam);
}

int Window_ProcessActivate(WPARAM wParam, LPARAM lParam, int fromActivateApp, int skipBackPicture) {
    WinAPI_EnsureLoaded();
    Window.InActivate = 1;
    if (Window.CreatingWindow == 1) {
        Window.ActiveFlag = LOWORD(wParam) != 0 ? 1 : 0;
        Window.InActivate = 0;
        return 0;
    }
    const int active = (LOWORD(wParam) != 0 && HIWORD(wParam) == 0) ? 1 : 0;
    if (active == Window.ActiveFlag) {
        Window.InActivate = 0;
        return 0;
    }
    Window.ActiveFlag = active;
    const bool trueFullScreen = Window_IsTrueFullScreen() != 0;
    if (active) {
        Ime_RequestReopenIfOpen();
        if (!trueFullScreen) Graphics_Dispatch_Device_CheckLostOnActivate();
        if (trueFullScreen && LibraryCore.Initialised) {
            Graphics_D3D11_TargetWindow_SetFullscreenState(1);
            Graphics_Screen_RestoreOnActivate();
        }
        if (!Window.RunWhileInactive) {
            Movie_ResumeAll();
            PauseAllSounds(0);
            PauseAllSoftSoundPlayers(0);
        }
        Input_ReacquireDevices();
    } else {
        if (!Window.RunWhileInactive) {
            Movie_PauseAll();
            PauseAllSounds(1);
            PauseAllSoftSoundPlayers(1);
        }
        Input_ReacquireDevices();
        if (trueFullScreen) {
            Graphics_D3D11_TargetWindow_SetFullscreenState(0);
            Graphics_Dispatch_DeviceObjects_ReleaseAll();
            if (WinAPITable.ChangeDisplaySettingsW) WinAPITable.ChangeDisplaySettingsW(nullptr, 0);
            WinAPITable.ShowWindow(Window.MainWindow, SW_MINIMIZE);
            if (!Graphics_Image_HasRestoreCallback()) {
                Log_AddTextShiftJIS("復元関数が登録されていないため終了します\n");
                WinAPI_PostMessage(Window.MainWindow, WM_CLOSE, 0, 0);
                Joypad_RefreshVibrationIfReady(0);
                Window.InActivate = 0;
                return -1;
            }
        }
    }
    Joypad_RefreshVibrationIfReady(0);
    Window.InActivate = 0;
    return 0;
}

int Window_ProcessSize() {
    WinAPI_EnsureLoaded();
    if (Window.MainWindow == nullptr) return 0;
    if (!Window_IsNormalWindow()) return 0;
    int contentWidth = 0, contentHeight = 0;
    Window_GetContentSize(&contentWidth, &contentHeight);
    double rateX = 1.0, rateY = 1.0;
    Window_GetScaleRate(&rateX, &rateY);
    if (Window.Maximised) {
        rateX = Window.ScaleRateX > 0 ? Window.ScaleRateX : 1.0;
        rateY = Window.ScaleRateY > 0 ? Window.ScaleRateY : 1.0;
    }
    const int clientWidth = static_cast<int>(contentWidth * rateX);
    const int clientHeight = static_cast<int>(contentHeight * rateY);
    RECT windowRect{}, client{};
    WinAPITable.GetWindowRect(Window.MainWindow, &windowRect);
    if (Window_ReadClientScreenRect(&client) != 0) return 0;
    Window.ClientRect.left = client.left;
    Window.ClientRect.top = client.top;
    Window.ClientRect.right = client.left + clientWidth;
    Window.ClientRect.bottom = client.top + clientHeight;
    const int frameWidth = (windowRect.right - windowRect.left) - (client.right - client.left);
    const int frameHeight = (windowRect.bottom - windowRect.top) - (client.bottom - client.top);
    int left = windowRect.left, top = windowRect.top;
    int width = clientWidth + frameWidth, height = clientHeight + frameHeight;
    if (Window.PositionSet) {
        left = Window.PositionX;
        top = Window.PositionY;
        if (!LibraryCore.Initialising && !Graphics_Screen_ExplicitPositionKept()) Window.PositionSet = 0;
    } else if (Window.Maximised) {
        left = Window.MaximisedSavedWindowRect.left;
        top = Window.MaximisedSavedWindowRect.top;
        width = Window.MaximisedSavedWindowRect.right - Window.MaximisedSavedWindowRect.left;
        height = Window.MaximisedSavedWindowRect.bottom - Window.MaximisedSavedWindowRect.top;
    }
    // A minimised window keeps its place and size for its restore.
    if (!Window.MinimisedFlag)
        WinAPITable.MoveWindow(Window.MainWindow, left, top, width, height, TRUE);
    if (Window.VisibleStyle == 0) {
        Window.VisibleStyle = 1;
        Window_ApplyStyle(1);
    }
    return 0;
}

int Window_ProcessMove(LPARAM lParam) {
    RECT client{};
    if (!WinAPITable.GetClientRect(Window.MainWindow, &client)) return 0;
    Window.ClientRect.left = static_cast<int16_t>(LOWORD(lParam));
    Window.ClientRect.top = static_cast<int16_t>(HIWORD(lParam));
    Window.ClientRect.right = Window.ClientRect.left + client.right;
    Window.ClientRect.bottom = Window.ClientRect.top + client.bottom;
    if (GetCurrentDrawScreen() == -4) {
        const int use = GetMaskScreenUseFlag();
        SetMaskScreenUse(0);
        SetMaskScreenUse(use);
    }
    return 0;
}

int Window_ProcessPaint(HDC dc, const RECT* rect, int forceFill) {
    Window.WindowPainted = 1;
    if (!LibraryCore.Initialised || forceFill == 1) {
        int red = 0, green = 0, blue = 0;
        HBRUSH brush = nullptr;
        bool own = false;
        if (Graphics_Screen_GetBackgroundColour(&red, &green, &blue) == 0) {
            brush = WinAPITable.CreateSolidBrush(RGB(red, green, blue));
            own = brush != nullptr;
        }
        if (brush == nullptr) brush = static_cast<HBRUSH>(WinAPITable.GetStockObject(BLACK_BRUSH));
        WinAPITable.FillRect(dc, rect, brush);
        if (own) WinAPITable.DeleteObject(brush);
    }
    if (LibraryCore.Initialised && GetCurrentDrawScreen() == -2) {
        const int wait = GetWaitVSyncEnable();
        SetWaitVSyncEnable(0);
        const bool whole = rect->left <= 0 && rect->top <= 0 &&
                           rect->right >= Window.ClientRect.right - Window.ClientRect.left &&
                           rect->bottom >= Window.ClientRect.bottom - Window.ClientRect.top;
        const uint32_t now = static_cast<uint32_t>(GetMillisecondCount());
        if (whole) {
            PresentScreen();
        } else if (Window.PaintPending == 1) {
            if (now - Window.LastPresentTime > 64) {
                PresentScreen();
                Window.LastPresentTime = now;
            }
        } else {
            Window.PaintPending = 1;
            Window.LastPresentTime = now;
        }
        SetWaitVSyncEnable(wait);
    }
    return 0;
}

int Window_SetMouseCursorVisible(int flag) {
    WinAPI_EnsureLoaded();
    const int f = flag == -1 ? Window.MouseVisibleSetting : flag;
    Window.MouseVisibleSetting = f;
    const int show = f == 1 ? 1 : 0;
    if (flag != -1 && show == Window.MouseVisible) return 0;
    if (show == 0 && (Window_IsTrueFullScreen() || Window_IsCursorInClient())) {
        while (WinAPITable.ShowCursor(FALSE) >= 0) {
        }
    } else {
        while (WinAPITable.ShowCursor(TRUE) < 0) {
        }
    }
    if (Window.MainWindow) WinAPI_PostMessage(Window.MainWindow, WM_SETCURSOR, reinterpret_cast<WPARAM>(Window.MainWindow), 0);
    Window.MouseVisible = show;
    return 0;
}

int Window_IsCursorInClient() {
    POINT cursor{};
    if (!WinAPITable.GetCursorPos(&cursor)) return 0;
    return (cursor.x >= Window.ClientRect.left && cursor.x < Window.ClientRect.right &&
            cursor.y >= Window.ClientRect.top && cursor.y < Window.ClientRect.bottom)
               ? 1
               : 0;
}

int Window_ScreenToDrawPosition(int x, int y, int* outX, int* outY) {
    int resultX = x, resultY = y;
    if (Window_IsNormalWindow()) {
        double rateX = 1.0, rateY = 1.0;
        Window_GetScaleRate(&rateX, &rateY);
        int relX = x - Window.ClientRect.left;
        int relY = y - Window.ClientRect.top;
        if (Window.Maximised) {
            int width = 0, height = 0;
            Window_GetContentSize(&width, &height);
            const int clientWidth = Window.ClientRect.right - Window.ClientRect.left;
            const int clientHeight = Window.ClientRect.bottom - Window.ClientRect.top;
            relX -= (clientWidth - static_cast<int>(width * rateX)) / 2;
            relY -= (clientHeight - static_cast<int>(height * rateY)) / 2;
        }
        resultX = static_cast<int>(relX / rateX);
        resultY = static_cast<int>(relY / rateY);
    } else {
        int convertedX = 0, convertedY = 0;
        if (Graphics_Screen_ConvWindowPosToScreenPos(x, y, &convertedX, &convertedY) >= 0) {
            resultX = convertedX;
            resultY = convertedY;
        }
    }
    if (outX) *outX = resultX;
    if (outY) *outY = resultY;
    return 0;
}

int CheckWindowCloseRequest(int reset) {
    const int result = Window.CloseState == CloseStateCloseBox ? 1 : 0;
    if (reset == 1 && Window.CloseState == CloseStateCloseBox && Window.CloseDisabled == 1)
        Window.CloseState = CloseStateNormal;
    return result;
}

int Window_GetClientScreenRect(RECT* rect) {
    *rect = Window.ClientRect;
    const int toolBar = Window_ToolBar_GetHeight();
    rect->top += toolBar;
    rect->bottom += toolBar;
    return 0;
}

int Window_SetPositionAndResize(int x, int y) {
    Window.PositionX = x;
    Window.PositionY = y;
    Window.PositionSet = 1;
    Window_ProcessSize();
    return 0;
}

}  // namespace Vantrel
