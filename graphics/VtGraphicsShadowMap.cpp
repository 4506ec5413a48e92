// Shadow maps: the record's defaults, the light axes from a direction, fitting the light's view and
// orthographic projection around the area it must cover, starting and ending drawing into a shadow
// map (with the draw state saved and put back and the blur afterwards), the slots and the end of a
// handle.
// Stands on the handle manager, matrix math, the camera, the draw settings, the mask module, the
// graph filters, the lights and the switch layer.
#include "graphics/VtGraphicsShadowMap.h"

#include <initializer_list>

#include "foundation/VtLog.h"
#include "graphics/VtGraphFilter.h"
#include "graphics/VtGraphicsCamera.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics/VtGraphicsLight.h"
#include "graphics/VtGraphicsMask.h"
#include "graphics/VtGraphicsShader.h"

namespace Vantrel {

ShadowMapSlotsRecord ShadowMapSlots = {{0, 0, 0}, 0, 0, 0};

namespace {

VectorF Cross(const VectorF& a, const VectorF& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// The light's axes from a direction, into the 3 x 3 of the view and rotation matrices (the axes in
// the columns); element 15 of both is 1, so the view is a whole matrix before any fit.
void SetAxes(ShadowMapRecord* record, VectorF direction) {
    const VectorF z = VectorNormalize(direction);
    VectorF x = Cross({0.0f, 1.0f, 0.0f}, z);
    if (VectorDot(x, x) <= 1e-7f) x = Cross({1.0f, 0.0f, 0.0f}, z);
    const VectorF y = VectorNormalize(Cross(z, x));
    x = VectorNormalize(x);
    for (MatrixF* m : {&record->LightView, &record->LightRotation}) {
        m->m[0][0] = x.x, m->m[1][0] = x.y, m->m[2][0] = x.z;
        m->m[0][1] = y.x, m->m[1][1] = y.y, m->m[2][1] = y.z;
        m->m[0][2] = z.x, m->m[1][2] = z.y, m->m[2][2] = z.z;
        m->m[3][3] = 1.0f;
    }
    record->LightDirection = direction;
    if (record->Drawing) Graphics_ShadowMap_FitLightMatrices(record);
}

}  // namespace

ShadowMapRecord* Graphics_ShadowMap_GetHandleData(int shadowMap, int noWait) {
    return reinterpret_cast<ShadowMapRecord*>(Graphics_Shader_GetTypedRecord(shadowMap, HandleType_ShadowMap, noWait));
}

void Graphics_ShadowMap_HandleRecord_Initialize(HandleHeader* header) {
    ShadowMapRecord* record = reinterpret_cast<ShadowMapRecord*>(header);
    record->Platform = record->PlatformArea;
    record->ShaderParam1 = 0.002f;
    record->BlurStrength = 0;
    record->ShaderParam2 = 0.0007f;
    record->LightRotation.m[3][3] = 1.0f;
    record->LightProjection.m[3][3] = 1.0f;
    MakeProductMatrix(&record->LightViewProjection, &record->LightView, &record->LightProjection);
    SetAxes(record, {0.0f, -1.0f, 0.0f});
}

int Graphics_ShadowMap_SetLightDirection(int shadowMap, VectorF direction) {
    ShadowMapRecord* record = Graphics_ShadowMap_GetHandleData(shadowMap, 0);
    if (record == nullptr) return -1;
    SetAxes(record, direction);
    return 0;
}

int Graphics_ShadowMap_Make(int width, int height, int bitDepth, int floatFlag) {
    if (width < 1 || height < 1 || width > 16384 || height > 16384) {
        Log_AddFormatShiftJIS("シャドウマップのサイズが不正です  SizeX:%d  SizeY:%d \n", width, height);
        return -1;
    }
    if (bitDepth != 16 && bitDepth != 32) {
        Log_AddFormatShiftJIS("シャドウマップのビット深度は 16 か 32 です  BitDepth:%d \n", bitDepth);
        return -1;
    }
    if (!GraphicsSystemState.DeviceValid) {
        Log_AddTextShiftJIS("シャドウマップはハードウエアアクセラレータが使えない状態では作成できません\n");
        return -1;
    }
    const int handle = Handle_New(HandleType_ShadowMap, 0, -1);
    if (handle < 0) return -1;
    ShadowMapRecord* record = Graphics_ShadowMap_GetHandleData(handle, 1);
    record->Width = width;
    record->Height = height;
    record->BitDepth = bitDepth;
    record->FloatFlag = floatFlag != 0;
    if (Graphics_Dispatch_ShadowMap_CreateTextures(record, nullptr) < 0) {
        Handle_Delete(handle, 0, 0);
        return -1;
    }
    return handle;
}

int Graphics_ShadowMap_Delete(int shadowMap) {
    if (Graphics_ShadowMap_GetHandleData(shadowMap, 1) == nullptr) return -1;
    return Handle_Delete(shadowMap, 0, 0);
}

int Graphics_ShadowMap_SetArea(int shadowMap, VectorF corner1, VectorF corner2) {
    ShadowMapRecord* record = Graphics_ShadowMap_GetHandleData(shadowMap, 0);
    if (record == nullptr) return -1;
    for (int i = 0; i < 8; ++i)
        record->AreaCornersB[i] = {(i & 1) ? corner2.x : corner1.x, (i & 2) ? corner2.y : corner1.y,
                                   (i & 4) ? corner2.z : corner1.z};
    record->AreaMode = 0;
    if (record->Drawing) Graphics_ShadowMap_FitLightMatrices(record);
    return 0;
}

int Graphics_ShadowMap_FitLightMatrices(ShadowMapRecord* record) {
    VectorF low = {1e8f, 1e8f, 1e8f}, high = {-1e8f, -1e8f, -1e8f};
    const VectorF* corners = record->AreaMode != 0 ? record->AreaCornersA : record->AreaCornersB;
    for (int i = 0; i < 8; ++i) {
        VectorF p;
        TransformVectorRotScale(&p, &corners[i], &record->LightRotation);
        low = {p.x < low.x ? p.x : low.x, p.y < low.y ? p.y : low.y, p.z < low.z ? p.z : low.z};
        high = {p.x > high.x ? p.x : high.x, p.y > high.y ? p.y : high.y, p.z > high.z ? p.z : high.z};
    }
    record->LightView.m[3][0] = -((high.x + low.x) * 0.5f);
    record->LightView.m[3][1] = -((high.y + low.y) * 0.5f);
    record->LightView.m[3][2] = -low.z;
    record->LightView.m[3][3] = 1.0f;
    // An area of no extent along an axis keeps that scale as it was (no division by zero).
    if (high.x > low.x) record->LightProjection.m[0][0] = 2.0f / (high.x - low.x);
    if (high.y > low.y) record->LightProjection.m[1][1] = 2.0f / (high.y - low.y);
    if (high.z > low.z) record->LightProjection.m[2][2] = 1.0f / (high.z - low.z);
    MakeProductMatrix(&record->LightViewProjection, &record->LightView, &record->LightProjection);
    // The lit shaders of a slot holding this map see the light as it now stands.
    for (int slot = 0; slot < 3; ++slot)
        if (ShadowMapSlots.Handles[slot] == record->Header.Handle) {
            Graphics_Dispatch_ShadowMap_RefreshLightMatrices();
            break;
        }

    Graphics_Camera_SetViewMatrixF(&record->LightView);
    MatrixD projection;
    ConvertMatrixFToD(&projection, &record->LightProjection);
    Graphics_Camera_SetUserProjectionMatrix(&projection);
    return 0;
}

int Graphics_ShadowMap_BeginDraw(int shadowMap) {
    if (ShadowMapSlots.Drawing) return -1;
    ShadowMapRecord* record = Graphics_ShadowMap_GetHandleData(shadowMap, 0);
    if (record == nullptr) return -1;
    ShadowMapSavedDrawState& saved = record->Saved;
    for (int i = 0; i < 8; ++i) saved.RenderTargets[i] = GraphicsScreenState.DrawTargets[i];
    saved.MaskUse = GetMaskScreenUseFlag();
    saved.FogEnable = DrawSettings.FogEnable;
    const GraphicsTransformRecord& t = GraphicsTransform;
    saved.CameraEye = t.CameraEye, saved.CameraTarget = t.CameraTarget, saved.CameraUp = t.CameraUp;
    saved.CameraAngles[0] = t.CameraHorizontal, saved.CameraAngles[1] = t.CameraVertical, saved.CameraAngles[2] = t.CameraTwist;
    saved.View = t.View;
    saved.ScreenCentre[0] = t.Viewport3D.m[3][0], saved.ScreenCentre[1] = t.Viewport3D.m[3][1];
    saved.ProjectionType = t.ProjectionType;
    saved.ProjectionParams[0] = t.FieldOfView, saved.ProjectionParams[1] = t.OrthoSize;
    saved.ProjectionParams[2] = t.Near, saved.ProjectionParams[3] = t.Far, saved.ProjectionParams[4] = t.AspectScale;
    saved.Projection = t.ProjectionSource;

    record->Drawing = 1;
    ShadowMapSlots.Drawing = 1;
    ShadowMapSlots.DrawingHandle = shadowMap;
    // Only depth is drawn: no mask, no fog, no further render targets. What fails from here on is
    // undone by the end of drawing, which puts all of it back.
    SetMaskScreenUse(0);
    SetDrawFogEnable(0);
    for (int i = 1; i < 8; ++i)
        if (GraphicsScreenState.DrawTargets[i].Handle != -1) SetShaderRenderTarget(i, -1, 0, 0);
    // Without a device there is no shadow map to draw into (none can be made then): only the light's
    // matrices and the camera follow.
    if (GraphicsSystemState.DeviceValid) {
        if (Graphics_Screen_SelectShadowMap(shadowMap) < 0) {
            Graphics_ShadowMap_EndDraw();
            return -1;
        }
        // A new pass starts with nothing in front of the light: colour and depth at the far end (1.0).
        int32_t* background = GraphicsScreenState.BackgroundColor;
        const int32_t colour[4] = {background[0], background[1], background[2], background[3]};
        background[0] = background[1] = background[2] = background[3] = 255;
        Graphics_Dispatch_DrawScreen_Clear(nullptr);
        for (int i = 0; i < 4; ++i) background[i] = colour[i];
    }
    Graphics_ShadowMap_FitLightMatrices(record);
    return 0;
}

int Graphics_ShadowMap_EndDraw() {
    if (!ShadowMapSlots.Drawing) return -1;
    ShadowMapRecord* record = Graphics_ShadowMap_GetHandleData(ShadowMapSlots.DrawingHandle, 0);
    if (record == nullptr) {
        ShadowMapSlots.Drawing = 0;
        return -1;
    }
    if (!record->Drawing) return -1;
    record->Drawing = 0;
    ShadowMapSlots.Drawing = 0;
    const int shadowMap = ShadowMapSlots.DrawingHandle;
    ShadowMapSlots.DrawingHandle = 0;

    const ShadowMapSavedDrawState& saved = record->Saved;
    for (int i = 0; i < 8; ++i) {
        const DrawTargetSlot& target = saved.RenderTargets[i];
        // A draw target deleted while the shadow map was drawn gives way to the back screen, so that
        // drawing never goes on landing in the shadow map.
        if (SetShaderRenderTarget(i, target.Handle, target.Surface, target.MipLevel) < 0 && i == 0)
            SelectDrawScreen(DRAW_SCREEN_BACK);
    }
    SetMaskScreenUse(saved.MaskUse);
    SetDrawFogEnable(saved.FogEnable);
    GraphicsTransformRecord& t = GraphicsTransform;
    t.CameraEye = saved.CameraEye, t.CameraTarget = saved.CameraTarget, t.CameraUp = saved.CameraUp;
    t.CameraHorizontal = saved.CameraAngles[0], t.CameraVertical = saved.CameraAngles[1], t.CameraTwist = saved.CameraAngles[2];
    SetViewTransformMatrix(&saved.View);
    Graphics_Camera_SetScreenCentre(saved.ScreenCentre[0], saved.ScreenCentre[1]);
    t.ProjectionType = saved.ProjectionType;
    t.FieldOfView = saved.ProjectionParams[0], t.OrthoSize = saved.ProjectionParams[1];
    t.Near = saved.ProjectionParams[2], t.Far = saved.ProjectionParams[3], t.AspectScale = saved.ProjectionParams[4];
    t.ProjectionSource = saved.Projection;
    Graphics_Camera_ApplyProjectionMatrix(&saved.Projection);

    Graphics_Dispatch_ShadowMap_DrawEndHook();
    if (record->BlurStrength > 0) FilterGraph(shadowMap, GraphFilter_KindGauss, 8, record->BlurStrength);
    return 0;
}

ShadowMapRecord* Graphics_ShadowMap_SlotRecord(int slot) {
    if (slot < 0 || slot >= 3) return nullptr;
    const int handle = ShadowMapSlots.Handles[slot];
    return handle == 0 ? nullptr : Graphics_ShadowMap_GetHandleData(handle, 0);
}

int Graphics_ShadowMap_SetSlot(int slot, int shadowMap) {
    if (slot < 0 || slot > 2) return -1;
    if (shadowMap != 0 && Graphics_ShadowMap_GetHandleData(shadowMap, 0) == nullptr) return -1;
    if ((ShadowMapSlots.Handles[slot] != 0) != (shadowMap != 0)) ShadowMapSlots.Count += shadowMap != 0 ? 1 : -1;
    ShadowMapSlots.Handles[slot] = shadowMap;
    Graphics_Dispatch_ShadowMap_SetSlot(slot, shadowMap);
    Graphics_Dispatch_ShadowMap_RefreshLightMatrices();
    Graphics_Dispatch_ShadowMap_RefreshSlotParams();
    return 0;
}

int Graphics_ShadowMap_SetLightUse(int light, int slot, int flag) {
    LightRecord* record = Graphics_Light_GetRecord(light);
    if (record == nullptr || slot < 0 || slot > 2) return -1;
    record->ShadowMapFlags[slot] = flag != 0;
    Graphics_Dispatch_ShadowMap_RefreshSlotParams();
    return 0;
}

int Graphics_ShadowMap_HandleRecord_Terminate(HandleHeader* header) {
    ShadowMapRecord* record = reinterpret_cast<ShadowMapRecord*>(header);
    for (int slot = 0; slot < 3; ++slot) {
        if (ShadowMapSlots.Handles[slot] != header->Handle) continue;
        ShadowMapSlots.Count--;
        ShadowMapSlots.Handles[slot] = 0;
        Graphics_Dispatch_ShadowMap_SetSlot(slot, 0);
        Graphics_Dispatch_ShadowMap_RefreshLightMatrices();
        Graphics_Light_RefreshDeviceLights();
        Graphics_Dispatch_ShadowMap_RefreshSlotParams();
    }
    if (record->Drawing) Graphics_ShadowMap_EndDraw();
    if (record->Platform != nullptr) Graphics_Dispatch_ShadowMap_ReleaseTextures(record);
    if (record->LostNotify != nullptr) *record->LostNotify = 1;
    return 0;
}

}  // namespace Vantrel
