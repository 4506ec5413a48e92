// Direct3D 11 device and adapter set-up: the DXGI factory, the adapter table (enumerated once per
// process), the adapter choice by the output that shows the main window, the device and immediate
// context at feature level 11_1 or 11_0, the capabilities handed to the graphics core, and the DXGI
// formats chosen for every library texture-format code and depth code.
// Stands on the call layer, the graphics core's state, the window module and the image formats.
#pragma once

#include <stdint.h>

#include "graphics_d3d11/VtGraphicsD3D11Call.h"

namespace Vantrel {

struct ColorFormatDesc;

constexpr int D3D11AdapterMax = 16;
constexpr int D3D11OutputMax = 32;
constexpr int D3D11TextureFormatCount = 51;

struct D3D11AdapterRecord {
    DXGI_ADAPTER_DESC Desc;
    int32_t OutputCount;
    DXGI_OUTPUT_DESC Outputs[D3D11OutputMax];
};

// Words of GraphicsSystemState.BackEndCaps that the Direct3D 11 set-up fills besides the named fields.
enum : int {
    D3D11CAPS_SEPARATE_ALPHA_BLEND = 0,
    D3D11CAPS_NONPOW2_CONDITIONAL = 1,
    D3D11CAPS_MAX_VERTEX_INDEX = 2,
    D3D11CAPS_MAX_PRIMITIVE_COUNT = 3,
    D3D11CAPS_VERTEX_COLOR_BGRA = 4,
    D3D11CAPS_FURTHER_SWITCH = 5,
};

struct D3D11DeviceStateRecord {
    D3D11AdapterRecord Adapters[D3D11AdapterMax];
    int32_t AdapterCount;
    int32_t AdaptersEnumerated;
    int32_t SelectedAdapter;                          // kept across device re-creations
    DXGI_FORMAT TextureFormat[D3D11TextureFormatCount]; // D3D11TextureFormatTable; 0 = none usable
    DXGI_FORMAT ScreenFormat;
    DXGI_FORMAT DepthTextureFormat[3];                // by depth code 0 16-bit, 1 24-bit, 2 32-bit
    DXGI_FORMAT DepthShaderViewFormat[3];
    DXGI_FORMAT DepthViewFormat[3];
    wchar_t DeviceName[128];                          // the selected adapter's description
    int32_t FeatureLevelRetried;                      // the last creation was retried with 11_0 alone
};
extern D3D11DeviceStateRecord D3D11DeviceState;

int D3D11Call_DXGIFactory_Create(int log);
int Graphics_D3D11_Adapter_EnumAll();
// Forgets the adapter table so that the next enumeration reads the system again.
void Graphics_D3D11_Adapter_ResetTable();
int D3D11Call_Device_Create();
int Graphics_D3D11_Device_Setup();
// Chooses the adapter for the window rectangle (desktop coordinates) from the table; returns the choice.
int Graphics_D3D11_Adapter_Choose(const RECT* window);
int Graphics_D3D11_Format_SetupTable();
const ColorFormatDesc* Graphics_D3D11_Format_GetColorFormatDesc(DXGI_FORMAT format);
// "DXGI_FORMAT_" followed by the format's name, for the formats the set-up can choose.
const char* Graphics_D3D11_Format_GetName(DXGI_FORMAT format);

}  // namespace Vantrel
