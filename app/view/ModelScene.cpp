#include "app/view/ModelScene.h"

#include <GL/gl.h>

#include <cstdio>

#include "app/stage/Assets.h"
#include "app/view/CommandLine.h"
#include "log/Log.h"
#include "png/Png.h"

namespace {

bool IsPicture(const std::string& path) {
    uint32_t width = 0, height = 0;
    PngReadSize(path.c_str(), width, height);
    return width > 0 && height > 0;
}

}  // namespace

void Report(const std::string& line) { std::fprintf(stderr, "voxwalk: %s\n", line.c_str()); }

int ReportUsage(const std::string& line) {
    std::fprintf(stderr, "voxwalk: %s\nTry 'voxwalk --help' for more information.\n", line.c_str());
    return kExitUsage;
}

std::string FramesMissing(const std::string& asked, const std::string& path, int32_t frameCount) {
    return asked + " asked for, but " + path + " has " + std::to_string(frameCount) +
           (frameCount == 1 ? " frame" : " frames");
}

bool LoadForViewing(const std::string& path, LoadedModel& model) {
    SilenceLog();
    std::string error;
    if (!LoadModelFrames(path, model, error)) {
        Report(error);
        return false;
    }
    return true;
}

void LoadViewAssets(std::optional<BitmapFont>* font, std::vector<TextureEntry>* grass) {
    const AssetPlaces places = RunningAssetPlaces();
    bool found = false;
    const std::string root = ModelAssetRoot(places, found);
    const bool haveFont = IsPicture(root + fontSheetPath), haveGrass = IsPicture(root + grassTexturePath);
    if (font != nullptr && haveFont) {
        font->emplace(16.0f);
        LoadFont(**font, (root + fontSheetPath).c_str());
    }
    if (grass != nullptr && haveGrass) {
        LoadTexture((root + grassTexturePath).c_str(), *grass, 0, (root + textureDirectory).c_str());
    }
    const bool fontMissing = font != nullptr && !haveFont, grassMissing = grass != nullptr && !haveGrass;
    if (fontMissing || grassMissing) {
        std::string looked = "the working folder";
        for (const std::string& place : {places.installed, places.sourceTree}) {
            if (!place.empty()) looked += ", " + place;
        }
        Report(std::string(fontMissing && grassMissing ? "no font sheet and no grass"
                           : fontMissing               ? "no font sheet"
                                                       : "no grass") +
               " found (looked in " + looked + "): " +
               (fontMissing && grassMissing ? "no text, plain ground"
                : fontMissing               ? "no text"
                                            : "plain ground"));
    }
}

void DrawModelMesh(const Stage& stage, const Matrix4& projection, const Matrix4& modelMatrix,
                   const ModelRenderer& renderer, ModelMeshGL& mesh, const LightSource& light,
                   const std::vector<TextureEntry>& textureTable) {
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(projection.data());
    glMatrixMode(GL_MODELVIEW);
    // The eye and the light (as DrawStageModel scales it) in the model's units.
    const Matrix4 toModel = rigidInverse(modelMatrix);
    const Vector3 eye(stage.eye * toModel);
    const Vector3 lightAt(
        Vector3(light.position.x * stage.scale, light.position.y * stage.scale, light.position.z * stage.scale) *
        toModel);
    const StageModel model = {[&] { DrawModelShadow(renderer, mesh, lightAt); },
                              [&] { DrawModelLit(renderer, mesh, eye); }};
    DrawStageModel(stage, modelMatrix, model, light, textureTable);
}
