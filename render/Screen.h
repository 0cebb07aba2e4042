// The screen record: the window's size, projection and shared lists.
//
// `screen` is written by InitGL only (tests may point `logFile` elsewhere);
// every diagnostic of the engine goes through LogLine (log/Log.h), one plain
// line each.
#pragma once

#include <cstdint>

#include "log/Log.h"
#include "math/Matrix4.h"

struct ScreenState {
    int32_t width = 0;         // window width in pixels, as requested
    int32_t height = 0;        // window height in pixels, as requested
    int32_t halfWidth = 0;     // width / 2, rounded toward zero
    int32_t halfHeight = 0;    // height / 2, rounded toward zero
    int32_t colorDepth = 0;    // requested colour bits
    char glVersion[32] = {};   // GL_VERSION, cut to 31 characters
    Matrix4 projection{0.0f};  // perspective loaded at start
    float fieldOfView = 0;     // vertical, degrees
    float aspect = 0;          // width / height
    float nearPlane = 0;
    float farPlane = 0;
    uint32_t shadowQuadList = 0;  // darkens stencil-marked pixels
    uint32_t screenQuadList = 0;  // textured quad over -1..1
    // The log channel's descriptor (log/Log.h); 0 = not opened yet.
    int32_t& logFile = logDescriptor;
};

extern ScreenState screen;
