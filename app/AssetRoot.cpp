#include "app/AssetRoot.h"

#include <filesystem>
#include <system_error>

#ifndef VOXWALK_BIN_TO_DATA
#define VOXWALK_BIN_TO_DATA "../share/voxwalk"
#endif

std::string AssetRoot() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return AssetRootFor(error ? std::string() : self.string());
}

std::string AssetRootFor(const std::string& executable) {
    std::error_code error;
    if (std::filesystem::is_regular_file(assetMarkerPath, error)) return "";
    if (executable.empty()) return "";
    const std::filesystem::path data =
        (std::filesystem::path(executable).parent_path() / VOXWALK_BIN_TO_DATA).lexically_normal();
    if (!std::filesystem::is_regular_file(data / assetMarkerPath, error)) return "";
    std::string root = data.string();
    if (root.back() != '/') root += '/';
    return root;
}
