// The window layer against the real X server: windows made as the flags and
// requests say, and a close request and the Escape key sent as X events to
// this program's window (found by its pid, as other test programs may share
// the display).
#include "support/GlFixture.h"  // before Xlib, whose macros clash with GoogleTest

#include "support/CloseRequest.h"

TEST(Window, CloseRequestsAndEscapeEndTheLoop) {
    VOXWALK_REQUIRE_DISPLAY();
    SetWindowAttribute(WindowAttribute::Visible, 0);
    SetWindowAttribute(WindowAttribute::Samples, 4);    // not asked for by the flags
    SetWindowAttribute(WindowAttribute::DepthBits, 0);  // and no stencil (GlFixture windows have both)
    // {what is sent, Escape read while presenting, and read again at once}
    for (auto [sent, escape, again] : {std::tuple{std::string("nothing"), 0, 0},
                                       {"close request", 1, 1},
                                       {"key", 1, 0},
                                       {"keydown", 1, 1},
                                       {"keyup", 0, 0}}) {
        SCOPED_TRACE(sent);
        if (sent != "keyup") {  // each a new window, in place of the one before
            ASSERT_EQ(OpenWindow(64, 48, 32, 0, kWindowOpenGL | kWindowHighPriority, 0), 1);
            ExpectState({{GL_SAMPLE_BUFFERS, 0}, {GL_STENCIL_BITS, 0}, {GL_DEPTH_BITS, 0}});
        }
        std::FILE* search = popen(("xdotool search --pid " + std::to_string(getpid())).c_str(), "r");
        char window[32] = {};
        ASSERT_TRUE(std::fgets(window, sizeof window, search)) << "no window with this program's pid";
        pclose(search);
        if (sent == "close request") {
            Display* display = XOpenDisplay(nullptr);
            SendCloseRequest(display, std::stoul(window));
            XCloseDisplay(display);
        } else if (sent != "nothing") {  // a tap, held, released
            const std::string xdotool = "xdotool " + sent + " --window " + std::to_string(std::stoul(window));
            ASSERT_EQ(std::system((xdotool + " Escape 2>/dev/null").c_str()), 0);
        }
        // Presenting frames until Escape reads as expected, for at most a second.
        int read = IsEscapeDown();
        for (int frame = 0; frame < 100 && read != escape; ++frame, read = IsEscapeDown()) {
            PresentWindow();
            usleep(10000);
        }
        EXPECT_EQ(std::tuple(read, IsEscapeDown()), std::tuple(escape, again));
    }
    CloseWindow();
    EXPECT_EQ(std::tuple(HasWindow(), IsEscapeDown()), std::tuple(0, 1));
}
