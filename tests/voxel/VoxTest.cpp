// Both .vox readers on crafted files. The walk-frame reader: known cells,
// literal log lines, files that lie about their sizes, and every truncation.
// The scene reader: the composition rule, keyframes, hidden nodes, and the
// hostile files it refuses.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <future>
#include <limits>
#include <thread>
#include <tuple>

#include "SceneFiles.h"
#include "support/LogCapture.h"

namespace {

using namespace std::string_literals;
using namespace voxtest;
using Lines = std::vector<std::string>;
using Rgba4 = std::array<uint8_t, 4>;
const Rgba4 kMark{4, 3, 2, 1}, kWhite{255, 255, 255, 255}, kFirst{0, 255, 0x55, 200}, kLast{255, 0, 0xaa, 200};
const Cells kMarked(3, Cell4{9, 9, 9, 9});

// Entry k (from 0) is the bytes k, 255 - k, k ^ 0x55, 200.
Bytes PatternRgba() {
    std::array<uint32_t, 256> palette;
    for (int k = 0; k < 256; ++k)
        palette[size_t(k)] = std::bit_cast<uint32_t>(Rgba4{uint8_t(k), uint8_t(255 - k), uint8_t(k ^ 0x55), 200});
    return Rgba(palette);
}

struct Loaded {
    int result = -1;
    VoxelModel model;
    Lines lines;
    Cells voxels() const { return CellsOf(model); }
    Rgba4 entry(int n) const { return std::bit_cast<Rgba4>(model.palette[size_t(n - 1)]); }
};

// Reads into a model that already holds voxels and a palette, so a test sees
// exactly what the file replaced.
Loaded Load(const Bytes& file, const char* path = nullptr) {
    Loaded out{0, {std::vector<Voxel>(3, Voxel{9, 9, 9, 9, 0}), {}, 0, 0}, {}};
    out.model.palette.fill(0x01020304u);
    LogCapture log;
    out.result = path ? LoadVoxelModel(path, out.model) : LoadVoxelModelFromMemory(file.data(), file.size(), out.model);
    out.lines = log.lines();
    return out;
}

struct Case {
    std::string name;
    Bytes file;
    Cells voxels;
    std::vector<std::pair<int, Rgba4>> entries = {};  // palette entry number, its bytes
    Lines lines = {};                                 // in this order in the log
};

std::vector<Case> Cases() {
    Bytes poly = Join(Int32s({2, 1, 3}), Bytes{0, 5, 255, 7, 0, 0});
    for (int k = 0; k < 256; ++k) poly.insert(poly.end(), {uint8_t(k % 64), 1, uint8_t(63 - k % 64)});
    const Bytes hidden = Join(Size(100, 100, 100), Xyzi({{9, 9, 9, 9}}), PatternRgba());
    std::vector<Case> cases = {
        {"Magica",
         VoxFile(Join(Size(10, 20, 30), Xyzi({{3, 0, 0, 7}, {1, 2, 3, 255}}), PatternRgba())),
         {{3, 20, 30, 7}, {1, 18, 27, 255}},
         {{1, kFirst}, {7, {6, 249, 6 ^ 0x55, 200}}, {256, kLast}},
         {"Magic Header ID = (VOX )", "It's a MagicaVoxel file!  It is Sized = 1104", "Version:  150", " ", "ID =MAIN",
          "Size = 0", "ChildChunks = 1084", "ID =SIZE", "Size = 12", "ChildChunks = 0", " ", "ID =XYZI", "Size = 12",
          "ChildChunks = 0", "Voxel count 2", "ID =RGBA", "Size = 1024", "ChildChunks = 0"}},
        {"Poly2Vox",
         poly,
         {{1, 0, 2, 5}, {0, 0, 1, 7}},
         {{5, {20, 4, 232, 255}}, {7, {28, 4, 224, 255}}, {255, {252, 4, 0, 255}}, {256, {0, 4, 252, 255}}},
         {"Magic Header ID = (\x02\0\0\0)"s, "We think it is a Poly2Vox file...", "Size is (2,1,3)", "(6)",
          "Now getting voxels...", "Got 2 voxels! ", "Now getting color palette...", "Got color palette!"}},
        // Other ids are skipped with their children, hidden models included;
        // a SIZE longer than 12 bytes; the last model replaces the first.
        {"ChunkWalk",
         VoxFile(Join(Chunk("PACK", Int32s({1})), Size(5, 5, 5), Xyzi({{0, 0, 0, 1}}), Chunk("nTRN", {}, hidden),
                      Chunk("IMAP", Bytes(256, 1)),
                      Chunk("SIZE", Join(Int32s({10, 10, 10}), Text("XYZI"), Int32s({0}))), Xyzi({{1, 1, 1, 3}}))),
         {{1, 9, 9, 3}},
         {{1, kWhite}},
         {"ID =nTRN", "ChildChunks = 1080", "ID =IMAP", "Size = 256", "Size = 20"}},
        {"ShortRgba",
         VoxFile(Join(Chunk("RGBA", {10, 20, 30, 40, 50, 60, 70, 80}), Size(1, 1, 1), Xyzi({{0, 0, 0, 1}}))),
         {{0, 1, 1, 1}},
         {{1, {10, 20, 30, 40}}, {2, {50, 60, 70, 80}}, {3, kMark}},
         {}},
        // A count beyond the chunk: only the voxels in it.
        {"Count",
         VoxFile(Join(Size(1, 1, 1), Xyzi({{1, 0, 0, 2}, {2, 0, 0, 3}}, INT32_MAX), PatternRgba())),
         {{1, 1, 1, 2}, {2, 1, 1, 3}},
         {{1, kFirst}},
         {"Voxel count 2147483647"}},
        {"SignedVersion", VoxFile(Chunk("ABCD", {}), -7), kMarked, {}, {"Version: -7", "ID =ABCD", "Size = 0"}},
        {"NegativeCount", VoxFile(Xyzi({{1, 1, 1, 1}}, -1)), {}, {}, {"Voxel count 4294967295"}},
        {"MirrorWraps",
         VoxFile(Join(Size(0, INT32_MIN, INT32_MAX), Xyzi({{0, 1, 0, 4}}))),
         {{0, INT32_MAX, INT32_MAX, 4}}},
        {"NotVoxSpace",
         Join(Text("VOX!"), Int32s({1, 1})),
         {},
         {{1, kMark}},
         {"Magic Header ID = (VOX!)", "We think it is a Poly2Vox file...", "Size is (559435606,1,1)", "(0)"}},
        {"ShortMagic", Text("VO"), {}, {}, {"Magic Header ID = (VO34)", "Size is (20310,0,0)"}},
        {"Empty", {}, {}, {}, {"Magic Header ID = (1234)", "Size is (0,0,0)", "(0)", "Got 0 voxels! "}},
        {"NoColumnsPaletteFollows", Join(Int32s({0, 5, 7}), Bytes{1, 2, 3}), {}, {{256, {4, 8, 12, 255}}, {1, kMark}}},
    };
    // Other ids that lie about their sizes hide what follows them. The chunks
    // the reader knows never skip their children: a wrong children size (some
    // editors wrote -1 for MAIN) changes only the log.
    for (int32_t bad : {-1, -12, 12, 0x7fffffff}) {
        const std::string n = std::to_string(uint32_t(bad)), shown = (bad < 0 ? "" : " ") + std::to_string(bad);
        cases.push_back({"ContentSize" + n,
                         VoxFile(Join(Header("nTRN", bad, 0), Size(3, 3, 3), Xyzi({{0, 0, 0, 1}}))),
                         kMarked,
                         {},
                         {"Size =" + shown}});
        cases.push_back({"ChildrenSize" + n, VoxFile(Join(Header("nGRP", 0, bad), Xyzi({{0, 0, 0, 1}}))), kMarked});
        Bytes file = VoxFile(Join(Size(4, 5, 6), Xyzi({{1, 2, 3, 9}}), PatternRgba()));
        const Bytes field = Int32s({bad});
        for (const char* id : {"MAIN", "SIZE", "XYZI", "RGBA"})
            std::copy(field.begin(), field.end(), std::search(file.begin(), file.end(), id, id + 4) + 8);
        cases.push_back(
            {"Known" + n, file, {{1, 3, 3, 9}}, {{1, kFirst}, {256, kLast}}, Lines(4, "ChildChunks =" + shown)});
    }
    for (auto [x, z] : {std::pair{-1, 1}, {1, -2}, {65536, 65536}, {INT32_MAX, INT32_MAX}, {2, 2}}) {
        cases.push_back({"Poly2Vox" + std::to_string(uint32_t(x)) + "x" + std::to_string(uint32_t(z)),
                         Join(Int32s({x, x, z}), Bytes(7, 9)),
                         {},
                         {{1, kMark}, {256, kMark}},
                         {"(0)", "Got 0 voxels! "}});
    }
    return cases;
}

TEST(VoxRead, CraftedFilesGiveTheCellsPaletteAndLog) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        const Loaded got = Load(c.file);
        EXPECT_EQ(got.result, 1);
        EXPECT_EQ(got.voxels(), c.voxels);
        for (const Voxel& v : got.model.voxels) EXPECT_EQ(v.reserved, 0);
        for (const auto& [n, bytes] : c.entries) EXPECT_EQ(got.entry(n), bytes) << "entry " << n;
        for (auto at = got.lines.begin(); const std::string& line : c.lines) {
            at = std::find(at, got.lines.end(), line);
            ASSERT_NE(at, got.lines.end()) << "missing, or out of order: \"" << line << "\"";
            ++at;
        }
    }
}

// Cut before its RGBA content, a file has the published default palette.
TEST(VoxRead, EveryTruncationIsSafeInventsNoVoxelAndKeepsTheDefaultPalette) {
    std::vector<Rgba4> published;
    std::ifstream in(VOXWALK_SOURCE_DIR "/tests/data/vox-default-palette.txt");
    for (std::string hex; in >> hex;) {
        const uint32_t v = uint32_t(std::stoul(hex, nullptr, 16));
        published.push_back({uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
    }
    ASSERT_EQ(published.size(), 256u);
    const Bytes magica = VoxFile(Join(Size(4, 4, 4), Xyzi({{0, 0, 0, 1}, {1, 1, 1, 2}, {2, 2, 2, 3}}), PatternRgba()));
    const Cells all = {{0, 4, 4, 1}, {1, 3, 3, 2}, {2, 2, 2, 3}};
    const size_t head = 56, firstVoxel = 60, rgbaContent = 84;  // where XYZI's content, its cells, RGBA's content start
    for (size_t length = 0; length < magica.size(); ++length) {
        const Loaded got = Load(Bytes(magica.begin(), magica.begin() + long(length)));
        const long whole = length > firstVoxel ? std::min<long>(3, long(length - firstVoxel) / 4) : 0;
        const Cells voxels = length < 4 ? Cells{} : length < head ? kMarked : Cells(all.begin(), all.begin() + whole);
        ASSERT_EQ(got.voxels(), voxels) << length;
        // Palette entries come from the file only where its bytes are there.
        const Rgba4 first = length >= rgbaContent + 4 ? kFirst : length >= rgbaContent || length < 4 ? kMark : kWhite;
        ASSERT_EQ(got.entry(1), first) << length;
        for (int n = 2; first == kWhite && n <= 256; ++n) ASSERT_EQ(got.entry(n), published[n - 1]) << length;
    }
    const Bytes poly = Join(Int32s({1, 2, 2}), Bytes{3, 0, 4, 255}, Bytes(768, 10));
    for (size_t length = 0; length < poly.size(); ++length) {
        const Loaded got = Load(Bytes(poly.begin(), poly.begin() + long(length)));
        ASSERT_EQ(got.voxels(), length >= 16 ? Cells({{0, 0, 1, 3}, {0, 1, 1, 4}}) : Cells{}) << length;
    }
}

// One model under root 0 -> group 1 -> transform 2 -> shape 3.
Bytes Nested(const Bytes& model, const char* outerR, const char* outerT, const char* innerR, const char* innerT) {
    return VoxFile(Join(model, Trn(0, {}, 1, -1, {Key(outerR, outerT)}), Grp(1, {}, {2}),
                        Trn(2, {}, 3, -1, {Key(innerR, innerT)}), Shp(3, 0)));
}

// Model 0 holds colours 1 and 2 in one cell; model 1 (colour 3) takes that
// cell too; model 2 (colour 4) is placed at `far`. Transforms 2, 4, 6 place
// models 0, 1, 2; `placed` lists those used.
Bytes Overlap(const char* far, std::initializer_list<int32_t> placed) {
    return VoxFile(Join(Model(1, 1, 1, {{0, 0, 0, 1}, {0, 0, 0, 2}}), Model(1, 1, 1, {{0, 0, 0, 3}}),
                        Model(1, 1, 1, {{0, 0, 0, 4}}), Trn(0, {}, 1, -1), Grp(1, {}, placed), Trn(2, {}, 3, -1),
                        Shp(3, 0), Trn(4, {}, 5, -1), Shp(5, 1), Trn(6, {}, 7, -1, {Key("4", far)}), Shp(7, 2)));
}

TEST(VoxScene, ComposesFrameZeroAsTheCompositionRuleSays) {
    // Four shapes of colours 1 to 4 under transforms 2, 4, 6 and 8: hidden
    // itself, on hidden layer 0, on visible layer 1, and a hidden shape.
    Bytes hidden;
    for (uint8_t c = 1; c <= 4; ++c) Append(hidden, Model(1, 1, 1, {{c, 0, 0, c}}));
    hidden = VoxFile(Join(hidden, Node("LAYR", 0, {{"_hidden", "1"}}, Int32s({-1})), Trn(0, {}, 1, -1),
                          Node("LAYR", 1, {{"_name", "shown"}}, Int32s({-1})), Grp(1, {}, {2, 4, 6, 8}), Shp(3, 0),
                          Trn(2, {{"_hidden", "1"}}, 3, -1), Trn(4, {}, 5, 0), Shp(5, 1), Trn(6, {}, 7, 1), Shp(7, 2),
                          Trn(8, {}, 9, -1), Shp(9, {{"_hidden", "1"}}, {{3, Dict({})}})));
    // Group 2 under transforms 1 and 3; shape 5 under transforms 4 and 6.
    const Bytes shared = VoxFile(Join(Model(1, 1, 1, {{0, 0, 0, 7}}), Trn(0, {}, 10, -1), Grp(10, {}, {1, 3}),
                                      Trn(1, {}, 2, -1), Trn(3, {}, 2, -1, {Key("4", "0 0 10")}), Grp(2, {}, {4, 6}),
                                      Trn(4, {}, 5, -1), Trn(6, {}, 5, -1, {Key("4", "5 0 0")}), Shp(5, 0)));
    // Rotation bytes: 52 a half turn about z, 17 a quarter turn about z
    // (x, y, z) -> (-y, x, z), 40 a quarter turn about x (x, y, z) ->
    // (x, -z, y), 66 (x, y, z) -> (z, x, -y).
    const std::pair<Bytes, Cells> rows[] = {
        {Nested(Model(3, 3, 3, {{0, 0, 0, 1}}), "4", "0 0 0", "4", "0 0 0"), {{-1, -1, -1, 1}}},
        {Nested(Model(4, 2, 6, {{3, 1, 5, 1}}), "4", "10 -20 30", "4", "0 0 0"), {{11, -20, 32, 1}}},
        {Nested(Model(4, 4, 1, {{0, 0, 0, 1}}), "52", "0 0 0", "4", "0 0 0"), {{1, 1, 0, 1}}},
        {Nested(Model(3, 3, 1, {{2, 0, 0, 1}}), "52", "0 0 0", "4", "0 0 0"), {{-2, 0, 0, 1}}},
        {Nested(Model(4, 2, 1, {{1, 0, 0, 1}}), "17", "0 0 0", "4", "0 0 0"), {{0, -1, 0, 1}}},
        {Nested(Model(1, 2, 3, {{0, 1, 2, 1}}), "66", "0 0 0", "4", "0 0 0"), {{1, 0, -1, 1}}},
        {Nested(Model(4, 2, 1, {{1, 0, 0, 1}}), "17", "10 0 0", "4", "1 0 0"), {{10, 0, 0, 1}}},  // inner shift turned
        {Nested(Model(2, 1, 1, {{0, 0, 0, 1}}), "17", "0 0 0", "40", "0 0 0"), {{0, -1, 0, 1}}},  // inner turn first
        {hidden, {{3, 0, 0, 3}}},
        {shared, {{0, 0, 0, 7}, {5, 0, 0, 7}, {0, 0, 10, 7}, {5, 0, 10, 7}}},  // once per path
        // The later voxel in graph order wins its cell, whichever way shared
        // cells are found: one bitmap, sorting, one bitmap per model.
        {Overlap("1 0 0", {2, 4, 6}), {{0, 0, 0, 3}, {1, 0, 0, 4}}},  // two cells of one bitmap word
        {Overlap("16777000 5 5", {2, 4, 6}), {{0, 0, 0, 3}, {16777000, 5, 5, 4}}},
        {Overlap("16777000 5 5", {2, 6}), {{0, 0, 0, 2}, {16777000, 5, 5, 4}}},
        // A sparse model that repeats a cell, out of scan order.
        {VoxFile(Model(256, 256, 256, {{200, 200, 200, 1}, {0, 0, 0, 1}, {200, 200, 200, 2}})),
         {{-128, -128, -128, 1}, {72, 72, 72, 2}}},
    };
    for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(Frame(Read(rows[i].first), 0), rows[i].second) << i;
    // Both readers, once mirrored like the reader, agree: exactly for a model
    // whose voxels fill its box, up to a translation (y - 1) for Poly2Vox.
    const Bytes model = Model(3, 4, 5, {{0, 0, 0, 1}, {2, 3, 4, 2}, {1, 2, 0, 3}});
    const Bytes poly = Join(Int32s({2, 1, 3}), Bytes{0, 5, 9, 7, 0, 0}, Bytes(768, 33));
    LogCapture quiet;
    for (const Bytes& file : {VoxFile(model), VoxFile(Join(model, Trn(0, {}, 1, -1), Shp(1, 0))), poly}) {
        VoxelModel reference, composed;
        LoadVoxelModelFromMemory(file.data(), file.size(), reference);
        ComposeFrame(Read(file), 0, composed);
        // The design reader mirrors y and z by the model's box.
        int32_t low[3], high[3];
        ASSERT_TRUE(VoxelModelBounds(composed, low, high));
        for (Voxel& v : composed.voxels) v = {v.x - low[0], high[1] + 1 - v.y, high[2] + 1 - v.z, v.colorIndex, 0};
        Cells want = CellsOf(reference), got = CellsOf(composed);
        for (Cell4& c : got) c[1] -= file == poly ? 1 : 0;
        EXPECT_TRUE(std::ranges::is_permutation(got, want));
        EXPECT_EQ(composed.palette, reference.palette);
    }
}

TEST(VoxScene, KeyframesAndModelsWithoutAGraphMakeTheFrames) {
    // Keys stored out of order; the translation goes from 4 0 0 to 0 -3 0
    // over frames 1 to 5 and holds before frame 1; the half turn starts at 5;
    // model 1 replaces model 0 at 2.
    const VoxelScene scene =
        Read(VoxFile(Join(Model(1, 1, 1, {{0, 0, 0, 1}}), Model(1, 1, 1, {{0, 0, 0, 2}}), Trn(0, {}, 1, -1),
                          Grp(1, {}, {2}), Trn(2, {}, 3, -1, {Key("52", "0 -3 0", "5"), Key("4", "4 0 0", "1")}),
                          Shp(3, {}, {{0, Dict({{"_f", "0"}})}, {1, Dict({{"_f", "2"}})}})),
                     200));
    EXPECT_EQ(VoxelSceneFrameCount(scene), 6);
    const std::pair<int32_t, Cell4> expected[] = {{-3, {4, 0, 0, 1}},  {0, {4, 0, 0, 1}},  {1, {4, 0, 0, 1}},
                                                  {2, {3, -1, 0, 2}},  {3, {2, -1, 0, 2}}, {4, {1, -2, 0, 2}},
                                                  {5, {-1, -4, 0, 2}}, {9, {-1, -4, 0, 2}}};
    for (const auto& [frame, cell] : expected) EXPECT_EQ(Frame(scene, frame), Cells{cell}) << "frame " << frame;
    // Models without a graph are frames.
    const VoxelScene packed =
        Read(VoxFile(Join(Chunk("PACK", Int32s({2})), Model(2, 2, 2, {{0, 0, 1, 1}}), Model(2, 2, 2, {{1, 0, 1, 2}}))));
    ASSERT_EQ(VoxelSceneFrameCount(packed), 2);
    EXPECT_EQ(Frame(packed, 0), (Cells{{-1, -1, 0, 1}}));
    EXPECT_EQ(Frame(packed, 2), (Cells{{0, -1, 0, 2}}));  // the last frame holds
}

TEST(VoxScene, ReadsMaterialsAndNeverRefusesAFileForThem) {
    using P = VoxelMaterialProperty;
    using T = VoxelMaterialType;
    struct Row {
        Bytes chunk;
        int32_t id;  // 0: no material comes of it
        T type;
        std::vector<std::pair<P, float>> values;
    };
    const float big = 1e30f;
    const Row rows[] = {
        {Matl(1, {{"_type", "_metal"}, {"_rough", "0.25"}, {"_metal", "1.000000"}, {"_spec", "0.5"}}),
         1,
         T::Metal,
         {{P::Rough, 0.25f}, {P::Metal, 1}, {P::Specular, 0.5f}}},
        // Clamped to the range; flux rounded to a whole number.
        {Matl(2, {{"_type", "_emit"}, {"_emit", "2"}, {"_flux", "2.6"}, {"_ldr", "0.1"}, {"_weight", "-3"}}),
         2,
         T::Emit,
         {{P::Emit, 1}, {P::Flux, 3}, {P::Ldr, 0.1f}, {P::Weight, 0}}},
        // The own key wins over its alias in either order; aliases alone count.
        {Matl(3, {{"_type", "_glass"},
                  {"_ri", "1.5"},
                  {"_ior", "0.3"},
                  {"_trans", "0.6"},
                  {"_alpha", "0.4"},
                  {"_sp", "7"},
                  {"_d", "1e30"}}),
         3,
         T::Glass,
         {{P::Ior, 0.3f}, {P::Transparency, 0.6f}, {P::Specular, 7}, {P::Density, big}}},
        {Matl(4, {{"_alpha", "0.4"}, {"_type", "_blend"}, {"_att", " 0.5 "}, {"_plastic", "1"}, {"_d", "-0"}}),
         4,
         T::Blend,
         {{P::Transparency, 0.4f}, {P::Attenuation, 0.5f}, {P::Plastic, 1}, {P::Density, 0}}},
        // Unknown types and keys, unparsable, non-finite and out-of-range numbers: left out.
        {Matl(5, {{"_type", "_plasma"},
                  {"_rough", "abc"},
                  {"_metal", ""},
                  {"_att", "nan"},
                  {"_trans", "inf"},
                  {"_d", "1e99"},
                  {"type", "_glass"},
                  {"_unknown", "5"},
                  {"_emit", "0x1"},
                  {"_flux", "1,5"}}),
         5,
         T::Diffuse,
         {}},
        {Matl(6, {{"_type", "_cloud"}, {"_type", "_media"}, {"_plastic", "0.4"}}), 6, T::Media, {{P::Plastic, 0}}},
        // Entries outside 1..255, a lying DICT, a cut one: no material, the file still reads.
        {Matl(0, {{"_type", "_emit"}}), 0, T::Diffuse, {}},
        {Matl(256, {{"_type", "_emit"}}), 0, T::Diffuse, {}},
        {Chunk("MATL", Int32s({7, 0x7fffffff})), 0, T::Diffuse, {}},
        {Chunk("MATL", Int32s({7, 1, 4})), 0, T::Diffuse, {}},
        {Chunk("MATL", Int32s({7})), 0, T::Diffuse, {}},
        // MATT: emissive with roughness, power and glow; a metal with plastic
        // and isTotalPower (no value); values cut short; an unknown type.
        {Matt(8, 3, 0.8f, 0x62, {0.3f, 2.0f, 0.7f}),
         8,
         T::Emit,
         {{P::Weight, 0.8f}, {P::Emit, 0.8f}, {P::Rough, 0.3f}, {P::Flux, 2}, {P::Ldr, 0.7f}}},
        {Matt(9, 1, 1.5f, 0x81, {1.0f}), 9, T::Metal, {{P::Weight, 1}, {P::Plastic, 1}}},
        {Matt(10, 2, 0.5f, 0x3, {1.0f}), 0, T::Diffuse, {}},
        {Matt(11, 9, std::numeric_limits<float>::quiet_NaN(), 0, {}), 11, T::Diffuse, {}},
    };
    for (const Row& row : rows) {
        const VoxelScene scene = Read(VoxFile(Join(Model(1, 1, 1, {{0, 0, 0, 1}}), row.chunk)));
        ASSERT_EQ(scene.materials.size(), row.id ? 1u : 0u) << row.id;
        if (row.id == 0) continue;
        const VoxelMaterial& m = scene.materials[0];
        EXPECT_EQ(m.id, row.id);
        EXPECT_EQ(m.type, row.type) << row.id;
        uint32_t set = 0;
        for (const auto& [property, value] : row.values) {
            EXPECT_TRUE(VoxelMaterialHas(m, property)) << row.id << " " << VoxelMaterialPropertyName(property);
            EXPECT_EQ(m.values[size_t(property)], value) << row.id << " " << VoxelMaterialPropertyName(property);
            set |= 1u << unsigned(property);
        }
        EXPECT_EQ(m.set, set) << row.id;
    }
    // Sorted by entry; the last chunk for an entry counts, MATL or MATT.
    const VoxelScene scene = Read(VoxFile(Join(Matl(200, {{"_type", "_metal"}}), Matl(3, {{"_type", "_glass"}}),
                                               Matt(200, 3, 1, 0, {}), Matl(3, {{"_rough", "1"}}))));
    ASSERT_EQ(scene.materials.size(), 2u);
    EXPECT_EQ(std::tuple(scene.materials[0].id, scene.materials[0].type, scene.materials[0].set),
              std::tuple(3, T::Diffuse, 1u << unsigned(P::Rough)));
    EXPECT_EQ(std::tuple(scene.materials[1].id, scene.materials[1].type), std::tuple(200, T::Emit));
}

// Root 0 -> group 1 -> `levels` groups, each placing the level below `width`
// times through its own transforms, down to node 999: a shape of model 0, or
// an empty group.
Bytes Tree(int32_t levels, int32_t width, const Bytes& model, bool empty = false) {
    Bytes graph = Join(model, Trn(0, {}, 1, -1));
    for (int32_t l = 0; l < levels; ++l) {
        const int32_t group = 1 + 3 * l, below = l + 1 < levels ? 1 + 3 * (l + 1) : 999;
        Append(graph, width == 1 ? Grp(group, {}, {group + 1}) : Grp(group, {}, {group + 1, group + 2}));
        for (int32_t w = 1; w <= width; ++w) Append(graph, Trn(group + w, {}, below, -1));
    }
    return VoxFile(Join(graph, empty ? Grp(999, {}, {}) : Shp(999, 0)));
}

Bytes OneShape(const Bytes& transformKey, int32_t model = 0) {
    return VoxFile(Join(Model(2, 2, 2, {{0, 0, 0, 1}}), Trn(0, {}, 1, -1, {transformKey}), Shp(1, model)));
}

TEST(VoxScene, RefusesHostileFilesWithOneLineNamingTheFileAndLeavesTheSceneEmpty) {
    Bytes big = Int32s({16384});
    for (int i = 0; i < 16384; ++i) big.insert(big.end(), {uint8_t(i), uint8_t(i >> 8), 0, 1});
    big = Join(Size(256, 256, 1), Chunk("XYZI", big));
    const Bytes m = Model(1, 1, 1, {{0, 0, 0, 1}});
    Bytes cut = VoxFile(Join(m, PatternRgba()));
    cut.resize(cut.size() - 1036);
    const std::pair<Bytes, const char*> rows[] = {
        // the file, part of the error
        {VoxFile(Join(m, Trn(0, {}, 1, -1), Grp(1, {}, {2}), Trn(2, {}, 1, -1))), "cycle"},
        {VoxFile(Join(m, Trn(0, {}, 1, -1), Grp(1, {}, {1}))), "not a valid child"},
        {VoxFile(Join(m, Trn(0, {}, 5, -1))), "child node 5 does not exist"},
        {VoxFile(Join(m, Trn(0, {}, 1, -1), Shp(1, 0), Shp(1, 0))), "node id 1 is used twice"},
        {VoxFile(Join(m, Trn(0, {}, 1, -1), Trn(1, {}, 2, -1), Shp(2, 0))), "not a valid child"},
        {VoxFile(Join(m, Trn(1, {}, 2, -1), Shp(2, 0))), "no root node 0"},
        {VoxFile(Join(m, Grp(0, {}, {}))), "root node 0 is not a transform"},
        {OneShape(Key("4", "0 0 0"), 1), "model 1 does not exist"},
        {OneShape(Key("4", "0 0 0"), -1), "model -1"},
        // Rotations: column 3, two rows in one column, bit 7.
        {OneShape(Key("3", "0 0 0")), "rotation '3'"},
        {OneShape(Key("0", "0 0 0")), "rotation '0'"},
        {OneShape(Key("132", "0 0 0")), "rotation '132'"},
        {OneShape(Key("4", "1 2")), "translation '1 2'"},
        {OneShape(Key("4", "1 2 3 4")), "translation"},
        {OneShape(Key("4", "1 up 3")), "translation"},
        {OneShape(Key("4", "0 99999999 0")), "translation"},
        {OneShape(Key("4", "0 0 0", "2147483647")), "frame index"},
        {OneShape(Key("4", "0 0 0", "-1")), "frame index"},
        {VoxFile(Join(m, Trn(0, {}, 1, -1, {Key("4", "0 0 0"), Key("4", "1 0 0")}), Shp(1, 0))), "two keys"},
        {VoxFile(Join(m, Chunk("nTRN", Int32s({0, 0x7fffffff})))), "dictionary claims"},
        {VoxFile(Join(m, Chunk("nTRN", Int32s({0, 1, 0x7ffffff0, 0})))), "string runs past"},
        {VoxFile(Join(m, Chunk("nGRP", Int32s({1, 0, 0x7fffffff})))), "children"},
        {VoxFile(Join(m, Chunk("nTRN", Int32s({0, 0, 1, -1, -1, 0})))), "keyframes"},
        {VoxFile(Join(m, Chunk("nTRN", Int32s({0, 0, 1, -1, -1, 0x40000000})))), "keyframes"},
        {VoxFile(Join(m, Chunk("nSHP", Int32s({1, 0, 0})))), "models"},
        {VoxFile(Join(Size(1, 1, 1), Chunk("XYZI", Int32s({0x7fffffff, 0})))), "voxels but holds 1"},
        {VoxFile(Xyzi({{0, 0, 0, 1}})), "without a SIZE"},
        {VoxFile(Model(0, 1, 1, {})), "model size 0 1 1"},
        {Join(VoxFile(m), Header("nTRN", 100, 0)), "runs past the end"},
        {Join(VoxFile(m), Text("nTR")), "header cut"},
        {Tree(kVoxSceneMaxDepth, 1, m), "deeper than 64"},
        {Tree(21, 2, m), "more than 4194304 node placements"},
        {Tree(21, 2, m, true), "node placements"},  // a wide graph without shapes
        {Tree(11, 2, big), "more than 16777216 voxels"},
        {Text("not a voxel file"), "neither a MagicaVoxel file nor a Poly2Vox file"},
        // Poly2Vox: sizes of at least 1, and exactly the cells and palette they imply.
        {Bytes(780, 0), "Poly2Vox sizes 0 0 0 are not at least 1 each"},
        {Join(Int32s({1, -1, 1}), Bytes(768, 0)), "Poly2Vox sizes 1 -1 1 are not"},
        {Join(Int32s({2, 1, 3}), Bytes(6 + 767, 0)), "Poly2Vox sizes 2 1 3 need 786 bytes, the file has 785"},
        {Join(Int32s({2, 1, 3}), Bytes(6 + 769, 0)), "need 786 bytes, the file has 787"},
        {Int32s({1, 1}), "8 bytes are too few for either"},
        // Cut at a chunk's end: MAIN's children say so.
        {cut, "MAIN at byte 8: the file is cut short: its children claim 1080 bytes, 44 follow"},
        // Models in chunks this reader does not know.
        {VoxFile(Join(Chunk("XRAW", Bytes(8, 1)), Trn(0, {}, 1, -1), Shp(1, 0))),
         "node 1 shows model 0, but the file has no models this reader can read; "
         "chunks it does not know: 'XRAW' at byte 20"},
        {VoxFile(Join(m, Chunk("XRAW", {}), Trn(0, {}, 1, -1), Shp(1, 3))),
         "node 1 shows model 3, but the file has 1 model this reader can read; "
         "chunks it does not know: 'XRAW' at byte 64"},
        {VoxFile(Join(Chunk("SIZF", {}), Chunk("XYZC", {}), Chunk("NOTE", {}), Chunk("ABCD", {}), Chunk("EFGH", {}),
                      Chunk("IJKL", {}), Chunk("MNOP", {}))),
         "no models this reader can read; chunks it does not know: 'SIZF' at byte 20, 'XYZC' at byte 32, "
         "'ABCD' at byte 56, 'EFGH' at byte 68 and 2 more"},
    };
    VoxelScene scene;
    std::string error;
    for (const auto& [file, message] : rows) {
        scene.models.resize(2);
        EXPECT_FALSE(LoadVoxelSceneFromMemory(file.data(), file.size(), "bad.vox", scene, error)) << message;
        EXPECT_EQ(error.rfind("bad.vox: ", 0), 0u) << error;
        EXPECT_TRUE(error.find(message) != std::string::npos && error.find('\n') == std::string::npos) << error;
        EXPECT_TRUE(scene.models.empty()) << message;
    }
    // Just within the bounds: still loaded.
    EXPECT_EQ(Frame(Read(Tree(kVoxSceneMaxDepth - 1, 1, m)), 0).size(), 1u);
    EXPECT_EQ(Frame(Read(Tree(10, 2, m)), 0).size(), 1u);  // 1024 placements of one cell
    // What still loads: MAIN's children as -1 (some editors wrote it), or
    // fewer than follow; harmless chunks beside the models; no models at all.
    Bytes minusOne = VoxFile(m), fewer = VoxFile(m);
    minusOne[16] = minusOne[17] = minusOne[18] = minusOne[19] = 0xff;
    fewer[16] = 4;
    for (const Bytes& file :
         {minusOne, fewer, VoxFile(Join(Chunk("IMAP", Bytes(256, 0)), m, Chunk("rOBJ", {}))), VoxFile(PatternRgba())}) {
        EXPECT_TRUE(LoadVoxelSceneFromMemory(file.data(), file.size(), "ok.vox", scene, error)) << error;
    }
}

// Runs `load`; one still blocked after 5 s fails the test and is released
// by opening the FIFO's writing end.
template <typename Load>
void WithoutHanging(const std::string& fifo, Load&& load) {
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    std::thread worker([&] {
        load();
        done.set_value();
    });
    if (finished.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << "blocked on " << fifo;
        close(open(fifo.c_str(), O_WRONLY | O_CLOEXEC));
    }
    worker.join();
}

// Regular files and pipes given by descriptor are read; anything else,
// named FIFOs included, is refused at once with what it is.
TEST(VoxScene, ReadsRegularFilesAndDescriptorPipesAndRefusesOtherFilesWithoutBlocking) {
    const std::string dir = testing::TempDir() + "voxscene-" + std::to_string(getpid());
    const std::string fifo = dir + "/fifo.vox", regular = dir + "/model.vox";
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // More than a pipe holds, so reading must wait for the writer.
    std::vector<Cell> cells;
    for (int i = 0; i < 40000; ++i) cells.push_back({uint8_t(i), uint8_t(i >> 8), 0, 1});
    const Bytes file = VoxFile(Model(256, 256, 1, cells));
    std::ofstream(regular, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), long(file.size()));

    VoxelScene scene;
    std::string error;
    const std::pair<std::string, std::string> refused[] = {
        {fifo, ": not a regular file (a FIFO)"},
        {dir, ": not a regular file (a directory)"},
        {"/dev/null", ": not a regular file (a character device)"},
        {dir + "/missing.vox", ": No such file or directory"},
        {regular + "/x", ": Not a directory"},
    };
    for (const auto& [name, reason] : refused) {
        const std::string& path = name;  // clang 14 cannot capture a structured binding
        WithoutHanging(fifo, [&] { EXPECT_FALSE(LoadVoxelScene(path.c_str(), scene, error)); });
        EXPECT_EQ(error, path + reason);
        // The walk-frame reader keeps its answer for what it cannot read, and the model as it was.
        Loaded none;
        WithoutHanging(fifo, [&] { none = Load({}, path.c_str()); });
        EXPECT_TRUE(none.result == 0 && none.lines == Lines{"Error opening the file"} && none.voxels() == kMarked &&
                    none.entry(1) == kMark)
            << path;
    }

    // A pipe through each of its names, written while it is read.
    const auto oldSigpipe = signal(SIGPIPE, SIG_IGN);  // a writer left waiting fails instead of ending the test
    const int savedStdin = dup(0);
    for (const std::string form : {"/dev/fd/", "/proc/self/fd/", "/dev/stdin"}) {
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        dup2(ends[0], 0);
        const std::string path = form == "/dev/stdin" ? form : form + std::to_string(ends[0]);
        std::thread writer([&file, w = ends[1]] {
            for (size_t at = 0; at < file.size();) {
                const ssize_t n = write(w, file.data() + at, file.size() - at);
                if (n <= 0) break;
                at += size_t(n);
            }
            close(w);
        });
        const bool ok = LoadVoxelScene(path.c_str(), scene, error);
        close(ends[0]);
        dup2(savedStdin, 0);
        writer.join();
        EXPECT_TRUE(ok) << error;
        ASSERT_EQ(scene.models.size(), 1u) << path;
        EXPECT_EQ(scene.models[0].cells.size(), cells.size()) << path;
    }
    close(savedStdin);
    signal(SIGPIPE, oldSigpipe);
    std::filesystem::remove_all(dir);
}

}  // namespace
