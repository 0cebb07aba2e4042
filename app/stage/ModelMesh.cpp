#include "app/stage/ModelMesh.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <limits>

#include "app/stage/FrameMesh.h"

const float occlusionBrightness[4] = {1.0f, 0.8f, 0.62f, 0.45f};

namespace {

// A box of at most this many cells, border included, is worked on whole:
// one dense grid, and closed cavities found across the whole model. A
// larger one is cut into tiles of 2^kTileShift cells a side, each worked on
// within the box of its own voxels (and cavities closed within it).
constexpr int64_t kWholeBoxCells = int64_t{1} << 25;
constexpr int64_t kMaxWholeExtent = 30000;  // a whole box's corners fit in int16
constexpr int32_t kTileShift = 7;

bool IsDrawn(const VoxelModel& model, const Voxel& v) {
    return v.colorIndex >= 1 && v.colorIndex <= model.palette.size();
}

// Each colour index's surface (entry k for colour index k + 1).
using SurfaceTable = std::array<VoxelSurface, 256>;

// The model's surfaces by its looks; all diffuse when it has none.
SurfaceTable SurfacesOf(const VoxelModel& model) {
    SurfaceTable surfaces;
    surfaces.fill(VoxelSurface::Diffuse);
    for (size_t k = 0; k < model.looks.size() && k < surfaces.size(); ++k) surfaces[k] = model.looks[k].surface;
    return surfaces;
}

int NormalAxis(int f) { return cubeNormals[f].x != 0.0f ? 0 : cubeNormals[f].y != 0.0f ? 1 : 2; }

int NormalSign(int f) {
    const float n[3] = {cubeNormals[f].x, cubeNormals[f].y, cubeNormals[f].z};
    return n[NormalAxis(f)] > 0.0f ? 1 : -1;
}

// A dense box of cells: the cells meshed and a one-cell border around them.
// A translucent voxel's cell is open: it hides, shades and closes nothing.
struct Region {
    int64_t low[3] = {0, 0, 0};                       // the cell at grid (0, 0, 0)
    int64_t size[3] = {0, 0, 0};                      // grid extents, border included
    int64_t rowWords = 0;                             // 64-bit words per row along x
    std::vector<uint8_t> colors;                      // colour index less 1, x fastest
    std::vector<uint64_t> solid;                      // opaque voxels: a bit per cell, rows of rowWords words
    std::vector<uint64_t> clear;                      // translucent voxels, laid out as `solid`; empty: none can be
    std::vector<uint64_t> outside;                    // open and joined to the border through open cells
    std::array<std::vector<uint32_t>, 3> sliceCells;  // voxels per grid plane, by axis
    bool anyClear = false;                            // some voxel is translucent
};

int64_t WordOf(const Region& r, int64_t x, int64_t y, int64_t z) { return (y + r.size[1] * z) * r.rowWords + (x >> 6); }

bool Bit(const Region& r, const std::vector<uint64_t>& bits, int64_t x, int64_t y, int64_t z) {
    return (bits[WordOf(r, x, y, z)] >> (x & 63)) & 1;
}

// Makes `r` the empty grid around the cells low..high (inclusive), with
// room for translucent voxels when the model has any.
void ResetRegion(Region& r, const int64_t low[3], const int64_t high[3], bool translucent) {
    for (int a = 0; a < 3; ++a) {
        r.low[a] = low[a] - 1;
        r.size[a] = high[a] - low[a] + 3;
        r.sliceCells[a].assign(static_cast<size_t>(r.size[a]), 0);
    }
    r.rowWords = (r.size[0] + 63) / 64;
    r.colors.assign(static_cast<size_t>(r.size[0] * r.size[1] * r.size[2]), 0);
    r.solid.assign(static_cast<size_t>(r.rowWords * r.size[1] * r.size[2]), 0);
    r.clear.assign(translucent ? r.solid.size() : 0, 0);
    r.outside.assign(r.solid.size(), 0);
    r.anyClear = false;
}

// Enters a voxel lying in the grid; others are left out. A later voxel in
// the same cell gives the cell its colour and its opacity.
void AddVoxel(Region& r, const Voxel& v, const SurfaceTable& surfaces) {
    const int64_t p[3] = {v.x - r.low[0], v.y - r.low[1], v.z - r.low[2]};
    for (int a = 0; a < 3; ++a) {
        if (p[a] < 0 || p[a] >= r.size[a]) return;
    }
    r.colors[static_cast<size_t>(p[0] + r.size[0] * (p[1] + r.size[1] * p[2]))] =
        static_cast<uint8_t>(v.colorIndex - 1);
    const int64_t w = WordOf(r, p[0], p[1], p[2]);
    const uint64_t bit = uint64_t{1} << (p[0] & 63);
    const bool taken = (r.solid[w] | (r.clear.empty() ? 0 : r.clear[w])) & bit;
    if (r.clear.empty()) {
        r.solid[w] |= bit;
    } else if (surfaces[v.colorIndex - 1] == VoxelSurface::Translucent) {
        r.clear[w] |= bit;
        r.solid[w] &= ~bit;
        r.anyClear = true;
    } else {
        r.solid[w] |= bit;
        r.clear[w] &= ~bit;
    }
    if (taken) return;
    for (int a = 0; a < 3; ++a) ++r.sliceCells[a][static_cast<size_t>(p[a])];
}

// `seeds` grown through the set bits of `open` both ways along the word:
// the occluded fill of bitboard engines, six doubling steps a way.
uint64_t Spread(uint64_t seeds, uint64_t open) {
    uint64_t up = seeds, down = seeds, pu = open, pd = open;
    for (int step = 1; step < 64; step *= 2) {
        up |= pu & (up << step);
        pu &= pu << step;
        down |= pd & (down >> step);
        pd &= pd >> step;
    }
    return up | down;
}

// Marks every empty cell joined to the grid's border through empty cells,
// a word at a time: a word's marks spread along its row, then into the
// words beside it in x, y and z, which are visited again when they gain.
void FindOutside(Region& r) {
    const int64_t words = static_cast<int64_t>(r.solid.size());
    const uint64_t lastMask = r.size[0] % 64 == 0 ? ~uint64_t{0} : (uint64_t{1} << (r.size[0] % 64)) - 1;
    const auto empty = [&](int64_t w) {
        return ~r.solid[w] & (w % r.rowWords == r.rowWords - 1 ? lastMask : ~uint64_t{0});
    };
    std::vector<uint64_t> queued(static_cast<size_t>((words + 63) / 64), 0);
    std::vector<int64_t> stack;
    const auto offer = [&](int64_t w, uint64_t bits) {
        const uint64_t gained = bits & ~r.outside[w];
        if (gained == 0) return;
        r.outside[w] |= gained;
        if (!(queued[w >> 6] >> (w & 63) & 1)) {
            queued[w >> 6] |= uint64_t{1} << (w & 63);
            stack.push_back(w);
        }
    };
    // The border is empty by construction: whole rows at the y and z
    // borders, the two end cells of every other row.
    for (int64_t z = 0; z < r.size[2]; ++z) {
        for (int64_t y = 0; y < r.size[1]; ++y) {
            const int64_t row = (y + r.size[1] * z) * r.rowWords;
            if (y == 0 || z == 0 || y == r.size[1] - 1 || z == r.size[2] - 1) {
                for (int64_t i = 0; i < r.rowWords; ++i) offer(row + i, empty(row + i));
            } else {
                const int64_t lastX = r.size[0] - 1;
                offer(row, 1);
                offer(row + (lastX >> 6), uint64_t{1} << (lastX & 63));
            }
        }
    }
    const int64_t plane = r.rowWords * r.size[1];
    while (!stack.empty()) {
        const int64_t w = stack.back();
        stack.pop_back();
        queued[w >> 6] &= ~(uint64_t{1} << (w & 63));
        const uint64_t o = Spread(r.outside[w], empty(w));
        r.outside[w] = o;
        const int64_t i = w % r.rowWords, row = w / r.rowWords;
        const int64_t y = row % r.size[1], z = row / r.size[1];
        if (i + 1 < r.rowWords && (o >> 63)) offer(w + 1, empty(w + 1) & 1);
        if (i > 0 && (o & 1)) offer(w - 1, empty(w - 1) & (uint64_t{1} << 63));
        if (y > 0) offer(w - r.rowWords, o & empty(w - r.rowWords));
        if (y + 1 < r.size[1]) offer(w + r.rowWords, o & empty(w + r.rowWords));
        if (z > 0) offer(w - plane, o & empty(w - plane));
        if (z + 1 < r.size[2]) offer(w + plane, o & empty(w + plane));
    }
}

// Occlusion levels packed two bits a corner: corner (iu, iv), 1 on a face's
// high side along u or v, at bits 2 * (iu + 2 * iv).
int Level(uint32_t levels, int iu, int iv) { return static_cast<int>(levels >> (2 * (iu + 2 * iv)) & 3); }
bool SameAlongU(uint32_t levels) {
    return Level(levels, 0, 0) == Level(levels, 1, 0) && Level(levels, 0, 1) == Level(levels, 1, 1);
}
bool SameAlongV(uint32_t levels) {
    return Level(levels, 0, 0) == Level(levels, 0, 1) && Level(levels, 1, 0) == Level(levels, 1, 1);
}

// The chunks of one part and one face direction, filled as quads come.
struct ChunkWriter {
    MeshPart part = MeshPart::Lit;
    const ChunkSink* sink = nullptr;
    ModelMeshChunk chunk;
    bool started = false;
    size_t quads = 0;

    void Flush() {
        if (!chunk.vertices.empty()) (*sink)(part, chunk);
        chunk.vertices.clear();
    }
    // Keeps the chunk going while the region's corners stay within int16 of its origin.
    void Enter(const Region& r) {
        bool fits = started;
        for (int a = 0; a < 3 && fits; ++a) {
            const int64_t from = r.low[a] - chunk.origin[a], to = from + r.size[a];
            fits = from >= std::numeric_limits<int16_t>::min() && to <= std::numeric_limits<int16_t>::max();
        }
        if (fits) return;
        Flush();
        for (int a = 0; a < 3; ++a) chunk.origin[a] = r.low[a];
        started = true;
    }
    void Add(const ModelVertex corners[4], int32_t plane) {
        if (chunk.vertices.size() == size_t{kChunkQuads} * 4) Flush();
        if (chunk.vertices.empty()) chunk.lowPlane = chunk.highPlane = plane;
        chunk.lowPlane = std::min(chunk.lowPlane, plane);
        chunk.highPlane = std::max(chunk.highPlane, plane);
        chunk.vertices.insert(chunk.vertices.end(), corners, corners + 4);
        ++quads;
    }
};

// Appends the rectangle of cells low..high (grid coordinates; equal along
// the face's axis) as face f's quad, its corners' levels from `levels`.
void EmitQuad(ChunkWriter& writer, const Region& r, int f, const int64_t low[3], const int64_t high[3], uint8_t color,
              uint32_t levels) {
    const int n = NormalAxis(f), u = (n + 1) % 3, v = (n + 2) % 3;
    ModelVertex corners[4];
    int level[4];
    for (int k = 0; k < 4; ++k) {
        const Vector3& corner = cubeCorners[cubeFaces[f][k]];
        const float offset[3] = {corner.x, corner.y, corner.z};
        for (int a = 0; a < 3; ++a) {
            const int64_t cell = offset[a] < 0.0f ? low[a] : high[a] + 1;
            corners[k].position[a] = static_cast<int16_t>(cell + r.low[a] - writer.chunk.origin[a]);
        }
        level[k] = Level(levels, offset[u] > 0.0f, offset[v] > 0.0f);
        corners[k].faceLevel = static_cast<uint8_t>(f | level[k] << 3);
        corners[k].color = color;
    }
    // The shared edge joins the corners whose levels differ less; on a tie
    // the less occluded pair.
    const int across02 = std::abs(level[0] - level[2]), across13 = std::abs(level[1] - level[3]);
    const bool turn = across02 > across13 || (across02 == across13 && level[0] + level[2] > level[1] + level[3]);
    const ModelVertex ordered[4] = {corners[turn ? 1 : 0], corners[turn ? 2 : 1], corners[turn ? 3 : 2],
                                    corners[turn ? 0 : 3]};
    const int64_t plane = (NormalSign(f) > 0 ? low[n] + 1 : low[n]) + r.low[n] - writer.chunk.origin[n];
    writer.Add(ordered, static_cast<int32_t>(plane));
}

// Entry of a face in a plane's mask: 0 for none, else a flag, the four
// levels and the colour. Equal entries may merge.
constexpr uint32_t kPresent = 1u << 24;

// Merges rows vLow..vHigh of the plane's mask (U entries a row) into
// rectangles, greedily: a run along u as far as equal entries go, then as
// many rows of that run as match; merged entries are cleared. With
// `shaded` a run grows along u only where the levels do not change along
// u, and rows stack only where they do not change along v.
template <typename Emit>
void MergeMask(std::vector<uint32_t>& mask, int64_t U, int64_t vLow, int64_t vHigh, bool shaded, const Emit& emit) {
    for (int64_t v = vLow; v <= vHigh; ++v) {
        for (int64_t u = 0; u < U; ++u) {
            const uint32_t entry = mask[static_cast<size_t>(v * U + u)];
            if (entry == 0) continue;
            const uint32_t levels = entry >> 8 & 0xff;
            const bool alongU = !shaded || SameAlongU(levels), alongV = !shaded || SameAlongV(levels);
            int64_t width = 1, height = 1;
            while (alongU && u + width < U && mask[static_cast<size_t>(v * U + u + width)] == entry) ++width;
            while (alongV && v + height <= vHigh) {
                const uint32_t* row = &mask[static_cast<size_t>((v + height) * U + u)];
                if (!std::all_of(row, row + width, [entry](uint32_t e) { return e == entry; })) break;
                ++height;
            }
            for (int64_t h = 0; h < height; ++h) {
                std::fill_n(&mask[static_cast<size_t>((v + h) * U + u)], width, 0u);
            }
            emit(u, v, u + width - 1, v + height - 1, entry);
        }
    }
}

// Writers by part (MeshPart order, Coverage last) and face direction.
struct Writers {
    std::array<std::array<ChunkWriter, 6>, kMeshPartCount> parts;
};

// Word w's neighbour bits in front of face f (n its axis, s its sign, i the
// word's place in its row).
uint64_t Front(const Region& r, const std::vector<uint64_t>& bits, int64_t w, int64_t i, int n, int s, int64_t step) {
    if (n != 0) return bits[w + s * step];
    if (s > 0) return bits[w] >> 1 | (i + 1 < r.rowWords ? bits[w + 1] << 63 : 0);
    return bits[w] << 1 | (i > 0 ? bits[w - 1] >> 63 : 0);
}

// Face f's cells as bits, laid out as the grid's: an opaque voxel's face
// where the cell in front is open (empty or translucent) and outside; a
// translucent voxel's where the cell in front is outside and empty or
// translucent of another colour. The border is left out (its cells belong
// to a neighbouring tile, or to nothing). Counts the faces onto closed
// cavities.
void FaceBits(const Region& r, int f, std::vector<uint64_t>& faces, size_t& cavities) {
    const int n = NormalAxis(f), s = NormalSign(f);
    const int64_t W = r.rowWords, step = n == 1 ? W : W * r.size[1];
    const std::vector<uint64_t>& S = r.solid;
    const std::vector<uint64_t>& C = r.clear;
    const std::vector<uint64_t>& O = r.outside;
    const int64_t ahead = n == 0 ? s : n == 1 ? s * r.size[0] : s * r.size[0] * r.size[1];  // in `colors`
    faces.assign(S.size(), 0);
    for (int64_t z = 1; z + 1 < r.size[2]; ++z) {
        for (int64_t y = 1; y + 1 < r.size[1]; ++y) {
            const int64_t row = (y + r.size[1] * z) * W;
            for (int64_t i = 0; i < W; ++i) {
                const int64_t w = row + i;
                // Cells 1 .. size - 2 of the row.
                uint64_t core = ~uint64_t{0};
                if (i == 0) core &= ~uint64_t{1};
                const int64_t lastX = r.size[0] - 2;
                if (i == lastX >> 6) core &= (lastX & 63) == 63 ? ~uint64_t{0} : (uint64_t{2} << (lastX & 63)) - 1;
                if (i > lastX >> 6) core = 0;
                const uint64_t frontSolid = Front(r, S, w, i, n, s, step);
                const uint64_t frontOutside = Front(r, O, w, i, n, s, step);
                uint64_t open = S[w] & ~frontSolid & core;
                if (r.anyClear && (C[w] & core) != 0) {
                    const uint64_t frontClear = Front(r, C, w, i, n, s, step);
                    open |= C[w] & ~frontSolid & ~frontClear & core;
                    // Between two translucent voxels only where their colours differ.
                    for (uint64_t both = C[w] & frontClear & core; both != 0; both &= both - 1) {
                        const int64_t cell = i * 64 + std::countr_zero(both) + r.size[0] * (y + r.size[1] * z);
                        if (r.colors[static_cast<size_t>(cell)] != r.colors[static_cast<size_t>(cell + ahead)]) {
                            open |= both & ~(both - 1);
                        }
                    }
                }
                faces[w] = open & frontOutside;
                cavities += static_cast<size_t>(std::popcount(open & ~frontOutside));
            }
        }
    }
}

// The four corners' occlusion levels of face f of the cell at p.
uint32_t FaceLevels(const Region& r, int f, const int64_t p[3]) {
    const int n = NormalAxis(f), u = (n + 1) % 3, v = (n + 2) % 3;
    // Solid cells beside the cell in front, du and dv in -1..1.
    bool near[3][3];
    for (int du = -1; du <= 1; ++du) {
        for (int dv = -1; dv <= 1; ++dv) {
            int64_t c[3] = {p[0], p[1], p[2]};
            c[n] += NormalSign(f);
            c[u] += du;
            c[v] += dv;
            near[du + 1][dv + 1] = Bit(r, r.solid, c[0], c[1], c[2]);
        }
    }
    uint32_t levels = 0;
    for (int iu = 0; iu < 2; ++iu) {
        for (int iv = 0; iv < 2; ++iv) {
            const bool sideU = near[iu * 2][1], sideV = near[1][iv * 2];
            const int level = sideU && sideV ? 3 : sideU + sideV + near[iu * 2][iv * 2];
            levels |= static_cast<uint32_t>(level) << (2 * (iu + 2 * iv));
        }
    }
    return levels;
}

// The part a colour's faces go to.
MeshPart PartOf(VoxelSurface surface) {
    switch (surface) {
        case VoxelSurface::Emissive: return MeshPart::Emissive;
        case VoxelSurface::Translucent: return MeshPart::Translucent;
        case VoxelSurface::Metal: return MeshPart::Metal;
        case VoxelSurface::Diffuse: break;
    }
    return MeshPart::Lit;
}

// Meshes the cells of a filled region inside its border, plane by plane.
void MeshRegion(const Region& r, bool occlusion, const SurfaceTable& surfaces, Writers& writers,
                ModelMeshCounts& counts) {
    std::array<std::array<ChunkWriter, 6>*, 256> writersOf;  // by colour
    for (size_t k = 0; k < 256; ++k) writersOf[k] = &writers.parts[static_cast<size_t>(PartOf(surfaces[k]))];
    std::vector<uint64_t> faces;
    std::vector<uint32_t> mask, shape;
    for (int f = 0; f < 6; ++f) {
        const int n = NormalAxis(f), u = (n + 1) % 3, v = (n + 2) % 3;
        for (std::array<ChunkWriter, 6>& part : writers.parts) part[f].Enter(r);
        FaceBits(r, f, faces, counts.cavityFaces);
        const int64_t U = r.size[u] - 2, V = r.size[v] - 2;
        mask.assign(static_cast<size_t>(U * V), 0);
        shape.assign(mask.size(), 0);
        for (int64_t slice = 1; slice + 1 < r.size[n]; ++slice) {
            if (r.sliceCells[n][static_cast<size_t>(slice)] == 0) continue;
            int64_t vLow = V, vHigh = -1;
            const auto take = [&](int64_t x, int64_t y, int64_t z) {
                const int64_t p[3] = {x, y, z};
                const int64_t i = p[u] - 1, j = p[v] - 1;
                const uint32_t levels = occlusion ? FaceLevels(r, f, p) : 0;
                const uint8_t color = r.colors[static_cast<size_t>(x + r.size[0] * (y + r.size[1] * z))];
                mask[static_cast<size_t>(j * U + i)] = kPresent | levels << 8 | color;
                // The flat shadow is the opaque voxels'.
                if (!r.anyClear || surfaces[color] != VoxelSurface::Translucent) {
                    shape[static_cast<size_t>(j * U + i)] = kPresent;
                }
                vLow = std::min(vLow, j);
                vHigh = std::max(vHigh, j);
                ++counts.faces;
            };
            // Rows along x: whole words at a time where x is not the slice.
            const auto takeRow = [&](int64_t y, int64_t z) {
                const int64_t row = (y + r.size[1] * z) * r.rowWords;
                for (int64_t i = 0; i < r.rowWords; ++i) {
                    for (uint64_t bits = faces[row + i]; bits != 0; bits &= bits - 1) {
                        take(i * 64 + std::countr_zero(bits), y, z);
                    }
                }
            };
            if (n == 2) {
                for (int64_t y = 1; y + 1 < r.size[1]; ++y) takeRow(y, slice);
            } else if (n == 1) {
                for (int64_t z = 1; z + 1 < r.size[2]; ++z) takeRow(slice, z);
            } else {
                for (int64_t z = 1; z + 1 < r.size[2]; ++z) {
                    for (int64_t y = 1; y + 1 < r.size[1]; ++y) {
                        if (Bit(r, faces, slice, y, z)) take(slice, y, z);
                    }
                }
            }
            if (vHigh < vLow) continue;
            // Each quad to its colour's part, or to the coverage.
            const auto emitter = [&](std::array<ChunkWriter, 6>* coverage) {
                return [&, coverage](int64_t u0, int64_t v0, int64_t u1, int64_t v1, uint32_t entry) {
                    int64_t low[3], high[3];
                    low[n] = high[n] = slice;
                    low[u] = u0 + 1;
                    high[u] = u1 + 1;
                    low[v] = v0 + 1;
                    high[v] = v1 + 1;
                    const uint8_t color = static_cast<uint8_t>(entry & 0xff);
                    EmitQuad((coverage != nullptr ? *coverage : *writersOf[color])[f], r, f, low, high, color,
                             entry >> 8 & 0xff);
                };
            };
            MergeMask(mask, U, vLow, vHigh, true, emitter(nullptr));
            MergeMask(shape, U, vLow, vHigh, false, emitter(&writers.parts[static_cast<size_t>(MeshPart::Coverage)]));
        }
    }
}

// Fills, opens and meshes the region around the drawn cells low..high,
// given the voxels that may lie in it.
template <typename ForEachVoxel>
void WorkRegion(Region& r, const int64_t low[3], const int64_t high[3], const ForEachVoxel& forEachVoxel,
                bool occlusion, const SurfaceTable& surfaces, Writers& writers, ModelMeshCounts& counts) {
    ResetRegion(r, low, high, std::find(surfaces.begin(), surfaces.end(), VoxelSurface::Translucent) != surfaces.end());
    forEachVoxel([&r, &surfaces](const Voxel& v) { AddVoxel(r, v, surfaces); });
    FindOutside(r);
    MeshRegion(r, occlusion, surfaces, writers, counts);
}

// A drawn voxel keyed by its tile.
struct TiledVoxel {
    std::array<int32_t, 3> tile;
    uint32_t index;
};

}  // namespace

ModelMeshCounts BuildModelMesh(const VoxelModel& model, bool occlusion, const ChunkSink& sink) {
    ModelMeshCounts counts;
    const SurfaceTable surfaces = SurfacesOf(model);
    Writers writers;
    for (size_t p = 0; p < kMeshPartCount; ++p) {
        for (int f = 0; f < 6; ++f) {
            ChunkWriter& w = writers.parts[p][f];
            w.sink = &sink;
            w.chunk.face = f;
            w.part = static_cast<MeshPart>(p);
        }
    }
    int64_t low[3] = {std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::max(),
                      std::numeric_limits<int64_t>::max()};
    int64_t high[3] = {std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::min(),
                       std::numeric_limits<int64_t>::min()};
    size_t drawn = 0;
    for (const Voxel& v : model.voxels) {
        if (!IsDrawn(model, v)) continue;
        const int64_t p[3] = {v.x, v.y, v.z};
        for (int a = 0; a < 3; ++a) low[a] = std::min(low[a], p[a]), high[a] = std::max(high[a], p[a]);
        ++drawn;
    }
    if (drawn == 0) return counts;

    Region region;
    bool whole = true;
    int64_t cells = 1;
    for (int a = 0; a < 3; ++a) {
        const int64_t extent = high[a] - low[a] + 3;
        whole = whole && extent <= kMaxWholeExtent && cells * extent <= kWholeBoxCells;
        if (whole) cells *= extent;
    }
    if (whole) {
        const auto all = [&model](const auto& add) {
            for (const Voxel& v : model.voxels) {
                if (IsDrawn(model, v)) add(v);
            }
        };
        WorkRegion(region, low, high, all, occlusion, surfaces, writers, counts);
    } else {
        // Voxels by tile, in file order within one (the later of two in a cell wins).
        std::vector<TiledVoxel> tiled;
        tiled.reserve(drawn);
        for (size_t i = 0; i < model.voxels.size(); ++i) {
            const Voxel& v = model.voxels[i];
            if (IsDrawn(model, v)) {
                tiled.push_back({{v.x >> kTileShift, v.y >> kTileShift, v.z >> kTileShift}, static_cast<uint32_t>(i)});
            }
        }
        const auto byTile = [](const TiledVoxel& a, const TiledVoxel& b) { return a.tile < b.tile; };
        std::stable_sort(tiled.begin(), tiled.end(), byTile);
        for (size_t first = 0; first < tiled.size();) {
            size_t last = first;
            int64_t tileLow[3], tileHigh[3];
            for (int a = 0; a < 3; ++a) tileLow[a] = std::numeric_limits<int64_t>::max(), tileHigh[a] = -tileLow[a];
            for (; last < tiled.size() && tiled[last].tile == tiled[first].tile; ++last) {
                const Voxel& v = model.voxels[tiled[last].index];
                const int64_t p[3] = {v.x, v.y, v.z};
                for (int a = 0; a < 3; ++a)
                    tileLow[a] = std::min(tileLow[a], p[a]), tileHigh[a] = std::max(tileHigh[a], p[a]);
            }
            // The tile's own voxels and its neighbours' that reach the border.
            const std::array<int32_t, 3> tile = tiled[first].tile;
            const auto near = [&](const auto& add) {
                for (int dz = -1; dz <= 1; ++dz) {
                    for (int dy = -1; dy <= 1; ++dy) {
                        for (int dx = -1; dx <= 1; ++dx) {
                            const TiledVoxel key{{tile[0] + dx, tile[1] + dy, tile[2] + dz}, 0};
                            const auto [from, to] = std::equal_range(tiled.begin(), tiled.end(), key, byTile);
                            for (auto it = from; it != to; ++it) add(model.voxels[it->index]);
                        }
                    }
                }
            };
            WorkRegion(region, tileLow, tileHigh, near, occlusion, surfaces, writers, counts);
            first = last;
        }
    }
    for (size_t p = 0; p < kMeshPartCount; ++p) {
        for (ChunkWriter& w : writers.parts[p]) {
            w.Flush();
            const auto part = static_cast<MeshPart>(p);
            size_t& count = part == MeshPart::Coverage      ? counts.coverageQuads
                            : part == MeshPart::Translucent ? counts.translucentQuads
                                                            : counts.litQuads;
            count += w.quads;
        }
    }
    return counts;
}
