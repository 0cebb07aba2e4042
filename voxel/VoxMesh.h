// Indexed triangle meshes of voxel sets, for writing files (glTF, OBJ, PLY).
//
// Use: fill a list of Voxel records (int32 cells below INT32_MAX, colour
// index 1..255) and call BuildVoxMesh with a palette and options; the result
// owns its arrays through std::vector. Nothing here logs or needs GL.
//
// Geometry: voxel cell c covers [c, c + 1) on each axis, so every vertex sits
// on a whole-number lattice point and positions are exact int32 values in
// the voxels' own axes. Only faces between a voxel and an empty cell are
// kept (except in Cubes mode); triangles are counter-clockwise seen from
// outside, so the signed volume equals the voxel count.
//
// Greedy mode merges coplanar faces of one colour into rectangles and then
// removes every T-junction: each rectangle edge is split at every rectangle
// corner that lies inside it, in its plane or across a crease, and the
// polygon is triangulated without zero-area triangles (n - 2 triangles for n
// vertices). Every edge is then shared by exactly two triangles, or four
// where two voxels touch only along it.
//
// Per-vertex ambient occlusion can come later without a new pipeline: faces
// merge only when their merge key (today the palette colour) is equal, so
// adding four corner occlusion levels to that key merges only where
// occlusion is uniform, and TriangulateRect's start corner picks the quad
// diagonal against seams.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "voxel/Vox.h"

enum class VoxMeshMode : uint8_t {
    Greedy,  // visible faces merged into rectangles, T-junction free
    Faces,   // one quad (two triangles) per visible face
    Cubes,   // all six faces of every voxel, hidden ones too
};

// Face directions: the outward normal of face f is -axis for even f and
// +axis for odd f, axis = f / 2 (0 x, 1 y, 2 z).
inline constexpr int kVoxFaceCount = 6;

struct VoxMeshVertex {
    int32_t position[3] = {0, 0, 0};  // lattice point, cell units
    uint8_t face = 0;                 // normal direction 0..5 (see above)
    uint8_t colorIndex = 0;           // 1..255: palette entry colorIndex - 1
};

struct VoxMesh {
    std::vector<VoxMeshVertex> vertices;  // one per (position, face, colour)
    std::vector<uint32_t> indices;        // three per triangle, CCW from outside
    int32_t min[3] = {0, 0, 0};           // bounds of the positions; max < min when empty
    int32_t max[3] = {-1, -1, -1};
    size_t voxelCount = 0;  // distinct coloured cells that went in
};

// The outward unit normal of face direction f.
inline std::array<int, 3> VoxFaceNormal(int face) {
    std::array<int, 3> n = {0, 0, 0};
    n[face / 2] = (face & 1) ? 1 : -1;
    return n;
}

struct VoxMeshOptions {
    VoxMeshMode mode = VoxMeshMode::Greedy;
    // Cells are found through a bitmap when their box is small for their
    // number, else through a hash table; tests set this to take the hash
    // table anyway, so both paths run.
    bool hashedCells = false;
};

// Builds the mesh of `count` voxels (replacing what `mesh` held). Voxels with
// colour index 0 or above 255 are left out (empty cells); of two voxels in
// one cell the later one stays. Faces of palette entries with equal RGBA
// merge and carry the lowest such index. Returns false with a one-line
// `error` (and an empty mesh) when a coordinate is INT32_MAX, whose far
// corner has no int32 position.
bool BuildVoxMesh(const Voxel* voxels, size_t count, const std::array<uint32_t, 256>& palette,
                  const VoxMeshOptions& options, VoxMesh& mesh, std::string& error);

// Fan order of a rectangle polygon: `polygon` holds n >= 4 points (u, v) in
// counter-clockwise order with the rectangle's four corners among them at
// positions corners[0..3] (in that order) and the other points on its edges.
// Appends n - 2 triangles as positions into `polygon`, counter-clockwise,
// none of zero area and no diagonal through a point, by zigzagging between
// the two boundary chains from corner `start` (0..3) to the opposite one.
void TriangulateRect(const std::vector<std::array<int32_t, 2>>& polygon, const int corners[4], int start,
                     std::vector<uint32_t>& triangles);

// Names of the modes as the command line spells them ("greedy", "faces",
// "cubes"); ParseVoxMeshMode returns false for anything else.
const char* VoxMeshModeName(VoxMeshMode mode);
bool ParseVoxMeshMode(const std::string& text, VoxMeshMode& mode);
