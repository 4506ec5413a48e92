// Draw settings: the record, the reset to defaults, the draw area and the blend mode. The draw
// area keeps the draw-area viewport matrix and its inverse up to date for the transform pipeline.
// Stands on the graphics state records, the switch layer and the transform pipeline.
#include "graphics/VtGraphicsDrawSetting.h"

#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsCamera.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDrawTarget.h"

namespace Vantrel {

DrawSettingsRecord DrawSettings;

namespace {

int Clamp(int value, int low, int high) { return value < low ? low : value > high ? high : value; }

}  // namespace

int Graphics_DrawSetting_ResetDefaults() {
    const RECT requested = DrawSettings.RequestedDrawArea;
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

    DrawSettings.DrawBright = 0x00FFFFFF;
    if (GraphicsSystemState.DeviceValid) Graphics_Dispatch_DiffuseColor_Refresh();

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
    if (target == DRAW_SCREEN_BACK || target == DRAW_SCREEN_FRONT)
        GetMainScreenSize(&width, &height);
    else if (target != -3 && target != -16)
        return -1;

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
    if (GraphicsSystemState.DeviceValid) Graphics_Dispatch_DiffuseColor_Refresh();
    return 0;
}

int GetBlendModeAndParam(int* blendMode, int* param) {
    if (blendMode) *blendMode = DrawSettings.BlendMode;
    if (param) *param = DrawSettings.BlendParam;
    return 0;
}

}  // namespace Vantrel
