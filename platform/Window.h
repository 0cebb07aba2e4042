// The window layer: one window with an OpenGL context, over GLFW.
//
// Use: record the framebuffer requests with SetWindowAttribute, then
// OpenWindow; while it runs, PresentWindow once per frame and IsEscapeDown to
// decide whether to stop. Only platform/WindowGlfw.cpp sees GLFW; GL code
// reaches the context through GetGLExtensionString and GetGLProc.
//
// The program runs on regardless of whether a window could be made: without
// one, OpenWindow writes one line to standard error saying why, every GL call
// of the caller has no effect, and IsEscapeDown reports Escape as held so the
// frame loop ends after its first frame. Nothing here writes to standard
// output, which carries the program's log.
#pragma once

#include <cstdint>

// Framebuffer requests, recorded before the mode is set and kept for every
// later OpenWindow.
enum class WindowAttribute {
    ColorBits,    // colour bits of a pixel (32: 8 per channel with alpha)
    DepthBits,    // depth-buffer bits
    StencilBits,  // stencil bits
    Samples,      // multisample samples; 0 = none
    Visible,      // 0 = hidden window (tests); default 1
};

// Mode flags for OpenWindow.
enum WindowFlags : uint32_t {
    kWindowOpenGL = 1u << 0,        // an OpenGL context (always made)
    kWindowFullscreen = 1u << 1,    // full screen on the primary monitor
    kWindowMultisample = 1u << 2,   // honour the Samples request
    kWindowStencil = 1u << 3,       // honour the StencilBits request
    kWindowHighPriority = 1u << 4,  // window thread above normal priority
};

// Records one framebuffer request for the next OpenWindow.
void SetWindowAttribute(WindowAttribute attribute, int value);

// What the line OpenWindow writes without a window says happens next; by
// default "the program stops after its first frame", which the frame loop
// does. A caller that stops at once instead says so here.
void SetNoWindowConsequence(const char* consequence);

// Sets the graphics mode: opens a width x height window (or full screen) with
// an OpenGL context current on the calling thread. pageCount 0 or less means
// one page; refreshRate 0 is the display's default. When multisampling cannot
// be had the window is made without it. An open window is closed first.
// Returns 1 with a window and context, 0 without (after one line to stderr).
int OpenWindow(int width, int height, int colorDepth, int pageCount, uint32_t flags, int refreshRate);

// 1 while a window with a current context is open.
int HasWindow();

// The GL_EXTENSIONS string of the window's context, or of the offscreen one
// (platform/Offscreen.h) when there is no window; "" when there is neither.
// The text stays valid until the window is closed.
const char* GetGLExtensionString();

// A GL entry point, looked up by name in the window's context, or in the
// offscreen one when there is no window; null when the name is unknown or
// there is no context.
using GLProc = void (*)();
GLProc GetGLProc(const char* name);

// Shows the back buffer and handles the window system's pending events.
void PresentWindow();

// 1 when Escape is held (or was pressed since the last check), when the
// window system asked to close the window, or when there is no window: each
// of these ends the program's loop.
int IsEscapeDown();

// Keys the model viewer reacts to; everything else is Key::NoKey (not
// "None", which X11 headers define as a macro).
enum class Key { NoKey, Space, Left, Right, Plus, Minus, R, F12 };

// The oldest key press not yet taken (repeats of a held key count as
// presses), or Key::NoKey. Presses are collected while PresentWindow handles
// the window system's events.
Key NextKeyPress();

// 1 while the left mouse button is held over the window.
int IsLeftButtonDown();

// The cursor in window pixels, origin at the top left; (0, 0) without a window.
void GetCursorPosition(double& x, double& y);

// Wheel steps since the last call (positive: away from the user), then 0.
double TakeScroll();

// Closes the window and releases the window system. Safe to call any time.
void CloseWindow();
