// Comparisons for the math tests: vectors and matrices as lists of floats.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

#include "math/Geometry.h"

using Fs = std::vector<float>;

const float kInf = std::numeric_limits<float>::infinity(), kNaN = std::numeric_limits<float>::quiet_NaN();

inline Fs Floats(const Vector2& v) { return {v.x, v.y}; }
inline Fs Floats(const Vector3& v) { return {v.x, v.y, v.z}; }
inline Fs Floats(const Vector4& v) { return {v.x, v.y, v.z, v.w}; }
inline Fs Floats(const Matrix4& m) { return Fs(m.m, m.m + 16); }

// Equal components (0 == -0 here); a failure prints both lists.
#define EXPECT_VEC(actual, ...) EXPECT_EQ(Floats(actual), (Fs{__VA_ARGS__}))

template <class V>
void ExpectNear(const V& actual, const Fs& expected, float tolerance = 1e-5f) {
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(Floats(actual)[i], expected[i], tolerance) << "at " << i;
}

// Same sixteen floats to the bit: tells -0 from 0, unlike ==.
#define EXPECT_SAME_BITS(a, b) EXPECT_EQ(std::memcmp((a).m, (b).m, sizeof(Matrix4)), 0)

const Fs kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
