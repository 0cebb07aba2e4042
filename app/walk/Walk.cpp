#include "app/walk/Walk.h"

#include "app/stage/Assets.h"
#include "app/stage/FrameLists.h"
#include "app/stage/Hud.h"
#include "app/stage/Scene.h"

void StartWalk(WalkApp& walk, const Clock& clock) {
    walk.light = LightSource{};
    // Always 1. Without a window GL calls do nothing and the window layer
    // reports Escape, so the loop ends after its first frame.
    InitGL(1024, 768, 32, 0, 2, 0);
    LoadWalkAssets(walk, clock);
}

void LoadWalkAssets(WalkApp& walk, const Clock& clock) {
    SetupSceneLight(walk.light);

    // "" in the usual case, so the paths (and the font's log line) are unchanged.
    const std::string root = AssetRoot();
    walk.font.emplace(16.0f);
    LoadFont(*walk.font, (root + fontSheetPath).c_str());

    walk.textureTable.clear();
    ResetWalker(walk.walker, clock());
    walk.walkFrames = WalkFrames{};

    LoadTexture((root + grassTexturePath).c_str(), walk.textureTable, 0, (root + textureDirectory).c_str());
    LoadWalkFrames(walk.walkFrames, root, FrameLists::AtFirstDraw);

    // Read the clock again so the loading time does not enter the first step.
    // (ResetWalker already put the walker at the origin.)
    walk.walker.previousTime = clock();
}

void DrawScene(const Vector3& walkerPosition, const Matrix4& modelMatrix, int32_t frameIndex, const LightSource& light,
               const std::vector<TextureEntry>& textureTable, const WalkFrames& walkFrames) {
    // A fixed eye, turning to follow the walker.
    Stage stage;
    stage.eye = Vector3(cameraEye[0], cameraEye[1], cameraEye[2]);
    stage.target = walkerPosition;
    const bool validFrame = frameIndex >= 1 && frameIndex <= walkFrameCount;
    const VoxelModel empty;
    DrawStage(stage, modelMatrix, validFrame ? walkFrames[frameIndex - 1] : empty, light, textureTable);
}

void RunWalkFrame(WalkApp& walk, const Clock& clock) {
    WalkerState& walker = walk.walker;
    AdvanceClocks(walker, clock);
    BuildWalkerTransform(walker);
    if (walker.frameIndex >= 1 && walker.frameIndex <= walkFrameCount) {
        PrepareFrameList(walk.walkFrames[walker.frameIndex - 1]);
    }
    DrawScene(walker.walkerPosition, walker.modelMatrix, walker.frameIndex, walk.light, walk.textureTable,
              walk.walkFrames);
    StepWalker(walker);
    CountFrame(walker.fps, clock);
    DrawHud(*walk.font, walker.fps.fpsText, walker.frameIndex);
}

void ShutDownWalk(WalkApp& walk) {
    DeleteWalkFrameLists(walk.walkFrames);
    walk.walker.fps.fpsText = std::string();
    for (VoxelModel& model : walk.walkFrames) model = VoxelModel{};
    // The grass texture itself lives until the context ends.
    walk.textureTable = std::vector<TextureEntry>();
    walk.font.reset();
}

int RunWalk(const Clock& clock) {
    WalkApp walk;
    StartWalk(walk, clock);
    RunUntilEscape([&] { RunWalkFrame(walk, clock); });
    ShutDownWalk(walk);
    // The window and its context end with the process, like the ground
    // texture.
    return 0;
}
