// The .vox writer: scenes read from crafted files go out and come back the
// same (graph, layers, keys, materials, every composed frame in order);
// models the editor cannot hold come back as bricks with the same cells;
// frames become one animated file that composes back to them.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <tuple>

#include "SceneFiles.h"

namespace {

using namespace voxtest;

// Writes and reads back; the written bytes in `file`.
VoxelScene RoundTrip(const VoxelScene& scene, Bytes* file = nullptr) {
    Bytes bytes;
    std::string error;
    EXPECT_TRUE(EncodeVoxelScene(scene, bytes, error)) << error;
    if (file) *file = bytes;
    return Read(bytes);
}

// What the reader gives, as values that compare: models, palette, layers,
// nodes with their keys, materials, root and frame count.
auto Fields(const VoxelScene& s) {
    using Key = std::tuple<int32_t, int, int32_t, int32_t, int32_t>;
    std::vector<std::tuple<int32_t, int32_t, int32_t, std::string>> models;
    std::vector<std::tuple<int32_t, std::string, bool>> layers;
    using Children = std::vector<int32_t>;
    using Node = std::tuple<int32_t, int, std::string, bool, int32_t, int32_t, Children, std::vector<Key>>;
    std::vector<Node> nodes;
    std::vector<std::tuple<int32_t, int, std::array<float, kVoxelMaterialPropertyCount>, uint32_t>> materials;
    for (const VoxelSceneModel& m : s.models) {
        const auto* cells = reinterpret_cast<const char*>(m.cells.data());
        models.emplace_back(m.sizeX, m.sizeY, m.sizeZ, std::string(cells, 4 * m.cells.size()));
    }
    for (const VoxelSceneLayer& l : s.layers) layers.emplace_back(l.id, l.name, l.hidden);
    for (const VoxelSceneNode& n : s.nodes) {
        std::vector<Key> keys;
        for (const VoxelTransformKey& k : n.transformKeys) keys.emplace_back(k.frame, k.rotation, k.x, k.y, k.z);
        for (const VoxelShapeKey& k : n.shapeKeys) keys.emplace_back(k.frame, -1, k.model, 0, 0);
        nodes.emplace_back(n.id, int(n.kind), n.name, n.hidden, n.layer, n.layerIndex, n.children, keys);
    }
    for (const VoxelMaterial& m : s.materials) materials.emplace_back(m.id, int(m.type), m.values, m.set);
    return std::tuple(models, s.palette, layers, nodes, materials, s.root, VoxelSceneFrameCount(s));
}

// A Poly2Vox file of X x Y x Z cells, cell n of colour 1 + n % 7 where n % 5 == 0, else empty.
Bytes Poly2Vox(int32_t x, int32_t y, int32_t z) {
    Bytes file = Int32s({x, y, z});
    for (int32_t n = 0; n < x * y * z; ++n) file.push_back(n % 5 == 0 ? uint8_t(1 + n % 7) : 0);
    for (int k = 0; k < 768; ++k) file.push_back(uint8_t(k % 64));
    return file;
}

TEST(VoxWrite, ScenesReadBackWithTheSameGraphLayersMaterialsAndFrames) {
    const Bytes a = Model(3, 4, 5, {{0, 0, 0, 1}, {2, 3, 4, 2}, {1, 2, 0, 3}});
    const Bytes b = Model(2, 2, 2, {{0, 0, 1, 4}, {1, 1, 0, 5}, {1, 1, 0, 6}});  // a repeated cell
    std::array<uint32_t, 256> palette;
    for (uint32_t k = 0; k < 256; ++k) palette[k] = 0x01020304u * k;
    const Bytes rgba = Rgba(palette);
    const Bytes materials =
        Join(Matl(1, {{"_type", "_emit"}, {"_emit", "0.5"}, {"_flux", "3"}}),
             Matl(2, {{"_type", "_glass"}, {"_ri", "1.33"}, {"_trans", "0.25"}, {"_rough", "0.1"}, {"_d", "0.05"}}),
             Matt(5, 1, 0.75f, 0x3, {1.0f, 0.2f}));
    const std::pair<const char*, Bytes> files[] = {
        {"plain", VoxFile(Join(a, rgba))},
        {"default palette, materials", VoxFile(Join(a, b, materials, Trn(0, {}, 1, -1), Shp(1, 1)))},
        // Shape 3 under transforms 2 and 4, group 5 under transforms 1 and 6;
        // rotations with mirrors (116: every sign flipped; 40, 66 turn and flip).
        {"instances, rotations",
         VoxFile(Join(a, b, rgba, Trn(0, {{"_name", "root"}}, 10, -1), Grp(10, {}, {1, 6}),
                      Trn(1, {}, 5, -1, {Key("116", "-7 3 -2")}), Trn(6, {}, 5, 2, {Key("40", "100 0 -100")}),
                      Grp(5, {{"_name", "pair"}}, {2, 4}), Trn(2, {}, 3, -1, {Key("66", "1 2 3")}),
                      Trn(4, {}, 3, -1, {Key("52", "0 0 9")}), Shp(3, 0), Layr(2, {{"_name", "two"}})))},
        {"hidden layers and nodes",
         VoxFile(Join(a, b, Layr(0, {{"_name", "shown"}}), Layr(1, {{"_hidden", "1"}, {"_name", "off"}}), Layr(1, {}),
                      Trn(0, {}, 1, -1), Grp(1, {}, {2, 4, 6, 8}), Trn(2, {{"_hidden", "1"}}, 3, 0), Shp(3, 0),
                      Trn(4, {}, 5, 1), Shp(5, 1), Trn(6, {}, 7, 7), Shp(7, {{"_hidden", "1"}}, {{1, Dict({})}}),
                      Trn(8, {{"_name", "\xff\x01 odd"}}, 9, 0), Shp(9, 0)))},
        {"keyframes",
         VoxFile(Join(a, b, Trn(0, {}, 1, -1), Grp(1, {}, {2}),
                      Trn(2, {}, 3, -1, {Key("52", "0 -3 0", "5"), Key("4", "4 0 0", "1"), Key("17", "9 9 9", "8")}),
                      Shp(3, {}, {{0, Dict({{"_f", "0"}})}, {1, Dict({{"_f", "2"}})}, {0, Dict({{"_f", "6"}})}})),
                 200)},
        {"models as frames", VoxFile(Join(Pack(3), a, b, Model(1, 1, 1, {}), rgba))},
        {"poly2vox", Poly2Vox(2, 3, 4)},
    };
    for (const auto& [name, file] : files) {
        SCOPED_TRACE(name);
        const VoxelScene scene = Read(file);
        Bytes written;
        const VoxelScene back = RoundTrip(scene, &written);
        if (!scene.poly2vox) {  // Poly2Vox's records become cells
            EXPECT_EQ(Fields(back), Fields(scene));
        }
        ASSERT_EQ(VoxelSceneFrameCount(back), VoxelSceneFrameCount(scene));
        for (int32_t f = 0; f < VoxelSceneFrameCount(scene); ++f) EXPECT_EQ(Frame(back, f), Frame(scene, f)) << f;
        // Version 200 only where a key needs `_f`.
        EXPECT_EQ(written[4], std::string(name) == "keyframes" ? 200 : 150);
    }
}

// Every model of the written file fits the editor, and every frame holds
// the cells it held (bricks come in turn, so as sets).
void ExpectBricksKeepTheCells(const VoxelScene& scene) {
    const VoxelScene back = RoundTrip(scene);
    for (const VoxelSceneModel& m : back.models) {
        EXPECT_TRUE(m.wide.empty() && m.sizeX <= 256 && m.sizeY <= 256 && m.sizeZ <= 256);
    }
    ASSERT_EQ(VoxelSceneFrameCount(back), VoxelSceneFrameCount(scene));
    for (int32_t f = 0; f < VoxelSceneFrameCount(scene); ++f) {
        const Cells want = Frame(scene, f, true);
        EXPECT_EQ(Frame(back, f, true), want) << "frame " << f;
    }
}

TEST(VoxWrite, ModelsBeyondTheEditorsCellsAreWrittenAsBricksThatComposeToTheSameCells) {
    // Poly2Vox: 300 cells along x, odd sizes elsewhere.
    ExpectBricksKeepTheCells(Read(Poly2Vox(3, 5, 300)));
    // SIZE beyond 256 (pivot 150, 20, 128), shown by a shape keyed between
    // it and a small model, under two transforms, one turned and mirrored;
    // a shape of the big model alone; a hidden one.
    std::vector<Cell> cells;
    for (int i = 0; i < 256; i += 3) {
        cells.push_back({uint8_t(i), uint8_t(i % 40), uint8_t(255 - i), uint8_t(1 + i % 9)});
    }
    const Bytes big = Model(300, 40, 257, cells), small = Model(3, 3, 3, {{0, 1, 2, 9}});
    ExpectBricksKeepTheCells(
        Read(VoxFile(Join(small, big, Trn(0, {}, 1, -1), Grp(1, {}, {2, 4, 6, 8}),
                          Trn(2, {}, 3, -1, {Key("116", "5 0 -5", "0"), Key("4", "0 0 0", "4")}),
                          Shp(3, {}, {{0, Dict({{"_f", "0"}})}, {1, Dict({{"_f", "2"}})}, {0, Dict({{"_f", "3"}})}}),
                          Trn(4, {}, 3, -1, {Key("17", "-40 0 0")}), Trn(6, {}, 7, -1), Shp(7, 1), Trn(8, {}, 9, -1),
                          Shp(9, {{"_hidden", "1"}}, {{1, Dict({})}})),
                     200)));
    // Hand-made models without a graph: wide voxels far apart and below 0,
    // a wide model that fits, a big empty one.
    // Sizes, voxels and the inclusive box of each, as the reader gives them.
    VoxelScene scene;
    scene.models = {{.sizeX = 10,
                     .sizeY = 600,
                     .sizeZ = 1,
                     .cells = {},
                     .wide = {{-300, 5, 0, 3, 0}, {600, -2, 9, 4, 0}, {0, 0, 0, 5, 0}, {255, 256, 257, 6, 0}},
                     .minX = -300,
                     .minY = -2,
                     .minZ = 0,
                     .maxX = 600,
                     .maxY = 256,
                     .maxZ = 257},
                    {.sizeX = 4,
                     .sizeY = 4,
                     .sizeZ = 4,
                     .cells = {},
                     .wide = {{1, 2, 3, 7, 0}},
                     .minX = 1,
                     .minY = 2,
                     .minZ = 3,
                     .maxX = 1,
                     .maxY = 2,
                     .maxZ = 3},
                    {.sizeX = 2000, .sizeY = 2000, .sizeZ = 2000, .cells = {}, .wide = {}}};
    scene.frameCount = 3;
    ExpectBricksKeepTheCells(scene);

    scene.models[1].wide[0].colorIndex = 256;
    Bytes bytes;
    std::string error;
    EXPECT_FALSE(EncodeVoxelScene(scene, bytes, error));
    EXPECT_EQ(error, "model 1: colour index 256 does not fit a .vox file");
    EXPECT_TRUE(bytes.empty());
}

VoxelModel FrameOf(std::initializer_list<Voxel> voxels, uint32_t paletteSeed = 1) {
    VoxelModel model;
    model.voxels = voxels;
    for (uint32_t k = 0; k < 256; ++k) model.palette[k] = paletteSeed * (k + 1) * 0x01010101u;
    return model;
}

// Each voxel with the colour its index names, sorted.
std::vector<std::array<int64_t, 4>> Coloured(const VoxelModel& model) {
    std::vector<std::array<int64_t, 4>> out;
    for (const Voxel& v : model.voxels) out.push_back({v.x, v.y, v.z, model.palette[v.colorIndex - 1]});
    std::sort(out.begin(), out.end());
    return out;
}

TEST(VoxWrite, FramesBecomeOneAnimatedFileThatComposesBackToEachFrame) {
    // Frames spread over more than 256 cells and below 0, an empty frame, a
    // frame repeated; then two palettes that name one colour differently.
    const std::vector<std::vector<VoxelModel>> cases = {
        {FrameOf({{-200, 0, 0, 1, 0}, {400, 3, -7, 2, 0}}), FrameOf({}), FrameOf({{5, 5, 5, 3, 0}}),
         FrameOf({{5, 5, 5, 3, 0}}), FrameOf({{-200, 1, 0, 4, 0}, {0, 300, 0, 5, 0}})},
        {FrameOf({{0, 0, 0, 2, 0}, {1, 0, 0, 3, 0}}, 1), FrameOf({{0, 0, 0, 4, 0}, {0, 0, 9, 6, 0}}, 2)},
        {FrameOf({{7, 8, 9, 1, 0}})},
    };
    for (size_t c = 0; c < cases.size(); ++c) {
        const std::vector<VoxelModel>& frames = cases[c];
        Bytes bytes;
        std::string error;
        ASSERT_TRUE(EncodeVoxelFrames(frames, bytes, error)) << error;
        const VoxelScene back = Read(bytes);
        ASSERT_EQ(VoxelSceneFrameCount(back), int32_t(frames.size())) << c;
        EXPECT_EQ(bytes[4], frames.size() > 1 ? 200 : 150);
        for (size_t f = 0; f < frames.size(); ++f) {
            VoxelModel composed;
            ComposeFrame(back, int32_t(f), composed);
            EXPECT_EQ(Coloured(composed), Coloured(frames[f])) << c << " frame " << f;
        }
    }
    // 256 colours; no frames.
    std::vector<VoxelModel> many(2);
    for (int32_t k = 0; k < 128; ++k) {
        many[0].voxels.push_back({k, 0, 0, uint32_t(1 + k), 0});
        many[1].voxels.push_back({k, 0, 0, uint32_t(1 + k), 0});
        many[0].palette[size_t(k)] = uint32_t(k);
        many[1].palette[size_t(k)] = uint32_t(1000 + k);
    }
    Bytes bytes;
    std::string error;
    EXPECT_FALSE(EncodeVoxelFrames(many, bytes, error));
    EXPECT_EQ(error, "the frames use more than 255 colours");
    EXPECT_FALSE(EncodeVoxelFrames({}, bytes, error));
    EXPECT_EQ(error, "no frames to write");
}

}  // namespace
