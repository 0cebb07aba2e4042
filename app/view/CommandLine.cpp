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

bool ParseView(const std::string& text, ViewName& view) {
    static const struct { const char* name; ViewName view; } kViews[] = {
        {"front", ViewName::Front}, {"side", ViewName::Side},
        {"top", ViewName::Top},     {"iso", ViewName::Iso},
    };
    for (const auto& entry : kViews) {
        if (text == entry.name) {
            view = entry.view;
            return true;
        }
    }
    return false;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool ParseSeconds(const std::string& text, double& seconds) {
    // Checked by hand first: strtod alone would also take "0x10", "1e3", "inf" and leading spaces.
    size_t digits = 0, dots = 0;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            ++digits;
        } else if (c == '.') {
            ++dots;
        } else {
            return false;
        }
    }
    if (digits == 0 || dots > 1 || text.size() > 32) return false;
    const double v = std::strtod(text.c_str(), nullptr);
    if (!(v <= kMaxSeconds)) return false;
    seconds = v;
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

    bool snapshot = false, haveFrame = false, haveTime = false, pictureOption = false;
    bool optionsEnded = false;
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
        static const char* const kWithValue[] = {"--snapshot", "--size", "--frame",
                                                 "--time",     "--view", "--background"};
        bool known = false;
        for (const char* name : kWithValue) known = known || arg == name;
        if (!known) {
            error = "unknown option '" + arg + "'";
            return false;
        }
        if (i + 1 >= args.size()) {
            error = "option '" + arg + "' needs a value";
            return false;
        }
        const std::string& value = args[++i];
        if (arg == "--snapshot") {
            if (value.empty()) {
                error = "option '--snapshot' needs an output file name";
                return false;
            }
            snapshot = true;
            options.output = value;
            continue;
        }
        pictureOption = true;
        bool ok = true;
        if (arg == "--size") {
            ok = ParseSize(value, options.width, options.height);
        } else if (arg == "--frame") {
            ok = ParseWhole(value, 1, kMaxFrameOption, options.frame);
            haveFrame = true;
        } else if (arg == "--time") {
            ok = ParseSeconds(value, options.time);
            haveTime = true;
        } else if (arg == "--view") {
            ok = ParseView(value, options.view);
        } else {
            ok = ParseBackground(value, options);
        }
        if (!ok) {
            error = "invalid value '" + value + "' for option '" + arg + "'";
            return false;
        }
    }

    if (haveFrame && haveTime) {
        error = "options '--frame' and '--time' exclude each other";
        return false;
    }
    if (pictureOption && !snapshot) {
        error = "picture options need '--snapshot OUT.png'";
        return false;
    }
    if (paths.size() > 1) {
        error = "more than one model given ('" + paths[0] + "', '" + paths[1] + "')";
        return false;
    }
    if (paths.empty()) {
        if (snapshot) {
            error = "no model given to '--snapshot'";
            return false;
        }
        return true;  // the walk cycle
    }
    options.path = paths[0];
    options.mode = snapshot ? RunMode::Snapshot : RunMode::View;
    return true;
}

std::string UsageText() {
    return "Usage: voxwalk [PATH]\n"
           "       voxwalk --snapshot OUT.png [--size N|WxH] [--frame N | --time SECONDS]\n"
           "               [--view front|side|top|iso] [--background scene|transparent|#RRGGBB] PATH\n"
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
           "--snapshot renders one picture without a display and exits; OUT.png '-'\n"
           "writes it to standard output. An output is written whole or not at all,\n"
           "never over the model read, a folder or a device; a symlink is written\n"
           "through.\n"
           "  --size N|WxH      1 to " + std::to_string(kMaxPictureSide) + " pixels a side (default 1024x768)\n"
           "  --frame N         1 to the model's frame count (default 1)\n"
           "  --time SECONDS    0 to " + std::to_string(static_cast<int64_t>(kMaxSeconds)) +
           ", decimal digits (2.5); the moment of the window's run\n"
           "  --view NAME       front, side, top or iso (default: the window's view)\n"
           "  --background B    scene (grass and shadow), transparent, or #RRGGBB\n"
           "\n"
           "Exit status: 0 done, 1 unreadable input or failed output, 2 usage error.\n";
}

std::string VersionText() { return "voxwalk 1.2\n"; }
