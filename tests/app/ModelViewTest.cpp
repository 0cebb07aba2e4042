// The model viewer's arithmetic: framing, clocks, frame steps, orbit and views, the model matrix, screenshot names.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "app/view/Camera.h"
#include "app/view/ModelClock.h"
#include "app/view/ModelWindow.h"

namespace {

TEST(ModelClock, WalksTheCircleTurnsStillModelsPausesScalesStepsFramesAndMovesTheModel) {
    // 2.5 s at 30 degrees/s is heading 75; at 140 units/s the circle's radius
    // is 140 / (pi / 6) = 267.38: the walker is at (r sin 75, 0, r (cos 75 - 1)).
    ModelClock fast;
    ChangeSpeed(fast, true);
    struct {
        const char* name;
        ModelClock clock;
        int32_t frames;
        double heading, frame;
        Vector3 at;
        float tolerance;
    } rows[] = {
        {"stepped", {}, 30, 75, 15, {258.27f, 0, -198.18f}, 1.5f},
        {"closed form at scale 2", ModelClockAt(2.5, 30, Motion::Walk, 2.0f), 0, 75, 15, {516.54f, 0, -396.36f}, 0.05f},
        {"closed form, in place", ModelClockAt(2.5, 30, Motion::InPlace, 2.0f), 0, 0, 15, {0, 0, 0}, 0},
        {"still", {}, 1, 75, 0, {0, 0, 0}, 0},
        {"keyframed: in place, not turning", {}, -30, 0, 15, {0, 0, 0}, 0},
        {"paused", {0, 0, {}, 1, true}, 30, 0, 0, {0, 0, 0}, 0},
        {"speed x2", fast, 30, 150, 0, {0, 0, 0}, 1000},  // 150 frames of 30: frame 0 again
    };
    for (auto& row : rows) {
        // A negative count stands for a file whose keyframes move it.
        const int32_t frames = std::abs(row.frames);
        for (int i = 0; i < 250 && frames > 0; ++i)
            AdvanceModelClock(row.clock, 0.01, frames, MotionOf(frames, row.frames < 0), 1.0f);
        EXPECT_NEAR(row.clock.heading, row.heading, 1e-6) << row.name;
        EXPECT_NEAR(row.clock.animClock, row.frame, 1e-6) << row.name;
        EXPECT_LE(distance(row.clock.position, row.at), row.tolerance) << row.name;
    }

    // Frame steps wrap, the speed stays in range.
    const struct {
        double from;
        int32_t delta, count, to;
    } steps[] = {
        {0.0, -1, 3, 2}, {2.7, 1, 3, 0}, {1.2, 1, 3, 2}, {0.0, 1, 1, 0}, {5.0, -7, 6, 4},
    };
    for (const auto& row : steps) {
        ModelClock clock{row.from, 0, {}, 1, false};
        StepModelFrame(clock, row.delta, row.count);
        EXPECT_EQ(ModelFrameIndex(clock, row.count), row.to) << row.from << " + " << row.delta;
    }
    ModelClock fastest, slowest;
    for (int i = 0; i < 20; ++i) ChangeSpeed(fastest, true), ChangeSpeed(slowest, false);
    EXPECT_TRUE(fastest.speed == 8.0 && slowest.speed == 0.125) << fastest.speed << ", " << slowest.speed;
    // The model matrix moves, turns (heading 450 = 90 degrees: +x turns to -z) and lifts half a voxel.
    const ModelClock turned{0, 450, {1, 2, 3}, 1, false};
    EXPECT_LE(distance(Vector3(Vector3(1.0f, 0.0f, 0.0f) * ModelMatrix(turned)), Vector3(1.0f, 2.5f, 2.0f)), 1e-5f);
    // The clock's turn (--angle) is about the vertical through the middle given, on top of the heading: the
    // middle stays put and a step along +x turns to -z, then to -x with the heading's 90. A whole turn, or
    // none, is the matrix without one, bit for bit.
    ModelClock spun;
    spun.turn = 90;
    const Vector2 middle(0.5f, -0.5f);
    const struct {
        double heading;
        Vector3 from, to;
    } turns[] = {{0, {0.5f, 0, -0.5f}, {0.5f, 0.5f, -0.5f}},
                 {0, {1.5f, 0, -0.5f}, {0.5f, 0.5f, -1.5f}},
                 {90, {1.5f, 0, -0.5f}, {-1.5f, 0.5f, -0.5f}}};
    for (const auto& row : turns) {
        spun.heading = row.heading;
        EXPECT_LE(distance(Vector3(row.from * ModelMatrix(spun, middle)), row.to), 1e-5f) << row.heading;
    }
    spun.heading = 0;
    for (const double whole : {0.0, 360.0, -720.0}) {
        spun.turn = whole;
        const Matrix4 a = ModelMatrix(spun, middle), b = ModelMatrix(ModelClock{});
        EXPECT_TRUE(std::equal(a.m, a.m + 16, b.m)) << whole;
    }
}

TEST(Framing, SceneScaleFromTheBoxRadiusAndEachViewsEyeAtTheScaledDistance) {
    // Cube extents 32 x 96 x 48: radius 56; 16 x 64 x 128: radius 72; one voxel: sqrt(3) / 2.
    const struct {
        VoxelBounds box;
        float aspect, scale;
    } scales[] = {
        {{-16, 15, 0, 95, -24, 23}, 4.0f / 3.0f, 0.56f},
        {{-16, 15, 0, 95, -24, 23}, 1.0f, 0.56f},
        {{-8, 7, 0, 63, -64, 63}, 0.5f, 1.44f},
        {{0, 0, 0, 0, 0, 0}, 2.0f, 0.00866025f},
    };
    for (const auto& row : scales) EXPECT_NEAR(SceneScale(row.box, row.aspect), row.scale, 1e-5f);
    // Box height 10: the middle is 5. The walk's eye offset (-150, 250, 150)
    // is 327.87 long; at scale 2 that is 655.74. Drags turn and clamp the orbit.
    const ModelClock walked{0, 0, {10, 0, 20}, 1, false};
    Orbit turned, zoomed, low;
    DragOrbit(turned, -225.0, 0.0);  // 90 degrees
    ZoomOrbit(zoomed, 6.58);         // 0.9^6.58 = 0.5
    DragOrbit(low, 0.0, -1000.0);    // pitch clamped to -45: 49.69 - 45 = 4.69 degrees up
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
        {"window, zoomed", ViewName::Window, zoomed, {}, {-150, 255, 150}, {0, 5, 0}, {0, 1, 0}},
        {"window, low", ViewName::Window, low, {}, {-462.13f, 58.6f, 462.13f}, {0, 5, 0}, {0, 1, 0}},
        {"front", ViewName::Front, {}, walked, {665.74f, 5, 20}, {10, 5, 20}, {0, 1, 0}},
        {"side", ViewName::Side, {}, {}, {0, 5, 655.74f}, {0, 5, 0}, {0, 1, 0}},
        {"top", ViewName::Top, {}, {}, {0, 660.74f, 0}, {0, 5, 0}, {-1, 0, 0}},
        {"iso", ViewName::Iso, {}, {}, {378.59f, 383.59f, 378.59f}, {0, 5, 0}, {0, 1, 0}},
    };
    for (const auto& row : rows) {
        const Stage stage = MakeStage(row.view, row.orbit, row.clock, VoxelBounds{-3, 3, 0, 9, -3, 3}, 2.0f);
        EXPECT_LE(distance(stage.eye, row.eye), 0.1f) << row.name;
        EXPECT_LE(distance(stage.target, row.target), 1e-4f) << row.name;
        EXPECT_LE(distance(stage.up, row.up), 0) << row.name;
    }
}

TEST(Framing, NoViewClipsTheGroundWithTheNearPlane) {
    // A plate 200 x 1 x 200 seen from the side: the eye is half a voxel up, so
    // the ground at the bottom of the picture is 0.5 / tan 30 = 0.87 ahead,
    // nearer than the scene's usual near plane (1.41).
    const VoxelBounds plate{-100, 99, 0, 0, -100, 99};
    const float aspect = 4.0f / 3.0f, scale = SceneScale(plate, aspect);
    for (ViewName view : {ViewName::Side, ViewName::Front, ViewName::Iso, ViewName::Top, ViewName::Window}) {
        const Stage stage = MakeStage(view, Orbit{}, ModelClock{}, plate, scale);
        Matrix4 camera(0.0f);
        setLookAt(camera, stage.eye, stage.target, stage.up);
        const Matrix4 project = ModelProjection(aspect, stage);
        // The ground under the bottom corners and the bottom middle of the picture.
        for (float across : {-1.0f, 0.0f, 1.0f}) {
            Vector3 forward = stage.target - stage.eye, right;
            normalize(forward);
            right = cross(forward, stage.up);
            normalize(right);
            const Vector3 up = cross(right, forward);
            const Vector3 ray = forward + right * (across * 0.57735f * aspect) + up * -0.57735f;
            if (ray.y >= 0.0f) continue;
            const Vector3 ground = stage.eye + ray * (stage.eye.y / -ray.y * 0.999f);
            const Vector4 eye = ground * camera, clip = Vector4(eye.x, eye.y, eye.z, 1.0f) * project;
            EXPECT_GE(clip.z, -clip.w) << int(view) << ", " << across;
        }
    }
}

TEST(ScreenshotPath, NextToTheModelWithTheFirstFreeNumber) {
    const struct {
        const char* model;
        const char* shot;
    } rows[] = {
        {"dir/model.vox", "dir/model-3.png"}, {"walk/", "walk-2.png"},
        {"/abs/w.VOX", "/abs/w-1.png"},       {"a.b/c", "a.b/c-1.png"},
        {".hidden", ".hidden-1.png"},
    };
    const auto exists = [](const std::string& path) {
        return path == "dir/model-1.png" || path == "dir/model-2.png" || path == "walk-1.png";
    };
    for (const auto& row : rows) EXPECT_EQ(ScreenshotPath(row.model, exists), row.shot) << row.model;
}

}  // namespace
