#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "MakeVoxel.h"
#include "app/ModelFiles.h"
#include "voxel/VoxWriter.h"

namespace {

struct Order {
    const char* a;
    const char* b;
    bool less;
};

const Order kOrders[] = {
    {"walk_2", "walk_10", true},   {"walk_10", "walk_2", false}, {"walk_9.vox", "walk_10.vox", true},
    {"a", "b", true},              {"b", "a", false},            {"a", "a", false},
    {"a", "a1", true},             {"a1", "a", false},           {"x007", "x7", false},
    {"x7", "x007", true},          {"x007", "x8", true},         {"f1b", "f01a", false},
    {"f01a", "f1b", true},         {"99999999999999999999", "100000000000000000000", true},
    {"B", "a", true},              {"1", "a", true},
};

TEST(NaturalLess, OrdersDigitRunsByValue) {
    for (const Order& o : kOrders) {
        EXPECT_EQ(NaturalLess(o.a, o.b), o.less) << o.a << " < " << o.b;
    }
}

// A folder of its own under the test's temporary directory, removed at the end.
class ModelFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/voxwalk-model-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

    std::string Write(const std::string& name, const voxwrite::Bytes& bytes) {
        const std::string path = dir + "/" + name;
        FILE* f = std::fopen(path.c_str(), "wb");
        if (f) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        return path;
    }

    std::string dir;
};

voxwrite::Bytes OneCube(uint8_t colour, uint8_t height = 1) {
    using namespace voxwrite;
    Bytes cells = Int32s({height});
    for (uint8_t z = 0; z < height; ++z) cells.insert(cells.end(), {0, 0, z, colour});
    return VoxFile(Join(Size(1, 1, height), Chunk("XYZI", cells)));
}

TEST_F(ModelFolder, ListsVoxFilesInNaturalOrder) {
    Write("walk_10.vox", OneCube(1));
    Write("walk_2.vox", OneCube(1));
    Write("WALK_3.VOX", OneCube(1));
    Write("notes.txt", {});
    Write(".vox", {});  // a name that is only the extension
    ASSERT_EQ(mkdir((dir + "/folder.vox").c_str(), 0755), 0);
    std::vector<std::string> files;
    std::string error;
    ASSERT_TRUE(ListVoxFiles(dir, files, error)) << error;
    const std::vector<std::string> expected = {dir + "/WALK_3.VOX", dir + "/walk_2.vox",
                                               dir + "/walk_10.vox"};
    EXPECT_EQ(files, expected);
}

TEST_F(ModelFolder, FolderFramesFollowTheFileOrder) {
    Write("f10.vox", OneCube(3, 3));
    Write("f9.vox", OneCube(2, 2));
    Write("f1.vox", OneCube(1, 1));
    LoadedModel model;
    std::string error;
    ASSERT_TRUE(LoadModelFrames(dir + "/", model, error)) << error;
    ASSERT_EQ(model.frames.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(model.frames[i].voxels.size(), i + 1) << "frame " << i;
        EXPECT_EQ(model.frames[i].voxels[0].colorIndex, i + 1) << "frame " << i;
    }
    EXPECT_EQ(model.bounds.maxY, 2);  // the tallest frame's three voxels stand on y = 0
    EXPECT_EQ(model.name, dir.substr(dir.rfind('/') + 1));
}

struct Failure {
    const char* name;
    const char* file;          // written into the folder unless null
    voxwrite::Bytes bytes;
    const char* path;          // relative to the folder
    const char* errorPart;
};

TEST_F(ModelFolder, RefusesWhatHoldsNoModel) {
    using namespace voxwrite;
    const Failure kFailures[] = {
        {"missing file", nullptr, {}, "/nothing.vox", "No such file"},
        {"empty folder", nullptr, {}, "", "no .vox files"},
        {"no voxels", "empty.vox", VoxFile(Join(Size(4, 4, 4), Xyzi({}))), "/empty.vox", "holds no voxels"},
        {"only colour 0", "zero.vox", VoxFile(Join(Size(4, 4, 4), Xyzi({{1, 1, 1, 0}}))), "/zero.vox", "holds no voxels"},
        {"not a model", "text.vox", Text("hello, world"), "/text.vox", "neither a MagicaVoxel file nor a Poly2Vox file"},
        {"empty file", "nothing.vox", {}, "/nothing.vox", "neither a MagicaVoxel file nor a Poly2Vox file"},
    };
    for (const Failure& f : kFailures) {
        std::system(("rm -f '" + dir + "'/*").c_str());
        if (f.file) Write(f.file, f.bytes);
        const std::string path = dir + f.path;
        LoadedModel model;
        std::string error;
        EXPECT_FALSE(LoadModelFrames(path, model, error)) << f.name;
        EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << f.name << ": " << error;
        EXPECT_NE(error.find(f.errorPart), std::string::npos) << f.name << ": " << error;
        EXPECT_TRUE(model.frames.empty()) << f.name;
    }
}

TEST_F(ModelFolder, ReadsAPoly2VoxFile) {
    using namespace voxwrite;
    // 1 x 2 x 1 cells: one solid (colour 5), one empty.
    Bytes file = Int32s({1, 2, 1});
    file.insert(file.end(), {5, 0});
    file.resize(file.size() + 768, 0);
    LoadedModel model;
    std::string error;
    ASSERT_TRUE(LoadModelFrames(Write("old.p2v", file), model, error)) << error;
    ASSERT_EQ(model.frames.size(), 1u);
    EXPECT_EQ(model.frames[0].voxels.size(), 1u);
}

TEST(PlaceFrames, OneOffsetForAllFramesFromTheirCommonBox) {
    // Reader coordinates; standing up maps (x, y, z) to (x, -z, y).
    std::vector<VoxelModel> frames(2);
    frames[0].voxels = {MakeVoxel(0, 0, 0), MakeVoxel(4, 0, -6), MakeVoxel(100, -100, 100, 0)};
    frames[1].voxels = {MakeVoxel(2, 5, -2)};
    const VoxelBounds b = PlaceFrames(frames);
    const int32_t expected[4][3] = {{-2, 0, -2}, {2, 6, -2}, {98, -100, -102}, {0, 2, 3}};
    const Voxel* got[4] = {&frames[0].voxels[0], &frames[0].voxels[1], &frames[0].voxels[2],
                           &frames[1].voxels[0]};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(got[i]->x, expected[i][0]) << "voxel " << i;
        EXPECT_EQ(got[i]->y, expected[i][1]) << "voxel " << i;
        EXPECT_EQ(got[i]->z, expected[i][2]) << "voxel " << i;
    }
    // The colour-0 voxel is moved along but does not widen the box.
    EXPECT_EQ(b.minX, -2);
    EXPECT_EQ(b.maxX, 2);
    EXPECT_EQ(b.minY, 0);
    EXPECT_EQ(b.maxY, 6);
    EXPECT_EQ(b.minZ, -2);
    EXPECT_EQ(b.maxZ, 3);
}

}  // namespace
