// The walker's clocks and motion: everything one frame of the loop computes
// without GL, driven by an injectable clock so tests can choose the time
// steps.
//
// One iteration calls, in this order: AdvanceClocks, BuildWalkerTransform,
// (the scene is drawn), StepWalker, CountFrame, (the HUD is drawn).
#pragma once

#include <cstdint>

#include "app/stage/FrameLoop.h"
#include "math/Matrix4.h"
#include "math/Vector.h"

struct WalkerState {
    double previousTime = 0;  // clock reading of the previous time step
    double deltaTime = 0;     // seconds since the previous frame
    double headingClock = 0;  // degrees; never wrapped
    double animClock = 1.0;   // animation frames, in [1, 31) when drawn
    FpsCounter fps;           // nextFpsTime, framesCounted and fpsText
    Vector3 walkerPosition;   // on the ground; also the camera target

    // Derived once per frame.
    int32_t frameIndex = 1;      // floor(animClock), 1 to 30
    int32_t headingDegrees = 0;  // floor(headingClock)
    Matrix4 modelMatrix{0.0f};   // translation to walkerPosition, then heading
};

// Puts the state to its start values with previousTime = now, so time spent
// loading does not count as a frame.
void ResetWalker(WalkerState& walker, double now);

// Time step and clocks: deltaTime from a reading of the clock, previousTime
// from a second, fresh reading; heading and animation clocks advanced;
// animClock set back to exactly 1.0 once it passes the last frame (the excess
// is dropped); frameIndex derived.
void AdvanceClocks(WalkerState& walker, const Clock& clock);

// headingDegrees and modelMatrix from the current position and heading.
void BuildWalkerTransform(WalkerState& walker);

// Moves the walker along the x axis of its model matrix by
// walkSpeed * deltaTime; runs after the scene used the old position.
void StepWalker(WalkerState& walker);
