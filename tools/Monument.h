// Test models made from code, as the bytes of MagicaVoxel files (SIZE,
// XYZI, RGBA, MATL): a stepped stone monument 126 voxels tall on a 144 x 144
// plinth, about 850,000 voxels; a 3D checkerboard, whose voxels touch only
// along edges, so every face shows; and a lighthouse that shows each kind of
// material. Used by the benchmarks, the tests and the gallery, and to try
// the programs on big models; never stored in the repository.
//
// The same bytes come out on every call: no randomness, no clock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int32_t monumentWidth = 144;   // x and y extent, voxels
constexpr int32_t monumentHeight = 126;  // z extent, voxels

// The whole .vox file of the monument.
std::vector<uint8_t> MonumentVoxFile();

// One side x side x side model (side 1..256) holding every cell whose x + y + z
// is even, coloured by x (palette entries 1 to 7): side^3 / 2 voxels,
// 1,048,576 at side 128.
std::vector<uint8_t> CheckerboardVoxFile(int32_t side);

// A lighthouse 45 voxels tall on a 24 x 24 rock: a striped hollow tower
// with glass windows (`_glass`, colour index 12) on its four sides and a
// door facing the editor's +x, a steel gallery, railing, dome and spire
// (`_metal`, 14) and a glass lantern room around an emissive lamp (`_emit`,
// 13).
std::vector<uint8_t> LighthouseVoxFile();

// A generated model by name: "monument", "lighthouse", "checkerboard-SIDE",
// or one of the small shapes meshers are measured on: "single-voxel", "l-shape",
// "hollow-box", "plate-with-pillars", "blob" (3,000 voxels of 5 colours grown
// at random from a fixed seed). Empty for an unknown name.
std::vector<uint8_t> TestModelVoxFile(const std::string& name);
