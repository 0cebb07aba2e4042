#include <bit>
#include <cmath>

#include "MathTestUtil.h"

namespace {

const Vector3 kTriangle[3] = {Vector3(0, 0, 0), Vector3(1, 0, 0), Vector3(0, 1, 0)};

// The axes as a matrix, with x cross y = -z checked on the way.
Matrix4 Frame(const Basis& b) {
    ExpectNear(cross(b.xAxis, b.yAxis), Floats(-b.zAxis), 1e-5f);
    return Matrix4(b.xAxis, b.yAxis, b.zAxis, b.origin);
}

TEST(Basis, TurnsRederiveTheAxesOfAFrameWithXCrossYMinusZ) {
    EXPECT_VEC(Basis(Matrix4(Vector3(1, 2, 3), Vector3(4, 5, 6), Vector3(7, 8, 9), Vector3())).zAxis, 7, 8, 9);
    Basis b;  // right-handed: even a turn by nothing re-derives y
    b.origin = Vector3(1, 2, 3);
    rotate(b, 0.0f, 0.0f, 0.0f);
    EXPECT_VEC(Frame(b), 1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1);
    // Turned by 0.3, -0.5, 0.7 from a frame of that convention: the three steps worked in double.
    b = Basis(Vector3(1, 0, 0), Vector3(0, -1, 0), Vector3(0, 0, 1), Vector3());
    rotate(b, 0.3f, -0.5f, 0.7f);
    ExpectNear(Frame(b), {0.671212f, -0.507082f, -0.540687f, 0, -0.565354f, -0.821954f, 0.0690336f, 0, 0.479426f,
                          -0.259343f, 0.838387f, 0, 0, 0, 0, 1});
}

TEST(Geometry, PlanesBoxesCurvesAndScalarHelpers) {
    EXPECT_VEC(planeFromPoints(Vector3(1, 1, 1), Vector3(2, 2, 2), Vector3(4, 4, 4)), 0, 0, 0, 0);
    EXPECT_VEC(planeFromPoints(Vector3(1, 2, 3), Vector3(2, 2, 4), Vector3(1, 3, 0)), -1, 3, 1, -8);
    // The plane y = 1 with a normal of length 2: (y, threshold, class, distance);
    // classes 2 at or above, 1 below, 0 unclassified.
    const float cases[][4] = {{4, 0, 2, 6}, {0, 0, 1, -2},   {1, 0, 2, 0},
                              {2, 3, 1, 2}, {2.5f, 3, 2, 3}, {kNaN, 0, 0, kNaN}};
    for (const auto& [y, threshold, expected, distance] : cases) {
        float dist = 123.0f;
        EXPECT_EQ(classifyPointPlane(Vector3(0, y, 0), Vector3(0, 2, 0), Vector3(5, 1, 5), threshold, dist), expected);
        EXPECT_TRUE(dist == distance || (std::isnan(dist) && std::isnan(distance))) << y << " gives " << dist;
    }
    // -0 has the bits of INT_MIN: the estimate wraps to 0x9F3759DF, which the
    // Newton step with half = -0 multiplies by 1.5.
    EXPECT_EQ((Fs{fastInverseSqrt(1.0f), fastInverseSqrt(4.0f), fastInverseSqrt(100.0f), fastInverseSqrt(-0.0f),
                  planeOffset(Vector3(1, 2, 3), Vector3(4, -5, 6)), cotangent(0.78539819f), cotangent(1.0f)}),
              (Fs{0.99830717f, 0.49915358f, 0.09984488f, float(double(std::bit_cast<float>(0x9F3759DFu)) * 1.5), -12,
                  0.99999994f, 0.64209262f}));  // cotangent takes radians
    for (float x = 1e-30f; x < 1e30f; x *= 1.37f) EXPECT_NEAR(fastInverseSqrt(x) * std::sqrt(double(x)), 1.0, 0.0018);
    const float a = 1.011f, b = 1.1e-8f, v = 3.11f, k = float(double(a) - b);  // a - b rounded first
    ASSERT_NE(float(double(v) * k), float(double(v) * (double(a) - b)));
    Vector3 result;
    scaledByDifference(Vector3(v, 2, -4), a, b, result);
    EXPECT_VEC(result, float(double(v) * k), 2 * k, -4 * k);
    // Against the unit box: touching at either corner overlaps; each side of each axis separates.
    const Vector3 boxes[][2] = {{{1, 1, 1}, {2, 2, 2}},      {{-2, -2, -2}, {0, 0, 0}},   {{-3, 0, 0}, {-0.5f, 1, 1}},
                                {{1.5f, 0, 0}, {2, 1, 1}},   {{0, -3, 0}, {1, -0.5f, 1}}, {{0, 1.5f, 0}, {1, 2, 1}},
                                {{0, 0, -3}, {1, 1, -0.5f}}, {{0, 0, 1.5f}, {1, 1, 2}}};
    for (int i = 0; i < 8; ++i) {
        const Vector3 &from = boxes[i][0], &to = boxes[i][1];
        EXPECT_EQ(boxesOverlap3D(Vector3(0, 0, 0), Vector3(1, 1, 1), from, to), i < 2 ? -1 : 0) << i;
        const int flat = i < 6 ? boxesOverlap2D(Vector2(0, 0), Vector2(1, 1), Vector2(from), Vector2(to)) : 0;
        EXPECT_EQ(flat, i < 2 ? -1 : 0) << i;
    }
    // P[0] the start, P[2] the end, P[1] and P[3] the controls:
    // (1 - t)^3 P0 + 3 (1 - t)^2 t P1 + 3 (1 - t) t^2 P3 + t^3 P2.
    const Vector3 curve[4] = {Vector3(1, -2, 3), Vector3(4, 5, -6), Vector3(-7, 8, 9), Vector3(2, 2, 2)};
    ExpectNear(bezierPoint(curve, 1.0f), {-7, 8, 9});
    ExpectNear(bezierPoint(curve, 0.5f), {1.5f, 3.375f, 0});
}

TEST(Triangle, NormalsClosestPointsEdgesAndSegments) {
    const Vector3 big[3] = {Vector3(0, 0, 0), Vector3(0, 0, 10), Vector3(0, 10, 0)}, same[3] = {};
    EXPECT_VEC(triangleNormal(kTriangle), 0, 0, 1);
    EXPECT_VEC(triangleNormal(big), -1, 0, 0);
    EXPECT_VEC(triangleNormal(same), 0, 0, 0);
    const Vector3 a(1, 1, 1), b(5, 1, 1);
    EXPECT_VEC(closestPointOnSegment(a, b, Vector3(7, 3, 0)), 5, 1, 1);
    for (const auto& [end, p] : {std::pair{a, Vector3(9, 9, 9)}, {b, Vector3(-7, 3, 0)}, {b, Vector3(kNaN, 0, 0)}})
        EXPECT_VEC(closestPointOnSegment(a, end, p), 1, 1, 1);
    ExpectNear(closestPointOnSegment(Vector3(0, 0, 0), Vector3(2, 2, 0), Vector3(2, 0, 5)), {1, 1, 0}, 1e-6f);
    // Only the edges count; exactly the radius away does not touch.
    const Vector3 wide[3] = {Vector3(-10, -10, 0), Vector3(10, -10, 0), Vector3(0, 10, 0)};
    const float spheres[][4] = {{0, 0, 1, 0},   {0, -9.5f, 1, -1},     {0, 11, 1.5f, -1},
                                {0, -12, 2, 0}, {0, -12, 2.0001f, -1}, {-6, 0, 1, -1}};  // the last: edge 2-0 alone
    for (const auto& [x, y, radius, touches] : spheres)
        EXPECT_EQ(sphereTouchesTriangleEdges(Vector3(x, y, 0), wide, radius), touches) << x << ", " << y;
    // (x = y, z of the ends, crosses, hits); hit is written only when the
    // plane is crossed. Distances whose product underflows float still cross.
    const float cases[][5] = {{0.2f, -1, 1, -1, -1},
                              {2, -1, 1, -1, 0},
                              {0.2f, 0, 1, 0, 0},
                              {0.2f, 0.5f, 1, 0, 0},
                              {0.2f, -1e-25f, 1e-25f, -1, -1}};
    for (const auto& [x, z0, z1, crosses, hits] : cases) {
        const Vector3 segment[2] = {Vector3(x, x, z0), Vector3(x, x, z1)};
        Vector3 normal(7, 7, 7), hit(9, 9, 9);
        float d = 7.0f;
        EXPECT_EQ(segmentCrossesPlane(kTriangle, segment, normal, d), crosses) << x << ", " << z0;
        EXPECT_VEC(normal, 0, 0, 1);  // written either way
        EXPECT_TRUE(d == 0 && std::signbit(d)) << d;
        EXPECT_EQ(segmentHitsTriangle(kTriangle, segment, hit), hits) << x << ", " << z0;
        ExpectNear(hit, crosses ? Fs{x, x, 0} : Fs{9, 9, 9}, 1e-6f);
    }
    const Vector3 parallel[2] = {Vector3(3, 4, 5), Vector3(6, 4, 5)}, slanted[2] = {Vector3(0, 0, 0), Vector3(1, 1, 1)};
    EXPECT_VEC(linePlaneIntersection(Vector3(0, 1, 0), parallel, -1.0f), 3, 4, 5);
    ExpectNear(linePlaneIntersection(Vector3(0, 0, 2), slanted, -6.0f), {3, 3, 3});  // beyond the ends
}

TEST(Triangle, PointsInsideOnEdgesAndOnCollinearCorners) {
    const Vector3 up(3, 5, 0), line[3] = {Vector3(), Vector3(1, 0, 0), Vector3(2, 0, 0)}, point[3] = {up, up, up};
    const struct {
        Vector3 p;
        const Vector3 (&triangle)[3];
        int expected;
    } cases[] = {{{0.25f, 0.25f, 0}, kTriangle, -1},
                 {{1, 0, 0}, kTriangle, -1},
                 {{0.5f, 0.5f, 0}, kTriangle, -1},
                 {{0.6f, 0.6f, 0}, kTriangle, 0},
                 {{-0.1f, 0.5f, 0}, kTriangle, 0},
                 {{0.2f, 0.2f, 3}, kTriangle, -1},
                 {{0, 5, 0}, line, 0},
                 {{3, 0, 0}, line, 0},
                 {{1.5f, 0, 0}, line, -1},
                 {{0, 0, 0}, line, -1},
                 {up, point, -1},
                 {{3, 5, 1}, point, 0}};
    for (const auto& k : cases) EXPECT_EQ(pointInTriangle(k.p, k.triangle), k.expected) << toString(k.p);
    // Whole-number points in 2-D, both windings: 1 inside, 2 to 4 on an edge.
    const Vector2 A(0, 0), B(4, 0), C(0, 4);
    const struct {
        int px, py;
        Vector2 a, b, c;
        int expected;
    } flat[] = {{1, 1, A, B, C, 1},
                {2, 0, A, B, C, 2},
                {0, 2, A, B, C, 3},
                {2, 2, A, B, C, 4},
                {0, 0, A, B, C, 0},
                {4, 0, A, B, C, 0},
                {3, 3, A, B, C, 0},
                {-1, 1, A, B, C, 0},
                {1, 1, A, C, B, 1},
                {2, 0, A, C, B, 3},
                {2, 2, A, C, B, 4},
                {0, 2, A, C, B, 2},
                {0, 0, {kNaN, 0}, B, C, 0},
                {0, 0, A, {0.3f, 0}, {0, 0.3f}, 0},  // area 0.09 rounds to 0: nothing inside
                // Doubled area 0.5 rounds to 0 (ties to even), 1.5 to 2.
                {0, 0, {-0.5f, -0.25f}, {0.5f, -0.25f}, {0, 0.25f}, 0},
                {0, 0, {-0.75f, -0.5f}, {0.75f, -0.5f}, {0, 0.5f}, 1}};
    for (const auto& k : flat)
        EXPECT_EQ(pointInTriangle2D(k.px, k.py, k.a, k.b, k.c), k.expected) << "row " << &k - flat;
}

}  // namespace
