// The export plan: the node tree is expanded once from the scene graph, then
// walked once per frame with the composition's own arithmetic (the same
// operations in the same order as ComposeFrame, so the same floors), and a
// node's pose list grows past one only once it differs from frame 0.
#include "app/export/ExportPlan.h"

#include <algorithm>
#include <cmath>

namespace {

// Poses evaluated per export, frames times nodes: a hostile file must not
// make an export run for hours.
constexpr int64_t kMaxPoseSamples = int64_t{1} << 22;  // 32 bytes each: 128 MB at most

using Transform = VoxelTransform;

// Where a plan node comes from.
struct Origin {
    int32_t scene = 0;
    int32_t transform = -1;     // scene node index of a transform, -1 = none
    int32_t model = -1;         // the model whose mesh the node carries, -1 = none
    int32_t shape = -1;         // scene node whose shape keys pick among several models
    int32_t visibleFrame = -1;  // shown only at this frame (frames of a file or folder), -1 = always
};

struct Builder {
    const ExportInput& input;
    const ExportOptions& options;
    ExportPlan& plan;
    std::vector<Origin> origins;
    std::vector<std::vector<int32_t>> meshOf;  // per scene, per model: plan mesh or -1
    bool tooMany = false;

    int32_t Add(int32_t parent, const std::string& name, const Origin& origin) {
        if (plan.nodes.size() >= static_cast<size_t>(kVoxSceneMaxPlacements)) {
            tooMany = true;
            return -1;
        }
        const int32_t index = static_cast<int32_t>(plan.nodes.size());
        plan.nodes.push_back({});
        plan.nodes.back().name = name;
        plan.nodes.back().scene = origin.scene;
        origins.push_back(origin);
        if (parent >= 0) {
            plan.nodes[static_cast<size_t>(parent)].children.push_back(index);
            plan.nodes.back().keyFrames = plan.nodes[static_cast<size_t>(parent)].keyFrames;
        }
        if (origin.model >= 0) {
            int32_t& mesh = meshOf[static_cast<size_t>(origin.scene)][static_cast<size_t>(origin.model)];
            if (mesh < 0) {
                mesh = static_cast<int32_t>(plan.meshes.size());
                plan.meshes.push_back({origin.scene, origin.model, {}});
            }
            plan.nodes.back().mesh = mesh;
        }
        return index;
    }

    bool Hidden(const VoxelScene& scene, const VoxelSceneNode& node) const {
        if (options.hidden) return false;
        if (node.hidden) return true;
        return node.layerIndex >= 0 && scene.layers[static_cast<size_t>(node.layerIndex)].hidden;
    }

    // The reader bounded the depth and refused cycles, so this ends.
    void Visit(int32_t sceneIndex, int32_t index, int32_t parent) {
        const VoxelScene& scene = input.scenes[static_cast<size_t>(sceneIndex)];
        const VoxelSceneNode& node = scene.nodes[static_cast<size_t>(index)];
        if (Hidden(scene, node) || tooMany) return;
        Origin origin;
        origin.scene = sceneIndex;
        switch (node.kind) {
            case VoxelNodeKind::Transform: {
                origin.transform = index;
                const int32_t here = Add(parent, node.name, origin);
                if (here < 0) return;
                std::vector<int32_t>& keys = plan.nodes[static_cast<size_t>(here)].keyFrames;
                for (const VoxelTransformKey& key : node.transformKeys) keys.push_back(key.frame);
                std::sort(keys.begin(), keys.end());
                keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
                for (int32_t child : node.children) Visit(sceneIndex, child, here);
                break;
            }
            case VoxelNodeKind::Group: {
                const int32_t here = Add(parent, node.name, origin);
                for (int32_t child : node.children) {
                    if (here >= 0) Visit(sceneIndex, child, here);
                }
                break;
            }
            case VoxelNodeKind::Shape: {
                std::vector<int32_t> models;
                for (const VoxelShapeKey& key : node.shapeKeys) {
                    if (std::find(models.begin(), models.end(), key.model) == models.end()) models.push_back(key.model);
                }
                if (models.size() == 1) {
                    origin.model = models[0];
                    Add(parent, node.name, origin);
                    break;
                }
                const int32_t here = Add(parent, node.name, origin);
                for (int32_t model : models) {
                    Origin choice = origin;
                    choice.model = model;
                    choice.shape = index;
                    if (here >= 0) Add(here, "model " + std::to_string(model), choice);
                }
                break;
            }
        }
    }

    // One scene under `parent`: its graph, or its models as frames.
    void AddScene(int32_t sceneIndex, int32_t parent, bool oneFrame) {
        const VoxelScene& scene = input.scenes[static_cast<size_t>(sceneIndex)];
        if (scene.root >= 0) {
            Visit(sceneIndex, scene.root, parent);
            return;
        }
        const size_t shown = oneFrame ? std::min<size_t>(scene.models.size(), 1) : scene.models.size();
        for (size_t m = 0; m < shown; ++m) {
            Origin origin;
            origin.scene = sceneIndex;
            origin.model = static_cast<int32_t>(m);
            origin.visibleFrame = shown > 1 ? static_cast<int32_t>(m) : -1;
            Add(parent, "frame " + std::to_string(m), origin);
        }
    }

    // Local poses at global frame `frame` (scene frame `sceneFrame`) below
    // node p, whose parent's world transform is `above` with its world
    // translation rounded to whole cells in `aboveCells`.
    void Evaluate(int32_t p, int32_t frame, int32_t sceneFrame, const Transform& above, const int64_t aboveCells[3],
                  std::vector<ExportPose>& poses) {
        const Origin& origin = origins[static_cast<size_t>(p)];
        const VoxelScene& scene = input.scenes[static_cast<size_t>(origin.scene)];
        ExportPose& pose = poses[static_cast<size_t>(p)];
        pose = ExportPose{};
        if (origin.visibleFrame >= 0) pose.visible = origin.visibleFrame == frame;
        Transform here = above;
        int64_t cells[3] = {aboveCells[0], aboveCells[1], aboveCells[2]};
        if (origin.transform >= 0) {
            const Transform local = VoxelTransformAt(scene.nodes[static_cast<size_t>(origin.transform)], sceneFrame);
            here = ComposeTransforms(above, local);
            for (int i = 0; i < 3; ++i) {
                pose.rotation.column[i] = static_cast<int8_t>(local.column[i]);
                pose.rotation.sign[i] = static_cast<int8_t>(local.sign[i]);
                cells[i] = static_cast<int64_t>(std::floor(here.t[i] + 0.5));
            }
        }
        if (origin.model >= 0) {
            if (origin.shape >= 0) {
                const VoxelSceneNode& shape = scene.nodes[static_cast<size_t>(origin.shape)];
                pose.visible = VoxelShapeModelAt(shape, sceneFrame) == origin.model;
            }
            // As the composition places the model: offset = floor(sign·(1/2 - pivot) + t);
            // the mesh's cell v - pivot then sits at sign·v + offset.
            const VoxelSceneModel& model = scene.models[static_cast<size_t>(origin.model)];
            const int32_t pivot[3] = {model.sizeX / 2, model.sizeY / 2, model.sizeZ / 2};
            for (int i = 0; i < 3; ++i) {
                const int c = here.column[i], s = here.sign[i];
                const int64_t offset = static_cast<int64_t>(std::floor(s * (0.5 - pivot[c]) + here.t[i]));
                cells[i] = offset + int64_t{s} * pivot[c] + (s < 0 ? 1 : 0);
            }
        }
        // Local translation: the parent's rotation undone on the difference of world cells.
        for (int i = 0; i < 3; ++i) {
            const int64_t d = cells[i] - aboveCells[i];
            pose.translation[above.column[i]] = above.sign[i] * d;
        }
        for (int32_t child : plan.nodes[static_cast<size_t>(p)].children) {
            Evaluate(child, frame, sceneFrame, here, cells, poses);
        }
    }
};

}  // namespace

std::vector<Voxel> ExportModelVoxels(const VoxelSceneModel& model) {
    const int32_t px = model.sizeX / 2, py = model.sizeY / 2, pz = model.sizeZ / 2;
    std::vector<Voxel> voxels;
    voxels.reserve(VoxelSceneModelVoxelCount(model));
    for (const VoxelCell& c : model.cells) voxels.push_back({c.x - px, c.y - py, c.z - pz, c.colorIndex, 0});
    for (const Voxel& v : model.wide) voxels.push_back({v.x - px, v.y - py, v.z - pz, v.colorIndex, 0});
    return voxels;
}

bool BuildExportPlan(const ExportInput& input, const ExportOptions& options, ExportPlan& plan, std::string& error) {
    plan = ExportPlan{};
    if (input.scenes.empty()) {
        error = "no scene to export";
        return false;
    }
    Builder builder{input, options, plan, {}, {}};
    for (const VoxelScene& scene : input.scenes) builder.meshOf.emplace_back(scene.models.size(), -1);
    const bool folder = input.scenes.size() > 1;
    builder.Add(-1, input.name.empty() ? "voxels" : input.name, Origin{});
    if (folder) {
        for (size_t k = 0; k < input.scenes.size(); ++k) {
            Origin origin;
            origin.scene = static_cast<int32_t>(k);
            origin.visibleFrame = static_cast<int32_t>(k);
            const int32_t frame = builder.Add(0, "frame " + std::to_string(k), origin);
            if (frame >= 0) builder.AddScene(static_cast<int32_t>(k), frame, true);
        }
    } else {
        builder.AddScene(0, 0, false);
    }
    if (builder.tooMany) {
        error = "the scene places more than " + std::to_string(kVoxSceneMaxPlacements) + " nodes";
        return false;
    }
    plan.frameCount = ExportFrameCount(input);
    if (static_cast<int64_t>(plan.frameCount) * static_cast<int64_t>(plan.nodes.size()) > kMaxPoseSamples) {
        error = "the animation is too large to export (" + std::to_string(plan.frameCount) + " frames of " +
                std::to_string(plan.nodes.size()) + " nodes)";
        return false;
    }

    std::vector<ExportPose> poses(plan.nodes.size());
    const int64_t origin[3] = {0, 0, 0};
    for (int32_t f = 0; f < plan.frameCount; ++f) {
        builder.Evaluate(0, f, folder ? 0 : f, Transform{}, origin, poses);
        for (size_t n = 0; n < plan.nodes.size(); ++n) {
            std::vector<ExportPose>& list = plan.nodes[n].poses;
            if (f == 0) {
                list.push_back(poses[n]);
            } else if (list.size() > 1 || !(poses[n] == list[0])) {
                if (list.size() == 1) list.assign(static_cast<size_t>(f), list[0]);
                list.push_back(poses[n]);
            }
        }
    }

    VoxMeshOptions meshOptions;
    meshOptions.mode = options.mesh;
    std::vector<std::array<uint32_t, 256>> keys;
    for (const VoxelScene& scene : input.scenes) keys.push_back(ExportMergeKeys(scene));
    for (ExportMesh& mesh : plan.meshes) {
        const VoxelScene& scene = input.scenes[static_cast<size_t>(mesh.scene)];
        const std::vector<Voxel> voxels = ExportModelVoxels(scene.models[static_cast<size_t>(mesh.model)]);
        const std::array<uint32_t, 256>& merge = keys[static_cast<size_t>(mesh.scene)];
        if (!BuildVoxMesh(voxels.data(), voxels.size(), merge, meshOptions, mesh.mesh, error)) return false;
    }
    return true;
}

std::array<uint32_t, 256> ExportMergeKeys(const VoxelScene& scene) {
    const std::vector<VoxelLook> looks = SceneLooks(scene);
    if (looks.empty()) return scene.palette;
    std::array<uint32_t, 256> keys{};
    for (uint32_t k = 0; k < 256; ++k) {
        uint32_t first = 0;
        while (scene.palette[first] != scene.palette[k] || !(looks[first] == looks[k])) ++first;
        keys[k] = first;
    }
    return keys;
}

int32_t ExportFrameCount(const ExportInput& input) {
    if (input.scenes.size() > 1) return static_cast<int32_t>(input.scenes.size());
    return input.scenes.empty() ? 1 : VoxelSceneFrameCount(input.scenes[0]);
}
