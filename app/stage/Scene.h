// The stage both programs draw on: camera, light, textured ground, a model's
// planar shadow and the lit model, and the proportions of the walk they share.
//
// GL state between frames: DrawStage starts from what the previous frame (or
// start-up) left, namely lighting on, light 0's colours from `light`, depth
// test on with GL_LEQUAL, colour tracking on, blending off.
#pragma once

#include <functional>
#include <vector>

#include "math/Matrix4.h"
#include "math/Vector.h"
#include "render/GLSetup.h"
#include "render/Texture.h"
#include "voxel/Vox.h"

// The walk's proportions: its eye, its ground and how fast a walker goes.
constexpr float cameraEye[3] = {-150.0f, 250.0f, 150.0f};
constexpr float groundHalfSize = 2000.0f;
constexpr float groundGrey = 0.65f;
constexpr double animationRate = 30.0;  // animation frames per second
constexpr double turnRate = 30.0;       // heading degrees per second
constexpr double walkSpeed = 140.0;     // world units per second

// Where the scene is seen from and how large it is. The walk uses the fixed
// eye and scale 1; the model viewer moves the eye and scales the whole scene
// (ground, light, eye distance) to the model instead of scaling the model.
struct Stage {
    Vector3 eye;                   // camera position
    Vector3 target;                // what the camera looks at
    Vector3 up{0.0f, 1.0f, 0.0f};  // must not be parallel to eye - target
    float scale = 1.0f;            // ground size and light position factor
    bool ground = true;            // false: no ground (plain snapshot backgrounds)
    bool shadow = true;            // false: no flattened shadow (a transparent picture)
};

// A model the stage draws but does not own: `shadow` draws its coverage
// (positions; colours and normals have no effect there) and `lit` the lit
// model, each inside its pass with that pass's model-view matrix and state.
struct StageModel {
    std::function<void()> shadow;
    std::function<void()> lit;
};

// Clears the buffers and draws ground, shadow and the character of `frame`'s
// lists (none when 0) placed by modelMatrix, seen as `stage` says.
void DrawStage(const Stage& stage, const Matrix4& modelMatrix, const VoxelModel& frame, const LightSource& light,
               const std::vector<TextureEntry>& textureTable);

// The same with the model drawn by `model`'s passes.
void DrawStageModel(const Stage& stage, const Matrix4& modelMatrix, const StageModel& model, const LightSource& light,
                    const std::vector<TextureEntry>& textureTable);
