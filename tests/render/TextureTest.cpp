// Texture loader on the real driver: appending and finding entries by base
// name, the sampling state of a new texture, and files that do not load.
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "png/Png.h"
#include "render/Texture.h"
#include "support/GlFixture.h"

namespace {

namespace fs = std::filesystem;

const std::string kTextures = std::string(VOXWALK_SOURCE_DIR) + "/assets/textures/";

GLint Parameter(GLenum name) {
    GLint value = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
    return value;
}

GLint LevelWidth(GLint level) {
    GLint width = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &width);
    return width;
}

class TextureTest : public GlFixture {
  protected:
    void SetUp() override {
        GlFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        dir_ = fs::path(::testing::TempDir()) /
               ("voxwalk-texture-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    // The texture state no load should touch: nothing bound, texturing off.
    static void Quiet() {
        glBindTexture(GL_TEXTURE_2D, 0);
        glDisable(GL_TEXTURE_2D);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    }
    // A copy of the first `length` bytes of a committed texture in the temp folder.
    std::string CopyOf(const std::string& from, const std::string& name, size_t length = SIZE_MAX) {
        std::ifstream in(from, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
        std::ofstream out(dir_ / name, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(std::min(length, bytes.size())));
        return (dir_ / name).string();
    }
    fs::path dir_;
};

TEST_F(TextureTest, FirstLoadAppendsAMipmappedRepeatingTrilinearTexture) {
    TextureTable table;
    Quiet();
    EXPECT_EQ(LoadTexture("assets/textures/grass.png", table, 0, kTextures.c_str()), 0);
    ASSERT_EQ(table.size(), 1u);
    EXPECT_STREQ(table[0].name, "grass.png");
    ASSERT_NE(table[0].texture, 0u);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(GlInteger(GL_TEXTURE_BINDING_2D), static_cast<GLint>(table[0].texture));
    EXPECT_EQ(LevelWidth(0), 512);
    EXPECT_EQ(LevelWidth(1), 256);
    EXPECT_EQ(LevelWidth(9), 1);  // the whole chain down to 1 x 1
    EXPECT_EQ(Parameter(GL_TEXTURE_WRAP_S), GL_REPEAT);
    EXPECT_EQ(Parameter(GL_TEXTURE_WRAP_T), GL_REPEAT);
    EXPECT_EQ(Parameter(GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_LINEAR);
    EXPECT_EQ(Parameter(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    GLint mode = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
    EXPECT_EQ(mode, GL_MODULATE);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TextureTest, FindsAnEntryByBaseNameWithoutTouchingGl) {
    TextureTable table;
    ASSERT_EQ(LoadTexture("assets/textures/grass.png", table, 0, kTextures.c_str()), 0);
    const uint32_t grass = table[0].texture;
    ASSERT_EQ(LoadTexture("fonts/font1.png", table, 1, kTextures.c_str()), 1);
    EXPECT_EQ(Parameter(GL_TEXTURE_WRAP_S), GL_CLAMP_TO_EDGE);

    // Same base name, other folder, other directory, other wrapping: the
    // first entry, unchanged, and no GL state moves.
    Quiet();
    EXPECT_EQ(LoadTexture("textures/grass.png", table, 1, "/elsewhere/"), 0);
    EXPECT_EQ(LoadTexture("grass.png", table, 1, ""), 0);
    EXPECT_EQ(table.size(), 2u);
    EXPECT_EQ(table[0].texture, grass);
    EXPECT_EQ(GlInteger(GL_TEXTURE_BINDING_2D), 0);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    GLint mode = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
    EXPECT_EQ(mode, GL_REPLACE);
    glBindTexture(GL_TEXTURE_2D, grass);
    EXPECT_EQ(Parameter(GL_TEXTURE_WRAP_S), GL_REPEAT);

    // Names compare exactly: case and a backslash make other names.
    EXPECT_EQ(LoadTexture("Grass.png", table, 0, ""), 2);
    EXPECT_EQ(LoadTexture("textures\\grass.png", table, 0, ""), 3);
    EXPECT_STREQ(table[3].name, "textures\\grass.png");
    EXPECT_EQ(table[1].texture != table[2].texture && table[2].texture != table[3].texture, true);
}

TEST_F(TextureTest, LongBaseNamesAreCutAndLoadedFromTheirWholeName) {
    const std::string longName = "a-grass-texture-with-a-long-file-name.png";  // 41 characters
    ASSERT_GT(longName.size(), 32u);
    CopyOf(kTextures + "grass.png", longName);
    const std::string directory = dir_.string() + "/";

    TextureTable table;
    EXPECT_EQ(LoadTexture(longName.c_str(), table, 0, directory.c_str()), 0);
    EXPECT_EQ(std::string(table[0].name), longName.substr(0, 32));
    EXPECT_EQ(LevelWidth(0), 512);  // read through the whole name
    // The cut name never equals the requested one, so it loads again.
    EXPECT_EQ(LoadTexture(longName.c_str(), table, 0, directory.c_str()), 1);
    EXPECT_NE(table[1].texture, table[0].texture);
    // Exactly 32 characters fit and are found again.
    const std::string fits(32, 'x');
    EXPECT_EQ(LoadTexture(fits.c_str(), table, 0, ""), 2);
    EXPECT_EQ(LoadTexture(fits.c_str(), table, 0, ""), 2);
}

TEST_F(TextureTest, FilesThatDoNotLoadStillAppendAnEmptyTexture) {
    // A PNG whose header reads but whose image does not decode: its size must
    // not reach GL or GLU without pixels behind it.
    const std::string headerOnly = CopyOf(kTextures + "grass.png", "header-only.png", 40);
    uint32_t w = 0, h = 0;
    PngReadSize(headerOnly.c_str(), w, h);
    ASSERT_EQ(w, 512u);
    CopyOf(kTextures + "grass.png", "empty.png", 0);
    const std::string directory = dir_.string() + "/";

    TextureTable table;
    struct Case {
        const char* fileName;
        const char* directory;
    };
    const Case cases[] = {
        {"assets/textures/grass.png", ""},          // empty directory: nothing is read
        {"missing.png", directory.c_str()},         // no such file
        {"header-only.png", directory.c_str()},     // broken image
        {"empty.png", directory.c_str()},           // empty file
        {"assets/textures/", kTextures.c_str()},    // empty base name: a folder
    };
    int32_t expected = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fileName ? c.fileName : "(null)");
        EXPECT_EQ(LoadTexture(c.fileName, table, 0, c.directory), expected++);
        ASSERT_EQ(table.size(), static_cast<size_t>(expected));
        EXPECT_NE(table.back().texture, 0u);
        EXPECT_EQ(GlInteger(GL_TEXTURE_BINDING_2D), static_cast<GLint>(table.back().texture));
        EXPECT_EQ(LevelWidth(0), 0);
        while (glGetError() != GL_NO_ERROR) {
        }
    }
    EXPECT_STREQ(table[4].name, "");
    // The empty name is found again like any other; no name at all is empty.
    EXPECT_EQ(LoadTexture("other/", table, 0, ""), 4);
    EXPECT_EQ(LoadTexture(nullptr, table, 0, nullptr), 4);
}

TEST_F(TextureTest, AnisotropyOnlyWhenTheDriverListsIt) {
    TextureTable table;
    glExtensions.hasAnisotropy = false;
    ASSERT_EQ(LoadTexture("grass.png", table, 0, kTextures.c_str()), 0);
    GLfloat anisotropy = 0;
    glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, &anisotropy);
    while (glGetError() != GL_NO_ERROR) {
    }
    EXPECT_EQ(anisotropy, 1.0f);  // GL's default: left alone

    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (!extensions || !std::strstr(extensions, "GL_EXT_texture_filter_anisotropic")) {
        GTEST_SKIP() << "the driver has no anisotropic filtering";
    }
    glExtensions.hasAnisotropy = true;
    ASSERT_EQ(LoadTexture("fonts/font1.png", table, 0, kTextures.c_str()), 1);
    GLfloat maximum = 0;
    glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &maximum);
    glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, &anisotropy);
    EXPECT_GT(maximum, 1.0f);
    EXPECT_EQ(anisotropy, maximum);
}

TEST_F(TextureTest, TheGroundTextureDrawsItsPixels) {
    // Drawn 1:1 with GL_REPLACE, the window shows the picture's own pixels:
    // the texture holds the image right side up.
    TextureTable table;
    ASSERT_EQ(LoadTexture("grass.png", table, 1, kTextures.c_str()), 0);
    uint32_t w = 0, h = 0;
    PngReadSize((kTextures + "grass.png").c_str(), w, h);
    Image image = PngLoadFile((kTextures + "grass.png").c_str(), 3);
    ASSERT_NE(image, nullptr);
    const auto* texels = static_cast<const unsigned char*>(image);

    // Nearest texels, so that the picture is compared and not the filtering.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    if (glExtensions.hasAnisotropy) glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, 1.0f);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glDisable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, screen.width, 0, screen.height, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0), glVertex2f(0, 0);
    glTexCoord2f(1, 0), glVertex2f(512, 0);
    glTexCoord2f(1, 1), glVertex2f(512, 512);
    glTexCoord2f(0, 1), glVertex2f(0, 512);
    glEnd();
    const std::vector<unsigned char> pixels = ReadPixels(0, 0, 512, 512);
    int worst = 0;
    for (size_t i = 0; i < pixels.size(); i += 4) {
        for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(pixels[i + c] - texels[i + c]));
    }
    EXPECT_EQ(worst, 0);
    PngFreeImage(image);
}

}  // namespace
