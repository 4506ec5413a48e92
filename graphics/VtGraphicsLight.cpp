// Lights: the table of light records, handle checks, creation with the defaults, deletion with the
// end-index upkeep, and the refresh of the device light slots.
// Stands on the allocator, the log, the draw settings, vector math and the switch layer.
#include "graphics/VtGraphicsLight.h"

#include "foundation/VtBaseFunc.h"
#include "foundation/VtHandle.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDrawSetting.h"

namespace Vantrel {

LightStateRecord LightState = {{}, 0, 0, 0, 0, {}, 0, -1};

namespace {

void MarkChanged() {
    DrawSettings.LightsChanged = 1;
    DrawSettings.StateChanged = 1;
}

void SetDefaults(LightParams* p) {
    *p = {};
    for (int i = 0; i < 4; ++i) {
        p->Diffuse[i] = 1.0f;
        p->Specular[i] = 1.0f;
        p->Ambient[i] = 0.33f;
    }
    p->Range = 2000.0f;
    p->Falloff = 1.0f;
    p->Attenuation0 = 0.1f;
    p->Theta = 2.0f;
    p->Phi = 2.0f;
}

void DeleteAt(int index) {
    LightState.Count--;
    Memory_Free(LightState.Table[index]);
    LightState.Table[index] = nullptr;
    if (index == LightState.EndIndex - 1) {
        int end = index;
        while (end > 0 && LightState.Table[end - 1] == nullptr) --end;
        LightState.EndIndex = end;
    }
    MarkChanged();
}

}  // namespace

LightRecord* Graphics_Light_GetRecord(int light) {
    if (light < 0 || Handle_TypeOf(light) != HandleType_Light) return nullptr;
    const int index = Handle_SlotOf(light);
    if (index >= Light_MaxCount) return nullptr;
    LightRecord* record = LightState.Table[index];
    if (record == nullptr || (record->CheckValue << HandleValue_CheckShift) != (light & HandleValue_CheckMask))
        return nullptr;
    return record;
}

int Graphics_Light_New() {
    int index = LightState.EndIndex;
    if (index >= Light_MaxCount) {
        // The search for a free slot stops at the table's end: a full table gives no light.
        for (index = 0; index < Light_MaxCount && LightState.Table[index] != nullptr; ++index) {}
        if (index >= Light_MaxCount) {
            Log_AddTextShiftJIS("ライトハンドルの数が上限に達しました\n");
            return -1;
        }
    }
    LightRecord* record = static_cast<LightRecord*>(Memory_AllocateZeroed(sizeof(LightRecord), __FILE__, __LINE__));
    if (record == nullptr) {
        Log_AddTextShiftJIS("ライト用のメモリの確保に失敗しました\n");
        return -1;
    }
    LightState.Table[index] = record;
    SetDefaults(&record->Params);
    record->DeviceSlot = -1;
    record->CheckValue = LightState.NextCheckValue;
    LightState.NextCheckValue = LightState.NextCheckValue + 1 >= HandleValue_CheckLimit ? 0 : LightState.NextCheckValue + 1;
    record->Handle = Handle_MakeValue(HandleType_Light, record->CheckValue, index);
    LightState.Count++;
    if (index == LightState.EndIndex) LightState.EndIndex++;
    Graphics_Light_SetEnable(record->Handle, 1);
    return record->Handle;
}

int Graphics_Light_CreateDirectional(VectorF direction) {
    const int light = Graphics_Light_New();
    LightRecord* record = Graphics_Light_GetRecord(light);
    if (record == nullptr) return -1;
    record->Params.Type = LIGHT_TYPE_DIRECTIONAL;
    const float squared = VectorDot(direction, direction);
    // A direction of no length has none to keep: the light then shines down +z, never NaN.
    if (!(squared > 0.0f) || !(squared < 3.0e38f)) {
        direction = {0.0f, 0.0f, 1.0f};
    } else {
        const float length = BaseFunc_Sqrt(squared);
        direction = {direction.x / length, direction.y / length, direction.z / length};
    }
    record->Params.Direction[0] = direction.x;
    record->Params.Direction[1] = direction.y;
    record->Params.Direction[2] = direction.z;
    return light;
}

int Graphics_Light_Delete(int light) {
    if (Graphics_Light_GetRecord(light) == nullptr) return -1;
    DeleteAt(Handle_SlotOf(light));
    return 0;
}

int Graphics_Light_DeleteAll() {
    for (int index = 0; index < LightState.EndIndex; ++index) {
        const LightRecord* record = LightState.Table[index];
        if (record == nullptr || record->Handle == DrawSettings.DefaultLight) continue;
        DeleteAt(index);
    }
    return 0;
}

int Graphics_Light_SetParams(int light, const LightParams* params) {
    LightRecord* record = Graphics_Light_GetRecord(light);
    if (record == nullptr || params == nullptr) return -1;
    record->Params = *params;
    record->Changed = 1;
    MarkChanged();
    return 0;
}

int Graphics_Light_GetParams(int light, LightParams* out) {
    const LightRecord* record = Graphics_Light_GetRecord(light);
    if (record == nullptr || out == nullptr) return -1;
    *out = record->Params;
    return 0;
}

int Graphics_Light_SetEnable(int light, int flag) {
    LightRecord* record = Graphics_Light_GetRecord(light);
    if (record == nullptr) return -1;
    const int enabled = flag != 0 ? 1 : 0;
    if (record->Enabled == enabled) return 0;
    record->Enabled = enabled;
    if (enabled) record->Changed = 1;
    MarkChanged();
    return 0;
}

int Graphics_Light_GetEnable(int light) {
    const LightRecord* record = Graphics_Light_GetRecord(light);
    return record == nullptr ? -1 : record->Enabled;
}

int Graphics_Light_RefreshDeviceLights() {
    LightStateRecord& state = LightState;
    Graphics_Dispatch_Lighting_SetEnable(DrawSettings.LightingOff == 0 ? 1 : 0);
    if (!DrawSettings.LightsChanged && !state.ForceResend) return 0;

    const int previousLast = state.LastSlot;
    state.SlotCount = 0;
    state.LastSlot = -1;
    int slot = 0;
    static const int TypeOrder[3] = {LIGHT_TYPE_DIRECTIONAL, LIGHT_TYPE_SPOT, LIGHT_TYPE_POINT};
    for (int type : TypeOrder) {
        int seen = 0;
        for (int index = 0; index < Light_MaxCount && seen < state.Count; ++index) {
            LightRecord* record = state.Table[index];
            if (record == nullptr) continue;
            ++seen;
            if (!record->Enabled || record->Params.Type != type) continue;
            if (slot < Light_DeviceSlotCount) state.SlotMap[slot] = index;
            if (record->DeviceSlot != slot || record->Changed || state.ForceResend) {
                record->DeviceSlot = slot;
                record->Changed = 0;
                Graphics_Dispatch_Light_SetParam(slot, &record->Params);
                Graphics_Dispatch_Light_SetEnable(slot, 1);
            }
            state.LastSlot = slot;
            ++slot;
            state.SlotCount = slot;
        }
    }
    for (int i = state.LastSlot + 1; i <= previousLast; ++i) Graphics_Dispatch_Light_SetEnable(i, 0);
    DrawSettings.LightsChanged = 0;
    state.ForceResend = 0;
    DrawSettings.StateChanged = 1;
    Graphics_Dispatch_ShadowMap_RefreshSlotParams();
    return 0;
}

}  // namespace Vantrel
