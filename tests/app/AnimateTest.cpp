// What --animate and --sheet show: which frame and angle each picture has,
// the formats names ask for, the sheet's layout, its JSON and where it goes.
// (Every picture against its --snapshot: tests/app/anim_e2e.py.)
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "app/view/Animate.h"

namespace {

Options Animation(int32_t first, int32_t last, bool turntable, int32_t steps) {
    Options o;
    o.path = "m.vox";
    o.firstFrame = first, o.lastFrame = last, o.turntable = turntable, o.turntableSteps = steps;
    return o;
}

TEST(Animate, PlaysTheFramesAskedForAndTurnsInEqualSteps) {
    // A turntable step's angle is the double --angle reads from its decimal (360 * 4 / 7 here).
    double sevenths = 0;
    ASSERT_TRUE(ParseDecimal("205.71428571428572", false, 0, 360, sevenths));
    const struct {
        const char* name;
        int32_t count;
        Options options;
        int32_t pictures, k, frame;
        double angle;
        const char* error;
    } rows[] = {
        {"still: 36 steps", 1, Animation(1, 0, false, 36), 36, 9, 0, 90.0, ""},
        {"still, last step", 1, Animation(1, 0, false, 36), 36, 35, 0, 350.0, ""},
        {"animation: every frame", 30, Animation(1, 0, false, 36), 30, 29, 29, 0.0, ""},
        {"a range", 30, Animation(5, 7, false, 36), 3, 2, 6, 0.0, ""},
        {"turntable: frames play on", 5, Animation(2, 4, true, 7), 7, 4, 2, sevenths, ""},
        {"one pose held", 5, Animation(3, 3, true, 4), 4, 3, 2, 270.0, ""},
        {"past the end", 3, Animation(2, 9, false, 36), 0, 0, 0, 0, "frames 2-9 asked for, but m.vox has 3 frames"},
        {"still, frame 2", 1, Animation(2, 2, true, 36), 0, 0, 0, 0, "frames 2-2 asked for, but m.vox has 1 frame"},
    };
    for (const auto& row : rows) {
        AnimationPlan plan;
        std::string error;
        EXPECT_EQ(PlanAnimation(row.options, row.count, plan, error), *row.error == '\0') << row.name;
        EXPECT_EQ(error, row.error) << row.name;
        if (!error.empty()) continue;
        EXPECT_EQ(plan.pictures, row.pictures) << row.name;
        EXPECT_EQ(MomentOf(plan, row.k).frame, row.frame) << row.name;
        EXPECT_EQ(MomentOf(plan, row.k).angle, row.angle) << row.name;
    }
}

TEST(Animate, NamesChooseTheFormat) {
    constexpr int kNone = -1, kApng = int(AnimationFormat::Apng), kGif = int(AnimationFormat::Gif);
    const std::pair<const char*, int> rows[] = {
        {"a.png", kApng}, {"A.PNG", kApng}, {"a.apng", kApng}, {"-", kApng}, {"dir.gif/a.GiF", kGif},
        {"a.jpg", kNone}, {"png", kNone},   {"a.png.txt", kNone}, {"", kNone}, {"--", kNone},
    };
    for (const auto& [name, expected] : rows) {
        AnimationFormat format = expected == kApng ? AnimationFormat::Gif : AnimationFormat::Apng;
        const bool known = AnimationFormatOf(name, format);
        EXPECT_EQ(known ? int(format) : kNone, expected) << name;
    }
}

TEST(Sheet, RowsAreDirectionsColumnsFramesAndTheJsonSaysSo) {
    Options o = Animation(2, 4, false, 36);
    o.width = 32, o.height = 48, o.directions = 3, o.fps = 12, o.view = ViewName::Iso;
    SheetLayout layout;
    std::string error;
    ASSERT_TRUE(PlanSheet(o, 6, layout, error)) << error;
    const auto json = nlohmann::json::parse(SheetJson(layout, "s\xff.png"));
    EXPECT_EQ(json, nlohmann::json::parse(R"({"image": "s\ufffd.png", "cell_width": 32, "cell_height": 48,
        "rows": 3, "columns": 3, "angles": [0, 120, 240], "frames": [2, 3, 4], "fps": 12, "view": "iso"})"));

    // 5 rows of 8192: more than a sheet may be; 4 of 8191 fit.
    o.width = o.height = 8192, o.directions = 5;
    EXPECT_FALSE(PlanSheet(o, 6, layout, error));
    EXPECT_EQ(error, "a sheet of 3 x 5 cells of 8192x8192 would be 24576x40960 pixels, over 32767 a side; "
                     "use a smaller --size or fewer --frames");
    o.width = o.height = 8191, o.directions = 4;
    EXPECT_TRUE(PlanSheet(o, 6, layout, error)) << error;
    EXPECT_FALSE(PlanSheet(o, 3, layout, error)) << "frame 4 of 3";

    const std::pair<const char*, const char*> paths[] = {
        {"a.png", "a.json"}, {"d.png/s.PNG", "d.png/s.json"}, {"sheet", "sheet.json"}, {"a.gif", "a.gif.json"}};
    for (const auto& [picture, json] : paths) EXPECT_EQ(SheetJsonPath(picture), json) << picture;
}

}  // namespace
