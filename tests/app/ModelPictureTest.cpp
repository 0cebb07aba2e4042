// Pictures through the real renderer on an offscreen context (no X server):
// ambient occlusion probed at an L-shaped wall, the vertex-buffer path
// against the display lists, the framing band in every view, union framing,
// the transparent picture's cut-out, and materials: emissive, translucent
// and metal voxels probed against the rule they are drawn by.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "MakeVoxel.h"
#include "app/stage/FrameLists.h"
#include "app/stage/ModelDraw.h"
#include "app/view/Snapshot.h"
#include "log/Log.h"
#include "platform/Offscreen.h"
#include "tools/Monument.h"

namespace {

// A palette of distinct, mid-bright colours: entry k is (k * 37, 90 + k, 200 - k / 2) mod 256.
LoadedModel Loaded(const std::vector<std::vector<Voxel>>& frames, bool ownMotion = false) {
    LoadedModel model;
    for (const std::vector<Voxel>& voxels : frames) {
        VoxelModel frame;
        frame.voxels = voxels;
        for (uint32_t k = 0; k < 256; ++k) {
            frame.palette[k] = 0xff000000u | (200 - k / 2) << 16 | (90 + k) % 256 << 8 | (k * 37 + 60) % 256;
        }
        model.frames.push_back(frame);
    }
    model.bounds = PlaceFrames(model.frames);
    model.ownMotion = ownMotion;
    return model;
}

struct Rendered {
    Picture picture;
    PictureView view;
    bool vertexBuffers = false;
};

ModelClock Clock(double animClock, double heading, double turn) {
    ModelClock clock;
    clock.animClock = animClock, clock.heading = heading, clock.turn = turn;
    return clock;
}

// A picture from an open renderer, with the view it was framed in.
Rendered Shot(PictureRenderer& renderer, const ModelClock& clock = {}) {
    Rendered out;
    RenderPicture(renderer, clock, out.picture);
    out.view = renderer.view;
    out.vertexBuffers = renderer.drawer.vertexBuffers;
    return out;
}

Rendered Render(LoadedModel& model, const PictureSettings& settings, const ModelClock& clock = {}) {
    PictureRenderer renderer;
    std::string error;
    EXPECT_TRUE(OpenPictureRenderer(renderer, model, settings, error)) << error;
    const Rendered out = Shot(renderer, clock);
    ClosePictureRenderer(renderer);
    return out;
}

PictureSettings Settings(int width, int height, ViewName view, BackgroundKind background, bool occlusion = true,
                         bool buffers = true) {
    return {width, height, view, background, {0, 0, 0}, false, occlusion, buffers};
}

// A frame of the shipped walk, read from the source tree.
LoadedModel Walk(const std::string& frame) {
    LoadedModel walk;
    std::string error;
    EXPECT_EQ(chdir(VOXWALK_SOURCE_DIR), 0);
    EXPECT_TRUE(LoadModelFrames("assets/voxels/ZevezuRezov/Walk/walk_000" + frame + ".vox", walk, error)) << error;
    return walk;
}

// Pixels of two pictures (`stepA` and `stepB` bytes a pixel) that differ at
// all, that differ by more than one level, and the largest difference.
std::array<int, 3> Apart(const std::vector<uint8_t>& a, size_t stepA, const std::vector<uint8_t>& b, size_t stepB) {
    std::array<int, 3> out{};
    for (size_t i = 0, j = 0; i < a.size() && j < b.size(); i += stepA, j += stepB) {
        int worst = 0;
        for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(a[i + c] - b[j + c]));
        out = {out[0] + (worst > 0), out[1] + (worst > 1), std::max(out[2], worst)};
    }
    return out;
}

// The pixel (from the top left) where model point p (model units) shows.
std::array<int, 2> PixelOf(const Rendered& r, const Vector3& p, const ModelClock& clock = {}) {
    Matrix4 camera(0.0f);
    setLookAt(camera, r.view.stage.eye, r.view.stage.target, r.view.stage.up);
    const Vector4 clip = Vector3(Vector3(p * ModelMatrix(clock)) * camera) * r.view.projection;
    const float x = (clip.x / clip.w + 1) / 2 * r.picture.width, y = (1 - clip.y / clip.w) / 2 * r.picture.height;
    return {static_cast<int>(x), static_cast<int>(y)};
}

std::array<int, 3> Rgb(const Picture& p, std::array<int, 2> at) {
    const uint8_t* px = &p.pixels[(static_cast<size_t>(at[1]) * p.width + at[0]) * p.channels];
    return {px[0], px[1], px[2]};
}

// The box of pixels with alpha above 0: left, top, right, bottom (inclusive).
std::array<int, 4> Covered(const Picture& p) {
    std::array<int, 4> box = {p.width, p.height, -1, -1};
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            if (p.pixels[(static_cast<size_t>(y) * p.width + x) * 4 + 3] == 0) continue;
            box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x), std::max(box[3], y)};
        }
    }
    return box;
}

// The larger side of a box of pixels over the picture's shorter side.
double Fill(const std::array<int, 4>& box, const Picture& p) {
    return std::max(box[2] - box[0] + 1, box[3] - box[1] + 1) / double(std::min(p.width, p.height));
}

// Two walls one cell thick, 16 long and 10 high, meeting at right angles:
// A along x at z = 0, B along z at x = 0.
std::vector<Voxel> LWall() {
    std::vector<Voxel> voxels;
    for (int i = 0; i < 16; ++i) {
        for (int y = 0; y < 10; ++y) {
            voxels.push_back(MakeVoxel(i, y, 0, 3));
            if (i > 0) voxels.push_back(MakeVoxel(0, y, i, 3));
        }
    }
    return voxels;
}

class ModelPicture : public ::testing::Test {
  protected:
    void SetUp() override {
        unsetenv("DISPLAY");  // no X server is involved
        SilenceLog();
    }
};

TEST_F(ModelPicture, TheInnerCornerOfAnLShapedWallIsDarkerThanTheMiddleOfTheWallUnlessOcclusionIsOff) {
    LoadedModel model = Loaded({LWall()});
    // After placing, wall A's inner face is the plane z = zA + 0.5 and wall
    // B's the plane x = xB + 0.5; probes at mid-height (cell row 5), a
    // quarter cell from the inner corner and in the middle of wall A.
    const float xB = static_cast<float>(model.bounds.minX), zA = static_cast<float>(model.bounds.minZ);
    const Vector3 corner(xB + 0.75f, 5.0f, zA + 0.5f), middle(xB + 8.5f, 5.0f, zA + 0.5f);
    for (bool occlusion : {true, false}) {
        const Rendered r = Render(model, Settings(256, 256, ViewName::Iso, BackgroundKind::Plain, occlusion));
        EXPECT_TRUE(r.vertexBuffers) << "llvmpipe through EGL offers vertex buffers and shaders";
        const std::array<int, 3> atCorner = Rgb(r.picture, PixelOf(r, corner));
        const std::array<int, 3> atMiddle = Rgb(r.picture, PixelOf(r, middle));
        for (int c = 0; c < 3; ++c) {
            if (occlusion) {
                EXPECT_LT(atCorner[c], atMiddle[c] * 0.85) << "channel " << c;
            } else {
                EXPECT_NEAR(atCorner[c], atMiddle[c], 2) << "channel " << c;
            }
        }
        EXPECT_GT(atMiddle[0] + atMiddle[1] + atMiddle[2], 150) << "the probe hit the lit wall";
    }
}

TEST_F(ModelPicture, VertexBuffersAndDisplayListsDrawTheSamePicture) {
    LoadedModel walk = Walk("07"), wall = Loaded({LWall()});
    const ModelClock turned = Clock(0, 30.0, 0);
    int total = 0;  // pixels apart over all the pictures
    for (LoadedModel* model : {&walk, &wall}) {
        for (bool occlusion : {false, true}) {
            for (ViewName view : {ViewName::Window, ViewName::Front, ViewName::Iso}) {
                const PictureSettings buffers = Settings(320, 240, view, BackgroundKind::Scene, occlusion, true);
                const PictureSettings lists = Settings(320, 240, view, BackgroundKind::Scene, occlusion, false);
                const Rendered a = Render(*model, buffers, turned), b = Render(*model, lists, turned);
                ASSERT_TRUE(a.vertexBuffers && !b.vertexBuffers);
                const std::array<int, 3> apart = Apart(a.picture.pixels, 3, b.picture.pixels, 3);
                // The same triangles through the same transform, so the same
                // pixels are covered; the lighting is the shader's on one
                // side and Mesa's fixed-function program on the other, whose
                // float operations may differ in the last bit: a colour that
                // close to a rounding boundary comes out one level apart.
                const std::string where = std::string(model == &walk ? "walk" : "wall") + ", occlusion " +
                                          std::to_string(occlusion) + ", view " + std::to_string(int(view));
                EXPECT_LE(apart[0], 8) << where;
                EXPECT_LE(apart[2], 1) << where;
                total += apart[0];
            }
        }
    }
    EXPECT_LE(total, 8) << "of 12 pictures of 76,800 pixels";
}

TEST_F(ModelPicture, EveryViewFillsEightyFiveToNinetyFivePercentOfTheShorterSideOnATransparentBackground) {
    const LoadedModel walk = Walk("01");
    VoxelModel monument;
    const std::vector<uint8_t> monumentFile = MonumentVoxFile();
    LoadVoxelModelFromMemory(monumentFile.data(), monumentFile.size(), monument);
    ToViewerAxes(monument);
    std::vector<Voxel> tower, block, checker, plate;
    for (int x = 0; x < 30; ++x) {
        for (int y = 0; y < 40; ++y) {
            for (int z = 0; z < 30; ++z) {
                if (x < 10 && z < 10) tower.push_back(MakeVoxel(x, y, z, 4));
                if (x < 12 && y < 24 && z < 12) block.push_back(MakeVoxel(x, y, z, 1));
                if (x < 16 && y < 16 && z < 16 && (x + y + z) % 2 == 0) checker.push_back(MakeVoxel(x, y, z, 1 + x));
                if (y == 0) plate.push_back(MakeVoxel(x, y, z, 7));
            }
        }
    }
    const std::pair<const char*, std::vector<Voxel>> shapes[] = {{"walk frame", walk.frames[0].voxels},
                                                                 {"monument", monument.voxels},
                                                                 {"tower", tower},
                                                                 {"block", block},
                                                                 {"checkerboard", checker},
                                                                 {"plate", plate},
                                                                 {"L wall", LWall()},
                                                                 {"one voxel", {MakeVoxel(0, 0, 0)}}};
    for (const auto& [name, voxels] : shapes) {
        LoadedModel model = Loaded({voxels});
        for (ViewName view : {ViewName::Window, ViewName::Front, ViewName::Side, ViewName::Top, ViewName::Iso}) {
            for (const auto& [width, height] : {std::pair{160, 120}, {96, 128}}) {
                const Rendered r = Render(model, Settings(width, height, view, BackgroundKind::Transparent));
                const std::array<int, 4> box = Covered(r.picture);
                const std::string where = std::string(name) + ", view " + std::to_string(int(view)) + ", " +
                                          std::to_string(width) + "x" + std::to_string(height);
                EXPECT_NEAR(Fill(box, r.picture), 0.9, 0.05) << where;
                EXPECT_NEAR(box[0] + box[2], width - 1, 3) << where << ": centred";
                EXPECT_NEAR(box[1] + box[3], height - 1, 3) << where << ": centred";
                // No shadow, no ground: what is not the model is untouched.
                const std::vector<uint8_t>& p = r.picture.pixels;
                size_t stray = 0;
                for (size_t i = 0; i < p.size(); i += 4) stray += p[i + 3] == 0 && (p[i] | p[i + 1] | p[i + 2]) != 0;
                EXPECT_EQ(stray, 0u) << where;
            }
        }
    }
}

TEST_F(ModelPicture, TurningPicturesAreFramedOnAWholeTurnAndKeyframedScenesOnTheirWholePath) {
    // A bar 24 x 2 x 2 turning: framed on its own, each moment fills the
    // band; framed as a turntable, on a whole turn, the union of all fills it
    // and the bar seen end on is small.
    std::vector<Voxel> bar;
    for (int x = 0; x < 24; ++x) bar.push_back(MakeVoxel(x, 0, 0)), bar.push_back(MakeVoxel(x, 1, 1));
    LoadedModel model = Loaded({bar});
    PictureSettings turntable = Settings(128, 128, ViewName::Front, BackgroundKind::Transparent);
    turntable.turning = true;
    std::array<int, 4> all = {128, 128, -1, -1};
    double smallest = 1;
    for (int step = 0; step < 8; ++step) {
        const ModelClock moment = Clock(0, 0, step * 45.0);
        const Picture alone =
            Render(model, Settings(128, 128, ViewName::Front, BackgroundKind::Transparent), moment).picture;
        EXPECT_NEAR(Fill(Covered(alone), alone), 0.9, 0.05) << moment.turn;
        const Picture framed = Render(model, turntable, moment).picture;
        const std::array<int, 4> box = Covered(framed);
        all = {std::min(all[0], box[0]), std::min(all[1], box[1]), std::max(all[2], box[2]), std::max(all[3], box[3])};
        smallest = std::min(smallest, Fill(box, framed));
    }
    const Picture any = Render(model, turntable).picture;
    EXPECT_NEAR(Fill(all, any), 0.9, 0.05);
    EXPECT_LT(smallest, 0.3) << "end on, within the turntable's framing";

    // A keyframed scene: two frames of a block 40 cells apart, one frame of
    // reference. Each still shows its frame where the path puts it.
    std::vector<Voxel> here, there;
    for (int x = 0; x < 8; ++x) {
        for (int y = 0; y < 8; ++y) here.push_back(MakeVoxel(x, y, 0)), there.push_back(MakeVoxel(x + 40, y, 0));
    }
    LoadedModel keyed = Loaded({here, there}, true);
    std::array<int, 4> boxes[2];
    for (int frame = 0; frame < 2; ++frame) {
        const ModelClock clock = Clock(frame, 0, 0);
        boxes[frame] =
            Covered(Render(keyed, Settings(128, 128, ViewName::Side, BackgroundKind::Transparent), clock).picture);
    }
    EXPECT_GT(boxes[1][0], boxes[0][2] + 40) << "the second frame further along x";
    EXPECT_NEAR(std::max(boxes[1][2] - boxes[0][0] + 1, 0) / 128.0, 0.9, 0.05) << "the whole path framed";
}

// Entry points found under their ARB names alone, or one missing.
GLProc FakeArbOnly(const char* name) {
    const std::string n = name;
    static void (*const any)() = [] {};
    return n.size() > 3 && n.substr(n.size() - 3) == "ARB" ? any : nullptr;
}
GLProc FakeNoActiveTexture(const char* name) {
    static void (*const any)() = [] {};
    return std::string(name).find("ActiveTexture") == std::string::npos ? any : nullptr;
}

TEST(ModelGLCalls, TakeCoreNamesOrTheirARBNamesAndRefuseWhenOneIsMissing) {
    ModelGLCalls calls;
    EXPECT_TRUE(LoadModelGLCalls(calls, FakeArbOnly));
    EXPECT_TRUE(calls.createShader != nullptr && calls.activeTexture != nullptr);
    EXPECT_FALSE(LoadModelGLCalls(calls, FakeNoActiveTexture));
    EXPECT_EQ(calls.activeTexture, nullptr);
    EXPECT_FALSE(LoadModelGLCalls(calls, nullptr));
}

TEST_F(ModelPicture, TheWalksWholeCubeListsDifferOnlyAtVoxelEdgesAndByOneLevelOnMergedFaces) {
    // The walk's exact lists of whole cubes on the same stage, against the
    // mesh without occlusion. Where a whole cube's hidden face meets the
    // surface along an edge its depth ties with the visible face's and shows
    // at a few edge pixels (docs/performance.md); and a merged rectangle is
    // lit at its own corners, one level apart here and there from the unit
    // faces it replaces. Measured: at most 66 pixels more than one level
    // apart and 150 in all, of 76,800.
    LoadedModel walk = Walk("07");
    std::string error;
    for (ViewName view : {ViewName::Window, ViewName::Front, ViewName::Side, ViewName::Top, ViewName::Iso}) {
        PictureRenderer r;
        ASSERT_TRUE(OpenPictureRenderer(r, walk, Settings(320, 240, view, BackgroundKind::Plain, false), error));
        const Picture mesh = Shot(r).picture;
        VoxelModel frame = walk.frames[0];
        BuildFrameList(frame);
        DrawStage(r.view.stage, ModelMatrix(ModelClock{}), frame, r.light, r.textureTable);  // projection as left
        const std::vector<uint8_t> lists = ReadOffscreenPixels(320, 240);
        DeleteFrameLists(frame);
        ClosePictureRenderer(r);
        const std::array<int, 3> apart = Apart(mesh.pixels, 3, lists, 4);
        EXPECT_LE(apart[1], 100) << "view " << int(view);
        EXPECT_LE(apart[0], 200) << "view " << int(view);
        EXPECT_GT(apart[0], 0) << "view " << int(view) << ": not a comparison of one path with itself";
    }
}

// ---------------------------------------------------------------- materials

// A model of one frame whose colour index k has colour rgb[k] and look looks[k].
LoadedModel Painted(const std::vector<Voxel>& voxels, const std::vector<std::pair<uint32_t, std::array<int, 3>>>& rgb,
                    const std::vector<std::pair<uint32_t, VoxelLook>>& looks) {
    LoadedModel model = Loaded({voxels});
    VoxelModel& frame = model.frames[0];
    for (const auto& [k, c] : rgb) frame.palette[k - 1] = 0xff000000u | uint32_t(c[2] << 16 | c[1] << 8 | c[0]);
    frame.looks.resize(256);
    for (const auto& [k, look] : looks) frame.looks[k - 1] = look;
    return model;
}

void AddBox(std::vector<Voxel>& voxels, std::array<int, 3> low, std::array<int, 3> high, uint32_t color) {
    for (int x = low[0]; x <= high[0]; ++x)
        for (int y = low[1]; y <= high[1]; ++y)
            for (int z = low[2]; z <= high[2]; ++z) voxels.push_back(MakeVoxel(x, y, z, color));
}

constexpr VoxelLook Glass(float opacity) { return {VoxelSurface::Translucent, 0, opacity, 0, 0.1f, 1.5f}; }

TEST_F(ModelPicture, AnEmissiveVoxelShowsItsBrightenedColourUnshadedWhereverTheLightIs) {
    // A lamp (100, 60, 20) at emission 1 in the inner corner of the L wall,
    // where occlusion would darken it: (150, 90, 30) however the light moves.
    std::vector<Voxel> voxels = LWall();
    AddBox(voxels, {1, 4, 1}, {2, 5, 2}, 9);
    LoadedModel model = Painted(voxels, {{9, {100, 60, 20}}}, {{9, {VoxelSurface::Emissive, 1, 1, 0, 1, 1.5f}}});
    const float xB = float(model.bounds.minX), zA = float(model.bounds.minZ);
    for (bool buffers : {true, false}) {
        PictureRenderer r;
        std::string error;
        const PictureSettings iso = Settings(256, 256, ViewName::Iso, BackgroundKind::Plain, true, buffers);
        ASSERT_TRUE(OpenPictureRenderer(r, model, iso, error));
        std::array<int, 3> lamp[2], wall[2];
        for (int moved = 0; moved < 2; ++moved) {
            if (moved) r.light.position = Vector4(-900.0f, 300.0f, -900.0f, 1.0f);
            const Rendered shot = Shot(r);
            lamp[moved] = Rgb(shot.picture, PixelOf(shot, Vector3(xB + 1.2f, 5.5f, zA + 1.2f)));
            wall[moved] = Rgb(shot.picture, PixelOf(shot, Vector3(xB + 8.5f, 5.0f, zA + 0.5f)));
        }
        ClosePictureRenderer(r);
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(lamp[0][c], (std::array{150, 90, 30}[c]), 1) << buffers;
        EXPECT_EQ(lamp[0], lamp[1]) << buffers;
        EXPECT_GT(std::abs(wall[0][0] - wall[1][0]) + std::abs(wall[0][2] - wall[1][2]), 30) << "the light moved";
    }
}

TEST_F(ModelPicture, GlassBlendsItsColourOverWhatLiesBehindAndKeepsTheFacesBehindIt) {
    // A red wall 8 x 8 across the front view (which looks along x) and a
    // glass pane 4 x 4 touching it on either side, each half over the wall
    // and half beyond opposite edges of it. At opacity 0.4 a pixel is 0.4 of
    // the pane drawn opaque and 0.6 of what lies behind: the wall, or the
    // plain background (40, 40, 40); the wall is as bright behind the glass
    // as beside it (glass darkens no corner). Cut out, the pane over nothing
    // keeps its colour at alpha 0.4.
    std::vector<Voxel> voxels;
    AddBox(voxels, {0, 0, 0}, {0, 7, 7}, 4);
    AddBox(voxels, {1, 2, 6}, {1, 5, 9}, 10);
    AddBox(voxels, {-1, 2, -2}, {-1, 5, 1}, 10);
    for (bool buffers : {true, false}) {
        std::array<int, 3> got[2][3];  // [glass, opaque pane][over the wall, over the background, the wall]
        std::array<int, 4> cutOut;     // RGBA of the pane over nothing
        for (int opaque = 0; opaque < 2; ++opaque) {
            LoadedModel model =
                Painted(voxels, {{4, {200, 40, 40}}, {10, {60, 140, 230}}}, {{10, opaque ? VoxelLook{} : Glass(0.4f)}});
            PictureSettings plain = Settings(256, 256, ViewName::Front, BackgroundKind::Plain, true, buffers);
            std::fill(plain.backgroundRgb, plain.backgroundRgb + 3, 40);
            const Rendered r = Render(model, plain);
            const Vector3 wall(float(model.bounds.minX + 1), float(model.bounds.minY), float(model.bounds.minZ + 2));
            const float side = r.view.stage.eye.x > wall.x ? 1 : -1;  // the pane the view sees
            const Vector3 points[3] = {wall + Vector3(1.5f * side, 3.5f, side > 0 ? 6.5f : 0.5f),
                                       wall + Vector3(1.5f * side, 3.5f, side > 0 ? 8.5f : -1.5f),
                                       wall + Vector3(0.5f * side, 6.0f, 3.5f)};
            for (int k = 0; k < 3; ++k) got[opaque][k] = Rgb(r.picture, PixelOf(r, points[k]));
            if (opaque) continue;
            const Rendered t =
                Render(model, Settings(256, 256, ViewName::Front, BackgroundKind::Transparent, true, buffers));
            const std::array<int, 2> at = PixelOf(t, points[1]);
            const uint8_t* px = &t.picture.pixels[(size_t(at[1]) * 256 + at[0]) * 4];
            cutOut = {px[0], px[1], px[2], px[3]};
        }
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(got[0][0][c], 0.4 * got[1][0][c] + 0.6 * got[0][2][c], 4) << buffers << ", over the wall";
            EXPECT_NEAR(got[0][1][c], 0.4 * got[1][1][c] + 0.6 * 40, 3) << buffers << ", over the background";
            EXPECT_NEAR(cutOut[c], got[1][1][c], 4) << buffers << ", cut out";
        }
        EXPECT_NEAR(cutOut[3], 0.4 * 255, 2) << buffers;
    }
}

TEST_F(ModelPicture, TranslucentFacesAreSortedAgainWhenTheModelTurns) {
    // A red pane and a blue one, seen through both at the picture's
    // middle: the nearer one's colour leads, also after a half turn.
    std::vector<Voxel> voxels;
    AddBox(voxels, {0, 0, 0}, {0, 9, 9}, 5);
    AddBox(voxels, {6, 0, 0}, {6, 9, 9}, 6);
    LoadedModel model = Painted(voxels, {{5, {230, 30, 30}}, {6, {30, 30, 230}}}, {{5, Glass(0.6f)}, {6, Glass(0.6f)}});
    PictureRenderer r;
    std::string error;
    ASSERT_TRUE(OpenPictureRenderer(r, model, Settings(128, 128, ViewName::Front, BackgroundKind::Plain), error));
    int redLead[2];
    for (int half = 0; half < 2; ++half) {
        const Picture picture = Shot(r, Clock(0, 0, 180.0 * half)).picture;
        redLead[half] = Rgb(picture, {64, 64})[0] - Rgb(picture, {64, 64})[2];
    }
    ClosePictureRenderer(r);
    // The front view's eye is on +x: the blue pane (x = 6) is nearer, then the red one.
    EXPECT_LT(redLead[0], -25);
    EXPECT_GT(redLead[1], 25);
}

TEST_F(ModelPicture, AMetalFaceHasAHighlightWhoseSizeFollowsRoughnessAndStrengthFollowsMetal) {
    // A plate in the iso view, the light far off where the plate's middle
    // mirrors it into the eye; at the mirror point the highlight is the
    // whole strength however rough the face, elsewhere it falls off slower
    // the rougher the face.
    std::vector<Voxel> voxels;
    AddBox(voxels, {0, 0, 0}, {23, 0, 23}, 7);
    const float kinds[4][2] = {{0, 1}, {0.3f, 0.2f}, {0.6f, 0.2f}, {0.6f, 0.6f}};  // strength, roughness
    int rise[4];
    size_t spread[4] = {0, 0, 0, 0};  // pixels within a quarter of the peak
    std::vector<uint8_t> diffuse;     // the same plate without its metal
    for (int k = 0; k < 4; ++k) {
        const VoxelLook metal{VoxelSurface::Metal, 0, 1, kinds[k][0], kinds[k][1], 1.5f};
        LoadedModel model = Painted(voxels, {{7, {20, 20, 25}}}, {{7, k ? metal : VoxelLook{}}});
        PictureRenderer r;
        std::string error;
        ASSERT_TRUE(OpenPictureRenderer(r, model, Settings(192, 192, ViewName::Iso, BackgroundKind::Plain), error));
        Shot(r);  // for the view
        const Vector3 middle(float(model.bounds.minX + model.bounds.maxX) / 2, 0.5f,
                             float(model.bounds.minZ + model.bounds.maxZ) / 2);
        const Vector3 toEye = r.view.stage.eye - middle, light = middle + Vector3(-toEye.x, toEye.y, -toEye.z) * 20.0f;
        r.light.position =
            Vector4(light.x / r.view.stage.scale, light.y / r.view.stage.scale, light.z / r.view.stage.scale, 1.0f);
        const Rendered shot = Shot(r);
        ClosePictureRenderer(r);
        if (k == 0) diffuse = shot.picture.pixels;
        const std::array<int, 2> at = PixelOf(shot, middle);
        rise[k] = shot.picture.pixels[(size_t(at[1]) * 192 + at[0]) * 3] - diffuse[(size_t(at[1]) * 192 + at[0]) * 3];
        for (size_t p = 0; p < diffuse.size(); p += 3) {
            spread[k] += shot.picture.pixels[p] - diffuse[p] > 0.75 * rise[k];
        }
    }
    EXPECT_GT(rise[1], 50) << "brighter than the diffuse face at the highlight";
    EXPECT_NEAR(double(rise[2]) / rise[1], 2.0, 0.3) << "twice the strength";
    EXPECT_GT(spread[3], spread[2] * 3 / 2) << spread[2] << ", then " << spread[3] << ": rougher, wider";
}

}  // namespace
