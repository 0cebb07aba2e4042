#include "png/ApngWrite.h"

#include <cerrno>
#include <cstring>

#include "png/PngEncoder.h"

namespace {

constexpr uint8_t kDisposeNone = 0, kBlendSource = 0;

struct Rect {
    int x = 0, y = 0, width = 1, height = 1;
};

bool SamePixel(const uint8_t* a, const uint8_t* b, int channels) {
    return std::memcmp(a, b, static_cast<size_t>(channels)) == 0;
}

// The smallest rectangle holding every pixel that differs between the two
// frames; 1 x 1 at the origin when none does.
Rect ChangedRect(const uint8_t* before, const uint8_t* after, int width, int height, int channels) {
    const size_t stride = static_cast<size_t>(width) * static_cast<size_t>(channels);
    auto rowDiffers = [&](int y) {
        return std::memcmp(before + stride * size_t(y), after + stride * size_t(y), stride) != 0;
    };
    int top = 0;
    while (top < height && !rowDiffers(top)) ++top;
    if (top == height) return {};
    int bottom = height - 1;
    while (!rowDiffers(bottom)) --bottom;
    int left = width, right = -1;
    for (int y = top; y <= bottom; ++y) {
        const uint8_t* a = before + stride * size_t(y);
        const uint8_t* b = after + stride * size_t(y);
        for (int x = 0; x < left; ++x) {
            if (!SamePixel(a + x * channels, b + x * channels, channels)) {
                left = x;
                break;
            }
        }
        for (int x = width - 1; x > right; --x) {
            if (!SamePixel(a + x * channels, b + x * channels, channels)) {
                right = x;
                break;
            }
        }
    }
    return {left, top, right - left + 1, bottom - top + 1};
}

void PutBigEndian16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

// Hands the bytes to the sink; on refusal the error names `what` and, when
// the sink left one, the system's reason.
bool Emit(ApngWriter& writer, const std::vector<uint8_t>& bytes, const std::string& what, std::string& error) {
    errno = 0;
    if (writer.sink(bytes.data(), bytes.size())) return true;
    const int reason = errno;
    error = "APNG writer: cannot write " + what + (reason ? std::string(": ") + std::strerror(reason) : "");
    writer.failed = true;
    return false;
}

}  // namespace

ApngSink ApngFileSink(std::FILE* file) {
    return [file](const uint8_t* bytes, size_t length) { return std::fwrite(bytes, 1, length, file) == length; };
}

bool ApngBegin(ApngWriter& writer, const ApngSettings& settings, ApngSink sink, std::string& error) {
    writer = ApngWriter{};
    error.clear();
    const ApngSettings& s = settings;
    if (s.width <= 0 || s.height <= 0 || (s.channels != 3 && s.channels != 4)) {
        error = "APNG writer: cannot encode " + std::to_string(s.width) + "x" + std::to_string(s.height) +
                " frames of " + std::to_string(s.channels) + " channels";
        return false;
    }
    // Sequence numbers run to 2 * frames - 1 and must stay below 2^31.
    if (s.frameCount == 0 || s.frameCount > (1u << 30) || s.plays > 0x7FFFFFFFu) {
        error = "APNG writer: cannot announce " + std::to_string(s.frameCount) + " frames played " +
                std::to_string(s.plays) + " times";
        return false;
    }
    if (!sink) {
        error = "APNG writer: no output";
        return false;
    }
    writer.settings = settings;
    writer.sink = std::move(sink);
    writer.failed = false;
    std::vector<uint8_t> head;
    PngPutHeader(head, s.width, s.height, s.channels);
    const size_t actl = PngBeginChunk(head, "acTL");
    PngPutBigEndian32(head, s.frameCount);
    PngPutBigEndian32(head, s.plays);
    PngEndChunk(head, actl);
    return Emit(writer, head, "the header", error);
}

bool ApngAddFrame(ApngWriter& writer, const uint8_t* pixels, ApngDelay delay, std::string& error) {
    error.clear();
    const ApngSettings& s = writer.settings;
    const std::string frame = "frame " + std::to_string(writer.framesAdded + 1);
    if (writer.failed) {
        error = "APNG writer: " + frame + " after a failure";
        return false;
    }
    if (writer.framesAdded == s.frameCount || !pixels || delay.denominator == 0) {
        error = "APNG writer: " + frame + " of " + std::to_string(s.frameCount) +
                (writer.framesAdded == s.frameCount ? " was not announced"
                 : !pixels                          ? " has no pixels"
                                                    : " lasts a fraction with denominator 0");
        writer.failed = true;
        return false;
    }
    const size_t stride = static_cast<size_t>(s.width) * static_cast<size_t>(s.channels);
    const size_t size = stride * static_cast<size_t>(s.height);
    const bool first = writer.framesAdded == 0;
    const Rect r = first ? Rect{0, 0, s.width, s.height}
                         : ChangedRect(writer.previous.data(), pixels, s.width, s.height, s.channels);

    std::vector<uint8_t>& out = writer.chunks;
    out.clear();
    const size_t fctl = PngBeginChunk(out, "fcTL");
    PngPutBigEndian32(out, writer.sequence++);
    for (int value : {r.width, r.height, r.x, r.y}) PngPutBigEndian32(out, static_cast<uint32_t>(value));
    PutBigEndian16(out, delay.numerator);
    PutBigEndian16(out, delay.denominator);
    out.push_back(kDisposeNone);
    out.push_back(kBlendSource);
    PngEndChunk(out, fctl);

    const size_t data = PngBeginChunk(out, first ? "IDAT" : "fdAT");
    if (!first) PngPutBigEndian32(out, writer.sequence++);
    const uint8_t* corner = pixels + stride * size_t(r.y) + size_t(r.x) * size_t(s.channels);
    if (!PngDeflateImage(corner, r.width, r.height, stride, s.channels, s.compression, out) ||
        !PngEndChunk(out, data)) {
        error = "APNG writer: cannot compress " + frame;
        writer.failed = true;
        return false;
    }
    if (!Emit(writer, out, frame, error)) return false;
    writer.previous.assign(pixels, pixels + size);
    ++writer.framesAdded;
    return true;
}

bool ApngFinish(ApngWriter& writer, std::string& error) {
    error.clear();
    if (writer.failed) {
        error = "APNG writer: finished after a failure";
        return false;
    }
    writer.previous = {};
    writer.chunks = {};
    if (writer.framesAdded != writer.settings.frameCount) {
        error = "APNG writer: " + std::to_string(writer.framesAdded) + " frames came of " +
                std::to_string(writer.settings.frameCount) + " announced";
        writer.failed = true;
        return false;
    }
    std::vector<uint8_t> end;
    PngEndChunk(end, PngBeginChunk(end, "IEND"));
    writer.failed = true;  // nothing may follow IEND
    return Emit(writer, end, "the end", error);
}
