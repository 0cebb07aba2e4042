// The mesher: distinct cells, visible faces, rectangles per plane, edge
// splits where a corner lies inside another rectangle's edge, then fans of
// each rectangle polygon with vertices shared inside each plane. Every stage
// is a sort or a linear pass over lists; nothing is per cell of a box except
// the occupancy bitmap, which is used only where the box is small for its
// number of voxels.
#include "voxel/VoxMesh.h"

#include <algorithm>
#include <limits>
#include <tuple>

namespace {

struct Cell {
    int32_t x, y, z;
    uint8_t color;  // merge colour (the lowest palette index of that RGBA)
};

// Lowest palette index with the same RGBA, per index; 0 for no colour.
std::array<uint8_t, 256> MergeColors(const std::array<uint32_t, 256>& palette) {
    std::array<uint8_t, 256> canon{};
    for (int i = 1; i < 256; ++i) {
        canon[i] = static_cast<uint8_t>(i);
        for (int j = 1; j < i; ++j) {
            if (palette[j - 1] == palette[i - 1]) {
                canon[i] = static_cast<uint8_t>(j);
                break;
            }
        }
    }
    return canon;
}

uint64_t HashCell(int32_t x, int32_t y, int32_t z) {
    uint64_t h = static_cast<uint32_t>(x) * 0x9E3779B97F4A7C15ull;
    h ^= static_cast<uint32_t>(y) * 0xC2B2AE3D27D4EB4Full;
    h ^= static_cast<uint32_t>(z) * 0x165667B19E3779F9ull;
    h ^= h >> 31;
    h *= 0xD6E8FEB86659FD93ull;
    return h ^ (h >> 32);
}

// Which cells are occupied: one bit per cell of the bounding box where that
// box is small for the number of cells, else an open-addressing hash table
// of indices into the cell list.
struct Occupancy {
    int64_t lo[3] = {0, 0, 0}, extent[3] = {0, 0, 0};
    std::vector<uint64_t> bits;
    std::vector<uint32_t> slots;  // cell index + 1, 0 = empty
    uint64_t mask = 0;
    const std::vector<Cell>* cells = nullptr;

    bool Hashed() const { return !slots.empty(); }

    int64_t BitIndex(int32_t x, int32_t y, int32_t z) const {
        return ((z - lo[2]) * extent[1] + (y - lo[1])) * extent[0] + (x - lo[0]);
    }
    // The slot holding the cell, or the empty slot where it would go.
    size_t Slot(int32_t x, int32_t y, int32_t z) const {
        size_t s = HashCell(x, y, z) & mask;
        while (slots[s] != 0) {
            const Cell& c = (*cells)[slots[s] - 1];
            if (c.x == x && c.y == y && c.z == z) break;
            s = (s + 1) & mask;
        }
        return s;
    }
    bool Has(int64_t x, int64_t y, int64_t z) const {
        if (x < lo[0] || y < lo[1] || z < lo[2] || x >= lo[0] + extent[0] || y >= lo[1] + extent[1] ||
            z >= lo[2] + extent[2]) {
            return false;
        }
        const int32_t cx = static_cast<int32_t>(x), cy = static_cast<int32_t>(y), cz = static_cast<int32_t>(z);
        if (Hashed()) return slots[Slot(cx, cy, cz)] != 0;
        const int64_t i = BitIndex(cx, cy, cz);
        return (bits[static_cast<size_t>(i >> 6)] >> (i & 63)) & 1;
    }
};

// The box gets a bitmap when it has at most 64 cells per voxel (8 bytes).
bool BitmapFits(const int64_t extent[3], size_t count) {
    const uint64_t bound = 64 * static_cast<uint64_t>(count) + 4096;
    const uint64_t ex = static_cast<uint64_t>(extent[0]), ey = static_cast<uint64_t>(extent[1]),
                   ez = static_cast<uint64_t>(extent[2]);
    return ex <= bound && ey <= bound && ex * ey <= bound && ez <= bound && ex * ey * ez <= bound;
}

// Keeps the last voxel of each cell, in the order of the cells' last
// appearance; fills the occupancy.
void CollectCells(const Voxel* voxels, size_t count, const std::array<uint8_t, 256>& canon, bool hashed,
                  std::vector<Cell>& cells, Occupancy& occupancy) {
    int64_t lo[3] = {INT64_MAX, INT64_MAX, INT64_MAX}, hi[3] = {INT64_MIN, INT64_MIN, INT64_MIN};
    cells.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const Voxel& v = voxels[i];
        if (v.colorIndex == 0 || v.colorIndex > 255) continue;
        cells.push_back({v.x, v.y, v.z, canon[v.colorIndex]});
        const int64_t p[3] = {v.x, v.y, v.z};
        for (int a = 0; a < 3; ++a) lo[a] = std::min(lo[a], p[a]), hi[a] = std::max(hi[a], p[a]);
    }
    if (cells.empty()) return;
    for (int a = 0; a < 3; ++a) {
        occupancy.lo[a] = lo[a];
        occupancy.extent[a] = hi[a] - lo[a] + 1;
    }
    occupancy.cells = &cells;
    if (!hashed && BitmapFits(occupancy.extent, cells.size())) {
        const uint64_t volume = static_cast<uint64_t>(occupancy.extent[0] * occupancy.extent[1]) *
                                static_cast<uint64_t>(occupancy.extent[2]);
        occupancy.bits.assign((volume + 63) / 64, 0);
        bool twice = false;
        for (const Cell& c : cells) {
            const int64_t i = occupancy.BitIndex(c.x, c.y, c.z);
            uint64_t& word = occupancy.bits[static_cast<size_t>(i >> 6)];
            twice |= (word >> (i & 63)) & 1;
            word |= uint64_t{1} << (i & 63);
        }
        if (!twice) return;
        // Rare: a cell given twice. Sort stably by cell and keep each run's last.
        std::stable_sort(cells.begin(), cells.end(), [](const Cell& a, const Cell& b) {
            return std::tie(a.z, a.y, a.x) < std::tie(b.z, b.y, b.x);
        });
        size_t kept = 0;
        for (size_t i = 0; i < cells.size(); ++i) {
            const bool last = i + 1 == cells.size() || cells[i + 1].x != cells[i].x || cells[i + 1].y != cells[i].y ||
                              cells[i + 1].z != cells[i].z;
            if (last) cells[kept++] = cells[i];
        }
        cells.resize(kept);
        return;
    }
    size_t size = 16;
    while (size < 2 * cells.size()) size *= 2;
    occupancy.slots.assign(size, 0);
    occupancy.mask = size - 1;
    // Later voxels overwrite the colour of the cell's first entry; the list
    // is then compacted to the cells that own a slot.
    size_t kept = 0;
    for (size_t i = 0; i < cells.size(); ++i) {
        const Cell c = cells[i];
        const size_t s = occupancy.Slot(c.x, c.y, c.z);
        if (occupancy.slots[s] != 0) {
            cells[occupancy.slots[s] - 1].color = c.color;
        } else {
            cells[kept] = c;
            occupancy.slots[s] = static_cast<uint32_t>(++kept);
        }
    }
    cells.resize(kept);
}

// One visible unit face in its plane: `slice` is the plane's coordinate
// along the normal axis, (u, v) the cell's corner across it.
struct Face {
    int32_t slice, v, u;
    uint8_t color;
};

// A rectangle of one plane: corners (u0, v0) to (u1, v1), u1 > u0, v1 > v0.
struct Rect {
    int32_t slice, u0, u1, v0, v1;
    uint8_t face, color;
};

int AxisU(int axis) { return (axis + 1) % 3; }
int AxisV(int axis) { return (axis + 2) % 3; }

// Visible faces of direction `face`, sorted by plane, then v, then u.
void CollectFaces(const std::vector<Cell>& cells, const Occupancy& occupancy, int face, bool all,
                  std::vector<Face>& faces) {
    faces.clear();
    const int axis = face / 2, au = AxisU(axis), av = AxisV(axis);
    const int step = (face & 1) ? 1 : -1;
    for (const Cell& c : cells) {
        const int64_t p[3] = {c.x, c.y, c.z};
        int64_t q[3] = {p[0], p[1], p[2]};
        q[axis] += step;
        if (!all && occupancy.Has(q[0], q[1], q[2])) continue;
        // A far face sits on the cell's far corner; INT32_MAX cells were refused.
        const int32_t slice = static_cast<int32_t>(p[axis] + ((face & 1) ? 1 : 0));
        faces.push_back({slice, static_cast<int32_t>(p[av]), static_cast<int32_t>(p[au]), c.color});
    }
    std::sort(faces.begin(), faces.end(),
              [](const Face& a, const Face& b) { return std::tie(a.slice, a.v, a.u) < std::tie(b.slice, b.v, b.u); });
}

// One plane's faces (sorted by v, then u) to rectangles: runs of one colour
// along u, then runs with the same ends and colour on consecutive rows
// stacked into one rectangle.
void MergePlane(const Face* faces, size_t count, int face, std::vector<Rect>& rects) {
    // Rectangles still open at the previous row, in u order: open[k] indexes rects.
    std::vector<size_t> open, next;
    size_t i = 0;
    while (i < count) {
        const int32_t slice = faces[i].slice, v = faces[i].v;
        if (!open.empty() && rects[open[0]].v1 != v) open.clear();
        next.clear();
        size_t k = 0;
        while (i < count && faces[i].v == v) {
            const Face& f = faces[i];
            int32_t u1 = f.u + 1;
            ++i;
            while (i < count && faces[i].v == v && faces[i].u == u1 && faces[i].color == f.color) ++u1, ++i;
            while (k < open.size() && rects[open[k]].u0 < f.u) ++k;
            if (k < open.size() && rects[open[k]].u0 == f.u && rects[open[k]].u1 == u1 &&
                rects[open[k]].color == f.color) {
                rects[open[k]].v1 = v + 1;
                next.push_back(open[k]);
                ++k;
            } else {
                next.push_back(rects.size());
                rects.push_back({slice, f.u, u1, v, v + 1, static_cast<uint8_t>(face), f.color});
            }
        }
        open.swap(next);
    }
}

// Faces (sorted by plane, v, u) to rectangles, plane by plane. Merging
// tries runs along u and runs along v and keeps whichever gives fewer
// rectangles: fewer corners, so fewer splits of neighbouring edges too.
// Unit rectangles when not merging.
void MergeFaces(const std::vector<Face>& faces, int face, bool merge, std::vector<Rect>& rects) {
    if (!merge) {
        for (const Face& f : faces) {
            rects.push_back({f.slice, f.u, f.u + 1, f.v, f.v + 1, static_cast<uint8_t>(face), f.color});
        }
        return;
    }
    std::vector<Face> swapped;
    std::vector<Rect> alongU, alongV;
    for (size_t first = 0; first < faces.size();) {
        size_t last = first + 1;
        while (last < faces.size() && faces[last].slice == faces[first].slice) ++last;
        alongU.clear();
        MergePlane(faces.data() + first, last - first, face, alongU);
        if (alongU.size() > 1) {
            swapped.assign(faces.begin() + static_cast<ptrdiff_t>(first), faces.begin() + static_cast<ptrdiff_t>(last));
            for (Face& f : swapped) std::swap(f.u, f.v);
            std::sort(swapped.begin(), swapped.end(),
                      [](const Face& a, const Face& b) { return std::tie(a.v, a.u) < std::tie(b.v, b.u); });
            alongV.clear();
            MergePlane(swapped.data(), swapped.size(), face, alongV);
            if (alongV.size() < alongU.size()) {
                for (Rect& r : alongV) r = {r.slice, r.v0, r.v1, r.u0, r.u1, r.face, r.color};
                alongU.swap(alongV);
            }
        }
        rects.insert(rects.end(), alongU.begin(), alongU.end());
        first = last;
    }
}

// A rectangle's four corners in 3D, counter-clockwise in (u, v).
void RectCorners(const Rect& r, int32_t corners[4][3]) {
    const int axis = r.face / 2, au = AxisU(axis), av = AxisV(axis);
    const int32_t uv[4][2] = {{r.u0, r.v0}, {r.u1, r.v0}, {r.u1, r.v1}, {r.u0, r.v1}};
    for (int k = 0; k < 4; ++k) {
        corners[k][axis] = r.slice;
        corners[k][au] = uv[k][0];
        corners[k][av] = uv[k][1];
    }
}

// Where an edge of a rectangle is split: side 0 (v = v0), 1 (u = u1),
// 2 (v = v1), 3 (u = u0); `at` is the coordinate along the edge.
struct Split {
    uint32_t rect;
    uint8_t side;
    int32_t at;
};

// Every point where a rectangle corner lies strictly inside an edge of
// another rectangle (or of the same line), found per edge direction by
// sorting the edges of length >= 2 and the corners on their lines.
void FindSplits(const std::vector<Rect>& rects, std::vector<Split>& splits) {
    struct Edge {
        int32_t k1, k2, start, end;
        uint32_t rect;
        uint8_t side;
    };
    struct Point {
        uint32_t line;
        int32_t at;
    };
    std::vector<Edge> edges;
    std::vector<std::pair<int32_t, int32_t>> lines;
    std::vector<Point> points;
    for (int e = 0; e < 3; ++e) {
        edges.clear();
        for (uint32_t r = 0; r < rects.size(); ++r) {
            const Rect& rect = rects[r];
            const int axis = rect.face / 2;
            int32_t c[4][3];
            RectCorners(rect, c);
            // Side k runs from corner k to corner k + 1.
            for (int side = 0; side < 4; ++side) {
                const int32_t* a = c[side];
                const int32_t* b = c[(side + 1) % 4];
                const int along = (side % 2 == 0) ? AxisU(axis) : AxisV(axis);
                if (along != e) continue;
                const int32_t lo = std::min(a[e], b[e]), hi = std::max(a[e], b[e]);
                if (int64_t{hi} - lo < 2) continue;  // a unit edge has no lattice point inside
                edges.push_back({a[(e + 1) % 3], a[(e + 2) % 3], lo, hi, r, static_cast<uint8_t>(side)});
            }
        }
        if (edges.empty()) continue;
        std::sort(edges.begin(), edges.end(),
                  [](const Edge& a, const Edge& b) { return std::tie(a.k1, a.k2) < std::tie(b.k1, b.k2); });
        lines.clear();
        for (const Edge& edge : edges) {
            if (lines.empty() || lines.back() != std::make_pair(edge.k1, edge.k2)) lines.push_back({edge.k1, edge.k2});
        }
        points.clear();
        for (const Rect& rect : rects) {
            int32_t c[4][3];
            RectCorners(rect, c);
            for (const auto& p : c) {
                const std::pair<int32_t, int32_t> key = {p[(e + 1) % 3], p[(e + 2) % 3]};
                auto it = std::lower_bound(lines.begin(), lines.end(), key);
                if (it != lines.end() && *it == key)
                    points.push_back({static_cast<uint32_t>(it - lines.begin()), p[e]});
            }
        }
        std::sort(points.begin(), points.end(),
                  [](const Point& a, const Point& b) { return std::tie(a.line, a.at) < std::tie(b.line, b.at); });
        points.erase(std::unique(points.begin(), points.end(),
                                 [](const Point& a, const Point& b) { return a.line == b.line && a.at == b.at; }),
                     points.end());
        uint32_t line = 0;
        for (const Edge& edge : edges) {
            while (lines[line] != std::make_pair(edge.k1, edge.k2)) ++line;
            auto first = std::upper_bound(
                points.begin(), points.end(), Point{line, edge.start},
                [](const Point& a, const Point& b) { return std::tie(a.line, a.at) < std::tie(b.line, b.at); });
            for (auto it = first; it != points.end() && it->line == line && it->at < edge.end; ++it) {
                splits.push_back({edge.rect, edge.side, it->at});
            }
        }
    }
    // Per rectangle, per side, in the order the side runs (counter-clockwise).
    std::sort(splits.begin(), splits.end(), [](const Split& a, const Split& b) {
        if (a.rect != b.rect) return a.rect < b.rect;
        if (a.side != b.side) return a.side < b.side;
        return a.side < 2 ? a.at < b.at : a.at > b.at;
    });
}

// Appends a plane's polygons (the rectangles rects[first, last)) to the
// mesh: each split rectangle triangulated, vertices shared where (u, v)
// and colour agree.
struct PlaneBuilder {
    struct Key {
        int32_t u, v;
        uint8_t color;
        uint32_t local;  // polygon point number in this plane
    };
    std::vector<Key> keys;
    std::vector<uint32_t> triangles;  // local numbers
    std::vector<uint32_t> global;     // local number -> mesh index
    std::vector<std::array<int32_t, 2>> polygon;
    std::vector<uint32_t> fan;

    void Build(const std::vector<Rect>& rects, size_t first, size_t last, const std::vector<Split>& splits,
               size_t& nextSplit, VoxMesh& mesh) {
        keys.clear();
        triangles.clear();
        for (size_t r = first; r < last; ++r) {
            const Rect& rect = rects[r];
            polygon.clear();
            int corners[4];
            const int32_t uv[4][2] = {{rect.u0, rect.v0}, {rect.u1, rect.v0}, {rect.u1, rect.v1}, {rect.u0, rect.v1}};
            for (int side = 0; side < 4; ++side) {
                corners[side] = static_cast<int>(polygon.size());
                polygon.push_back({uv[side][0], uv[side][1]});
                for (; nextSplit < splits.size() && splits[nextSplit].rect == r && splits[nextSplit].side == side;
                     ++nextSplit) {
                    const int32_t at = splits[nextSplit].at;
                    polygon.push_back(side % 2 == 0 ? std::array<int32_t, 2>{at, uv[side][1]}
                                                    : std::array<int32_t, 2>{uv[side][0], at});
                }
            }
            fan.clear();
            TriangulateRect(polygon, corners, 0, fan);
            const uint32_t base = static_cast<uint32_t>(keys.size());
            for (const auto& p : polygon) keys.push_back({p[0], p[1], rect.color, static_cast<uint32_t>(keys.size())});
            for (uint32_t t : fan) triangles.push_back(base + t);
        }
        global.resize(keys.size());
        std::sort(keys.begin(), keys.end(),
                  [](const Key& a, const Key& b) { return std::tie(a.u, a.v, a.color) < std::tie(b.u, b.v, b.color); });
        const Rect& any = rects[first];
        const int axis = any.face / 2, au = AxisU(axis), av = AxisV(axis);
        for (size_t k = 0; k < keys.size(); ++k) {
            if (k == 0 || keys[k].u != keys[k - 1].u || keys[k].v != keys[k - 1].v ||
                keys[k].color != keys[k - 1].color) {
                VoxMeshVertex vertex;
                vertex.position[axis] = any.slice;
                vertex.position[au] = keys[k].u;
                vertex.position[av] = keys[k].v;
                vertex.face = any.face;
                vertex.colorIndex = keys[k].color;
                mesh.vertices.push_back(vertex);
            }
            global[keys[k].local] = static_cast<uint32_t>(mesh.vertices.size() - 1);
        }
        // (u, v) is right-handed with the axis, so a far face keeps the
        // counter-clockwise order and a near face is reversed.
        const bool reverse = (any.face & 1) == 0;
        for (size_t t = 0; t < triangles.size(); t += 3) {
            mesh.indices.push_back(global[triangles[t]]);
            mesh.indices.push_back(global[triangles[t + (reverse ? 2 : 1)]]);
            mesh.indices.push_back(global[triangles[t + (reverse ? 1 : 2)]]);
        }
    }
};

}  // namespace

void TriangulateRect(const std::vector<std::array<int32_t, 2>>& polygon, const int corners[4], int start,
                     std::vector<uint32_t>& triangles) {
    const int n = static_cast<int>(polygon.size());
    // Chain x runs forward from the start corner to the opposite one, chain
    // y backward. A triangle has two points on one chain and one on the
    // other; the chains' points off the start and end corners lie on
    // different sides, so no triangle is flat and no diagonal meets a point.
    const int s = corners[start & 3], e = corners[(start + 2) & 3];
    const int xLength = (e - s + n) % n + 1, yLength = (s - e + n) % n + 1;
    auto X = [&](int i) { return static_cast<uint32_t>((s + i) % n); };
    auto Y = [&](int j) { return static_cast<uint32_t>((s - j + n) % n); };
    auto Distance = [&](uint32_t a, uint32_t b) {
        const int64_t du = int64_t{polygon[a][0]} - polygon[b][0], dv = int64_t{polygon[a][1]} - polygon[b][1];
        return du * du + dv * dv;
    };
    auto Emit = [&](uint32_t a, uint32_t b, uint32_t c) { triangles.insert(triangles.end(), {a, b, c}); };
    Emit(X(0), X(1), Y(1));
    int i = 1, j = 1;
    while (i < xLength - 2 || j < yLength - 2) {
        // Of the two possible next diagonals take the shorter: better-shaped triangles.
        const bool advanceX =
            j == yLength - 2 || (i < xLength - 2 && Distance(X(i + 1), Y(j)) <= Distance(X(i), Y(j + 1)));
        if (advanceX) {
            Emit(X(i), X(i + 1), Y(j));
            ++i;
        } else {
            Emit(X(i), Y(j + 1), Y(j));
            ++j;
        }
    }
    Emit(X(i), X(i + 1), Y(j));  // X(i + 1) is the end corner
}

bool BuildVoxMesh(const Voxel* voxels, size_t count, const std::array<uint32_t, 256>& palette,
                  const VoxMeshOptions& options, VoxMesh& mesh, std::string& error) {
    mesh = VoxMesh{};
    for (size_t i = 0; i < count; ++i) {
        const Voxel& v = voxels[i];
        if (v.colorIndex == 0 || v.colorIndex > 255) continue;
        if (v.x == INT32_MAX || v.y == INT32_MAX || v.z == INT32_MAX) {
            error = "voxel at a coordinate of 2147483647: its far corner is out of range";
            return false;
        }
    }
    std::vector<Cell> cells;
    Occupancy occupancy;
    CollectCells(voxels, count, MergeColors(palette), options.hashedCells, cells, occupancy);
    mesh.voxelCount = cells.size();

    std::vector<Face> faces;
    std::vector<Rect> rects;
    for (int face = 0; face < kVoxFaceCount; ++face) {
        CollectFaces(cells, occupancy, face, options.mode == VoxMeshMode::Cubes, faces);
        MergeFaces(faces, face, options.mode == VoxMeshMode::Greedy, rects);
    }
    faces = std::vector<Face>();
    occupancy = Occupancy{};
    cells = std::vector<Cell>();
    // Rectangles come grouped by plane: by face, then slice.
    std::stable_sort(rects.begin(), rects.end(), [](const Rect& a, const Rect& b) {
        return std::tie(a.face, a.slice) < std::tie(b.face, b.slice);
    });

    std::vector<Split> splits;
    if (options.mode == VoxMeshMode::Greedy) FindSplits(rects, splits);

    // Each polygon of n points gives n - 2 triangles: 2 per rectangle plus 1 per split.
    mesh.indices.reserve(3 * (2 * rects.size() + splits.size()));
    // At most one vertex per polygon point; untouched reserve costs no memory.
    mesh.vertices.reserve(4 * rects.size() + splits.size());
    PlaneBuilder builder;
    size_t nextSplit = 0;
    for (size_t first = 0; first < rects.size();) {
        size_t last = first + 1;
        while (last < rects.size() && rects[last].face == rects[first].face &&
               rects[last].slice == rects[first].slice) {
            ++last;
        }
        builder.Build(rects, first, last, splits, nextSplit, mesh);
        first = last;
    }
    if (!mesh.vertices.empty()) {
        for (int a = 0; a < 3; ++a) {
            mesh.min[a] = std::numeric_limits<int32_t>::max();
            mesh.max[a] = std::numeric_limits<int32_t>::min();
        }
        for (const VoxMeshVertex& v : mesh.vertices) {
            for (int a = 0; a < 3; ++a) {
                mesh.min[a] = std::min(mesh.min[a], v.position[a]);
                mesh.max[a] = std::max(mesh.max[a], v.position[a]);
            }
        }
    }
    return true;
}

const char* VoxMeshModeName(VoxMeshMode mode) {
    switch (mode) {
        case VoxMeshMode::Greedy: return "greedy";
        case VoxMeshMode::Faces: return "faces";
        case VoxMeshMode::Cubes: return "cubes";
    }
    return "greedy";
}

bool ParseVoxMeshMode(const std::string& text, VoxMeshMode& mode) {
    for (VoxMeshMode m : {VoxMeshMode::Greedy, VoxMeshMode::Faces, VoxMeshMode::Cubes}) {
        if (text == VoxMeshModeName(m)) {
            mode = m;
            return true;
        }
    }
    return false;
}
