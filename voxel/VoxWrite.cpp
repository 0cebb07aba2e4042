// The whole-file writers. A scene is written as it is once every model fits
// the editor; models that do not are split into bricks first, each brick a
// model of its own under a transform that puts its cells back where they
// were. Frames become bricks of their common box, one shape per brick.
#include "voxel/VoxWrite.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <map>
#include <unordered_set>

namespace {

using namespace voxwrite;

constexpr int64_t kBrick = 256;  // the editor's cells per model axis

std::string Number(float value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;  // shortest that reads back exactly
    return std::string(text, end);
}

Pairs Attributes(const std::string& name, bool hidden) {
    Pairs out;
    if (!name.empty()) out.emplace_back("_name", name);
    if (hidden) out.emplace_back("_hidden", "1");
    return out;
}

// Whether a key needs `_f`: more than one key on a node, or one not at frame 0.
bool HasKeyframes(const VoxelScene& scene) {
    for (const VoxelSceneNode& node : scene.nodes) {
        if (node.transformKeys.size() > 1 || node.shapeKeys.size() > 1) return true;
        if (!node.transformKeys.empty() && node.transformKeys[0].frame != 0) return true;
        if (!node.shapeKeys.empty() && node.shapeKeys[0].frame != 0) return true;
    }
    return false;
}

// The file of a scene whose models are all MagicaVoxel cells.
Bytes WriteChunks(const VoxelScene& scene) {
    const bool keyed = HasKeyframes(scene);
    Bytes children;
    if (scene.nodes.empty() && scene.models.size() > 1) Append(children, Pack(int32_t(scene.models.size())));
    for (const VoxelSceneModel& model : scene.models) {
        Append(children, Size(model.sizeX, model.sizeY, model.sizeZ));
        Append(children, Xyzi(model.cells));
    }
    auto idOf = [&](int32_t index) {
        return index >= 0 && size_t(index) < scene.nodes.size() ? scene.nodes[size_t(index)].id : -1;
    };
    for (const VoxelSceneNode& node : scene.nodes) {
        const Pairs attributes = Attributes(node.name, node.hidden);
        if (node.kind == VoxelNodeKind::Transform) {
            std::vector<Bytes> keys;
            for (const VoxelTransformKey& key : node.transformKeys) {
                Pairs dict;
                if (key.rotation != 4) dict.emplace_back("_r", std::to_string(key.rotation));
                if (key.x != 0 || key.y != 0 || key.z != 0) {
                    dict.emplace_back(
                        "_t", std::to_string(key.x) + " " + std::to_string(key.y) + " " + std::to_string(key.z));
                }
                if (keyed) dict.emplace_back("_f", std::to_string(key.frame));
                keys.push_back(Dict(dict));
            }
            const int32_t child = node.children.empty() ? -1 : idOf(node.children[0]);
            Append(children, Trn(node.id, attributes, child, node.layer, keys));
        } else if (node.kind == VoxelNodeKind::Group) {
            std::vector<int32_t> ids;
            for (int32_t child : node.children) ids.push_back(idOf(child));
            Append(children, Grp(node.id, attributes, ids));
        } else {
            std::vector<std::pair<int32_t, Bytes>> models;
            for (const VoxelShapeKey& key : node.shapeKeys) {
                models.emplace_back(key.model, Dict(keyed ? Pairs{{"_f", std::to_string(key.frame)}} : Pairs{}));
            }
            Append(children, Shp(node.id, attributes, models));
        }
    }
    for (const VoxelSceneLayer& layer : scene.layers) {
        Append(children, Layr(layer.id, Attributes(layer.name, layer.hidden)));
    }
    Append(children, Rgba(scene.palette));
    for (const VoxelMaterial& material : scene.materials) {
        Pairs properties = {{"_type", std::string("_") + VoxelMaterialTypeName(material.type)}};
        for (size_t p = 0; p < kVoxelMaterialPropertyCount; ++p) {
            const auto property = static_cast<VoxelMaterialProperty>(p);
            if (VoxelMaterialHas(material, property)) {
                properties.emplace_back(std::string("_") + VoxelMaterialPropertyName(property),
                                        Number(material.values[p]));
            }
        }
        Append(children, Matl(material.id, properties));
    }
    // The file's own version where it has one, so a file written back reads
    // as the same file; 200 at least when keys need `_f`.
    const int32_t version =
        scene.poly2vox || scene.version <= 0 ? (keyed ? 200 : 150) : std::max(scene.version, keyed ? 200 : 0);
    return VoxFile(children, version);
}

bool ReadsBack(const Bytes& bytes, std::string& error) {
    VoxelScene check;
    std::string why;
    if (LoadVoxelSceneFromMemory(bytes.data(), bytes.size(), "the written file", check, why)) return true;
    error = "the file would not read back (" + why + ")";
    return false;
}

// Cells grouped into bricks of at most kBrick per axis over a box, each
// brick's cells in the order they came.
struct Brick {
    int64_t origin[3] = {0, 0, 0};  // the box cell that is the brick's cell 0
    int32_t size[3] = {1, 1, 1};
    std::vector<std::vector<Cell>> cells;  // per list put in (a model's voxels, or frame f's)
};

struct BrickGrid {
    int64_t low[3], high[3];                         // the box, inclusive
    std::map<std::array<int64_t, 3>, Brick> bricks;  // by brick coordinates, so a sparse box costs nothing
    size_t lists;

    BrickGrid(const int64_t lo[3], const int64_t hi[3], size_t listCount) : lists(listCount) {
        std::copy(lo, lo + 3, low);
        std::copy(hi, hi + 3, high);
    }

    void Put(size_t list, int64_t x, int64_t y, int64_t z, uint8_t colour) {
        const int64_t v[3] = {x, y, z};
        std::array<int64_t, 3> at;
        for (int i = 0; i < 3; ++i) at[size_t(i)] = (v[i] - low[i]) / kBrick;
        auto [it, made] = bricks.try_emplace(at);
        Brick& brick = it->second;
        if (made) {
            brick.cells.resize(lists);
            for (int i = 0; i < 3; ++i) {
                brick.origin[i] = low[i] + kBrick * at[size_t(i)];
                brick.size[i] = static_cast<int32_t>(std::min(kBrick, high[i] - brick.origin[i] + 1));
            }
        }
        brick.cells[list].push_back(
            Cell{uint8_t(x - brick.origin[0]), uint8_t(y - brick.origin[1]), uint8_t(z - brick.origin[2]), colour});
    }
};

// The translation that puts a brick's cells back: a cell c of the brick
// lands on c + origin - pivot of the model it came from (pivot 0 for world
// cells). False when it is beyond what a file may hold.
bool BrickTranslation(const Brick& brick, const int64_t pivot[3], VoxelTransformKey& key) {
    int64_t t[3];
    for (int i = 0; i < 3; ++i) {
        t[i] = brick.origin[i] + brick.size[i] / 2 - pivot[i];
        if (t[i] < -kVoxSceneMaxTranslation || t[i] > kVoxSceneMaxTranslation) return false;
    }
    key.x = int32_t(t[0]), key.y = int32_t(t[1]), key.z = int32_t(t[2]);
    return true;
}

VoxelSceneModel CellModel(const int32_t size[3], std::vector<Cell> cells) {
    VoxelSceneModel model;
    model.sizeX = size[0], model.sizeY = size[1], model.sizeZ = size[2];
    model.cells = std::move(cells);
    return model;
}

// Node ids not yet in use, lowest first.
struct IdSource {
    std::unordered_set<int32_t> used;
    int32_t next = 0;
    int32_t Take() {
        while (used.count(next) != 0) ++next;
        used.insert(next);
        return next;
    }
};

// Appends transform -> shape: the transform with one key, the shape with
// one model per key of `frames`. Returns the transform's index.
int32_t AddSlot(VoxelScene& scene, IdSource& ids, const VoxelTransformKey& key, const std::vector<int32_t>& frames,
                const std::vector<int32_t>& models) {
    VoxelSceneNode transform, shape;
    transform.id = ids.Take();
    transform.transformKeys = {key};
    transform.children = {int32_t(scene.nodes.size() + 1)};
    shape.kind = VoxelNodeKind::Shape;
    shape.id = ids.Take();
    for (size_t k = 0; k < frames.size(); ++k) shape.shapeKeys.push_back({frames[k], models[k]});
    scene.nodes.push_back(std::move(transform));
    scene.nodes.push_back(std::move(shape));
    return int32_t(scene.nodes.size() - 2);
}

// The scene with every model in MagicaVoxel cells: models that fit are
// converted, the others split into bricks, and each shape showing a split
// model becomes a group of transform -> shape slots, one per brick (plus one
// for the models that fit), whose keys show that brick where the shape
// showed its model and an empty model elsewhere.
bool FitModels(const VoxelScene& scene, VoxelScene& fitted, std::string& error) {
    struct Part {
        int32_t model = 0;
        VoxelTransformKey key;  // identity for a model that fits
    };
    fitted.palette = scene.palette;
    fitted.layers = scene.layers;
    fitted.materials = scene.materials;
    fitted.nodes = scene.nodes;
    fitted.root = scene.root;
    std::vector<std::vector<Part>> parts(scene.models.size());
    std::vector<bool> split(scene.models.size(), false);
    int32_t empty = -1;
    auto emptyModel = [&] {
        if (empty < 0) {
            const int32_t one[3] = {1, 1, 1};
            empty = int32_t(fitted.models.size());
            fitted.models.push_back(CellModel(one, {}));
        }
        return empty;
    };
    for (size_t m = 0; m < scene.models.size(); ++m) {
        const VoxelSceneModel& model = scene.models[m];
        const int32_t size[3] = {model.sizeX, model.sizeY, model.sizeZ};
        int64_t lo[3] = {INT64_MAX, INT64_MAX, INT64_MAX}, hi[3] = {INT64_MIN, INT64_MIN, INT64_MIN};
        for (const Voxel& v : model.wide) {
            if (v.colorIndex > 255) {
                error = "model " + std::to_string(m) + ": colour index " + std::to_string(v.colorIndex) +
                        " does not fit a .vox file";
                return false;
            }
            const int64_t c[3] = {v.x, v.y, v.z};
            for (int i = 0; i < 3; ++i) lo[i] = std::min(lo[i], c[i]), hi[i] = std::max(hi[i], c[i]);
        }
        bool fits = size[0] <= kBrick && size[1] <= kBrick && size[2] <= kBrick;
        for (int i = 0; i < 3 && !model.wide.empty(); ++i) fits = fits && lo[i] >= 0 && hi[i] < kBrick;
        if (fits) {
            std::vector<Cell> cells = model.cells;
            for (const Voxel& v : model.wide) {
                cells.push_back({uint8_t(v.x), uint8_t(v.y), uint8_t(v.z), uint8_t(v.colorIndex)});
            }
            parts[m].push_back({int32_t(fitted.models.size()), {}});
            fitted.models.push_back(CellModel(size, std::move(cells)));
            continue;
        }
        split[m] = true;
        for (const VoxelCell& v : model.cells) {
            const int64_t c[3] = {v.x, v.y, v.z};
            for (int i = 0; i < 3; ++i) lo[i] = std::min(lo[i], c[i]), hi[i] = std::max(hi[i], c[i]);
        }
        BrickGrid grid(lo, hi, 1);
        for (const VoxelCell& v : model.cells) grid.Put(0, v.x, v.y, v.z, v.colorIndex);
        for (const Voxel& v : model.wide) grid.Put(0, v.x, v.y, v.z, uint8_t(v.colorIndex));
        const int64_t pivot[3] = {size[0] / 2, size[1] / 2, size[2] / 2};
        for (auto& [at, brick] : grid.bricks) {
            Part part{int32_t(fitted.models.size()), {}};
            if (!BrickTranslation(brick, pivot, part.key)) {
                error = "model " + std::to_string(m) + ": voxels too far from its centre for a .vox file";
                return false;
            }
            fitted.models.push_back(CellModel(brick.size, std::move(brick.cells[0])));
            parts[m].push_back(part);
        }
        // An empty model still shows (nothing) in its frames.
        if (parts[m].empty()) parts[m].push_back({emptyModel(), {}});
    }
    if (std::find(split.begin(), split.end(), true) == split.end()) return true;

    if (fitted.nodes.empty()) {
        // Models as frames: the graph that plays them, one shape keyed per model.
        VoxelSceneNode root, shape;
        root.transformKeys = {VoxelTransformKey{}};
        root.children = {1};
        shape.kind = VoxelNodeKind::Shape;
        shape.id = 1;
        for (int32_t m = 0; m < int32_t(scene.models.size()); ++m) shape.shapeKeys.push_back({m, m});
        fitted.nodes = {root, shape};
        fitted.root = 0;
    }
    IdSource ids;
    for (const VoxelSceneNode& node : fitted.nodes) ids.used.insert(node.id);
    const size_t original = fitted.nodes.size();
    for (size_t n = 0; n < original; ++n) {
        if (fitted.nodes[n].kind != VoxelNodeKind::Shape) continue;
        const std::vector<VoxelShapeKey> keys = fitted.nodes[n].shapeKeys;
        std::vector<int32_t> frames, order;  // the keys' frames; split models in the order met
        bool anyFits = false;
        for (const VoxelShapeKey& key : keys) {
            if (key.model < 0 || size_t(key.model) >= scene.models.size()) {
                error = "node " + std::to_string(fitted.nodes[n].id) + ": model " + std::to_string(key.model) +
                        " does not exist";
                return false;
            }
            frames.push_back(key.frame);
            anyFits = anyFits || !split[size_t(key.model)];
            if (split[size_t(key.model)] && std::find(order.begin(), order.end(), key.model) == order.end()) {
                order.push_back(key.model);
            }
        }
        if (order.empty()) {
            for (VoxelShapeKey& key : fitted.nodes[n].shapeKeys) key.model = parts[size_t(key.model)][0].model;
            continue;
        }
        std::vector<int32_t> slots, models(keys.size());
        if (anyFits) {
            for (size_t k = 0; k < keys.size(); ++k) {
                const size_t m = size_t(keys[k].model);
                models[k] = split[m] ? emptyModel() : parts[m][0].model;
            }
            slots.push_back(AddSlot(fitted, ids, VoxelTransformKey{}, frames, models));
        }
        for (int32_t m : order) {
            for (const Part& part : parts[size_t(m)]) {
                for (size_t k = 0; k < keys.size(); ++k) {
                    models[k] = keys[k].model == m ? part.model : emptyModel();
                }
                slots.push_back(AddSlot(fitted, ids, part.key, frames, models));
            }
        }
        VoxelSceneNode& group = fitted.nodes[n];  // after the slots: adding them moved the nodes
        group.kind = VoxelNodeKind::Group;
        group.shapeKeys.clear();
        group.children = slots;
    }
    return true;
}

}  // namespace

bool EncodeVoxelScene(const VoxelScene& scene, std::vector<uint8_t>& bytes, std::string& error) {
    bytes.clear();
    error.clear();
    const bool fits = std::all_of(scene.models.begin(), scene.models.end(), [](const VoxelSceneModel& m) {
        return m.wide.empty() && m.sizeX <= kBrick && m.sizeY <= kBrick && m.sizeZ <= kBrick;
    });
    if (fits) {
        bytes = WriteChunks(scene);
    } else {
        VoxelScene fitted;
        if (!FitModels(scene, fitted, error)) return false;
        bytes = WriteChunks(fitted);
    }
    if (!ReadsBack(bytes, error)) {
        bytes.clear();
        return false;
    }
    return true;
}

bool EncodeVoxelFrames(const std::vector<VoxelModel>& frames, std::vector<uint8_t>& bytes, std::string& error) {
    bytes.clear();
    error.clear();
    if (frames.empty() || frames.size() > size_t(kVoxSceneMaxFrameIndex) + 1) {
        error = frames.empty() ? "no frames to write"
                               : "more than " + std::to_string(kVoxSceneMaxFrameIndex + 1) + " frames";
        return false;
    }
    // One palette: the frames' own when they share it, else the colours
    // their voxels use, in the order met.
    VoxelScene scene;
    scene.palette = frames[0].palette;
    const bool shared =
        std::all_of(frames.begin(), frames.end(), [&](const VoxelModel& f) { return f.palette == frames[0].palette; });
    std::vector<std::array<int32_t, 256>> remap(frames.size());
    if (!shared) scene.palette.fill(0);
    int32_t colours = 0;
    for (size_t f = 0; f < frames.size(); ++f) {
        remap[f].fill(-1);
        for (const Voxel& v : frames[f].voxels) {
            if (v.colorIndex > 255) {
                error = "frame " + std::to_string(f) + ": colour index " + std::to_string(v.colorIndex) +
                        " does not fit a .vox file";
                return false;
            }
            int32_t& to = remap[f][v.colorIndex];
            if (to >= 0) continue;
            if (shared || v.colorIndex == 0) {
                to = int32_t(v.colorIndex);
                continue;
            }
            const uint32_t colour = frames[f].palette[v.colorIndex - 1];
            auto end = scene.palette.begin() + colours;
            const auto found = std::find(scene.palette.begin(), end, colour);
            if (found == end) {
                if (colours == 255) {
                    error = "the frames use more than 255 colours";
                    return false;
                }
                scene.palette[size_t(colours++)] = colour;
            }
            to = int32_t(found - scene.palette.begin()) + 1;
        }
    }

    int64_t lo[3] = {INT64_MAX, INT64_MAX, INT64_MAX}, hi[3] = {INT64_MIN, INT64_MIN, INT64_MIN};
    for (const VoxelModel& frame : frames) {
        for (const Voxel& v : frame.voxels) {
            const int64_t c[3] = {v.x, v.y, v.z};
            for (int i = 0; i < 3; ++i) lo[i] = std::min(lo[i], c[i]), hi[i] = std::max(hi[i], c[i]);
        }
    }
    BrickGrid grid(lo, hi, frames.size());
    for (size_t f = 0; f < frames.size(); ++f) {
        for (const Voxel& v : frames[f].voxels) grid.Put(f, v.x, v.y, v.z, uint8_t(remap[f][v.colorIndex]));
    }
    if (grid.bricks.empty()) grid.bricks[{0, 0, 0}].cells.resize(frames.size());  // frames of nothing still play

    // Root -> group -> per brick transform -> shape with a model per frame;
    // a frame that repeats the one before in a brick reuses its model.
    VoxelSceneNode root, group;
    root.transformKeys = {VoxelTransformKey{}};
    root.children = {1};
    group.kind = VoxelNodeKind::Group;
    group.id = 1;
    scene.nodes = {root, group};
    scene.root = 0;
    IdSource ids;
    ids.used = {0, 1};
    std::vector<int32_t> keyFrames(frames.size());
    for (size_t f = 0; f < frames.size(); ++f) keyFrames[f] = int32_t(f);
    const int64_t noPivot[3] = {0, 0, 0};
    for (auto& [at, brick] : grid.bricks) {
        VoxelTransformKey key;
        if (!BrickTranslation(brick, noPivot, key)) {
            error = "voxels beyond +-" + std::to_string(kVoxSceneMaxTranslation) + " cells";
            return false;
        }
        std::vector<int32_t> models(frames.size());
        for (size_t f = 0; f < frames.size(); ++f) {
            const std::vector<Cell>& cells = brick.cells[f];
            if (f > 0) {
                const std::vector<Cell>& before = scene.models[size_t(models[f - 1])].cells;
                if (cells.size() == before.size() &&
                    (cells.empty() || std::memcmp(cells.data(), before.data(), 4 * cells.size()) == 0)) {
                    models[f] = models[f - 1];
                    continue;
                }
            }
            models[f] = int32_t(scene.models.size());
            scene.models.push_back(CellModel(brick.size, std::move(brick.cells[f])));
        }
        const int32_t slot = AddSlot(scene, ids, key, keyFrames, models);  // before the group: it moves the nodes
        scene.nodes[1].children.push_back(slot);
    }
    bytes = WriteChunks(scene);
    if (!ReadsBack(bytes, error)) {
        bytes.clear();
        return false;
    }
    return true;
}
