// The files under assets/, docs/walk-cycle.png and docs/font-sheet.png are
// generated: running the generator again must give the committed bytes, so
// nobody edits them by hand and a change to the generator shows up as a
// change to the assets.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& path) {
    return {std::istreambuf_iterator<char>(std::ifstream(path, std::ios::binary).rdbuf()), {}};
}

// Every regular file below `root`, relative to the source tree.
std::set<std::string> ListFiles(const fs::path& root, const fs::path& base) {
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) names.insert(fs::relative(entry.path(), base).generic_string());
    }
    return names;
}

int Generate(const std::string& arguments) {
    return std::system(("\"" VOXWALK_ASSETGEN "\" " + arguments + " 2>/dev/null").c_str());
}

TEST(AssetGen, RegeneratesTheCommittedFilesByteForByteAndFailsLoudly) {
    const fs::path out = fs::temp_directory_path() / ("voxwalk-assetgen-" + std::to_string(getpid()));
    fs::remove_all(out);
    ASSERT_EQ(Generate("\"" + out.string() + "\""), 0);
    std::set<std::string> made = ListFiles(out / "assets", out);
    EXPECT_EQ(made, ListFiles(VOXWALK_SOURCE_DIR "/assets", VOXWALK_SOURCE_DIR)) << "not the files of assets/";
    EXPECT_EQ(made.size(), 32u);  // 30 frames, grass, font sheet
    made.insert({"docs/walk-cycle.png", "docs/font-sheet.png"});
    for (const std::string& path : made) {
        const std::string fresh = ReadAll(out / path);
        EXPECT_TRUE(!fresh.empty() && fresh == ReadAll(fs::path(VOXWALK_SOURCE_DIR) / path)) << path << " differs";
    }
    fs::remove_all(out);
    // No output root; a font that does not exist (no blank sheet instead);
    // an output root that cannot be made.
    const std::string bad[] = {"", "\"" + out.string() + "\" /nonexistent/font.ttf", "/proc/voxwalk-no"};
    for (const std::string& arguments : bad) EXPECT_NE(Generate(arguments), 0) << arguments;
    fs::remove_all(out);
}

}  // namespace
