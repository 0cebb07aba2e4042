// The model viewer's mesh: occlusion levels at a face's corners, the shared
// diagonal, what merges, closed cavities (whole and in tiles), duplicates,
// undrawn colours, chunks and translucent voxels. Expectations are worked
// out by hand from the cells, or counted by brute force over every voxel's
// faces.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <set>
#include <vector>

#include "MakeVoxel.h"
#include "app/stage/FrameMesh.h"
#include "app/stage/ModelMesh.h"

namespace {

// One emitted quad in model cells: its corners (corner c lies between cells
// c - 1 and c) in the order emitted, their levels, and its colour entry.
struct Quad {
    MeshPart part;
    int face;
    std::array<std::array<int64_t, 3>, 4> corners;
    std::array<int, 4> levels;
    int color;
};

struct Mesh {
    std::vector<Quad> quads;
    std::vector<size_t> chunkQuads;
    ModelMeshCounts counts;
};

VoxelModel Model(std::vector<Voxel> voxels) {
    VoxelModel model;
    model.voxels = std::move(voxels);
    for (uint32_t k = 0; k < 256; ++k) model.palette[k] = 0xff000000u | k;
    return model;
}

Mesh Build(const VoxelModel& model, bool occlusion = true) {
    Mesh mesh;
    mesh.counts = BuildModelMesh(model, occlusion, [&](MeshPart part, const ModelMeshChunk& chunk) {
        EXPECT_TRUE(chunk.vertices.size() % 4 == 0 && chunk.vertices.size() <= size_t{kChunkQuads} * 4);
        mesh.chunkQuads.push_back(chunk.vertices.size() / 4);
        for (size_t q = 0; q < chunk.vertices.size(); q += 4) {
            Quad quad{part, chunk.face, {}, {}, chunk.vertices[q].color};
            for (int k = 0; k < 4; ++k) {
                const ModelVertex& v = chunk.vertices[q + k];
                EXPECT_EQ(v.faceLevel & 7, chunk.face);
                EXPECT_EQ(v.color, quad.color);
                for (int a = 0; a < 3; ++a) quad.corners[k][a] = chunk.origin[a] + v.position[a];
                quad.levels[k] = v.faceLevel >> 3;
            }
            mesh.quads.push_back(quad);
        }
    });
    return mesh;
}

// The quads of one part facing one way; with `y` >= 0, only those in that plane.
std::vector<Quad> Of(const Mesh& mesh, MeshPart part, int face, int64_t y = -1) {
    std::vector<Quad> out;
    std::copy_if(mesh.quads.begin(), mesh.quads.end(), std::back_inserter(out),
                 [&](const Quad& q) { return q.part == part && q.face == face && (y < 0 || q.corners[0][1] == y); });
    return out;
}

constexpr int kTop = 1;  // +y in cubeNormals

// The level at the corner of quad `q` that lies at (x, y, z), or -1.
int LevelAt(const Quad& q, int64_t x, int64_t y, int64_t z) {
    const auto at = std::find(q.corners.begin(), q.corners.end(), std::array<int64_t, 3>{x, y, z});
    return at == q.corners.end() ? -1 : q.levels[size_t(at - q.corners.begin())];
}

// The levels at the corners (x0, z0), (x1, z0), (x0, z1), (x1, z1) of a quad in the plane y = 1.
std::array<int, 4> LevelsAt(const Quad& q, int64_t x0, int64_t z0, int64_t x1, int64_t z1) {
    return {LevelAt(q, x0, 1, z0), LevelAt(q, x1, 1, z0), LevelAt(q, x0, 1, z1), LevelAt(q, x1, 1, z1)};
}

TEST(ModelMesh, EachCornerCountsItsTwoEdgeCellsAndItsCornerCellWithBothEdgesAtThree) {
    // The top face of the voxel at the origin has corners (x, 1, z), x and z
    // in 0..1; the layer in front of it is y = 1. Levels listed at the
    // corners (0, 0), (1, 0), (0, 1), (1, 1) of (x, z).
    const struct {
        const char* name;
        std::vector<Voxel> above;
        std::array<int, 4> levels;
    } rows[] = {
        {"nothing above", {}, {0, 0, 0, 0}},
        {"an edge cell at +x", {MakeVoxel(1, 1, 0)}, {0, 1, 0, 1}},
        {"a corner cell alone", {MakeVoxel(1, 1, 1)}, {0, 0, 0, 1}},
        {"edge and corner", {MakeVoxel(1, 1, 0), MakeVoxel(1, 1, 1)}, {0, 1, 0, 2}},
        {"both edges, no corner", {MakeVoxel(1, 1, 0), MakeVoxel(0, 1, 1)}, {0, 1, 1, 3}},
        {"both edges and corner", {MakeVoxel(1, 1, 0), MakeVoxel(0, 1, 1), MakeVoxel(1, 1, 1)}, {0, 1, 1, 3}},
        {"a cell two layers up", {MakeVoxel(1, 2, 0)}, {0, 0, 0, 0}},
        {"undrawn colour 0", {MakeVoxel(1, 1, 0, 0)}, {0, 0, 0, 0}},
    };
    for (const auto& row : rows) {
        std::vector<Voxel> voxels = {MakeVoxel(0, 0, 0)};
        voxels.insert(voxels.end(), row.above.begin(), row.above.end());
        for (bool occlusion : {true, false}) {
            const Mesh mesh = Build(Model(voxels), occlusion);
            const std::vector<Quad> tops = Of(mesh, MeshPart::Lit, kTop);
            const auto it =
                std::find_if(tops.begin(), tops.end(), [](const Quad& q) { return LevelAt(q, 0, 1, 0) >= 0; });
            ASSERT_NE(it, tops.end()) << row.name;
            EXPECT_EQ(LevelsAt(*it, 0, 0, 1, 1), (occlusion ? row.levels : std::array<int, 4>{}))
                << row.name << ", occlusion " << occlusion;
        }
    }
}

TEST(ModelMesh, NeighboursAcrossTheWordsOfARowHideFacesAndNoOthersDo) {
    // Cells along x live 64 to a word: a neighbour across a word's edge hides
    // a face exactly as one inside a word does. {x of each voxel, faces -x, faces +x}
    const struct {
        std::vector<int> xs;
        size_t minusX, plusX;
    } rows[] = {
        {{0, 64}, 2, 2}, {{63, 64}, 1, 1}, {{63, 65}, 2, 2}, {{1, 64, 127}, 3, 3}, {{127, 128}, 1, 1},
    };
    for (const auto& row : rows) {
        std::vector<Voxel> voxels;
        for (int x : row.xs) voxels.push_back(MakeVoxel(x, 0, 0));
        const Mesh mesh = Build(Model(voxels), false);
        EXPECT_EQ(Of(mesh, MeshPart::Lit, 4).size(), row.minusX) << row.xs.front() << ".." << row.xs.back();
        EXPECT_EQ(Of(mesh, MeshPart::Lit, 5).size(), row.plusX) << row.xs.front() << ".." << row.xs.back();
    }
}

TEST(ModelMesh, TheSharedDiagonalJoinsTheCornersWhoseLevelsDifferLess) {
    // Quads split along vertices 0-2. Every arrangement of the eight cells
    // around the one above the voxel: the shared edge joins the pair whose
    // levels differ less, on a tie the less occluded pair.
    const int around[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};
    for (int cells = 0; cells < 256; ++cells) {
        std::vector<Voxel> voxels = {MakeVoxel(0, 0, 0)};
        for (int k = 0; k < 8; ++k) {
            if (cells >> k & 1) voxels.push_back(MakeVoxel(around[k][0], 1, around[k][1]));
        }
        for (const Quad& q : Of(Build(Model(voxels)), MeshPart::Lit, kTop)) {
            if (LevelAt(q, 0, 1, 0) < 0 || LevelAt(q, 1, 1, 1) < 0) continue;  // not the face of the voxel below
            const int along = std::abs(q.levels[0] - q.levels[2]), across = std::abs(q.levels[1] - q.levels[3]);
            EXPECT_LE(along, across) << "cells " << cells;
            if (along == across) {
                EXPECT_LE(q.levels[0] + q.levels[2], q.levels[1] + q.levels[3]) << "cells " << cells;
            }
        }
    }
}

TEST(ModelMesh, MergesOnlyWhereTheShadeStaysAndCoverageMergesByShape) {
    // A floor of 4 x 2 cells (x 0..3, z 0..1), the cell (3, 1) of another
    // colour, and a wall one layer up beside its z = 0 row.
    std::vector<Voxel> floor, walled;
    for (int x = 0; x < 4; ++x) {
        for (int z = 0; z < 2; ++z) floor.push_back(MakeVoxel(x, 0, z, z == 1 && x == 3 ? 2 : 1));
        walled.push_back(MakeVoxel(x, 1, -1));
    }
    walled.insert(walled.begin(), floor.begin(), floor.end());
    const auto spanning = [](const std::vector<Quad>& quads, int64_t x0, int64_t z0, int64_t x1, int64_t z1) {
        return std::count_if(quads.begin(), quads.end(),
                             [&](const Quad& q) { return LevelAt(q, x0, 1, z0) >= 0 && LevelAt(q, x1, 1, z1) >= 0; });
    };
    // Plain floor: the odd colour keeps a quad of its own; the rest is
    // uniform and merges greedily (x 0..2 whole, then (3, 0)). Coverage
    // ignores colour: one quad. The walled floor without occlusion alike.
    for (const Mesh& mesh : {Build(Model(floor)), Build(Model(walled), false)}) {
        const std::vector<Quad> tops = Of(mesh, MeshPart::Lit, kTop, 1);
        EXPECT_EQ(tops.size(), 3u);
        EXPECT_EQ(spanning(tops, 0, 0, 3, 2), 1);
        EXPECT_EQ(Of(mesh, MeshPart::Coverage, kTop, 1).size(), 1u);
    }
    // Walled: by the wall the corners are level 2 (edge and corner cell),
    // 1 at the wall's ends. The two middle faces share their levels, which
    // do not change along x: one strip. The end faces' levels change both
    // ways: alone. The far row is unoccluded: x 0..2 merge.
    const std::vector<Quad> tops = Of(Build(Model(walled)), MeshPart::Lit, kTop, 1);
    EXPECT_EQ(tops.size(), 5u);
    ASSERT_EQ(spanning(tops, 1, 0, 3, 1), 1);
    const Quad strip = *std::find_if(
        tops.begin(), tops.end(), [](const Quad& q) { return LevelAt(q, 1, 1, 0) >= 0 && LevelAt(q, 3, 1, 1) >= 0; });
    EXPECT_EQ(LevelsAt(strip, 1, 0, 3, 1), (std::array<int, 4>{2, 2, 0, 0}));
    EXPECT_EQ(spanning(tops, 0, 0, 1, 1), 1);
    EXPECT_EQ(spanning(tops, 0, 1, 3, 2), 1);
    EXPECT_EQ(Build(Model(walled)).counts.faces, Build(Model(walled), false).counts.faces);
}

// A hollow cube of side 5 (walls one cell thick) with its origin at `at`,
// and optionally a hole through the middle of its +x wall.
// With `far`, also a voxel this far out, which makes the box too big to work on whole.
std::vector<Voxel> HollowBox(int64_t at, bool hole, bool far = false) {
    std::vector<Voxel> voxels;
    for (int n = 0; n < 125; ++n) {
        const int x = n / 25, y = n / 5 % 5, z = n % 5;
        const bool wall = x == 0 || x == 4 || y == 0 || y == 4 || z == 0 || z == 4;
        if (wall && !(hole && x == 4 && y == 2 && z == 2)) voxels.push_back(MakeVoxel(int32_t(at + x), y, z));
    }
    if (far) voxels.push_back(MakeVoxel(1'000'000'000, 0, 0));
    return voxels;
}

TEST(ModelMesh, FacesOntoClosedCavitiesAreLeftOutAndTilesNeverLoseAVisibleFace) {
    // Outside of the box 6 x 25 faces, inside 6 x 9. A hole removes one
    // outer face, adds its four sides and opens the 53 inner faces left.
    const struct {
        const char* name;
        std::vector<Voxel> voxels;
        size_t faces, cavity;
    } rows[] = {
        {"closed", HollowBox(0, false), 150, 54},
        {"holed", HollowBox(0, true), 149 + 4 + 53, 0},
        {"closed, in a tile", HollowBox(0, false, true), 150 + 6, 54},
        // Across a tile edge (x = 128) the cavity cannot be closed within one
        // tile: its faces are kept, none lost.
        {"closed, across tiles", HollowBox(126, false, true), 150 + 54 + 6, 0},
    };
    for (const auto& row : rows) {
        const Mesh mesh = Build(Model(row.voxels));
        EXPECT_EQ(mesh.counts.faces, row.faces) << row.name;
        EXPECT_EQ(mesh.counts.cavityFaces, row.cavity) << row.name;
    }
}

TEST(ModelMesh, ALaterVoxelInACellGivesItsColourAndUndrawnColoursHideNothing) {
    const Mesh twice = Build(Model({MakeVoxel(0, 0, 0, 5), MakeVoxel(0, 0, 0, 9)}));
    EXPECT_EQ(twice.counts.faces, 6u);
    for (const Quad& q : twice.quads) {
        EXPECT_EQ(q.color, q.part == MeshPart::Lit ? 8 : 0) << "colour index 9 is palette entry 8";
    }
    // Colour 0 and colours beyond the palette are empty cells.
    EXPECT_EQ(Build(Model({MakeVoxel(0, 0, 0), MakeVoxel(1, 0, 0, 0), MakeVoxel(0, 1, 0, 300)})).counts.faces, 6u);
    EXPECT_TRUE(Build(Model({MakeVoxel(0, 0, 0, 0)})).quads.empty());
}

TEST(ModelMesh, ChunksHoldAtMostTheirQuadsOfOneFaceAndReachAnyCoordinates) {
    // A lattice of 2,400 voxels two cells apart, far out: 14,400 faces that
    // cannot merge, 2,400 a direction; with four copies, 9,600 a direction.
    std::vector<Voxel> voxels;
    for (int n = 0; n < 4 * 20 * 20 * 6; ++n) {  // copy, x, y, z
        const int copy = n / 2400, x = n / 120 % 20 * 2, y = n / 6 % 20 * 2, z = n % 6 * 2;
        voxels.push_back(MakeVoxel(2'000'000'000 + x, y + 50 * copy, z - 7));
    }
    voxels.push_back(MakeVoxel(std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), 0));
    const Mesh mesh = Build(Model(voxels), false);
    EXPECT_EQ(mesh.counts.faces, 9600u * 6 + 6);
    EXPECT_EQ(mesh.counts.litQuads, mesh.counts.faces);
    size_t quads = 0;
    for (size_t n : mesh.chunkQuads) quads += n;
    EXPECT_EQ(quads, mesh.counts.litQuads + mesh.counts.coverageQuads);
    EXPECT_LE(*std::max_element(mesh.chunkQuads.begin(), mesh.chunkQuads.end()), size_t{kChunkQuads});
    // Every face of every voxel, by brute force: its four corners, in
    // order, as a quad of that direction (up to where the quad starts).
    std::set<std::pair<int, std::set<std::array<int64_t, 3>>>> expected, got;
    for (const Voxel& v : voxels) {
        for (int f = 0; f < 6; ++f) {
            std::set<std::array<int64_t, 3>> corners;
            for (int k : cubeFaces[f]) {
                const Vector3& c = cubeCorners[k];
                corners.insert({int64_t{v.x} + (c.x > 0), int64_t{v.y} + (c.y > 0), int64_t{v.z} + (c.z > 0)});
            }
            expected.insert({f, corners});
        }
    }
    for (const Quad& q : mesh.quads) {
        if (q.part == MeshPart::Lit) got.insert({q.face, {q.corners.begin(), q.corners.end()}});
    }
    EXPECT_TRUE(got == expected);
}

constexpr VoxelSurface kGlass = VoxelSurface::Translucent;

// The model with the surfaces given by colour index, the others diffuse.
VoxelModel WithLooks(std::vector<Voxel> voxels, std::vector<std::pair<uint32_t, VoxelSurface>> surfaces) {
    VoxelModel model = Model(std::move(voxels));
    model.looks.resize(256);
    for (const auto& [index, surface] : surfaces) model.looks[index - 1].surface = surface;
    return model;
}

// Unit faces a part's quads cover.
size_t Area(const Mesh& mesh, MeshPart part) {
    size_t area = 0;
    for (const Quad& q : mesh.quads) {
        size_t a = q.part == part;
        for (int axis = 0; axis < 3; ++axis)
            a *= size_t(std::max<int64_t>(1, std::abs(q.corners[2][axis] - q.corners[0][axis])));
        area += a;
    }
    return area;
}

TEST(ModelMesh, TranslucentVoxelsHideNothingAndShowOnlyFacesOntoEmptinessOrAnotherColour) {
    std::vector<Voxel> window = HollowBox(0, false);
    for (Voxel& v : window) {
        if (v.x == 4 && v.y == 2 && v.z == 2) v.colorIndex = 2;
    }
    const struct {
        const char* name;
        VoxelModel model;
        size_t faces, cavity, translucent, coverage;  // coverage: the opaque faces
    } rows[] = {
        // The opaque voxel keeps its face onto the glass; the glass shows none onto it.
        {"glass beside opaque", WithLooks({MakeVoxel(0, 0, 0, 1), MakeVoxel(1, 0, 0, 2)}, {{2, kGlass}}), 11, 0, 5, 6},
        {"one colour of glass", WithLooks({MakeVoxel(0, 0, 0, 2), MakeVoxel(1, 0, 0, 2)}, {{2, kGlass}}), 10, 0, 10, 0},
        // Of two voxels in one cell the later one's look counts.
        {"opaque over glass", WithLooks({MakeVoxel(0, 0, 0, 2), MakeVoxel(0, 0, 0, 1)}, {{2, kGlass}}), 6, 0, 0, 6},
        {"glass over opaque", WithLooks({MakeVoxel(0, 0, 0, 1), MakeVoxel(0, 0, 0, 2)}, {{2, kGlass}}), 6, 0, 6, 0},
        {"two colours of glass", WithLooks({MakeVoxel(0, 0, 0, 2), MakeVoxel(1, 0, 0, 3)}, {{2, kGlass}, {3, kGlass}}),
         12, 0, 12, 0},
        // The closed box of side 5 with a glass cell in the middle of a
        // wall: 149 outer and 53 inner opaque faces, 4 onto the glass; the
        // glass shows its outer and inner faces. Opaque, it stays closed.
        {"a window into a closed room", WithLooks(window, {{2, kGlass}}), 208, 0, 2, 206},
        {"the window opaque", WithLooks(window, {{9, kGlass}}), 150, 54, 0, 150},
    };
    for (const auto& row : rows) {
        const Mesh mesh = Build(row.model);
        EXPECT_EQ(mesh.counts.faces, row.faces) << row.name;
        EXPECT_EQ(mesh.counts.cavityFaces, row.cavity) << row.name;
        EXPECT_EQ(Area(mesh, MeshPart::Translucent), row.translucent) << row.name;
        EXPECT_EQ(Area(mesh, MeshPart::Coverage), row.coverage) << row.name;
    }
}

}  // namespace
