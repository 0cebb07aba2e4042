// The decoder on crafted files: chunk structure, header, PLTE and tRNS rules,
// the exact inflated size, filters and Adam7, and hostile sizes.
#include <gtest/gtest.h>

#include <random>
#include <tuple>
#include <vector>

#include "PngTestSupport.h"
#include "png/Png.h"
#include "png/PngDecoder.h"

using pngtest::AppendChunk;
using pngtest::BuildPng;
using pngtest::Ihdr;

namespace {

// Filtered rows (filter type 0) of an 8-bit RGBA image: pixel (x, y) is
// (x * 40 + y, y * 50 + x, x ^ y, 255 - x - y).
std::vector<uint8_t> RgbaRows(uint32_t width, uint32_t height) {
    std::vector<uint8_t> raw;
    for (uint32_t y = 0; y < height; ++y) {
        raw.push_back(0);
        for (uint32_t x = 0; x < width; ++x) {
            raw.push_back(uint8_t(x * 40 + y));
            raw.push_back(uint8_t(y * 50 + x));
            raw.push_back(uint8_t(x ^ y));
            raw.push_back(uint8_t(255 - x - y));
        }
    }
    return raw;
}

std::vector<uint8_t> ValidRgba() { return BuildPng(Ihdr(4, 3, 8, 6), RgbaRows(4, 3)); }

// Decodes in both targets, checks each result against libpng, frees it.
void ExpectMatchesLibpng(const std::vector<uint8_t>& file) {
    pngtest::RgbaImage expected;
    ASSERT_TRUE(pngtest::DecodeWithLibpng(file, expected));
    for (int target : {2, 3}) {
        Image image = PngDecodeMemory(file.data(), file.size(), target);
        ASSERT_NE(image, nullptr) << "target " << target;
        EXPECT_EQ(pngtest::FirstDifference(expected,
                                           pngtest::FromImage(image, target, expected.width, expected.height)),
                  -1)
            << "target " << target;
        PngFreeImage(image);
    }
}

void ExpectRefused(const std::vector<uint8_t>& file) {
    for (int target : {2, 3}) {
        Image image = PngDecodeMemory(file.data(), file.size(), target);
        EXPECT_EQ(image, nullptr) << "target " << target;
        PngFreeImage(image);
    }
}

TEST(PngChunks, ValidFileDecodesAndAnyCrcByteChangeRefusesIt) {
    const std::vector<uint8_t> file = ValidRgba();
    ExpectMatchesLibpng(file);
    // The CRC of each chunk: IHDR at 29, IDAT before IEND, IEND the last 4 bytes.
    const size_t idatCrc = file.size() - 12 - 4;
    for (size_t at : {size_t(29), size_t(32), idatCrc, file.size() - 1}) {
        std::vector<uint8_t> broken = file;
        broken[at] ^= 0x01;
        ExpectRefused(broken);
    }
}

TEST(PngChunks, ByteBehindIendIsRefused) {
    std::vector<uint8_t> file = ValidRgba();
    file.push_back(0);
    ExpectRefused(file);
}

TEST(PngChunks, TruncatedFilesAreRefused) {
    const std::vector<uint8_t> file = ValidRgba();
    for (size_t length : {size_t(0), size_t(8), size_t(48), size_t(49), file.size() - 12, file.size() - 1})
        EXPECT_EQ(PngDecodeMemory(file.data(), length, 3), nullptr) << length;
    EXPECT_EQ(PngDecodeMemory(nullptr, 100, 3), nullptr);
}

TEST(PngChunks, IdatSplitAroundAncillaryChunkDecodesAsOne) {
    const std::vector<uint8_t> raw = RgbaRows(7, 5);
    const std::vector<uint8_t> packed = pngtest::Deflate(raw);
    std::vector<uint8_t> file = pngtest::Signature();
    AppendChunk(file, "IHDR", Ihdr(7, 5, 8, 6));
    const size_t cut = packed.size() / 3;
    AppendChunk(file, "IDAT", std::vector<uint8_t>(packed.begin(), packed.begin() + cut));
    AppendChunk(file, "tEXt", {'a', 0, 'b'});
    AppendChunk(file, "IDAT", std::vector<uint8_t>(packed.begin() + cut, packed.end() - 1));
    AppendChunk(file, "IDAT", std::vector<uint8_t>(packed.end() - 1, packed.end()));
    AppendChunk(file, "IEND", {});
    Image split = PngDecodeMemory(file.data(), file.size(), 3);
    const std::vector<uint8_t> whole = BuildPng(Ihdr(7, 5, 8, 6), raw);
    Image single = PngDecodeMemory(whole.data(), whole.size(), 3);
    ASSERT_NE(split, nullptr);
    ASSERT_NE(single, nullptr);
    EXPECT_EQ(std::memcmp(split, single, 7 * 5 * 4), 0);
    PngFreeImage(split);
    PngFreeImage(single);
}

TEST(PngChunks, StructureFaultsAreRefused) {
    const std::vector<uint8_t> raw = RgbaRows(4, 3);
    // Missing IEND, IHDR not first, IHDR of 14 bytes, no IDAT, an empty IDAT.
    std::vector<uint8_t> noEnd = pngtest::Signature();
    AppendChunk(noEnd, "IHDR", Ihdr(4, 3, 8, 6));
    AppendChunk(noEnd, "IDAT", pngtest::Deflate(raw));
    AppendChunk(noEnd, "tEXt", {'a', 0, 'b'});
    ExpectRefused(noEnd);
    std::vector<uint8_t> late = pngtest::Signature();
    AppendChunk(late, "tEXt", {'a', 0, 'b'});
    AppendChunk(late, "IHDR", Ihdr(4, 3, 8, 6));
    AppendChunk(late, "IDAT", pngtest::Deflate(raw));
    AppendChunk(late, "IEND", {});
    ExpectRefused(late);
    std::vector<uint8_t> longHeader = Ihdr(4, 3, 8, 6);
    longHeader.push_back(0);
    ExpectRefused(BuildPng(longHeader, raw));
    std::vector<uint8_t> noData = pngtest::Signature();
    AppendChunk(noData, "IHDR", Ihdr(4, 3, 8, 6));
    AppendChunk(noData, "IDAT", {});
    AppendChunk(noData, "tEXt", std::vector<uint8_t>(40, 'x'));
    AppendChunk(noData, "IEND", {});
    ExpectRefused(noData);
}

TEST(PngChunks, UnknownChunksAreSkippedButChecked) {
    std::vector<uint8_t> file = BuildPng(Ihdr(4, 3, 8, 6), RgbaRows(4, 3), {{"vpAg", {1, 2, 3}}, {"IXYZ", {}}});
    ExpectMatchesLibpng(BuildPng(Ihdr(4, 3, 8, 6), RgbaRows(4, 3), {{"vpAg", {1, 2, 3}}}));
    Image image = PngDecodeMemory(file.data(), file.size(), 3);
    EXPECT_NE(image, nullptr);   // an unknown critical chunk is listed and ignored
    PngFreeImage(image);
    file[8 + 25 + 8 + 1] ^= 0x40;   // a data byte of vpAg: its CRC no longer holds
    ExpectRefused(file);
}

TEST(PngChunks, ChunkLengthsNearTwoToThe32AreRefused) {
    for (uint32_t length : {0xffffffffu, 0xfffffff4u, 0x80000000u, 0x7fffffffu}) {
        std::vector<uint8_t> file = ValidRgba();
        // The IDAT length field, 8 + 25 bytes in.
        file[33] = uint8_t(length >> 24);
        file[34] = uint8_t(length >> 16);
        file[35] = uint8_t(length >> 8);
        file[36] = uint8_t(length);
        ExpectRefused(file);
    }
}

TEST(PngHeader, FieldsOutsideTheTableAreRefused) {
    const std::vector<uint8_t> raw(64, 0);
    struct Case {
        uint32_t width, height;
        int depth, colorType, interlace;
    };
    for (const Case& c : {Case{1, 1, 16, 3, 0}, Case{1, 1, 8, 0, 2}, Case{0, 1, 8, 0, 0}, Case{1, 0, 8, 0, 0},
                          Case{1, 1, 8, 1, 0}, Case{1, 1, 8, 5, 0}, Case{1, 1, 8, 7, 0}, Case{1, 1, 4, 2, 0},
                          Case{1, 1, 2, 6, 0}, Case{1, 1, 3, 0, 0}, Case{1, 1, 32, 0, 0}}) {
        ExpectRefused(BuildPng(Ihdr(c.width, c.height, c.depth, c.colorType, c.interlace), raw,
                               {{"PLTE", {1, 2, 3}}}));
    }
    std::vector<uint8_t> methods = Ihdr(1, 1, 8, 0);
    methods[10] = 1;   // compression method
    ExpectRefused(BuildPng(methods, {0, 0}));
    methods[10] = 0;
    methods[11] = 1;   // filter method
    ExpectRefused(BuildPng(methods, {0, 0}));
}

TEST(PngHeader, HugeDimensionsAreRefusedWithoutAllocatingThem) {
    // Small data cannot fill these images; the size checks refuse them
    // before any buffer of their size is asked for (ASan would abort on it).
    const std::vector<uint8_t> raw(1000, 0);
    for (uint32_t side : {0xffffffffu, 0x80000000u, 0x10000u}) {
        ExpectRefused(BuildPng(Ihdr(side, side, 8, 6), raw));
        ExpectRefused(BuildPng(Ihdr(side, side, 16, 6, 1), raw));
        ExpectRefused(BuildPng(Ihdr(side, 1, 1, 0), raw));
        ExpectRefused(BuildPng(Ihdr(1, side, 1, 0, 1), raw));
    }
}

TEST(PngHeader, ExpectedSizeIsTheSumOfTheRowsOfEveryNonEmptyPass) {
    PngDecoder decoder;
    PngInitDecoder(decoder, nullptr, 0);
    decoder.bitDepth = 8;
    decoder.colorType = 0;
    decoder.width = 3;
    decoder.height = 3;
    EXPECT_EQ(PngExpectedSize(decoder), 3u * 4);
    decoder.interlaceMethod = 1;
    // Passes 1 (1 x 1), 4 (1 x 1), 5 (2 x 1), 6 (1 x 2), 7 (3 x 1); 2 and 3 start beyond the image.
    EXPECT_EQ(PngExpectedSize(decoder), 2u + 2 + 3 + 2 * 2 + 4);
    decoder.width = 1;
    decoder.height = 1;
    EXPECT_EQ(PngExpectedSize(decoder), 2u);
    decoder.width = 0xffffffffu;
    decoder.height = 0xffffffffu;
    decoder.bitDepth = 16;
    decoder.colorType = 6;
    EXPECT_EQ(PngExpectedSize(decoder), 0u);   // overflow is reported, not wrapped
}

TEST(PngInterlace, OneByOneRunsOnlyPassOne) {
    const std::vector<uint8_t> ihdr = Ihdr(1, 1, 8, 2, 1);
    const std::vector<uint8_t> file = BuildPng(ihdr, {0, 10, 20, 30});
    ExpectMatchesLibpng(file);
    Image image = PngDecodeMemory(file.data(), file.size(), 3);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(std::memcmp(image, "\x0a\x14\x1e\xff", 4), 0);
    PngFreeImage(image);
    // One more row of any other pass is data too many.
    ExpectRefused(BuildPng(ihdr, {0, 10, 20, 30, 0, 1, 2, 3}));
}

TEST(PngInterlace, ThreeByThreeSkipsPassesStartingBeyondIt) {
    // Passes 1, 4, 5, 6, 7 in order, grey 8-bit, each pixel its own value.
    const std::vector<uint8_t> raw = {0, 11, 0, 13, 0, 31, 33, 0, 12, 0, 32, 0, 21, 22, 23};
    const std::vector<uint8_t> file = BuildPng(Ihdr(3, 3, 8, 0, 1), raw);
    ExpectMatchesLibpng(file);
    Image image = PngDecodeMemory(file.data(), file.size(), 2);
    ASSERT_NE(image, nullptr);
    const uint8_t* rows = static_cast<const uint8_t*>(image) + 32;
    const uint8_t expected[3][3] = {{11, 12, 13}, {21, 22, 23}, {31, 32, 33}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(rows[y * 32 + x * 4], expected[y][x]) << x << ", " << y;
    PngFreeImage(image);
    std::vector<uint8_t> shorter(raw.begin(), raw.end() - 1);
    ExpectRefused(BuildPng(Ihdr(3, 3, 8, 0, 1), shorter));
}

TEST(PngInflate, DataOneByteShortOrLongIsRefused) {
    std::vector<uint8_t> raw = RgbaRows(4, 3);
    ExpectMatchesLibpng(BuildPng(Ihdr(4, 3, 8, 6), raw));
    raw.push_back(0);
    ExpectRefused(BuildPng(Ihdr(4, 3, 8, 6), raw));
    raw.resize(raw.size() - 2);
    ExpectRefused(BuildPng(Ihdr(4, 3, 8, 6), raw));
    // Far more data than expected does not fit the output buffer at all.
    ExpectRefused(BuildPng(Ihdr(4, 3, 8, 6), std::vector<uint8_t>(10000, 0)));
}

TEST(PngInflate, CorruptDeflateStreamIsRefused) {
    std::vector<uint8_t> packed = pngtest::Deflate(RgbaRows(4, 3));
    packed.back() ^= 0xff;   // Adler-32 of the zlib stream
    std::vector<uint8_t> file = pngtest::Signature();
    AppendChunk(file, "IHDR", Ihdr(4, 3, 8, 6));
    AppendChunk(file, "IDAT", packed);
    AppendChunk(file, "IEND", {});
    ExpectRefused(file);
}

TEST(PngFilters, FilterTypeAboveFourIsRefused) {
    for (uint8_t type : {5, 6, 255}) {
        std::vector<uint8_t> raw = RgbaRows(4, 3);
        raw[2 * 17] = type;   // the last row's filter byte
        ExpectRefused(BuildPng(Ihdr(4, 3, 8, 6), raw));
    }
}

TEST(PngPalette, MissingPlteIsRefusedAndExtraPlteIgnored) {
    ExpectRefused(BuildPng(Ihdr(2, 1, 8, 3), {0, 0, 1}));
    std::vector<uint8_t> huge(257 * 3, 7);
    ExpectRefused(BuildPng(Ihdr(2, 1, 8, 3), {0, 0, 1}, {{"PLTE", huge}}));
    // A PLTE in a truecolour image is only a suggestion.
    ExpectMatchesLibpng(BuildPng(Ihdr(4, 3, 8, 6), RgbaRows(4, 3), {{"PLTE", {9, 9, 9}}}));
    ExpectMatchesLibpng(BuildPng(Ihdr(1, 1, 8, 2), {0, 1, 2, 3}, {{"PLTE", {9, 9, 9}}}));
}

TEST(PngTransparency, ShortPaletteTrnsGivesThreeAlphasAndOpaqueRest) {
    const std::vector<uint8_t> palette = {10, 0, 0, 20, 0, 0, 30, 0, 0, 40, 0, 0, 50, 0, 0};
    const std::vector<uint8_t> file =
        BuildPng(Ihdr(5, 1, 8, 3), {0, 0, 1, 2, 3, 4}, {{"PLTE", palette}, {"tRNS", {0, 100, 200}}});
    ExpectMatchesLibpng(file);
    Image image = PngDecodeMemory(file.data(), file.size(), 3);
    ASSERT_NE(image, nullptr);
    const uint8_t* p = static_cast<const uint8_t*>(image);
    const uint8_t alphas[5] = {0, 100, 200, 255, 255};
    for (int x = 0; x < 5; ++x) {
        EXPECT_EQ(p[x * 4], palette[x * 3]);
        EXPECT_EQ(p[x * 4 + 3], alphas[x]);
    }
    PngFreeImage(image);
}

TEST(PngTransparency, WrongLengthOrAlphaImageIsRefused) {
    ExpectRefused(BuildPng(Ihdr(1, 1, 8, 0), {0, 5}, {{"tRNS", {0, 5, 0, 5, 0, 5}}}));
    ExpectRefused(BuildPng(Ihdr(1, 1, 8, 2), {0, 1, 2, 3}, {{"tRNS", {0, 5}}}));
    ExpectRefused(BuildPng(Ihdr(1, 1, 8, 3), {0, 0}, {{"PLTE", {1, 2, 3}}, {"tRNS", std::vector<uint8_t>(257, 1)}}));
    ExpectRefused(BuildPng(Ihdr(4, 3, 8, 6), RgbaRows(4, 3), {{"tRNS", {0, 0, 0, 0, 0, 0}}}));
    ExpectRefused(BuildPng(Ihdr(1, 1, 8, 4), {0, 1, 2}, {{"tRNS", {0, 1}}}));
}

// Random images through every filter, colour type, depth and interlace,
// written by libpng and compared with libpng's decode. Widths cover the
// vector blocks and their tails.
class PngFilterMatrix : public ::testing::TestWithParam<std::tuple<int, int, int, int>> {};

TEST_P(PngFilterMatrix, MatchesLibpng) {
    const auto [format, filter, interlace, width] = GetParam();
    static constexpr int kFormats[][2] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16},
                                          {3, 1}, {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};
    const int colorType = kFormats[format][0], depth = kFormats[format][1];
    const int filterMask[] = {PNG_FILTER_NONE, PNG_FILTER_SUB, PNG_FILTER_UP, PNG_FILTER_AVG, PNG_FILTER_PAETH};
    const uint32_t height = 9;
    const size_t rowBytes = (size_t(width) * depth * PngChannels(colorType) + 7) / 8;
    std::mt19937 random(uint32_t(format * 1000 + filter * 100 + width));
    std::vector<uint8_t> samples(rowBytes * height);
    for (size_t i = 0; i < samples.size(); ++i) {
        // Smooth values with noise, so that every predictor gets picked by Paeth.
        samples[i] = uint8_t((i % rowBytes) * 3 + i / rowBytes * 5 + (random() % 7));
    }
    const std::vector<uint8_t> file =
        pngtest::EncodeWithLibpng(uint32_t(width), height, depth, colorType, interlace, filterMask[filter], samples);
    ASSERT_FALSE(file.empty());
    ExpectMatchesLibpng(file);
}

INSTANTIATE_TEST_SUITE_P(AllFormats, PngFilterMatrix,
                         ::testing::Combine(::testing::Range(0, 15), ::testing::Range(0, 5),
                                            ::testing::Values(0, 1), ::testing::Values(1, 6, 23)));

}  // namespace
