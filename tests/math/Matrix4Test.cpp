#include <cmath>

#include "MathTestUtil.h"

namespace {

const Matrix4 I(Vector3(1, 0, 0), Vector3(0, 1, 0), Vector3(0, 0, 1), Vector3());

// The builders as expressions, any overload: m after the call.
template <class... A>
Matrix4 Moved(Matrix4 m, A... a) {
    return translate(m, a...), m;
}
template <class... A>
Matrix4 Scaled(Matrix4 m, A... a) {
    return scale(m, a...), m;
}
template <class... A>
Matrix4 Turned(Matrix4 m, A... a) {
    return rotate(m, a...), m;
}

TEST(Matrix4, ColumnsTextProductsAndBuilders) {
    const Matrix4 c(Vector3(1, 2, 3), Vector3(4, 5, 6), Vector3(7, 8, 9), Vector3(10, 11, 12));
    for (const auto& [i, expected] : {std::pair{1, Fs{4, 5, 6, 0}}, {3, Fs{10, 11, 12, 1}}, {4, Fs(4)}, {-1, Fs(4)}})
        EXPECT_EQ(Floats(column(c, i)), expected) << "column " << i;
    Matrix4 m(9.0f);
    setColumn(m, 3, Vector3(1, 2, 3));  // the fourth element is kept
    setColumn(m, 0, Vector4(4, 5, 6, 7));
    setColumn(m, 4, Vector3(1, 1, 1));  // outside 0..3: no change
    setColumn(m, -1, Vector4(1, 1, 1, 1));
    EXPECT_VEC(m, 4, 5, 6, 7, 9, 9, 9, 9, 9, 9, 9, 9, 1, 2, 3, 9);
    setIdentity(m);
    m.m[13] = -2.0004001f;
    EXPECT_EQ(toString(m),
              "(0 ) 1\r\n(1 ) 0\r\n(2 ) 0\r\n(3 ) 0\r\n(4 ) 0\r\n(5 ) 1\r\n(6 ) 0\r\n(7 ) 0\r\n"
              "(8 ) 0\r\n(9 ) 0\r\n(10) 1\r\n(11) 0\r\n(12) 0\r\n(13) -2.0004\r\n(14) 0\r\n(15) 1\r\n");
    // Products and the builders that post-multiply: the right factor acts first.
    EXPECT_VEC(Vector3(1, 1, 1) * (Moved(I, Vector3(10, 0, 0)) * Scaled(I, 2.0f)), 12, 2, 2, 1);
    Matrix4 a(Vector3(1, 2, 0), Vector3(0, 1, 3), Vector3(2, 0, 1), Vector3(1, 1, 1));
    EXPECT_VEC(a *= a, 1, 4, 6, 0, 6, 1, 6, 0, 4, 4, 1, 0, 4, 4, 5, 1);  // reads the old a throughout
    m = Moved(Moved(Moved(Scaled(I, 2.0f, 3.0f, 4.0f), 1.0f, 2.0f, 3.0f), 1, 1, 1), Vector2(1, 2));
    EXPECT_VEC(Moved(m, Vector3(0.5f, 0, -1)), 2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 7, 15, 12, 1);
    EXPECT_VEC(Vector3(2, 2, 2) * Scaled(m, 0.5f), 8, 18, 20, 1);
}

// Every row is (1e8, 1, -1e8, 0.5 + i): rounded after each step 1e8 + 1 is
// 1e8 again and the sum is the last term alone; rounded once it is 1 more,
// as in a matrix product.
TEST(Matrix4, PointTransformsRoundAfterEveryStepInEveryForm) {
    Matrix4 m(0.0f), n = Moved(I, Vector3(5, 6, 7)), xyz(Vector3(1, 1, 1), Vector3(), Vector3(), Vector3());
    for (int i = 0; i < 4; ++i) m.m[i] = 1e8f, m.m[4 + i] = 1.0f, m.m[8 + i] = -1e8f, m.m[12 + i] = 0.5f + float(i);
    EXPECT_VEC(column(m * xyz, 0), 1, 1, 1, 1);
    Vector3 v(1, 1, 1);
    Vector4 h(1, 1, 1, 1);
    EXPECT_VEC(v * m, 0.5f, 1.5f, 2.5f, 3.5f);
    EXPECT_VEC(h * m, 0.5f, 1.5f, 2.5f, 3.5f);
    EXPECT_VEC(Vector4(1, 1, 1, 2) * m, 1, 3, 5, 7);  // w scales the last column
    EXPECT_VEC(v *= m, 0.5f, 1.5f, 2.5f);
    EXPECT_VEC(h *= m, 0.5f, 1.5f, 2.5f, 3.5f);
    n.m[1] = 2.0f, n.m[8] = n.m[9] = 100.0f;  // Vector2: the point (x, y, 0, 1), the z column unread
    EXPECT_VEC(Vector2(1, 1) * n, 6, 9);
}

TEST(Matrix4, RotateInDegreesCounterClockwiseZFirst) {
    Matrix4 m = Turned(I, 90, 0, 0);
    const float c = 1.2167964e-08f;  // cos of 90 degrees in single precision
    EXPECT_VEC(m, 1, 0, 0, 0, 0, c, 1, 0, 0, -1, c, 0, 0, 0, 0, 1);
    EXPECT_SAME_BITS(Turned(I, 90.0f, 0.0f, 0.0f), m);
    EXPECT_SAME_BITS(Turned(I, Vector3(90, 0, 0)), m);
    // After a translation: T Rx(30) Ry(45) Rz(60), worked in double.
    ExpectNear(Turned(Moved(I, Vector3(10, 0, 0)), 30, 45, 60),
               {0.353553f, 0.926777f, 0.126826f, 0, -0.612372f, 0.126826f, 0.78033f, 0, 0.707107f, -0.353553f,
                0.612372f, 0, 10, 0, 0, 1});
    // Zero angles are skipped: a multiplication by the identity would turn
    // -0 into 0 and spread the infinity into NaN.
    m.m[3] = -0.0f, m.m[7] = kInf;
    EXPECT_SAME_BITS(Turned(Turned(m, 0, 0, 0), 0.0f, -0.0f, 0.0f), m);
    // About an axis: the rotation block only, turning against rotate().
    m = Moved(I, Vector3(4, 5, 6));
    Vector3 axis(0, 0, 2), turn(1, 2, 3);
    m.m[3] = 0.5f;
    setAxisRotation(m, axis, 90.0f);
    EXPECT_VEC(axis, 0, 0, 1);
    ExpectNear(m, {0, -1, 0, 0.5f, 1, 0, 0, 0, 0, 0, 1, 0, 4, 5, 6, 1}, 1e-7f);
    // Clockwise seen from the axis: Rodrigues' formula for -37 degrees, worked in double.
    setAxisRotation(m = I, turn, 37.0f);
    ExpectNear(m, {0.813019f, -0.453759f, 0.364833f, 0, 0.511292f, 0.856168f, -0.0745428f, 0, -0.278534f, 0.247141f,
                   0.928084f, 0, 0, 0, 0, 1});
}

TEST(Matrix4, LookAtFacingFromDirectionAndRigidInverse) {
    Matrix4 m(3.0f);
    setLookAt(m, Vector3(0, 0, 5), Vector3(0, 0, 0), Vector3(0, 1, 0));
    EXPECT_VEC(m, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -5, 1);
    EXPECT_VEC(facing(Vector3(0, 0, 5), Vector3(0, 0, 0)), 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 5, 1);
    // Straight along y, z is up (and the frame stays a rotation).
    EXPECT_VEC(facing(Vector3(0, 5, 0), Vector3(0, 0, 0)), -1, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 5, 0, 1);
    // In general position, against gluLookAt's formula worked in double.
    const Vector3 target(-1, 2, -6);
    setLookAt(m, Vector3(3, 4, 5), target, Vector3(0.1f, 1, 0.2f));
    ExpectNear(m, {0.941006f, -0.0321474f, 0.336861f, 0, -0.0266322f, 0.985354f, 0.16843f, 0, -0.337342f, -0.167465f,
                   0.926367f, 0, -1.02978f, -3.00765f, -6.31614f, 1});
    setLookAt(m, Vector3(-10, 2, 0.5f), target, Vector3(0, 1, 0));
    ExpectNear(facing(Vector3(-10, 2, 0.5f), target) * m, kIdentity);  // the inverse of each other
    Matrix4 junk(Vector3(0, 1, 0), Vector3(-1, 0, 0), Vector3(0, 0, 1), Vector3(1, 2, 3));
    junk.m[3] = junk.m[7] = junk.m[11] = 9.0f;  // the bottom row is reset
    EXPECT_VEC(rigidInverse(junk), 0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, -2, 1, -3, 1);
    // From a direction: both sides of the |z| > 0.577 switch among them.
    for (const Vector3& d :
         {Vector3(0, 0, 1), Vector3(0, 0, -3), Vector3(1, 2, 3), Vector3(-1, 1, 0.2f), Vector3(0.8165f, 0, 0.5773f),
          Vector3(0.8164f, 0, 0.5775f), Vector3(0, -0.8165f, 0.5772f), Vector3(-0.57f, -0.57f, -0.5793f)}) {
        setFromDirection(m = Matrix4(9.0f), d);
        ExpectNear(column(m, 2), Floats(normalized(d)), 1e-6f);
        ExpectNear(cross(Vector3(column(m, 0)), Vector3(column(m, 1))), Floats(Vector3(column(m, 2))), 1e-6f);
        ExpectNear(m * rigidInverse(m), kIdentity, 1e-6f);  // orthonormal, last row and column 0 0 0 1
    }
}

// The planar shadow is dot(light, plane) I less light * plane^T: with light
// (2, 1, 1, 1) and plane (1, 2, 3, -4), 3 I less the products.
TEST(Matrix4, ProjectionsAndPlanarShadows) {
    EXPECT_VEC(planarShadow(Vector4(300, 1500, 300, 1), Vector4(0, 160000, 0, 0)), 240000000, 0, 0, 0, -48000000, 0,
               -48000000, -160000, 0, 0, 240000000, 0, 0, 0, 0, 240000000);
    EXPECT_VEC(planarShadow(Vector4(2, 1, 1, 1), Vector4(1, 2, 3, -4)), 1, -1, -1, -1, -4, 1, -2, -2, -6, -3, 0, -3, 8,
               4, 4, 7);
    EXPECT_VEC(perspective(60.0f, 1.3333334f, 1.0f, 5000.0f), 1.2990381f, 0, 0, 0, 0, 1.7320509f, 0, 0, 0, 0,
               -1.0004001f, -1, 0, 0, -2.0004001f, 0);
    // Fixed depth: the angle is used whole, near has no effect, m0 is
    // (1 / tan) / aspect rounded once (rounded twice it is another float here).
    Matrix4 a(7.0f), b(7.0f);
    setPerspectiveFixedDepth(a, 0.003f, 1.3333334f, 1.0f);
    setPerspectiveFixedDepth(b, 0.003f, 1.3333334f, 300.0f);
    const double cot = 1.0 / std::tan(double(0.003f));
    ASSERT_NE(float(cot / double(1.3333334f)), float(double(float(cot)) / double(1.3333334f)));
    EXPECT_VEC(a, float(cot / double(1.3333334f)), 0, 0, 0, 0, float(cot), 0, 0, 0, 0, -0.988f, -1, 0, 0, -1.1928f, 0);
    EXPECT_SAME_BITS(a, b);
}

}  // namespace
