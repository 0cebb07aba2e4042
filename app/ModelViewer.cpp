#include "app/ModelViewer.h"

#include <GL/gl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "app/AssetRoot.h"
#include "app/ModelFiles.h"
#include "app/ModelView.h"
#include "app/Scene.h"
#include "app/Viewer.h"
#include "app/WalkFrames.h"
#include "platform/Offscreen.h"
#include "platform/Window.h"
#include "png/PngWrite.h"
#include "render/BitmapFont.h"
#include "render/GLSetup.h"
#include "render/Screen.h"
#include "render/Texture.h"

namespace {

constexpr int32_t kWindowWidth = 1024, kWindowHeight = 768;
constexpr int kWindowSamples = 2;  // asked of the window and of snapshots
// Snapshots up to 2048 x 2048 are multisampled: at four samples (llvmpipe's
// count for 2) their buffers take 128 MB; larger ones would take up to 2 GB.
constexpr int64_t kMultisamplePixelLimit = int64_t{2048} * 2048;

// One line on stderr; standard output stays empty outside the walk.
void Report(const std::string& line) { std::fprintf(stderr, "voxwalk: %s\n", line.c_str()); }

bool FileExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

// Loads the model with the log channel pointed away from standard output.
bool LoadForViewing(const std::string& path, LoadedModel& model) {
    SilenceLog();
    std::string error;
    if (!LoadModelFrames(path, model, error)) {
        Report(error);
        return false;
    }
    return true;
}

// The walk's perspective with clip planes moved out with the scene.
void LoadProjection(float aspect, float scale) {
    const Matrix4 projection = ModelProjection(aspect, scale);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(projection.data());
    glMatrixMode(GL_MODELVIEW);
}

// Deletes a frame's lit and shadow lists.
void DeleteFrameLists(VoxelModel& frame) {
    if (frame.displayList != 0) glDeleteLists(frame.displayList, 1);
    if (frame.shadowList != 0) glDeleteLists(frame.shadowList, 1);
    frame.displayList = frame.shadowList = 0;
}

// Reads the window's back buffer as top-row-first RGB rows.
std::vector<uint8_t> ReadWindowPixels(int width, int height) {
    const size_t stride = static_cast<size_t>(width) * 3;
    std::vector<uint8_t> bottomUp(stride * height), topDown(stride * height);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
    for (int y = 0; y < height; ++y) {
        std::memcpy(&topDown[stride * y], &bottomUp[stride * (height - 1 - y)], stride);
    }
    return topDown;
}

// The third HUD line: what is shown and how.
std::string ModelHudText(const LoadedModel& model, const ModelClock& clock) {
    const size_t count = model.frames.size();
    std::string text = model.name + " - " + std::to_string(count) + (count == 1 ? " frame" : " frames");
    if (clock.paused) text += " - paused";
    if (clock.speed != 1.0) {
        char speed[32];
        std::snprintf(speed, sizeof speed, " - speed x%g", clock.speed);
        text += speed;
    }
    return text;
}

// Keys, the left-button drag and the wheel since the last frame.
void HandleInput(ModelSession& s, bool& wantShot) {
    const int32_t count = static_cast<int32_t>(s.model.frames.size());
    for (Key key = NextKeyPress(); key != Key::NoKey; key = NextKeyPress()) {
        switch (key) {
            case Key::Space: s.clock.paused = !s.clock.paused; break;
            case Key::Left: if (s.clock.paused) StepModelFrame(s.clock, -1, count); break;
            case Key::Right: if (s.clock.paused) StepModelFrame(s.clock, 1, count); break;
            case Key::Plus: ChangeSpeed(s.clock, true); break;
            case Key::Minus: ChangeSpeed(s.clock, false); break;
            case Key::R: s.orbit = Orbit{}; break;
            case Key::F12: wantShot = true; break;
            case Key::NoKey: break;
        }
    }
    double x = 0, y = 0;
    GetCursorPosition(x, y);
    if (IsLeftButtonDown()) {
        if (s.dragging) DragOrbit(s.orbit, x - s.dragX, y - s.dragY);
        s.dragging = true;
        s.dragX = x;
        s.dragY = y;
    } else {
        s.dragging = false;
    }
    const double wheel = TakeScroll();
    if (wheel != 0.0) ZoomOrbit(s.orbit, wheel);
}

// Clocks, scene and the three HUD lines of one window frame.
void DrawWindowFrame(ModelSession& s, const Clock& clock) {
    const double now = clock();
    AdvanceModelClock(s.clock, now - s.previousTime, static_cast<int32_t>(s.model.frames.size()),
                      s.scale);
    s.previousTime = now;
    const int32_t frame = ModelFrameIndex(s.clock, static_cast<int32_t>(s.model.frames.size()));
    const Stage stage = MakeStage(ViewName::Window, s.orbit, s.clock, s.model.bounds, s.scale);
    DrawStage(stage, ModelMatrix(s.clock), s.model.frames[frame], s.light,
              s.textureTable);

    s.framesCounted += 1;
    if (clock() > s.nextFpsTime) {
        s.nextFpsTime = clock() + fpsInterval;
        s.fpsText = "FPS = " + std::to_string(s.framesCounted);
        s.framesCounted = 0;
    }
    DrawHud(*s.font, s.fpsText, frame + 1);
    const std::string modelText = ModelHudText(s.model, s.clock);
    BeginText(*s.font);
    PrintText(*s.font, modelText, static_cast<float>(HudTextX(screen.halfWidth, modelText)),
              static_cast<float>(screen.height - 48), 1.0f, 1.0f, 1.0f, 20.0f, 0.0f, 0.0f);
    EndText(*s.font);
}

// F12: the back buffer as it is about to be shown, into the next free shot
// name beside the model; the path (or why not) goes to stderr.
void SaveScreenshot(const std::string& modelPath) {
    const std::string path = ScreenshotPath(modelPath, FileExists);
    const std::vector<uint8_t> pixels = ReadWindowPixels(screen.width, screen.height);
    std::string error;
    if (PngWriteFile(path.c_str(), pixels.data(), screen.width, screen.height, 3, error)) {
        Report("screenshot saved to " + path);
    } else {
        Report("screenshot not saved: " + error);
    }
}

}  // namespace

std::string ScreenshotPath(const std::string& modelPath, bool (*exists)(const std::string&)) {
    std::string base = modelPath;
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    const size_t slash = base.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = base.rfind('.');
    // A name that starts with its only dot (".hidden") has no extension.
    if (dot != std::string::npos && dot > nameStart) base.erase(dot);
    for (int n = 1;; ++n) {
        const std::string path = base + "-" + std::to_string(n) + ".png";
        if (!exists(path) || n == 1000000) return path;
    }
}

int StartModelViewer(ModelSession& s, const std::string& path, const Clock& clock) {
    s.path = path;
    if (!LoadForViewing(path, s.model)) return kExitInput;
    // The window layer's one line says why there is no window.
    SetNoWindowConsequence("the model cannot be shown, but --snapshot renders without one");
    if (!OpenGLWindow(kWindowWidth, kWindowHeight, 32, 0, kWindowSamples, 0)) return kExitInput;
    SetUpGL(kWindowWidth, kWindowHeight, 32);
    s.scale = SceneScale(s.model.bounds, windowAspect);
    LoadProjection(screen.aspect, s.scale);
    SetupViewerLight(s.light);
    s.font.emplace(16.0f);
    const std::string root = AssetRoot();
    LoadFont(*s.font, (root + fontSheetPath).c_str());
    LoadTexture((root + grassTexturePath).c_str(), s.textureTable, 0,
                (root + textureDirectory).c_str());
    for (VoxelModel& frame : s.model.frames) {
        BuildFrameList(frame);
        // Only the lists are drawn from now on.
        frame.voxels = std::vector<Voxel>();
    }
    s.previousTime = clock();
    return 0;
}

void RunModelViewerFrame(ModelSession& s, const Clock& clock) {
    bool wantShot = false;
    HandleInput(s, wantShot);
    DrawWindowFrame(s, clock);
    if (wantShot) SaveScreenshot(s.path);
}

void StopModelViewer(ModelSession& s) {
    for (VoxelModel& frame : s.model.frames) DeleteFrameLists(frame);
    s.font.reset();
}

int RunModelViewer(const Options& options, const Clock& clock) {
    ModelSession s;
    const int status = StartModelViewer(s, options.path, clock);
    if (status != 0) return status;
    do {
        RunModelViewerFrame(s, clock);
        std::this_thread::sleep_for(std::chrono::milliseconds(frameSleepMs));
        PresentWindow();
    } while (!IsEscapeDown());
    StopModelViewer(s);
    return 0;
}

int RunSnapshot(const Options& options) {
    LoadedModel model;
    if (!LoadForViewing(options.path, model)) return kExitInput;
    const int32_t count = static_cast<int32_t>(model.frames.size());
    if (options.frame > count) {
        Report("frame " + std::to_string(options.frame) + " asked for, but " + options.path +
               " has " + std::to_string(count) + (count == 1 ? " frame" : " frames"));
        std::fprintf(stderr, "Try 'voxwalk --help' for more information.\n");
        return kExitUsage;
    }
    // Refuse an output folder that cannot be written before rendering.
    const size_t slash = options.output.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : options.output.substr(0, slash + 1);
    if (access(folder.c_str(), W_OK) != 0) {
        Report(options.output + ": " + std::strerror(errno));
        return kExitInput;
    }
    std::string error;
    // The window's multisampling, where the buffers stay small; a transparent
    // picture keeps hard edges, cut out by the depth buffer it reads back.
    const bool multisample = options.background != BackgroundKind::Transparent &&
                             int64_t{options.width} * options.height <= kMultisamplePixelLimit;
    if (!OpenOffscreenGL(options.width, options.height, error, multisample ? kWindowSamples : 0)) {
        Report("cannot render offscreen: " + error);
        return kExitInput;
    }
    SetUpGL(options.width, options.height, 32);
    const float aspect = static_cast<float>(options.width) / static_cast<float>(options.height);
    const float scale = SceneScale(model.bounds, aspect);
    LoadProjection(aspect, scale);
    LightSource light;
    SetupViewerLight(light);
    std::vector<TextureEntry> textureTable;
    if (options.background == BackgroundKind::Scene) {
        const std::string root = AssetRoot();
        LoadTexture((root + grassTexturePath).c_str(), textureTable, 0,
                    (root + textureDirectory).c_str());
    } else if (options.background == BackgroundKind::Plain) {
        glClearColor(options.backgroundRgb[0] / 255.0f, options.backgroundRgb[1] / 255.0f,
                     options.backgroundRgb[2] / 255.0f, 1.0f);
    } else {
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    }

    ModelClock clock = options.time >= 0.0 ? ModelClockAt(options.time, count, scale) : ModelClock{};
    if (options.time < 0.0) clock.animClock = options.frame - 1;
    VoxelModel& frame = model.frames[ModelFrameIndex(clock, count)];
    BuildFrameList(frame);  // only the frame in the picture
    Stage stage = MakeStage(options.view, Orbit{}, clock, model.bounds, scale);
    stage.ground = options.background == BackgroundKind::Scene;
    DrawStage(stage, ModelMatrix(clock), frame, light, textureTable);
    glFinish();

    std::vector<uint8_t> rgba = ReadOffscreenPixels(options.width, options.height);
    const size_t pixelCount = static_cast<size_t>(options.width) * options.height;
    int channels = 3;
    if (options.background == BackgroundKind::Transparent) {
        // Opaque where the model wrote depth; the lit voxels carry alpha 8,
        // and the flat shadow writes no depth, so it goes with the ground.
        std::vector<float> depth(pixelCount);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, options.width, options.height, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
        for (int32_t y = 0; y < options.height; ++y) {
            const float* row = &depth[static_cast<size_t>(options.height - 1 - y) * options.width];
            uint8_t* out = &rgba[static_cast<size_t>(y) * options.width * 4];
            for (int32_t x = 0; x < options.width; ++x) out[4 * x + 3] = row[x] < 1.0f ? 255 : 0;
        }
        channels = 4;
    } else {
        for (size_t i = 0; i < pixelCount; ++i) {
            rgba[3 * i + 0] = rgba[4 * i + 0];
            rgba[3 * i + 1] = rgba[4 * i + 1];
            rgba[3 * i + 2] = rgba[4 * i + 2];
        }
    }
    DeleteFrameLists(frame);
    CloseOffscreenGL();
    if (!PngWriteFile(options.output.c_str(), rgba.data(), options.width, options.height, channels,
                      error)) {
        Report(error);
        return kExitInput;
    }
    return 0;
}
