// PngSuite, the standard conformance images: every valid one decodes to
// libpng's pixels in both targets, every corrupt one ("x" names) to nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "PngTestSupport.h"
#include "png/Png.h"

namespace {

const std::string kSuiteDir = std::string(VOXWALK_SOURCE_DIR) + "/tests/data/pngsuite";

std::vector<std::string> SuiteFiles() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(kSuiteDir))
        if (entry.path().extension() == ".png") names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class PngSuite : public ::testing::TestWithParam<std::string> {};

TEST(PngSuiteFolder, HoldsTheWholeSuite) {
    const std::vector<std::string> names = SuiteFiles();
    const auto corrupt = std::count_if(names.begin(), names.end(),
                                       [](const std::string& n) { return n[0] == 'x'; });
    EXPECT_EQ(names.size(), 175u);
    EXPECT_EQ(corrupt, 14);
}

TEST_P(PngSuite, DecodesLikeLibpngOrRefuses) {
    const std::string name = GetParam();
    const std::vector<uint8_t> file = pngtest::ReadFileBytes(kSuiteDir + "/" + name);
    ASSERT_FALSE(file.empty());
    if (name[0] == 'x') {
        for (int target : {2, 3}) {
            Image image = PngDecodeMemory(file.data(), file.size(), target);
            EXPECT_EQ(image, nullptr) << "target " << target;
            PngFreeImage(image);
        }
        return;
    }
    pngtest::RgbaImage expected;
    ASSERT_TRUE(pngtest::DecodeWithLibpng(file, expected));
    for (int target : {2, 3}) {
        Image image = PngDecodeMemory(file.data(), file.size(), target);
        ASSERT_NE(image, nullptr) << "target " << target;
        const pngtest::RgbaImage actual = pngtest::FromImage(image, target, expected.width, expected.height);
        const long bad = pngtest::FirstDifference(expected, actual);
        EXPECT_EQ(bad, -1) << "target " << target << ": first different pixel (" << bad % long(expected.width)
                           << ", " << bad / long(expected.width) << ")";
        PngFreeImage(image);
    }
}

TEST_P(PngSuite, LoadsFromFileLikeFromMemory) {
    const std::string path = kSuiteDir + "/" + GetParam();
    const std::vector<uint8_t> file = pngtest::ReadFileBytes(path);
    Image fromFile = PngLoadFile(path.c_str(), 3);
    Image fromMemory = PngDecodeMemory(file.data(), file.size(), 3);
    ASSERT_EQ(fromFile == nullptr, fromMemory == nullptr);
    if (fromFile) {
        uint32_t width = 0, height = 0;
        PngReadSize(path.c_str(), width, height);
        EXPECT_EQ(std::memcmp(fromFile, fromMemory, size_t(width) * height * 4), 0);
    }
    PngFreeImage(fromFile);
    PngFreeImage(fromMemory);
}

std::string TestName(const ::testing::TestParamInfo<std::string>& info) {
    return info.param.substr(0, info.param.size() - 4);
}

INSTANTIATE_TEST_SUITE_P(Images, PngSuite, ::testing::ValuesIn(SuiteFiles()), TestName);

}  // namespace
