#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>

#include "MathTestUtil.h"
#include "math/Geometry.h"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

// ---- Basis ----

TEST(Basis, DefaultsConstructorsAndMatrixConversion) {
    Basis b;
    ExpectVec(b.xAxis, 1, 0, 0);
    ExpectVec(b.yAxis, 0, 1, 0);
    ExpectVec(b.zAxis, 0, 0, 1);
    ExpectVec(b.origin, 0, 0, 0);
    EXPECT_EQ(&b.origin.z - &b.xAxis.x, 11);  // twelve consecutive floats

    Matrix4 m(Vector3(1, 2, 3), Vector3(4, 5, 6), Vector3(7, 8, 9), Vector3(10, 11, 12));
    m.m[3] = m.m[15] = 99.0f;  // the fourth row is not part of a basis
    Basis f(m);
    ExpectVec(f.xAxis, 1, 2, 3);
    ExpectVec(f.yAxis, 4, 5, 6);
    ExpectVec(f.zAxis, 7, 8, 9);
    ExpectVec(f.origin, 10, 11, 12);
    Basis g(Vector3(1, 0, 0), Vector3(0, 0, 1), Vector3(0, -1, 0), Vector3(5, 6, 7));
    Matrix4 back(g.xAxis, g.yAxis, g.zAxis, g.origin);
    ExpectVec(column(back, 2), 0, -1, 0, 0);
    ExpectVec(column(back, 3), 5, 6, 7, 1);
}

// Each axis of unit length, pairwise perpendicular, handedness as given.
void ExpectFrame(const Basis& b, float handedness) {
    EXPECT_NEAR(length(b.xAxis), 1.0f, 1e-5f);
    EXPECT_NEAR(length(b.yAxis), 1.0f, 1e-5f);
    EXPECT_NEAR(length(b.zAxis), 1.0f, 1e-5f);
    EXPECT_NEAR(dot(b.xAxis, b.yAxis), 0.0f, 1e-5f);
    EXPECT_NEAR(dot(b.xAxis, b.zAxis), 0.0f, 1e-5f);
    EXPECT_NEAR(dot(b.yAxis, b.zAxis), 0.0f, 1e-5f);
    EXPECT_NEAR(dot(cross(b.xAxis, b.yAxis), b.zAxis), handedness, 1e-5f);
}

TEST(Basis, TurnsRederiveAxesForAFrameWithXCrossYMinusZ) {
    // The default basis is right-handed; the turn re-derives y as x cross z,
    // so even a turn by nothing flips y. A frame that already has
    // x cross y = -z comes back unchanged.
    Basis b;
    b.origin = Vector3(1, 2, 3);
    rotate(b, 0.0f, 0.0f, 0.0f);
    ExpectVec(b.xAxis, 1, 0, 0);
    ExpectVec(b.yAxis, 0, -1, 0);
    ExpectVec(b.zAxis, 0, 0, 1);
    ExpectVec(b.origin, 1, 2, 3);

    Basis left(Vector3(1, 0, 0), Vector3(0, -1, 0), Vector3(0, 0, 1), Vector3());
    rotate(left, 0.0f, 0.0f, 0.0f);
    ExpectVec(left.xAxis, 1, 0, 0);
    ExpectVec(left.yAxis, 0, -1, 0);
    ExpectVec(left.zAxis, 0, 0, 1);
}

TEST(Basis, EachStepTurnsTheNamedAxesByItsAngleInRadians) {
    const float a = 0.3f;
    const Basis start(Vector3(1, 0, 0), Vector3(0, -1, 0), Vector3(0, 0, 1), Vector3());
    Basis b = start;
    rotate(b, a, 0.0f, 0.0f);  // z towards y, x kept
    EXPECT_NEAR(dot(b.zAxis, start.yAxis), std::sin(a), 1e-6f);
    EXPECT_NEAR(dot(b.zAxis, start.zAxis), std::cos(a), 1e-6f);
    ExpectNear(b.xAxis, 1, 0, 0, 1e-6f);
    ExpectFrame(b, -1.0f);

    b = start;
    rotate(b, 0.0f, a, 0.0f);  // z away from x, y kept
    EXPECT_NEAR(dot(b.zAxis, start.xAxis), -std::sin(a), 1e-6f);
    ExpectNear(b.yAxis, 0, -1, 0, 1e-6f);
    ExpectFrame(b, -1.0f);

    b = start;
    rotate(b, 0.0f, 0.0f, a);  // x towards y, z kept
    EXPECT_NEAR(dot(b.xAxis, start.yAxis), std::sin(a), 1e-6f);
    ExpectNear(b.zAxis, 0, 0, 1, 1e-6f);
    ExpectFrame(b, -1.0f);
}

TEST(Basis, RepeatedTurnsKeepAnOrthonormalFrame) {
    Basis b(Vector3(1, 0, 0), Vector3(0, -1, 0), Vector3(0, 0, 1), Vector3(4, 5, 6));
    for (int i = 0; i < 50; ++i) rotate(b, 0.1f * i, -0.7f, 1.3f);
    ExpectFrame(b, -1.0f);
    ExpectVec(b.origin, 4, 5, 6);
}

// ---- planes ----

TEST(Plane, GroundPlaneFromItsCorners) {
    const Vector3 p1(200, 0, 200), p2(200, 0, -200), p3(-200, 0, -200);
    ExpectVec(planeFromPoints(p1, p2, p3), 0, 160000, 0, 0);
    ExpectVec(planeFromPoints(p1, p3, p2), 0, -160000, 0, 0);
    ExpectVec(planeFromPoints(Vector3(0, 0, 0), Vector3(1, 1, 1), Vector3(3, 3, 3)), 0, 0, 0, 0);
}

TEST(Plane, ThroughItsPointsWithCounterClockwiseNormal) {
    const Vector3 p1(1, 2, 3), p2(4, -1, 0.5f), p3(-2, 5, 7);
    const Vector4 plane = planeFromPoints(p1, p2, p3);
    for (const Vector3& p : {p1, p2, p3}) EXPECT_NEAR(dot(Vector4(p, 1.0), plane), 0.0f, 1e-3f);
    const Vector3 n = cross(p2 - p1, p3 - p1);  // twice the area, not unit
    ExpectNear(Vector3(plane), n.x, n.y, n.z, 1e-4f);
    EXPECT_FLOAT_EQ(plane.w, planeOffset(Vector3(plane), p1));
    EXPECT_EQ(planeOffset(Vector3(0, 1, 0), Vector3(7, 3, 9)), -3.0f);
}

TEST(Plane, ClassifyPointAgainstPlane) {
    float dist = 123.0f;
    const Vector3 n(0, 2, 0), q(5, 1, 5);  // y = 1, normal of length 2
    EXPECT_EQ(classifyPointPlane(Vector3(0, 4, 0), n, q, 0.0f, dist), kPointAtOrAboveThreshold);
    EXPECT_EQ(dist, 6.0f);  // in units of |n|
    EXPECT_EQ(classifyPointPlane(Vector3(0, 0, 0), n, q, 0.0f, dist), kPointBelowThreshold);
    EXPECT_EQ(dist, -2.0f);
    EXPECT_EQ(classifyPointPlane(Vector3(0, 1, 0), n, q, 0.0f, dist), kPointAtOrAboveThreshold);
    EXPECT_EQ(classifyPointPlane(Vector3(0, 2, 0), n, q, 3.0f, dist), kPointBelowThreshold);
    EXPECT_EQ(classifyPointPlane(Vector3(0, 2.5f, 0), n, q, 3.0f, dist), kPointAtOrAboveThreshold);
    EXPECT_EQ(classifyPointPlane(Vector3(kNaN, 0, 0), Vector3(1, 0, 0), q, 0.0f, dist), kPointUnclassified);
    EXPECT_TRUE(std::isnan(dist));
}

// ---- scalar helpers ----

TEST(FastInverseSqrt, PublishedValues) {
    EXPECT_BITS(0.99830717f, fastInverseSqrt(1.0f));
    EXPECT_BITS(0.49915358f, fastInverseSqrt(4.0f));
    EXPECT_BITS(0.09984488f, fastInverseSqrt(100.0f));
}

TEST(FastInverseSqrt, WithinTheOneStepErrorOverManyMagnitudes) {
    for (float x = 1e-30f; x < 1e30f; x *= 1.37f) {
        const double exact = 1.0 / std::sqrt(double(x));
        EXPECT_NEAR(fastInverseSqrt(x) / exact, 1.0, 0.0018) << x;
    }
}

TEST(FastInverseSqrt, NegativeInputsNearZeroWrapInsteadOfOverflowing) {
    // -0 has the bit pattern of INT_MIN; 0x5F3759DF - (INT_MIN >> 1) does not
    // fit an int. The estimate wraps to 0x9F3759DF and the Newton step with
    // half = -0 multiplies it by 1.5.
    const double estimate = std::bit_cast<float>(0x9F3759DFu);
    EXPECT_BITS(float(estimate * 1.5), fastInverseSqrt(-0.0f));
    EXPECT_TRUE(std::isfinite(fastInverseSqrt(-0.1f)));
    EXPECT_BITS(float(double(std::bit_cast<float>(0x5F3759DFu)) * 1.5), fastInverseSqrt(0.0f));
}

TEST(Cotangent, RadiansAndSinglePrecision) {
    EXPECT_BITS(0.99999994f, cotangent(3.14159265358979f / 4.0f));
    EXPECT_NEAR(cotangent(1.0f), 0.64209262f, 1e-7f);  // radians, not degrees
}

TEST(ScaledByDifference, DifferenceIsRoundedBeforeTheProduct) {
    const float a = 1.011f, b = 1.1e-8f, v = 3.11f;
    const float roundedFirst = float(double(v) * float(double(a) - b));
    ASSERT_NE(roundedFirst, float(double(v) * (double(a) - b)));
    Vector3 result(9, 9, 9);
    scaledByDifference(Vector3(v, 2, -4), a, b, result);
    EXPECT_BITS(roundedFirst, result.x);
    scaledByDifference(Vector3(1, 2, -4), 5.0f, 3.0f, result);  // a - b, not b - a
    ExpectVec(result, 2, 4, -8);
}

// ---- triangles and segments ----

const Vector3 kTriangle[3] = {Vector3(0, 0, 0), Vector3(1, 0, 0), Vector3(0, 1, 0)};

TEST(Triangle, NormalIsUnitAndFollowsTheWinding) {
    ExpectVec(triangleNormal(kTriangle), 0, 0, 1);
    const Vector3 reversed[3] = {kTriangle[0], kTriangle[2], kTriangle[1]};
    ExpectVec(triangleNormal(reversed), 0, 0, -1);
    const Vector3 big[3] = {Vector3(0, 0, 0), Vector3(0, 0, 10), Vector3(0, 10, 0)};
    ExpectVec(triangleNormal(big), -1, 0, 0);
    const Vector3 same[3] = {Vector3(2, 2, 2), Vector3(2, 2, 2), Vector3(2, 2, 2)};
    ExpectVec(triangleNormal(same), 0, 0, 0);
}

TEST(Triangle, ClosestPointOnSegment) {
    const Vector3 a(1, 1, 1), b(5, 1, 1);
    ExpectVec(closestPointOnSegment(a, a, Vector3(9, 9, 9)), 1, 1, 1);
    ExpectVec(closestPointOnSegment(a, b, Vector3(7, 3, 0)), 5, 1, 1);  // beyond b: b exactly
    ExpectVec(closestPointOnSegment(a, b, Vector3(-7, 3, 0)), 1, 1, 1);
    ExpectNear(closestPointOnSegment(a, b, Vector3(2.5f, 8, -3)), 2.5f, 1, 1, 1e-6f);
    ExpectVec(closestPointOnSegment(a, b, Vector3(kNaN, 0, 0)), 1, 1, 1);
    const Vector3 onSkew = closestPointOnSegment(Vector3(0, 0, 0), Vector3(2, 2, 0), Vector3(2, 0, 5));
    ExpectNear(onSkew, 1, 1, 0, 1e-6f);
}

TEST(Triangle, SegmentThroughThePlaneAndTheTriangle) {
    const Vector3 segment[2] = {Vector3(0.2f, 0.2f, -1), Vector3(0.2f, 0.2f, 1)};
    Vector3 normal(9, 9, 9);
    float d = 9.0f;
    EXPECT_EQ(segmentCrossesPlane(kTriangle, segment, normal, d), -1);
    ExpectVec(normal, 0, 0, 1);
    EXPECT_BITS(-0.0f, d);
    Vector3 hit(9, 9, 9);
    EXPECT_EQ(segmentHitsTriangle(kTriangle, segment, hit), -1);
    ExpectVec(hit, 0.2f, 0.2f, 0);

    const Vector3 beside[2] = {Vector3(2, 2, -1), Vector3(2, 2, 1)};
    EXPECT_EQ(segmentCrossesPlane(kTriangle, beside, normal, d), -1);
    EXPECT_EQ(segmentHitsTriangle(kTriangle, beside, hit), 0);
    ExpectVec(hit, 2, 2, 0);  // the plane was crossed, so hit is written
}

TEST(Triangle, SegmentEndingOnOrStayingOffThePlaneDoesNotCross) {
    Vector3 normal, hit(9, 9, 9);
    float d = 9.0f;
    const Vector3 touching[2] = {Vector3(0.2f, 0.2f, 0), Vector3(0.2f, 0.2f, 1)};
    EXPECT_EQ(segmentCrossesPlane(kTriangle, touching, normal, d), 0);
    const Vector3 above[2] = {Vector3(0.2f, 0.2f, 0.5f), Vector3(0.2f, 0.2f, 1)};
    normal = Vector3(7, 7, 7);
    EXPECT_EQ(segmentCrossesPlane(kTriangle, above, normal, d), 0);
    ExpectVec(normal, 0, 0, 1);  // written even when false
    EXPECT_EQ(segmentHitsTriangle(kTriangle, above, hit), 0);
    ExpectVec(hit, 9, 9, 9);  // not written
    // Distances so small their product underflows float still cross.
    const Vector3 tiny[2] = {Vector3(0.2f, 0.2f, -1e-25f), Vector3(0.2f, 0.2f, 1e-25f)};
    EXPECT_EQ(segmentCrossesPlane(kTriangle, tiny, normal, d), -1);
}

TEST(Triangle, LinePlaneIntersection) {
    const Vector3 parallel[2] = {Vector3(3, 4, 5), Vector3(6, 4, 5)};
    ExpectVec(linePlaneIntersection(Vector3(0, 1, 0), parallel, -1.0f), 3, 4, 5);
    // The infinite line: the point need not lie between the ends.
    const Vector3 away[2] = {Vector3(1, 5, 2), Vector3(1, 3, 2)};
    ExpectNear(linePlaneIntersection(Vector3(0, 1, 0), away, -1.0f), 1, 1, 2, 1e-6f);
    const Vector3 slanted[2] = {Vector3(0, 0, 0), Vector3(1, 1, 1)};
    ExpectNear(linePlaneIntersection(Vector3(0, 0, 2), slanted, -6.0f), 3, 3, 3, 1e-5f);
}

TEST(Triangle, SameSideAndPointInTriangle) {
    const Vector3 b(0, 0, 0), c(4, 0, 0);
    EXPECT_EQ(sameSide(Vector3(1, 1, 0), Vector3(3, 5, 0), b, c), -1);
    EXPECT_EQ(sameSide(Vector3(1, -1, 0), Vector3(3, 5, 0), b, c), 0);
    EXPECT_EQ(sameSide(Vector3(2, 0, 0), Vector3(3, 5, 0), b, c), -1);  // on the line

    EXPECT_EQ(pointInTriangle(Vector3(0.25f, 0.25f, 0), kTriangle), -1);
    EXPECT_EQ(pointInTriangle(Vector3(1, 0, 0), kTriangle), -1);        // corner
    EXPECT_EQ(pointInTriangle(Vector3(0.5f, 0.5f, 0), kTriangle), -1);  // edge midpoint
    EXPECT_EQ(pointInTriangle(Vector3(0.6f, 0.6f, 0), kTriangle), 0);
    EXPECT_EQ(pointInTriangle(Vector3(-0.1f, 0.5f, 0), kTriangle), 0);
    EXPECT_EQ(pointInTriangle(Vector3(0.2f, 0.2f, 3), kTriangle), -1);  // judged by its projection
}

TEST(Triangle, CollinearTriangleHoldsOnlyItsEdges) {
    // Every same-side test passes for collinear corners, whatever the point.
    const Vector3 line[3] = {Vector3(0, 0, 0), Vector3(1, 0, 0), Vector3(2, 0, 0)};
    EXPECT_EQ(pointInTriangle(Vector3(0, 5, 0), line), 0);
    EXPECT_EQ(pointInTriangle(Vector3(3, 0, 0), line), 0);
    EXPECT_EQ(pointInTriangle(Vector3(1.5f, 0, 0), line), -1);
    EXPECT_EQ(pointInTriangle(Vector3(0, 0, 0), line), -1);
    const Vector3 point[3] = {Vector3(1, 2, 3), Vector3(1, 2, 3), Vector3(1, 2, 3)};
    EXPECT_EQ(pointInTriangle(Vector3(1, 2, 3), point), -1);
    EXPECT_EQ(pointInTriangle(Vector3(1, 2, 4), point), 0);
}

TEST(Triangle, SphereAgainstEdgesOnly) {
    const Vector3 big[3] = {Vector3(-10, -10, 0), Vector3(10, -10, 0), Vector3(0, 10, 0)};
    EXPECT_EQ(sphereTouchesTriangleEdges(Vector3(0, 0, 0), big, 1.0f), 0);  // cuts the face only
    EXPECT_EQ(sphereTouchesTriangleEdges(Vector3(0, -9.5f, 0), big, 1.0f), -1);
    EXPECT_EQ(sphereTouchesTriangleEdges(Vector3(0, 11, 0), big, 1.5f), -1);  // near a corner
    EXPECT_EQ(sphereTouchesTriangleEdges(Vector3(0, -12, 0), big, 2.0f), 0);  // exactly 2 away
    EXPECT_EQ(sphereTouchesTriangleEdges(Vector3(0, -12, 0), big, 2.0001f), -1);
}

// ---- 2-D triangle table ----

struct Point2DCase {
    int px, py;
    Vector2 a, b, c;
    int expected;
};

void PrintTo(const Point2DCase& k, std::ostream* out) {
    *out << "(" << k.px << ", " << k.py << ") in " << toString(k.a) << " / " << toString(k.b) << " / "
         << toString(k.c);
}

class PointInTriangle2D : public ::testing::TestWithParam<Point2DCase> {};

TEST_P(PointInTriangle2D, Classifies) {
    const Point2DCase& k = GetParam();
    EXPECT_EQ(pointInTriangle2D(k.px, k.py, k.a, k.b, k.c), k.expected);
}

const Vector2 A(0, 0), B(4, 0), C(0, 4);
INSTANTIATE_TEST_SUITE_P(
    Geometry, PointInTriangle2D,
    ::testing::Values(Point2DCase{1, 1, A, B, C, 1}, Point2DCase{2, 0, A, B, C, 2},
                      Point2DCase{0, 2, A, B, C, 3}, Point2DCase{2, 2, A, B, C, 4},
                      Point2DCase{0, 0, A, B, C, 0}, Point2DCase{4, 0, A, B, C, 0},
                      Point2DCase{3, 3, A, B, C, 0}, Point2DCase{-1, 1, A, B, C, 0},
                      // The other winding gives the same answers.
                      Point2DCase{1, 1, A, C, B, 1}, Point2DCase{2, 0, A, C, B, 3},
                      Point2DCase{2, 2, A, C, B, 4}, Point2DCase{0, 2, A, C, B, 2},
                      // Area 0.09 rounds to 0: nothing is inside.
                      Point2DCase{0, 0, A, Vector2(0.3f, 0.0f), Vector2(0.0f, 0.3f), 0},
                      // Doubled area 0.5 rounds to 0 (ties to even), 1.5 to 2.
                      Point2DCase{0, 0, Vector2(-0.5f, -0.25f), Vector2(0.5f, -0.25f), Vector2(0.0f, 0.25f), 0},
                      Point2DCase{0, 0, Vector2(-0.75f, -0.5f), Vector2(0.75f, -0.5f), Vector2(0.0f, 0.5f), 1},
                      Point2DCase{0, 0, Vector2(kNaN, 0.0f), B, C, 0}));

// ---- boxes and curves ----

TEST(Boxes, TouchingOverlapsAndEachAxisSeparates) {
    const Vector2 min0(0, 0), max0(1, 1);
    EXPECT_EQ(boxesOverlap2D(min0, max0, Vector2(1, 1), Vector2(2, 2)), -1);
    EXPECT_EQ(boxesOverlap2D(min0, max0, Vector2(1.5f, 0), Vector2(2, 1)), 0);
    EXPECT_EQ(boxesOverlap2D(min0, max0, Vector2(0, -3), Vector2(1, -0.5f)), 0);
    EXPECT_EQ(boxesOverlap2D(min0, max0, Vector2(-5, -5), Vector2(5, 5)), -1);  // containing

    const Vector3 lo(0, 0, 0), hi(1, 1, 1);
    EXPECT_EQ(boxesOverlap3D(lo, hi, Vector3(1, 1, 1), Vector3(2, 2, 2)), -1);
    EXPECT_EQ(boxesOverlap3D(lo, hi, Vector3(0.5f, 0.5f, 1.5f), Vector3(2, 2, 2)), 0);
    EXPECT_EQ(boxesOverlap3D(lo, hi, Vector3(0.5f, 0.5f, -2), Vector3(2, 2, -0.1f)), 0);
    EXPECT_EQ(boxesOverlap3D(lo, hi, Vector3(-2, 0.5f, 0.5f), Vector3(-1, 2, 2)), 0);
    EXPECT_EQ(boxesOverlap3D(lo, hi, Vector3(0.2f, 0.2f, 0.2f), Vector3(0.3f, 0.3f, 0.3f)), -1);
}

TEST(Bezier, EndsAndMidpoint) {
    const Vector3 curve[4] = {Vector3(0, 0, 0), Vector3(0, 1, 0), Vector3(1, 0, 0), Vector3(1, 1, 0)};
    ExpectVec(bezierPoint(curve, 0.0f), 0, 0, 0);
    ExpectNear(bezierPoint(curve, 1.0f), 1, 0, 0, 1e-6f);
    ExpectVec(bezierPoint(curve, 0.5f), 0.5f, 0.75f, 0);
    const Vector3 wavy[4] = {Vector3(1, -2, 3), Vector3(4, 5, -6), Vector3(-7, 8, 9), Vector3(2, 2, 2)};
    ExpectNear(bezierPoint(wavy, 0.0f), 1, -2, 3, 1e-6f);
    ExpectNear(bezierPoint(wavy, 1.0f), -7, 8, 9, 1e-5f);
    // Standard form with P[3] as the second inner control point.
    const float t = 0.3f, s = 1.0f - t;
    const Vector3 p = bezierPoint(wavy, t);
    const float x = s * s * s * 1 + 3 * s * s * t * 4 + 3 * s * t * t * 2 + t * t * t * -7;
    EXPECT_NEAR(p.x, x, 1e-5f);
}

}  // namespace
