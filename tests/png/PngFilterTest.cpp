// Row filters against a reference written from the filter definitions. These
// tests run once per SIMD level (VOXWALK_PNG_SIMD, see CMakeLists.txt).
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "png/PngFilter.h"

namespace {

int ReferencePaeth(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// Every filter at every pixel size, on lengths around the vector blocks,
// first rows (no previous row) included.
TEST(PngFilter, EveryFilterAndPixelSizeMatchesTheReference) {
    std::mt19937 random(7);
    for (size_t bpp : {1, 2, 3, 4, 6, 8})
        for (size_t pixels : {1, 2, 5, 6, 17, 64, 333})
            for (int type = 0; type <= 4; ++type)
                for (bool firstRow : {false, true}) {
                    // Bytes behind the row may be read but must come back unchanged.
                    const size_t length = pixels * bpp;
                    std::vector<uint8_t> previous(length + 4), row(length + 4, 0xa5);
                    for (uint8_t& v : previous) v = uint8_t(random() % 4 ? random() : 0);
                    for (size_t x = 0; x < length; ++x) row[x] = uint8_t(random() % 3 ? random() : 255);
                    std::vector<uint8_t> expected = row;
                    const uint8_t* up = firstRow ? nullptr : previous.data();
                    for (size_t x = 0; x < length; ++x) {
                        const int a = x >= bpp ? expected[x - bpp] : 0, b = up ? up[x] : 0;
                        const int c = up && x >= bpp ? up[x - bpp] : 0;
                        const int predictor[5] = {0, a, b, (a + b) / 2, ReferencePaeth(a, b, c)};
                        expected[x] = uint8_t(row[x] + predictor[type]);
                    }
                    PngUnfilterRow(type, row.data(), up, length, int(bpp));
                    ASSERT_EQ(row, expected) << "filter " << type << ", " << bpp << " bytes per pixel, " << pixels
                                             << " pixels, first row " << firstRow;
                }
}

}  // namespace
