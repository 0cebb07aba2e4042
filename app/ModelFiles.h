// Loading the user's model for the viewer: a .vox file (a scene, an
// animation or one model), a Poly2Vox file, or a folder whose .vox files are
// the frames. Every frame ends up standing on the ground, centred over the
// origin, one world unit per voxel, ready for BuildFrameList.
//
// Nothing here needs GL or logs; errors come back as one line of text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "voxel/Vox.h"

// The box around every drawn voxel of every frame, in whole voxels, after
// placement: x and z centred (to within one voxel), minY 0.
struct VoxelBounds {
    int32_t minX = 0, maxX = 0;
    int32_t minY = 0, maxY = 0;
    int32_t minZ = 0, maxZ = 0;
};

struct LoadedModel {
    std::vector<VoxelModel> frames;  // at least one once loaded
    std::string name;                // file or folder name, for the HUD
    VoxelBounds bounds;
};

// Natural order of names: runs of digits compare by value ("walk_2" before
// "walk_10"), everything else byte by byte; equal values with more leading
// zeros come after, so the order is total.
bool NaturalLess(std::string_view a, std::string_view b);

// The regular files of `folder` whose names end in ".vox" (any case), as
// full paths in natural order. False + "FOLDER: why" when it cannot be read.
bool ListVoxFiles(const std::string& folder, std::vector<std::string>& files, std::string& error);

// Stands every frame up like a walk frame, then moves all frames by one
// common offset: x and z centred on the box of all drawn voxels, its lowest
// voxel at y = 0. One offset keeps an animation from jumping between frames.
// Returns the box after the move; frames without drawn voxels do not count.
VoxelBounds PlaceFrames(std::vector<VoxelModel>& frames);

// Reads PATH (file or folder) into `model`. False + one line "PATH: why"
// when it cannot be read or holds no voxels.
bool LoadModelFrames(const std::string& path, LoadedModel& model, std::string& error);
