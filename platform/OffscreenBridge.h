// Private to platform/: how the window layer answers GetGLProc and
// GetGLExtensionString when the current context is the offscreen one.
#pragma once

#include "platform/Window.h"

// A GL entry point of the offscreen context; null when none is open.
GLProc OffscreenGLProc(const char* name);
