// Loading the user's model for the model viewer: a .vox file (a scene, an
// animation or one model), a Poly2Vox file, or a folder whose .vox files are
// the frames.
//
// The frames of one file share the editor's frame of reference: each is
// composed in the editor's axes, mapped once, in whole numbers, to the
// viewer's (editor z up becomes y up), and all of them move by one offset, so
// a keyframed scene moves as its keys say. Separate files of a folder share
// nothing: each file is stood on the ground and centred on its own.
//
// Nothing here needs GL or logs; errors come back as one line of text.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "voxel/Vox.h"
#include "voxel/VoxScene.h"

// A box of whole cells in the viewer's axes, inclusive.
struct VoxelBounds {
    int32_t minX = 0, maxX = 0;
    int32_t minY = 0, maxY = 0;
    int32_t minZ = 0, maxZ = 0;
};

struct LoadedModel {
    std::vector<VoxelModel> frames;  // at least one once loaded; y up, one world unit per voxel
    std::string name;                // file or folder name, for the HUD
    VoxelBounds bounds;              // around every drawn voxel of every frame; minY 0
    bool ownMotion = false;          // the file's keyframes move its nodes: it plays in place
    std::vector<std::string> files;  // the files read, for the outputs to keep clear of
};

// Natural order of names: runs of digits compare by value ("walk_2" before
// "walk_10"), everything else byte by byte; equal values with more leading
// zeros come after, so the order is total.
bool NaturalLess(std::string_view a, std::string_view b);

// The regular files of `folder` whose names end in ".vox" (any case), as
// full paths in natural order. False + "FOLDER: why" when it cannot be read.
bool ListVoxFiles(const std::string& folder, std::vector<std::string>& files, std::string& error);

// Editor axes to the viewer's, in place and exact: (x, y, z) -> (x, z, -y).
void ToViewerAxes(VoxelModel& frame);

// Moves all `frames` by one offset: x and z centred on the box of their drawn
// voxels (to within one voxel), its lowest voxel at y = 0. Returns that box;
// frames without drawn voxels do not count.
VoxelBounds PlaceFrames(std::span<VoxelModel> frames);

// Whether any transform of the scene has keys that differ: then the scene
// carries its own motion.
bool HasOwnMotion(const VoxelScene& scene);

// Reads PATH as scenes: one for a file, one per .vox file of a folder (in
// natural order), with the files read in `files`. False + one line
// "PATH: why" when it cannot be read.
bool LoadModelScenes(const std::string& path, std::vector<VoxelScene>& scenes, std::vector<std::string>& files,
                     std::string& error);

// Reads PATH (file or folder) into `model`. False + one line "PATH: why"
// when it cannot be read or holds no voxels.
bool LoadModelFrames(const std::string& path, LoadedModel& model, std::string& error);
