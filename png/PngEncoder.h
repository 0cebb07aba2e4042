// The parts of PNG encoding that the still writer (PngWrite) and the
// animated one (ApngWrite) share: chunks, the header, and image data
// filtered and deflated. Internal to the PNG subsystem.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "png/PngWrite.h"

// Appends a 32-bit big-endian field.
void PngPutBigEndian32(std::vector<uint8_t>& out, uint32_t value);

// Appends the PNG signature and the IHDR of an 8-bit RGB (channels 3) or
// RGBA (4) image without interlacing.
void PngPutHeader(std::vector<uint8_t>& out, int width, int height, int channels);

// Opens a chunk: appends a length to be filled in and the 4-byte type.
// Returns where the chunk starts, for PngEndChunk.
size_t PngBeginChunk(std::vector<uint8_t>& out, const char* type);

// Closes the chunk opened at `at`: fills in its length and appends its CRC.
// False when its data exceed the 2^31 - 1 bytes a chunk may hold.
bool PngEndChunk(std::vector<uint8_t>& out, size_t at);

// Filters each row of width x height pixels of `channels` bytes (rows
// `stride` bytes apart, top row first) with the filter whose residuals have
// the smallest sum of magnitudes, and appends one zlib stream of them. False
// when a row is too long for zlib's 32-bit counts or zlib fails.
bool PngDeflateImage(const uint8_t* pixels, int width, int height, size_t stride, int channels,
                     PngCompression compression, std::vector<uint8_t>& out);
