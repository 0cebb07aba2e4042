#include "app/view/Camera.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr float kOrbitDegreesPerPixel = 0.4f;
constexpr float kZoomPerStep = 0.9f;  // one wheel step away brings the eye 10% closer
constexpr float kZoomMin = 0.2f, kZoomMax = 5.0f;
constexpr float kFieldOfView = 60.0f;

// The walk's eye offset from the circle's centre.
Vector3 StartEye() { return Vector3(cameraEye[0], cameraEye[1], cameraEye[2]); }

float Length(const Vector3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

Vector3 Cross(const Vector3& a, const Vector3& b) {
    return Vector3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

Vector3 Unit(const Vector3& v) { return v * (1.0f / Length(v)); }

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

void DragOrbit(Orbit& orbit, double dx, double dy) {
    orbit.yaw = std::fmod(orbit.yaw - static_cast<float>(dx) * kOrbitDegreesPerPixel, 360.0f);
    // The starting view is about 50 degrees up: keep between just above the
    // ground and just short of straight down.
    orbit.pitch = std::clamp(orbit.pitch + static_cast<float>(dy) * kOrbitDegreesPerPixel, -45.0f, 38.0f);
}

void ZoomOrbit(Orbit& orbit, double wheelSteps) {
    orbit.zoom = std::clamp(orbit.zoom * std::pow(kZoomPerStep, static_cast<float>(wheelSteps)), kZoomMin, kZoomMax);
}

Stage MakeStage(ViewName view, const Orbit& orbit, const ModelClock& clock, const VoxelBounds& bounds, float scale) {
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
            direction = Vector3(std::cos(pitch) * std::sin(yaw), std::sin(pitch), std::cos(pitch) * std::cos(yaw));
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

Matrix4 ModelProjection(float aspect, const Stage& stage) {
    float nearPlane = 1.0f * stage.scale;
    // The ground (and the shadow on it) is the plane y = 0: the nearest of it
    // that the picture shows lies on a corner ray, where that ray meets y = 0.
    const Vector3 forward = Unit(stage.target - stage.eye);
    const Vector3 right = Unit(Cross(forward, stage.up));
    const Vector3 up = Cross(right, forward);
    const float halfHeight = std::tan(0.5f * kFieldOfView * static_cast<float>(kPi / 180.0));
    if (stage.eye.y > 0.0f) {
        for (const float sx : {-1.0f, 1.0f}) {
            for (const float sy : {-1.0f, 1.0f}) {
                const Vector3 ray = forward + right * (sx * halfHeight * aspect) + up * (sy * halfHeight);
                // Depth along `forward` is the ray parameter: the ray's forward part is 1.
                if (ray.y < 0.0f) nearPlane = std::min(nearPlane, 0.5f * (stage.eye.y / -ray.y));
            }
        }
    }
    return perspective(kFieldOfView, aspect, nearPlane, 5000.0f * stage.scale);
}
