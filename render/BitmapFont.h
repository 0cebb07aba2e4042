// Bitmap font: text drawn from a PNG sheet of 16 x 16 glyph cells.
//
// Byte value c is the cell in row c / 16 from the top of the picture and
// column c % 16. Each glyph is a display list that draws one textured unit
// square and moves the pen 0.675 units right, so a string is one
// glCallLists over its bytes; PrintText scales units to pixels.
//
// Usage (GL context current, after InitGL):
//   BitmapFont font(16.0f);                 // 256 lists, "font constructor called"
//   LoadFont(font, "assets/textures/fonts/font1.png");
//   BeginText(font);
//   PrintText(font, "FPS = 60", 10, 740, 1, 1, 1, 1, 0, 0);
//   EndText(font);
// The font owns its lists and its texture and frees both when destroyed.
#pragma once

#include <cstdint>
#include <string_view>

struct BitmapFont {
    uint32_t listBase = 0;  // first of 256 lists; list listBase + c draws byte c
    uint32_t texture = 0;   // GL texture of the sheet; 0 until LoadFont
    float glyphSize = 0;    // glyph width and height in pixels at default scale
    float advance = 0;      // pen advance in pixels at default scale (0.675 x glyphSize)

    // Compiles the 256 glyph lists; a size of 0 means 16. Needs a current GL
    // context. Leaves the model-view matrix as identity.
    explicit BitmapFont(float glyphSize = 0.0f);
    // Deletes the lists and the texture; writes "font destructor called".
    ~BitmapFont();
    BitmapFont(const BitmapFont&) = delete;
    BitmapFont& operator=(const BitmapFont&) = delete;
};

// Loads the sheet (any PNG) into the font's texture: no mipmaps, linear
// filtering, clamped edges, GL_MODULATE. A missing or broken file leaves an
// empty 0 x 0 texture, so glyphs come out as untextured quads; the line
// "font loaded, <fileName>" is written either way. Loading again replaces
// (and deletes) the previous texture.
void LoadFont(BitmapFont& font, const char* fileName);

// Binds the sheet, turns on alpha blending, pushes both matrices and sets a
// pixel projection with (0, 0) at the window's lower left (from screen.width
// and screen.height); lighting and depth test off.
void BeginText(const BitmapFont& font);

// Draws `text` (any bytes) with its lower-left corner at pixel (x, y), tinted
// by the colour. A scale of 0 means glyphSize: glyphs are scaleX x scaleY
// pixels and the pen advances 0.675 x scaleX per byte. The current matrix is
// the same afterwards.
void PrintText(const BitmapFont& font, std::string_view text, float x, float y, float red, float green, float blue,
               float alpha, float scaleX, float scaleY);

// Pops both matrices; lighting and depth test back on, blending off. The
// sheet stays bound with texturing on; the polygon mode is not restored.
void EndText(const BitmapFont& font);

// Glyph lists for a sheet of cols x rows square cells of cellSize pixels,
// advancing a whole cell per glyph. Reserves 256 names into `listBase` and
// compiles the cells from the top row down, at most 256 of them; names not
// needed stay empty lists. listBase is 0 when GL could not reserve names.
void BuildGlyphLists(uint32_t& listBase, float cols, float rows, int32_t cellSize);

// Draws `text` with lists from BuildGlyphLists at (x, y) in the colour. It
// saves and restores the current matrix, so neither the translation nor the
// pen movement outlives the call.
void PrintGlyphs(std::string_view text, int32_t listBase, float x, float y, float red, float green, float blue);
