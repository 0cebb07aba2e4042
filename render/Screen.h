// The screen record and the log channel.
//
// `screen` is written by InitGL only (tests may point `logFile` elsewhere);
// every diagnostic of the engine goes through LogLine, one plain line each.
#pragma once

#include <cstdint>
#include <string_view>

#include "math/Matrix4.h"

struct ScreenState {
    int32_t width = 0;          // window width in pixels, as requested
    int32_t height = 0;         // window height in pixels, as requested
    int32_t halfWidth = 0;      // width / 2, rounded toward zero
    int32_t halfHeight = 0;     // height / 2, rounded toward zero
    int32_t colorDepth = 0;     // requested colour bits
    char glVersion[32] = {};    // GL_VERSION, cut to 31 characters
    Matrix4 projection{0.0f};   // perspective loaded at start
    float fieldOfView = 0;      // vertical, degrees
    float aspect = 0;           // width / height
    float nearPlane = 0;
    float farPlane = 0;
    uint32_t shadowQuadList = 0;  // darkens stencil-marked pixels
    uint32_t screenQuadList = 0;  // textured quad over -1..1
    int32_t logFile = 0;          // file descriptor of the log; 0 = not opened yet
};

extern ScreenState screen;

// Writes `text` and a line end to screen.logFile, or to standard output while
// no log has been opened (logFile 0), so loaders log the same way with or
// without a GL window.
void LogLine(std::string_view text);

// Points the log channel at /dev/null: the model viewer keeps standard output
// free of loader and driver lines and reports problems on stderr itself.
void SilenceLog();
