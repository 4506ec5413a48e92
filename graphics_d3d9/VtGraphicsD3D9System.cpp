// Direct3D 9 back-end lifecycle: start in its fixed order, the end with the live-object dump, and the
// library start-up's body, which for now starts the system once and declines it.
// Stands on the call layer, the device set-up, the vertical-blank wait, the state cache, the
// shader-constant manager and the graphics core's state.
#include "graphics_d3d9/VtGraphicsD3D9System.h"

#include <stddef.h>
#include <string.h>

#include "foundation/VtLog.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsScreen.h"
#include "graphics_d3d9/VtGraphicsD3D9.h"
#include "graphics_d3d9/VtGraphicsD3D9Batch.h"
#include "graphics_d3d9/VtGraphicsD3D9Call.h"
#include "graphics_d3d9/VtGraphicsD3D9Device.h"
#include "graphics_d3d9/VtGraphicsD3D9Filter.h"
#include "graphics_d3d9/VtGraphicsD3D9Shader.h"
#include "graphics_d3d9/VtGraphicsD3D9DrawTarget.h"
#include "graphics_d3d9/VtGraphicsD3D9Present.h"
#include "graphics_d3d9/VtGraphicsD3D9ShaderConstant.h"
#include "graphics_d3d9/VtGraphicsD3D9State.h"
#include "graphics_d3d9/VtGraphicsD3D9SysMemPool.h"
#include "graphics_d3d9/VtGraphicsD3D9VBlank.h"

namespace Vantrel {

D3D9SystemStateRecord D3D9SystemState;

namespace {

// Everything the start made, in the order of the end.
void ReleaseAll() {
    Graphics_D3D9_Shader_ReleaseAll();
    Graphics_D3D9_GraphFilter_ReleaseShaders();
    D3D9DeviceStateRecord& device = D3D9DeviceState;
    Graphics_D3D9_DrawScreen_Unlock();
    Graphics_D3D9_SysMemTexturePool_Release(0);
    Graphics_D3D9_SysMemSurfacePool_Release(0);
    Graphics_D3D9_SubBackBuffer_Release();
    Graphics_D3D9_ZBuffer_Release();
    D3D9Call_Object_Release(device.BackBuffer);
    device.BackBuffer = nullptr;
    D3D9Call_Device_Release();
    D3D9DeviceStateCache.Scene = 0;
    D3D9Call_Direct3D9_Release();
    D3D9Call_Library_Free();
    D3D9Call_DDraw_Release();
}

// The screen settings and capabilities a declined start must leave as they were: the core goes on
// without a device, on the settings it had.
struct CoreSettings {
    int32_t MainWidth, MainHeight, ColourBits;
    RECT MonitorRect;
    uint8_t Caps[offsetof(GraphicsSystemStateRecord, PresentInProgress) -
                 offsetof(GraphicsSystemStateRecord, ScreenMultiSampleCount)];
};

void SaveCore(CoreSettings& saved) {
    saved.MainWidth = GraphicsScreenState.MainScreenWidth;
    saved.MainHeight = GraphicsScreenState.MainScreenHeight;
    saved.ColourBits = GraphicsScreenState.ColourBits;
    saved.MonitorRect = GraphicsScreenState.MonitorRect;
    memcpy(saved.Caps, &GraphicsSystemState.ScreenMultiSampleCount, sizeof(saved.Caps));
}

void RestoreCore(const CoreSettings& saved) {
    if (GraphicsScreenState.MainScreenWidth != saved.MainWidth || GraphicsScreenState.MainScreenHeight != saved.MainHeight)
        Graphics_Screen_SetMainScreenSize(saved.MainWidth, saved.MainHeight);
    GraphicsScreenState.ColourBits = saved.ColourBits;
    GraphicsScreenState.MonitorRect = saved.MonitorRect;
    memcpy(&GraphicsSystemState.ScreenMultiSampleCount, saved.Caps, sizeof(saved.Caps));
}

}  // namespace

int Graphics_D3D9_System_Initialize() {
    GraphicsSystemState.DeviceValid = 0;
    if (D3D9Call_Library_Load() < 0) return -1;
    // Without the DirectDraw object the vertical-blank waits pace by time; the device does not need it.
    D3D9Call_DDraw_Create();
    for (;;) {
        if (D3D9Call_Direct3D9_Create() < 0) {
            ReleaseAll();
            return -1;
        }
        const int result = Graphics_D3D9_Device_Setup();
        if (result == -2) continue;   // the Ex device was refused: once more with a plain object
        if (result < 0) {
            ReleaseAll();
            return -1;
        }
        break;
    }
    Graphics_D3D9_Shader_Initialize();
    Graphics_D3D9_ZBuffer_Create();
    D3D9SystemState.Starts++;
    GraphicsSystemState.DeviceValid = 1;
    return 0;
}

int Graphics_D3D9_System_Terminate() {
    GraphicsSystemState.DeviceValid = 0;
    const bool hadDevice = D3D9Call_Device_Exists() || D3D9CallState.Module != nullptr;
    Graphics_D3D9_VertexBatch_Reset();
    ReleaseAll();
    if (hadDevice) D3D9Call_DumpObjectCounts();
    Graphics_D3D9_StateCache_Clear();
    return 0;
}

int Graphics_D3D9_Device_Initialize() {
    CoreSettings saved;
    SaveCore(saved);
    if (Graphics_D3D9_System_Initialize() == 0) {
        Graphics_D3D9_ShaderConstant_Initialize(&D3D9ShaderConstants);
        Graphics_D3D9_ShaderConstant_SelectLayers(&D3D9ShaderConstants, 1);
        // Graphs cannot be drawn or shown through this device yet: the core goes on without one.
        Log_AddTextShiftJIS("Direct3D 9 のデバイスはまだ描画に使用しません\n");
        D3D9SystemState.Declined++;
    }
    Graphics_D3D9_System_Terminate();
    Graphics_D3D9_ShaderCode_Base_Terminate();
    RestoreCore(saved);
    return -1;
}

int Graphics_D3D9_Device_Terminate() {
    Graphics_D3D9_System_Terminate();
    Graphics_D3D9_ShaderCode_Base_Terminate();
    return 0;
}

}  // namespace Vantrel
