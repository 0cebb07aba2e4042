#include "voxel/Vox.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "render/Screen.h"
#include "voxel/DefaultPalette.h"

namespace {

// Numbers in the log: signed ones get a leading space when not negative, as
// the console output has always shown them; unsigned ones are plain.
std::string Signed(int64_t value) {
    return value >= 0 ? " " + std::to_string(value) : std::to_string(value);
}

std::string Unsigned(uint64_t value) { return std::to_string(value); }

std::string_view Chars(const uint8_t* bytes, size_t count) {
    return {reinterpret_cast<const char*>(bytes), count};
}

// Reads a little-endian 32-bit number at `offset`. Bytes at or past `end`
// are not there: they leave the matching bytes of `value` as they were, so
// a number cut by the end of the file keeps what it held before.
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

// The file's Y or Z minus a cell coordinate, wrapping like the signed 32-bit
// subtraction it stands for instead of overflowing for hostile sizes.
int32_t Mirror(int32_t size, uint8_t coordinate) {
    return static_cast<int32_t>(static_cast<uint32_t>(size) - coordinate);
}

bool IsId(const uint8_t* id, const char (&name)[5]) { return std::memcmp(id, name, 4) == 0; }

// XYZI: a count, then 4 bytes per voxel (x, y, z, colour). Only the voxels
// whose bytes lie inside both the chunk and the file are made, so a count
// can never allocate more than the file can describe.
void ReadXyzi(const uint8_t* data, uint64_t contentStart, uint64_t readEnd, int32_t sizeY,
              int32_t sizeZ, VoxelModel& model) {
    int32_t count = 0;
    ReadInt32(data, readEnd, contentStart, count);
    LogLine("Voxel count " + Unsigned(static_cast<uint32_t>(count)));

    const uint64_t first = contentStart + 4;
    const uint64_t present = readEnd > first ? (readEnd - first) / 4 : 0;
    const uint64_t stored = count > 0 ? std::min<uint64_t>(static_cast<uint64_t>(count), present) : 0;

    std::vector<Voxel> voxels(static_cast<size_t>(stored));
    for (size_t n = 0; n < voxels.size(); ++n) {
        const uint8_t* cell = data + first + 4 * n;
        Voxel& voxel = voxels[n];
        voxel.x = cell[0];
        // Mirrored: the application turns and recentres every model and the
        // stored walk frames rely on this orientation.
        voxel.y = Mirror(sizeY, cell[1]);
        voxel.z = Mirror(sizeZ, cell[2]);
        voxel.colorIndex = cell[3];
        voxel.reserved = 0;
    }
    model.voxels = std::move(voxels);
}

// The chunk walk. Chunk headers alone decide where the next chunk starts, so
// whatever a handler takes from its content, the walk stays on the chunk
// grid; each step moves at least one 12-byte header forward, so it ends.
void ReadMagicaVoxel(const uint8_t* data, size_t length, VoxelModel& model) {
    // The length is shown as the signed 32-bit number it has always been.
    LogLine("It's a MagicaVoxel file!  It is Sized =" + Signed(static_cast<int32_t>(length)));
    int32_t version = 0;
    ReadInt32(data, length, 4, version);
    LogLine("Version: " + Signed(version));
    LogLine(" ");

    int32_t sizeX = 0, sizeY = 0, sizeZ = 0;  // x is not mirrored, so sizeX is only read
    bool paletteFound = false;
    uint64_t pos = 8;
    while (pos < length) {
        if (length - pos < 12) break;  // a header cut by the end of the file is no chunk
        const uint8_t* header = data + pos;
        int32_t contentSize = 0, childrenSize = 0;
        ReadInt32(data, length, pos + 4, contentSize);
        ReadInt32(data, length, pos + 8, childrenSize);
        LogLine("ID =" + std::string(Chars(header, 4)));
        LogLine("Size =" + Signed(contentSize));
        LogLine("ChildChunks =" + Signed(childrenSize));
        if (contentSize < 0) break;

        const uint64_t contentStart = pos + 12;
        const uint64_t contentEnd = contentStart + static_cast<uint64_t>(contentSize);
        // Handlers read the part of the content that the file holds.
        const uint64_t readEnd = std::min<uint64_t>(contentEnd, length);
        // The chunks read here never skip their children: the first child is
        // simply the next header. Their children sizes are only shown, so a
        // wrong one (some editors wrote -1 for MAIN) costs nothing.
        uint64_t next = contentEnd;

        if (IsId(header, "SIZE")) {
            ReadInt32(data, readEnd, contentStart, sizeX);
            ReadInt32(data, readEnd, contentStart + 4, sizeY);
            ReadInt32(data, readEnd, contentStart + 8, sizeZ);
            LogLine(" ");
        } else if (IsId(header, "RGBA")) {
            // File entry k (from 0) is the colour of index k + 1, entry k + 1.
            const uint64_t entries = std::min<uint64_t>(256, (readEnd - contentStart) / 4);
            for (size_t k = 0; k < entries; ++k) {
                std::memcpy(&model.palette[k], data + contentStart + 4 * k, 4);
            }
            paletteFound = true;
        } else if (IsId(header, "XYZI")) {
            ReadXyzi(data, contentStart, readEnd, sizeY, sizeZ, model);
        } else if (!IsId(header, "MAIN")) {
            // Any other id (scene graph, layers, materials, PACK, ...) is
            // skipped whole, children included, so nothing hidden inside it
            // is taken for a model.
            if (childrenSize < 0) break;
            next = contentEnd + static_cast<uint64_t>(childrenSize);
        }

        if (next > length || next <= pos) break;  // cut short, or no progress
        pos = next;
    }

    if (!paletteFound) {
        for (size_t n = 0; n < 256; ++n) {
            const uint8_t* c = kVoxDefaultPalette[n];
            model.palette[n] = PackRgba(c[0], c[1], c[2], c[3]);
        }
    }
}

// Poly2Vox: X, Y, Z, then X·Y·Z colour bytes (Z fastest), then 256 RGB
// entries of 6 bits each.
void ReadPoly2Vox(const uint8_t* data, size_t length, VoxelModel& model) {
    LogLine("We think it is a Poly2Vox file...");
    int32_t sizeX = 0, sizeY = 0, sizeZ = 0;
    ReadInt32(data, length, 0, sizeX);
    ReadInt32(data, length, 4, sizeY);
    ReadInt32(data, length, 8, sizeZ);

    // Cells are read only when the dimensions make sense and every cell
    // byte is in the file; the product is taken without overflow.
    uint64_t cells = 0;
    bool haveCells = false;
    if (sizeX >= 0 && sizeY >= 0 && sizeZ >= 0 && length >= 12) {
        const uint64_t xy = static_cast<uint64_t>(sizeX) * static_cast<uint64_t>(sizeY);
        uint64_t product = 0;
        if (!__builtin_mul_overflow(xy, static_cast<uint64_t>(sizeZ), &product) &&
            product <= length - 12) {
            cells = product;
            haveCells = true;
        }
    }
    LogLine("Size is (" + Unsigned(static_cast<uint32_t>(sizeX)) + "," +
            Unsigned(static_cast<uint32_t>(sizeY)) + "," + Unsigned(static_cast<uint32_t>(sizeZ)) +
            ")");
    LogLine("(" + Unsigned(cells) + ")");
    LogLine("Now getting voxels...");

    // Only the solid cells become voxels: empty filler entries would count
    // in the model's centre and draw as cubes at the origin.
    std::vector<Voxel> voxels;
    if (cells > 0) {  // then every dimension is at least 1 and at most `cells`
        const uint8_t* cell = data + 12;
        for (int32_t i = 0; i < sizeX; ++i) {
            for (int32_t j = 0; j < sizeY; ++j) {
                for (int32_t l = 0; l < sizeZ; ++l) {
                    const uint8_t b = *cell++;
                    if (b == 0 || b == 255) continue;  // empty cell
                    Voxel voxel;
                    voxel.x = l;
                    voxel.y = j;
                    voxel.z = sizeX - i;
                    voxel.colorIndex = b;
                    voxels.push_back(voxel);
                }
            }
        }
    }
    model.voxels = std::move(voxels);
    LogLine("Got " + Unsigned(model.voxels.size()) + " voxels! ");

    LogLine("Now getting color palette...");
    if (haveCells) {
        // Colour byte b names the file's entry b (from 0); it is drawn with
        // palette entry b, palette[b - 1]. File entry 0, which no solid cell
        // uses, goes to the last entry. 6-bit values become 8-bit by x4 (the
        // top two bits are ignored, as a VGA DAC does).
        const uint64_t start = 12 + cells;
        for (size_t k = 0; k < 256 && start + 3 * k + 3 <= length; ++k) {
            const uint8_t* rgb = data + start + 3 * k;
            model.palette[(k + 255) % 256] = PackRgba(static_cast<uint8_t>((rgb[0] & 63) * 4),
                                                      static_cast<uint8_t>((rgb[1] & 63) * 4),
                                                      static_cast<uint8_t>((rgb[2] & 63) * 4), 255);
        }
    }
    LogLine("Got color palette!");
}

}  // namespace

int LoadVoxelModelFromMemory(const uint8_t* data, size_t length, VoxelModel& model) {
    if (data == nullptr) length = 0;
    // The magic buffer starts as "1234": bytes a short file does not supply
    // keep those characters.
    uint8_t magic[4] = {'1', '2', '3', '4'};
    if (length > 0) std::memcpy(magic, data, std::min<size_t>(4, length));
    LogLine("Magic Header ID = (" + std::string(Chars(magic, 4)) + ")");

    if (std::memcmp(magic, "VOX ", 4) == 0) {
        ReadMagicaVoxel(data, length, model);
    } else {
        ReadPoly2Vox(data, length, model);
    }
    return 1;
}

int LoadVoxelModel(const char* fileName, VoxelModel& model) {
    const int fd = fileName != nullptr ? open(fileName, O_RDONLY | O_CLOEXEC) : -1;
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        if (fd >= 0) close(fd);
        LogLine("Error opening the file");
        return 0;
    }

    // The whole file in one go: one read for a regular file (one byte more
    // than its size, to see the end), doubling blocks for anything else. A
    // device such as /dev/zero never ends, so growth stops at a bound far
    // above any model file; what was read by then is the file.
    constexpr size_t kMaxGrownBytes = size_t{1} << 26;
    std::vector<uint8_t> bytes(S_ISREG(info.st_mode) && info.st_size > 0
                                   ? static_cast<size_t>(info.st_size) + 1
                                   : size_t{1} << 16);
    size_t used = 0;
    for (;;) {
        if (used == bytes.size()) {
            if (bytes.size() >= kMaxGrownBytes) break;
            bytes.resize(std::min(bytes.size() * 2, kMaxGrownBytes));
        }
        const ssize_t n = read(fd, bytes.data() + used, bytes.size() - used);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // end of file; a read error ends the file there
        used += static_cast<size_t>(n);
    }
    close(fd);
    bytes.resize(used);

    return LoadVoxelModelFromMemory(bytes.data(), bytes.size(), model);
}
