// Draw settings: the draw state every draw call works with: blend mode and parameter, filter,
// alpha test, brightness, fog, address modes, the blend graph, the draw area (with the draw-area
// viewport matrices of the transform pipeline), the reset to defaults at module start, the saving
// and restoring of the whole draw state, and the bracket every draw call runs inside.
// Stands on the graphics state records, the switch layer and the transform pipeline.
#pragma once

#include <stdint.h>
#include <windows.h>

#include "graphics/VtMatrix.h"

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
    // Where the lit colours come from: diffuse, specular, ambient, emissive; 1 = the vertex colour
    // (diffuse from colour 0, specular from colour 1), 0 = the material.
    int32_t MaterialColorSource[4];
    int32_t LightsChanged;
    int32_t DefaultLight;
    int32_t StateChanged;
    int32_t PremultipliedAlpha;         // graphs hold premultiplied colour: blend mode 0 blends as such
    int32_t BlendGraphX, BlendGraphY;   // where the blend graph lies
    int32_t BlendGraphPositionMode;     // 0: relative to the drawn graph; 1: screen coordinates
    int32_t DrawAreaClipOff;            // graph draws are not clamped into the draw area
    int32_t ReverseDepth;               // depth runs from 1 (near) to 0: the depth buffer clears to 0
};

extern DrawSettingsRecord DrawSettings;

int Graphics_DrawSetting_ResetDefaults();
// Orders and clamps the rectangle to the draw target; -1 when slot 0 holds no usable target (the
// request is stored anyway).
int Graphics_DrawSetting_SetDrawAreaRect(int left, int top, int right, int bottom);
int GetDrawAreaRect(RECT* rect);
int SetBlendModeAndParam(int blendMode, int param);
int GetBlendModeAndParam(int* blendMode, int* param);

// The whole draw state as saved and restored around drawing that must leave it as it found it.
struct DrawStateSnapshot {
    int32_t HardwareRendering;
    int32_t Reserved;
    int32_t BackgroundColor[4];
    int32_t BlendMode;
    int32_t BlendParam;
    int32_t DrawMode;
    int32_t WaitVSync;
    int32_t DrawTarget;
    MatrixD View;
    MatrixD Projection;
    MatrixD Viewport3D;
    MatrixD World;
    int32_t ProjectionType;
    double FieldOfView;
    double OrthoSize;
    double Near;
    double Far;
    double AspectScale;
    MatrixD UserProjection;
    int32_t DrawArea[4];
    int32_t AddressModeU[16];
    int32_t AddressModeV[16];
    int32_t AddressModeW[16];
    int32_t MaxAnisotropy;
    int32_t FillWord;
};

int Graphics_DrawSetting_SaveState(DrawStateSnapshot* out);
int Graphics_DrawSetting_RestoreState(const DrawStateSnapshot* state);

int SetAlphaTestMode(int mode, int reference);
int SetDrawColorBrightness(int red, int green, int blue);
int SetTextureFilterMode(int mode);
int SetDrawFogEnable(int flag);
int SetDepthTest3DFlag(int flag);
// u, v (and w) for one sampler 0-15, or every sampler for -1; any other sampler changes nothing.
int SetTextureAddressModes(int u, int v, int sampler);
int Graphics_DrawSetting_SetTextureAddressModesUVW(int u, int v, int w, int sampler);
int SetLightingEnableFlag(int flag);
// Takes one lit colour (0 diffuse, 1 specular, 2 ambient, 3 emissive) from the vertex colour (1) or
// from the material (0); the back-ends send it with the material. -1 for another index.
int Graphics_DrawSetting_SetMaterialColorSource(int index, int fromVertex);
int Graphics_DrawSetting_SetIgnoreTextureColor(int flag);
int Graphics_DrawSetting_GetIgnoreTextureColor();
// The blend graph: a graph (> 0) combined with draws by type 0 to 2, or none (<= 0); -1 for a dead
// graph or a type above 2.
int Graphics_DrawSetting_SetBlendGraph(int graph, int type, const int* params);
int SetBlendGraphParams(int graph, int type, ...);
int SetBlendGraphTwoParam(int graph, int param1, int param2);
// Where the blend graph lies: mode 0 moves it by (x, y) against the drawn graph's top-left; mode 1
// puts its top-left at screen position (x, y). -1 for another mode.
int SetBlendGraphPosition(int x, int y, int mode);
// 1: graph draws are not clamped into the draw area (the device still cuts at its edges).
int Graphics_DrawSetting_SetDrawAreaClipOff(int flag);
// 1: depth runs from 1 (near) to 0, and clearing the depth buffer writes 0.
int SetUseReverseDepth(int flag);

// The draw-call bracket. Begin: -1 before the library starts, 0 for an empty draw area (draw
// nothing), 1 to draw; it waits while the window is inactive, finishes pending loads of the graph
// and of the blend graph (a dead graph gives -1) and sets the 2D projection up on a device.
int Graphics_DrawSetting_DrawBegin(int graph);
// Whether a draw of a device texture in the current blend mode needs the subtraction emulation.
int Graphics_DrawSetting_NeedsSubBlendEmulation(int graph);
int Graphics_DrawSetting_SubBlendEmulateBegin(const RECT* rect);
int Graphics_DrawSetting_SubBlendEmulateEnd(const RECT* rect);

}  // namespace Vantrel
