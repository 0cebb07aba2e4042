#include "app/stage/FrameMesh.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <tuple>

const Vector3 cubeCorners[8] = {
    Vector3(-0.5f, 0.5f, 0.5f),  Vector3(-0.5f, -0.5f, 0.5f),  Vector3(0.5f, -0.5f, 0.5f),  Vector3(0.5f, 0.5f, 0.5f),
    Vector3(-0.5f, 0.5f, -0.5f), Vector3(-0.5f, -0.5f, -0.5f), Vector3(0.5f, -0.5f, -0.5f), Vector3(0.5f, 0.5f, -0.5f),
};

const int32_t cubeFaces[6][4] = {
    {0, 1, 2, 3},  // z = +0.5
    {0, 3, 7, 4},  // y = +0.5
    {4, 7, 6, 5},  // z = -0.5
    {1, 5, 6, 2},  // y = -0.5
    {0, 4, 5, 1},  // x = -0.5
    {3, 2, 6, 7},  // x = +0.5
};

const Vector3 cubeNormals[6] = {
    Vector3(0.0f, 0.0f, 1.0f),  Vector3(0.0f, 1.0f, 0.0f),  Vector3(0.0f, 0.0f, -1.0f),
    Vector3(0.0f, -1.0f, 0.0f), Vector3(-1.0f, 0.0f, 0.0f), Vector3(1.0f, 0.0f, 0.0f),
};

namespace {

// A box of at most this many cells gets a bit per cell (16 MB); beyond it
// (a crafted file can spread voxels over the whole int32 range) lookups go
// through a sorted list instead.
constexpr int64_t denseCellLimit = int64_t{1} << 27;

using Cell = std::array<int32_t, 3>;

// Which cells hold a coloured voxel.
struct Occupancy {
    int64_t low[3] = {0, 0, 0};
    int64_t size[3] = {0, 0, 0};
    std::vector<uint64_t> bits;  // dense: x fastest, then y, then z
    std::vector<Cell> cells;     // sparse: sorted, when bits is empty
};

bool HasColour(const VoxelModel& model, const Voxel& v) {
    return v.colorIndex >= 1 && v.colorIndex <= model.palette.size();
}

void FillOccupancy(const VoxelModel& model, Occupancy& occupancy) {
    int64_t low[3] = {std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::max(),
                      std::numeric_limits<int64_t>::max()};
    int64_t high[3] = {std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::min(),
                       std::numeric_limits<int64_t>::min()};
    size_t count = 0;
    for (const Voxel& v : model.voxels) {
        if (!HasColour(model, v)) continue;
        const int64_t p[3] = {v.x, v.y, v.z};
        for (int a = 0; a < 3; ++a) {
            low[a] = std::min(low[a], p[a]);
            high[a] = std::max(high[a], p[a]);
        }
        ++count;
    }
    if (count == 0) return;
    // Each extent fits in 33 bits, so the product is checked one factor at a
    // time against the limit instead of being formed.
    int64_t volume = 1;
    bool dense = true;
    for (int a = 0; a < 3; ++a) {
        occupancy.low[a] = low[a];
        occupancy.size[a] = high[a] - low[a] + 1;
        if (occupancy.size[a] > denseCellLimit / volume) dense = false;
        if (dense) volume *= occupancy.size[a];
    }
    if (dense) {
        occupancy.bits.assign(static_cast<size_t>((volume + 63) / 64), 0);
        for (const Voxel& v : model.voxels) {
            if (!HasColour(model, v)) continue;
            const int64_t index =
                (v.x - low[0]) + occupancy.size[0] * ((v.y - low[1]) + occupancy.size[1] * (v.z - low[2]));
            occupancy.bits[static_cast<size_t>(index / 64)] |= uint64_t{1} << (index % 64);
        }
        return;
    }
    occupancy.cells.reserve(count);
    for (const Voxel& v : model.voxels) {
        if (HasColour(model, v)) occupancy.cells.push_back({v.x, v.y, v.z});
    }
    std::sort(occupancy.cells.begin(), occupancy.cells.end());
}

bool Occupied(const Occupancy& occupancy, int64_t x, int64_t y, int64_t z) {
    const int64_t p[3] = {x, y, z};
    for (int a = 0; a < 3; ++a) {
        if (p[a] < occupancy.low[a] || p[a] >= occupancy.low[a] + occupancy.size[a]) return false;
    }
    if (!occupancy.bits.empty()) {
        const int64_t index = (x - occupancy.low[0]) +
                              occupancy.size[0] * ((y - occupancy.low[1]) + occupancy.size[1] * (z - occupancy.low[2]));
        return (occupancy.bits[static_cast<size_t>(index / 64)] >> (index % 64)) & 1;
    }
    // Inside the box, so every coordinate fits in int32.
    const Cell cell = {static_cast<int32_t>(x), static_cast<int32_t>(y), static_cast<int32_t>(z)};
    return std::binary_search(occupancy.cells.begin(), occupancy.cells.end(), cell);
}

// Step from a cell to the one in front of face f, read off the face normal.
std::array<int64_t, 3> FaceStep(int f) {
    return {static_cast<int64_t>(cubeNormals[f].x), static_cast<int64_t>(cubeNormals[f].y),
            static_cast<int64_t>(cubeNormals[f].z)};
}

// The axis a face's normal runs along: 0 x, 1 y, 2 z.
int NormalAxis(int f) {
    const std::array<int64_t, 3> step = FaceStep(f);
    return step[0] != 0 ? 0 : step[1] != 0 ? 1 : 2;
}

// Appends face f of the box of cells [low, high] (equal for one voxel) as
// four vertices. A corner takes the low or high cell of each axis by the
// sign of its unit-cube offset, then adds the offset exactly as a whole
// cube's corner is formed, so a one-voxel face has a cube face's vertices.
void AppendFace(FrameMesh& mesh, int f, const int32_t low[3], const int32_t high[3], const uint8_t rgb[3]) {
    MeshVertex vertex;
    std::memcpy(vertex.normal, &cubeNormals[f].x, sizeof vertex.normal);
    vertex.color[0] = rgb[0];
    vertex.color[1] = rgb[1];
    vertex.color[2] = rgb[2];
    vertex.color[3] = 8;  // no visible effect: blending is off while lists are drawn
    for (int k = 0; k < 4; ++k) {
        const Vector3& corner = cubeCorners[cubeFaces[f][k]];
        const float offset[3] = {corner.x, corner.y, corner.z};
        for (int a = 0; a < 3; ++a) {
            const int32_t cell = offset[a] < 0.0f ? low[a] : high[a];
            vertex.position[a] = static_cast<float>(cell) + offset[a];
        }
        mesh.vertices.push_back(vertex);
    }
}

void PaletteRgb(const VoxelModel& model, const Voxel& v, uint8_t rgb[3]) {
    const uint32_t rgba = model.palette[v.colorIndex - 1];
    std::memcpy(rgb, &rgba, 3);  // memory order R, G, B
}

// One visible voxel face, keyed for merging in the plane of its face.
struct FaceCell {
    int32_t face, slice, v, u;  // slice along the normal; u, v across it
    size_t order;               // voxel number: the later of two equal cells wins
    uint32_t rgb;
};

// A run of cells along u, then a rectangle once runs stack along v.
struct FaceRect {
    int32_t face, slice, u0, u1;
    uint32_t rgb;
    int32_t v0, v1;
};

void AppendMerged(const VoxelModel& model, const std::vector<uint8_t>& visible, size_t faces, FrameMesh& mesh) {
    std::vector<FaceCell> cells;
    cells.reserve(faces);
    for (size_t i = 0; i < model.voxels.size(); ++i) {
        const Voxel& v = model.voxels[i];
        for (int f = 0; f < 6; ++f) {
            if (!(visible[i] >> f & 1)) continue;
            const int32_t p[3] = {v.x, v.y, v.z};
            const int n = NormalAxis(f);
            uint8_t rgb[4] = {0, 0, 0, 0};
            PaletteRgb(model, v, rgb);
            uint32_t packed;
            std::memcpy(&packed, rgb, 4);
            cells.push_back({f, p[n], p[(n + 2) % 3], p[(n + 1) % 3], i, packed});
        }
    }
    std::sort(cells.begin(), cells.end(), [](const FaceCell& a, const FaceCell& b) {
        return std::tie(a.face, a.slice, a.v, a.u, a.order) < std::tie(b.face, b.slice, b.v, b.u, b.order);
    });
    // Runs along u; of two voxels in one cell the later one is the colour a
    // list of whole cubes shows (equal depths pass GL_LEQUAL in draw order).
    std::vector<FaceRect> runs;
    for (size_t i = 0; i < cells.size(); ++i) {
        const FaceCell& c = cells[i];
        if (i + 1 < cells.size()) {
            const FaceCell& d = cells[i + 1];
            if (d.face == c.face && d.slice == c.slice && d.v == c.v && d.u == c.u) continue;
        }
        if (!runs.empty()) {
            FaceRect& r = runs.back();
            if (r.face == c.face && r.slice == c.slice && r.v0 == c.v && static_cast<int64_t>(r.u1) + 1 == c.u &&
                r.rgb == c.rgb) {
                r.u1 = c.u;
                continue;
            }
        }
        runs.push_back({c.face, c.slice, c.u, c.u, c.rgb, c.v, c.v});
    }
    cells = std::vector<FaceCell>();
    // Runs with the same ends and colour on consecutive rows become one rectangle.
    std::sort(runs.begin(), runs.end(), [](const FaceRect& a, const FaceRect& b) {
        return std::tie(a.face, a.slice, a.u0, a.u1, a.rgb, a.v0) < std::tie(b.face, b.slice, b.u0, b.u1, b.rgb, b.v0);
    });
    std::vector<FaceRect> rects;
    for (const FaceRect& r : runs) {
        if (!rects.empty()) {
            FaceRect& q = rects.back();
            if (q.face == r.face && q.slice == r.slice && q.u0 == r.u0 && q.u1 == r.u1 && q.rgb == r.rgb &&
                static_cast<int64_t>(q.v1) + 1 == r.v0) {
                q.v1 = r.v0;
                continue;
            }
        }
        rects.push_back(r);
    }
    runs = std::vector<FaceRect>();
    mesh.vertices.reserve(rects.size() * 4);
    for (const FaceRect& r : rects) {
        const int n = NormalAxis(r.face);
        int32_t low[3], high[3];
        low[n] = high[n] = r.slice;
        low[(n + 1) % 3] = r.u0;
        high[(n + 1) % 3] = r.u1;
        low[(n + 2) % 3] = r.v0;
        high[(n + 2) % 3] = r.v1;
        uint8_t rgb[4];
        std::memcpy(rgb, &r.rgb, 4);
        AppendFace(mesh, r.face, low, high, rgb);
    }
}

}  // namespace

void BuildFrameMesh(const VoxelModel& model, FaceSelection selection, FrameMesh& mesh) {
    mesh = FrameMesh{};
    // Bit f of shown[i]: face f of voxel i goes into the mesh.
    std::vector<uint8_t> shown(model.voxels.size(), 0);
    if (selection == FaceSelection::All) {
        for (size_t i = 0; i < model.voxels.size(); ++i) {
            if (HasColour(model, model.voxels[i])) shown[i] = 0x3f;
        }
    } else {
        Occupancy occupancy;
        FillOccupancy(model, occupancy);
        for (size_t i = 0; i < model.voxels.size(); ++i) {
            const Voxel& v = model.voxels[i];
            if (!HasColour(model, v)) continue;
            for (int f = 0; f < 6; ++f) {
                const std::array<int64_t, 3> step = FaceStep(f);
                if (!Occupied(occupancy, v.x + step[0], v.y + step[1], v.z + step[2])) {
                    shown[i] |= static_cast<uint8_t>(1 << f);
                }
            }
        }
    }
    size_t faces = 0;
    for (uint8_t bits : shown) faces += static_cast<size_t>(std::popcount(bits));
    if (selection == FaceSelection::Merged) {
        AppendMerged(model, shown, faces, mesh);
        return;
    }
    mesh.vertices.reserve(faces * 4);
    for (size_t i = 0; i < model.voxels.size(); ++i) {
        if (shown[i] == 0) continue;
        const Voxel& v = model.voxels[i];
        const int32_t cell[3] = {v.x, v.y, v.z};
        uint8_t rgb[4] = {0, 0, 0, 0};
        PaletteRgb(model, v, rgb);
        for (int f = 0; f < 6; ++f) {
            if (shown[i] >> f & 1) AppendFace(mesh, f, cell, cell, rgb);
        }
    }
}
