// The scene pass on a real context (the GL fixture's 1024 x 768 window with
// InitGL's state), read back from the back buffer.
#include <GL/gl.h>
#include <GL/glu.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app/Scene.h"
#include "app/Viewer.h"
#include "app/WalkFrames.h"
#include "MakeVoxel.h"
#include "support/GlFixture.h"
#include "support/LogCapture.h"

namespace {

struct WindowPoint {
    int x, y;
};

// Where a world point lands in the window under the camera DrawScene set.
// DrawScene leaves view * modelMatrix; the tests pass an identity model.
WindowPoint Project(float x, float y, float z) {
    GLdouble modelview[16], projection[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    GLdouble wx, wy, wz;
    gluProject(x, y, z, modelview, projection, viewport, &wx, &wy, &wz);
    return {static_cast<int>(std::lround(wx)), static_cast<int>(std::lround(wy))};
}

Matrix4 Identity() {
    Matrix4 m(0.0f);
    setIdentity(m);
    return m;
}

uint32_t PaletteColour(uint8_t r, uint8_t g, uint8_t b) {
    const uint8_t bytes[4] = {r, g, b, 255};
    uint32_t value;
    std::memcpy(&value, bytes, 4);
    return value;
}

class SceneTest : public GlFixture {
  protected:
    void SetUp() override {
        GlFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        SetupViewerLight(light);
    }
    void TearDown() override { DeleteWalkFrameLists(frames); }

    // Compiles `model` as frame `n` without orienting or recentring it, so
    // the test decides where its voxels stand.
    void SetFrame(int n, VoxelModel model) {
        frames[n - 1] = std::move(model);
        BuildFrameList(frames[n - 1]);
    }

    void Draw(int frameIndex) {
        DrawScene(Vector3(0.0f, 0.0f, 0.0f), Identity(), frameIndex, light, textures, frames);
    }

    LightSource light;
    std::vector<TextureEntry> textures;
    WalkFrames frames;
};

// A square plate of voxels hovering 100 units up, its colours cycling
// through the palette entries 1..4.
VoxelModel HoveringPlate() {
    VoxelModel model;
    model.palette[0] = PaletteColour(255, 0, 0);
    model.palette[1] = PaletteColour(0, 255, 0);
    model.palette[2] = PaletteColour(0, 0, 255);
    model.palette[3] = PaletteColour(255, 255, 255);
    for (int x = -15; x <= 15; ++x) {
        for (int z = -15; z <= 15; ++z) {
            model.voxels.push_back(MakeVoxel(x, 100, z, 1 + (x + z + 100) % 4));
        }
    }
    return model;
}

}  // namespace

TEST_F(SceneTest, ShadowIsFlatGreyWhateverTheVoxelColours) {
    SetFrame(3, HoveringPlate());
    Draw(3);
    // The plate's centre (0, 100, 0) casts onto the ground at
    // ((1500 x - 300 y) / (1500 - y), 0, ...) = (-21.43, 0, -21.43); its
    // shadow is about 33 units wide there.
    const WindowPoint shadow = Project(-21.43f, 0.0f, -21.43f);
    const WindowPoint plate = Project(0.0f, 100.5f, 0.0f);
    ASSERT_GT(std::hypot(shadow.x - plate.x, shadow.y - plate.y), 60)
        << "the plate hides its own shadow from this camera";
    // 0.2 global ambient times the ground's 0.65 grey: 0.13, or 33 of 255.
    EXPECT_TRUE(PixelsNear(shadow.x - 8, shadow.y - 4, 17, 9, {33, 33, 33}, 1));
    // Outside the shadow the ground is lit grey, far brighter.
    const WindowPoint ground = Project(-21.43f, 0.0f, 60.0f);
    const std::vector<unsigned char> p = ReadPixels(ground.x, ground.y, 1, 1);
    EXPECT_GT(p[0], 100);
}

TEST_F(SceneTest, CharacterIsLitInItsPaletteColours) {
    // One block of 11 x 11 x 11 voxels in a colour no face can saturate.
    VoxelModel model;
    model.palette[6] = PaletteColour(150, 90, 30);  // colour index 7
    for (int x = -5; x <= 5; ++x)
        for (int y = 40; y <= 50; ++y)
            for (int z = -5; z <= 5; ++z) model.voxels.push_back(MakeVoxel(x, y, z, 7));
    SetFrame(1, std::move(model));
    Draw(1);

    // Fixed-function lighting with colour tracking: colour = palette colour
    // x (global ambient 0.2 + light ambient 0.25 + diffuse 0.65 x n.L).
    auto lit = [](double channel, double nDotL) {
        return static_cast<int>(std::lround(channel * (0.2 + 0.25 + 0.65 * nDotL)));
    };
    // Top face: the light at (300, 1500, 300) is nearly overhead.
    const double topNDotL = (1500.0 - 50.5) / std::sqrt(300.0 * 300 + 1449.5 * 1449.5 + 300.0 * 300);
    const WindowPoint top = Project(0.0f, 50.5f, 0.0f);
    EXPECT_TRUE(PixelsNear(top.x - 2, top.y - 2, 5, 5,
                           {lit(150, topNDotL), lit(90, topNDotL), lit(30, topNDotL)}, 3));
    // The face at x = -5.5 turns away from the light: ambient terms only.
    const WindowPoint side = Project(-5.5f, 45.0f, 0.0f);
    EXPECT_TRUE(PixelsNear(side.x - 2, side.y - 2, 5, 5, {lit(150, 0), lit(90, 0), lit(30, 0)}, 3));
}

TEST_F(SceneTest, EmptyFrameDrawsNeitherCharacterNorShadow) {
    SetFrame(5, VoxelModel{});  // what a missing frame file leaves
    SetFrame(6, HoveringPlate());
    ASSERT_NE(frames[4].displayList, 0u);

    DrawScene(Vector3(0.0f, 0.0f, 0.0f), Identity(), 5, light, textures, frames);
    const std::vector<unsigned char> empty = ReadPixels(0, 0, kWidth, kHeight);
    // The same scene with no list at all: ground only.
    WalkFrames none;
    DrawScene(Vector3(0.0f, 0.0f, 0.0f), Identity(), 5, light, textures, none);
    const std::vector<unsigned char> groundOnly = ReadPixels(0, 0, kWidth, kHeight);
    EXPECT_TRUE(empty == groundOnly);
    // A frame with voxels changes the picture, so the comparison can fail.
    Draw(6);
    EXPECT_FALSE(ReadPixels(0, 0, kWidth, kHeight) == groundOnly);
}

TEST_F(SceneTest, GroundIsTexturedGrass) {
    {
        LogCapture quiet;
        LoadTexture("assets/textures/grass.png", textures, 0, VOXWALK_SOURCE_DIR "/assets/textures/");
    }
    ASSERT_EQ(textures.size(), 1u);
    Draw(1);  // frame 1 has no list here: ground only
    // A patch of ground in front of the camera: green grass, with texture
    // detail rather than one lit colour.
    const WindowPoint centre = Project(0.0f, 0.0f, 0.0f);
    const std::vector<unsigned char> patch = ReadPixels(centre.x - 32, centre.y - 32, 64, 64);
    int green = 0;
    std::vector<uint32_t> colours;
    for (size_t i = 0; i < patch.size(); i += 4) {
        if (patch[i + 1] > patch[i] && patch[i + 1] > patch[i + 2]) ++green;
        colours.push_back(patch[i] << 16 | patch[i + 1] << 8 | patch[i + 2]);
    }
    std::sort(colours.begin(), colours.end());
    colours.erase(std::unique(colours.begin(), colours.end()), colours.end());
    EXPECT_GT(green, 64 * 64 * 9 / 10);
    EXPECT_GT(colours.size(), 100u);
}

TEST_F(SceneTest, GroundWithoutTextureIsLitGrey) {
    // An empty table (or a texture without an image) leaves the lit grey.
    Draw(1);
    const WindowPoint centre = Project(0.0f, 0.0f, 0.0f);
    const std::vector<unsigned char> p = ReadPixels(centre.x, centre.y, 1, 1);
    EXPECT_EQ(p[0], p[1]);
    EXPECT_EQ(p[1], p[2]);
    EXPECT_GT(p[0], 100);
}

// The text pixels of one band of rows: the columns they span and the
// brightest channel value among them.
struct TextExtent {
    int pixels = 0, left = 1 << 30, right = -1, brightest = 0;
};

TEST_F(SceneTest, HudLinesAreWhiteCentredBelowTheTopEdge) {
    std::optional<BitmapFont> font;
    {
        LogCapture quiet;
        font.emplace(16.0f);
        LoadFont(*font, VOXWALK_SOURCE_DIR "/assets/textures/fonts/font1.png");
    }
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    DrawHud(*font, "FPS = 60", 12);

    // Window rows from the bottom: the FPS line's glyphs fill 752..767, the
    // animation line's 736..751; nothing else is drawn.
    const std::vector<unsigned char> image = ReadPixels(0, 0, kWidth, kHeight);
    TextExtent fps, anim;
    int stray = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const unsigned char* p = &image[(static_cast<size_t>(y) * kWidth + x) * 4];
            if (p[0] + p[1] + p[2] == 0) continue;
            EXPECT_TRUE(p[0] == p[1] && p[1] == p[2]) << "coloured text pixel at " << x << ", " << y;
            TextExtent* band = y >= 752 ? &fps : y >= 736 ? &anim : nullptr;
            if (band == nullptr) {
                ++stray;
                continue;
            }
            ++band->pixels;
            band->left = std::min(band->left, x);
            band->right = std::max(band->right, x);
            band->brightest = std::max<int>(band->brightest, p[0]);
        }
    }
    EXPECT_EQ(stray, 0);
    ASSERT_GT(fps.pixels, 0);
    ASSERT_GT(anim.pixels, 0);
    EXPECT_GE(fps.brightest, 250);  // white where the sheet is opaque
    EXPECT_GE(anim.brightest, 250);
    // 5 pixels per character left of the centre: "FPS = 60" starts at 472,
    // "Animation frame #12" (19 characters) at 417; glyphs advance 10.8
    // pixels, so the last one ends within 16 pixels of its pen position.
    EXPECT_GE(fps.left, 472);
    EXPECT_LE(fps.left, 472 + 4);
    EXPECT_LE(fps.right, static_cast<int>(472 + 7 * 10.8 + 16));
    EXPECT_GE(anim.left, 417);
    EXPECT_LE(anim.left, 417 + 4);
    EXPECT_LE(anim.right, static_cast<int>(417 + 18 * 10.8 + 16));

    // Exactly the picture of the two lines printed at (472, 752) and
    // (417, 736) in white with the sheet's alpha.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    BeginText(*font);
    PrintText(*font, "FPS = 60", 472, 752, 1, 1, 1, 1, 16, 16);
    PrintText(*font, "Animation frame #12", 417, 736, 1, 1, 1, 1, 16, 16);
    EndText(*font);
    EXPECT_TRUE(ReadPixels(0, 0, kWidth, kHeight) == image);
    glClearColor(0.0f, 0.0f, 0.25f, 1.0f);
}

// Runs LoadWalkFrames with `folder` as the working directory.
std::vector<std::string> LoadFramesIn(const std::string& folder, WalkFrames& frames) {
    char previous[4096];
    EXPECT_NE(getcwd(previous, sizeof previous), nullptr);
    EXPECT_EQ(chdir(folder.c_str()), 0);
    LogCapture log;
    LoadWalkFrames(frames);
    EXPECT_EQ(chdir(previous), 0);
    return log.lines();
}

TEST_F(SceneTest, MissingFrameFilesLeaveEmptyFramesWithTheirOwnLists) {
    char folder[] = "/tmp/voxwalk-noassets-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::vector<std::string> lines = LoadFramesIn(folder, frames);
    rmdir(folder);
    EXPECT_EQ(lines, std::vector<std::string>(30, "Error opening the file"));
    std::vector<uint32_t> lists;
    for (const VoxelModel& model : frames) {
        EXPECT_TRUE(model.voxels.empty());
        EXPECT_NE(model.displayList, 0u);
        lists.push_back(model.displayList);
    }
    std::sort(lists.begin(), lists.end());
    EXPECT_EQ(std::unique(lists.begin(), lists.end()), lists.end()) << "two frames share a list";
}

TEST_F(SceneTest, WalkFramesLoadInFrameOrderCentredOverTheOrigin) {
    const std::vector<std::string> lines = LoadFramesIn(VOXWALK_SOURCE_DIR, frames);
    // The reader's lines of frame n, then those of frame n + 1.
    std::vector<std::string> expected;
    for (int32_t n = 1; n <= 30; ++n) {
        const std::string path = std::string(VOXWALK_SOURCE_DIR "/") + WalkFrameFileName(n);
        VoxelModel model;
        LogCapture log;
        LoadVoxelModel(path.c_str(), model);
        const std::vector<std::string> frameLines = log.lines();
        expected.insert(expected.end(), frameLines.begin(), frameLines.end());
    }
    EXPECT_EQ(lines, expected);
    for (const VoxelModel& model : frames) {
        ASSERT_FALSE(model.voxels.empty());
        // Centred over the origin in x and z, within rounding.
        double sumX = 0, sumZ = 0;
        for (const Voxel& v : model.voxels) {
            sumX += v.x;
            sumZ += v.z;
        }
        EXPECT_LE(std::abs(sumX / model.voxels.size()), 0.5);
        EXPECT_LE(std::abs(sumZ / model.voxels.size()), 0.5);
        EXPECT_NE(model.displayList, 0u);
    }
}

TEST_F(SceneTest, ViewerFramesFollowTheScriptedClock) {
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(VOXWALK_SOURCE_DIR), 0);
    double now = 100.0;
    const Clock clock = [&now] { return now; };
    auto viewer = std::make_unique<Viewer>();
    LogCapture log;
    LoadViewerAssets(*viewer, clock);
    const size_t startupLines = log.lines().size();

    now += 0.05;  // one and a half animation frames
    RunViewerFrame(*viewer, clock);
    EXPECT_EQ(viewer->walker.frameIndex, 2);
    EXPECT_EQ(viewer->walker.fpsText, "FPS = 1");
    // 7 units (140 per second) along the heading of 1 whole degree (1.5).
    EXPECT_NEAR(viewer->walker.walkerPosition.x, 7 * std::cos(M_PI / 180), 1e-4);
    EXPECT_NEAR(viewer->walker.walkerPosition.z, -7 * std::sin(M_PI / 180), 1e-4);
    // The HUD lines are in the picture: text pixels in both bands.
    const std::vector<unsigned char> hud = ReadPixels(0, 736, kWidth, 32);
    int white = 0;
    for (size_t i = 0; i < hud.size(); i += 4) white += hud[i] > 240 && hud[i + 1] > 240 && hud[i + 2] > 240;
    EXPECT_GT(white, 50);

    now += 2.0;  // a stall: the animation starts over at frame 1
    RunViewerFrame(*viewer, clock);
    EXPECT_EQ(viewer->walker.frameIndex, 1);
    // More than a second since the last refresh: the text shows the one
    // frame drawn since then, and the next refresh is a second away.
    EXPECT_EQ(viewer->walker.fpsText, "FPS = 1");
    EXPECT_DOUBLE_EQ(viewer->walker.nextFpsTime, now + 1.0);

    ShutDownViewer(*viewer);
    ASSERT_EQ(chdir(previous), 0);
    const std::vector<std::string> lines = log.lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "font constructor called");
    EXPECT_EQ(lines[1], "font loaded, assets/textures/fonts/font1.png");
    EXPECT_EQ(lines.size(), startupLines + 1) << "the loop logged something";
    EXPECT_EQ(lines.back(), "font destructor called");
    for (const VoxelModel& model : viewer->walkFrames) {
        EXPECT_EQ(model.displayList, 0u);
        EXPECT_EQ(model.shadowList, 0u);
    }
}
