#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include "MakeVoxel.h"
#include "app/FrameMesh.h"

namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

VoxelModel Model(std::vector<Voxel> voxels) {
    VoxelModel model;
    model.voxels = std::move(voxels);
    model.palette[0] = 0xff0000ffu;  // colour index 1
    model.palette[1] = 0xff00ff00u;  // colour index 2
    return model;
}

size_t Quads(const VoxelModel& model, FaceSelection selection) {
    FrameMesh mesh;
    BuildFrameMesh(model, selection, mesh);
    return mesh.vertices.size() / 4;
}

// A w x h x d block in a checkerboard of two colours: nothing to merge.
std::vector<Voxel> Checkerboard(int w, int h, int d) {
    std::vector<Voxel> voxels;
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y)
            for (int z = 0; z < d; ++z) voxels.push_back(MakeVoxel(x, y, z, 1 + (x + y + z) % 2));
    return voxels;
}

struct Counts {
    const char* name;
    std::vector<Voxel> voxels;
    size_t all, visible, merged;
};

const std::vector<Counts> kCounts = {
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
    {"CheckerboardBlock", Checkerboard(5, 4, 3), 360, 94, 94},
};

TEST(FrameMesh, FaceCountsPerSelection) {
    for (const Counts& c : kCounts) {
        const VoxelModel model = Model(c.voxels);
        EXPECT_EQ(Quads(model, FaceSelection::All), c.all) << c.name;
        EXPECT_EQ(Quads(model, FaceSelection::Visible), c.visible) << c.name;
        EXPECT_EQ(Quads(model, FaceSelection::Merged), c.merged) << c.name;
    }
}

using Quad = std::array<std::array<float, 3>, 4>;

Quad QuadAt(const FrameMesh& mesh, size_t quad) {
    Quad corners{};
    for (size_t k = 0; k < 4 && 4 * quad + k < mesh.vertices.size(); ++k) {
        for (int a = 0; a < 3; ++a) corners[k][a] = mesh.vertices[4 * quad + k].position[a];
    }
    return corners;
}

TEST(FrameMesh, MergedRectangleKeepsTheFaceWinding) {
    const VoxelModel model = Model({MakeVoxel(0, 0, 0), MakeVoxel(1, 0, 0), MakeVoxel(2, 0, 0)});
    FrameMesh mesh;
    BuildFrameMesh(model, FaceSelection::Merged, mesh);
    size_t top = 0;
    while (top * 4 < mesh.vertices.size() && mesh.vertices[top * 4].normal[2] != 1.0f) ++top;
    // The top of the row, corners in the order of cube face 0.
    const Quad expected{
        {{-0.5f, 0.5f, 0.5f}, {-0.5f, -0.5f, 0.5f}, {2.5f, -0.5f, 0.5f}, {2.5f, 0.5f, 0.5f}}};
    EXPECT_EQ(QuadAt(mesh, top), expected);
}

// Area of an axis-aligned rectangle: the product of its two extents.
double Area(const Quad& q) {
    double area = 1;
    for (int a = 0; a < 3; ++a) {
        const auto [low, high] = std::minmax({q[0][a], q[1][a], q[2][a], q[3][a]});
        if (high > low) area *= high - low;
    }
    return area;
}

TEST(FrameMesh, MergingCoversExactlyTheVisibleFaces) {
    // A stepped, two-coloured mound: runs of every length, holes and steps.
    std::vector<Voxel> voxels;
    for (int x = -6; x <= 6; ++x)
        for (int z = -6; z <= 6; ++z)
            for (int y = 0; y < 6 - std::max(std::abs(x), std::abs(z)) / 2; ++y)
                if ((x * 7 + z * 3 + y) % 5 != 0)
                    voxels.push_back(MakeVoxel(x, y, z, 1 + (x * z > 4)));
    const VoxelModel model = Model(voxels);
    FrameMesh visible, merged;
    BuildFrameMesh(model, FaceSelection::Visible, visible);
    BuildFrameMesh(model, FaceSelection::Merged, merged);
    double area = 0;
    for (size_t q = 0; q * 4 < merged.vertices.size(); ++q) area += Area(QuadAt(merged, q));
    EXPECT_DOUBLE_EQ(area, static_cast<double>(visible.vertices.size() / 4));
    EXPECT_LT(merged.vertices.size(), visible.vertices.size());
}

}  // namespace
