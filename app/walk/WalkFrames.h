// The walk cycle: 30 voxel models loaded from .vox files, stood upright,
// centred over the origin and compiled into display lists (BuildFrameList).
//
// The frame loop only calls the lists; the voxel data stays in the models
// until shut-down, read again only to compile a list the walk left for the
// frame's first draw. Frame n (1 to 30) is walkFrames[n - 1].
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "voxel/Vox.h"

constexpr int32_t walkFrameCount = 30;  // last frame number of the cycle

using WalkFrames = std::array<VoxelModel, walkFrameCount>;

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

// Whether LoadWalkFrames compiles the lists itself or leaves each frame's
// to its first draw (PrepareFrameList).
enum class FrameLists { AtLoad, AtFirstDraw };

// Loads, orients, recentres and (FrameLists::AtLoad) compiles frames 1 to 30
// in turn, so the reader's log lines of frame n come before those of frame
// n + 1. Missing files leave an empty model whose list draws nothing.
// assetRoot is put in front of every frame's file name (app/stage/Assets.h).
void LoadWalkFrames(WalkFrames& walkFrames, const std::string& assetRoot = "", FrameLists lists = FrameLists::AtLoad);

// Deletes the frames' display lists (shut-down).
void DeleteWalkFrameLists(WalkFrames& walkFrames);
