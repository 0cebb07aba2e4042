#include "render/GLSetup.h"

#include <unistd.h>

#include <cstddef>
#include <cstring>

#include <GL/gl.h>

#include "platform/Window.h"
#include "render/Extensions.h"
#include "render/Screen.h"

// The light's four GL parameters lie next to each other in GL's order.
static_assert(offsetof(LightSource, diffuse) == offsetof(LightSource, ambient) + sizeof(Vector4));
static_assert(offsetof(LightSource, specular) == offsetof(LightSource, diffuse) + sizeof(Vector4));
static_assert(offsetof(LightSource, position) == offsetof(LightSource, specular) + sizeof(Vector4));

int InitGL(int32_t width, int32_t height, int32_t colorDepth, int32_t pageCount, int32_t samples, int32_t fullscreen) {
    // The program runs on without a window: GL calls then do nothing and the
    // window layer reports Escape as held, so the loop ends after one frame.
    OpenGLWindow(width, height, colorDepth, pageCount, samples, fullscreen);

    // The log channel: its own descriptor on standard output.
    screen.logFile = dup(STDOUT_FILENO);

    SetUpGL(width, height, colorDepth);
    return 1;
}

int OpenGLWindow(int32_t width, int32_t height, int32_t colorDepth, int32_t pageCount, int32_t samples,
                 int32_t fullscreen) {
    uint32_t flags = kWindowOpenGL;
    if (fullscreen != 0) flags |= kWindowFullscreen;

    SetWindowAttribute(WindowAttribute::ColorBits, colorDepth);
    SetWindowAttribute(WindowAttribute::DepthBits, 24);
    SetWindowAttribute(WindowAttribute::StencilBits, 8);
    // No sample request at all for 0 or less; without the multisample flag
    // the window layer makes no multisampled framebuffer.
    if (samples > 0) {
        SetWindowAttribute(WindowAttribute::Samples, samples);
        flags |= kWindowMultisample;
    }
    flags |= kWindowStencil | kWindowHighPriority;

    return OpenWindow(width, height, colorDepth, pageCount > 0 ? pageCount : 1, flags, 0);
}

void SetUpGL(int32_t width, int32_t height, int32_t colorDepth) {
    const GLubyte* version = glGetString(GL_VERSION);
    std::memset(screen.glVersion, 0, sizeof screen.glVersion);
    if (version) {  // null without a context: left empty
        const char* text = reinterpret_cast<const char*>(version);
        std::memcpy(screen.glVersion, text, strnlen(text, sizeof screen.glVersion - 1));
    }

    glViewport(0, 0, width, height);
    screen.width = width;
    screen.height = height;
    screen.halfWidth = width / 2;
    screen.halfHeight = height / 2;
    screen.colorDepth = colorDepth;

    screen.fieldOfView = 60.0f;
    screen.aspect = static_cast<float>(static_cast<double>(width) / static_cast<double>(height));
    screen.nearPlane = 1.0f;
    screen.farPlane = 5000.0f;
    screen.projection = perspective(screen.fieldOfView, screen.aspect, screen.nearPlane, screen.farPlane);

    // Loaded once; render targets change the viewport, never the projection.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glLoadMatrixf(screen.projection.data());
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    glClearColor(0.0f, 0.0f, 0.25f, 1.0f);
    glClearDepth(1.0);

    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_COLOR_MATERIAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_CULL_FACE);
    glShadeModel(GL_SMOOTH);

    // The first log lines of a run come from here.
    LoadExtensions();

    glEnableClientState(GL_VERTEX_ARRAY);

    BuildShadowQuadList(screen.shadowQuadList);

    // No state inside: the caller's colour, texture and matrices apply.
    screen.screenQuadList = glGenLists(1);
    glNewList(screen.screenQuadList, GL_COMPILE);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(-1.0f, 1.0f, 0.0f);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(-1.0f, -1.0f, 0.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(1.0f, -1.0f, 0.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(1.0f, 1.0f, 0.0f);
    glEnd();
    glEndList();
}

void BeginOrtho2D(int32_t width, int32_t height) {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    // On the model-view stack, under an identity projection.
    glOrtho(0.0, width, 0.0, height, -1.0, 1.0);
}

void EndOrtho2D() {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

void BuildShadowQuadList(uint32_t& list) {
    list = glGenLists(1);
    glNewList(list, GL_COMPILE);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glStencilFunc(GL_NOTEQUAL, 0, 0xFFFFFFFFu);
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    glLoadIdentity();
    // One unit in front of the eye: under the 60-degree projection with near
    // plane 1 this square covers the whole window.
    glBegin(GL_TRIANGLE_STRIP);
    glVertex3f(-1.0f, 1.0f, -1.0f);
    glVertex3f(-1.0f, -1.0f, -1.0f);
    glVertex3f(1.0f, 1.0f, -1.0f);
    glVertex3f(1.0f, -1.0f, -1.0f);
    glEnd();
    // Back to what the scene pass expects.
    glDisable(GL_BLEND);
    glDepthFunc(GL_LEQUAL);
    glDepthMask(GL_TRUE);
    glEnable(GL_LIGHTING);
    glDisable(GL_STENCIL_TEST);
    glShadeModel(GL_SMOOTH);
    glEndList();
}

void SetupLight(int32_t lightNumber, LightSource& light, const Vector4& ambient, const Vector4& diffuse,
                const Vector4& specular, const Vector4& position, const Vector3& direction) {
    light.ambient = ambient;
    light.diffuse = diffuse;
    light.specular = specular;
    light.position = position;
    light.direction = direction;

    const GLenum id = GL_LIGHT0 + static_cast<GLenum>(lightNumber);
    glEnable(id);
    glEnable(GL_LIGHTING);
    // Specular highlights are added after texturing.
    glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR);
    // GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR and GL_POSITION are consecutive
    // enums. The fields are named one by one: stepping a pointer from one
    // member into the next would leave the object it points into.
    const Vector4* parameters[4] = {&light.ambient, &light.diffuse, &light.specular, &light.position};
    for (GLenum i = 0; i < 4; ++i) glLightfv(id, GL_AMBIENT + i, &parameters[i]->x);
}
