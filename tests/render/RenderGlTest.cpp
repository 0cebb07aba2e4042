// The renderer on the real driver, each test on a fresh hidden window
// (tests/support/GlFixture.h): InitGL and its display lists, render targets,
// shaders, textures and the bitmap font.
#include <fstream>
#include <regex>

#include "png/Png.h"
#include "render/BitmapFont.h"
#include "render/RenderTarget.h"
#include "render/Shader.h"
#include "render/Texture.h"
#include "support/GlFixture.h"

TEST_F(GlFixture, InitGLLeavesTheScreenRecordStateAndLog) {
    EXPECT_EQ(screen.glVersion, std::string(reinterpret_cast<const char*>(glGetString(GL_VERSION))).substr(0, 31));
    EXPECT_EQ(std::tuple(screen.width, screen.height, screen.halfWidth, screen.halfHeight, screen.colorDepth,
                         screen.fieldOfView, screen.aspect, screen.nearPlane, screen.farPlane),
              std::tuple(1024, 768, 512, 384, 32, 60.0f, 1.3333334f, 1.0f, 5000.0f));
    ExpectState({{GL_DEPTH_TEST, 1},
                 {GL_DEPTH_FUNC, GL_LEQUAL},
                 {GL_COLOR_MATERIAL, 1},
                 {GL_CULL_FACE, 1},
                 {GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST},
                 {GL_VERTEX_ARRAY, 1},
                 {GL_DEPTH_BITS, 24},
                 {GL_STENCIL_BITS, 8},
                 {GL_SAMPLE_BUFFERS, 0},
                 {GL_MATRIX_MODE, GL_MODELVIEW}});
    // 60 degrees, 4:3, planes 1 and 5000: cot 30 = 1.7320508, (n + f) / (n - f), 2nf / (n - f).
    const float perspective[16] = {1.2990381f, 0, 0, 0, 0, 1.7320508f, 0, 0, 0, 0, -1.0004f, -1, 0, 0, -2.0004f, 0};
    GLfloat loaded[16];
    glGetFloatv(GL_PROJECTION_MATRIX, loaded);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(loaded[i], perspective[i], 1e-5f) << i;
    // Mesa has every feature: after the names (StartupTest) the log says so.
    const std::string units = std::to_string(GlInteger(GL_MAX_TEXTURE_UNITS_ARB));
    EXPECT_EQ(Found(glExtensions), "111111 43 " + units);
    EXPECT_TRUE(started.log.ends_with("\nGL_EXT_framebuffer_object is supported\nGL_ARB_multitexture is supported\n" +
                                      units +
                                      " Texture units supported\nGL_ARB_shading_language_100 is supported\n"
                                      "GL_ARB_vertex_program is supported\nGL_ARB_fragment_program is supported\n"
                                      "glActiveStencilFaceEXT is supported\n"))
        << started.log;
}

// Stencil marks made in the pass; the shadow quad then darkens them, and only
// them, from the near plane (so in front of any depth beyond it).
TEST_F(GlFixture, ShadowQuadDarkensExactlyTheStencilMarks) {
    glClearColor(0.8f, 0.6f, 0.4f, 1.0f);
    glClearStencil(5);    // the pass must clear it
    glClearDepth(0.005);  // just beyond the near plane
    glClear(GL_COLOR_BUFFER_BIT | GL_STENCIL_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearStencil(0);
    glEnable(GL_TEXTURE_2D);
    BeginStencilPass();
    ExpectState({{GL_SHADE_MODEL, GL_FLAT}, {GL_TEXTURE_2D, 0}, {GL_LIGHTING, 0}, {GL_DEPTH_WRITEMASK, 0}});
    glStencilOp(GL_KEEP, GL_REPLACE, GL_REPLACE);  // the mark is behind the depth, so it fails there
    BeginOrtho2D(kWidth, kHeight);
    glRecti(200, 150, 264, 182);  // marks the stencil only
    EndOrtho2D();
    glColor4f(0.0f, 0.0f, 0.0f, 0.5f);
    glTranslatef(5.0f, 0.0f, 0.0f);  // the list draws under identity
    glDepthFunc(GL_LESS);            // and puts back the scene pass's GL_LEQUAL
    glCallList(screen.shadowQuadList);
    EXPECT_TRUE(PixelsNear(200, 150, 64, 32, {102, 77, 51}, 1));  // half of 204, 153, 102
    const std::vector<unsigned char> all = ReadPixels(0, 0, kWidth, kHeight);
    EXPECT_EQ(std::count(all.begin(), all.end(), 153), kWidth * kHeight - 64 * 32) << "unmarked pixels changed";
    ExpectState({{GL_COLOR_WRITEMASK, 1},
                 {GL_BLEND, 0},
                 {GL_STENCIL_TEST, 0},
                 {GL_LIGHTING, 1},
                 {GL_DEPTH_WRITEMASK, 1},
                 {GL_DEPTH_FUNC, GL_LEQUAL},
                 {GL_SHADE_MODEL, GL_SMOOTH}});
    EndStencilPass();
    ExpectState({{GL_DEPTH_FUNC, GL_LESS}});
}

// Drawn into with depth, shown on the screen quad, freed.
TEST_F(GlFixture, RenderTargetDrawsIntoItsTextureWithDepth) {
    RenderTarget target;
    ASSERT_EQ(CreateRenderTarget(target, 256, 128, 1), 1);
    EXPECT_EQ(GlInteger(GL_FRAMEBUFFER_BINDING_EXT), 0);
    BindRenderTarget(target);  // the viewport follows, or the quarters below would not line up
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    BeginOrtho2D(2, 2);  // an identity projection, for the screen quad too
    glColor3f(0.0f, 1.0f, 0.0f);
    glRectf(0.0f, 0.0f, 1.0f, 1.0f);
    glColor3f(1.0f, 1.0f, 1.0f);
    glTranslatef(0.0f, 0.0f, -0.5f);  // farther: hidden where the green is
    glRectf(0.0f, 0.0f, 2.0f, 2.0f);
    UnbindRenderTarget();
    // On the screen quad, upright: green lower-left quarter, white elsewhere.
    glLoadIdentity();
    glBindTexture(GL_TEXTURE_2D, target.colorTexture);
    glEnable(GL_TEXTURE_2D);
    glCallList(screen.screenQuadList);
    for (auto [x, y, colour] : {std::tuple{0, 0, std::array{0, 255, 0}},
                                {1, 1, std::array{255, 255, 255}},
                                {1, 0, std::array{255, 255, 255}},
                                {0, 1, std::array{255, 255, 255}}})
        EXPECT_TRUE(PixelsNear(x * kWidth / 2, y * kHeight / 2, kWidth / 2, kHeight / 2, colour, 0));
    // Freed, and the record zeroed: GL hands freed names out again, so a
    // second destroy must not find them.
    const auto isFramebuffer = reinterpret_cast<PFNGLISFRAMEBUFFEREXTPROC>(GetGLProc("glIsFramebufferEXT"));
    const RenderTarget made = target;
    DestroyRenderTarget(target);
    EXPECT_FALSE(isFramebuffer(made.framebuffer) || glIsTexture(made.colorTexture) || target.framebuffer ||
                 target.colorTexture || target.depthBuffer);
}

// The source handed over, the log of a failure, and no shader without shader
// objects or one of their entry points.
TEST_F(GlFixture, LoadShaderHandsOverCrLfLinesAndLogsFailures) {
    const std::string path = ::testing::TempDir() + "voxwalk-shader-" + std::to_string(getpid());
    LogCapture log;
    // Lines end in LF, CR LF and a lone CR (an empty line); the last has no end.
    std::ofstream(path, std::ios::binary) << "void main()\n{\r\n\r}";
    char handed[64] = {};
    glExtensions.glGetShaderSourceARB(LoadShader(path.c_str(), GL_VERTEX_SHADER_ARB), sizeof handed, nullptr, handed);
    EXPECT_EQ(handed + log.text(), "void main()\r\n{\r\n\r\n}\r\n");  // and nothing logged
    glExtensions.hasShaderObjects = false;
    EXPECT_EQ(LoadShader(path.c_str(), GL_VERTEX_SHADER_ARB), 0u);
    glExtensions.hasShaderObjects = true;
    // No shader; a header line, then the driver's message without its own line end.
    std::ofstream(path, std::ios::binary) << "void main() { gl_Position = undefinedThing; }\n";
    EXPECT_EQ(LoadShader(path.c_str(), GL_VERTEX_SHADER_ARB), 0u);
    const std::regex failure("Shader Infolog error message:\n[^]*undefinedThing[^]*[^\n]\n");
    EXPECT_TRUE(std::regex_match(log.text(), failure)) << log.text();
    glExtensions.glCompileShaderARB = nullptr;  // listed, but an entry point missing: no call through null
    EXPECT_EQ(LoadShader(path.c_str(), GL_VERTEX_SHADER_ARB), 0u);
    std::remove(path.c_str());
}

// A new mipmapped entry and its sampling state, the same base name found
// again, and a file that is missing.
TEST_F(GlFixture, LoadTextureUploadsMipmapsAndFindsEntriesByBaseName) {
    // Of the bound texture: wrapping, filters, anisotropy (llvmpipe's maximum
    // is 16), widths of levels 0 and 9, and the env mode.
    auto sampling = [] {
        std::array<GLint, 8> got{};
        GLint* next = got.data();
        for (GLenum name : {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T, GL_TEXTURE_MIN_FILTER, GL_TEXTURE_MAG_FILTER,
                            GL_TEXTURE_MAX_ANISOTROPY_EXT})
            glGetTexParameteriv(GL_TEXTURE_2D, name, next++);
        for (GLint level : {0, 9}) glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, next++);
        glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, next);
        return got;
    };
    TextureTable table;
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    EXPECT_EQ(LoadTexture("a/grass.png", table, 0, (std::string(VOXWALK_SOURCE_DIR) + "/assets/textures/").c_str()), 0);
    EXPECT_EQ(sampling(),
              (std::array{GL_REPEAT, GL_REPEAT, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR, 16, 512, 1, GL_MODULATE}));
    ExpectState({{GL_TEXTURE_BINDING_2D, static_cast<GLint>(table[0].texture)}, {GL_TEXTURE_2D, 1}});
    EXPECT_EQ(LoadTexture("grass.png", table, 1, "/elsewhere/"), 0);  // the same base name, found again
    // Names compare exactly: this one is new, and missing, so its texture is empty.
    EXPECT_EQ(LoadTexture("Grass.png", table, 1, "/elsewhere/"), 1);
    EXPECT_EQ(sampling(), (std::array{GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR, 16, 0, 0,
                                      GL_MODULATE}));
    EXPECT_EQ(std::string(table[0].name) + table[1].name, "grass.pngGrass.png");
}

// The bitmap font in the pixel space of BeginOrtho2D: where and how big text
// is drawn, its glyph lists, and the sheet's cells.
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
        PrintText(font, "AB", 100, 400, 1, 1, 1, 1, 40, 8);                 // 0.675 x 40 + 40 wide
        PrintGlyphs("AB", static_cast<int32_t>(lists), 300, 500, 0, 1, 0);  // a whole cell on
        EndText(font);
        ExpectState({{GL_LIGHTING, 1},
                     {GL_DEPTH_TEST, 1},
                     {GL_BLEND, 0},
                     {GL_MATRIX_MODE, GL_MODELVIEW},
                     {GL_MODELVIEW_STACK_DEPTH, 1},
                     {GL_PROJECTION_STACK_DEPTH, 1}});
        LoadFont(font, sheetPath.c_str());  // at the default scale a pixel samples a texel's centre
        BeginText(font);
        PrintText(font, "g", 80, 60, 1, 0, 0, 1, 0, 0);
        EndText(font);
    }
    EXPECT_TRUE(!glIsList(base) && !glIsList(base + 255) && glIsTexture(1));
    EXPECT_EQ(log.text(), "font constructor called\nfont loaded, " + sheetPath + "\nfont destructor called\n");
    EXPECT_TRUE(PixelsNear(100, 400, 67, 8, {255, 255, 255}, 0) && PixelsNear(300, 500, 32, 16, {0, 255, 0}, 0));
    // Nothing else: every other pixel of the band keeps the clear colour's blue, 64.
    const std::vector<unsigned char> band = ReadPixels(0, 300, kWidth, 300);
    EXPECT_EQ(std::count(band.begin(), band.end(), 64), kWidth * 300 - 67 * 8 - 32 * 16);

    // The cell of 'g': red by the glyph's coverage over the clear colour.
    Image sheet = PngLoadFile(sheetPath.c_str(), 3);
    ASSERT_NE(sheet, nullptr);
    const auto* texels = static_cast<const unsigned char*>(sheet);
    const std::vector<unsigned char> red = ReadPixels(80, 60, 16, 16);
    int off = 0;  // the most any channel is off
    for (size_t i = 0; i < red.size(); i += 4) {
        // Pixel row i / 64 (0 at the bottom), column i / 4 % 16; the sheet is bottom row first.
        const int alpha = texels[(((15 - 'g' / 16) * 16 + i / 64) * 256 + 'g' % 16 * 16 + i / 4 % 16) * 4 + 3];
        off = std::max({off, std::abs(red[i] - alpha), +red[i + 1], std::abs(red[i + 2] - (255 - alpha) * 64 / 255)});
    }
    EXPECT_LE(off, 2);
    PngFreeImage(sheet);
}
