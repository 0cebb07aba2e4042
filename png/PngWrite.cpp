#include "png/PngWrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <utility>

#include "png/PngDecoder.h"
#include "png/PngFilter.h"

namespace {

void PutBigEndian32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

// Appends the CRC of the chunk whose type starts at `typeAt`.
void PutChunkCrc(std::vector<uint8_t>& out, size_t typeAt) {
    const uLong crc = crc32(0L, out.data() + typeAt, static_cast<uInt>(out.size() - typeAt));
    PutBigEndian32(out, static_cast<uint32_t>(crc));
}

void PutChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, uint32_t length) {
    PutBigEndian32(out, length);
    const size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data, data + length);
    PutChunkCrc(out, typeAt);
}

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

// Writes all of bytes to fd. False (errno set) when the disk refuses.
bool WriteAll(int fd, const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string Problem(const char* path, const std::string& what) {
    return std::string(path) + ": " + what;
}

}  // namespace

std::vector<uint8_t> PngEncode(const uint8_t* pixels, int width, int height, int channels,
                               PngCompression compression) {
    if (!pixels || width <= 0 || height <= 0 || (channels != 3 && channels != 4)) return {};
    const size_t stride = static_cast<size_t>(width) * static_cast<size_t>(channels);
    if (stride + 1 > UINT_MAX) return {};  // one row must fit zlib's 32-bit counts

    std::vector<uint8_t> out(kPngSignature, kPngSignature + 8);
    uint8_t header[13];
    for (int i = 0; i < 4; ++i) {
        header[i] = static_cast<uint8_t>(static_cast<uint32_t>(width) >> (24 - 8 * i));
        header[4 + i] = static_cast<uint8_t>(static_cast<uint32_t>(height) >> (24 - 8 * i));
    }
    header[8] = 8;                             // bit depth
    header[9] = channels == 4 ? 6 : 2;         // colour type: RGBA or RGB
    header[10] = header[11] = header[12] = 0;  // deflate, adaptive filters, no interlace
    PutChunk(out, "IHDR", header, sizeof header);

    // IDAT: its length is filled in once the stream is complete, which keeps
    // the filtered image out of memory; only the compressed bytes are held.
    const size_t idatAt = out.size();
    PutBigEndian32(out, 0);
    out.insert(out.end(), {'I', 'D', 'A', 'T'});
    z_stream stream{};
    const bool fast = compression == PngCompression::Fast;
    if (deflateInit2(&stream, fast ? 6 : 9, Z_DEFLATED, 15, 8, fast ? Z_RLE : Z_DEFAULT_STRATEGY) !=
        Z_OK) {
        return {};
    }
    // Row buffers: the filter-type byte, then the filtered row.
    std::vector<uint8_t> best(stride + 1), candidate(stride + 1), zeros(stride, 0);
    bool ok = true;
    for (int y = 0; y < height && ok; ++y) {
        const uint8_t* row = pixels + stride * y;
        const uint8_t* up = y > 0 ? row - stride : zeros.data();
        uint64_t bestScore = 0;
        for (int type = 0; type < 5; ++type) {
            const uint64_t score =
                FilterRow(type, row, up, stride, static_cast<size_t>(channels), &candidate[1]);
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
    const size_t idatLength = out.size() - idatAt - 8;
    if (!ok || idatLength > 0x7FFFFFFFu) return {};
    for (int i = 0; i < 4; ++i) out[idatAt + i] = static_cast<uint8_t>(idatLength >> (24 - 8 * i));
    PutChunkCrc(out, idatAt + 4);
    PutChunk(out, "IEND", nullptr, 0);
    return out;
}

bool PngWriteFile(const char* path, const uint8_t* pixels, int width, int height, int channels,
                  std::string& error) {
    error.clear();
    if (!path || !*path) {
        error = "PNG writer: no file name";
        return false;
    }
    const std::vector<uint8_t> file =
        PngEncode(pixels, width, height, channels, PngCompression::Fast);
    if (file.empty()) {
        error = Problem(path, "cannot encode a " + std::to_string(width) + "x" +
                                  std::to_string(height) + " image of " + std::to_string(channels) +
                                  " channels");
        return false;
    }
    // The temporary name sits beside the target, so the rename stays on one
    // file system and is atomic.
    std::string temporary = std::string(path) + ".tmp-XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        error =
            Problem(path, std::string("cannot create a file beside it: ") + std::strerror(errno));
        return false;
    }
    // mkstemp makes the file private; a picture gets the usual umask-based mode.
    const mode_t mask = umask(0);
    umask(mask);
    bool ok = fchmod(fd, 0666 & ~mask) == 0 && WriteAll(fd, file);
    int saved = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && std::rename(temporary.c_str(), path) != 0) {
        error = Problem(path, std::string("cannot put the file in place: ") + std::strerror(errno));
        unlink(temporary.c_str());
        return false;
    }
    if (!ok) {
        error = Problem(path, std::string("cannot write: ") + std::strerror(saved));
        unlink(temporary.c_str());
        return false;
    }
    return true;
}
