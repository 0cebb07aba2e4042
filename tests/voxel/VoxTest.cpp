#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include <unistd.h>

#include "support/LogCapture.h"
#include "voxel/Vox.h"
#include "voxel/VoxWriter.h"

namespace {

using namespace std::string_literals;
using namespace voxwrite;
using Lines = std::vector<std::string>;

struct Loaded {
    int result = 0;
    VoxelModel model;
    Lines lines;
};

Loaded Load(const Bytes& file, VoxelModel model = {}) {
    LogCapture log;
    Loaded out;
    out.result = LoadVoxelModelFromMemory(file.data(), file.size(), model);
    out.model = std::move(model);
    out.lines = log.lines();
    return out;
}

// A palette entry as its bytes in memory order.
std::array<uint8_t, 4> Entry(const VoxelModel& model, int n) {
    std::array<uint8_t, 4> bytes;
    std::memcpy(bytes.data(), &model.palette[static_cast<size_t>(n - 1)], 4);
    return bytes;
}

using Rgba4 = std::array<uint8_t, 4>;

void ExpectVoxel(const Voxel& v, int32_t x, int32_t y, int32_t z, uint32_t c) {
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
    EXPECT_EQ(v.z, z);
    EXPECT_EQ(v.colorIndex, c);
    EXPECT_EQ(v.reserved, 0u);
}

VoxelModel MarkedModel() {
    VoxelModel model;
    model.voxels.resize(3, Voxel{9, 9, 9, 9, 0});
    model.palette.fill(0x01020304u);
    model.displayList = 77;
    model.shadowList = 78;
    return model;
}

Lines MagicaHead(size_t length) {
    return {"Magic Header ID = (VOX )",
            "It's a MagicaVoxel file!  It is Sized = " + std::to_string(length), "Version:  150",
            " "};
}

Lines Plus(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST(VoxMagica, ReadsVoxelsPaletteAndLogsEveryChunk) {
    const Bytes file =
        VoxFile(Join(Size(10, 20, 30), Xyzi({{3, 0, 0, 7}, {1, 2, 3, 255}}), Rgba()));
    const Loaded got = Load(file);
    EXPECT_EQ(got.result, 1);
    EXPECT_EQ(got.lines,
              Plus(MagicaHead(file.size()),
                   {"ID =MAIN", "Size = 0", "ChildChunks = " + std::to_string(file.size() - 20),
                    "ID =SIZE", "Size = 12", "ChildChunks = 0", " ", "ID =XYZI", "Size = 12",
                    "ChildChunks = 0", "Voxel count 2", "ID =RGBA", "Size = 1024",
                    "ChildChunks = 0"}));
    ASSERT_EQ(got.model.voxels.size(), 2u);
    // Mirrored: y = Y - y, z = Z - z; x as stored.
    ExpectVoxel(got.model.voxels[0], 3, 20, 30, 7);
    ExpectVoxel(got.model.voxels[1], 1, 18, 27, 255);
    // File entry k is the colour of index k + 1.
    EXPECT_EQ(Entry(got.model, 1), (Rgba4{0, 255, 0x55, 200}));
    EXPECT_EQ(Entry(got.model, 7), (Rgba4{6, 249, 6 ^ 0x55, 200}));
    EXPECT_EQ(Entry(got.model, 256), (Rgba4{255, 0, 255 ^ 0x55, 200}));
}

TEST(VoxMagica, SkipsChunksOfOtherIdsAndWalksOn) {
    // As a current editor writes them: a scene graph, layers and materials
    // around the model, some with children, and IMAP before RGBA.
    const Bytes nested = Chunk("nSHP", Int32s({0, 1}));
    const Bytes file = VoxFile(Join(Chunk("PACK", Int32s({1})), Size(4, 4, 4),
                                    Xyzi({{1, 1, 1, 3}}), Chunk("nTRN", Int32s({0, 0, 1}), nested),
                                    Chunk("nGRP", Int32s({1})), Chunk("LAYR", Int32s({0, 0})),
                                    Chunk("MATL", Int32s({3})), Chunk("rOBJ", {}),
                                    Chunk("rCAM", Int32s({0})), Chunk("NOTE", Int32s({0})),
                                    Chunk("IMAP", Bytes(256, 1)), Rgba()));
    const Loaded got = Load(file);
    EXPECT_EQ(got.result, 1);
    ASSERT_EQ(got.model.voxels.size(), 1u);
    ExpectVoxel(got.model.voxels[0], 1, 3, 3, 3);
    EXPECT_EQ(Entry(got.model, 2), (Rgba4{1, 254, 1 ^ 0x55, 200}));

    // Every top-level chunk shows its three header lines; the child inside
    // nTRN is skipped with it, unseen.
    Lines ids;
    for (const std::string& line : got.lines) {
        if (line.rfind("ID =", 0) == 0) ids.push_back(line.substr(4));
    }
    EXPECT_EQ(ids, (Lines{"MAIN", "PACK", "SIZE", "XYZI", "nTRN", "nGRP", "LAYR", "MATL", "rOBJ",
                          "rCAM", "NOTE", "IMAP", "RGBA"}));
    const Lines tail(got.lines.end() - 9, got.lines.end());
    EXPECT_EQ(tail, (Lines{"ID =NOTE", "Size = 4", "ChildChunks = 0", "ID =IMAP", "Size = 256",
                           "ChildChunks = 0", "ID =RGBA", "Size = 1024", "ChildChunks = 0"}));
}

TEST(VoxMagica, WithoutRgbaTheModelGetsTheEditorsDefaultPalette) {
    const Loaded got = Load(VoxFile(Join(Size(2, 2, 2), Xyzi({{0, 0, 0, 1}}))), MarkedModel());
    // Published values: entry 1 white, entry 2 ffffcc, 255 is 111111, and the
    // last one is the transparent black of entry 0.
    EXPECT_EQ(Entry(got.model, 1), (Rgba4{0xff, 0xff, 0xff, 0xff}));
    EXPECT_EQ(Entry(got.model, 2), (Rgba4{0xff, 0xff, 0xcc, 0xff}));
    EXPECT_EQ(Entry(got.model, 255), (Rgba4{0x11, 0x11, 0x11, 0xff}));
    EXPECT_EQ(Entry(got.model, 256), (Rgba4{0, 0, 0, 0}));
    EXPECT_EQ(got.model.displayList, 77u);  // never the reader's business
    EXPECT_EQ(got.model.shadowList, 78u);
}

TEST(VoxMagica, AShortRgbaGivesOnlyTheEntriesItHolds) {
    // Two entries, then an XYZI chunk whose bytes must not become colours.
    const Bytes rgba = Chunk("RGBA", Bytes{10, 20, 30, 40, 50, 60, 70, 80});
    const Loaded got = Load(VoxFile(Join(rgba, Size(1, 1, 1), Xyzi({{0, 0, 0, 1}}))), MarkedModel());
    EXPECT_EQ(Entry(got.model, 1), (Rgba4{10, 20, 30, 40}));
    EXPECT_EQ(Entry(got.model, 2), (Rgba4{50, 60, 70, 80}));
    EXPECT_EQ(got.model.palette[2], 0x01020304u);
    EXPECT_EQ(got.model.voxels.size(), 1u);
}

TEST(VoxMagica, SizeContentBeyondTwelveBytesIsSkipped) {
    // The 8 extra bytes look like a chunk header; they must not be read as one.
    Bytes size = Int32s({10, 20, 30});
    Append(size, Header("XYZI", 0, 0));
    size.resize(20);
    const Bytes file = VoxFile(Join(Chunk("SIZE", size), Xyzi({{3, 0, 0, 5}})));
    const Loaded got = Load(file);
    ASSERT_EQ(got.model.voxels.size(), 1u);
    ExpectVoxel(got.model.voxels[0], 3, 20, 30, 5);
    EXPECT_EQ(got.lines[8], "Size = 20");
}

TEST(VoxMagica, CountZeroReplacesTheVoxelsWithNone) {
    const Loaded got = Load(VoxFile(Join(Size(1, 1, 1), Xyzi({}))), MarkedModel());
    EXPECT_TRUE(got.model.voxels.empty());
    EXPECT_EQ(got.lines.back(), "Voxel count 0");
}

TEST(VoxMagica, TheLastModelOfSeveralStays) {
    const Loaded got = Load(VoxFile(Join(Chunk("PACK", Int32s({2})), Size(5, 5, 5),
                                         Xyzi({{0, 0, 0, 1}, {1, 1, 1, 1}}), Size(8, 9, 10),
                                         Xyzi({{2, 3, 4, 6}}))));
    ASSERT_EQ(got.model.voxels.size(), 1u);
    ExpectVoxel(got.model.voxels[0], 2, 6, 6, 6);
}

TEST(VoxMagica, HeadersPrintSignedNumbers) {
    const Loaded got = Load(VoxFile(Join(Chunk("ABCD", {})), -7));
    EXPECT_EQ(got.lines[2], "Version: -7");
    EXPECT_EQ(got.lines[7], "ID =ABCD");
    EXPECT_EQ(got.lines[8], "Size = 0");
}

// Files that lie about their sizes: the walk must end, read nothing outside
// the chunk it is in and allocate nothing the bytes cannot describe.
TEST(VoxMagica, HostileContentAndChildrenSizesEndTheWalk) {
    for (int32_t bad : {-1, -12, 0x7fffffff}) {
        SCOPED_TRACE(bad);
        const Bytes file = VoxFile(Join(Header("nTRN", bad, 0), Size(3, 3, 3), Xyzi({{0, 0, 0, 1}})));
        const Loaded got = Load(file);
        EXPECT_EQ(got.result, 1);
        EXPECT_TRUE(got.model.voxels.empty());
        EXPECT_EQ(got.lines.back(), "ChildChunks = 0");
        EXPECT_EQ(got.lines[8], "Size =" + std::string(bad >= 0 ? " " : "") + std::to_string(bad));

        // Children sizes end the walk only where they are used: to skip an
        // unknown chunk.
        const Loaded children = Load(VoxFile(Join(Header("nGRP", 0, bad), Xyzi({{0, 0, 0, 1}}))));
        EXPECT_TRUE(children.model.voxels.empty());
    }
}

// The chunks the reader knows never skip their children: wrong children
// sizes (some editors wrote -1 for MAIN) change nothing but the log.
TEST(VoxMagica, ChildrenSizesOfKnownChunksAreOnlyShown) {
    const Bytes model = Join(Size(4, 5, 6), Xyzi({{1, 2, 3, 9}}), Rgba());
    const Loaded right = Load(VoxFile(model));
    ASSERT_EQ(right.model.voxels.size(), 1u);

    const auto withChildrenSize = [&](const char* id, int32_t size) {
        Bytes file = VoxFile(model);
        const auto at = std::search(file.begin(), file.end(), id, id + 4);
        const Bytes field = Int32s({size});
        std::copy(field.begin(), field.end(), at + 8);
        return file;
    };
    for (const char* id : {"MAIN", "SIZE", "XYZI", "RGBA"}) {
        for (int32_t size : {-1, 0, 12, 0x7fffffff}) {
            SCOPED_TRACE(std::string(id) + " " + std::to_string(size));
            const Loaded got = Load(withChildrenSize(id, size));
            ASSERT_EQ(got.model.voxels.size(), 1u);
            EXPECT_EQ(std::memcmp(&got.model.voxels[0], &right.model.voxels[0], sizeof(Voxel)), 0);
            EXPECT_EQ(got.model.palette, right.model.palette);
        }
    }
    // A child of SIZE is the next chunk read, not skipped.
    const Loaded nested = Load(VoxFile(Chunk("SIZE", Int32s({4, 5, 6}), Xyzi({{1, 2, 3, 9}}))));
    ASSERT_EQ(nested.model.voxels.size(), 1u);
    ExpectVoxel(nested.model.voxels[0], 1, 3, 3, 9);
}

TEST(VoxMagica, HostileVoxelCountsGiveOnlyTheVoxelsPresent) {
    {
        const Loaded got = Load(VoxFile(Join(Chunk("XYZI", XyziContent(-1, {{1, 1, 1, 1}})))),
                                MarkedModel());
        EXPECT_TRUE(got.model.voxels.empty());
        EXPECT_EQ(got.lines.back(), "Voxel count 4294967295");
    }
    for (int32_t count : {0x40000000, 0x7fffffff}) {
        SCOPED_TRACE(count);
        // Count beyond the chunk: the chunk's end bounds it, and the walk
        // goes on with the RGBA after it.
        const Bytes xyzi = Chunk("XYZI", XyziContent(count, {{1, 0, 0, 2}, {2, 0, 0, 3}}));
        Loaded got = Load(VoxFile(Join(Size(1, 1, 1), xyzi, Rgba())));
        ASSERT_EQ(got.model.voxels.size(), 2u);
        ExpectVoxel(got.model.voxels[1], 2, 1, 1, 3);
        EXPECT_EQ(Entry(got.model, 1)[3], 200);
        EXPECT_EQ(got.lines[14], "Voxel count " + std::to_string(count));

        // Count and content size both beyond the file: the end of the file
        // bounds it, and a half voxel is no voxel.
        Bytes cut = Join(Header("XYZI", count, 0), Int32s({count}), Bytes{1, 0, 0, 2, 2, 0});
        got = Load(VoxFile(cut));
        ASSERT_EQ(got.model.voxels.size(), 1u);
        ExpectVoxel(got.model.voxels[0], 1, 0, 0, 2);
    }
}

TEST(VoxMagica, HugeOrExtremeSizesOnlyMirror) {
    Loaded got = Load(VoxFile(Join(Size(65536, 65536, 1), Xyzi({{1, 2, 1, 4}}))));
    ASSERT_EQ(got.model.voxels.size(), 1u);
    ExpectVoxel(got.model.voxels[0], 1, 65534, 0, 4);

    // The subtraction wraps as 32-bit arithmetic does instead of overflowing.
    got = Load(VoxFile(Join(Size(0, INT32_MIN, INT32_MAX), Xyzi({{0, 1, 0, 4}}))));
    ASSERT_EQ(got.model.voxels.size(), 1u);
    EXPECT_EQ(got.model.voxels[0].y, INT32_MAX);
    EXPECT_EQ(got.model.voxels[0].z, INT32_MAX);
}

TEST(VoxMagica, ChunksInsideASkippedChunkAreNotRead) {
    const Bytes hidden = Join(Size(100, 100, 100), Xyzi({{9, 9, 9, 9}}), Rgba());
    const Loaded got = Load(VoxFile(Join(Size(10, 10, 10), Chunk("nGRP", Int32s({0}), hidden),
                                         Xyzi({{1, 1, 1, 1}}))));
    ASSERT_EQ(got.model.voxels.size(), 1u);
    ExpectVoxel(got.model.voxels[0], 1, 9, 9, 1);  // the outer SIZE, not the hidden one
    EXPECT_EQ(Entry(got.model, 1), (Rgba4{0xff, 0xff, 0xff, 0xff}));  // default: RGBA unseen
    for (const std::string& line : got.lines) EXPECT_NE(line, "Size = 1024");

    const Loaded only = Load(VoxFile(Chunk("nTRN", {}, Xyzi({{1, 1, 1, 1}}))));
    EXPECT_TRUE(only.model.voxels.empty());
}

TEST(VoxMagica, EveryTruncationIsSafeAndInventsNoVoxel) {
    const Bytes head = VoxFile(Join(Size(4, 4, 4), Header("XYZI", 16, 0)));
    const Bytes file = Join(head, XyziContent(3, {{0, 0, 0, 1}, {1, 1, 1, 2}, {2, 2, 2, 3}}), Rgba());
    const size_t firstVoxel = head.size() + 4;
    const size_t rgbaContent = firstVoxel + 12 + 12;
    const Loaded full = Load(file);
    ASSERT_EQ(full.model.voxels.size(), 3u);

    for (size_t length = 0; length < file.size(); ++length) {
        SCOPED_TRACE(length);
        const Bytes cut(file.begin(), file.begin() + static_cast<long>(length));
        const Loaded got = Load(cut);
        EXPECT_EQ(got.result, 1);
        const size_t whole = length > firstVoxel ? std::min<size_t>(3, (length - firstVoxel) / 4) : 0;
        ASSERT_EQ(got.model.voxels.size(), whole);
        for (size_t n = 0; n < whole; ++n) {
            EXPECT_EQ(std::memcmp(&got.model.voxels[n], &full.model.voxels[n], sizeof(Voxel)), 0);
        }
        if (length >= 4) {
            // Palette entries come from the file only where its bytes are there.
            const Rgba4 white{0xff, 0xff, 0xff, 0xff}, none{0, 0, 0, 0};
            const Rgba4 expected = length >= rgbaContent + 4 ? Entry(full.model, 1)
                                   : length >= rgbaContent   ? none
                                                             : white;
            EXPECT_EQ(Entry(got.model, 1), expected);
        }
    }
}

TEST(VoxPoly2Vox, ReadsTheCellsThatAreSolid) {
    Bytes file = Int32s({2, 1, 3});
    Append(file, {0, 5, 255, 7, 0, 0});
    for (int k = 0; k < 256; ++k) {
        file.insert(file.end(), {static_cast<uint8_t>(k % 64), 1, static_cast<uint8_t>(63 - k % 64)});
    }
    const Loaded got = Load(file, MarkedModel());
    EXPECT_EQ(got.result, 1);
    EXPECT_EQ(got.lines, (Lines{"Magic Header ID = (\x02\0\0\0)"s, "We think it is a Poly2Vox file...",
                                "Size is (2,1,3)", "(6)", "Now getting voxels...", "Got 2 voxels! ",
                                "Now getting color palette...", "Got color palette!"}));
    // Only the stored voxels: no all-zero fillers after them.
    ASSERT_EQ(got.model.voxels.size(), 2u);
    ExpectVoxel(got.model.voxels[0], 1, 0, 2, 5);
    ExpectVoxel(got.model.voxels[1], 0, 0, 1, 7);
    // Colour byte b draws the file's entry b, 6 bits scaled by 4.
    EXPECT_EQ(Entry(got.model, 5), (Rgba4{20, 4, 232, 255}));
    EXPECT_EQ(Entry(got.model, 7), (Rgba4{28, 4, 224, 255}));
    EXPECT_EQ(Entry(got.model, 255), (Rgba4{252, 4, 0, 255}));
}

TEST(VoxPoly2Vox, AnythingButVoxSpaceIsPoly2Vox) {
    const Loaded got = Load(Join(Text("VOX!"), Int32s({1, 1})), MarkedModel());
    EXPECT_EQ(got.lines, (Lines{"Magic Header ID = (VOX!)", "We think it is a Poly2Vox file...",
                                "Size is (559435606,1,1)", "(0)", "Now getting voxels...",
                                "Got 0 voxels! ", "Now getting color palette...",
                                "Got color palette!"}));
    EXPECT_TRUE(got.model.voxels.empty());
    EXPECT_EQ(got.model.palette, MarkedModel().palette);

    // Bytes a short file leaves out keep the magic buffer's "1234".
    const Loaded shortFile = Load(Text("VO"));
    EXPECT_EQ(shortFile.lines[0], "Magic Header ID = (VO34)");
    EXPECT_EQ(shortFile.lines[2], "Size is (20310,0,0)");
    EXPECT_EQ(Load({}).lines[0], "Magic Header ID = (1234)");
}

TEST(VoxPoly2Vox, ImpossibleDimensionsGiveNoCells) {
    struct Case { int32_t x, y, z; const char* line; };
    for (const Case& c : {Case{-1, 1, 1, "Size is (4294967295,1,1)"},
                          Case{1, 1, -2, "Size is (1,1,4294967294)"},
                          Case{65536, 65536, 65536, "Size is (65536,65536,65536)"},
                          Case{INT32_MAX, INT32_MAX, INT32_MAX,
                               "Size is (2147483647,2147483647,2147483647)"},
                          Case{2, 2, 2, "Size is (2,2,2)"}}) {  // 8 cells, 7 bytes present
        SCOPED_TRACE(c.line);
        const Loaded got = Load(Join(Int32s({c.x, c.y, c.z}), Bytes(7, 9)), MarkedModel());
        EXPECT_EQ(got.lines[2], c.line);
        EXPECT_EQ(got.lines[3], "(0)");
        EXPECT_EQ(got.lines[5], "Got 0 voxels! ");
        EXPECT_TRUE(got.model.voxels.empty());
        EXPECT_EQ(got.model.palette, MarkedModel().palette);
    }
    // No cells at all is a valid model; its palette follows at once.
    const Loaded empty = Load(Join(Int32s({5, 0, 7}), Bytes{1, 2, 3}));
    EXPECT_EQ(empty.lines[3], "(0)");
    EXPECT_EQ(Entry(empty.model, 256), (Rgba4{4, 8, 12, 255}));
}

TEST(VoxPoly2Vox, EveryTruncationIsSafe) {
    Bytes file = Int32s({1, 2, 2});
    Append(file, {3, 0, 4, 255});
    Append(file, Bytes(768, 10));
    for (size_t length = 0; length < file.size(); ++length) {
        const Loaded got = Load(Bytes(file.begin(), file.begin() + static_cast<long>(length)));
        ASSERT_EQ(got.model.voxels.size(), length >= 16 ? 2u : 0u) << length;
        for (const Voxel& v : got.model.voxels) EXPECT_TRUE(v.colorIndex == 3 || v.colorIndex == 4);
    }
}

TEST(VoxFile, ReadsAFileFromDisk) {
    // Large enough that a reader taking a few bytes per call would show.
    Bytes content = Int32s({200000});
    for (int n = 0; n < 200000; ++n) {
        content.insert(content.end(), {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), 0, 1});
    }
    const Bytes file = VoxFile(Join(Size(256, 256, 1), Chunk("XYZI", content), Rgba()));
    char path[] = "/tmp/voxtestXXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, file.data(), file.size()), static_cast<ssize_t>(file.size()));
    close(fd);

    VoxelModel model;
    LogCapture log;
    EXPECT_EQ(LoadVoxelModel(path, model), 1);
    unlink(path);
    EXPECT_EQ(log.lines(), Load(file).lines);
    ASSERT_EQ(model.voxels.size(), 200000u);
    ExpectVoxel(model.voxels[199999], 199999 & 255, 256 - ((199999 >> 8) & 255), 1, 1);
    EXPECT_EQ(Entry(model, 3), (Rgba4{2, 253, 2 ^ 0x55, 200}));
}

// A device that never reaches its end is read up to a bound, not until
// memory runs out.
TEST(VoxFile, AnEndlessDeviceEnds) {
    VoxelModel model = MarkedModel();
    LogCapture log;
    EXPECT_EQ(LoadVoxelModel("/dev/zero", model), 1);
    const Lines lines = log.lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Magic Header ID = (\0\0\0\0)"s);
    EXPECT_EQ(lines[2], "Size is (0,0,0)");
    EXPECT_TRUE(model.voxels.empty());
}

TEST(VoxFile, AFileThatCannotBeOpenedLeavesTheModelUntouched) {
    for (const char* path : {"/nonexistent/walk_00001.vox", "/tmp"}) {
        VoxelModel model = MarkedModel();
        LogCapture log;
        EXPECT_EQ(LoadVoxelModel(path, model), 0);
        EXPECT_EQ(log.lines(), (Lines{"Error opening the file"}));
        EXPECT_EQ(model.voxels.size(), 3u);
        EXPECT_EQ(model.palette, MarkedModel().palette);
    }
}
