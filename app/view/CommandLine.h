// The command line: no arguments is the walk; a PATH opens a model in the
// window; --snapshot, --export, --animate and --sheet write files from it
// without a display.
//
// ParseCommandLine needs nothing but its arguments, so every rule here is
// testable without a window. Exit statuses follow git and coreutils: 0 done,
// 1 an input that cannot be read or an output that cannot be written, 2 a
// usage error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class RunMode { Walk, View, Snapshot, Export, Animate, Sheet, Help, Version };

// Fixed camera directions of --view; Window is the window's starting view.
enum class ViewName { Window, Front, Side, Top, Iso };

enum class BackgroundKind { Scene, Transparent, Plain };

// How an export meshes each model: merged faces, one quad per visible face,
// or every face of every voxel.
enum class MeshKind { Greedy, Faces, Cubes };

// Where an export's colours live: a 256 x 1 palette texture, or vertex colours.
enum class ColorKind { Palette, Vertex };

// Limits of the options, also given by --help.
constexpr int32_t kMaxPictureSide = 8192;     // pixels per side of a picture
constexpr int32_t kMaxFrameOption = 1000000;  // --frame, --frames; the model's own count is checked later
constexpr double kMaxSeconds = 1e6;           // --time
constexpr double kMaxAngle = 3600.0;          // |--angle| in degrees
constexpr int32_t kMaxFps = 100;              // --fps
constexpr int32_t kMaxTurntableSteps = 3600;  // --turntable
constexpr int32_t kMaxLoops = 65535;          // --loops (0 = forever)
constexpr int32_t kMaxDirections = 64;        // --directions
constexpr double kMaxScale = 1e6;             // --scale, metres per voxel

struct Options {
    RunMode mode = RunMode::Walk;
    std::string path;    // model file or folder
    std::string output;  // the file written ("-" is standard output)
    // Pictures (snapshot, animate, sheet).
    int32_t width = 1024;  // picture size in pixels
    int32_t height = 768;
    ViewName view = ViewName::Window;
    BackgroundKind background = BackgroundKind::Scene;
    uint8_t backgroundRgb[3] = {0, 0, 0};  // Plain only
    bool ambientOcclusion = true;          // --no-ao turns it off (window and pictures)
    // One moment (snapshot, export): a frame, from 1, or a time.
    int32_t frame = 1;        // --frame
    double time = -1.0;       // --time, seconds into the run; < 0: unset
    double angle = 0.0;       // --angle, degrees the model is turned (snapshot)
    bool angleGiven = false;  // --angle given, even as 0: framed as a turntable is
    double timeLimit = 0.0;   // --time-limit, seconds a snapshot may take; 0: no limit
    // Moving pictures (animate, sheet).
    int32_t fps = 30;        // --fps
    int32_t firstFrame = 1;  // --frames A-B; lastFrame 0: the model's last
    int32_t lastFrame = 0;
    bool turntable = false;  // --turntable [STEPS]
    int32_t turntableSteps = 36;
    int32_t loops = 0;       // --loops, 0 = forever
    int32_t directions = 1;  // --directions (sheet)
    // Exports.
    double scale = 1.0;  // --scale, metres per voxel
    MeshKind mesh = MeshKind::Greedy;
    ColorKind colors = ColorKind::Palette;
    bool hidden = false;  // --hidden: keep hidden nodes and layers
};

constexpr int kExitUsage = 2;
constexpr int kExitInput = 1;

// Fills `options` from argv[1..argc). False + a one-line `error` naming the
// problem for a usage error. --help and --version win over anything else.
bool ParseCommandLine(int argc, const char* const* argv, Options& options, std::string& error);

// "N" or "WxH", each 1..kMaxPictureSide. False for anything else.
bool ParseSize(const std::string& text, int32_t& width, int32_t& height);

// A decimal number: digits with an optional fraction ("2", "2.5", ".5"), a
// leading '-' only when `negative` is allowed, within [low, high]; no
// exponent, hexadecimal, inf, nan or spaces.
bool ParseDecimal(const std::string& text, bool negative, double low, double high, double& value);

// "transparent", "scene", "#RRGGBB" or "RRGGBB". False for anything else.
bool ParseBackground(const std::string& text, Options& options);

// The text of --help, ending in a line break.
std::string UsageText();
// The text of --version, ending in a line break.
std::string VersionText();
