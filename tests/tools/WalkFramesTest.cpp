// The committed walk cycle as the viewer sees it: every frame loads through
// the .vox reader, and after standing it up and recentring it the character
// stands on the ground, faces +x, is hollow, and moves smoothly round the loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "app/WalkFrames.h"
#include "support/LogCapture.h"
#include "voxel/Vox.h"

namespace {

constexpr int kFrames = 30;
// Colour indices the generator paints with (its palette order).
constexpr uint32_t kSkin = 1, kHair = 3, kPupil = 5, kShoe = 12, kSole = 13;

std::string FramePath(int n) { return VOXWALK_SOURCE_DIR "/" + WalkFrameFileName(n); }

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// The viewer's own two steps: stand the frame up, then recentre it.
void StandAndRecentre(VoxelModel& model) {
    OrientFrame(model);
    RecentreFrame(model);
}

using Cell = std::tuple<int, int, int>;

std::set<Cell> Occupied(const VoxelModel& model) {
    std::set<Cell> cells;
    for (const Voxel& v : model.voxels) cells.insert({v.x, v.y, v.z});
    return cells;
}

// Where the limbs are: the mean x and y of each shoe and of each hand and
// forearm (skin below the shoulders), sides told apart by the sign of z.
struct Limbs {
    double footX[2] = {}, footY[2] = {}, handX[2] = {}, handY[2] = {};
};

Limbs FindLimbs(const VoxelModel& model) {
    int top = -(1 << 30);
    for (const Voxel& v : model.voxels) top = std::max(top, v.y);
    Limbs limbs;
    int feet[2] = {}, hands[2] = {};
    for (const Voxel& v : model.voxels) {
        const int side = v.z < 0 ? 0 : 1;
        if (v.colorIndex == kShoe || v.colorIndex == kSole) {
            limbs.footX[side] += v.x, limbs.footY[side] += v.y, ++feet[side];
        } else if (v.colorIndex == kSkin && v.y < top * 0.6) {
            limbs.handX[side] += v.x, limbs.handY[side] += v.y, ++hands[side];
        }
    }
    for (int side = 0; side < 2; ++side) {
        limbs.footX[side] /= std::max(feet[side], 1), limbs.footY[side] /= std::max(feet[side], 1);
        limbs.handX[side] /= std::max(hands[side], 1), limbs.handY[side] /= std::max(hands[side], 1);
    }
    return limbs;
}

// How far the limbs moved between two frames, in voxels.
double Distance(const Limbs& a, const Limbs& b) {
    double sum = 0;
    for (int side = 0; side < 2; ++side) {
        sum += std::hypot(a.footX[side] - b.footX[side], a.footY[side] - b.footY[side]);
        sum += std::hypot(a.handX[side] - b.handX[side], a.handY[side] - b.handY[side]);
    }
    return sum;
}

class WalkFrames : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        LogCapture quiet;  // the reader logs every chunk
        frames_.assign(kFrames, VoxelModel{});
        for (int n = 1; n <= kFrames; ++n) {
            loaded_[n - 1] = LoadVoxelModel(FramePath(n).c_str(), frames_[n - 1]);
        }
        raw_ = frames_;
        for (VoxelModel& model : frames_) StandAndRecentre(model);
    }
    static std::vector<VoxelModel> frames_;  // stood up and recentred
    static std::vector<VoxelModel> raw_;     // as the reader left them
    static int loaded_[kFrames];
};
std::vector<VoxelModel> WalkFrames::frames_;
std::vector<VoxelModel> WalkFrames::raw_;
int WalkFrames::loaded_[kFrames];

TEST_F(WalkFrames, EveryFileIsAWellFormedMagicaVoxelModel) {
    for (int n = 1; n <= kFrames; ++n) {
        SCOPED_TRACE(n);
        const std::vector<uint8_t> b = ReadAll(FramePath(n));
        ASSERT_GE(b.size(), 56u);
        ASSERT_EQ(std::string(b.begin(), b.begin() + 4), "VOX ");
        ASSERT_EQ(std::string(b.begin() + 8, b.begin() + 12), "MAIN");
        EXPECT_EQ(U32(b, 12), 0u);
        EXPECT_EQ(U32(b, 16), b.size() - 20);  // children: everything after MAIN's header
        ASSERT_EQ(std::string(b.begin() + 20, b.begin() + 24), "SIZE");
        const uint32_t sx = U32(b, 32), sy = U32(b, 36), sz = U32(b, 40);
        EXPECT_LE(std::max({sx, sy, sz}), 256u);
        ASSERT_EQ(std::string(b.begin() + 44, b.begin() + 48), "XYZI");
        const uint32_t count = U32(b, 56);
        ASSERT_EQ(U32(b, 48), 4 + 4 * count);
        const size_t rgba = 60 + 4 * static_cast<size_t>(count);
        ASSERT_EQ(b.size(), rgba + 12 + 1024);
        EXPECT_EQ(std::string(b.begin() + rgba, b.begin() + rgba + 4), "RGBA");
        for (uint32_t i = 0; i < count; ++i) {
            const size_t at = 60 + 4 * static_cast<size_t>(i);
            ASSERT_LT(b[at], sx);
            ASSERT_LT(b[at + 1], sy);
            ASSERT_LT(b[at + 2], sz);
            ASSERT_NE(b[at + 3], 0);
        }
    }
}

TEST_F(WalkFrames, LoadWithTheirPalettes) {
    for (int n = 0; n < kFrames; ++n) {
        SCOPED_TRACE(n + 1);
        EXPECT_EQ(loaded_[n], 1);
        ASSERT_GT(raw_[n].voxels.size(), 1000u);
        for (const Voxel& v : raw_[n].voxels) {
            ASSERT_GE(v.colorIndex, 1u);
            const uint32_t rgba = raw_[n].palette[v.colorIndex - 1];
            ASSERT_EQ(rgba >> 24, 255u) << "colour " << v.colorIndex << " is not opaque";
        }
        // Hair, skin, shirt, trousers, shoes... a character, not a block.
        std::set<uint32_t> colours;
        for (const Voxel& v : raw_[n].voxels) colours.insert(v.colorIndex);
        EXPECT_GE(colours.size(), 8u);
    }
}

TEST_F(WalkFrames, StandOnTheGroundAtTheOrigin) {
    for (int n = 0; n < kFrames; ++n) {
        SCOPED_TRACE(n + 1);
        const auto& voxels = frames_[n].voxels;
        int low = 1 << 30, high = -(1 << 30);
        double sx = 0, sz = 0;
        for (const Voxel& v : voxels) {
            low = std::min(low, v.y);
            high = std::max(high, v.y);
            sx += v.x;
            sz += v.z;
        }
        EXPECT_LE(std::abs(low), 1) << "the lowest voxel is not on the ground";
        EXPECT_GE(high - low + 1, 60);
        EXPECT_LE(high - low + 1, 80);
        EXPECT_LT(std::fabs(sx / voxels.size()), 1.0);
        EXPECT_LT(std::fabs(sz / voxels.size()), 1.0);
        // The shoes are what touches the ground.
        for (const Voxel& v : voxels) {
            if (v.y == low) {
                EXPECT_TRUE(v.colorIndex == kShoe || v.colorIndex == kSole);
            }
        }
    }
}

TEST_F(WalkFrames, FaceForwardAlongX) {
    for (int n = 0; n < kFrames; ++n) {
        SCOPED_TRACE(n + 1);
        double eyes = 0, hair = 0;
        int eyeCount = 0, hairCount = 0;
        for (const Voxel& v : frames_[n].voxels) {
            if (v.colorIndex == kPupil) eyes += v.x, ++eyeCount;
            if (v.colorIndex == kHair) hair += v.x, ++hairCount;
        }
        ASSERT_GT(eyeCount, 0);
        ASSERT_GT(hairCount, 0);
        EXPECT_GT(eyes / eyeCount, hair / hairCount + 5.0) << "the face is not on the +x side";
    }
}

TEST_F(WalkFrames, AreHollowShells) {
    for (int n = 0; n < kFrames; ++n) {
        SCOPED_TRACE(n + 1);
        const std::set<Cell> cells = Occupied(frames_[n]);
        EXPECT_EQ(cells.size(), frames_[n].voxels.size()) << "duplicate voxels";
        int hidden = 0;
        for (const auto& [x, y, z] : cells) {
            const Cell around[6] = {{x - 1, y, z}, {x + 1, y, z}, {x, y - 1, z},
                                    {x, y + 1, z}, {x, y, z - 1}, {x, y, z + 1}};
            hidden += std::all_of(std::begin(around), std::end(around),
                                  [&](const Cell& c) { return cells.count(c) > 0; });
        }
        EXPECT_EQ(hidden, 0) << "voxels that can never be seen";
    }
}

TEST_F(WalkFrames, MoveSmoothlyAndLoop) {
    std::vector<Limbs> limbs;
    for (const VoxelModel& model : frames_) limbs.push_back(FindLimbs(model));
    double largestStep = 0;
    for (int n = 0; n + 1 < kFrames; ++n) {
        EXPECT_NE(Occupied(frames_[n]), Occupied(frames_[n + 1])) << "frames " << n + 1 << " and " << n + 2;
        const double step = Distance(limbs[n], limbs[n + 1]);
        EXPECT_GT(step, 0.5) << "frames " << n + 1 << " and " << n + 2 << " hardly move";
        largestStep = std::max(largestStep, step);
    }
    // Frame 30 leads into frame 1 like any other pair of neighbours...
    const double wrap = Distance(limbs[kFrames - 1], limbs[0]);
    EXPECT_GT(wrap, 0.5);
    EXPECT_LE(wrap, largestStep * 1.01);
    // ...and a quarter of a cycle on, the limbs are far from where they were.
    EXPECT_GT(Distance(limbs[0], limbs[kFrames / 4]), 3 * largestStep);
}

TEST_F(WalkFrames, SwingLegsAndArmsInOpposition) {
    // Over the cycle each foot goes forward while the hand of its side goes
    // back, and the two feet are always on opposite sides of their mean.
    double footMean[2] = {}, handMean[2] = {};
    std::vector<Limbs> limbs;
    for (const VoxelModel& model : frames_) limbs.push_back(FindLimbs(model));
    for (const Limbs& l : limbs) {
        for (int side = 0; side < 2; ++side) footMean[side] += l.footX[side] / kFrames;
        for (int side = 0; side < 2; ++side) handMean[side] += l.handX[side] / kFrames;
    }
    for (int side = 0; side < 2; ++side) {
        double together = 0, feet = 0;
        for (const Limbs& l : limbs) {
            together += (l.footX[side] - footMean[side]) * (l.handX[side] - handMean[side]);
            feet += (l.footX[side] - footMean[side]) * (l.footX[1 - side] - footMean[1 - side]);
        }
        EXPECT_LT(together, 0.0) << "side " << side;
        EXPECT_LT(feet, 0.0);
    }
    // The stride is a real one: each foot travels well over ten voxels.
    for (int side = 0; side < 2; ++side) {
        double lo = 1e9, hi = -1e9;
        for (const Limbs& l : limbs) lo = std::min(lo, l.footX[side]), hi = std::max(hi, l.footX[side]);
        EXPECT_GT(hi - lo, 15.0);
    }
}

}  // namespace
