// How pictures frame the model (the window keeps the walk's framing): the
// view's direction, the eye at the scene's distance from the middle of what
// is framed, and a projection whose window is cut around the model's
// projected bounds, so that their larger side fills kPictureFill of the
// picture's shorter side, centred, in every view and for any shape.
//
// The bounds come from hull candidates: the corners of voxels that are the
// first or last of their line along each of the three axes. They include
// every corner of the model's convex hull, so their projections bound the
// model's from any eye outside it, and they are few (a solid block has 8).
//
// Pictures follow a walking model: the stage here is relative to the
// model's position on its circle, to which the caller adds it. No GL.
#pragma once

#include <span>
#include <vector>

#include "app/stage/Scene.h"
#include "app/view/CommandLine.h"
#include "app/view/ModelClock.h"
#include "math/Matrix4.h"
#include "voxel/Vox.h"

constexpr float kPictureFill = 0.9f;

// The unit direction from the framed model towards a picture's eye, and the
// picture's up. Window: the window's starting eye; front: from +x, where a
// model faces as it walks; side: from +z; top: from above, the front at the
// bottom; iso: the diagonal.
void PictureDirection(ViewName view, Vector3& toEye, Vector3& up);

// Where a picture puts the model, relative to its place on the walk: its
// heading, its turn about `middle` and the lift that stands it on the ground
// (ModelMatrix without the position).
Matrix4 PicturePlacement(const ModelClock& clock, Vector2 middle);

// Appends the hull candidates of `frame`'s drawn voxels, in model units
// (cell centres on whole numbers), moved by `placement`.
void AppendHullCandidates(const VoxelModel& frame, const Matrix4& placement, std::vector<Vector3>& points);

// What a picture sees: the stage (eye, target and up relative to the
// model's position; scale; ground and shadow on) and the projection.
struct PictureView {
    Stage stage;
    Matrix4 projection{0.0f};
};

// Frames `points` (at least one) for a picture of aspect width / height in
// `view`, the scene at `scale` (SceneScale): the eye along the view's
// direction from the middle of their box, at the window's starting eye
// distance for that scale or farther, so that all of them lie well ahead of
// it; the near plane pulled in where the ground would cross it.
PictureView FramePoints(ViewName view, std::span<const Vector3> points, float aspect, float scale);

// The perspective projection of the window (left, right, bottom, top) on
// the near plane, as glFrustum makes it.
Matrix4 Frustum(float left, float right, float bottom, float top, float nearPlane, float farPlane);
