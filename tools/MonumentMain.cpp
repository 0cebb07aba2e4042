// voxwalk-monument OUT.vox [NAME]: writes a generated test model
// (tools/Monument.h): the monument by default, the lighthouse,
// "checkerboard-SIDE", or a small shape. The file appears whole or not at all: OUT.vox.tmp, then a
// rename.
// Exit status 0 on success, 2 for a usage error, 1 when it cannot write.
#include <cstdio>
#include <string>

#include "tools/Monument.h"

int main(int argc, char** argv) {
    const std::vector<uint8_t> bytes =
        argc == 2 || argc == 3 ? TestModelVoxFile(argc == 3 ? argv[2] : "monument") : std::vector<uint8_t>();
    if (bytes.empty()) {
        std::fprintf(stderr,
                     "usage: voxwalk-monument OUT.vox [monument | lighthouse | checkerboard-SIDE |"
                     " single-voxel | l-shape | hollow-box | plate-with-pillars | blob]   (SIDE 1 to 256)\n");
        return 2;
    }
    const std::string temporary = std::string(argv[1]) + ".tmp";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "voxwalk-monument: %s: cannot write\n", temporary.c_str());
        return 1;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written || std::rename(temporary.c_str(), argv[1]) != 0) {
        std::remove(temporary.c_str());
        std::fprintf(stderr, "voxwalk-monument: %s: cannot write\n", argv[1]);
        return 1;
    }
    return 0;
}
