// Outputs never destroy anything: what PrepareOutput refuses, and what the
// atomic write leaves behind, on real files, links, a FIFO and a device.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/export/Output.h"

namespace {

namespace fs = std::filesystem;

std::string Read(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

class OutputFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/voxwalk-output-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir_ = name;
        std::ofstream(dir_ + "/model.vox") << "model";
        std::ofstream(dir_ + "/old.png") << "old";
        ASSERT_EQ(link((dir_ + "/model.vox").c_str(), (dir_ + "/hard.png").c_str()), 0);
        ASSERT_EQ(mkfifo((dir_ + "/fifo").c_str(), 0600), 0);
        fs::create_directory(dir_ + "/sub");
        fs::create_symlink("sub/target.png", dir_ + "/link.png");  // dangling: written through
        fs::create_symlink(dir_ + "/old.png", dir_ + "/old-link.png");
        fs::create_symlink("model.vox", dir_ + "/model-link.png");
    }
    void TearDown() override { fs::remove_all(dir_); }
    // The names in the folder and below, in the order the folder lists them.
    std::string Listing() {
        std::string names;
        for (const auto& e : fs::recursive_directory_iterator(dir_)) names += e.path().filename().string() + " ";
        return names;
    }
    std::string dir_;
};

TEST_F(OutputFolder, RefusesWhatItWouldDestroyAndLeavesEverythingAsItWas) {
    const std::string before = Listing();
    const struct {
        std::string given, why;
    } rows[] = {
        {dir_ + "/model.vox", "is a file being read; choose another output"},
        {dir_ + "/hard.png", "'" + dir_ + "/model.vox', which is being read"},  // same file, another name
        {dir_ + "/model-link.png", "which is being read"},
        {dir_ + "/fifo", "is a FIFO"},
        {"/dev/null", "is a device"},
        {dir_ + "/sub", "is a folder"},
        {dir_ + "/sub/", "names a folder; give a file name"},
        {dir_ + "/missing/out.png", "cannot write in '" + dir_ + "/missing': No such file or directory"},
        {dir_ + "/old.png/x.png", "Not a directory"},
        {"", "the output's name is empty"},
    };
    for (const auto& row : rows) {
        OutputFile output;
        std::string error;
        EXPECT_FALSE(PrepareOutput(row.given, {dir_ + "/model.vox"}, output, error)) << row.given;
        EXPECT_NE(error.find(row.why), std::string::npos) << row.given << ": " << error;
    }
    EXPECT_EQ(Listing(), before);
    EXPECT_EQ(Read(dir_ + "/model.vox"), "model");
}

TEST_F(OutputFolder, WritesWholeFilesThroughLinksUnderAnyNameTheFolderTakes) {
    const std::string longName = dir_ + "/" + std::string(250, 'n') + ".png";  // 254 bytes: at the limit
    const struct {
        std::string given, written;
    } rows[] = {
        {dir_ + "/new.png", dir_ + "/new.png"},
        {dir_ + "/old.png", dir_ + "/old.png"},
        {dir_ + "/link.png", dir_ + "/sub/target.png"},
        {dir_ + "/old-link.png", dir_ + "/old.png"},
        {longName, longName},
    };
    for (const auto& row : rows) {
        OutputFile output;
        std::string error;
        ASSERT_TRUE(PrepareOutput(row.given, {dir_ + "/model.vox"}, output, error)) << error;
        ASSERT_TRUE(WriteWholeOutput(output, {'p', 'n', 'g'}, error)) << error;
        EXPECT_EQ(Read(row.written), "png") << row.given;
    }
    // Links stay links; a new file gets the usual permissions, a replaced one keeps its own.
    EXPECT_TRUE(fs::is_symlink(dir_ + "/link.png") && fs::is_symlink(dir_ + "/old-link.png"));
    struct stat info {};
    ASSERT_EQ(stat((dir_ + "/new.png").c_str(), &info), 0);
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
    EXPECT_EQ(Listing().find(".vw-"), std::string::npos);
}

TEST_F(OutputFolder, AFailedWriteLeavesNoFileAndStandardOutputIsADash) {
    OutputFile output;
    std::string error;
    ASSERT_TRUE(PrepareOutput("-", {}, output, error));
    EXPECT_TRUE(output.toStandardOutput);
    // A set dropped half way, or whose second file is refused, leaves nothing behind.
    {
        OutputSet set;
        std::FILE* half = set.Open(dir_ + "/half.png", error);
        ASSERT_NE(half, nullptr);
        ASSERT_TRUE(set.Write(half, "half", 4, error));
    }
    OutputSet set({dir_ + "/model.vox"});
    ASSERT_NE(set.Open(dir_ + "/old.png", error), nullptr);
    EXPECT_EQ(set.Open(dir_ + "/model.vox", error), nullptr);
    EXPECT_EQ(Read(dir_ + "/old.png"), "old");
    set.Abandon();
    EXPECT_EQ(Listing().find("half"), std::string::npos);
    EXPECT_EQ(Listing().find(".vw-"), std::string::npos);
}

}  // namespace
