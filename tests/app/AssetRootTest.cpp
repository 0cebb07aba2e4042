// Where the viewer finds its assets: the working directory first, then the
// data folder of an install beside the program, else the usual paths.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/AssetRoot.h"

namespace fs = std::filesystem;

TEST(AssetRootFor, PrefersTheWorkingDirectoryThenTheInstall) {
    const fs::path base = fs::path(VOXWALK_BINARY_DIR) / ("asset_root_" + std::to_string(getpid()));
    const fs::path here = base / "work", data = base / "prefix/share/voxwalk";
    const fs::path saved = fs::current_path();
    // {sheet here, sheet installed, installed folder expected}; "here" always
    // has an assets folder, so a folder without the sheet does not count.
    for (const auto& [sheetHere, sheetInstalled, wantInstalled] :
         {std::array{true, true, false}, {false, true, true}, {false, false, false}}) {
        fs::remove_all(base);
        fs::create_directories(here / "assets/textures");
        for (const fs::path& root :
             {sheetHere ? here : fs::path(), sheetInstalled ? data : fs::path()}) {
            if (root.empty()) continue;
            fs::create_directories(root / "assets/textures/fonts");
            std::ofstream(root / assetMarkerPath) << "png";
        }
        fs::current_path(here);
        const std::string got = AssetRootFor((base / "prefix/bin/voxwalk").string());
        fs::current_path(saved);
        EXPECT_EQ(got, wantInstalled ? data.string() + "/" : "") << sheetHere << sheetInstalled;
    }
    fs::remove_all(base);
    EXPECT_EQ(AssetRootFor(""), "");
}
