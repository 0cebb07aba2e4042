// A frame's display lists: compiled from its voxels once, called twice per
// drawn frame (the flattened shadow and the lit model), deleted at the end.
//
// Needs a current GL context. The lists belong to the VoxelModel's
// displayList and shadowList until DeleteFrameLists.
#pragma once

#include <cstddef>
#include <cstdint>

#include "voxel/Vox.h"

struct FrameMesh;

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
// empty cell) or beyond 256 have no palette entry and get no faces. The
// lists are compiled, not drawn.
void BuildFrameList(VoxelModel& model);

// Compiles the quads of `mesh` into a new display list and returns its name.
// Without `shaded` the list holds positions alone (the shadow pass's).
uint32_t CompileQuadList(const FrameMesh& mesh, bool shaded);

// Compiles the model's lists unless it has them (BuildFrameList).
void PrepareFrameList(VoxelModel& model);

// Deletes the model's lists and zeroes their names; a model without lists is
// left alone.
void DeleteFrameLists(VoxelModel& model);
