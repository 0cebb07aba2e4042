// LoadShader on the real driver: the source it hands over, the log of a
// failure, and no shader without shader objects or one of their entry points.
#include <fstream>

#include "render/Shader.h"
#include "support/GlFixture.h"
#include "support/LogCapture.h"

TEST_F(GlFixture, LoadShaderHandsOverCrLfLinesAndLogsFailures) {
    const std::string path = ::testing::TempDir() + "voxwalk-shader-" + std::to_string(getpid());
    // Lines end in LF, CR LF and a lone CR (an empty line); the last has no end.
    for (auto [file, source] : {std::pair{"void main()\n{\r\n\r}", "void main()\r\n{\r\n\r\n}\r\n"},
                                {"void main() { gl_Position = undefinedThing; }\n", nullptr}}) {
        std::ofstream(path, std::ios::binary) << file;
        LogCapture log;
        char handed[64] = {};
        const uint32_t shader = LoadShader(path.c_str(), GL_VERTEX_SHADER_ARB);
        glExtensions.glGetShaderSourceARB(shader, sizeof handed, nullptr, handed);
        const std::string text = handed + log.text();
        if (source) {
            EXPECT_EQ(text, source);  // and nothing logged
        } else {  // no shader; the driver's message without its line end, after a header line
            EXPECT_EQ(shader, 0u);
            EXPECT_EQ(text.rfind("Shader Infolog error message:\n", 0), 0u) << text;
            EXPECT_NE(text.find("undefinedThing"), std::string::npos) << text;
            EXPECT_NE(text.substr(text.size() - 2), "\n\n") << text;
        }
    }
    glExtensions.hasShaderObjects = false;
    EXPECT_EQ(LoadShader(path.c_str(), GL_VERTEX_SHADER_ARB), 0u);
    glExtensions.hasShaderObjects = true;  // listed, but an entry point missing: no call through null
    glExtensions.glCompileShaderARB = nullptr;
    EXPECT_EQ(LoadShader(path.c_str(), GL_VERTEX_SHADER_ARB), 0u);
    std::remove(path.c_str());
}
