#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>
#include <vector>

#include "MakeVoxel.h"
#include "app/stage/FrameMesh.h"

namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min(), kMax = std::numeric_limits<int32_t>::max();
using Quad = std::array<std::array<float, 3>, 5>;

// The quads of the model's mesh, four corners then the first corner's normal;
// the model has palette entries 1 and 2.
std::vector<Quad> Quads(const std::vector<Voxel>& voxels, FaceSelection selection) {
    VoxelModel model{voxels};
    model.palette[0] = 0xff0000ffu, model.palette[1] = 0xff00ff00u;
    FrameMesh mesh;
    BuildFrameMesh(model, selection, mesh);
    std::vector<Quad> quads(mesh.vertices.size() / 4);
    for (size_t v = 0; v < quads.size() * 4; ++v)
        for (int a = 0; a < 3; ++a) {
            quads[v / 4][v % 4][a] = mesh.vertices[v].position[a];
            if (v % 4 == 0) quads[v / 4][4][a] = mesh.vertices[v].normal[a];
        }
    return quads;
}

TEST(FrameMesh, FaceCountsPerSelection) {
    std::vector<Voxel> checkerboard;  // 5 x 4 x 3 in two colours: nothing to merge
    for (int n = 0; n < 60; ++n)
        checkerboard.push_back(MakeVoxel(n % 5, n / 5 % 4, n / 20, 1 + (n % 5 + n / 5 % 4 + n / 20) % 2));
    const struct {
        const char* name;
        std::vector<Voxel> voxels;
        size_t all, visible, merged;
    } cases[] = {
        {"OneVoxel", {MakeVoxel(0, 0, 0)}, 6, 6, 6},
        {"TwoSideBySide", {MakeVoxel(0, 0, 0), MakeVoxel(1, 0, 0)}, 12, 10, 6},
        {"TwoColoursDoNotMerge", {MakeVoxel(0, 0, 0, 1), MakeVoxel(1, 0, 0, 2)}, 12, 10, 10},
        {"LShape", {MakeVoxel(0, 0, 0), MakeVoxel(1, 0, 0), MakeVoxel(0, 1, 0)}, 18, 14, 10},
        // No palette entry: no faces, and the neighbour's face stays.
        {"ColourZeroHidesNothing", {MakeVoxel(0, 0, 0), MakeVoxel(1, 0, 0, 0)}, 6, 6, 6},
        {"ColourBeyondThePalette", {MakeVoxel(0, 0, 0, 257), MakeVoxel(0, 1, 0)}, 6, 6, 6},
        // Whole cubes draw both; merged faces keep one per cell.
        {"TwoInOneCell", {MakeVoxel(4, 4, 4), MakeVoxel(4, 4, 4)}, 12, 12, 6},
        // A box too wide for a bit per cell goes through the sorted list.
        {"EndsOfTheInt32Range",
         {MakeVoxel(kMin, 0, kMin), MakeVoxel(kMax - 1, 0, kMax), MakeVoxel(kMax, 0, kMax)},
         18,
         16,
         12},
        {"Empty", {}, 0, 0, 0},
        {"CheckerboardBlock", checkerboard, 360, 94, 94},
    };
    for (const auto& c : cases) {
        const std::array got{Quads(c.voxels, FaceSelection::All).size(), Quads(c.voxels, FaceSelection::Visible).size(),
                             Quads(c.voxels, FaceSelection::Merged).size()};
        EXPECT_EQ(got, (std::array{c.all, c.visible, c.merged})) << c.name;
    }
}

TEST(FrameMesh, MergedRectanglesKeepTheFaceWindingAndCoverExactlyTheVisibleFaces) {
    // A stepped, two-coloured mound: runs of every length, holes and steps.
    std::vector<Voxel> voxels;
    for (int x = -6; x <= 6; ++x)
        for (int z = -6; z <= 6; ++z)
            for (int y = 0; y < 6 - std::max(std::abs(x), std::abs(z)) / 2; ++y)
                if ((x * 7 + z * 3 + y) % 5 != 0) voxels.push_back(MakeVoxel(x, y, z, 1 + (x * z > 4)));
    const std::vector<Quad> merged = Quads(voxels, FaceSelection::Merged);
    double area = 0;  // of each axis-aligned rectangle: the product of its two extents
    for (const Quad& q : merged) {
        double a = 1;
        for (int axis = 0; axis < 3; ++axis) {
            const auto [low, high] = std::minmax({q[0][axis], q[1][axis], q[2][axis], q[3][axis]});
            if (high > low) a *= high - low;
        }
        area += a;
    }
    const size_t visible = Quads(voxels, FaceSelection::Visible).size();
    EXPECT_DOUBLE_EQ(area, static_cast<double>(visible));
    EXPECT_LT(merged.size(), visible);
    // The top of a row of three, corners in the order of cube face 0.
    const Quad top{{{-0.5f, 0.5f, 0.5f}, {-0.5f, -0.5f, 0.5f}, {2.5f, -0.5f, 0.5f}, {2.5f, 0.5f, 0.5f}, {0, 0, 1}}};
    const std::vector<Quad> row =
        Quads({MakeVoxel(0, 0, 0), MakeVoxel(1, 0, 0), MakeVoxel(2, 0, 0)}, FaceSelection::Merged);
    EXPECT_EQ(std::count(row.begin(), row.end(), top), 1);
}

}  // namespace
