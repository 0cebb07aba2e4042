// Pictures of a model without any display: an offscreen context (EGL,
// surfaceless) draws the model's stage at a given moment and reads it back.
//
// Use: OpenPictureRenderer once per model and size, RenderPicture for each
// picture (an animation renders many), ClosePictureRenderer. RunSnapshot is
// `voxwalk --snapshot`.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/view/CommandLine.h"
#include "app/view/ModelClock.h"
#include "app/view/ModelFiles.h"
#include "render/GLSetup.h"
#include "render/Texture.h"

// How a picture is framed and what is behind the model.
struct PictureSettings {
    int32_t width = 1024, height = 768;
    ViewName view = ViewName::Window;
    BackgroundKind background = BackgroundKind::Scene;
    uint8_t backgroundRgb[3] = {0, 0, 0};
    bool turning = false;  // the pictures turn the model (PictureScale)
};

// width x height pixels, top row first: RGB, or RGBA for a transparent
// background (opaque where the model is).
struct Picture {
    int32_t width = 0, height = 0;
    int channels = 3;
    std::vector<uint8_t> pixels;
};

// An open offscreen context set up for one model. Owns the frames' lists it
// compiled (each frame's on its first picture) until closed.
struct PictureRenderer {
    LoadedModel* model = nullptr;
    PictureSettings settings;
    Motion motion = Motion::Turn;
    float scale = 1.0f;  // scene scale for the model at this picture's aspect
    LightSource light;
    std::vector<TextureEntry> textureTable;  // the grass, for the scene background
};

// Opens the context and sets up light, ground and background. The model
// stays the caller's and must outlive the renderer. False + one line of
// error when no context can be made.
bool OpenPictureRenderer(PictureRenderer& renderer, LoadedModel& model, const PictureSettings& settings,
                         std::string& error);

// Draws the model as `clock` says and reads the picture back.
void RenderPicture(PictureRenderer& renderer, const ModelClock& clock, Picture& picture);

// Frees what RenderPicture built for the model's frame `index` (its lists),
// so that a long animation holds one frame's at a time. Drawn again, the
// frame is built again.
void ReleasePictureFrame(PictureRenderer& renderer, int32_t index);

// Deletes the lists and the context.
void ClosePictureRenderer(PictureRenderer& renderer);

// The picture options of the command line (--size, --view, --background;
// turning with --angle).
PictureSettings PictureSettingsOf(const Options& options);

// The clock of the picture that --frame or --time and --angle ask for.
ModelClock SnapshotClock(const Options& options, int32_t frameCount, Motion motion, float scale);

// Renders one picture offscreen into options.output. Returns 0, kExitUsage
// for a frame the model does not have, kExitInput when the model cannot be
// read, nothing can be rendered or the picture cannot be written.
int RunSnapshot(const Options& options);
