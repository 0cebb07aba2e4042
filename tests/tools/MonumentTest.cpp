// The generated monument as the .vox reader sees it.
#include <gtest/gtest.h>

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
    EXPECT_EQ(model.voxels.size(), 848276u);
    EXPECT_EQ(model.palette[0], 0xffa4bac4u) << "stone: 196, 186, 164";
    // The colour of each cell in file coordinates: the reader mirrors y and z
    // against the SIZE.
    std::map<std::tuple<int, int, int>, uint32_t> cells;
    for (const Voxel& v : model.voxels) cells[{v.x, monumentWidth - v.y, monumentHeight - v.z}] = v.colorIndex;
    EXPECT_EQ(cells.size(), model.voxels.size()) << "two voxels share a cell";
    // x, y, z and the colour there (0: empty): the first tier's pilaster,
    // band and frieze; outside the first tier; the doorway, hollow, and its
    // frame; the obelisk's gold tip.
    const std::tuple<int, int, int, uint32_t> landmarks[] = {
        {12, 72, 20, 5}, {12, 72, 16, 3}, {12, 72, 25, 4}, {5, 72, 20, 0},
        {72, 2, 3, 0},   {72, 2, 10, 6},  {71, 71, 125, 7},
    };
    for (const auto& [x, y, z, colour] : landmarks) {
        const auto at = cells.find({x, y, z});
        EXPECT_EQ(at == cells.end() ? 0u : at->second, colour) << x << "," << y << "," << z;
    }
}
