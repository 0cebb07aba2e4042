// Pictures of a model without any display: an offscreen context (EGL,
// surfaceless) draws the model's stage at a given moment and reads it back.
//
// Each frame's mesh (ModelMesh.h) is built at its first picture, into vertex
// buffers where the context has them. Every picture of a model is framed
// alike (Framing.h): on all its frames together and, when the pictures turn
// it (--angle, a turntable, a sheet's directions), on a whole turn of them,
// so a snapshot, an animation's frame and a sheet's cell of one moment are
// the same picture; a still model fills kPictureFill of the shorter side. A
// transparent picture has neither ground nor shadow.
//
// Use: OpenPictureRenderer once per model and size, RenderPicture for each
// picture (an animation renders many), ClosePictureRenderer. RunSnapshot is
// `voxwalk --snapshot`.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/stage/ModelDraw.h"
#include "app/view/CommandLine.h"
#include "app/view/Framing.h"
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
    bool turning = false;          // the pictures turn the model: framed on a whole turn
    bool ambientOcclusion = true;  // darkened corners (--no-ao turns them off)
    bool vertexBuffers = true;     // false: display lists even where buffers are offered
};

// width x height pixels, top row first: RGB, or RGBA for a transparent
// background (opaque where the model is).
struct Picture {
    int32_t width = 0, height = 0;
    int channels = 3;
    std::vector<uint8_t> pixels;
};

// An open offscreen context set up for one model. Owns the frames' meshes
// it built (each frame's on its first picture) until closed.
struct PictureRenderer {
    LoadedModel* model = nullptr;
    PictureSettings settings;
    Motion motion = Motion::Turn;
    float scale = 1.0f;  // scene scale for the model at this picture's aspect
    Vector2 middle;      // the vertical axis a turn goes round (x, z in cells)
    LightSource light;
    std::vector<TextureEntry> textureTable;  // the grass, for the scene background
    ModelRenderer drawer;                    // vertex buffers or lists
    std::vector<ModelMeshGL> meshes;         // by frame
    std::vector<bool> built;                 // by frame: its mesh is made
    std::vector<Vector3> candidates;         // every frame's hull candidates, in model cells
    bool framed = false;                     // `framing` holds for `framedHeading` and `framedTurn`
    double framedHeading = 0, framedTurn = 0;
    PictureView framing;  // relative to the model's place on its walk
    PictureView view;     // the last picture's: `framing` at the model's place
};

// Opens the context and sets up light, ground, background and, for turning
// pictures, their framing. The model stays the caller's and must outlive the
// renderer. False + one line of error when no context can be made.
bool OpenPictureRenderer(PictureRenderer& renderer, LoadedModel& model, const PictureSettings& settings,
                         std::string& error);

// Draws the model as `clock` says and reads the picture back.
void RenderPicture(PictureRenderer& renderer, const ModelClock& clock, Picture& picture);

// Frees what RenderPicture built for the model's frame `index` (its mesh),
// so that a long animation holds one frame's at a time. Drawn again, the
// frame is built again.
void ReleasePictureFrame(PictureRenderer& renderer, int32_t index);

// Deletes the meshes and the context.
void ClosePictureRenderer(PictureRenderer& renderer);

// The picture options of the command line (--size, --view, --background,
// --no-ao; turning with --angle).
PictureSettings PictureSettingsOf(const Options& options);

// The clock of the picture that --frame or --time and --angle ask for.
ModelClock SnapshotClock(const Options& options, int32_t frameCount, Motion motion, float scale);

// Renders one picture offscreen into options.output. Returns 0, kExitUsage
// for a frame the model does not have, kExitInput when the model cannot be
// read, nothing can be rendered, the picture cannot be written, or
// --time-limit passed before it was ready (nothing written then).
int RunSnapshot(const Options& options);

// A time limit on the way to an output: a watchdog thread that, unless
// disarmed first, writes `line` to stderr and ends the process with status
// kExitInput. Disarm it before the output is begun, so that an output is
// written whole or not at all.
struct Deadline {
    std::mutex mutex;
    std::condition_variable changed;
    bool disarmed = false;
    std::thread watchdog;
};

// Starts the watchdog for `seconds` (> 0).
void ArmDeadline(Deadline& deadline, double seconds, const std::string& line);

// Stops the watchdog and waits for it; safe on one never armed.
void DisarmDeadline(Deadline& deadline);
