// Start-up without a display: the program runs on, says why on standard
// error, keeps standard output to its log lines and ends after one frame.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Window.h"
#include "render/Extensions.h"
#include "render/GLSetup.h"
#include "render/Screen.h"

namespace {

// Points a file descriptor at a temporary file until Finish().
class FdCapture {
  public:
    explicit FdCapture(int fd) : fd_(fd), file_(std::tmpfile()), saved_(dup(fd)) {
        dup2(fileno(file_), fd_);
    }
    ~FdCapture() {
        Restore();
        std::fclose(file_);
    }
    std::string Finish() {
        Restore();
        std::string text;
        std::rewind(file_);
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) text.append(buffer, n);
        return text;
    }

  private:
    void Restore() {
        if (saved_ < 0) return;
        dup2(saved_, fd_);
        close(saved_);
        saved_ = -1;
    }
    int fd_;
    FILE* file_;
    int saved_;
};

class NoWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
    }
    void TearDown() override {
        if (screen.logFile > 0) close(screen.logFile);
        screen.logFile = 0;
        CloseWindow();
    }
};

}  // namespace

TEST_F(NoWindowTest, StartUpRunsOnAndTheLoopWouldEndAfterOneFrame) {
    std::fflush(stdout);
    std::fflush(stderr);
    FdCapture out(STDOUT_FILENO);
    FdCapture err(STDERR_FILENO);
    const int result = InitGL(1024, 768, 32, 0, 2, 0);
    PresentWindow();  // the loop's present, with nothing to present
    const int escape = IsEscapeDown();
    const std::string errText = err.Finish();
    const std::string outText = out.Finish();

    EXPECT_EQ(result, 1);
    EXPECT_EQ(escape, 1);
    EXPECT_EQ(HasWindow(), 0);
    // Standard output carries the log and nothing else.
    EXPECT_EQ(outText,
              "\nGL_EXT_framebuffer_object is NOT supported\n"
              "GL_ARB_multitexture is NOT supported\n"
              "GL_ARB_shading_language_100 is NOT supported\n"
              "glActiveStencilFaceEXT is NOT supported\n");
    // One line on standard error saying why.
    ASSERT_FALSE(errText.empty());
    EXPECT_EQ(errText.find('\n'), errText.size() - 1) << errText;
    EXPECT_NE(errText.find("no OpenGL window"), std::string::npos) << errText;
    EXPECT_NE(errText.find("DISPLAY"), std::string::npos) << errText;

    EXPECT_STREQ(screen.glVersion, "");
    EXPECT_EQ(screen.width, 1024);
    EXPECT_EQ(screen.halfWidth, 512);
    EXPECT_EQ(screen.shadowQuadList, 0u);
    EXPECT_GT(screen.logFile, STDERR_FILENO);
    EXPECT_FALSE(glExtensions.hasFramebufferObject);
}

TEST_F(NoWindowTest, NegativeSizeHalvesTowardZero) {
    FdCapture out(STDOUT_FILENO);
    FdCapture err(STDERR_FILENO);
    InitGL(-1023, -767, 32, 0, 0, 0);
    out.Finish();
    err.Finish();
    EXPECT_EQ(screen.halfWidth, -511);
    EXPECT_EQ(screen.halfHeight, -383);
    EXPECT_EQ(IsEscapeDown(), 1);
}

TEST(Window, WithoutAWindowTheLayerAnswersEmpty) {
    CloseWindow();
    EXPECT_STREQ(GetGLExtensionString(), "");
    EXPECT_EQ(GetGLProc("glGetString"), nullptr);
    EXPECT_EQ(GetGLProc(nullptr), nullptr);
    EXPECT_EQ(IsEscapeDown(), 1);
    PresentWindow();
    CloseWindow();  // twice is harmless
}
