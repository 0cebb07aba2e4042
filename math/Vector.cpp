#include "math/Vector.h"

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <type_traits>

#include "math/Precision.h"

// The layout is an interface: arrays of vectors go to GL as float pointers.
static_assert(sizeof(Vector2) == 2 * sizeof(float));
static_assert(sizeof(Vector3) == 3 * sizeof(float));
static_assert(sizeof(Vector4) == 4 * sizeof(float));
static_assert(std::is_standard_layout_v<Vector2> && std::is_trivially_copyable_v<Vector2>);
static_assert(std::is_standard_layout_v<Vector3> && std::is_trivially_copyable_v<Vector3>);
static_assert(std::is_standard_layout_v<Vector4> && std::is_trivially_copyable_v<Vector4>);
static_assert(offsetof(Vector2, y) == sizeof(float));
static_assert(offsetof(Vector3, z) == 2 * sizeof(float));
static_assert(offsetof(Vector4, w) == 3 * sizeof(float));

using math_detail::F;

// ---- Vector2 ----
Vector2 operator+(const Vector2& a, const Vector2& b) { return {F(double(a.x) + b.x), F(double(a.y) + b.y)}; }
Vector2 operator-(const Vector2& a, const Vector2& b) { return {F(double(a.x) - b.x), F(double(a.y) - b.y)}; }
Vector2 operator*(const Vector2& a, const Vector2& b) { return {F(double(a.x) * b.x), F(double(a.y) * b.y)}; }
Vector2 operator/(const Vector2& a, const Vector2& b) { return {F(double(a.x) / b.x), F(double(a.y) / b.y)}; }
Vector2 operator+(const Vector2& a, float s) { return {F(double(a.x) + s), F(double(a.y) + s)}; }
Vector2 operator*(const Vector2& a, float s) { return a * double(s); }
Vector2 operator*(const Vector2& a, double s) { return {F(a.x * s), F(a.y * s)}; }
Vector2 operator/(const Vector2& a, float s) { return a / double(s); }
Vector2 operator/(const Vector2& a, double s) { return {F(a.x / s), F(a.y / s)}; }
Vector2 operator/(const Vector2& a, int n) { return a / double(n); }

// ---- Vector3 ----
Vector3 operator+(const Vector3& a, const Vector3& b) {
    return {F(double(a.x) + b.x), F(double(a.y) + b.y), F(double(a.z) + b.z)};
}
Vector3 operator-(const Vector3& a, const Vector3& b) {
    return {F(double(a.x) - b.x), F(double(a.y) - b.y), F(double(a.z) - b.z)};
}
Vector3 operator*(const Vector3& a, const Vector3& b) {
    return {F(double(a.x) * b.x), F(double(a.y) * b.y), F(double(a.z) * b.z)};
}
Vector3 operator/(const Vector3& a, const Vector3& b) {
    return {F(double(a.x) / b.x), F(double(a.y) / b.y), F(double(a.z) / b.z)};
}
Vector3 operator-(const Vector3& a) { return {-a.x, -a.y, -a.z}; }
Vector3 operator+(const Vector3& a, float s) { return {F(double(a.x) + s), F(double(a.y) + s), F(double(a.z) + s)}; }
Vector3 operator-(const Vector3& a, float s) { return {F(double(a.x) - s), F(double(a.y) - s), F(double(a.z) - s)}; }
Vector3 operator*(const Vector3& a, float s) { return a * double(s); }
Vector3 operator*(const Vector3& a, double s) { return {F(a.x * s), F(a.y * s), F(a.z * s)}; }
Vector3 operator/(const Vector3& a, float s) { return a / double(s); }
Vector3 operator/(const Vector3& a, double s) { return {F(a.x / s), F(a.y / s), F(a.z / s)}; }
Vector3& operator+=(Vector3& a, const Vector3& b) { return a = a + b; }
Vector3& operator*=(Vector3& a, float s) { return a = a * s; }
Vector3& operator/=(Vector3& a, int n) { return a = a / double(n); }

// ---- Vector4 ----
Vector4 operator+(const Vector4& a, const Vector4& b) {
    Vector4 r;
    r.x = F(double(a.x) + b.x);
    r.y = F(double(a.y) + b.y);
    r.z = F(double(a.z) + b.z);
    r.w = F(double(a.w) + b.w);
    return r;
}
Vector4 operator-(const Vector4& a, const Vector4& b) {
    Vector4 r;
    r.x = F(double(a.x) - b.x);
    r.y = F(double(a.y) - b.y);
    r.z = F(double(a.z) - b.z);
    r.w = F(double(a.w) - b.w);
    return r;
}
Vector4 operator*(const Vector4& a, const Vector4& b) {
    Vector4 r;
    r.x = F(double(a.x) * b.x);
    r.y = F(double(a.y) * b.y);
    r.z = F(double(a.z) * b.z);
    r.w = F(double(a.w) * b.w);
    return r;
}
Vector4 operator/(const Vector4& a, const Vector4& b) {
    Vector4 r;
    r.x = F(double(a.x) / b.x);
    r.y = F(double(a.y) / b.y);
    r.z = F(double(a.z) / b.z);
    r.w = F(double(a.w) / b.w);
    return r;
}
Vector4 operator-(const Vector4& a) {
    Vector4 r;
    r.x = -a.x;
    r.y = -a.y;
    r.z = -a.z;
    r.w = -a.w;
    return r;
}
Vector4 operator+(const Vector4& a, float s) {
    Vector4 r;
    r.x = F(double(a.x) + s);
    r.y = F(double(a.y) + s);
    r.z = F(double(a.z) + s);
    r.w = F(double(a.w) + s);
    return r;
}
Vector4 operator*(const Vector4& a, float s) {
    Vector4 r;
    r.x = F(double(a.x) * s);
    r.y = F(double(a.y) * s);
    r.z = F(double(a.z) * s);
    r.w = F(double(a.w) * s);
    return r;
}
Vector4 operator/(const Vector4& a, double s) {
    Vector4 r;
    r.x = F(a.x / s);
    r.y = F(a.y / s);
    r.z = F(a.z / s);
    r.w = F(a.w / s);
    return r;
}
Vector4 operator/(const Vector4& a, float s) { return a / double(s); }
Vector4 operator/(const Vector4& a, int n) { return a / double(n); }
Vector4& operator*=(Vector4& a, float s) { return a = a * s; }

// ---- dot, length, normalize ----
float dot(const Vector2& a, const Vector2& b) { return F(double(a.x) * b.x + double(a.y) * b.y); }
float dot(const Vector3& a, const Vector3& b) { return F(double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z); }
float dot(const Vector4& a, const Vector4& b) {
    return F(double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z + double(a.w) * b.w);
}

// The guard: a length that rounds to 0 (or is NaN) reads as 1, so callers may
// divide by it without checking.
static float guardedLength(double sumOfSquares) {
    float length = F(std::sqrt(sumOfSquares));
    if (length == 0.0f || std::isnan(length)) return 1.0f;
    return length;
}

float length(const Vector2& v) { return guardedLength(double(v.x) * v.x + double(v.y) * v.y); }
float length(const Vector3& v) { return guardedLength(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z); }
float length(const Vector4& v) {
    return guardedLength(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z + double(v.w) * v.w);
}

void normalize(Vector2& v) { v = v / length(v); }
void normalize(Vector3& v) { v = v / length(v); }
void normalize(Vector4& v) { v = v / length(v); }
Vector2 normalized(const Vector2& v) { return v / length(v); }
Vector3 normalized(const Vector3& v) { return v / length(v); }
Vector4 normalized(const Vector4& v) { return v / length(v); }

// ---- distance: the differences are rounded to float before squaring ----
float distance(const Vector2& a, const Vector2& b) {
    double dx = F(double(b.x) - a.x), dy = F(double(b.y) - a.y);
    return F(std::sqrt(dx * dx + dy * dy));
}
float distance(const Vector3& a, const Vector3& b) {
    double dx = F(double(b.x) - a.x), dy = F(double(b.y) - a.y), dz = F(double(b.z) - a.z);
    return F(std::sqrt(dx * dx + dy * dy + dz * dz));
}
float distance(const Vector4& a, const Vector4& b) {
    double dx = F(double(b.x) - a.x), dy = F(double(b.y) - a.y);
    double dz = F(double(b.z) - a.z), dw = F(double(b.w) - a.w);
    return F(std::sqrt(dx * dx + dy * dy + dz * dz + dw * dw));
}

// ---- cross ----
float cross(const Vector2& a, const Vector2& b) { return F(double(a.x) * b.y - double(a.y) * b.x); }
Vector3 cross(const Vector3& a, const Vector3& b) {
    return {F(double(a.y) * b.z - double(a.z) * b.y), F(double(a.z) * b.x - double(a.x) * b.z),
            F(double(a.x) * b.y - double(a.y) * b.x)};
}
Vector4 cross(const Vector4& a, const Vector4& b) { return Vector4(cross(Vector3(a), Vector3(b)), a.w); }

// ---- angleBetween ----
// Rounding can push |c| a hair above 1 for (anti)parallel directions; without
// the clamp sqrt(1 - c*c) would be NaN instead of an angle of 0 or pi.
static float angleFromCosine(double c) {
    if (c > 1.0) c = 1.0;
    if (c < -1.0) c = -1.0;
    return F(std::atan2(std::sqrt(1.0 - c * c), c));
}
float angleBetween(const Vector2& a, const Vector2& b) {
    return angleFromCosine(dot(a, b) / (double(length(b)) * length(a)));
}
float angleBetween(const Vector3& a, const Vector3& b) {
    return angleFromCosine(dot(a, b) / (double(length(b)) * length(a)));
}

Vector2 lineNormal(const Vector2& a, const Vector2& b) {
    Vector2 d = b - a;
    double l = length(d);
    return {F(d.y / l), F(-d.x / l)};
}

// ---- toString ----
static void appendComponent(std::string& out, const char* label, float value) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.7g", double(value));
    out += label;
    out += buffer;
}

std::string toString(const Vector2& v) {
    std::string out;
    appendComponent(out, "x: ", v.x);
    appendComponent(out, ", y: ", v.y);
    return out;
}
std::string toString(const Vector3& v) {
    std::string out = toString(Vector2(v));
    appendComponent(out, ", z: ", v.z);
    return out;
}
std::string toString(const Vector4& v) {
    std::string out = toString(Vector3(v));
    appendComponent(out, ", w: ", v.w);
    return out;
}
