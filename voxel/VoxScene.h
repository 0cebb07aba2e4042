// Whole .vox scenes: every model of a file, its palette, layers and the
// editor's scene graph with its keyframes, and the composition of one frame
// into a single model.
//
// Use: LoadVoxelScene (or the from-memory form) once, then ComposeFrame for
// each frame from 0 to VoxelSceneFrameCount - 1. A VoxelScene is a plain
// value that owns everything through std::vector and std::string. Nothing
// here logs or needs GL.
//
// Coordinates are the editor's: z up, not mirrored. A model voxel v of a
// model of size s sits, in its parent transform's space, at the centre
// v + 1/2 - floor(s / 2); each transform maps p to R·p + t, innermost first,
// and the world cell is the floor of the result. A file without a scene
// graph plays its models as frames (model i is frame i), each placed by the
// identity; a Poly2Vox file is one such model.
//
// Hostile files are refused with an error rather than expanded: nesting,
// placements, composed voxels, translations and frame indices are bounded
// (the limits below), so composing any frame of a scene that loaded stays
// within a known amount of memory.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "voxel/Vox.h"

// Limits on what a file may ask for; anything beyond is an error.
inline constexpr int32_t kVoxSceneMaxDepth = 64;             // transforms on one path from the root
inline constexpr int64_t kVoxSceneMaxPlacements = 1 << 22;   // nodes placed per frame, once per path
inline constexpr int64_t kVoxSceneMaxVoxels = 1 << 24;       // composed voxels per frame
inline constexpr int32_t kVoxSceneMaxFrameIndex = 65535;     // largest `_f`
inline constexpr int32_t kVoxSceneMaxTranslation = 1 << 24;  // |x|, |y|, |z| of one `_t`
inline constexpr int32_t kVoxSceneMaxModelSize = 2048;       // per SIZE axis

// One voxel of a MagicaVoxel model, as XYZI stores it.
// A trivial type on purpose: a list of them is sized without a loop.
struct VoxelCell {
    uint8_t x, y, z;     // cell coordinates in the model
    uint8_t colorIndex;  // 1..255 (0 as stored, if a file has it)
};

// One model of the file, in its own coordinates. A MagicaVoxel model keeps
// its voxels as the file's 4-byte cells; a Poly2Vox model, whose coordinates
// can pass 255, as Voxel records (editor axes: z up). Only one of the two
// lists is used. File order.
struct VoxelSceneModel {
    int32_t sizeX = 0, sizeY = 0, sizeZ = 0;  // cells per axis (SIZE: 1..kVoxSceneMaxModelSize)
    std::vector<VoxelCell> cells;             // MagicaVoxel
    std::vector<Voxel> wide;                  // Poly2Vox; reserved is 0
    int32_t minX = 0, minY = 0, minZ = 0;     // bounding box of the voxels, inclusive;
    int32_t maxX = -1, maxY = -1, maxZ = -1;  // max < min when there are none
    bool distinctCells = false;               // known that no two voxels share a cell
};

// Voxels in a model, whichever list holds them.
inline size_t VoxelSceneModelVoxelCount(const VoxelSceneModel& model) { return model.cells.size() + model.wide.size(); }

struct VoxelSceneLayer {
    int32_t id = 0;
    std::string name;     // `_name`, may be empty
    bool hidden = false;  // `_hidden` = "1": every node on the layer is hidden
};

enum class VoxelNodeKind : uint8_t { Transform, Group, Shape };

// A transform key: rotation and translation from frame `frame` on.
struct VoxelTransformKey {
    int32_t frame = 0;            // `_f`, 0..kVoxSceneMaxFrameIndex
    uint8_t rotation = 4;         // `_r`, a valid packed rotation byte (4 = identity)
    int32_t x = 0, y = 0, z = 0;  // `_t`, whole cells
};

// A shape key: the model shown from frame `frame` on.
struct VoxelShapeKey {
    int32_t frame = 0;  // `_f`
    int32_t model = 0;  // index into VoxelScene::models
};

struct VoxelSceneNode {
    int32_t id = 0;  // the file's node id
    VoxelNodeKind kind = VoxelNodeKind::Transform;
    std::string name;         // `_name`, may be empty
    bool hidden = false;      // `_hidden` = "1": the node and all below it
    int32_t layer = -1;       // transforms: the file's layer id, -1 = none
    int32_t layerIndex = -1;  // that layer in VoxelScene::layers, -1 = none or unknown
    // Child nodes as indices into VoxelScene::nodes, in file order: one for
    // a transform, any number for a group, none for a shape.
    std::vector<int32_t> children;
    std::vector<VoxelTransformKey> transformKeys;  // transforms: >= 1, sorted by frame
    std::vector<VoxelShapeKey> shapeKeys;          // shapes: >= 1, sorted by frame
};

// Materials (MATL, or MATT from older editors): how the voxels of one
// palette entry are shaded. Nothing here refuses a file: unknown keys and
// types, unparsable and non-finite numbers are ignored, values out of range
// are clamped, and a material chunk that cannot be parsed is skipped. A
// MATT chunk's types 0..3 are diffuse, metal, glass and emit; its weight is
// `_weight` (and `_emit` when emissive), and its plastic, roughness,
// specular, IOR, attenuation, power and glow values are `_plastic`,
// `_rough`, `_spec`, `_ior`, `_att`, `_flux` and `_ldr`.
enum class VoxelMaterialType : uint8_t { Diffuse, Metal, Glass, Emit, Blend, Media, Cloud };

// What a material may set: the MATL key, and the values kept.
enum class VoxelMaterialProperty : uint8_t {
    Weight,        // `_weight`, 0..1
    Rough,         // `_rough`, 0..1
    Metal,         // `_metal`, 0..1
    Specular,      // `_spec` (or `_sp`), >= 0
    Ior,           // `_ior` (or `_ri`), >= 0, as written
    Transparency,  // `_trans` (or `_alpha`), 0..1
    Density,       // `_d`, >= 0
    Attenuation,   // `_att`, >= 0
    Emit,          // `_emit`, 0..1
    Flux,          // `_flux`, whole numbers 0..4
    Ldr,           // `_ldr`, >= 0
    Plastic,       // `_plastic`, 0 or 1
};
inline constexpr size_t kVoxelMaterialPropertyCount = 12;

struct VoxelMaterial {
    int32_t id = 0;  // palette entry 1..255: the voxels of that colour index use it
    VoxelMaterialType type = VoxelMaterialType::Diffuse;
    std::array<float, kVoxelMaterialPropertyCount> values{};  // by VoxelMaterialProperty; 0 when not set
    uint32_t set = 0;  // bit p: the file sets property p (the others have the editor's defaults)
};

inline bool VoxelMaterialHas(const VoxelMaterial& material, VoxelMaterialProperty property) {
    return (material.set >> static_cast<unsigned>(property)) & 1;
}

// "diffuse", "metal", "glass", "emit", "blend", "media", "cloud".
const char* VoxelMaterialTypeName(VoxelMaterialType type);

// The property's MATL key without its underscore: "weight", "rough", ... "plastic".
const char* VoxelMaterialPropertyName(VoxelMaterialProperty property);

// The look a material gives its voxels, the viewer's rule for materials
// (defaults for keys a file leaves out in brackets): emit gives emission
// `_emit` (1) × 2^`_flux` (0); glass and blend opacity 1 - `_trans` (else
// `_weight`, else 0.5), never below 0.1, and index of refraction `_ior`
// (a value under 1 is the editor's IOR - 1; 1.5); media and cloud opacity
// `_d` (0.5) within 0.1..1; metal strength `_metal` (else `_weight`, else
// 1). `_rough` (0.1) is kept for metal and the translucent kinds.
VoxelLook LookOfMaterial(const VoxelMaterial& material);

struct VoxelScene {
    bool poly2vox = false;                // a raw Poly2Vox file rather than MagicaVoxel chunks
    int32_t version = 0;                  // the MagicaVoxel file version (150, 200, ...); 0 for Poly2Vox
    std::vector<VoxelSceneModel> models;  // model i is the i-th SIZE/XYZI pair
    // Same layout as VoxelModel::palette: entry n (1..256) is palette[n - 1].
    std::array<uint32_t, 256> palette{};
    std::vector<VoxelSceneLayer> layers;  // file order
    std::vector<VoxelSceneNode> nodes;    // file order; empty without a scene graph
    int32_t root = -1;                    // index of node 0 in nodes, -1 without a graph
    int32_t frameCount = 1;               // see VoxelSceneFrameCount
    // Sorted by id, one per id: of several chunks for one entry the last counts.
    std::vector<VoxelMaterial> materials;
};

// The 256 looks of a scene's palette entries (entry n's at n - 1), or none
// (an empty list) when every entry is diffuse.
std::vector<VoxelLook> SceneLooks(const VoxelScene& scene);

// Reads a .vox file (MagicaVoxel with or without scene graph, or Poly2Vox:
// sizes of at least 1 and exactly 12 + X·Y·Z + 768 bytes). The file must be
// regular, or a pipe named /dev/stdin, /dev/fd/N or /proc/self/fd/N, read to
// its end; anything else is refused at once, never waited on. On failure
// returns false and sets `error` to one line naming the file and what is
// wrong ("PATH: No such file or directory", "PATH: not a regular file (a
// FIFO)", "PATH: MAIN at byte 8: the file is cut short: ..."); the scene is
// then left empty. Logs nothing.
bool LoadVoxelScene(const char* path, VoxelScene& scene, std::string& error);

// The same over a whole file already in memory; `name` stands for the file in
// the error. Any bytes are safe.
bool LoadVoxelSceneFromMemory(const uint8_t* data, size_t length, const char* name, VoxelScene& scene,
                              std::string& error);

// Frames in the scene, >= 1: with a graph, 1 + the largest `_f`; without one,
// the number of models (1 when there are none).
int32_t VoxelSceneFrameCount(const VoxelScene& scene);

// Frame f (0-based; values outside [0, count) are clamped) as one model:
// visible voxels only, in the editor's coordinates (z up, not mirrored), with
// the scene's palette and looks (same layout as VoxelModel). When several
// voxels land in one cell, the last in graph order (depth first, children in
// file order) stays, at its place in that order. displayList is set to 0.
void ComposeFrame(const VoxelScene& scene, int32_t frame, VoxelModel& model);

// A transform in force: p -> R·p + t, with R a signed permutation (row i of
// R has sign[i] in column column[i]). Translations are real: interpolated
// keys land between cells, and the composition takes the floor once, at the
// end.
struct VoxelTransform {
    int column[3] = {0, 1, 2};
    int sign[3] = {1, 1, 1};
    double t[3] = {0, 0, 0};
};

// outer ∘ inner: inner applies first.
VoxelTransform ComposeTransforms(const VoxelTransform& outer, const VoxelTransform& inner);

// A transform node's transform at `frame`: the rotation of the key in force
// (the last at or before the frame, else the first) and the translation
// interpolated towards the next key as the editor does, the product formed
// in integers first so that an exact half stays exact.
VoxelTransform VoxelTransformAt(const VoxelSceneNode& node, int32_t frame);

// A shape node's model at `frame`: the key in force, as above.
int32_t VoxelShapeModelAt(const VoxelSceneNode& node, int32_t frame);

// Bounding box of a model's voxels, inclusive; false when it has none.
bool VoxelModelBounds(const VoxelModel& model, int32_t min[3], int32_t max[3]);
