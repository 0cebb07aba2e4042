// The viewer's start-up, a frame on a scripted clock and shut-down; and the
// walk cycle drawn from the visible-face lists against lists of whole cubes:
// whole frames, scene and HUD, must match pixel for pixel, on a window
// opened as the program opens it (1024 x 768, 2 samples requested).
#include <GL/gl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/stage/Assets.h"
#include "app/stage/FrameLists.h"
#include "app/stage/FrameMesh.h"
#include "app/stage/Hud.h"
#include "app/stage/Scene.h"
#include "app/walk/Walk.h"
#include "support/GlFixture.h"
#include "support/LogCapture.h"

namespace {

// The reference: six faces for every coloured voxel, in voxel order, each
// with the face's normal and the voxel's palette colour.
void BuildWholeCubeList(VoxelModel& model) {
    model.displayList = glGenLists(1);
    glNewList(model.displayList, GL_COMPILE);
    glBegin(GL_QUADS);
    for (const Voxel& voxel : model.voxels) {
        if (voxel.colorIndex < 1 || voxel.colorIndex > model.palette.size()) continue;
        const auto* bytes = reinterpret_cast<const GLubyte*>(&model.palette[voxel.colorIndex - 1]);
        glColor4ub(bytes[0], bytes[1], bytes[2], 8);
        const Vector3 centre(float(voxel.x), float(voxel.y), float(voxel.z));
        for (int f = 0; f < 6; ++f) {
            glNormal3fv(&cubeNormals[f].x);
            for (int k : cubeFaces[f])
                glVertex3f(centre.x + cubeCorners[k].x, centre.y + cubeCorners[k].y, centre.z + cubeCorners[k].z);
        }
    }
    glEnd();
    glEndList();
}

// How many pixels differ in red, green or blue.
int Differences(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
    int count = 0;
    for (size_t i = 0; i < a.size(); i += 4) count += a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2];
    return count;
}

TEST(Walk, LoadsRunsAFrameDrawsFrameListsLikeWholeCubesAndShutsDown) {
    VOXWALK_REQUIRE_DISPLAY();
    ASSERT_TRUE(StartGlCapturingLog(1024, 768, 2).opened) << "DISPLAY is set but no GL window could be made";
    ASSERT_EQ(chdir(VOXWALK_SOURCE_DIR), 0);
    double now = 100.0;
    const Clock clock = [&now] { return now; };
    auto walk = std::make_unique<WalkApp>();
    LogCapture quiet;  // the reader's lines are checked elsewhere
    LoadWalkAssets(*walk, clock);
    // Every frame stood up, centred over the origin, on the ground; its
    // lists wait for its first draw.
    WalkFrames wholeCubes{};
    const WalkFrames noFrames{};
    for (int n = 0; n < walkFrameCount; ++n) {
        const VoxelModel& model = walk->walkFrames[n];
        double x = 0, lowest = 1e9;
        for (const Voxel& v : model.voxels) x += v.x, lowest = std::min<double>(lowest, v.y);
        EXPECT_TRUE(std::abs(x / double(model.voxels.size())) <= 0.5 && std::abs(lowest) <= 1.0) << n;
        EXPECT_EQ(model.displayList + model.shadowList, 0u) << n;
        wholeCubes[n] = model;
        BuildWholeCubeList(wholeCubes[n]);
    }

    // One and a half animation frames: frame 2, heading 1.5 (1 whole degree),
    // 7 units walked, the first frame counted.
    now += 0.05;
    RunWalkFrame(*walk, clock);
    const WalkerState& w = walk->walker;
    EXPECT_TRUE(w.frameIndex == 2 && w.fps.fpsText == "FPS = 1" && w.fps.nextFpsTime == now + 1.0);
    EXPECT_TRUE(std::abs(w.walkerPosition.x - 6.99893) < 1e-4 && std::abs(w.walkerPosition.z + 0.12217) < 1e-4);
    // The frame drawn has its lists, once; then every frame gets lists of its own.
    const uint32_t drawnList = walk->walkFrames[1].displayList;
    EXPECT_TRUE(drawnList != 0 && walk->walkFrames[0].displayList == 0);
    for (VoxelModel& model : walk->walkFrames) PrepareFrameList(model);
    std::set<uint32_t> lists;
    for (const VoxelModel& model : walk->walkFrames) lists.insert(model.displayList);
    EXPECT_TRUE(lists.size() == 30u && lists.count(0) == 0u && walk->walkFrames[1].displayList == drawnList);

    // One whole frame of the program for the walker's pose and `frames`.
    WalkerState walker;
    const auto draw = [&](const WalkFrames& frames) {
        DrawScene(walker.walkerPosition, walker.modelMatrix, walker.frameIndex, walk->light, walk->textureTable,
                  frames);
        DrawHud(*walk->font, walker.fps.fpsText, walker.frameIndex);
        return GlFixture::ReadPixels(0, 0, screen.width, screen.height);
    };
    // Walk the circle at 30 steps a second and compare at steps spread over
    // two turns, so different frames are seen from different sides.
    now = 0.0;
    ResetWalker(walker, now);
    walker.fps.fpsText = "FPS = 30";
    for (int step = 0; step <= 719; ++step) {
        now += 1.0 / 30.0;
        AdvanceClocks(walker, clock);
        BuildWalkerTransform(walker);
        if (step % 61 == 0 || step == 719) {
            const std::vector<unsigned char> cubes = draw(wholeCubes);
            // The comparison means something only where the character shows.
            EXPECT_GT(Differences(cubes, draw(noFrames)), 1000) << "step " << step;
            EXPECT_EQ(Differences(draw(walk->walkFrames), cubes), 0)
                << "step " << step << ", frame " << walker.frameIndex;
        }
        StepWalker(walker);
    }
    // Loaded the default way, every frame has its lists at once.
    auto atLoad = std::make_unique<WalkFrames>();
    LoadWalkFrames(*atLoad);
    for (const VoxelModel& model : *atLoad) EXPECT_TRUE(model.displayList != 0 && model.shadowList != 0);
    DeleteWalkFrameLists(*atLoad);
    ShutDownWalk(*walk);
    for (const VoxelModel& model : walk->walkFrames) EXPECT_EQ(model.displayList + model.shadowList, 0u);
}

}  // namespace
