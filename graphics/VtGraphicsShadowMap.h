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
    int32_t BitDepth;                   // 16 or 32 bits of depth per texel
    int32_t FloatFlag;                  // 16 bits: half floats rather than integers
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

// A new shadow map of width x height texels (1 to 16384 each) holding 16 or 32 bits of depth (with 16,
// half floats when floatFlag is set), its device objects made at once: the handle, or -1 with a log
// line for bad sizes or depths and without a device (nothing is left behind then).
int Graphics_ShadowMap_Make(int width, int height, int bitDepth, int floatFlag);
int Graphics_ShadowMap_Delete(int shadowMap);
// The box the light must cover, from its two opposite corners (in either order). 0 / -1.
int Graphics_ShadowMap_SetArea(int shadowMap, VectorF corner1, VectorF corner2);

// The record of a live shadow-map handle (its load finished first unless noWait), else null.
ShadowMapRecord* Graphics_ShadowMap_GetHandleData(int shadowMap, int noWait);
void Graphics_ShadowMap_HandleRecord_Initialize(HandleHeader* record);
int Graphics_ShadowMap_HandleRecord_Terminate(HandleHeader* record);
int Graphics_ShadowMap_SetLightDirection(int shadowMap, VectorF direction);
int Graphics_ShadowMap_FitLightMatrices(ShadowMapRecord* record);
// Starts drawing into the shadow map: the draw state is saved, the drawing flags set, the mask, the fog
// and render targets 1-7 switched off, the shadow map made the draw target (its depth and colour set to
// the far end) and the light's matrices fitted and made the camera's (without a device only the
// matrices and the camera). 0, or -1 for a dead handle, one the back-end cannot bind, or while one is
// being drawn.
int Graphics_ShadowMap_BeginDraw(int shadowMap);
// Ends drawing into the shadow map: the saved draw state comes back (the back screen when the saved
// draw target is gone), then the blur when one is set. 0, or -1 when nothing is being drawn.
int Graphics_ShadowMap_EndDraw();
// Puts a shadow map into slot 0-2 (0 empties it). 0 / -1.
int Graphics_ShadowMap_SetSlot(int slot, int shadowMap);
// The record of the shadow map in slot 0-2, null for an empty slot, a dead handle or another slot.
ShadowMapRecord* Graphics_ShadowMap_SlotRecord(int slot);
// Whether a light is shadowed by the shadow map of slot 0-2 (a new light is not). 0 / -1.
int Graphics_ShadowMap_SetLightUse(int light, int slot, int flag);

}  // namespace Vantrel
