// Feeds any bytes to the scene reader and composes its frames, checking what
// they promise: a refusal is one line naming the file; a loaded scene
// composes every frame (the first 32 and the last when there are many, plus
// out-of-range frames, which clamp) within the voxel bound, with no two
// voxels in one cell (checked on frames of up to 2048 voxels). Materials
// come sorted by entry with finite values in range. A small scene is written
// back: one whose models all fit the editor must write and compose to the
// same frames in the same order; one with bricks, if it writes, to the same
// cells.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "voxel/VoxScene.h"
#include "voxel/VoxWrite.h"

namespace {

void CheckMaterials(const VoxelScene& scene) {
    int32_t last = 0;
    for (const VoxelMaterial& m : scene.materials) {
        if (m.id <= last || m.id > 255 || m.set >= (1u << kVoxelMaterialPropertyCount)) std::abort();
        last = m.id;
        for (size_t p = 0; p < kVoxelMaterialPropertyCount; ++p) {
            const float v = m.values[p];
            if (!std::isfinite(v) || v < 0) std::abort();
            if (!(m.set >> p & 1) && v != 0) std::abort();
        }
    }
}

std::vector<std::array<int64_t, 4>> Cells(const VoxelModel& model, bool sorted) {
    std::vector<std::array<int64_t, 4>> out;
    for (const Voxel& v : model.voxels) out.push_back({v.x, v.y, v.z, v.colorIndex});
    if (sorted) std::sort(out.begin(), out.end());
    return out;
}

void CheckWriteBack(const VoxelScene& scene) {
    size_t voxels = 0;
    bool fits = !scene.poly2vox;
    for (const VoxelSceneModel& m : scene.models) {
        voxels += VoxelSceneModelVoxelCount(m);
        fits = fits && m.sizeX <= 256 && m.sizeY <= 256 && m.sizeZ <= 256;
    }
    if (voxels > 4096 || scene.nodes.size() > 256) return;  // the writer's cost, not its correctness
    std::vector<uint8_t> bytes;
    std::string error;
    if (!EncodeVoxelScene(scene, bytes, error)) {
        if (fits || !bytes.empty() || error.empty() || error.find('\n') != std::string::npos) std::abort();
        return;
    }
    VoxelScene back;
    if (!LoadVoxelSceneFromMemory(bytes.data(), bytes.size(), "w.vox", back, error)) std::abort();
    if (VoxelSceneFrameCount(back) != VoxelSceneFrameCount(scene) || back.palette != scene.palette) std::abort();
    const int32_t count = VoxelSceneFrameCount(scene);
    VoxelModel a, b;
    for (int32_t f : {0, 1, 2, count - 1}) {
        ComposeFrame(scene, f, a);
        ComposeFrame(back, f, b);
        if (a.voxels.size() > 2048) continue;
        if (Cells(a, !fits) != Cells(b, !fits)) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    VoxelScene scene;
    std::string error;
    if (!LoadVoxelSceneFromMemory(data, size, "f.vox", scene, error)) {
        if (error.rfind("f.vox: ", 0) != 0 || error.find('\n') != std::string::npos) std::abort();
        if (!scene.models.empty() || !scene.nodes.empty()) std::abort();
        return 0;
    }
    const int32_t count = VoxelSceneFrameCount(scene);
    if (count < 1 || count > kVoxSceneMaxFrameIndex + 1) std::abort();
    CheckMaterials(scene);
    CheckWriteBack(scene);

    std::vector<int32_t> frames = {-1, count, INT32_MAX, count - 1};
    for (int32_t f = 0; f < std::min(count, 32); ++f) frames.push_back(f);
    VoxelModel model;
    std::vector<std::array<int32_t, 3>> cells;
    for (int32_t f : frames) {
        ComposeFrame(scene, f, model);
        if (model.voxels.size() > static_cast<size_t>(kVoxSceneMaxVoxels)) std::abort();
        for (const Voxel& v : model.voxels) {
            if (v.reserved != 0) std::abort();
        }
        // The shared-cell check sorts, which instrumentation makes slow: small frames only.
        if (model.voxels.size() <= 2048) {
            cells.clear();
            for (const Voxel& v : model.voxels) cells.push_back({v.x, v.y, v.z});
            std::sort(cells.begin(), cells.end());
            if (std::adjacent_find(cells.begin(), cells.end()) != cells.end()) std::abort();
        }
    }
    return 0;
}
