// PNG images: read a file's size, decode a file into 32-bit pixels, free the
// result. Every colour type and bit depth of PNG is accepted; palette, grey
// and tRNS transparency are expanded, 16-bit samples keep their high byte, no
// gamma or colour management is applied. Inflation and CRCs come from zlib.
//
// Targets choose the layout of the image:
//   3  OpenGL: width x height pixels, bytes R, G, B, A, bottom row first;
//      the width and height are stored in front of the pixels.
//   2  header image: eight 32-bit words (7, bytes per pixel = 4, width,
//      height, pitch in bytes, 0, 0, 0), then height rows of pitch bytes
//      (width x 4 rounded up to a multiple of 32), top row first, pixels
//      with bytes B, G, R, A.
// Any other target, 1 included, gives no image.
//
// Nothing here logs. Every failure gives nullptr (or a 0 x 0 size) and
// leaves nothing allocated. The caller owns a returned Image and frees it
// with PngFreeImage.
#pragma once

#include <cstddef>
#include <cstdint>

// A 16-byte aligned address: the first pixel (target 3) or the header (target 2).
using Image = void*;

// Decodes a whole PNG file held in memory. nullptr on any failure.
Image PngDecodeMemory(const uint8_t* data, size_t length, int target);

// Width and height from the IHDR of the file at path; 0 x 0 when the file
// cannot be opened, is too short, or does not start with the PNG signature.
// Only the signature is checked.
void PngReadSize(const char* path, uint32_t& width, uint32_t& height);

// Reads the file at path and decodes it. nullptr on any failure.
Image PngLoadFile(const char* path, int target);

// Frees an image from PngDecodeMemory or PngLoadFile; nullptr is a no-op.
void PngFreeImage(Image image);
