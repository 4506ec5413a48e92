// Transform pipeline and camera: the matrix setters (each flushes the vertex batch, keeps the double
// matrix with its float copy and tells the device), the projection built from the camera
// parameters, the look-at camera and its angles, and the reset for a new draw target.
// Stands on the math module, the base functions, the switch layer and the graphics state records.
#include "graphics/VtGraphicsCamera.h"

#include <initializer_list>

#include "foundation/VtBaseFunc.h"
#include "foundation/VtLog.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDrawSetting.h"

namespace Vantrel {

GraphicsTransformRecord GraphicsTransform;

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double DefaultFieldOfView = 1.0471975803375244;  // 60 degrees as a float
constexpr float Tan30 = 0.57735026f;

int Graphics_Camera_RefuseMatrix() {
    Log_AddTextShiftJIS("数値でない要素を含む行列は設定できません\n");
    return -1;
}

// Flushes the vertex batch and stores a matrix given in double (or else float) precision with its
// converted copy; a matrix with a non-finite element is refused and nothing changes.
int Graphics_Camera_Store(MatrixD* stored, MatrixF* storedF, const MatrixD* matrix, const MatrixF* matrixF) {
    if (matrix != nullptr ? !Matrix_IsFiniteD(matrix) : !Matrix_IsFiniteF(matrixF)) return Graphics_Camera_RefuseMatrix();
    Graphics_Dispatch_VertexBatch_Flush(0);
    if (matrix != nullptr) {
        *stored = *matrix;
        ConvertMatrixDToF(storedF, matrix);
    } else {
        *storedF = *matrixF;
        ConvertMatrixFToD(stored, matrixF);
    }
    return 0;
}

void Graphics_Camera_SendProjection() {
    GraphicsTransform.Projection2DSet = 0;
    GraphicsTransform.Projection3DApplied = 1;
    Graphics_Dispatch_VertexBatch_Flush(0);
    if (GraphicsSystemState.DeviceValid) Graphics_Dispatch_Transform_SetProjection();
}

// Steps shared by both draw-target resets: aspect, world, 3D viewport, eye and projection.
int Graphics_Camera_ResetCommon(bool screenCentre) {
    const int width = GraphicsScreenState.DrawTargetWidth, height = GraphicsScreenState.DrawTargetHeight;
    GraphicsTransform.AspectScale = 1.0;
    Graphics_Camera_RefreshProjection();
    Graphics_Camera_SetWorldMatrixF(&MatrixIdentityF);
    if (screenCentre) {
        Graphics_Camera_SetScreenCentre(width / 2.0, height / 2.0);
    } else {
        MatrixD viewport;
        MakeViewportMatrixD(&viewport, width / 2.0, height / 2.0, static_cast<float>(width * GraphicsTransform.Viewport3DScale),
                            static_cast<float>(height * GraphicsTransform.Viewport3DScale));
        Graphics_Camera_SetViewportMatrix(&viewport);
    }
    const float d = static_cast<float>(height / 2) / Tan30;
    const float centreX = static_cast<float>(width) / 2.0f, centreY = static_cast<float>(height) / 2.0f;
    Graphics_Camera_SetLookAt({centreX, centreY, -d}, {centreX, centreY, 1.0f - d}, {0.0f, 1.0f, 0.0f});
    GraphicsTransform.ProjectionType = PROJECTION_PERSPECTIVE;
    GraphicsTransform.FieldOfView = DefaultFieldOfView;
    Graphics_Camera_RefreshProjection();
    GraphicsTransform.Near = d * 0.1f;
    GraphicsTransform.Far = d + 20000.0f;
    Graphics_Camera_RefreshProjection();
    return 0;
}

}  // namespace

int Graphics_Camera_ResetFields() {
    GraphicsTransform = {};
    GraphicsTransformRecord& t = GraphicsTransform;
    for (MatrixD* matrix : {&t.Projection2D, &t.World, &t.View, &t.Projection, &t.ProjectionSource, &t.DrawAreaViewport,
                            &t.DrawAreaViewportInverse, &t.Viewport3D, &t.LookAt})
        MakeIdentityMatrixD(matrix);
    for (MatrixF* matrix : {&t.Projection2DF, &t.WorldF, &t.ViewF, &t.ProjectionF, &t.DrawAreaViewportF,
                            &t.DrawAreaViewportInverseF, &t.Viewport3DF})
        MakeIdentityMatrix(matrix);
    t.ProjectionType = PROJECTION_PERSPECTIVE;
    t.Near = 10.0;
    t.Far = 10000.0;
    t.AspectScale = 1.0;
    t.FieldOfView = DefaultFieldOfView;
    t.OrthoSize = 1.0;
    t.Viewport3DScale = 1.0f;
    return 0;
}

int SetWorldTransformMatrix(const MatrixD* matrix) {
    if (Graphics_Camera_Store(&GraphicsTransform.World, &GraphicsTransform.WorldF, matrix, nullptr) < 0) return -1;
    if (GraphicsSystemState.DeviceValid) Graphics_Dispatch_Transform_SetWorld(&GraphicsTransform.WorldF);
    return 0;
}

int Graphics_Camera_SetWorldMatrixF(const MatrixF* matrix) {
    if (Graphics_Camera_Store(&GraphicsTransform.World, &GraphicsTransform.WorldF, nullptr, matrix) < 0) return -1;
    if (GraphicsSystemState.DeviceValid) Graphics_Dispatch_Transform_SetWorld(&GraphicsTransform.WorldF);
    return 0;
}

int SetViewTransformMatrix(const MatrixD* matrix) {
    if (Graphics_Camera_Store(&GraphicsTransform.View, &GraphicsTransform.ViewF, matrix, nullptr) < 0) return -1;
    if (GraphicsSystemState.DeviceValid) Graphics_Dispatch_Transform_SetView(&GraphicsTransform.ViewF);
    return 0;
}

int Graphics_Camera_SetViewMatrixF(const MatrixF* matrix) {
    if (Graphics_Camera_Store(&GraphicsTransform.View, &GraphicsTransform.ViewF, nullptr, matrix) < 0) return -1;
    if (GraphicsSystemState.DeviceValid) Graphics_Dispatch_Transform_SetView(&GraphicsTransform.ViewF);
    return 0;
}

int Graphics_Camera_SetViewportMatrix(const MatrixD* matrix) {
    if (Graphics_Camera_Store(&GraphicsTransform.Viewport3D, &GraphicsTransform.Viewport3DF, matrix, nullptr) < 0) return -1;
    if (GraphicsSystemState.DeviceValid) Graphics_Dispatch_Transform_SetProjection();
    return 0;
}

int Graphics_Camera_ApplyProjectionMatrix(const MatrixD* matrix) {
    if (Graphics_Camera_Store(&GraphicsTransform.Projection, &GraphicsTransform.ProjectionF, matrix, nullptr) < 0) return -1;
    Graphics_Camera_SendProjection();
    return 0;
}

int Graphics_Camera_SetUserProjectionMatrix(const MatrixD* matrix) {
    if (!Matrix_IsFiniteD(matrix)) return Graphics_Camera_RefuseMatrix();
    GraphicsTransform.ProjectionType = PROJECTION_USER;
    GraphicsTransform.ProjectionSource = *matrix;
    return Graphics_Camera_RefreshProjection();
}

int Graphics_Camera_RefreshProjection() {
    GraphicsTransformRecord& t = GraphicsTransform;
    const double aspect = static_cast<double>(GraphicsScreenState.DrawTargetHeight) /
                          static_cast<double>(GraphicsScreenState.DrawTargetWidth) * t.AspectScale;
    // A refused maker (near on far, no field of view) leaves the source as it was.
    if (t.ProjectionType == PROJECTION_PERSPECTIVE)
        MakePerspectiveFovMatrixD(&t.ProjectionSource, t.FieldOfView, t.Near, t.Far, aspect);
    else if (t.ProjectionType == PROJECTION_ORTHOGRAPHIC)
        MakeOrthoMatrixD(&t.ProjectionSource, t.OrthoSize, t.Near, t.Far, aspect);
    Graphics_Camera_ApplyProjectionMatrix(&t.ProjectionSource);
    return 0;
}

int Graphics_Camera_SetPerspective(double fieldOfView) {
    GraphicsTransform.ProjectionType = PROJECTION_PERSPECTIVE;
    GraphicsTransform.FieldOfView = fieldOfView;
    return Graphics_Camera_RefreshProjection();
}

int Graphics_Camera_SetOrthographic(double size) {
    GraphicsTransform.ProjectionType = PROJECTION_ORTHOGRAPHIC;
    GraphicsTransform.OrthoSize = size;
    return Graphics_Camera_RefreshProjection();
}

int Graphics_Camera_SetNearFar(double nearZ, double farZ) {
    GraphicsTransform.Near = nearZ;
    GraphicsTransform.Far = farZ;
    return Graphics_Camera_RefreshProjection();
}

int Graphics_Camera_SetAspectScale(double scale) {
    GraphicsTransform.AspectScale = scale;
    return Graphics_Camera_RefreshProjection();
}

int Graphics_Camera_SetLookAt(VectorF eye, VectorF target, VectorF up) {
    return Graphics_Camera_SetLookAtD({eye.x, eye.y, eye.z}, {target.x, target.y, target.z}, {up.x, up.y, up.z});
}

int Graphics_Camera_SetLookAtD(VectorD eye, VectorD target, VectorD up) {
    VectorD direction, side, correctedUp;
    VectorSubtractD(&direction, &target, &eye);
    VectorCrossD(&side, &direction, &up);
    VectorCrossD(&correctedUp, &side, &direction);
    MatrixD view;
    if (VectorNormalizeD(&correctedUp, &correctedUp) < 0 || MakeLookAtMatrixD(&view, &eye, &target, &correctedUp) < 0) {
        Log_AddTextShiftJIS("カメラの位置と注視点が同じか、上方向が視線と平行なのでカメラを設定できません\n");
        return -1;
    }
    GraphicsTransform.CameraEye = eye;
    GraphicsTransform.CameraTarget = target;
    GraphicsTransform.CameraUp = correctedUp;
    SetViewTransformMatrix(&view);
    GraphicsTransform.LookAt = view;
    Graphics_Camera_UpdateAnglesFromView();
    return 0;
}

int Graphics_Camera_SetScreenCentre(double x, double y) {
    MatrixD viewport;
    const float width = static_cast<float>(GraphicsScreenState.DrawTargetWidth * GraphicsTransform.Viewport3DScale);
    const float height = static_cast<float>(GraphicsScreenState.DrawTargetHeight * GraphicsTransform.Viewport3DScale);
    if (MakeViewportMatrixD(&viewport, x, y, width, height) < 0) return -1;
    return Graphics_Camera_SetViewportMatrix(&viewport);
}

int Graphics_Camera_UpdateAnglesFromView() {
    const double (&m)[4][4] = GraphicsTransform.View.m;
    double horizontal = 0.0, vertical = 0.0, twist = 0.0;
    if (m[0][2] > -1e-8 && m[0][2] < 1e-8 && m[2][2] > -1e-8 && m[2][2] < 1e-8) {
        // Looking straight up or down.
        if (m[1][2] >= 0.0) {
            vertical = -Pi / 2.0;
            twist = BaseFunc_Atan2D(-m[0][1], -m[2][1]);
        } else {
            vertical = Pi / 2.0;
            twist = BaseFunc_Atan2D(-m[0][1], m[2][1]);
        }
    } else {
        const bool upright = m[1][1] >= 0.0;
        horizontal = upright ? BaseFunc_Atan2D(m[0][2], m[2][2]) : BaseFunc_Atan2D(-m[0][2], -m[2][2]);
        double s = 0.0, c = 0.0;
        BaseFunc_SinCosD(-horizontal, &s, &c);
        const double a = c * m[2][0] - s * m[0][0];
        const double b = s * m[2][0] + c * m[0][0];
        if (upright) {
            vertical = BaseFunc_Atan2D(-m[1][2], c * m[2][2] - s * m[0][2]);
        } else {
            const double q = -(c * m[2][2] - s * m[0][2]);
            vertical = m[1][2] > 0.0 ? -BaseFunc_Atan2D(q, m[1][2]) - Pi / 2.0 : BaseFunc_Atan2D(q, -m[1][2]) + Pi / 2.0;
        }
        double s2 = 0.0, c2 = 0.0;
        BaseFunc_SinCosD(-vertical, &s2, &c2);
        twist = BaseFunc_Atan2D(c2 * m[1][0] - s2 * a, b);
    }
    GraphicsTransform.CameraHorizontal = horizontal;
    GraphicsTransform.CameraVertical = vertical;
    GraphicsTransform.CameraTwist = twist;
    return 0;
}

int Graphics_Camera_Setup2DMatrix() {
    Graphics_Dispatch_VertexBatch_Flush(0);
    GraphicsTransform.Projection2DSet = 1;
    GraphicsTransform.Projection3DApplied = 0;
    if (GraphicsSystemState.DeviceValid) Graphics_Dispatch_Transform_SetProjection();
    return 0;
}

int Graphics_Camera_SetDrawAreaViewport(int left, int top, int right, int bottom) {
    const double width = static_cast<double>(right) - left, height = static_cast<double>(bottom) - top;
    MatrixD viewport, inverse;
    if (MakeViewportMatrixD(&viewport, left + width / 2.0, top + height / 2.0, width, height) < 0) return -1;
    if (MakeInverseMatrixD(&inverse, &viewport) < 0) return -1;
    GraphicsTransform.DrawAreaViewport = viewport;
    GraphicsTransform.DrawAreaViewportInverse = inverse;
    ConvertMatrixDToF(&GraphicsTransform.DrawAreaViewportF, &viewport);
    ConvertMatrixDToF(&GraphicsTransform.DrawAreaViewportInverseF, &inverse);
    GraphicsTransform.Projection2DSet = 0;
    GraphicsTransform.Projection3DApplied = 0;
    return 0;
}

int Graphics_Camera_ResetForDrawScreen() { return Graphics_Camera_ResetCommon(true); }

int Graphics_Camera_ResetForRenderTarget(int graph) {
    Graphics_DrawSetting_SetDrawAreaRect(0, 0, GraphicsScreenState.DrawTargetWidth, GraphicsScreenState.DrawTargetHeight);
    return Graphics_Camera_ResetCommon(false);
}

}  // namespace Vantrel
