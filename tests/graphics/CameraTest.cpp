// Transform pipeline and camera without a device: the camera reset lines 3D points up with the
// pixel grid, camera angles from the view matrix, the projection from the camera parameters, the
// float and double copies in step, and degenerate cameras and matrices that must not reach the state.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsCamera.h"
#include "graphics/VtGraphicsDrawSetting.h"

using namespace Vantrel;

namespace {

constexpr double Pi = 3.14159265358979323846;

class CameraTest : public ::testing::Test {
protected:
    void SetUp() override {
        GraphicsApi = GRAPHICS_API_NONE;
        Graphics_Camera_ResetFields();
        GraphicsScreenState.DrawTargetWidth = 640;
        GraphicsScreenState.DrawTargetHeight = 480;
    }
    void TearDown() override {
        Graphics_Camera_ResetFields();
        GraphicsScreenState.DrawTargetWidth = GraphicsScreenState.DrawTargetHeight = 0;
    }

    // World point to draw-target pixel through world, view, projection and 3D viewport.
    static VectorD ToPixel(VectorD point) {
        MatrixD all;
        MakeProductMatrixD(&all, &GraphicsTransform.World, &GraphicsTransform.View);
        MakeProductMatrixD(&all, &all, &GraphicsTransform.Projection);
        MakeProductMatrixD(&all, &all, &GraphicsTransform.Viewport3D);
        VectorD out;
        double w = 0;
        TransformVector4D(&out, &w, &point, 1.0, &all);
        return {out.x / w, out.y / w, out.z / w};
    }

    static void LookAt(VectorD eye, VectorD target, VectorD up) { ASSERT_EQ(Graphics_Camera_SetLookAtD(eye, target, up), 0); }
};

}  // namespace

TEST_F(CameraTest, ResetForTheDrawTargetMapsWorldPointsOntoPixels) {
    ASSERT_EQ(Graphics_Camera_ResetForDrawScreen(), 0);
    struct Case {
        VectorD World;
        double PixelX, PixelY;
    };
    const Case cases[] = {{{320, 240, 0}, 320, 240}, {{0, 0, 0}, 0, 480}, {{640, 480, 0}, 640, 0}, {{10, 470, 0}, 10, 10}};
    for (const Case& c : cases) {
        const VectorD pixel = ToPixel(c.World);
        EXPECT_NEAR(pixel.x, c.PixelX, 1e-3);
        EXPECT_NEAR(pixel.y, c.PixelY, 1e-3);
        EXPECT_GT(pixel.z, 0.0);
        EXPECT_LT(pixel.z, 1.0);
    }
    const double d = static_cast<float>(240) / 0.57735026f;
    EXPECT_NEAR(GraphicsTransform.CameraEye.z, -d, 1e-3);
    EXPECT_NEAR(GraphicsTransform.Near, d * 0.1, 1e-3);
    EXPECT_NEAR(GraphicsTransform.Far, d + 20000, 1e-2);
    EXPECT_EQ(GraphicsTransform.ProjectionType, PROJECTION_PERSPECTIVE);
    EXPECT_EQ(GraphicsTransform.CameraHorizontal, 0.0);
    EXPECT_EQ(GraphicsTransform.CameraVertical, 0.0);

    // The render-target form builds the same camera.
    const MatrixD view = GraphicsTransform.View, viewport = GraphicsTransform.Viewport3D;
    Graphics_Camera_ResetFields();
    ASSERT_EQ(Graphics_Camera_ResetForRenderTarget(-1), 0);
    EXPECT_EQ(std::memcmp(&view, &GraphicsTransform.View, sizeof(view)), 0);
    EXPECT_EQ(std::memcmp(&viewport, &GraphicsTransform.Viewport3D, sizeof(viewport)), 0);
}

TEST_F(CameraTest, AnglesFollowTheViewMatrix) {
    struct Case {
        VectorD Eye, Target, Up;
        double Horizontal, Vertical, Twist;
    };
    const double s30 = 0.5, c30 = std::sqrt(0.75);
    const Case cases[] = {
        {{0, 0, 0}, {0, 0, 1}, {0, 1, 0}, 0, 0, 0},
        {{0, 0, 0}, {1, 0, 1}, {0, 1, 0}, Pi / 4, 0, 0},
        {{0, 0, 0}, {-1, 0, 0}, {0, 1, 0}, -Pi / 2, 0, 0},
        {{0, 0, 0}, {0, -s30, c30}, {0, 1, 0}, 0, Pi / 6, 0},   // looking down 30 degrees
        {{0, 0, 0}, {0, s30, c30}, {0, 1, 0}, 0, -Pi / 6, 0},
        {{0, 10, 0}, {0, 0, 0}, {0, 0, 1}, 0, Pi / 2, 0},       // straight down
        {{0, 10, 0}, {0, 0, 0}, {1, 0, 0}, 0, Pi / 2, -Pi / 2}, // straight down, turned
        {{0, 0, 0}, {0, 0, 1}, {-s30, c30, 0}, 0, 0, Pi / 6},   // tilted head
    };
    for (const Case& c : cases) {
        LookAt(c.Eye, c.Target, c.Up);
        EXPECT_NEAR(GraphicsTransform.CameraHorizontal, c.Horizontal, 1e-9);
        EXPECT_NEAR(GraphicsTransform.CameraVertical, c.Vertical, 1e-9);
        EXPECT_NEAR(GraphicsTransform.CameraTwist, c.Twist, 1e-9);
    }
    // Straight up: vertical -90 degrees.
    LookAt({0, -10, 0}, {0, 0, 0}, {0, 0, 1});
    EXPECT_NEAR(GraphicsTransform.CameraHorizontal, 0, 1e-12);
    EXPECT_NEAR(GraphicsTransform.CameraVertical, -Pi / 2, 1e-12);
    EXPECT_NEAR(std::fabs(GraphicsTransform.CameraTwist), Pi, 1e-12);
    // Upside down (m[1][1] < 0): the vertical angle goes beyond 90 degrees.
    LookAt({0, 0, 0}, {0, 0, 1}, {0, -1, 0});
    EXPECT_LT(GraphicsTransform.View.m[1][1], 0);
    EXPECT_GT(std::fabs(GraphicsTransform.CameraVertical), Pi / 2);
}

TEST_F(CameraTest, ProjectionFromCameraParametersAndTheUsersMatrix) {
    Graphics_Camera_SetNearFar(1.0, 101.0);
    Graphics_Camera_SetPerspective(Pi / 2);
    EXPECT_NEAR(GraphicsTransform.Projection.m[1][1], 1.0, 1e-12);
    EXPECT_NEAR(GraphicsTransform.Projection.m[0][0], 0.75, 1e-12);  // 480 / 640
    EXPECT_EQ(GraphicsTransform.Projection2DSet, 0);
    EXPECT_EQ(GraphicsTransform.Projection3DApplied, 1);

    // Orthographic: the aspect scale changes the horizontal extent only.
    Graphics_Camera_SetOrthographic(100.0);
    const double x1 = GraphicsTransform.Projection.m[0][0], y1 = GraphicsTransform.Projection.m[1][1];
    Graphics_Camera_SetAspectScale(2.0);
    EXPECT_NEAR(GraphicsTransform.Projection.m[0][0], x1 * 2.0, 1e-12);
    EXPECT_EQ(GraphicsTransform.Projection.m[1][1], y1);

    MatrixD user = MatrixIdentityD;
    user.m[2][3] = 0.5;
    ASSERT_EQ(Graphics_Camera_SetUserProjectionMatrix(&user), 0);
    EXPECT_EQ(GraphicsTransform.ProjectionType, PROJECTION_USER);
    EXPECT_EQ(std::memcmp(&GraphicsTransform.Projection, &user, sizeof(user)), 0);
    EXPECT_EQ(GraphicsTransform.ProjectionF.m[2][3], 0.5f);

    // A degenerate projection keeps the previous one, finite.
    Graphics_Camera_SetPerspective(1.0);
    const MatrixD before = GraphicsTransform.Projection;
    Graphics_Camera_SetNearFar(50.0, 50.0);
    EXPECT_EQ(std::memcmp(&GraphicsTransform.Projection, &before, sizeof(before)), 0);
    Graphics_Camera_SetPerspective(0.0);
    EXPECT_EQ(std::memcmp(&GraphicsTransform.Projection, &before, sizeof(before)), 0);
    EXPECT_EQ(Matrix_IsFiniteF(&GraphicsTransform.ProjectionF), 1);
}

TEST_F(CameraTest, FloatAndDoubleCopiesStayInStepAndBadInputIsRefused) {
    MatrixF world = MatrixIdentityF;
    world.m[3][0] = 0.1f;
    world.m[1][2] = 1.0f / 3.0f;
    ASSERT_EQ(Graphics_Camera_SetWorldMatrixF(&world), 0);
    EXPECT_EQ(GraphicsTransform.World.m[3][0], static_cast<double>(0.1f));  // converted, not recomputed
    EXPECT_EQ(GraphicsTransform.World.m[1][2], static_cast<double>(1.0f / 3.0f));
    MatrixD view = MatrixIdentityD;
    view.m[3][1] = 0.1;
    ASSERT_EQ(SetViewTransformMatrix(&view), 0);
    EXPECT_EQ(GraphicsTransform.ViewF.m[3][1], 0.1f);

    // Non-finite matrices never reach the state.
    MatrixD bad = MatrixIdentityD;
    bad.m[0][0] = std::nan("");
    EXPECT_EQ(SetWorldTransformMatrix(&bad), -1);
    EXPECT_EQ(GraphicsTransform.World.m[3][0], static_cast<double>(0.1f));
    bad.m[0][0] = INFINITY;
    EXPECT_EQ(SetViewTransformMatrix(&bad), -1);
    EXPECT_EQ(Graphics_Camera_ApplyProjectionMatrix(&bad), -1);
    EXPECT_EQ(Graphics_Camera_SetViewportMatrix(&bad), -1);
    EXPECT_EQ(GraphicsTransform.ViewF.m[3][1], 0.1f);

    // A camera on its target, or with up along the view, is refused and the camera stays.
    LookAt({1, 2, 3}, {1, 2, 10}, {0, 1, 0});
    const MatrixD before = GraphicsTransform.View;
    EXPECT_EQ(Graphics_Camera_SetLookAtD({4, 4, 4}, {4, 4, 4}, {0, 1, 0}), -1);
    EXPECT_EQ(Graphics_Camera_SetLookAtD({0, 0, 0}, {0, 5, 0}, {0, 1, 0}), -1);
    EXPECT_EQ(Graphics_Camera_SetLookAt({0, 0, 0}, {0, 0, 1}, {0, 0, 0}), -1);
    EXPECT_EQ(std::memcmp(&GraphicsTransform.View, &before, sizeof(before)), 0);
    EXPECT_EQ(GraphicsTransform.CameraEye.z, 3.0);
    EXPECT_EQ(Matrix_IsFiniteF(&GraphicsTransform.ViewF), 1);
}

TEST_F(CameraTest, DrawAreaIsOrderedClampedAndKeepsItsViewportAndInverse) {
    GraphicsScreenState.DrawTargets[0].Handle = DRAW_SCREEN_BACK;
    GraphicsScreenState.ScreenWidth = 640;
    GraphicsScreenState.ScreenHeight = 480;
    struct Case {
        RECT Requested, Expected;
        int Empty;
    };
    const Case cases[] = {
        {{100, 50, 20, 10}, {20, 10, 100, 50}, 0},
        {{-10, -10, 2000, 2000}, {0, 0, 640, 480}, 0},
        {{30, 40, 30, 400}, {30, 40, 30, 400}, 1},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(Graphics_DrawSetting_SetDrawAreaRect(c.Requested.left, c.Requested.top, c.Requested.right, c.Requested.bottom), 0);
        RECT area;
        GetDrawAreaRect(&area);
        EXPECT_EQ(area.left, c.Expected.left);
        EXPECT_EQ(area.top, c.Expected.top);
        EXPECT_EQ(area.right, c.Expected.right);
        EXPECT_EQ(area.bottom, c.Expected.bottom);
        EXPECT_EQ(DrawSettings.DrawAreaEmpty, c.Empty);
        EXPECT_EQ(DrawSettings.RequestedDrawArea.left, c.Requested.left);
    }
    // The area (20, 10)-(100, 50): its viewport maps clip corners onto it, the inverse maps back.
    Graphics_DrawSetting_SetDrawAreaRect(20, 10, 100, 50);
    const VectorD corner = {-1, 1, 0};
    VectorD pixel, back;
    double w = 0;
    TransformVector4D(&pixel, &w, &corner, 1.0, &GraphicsTransform.DrawAreaViewport);
    EXPECT_EQ(pixel.x, 20.0);
    EXPECT_EQ(pixel.y, 10.0);
    TransformVector4D(&back, &w, &pixel, 1.0, &GraphicsTransform.DrawAreaViewportInverse);
    EXPECT_NEAR(back.x, -1.0, 1e-12);
    EXPECT_NEAR(back.y, 1.0, 1e-12);

    GraphicsScreenState.DrawTargets[0].Handle = 12345;  // no usable target: the request is kept all the same
    EXPECT_EQ(Graphics_DrawSetting_SetDrawAreaRect(1, 2, 3, 4), -1);
    EXPECT_EQ(DrawSettings.RequestedDrawArea.right, 3);
    GraphicsScreenState.DrawTargets[0].Handle = 0;
    GraphicsScreenState.ScreenWidth = GraphicsScreenState.ScreenHeight = 0;
}
