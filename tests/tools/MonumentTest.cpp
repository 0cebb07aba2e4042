// The generated monument as the .vox reader sees it.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <tuple>

#include "support/LogCapture.h"
#include "tools/Monument.h"
#include "voxel/Vox.h"

TEST(Monument, VoxelCountAndLandmarks) {
    const std::vector<uint8_t> bytes = MonumentVoxFile();
    VoxelModel model;
    LogCapture quiet;
    LoadVoxelModelFromMemory(bytes.data(), bytes.size(), model);
    EXPECT_EQ(model.palette[0], 0xffa4bac4u) << "stone: 196, 186, 164";
    // The colour of each cell in file coordinates: the reader mirrors y and z
    // against the SIZE.
    std::map<std::tuple<int, int, int>, uint32_t> cells;
    for (const Voxel& v : model.voxels) cells[{v.x, monumentWidth - v.y, monumentHeight - v.z}] = v.colorIndex;
    // Voxels per colour index, 848276 in all, counted over the cells so that
    // two voxels in one cell show; a different pattern of stone shows too.
    std::array<int, 8> count{};
    for (const auto& [cell, colour] : cells) ++count[colour];
    EXPECT_EQ(count, (std::array<int, 8>{0, 526317, 215367, 51120, 51120, 2880, 1088, 384}));
    // x, y, z and the colour there (0: empty): the first tier's pilaster,
    // band and frieze; outside the first tier; the doorway, hollow, and its
    // frame; the obelisk's gold tip.
    const std::tuple<int, int, int, uint32_t> landmarks[] = {
        {12, 72, 20, 5}, {12, 72, 16, 3}, {12, 72, 25, 4},  {5, 72, 20, 0},
        {72, 2, 3, 0},   {72, 2, 10, 6},  {71, 71, 125, 7},
    };
    auto at = [&](int x, int y, int z) { return cells.contains({x, y, z}) ? cells.at({x, y, z}) : 0u; };
    for (const auto& [x, y, z, colour] : landmarks) EXPECT_EQ(at(x, y, z), colour) << x << "," << y << "," << z;
}
