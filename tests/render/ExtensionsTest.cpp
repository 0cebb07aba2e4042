// The extension loader's decisions and log lines, from handed-in extension
// strings; no GL needed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/Extensions.h"
#include "support/LogCapture.h"

namespace {

using Lines = std::vector<std::string>;

void Stub() {}

// Every name the loader asked for, in order.
std::vector<std::string> asked;
// Names the fake driver does not export.
std::vector<std::string> missing;

GLProc FakeLookup(const char* name) {
    asked.push_back(name);
    for (const std::string& m : missing) {
        if (m == name) return nullptr;
    }
    return Stub;
}

uint32_t queriedParameter = 0;
int32_t unitsReported = 0;

int32_t FakeInteger(uint32_t parameter) {
    queriedParameter = parameter;
    return unitsReported;
}

class LoadExtensionsFromTest : public ::testing::Test {
  protected:
    void SetUp() override {
        asked.clear();
        missing.clear();
        queriedParameter = 0;
        unitsReported = 4;
    }
    Lines Load(const char* extensions) {
        LogCapture log;
        LoadExtensionsFrom(extensions, FakeLookup, FakeInteger);
        return log.lines();
    }
    static bool WasAsked(const std::string& name) {
        for (const std::string& a : asked) {
            if (a == name) return true;
        }
        return false;
    }
};

}  // namespace

TEST(HasExtension, IsAPlainSubstringSearch) {
    const char* list = "GL_ARB_multitexture GL_EXT_framebuffer_object_extended";
    EXPECT_EQ(HasExtension(list, "GL_ARB_multitexture"), 1);
    EXPECT_EQ(HasExtension(list, "GL_EXT_framebuffer_object"), 1);  // prefix of a longer name
    EXPECT_EQ(HasExtension(list, "multitexture GL_EXT"), 1);        // across the space
    EXPECT_EQ(HasExtension(list, "GL_ARB_vertex_program"), 0);
    EXPECT_EQ(HasExtension("", "GL_ARB_multitexture"), 0);
    EXPECT_EQ(HasExtension(nullptr, "GL_ARB_multitexture"), 0);
}

// No window was opened in this program: the real loader sees no context.
TEST(LoadExtensions, WithoutAContextReportsEveryFeatureMissing) {
    glExtensions.hasAnisotropy = true;  // left over from an earlier context
    LogCapture log;
    LoadExtensions();
    EXPECT_EQ(log.lines(), (Lines{"", "GL_EXT_framebuffer_object is NOT supported",
                                  "GL_ARB_multitexture is NOT supported",
                                  "GL_ARB_shading_language_100 is NOT supported",
                                  "glActiveStencilFaceEXT is NOT supported"}));
    const GLExtensions& e = glExtensions;
    EXPECT_FALSE(e.hasAnisotropy || e.hasFramebufferObject || e.hasVertexBufferObject ||
                 e.hasMultitexture || e.hasShaderObjects || e.hasStencilTwoSide);
    EXPECT_EQ(e.maxTextureUnits, 0u);
    EXPECT_EQ(e.glBindFramebufferEXT, nullptr);
    EXPECT_EQ(e.glActiveStencilFaceEXT, nullptr);
}

TEST_F(LoadExtensionsFromTest, NullStringAndLookupAreAnEmptyDriver) {
    LogCapture log;
    LoadExtensionsFrom(nullptr, nullptr, nullptr);
    EXPECT_EQ(log.lines(), (Lines{"", "GL_EXT_framebuffer_object is NOT supported",
                                  "GL_ARB_multitexture is NOT supported",
                                  "GL_ARB_shading_language_100 is NOT supported",
                                  "glActiveStencilFaceEXT is NOT supported"}));
    EXPECT_FALSE(glExtensions.hasStencilTwoSide);
}

TEST_F(LoadExtensionsFromTest, EveryFeatureListedGivesTheFullLog) {
    unitsReported = 8;
    const Lines lines = Load(
        "GL_ARB_multitexture GL_EXT_texture_filter_anisotropic GL_EXT_framebuffer_object "
        "GL_ARB_vertex_buffer_object GL_ARB_shading_language_100 GL_ARB_vertex_program "
        "GL_ARB_fragment_program ");
    EXPECT_EQ(lines, (Lines{"GL_ARB_multitexture ", "GL_EXT_texture_filter_anisotropic ",
                            "GL_EXT_framebuffer_object ", "GL_ARB_vertex_buffer_object ",
                            "GL_ARB_shading_language_100 ", "GL_ARB_vertex_program ",
                            "GL_ARB_fragment_program ", "GL_EXT_framebuffer_object is supported",
                            "GL_ARB_multitexture is supported", "8 Texture units supported",
                            "GL_ARB_shading_language_100 is supported",
                            "GL_ARB_vertex_program is supported",
                            "GL_ARB_fragment_program is supported",
                            "glActiveStencilFaceEXT is supported"}));
    const GLExtensions& e = glExtensions;
    EXPECT_TRUE(e.hasAnisotropy && e.hasFramebufferObject && e.hasVertexBufferObject &&
                e.hasMultitexture && e.hasShaderObjects && e.hasStencilTwoSide);
    EXPECT_EQ(queriedParameter, static_cast<uint32_t>(GL_MAX_TEXTURE_UNITS_ARB));
    EXPECT_EQ(e.maxTextureUnits, 8u);
    // A few of each table, the last of each included.
    EXPECT_NE(e.glCheckFramebufferStatusEXT, nullptr);
    EXPECT_NE(e.glGenFramebuffersEXT, nullptr);
    EXPECT_NE(e.glBindBuffer, nullptr);
    EXPECT_NE(e.glMapBuffer, nullptr);
    EXPECT_NE(e.glClientActiveTextureARB, nullptr);
    EXPECT_NE(e.glCreateShaderObjectARB, nullptr);
    EXPECT_NE(e.glUniform3fvARB, nullptr);
    EXPECT_NE(e.glActiveStencilFaceEXT, nullptr);
    // 10 framebuffer + 11 buffer + 4 multitexture + 17 shader + stencil face.
    EXPECT_EQ(asked.size(), 43u);
}

TEST_F(LoadExtensionsFromTest, FramebufferTableIsFetchedInOrder) {
    Load("GL_EXT_framebuffer_object");
    const std::vector<std::string> expected = {
        "glGenFramebuffersEXT",         "glDeleteFramebuffersEXT",  "glBindFramebufferEXT",
        "glFramebufferTexture2DEXT",    "glFramebufferRenderbufferEXT",
        "glGenRenderbuffersEXT",        "glBindRenderbufferEXT",    "glRenderbufferStorageEXT",
        "glDeleteRenderbuffersEXT",     "glCheckFramebufferStatusEXT", "glActiveStencilFaceEXT"};
    EXPECT_EQ(asked, expected);
}

TEST_F(LoadExtensionsFromTest, TwoTextureUnitsAreTooFewButTheEntryPointsStay) {
    unitsReported = 2;
    const Lines lines = Load("GL_ARB_multitexture");
    EXPECT_EQ(lines, (Lines{"GL_ARB_multitexture", "GL_EXT_framebuffer_object is NOT supported",
                            "GL_ARB_multitexture is supported", "2 Texture units supported",
                            "Insufficient texture units for multitexture support",
                            "GL_ARB_shading_language_100 is NOT supported",
                            "glActiveStencilFaceEXT is supported"}));
    const GLExtensions& e = glExtensions;
    EXPECT_FALSE(e.hasMultitexture);
    EXPECT_EQ(e.maxTextureUnits, 2u);
    EXPECT_NE(e.glMultiTexCoord2fARB, nullptr);
    EXPECT_NE(e.glMultiTexCoord2fvARB, nullptr);
    EXPECT_NE(e.glActiveTextureARB, nullptr);
    EXPECT_NE(e.glClientActiveTextureARB, nullptr);
}

TEST_F(LoadExtensionsFromTest, ThreeTextureUnitsAreEnough) {
    unitsReported = 3;
    const Lines lines = Load("GL_ARB_multitexture");
    EXPECT_EQ(lines[3], "3 Texture units supported");
    EXPECT_EQ(lines[4], "GL_ARB_shading_language_100 is NOT supported");
    EXPECT_TRUE(glExtensions.hasMultitexture);
}

TEST_F(LoadExtensionsFromTest, ShaderChainStopsAtTheMissingVertexProgram) {
    const Lines lines = Load("GL_ARB_shading_language_100 GL_ARB_fragment_program");
    EXPECT_EQ(lines, (Lines{"GL_ARB_shading_language_100 ", "GL_ARB_fragment_program",
                            "GL_EXT_framebuffer_object is NOT supported",
                            "GL_ARB_multitexture is NOT supported",
                            "GL_ARB_shading_language_100 is supported",
                            "GL_ARB_vertex_program is NOT supported",
                            "glActiveStencilFaceEXT is supported"}));
    EXPECT_FALSE(glExtensions.hasShaderObjects);
    EXPECT_EQ(glExtensions.glCreateShaderObjectARB, nullptr);
    EXPECT_FALSE(WasAsked("glCreateShaderObjectARB"));
}

TEST_F(LoadExtensionsFromTest, MissingFragmentProgramIsTheLastShaderLine) {
    const Lines lines = Load("GL_ARB_shading_language_100 GL_ARB_vertex_program");
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 2], "GL_ARB_fragment_program is NOT supported");
    EXPECT_FALSE(glExtensions.hasShaderObjects);
}

TEST_F(LoadExtensionsFromTest, LongerNameCountsAsListed) {
    const Lines lines = Load("GL_EXT_framebuffer_object_blit_extended");
    EXPECT_EQ(lines[1], "GL_EXT_framebuffer_object is supported");
    EXPECT_TRUE(glExtensions.hasFramebufferObject);
    EXPECT_NE(glExtensions.glBindFramebufferEXT, nullptr);
}

TEST_F(LoadExtensionsFromTest, NamesAreSplitAfterEachSpace) {
    Lines lines = Load("GL_A GL_B");
    EXPECT_EQ(Lines(lines.begin(), lines.begin() + 3),
              (Lines{"GL_A ", "GL_B", "GL_EXT_framebuffer_object is NOT supported"}));
    lines = Load("GL_A GL_B ");
    EXPECT_EQ(Lines(lines.begin(), lines.begin() + 3),
              (Lines{"GL_A ", "GL_B ", "GL_EXT_framebuffer_object is NOT supported"}));
}

TEST_F(LoadExtensionsFromTest, SilentFeaturesWriteNoLine) {
    const Lines lines = Load("GL_EXT_texture_filter_anisotropic GL_ARB_vertex_buffer_object");
    EXPECT_EQ(lines.size(), 2u + 4u);
    EXPECT_TRUE(glExtensions.hasAnisotropy);
    EXPECT_TRUE(glExtensions.hasVertexBufferObject);
    EXPECT_TRUE(WasAsked("glGetBufferPointerv"));
    EXPECT_FALSE(WasAsked("glBindBufferARB"));  // the core names, without suffix
    EXPECT_NE(glExtensions.glBufferData, nullptr);
}

TEST_F(LoadExtensionsFromTest, MissingStencilFaceEntryPointClearsTheFlag) {
    missing = {"glActiveStencilFaceEXT"};
    const Lines lines = Load("GL_EXT_stencil_two_side");
    EXPECT_EQ(lines.back(), "glActiveStencilFaceEXT is NOT supported");
    EXPECT_FALSE(glExtensions.hasStencilTwoSide);
}

TEST_F(LoadExtensionsFromTest, ASecondLoadDescribesOnlyTheNewString) {
    Load("GL_EXT_framebuffer_object GL_ARB_multitexture GL_EXT_texture_filter_anisotropic");
    ASSERT_TRUE(glExtensions.hasFramebufferObject);
    Load("");
    EXPECT_FALSE(glExtensions.hasFramebufferObject);
    EXPECT_FALSE(glExtensions.hasAnisotropy);
    EXPECT_FALSE(glExtensions.hasMultitexture);
    EXPECT_EQ(glExtensions.maxTextureUnits, 0u);
    EXPECT_EQ(glExtensions.glBindFramebufferEXT, nullptr);
}
