// A large test model made from code: a stepped stone monument 126 voxels
// tall on a 144 x 144 plinth, about 850,000 voxels, as the bytes of a
// MagicaVoxel file (SIZE, XYZI, RGBA). Used by the benchmarks and to try
// the viewer on a big model; never stored in the repository.
//
// The same bytes come out on every call: no randomness, no clock.
#pragma once

#include <cstdint>
#include <vector>

constexpr int32_t monumentWidth = 144;   // x and y extent, voxels
constexpr int32_t monumentHeight = 126;  // z extent, voxels

// The whole .vox file of the monument.
std::vector<uint8_t> MonumentVoxFile();
