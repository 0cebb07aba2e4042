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

class Offscreen : public ::testing::Test {
  protected:
    void SetUp() override { unsetenv("DISPLAY"); }  // proves no X server is involved
    void TearDown() override { CloseOffscreenGL(); }
};

TEST_F(Offscreen, RefusesSizesThatCannotBeMadeAndLeavesNothingOpen) {
    const std::array<int, 2> sizes[] = {{0, 16}, {-4, 4}, {1 << 20, 4}, {4, 1 << 20}};
    for (const auto& [width, height] : sizes) {
        std::string error;
        EXPECT_FALSE(OpenOffscreenGL(width, height, error)) << width << "x" << height;
        EXPECT_NE(error.find("size"), std::string::npos) << error;
        EXPECT_EQ(GetGLProc("glGetString"), nullptr) << width << "x" << height;
        EXPECT_TRUE(ReadOffscreenPixels(1, 1).empty());
    }
}

// Depth cleared to 0.5 and stencil 1 on the left half: red drawn near over
// the top half and far over the bottom half shows only at the top left.
TEST_F(Offscreen, DrawsWithDepthAndStencilAndReadsBackTopRowFirst) {
    constexpr int kW = 40, kH = 30;
    std::string error;
    ASSERT_TRUE(OpenOffscreenGL(8, 8, error)) << error;
    ASSERT_TRUE(OpenOffscreenGL(kW, kH, error)) << error;  // a second open replaces the first
    EXPECT_NE(std::string(GetGLExtensionString()).find("GL_ARB_multitexture"), std::string::npos);
    glClearColor(0.0f, 0.0f, 1.0f, 0.0f);
    glClearDepth(0.5);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, kW / 2, kH);
    glClearStencil(1);
    glClear(GL_STENCIL_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_STENCIL_TEST);
    glStencilFunc(GL_EQUAL, 1, 0xFF);
    glColor4f(1, 0, 0, 1);
    for (const float z : {-0.5f, 0.5f}) {  // window depth 0.25, then 0.75
        glScissor(0, z < 0 ? kH / 2 : 0, kW, kH / 2);
        glLoadIdentity();
        glTranslatef(0, 0, z);
        glRectf(-1, -1, 1, 1);
    }
    const std::vector<uint8_t> pixels = ReadOffscreenPixels(kW, kH);
    ASSERT_EQ(pixels.size(), static_cast<size_t>(kW * kH * 4));
    const Rgba red{255, 0, 0, 255}, clear{0, 0, 255, 0};
    EXPECT_EQ(PixelAt(pixels, kW, 0, 0), red) << "top left: near, stencil 1";
    EXPECT_EQ(PixelAt(pixels, kW, kW - 1, 0), clear) << "top right: the stencil blocks";
    EXPECT_EQ(PixelAt(pixels, kW, 0, kH - 1), clear) << "bottom left: the depth test blocks";
    EXPECT_EQ(PixelAt(ReadOffscreenPixels(1, kH), 1, 0, kH / 2 - 1), red) << "a narrower read";
    EXPECT_TRUE(ReadOffscreenPixels(kW + 1, kH).empty());

    CloseOffscreenGL();
    EXPECT_EQ(GetGLProc("glGetString"), nullptr);
    EXPECT_STREQ(GetGLExtensionString(), "");
    EXPECT_TRUE(ReadOffscreenPixels(kW, kH).empty());
}

}  // namespace
