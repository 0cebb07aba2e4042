// The two ways of showing a user's model: the interactive window and the
// one-picture snapshot. Both load the model before any GL, so a bad input
// fails fast with one line on stderr, and keep standard output empty.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/ModelFiles.h"
#include "app/ModelView.h"
#include "app/Walker.h"
#include "render/BitmapFont.h"
#include "render/GLSetup.h"
#include "render/Texture.h"

// Everything the window owns while it shows a model.
struct ModelSession {
    std::string path;                        // as given; F12 shots go beside it
    LoadedModel model;                       // one display list per frame; voxels freed once built
    float scale = 1.0f;                      // scene scale for the model
    LightSource light;                       // the walk's light 0
    std::optional<BitmapFont> font;          // HUD
    std::vector<TextureEntry> textureTable;  // entry 0: the grass
    ModelClock clock;
    Orbit orbit;
    double previousTime = 0;   // clock reading of the previous frame
    double nextFpsTime = 0;    // as in the walk's HUD
    int32_t framesCounted = 0;
    std::string fpsText;
    bool dragging = false;     // left button held since the last frame
    double dragX = 0, dragY = 0;
};

// Loads the model, opens the 1024 x 768 window and compiles every frame.
// Returns 0, or kExitInput after one line on stderr.
int StartModelViewer(ModelSession& session, const std::string& path, const Clock& clock);

// One iteration without the sleep and the present: input, clocks, scene,
// HUD, and an F12 screenshot read from the back buffer.
void RunModelViewerFrame(ModelSession& session, const Clock& clock);

// Deletes the frame lists and the font (the window stays).
void StopModelViewer(ModelSession& session);

// The window: the model walking (animation) or turning (still model) over
// the walk's ground, until Escape or the window closes. Returns the exit
// status: 0, or kExitInput when the model cannot be read or no window can
// be opened.
int RunModelViewer(const Options& options, const Clock& clock);

// Renders one picture offscreen into options.output. Returns 0, kExitUsage
// for a frame the model does not have, kExitInput when the model cannot be
// read, nothing can be rendered or the picture cannot be written.
int RunSnapshot(const Options& options);

// "DIR/NAME-N.png" next to the model at `modelPath` (a file's extension
// dropped; a folder's shot goes beside the folder), with N the first number
// from 1 for which `exists` says no. Pure: `exists` is the only outside look.
std::string ScreenshotPath(const std::string& modelPath, bool (*exists)(const std::string&));
