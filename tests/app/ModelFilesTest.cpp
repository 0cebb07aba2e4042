// Natural order and placing the frames; listing folders and refusing what holds no model are end-to-end checks.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "MakeVoxel.h"
#include "app/ModelFiles.h"

namespace {

TEST(ModelFiles, NaturalLessOrdersDigitRunsByValueAndPlaceFramesGivesAllFramesOneOffset) {
    const struct { const char* a; const char* b; bool less; } rows[] = {
        {"walk_2", "walk_10", true}, {"walk_10", "walk_2", false}, {"a", "a", false},
        {"a", "a1", true},           {"x7", "x007", true},         {"x007", "x7", false},
        {"x007", "x8", true},        {"f01a", "f1b", true},        {"B", "a", true},
        {"99999999999999999999", "100000000000000000000", true},
    };
    for (const auto& row : rows) EXPECT_EQ(NaturalLess(row.a, row.b), row.less) << row.a << " < " << row.b;

    // Reader coordinates; standing up maps (x, y, z) to (x, -z, y). The
    // colour-0 voxel moves along but does not widen the box.
    std::vector<VoxelModel> frames(2);
    frames[0].voxels = {MakeVoxel(0, 0, 0), MakeVoxel(4, 0, -6), MakeVoxel(100, -100, 100, 0)};
    frames[1].voxels = {MakeVoxel(2, 5, -2)};
    const VoxelBounds b = PlaceFrames(frames);
    std::vector<std::array<int32_t, 3>> got;
    for (const VoxelModel& frame : frames)
        for (const Voxel& v : frame.voxels) got.push_back({v.x, v.y, v.z});
    EXPECT_EQ(got, (std::vector<std::array<int32_t, 3>>{{-2, 0, -2}, {2, 6, -2}, {98, -100, -102}, {0, 2, 3}}));
    EXPECT_EQ((std::array{b.minX, b.maxX, b.minY, b.maxY, b.minZ, b.maxZ}), (std::array{-2, 2, 0, 6, -2, 3}));
}

}  // namespace
