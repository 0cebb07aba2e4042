#include "app/view/Snapshot.h"

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

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
// A whole turn is framed through this many angles of each ring of points:
// at one degree apart a ring's chords fall short of it by 0.004 %.
constexpr int kTurnSamples = 360;

// Opaque where an opaque voxel wrote depth (the lit voxels carry alpha 8,
// and a transparent picture has no ground or shadow to keep). Elsewhere
// only translucent faces were drawn, which write no depth: their coverage
// gathered in the alpha over the clear black, so the colour there is
// premultiplied and is divided by it.
void CutOutByDepth(int32_t width, int32_t height, std::vector<uint8_t>& rgba) {
    std::vector<float> depth(static_cast<size_t>(width) * height);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
    for (int32_t y = 0; y < height; ++y) {
        const float* row = &depth[static_cast<size_t>(height - 1 - y) * width];
        uint8_t* out = &rgba[static_cast<size_t>(y) * width * 4];
        for (int32_t x = 0; x < width; ++x) {
            uint8_t* px = &out[4 * x];
            if (row[x] < 1.0f) {
                px[3] = 255;
            } else if (px[3] > 0) {
                for (int c = 0; c < 3; ++c) {
                    px[c] = static_cast<uint8_t>(std::min(255, (px[c] * 255 + px[3] / 2) / px[3]));
                }
            } else {
                px[0] = px[1] = px[2] = 0;
            }
        }
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

float Aspect(const PictureSettings& s) { return static_cast<float>(s.width) / static_cast<float>(s.height); }

// Every frame's hull candidates, in model cells; the model's box when no
// frame draws anything, so that every picture has something to frame.
std::vector<Vector3> ModelCandidates(const LoadedModel& model) {
    Matrix4 identity(0.0f);
    setIdentity(identity);
    std::vector<Vector3> points;
    for (const VoxelModel& frame : model.frames) AppendHullCandidates(frame, identity, points);
    if (!points.empty()) return points;
    const VoxelBounds& b = model.bounds;
    for (int corner = 0; corner < 8; ++corner) {
        points.push_back(Vector3((corner & 1 ? b.maxX : b.minX) + (corner & 1 ? 0.5f : -0.5f),
                                 (corner & 2 ? b.maxY : b.minY) + (corner & 2 ? 0.5f : -0.5f),
                                 (corner & 4 ? b.maxZ : b.minZ) + (corner & 4 ? 0.5f : -0.5f)));
    }
    return points;
}

// The candidates swept through a whole turn about the middle: at each height
// the widest ring, as points a degree apart.
std::vector<Vector3> WholeTurn(const std::vector<Vector3>& candidates, Vector2 middle) {
    std::map<float, float> widest;  // height -> radius
    for (const Vector3& p : candidates) {
        const float dx = p.x - middle.x, dz = p.z - middle.y;
        float& radius = widest[p.y];
        radius = std::max(radius, std::sqrt(dx * dx + dz * dz));
    }
    std::vector<Vector3> points;
    points.reserve(widest.size() * kTurnSamples);
    for (const auto& [height, radius] : widest) {
        for (int k = 0; k < kTurnSamples; ++k) {
            const double angle = 2.0 * 3.14159265358979323846 * k / kTurnSamples;
            points.push_back(Vector3(middle.x + radius * static_cast<float>(std::cos(angle)), height,
                                     middle.y + radius * static_cast<float>(std::sin(angle))));
        }
    }
    return points;
}

// Frames the pictures of the model placed with this heading and turn (a
// whole turn counts as none when the pictures turn).
void Frame(PictureRenderer& r, double heading, double turn) {
    ModelClock placed;
    placed.heading = heading;
    placed.turn = r.settings.turning ? 0.0 : turn;
    if (r.framed && r.framedHeading == placed.heading && r.framedTurn == placed.turn) return;
    const Matrix4 placement = PicturePlacement(placed, r.middle);
    std::vector<Vector3> points;
    for (const Vector3& p : r.settings.turning ? WholeTurn(r.candidates, r.middle) : r.candidates) {
        points.push_back(Vector3(p * placement));
    }
    r.framing = FramePoints(r.settings.view, points, Aspect(r.settings), r.scale);
    r.framed = true;
    r.framedHeading = placed.heading;
    r.framedTurn = placed.turn;
}

}  // namespace

bool OpenPictureRenderer(PictureRenderer& r, LoadedModel& model, const PictureSettings& settings, std::string& error) {
    r = PictureRenderer{};
    r.model = &model;
    r.settings = settings;
    r.motion = MotionOf(static_cast<int32_t>(model.frames.size()), model.ownMotion);
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
    const VoxelBounds& b = model.bounds;
    r.middle = Vector2(0.5f * static_cast<float>(b.minX + b.maxX), 0.5f * static_cast<float>(b.minZ + b.maxZ));
    r.candidates = ModelCandidates(model);
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
    const size_t index = static_cast<size_t>(ModelFrameIndex(clock, static_cast<int32_t>(r.model->frames.size())));
    if (!r.built[index]) {
        UploadModelMesh(r.drawer, r.model->frames[index], s.ambientOcclusion, r.meshes[index]);
        r.built[index] = true;
    }
    Frame(r, clock.heading, clock.turn);
    // The camera goes with the model along its walk.
    r.view = r.framing;
    r.view.stage.eye += clock.position;
    r.view.stage.target += clock.position;
    r.view.stage.ground = s.background == BackgroundKind::Scene;
    r.view.stage.shadow = s.background != BackgroundKind::Transparent;
    DrawModelMesh(r.view.stage, r.view.projection, ModelMatrix(clock, r.middle), r.drawer, r.meshes[index], r.light,
                  r.textureTable);
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
    if (index < 0 || static_cast<size_t>(index) >= r.meshes.size()) return;
    DeleteModelMesh(r.drawer, r.meshes[static_cast<size_t>(index)]);
    r.built[static_cast<size_t>(index)] = false;
}

void ClosePictureRenderer(PictureRenderer& r) {
    for (ModelMeshGL& mesh : r.meshes) DeleteModelMesh(r.drawer, mesh);
    CloseModelRenderer(r.drawer);
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
    settings.ambientOcclusion = options.ambientOcclusion;
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
        return ReportUsage(FramesMissing("frame " + std::to_string(options.frame), options.path, count));
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
    model = LoadedModel{};
    DisarmDeadline(deadline);
    const std::vector<uint8_t> png =
        PngEncode(picture.pixels.data(), picture.width, picture.height, picture.channels, PngCompression::Fast);
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
