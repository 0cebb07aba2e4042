// Pixel conversion through whole decodes, in both layouts: packed padding,
// transparency keys, palette edges and rows shorter than a vector block
// against literal pixels (PngSuite checks the rest against libpng). Runs once
// per SIMD level (VOXWALK_PNG_SIMD, see CMakeLists.txt).
#include <gtest/gtest.h>

#include "PngTestSupport.h"

using namespace pngtest;

namespace {

// One row (its filter byte 0, then the samples), the chunks before IDAT, and the pixels as 0xRRGGBBAA.
struct Row {
    const char* name;
    uint32_t width;
    int depth, colorType;
    Bytes filtered;
    std::vector<Chunk> extra;
    std::vector<uint32_t> expected;
};

const Bytes kPalette = {10, 11, 12, 20, 21, 22, 30, 31, 32, 40, 41, 42, 50, 51, 52};

const Row kRows[] = {
    {"grey1_row_of_ten_skips_padding",
     10,
     1,
     0,
     {0, 0xaa, 0xff},
     {},
     {0xffffffff, 0xff, 0xffffffff, 0xff, 0xffffffff, 0xff, 0xffffffff, 0xff, 0xffffffff, 0xffffffff}},
    // The grey key compares all 16 bits; the high byte is kept.
    {"grey16_key", 2, 16, 0, {0, 0x12, 0xff, 0x12, 0x00}, {{"tRNS", {0x12, 0xff}}}, {0x12121200, 0x121212ff}},
    // Ten pixels: two blocks of four for the vector path, two for the tail.
    {"rgb8_key_matches_all_three_samples",
     10,
     8,
     2,
     {0, 1, 2, 3, 1, 2, 4, 9, 2, 3, 3, 2, 1, 10, 20, 30, 1, 2, 3, 0, 0, 0, 255, 254, 253, 1, 3, 3, 1, 2, 3},
     {{"tRNS", {0, 1, 0, 2, 0, 3}}},
     {0x01020300, 0x010204ff, 0x090203ff, 0x030201ff, 0x0a141eff, 0x01020300, 0x000000ff, 0xfffefdff, 0x010303ff,
      0x01020300}},
    // Red 256 would carry into green: (256, 2, 3) packs like (0, 3, 3).
    {"rgb8_key_beyond_8_bits_never_matches", 1, 8, 2, {0, 0, 3, 3}, {{"tRNS", {1, 0, 0, 2, 0, 3}}}, {0x000303ff}},
    {"rgb16_key_compares_low_bytes",
     2,
     16,
     2,
     {0, 1, 5, 2, 5, 3, 5, 1, 5, 2, 5, 3, 6},
     {{"tRNS", {1, 5, 2, 5, 3, 5}}},
     {0x01020300, 0x010203ff}},
    {"palette_index_beyond_plte_is_black", 2, 8, 3, {0, 1, 9}, {{"PLTE", kPalette}}, {0x141516ff, 0x000000ff}},
    {"palette_trns_beyond_plte",
     2,
     8,
     3,
     {0, 1, 9},
     {{"PLTE", kPalette}, {"tRNS", {50, 50, 50, 50, 50, 50, 50, 50, 50, 77}}},
     {0x14151632, 0x0000004d}},
    {"palette_short_trns_leaves_the_rest_opaque",
     5,
     8,
     3,
     {0, 0, 1, 2, 3, 4},
     {{"PLTE", kPalette}, {"tRNS", {0, 100, 200}}},
     {0x0a0b0c00, 0x14151664, 0x1e1f20c8, 0x28292aff, 0x323334ff}},
    {"grey_alpha8", 1, 8, 4, {0, 90, 7}, {}, {0x5a5a5a07}},
    {"grey_alpha16", 1, 16, 4, {0, 90, 1, 7, 2}, {}, {0x5a5a5a07}},
    {"rgba16", 1, 16, 6, {0, 1, 9, 2, 9, 3, 9, 4, 9}, {}, {0x01020304}},
};

TEST(PixelConvert, RowsGiveTheLiteralPixelsInBothLayouts) {
    for (const Row& row : kRows) {
        Rgba expected{row.width, 1, {}};
        for (uint32_t v : row.expected) Put32(expected.pixels, v);
        const Bytes file = BuildPng(Ihdr(row.width, 1, row.depth, row.colorType), row.filtered, row.extra);
        for (int target : {2, 3})
            EXPECT_EQ(Differs(PngDecodeMemory(file.data(), file.size(), target), target, expected), "") << row.name;
    }
}

}  // namespace
