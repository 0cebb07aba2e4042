// Frames, planes and intersection tests on top of math/Vector.h and
// math/Matrix4.h.
//
// A plane is a Vector4 (a, b, c, d): the points with a*x + b*y + c*z + d = 0;
// (a, b, c) is its normal, not necessarily unit. Triangles, segments and
// cubic curves are arrays of three, two and four Vector3, taken by reference.
// Predicates return -1 for true and 0 for false; test them for non-zero.
// Angles here are radians (the matrix builders take degrees).
//
// Rounding follows math/Vector.h: each result is rounded to float once; the
// comments say where an intermediate is rounded or kept in double.
#pragma once

#include "math/Matrix4.h"
#include "math/Vector.h"

// A frame of three axes and an origin: twelve consecutive floats.
struct Basis {
    Vector3 xAxis{1.0f, 0.0f, 0.0f};
    Vector3 yAxis{0.0f, 1.0f, 0.0f};
    Vector3 zAxis{0.0f, 0.0f, 1.0f};
    Vector3 origin;

    Basis() = default;
    Basis(const Vector3& xAxis, const Vector3& yAxis, const Vector3& zAxis, const Vector3& origin)
        : xAxis(xAxis), yAxis(yAxis), zAxis(zAxis), origin(origin) {}
    // Columns 0, 1, 2 and 3 (x, y, z only) as the axes and the origin; the
    // Matrix4 constructor from four Vector3 goes the other way.
    explicit Basis(const Matrix4& m)
        : xAxis(m.m[0], m.m[1], m.m[2]),
          yAxis(m.m[4], m.m[5], m.m[6]),
          zAxis(m.m[8], m.m[9], m.m[10]),
          origin(m.m[12], m.m[13], m.m[14]) {}
};

// Turns the axes of b by a1, a2, a3 radians; origin unchanged. Step 1 tilts z
// towards y (about x) by a1, step 2 tilts z away from x (about y) by a2,
// step 3 turns x towards y (about z) by a3; after each step the remaining axis
// is re-derived as y = x cross z or x = z cross y, the relations of a frame
// with x cross y = -z. Turning the (right-handed) default basis by nothing
// therefore gives y = (0, -1, 0); a frame of that convention keeps its axes.
void rotate(Basis& b, float a1, float a2, float a3);

// The plane through three points: (a, b, c) = (p2 - p1) x (p3 - p1), not
// normalised, so the normal faces the side from which p1, p2, p3 run
// counter-clockwise. Collinear points give (0, 0, 0, 0).
Vector4 planeFromPoints(const Vector3& p1, const Vector3& p2, const Vector3& p3);

// -(n . p): the d of the plane with normal n through p.
float planeOffset(const Vector3& n, const Vector3& p);

// Approximate 1 / sqrt(x): the bit-pattern estimate 0x5F3759DF and one
// Newton step (relative error below 0.18 %). Negative, zero and infinite
// inputs get no special treatment, but never undefined behaviour.
float fastInverseSqrt(float x);

// 1 / tan(angle), angle in radians.
float cotangent(float angle);

// Unit normal of the triangle, (T1 - T0) x (T2 - T0) normalised; a
// degenerate triangle gives (0, 0, 0).
Vector3 triangleNormal(const Vector3 (&triangle)[3]);

// The point of the segment from a to b nearest to p (a when a == b).
Vector3 closestPointOnSegment(const Vector3& a, const Vector3& b, const Vector3& p);

// True when segment[0] and segment[1] lie strictly on opposite sides of the
// triangle's plane; an end exactly on the plane does not cross. Always writes
// the triangle's unit normal and plane offset d.
int segmentCrossesPlane(const Vector3 (&triangle)[3], const Vector3 (&segment)[2], Vector3& normal, float& d);

// Where the infinite line through segment[0] and segment[1] meets the plane
// (normal, d); segment[0] when the line is parallel to the plane.
Vector3 linePlaneIntersection(const Vector3& normal, const Vector3 (&segment)[2], float d);

// True when p and a lie on the same side of the line through b and c (a point
// on the line counts as the same side).
int sameSide(const Vector3& p, const Vector3& a, const Vector3& b, const Vector3& c);

// True when p, taken to lie in the triangle's plane, is inside the triangle
// or on an edge or corner. A degenerate (collinear) triangle holds only the
// points of its edges.
int pointInTriangle(const Vector3& p, const Vector3 (&triangle)[3]);

// True when the segment passes through the triangle. `hit` is written (with
// the crossing point) only when the segment crosses the triangle's plane.
int segmentHitsTriangle(const Vector3 (&triangle)[3], const Vector3 (&segment)[2], Vector3& hit);

// True when some edge of the triangle comes nearer than radius to centre.
// The face itself is not tested.
int sphereTouchesTriangleEdges(const Vector3& centre, const Vector3 (&triangle)[3], float radius);

// Where the whole-number point (px, py) lies against the triangle a, b, c
// (either winding): 1 inside, 2 on the edge a-b, 3 on the edge c-a, 4 on the
// edge b-c, 0 outside or exactly on a corner. A triangle whose area rounds to
// 0 holds no point.
int pointInTriangle2D(int px, int py, const Vector2& a, const Vector2& b, const Vector2& c);

// True when the axis-aligned rectangles (boxes) overlap; touching counts.
int boxesOverlap2D(const Vector2& minA, const Vector2& maxA, const Vector2& minB, const Vector2& maxB);
int boxesOverlap3D(const Vector3& minA, const Vector3& maxA, const Vector3& minB, const Vector3& maxB);

// The cubic Bezier curve at t (not clamped). The points are stored start
// P[0], first control P[1], end P[2], second control P[3]: t = 0 gives P[0],
// t = 1 gives P[2].
Vector3 bezierPoint(const Vector3 (&curve)[4], float t);

// result = v * (a - b), with a - b rounded to float first.
void scaledByDifference(const Vector3& v, float a, float b, Vector3& result);

// Signed distance of p from the plane with normal n through q, in units of
// |n|, written to dist (p . n + planeOffset(n, q), rounded once). Returns
// kPointBelowThreshold (1) when dist < threshold, kPointAtOrAboveThreshold
// (2) when dist >= threshold, and kPointUnclassified (0) when dist is NaN
// (a NaN operand), which is neither. With threshold 0 that is "behind" versus
// "in front or on"; with a radius r, 1 means a sphere of radius r at p is not
// wholly in front of the plane. dist lets callers tell finer cases apart.
constexpr int kPointUnclassified = 0;
constexpr int kPointBelowThreshold = 1;
constexpr int kPointAtOrAboveThreshold = 2;
int classifyPointPlane(const Vector3& p, const Vector3& n, const Vector3& q, float threshold, float& dist);
