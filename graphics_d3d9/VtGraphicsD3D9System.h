// Direct3D 9 back-end lifecycle: the system brought up in its fixed order (d3d9.dll, the DirectDraw
// vertical-blank object, the Direct3D 9 object and the device with its set-up, the depth buffer, the
// built-in shaders, the sub back buffer), the circle rasteriser tuned once the device draws, the end with
// the live-object dump, and recovery from a lost device or a screen-mode change: everything is released
// down to d3d9.dll, built again, and every device object re-created from the library's own records.
// Stands on every other part of the back-end, the graphics core's handles and state, and the input module.
#pragma once

#include <stdint.h>

namespace Vantrel {

struct D3D9SystemStateRecord {
    int32_t Starts;            // system starts that reached a device
    int32_t Restores;          // restores and mode changes run
    int32_t FailedRestores;    // of which the device could not be built again
    int32_t Restoring;         // the device objects are being released for a restore
    int32_t ProbeRounds;       // rounds the latest rasterisation probe drew
    // The probe's read-back: the draw screen's pixel as 0xFFRRGGBB (-1 when unreadable). Null means
    // ReadDrawScreenPixel; tests put a scripted answer here.
    int (*ProbeReadPixel)(int x, int y);
};
extern D3D9SystemStateRecord D3D9SystemState;

int Graphics_D3D9_System_Initialize();
int Graphics_D3D9_System_Terminate();
int Graphics_D3D9_Device_Initialize();
int Graphics_D3D9_Device_PostInitialize();
int Graphics_D3D9_Device_Terminate();
// The rasterisation probe alone (run by the post-initialisation): 0.
int Graphics_D3D9_Device_ProbeCircleRaster();
int Graphics_D3D9_HandleObjects_ReleaseAll();
int Graphics_D3D9_DeviceObjects_CreateAll();
int Graphics_D3D9_Device_CheckLostOnActivate();
// Mode 0 recovers a lost device (the other arguments -1), mode 1 switches the screen mode. 0, or -1 when
// the device could not be built again: then no device exists and the drawing bodies do nothing.
int Graphics_D3D9_Device_RestoreOrChange(int mode, int width, int height, int colorBits, int refreshRate);

}  // namespace Vantrel
