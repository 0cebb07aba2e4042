// The public interface: targets 2 and 3 in memory, PngReadSize, PngLoadFile
// and PngFreeImage on files good, bad and missing.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "PngTestSupport.h"
#include "png/Png.h"

using pngtest::BuildPng;
using pngtest::Ihdr;

namespace {

uint32_t WordAt(const void* base, ptrdiff_t offset) {
    uint32_t v;
    std::memcpy(&v, static_cast<const uint8_t*>(base) + offset, 4);
    return v;
}

// A file in the test's build folder, removed at the end of the test.
class TempFile {
  public:
    explicit TempFile(const std::vector<uint8_t>& bytes) {
        path_ = std::string(VOXWALK_BINARY_DIR) + "/png_test_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".png";
        FILE* file = std::fopen(path_.c_str(), "wb");
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    ~TempFile() { std::remove(path_.c_str()); }
    const char* path() const { return path_.c_str(); }

  private:
    std::string path_;
};

// 2 x 2 RGB: top row red, green; bottom row blue, white.
std::vector<uint8_t> TwoByTwo() {
    return BuildPng(Ihdr(2, 2, 8, 2), {0, 255, 0, 0, 0, 255, 0, 0, 0, 0, 255, 255, 255, 255});
}

TEST(PngTargets, OpenGlImageIsBottomRowFirstWithSizeInPrefix) {
    const std::vector<uint8_t> file = TwoByTwo();
    Image image = PngDecodeMemory(file.data(), file.size(), 3);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(image) % 16, 0u);
    const uint8_t expected[16] = {0, 0, 255, 255, 255, 255, 255, 255, 255, 0, 0, 255, 0, 255, 0, 255};
    EXPECT_EQ(std::memcmp(image, expected, 16), 0);
    EXPECT_EQ(WordAt(image, -12), 2u);   // width
    EXPECT_EQ(WordAt(image, -16), 2u);   // height
    PngFreeImage(image);
}

TEST(PngTargets, HeaderImageHasPitchOfThirtyTwoAndTopRowFirst) {
    std::vector<uint8_t> raw;
    for (uint8_t y = 0; y < 3; ++y) {
        raw.push_back(0);
        for (uint8_t x = 0; x < 5; ++x) raw.insert(raw.end(), {uint8_t(x), uint8_t(y), 9});
    }
    const std::vector<uint8_t> file = BuildPng(Ihdr(5, 3, 8, 2), raw);
    Image image = PngDecodeMemory(file.data(), file.size(), 2);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(image) % 16, 0u);
    const uint32_t header[8] = {7, 4, 5, 3, 32, 0, 0, 0};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(WordAt(image, i * 4), header[i]) << "word " << i;
    const uint8_t* base = static_cast<const uint8_t*>(image);
    // Row 1 starts 64 bytes after the header start; pixels are B, G, R, A.
    EXPECT_EQ(base[64 + 3 * 4 + 0], 9);
    EXPECT_EQ(base[64 + 3 * 4 + 1], 1);
    EXPECT_EQ(base[64 + 3 * 4 + 2], 3);
    EXPECT_EQ(base[64 + 3 * 4 + 3], 255);
    EXPECT_EQ(base[32 + 2 * 32 + 4 * 4 + 2], 4);   // row 2, column 4, red
    PngFreeImage(image);
}

TEST(PngTargets, OnlyTargetsTwoAndThreeGiveImages) {
    const std::vector<uint8_t> file = TwoByTwo();
    for (int target : {-1, 0, 1, 4, 7}) EXPECT_EQ(PngDecodeMemory(file.data(), file.size(), target), nullptr);
    TempFile temp(file);
    EXPECT_EQ(PngLoadFile(temp.path(), 1), nullptr);
}

TEST(PngFiles, ReadSizeTakesIhdrFieldsAfterTheSignature) {
    TempFile good(TwoByTwo());
    uint32_t width = 99, height = 99;
    PngReadSize(good.path(), width, height);
    EXPECT_EQ(width, 2u);
    EXPECT_EQ(height, 2u);
    // Only the signature is checked: a first chunk other than IHDR still gives
    // the 8 bytes at offset 16.
    std::vector<uint8_t> odd = pngtest::Signature();
    pngtest::AppendChunk(odd, "tEXt", {0, 0, 1, 0, 0, 0, 0, 3});
    TempFile oddFile(odd);
    PngReadSize(oddFile.path(), width, height);
    EXPECT_EQ(width, 256u);
    EXPECT_EQ(height, 3u);
}

TEST(PngFiles, ReadSizeGivesZeroForNonPngShortAndMissingFiles) {
    std::vector<uint8_t> notPng = TwoByTwo();
    notPng[1] = 'Q';
    std::vector<uint8_t> shortPng = TwoByTwo();
    shortPng.resize(23);
    TempFile a(notPng), b(shortPng), c({});
    for (const char* path : {a.path(), b.path(), c.path(), "/nonexistent/missing.png"}) {
        uint32_t width = 5, height = 5;
        PngReadSize(path, width, height);
        EXPECT_EQ(width, 0u) << path;
        EXPECT_EQ(height, 0u) << path;
    }
}

TEST(PngFiles, LoadFileDecodesAndRefusesEmptyMissingAndBroken) {
    TempFile good(TwoByTwo());
    Image image = PngLoadFile(good.path(), 3);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(WordAt(image, -12), 2u);
    PngFreeImage(image);
    TempFile empty({});
    EXPECT_EQ(PngLoadFile(empty.path(), 3), nullptr);
    EXPECT_EQ(PngLoadFile("/nonexistent/missing.png", 3), nullptr);
    EXPECT_EQ(PngLoadFile(VOXWALK_SOURCE_DIR, 3), nullptr);   // a folder
    std::vector<uint8_t> truncated = TwoByTwo();
    truncated.pop_back();
    TempFile broken(truncated);
    EXPECT_EQ(PngLoadFile(broken.path(), 3), nullptr);
}

TEST(PngFiles, FreeImageOfNothingDoesNothing) { PngFreeImage(nullptr); }

}  // namespace
