// Direct3D 9 back-end: the bodies of the graphics core's device switches while GraphicsApi is 1,
// d3d9.dll loading and the DirectDraw object of the vertical-blank wait. Until the back-end's device
// exists, start-up loads and frees the library and fails, so the core runs without a device; every
// other body reports failure and no DirectDraw object is made.
// Stands on the switch layer's table and the log.
#pragma once

#include "graphics/VtGraphicsDispatchTable.h"

namespace Vantrel {

#define VT_GRAPHICS_D3D9_DECLARE(name, params, args) int Graphics_D3D9_##name params;
VT_GRAPHICS_DISPATCH_PLAIN(VT_GRAPHICS_D3D9_DECLARE)
#undef VT_GRAPHICS_D3D9_DECLARE

int Graphics_D3D9_VertexBatch_Flush(int otherThread);
int Graphics_D3D9_IndexBuffer_SetData(BufferHandleRecord* buffer, int first, const void* data, int count);
int Graphics_D3D9_VertexBuffer_SetData(BufferHandleRecord* buffer, int first, const void* data, int count);
int Graphics_D3D9_SysMemPool_ReleaseAll();
int Graphics_D3D9_SysMemTexturePool_ReleaseUnused();
int Graphics_D3D9_SysMemSurfacePool_ReleaseUnused();
int Graphics_D3D9_ZBuffer_CheckGraph(int reserved, GraphHandleRecord* graph);
int Graphics_D3D9_MaxAnisotropy_Set(int value);
int Graphics_D3D9_Texture_UpdateFromMovie(MovieRecord* movie, GraphHandleRecord* graph);
int Graphics_D3D9_Device_Initialize();
int Graphics_D3D9_Device_PostInitialize();
int Graphics_D3D9_Device_CheckLostOnActivate();
int Graphics_D3D9_Device_RestoreOrChange(int mode, int width, int height, int colorBits, int refreshRate);
int Graphics_D3D9_Device_Terminate();
int Graphics_D3D9_SetDialogBoxMode(int flag);
int Graphics_D3D9_Screen_Flip();
int Graphics_D3D9_DrawScreen_SetPost(int screen);

// The call layer: device presence, d3d9.dll, the dialog-box mode, and the DirectDraw 7 object used
// for vertical-blank waits.
int D3D9Call_Device_Exists();
int D3D9Call_Device_SetDialogBoxMode(int flag);
int D3D9Call_Library_Load();
int D3D9Call_Library_Free();
int D3D9Call_DDraw_Create();
void* D3D9Call_DDraw_Get();
void D3D9Call_DDraw_MeasureRefreshInterval();
int D3D9Call_DDraw_Release();
void D3D9Call_DDraw_SleepUntilVBlank();

}  // namespace Vantrel
