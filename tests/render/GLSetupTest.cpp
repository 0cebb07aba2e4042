// InitGL on the real driver, and the stencil pass with the shadow quad it
// builds. (The pixel-space matrices are drawn with in the text tests; the
// light is seen in the scene tests.)
#include <GL/glu.h>

#include <regex>

#include "render/RenderTarget.h"
#include "support/GlFixture.h"

TEST_F(GlFixture, InitGLLeavesTheScreenRecordStateAndLog) {
    EXPECT_EQ(screen.glVersion, std::string(reinterpret_cast<const char*>(glGetString(GL_VERSION))).substr(0, 31));
    EXPECT_EQ(std::tuple(screen.width, screen.height, screen.halfWidth, screen.halfHeight, screen.colorDepth,
                         screen.fieldOfView, screen.aspect, screen.nearPlane, screen.farPlane),
              std::tuple(1024, 768, 512, 384, 32, 60.0f, 1.3333334f, 1.0f, 5000.0f));
    ExpectState({{GL_DEPTH_TEST, 1}, {GL_DEPTH_FUNC, GL_LEQUAL}, {GL_COLOR_MATERIAL, 1}, {GL_CULL_FACE, 1},
                 {GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST}, {GL_VERTEX_ARRAY, 1}, {GL_DEPTH_BITS, 24},
                 {GL_STENCIL_BITS, 8}, {GL_SAMPLE_BUFFERS, 0}, {GL_MATRIX_MODE, GL_MODELVIEW}});
    GLfloat loaded[16], glu[16];
    glGetFloatv(GL_PROJECTION_MATRIX, loaded);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(60.0, 1024.0 / 768.0, 1.0, 5000.0);
    glGetFloatv(GL_PROJECTION_MATRIX, glu);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(loaded[i], glu[i], 1e-5f) << i;
    // Mesa has every feature: the log is its names, one a line with the space
    // that ended it, then the support lines.
    const std::string units = std::to_string(GlInteger(GL_MAX_TEXTURE_UNITS_ARB));
    EXPECT_EQ(Found(glExtensions), "111111 43 " + units);
    std::string names = std::regex_replace(reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)), std::regex(" "), " \n");
    if (names.back() != '\n') names += '\n';
    EXPECT_EQ(startLog, names + "GL_EXT_framebuffer_object is supported\n"
                            "GL_ARB_multitexture is supported\n" + units + " Texture units supported\n"
                            "GL_ARB_shading_language_100 is supported\nGL_ARB_vertex_program is supported\n"
                            "GL_ARB_fragment_program is supported\nglActiveStencilFaceEXT is supported\n");
}

TEST_F(GlFixture, ShadowQuadDarkensExactlyTheStencilMarks) {
    glColor3f(0.8f, 0.6f, 0.4f);
    BeginOrtho2D(kWidth, kHeight);
    glRecti(0, 0, kWidth, kHeight);
    glClearStencil(5);  // the pass must clear it
    glClear(GL_STENCIL_BUFFER_BIT);
    glClearStencil(0);
    glEnable(GL_TEXTURE_2D);
    BeginStencilPass();
    ExpectState({{GL_SHADE_MODEL, GL_FLAT}, {GL_TEXTURE_2D, 0}, {GL_LIGHTING, 0}, {GL_DEPTH_WRITEMASK, 0}});
    glStencilOp(GL_KEEP, GL_KEEP, GL_REPLACE);
    glRecti(200, 150, 264, 182);  // marks the stencil only
    EndOrtho2D();
    glColor4f(0.0f, 0.0f, 0.0f, 0.5f);
    glTranslatef(5.0f, 0.0f, 0.0f);  // the list draws under identity
    glDepthFunc(GL_ALWAYS);          // and puts back the scene pass's GL_LEQUAL
    glCallList(screen.shadowQuadList);
    EXPECT_TRUE(PixelsNear(200, 150, 64, 32, {102, 77, 51}, 1));  // half of 204, 153, 102
    const std::vector<unsigned char> all = ReadPixels(0, 0, kWidth, kHeight);
    EXPECT_EQ(std::count(all.begin(), all.end(), 153), kWidth * kHeight - 64 * 32) << "unmarked pixels changed";
    ExpectState({{GL_COLOR_WRITEMASK, 1}, {GL_BLEND, 0}, {GL_STENCIL_TEST, 0}, {GL_LIGHTING, 1},
                 {GL_DEPTH_WRITEMASK, 1}, {GL_DEPTH_FUNC, GL_LEQUAL}, {GL_SHADE_MODEL, GL_SMOOTH}});
    EndStencilPass();
    ExpectState({{GL_DEPTH_FUNC, GL_LESS}});
}
