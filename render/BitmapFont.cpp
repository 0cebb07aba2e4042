#include "render/BitmapFont.h"

#include <GL/gl.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>

#include "png/Png.h"
#include "render/GLSetup.h"
#include "render/Screen.h"

namespace {

constexpr int kGlyphCount = 256;
constexpr float kPenAdvance = 0.675f;  // of a cell: glyphs overlap by about a third

// Calls the glyph lists for every byte of `text`. glCallLists takes an int
// count, so very long texts go in pieces; the pen carries over between them.
void CallGlyphLists(std::string_view text) {
    while (!text.empty()) {
        const size_t count = std::min<size_t>(text.size(), INT_MAX);
        glCallLists(static_cast<GLsizei>(count), GL_UNSIGNED_BYTE, text.data());
        text.remove_prefix(count);
    }
}

// Highest row or column index of a sheet side of `cells` cells: cells - 1
// rounded to nearest, halves to even; -1 (nothing) for sides below one cell
// or not a number. Capped so that a huge side cannot overflow an int.
int LastCellIndex(float cells) {
    const double last = std::nearbyint(static_cast<double>(cells) - 1.0);
    if (!(last >= 0.0)) return -1;
    return static_cast<int>(std::min(last, 65535.0));
}

}  // namespace

BitmapFont::BitmapFont(float size) {
    glyphSize = size == 0.0f ? 16.0f : size;
    listBase = glGenLists(kGlyphCount);
    const double cell = 1.0 / 16.0;

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glPushMatrix();
    // Without a context (or names) there is nothing to compile into.
    if (listBase != 0) {
        uint32_t glyph = 0;
        for (int row = 15; row >= 0; --row) {
            for (int col = 0; col < 16; ++col) {
                glNewList(listBase + glyph, GL_COMPILE);
                glBegin(GL_QUADS);
                glTexCoord2d(col * cell, (row + 1) * cell);
                glVertex2f(0, 1);
                glTexCoord2d(col * cell, row * cell);
                glVertex2f(0, 0);
                glTexCoord2d((col + 1) * cell, row * cell);
                glVertex2f(1, 0);
                glTexCoord2d((col + 1) * cell, (row + 1) * cell);
                glVertex2f(1, 1);
                glEnd();
                glTranslatef(kPenAdvance, 0, 0);
                glEndList();
                ++glyph;
            }
        }
    }
    glPopMatrix();
    advance = kPenAdvance * glyphSize;
    LogLine("font constructor called");
}

BitmapFont::~BitmapFont() {
    // glDeleteLists(0, 256) would delete lists 1..255, which are not ours.
    if (listBase != 0) glDeleteLists(listBase, kGlyphCount);
    if (texture != 0) glDeleteTextures(1, &texture);
    LogLine("font destructor called");
}

void LoadFont(BitmapFont& font, const char* fileName) {
    const char* path = fileName ? fileName : "";
    // A second load replaces the sheet instead of leaking the first texture.
    if (font.texture != 0) glDeleteTextures(1, &font.texture);
    font.texture = 0;
    glGenTextures(1, &font.texture);
    glBindTexture(GL_TEXTURE_2D, font.texture);
    glEnable(GL_TEXTURE_2D);

    uint32_t width = 0, height = 0;
    PngReadSize(path, width, height);
    Image image = PngLoadFile(path, 3);
    // A header that reads but an image that does not decode must not hand GL
    // a size with no pixels behind it.
    if (!image) width = height = 0;
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, static_cast<GLsizei>(width), static_cast<GLsizei>(height), 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, image);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, static_cast<GLfloat>(GL_CLAMP_TO_EDGE));
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, static_cast<GLfloat>(GL_CLAMP_TO_EDGE));
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, static_cast<GLfloat>(GL_LINEAR));
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, static_cast<GLfloat>(GL_LINEAR));
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    PngFreeImage(image);
    LogLine(std::string("font loaded, ") + path);
}

void BeginText(const BitmapFont& font) {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, font.texture);
    // The sheet's alpha cuts the glyph shapes out of their squares.
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glPolygonMode(GL_FRONT, GL_FILL);
    // Pixel projection: (0, 0) is the lower left of the window.
    BeginOrtho2D(screen.width, screen.height);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
}

void PrintText(const BitmapFont& font, std::string_view text, float x, float y, float red, float green, float blue,
               float alpha, float scaleX, float scaleY) {
    if (scaleX == 0.0f) scaleX = font.glyphSize;
    if (scaleY == 0.0f) scaleY = font.glyphSize;
    glPushMatrix();
    glTranslatef(x, y, 0);
    glScalef(scaleX, scaleY, 1);
    glColor4f(red, green, blue, alpha);  // tints the white glyphs (GL_MODULATE)
    glListBase(font.listBase);
    CallGlyphLists(text);
    glPopMatrix();  // drops the pen movement with the translation
}

void EndText(const BitmapFont&) {
    EndOrtho2D();
    glEnable(GL_LIGHTING);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
}

void BuildGlyphLists(uint32_t& listBase, float cols, float rows, int32_t cellSize) {
    listBase = glGenLists(kGlyphCount);
    const double du = 1.0 / cols, dv = 1.0 / rows;
    const int lastCol = LastCellIndex(cols), lastRow = LastCellIndex(rows);

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glPushMatrix();
    int glyph = 0;
    // Only the 256 reserved names are ours: a sheet of more cells stops there
    // instead of overwriting lists that belong to someone else.
    for (int row = lastRow; listBase != 0 && row >= 0 && glyph < kGlyphCount; --row) {
        for (int col = 0; col <= lastCol && glyph < kGlyphCount; ++col) {
            glNewList(listBase + glyph, GL_COMPILE);
            glBegin(GL_QUADS);
            glTexCoord2d(col * du, (row + 1) * dv);
            glVertex2i(0, cellSize);
            glTexCoord2d(col * du, row * dv);
            glVertex2i(0, 0);
            glTexCoord2d((col + 1) * du, row * dv);
            glVertex2i(cellSize, 0);
            glTexCoord2d((col + 1) * du, (row + 1) * dv);
            glVertex2i(cellSize, cellSize);
            glEnd();
            glTranslatef(static_cast<GLfloat>(cellSize), 0, 0);
            glEndList();
            ++glyph;
        }
    }
    glPopMatrix();
}

void PrintGlyphs(std::string_view text, int32_t listBase, float x, float y, float red, float green, float blue) {
    glPushMatrix();
    glTranslatef(x, y, 0);
    glColor3f(red, green, blue);
    glListBase(static_cast<GLuint>(listBase));
    CallGlyphLists(text);
    glPopMatrix();
}
