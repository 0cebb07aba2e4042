// The texture loader on the real driver: a new mipmapped entry and its
// sampling state, the same base name found again, and a file that is missing.
#include "render/Texture.h"
#include "support/GlFixture.h"

TEST_F(GlFixture, LoadTextureUploadsMipmapsAndFindsEntriesByBaseName) {
    const std::string textures = std::string(VOXWALK_SOURCE_DIR) + "/assets/textures/";
    // Wrapping, filters, widths of levels 0 and 9, the env mode, and 1 for the
    // driver's maximum anisotropy, of the bound texture.
    auto sampling = [] {
        std::array<GLint, 8> got{};
        GLfloat anisotropy[2] = {};
        GLint* next = got.data();
        for (GLenum name : {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T, GL_TEXTURE_MIN_FILTER, GL_TEXTURE_MAG_FILTER}) {
            glGetTexParameteriv(GL_TEXTURE_2D, name, next++);
        }
        for (GLint level : {0, 9}) glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, next++);
        glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, next);
        glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, &anisotropy[0]);
        glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &anisotropy[1]);
        got[7] = anisotropy[0] == anisotropy[1];
        return got;
    };
    TextureTable table;
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    EXPECT_EQ(LoadTexture("a/grass.png", table, 0, textures.c_str()), 0);
    EXPECT_EQ(sampling(), (std::array{GL_REPEAT, GL_REPEAT, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR, 512, 1, GL_MODULATE, 1}));
    ExpectState({{GL_TEXTURE_BINDING_2D, static_cast<GLint>(table[0].texture)}, {GL_TEXTURE_2D, 1}});
    // The same base name is found again without a GL call.
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_TEXTURE_2D);
    EXPECT_EQ(LoadTexture("grass.png", table, 1, "/elsewhere/"), 0);
    ExpectState({{GL_TEXTURE_BINDING_2D, 0}, {GL_TEXTURE_2D, 0}});
    // Names compare exactly: this one is new, and missing, so its texture is empty.
    EXPECT_EQ(LoadTexture("Grass.png", table, 1, textures.c_str()), 1);
    EXPECT_EQ(sampling(), (std::array{GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR, 0, 0,
                                      GL_MODULATE, 1}));
    EXPECT_EQ(std::string(table[0].name) + table[1].name, "grass.pngGrass.png");
}
