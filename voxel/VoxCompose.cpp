// Composition of one frame: the graph is walked once to list the placements
// in force (model plus a signed axis permutation and a whole-cell offset),
// then every voxel is written once and cells taken twice are resolved.
#include <algorithm>
#include <cmath>
#include <limits>

#include "voxel/VoxScene.h"

namespace {

using Transform = VoxelTransform;

// The key in force at `frame`: the last one at or before it, else the first.
template <typename Key>
size_t KeyAt(const std::vector<Key>& keys, int32_t frame) {
    auto it =
        std::upper_bound(keys.begin(), keys.end(), frame, [](int32_t f, const Key& key) { return f < key.frame; });
    return it == keys.begin() ? 0 : static_cast<size_t>(it - keys.begin()) - 1;
}

// One model placed: world cell i = sign[i] · v[column[i]] + offset[i], and
// the box those cells fill.
struct Placement {
    const VoxelSceneModel* model = nullptr;
    int column[3] = {0, 1, 2};
    int sign[3] = {1, 1, 1};
    int64_t offset[3] = {0, 0, 0};
    int64_t lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
};

Placement Place(const VoxelSceneModel& model, const Transform& world) {
    // Centre v + 1/2 - pivot, then R and t: sign·v[c] + sign·(1/2 - pivot[c]) + t.
    // The first term is whole, so the floor applies to the rest alone.
    const int32_t pivot[3] = {model.sizeX / 2, model.sizeY / 2, model.sizeZ / 2};
    const int32_t mins[3] = {model.minX, model.minY, model.minZ}, maxs[3] = {model.maxX, model.maxY, model.maxZ};
    Placement p;
    p.model = &model;
    for (int i = 0; i < 3; ++i) {
        const int c = world.column[i];
        p.column[i] = c;
        p.sign[i] = world.sign[i];
        p.offset[i] = static_cast<int64_t>(std::floor(world.sign[i] * (0.5 - pivot[c]) + world.t[i]));
        const int64_t a = int64_t{p.sign[i]} * mins[c], b = int64_t{p.sign[i]} * maxs[c];
        p.lo[i] = std::min(a, b) + p.offset[i];
        p.hi[i] = std::max(a, b) + p.offset[i];
    }
    return p;
}

struct Walk {
    const VoxelScene& scene;
    int32_t frame;
    std::vector<Placement>& placements;

    bool Hidden(const VoxelSceneNode& node) const {
        if (node.hidden) return true;
        return node.layerIndex >= 0 && scene.layers[static_cast<size_t>(node.layerIndex)].hidden;
    }

    // The reader bounded the depth and refused cycles, so this recursion ends.
    void Visit(int32_t index, const Transform& above) {
        const VoxelSceneNode& node = scene.nodes[static_cast<size_t>(index)];
        if (Hidden(node)) return;
        switch (node.kind) {
            case VoxelNodeKind::Transform: {
                const Transform here = ComposeTransforms(above, VoxelTransformAt(node, frame));
                for (int32_t child : node.children) Visit(child, here);
                break;
            }
            case VoxelNodeKind::Group:
                for (int32_t child : node.children) Visit(child, above);
                break;
            case VoxelNodeKind::Shape: {
                const int32_t model = VoxelShapeModelAt(node, frame);
                placements.push_back(Place(scene.models[static_cast<size_t>(model)], above));
                break;
            }
        }
    }
};

// One bit per cell of a box.
struct CellBits {
    int64_t lo[3] = {0, 0, 0};
    uint64_t ex = 0, ey = 0;
    std::vector<uint64_t> words;

    void Cover(const int64_t low[3], const int64_t high[3]) {
        for (int i = 0; i < 3; ++i) lo[i] = low[i];
        ex = static_cast<uint64_t>(high[0] - low[0] + 1);
        ey = static_cast<uint64_t>(high[1] - low[1] + 1);
        const uint64_t cells = ex * ey * static_cast<uint64_t>(high[2] - low[2] + 1);
        if (words.size() < (cells + 63) / 64) words.assign((cells + 63) / 64, 0);
    }
    uint64_t Index(const Voxel& v) const {
        return (static_cast<uint64_t>(v.z - lo[2]) * ey + static_cast<uint64_t>(v.y - lo[1])) * ex +
               static_cast<uint64_t>(v.x - lo[0]);
    }
};

// Cells in a box of this size get a bitmap: at most 8 bytes per voxel (and
// 512 bytes), so a sparse frame never zeroes more than its voxels weigh.
bool BitmapFits(const int64_t lo[3], const int64_t hi[3], size_t voxels) {
    const uint64_t bound = 64 * static_cast<uint64_t>(voxels) + 4096;
    const uint64_t ex = static_cast<uint64_t>(hi[0] - lo[0] + 1), ey = static_cast<uint64_t>(hi[1] - lo[1] + 1),
                   ez = static_cast<uint64_t>(hi[2] - lo[2] + 1);
    // Each extent is below 2^32, so testing before each product keeps it exact.
    return ex <= bound && ey <= bound && ex * ey <= bound && ez <= bound && ex * ey * ez <= bound;
}

// The placement as a 3 x 3 matrix of -1, 0 and 1: the inner loops then
// multiply and add instead of picking axes by index.
struct Affine {
    int32_t m[3][3] = {};
    int32_t o[3] = {0, 0, 0};
    explicit Affine(const Placement& p) {
        for (int i = 0; i < 3; ++i) {
            m[i][p.column[i]] = p.sign[i];
            o[i] = static_cast<int32_t>(p.offset[i]);  // the reader's bounds keep cells inside int32
        }
    }
    template <typename Source>
    Voxel operator()(const Source& v) const {
        const int32_t x = v.x, y = v.y, z = v.z;
        return Voxel{m[0][0] * x + m[0][1] * y + m[0][2] * z + o[0], m[1][0] * x + m[1][1] * y + m[1][2] * z + o[1],
                     m[2][0] * x + m[2][1] * y + m[2][2] * z + o[2], uint32_t{v.colorIndex}, 0};
    }
};

// Output voxel n of the frame loses its cell to a later one when bit n is set.
struct Losers {
    std::vector<uint64_t> bits;
    bool any = false;
    bool Has(size_t n) const { return (bits[n >> 6] >> (n & 63)) & 1; }
};

// Visits one placement's voxels from the last to the first, marking each
// whose cell a later voxel took. `base` is its first voxel's output number.
template <typename Source>
void MarkLosers(const Placement& p, const std::vector<Source>& source, size_t base, CellBits& cells, Losers& losers) {
    const Affine place(p);
    uint64_t* const words = cells.words.data();
    for (size_t n = source.size(); n-- > 0;) {
        const uint64_t cell = cells.Index(place(source[n]));
        const uint64_t bit = uint64_t{1} << (cell & 63);
        uint64_t& word = words[cell >> 6];
        if (word & bit) {
            losers.bits[(base + n) >> 6] |= uint64_t{1} << ((base + n) & 63);
            losers.any = true;
        }
        word |= bit;
    }
}

template <typename Source>
void ClearCells(const Placement& p, const std::vector<Source>& source, CellBits& cells) {
    const Affine place(p);
    for (const Source& v : source) cells.words[cells.Index(place(v)) >> 6] = 0;
}

// Every voxel of a placement whose axis permutation is known when compiled,
// which leaves a multiply and an add per coordinate.
template <int C0, int C1, int C2, typename Source>
Voxel* WriteAll(const Placement& p, const std::vector<Source>& source, Voxel* out) {
    const int32_t s0 = p.sign[0], s1 = p.sign[1], s2 = p.sign[2];
    const int32_t o0 = static_cast<int32_t>(p.offset[0]), o1 = static_cast<int32_t>(p.offset[1]),
                  o2 = static_cast<int32_t>(p.offset[2]);
    for (const Source& v : source) {
        const int32_t in[3] = {v.x, v.y, v.z};
        *out++ = Voxel{s0 * in[C0] + o0, s1 * in[C1] + o1, s2 * in[C2] + o2, uint32_t{v.colorIndex}, 0};
    }
    return out;
}

template <typename Source>
Voxel* WriteAll(const Placement& p, const std::vector<Source>& source, Voxel* out) {
    switch (p.column[0] * 3 + p.column[1]) {  // the third column is the one left
        case 0 * 3 + 1: return WriteAll<0, 1, 2>(p, source, out);
        case 0 * 3 + 2: return WriteAll<0, 2, 1>(p, source, out);
        case 1 * 3 + 0: return WriteAll<1, 0, 2>(p, source, out);
        case 1 * 3 + 2: return WriteAll<1, 2, 0>(p, source, out);
        case 2 * 3 + 0: return WriteAll<2, 0, 1>(p, source, out);
        default: return WriteAll<2, 1, 0>(p, source, out);
    }
}

template <typename Source>
Voxel* Write(const Placement& p, const std::vector<Source>& source, size_t base, const Losers& losers, Voxel* out) {
    const Affine place(p);
    if (!losers.any) {
        out = WriteAll(p, source, out);
    } else {
        for (size_t n = 0; n < source.size(); ++n) {
            if (!losers.Has(base + n)) *out++ = place(source[n]);
        }
    }
    return out;
}

// Calls `use` with the list that holds the placement's voxels.
template <typename Use>
void WithSource(const Placement& p, Use&& use) {
    if (p.model->wide.empty()) {
        use(p.model->cells);
    } else {
        use(p.model->wide);
    }
}

// True when no two placement boxes meet, found by a sweep along x that gives
// up (saying they might) after a number of comparisons linear in the count.
bool BoxesApart(const std::vector<Placement>& placements) {
    std::vector<const Placement*> order;
    for (const Placement& p : placements) order.push_back(&p);
    std::sort(order.begin(), order.end(), [](const Placement* a, const Placement* b) { return a->lo[0] < b->lo[0]; });
    size_t budget = 16 * order.size() + 1024;
    for (size_t i = 0; i < order.size(); ++i) {
        for (size_t j = i + 1; j < order.size() && order[j]->lo[0] <= order[i]->hi[0]; ++j) {
            if (budget-- == 0) return false;
            const Placement &a = *order[i], &b = *order[j];
            if (a.lo[1] <= b.hi[1] && b.lo[1] <= a.hi[1] && a.lo[2] <= b.hi[2] && b.lo[2] <= a.hi[2]) return false;
        }
    }
    return true;
}

// The rare case of overlapping placements in a world too sparse for one
// bitmap: sort the cells, the later voxel last, and mark all but the last.
void MarkLosersBySorting(const std::vector<Placement>& placements, size_t total, Losers& losers) {
    struct Key {
        int32_t x, y, z;
        uint32_t index;
    };
    std::vector<Key> keys;
    keys.reserve(total);
    for (const Placement& p : placements) {
        WithSource(p, [&](const auto& source) {
            const Affine place(p);
            for (const auto& v : source) {
                const Voxel c = place(v);
                keys.push_back({c.x, c.y, c.z, static_cast<uint32_t>(keys.size())});
            }
        });
    }
    std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
        if (a.x != b.x) return a.x < b.x;
        if (a.y != b.y) return a.y < b.y;
        if (a.z != b.z) return a.z < b.z;
        return a.index < b.index;
    });
    for (size_t n = 0; n + 1 < keys.size(); ++n) {
        if (keys[n].x == keys[n + 1].x && keys[n].y == keys[n + 1].y && keys[n].z == keys[n + 1].z) {
            losers.bits[keys[n].index >> 6] |= uint64_t{1} << (keys[n].index & 63);
            losers.any = true;
        }
    }
}

}  // namespace

VoxelTransform ComposeTransforms(const VoxelTransform& outer, const VoxelTransform& inner) {
    VoxelTransform r;
    for (int i = 0; i < 3; ++i) {
        const int k = outer.column[i];
        r.column[i] = inner.column[k];
        r.sign[i] = outer.sign[i] * inner.sign[k];
        r.t[i] = outer.sign[i] * inner.t[k] + outer.t[i];
    }
    return r;
}

VoxelTransform VoxelTransformAt(const VoxelSceneNode& node, int32_t frame) {
    const std::vector<VoxelTransformKey>& keys = node.transformKeys;
    const size_t a = KeyAt(keys, frame);
    const VoxelTransformKey& ka = keys[a];
    VoxelTransform r;
    r.t[0] = ka.x, r.t[1] = ka.y, r.t[2] = ka.z;
    if (a + 1 < keys.size() && frame > ka.frame) {
        const VoxelTransformKey& kb = keys[a + 1];
        const int64_t step = frame - ka.frame, span = kb.frame - ka.frame;
        const int64_t d[3] = {int64_t{kb.x} - ka.x, int64_t{kb.y} - ka.y, int64_t{kb.z} - ka.z};
        for (int i = 0; i < 3; ++i) r.t[i] += static_cast<double>(d[i] * step) / static_cast<double>(span);
    }
    r.column[0] = ka.rotation & 3;
    r.column[1] = (ka.rotation >> 2) & 3;
    r.column[2] = 3 - r.column[0] - r.column[1];  // the reader let only valid bytes in
    for (int i = 0; i < 3; ++i) r.sign[i] = (ka.rotation >> (4 + i)) & 1 ? -1 : 1;
    return r;
}

int32_t VoxelShapeModelAt(const VoxelSceneNode& node, int32_t frame) {
    return node.shapeKeys[KeyAt(node.shapeKeys, frame)].model;
}

void ComposeFrame(const VoxelScene& scene, int32_t frame, VoxelModel& model) {
    frame = std::clamp(frame, 0, VoxelSceneFrameCount(scene) - 1);
    model.palette = scene.palette;
    model.looks = SceneLooks(scene);
    model.displayList = 0;

    std::vector<Placement> placements;
    if (scene.root >= 0) {
        Walk{scene, frame, placements}.Visit(scene.root, Transform{});
    } else if (static_cast<size_t>(frame) < scene.models.size()) {
        placements.push_back(Place(scene.models[static_cast<size_t>(frame)], Transform{}));
    }
    placements.erase(std::remove_if(placements.begin(), placements.end(),
                                    [](const Placement& p) { return VoxelSceneModelVoxelCount(*p.model) == 0; }),
                     placements.end());

    size_t total = 0;
    int64_t lo[3] = {INT64_MAX, INT64_MAX, INT64_MAX}, hi[3] = {INT64_MIN, INT64_MIN, INT64_MIN};
    std::vector<size_t> base;
    for (const Placement& p : placements) {
        base.push_back(total);
        total += VoxelSceneModelVoxelCount(*p.model);
        for (int i = 0; i < 3; ++i) lo[i] = std::min(lo[i], p.lo[i]), hi[i] = std::max(hi[i], p.hi[i]);
    }

    // First find the voxels that lose their cell to a later one, reading the
    // models' small cells; then write the others once, in graph order.
    Losers losers;
    losers.bits.assign((total + 63) / 64, 0);
    CellBits cells;
    const bool apart = BoxesApart(placements);
    if (total == 0 || (apart && std::all_of(placements.begin(), placements.end(),
                                            [](const Placement& p) { return p.model->distinctCells; }))) {
        // No cell can be taken twice.
    } else if (BitmapFits(lo, hi, total)) {
        cells.Cover(lo, hi);
        for (size_t k = placements.size(); k-- > 0;) {
            WithSource(placements[k],
                       [&](const auto& source) { MarkLosers(placements[k], source, base[k], cells, losers); });
        }
    } else if (apart && std::all_of(placements.begin(), placements.end(), [](const Placement& p) {
                   return BitmapFits(p.lo, p.hi, VoxelSceneModelVoxelCount(*p.model));
               })) {
        // Only cells of one placement can meet: one bitmap at a time.
        for (size_t k = 0; k < placements.size(); ++k) {
            cells.Cover(placements[k].lo, placements[k].hi);
            WithSource(placements[k], [&](const auto& source) {
                MarkLosers(placements[k], source, base[k], cells, losers);
                ClearCells(placements[k], source, cells);
            });
        }
    } else {
        MarkLosersBySorting(placements, total, losers);
    }

    model.voxels.resize(total);
    Voxel* out = model.voxels.data();
    for (size_t k = 0; k < placements.size(); ++k) {
        WithSource(placements[k],
                   [&](const auto& source) { out = Write(placements[k], source, base[k], losers, out); });
    }
    model.voxels.resize(static_cast<size_t>(out - model.voxels.data()));
}

bool VoxelModelBounds(const VoxelModel& model, int32_t min[3], int32_t max[3]) {
    if (model.voxels.empty()) return false;
    for (int i = 0; i < 3; ++i) {
        min[i] = std::numeric_limits<int32_t>::max();
        max[i] = std::numeric_limits<int32_t>::min();
    }
    for (const Voxel& v : model.voxels) {
        const int32_t c[3] = {v.x, v.y, v.z};
        for (int i = 0; i < 3; ++i) {
            min[i] = std::min(min[i], c[i]);
            max[i] = std::max(max[i], c[i]);
        }
    }
    return true;
}
