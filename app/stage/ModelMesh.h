// The model viewer's mesh of one voxel frame, for the model window and the
// pictures (never the walk, which keeps its lists): the faces that can be
// seen, each corner darkened by ambient occlusion, merged into rectangles
// where merging changes no pixel's shade, and cut into chunks that 16-bit
// positions and 16-bit indices reach.
//
// Which faces: a face whose neighbour cell is open and joined, through open
// cells, to the space around the model. Open is empty or translucent (the
// voxel's look, VoxelModel::looks): a translucent voxel hides nothing
// behind or beside it, so the faces of a room behind a glass window are
// kept. Faces onto closed cavities (a sealed room, every empty cell inside a
// 3D checkerboard) cannot be seen from outside and are left out. A
// translucent voxel shows its faces onto empty cells and onto translucent
// voxels of another colour; a glass pane of one colour has no inner faces.
//
// Ambient occlusion, as voxel renderers do it: each corner of a face looks
// at the three cells beside it in the layer in front of the face (the two
// along the face's edges and the one across the corner); both edge cells
// opaque is level 3, else the count of opaque ones (translucent voxels do
// not darken their neighbours). Of a quad's two diagonals the one whose
// corners' levels differ less is its triangles' shared edge, so no streak
// of one corner's shade runs across the face.
//
// Merging: neighbours of one colour and the same four levels merge along an
// edge only where the levels do not change along it (a strip at the foot of
// a wall), and into rectangles of more than one row and column only where
// all four levels are equal, so every merged quad shades as its faces did.
// The flat shadow's coverage mesh merges by shape alone.
//
// Colour indices are the model's (1..255; a palette entry each); the vertex
// keeps the index, so per-index tables (palette and looks) decide how a
// face is drawn. The faces come in parts by look: the diffuse, emissive and
// metal voxels' are drawn by different programs, the translucent ones' are
// sorted and blended after everything else. Nothing here needs GL.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "voxel/Vox.h"

// Quads per chunk: 4 vertices each, so 65,536 vertices, the reach of 16-bit indices.
constexpr int32_t kChunkQuads = 16384;

// The occlusion levels' brightness, multiplied into a face's colour at each
// corner (level 0 unoccluded).
extern const float occlusionBrightness[4];

// One corner of a quad, 8 bytes.
struct ModelVertex {
    // The corner in whole cells from the chunk's origin. Corner c lies
    // between cells c - 1 and c, so a voxel at cell c spans corners c and
    // c + 1; in model units a corner is at c - 0.5.
    int16_t position[3] = {0, 0, 0};
    uint8_t faceLevel = 0;  // bits 0-2: the face, as cubeNormals numbers it; bits 3-4: occlusion level
    uint8_t color = 0;      // the colour index less 1: entry 0..255 of the palette
};
static_assert(sizeof(ModelVertex) == 8);

// Up to kChunkQuads quads that all face one way, quad q being the triangles
// (4q, 4q+1, 4q+2) and (4q, 4q+2, 4q+3). The planes they lie in are kept so
// that a chunk whose planes all face away from the eye (or the light) is
// skipped whole.
struct ModelMeshChunk {
    int64_t origin[3] = {0, 0, 0};        // cells added to every position
    int32_t face = 0;                     // the direction, as cubeNormals numbers it
    int32_t lowPlane = 0, highPlane = 0;  // its quads' planes, corners along the face's axis from the origin
    std::vector<ModelVertex> vertices;    // 4 per quad
};

enum class MeshPart {
    Lit,          // diffuse voxels' colours and occlusion
    Emissive,     // emissive voxels' colours: drawn unlit
    Metal,        // metal voxels': lit with a highlight
    Translucent,  // translucent voxels': blended, back to front
    Coverage,     // the opaque voxels' faces merged by shape alone: the flat shadow
};
constexpr size_t kMeshPartCount = 5;

struct ModelMeshCounts {
    size_t faces = 0;     // unit faces that can be seen
    size_t litQuads = 0;  // quads of the opaque parts (Lit, Emissive, Metal) after merging
    size_t translucentQuads = 0;
    size_t coverageQuads = 0;
    size_t cavityFaces = 0;  // faces left out because they face a closed cavity
};

// Called with each finished chunk; the chunk is reused after the call, so
// whatever is kept must be copied.
using ChunkSink = std::function<void(MeshPart part, const ModelMeshChunk& chunk)>;

// Builds every part of `model`'s mesh and hands them to `sink` chunk by
// chunk. Voxels whose colour index has no palette entry (0 or above 256)
// are neither drawn nor hide their neighbours; of two voxels in one cell
// the later one's colour is drawn. Without `occlusion` every level is 0.
// Any coordinates are safe: memory grows with the faces and a bounded
// working box, never with the space the voxels spread over.
ModelMeshCounts BuildModelMesh(const VoxelModel& model, bool occlusion, const ChunkSink& sink);
