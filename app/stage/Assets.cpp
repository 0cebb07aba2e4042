#include "app/stage/Assets.h"

#include <filesystem>
#include <system_error>

#ifndef VOXWALK_BIN_TO_DATA
#define VOXWALK_BIN_TO_DATA "../share/voxwalk"
#endif
#ifndef VOXWALK_BUILD_DIR
#define VOXWALK_BUILD_DIR ""
#endif
#ifndef VOXWALK_SOURCE_DIR
#define VOXWALK_SOURCE_DIR ""
#endif

namespace {

bool HoldsAssets(const std::string& root) {
    std::error_code error;
    return std::filesystem::is_regular_file(root + assetMarkerPath, error);
}

std::string AsRoot(const std::filesystem::path& folder) {
    std::string root = folder.lexically_normal().string();
    if (!root.empty() && root.back() != '/') root += '/';
    return root;
}

}  // namespace

void SetupSceneLight(LightSource& light) {
    SetupLight(0, light, Vector4(0.25f, 0.25f, 0.25f, 1.0), Vector4(0.65f, 0.65f, 0.65f, 1.0),
               Vector4(0.95f, 0.95f, 0.95f, 1.0), Vector4(300.0f, 1500.0f, 300.0f, 1.0), Vector3(0.0f, 0.0f, 0.0f));
}

AssetPlaces AssetPlacesFor(const std::string& executable) {
    AssetPlaces places;
    if (executable.empty()) return places;
    const std::filesystem::path self(executable);
    places.installed = AsRoot(self.parent_path() / VOXWALK_BIN_TO_DATA);
    const std::filesystem::path build = std::string(VOXWALK_BUILD_DIR);
    if (!build.empty() && std::string(VOXWALK_SOURCE_DIR) != "") {
        // Inside the build folder: its relative path does not climb out of it.
        const std::filesystem::path inside = self.lexically_normal().lexically_relative(build.lexically_normal());
        if (!inside.empty() && *inside.begin() != "..") places.sourceTree = AsRoot(VOXWALK_SOURCE_DIR);
    }
    return places;
}

AssetPlaces RunningAssetPlaces() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return AssetPlacesFor(error ? std::string() : self.string());
}

std::string AssetRoot(const AssetPlaces& places) {
    if (!HoldsAssets("") && !places.installed.empty() && HoldsAssets(places.installed)) return places.installed;
    return "";
}

std::string AssetRoot() { return AssetRoot(RunningAssetPlaces()); }

std::string ModelAssetRoot(const AssetPlaces& places, bool& found) {
    found = true;
    if (HoldsAssets("")) return "";
    for (const std::string& root : {places.installed, places.sourceTree}) {
        if (!root.empty() && HoldsAssets(root)) return root;
    }
    found = false;
    return "";
}
