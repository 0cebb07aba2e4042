// The walk cycle drawn from the visible-face lists against lists of whole
// cubes: whole frames, scene and HUD, must match pixel for pixel, on a
// window opened as the program opens it (1024 x 768, 2 samples requested).
#include <GL/gl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/Scene.h"
#include "app/Viewer.h"
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
        const uint32_t rgba = model.palette[voxel.colorIndex - 1];
        const auto* bytes = reinterpret_cast<const GLubyte*>(&rgba);
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

// How many pixels differ, and where the first one is.
struct Difference {
    int count = 0;
    int x = -1, y = -1;
};

Difference Compare(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
    Difference d;
    for (size_t i = 0; i < a.size(); i += 4) {
        if (a[i] == b[i] && a[i + 1] == b[i + 1] && a[i + 2] == b[i + 2]) continue;
        if (d.count++ == 0) {
            d.x = static_cast<int>(i / 4) % screen.width;
            d.y = static_cast<int>(i / 4) / screen.width;
        }
    }
    return d;
}

class FrameListPicture : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (!GlDisplayAvailable()) return;
        opened = StartGlCapturingLog(1024, 768, 2).opened;
        if (!opened) return;
        LogCapture quiet;  // the reader's lines are checked elsewhere
        const Clock start = [] { return 0.0; };
        if (chdir(VOXWALK_SOURCE_DIR) != 0) return;
        viewer = new Viewer();
        LoadViewerAssets(*viewer, start);
        for (int n = 0; n < walkFrameCount; ++n) {
            wholeCubes[n].voxels = viewer->walkFrames[n].voxels;
            wholeCubes[n].palette = viewer->walkFrames[n].palette;
            BuildWholeCubeList(wholeCubes[n]);
        }
    }

    void SetUp() override {
        VOXWALK_REQUIRE_DISPLAY();
        ASSERT_TRUE(opened) << "DISPLAY is set but no GL window could be made";
        ASSERT_NE(viewer, nullptr) << "no assets under " << VOXWALK_SOURCE_DIR;
    }

    // One whole frame of the program for the walker's pose and `frames`.
    static std::vector<unsigned char> Draw(const WalkerState& walker, const WalkFrames& frames) {
        DrawScene(walker.walkerPosition, walker.modelMatrix, walker.frameIndex, viewer->light,
                  viewer->textureTable, frames);
        DrawHud(*viewer->font, walker.fpsText, walker.frameIndex);
        std::vector<unsigned char> pixels(static_cast<size_t>(screen.width) * screen.height * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, screen.width, screen.height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        return pixels;
    }

    static inline bool opened = false;
    static inline Viewer* viewer = nullptr;  // lives as long as the context
    static inline WalkFrames wholeCubes{};
};

TEST_F(FrameListPicture, WalkCycleMatchesWholeCubesPixelForPixel) {
    // Walk the circle at 30 steps a second and compare at steps spread over
    // two turns, so different frames are seen from different sides.
    double now = 0.0;
    const Clock clock = [&now] { return now; };
    WalkerState walker;
    ResetWalker(walker, now);
    walker.fpsText = "FPS = 30";
    const std::vector<int> checkedSteps = {0, 7, 58, 121, 203, 266, 340, 419, 497, 583, 650, 719};
    const WalkFrames noFrames{};
    size_t next = 0;
    for (int step = 0; next < checkedSteps.size(); ++step) {
        now += 1.0 / 30.0;
        AdvanceClocks(walker, clock);
        BuildWalkerTransform(walker);
        if (step == checkedSteps[next]) {
            ++next;
            const std::vector<unsigned char> faces = Draw(walker, viewer->walkFrames);
            const std::vector<unsigned char> cubes = Draw(walker, wholeCubes);
            const std::vector<unsigned char> ground = Draw(walker, noFrames);
            // The comparison means something only where the character shows.
            EXPECT_GT(Compare(cubes, ground).count, 1000) << "step " << step;
            const Difference d = Compare(faces, cubes);
            EXPECT_EQ(d.count, 0) << "step " << step << ", frame " << walker.frameIndex
                                  << ": first difference at (" << d.x << ", " << d.y << ")";
        }
        StepWalker(walker);
    }
}

}  // namespace
