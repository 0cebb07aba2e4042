// Pixel converters: one reconstructed PNG row to 32-bit pixels of the output
// image, with the PNG transparency rules applied. Internal to the PNG subsystem.
#pragma once

#include <cstdint>

struct PngDecoder;

// Converts units 0..lastUnit of source (the row bytes behind the filter-type
// byte) into destination, the image row as 32-bit pixels: the row's first
// pixel goes to column firstColumn, each further one columnStep later. A unit
// is one pixel at 8 and 16 bits per sample, one byte of packed samples below
// 8 bits; packed samples whose column is at or beyond the width are padding
// and are not written.
using PixelConverter = void (*)(const PngDecoder& decoder, uint32_t* destination, const uint8_t* source,
                                uint32_t firstColumn, uint32_t columnStep, uint32_t lastUnit);

// The converter for a colour type (0, 2, 3, 4, 6) and a pixel layout (3 or
// 4); nullptr for every other combination.
PixelConverter FindPixelConverter(int colorType, int layout);

// Fills decoder.colorTable for the layout: the finished pixel of every sample
// value of grey images up to 8 bits and of every palette index; below 8 bits
// also decoder.byteTable, the pixels of every packed byte. Run once per image
// before the first row is converted.
void PreparePixelConverter(PngDecoder& decoder, int layout);
