// A still PNG written in bands of rows as they are made, for pictures too
// large to hold whole (a sprite sheet of many frames): the writer keeps one
// row, zlib's state and at most about a megabyte of compressed bytes.
//
// Rows are filtered and deflated as PngEncode does them, 8-bit RGB or RGBA,
// top row first; the image data goes out in IDAT chunks as it is compressed.
// Nothing here logs.
//
// Use: PngStreamBegin, PngStreamAddRows until every row is in,
// PngStreamFinish. A failed call leaves the writer failed; the caller
// discards the output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "png/PngEncoder.h"

// Receives the file's bytes in order. Returns false when it cannot take them.
using PngSink = std::function<bool(const uint8_t* bytes, size_t length)>;

// Working state of one file; the fields are the writer's. Not copyable: it
// owns zlib's state, which destroying it frees.
struct PngStreamWriter {
    PngStreamWriter() = default;
    PngStreamWriter(const PngStreamWriter&) = delete;
    PngStreamWriter& operator=(const PngStreamWriter&) = delete;
    ~PngStreamWriter();

    int width = 0, height = 0, channels = 0;
    int rowsAdded = 0;
    PngSink sink;
    PngRowDeflater deflater;
    std::vector<uint8_t> chunk;  // the IDAT being filled
    bool failed = true;          // until PngStreamBegin succeeds
};

// Checks the size (1 to 2^31 - 1 a side, 3 or 4 channels) and writes the
// signature and IHDR. False with one line in error on a bad size or when the
// sink refuses.
bool PngStreamBegin(PngStreamWriter& writer, int width, int height, int channels, PngCompression compression,
                    PngSink sink, std::string& error);

// Adds the next `count` rows, width * channels bytes each and `stride` bytes
// apart. False with one line in error beyond the image's height, after a
// failed call, or when zlib or the sink fails.
bool PngStreamAddRows(PngStreamWriter& writer, const uint8_t* rows, int count, size_t stride, std::string& error);

// Writes the last image data and IEND. False with one line in error when
// rows are missing, after a failed call, or when the sink fails.
bool PngStreamFinish(PngStreamWriter& writer, std::string& error);
