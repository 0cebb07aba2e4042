// The bitmap font on the real driver, in the pixel space of BeginOrtho2D:
// where and how big text is drawn, its glyph lists, and the sheet's cells.
#include "png/Png.h"
#include "render/BitmapFont.h"
#include "support/GlFixture.h"
#include "support/LogCapture.h"

TEST_F(GlFixture, TextIsDrawnAtItsPlaceAndScaleFromItsCellOfTheSheet) {
    const std::string sheetPath = std::string(VOXWALK_SOURCE_DIR) + "/assets/textures/fonts/font1.png";
    LogCapture log;
    uint32_t base = 0, lists = 0;
    BuildGlyphLists(lists, 16, 16, 16);
    glEnable(GL_LIGHTING);
    glBindTexture(GL_TEXTURE_2D, 1);  // a texture that is not the font's
    {
        BitmapFont font(0.0f);  // without a sheet glyphs are plain quads, so their boxes show
        base = font.listBase;
        BeginText(font);
        EXPECT_EQ(GlInteger(GL_DEPTH_TEST), 0);
        PrintText(font, "AB", 100, 400, 1, 1, 1, 1, 40, 8);  // 0.675 x 40 + 40 wide
        PrintGlyphs("AB", static_cast<int32_t>(lists), 300, 500, 0, 1, 0);  // a whole cell on
        EndText(font);
        ExpectState({{GL_LIGHTING, 1}, {GL_DEPTH_TEST, 1}, {GL_BLEND, 0}, {GL_MATRIX_MODE, GL_MODELVIEW},
                     {GL_MODELVIEW_STACK_DEPTH, 1}, {GL_PROJECTION_STACK_DEPTH, 1}});
        LoadFont(font, sheetPath.c_str());  // at the default scale a pixel samples a texel's centre
        BeginText(font);
        PrintText(font, "g", 40, 60, 1, 1, 1, 1, 0, 0);
        PrintText(font, "g", 80, 60, 1, 0, 0, 1, 0, 0);
        EndText(font);
    }
    EXPECT_TRUE(!glIsList(base) && !glIsList(base + 255) && glIsTexture(1));
    EXPECT_EQ(log.text(), "font constructor called\nfont loaded, " + sheetPath + "\nfont destructor called\n");
    // Each box is checked, then painted over; nothing else may be left.
    BeginOrtho2D(kWidth, kHeight);
    glDisable(GL_LIGHTING);
    glColor3f(0.0f, 0.0f, 0.25f);
    for (auto [x, y, width, height, colour] :
         {std::tuple{100, 400, 67, 8, std::array{255, 255, 255}}, {300, 500, 32, 16, std::array{0, 255, 0}}}) {
        EXPECT_TRUE(PixelsNear(x, y, width, height, colour, 0));
        glRecti(x, y, x + width, y + height);
    }
    EndOrtho2D();
    EXPECT_TRUE(PixelsNear(0, 300, kWidth, 300, {0, 0, 64}, 0));

    // The cell of 'g', white or red by the glyph's coverage over the clear colour.
    Image sheet = PngLoadFile(sheetPath.c_str(), 3);
    ASSERT_NE(sheet, nullptr);
    const auto* texels = static_cast<const unsigned char*>(sheet);
    const std::vector<unsigned char> white = ReadPixels(40, 60, 16, 16), red = ReadPixels(80, 60, 16, 16);
    int worst = 0;
    for (size_t i = 0; i < white.size(); i += 4) {
        // Pixel row i / 64 (0 at the bottom), column i / 4 % 16; the sheet is bottom row first.
        const int alpha = texels[(((15 - 'g' / 16) * 16 + i / 64) * 256 + 'g' % 16 * 16 + i / 4 % 16) * 4 + 3];
        worst = std::max({worst, std::abs(white[i + 1] - alpha), std::abs(red[i] - alpha), +red[i + 1],
                          std::abs(red[i + 2] - 64 * (255 - alpha) / 255)});
    }
    EXPECT_LE(worst, 2);
    PngFreeImage(sheet);
}
