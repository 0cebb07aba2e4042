// The window layer against the real X server: a close request and the
// Escape key, sent as X events to this program's window.
#include <gtest/gtest.h>
#include <unistd.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <chrono>
#include <thread>

#include "platform/Window.h"
#include "support/CloseRequest.h"
#include "support/GlFixture.h"

namespace {

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        VOXWALK_REQUIRE_DISPLAY();
        display_ = XOpenDisplay(nullptr);
        ASSERT_NE(display_, nullptr);
        SetWindowAttribute(WindowAttribute::Visible, 0);
        ASSERT_EQ(OpenWindow(64, 48, 32, 0, kWindowOpenGL, 0), 1);
        window_ = FindOwnWindow(DefaultRootWindow(display_));
        ASSERT_NE(window_, 0u) << "no window with this program's _NET_WM_PID";
    }
    void TearDown() override {
        CloseWindow();
        if (display_) XCloseDisplay(display_);
    }

    // Other test programs may share the display: pick ours by its pid.
    Window FindOwnWindow(Window parent) {
        const Atom pidAtom = XInternAtom(display_, "_NET_WM_PID", False);
        Window root = 0, parentOut = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        Window found = 0;
        if (!XQueryTree(display_, parent, &root, &parentOut, &children, &count)) return 0;
        for (unsigned int i = 0; i < count && !found; ++i) {
            Atom type = 0;
            int format = 0;
            unsigned long items = 0, after = 0;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(display_, children[i], pidAtom, 0, 1, False, XA_CARDINAL,
                                   &type, &format, &items, &after, &data) == Success &&
                data && items == 1 &&
                *reinterpret_cast<unsigned long*>(data) == static_cast<unsigned long>(getpid())) {
                found = children[i];
            }
            if (data) XFree(data);
        }
        if (children) XFree(children);
        return found;
    }

    void SendKey(int type) {
        XEvent event{};
        event.xkey.type = type;
        event.xkey.display = display_;
        event.xkey.window = window_;
        event.xkey.root = DefaultRootWindow(display_);
        event.xkey.time = CurrentTime;
        event.xkey.same_screen = True;
        event.xkey.keycode = XKeysymToKeycode(display_, XK_Escape);
        XSendEvent(display_, window_, True,
                   type == KeyPress ? KeyPressMask : KeyReleaseMask, &event);
        XSync(display_, False);
    }

    // Presents until the layer reports Escape, for at most about a second.
    static int EscapeAfterPresenting() {
        for (int i = 0; i < 100; ++i) {
            PresentWindow();
            if (IsEscapeDown()) return 1;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return 0;
    }

    Display* display_ = nullptr;
    Window window_ = 0;
};

}  // namespace

TEST_F(WindowTest, OpensWithAContextAndEscapeUp) {
    EXPECT_EQ(HasWindow(), 1);
    EXPECT_NE(GetGLProc("glGetString"), nullptr);
    EXPECT_NE(std::string(GetGLExtensionString()).find("GL_ARB_multitexture"), std::string::npos);
    PresentWindow();
    EXPECT_EQ(IsEscapeDown(), 0);
}

TEST_F(WindowTest, ACloseRequestReadsAsEscape) {
    SendCloseRequest(display_, window_);
    XSync(display_, False);
    EXPECT_EQ(EscapeAfterPresenting(), 1);
    EXPECT_EQ(IsEscapeDown(), 1);  // and it stays so
}

TEST_F(WindowTest, EscapeHeldIsReported) {
    SendKey(KeyPress);
    EXPECT_EQ(EscapeAfterPresenting(), 1);
    EXPECT_EQ(IsEscapeDown(), 1);  // still held
    SendKey(KeyRelease);
    for (int i = 0; i < 100 && IsEscapeDown(); ++i) {
        PresentWindow();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(IsEscapeDown(), 0);
}

// A tap shorter than one frame still ends the loop.
TEST_F(WindowTest, ATapBetweenTwoFramesCounts) {
    SendKey(KeyPress);
    SendKey(KeyRelease);
    EXPECT_EQ(EscapeAfterPresenting(), 1);
}

TEST_F(WindowTest, OpeningAgainReplacesTheWindow) {
    ASSERT_EQ(OpenWindow(32, 32, 32, 0, kWindowOpenGL, 0), 1);
    EXPECT_EQ(HasWindow(), 1);
    EXPECT_NE(GetGLProc("glGetString"), nullptr);
    CloseWindow();
    EXPECT_EQ(HasWindow(), 0);
    EXPECT_EQ(IsEscapeDown(), 1);
}
