// Whole .vox scenes: every model placed by the scene graph, as frames.
#pragma once

#include <cstdint>
#include <string>

#include "voxel/Vox.h"

// Stand-in record: one model as the single-model reader sees it.
struct VoxelScene {
    VoxelModel model;
};

// Reads the scene of `path`; error "PATH: ..." on failure. Logs nothing.
bool LoadVoxelScene(const char* path, VoxelScene& scene, std::string& error);
// Number of animation frames, at least 1.
int32_t VoxelSceneFrameCount(const VoxelScene& scene);
// The voxels of one frame, editor coordinates with z up, palette filled.
void ComposeFrame(const VoxelScene& scene, int32_t frame, VoxelModel& model);
// To LoadVoxelModel's orientation, so OrientFrame and RecentreFrame apply as
// to a walk frame.
void MirrorLikeReader(VoxelModel& model);
