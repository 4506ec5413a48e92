// Shadow maps: depth render targets drawn from a directional light's point of view. The handle record
// carries the light's axes, its view, orthographic projection and view-projection matrices, the two
// shader parameters, the blur strength, the box the light must cover and, while the map is drawn, the
// draw state to put back; three shadow-map slots feed the back-ends' lit shaders.
// Stands on the handle manager, matrix math, the camera, the draw settings, the mask module, the
// graph filters, the lights and the switch layer.
#pragma once

#include <stdint.h>

#include "foundation/VtHandle.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtMatrix.h"

namespace Vantrel {

// The draw state saved when drawing into a shadow map starts, put back when it ends.
struct ShadowMapSavedDrawState {
    DrawTargetSlot RenderTargets[8];
    int32_t MaskUse;
    int32_t FogEnable;
    VectorD CameraEye;
    VectorD CameraTarget;
    VectorD CameraUp;
    double CameraAngles[3];             // horizontal, vertical, twist
    MatrixD View;
    double ScreenCentre[2];
    int32_t ProjectionType;
    double ProjectionParams[5];         // field of view, orthographic size, near, far, aspect scale
    MatrixD Projection;                 // the user projection matrix
};

struct ShadowMapRecord {
    HandleHeader Header;
    int32_t* LostNotify;                // set to 1 when the handle is deleted
    int32_t AreaMode;                   // non-zero: corners A
    VectorF AreaCornersA[8];
    VectorF AreaCornersB[8];
    int32_t Drawing;                    // the shadow map is the draw target
    MatrixF LightView;
    MatrixF LightProjection;
    MatrixF LightViewProjection;
    float ShaderParam1;
    int32_t BlurStrength;               // 0: no blur
    float ShaderParam2;
    VectorF LightDirection;             // as last given
    MatrixF LightRotation;
    ShadowMapSavedDrawState Saved;
    int32_t Width;                      // size of the depth texture
    int32_t Height;
    void* Platform;                     // the back-end's depth texture and views (PlatformArea)
    void* PlatformArea[8];
};

struct ShadowMapSlotsRecord {
    int32_t Handles[3];                 // 0: none
    int32_t Count;
    int32_t DrawingHandle;              // the shadow map being drawn
    int32_t Drawing;                    // 1 while a shadow map is drawn
};

extern ShadowMapSlotsRecord ShadowMapSlots;

// The record of a live shadow-map handle (its load finished first unless noWait), else null.
ShadowMapRecord* Graphics_ShadowMap_GetHandleData(int shadowMap, int noWait);
void Graphics_ShadowMap_HandleRecord_Initialize(HandleHeader* record);
int Graphics_ShadowMap_HandleRecord_Terminate(HandleHeader* record);
int Graphics_ShadowMap_SetLightDirection(int shadowMap, VectorF direction);
int Graphics_ShadowMap_FitLightMatrices(ShadowMapRecord* record);
// Starts drawing into the shadow map: the draw state is saved, the drawing flags set and the light's
// matrices fitted and made the camera's. 0, or -1 for a dead handle or while one is being drawn.
int Graphics_ShadowMap_BeginDraw(int shadowMap);
int Graphics_ShadowMap_EndDraw();
// Puts a shadow map into slot 0-2 (0 empties it). 0 / -1.
int Graphics_ShadowMap_SetSlot(int slot, int shadowMap);

}  // namespace Vantrel
