// The generated monument as the .vox reader sees it.
#include <gtest/gtest.h>

#include <set>
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
    // Cells in file coordinates: the reader mirrors y and z against the SIZE.
    std::set<std::tuple<int, int, int, uint32_t>> cells;
    for (const Voxel& v : model.voxels) {
        cells.insert({v.x, monumentWidth - v.y, monumentHeight - v.z, v.colorIndex});
    }
    EXPECT_EQ(cells.size(), model.voxels.size()) << "two voxels share a cell";
    struct Landmark {
        const char* name;
        int x, y, z;
        uint32_t colour;  // 0: the cell must be empty
    };
    const Landmark landmarks[] = {
        {"first tier's pilaster", 12, 72, 20, 5},
        {"doorway, hollow", 72, 2, 3, 0},
        {"door frame", 72, 2, 10, 6},
        {"outside the first tier", 5, 72, 20, 0},
        {"first tier's band", 12, 72, 16, 3},
        {"first tier's frieze", 12, 72, 25, 4},
        {"obelisk's gold tip", 71, 71, 125, 7},
    };
    for (const Landmark& l : landmarks) {
        bool any = false;
        for (uint32_t c = 1; c < 8; ++c) any |= cells.count({l.x, l.y, l.z, c}) > 0;
        if (l.colour == 0)
            EXPECT_FALSE(any) << l.name;
        else
            EXPECT_EQ(cells.count({l.x, l.y, l.z, l.colour}), 1u) << l.name;
    }
    EXPECT_EQ(model.palette[0], 0xffa4bac4u) << "stone: 196, 186, 164";
}
