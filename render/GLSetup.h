// GL set-up and render state: the program's window and the fixed GL state
// every drawing step assumes, the pixel-space matrix pair and the light.
//
// InitGL is the first GL step of the program. It fills the global `screen`
// (render/Screen.h), opens the log channel on standard output, loads the
// perspective projection and the fixed state, runs LoadExtensions and builds
// screen.shadowQuadList and screen.screenQuadList. It runs on whether or not
// a window could be made; without one every GL call has no effect.
#pragma once

#include <cstdint>

#include "math/Matrix4.h"
#include "math/Vector.h"

// The scene's light, handed to fixed-function lighting by SetupLight. A plain
// value that owns no GL object. ambient, diffuse, specular and position are
// consecutive, in the order of GL_AMBIENT .. GL_POSITION.
struct LightSource {
    Vector4 ambient;           // r g b a
    Vector4 diffuse;           // r g b a
    Vector4 specular;          // r g b a
    Vector4 position;          // homogeneous; w = 1 is a positional light
    Vector3 direction;         // kept for callers; never sent to GL
    Matrix4 auxMatrixA{0.0f};  // unused by the engine, copied with the record
    Matrix4 auxMatrixB{0.0f};
};

// Opens the window (colour bits colorDepth, depth 24, stencil 8, `samples`
// multisample samples when above 0; full screen when `fullscreen` is not 0;
// pageCount 0 or less is one page) and sets up GL as described above.
// Leaves: viewport the whole window, projection = screen.projection
// (perspective 60 degrees, width/height, 1..5000), model-view identity, clear
// colour (0, 0, 0.25, 1) and depth 1, depth test with GL_LEQUAL, colour
// material, back-face culling, smooth shading, filled polygons, vertex-array
// client state on, lighting off. Returns 1, also without a window.
int InitGL(int32_t width, int32_t height, int32_t colorDepth, int32_t pageCount, int32_t samples, int32_t fullscreen);

// The window part of InitGL: the framebuffer requests and OpenWindow. 1 with
// a window, 0 without (the window layer said why on stderr).
int OpenGLWindow(int32_t width, int32_t height, int32_t colorDepth, int32_t pageCount, int32_t samples,
                 int32_t fullscreen);

// InitGL without the window and the log channel: the same `screen` fields,
// projection, fixed state, extensions and shared lists on whatever context is
// current (a window or an offscreen one). Logs to screen.logFile as it is.
void SetUpGL(int32_t width, int32_t height, int32_t colorDepth);

// Pixel-space drawing: pushes both matrices, leaves an identity projection and
// glOrtho(0, width, 0, height, -1, 1) on the model-view stack, so pixel (0, 0)
// is the lower-left corner. The matrix mode is left at GL_MODELVIEW.
void BeginOrtho2D(int32_t width, int32_t height);
// Pops both matrices pushed by BeginOrtho2D; the mode is left at GL_MODELVIEW.
void EndOrtho2D();

// Compiles the list that blends the current colour over every pixel whose
// stencil value is not 0, then restores the scene pass's depth, lighting,
// stencil and shading state. It loads identity into the current matrix. The
// caller sets the colour; its alpha is the darkening strength.
void BuildShadowQuadList(uint32_t& list);

// Stores the five values in `light`, enables GL_LIGHT0 + lightNumber and
// lighting, selects a separate specular colour and sends ambient, diffuse,
// specular and position (transformed by the current model-view matrix).
void SetupLight(int32_t lightNumber, LightSource& light, const Vector4& ambient, const Vector4& diffuse,
                const Vector4& specular, const Vector4& position, const Vector3& direction);
