// The model viewer's program: `voxwalk` with arguments.
#pragma once

// What RunView returns when the arguments ask for no model at all ("--"):
// the caller runs the walk.
constexpr int kRunWalk = -1;

// Parses the command line and runs what it asks for: the model window, a
// snapshot, --help or --version. Returns the exit status (CommandLine.h), or
// kRunWalk.
int RunView(int argc, const char* const* argv);
