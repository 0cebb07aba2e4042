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

// Runs the tool in the test's folder (its standard output to `output`);
// fills `out` and `err`, returns the exit status.
int RunInfo(const std::string& arguments, const std::string& output = "out.txt") {
    const std::string command =
        "cd \"" + dir.string() + "\" && timeout 20 \"" VOXWALK_INFO "\" " + arguments + " >" + output + " 2>err.txt";
    const int status = std::system(command.c_str());
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
    EXPECT_EQ(
        out,
        "[\n  {\"file\": \"a.vox\", \"format\": \"magicavoxel\", \"version\": 150, "
        "\"models\": [{\"size\": [3, 4, 5], \"voxels\": 2}, {\"size\": [1, 1, 1], \"voxels\": 0}], "
        "\"layers\": [], \"materials\": [], \"frames\": 2, \"frame_stats\": [{\"voxels\": 2, \"min\": [-1, -2, -2], "
        "\"max\": [1, 1, 2]}, {\"voxels\": 0, \"min\": null, \"max\": null}], \"error\": null}\n]\n");
    EXPECT_EQ(err, "");
    EXPECT_EQ(RunInfo("a.vox"), 0);
    EXPECT_NE(out.find("  frames: 2\n    0: 2 voxels, min (-1, -2, -2), max (1, 1, 2)\n    1: no voxels\n"),
              std::string::npos)
        << out;
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
    EXPECT_EQ(err, "voxwalk-info: --json: No such file or directory\n");
    for (const char* arguments : {"", "--frobnicate a.vox"}) {
        EXPECT_EQ(RunInfo(arguments), 2) << arguments;
        EXPECT_NE(err.find("Try 'voxwalk-info --help'"), std::string::npos);
    }
    EXPECT_EQ(RunInfo("--help"), 0);
    EXPECT_EQ(out.rfind("usage: voxwalk-info", 0), 0u);
    for (int64_t limit :
         {int64_t{kVoxSceneMaxDepth}, kVoxSceneMaxPlacements, kVoxSceneMaxVoxels, int64_t{kVoxSceneMaxFrameIndex},
          int64_t{kVoxSceneMaxTranslation}, int64_t{kVoxSceneMaxModelSize}}) {
        EXPECT_NE(out.find(" " + std::to_string(limit)), std::string::npos) << limit;
    }
    EXPECT_NE(out.find("U+FFFD"), std::string::npos);
    fs::remove_all(dir);
}

// Output that cannot be written is a failure; JSON is valid UTF-8 whatever
// the names. (What is not a regular file, and pipes, are the reader's tests.)
TEST(VoxInfo, FailsWhenItsOutputCannotBeWrittenAndWritesValidUtf8) {
    fs::create_directories(dir);
    Write("a.vox", VoxFile(Join(Size(1, 1, 1), Xyzi({{0, 0, 0, 1}}))));
    for (const char* arguments : {"a.vox", "--json a.vox", "--help", "--version"}) {
        EXPECT_EQ(RunInfo(arguments, "/dev/full"), 1) << arguments;
        EXPECT_EQ(err, "voxwalk-info: cannot write standard output: No space left on device\n") << arguments;
    }
    // Names with bytes that are not UTF-8: alone, a cut sequence, an
    // overlong one, a surrogate; and control characters.
    Write("\xff.vox", VoxFile(Join(Size(1, 1, 1), Xyzi({{0, 0, 0, 1}}), Layr(0, {{"_name", "a\xe2\x82z\x01"}}),
                                   Layr(1, {{"_name", "\xc0\xaf \xed\xa0\x80 \xf0\x9f\x98\x80 \xc3\xa9"}}),
                                   Layr(2, {{"_name", "\x80\xbf\xfe\xf4\x90\x80\x80"}}))));
    EXPECT_EQ(RunInfo("--json a.vox \"$(printf '\\377').vox\" missing\xfe.vox"), 1);
    const std::string check =
        "/usr/bin/python3 -c \"import json,sys; json.loads(open(sys.argv[1],'rb').read()"
        ".decode('utf-8'))\" \"" +
        (dir / "out.txt").string() + "\"";
    EXPECT_EQ(std::system(check.c_str()), 0) << out;
    for (const char* part : {"\"file\": \"\xef\xbf\xbd.vox\"", "\"name\": \"a\xef\xbf\xbd\xef\xbf\xbdz\\u0001\"",
                             "\"missing\xef\xbf\xbd.vox: No such file or directory\""}) {
        EXPECT_NE(out.find(part), std::string::npos) << part << "\n" << out;
    }
    EXPECT_EQ(out.find("\xc0"), std::string::npos);
    EXPECT_NE(out.find("\xf0\x9f\x98\x80 \xc3\xa9"), std::string::npos) << "valid sequences stay";
    fs::remove_all(dir);
}

// The materials of the colour indices some voxel uses, in text and JSON.
TEST(VoxInfo, ListsTheMaterialsOfTheColoursInUse) {
    fs::create_directories(dir);
    Write("m.vox", VoxFile(Join(Size(2, 1, 1), Xyzi({{0, 0, 0, 1}, {1, 0, 0, 7}}),
                                Matl(1, {{"_type", "_emit"}, {"_emit", "0.5"}, {"_flux", "2"}}),
                                Matl(7, {{"_type", "_glass"}, {"_ri", "1.5"}, {"_trans", "0.25"}}),
                                Matl(9, {{"_type", "_metal"}}))));
    EXPECT_EQ(RunInfo("m.vox"), 0);
    EXPECT_NE(out.find("  materials: 2 of 3 (those of colour indices some voxel uses)\n"
                       "    1: emit, emit 0.5, flux 2\n"
                       "    7: glass, ior 1.5, trans 0.25\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(RunInfo("--json m.vox"), 0);
    EXPECT_NE(out.find("\"materials\": [{\"id\": 1, \"type\": \"emit\", "
                       "\"properties\": {\"emit\": 0.5, \"flux\": 2}}, "
                       "{\"id\": 7, \"type\": \"glass\", \"properties\": {\"ior\": 1.5, \"trans\": 0.25}}]"),
              std::string::npos)
        << out;
    fs::remove_all(dir);
}

}  // namespace
