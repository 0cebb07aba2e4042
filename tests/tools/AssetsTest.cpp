// The committed assets as the viewer reads them: grass that tiles, a font
// sheet whose glyphs fit the viewer's 10.8-pixel advance over 16-pixel cells,
// and a walk cycle whose character stands, faces +x, is hollow and walks.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <set>
#include <string>
#include <tuple>

#include "app/walk/WalkFrames.h"
#include "png/Png.h"
#include "support/LogCapture.h"

namespace {

// A picture loaded as RGBA, bottom row first; at() counts rows from the top.
struct Picture {
    explicit Picture(const char* relative) {
        const std::string path = VOXWALK_SOURCE_DIR "/" + std::string(relative);
        PngReadSize(path.c_str(), width, height);
        image = PngLoadFile(path.c_str(), 3);
    }
    ~Picture() { PngFreeImage(image); }
    int at(uint32_t x, uint32_t y, int c) const {
        return static_cast<const uint8_t*>(image)[(size_t(height - 1 - y) * width + x) * 4 + c];
    }
    uint32_t width = 0, height = 0;
    Image image = nullptr;
};

TEST(Grass, IsAnOpaqueGreenPowerOfTwoSquareThatTilesWithoutASeam) {
    const Picture g("assets/textures/grass.png");
    ASSERT_TRUE(g.image && g.width >= 256 && g.width == g.height && (g.width & (g.width - 1)) == 0);
    const uint32_t n = g.width;
    // Steps to the right and lower neighbours: those across the edge where
    // the texture repeats must look like those inside it.
    double sum[3] = {}, squares = 0, inside = 0, edge = 0;
    for (uint32_t i = 0; i < n * n; ++i) {
        const uint32_t x = i % n, y = i / n;
        ASSERT_EQ(g.at(x, y, 3), 255);
        squares += g.at(x, y, 1) * g.at(x, y, 1);
        for (int c = 0; c < 3; ++c) {
            sum[c] += g.at(x, y, c);
            (x + 1 == n ? edge : inside) += std::abs(g.at(x, y, c) - g.at((x + 1) % n, y, c));
            (y + 1 == n ? edge : inside) += std::abs(g.at(x, y, c) - g.at(x, (y + 1) % n, c));
        }
    }
    const double pixels = double(n) * n, green = sum[1] / pixels;
    EXPECT_TRUE(green > sum[0] / pixels + 20 && green > sum[2] / pixels + 40) << "not green";
    EXPECT_GT(std::sqrt(squares / pixels - green * green), 8.0) << "a flat colour, not grass";
    EXPECT_LT(edge / (2 * n), 1.25 * inside / (2 * n * (n - 1.0)));
}

TEST(FontSheet, HoldsWhiteGlyphsThatFitTheNarrowAdvanceOnOneBaseline) {
    const Picture s("assets/textures/fonts/font1.png");
    ASSERT_TRUE(s.image && s.width == 256 && s.height == 256);
    // Per byte: pixels with ink and the lowest solid row (from the cell's
    // top). Column 0 and row 0 stay empty so linear filtering never pulls in
    // a neighbour's ink, and ink beyond column 10 would run into the next
    // glyph.
    std::array<int, 256> ink{}, lowest{};
    for (uint32_t py = 0; py < 256; ++py) {
        for (uint32_t px = 0; px < 256; ++px) {
            const int c = py / 16 * 16 + px / 16, x = px % 16, y = py % 16, alpha = s.at(px, py, 3);
            ASSERT_EQ(s.at(px, py, 0) + s.at(px, py, 1) + s.at(px, py, 2), 3 * 255);
            ASSERT_TRUE(alpha == 0 || (x > 0 && x <= 10 && y > 0)) << "byte " << c << " at " << x << "," << y;
            ink[c] += alpha > 0;
            if (alpha > 128) lowest[c] = y;  // rows from the top: the lowest comes last
        }
    }
    for (int c = 33; c <= 126; ++c) EXPECT_GT(ink[c], 2) << "byte " << c;
    for (int c : {0xC4, 0xC9, 0xD6, 0xDC, 0xDF, 0xE0, 0xE9, 0xF1, 0xFC}) EXPECT_GT(ink[c], 10) << "byte " << c;
    for (int c : {0, 10, 31, 32, 127, 128, 159}) EXPECT_EQ(ink[c], 0) << "byte " << c;
    // Byte values read down the rows from the top: a flipped sheet swaps
    // these. Descenders go below the baseline.
    EXPECT_TRUE(lowest['^'] < 7 && lowest['_'] > 12) << lowest['^'] << " " << lowest['_'];
    EXPECT_TRUE(lowest['a'] == lowest['H'] && lowest['x'] == lowest['H'] && lowest['g'] > lowest['H'] + 1);
}

// Colour indices the generator paints with.
constexpr uint32_t kSkin = 1, kHair = 3, kPupil = 5, kShoe = 12, kSole = 13;

// How far the limbs moved between two frames, in voxels.
double Distance(const std::array<double, 8>& a, const std::array<double, 8>& b) {
    double sum = 0;
    for (int i = 0; i < 8; i += 2) sum += std::hypot(a[i] - b[i], a[i + 1] - b[i + 1]);
    return sum;
}

// The 30 frames stood up and recentred, as the viewer places them.
TEST(WalkCycle, StandsOnTheGroundAtTheOriginFacingXAsAHollowShellAndWalksInALoop) {
    LogCapture quiet;
    // Per frame: mean x and y of each foot (shoe voxels) and each hand (skin
    // below the shoulders), sides told apart by the sign of z: foot x, foot
    // y, hand x, hand y for side 0, then for side 1.
    std::array<std::array<double, 8>, 30> limbs{};
    std::array<double, 8> mean{};
    for (int n = 0; n < 30; ++n) {
        VoxelModel model;
        ASSERT_EQ(LoadVoxelModel((VOXWALK_SOURCE_DIR "/" + WalkFrameFileName(n + 1)).c_str(), model), 1);
        OrientFrame(model);
        RecentreFrame(model);
        ASSERT_GT(model.voxels.size(), 1000u);
        int low = INT_MAX, high = INT_MIN, eyes = 0, hair = 0, count[4] = {};
        double x = 0, z = 0, eyeX = 0, hairX = 0;
        std::set<uint32_t> colours;
        std::set<std::tuple<int, int, int>> cells;
        for (const Voxel& v : model.voxels) {
            ASSERT_TRUE(v.colorIndex >= 1 && model.palette[v.colorIndex - 1] >> 24 == 255) << "not opaque";
            low = std::min(low, v.y), high = std::max(high, v.y), x += v.x, z += v.z;
            if (v.colorIndex == kPupil) eyeX += v.x, ++eyes;
            if (v.colorIndex == kHair) hairX += v.x, ++hair;
            colours.insert(v.colorIndex);
            cells.insert({v.x, v.y, v.z});
        }
        EXPECT_TRUE(std::abs(low) <= 1 && high - low >= 59 && high - low <= 79) << low << " to " << high;
        EXPECT_LT(std::fabs(x / model.voxels.size()) + std::fabs(z / model.voxels.size()), 1.0);
        EXPECT_GT(eyeX / std::max(eyes, 1), hairX / std::max(hair, 1) + 5.0) << "the face is not on the +x side";
        EXPECT_GE(colours.size(), 8u);  // hair, skin, shirt, trousers, shoes...: a character
        EXPECT_EQ(cells.size(), model.voxels.size()) << "duplicate voxels";
        for (const Voxel& v : model.voxels) {
            const bool foot = v.colorIndex == kShoe || v.colorIndex == kSole;
            EXPECT_TRUE(v.y > low || foot) << "not the shoes on the ground";
            int neighbours = 0;
            for (int d : {-1, 1}) {
                neighbours += cells.count({v.x + d, v.y, v.z}) + cells.count({v.x, v.y + d, v.z}) +
                              cells.count({v.x, v.y, v.z + d});
            }
            ASSERT_LT(neighbours, 6) << "a voxel that can never be seen";
            if (!foot && !(v.colorIndex == kSkin && v.y < high * 0.6)) continue;
            const int part = (v.z < 0 ? 0 : 2) + (foot ? 0 : 1);
            limbs[n][2 * part] += v.x, limbs[n][2 * part + 1] += v.y, ++count[part];
        }
        for (int i = 0; i < 8; ++i) mean[i] += (limbs[n][i] /= std::max(count[i / 2], 1)) / 30;
    }
    double largest = 0;
    for (int n = 0; n + 1 < 30; ++n) {
        EXPECT_GT(Distance(limbs[n], limbs[n + 1]), 0.5) << "frames " << n + 1 << " and " << n + 2 << " hardly move";
        largest = std::max(largest, Distance(limbs[n], limbs[n + 1]));
    }
    // Frame 30 leads into frame 1 like any other pair of neighbours, and a
    // quarter of a cycle on, the limbs are far from where they were.
    EXPECT_GT(Distance(limbs[29], limbs[0]), 0.5);
    EXPECT_LE(Distance(limbs[29], limbs[0]), largest * 1.01);
    EXPECT_GT(Distance(limbs[0], limbs[7]), 3 * largest);
    // Each foot goes forward while the hand of its side goes back, the two
    // feet are on opposite sides of their mean, and each foot travels well
    // over ten voxels.
    for (int side = 0; side < 2; ++side) {
        const int foot = 4 * side, hand = 4 * side + 2, other = 4 * (1 - side);
        double together = 0, feet = 0, lo = 1e9, hi = -1e9;
        for (const auto& l : limbs) {
            together += (l[foot] - mean[foot]) * (l[hand] - mean[hand]);
            feet += (l[foot] - mean[foot]) * (l[other] - mean[other]);
            lo = std::min(lo, l[foot]), hi = std::max(hi, l[foot]);
        }
        EXPECT_TRUE(together < 0 && feet < 0 && hi - lo > 15.0) << "side " << side << ": " << together << " " << feet;
    }
}

}  // namespace
