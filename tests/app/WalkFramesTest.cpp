#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "app/WalkFrames.h"
#include "MakeVoxel.h"
#include "math/Vector.h"

namespace {

struct Position {
    int32_t x, y, z;
    bool operator==(const Position&) const = default;
};

std::vector<Position> Positions(const VoxelModel& model) {
    std::vector<Position> out;
    for (const Voxel& v : model.voxels) out.push_back({v.x, v.y, v.z});
    return out;
}

void PrintTo(const Position& p, std::ostream* os) {
    *os << "(" << p.x << ", " << p.y << ", " << p.z << ")";
}

}  // namespace

TEST(WalkFrameFileName, FiveDigitsWithLeadingZeros) {
    EXPECT_EQ(WalkFrameFileName(1), "assets/voxels/ZevezuRezov/Walk/walk_00001.vox");
    EXPECT_EQ(WalkFrameFileName(9), "assets/voxels/ZevezuRezov/Walk/walk_00009.vox");
    EXPECT_EQ(WalkFrameFileName(10), "assets/voxels/ZevezuRezov/Walk/walk_00010.vox");
    EXPECT_EQ(WalkFrameFileName(30), "assets/voxels/ZevezuRezov/Walk/walk_00030.vox");
}

TEST(RoundToInt32, NearestWithHalvesToEven) {
    EXPECT_EQ(RoundToInt32(0.5f), 0);
    EXPECT_EQ(RoundToInt32(1.5f), 2);
    EXPECT_EQ(RoundToInt32(2.5f), 2);
    EXPECT_EQ(RoundToInt32(-0.5f), 0);
    EXPECT_EQ(RoundToInt32(-1.5f), -2);
    EXPECT_EQ(RoundToInt32(-29.9999981f), -30);
    EXPECT_EQ(RoundToInt32(1.0000001f), 1);
}

TEST(RoundToInt32, ClampsWhatInt32CannotHold) {
    EXPECT_EQ(RoundToInt32(3.0e9f), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(RoundToInt32(2147483648.0f), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(RoundToInt32(-2147483648.0f), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(RoundToInt32(-1.0e20f), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(RoundToInt32(std::numeric_limits<float>::infinity()),
              std::numeric_limits<int32_t>::max());
    EXPECT_EQ(RoundToInt32(std::numeric_limits<float>::quiet_NaN()), 0);
}

TEST(OrientFrame, QuarterTurnAboutX) {
    VoxelModel model;
    model.voxels = {MakeVoxel(3, 20, 30, 7), MakeVoxel(-4, 0, -9, 2), MakeVoxel(0, 1, 0, 3)};
    OrientFrame(model);
    EXPECT_EQ(Positions(model),
              (std::vector<Position>{{3, -30, 20}, {-4, 9, 0}, {0, 0, 1}}));
    // Colours and order stay as the reader left them.
    EXPECT_EQ(model.voxels[0].colorIndex, 7u);
    EXPECT_EQ(model.voxels[1].colorIndex, 2u);
    EXPECT_EQ(model.voxels[2].colorIndex, 3u);
}

TEST(OrientFrame, ExtremeCoordinatesStayInRange) {
    // A crafted file can put a voxel at the ends of the int32 range; the
    // turned position must still be a valid int32 (UBSan watches the cast).
    VoxelModel model;
    model.voxels = {MakeVoxel(std::numeric_limits<int32_t>::min(), 0,
                              std::numeric_limits<int32_t>::max())};
    OrientFrame(model);
    EXPECT_EQ(model.voxels[0].x, std::numeric_limits<int32_t>::min());
    EXPECT_EQ(model.voxels[0].y, std::numeric_limits<int32_t>::min());
    // cos 90 degrees in single precision is -4.4e-8, which at 2^31 is no
    // longer rounded away; the value only has to stay small.
    EXPECT_LT(std::abs(model.voxels[0].z), 100);
}

TEST(RecentreFrame, CentresXZAndLowersByTwiceTheCentreHeight) {
    VoxelModel two;
    two.voxels = {MakeVoxel(0, 0, 0), MakeVoxel(2, 4, 6)};
    RecentreFrame(two);
    EXPECT_EQ(Positions(two), (std::vector<Position>{{-1, -4, -3}, {1, 0, 3}}));

    VoxelModel one;
    one.voxels = {MakeVoxel(5, 7, 9)};
    RecentreFrame(one);
    EXPECT_EQ(Positions(one), (std::vector<Position>{{0, -7, 0}}));
}

TEST(RecentreFrame, HalvesRoundToEven) {
    // Centre x = 0.5: differences -0.5 and 0.5 both round to 0.
    VoxelModel half;
    half.voxels = {MakeVoxel(0, 0, 0), MakeVoxel(1, 0, 0)};
    RecentreFrame(half);
    EXPECT_EQ(half.voxels[0].x, 0);
    EXPECT_EQ(half.voxels[1].x, 0);

    // Centre x = 1.5, z = -1.5: differences of 1.5 round away to 2.
    VoxelModel oneAndHalf;
    oneAndHalf.voxels = {MakeVoxel(0, 0, 0), MakeVoxel(3, 0, -3)};
    RecentreFrame(oneAndHalf);
    EXPECT_EQ(Positions(oneAndHalf), (std::vector<Position>{{-2, 0, 2}, {2, 0, -2}}));
}

TEST(RecentreFrame, EmptyModelIsLeftAlone) {
    VoxelModel model;
    RecentreFrame(model);
    EXPECT_TRUE(model.voxels.empty());
}

TEST(CubeTables, FacesLieOnTheirSideAndWindCounterClockwiseFromOutside) {
    for (int f = 0; f < 6; ++f) {
        const Vector3& n = cubeNormals[f];
        for (int k = 0; k < 4; ++k) {
            EXPECT_FLOAT_EQ(dot(cubeCorners[cubeFaces[f][k]], n), 0.5f) << "face " << f;
        }
        // Each consecutive triple turns the same way as the outward normal,
        // which is what back-face culling keeps.
        for (int k = 0; k < 4; ++k) {
            const Vector3& a = cubeCorners[cubeFaces[f][k]];
            const Vector3& b = cubeCorners[cubeFaces[f][(k + 1) % 4]];
            const Vector3& c = cubeCorners[cubeFaces[f][(k + 2) % 4]];
            EXPECT_GT(dot(cross(b - a, c - b), n), 0.0f) << "face " << f << " corner " << k;
        }
    }
}
