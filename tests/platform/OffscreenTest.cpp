// The offscreen context: made without any X server, drawn into with the
// fixed pipeline, read back top row first.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include "platform/Offscreen.h"
#include "platform/Window.h"

// Depth cleared to 0.5 and stencil 1 on the left half: red drawn near over
// the top half and far over the bottom half shows only at the top left.
// Then a slanted edge, which only multisampling shades in steps.
TEST(Offscreen, DrawsWithDepthAndStencilReadsBackTopRowFirstAndRefusesBadSizes) {
    unsetenv("DISPLAY");  // proves no X server is involved
    constexpr int kW = 40, kH = 30;
    std::string error;
    // Single-sampled, then multisampled as a window asks (resolved when read).
    for (int samples : {0, 2}) {
        ASSERT_TRUE(OpenOffscreenGL(kW, kH, error, samples)) << error;
        EXPECT_NE(std::string(GetGLExtensionString()).find("GL_ARB_multitexture"), std::string::npos);
        glClearDepth(0.5);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 0, kW / 2, kH);
        glClearStencil(1);
        glClear(GL_STENCIL_BUFFER_BIT);
        glDisable(GL_SCISSOR_TEST);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_STENCIL_TEST);
        glStencilFunc(GL_EQUAL, 1, 0xFF);
        glColor4f(1, 0, 0, 1);
        glTranslatef(0, 0, -0.5f);  // window depth 0.25
        glRectf(-1, 0, 1, 1);
        glTranslatef(0, 0, 1.0f);  // 0.75
        glRectf(-1, -1, 1, 0);
        // RGBA of pixel i of a read-back.
        auto at = [](const std::vector<uint8_t>& p, size_t i) { return std::vector<int>(&p[i * 4], &p[i * 4] + 4); };
        const std::vector<int> red{255, 0, 0, 255}, clear{0, 0, 0, 0};
        glEnable(GL_SCISSOR_TEST);  // on the right half: the read-back takes all the same
        glScissor(kW / 2, 0, kW / 2, kH);
        const std::vector<uint8_t> pixels = ReadOffscreenPixels(kW, kH);
        ASSERT_EQ(pixels.size(), size_t{kW * kH * 4});
        // Top left: near, stencil 1; top right: the stencil blocks; bottom left: the depth test blocks.
        EXPECT_EQ(std::tuple(at(pixels, 0), at(pixels, kW - 1), at(pixels, (kH - 1) * kW)),
                  std::tuple(red, clear, clear));
        EXPECT_EQ(at(ReadOffscreenPixels(1, kH), kH / 2 - 1), red) << "a narrower read";
        EXPECT_TRUE(ReadOffscreenPixels(kW + 1, kH).empty());
        // A slanted edge: only samples give pixels part red.
        for (GLenum test : {GL_SCISSOR_TEST, GL_STENCIL_TEST, GL_DEPTH_TEST}) glDisable(test);
        glClear(GL_COLOR_BUFFER_BIT);
        glRotatef(20, 0, 0, 1);
        glRectf(-2, -2, 2, 0);
        int partly = 0;
        for (uint8_t channel : ReadOffscreenPixels(kW, kH)) partly += channel > 0 && channel < 255;
        EXPECT_EQ(partly > 0, samples > 0) << samples << " samples";
    }
    // A size that cannot be made is refused, and what was open is closed first.
    for (auto [width, height] : {std::pair{1 << 20, 4}, {4, 1 << 20}, {0, 16}, {-4, 4}}) {
        EXPECT_FALSE(OpenOffscreenGL(width, height, error)) << width << "x" << height;
        EXPECT_NE(error.find("size"), std::string::npos) << error;
        EXPECT_TRUE(!GetGLProc("glGetString") && !*GetGLExtensionString() && ReadOffscreenPixels(1, 1).empty());
    }
}
