#include "png/PngWrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "png/PngEncoder.h"

namespace {

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

std::string Problem(const char* path, const std::string& what) { return std::string(path) + ": " + what; }

}  // namespace

std::vector<uint8_t> PngEncode(const uint8_t* pixels, int width, int height, int channels, PngCompression compression) {
    if (!pixels || width <= 0 || height <= 0 || (channels != 3 && channels != 4)) return {};
    std::vector<uint8_t> out;
    PngPutHeader(out, width, height, channels);
    // One IDAT: its length is filled in once the stream is complete, which
    // keeps the filtered image out of memory; only the compressed bytes are held.
    const size_t idat = PngBeginChunk(out, "IDAT");
    const size_t stride = static_cast<size_t>(width) * static_cast<size_t>(channels);
    if (!PngDeflateImage(pixels, width, height, stride, channels, compression, out) || !PngEndChunk(out, idat)) {
        return {};
    }
    PngEndChunk(out, PngBeginChunk(out, "IEND"));
    return out;
}

bool PngWriteFile(const char* path, const uint8_t* pixels, int width, int height, int channels, std::string& error) {
    error.clear();
    if (!path || !*path) {
        error = "PNG writer: no file name";
        return false;
    }
    const std::vector<uint8_t> file = PngEncode(pixels, width, height, channels, PngCompression::Fast);
    if (file.empty()) {
        error = Problem(path, "cannot encode a " + std::to_string(width) + "x" + std::to_string(height) + " image of " +
                                  std::to_string(channels) + " channels");
        return false;
    }
    // The temporary name sits beside the target, so the rename stays on one
    // file system and is atomic.
    std::string temporary = std::string(path) + ".tmp-XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        error = Problem(path, std::string("cannot create a file beside it: ") + std::strerror(errno));
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
