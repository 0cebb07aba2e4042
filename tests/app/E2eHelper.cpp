// What the end-to-end test needs besides the viewer:
//   e2e_helper extensions   GL_EXTENSIONS of a fresh context, one name a line
//                           with the space that ended it
//   e2e_helper close ID     asks window ID to close, as a window manager does
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Window.h"
#include "support/CloseRequest.h"

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "extensions") == 0) {
        SetWindowAttribute(WindowAttribute::Visible, 0);
        if (OpenWindow(64, 64, 32, 1, kWindowOpenGL, 0) == 0) return 1;
        const char* list = GetGLExtensionString();
        for (const char* c = list; *c != '\0'; ++c) std::printf("%c%s", *c, *c == ' ' ? "\n" : "");
        if (*list == '\0' || list[std::strlen(list) - 1] != ' ') std::putchar('\n');
        return 0;
    }
    Display* display = argc == 3 && std::strcmp(argv[1], "close") == 0 ? XOpenDisplay(nullptr) : nullptr;
    if (display == nullptr) return 2;
    SendCloseRequest(display, std::strtoul(argv[2], nullptr, 0));
    XCloseDisplay(display);  // flushes the request
    return 0;
}
