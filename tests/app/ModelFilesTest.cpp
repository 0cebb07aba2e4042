#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "MakeVoxel.h"
#include "app/ModelFiles.h"
#include "voxel/VoxWriter.h"

namespace {

TEST(NaturalLess, OrdersDigitRunsByValue) {
    const struct { const char* a; const char* b; bool less; } rows[] = {
        {"walk_2", "walk_10", true}, {"walk_10", "walk_2", false}, {"a", "a", false},
        {"a", "a1", true},           {"x7", "x007", true},         {"x007", "x7", false},
        {"x007", "x8", true},        {"f01a", "f1b", true},        {"B", "a", true},
        {"99999999999999999999", "100000000000000000000", true},
    };
    for (const auto& row : rows) EXPECT_EQ(NaturalLess(row.a, row.b), row.less) << row.a << " < " << row.b;
}

class ModelFolder : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_NE(mkdtemp(dir.data()), nullptr); }
    void TearDown() override { std::filesystem::remove_all(dir); }
    void Write(const std::string& name, const voxwrite::Bytes& bytes) {
        std::ofstream(dir + "/" + name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    std::string dir = "/tmp/voxwalk-model-XXXXXX";
};

TEST_F(ModelFolder, ListsVoxFilesInNaturalOrder) {
    for (const char* name : {"walk_10.vox", "walk_2.vox", "WALK_3.VOX", "notes.txt", ".vox"}) Write(name, {});
    ASSERT_EQ(mkdir((dir + "/folder.vox").c_str(), 0755), 0);
    std::vector<std::string> files;
    std::string error;
    ASSERT_TRUE(ListVoxFiles(dir, files, error)) << error;
    EXPECT_EQ(files, (std::vector<std::string>{dir + "/WALK_3.VOX", dir + "/walk_2.vox", dir + "/walk_10.vox"}));
}

TEST_F(ModelFolder, RefusesWhatHoldsNoModel) {
    using namespace voxwrite;
    const struct { const char* file; Bytes bytes; const char* path; const char* errorPart; } rows[] = {
        {nullptr, {}, "/nothing.vox", "No such file"},
        {nullptr, {}, "", "no .vox files"},
        {"empty.vox", VoxFile(Join(Size(4, 4, 4), Xyzi({}))), "/empty.vox", "holds no voxels"},
        {"zero.vox", VoxFile(Join(Size(4, 4, 4), Xyzi({{1, 1, 1, 0}}))), "/zero.vox", "holds no voxels"},
        {"text.vox", Text("hello, world"), "/text.vox", "neither a MagicaVoxel file nor a Poly2Vox file"},
    };
    for (const auto& row : rows) {
        for (const auto& entry : std::filesystem::directory_iterator(dir)) std::filesystem::remove(entry);
        if (row.file) Write(row.file, row.bytes);
        LoadedModel model;
        std::string error;
        EXPECT_FALSE(LoadModelFrames(dir + row.path, model, error));
        EXPECT_EQ(error.rfind(dir + row.path + ": ", 0), 0u) << error;
        EXPECT_NE(error.find(row.errorPart), std::string::npos) << error;
    }
}

TEST(PlaceFrames, OneOffsetForAllFramesFromTheirCommonBox) {
    // Reader coordinates; standing up maps (x, y, z) to (x, -z, y). The
    // colour-0 voxel moves along but does not widen the box.
    std::vector<VoxelModel> frames(2);
    frames[0].voxels = {MakeVoxel(0, 0, 0), MakeVoxel(4, 0, -6), MakeVoxel(100, -100, 100, 0)};
    frames[1].voxels = {MakeVoxel(2, 5, -2)};
    const VoxelBounds b = PlaceFrames(frames);
    const int32_t expected[4][3] = {{-2, 0, -2}, {2, 6, -2}, {98, -100, -102}, {0, 2, 3}};
    const Voxel* got[4] = {&frames[0].voxels[0], &frames[0].voxels[1], &frames[0].voxels[2], &frames[1].voxels[0]};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ((std::vector<int32_t>{got[i]->x, got[i]->y, got[i]->z}), (std::vector<int32_t>(expected[i], expected[i] + 3)));
    EXPECT_EQ((std::vector<int32_t>{b.minX, b.maxX, b.minY, b.maxY, b.minZ, b.maxZ}),
              (std::vector<int32_t>{-2, 2, 0, 6, -2, 3}));
}

}  // namespace
