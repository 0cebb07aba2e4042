#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/CommandLine.h"

namespace {

// Parses `args` and describes the result in one line: the options, or
// "error: " and the message.
std::string Describe(std::vector<const char*> args) {
    args.insert(args.begin(), "voxwalk");
    Options o;
    std::string error;
    if (!ParseCommandLine(static_cast<int>(args.size()), args.data(), o, error)) {
        return "error: " + error;
    }
    static const char* const kModes[] = {"walk", "view", "snapshot", "help", "version"};
    static const char* const kViews[] = {"window", "front", "side", "top", "iso"};
    static const char* const kBackgrounds[] = {"scene", "transparent", "plain"};
    char rgb[8];
    std::snprintf(rgb, sizeof rgb, "%02x%02x%02x", o.backgroundRgb[0], o.backgroundRgb[1],
                  o.backgroundRgb[2]);
    return std::string(kModes[static_cast<int>(o.mode)]) + " [" + o.path + "] [" + o.output + "] " +
           std::to_string(o.width) + "x" + std::to_string(o.height) + " f" + std::to_string(o.frame) +
           " t" + std::to_string(o.time).substr(0, 4) + " " + kViews[static_cast<int>(o.view)] + " " +
           kBackgrounds[static_cast<int>(o.background)] + " " + rgb;
}

TEST(CommandLine, AcceptsAndRefuses) {
    const struct {
        std::vector<const char*> args;
        const char* expected;
    } rows[] = {
        {{}, "walk [] [] 1024x768 f1 t-1.0 window scene 000000"},
        {{"m.vox"}, "view [m.vox] [] 1024x768 f1 t-1.0 window scene 000000"},
        {{"-"}, "view [-] [] 1024x768 f1 t-1.0 window scene 000000"},
        {{"--", "--odd"}, "view [--odd] [] 1024x768 f1 t-1.0 window scene 000000"},
        {{"--bogus", "--help"}, "help [] [] 1024x768 f1 t-1.0 window scene 000000"},
        {{"--version"}, "version [] [] 1024x768 f1 t-1.0 window scene 000000"},
        {{"m", "--size", "4096x16", "--snapshot", "o.png"}, "snapshot [m] [o.png] 4096x16 f1 t-1.0 window scene 000000"},
        {{"--snapshot", "o", "--size", "256", "--frame", "12", "--view", "top", "m"}, "snapshot [m] [o] 256x256 f12 t-1.0 top scene 000000"},
        {{"--snapshot", "o", "--time", "2.5", "--view", "iso", "--background", "transparent", "m"}, "snapshot [m] [o] 1024x768 f1 t2.50 iso transparent 000000"},
        {{"--snapshot", "o", "--background", "#1a2B3c", "--size", "8192x1", "m"}, "snapshot [m] [o] 8192x1 f1 t-1.0 window plain 1a2b3c"},
        {{"--fast", "m"}, "error: unknown option '--fast'"},
        {{"--snapshot"}, "error: option '--snapshot' needs a value"},
        {{"--snapshot", "o.png"}, "error: no model given to '--snapshot'"},
        {{"a.vox", "b.vox"}, "error: more than one model given ('a.vox', 'b.vox')"},
        {{"--size", "64", "m"}, "error: picture options need '--snapshot OUT.png'"},
        {{"--snapshot", "o", "--frame", "2", "--time", "1", "m"}, "error: options '--frame' and '--time' exclude each other"},
    };
    for (const auto& row : rows) EXPECT_EQ(Describe(row.args), row.expected);
}

TEST(CommandLine, RefusesBadValues) {
    const struct { const char* option; const char* value; } rows[] = {
        {"--size", "0"},        {"--size", "8193"},   {"--size", "64x"},  {"--size", "-5"},
        {"--size", "99999999999"}, {"--frame", "0"},   {"--time", "-1"},   {"--time", "nan"},
        {"--view", "back"},     {"--background", "#12345g"}, {"--background", "#fff"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Describe({"--snapshot", "o", row.option, row.value, "m"}),
                  std::string("error: invalid value '") + row.value + "' for option '" + row.option + "'");
    }
}

}  // namespace
