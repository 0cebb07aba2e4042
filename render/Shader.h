// GLSL shader objects through the ARB shader-object entry points.
//
// Linking shaders into programs is the caller's: glExtensions holds the
// program-object entry points (glCreateProgramObjectARB, glAttachObjectARB,
// glLinkProgramARB, ...).
#pragma once

#include <cstdint>

// Reads the GLSL source file `fileName` (every line handed to the compiler
// with a CR LF end, the last one too), creates a shader object of
// `shaderType` (GL_VERTEX_SHADER_ARB or GL_FRAGMENT_SHADER_ARB) and compiles
// it. Returns the handle, owned by the caller. On a compile failure writes
// "Shader Infolog error message:" and the driver's message (without its
// final line end) to the log, deletes the object and returns 0. A missing
// file compiles as an empty source. Returns 0 without a GL call when shader
// objects are not supported.
uint32_t LoadShader(const char* fileName, int32_t shaderType);
