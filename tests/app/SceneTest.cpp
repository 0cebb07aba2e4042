// The scene pass on a real context (the GL fixture's 1024 x 768 window with
// InitGL's state), read back from the back buffer.
#include <GL/glu.h>

#include <cmath>
#include <vector>

#include "app/stage/Assets.h"
#include "app/stage/FrameLists.h"
#include "app/stage/FrameMesh.h"
#include "app/stage/Hud.h"
#include "app/stage/Scene.h"
#include "app/walk/Walk.h"
#include "support/GlFixture.h"

namespace {

TEST_F(GlFixture, SceneShadowIsFlatGreyTheCharacterLitInItsPaletteColoursAndNoListDrawsOnlyGround) {
    LightSource light;
    SetupSceneLight(light);
    // Frame 3: a plate of voxels hovering 100 units up in palette entries
    // 1..3, and under it a block of 11 x 11 x 11 in entry 7, a colour no
    // lit face can saturate. Frame 5: what a missing file leaves.
    WalkFrames frames;
    VoxelModel& model = frames[2];
    model.palette[0] = 0xff0000ff, model.palette[1] = 0xff00ff00, model.palette[2] = 0xffff0000;
    model.palette[6] = 0xffdc965a;  // R 90, G 150, B 220
    for (int x = -15; x <= 15; ++x) {
        for (int z = -15; z <= 15; ++z) model.voxels.push_back({x, 100, z, uint32_t(1 + (x + z + 99) % 3), 0});
        for (int y = 40; y <= 50 && std::abs(x) <= 5; ++y)
            for (int z = -5; z <= 5; ++z) model.voxels.push_back({x, y, z, 7, 0});
    }
    BuildFrameList(model);
    BuildFrameList(frames[4]);
    // Draws with the model moved 40 units along x, so a pass that loses the
    // model matrix draws in the wrong place.
    const Matrix4 moved({1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}, {40.0f, 0.0f, 0.0f});
    const std::vector<TextureEntry> textures;
    const auto Draw = [&](int frameIndex) {
        DrawScene(Vector3(0.0f, 0.0f, 0.0f), moved, frameIndex, light, textures, frames);
        return ReadPixels(0, 0, kWidth, kHeight);
    };
    const std::vector<unsigned char> groundOnly = Draw(1);  // frame 1 has no list
    EXPECT_TRUE(Draw(3) != groundOnly);
    // Drawn after a model, so a ground that does not set its own normal shows.
    for (int frameIndex : {5, 0, 31}) EXPECT_TRUE(Draw(frameIndex) == groundOnly) << frameIndex;
    Draw(3);  // the picture the probes below read
    // Window squares around where points of the model (moved 40 along x) land under the camera at (-150, 250, 150)
    // looking at the origin. The plate's centre (0, 100, 0) casts from the light at (300, 1500, 300) onto the ground
    // at (-21.43, 0, -21.43), pixel (508, 425): 0.2 global ambient times the ground's 0.65 grey, 33 of 255, whatever
    // the voxel colours. Beside it at (-21.43, 0, 60), pixel (632, 336), lit grey ground.
    EXPECT_TRUE(PixelsNear(504, 421, 9, 9, {33, 33, 33}, 0));
    EXPECT_TRUE(PixelsNear(632, 336, 1, 1, {125, 125, 125}, 25));
    // Colour tracking: palette colour x (0.2 global + 0.25 light ambient + 0.65 diffuse x n.L). The top face at
    // (0, 50.5, 0), pixel (573, 501), has the light nearly overhead (n.L = 0.9597); the face at x = -5.5,
    // (-5.5, 45, 0), pixel (564, 487), turns away from it (n.L = 0).
    EXPECT_TRUE(PixelsNear(571, 499, 5, 5, {97, 161, 236}, 1));
    EXPECT_TRUE(PixelsNear(562, 485, 5, 5, {41, 68, 99}, 1));
    DeleteWalkFrameLists(frames);
}

TEST_F(GlFixture, TheGroundTextureRepeatsTwiceAlongEachSideFromTheGroundsCorners) {
    // Four texels, nearest and repeated: red, green along s, blue, white along t.
    // Twice along a side of 4000 units, the texel at (x, z) is (floor(x / 1000),
    // floor(z / 1000)) mod 2. Probes 4 units either side of x = 0 and z = 0, out
    // each way as far as the picture shows, where every corner has a say.
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    const unsigned char texels[4 * 3] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 2, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, texels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    std::vector<TextureEntry> textures(1);
    textures[0].texture = texture;
    LightSource light;
    SetupSceneLight(light);
    WalkFrames frames;
    Matrix4 identity(0.0f);
    setIdentity(identity);
    DrawScene(Vector3(0.0f, 0.0f, 0.0f), identity, 1, light, textures, frames);
    GLdouble modelView[16], projection[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    const double probes[][2] = {{-4, -300}, {4, -300}, {-4, 150}, {4, 150}, {-150, -4}, {-150, 4}, {150, -4}, {150, 4}};
    for (const auto& [x, z] : probes) {
        const int s = int(std::floor(x / 1000.0)) & 1, t = int(std::floor(z / 1000.0)) & 1;
        const unsigned char* want = &texels[3 * (2 * t + s)];
        GLdouble wx, wy, wz;
        ASSERT_TRUE(gluProject(x, 0.0, z, modelView, projection, viewport, &wx, &wy, &wz));
        ASSERT_TRUE(wx >= 0 && wx < kWidth && wy >= 0 && wy < kHeight) << x << ", " << z << " is off the picture";
        const std::vector<unsigned char> got = ReadPixels(int(wx), int(wy), 1, 1);
        // The lit grey ground times the texel: a channel the texel lacks stays dark.
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(got[size_t(c)] > 60, want[c] == 255) << x << ", " << z << ", channel " << c;
    }
    glDeleteTextures(1, &texture);
}

}  // namespace
