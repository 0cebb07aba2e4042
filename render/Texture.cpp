#include "render/Texture.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "png/Png.h"
#include "render/Extensions.h"

int32_t LoadTexture(const char* fileName, TextureTable& table, int32_t clampEdges, const char* directory) {
    const char* requested = fileName ? fileName : "";
    const char* slash = std::strrchr(requested, '/');  // a backslash is not a separator
    const std::string baseName = slash ? slash + 1 : requested;

    for (size_t i = 0; i < table.size(); ++i) {
        if (baseName == table[i].name) return static_cast<int32_t>(i);
    }

    TextureEntry& entry = table.emplace_back();
    const size_t kept = std::min(baseName.size(), sizeof entry.name - 1);
    std::memcpy(entry.name, baseName.data(), kept);
    glGenTextures(1, &entry.texture);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, entry.texture);

    uint32_t width = 0, height = 0;
    Image image = nullptr;
    if (directory && directory[0] != '\0') {
        // The path uses the whole base name; only the stored name is cut.
        const std::string path = directory + baseName;
        PngReadSize(path.c_str(), width, height);
        image = PngLoadFile(path.c_str(), 3);
    }
    // A header that reads but an image that does not decode must not hand GL
    // and GLU a size with no pixels behind it.
    if (!image) width = height = 0;
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, static_cast<GLsizei>(width), static_cast<GLsizei>(height), 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, image);
    // GLU sizes the levels from GL_VERSION, which does not exist without a
    // current context (a run without a display): nothing to build them in.
    if (image && glGetString(GL_VERSION) != nullptr) {
        // Rebuilds level 0 too, scaling to powers of two where needed.
        gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGBA, static_cast<GLint>(width), static_cast<GLint>(height), GL_RGBA,
                          GL_UNSIGNED_BYTE, image);
    }
    const GLfloat wrap = static_cast<GLfloat>(clampEdges != 0 ? GL_CLAMP_TO_EDGE : GL_REPEAT);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, static_cast<GLfloat>(GL_LINEAR_MIPMAP_LINEAR));
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, static_cast<GLfloat>(GL_LINEAR));
    // Unit state, not texture state: stays in force for everything drawn after.
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    if (glExtensions.hasAnisotropy) {
        GLfloat maxAnisotropy = 0;
        glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &maxAnisotropy);
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, maxAnisotropy);
    }
    PngFreeImage(image);
    return static_cast<int32_t>(table.size() - 1);
}
