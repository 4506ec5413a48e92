// Direct3D 11 back-end: the bodies of the core's switches. Bodies with a module of their own are marked
// below; the others, never reached without a device, report failure (-1). Start-up and end are in the
// back-end lifecycle (VtGraphicsD3D11System).
// Stands on the log and the switch layer's table.
#include "graphics_d3d11/VtGraphicsD3D11.h"

#include <windows.h>

#include "foundation/VtLog.h"
#include "graphics/VtGraphics.h"
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
#define VT_D3D11_OWN_Light_SetParam ~, 1
#define VT_D3D11_OWN_ShadowMap_RefreshSlotParams ~, 1
#define VT_D3D11_OWN_ShadowMap_RefreshLightMatrices ~, 1
#define VT_D3D11_OWN_ShadowMap_ReleaseTextures ~, 1
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
#define VT_D3D11_OWN_ShadowMap_CreateTextures ~, 1
#define VT_D3D11_OWN_WaitVSync ~, 1
#define VT_D3D11_OWN_Texture_CheckConvertNeeded ~, 1
#define VT_D3D11_OWN_BltBmpOrBaseImageToGraph3 ~, 1
#define VT_D3D11_OWN_DrawScreen_Clear ~, 1
#define VT_D3D11_OWN_OrigTexture_Create ~, 1
#define VT_D3D11_OWN_Graph_Fill ~, 1
#define VT_D3D11_OWN_DrawScreen_CopyToGraph ~, 1
#define VT_D3D11_OWN_DrawScreen_GetPixel ~, 1
#define VT_D3D11_OWN_DrawScreen_Lock ~, 1
#define VT_D3D11_OWN_DrawScreen_RefreshTargetFlag ~, 1
#define VT_D3D11_OWN_Texture_Release ~, 1
#define VT_D3D11_OWN_SubBackBuffer_Setup ~, 1
#define VT_D3D11_OWN_DrawScreen_Set ~, 1
#define VT_D3D11_OWN_ShaderRenderTarget_Set ~, 1
#define VT_D3D11_OWN_ZBuffer_Setup ~, 1
#define VT_D3D11_OWN_DrawScreen_Unlock ~, 1
#define VT_D3D11_OWN_DeviceObjects_ReleaseAll ~, 1
#define VT_D3D11_OWN_StateCache_Reapply ~, 1
#define VT_D3D11_OWN_Mask_SaveSurfaces ~, 1
#define VT_D3D11_OWN_Mask_CreateSurfaces ~, 1
#define VT_D3D11_OWN_Mask_CopyAndReleaseSaved ~, 1
#define VT_D3D11_OWN_Mask_DrawBegin ~, 1
#define VT_D3D11_OWN_Mask_DrawAfter ~, 1
#define VT_D3D11_OWN_Mask_ReleaseSurfaces ~, 1
#define VT_D3D11_OWN_Mask_SetUseFlag ~, 1
#define VT_D3D11_OWN_Shader_GetSupportVersion ~, 1
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

// The shader model the device runs with the library's shaders: 5.0 from feature level 11_0, 4.0 from
// 10_0, 0 when its shaders are not usable.
int Graphics_D3D11_Shader_GetSupportVersion() {
    if (D3D11CallState.Device == nullptr || !GraphicsSystemState.ShadersUsable) return 0;
    if (D3D11CallState.FeatureLevel >= D3D_FEATURE_LEVEL_11_0) return 500;
    return D3D11CallState.FeatureLevel >= D3D_FEATURE_LEVEL_10_0 ? 400 : 0;
}

}  // namespace Vantrel
