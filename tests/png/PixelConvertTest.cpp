// Pixel conversion through whole decodes: sample scaling, packed padding,
// transparency keys and palette edges, in both layouts.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "PngTestSupport.h"
#include "png/Png.h"

using pngtest::BuildPng;
using pngtest::Ihdr;

namespace {

using Pixel = std::array<uint8_t, 4>;

// The pixels of a decoded one-row image as R, G, B, A, read through the
// target's own layout; the test fails when nothing decodes.
std::vector<Pixel> DecodeRow(const std::vector<uint8_t>& file, int target, uint32_t width) {
    std::vector<Pixel> pixels;
    Image image = PngDecodeMemory(file.data(), file.size(), target);
    EXPECT_NE(image, nullptr);
    if (!image) return pixels;
    const pngtest::RgbaImage row = pngtest::FromImage(image, target, width, 1);
    PngFreeImage(image);
    for (uint32_t x = 0; x < width; ++x) {
        const uint8_t* p = &row.rgba[size_t(x) * 4];
        pixels.push_back({p[0], p[1], p[2], p[3]});
    }
    return pixels;
}

Pixel GreyPixel(uint8_t g, uint8_t a = 255) { return {g, g, g, a}; }

TEST(PixelConvert, OneBitGreyRowOfTenSkipsPaddingBits) {
    // Samples 1010101011 then six padding bits set to 1.
    const std::vector<uint8_t> file = BuildPng(Ihdr(10, 1, 1, 0), {0, 0xaa, 0xff});
    for (int target : {2, 3}) {
        const std::vector<Pixel> row = DecodeRow(file, target, 10);
        ASSERT_EQ(row.size(), 10u);
        for (int x = 0; x < 8; ++x) EXPECT_EQ(row[x], GreyPixel(x % 2 ? 0 : 255)) << x;
        EXPECT_EQ(row[8], GreyPixel(255));
        EXPECT_EQ(row[9], GreyPixel(255));
    }
    // The padding of a target-2 row (pitch 64, 40 bytes of pixels) stays 0.
    Image image = PngDecodeMemory(file.data(), file.size(), 2);
    ASSERT_NE(image, nullptr);
    const uint8_t* row = static_cast<const uint8_t*>(image) + 32;
    for (int i = 40; i < 64; ++i) EXPECT_EQ(row[i], 0) << i;
    PngFreeImage(image);
}

TEST(PixelConvert, LowBitGreySamplesScaleToFullRange) {
    // 2-bit samples 0, 1, 2, 3 and 4-bit samples 0, 7, 15.
    const std::vector<Pixel> two = DecodeRow(BuildPng(Ihdr(4, 1, 2, 0), {0, 0x1b}), 3, 4);
    ASSERT_EQ(two.size(), 4u);
    EXPECT_EQ(two[0], GreyPixel(0));
    EXPECT_EQ(two[1], GreyPixel(85));
    EXPECT_EQ(two[2], GreyPixel(170));
    EXPECT_EQ(two[3], GreyPixel(255));
    const std::vector<Pixel> four = DecodeRow(BuildPng(Ihdr(3, 1, 4, 0), {0, 0x07, 0xf0}), 3, 3);
    ASSERT_EQ(four.size(), 3u);
    EXPECT_EQ(four[0], GreyPixel(0));
    EXPECT_EQ(four[1], GreyPixel(119));
    EXPECT_EQ(four[2], GreyPixel(255));
}

TEST(PixelConvert, GreyKeyMakesMatchingSamplesTransparentInBothLayouts) {
    const std::vector<uint8_t> file = BuildPng(Ihdr(4, 1, 4, 0), {0, 0x33, 0x3f}, {{"tRNS", {0, 3}}});
    for (int target : {2, 3}) {
        const std::vector<Pixel> row = DecodeRow(file, target, 4);
        ASSERT_EQ(row.size(), 4u);
        EXPECT_EQ(row[0], GreyPixel(51, 0));
        EXPECT_EQ(row[1], GreyPixel(51, 0));
        EXPECT_EQ(row[2], GreyPixel(51, 0));
        EXPECT_EQ(row[3], GreyPixel(255, 255));
    }
}

TEST(PixelConvert, SixteenBitGreyKeepsHighByteAndComparesAllSixteenBits) {
    const std::vector<uint8_t> rows = {0, 0x12, 0xff, 0x12, 0x00};
    const std::vector<Pixel> plain = DecodeRow(BuildPng(Ihdr(2, 1, 16, 0), rows), 3, 2);
    ASSERT_EQ(plain.size(), 2u);
    EXPECT_EQ(plain[0], GreyPixel(0x12));
    EXPECT_EQ(plain[1], GreyPixel(0x12));
    const std::vector<uint8_t> keyed = BuildPng(Ihdr(2, 1, 16, 0), rows, {{"tRNS", {0x12, 0xff}}});
    for (int target : {2, 3}) {
        const std::vector<Pixel> row = DecodeRow(keyed, target, 2);
        ASSERT_EQ(row.size(), 2u);
        EXPECT_EQ(row[0], GreyPixel(0x12, 0));
        EXPECT_EQ(row[1], GreyPixel(0x12, 255));
    }
}

TEST(PixelConvert, RgbBytesFollowTheLayout) {
    const std::vector<uint8_t> file = BuildPng(Ihdr(1, 1, 8, 2), {0, 10, 20, 30});
    Image gl = PngDecodeMemory(file.data(), file.size(), 3);
    Image header = PngDecodeMemory(file.data(), file.size(), 2);
    ASSERT_NE(gl, nullptr);
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(std::memcmp(gl, "\x0a\x14\x1e\xff", 4), 0);
    EXPECT_EQ(std::memcmp(static_cast<uint8_t*>(header) + 32, "\x1e\x14\x0a\xff", 4), 0);
    PngFreeImage(gl);
    PngFreeImage(header);
}

TEST(PixelConvert, RgbKeyMatchesOnlyAllThreeSamples) {
    const std::vector<uint8_t> rows8 = {0, 1, 2, 3, 1, 2, 4, 9, 2, 3};
    const std::vector<uint8_t> file8 = BuildPng(Ihdr(3, 1, 8, 2), rows8, {{"tRNS", {0, 1, 0, 2, 0, 3}}});
    for (int target : {2, 3}) {
        const std::vector<Pixel> row = DecodeRow(file8, target, 3);
        ASSERT_EQ(row.size(), 3u);
        EXPECT_EQ(row[0], (Pixel{1, 2, 3, 0}));
        EXPECT_EQ(row[1], (Pixel{1, 2, 4, 255}));
        EXPECT_EQ(row[2], (Pixel{9, 2, 3, 255}));
    }
    // At 16 bits the low bytes count too.
    const std::vector<uint8_t> rows16 = {0, 1, 5, 2, 5, 3, 5, 1, 5, 2, 5, 3, 6};
    const std::vector<uint8_t> file16 = BuildPng(Ihdr(2, 1, 16, 2), rows16, {{"tRNS", {1, 5, 2, 5, 3, 5}}});
    const std::vector<Pixel> row = DecodeRow(file16, 3, 2);
    ASSERT_EQ(row.size(), 2u);
    EXPECT_EQ(row[0], (Pixel{1, 2, 3, 0}));
    EXPECT_EQ(row[1], (Pixel{1, 2, 3, 255}));
}

TEST(PixelConvert, PaletteIndexBeyondPlteIsBlack) {
    const std::vector<uint8_t> palette = {10, 11, 12, 20, 21, 22, 30, 31, 32, 40, 41, 42};
    const std::vector<uint8_t> rows = {0, 1, 9};
    const std::vector<Pixel> plain = DecodeRow(BuildPng(Ihdr(2, 1, 8, 3), rows, {{"PLTE", palette}}), 2, 2);
    ASSERT_EQ(plain.size(), 2u);
    EXPECT_EQ(plain[0], (Pixel{20, 21, 22, 255}));
    EXPECT_EQ(plain[1], (Pixel{0, 0, 0, 255}));
    std::vector<uint8_t> alphas(10, 50);
    alphas[9] = 77;
    const std::vector<Pixel> keyed =
        DecodeRow(BuildPng(Ihdr(2, 1, 8, 3), rows, {{"PLTE", palette}, {"tRNS", alphas}}), 3, 2);
    ASSERT_EQ(keyed.size(), 2u);
    EXPECT_EQ(keyed[0], (Pixel{20, 21, 22, 50}));
    EXPECT_EQ(keyed[1], (Pixel{0, 0, 0, 77}));
}

TEST(PixelConvert, AlphaTypesKeepTheirAlphaSamples) {
    const std::vector<Pixel> ga8 = DecodeRow(BuildPng(Ihdr(1, 1, 8, 4), {0, 90, 7}), 2, 1);
    ASSERT_EQ(ga8.size(), 1u);
    EXPECT_EQ(ga8[0], GreyPixel(90, 7));
    const std::vector<Pixel> ga16 = DecodeRow(BuildPng(Ihdr(1, 1, 16, 4), {0, 90, 1, 7, 2}), 3, 1);
    ASSERT_EQ(ga16.size(), 1u);
    EXPECT_EQ(ga16[0], GreyPixel(90, 7));
    const std::vector<Pixel> rgba16 = DecodeRow(BuildPng(Ihdr(1, 1, 16, 6), {0, 1, 9, 2, 9, 3, 9, 4, 9}), 2, 1);
    ASSERT_EQ(rgba16.size(), 1u);
    EXPECT_EQ(rgba16[0], (Pixel{1, 2, 3, 4}));
}

}  // namespace
