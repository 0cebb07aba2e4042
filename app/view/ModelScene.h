// What the model window and the pictures share: loading the model quietly,
// the stage's assets with one warning when they are missing, and drawing one
// frame's mesh on the stage.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/stage/ModelDraw.h"
#include "app/stage/Scene.h"
#include "app/view/ModelFiles.h"
#include "render/BitmapFont.h"
#include "render/GLSetup.h"
#include "render/Texture.h"

// One line on stderr, "voxwalk: LINE"; standard output stays empty outside the walk.
void Report(const std::string& line);

// Report, then the hint to --help; the usage error's exit status.
int ReportUsage(const std::string& line);

// "frame 5 asked for, but PATH has 3 frames": `asked` names what was asked for.
std::string FramesMissing(const std::string& asked, const std::string& path, int32_t frameCount);

// Loads the model with the log channel pointed away from standard output.
// False after one line on stderr.
bool LoadForViewing(const std::string& path, LoadedModel& model);

// The model viewer's stage assets, found as ModelAssetRoot says: the font
// (left empty when `font` is null or its sheet is missing: no text) and the
// grass (entry 0 of the table; an empty table when missing: a plain ground).
// Says once on stderr what is missing. Needs a current GL context.
void LoadViewAssets(std::optional<BitmapFont>* font, std::vector<TextureEntry>* grass);

// Loads `projection` and draws `mesh` placed by modelMatrix on the stage
// (DrawStageModel): each pass skips the chunks that face away from its
// light or eye. The mesh keeps the order its translucent faces were last
// drawn in.
void DrawModelMesh(const Stage& stage, const Matrix4& projection, const Matrix4& modelMatrix,
                   const ModelRenderer& renderer, ModelMeshGL& mesh, const LightSource& light,
                   const std::vector<TextureEntry>& textureTable);
