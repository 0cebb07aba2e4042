// An offscreen GL context: a width x height RGBA8 colour, 24-bit depth and
// 8-bit stencil draw target, for pictures rendered without a window.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Makes the context current with its framebuffer bound. False + error text
// when it cannot. GetGLProc and GetGLExtensionString work while it is current.
bool OpenOffscreenGL(int width, int height, std::string& error);
void CloseOffscreenGL();
// Reads the framebuffer back as top-row-first RGBA8 rows.
std::vector<uint8_t> ReadOffscreenPixels(int width, int height);
