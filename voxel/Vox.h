// Voxel models and the .vox reader.
//
// A VoxelModel is a plain value: it owns its voxel array through std::vector,
// so copying a model copies every voxel, the 256 palette entries and the
// list names, and destroying it frees the array. The reader never touches
// the list names; the GL lists belong to whoever compiled them.
//
// Two file formats are read: MagicaVoxel's chunk format (magic "VOX ") and,
// for any other file, the raw Poly2Vox format (X, Y, Z, one colour byte per
// cell, a 6-bit RGB palette). The reader logs what it finds through LogLine,
// one line per message, and needs no GL context.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// One solid cell.
struct Voxel {
    int32_t x = 0;            // cell coordinate, whole cells
    int32_t y = 0;            // mirrored on reading: Y - y of the file (MagicaVoxel)
    int32_t z = 0;            // mirrored on reading: Z - z of the file (MagicaVoxel)
    uint32_t colorIndex = 0;  // 1..255: the file's colour byte, unchanged
    uint32_t reserved = 0;    // always 0
};

// How the voxels of one palette entry are drawn and exported, from the
// entry's material (LookOfMaterial in VoxScene.h) with the editor's defaults
// filled in. The walk's reader never sets one: its voxels are all diffuse.
enum class VoxelSurface : uint8_t {
    Diffuse,      // lit as ever
    Emissive,     // unlit and brightened (`_emit`, MATT type 3)
    Translucent,  // blended over what lies behind (`_glass`, `_blend`, `_media`, `_cloud`)
    Metal,        // lit, with a specular highlight (`_metal`)
};

struct VoxelLook {
    VoxelSurface surface = VoxelSurface::Diffuse;
    float emission = 0.0f;  // Emissive: `_emit` (1 when absent) times 2^`_flux`
    float opacity = 1.0f;   // Translucent: 0.1..1
    float metal = 0.0f;     // Metal: the highlight's strength, 0..1
    float rough = 1.0f;     // 0..1: the highlight's spread (Metal), the surface's roughness
    float ior = 1.5f;       // Translucent: index of refraction, >= 1
    bool operator==(const VoxelLook&) const = default;
};

// One animation frame.
struct VoxelModel {
    // Voxel n (counted from 1) is voxels[n - 1], in file order.
    std::vector<Voxel> voxels;
    // Entry n (1..256) is palette[n - 1], the colour of colorIndex n; four
    // bytes in memory order R, G, B, A.
    std::array<uint32_t, 256> palette{};
    // Display lists of the frame: the lit model and its shadow (0: the shadow
    // draws displayList too); set by the application, never by the reader.
    uint32_t displayList = 0;
    uint32_t shadowList = 0;
    // Empty when every entry is diffuse; else 256 entries laid out as the
    // palette: entry n's look is looks[n - 1]. Last, so that the records
    // written out field by field stay as they were.
    std::vector<VoxelLook> looks{};
};

// Reads the .vox file `fileName` (read whole, in large blocks) into `model`.
// Returns 0 and leaves the model untouched, logging "Error opening the
// file", when the file cannot be opened or read or is not a regular file (a
// pipe named /dev/stdin, /dev/fd/N or /proc/self/fd/N is read to its end; a
// FIFO or a device is never waited on); otherwise returns 1, whatever the
// file holds. Only what the file supplies changes: voxels are replaced by the
// last voxel list read, palette entries by the ones the file stores (a
// MagicaVoxel file without an RGBA chunk gets the editor's default palette).
int LoadVoxelModel(const char* fileName, VoxelModel& model);

// The same reader over the bytes of a whole file already in memory. Logs the
// same lines and returns 1. Any bytes are safe: every read stays inside
// data[0, length), the voxel array never holds more voxels than the bytes can
// describe, and the chunk walk always ends.
int LoadVoxelModelFromMemory(const uint8_t* data, size_t length, VoxelModel& model);
