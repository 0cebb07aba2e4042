// The two ways of showing a user's model: the interactive window and the
// one-picture snapshot. Both load the model before any GL, so a bad input
// fails fast with one line on stderr, and keep standard output empty.
#pragma once

#include <string>

#include "app/CommandLine.h"
#include "app/Walker.h"

// The window: the model walking (animation) or turning (still model) over
// the walk's ground, until Escape or the window closes. Returns the exit
// status: 0, or kExitInput when the model cannot be read or no window can
// be opened.
int RunModelViewer(const Options& options, const Clock& clock);

// Renders one picture offscreen into options.output. Returns 0, kExitUsage
// for a frame the model does not have, kExitInput when the model cannot be
// read, nothing can be rendered or the picture cannot be written.
int RunSnapshot(const Options& options);

// "DIR/NAME-N.png" next to the model at `modelPath` (a file's extension
// dropped; a folder's shot goes beside the folder), with N the first number
// from 1 for which `exists` says no. Pure: `exists` is the only outside look.
std::string ScreenshotPath(const std::string& modelPath, bool (*exists)(const std::string&));
