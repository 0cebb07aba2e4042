#include "voxel/VoxFormat.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "voxel/DefaultPalette.h"

namespace voxformat {

void ReadInt32(const uint8_t* data, uint64_t end, uint64_t offset, int32_t& value) {
    uint32_t bits = static_cast<uint32_t>(value);
    for (unsigned i = 0; i < 4 && offset + i < end; ++i) {
        bits &= ~(0xffu << (8 * i));
        bits |= static_cast<uint32_t>(data[offset + i]) << (8 * i);
    }
    value = static_cast<int32_t>(bits);
}

uint32_t PackRgba(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    const uint8_t bytes[4] = {r, g, b, a};  // memory order R, G, B, A
    uint32_t entry;
    std::memcpy(&entry, bytes, 4);
    return entry;
}

void FillDefaultPalette(std::array<uint32_t, 256>& palette) {
    for (size_t n = 0; n < 256; ++n) {
        const uint8_t* c = kVoxDefaultPalette[n];
        palette[n] = PackRgba(c[0], c[1], c[2], c[3]);
    }
}

namespace {

// Whether `path` names one of this process's descriptors.
bool NamesDescriptor(std::string_view path) {
    if (path == "/dev/stdin") return true;
    for (std::string_view prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        if (path.substr(0, prefix.size()) != prefix) continue;
        const std::string_view number = path.substr(prefix.size());
        return !number.empty() && number.size() <= 9 &&
               std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
    }
    return false;
}

const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "an unknown kind of file";
}

}  // namespace

bool ReadWholeFile(const char* path, std::vector<uint8_t>& bytes, std::string& reason) {
    bytes.clear();
    if (path == nullptr) {
        reason = "no file name";
        return false;
    }
    // Non-blocking, so that opening a FIFO does not wait for a writer.
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        reason = std::strerror(errno);
        close(fd);
        return false;
    }
    const bool pipe = S_ISFIFO(info.st_mode) && NamesDescriptor(path);
    if (!S_ISREG(info.st_mode) && !pipe) {
        reason = std::string("not a regular file (") + KindOf(info.st_mode) + ")";
        close(fd);
        return false;
    }
    if (pipe) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);  // its writer is on its way

    // One byte more than a regular file's size, to see the end; a pipe, or
    // a file that grows meanwhile, in doubling blocks up to the bound.
    const size_t bound = std::max(kMaxPipeBytes, static_cast<size_t>(info.st_size) + 1);
    bytes.resize(S_ISREG(info.st_mode) && info.st_size > 0 ? static_cast<size_t>(info.st_size) + 1 : size_t{1} << 16);
    size_t used = 0;
    for (;;) {
        if (used == bytes.size()) {
            if (bytes.size() >= bound) {
                reason = "more than " + std::to_string(bound >> 20) + " MiB";
                close(fd);
                bytes.clear();
                return false;
            }
            bytes.resize(std::min(bytes.size() * 2, bound));
        }
        const ssize_t n = read(fd, bytes.data() + used, bytes.size() - used);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            reason = std::strerror(errno);
            close(fd);
            bytes.clear();
            return false;
        }
        if (n == 0) break;
        used += static_cast<size_t>(n);
    }
    close(fd);
    bytes.resize(used);
    return true;
}

Poly2VoxLayout ReadPoly2VoxLayout(const uint8_t* data, size_t length) {
    Poly2VoxLayout layout;
    ReadInt32(data, length, 0, layout.sizeX);
    ReadInt32(data, length, 4, layout.sizeY);
    ReadInt32(data, length, 8, layout.sizeZ);

    // Cells are read only when the dimensions make sense and every cell
    // byte is in the file; the product is taken without overflow.
    if (layout.sizeX >= 0 && layout.sizeY >= 0 && layout.sizeZ >= 0 && length >= 12) {
        const uint64_t xy = static_cast<uint64_t>(layout.sizeX) * static_cast<uint64_t>(layout.sizeY);
        uint64_t product = 0;
        if (!__builtin_mul_overflow(xy, static_cast<uint64_t>(layout.sizeZ), &product) && product <= length - 12) {
            layout.cells = product;
            layout.haveCells = true;
        }
    }
    return layout;
}

std::vector<Voxel> ReadPoly2VoxCells(const uint8_t* data, const Poly2VoxLayout& layout) {
    // Only the solid cells become voxels: empty filler entries would count
    // in the model's centre and draw as cubes at the origin.
    std::vector<Voxel> voxels;
    if (layout.cells == 0) return voxels;  // else every dimension is at least 1 and at most `cells`
    const uint8_t* cell = data + 12;
    for (int32_t i = 0; i < layout.sizeX; ++i) {
        for (int32_t j = 0; j < layout.sizeY; ++j) {
            for (int32_t l = 0; l < layout.sizeZ; ++l) {
                const uint8_t b = *cell++;
                if (b == 0 || b == 255) continue;  // empty cell
                Voxel voxel;
                voxel.x = l;
                voxel.y = j;
                voxel.z = layout.sizeX - i;
                voxel.colorIndex = b;
                voxels.push_back(voxel);
            }
        }
    }
    return voxels;
}

void ReadPoly2VoxPalette(const uint8_t* data, size_t length, const Poly2VoxLayout& layout,
                         std::array<uint32_t, 256>& palette) {
    if (!layout.haveCells) return;
    // Colour byte b names the file's entry b (from 0); it is drawn with
    // palette entry b, palette[b - 1]. File entry 0, which no solid cell
    // uses, goes to the last entry. 6-bit values become 8-bit by x4 (the
    // top two bits are ignored, as a VGA DAC does).
    const uint64_t start = 12 + layout.cells;
    for (size_t k = 0; k < 256 && start + 3 * k + 3 <= length; ++k) {
        const uint8_t* rgb = data + start + 3 * k;
        palette[(k + 255) % 256] =
            PackRgba(static_cast<uint8_t>((rgb[0] & 63) * 4), static_cast<uint8_t>((rgb[1] & 63) * 4),
                     static_cast<uint8_t>((rgb[2] & 63) * 4), 255);
    }
}

}  // namespace voxformat
