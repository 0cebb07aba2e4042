// Render targets on the real driver: drawing into one with depth, showing its
// texture on the screen quad, and freeing it.
#include "render/RenderTarget.h"
#include "support/GlFixture.h"

TEST_F(GlFixture, RenderTargetDrawsIntoItsTextureWithDepth) {
    RenderTarget target;
    ASSERT_EQ(CreateRenderTarget(target, 256, 128, 1), 1);
    EXPECT_EQ(GlInteger(GL_FRAMEBUFFER_BINDING_EXT), 0);
    BindRenderTarget(target);  // the viewport follows, or the quarters below would not line up
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glColor3f(0.0f, 1.0f, 0.0f);
    glRectf(-1.0f, -1.0f, 0.0f, 0.0f);
    glColor3f(1.0f, 0.0f, 0.0f);
    glRectf(0.0f, 0.0f, 1.0f, 1.0f);
    glColor3f(1.0f, 1.0f, 1.0f);
    glTranslatef(0.0f, 0.0f, 0.5f);  // farther: hidden where the green and red are
    glRectf(-1.0f, -1.0f, 1.0f, 1.0f);
    UnbindRenderTarget();
    // On the screen quad: green lower-left quarter, red upper-right, white elsewhere.
    glLoadIdentity();
    glBindTexture(GL_TEXTURE_2D, target.colorTexture);
    glEnable(GL_TEXTURE_2D);
    glCallList(screen.screenQuadList);
    for (auto [x, y, colour] : {std::tuple{0, 0, std::array{0, 255, 0}}, {1, 1, std::array{255, 0, 0}},
                                {1, 0, std::array{255, 255, 255}}, {0, 1, std::array{255, 255, 255}}}) {
        EXPECT_TRUE(PixelsNear(x * kWidth / 2, y * kHeight / 2, kWidth / 2, kHeight / 2, colour, 0));
    }

    // Freed, and the record zeroed: GL hands freed names out again, so a
    // second destroy must not find them.
    const auto isFramebuffer = reinterpret_cast<PFNGLISFRAMEBUFFEREXTPROC>(GetGLProc("glIsFramebufferEXT"));
    const RenderTarget made = target;
    DestroyRenderTarget(target);
    EXPECT_FALSE(isFramebuffer(made.framebuffer) || glIsTexture(made.colorTexture) || target.framebuffer ||
                 target.colorTexture || target.depthBuffer);
}
