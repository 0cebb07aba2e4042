#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "MathTestUtil.h"
#include "math/Vector.h"

namespace {

const float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(Vector, ArraysAreContiguousFloatsForGl) {
    Vector3 points[2] = {Vector3(1, 2, 3), Vector3(4, 5, 6)};
    const float* f = &points[0].x;  // what glVertex3fv receives
    for (int i = 0; i < 6; ++i) EXPECT_EQ(f[i], float(i + 1));
    Vector4 colour(0.1f, 0.2f, 0.3f, 0.4);
    EXPECT_EQ((&colour.x)[3], 0.4f);
}

TEST(Vector, DefaultsAreZeroIncludingW) {
    ExpectVec(Vector2(), 0, 0);
    ExpectVec(Vector3(), 0, 0, 0);
    ExpectVec(Vector4(), 0, 0, 0, 0);
}

TEST(Vector, DoubleComponentsAreRoundedToFloat) {
    ExpectVec(Vector2(0.1, 0.2), 0.1f, 0.2f);
    EXPECT_BITS(0.1f, Vector4(1, 2, 3, 0.1).w);
    EXPECT_BITS(0.1f, Vector4(Vector3(1, 2, 3), 0.1).w);
    ExpectVec(Vector4(Vector3(1, 2, 3), 0.1), 1, 2, 3, 0.1f);
}

TEST(Vector, ConversionsDropOrAddComponents) {
    ExpectVec(Vector2(Vector3(1, 2, 3)), 1, 2);
    ExpectVec(Vector3(Vector4(1, 2, 3, 4)), 1, 2, 3);
}

TEST(Vector, OperatorsAreComponentWiseWithScalarOnTheRight) {
    ExpectVec(Vector3(1, 2, 3) - Vector3(4, 6, 8), -3, -4, -5);  // a minus b, not b minus a
    ExpectVec(Vector3(1, 2, 3) * Vector3(2, 3, 4), 2, 6, 12);
    ExpectVec(Vector3(1, 2, 3) / Vector3(2, 4, 8), 0.5f, 0.5f, 0.375f);
    ExpectVec(Vector2(1, 2) / Vector2(4, 8), 0.25f, 0.25f);
    ExpectVec(Vector4(1, 2, 3, 4) - Vector4(1, 1, 1, 1), 0, 1, 2, 3);
    ExpectVec(Vector4(8, 6, 4, 2) / Vector4(2, 2, 2, 2), 4, 3, 2, 1);
    ExpectVec(-Vector3(1, -2, 0), -1, 2, -0.0f);
    ExpectVec(-Vector4(1, 2, 3, 4), -1, -2, -3, -4);
    ExpectVec(Vector3(1, 2, 3) - 1.0f, 0, 1, 2);
    ExpectVec(Vector2(1, 2) + 1.0f, 2, 3);
    // Scalars reach every component, w included.
    ExpectVec(Vector4(1, 2, 3, 4) + 1.0f, 2, 3, 4, 5);
    ExpectVec(Vector4(1, 2, 3, 4) * 2.0f, 2, 4, 6, 8);
    ExpectVec(Vector4(2, 4, 6, 8) / 2, 1, 2, 3, 4);
    ExpectVec(Vector4(2, 4, 6, 8) / 2.0, 1, 2, 3, 4);
}

// Forms the operator table leaves out do not compile, rather than reaching
// another overload through a conversion. (Concepts, so that a missing form
// reads as false instead of a compile error.)
template <class V> concept Negates = requires(V a) { -a; };
template <class V, class S> concept SubtractsScalar = requires(V a, S s) { a - s; };
template <class V, class S> concept ScalarOnTheLeft = requires(V a, S s) { s * a; };
template <class V> concept AddsInPlace = requires(V a, V b) { a += b; };
template <class V, class S> concept MultipliesInPlace = requires(V a, S s) { a *= s; };
template <class V, class S> concept DividesInPlace = requires(V a, S s) { a /= s; };

TEST(Vector, FormsThatDoNotExist) {
    static_assert(!Negates<Vector2> && Negates<Vector3> && Negates<Vector4>);
    static_assert(!SubtractsScalar<Vector2, float> && SubtractsScalar<Vector3, float>);
    static_assert(!SubtractsScalar<Vector4, float>);
    static_assert(!ScalarOnTheLeft<Vector3, float>);
    static_assert(!AddsInPlace<Vector2> && AddsInPlace<Vector3> && !AddsInPlace<Vector4>);
    static_assert(!MultipliesInPlace<Vector2, float> && MultipliesInPlace<Vector4, float>);
    static_assert(!DividesInPlace<Vector2, int> && !DividesInPlace<Vector4, int>);
    // In place a Vector3 takes a whole number only: 0.5f must not become 0.
    static_assert(DividesInPlace<Vector3, int> && DividesInPlace<Vector3, long>);
    static_assert(!DividesInPlace<Vector3, float> && !DividesInPlace<Vector3, double>);
    SUCCEED();
}

TEST(Vector, InPlaceFormsChangeOnlyTheirOperand) {
    Vector3 a(1, 2, 3);
    const Vector3 b(10, 20, 30);
    Vector3 sum = a + b;
    ExpectVec(a, 1, 2, 3);
    a += b;
    ExpectVec(a, sum.x, sum.y, sum.z);
    ExpectVec(b, 10, 20, 30);

    Vector3 c(2, 4, 6);
    c /= 2;
    ExpectVec(c, 1, 2, 3);
    c *= 3.0f;
    ExpectVec(c, 3, 6, 9);

    Vector4 d(1, 2, 3, 4);
    d *= 0.5f;
    ExpectVec(d, 0.5f, 1, 1.5f, 2);
}

TEST(Vector, IntDivisorIsUsedExactly) {
    // 16777217 has no float; turned into a float first it would be 16777216
    // and the quotient exactly 1.
    Vector2 v = Vector2(16777216.0f, 0.0f) / 16777217;
    EXPECT_LT(v.x, 1.0f);
    EXPECT_BITS(float(16777216.0 / 16777217.0), v.x);
    Vector3 w(16777216.0f, 0, 0);
    w /= 16777217;
    EXPECT_LT(w.x, 1.0f);
}

TEST(Vector, DoubleScalarIsNotRoundedBeforeTheProduct) {
    // 0.005f * 0.1 rounds differently from 0.005f * 0.1f.
    const float viaDouble = float(double(0.005f) * 0.1);
    ASSERT_NE(viaDouble, 0.005f * 0.1f);
    EXPECT_BITS(viaDouble, (Vector2(0.005f, 0.0f) * 0.1).x);
    EXPECT_BITS(viaDouble, (Vector3(0.005f, 0, 0) * 0.1).x);
    EXPECT_BITS(0.005f * 0.1f, (Vector3(0.005f, 0, 0) * 0.1f).x);
}

TEST(Vector, DivisionByZeroFollowsIeee) {
    Vector2 v = Vector2(1.0f, 1.0f) / 0;
    EXPECT_EQ(v.x, kInf);
    EXPECT_EQ(v.y, kInf);
    Vector3 w = Vector3(-1, 0, 1) / 0.0f;
    EXPECT_EQ(w.x, -kInf);
    EXPECT_TRUE(std::isnan(w.y));
    EXPECT_EQ(w.z, kInf);
}

TEST(VectorDot, SumIsRoundedOnceNotPerTerm) {
    // In float 1e8 + 1 is 1e8 again and the sum would be 0.
    EXPECT_EQ(dot(Vector3(1e8f, 1, -1e8f), Vector3(1, 1, 1)), 1.0f);
    EXPECT_EQ(dot(Vector4(1e8f, 1, -1e8f, 2), Vector4(1, 1, 1, 1)), 3.0f);
    EXPECT_EQ(dot(Vector2(3, 4), Vector2(-4, 3)), 0.0f);
}

TEST(VectorLength, GuardGivesOneForZeroAndNaN) {
    EXPECT_EQ(length(Vector2(3, 4)), 5.0f);
    EXPECT_EQ(length(Vector3(2, 3, 6)), 7.0f);
    EXPECT_EQ(length(Vector4(0, 0, 0, 2)), 2.0f);  // w counts
    EXPECT_EQ(length(Vector2()), 1.0f);
    EXPECT_EQ(length(Vector3()), 1.0f);
    EXPECT_EQ(length(Vector4()), 1.0f);
    EXPECT_EQ(length(Vector3(kNaN, 0, 0)), 1.0f);
    // A tiny but non-zero vector is not taken for zero (squared in float it
    // would underflow to 0 and read as 1).
    EXPECT_EQ(length(Vector2(1e-45f, 0)), 1e-45f);
    // Squares are taken in double, so large vectors do not overflow.
    EXPECT_FLOAT_EQ(length(Vector2(1e20f, 1e20f)), 1.41421356e20f);
    EXPECT_EQ(length(Vector3(kInf, 0, 0)), kInf);
}

TEST(VectorLength, NormalizeInPlaceAndNormalizedByValue) {
    Vector2 v(3, 4);
    Vector2 n = normalized(v);
    ExpectVec(v, 3, 4);
    ExpectVec(n, 0.6f, 0.8f);
    normalize(v);
    ExpectVec(v, 0.6f, 0.8f);

    Vector3 zero;
    normalize(zero);
    ExpectVec(zero, 0, 0, 0);
    ExpectVec(normalized(Vector4()), 0, 0, 0, 0);

    Vector4 w(0, 0, 0, 2);
    normalize(w);
    ExpectVec(w, 0, 0, 0, 1);
    EXPECT_FLOAT_EQ(length(normalized(Vector3(1, -7, 3))), 1.0f);
}

TEST(VectorDistance, HasNoGuard) {
    EXPECT_EQ(distance(Vector3(1, 2, 3), Vector3(1, 2, 3)), 0.0f);
    EXPECT_EQ(distance(Vector2(5, 5), Vector2(5, 5)), 0.0f);
    EXPECT_EQ(distance(Vector4(1, 1, 1, 1), Vector4(1, 1, 1, 1)), 0.0f);
    EXPECT_EQ(distance(Vector3(1, 2, 3), Vector3(3, 5, 9)), 7.0f);
    EXPECT_EQ(distance(Vector4(0, 0, 0, 1), Vector4(0, 0, 0, 4)), 3.0f);  // w counts
    EXPECT_EQ(distance(Vector2(-1, -1), Vector2(2, 3)), 5.0f);
}

TEST(VectorCross, AllThreeForms) {
    EXPECT_EQ(cross(Vector2(1, 0), Vector2(0, 1)), 1.0f);
    EXPECT_EQ(cross(Vector2(0, 1), Vector2(1, 0)), -1.0f);
    ExpectVec(cross(Vector3(1, 0, 0), Vector3(0, 1, 0)), 0, 0, 1);
    ExpectVec(cross(Vector3(0, 1, 0), Vector3(1, 0, 0)), 0, 0, -1);
    ExpectVec(cross(Vector3(0, 1, 0), Vector3(0, 0, 1)), 1, 0, 0);
    ExpectVec(cross(Vector4(1, 0, 0, 7), Vector4(0, 1, 0, 3)), 0, 0, 1, 7);  // w from a
    // One wide expression: in float 8193 * 8191 rounds to 8192 * 8192 and the
    // difference cancels to 0.
    EXPECT_EQ(cross(Vector2(8192, 8193), Vector2(8191, 8192)), 1.0f);
    ExpectVec(cross(Vector3(0, 8192, 8193), Vector3(0, 8191, 8192)), 1, 0, 0);
}

TEST(VectorAngle, RadiansWithZeroOperandAsRightAngle) {
    EXPECT_BITS(1.5707964f, angleBetween(Vector2(1, 0), Vector2(0, 2)));
    EXPECT_BITS(1.5707964f, angleBetween(Vector2(), Vector2(0, 2)));
    EXPECT_BITS(1.5707964f, angleBetween(Vector3(0, 0, 3), Vector3()));
    EXPECT_FLOAT_EQ(angleBetween(Vector2(1, 0), Vector2(1, 1)), 0.78539819f);
    EXPECT_FLOAT_EQ(angleBetween(Vector3(1, 0, 0), Vector3(-1, 1, 0)), 2.3561945f);
}

TEST(VectorAngle, ParallelDirectionsGiveZeroOrPiNotNaN) {
    // For many of these vectors dot(v, v) / length(v)^2 rounds above 1; an
    // unclamped cosine would make the angle NaN.
    int clamped = 0;
    for (int i = 1; i <= 2000; ++i) {
        const Vector3 v(float(i) * 0.37f, float(i) * 1.13f, 0.71f * float(i) + 1.0f);
        const Vector2 u(float(i) * 0.37f, float(i) * 1.13f);
        if (dot(v, v) / (double(length(v)) * length(v)) > 1.0) ++clamped;
        const float same = angleBetween(v, v), opposite = angleBetween(v, -v);
        ASSERT_TRUE(same >= 0.0f && same < 1e-3f) << toString(v) << " gives " << same;
        ASSERT_TRUE(opposite <= 3.1415927f && opposite > 3.14f) << toString(v) << " gives " << opposite;
        const float same2 = angleBetween(u, u * 2.0f);
        ASSERT_TRUE(same2 >= 0.0f && same2 < 1e-3f) << toString(u) << " gives " << same2;
    }
    EXPECT_GT(clamped, 10);  // the table does reach the case
    // Where the cosine rounds above 1 the clamp gives exactly 0 and pi.
    const Vector3 v(0.74f, 2.26f, 0.71f * 2.0f + 1.0f);
    ASSERT_GT(dot(v, v) / (double(length(v)) * length(v)), 1.0);
    EXPECT_EQ(angleBetween(v, v), 0.0f);
    EXPECT_BITS(3.1415927f, angleBetween(v, -v));
}

TEST(VectorLineNormal, PointsToTheRightOfTheDirection) {
    ExpectVec(lineNormal(Vector2(0, 0), Vector2(0, 5)), 1, 0);
    ExpectVec(lineNormal(Vector2(0, 5), Vector2(0, 0)), -1, 0);
    ExpectVec(lineNormal(Vector2(1, 1), Vector2(4, 5)), 0.8f, -0.6f);
    Vector2 same = lineNormal(Vector2(2, 3), Vector2(2, 3));
    EXPECT_EQ(same.x, 0.0f);
    EXPECT_EQ(same.y, 0.0f);
}

TEST(VectorText, PercentSevenGPerComponent) {
    EXPECT_EQ(toString(Vector3(1, 2.5f, -0.1f)), "x: 1, y: 2.5, z: -0.1");
    EXPECT_EQ(toString(Vector2(3, 0)), "x: 3, y: 0");
    EXPECT_EQ(toString(Vector4(0.5f, -2, 0.25f, 1234567)), "x: 0.5, y: -2, z: 0.25, w: 1234567");
    EXPECT_EQ(toString(Vector2(12345678.0f, 0.00001f)), "x: 1.234568e+07, y: 1e-05");
    EXPECT_EQ(toString(Vector2(0.0001f, -0.0f)), "x: 0.0001, y: -0");
}

}  // namespace
