// Draw settings: the record, the reset to defaults, the draw area, blending, filtering, alpha test,
// brightness, address modes and the blend graph; the saving and restoring of the draw state and the
// draw-call bracket. The draw area keeps the draw-area viewport matrix and its inverse up to date
// for the transform pipeline; without a device the memory-image drawing is told every change.
// Stands on the graphics state records, the switch layer and the transform pipeline.
#include "graphics/VtGraphicsDrawSetting.h"

#include "foundation/VtLog.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsCamera.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics/VtGraphicsLight.h"
#include "graphics/VtGraphicsMask.h"
#include "graphics/VtGraphicsShadowMap.h"
#include "image/VtMemImg.h"
#include "system/VtSystem.h"

#include <stdarg.h>

namespace Vantrel {

DrawSettingsRecord DrawSettings;

namespace {

int Clamp(int value, int low, int high) { return value < low ? low : value > high ? high : value; }

}  // namespace

int Graphics_DrawSetting_ResetDefaults() {
    const RECT requested = DrawSettings.RequestedDrawArea;
    // A default light left from an earlier reset would be lost with the record.
    Graphics_Light_Delete(DrawSettings.DefaultLight);
    DrawSettings = {};
    DrawSettings.RequestedDrawArea = requested;
    for (DrawTargetSlot& slot : GraphicsScreenState.DrawTargets) slot = {};
    Graphics_Camera_ResetFields();

    for (int i = 0; i < 16; ++i) DrawSettings.AddressModeU[i] = DrawSettings.AddressModeV[i] = DrawSettings.AddressModeW[i] = 3;
    DrawSettings.BlendGraph = -1;
    DrawSettings.DepthNormal[2] = DrawSettings.Depth3D[2] = 4;
    DrawSettings.LightsChanged = 1;
    DrawSettings.StateChanged = 1;
    DrawSettings.DrawZ2D = 0.2f;
    DrawSettings.MaxAnisotropy = 1;
    DrawSettings.CullMode = 3;
    DrawSettings.AlphaTestMode = -1;
    Mask_ResetUseFlag();
    DrawSettings.DefaultLight = Graphics_Light_CreateDirectional({1.0f, -1.0f, 1.0f});

    Graphics_Image_ResetCreateDefaults();
    BaseImage_SetLoadUseTransparentColor(1);
    MemImg_SetBlendMode(0, 0);

    DrawSettings.DrawBright = 0x00FFFFFF;
    if (GraphicsSystemState.DeviceValid)
        Graphics_Dispatch_DiffuseColor_Refresh();
    else
        MemImg_SetDrawBright(0x00FFFFFF);

    DrawSettings.FogMode = 3;
    DrawSettings.FogColor = -1;
    DrawSettings.FogStart = 0.0f;
    DrawSettings.FogEnd = 1500.0f;
    if (GraphicsSystemState.DeviceValid) {
        Graphics_Dispatch_Fog_SetMode(3);
        Graphics_Dispatch_Fog_SetColor(0xFFFFFFFFu);
        Graphics_Dispatch_Fog_SetStartEnd(0.0f, 1500.0f);
    }

    GraphicsScreenState.DrawTargets[0] = {DRAW_SCREEN_BACK, 0, 0};
    SelectDrawScreen(DRAW_SCREEN_FRONT);

    Graphics_Camera_ResetFields();
    DrawSettings.MaterialDiffuse[0] = DrawSettings.MaterialDiffuse[1] = DrawSettings.MaterialDiffuse[2] = 0.8f;
    DrawSettings.MaterialDiffuse[3] = 1.0f;
    DrawSettings.MaterialSpecular[0] = DrawSettings.MaterialSpecular[1] = DrawSettings.MaterialSpecular[2] = 0.8f;
    DrawSettings.MaterialPower = 20.0f;
    DrawSettings.MaterialColorSource[0] = DrawSettings.MaterialColorSource[1] = 1;
    DrawSettings.MaterialColorSource[2] = DrawSettings.MaterialColorSource[3] = 0;
    DrawSettings.MaterialChanged = 1;
    DrawSettings.StateChanged = 1;
    return 0;
}

int Graphics_DrawSetting_SetDrawAreaRect(int left, int top, int right, int bottom) {
    Graphics_Dispatch_VertexBatch_Flush(0);
    DrawSettings.RequestedDrawArea = {left, top, right, bottom};
    // The back and front screens have the screen's size; the size-less codes -3 and -16 have none, so
    // their draw area is empty and draw calls draw nothing.
    const int target = GraphicsScreenState.DrawTargets[0].Handle;
    int width = 0, height = 0;
    if (target == DRAW_SCREEN_BACK || target == DRAW_SCREEN_FRONT) {
        GetMainScreenSize(&width, &height);
    } else if (target != -3 && target != -16) {
        const GraphHandleRecord* graph = Graphics_Image_GetGraphRecord(target, 0);
        const ShadowMapRecord* shadowMap = graph == nullptr ? Graphics_ShadowMap_GetHandleData(target, 0) : nullptr;
        if (graph != nullptr) {
            Graphics_Image_ComputeMipLevelSize(graph->Width, graph->Height, GraphicsScreenState.DrawTargets[0].MipLevel,
                                               &width, &height);
        } else if (shadowMap != nullptr) {
            width = shadowMap->Width;
            height = shadowMap->Height;
        } else {
            return -1;
        }
    }

    if (left > right) {
        const int swap = left;
        left = right;
        right = swap;
    }
    if (top > bottom) {
        const int swap = top;
        top = bottom;
        bottom = swap;
    }
    left = Clamp(left, 0, width);
    right = Clamp(right, 0, width);
    top = Clamp(top, 0, height);
    bottom = Clamp(bottom, 0, height);
    DrawSettings.DrawArea = {left, top, right, bottom};
    DrawSettings.DrawAreaF[0] = static_cast<float>(left);
    DrawSettings.DrawAreaF[1] = static_cast<float>(top);
    DrawSettings.DrawAreaF[2] = static_cast<float>(right);
    DrawSettings.DrawAreaF[3] = static_cast<float>(bottom);
    const int32_t memImgArea[4] = {left, top, right, bottom};
    MemImg_SetDrawArea(memImgArea);
    if (left == right || top == bottom) {
        DrawSettings.DrawAreaEmpty = 1;
        return 0;
    }
    DrawSettings.DrawAreaEmpty = 0;
    Graphics_Camera_SetDrawAreaViewport(left, top, right, bottom);
    if (GraphicsSystemState.DeviceValid) Graphics_Dispatch_DrawArea_Set();
    return 0;
}

int GetDrawAreaRect(RECT* rect) {
    if (rect == nullptr) return -1;
    *rect = DrawSettings.DrawArea;
    return 0;
}

int SetBlendModeAndParam(int blendMode, int param) {
    if (blendMode == DrawSettings.BlendMode && param == DrawSettings.BlendParam) return 0;
    Graphics_WaitWhileInactive();
    if (blendMode != DrawSettings.BlendMode) {
        DrawSettings.BlendMode = blendMode;
        DrawSettings.StateChanged = 1;
    }
    DrawSettings.BlendParam = Clamp(param, 0, 255);
    MemImg_SetBlendMode(blendMode, DrawSettings.BlendParam);
    if (GraphicsSystemState.DeviceValid) Graphics_Dispatch_DiffuseColor_Refresh();
    return 0;
}

int GetBlendModeAndParam(int* blendMode, int* param) {
    if (blendMode) *blendMode = DrawSettings.BlendMode;
    if (param) *param = DrawSettings.BlendParam;
    return 0;
}

int SetAlphaTestMode(int mode, int reference) {
    if (mode == DrawSettings.AlphaTestMode && reference == DrawSettings.AlphaTestParam) return 0;
    Graphics_WaitWhileInactive();
    DrawSettings.AlphaTestMode = mode;
    DrawSettings.StateChanged = 1;
    DrawSettings.AlphaTestParam = Clamp(reference, 0, 255);
    if (GraphicsSystemState.DeviceValid) Graphics_Dispatch_DiffuseColor_Refresh();
    return 0;
}

int SetDrawColorBrightness(int red, int green, int blue) {
    red = Clamp(red, 0, 255), green = Clamp(green, 0, 255), blue = Clamp(blue, 0, 255);
    const uint32_t bright = (static_cast<uint32_t>(red) << 16) | (static_cast<uint32_t>(green) << 8) | blue;
    if (bright == DrawSettings.DrawBright) return 0;
    DrawSettings.DrawBright = bright;
    if (GraphicsSystemState.DeviceValid)
        Graphics_Dispatch_DiffuseColor_Refresh();
    else
        MemImg_SetDrawBright(bright);
    return 0;
}

int SetTextureFilterMode(int mode) {
    if (mode == DrawSettings.DrawMode) return 0;
    DrawSettings.DrawMode = mode;
    DrawSettings.StateChanged = 1;
    if (GraphicsSystemState.DeviceValid) Graphics_Dispatch_DrawMode_Set(mode);
    return 0;
}

int SetDrawFogEnable(int flag) {
    if (flag == DrawSettings.FogEnable) return 0;
    Graphics_Dispatch_VertexBatch_Flush(0);
    DrawSettings.FogEnable = flag;
    DrawSettings.StateChanged = 1;
    if (GraphicsSystemState.DeviceValid) Graphics_Dispatch_Fog_SetEnable(flag);
    return 0;
}

int SetDepthTest3DFlag(int flag) {
    if (flag == DrawSettings.Depth3D[0]) return 0;
    Graphics_Dispatch_VertexBatch_Flush(0);
    DrawSettings.Depth3D[0] = flag;
    DrawSettings.StateChanged = 1;
    return 0;
}

int Graphics_DrawSetting_SetTextureAddressModesUVW(int u, int v, int w, int sampler) {
    int first = sampler, last = sampler;
    if (sampler == -1)
        first = 0, last = 15;
    else if (sampler < 0 || sampler > 15)
        return 0;
    bool same = true;
    for (int i = first; i <= last; ++i)
        same = same && DrawSettings.AddressModeU[i] == u && DrawSettings.AddressModeV[i] == v &&
               DrawSettings.AddressModeW[i] == w;
    if (same) return 0;
    Graphics_Dispatch_VertexBatch_Flush(0);
    for (int i = first; i <= last; ++i)
        DrawSettings.AddressModeU[i] = u, DrawSettings.AddressModeV[i] = v, DrawSettings.AddressModeW[i] = w;
    DrawSettings.StateChanged = 1;
    if (GraphicsSystemState.DeviceValid) Graphics_Dispatch_TextureAddressMode_Set(u, v, sampler);
    return 0;
}

int SetTextureAddressModes(int u, int v, int sampler) {
    // The W mode goes with the others: the mode of one sampler keeps its own W.
    const int w = sampler >= 0 && sampler <= 15 ? DrawSettings.AddressModeW[sampler] : DrawSettings.AddressModeW[0];
    if (sampler == -1) {
        bool same = true;
        for (int i = 0; i < 16; ++i) same = same && DrawSettings.AddressModeU[i] == u && DrawSettings.AddressModeV[i] == v;
        if (same) return 0;
        Graphics_Dispatch_VertexBatch_Flush(0);
        for (int i = 0; i < 16; ++i) DrawSettings.AddressModeU[i] = u, DrawSettings.AddressModeV[i] = v;
        DrawSettings.StateChanged = 1;
        if (GraphicsSystemState.DeviceValid) Graphics_Dispatch_TextureAddressMode_Set(u, v, sampler);
        return 0;
    }
    return Graphics_DrawSetting_SetTextureAddressModesUVW(u, v, w, sampler);
}

int SetLightingEnableFlag(int flag) {
    DrawSettings.LightingOff = flag == 0 ? 1 : 0;
    Graphics_Dispatch_Lighting_SetEnable(flag);
    DrawSettings.LightsChanged = 1;
    DrawSettings.StateChanged = 1;
    return 0;
}

int Graphics_DrawSetting_SetMaterialColorSource(int index, int fromVertex) {
    if (index < 0 || index > 3) {
        Log_AddTextShiftJIS("マテリアルの色の取得元の番号が範囲外です\n");
        return -1;
    }
    const int32_t value = fromVertex != 0;
    if (DrawSettings.MaterialColorSource[index] != value) {
        DrawSettings.MaterialColorSource[index] = value;
        DrawSettings.MaterialChanged = 1;
        DrawSettings.StateChanged = 1;
    }
    return 0;
}

int Graphics_DrawSetting_SetIgnoreTextureColor(int flag) {
    if (flag != DrawSettings.IgnoreTextureColor) {
        DrawSettings.IgnoreTextureColor = flag;
        DrawSettings.StateChanged = 1;
    }
    return 0;
}

int Graphics_DrawSetting_GetIgnoreTextureColor() { return DrawSettings.IgnoreTextureColor; }

int Graphics_DrawSetting_SetBlendGraph(int graph, int type, const int* params) {
    if (type > 2) return -1;
    GraphHandleRecord* record = nullptr;
    if (graph > 0) {
        record = Graphics_Image_GetGraphRecord(graph, 0);
        if (record == nullptr) return -1;
        DrawSettings.BlendGraph = graph;
    } else {
        DrawSettings.BlendGraph = -1;
    }
    Graphics_WaitWhileInactive();
    int passed[2] = {0, 0};
    if (record != nullptr && params != nullptr) {
        if (type == 0) {
            passed[0] = Clamp(params[0], 0, 255);
        } else if (type == 1) {
            DrawSettings.BlendGraphBorderParam = passed[0] = Clamp(params[0], 0, 255);
            DrawSettings.BlendGraphBorderRange = passed[1] = Clamp(params[1], 0, 255);
            if (!GraphicsSystemState.DeviceValid) MemImg_SetBlendGraphBorder(passed[0], passed[1]);
        }
    }
    if (GraphicsSystemState.DeviceValid)
        Graphics_Dispatch_BlendGraph_Setup(record, type, passed);
    else
        GraphicsSystemState.BlendGraphMemImg = record != nullptr ? &record->memImage : nullptr;
    return 0;
}

int SetBlendGraphPosition(int x, int y, int mode) {
    if (mode != 0 && mode != 1) {
        Log_AddTextShiftJIS("ブレンドグラフィックの位置の指定方法が範囲外です\n");
        return -1;
    }
    if (DrawSettings.BlendGraphX != x || DrawSettings.BlendGraphY != y || DrawSettings.BlendGraphPositionMode != mode) {
        DrawSettings.BlendGraphX = x;
        DrawSettings.BlendGraphY = y;
        DrawSettings.BlendGraphPositionMode = mode;
        DrawSettings.StateChanged = 1;
    }
    return 0;
}

int Graphics_DrawSetting_SetDrawAreaClipOff(int flag) {
    DrawSettings.DrawAreaClipOff = flag != 0;
    return 0;
}

int SetUseReverseDepth(int flag) {
    DrawSettings.ReverseDepth = flag != 0;
    return 0;
}

int SetBlendGraphParams(int graph, int type, ...) {
    if (type > 2) return -1;
    int params[2] = {0, 0};
    va_list args;
    va_start(args, type);
    if (type == 0) params[0] = va_arg(args, int);
    if (type == 1) params[0] = va_arg(args, int), params[1] = va_arg(args, int);
    va_end(args);
    return Graphics_DrawSetting_SetBlendGraph(graph, type, params);
}

int SetBlendGraphTwoParam(int graph, int param1, int param2) { return SetBlendGraphParams(graph, 1, param1, param2); }

// ---- Saving and restoring ----

int Graphics_DrawSetting_SaveState(DrawStateSnapshot* out) {
    *out = {};
    out->HardwareRendering = IsHardwareRenderingActive();
    for (int i = 0; i < 4; ++i) out->BackgroundColor[i] = GraphicsScreenState.BackgroundColor[i];
    out->BlendMode = DrawSettings.BlendMode;
    out->BlendParam = DrawSettings.BlendParam;
    out->DrawMode = DrawSettings.DrawMode;
    out->WaitVSync = GetWaitVSyncEnable();
    out->DrawTarget = GraphicsScreenState.DrawTargets[0].Handle;
    out->View = GraphicsTransform.View;
    out->Projection = GraphicsTransform.Projection;
    out->Viewport3D = GraphicsTransform.Viewport3D;
    out->World = GraphicsTransform.World;
    out->ProjectionType = GraphicsTransform.ProjectionType;
    out->FieldOfView = GraphicsTransform.FieldOfView;
    out->OrthoSize = GraphicsTransform.OrthoSize;
    out->Near = GraphicsTransform.Near;
    out->Far = GraphicsTransform.Far;
    out->AspectScale = GraphicsTransform.AspectScale;
    out->UserProjection = GraphicsTransform.ProjectionSource;
    out->DrawArea[0] = DrawSettings.DrawArea.left, out->DrawArea[1] = DrawSettings.DrawArea.top;
    out->DrawArea[2] = DrawSettings.DrawArea.right, out->DrawArea[3] = DrawSettings.DrawArea.bottom;
    for (int i = 0; i < 16; ++i) {
        out->AddressModeU[i] = DrawSettings.AddressModeU[i];
        out->AddressModeV[i] = DrawSettings.AddressModeV[i];
        out->AddressModeW[i] = DrawSettings.AddressModeW[i];
    }
    out->MaxAnisotropy = DrawSettings.MaxAnisotropy;
    out->FillWord = DrawSettings.FillWord;
    return 0;
}

int Graphics_DrawSetting_RestoreState(const DrawStateSnapshot* state) {
    for (int i = 0; i < 4; ++i) GraphicsScreenState.BackgroundColor[i] = state->BackgroundColor[i];
    GraphicsScreenState.BackgroundColorSet = 1;
    SetBlendModeAndParam(state->BlendMode, state->BlendParam);
    if (state->DrawMode != DrawSettings.DrawMode) {
        DrawSettings.DrawMode = state->DrawMode;
        if (GraphicsSystemState.DeviceValid) Graphics_Dispatch_DrawMode_Set(state->DrawMode);
    }
    if (!LibraryCore.Initialised || GraphicsSystemState.WaitVSyncChangeable) SetWaitVSyncEnable(state->WaitVSync);
    SelectDrawScreen(state->DrawTarget);
    if (!LibraryCore.Initialised) GraphicsSystemState.SoftwareOnly = state->HardwareRendering == 0 ? 1 : 0;
    Graphics_DrawSetting_SetDrawAreaRect(state->DrawArea[0], state->DrawArea[1], state->DrawArea[2], state->DrawArea[3]);
    SetWorldTransformMatrix(&state->World);
    SetViewTransformMatrix(&state->View);
    if (state->ProjectionType == 0)
        Graphics_Camera_SetPerspective(state->FieldOfView);
    else if (state->ProjectionType == 1)
        Graphics_Camera_SetOrthographic(state->OrthoSize);
    else
        Graphics_Camera_SetUserProjectionMatrix(&state->UserProjection);
    Graphics_Camera_RefreshProjection();
    Graphics_Camera_SetNearFar(state->Near, state->Far);
    Graphics_Camera_RefreshProjection();
    Graphics_Camera_SetAspectScale(state->AspectScale);
    Graphics_Camera_RefreshProjection();
    Graphics_Camera_SetViewportMatrix(&state->Viewport3D);
    // The W mode is restored with U and V, so a saved state comes back whole.
    for (int i = 0; i < 16; ++i)
        Graphics_DrawSetting_SetTextureAddressModesUVW(state->AddressModeU[i], state->AddressModeV[i],
                                                       state->AddressModeW[i], i);
    if (state->FillWord != DrawSettings.FillWord) DrawSettings.FillWord = state->FillWord;
    if (state->MaxAnisotropy != DrawSettings.MaxAnisotropy) {
        DrawSettings.MaxAnisotropy = state->MaxAnisotropy;
        Graphics_Dispatch_MaxAnisotropy_Set(state->MaxAnisotropy);
    }
    return 0;
}

// ---- The draw-call bracket ----

int Graphics_DrawSetting_DrawBegin(int graph) {
    if (!LibraryCore.Initialised || !GraphicsSystemState.Initialised) return -1;
    if (DrawSettings.DrawAreaEmpty) return 0;
    Graphics_WaitWhileInactive();
    if (graph >= 0 && Graphics_Image_GetGraphRecord(graph, 0) == nullptr) return -1;
    if (DrawSettings.BlendGraph > 0 && Graphics_Image_GetGraphRecord(DrawSettings.BlendGraph, 0) == nullptr)
        DrawSettings.BlendGraph = -1;
    if (GraphicsSystemState.DeviceValid && !GraphicsTransform.Projection2DSet) Graphics_Camera_Setup2DMatrix();
    return 1;
}

int Graphics_DrawSetting_NeedsSubBlendEmulation(int graph) {
    if (DrawSettings.BlendMode != 3 || GraphicsSystemState.SubtractiveBlendSupported) return 0;
    const GraphHandleRecord* record = Graphics_Image_GetGraphRecord(graph, 0);
    return record != nullptr && record->Orig->format.hardware ? 1 : 0;
}

namespace {

uint32_t SavedBright;
int SavedBlendParam;

// White fill of the rectangle with mode 3 at full strength: on a device without subtraction this
// inverts the destination.
void InvertRect(const RECT* rect) {
    SetBlendModeAndParam(3, 255);
    Graphics_Dispatch_DrawFillRect(rect->left, rect->top, rect->right, rect->bottom, MakeColorCode(255, 255, 255));
}

}  // namespace

int Graphics_DrawSetting_SubBlendEmulateBegin(const RECT* rect) {
    SavedBright = DrawSettings.DrawBright;
    SavedBlendParam = DrawSettings.BlendParam;
    SetDrawColorBrightness(255, 255, 255);
    InvertRect(rect);
    SetDrawColorBrightness((SavedBright >> 16) & 0xFF, (SavedBright >> 8) & 0xFF, SavedBright & 0xFF);
    SetBlendModeAndParam(5, SavedBlendParam);
    return 0;
}

int Graphics_DrawSetting_SubBlendEmulateEnd(const RECT* rect) {
    const uint32_t bright = DrawSettings.DrawBright;
    SetDrawColorBrightness(255, 255, 255);
    InvertRect(rect);
    SetDrawColorBrightness((bright >> 16) & 0xFF, (bright >> 8) & 0xFF, bright & 0xFF);
    SetBlendModeAndParam(3, SavedBlendParam);
    return 0;
}

}  // namespace Vantrel
