// The parts of PNG encoding that the still writer (PngWrite) and the
// animated one (ApngWrite) share: chunks, the header, and image data
// filtered and deflated. Internal to the PNG subsystem.
#pragma once

#include <zlib.h>

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

// One zlib stream of filtered rows, fed a band of rows at a time. The
// fields are the deflater's.
struct PngRowDeflater {
    z_stream stream{};
    std::vector<uint8_t> above;            // the last row given, unfiltered; zeros before the first
    std::vector<uint8_t> best, candidate;  // the filter-type byte, then the filtered row
    int channels = 0;
    bool open = false;  // zlib holds memory until finished or released
};

// Starts a stream for rows of `width` pixels of `channels` bytes. False when
// a row is too long for zlib's 32-bit counts or zlib fails.
bool PngDeflateBegin(PngRowDeflater& deflater, int width, int channels, PngCompression compression);

// Filters `count` rows (`stride` bytes apart, top row first) as
// PngDeflateImage does and deflates them, appending what zlib gives out.
// False when zlib fails.
bool PngDeflateRows(PngRowDeflater& deflater, const uint8_t* rows, int count, size_t stride, std::vector<uint8_t>& out);

// Ends the stream, appending the rest, and frees zlib's state. False when
// zlib fails.
bool PngDeflateFinish(PngRowDeflater& deflater, std::vector<uint8_t>& out);

// Frees zlib's state without ending the stream; a no-op when it is not open.
void PngDeflateRelease(PngRowDeflater& deflater);

// Filters each row of width x height pixels of `channels` bytes (rows
// `stride` bytes apart, top row first) with the filter whose residuals have
// the smallest sum of magnitudes, and appends one zlib stream of them. False
// when a row is too long for zlib's 32-bit counts or zlib fails.
bool PngDeflateImage(const uint8_t* pixels, int width, int height, size_t stride, int channels,
                     PngCompression compression, std::vector<uint8_t>& out);
