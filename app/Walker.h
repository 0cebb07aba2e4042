// The walker's clocks and motion: everything one frame of the loop computes
// without GL, driven by an injectable clock so tests can choose the time
// steps.
//
// One iteration calls, in this order: AdvanceClocks, BuildWalkerTransform,
// (the scene is drawn), StepWalker, CountFrame, (the HUD is drawn).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "math/Matrix4.h"
#include "math/Vector.h"

// Seconds as a double from a monotonic source. The program uses
// SteadyClockSeconds; tests hand in scripted readings.
using Clock = std::function<double()>;

// std::chrono::steady_clock in seconds (sub-microsecond resolution).
double SteadyClockSeconds();

constexpr double animationRate = 30.0;  // animation frames per second
constexpr double turnRate = 30.0;       // heading degrees per second
constexpr double walkSpeed = 140.0;     // world units per second
constexpr double fpsInterval = 1.0;     // seconds between "FPS = " refreshes
constexpr int32_t frameSleepMs = 3;     // sleep after drawing, before presenting

struct WalkerState {
    double previousTime = 0;    // clock reading of the previous time step
    double deltaTime = 0;       // seconds since the previous frame
    double headingClock = 0;    // degrees; never wrapped
    double animClock = 1.0;     // animation frames, in [1, 31) when drawn
    double nextFpsTime = 0;     // clock time of the next fpsText refresh
    int32_t framesCounted = 0;  // frames since the last refresh
    std::string fpsText;        // "FPS = " and the last count; empty at first
    Vector3 walkerPosition;     // on the ground; also the camera target

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

// Counts the frame and, when a fresh clock reading has passed nextFpsTime,
// refreshes fpsText with the count and starts counting again.
void CountFrame(WalkerState& walker, const Clock& clock);

// "Animation frame #" followed by the frame number.
std::string AnimationText(int32_t frameIndex);

// Left edge of a HUD line: 5 pixels per character left of the centre.
int32_t HudTextX(int32_t halfWidth, std::string_view text);
// Lower edges of the two HUD lines, 16 and 32 pixels below the top edge.
int32_t HudFpsY(int32_t height);
int32_t HudAnimY(int32_t height);
