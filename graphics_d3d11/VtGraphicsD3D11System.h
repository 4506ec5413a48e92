// Direct3D 11 back-end lifecycle: the whole back-end brought up in its fixed order (and torn down again
// when a step fails, so the core falls back to the next device), the main depth buffer, re-creation after
// a screen-mode change or a lost device with every graph restored from where its pixels came from, the
// release and re-creation of the device objects of the core's handles, and the end.
// Stands on every other part of the back-end, the graphics core's handles and state, and the input module.
#pragma once

#include <stdint.h>

#include "graphics_d3d11/VtGraphicsD3D11Call.h"

namespace Vantrel {

// Whether start-up uses the Direct3D 11 device at all. While it is 0 the start-up only loads d3d11.dll
// to tell the log whether it could, and fails, so the core falls back (Direct3D 9, then no device: the
// software screen presented through GDI). 1 unless built with the CMake option VT_D3D11_DEVICE=OFF.
#ifndef VT_D3D11_DEVICE_ENABLED
#define VT_D3D11_DEVICE_ENABLED 1
#endif
constexpr int D3D11DeviceEnabledByDefault = VT_D3D11_DEVICE_ENABLED;

struct D3D11SystemStateRecord {
    int32_t DeviceEnabled;              // starts as D3D11DeviceEnabledByDefault; tests switch it
    ID3D11Texture2D* DepthTexture;      // the main depth buffer (screen size, 16-bit)
    ID3D11DepthStencilView* DepthView;
    int32_t Restores;                   // re-creations done after a lost device
};
extern D3D11SystemStateRecord D3D11SystemState;

// Test hook: turns the Direct3D 11 start-up on or off (the default is D3D11DeviceEnabledByDefault).
int Graphics_D3D11_SetDeviceEnabled(int flag);
int Graphics_D3D11_IsDeviceEnabled();

int Graphics_D3D11_System_Initialize();
int Graphics_D3D11_System_Terminate();
int Graphics_D3D11_DepthBuffer_Create();
int Graphics_D3D11_HandleObjects_ReleaseAll();
int Graphics_D3D11_HandleObjects_CreateAll();
// The device reported lost by a present: everything is made again and every graph reloaded; 0 / -1.
int Graphics_D3D11_Device_RecoverFromLoss();

}  // namespace Vantrel
