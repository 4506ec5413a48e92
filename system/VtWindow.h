// The main window: its one state record, creation and end, COM start, system information and the
// small queries other modules use. The window procedure is in VtWindowWin, settings in VtWindowSettings.
// Stands on the system function table, the log, asynchronous loading and the call gate.
#pragma once

#include <cstdint>
#include <windows.h>

#include "system/VtCallGate.h"

namespace Vantrel {

// Deferred activation changes (WM_ACTIVATE / WM_ACTIVATEAPP) that arrive while messages are dispatched.
constexpr int ActivateQueueSize = 512;

struct ActivateQueueEntry {
    uint32_t WParam;
    uint32_t LParam;
    int32_t FromActivateApp;
};

struct ActivateQueue {
    ActivateQueueEntry Entries[ActivateQueueSize];
    int32_t Count;
    int32_t ReadIndex;
    int32_t WriteIndex;
};

constexpr int MaxDroppedFiles = 1000;

// CloseState values.
constexpr int32_t CloseStateNormal = 0;
constexpr int32_t CloseStateEnding = 1;
constexpr int32_t CloseStateCloseBox = 4;

// One touch event as the window procedure hands it to the input module's touch log.
constexpr int WindowTouchPointMax = 16;
struct WindowTouchPoint {
    int32_t Device;
    int32_t Id;
    int32_t X;
    int32_t Y;
};
struct WindowTouchRecord {
    int64_t Time;  // microseconds
    int32_t PointCount;
    WindowTouchPoint Points[WindowTouchPointMax];
};

// Windows version codes (OsVersionCode).
constexpr int32_t OsVersionWin2000 = 0x106;
constexpr int32_t OsVersionWin10 = 0x10C;
constexpr int32_t OsVersionWin11 = 0x10D;

struct WindowState {
    wchar_t OsDescription[256];
    HINSTANCE Instance;
    HWND MainWindow;
    int32_t LogicalProcessorCount;
    int32_t DwmCompositionOff;
    int32_t StyleMode;                  // kept across the start-up reset
    uint32_t WindowThreadId;
    RECT WindowRect;
    RECT ClientRect;
    int32_t WindowMode;                 // 1 windowed, 0 full screen; kept
    int32_t ModeChanging;
    int32_t ScaleChanging;
    int32_t EndFlag;
    int32_t DestroyRequested;
    int32_t Destroyed;
    int32_t DisplayChanged;
    int32_t ActiveFlag;
    int32_t MinimisedFlag;
    int32_t Maximised;
    RECT MaximisedSavedWindowRect;      // remembered when the window becomes maximised
    RECT MaximisedSavedClientRect;
    int32_t PaintPending;
    uint32_t LastPresentTime;
    int32_t InPaint;
    int32_t WindowPainted;
    int32_t CloseDisabled;              // kept
    int32_t CloseState;
    int32_t MouseVisibleSetting;
    int32_t MouseVisible;
    int32_t WheelV;
    int32_t WheelH;
    ActivateQueue ActivateQueue;
    int32_t InActivate;
    int32_t Pumping;
    int32_t ModalLoop;
    int32_t UsePerfCounter;
    int64_t PerfFrequency;
    int32_t TimerPeriod;                // finest multimedia timer period raised by the start-up (0: none)
    int32_t TimerPeriodRaisedByInfo;    // the period raised by Window_LogSystemInfo (0: none)
    int32_t ScreenSaverWasActive;       // screen saver setting found at start-up
    int32_t ScreenSaverSaved;           // 1 once ScreenSaverWasActive holds the start-up value
    int32_t ComStarted;
    int32_t CreatingWindow;
    int32_t AllowMultipleInstances;     // kept
    wchar_t StartDirectory[1536];       // 3072 bytes
    int32_t TitleSet;                   // kept
    wchar_t WindowTitle[256];           // 512 bytes; kept
    wchar_t ClassName[256];             // 512 bytes; kept
    int32_t ClassRegistered;
    int32_t RunWhileInactive;           // kept
    int32_t IconId;                     // kept
    int32_t ScaleRateSet;               // kept
    double ScaleRateX;                  // kept
    double ScaleRateY;                  // kept
    int32_t VisibleStyle;
    int32_t AcceptDroppedFiles;
    int32_t OsVersionCode;              // kept
    int32_t DevicesChanged;
    uint32_t LastCharTime;
    int32_t LastChar;
    int32_t PositionSet;                // explicit window position (Window_SetPositionAndResize)
    int32_t PositionX;
    int32_t PositionY;
    // Window features the presents honour; this tool's program never sets them, so they stay 0.
    int32_t NoFitToMaximised[2];        // either one keeps the picture unfitted in a maximised window
    int32_t ToolBarPresent;
    int32_t ToolBarHeight;              // pixels, counted only with ToolBarPresent
    int32_t LayeredWindow[2];           // transparent window by colour key / by per-pixel alpha
    const void* InactivePicture;        // shown instead of presents while the window is inactive
    int32_t InactivePictureDrawing;     // 1 while that picture is being drawn
    wchar_t* DroppedFiles[MaxDroppedFiles];
    int32_t DroppedFileCount;
    LibraryCallGate Gate;               // kept (the gate may be held while the window starts)
};

// The window module's one record.
extern WindowState Window;

// Creation and end (library start-up and shut-down).
// Clears the record except the settings made before start-up and the call gate (step 1 of the start).
void Window_ResetState();
int Window_Initialize();
int Window_Terminate();
int Window_LogSystemInfo();
int Window_Com_Initialize();
int Window_Com_Terminate();
void Window_ForceForeground(HWND window, int reposition);

// Queries.
int Window_GetDesktopInfo(int* desktopWidth, int* desktopHeight, int* colourBits, int* refreshRate,
                          int* desktopLeft, int* desktopTop, int* modeWidth, int* modeHeight,
                          int* dpiX, int* dpiY);
int Window_GetContentSize(int* width, int* height);
int Window_GetMonitorDpi(int* dpiX, int* dpiY, int displayIndex);
HWND Window_GetMainHandle();
HWND Window_GetOutputWindow();
int Window_GetActiveFlag();
int Window_IsWindowed();
int GetRunWhileInactive();
int Window_IsDestroyRequested();
// 1 in full-screen mode with a non-zero full-screen resolution mode (true full screen).
int Window_IsTrueFullScreen();
// 1 when the window counts as a normal window: windowed, or full-screen resolution mode 0.
int Window_IsNormalWindow();
// 1 when the picture is fitted to the maximised window: maximised and neither NoFitToMaximised switch set.
int Window_IsFitToMaximised();
// 1 when the main window is shown as a layered (transparent) window: either LayeredWindow switch set.
int Window_IsLayered();
// Shows the main window as a layered window from a locked screen image (a BaseImage; the rectangle
// of it, null for the whole), with per-pixel alpha. 0, or -1 when there is nothing to show.
int Window_UpdateLayeredFromBackBuffer(const void* baseImage, const RECT* sourceRect, const void* pixels,
                                       int flagA, int flagB);

// Window procedure and activation (VtWindowWin.cpp).
LRESULT CALLBACK Window_Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int Window_ProcessActivate(WPARAM wParam, LPARAM lParam, int fromActivateApp, int skipBackPicture);
int Window_ProcessSize();
int Window_ProcessMove(LPARAM lParam);
int Window_ProcessPaint(HDC dc, const RECT* rect, int forceFill);
int Window_SetMouseCursorVisible(int flag);
int Window_IsCursorInClient();
int Window_ScreenToDrawPosition(int x, int y, int* outX, int* outY);
int CheckWindowCloseRequest(int reset);
int Window_GetClientScreenRect(RECT* rect);
int Window_SetPositionAndResize(int x, int y);

// Deferred activation and waiting while inactive (used with the per-frame pump).
int Window_QueueActivate(WPARAM wParam, LPARAM lParam, int fromActivateApp, int skipBackPicture);
int Window_IsInactiveWaitNeeded();
int Window_WaitWhileInactive();

}  // namespace Vantrel
