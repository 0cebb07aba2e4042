// The files under assets/, docs/walk-cycle.png and docs/font-sheet.png are
// generated: running the generator again must give the committed bytes, so
// nobody edits them by hand and a change to the generator shows up as a
// change to the assets.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::vector<char> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every regular file below `root`, as paths relative to it.
std::set<std::string> ListFiles(const fs::path& root) {
    std::set<std::string> names;
    if (!fs::exists(root)) return names;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) names.insert(fs::relative(entry.path(), root).generic_string());
    }
    return names;
}

class AssetGen : public ::testing::Test {
  protected:
    void SetUp() override {
        // CTest may run the cases of this file side by side: one folder each.
        out_ = fs::temp_directory_path() /
               ("voxwalk-assetgen-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(out_);
    }
    void TearDown() override { fs::remove_all(out_); }

    int Run(const std::string& arguments) {
        const std::string command = std::string("\"") + VOXWALK_ASSETGEN + "\" " + arguments;
        return std::system(command.c_str());
    }

    fs::path out_;
};

TEST_F(AssetGen, RegeneratesTheCommittedFilesByteForByte) {
    ASSERT_EQ(Run("\"" + out_.string() + "\""), 0);
    const fs::path source = VOXWALK_SOURCE_DIR;

    const std::set<std::string> made = ListFiles(out_ / "assets");
    const std::set<std::string> committed = ListFiles(source / "assets");
    EXPECT_EQ(made, committed) << "the generator and assets/ list different files";
    EXPECT_EQ(made.size(), 32u);  // 30 frames, grass, font sheet

    std::vector<std::string> paths;
    for (const std::string& name : made) paths.push_back("assets/" + name);
    paths.push_back("docs/walk-cycle.png");
    paths.push_back("docs/font-sheet.png");
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        const std::vector<char> fresh = ReadAll(out_ / path);
        ASSERT_FALSE(fresh.empty());
        EXPECT_TRUE(fresh == ReadAll(source / path)) << "differs from a fresh generation";
    }
}

TEST_F(AssetGen, FailsLoudlyOnBadArguments) {
    EXPECT_NE(Run(""), 0);
    // A font that does not exist must fail the run, not write a blank sheet.
    EXPECT_NE(Run("\"" + out_.string() + "\" /nonexistent/font.ttf"), 0);
    // An output root that cannot be created.
    EXPECT_NE(Run("/proc/voxwalk-cannot-write-here"), 0);
}

}  // namespace
