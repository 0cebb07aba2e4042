// Where the viewer finds its assets: the working directory first, then the
// data folder of an install beside the program, else the usual paths.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/AssetRoot.h"

namespace fs = std::filesystem;

TEST(AssetRootFor, PrefersTheWorkingDirectoryThenTheInstall) {
    const struct {
        const char* name;
        bool sheetHere, assetsFolderHere, sheetInstalled;
        bool wantInstalled;
    } cases[] = {
        {"assets here and installed", true, true, true, false},
        {"assets only here", true, true, false, false},
        {"assets only installed", false, false, true, true},
        {"an assets folder here without the sheet", false, true, true, true},
        {"no assets anywhere", false, false, false, false},
    };
    const fs::path base = fs::path(VOXWALK_BINARY_DIR) / ("asset_root_" + std::to_string(getpid()));
    const fs::path saved = fs::current_path();
    for (const auto& c : cases) {
        fs::remove_all(base);
        const fs::path here = base / "work", data = base / "prefix/share/voxwalk";
        fs::create_directories(here / (c.assetsFolderHere ? "assets/textures" : ""));
        fs::create_directories(base / "prefix/bin");
        for (const auto& [wanted, root] : {std::pair{c.sheetHere, here}, {c.sheetInstalled, data}}) {
            if (!wanted) continue;
            fs::create_directories(root / "assets/textures/fonts");
            std::ofstream(root / assetMarkerPath) << "png";
        }
        fs::current_path(here);
        const std::string got = AssetRootFor((base / "prefix/bin/voxwalk").string());
        fs::current_path(saved);
        EXPECT_EQ(got, c.wantInstalled ? data.string() + "/" : "") << c.name;
    }
    fs::remove_all(base);
    EXPECT_EQ(AssetRootFor(""), "") << "no executable path";
}
