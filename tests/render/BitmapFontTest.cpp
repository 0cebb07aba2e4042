// Bitmap font on the real driver: the glyph lists, where printed text lands,
// the state BeginText/EndText leave, loading the sheet, and the free
// BuildGlyphLists/PrintGlyphs pair.
#include <GL/gl.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "png/Png.h"
#include "render/BitmapFont.h"
#include "support/GlFixture.h"
#include "support/LogCapture.h"

namespace {

const std::string kSheet = std::string(VOXWALK_SOURCE_DIR) + "/assets/textures/fonts/font1.png";

std::vector<float> ModelView() {
    std::vector<float> m(16);
    glGetFloatv(GL_MODELVIEW_MATRIX, m.data());
    return m;
}

GLint TextureWidth() {
    GLint width = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    return width;
}

// A rectangle of pixels.
struct Box {
    int left = 1 << 30, bottom = 1 << 30, right = -1, top = -1;  // inclusive
    int width() const { return right - left + 1; }
    int height() const { return top - bottom + 1; }
    bool empty() const { return right < 0; }
};

class BitmapFontTest : public GlFixture {
  protected:
    void SetUp() override {
        GlFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        log_.emplace();  // after the window opened: it resets the log channel
    }
    void TearDown() override { log_.reset(); }

    // Bounding box of the pixels brighter than half in any channel.
    static Box LitBox(int x, int y, int width, int height) {
        const std::vector<unsigned char> pixels = ReadPixels(x, y, width, height);
        Box box;
        for (int row = 0; row < height; ++row) {
            for (int col = 0; col < width; ++col) {
                const unsigned char* p = &pixels[(static_cast<size_t>(row) * width + col) * 4];
                if (p[0] > 127 || p[1] > 127 || p[2] > 127) {
                    box.left = std::min(box.left, x + col);
                    box.right = std::max(box.right, x + col);
                    box.bottom = std::min(box.bottom, y + row);
                    box.top = std::max(box.top, y + row);
                }
            }
        }
        return box;
    }

    // Keeps the constructor and destructor lines out of the output.
    std::optional<LogCapture> log_;
};

TEST_F(BitmapFontTest, ConstructionCompiles256ListsAndDestructionFreesThem) {
    uint32_t base = 0;
    {
        const BitmapFont font(0.0f);
        base = font.listBase;
        EXPECT_EQ(font.glyphSize, 16.0f);
        EXPECT_FLOAT_EQ(font.advance, 10.8f);
        EXPECT_EQ(font.texture, 0u);
        ASSERT_NE(base, 0u);
        for (uint32_t c = 0; c < 256; ++c) ASSERT_TRUE(glIsList(base + c)) << c;
        EXPECT_EQ(GlInteger(GL_MATRIX_MODE), GL_MODELVIEW);
        const std::vector<float> identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        EXPECT_EQ(ModelView(), identity);
    }
    EXPECT_FALSE(glIsList(base));
    EXPECT_FALSE(glIsList(base + 255));
    const BitmapFont large(24.0f);
    EXPECT_EQ(large.glyphSize, 24.0f);
    EXPECT_FLOAT_EQ(large.advance, 16.2f);
    EXPECT_EQ(log_->lines(), (std::vector<std::string>{"font constructor called",
                                                       "font destructor called",
                                                       "font constructor called"}));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(BitmapFontTest, EveryGlyphAdvancesTheTwoThirdsOfACell) {
    const BitmapFont font(16.0f);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glListBase(font.listBase);
    const unsigned char bytes[] = {'A', 0, 200, 255, ' '};
    glCallLists(5, GL_UNSIGNED_BYTE, bytes);
    EXPECT_NEAR(ModelView()[12], 5 * 0.675f, 1e-5);
    EXPECT_EQ(ModelView()[13], 0.0f);
    // Under PrintText's scale the pen moves 0.675 x scaleX pixels per byte.
    glLoadIdentity();
    glScalef(32, 16, 1);
    glCallLists(3, GL_UNSIGNED_BYTE, bytes);
    EXPECT_NEAR(ModelView()[12], 3 * 0.675f * 32, 1e-4);
}

TEST_F(BitmapFontTest, PrintTextLeavesTheMatrixAsItFoundIt) {
    const BitmapFont font(16.0f);
    BeginText(font);
    const std::vector<float> before = ModelView();
    PrintText(font, "", 100, 100, 1, 1, 1, 1, 0, 0);
    EXPECT_EQ(ModelView(), before);
    PrintText(font, "moves the pen", 100, 100, 1, 1, 1, 1, 0, 0);
    EXPECT_EQ(ModelView(), before);
    EndText(font);
}

TEST_F(BitmapFontTest, GlyphQuadsHaveThePrintedSizeAndAdvance) {
    // Before LoadFont the glyphs are untextured quads in the print colour, so
    // their pixels show the geometry exactly.
    const BitmapFont font(16.0f);
    BeginText(font);
    PrintText(font, "A", 100, 200, 1, 1, 1, 1, 32, 0);  // 32 wide, default 16 high
    PrintText(font, "AB", 100, 300, 1, 1, 1, 1, 0, 0);  // 10.8 + 16 wide
    PrintText(font, std::string(10, 'x'), 100, 400, 1, 1, 1, 1, 20, 8);
    EndText(font);

    const Box one = LitBox(80, 180, 80, 60);
    EXPECT_EQ(one.left, 100);
    EXPECT_EQ(one.bottom, 200);
    EXPECT_EQ(one.width(), 32);
    EXPECT_EQ(one.height(), 16);
    const Box two = LitBox(80, 280, 80, 60);
    EXPECT_EQ(two.left, 100);
    EXPECT_NEAR(two.width(), 26.8, 1.0);
    EXPECT_EQ(two.height(), 16);
    const Box ten = LitBox(80, 380, 300, 60);
    EXPECT_NEAR(ten.width(), 9 * 0.675 * 20 + 20, 1.0);
    EXPECT_EQ(ten.height(), 8);
}

TEST_F(BitmapFontTest, PrintedGlyphMatchesItsCellOfTheSheet) {
    BitmapFont font(16.0f);
    LoadFont(font, kSheet.c_str());
    ASSERT_NE(font.texture, 0u);
    uint32_t width = 0, height = 0;
    PngReadSize(kSheet.c_str(), width, height);
    ASSERT_EQ(width, 256u);
    Image sheet = PngLoadFile(kSheet.c_str(), 3);
    ASSERT_NE(sheet, nullptr);
    const auto* texels = static_cast<const unsigned char*>(sheet);

    BeginText(font);
    PrintText(font, "g@", 40, 60, 1, 1, 1, 1, 0, 0);
    PrintText(font, "R", 200, 60, 1, 0, 0, 1, 0, 0);  // tinted red
    EndText(font);

    // At scale 16 on whole pixels every pixel samples one texel's centre, so
    // the picture is the cell itself: white scaled by the glyph's coverage.
    // (Columns from 11 on are the next glyph's, 10.8 pixels on.)
    const std::vector<unsigned char> pixels = ReadPixels(40, 60, 16, 16);
    int worst = 0, ink = 0;
    for (int row = 0; row < 16; ++row) {          // row 0 = bottom of the glyph
        for (int col = 0; col <= 10; ++col) {
            const int c = 'g';
            const int texelRow = (15 - c / 16) * 16 + row;  // the sheet is bottom row first
            const int alpha = texels[(static_cast<size_t>(texelRow) * 256 + (c % 16) * 16 + col) * 4 + 3];
            const int got = pixels[(static_cast<size_t>(row) * 16 + col) * 4];
            worst = std::max(worst, std::abs(got - alpha));
            ink += alpha;
        }
    }
    EXPECT_GT(ink, 255 * 10);
    EXPECT_LE(worst, 2);
    PngFreeImage(sheet);

    // The second glyph starts 10.8 pixels on and stays inside its square.
    const Box at = LitBox(40 + 11, 58, 30, 20);
    EXPECT_FALSE(at.empty());
    EXPECT_GE(at.left, 40 + 11);
    EXPECT_LE(at.right, 40 + 10 + 16);
    EXPECT_GE(at.bottom, 60);
    EXPECT_LE(at.top, 75);
    // The tint multiplies the white glyph.
    const Box red = LitBox(200, 60, 16, 16);
    ASSERT_FALSE(red.empty());
    const std::vector<unsigned char> tinted = ReadPixels(200, 60, 16, 16);
    for (size_t i = 0; i < tinted.size(); i += 4) {
        ASSERT_EQ(tinted[i + 1], 0);
        ASSERT_EQ(tinted[i + 2], 0);
    }
}

TEST_F(BitmapFontTest, BeginAndEndTextSetAndRestoreState) {
    BitmapFont font(16.0f);
    LoadFont(font, kSheet.c_str());
    glEnable(GL_LIGHTING);
    glMatrixMode(GL_MODELVIEW);
    const GLint modelDepth = GlInteger(GL_MODELVIEW_STACK_DEPTH);
    const GLint projectionDepth = GlInteger(GL_PROJECTION_STACK_DEPTH);
    std::vector<float> projection(16);
    glGetFloatv(GL_PROJECTION_MATRIX, projection.data());

    BeginText(font);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(GlInteger(GL_TEXTURE_BINDING_2D), static_cast<GLint>(font.texture));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(GlInteger(GL_BLEND_SRC), GL_SRC_ALPHA);
    EXPECT_EQ(GlInteger(GL_BLEND_DST), GL_ONE_MINUS_SRC_ALPHA);
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(GlInteger(GL_MODELVIEW_STACK_DEPTH), modelDepth + 1);
    EXPECT_EQ(GlInteger(GL_PROJECTION_STACK_DEPTH), projectionDepth + 1);
    // The pixel projection: (width, height) of the screen maps to (1, 1).
    const std::vector<float> m = ModelView();
    EXPECT_NEAR(m[0] * screen.width + m[12], 1.0f, 1e-5);
    EXPECT_NEAR(m[5] * screen.height + m[13], 1.0f, 1e-5);
    EXPECT_NEAR(m[12], -1.0f, 1e-6);
    EndText(font);

    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));  // left on, sheet bound
    EXPECT_EQ(GlInteger(GL_TEXTURE_BINDING_2D), static_cast<GLint>(font.texture));
    EXPECT_EQ(GlInteger(GL_MODELVIEW_STACK_DEPTH), modelDepth);
    EXPECT_EQ(GlInteger(GL_PROJECTION_STACK_DEPTH), projectionDepth);
    std::vector<float> after(16);
    glGetFloatv(GL_PROJECTION_MATRIX, after.data());
    EXPECT_EQ(after, projection);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(BitmapFontTest, LoadFontUploadsTheSheetAndLogsItsPath) {
    BitmapFont font(16.0f);
    LoadFont(font, kSheet.c_str());
    glBindTexture(GL_TEXTURE_2D, font.texture);
    EXPECT_EQ(TextureWidth(), 256);
    EXPECT_EQ(log_->lines().back(), "font loaded, " + kSheet);
}

TEST_F(BitmapFontTest, LoadingAgainReplacesTheSheetWithoutLeakingIt) {
    BitmapFont font(16.0f);
    LoadFont(font, kSheet.c_str());
    const uint32_t first = font.texture;
    LoadFont(font, kSheet.c_str());
    EXPECT_NE(font.texture, 0u);
    EXPECT_FALSE(glIsTexture(first) && first != font.texture) << "the first sheet was left behind";
}

TEST_F(BitmapFontTest, AMissingOrBrokenSheetGivesAnEmptyTexture) {
    // A PNG whose header reads but whose image does not: the size must not
    // reach GL without pixels behind it.
    const std::string broken =
        ::testing::TempDir() + "voxwalk-font-header-only-" + std::to_string(getpid()) + ".png";
    {
        std::ifstream in(kSheet, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
        std::ofstream out(broken, std::ios::binary);
        out.write(bytes.data(), 40);  // signature and IHDR only
    }
    uint32_t w = 0, h = 0;
    PngReadSize(broken.c_str(), w, h);
    ASSERT_EQ(w, 256u);  // the header does read

    for (const std::string& path : {std::string("/nonexistent/font.png"), broken}) {
        SCOPED_TRACE(path);
        BitmapFont font(16.0f);
        LoadFont(font, path.c_str());
        EXPECT_NE(font.texture, 0u);
        glBindTexture(GL_TEXTURE_2D, font.texture);
        EXPECT_EQ(TextureWidth(), 0);
        EXPECT_EQ(log_->lines().back(), "font loaded, " + path);
        // Printing still works: untextured quads.
        BeginText(font);
        PrintText(font, "ok", 10, 10, 1, 1, 1, 1, 0, 0);
        EndText(font);
    }
    std::remove(broken.c_str());
}

TEST_F(BitmapFontTest, BuildGlyphListsCompilesWholeCellsAdvancingACell) {
    uint32_t base = 0;
    BuildGlyphLists(base, 16, 16, 16);
    ASSERT_NE(base, 0u);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glCallList(base + 255);
    EXPECT_EQ(ModelView()[12], 16.0f);
    glDeleteLists(base, 256);

    // An 8 x 8 sheet fills lists 0..63; the other reserved names draw nothing.
    BuildGlyphLists(base, 8, 8, 10);
    glLoadIdentity();
    glCallList(base + 63);
    EXPECT_EQ(ModelView()[12], 10.0f);
    glLoadIdentity();
    glCallList(base + 64);
    EXPECT_EQ(ModelView()[12], 0.0f);
    glDeleteLists(base, 256);
}

TEST_F(BitmapFontTest, BuildGlyphListsNeverWritesPastItsNames) {
    // A 32 x 32 sheet has 1024 cells but only 256 names are reserved: the
    // names after them belong to whoever asks next.
    uint32_t base = 0;
    BuildGlyphLists(base, 32, 32, 4);
    ASSERT_NE(base, 0u);
    EXPECT_FALSE(glIsList(base + 256));
    EXPECT_FALSE(glIsList(base + 1023));
    glLoadIdentity();
    glCallList(base + 255);
    EXPECT_EQ(ModelView()[12], 4.0f);
    glDeleteLists(base, 256);
    // Nonsense sizes compile nothing and do not hang.
    for (float side : {0.0f, -3.0f, NAN, 0.4f, 1e30f}) {
        BuildGlyphLists(base, side, side, 8);
        glLoadIdentity();
        glCallList(base);
        glDeleteLists(base, 256);
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(BitmapFontTest, PrintGlyphsDrawsAtItsPlaceAndRestoresTheMatrix) {
    uint32_t base = 0;
    BuildGlyphLists(base, 16, 16, 16);
    const BitmapFont font(16.0f);
    BeginText(font);  // pixel projection; untextured (texture 0)
    const std::vector<float> before = ModelView();
    PrintGlyphs("AB", static_cast<int32_t>(base), 300, 500, 0, 1, 0);
    EXPECT_EQ(ModelView(), before);
    EndText(font);
    const Box box = LitBox(280, 480, 80, 60);
    EXPECT_EQ(box.left, 300);
    EXPECT_EQ(box.bottom, 500);
    EXPECT_EQ(box.width(), 32);
    EXPECT_EQ(box.height(), 16);
    glDeleteLists(base, 256);
}

}  // namespace
