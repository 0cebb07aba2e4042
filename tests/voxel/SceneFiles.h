// Shared by the .vox reader and writer tests: crafted files read as scenes,
// and models and composed frames as lists of cells.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "voxel/VoxWrite.h"

namespace voxtest {

using namespace voxwrite;
using Cell4 = std::array<int64_t, 4>;  // x, y, z, colour index
using Cells = std::vector<Cell4>;

inline Cells CellsOf(const VoxelModel& model, bool sorted = false) {
    Cells out;
    for (const Voxel& v : model.voxels) out.push_back({v.x, v.y, v.z, v.colorIndex});
    if (sorted) std::sort(out.begin(), out.end());
    return out;
}

// The scene of a file the reader must accept.
inline VoxelScene Read(const Bytes& file) {
    VoxelScene scene;
    std::string error;
    EXPECT_TRUE(LoadVoxelSceneFromMemory(file.data(), file.size(), "t.vox", scene, error)) << error;
    return scene;
}

inline Cells Frame(const VoxelScene& scene, int32_t frame, bool sorted = false) {
    VoxelModel model;
    ComposeFrame(scene, frame, model);
    return CellsOf(model, sorted);
}

// SIZE and XYZI of one model.
inline Bytes Model(int32_t sx, int32_t sy, int32_t sz, const std::vector<Cell>& cells) {
    return Join(Size(sx, sy, sz), Xyzi(cells));
}

// A transform keyframe: rotation byte, translation and frame as the file spells them.
inline Bytes Key(const std::string& r, const std::string& t, const std::string& f = "0") {
    return Dict({{"_r", r}, {"_t", t}, {"_f", f}});
}

}  // namespace voxtest
