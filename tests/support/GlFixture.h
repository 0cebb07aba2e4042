// GL test fixture: one hidden window per test program, with InitGL's state.
//
// Use:
//   #include "support/GlFixture.h"
//   TEST_F(GlFixture, DrawsRed) {
//       glColor3f(1, 0, 0);
//       ...draw...
//       ExpectPixel(10, 20, {255, 0, 0, 255}, 2);         // one pixel, +-2 per channel
//       EXPECT_TRUE(PixelsNear(0, 0, 16, 16, {255, 0, 0, 255}, 2));   // a rectangle
//   }
//   Derive your own fixture from GlFixture for shared set-up (call
//   GlFixture::SetUp() first and return when it skipped or failed:
//   `if (IsSkipped() || HasFatalFailure()) return;`).
//   In CMake: voxwalk_add_test(name SOURCES ... LIBS voxwalk_render ... GL).
//
// The window: the first test that needs it runs InitGL(1024, 768, 32, 0, 0, 0)
// on a hidden window, as the application does except for multisampling (0
// samples, so edges are exact and probes need no tolerance for coverage).
// `screen`, `glExtensions`, the projection and the fixed state are thus the
// application's. The log lines InitGL wrote are kept in StartupLog(); the log
// channel is then standard output again (logFile 0); LogCapture works as usual.
//
// Before each test: `screen` and `glExtensions` are put back to what InitGL
// left, and the GL state that tests commonly change is reset to InitGL's
// (see ResetGlState), the buffers cleared and GL errors drained, so no test
// depends on the ones before it. GL objects made by earlier tests stay.
//
// Probes read the back buffer (or the bound framebuffer object): draw, then
// probe, without PresentWindow in between. Colours are 0..255 per channel;
// the clear colour of InitGL reads as (0, 0, 64).
//
// Without a display (DISPLAY unset) the test fails when the environment
// variable CI is set and is skipped otherwise. A display on which no window
// can be made is always a failure.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <GL/gl.h>
#include <GL/glext.h>

#include "platform/Window.h"
#include "render/Extensions.h"
#include "render/GLSetup.h"
#include "render/Screen.h"

struct Rgba {
    int r = 0, g = 0, b = 0, a = 255;
};

// One integer of GL state, read with glGetIntegerv.
inline GLint GlInteger(GLenum which) {
    GLint value = 0;
    glGetIntegerv(which, &value);
    return value;
}

// 1 when an X display is named in the environment.
inline bool GlDisplayAvailable() {
    const char* display = std::getenv("DISPLAY");
    return display && *display;
}

// In SetUp of a GL test: fails without a display under CI, skips otherwise.
#define VOXWALK_REQUIRE_DISPLAY()                                                         \
    do {                                                                                  \
        if (!GlDisplayAvailable()) {                                                      \
            if (std::getenv("CI")) {                                                      \
                FAIL() << "GL test without a display: DISPLAY is not set (run under xvfb-run or scripts/test)"; \
            }                                                                             \
            GTEST_SKIP() << "no display (DISPLAY unset)";                                 \
        }                                                                                 \
    } while (0)

// What a start through InitGL left: whether a window was made and the log
// lines InitGL wrote.
struct GlStartup {
    bool opened = false;
    std::vector<std::string> log;
};

// Runs InitGL(width, height, 32, 0, samples, 0) on a hidden window, with its
// log channel (a copy of standard output) pointed at a file for the call, so
// the start-up lines can be checked and stay out of the test output.
// Afterwards the log channel is standard output again (logFile 0).
inline GlStartup StartGlCapturingLog(int width, int height, int samples) {
    GlStartup startup;
    std::fflush(stdout);
    FILE* capture = std::tmpfile();
    const int savedStdout = dup(STDOUT_FILENO);
    dup2(fileno(capture), STDOUT_FILENO);
    SetWindowAttribute(WindowAttribute::Visible, 0);
    InitGL(width, height, 32, 0, samples, 0);
    dup2(savedStdout, STDOUT_FILENO);
    close(savedStdout);
    close(screen.logFile);
    screen.logFile = 0;

    std::string text;
    std::rewind(capture);
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, capture)) > 0) text.append(buffer, n);
    std::fclose(capture);
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            startup.log.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    startup.opened = HasWindow() != 0;
    return startup;
}

class GlFixture : public ::testing::Test {
  public:
    static constexpr int kWidth = 1024;
    static constexpr int kHeight = 768;

    // The log lines InitGL wrote when the window was opened.
    static const std::vector<std::string>& StartupLog() { return Context().startup.log; }

  protected:
    void SetUp() override {
        VOXWALK_REQUIRE_DISPLAY();
        const ContextState& context = Context();
        ASSERT_TRUE(context.startup.opened) << "DISPLAY is set but no GL window could be made";
        screen = context.screen;
        glExtensions = context.extensions;
        ResetGlState();
    }

    // InitGL's state, plus defaults for what InitGL leaves to GL.
    static void ResetGlState() {
        const GLExtensions& e = glExtensions;
        if (e.glBindFramebufferEXT) e.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
        if (e.glBindRenderbufferEXT) e.glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, 0);
        if (e.glUseProgramObjectARB) e.glUseProgramObjectARB(0);
        if (e.glActiveTextureARB) e.glActiveTextureARB(GL_TEXTURE0_ARB);
        if (e.glBindBuffer) e.glBindBuffer(GL_ARRAY_BUFFER, 0);
        glDrawBuffer(GL_BACK);
        glReadBuffer(GL_BACK);
        glViewport(0, 0, screen.width, screen.height);

        PopToBottom(GL_TEXTURE, GL_TEXTURE_STACK_DEPTH);
        glLoadIdentity();
        PopToBottom(GL_PROJECTION, GL_PROJECTION_STACK_DEPTH);
        glLoadMatrixf(screen.projection.data());
        PopToBottom(GL_MODELVIEW, GL_MODELVIEW_STACK_DEPTH);
        glLoadIdentity();

        glClearColor(0.0f, 0.0f, 0.25f, 1.0f);
        glClearDepth(1.0);
        glClearStencil(0);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glDepthMask(GL_TRUE);
        glEnable(GL_COLOR_MATERIAL);
        glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
        glEnable(GL_CULL_FACE);
        glCullFace(GL_BACK);
        glFrontFace(GL_CCW);
        glShadeModel(GL_SMOOTH);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
        for (GLenum cap : {GL_LIGHTING, GL_BLEND, GL_STENCIL_TEST, GL_TEXTURE_2D, GL_ALPHA_TEST,
                           GL_SCISSOR_TEST, GL_FOG, GL_NORMALIZE, GL_POLYGON_OFFSET_FILL}) {
            glDisable(cap);
        }
        for (GLenum light = GL_LIGHT0; light < GL_LIGHT0 + 8; ++light) glDisable(light);
        glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SINGLE_COLOR);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glStencilMask(~0u);
        glStencilFunc(GL_ALWAYS, 0, ~0u);
        glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
        glBlendFunc(GL_ONE, GL_ZERO);
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        glBindTexture(GL_TEXTURE_2D, 0);
        glEnableClientState(GL_VERTEX_ARRAY);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        while (glGetError() != GL_NO_ERROR) {
        }
    }

    // RGBA bytes of a rectangle of the read buffer, bottom row first.
    static std::vector<unsigned char> ReadPixels(int x, int y, int width, int height) {
        std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        return pixels;
    }

    // Every pixel of the rectangle within `tolerance` of `expected` in each
    // channel; otherwise the first bad pixel and how many were bad.
    static ::testing::AssertionResult PixelsNear(int x, int y, int width, int height,
                                                 Rgba expected, int tolerance,
                                                 bool checkAlpha = false) {
        const std::vector<unsigned char> pixels = ReadPixels(x, y, width, height);
        int bad = 0;
        std::string first;
        for (int row = 0; row < height; ++row) {
            for (int col = 0; col < width; ++col) {
                const unsigned char* p = &pixels[(static_cast<size_t>(row) * width + col) * 4];
                const Rgba got{p[0], p[1], p[2], p[3]};
                if (!Near(got, expected, tolerance, checkAlpha)) {
                    if (bad++ == 0) {
                        first = "pixel (" + std::to_string(x + col) + ", " +
                                std::to_string(y + row) + ") is " + ToString(got) +
                                ", expected " + ToString(expected) + " +-" +
                                std::to_string(tolerance);
                    }
                }
            }
        }
        if (bad == 0) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << first << " (" << bad << " of "
                                             << width * height << " pixels differ)";
    }

    static void ExpectPixel(int x, int y, Rgba expected, int tolerance = 0) {
        EXPECT_TRUE(PixelsNear(x, y, 1, 1, expected, tolerance));
    }

    static bool Near(Rgba a, Rgba b, int tolerance, bool checkAlpha) {
        auto close = [tolerance](int u, int v) { return std::abs(u - v) <= tolerance; };
        return close(a.r, b.r) && close(a.g, b.g) && close(a.b, b.b) &&
               (!checkAlpha || close(a.a, b.a));
    }

    static std::string ToString(Rgba c) {
        return "(" + std::to_string(c.r) + ", " + std::to_string(c.g) + ", " +
               std::to_string(c.b) + ", " + std::to_string(c.a) + ")";
    }

  private:
    struct ContextState {
        GlStartup startup;
        ScreenState screen;
        GLExtensions extensions;
    };

    static void PopToBottom(GLenum mode, GLenum depthQuery) {
        glMatrixMode(mode);
        GLint depth = 1;
        glGetIntegerv(depthQuery, &depth);
        for (; depth > 1; --depth) glPopMatrix();
    }

    // Opens the window on first use; the same one serves every later test.
    static const ContextState& Context() {
        static ContextState context = Open();
        return context;
    }

    static ContextState Open() {
        ContextState context;
        if (!GlDisplayAvailable()) return context;
        context.startup = StartGlCapturingLog(kWidth, kHeight, 0);
        context.screen = screen;
        context.extensions = glExtensions;
        return context;
    }
};
