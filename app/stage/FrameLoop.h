// The one frame loop both programs run: a clock, the once-a-second frame
// counter of the HUD, and drawing until Escape.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Seconds as a double from a monotonic source. The programs use
// SteadyClockSeconds; tests hand in scripted readings.
using Clock = std::function<double()>;

// std::chrono::steady_clock in seconds (sub-microsecond resolution).
double SteadyClockSeconds();

constexpr double fpsInterval = 1.0;  // seconds between "FPS = " refreshes
constexpr int32_t frameSleepMs = 3;  // sleep after drawing, before presenting

// The frame counter behind the HUD's "FPS = " line.
struct FpsCounter {
    double nextFpsTime = 0;     // clock time of the next fpsText refresh
    int32_t framesCounted = 0;  // frames since the last refresh
    std::string fpsText;        // "FPS = " and the last count; empty at first
};

// Counts the frame and, when a fresh clock reading has passed nextFpsTime,
// refreshes fpsText with the count and starts counting again.
void CountFrame(FpsCounter& counter, const Clock& clock);

// Calls drawFrame, sleeps frameSleepMs and presents the window, until
// Escape is held after a presented frame, so at least one frame is always
// drawn. The window layer also reports a close request of the window system
// (or a lost window) as Escape.
void RunUntilEscape(const std::function<void()>& drawFrame);
