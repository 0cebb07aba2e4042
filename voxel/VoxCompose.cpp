// Composition of one frame: the graph is walked once to list the placements
// in force (model plus a signed axis permutation and a whole-cell offset),
// then every voxel is written once and cells taken twice are resolved.
#include <algorithm>
#include <cmath>
#include <limits>

#include "voxel/VoxScene.h"

namespace {

// p -> R·p + t, with R a signed permutation: row i of R has sign[i] in
// column column[i]. Translations are real: interpolated keys land between
// cells and the floor is taken once, at the end.
struct Transform {
    int column[3] = {0, 1, 2};
    int sign[3] = {1, 1, 1};
    double t[3] = {0, 0, 0};
};

Transform FromKey(uint8_t rotation, const double t[3]) {
    Transform r;
    r.column[0] = rotation & 3;
    r.column[1] = (rotation >> 2) & 3;
    r.column[2] = 3 - r.column[0] - r.column[1];  // the reader let only valid bytes in
    for (int i = 0; i < 3; ++i) {
        r.sign[i] = (rotation >> (4 + i)) & 1 ? -1 : 1;
        r.t[i] = t[i];
    }
    return r;
}

// outer ∘ inner: inner applies first.
Transform Then(const Transform& outer, const Transform& inner) {
    Transform r;
    for (int i = 0; i < 3; ++i) {
        const int k = outer.column[i];
        r.column[i] = inner.column[k];
        r.sign[i] = outer.sign[i] * inner.sign[k];
        r.t[i] = outer.sign[i] * inner.t[k] + outer.t[i];
    }
    return r;
}

// The key in force at `frame`: the last one at or before it, else the first.
template <typename Key>
size_t KeyAt(const std::vector<Key>& keys, int32_t frame) {
    auto it = std::upper_bound(keys.begin(), keys.end(), frame,
                               [](int32_t f, const Key& key) { return f < key.frame; });
    return it == keys.begin() ? 0 : static_cast<size_t>(it - keys.begin()) - 1;
}

Transform TransformAt(const VoxelSceneNode& node, int32_t frame) {
    const std::vector<VoxelTransformKey>& keys = node.transformKeys;
    const size_t a = KeyAt(keys, frame);
    const VoxelTransformKey& ka = keys[a];
    double t[3] = {double(ka.x), double(ka.y), double(ka.z)};
    if (a + 1 < keys.size() && frame > ka.frame) {
        const VoxelTransformKey& kb = keys[a + 1];
        // The product is formed in integers first, so an exact half stays exact.
        const int64_t step = frame - ka.frame, span = kb.frame - ka.frame;
        const int64_t d[3] = {int64_t{kb.x} - ka.x, int64_t{kb.y} - ka.y, int64_t{kb.z} - ka.z};
        for (int i = 0; i < 3; ++i) t[i] += static_cast<double>(d[i] * step) / static_cast<double>(span);
    }
    return FromKey(ka.rotation, t);
}

// One model placed: world cell i = sign[i] · v[column[i]] + offset[i].
struct Placement {
    const VoxelSceneModel* model = nullptr;
    int column[3] = {0, 1, 2};
    int sign[3] = {1, 1, 1};
    int64_t offset[3] = {0, 0, 0};
};

Placement Place(const VoxelSceneModel& model, const Transform& world) {
    // Centre v + 1/2 - pivot, then R and t: sign·v[c] + sign·(1/2 - pivot[c]) + t.
    // The first term is whole, so the floor applies to the rest alone.
    const int32_t pivot[3] = {model.sizeX / 2, model.sizeY / 2, model.sizeZ / 2};
    Placement p;
    p.model = &model;
    for (int i = 0; i < 3; ++i) {
        const int c = world.column[i];
        p.column[i] = c;
        p.sign[i] = world.sign[i];
        p.offset[i] = static_cast<int64_t>(std::floor(world.sign[i] * (0.5 - pivot[c]) + world.t[i]));
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
            const Transform here = Then(above, TransformAt(node, frame));
            for (int32_t child : node.children) Visit(child, here);
            break;
        }
        case VoxelNodeKind::Group:
            for (int32_t child : node.children) Visit(child, above);
            break;
        case VoxelNodeKind::Shape: {
            const int32_t model = node.shapeKeys[KeyAt(node.shapeKeys, frame)].model;
            placements.push_back(Place(scene.models[static_cast<size_t>(model)], above));
            break;
        }
        }
    }
};

// Where several voxels share a cell, only the last stays, in place. Dense
// worlds use one bit per cell of the bounding box; sparse ones (the bitmap
// would outweigh the voxels) sort the cells instead.
void KeepLastInEachCell(std::vector<Voxel>& voxels, const int64_t lo[3], const int64_t hi[3]) {
    if (voxels.size() < 2) return;
    const uint64_t ex = static_cast<uint64_t>(hi[0] - lo[0] + 1), ey = static_cast<uint64_t>(hi[1] - lo[1] + 1),
                   ez = static_cast<uint64_t>(hi[2] - lo[2] + 1);
    const uint64_t dense = std::max<uint64_t>(uint64_t{1} << 24, 64 * voxels.size());
    // Extents fit 32 bits each, so compare before multiplying.
    const bool fits = ex <= dense && ey <= dense && ez <= dense && ex * ey <= dense && ex * ey * ez <= dense;
    bool dropped = false;
    if (fits) {
        std::vector<uint64_t> seen((ex * ey * ez + 63) / 64, 0);
        for (size_t n = voxels.size(); n-- > 0;) {
            Voxel& v = voxels[n];
            const uint64_t cell = (static_cast<uint64_t>(v.z - lo[2]) * ey + static_cast<uint64_t>(v.y - lo[1])) * ex +
                                  static_cast<uint64_t>(v.x - lo[0]);
            uint64_t& word = seen[cell >> 6];
            const uint64_t bit = uint64_t{1} << (cell & 63);
            if (word & bit) {
                v.reserved = 1;  // marks a loser; cleared by the removal below
                dropped = true;
            }
            word |= bit;
        }
    } else {
        struct Key {
            int32_t x, y, z;
            uint32_t index;
        };
        std::vector<Key> keys(voxels.size());
        for (size_t n = 0; n < voxels.size(); ++n) {
            keys[n] = {voxels[n].x, voxels[n].y, voxels[n].z, static_cast<uint32_t>(n)};
        }
        std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
            if (a.x != b.x) return a.x < b.x;
            if (a.y != b.y) return a.y < b.y;
            if (a.z != b.z) return a.z < b.z;
            return a.index < b.index;
        });
        for (size_t n = 0; n + 1 < keys.size(); ++n) {
            if (keys[n].x == keys[n + 1].x && keys[n].y == keys[n + 1].y && keys[n].z == keys[n + 1].z) {
                voxels[keys[n].index].reserved = 1;
                dropped = true;
            }
        }
    }
    if (dropped) {
        voxels.erase(std::remove_if(voxels.begin(), voxels.end(), [](const Voxel& v) { return v.reserved != 0; }),
                     voxels.end());
    }
}

}  // namespace

void ComposeFrame(const VoxelScene& scene, int32_t frame, VoxelModel& model) {
    frame = std::clamp(frame, 0, VoxelSceneFrameCount(scene) - 1);
    model.palette = scene.palette;
    model.displayList = 0;

    std::vector<Placement> placements;
    if (scene.root >= 0) {
        Walk{scene, frame, placements}.Visit(scene.root, Transform{});
    } else if (static_cast<size_t>(frame) < scene.models.size()) {
        placements.push_back(Place(scene.models[static_cast<size_t>(frame)], Transform{}));
    }

    size_t total = 0;
    int64_t lo[3] = {INT64_MAX, INT64_MAX, INT64_MAX}, hi[3] = {INT64_MIN, INT64_MIN, INT64_MIN};
    for (const Placement& p : placements) {
        const VoxelSceneModel& m = *p.model;
        if (m.voxels.empty()) continue;
        total += m.voxels.size();
        const int32_t mins[3] = {m.minX, m.minY, m.minZ}, maxs[3] = {m.maxX, m.maxY, m.maxZ};
        for (int i = 0; i < 3; ++i) {
            const int64_t a = int64_t{p.sign[i]} * mins[p.column[i]], b = int64_t{p.sign[i]} * maxs[p.column[i]];
            lo[i] = std::min(lo[i], std::min(a, b) + p.offset[i]);
            hi[i] = std::max(hi[i], std::max(a, b) + p.offset[i]);
        }
    }

    model.voxels.resize(total);
    Voxel* out = model.voxels.data();
    for (const Placement& p : placements) {
        const int c0 = p.column[0], c1 = p.column[1], c2 = p.column[2];
        const int32_t s0 = p.sign[0], s1 = p.sign[1], s2 = p.sign[2];
        // The reader's bounds keep every cell inside int32.
        const int32_t o0 = static_cast<int32_t>(p.offset[0]), o1 = static_cast<int32_t>(p.offset[1]),
                      o2 = static_cast<int32_t>(p.offset[2]);
        for (const Voxel& v : p.model->voxels) {
            const int32_t in[3] = {v.x, v.y, v.z};
            *out++ = Voxel{s0 * in[c0] + o0, s1 * in[c1] + o1, s2 * in[c2] + o2, v.colorIndex, 0};
        }
    }
    if (total > 0) KeepLastInEachCell(model.voxels, lo, hi);
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

void MirrorLikeReader(VoxelModel& model) {
    int32_t min[3], max[3];
    if (!VoxelModelBounds(model, min, max)) return;
    // As the reader does for a model whose size is this bounding box.
    for (Voxel& v : model.voxels) {
        v.x = v.x - min[0];
        v.y = max[1] + 1 - v.y;
        v.z = max[2] + 1 - v.z;
    }
}
