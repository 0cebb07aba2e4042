// Any bytes as a walk frame: read by the .vox reader, then stood upright and
// recentred as the viewer does. The frame steps must stay defined (UBSan
// watches every float-to-int conversion) and keep the voxel count; a
// recentred frame of more than one voxel is centred in x and z to within
// rounding whenever its coordinates are small enough to add up exactly in
// single precision. The frame's mesh is built as the viewer builds it, from
// any coordinates; merged rectangles are never more than the visible faces.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include <fcntl.h>

#include "app/stage/FrameMesh.h"
#include "app/walk/WalkFrames.h"
#include "log/Log.h"
#include "voxel/Vox.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    logDescriptor = devNull;

    VoxelModel model;
    LoadVoxelModelFromMemory(data, size, model);
    const size_t count = model.voxels.size();
    bool small = count > 0 && count < 16384;
    for (const Voxel& v : model.voxels) {
        if (std::abs(static_cast<double>(v.x)) > 1024 || std::abs(static_cast<double>(v.y)) > 1024 ||
            std::abs(static_cast<double>(v.z)) > 1024) {
            small = false;
        }
    }
    OrientFrame(model);
    RecentreFrame(model);
    if (model.voxels.size() != count) std::abort();

    double sumX = 0, sumZ = 0;
    for (const Voxel& v : model.voxels) {
        sumX += v.x;
        sumZ += v.z;
    }
    // Each voxel rounds by at most a half, so the mean does too.
    const double limit = 0.5 + 1e-3;
    if (small && (std::abs(sumX / count) > limit || std::abs(sumZ / count) > limit)) std::abort();

    FrameMesh visible, merged;
    BuildFrameMesh(model, FaceSelection::Visible, visible);
    BuildFrameMesh(model, FaceSelection::Merged, merged);
    if (visible.vertices.size() % 4 != 0 || merged.vertices.size() > visible.vertices.size()) {
        std::abort();
    }
    return 0;
}
