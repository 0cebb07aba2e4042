#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "support/LogCapture.h"
#include "voxel/Vox.h"
#include "voxel/VoxScene.h"
#include "voxel/VoxWriter.h"

namespace {

using namespace voxwrite;
using Cell4 = std::array<int32_t, 4>;  // x, y, z, colour
using Cells = std::vector<Cell4>;

VoxelScene Read(const Bytes& file) {
    VoxelScene scene;
    std::string error;
    EXPECT_TRUE(LoadVoxelSceneFromMemory(file.data(), file.size(), "t.vox", scene, error)) << error;
    return scene;
}

Cells CellsOf(const VoxelModel& model) {
    Cells out;
    for (const Voxel& v : model.voxels) out.push_back({v.x, v.y, v.z, static_cast<int32_t>(v.colorIndex)});
    return out;
}

Cells Frame(const VoxelScene& scene, int32_t frame) {
    VoxelModel model;
    ComposeFrame(scene, frame, model);
    return CellsOf(model);
}

Bytes Model(int32_t sx, int32_t sy, int32_t sz, std::initializer_list<Cell> cells) {
    return Join(Size(sx, sy, sz), Xyzi(cells));
}

Bytes Key(const std::string& r, const std::string& t, const std::string& f = "0") {
    return Dict({{"_r", r}, {"_t", t}, {"_f", f}});
}

// One model under root 0 -> group 1 -> transform 2 -> shape 3.
Bytes Nested(const Bytes& model, const Bytes& outerKey, const Bytes& innerKey) {
    return VoxFile(Join(model, Trn(0, {}, 1, -1, {outerKey}), Grp(1, {}, {2}), Trn(2, {}, 3, -1, {innerKey}),
                        Shp(3, 0)));
}

// Rotation bytes used below: 52 a half turn about z, 17 a quarter turn about
// z (x, y, z) -> (-y, x, z), 40 a quarter turn about x (x, y, z) -> (x, -z, y),
// 66 (x, y, z) -> (z, x, -y).
struct Placed {
    const char* name;
    std::array<int32_t, 3> size;
    Cell cell;
    const char *outerR, *outerT, *innerR, *innerT;
    std::array<int32_t, 3> expected;
};

const Placed kPlaced[] = {
    {"IdentityOddSize", {3, 3, 3}, {0, 0, 0, 1}, "4", "0 0 0", "4", "0 0 0", {-1, -1, -1}},
    {"IdentityEvenSizeTranslated", {4, 2, 6}, {3, 1, 5, 1}, "4", "10 -20 30", "4", "0 0 0", {11, -20, 32}},
    {"HalfTurnEvenSize", {4, 4, 1}, {0, 0, 0, 1}, "52", "0 0 0", "4", "0 0 0", {1, 1, 0}},
    {"HalfTurnOddSize", {3, 3, 1}, {2, 0, 0, 1}, "52", "0 0 0", "4", "0 0 0", {-2, 0, 0}},
    {"QuarterTurn", {4, 2, 1}, {1, 0, 0, 1}, "17", "0 0 0", "4", "0 0 0", {0, -1, 0}},
    {"PermutationWithNegativeLastRow", {1, 2, 3}, {0, 1, 2, 1}, "66", "0 0 0", "4", "0 0 0", {1, 0, -1}},
    {"InnerShiftTurnedByOuter", {4, 2, 1}, {1, 0, 0, 1}, "17", "10 0 0", "4", "1 0 0", {10, 0, 0}},
    {"InnerRotationFirst", {2, 1, 1}, {0, 0, 0, 1}, "17", "0 0 0", "40", "0 0 0", {0, -1, 0}},
};

class VoxScenePlaces : public ::testing::TestWithParam<Placed> {};

TEST_P(VoxScenePlaces, AVoxelWhereTheCompositionRuleSays) {
    const Placed& p = GetParam();
    const VoxelScene scene = Read(Nested(Model(p.size[0], p.size[1], p.size[2], {p.cell}),
                                         Key(p.outerR, p.outerT), Key(p.innerR, p.innerT)));
    EXPECT_EQ(Frame(scene, 0), (Cells{{p.expected[0], p.expected[1], p.expected[2], 1}}));
}

INSTANTIATE_TEST_SUITE_P(Rotations, VoxScenePlaces, ::testing::ValuesIn(kPlaced),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(VoxScene, KeyframesInterpolateTranslationsAndSwitchRotationsAndModels) {
    // Keys stored out of order; the translation goes from 0 0 0 to 3 -3 0 over
    // frames 0 to 4 and the half turn starts at 4; model 1 replaces model 0 at 2.
    const Bytes shape = Shp(3, {}, {{0, Dict({{"_f", "0"}})}, {1, Dict({{"_f", "2"}})}});
    const Bytes file = VoxFile(Join(Model(1, 1, 1, {{0, 0, 0, 1}}), Model(1, 1, 1, {{0, 0, 0, 2}}),
                                    Trn(0, {}, 1, -1), Grp(1, {}, {2}),
                                    Trn(2, {}, 3, -1, {Key("52", "3 -3 0", "4"), Key("4", "0 0 0", "0")}), shape),
                               200);
    const VoxelScene scene = Read(file);
    EXPECT_EQ(VoxelSceneFrameCount(scene), 5);
    const struct {
        int32_t frame;
        Cell4 cell;
    } expected[] = {{-3, {0, 0, 0, 1}}, {0, {0, 0, 0, 1}}, {1, {1, -1, 0, 1}}, {2, {2, -1, 0, 2}},
                    {3, {2, -2, 0, 2}}, {4, {2, -4, 0, 2}}, {9, {2, -4, 0, 2}}};
    for (const auto& e : expected) EXPECT_EQ(Frame(scene, e.frame), Cells{e.cell}) << "frame " << e.frame;
}

TEST(VoxScene, BeforeTheFirstKeyItsValuesHold) {
    const Bytes file = VoxFile(Join(Model(1, 1, 1, {{0, 0, 0, 1}}), Trn(0, {}, 1, -1, {Key("4", "8 0 0", "3"), Key("4", "0 0 0", "5")}), Shp(1, 0)), 200);
    const VoxelScene scene = Read(file);
    EXPECT_EQ(VoxelSceneFrameCount(scene), 6);
    EXPECT_EQ(Frame(scene, 0), (Cells{{8, 0, 0, 1}}));
    EXPECT_EQ(Frame(scene, 4), (Cells{{4, 0, 0, 1}}));
}

TEST(VoxScene, HiddenNodesAndLayersAreLeftOut) {
    // Four shapes of colours 1 to 4 under transforms 2, 4, 6 and 8: hidden
    // itself, on hidden layer 1, on visible layer 0, and a hidden shape.
    Bytes models;
    for (uint8_t c = 1; c <= 4; ++c) Append(models, Model(1, 1, 1, {{c, 0, 0, c}}));
    const Bytes file = VoxFile(Join(
        models, Layr(0, {{"_name", "shown"}}), Layr(1, {{"_hidden", "1"}}), Trn(0, {}, 1, -1),
        Grp(1, {}, {2, 4, 6, 8}), Trn(2, {{"_hidden", "1"}}, 3, -1), Shp(3, 0), Trn(4, {}, 5, 1), Shp(5, 1),
        Trn(6, {}, 7, 0), Shp(7, 2), Trn(8, {}, 9, -1), Shp(9, {{"_hidden", "1"}}, {{3, Dict({})}})));
    EXPECT_EQ(Frame(Read(file), 0), (Cells{{3, 0, 0, 3}}));
}

TEST(VoxScene, TheLaterVoxelInGraphOrderWinsItsCell) {
    // Model 0 holds colours 1 and 2 in one cell; model 1 (colour 3) takes that
    // cell too; model 2 (colour 4) is placed at `far`. Each row takes another
    // way of finding shared cells: one bitmap, sorting, one bitmap per model.
    const struct {
        const char* far;
        std::initializer_list<int32_t> placed;  // transforms 2, 4, 6 place models 0, 1, 2
        Cells expected;
    } rows[] = {
        {"0 0 0", {2, 4, 6}, {{0, 0, 0, 4}}},
        {"16777000 5 5", {2, 4, 6}, {{0, 0, 0, 3}, {16777000, 5, 5, 4}}},
        {"16777000 5 5", {2, 6}, {{0, 0, 0, 2}, {16777000, 5, 5, 4}}},
    };
    for (const auto& row : rows) {
        const Bytes file = VoxFile(Join(Model(1, 1, 1, {{0, 0, 0, 1}, {0, 0, 0, 2}}), Model(1, 1, 1, {{0, 0, 0, 3}}),
                                        Model(1, 1, 1, {{0, 0, 0, 4}}), Trn(0, {}, 1, -1), Grp(1, {}, row.placed),
                                        Trn(2, {}, 3, -1), Shp(3, 0), Trn(4, {}, 5, -1), Shp(5, 1),
                                        Trn(6, {}, 7, -1, {Key("4", row.far)}), Shp(7, 2)));
        EXPECT_EQ(Frame(Read(file), 0), row.expected) << row.far << ", " << row.placed.size() << " placements";
    }
    // A sparse model that repeats a cell, out of scan order.
    const Bytes sparse = VoxFile(Model(256, 256, 256, {{200, 200, 200, 1}, {0, 0, 0, 1}, {200, 200, 200, 2}}));
    EXPECT_EQ(Frame(Read(sparse), 0), (Cells{{-128, -128, -128, 1}, {72, 72, 72, 2}}));
}

TEST(VoxScene, ASharedNodeIsPlacedOncePerPath) {
    // Group 2 under transforms 1 and 3; shape 5 under transforms 4 and 6.
    const Bytes file = VoxFile(Join(Model(1, 1, 1, {{0, 0, 0, 7}}), Trn(0, {}, 10, -1), Grp(10, {}, {1, 3}),
                                    Trn(1, {}, 2, -1, {Key("4", "0 0 0")}), Trn(3, {}, 2, -1, {Key("4", "0 0 10")}),
                                    Grp(2, {}, {4, 6}), Trn(4, {}, 5, -1), Trn(6, {}, 5, -1, {Key("4", "5 0 0")}),
                                    Shp(5, 0)));
    EXPECT_EQ(Frame(Read(file), 0), (Cells{{0, 0, 0, 7}, {5, 0, 0, 7}, {0, 0, 10, 7}, {5, 0, 10, 7}}));
}

TEST(VoxScene, ModelsWithoutAGraphAreFrames) {
    Bytes models = Pack(8);
    for (uint8_t i = 0; i < 8; ++i) Append(models, Model(2, 2, 2, {{i, 0, 1, static_cast<uint8_t>(i + 1)}}));
    const VoxelScene scene = Read(VoxFile(models));
    ASSERT_EQ(VoxelSceneFrameCount(scene), 8);
    EXPECT_EQ(Frame(scene, 0), (Cells{{-1, -1, 0, 1}}));
    EXPECT_EQ(Frame(scene, 7), (Cells{{6, -1, 0, 8}}));
    EXPECT_EQ(Frame(scene, 8), (Cells{{6, -1, 0, 8}}));
}

// Both readers, once mirrored like the reader, agree: exactly for a model
// whose voxels fill its box, up to a translation for Poly2Vox.
TEST(VoxScene, OneModelGivesTheWalkFrameReadersCells) {
    const Bytes model = Model(3, 4, 5, {{0, 0, 0, 1}, {2, 3, 4, 2}, {1, 2, 0, 3}});
    Bytes poly = Int32s({2, 1, 3});
    Append(poly, {0, 5, 9, 7, 0, 0});
    const Bytes files[] = {VoxFile(model), VoxFile(Join(model, Trn(0, {}, 1, -1), Shp(1, 0))), poly};
    for (const Bytes& file : files) {
        VoxelModel reference, composed;
        {
            LogCapture quiet;
            LoadVoxelModelFromMemory(file.data(), file.size(), reference);
        }
        ComposeFrame(Read(file), 0, composed);
        MirrorLikeReader(composed);
        Cells want = CellsOf(reference), got = CellsOf(composed);
        if (file.size() == poly.size()) {
            for (Cell4& c : got) c = {c[0], c[1] - 1, c[2], c[3]};  // Poly2Vox: equal up to this shift
        }
        std::sort(want.begin(), want.end());
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, want);
        EXPECT_EQ(composed.palette, reference.palette);
    }
}

struct Refused {
    const char* name;
    Bytes file;
    const char* message;  // part of the error
};

Bytes OneShape(const Bytes& transformKey, int32_t model = 0) {
    return VoxFile(Join(Model(2, 2, 2, {{0, 0, 0, 1}}), Trn(0, {}, 1, -1, {transformKey}), Shp(1, model)));
}

// Root 0 -> group 1 -> transforms 2 .. depth+1, each with one more group below.
Bytes Chain(int32_t depth) {
    Bytes graph = Join(Model(1, 1, 1, {{0, 0, 0, 1}}), Trn(0, {}, 1, -1));
    for (int32_t d = 0; d < depth; ++d) {
        Append(graph, Join(Grp(1 + 2 * d, {}, {2 + 2 * d}), Trn(2 + 2 * d, {}, d + 1 < depth ? 3 + 2 * d : 999, -1)));
    }
    return VoxFile(Join(graph, Shp(999, 0)));
}

// `levels` groups, each placing the level below twice, down to node 999:
// a shape of model 0, or an empty group.
Bytes Doubling(int32_t levels, const Bytes& model, bool empty = false) {
    Bytes graph = Join(model, Trn(0, {}, 1, -1));
    for (int32_t l = 0; l < levels; ++l) {
        const int32_t group = 1 + 3 * l, below = l + 1 < levels ? 1 + 3 * (l + 1) : 999;
        Append(graph, Join(Grp(group, {}, {group + 1, group + 2}), Trn(group + 1, {}, below, -1),
                           Trn(group + 2, {}, below, -1)));
    }
    return VoxFile(Join(graph, empty ? Grp(999, {}, {}) : Shp(999, 0)));
}

Bytes Big() {
    Bytes voxels = Int32s({16384});
    for (int i = 0; i < 16384; ++i) voxels.insert(voxels.end(), {uint8_t(i), uint8_t(i >> 8), 0, 1});
    return Join(Size(256, 256, 1), Chunk("XYZI", voxels));
}

const Bytes kModel = Model(1, 1, 1, {{0, 0, 0, 1}});

const Refused kRefused[] = {
    {"Cycle", VoxFile(Join(kModel, Trn(0, {}, 1, -1), Grp(1, {}, {2}), Trn(2, {}, 1, -1))), "cycle"},
    {"OwnChild", VoxFile(Join(kModel, Trn(0, {}, 1, -1), Grp(1, {}, {1}))), "not a valid child"},
    {"MissingChild", VoxFile(Join(kModel, Trn(0, {}, 5, -1))), "child node 5 does not exist"},
    {"DuplicateId", VoxFile(Join(kModel, Trn(0, {}, 1, -1), Shp(1, 0), Shp(1, 0))), "node id 1 is used twice"},
    {"TransformUnderTransform", VoxFile(Join(kModel, Trn(0, {}, 1, -1), Trn(1, {}, 2, -1), Shp(2, 0))), "not a valid child"},
    {"ShapeInGroup", VoxFile(Join(kModel, Trn(0, {}, 1, -1), Grp(1, {}, {2}), Shp(2, 0))), "not a valid child"},
    {"NoRoot", VoxFile(Join(kModel, Trn(1, {}, 2, -1), Shp(2, 0))), "no root node 0"},
    {"RootIsAGroup", VoxFile(Join(kModel, Grp(0, {}, {}))), "root node 0 is not a transform"},
    {"ModelOutOfRange", OneShape(Key("4", "0 0 0"), 1), "model 1 does not exist"},
    {"NegativeModel", OneShape(Key("4", "0 0 0"), -1), "model -1 does not exist"},
    {"RotationColumn3", OneShape(Key("3", "0 0 0")), "rotation '3'"},
    {"RotationSameColumns", OneShape(Key("0", "0 0 0")), "rotation '0'"},
    {"RotationBit7", OneShape(Key("132", "0 0 0")), "rotation '132'"},
    {"RotationNotANumber", OneShape(Key("4x", "0 0 0")), "rotation '4x'"},
    {"TranslationTwoNumbers", OneShape(Key("4", "1 2")), "translation '1 2'"},
    {"TranslationFourNumbers", OneShape(Key("4", "1 2 3 4")), "translation"},
    {"TranslationWord", OneShape(Key("4", "1 up 3")), "translation"},
    {"TranslationFarAway", OneShape(Key("4", "0 99999999 0")), "translation"},
    {"FrameBeyondBound", OneShape(Key("4", "0 0 0", "2147483647")), "frame index"},
    {"NegativeFrame", OneShape(Key("4", "0 0 0", "-1")), "frame index"},
    {"TwoKeysOneFrame", VoxFile(Join(kModel, Trn(0, {}, 1, -1, {Key("4", "0 0 0"), Key("4", "1 0 0")}), Shp(1, 0))), "two keys"},
    {"HugeDictCount", VoxFile(Join(kModel, Chunk("nTRN", Int32s({0, 0x7fffffff})))), "dictionary claims"},
    {"HugeStringLength", VoxFile(Join(kModel, Chunk("nTRN", Int32s({0, 1, 0x7ffffff0, 0})))), "string runs past"},
    {"HugeChildCount", VoxFile(Join(kModel, Chunk("nGRP", Int32s({1, 0, 0x7fffffff})))), "children"},
    {"NoKeyframes", VoxFile(Join(kModel, Chunk("nTRN", Int32s({0, 0, 1, -1, -1, 0})))), "keyframes"},
    {"HugeKeyframeCount", VoxFile(Join(kModel, Chunk("nTRN", Int32s({0, 0, 1, -1, -1, 0x40000000})))), "keyframes"},
    {"ShapeWithoutModels", VoxFile(Join(kModel, Chunk("nSHP", Int32s({1, 0, 0})))), "models"},
    {"HugeVoxelCount", VoxFile(Join(Size(1, 1, 1), Chunk("XYZI", Int32s({0x7fffffff, 0})))), "voxels but holds 1"},
    {"VoxelsWithoutSize", VoxFile(Xyzi({{0, 0, 0, 1}})), "without a SIZE"},
    {"SizeZero", VoxFile(Model(0, 1, 1, {})), "model size 0 1 1"},
    {"ContentPastTheEnd", Join(VoxFile(kModel), Header("nTRN", 100, 0)), "runs past the end"},
    {"HeaderCut", Join(VoxFile(kModel), Text("nTR")), "header cut"},
    {"TooDeep", Chain(kVoxSceneMaxDepth), "deeper than 64"},
    {"TooManyPlacements", Doubling(21, kModel), "more than 4194304 node placements"},
    {"WideDagWithoutShapes", Doubling(21, kModel, true), "node placements"},
    {"TooManyVoxels", Doubling(11, Big()), "more than 16777216 voxels"},
    {"NeitherFormat", Text("not a voxel file"), "neither a MagicaVoxel file nor a Poly2Vox file"},
};

class VoxSceneRefuses : public ::testing::TestWithParam<Refused> {};

TEST_P(VoxSceneRefuses, WithOneLineNamingTheFileAndLeavesTheSceneEmpty) {
    VoxelScene scene;
    scene.models.resize(2);
    std::string error;
    EXPECT_FALSE(LoadVoxelSceneFromMemory(GetParam().file.data(), GetParam().file.size(), "bad.vox", scene, error));
    EXPECT_EQ(error.rfind("bad.vox: ", 0), 0u) << error;
    EXPECT_NE(error.find(GetParam().message), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
    EXPECT_TRUE(scene.models.empty());
}

INSTANTIATE_TEST_SUITE_P(Hostile, VoxSceneRefuses, ::testing::ValuesIn(kRefused),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(VoxScene, DepthAtTheBoundAndAWideDagStillLoad) {
    EXPECT_EQ(Frame(Read(Chain(kVoxSceneMaxDepth - 1)), 0).size(), 1u);
    EXPECT_EQ(Frame(Read(Doubling(10, kModel)), 0).size(), 1u);  // 1024 placements of one cell
}

TEST(VoxScene, AMissingFileIsNamed) {
    VoxelScene scene;
    std::string error;
    EXPECT_FALSE(LoadVoxelScene("/nonexistent/a.vox", scene, error));
    EXPECT_EQ(error, "/nonexistent/a.vox: cannot be opened");
}

}  // namespace
