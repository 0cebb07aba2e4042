// Pictures' framing without GL: the hull candidates against every voxel
// corner (brute force), the projected bounds against the 90% rule, and the
// snapshot's time limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "MakeVoxel.h"
#include "app/view/Framing.h"
#include "app/view/Snapshot.h"

namespace {

VoxelModel Model(const std::vector<Voxel>& voxels) {
    VoxelModel model;
    model.voxels = voxels;
    model.palette.fill(0xff808080u);
    return model;
}

// Shapes whose hulls differ: a block, a ball, a 3D checkerboard, an L, a
// tower, a single voxel, and undrawn cells that must not count.
std::vector<std::pair<const char*, VoxelModel>> Shapes() {
    std::vector<Voxel> block, ball, checker, ell, tower;
    for (int x = 0; x < 7; ++x) {
        for (int y = 0; y < 7; ++y) {
            for (int z = 0; z < 7; ++z) {
                block.push_back(MakeVoxel(x, y, z));
                if ((x - 3) * (x - 3) + (y - 3) * (y - 3) + (z - 3) * (z - 3) <= 9) ball.push_back(MakeVoxel(x, y, z));
                if ((x + y + z) % 2 == 0) checker.push_back(MakeVoxel(x - 9, y, z + 4));
                if ((x == 0 || z == 0) && y < 3) ell.push_back(MakeVoxel(x, y, z));
            }
        }
    }
    for (int y = 0; y < 40; ++y) tower.push_back(MakeVoxel(0, y, 0)), tower.push_back(MakeVoxel(1, y, 1));
    std::vector<Voxel> undrawn = {MakeVoxel(0, 0, 0), MakeVoxel(50, 0, 0, 0)};
    return {{"block", Model(block)},    {"ball", Model(ball)},   {"checkerboard", Model(checker)},
            {"L", Model(ell)},          {"tower", Model(tower)}, {"one voxel", Model({MakeVoxel(3, -2, 5)})},
            {"undrawn", Model(undrawn)}};
}

TEST(Framing, HullCandidatesReachAsFarAsEveryVoxelCornerInAnyDirection) {
    ModelClock turned;
    turned.heading = 37.0;
    turned.turn = 21.0;
    const Matrix4 placement = PicturePlacement(turned, Vector2(1.5f, -0.5f));
    std::vector<Vector3> directions;
    for (int i = 0; i < 26; ++i) {
        // The 26 directions to a cube's neighbours, bent a little off the axes.
        const int d[3] = {i % 3 - 1, i / 3 % 3 - 1, i / 9 % 3 - 1};
        directions.push_back(Vector3(d[0] + 0.013f * i, d[1] - 0.007f * i, d[2] + 0.011f));
    }
    for (const auto& [name, model] : Shapes()) {
        std::vector<Vector3> candidates, corners;
        AppendHullCandidates(model, placement, candidates);
        for (const Voxel& v : model.voxels) {
            if (v.colorIndex == 0) continue;
            for (int k = 0; k < 8; ++k) {
                corners.push_back(Vector3(
                    Vector3(v.x + (k & 1 ? 0.5f : -0.5f), v.y + (k & 2 ? 0.5f : -0.5f), v.z + (k & 4 ? 0.5f : -0.5f)) *
                    placement));
            }
        }
        ASSERT_FALSE(candidates.empty()) << name;
        EXPECT_LT(candidates.size(), corners.size() / 2 + 9) << name;
        for (const Vector3& d : directions) {
            const auto reach = [&d](const std::vector<Vector3>& points) {
                float best = -1e30f;
                for (const Vector3& p : points) best = std::max(best, dot(p, d));
                return best;
            };
            EXPECT_NEAR(reach(candidates), reach(corners), 1e-3f) << name;
        }
    }
    std::vector<Vector3> block;
    AppendHullCandidates(Shapes()[0].second, placement, block);
    EXPECT_EQ(block.size(), 8u) << "a solid block: its eight corners";
}

TEST(Framing, TheLargerSideOfTheProjectedBoundsFillsNinetyPercentOfTheShorterSideCentred) {
    for (const auto& [name, model] : Shapes()) {
        std::vector<Vector3> points;
        AppendHullCandidates(model, PicturePlacement(ModelClock{}, Vector2()), points);
        for (ViewName view : {ViewName::Window, ViewName::Front, ViewName::Side, ViewName::Top, ViewName::Iso}) {
            for (const auto& [width, height] : {std::pair{160, 120}, {96, 128}, {64, 64}}) {
                const float aspect = float(width) / float(height);
                const PictureView picture = FramePoints(view, points, aspect, 0.2f);
                Matrix4 camera(0.0f);
                setLookAt(camera, picture.stage.eye, picture.stage.target, picture.stage.up);
                float x0 = 1e9f, x1 = -1e9f, y0 = 1e9f, y1 = -1e9f;
                for (const Vector3& p : points) {
                    const Vector4 eye = p * camera, clip = eye * picture.projection;
                    ASSERT_TRUE(clip.w > 0 && clip.z > -clip.w && clip.z < clip.w)
                        << name << " outside the depth range";
                    const float x = (clip.x / clip.w + 1) / 2 * width, y = (clip.y / clip.w + 1) / 2 * height;
                    x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
                }
                const std::string where = std::string(name) + ", view " + std::to_string(int(view)) + ", " +
                                          std::to_string(width) + "x" + std::to_string(height);
                EXPECT_NEAR(std::max(x1 - x0, y1 - y0) / std::min(width, height), kPictureFill, 1e-3) << where;
                EXPECT_NEAR((x0 + x1) / 2, width / 2.0f, 1e-2) << where;
                EXPECT_NEAR((y0 + y1) / 2, height / 2.0f, 1e-2) << where;
            }
        }
    }
}

TEST(Deadline, EndsTheProcessWithOneLineUnlessDisarmedFirst) {
    EXPECT_EXIT(
        {
            Deadline deadline;
            ArmDeadline(deadline, 0.05, "m.vox: too slow");
            std::this_thread::sleep_for(std::chrono::seconds(5));
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(1), "^voxwalk: m.vox: too slow\n$");
    Deadline deadline;
    ArmDeadline(deadline, 0.2, "never said");
    DisarmDeadline(deadline);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    DisarmDeadline(deadline);  // again, and on one never armed
    Deadline unused;
    DisarmDeadline(unused);
}

}  // namespace
