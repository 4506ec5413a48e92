// Lights: the default light of the draw settings, set, enable, query and delete through every slot of
// the table, the light past the table's end, check values, the end index and the packing of enabled
// lights into device slots (directional, then spot, then point, each in table order).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "DrawTargetFixture.h"
#include "foundation/VtHandle.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsLight.h"

using namespace Vantrel;
using DrawTargetTesting::NoDeviceTest;

namespace {

class LightTest : public NoDeviceTest {};

int LiveCount() {
    int count = 0;
    for (LightRecord* record : LightState.Table) count += record != nullptr ? 1 : 0;
    return count;
}

}  // namespace

TEST_F(LightTest, TheDefaultLightShinesAlongOneMinusOneOneAndSurvivesDeleteAll) {
    const int light = DrawSettings.DefaultLight;
    const LightRecord* record = Graphics_Light_GetRecord(light);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(Handle_TypeOf(light), HandleType_Light);
    EXPECT_EQ(Handle_SlotOf(light), 0);
    const float k = 1.0f / std::sqrt(3.0f);
    EXPECT_EQ(record->Params.Type, LIGHT_TYPE_DIRECTIONAL);
    EXPECT_NEAR(record->Params.Direction[0], k, 1e-6f);
    EXPECT_NEAR(record->Params.Direction[1], -k, 1e-6f);
    EXPECT_NEAR(record->Params.Direction[2], k, 1e-6f);
    EXPECT_FLOAT_EQ(record->Params.Ambient[0], 0.33f);
    EXPECT_FLOAT_EQ(record->Params.Range, 2000.0f);
    EXPECT_FLOAT_EQ(record->Params.Attenuation0, 0.1f);
    EXPECT_EQ(record->DeviceSlot, -1);
    EXPECT_EQ(Graphics_Light_GetEnable(light), 1);

    for (int i = 0; i < 5; ++i) ASSERT_GE(Graphics_Light_New(), 0);
    EXPECT_EQ(Graphics_Light_DeleteAll(), 0);
    EXPECT_EQ(LightState.Count, 1);
    EXPECT_EQ(LiveCount(), 1);
    EXPECT_EQ(LightState.EndIndex, 1);
    EXPECT_NE(Graphics_Light_GetRecord(light), nullptr);
}

TEST_F(LightTest, EverySlotSetsEnablesQueriesAndDeletesAndTheOnePastTheEndIsRefused) {
    std::vector<int> lights = {DrawSettings.DefaultLight};
    for (int i = 1; i < Light_MaxCount; ++i) {
        const int light = Graphics_Light_New();
        ASSERT_GE(light, 0) << i;
        ASSERT_EQ(Handle_SlotOf(light), i);
        lights.push_back(light);
    }
    EXPECT_EQ(LightState.Count, Light_MaxCount);
    // The table is full: the next light is refused (logged), nothing else changes.
    EXPECT_EQ(Graphics_Light_New(), -1);
    EXPECT_EQ(Graphics_Light_CreateDirectional({0, 1, 0}), -1);
    EXPECT_EQ(LightState.Count, Light_MaxCount);

    for (int i = 0; i < Light_MaxCount; ++i) {
        const int light = lights[i];
        LightParams params = {};
        params.Type = LIGHT_TYPE_POINT;
        params.Position[0] = static_cast<float>(i);
        params.Range = 10.0f + i;
        ASSERT_EQ(Graphics_Light_SetParams(light, &params), 0);
        ASSERT_EQ(Graphics_Light_SetEnable(light, i % 2), 0);
    }
    for (int i = 0; i < Light_MaxCount; ++i) {
        LightParams params;
        ASSERT_EQ(Graphics_Light_GetParams(lights[i], &params), 0);
        ASSERT_EQ(params.Position[0], static_cast<float>(i));
        ASSERT_EQ(params.Range, 10.0f + i);
        ASSERT_EQ(Graphics_Light_GetEnable(lights[i]), i % 2);
    }
    // A refresh packs the 2048 enabled lights; only the first 256 slots are mapped.
    ASSERT_EQ(Graphics_Light_RefreshDeviceLights(), 0);
    EXPECT_EQ(LightState.SlotCount, Light_MaxCount / 2);
    EXPECT_EQ(LightState.LastSlot, Light_MaxCount / 2 - 1);
    for (int n = 0; n < Light_DeviceSlotCount; ++n) ASSERT_EQ(LightState.SlotMap[n], 2 * n + 1);
    EXPECT_EQ(Graphics_Light_GetRecord(lights[4095])->DeviceSlot, 2047);

    // A free slot in the middle is found once the end index is at the table's end.
    ASSERT_EQ(Graphics_Light_Delete(lights[100]), 0);
    EXPECT_EQ(Graphics_Light_Delete(lights[100]), -1);
    EXPECT_EQ(Graphics_Light_SetEnable(lights[100], 1), -1);
    EXPECT_EQ(Graphics_Light_GetEnable(lights[100]), -1);
    const int again = Graphics_Light_New();
    ASSERT_GE(again, 0);
    EXPECT_EQ(Handle_SlotOf(again), 100);
    EXPECT_NE(again, lights[100]) << "a stale handle must not name the new light";
    lights[100] = again;

    for (int i = Light_MaxCount - 1; i >= 1; --i) ASSERT_EQ(Graphics_Light_Delete(lights[i]), 0) << i;
    EXPECT_EQ(LightState.Count, 1);
    EXPECT_EQ(LightState.EndIndex, 1);
    EXPECT_EQ(Graphics_Light_Delete(0x12345678), -1);
    EXPECT_EQ(Graphics_Light_Delete(-1), -1);
}

TEST_F(LightTest, CheckValuesWrapAfter255AndTheHighestSlotIsReused) {
    const int first = Graphics_Light_New();
    ASSERT_GE(first, 0);
    const int base = Handle_CheckOf(first);
    ASSERT_EQ(Graphics_Light_Delete(first), 0);
    int last = -1;
    for (int i = 1; i <= 255; ++i) {
        last = Graphics_Light_New();
        ASSERT_GE(last, 0);
        EXPECT_EQ(Handle_CheckOf(last), (base + i) % 255);
        EXPECT_EQ(Handle_SlotOf(last), 1) << "the highest slot, freed, is used again";
        ASSERT_EQ(Graphics_Light_Delete(last), 0);
    }
}

TEST_F(LightTest, AZeroDirectionGivesADefinedDirection) {
    const int light = Graphics_Light_CreateDirectional({0, 0, 0});
    LightParams params;
    ASSERT_EQ(Graphics_Light_GetParams(light, &params), 0);
    for (float value : params.Direction) EXPECT_FALSE(std::isnan(value));
    EXPECT_EQ(params.Direction[2], 1.0f);
    EXPECT_EQ(Graphics_Light_Delete(light), 0);
}

TEST_F(LightTest, RefreshPacksDirectionalLightsFirstAndSwitchesFreedSlotsOff) {
    const int directional = Graphics_Light_CreateDirectional({0, -1, 0});
    const int point = Graphics_Light_New();
    LightParams params;
    ASSERT_EQ(Graphics_Light_GetParams(point, &params), 0);
    params.Type = LIGHT_TYPE_POINT;
    ASSERT_EQ(Graphics_Light_SetParams(point, &params), 0);
    ASSERT_EQ(Graphics_Light_RefreshDeviceLights(), 0);
    EXPECT_EQ(Graphics_Light_GetRecord(DrawSettings.DefaultLight)->DeviceSlot, 0);
    EXPECT_EQ(Graphics_Light_GetRecord(directional)->DeviceSlot, 1);
    EXPECT_EQ(Graphics_Light_GetRecord(point)->DeviceSlot, 2);
    EXPECT_EQ(LightState.LastSlot, 2);
    EXPECT_EQ(DrawSettings.LightsChanged, 0);

    ASSERT_EQ(Graphics_Light_Delete(directional), 0);
    EXPECT_EQ(DrawSettings.LightsChanged, 1);
    ASSERT_EQ(Graphics_Light_RefreshDeviceLights(), 0);
    EXPECT_EQ(Graphics_Light_GetRecord(point)->DeviceSlot, 1);
    EXPECT_EQ(LightState.SlotCount, 2);
    EXPECT_EQ(LightState.SlotMap[1], Handle_SlotOf(point));

    // Nothing changed: the refresh only sets the lighting switch.
    Graphics_Light_GetRecord(point)->DeviceSlot = 7;
    ASSERT_EQ(Graphics_Light_RefreshDeviceLights(), 0);
    EXPECT_EQ(Graphics_Light_GetRecord(point)->DeviceSlot, 7);
    LightState.ForceResend = 1;
    ASSERT_EQ(Graphics_Light_RefreshDeviceLights(), 0);
    EXPECT_EQ(Graphics_Light_GetRecord(point)->DeviceSlot, 1);
    EXPECT_EQ(LightState.ForceResend, 0);
    EXPECT_EQ(Graphics_Light_Delete(point), 0);
}
