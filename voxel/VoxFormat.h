// Byte-level pieces shared by the two .vox readers (the walk-frame reader in
// Vox.cpp and the scene reader in VoxScene.cpp), so both see a file the same
// way. Internal to voxwalk_voxel: nothing here logs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "voxel/Vox.h"

namespace voxformat {

// Reads a little-endian 32-bit number at `offset`. Bytes at or past `end`
// are not there: they leave the matching bytes of `value` as they were, so
// a number cut by the end of the file keeps what it held before.
void ReadInt32(const uint8_t* data, uint64_t end, uint64_t offset, int32_t& value);

// One palette entry from its bytes, in memory order R, G, B, A.
uint32_t PackRgba(uint8_t r, uint8_t g, uint8_t b, uint8_t a);

// The editor's palette for a file without an RGBA chunk.
void FillDefaultPalette(std::array<uint32_t, 256>& palette);

// Reads a whole regular file, or a pipe named by descriptor (/dev/stdin,
// /dev/fd/N, /proc/self/fd/N: `cat f.vox | tool /dev/stdin`, or a shell's
// process substitution), which is read until its writer closes it; this
// process already holds it, so that wait is the writer's. The open never
// blocks: a named FIFO, a device, a socket or a directory is refused at
// once. Returns false with `reason`: the system's message for a failed
// open or read ("No such file or directory"), "not a regular file (a
// FIFO)" and the like, or that a pipe holds more than kMaxPipeBytes.
inline constexpr size_t kMaxPipeBytes = size_t{1} << 28;
bool ReadWholeFile(const char* path, std::vector<uint8_t>& bytes, std::string& reason);

// Poly2Vox: X, Y, Z, then X·Y·Z colour bytes (Z fastest), then 256 RGB
// entries of 6 bits each.
struct Poly2VoxLayout {
    int32_t sizeX = 0, sizeY = 0, sizeZ = 0;  // as stored, possibly negative
    uint64_t cells = 0;                       // X·Y·Z when haveCells, else 0
    bool haveCells = false;                   // the sizes are sane and every cell byte is in the file
};

Poly2VoxLayout ReadPoly2VoxLayout(const uint8_t* data, size_t length);

// The solid cells in the walk-frame reader's orientation: file cell (i, j, l)
// becomes (l, j, X - i).
std::vector<Voxel> ReadPoly2VoxCells(const uint8_t* data, const Poly2VoxLayout& layout);

// The palette entries the file holds (nothing when !haveCells).
void ReadPoly2VoxPalette(const uint8_t* data, size_t length, const Poly2VoxLayout& layout,
                         std::array<uint32_t, 256>& palette);

}  // namespace voxformat
