// Natural order, the one coordinate change from the editor's axes, and where
// the frames of files, animations and folders end up. Listing folders and
// refusing what holds no model are end-to-end checks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <vector>

#include "MakeVoxel.h"
#include "app/view/ModelFiles.h"
#include "voxel/VoxWrite.h"

namespace {

using namespace voxwrite;
using Cells = std::vector<std::array<int32_t, 3>>;

// Every voxel of every frame, frame by frame.
std::vector<Cells> FrameCells(const LoadedModel& model) {
    std::vector<Cells> frames;
    for (const VoxelModel& frame : model.frames) {
        frames.emplace_back();
        for (const Voxel& v : frame.voxels) frames.back().push_back({v.x, v.y, v.z});
    }
    return frames;
}

class ModelFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/voxwalk-models-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir_ = name;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Write(const std::string& name, const Bytes& bytes) {
        const std::string path = dir_ + "/" + name;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return path;
    }
    std::string dir_;
};

TEST(ModelFiles, NaturalLessOrdersDigitRunsByValue) {
    const struct {
        const char* a;
        const char* b;
        bool less;
    } rows[] = {
        {"walk_2", "walk_10", true},
        {"walk_10", "walk_2", false},
        {"a", "a", false},
        {"a", "a1", true},
        {"x7", "x007", true},
        {"x007", "x7", false},
        {"x007", "x8", true},
        {"f01a", "f1b", true},
        {"B", "a", true},
        {"99999999999999999999", "100000000000000000000", true},
    };
    for (const auto& row : rows) EXPECT_EQ(NaturalLess(row.a, row.b), row.less) << row.a << " < " << row.b;
}

TEST(ModelFiles, EditorAxesTurnUpExactlyAndFramesShareOneOffset) {
    // Editor z up becomes y up: (x, y, z) -> (x, z, -y), exact at any size.
    std::vector<VoxelModel> frames(2);
    frames[0].voxels = {MakeVoxel(0, 0, 0), MakeVoxel(4, 6, 0), MakeVoxel(100, 100, -100, 0)};
    frames[1].voxels = {MakeVoxel(2, 2, 5), MakeVoxel(-16777216, 16777216, 0)};
    for (VoxelModel& frame : frames) ToViewerAxes(frame);
    EXPECT_EQ(frames[1].voxels[1].y, 0);
    EXPECT_EQ(frames[1].voxels[1].z, -16777216);
    frames[1].voxels.pop_back();
    // One offset for both frames: x and z centred on the box of drawn voxels
    // (the colour-0 voxel moves along but does not widen it), lowest at y = 0.
    const VoxelBounds b = PlaceFrames(frames);
    Cells got;
    for (const VoxelModel& frame : frames)
        for (const Voxel& v : frame.voxels) got.push_back({v.x, v.y, v.z});
    EXPECT_EQ(got, (Cells{{-2, 0, 3}, {2, 0, -3}, {98, -100, -97}, {0, 5, 1}}));
    EXPECT_EQ((std::array{b.minX, b.maxX, b.minY, b.maxY, b.minZ, b.maxZ}), (std::array{-2, 2, 0, 5, -3, 3}));
}

TEST_F(ModelFolder, AFilesFramesKeepTheEditorsPlacesAndSeparateFilesStandOnTheirOwn) {
    const Bytes one = Join(Size(1, 1, 1), Xyzi({{0, 0, 0, 1}}));
    // One voxel keyframed from x = 0 at frame 0 to x = 4 at frame 4: a cell a frame.
    const std::string keyed = Write(
        "keyed.vox",
        VoxFile(
            Join(one, Trn(0, {}, 1, -1, {Dict({{"_f", "0"}, {"_t", "0 0 0"}}), Dict({{"_f", "4"}, {"_t", "4 0 0"}})}),
                 Shp(1, 0)),
            200));
    // PACK-style models as frames: each at v + 1/2 - floor(size / 2).
    const std::string pack =
        Write("pack.vox", VoxFile(Join(Size(4, 4, 4), Xyzi({{0, 0, 0, 1}}), Size(4, 4, 4), Xyzi({{3, 3, 3, 1}}))));
    // Two files of a folder, each a voxel elsewhere in its model.
    Write("frames/a_1.vox", VoxFile(Join(Size(8, 8, 8), Xyzi({{0, 0, 0, 1}}))));
    Write("frames/a_2.vox", VoxFile(Join(Size(8, 8, 8), Xyzi({{7, 5, 3, 1}}))));
    const struct {
        std::string path;
        std::vector<Cells> frames;
        bool ownMotion;
    } rows[] = {
        {keyed, {{{-2, 0, 0}}, {{-1, 0, 0}}, {{0, 0, 0}}, {{1, 0, 0}}, {{2, 0, 0}}}, true},
        // Editor (-2, -2, -2) and (1, 1, 1): in the viewer's axes (-2, -2, 2) and (1, 1, -1), then centred.
        {pack, {{{-1, 0, 2}}, {{2, 3, -1}}}, false},
        {dir_ + "/frames", {{{0, 0, 0}}, {{0, 0, 0}}}, false},
    };
    for (const auto& row : rows) {
        LoadedModel model;
        std::string error;
        ASSERT_TRUE(LoadModelFrames(row.path, model, error)) << error;
        EXPECT_EQ(FrameCells(model), row.frames) << row.path;
        EXPECT_EQ(model.ownMotion, row.ownMotion) << row.path;
        EXPECT_EQ(model.bounds.minY, 0) << row.path;
    }
}

}  // namespace
