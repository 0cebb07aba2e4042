#include "math/Geometry.h"

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "math/Precision.h"

static_assert(sizeof(Basis) == 12 * sizeof(float));
static_assert(offsetof(Basis, origin) == 9 * sizeof(float));
static_assert(std::is_standard_layout_v<Basis> && std::is_trivially_copyable_v<Basis>);

using math_detail::F;

namespace {

bool isZero(const Vector3& v) { return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f; }

// Whether p lies exactly on the segment from a to b (collinear and between).
bool onSegment(const Vector3& p, const Vector3& a, const Vector3& b) {
    const Vector3 e = b - a, w = p - a;
    if (!isZero(cross(e, w))) return false;
    const double lengthSquared = dot(e, e);
    if (lengthSquared == 0.0) return isZero(w);  // the segment is a point
    const double along = dot(w, e);
    return along >= 0.0 && along <= lengthSquared;
}

// (p . n) + d for a plane (n, d), the dot product kept wide; rounded once.
float planeValue(const Vector3& p, const Vector3& n, float d) {
    return F(double(p.x) * n.x + double(p.y) * n.y + double(p.z) * n.z + d);
}

int truth(bool value) { return value ? -1 : 0; }

}  // namespace

void rotate(Basis& b, float a1, float a2, float a3) {
    Vector3 x = b.xAxis, y = b.yAxis, z = b.zAxis;

    float c = F(std::cos(double(a1))), s = F(std::sin(double(a1)));
    z = z * c + y * s;
    normalize(z);
    y = cross(z, x) * -1.0f;

    c = F(std::cos(double(a2)));
    s = F(std::sin(double(a2)));
    z = z * c - x * s;
    normalize(z);
    x = cross(z, y);

    c = F(std::cos(double(a3)));
    s = F(std::sin(double(a3)));
    x = x * c + y * s;
    normalize(x);
    y = cross(z, x) * -1.0f;

    b.xAxis = x;
    b.yAxis = y;
    b.zAxis = z;
}

Vector4 planeFromPoints(const Vector3& p1, const Vector3& p2, const Vector3& p3) {
    const double x1 = p1.x, y1 = p1.y, z1 = p1.z;
    const double x2 = p2.x, y2 = p2.y, z2 = p2.z;
    const double x3 = p3.x, y3 = p3.y, z3 = p3.z;
    Vector4 plane;
    plane.x = F((z2 - z3) * y1 + (z3 - z1) * y2 + (z1 - z2) * y3);
    plane.y = F((x2 - x3) * z1 + (x3 - x1) * z2 + (x1 - x2) * z3);
    plane.z = F((y2 - y3) * x1 + (y3 - y1) * x2 + (y1 - y2) * x3);
    plane.w = F(-((y2 * z3 - z2 * y3) * x1 + (y3 * z1 - z3 * y1) * x2 + (y1 * z2 - z1 * y2) * x3));
    return plane;
}

float planeOffset(const Vector3& n, const Vector3& p) {
    return F(-(double(n.x) * p.x + double(n.y) * p.y + double(n.z) * p.z));
}

float fastInverseSqrt(float x) {
    const float half = F(0.5 * x);
    const int32_t bits = std::bit_cast<int32_t>(x);
    // The subtraction wraps in unsigned arithmetic: for negative inputs near
    // zero (-0 included) the signed difference would overflow.
    const uint32_t estimate = 0x5F3759DFu - static_cast<uint32_t>(bits >> 1);
    const double y = std::bit_cast<float>(estimate);
    return F(y * (1.5 - (y * half * y)));
}

float cotangent(float angle) { return F(1.0 / std::tan(double(angle))); }

Vector3 triangleNormal(const Vector3 (&triangle)[3]) {
    return normalized(cross(triangle[1] - triangle[0], triangle[2] - triangle[0]));
}

Vector3 closestPointOnSegment(const Vector3& a, const Vector3& b, const Vector3& p) {
    const Vector3 w = p - a;
    const Vector3 u = normalized(b - a);
    const double len = distance(a, b);
    const double t = dot(u, w);
    if (!(t > 0.0)) return a;  // also when t is NaN
    if (t >= len) return b;
    return a + u * t;
}

int segmentCrossesPlane(const Vector3 (&triangle)[3], const Vector3 (&segment)[2], Vector3& normal, float& d) {
    normal = triangleNormal(triangle);
    d = planeOffset(normal, triangle[0]);
    const float e0 = planeValue(segment[0], normal, d);
    const float e1 = planeValue(segment[1], normal, d);
    // Product in double: two tiny distances must not underflow to 0.
    return truth(double(e1) * e0 < 0.0);
}

Vector3 linePlaneIntersection(const Vector3& normal, const Vector3 (&segment)[2], float d) {
    const Vector3 u = normalized(segment[1] - segment[0]);
    const Vector3& s = segment[0];
    const double num = -(double(s.x) * normal.x + double(s.y) * normal.y + double(s.z) * normal.z + d);
    const double den = dot(normal, u);
    if (den == 0.0) return s;
    return s + u * (num / den);
}

int sameSide(const Vector3& p, const Vector3& a, const Vector3& b, const Vector3& c) {
    const Vector3 e = c - b;
    const Vector3 nP = cross(e, p - b);
    const Vector3 nA = cross(e, a - b);
    return truth(dot(nP, nA) >= 0.0f);
}

int pointInTriangle(const Vector3& p, const Vector3 (&triangle)[3]) {
    const Vector3& t0 = triangle[0];
    const Vector3& t1 = triangle[1];
    const Vector3& t2 = triangle[2];
    // With collinear corners every same-side test passes for any p, since a
    // corner lies on the opposite edge's line; such a triangle has no inside,
    // only its edges.
    if (isZero(cross(t1 - t0, t2 - t0))) {
        return truth(onSegment(p, t0, t1) || onSegment(p, t1, t2) || onSegment(p, t2, t0));
    }
    return truth(sameSide(p, t0, t1, t2) && sameSide(p, t1, t0, t2) && sameSide(p, t2, t0, t1));
}

int segmentHitsTriangle(const Vector3 (&triangle)[3], const Vector3 (&segment)[2], Vector3& hit) {
    Vector3 normal;
    float d;
    if (!segmentCrossesPlane(triangle, segment, normal, d)) return 0;
    hit = linePlaneIntersection(normal, segment, d);
    return pointInTriangle(hit, triangle);
}

int sphereTouchesTriangleEdges(const Vector3& centre, const Vector3 (&triangle)[3], float radius) {
    for (int i = 0; i < 3; ++i) {
        const Vector3 q = closestPointOnSegment(triangle[i], triangle[(i + 1) % 3], centre);
        if (distance(q, centre) < radius) return -1;
    }
    return 0;
}

int pointInTriangle2D(int px, int py, const Vector2& a, const Vector2& b, const Vector2& c) {
    const double ax = a.x, ay = a.y, bx = b.x, by = b.y, cx = c.x, cy = c.y;
    const double x = px, y = py;
    // Kept as a double: a NaN or huge area must not go through an int.
    const double area = std::nearbyint((bx - ax) * (cy - ay) - (cx - ax) * (by - ay));
    if (area == 0.0) return 0;
    const float wa = F(((bx - x) * (cy - y) - (cx - x) * (by - y)) / area);
    const float wb = F(((cx - x) * (ay - y) - (ax - x) * (cy - y)) / area);
    const float wc = F(((ax - x) * (by - y) - (bx - x) * (ay - y)) / area);
    if (wa > 0 && wb > 0 && wc > 0) return 1;
    if (wa > 0 && wb > 0 && wc == 0) return 2;
    if (wa > 0 && wb == 0 && wc > 0) return 3;
    if (wa == 0 && wb > 0 && wc > 0) return 4;
    return 0;
}

int boxesOverlap2D(const Vector2& minA, const Vector2& maxA, const Vector2& minB, const Vector2& maxB) {
    return truth(maxB.x >= minA.x && minB.x <= maxA.x && maxB.y >= minA.y && minB.y <= maxA.y);
}

int boxesOverlap3D(const Vector3& minA, const Vector3& maxA, const Vector3& minB, const Vector3& maxB) {
    return truth(maxB.x >= minA.x && minB.x <= maxA.x && maxB.y >= minA.y && minB.y <= maxA.y && maxB.z >= minA.z &&
                 minB.z <= maxA.z);
}

namespace {
// One component of the cubic: coefficients rounded to float, t^3 from pow in
// double, the sum rounded once.
float bezierComponent(float p0, float p1, float p2, float p3, float t) {
    const float three = 3.0f;
    const float cc = F(three * (double(p1) - p0));
    const float cb = F(three * (double(p3) - p1) - cc);
    const float ca = F(double(p2) - p0 - cc - cb);
    const double td = t;
    return F(std::pow(td, 3.0) * ca + double(cb) * td * td + td * cc + p0);
}
}  // namespace

Vector3 bezierPoint(const Vector3 (&curve)[4], float t) {
    return {bezierComponent(curve[0].x, curve[1].x, curve[2].x, curve[3].x, t),
            bezierComponent(curve[0].y, curve[1].y, curve[2].y, curve[3].y, t),
            bezierComponent(curve[0].z, curve[1].z, curve[2].z, curve[3].z, t)};
}

void scaledByDifference(const Vector3& v, float a, float b, Vector3& result) { result = v * F(double(a) - b); }

int classifyPointPlane(const Vector3& p, const Vector3& n, const Vector3& q, float threshold, float& dist) {
    dist = planeValue(p, n, planeOffset(n, q));
    if (std::isnan(dist)) return kPointUnclassified;
    return dist < threshold ? kPointBelowThreshold : kPointAtOrAboveThreshold;
}
