#include "app/view/ModelClock.h"

#include <algorithm>
#include <cmath>

#include "app/stage/Scene.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

}  // namespace

Motion MotionOf(int32_t frameCount, bool ownMotion) {
    if (frameCount <= 1) return Motion::Turn;
    return ownMotion ? Motion::InPlace : Motion::Walk;
}

void AdvanceModelClock(ModelClock& clock, double seconds, int32_t frameCount, Motion motion, float scale) {
    if (clock.paused || seconds <= 0.0) return;
    const double dt = seconds * clock.speed;
    if (frameCount > 1) clock.animClock = std::fmod(clock.animClock + animationRate * dt, frameCount);
    if (motion == Motion::InPlace) return;
    clock.heading += turnRate * dt;
    if (motion == Motion::Walk) {
        // Walk along the new heading, as the walker does (its column 0).
        const double h = clock.heading * kPi / 180.0;
        const double step = walkSpeed * scale * dt;
        clock.position.x += static_cast<float>(std::cos(h) * step);
        clock.position.z -= static_cast<float>(std::sin(h) * step);
    }
}

ModelClock ModelClockAt(double seconds, int32_t frameCount, Motion motion, float scale) {
    ModelClock clock;
    if (frameCount > 1) clock.animClock = std::fmod(animationRate * seconds, frameCount);
    if (motion == Motion::InPlace) return clock;
    clock.heading = turnRate * seconds;
    if (motion == Motion::Walk) {
        // The integral of the walking direction over a steady turn: a circle
        // of radius speed / turn rate through the origin.
        const double omega = turnRate * kPi / 180.0;
        const double radius = walkSpeed * scale / omega;
        const double h = omega * seconds;
        clock.position.x = static_cast<float>(radius * std::sin(h));
        clock.position.z = static_cast<float>(radius * (std::cos(h) - 1.0));
    }
    return clock;
}

void StepModelFrame(ModelClock& clock, int32_t delta, int32_t frameCount) {
    if (frameCount < 1) return;
    const int32_t frame = ModelFrameIndex(clock, frameCount);
    clock.animClock = ((frame + delta) % frameCount + frameCount) % frameCount;
}

int32_t ModelFrameIndex(const ModelClock& clock, int32_t frameCount) {
    if (frameCount < 1) return 0;
    const int32_t frame = static_cast<int32_t>(std::floor(clock.animClock));
    return std::clamp(frame, 0, frameCount - 1);
}

void ChangeSpeed(ModelClock& clock, bool faster) {
    clock.speed = std::clamp(faster ? clock.speed * 2.0 : clock.speed * 0.5, speedMin, speedMax);
}

Matrix4 ModelMatrix(const ModelClock& clock, Vector2 middle) {
    Matrix4 m(0.0f);
    setIdentity(m);
    translate(m, clock.position);
    rotate(m, 0.0f, static_cast<float>(std::fmod(clock.heading, 360.0)), 0.0f);
    translate(m, 0.0f, 0.5f, 0.0f);
    const float turn = static_cast<float>(std::fmod(clock.turn, 360.0));
    if (turn != 0.0f) {  // no turn leaves the matrix exactly as without one
        translate(m, middle.x, 0.0f, middle.y);
        rotate(m, 0.0f, turn, 0.0f);
        translate(m, -middle.x, 0.0f, -middle.y);
    }
    return m;
}
