// What --animate and --sheet decide before rendering, where the end-to-end
// run (tests/app/anim_e2e.py, every picture against its --snapshot) does not
// reach: turntable angles to the last bit, held poses, the formats names ask
// for, the largest sheet, and where its JSON goes.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "app/view/Animate.h"

namespace {

TEST(Animate, TurnsInEqualStepsAsAngleReadsThemAndHoldsOnePose) {
    // Step 4 of 7 is the double --angle reads from 360 * 4 / 7 written out.
    double sevenths = 0;
    ASSERT_TRUE(ParseDecimal("205.71428571428572", false, 0, 360, sevenths));
    const struct {
        int32_t count, first, last, steps, pictures, k, frame;
        double angle;
    } rows[] = {
        {5, 2, 4, 7, 7, 4, 2, sevenths},  // frames 2-4 play on while it turns
        {5, 3, 3, 4, 4, 3, 2, 270.0},     // one pose held
        {30, 5, 7, 0, 3, 2, 6, 0.0},      // no turntable: the range once
    };
    for (const auto& row : rows) {
        Options o;
        o.firstFrame = row.first, o.lastFrame = row.last, o.turntable = row.steps > 0, o.turntableSteps = row.steps;
        AnimationPlan plan;
        std::string error;
        ASSERT_TRUE(PlanAnimation(o, row.count, plan, error)) << error;
        EXPECT_EQ(plan.pictures, row.pictures);
        EXPECT_EQ(MomentOf(plan, row.k).frame, row.frame);
        EXPECT_EQ(MomentOf(plan, row.k).angle, row.angle);
    }
}

TEST(Animate, NamesChooseTheFormatAndTheSheetsJson) {
    constexpr int kNone = -1, kApng = int(AnimationFormat::Apng), kGif = int(AnimationFormat::Gif);
    const std::pair<const char*, int> formats[] = {
        {"A.PNG", kApng}, {"a.apng", kApng},    {"-", kApng}, {"dir.gif/a.GiF", kGif},
        {"png", kNone},   {"a.png.txt", kNone}, {"", kNone},  {"--", kNone},
    };
    for (const auto& [name, expected] : formats) {
        AnimationFormat format = expected == kApng ? AnimationFormat::Gif : AnimationFormat::Apng;
        const bool known = AnimationFormatOf(name, format);
        EXPECT_EQ(known ? int(format) : kNone, expected) << name;
    }
    const std::pair<const char*, const char*> paths[] = {
        {"d.png/s.PNG", "d.png/s.json"}, {"sheet", "sheet.json"}, {"a.gif", "a.gif.json"}};
    for (const auto& [picture, json] : paths) EXPECT_EQ(SheetJsonPath(picture), json) << picture;
}

TEST(Sheet, TakesUpTo32767PixelsASideAndNamesItsPictureInUtf8) {
    Options o;
    o.width = o.height = 8191, o.directions = 4, o.firstFrame = 2, o.lastFrame = 5;
    SheetLayout layout;
    std::string error;
    EXPECT_TRUE(PlanSheet(o, 6, layout, error)) << error;
    o.height = 8192;
    EXPECT_FALSE(PlanSheet(o, 6, layout, error));
    // A file name that is not UTF-8 is written with the replacement character, not refused.
    EXPECT_EQ(nlohmann::json::parse(SheetJson(layout, "s\xff.png"))["image"], "s\xef\xbf\xbd.png");
}

}  // namespace
