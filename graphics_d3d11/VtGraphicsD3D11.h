// Direct3D 11 back-end: the bodies of the graphics core's device switches while GraphicsApi is 2,
// with its d3d11.dll loading. Until the back-end's device exists, start-up loads and frees the
// library and fails, so the core runs without a device; every other body reports failure.
// Stands on the switch layer's table and the log.
#pragma once

#include "graphics/VtGraphicsDispatchTable.h"
#include "graphics_d3d11/VtGraphicsD3D11Call.h"

namespace Vantrel {

#define VT_GRAPHICS_D3D11_DECLARE(name, params, args) int Graphics_D3D11_##name params;
VT_GRAPHICS_DISPATCH_PLAIN(VT_GRAPHICS_D3D11_DECLARE)
#undef VT_GRAPHICS_D3D11_DECLARE

int Graphics_D3D11_VertexBatch_Flush(int reserved, int otherThread);
int Graphics_D3D11_Buffer_SetData(BufferHandleRecord* buffer, int first, const void* data, int count);
// The device buffer of a vertex-buffer (0) or index-buffer (1) handle, filled from its system copy; 0 when
// it has one already, -1 (logged) when it cannot be made.
int Graphics_D3D11_Buffer_Create(BufferHandleRecord* buffer, int indexBuffer);
// The device shader of a shader handle made again from its kept byte code; 0 when it has one already or
// keeps no code.
int Graphics_D3D11_Shader_ReCreate(ShaderHandleRecord* record);
int Graphics_D3D11_Device_Initialize();
int Graphics_D3D11_Device_PostInitialize();
int Graphics_D3D11_Device_RestoreOrChange(int mode, int width, int height, int colorBits, int refreshRate);
int Graphics_D3D11_Device_Terminate();
int Graphics_D3D11_Screen_Flip();
int Graphics_D3D11_DrawScreen_SetPost(int screen);

}  // namespace Vantrel
