// A close request as a window manager sends it when the window's close button
// is pressed: a WM_DELETE_WINDOW client message.
#pragma once

#include <X11/Xlib.h>

inline void SendCloseRequest(Display* display, Window window) {
    XEvent event{};  // data.l[1], the time, is CurrentTime (0)
    event.xclient = {ClientMessage, 0, False, display, window, XInternAtom(display, "WM_PROTOCOLS", False), 32, {}};
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    XSendEvent(display, window, False, NoEventMask, &event);
}
