#include "app/stage/FrameLists.h"

#include <GL/gl.h>

#include <cstring>

#include "app/stage/FrameMesh.h"

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

void PrepareFrameList(VoxelModel& model) {
    if (model.displayList == 0) BuildFrameList(model);
}

void DeleteFrameLists(VoxelModel& model) {
    if (model.displayList != 0) glDeleteLists(model.displayList, 1);
    if (model.shadowList != 0) glDeleteLists(model.shadowList, 1);
    model.displayList = 0;
    model.shadowList = 0;
}
