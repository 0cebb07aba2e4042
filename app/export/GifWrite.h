// The animated GIF writer: R, G, B, A frames of one size, top row first,
// streamed through giflib to a sink.
//
// Colours: each frame's colours go through the quantiser of Quantize.h to at
// most 255 entries; index 0 of every colour table is the transparent one.
// Frame 1's palette becomes the global table. A later frame keeps to it when
// that costs no visible quality, and otherwise carries a local table of its
// own: a frame of at most 255 colours only when the global table holds them
// all exactly (so such frames always come out exact), a frame of more when
// its mean squared error there is at most 1 per channel (48 dB, an RMS error
// of one level) or at most a quarter above its error under its own palette.
// A frame on the global table saves its 768-byte table and keeps unchanged
// pixels on their index, so its changed rectangle stays small: on the
// rendered clips of bench/AnimBench.cpp the files are 29% (plain background)
// to 46% (grass) smaller than with a table for each frame whose colours the
// global one lacks, at 51 to 54 dB instead of 54 to 81. There is no
// dithering: it moves pixels between frames (flicker), enlarges every
// changed rectangle and defeats LZW, while the quantiser alone keeps
// rendered frames above 48 dB.
//
// Alpha is binary in GIF: alpha 128 and above is opaque (the colour is kept),
// below is transparent. Every frame's control block names index 0
// transparent, so decoders treat the canvas as transparent from the start.
//
// Frames: frame 1 covers the whole canvas; each later one is the smallest
// rectangle holding the pixels that differ from what the canvas shows. Inside
// it, writing the pixels the canvas already shows as transparent makes long
// runs where the picture stands still but breaks runs of a plain colour, so
// each frame is compressed both ways and the smaller is written (on the
// bench clips, against always one way: 0 to 4% smaller; against never: up
// to 57%). GIF cannot turn a shown pixel transparent by drawing, so each
// frame is held until the next arrives: when the next one clears pixels, the
// held frame's rectangle grows to cover them and it is disposed to the
// background (cleared) rather than left; the last frame does the same for
// frame 1 when the animation loops. Every decoded frame equals the quantised
// input.
//
// Delays: GIF counts centiseconds, so each frame gets the rounded end time
// minus the rounded start time of the exact running total (30 fps: 3, 4, 3,
// 3, 4, 3, ...; 30 frames last exactly 1 s). Plays: 0 is forever (a
// NETSCAPE2.0 loop count of 0); 1 writes no loop block, so the file plays
// once; n > 1 writes n - 1, the number of repeats after the first play, as
// browsers and ffmpeg read it.
//
// Use: GifBegin, GifAddFrame per frame, GifFinish; GifRelease frees a writer
// that will not be finished. Nothing here logs; errors are one line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/export/Quantize.h"

struct GifFileType;

// Receives the file's bytes in order. Returns false when it cannot take them.
using GifSink = std::function<bool(const uint8_t* bytes, size_t length)>;

// Alpha at or above this is opaque; below it, transparent.
constexpr int kGifAlphaOpaque = 128;

struct GifSettings {
    int width = 0, height = 0;  // pixels, 1 to 65535
    uint32_t plays = 0;         // times the animation plays, 0 to 65536; 0: forever
};

// How long a frame shows, in seconds: numerator / denominator.
struct GifDelay {
    uint16_t numerator = 1, denominator = 30;  // a denominator of 0 is refused
};

// A frame reduced to its colour table: per pixel 0 (transparent) or 1 + an
// entry of the palette.
struct GifFrame {
    std::vector<uint8_t> index;
    Palette palette;
    bool global = false;  // the palette is the global table
    int delay = 0;        // centiseconds
};

// Working state of one file; the fields are the writer's. Not copyable:
// giflib's state points back at it. Destroying it releases it.
struct GifWriter {
    GifWriter() = default;
    GifWriter(const GifWriter&) = delete;
    GifWriter& operator=(const GifWriter&) = delete;
    ~GifWriter();

    GifSettings settings;
    GifSink sink;
    GifFileType* gif = nullptr;        // giflib's state once the header is out
    Palette global;                    // frame 1's palette
    std::vector<uint32_t> shown;       // the canvas before the held frame: 0 or 0xFF000000 | rgb
    std::vector<uint8_t> firstOpaque;  // frame 1's opaque pixels, for the way back round the loop
    GifFrame held;                     // the frame waiting for its successor
    uint32_t frames = 0;               // frames added
    // Seconds before the next frame as a fraction, and their rounded total
    // in centiseconds as written.
    uint64_t elapsedNumerator = 0, elapsedDenominator = 1;
    int64_t elapsedCentiseconds = 0;
    std::vector<uint8_t> buffer;  // encoded bytes on their way to the sink
    int sinkErrno = 0;            // the system's reason for a refused write, if any
    bool failed = true;           // until GifBegin succeeds
};

// A sink that appends to `file` with fwrite. Buffered errors show only when
// the caller flushes and closes the file, which it must check.
GifSink GifFileSink(std::FILE* file);

// Checks the settings and prepares the writer; nothing is written until the
// first frame is complete. False with one line in error on bad settings.
bool GifBegin(GifWriter& writer, const GifSettings& settings, GifSink sink, std::string& error);

// Quantises the next frame (width x height R, G, B, A pixels) and writes the
// one held before it. False with one line in error after a failed call, for
// a bad delay, or when giflib or the sink fails.
bool GifAddFrame(GifWriter& writer, const uint8_t* rgba, GifDelay delay, std::string& error);

// Writes the held frame and the trailer, and releases the writer. False with
// one line in error when no frame came, after a failed call, or when the
// sink fails.
bool GifFinish(GifWriter& writer, std::string& error);

// Frees giflib's state and the frames without finishing the file; a no-op
// after GifFinish.
void GifRelease(GifWriter& writer);
