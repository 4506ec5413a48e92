// Direct3D 9 back-end: the bodies of the graphics core's device switches while GraphicsApi is 1. Bodies
// with a module of their own are declared here with the others; start-up, loss, mode change and end are
// in the back-end lifecycle (VtGraphicsD3D9System).
// Stands on the switch layer's table, the call layer and the vertical-blank wait.
#pragma once

#include "graphics/VtGraphicsDispatchTable.h"
#include "graphics_d3d9/VtGraphicsD3D9Call.h"
#include "graphics_d3d9/VtGraphicsD3D9System.h"
#include "graphics_d3d9/VtGraphicsD3D9VBlank.h"

namespace Vantrel {

#define VT_GRAPHICS_D3D9_DECLARE(name, params, args) int Graphics_D3D9_##name params;
VT_GRAPHICS_DISPATCH_PLAIN(VT_GRAPHICS_D3D9_DECLARE)
VT_GRAPHICS_DISPATCH_GRAPHFILTER(VT_GRAPHICS_D3D9_DECLARE)
#undef VT_GRAPHICS_D3D9_DECLARE

int Graphics_D3D9_VertexBatch_Flush(int post);
int Graphics_D3D9_IndexBuffer_SetData(BufferHandleRecord* buffer, int first, const void* data, int count);
int Graphics_D3D9_VertexBuffer_SetData(BufferHandleRecord* buffer, int first, const void* data, int count);
int Graphics_D3D9_SysMemPool_ReleaseAll();
int Graphics_D3D9_SysMemTexturePool_ReleaseUnused();
int Graphics_D3D9_SysMemSurfacePool_ReleaseUnused();
int Graphics_D3D9_ZBuffer_CheckGraph(int reserved, GraphHandleRecord* graph);
int Graphics_D3D9_MaxAnisotropy_Set(int value);
int Graphics_D3D9_Texture_UpdateFromMovie(MovieRecord* movie, GraphHandleRecord* graph);
int Graphics_D3D9_Device_PostInitialize();
int Graphics_D3D9_Device_CheckLostOnActivate();
int Graphics_D3D9_Device_RestoreOrChange(int mode, int width, int height, int colorBits, int refreshRate);
int Graphics_D3D9_SetDialogBoxMode(int flag);
int Graphics_D3D9_Screen_Flip();
int Graphics_D3D9_DrawScreen_SetPost(int screen);

}  // namespace Vantrel
