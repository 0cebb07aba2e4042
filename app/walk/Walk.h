// The walk: `voxwalk` with no arguments. A voxel character walks a circle
// over grass until Escape, its log on standard output.
//
// RunWalk is StartWalk, then RunWalkFrame + sleep + present until Escape,
// then ShutDownWalk. Tests drive RunWalkFrame with a scripted clock on a
// context of their own (LoadWalkAssets instead of StartWalk).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "app/walk/WalkFrames.h"
#include "app/walk/Walker.h"
#include "render/BitmapFont.h"
#include "render/GLSetup.h"
#include "render/Texture.h"

// Everything the walk owns from start-up to shut-down.
struct WalkApp {
    LightSource light;                       // light 0
    std::optional<BitmapFont> font;          // built after the GL context exists
    std::vector<TextureEntry> textureTable;  // entry 0: the grass of the ground
    WalkFrames walkFrames;                   // frame n is walkFrames[n - 1]
    WalkerState walker;                      // clocks, position, derived values
};

// Opens the 1024 x 768 window (InitGL), then LoadWalkAssets.
void StartWalk(WalkApp& walk, const Clock& clock);

// Start-up on a current GL context: light 0, font, grass texture, the 30
// walk frames (read now, their lists compiled as each is first drawn, so
// the first frame does not wait for all 30), and the clocks, with
// previousTime read after loading so the loading time is not a frame. Asset
// paths are relative to the working directory, or to the installed data
// folder when the working directory has no assets (AssetRoot); missing files
// leave empty objects and the walk runs on.
void LoadWalkAssets(WalkApp& walk, const Clock& clock);

// Clears the buffers and draws ground, shadow and character, seen from the
// walk's fixed eye turning to follow walkerPosition. Leaves the modelview
// matrix at view * modelMatrix. A frameIndex outside 1..30 draws no
// character and no shadow; an empty texture table leaves the ground
// untextured.
void DrawScene(const Vector3& walkerPosition, const Matrix4& modelMatrix, int32_t frameIndex, const LightSource& light,
               const std::vector<TextureEntry>& textureTable, const WalkFrames& walkFrames);

// One iteration of the frame loop without the sleep and the present: time
// step, clocks, model matrix, scene, walker step, frame count, HUD.
void RunWalkFrame(WalkApp& walk, const Clock& clock);

// Deletes the frame lists, frees the models and the texture table, and
// destroys the font (which logs "font destructor called").
void ShutDownWalk(WalkApp& walk);

// The whole program: start-up, the loop until Escape is held after a
// presented frame, shut-down. Returns the exit status, always 0.
int RunWalk(const Clock& clock);
