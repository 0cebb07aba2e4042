#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/ModelView.h"
#include "app/ModelViewer.h"

namespace {

VoxelBounds Box(int32_t minX, int32_t maxX, int32_t maxY, int32_t minZ, int32_t maxZ) {
    VoxelBounds b;
    b.minX = minX, b.maxX = maxX, b.maxY = maxY, b.minZ = minZ, b.maxZ = maxZ;
    return b;
}

void ExpectNear(const Vector3& got, float x, float y, float z, float tolerance, const char* what) {
    EXPECT_NEAR(got.x, x, tolerance) << what;
    EXPECT_NEAR(got.y, y, tolerance) << what;
    EXPECT_NEAR(got.z, z, tolerance) << what;
}

TEST(SceneScale, BoxRadiusOverTheFramedRadiusWiderForTallPictures) {
    const struct {
        VoxelBounds box;  // cube extents 32 x 96 x 48: radius 56; 16 x 64 x 128: radius 72
        float aspect, scale;
    } rows[] = {
        {Box(-16, 15, 95, -24, 23), 4.0f / 3.0f, 0.56f},
        {Box(-16, 15, 95, -24, 23), 2.0f, 0.56f},
        {Box(-16, 15, 95, -24, 23), 1.0f, 0.56f},
        {Box(-8, 7, 63, -64, 63), 4.0f / 3.0f, 0.72f},
        {Box(-8, 7, 63, -64, 63), 0.5f, 1.44f},
        {Box(0, 0, 0, 0, 0), 1.0f, 0.00866025f},  // one voxel: radius sqrt(3) / 2
    };
    for (const auto& row : rows) {
        EXPECT_NEAR(SceneScale(row.box, row.aspect), row.scale, 1e-5f) << row.aspect;
    }
}

TEST(ModelClock, AnimationWalksTheWalkersCircle) {
    // 2.5 s at 30 degrees/s: heading 75; at 140 units/s the circle's radius
    // is 140 / (pi / 6) = 267.38, so the walker is at (r sin 75, 0, r (cos 75 - 1)).
    ModelClock stepped;
    for (int i = 0; i < 250; ++i) AdvanceModelClock(stepped, 0.01, 30, 1.0f);
    EXPECT_NEAR(stepped.heading, 75.0, 1e-9);
    EXPECT_NEAR(stepped.animClock, 15.0, 1e-6);
    ExpectNear(stepped.position, 258.27f, 0.0f, -198.18f, 1.5f, "stepped");

    const ModelClock exact = ModelClockAt(2.5, 30, 2.0f);
    EXPECT_DOUBLE_EQ(exact.heading, 75.0);
    EXPECT_NEAR(exact.animClock, 15.0, 1e-9);
    ExpectNear(exact.position, 516.54f, 0.0f, -396.36f, 0.05f, "closed form, scale 2");

    // 100 s later the animation has wrapped: 3000 frames of 30 is frame 0 again.
    EXPECT_EQ(ModelFrameIndex(ModelClockAt(100.0, 30, 1.0f), 30), 0);
    EXPECT_EQ(ModelFrameIndex(ModelClockAt(100.5, 30, 1.0f), 30), 15);
}

TEST(ModelClock, StillModelTurnsOnTheSpot) {
    ModelClock clock;
    AdvanceModelClock(clock, 2.0, 1, 3.0f);
    EXPECT_DOUBLE_EQ(clock.heading, 60.0);
    EXPECT_EQ(clock.animClock, 0.0);
    ExpectNear(clock.position, 0, 0, 0, 0, "still");
    ExpectNear(ModelClockAt(7.0, 1, 3.0f).position, 0, 0, 0, 0, "still at 7 s");
}

TEST(ModelClock, PauseStopsAndSpeedScalesEveryRate) {
    ModelClock clock;
    clock.paused = true;
    AdvanceModelClock(clock, 1.0, 30, 1.0f);
    EXPECT_EQ(clock.heading, 0.0);
    EXPECT_EQ(clock.animClock, 0.0);
    clock.paused = false;
    ChangeSpeed(clock, true);
    AdvanceModelClock(clock, 0.25, 30, 1.0f);
    EXPECT_DOUBLE_EQ(clock.heading, 15.0);
    EXPECT_DOUBLE_EQ(clock.animClock, 15.0);
}

TEST(ModelClock, SpeedStaysBetweenAnEighthAndEight) {
    ModelClock clock;
    for (int i = 0; i < 10; ++i) ChangeSpeed(clock, true);
    EXPECT_EQ(clock.speed, 8.0);
    for (int i = 0; i < 20; ++i) ChangeSpeed(clock, false);
    EXPECT_EQ(clock.speed, 0.125);
}

TEST(ModelClock, FrameStepsWrapBothWays) {
    const struct { double from; int32_t delta, count, to; } rows[] = {
        {0.0, -1, 3, 2}, {2.7, 1, 3, 0}, {1.2, 1, 3, 2}, {0.0, 1, 1, 0}, {5.0, -7, 6, 4},
    };
    for (const auto& row : rows) {
        ModelClock clock;
        clock.animClock = row.from;
        StepModelFrame(clock, row.delta, row.count);
        EXPECT_EQ(ModelFrameIndex(clock, row.count), row.to) << row.from << " + " << row.delta;
    }
}

TEST(Orbit, DragAndWheelStayInRange) {
    Orbit orbit;
    DragOrbit(orbit, 100.0, 0.0);
    EXPECT_FLOAT_EQ(orbit.yaw, -40.0f);
    DragOrbit(orbit, 0.0, 1000.0);
    EXPECT_FLOAT_EQ(orbit.pitch, 38.0f);
    DragOrbit(orbit, 0.0, -1000.0);
    EXPECT_FLOAT_EQ(orbit.pitch, -45.0f);
    ZoomOrbit(orbit, 1.0);
    EXPECT_FLOAT_EQ(orbit.zoom, 0.9f);
    ZoomOrbit(orbit, 100.0);
    EXPECT_FLOAT_EQ(orbit.zoom, 0.2f);
    ZoomOrbit(orbit, -100.0);
    EXPECT_FLOAT_EQ(orbit.zoom, 5.0f);
}

TEST(MakeStage, EyesOfEachViewAtTheScaledDistance) {
    // Box height 10: the middle is 5. The walk's eye offset (-150, 250, 150)
    // is 327.87 long; at scale 2 that is 655.74.
    const VoxelBounds box = Box(-3, 3, 9, -3, 3);
    ModelClock walked;
    walked.position = Vector3(10.0f, 0.0f, 20.0f);
    Orbit turned;
    turned.yaw = 90.0f;
    Orbit near;
    near.zoom = 0.5f;
    const struct {
        const char* name;
        ViewName view;
        Orbit orbit;
        ModelClock clock;
        Vector3 eye, target, up;
    } rows[] = {
        {"window", ViewName::Window, {}, {}, {-300, 505, 300}, {0, 5, 0}, {0, 1, 0}},
        {"window, walked", ViewName::Window, {}, walked, {-300, 505, 300}, {10, 5, 20}, {0, 1, 0}},
        {"window, turned", ViewName::Window, turned, {}, {300, 505, 300}, {0, 5, 0}, {0, 1, 0}},
        {"window, zoomed", ViewName::Window, near, {}, {-150, 255, 150}, {0, 5, 0}, {0, 1, 0}},
        {"front", ViewName::Front, {}, walked, {665.74f, 5, 20}, {10, 5, 20}, {0, 1, 0}},
        {"side", ViewName::Side, {}, {}, {0, 5, 655.74f}, {0, 5, 0}, {0, 1, 0}},
        {"top", ViewName::Top, {}, {}, {0, 660.74f, 0}, {0, 5, 0}, {-1, 0, 0}},
        {"iso", ViewName::Iso, {}, {}, {378.59f, 383.59f, 378.59f}, {0, 5, 0}, {0, 1, 0}},
    };
    for (const auto& row : rows) {
        const Stage stage = MakeStage(row.view, row.orbit, row.clock, box, 2.0f);
        ExpectNear(stage.eye, row.eye.x, row.eye.y, row.eye.z, 0.05f, row.name);
        ExpectNear(stage.target, row.target.x, row.target.y, row.target.z, 1e-4f, row.name);
        ExpectNear(stage.up, row.up.x, row.up.y, row.up.z, 0, row.name);
        EXPECT_EQ(stage.scale, 2.0f) << row.name;
    }
}

TEST(ModelMatrix, MovesTurnsAndLiftsHalfAVoxel) {
    ModelClock clock;
    clock.position = Vector3(1.0f, 2.0f, 3.0f);
    clock.heading = 450.0;  // 90 degrees: +x turns to -z
    const Vector4 p = Vector3(1.0f, 0.0f, 0.0f) * ModelMatrix(clock);
    ExpectNear(Vector3(p), 1.0f, 2.5f, 2.0f, 1e-5f, "turned point");
}

bool Exists(const std::string& path) {
    static const std::set<std::string> taken = {"dir/model-1.png", "dir/model-2.png",
                                                "walk-1.png", "a.b/c-1.png"};
    return taken.count(path) != 0;
}

TEST(ScreenshotPath, NextToTheModelWithTheFirstFreeNumber) {
    const struct { const char* model; const char* shot; } rows[] = {
        {"dir/model.vox", "dir/model-3.png"}, {"walk/", "walk-2.png"},
        {"/abs/w.VOX", "/abs/w-1.png"},       {"a.b/c", "a.b/c-2.png"},
        {".hidden", ".hidden-1.png"},         {"dir/.vox", "dir/.vox-1.png"},
    };
    for (const auto& row : rows) EXPECT_EQ(ScreenshotPath(row.model, Exists), row.shot) << row.model;
}

}  // namespace
