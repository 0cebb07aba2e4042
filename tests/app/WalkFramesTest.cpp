// Rounding, standing frames up and recentring them, and the cube. The frame files' names are checked by the
// viewer's log of a run with the shipped assets (no_display.sh).
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "app/stage/FrameMesh.h"
#include "app/walk/WalkFrames.h"

namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min(), kMax = std::numeric_limits<int32_t>::max();
constexpr float kInf = std::numeric_limits<float>::infinity();
using Cells = std::vector<std::array<int32_t, 3>>;

// The cells after OrientFrame or RecentreFrame, in the reader's order.
Cells After(void (*step)(VoxelModel&), const Cells& cells) {
    VoxelModel model;
    for (const auto& c : cells) model.voxels.push_back({c[0], c[1], c[2], 1, 0});
    step(model);
    Cells out;
    for (const Voxel& v : model.voxels) out.push_back({v.x, v.y, v.z});
    return out;
}

TEST(WalkFrames, RoundThenStandUpThenCentreOverTheOriginLoweredByTwiceTheCentreHeight) {
    // Nearest, halves to even, clamped to the int32 range.
    const std::pair<float, int32_t> cases[] = {{0.5f, 0},
                                               {1.5f, 2},
                                               {2.5f, 2},
                                               {-0.5f, 0},
                                               {-1.5f, -2},
                                               {-29.9999981f, -30},
                                               {1.0000001f, 1},
                                               {3.0e9f, kMax},
                                               {2147483648.0f, kMax},
                                               {-2147483648.0f, kMin},
                                               {-1.0e20f, kMin},
                                               {kInf, kMax},
                                               {-kInf, kMin},
                                               {std::nanf(""), 0}};
    for (auto [value, rounded] : cases) EXPECT_EQ(RoundToInt32(value), rounded) << value;
    EXPECT_EQ(After(OrientFrame, {{3, 20, 30}, {-4, 0, -9}, {0, 1, 0}}), (Cells{{3, -30, 20}, {-4, 9, 0}, {0, 0, 1}}));
    // A crafted file's extreme cell stays a valid int32 (UBSan watches the
    // casts); the cosine's single-precision error is no longer rounded away.
    const Cells extreme = After(OrientFrame, {{kMin, 0, kMax}});
    EXPECT_TRUE(extreme[0][0] == kMin && extreme[0][1] == kMin && std::abs(extreme[0][2]) < 100);
    const std::pair<Cells, Cells> recentred[] = {
        {{{0, 0, 0}, {2, 4, 6}}, {{-1, -4, -3}, {1, 0, 3}}},
        {{{5, 7, 9}}, {{0, -7, 0}}},
        {{{0, 0, 0}, {1, 0, 0}}, {{0, 0, 0}, {0, 0, 0}}},     // differences of 0.5 round to 0
        {{{0, 0, 0}, {3, 0, -3}}, {{-2, 0, 2}, {2, 0, -2}}},  // and of 1.5 to 2
        {{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {1, 4, 1}}, {{0, -2, 0}, {0, -2, 0}, {0, -2, 0}, {0, 0, 0}}},  // -2.5, 0.5
        {{}, {}}};
    for (const auto& [before, after] : recentred) EXPECT_EQ(After(RecentreFrame, before), after);
}

TEST(CubeTables, FacesLieOnTheirSideAndWindCounterClockwiseFromOutside) {
    for (int n = 0; n < 24; ++n) {
        const int f = n / 4, k = n % 4;
        const Vector3 &a = cubeCorners[cubeFaces[f][k]], &b = cubeCorners[cubeFaces[f][(k + 1) % 4]];
        EXPECT_FLOAT_EQ(dot(a, cubeNormals[f]), 0.5f) << "face " << f;
        // Each corner turns the way of the outward normal, which is what
        // back-face culling keeps.
        EXPECT_GT(dot(cross(b - a, cubeCorners[cubeFaces[f][(k + 2) % 4]] - b), cubeNormals[f]), 0.0f) << f;
    }
}

}  // namespace
