// Bit-exact and approximate comparisons for the math tests.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>

#include "math/Matrix4.h"

// Same float to the bit: tells -0 from 0 and matches NaN patterns, unlike ==.
#define EXPECT_BITS(expected, actual) \
    EXPECT_EQ(std::bit_cast<uint32_t>(float(expected)), std::bit_cast<uint32_t>(float(actual))) \
        << "expected " << float(expected) << ", got " << float(actual)

inline void ExpectVec(const Vector2& v, float x, float y) {
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
}
inline void ExpectVec(const Vector3& v, float x, float y, float z) {
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
    EXPECT_EQ(v.z, z);
}
inline void ExpectVec(const Vector4& v, float x, float y, float z, float w) {
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
    EXPECT_EQ(v.z, z);
    EXPECT_EQ(v.w, w);
}
inline void ExpectNear(const Vector3& v, float x, float y, float z, float tolerance = 1e-5f) {
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

inline Matrix4 Identity() {
    Matrix4 m(0.0f);
    setIdentity(m);
    return m;
}

// Every element within `tolerance` of the identity's.
inline void ExpectNearIdentity(const Matrix4& m, float tolerance = 1e-5f) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(m.m[i], i % 5 == 0 ? 1.0f : 0.0f, tolerance) << "element " << i;
}

inline void ExpectSameBits(const Matrix4& expected, const Matrix4& actual) {
    for (int i = 0; i < 16; ++i) EXPECT_BITS(expected.m[i], actual.m[i]) << "element " << i;
}
