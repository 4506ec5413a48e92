// The Direct3D 9 shader-constant manager on the real device: a table of writes, resets and layer
// selections with the value every register resolves to and what went to the device (counted through the
// wrappers); the use areas of a layer; and the copies kept without programmable shaders.
#include <gtest/gtest.h>

#include "D3D9TestSupport.h"

using namespace Vantrel;
using namespace D3D9Test;

namespace {

enum Op { Write, WriteNoUse, Reset, Select };

// One step on vertex float registers 4 to 7: the operation (layer, first register, count, value or mask),
// then the device's values of registers 4 to 7 afterwards, the SetVertexShaderConstantF calls it made and
// the registers they sent.
struct Step {
    const char* What;
    Op Operation;
    int Layer, First, Count;
    float Value;
    int Mask;
    float Device[4];
    uint32_t Calls, Registers;
};

const Step Steps[] = {
    {"layer 0 writes 4-7", Write, 0, 4, 4, 1, 0, {1, 1, 1, 1}, 1, 4},
    {"the same values again reach nothing", Write, 0, 4, 4, 1, 0, {1, 1, 1, 1}, 0, 0},
    {"layer 1 inactive: stored only", Write, 1, 5, 2, 2, 0, {1, 1, 1, 1}, 0, 0},
    {"layers 0 and 1: exactly layer 1's registers go out", Select, 0, 0, 0, 0, 3, {1, 2, 2, 1}, 1, 2},
    {"layer 0 under layer 1: only its own registers change", Write, 0, 4, 4, 3, 0, {3, 2, 2, 3}, 1, 4},
    {"layer 1 gives 5 back to layer 0", Reset, 1, 5, 1, 0, 0, {3, 3, 2, 3}, 1, 1},
    {"layer 0 alone: 6 goes back to layer 0", Select, 0, 0, 0, 0, 1, {3, 3, 3, 3}, 1, 1},
    {"layer 3 inactive: stored only", Write, 3, 7, 1, 9, 0, {3, 3, 3, 3}, 0, 0},
    {"layers 0 and 3 (user shaders)", Select, 0, 0, 0, 0, 9, {3, 3, 3, 9}, 1, 1},
    {"layer 3 gives 7 back", Reset, 3, 7, 1, 0, 0, {3, 3, 3, 3}, 1, 1},
    {"a write without use area is not selected", WriteNoUse, 1, 4, 1, 5, 0, {3, 3, 3, 3}, 0, 0},
    {"layers 0 and 1 again: only 6 is layer 1's", Select, 0, 0, 0, 0, 3, {3, 3, 2, 3}, 1, 1},
    {"layer 0 gives up 4-7: nobody below, the device keeps them", Reset, 0, 4, 4, 0, 0, {3, 3, 2, 3}, 0, 0},
    {"the same mask again does nothing", Select, 0, 0, 0, 0, 3, {3, 3, 2, 3}, 0, 0},
};

class D3D9ShaderConstants_ : public BackEndTest {};

float DeviceValue(int reg) {
    float value;
    memcpy(&value, D3D9ShaderConstants.DeviceCopy[D3D9CONST_VERTEX_FLOAT].Values + reg * 16, sizeof(value));
    return value;
}

}  // namespace

TEST_F(D3D9ShaderConstants_, LayersAndMasksResolveEachRegisterAndOnlyChangesAreSent) {
    D3D9ShaderConstantManager& manager = D3D9ShaderConstants;
    for (const Step& step : Steps) {
        SCOPED_TRACE(step.What);
        D3D9Call_ResetDeviceCallCounts();
        float values[4][4];
        for (auto& row : values)
            for (float& v : row) v = step.Value;
        switch (step.Operation) {
            case Write:
            case WriteNoUse:
                ASSERT_EQ(Graphics_D3D9_ShaderConstant_SetValues(&manager, D3D9CONST_VERTEX_FLOAT, step.Layer, step.First,
                                                                 values, step.Count, step.Operation == Write),
                          0);
                break;
            case Reset:
                ASSERT_EQ(Graphics_D3D9_ShaderConstant_ResetArea(&manager, D3D9CONST_VERTEX_FLOAT, step.Layer, step.First,
                                                                 step.Count),
                          0);
                break;
            case Select: ASSERT_EQ(Graphics_D3D9_ShaderConstant_SelectLayers(&manager, step.Mask), 0); break;
        }
        for (int reg = 4; reg < 8; ++reg) EXPECT_EQ(DeviceValue(reg), step.Device[reg - 4]) << reg;
        EXPECT_EQ(DeviceCalls(D3D9CALL_SetVertexShaderConstantF), step.Calls);
        EXPECT_EQ(D3D9CallState.ConstantRegistersSent[D3D9CONST_VERTEX_FLOAT], step.Registers);
        // Every register's value is its supplier's.
        for (int reg = 4; reg < 8; ++reg)
            EXPECT_EQ(memcmp(Graphics_D3D9_ShaderConstant_SuppliedValue(&manager, D3D9CONST_VERTEX_FLOAT, reg),
                             manager.DeviceCopy[D3D9CONST_VERTEX_FLOAT].Values + reg * 16, 16),
                      0)
                << reg;
    }
    // Nothing outside the sets' registers is taken.
    float four[4] = {};
    EXPECT_EQ(Graphics_D3D9_ShaderConstant_SetValues(&manager, D3D9CONST_PIXEL_FLOAT, 0, 223, four, 2, 1), -1);
    EXPECT_EQ(Graphics_D3D9_ShaderConstant_SetValues(&manager, D3D9CONST_VERTEX_BOOL, 4, 0, four, 1, 1), -1);
    EXPECT_EQ(Graphics_D3D9_ShaderConstant_SetValues(&manager, 6, 0, 0, four, 1, 1), -1);
}

TEST_F(D3D9ShaderConstants_, IntegerAndBooleanSetsGoOutAsTheirOwnCalls) {
    D3D9ShaderConstantManager& manager = D3D9ShaderConstants;
    const BOOL flags[3] = {TRUE, FALSE, TRUE};
    const int numbers[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(Graphics_D3D9_ShaderConstant_SetValues(&manager, D3D9CONST_PIXEL_BOOL, 0, 13, flags, 3, 1), 0);
    ASSERT_EQ(Graphics_D3D9_ShaderConstant_SetValues(&manager, D3D9CONST_VERTEX_INT, 0, 14, numbers, 2, 1), 0);
    EXPECT_EQ(DeviceCalls(D3D9CALL_SetPixelShaderConstantB), 1u);
    EXPECT_EQ(DeviceCalls(D3D9CALL_SetVertexShaderConstantI), 1u);
    // Booleans are 4 bytes a register, packed.
    EXPECT_EQ(memcmp(manager.DeviceCopy[D3D9CONST_PIXEL_BOOL].Values + 13 * 4, flags, sizeof(flags)), 0);
    EXPECT_EQ(memcmp(manager.DeviceCopy[D3D9CONST_VERTEX_INT].Values + 14 * 16, numbers, sizeof(numbers)), 0);
    // The state refresh sends every register of every set again, equal or not.
    D3D9Call_ResetDeviceCallCounts();
    ASSERT_EQ(Graphics_D3D9_StateCache_RefreshAll(), 0);
    const uint32_t everything[D3D9CONST_SET_COUNT] = {256, 16, 16, 224, 16, 16};
    for (int set = 0; set < D3D9CONST_SET_COUNT; ++set) EXPECT_GE(D3D9CallState.ConstantRegistersSent[set], everything[set]) << set;
    EXPECT_EQ(D3D9DeviceStateCache.Force, 0);
}

TEST_F(D3D9ShaderConstants_, WithoutProgrammableShadersCopiesAreKeptButNothingIsSent) {
    GraphicsSystemState.ShadersUsable = 0;
    const float value[4] = {4, 3, 2, 1};
    ASSERT_EQ(Graphics_D3D9_ShaderConstant_SetValues(&D3D9ShaderConstants, D3D9CONST_PIXEL_FLOAT, 0, 20, value, 1, 1), 0);
    EXPECT_EQ(AllDeviceCalls(), 0u);
    EXPECT_EQ(memcmp(D3D9ShaderConstants.DeviceCopy[D3D9CONST_PIXEL_FLOAT].Values + 20 * 16, value, 16), 0);
    EXPECT_EQ(D3D9ShaderConstants.Supplier[D3D9CONST_PIXEL_FLOAT][20], 0);
}

TEST(D3D9ShaderConstantUseAreas, RangesMergeSplitAndDisappear) {
    struct Case {
        int Add, First, Count;
        std::vector<std::pair<int, int>> Expected;
    };
    const Case cases[] = {
        {1, 10, 5, {{10, 15}}},
        {1, 20, 2, {{10, 15}, {20, 22}}},
        {1, 15, 5, {{10, 22}}},                 // touching both: one range
        {1, 0, 0, {{10, 22}}},                  // a count of 0 changes nothing
        {0, 12, 3, {{10, 12}, {15, 22}}},       // a hole splits it
        {1, 2, 3, {{2, 5}, {10, 12}, {15, 22}}},
        {0, 0, 11, {{11, 12}, {15, 22}}},
        {1, 11, 5, {{11, 22}}},
        {0, 11, 11, {}},
        {1, 255, 1, {{255, 256}}},
    };
    D3D9ShaderConstantLayer layer = {};
    for (const Case& c : cases) {
        Graphics_D3D9_ShaderConstant_UpdateUseArea(&layer, c.Add, c.First, c.Count);
        std::vector<std::pair<int, int>> areas;
        for (int i = 0; i < layer.UseAreaCount; ++i) areas.push_back({layer.UseAreas[i][0], layer.UseAreas[i][1]});
        EXPECT_EQ(areas, c.Expected) << c.Add << " " << c.First << " " << c.Count;
    }
}

TEST(D3D9ShaderConstantUseAreas, WithoutADeviceValuesAreStoredButLayersCannotChange) {
    D3D9ShaderConstantManager& manager = D3D9ShaderConstants;
    Graphics_D3D9_ShaderConstant_Initialize(&manager);
    EXPECT_EQ(Graphics_D3D9_ShaderConstant_SelectLayers(&manager, 1), -1);
    const float value[4] = {1, 2, 3, 4};
    EXPECT_EQ(Graphics_D3D9_ShaderConstant_SetValues(&manager, D3D9CONST_VERTEX_FLOAT, 0, 0, value, 1, 1), 0);
    EXPECT_EQ(memcmp(manager.Layers[D3D9CONST_VERTEX_FLOAT][0].Values, value, 16), 0);
    EXPECT_EQ(Graphics_D3D9_ShaderConstant_Upload(&manager, D3D9CONST_VERTEX_FLOAT, 0, value, 1), -1);
    EXPECT_EQ(manager.Supplier[D3D9CONST_VERTEX_FLOAT][0], D3D9ConstantNoSupplier);
}
