// Render targets and the stencil-pass helpers on the real driver.
#include <gtest/gtest.h>

#include <vector>

#include <GL/gl.h>
#include <GL/glext.h>

#include "platform/Window.h"
#include "render/GLSetup.h"
#include "render/RenderTarget.h"
#include "support/GlFixture.h"

namespace {

std::vector<GLint> Viewport() {
    std::vector<GLint> v(4);
    glGetIntegerv(GL_VIEWPORT, v.data());
    return v;
}

// The target's colour texture, bottom row first, RGBA.
std::vector<unsigned char> TextureBytes(const RenderTarget& target) {
    std::vector<unsigned char> bytes(static_cast<size_t>(target.width) * target.height * 4);
    glBindTexture(GL_TEXTURE_2D, target.colorTexture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
    return bytes;
}

Rgba TexelAt(const std::vector<unsigned char>& bytes, int width, int x, int y) {
    const unsigned char* p = &bytes[(static_cast<size_t>(y) * width + x) * 4];
    return {p[0], p[1], p[2], p[3]};
}

// A quad at depth z (eye space) over the given part of clip space, with an
// identity projection so z maps straight to depth.
void Quad(float x0, float y0, float x1, float y1, float z) {
    glBegin(GL_QUADS);
    glVertex3f(x0, y0, z);
    glVertex3f(x1, y0, z);
    glVertex3f(x1, y1, z);
    glVertex3f(x0, y1, z);
    glEnd();
}

class RenderTargetTest : public GlFixture {
  protected:
    void SetUp() override {
        GlFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_NE(glExtensions.glBindFramebufferEXT, nullptr);
        isFramebuffer_ = reinterpret_cast<PFNGLISFRAMEBUFFEREXTPROC>(GetGLProc("glIsFramebufferEXT"));
        isRenderbuffer_ =
            reinterpret_cast<PFNGLISRENDERBUFFEREXTPROC>(GetGLProc("glIsRenderbufferEXT"));
        ASSERT_TRUE(isFramebuffer_ && isRenderbuffer_);
    }
    PFNGLISFRAMEBUFFEREXTPROC isFramebuffer_ = nullptr;
    PFNGLISRENDERBUFFEREXTPROC isRenderbuffer_ = nullptr;
};

}  // namespace

TEST_F(RenderTargetTest, WithDepthIsCompleteAndSwitchesTheViewport) {
    RenderTarget target;
    ASSERT_EQ(CreateRenderTarget(target, 256, 256, 1), 1);
    EXPECT_EQ(target.width, 256);
    EXPECT_EQ(target.height, 256);
    EXPECT_TRUE(isFramebuffer_(target.framebuffer));
    EXPECT_TRUE(isRenderbuffer_(target.depthBuffer));
    EXPECT_TRUE(glIsTexture(target.colorTexture));
    // Left unbound, with the texture and renderbuffer still bound.
    EXPECT_EQ(GlInteger(GL_FRAMEBUFFER_BINDING_EXT), 0);
    EXPECT_EQ(GlInteger(GL_TEXTURE_BINDING_2D), static_cast<GLint>(target.colorTexture));
    EXPECT_EQ(GlInteger(GL_RENDERBUFFER_BINDING_EXT), static_cast<GLint>(target.depthBuffer));

    BindRenderTarget(target);
    EXPECT_EQ(GlInteger(GL_FRAMEBUFFER_BINDING_EXT), static_cast<GLint>(target.framebuffer));
    EXPECT_EQ(Viewport(), (std::vector<GLint>{0, 0, 256, 256}));
    EXPECT_EQ(glExtensions.glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT),
              static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE_EXT));
    UnbindRenderTarget();
    EXPECT_EQ(GlInteger(GL_FRAMEBUFFER_BINDING_EXT), 0);
    EXPECT_EQ(Viewport(), (std::vector<GLint>{0, 0, kWidth, kHeight}));
    DestroyRenderTarget(target);
}

TEST_F(RenderTargetTest, DrawingLandsInTheTextureAndNotOnTheWindow) {
    RenderTarget target;
    ASSERT_EQ(CreateRenderTarget(target, 256, 256, 0), 1);
    EXPECT_EQ(target.depthBuffer, 0u);

    BindRenderTarget(target);
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_DEPTH_TEST);  // no depth buffer here
    glColor3f(0.0f, 1.0f, 0.0f);
    Quad(-1.0f, -1.0f, 0.0f, 1.0f, 0.0f);  // the left half
    UnbindRenderTarget();

    const std::vector<unsigned char> texels = TextureBytes(target);
    EXPECT_TRUE(GlFixture::Near(TexelAt(texels, 256, 0, 0), {0, 255, 0}, 0, false));
    EXPECT_TRUE(GlFixture::Near(TexelAt(texels, 256, 127, 255), {0, 255, 0}, 0, false));
    EXPECT_TRUE(GlFixture::Near(TexelAt(texels, 256, 128, 0), {255, 0, 0}, 0, false));
    EXPECT_TRUE(GlFixture::Near(TexelAt(texels, 256, 255, 255), {255, 0, 0}, 0, false));
    // The window still shows only its clear colour.
    EXPECT_TRUE(PixelsNear(0, 0, kWidth, kHeight, {0, 0, 64}, 0));
    DestroyRenderTarget(target);
}

TEST_F(RenderTargetTest, DepthBufferHidesFartherDrawing) {
    RenderTarget target;
    ASSERT_EQ(CreateRenderTarget(target, 256, 256, 1), 1);
    BindRenderTarget(target);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glColor3f(0.0f, 0.0f, 1.0f);
    Quad(-1.0f, -1.0f, 1.0f, 1.0f, 0.5f);   // far, clip z grows away from the eye
    glColor3f(1.0f, 1.0f, 1.0f);
    Quad(-1.0f, -1.0f, 1.0f, 1.0f, 0.9f);   // farther still: hidden
    UnbindRenderTarget();
    const std::vector<unsigned char> texels = TextureBytes(target);
    EXPECT_TRUE(GlFixture::Near(TexelAt(texels, 256, 100, 100), {0, 0, 255}, 0, false));
    DestroyRenderTarget(target);
}

TEST_F(RenderTargetTest, DestroyFreesEverythingAndTwiceIsHarmless) {
    RenderTarget target;
    ASSERT_EQ(CreateRenderTarget(target, 64, 32, 1), 1);
    const RenderTarget made = target;
    DestroyRenderTarget(target);
    EXPECT_FALSE(isFramebuffer_(made.framebuffer));
    EXPECT_FALSE(isRenderbuffer_(made.depthBuffer));
    EXPECT_FALSE(glIsTexture(made.colorTexture));
    EXPECT_EQ(target.framebuffer, 0u);
    EXPECT_EQ(target.colorTexture, 0u);

    // A texture made now may take the freed name; destroying the record
    // again must leave it alone.
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    DestroyRenderTarget(target);
    EXPECT_TRUE(glIsTexture(texture));
    glDeleteTextures(1, &texture);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(RenderTargetTest, DestroyOfAZeroRecordTouchesNothing) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    RenderTarget zero;
    zero.colorTexture = texture;  // without a framebuffer it is not the record's
    DestroyRenderTarget(zero);
    RenderTarget empty;
    DestroyRenderTarget(empty);
    EXPECT_TRUE(glIsTexture(texture));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    glDeleteTextures(1, &texture);
}

TEST_F(RenderTargetTest, IncompleteFramebufferStaysBoundAndIsFreedByDestroy) {
    RenderTarget target;
    EXPECT_EQ(CreateRenderTarget(target, 0, 0, 1), 0);
    EXPECT_NE(target.framebuffer, 0u);
    EXPECT_NE(target.colorTexture, 0u);
    EXPECT_NE(target.depthBuffer, 0u);
    EXPECT_EQ(target.width, 0);
    EXPECT_EQ(GlInteger(GL_FRAMEBUFFER_BINDING_EXT), static_cast<GLint>(target.framebuffer));
    UnbindRenderTarget();
    EXPECT_EQ(GlInteger(GL_FRAMEBUFFER_BINDING_EXT), 0);
    const RenderTarget made = target;
    DestroyRenderTarget(target);
    EXPECT_FALSE(isFramebuffer_(made.framebuffer));
    EXPECT_FALSE(glIsTexture(made.colorTexture));
    while (glGetError() != GL_NO_ERROR) {
    }
}

TEST_F(RenderTargetTest, WithoutFramebufferObjectsNothingHappens) {
    glExtensions.glBindFramebufferEXT = nullptr;
    GLuint before = 0;
    glGenTextures(1, &before);
    RenderTarget target;
    EXPECT_EQ(CreateRenderTarget(target, 256, 256, 1), 0);
    EXPECT_EQ(target.framebuffer, 0u);
    EXPECT_EQ(target.colorTexture, 0u);
    target.width = target.height = 16;
    BindRenderTarget(target);
    EXPECT_EQ(Viewport(), (std::vector<GLint>{0, 0, kWidth, kHeight}));
    glViewport(0, 0, 8, 8);
    UnbindRenderTarget();
    EXPECT_EQ(Viewport(), (std::vector<GLint>{0, 0, 8, 8}));
    // No texture was made: the next name follows the one made above.
    GLuint after = 0;
    glGenTextures(1, &after);
    EXPECT_EQ(after, before + 1);
    glDeleteTextures(1, &before);
    glDeleteTextures(1, &after);
}

// A driver that lists the extension but lacks one entry point must not be
// called through a null pointer: nothing is made and the window stays bound.
TEST_F(RenderTargetTest, AMissingEntryPointCreatesNothing) {
    const GLExtensions complete = glExtensions;
    auto expectNothingMade = [&](int withDepth) {
        GLuint before = 0;
        glGenTextures(1, &before);
        RenderTarget target;
        EXPECT_EQ(CreateRenderTarget(target, 64, 64, withDepth), 0);
        EXPECT_EQ(target.framebuffer, 0u);
        EXPECT_EQ(target.colorTexture, 0u);
        EXPECT_EQ(target.depthBuffer, 0u);
        EXPECT_EQ(GlInteger(GL_FRAMEBUFFER_BINDING_EXT), 0);
        GLuint after = 0;
        glGenTextures(1, &after);
        EXPECT_EQ(after, before + 1);  // no texture in between
        glDeleteTextures(1, &before);
        glDeleteTextures(1, &after);
    };
    glExtensions.glCheckFramebufferStatusEXT = nullptr;
    expectNothingMade(0);
    glExtensions = complete;
    glExtensions.glRenderbufferStorageEXT = nullptr;
    expectNothingMade(1);

    // Without a depth buffer the renderbuffer entry points are not needed.
    RenderTarget target;
    EXPECT_EQ(CreateRenderTarget(target, 64, 64, 0), 1);
    DestroyRenderTarget(target);
    glExtensions = complete;
}

TEST_F(GlFixture, StencilPassSetsAndEndStencilPassLeavesTheirState) {
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glClearStencil(5);
    glClear(GL_STENCIL_BUFFER_BIT);
    glClearStencil(0);

    BeginStencilPass();
    EXPECT_EQ(GlInteger(GL_SHADE_MODEL), GL_FLAT);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_STENCIL_TEST));
    EXPECT_EQ(GlInteger(GL_DEPTH_FUNC), GL_LEQUAL);
    EXPECT_EQ(GlInteger(GL_DEPTH_WRITEMASK), GL_FALSE);
    GLboolean mask[4] = {GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE};
    glGetBooleanv(GL_COLOR_WRITEMASK, mask);
    EXPECT_FALSE(mask[0] || mask[1] || mask[2] || mask[3]);
    EXPECT_EQ(GlInteger(GL_STENCIL_FUNC), GL_ALWAYS);
    EXPECT_EQ(GlInteger(GL_STENCIL_REF), 1);
    EXPECT_EQ(static_cast<GLuint>(GlInteger(GL_STENCIL_VALUE_MASK)) & 0xFFu, 0xFFu);
    GLubyte stencil = 99;
    glReadPixels(10, 10, 1, 1, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, &stencil);
    EXPECT_EQ(stencil, 0);  // cleared

    EndStencilPass();
    EXPECT_FALSE(glIsEnabled(GL_STENCIL_TEST));
    EXPECT_EQ(GlInteger(GL_DEPTH_FUNC), GL_LESS);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(GlInteger(GL_DEPTH_WRITEMASK), GL_TRUE);
    // Left for the caller: colour mask, lighting, texturing, shading.
    glGetBooleanv(GL_COLOR_WRITEMASK, mask);
    EXPECT_FALSE(mask[0]);
    EXPECT_EQ(GlInteger(GL_SHADE_MODEL), GL_FLAT);
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
}
