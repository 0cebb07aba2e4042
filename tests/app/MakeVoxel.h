// A voxel at a position with a colour index, the reserved field zero.
#pragma once

#include "voxel/Vox.h"

inline Voxel MakeVoxel(int32_t x, int32_t y, int32_t z, uint32_t colorIndex = 1) { return {x, y, z, colorIndex, 0}; }
