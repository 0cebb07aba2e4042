// What the model window and the pictures share: loading the model quietly,
// the stage's assets with one warning when they are missing, and drawing one
// frame of the model on the stage.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/stage/Scene.h"
#include "app/view/ModelFiles.h"
#include "render/BitmapFont.h"
#include "render/GLSetup.h"
#include "render/Texture.h"

// One line on stderr, "voxwalk: LINE"; standard output stays empty outside the walk.
void Report(const std::string& line);

// Loads the model with the log channel pointed away from standard output.
// False after one line on stderr.
bool LoadForViewing(const std::string& path, LoadedModel& model);

// The model viewer's stage assets, found as ModelAssetRoot says: the font
// (left empty when `font` is null or its sheet is missing: no text) and the
// grass (entry 0 of the table; an empty table when missing: a plain ground).
// Says once on stderr what is missing. Needs a current GL context.
void LoadViewAssets(std::optional<BitmapFont>* font, std::vector<TextureEntry>* grass);

// Loads the projection for `stage` and draws the frame placed by modelMatrix
// (DrawStage). The frame's lists must exist.
void DrawModelFrame(const Stage& stage, float aspect, const Matrix4& modelMatrix, const VoxelModel& frame,
                    const LightSource& light, const std::vector<TextureEntry>& textureTable);
