// The per-frame scene pass: camera, light, textured ground, the character's
// planar shadow and the lit character, then the two head-up text lines.
//
// GL state between frames: DrawScene starts from what the previous frame (or
// start-up) left, namely lighting on, light 0's colours from `light`, depth
// test on with GL_LEQUAL, colour tracking on, blending off.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/WalkFrames.h"
#include "math/Matrix4.h"
#include "math/Vector.h"
#include "render/BitmapFont.h"
#include "render/GLSetup.h"
#include "render/Texture.h"

constexpr float cameraEye[3] = {-150.0f, 250.0f, 150.0f};
constexpr float groundHalfSize = 2000.0f;
constexpr float groundGrey = 0.65f;

// Where the scene is seen from and how large it is. The walk uses the fixed
// eye and scale 1; the model viewer moves the eye and scales the whole scene
// (ground, light, eye distance) to the model instead of scaling the model.
struct Stage {
    Vector3 eye;                      // camera position
    Vector3 target;                   // what the camera looks at
    Vector3 up{0.0f, 1.0f, 0.0f};     // must not be parallel to eye - target
    float scale = 1.0f;               // ground size and light position factor
    bool ground = true;               // false: no ground (plain snapshot backgrounds)
};

// Clears the buffers and draws ground, shadow and the character of `frame`'s
// lists (none when 0) placed by modelMatrix, seen as `stage` says.
void DrawStage(const Stage& stage, const Matrix4& modelMatrix, const VoxelModel& frame,
               const LightSource& light, const std::vector<TextureEntry>& textureTable);

// Clears the buffers and draws ground, shadow and character. Leaves the
// modelview matrix at view * modelMatrix. A frameIndex outside 1..30 draws
// no character and no shadow; an empty texture table leaves the ground
// untextured.
void DrawScene(const Vector3& walkerPosition, const Matrix4& modelMatrix, int32_t frameIndex,
               const LightSource& light, const std::vector<TextureEntry>& textureTable,
               const WalkFrames& walkFrames);

// Prints fpsText and "Animation frame #<frameIndex>" in white, centred by the
// 5-pixels-per-character rule, 16 and 32 pixels below the top edge of the
// window described by `screen`.
void DrawHud(BitmapFont& font, const std::string& fpsText, int32_t frameIndex);
