// Matrix and vector math of the graphics core: 4 x 4 matrices and 3-vectors in single and double
// precision. Left-handed, row vectors multiplied on the left (v' = v x M), translation in elements
// 12 to 14; A x B applies A first. Stands on the base functions (square root, sine and cosine).
#pragma once

namespace Vantrel {

// Element 4r + c is row r, column c.
struct MatrixF {
    float m[4][4];
};

struct MatrixD {
    double m[4][4];
};

struct VectorF {
    float x, y, z;
};

struct VectorD {
    double x, y, z;
};

// a*x + b*y + c*z + d = 0 with (a, b, c) of unit length.
struct PlaneD {
    double a, b, c, d;
};

extern const MatrixF MatrixIdentityF;
extern const MatrixD MatrixIdentityD;

// Default aspect of the projection makers (height / width) when they are handed a negative one.
extern int AspectScreenWidth;
extern int AspectScreenHeight;

// Every maker writes its output only once all inputs are read, so an output may be an input.
// A maker that refuses its input (-1) leaves the output exactly as it was; no maker writes a
// non-finite element.
int ConvertMatrixDToF(MatrixF* out, const MatrixD* in);
int ConvertMatrixFToD(MatrixD* out, const MatrixF* in);
int MakeIdentityMatrix(MatrixF* out);
int MakeIdentityMatrixD(MatrixD* out);
// -1 when the determinant lies strictly between -1e-7 and 1e-7 (or is not finite).
int MakeInverseMatrix(MatrixF* out, const MatrixF* in);
int MakeInverseMatrixD(MatrixD* out, const MatrixD* in);
// out = a x b; a null out computes nothing and returns 0.
int MakeProductMatrix(MatrixF* out, const MatrixF* a, const MatrixF* b);
int MakeProductMatrixD(MatrixD* out, const MatrixD* a, const MatrixD* b);
int MakeTransposedMatrix(MatrixF* out, const MatrixF* in);
// View matrix looking from eye to target; -1 (output untouched) when eye equals target or up is
// zero or parallel to the view direction.
int MakeLookAtMatrixD(MatrixD* out, const VectorD* eye, const VectorD* target, const VectorD* up);
// aspect = height / width; a negative aspect takes the screen's (0.75 when none is recorded).
int MakeOrthoMatrixD(MatrixD* out, double size, double nearZ, double farZ, double aspect);
int MakePerspectiveFovMatrixD(MatrixD* out, double fov, double nearZ, double farZ, double aspect);
int MakeViewportMatrixD(MatrixD* out, double centreX, double centreY, double width, double height);
// A zero normal gives the plane (-1, -1, -1, -1).
int MakeNormalizedPlaneD(PlaneD* out, const VectorD* point, const VectorD* normal);
int Graphics_Math_SetAspectScreenSize(int width, int height);

// (-1, -1, -1) when the squared length is below 1e-7.
VectorF VectorNormalize(VectorF in);
// 0 when the squared length is below 1e-7.
float VectorLength(VectorF in);
float VectorDot(const VectorF& a, const VectorF& b);
// A zero-length (or non-finite) input gives (0, 0, 0) and -1.
int VectorNormalizeD(VectorD* out, const VectorD* in);
int VectorCrossD(VectorD* out, const VectorD* a, const VectorD* b);
int VectorSubtractD(VectorD* out, const VectorD* a, const VectorD* b);
// (x, y, z, 1) x M, the first three components; no division by w.
int TransformVector(VectorF* out, const VectorF* in, const MatrixF* matrix);
// (x, y, z, 0) x M: the upper 3 x 3 only.
int TransformVectorRotScale(VectorF* out, const VectorF* in, const MatrixF* matrix);
// (x, y, z, w) x M, all four components.
int TransformVector4D(VectorD* out, double* outW, const VectorD* in, double inW, const MatrixD* matrix);

// 1 when every element is a finite number.
int Matrix_IsFiniteD(const MatrixD* matrix);
int Matrix_IsFiniteF(const MatrixF* matrix);

}  // namespace Vantrel
