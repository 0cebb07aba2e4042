// Stand-in until the surfaceless context lands: a hidden window, so it still
// needs an X server.
#include <GL/gl.h>

#include <cstring>

#include "platform/Offscreen.h"
#include "platform/Window.h"

bool OpenOffscreenGL(int width, int height, std::string& error) {
    SetWindowAttribute(WindowAttribute::Visible, 0);
    SetWindowAttribute(WindowAttribute::DepthBits, 24);
    SetWindowAttribute(WindowAttribute::StencilBits, 8);
    if (!OpenWindow(width, height, 32, 1, kWindowOpenGL | kWindowStencil, 0)) {
        error = "no OpenGL context";
        return false;
    }
    return true;
}

void CloseOffscreenGL() { CloseWindow(); }

std::vector<uint8_t> ReadOffscreenPixels(int width, int height) {
    const size_t stride = static_cast<size_t>(width) * 4;
    std::vector<uint8_t> pixels(stride * height);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    std::vector<uint8_t> row(stride);
    for (int y = 0; y < height / 2; ++y) {
        uint8_t* a = &pixels[stride * y];
        uint8_t* b = &pixels[stride * (height - 1 - y)];
        std::memcpy(row.data(), a, stride);
        std::memcpy(a, b, stride);
        std::memcpy(b, row.data(), stride);
    }
    return pixels;
}
