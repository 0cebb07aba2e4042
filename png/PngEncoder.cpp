#include "png/PngEncoder.h"

#include <zlib.h>

#include <climits>
#include <cstring>
#include <utility>

#include "png/PngDecoder.h"
#include "png/PngFilter.h"

namespace {

// Filters one row (length bytes, `up` the unfiltered row above or zeros) with
// filter `type` into out, and returns the sum of the residuals' magnitudes.
uint64_t FilterRow(int type, const uint8_t* row, const uint8_t* up, size_t length, size_t bpp, uint8_t* out) {
    const size_t head = bpp < length ? bpp : length;  // bytes with nothing on the left
    switch (type) {
        case 0: std::memcpy(out, row, length); break;
        case 1:
            std::memcpy(out, row, head);
            for (size_t i = head; i < length; ++i) out[i] = uint8_t(row[i] - row[i - bpp]);
            break;
        case 2:
            for (size_t i = 0; i < length; ++i) out[i] = uint8_t(row[i] - up[i]);
            break;
        case 3:
            for (size_t i = 0; i < head; ++i) out[i] = uint8_t(row[i] - (up[i] >> 1));
            for (size_t i = head; i < length; ++i) out[i] = uint8_t(row[i] - ((row[i - bpp] + up[i]) >> 1));
            break;
        default:
            for (size_t i = 0; i < head; ++i) out[i] = uint8_t(row[i] - up[i]);
            for (size_t i = head; i < length; ++i)
                out[i] = uint8_t(row[i] - PngPaethPredictor(row[i - bpp], up[i], up[i - bpp]));
            break;
    }
    uint64_t score = 0;
    for (size_t i = 0; i < length; ++i) {
        const int residual = static_cast<int8_t>(out[i]);
        score += static_cast<uint64_t>(residual < 0 ? -residual : residual);
    }
    return score;
}

// Runs deflate over `input` until it is consumed (and, with Z_FINISH, until
// the stream ends), appending what comes out to `out`. False on a zlib error.
bool Deflate(z_stream& stream, const uint8_t* input, size_t length, int flush, std::vector<uint8_t>& out) {
    stream.next_in = const_cast<Bytef*>(input);
    stream.avail_in = static_cast<uInt>(length);
    for (;;) {
        uint8_t buffer[1 << 16];
        stream.next_out = buffer;
        stream.avail_out = sizeof buffer;
        const int status = deflate(&stream, flush);
        if (status == Z_STREAM_ERROR) return false;
        out.insert(out.end(), buffer, buffer + (sizeof buffer - stream.avail_out));
        if (flush == Z_FINISH ? status == Z_STREAM_END : stream.avail_out != 0) return true;
    }
}

}  // namespace

void PngPutBigEndian32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void PngPutHeader(std::vector<uint8_t>& out, int width, int height, int channels) {
    out.insert(out.end(), kPngSignature, kPngSignature + 8);
    const size_t at = PngBeginChunk(out, "IHDR");
    PngPutBigEndian32(out, static_cast<uint32_t>(width));
    PngPutBigEndian32(out, static_cast<uint32_t>(height));
    out.push_back(8);                      // bit depth
    out.push_back(channels == 4 ? 6 : 2);  // colour type: RGBA or RGB
    out.insert(out.end(), {0, 0, 0});      // deflate, adaptive filters, no interlace
    PngEndChunk(out, at);
}

size_t PngBeginChunk(std::vector<uint8_t>& out, const char* type) {
    const size_t at = out.size();
    PngPutBigEndian32(out, 0);
    out.insert(out.end(), type, type + 4);
    return at;
}

bool PngEndChunk(std::vector<uint8_t>& out, size_t at) {
    const size_t length = out.size() - at - 8;
    if (length > 0x7FFFFFFFu) return false;
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(length >> (24 - 8 * i));
    const uLong crc = crc32(0L, out.data() + at + 4, static_cast<uInt>(length + 4));
    PngPutBigEndian32(out, static_cast<uint32_t>(crc));
    return true;
}

bool PngDeflateBegin(PngRowDeflater& d, int width, int channels, PngCompression compression) {
    PngDeflateRelease(d);
    const size_t length = static_cast<size_t>(width) * static_cast<size_t>(channels);
    if (width <= 0 || length + 1 > UINT_MAX) return false;  // one row must fit zlib's 32-bit counts
    d.stream = z_stream{};
    const bool fast = compression == PngCompression::Fast;
    if (deflateInit2(&d.stream, fast ? 6 : 9, Z_DEFLATED, 15, 8, fast ? Z_RLE : Z_DEFAULT_STRATEGY) != Z_OK) {
        return false;
    }
    d.open = true;
    d.channels = channels;
    d.above.assign(length, 0);
    d.best.assign(length + 1, 0);
    d.candidate.assign(length + 1, 0);
    return true;
}

bool PngDeflateRows(PngRowDeflater& d, const uint8_t* rows, int count, size_t stride, std::vector<uint8_t>& out) {
    if (!d.open) return false;
    const size_t length = d.above.size();
    bool ok = true;
    for (int y = 0; y < count && ok; ++y) {
        const uint8_t* row = rows + stride * static_cast<size_t>(y);
        const uint8_t* up = y > 0 ? row - stride : d.above.data();
        uint64_t bestScore = 0;
        for (int type = 0; type < 5; ++type) {
            const uint64_t score = FilterRow(type, row, up, length, static_cast<size_t>(d.channels), &d.candidate[1]);
            if (type == 0 || score < bestScore) {  // ties keep the lower type
                bestScore = score;
                d.candidate[0] = static_cast<uint8_t>(type);
                std::swap(d.best, d.candidate);
            }
        }
        ok = Deflate(d.stream, d.best.data(), d.best.size(), Z_NO_FLUSH, out);
    }
    // The next band's first row is filtered against this band's last.
    if (ok && count > 0) std::memcpy(d.above.data(), rows + stride * static_cast<size_t>(count - 1), length);
    return ok;
}

bool PngDeflateFinish(PngRowDeflater& d, std::vector<uint8_t>& out) {
    const bool ok = d.open && Deflate(d.stream, nullptr, 0, Z_FINISH, out);
    PngDeflateRelease(d);
    return ok;
}

void PngDeflateRelease(PngRowDeflater& d) {
    if (d.open) deflateEnd(&d.stream);
    d.open = false;
}

bool PngDeflateImage(const uint8_t* pixels, int width, int height, size_t stride, int channels,
                     PngCompression compression, std::vector<uint8_t>& out) {
    PngRowDeflater deflater;
    if (!PngDeflateBegin(deflater, width, channels, compression)) return false;
    if (!PngDeflateRows(deflater, pixels, height, stride, out)) {
        PngDeflateRelease(deflater);
        return false;
    }
    return PngDeflateFinish(deflater, out);
}
