#include "app/view/Snapshot.h"

#include <GL/gl.h>

#include <cstdio>

#include "app/export/Output.h"
#include "app/stage/Assets.h"
#include "app/stage/FrameLists.h"
#include "app/view/Camera.h"
#include "app/view/ModelScene.h"
#include "platform/Offscreen.h"
#include "png/PngWrite.h"

namespace {

constexpr int kSamples = 2;  // as the window asks
// Pictures up to 2048 x 2048 are multisampled: at four samples (llvmpipe's
// count for 2) their buffers take 128 MB; larger ones would take up to 2 GB.
constexpr int64_t kMultisamplePixelLimit = int64_t{2048} * 2048;

// Opaque where the model wrote depth; the lit voxels carry alpha 8, and the
// flat shadow writes no depth, so it goes with the ground.
void CutOutByDepth(int32_t width, int32_t height, std::vector<uint8_t>& rgba) {
    std::vector<float> depth(static_cast<size_t>(width) * height);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
    for (int32_t y = 0; y < height; ++y) {
        const float* row = &depth[static_cast<size_t>(height - 1 - y) * width];
        uint8_t* out = &rgba[static_cast<size_t>(y) * width * 4];
        for (int32_t x = 0; x < width; ++x) out[4 * x + 3] = row[x] < 1.0f ? 255 : 0;
    }
}

void DropAlpha(std::vector<uint8_t>& pixels) {
    const size_t count = pixels.size() / 4;
    for (size_t i = 0; i < count; ++i) {
        pixels[3 * i + 0] = pixels[4 * i + 0];
        pixels[3 * i + 1] = pixels[4 * i + 1];
        pixels[3 * i + 2] = pixels[4 * i + 2];
    }
    pixels.resize(3 * count);
}

}  // namespace

bool OpenPictureRenderer(PictureRenderer& r, LoadedModel& model, const PictureSettings& settings,
                         std::string& error) {
    r = PictureRenderer{};
    r.model = &model;
    r.settings = settings;
    const int32_t count = static_cast<int32_t>(model.frames.size());
    r.motion = MotionOf(count, model.ownMotion);
    // The window's multisampling, where the buffers stay small; a transparent
    // picture keeps hard edges, cut out by the depth buffer it reads back.
    const bool multisample = settings.background != BackgroundKind::Transparent &&
                             int64_t{settings.width} * settings.height <= kMultisamplePixelLimit;
    if (!OpenOffscreenGL(settings.width, settings.height, error, multisample ? kSamples : 0)) {
        error = "cannot render offscreen: " + error;
        return false;
    }
    SetUpGL(settings.width, settings.height, 32);
    r.scale = PictureScale(model.bounds, static_cast<float>(settings.width) / static_cast<float>(settings.height),
                           settings.turning);
    SetupSceneLight(r.light);
    if (settings.background == BackgroundKind::Scene) {
        LoadViewAssets(nullptr, &r.textureTable);
    } else if (settings.background == BackgroundKind::Plain) {
        glClearColor(settings.backgroundRgb[0] / 255.0f, settings.backgroundRgb[1] / 255.0f,
                     settings.backgroundRgb[2] / 255.0f, 1.0f);
    } else {
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    }
    return true;
}

void RenderPicture(PictureRenderer& r, const ModelClock& clock, Picture& picture) {
    const PictureSettings& s = r.settings;
    VoxelModel& frame = r.model->frames[ModelFrameIndex(clock, static_cast<int32_t>(r.model->frames.size()))];
    PrepareFrameList(frame);
    Stage stage = MakeStage(s.view, Orbit{}, clock, r.model->bounds, r.scale);
    stage.ground = s.background == BackgroundKind::Scene;
    const VoxelBounds& b = r.model->bounds;
    const Vector2 middle(0.5f * static_cast<float>(b.minX + b.maxX), 0.5f * static_cast<float>(b.minZ + b.maxZ));
    DrawModelFrame(stage, static_cast<float>(s.width) / static_cast<float>(s.height), ModelMatrix(clock, middle),
                   frame, r.light, r.textureTable);
    glFinish();
    picture.width = s.width;
    picture.height = s.height;
    picture.pixels = ReadOffscreenPixels(s.width, s.height);
    if (s.background == BackgroundKind::Transparent) {
        CutOutByDepth(s.width, s.height, picture.pixels);
        picture.channels = 4;
    } else {
        DropAlpha(picture.pixels);
        picture.channels = 3;
    }
}

void ReleasePictureFrame(PictureRenderer& r, int32_t index) {
    if (r.model != nullptr && index >= 0 && index < static_cast<int32_t>(r.model->frames.size())) {
        DeleteFrameLists(r.model->frames[static_cast<size_t>(index)]);
    }
}

void ClosePictureRenderer(PictureRenderer& r) {
    if (r.model != nullptr) {
        for (VoxelModel& frame : r.model->frames) DeleteFrameLists(frame);
    }
    CloseOffscreenGL();
    r = PictureRenderer{};
}

PictureSettings PictureSettingsOf(const Options& options) {
    PictureSettings settings;
    settings.width = options.width;
    settings.height = options.height;
    settings.view = options.view;
    settings.background = options.background;
    for (int i = 0; i < 3; ++i) settings.backgroundRgb[i] = options.backgroundRgb[i];
    settings.turning = options.angleGiven;
    return settings;
}

ModelClock SnapshotClock(const Options& options, int32_t frameCount, Motion motion, float scale) {
    ModelClock clock;
    if (options.time >= 0.0) {
        clock = ModelClockAt(options.time, frameCount, motion, scale);
    } else {
        clock.animClock = options.frame - 1;
    }
    clock.turn = options.angle;
    return clock;
}

int RunSnapshot(const Options& options) {
    LoadedModel model;
    if (!LoadForViewing(options.path, model)) return kExitInput;
    const int32_t count = static_cast<int32_t>(model.frames.size());
    if (options.frame > count) {
        Report("frame " + std::to_string(options.frame) + " asked for, but " + options.path + " has " +
               std::to_string(count) + (count == 1 ? " frame" : " frames"));
        std::fprintf(stderr, "Try 'voxwalk --help' for more information.\n");
        return kExitUsage;
    }
    // Refuse an output that may not or cannot be written before rendering.
    OutputFile output;
    std::string error;
    if (!PrepareOutput(options.output, model.files, output, error)) {
        Report(error);
        return kExitInput;
    }
    PictureRenderer renderer;
    if (!OpenPictureRenderer(renderer, model, PictureSettingsOf(options), error)) {
        Report(error);
        return kExitInput;
    }
    Picture picture;
    RenderPicture(renderer, SnapshotClock(options, count, renderer.motion, renderer.scale), picture);
    ClosePictureRenderer(renderer);
    const std::vector<uint8_t> png = PngEncode(picture.pixels.data(), picture.width, picture.height,
                                               picture.channels, PngCompression::Fast);
    if (png.empty() || !WriteWholeOutput(output, png, error)) {
        Report(png.empty() ? options.output + ": the picture could not be encoded" : error);
        return kExitInput;
    }
    return 0;
}
