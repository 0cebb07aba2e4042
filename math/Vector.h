// Two-, three- and four-component single-precision vectors.
//
// Plain records of consecutive floats with nothing between them: a Vector3*
// or Vector4* (or an array of them) goes straight to glVertex3fv, glNormal3fv
// or glLightfv. Vector4 doubles as a homogeneous point, an RGBA colour, a
// matrix column and a plane (a, b, c, d) with a*x + b*y + c*z + d = 0.
//
// Rounding: components are read as floats, every formula is evaluated in
// double precision and each stored result is rounded to float once. Where a
// comment says an intermediate is rounded to float, it is rounded there.
//
// Scalars always stand on the right (v * s, never s * v). The scalar kinds
// are exactly those declared below; where only float and double exist, an
// int literal is ambiguous on purpose: write 2.0f or 2.0.
//
// Division is unguarded (IEEE infinities and NaN). The one zero guard of the
// library is in length(): a zero or NaN length reads as 1, so normalising a
// zero vector leaves it zero.
//
// Transforms by a Matrix4 (v * m, v *= m) are declared in math/Matrix4.h.
#pragma once

#include <concepts>
#include <string>

struct Vector3;
struct Vector4;

struct Vector2 {
    float x = 0, y = 0;

    constexpr Vector2() = default;
    constexpr Vector2(float x, float y) : x(x), y(y) {}
    // Each double is rounded to float. A template held to double exactly, so
    // that Vector2(3, 4) with ints is not ambiguous and takes the float form.
    template <class D>
    requires std::same_as<D, double>
    constexpr Vector2(D x, D y) : x(static_cast<float>(x)), y(static_cast<float>(y)) {}
    // Drops z. Explicit because it loses a component.
    constexpr explicit Vector2(const Vector3& v);
};

struct Vector3 {
    float x = 0, y = 0, z = 0;

    constexpr Vector3() = default;
    constexpr Vector3(float x, float y, float z) : x(x), y(y), z(z) {}
    // Drops w. Explicit because it loses a component.
    constexpr explicit Vector3(const Vector4& v);
};

struct Vector4 {
    float x = 0, y = 0, z = 0, w = 0;  // default w is 0, not 1

    constexpr Vector4() = default;
    // w is given as a double and rounded to float.
    constexpr Vector4(float x, float y, float z, double w) : x(x), y(y), z(z), w(static_cast<float>(w)) {}
    constexpr Vector4(const Vector3& v, double w) : x(v.x), y(v.y), z(v.z), w(static_cast<float>(w)) {}
};

constexpr Vector2::Vector2(const Vector3& v) : x(v.x), y(v.y) {}
constexpr Vector3::Vector3(const Vector4& v) : x(v.x), y(v.y), z(v.z) {}

// ---- Vector2 operators ----
Vector2 operator+(const Vector2& a, const Vector2& b);
Vector2 operator-(const Vector2& a, const Vector2& b);
Vector2 operator*(const Vector2& a, const Vector2& b);  // component-wise
Vector2 operator/(const Vector2& a, const Vector2& b);  // component-wise
Vector2 operator+(const Vector2& a, float s);           // s added to both
Vector2 operator*(const Vector2& a, float s);
Vector2 operator*(const Vector2& a, double s);
Vector2 operator/(const Vector2& a, float s);
Vector2 operator/(const Vector2& a, double s);
Vector2 operator/(const Vector2& a, int n);

// ---- Vector3 operators ----
Vector3 operator+(const Vector3& a, const Vector3& b);
Vector3 operator-(const Vector3& a, const Vector3& b);
Vector3 operator*(const Vector3& a, const Vector3& b);  // component-wise
Vector3 operator/(const Vector3& a, const Vector3& b);  // component-wise
Vector3 operator-(const Vector3& a);
Vector3 operator+(const Vector3& a, float s);
Vector3 operator-(const Vector3& a, float s);
Vector3 operator*(const Vector3& a, float s);
Vector3 operator*(const Vector3& a, double s);
Vector3 operator/(const Vector3& a, float s);
Vector3 operator/(const Vector3& a, double s);
Vector3& operator+=(Vector3& a, const Vector3& b);
Vector3& operator*=(Vector3& a, float s);
Vector3& operator/=(Vector3& a, int n);
// Only a whole-number divisor exists in place; without this a float or
// double divisor would be cut to an int silently (v /= 0.5f dividing by 0).
template <std::floating_point S>
Vector3& operator/=(Vector3& a, S s) = delete;

// ---- Vector4 operators (w always takes part) ----
Vector4 operator+(const Vector4& a, const Vector4& b);
Vector4 operator-(const Vector4& a, const Vector4& b);
Vector4 operator*(const Vector4& a, const Vector4& b);  // component-wise
Vector4 operator/(const Vector4& a, const Vector4& b);  // component-wise
Vector4 operator-(const Vector4& a);
Vector4 operator+(const Vector4& a, float s);
Vector4 operator*(const Vector4& a, float s);
Vector4 operator/(const Vector4& a, float s);
Vector4 operator/(const Vector4& a, double s);
Vector4 operator/(const Vector4& a, int n);
Vector4& operator*=(Vector4& a, float s);

// ---- Named operations ----

// Sum of the component products (w included for Vector4), rounded once.
float dot(const Vector2& a, const Vector2& b);
float dot(const Vector3& a, const Vector3& b);
float dot(const Vector4& a, const Vector4& b);

// Euclidean length rounded to float; 1 when that is 0 or NaN (the zero guard
// that normalize, normalized and angleBetween rely on).
float length(const Vector2& v);
float length(const Vector3& v);
float length(const Vector4& v);

// v becomes v / length(v), w included. A zero vector stays zero.
void normalize(Vector2& v);
void normalize(Vector3& v);
void normalize(Vector4& v);

// Returns v / length(v); a zero vector gives a zero vector.
Vector2 normalized(const Vector2& v);
Vector3 normalized(const Vector3& v);
Vector4 normalized(const Vector4& v);

// Distance between two points; each difference is rounded to float before it
// is squared. No guard: equal points give 0.
float distance(const Vector2& a, const Vector2& b);
float distance(const Vector3& a, const Vector3& b);
float distance(const Vector4& a, const Vector4& b);

// 2-D: the scalar a.x*b.y - a.y*b.x.
float cross(const Vector2& a, const Vector2& b);
// 3-D cross product.
Vector3 cross(const Vector3& a, const Vector3& b);
// Cross product of the x, y, z parts; w is a.w.
Vector4 cross(const Vector4& a, const Vector4& b);

// Angle between two directions in radians, 0 to pi. A zero operand reads as
// length 1 (giving pi/2). The cosine is clamped to [-1, 1], so (nearly)
// parallel directions give 0 or pi rather than NaN.
float angleBetween(const Vector2& a, const Vector2& b);
float angleBetween(const Vector3& a, const Vector3& b);

// Unit normal on the right-hand side of the direction from a to b:
// (d.y, -d.x) / length(d) with d = b - a. a == b gives (0, 0).
Vector2 lineNormal(const Vector2& a, const Vector2& b);

// "x: 1, y: 2.5, z: -0.1": each component as C's "%.7g" prints it.
std::string toString(const Vector2& v);
std::string toString(const Vector3& v);
std::string toString(const Vector4& v);
