// The device switch layer: every device operation of the graphics core is a Graphics_Dispatch_<Op>
// switch on GraphicsApi that calls the Direct3D 11 or Direct3D 9 body with the caller's arguments,
// or gives the no-device result. Besides the switches: the back-end choice, restore after loss, the
// GDI present without a device, the monitor list, the front-screen present timer and the GDI flag.
// Stands on the two back-ends, the window module and the system function table.
#pragma once

#include <windows.h>

#include "graphics/VtGraphicsDispatchTable.h"

namespace Vantrel {

// The plain switches: without a device each returns 0.
#define VT_GRAPHICS_DISPATCH_DECLARE(name, params, args) int Graphics_Dispatch_##name params;
VT_GRAPHICS_DISPATCH_PLAIN(VT_GRAPHICS_DISPATCH_DECLARE)
// The graph-filter switches, the same way.
VT_GRAPHICS_DISPATCH_GRAPHFILTER(VT_GRAPHICS_DISPATCH_DECLARE)
#undef VT_GRAPHICS_DISPATCH_DECLARE
// The filter kinds that have a body on Direct3D 11 only: 0 on Direct3D 9 and without a device.
int Graphics_Dispatch_GraphFilter_FloatColorScale(GraphFilterContext* context, const float* values);
int Graphics_Dispatch_GraphFilter_Ssao(GraphFilterContext* context, int depthGraph, float p1, float p2, float p3,
                                       float p4, int color, float mix, int mixGraph);

// The switches that differ from the plain rule.
int Graphics_Dispatch_Device_IsValid();
int Graphics_Dispatch_VertexBatch_Flush(int otherThread);
int Graphics_Dispatch_IndexBuffer_SetData(BufferHandleRecord* buffer, int first, const void* data, int count);
int Graphics_Dispatch_VertexBuffer_SetData(BufferHandleRecord* buffer, int first, const void* data, int count);
int Graphics_Dispatch_SysMemPool_ReleaseAll();
int Graphics_Dispatch_SysMemPool_ReleaseUnused();
int Graphics_Dispatch_ZBuffer_CheckGraph(int reserved, GraphHandleRecord* graph);
int Graphics_Dispatch_MaxAnisotropy_Set(int value);
int Graphics_Dispatch_Texture_UpdateFromMovie(MovieRecord* movie, GraphHandleRecord* graph);
int Graphics_Dispatch_ShadowMap_DrawEndHook();
int Graphics_Dispatch_Device_PostInitialize();
int Graphics_Dispatch_Device_CheckLostOnActivate();
int Graphics_Dispatch_SetDialogBoxMode(int flag);
int Graphics_Dispatch_DrawScreen_SetPost(int screen);
int Graphics_Dispatch_Screen_Flip();
// The draw target's pixel with *status 0 when it was read and -1 when the read-back failed.
int Graphics_Dispatch_DrawScreen_GetPixelWithStatus(int x, int y, int* status);
int Graphics_Dispatch_Device_Initialize();
int Graphics_Dispatch_Device_RestoreOrChange(int mode, int width, int height, int colorBits, int refreshRate);
int Graphics_Dispatch_Device_Terminate();

// The GDI-drawing-allowed flag (dialog-box mode of a Direct3D 9 device).
int GetGDIDrawEnableFlag();
int SetGDIDrawEnableFlag(int flag);

// The monitor list of GraphicsSystemState, built on first demand, freed at device end.
int Graphics_Display_SetupInfo();
BOOL CALLBACK Graphics_Display_MonitorEnumCallback(HMONITOR monitor, HDC dc, LPRECT rect, LPARAM data);
int Graphics_Display_ReleaseInfo();

// The front screen's present timer on the main window: id 0x7FFF, every 32 ms.
constexpr UINT_PTR FrontScreenTimerId = 0x7FFF;
constexpr UINT FrontScreenTimerMs = 32;
// 1 while the main window is shown as a layered window filled from the back buffer (both switches of
// the window module set): presents then go through the window module, and the front-screen timer stops.
int Graphics_Dispatch_LayeredWindowActive();
int Graphics_FrontScreen_ArmTimer();
void CALLBACK Graphics_FrontScreen_FlipTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time);

}  // namespace Vantrel
