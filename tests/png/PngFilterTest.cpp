// Row filters against a plain reference written from the PNG filter
// definitions: every filter at every pixel size and on odd lengths, first
// rows included, and Paeth on every (left, up, upper left) triple.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "png/PngFilter.h"

namespace {

int ReferencePaeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    if (pb <= pc) return b;
    return c;
}

// Reconstructs one row the slow way; previous may be nullptr (all zero).
std::vector<uint8_t> ReferenceUnfilter(int type, const std::vector<uint8_t>& raw, const uint8_t* previous,
                                       size_t bpp) {
    std::vector<uint8_t> out(raw.size());
    for (size_t x = 0; x < raw.size(); ++x) {
        const int a = x >= bpp ? out[x - bpp] : 0;
        const int b = previous ? previous[x] : 0;
        const int c = previous && x >= bpp ? previous[x - bpp] : 0;
        int predictor = 0;
        switch (type) {
        case 1: predictor = a; break;
        case 2: predictor = b; break;
        case 3: predictor = (a + b) / 2; break;
        case 4: predictor = ReferencePaeth(a, b, c); break;
        default: break;
        }
        out[x] = uint8_t(raw[x] + predictor);
    }
    return out;
}

class PngFilterRows : public ::testing::TestWithParam<int> {};

TEST_P(PngFilterRows, EveryFilterMatchesTheReference) {
    const size_t bpp = size_t(GetParam());
    std::mt19937 random{uint32_t(bpp)};
    for (size_t pixels : {size_t(1), size_t(2), size_t(5), size_t(6), size_t(17), size_t(64), size_t(333)}) {
        const size_t length = pixels * bpp;
        for (int type = 0; type <= 4; ++type) {
            for (int firstRow : {0, 1}) {
                // Bytes behind the row stand for the next row's start: they
                // may be read but must come back unchanged.
                std::vector<uint8_t> previous(length + 4), raw(length);
                for (uint8_t& v : previous) v = uint8_t(random() % 4 == 0 ? 0 : random());
                for (uint8_t& v : raw) v = uint8_t(random() % 3 == 0 ? 255 : random());
                std::vector<uint8_t> work(length + 4, 0xa5);
                std::copy(raw.begin(), raw.end(), work.begin());
                const uint8_t* up = firstRow ? nullptr : previous.data();
                PngUnfilterRow(type, work.data(), up, length, int(bpp));
                const std::vector<uint8_t> expected = ReferenceUnfilter(type, raw, up, bpp);
                ASSERT_TRUE(std::equal(expected.begin(), expected.end(), work.begin()))
                    << "filter " << type << ", " << pixels << " pixels, first row " << firstRow;
                for (size_t i = length; i < work.size(); ++i) ASSERT_EQ(work[i], 0xa5) << "byte behind the row";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(PixelSizes, PngFilterRows, ::testing::Values(1, 2, 3, 4, 6, 8));

// Pixels in pairs: the first sets up left (through its raw value), the
// second reconstructs with a raw value of 0, leaving exactly the predictor
// for its (left, up, upper left). Each byte lane carries its own triple.
TEST(PngFilterPaeth, EveryTripleGivesTheReferencePredictor) {
    for (size_t bpp : {size_t(1), size_t(3), size_t(4)}) {
        const size_t triples = size_t(1) << 24;
        const size_t pairs = (triples + bpp - 1) / bpp;
        const size_t length = pairs * 2 * bpp;
        std::vector<uint8_t> previous(length + 4, 0), row(length + 4, 0);
        std::vector<uint8_t> expected(pairs * bpp);
        std::vector<uint8_t> output(length, 0);   // reference outputs, for the setup raw values
        for (size_t pair = 0; pair < pairs; ++pair) {
            for (size_t lane = 0; lane < bpp; ++lane) {
                const uint32_t t = uint32_t(pair * bpp + lane) & 0xffffff;
                const int a = t & 255, b = (t >> 8) & 255, c = t >> 16;
                const size_t setup = pair * 2 * bpp + lane, test = setup + bpp;
                previous[setup] = uint8_t(c);
                previous[test] = uint8_t(b);
                const int setupLeft = setup >= bpp ? output[setup - bpp] : 0;
                const int setupUpperLeft = setup >= bpp ? previous[setup - bpp] : 0;
                row[setup] = uint8_t(a - ReferencePaeth(setupLeft, c, setupUpperLeft));
                output[setup] = uint8_t(a);
                output[test] = uint8_t(ReferencePaeth(a, b, c));
                expected[pair * bpp + lane] = output[test];
            }
        }
        PngUnfilterRow(4, row.data(), previous.data(), length, int(bpp));
        for (size_t pair = 0; pair < pairs; ++pair) {
            for (size_t lane = 0; lane < bpp; ++lane) {
                const size_t test = pair * 2 * bpp + bpp + lane;
                if (row[test] != expected[pair * bpp + lane]) {
                    const uint32_t t = uint32_t(pair * bpp + lane);
                    FAIL() << bpp << " bytes per pixel: left " << (t & 255) << ", up " << ((t >> 8) & 255)
                           << ", upper left " << (t >> 16) << " gave " << int(row[test]) << ", expected "
                           << int(expected[pair * bpp + lane]);
                }
            }
        }
    }
}

}  // namespace
