#include "app/view/Snapshot.h"

#include <GL/gl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "app/export/Output.h"
#include "app/stage/Assets.h"
#include "app/view/Camera.h"
#include "app/view/ModelScene.h"
#include "platform/Offscreen.h"
#include "png/PngWrite.h"

namespace {

constexpr int kSamples = 2;  // as the window asks
// Pictures up to 2048 x 2048 are multisampled: at four samples (llvmpipe's
// count for 2) their buffers take 128 MB; larger ones would take up to 2 GB.
constexpr int64_t kMultisamplePixelLimit = int64_t{2048} * 2048;

// Opaque where the model wrote depth: the lit voxels carry alpha 8, and a
// transparent picture has no ground or shadow to keep.
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

// Frame `index`'s hull candidates in model units; the model's box when the
// frame draws nothing, so that every picture has something to frame.
std::vector<Vector3> FrameCandidates(const PictureRenderer& r, int32_t index) {
    Matrix4 identity(0.0f);
    setIdentity(identity);
    std::vector<Vector3> points;
    AppendHullCandidates(r.model->frames[static_cast<size_t>(index)], identity, points);
    if (!points.empty()) return points;
    const VoxelBounds& b = r.model->bounds;
    for (int corner = 0; corner < 8; ++corner) {
        points.push_back(Vector3((corner & 1 ? b.maxX : b.minX) + (corner & 1 ? 0.5f : -0.5f),
                                 (corner & 2 ? b.maxY : b.minY) + (corner & 2 ? 0.5f : -0.5f),
                                 (corner & 4 ? b.maxZ : b.minZ) + (corner & 4 ? 0.5f : -0.5f)));
    }
    return points;
}

// `local` placed as `clock` places the model (PicturePlacement).
void AppendPlaced(const std::vector<Vector3>& local, const ModelClock& clock, std::vector<Vector3>& points) {
    const Matrix4 placement = PicturePlacement(clock);
    for (const Vector3& p : local) points.push_back(Vector3(p * placement));
}

float Aspect(const PictureSettings& s) { return static_cast<float>(s.width) / static_cast<float>(s.height); }

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
    OpenModelRenderer(r.drawer, settings.vertexBuffers);
    r.meshes.resize(model.frames.size());
    r.built.assign(model.frames.size(), false);
    r.scale = SceneScale(model.bounds, Aspect(settings));
    SetupSceneLight(r.light);
    if (settings.background == BackgroundKind::Scene) {
        LoadViewAssets(nullptr, &r.textureTable);
    } else if (settings.background == BackgroundKind::Plain) {
        glClearColor(settings.backgroundRgb[0] / 255.0f, settings.backgroundRgb[1] / 255.0f,
                     settings.backgroundRgb[2] / 255.0f, 1.0f);
    } else {
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    }
    // One framing for every picture: an animation's moments, or a keyframed
    // scene's frames in its one frame of reference.
    std::vector<ModelClock> moments = settings.framedMoments;
    if (moments.empty() && r.motion == Motion::InPlace) {
        for (int32_t i = 0; i < count; ++i) moments.push_back(ModelClock{static_cast<double>(i), 0, {}, 1, false});
    }
    if (!moments.empty()) {
        // Each frame's candidates once, placed for every moment that shows it.
        std::vector<std::vector<Vector3>> candidates(model.frames.size());
        std::vector<bool> found(model.frames.size(), false);
        std::vector<Vector3> points;
        for (const ModelClock& moment : moments) {
            const int32_t index = ModelFrameIndex(moment, count);
            if (!found[static_cast<size_t>(index)]) {
                candidates[static_cast<size_t>(index)] = FrameCandidates(r, index);
                found[static_cast<size_t>(index)] = true;
            }
            AppendPlaced(candidates[static_cast<size_t>(index)], moment, points);
        }
        r.framing = FramePoints(settings.view, points, Aspect(settings), r.scale);
        r.fixedFraming = true;
    }
    return true;
}

void RenderPicture(PictureRenderer& r, const ModelClock& clock, Picture& picture) {
    const PictureSettings& s = r.settings;
    const int32_t index = ModelFrameIndex(clock, static_cast<int32_t>(r.model->frames.size()));
    if (!r.built[static_cast<size_t>(index)]) {
        UploadModelMesh(r.drawer, r.model->frames[static_cast<size_t>(index)], s.ambientOcclusion,
                        r.meshes[static_cast<size_t>(index)]);
        r.built[static_cast<size_t>(index)] = true;
    }
    if (r.fixedFraming) {
        r.view = r.framing;
    } else {
        std::vector<Vector3> points;
        AppendPlaced(FrameCandidates(r, index), clock, points);
        r.view = FramePoints(s.view, points, Aspect(s), r.scale);
    }
    // The camera goes with the model along its walk.
    r.view.stage.eye += clock.position;
    r.view.stage.target += clock.position;
    r.view.stage.ground = s.background == BackgroundKind::Scene;
    r.view.stage.shadow = s.background != BackgroundKind::Transparent;
    DrawModelMesh(r.view.stage, r.view.projection, ModelMatrix(clock), r.drawer, r.meshes[static_cast<size_t>(index)],
                  r.light, r.textureTable);
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

void ClosePictureRenderer(PictureRenderer& r) {
    for (ModelMeshGL& mesh : r.meshes) DeleteModelMesh(r.drawer, mesh);
    CloseModelRenderer(r.drawer);
    CloseOffscreenGL();
    r = PictureRenderer{};
}

ModelClock SnapshotClock(const Options& options, int32_t frameCount, Motion motion, float scale) {
    ModelClock clock;
    if (options.time >= 0.0) {
        clock = ModelClockAt(options.time, frameCount, motion, scale);
    } else {
        clock.animClock = options.frame - 1;
    }
    clock.heading += options.angle;
    return clock;
}

void ArmDeadline(Deadline& d, double seconds, const std::string& line) {
    d.disarmed = false;
    d.watchdog = std::thread([&d, seconds, line] {
        std::unique_lock<std::mutex> lock(d.mutex);
        if (d.changed.wait_for(lock, std::chrono::duration<double>(seconds), [&d] { return d.disarmed; })) return;
        // Under the lock: the main thread cannot begin an output meanwhile.
        std::fprintf(stderr, "voxwalk: %s\n", line.c_str());
        std::fflush(stderr);
        std::_Exit(kExitInput);
    });
}

void DisarmDeadline(Deadline& d) {
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        d.disarmed = true;
    }
    d.changed.notify_all();
    if (d.watchdog.joinable()) d.watchdog.join();
}

namespace {

// The snapshot up to its file; the deadline is disarmed before the file is begun.
int RenderSnapshot(const Options& options, Deadline& deadline) {
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
    PictureSettings settings;
    settings.width = options.width;
    settings.height = options.height;
    settings.view = options.view;
    settings.background = options.background;
    for (int i = 0; i < 3; ++i) settings.backgroundRgb[i] = options.backgroundRgb[i];
    settings.ambientOcclusion = options.ambientOcclusion;
    PictureRenderer renderer;
    if (!OpenPictureRenderer(renderer, model, settings, error)) {
        Report(error);
        return kExitInput;
    }
    Picture picture;
    RenderPicture(renderer, SnapshotClock(options, count, renderer.motion, renderer.scale), picture);
    ClosePictureRenderer(renderer);
    model = LoadedModel{};
    DisarmDeadline(deadline);
    const std::vector<uint8_t> png = PngEncode(picture.pixels.data(), picture.width, picture.height,
                                               picture.channels, PngCompression::Fast);
    if (png.empty() || !WriteWholeOutput(output, png, error)) {
        Report(png.empty() ? options.output + ": the picture could not be encoded" : error);
        return kExitInput;
    }
    return 0;
}

}  // namespace

int RunSnapshot(const Options& options) {
    Deadline deadline;
    if (options.timeLimit > 0.0) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%g", options.timeLimit);
        ArmDeadline(deadline, options.timeLimit,
                    options.path + ": no picture within the time limit of " + seconds + " s; nothing written");
    }
    const int status = RenderSnapshot(options, deadline);
    DisarmDeadline(deadline);
    return status;
}
