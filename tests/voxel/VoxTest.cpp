// The .vox reader on crafted files: known cells, literal log lines, files that
// lie about their sizes, and every truncation.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "support/LogCapture.h"
#include "voxel/Vox.h"
#include "voxel/VoxWriter.h"

namespace {

using namespace std::string_literals;
using namespace voxwrite;
using Lines = std::vector<std::string>;
using Rgba4 = std::array<uint8_t, 4>;
using Pos = std::array<int64_t, 4>;  // x, y, z, colour index (+1000 if `reserved` is set)
using Voxels = std::vector<Pos>;
const Rgba4 kMark{4, 3, 2, 1}, kWhite{255, 255, 255, 255}, kFirst{0, 255, 0x55, 200}, kLast{255, 0, 0xaa, 200};
const Voxels kMarked(3, Pos{9, 9, 9, 9});

struct Loaded {
    int result;
    VoxelModel model;
    Lines lines;
    Voxels voxels;
    Rgba4 entry(int n) const { return std::bit_cast<Rgba4>(model.palette[size_t(n - 1)]); }
};

// Reads into a model that already holds voxels, a palette and a list, so a
// test sees exactly what the file replaced.
Loaded Load(const Bytes& file, const char* path = nullptr) {
    Loaded out{0, {std::vector<Voxel>(3, Voxel{9, 9, 9, 9, 0}), {}, 77, 78}, {}, {}};
    out.model.palette.fill(0x01020304u);
    LogCapture log;
    out.result = path ? LoadVoxelModel(path, out.model) : LoadVoxelModelFromMemory(file.data(), file.size(), out.model);
    out.lines = log.lines();
    EXPECT_TRUE(out.model.displayList == 77u && out.model.shadowList == 78u);  // never the reader's
    for (const Voxel& v : out.model.voxels) out.voxels.push_back({v.x, v.y, v.z, v.colorIndex + 1000 * v.reserved});
    return out;
}

struct Case {
    std::string name;
    Bytes file;
    Voxels voxels;
    std::vector<std::pair<int, Rgba4>> entries = {};  // palette entry number, its bytes
    Lines lines = {};                                 // in this order in the log
};

std::vector<Case> Cases() {
    Bytes poly = Join(Int32s({2, 1, 3}), Bytes{0, 5, 255, 7, 0, 0});
    for (int k = 0; k < 256; ++k) poly.insert(poly.end(), {uint8_t(k % 64), 1, uint8_t(63 - k % 64)});
    const Bytes hidden = Join(Size(100, 100, 100), Xyzi({{9, 9, 9, 9}}), Rgba());
    std::vector<Case> cases = {
        {"Magica", VoxFile(Join(Size(10, 20, 30), Xyzi({{3, 0, 0, 7}, {1, 2, 3, 255}}), Rgba())),
         {{3, 20, 30, 7}, {1, 18, 27, 255}}, {{1, kFirst}, {7, {6, 249, 6 ^ 0x55, 200}}, {256, kLast}},
         {"Magic Header ID = (VOX )", "It's a MagicaVoxel file!  It is Sized = 1104", "Version:  150", " ", "ID =MAIN",
          "Size = 0", "ChildChunks = 1084", "ID =SIZE", "Size = 12", "ChildChunks = 0", " ", "ID =XYZI", "Size = 12",
          "ChildChunks = 0", "Voxel count 2", "ID =RGBA", "Size = 1024", "ChildChunks = 0"}},
        {"Poly2Vox", poly, {{1, 0, 2, 5}, {0, 0, 1, 7}},
         {{5, {20, 4, 232, 255}}, {7, {28, 4, 224, 255}}, {255, {252, 4, 0, 255}}, {256, {0, 4, 252, 255}}},
         {"Magic Header ID = (\x02\0\0\0)"s, "We think it is a Poly2Vox file...", "Size is (2,1,3)", "(6)",
          "Now getting voxels...", "Got 2 voxels! ", "Now getting color palette...", "Got color palette!"}},
        // Other ids are skipped with their children, hidden models included.
        {"OtherIdsSkipped", VoxFile(Join(Chunk("PACK", Int32s({1})), Size(10, 10, 10), Chunk("nTRN", {}, hidden),
                                         Chunk("IMAP", Bytes(256, 1)), Xyzi({{1, 1, 1, 3}}))),
         {{1, 9, 9, 3}}, {{1, kWhite}}, {"ID =nTRN", "ChildChunks = 1080", "ID =IMAP", "Size = 256"}},
        {"ShortRgba",
         VoxFile(Join(Chunk("RGBA", {10, 20, 30, 40, 50, 60, 70, 80}), Size(1, 1, 1), Xyzi({{0, 0, 0, 1}}))),
         {{0, 1, 1, 1}}, {{1, {10, 20, 30, 40}}, {2, {50, 60, 70, 80}}, {3, kMark}}, {}},
        {"SizeBeyondTwelveBytes", VoxFile(Join(Chunk("SIZE", Join(Int32s({10, 20, 30}), Text("XYZI"), Int32s({0}))),
                                               Xyzi({{3, 0, 0, 5}}))), {{3, 20, 30, 5}}, {}, {"Size = 20"}},
        {"LastModelStays", VoxFile(Join(Size(5, 5, 5), Xyzi({{0, 0, 0, 1}}), Size(8, 9, 10), Xyzi({{2, 3, 4, 6}}))),
         {{2, 6, 6, 6}}, {}, {}},
        {"SignedVersion", VoxFile(Chunk("ABCD", {}), -7), kMarked, {}, {"Version: -7", "ID =ABCD", "Size = 0"}},
        {"ChildOfSizeIsNextChunk", VoxFile(Chunk("SIZE", Int32s({4, 5, 6}), Xyzi({{1, 2, 3, 9}}))), {{1, 3, 3, 9}}},
        {"NegativeCount", VoxFile(Chunk("XYZI", XyziContent(-1, {{1, 1, 1, 1}}))), {}, {}, {"Voxel count 4294967295"}},
        {"MirrorWraps", VoxFile(Join(Size(0, INT32_MIN, INT32_MAX), Xyzi({{0, 1, 0, 4}}))),
         {{0, INT32_MAX, INT32_MAX, 4}}},
        {"NotVoxSpace", Join(Text("VOX!"), Int32s({1, 1})), {}, {{1, kMark}},
         {"Magic Header ID = (VOX!)", "We think it is a Poly2Vox file...", "Size is (559435606,1,1)", "(0)"}},
        {"ShortMagic", Text("VO"), {}, {}, {"Magic Header ID = (VO34)", "Size is (20310,0,0)"}},
        {"Empty", {}, {}, {}, {"Magic Header ID = (1234)", "Size is (0,0,0)", "(0)", "Got 0 voxels! "}},
        {"NoColumnsPaletteFollows", Join(Int32s({0, 5, 7}), Bytes{1, 2, 3}), {}, {{256, {4, 8, 12, 255}}, {1, kMark}}},
    };
    for (int32_t bad : {-1, -12, 0x7fffffff}) {
        const std::string n = std::to_string(uint32_t(bad));
        cases.push_back({"ContentSize" + n, VoxFile(Join(Header("nTRN", bad, 0), Size(3, 3, 3), Xyzi({{0, 0, 0, 1}}))),
                         kMarked, {}, {"Size =" + std::string(bad < 0 ? "" : " ") + std::to_string(bad)}});
        cases.push_back({"ChildrenSize" + n, VoxFile(Join(Header("nGRP", 0, bad), Xyzi({{0, 0, 0, 1}}))), kMarked});
        // Count beyond the chunk, then beyond the file: only whole voxels present.
        const Bytes xyzi = Chunk("XYZI", XyziContent(bad, {{1, 0, 0, 2}, {2, 0, 0, 3}}));
        if (bad > 0) cases.push_back({"Count" + n, VoxFile(Join(Size(1, 1, 1), xyzi, Rgba())),
                                      {{1, 1, 1, 2}, {2, 1, 1, 3}}, {{1, kFirst}}, {"Voxel count " + n}});
        const Bytes cut = Join(Header("XYZI", bad, 0), Int32s({bad}), Bytes{1, 0, 0, 2, 2, 0});
        if (bad > 0) cases.push_back({"CountCut" + n, VoxFile(cut), {{1, 0, 0, 2}}});
    }
    // The chunks the reader knows never skip their children: a wrong
    // children size (some editors wrote -1 for MAIN) changes only the log.
    for (const char* id : {"MAIN", "SIZE", "XYZI", "RGBA"}) {
        for (int32_t size : {-1, 0, 12, 0x7fffffff}) {
            Bytes file = VoxFile(Join(Size(4, 5, 6), Xyzi({{1, 2, 3, 9}}), Rgba()));
            const Bytes field = Int32s({size});
            std::copy(field.begin(), field.end(), std::search(file.begin(), file.end(), id, id + 4) + 8);
            cases.push_back({id + std::to_string(uint32_t(size)), file, {{1, 3, 3, 9}}, {{1, kFirst}, {256, kLast}},
                             {"ChildChunks =" + std::string(size < 0 ? "" : " ") + std::to_string(size)}});
        }
    }
    for (auto [x, z] : {std::pair{-1, 1}, {1, -2}, {65536, 65536}, {INT32_MAX, INT32_MAX}, {2, 2}}) {
        cases.push_back({"Poly2Vox" + std::to_string(uint32_t(x)) + "x" + std::to_string(uint32_t(z)),
                         Join(Int32s({x, x, z}), Bytes(7, 9)), {}, {{1, kMark}, {256, kMark}},
                         {"(0)", "Got 0 voxels! "}});
    }
    return cases;
}

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class VoxRead : public ::testing::TestWithParam<Case> {};

TEST_P(VoxRead, GivesTheCellsPaletteAndLog) {
    const Case& c = GetParam();
    const Loaded got = Load(c.file);
    EXPECT_EQ(got.result, 1);
    EXPECT_EQ(got.voxels, c.voxels);
    for (const auto& [n, bytes] : c.entries) EXPECT_EQ(got.entry(n), bytes) << "entry " << n;
    auto at = got.lines.begin();
    for (const std::string& line : c.lines) {
        at = std::find(at, got.lines.end(), line);
        ASSERT_NE(at, got.lines.end()) << "missing, or out of order: \"" << line << "\"";
    }
}

INSTANTIATE_TEST_SUITE_P(Crafted, VoxRead, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.name; });

TEST(VoxRead, WithoutRgbaEveryEntryIsThePublishedDefault) {
    const Loaded got = Load(VoxFile(Join(Size(2, 2, 2), Xyzi({{0, 0, 0, 1}}))));
    std::ifstream published(VOXWALK_SOURCE_DIR "/tests/data/vox-default-palette.txt");
    int n = 0;
    for (std::string hex; published >> hex;) {
        const uint32_t v = uint32_t(std::stoul(hex, nullptr, 16));
        EXPECT_EQ(got.entry(++n), (Rgba4{uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)})) << n;
    }
    EXPECT_EQ(n, 256);
}

TEST(VoxRead, EveryTruncationIsSafeAndInventsNoVoxel) {
    const Bytes head = VoxFile(Join(Size(4, 4, 4), Header("XYZI", 16, 0)));
    const Bytes magica = Join(head, XyziContent(3, {{0, 0, 0, 1}, {1, 1, 1, 2}, {2, 2, 2, 3}}), Rgba());
    const Voxels all = {{0, 4, 4, 1}, {1, 3, 3, 2}, {2, 2, 2, 3}};
    const size_t firstVoxel = head.size() + 4, rgbaContent = firstVoxel + 24;
    for (size_t length = 0; length < magica.size(); ++length) {
        const Loaded got = Load(Bytes(magica.begin(), magica.begin() + long(length)));
        const long whole = length > firstVoxel ? std::min<long>(3, long(length - firstVoxel) / 4) : 0;
        const Voxels voxels = length < 4             ? Voxels{}
                              : length < head.size() ? kMarked
                                                     : Voxels(all.begin(), all.begin() + whole);
        ASSERT_EQ(got.voxels, voxels) << length;
        // Palette entries come from the file only where its bytes are there.
        const Rgba4 first = length >= rgbaContent + 4 ? kFirst : length >= rgbaContent || length < 4 ? kMark : kWhite;
        ASSERT_EQ(got.entry(1), first) << length;
    }
    const Bytes poly = Join(Int32s({1, 2, 2}), Bytes{3, 0, 4, 255}, Bytes(768, 10));
    for (size_t length = 0; length < poly.size(); ++length) {
        const Loaded got = Load(Bytes(poly.begin(), poly.begin() + long(length)));
        ASSERT_EQ(got.voxels, length >= 16 ? Voxels({{0, 0, 1, 3}, {0, 1, 1, 4}}) : Voxels{}) << length;
    }
}

TEST(VoxRead, FilesFromDisk) {
    // Large enough that a reader taking a few bytes per call would show.
    Bytes content = Int32s({200000});
    for (int n = 0; n < 200000; ++n) content.insert(content.end(), {uint8_t(n), uint8_t(n >> 8), 0, 1});
    const Bytes file = VoxFile(Join(Size(256, 256, 1), Chunk("XYZI", content), Rgba()));
    char path[] = "/tmp/voxtestXXXXXX";
    const int fd = mkstemp(path);
    ASSERT_EQ(write(fd, file.data(), file.size()), ssize_t(file.size()));
    close(fd);
    const Loaded big = Load({}, path);
    unlink(path);
    EXPECT_EQ(big.result, 1);
    EXPECT_EQ(big.voxels.size(), 200000u);
    EXPECT_EQ(big.voxels.back(), (Pos{199999 & 255, 256 - ((199999 >> 8) & 255), 1, 1}));
    EXPECT_EQ(big.lines[1], "It's a MagicaVoxel file!  It is Sized = 801096");
    // A device that never ends is read up to a bound, not until memory runs out.
    EXPECT_EQ(Load({}, "/dev/zero").lines[2], "Size is (0,0,0)");
    for (const char* unreadable : {"/nonexistent/walk_00001.vox", "/tmp"}) {
        const Loaded got = Load({}, unreadable);
        EXPECT_TRUE(got.result == 0 && got.lines == Lines{"Error opening the file"} && got.voxels == kMarked &&
                    got.entry(1) == kMark) << unreadable;
    }
}

}  // namespace
