// The offscreen context: made without any X server, drawn into with the
// fixed pipeline, read back top row first.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <GL/gl.h>

#include "platform/Offscreen.h"
#include "platform/Window.h"

namespace {

struct Rgba {
    int r, g, b, a;
};

Rgba PixelAt(const std::vector<uint8_t>& pixels, int width, int x, int y) {
    const uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 4];
    return {p[0], p[1], p[2], p[3]};
}

void ExpectRgba(const std::vector<uint8_t>& pixels, int width, int x, int y, Rgba want,
                const char* where) {
    const Rgba got = PixelAt(pixels, width, x, y);
    EXPECT_TRUE(got.r == want.r && got.g == want.g && got.b == want.b && got.a == want.a)
        << where << " at (" << x << ", " << y << "): got " << got.r << "," << got.g << ","
        << got.b << "," << got.a << " want " << want.r << "," << want.g << "," << want.b << ","
        << want.a;
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
    // Proves that no X server is involved.
    static void SetUpTestSuite() { unsetenv("DISPLAY"); }
    void TearDown() override { CloseOffscreenGL(); }
};

TEST(OffscreenRefuses, SizesThatCannotBeMade) {
    unsetenv("DISPLAY");
    const struct {
        const char* name;
        int width, height;
    } cases[] = {
        {"zero width", 0, 16},   {"zero height", 16, 0},          {"negative", -4, 4},
        {"too wide", 1 << 20, 4}, {"too tall", 4, 1 << 20},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(OpenOffscreenGL(c.width, c.height, error)) << c.name;
        EXPECT_NE(error.find("size"), std::string::npos) << c.name << ": " << error;
        EXPECT_FALSE(HasOffscreenGL()) << c.name;
        EXPECT_EQ(GetGLProc("glGetString"), nullptr) << c.name << ": a context was left open";
        EXPECT_TRUE(ReadOffscreenPixels(1, 1).empty()) << c.name;
    }
}

TEST_F(Offscreen, GivesACompatibilityContextThroughTheWindowLayer) {
    std::string error;
    ASSERT_TRUE(OpenOffscreenGL(32, 16, error)) << error;
    EXPECT_TRUE(error.empty());
    EXPECT_NE(GetGLProc("glGenFramebuffers"), nullptr);
    EXPECT_NE(std::string(GetGLExtensionString()).find("GL_ARB_multitexture"), std::string::npos);
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    ASSERT_NE(version, nullptr);
    // Either a compatibility profile or a legacy (< 3.2) context keeps the fixed pipeline.
    const std::string text = version;
    EXPECT_TRUE(text.find("Compatibility") != std::string::npos || text < "3.2") << text;
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 32);
    EXPECT_EQ(viewport[3], 16);
    GLint depthBits = 0, stencilBits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    glGetIntegerv(GL_STENCIL_BITS, &stencilBits);
    EXPECT_EQ(depthBits, 24);
    EXPECT_EQ(stencilBits, 8);

    CloseOffscreenGL();
    EXPECT_EQ(GetGLProc("glGetString"), nullptr);
    EXPECT_STREQ(GetGLExtensionString(), "");
}

TEST_F(Offscreen, ReadsBackTopRowFirstWithDepthAndStencil) {
    constexpr int kW = 40, kH = 30;
    std::string error;
    ASSERT_TRUE(OpenOffscreenGL(kW, kH, error)) << error;
    glClearColor(0.0f, 0.0f, 1.0f, 0.0f);
    glClearStencil(0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);

    // Stencil: mark the left half, colour nothing.
    glEnable(GL_STENCIL_TEST);
    glStencilFunc(GL_ALWAYS, 1, 0xFF);
    glStencilOp(GL_KEEP, GL_KEEP, GL_REPLACE);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    glDepthMask(GL_FALSE);
    FillRect(-1, -1, 0, 1, 0);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthMask(GL_TRUE);
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);

    // Depth: a near red rectangle over the top half, then a far green one
    // over everything, drawn only where the stencil mark is.
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glStencilFunc(GL_ALWAYS, 0, 0xFF);
    glColor4f(1, 0, 0, 1);
    FillRect(-1, 0, 1, 1, -0.5f);
    glStencilFunc(GL_EQUAL, 1, 0xFF);
    glColor4f(0, 1, 0, 1);
    FillRect(-1, -1, 1, 1, 0.5f);
    glDisable(GL_STENCIL_TEST);

    const std::vector<uint8_t> pixels = ReadOffscreenPixels(kW, kH);
    ASSERT_EQ(pixels.size(), static_cast<size_t>(kW * kH * 4));
    const Rgba red{255, 0, 0, 255}, green{0, 255, 0, 255}, clear{0, 0, 255, 0};
    ExpectRgba(pixels, kW, 0, 0, red, "top left: near red hides far green");
    ExpectRgba(pixels, kW, kW - 1, 0, red, "top right");
    ExpectRgba(pixels, kW, 0, kH - 1, green, "bottom left: stencil passes");
    ExpectRgba(pixels, kW, kW - 1, kH - 1, clear, "bottom right: stencil blocks");

    // A smaller read is the bottom-left corner, still top row first.
    const std::vector<uint8_t> corner = ReadOffscreenPixels(4, kH / 2);
    ASSERT_EQ(corner.size(), static_cast<size_t>(4 * (kH / 2) * 4));
    ExpectRgba(corner, 4, 0, 0, green, "corner top");
    EXPECT_TRUE(ReadOffscreenPixels(kW + 1, kH).empty());
    EXPECT_TRUE(ReadOffscreenPixels(kW, 0).empty());
}

TEST_F(Offscreen, OpensAgainAtAnotherSize) {
    std::string error;
    ASSERT_TRUE(OpenOffscreenGL(8, 8, error)) << error;
    ASSERT_TRUE(OpenOffscreenGL(20, 10, error)) << error;
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    const std::vector<uint8_t> pixels = ReadOffscreenPixels(20, 10);
    ASSERT_EQ(pixels.size(), 20u * 10u * 4u);
    ExpectRgba(pixels, 20, 19, 9, {255, 255, 255, 255}, "far corner");
    CloseOffscreenGL();
    EXPECT_FALSE(HasOffscreenGL());
    EXPECT_TRUE(ReadOffscreenPixels(20, 10).empty());
}

}  // namespace
