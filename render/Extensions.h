// The extension loader: which optional GL features the render layer may use,
// and their entry points.
//
// LoadExtensions runs once from InitGL with the context current. It writes
// the driver's extension names to the log, one per line, then one line per
// feature decision, and fills the one global record `glExtensions`. A feature
// that is missing leaves its flag false and its entry points null. Readers:
// LoadShader (shader objects), the render targets (framebuffer objects) and
// the texture loader (anisotropy).
#pragma once

#include <cstdint>

#include <GL/gl.h>
#include <GL/glext.h>

#include "platform/Window.h"

struct GLExtensions {
    bool hasAnisotropy = false;          // GL_EXT_texture_filter_anisotropic
    bool hasFramebufferObject = false;   // GL_EXT_framebuffer_object
    bool hasVertexBufferObject = false;  // GL_ARB_vertex_buffer_object
    bool hasMultitexture = false;        // GL_ARB_multitexture with 3 or more units
    uint32_t maxTextureUnits = 0;        // GL_MAX_TEXTURE_UNITS_ARB; 0 without multitexture
    bool hasShaderObjects = false;       // GLSL 100 with vertex and fragment programs
    bool hasStencilTwoSide = false;      // glActiveStencilFaceEXT was found

    // Framebuffer objects (GL_EXT_framebuffer_object).
    PFNGLGENFRAMEBUFFERSEXTPROC glGenFramebuffersEXT = nullptr;
    PFNGLDELETEFRAMEBUFFERSEXTPROC glDeleteFramebuffersEXT = nullptr;
    PFNGLBINDFRAMEBUFFEREXTPROC glBindFramebufferEXT = nullptr;
    PFNGLFRAMEBUFFERTEXTURE2DEXTPROC glFramebufferTexture2DEXT = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFEREXTPROC glFramebufferRenderbufferEXT = nullptr;
    PFNGLGENRENDERBUFFERSEXTPROC glGenRenderbuffersEXT = nullptr;
    PFNGLBINDRENDERBUFFEREXTPROC glBindRenderbufferEXT = nullptr;
    PFNGLRENDERBUFFERSTORAGEEXTPROC glRenderbufferStorageEXT = nullptr;
    PFNGLDELETERENDERBUFFERSEXTPROC glDeleteRenderbuffersEXT = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC glCheckFramebufferStatusEXT = nullptr;

    // Vertex buffer objects (GL_ARB_vertex_buffer_object), core names.
    PFNGLDELETEBUFFERSPROC glDeleteBuffers = nullptr;
    PFNGLGENBUFFERSPROC glGenBuffers = nullptr;
    PFNGLISBUFFERPROC glIsBuffer = nullptr;
    PFNGLBUFFERDATAPROC glBufferData = nullptr;
    PFNGLBUFFERSUBDATAPROC glBufferSubData = nullptr;
    PFNGLGETBUFFERSUBDATAPROC glGetBufferSubData = nullptr;
    PFNGLMAPBUFFERPROC glMapBuffer = nullptr;
    PFNGLUNMAPBUFFERPROC glUnmapBuffer = nullptr;
    PFNGLGETBUFFERPARAMETERIVPROC glGetBufferParameteriv = nullptr;
    PFNGLGETBUFFERPOINTERVPROC glGetBufferPointerv = nullptr;
    PFNGLBINDBUFFERPROC glBindBuffer = nullptr;

    // Multitexture (GL_ARB_multitexture); fetched even with too few units.
    PFNGLMULTITEXCOORD2FARBPROC glMultiTexCoord2fARB = nullptr;
    PFNGLMULTITEXCOORD2FVARBPROC glMultiTexCoord2fvARB = nullptr;
    PFNGLACTIVETEXTUREARBPROC glActiveTextureARB = nullptr;
    PFNGLCLIENTACTIVETEXTUREARBPROC glClientActiveTextureARB = nullptr;

    // Shader objects (GL_ARB_shader_objects era GLSL).
    PFNGLCREATESHADEROBJECTARBPROC glCreateShaderObjectARB = nullptr;
    PFNGLSHADERSOURCEARBPROC glShaderSourceARB = nullptr;
    PFNGLGETSHADERSOURCEARBPROC glGetShaderSourceARB = nullptr;
    PFNGLCOMPILESHADERARBPROC glCompileShaderARB = nullptr;
    PFNGLDELETEOBJECTARBPROC glDeleteObjectARB = nullptr;
    PFNGLCREATEPROGRAMOBJECTARBPROC glCreateProgramObjectARB = nullptr;
    PFNGLATTACHOBJECTARBPROC glAttachObjectARB = nullptr;
    PFNGLUSEPROGRAMOBJECTARBPROC glUseProgramObjectARB = nullptr;
    PFNGLLINKPROGRAMARBPROC glLinkProgramARB = nullptr;
    PFNGLVALIDATEPROGRAMARBPROC glValidateProgramARB = nullptr;
    PFNGLGETINFOLOGARBPROC glGetInfoLogARB = nullptr;
    PFNGLGETOBJECTPARAMETERIVARBPROC glGetObjectParameterivARB = nullptr;
    PFNGLGETUNIFORMLOCATIONARBPROC glGetUniformLocationARB = nullptr;
    PFNGLUNIFORM1IARBPROC glUniform1iARB = nullptr;
    PFNGLUNIFORM1FARBPROC glUniform1fARB = nullptr;
    PFNGLUNIFORM2FVARBPROC glUniform2fvARB = nullptr;
    PFNGLUNIFORM3FVARBPROC glUniform3fvARB = nullptr;

    // Two-sided stencil, fetched whatever the extension string says.
    PFNGLACTIVESTENCILFACEEXTPROC glActiveStencilFaceEXT = nullptr;
};

// Written only by LoadExtensions.
extern GLExtensions glExtensions;

// 1 when `name` occurs anywhere in `list` (plain substring search, so a name
// that begins a longer listed name counts too), else 0. A null list is empty.
int HasExtension(const char* list, const char* name);

// Looks up an entry point by name; null when it is unknown.
using GLProcLookup = GLProc (*)(const char* name);
// Reads one GL integer (glGetIntegerv); 0 when it cannot be read.
using GLIntegerQuery = int32_t (*)(uint32_t parameter);

// Reads the extension string and entry points of the current context through
// the window layer and fills `glExtensions`, logging as it goes.
void LoadExtensions();

// The same decisions and log lines, from a given extension string (null =
// empty), entry-point lookup and integer query (either may be null: nothing
// found, 0 read). Resets `glExtensions` first, so the record describes this
// string alone. Tests hand in their own strings here.
void LoadExtensionsFrom(const char* extensions, GLProcLookup lookup, GLIntegerQuery getInteger);
