// The window layer over GLFW 3.3. This is the only file that includes GLFW.
#include "platform/Window.h"

#include <cstdio>
#include <deque>
#include <string>

#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

#include "platform/OffscreenBridge.h"
#include "platform/Resident.h"

namespace {

// GL_EXTENSIONS as GL defines it; GLFW_INCLUDE_NONE keeps the GL headers out.
constexpr unsigned int kGlExtensions = 0x1F03;
using GetStringProc = const unsigned char* (*)(unsigned int);

// The layer's one record: the requests and the window they made.
struct WindowState {
    int colorBits = 32;
    int depthBits = 24;
    int stencilBits = 8;
    int samples = 0;
    int visible = 1;
    GLFWwindow* window = nullptr;
    bool glfwReady = false;
    std::string lastError;  // last message of GLFW's error callback
    std::string noWindowConsequence = "the program stops after its first frame";
    std::deque<Key> keyPresses;  // oldest first
    double scroll = 0;           // wheel steps not yet taken
};

WindowState state;

void OnGlfwError(int /*code*/, const char* description) { state.lastError = description ? description : ""; }

Key KeyFromGlfw(int key) {
    switch (key) {
        case GLFW_KEY_SPACE: return Key::Space;
        case GLFW_KEY_LEFT: return Key::Left;
        case GLFW_KEY_RIGHT: return Key::Right;
        // '+' is Shift and '=' on most layouts; either way GLFW names the key.
        case GLFW_KEY_EQUAL:
        case GLFW_KEY_KP_ADD: return Key::Plus;
        case GLFW_KEY_MINUS:
        case GLFW_KEY_KP_SUBTRACT: return Key::Minus;
        case GLFW_KEY_R: return Key::R;
        case GLFW_KEY_F12: return Key::F12;
        default: return Key::NoKey;
    }
}

void OnKey(GLFWwindow* /*window*/, int key, int /*scancode*/, int action, int /*mods*/) {
    const Key k = KeyFromGlfw(key);
    // A bounded queue: a program that never takes presses does not grow.
    if (k != Key::NoKey && action != GLFW_RELEASE && state.keyPresses.size() < 64) {
        state.keyPresses.push_back(k);
    }
}

void OnScroll(GLFWwindow* /*window*/, double /*dx*/, double dy) { state.scroll += dy; }

// Colour bits per channel for a requested pixel depth.
void HintColorBits(int colorBits) {
    int red = GLFW_DONT_CARE, green = GLFW_DONT_CARE, blue = GLFW_DONT_CARE;
    int alpha = GLFW_DONT_CARE;
    if (colorBits >= 24) {
        red = green = blue = 8;
        alpha = colorBits >= 32 ? 8 : 0;
    } else if (colorBits == 16) {
        red = 5, green = 6, blue = 5, alpha = 0;
    } else if (colorBits == 15) {
        red = green = blue = 5, alpha = 0;
    }
    glfwWindowHint(GLFW_RED_BITS, red);
    glfwWindowHint(GLFW_GREEN_BITS, green);
    glfwWindowHint(GLFW_BLUE_BITS, blue);
    glfwWindowHint(GLFW_ALPHA_BITS, alpha);
}

GLFWwindow* CreateWindow(int width, int height, uint32_t flags, int refreshRate, int samples) {
    glfwDefaultWindowHints();
    glfwWindowHint(GLFW_CLIENT_API, GLFW_OPENGL_API);
    glfwWindowHint(GLFW_DOUBLEBUFFER, GLFW_TRUE);
    // The viewport and projection are set once for the requested size.
    glfwWindowHint(GLFW_RESIZABLE, GLFW_FALSE);
    glfwWindowHint(GLFW_VISIBLE, state.visible ? GLFW_TRUE : GLFW_FALSE);
    HintColorBits(state.colorBits);
    glfwWindowHint(GLFW_DEPTH_BITS, state.depthBits);
    glfwWindowHint(GLFW_STENCIL_BITS, (flags & kWindowStencil) ? state.stencilBits : 0);
    glfwWindowHint(GLFW_SAMPLES, samples);
    glfwWindowHint(GLFW_REFRESH_RATE, refreshRate > 0 ? refreshRate : GLFW_DONT_CARE);
    GLFWmonitor* monitor = (flags & kWindowFullscreen) ? glfwGetPrimaryMonitor() : nullptr;
    return glfwCreateWindow(width, height, "voxwalk", monitor, nullptr);
}

int NoWindow(const char* why) {
    std::fprintf(stderr, "voxwalk: no OpenGL window (%s); %s\n", why, state.noWindowConsequence.c_str());
    return 0;
}

}  // namespace

void SetWindowAttribute(WindowAttribute attribute, int value) {
    switch (attribute) {
        case WindowAttribute::ColorBits: state.colorBits = value; break;
        case WindowAttribute::DepthBits: state.depthBits = value; break;
        case WindowAttribute::StencilBits: state.stencilBits = value; break;
        case WindowAttribute::Samples: state.samples = value; break;
        case WindowAttribute::Visible: state.visible = value; break;
    }
}

void SetNoWindowConsequence(const char* consequence) { state.noWindowConsequence = consequence; }

int OpenWindow(int width, int height, int colorDepth, int pageCount, uint32_t flags, int refreshRate) {
    CloseWindow();
    // GLFW always gives one back buffer to draw into and one front buffer to
    // show: a page count of 0 or 1 is exactly that, and more cannot be had.
    (void)pageCount;
    // kWindowHighPriority: GLFW runs no window thread of its own; the window
    // system's events are handled on the caller's thread inside
    // PresentWindow. There is no thread to raise, and raising the caller's
    // own thread would change the whole program's scheduling, so the flag is
    // accepted and has no effect.
    state.colorBits = colorDepth;

    glfwSetErrorCallback(OnGlfwError);
    state.lastError.clear();
    if (!glfwInit()) {
        return NoWindow(state.lastError.empty() ? "the window system did not start" : state.lastError.c_str());
    }
    state.glfwReady = true;
    if (width <= 0 || height <= 0) return NoWindow("the window size is not positive");

    const int samples = (flags & kWindowMultisample) && state.samples > 0 ? state.samples : 0;
    state.window = CreateWindow(width, height, flags, refreshRate, samples);
    if (!state.window && samples > 0) {
        // Better a window without multisampling than none at all.
        state.window = CreateWindow(width, height, flags, refreshRate, 0);
    }
    if (!state.window) {
        return NoWindow(state.lastError.empty() ? "no window or context could be made" : state.lastError.c_str());
    }
    glfwMakeContextCurrent(state.window);
    KeepLoadedLibrariesResident();
    // A tap of Escape shorter than one frame still ends the loop.
    glfwSetInputMode(state.window, GLFW_STICKY_KEYS, GLFW_TRUE);
    state.keyPresses.clear();
    state.scroll = 0;
    glfwSetKeyCallback(state.window, OnKey);
    glfwSetScrollCallback(state.window, OnScroll);
    return 1;
}

int HasWindow() { return state.window != nullptr; }

const char* GetGLExtensionString() {
    auto getString = reinterpret_cast<GetStringProc>(GetGLProc("glGetString"));
    if (!getString) return "";
    const unsigned char* text = getString(kGlExtensions);
    return text ? reinterpret_cast<const char*>(text) : "";
}

GLProc GetGLProc(const char* name) {
    if (!name) return nullptr;
    // The offscreen context answers when there is no window.
    if (!state.window) return OffscreenGLProc(name);
    return glfwGetProcAddress(name);
}

void PresentWindow() {
    if (!state.window) return;
    glfwSwapBuffers(state.window);
    glfwPollEvents();
}

int IsEscapeDown() {
    if (!state.window) return 1;
    if (glfwWindowShouldClose(state.window)) return 1;
    return glfwGetKey(state.window, GLFW_KEY_ESCAPE) == GLFW_PRESS ? 1 : 0;
}

Key NextKeyPress() {
    if (state.keyPresses.empty()) return Key::NoKey;
    const Key k = state.keyPresses.front();
    state.keyPresses.pop_front();
    return k;
}

int IsLeftButtonDown() {
    if (!state.window) return 0;
    return glfwGetMouseButton(state.window, GLFW_MOUSE_BUTTON_LEFT) == GLFW_PRESS ? 1 : 0;
}

void GetCursorPosition(double& x, double& y) {
    x = y = 0;
    if (state.window) glfwGetCursorPos(state.window, &x, &y);
}

double TakeScroll() {
    const double steps = state.scroll;
    state.scroll = 0;
    return steps;
}

void CloseWindow() {
    if (state.window) {
        glfwMakeContextCurrent(nullptr);
        glfwDestroyWindow(state.window);
        state.window = nullptr;
    }
    if (state.glfwReady) {
        glfwTerminate();
        state.glfwReady = false;
    }
}
