// Reconstruction of filtered PNG rows. Internal to the PNG subsystem.
#pragma once

#include <cstddef>
#include <cstdint>

// Undoes filter type 0..4 of one row in place. row: the row's bytes behind
// its filter-type byte, length of them; previous: the reconstructed previous
// row of the same pass, or nullptr for a pass's first row; bytesPerPixel: the
// distance to the byte on the left (at least 1). Up to 3 bytes behind each
// row are read (never written), so they must lie inside the buffer: the
// inflated data keeps spare bytes behind its last row.
void PngUnfilterRow(int filterType, uint8_t* row, const uint8_t* previous, size_t length, int bytesPerPixel);

// Instruction sets the row code may use, each level including the ones below.
enum PngSimdLevel : int { kPngSimdScalar = 0, kPngSimdSse2 = 1, kPngSimdSsse3 = 2 };

// The level this process decodes with: the best the CPU offers, or a lower
// one named by the environment variable VOXWALK_PNG_SIMD (scalar, sse2 or
// ssse3), so that the paths other machines take can be run here too. Read
// once; an unknown name or one above the CPU's best gives the best.
int PngSimd();

// The Paeth predictor from the bytes on the left, above and above-left
// (0..255 each); the decoder and the writer share it. Written with selects
// rather than branches: on photographs the choice is close to random and
// mispredicted branches would dominate.
inline int PngPaethPredictor(int left, int up, int upperLeft) {
    const int toUp = up - upperLeft, toLeft = left - upperLeft;
    const int pa = toUp < 0 ? -toUp : toUp;                               // |p - left|
    const int pb = toLeft < 0 ? -toLeft : toLeft;                         // |p - up|
    const int pc = toUp + toLeft < 0 ? -(toUp + toLeft) : toUp + toLeft;  // |p - upperLeft|
    const int bOrC = pb <= pc ? up : upperLeft;
    return ((pa <= pb) & (pa <= pc)) ? left : bOrC;
}
