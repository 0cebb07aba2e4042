// The two committed pictures, read through the project's own PNG decoder the
// way the viewer reads them: the grass tiles without a seam, and the font
// sheet holds white glyphs in alpha, placed so that the viewer's 10.8-pixel
// advance over 16-pixel cells neither clips nor collides.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "png/Png.h"

namespace {

std::string AssetPath(const char* relative) {
    return std::string(VOXWALK_SOURCE_DIR) + "/" + relative;
}

// A target-3 image: RGBA bytes, bottom row first.
class LoadedImage {
  public:
    explicit LoadedImage(const std::string& path) {
        PngReadSize(path.c_str(), width_, height_);
        image_ = PngLoadFile(path.c_str(), 3);
    }
    ~LoadedImage() { PngFreeImage(image_); }
    LoadedImage(const LoadedImage&) = delete;
    LoadedImage& operator=(const LoadedImage&) = delete;

    bool ok() const { return image_ != nullptr; }
    uint32_t width() const { return width_; }
    uint32_t height() const { return height_; }
    // Channel c of the pixel in column x, row y counted from the top.
    int at(uint32_t x, uint32_t y, int c) const {
        const auto* bytes = static_cast<const uint8_t*>(image_);
        return bytes[(static_cast<size_t>(height_ - 1 - y) * width_ + x) * 4 + c];
    }

  private:
    uint32_t width_ = 0, height_ = 0;
    Image image_ = nullptr;
};

TEST(GrassTexture, IsAPowerOfTwoSquareOfGreens) {
    const LoadedImage grass(AssetPath("assets/textures/grass.png"));
    ASSERT_TRUE(grass.ok());
    ASSERT_GE(grass.width(), 256u);
    EXPECT_EQ(grass.width(), grass.height());
    EXPECT_EQ(grass.width() & (grass.width() - 1), 0u);
    double sum[3] = {}, squares = 0;
    for (uint32_t y = 0; y < grass.height(); ++y) {
        for (uint32_t x = 0; x < grass.width(); ++x) {
            for (int c = 0; c < 3; ++c) sum[c] += grass.at(x, y, c);
            squares += grass.at(x, y, 1) * grass.at(x, y, 1);
            ASSERT_EQ(grass.at(x, y, 3), 255);
        }
    }
    const double n = double(grass.width()) * grass.height();
    EXPECT_GT(sum[1] / n, sum[0] / n + 20);  // green over red
    EXPECT_GT(sum[1] / n, sum[2] / n + 40);  // and over blue
    const double spread = std::sqrt(squares / n - (sum[1] / n) * (sum[1] / n));
    EXPECT_GT(spread, 8.0) << "a flat colour, not grass";
}

TEST(GrassTexture, TilesWithoutASeam) {
    const LoadedImage grass(AssetPath("assets/textures/grass.png"));
    ASSERT_TRUE(grass.ok());
    const uint32_t size = grass.width();
    // Mean step between neighbouring columns (rows) inside the picture, and
    // across the edge where the texture repeats: a seam makes the second larger.
    auto columnStep = [&](uint32_t a, uint32_t b) {
        double total = 0;
        for (uint32_t y = 0; y < size; ++y) {
            for (int c = 0; c < 3; ++c) total += std::abs(grass.at(a, y, c) - grass.at(b, y, c));
        }
        return total / size;
    };
    auto rowStep = [&](uint32_t a, uint32_t b) {
        double total = 0;
        for (uint32_t x = 0; x < size; ++x) {
            for (int c = 0; c < 3; ++c) total += std::abs(grass.at(x, a, c) - grass.at(x, b, c));
        }
        return total / size;
    };
    double inside = 0;
    for (uint32_t i = 0; i + 1 < size; ++i) inside += columnStep(i, i + 1) + rowStep(i, i + 1);
    inside /= 2.0 * (size - 1);
    EXPECT_LT(columnStep(size - 1, 0), inside * 1.25);
    EXPECT_LT(rowStep(size - 1, 0), inside * 1.25);
}

class FontSheet : public ::testing::Test {
  protected:
    FontSheet() : sheet_(AssetPath("assets/textures/fonts/font1.png")) {}
    // Coverage of pixel (x, y) of the cell of byte c, y from the cell's top.
    int Alpha(int c, int x, int y) const {
        return sheet_.at((c % 16) * 16 + x, (c / 16) * 16 + y, 3);
    }
    int Ink(int c) const {
        int ink = 0;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) ink += Alpha(c, x, y) > 0;
        }
        return ink;
    }
    // Mean row of the ink of byte c, from the cell's top.
    double InkRow(int c) const {
        double rows = 0, weight = 0;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) rows += y * Alpha(c, x, y), weight += Alpha(c, x, y);
        }
        return rows / weight;
    }
    const LoadedImage sheet_;
};

TEST_F(FontSheet, IsASixteenBySixteenGridOfWhiteGlyphs) {
    ASSERT_TRUE(sheet_.ok());
    ASSERT_EQ(sheet_.width(), 256u);
    ASSERT_EQ(sheet_.height(), 256u);
    for (uint32_t y = 0; y < 256; ++y) {
        for (uint32_t x = 0; x < 256; ++x) {
            ASSERT_EQ(sheet_.at(x, y, 0) + sheet_.at(x, y, 1) + sheet_.at(x, y, 2), 3 * 255);
        }
    }
    for (int c = 33; c <= 126; ++c) EXPECT_GT(Ink(c), 2) << "byte " << c;
    for (int c : {0xC4, 0xC9, 0xD6, 0xDC, 0xDF, 0xE0, 0xE9, 0xF1, 0xFC}) {
        EXPECT_GT(Ink(c), 10) << "Latin-1 byte " << c;
    }
    for (int c : {0, 10, 31, 32, 127, 128, 159}) EXPECT_EQ(Ink(c), 0) << "byte " << c;
}

TEST_F(FontSheet, ByteValuesReadDownTheRowsFromTheTop) {
    ASSERT_TRUE(sheet_.ok());
    // Same sheet row, opposite ends of the cell: a wrongly flipped sheet or
    // a wrong cell order swaps these.
    EXPECT_LT(InkRow('^'), 7.0);
    EXPECT_GT(InkRow('_'), 12.0);
    EXPECT_LT(InkRow('\''), InkRow('.') - 5.0);
    // 'A' is a wide glyph, '|' a thin centred one: columns are in order too.
    int barColumns = 0;
    for (int x = 0; x < 16; ++x) {
        int column = 0;
        for (int y = 0; y < 16; ++y) column += Alpha('|', x, y);
        barColumns += column > 0;
    }
    EXPECT_LE(barColumns, 3);
}

TEST_F(FontSheet, GlyphsFitTheNarrowAdvance) {
    ASSERT_TRUE(sheet_.ok());
    // The viewer advances 10.8 pixels per 16-pixel cell: ink beyond column 10
    // would run into the next glyph. Column 0 and row 0 stay empty so that
    // linear filtering never pulls in a neighbouring cell's ink.
    for (int c = 0; c < 256; ++c) {
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                if (x == 0 || x > 10 || y == 0) {
                    ASSERT_EQ(Alpha(c, x, y), 0) << "byte " << c << " at " << x << "," << y;
                }
            }
        }
    }
    // One baseline for every letter: the bottom of 'a', 'x' and 'H' lines up.
    auto lowestRow = [&](int c) {
        for (int y = 15; y >= 0; --y) {
            for (int x = 0; x < 16; ++x) {
                if (Alpha(c, x, y) > 128) return y;
            }
        }
        return -1;
    };
    EXPECT_EQ(lowestRow('a'), lowestRow('H'));
    EXPECT_EQ(lowestRow('x'), lowestRow('H'));
    EXPECT_GT(lowestRow('g'), lowestRow('H') + 1);  // descenders go below it
    EXPECT_LE(lowestRow('g'), 15);
}

}  // namespace
