// Texture loader: PNG files into mipmapped, trilinear-filtered GL textures,
// recorded in a caller-owned table so that asking twice for the same file
// gives the same entry instead of a second upload.
//
// Entries are looked up by base name (the text after the last "/"), exactly
// and case-sensitively. The table only grows: each new texture is appended
// and keeps its index for good. Nothing here deletes the GL textures; they
// live until the GL context ends.
#pragma once

#include <cstdint>
#include <vector>

struct TextureEntry {
    char name[33] = {};    // base file name, cut to 32 characters
    uint32_t texture = 0;  // GL texture name
};

// The texture table: index 0 is the first texture loaded.
using TextureTable = std::vector<TextureEntry>;

// Returns the index of the entry for fileName's base name: the first entry
// of that name (no GL call is made), or a new entry appended at the end.
// A new texture is read from `directory` followed by the base name (nothing
// is read when `directory` is empty), uploaded with mipmaps, wrapped with
// clamping (clampEdges non-zero) or repetition, filtered trilinearly, with
// the driver's maximum anisotropy when the driver offers it. The texture
// environment is set to GL_MODULATE. A missing or broken file still appends
// an entry, holding an empty 0 x 0 texture. Afterwards GL_TEXTURE_2D is on
// with the new texture bound. A base name longer than 32 characters is stored
// cut, so it never matches and is loaded anew on every request.
int32_t LoadTexture(const char* fileName, TextureTable& table, int32_t clampEdges, const char* directory);
