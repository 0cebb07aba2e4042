// The state InitGL leaves, started with the application's own arguments
// (1024 x 768, 32 bits, 2 samples). Every test here only reads state, so they
// share one start and do not depend on their order.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include <GL/gl.h>
#include <GL/glu.h>

#include "math/Matrix4.h"
#include "support/GlFixture.h"

namespace {

class InitGLTest : public ::testing::Test {
  protected:
    static const GlStartup& Startup() {
        static const GlStartup startup = StartGlCapturingLog(1024, 768, 2);
        return startup;
    }
    void SetUp() override {
        VOXWALK_REQUIRE_DISPLAY();
        ASSERT_TRUE(Startup().opened) << "DISPLAY is set but no GL window could be made";
    }
    static std::vector<float> Matrix(GLenum which) {
        std::vector<float> m(16);
        glGetFloatv(which, m.data());
        return m;
    }
};

}  // namespace

TEST_F(InitGLTest, FillsTheScreenRecord) {
    EXPECT_EQ(screen.width, 1024);
    EXPECT_EQ(screen.height, 768);
    EXPECT_EQ(screen.halfWidth, 512);
    EXPECT_EQ(screen.halfHeight, 384);
    EXPECT_EQ(screen.colorDepth, 32);
    EXPECT_EQ(screen.fieldOfView, 60.0f);
    EXPECT_EQ(screen.aspect, 1.3333334f);
    EXPECT_EQ(screen.nearPlane, 1.0f);
    EXPECT_EQ(screen.farPlane, 5000.0f);
    EXPECT_NE(screen.shadowQuadList, screen.screenQuadList);
}

TEST_F(InitGLTest, KeepsTheFirst31CharactersOfTheVersion) {
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    ASSERT_NE(version, nullptr);
    const std::string expected = std::string(version).substr(0, 31);
    EXPECT_EQ(std::string(screen.glVersion), expected);
    EXPECT_EQ(screen.glVersion[31], '\0');
}

TEST_F(InitGLTest, LoadsThePerspectiveProjection) {
    const std::vector<float> loaded = Matrix(GL_PROJECTION_MATRIX);
    const Matrix4 expected = perspective(60.0f, 1024.0f / 768.0f, 1.0f, 5000.0f);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(loaded[i], expected.data()[i]) << "element " << i;
        EXPECT_EQ(loaded[i], screen.projection.data()[i]) << "element " << i;
    }
    // The same frustum as GLU builds it.
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluPerspective(60.0, 1024.0 / 768.0, 1.0, 5000.0);
    const std::vector<float> glu = Matrix(GL_PROJECTION_MATRIX);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(loaded[i], glu[i], 1e-5f) << "element " << i;
}

TEST_F(InitGLTest, LeavesTheFixedState) {
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(std::vector<GLint>(viewport, viewport + 4), (std::vector<GLint>{0, 0, 1024, 768}));
    EXPECT_EQ(GlInteger(GL_MATRIX_MODE), GL_MODELVIEW);
    const std::vector<float> modelView = Matrix(GL_MODELVIEW_MATRIX);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(modelView[i], i % 5 == 0 ? 1.0f : 0.0f);

    GLfloat clear[4] = {};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ(std::vector<GLfloat>(clear, clear + 4), (std::vector<GLfloat>{0, 0, 0.25f, 1}));
    GLfloat clearDepth = 0;
    glGetFloatv(GL_DEPTH_CLEAR_VALUE, &clearDepth);
    EXPECT_EQ(clearDepth, 1.0f);

    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(GlInteger(GL_DEPTH_FUNC), GL_LEQUAL);
    EXPECT_TRUE(glIsEnabled(GL_COLOR_MATERIAL));
    EXPECT_EQ(GlInteger(GL_PERSPECTIVE_CORRECTION_HINT), GL_NICEST);
    GLint polygonMode[2] = {};
    glGetIntegerv(GL_POLYGON_MODE, polygonMode);
    EXPECT_EQ(polygonMode[0], GL_FILL);
    EXPECT_EQ(polygonMode[1], GL_FILL);
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    EXPECT_EQ(GlInteger(GL_CULL_FACE_MODE), GL_BACK);
    EXPECT_EQ(GlInteger(GL_FRONT_FACE), GL_CCW);
    EXPECT_EQ(GlInteger(GL_SHADE_MODEL), GL_SMOOTH);
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_VERTEX_ARRAY));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(InitGLTest, AsksForDepthAndStencilBits) {
    EXPECT_GE(GlInteger(GL_DEPTH_BITS), 24);
    EXPECT_GE(GlInteger(GL_STENCIL_BITS), 8);
}

TEST_F(InitGLTest, CompilesBothDisplayLists) {
    EXPECT_NE(screen.shadowQuadList, 0u);
    EXPECT_NE(screen.screenQuadList, 0u);
    EXPECT_TRUE(glIsList(screen.shadowQuadList));
    EXPECT_TRUE(glIsList(screen.screenQuadList));
}

// The first lines of a run: the driver's names, one per line, then the
// support lines.
TEST_F(InitGLTest, LogsTheExtensionListThenTheSupportLines) {
    const std::string list = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    std::vector<std::string> names;
    std::istringstream words(list);
    for (std::string word; words >> word;) names.push_back(word);
    ASSERT_FALSE(names.empty());

    const std::vector<std::string>& log = Startup().log;
    ASSERT_EQ(log.size(), names.size() + 7);
    std::string joined;
    for (size_t i = 0; i < names.size(); ++i) {
        const bool last = i + 1 == names.size();
        const bool endsInSpace = !last || list.back() == ' ';
        EXPECT_EQ(log[i], names[i] + (endsInSpace ? " " : "")) << "line " << i;
        joined += log[i];
    }
    EXPECT_EQ(joined, list);

    const std::string units = std::to_string(glExtensions.maxTextureUnits);
    const std::vector<std::string> support(log.begin() + static_cast<long>(names.size()),
                                           log.end());
    EXPECT_EQ(support, (std::vector<std::string>{
                           "GL_EXT_framebuffer_object is supported",
                           "GL_ARB_multitexture is supported", units + " Texture units supported",
                           "GL_ARB_shading_language_100 is supported",
                           "GL_ARB_vertex_program is supported",
                           "GL_ARB_fragment_program is supported",
                           "glActiveStencilFaceEXT is supported"}));
}

// Mesa lists every feature the loader looks for.
TEST_F(InitGLTest, FindsEveryFeatureOfTheDriver) {
    const GLExtensions& e = glExtensions;
    EXPECT_TRUE(e.hasAnisotropy);
    EXPECT_TRUE(e.hasFramebufferObject);
    EXPECT_TRUE(e.hasVertexBufferObject);
    EXPECT_TRUE(e.hasMultitexture);
    EXPECT_TRUE(e.hasShaderObjects);
    EXPECT_TRUE(e.hasStencilTwoSide);
    EXPECT_EQ(e.maxTextureUnits, static_cast<uint32_t>(GlInteger(GL_MAX_TEXTURE_UNITS_ARB)));
    EXPECT_GE(e.maxTextureUnits, 3u);

    const void* entryPoints[] = {
        reinterpret_cast<const void*>(e.glGenFramebuffersEXT),
        reinterpret_cast<const void*>(e.glDeleteFramebuffersEXT),
        reinterpret_cast<const void*>(e.glBindFramebufferEXT),
        reinterpret_cast<const void*>(e.glFramebufferTexture2DEXT),
        reinterpret_cast<const void*>(e.glFramebufferRenderbufferEXT),
        reinterpret_cast<const void*>(e.glGenRenderbuffersEXT),
        reinterpret_cast<const void*>(e.glBindRenderbufferEXT),
        reinterpret_cast<const void*>(e.glRenderbufferStorageEXT),
        reinterpret_cast<const void*>(e.glDeleteRenderbuffersEXT),
        reinterpret_cast<const void*>(e.glCheckFramebufferStatusEXT),
        reinterpret_cast<const void*>(e.glDeleteBuffers),
        reinterpret_cast<const void*>(e.glGenBuffers),
        reinterpret_cast<const void*>(e.glIsBuffer),
        reinterpret_cast<const void*>(e.glBufferData),
        reinterpret_cast<const void*>(e.glBufferSubData),
        reinterpret_cast<const void*>(e.glGetBufferSubData),
        reinterpret_cast<const void*>(e.glMapBuffer),
        reinterpret_cast<const void*>(e.glUnmapBuffer),
        reinterpret_cast<const void*>(e.glGetBufferParameteriv),
        reinterpret_cast<const void*>(e.glGetBufferPointerv),
        reinterpret_cast<const void*>(e.glBindBuffer),
        reinterpret_cast<const void*>(e.glMultiTexCoord2fARB),
        reinterpret_cast<const void*>(e.glMultiTexCoord2fvARB),
        reinterpret_cast<const void*>(e.glActiveTextureARB),
        reinterpret_cast<const void*>(e.glClientActiveTextureARB),
        reinterpret_cast<const void*>(e.glCreateShaderObjectARB),
        reinterpret_cast<const void*>(e.glShaderSourceARB),
        reinterpret_cast<const void*>(e.glGetShaderSourceARB),
        reinterpret_cast<const void*>(e.glCompileShaderARB),
        reinterpret_cast<const void*>(e.glDeleteObjectARB),
        reinterpret_cast<const void*>(e.glCreateProgramObjectARB),
        reinterpret_cast<const void*>(e.glAttachObjectARB),
        reinterpret_cast<const void*>(e.glUseProgramObjectARB),
        reinterpret_cast<const void*>(e.glLinkProgramARB),
        reinterpret_cast<const void*>(e.glValidateProgramARB),
        reinterpret_cast<const void*>(e.glGetInfoLogARB),
        reinterpret_cast<const void*>(e.glGetObjectParameterivARB),
        reinterpret_cast<const void*>(e.glGetUniformLocationARB),
        reinterpret_cast<const void*>(e.glUniform1iARB),
        reinterpret_cast<const void*>(e.glUniform1fARB),
        reinterpret_cast<const void*>(e.glUniform2fvARB),
        reinterpret_cast<const void*>(e.glUniform3fvARB),
        reinterpret_cast<const void*>(e.glActiveStencilFaceEXT),
    };
    for (size_t i = 0; i < std::size(entryPoints); ++i) {
        EXPECT_NE(entryPoints[i], nullptr) << "entry point " << i;
    }
    // A fetched pointer is the driver's function: generating a framebuffer
    // through it gives a real name.
    GLuint framebuffer = 0;
    e.glGenFramebuffersEXT(1, &framebuffer);
    EXPECT_NE(framebuffer, 0u);
    e.glDeleteFramebuffersEXT(1, &framebuffer);
}

TEST_F(InitGLTest, TheWindowIsNotAskedToCloseAtStart) {
    EXPECT_EQ(HasWindow(), 1);
    EXPECT_EQ(IsEscapeDown(), 0);
}
