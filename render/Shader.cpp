#include "render/Shader.h"

#include <cstdio>
#include <string>
#include <vector>

#include <GL/gl.h>
#include <GL/glext.h>

#include "render/Extensions.h"
#include "render/Screen.h"

namespace {

// Far above any shader; a device without an end (/dev/zero) stops here
// instead of filling memory.
constexpr size_t kMaxSourceBytes = size_t{1} << 24;

// The file's lines, each ended by CR LF. A line ends at LF, CR LF or a lone
// CR, so a file with CR LF ends does not gain a second CR. An unopened file
// reads as empty.
std::string ReadSource(const char* fileName) {
    std::string source;
    FILE* file = fileName ? std::fopen(fileName, "rb") : nullptr;
    if (!file) return source;
    std::string line;
    bool open = false;  // a line has begun and not yet ended
    int c;
    while (source.size() + line.size() < kMaxSourceBytes && (c = std::fgetc(file)) != EOF) {
        if (c == '\n' || c == '\r') {
            if (c == '\r') {
                const int next = std::fgetc(file);
                if (next != '\n' && next != EOF) std::ungetc(next, file);
            }
            source += line;
            source += "\r\n";
            line.clear();
            open = false;
        } else {
            line.push_back(static_cast<char>(c));
            open = true;
        }
    }
    if (open) {
        source += line;
        source += "\r\n";
    }
    std::fclose(file);
    return source;
}

}  // namespace

uint32_t LoadShader(const char* fileName, int32_t shaderType) {
    const GLExtensions& e = glExtensions;
    // Without shader objects the entry points are null: nothing to call.
    if (!e.hasShaderObjects || !e.glCreateShaderObjectARB || !e.glShaderSourceARB || !e.glCompileShaderARB ||
        !e.glGetObjectParameterivARB || !e.glGetInfoLogARB) {
        return 0;
    }

    const std::string source = ReadSource(fileName);
    const GLhandleARB handle = e.glCreateShaderObjectARB(static_cast<GLenum>(shaderType));
    const GLcharARB* text = source.c_str();
    e.glShaderSourceARB(handle, 1, &text, nullptr);
    e.glCompileShaderARB(handle);

    GLint status = 0;
    e.glGetObjectParameterivARB(handle, GL_OBJECT_COMPILE_STATUS_ARB, &status);
    if (status != 0) return handle;

    GLint length = 0;
    e.glGetObjectParameterivARB(handle, GL_OBJECT_INFO_LOG_LENGTH_ARB, &length);
    if (length < 0) length = 0;
    std::vector<GLcharARB> buffer(static_cast<size_t>(length) + 1, 0);
    e.glGetInfoLogARB(handle, length, nullptr, buffer.data());
    // The count includes the terminating zero, and drivers end the message
    // with a line end: neither belongs in the log line.
    std::string message(buffer.data());
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
        message.pop_back();
    }
    LogLine("Shader Infolog error message:");
    LogLine(message);
    // The caller never sees this handle, so it could never free the object.
    if (e.glDeleteObjectARB) e.glDeleteObjectARB(handle);
    return 0;
}
