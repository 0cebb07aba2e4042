#include "math/Matrix4.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <type_traits>

#include "math/Precision.h"

// data() goes to glLoadMatrixf unchanged: sixteen floats, nothing else.
static_assert(sizeof(Matrix4) == 16 * sizeof(float));
static_assert(offsetof(Matrix4, m) == 0);
static_assert(std::is_standard_layout_v<Matrix4> && std::is_trivially_copyable_v<Matrix4>);

using math_detail::F;

namespace {
// pi/180 rounded to float (0.017453292): the factor every degree builder uses.
constexpr float kDegree = static_cast<float>(3.14159265358979323846 / 180.0);

Matrix4 identity() {
    Matrix4 m(0.0f);
    setIdentity(m);
    return m;
}

// Cosine and sine of an angle in degrees, each rounded to float. The product
// with the float factor is kept in double.
void cosSinDegrees(double degrees, float& c, float& s) {
    double radians = degrees * kDegree;
    c = F(std::cos(radians));
    s = F(std::sin(radians));
}

// The three axis steps of rotate(); angles already known to be non-zero are
// applied, each as its own post-multiplication.
void rotateAboutX(Matrix4& m, double degrees) {
    float c, s;
    cosSinDegrees(degrees, c, s);
    Matrix4 r = identity();
    r.m[5] = c;
    r.m[6] = s;
    r.m[9] = -s;
    r.m[10] = c;
    m *= r;
}
void rotateAboutY(Matrix4& m, double degrees) {
    float c, s;
    cosSinDegrees(degrees, c, s);
    Matrix4 r = identity();
    r.m[0] = c;
    r.m[2] = -s;
    r.m[8] = s;
    r.m[10] = c;
    m *= r;
}
void rotateAboutZ(Matrix4& m, double degrees) {
    float c, s;
    cosSinDegrees(degrees, c, s);
    Matrix4 r = identity();
    r.m[0] = c;
    r.m[1] = s;
    r.m[4] = -s;
    r.m[5] = c;
    m *= r;
}

// One component of a transformed point: the running sum is rounded to float
// after every term, the order the results are specified in.
float transformRow(const Matrix4& m, int i, float x, float y, float z, float w) {
    float t = F(double(m.m[i]) * x);
    t = F(double(m.m[4 + i]) * y + t);
    t = F(double(m.m[8 + i]) * z + t);
    return F(double(m.m[12 + i]) * w + t);
}
}  // namespace

Matrix4::Matrix4(const Vector3& c0, const Vector3& c1, const Vector3& c2, const Vector3& c3) {
    const Vector3* columns[4] = {&c0, &c1, &c2, &c3};
    for (int i = 0; i < 4; ++i) {
        m[4 * i] = columns[i]->x;
        m[4 * i + 1] = columns[i]->y;
        m[4 * i + 2] = columns[i]->z;
        m[4 * i + 3] = 0.0f;
    }
    m[15] = 1.0f;
}

void setIdentity(Matrix4& m) {
    for (int i = 0; i < 16; ++i) m.m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

void setColumn(Matrix4& m, int i, const Vector3& v) {
    if (i < 0 || i > 3) return;
    m.m[4 * i] = v.x;
    m.m[4 * i + 1] = v.y;
    m.m[4 * i + 2] = v.z;
}

void setColumn(Matrix4& m, int i, const Vector4& v) {
    if (i < 0 || i > 3) return;
    m.m[4 * i] = v.x;
    m.m[4 * i + 1] = v.y;
    m.m[4 * i + 2] = v.z;
    m.m[4 * i + 3] = v.w;
}

Vector4 column(const Matrix4& m, int i) {
    if (i < 0 || i > 3) return Vector4();
    return Vector4(m.m[4 * i], m.m[4 * i + 1], m.m[4 * i + 2], m.m[4 * i + 3]);
}

// ---- products ----

Matrix4& operator*=(Matrix4& a, const Matrix4& b) {
    // Built in a temporary so that a *= a reads the old a throughout.
    Matrix4 r(0.0f);
    for (int c = 0; c < 4; ++c) {
        for (int row = 0; row < 4; ++row) {
            r.m[4 * c + row] = F(double(a.m[row]) * b.m[4 * c] + double(a.m[4 + row]) * b.m[4 * c + 1] +
                                 double(a.m[8 + row]) * b.m[4 * c + 2] + double(a.m[12 + row]) * b.m[4 * c + 3]);
        }
    }
    a = r;
    return a;
}

Matrix4 operator*(const Matrix4& a, const Matrix4& b) {
    Matrix4 r = a;
    r *= b;
    return r;
}

Vector2 operator*(const Vector2& v, const Matrix4& m) {
    Vector2 r;
    float* out[2] = {&r.x, &r.y};
    for (int i = 0; i < 2; ++i) {
        float t = F(double(m.m[i]) * v.x);
        t = F(double(m.m[4 + i]) * v.y + t);
        *out[i] = F(double(m.m[12 + i]) + t);
    }
    return r;
}

Vector4 operator*(const Vector3& v, const Matrix4& m) { return Vector4(v, 1.0) * m; }

Vector4 operator*(const Vector4& v, const Matrix4& m) {
    Vector4 r;
    r.x = transformRow(m, 0, v.x, v.y, v.z, v.w);
    r.y = transformRow(m, 1, v.x, v.y, v.z, v.w);
    r.z = transformRow(m, 2, v.x, v.y, v.z, v.w);
    r.w = transformRow(m, 3, v.x, v.y, v.z, v.w);
    return r;
}

Vector3& operator*=(Vector3& v, const Matrix4& m) {
    v = Vector3(v * m);
    return v;
}

Vector4& operator*=(Vector4& v, const Matrix4& m) {
    v = v * m;
    return v;
}

// ---- post-multiplying builders ----

void translate(Matrix4& m, float x, float y, float z) {
    Matrix4 t = identity();
    t.m[12] = x;
    t.m[13] = y;
    t.m[14] = z;
    m *= t;
}
void translate(Matrix4& m, const Vector3& t) { translate(m, t.x, t.y, t.z); }
void translate(Matrix4& m, const Vector2& t) { translate(m, t.x, t.y, 0.0f); }
void translate(Matrix4& m, int x, int y, int z) {
    translate(m, static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
}

void rotate(Matrix4& m, float ax, float ay, float az) {
    if (ax != 0.0f) rotateAboutX(m, ax);
    if (ay != 0.0f) rotateAboutY(m, ay);
    if (az != 0.0f) rotateAboutZ(m, az);
}
void rotate(Matrix4& m, int ax, int ay, int az) {
    // Whole degrees are exact in double, so nothing is lost before the factor.
    if (ax != 0) rotateAboutX(m, ax);
    if (ay != 0) rotateAboutY(m, ay);
    if (az != 0) rotateAboutZ(m, az);
}
void rotate(Matrix4& m, const Vector3& angles) { rotate(m, angles.x, angles.y, angles.z); }

void scale(Matrix4& m, float sx, float sy, float sz) {
    Matrix4 s = identity();
    s.m[0] = sx;
    s.m[5] = sy;
    s.m[10] = sz;
    m *= s;
}
void scale(Matrix4& m, float s) { scale(m, s, s, s); }

// ---- replacing builders ----

void setAxisRotation(Matrix4& m, Vector3& axis, float degrees) {
    float c, s;
    cosSinDegrees(degrees, c, s);
    const float t = F(1.0 - c);
    normalize(axis);
    const double x = axis.x, y = axis.y, z = axis.z;

    m.m[0] = F(x * x * t + c);
    m.m[5] = F(y * y * t + c);
    m.m[10] = F(z * z * t + c);

    float p = F(x * y * t), q = F(double(s) * z);
    m.m[1] = F(double(p) - q);
    m.m[4] = F(double(q) + p);

    p = F(z * x * t);
    q = F(double(s) * y);
    m.m[2] = F(double(q) + p);
    m.m[8] = F(double(p) - q);

    p = F(z * y * t);
    q = F(double(s) * x);
    m.m[6] = F(double(p) - q);
    m.m[9] = F(double(q) + p);

    m.m[15] = 1.0f;
}

void setLookAt(Matrix4& m, const Vector3& eye, const Vector3& target, const Vector3& up) {
    Vector3 z = eye - target;
    normalize(z);
    Vector3 x = cross(z, up);
    Vector3 y = cross(x, z);  // from x before it is normalised
    normalize(x);
    normalize(y);

    m.m[0] = -x.x;
    m.m[4] = -x.y;
    m.m[8] = -x.z;
    m.m[1] = y.x;
    m.m[5] = y.y;
    m.m[9] = y.z;
    m.m[2] = z.x;
    m.m[6] = z.y;
    m.m[10] = z.z;
    m.m[3] = m.m[7] = m.m[11] = 0.0f;
    m.m[12] = m.m[13] = m.m[14] = 0.0f;
    m.m[15] = 1.0f;
    translate(m, -eye);
}

void setPerspectiveFixedDepth(Matrix4& m, float angle, float aspect, float /*zNear*/) {
    // 1 / tan is kept wide for m0: rounding it first would round m0 twice.
    const double f = 1.0 / std::tan(double(angle));
    for (float& e : m.m) e = 0.0f;
    m.m[0] = F(f / aspect);
    m.m[5] = F(f);
    m.m[10] = -0.988f;
    m.m[11] = -1.0f;
    m.m[14] = -1.1928f;
}

void setFromDirection(Matrix4& m, const Vector3& direction) {
    // No zero guard here, unlike normalize(): a zero direction has no frame.
    const Vector3 z = direction / std::sqrt(double(dot(direction, direction)));
    // Any vector not parallel to z will do; these two never are, and each is
    // long enough on its side of the threshold to keep the cross product
    // well conditioned.
    const Vector3 helper = std::fabs(double(z.z)) > 0.577 ? Vector3(-z.y, z.z, 0.0f) : Vector3(-z.y, z.x, 0.0f);
    const Vector3 x = normalized(cross(helper, z));
    const Vector3 y = cross(z, x);  // unit already: z and x are orthonormal

    setIdentity(m);
    setColumn(m, 0, x);
    setColumn(m, 1, y);
    setColumn(m, 2, z);
    setColumn(m, 3, Vector3());
}

// ---- returning builders ----

Matrix4 facing(const Vector3& eye, const Vector3& target) {
    Vector3 z = eye - target;
    normalize(z);
    // Straight along y the y-up reference is parallel to z; use z-up there.
    const Vector3 up = std::fabs(double(z.y)) > 0.9999 ? Vector3(0.0f, 0.0f, 1.0f) : Vector3(0.0f, 1.0f, 0.0f);
    Vector3 x = -cross(z, up);
    normalize(x);
    Vector3 y = -cross(x, z);
    normalize(y);

    Matrix4 r(0.0f);
    setColumn(r, 0, Vector4(x, 0.0));
    setColumn(r, 1, Vector4(y, 0.0));
    setColumn(r, 2, Vector4(z, 0.0));
    setColumn(r, 3, Vector4(eye, 1.0));
    return r;
}

Matrix4 rigidInverse(const Matrix4& m) {
    const float* a = m.m;
    Matrix4 r(0.0f);
    r.m[0] = a[0];
    r.m[5] = a[5];
    r.m[10] = a[10];
    r.m[1] = a[4];
    r.m[2] = a[8];
    r.m[4] = a[1];
    r.m[6] = a[9];
    r.m[8] = a[2];
    r.m[9] = a[6];
    r.m[12] = F(-(double(a[0]) * a[12]) - double(a[1]) * a[13] - double(a[2]) * a[14]);
    r.m[13] = F(-(double(a[4]) * a[12]) - double(a[5]) * a[13] - double(a[6]) * a[14]);
    r.m[14] = F(-(double(a[8]) * a[12]) - double(a[9]) * a[13] - double(a[10]) * a[14]);
    r.m[15] = 1.0f;
    return r;
}

Matrix4 planarShadow(const Vector4& light, const Vector4& plane) {
    const float l[4] = {light.x, light.y, light.z, light.w};
    const float p[4] = {plane.x, plane.y, plane.z, plane.w};
    float diagonal[4];
    for (int i = 0; i < 4; ++i) diagonal[i] = F(double(l[i]) * p[i]);
    const float d = F(((double(diagonal[1]) + diagonal[0]) + diagonal[2]) + diagonal[3]);

    Matrix4 r(0.0f);
    for (int c = 0; c < 4; ++c) {
        for (int row = 0; row < 4; ++row) {
            r.m[4 * c + row] = row == c ? F(double(d) - diagonal[row]) : F(-(double(l[row]) * p[c]));
        }
    }
    return r;
}

Matrix4 perspective(float fovY, float aspect, float zNear, float zFar) {
    const double pi = 3.14159265358979323846;
    const float top = F(zNear * std::tan(fovY * pi / 360.0));
    const float right = F(double(aspect) * top);
    const float left = -right;
    const float bottom = -top;
    const float twoNear = F(double(zNear) * 2.0);
    const float width = F(double(right) - left);
    const float height = F(double(top) - bottom);
    const float depth = F(double(zFar) - zNear);

    Matrix4 r(0.0f);
    r.m[0] = F(double(twoNear) / width);
    r.m[5] = F(double(twoNear) / height);
    r.m[8] = F((double(left) + right) / width);
    r.m[9] = F((double(bottom) + top) / height);
    r.m[10] = F((-double(zFar) - zNear) / depth);
    r.m[11] = -1.0f;
    r.m[14] = F((-double(twoNear) * zFar) / depth);
    return r;
}

std::string toString(const Matrix4& m) {
    std::string out;
    char line[64];
    for (int i = 0; i < 16; ++i) {
        std::snprintf(line, sizeof line, i < 10 ? "(%d ) %.7g\r\n" : "(%d) %.7g\r\n", i, double(m.m[i]));
        out += line;
    }
    return out;
}
