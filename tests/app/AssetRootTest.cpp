// Where the viewer finds its assets: the working directory first, then the data folder of an install beside the
// program, else the usual paths. Both folders always have the font folder: without the sheet it does not count.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/AssetRoot.h"

namespace fs = std::filesystem;

TEST(AssetRootFor, PrefersTheWorkingDirectoryThenTheInstall) {
    const fs::path base = fs::path(VOXWALK_BINARY_DIR) / ("asset_root_" + std::to_string(getpid()));
    const fs::path here = base / "work", data = base / "prefix/share/voxwalk", saved = fs::current_path();
    for (const fs::path& root : {here, data}) fs::create_directories(root / "assets/textures/fonts");
    fs::current_path(here);
    const std::string installed = (base / "prefix/bin/voxwalk").string();
    EXPECT_EQ(AssetRootFor(installed), "");  // no sheet anywhere
    std::ofstream(data / assetMarkerPath) << "png";
    EXPECT_EQ(AssetRootFor(installed), data.string() + "/");
    EXPECT_EQ(AssetRootFor(""), "");
    std::ofstream(here / assetMarkerPath) << "png";
    EXPECT_EQ(AssetRootFor(installed), "");
    fs::current_path(saved);
    fs::remove_all(base);
}
