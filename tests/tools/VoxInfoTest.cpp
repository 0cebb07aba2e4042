// voxwalk-info as a user runs it: files on disk, stdout, stderr, exit status.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "voxel/VoxWriter.h"

namespace fs = std::filesystem;
using namespace voxwrite;

namespace {

class VoxInfo : public ::testing::Test {
  protected:
    void SetUp() override { fs::create_directories(dir_); }
    void TearDown() override { fs::remove_all(dir_); }

    void Write(const std::string& name, const Bytes& bytes) {
        std::ofstream(dir_ / name, std::ios::binary) << std::string(bytes.begin(), bytes.end());
    }

    // Runs the tool in the test's folder; fills out_ and err_, returns the exit status.
    int Run(const std::string& arguments) {
        const int status = std::system(("cd \"" + dir_.string() + "\" && \"" VOXWALK_INFO "\" " + arguments +
                                        " >out.txt 2>err.txt").c_str());
        std::ifstream out(dir_ / "out.txt"), err(dir_ / "err.txt");
        out_.assign(std::istreambuf_iterator<char>(out), {});
        err_.assign(std::istreambuf_iterator<char>(err), {});
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    const fs::path dir_ = fs::temp_directory_path() / ("voxwalk-info-" + std::to_string(getpid()));
    std::string out_, err_;
};

TEST_F(VoxInfo, JsonAndTextGiveModelsFramesAndTheirBoxes) {
    // Two models as two frames: a 3 x 4 x 5 model and an empty one.
    Write("a.vox", VoxFile(Join(Chunk("PACK", Int32s({2})), Size(3, 4, 5), Xyzi({{0, 0, 0, 1}, {2, 3, 4, 1}}),
                                Size(1, 1, 1), Xyzi({}))));
    EXPECT_EQ(Run("--json a.vox"), 0);
    EXPECT_EQ(out_,
              "[\n  {\"file\": \"a.vox\", \"format\": \"magicavoxel\", \"version\": 150, "
              "\"models\": [{\"size\": [3, 4, 5], \"voxels\": 2}, {\"size\": [1, 1, 1], \"voxels\": 0}], "
              "\"layers\": [], \"frames\": 2, \"frame_stats\": [{\"voxels\": 2, \"min\": [-1, -2, -2], "
              "\"max\": [1, 1, 2]}, {\"voxels\": 0, \"min\": null, \"max\": null}], \"error\": null}\n]\n");
    EXPECT_EQ(err_, "");
    EXPECT_EQ(Run("a.vox"), 0);
    EXPECT_NE(out_.find("  frames: 2\n"), std::string::npos) << out_;
}

// An unreadable file is one line on stderr and status 1; a usage error, status 2.
TEST_F(VoxInfo, ExitStatusAndStderr) {
    Write("good.vox", VoxFile(Join(Size(1, 1, 1), Xyzi({{0, 0, 0, 1}}), Chunk("nTRN", Int32s({0, 0, 1, -1, -1, 1, 0})),
                                   Chunk("nSHP", Int32s({1, 0, 1, 0, 0})))));
    Write("bad.vox", VoxFile(Chunk("nGRP", Int32s({0, 0, -5}))));
    EXPECT_EQ(Run("--json good.vox bad.vox"), 1);
    EXPECT_EQ(err_, "voxwalk-info: bad.vox: nGRP at byte 20 node 0: claims -5 children\n");
    EXPECT_NE(out_.find("\"error\": null},\n"), std::string::npos) << out_;
    EXPECT_NE(out_.find("\"error\": \"bad.vox: nGRP at byte 20 node 0: claims -5 children\"}\n]"), std::string::npos);
    EXPECT_EQ(Run("good.vox"), 0);
    EXPECT_NE(out_.find("    nTRN 0, 1 key(s)\n      nSHP 1, model 0 (1 key(s))\n"), std::string::npos) << out_;
    // After `--` an argument is a file, whatever it looks like.
    EXPECT_EQ(Run("-- --json"), 1);
    EXPECT_EQ(err_, "voxwalk-info: --json: cannot be opened\n");
    for (const char* arguments : {"", "--frobnicate a.vox"}) {
        EXPECT_EQ(Run(arguments), 2) << arguments;
        EXPECT_NE(err_.find("Try 'voxwalk-info --help'"), std::string::npos);
    }
    EXPECT_EQ(Run("--help"), 0);
    EXPECT_EQ(out_.rfind("usage: voxwalk-info", 0), 0u);
}

}  // namespace
