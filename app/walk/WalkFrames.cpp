#include "app/walk/WalkFrames.h"

#include <cmath>
#include <limits>

#include "app/stage/FrameLists.h"
#include "math/Matrix4.h"

std::string WalkFrameFileName(int32_t frameNumber) {
    // One prefix for one-digit numbers and one for two digits keep the
    // number at five digits with leading zeros.
    const char* prefix =
        frameNumber < 10 ? "assets/voxels/ZevezuRezov/Walk/walk_0000" : "assets/voxels/ZevezuRezov/Walk/walk_000";
    return prefix + std::to_string(frameNumber) + ".vox";
}

int32_t RoundToInt32(float value) {
    if (std::isnan(value)) return 0;
    if (value <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
    if (value >= 2147483648.0f) return std::numeric_limits<int32_t>::max();
    // nearbyint honours the default rounding mode: nearest, halves to even.
    return static_cast<int32_t>(std::nearbyint(value));
}

// A quarter turn about x, built with the same whole-degree rotation as every
// other model transform; the rounding in OrientFrame removes the cosine's
// single-precision error.
static Matrix4 FrameOrientation() {
    Matrix4 m(0.0f);
    setIdentity(m);
    rotate(m, 90, 0, 0);
    return m;
}

void OrientFrame(VoxelModel& model) {
    const Matrix4 orientation = FrameOrientation();
    for (Voxel& v : model.voxels) {
        const Vector3 point(static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z));
        const Vector4 p = point * orientation;
        v.x = RoundToInt32(p.x);
        v.y = RoundToInt32(p.y);
        v.z = RoundToInt32(p.z);
    }
}

void RecentreFrame(VoxelModel& model) {
    if (model.voxels.empty()) return;  // no centre to move to
    Vector3 centre;
    for (const Voxel& v : model.voxels) {
        centre += Vector3(static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z));
    }
    centre /= static_cast<int>(model.voxels.size());
    // The model rests on the ground: its vertical offset is twice the
    // centre's height, while x and z are centred on the origin.
    const float lift = 2.0f * centre.y;
    for (Voxel& v : model.voxels) {
        v.x = RoundToInt32(static_cast<float>(v.x) - centre.x);
        v.y = RoundToInt32(static_cast<float>(v.y) - lift);
        v.z = RoundToInt32(static_cast<float>(v.z) - centre.z);
    }
}

void LoadWalkFrames(WalkFrames& walkFrames, const std::string& assetRoot, FrameLists lists) {
    for (int32_t n = 1; n <= walkFrameCount; ++n) {
        VoxelModel& model = walkFrames[n - 1];
        const std::string fileName = assetRoot + WalkFrameFileName(n);
        LoadVoxelModel(fileName.c_str(), model);  // a missing file leaves it empty
        OrientFrame(model);
        RecentreFrame(model);
        if (lists == FrameLists::AtLoad) BuildFrameList(model);
    }
}

void DeleteWalkFrameLists(WalkFrames& walkFrames) {
    for (VoxelModel& model : walkFrames) DeleteFrameLists(model);
}
