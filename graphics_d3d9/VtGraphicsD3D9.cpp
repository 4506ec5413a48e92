// Direct3D 9 back-end: the bodies of the core's switches. Bodies with a module of their own are marked
// below; the others report failure (-1) and draw nothing.
// Stands on the log and the switch layer's table.
#include "graphics_d3d9/VtGraphicsD3D9.h"

#include "graphics_d3d9/VtGraphicsD3D9Device.h"
#include "graphics_d3d9/VtGraphicsD3D9State.h"

namespace Vantrel {

// Bodies that have their own module are marked here and get no placeholder.
#define VT_D3D9_OWN_StateCache_SetDefaults ~, 1
#define VT_D3D9_OWN_StateCache_Reapply ~, 1
#define VT_D3D9_OWN_Lighting_SetEnable ~, 1
#define VT_D3D9_OWN_WaitVSync ~, 1
#define VT_D3D9_OWN_Shader_GetSupportVersion ~, 1
#define VT_D3D9_OWN_Light_SetParam ~, 1
#define VT_D3D9_OWN_Light_SetEnable ~, 1
#define VT_D3D9_OWN_Fog_SetColor ~, 1
#define VT_D3D9_OWN_Fog_SetEnable ~, 1
#define VT_D3D9_OWN_Fog_SetMode ~, 1
#define VT_D3D9_OWN_Fog_SetStartEnd ~, 1
#define VT_D3D9_OWN_Transform_SetView ~, 1
#define VT_D3D9_OWN_SubBackBuffer_Setup ~, 1
#define VT_D3D9_OWN_DrawScreen_Clear ~, 1
#define VT_D3D9_OWN_DrawScreen_CopyToGraph ~, 1
#define VT_D3D9_OWN_DrawScreen_GetPixel ~, 1
#define VT_D3D9_OWN_DrawScreen_Lock ~, 1
#define VT_D3D9_OWN_DrawScreen_RefreshTargetFlag ~, 1
#define VT_D3D9_OWN_DrawScreen_Set ~, 1
#define VT_D3D9_OWN_DrawScreen_Unlock ~, 1
#define VT_D3D9_OWN_Graph_Fill ~, 1
#define VT_D3D9_OWN_ShaderRenderTarget_Set ~, 1
#define VT_D3D9_OWN_ZBuffer_Setup ~, 1
#define VT_D3D9_OWN_Texture_CheckConvertNeeded ~, 1
#define VT_D3D9_OWN_BltBmpOrBaseImageToGraph3 ~, 1
#define VT_D3D9_OWN_OrigTexture_Create ~, 1
#define VT_D3D9_OWN_Texture_Release ~, 1
#define VT_D3D9_OWN_DrawGraphAt ~, 1
#define VT_D3D9_OWN_DrawGraphStretched ~, 1
#define VT_D3D9_OWN_DrawGraphQuadF ~, 1
#define VT_D3D9_OWN_DrawSimpleQuadGraphF ~, 1
#define VT_D3D9_OWN_DrawFillRect ~, 1
#define VT_D3D9_OWN_DrawRectOutline ~, 1
#define VT_D3D9_OWN_DrawLineSegment ~, 1
#define VT_D3D9_OWN_DrawCircle ~, 1
#define VT_D3D9_OWN_DrawCircleThick ~, 1
#define VT_D3D9_OWN_DrawQuadF ~, 1
#define VT_D3D9_OWN_DrawPrimitive2DUser ~, 1
#define VT_D3D9_OWN_Mask_SaveSurfaces ~, 1
#define VT_D3D9_OWN_Mask_CreateSurfaces ~, 1
#define VT_D3D9_OWN_Mask_CopyAndReleaseSaved ~, 1
#define VT_D3D9_OWN_Mask_DrawBegin ~, 1
#define VT_D3D9_OWN_Mask_DrawAfter ~, 1
#define VT_D3D9_OWN_Mask_ReleaseSurfaces ~, 1
#define VT_D3D9_OWN_Mask_SetUseFlag ~, 1
#define VT_D3D9_OWN_GraphFilter_RectBltSetup ~, 1
#define VT_D3D9_OWN_GraphFilter_RectBltPassSetup ~, 1
#define VT_D3D9_OWN_GraphFilter_RestoreDrawState ~, 1
#define VT_D3D9_OWN_GraphFilter_RectBltFinish ~, 1
#define VT_D3D9_OWN_GraphFilter_Mono ~, 1
#define VT_D3D9_OWN_GraphFilter_Gauss ~, 1
#define VT_D3D9_OWN_GraphFilter_DownScale ~, 1
#define VT_D3D9_OWN_GraphFilter_BrightClip ~, 1
#define VT_D3D9_OWN_GraphFilter_BrightScale ~, 1
#define VT_D3D9_OWN_GraphFilter_Invert ~, 1
#define VT_D3D9_OWN_GraphFilter_TwoColor ~, 1
#define VT_D3D9_OWN_GraphFilter_GradientMap ~, 1
#define VT_D3D9_OWN_GraphFilter_Replacement ~, 1
#define VT_D3D9_OWN_GraphFilter_PremultipliedAlpha ~, 1
#define VT_D3D9_OWN_GraphFilter_InterpolatedAlpha ~, 1
#define VT_D3D9_OWN_GraphFilter_Blend ~, 1
#define VT_D3D9_OWN_GraphFilter_BlendRGBAMix ~, 1
#define VT_D3D9_OWN_DiffuseColor_Refresh ~, 1
#define VT_D3D9_OWN_ColorAdd_Set ~, 1
#define VT_D3D9_OWN_BlendGraph_Setup ~, 1
#define VT_D3D9_OWN_DrawArea_Set ~, 1
#define VT_D3D9_OWN_DrawMode_Set ~, 1
#define VT_D3D9_OWN_TextureAddressMode_Set ~, 1
#define VT_D3D9_OWN_Transform_SetProjection ~, 1
#define VT_D3D9_OWN_Transform_SetWorld ~, 1
#define VT_D3D9_OWN_Buffer_Release ~, 1
#define VT_D3D9_OWN_ShaderConstantBuffer_Release ~, 1
#define VT_D3D9_OWN_Shader_Create ~, 1
#define VT_D3D9_OWN_Shader_Release ~, 1
#define VT_D3D9_OWN_ShadowMap_RefreshSlotParams ~, 1
#define VT_D3D9_OWN_ShadowMap_RefreshLightMatrices ~, 1
#define VT_D3D9_OWN_ShadowMap_ReleaseTextures ~, 1
#define VT_D3D9_OWN_ShadowMap_SetSlot ~, 1
#define VT_D3D9_OWN_ShadowMap_CreateTextures ~, 1
#define VT_D3D9_OWN_DeviceObjects_ReleaseAll ~, 1
#define VT_D3D9_JOIN(a, b) VT_D3D9_JOIN_(a, b)
#define VT_D3D9_JOIN_(a, b) a##b
#define VT_D3D9_PICK(a, b, ...) b
#define VT_D3D9_IS_OWN(...) VT_D3D9_PICK(__VA_ARGS__, 0, ~)
#define VT_D3D9_STAND_IN_0(name, params) \
    int Graphics_D3D9_##name params { return -1; }
#define VT_D3D9_STAND_IN_1(name, params)
#define VT_GRAPHICS_D3D9_BODY(name, params, args) \
    VT_D3D9_JOIN(VT_D3D9_STAND_IN_, VT_D3D9_IS_OWN(VT_D3D9_JOIN(VT_D3D9_OWN_, name)))(name, params)
VT_GRAPHICS_DISPATCH_PLAIN(VT_GRAPHICS_D3D9_BODY)
VT_GRAPHICS_DISPATCH_GRAPHFILTER(VT_GRAPHICS_D3D9_BODY)
#undef VT_GRAPHICS_D3D9_BODY

int Graphics_D3D9_SetDialogBoxMode(int flag) {
    if (!D3D9Call_Device_Exists()) return 0;
    Graphics_D3D9_Scene_FlushAndEnd();
    D3D9Call_Device_SetDialogBoxMode(flag);
    return 0;
}

}  // namespace Vantrel
