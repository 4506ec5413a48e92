// Display side of the screen: the display list as the window module reads it, display modes of the
// monitors, the screen colour formats, the full-screen display mode and output rectangle, and window
// positions converted to screen positions.
// Stands on the graphics state records, the monitor list of the switch layer and the window module.
#include "graphics/VtGraphicsScreen.h"

#include "foundation/VtWinAPI.h"
#include "graphics/VtGraphicsDispatch.h"
#include "image/VtMemImg.h"
#include "graphics/VtMatrix.h"

namespace Vantrel {

namespace {

GraphicsDisplayInfo DisplayView = {};

const MonitorInfo* Graphics_Display_Monitor(int index) {
    if (index < 0 || index >= GraphicsSystemState.MonitorCount || GraphicsSystemState.MonitorList == nullptr)
        return nullptr;
    return &GraphicsSystemState.MonitorList[index];
}

}  // namespace

int GetScreenRefreshRate() { return GraphicsScreenState.RefreshRate; }

int Graphics_Display_GetCount() { return GraphicsSystemState.MonitorCount; }

int Graphics_Display_GetCurrentIndex() { return GraphicsSystemState.PrimaryMonitor; }

const GraphicsDisplayInfo* Graphics_Display_Get(int index) {
    const MonitorInfo* monitor = Graphics_Display_Monitor(index);
    if (monitor == nullptr) return nullptr;
    DisplayView.DpiX = monitor->DpiX > 0 ? monitor->DpiX : 96;
    DisplayView.DpiY = monitor->DpiY > 0 ? monitor->DpiY : 96;
    DisplayView.Left = monitor->Rect.left;
    DisplayView.Top = monitor->Rect.top;
    DisplayView.Width = monitor->Width;
    DisplayView.Height = monitor->Height;
    DisplayView.ModeWidth = monitor->PhysicalWidth;
    DisplayView.ModeHeight = monitor->PhysicalHeight;
    DisplayView.ColourBits = monitor->ColourBits;
    DisplayView.RefreshRate = monitor->RefreshRate;
    return &DisplayView;
}

int GetDisplayModeCount(int displayIndex) {
    if (GraphicsSystemState.MonitorList == nullptr) Graphics_Display_SetupInfo();
    const MonitorInfo* monitor = Graphics_Display_Monitor(displayIndex);
    return monitor == nullptr ? -1 : monitor->DisplayModeCount;
}

GraphicsDisplayMode* GetDisplayModeEntry(GraphicsDisplayMode* out, int modeIndex, int displayIndex) {
    if (out == nullptr) return out;
    if (GraphicsSystemState.MonitorList == nullptr) Graphics_Display_SetupInfo();
    const MonitorInfo* monitor = Graphics_Display_Monitor(displayIndex);
    if (monitor == nullptr || modeIndex < 0 || modeIndex >= monitor->DisplayModeCount)
        *out = {-1, -1, -1, -1};
    else
        *out = monitor->DisplayModes[modeIndex];
    return out;
}

const ColorFormatDesc* Graphics_Screen_GetScreenColorFormat(int index) {
    struct Layout {
        int Bits;
        uint32_t Red, Green, Blue;
    };
    static const Layout Layouts[5] = {{16, 0xF800, 0x07E0, 0x001F},
                                      {16, 0xF800, 0x07C0, 0x003E},
                                      {16, 0x7C00, 0x03E0, 0x001F},
                                      {32, 0xFF, 0xFF00, 0xFF0000},
                                      {32, 0xFF0000, 0xFF00, 0xFF}};
    static ColorFormatDesc Formats[5];
    static bool built = false;
    if (index < 0 || index > 4) return nullptr;
    if (!built) {
        for (int i = 0; i < 5; ++i) {
            BaseImage_ColorFormat_InitFromMasks(&Formats[i], Layouts[i].Bits, Layouts[i].Red, Layouts[i].Green,
                                                Layouts[i].Blue, 0, 0, 0, 0);
            BaseImage_ColorFormat_SetUnusedMask(&Formats[i]);
        }
        built = true;
    }
    return &Formats[index];
}

namespace {

// Width and height of the display full screen is shown on: the primary monitor, else the system's.
void Graphics_Screen_DisplaySize(int* width, int* height) {
    const MonitorInfo* primary = Graphics_Display_Monitor(GraphicsSystemState.PrimaryMonitor);
    if (primary != nullptr) {
        *width = primary->Width;
        *height = primary->Height;
        return;
    }
    WinAPI_EnsureLoaded();
    *width = WinAPITable.GetSystemMetrics ? WinAPITable.GetSystemMetrics(SM_CXSCREEN) : 0;
    *height = WinAPITable.GetSystemMetrics ? WinAPITable.GetSystemMetrics(SM_CYSCREEN) : 0;
}

}  // namespace

int Graphics_Screen_ChooseFullScreenDisplayMode() {
    GraphicsScreenStateRecord& screen = GraphicsScreenState;
    if (screen.ScreenWidth == 0 && screen.ScreenHeight == 0) Graphics_Screen_SetMainScreenSize(640, 480);
    if (GraphicsSystemState.MonitorList == nullptr) Graphics_Display_SetupInfo();
    if (screen.ColourBits == 0) {
        screen.ColourBits = 16;
        MemImg_SetDefaultColorType(MemImgColorType_R5G6B5);
    }
    const MonitorInfo* primary = Graphics_Display_Monitor(GraphicsSystemState.PrimaryMonitor);
    if (primary != nullptr) {
        screen.FullScreenDisplayMode = {primary->Width, primary->Height, primary->ColourBits, primary->RefreshRate};
        return 0;
    }
    DisplayModeRecord mode = {};
    Graphics_Screen_DisplaySize(&mode.Width, &mode.Height);
    const HDC dc = WinAPITable.GetDC ? WinAPITable.GetDC(nullptr) : nullptr;
    if (dc != nullptr) {
        mode.ColourBits = WinAPITable.GetDeviceCaps(dc, PLANES) * WinAPITable.GetDeviceCaps(dc, BITSPIXEL);
        mode.RefreshRate = WinAPITable.GetDeviceCaps(dc, VREFRESH);
        WinAPITable.ReleaseDC(nullptr, dc);
    }
    screen.FullScreenDisplayMode = mode;
    return 0;
}

int Graphics_Screen_CalcFullScreenOutputSize() {
    GraphicsScreenStateRecord& screen = GraphicsScreenState;
    int displayWidth = 0, displayHeight = 0;
    Graphics_Screen_DisplaySize(&displayWidth, &displayHeight);
    if (screen.ScreenWidth == 0) screen.ScreenWidth = 640;
    if (screen.ScreenHeight == 0) screen.ScreenHeight = 480;
    // 64-bit products: a display and a screen of a few thousand pixels each must not wrap.
    int64_t outputWidth = static_cast<int64_t>(screen.ScreenWidth) * displayHeight / screen.ScreenHeight;
    int64_t outputHeight = displayHeight;
    if (outputWidth >= displayWidth) {
        outputWidth = displayWidth;
        outputHeight = static_cast<int64_t>(screen.ScreenHeight) * displayWidth / screen.ScreenWidth;
    }
    RECT& out = screen.FullScreenOutputRect;
    out.left = static_cast<LONG>((displayWidth - outputWidth) / 2);
    out.top = static_cast<LONG>((displayHeight - outputHeight) / 2);
    out.right = static_cast<LONG>(out.left + outputWidth);
    out.bottom = static_cast<LONG>(out.top + outputHeight);
    return 0;
}

int Graphics_Screen_ConvWindowPosToScreenPos(int x, int y, int* outX, int* outY) {
    x -= GraphicsScreenState.MonitorRect.left;
    y -= GraphicsScreenState.MonitorRect.top;
    Graphics_Screen_CalcFullScreenOutputSize();
    const RECT& out = GraphicsScreenState.FullScreenOutputRect;
    const int64_t width = out.right - out.left, height = out.bottom - out.top;
    if (outX) *outX = width > 0 ? static_cast<int>((x - out.left) * static_cast<int64_t>(GraphicsScreenState.ScreenWidth) / width) : 0;
    if (outY) *outY = height > 0 ? static_cast<int>((y - out.top) * static_cast<int64_t>(GraphicsScreenState.ScreenHeight) / height) : 0;
    return 0;
}

int Graphics_Screen_IsSettingUp() { return GraphicsSystemState.ModeChangeInProgress ? 1 : 0; }

int Graphics_Screen_KeepsColourDepth() { return 0; }

int Graphics_Screen_ExplicitPositionKept() { return 0; }

int Graphics_Screen_GetBackgroundColour(int* red, int* green, int* blue) {
    if (!GraphicsScreenState.BackgroundColorSet) return -1;
    if (red) *red = GraphicsScreenState.BackgroundColor[0];
    if (green) *green = GraphicsScreenState.BackgroundColor[1];
    if (blue) *blue = GraphicsScreenState.BackgroundColor[2];
    return 0;
}

}  // namespace Vantrel
