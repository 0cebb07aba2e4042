// The model viewer's clocks and camera: everything a frame of the window or
// a snapshot computes without GL.
//
// The scene keeps the walk's proportions and is scaled to the model as a
// whole (eye distance, ground, light, walking speed, clip planes), so a model
// of any size is seen as the walker is, and its voxels stay unit cubes.
#pragma once

#include <cstdint>

#include "app/CommandLine.h"
#include "app/ModelFiles.h"
#include "app/Scene.h"
#include "math/Matrix4.h"
#include "math/Vector.h"

// The radius, in voxels, of a model's box at scene scale 1: at the starting
// eye distance its sphere spans about 60% of the picture's height, leaving
// room for the walk bringing it closer. (The walker's 30 frames fill a box of
// 48 x 76 x 30 voxels, radius 47.)
constexpr float framedRadius = 100.0f;
constexpr float windowAspect = 1024.0f / 768.0f;
constexpr double speedMin = 0.125, speedMax = 8.0;  // +/- keys, x2 per press

// Animation and motion. An animation walks the circle like the walker; a
// still model turns on the spot.
struct ModelClock {
    double animClock = 0;   // frames from 0, in [0, frameCount)
    double heading = 0;     // degrees, never wrapped
    Vector3 position;       // walker position on the ground, world units
    double speed = 1.0;     // factor on every rate
    bool paused = false;
};

// Orbit of the eye about the scene's centre, from the window's starting view.
struct Orbit {
    float yaw = 0;     // degrees about the vertical axis
    float pitch = 0;   // degrees of elevation added to the starting view's
    float zoom = 1;    // factor on the eye distance, 0.2..5
};

// Scene scale for a model: its box radius over framedRadius, and more when
// the picture is taller than wide (aspect = width / height < 1), so the
// narrower horizontal field of view still holds it.
float SceneScale(const VoxelBounds& bounds, float aspect);

// One time step of `seconds` (real time; speed and pause applied here).
// Wraps the animation over frameCount frames; walks only when frameCount > 1.
void AdvanceModelClock(ModelClock& clock, double seconds, int32_t frameCount, float scale);

// The clock `seconds` after the start, unpaused at speed 1: the same circle
// as stepping AdvanceModelClock, in closed form.
ModelClock ModelClockAt(double seconds, int32_t frameCount, float scale);

// Steps the frame by `delta` (wrapping), leaving the rest of the clock alone.
void StepModelFrame(ModelClock& clock, int32_t delta, int32_t frameCount);

// The frame shown, 0..frameCount-1.
int32_t ModelFrameIndex(const ModelClock& clock, int32_t frameCount);

// Doubles or halves the speed within speedMin..speedMax.
void ChangeSpeed(ModelClock& clock, bool faster);

// Left-drag by (dx, dy) pixels and wheel steps; pitch and zoom clamped.
void DragOrbit(Orbit& orbit, double dx, double dy);
void ZoomOrbit(Orbit& orbit, double wheelSteps);

// Model matrix: translation to the clock's position, heading about y, and a
// lift of half a voxel so the lowest cubes stand on the ground.
Matrix4 ModelMatrix(const ModelClock& clock);

// Camera and scene scale for a frame. Window view: the walk's eye offset
// turned by the orbit, looking at the walker's middle. The fixed views look
// at the model's middle along an axis (front: from +x, where a model faces
// as it walks; side: from +z; top: from above) or the diagonal (iso), from
// the starting eye distance.
Stage MakeStage(ViewName view, const Orbit& orbit, const ModelClock& clock,
                const VoxelBounds& bounds, float scale);

// The perspective of the walk (60 degrees vertical) with clip planes scaled.
Matrix4 ModelProjection(float aspect, float scale);
