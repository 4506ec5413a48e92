// Lights: the graphics core's own table of 4096 light records named by handles of type 11 (kept
// outside the handle manager), the default directional light of the draw settings, and the refresh
// that packs every enabled light into consecutive device light slots (directional, spot, point) and
// sends what changed through the switch layer.
// Stands on the allocator, the log, the draw settings, vector math and the switch layer.
#pragma once

#include <stdint.h>

#include "graphics/VtMatrix.h"

namespace Vantrel {

enum : int {
    LIGHT_TYPE_POINT = 1,
    LIGHT_TYPE_SPOT = 2,
    LIGHT_TYPE_DIRECTIONAL = 3,
};

// Laid out as the Direct3D 9 light record; both back-ends take it unchanged.
struct LightParams {
    int32_t Type;
    float Diffuse[4];
    float Specular[4];
    float Ambient[4];
    float Position[3];
    float Direction[3];
    float Range;
    float Falloff;
    float Attenuation0;
    float Attenuation1;
    float Attenuation2;
    float Theta;
    float Phi;
};

struct LightRecord {
    int32_t CheckValue;                 // 0-254
    int32_t Handle;
    LightParams Params;
    int32_t DeviceSlot;                 // device light index of the last refresh, -1 before it
    int32_t Enabled;
    int32_t Changed;                    // the parameters must be sent again
    int32_t ShadowMapFlags[3];          // one per shadow-map slot
};

constexpr int Light_MaxCount = 4096;
constexpr int Light_DeviceSlotCount = 256;

struct LightStateRecord {
    LightRecord* Table[Light_MaxCount];
    int32_t Count;
    int32_t EndIndex;                   // one past the highest slot in use
    int32_t NextCheckValue;
    int32_t ForceResend;                // set by the back-ends after a device re-creation
    int32_t SlotMap[Light_DeviceSlotCount];   // device slot -> table index
    int32_t SlotCount;
    int32_t LastSlot;                   // -1 for none
};

extern LightStateRecord LightState;

// A new light with default parameters, switched on; its handle, or -1 (table full, no memory).
int Graphics_Light_New();
// A directional light along `direction` (normalised; a zero direction points down +z). Handle or -1.
int Graphics_Light_CreateDirectional(VectorF direction);
int Graphics_Light_Delete(int light);
// Every live light except the default light.
int Graphics_Light_DeleteAll();
int Graphics_Light_RefreshDeviceLights();

// The record of a live light, null otherwise.
LightRecord* Graphics_Light_GetRecord(int light);
// Parameters and switch of a live light; 0, or -1 for a light that is not live.
int Graphics_Light_SetParams(int light, const LightParams* params);
int Graphics_Light_GetParams(int light, LightParams* out);
int Graphics_Light_SetEnable(int light, int flag);
// 1 on, 0 off, -1 for a light that is not live.
int Graphics_Light_GetEnable(int light);

}  // namespace Vantrel
