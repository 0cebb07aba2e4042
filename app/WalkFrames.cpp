#include "app/WalkFrames.h"

#include <GL/gl.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "app/FrameMesh.h"
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

// Immediate mode compiles faster than vertex arrays here, and its lists
// draw faster: colours and normals are sent once per face, not once per
// corner.
uint32_t CompileQuadList(const FrameMesh& mesh, bool shaded) {
    const uint32_t list = glGenLists(1);
    glNewList(list, GL_COMPILE);
    glBegin(GL_QUADS);
    const uint8_t* color = nullptr;
    for (size_t q = 0; q < mesh.vertices.size(); q += 4) {
        const MeshVertex* corners = &mesh.vertices[q];
        if (shaded) {
            if (color == nullptr || std::memcmp(color, corners->color, 4) != 0) {
                color = corners->color;
                glColor4ubv(color);
            }
            glNormal3fv(corners->normal);
        }
        for (int k = 0; k < 4; ++k) glVertex3fv(corners[k].position);
    }
    glEnd();
    glEndList();
    return list;
}

void BuildFrameList(VoxelModel& model) {
    FrameMesh mesh;
    if (model.voxels.size() > exactPictureVoxelLimit) {
        BuildFrameMesh(model, FaceSelection::Merged, mesh);
        model.displayList = CompileQuadList(mesh, true);
        model.shadowList = 0;  // the shadow pass draws displayList
        return;
    }
    BuildFrameMesh(model, FaceSelection::All, mesh);
    model.displayList = CompileQuadList(mesh, true);
    // The shadow is lit by nothing but the global ambient light on the
    // ground's material, so its list needs neither normals nor colours, and
    // leaves the current ones as it found them: the lit list sets both at
    // each vertex before it is lit.
    BuildFrameMesh(model, FaceSelection::Visible, mesh);
    model.shadowList = CompileQuadList(mesh, false);
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

void PrepareFrameList(VoxelModel& model) {
    if (model.displayList == 0) BuildFrameList(model);
}

void DeleteWalkFrameLists(WalkFrames& walkFrames) {
    for (VoxelModel& model : walkFrames) {
        if (model.displayList != 0) glDeleteLists(model.displayList, 1);
        if (model.shadowList != 0) glDeleteLists(model.shadowList, 1);
        model.displayList = 0;
        model.shadowList = 0;
    }
}
