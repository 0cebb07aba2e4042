// The mesher against an independent watertightness check (tests/support/
// MeshCheck.h) on a table of generated models, and its triangle counts
// against first principles.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "support/MeshCheck.h"
#include "tools/Monument.h"
#include "voxel/VoxMesh.h"
#include "voxel/VoxScene.h"

namespace {

using Voxels = std::vector<Voxel>;

Voxel V(int32_t x, int32_t y, int32_t z, uint32_t c = 1) { return Voxel{x, y, z, c, 0}; }

// Every palette entry a different colour.
std::array<uint32_t, 256> DistinctPalette() {
    std::array<uint32_t, 256> palette{};
    for (uint32_t i = 0; i < 256; ++i) palette[i] = 0xff000000u | (i * 0x010305u);
    return palette;
}

Voxels Box(int32_t x0, int32_t y0, int32_t z0, int32_t sx, int32_t sy, int32_t sz, uint32_t c = 1) {
    Voxels out;
    for (int32_t z = z0; z < z0 + sz; ++z)
        for (int32_t y = y0; y < y0 + sy; ++y)
            for (int32_t x = x0; x < x0 + sx; ++x) out.push_back(V(x, y, z, c));
    return out;
}

Voxels Join(Voxels a, const Voxels& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The voxels of `voxels` for which `keep` holds.
template <class Keep>
Voxels Where(Voxels voxels, Keep keep) {
    std::erase_if(voxels, [&](const Voxel& v) { return !keep(v); });
    return voxels;
}

Voxels Checkerboard(int32_t n) {
    Voxels out;
    for (int32_t z = 0; z < n; ++z)
        for (int32_t y = 0; y < n; ++y)
            for (int32_t x = 0; x < n; ++x)
                if ((x + y + z) % 2 == 0) out.push_back(V(x, y, z, 1 + uint32_t(x % 3)));
    return out;
}

// A blob grown at random from one cell, several colours.
Voxels Blob(uint32_t seed, int count, int colors) {
    std::mt19937 random(seed);
    std::set<meshcheck::Point> taken = {{0, 0, 0}};
    std::vector<meshcheck::Point> order = {{0, 0, 0}};
    while (static_cast<int>(order.size()) < count) {
        meshcheck::Point p = order[random() % order.size()];
        p[random() % 3] += (random() & 1) ? 1 : -1;
        if (taken.insert(p).second) order.push_back(p);
    }
    Voxels out;
    for (const auto& p : order) out.push_back(V(int32_t(p[0]), int32_t(p[1]), int32_t(p[2]), 1 + random() % colors));
    return out;
}

// A big plate whose rim meets many small pillars of alternating colours,
// so long edges are split across creases and in their plane.
Voxels PlateWithPillars() {
    Voxels out = Box(0, 0, 0, 24, 24, 1, 1);
    for (int32_t x = 0; x < 24; x += 2) out = Join(out, Box(x, 0, 1, 1, 1, 1 + x % 3, 2 + uint32_t(x % 4)));
    for (int32_t y = 3; y < 20; y += 3) out = Join(out, Box(23, y, -2, 1, 1, 2, 5));
    out = Join(out, Box(5, 5, 1, 7, 3, 2, 6));   // a block standing on the plate
    out = Join(out, Box(8, 8, -1, 1, 1, 1, 1));  // a cell under it, same colour
    return out;
}

Voxels Monument() {
    const std::vector<uint8_t> bytes = MonumentVoxFile();
    VoxelScene scene;
    std::string error;
    EXPECT_TRUE(LoadVoxelSceneFromMemory(bytes.data(), bytes.size(), "monument", scene, error)) << error;
    VoxelModel model;
    ComposeFrame(scene, 0, model);
    return model.voxels;
}

struct Model {
    const char* name;
    std::function<Voxels()> make;
};

const Model kModels[] = {
    {"SingleVoxel", [] { return Voxels{V(0, 0, 0)}; }},
    {"FarFromOrigin",
     [] {
         return Voxels{V(-2000000000, 2000000000, 7), V(2147483646, -2147483647 - 1, 0, 2)};
     }},
    {"Bar", [] { return Box(0, 0, 0, 5, 1, 1); }},
    {"LShape", [] { return Join(Box(0, 0, 0, 4, 1, 1), Box(0, 1, 0, 1, 3, 1, 2)); }},
    {"LShapeOneColour", [] { return Join(Box(0, 0, 0, 4, 2, 2), Box(0, 2, 0, 2, 3, 2)); }},
    {"StepOnBar", [] { return Join(Box(0, 0, 0, 3, 1, 1), Voxels{V(1, 0, 1)}); }},
    {"TouchAlongEdge",
     [] {
         return Voxels{V(0, 0, 0), V(1, 1, 0)};
     }},
    {"TouchAlongEdgeInRows", [] { return Join(Box(0, 0, 0, 4, 1, 1), Box(0, 1, 1, 4, 1, 1, 2)); }},
    {"TouchAtCorner",
     [] {
         return Voxels{V(0, 0, 0), V(1, 1, 1), V(-1, 1, -1, 3)};
     }},
    {"EmptyDiagonalsInSlab",
     [] {  // all but (1, 1, 0) and (2, 2, 0)
         return Where(Box(0, 0, 0, 4, 4, 2), [](const Voxel& v) { return v.z || v.x != v.y || v.x == 0 || v.x == 3; });
     }},
    {"SlabWithHole",
     [] {
         return Where(Box(0, 0, 0, 7, 6, 1), [](const Voxel& v) { return v.x < 2 || v.x > 4 || v.y < 2 || v.y > 3; });
     }},
    {"HollowBox",
     [] {  // the cells with a coordinate of 0 or 4
         return Where(Box(0, 0, 0, 5, 5, 5, 3), [](const Voxel& v) { return !(v.x % 4 && v.y % 4 && v.z % 4); });
     }},
    {"Checkerboard", [] { return Checkerboard(6); }},
    {"CheckerSlab", [] { return Join(Box(0, 0, -1, 6, 6, 1, 4), Checkerboard(6)); }},
    {"PlateWithPillars", PlateWithPillars},
    {"Stripes",
     [] {
         Voxels out;
         for (int32_t x = 0; x < 9; ++x) out = Join(out, Box(x, 0, 0, 1, 9 - x, 3 + x % 2, 1 + uint32_t(x % 2)));
         return out;
     }},
    {"BlobTwoColours", [] { return Blob(1, 300, 2); }},
    {"BlobFiveColours", [] { return Blob(7, 800, 5); }},
    {"BlobOneColour", [] { return Blob(11, 1500, 1); }},
    {"DuplicatesAndEmpty",
     [] {
         Voxels out = Box(0, 0, 0, 3, 3, 3, 2);
         out.push_back(V(1, 1, 1, 3));    // the later voxel of a cell wins
         out.push_back(V(5, 5, 5, 0));    // index 0 is no voxel
         out.push_back(V(6, 5, 5, 300));  // neither is an index past 255
         out.push_back(V(0, 0, 0, 2));
         return out;
     }},
    {"NothingColoured",
     [] {
         return Voxels{V(0, 0, 0, 0), V(1, 0, 0, 256)};
     }},
    {"Monument", Monument},
};

meshcheck::Mesh ToCheck(const VoxMesh& mesh) {
    meshcheck::Mesh out;
    for (const VoxMeshVertex& v : mesh.vertices) out.positions.push_back({v.position[0], v.position[1], v.position[2]});
    out.indices = mesh.indices;
    return out;
}

VoxMesh Build(const Voxels& voxels, VoxMeshMode mode, bool hashed = false,
              const std::array<uint32_t, 256>& palette = DistinctPalette()) {
    VoxMesh mesh;
    std::string error;
    VoxMeshOptions options;
    options.mode = mode;
    options.hashedCells = hashed;
    EXPECT_TRUE(BuildVoxMesh(voxels.data(), voxels.size(), palette, options, mesh, error)) << error;
    return mesh;
}

// A model of the table, meshed by bitmap or hash table, with its coloured
// cells (the last voxel of a cell gives its colour) and exposed faces.
class VoxMeshModels : public ::testing::TestWithParam<std::tuple<Model, bool>> {
  protected:
    void SetUp() override {
        for (const Voxel& v : voxels)
            if (v.colorIndex >= 1 && v.colorIndex <= 255) colour[{v.x, v.y, v.z}] = v.colorIndex;
        for (const auto& [cell, index] : colour) cells.insert(cell);
        for (int64_t n : meshcheck::ExposedFaces(cells)) faces += n;
    }

    VoxMesh Mesh(VoxMeshMode mode) const { return Build(voxels, mode, std::get<1>(GetParam())); }

    // Each vertex's normal matches the triangles that use it, and its colour
    // is the colour of the voxel behind the face.
    void ExpectVerticesMatchFaces(const VoxMesh& mesh) const {
        for (size_t t = 0; t < mesh.indices.size(); t += 3) {
            const VoxMeshVertex* p[3] = {&mesh.vertices[mesh.indices[t]], &mesh.vertices[mesh.indices[t + 1]],
                                         &mesh.vertices[mesh.indices[t + 2]]};
            ASSERT_TRUE(p[0]->face == p[1]->face && p[1]->face == p[2]->face && p[0]->colorIndex == p[2]->colorIndex &&
                        p[0]->colorIndex == p[1]->colorIndex);
            // The cell behind the triangle's centroid (times 3, to stay whole).
            const int axis = p[0]->face / 2;
            meshcheck::Point cell;
            for (int a = 0; a < 3; ++a) {
                const int64_t c3 = int64_t{p[0]->position[a]} + p[1]->position[a] + p[2]->position[a];
                cell[a] = a == axis ? p[0]->position[a] - (p[0]->face & 1) : (c3 >= 0 ? c3 / 3 : -((-c3 + 2) / 3));
            }
            const auto it = colour.find(cell);
            ASSERT_NE(it, colour.end()) << "no voxel behind a triangle at " << meshcheck::Text(cell);
            EXPECT_EQ(p[0]->colorIndex, it->second) << meshcheck::Text(cell);
        }
    }

    const Voxels voxels = std::get<0>(GetParam()).make();
    std::map<meshcheck::Point, uint32_t> colour;
    meshcheck::Cells cells;
    int64_t faces = 0;
};

TEST_P(VoxMeshModels, GreedyIsWatertightAndCoversTheExposedFaces) {
    const VoxMesh mesh = Mesh(VoxMeshMode::Greedy);
    EXPECT_EQ(mesh.voxelCount, cells.size());
    EXPECT_EQ(meshcheck::Check(ToCheck(mesh), cells), "");
    ExpectVerticesMatchFaces(mesh);
    EXPECT_LE(mesh.indices.size() / 3, static_cast<size_t>(2 * faces));  // never more than a quad per face
}

TEST_P(VoxMeshModels, FacesAndCubesCountFromFirstPrinciples) {
    if (cells.size() > 100000) GTEST_SKIP() << "counted on the small models";
    const VoxMesh visible = Mesh(VoxMeshMode::Faces);
    EXPECT_EQ(visible.indices.size(), static_cast<size_t>(6 * faces));
    EXPECT_EQ(meshcheck::Check(ToCheck(visible), cells), "");
    ExpectVerticesMatchFaces(visible);

    const VoxMesh cubes = Mesh(VoxMeshMode::Cubes);
    EXPECT_EQ(cubes.indices.size(), 36 * cells.size());
    // One vertex per (corner, face direction, colour) of every face.
    std::set<std::tuple<meshcheck::Point, int, uint32_t>> corners;
    for (const auto& [c, index] : colour)
        for (int f = 0; f < 6; ++f)
            for (int i = 0; i < 4; ++i) {
                meshcheck::Point p = c;
                p[f / 2] += f & 1, p[(f / 2 + 1) % 3] += i & 1, p[(f / 2 + 2) % 3] += i >> 1;
                corners.insert({p, f, index});
            }
    EXPECT_EQ(cubes.vertices.size(), corners.size());
}

INSTANTIATE_TEST_SUITE_P(Generated, VoxMeshModels, ::testing::Combine(::testing::ValuesIn(kModels), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "Hashed" : "Bitmap");
                         });

// Hand-counted greedy results.
struct Count {
    const char* name;
    Voxels voxels;
    size_t triangles, vertices;
};

const Count kCounts[] = {
    // Six quads.
    {"SingleVoxel", {V(0, 0, 0)}, 12, 24},
    // Six rectangles of one colour.
    {"Bar", Box(0, 0, 0, 5, 1, 1), 12, 24},
    // The two long sides end where the colours change: no junction, ten quads.
    {"TwoColourBar", Join(Box(0, 0, 0, 1, 1, 1, 1), Box(1, 0, 0, 1, 1, 1, 2)), 20, 40},
    // A voxel on the middle of a bar of three, one colour: each long side
    // twice by the small voxel's corners (4 triangles, 6 points each) and
    // shares two points with the small voxel's side quad; bar: 2 ends,
    // bottom, 2 top quads; small voxel: top, 2 ends.
    {"StepOnBar", Join(Box(0, 0, 0, 3, 1, 1), Voxels{V(1, 0, 1)}), 28, 48},
};

class VoxMeshCounts : public ::testing::TestWithParam<Count> {};

TEST_P(VoxMeshCounts, GreedyGivesTheHandCountedMesh) {
    const VoxMesh mesh = Build(GetParam().voxels, VoxMeshMode::Greedy);
    EXPECT_EQ(mesh.indices.size() / 3, GetParam().triangles);
    EXPECT_EQ(mesh.vertices.size(), GetParam().vertices);
}

INSTANTIATE_TEST_SUITE_P(Hand, VoxMeshCounts, ::testing::ValuesIn(kCounts),
                         [](const auto& info) { return info.param.name; });

TEST(VoxMesh, EqualPaletteColoursMergeUnderTheLowestIndex) {
    std::array<uint32_t, 256> palette = DistinctPalette();
    palette[6] = palette[2];  // index 7 looks like index 3
    const Voxels voxels = Join(Box(0, 0, 0, 2, 1, 1, 7), Box(2, 0, 0, 2, 1, 1, 3));
    const VoxMesh mesh = Build(voxels, VoxMeshMode::Greedy, false, palette);
    EXPECT_EQ(mesh.indices.size() / 3, 12u);
    for (const VoxMeshVertex& v : mesh.vertices) EXPECT_EQ(v.colorIndex, 3);
}

TEST(VoxMesh, BoundsAreTheCornersOfTheCells) {
    const VoxMesh mesh = Build({V(-3, 2, 5), V(4, -1, 5)}, VoxMeshMode::Greedy);
    EXPECT_EQ(std::vector<int32_t>(mesh.min, mesh.min + 3), (std::vector<int32_t>{-3, -1, 5}));
    EXPECT_EQ(std::vector<int32_t>(mesh.max, mesh.max + 3), (std::vector<int32_t>{5, 3, 6}));
}

TEST(VoxMesh, RefusesACellWhoseFarCornerHasNoPosition) {
    VoxMesh mesh;
    std::string error;
    const Voxels voxels = {V(0, 0, 0), V(2147483647, 0, 0)};
    EXPECT_FALSE(BuildVoxMesh(voxels.data(), voxels.size(), DistinctPalette(), {}, mesh, error));
    EXPECT_NE(error.find("2147483647"), std::string::npos);
    EXPECT_TRUE(mesh.indices.empty());
}

// 8 x 6 rectangles with points on their sides: from every start corner,
// n - 2 counter-clockwise triangles, none flat, that cover it once.
TEST(TriangulateRect, EveryStartCornerGivesNMinusTwoProperTriangles) {
    // Points on the bottom, right, top and left sides.
    const int sides[][4] = {{0, 0, 0, 0}, {1, 0, 0, 0}, {3, 0, 0, 0}, {0, 2, 0, 2},
                            {2, 1, 3, 1}, {5, 5, 5, 5}, {0, 0, 4, 0}};
    const std::array<int32_t, 2> from[4] = {{0, 0}, {8, 0}, {8, 6}, {0, 6}},
                                 step[4] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
    for (const auto& counts : sides) {
        std::vector<std::array<int32_t, 2>> polygon;
        int corners[4];
        for (int side = 0; side < 4; ++side) {
            corners[side] = int(polygon.size());
            for (int k = 0; k <= counts[side]; ++k)
                polygon.push_back({from[side][0] + step[side][0] * k, from[side][1] + step[side][1] * k});
        }
        for (int start = 0; start < 4; ++start) {
            std::vector<uint32_t> triangles;
            TriangulateRect(polygon, corners, start, triangles);
            ASSERT_EQ(triangles.size(), 3 * (polygon.size() - 2));
            int64_t area2 = 0;
            std::set<std::pair<uint32_t, uint32_t>> edges;
            for (size_t t = 0; t < triangles.size(); t += 3) {
                const auto &a = polygon[triangles[t]], &b = polygon[triangles[t + 1]], &c = polygon[triangles[t + 2]];
                const int64_t cross = int64_t(b[0] - a[0]) * (c[1] - a[1]) - int64_t(b[1] - a[1]) * (c[0] - a[0]);
                EXPECT_GT(cross, 0) << "start " << start;
                area2 += cross;
                for (int k = 0; k < 3; ++k)
                    EXPECT_TRUE(edges.insert({triangles[t + k], triangles[t + (k + 1) % 3]}).second);
            }
            EXPECT_EQ(area2, 2 * 8 * 6);
        }
    }
}

TEST(VoxMeshMode, ParsesAndNamesTheCommandLineSpellings) {
    const std::pair<const char*, VoxMeshMode> names[] = {
        {"greedy", VoxMeshMode::Greedy}, {"faces", VoxMeshMode::Faces}, {"cubes", VoxMeshMode::Cubes}};
    for (const auto& [name, mode] : names) {
        VoxMeshMode parsed = mode == VoxMeshMode::Cubes ? VoxMeshMode::Greedy : VoxMeshMode::Cubes;
        EXPECT_TRUE(ParseVoxMeshMode(name, parsed) && parsed == mode) << name;
        EXPECT_STREQ(VoxMeshModeName(mode), name);
    }
    VoxMeshMode mode = VoxMeshMode::Faces;
    EXPECT_FALSE(ParseVoxMeshMode("Greedy", mode));  // spelled exactly; a refusal changes nothing
    EXPECT_EQ(mode, VoxMeshMode::Faces);
}

}  // namespace
