// Screen settings, the display list as the window module reads it, and the screen-mode services the
// system and window modules call. Screen changes at run time are not made yet: the settings are
// stored before start-up and reported. Also brings in the graphics state, switch-layer, draw-target
// and draw-setting declarations the system and tool modules use.
// Stands on the graphics state records and the monitor list of the switch layer.
#pragma once

#include <windows.h>

#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics/VtGraphicsMask.h"

namespace Vantrel {

// One display of the display list, as the window module reads it.
struct GraphicsDisplayInfo {
    int DpiX;
    int DpiY;
    int Left;
    int Top;
    int Width;
    int Height;
    int ModeWidth;
    int ModeHeight;
    int ColourBits;
    int RefreshRate;
};

// Screen setting (before start-up it only stores the values).
int SetScreenResolution(int width, int height, int colourBits, int refreshRate);
int GetScreenRefreshRate();

// Display list over the monitor list (built on first use).
int Graphics_Display_GetCount();
int Graphics_Display_GetCurrentIndex();
const GraphicsDisplayInfo* Graphics_Display_Get(int index);
int GetDisplayModeCount(int displayIndex);
GraphicsDisplayMode* GetDisplayModeEntry(GraphicsDisplayMode* out, int modeIndex, int displayIndex);

// Screen-mode services used by the window module.
int Graphics_Screen_ChangeMode(int width, int height, int colourBits, int modeChange, int refreshRate, int last);
int Graphics_Screen_ChooseFullScreenDisplayMode(int* width, int* height);
int Graphics_Screen_ConvWindowPosToScreenPos(int x, int y, int* outX, int* outY);
int Graphics_Screen_IsSettingUp();
int Graphics_Screen_KeepsColourDepth();
int Graphics_Screen_ExplicitPositionKept();
int Graphics_Screen_GetBackgroundColour(int* red, int* green, int* blue);

// Live2D module start and end (nothing to start without the Cubism core).
int Live2D_ModuleInitialize();
int Live2D_ModuleTerminate();

}  // namespace Vantrel
