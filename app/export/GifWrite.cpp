#include "app/export/GifWrite.h"

#include <gif_lib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <numeric>

namespace {

// Colours of a table beside the transparent entry.
constexpr size_t kPaletteColours = 255;

// A frame keeps to the global table while its error there is at most this
// many quarters of its error under a palette of its own.
constexpr uint64_t kGlobalSlackQuarters = 5;

uint32_t Packed(const Palette& palette, uint8_t index) {
    if (index == 0) return 0;
    const auto& c = palette.rgb[size_t(index - 1)];
    return 0xFF000000u | uint32_t(c[0]) << 16 | uint32_t(c[1]) << 8 | c[2];
}

// giflib's output function: everything goes to the writer's buffer first,
// so that a frame can be encoded twice and the smaller kept, and the sink
// sees only whole blocks.
int Output(GifFileType* gif, const GifByteType* bytes, int length) {
    auto* writer = static_cast<GifWriter*>(gif->UserData);
    writer->buffer.insert(writer->buffer.end(), bytes, bytes + length);
    return length;
}

// Hands the buffer to the sink and empties it. False when the sink refuses.
bool Flush(GifWriter& writer) {
    errno = 0;
    const bool ok = writer.sink(writer.buffer.data(), writer.buffer.size());
    if (!ok) writer.sinkErrno = errno;
    writer.buffer.clear();
    return ok;
}

// A colour table: the transparent entry 0, then the palette, padded to the
// power of two GIF needs. nullptr when giflib cannot allocate it.
ColorMapObject* MakeColourMap(const Palette& palette) {
    int size = 2;
    while (size < palette.count + 1) size *= 2;
    GifColorType colours[256] = {};
    for (int i = 0; i < palette.count; ++i)
        colours[i + 1] = {palette.rgb[size_t(i)][0], palette.rgb[size_t(i)][1], palette.rgb[size_t(i)][2]};
    return GifMakeMapObject(size, colours);
}

bool Fail(GifWriter& writer, const std::string& what, std::string& error) {
    error = "GIF writer: " + what;
    const char* reason = writer.sinkErrno                  ? std::strerror(writer.sinkErrno)
                         : writer.gif && writer.gif->Error ? GifErrorString(writer.gif->Error)
                                                           : nullptr;
    if (reason) error += std::string(": ") + reason;
    writer.failed = true;
    return false;
}

// The signature, the screen with frame 1's palette as the global table, and
// the loop count.
bool PutHeader(GifWriter& writer) {
    int status = 0;
    writer.gif = EGifOpen(&writer, Output, &status);
    if (!writer.gif) return false;
    EGifSetGifVersion(writer.gif, true);
    ColorMapObject* map = MakeColourMap(writer.global);
    const bool ok =
        map && EGifPutScreenDesc(writer.gif, writer.settings.width, writer.settings.height, 8, 0, map) == GIF_OK;
    GifFreeMapObject(map);
    if (!ok) return false;
    if (writer.settings.plays != 1) {
        const uint32_t repeats = writer.settings.plays == 0 ? 0 : writer.settings.plays - 1;
        const uint8_t loop[3] = {1, uint8_t(repeats), uint8_t(repeats >> 8)};
        if (EGifPutExtensionLeader(writer.gif, APPLICATION_EXT_FUNC_CODE) != GIF_OK ||
            EGifPutExtensionBlock(writer.gif, 11, "NETSCAPE2.0") != GIF_OK ||
            EGifPutExtensionBlock(writer.gif, 3, loop) != GIF_OK || EGifPutExtensionTrailer(writer.gif) != GIF_OK) {
            return false;
        }
    }
    return Flush(writer);
}

// Writes the held frame over the canvas. nextOpaque: per pixel, whether the
// frame after it is opaque there (nullptr: nothing follows); pixels it
// clears are cleared by disposing the held frame.
bool PutHeldFrame(GifWriter& writer, const uint8_t* nextOpaque) {
    const int width = writer.settings.width, height = writer.settings.height;
    const GifFrame& frame = writer.held;
    const bool first = writer.gif == nullptr;
    if (first && !PutHeader(writer)) return false;

    int left = width, right = -1, top = height, bottom = -1;
    bool clears = false;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const size_t p = size_t(y) * width + x;
            const bool cleared = nextOpaque && frame.index[p] != 0 && !nextOpaque[p];
            if (cleared || writer.shown[p] != Packed(frame.palette, frame.index[p])) {
                clears = clears || cleared;
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (first) left = 0, right = width - 1, top = 0, bottom = height - 1;
    if (right < 0) left = right = top = bottom = 0;  // nothing changed: an image needs a pixel

    GraphicsControlBlock control{};
    control.DisposalMode = clears ? DISPOSE_BACKGROUND : DISPOSE_DO_NOT;
    control.DelayTime = frame.delay;
    control.TransparentColor = 0;
    GifByteType extension[4];
    const int extensionLength = int(EGifGCBToExtension(&control, extension));
    ColorMapObject* local = frame.global ? nullptr : MakeColourMap(frame.palette);
    if (!frame.global && !local) return false;
    const int rectWidth = right - left + 1;
    std::vector<GifPixelType> line(static_cast<size_t>(rectWidth));
    // keepShown: a pixel the canvas already shows is written transparent.
    auto encode = [&](bool keepShown) {
        if (EGifPutExtension(writer.gif, GRAPHICS_EXT_FUNC_CODE, extensionLength, extension) != GIF_OK ||
            EGifPutImageDesc(writer.gif, left, top, rectWidth, bottom - top + 1, false, local) != GIF_OK) {
            return false;
        }
        for (int y = top; y <= bottom; ++y) {
            for (int x = left; x <= right; ++x) {
                const size_t p = size_t(y) * width + x;
                const bool kept = keepShown && writer.shown[p] == Packed(frame.palette, frame.index[p]);
                line[size_t(x - left)] = kept ? 0 : frame.index[p];
            }
            if (EGifPutLine(writer.gif, line.data(), rectWidth) != GIF_OK) return false;
        }
        return true;
    };
    // Keeping shown pixels makes long runs of index 0 where a texture stands
    // still, but splits a plain colour's runs in two: both are encoded and
    // the smaller is sent.
    bool ok = encode(false);
    if (ok && !first) {
        std::vector<uint8_t> plain;
        plain.swap(writer.buffer);
        ok = encode(true);
        if (ok && plain.size() < writer.buffer.size()) writer.buffer.swap(plain);
    }
    GifFreeMapObject(local);
    if (!ok || !Flush(writer)) return false;
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x) {
            const size_t p = size_t(y) * width + x;
            writer.shown[p] = clears ? 0 : Packed(frame.palette, frame.index[p]);
        }
    return true;
}

// Centiseconds from the rounded start of a frame to the rounded end of it,
// the running total kept exact as a fraction. -1 past GIF's 16 bits.
int AdvanceClock(GifWriter& writer, GifDelay delay) {
    uint64_t n = writer.elapsedNumerator, d = writer.elapsedDenominator;
    const uint64_t common = std::lcm(d, uint64_t(delay.denominator));
    if (common > (uint64_t(1) << 40)) {
        // Only denominators of many kinds get here: go on in 1/6553600 s.
        n = uint64_t((static_cast<unsigned __int128>(n) * 6553600 + d / 2) / d);
        d = 6553600;
    }
    const uint64_t next = std::lcm(d, uint64_t(delay.denominator));
    n = n * (next / d) + uint64_t(delay.numerator) * (next / delay.denominator);
    d = next;
    const uint64_t divisor = std::gcd(n, d);
    if (divisor > 1) n /= divisor, d /= divisor;
    const auto end = int64_t((static_cast<unsigned __int128>(n) * 200 + d) / (2 * d));  // rounded half up
    const int64_t centiseconds = end - writer.elapsedCentiseconds;
    if (centiseconds > 65535) return -1;
    writer.elapsedNumerator = n;
    writer.elapsedDenominator = d;
    writer.elapsedCentiseconds = end;
    return int(centiseconds);
}

}  // namespace

GifSink GifFileSink(std::FILE* file) {
    return [file](const uint8_t* bytes, size_t length) { return std::fwrite(bytes, 1, length, file) == length; };
}

bool GifBegin(GifWriter& writer, const GifSettings& settings, GifSink sink, std::string& error) {
    GifRelease(writer);
    writer.held = {};
    writer.global = {};
    writer.frames = 0;
    writer.elapsedNumerator = 0;
    writer.elapsedDenominator = 1;
    writer.elapsedCentiseconds = 0;
    writer.sinkErrno = 0;
    writer.failed = true;
    error.clear();
    if (settings.width <= 0 || settings.height <= 0 || settings.width > 65535 || settings.height > 65535) {
        error = "GIF writer: cannot encode " + std::to_string(settings.width) + "x" + std::to_string(settings.height) +
                " frames (1 to 65535 pixels a side)";
        return false;
    }
    if (settings.plays > 65536) {
        error = "GIF writer: cannot play " + std::to_string(settings.plays) + " times (at most 65536)";
        return false;
    }
    if (!sink) {
        error = "GIF writer: no output";
        return false;
    }
    writer.settings = settings;
    writer.sink = std::move(sink);
    const size_t pixels = size_t(settings.width) * size_t(settings.height);
    writer.shown.assign(pixels, 0);
    writer.firstOpaque.assign(pixels, 0);
    writer.failed = false;
    return true;
}

bool GifAddFrame(GifWriter& writer, const uint8_t* rgba, GifDelay delay, std::string& error) {
    error.clear();
    const std::string frame = "frame " + std::to_string(writer.frames + 1);
    if (writer.failed) {
        error = "GIF writer: " + frame + " after a failure";
        return false;
    }
    if (!rgba || delay.denominator == 0) {
        error = "GIF writer: " + frame + (!rgba ? " has no pixels" : " lasts a fraction with denominator 0");
        writer.failed = true;
        return false;
    }
    GifFrame next;
    next.delay = AdvanceClock(writer, delay);
    if (next.delay < 0) return Fail(writer, frame + " lasts longer than GIF's 655.35 s", error);

    const size_t pixels = writer.shown.size();
    const std::vector<ColourCount> colours = CountColours(rgba, pixels, kGifAlphaOpaque);
    std::vector<uint8_t> nearest;
    if (writer.frames == 0) {
        writer.global = QuantizeColours(colours, kPaletteColours);
        MapColours(colours, writer.global, nearest);
        next.global = true;
    } else {
        // The global table serves a frame whose colours all fit a table
        // only when it holds them exactly; a frame of more colours when its
        // error there stays within a quarter above the error under its own
        // palette, or below a mean squared error of 1 per channel (48 dB: a
        // difference nobody sees), which saves a table and keeps the indices
        // of unchanged pixels.
        const uint64_t globalError = MapColours(colours, writer.global, nearest);
        uint64_t opaque = 0;
        for (const ColourCount& c : colours) opaque += c.count;
        const bool fits = colours.size() <= kPaletteColours;
        next.global = globalError == 0 || (!fits && globalError <= 3 * opaque);
        if (!next.global) {
            std::vector<uint8_t> own;
            const Palette palette = QuantizeColours(colours, kPaletteColours);
            const uint64_t ownError = MapColours(colours, palette, own);
            next.global = !fits && static_cast<unsigned __int128>(globalError) * 4 <=
                                       static_cast<unsigned __int128>(ownError) * kGlobalSlackQuarters;
            if (!next.global) {
                next.palette = palette;
                nearest.swap(own);
            }
        }
    }
    if (next.global) next.palette = writer.global;
    next.index.resize(pixels);
    uint32_t lastColour = UINT32_MAX;  // runs of a colour search once
    uint8_t lastIndex = 0;
    for (size_t p = 0; p < pixels; ++p) {
        const uint8_t* px = rgba + 4 * p;
        const uint32_t colour = uint32_t(px[0]) << 16 | uint32_t(px[1]) << 8 | px[2];
        if (px[3] >= kGifAlphaOpaque && colour != lastColour) {
            lastColour = colour;
            lastIndex = uint8_t(1 + nearest[FindColour(colours, colour)]);
        }
        next.index[p] = px[3] < kGifAlphaOpaque ? 0 : lastIndex;
    }
    if (writer.frames == 0) {
        for (size_t p = 0; p < pixels; ++p) writer.firstOpaque[p] = next.index[p] != 0;
    } else {
        std::vector<uint8_t> opaque(pixels);
        for (size_t p = 0; p < pixels; ++p) opaque[p] = next.index[p] != 0;
        if (!PutHeldFrame(writer, opaque.data()))
            return Fail(writer, "cannot write frame " + std::to_string(writer.frames), error);
    }
    writer.held = std::move(next);
    ++writer.frames;
    return true;
}

bool GifFinish(GifWriter& writer, std::string& error) {
    error.clear();
    bool ok = !writer.failed && writer.frames > 0;
    if (writer.failed)
        error = "GIF writer: finished after a failure";
    else if (writer.frames == 0)
        error = "GIF writer: no frames";
    // Round the loop, frame 1 follows the last.
    if (ok && !PutHeldFrame(writer, writer.settings.plays == 1 ? nullptr : writer.firstOpaque.data()))
        ok = Fail(writer, "cannot write frame " + std::to_string(writer.frames), error);
    if (ok) {
        int status = 0;
        ok = EGifCloseFile(writer.gif, &status) == GIF_OK;  // appends the trailer to the buffer
        writer.gif = nullptr;
        if (!ok || !Flush(writer)) {
            const char* reason = writer.sinkErrno ? std::strerror(writer.sinkErrno) : GifErrorString(status);
            error = std::string("GIF writer: cannot write the end") + (reason ? std::string(": ") + reason : "");
            ok = false;
        }
    }
    GifRelease(writer);
    writer.failed = true;
    return ok;
}

GifWriter::~GifWriter() { GifRelease(*this); }

void GifRelease(GifWriter& writer) {
    if (writer.gif) EGifCloseFile(writer.gif, nullptr);  // its trailer stays in the buffer
    writer.gif = nullptr;
    writer.sink = nullptr;
    writer.buffer = {};
    writer.shown = {};
    writer.firstOpaque = {};
    writer.held = {};
}
