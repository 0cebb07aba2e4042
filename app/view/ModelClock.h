// The model viewer's clock: which frame is shown and where the model stands,
// for the window and for pictures alike. No GL.
//
// How a model moves depends on what it is: an animation of separate models
// (a folder, a PACK file, shape keys) walks the circle as the walk's
// character does; a scene whose keyframes move its nodes plays in place, so
// its own motion is what is seen; a still model turns on the spot.
#pragma once

#include <cstdint>

#include "math/Matrix4.h"
#include "math/Vector.h"

enum class Motion { Turn, Walk, InPlace };

// The motion of a model of `frameCount` frames, ownMotion as LoadedModel says.
Motion MotionOf(int32_t frameCount, bool ownMotion);

constexpr double speedMin = 0.125, speedMax = 8.0;  // +/- keys, x2 per press

struct ModelClock {
    double animClock = 0;  // frames from 0, in [0, frameCount)
    double heading = 0;    // degrees, never wrapped
    Vector3 position;      // walker position on the ground, world units
    double speed = 1.0;    // factor on every rate
    bool paused = false;
    double turn = 0;  // degrees about the vertical through the model's middle (--angle), on top of heading
};

// One time step of `seconds` (real time; speed and pause applied here).
// Wraps the animation over frameCount frames and moves as `motion` says.
void AdvanceModelClock(ModelClock& clock, double seconds, int32_t frameCount, Motion motion, float scale);

// The clock `seconds` after the start, unpaused at speed 1: the same circle
// as stepping AdvanceModelClock, in closed form.
ModelClock ModelClockAt(double seconds, int32_t frameCount, Motion motion, float scale);

// Steps the frame by `delta` (wrapping), leaving the rest of the clock alone.
void StepModelFrame(ModelClock& clock, int32_t delta, int32_t frameCount);

// The frame shown, 0..frameCount-1.
int32_t ModelFrameIndex(const ModelClock& clock, int32_t frameCount);

// Doubles or halves the speed within speedMin..speedMax.
void ChangeSpeed(ModelClock& clock, bool faster);

// Model matrix: translation to the clock's position, heading about y, a lift
// of half a voxel so the lowest cubes stand on the ground, and the clock's
// turn about the vertical through `middle` (x, z in the model's cells).
Matrix4 ModelMatrix(const ModelClock& clock, Vector2 middle = {});
