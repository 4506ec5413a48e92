// Transform pipeline and camera: world, view, projection and 3D viewport matrices (double precision
// with a float copy for the device), the projection rebuilt from the camera parameters, the camera
// from eye, target and up with its angles, and the camera reset that lines 3D drawing up with the
// pixel grid of a new draw target.
// Device projection (combined by the back-ends): (2D mode ? 2D projection : projection x 3D
// viewport) x inverse draw-area viewport.
// Stands on the math module, the switch layer and the graphics state records.
#pragma once

#include <stdint.h>

#include "graphics/VtMatrix.h"

namespace Vantrel {

enum : int {
    PROJECTION_PERSPECTIVE = 0,
    PROJECTION_ORTHOGRAPHIC = 1,
    PROJECTION_USER = 2,
};

struct GraphicsTransformRecord {
    int32_t Projection2DSet;            // 1 while the device holds the 2D projection
    MatrixD Projection2D;
    MatrixF Projection2DF;
    MatrixD World;
    MatrixF WorldF;
    MatrixD View;
    MatrixF ViewF;
    int32_t Projection3DApplied;
    MatrixD Projection;
    MatrixF ProjectionF;
    int32_t ProjectionType;
    double Near;
    double Far;
    double AspectScale;
    double FieldOfView;                 // vertical, radians
    double OrthoSize;                   // vertical size of the orthographic view
    MatrixD ProjectionSource;
    MatrixD DrawAreaViewport;
    MatrixF DrawAreaViewportF;
    MatrixD DrawAreaViewportInverse;
    MatrixF DrawAreaViewportInverseF;
    MatrixD Viewport3D;
    MatrixF Viewport3DF;
    float Viewport3DScale;
    VectorD CameraEye;
    VectorD CameraTarget;
    VectorD CameraUp;
    double CameraHorizontal;
    double CameraVertical;
    double CameraTwist;
    MatrixD LookAt;
};

extern GraphicsTransformRecord GraphicsTransform;

// Identity matrices and the default camera parameters (perspective, 60 degrees, near 10, far 10000).
int Graphics_Camera_ResetFields();

// Matrix setters: flush the vertex batch, store with the converted copy, tell the device. A matrix
// with a non-finite element is refused (-1, nothing changes).
int SetWorldTransformMatrix(const MatrixD* matrix);
int Graphics_Camera_SetWorldMatrixF(const MatrixF* matrix);
int SetViewTransformMatrix(const MatrixD* matrix);
int Graphics_Camera_SetViewMatrixF(const MatrixF* matrix);
int Graphics_Camera_SetViewportMatrix(const MatrixD* matrix);
int Graphics_Camera_ApplyProjectionMatrix(const MatrixD* matrix);
int Graphics_Camera_SetUserProjectionMatrix(const MatrixD* matrix);
int Graphics_Camera_RefreshProjection();

// Camera parameters; each rebuilds the projection.
int Graphics_Camera_SetPerspective(double fieldOfView);
int Graphics_Camera_SetOrthographic(double size);
int Graphics_Camera_SetNearFar(double nearZ, double farZ);
int Graphics_Camera_SetAspectScale(double scale);

// Camera from eye, target and up: -1 (camera unchanged) when eye equals target or up is zero or
// along the view direction.
int Graphics_Camera_SetLookAt(VectorF eye, VectorF target, VectorF up);
int Graphics_Camera_SetLookAtD(VectorD eye, VectorD target, VectorD up);
int Graphics_Camera_SetScreenCentre(double x, double y);
int Graphics_Camera_UpdateAnglesFromView();
int Graphics_Camera_Setup2DMatrix();

// The draw-area viewport and its inverse for the draw area (left, top, right, bottom).
int Graphics_Camera_SetDrawAreaViewport(int left, int top, int right, int bottom);
// Camera reset after a draw-target change, with the screen centre (SelectDrawScreen) or for render
// target 0 of shader drawing (graph handle).
int Graphics_Camera_ResetForDrawScreen();
int Graphics_Camera_ResetForRenderTarget(int graph);

}  // namespace Vantrel
