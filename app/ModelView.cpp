#include "app/ModelView.h"

#include <algorithm>
#include <cmath>

#include "app/Walker.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr float kOrbitDegreesPerPixel = 0.4f;
constexpr float kZoomPerStep = 0.9f;  // one wheel step away brings the eye 10% closer
constexpr float kZoomMin = 0.2f, kZoomMax = 5.0f;
constexpr float kFieldOfView = 60.0f;

// The walk's eye offset from the circle's centre.
Vector3 StartEye() { return Vector3(cameraEye[0], cameraEye[1], cameraEye[2]); }

float Length(const Vector3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

}  // namespace

float SceneScale(const VoxelBounds& b, float aspect) {
    // Cube extents: a voxel at c covers c - 0.5 .. c + 0.5.
    const float dx = static_cast<float>(b.maxX - b.minX + 1);
    const float dy = static_cast<float>(b.maxY - b.minY + 1);
    const float dz = static_cast<float>(b.maxZ - b.minZ + 1);
    const float radius = 0.5f * std::sqrt(dx * dx + dy * dy + dz * dz);
    float scale = radius / framedRadius;
    if (aspect > 0.0f && aspect < 1.0f) scale /= aspect;
    return scale;
}

void AdvanceModelClock(ModelClock& clock, double seconds, int32_t frameCount, float scale) {
    if (clock.paused || seconds <= 0.0) return;
    const double dt = seconds * clock.speed;
    clock.heading += turnRate * dt;
    if (frameCount > 1) {
        clock.animClock = std::fmod(clock.animClock + animationRate * dt, frameCount);
        // Walk along the new heading, as the walker does (its column 0).
        const double h = clock.heading * kPi / 180.0;
        const double step = walkSpeed * scale * dt;
        clock.position.x += static_cast<float>(std::cos(h) * step);
        clock.position.z -= static_cast<float>(std::sin(h) * step);
    }
}

ModelClock ModelClockAt(double seconds, int32_t frameCount, float scale) {
    ModelClock clock;
    clock.heading = turnRate * seconds;
    if (frameCount > 1) {
        clock.animClock = std::fmod(animationRate * seconds, frameCount);
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

void DragOrbit(Orbit& orbit, double dx, double dy) {
    orbit.yaw = std::fmod(orbit.yaw - static_cast<float>(dx) * kOrbitDegreesPerPixel, 360.0f);
    // The starting view is about 50 degrees up: keep between just above the
    // ground and just short of straight down.
    orbit.pitch = std::clamp(orbit.pitch + static_cast<float>(dy) * kOrbitDegreesPerPixel, -45.0f, 38.0f);
}

void ZoomOrbit(Orbit& orbit, double wheelSteps) {
    orbit.zoom = std::clamp(orbit.zoom * std::pow(kZoomPerStep, static_cast<float>(wheelSteps)),
                            kZoomMin, kZoomMax);
}

Matrix4 ModelMatrix(const ModelClock& clock) {
    Matrix4 m(0.0f);
    setIdentity(m);
    translate(m, clock.position);
    rotate(m, 0.0f, static_cast<float>(std::fmod(clock.heading, 360.0)), 0.0f);
    translate(m, 0.0f, 0.5f, 0.0f);
    return m;
}

Stage MakeStage(ViewName view, const Orbit& orbit, const ModelClock& clock,
                const VoxelBounds& bounds, float scale) {
    Stage stage;
    stage.scale = scale;
    // The middle of the model's box, which turns with the model.
    const float middle = 0.5f * static_cast<float>(bounds.maxY + 1);
    stage.target = Vector3(clock.position.x, middle, clock.position.z);
    const Vector3 start = StartEye();
    const float distance = Length(start) * scale * orbit.zoom;
    Vector3 direction;
    switch (view) {
        case ViewName::Window: {
            const float startYaw = std::atan2(start.x, start.z);
            const float startPitch = std::asin(start.y / Length(start));
            const float yaw = startYaw + orbit.yaw * static_cast<float>(kPi / 180.0);
            const float pitch = startPitch + orbit.pitch * static_cast<float>(kPi / 180.0);
            direction = Vector3(std::cos(pitch) * std::sin(yaw), std::sin(pitch),
                                std::cos(pitch) * std::cos(yaw));
            // The eye stays put while an animation walks, as in the walk.
            stage.eye = Vector3(0.0f, middle, 0.0f) + direction * distance;
            return stage;
        }
        // A model faces +x, the way it walks (column 0 of its matrix).
        case ViewName::Front: direction = Vector3(1.0f, 0.0f, 0.0f); break;
        case ViewName::Side: direction = Vector3(0.0f, 0.0f, 1.0f); break;
        case ViewName::Top:
            direction = Vector3(0.0f, 1.0f, 0.0f);
            stage.up = Vector3(-1.0f, 0.0f, 0.0f);  // the front at the bottom
            break;
        case ViewName::Iso: {
            const float third = 1.0f / std::sqrt(3.0f);
            direction = Vector3(third, third, third);
            break;
        }
    }
    stage.eye = stage.target + direction * distance;
    return stage;
}

Matrix4 ModelProjection(float aspect, float scale) {
    return perspective(kFieldOfView, aspect, 1.0f * scale, 5000.0f * scale);
}
