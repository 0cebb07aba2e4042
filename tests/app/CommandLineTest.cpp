#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/CommandLine.h"

namespace {

bool Parse(std::vector<const char*> args, Options& options, std::string& error) {
    args.insert(args.begin(), "voxwalk");
    return ParseCommandLine(static_cast<int>(args.size()), args.data(), options, error);
}

struct Accepted {
    const char* name;
    std::vector<const char*> args;
    RunMode mode;
    const char* path;
    const char* output;
    int32_t width, height, frame;
    double time;
    ViewName view;
    BackgroundKind background;
};

const Accepted kAccepted[] = {
    {"NoArguments", {}, RunMode::Walk, "", "", 1024, 768, 1, -1, ViewName::Window, BackgroundKind::Scene},
    {"Path", {"m.vox"}, RunMode::View, "m.vox", "", 1024, 768, 1, -1, ViewName::Window, BackgroundKind::Scene},
    {"DashIsAPath", {"-"}, RunMode::View, "-", "", 1024, 768, 1, -1, ViewName::Window, BackgroundKind::Scene},
    {"AfterDoubleDash", {"--", "--odd"}, RunMode::View, "--odd", "", 1024, 768, 1, -1, ViewName::Window, BackgroundKind::Scene},
    {"HelpWinsOverErrors", {"--bogus", "--help"}, RunMode::Help, "", "", 1024, 768, 1, -1, ViewName::Window, BackgroundKind::Scene},
    {"Version", {"--version"}, RunMode::Version, "", "", 1024, 768, 1, -1, ViewName::Window, BackgroundKind::Scene},
    {"SnapshotDefaults", {"--snapshot", "o.png", "m"}, RunMode::Snapshot, "m", "o.png", 1024, 768, 1, -1, ViewName::Window, BackgroundKind::Scene},
    {"SquareSize", {"--snapshot", "o.png", "--size", "256", "m"}, RunMode::Snapshot, "m", "o.png", 256, 256, 1, -1, ViewName::Window, BackgroundKind::Scene},
    {"WideSizePathFirst", {"m", "--size", "4096x16", "--snapshot", "o.png"}, RunMode::Snapshot, "m", "o.png", 4096, 16, 1, -1, ViewName::Window, BackgroundKind::Scene},
    {"FrameAndView", {"--snapshot", "o", "--frame", "12", "--view", "top", "m"}, RunMode::Snapshot, "m", "o", 1024, 768, 12, -1, ViewName::Top, BackgroundKind::Scene},
    {"TimeAndIso", {"--snapshot", "o", "--time", "2.5", "--view", "iso", "m"}, RunMode::Snapshot, "m", "o", 1024, 768, 1, 2.5, ViewName::Iso, BackgroundKind::Scene},
    {"Transparent", {"--snapshot", "o", "--background", "transparent", "m"}, RunMode::Snapshot, "m", "o", 1024, 768, 1, -1, ViewName::Window, BackgroundKind::Transparent},
    {"PlainColour", {"--snapshot", "o", "--background", "#ff8000", "m"}, RunMode::Snapshot, "m", "o", 1024, 768, 1, -1, ViewName::Window, BackgroundKind::Plain},
    {"LargestSide", {"--snapshot", "o", "--size", "16384x1", "m"}, RunMode::Snapshot, "m", "o", 16384, 1, 1, -1, ViewName::Window, BackgroundKind::Scene},
};

class CommandLineAccepts : public ::testing::TestWithParam<Accepted> {};

TEST_P(CommandLineAccepts, FillsTheOptions) {
    const Accepted& row = GetParam();
    Options o;
    std::string error;
    ASSERT_TRUE(Parse(row.args, o, error)) << error;
    EXPECT_EQ(o.mode, row.mode);
    EXPECT_EQ(o.path, row.path);
    EXPECT_EQ(o.output, row.output);
    EXPECT_EQ(o.width, row.width);
    EXPECT_EQ(o.height, row.height);
    EXPECT_EQ(o.frame, row.frame);
    EXPECT_DOUBLE_EQ(o.time, row.time);
    EXPECT_EQ(o.view, row.view);
    EXPECT_EQ(o.background, row.background);
}

INSTANTIATE_TEST_SUITE_P(Table, CommandLineAccepts, ::testing::ValuesIn(kAccepted),
                         [](const auto& info) { return std::string(info.param.name); });

struct Refused {
    const char* name;
    std::vector<const char*> args;
    const char* errorPart;  // the error must name this
};

const Refused kRefused[] = {
    {"UnknownOption", {"--fast", "m"}, "--fast"},
    {"SnapshotWithoutValue", {"--snapshot"}, "--snapshot"},
    {"SnapshotWithoutModel", {"--snapshot", "o.png"}, "no model"},
    {"TwoModels", {"a.vox", "b.vox"}, "b.vox"},
    {"SizeWithoutSnapshot", {"--size", "64", "m"}, "--snapshot"},
    {"SizeZero", {"--snapshot", "o", "--size", "0", "m"}, "'0'"},
    {"SizeTooLarge", {"--snapshot", "o", "--size", "16385", "m"}, "16385"},
    {"SizeHalf", {"--snapshot", "o", "--size", "64x", "m"}, "64x"},
    {"SizeSigned", {"--snapshot", "o", "--size", "-5", "m"}, "-5"},
    {"SizeHuge", {"--snapshot", "o", "--size", "99999999999", "m"}, "99999999999"},
    {"FrameZero", {"--snapshot", "o", "--frame", "0", "m"}, "--frame"},
    {"TimeNegative", {"--snapshot", "o", "--time", "-1", "m"}, "--time"},
    {"TimeNotANumber", {"--snapshot", "o", "--time", "nan", "m"}, "--time"},
    {"FrameAndTime", {"--snapshot", "o", "--frame", "2", "--time", "1", "m"}, "exclude"},
    {"UnknownView", {"--snapshot", "o", "--view", "back", "m"}, "back"},
    {"BadColour", {"--snapshot", "o", "--background", "#12345g", "m"}, "#12345g"},
    {"ShortColour", {"--snapshot", "o", "--background", "#fff", "m"}, "#fff"},
};

class CommandLineRefuses : public ::testing::TestWithParam<Refused> {};

TEST_P(CommandLineRefuses, NamesTheProblem) {
    Options o;
    std::string error;
    EXPECT_FALSE(Parse(GetParam().args, o, error));
    EXPECT_NE(error.find(GetParam().errorPart), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << "one line";
}

INSTANTIATE_TEST_SUITE_P(Table, CommandLineRefuses, ::testing::ValuesIn(kRefused),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CommandLine, PlainBackgroundKeepsItsColour) {
    Options o;
    ASSERT_TRUE(ParseBackground("1a2B3c", o));
    EXPECT_EQ(o.background, BackgroundKind::Plain);
    EXPECT_EQ(o.backgroundRgb[0], 0x1a);
    EXPECT_EQ(o.backgroundRgb[1], 0x2b);
    EXPECT_EQ(o.backgroundRgb[2], 0x3c);
}

}  // namespace
