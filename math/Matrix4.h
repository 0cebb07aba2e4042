// 4x4 single-precision matrix in OpenGL's column-major order.
//
// Element (row r, column c) is m[4c + r], the order glLoadMatrixf and
// glMultMatrixf take, so data() goes to GL unchanged. Columns 0..2 are the
// images of the x, y, z axes; column 3 (m12..m15) holds the translation.
// Vectors are columns: a transform applies M * p, and in a product a * b the
// matrix b acts on a point first.
//
// Builders that post-multiply (translate, rotate, scale) build a matrix X and
// then do m *= X, so X acts on points before what m already held: the
// convention of glTranslatef, glRotatef and glScalef. Matrix builders take
// degrees; Basis rotation and angleBetween take radians.
//
// Rounding follows math/Vector.h: each stored element is rounded to float
// once; the comments name intermediates that are rounded on the way.
#pragma once

#include <string>

#include "math/Vector.h"

struct Matrix4 {
    float m[16];

    // All sixteen elements set to s; build with 0 and call setIdentity where
    // an identity is needed.
    // constexpr so that globals holding a matrix (the screen record) are
    // filled before any code runs, with no dynamic initialisation.
    constexpr explicit Matrix4(float s) : m{} {
        for (float& e : m) e = s;
    }
    // Columns 0..3 take x, y, z from c0..c3; m3 = m7 = m11 = 0, m15 = 1.
    Matrix4(const Vector3& c0, const Vector3& c1, const Vector3& c2, const Vector3& c3);

    constexpr float* data() { return m; }
    constexpr const float* data() const { return m; }
};

// ---- access ----

// m0 = m5 = m10 = m15 = 1, every other element 0.
void setIdentity(Matrix4& m);
// Column i (0..3) takes v.x, v.y, v.z; its fourth element is left as it is.
// An index outside 0..3 changes nothing.
void setColumn(Matrix4& m, int i, const Vector3& v);
// Column i (0..3) takes all four components of v. Outside 0..3: no change.
void setColumn(Matrix4& m, int i, const Vector4& v);
// Column i (0..3) as a Vector4; an index outside 0..3 gives (0, 0, 0, 0).
Vector4 column(const Matrix4& m, int i);

// ---- products ----

// a becomes a * b (each element a four-term sum rounded once); a *= a is fine.
Matrix4& operator*=(Matrix4& a, const Matrix4& b);
Matrix4 operator*(const Matrix4& a, const Matrix4& b);

// M applied to the point (v.x, v.y, 0, 1); x and y of the result. Each term
// is added to a running sum that is rounded to float after every step.
Vector2 operator*(const Vector2& v, const Matrix4& m);
// M applied to the point (v.x, v.y, v.z, 1), same stepwise rounding; no
// division by w.
Vector4 operator*(const Vector3& v, const Matrix4& m);
// M applied to (x, y, z, w), same stepwise rounding; w takes part as the last
// term m[12 + i] * w, so w = 0 transforms a direction (no translation) and
// w = 1 gives exactly the Vector3 result.
Vector4 operator*(const Vector4& v, const Matrix4& m);
// v becomes the x, y, z of v * m.
Vector3& operator*=(Vector3& v, const Matrix4& m);
// v becomes v * m.
Vector4& operator*=(Vector4& v, const Matrix4& m);

// ---- builders that post-multiply ----

// Post-multiplies by a translation by t (z = 0 for the Vector2 form).
void translate(Matrix4& m, const Vector3& t);
void translate(Matrix4& m, const Vector2& t);
void translate(Matrix4& m, float x, float y, float z);
void translate(Matrix4& m, int x, int y, int z);

// Post-multiplies by rotations about x by ax, then y by ay, then z by az, in
// degrees: m becomes m * Rx * Ry * Rz, so a point turns about z first. A
// positive angle turns counter-clockwise seen from the positive axis. An angle
// of exactly 0 is skipped. The degree factor is pi/180 rounded to float; the
// cosine and sine are rounded to float.
void rotate(Matrix4& m, float ax, float ay, float az);
void rotate(Matrix4& m, int ax, int ay, int az);
void rotate(Matrix4& m, const Vector3& angles);

// Post-multiplies by a scale of s on every axis, or sx, sy, sz.
void scale(Matrix4& m, float s);
void scale(Matrix4& m, float sx, float sy, float sz);

// ---- builders that replace ----

// Writes the rotation block (m0..m2, m4..m6, m8..m10) and m15 = 1 for a turn
// of `degrees` about `axis`; m3, m7, m11 and the translation are kept.
// Normalises the caller's axis in place. With this element placement a
// positive angle turns the opposite way to rotate().
void setAxisRotation(Matrix4& m, Vector3& axis, float degrees);

// Replaces m with the viewing matrix gluLookAt builds for the same arguments.
void setLookAt(Matrix4& m, const Vector3& eye, const Vector3& target, const Vector3& up);

// Symmetric perspective projection with a fixed depth range: near at 0.6 and
// far effectively at infinity (depth -1 at z = -0.6, approaching 0.988).
// `angle` is in radians and used whole (not halved): m5 = 1 / tan(angle),
// m0 = (1 / tan(angle)) / aspect, each rounded once. zNear is accepted for
// symmetry and has no effect.
void setPerspectiveFixedDepth(Matrix4& m, float angle, float aspect, float zNear);

// Replaces m with an orthonormal right-handed frame whose z axis (column 2)
// is `direction` normalised (no zero guard: a zero direction gives NaN).
// Columns 0 and 1 are unit vectors perpendicular to it with
// column0 x column1 = column2; translation zero.
void setFromDirection(Matrix4& m, const Vector3& direction);

// ---- builders that return ----

// Places an object at eye with its z axis pointing away from target (up is
// +y, or +z when looking straight along y). With the y-up case this is the
// inverse of setLookAt for the same eye and target.
Matrix4 facing(const Vector3& eye, const Vector3& target);

// Inverse of m when its 3x3 block is orthonormal (not checked): transposed
// block, translation -R^T t, bottom row (0, 0, 0, 1).
Matrix4 rigidInverse(const Matrix4& m);

// Projects points onto `plane` (a, b, c, d) from `light` (w = 1: a point
// light, w = 0: a direction): dot(light, plane) * I - light * plane^T.
Matrix4 planarShadow(const Vector4& light, const Vector4& plane);

// Symmetric perspective projection as glFrustum builds it: fovY is the full
// vertical angle in degrees.
Matrix4 perspective(float fovY, float aspect, float zNear, float zFar);

// Sixteen lines "(i ) value\r\n" (or "(ii) value\r\n" from 10 on), in storage
// order, each value as "%.7g" prints it.
std::string toString(const Matrix4& m);
