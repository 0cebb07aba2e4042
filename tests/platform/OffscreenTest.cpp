// The offscreen context: made without any X server, drawn into with the
// fixed pipeline, read back top row first.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include <GL/gl.h>

#include "platform/Offscreen.h"
#include "platform/Window.h"

namespace {

using Rgba = std::array<int, 4>;

Rgba PixelAt(const std::vector<uint8_t>& pixels, int width, int x, int y) {
    const uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 4];
    return {p[0], p[1], p[2], p[3]};
}

// A rectangle in normalised device coordinates at depth z.
void FillRect(float x0, float y0, float x1, float y1, float z) {
    glBegin(GL_QUADS);
    glVertex3f(x0, y0, z);
    glVertex3f(x1, y0, z);
    glVertex3f(x1, y1, z);
    glVertex3f(x0, y1, z);
    glEnd();
}

class Offscreen : public ::testing::Test {
  protected:
    void SetUp() override { unsetenv("DISPLAY"); }  // proves no X server is involved
    void TearDown() override { CloseOffscreenGL(); }
};

TEST_F(Offscreen, RefusesSizesThatCannotBeMade) {
    const struct {
        const char* name;
        int width, height;
    } cases[] = {{"zero width", 0, 16}, {"negative", -4, 4}, {"too wide", 1 << 20, 4},
                 {"too tall", 4, 1 << 20}};
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(OpenOffscreenGL(c.width, c.height, error)) << c.name;
        EXPECT_NE(error.find("size"), std::string::npos) << c.name << ": " << error;
        EXPECT_EQ(GetGLProc("glGetString"), nullptr) << c.name << ": a context was left open";
        EXPECT_TRUE(ReadOffscreenPixels(1, 1).empty()) << c.name;
    }
}

TEST_F(Offscreen, IsACompatibilityContextSeenThroughTheWindowLayer) {
    std::string error;
    ASSERT_TRUE(OpenOffscreenGL(8, 8, error)) << error;
    ASSERT_TRUE(OpenOffscreenGL(32, 16, error)) << error;  // a second open replaces the first
    EXPECT_NE(std::string(GetGLExtensionString()).find("GL_ARB_multitexture"), std::string::npos);
    const std::string version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    EXPECT_TRUE(version.find("Compatibility") != std::string::npos || version < "3.2") << version;
    GLint viewport[4] = {}, depthBits = 0, stencilBits = 0;
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    glGetIntegerv(GL_STENCIL_BITS, &stencilBits);
    EXPECT_EQ(viewport[2] * 100 + viewport[3], 3216);
    EXPECT_EQ(depthBits, 24);
    EXPECT_EQ(stencilBits, 8);
    CloseOffscreenGL();
    EXPECT_EQ(GetGLProc("glGetString"), nullptr);
    EXPECT_STREQ(GetGLExtensionString(), "");
    EXPECT_TRUE(ReadOffscreenPixels(32, 16).empty());
}

TEST_F(Offscreen, ReadsBackTopRowFirstWithDepthAndStencil) {
    constexpr int kW = 40, kH = 30;
    std::string error;
    ASSERT_TRUE(OpenOffscreenGL(kW, kH, error)) << error;
    glClearColor(0.0f, 0.0f, 1.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    // Stencil 1 on the left half, no colour.
    glEnable(GL_STENCIL_TEST);
    glStencilFunc(GL_ALWAYS, 1, 0xFF);
    glStencilOp(GL_KEEP, GL_KEEP, GL_REPLACE);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    FillRect(-1, -1, 0, 1, 0.9f);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    // A near red top half, then a far green everywhere the stencil is 1.
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glStencilFunc(GL_ALWAYS, 0, 0xFF);
    glColor4f(1, 0, 0, 1);
    FillRect(-1, 0, 1, 1, -0.5f);
    glStencilFunc(GL_EQUAL, 1, 0xFF);
    glColor4f(0, 1, 0, 1);
    FillRect(-1, -1, 1, 1, 0.5f);

    const std::vector<uint8_t> pixels = ReadOffscreenPixels(kW, kH);
    ASSERT_EQ(pixels.size(), static_cast<size_t>(kW * kH * 4));
    const Rgba red{255, 0, 0, 255}, green{0, 255, 0, 255}, clear{0, 0, 255, 0};
    EXPECT_EQ(PixelAt(pixels, kW, 0, 0), red) << "top left: near red hides far green";
    EXPECT_EQ(PixelAt(pixels, kW, kW - 1, 0), red) << "top right";
    EXPECT_EQ(PixelAt(pixels, kW, 0, kH - 1), green) << "bottom left: stencil passes";
    EXPECT_EQ(PixelAt(pixels, kW, kW - 1, kH - 1), clear) << "bottom right: stencil blocks";
    // A smaller read is the bottom-left corner, still top row first.
    const std::vector<uint8_t> corner = ReadOffscreenPixels(4, kH / 2);
    ASSERT_EQ(corner.size(), static_cast<size_t>(4 * (kH / 2) * 4));
    EXPECT_EQ(PixelAt(corner, 4, 0, 0), green);
    EXPECT_TRUE(ReadOffscreenPixels(kW + 1, kH).empty());
}

}  // namespace
