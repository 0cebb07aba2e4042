// The log channel: every diagnostic of the engine and the .vox reader is one
// plain line, with no level, code or time stamp, written to one descriptor.
//
// The channel sits below everything that logs, so the reader logs without
// any rendering code; the screen record (render/Screen.h) names the same
// descriptor as its `logFile`.
#pragma once

#include <cstdint>
#include <string_view>

// File descriptor of the log; 0 while none has been opened.
extern constinit int32_t logDescriptor;

// Writes `text` and a line end to logDescriptor, or to standard output while
// no log has been opened, so loaders log the same way with or without a GL
// window.
void LogLine(std::string_view text);

// Points the log channel at /dev/null: the model viewer keeps standard output
// free of loader and driver lines and reports problems on stderr itself.
void SilenceLog();
