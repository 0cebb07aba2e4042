#include "render/RenderTarget.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include "render/Extensions.h"
#include "render/Screen.h"

namespace {

// Every entry point CreateRenderTarget calls. A driver may list the extension
// and still not export one of them; calling through a null pointer would
// crash, so such a driver counts as having no framebuffer objects.
bool CanCreate(const GLExtensions& e, int32_t withDepth) {
    const bool colour = e.glBindFramebufferEXT && e.glGenFramebuffersEXT && e.glFramebufferTexture2DEXT &&
                        e.glCheckFramebufferStatusEXT;
    const bool depth = e.glGenRenderbuffersEXT && e.glBindRenderbufferEXT && e.glRenderbufferStorageEXT &&
                       e.glFramebufferRenderbufferEXT;
    return colour && (withDepth == 0 || depth);
}

}  // namespace

int CreateRenderTarget(RenderTarget& target, int32_t width, int32_t height, int32_t withDepth) {
    const GLExtensions& e = glExtensions;
    if (!CanCreate(e, withDepth)) return 0;

    glGenTextures(1, &target.colorTexture);
    glBindTexture(GL_TEXTURE_2D, target.colorTexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);

    e.glGenFramebuffersEXT(1, &target.framebuffer);
    e.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, target.framebuffer);
    e.glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, target.colorTexture, 0);

    if (withDepth != 0) {
        e.glGenRenderbuffersEXT(1, &target.depthBuffer);
        e.glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, target.depthBuffer);
        e.glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT, width, height);
        e.glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT,
                                       target.depthBuffer);
    }

    // An incomplete framebuffer stays bound, as the caller may want to look
    // at it; UnbindRenderTarget returns to the window.
    if (e.glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT) != GL_FRAMEBUFFER_COMPLETE_EXT) {
        return 0;
    }
    target.width = width;
    target.height = height;
    e.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    return 1;
}

void BindRenderTarget(const RenderTarget& target) {
    if (!glExtensions.glBindFramebufferEXT) return;
    glExtensions.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, target.framebuffer);
    glViewport(0, 0, target.width, target.height);
}

void UnbindRenderTarget() {
    if (!glExtensions.glBindFramebufferEXT) return;
    glExtensions.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    glViewport(0, 0, screen.width, screen.height);
}

void DestroyRenderTarget(RenderTarget& target) {
    const GLExtensions& e = glExtensions;
    if (target.framebuffer != 0) {
        if (e.glDeleteFramebuffersEXT) e.glDeleteFramebuffersEXT(1, &target.framebuffer);
        glDeleteTextures(1, &target.colorTexture);
    }
    if (target.depthBuffer != 0 && e.glDeleteRenderbuffersEXT) {
        e.glDeleteRenderbuffersEXT(1, &target.depthBuffer);
    }
    // GL hands freed names out again: a second destroy of the same record
    // must not delete objects made since.
    target = RenderTarget{};
}

void BeginStencilPass() {
    glShadeModel(GL_FLAT);
    glDisable(GL_TEXTURE_2D);
    glClear(GL_STENCIL_BUFFER_BIT);
    glDisable(GL_LIGHTING);
    glDepthMask(GL_FALSE);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_STENCIL_TEST);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    glStencilFunc(GL_ALWAYS, 1, 0xFFFFFFFFu);
}

void EndStencilPass() {
    glDisable(GL_STENCIL_TEST);
    glDepthFunc(GL_LESS);
    glDisable(GL_BLEND);
    glDepthMask(GL_TRUE);
}
