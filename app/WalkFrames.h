// The walk cycle: 30 voxel models loaded from .vox files, stood upright,
// centred over the origin and compiled into display lists (BuildFrameList).
//
// The frame loop only calls the lists; the voxel data stays in the models
// until shut-down, read again only to compile a list the viewer left for
// the frame's first draw. Frame n (1 to 30) is walkFrames[n - 1].
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "math/Vector.h"
#include "voxel/Vox.h"

constexpr int32_t walkFrameCount = 30;  // last frame number of the cycle

using WalkFrames = std::array<VoxelModel, walkFrameCount>;

// The unit cube drawn for every voxel: corners as offsets from the voxel's
// centre, faces as four corner numbers counter-clockwise seen from outside
// (back-face culling is on when the lists are drawn), one normal per face.
extern const Vector3 cubeCorners[8];
extern const int32_t cubeFaces[6][4];
extern const Vector3 cubeNormals[6];

// "assets/voxels/ZevezuRezov/Walk/walk_" + frame number in five digits +
// ".vox", relative to the working directory.
std::string WalkFrameFileName(int32_t frameNumber);

// Rounds to the nearest whole number, halves to even, as signed 32-bit.
// Values beyond the int32 range (or NaN) are clamped, so a crafted file's
// coordinates cannot make the conversion undefined.
int32_t RoundToInt32(float value);

// Stands the model upright: a quarter turn about x, (x, y, z) -> (x, -z, y),
// applied to every voxel in place.
void OrientFrame(VoxelModel& model);

// Centres the model over the origin in x and z and lowers it by twice the
// height of its centre. A model without voxels is left as it is.
void RecentreFrame(VoxelModel& model);

// Models of more voxels than this are drawn from merged visible faces,
// shaded from the rectangles' corners instead of every voxel's; up to it the
// lists give exactly the picture of one unit cube per voxel. A hand-made
// character (the walk cycle's frames hold about 4,100) stays well below.
constexpr size_t exactPictureVoxelLimit = 16384;

// Compiles the model's display lists from its voxels, coloured from its
// palette: displayList for the lit pass and shadowList for the flattened
// shadow, which only needs the visible faces (FrameMesh.h says why the lit
// pass needs more). Above exactPictureVoxelLimit one list of merged faces
// serves both passes and shadowList is 0. Voxels with colour index 0 (an
// empty cell) or beyond 256 have no palette entry and get no faces. Needs a
// current GL context; the lists are compiled, not drawn.
void BuildFrameList(VoxelModel& model);

struct FrameMesh;

// Compiles the quads of `mesh` into a new display list and returns its name.
// Without `shaded` the list holds positions alone (the shadow pass's). Needs
// a current GL context.
uint32_t CompileQuadList(const FrameMesh& mesh, bool shaded);

// Whether LoadWalkFrames compiles the lists itself or leaves each frame's
// to its first draw (PrepareFrameList).
enum class FrameLists { AtLoad, AtFirstDraw };

// Loads, orients, recentres and (FrameLists::AtLoad) compiles frames 1 to 30
// in turn, so the reader's log lines of frame n come before those of frame
// n + 1. Missing files leave an empty model whose list draws nothing.
// assetRoot is put in front of every frame's file name (see app/AssetRoot.h).
void LoadWalkFrames(WalkFrames& walkFrames, const std::string& assetRoot = "",
                    FrameLists lists = FrameLists::AtLoad);

// Compiles the model's lists unless it has them (BuildFrameList).
void PrepareFrameList(VoxelModel& model);

// Deletes the frames' display lists (shut-down).
void DeleteWalkFrameLists(WalkFrames& walkFrames);
