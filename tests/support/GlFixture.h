// GL test support: each GlFixture test starts on a hidden 1024 x 768 window of
// its own, made by InitGL as the application makes it but without
// multisampling (so edges are exact); helpers capture output, read GL state
// and probe pixels.
//
//   TEST_F(GlFixture, DrawsRed) {
//       ...draw...
//       EXPECT_TRUE(PixelsNear(0, 0, 16, 16, {255, 0, 0}, 2));  // +-2 per channel
//   }
//
// A fresh window per test costs nothing extra under CTest, which runs every
// test in a process of its own anyway. Probes read the bound framebuffer,
// bottom row first; InitGL's clear colour reads (0, 0, 64). Without DISPLAY a
// GL test fails under CI and is skipped otherwise; a display on which no
// window can be made is a failure.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "render/Extensions.h"
#include "render/GLSetup.h"
#include "render/Screen.h"
#include "support/LogCapture.h"

using Rgba = std::array<int, 3>;  // 0..255 per channel

// The first value of glGetIntegerv; room for queries that give several.
inline GLint GlInteger(GLenum which) {
    GLint values[16] = {};
    glGetIntegerv(which, values);
    return values[0];
}

// One expectation per {query, value} pair of integer GL state.
inline void ExpectState(std::initializer_list<std::pair<GLenum, GLint>> rows) {
    for (const auto& [which, value] : rows) EXPECT_EQ(GlInteger(which), value) << "GL state 0x" << std::hex << which;
}

// What the extension record says: 1 or 0 for anisotropy, framebuffer objects,
// vertex buffers, multitexture, shaders and two-sided stencil, then the entry
// points held (every field from the first pointer on is one) and the units.
inline std::string Found(const GLExtensions& e) {
    int held = 0;
    for (auto* p = reinterpret_cast<const char*>(&e.glGenFramebuffersEXT); p < reinterpret_cast<const char*>(&e + 1);
         p += sizeof(GLProc))
        held += std::memcmp(p, std::array<char, sizeof(GLProc)>{}.data(), sizeof(GLProc)) != 0;
    std::string found;
    for (bool flag : {e.hasAnisotropy, e.hasFramebufferObject, e.hasVertexBufferObject, e.hasMultitexture,
                      e.hasShaderObjects, e.hasStencilTwoSide})
        found += flag ? '1' : '0';
    return found + " " + std::to_string(held) + " " + std::to_string(e.maxTextureUnits);
}

// What a start through InitGL left: whether a window was made, and the log.
struct GlStartup {
    bool opened;
    std::string log;
};

// Runs InitGL(width, height, 32, 0, samples, 0) on a hidden window; the log
// channel is standard output again afterwards.
inline GlStartup StartGlCapturingLog(int width, int height, int samples) {
    SetWindowAttribute(WindowAttribute::Visible, 0);
    SetWindowAttribute(WindowAttribute::Samples, 4);  // a stale request, for InitGL to honour only when asked
    LogCapture out(1);
    InitGL(width, height, 32, 0, samples, 0);
    close(screen.logFile);
    screen.logFile = 0;
    return {HasWindow() != 0, out.text()};
}

// In a GL test, when no X display is named in the environment: fails under
// CI, skips otherwise.
#define VOXWALK_REQUIRE_DISPLAY()                                                       \
    if (!std::getenv("DISPLAY") || !*std::getenv("DISPLAY")) {                          \
        if (std::getenv("CI")) FAIL() << "GL test without a display: DISPLAY is unset"; \
        GTEST_SKIP() << "no display (DISPLAY unset)";                                   \
    }

class GlFixture : public ::testing::Test {
  public:
    static constexpr int kWidth = 1024, kHeight = 768;

    // A new window for every test, so nothing carries over from the one
    // before; InitGL's log is kept.
    void SetUp() override {
        VOXWALK_REQUIRE_DISPLAY();
        started = StartGlCapturingLog(kWidth, kHeight, 0);
        ASSERT_TRUE(started.opened) << "DISPLAY is set but no GL window could be made";
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    }

    // RGBA bytes of a rectangle of the read buffer, bottom row first.
    static std::vector<unsigned char> ReadPixels(int x, int y, int width, int height) {
        std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 4);
        glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        return pixels;
    }

    // Every pixel of the rectangle within `tolerance` of `expected` in red,
    // green and blue; otherwise the first pixel that is not.
    static ::testing::AssertionResult PixelsNear(int x, int y, int width, int height, Rgba expected, int tolerance) {
        const std::vector<unsigned char> p = ReadPixels(x, y, width, height);
        for (size_t i = 0; i < p.size(); ++i)
            if (i % 4 != 3 && std::abs(p[i] - expected[i % 4]) > tolerance)
                return ::testing::AssertionFailure() << "pixel (" << x + i / 4 % width << ", " << y + i / 4 / width
                                                     << ") has " << +p[i] << " in channel " << i % 4;
        return ::testing::AssertionSuccess();
    }

    GlStartup started;  // the window, and what InitGL wrote
};
