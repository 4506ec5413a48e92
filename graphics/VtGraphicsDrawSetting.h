// Draw settings: the draw state every draw call works with. For now it holds the blend mode and
// parameter, the draw brightness, fog, address modes, the draw area (with the draw-area viewport
// matrices of the transform pipeline) and the reset to defaults at module start.
// Stands on the graphics state records, the switch layer and the transform pipeline.
#pragma once

#include <stdint.h>
#include <windows.h>

namespace Vantrel {

struct DrawSettingsRecord {
    int32_t DepthNormal[4];             // test on, write on, compare function, bias
    int32_t Depth3D[4];
    int32_t DrawAreaEmpty;
    int32_t CullMode;
    int32_t FillWord;
    int32_t AddressModeU[16];
    int32_t AddressModeV[16];
    int32_t AddressModeW[16];
    int32_t FogEnable;
    int32_t FogMode;
    int32_t FogColor;
    float FogStart;
    float FogEnd;
    float DrawZ2D;
    int32_t DrawMode;
    int32_t MaxAnisotropy;
    int32_t DrawTargetFlag;
    int32_t BlendMode;
    int32_t BlendParam;
    int32_t BlendFactor[7];
    int32_t BlendGraph;
    int32_t BlendGraphBorderParam;
    int32_t BlendGraphBorderRange;
    int32_t AlphaTestMode;
    int32_t AlphaTestParam;
    uint32_t DrawBright;                // blue in the low byte, then green, red
    int32_t ColorAdd[3];
    int32_t IgnoreTextureColor;
    RECT RequestedDrawArea;
    RECT DrawArea;
    float DrawAreaF[4];
    int32_t LightingOff;
    int32_t MaterialChanged;
    float MaterialDiffuse[4];
    float MaterialAmbient[4];
    float MaterialSpecular[4];
    float MaterialEmissive[4];
    float MaterialPower;
    int32_t LightsChanged;
    int32_t DefaultLight;
    int32_t StateChanged;
};

extern DrawSettingsRecord DrawSettings;

int Graphics_DrawSetting_ResetDefaults();
// Orders and clamps the rectangle to the draw target; -1 when slot 0 holds no usable target (the
// request is stored anyway).
int Graphics_DrawSetting_SetDrawAreaRect(int left, int top, int right, int bottom);
int GetDrawAreaRect(RECT* rect);
int SetBlendModeAndParam(int blendMode, int param);
int GetBlendModeAndParam(int* blendMode, int* param);

}  // namespace Vantrel
