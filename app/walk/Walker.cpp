#include "app/walk/Walker.h"

#include <cmath>

#include "app/stage/Scene.h"
#include "app/walk/WalkFrames.h"

void ResetWalker(WalkerState& walker, double now) {
    walker = WalkerState{};
    walker.previousTime = now;
}

void AdvanceClocks(WalkerState& walker, const Clock& clock) {
    const double reading = clock();
    walker.deltaTime = reading - walker.previousTime;
    walker.previousTime = clock();

    walker.headingClock += turnRate * walker.deltaTime;
    walker.animClock += animationRate * walker.deltaTime;
    // Past the last frame the clock starts over at frame 1; the excess is
    // dropped. A clock that ran backwards (or a NaN step) is caught too, so
    // frameIndex always names one of the 30 frames.
    const double frame = std::floor(walker.animClock);
    if (!(frame >= 1.0 && frame <= walkFrameCount)) walker.animClock = 1.0;
    walker.frameIndex = static_cast<int32_t>(std::floor(walker.animClock));
}

// floor(headingClock) as a whole number of degrees. Only its sine and cosine
// matter, so a heading beyond the int32 range (years of running, or a huge
// stall) is reduced modulo 360 instead of overflowing.
static int32_t WholeDegrees(double heading) {
    double degrees = std::floor(heading);
    if (!(degrees >= -2147483648.0 && degrees <= 2147483647.0)) {
        degrees = std::isfinite(degrees) ? std::fmod(degrees, 360.0) : 0.0;
    }
    return static_cast<int32_t>(degrees);
}

void BuildWalkerTransform(WalkerState& walker) {
    walker.headingDegrees = WholeDegrees(walker.headingClock);
    setIdentity(walker.modelMatrix);
    translate(walker.modelMatrix, walker.walkerPosition);
    rotate(walker.modelMatrix, 0, walker.headingDegrees, 0);
}

void StepWalker(WalkerState& walker) {
    // Column 0 is the walker's own x axis: (cos h, 0, -sin h).
    const float step = static_cast<float>(walkSpeed * walker.deltaTime);
    walker.walkerPosition += Vector3(column(walker.modelMatrix, 0) * step);
}
