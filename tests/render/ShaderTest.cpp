// LoadShader against a fake driver: the source it hands over, the log of a
// failure, and no GL call without shader objects.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "render/Extensions.h"
#include "render/Shader.h"
#include "support/LogCapture.h"

namespace {

struct FakeDriver {
    int calls = 0;
    std::string source;
    GLint compileStatus = 1;
    std::string infoLog;      // what glGetInfoLogARB gives, zero included in the count
    GLint reportedLength = -1;  // overrides the length when not -1
    std::vector<GLhandleARB> deleted;
};
FakeDriver driver;

constexpr GLhandleARB kHandle = 7;

GLhandleARB GLAPIENTRY FakeCreate(GLenum) {
    ++driver.calls;
    return kHandle;
}
void GLAPIENTRY FakeSource(GLhandleARB, GLsizei count, const GLcharARB** strings, const GLint*) {
    ++driver.calls;
    driver.source.clear();
    for (GLsizei i = 0; i < count; ++i) driver.source += strings[i];
}
void GLAPIENTRY FakeCompile(GLhandleARB) { ++driver.calls; }
void GLAPIENTRY FakeParameter(GLhandleARB, GLenum name, GLint* value) {
    ++driver.calls;
    if (name == GL_OBJECT_COMPILE_STATUS_ARB) *value = driver.compileStatus;
    if (name == GL_OBJECT_INFO_LOG_LENGTH_ARB) {
        *value = driver.reportedLength != -1
                     ? driver.reportedLength
                     : (driver.infoLog.empty() ? 0 : static_cast<GLint>(driver.infoLog.size() + 1));
    }
}
void GLAPIENTRY FakeInfoLog(GLhandleARB, GLsizei max, GLsizei*, GLcharARB* out) {
    ++driver.calls;
    if (max <= 0) return;
    const size_t n = std::min(driver.infoLog.size(), static_cast<size_t>(max - 1));
    driver.infoLog.copy(out, n);
    out[n] = 0;
}
void GLAPIENTRY FakeDelete(GLhandleARB handle) {
    ++driver.calls;
    driver.deleted.push_back(handle);
}

class ShaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        driver = FakeDriver{};
        glExtensions = GLExtensions{};
        glExtensions.hasShaderObjects = true;
        glExtensions.glCreateShaderObjectARB = FakeCreate;
        glExtensions.glShaderSourceARB = FakeSource;
        glExtensions.glCompileShaderARB = FakeCompile;
        glExtensions.glGetObjectParameterivARB = FakeParameter;
        glExtensions.glGetInfoLogARB = FakeInfoLog;
        glExtensions.glDeleteObjectARB = FakeDelete;
        path_ = std::string(::testing::TempDir()) + "voxwalk_shader_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".glsl";
    }
    void TearDown() override {
        std::remove(path_.c_str());
        glExtensions = GLExtensions{};
    }
    const char* Write(const std::string& bytes) {
        FILE* file = std::fopen(path_.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
        return path_.c_str();
    }
    std::string path_;
};

}  // namespace

TEST_F(ShaderTest, LineEndsBecomeCrLfTheLastLineIncluded) {
    EXPECT_EQ(LoadShader(Write("void main()\n{\n}"), GL_VERTEX_SHADER_ARB), kHandle);
    EXPECT_EQ(driver.source, "void main()\r\n{\r\n}\r\n");
    LoadShader(Write("a\nb\n"), GL_VERTEX_SHADER_ARB);
    EXPECT_EQ(driver.source, "a\r\nb\r\n");
}

TEST_F(ShaderTest, CrLfAndEmptyLinesAreKeptOnce) {
    LoadShader(Write("a\r\n\r\nb\r\n"), GL_FRAGMENT_SHADER_ARB);
    EXPECT_EQ(driver.source, "a\r\n\r\nb\r\n");
    LoadShader(Write("a\rb\n\n"), GL_FRAGMENT_SHADER_ARB);
    EXPECT_EQ(driver.source, "a\r\nb\r\n\r\n");
}

TEST_F(ShaderTest, MissingOrEmptyFileCompilesAnEmptySource) {
    driver.source = "stale";
    LoadShader((path_ + ".missing").c_str(), GL_VERTEX_SHADER_ARB);
    EXPECT_EQ(driver.source, "");
    driver.source = "stale";
    LoadShader(Write(""), GL_VERTEX_SHADER_ARB);
    EXPECT_EQ(driver.source, "");
}

TEST_F(ShaderTest, AnEndlessDeviceIsReadOnlyUpToABound) {
    // Zero bytes without a line end: one line that would grow for ever. The
    // compiler sees the text up to the first zero, here nothing.
    driver.source = "stale";
    EXPECT_EQ(LoadShader("/dev/zero", GL_VERTEX_SHADER_ARB), kHandle);
    EXPECT_EQ(driver.source, "");
}

TEST_F(ShaderTest, FailureLogsTheMessageWithoutItsLineEndAndFreesTheObject) {
    driver.compileStatus = 0;
    driver.infoLog = "0:3(1): error: syntax error\n";
    LogCapture log;
    EXPECT_EQ(LoadShader(Write("broken"), GL_VERTEX_SHADER_ARB), 0u);
    EXPECT_EQ(log.text(), "Shader Infolog error message:\n0:3(1): error: syntax error\n");
    EXPECT_EQ(driver.deleted, std::vector<GLhandleARB>{kHandle});
}

TEST_F(ShaderTest, FailureWithAnEmptyInfoLogWritesAnEmptyLine) {
    driver.compileStatus = 0;
    LogCapture log;
    EXPECT_EQ(LoadShader(Write("broken"), GL_VERTEX_SHADER_ARB), 0u);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"Shader Infolog error message:", ""}));
}

TEST_F(ShaderTest, ANegativeInfoLogLengthReadsAsEmpty) {
    driver.compileStatus = 0;
    driver.infoLog = "ignored";
    driver.reportedLength = -5;
    LogCapture log;
    EXPECT_EQ(LoadShader(Write("broken"), GL_VERTEX_SHADER_ARB), 0u);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"Shader Infolog error message:", ""}));
}

TEST_F(ShaderTest, WithoutShaderObjectsNothingIsCalled) {
    glExtensions.hasShaderObjects = false;
    LogCapture log;
    EXPECT_EQ(LoadShader(Write("void main() {}"), GL_VERTEX_SHADER_ARB), 0u);
    EXPECT_EQ(driver.calls, 0);
    EXPECT_EQ(log.text(), "");
    // The flag alone with missing entry points is no better.
    glExtensions.hasShaderObjects = true;
    glExtensions.glCompileShaderARB = nullptr;
    EXPECT_EQ(LoadShader(Write("void main() {}"), GL_VERTEX_SHADER_ARB), 0u);
    EXPECT_EQ(driver.calls, 0);
}
