// Graphics core: the least of it that the foundation needs before the graphics subsystem stands:
// which device API is in use, whether a device is set up, and the main screen's size.
// Stands on nothing yet; with no device every answer is "nothing there".
#pragma once

namespace Vantrel {

enum : int {
    GRAPHICS_API_NONE = 0,
    GRAPHICS_API_D3D9 = 1,
    GRAPHICS_API_D3D11 = 2,
};

struct GraphicsSystemStateRecord {
    int DeviceValid;
    int ScreenWidth;
    int ScreenHeight;
};

extern int GraphicsApi;
extern GraphicsSystemStateRecord GraphicsSystemState;

// The DirectDraw 7 object of the Direct3D 9 side, or null when there is none.
void* Graphics_Dispatch_DirectDraw7_Get();
// Writes the main screen's size (640 x 480 when none was set); either pointer may be null.
int GetMainScreenSize(int* width, int* height);

}  // namespace Vantrel
