// The walker's clocks and motion on scripted clock readings; the HUD layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <tuple>

#include "app/stage/Hud.h"
#include "app/walk/Walker.h"

namespace {

// One iteration from a given state: the clock reads `reading` for the time
// step, then `fresh` for previousTime. `want`: animClock, headingClock,
// frameIndex, headingDegrees, and the position after the step of
// walkSpeed * deltaTime along (cos h, 0, -sin h).
const struct Step {
    const char* name;
    double previousTime, animClock, headingClock, x, z, reading, fresh, want[6];
} kSteps[] = {
    {"QuarterSecond", 10.0, 1.0, 0.0, 0, 0, 10.25, 10.5, {8.5, 7.5, 8, 7, 34.73911, -4.26543}},
    {"HeadingNinety", 0.0, 1.0, 89.0, 10, 5, 0.05, 0.05, {2.5, 90.5, 2, 90, 10, -2}},
    {"LastFrame", 0.0, 29.0625, 0.0, 0, 0, 1 / 32.0, 1.0, {30.0, 0.9375, 30, 0, 4.375, 0}},
    {"PastLastFrame", 0.0, 30.0625, 0.0, 0, 0, 1 / 32.0, 1.0, {1.0, 0.9375, 1, 0, 4.375, 0}},
    {"StallDropsTheExcess", 100.0, 5.0, 0.0, 0, 0, 102.0, 102.0, {1.0, 60.0, 1, 60, 140, -242.48711}},
    {"ClockRunsBackwards", 10.0, 1.0, 0.0, 0, 0, 9.5, 9.5, {1.0, -15.0, 1, -15, -67.61481, -18.11733}},
    {"HeadingBeyondInt32", 0.0, 1.0, 0.0, 0, 0, 1e12, 1e12, {1.0, 3e13, 1, 120, -7e13, -1.2124356e14}},
};

TEST(WalkerStep, AdvancesTurnsAndMoves) {
    for (const Step& s : kSteps) {
        SCOPED_TRACE(s.name);
        size_t next = 0;
        WalkerState w;
        ResetWalker(w, s.previousTime);
        w.animClock = s.animClock, w.headingClock = s.headingClock;
        w.walkerPosition = Vector3(float(s.x), 0.0f, float(s.z));
        AdvanceClocks(w, [&] { return std::array{s.reading, s.fresh}.at(next++); });
        EXPECT_EQ(w.previousTime, s.fresh);
        BuildWalkerTransform(w);
        // Turned about its own origin, then moved to the position of this frame.
        const Vector4 origin = column(w.modelMatrix, 3);
        EXPECT_TRUE(origin.x == float(s.x) && origin.y == 0.0f && origin.z == float(s.z));
        StepWalker(w);
        EXPECT_EQ(w.walkerPosition.y, 0.0f);
        const double got[6] = {w.animClock,        w.headingClock,    double(w.frameIndex), double(w.headingDegrees),
                               w.walkerPosition.x, w.walkerPosition.z};
        for (int i = 0; i < 6; ++i) EXPECT_NEAR(got[i], s.want[i], 1e-4 * std::max(1.0, std::abs(s.want[i]))) << i;
    }
}

TEST(WalkerClocks, FirstFrameShowsOneFrameLaterRefreshesCountSinceTheLastAndTheHudShowsThem) {
    // 1/64 s steps are exact in binary: frame 1 refreshes (nextFpsTime
    // starts at 0), then the first frame past 1 + 1/64 s, and so on.
    double now = 0;
    const Clock clock = [&] { return now; };
    WalkerState w;
    ResetWalker(w, 0.0);
    std::string refreshes;  // frame: text of each refresh
    for (int frame = 1; frame <= 140; ++frame) {
        now = frame / 64.0;
        AdvanceClocks(w, clock);
        CountFrame(w.fps, clock);
        if (w.fps.framesCounted == 0) refreshes += std::to_string(frame) + ": " + w.fps.fpsText + "; ";
    }
    EXPECT_EQ(refreshes, "1: FPS = 1; 66: FPS = 65; 131: FPS = 65; ");
    EXPECT_EQ(w.fps.nextFpsTime, 131 / 64.0 + 1.0);
    // The HUD's lines are centred, five pixels a character, below the top.
    EXPECT_EQ(std::tuple(AnimationText(12), HudTextX(512, "Animation frame #12"), HudTextX(512, ""), HudFpsY(768),
                         HudAnimY(768)),
              std::tuple("Animation frame #12", 417, 512, 752, 736));
}

}  // namespace
