// Where the viewer finds its assets: the working directory first, then the
// data folder of an install beside the program, else the usual paths.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "app/AssetRoot.h"

namespace fs = std::filesystem;

TEST(AssetRootFor, PrefersTheWorkingDirectoryThenTheInstall) {
    const fs::path base = fs::path(VOXWALK_BINARY_DIR) / ("asset_root_" + std::to_string(getpid()));
    const fs::path here = base / "work", data = base / "prefix/share/voxwalk", saved = fs::current_path();
    // {sheet here, sheet installed, installed folder expected}; both always
    // have the font folder, so a folder without the sheet does not count.
    for (const auto& [sheetHere, sheetInstalled, wantInstalled] :
         {std::array{true, true, false}, {false, true, true}, {false, false, false}}) {
        fs::remove_all(base);
        for (const auto& [sheet, root] : {std::pair{sheetHere, here}, {sheetInstalled, data}}) {
            fs::create_directories(root / "assets/textures/fonts");
            if (sheet) std::ofstream(root / assetMarkerPath) << "png";
        }
        fs::current_path(here);
        EXPECT_EQ(AssetRootFor((base / "prefix/bin/voxwalk").string()), wantInstalled ? data.string() + "/" : "")
            << sheetHere << sheetInstalled;
        fs::current_path(saved);
    }
    fs::remove_all(base);
    EXPECT_EQ(AssetRootFor(""), "");
}
