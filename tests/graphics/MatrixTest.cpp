// Matrix and vector math: the left-handed row-vector conventions, inverses checked against an
// independent Gauss-Jordan elimination, look-at, perspective, orthographic and viewport matrices
// mapping known points, axis and quaternion rotations, and the refused (degenerate) inputs that
// must leave the output as it was and never give a non-finite element.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "graphics/VtMatrix.h"

using namespace Vantrel;

namespace {

constexpr double Pi = 3.14159265358979323846;

MatrixD Translation(double x, double y, double z) {
    MatrixD m = MatrixIdentityD;
    m.m[3][0] = x;
    m.m[3][1] = y;
    m.m[3][2] = z;
    return m;
}

MatrixD Scaling(double x, double y, double z) {
    MatrixD m = {};
    m.m[0][0] = x;
    m.m[1][1] = y;
    m.m[2][2] = z;
    m.m[3][3] = 1.0;
    return m;
}

// Rotation about a unit axis by the angle, for row vectors (Rodrigues' formula, transposed).
MatrixD AxisRotation(double x, double y, double z, double angle) {
    const double c = std::cos(angle), s = std::sin(angle), t = 1.0 - c;
    const double r[3][3] = {{t * x * x + c, t * x * y - s * z, t * x * z + s * y},
                            {t * x * y + s * z, t * y * y + c, t * y * z - s * x},
                            {t * x * z - s * y, t * y * z + s * x, t * z * z + c}};
    MatrixD m = MatrixIdentityD;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) m.m[i][j] = r[j][i];
    return m;
}

// The same rotation from the unit quaternion (w, x, y, z), for row vectors.
MatrixD QuaternionRotation(double w, double x, double y, double z) {
    MatrixD m = MatrixIdentityD;
    m.m[0][0] = 1 - 2 * (y * y + z * z);
    m.m[0][1] = 2 * (x * y + w * z);
    m.m[0][2] = 2 * (x * z - w * y);
    m.m[1][0] = 2 * (x * y - w * z);
    m.m[1][1] = 1 - 2 * (x * x + z * z);
    m.m[1][2] = 2 * (y * z + w * x);
    m.m[2][0] = 2 * (x * z + w * y);
    m.m[2][1] = 2 * (y * z - w * x);
    m.m[2][2] = 1 - 2 * (x * x + y * y);
    return m;
}

// Independent inverse: Gauss-Jordan elimination with partial pivoting in long double.
bool ReferenceInverse(const MatrixD& in, MatrixD* out) {
    long double a[4][8];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 8; ++c) a[r][c] = c < 4 ? in.m[r][c] : (c - 4 == r ? 1.0L : 0.0L);
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::fabs(static_cast<double>(a[r][col])) > std::fabs(static_cast<double>(a[pivot][col]))) pivot = r;
        if (a[pivot][col] == 0) return false;
        for (int c = 0; c < 8; ++c) std::swap(a[col][c], a[pivot][c]);
        const long double d = a[col][col];
        for (int c = 0; c < 8; ++c) a[col][c] /= d;
        for (int r = 0; r < 4; ++r) {
            if (r == col) continue;
            const long double f = a[r][col];
            for (int c = 0; c < 8; ++c) a[r][c] -= f * a[col][c];
        }
    }
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) out->m[r][c] = static_cast<double>(a[r][c + 4]);
    return true;
}

MatrixD Product(MatrixD a, const MatrixD& b) {
    MakeProductMatrixD(&a, &a, &b);
    return a;
}

VectorD Apply(const MatrixD& m, VectorD v, double w = 1.0, double* outW = nullptr) {
    VectorD out;
    double resultW = 0.0;
    TransformVector4D(&out, &resultW, &v, w, &m);
    if (outW) *outW = resultW;
    return out;
}

void ExpectNear(VectorD actual, VectorD expected, double tolerance) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

template <typename Matrix>
void ExpectIdentity(const Matrix& m, double tolerance) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(m.m[r][c], r == c ? 1.0 : 0.0, tolerance) << r << "," << c;
}

template <typename Matrix>
Matrix Sentinel() {
    Matrix m;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) m.m[r][c] = static_cast<float>(r * 4 + c + 0.5);
    return m;
}

}  // namespace

TEST(MatrixConventionTest, RowVectorsLeftHandedTranslationInRowThreeProductAppliesLeftFirst) {
    // Translation sits in elements 12 to 14 and moves points, not directions.
    const MatrixD move = Translation(10, 20, 30);
    const double* flat = &move.m[0][0];
    EXPECT_EQ(flat[12], 10.0);
    EXPECT_EQ(flat[13], 20.0);
    EXPECT_EQ(flat[14], 30.0);
    ExpectNear(Apply(move, {1, 2, 3}), {11, 22, 33}, 0);
    ExpectNear(Apply(move, {1, 2, 3}, 0.0), {1, 2, 3}, 0);

    // A x B applies A first: scale by 2, then move by 1 along x.
    const MatrixD scaleThenMove = Product(Scaling(2, 2, 2), Translation(1, 0, 0));
    ExpectNear(Apply(scaleThenMove, {1, 0, 0}), {3, 0, 0}, 0);
    ExpectNear(Apply(Product(Translation(1, 0, 0), Scaling(2, 2, 2)), {1, 0, 0}), {4, 0, 0}, 0);

    // Left-handed: a camera at the origin looking down +z with y up has +x on its right.
    MatrixD view;
    const VectorD eye = {0, 0, 0}, target = {0, 0, 1}, up = {0, 1, 0};
    ASSERT_EQ(MakeLookAtMatrixD(&view, &eye, &target, &up), 0);
    ExpectIdentity(view, 0);
    VectorD cross;
    const VectorD x = {1, 0, 0}, y = {0, 1, 0};
    VectorCrossD(&cross, &x, &y);
    ExpectNear(cross, {0, 0, 1}, 0);

    // Quarter turn about +z carries +x to +y (row vector times the matrix).
    ExpectNear(Apply(AxisRotation(0, 0, 1, Pi / 2), {1, 0, 0}), {0, 1, 0}, 1e-15);

    // The float forms agree.
    MatrixF moveF;
    ConvertMatrixDToF(&moveF, &move);
    VectorF point = {1, 2, 3}, moved, turned;
    TransformVector(&moved, &point, &moveF);
    TransformVectorRotScale(&turned, &point, &moveF);
    EXPECT_EQ(moved.x, 11.0f);
    EXPECT_EQ(moved.z, 33.0f);
    EXPECT_EQ(turned.x, 1.0f);
    EXPECT_EQ(turned.z, 3.0f);
}

TEST(MatrixInverseTest, InverseTimesMatrixIsIdentityAndMatchesAnIndependentElimination) {
    MatrixD perspective;
    ASSERT_EQ(MakePerspectiveFovMatrixD(&perspective, 1.0, 1.0, 100.0, 0.75), 0);
    MatrixD viewport;
    MakeViewportMatrixD(&viewport, 320, 240, 640, 480);
    const MatrixD general = {{{2, 1, 0, 3}, {-1, 4, 2, 0}, {0.5, 0, 3, -2}, {1, 2, -1, 5}}};
    const MatrixD cases[] = {
        Translation(3, -4, 5),
        Product(Product(Scaling(2, 0.5, 3), AxisRotation(0.48, 0.6, 0.64, 0.7)), Translation(-7, 2, 9)),
        QuaternionRotation(std::cos(0.4), 0, std::sin(0.4), 0),
        perspective,
        viewport,
        general,
    };
    int index = 0;
    for (const MatrixD& matrix : cases) {
        SCOPED_TRACE(index++);
        MatrixD inverse, reference;
        ASSERT_EQ(MakeInverseMatrixD(&inverse, &matrix), 0);
        ASSERT_TRUE(ReferenceInverse(matrix, &reference));
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) EXPECT_NEAR(inverse.m[r][c], reference.m[r][c], 1e-9 * (1 + std::fabs(reference.m[r][c])));
        ExpectIdentity(Product(inverse, matrix), 1e-6);
        ExpectIdentity(Product(matrix, inverse), 1e-6);

        // Written over its own input it gives the same inverse.
        MatrixD inPlace = matrix;
        ASSERT_EQ(MakeInverseMatrixD(&inPlace, &inPlace), 0);
        EXPECT_EQ(std::memcmp(&inPlace, &inverse, sizeof(inverse)), 0);

        // The float inverse in float arithmetic.
        MatrixF matrixF, inverseF, productF;
        ConvertMatrixDToF(&matrixF, &matrix);
        ASSERT_EQ(MakeInverseMatrix(&inverseF, &matrixF), 0);
        MakeProductMatrix(&productF, &inverseF, &matrixF);
        ExpectIdentity(productF, 1e-4);
    }
}

TEST(MatrixInverseTest, SingularOrNonFiniteMatricesAreRefusedAndLeaveTheOutputAlone) {
    const MatrixD zero = {};
    const MatrixD tiny = Scaling(5e-8, 1, 1);             // determinant 5e-8
    MatrixD rankThree = MatrixIdentityD;
    rankThree.m[2][0] = 1;
    rankThree.m[2][1] = 1;
    rankThree.m[2][2] = 0;
    rankThree.m[0][2] = 0;
    rankThree.m[1][0] = 1;                                  // row 2 = row 0 + row 1
    rankThree.m[2][0] = 2;
    rankThree.m[2][1] = 1;
    MatrixD notANumber = MatrixIdentityD;
    notANumber.m[1][1] = std::nan("");
    MatrixD huge = Scaling(1e300, 1e300, 1e300);           // determinant overflows
    for (const MatrixD& matrix : {zero, tiny, rankThree, notANumber, huge}) {
        MatrixD out = Sentinel<MatrixD>();
        EXPECT_EQ(MakeInverseMatrixD(&out, &matrix), -1);
        const MatrixD sentinel = Sentinel<MatrixD>();
        EXPECT_EQ(std::memcmp(&out, &sentinel, sizeof(out)), 0);
        MatrixF matrixF, outF = Sentinel<MatrixF>();
        ConvertMatrixDToF(&matrixF, &matrix);
        EXPECT_EQ(MakeInverseMatrix(&outF, &matrixF), -1);
        const MatrixF sentinelF = Sentinel<MatrixF>();
        EXPECT_EQ(std::memcmp(&outF, &sentinelF, sizeof(outF)), 0);
    }
    // The threshold is strict: a determinant of exactly 1e-7 is inverted.
    const MatrixD edge = Scaling(1e-7, 1, 1);
    MatrixD out;
    EXPECT_EQ(MakeInverseMatrixD(&out, &edge), 0);
    EXPECT_NEAR(out.m[0][0], 1e7, 1e-3);
}

TEST(MatrixProductTest, NullOutputAndAliasedOutputs) {
    const MatrixD a = Product(Scaling(2, 3, 4), Translation(1, 2, 3));
    const MatrixD b = AxisRotation(0, 1, 0, 0.3);
    EXPECT_EQ(MakeProductMatrixD(nullptr, &a, &b), 0);
    MatrixD expected;
    MakeProductMatrixD(&expected, &a, &b);
    MatrixD left = a, right = b;
    MakeProductMatrixD(&left, &left, &b);
    MakeProductMatrixD(&right, &a, &right);
    EXPECT_EQ(std::memcmp(&left, &expected, sizeof(left)), 0);
    EXPECT_EQ(std::memcmp(&right, &expected, sizeof(right)), 0);

    MatrixF fa, fb, square;
    ConvertMatrixDToF(&fa, &a);
    ConvertMatrixDToF(&fb, &b);
    EXPECT_EQ(MakeProductMatrix(nullptr, &fa, &fb), 0);
    square = fa;
    MakeProductMatrix(&square, &square, &square);
    EXPECT_FLOAT_EQ(square.m[3][0], 1 * 2 + 1);  // translation (1, 2, 3) scaled by 2, 3, 4 and moved again
    EXPECT_FLOAT_EQ(square.m[3][2], 3 * 4 + 3);

    MatrixF transposed;
    MakeTransposedMatrix(&transposed, &fa);
    EXPECT_EQ(transposed.m[0][3], fa.m[3][0]);
    EXPECT_EQ(transposed.m[2][3], fa.m[3][2]);
}

TEST(MatrixRotationTest, AxisAndQuaternionRotationsAgreeAndInvertToTheirTranspose) {
    struct Case {
        double AxisX, AxisY, AxisZ, Angle;
        VectorD Point, Expected;
    };
    const double h = std::sqrt(0.5);
    const Case cases[] = {
        {1, 0, 0, Pi / 2, {0, 1, 0}, {0, 0, 1}},
        {0, 1, 0, Pi / 2, {0, 0, 1}, {1, 0, 0}},
        {0, 0, 1, Pi, {1, 2, 3}, {-1, -2, 3}},
        {h, h, 0, Pi, {1, 0, 0}, {0, 1, 0}},
        {0.48, 0.6, 0.64, 2.0, {0.48, 0.6, 0.64}, {0.48, 0.6, 0.64}},  // the axis itself stays
    };
    for (const Case& c : cases) {
        const MatrixD axis = AxisRotation(c.AxisX, c.AxisY, c.AxisZ, c.Angle);
        const double s = std::sin(c.Angle / 2);
        const MatrixD quaternion = QuaternionRotation(std::cos(c.Angle / 2), c.AxisX * s, c.AxisY * s, c.AxisZ * s);
        for (int r = 0; r < 4; ++r)
            for (int k = 0; k < 4; ++k) EXPECT_NEAR(axis.m[r][k], quaternion.m[r][k], 1e-12);
        ExpectNear(Apply(axis, c.Point), c.Expected, 1e-12);
        MatrixD inverse;
        ASSERT_EQ(MakeInverseMatrixD(&inverse, &axis), 0);
        for (int r = 0; r < 3; ++r)
            for (int k = 0; k < 3; ++k) EXPECT_NEAR(inverse.m[r][k], axis.m[k][r], 1e-12);
    }
}

TEST(MatrixLookAtTest, ViewMatricesMapEyeTargetAndUp) {
    MatrixD view;
    const VectorD eye = {0, 0, -10}, origin = {0, 0, 0}, up = {0, 1, 0};
    ASSERT_EQ(MakeLookAtMatrixD(&view, &eye, &origin, &up), 0);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_EQ(view.m[r][c], r == 3 && c == 2 ? 10.0 : (r == c ? 1.0 : 0.0)) << r << "," << c;

    struct Case {
        VectorD Eye, Target, Up;
    };
    const Case cases[] = {
        {{5, 0, 0}, {0, 0, 0}, {0, 1, 0}},
        {{1, 2, 3}, {-4, 6, 0.5}, {0, 1, 0}},
        {{0, 10, 0}, {0, 0, 0}, {0, 0, 1}},
        {{3, 3, 3}, {3, 3, 4}, {1, 1, 0}},  // up not square to the view: corrected
    };
    for (const Case& c : cases) {
        ASSERT_EQ(MakeLookAtMatrixD(&view, &c.Eye, &c.Target, &c.Up), 0);
        VectorD direction;
        VectorSubtractD(&direction, &c.Target, &c.Eye);
        const double distance = std::sqrt(direction.x * direction.x + direction.y * direction.y + direction.z * direction.z);
        ExpectNear(Apply(view, c.Eye), {0, 0, 0}, 1e-12);
        ExpectNear(Apply(view, c.Target), {0, 0, distance}, 1e-12);
        // The up vector lands in the view's y-z plane with a positive y.
        const VectorD upPoint = {c.Eye.x + c.Up.x, c.Eye.y + c.Up.y, c.Eye.z + c.Up.z};
        const VectorD mapped = Apply(view, upPoint);
        EXPECT_NEAR(mapped.x, 0, 1e-12);
        EXPECT_GT(mapped.y, 0);
    }
}

TEST(MatrixLookAtTest, DegenerateCamerasAreRefusedWithTheOutputUntouched) {
    const VectorD eye = {1, 2, 3}, ahead = {1, 2, 4}, up = {0, 1, 0}, zero = {0, 0, 0}, along = {0, 0, 5};
    struct Case {
        const VectorD *Eye, *Target, *Up;
    };
    const Case cases[] = {{&eye, &eye, &up}, {&eye, &ahead, &zero}, {&eye, &ahead, &along}};
    for (const Case& c : cases) {
        MatrixD out = Sentinel<MatrixD>();
        EXPECT_EQ(MakeLookAtMatrixD(&out, c.Eye, c.Target, c.Up), -1);
        const MatrixD sentinel = Sentinel<MatrixD>();
        EXPECT_EQ(std::memcmp(&out, &sentinel, sizeof(out)), 0);
    }
    VectorD normal = {7, 7, 7};
    EXPECT_EQ(VectorNormalizeD(&normal, &zero), -1);
    ExpectNear(normal, {0, 0, 0}, 0);
    const VectorD v = {3, 0, 4};
    EXPECT_EQ(VectorNormalizeD(&normal, &v), 0);
    ExpectNear(normal, {0.6, 0, 0.8}, 1e-15);
}

TEST(MatrixProjectionTest, PerspectiveMapsNearFarAndFrustumEdges) {
    struct Case {
        double Fov, Near, Far, Aspect;
        VectorD Point, Expected;  // expected x/w, y/w, z/w
    };
    const Case cases[] = {
        {Pi / 2, 1, 101, 1, {0, 0, 1}, {0, 0, 0}},
        {Pi / 2, 1, 101, 1, {0, 0, 101}, {0, 0, 1}},
        {Pi / 2, 1, 101, 1, {1, 1, 1}, {1, 1, 0}},
        {Pi / 2, 1, 101, 1, {-50, 50, 50}, {-1, 1, 101.0 / 100 * (1 - 1.0 / 50)}},
        {Pi / 2, 1, 101, 0.5, {2, 1, 1}, {1, 1, 0}},       // aspect = height / width: a wide view
        {Pi / 3, 10, 10000, 0.75, {0, std::tan(Pi / 6) * 20, 20}, {0, 1, 10000.0 / 9990 * (1 - 10.0 / 20)}},
    };
    for (const Case& c : cases) {
        MatrixD projection;
        ASSERT_EQ(MakePerspectiveFovMatrixD(&projection, c.Fov, c.Near, c.Far, c.Aspect), 0);
        EXPECT_EQ(projection.m[2][3], 1.0);
        EXPECT_EQ(projection.m[3][3], 0.0);
        double w = 0;
        const VectorD clip = Apply(projection, c.Point, 1.0, &w);
        EXPECT_EQ(w, c.Point.z);  // view-space z becomes w
        ExpectNear({clip.x / w, clip.y / w, clip.z / w}, c.Expected, 1e-12);
    }
}

TEST(MatrixProjectionTest, OrthographicAndViewportMapKnownPoints) {
    struct Case {
        double Size, Near, Far, Aspect;
        VectorD Point, Expected;
    };
    const Case cases[] = {
        {2, 0, 10, 1, {1, 1, 0}, {1, 1, 0}},
        {2, 0, 10, 1, {-1, 0.5, 10}, {-1, 0.5, 1}},
        {2, 5, 15, 0.5, {2, -1, 10}, {1, -1, 0.5}},  // width = size / aspect = 4
        {480, 1, 2, 0.75, {320, 240, 1.5}, {1, 1, 0.5}},
    };
    for (const Case& c : cases) {
        MatrixD ortho;
        ASSERT_EQ(MakeOrthoMatrixD(&ortho, c.Size, c.Near, c.Far, c.Aspect), 0);
        double w = 0;
        ExpectNear(Apply(ortho, c.Point, 1.0, &w), c.Expected, 1e-12);
        EXPECT_EQ(w, 1.0);
    }

    // Viewport: clip space (y up) to pixels (y down) around the given centre.
    MatrixD viewport;
    ASSERT_EQ(MakeViewportMatrixD(&viewport, 320, 240, 640, 480), 0);
    ExpectNear(Apply(viewport, {-1, 1, 0.25}), {0, 0, 0.25}, 0);
    ExpectNear(Apply(viewport, {1, -1, 0}), {640, 480, 0}, 0);
    ExpectNear(Apply(viewport, {0, 0, 0}), {320, 240, 0}, 0);
}

TEST(MatrixProjectionTest, DegenerateProjectionsAreRefusedAndNegativeAspectTakesTheScreens) {
    struct Case {
        bool Perspective;
        double A, Near, Far;
    };
    const Case refused[] = {
        {true, 1.0, 5, 5}, {true, 1.0, 5, 5.00005}, {true, 0.0, 1, 100}, {true, 2 * Pi, 1, 100},
        {false, 2.0, 5, 5}, {false, 2.0, 5, 5.00005}, {false, 0.0, 1, 100},  // size 0 has no height
        {true, std::nan(""), 1, 100},
    };
    for (const Case& c : refused) {
        MatrixD out = Sentinel<MatrixD>();
        const int result = c.Perspective ? MakePerspectiveFovMatrixD(&out, c.A, c.Near, c.Far, 1.0)
                                         : MakeOrthoMatrixD(&out, c.A, c.Near, c.Far, 1.0);
        EXPECT_EQ(result, -1) << c.A << " " << c.Near << " " << c.Far;
        const MatrixD sentinel = Sentinel<MatrixD>();
        EXPECT_EQ(std::memcmp(&out, &sentinel, sizeof(out)), 0);
    }

    MatrixD projection;
    const double yScale = 1.0 / std::tan(0.5);
    struct AspectCase {
        int Width, Height;
        double Aspect;
    };
    for (const AspectCase& c : {AspectCase{0, 0, 0.75}, AspectCase{800, 600, 0.75}, AspectCase{1280, 720, 0.5625}}) {
        Graphics_Math_SetAspectScreenSize(c.Width, c.Height);
        ASSERT_EQ(MakePerspectiveFovMatrixD(&projection, 1.0, 1, 100, -1.0), 0);
        EXPECT_NEAR(projection.m[0][0], yScale * c.Aspect, 1e-12);
        ASSERT_EQ(MakeOrthoMatrixD(&projection, 2.0, 1, 100, -1.0), 0);
        EXPECT_NEAR(projection.m[0][0], c.Aspect, 1e-12);
    }
    Graphics_Math_SetAspectScreenSize(0, 0);
}

TEST(MatrixVectorTest, PlanesAndSinglePrecisionVectors) {
    PlaneD plane;
    const VectorD point = {0, 5, 0}, normal = {0, 2, 0}, zero = {0, 0, 0};
    MakeNormalizedPlaneD(&plane, &point, &normal);
    EXPECT_EQ(plane.a, 0);
    EXPECT_EQ(plane.b, 1);
    EXPECT_EQ(plane.c, 0);
    EXPECT_EQ(plane.d, -5);
    MakeNormalizedPlaneD(&plane, &point, &zero);
    EXPECT_EQ(plane.a, -1);
    EXPECT_EQ(plane.d, -1);

    struct Case {
        VectorF In;
        float Length;
        VectorF Normal;
    };
    const Case cases[] = {
        {{0, 0, 0}, 0, {-1, -1, -1}},
        {{0.0001f, 0, 0}, 0, {-1, -1, -1}},  // squared length 1e-8 is below the threshold
        {{3, 4, 0}, 5, {0.6f, 0.8f, 0}},
        {{0, 0, -2}, 2, {0, 0, -1}},
    };
    for (const Case& c : cases) {
        EXPECT_FLOAT_EQ(VectorLength(c.In), c.Length);
        const VectorF n = VectorNormalize(c.In);
        EXPECT_FLOAT_EQ(n.x, c.Normal.x);
        EXPECT_FLOAT_EQ(n.y, c.Normal.y);
        EXPECT_FLOAT_EQ(n.z, c.Normal.z);
    }
    const VectorF a = {1, 2, 3}, b = {4, -5, 6};
    EXPECT_FLOAT_EQ(VectorDot(a, b), 12.0f);

    // Conversions: nearest float one way, exact widening the other.
    MatrixD d = MatrixIdentityD;
    d.m[0][1] = 0.1;
    MatrixF f;
    ConvertMatrixDToF(&f, &d);
    EXPECT_EQ(f.m[0][1], 0.1f);
    MatrixD back;
    ConvertMatrixFToD(&back, &f);
    EXPECT_EQ(back.m[0][1], static_cast<double>(0.1f));
}
