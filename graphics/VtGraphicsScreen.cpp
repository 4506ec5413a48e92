// Screen settings, draw-screen choice, display list and device-level services without a device.
// The display list is built from the screen's device context (one display at the origin).
// Stands on the system function table.
#include "graphics/VtGraphicsScreen.h"

#include "foundation/VtWinAPI.h"
#include "graphics/VtGraphics.h"

namespace Vantrel {

namespace {

struct GraphicsScreenState {
    int Width;
    int Height;
    int ColourBits;
    int RefreshRate;
    int SizeSet;
    int WaitVSync;
    int DrawScreen;
    int MaskScreenUse;
    GraphRestoreHandler RestoreHandler;
    int RestoreHandlerSet;
    int DisplayCount;
    int CurrentDisplay;
    GraphicsDisplayInfo Displays[1];
    GraphicsDisplayMode CurrentMode;
};

GraphicsScreenState Screen = {640, 480, 16, 60, 0, 1, -4, 0, nullptr, 0, 0, 0, {}, {}};

void Graphics_DefaultRestoreHandler() {}

}  // namespace

int SetScreenResolution(int width, int height, int colourBits, int refreshRate) {
    if (colourBits == 0) colourBits = 16;
    if (width <= 0 || height <= 0) return -1;
    if (colourBits != 8 && colourBits != 16 && colourBits != 32) return -1;
    Screen.Width = width;
    Screen.Height = height;
    Screen.ColourBits = colourBits;
    Screen.RefreshRate = refreshRate;
    Screen.SizeSet = 1;
    GraphicsSystemState.ScreenWidth = width;
    GraphicsSystemState.ScreenHeight = height;
    return 0;
}

int GetScreenColorBitDepth() { return Screen.ColourBits; }

int GetScreenModeSettings(int* width, int* height, int* colourBits) {
    if (width) *width = Screen.Width;
    if (height) *height = Screen.Height;
    if (colourBits) *colourBits = Screen.ColourBits;
    return 0;
}

int GetScreenRefreshRate() { return Screen.RefreshRate; }

int SetWaitVSyncEnable(int flag) {
    Screen.WaitVSync = flag;
    return 0;
}

int GetWaitVSyncEnable() { return Screen.WaitVSync; }

int WaitVerticalBlank(int count) { return 0; }

int SelectDrawScreen(int screen) {
    Screen.DrawScreen = screen;
    return 0;
}

int GetCurrentDrawScreen() { return Screen.DrawScreen; }

int PresentScreen() { return 0; }

int PresentScreenDirect() { return 0; }

int SetMaskScreenUse(int flag) {
    Screen.MaskScreenUse = flag;
    return 0;
}

int GetMaskScreenUseFlag() { return Screen.MaskScreenUse; }

int SetGraphRestoreHandler(GraphRestoreHandler handler) {
    Screen.RestoreHandler = handler ? handler : Graphics_DefaultRestoreHandler;
    Screen.RestoreHandlerSet = 1;
    return 0;
}

int Graphics_Image_HasRestoreCallback() { return Screen.RestoreHandlerSet; }

int Graphics_Module_Initialize() { return 0; }

int Graphics_Module_Terminate() { return 0; }

int Graphics_Display_SetupInfo() {
    WinAPI_EnsureLoaded();
    if (WinAPITable.GetDC == nullptr || WinAPITable.GetDeviceCaps == nullptr) return -1;
    HDC dc = WinAPITable.GetDC(nullptr);
    if (dc == nullptr) return -1;
    GraphicsDisplayInfo& d = Screen.Displays[0];
    d.DpiX = WinAPITable.GetDeviceCaps(dc, LOGPIXELSX);
    d.DpiY = WinAPITable.GetDeviceCaps(dc, LOGPIXELSY);
    d.Left = 0;
    d.Top = 0;
    d.Width = WinAPITable.GetDeviceCaps(dc, HORZRES);
    d.Height = WinAPITable.GetDeviceCaps(dc, VERTRES);
    d.ModeWidth = d.Width;
    d.ModeHeight = d.Height;
    d.ColourBits = WinAPITable.GetDeviceCaps(dc, BITSPIXEL) * WinAPITable.GetDeviceCaps(dc, PLANES);
    d.RefreshRate = WinAPITable.GetDeviceCaps(dc, VREFRESH);
    WinAPITable.ReleaseDC(nullptr, dc);
    if (d.DpiX <= 0) d.DpiX = 96;
    if (d.DpiY <= 0) d.DpiY = 96;
    Screen.DisplayCount = 1;
    Screen.CurrentDisplay = 0;
    Screen.CurrentMode = {d.ModeWidth, d.ModeHeight, d.ColourBits, d.RefreshRate};
    return 0;
}

int Graphics_Display_GetCount() { return Screen.DisplayCount; }

int Graphics_Display_GetCurrentIndex() { return Screen.CurrentDisplay; }

const GraphicsDisplayInfo* Graphics_Display_Get(int index) {
    if (index < 0 || index >= Screen.DisplayCount) return nullptr;
    return &Screen.Displays[index];
}

int GetDisplayModeCount(int displayIndex) {
    if (Screen.DisplayCount == 0 || displayIndex < 0 || displayIndex >= Screen.DisplayCount) return -1;
    return 1;
}

GraphicsDisplayMode* GetDisplayModeEntry(GraphicsDisplayMode* out, int modeIndex, int displayIndex) {
    if (out) *out = Screen.CurrentMode;
    return out;
}

int Graphics_Screen_ChangeMode(int width, int height, int colourBits, int modeChange, int refreshRate,
                               int last) {
    return 0;
}

int Graphics_Screen_ChooseFullScreenDisplayMode(int* width, int* height) {
    if (width) *width = Screen.Width;
    if (height) *height = Screen.Height;
    return 0;
}

int Graphics_Screen_ConvWindowPosToScreenPos(int x, int y, int* outX, int* outY) { return -1; }

int Graphics_Screen_GetFullScreenResolutionMode() { return 0; }

int Graphics_Screen_RestoreOnActivate() { return 0; }

int Graphics_Screen_IsSettingUp() { return 0; }

int Graphics_Screen_KeepsColourDepth() { return 0; }

int Graphics_Screen_ExplicitPositionKept() { return 0; }

int Graphics_Screen_GetBackgroundColour(int* red, int* green, int* blue) { return -1; }

int Graphics_Dispatch_Device_CheckLostOnActivate() { return 0; }

int Graphics_Dispatch_SysMemPool_ReleaseUnused() { return 0; }

int Graphics_Dispatch_DeviceObjects_ReleaseAll() { return 0; }

int Live2D_ModuleInitialize() { return 0; }

int Live2D_ModuleTerminate() { return 0; }

// ---- Draw area and boxes (used by the key-input fields and IME drawing) ----

int GetDrawAreaRect(RECT* rect) {
    int width = 0, height = 0;
    GetMainScreenSize(&width, &height);
    rect->left = 0;
    rect->top = 0;
    rect->right = width;
    rect->bottom = height;
    return 0;
}

int DrawRectangle(int x1, int y1, int x2, int y2, unsigned int color, int fill, int thickness) { return 0; }

}  // namespace Vantrel
