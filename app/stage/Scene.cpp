#include "app/stage/Scene.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "math/Geometry.h"

// Textured grey square at y = 0, halfSize to each side, counter-clockwise seen from above; the
// texture repeats twice along each side.
static void DrawGround(const std::vector<TextureEntry>& textureTable, float halfSize) {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, textureTable.empty() ? 0 : textureTable[0].texture);
    // Colour tracking is on, so this grey also becomes the material colour
    // that the shadow pass below is lit with.
    glColor3f(groundGrey, groundGrey, groundGrey);
    const float s = halfSize;
    glBegin(GL_QUADS);
    glNormal3f(0.0f, 1.0f, 0.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(s, 0.0f, s);
    glTexCoord2f(1.0f, -1.0f);
    glVertex3f(s, 0.0f, -s);
    glTexCoord2f(-1.0f, -1.0f);
    glVertex3f(-s, 0.0f, -s);
    glTexCoord2f(-1.0f, 1.0f);
    glVertex3f(-s, 0.0f, s);
    glEnd();
}

// The character flattened onto the ground from the light. With every light
// colour zero and colour tracking off only the global ambient (0.2) times
// the ground's 0.65 material remains: a flat 0.13 grey whatever the voxel
// colours. Depth test stays off: the shadow is painted over the ground in
// draw order, with no z-fighting in the plane y = 0.
static void DrawShadow(const Matrix4& shadowMatrix, const Matrix4& modelMatrix, const std::function<void()>& draw) {
    static const float black[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glLightfv(GL_LIGHT0, GL_AMBIENT, black);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, black);
    glLightfv(GL_LIGHT0, GL_SPECULAR, black);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_COLOR_MATERIAL);
    glPushMatrix();
    glMultMatrixf(shadowMatrix.data());
    glMultMatrixf(modelMatrix.data());
    if (draw) draw();
    glPopMatrix();
}

// The character lit by light 0, its voxel colours reaching the material
// through colour tracking. The model matrix is multiplied without a push:
// the next frame starts with glLoadIdentity and the HUD pushes both stacks.
static void DrawCharacter(const LightSource& light, const Matrix4& modelMatrix, const std::function<void()>& draw) {
    glLightfv(GL_LIGHT0, GL_AMBIENT, &light.ambient.x);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, &light.diffuse.x);
    glLightfv(GL_LIGHT0, GL_SPECULAR, &light.specular.x);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDisable(GL_BLEND);
    glMultMatrixf(modelMatrix.data());
    if (draw) draw();
}

// A frame's display lists as the stage's model; a list name 0 draws nothing.
static StageModel ListModel(const VoxelModel& frame) {
    const uint32_t shadowList = frame.shadowList != 0 ? frame.shadowList : frame.displayList;
    const uint32_t litList = frame.displayList;
    return {[shadowList] {
                if (shadowList != 0) glCallList(shadowList);
            },
            [litList] {
                if (litList != 0) glCallList(litList);
            }};
}

void DrawStage(const Stage& stage, const Matrix4& modelMatrix, const VoxelModel& frame, const LightSource& light,
               const std::vector<TextureEntry>& textureTable) {
    DrawStageModel(stage, modelMatrix, ListModel(frame), light, textureTable);
}

void DrawStageModel(const Stage& stage, const Matrix4& modelMatrix, const StageModel& model, const LightSource& light,
                    const std::vector<TextureEntry>& textureTable) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(stage.eye.x, stage.eye.y, stage.eye.z, stage.target.x, stage.target.y, stage.target.z, stage.up.x,
              stage.up.y, stage.up.z);
    // The light moves out with the scene so the shadow keeps its shape.
    const Vector4 lightPosition(light.position.x * stage.scale, light.position.y * stage.scale,
                                light.position.z * stage.scale, light.position.w);
    // Sent after the camera so the light stays fixed in the world.
    glLightfv(GL_LIGHT0, GL_POSITION, &lightPosition.x);

    if (stage.ground) {
        DrawGround(textureTable, groundHalfSize * stage.scale);
    } else {
        // The shadow's material still comes from the ground's grey.
        glColor3f(groundGrey, groundGrey, groundGrey);
    }

    const Vector4 groundPlane =
        planeFromPoints(Vector3(200.0f, 0.0f, 200.0f), Vector3(200.0f, 0.0f, -200.0f), Vector3(-200.0f, 0.0f, -200.0f));
    const Matrix4 shadowMatrix = planarShadow(lightPosition, groundPlane);

    // Without a shadow the pass still leaves the state the lit pass expects.
    DrawShadow(shadowMatrix, modelMatrix, stage.shadow ? model.shadow : std::function<void()>());
    DrawCharacter(light, modelMatrix, model.lit);
}
