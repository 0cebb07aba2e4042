#include "app/view/CommandLine.h"

#include <cstdlib>
#include <string_view>

namespace {

// A whole decimal number in [low, high], nothing else (no sign, no spaces).
bool ParseWhole(std::string_view text, int32_t low, int32_t high, int32_t& value) {
    if (text.empty() || text.size() > 9) return false;
    int32_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < low || v > high) return false;
    value = v;
    return true;
}

// One of `names`, giving the matching value.
template <typename T, size_t N>
bool ParseName(const std::string& text, const std::pair<const char*, T> (&names)[N], T& value) {
    for (const auto& [name, v] : names) {
        if (text == name) {
            value = v;
            return true;
        }
    }
    return false;
}

constexpr std::pair<const char*, ViewName> kViews[] = {
    {"front", ViewName::Front}, {"side", ViewName::Side}, {"top", ViewName::Top}, {"iso", ViewName::Iso}};
constexpr std::pair<const char*, MeshKind> kMeshes[] = {
    {"greedy", MeshKind::Greedy}, {"faces", MeshKind::Faces}, {"cubes", MeshKind::Cubes}};
constexpr std::pair<const char*, ColorKind> kColors[] = {{"palette", ColorKind::Palette},
                                                         {"vertex", ColorKind::Vertex}};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "A-B", 1 <= A <= B.
bool ParseRange(const std::string& text, int32_t& first, int32_t& last) {
    const size_t dash = text.find('-');
    int32_t a = 0, b = 0;
    if (dash == std::string::npos || !ParseWhole(std::string_view(text).substr(0, dash), 1, kMaxFrameOption, a) ||
        !ParseWhole(std::string_view(text).substr(dash + 1), 1, kMaxFrameOption, b) || a > b) {
        return false;
    }
    first = a;
    last = b;
    return true;
}

// Which modes an option belongs to, as a bit per RunMode.
constexpr uint32_t Bit(RunMode mode) { return 1u << static_cast<uint32_t>(mode); }
constexpr uint32_t kPictures = Bit(RunMode::Snapshot) | Bit(RunMode::Animate) | Bit(RunMode::Sheet);
constexpr uint32_t kMoving = Bit(RunMode::Animate) | Bit(RunMode::Sheet);

// Every option: its name, whether a value follows, the modes it serves
// (0: it chooses the mode) and what a wrong mode is told.
struct OptionSpec {
    const char* name;
    bool takesValue;
    uint32_t modes;
    const char* needs;
};
constexpr OptionSpec kOptionSpecs[] = {
    {"--snapshot", true, 0, ""},
    {"--export", true, 0, ""},
    {"--animate", true, 0, ""},
    {"--sheet", true, 0, ""},
    {"--size", true, kPictures, "'--snapshot', '--animate' or '--sheet'"},
    {"--view", true, kPictures, "'--snapshot', '--animate' or '--sheet'"},
    {"--background", true, kPictures, "'--snapshot', '--animate' or '--sheet'"},
    {"--no-ao", false, kPictures | Bit(RunMode::View), "a picture or the window"},
    {"--frame", true, Bit(RunMode::Snapshot) | Bit(RunMode::Export), "'--snapshot' or '--export'"},
    {"--time", true, Bit(RunMode::Snapshot) | Bit(RunMode::Export), "'--snapshot' or '--export'"},
    {"--angle", true, Bit(RunMode::Snapshot), "'--snapshot'"},
    {"--time-limit", true, Bit(RunMode::Snapshot), "'--snapshot'"},
    {"--fps", true, kMoving, "'--animate' or '--sheet'"},
    {"--frames", true, kMoving, "'--animate' or '--sheet'"},
    {"--turntable", false, Bit(RunMode::Animate), "'--animate'"},
    {"--loops", true, Bit(RunMode::Animate), "'--animate'"},
    {"--directions", true, Bit(RunMode::Sheet), "'--sheet'"},
    {"--scale", true, Bit(RunMode::Export), "'--export'"},
    {"--mesh", true, Bit(RunMode::Export), "'--export'"},
    {"--colors", true, Bit(RunMode::Export), "'--export'"},
    {"--hidden", false, Bit(RunMode::Export), "'--export'"},
};

// Reads the value of one option into `options`. False when it is not valid.
bool ApplyValue(const std::string& name, const std::string& value, Options& o) {
    if (name == "--size") return ParseSize(value, o.width, o.height);
    if (name == "--view") return ParseName(value, kViews, o.view);
    if (name == "--background") return ParseBackground(value, o);
    if (name == "--frame") return ParseWhole(value, 1, kMaxFrameOption, o.frame);
    if (name == "--time") return ParseDecimal(value, false, 0.0, kMaxSeconds, o.time);
    if (name == "--angle") {
        o.angleGiven = true;
        return ParseDecimal(value, true, -kMaxAngle, kMaxAngle, o.angle);
    }
    if (name == "--time-limit") return ParseDecimal(value, false, 0.0, kMaxSeconds, o.timeLimit) && o.timeLimit > 0.0;
    if (name == "--fps") return ParseWhole(value, 1, kMaxFps, o.fps);
    if (name == "--frames") return ParseRange(value, o.firstFrame, o.lastFrame);
    if (name == "--loops") return ParseWhole(value, 0, kMaxLoops, o.loops);
    if (name == "--directions") return ParseWhole(value, 1, kMaxDirections, o.directions);
    if (name == "--scale") return ParseDecimal(value, false, 1e-6, kMaxScale, o.scale) && o.scale > 0.0;
    if (name == "--mesh") return ParseName(value, kMeshes, o.mesh);
    if (name == "--colors") return ParseName(value, kColors, o.colors);
    return false;
}

RunMode ModeOf(const std::string& name) {
    if (name == "--snapshot") return RunMode::Snapshot;
    if (name == "--export") return RunMode::Export;
    if (name == "--animate") return RunMode::Animate;
    return RunMode::Sheet;
}

}  // namespace

bool ParseDecimal(const std::string& text, bool negative, double low, double high, double& value) {
    // Checked by hand first: strtod alone would also take "0x10", "1e3", "inf" and leading spaces.
    const size_t start = negative && !text.empty() && text[0] == '-' ? 1 : 0;
    size_t digits = 0, dots = 0;
    for (size_t i = start; i < text.size(); ++i) {
        if (text[i] >= '0' && text[i] <= '9') {
            ++digits;
        } else if (text[i] == '.') {
            ++dots;
        } else {
            return false;
        }
    }
    if (digits == 0 || dots > 1 || text.size() > 32) return false;
    const double v = std::strtod(text.c_str(), nullptr);
    if (!(v >= low && v <= high)) return false;
    value = v;
    return true;
}

bool ParseSize(const std::string& text, int32_t& width, int32_t& height) {
    const size_t x = text.find('x');
    int32_t w = 0, h = 0;
    if (x == std::string::npos) {
        if (!ParseWhole(text, 1, kMaxPictureSide, w)) return false;
        h = w;
    } else if (!ParseWhole(std::string_view(text).substr(0, x), 1, kMaxPictureSide, w) ||
               !ParseWhole(std::string_view(text).substr(x + 1), 1, kMaxPictureSide, h)) {
        return false;
    }
    width = w;
    height = h;
    return true;
}

bool ParseBackground(const std::string& text, Options& options) {
    if (text == "scene") {
        options.background = BackgroundKind::Scene;
        return true;
    }
    if (text == "transparent") {
        options.background = BackgroundKind::Transparent;
        return true;
    }
    std::string_view hex(text);
    if (!hex.empty() && hex[0] == '#') hex.remove_prefix(1);
    if (hex.size() != 6) return false;
    uint8_t rgb[3];
    for (int i = 0; i < 3; ++i) {
        const int high = HexDigit(hex[2 * i]), low = HexDigit(hex[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        rgb[i] = static_cast<uint8_t>(high * 16 + low);
    }
    options.background = BackgroundKind::Plain;
    for (int i = 0; i < 3; ++i) options.backgroundRgb[i] = rgb[i];
    return true;
}

bool ParseCommandLine(int argc, const char* const* argv, Options& options, std::string& error) {
    options = Options{};
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
    for (const std::string& arg : args) {
        if (arg == "--") break;
        if (arg == "--help" || arg == "-h") {
            options.mode = RunMode::Help;
            return true;
        }
        if (arg == "--version") {
            options.mode = RunMode::Version;
            return true;
        }
    }

    std::string modeOption;  // the option that chose the mode
    std::vector<const OptionSpec*> given;
    bool haveFrame = false, haveTime = false, optionsEnded = false;
    std::vector<std::string> paths;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            if (arg.empty()) {
                error = "the model's name is empty";
                return false;
            }
            paths.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const OptionSpec* spec = nullptr;
        for (const OptionSpec& s : kOptionSpecs) spec = arg == s.name ? &s : spec;
        if (spec == nullptr) {
            error = "unknown option '" + arg + "'";
            return false;
        }
        given.push_back(spec);
        if (arg == "--no-ao") {
            options.ambientOcclusion = false;
            continue;
        }
        if (arg == "--hidden") {
            options.hidden = true;
            continue;
        }
        if (arg == "--turntable") {
            // An optional step count: the next argument when it is a whole number.
            options.turntable = true;
            const bool count = i + 1 < args.size() && !args[i + 1].empty() &&
                               args[i + 1].find_first_not_of("0123456789") == std::string::npos;
            if (count) {
                if (!ParseWhole(args[++i], 1, kMaxTurntableSteps, options.turntableSteps)) {
                    error = "invalid value '" + args[i] + "' for option '--turntable'";
                    return false;
                }
            }
            continue;
        }
        if (i + 1 >= args.size()) {
            error = "option '" + arg + "' needs a value";
            return false;
        }
        const std::string& value = args[++i];
        if (spec->modes == 0) {
            if (!modeOption.empty() && modeOption != arg) {
                error = "options '" + modeOption + "' and '" + arg + "' exclude each other";
                return false;
            }
            if (value.empty()) {
                error = "option '" + arg + "' needs an output file name";
                return false;
            }
            modeOption = arg;
            options.mode = ModeOf(arg);
            options.output = value;
            continue;
        }
        haveFrame = haveFrame || arg == "--frame";
        haveTime = haveTime || arg == "--time";
        if (!ApplyValue(arg, value, options)) {
            error = "invalid value '" + value + "' for option '" + arg + "'";
            return false;
        }
    }

    if (modeOption.empty()) options.mode = paths.empty() ? RunMode::Walk : RunMode::View;
    for (const OptionSpec* spec : given) {
        if (spec->modes != 0 && !(spec->modes & Bit(options.mode))) {
            error = "option '" + std::string(spec->name) + "' needs " + spec->needs;
            return false;
        }
    }
    if (haveFrame && haveTime) {
        error = "options '--frame' and '--time' exclude each other";
        return false;
    }
    if (paths.size() > 1) {
        error = "more than one model given ('" + paths[0] + "', '" + paths[1] + "')";
        return false;
    }
    if (paths.empty()) {
        if (!modeOption.empty()) {
            error = "no model given to '" + modeOption + "'";
            return false;
        }
        return true;  // the walk cycle
    }
    options.path = paths[0];
    return true;
}

std::string UsageText() {
    const auto n = [](double v) { return std::to_string(static_cast<int64_t>(v)); };
    return "Usage: voxwalk [PATH]\n"
           "       voxwalk --snapshot OUT.png [picture options] [--frame N | --time S] [--angle DEG]\n"
           "               [--time-limit S] PATH\n"
           "       voxwalk --animate OUT.png|OUT.gif [picture options] [--fps N] [--frames A-B]\n"
           "               [--turntable [STEPS]] [--loops N] PATH\n"
           "       voxwalk --sheet OUT.png [picture options] [--directions N] [--fps N] [--frames A-B] PATH\n"
           "       voxwalk --export OUT.glb|.gltf|.obj|.ply|.vox [--scale M] [--mesh greedy|faces|cubes]\n"
           "               [--colors palette|vertex] [--hidden] [--frame N | --time S] PATH\n"
           "\n"
           "Without arguments, the walk cycle of the shipped character.\n"
           "PATH is a .vox file (a scene, an animation or one model), a Poly2Vox file,\n"
           "or a folder whose .vox files, in natural order, are the frames.\n"
           "\n"
           "In the window: drag with the left button to orbit, the wheel zooms,\n"
           "Space pauses, Left/Right step while paused, +/- change the speed,\n"
           "R resets the view, F12 saves a screenshot next to the model,\n"
           "Escape quits.\n"
           "\n"
           "The other modes write a file without a display and exit. OUT '-' is\n"
           "standard output (one-file formats). An output is written whole or not at\n"
           "all, never over the model read, a folder or a device; a symlink is\n"
           "written through.\n"
           "\n"
           "--animate writes an APNG (.png) or a GIF (.gif) of the model's frames, once\n"
           "each a loop; a still model, or any with --turntable, turns 360 degrees.\n"
           "--sheet writes a row per direction and a column per frame, and OUT.json\n"
           "beside it. Every picture is the --snapshot at its --frame and --angle.\n"
           "\n"
           "Picture options:\n"
           "  --size N|WxH      1 to " +
           n(kMaxPictureSide) +
           " pixels a side (default 1024x768)\n"
           "  --view NAME       front, side, top or iso (default: the window's view)\n"
           "  --background B    scene (grass and shadow), transparent, or #RRGGBB\n"
           "  --no-ao           no ambient occlusion (also in the window)\n"
           "One moment:\n"
           "  --frame N         1 to the model's frame count (default 1)\n"
           "  --time S          0 to " +
           n(kMaxSeconds) +
           " seconds into the window's run\n"
           "  --angle DEG       turn the model -" +
           n(kMaxAngle) + " to " + n(kMaxAngle) +
           " degrees, counter-clockwise\n"
           "  --time-limit S    give up after S seconds (status 1, nothing written)\n"
           "Moving pictures:\n"
           "  --fps N           1 to " +
           n(kMaxFps) +
           " frames a second (default 30)\n"
           "  --frames A-B      the model's frames A to B (default all)\n"
           "  --turntable [N]   turn 360 degrees in N steps, 1 to " +
           n(kMaxTurntableSteps) +
           " (default 36)\n"
           "  --loops N         0 (forever, the default) to " +
           n(kMaxLoops) +
           "\n"
           "  --directions N    sheet rows: 1 to " +
           n(kMaxDirections) +
           " angles from --view (default 1)\n"
           "Exports:\n"
           "  --scale M         metres per voxel, above 0 up to " +
           n(kMaxScale) +
           " (default 1)\n"
           "  --mesh KIND       greedy (merged, watertight; default), faces or cubes\n"
           "  --colors KIND     palette (a 256 x 1 texture; default) or vertex\n"
           "  --hidden          keep hidden nodes and layers\n"
           "Numbers are decimal digits, with a fraction where a time, angle or scale\n"
           "takes one (2.5).\n"
           "\n"
           "Exit status: 0 done, 1 unreadable input or failed output, 2 usage error.\n";
}

std::string VersionText() { return "voxwalk 1.2\n"; }
