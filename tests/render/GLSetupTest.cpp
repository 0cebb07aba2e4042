// Drawing with what InitGL builds: the two display lists, the pixel-space
// matrices and the light.
#include <gtest/gtest.h>

#include <vector>

#include <GL/gl.h>

#include "render/GLSetup.h"
#include "render/RenderTarget.h"
#include "support/GlFixture.h"

namespace {

std::vector<float> Matrix(GLenum which) {
    std::vector<float> m(16);
    glGetFloatv(which, m.data());
    return m;
}

std::vector<float> LightParameter(GLenum light, GLenum parameter) {
    std::vector<float> v(4);
    glGetLightfv(light, parameter, v.data());
    return v;
}

// A counter-clockwise pixel rectangle, in the pixel space of BeginOrtho2D.
void FillPixels(int x, int y, int width, int height) {
    BeginOrtho2D(GlFixture::kWidth, GlFixture::kHeight);
    glBegin(GL_QUADS);
    glVertex2i(x, y);
    glVertex2i(x + width, y);
    glVertex2i(x + width, y + height);
    glVertex2i(x, y + height);
    glEnd();
    EndOrtho2D();
}

}  // namespace

TEST_F(GlFixture, ScreenQuadCoversTheViewportWithTheTextureUpright) {
    // A 2 x 2 texture: red bottom-left, green bottom-right, blue top-left,
    // white top-right (rows are given bottom first).
    const unsigned char texels[] = {255, 0, 0, 255,   0, 255, 0, 255,
                                    0, 0, 255, 255,   255, 255, 255, 255};
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
    glEnable(GL_TEXTURE_2D);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glCallList(screen.screenQuadList);
    glDisable(GL_TEXTURE_2D);
    glDeleteTextures(1, &texture);

    const int w = kWidth / 2, h = kHeight / 2;
    EXPECT_TRUE(PixelsNear(0, 0, w, h, {255, 0, 0}, 0));
    EXPECT_TRUE(PixelsNear(w, 0, w, h, {0, 255, 0}, 0));
    EXPECT_TRUE(PixelsNear(0, h, w, h, {0, 0, 255}, 0));
    EXPECT_TRUE(PixelsNear(w, h, w, h, {255, 255, 255}, 0));
}

TEST_F(GlFixture, ScreenQuadTakesTheCallersColour) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glColor3f(1.0f, 0.0f, 1.0f);
    glCallList(screen.screenQuadList);
    EXPECT_TRUE(PixelsNear(0, 0, kWidth, kHeight, {255, 0, 255}, 0));
}

TEST_F(GlFixture, ShadowQuadOverAZeroStencilChangesNoPixel) {
    glColor3f(0.8f, 0.6f, 0.4f);
    FillPixels(100, 100, 300, 200);
    const std::vector<unsigned char> before = ReadPixels(0, 0, kWidth, kHeight);

    BeginStencilPass();  // clears the stencil to 0; nothing marked
    glColor4f(0.0f, 0.0f, 0.0f, 0.5f);
    glCallList(screen.shadowQuadList);

    EXPECT_TRUE(ReadPixels(0, 0, kWidth, kHeight) == before);
}

TEST_F(GlFixture, ShadowQuadDarkensExactlyTheMarkedRegion) {
    glDisable(GL_DEPTH_TEST);
    glColor3f(0.8f, 0.6f, 0.4f);
    FillPixels(0, 0, kWidth, kHeight);
    glEnable(GL_DEPTH_TEST);

    // Mark a rectangle as a shadow volume would.
    BeginStencilPass();
    glStencilOp(GL_KEEP, GL_KEEP, GL_REPLACE);
    FillPixels(200, 150, 64, 32);
    glColor4f(0.0f, 0.0f, 0.0f, 0.5f);
    glCallList(screen.shadowQuadList);

    // Half of 204, 153, 102.
    EXPECT_TRUE(PixelsNear(200, 150, 64, 32, {102, 77, 51}, 1));
    EXPECT_TRUE(PixelsNear(0, 0, kWidth, 150, {204, 153, 102}, 0));
    EXPECT_TRUE(PixelsNear(0, 182, kWidth, kHeight - 182, {204, 153, 102}, 0));
    EXPECT_TRUE(PixelsNear(0, 150, 200, 32, {204, 153, 102}, 0));
    EXPECT_TRUE(PixelsNear(264, 150, kWidth - 264, 32, {204, 153, 102}, 0));

    // And the scene pass's state is back.
    GLboolean colorMask[4] = {};
    glGetBooleanv(GL_COLOR_WRITEMASK, colorMask);
    EXPECT_TRUE(colorMask[0] && colorMask[1] && colorMask[2] && colorMask[3]);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_STENCIL_TEST));
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    GLboolean depthMask = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthMask);
    EXPECT_TRUE(depthMask);
    EXPECT_EQ(GlInteger(GL_DEPTH_FUNC), GL_LEQUAL);
    EXPECT_EQ(GlInteger(GL_SHADE_MODEL), GL_SMOOTH);
    const std::vector<float> modelView = Matrix(GL_MODELVIEW_MATRIX);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(modelView[i], i % 5 == 0 ? 1.0f : 0.0f);
}

TEST_F(GlFixture, Ortho2DMapsPixelsAndRestoresBothStacks) {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();  // depths other than 1, to see them kept
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(1.0f, 2.0f, 3.0f);
    const std::vector<float> projection = Matrix(GL_PROJECTION_MATRIX);
    const std::vector<float> modelView = Matrix(GL_MODELVIEW_MATRIX);
    const GLint projectionDepth = GlInteger(GL_PROJECTION_STACK_DEPTH);
    const GLint modelViewDepth = GlInteger(GL_MODELVIEW_STACK_DEPTH);

    BeginOrtho2D(kWidth, kHeight);
    EXPECT_EQ(GlInteger(GL_MATRIX_MODE), GL_MODELVIEW);
    const std::vector<float> identity = Matrix(GL_PROJECTION_MATRIX);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(identity[i], i % 5 == 0 ? 1.0f : 0.0f);
    glColor3f(1.0f, 1.0f, 0.0f);
    glBegin(GL_POINTS);
    glVertex2f(10.5f, 20.5f);  // the centre of pixel (10, 20)
    glEnd();
    EndOrtho2D();

    ExpectPixel(10, 20, {255, 255, 0});
    ExpectPixel(11, 20, {0, 0, 64});
    ExpectPixel(10, 21, {0, 0, 64});
    EXPECT_EQ(GlInteger(GL_MATRIX_MODE), GL_MODELVIEW);
    EXPECT_EQ(GlInteger(GL_PROJECTION_STACK_DEPTH), projectionDepth);
    EXPECT_EQ(GlInteger(GL_MODELVIEW_STACK_DEPTH), modelViewDepth);
    EXPECT_EQ(Matrix(GL_PROJECTION_MATRIX), projection);
    EXPECT_EQ(Matrix(GL_MODELVIEW_MATRIX), modelView);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GlFixture, SetupLightFillsTheRecordAndOnlyItsOwnLight) {
    const std::vector<float> light0Diffuse = LightParameter(GL_LIGHT0, GL_DIFFUSE);
    const std::vector<float> light0Position = LightParameter(GL_LIGHT0, GL_POSITION);

    LightSource light;
    SetupLight(1, light, Vector4(0.25f, 0.25f, 0.25f, 1.0), Vector4(0.65f, 0.65f, 0.65f, 1.0),
               Vector4(0.95f, 0.95f, 0.95f, 1.0), Vector4(300.0f, 1500.0f, 300.0f, 1.0),
               Vector3(0.0f, -1.0f, 0.5f));

    EXPECT_EQ(light.diffuse.x, 0.65f);
    EXPECT_EQ(light.position.y, 1500.0f);
    EXPECT_EQ(light.direction.z, 0.5f);
    EXPECT_EQ(light.auxMatrixA.data()[0], 0.0f);
    EXPECT_TRUE(glIsEnabled(GL_LIGHT1));
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_LIGHT0));
    EXPECT_EQ(LightParameter(GL_LIGHT0, GL_DIFFUSE), light0Diffuse);
    EXPECT_EQ(LightParameter(GL_LIGHT0, GL_POSITION), light0Position);
    EXPECT_EQ(LightParameter(GL_LIGHT1, GL_AMBIENT), (std::vector<float>{0.25f, 0.25f, 0.25f, 1}));
    EXPECT_EQ(LightParameter(GL_LIGHT1, GL_DIFFUSE), (std::vector<float>{0.65f, 0.65f, 0.65f, 1}));
    EXPECT_EQ(LightParameter(GL_LIGHT1, GL_SPECULAR), (std::vector<float>{0.95f, 0.95f, 0.95f, 1}));
    // Identity model-view: the position is stored as given.
    EXPECT_EQ(LightParameter(GL_LIGHT1, GL_POSITION), (std::vector<float>{300, 1500, 300, 1}));
    EXPECT_EQ(GlInteger(GL_LIGHT_MODEL_COLOR_CONTROL), GL_SEPARATE_SPECULAR_COLOR);
}

TEST_F(GlFixture, SetupLightPositionFollowsTheModelView) {
    glTranslatef(10.0f, 0.0f, 0.0f);
    LightSource light;
    SetupLight(0, light, Vector4(), Vector4(), Vector4(), Vector4(1.0f, 2.0f, 3.0f, 1.0),
               Vector3());
    EXPECT_EQ(LightParameter(GL_LIGHT0, GL_POSITION), (std::vector<float>{11, 2, 3, 1}));
    EXPECT_EQ(light.position.x, 1.0f);  // the record keeps what was given
}

TEST(LightSource, StartsAllZero) {
    const LightSource light;
    for (const Vector4* v : {&light.ambient, &light.diffuse, &light.specular, &light.position}) {
        EXPECT_EQ(toString(*v), "x: 0, y: 0, z: 0, w: 0");
    }
    EXPECT_EQ(toString(light.direction), "x: 0, y: 0, z: 0");
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(light.auxMatrixA.data()[i], 0.0f);
        EXPECT_EQ(light.auxMatrixB.data()[i], 0.0f);
    }
}
