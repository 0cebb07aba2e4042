// Colour quantisation for the GIF writer: the distinct colours of a picture,
// a palette of at most 256 of them, and the nearest palette entry of each.
//
// A picture with no more colours than the palette may hold keeps them all,
// exactly. Otherwise the palette starts from a variance-based median cut (as
// in Wu's quantiser: split the box with the largest squared error at the
// point of its axis that leaves the least) on the exact 24-bit colours, then
// moves each entry to the mean of the colours nearest to it (k-means) until
// none changes sides or a few rounds have passed. Rendered voxel frames hold
// a few hundred to a few thousand colours, so working on the distinct
// colours, weighted by their pixel counts, is cheaper than on the pixels and
// loses nothing to a coarse histogram. Every step is deterministic.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// One distinct colour of a picture.
struct ColourCount {
    uint32_t rgb = 0;    // 0xRRGGBB
    uint32_t count = 0;  // pixels of that colour
};

struct Palette {
    int count = 0;                                  // entries in use, 0 to 256
    std::array<std::array<uint8_t, 3>, 256> rgb{};  // R, G, B of each entry
};

// The distinct colours of `pixels` R, G, B, A pixels whose alpha is at least
// alphaMin, sorted by rgb. Empty when none is.
std::vector<ColourCount> CountColours(const uint8_t* rgba, size_t pixels, int alphaMin);

// A palette of at most maxColours (1 to 256) entries for the counted colours
// (from CountColours): exactly them when they fit, else the quantiser's
// choice. No entries for no colours.
Palette QuantizeColours(const std::vector<ColourCount>& colours, int maxColours);

// Sets nearest[i] to the palette entry nearest colours[i] in squared RGB
// distance (the lower index on a tie) and returns the summed squared error
// over all pixels; UINT64_MAX (and entries 0) when the palette is empty but
// colours is not.
uint64_t MapColours(const std::vector<ColourCount>& colours, const Palette& palette, std::vector<uint8_t>& nearest);

// The index of rgb in the sorted colours, which must hold it.
size_t FindColour(const std::vector<ColourCount>& colours, uint32_t rgb);
