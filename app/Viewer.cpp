#include "app/Viewer.h"

#include <chrono>
#include <thread>

#include "app/AssetRoot.h"
#include "app/Scene.h"
#include "platform/Window.h"

void StartViewer(Viewer& viewer, const Clock& clock) {
    viewer.light = LightSource{};
    // Always 1. Without a window GL calls do nothing and the window layer
    // reports Escape, so the loop ends after its first frame.
    InitGL(1024, 768, 32, 0, 2, 0);
    LoadViewerAssets(viewer, clock);
}

void SetupViewerLight(LightSource& light) {
    SetupLight(0, light, Vector4(0.25f, 0.25f, 0.25f, 1.0), Vector4(0.65f, 0.65f, 0.65f, 1.0),
               Vector4(0.95f, 0.95f, 0.95f, 1.0), Vector4(300.0f, 1500.0f, 300.0f, 1.0),
               Vector3(0.0f, 0.0f, 0.0f));
}

void LoadViewerAssets(Viewer& viewer, const Clock& clock) {
    SetupViewerLight(viewer.light);

    // "" in the usual case, so the paths (and the font's log line) are unchanged.
    const std::string root = AssetRoot();
    viewer.font.emplace(16.0f);
    LoadFont(*viewer.font, (root + fontSheetPath).c_str());

    viewer.textureTable.clear();
    ResetWalker(viewer.walker, clock());
    viewer.walkFrames = WalkFrames{};

    LoadTexture((root + grassTexturePath).c_str(), viewer.textureTable, 0,
                (root + textureDirectory).c_str());
    LoadWalkFrames(viewer.walkFrames, root, FrameLists::AtFirstDraw);

    // Read the clock again so the loading time does not enter the first step.
    // (ResetWalker already put the walker at the origin.)
    viewer.walker.previousTime = clock();
}

void RunViewerFrame(Viewer& viewer, const Clock& clock) {
    WalkerState& walker = viewer.walker;
    AdvanceClocks(walker, clock);
    BuildWalkerTransform(walker);
    if (walker.frameIndex >= 1 && walker.frameIndex <= walkFrameCount) {
        PrepareFrameList(viewer.walkFrames[walker.frameIndex - 1]);
    }
    DrawScene(walker.walkerPosition, walker.modelMatrix, walker.frameIndex, viewer.light,
              viewer.textureTable, viewer.walkFrames);
    StepWalker(walker);
    CountFrame(walker, clock);
    DrawHud(*viewer.font, walker.fpsText, walker.frameIndex);
}

void ShutDownViewer(Viewer& viewer) {
    DeleteWalkFrameLists(viewer.walkFrames);
    viewer.walker.fpsText = std::string();
    for (VoxelModel& model : viewer.walkFrames) model = VoxelModel{};
    // The grass texture itself lives until the context ends.
    viewer.textureTable = std::vector<TextureEntry>();
    viewer.font.reset();
}

int RunViewer(const Clock& clock) {
    Viewer viewer;
    StartViewer(viewer, clock);
    // Escape is read only after a presented frame, so at least one frame is
    // always drawn. The window layer also reports a close request of the
    // window system (or a lost window) as Escape.
    do {
        RunViewerFrame(viewer, clock);
        std::this_thread::sleep_for(std::chrono::milliseconds(frameSleepMs));
        PresentWindow();
    } while (!IsEscapeDown());
    ShutDownViewer(viewer);
    // The window and its context end with the process, like the ground
    // texture.
    return 0;
}
