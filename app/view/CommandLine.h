// The command line: no arguments is the walk; a PATH opens a model in the
// window; --snapshot renders one picture of it without a display.
//
// ParseCommandLine needs nothing but its arguments, so every rule here is
// testable without a window. Exit statuses follow git and coreutils: 0 done,
// 1 an input that cannot be read or an output that cannot be written, 2 a
// usage error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class RunMode { Walk, View, Snapshot, Help, Version };

// Fixed camera directions of --view; Window is the window's starting view.
enum class ViewName { Window, Front, Side, Top, Iso };

enum class BackgroundKind { Scene, Transparent, Plain };

// Limits of the options, also given by --help.
constexpr int32_t kMaxPictureSide = 8192;   // pixels per side of a picture
constexpr int32_t kMaxFrameOption = 1000000;  // --frame; the model's own count is checked later
constexpr double kMaxSeconds = 1e6;         // --time

struct Options {
    RunMode mode = RunMode::Walk;
    std::string path;              // model file or folder (View, Snapshot)
    std::string output;            // picture path (Snapshot); "-" is standard output
    int32_t width = 1024;          // picture size in pixels (Snapshot)
    int32_t height = 768;
    int32_t frame = 1;             // animation frame, from 1 (--frame)
    double time = -1.0;            // seconds into the run (--time); < 0: unset
    ViewName view = ViewName::Window;
    BackgroundKind background = BackgroundKind::Scene;
    uint8_t backgroundRgb[3] = {0, 0, 0};  // Plain only
};

constexpr int kExitUsage = 2;
constexpr int kExitInput = 1;

// Fills `options` from argv[1..argc). False + a one-line `error` naming the
// problem for a usage error. --help and --version win over anything else.
bool ParseCommandLine(int argc, const char* const* argv, Options& options, std::string& error);

// "N" or "WxH", each 1..kMaxPictureSide. False for anything else.
bool ParseSize(const std::string& text, int32_t& width, int32_t& height);

// Seconds as plain decimal digits with an optional fraction ("2", "2.5",
// ".5"), up to kMaxSeconds: no sign, exponent, hexadecimal, inf or nan.
bool ParseSeconds(const std::string& text, double& seconds);

// "transparent", "scene", "#RRGGBB" or "RRGGBB". False for anything else.
bool ParseBackground(const std::string& text, Options& options);

// The text of --help, ending in a line break.
std::string UsageText();
// The text of --version, ending in a line break.
std::string VersionText();
