// voxwalk-info as a user runs it: files on disk, stdout, stderr, exit status.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "voxel/VoxWrite.h"

namespace fs = std::filesystem;
using namespace voxwrite;

namespace {

const fs::path dir = fs::temp_directory_path() / ("voxwalk-info-" + std::to_string(getpid()));
std::string out, err;

void Write(const std::string& name, const Bytes& bytes) {
    std::ofstream(dir / name, std::ios::binary) << std::string(bytes.begin(), bytes.end());
}

// Runs the tool in the test's folder; fills `out` and `err`, returns the exit status.
int RunInfo(const std::string& arguments) {
    const int status = std::system(("cd \"" + dir.string() + "\" && \"" VOXWALK_INFO "\" " + arguments +
                                    " >out.txt 2>err.txt").c_str());
    std::ifstream outFile(dir / "out.txt"), errFile(dir / "err.txt");
    out.assign(std::istreambuf_iterator<char>(outFile), {});
    err.assign(std::istreambuf_iterator<char>(errFile), {});
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// JSON and text give models, frames and their boxes. An unreadable file is
// one line on stderr and status 1; a usage error, status 2.
TEST(VoxInfo, ReportsFilesAndExitsWithTheirStatus) {
    fs::create_directories(dir);
    // Two models as two frames: a 3 x 4 x 5 model and an empty one.
    Write("a.vox", VoxFile(Join(Chunk("PACK", Int32s({2})), Size(3, 4, 5), Xyzi({{0, 0, 0, 1}, {2, 3, 4, 1}}),
                                Size(1, 1, 1), Xyzi({}))));
    EXPECT_EQ(RunInfo("--json a.vox"), 0);
    EXPECT_EQ(out, "[\n  {\"file\": \"a.vox\", \"format\": \"magicavoxel\", \"version\": 150, "
                   "\"models\": [{\"size\": [3, 4, 5], \"voxels\": 2}, {\"size\": [1, 1, 1], \"voxels\": 0}], "
                   "\"layers\": [], \"frames\": 2, \"frame_stats\": [{\"voxels\": 2, \"min\": [-1, -2, -2], "
                   "\"max\": [1, 1, 2]}, {\"voxels\": 0, \"min\": null, \"max\": null}], \"error\": null}\n]\n");
    EXPECT_EQ(err, "");
    EXPECT_EQ(RunInfo("a.vox"), 0);
    EXPECT_NE(out.find("  frames: 2\n"), std::string::npos) << out;
    Write("good.vox", VoxFile(Join(Size(1, 1, 1), Xyzi({{0, 0, 0, 1}}), Chunk("nTRN", Int32s({0, 0, 1, -1, -1, 1, 0})),
                                   Chunk("nSHP", Int32s({1, 0, 1, 0, 0})))));
    Write("bad.vox", VoxFile(Chunk("nGRP", Int32s({0, 0, -5}))));
    EXPECT_EQ(RunInfo("--json good.vox bad.vox"), 1);
    EXPECT_EQ(err, "voxwalk-info: bad.vox: nGRP at byte 20 node 0: claims -5 children\n");
    EXPECT_NE(out.find("\"error\": null},\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\"error\": \"bad.vox: nGRP at byte 20 node 0: claims -5 children\"}\n]"), std::string::npos);
    EXPECT_EQ(RunInfo("good.vox"), 0);
    EXPECT_NE(out.find("    nTRN 0, 1 key(s)\n      nSHP 1, model 0 (1 key(s))\n"), std::string::npos) << out;
    // After `--` an argument is a file, whatever it looks like.
    EXPECT_EQ(RunInfo("-- --json"), 1);
    EXPECT_EQ(err, "voxwalk-info: --json: cannot be opened\n");
    for (const char* arguments : {"", "--frobnicate a.vox"}) {
        EXPECT_EQ(RunInfo(arguments), 2) << arguments;
        EXPECT_NE(err.find("Try 'voxwalk-info --help'"), std::string::npos);
    }
    EXPECT_EQ(RunInfo("--help"), 0);
    EXPECT_EQ(out.rfind("usage: voxwalk-info", 0), 0u);
    fs::remove_all(dir);
}

}  // namespace
