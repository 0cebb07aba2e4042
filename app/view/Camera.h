// The model viewer's camera: how large the scene is for a model, the orbit of
// the window's eye, the fixed views of pictures, and the projection. No GL.
//
// The scene keeps the walk's proportions and is scaled to the model as a
// whole (eye distance, ground, light, walking speed, clip planes), so a model
// of any size is seen as the walker is, and its voxels stay unit cubes.
#pragma once

#include "app/stage/Scene.h"
#include "app/view/CommandLine.h"
#include "app/view/ModelClock.h"
#include "app/view/ModelFiles.h"
#include "math/Matrix4.h"

// The radius, in voxels, of a model's box at scene scale 1: at the starting
// eye distance its sphere spans about 60% of the picture's height, leaving
// room for the walk bringing it closer. (The walker's 30 frames fill a box of
// 48 x 76 x 30 voxels, radius 47.)
constexpr float framedRadius = 100.0f;
constexpr float windowAspect = 1024.0f / 768.0f;

// Orbit of the eye about the scene's centre, from the window's starting view.
struct Orbit {
    float yaw = 0;    // degrees about the vertical axis
    float pitch = 0;  // degrees of elevation added to the starting view's
    float zoom = 1;   // factor on the eye distance, 0.2..5
};

// Scene scale for a model: its box radius over framedRadius, and more when
// the picture is taller than wide (aspect = width / height < 1), so the
// narrower horizontal field of view still holds it.
float SceneScale(const VoxelBounds& bounds, float aspect);

// Left-drag by (dx, dy) pixels and wheel steps; pitch and zoom clamped.
void DragOrbit(Orbit& orbit, double dx, double dy);
void ZoomOrbit(Orbit& orbit, double wheelSteps);

// Camera and scene scale for a frame. Window view: the walk's eye offset
// turned by the orbit, looking at the walker's middle. The fixed views look
// at the model's middle along an axis (front: from +x, where a model faces
// as it walks; side: from +z; top: from above) or the diagonal (iso), from
// the starting eye distance.
Stage MakeStage(ViewName view, const Orbit& orbit, const ModelClock& clock, const VoxelBounds& bounds, float scale);

// The walk's perspective (60 degrees vertical) for `stage`, with clip planes
// scaled to the scene. The near plane comes closer where the stage's ground
// would cross it (a low eye over a flat model), so no view clips the ground.
Matrix4 ModelProjection(float aspect, const Stage& stage);
