#include <cmath>

#include "MathTestUtil.h"

namespace {

// Forms the operator table leaves out must not compile, rather than reach
// another overload through a conversion (v /= 0.5f must not divide by 0).
template <class V, class S>
concept DividesInPlace = requires(V a, S s) {
    a /= s;
};
static_assert(!DividesInPlace<Vector4, int> && !DividesInPlace<Vector3, float> && !DividesInPlace<Vector3, double>);

// Chained so that a wrong operator anywhere changes the result.
TEST(Vector, OperatorsAreComponentWiseWithScalarOnTheRight) {
    EXPECT_VEC(((Vector2(1, 2) + Vector2(3, 5)) * Vector2(2, 3) - Vector2(1, 1)) / Vector2(4, 2), 1.75f, 10);
    EXPECT_VEC((Vector2(1, 2) + 1.0f) * 3.0f / 4.0f * 0.5 / 2.0 / 2, 0.1875f, 0.28125f);
    EXPECT_VEC(((Vector3(1, 2, 3) + Vector3(3, 5, 1)) * Vector3(2, 3, 4) - Vector3(1, 1, 2)) / Vector3(4, 2, 7), 1.75f,
               10, 2);
    EXPECT_VEC(-(Vector3(1, -2, 3) + 1.0f - 0.5f) * 3.0f / 4.0f * 0.5 / 2.0, -0.28125f, 0.28125f, -0.65625f);
    EXPECT_VEC(
        ((Vector4(1, 2, 3, 4) + Vector4(3, 5, 1, 2)) * Vector4(2, 3, 4, 5) - Vector4(1, 1, 2, 3)) / Vector4(4, 2, 7, 9),
        1.75f, 10, 2, 3);
    EXPECT_VEC(-(Vector4(1, -2, 3, 5) + 1.0f) * 3.0f / 4.0f / 2.0 / 2, -0.375f, 0.1875f, -0.75f, -1.125f);
    Vector3 v(1, 2, 3);
    Vector4 w(1, 2, 3, 4);
    EXPECT_VEC(((v += Vector3(2, 4, 6)) *= 2.0f) /= 4, 1.5f, 3, 4.5f);
    EXPECT_VEC(w *= 0.5f, 0.5f, 1, 1.5f, 2);
    EXPECT_VEC(Vector4(Vector3(w), 0.1), 0.5f, 1, 1.5f, 0.1f);
    // 16777217 has no float: turned into one first, the quotient would be 1.
    const float quotient = float(16777216.0 / 16777217.0), viaDouble = float(double(0.005f) * 0.1);
    v = Vector3(16777216.0f, 0, 0);
    EXPECT_EQ(
        (Fs{(Vector2(16777216.0f, 0) / 16777217).x, (Vector4(16777216.0f, 0, 0, 0) / 16777217).x, (v /= 16777217).x}),
        (Fs{quotient, quotient, quotient}));
    ASSERT_NE(viaDouble, 0.005f * 0.1f);
    EXPECT_EQ((Fs{(Vector2(0.005f, 0) * 0.1).x, (Vector3(0.005f, 0, 0) * 0.1).x}), (Fs{viaDouble, viaDouble}));
}

// Named operations and text. In float 1e8 + 1 is 1e8, and 8193 * 8191 is 8192 * 8192.
TEST(Vector, NamedOperationsRoundOnceAndText) {
    EXPECT_EQ((Fs{dot(Vector2(3, 4), Vector2(5, -6)), dot(Vector3(1e8f, 1, -1e8f), Vector3(1, 1, 1)),
                  dot(Vector4(1e8f, 1, -1e8f, 2), Vector4(1, 1, 1, 1)), cross(Vector2(1, 2), Vector2(3, 5)),
                  cross(Vector2(8192, 8193), Vector2(8191, 8192))}),
              (Fs{-9, 1, 3, -1, 1}));
    EXPECT_VEC(cross(Vector3(0, 8192, 8193), Vector3(0, 8191, 8192)), 1, 0, 0);
    EXPECT_VEC(cross(Vector4(1, 2, 3, 7), Vector4(4, 5, 7, 3)), -1, 5, -3, 7);  // w from a
    // The guard: zero and NaN read as 1; a tiny vector is not zero (squared
    // in float it would be), a huge one does not overflow.
    EXPECT_EQ((Fs{length(Vector2(3, 4)), length(Vector3(2, 3, 6)), length(Vector4(1, 2, 2, 4)), length(Vector2()),
                  length(Vector3()), length(Vector4()), length(Vector2(kNaN, 0)), length(Vector3(kNaN, 0, 0)),
                  length(Vector4(kNaN, 0, 0, 0)), length(Vector2(1e-45f, 0)), length(Vector3(kInf, 0, 0))}),
              (Fs{5, 7, 5, 1, 1, 1, 1, 1, 1, 1e-45f, kInf}));
    EXPECT_FLOAT_EQ(length(Vector2(1e20f, 1e20f)), 1.41421356e20f);
    EXPECT_EQ((Fs{distance(Vector2(-1, -1), Vector2(2, 3)), distance(Vector3(1, 2, 3), Vector3(3, 5, 9)),
                  distance(Vector4(1, 1, 1, 1), Vector4(2, 3, 3, 5)), distance(Vector3(1, 2, 3), Vector3(1, 2, 3))}),
              (Fs{5, 7, 5, 0}));  // no guard
    // Normalising: w takes part, and a zero vector stays zero.
    const auto inPlace = [](auto v) { return normalize(v), v; };
    EXPECT_VEC(inPlace(Vector2(3, 4)), 0.6f, 0.8f);
    EXPECT_VEC(inPlace(Vector3(2, 3, 6)), float(2 / 7.0), float(3 / 7.0), float(6 / 7.0));
    EXPECT_VEC(inPlace(Vector4(0, 0, 0, 2)), 0, 0, 0, 1);
    EXPECT_EQ((Fs{normalized(Vector2(3, 4)).y, normalized(Vector3(2, 3, 6)).z, normalized(Vector4(0, 0, 0, 2)).w,
                  normalized(Vector3()).y}),
              (Fs{0.8f, float(6 / 7.0), 1, 0}));
    EXPECT_EQ((Fs{angleBetween(Vector2(1, 0), Vector2(0, 2)), angleBetween(Vector3(0, 0, 3), Vector3())}),
              (Fs{1.5707964f, 1.5707964f}));
    ExpectNear(Vector2(angleBetween(Vector2(2, 0), Vector2(1, 1)), angleBetween(Vector3(3, 0, 0), Vector3(-1, 1, 0))),
               {0.78539819f, 2.3561945f}, 1e-6f);
    // For this vector the cosine rounds above 1: without the clamp, NaN.
    const Vector3 v(0.74f, 2.26f, 2.42f);
    ASSERT_GT(dot(v, v) / (double(length(v)) * length(v)), 1.0);
    EXPECT_EQ((Fs{angleBetween(v, v), angleBetween(v, -v)}), (Fs{0, 3.1415927f}));
    EXPECT_VEC(lineNormal(Vector2(1, 1), Vector2(4, 5)), 0.8f, -0.6f);
    EXPECT_VEC(lineNormal(Vector2(2, 3), Vector2(2, 3)), 0, 0);
    // Each component as %.7g prints it (the Vector3 and Vector2 forms lead the way).
    EXPECT_EQ(toString(Vector4(12345678.0f, 0.00001f, -0.0f, 2.5f)), "x: 1.234568e+07, y: 1e-05, z: -0, w: 2.5");
}

}  // namespace
