// What a scene export holds, whatever the file format: the meshes (one per
// model shown), a tree of nodes that mirrors the editor's scene graph (a
// node shown under two parents appears twice, its mesh once), and each
// node's local pose at every frame, in whole cells in the editor's axes.
//
// Poses are chosen so that composing them gives exactly the cells of
// ComposeFrame: the composition rule floors once at the end, so each
// transform's world translation is rounded to the cell that rule lands on
// and local translations are the differences, and a node that carries a
// mesh gets the rest (a model's pivot can move the floor by one cell).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/export/Export.h"
#include "voxel/VoxMesh.h"

// A signed permutation: row i has sign[i] in column column[i].
struct ExportRotation {
    int8_t column[3] = {0, 1, 2};
    int8_t sign[3] = {1, 1, 1};
    bool operator==(const ExportRotation&) const = default;
};

struct ExportPose {
    ExportRotation rotation;
    int64_t translation[3] = {0, 0, 0};
    bool visible = true;
    bool operator==(const ExportPose&) const = default;
};

struct ExportMesh {
    int32_t scene = 0, model = 0;  // which model of which input scene
    VoxMesh mesh;                  // cells relative to the model's pivot
};

struct ExportNode {
    std::string name;
    int32_t mesh = -1;  // index into ExportPlan::meshes, -1 = none
    int32_t scene = 0;  // the input scene whose palette colours the mesh
    std::vector<int32_t> children;
    // poses[f] for each frame, or one pose when it never changes.
    std::vector<ExportPose> poses;
    // Frames where the editor has a key on this node or above it: where
    // LINEAR translation keys would go.
    std::vector<int32_t> keyFrames;
};

struct ExportPlan {
    std::vector<ExportMesh> meshes;
    std::vector<ExportNode> nodes;  // nodes[0] is the root
    int32_t frameCount = 1;
};

// Builds the plan of `input` (meshes made as `options` say). Returns false
// with a one-line error when the input is empty or too large to export.
bool BuildExportPlan(const ExportInput& input, const ExportOptions& options, ExportPlan& plan, std::string& error);

// The voxels of one model relative to its pivot (v - floor(size / 2)).
std::vector<Voxel> ExportModelVoxels(const VoxelSceneModel& model);

// What the mesher merges faces by: the scene's palette, or where entries
// have looks (SceneLooks), a key per distinct colour and look, so that no
// face merges across materials.
std::array<uint32_t, 256> ExportMergeKeys(const VoxelScene& scene);
