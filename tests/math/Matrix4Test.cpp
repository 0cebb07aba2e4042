#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "MathTestUtil.h"
#include "math/Matrix4.h"

namespace {

// A rigid motion with no exact zeros or ones, to catch swapped indices.
Matrix4 SampleRigid() {
    Matrix4 m = Identity();
    translate(m, 3.0f, -2.0f, 7.5f);
    rotate(m, 30.0f, -50.0f, 110.0f);
    return m;
}

Vector3 Transform(const Matrix4& m, const Vector3& p) { return Vector3(p * m); }

TEST(Matrix4, ConstructionAndColumns) {
    Matrix4 z(0.0f);
    for (float e : z.m) EXPECT_EQ(e, 0.0f);
    Matrix4 s(2.5f);
    for (float e : s.m) EXPECT_EQ(e, 2.5f);
    EXPECT_EQ(s.data(), &s.m[0]);

    Matrix4 c(Vector3(1, 2, 3), Vector3(4, 5, 6), Vector3(7, 8, 9), Vector3(10, 11, 12));
    const float expected[16] = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 1};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(c.m[i], expected[i]) << i;

    ExpectVec(column(c, 3), 10, 11, 12, 1);
    ExpectVec(column(c, 1), 4, 5, 6, 0);

    Matrix4 m(9.0f);
    setColumn(m, 3, Vector3(1, 2, 3));  // fourth element untouched
    ExpectVec(column(m, 3), 1, 2, 3, 9);
    setColumn(m, 0, Vector4(4, 5, 6, 7));
    ExpectVec(column(m, 0), 4, 5, 6, 7);
    ExpectVec(column(m, 1), 9, 9, 9, 9);
}

TEST(Matrix4, ColumnIndexOutsideRangeIsHarmless) {
    Matrix4 m(5.0f);
    setColumn(m, 4, Vector3(1, 1, 1));
    setColumn(m, -1, Vector4(1, 1, 1, 1));
    for (float e : m.m) EXPECT_EQ(e, 5.0f);
    ExpectVec(column(m, 4), 0, 0, 0, 0);
    ExpectVec(column(m, -1), 0, 0, 0, 0);
}

TEST(Matrix4, IdentityAndText) {
    Matrix4 m(7.0f);
    setIdentity(m);
    ExpectNearIdentity(m, 0.0f);
    const std::string text = toString(m);
    EXPECT_EQ(text.rfind("(0 ) 1\r\n(1 ) 0\r\n", 0), 0u);
    // The eleventh line is element 10, with no space before the parenthesis.
    size_t start = 0;
    for (int line = 0; line < 10; ++line) start = text.find("\r\n", start) + 2;
    EXPECT_EQ(text.substr(start, 9), "(10) 1\r\n(");
    EXPECT_EQ(text.size(), 10 * 8 + 6 * 8u);  // "(i ) v\r\n" / "(ii) v\r\n"
    Matrix4 p(0.0f);
    p.m[13] = -2.0004001f;
    EXPECT_NE(toString(p).find("(13) -2.0004\r\n"), std::string::npos);
}

TEST(Matrix4Product, OperandOrderAppliesRightFactorFirst) {
    Matrix4 t = Identity();
    translate(t, 10.0f, 0.0f, 0.0f);
    Matrix4 s = Identity();
    scale(s, 2.0f);
    // (t * s) scales first, then moves; (s * t) moves first, then scales.
    ExpectVec(Vector3(1, 1, 1) * (t * s), 12, 2, 2, 1);
    ExpectVec(Vector3(1, 1, 1) * (s * t), 22, 2, 2, 1);
    // Operands are not changed; *= is the same product in place.
    ExpectVec(column(t, 3), 10, 0, 0, 1);
    Matrix4 ts = t;
    ts *= s;
    ExpectSameBits(t * s, ts);
}

TEST(Matrix4Product, SelfProductReadsTheOldMatrix) {
    Matrix4 a = SampleRigid();
    const Matrix4 expected = Matrix4(a) * Matrix4(a);
    a *= a;
    ExpectSameBits(expected, a);
    // Twice the translation of a pure translation.
    Matrix4 t = Identity();
    translate(t, 1.0f, 2.0f, 3.0f);
    t *= t;
    ExpectVec(column(t, 3), 2, 4, 6, 1);
}

TEST(Matrix4Product, FourTermSumIsRoundedOnce) {
    Matrix4 a(0.0f);
    a.m[0] = 1e8f;  // row 0 = (1e8, 1, -1e8, 0)
    a.m[4] = 1.0f;
    a.m[8] = -1e8f;
    Matrix4 b(0.0f);
    b.m[0] = b.m[1] = b.m[2] = 1.0f;  // column 0 = (1, 1, 1, 0)
    EXPECT_EQ((a * b).m[0], 1.0f);
}

TEST(Matrix4Transform, PointSumIsRoundedAfterEveryStep) {
    // The same row as above: step by step 1e8 + 1 rounds back to 1e8, so the
    // point transform gives 0 where the matrix product gives 1.
    Matrix4 a(0.0f);
    a.m[0] = 1e8f;
    a.m[4] = 1.0f;
    a.m[8] = -1e8f;
    a.m[12] = 0.5f;
    EXPECT_EQ((Vector3(1, 1, 1) * a).x, 0.5f);
    EXPECT_EQ((Vector4(1, 1, 1, 1) * a).x, 0.5f);
}

TEST(Matrix4Transform, VectorKindsAndInPlaceForms) {
    Matrix4 m = SampleRigid();
    m.m[3] = 0.25f;  // a non-trivial bottom row shows up in w
    m.m[7] = -0.5f;
    m.m[11] = 0.125f;
    m.m[15] = 2.0f;
    const Vector3 p(1.5f, -4.0f, 2.25f);

    // w = 1 gives the Vector3 result exactly; w = 0 drops the translation.
    const Vector4 fromVector3 = p * m;
    const Vector4 fromPoint = Vector4(p, 1.0) * m;
    ExpectVec(fromPoint, fromVector3.x, fromVector3.y, fromVector3.z, fromVector3.w);
    const Vector4 direction = Vector4(p, 0.0) * m;
    EXPECT_NEAR(direction.x, fromVector3.x - m.m[12], 1e-5f);
    EXPECT_NEAR(direction.y, fromVector3.y - m.m[13], 1e-5f);
    EXPECT_NEAR(direction.w, fromVector3.w - m.m[15], 1e-5f);
    // Homogeneous: scaling the point by w scales the result.
    const Vector4 scaled = Vector4(p * 2.0f, 2.0) * m;
    EXPECT_NEAR(scaled.x, 2.0f * fromVector3.x, 1e-4f);

    Vector3 inPlace = p;
    inPlace *= m;
    ExpectVec(inPlace, fromVector3.x, fromVector3.y, fromVector3.z);
    Vector4 inPlace4(p, 1.0);
    inPlace4 *= m;
    ExpectVec(inPlace4, fromVector3.x, fromVector3.y, fromVector3.z, fromVector3.w);

    // Vector2: the point (x, y, 0, 1); the z column is not read.
    Matrix4 n = Identity();
    translate(n, 5.0f, 6.0f, 7.0f);
    n.m[8] = 100.0f;
    n.m[9] = 100.0f;
    n.m[1] = 2.0f;
    ExpectVec(Vector2(1, 1) * n, 6, 9);
}

TEST(Matrix4Builders, TranslateForms) {
    Matrix4 m = Identity();
    translate(m, 1.0f, 2.0f, 3.0f);
    ExpectVec(column(m, 3), 1, 2, 3, 1);
    Matrix4 inverse = rigidInverse(m);
    ExpectVec(column(inverse, 3), -1, -2, -3, 1);
    ExpectVec(column(inverse, 0), 1, 0, 0, 0);

    Matrix4 a = SampleRigid(), b = SampleRigid(), c = SampleRigid(), d = SampleRigid();
    translate(a, 4.0f, -5.0f, 6.0f);
    translate(b, 4, -5, 6);
    translate(c, Vector3(4, -5, 6));
    ExpectSameBits(a, b);
    ExpectSameBits(a, c);
    translate(d, Vector2(4, -5));
    translate(a, 0.0f, 0.0f, -6.0f);
    for (int i = 12; i < 15; ++i) EXPECT_NEAR(a.m[i], d.m[i], 1e-5f);
}

TEST(Matrix4Builders, ScaleForms) {
    Matrix4 m = Identity();
    scale(m, 2.0f, 3.0f, 4.0f);
    ExpectVec(Vector3(1, 1, 1) * m, 2, 3, 4, 1);
    Matrix4 u = Identity();
    scale(u, 3.0f);
    ExpectVec(Vector3(1, 2, 3) * u, 3, 6, 9, 1);
    // Post-multiplied: the scale acts before an existing translation.
    Matrix4 t = Identity();
    translate(t, 1.0f, 0.0f, 0.0f);
    scale(t, 10.0f);
    ExpectVec(Vector3(1, 0, 0) * t, 11, 0, 0, 1);
}

TEST(Matrix4Rotate, QuarterTurnAboutXHasTheSinglePrecisionCosine) {
    Matrix4 m = Identity();
    rotate(m, 90, 0, 0);
    EXPECT_BITS(1.2167964e-08f, m.m[5]);
    EXPECT_BITS(1.2167964e-08f, m.m[10]);
    EXPECT_BITS(1.0f, m.m[6]);
    EXPECT_BITS(-1.0f, m.m[9]);
    // The float and Vector3 forms compute the same.
    Matrix4 f = Identity(), v = Identity();
    rotate(f, 90.0f, 0.0f, 0.0f);
    rotate(v, Vector3(90, 0, 0));
    ExpectSameBits(m, f);
    ExpectSameBits(m, v);
}

TEST(Matrix4Rotate, ZeroAnglesLeaveTheMatrixUntouched) {
    // A multiplication by the identity would turn -0 into +0 and spread the
    // infinity into NaN; skipping it keeps every bit.
    Matrix4 m = SampleRigid();
    m.m[3] = -0.0f;
    m.m[7] = std::numeric_limits<float>::infinity();
    const Matrix4 before = m;
    rotate(m, 0, 0, 0);
    ExpectSameBits(before, m);
    rotate(m, 0.0f, -0.0f, 0.0f);
    ExpectSameBits(before, m);
}

TEST(Matrix4Rotate, DegreesCounterClockwiseAndZTurnsFirst) {
    const Vector3 x(1, 0, 0), y(0, 1, 0), z(0, 0, 1);
    auto turned = [](int ax, int ay, int az, const Vector3& p) {
        Matrix4 m = Identity();
        rotate(m, ax, ay, az);
        return Transform(m, p);
    };
    ExpectNear(turned(0, 0, 90, x), 0, 1, 0);  // z: x towards y
    ExpectNear(turned(90, 0, 0, y), 0, 0, 1);  // x: y towards z
    ExpectNear(turned(0, 90, 0, z), 1, 0, 0);  // y: z towards x
    ExpectNear(turned(0, 0, 180, x), -1, 0, 0);
    // z is applied to the point first, then x: x -> y -> z.
    ExpectNear(turned(90, 0, 90, x), 0, 0, 1);
    // And y before x: z -> x (by y), then x stays (by x).
    ExpectNear(turned(90, 90, 0, z), 1, 0, 0);
}

TEST(Matrix4Rotate, TranslateThenRotateTurnsAboutTheModelOrigin) {
    Matrix4 m = Identity();
    translate(m, Vector3(10, 0, 0));
    rotate(m, 0, 90, 0);
    ExpectNear(Transform(m, Vector3(0, 0, 0)), 10, 0, 0);
    ExpectNear(Transform(m, Vector3(1, 0, 0)), 10, 0, -1);
}

TEST(Matrix4Rotate, AxisRotationKeepsTranslationAndNormalisesTheAxis) {
    Matrix4 m = Identity();
    translate(m, 4.0f, 5.0f, 6.0f);
    m.m[3] = 0.5f;
    Vector3 axis(0, 0, 2);
    setAxisRotation(m, axis, 90.0f);
    ExpectVec(axis, 0, 0, 1);
    EXPECT_NEAR(m.m[1], -1.0f, 1e-7f);
    EXPECT_NEAR(m.m[4], 1.0f, 1e-7f);
    EXPECT_NEAR(m.m[0], 0.0f, 1e-7f);
    EXPECT_EQ(m.m[10], 1.0f);
    EXPECT_EQ(m.m[15], 1.0f);
    EXPECT_EQ(m.m[3], 0.5f);
    ExpectVec(column(m, 3), 4, 5, 6, 1);

    // Opposite sense to rotate(): equal to rotate() by the negated angle.
    Matrix4 r = Identity();
    rotate(r, 0, 0, 90);
    EXPECT_NEAR(r.m[1], 1.0f, 1e-7f);
    EXPECT_NEAR(r.m[4], -1.0f, 1e-7f);
}

TEST(Matrix4Rotate, AxisRotationFixesItsAxisAndStaysOrthonormal) {
    const Vector3 axes[] = {Vector3(1, 2, 3), Vector3(-4, 0.5f, 1), Vector3(0, -1, 0)};
    for (Vector3 axis : axes) {
        const Vector3 unit = normalized(axis);
        Matrix4 m = Identity();
        setAxisRotation(m, axis, 37.0f);
        ExpectNear(Transform(m, unit), unit.x, unit.y, unit.z);
        Matrix4 product = rigidInverse(m) * m;
        ExpectNearIdentity(product);
        // Turned by -37 about the same axis: rotate()'s sense.
        const Vector3 p = cross(unit, Vector3(0.3f, 0.1f, -0.7f));
        const Vector3 q = Transform(m, p);
        EXPECT_NEAR(angleBetween(p, q), 37.0f * 3.14159265f / 180.0f, 1e-5f);
        EXPECT_LT(dot(cross(p, q), unit), 0.0f);
    }
}

TEST(Matrix4View, LookAtMatchesGluLookAt) {
    Matrix4 m(3.0f);
    setLookAt(m, Vector3(0, 0, 5), Vector3(0, 0, 0), Vector3(0, 1, 0));
    Matrix4 expected = Identity();
    expected.m[14] = -5.0f;
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m.m[i], expected.m[i]) << i;

    // General case: the eye goes to the origin, the target onto -z at its
    // distance, and up into the upper half of the y-z plane.
    const Vector3 eye(3, 4, 5), target(-1, 2, -6), up(0.1f, 1, 0.2f);
    setLookAt(m, eye, target, up);
    ExpectNear(Transform(m, eye), 0, 0, 0, 1e-5f);
    ExpectNear(Transform(m, target), 0, 0, -distance(eye, target), 1e-5f);
    const Vector3 upSeen = Transform(m, eye + up) - Transform(m, eye);
    EXPECT_NEAR(upSeen.x, 0.0f, 1e-6f);
    EXPECT_GT(upSeen.y, 0.0f);
    // Rigid: the inverse of a view matrix is found by transposition.
    ExpectNearIdentity(rigidInverse(m) * m);
}

TEST(Matrix4View, FacingIsTheInverseOfLookAt) {
    Matrix4 f = facing(Vector3(0, 0, 5), Vector3(0, 0, 0));
    Matrix4 expected = Identity();
    expected.m[14] = 5.0f;
    for (int i = 0; i < 16; ++i) EXPECT_EQ(f.m[i], expected.m[i]) << i;

    const Vector3 eyes[] = {Vector3(3, 4, 5), Vector3(-10, 2, 0.5f), Vector3(0, -3, 8)};
    for (const Vector3& eye : eyes) {
        const Vector3 target(1, 0.5f, -2);
        Matrix4 view(0.0f);
        setLookAt(view, eye, target, Vector3(0, 1, 0));
        ExpectNearIdentity(facing(eye, target) * view, 1e-5f);
        ExpectNearIdentity(view * facing(eye, target), 1e-5f);
    }
}

TEST(Matrix4View, FacingStraightAlongYUsesZUp) {
    Matrix4 f = facing(Vector3(0, 5, 0), Vector3(0, 0, 0));
    ExpectVec(column(f, 0), -1, 0, 0, 0);
    ExpectVec(column(f, 1), 0, 0, 1, 0);
    ExpectVec(column(f, 2), 0, 1, 0, 0);
    ExpectVec(column(f, 3), 0, 5, 0, 1);
    // Still a rotation, not a reflection.
    EXPECT_GT(dot(cross(Vector3(column(f, 0)), Vector3(column(f, 1))), Vector3(column(f, 2))), 0.0f);
}

TEST(Matrix4Inverse, RigidInverseUndoesRigidMotions) {
    const Matrix4 m = SampleRigid();
    ExpectNearIdentity(rigidInverse(m) * m);
    ExpectNearIdentity(m * rigidInverse(m));
    const Vector3 p(2, -3, 4);
    ExpectNear(Transform(rigidInverse(m), Transform(m, p)), p.x, p.y, p.z, 1e-5f);
    // Transposed block, bottom row reset.
    Matrix4 junk = m;
    junk.m[3] = junk.m[7] = junk.m[11] = 9.0f;
    const Matrix4 inverse = rigidInverse(junk);
    EXPECT_EQ(inverse.m[1], m.m[4]);
    EXPECT_EQ(inverse.m[8], m.m[2]);
    EXPECT_EQ(inverse.m[9], m.m[6]);
    EXPECT_EQ(inverse.m[3], 0.0f);
    EXPECT_EQ(inverse.m[15], 1.0f);
}

TEST(Matrix4Shadow, GroundPlaneFigures) {
    const Matrix4 s = planarShadow(Vector4(300, 1500, 300, 1), Vector4(0, 160000, 0, 0));
    for (int i = 0; i < 16; ++i) {
        switch (i) {
            case 0: case 10: case 15: EXPECT_BITS(240000000.0f, s.m[i]); break;
            case 4: case 6: EXPECT_BITS(-48000000.0f, s.m[i]); break;
            case 7: EXPECT_BITS(-160000.0f, s.m[i]); break;
            default: EXPECT_EQ(s.m[i], 0.0f) << i;
        }
    }
}

TEST(Matrix4Shadow, ProjectedPointsLieOnThePlaneAndTheLightRay) {
    const Vector4 plane(0.2f, 1.0f, -0.3f, 4.0f);
    const Vector3 points[] = {Vector3(1, 2, 3), Vector3(-5, 0.5f, 2), Vector3(10, 7, -4)};
    // Point light: on the line from the light through the point.
    const Vector4 light(3, 40, -2, 1);
    const Matrix4 s = planarShadow(light, plane);
    for (const Vector3& p : points) {
        const Vector4 h = p * s;
        const Vector3 q = Vector3(h / h.w);
        EXPECT_NEAR(dot(Vector4(q, 1.0), plane), 0.0f, 1e-3f);
        const Vector3 toPoint = normalized(p - Vector3(light));
        const Vector3 toShadow = normalized(q - Vector3(light));
        ExpectNear(toShadow, toPoint.x, toPoint.y, toPoint.z, 1e-4f);
    }
    // Directional light (w = 0): moved along the light's direction.
    const Vector4 sun(0.5f, 2.0f, 0.25f, 0.0);
    const Matrix4 d = planarShadow(sun, plane);
    for (const Vector3& p : points) {
        const Vector4 h = p * d;
        const Vector3 q = Vector3(h / h.w);
        EXPECT_NEAR(dot(Vector4(q, 1.0), plane), 0.0f, 1e-3f);
        // distance, not length: length() reads a zero vector as 1.
        EXPECT_NEAR(distance(cross(q - p, Vector3(sun)), Vector3()), 0.0f, 1e-3f);
    }
}

TEST(Matrix4Projection, PerspectiveFigures) {
    const Matrix4 p = perspective(60.0f, 1.3333334f, 1.0f, 5000.0f);
    EXPECT_BITS(1.2990381f, p.m[0]);
    EXPECT_BITS(1.7320509f, p.m[5]);
    EXPECT_BITS(0.0f, p.m[8]);
    EXPECT_BITS(0.0f, p.m[9]);
    EXPECT_BITS(-1.0004001f, p.m[10]);
    EXPECT_BITS(-1.0f, p.m[11]);
    EXPECT_BITS(-2.0004001f, p.m[14]);
    EXPECT_BITS(0.0f, p.m[15]);
    for (int i : {1, 2, 3, 4, 6, 7, 12, 13}) EXPECT_EQ(p.m[i], 0.0f) << i;
}

TEST(Matrix4Projection, PerspectiveMapsNearAndFarToTheDepthRange) {
    const Matrix4 p = perspective(45.0f, 2.0f, 0.5f, 100.0f);
    auto ndc = [&](const Vector3& v) {
        const Vector4 h = v * p;
        return Vector3(h / h.w);
    };
    EXPECT_NEAR(ndc(Vector3(0, 0, -0.5f)).z, -1.0f, 1e-5f);
    EXPECT_NEAR(ndc(Vector3(0, 0, -100.0f)).z, 1.0f, 1e-5f);
    // The top edge of the full vertical angle sits at y = 1 (degrees, halved).
    const float top = 10.0f * std::tan(22.5f * 3.14159265f / 180.0f);
    EXPECT_NEAR(ndc(Vector3(0, top, -10.0f)).y, 1.0f, 1e-5f);
    EXPECT_NEAR(ndc(Vector3(2.0f * top, 0, -10.0f)).x, 1.0f, 1e-5f);
}

TEST(Matrix4Projection, FixedDepthPerspective) {
    Matrix4 a(7.0f), b(7.0f);
    setPerspectiveFixedDepth(a, 0.5f, 2.0f, 1.0f);
    setPerspectiveFixedDepth(b, 0.5f, 2.0f, 300.0f);  // near has no effect
    ExpectSameBits(a, b);
    const float f = float(1.0 / std::tan(0.5));  // the angle is used whole
    EXPECT_FLOAT_EQ(a.m[5], f);
    EXPECT_FLOAT_EQ(a.m[0], f / 2.0f);
    EXPECT_EQ(a.m[10], -0.988f);
    EXPECT_EQ(a.m[11], -1.0f);
    EXPECT_EQ(a.m[14], -1.1928f);
    for (int i : {1, 2, 3, 4, 6, 7, 8, 9, 12, 13, 15}) EXPECT_EQ(a.m[i], 0.0f) << i;
    // m0 is (1 / tan) / aspect rounded once: with 1 / tan rounded to float
    // first this angle and aspect give a different float.
    const double cot = 1.0 / std::tan(double(0.003f));
    const float once = float(cot / double(1.3333334f));
    ASSERT_NE(once, float(double(float(cot)) / double(1.3333334f)));
    Matrix4 c(0.0f);
    setPerspectiveFixedDepth(c, 0.003f, 1.3333334f, 1.0f);
    EXPECT_BITS(once, c.m[0]);
    EXPECT_BITS(float(cot), c.m[5]);
    // Depth: -1 at the fixed near distance 0.6, rising towards 0.988.
    auto depth = [&](float z) {
        const Vector4 h = Vector3(0, 0, z) * a;
        return h.z / h.w;
    };
    EXPECT_NEAR(depth(-0.6f), -1.0f, 1e-5f);
    EXPECT_LT(depth(-10.0f), depth(-1000.0f));
    EXPECT_LT(depth(-1e6f), 0.988f);
}

TEST(Matrix4Frame, FromDirectionIsARightHandedOrthonormalFrame) {
    const Vector3 directions[] = {
        Vector3(0, 0, 1),  Vector3(0, 0, -3), Vector3(1, 0, 0),   Vector3(0, 2, 0),
        Vector3(1, 2, 3),  Vector3(-1, 1, 0.2f), Vector3(0.3f, -0.4f, 0.5f), Vector3(0, 1, 1),
        // On either side of the |z| > 0.577 switch.
        Vector3(0.8165f, 0, 0.5773f), Vector3(0.8164f, 0, 0.5775f), Vector3(0, -0.8165f, 0.5772f),
        Vector3(-0.57f, -0.57f, -0.5793f)};
    for (const Vector3& d : directions) {
        Matrix4 m(9.0f);
        setFromDirection(m, d);
        const Vector3 x(column(m, 0)), y(column(m, 1)), z(column(m, 2));
        const Vector3 unit = normalized(d);
        ExpectNear(z, unit.x, unit.y, unit.z, 1e-6f);
        EXPECT_NEAR(length(x), 1.0f, 1e-6f) << toString(d);
        EXPECT_NEAR(length(y), 1.0f, 1e-6f) << toString(d);
        EXPECT_NEAR(dot(x, y), 0.0f, 1e-6f) << toString(d);
        EXPECT_NEAR(dot(x, z), 0.0f, 1e-6f) << toString(d);
        EXPECT_NEAR(dot(y, z), 0.0f, 1e-6f) << toString(d);
        const Vector3 xy = cross(x, y);
        ExpectNear(xy, z.x, z.y, z.z, 1e-6f);
        ExpectVec(column(m, 3), 0, 0, 0, 1);
        EXPECT_EQ(m.m[3], 0.0f);
        EXPECT_EQ(m.m[7], 0.0f);
        EXPECT_EQ(m.m[11], 0.0f);
    }
}

}  // namespace
