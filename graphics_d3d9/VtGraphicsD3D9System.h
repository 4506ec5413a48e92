// Direct3D 9 back-end lifecycle: the system brought up in its fixed order (d3d9.dll, the DirectDraw
// vertical-blank object, the Direct3D 9 object and the device with its set-up) and torn down again, with
// the live-object counts dumped at the end. The drawing parts of the back-end are not all there yet, so
// the library's start-up still declines the device after starting it once (the core then runs without a
// device), while tests start and end the system directly.
// Stands on the call layer, the device set-up, the vertical-blank wait, the state cache, the
// shader-constant manager and the graphics core's state.
#pragma once

#include <stdint.h>

namespace Vantrel {

struct D3D9SystemStateRecord {
    int32_t Starts;        // system starts that reached a device
    int32_t Declined;      // library start-ups that started the system and declined it
};
extern D3D9SystemStateRecord D3D9SystemState;

int Graphics_D3D9_System_Initialize();
int Graphics_D3D9_System_Terminate();
int Graphics_D3D9_Device_Initialize();
int Graphics_D3D9_Device_Terminate();

}  // namespace Vantrel
