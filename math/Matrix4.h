// 4x4 single-precision matrix in OpenGL's column-major order.
#pragma once

struct Matrix4 {
    float m[16];

    // All sixteen elements set to s.
    explicit Matrix4(float s) {
        for (float& e : m) e = s;
    }
    float* data() { return m; }
    const float* data() const { return m; }
};
