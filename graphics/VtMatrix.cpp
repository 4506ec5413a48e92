// Matrix and vector math of the graphics core: one template per operation serves the float and
// the double records, straight-line code without allocation. Makers compute into a temporary and
// copy it out only when every element is finite, so refused input never reaches device state.
// Stands on the base functions.
#include "graphics/VtMatrix.h"

#include "foundation/VtBaseFunc.h"

namespace Vantrel {

const MatrixF MatrixIdentityF = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
const MatrixD MatrixIdentityD = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};

int AspectScreenWidth = 0;
int AspectScreenHeight = 0;

namespace {

// x - x is 0 for every finite x and NaN for infinities and NaN.
template <typename T>
bool IsFinite(T value) { return value - value == 0; }

template <typename Matrix>
bool AllFinite(const Matrix& matrix) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (!IsFinite(matrix.m[r][c])) return false;
    return true;
}

template <typename T>
T Det3(T a, T b, T c, T d, T e, T f, T g, T h, T i) { return a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g); }

// Signed minor (cofactor) of row r, column c.
template <typename T>
T Cofactor(const T (&m)[4][4], int r, int c) {
    const int r0 = r == 0 ? 1 : 0, r1 = r <= 1 ? 2 : 1, r2 = r <= 2 ? 3 : 2;
    const int c0 = c == 0 ? 1 : 0, c1 = c <= 1 ? 2 : 1, c2 = c <= 2 ? 3 : 2;
    const T minor = Det3(m[r0][c0], m[r0][c1], m[r0][c2], m[r1][c0], m[r1][c1], m[r1][c2], m[r2][c0], m[r2][c1], m[r2][c2]);
    return ((r + c) & 1) ? -minor : minor;
}

template <typename T, typename Matrix>
int Inverse(Matrix* out, const Matrix* in) {
    T cofactor[4][4];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) cofactor[r][c] = Cofactor<T>(in->m, r, c);
    const T det = in->m[0][0] * cofactor[0][0] + in->m[0][1] * cofactor[0][1] + in->m[0][2] * cofactor[0][2] +
                  in->m[0][3] * cofactor[0][3];
    const T limit = static_cast<T>(1e-7);
    if (!IsFinite(det) || (det > -limit && det < limit)) return -1;
    Matrix result;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) result.m[r][c] = cofactor[c][r] / det;
    if (!AllFinite(result)) return -1;
    *out = result;
    return 0;
}

template <typename T, typename Matrix>
int Product(Matrix* out, const Matrix* a, const Matrix* b) {
    if (out == nullptr) return 0;
    Matrix result;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            result.m[r][c] = a->m[r][0] * b->m[0][c] + a->m[r][1] * b->m[1][c] + a->m[r][2] * b->m[2][c] +
                             a->m[r][3] * b->m[3][c];
    *out = result;
    return 0;
}

// The aspect the projection makers use: negative stands for the screen's own.
double ProjectionAspect(double aspect) {
    if (aspect >= 0.0) return aspect;
    if (AspectScreenWidth != 0 && AspectScreenHeight != 0)
        return static_cast<double>(AspectScreenHeight) / static_cast<double>(AspectScreenWidth);
    return 0.75;
}

double Abs(double value) { return value < 0.0 ? -value : value; }

int CommitD(MatrixD* out, const MatrixD& result) {
    if (!AllFinite(result)) return -1;
    *out = result;
    return 0;
}

double DotD(const VectorD& a, const VectorD& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

}  // namespace

int Matrix_IsFiniteD(const MatrixD* matrix) { return AllFinite(*matrix) ? 1 : 0; }
int Matrix_IsFiniteF(const MatrixF* matrix) { return AllFinite(*matrix) ? 1 : 0; }

int ConvertMatrixDToF(MatrixF* out, const MatrixD* in) {
    MatrixF result;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) result.m[r][c] = static_cast<float>(in->m[r][c]);
    *out = result;
    return 0;
}

int ConvertMatrixFToD(MatrixD* out, const MatrixF* in) {
    MatrixD result;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) result.m[r][c] = in->m[r][c];
    *out = result;
    return 0;
}

int MakeIdentityMatrix(MatrixF* out) {
    *out = MatrixIdentityF;
    return 0;
}

int MakeIdentityMatrixD(MatrixD* out) {
    *out = MatrixIdentityD;
    return 0;
}

int MakeInverseMatrix(MatrixF* out, const MatrixF* in) { return Inverse<float>(out, in); }
int MakeInverseMatrixD(MatrixD* out, const MatrixD* in) { return Inverse<double>(out, in); }
int MakeProductMatrix(MatrixF* out, const MatrixF* a, const MatrixF* b) { return Product<float>(out, a, b); }
int MakeProductMatrixD(MatrixD* out, const MatrixD* a, const MatrixD* b) { return Product<double>(out, a, b); }

int MakeTransposedMatrix(MatrixF* out, const MatrixF* in) {
    MatrixF result;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) result.m[r][c] = in->m[c][r];
    *out = result;
    return 0;
}

int MakeLookAtMatrixD(MatrixD* out, const VectorD* eye, const VectorD* target, const VectorD* up) {
    VectorD z, x, y;
    VectorSubtractD(&z, target, eye);
    VectorCrossD(&x, up, &z);
    VectorCrossD(&y, &z, &x);
    // Each axis is normalised on its own; a zero axis (eye on the target, up zero or along the view)
    // has no direction and the view cannot be built.
    if (VectorNormalizeD(&x, &x) < 0 || VectorNormalizeD(&y, &y) < 0 || VectorNormalizeD(&z, &z) < 0) return -1;
    const MatrixD result = {{{x.x, y.x, z.x, 0.0},
                             {x.y, y.y, z.y, 0.0},
                             {x.z, y.z, z.z, 0.0},
                             {-DotD(x, *eye), -DotD(y, *eye), -DotD(z, *eye), 1.0}}};
    return CommitD(out, result);
}

int MakeOrthoMatrixD(MatrixD* out, double size, double nearZ, double farZ, double aspect) {
    aspect = ProjectionAspect(aspect);
    if (Abs(nearZ - farZ) < 1e-4) return -1;
    MatrixD result = {};
    result.m[0][0] = 2.0 / (size / aspect);
    result.m[1][1] = 2.0 / size;
    result.m[2][2] = 1.0 / (farZ - nearZ);
    result.m[3][2] = nearZ / (nearZ - farZ);
    result.m[3][3] = 1.0;
    return CommitD(out, result);
}

int MakePerspectiveFovMatrixD(MatrixD* out, double fov, double nearZ, double farZ, double aspect) {
    aspect = ProjectionAspect(aspect);
    double sine = 0.0, cosine = 0.0;
    BaseFunc_SinCosD(fov / 2.0, &sine, &cosine);
    if (Abs(farZ - nearZ) < 1e-4) return -1;
    if (Abs(sine) < 1e-4) return -1;
    const double yScale = cosine / sine;
    const double xScale = yScale * aspect;
    MatrixD result = {};
    result.m[0][0] = xScale;
    result.m[1][1] = yScale;
    result.m[2][2] = farZ / (farZ - nearZ);
    result.m[2][3] = 1.0;
    result.m[3][2] = -(farZ / (farZ - nearZ)) * nearZ;
    result.m[3][3] = 0.0;
    return CommitD(out, result);
}

int MakeViewportMatrixD(MatrixD* out, double centreX, double centreY, double width, double height) {
    MatrixD result = {};
    result.m[0][0] = width * 0.5;
    result.m[1][1] = height * -0.5;
    result.m[2][2] = 1.0;
    result.m[3][3] = 1.0;
    result.m[3][0] = centreX;
    result.m[3][1] = centreY;
    result.m[3][2] = 0.0;
    return CommitD(out, result);
}

int MakeNormalizedPlaneD(PlaneD* out, const VectorD* point, const VectorD* normal) {
    const double squared = DotD(*normal, *normal);
    if (!(squared >= 1e-9) || !IsFinite(squared)) {
        *out = {-1.0, -1.0, -1.0, -1.0};
        return 0;
    }
    const double length = BaseFunc_SqrtD(squared);
    const VectorD n = {normal->x / length, normal->y / length, normal->z / length};
    *out = {n.x, n.y, n.z, -DotD(n, *point)};
    return 0;
}

int Graphics_Math_SetAspectScreenSize(int width, int height) {
    AspectScreenWidth = width;
    AspectScreenHeight = height;
    return 0;
}

VectorF VectorNormalize(VectorF in) {
    const float squared = in.x * in.x + in.y * in.y + in.z * in.z;
    if (!(squared >= 1e-7f) || !IsFinite(squared)) return {-1.0f, -1.0f, -1.0f};
    const float length = BaseFunc_Sqrt(squared);
    return {in.x / length, in.y / length, in.z / length};
}

float VectorLength(VectorF in) {
    const float squared = in.x * in.x + in.y * in.y + in.z * in.z;
    if (!(squared >= 1e-7f)) return 0.0f;
    return BaseFunc_Sqrt(squared);
}

float VectorDot(const VectorF& a, const VectorF& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

int VectorNormalizeD(VectorD* out, const VectorD* in) {
    const double squared = DotD(*in, *in);
    if (!(squared > 0.0) || !IsFinite(squared)) {
        *out = {0.0, 0.0, 0.0};
        return -1;
    }
    const double length = BaseFunc_SqrtD(squared);
    *out = {in->x / length, in->y / length, in->z / length};
    return 0;
}

int VectorCrossD(VectorD* out, const VectorD* a, const VectorD* b) {
    *out = {a->y * b->z - a->z * b->y, a->z * b->x - a->x * b->z, a->x * b->y - a->y * b->x};
    return 0;
}

int VectorSubtractD(VectorD* out, const VectorD* a, const VectorD* b) {
    *out = {a->x - b->x, a->y - b->y, a->z - b->z};
    return 0;
}

int TransformVector(VectorF* out, const VectorF* in, const MatrixF* matrix) {
    const float (&m)[4][4] = matrix->m;
    const VectorF v = *in;
    *out = {v.x * m[0][0] + v.y * m[1][0] + v.z * m[2][0] + m[3][0], v.x * m[0][1] + v.y * m[1][1] + v.z * m[2][1] + m[3][1],
            v.x * m[0][2] + v.y * m[1][2] + v.z * m[2][2] + m[3][2]};
    return 0;
}

int TransformVectorRotScale(VectorF* out, const VectorF* in, const MatrixF* matrix) {
    const float (&m)[4][4] = matrix->m;
    const VectorF v = *in;
    *out = {v.x * m[0][0] + v.y * m[1][0] + v.z * m[2][0], v.x * m[0][1] + v.y * m[1][1] + v.z * m[2][1],
            v.x * m[0][2] + v.y * m[1][2] + v.z * m[2][2]};
    return 0;
}

int TransformVector4D(VectorD* out, double* outW, const VectorD* in, double inW, const MatrixD* matrix) {
    const double (&m)[4][4] = matrix->m;
    const VectorD v = *in;
    const double w = inW;
    const VectorD result = {v.x * m[0][0] + v.y * m[1][0] + v.z * m[2][0] + w * m[3][0],
                            v.x * m[0][1] + v.y * m[1][1] + v.z * m[2][1] + w * m[3][1],
                            v.x * m[0][2] + v.y * m[1][2] + v.z * m[2][2] + w * m[3][2]};
    const double resultW = v.x * m[0][3] + v.y * m[1][3] + v.z * m[2][3] + w * m[3][3];
    *out = result;
    if (outW != nullptr) *outW = resultW;
    return 0;
}

}  // namespace Vantrel
