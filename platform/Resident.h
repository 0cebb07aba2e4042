// Keeps the shared libraries of a GL context loaded for the life of the
// process.
#pragma once

// Marks every shared library loaded so far as never to be unloaded. Called
// once a context is current: the window system library and the GL driver it
// loaded then stay, although closing the window releases them. Reopening a
// window no longer reloads the driver, and the leak checker of a sanitizer
// build, which runs at exit, can still name the driver's frames (and so tell
// its allocations from ours).
void KeepLoadedLibrariesResident();
