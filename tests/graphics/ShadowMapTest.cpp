// Shadow maps: the light axes from a direction, the fit of the light's matrices around the area it
// covers (a whole view matrix, element 15 included), drawing into a shadow map putting the camera back
// afterwards, the slots, the end of a handle, and what is refused without a device.
#include <gtest/gtest.h>

#include "DrawTargetFixture.h"
#include "foundation/VtHandle.h"
#include "graphics/VtGraphicsCamera.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsLight.h"
#include "graphics/VtGraphicsShadowMap.h"

using namespace Vantrel;
using DrawTargetTesting::NoDeviceTest;

namespace {

class ShadowMapTest : public NoDeviceTest {
protected:
    int NewShadowMap() { return Handle_New(HandleType_ShadowMap, 0, -1); }
};

// The axes stand in the columns of the 3 x 3.
void ExpectAxes(const MatrixF& m, VectorF x, VectorF y, VectorF z) {
    const float expected[3][3] = {{x.x, y.x, z.x}, {x.y, y.y, z.y}, {x.z, y.z, z.z}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(m.m[r][c], expected[r][c], 1e-6f) << r << ", " << c;
}

}  // namespace

TEST_F(ShadowMapTest, LightAxesFollowTheDirectionAndTheViewIsAWholeMatrix) {
    const int map = NewShadowMap();
    ShadowMapRecord* record = Graphics_ShadowMap_GetHandleData(map, 0);
    ASSERT_NE(record, nullptr);
    EXPECT_FLOAT_EQ(record->ShaderParam1, 0.002f);
    EXPECT_FLOAT_EQ(record->ShaderParam2, 0.0007f);
    EXPECT_EQ(record->BlurStrength, 0);
    ExpectAxes(record->LightView, {0, 0, -1}, {1, 0, 0}, {0, -1, 0});
    ExpectAxes(record->LightRotation, {0, 0, -1}, {1, 0, 0}, {0, -1, 0});
    EXPECT_EQ(record->LightView.m[3][3], 1.0f);
    EXPECT_EQ(record->LightRotation.m[3][3], 1.0f);
    EXPECT_EQ(record->LightProjection.m[3][3], 1.0f);

    ASSERT_EQ(Graphics_ShadowMap_SetLightDirection(map, {2, 0, 0}), 0);
    ExpectAxes(record->LightView, {0, 0, -1}, {0, 1, 0}, {1, 0, 0});
    EXPECT_EQ(record->LightDirection.x, 2.0f);
    EXPECT_EQ(Graphics_ShadowMap_SetLightDirection(map + 1, {1, 0, 0}), -1);
    EXPECT_EQ(Handle_Delete(map, 0, 0), 0);
}

TEST_F(ShadowMapTest, FittingCoversTheAreaAndDrawingPutsTheCameraBack) {
    const int map = NewShadowMap();
    ShadowMapRecord* record = Graphics_ShadowMap_GetHandleData(map, 0);
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(Graphics_ShadowMap_SetLightDirection(map, {0, 0, 1}), 0);
    int i = 0;
    for (float x : {-10.0f, 10.0f})
        for (float y : {0.0f, 5.0f})
            for (float z : {2.0f, 12.0f}) record->AreaCornersB[i++] = {x, y, z};

    const MatrixD viewBefore = GraphicsTransform.View;
    const int typeBefore = GraphicsTransform.ProjectionType;
    EXPECT_EQ(Graphics_ShadowMap_EndDraw(), -1) << "nothing is being drawn";
    ASSERT_EQ(Graphics_ShadowMap_BeginDraw(map), 0);
    EXPECT_EQ(Graphics_ShadowMap_BeginDraw(map), -1);
    EXPECT_NEAR(record->LightView.m[3][0], 0.0f, 1e-6f);
    EXPECT_NEAR(record->LightView.m[3][1], -2.5f, 1e-6f);
    EXPECT_NEAR(record->LightView.m[3][2], -2.0f, 1e-6f);
    EXPECT_EQ(record->LightView.m[3][3], 1.0f);
    EXPECT_NEAR(record->LightProjection.m[0][0], 0.1f, 1e-6f);
    EXPECT_NEAR(record->LightProjection.m[1][1], 0.4f, 1e-6f);
    EXPECT_NEAR(record->LightProjection.m[2][2], 0.1f, 1e-6f);
    // The camera looks through the light; a point on the area's near centre lands at the origin.
    EXPECT_EQ(GraphicsTransform.ProjectionType, PROJECTION_USER);
    EXPECT_NEAR(GraphicsTransform.View.m[3][1], -2.5, 1e-6);
    EXPECT_EQ(GraphicsTransform.View.m[3][3], 1.0);
    VectorF out;
    const VectorF nearCentre = {0.0f, 2.5f, 2.0f};
    TransformVector(&out, &nearCentre, &record->LightViewProjection);
    EXPECT_NEAR(out.x, 0.0f, 1e-6f);
    EXPECT_NEAR(out.y, 0.0f, 1e-6f);
    EXPECT_NEAR(out.z, 0.0f, 1e-6f);

    ASSERT_EQ(Graphics_ShadowMap_EndDraw(), 0);
    EXPECT_EQ(record->Drawing, 0);
    EXPECT_EQ(GraphicsTransform.ProjectionType, typeBefore);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_EQ(GraphicsTransform.View.m[r][c], viewBefore.m[r][c]);
    EXPECT_EQ(Graphics_ShadowMap_EndDraw(), -1);
    EXPECT_EQ(Handle_Delete(map, 0, 0), 0);
}

TEST_F(ShadowMapTest, DeletingAShadowMapEmptiesItsSlotsEndsItsDrawingAndTellsItsNotify) {
    const int map = NewShadowMap();
    ShadowMapRecord* record = Graphics_ShadowMap_GetHandleData(map, 0);
    ASSERT_NE(record, nullptr);
    int32_t lost = 0;
    record->LostNotify = &lost;
    ASSERT_EQ(Graphics_ShadowMap_SetSlot(1, map), 0);
    ASSERT_EQ(Graphics_ShadowMap_SetSlot(2, map), 0);
    EXPECT_EQ(Graphics_ShadowMap_SetSlot(3, map), -1);
    EXPECT_EQ(ShadowMapSlots.Count, 2);
    ASSERT_EQ(Graphics_ShadowMap_BeginDraw(map), 0);
    EXPECT_EQ(Handle_Delete(map, 0, 0), 0);
    EXPECT_EQ(lost, 1);
    EXPECT_EQ(ShadowMapSlots.Count, 0);
    EXPECT_EQ(ShadowMapSlots.Handles[1], 0);
    EXPECT_EQ(ShadowMapSlots.Handles[2], 0);
    EXPECT_EQ(ShadowMapSlots.Drawing, 0);
    EXPECT_EQ(Graphics_ShadowMap_EndDraw(), -1);
}

// Without a device no shadow map can be made (a log line says why); the area, the lights' use of a slot
// and the end of drawing refuse dead handles, bad slots and an idle state, while the area of a live map
// is the box of its two corners in any order.
TEST_F(ShadowMapTest, WithoutADeviceNoShadowMapIsMadeAndBadArgumentsAreRefused) {
    EXPECT_EQ(Graphics_ShadowMap_Make(64, 64, 32, 0), -1);
    EXPECT_TRUE(WindowTest::LogContains(u8"シャドウマップはハードウエアアクセラレータが使えない状態では作成できません"));
    const int map = NewShadowMap();
    ShadowMapRecord* record = Graphics_ShadowMap_GetHandleData(map, 0);
    ASSERT_NE(record, nullptr);
    record->AreaMode = 1;
    ASSERT_EQ(Graphics_ShadowMap_SetArea(map, {1, 5, 3}, {-1, 2, 9}), 0);
    EXPECT_EQ(record->AreaMode, 0);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(record->AreaCornersB[i].x, (i & 1) ? -1.0f : 1.0f) << i;
        EXPECT_EQ(record->AreaCornersB[i].y, (i & 2) ? 2.0f : 5.0f) << i;
        EXPECT_EQ(record->AreaCornersB[i].z, (i & 4) ? 9.0f : 3.0f) << i;
    }
    EXPECT_EQ(Graphics_ShadowMap_SetArea(map + 1, {0, 0, 0}, {1, 1, 1}), -1);
    const int light = DrawSettings.DefaultLight;
    EXPECT_EQ(Graphics_ShadowMap_SetLightUse(light, 3, 1), -1);
    EXPECT_EQ(Graphics_ShadowMap_SetLightUse(light, -1, 1), -1);
    EXPECT_EQ(Graphics_ShadowMap_SetLightUse(light + 1, 0, 1), -1);
    ASSERT_EQ(Graphics_ShadowMap_SetLightUse(light, 2, 5), 0);
    EXPECT_EQ(Graphics_Light_GetRecord(light)->ShadowMapFlags[2], 1);
    EXPECT_EQ(Graphics_ShadowMap_Delete(map), 0);
    EXPECT_EQ(Graphics_ShadowMap_Delete(map), -1);
}
