// The offscreen backend of the window layer: an OpenGL context without any
// window system, for rendering pictures on a machine with no display.
//
// Use: OpenOffscreenGL, draw, ReadOffscreenPixels, CloseOffscreenGL. The
// context comes from EGL's surfaceless platform (Mesa: a render node, or
// llvmpipe when there is no GPU) and is a compatibility profile, so the
// fixed-function calls of the rest of the program work on it unchanged.
// A surfaceless context has no default framebuffer: one framebuffer object
// is made here and stays bound as the draw and read target. While it is
// current, GetGLProc and GetGLExtensionString of platform/Window.h answer for
// it. Only platform/OffscreenEgl.cpp sees EGL. Nothing here logs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Makes a current GL context with a width x height framebuffer of RGBA8
// colour, 24-bit depth and 8-bit stencil, bound as the draw target, and the
// viewport set to all of it. samples > 0 asks for multisampled buffers with
// at least that many samples, as a window does; without them the buffers
// are single-sampled. Multisampled depth cannot be read back with
// glReadPixels. An open offscreen context is closed first. Returns false
// with one line of error text (and nothing left open) when the size is not
// positive, larger than the driver allows, or no context can be made.
bool OpenOffscreenGL(int width, int height, std::string& error, int samples = 0);

// Deletes the framebuffer and the context. EGL's display stays initialised
// for the next open. Safe to call any time.
void CloseOffscreenGL();

// True while an offscreen context is open.
bool HasOffscreenGL();

// The framebuffer's bottom-left width x height pixels as RGBA8 (samples
// resolved), top row first (rows of width * 4 bytes, no padding). Empty when
// no offscreen context is open or the size is not positive or exceeds the
// framebuffer.
std::vector<uint8_t> ReadOffscreenPixels(int width, int height);
