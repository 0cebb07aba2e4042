// Feeds any bytes to the .vox reader as a whole file and checks what it
// promises: it returns 1, never holds more voxels than the bytes can
// describe (4 bytes per voxel, 1 per Poly2Vox cell) and never stores an
// empty Poly2Vox cell.
#include <cstdint>
#include <cstdlib>

#include <fcntl.h>

#include "log/Log.h"
#include "voxel/Vox.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The reader logs every chunk; the lines go nowhere, without a file per run.
    static const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    logDescriptor = devNull;

    VoxelModel model;
    if (LoadVoxelModelFromMemory(data, size, model) != 1) std::abort();
    const bool magica = size >= 4 && data[0] == 'V' && data[1] == 'O' && data[2] == 'X' && data[3] == ' ';
    if (magica) {
        if (model.voxels.size() > size / 4) std::abort();
    } else {
        if (model.voxels.size() > (size >= 12 ? size - 12 : 0)) std::abort();
        for (const Voxel& v : model.voxels) {
            if (v.colorIndex == 0 || v.colorIndex == 255) std::abort();
        }
    }
    return 0;
}
