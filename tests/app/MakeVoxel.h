// Builds voxels for the app tests: a position and a colour index, the
// reserved field zero.
#pragma once

#include <cstdint>

#include "voxel/Vox.h"

inline Voxel MakeVoxel(int32_t x, int32_t y, int32_t z, uint32_t colorIndex = 1) {
    Voxel v{};
    v.x = x;
    v.y = y;
    v.z = z;
    v.colorIndex = colorIndex;
    return v;
}
