// Every mode's options as the command line gives them, and the usage errors
// it refuses with one line. (The end-to-end script runs the real program.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/view/CommandLine.h"

namespace {

// Parses a command line written as one string of words ('' is an empty word).
bool Parse(const std::string& line, Options& options, std::string& error) {
    std::vector<std::string> words = {"voxwalk"};
    for (size_t i = 0; i < line.size();) {
        const size_t end = std::min(line.find(' ', i), line.size());
        const std::string word = line.substr(i, end - i);
        words.push_back(word == "''" ? "" : word);
        i = end + 1;
    }
    std::vector<const char*> argv;
    for (const std::string& w : words) argv.push_back(w.c_str());
    return ParseCommandLine(static_cast<int>(argv.size()), argv.data(), options, error);
}

TEST(CommandLine, EachModeTakesItsOwnOptions) {
    Options o;
    std::string error;
    ASSERT_TRUE(Parse("--snapshot s.png --size 64x32 --time 2.5 --angle -90.5 --view iso --no-ao m", o, error))
        << error;
    EXPECT_TRUE(o.mode == RunMode::Snapshot && o.output == "s.png" && o.path == "m" && o.width == 64 &&
                o.height == 32 && o.time == 2.5 && o.angle == -90.5 && o.view == ViewName::Iso && !o.ambientOcclusion);
    // --angle 0 is still an angle given: the picture is framed as its turntable's are.
    ASSERT_TRUE(Parse("--snapshot s.png --angle 0 m", o, error) && o.angleGiven);
    ASSERT_TRUE(Parse("--snapshot s.png m", o, error) && !o.angleGiven);
    ASSERT_TRUE(Parse("--animate a.gif m --turntable --loops 3 --fps 12 --frames 2-5 --background #0a0B0c", o, error));
    EXPECT_TRUE(o.mode == RunMode::Animate && o.turntable && o.turntableSteps == 36 && o.loops == 3 && o.fps == 12 &&
                o.firstFrame == 2 && o.lastFrame == 5 && o.background == BackgroundKind::Plain &&
                o.backgroundRgb[0] == 10 && o.backgroundRgb[1] == 11 && o.backgroundRgb[2] == 12);
    ASSERT_TRUE(Parse("--animate a.png --turntable 8 -- --turntable", o, error)) << error;
    EXPECT_TRUE(o.turntableSteps == 8 && o.path == "--turntable");
    ASSERT_TRUE(Parse("--sheet s.png --directions 8 m", o, error));
    EXPECT_TRUE(o.mode == RunMode::Sheet && o.directions == 8 && o.lastFrame == 0);
    ASSERT_TRUE(Parse("--export o.glb --scale 0.1 --mesh cubes --colors vertex --hidden --frame 3 m", o, error));
    EXPECT_TRUE(o.mode == RunMode::Export && o.scale == 0.1 && o.mesh == MeshKind::Cubes &&
                o.colors == ColorKind::Vertex && o.hidden && o.frame == 3);
    ASSERT_TRUE(Parse("m --no-ao", o, error));
    EXPECT_TRUE(o.mode == RunMode::View && !o.ambientOcclusion);
    ASSERT_TRUE(Parse("--", o, error));
    EXPECT_EQ(o.mode, RunMode::Walk);
    ASSERT_TRUE(Parse("--fast --help", o, error));
    EXPECT_EQ(o.mode, RunMode::Help);
}

TEST(CommandLine, RefusesWithOneLineNamingTheProblem) {
    const struct {
        const char* line;
        const char* error;
    } rows[] = {
        {"--fast m", "unknown option '--fast'"},
        {"--snapshot", "option '--snapshot' needs a value"},
        {"--snapshot '' m", "option '--snapshot' needs an output file name"},
        {"--snapshot o.png", "no model given to '--snapshot'"},
        {"--snapshot o.png ''", "the model's name is empty"},
        {"a.vox b.vox", "more than one model given ('a.vox', 'b.vox')"},
        {"--size 64 m", "option '--size' needs '--snapshot', '--animate' or '--sheet'"},
        {"--export o.glb --view top m", "option '--view' needs '--snapshot', '--animate' or '--sheet'"},
        {"--snapshot o.png --fps 5 m", "option '--fps' needs '--animate' or '--sheet'"},
        {"--animate o.png --frame 2 m", "option '--frame' needs '--snapshot' or '--export'"},
        {"--sheet o.png --turntable m", "option '--turntable' needs '--animate'"},
        {"--snapshot o.png --hidden m", "option '--hidden' needs '--export'"},
        {"--animate o.png --time-limit 2 m", "option '--time-limit' needs '--snapshot'"},
        {"--export o.glb --no-ao m", "option '--no-ao' needs a picture or the window"},
        {"--snapshot o.png --export o.glb m", "options '--snapshot' and '--export' exclude each other"},
        {"--snapshot o.png --frame 2 --time 1 m", "options '--frame' and '--time' exclude each other"},
        {"--animate o.png --turntable 0 m", "invalid value '0' for option '--turntable'"},
        {"--animate o.png --turntable 3601 m", "invalid value '3601' for option '--turntable'"},
    };
    for (const auto& row : rows) {
        Options o;
        std::string error;
        EXPECT_FALSE(Parse(row.line, o, error)) << row.line;
        EXPECT_EQ(error, row.error) << row.line;
    }
}

TEST(CommandLine, NumbersAreDecimalAndWithinTheirLimits) {
    const struct {
        const char* option;
        std::vector<const char*> good, bad;
    } rows[] = {
        {"--snapshot o --size",
         {"1", "8192", "8192x1", "3x4"},
         {"0", "8193", "64x", "x64", "-5", "1e3", "99999999999"}},
        {"--snapshot o --frame", {"1", "1000000"}, {"0", "1000001", "+1", "0x10", "1.5"}},
        {"--snapshot o --time",
         {"0", "2.5", ".5", "2.", "1000000"},
         {"-1", "nan", "inf", "0x10", "1e3", ".", "1.2.3", "1000000.5"}},
        {"--snapshot o --angle", {"-3600", "45.5", "3600"}, {"3600.1", "--5", "1e2", "+5"}},
        {"--snapshot o --time-limit", {"0.001", "2", "1000000"}, {"0", "0.0", "-1", "1000001", "1e1"}},
        {"--animate o --fps", {"1", "100"}, {"0", "101", "2.5"}},
        {"--animate o --frames", {"1-1", "2-30"}, {"0-3", "5-2", "3", "3-", "-3", "1-2-3"}},
        {"--animate o --loops", {"0", "65535"}, {"65536", "-1"}},
        {"--sheet o --directions", {"1", "64"}, {"0", "65"}},
        {"--export o --scale", {"0.001", "1", "1000000"}, {"0", "0.0", "-1", "1000001"}},
        {"--export o --mesh", {"greedy", "faces", "cubes"}, {"Greedy", "quads"}},
        {"--export o --colors", {"palette", "vertex"}, {"rgb"}},
        {"--snapshot o --view", {"front", "side", "top", "iso"}, {"back", "ISO"}},
        {"--snapshot o --background", {"scene", "transparent", "#12ab3F", "12ab3F"}, {"#12345g", "#fff", "white"}},
    };
    for (const auto& row : rows) {
        const std::string option = std::string(row.option).substr(std::string(row.option).rfind(' ') + 1);
        for (bool good : {true, false}) {
            for (const char* value : good ? row.good : row.bad) {
                Options o;
                std::string error;
                const std::string line = std::string(row.option) + " " + value + " m";
                EXPECT_EQ(Parse(line, o, error), good) << line;
                EXPECT_EQ(error, good ? "" : "invalid value '" + std::string(value) + "' for option '" + option + "'");
            }
        }
    }
}

}  // namespace
