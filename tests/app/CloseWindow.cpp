// Asks a window to close the way a window manager does when its close button
// is pressed. Usage: close_window WINDOW_ID
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

#include "support/CloseRequest.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s WINDOW_ID\n", argv[0]);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "cannot open the display\n");
        return 1;
    }
    SendCloseRequest(display, std::strtoul(argv[1], nullptr, 0));
    XFlush(display);
    XCloseDisplay(display);
    return 0;
}
