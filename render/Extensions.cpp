#include "render/Extensions.h"

#include <cstring>
#include <string>
#include <string_view>

#include "render/Screen.h"

constinit GLExtensions glExtensions;

namespace {

// Fetches one entry point into a typed field; null when it is not found.
template <typename Proc>
void Fetch(GLProcLookup lookup, const char* name, Proc& field) {
    field = lookup ? reinterpret_cast<Proc>(lookup(name)) : nullptr;
}

// One line per name, each with the space that ended it; the first line is
// written even for an empty string.
void LogExtensionNames(std::string_view list) {
    size_t start = 0;
    do {
        const size_t space = list.find(' ', start);
        const size_t end = space == std::string_view::npos ? list.size() : space + 1;
        LogLine(list.substr(start, end - start));
        start = end;
    } while (start < list.size());
}

void FetchFramebufferObjects(GLProcLookup lookup, GLExtensions& e) {
    Fetch(lookup, "glGenFramebuffersEXT", e.glGenFramebuffersEXT);
    Fetch(lookup, "glDeleteFramebuffersEXT", e.glDeleteFramebuffersEXT);
    Fetch(lookup, "glBindFramebufferEXT", e.glBindFramebufferEXT);
    Fetch(lookup, "glFramebufferTexture2DEXT", e.glFramebufferTexture2DEXT);
    Fetch(lookup, "glFramebufferRenderbufferEXT", e.glFramebufferRenderbufferEXT);
    Fetch(lookup, "glGenRenderbuffersEXT", e.glGenRenderbuffersEXT);
    Fetch(lookup, "glBindRenderbufferEXT", e.glBindRenderbufferEXT);
    Fetch(lookup, "glRenderbufferStorageEXT", e.glRenderbufferStorageEXT);
    Fetch(lookup, "glDeleteRenderbuffersEXT", e.glDeleteRenderbuffersEXT);
    Fetch(lookup, "glCheckFramebufferStatusEXT", e.glCheckFramebufferStatusEXT);
}

void FetchVertexBufferObjects(GLProcLookup lookup, GLExtensions& e) {
    Fetch(lookup, "glDeleteBuffers", e.glDeleteBuffers);
    Fetch(lookup, "glGenBuffers", e.glGenBuffers);
    Fetch(lookup, "glIsBuffer", e.glIsBuffer);
    Fetch(lookup, "glBufferData", e.glBufferData);
    Fetch(lookup, "glBufferSubData", e.glBufferSubData);
    Fetch(lookup, "glGetBufferSubData", e.glGetBufferSubData);
    Fetch(lookup, "glMapBuffer", e.glMapBuffer);
    Fetch(lookup, "glUnmapBuffer", e.glUnmapBuffer);
    Fetch(lookup, "glGetBufferParameteriv", e.glGetBufferParameteriv);
    Fetch(lookup, "glGetBufferPointerv", e.glGetBufferPointerv);
    Fetch(lookup, "glBindBuffer", e.glBindBuffer);
}

void FetchMultitexture(GLProcLookup lookup, GLExtensions& e) {
    Fetch(lookup, "glMultiTexCoord2fARB", e.glMultiTexCoord2fARB);
    Fetch(lookup, "glMultiTexCoord2fvARB", e.glMultiTexCoord2fvARB);
    Fetch(lookup, "glActiveTextureARB", e.glActiveTextureARB);
    Fetch(lookup, "glClientActiveTextureARB", e.glClientActiveTextureARB);
}

void FetchShaderObjects(GLProcLookup lookup, GLExtensions& e) {
    Fetch(lookup, "glCreateShaderObjectARB", e.glCreateShaderObjectARB);
    Fetch(lookup, "glShaderSourceARB", e.glShaderSourceARB);
    Fetch(lookup, "glGetShaderSourceARB", e.glGetShaderSourceARB);
    Fetch(lookup, "glCompileShaderARB", e.glCompileShaderARB);
    Fetch(lookup, "glDeleteObjectARB", e.glDeleteObjectARB);
    Fetch(lookup, "glCreateProgramObjectARB", e.glCreateProgramObjectARB);
    Fetch(lookup, "glAttachObjectARB", e.glAttachObjectARB);
    Fetch(lookup, "glUseProgramObjectARB", e.glUseProgramObjectARB);
    Fetch(lookup, "glLinkProgramARB", e.glLinkProgramARB);
    Fetch(lookup, "glValidateProgramARB", e.glValidateProgramARB);
    Fetch(lookup, "glGetInfoLogARB", e.glGetInfoLogARB);
    Fetch(lookup, "glGetObjectParameterivARB", e.glGetObjectParameterivARB);
    Fetch(lookup, "glGetUniformLocationARB", e.glGetUniformLocationARB);
    Fetch(lookup, "glUniform1iARB", e.glUniform1iARB);
    Fetch(lookup, "glUniform1fARB", e.glUniform1fARB);
    Fetch(lookup, "glUniform2fvARB", e.glUniform2fvARB);
    Fetch(lookup, "glUniform3fvARB", e.glUniform3fvARB);
}

// glGetIntegerv of the current context.
int32_t ReadGLInteger(uint32_t parameter) {
    GLint value = 0;
    glGetIntegerv(parameter, &value);
    return value;
}

// Each shader extension is only tested once the one before it is there.
bool ShaderChainListed(const char* list) {
    static const char* const chain[] = {"GL_ARB_shading_language_100", "GL_ARB_vertex_program",
                                        "GL_ARB_fragment_program"};
    for (const char* name : chain) {
        const bool listed = HasExtension(list, name);
        LogLine(std::string(name) + (listed ? " is supported" : " is NOT supported"));
        if (!listed) return false;
    }
    return true;
}

}  // namespace

int HasExtension(const char* list, const char* name) {
    if (!list || !name) return 0;
    return std::strstr(list, name) != nullptr ? 1 : 0;
}

void LoadExtensions() { LoadExtensionsFrom(GetGLExtensionString(), GetGLProc, ReadGLInteger); }

void LoadExtensionsFrom(const char* extensions, GLProcLookup lookup, GLIntegerQuery getInteger) {
    const char* list = extensions ? extensions : "";
    GLExtensions& e = glExtensions;
    e = GLExtensions{};

    LogExtensionNames(list);

    e.hasAnisotropy = HasExtension(list, "GL_EXT_texture_filter_anisotropic");

    if (HasExtension(list, "GL_EXT_framebuffer_object")) {
        LogLine("GL_EXT_framebuffer_object is supported");
        e.hasFramebufferObject = true;
        FetchFramebufferObjects(lookup, e);
    } else {
        LogLine("GL_EXT_framebuffer_object is NOT supported");
    }

    if (HasExtension(list, "GL_ARB_vertex_buffer_object")) {
        e.hasVertexBufferObject = true;
        FetchVertexBufferObjects(lookup, e);
    }

    if (HasExtension(list, "GL_ARB_multitexture")) {
        LogLine("GL_ARB_multitexture is supported");
        e.hasMultitexture = true;
        FetchMultitexture(lookup, e);
        e.maxTextureUnits = getInteger ? static_cast<uint32_t>(getInteger(GL_MAX_TEXTURE_UNITS_ARB)) : 0;
        LogLine(std::to_string(e.maxTextureUnits) + " Texture units supported");
        if (e.maxTextureUnits < 3) {
            e.hasMultitexture = false;
            LogLine("Insufficient texture units for multitexture support");
        }
    } else {
        LogLine("GL_ARB_multitexture is NOT supported");
    }

    if (ShaderChainListed(list)) {
        e.hasShaderObjects = true;
        FetchShaderObjects(lookup, e);
    }

    Fetch(lookup, "glActiveStencilFaceEXT", e.glActiveStencilFaceEXT);
    if (e.glActiveStencilFaceEXT) {
        LogLine("glActiveStencilFaceEXT is supported");
        e.hasStencilTwoSide = true;
    } else {
        LogLine("glActiveStencilFaceEXT is NOT supported");
        e.hasStencilTwoSide = false;
    }
}
