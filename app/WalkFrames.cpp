#include "app/WalkFrames.h"

#include <GL/gl.h>

#include <cmath>
#include <limits>

#include "math/Matrix4.h"

const Vector3 cubeCorners[8] = {
    Vector3(-0.5f, 0.5f, 0.5f),  Vector3(-0.5f, -0.5f, 0.5f),
    Vector3(0.5f, -0.5f, 0.5f),  Vector3(0.5f, 0.5f, 0.5f),
    Vector3(-0.5f, 0.5f, -0.5f), Vector3(-0.5f, -0.5f, -0.5f),
    Vector3(0.5f, -0.5f, -0.5f), Vector3(0.5f, 0.5f, -0.5f),
};

const int32_t cubeFaces[6][4] = {
    {0, 1, 2, 3},  // z = +0.5
    {0, 3, 7, 4},  // y = +0.5
    {4, 7, 6, 5},  // z = -0.5
    {1, 5, 6, 2},  // y = -0.5
    {0, 4, 5, 1},  // x = -0.5
    {3, 2, 6, 7},  // x = +0.5
};

const Vector3 cubeNormals[6] = {
    Vector3(0.0f, 0.0f, 1.0f),  Vector3(0.0f, 1.0f, 0.0f),
    Vector3(0.0f, 0.0f, -1.0f), Vector3(0.0f, -1.0f, 0.0f),
    Vector3(-1.0f, 0.0f, 0.0f), Vector3(1.0f, 0.0f, 0.0f),
};

std::string WalkFrameFileName(int32_t frameNumber) {
    // One prefix for one-digit numbers and one for two digits keep the
    // number at five digits with leading zeros.
    const char* prefix = frameNumber < 10 ? "assets/voxels/ZevezuRezov/Walk/walk_0000"
                                          : "assets/voxels/ZevezuRezov/Walk/walk_000";
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
        const Vector3 point(static_cast<float>(v.x), static_cast<float>(v.y),
                            static_cast<float>(v.z));
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
        centre += Vector3(static_cast<float>(v.x), static_cast<float>(v.y),
                          static_cast<float>(v.z));
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

void BuildFrameList(VoxelModel& model) {
    model.displayList = glGenLists(1);
    glNewList(model.displayList, GL_COMPILE);
    glBegin(GL_QUADS);
    for (const Voxel& voxel : model.voxels) {
        // Palette entries are numbered from 1; index 0 is an empty cell in
        // the MagicaVoxel sense and has no colour, so it gets no cube.
        if (voxel.colorIndex < 1 || voxel.colorIndex > model.palette.size()) continue;
        const uint32_t rgba = model.palette[voxel.colorIndex - 1];
        const auto* bytes = reinterpret_cast<const GLubyte*>(&rgba);
        // Alpha 8 has no visible effect: blending is off while lists are drawn.
        glColor4ub(bytes[0], bytes[1], bytes[2], 8);
        const Vector3 centre(static_cast<float>(voxel.x), static_cast<float>(voxel.y),
                             static_cast<float>(voxel.z));
        for (int f = 0; f < 6; ++f) {
            glNormal3fv(&cubeNormals[f].x);
            for (int k = 0; k < 4; ++k) {
                const Vector3 corner = centre + cubeCorners[cubeFaces[f][k]];
                glVertex3fv(&corner.x);
            }
        }
    }
    glEnd();
    glEndList();
}

void LoadWalkFrames(WalkFrames& walkFrames, const std::string& assetRoot) {
    for (int32_t n = 1; n <= walkFrameCount; ++n) {
        VoxelModel& model = walkFrames[n - 1];
        const std::string fileName = assetRoot + WalkFrameFileName(n);
        LoadVoxelModel(fileName.c_str(), model);  // a missing file leaves it empty
        OrientFrame(model);
        RecentreFrame(model);
        BuildFrameList(model);
    }
}

void DeleteWalkFrameLists(WalkFrames& walkFrames) {
    for (VoxelModel& model : walkFrames) {
        if (model.displayList != 0) glDeleteLists(model.displayList, 1);
        model.displayList = 0;
    }
}
