// The model window: the user's model walking (animation), playing in place
// (a scene that moves by its keyframes) or turning (still model) over the
// walk's ground, with an orbiting eye, until Escape or the window closes.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/stage/FrameLoop.h"
#include "app/stage/ModelDraw.h"
#include "app/view/Camera.h"
#include "app/view/CommandLine.h"
#include "app/view/ModelClock.h"
#include "app/view/ModelFiles.h"
#include "render/BitmapFont.h"
#include "render/GLSetup.h"
#include "render/Texture.h"

// Everything the window owns while it shows a model.
struct ModelWindow {
    std::string path;                 // as given; F12 shots go beside it
    LoadedModel model;                // voxels freed once the meshes are built
    bool occlusion = true;            // ambient occlusion (--no-ao: off)
    ModelRenderer drawer;             // vertex buffers or lists
    std::vector<ModelMeshGL> meshes;  // by frame
    Motion motion = Motion::Turn;
    float scale = 1.0f;                      // scene scale for the model
    LightSource light;                       // the walk's light 0
    std::optional<BitmapFont> font;          // HUD; empty when the font sheet is missing
    std::vector<TextureEntry> textureTable;  // entry 0: the grass; empty: a plain ground
    std::string hudName;                     // the model's name in the font's glyphs
    ModelClock clock;
    Orbit orbit;
    double previousTime = 0;  // clock reading of the previous frame
    FpsCounter fps;
    bool dragging = false;  // left button held since the last frame
    double dragX = 0, dragY = 0;
};

// Loads the model, opens the 1024 x 768 window and builds every frame's
// mesh, with ambient occlusion unless `occlusion` is false. Returns 0, or
// kExitInput after one line on stderr.
int StartModelWindow(ModelWindow& window, const std::string& path, const Clock& clock, bool occlusion = true);

// One iteration without the sleep and the present: input, clocks, scene,
// HUD, and an F12 screenshot read from the back buffer.
void RunModelWindowFrame(ModelWindow& window, const Clock& clock);

// Deletes the meshes and the font (the window stays).
void StopModelWindow(ModelWindow& window);

// The whole window, until Escape. Returns the exit status: 0, or kExitInput
// when the model cannot be read or no window can be opened.
int RunModelWindow(const Options& options, const Clock& clock);

// "DIR/NAME-N.png" next to the model at `modelPath` (a file's extension
// dropped; a folder's shot goes beside the folder), with N the first number
// from 1 for which `exists` says no. Pure: `exists` is the only outside look.
std::string ScreenshotPath(const std::string& modelPath, bool (*exists)(const std::string&));
