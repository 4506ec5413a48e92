// Screen settings, draw-screen choice, display list and the device-level services that the system
// and window modules call, in their form without a device (GraphicsApi 0): the values are stored and
// reported, nothing is drawn. Stands on the system function table.
#pragma once

#include <windows.h>

#include "graphics/VtGraphics.h"

namespace Vantrel {

// One display of the display list.
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

struct GraphicsDisplayMode {
    int Width;
    int Height;
    int ColourBits;
    int RefreshRate;
};

typedef void (*GraphRestoreHandler)();

// Screen setting (before start-up it only stores the values; GetMainScreenSize is in VtGraphics).
int SetScreenResolution(int width, int height, int colourBits, int refreshRate);
int GetScreenColorBitDepth();
int GetScreenModeSettings(int* width, int* height, int* colourBits);
int GetScreenRefreshRate();
int SetWaitVSyncEnable(int flag);
int GetWaitVSyncEnable();
int WaitVerticalBlank(int count);

// Draw target and presenting.
int SelectDrawScreen(int screen);
int GetCurrentDrawScreen();
int PresentScreen();
int PresentScreenDirect();
int SetMaskScreenUse(int flag);
int GetMaskScreenUseFlag();

// Restore handler of graph images after a device loss.
int SetGraphRestoreHandler(GraphRestoreHandler handler);
int Graphics_Image_HasRestoreCallback();

// Graphics module start and end; with no device GraphicsApi stays 0.
int Graphics_Module_Initialize();
int Graphics_Module_Terminate();

// Display list.
int Graphics_Display_SetupInfo();
int Graphics_Display_GetCount();
int Graphics_Display_GetCurrentIndex();
const GraphicsDisplayInfo* Graphics_Display_Get(int index);
int GetDisplayModeCount(int displayIndex);
GraphicsDisplayMode* GetDisplayModeEntry(GraphicsDisplayMode* out, int modeIndex, int displayIndex);

// Screen-mode services used by the window module.
int Graphics_Screen_ChangeMode(int width, int height, int colourBits, int modeChange, int refreshRate, int last);
int Graphics_Screen_ChooseFullScreenDisplayMode(int* width, int* height);
int Graphics_Screen_ConvWindowPosToScreenPos(int x, int y, int* outX, int* outY);
int Graphics_Screen_GetFullScreenResolutionMode();
int Graphics_Screen_RestoreOnActivate();
int Graphics_Screen_IsSettingUp();
int Graphics_Screen_KeepsColourDepth();
int Graphics_Screen_ExplicitPositionKept();
int Graphics_Screen_GetBackgroundColour(int* red, int* green, int* blue);

// Device switch services (nothing to do without a device).
int Graphics_Dispatch_Device_CheckLostOnActivate();
int Graphics_Dispatch_SysMemPool_ReleaseUnused();
int Graphics_Dispatch_DeviceObjects_ReleaseAll();

// Live2D module start and end (nothing to start without the Cubism core).
int Live2D_ModuleInitialize();
int Live2D_ModuleTerminate();

// ---- Draw area and boxes (used by the key-input fields and IME drawing) ----
// The draw area is the whole draw target, the main screen without a device; boxes draw nothing
// without a device and report 0 like every device operation then.
int GetDrawAreaRect(RECT* rect);
int DrawRectangle(int x1, int y1, int x2, int y2, unsigned int color, int fill, int thickness);

}  // namespace Vantrel
