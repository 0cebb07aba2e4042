// LoadShader with the real driver.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "render/Shader.h"
#include "support/GlFixture.h"
#include "support/LogCapture.h"

namespace {

class ShaderGlTest : public GlFixture {
  protected:
    void SetUp() override {
        GlFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_TRUE(glExtensions.hasShaderObjects);
        path_ = std::string(::testing::TempDir()) + "voxwalk_shader_gl_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".glsl";
    }
    void TearDown() override { std::remove(path_.c_str()); }
    const char* Write(const std::string& bytes) {
        FILE* file = std::fopen(path_.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
        return path_.c_str();
    }
    // The driver's own verdict on a source, compiled directly.
    static std::string DriverInfoLog(const std::string& source, GLenum type) {
        const GLExtensions& e = glExtensions;
        const GLhandleARB handle = e.glCreateShaderObjectARB(type);
        const GLcharARB* text = source.c_str();
        e.glShaderSourceARB(handle, 1, &text, nullptr);
        e.glCompileShaderARB(handle);
        GLint length = 0;
        e.glGetObjectParameterivARB(handle, GL_OBJECT_INFO_LOG_LENGTH_ARB, &length);
        std::string log(static_cast<size_t>(length) + 1, '\0');
        e.glGetInfoLogARB(handle, length, nullptr, log.data());
        e.glDeleteObjectARB(handle);
        return log.c_str();
    }
    std::string path_;
};

const char* const kVertexShader =
    "#version 110\n"
    "void main()\n"
    "{\n"
    "    gl_Position = ftransform();\n"
    "}";  // no final line end

const char* const kFragmentShader =
    "#version 110\n"
    "uniform vec3 tint;\n"
    "void main() { gl_FragColor = vec4(tint, 1.0); }\n";

}  // namespace

TEST_F(ShaderGlTest, GoodShadersCompileAndTheDriverGetsCrLfLines) {
    LogCapture log;
    const uint32_t vertex = LoadShader(Write(kVertexShader), GL_VERTEX_SHADER_ARB);
    ASSERT_NE(vertex, 0u);
    GLint status = 0, type = 0;
    glExtensions.glGetObjectParameterivARB(vertex, GL_OBJECT_COMPILE_STATUS_ARB, &status);
    glExtensions.glGetObjectParameterivARB(vertex, GL_OBJECT_SUBTYPE_ARB, &type);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(type, GL_VERTEX_SHADER_ARB);

    char source[256] = {};
    glExtensions.glGetShaderSourceARB(vertex, sizeof source, nullptr, source);
    EXPECT_STREQ(source,
                 "#version 110\r\nvoid main()\r\n{\r\n    gl_Position = ftransform();\r\n}\r\n");

    const uint32_t fragment = LoadShader(Write(kFragmentShader), GL_FRAGMENT_SHADER_ARB);
    ASSERT_NE(fragment, 0u);
    EXPECT_EQ(log.text(), "");

    // The caller links them, with the entry points the loader fetched.
    const GLExtensions& e = glExtensions;
    const GLhandleARB program = e.glCreateProgramObjectARB();
    e.glAttachObjectARB(program, vertex);
    e.glAttachObjectARB(program, fragment);
    e.glLinkProgramARB(program);
    GLint linked = 0;
    e.glGetObjectParameterivARB(program, GL_OBJECT_LINK_STATUS_ARB, &linked);
    EXPECT_EQ(linked, 1);
    e.glUseProgramObjectARB(program);
    e.glUniform3fvARB(e.glGetUniformLocationARB(program, "tint"), 1,
                      std::data({0.0f, 1.0f, 0.0f}));
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glCallList(screen.screenQuadList);
    e.glUseProgramObjectARB(0);
    EXPECT_TRUE(PixelsNear(0, 0, kWidth, kHeight, {0, 255, 0}, 0));
    e.glDeleteObjectARB(program);
    e.glDeleteObjectARB(vertex);
    e.glDeleteObjectARB(fragment);
}

TEST_F(ShaderGlTest, BrokenShaderLogsTheDriversMessageAndReturnsZero) {
    const std::string broken = "#version 110\nvoid main() { gl_Position = undefinedThing; }\n";
    const std::string expected = DriverInfoLog(
        "#version 110\r\nvoid main() { gl_Position = undefinedThing; }\r\n", GL_VERTEX_SHADER_ARB);
    ASSERT_FALSE(expected.empty());

    LogCapture log;
    EXPECT_EQ(LoadShader(Write(broken), GL_VERTEX_SHADER_ARB), 0u);
    const std::string text = log.text();
    const std::string header = "Shader Infolog error message:\n";
    ASSERT_EQ(text.substr(0, header.size()), header);
    std::string message = expected;
    while (!message.empty() && message.back() == '\n') message.pop_back();
    EXPECT_EQ(text.substr(header.size()), message + "\n");
    EXPECT_NE(message.find("undefinedThing"), std::string::npos) << message;
}
