// The geometry of one voxel frame as GL_QUADS: the unit cube every voxel is
// drawn as, and the faces of a frame's voxels selected from it.
//
// Faces keep the unit cube's corners, winding and normals.
// Unmerged faces come in the voxel array's order, face 0 to 5 for each
// voxel: the order a list of whole cubes draws them in, which decides who
// wins a depth tie (GL_LEQUAL lets the later face through).
//
// Why three selections: a hidden face is not always invisible. Where it
// meets the surface along an edge its depth ties with the visible face's
// within the depth buffer's precision, and the lit pass shows it at a few
// edge pixels. The exact picture of whole cubes therefore needs every face
// in the lit pass. The flattened shadow is one flat colour whose coverage
// is the union of the faces, which the visible faces alone give exactly.
// Merged rectangles are shaded from their own corners (lighting is worked
// out per vertex) and so differ slightly from the per-voxel picture; they
// are for models too large to draw face by face.
#pragma once

#include <cstdint>
#include <vector>

#include "math/Vector.h"
#include "voxel/Vox.h"

// The unit cube drawn for every voxel: corners as offsets from the voxel's
// centre, faces as four corner numbers counter-clockwise seen from outside
// (back-face culling is on when the lists are drawn), one normal per face.
extern const Vector3 cubeCorners[8];
extern const int32_t cubeFaces[6][4];
extern const Vector3 cubeNormals[6];

// One corner of a quad, laid out for glVertexPointer / glNormalPointer /
// glColorPointer with stride sizeof(MeshVertex).
struct MeshVertex {
    float position[3] = {0, 0, 0};    // model units, voxel centres on whole numbers
    float normal[3] = {0, 0, 0};      // the face's outward unit normal
    uint8_t color[4] = {0, 0, 0, 0};  // palette R, G, B and alpha 8
};

// Four vertices per quad, counter-clockwise seen from outside.
struct FrameMesh {
    std::vector<MeshVertex> vertices;
};

enum class FaceSelection {
    All,      // six faces per voxel: the picture of whole cubes, hidden faces and all
    Visible,  // one quad per face whose neighbour cell is empty
    Merged,   // the visible faces, runs of one colour in one plane as one rectangle
};

// Fills `mesh` (replacing what it held) with the selected faces of `model`'s
// voxels. Voxels whose colour index has no palette entry (0 or above 256)
// are neither drawn nor hide their neighbours. Any coordinates are safe.
void BuildFrameMesh(const VoxelModel& model, FaceSelection selection, FrameMesh& mesh);
