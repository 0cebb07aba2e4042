// The quantiser: colours counted under the alpha threshold, nearest
// entries, and palettes no worse than giflib's median cut (exact palettes
// are checked through the GIF writer's exact frames).
#include <gif_lib.h>
#include <gtest/gtest.h>

#include "app/export/Quantize.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(Quantize, CountsEachOpaqueColourOnceSortedWithItsPixels) {
    // Runs, a colour coming back after another, alpha just below and at 128.
    const Bytes rgba = {9, 9, 9, 255, 9, 9, 9, 255, 1, 2, 3, 128, 9, 9, 9, 200, 1, 2, 3, 127, 0, 0, 0, 0, 1, 2, 3, 255};
    const std::vector<ColourCount> colours = CountColours(rgba.data(), rgba.size() / 4, 128);
    ASSERT_EQ(colours.size(), 2u);
    EXPECT_TRUE(colours[0].rgb == 0x010203u && colours[0].count == 2u && colours[1].rgb == 0x090909u &&
                colours[1].count == 3u);
    EXPECT_EQ(FindColour(colours, 0x090909), 1u);
    EXPECT_TRUE(CountColours(rgba.data(), rgba.size() / 4, 256).empty());
    // Tens of thousands of colours through the growing table, every one kept.
    Bytes many;
    for (uint32_t i = 0; i < 70000; ++i) many.insert(many.end(), {uint8_t(i >> 16), uint8_t(i >> 8), uint8_t(i), 255});
    const std::vector<ColourCount> counted = CountColours(many.data(), 70000, 128);
    ASSERT_EQ(counted.size(), 70000u);
    for (uint32_t i = 0; i < 70000; ++i) ASSERT_EQ(counted[i].rgb, i);
}

TEST(Quantize, MapsToTheNearestEntryAndTheLowerIndexOnATie) {
    Palette palette;
    palette.count = 3;
    palette.rgb[0] = {0, 0, 0};
    palette.rgb[1] = {200, 0, 0};
    palette.rgb[2] = {100, 0, 10};
    // Red 50 is nearer entry 0 than 2 (50² against 50² + 10²); (150, 0, 5)
    // lies 50² + 5² from both 1 and 2, a tie that entry 1 takes.
    const std::vector<ColourCount> colours = {{0x320000, 1}, {0x960005, 2}, {0xFA0000, 1}, {0x6E0000, 1}};
    std::vector<uint8_t> nearest;
    const uint64_t error = MapColours(colours, palette, nearest);
    EXPECT_EQ(nearest, (std::vector<uint8_t>{0, 1, 1, 2}));
    // 50²; twice 50² + 5²; 50²; 10² + 10²
    EXPECT_EQ(error, 2500u + 2 * 2525u + 2500u + 200u);
    Palette empty;
    EXPECT_EQ(MapColours(colours, empty, nearest), UINT64_MAX);
}

// A smooth gradient of a few thousand colours: our palette errs less than
// giflib's (median cut on 5 bits a channel) and about as little as an even
// tiling would.
TEST(Quantize, ErrsLessThanGiflibsMedianCut) {
    const int width = 96, height = 64;
    Bytes rgba, r, g, b;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t pixel[4] = {uint8_t(x * 2 + 40), uint8_t(y * 3), uint8_t((x + y) / 2 + 90), 255};
            rgba.insert(rgba.end(), pixel, pixel + 4);
            r.push_back(pixel[0]), g.push_back(pixel[1]), b.push_back(pixel[2]);
        }
    const std::vector<ColourCount> colours = CountColours(rgba.data(), width * height, 128);
    ASSERT_GT(colours.size(), 2000u);
    std::vector<uint8_t> nearest;
    const uint64_t ours = MapColours(colours, QuantizeColours(colours, 255), nearest);

    Bytes indices(r.size());
    GifColorType map[256];
    int size = 255;
    ASSERT_EQ(GifQuantizeBuffer(width, height, &size, r.data(), g.data(), b.data(), indices.data(), map), GIF_OK);
    uint64_t theirs = 0;
    for (size_t i = 0; i < r.size(); ++i) {
        const GifColorType c = map[indices[i]];
        theirs += uint64_t((r[i] - c.Red) * (r[i] - c.Red) + (g[i] - c.Green) * (g[i] - c.Green) +
                           (b[i] - c.Blue) * (b[i] - c.Blue));
    }
    EXPECT_LT(ours, theirs);
    // 6144 points of a plane with steps 2 and 3 shared by 255 entries: an
    // even tiling gives each about 5 x 5 points, 10 by 15 levels wide, a mean
    // squared error of (10² + 15²) / 12 / 3 = 9 per channel.
    EXPECT_LT(double(ours) / (3.0 * width * height), 9.5) << "mean squared error per channel";
}

}  // namespace
