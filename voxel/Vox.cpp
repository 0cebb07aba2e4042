#include "voxel/Vox.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "log/Log.h"
#include "voxel/VoxFormat.h"

namespace {

using namespace voxformat;

// Numbers in the log: signed ones get a leading space when not negative, as
// the console output has always shown them; unsigned ones are plain.
std::string Signed(int64_t value) { return value >= 0 ? " " + std::to_string(value) : std::to_string(value); }

std::string Unsigned(uint64_t value) { return std::to_string(value); }

std::string_view Chars(const uint8_t* bytes, size_t count) { return {reinterpret_cast<const char*>(bytes), count}; }

// The file's Y or Z minus a cell coordinate, wrapping like the signed 32-bit
// subtraction it stands for instead of overflowing for hostile sizes.
int32_t Mirror(int32_t size, uint8_t coordinate) {
    return static_cast<int32_t>(static_cast<uint32_t>(size) - coordinate);
}

bool IsId(const uint8_t* id, const char (&name)[5]) { return std::memcmp(id, name, 4) == 0; }

// XYZI: a count, then 4 bytes per voxel (x, y, z, colour). Only the voxels
// whose bytes lie inside both the chunk and the file are made, so a count
// can never allocate more than the file can describe.
void ReadXyzi(const uint8_t* data, uint64_t contentStart, uint64_t readEnd, int32_t sizeY, int32_t sizeZ,
              VoxelModel& model) {
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

    if (!paletteFound) FillDefaultPalette(model.palette);
}

// Poly2Vox, logged as it has always been.
void ReadPoly2Vox(const uint8_t* data, size_t length, VoxelModel& model) {
    LogLine("We think it is a Poly2Vox file...");
    const Poly2VoxLayout layout = ReadPoly2VoxLayout(data, length);
    LogLine("Size is (" + Unsigned(static_cast<uint32_t>(layout.sizeX)) + "," +
            Unsigned(static_cast<uint32_t>(layout.sizeY)) + "," + Unsigned(static_cast<uint32_t>(layout.sizeZ)) + ")");
    LogLine("(" + Unsigned(layout.cells) + ")");
    LogLine("Now getting voxels...");
    model.voxels = ReadPoly2VoxCells(data, layout);
    LogLine("Got " + Unsigned(model.voxels.size()) + " voxels! ");

    LogLine("Now getting color palette...");
    ReadPoly2VoxPalette(data, length, layout, model.palette);
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
    std::vector<uint8_t> bytes;
    std::string reason;  // the design's message says nothing more
    if (!ReadWholeFile(fileName, bytes, reason)) {
        LogLine("Error opening the file");
        return 0;
    }
    return LoadVoxelModelFromMemory(bytes.data(), bytes.size(), model);
}
