// Direct3D 11 back-end: device start and end, and the bodies of the core's switches. The device is
// not created yet: start-up loads d3d11.dll (telling the log whether it could), frees it again and
// fails, so the core falls back to Direct3D 9 or to no device. The other bodies, never reached
// without a device, report failure (-1).
// Stands on the log and the switch layer's table.
#include "graphics_d3d11/VtGraphicsD3D11.h"

#include <windows.h>

#include "foundation/VtLog.h"
#include "graphics_d3d11/VtGraphicsD3D11Call.h"

namespace Vantrel {

// Bodies that have their own module are marked here and get no placeholder.
#define VT_D3D11_OWN_StateCache_SetDefaults ~, 1
#define VT_D3D11_OWN_Lighting_SetEnable ~, 1
#define VT_D3D11_OWN_DrawCircle ~, 1
#define VT_D3D11_OWN_DrawCircleThick ~, 1
#define VT_D3D11_OWN_DrawGraphStretched ~, 1
#define VT_D3D11_OWN_DrawFillRect ~, 1
#define VT_D3D11_OWN_DrawGraphAt ~, 1
#define VT_D3D11_OWN_DrawRectOutline ~, 1
#define VT_D3D11_OWN_DrawLineSegment ~, 1
#define VT_D3D11_OWN_DrawGraphQuadF ~, 1
#define VT_D3D11_OWN_DrawPrimitive2DUser ~, 1
#define VT_D3D11_OWN_DrawQuadF ~, 1
#define VT_D3D11_OWN_DrawSimpleQuadGraphF ~, 1
#define VT_D3D11_OWN_Buffer_Release ~, 1
#define VT_D3D11_OWN_Light_SetEnable ~, 1
#define VT_D3D11_OWN_BlendGraph_Setup ~, 1
#define VT_D3D11_OWN_ColorAdd_Set ~, 1
#define VT_D3D11_OWN_DiffuseColor_Refresh ~, 1
#define VT_D3D11_OWN_DrawArea_Set ~, 1
#define VT_D3D11_OWN_DrawMode_Set ~, 1
#define VT_D3D11_OWN_Fog_SetColor ~, 1
#define VT_D3D11_OWN_Fog_SetEnable ~, 1
#define VT_D3D11_OWN_Fog_SetMode ~, 1
#define VT_D3D11_OWN_Fog_SetStartEnd ~, 1
#define VT_D3D11_OWN_TextureAddressMode_Set ~, 1
#define VT_D3D11_OWN_Transform_SetProjection ~, 1
#define VT_D3D11_OWN_Transform_SetView ~, 1
#define VT_D3D11_OWN_Transform_SetWorld ~, 1
#define VT_D3D11_OWN_ShaderConstantBuffer_Release ~, 1
#define VT_D3D11_OWN_Shader_Create ~, 1
#define VT_D3D11_OWN_Shader_Release ~, 1
#define VT_D3D11_OWN_ShadowMap_SetSlot ~, 1
#define VT_D3D11_CAT(a, b) VT_D3D11_CAT_(a, b)
#define VT_D3D11_CAT_(a, b) a##b
#define VT_D3D11_SECOND(a, b, ...) b
#define VT_D3D11_CHECK(...) VT_D3D11_SECOND(__VA_ARGS__, 0, ~)
#define VT_D3D11_PLACEHOLDER_0(name, params) \
    int Graphics_D3D11_##name params { return -1; }
#define VT_D3D11_PLACEHOLDER_1(name, params)
#define VT_GRAPHICS_D3D11_BODY(name, params, args) \
    VT_D3D11_CAT(VT_D3D11_PLACEHOLDER_, VT_D3D11_CHECK(VT_D3D11_CAT(VT_D3D11_OWN_, name)))(name, params)
VT_GRAPHICS_DISPATCH_PLAIN(VT_GRAPHICS_D3D11_BODY)
#undef VT_GRAPHICS_D3D11_BODY

int Graphics_D3D11_Device_Initialize() {
    if (D3D11Call_LoadD3D11() < 0) return -1;
    Log_AddTextShiftJIS("Direct3D 11 のデバイスはまだ作成できません\n");
    D3D11Call_FreeD3D11();
    return -1;
}

int Graphics_D3D11_Device_PostInitialize() { return -1; }
int Graphics_D3D11_Device_RestoreOrChange(int mode, int width, int height, int colorBits, int refreshRate) { return -1; }
int Graphics_D3D11_Device_Terminate() {
    D3D11Call_FreeD3D11();
    return 0;
}
int Graphics_D3D11_Screen_Flip() { return -1; }
int Graphics_D3D11_DrawScreen_SetPost(int screen) { return -1; }

}  // namespace Vantrel
