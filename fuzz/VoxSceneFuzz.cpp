// Feeds any bytes to the scene reader and composes its frames, checking what
// they promise: a refusal is one line naming the file; a loaded scene
// composes every frame (the first 32 and the last when there are many, plus
// out-of-range frames, which clamp) within the voxel bound, with no two
// voxels in one cell (checked on frames of up to 2048 voxels).
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "voxel/VoxScene.h"

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
