// Screen modes and display: the screen settings (stored before start-up, a restart of the graphics
// module after it), the low-resolution emulation, the screen colour formats, the display list and
// display modes of the monitors, full-screen fitting and window-to-screen positions. Also brings in
// the graphics state, switch-layer, draw-target and draw-setting declarations the system and tool
// modules use.
// Stands on the graphics state records, the module lifecycle and the monitor list of the switch layer.
#pragma once

#include <windows.h>

#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics/VtGraphicsMask.h"
#include "graphics/VtLive2DCubism4.h"  // the Live2D module start and end

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

// Screen setting: before start-up it only stores the values; after it a change restarts the graphics
// module. 0 as asked, -2 fallen back to 640 x 480 x 16, -1 refused or failed.
int SetScreenResolution(int width, int height, int colourBits, int refreshRate);
int GetScreenRefreshRate();
// Before start-up only: a 320 x 240 screen shown doubled as 640 x 480. 0 or -1.
int SetLowResolutionEmulation(int flag);
// Stores the screen size (0 allowed) and the main screen size (640 x 480 for 0).
int Graphics_Screen_SetMainScreenSize(int width, int height);
// The screen colour formats 0-4 (three 16-bit and two 32-bit layouts); null outside.
const ColorFormatDesc* Graphics_Screen_GetScreenColorFormat(int index);

// Display list over the monitor list (built on first use).
int Graphics_Display_GetCount();
int Graphics_Display_GetCurrentIndex();
const GraphicsDisplayInfo* Graphics_Display_Get(int index);
int GetDisplayModeCount(int displayIndex);
GraphicsDisplayMode* GetDisplayModeEntry(GraphicsDisplayMode* out, int modeIndex, int displayIndex);

// Screen-mode change: restarts the graphics module with the new settings (-1 keeps a setting), down a
// ladder of fall-backs when the start fails. Every graph, shader, buffer and shadow-map handle is
// deleted; the default font comes back with its former parameters. 0 or -1.
int Graphics_Screen_ChangeMode(int width, int height, int colourBits, int windowModeChanged, int refreshRate);
// Full screen keeps the primary monitor's mode and scales the screen into it, aspect ratio kept.
int Graphics_Screen_ChooseFullScreenDisplayMode();
int Graphics_Screen_CalcFullScreenOutputSize();
int Graphics_Screen_ConvWindowPosToScreenPos(int x, int y, int* outX, int* outY);
// 1 while a screen-mode change runs.
int Graphics_Screen_IsSettingUp();
int Graphics_Screen_KeepsColourDepth();
int Graphics_Screen_ExplicitPositionKept();
int Graphics_Screen_GetBackgroundColour(int* red, int* green, int* blue);

}  // namespace Vantrel
