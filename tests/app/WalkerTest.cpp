#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "app/Walker.h"

namespace {

// A clock the test moves by hand; every read gives the current time.
struct ManualClock {
    double now = 0;
    Clock clock() {
        return [this] { return now; };
    }
};

// The pure part of one iteration, in loop order.
void Iterate(WalkerState& walker, const Clock& clock) {
    AdvanceClocks(walker, clock);
    BuildWalkerTransform(walker);
    StepWalker(walker);
    CountFrame(walker, clock);
}

}  // namespace

TEST(WalkerClocks, TimeStepUsesOneReadingAndPreviousTimeAFreshOne) {
    std::vector<double> readings = {10.25, 10.5};
    size_t next = 0;
    const Clock clock = [&] { return readings[next++]; };
    WalkerState walker;
    ResetWalker(walker, 10.0);
    AdvanceClocks(walker, clock);
    EXPECT_DOUBLE_EQ(walker.deltaTime, 0.25);
    EXPECT_DOUBLE_EQ(walker.previousTime, 10.5);
    EXPECT_DOUBLE_EQ(walker.headingClock, 7.5);
    EXPECT_DOUBLE_EQ(walker.animClock, 8.5);
    EXPECT_EQ(walker.frameIndex, 8);
}

TEST(WalkerClocks, FirstFrameShowsOneFrameAndLaterRefreshesCountSinceTheLast) {
    // 1/64 s steps are exact in binary, so the refresh frames are known:
    // frame 1 refreshes (nextFpsTime starts at 0), the next refresh is the
    // first frame whose time exceeds 1 + 1/64, frame 66.
    ManualClock t;
    WalkerState walker;
    ResetWalker(walker, 0.0);
    EXPECT_EQ(walker.fpsText, "");
    std::vector<std::pair<int, std::string>> refreshes;
    for (int frame = 1; frame <= 140; ++frame) {
        t.now = frame / 64.0;
        Iterate(walker, t.clock());
        if (walker.framesCounted == 0) {
            refreshes.emplace_back(frame, walker.fpsText);
        }
    }
    EXPECT_EQ(refreshes, (std::vector<std::pair<int, std::string>>{
                             {1, "FPS = 1"}, {66, "FPS = 65"}, {131, "FPS = 65"}}));
    EXPECT_DOUBLE_EQ(walker.nextFpsTime, 131 / 64.0 + 1.0);
}

TEST(WalkerClocks, LongStepSetsAnimationBackToFrameOne) {
    ManualClock t{100.0};
    WalkerState walker;
    ResetWalker(walker, 100.0);
    walker.animClock = 5.0;
    t.now = 102.0;  // a 2-second stall: 5 + 60 frames
    AdvanceClocks(walker, t.clock());
    EXPECT_EQ(walker.animClock, 1.0);  // exactly, the excess is dropped
    EXPECT_EQ(walker.frameIndex, 1);
    EXPECT_DOUBLE_EQ(walker.headingClock, 60.0);
}

TEST(WalkerClocks, FrameNumbersRunThroughTheCycleAndWrap) {
    // 1.02 animation frames per step: 2, 3, ..., 30, then back to 1.
    ManualClock t;
    WalkerState walker;
    ResetWalker(walker, 0.0);
    std::vector<int32_t> frames;
    for (int step = 1; step <= 31; ++step) {
        t.now = step * 0.034;
        AdvanceClocks(walker, t.clock());
        frames.push_back(walker.frameIndex);
    }
    std::vector<int32_t> expected;
    for (int32_t n = 2; n <= 30; ++n) expected.push_back(n);
    expected.push_back(1);
    expected.push_back(2);
    EXPECT_EQ(frames, expected);
}

TEST(WalkerClocks, FrameIndexStaysInTheCycleWhateverTheSteps) {
    ManualClock t;
    WalkerState walker;
    ResetWalker(walker, 0.0);
    // Uneven steps, a few of them long, and one clock that runs backwards.
    const double steps[] = {0.001, 0.0333, 0.5, 0.9999, 0.017, 1.0 / 30, 3.0, -0.5, 0.2, 1e9};
    for (int round = 0; round < 50; ++round) {
        for (double step : steps) {
            t.now += step;
            AdvanceClocks(walker, t.clock());
            ASSERT_GE(walker.frameIndex, 1);
            ASSERT_LE(walker.frameIndex, 30);
            ASSERT_GE(walker.animClock, 1.0);
            ASSERT_LT(walker.animClock, 31.0);
        }
    }
}

TEST(WalkerMotion, StepsAlongItsHeading) {
    ManualClock t;
    WalkerState walker;
    ResetWalker(walker, 0.0);
    walker.walkerPosition = Vector3(10.0f, 0.0f, 5.0f);
    walker.headingClock = 89.0;  // + 30 degrees/s * 0.05 s = 90.5
    t.now = 0.05;
    AdvanceClocks(walker, t.clock());
    BuildWalkerTransform(walker);
    EXPECT_EQ(walker.headingDegrees, 90);
    // Turned about its own origin, then moved to the position of this frame.
    const Vector4 origin = column(walker.modelMatrix, 3);
    EXPECT_FLOAT_EQ(origin.x, 10.0f);
    EXPECT_FLOAT_EQ(origin.y, 0.0f);
    EXPECT_FLOAT_EQ(origin.z, 5.0f);
    StepWalker(walker);
    // Heading 90: the walker's x axis points along -z; 140 * 0.05 = 7 units.
    EXPECT_NEAR(walker.walkerPosition.x, 10.0f, 1e-5f);
    EXPECT_EQ(walker.walkerPosition.y, 0.0f);
    EXPECT_NEAR(walker.walkerPosition.z, -2.0f, 1e-5f);
}

TEST(WalkerMotion, ReturnsNearItsStartAfterTwelveSeconds) {
    ManualClock t;
    WalkerState walker;
    ResetWalker(walker, 0.0);
    float farthest = 0;
    for (int frame = 1; frame <= 12 * 60; ++frame) {
        t.now = frame / 60.0;
        Iterate(walker, t.clock());
        ASSERT_EQ(walker.walkerPosition.y, 0.0f);
        farthest = std::max(farthest, length(walker.walkerPosition));
    }
    EXPECT_NEAR(walker.headingClock, 360.0, 1e-6);
    // A circle of radius 140 / (pi / 6) = 267 units: across it and back.
    EXPECT_NEAR(farthest, 2 * 140.0 / (M_PI / 6), 5.0);
    EXPECT_LT(length(walker.walkerPosition), 5.0f);
}

TEST(WalkerMotion, HeadingPastTheInt32RangeStaysAWholeAngle) {
    ManualClock t;
    WalkerState walker;
    ResetWalker(walker, 0.0);
    t.now = 1e12;  // a stall longer than any run: 3e13 degrees of heading
    AdvanceClocks(walker, t.clock());
    BuildWalkerTransform(walker);
    EXPECT_GE(walker.headingDegrees, 0);
    EXPECT_LT(walker.headingDegrees, 360);
    EXPECT_EQ(walker.frameIndex, 1);
}

TEST(Hud, LinesAreCentredFivePixelsPerCharacterBelowTheTop) {
    EXPECT_EQ(HudTextX(512, "FPS = 60"), 472);
    EXPECT_EQ(HudFpsY(768), 752);
    const std::string anim = AnimationText(12);
    EXPECT_EQ(anim, "Animation frame #12");
    EXPECT_EQ(HudTextX(512, anim), 417);
    EXPECT_EQ(HudAnimY(768), 736);
    EXPECT_EQ(HudTextX(512, ""), 512);
}
