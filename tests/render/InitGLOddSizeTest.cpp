// InitGL with an odd window size and without multisampling: a program of its
// own, since the window of a test program is made once.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include "support/GlFixture.h"

TEST(InitGLOddSize, HalvesRoundDownAndTheViewportIsTheWholeWindow) {
    VOXWALK_REQUIRE_DISPLAY();
    const GlStartup startup = StartGlCapturingLog(1023, 767, 0);
    ASSERT_TRUE(startup.opened);
    EXPECT_EQ(screen.width, 1023);
    EXPECT_EQ(screen.height, 767);
    EXPECT_EQ(screen.halfWidth, 511);
    EXPECT_EQ(screen.halfHeight, 383);
    EXPECT_EQ(screen.aspect, static_cast<float>(1023.0 / 767.0));
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 1023);
    EXPECT_EQ(viewport[3], 767);
    // Without a multisample request the window has no sample buffers.
    GLint sampleBuffers = -1;
    glGetIntegerv(GL_SAMPLE_BUFFERS, &sampleBuffers);
    EXPECT_EQ(sampleBuffers, 0);
    CloseWindow();
}
