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
uint64_t FilterRow(int type, const uint8_t* row, const uint8_t* up, size_t length, size_t bpp,
                   uint8_t* out) {
    const size_t head = bpp < length ? bpp : length;  // bytes with nothing on the left
    switch (type) {
        case 0:
            std::memcpy(out, row, length);
            break;
        case 1:
            std::memcpy(out, row, head);
            for (size_t i = head; i < length; ++i) out[i] = uint8_t(row[i] - row[i - bpp]);
            break;
        case 2:
            for (size_t i = 0; i < length; ++i) out[i] = uint8_t(row[i] - up[i]);
            break;
        case 3:
            for (size_t i = 0; i < head; ++i) out[i] = uint8_t(row[i] - (up[i] >> 1));
            for (size_t i = head; i < length; ++i)
                out[i] = uint8_t(row[i] - ((row[i - bpp] + up[i]) >> 1));
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
bool Deflate(z_stream& stream, const uint8_t* input, size_t length, int flush,
             std::vector<uint8_t>& out) {
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
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

void PngPutHeader(std::vector<uint8_t>& out, int width, int height, int channels) {
    out.insert(out.end(), kPngSignature, kPngSignature + 8);
    const size_t at = PngBeginChunk(out, "IHDR");
    PngPutBigEndian32(out, static_cast<uint32_t>(width));
    PngPutBigEndian32(out, static_cast<uint32_t>(height));
    out.push_back(8);                        // bit depth
    out.push_back(channels == 4 ? 6 : 2);    // colour type: RGBA or RGB
    out.insert(out.end(), {0, 0, 0});        // deflate, adaptive filters, no interlace
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

bool PngDeflateImage(const uint8_t* pixels, int width, int height, size_t stride, int channels,
                     PngCompression compression, std::vector<uint8_t>& out) {
    const size_t length = static_cast<size_t>(width) * static_cast<size_t>(channels);
    if (length + 1 > UINT_MAX) return false;  // one row must fit zlib's 32-bit counts
    z_stream stream{};
    const bool fast = compression == PngCompression::Fast;
    if (deflateInit2(&stream, fast ? 6 : 9, Z_DEFLATED, 15, 8, fast ? Z_RLE : Z_DEFAULT_STRATEGY) !=
        Z_OK) {
        return false;
    }
    // Row buffers: the filter-type byte, then the filtered row.
    std::vector<uint8_t> best(length + 1), candidate(length + 1), zeros(length, 0);
    bool ok = true;
    for (int y = 0; y < height && ok; ++y) {
        const uint8_t* row = pixels + stride * static_cast<size_t>(y);
        const uint8_t* up = y > 0 ? row - stride : zeros.data();
        uint64_t bestScore = 0;
        for (int type = 0; type < 5; ++type) {
            const uint64_t score =
                FilterRow(type, row, up, length, static_cast<size_t>(channels), &candidate[1]);
            if (type == 0 || score < bestScore) {  // ties keep the lower type
                bestScore = score;
                candidate[0] = static_cast<uint8_t>(type);
                std::swap(best, candidate);
            }
        }
        ok = Deflate(stream, best.data(), best.size(), Z_NO_FLUSH, out);
    }
    ok = ok && Deflate(stream, nullptr, 0, Z_FINISH, out);
    deflateEnd(&stream);
    return ok;
}
