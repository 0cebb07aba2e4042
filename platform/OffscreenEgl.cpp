// The offscreen backend over EGL's surfaceless platform. This is the only
// file that includes EGL. GL entry points come from eglGetProcAddress (core
// ones too: Mesa has EGL_KHR_get_all_proc_addresses), so the platform library
// needs no GL library of its own.
#include "platform/Offscreen.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/OffscreenBridge.h"

namespace {

// GL 3.0 framebuffer objects (core in every context Mesa makes) and the few
// 1.1 calls this file makes itself.
struct GlCalls {
    PFNGLGENFRAMEBUFFERSPROC genFramebuffers = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC bindFramebuffer = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus = nullptr;
    PFNGLGENRENDERBUFFERSPROC genRenderbuffers = nullptr;
    PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers = nullptr;
    PFNGLBINDRENDERBUFFERPROC bindRenderbuffer = nullptr;
    PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage = nullptr;
    PFNGLRENDERBUFFERSTORAGEMULTISAMPLEPROC renderbufferStorageMultisample = nullptr;
    PFNGLBLITFRAMEBUFFERPROC blitFramebuffer = nullptr;
    void (*getIntegerv)(GLenum, GLint*) = nullptr;
    void (*viewport)(GLint, GLint, GLsizei, GLsizei) = nullptr;
    void (*readPixels)(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*) = nullptr;
    void (*pixelStorei)(GLenum, GLint) = nullptr;
    void (*drawBuffer)(GLenum) = nullptr;
    void (*readBuffer)(GLenum) = nullptr;
    GLboolean (*isEnabled)(GLenum) = nullptr;
    void (*enable)(GLenum) = nullptr;
    void (*disable)(GLenum) = nullptr;
};

// The backend's one record: the EGL objects and the framebuffer they draw to.
struct OffscreenState {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    GLuint framebuffer = 0, colorBuffer = 0, depthStencilBuffer = 0;  // 0 = none
    // With multisampling, the single-sample copy ReadOffscreenPixels resolves into.
    GLuint resolveFramebuffer = 0, resolveBuffer = 0;
    int width = 0, height = 0;
    GlCalls gl;
};

OffscreenState state;

template <typename Proc>
bool Load(Proc& proc, const char* name) {
    proc = reinterpret_cast<Proc>(eglGetProcAddress(name));
    return proc != nullptr;
}

bool LoadGlCalls(GlCalls& gl) {
    return Load(gl.genFramebuffers, "glGenFramebuffers") && Load(gl.deleteFramebuffers, "glDeleteFramebuffers") &&
           Load(gl.bindFramebuffer, "glBindFramebuffer") &&
           Load(gl.framebufferRenderbuffer, "glFramebufferRenderbuffer") &&
           Load(gl.checkFramebufferStatus, "glCheckFramebufferStatus") &&
           Load(gl.genRenderbuffers, "glGenRenderbuffers") && Load(gl.deleteRenderbuffers, "glDeleteRenderbuffers") &&
           Load(gl.bindRenderbuffer, "glBindRenderbuffer") && Load(gl.renderbufferStorage, "glRenderbufferStorage") &&
           Load(gl.renderbufferStorageMultisample, "glRenderbufferStorageMultisample") &&
           Load(gl.blitFramebuffer, "glBlitFramebuffer") && Load(gl.getIntegerv, "glGetIntegerv") &&
           Load(gl.viewport, "glViewport") && Load(gl.readPixels, "glReadPixels") &&
           Load(gl.pixelStorei, "glPixelStorei") && Load(gl.drawBuffer, "glDrawBuffer") &&
           Load(gl.readBuffer, "glReadBuffer") && Load(gl.isEnabled, "glIsEnabled") && Load(gl.enable, "glEnable") &&
           Load(gl.disable, "glDisable");
}

bool HasToken(const char* list, const char* name) {
    if (!list) return false;
    const size_t length = std::strlen(name);
    for (const char* at = std::strstr(list, name); at; at = std::strstr(at + 1, name)) {
        const bool starts = at == list || at[-1] == ' ';
        const bool ends = at[length] == '\0' || at[length] == ' ';
        if (starts && ends) return true;
    }
    return false;
}

// Fills error with what failed and EGL's error code, closes everything, returns false.
bool Fail(std::string& error, const char* what) {
    char text[160];
    std::snprintf(text, sizeof text, "offscreen OpenGL: %s (EGL error 0x%04X)", what,
                  static_cast<unsigned>(eglGetError()));
    error = text;
    CloseOffscreenGL();
    return false;
}

bool FailGl(std::string& error, const std::string& what) {
    error = "offscreen OpenGL: " + what;
    CloseOffscreenGL();
    return false;
}

bool MakeContext(std::string& error) {
    const char* client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!HasToken(client, "EGL_MESA_platform_surfaceless")) {
        return Fail(error, "EGL has no surfaceless platform (EGL_MESA_platform_surfaceless)");
    }
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) return Fail(error, "eglGetPlatformDisplayEXT is missing");
    state.display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (state.display == EGL_NO_DISPLAY) return Fail(error, "no surfaceless EGL display");
    // Initialising an initialised display is allowed and does nothing.
    EGLint major = 0, minor = 0;
    if (!eglInitialize(state.display, &major, &minor)) return Fail(error, "eglInitialize failed");
    const char* extensions = eglQueryString(state.display, EGL_EXTENSIONS);
    if (!HasToken(extensions, "EGL_KHR_surfaceless_context")) {
        return Fail(error, "the EGL display cannot make a context current without a surface");
    }
    if (!eglBindAPI(EGL_OPENGL_API)) return Fail(error, "EGL offers no desktop OpenGL");

    // The framebuffer is ours, so the config only has to allow desktop GL;
    // without a matching config the context is made config-less.
    const EGLint configAttributes[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (!eglChooseConfig(state.display, configAttributes, &config, 1, &count) || count < 1) {
        if (!HasToken(extensions, "EGL_KHR_no_config_context")) {
            return Fail(error, "no EGL config for desktop OpenGL");
        }
        config = nullptr;  // EGL_NO_CONFIG_KHR
    }
    // A compatibility profile: display lists, immediate mode and the fixed
    // pipeline are what the renderer uses.
    const EGLint contextAttributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT,
                                        EGL_NONE};
    state.context = eglCreateContext(state.display, config, EGL_NO_CONTEXT, contextAttributes);
    if (state.context == EGL_NO_CONTEXT) {
        return Fail(error, "no compatibility-profile OpenGL context");
    }
    if (!eglMakeCurrent(state.display, EGL_NO_SURFACE, EGL_NO_SURFACE, state.context)) {
        return Fail(error, "the context could not be made current");
    }
    return true;
}

// A renderbuffer of `format`, multisampled when samples > 0.
GLuint MakeRenderbuffer(GLenum format, int samples, int width, int height) {
    const GlCalls& gl = state.gl;
    GLuint buffer = 0;
    gl.genRenderbuffers(1, &buffer);
    gl.bindRenderbuffer(GL_RENDERBUFFER, buffer);
    if (samples > 0) {
        gl.renderbufferStorageMultisample(GL_RENDERBUFFER, samples, format, width, height);
    } else {
        gl.renderbufferStorage(GL_RENDERBUFFER, format, width, height);
    }
    gl.bindRenderbuffer(GL_RENDERBUFFER, 0);
    return buffer;
}

// A framebuffer of the given attachments, complete or 0.
GLuint MakeFramebufferObject(GLuint color, GLuint depthStencil) {
    const GlCalls& gl = state.gl;
    GLuint framebuffer = 0;
    gl.genFramebuffers(1, &framebuffer);
    gl.bindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color);
    if (depthStencil) {
        gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depthStencil);
    }
    if (gl.checkFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE) return framebuffer;
    gl.bindFramebuffer(GL_FRAMEBUFFER, 0);
    gl.deleteFramebuffers(1, &framebuffer);
    return 0;
}

void DeleteBuffers() {
    const GlCalls& gl = state.gl;
    for (GLuint* framebuffer : {&state.framebuffer, &state.resolveFramebuffer}) {
        if (*framebuffer && gl.deleteFramebuffers) gl.deleteFramebuffers(1, framebuffer);
        *framebuffer = 0;
    }
    for (GLuint* buffer : {&state.colorBuffer, &state.depthStencilBuffer, &state.resolveBuffer}) {
        if (*buffer && gl.deleteRenderbuffers) gl.deleteRenderbuffers(1, buffer);
        *buffer = 0;
    }
}

// The multisampled framebuffer and its resolve copy; false (with nothing
// left made) when the driver cannot have them.
bool MakeMultisampleFramebuffer(int samples, int width, int height) {
    state.colorBuffer = MakeRenderbuffer(GL_RGBA8, samples, width, height);
    state.depthStencilBuffer = MakeRenderbuffer(GL_DEPTH24_STENCIL8, samples, width, height);
    state.resolveBuffer = MakeRenderbuffer(GL_RGBA8, 0, width, height);
    state.resolveFramebuffer = MakeFramebufferObject(state.resolveBuffer, 0);
    state.framebuffer = MakeFramebufferObject(state.colorBuffer, state.depthStencilBuffer);
    if (state.resolveFramebuffer && state.framebuffer) return true;
    DeleteBuffers();
    return false;
}

bool MakeFramebuffer(int width, int height, int samples, std::string& error) {
    GlCalls& gl = state.gl;
    if (!LoadGlCalls(gl)) return FailGl(error, "the context has no framebuffer objects");
    GLint maxSize = 0, maxViewport[2] = {0, 0};
    gl.getIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxSize);
    gl.getIntegerv(GL_MAX_VIEWPORT_DIMS, maxViewport);
    const int limitX = std::min<int>(maxSize, maxViewport[0]);
    const int limitY = std::min<int>(maxSize, maxViewport[1]);
    if (width > limitX || height > limitY) {
        return FailGl(error, "size " + std::to_string(width) + "x" + std::to_string(height) +
                                 " is larger than the driver's " + std::to_string(limitX) + "x" +
                                 std::to_string(limitY));
    }
    GLint maxSamples = 0;
    gl.getIntegerv(GL_MAX_SAMPLES, &maxSamples);
    // Like the window: without the samples the picture is made without them.
    if (samples <= 0 || samples > maxSamples || !MakeMultisampleFramebuffer(samples, width, height)) {
        state.colorBuffer = MakeRenderbuffer(GL_RGBA8, 0, width, height);
        state.depthStencilBuffer = MakeRenderbuffer(GL_DEPTH24_STENCIL8, 0, width, height);
        state.framebuffer = MakeFramebufferObject(state.colorBuffer, state.depthStencilBuffer);
    }
    // Storage the driver cannot allocate shows up as an incomplete framebuffer.
    if (!state.framebuffer) {
        return FailGl(error, "no " + std::to_string(width) + "x" + std::to_string(height) +
                                 " framebuffer could be made (out of memory?)");
    }
    gl.bindFramebuffer(GL_FRAMEBUFFER, state.framebuffer);
    gl.drawBuffer(GL_COLOR_ATTACHMENT0);
    gl.readBuffer(GL_COLOR_ATTACHMENT0);
    gl.viewport(0, 0, width, height);
    state.width = width;
    state.height = height;
    return true;
}

}  // namespace

bool OpenOffscreenGL(int width, int height, std::string& error, int samples) {
    CloseOffscreenGL();
    error.clear();
    if (width <= 0 || height <= 0) {
        error = "offscreen OpenGL: size " + std::to_string(width) + "x" + std::to_string(height) + " is not positive";
        return false;
    }
    return MakeContext(error) && MakeFramebuffer(width, height, samples, error);
}

void CloseOffscreenGL() {
    if (state.context != EGL_NO_CONTEXT) {
        DeleteBuffers();
        eglMakeCurrent(state.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(state.display, state.context);
        eglReleaseThread();
    }
    // The display stays initialised: EGL hands out the same one again, and
    // eglTerminate unloads Mesa's driver, which leaks a little on every cycle.
    const EGLDisplay display = state.display;
    state = OffscreenState{};
    state.display = display;
}

bool HasOffscreenGL() { return state.framebuffer != 0 && state.width > 0; }

std::vector<uint8_t> ReadOffscreenPixels(int width, int height) {
    if (!HasOffscreenGL() || width <= 0 || height <= 0 || width > state.width || height > state.height) {
        return {};
    }
    const GlCalls& gl = state.gl;
    const size_t stride = static_cast<size_t>(width) * 4;
    std::vector<uint8_t> pixels(stride * height);
    if (state.resolveFramebuffer) {
        // The resolve obeys the scissor test, which the caller may have left on.
        const bool scissor = gl.isEnabled(GL_SCISSOR_TEST);
        if (scissor) gl.disable(GL_SCISSOR_TEST);
        gl.bindFramebuffer(GL_READ_FRAMEBUFFER, state.framebuffer);
        gl.bindFramebuffer(GL_DRAW_FRAMEBUFFER, state.resolveFramebuffer);
        gl.blitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        gl.bindFramebuffer(GL_DRAW_FRAMEBUFFER, state.framebuffer);
        if (scissor) gl.enable(GL_SCISSOR_TEST);
    }
    gl.bindFramebuffer(GL_READ_FRAMEBUFFER, state.resolveFramebuffer ? state.resolveFramebuffer : state.framebuffer);
    gl.readBuffer(GL_COLOR_ATTACHMENT0);
    GLint alignment = 4;
    gl.getIntegerv(GL_PACK_ALIGNMENT, &alignment);
    gl.pixelStorei(GL_PACK_ALIGNMENT, 1);
    gl.readPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    gl.pixelStorei(GL_PACK_ALIGNMENT, alignment);
    gl.bindFramebuffer(GL_READ_FRAMEBUFFER, state.framebuffer);
    // GL reads bottom row first; flip in place so no second image is held.
    std::vector<uint8_t> row(stride);
    for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
        uint8_t* a = &pixels[stride * top];
        uint8_t* b = &pixels[stride * bottom];
        std::memcpy(row.data(), a, stride);
        std::memcpy(a, b, stride);
        std::memcpy(b, row.data(), stride);
    }
    return pixels;
}

GLProc OffscreenGLProc(const char* name) {
    if (state.context == EGL_NO_CONTEXT || !name) return nullptr;
    return reinterpret_cast<GLProc>(eglGetProcAddress(name));
}
