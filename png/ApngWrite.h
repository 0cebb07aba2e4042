// The animated PNG (APNG) writer: frames of one size, 8-bit RGB or RGBA, top
// row first, streamed to a sink as they are added.
//
// acTL and the first frame's fcTL come before its IDAT, so frame 1 is also
// the still image that a viewer without APNG support shows. Every later frame
// is stored as the smallest rectangle holding the pixels that differ from the
// frame before (1 x 1 at the origin when none do: a frame region may not be
// empty), with dispose NONE and blend SOURCE. NONE leaves the canvas holding
// the previous frame exactly, and SOURCE replaces the rectangle alpha
// included, where OVER would mix partly transparent pixels with what lies
// below; so every decoded frame equals its input.
//
// Rows are filtered and deflated as PngEncode does them, so the bytes depend
// only on the frames and settings. The writer keeps the previous frame and one
// compressed frame, whatever the number of frames. Nothing here logs.
//
// Use: ApngBegin, then ApngAddFrame once per announced frame, then ApngFinish.
// A failed call leaves the writer failed; the caller discards the output (it
// owns the file, its temporary name and the rename).
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "png/PngWrite.h"

// Receives the file's bytes in order. Returns false when it cannot take them.
using ApngSink = std::function<bool(const uint8_t* bytes, size_t length)>;

struct ApngSettings {
    int width = 0, height = 0;  // pixels, 1 to 2^31 - 1
    int channels = 4;           // 3: R, G, B; 4: R, G, B, A
    uint32_t frameCount = 1;    // frames that will be added, 1 to 2^30
    uint32_t plays = 0;         // times the animation plays; 0: forever
    PngCompression compression = PngCompression::Fast;
};

// How long a frame shows, in seconds: numerator / denominator (1/30 at 30 fps).
struct ApngDelay {
    uint16_t numerator = 1, denominator = 30;  // a denominator of 0 is refused
};

// Working state of one file; the fields are the writer's.
struct ApngWriter {
    ApngSettings settings;
    ApngSink sink;
    std::vector<uint8_t> previous;  // the last frame added, as given
    std::vector<uint8_t> chunks;    // the chunks of the frame being written
    uint32_t framesAdded = 0;
    uint32_t sequence = 0;  // the next fcTL / fdAT sequence number
    bool failed = true;     // until ApngBegin succeeds
};

// A sink that appends to `file` with fwrite. Buffered errors show only when
// the caller flushes and closes the file, which it must check.
ApngSink ApngFileSink(std::FILE* file);

// Checks the settings and writes the signature, IHDR and acTL. Returns false
// with one line in error on bad settings or when the sink refuses.
bool ApngBegin(ApngWriter& writer, const ApngSettings& settings, ApngSink sink, std::string& error);

// Writes the next frame: width x height pixels of `channels` bytes, rows
// without padding. Returns false with one line in error after a failed
// call, for a frame beyond the announced count, a bad delay, or when zlib or
// the sink fails.
bool ApngAddFrame(ApngWriter& writer, const uint8_t* pixels, ApngDelay delay, std::string& error);

// Writes IEND and frees the frame buffers. Returns false with one line in
// error when fewer frames came than were announced, or after a failed call.
bool ApngFinish(ApngWriter& writer, std::string& error);
