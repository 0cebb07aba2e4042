// The scene pass on a real context (the GL fixture's 1024 x 768 window with
// InitGL's state), read back from the back buffer.
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

}  // namespace
