// The viewer program: start-up, one iteration of the frame loop, shut-down.
//
// main() is StartViewer, then RunViewerFrame + sleep + present until Escape,
// then ShutDownViewer. Tests drive RunViewerFrame with a scripted clock on a
// context of their own (LoadViewerAssets instead of StartViewer).
#pragma once

#include <optional>
#include <vector>

#include "app/WalkFrames.h"
#include "app/Walker.h"
#include "render/BitmapFont.h"
#include "render/GLSetup.h"
#include "render/Texture.h"

// Everything the program owns from start-up to shut-down.
struct Viewer {
    LightSource light;                       // light 0
    std::optional<BitmapFont> font;          // built after the GL context exists
    std::vector<TextureEntry> textureTable;  // entry 0: the grass of the ground
    WalkFrames walkFrames;                   // frame n is walkFrames[n - 1]
    WalkerState walker;                      // clocks, position, derived values
};

constexpr const char* fontSheetPath = "assets/textures/fonts/font1.png";
constexpr const char* grassTexturePath = "assets/textures/grass.png";
constexpr const char* textureDirectory = "assets/textures/";

// Light 0 of the scene: grey ambient 0.25, diffuse 0.65, specular 0.95, a
// positional light at (300, 1500, 300), high above the walker's circle.
void SetupViewerLight(LightSource& light);

// Opens the 1024 x 768 window (InitGL), then LoadViewerAssets.
void StartViewer(Viewer& viewer, const Clock& clock);

// Start-up on a current GL context: light 0, font, grass texture, the 30
// walk frames (read now, their lists compiled as each is first drawn, so
// the first frame does not wait for all 30), and the clocks, with
// previousTime read after loading so the loading time is not a frame. Asset
// paths are relative to the working directory, or to the installed data
// folder when the working directory has no assets (AssetRoot); missing files
// leave empty objects and the viewer runs on.
void LoadViewerAssets(Viewer& viewer, const Clock& clock);

// One iteration of the frame loop without the sleep and the present: time
// step, clocks, model matrix, scene, walker step, frame count, HUD.
void RunViewerFrame(Viewer& viewer, const Clock& clock);

// Deletes the frame lists, frees the models and the texture table, and
// destroys the font (which logs "font destructor called").
void ShutDownViewer(Viewer& viewer);

// The whole program: start-up, the loop until Escape is held after a
// presented frame, shut-down. Returns the exit status, always 0.
int RunViewer(const Clock& clock);
