// Screen settings and the display list as the window module reads it. The settings go into the
// screen record; screen-mode changes at run time are not made yet. The display list reads the
// monitor list of the switch layer.
// Stands on the graphics state records, the monitor list and the math module's aspect default.
#include "graphics/VtGraphicsScreen.h"

#include "graphics/VtGraphicsDispatch.h"
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

int SetScreenResolution(int width, int height, int colourBits, int refreshRate) {
    if (colourBits == 0) colourBits = 16;
    if (width <= 0 || height <= 0) return -1;
    if (colourBits != 8 && colourBits != 16 && colourBits != 32) return -1;
    GraphicsScreenState.ScreenWidth = width;
    GraphicsScreenState.ScreenHeight = height;
    GraphicsScreenState.MainScreenWidth = width;
    GraphicsScreenState.MainScreenHeight = height;
    GraphicsScreenState.ColourBits = colourBits;
    GraphicsScreenState.RefreshRate = refreshRate;
    Graphics_Math_SetAspectScreenSize(width, height);
    return 0;
}

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

int Graphics_Screen_ChangeMode(int width, int height, int colourBits, int modeChange, int refreshRate, int last) {
    return 0;
}

int Graphics_Screen_ChooseFullScreenDisplayMode(int* width, int* height) { return GetMainScreenSize(width, height); }

int Graphics_Screen_ConvWindowPosToScreenPos(int x, int y, int* outX, int* outY) { return -1; }

int Graphics_Screen_IsSettingUp() { return 0; }

int Graphics_Screen_KeepsColourDepth() { return 0; }

int Graphics_Screen_ExplicitPositionKept() { return 0; }

int Graphics_Screen_GetBackgroundColour(int* red, int* green, int* blue) {
    if (!GraphicsScreenState.BackgroundColorSet) return -1;
    if (red) *red = GraphicsScreenState.BackgroundColor[0];
    if (green) *green = GraphicsScreenState.BackgroundColor[1];
    if (blue) *blue = GraphicsScreenState.BackgroundColor[2];
    return 0;
}

int Live2D_ModuleInitialize() { return 0; }

int Live2D_ModuleTerminate() { return 0; }

}  // namespace Vantrel
