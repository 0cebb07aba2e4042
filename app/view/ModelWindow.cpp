#include "app/view/ModelWindow.h"

#include <GL/gl.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "app/export/Output.h"
#include "app/stage/Assets.h"
#include "app/stage/Hud.h"
#include "app/view/ModelScene.h"
#include "platform/Window.h"
#include "png/PngWrite.h"
#include "render/Screen.h"

namespace {

constexpr int32_t kWindowWidth = 1024, kWindowHeight = 768;
constexpr int kWindowSamples = 2;

bool FileExists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
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
std::string ModelHudText(const ModelWindow& w) {
    const size_t count = w.model.frames.size();
    std::string text = w.hudName + " - " + std::to_string(count) + (count == 1 ? " frame" : " frames");
    if (w.clock.paused) text += " - paused";
    if (w.clock.speed != 1.0) {
        char speed[32];
        std::snprintf(speed, sizeof speed, " - speed x%g", w.clock.speed);
        text += speed;
    }
    return text;
}

// Keys, the left-button drag and the wheel since the last frame.
void HandleInput(ModelWindow& w, bool& wantShot) {
    const int32_t count = static_cast<int32_t>(w.model.frames.size());
    for (Key key = NextKeyPress(); key != Key::NoKey; key = NextKeyPress()) {
        switch (key) {
            case Key::Space: w.clock.paused = !w.clock.paused; break;
            case Key::Left:
                if (w.clock.paused) StepModelFrame(w.clock, -1, count);
                break;
            case Key::Right:
                if (w.clock.paused) StepModelFrame(w.clock, 1, count);
                break;
            case Key::Plus: ChangeSpeed(w.clock, true); break;
            case Key::Minus: ChangeSpeed(w.clock, false); break;
            case Key::R: w.orbit = Orbit{}; break;
            case Key::F12: wantShot = true; break;
            case Key::NoKey: break;
        }
    }
    double x = 0, y = 0;
    GetCursorPosition(x, y);
    if (IsLeftButtonDown()) {
        if (w.dragging) DragOrbit(w.orbit, x - w.dragX, y - w.dragY);
        w.dragging = true;
        w.dragX = x;
        w.dragY = y;
    } else {
        w.dragging = false;
    }
    const double wheel = TakeScroll();
    if (wheel != 0.0) ZoomOrbit(w.orbit, wheel);
}

// Clocks, scene and the three HUD lines of one window frame.
void DrawWindowFrame(ModelWindow& w, const Clock& clock) {
    const int32_t count = static_cast<int32_t>(w.model.frames.size());
    const double now = clock();
    AdvanceModelClock(w.clock, now - w.previousTime, count, w.motion, w.scale);
    w.previousTime = now;
    const int32_t frame = ModelFrameIndex(w.clock, count);
    const Stage stage = MakeStage(ViewName::Window, w.orbit, w.clock, w.model.bounds, w.scale);
    DrawModelMesh(stage, ModelProjection(screen.aspect, stage), ModelMatrix(w.clock), w.drawer,
                  w.meshes[static_cast<size_t>(frame)], w.light, w.textureTable);
    CountFrame(w.fps, clock);
    if (!w.font) return;  // no font sheet: no text
    DrawHud(*w.font, w.fps.fpsText, frame + 1);
    DrawHudLine(*w.font, ModelHudText(w), 48);
}

// F12: the back buffer as it is about to be shown, into the next free shot
// name beside the model; the path (or why not) goes to stderr.
void SaveScreenshot(const ModelWindow& w) {
    const std::string path = ScreenshotPath(w.path, FileExists);
    const std::vector<uint8_t> pixels = ReadWindowPixels(screen.width, screen.height);
    OutputFile output;
    std::string error;
    const std::vector<uint8_t> png = PngEncode(pixels.data(), screen.width, screen.height, 3, PngCompression::Fast);
    if (PrepareOutput(path, w.model.files, output, error) && !png.empty() && WriteWholeOutput(output, png, error)) {
        Report("screenshot saved to " + path);
    } else {
        Report("screenshot not saved: " + (png.empty() ? path + ": the picture could not be encoded" : error));
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

int StartModelWindow(ModelWindow& w, const std::string& path, const Clock& clock, bool occlusion) {
    w.path = path;
    w.occlusion = occlusion;
    if (!LoadForViewing(path, w.model)) return kExitInput;
    // The window layer's one line says why there is no window.
    SetNoWindowConsequence("the model cannot be shown, but --snapshot renders without one");
    if (!OpenGLWindow(kWindowWidth, kWindowHeight, 32, 0, kWindowSamples, 0)) return kExitInput;
    SetUpGL(kWindowWidth, kWindowHeight, 32);
    w.motion = MotionOf(static_cast<int32_t>(w.model.frames.size()), w.model.ownMotion);
    w.scale = SceneScale(w.model.bounds, windowAspect);
    w.hudName = HudGlyphs(w.model.name);
    SetupSceneLight(w.light);
    LoadViewAssets(&w.font, &w.textureTable);
    OpenModelRenderer(w.drawer, true);
    w.meshes.resize(w.model.frames.size());
    for (size_t i = 0; i < w.model.frames.size(); ++i) {
        UploadModelMesh(w.drawer, w.model.frames[i], w.occlusion, w.meshes[i]);
        // Only the meshes are drawn from now on.
        w.model.frames[i].voxels = std::vector<Voxel>();
    }
    w.previousTime = clock();
    return 0;
}

void RunModelWindowFrame(ModelWindow& w, const Clock& clock) {
    bool wantShot = false;
    HandleInput(w, wantShot);
    DrawWindowFrame(w, clock);
    if (wantShot) SaveScreenshot(w);
}

void StopModelWindow(ModelWindow& w) {
    for (ModelMeshGL& mesh : w.meshes) DeleteModelMesh(w.drawer, mesh);
    w.meshes.clear();
    CloseModelRenderer(w.drawer);
    w.font.reset();
}

int RunModelWindow(const Options& options, const Clock& clock) {
    ModelWindow w;
    const int status = StartModelWindow(w, options.path, clock, options.ambientOcclusion);
    if (status != 0) return status;
    RunUntilEscape([&] { RunModelWindowFrame(w, clock); });
    StopModelWindow(w);
    return 0;
}
