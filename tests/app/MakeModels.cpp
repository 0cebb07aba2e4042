// Writes the end-to-end tests' models into a folder:
//   anim/step_1.vox, step_2.vox, step_10.vox  a red, a green and a blue
//                                             block: frames 1, 2, 3 in
//                                             natural order
//   anim.vox                                  the same three blocks as the
//                                             models of one file, no scene
//                                             graph: played as frames
//   still.vox                                 one yellow tower
//   empty.vox                                 a model without voxels
// Usage: make_models DIR
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "voxel/VoxWriter.h"

namespace {

using namespace voxwrite;

// Palette entry 1 red, 2 green, 3 blue, 4 yellow; the rest grey.
Bytes Palette() {
    Bytes out;
    const uint8_t colours[4][3] = {{220, 30, 30}, {30, 200, 30}, {40, 40, 230}, {230, 220, 20}};
    for (int k = 0; k < 256; ++k) {
        const uint8_t* c = k < 4 ? colours[k] : nullptr;
        out.insert(out.end(), {c ? c[0] : uint8_t{128}, c ? c[1] : uint8_t{128}, c ? c[2] : uint8_t{128}, 255});
    }
    return Chunk("RGBA", out);
}

// SIZE and XYZI of a solid sx x sy x sz block (z up) of one palette entry.
Bytes BlockChunks(int sx, int sy, int sz, uint8_t colour) {
    Bytes cells = Int32s({sx * sy * sz});
    for (int x = 0; x < sx; ++x)
        for (int y = 0; y < sy; ++y)
            for (int z = 0; z < sz; ++z)
                cells.insert(cells.end(), {static_cast<uint8_t>(x), static_cast<uint8_t>(y),
                                           static_cast<uint8_t>(z), colour});
    return Join(Size(sx, sy, sz), Chunk("XYZI", cells));
}

Bytes Block(int sx, int sy, int sz, uint8_t colour) {
    return VoxFile(Join(BlockChunks(sx, sy, sz, colour), Palette()));
}

bool Save(const std::string& path, const Bytes& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    mkdir((dir + "/anim").c_str(), 0755);
    const bool ok = Save(dir + "/anim/step_1.vox", Block(12, 12, 24, 1)) &&
                    Save(dir + "/anim/step_2.vox", Block(12, 12, 24, 2)) &&
                    Save(dir + "/anim/step_10.vox", Block(12, 12, 24, 3)) &&
                    Save(dir + "/anim.vox", VoxFile(Join(BlockChunks(12, 12, 24, 1),
                                                         BlockChunks(12, 12, 24, 2),
                                                         BlockChunks(12, 12, 24, 3), Palette()))) &&
                    Save(dir + "/still.vox", Block(10, 10, 40, 4)) &&
                    Save(dir + "/empty.vox", VoxFile(Join(Size(4, 4, 4), Chunk("XYZI", Int32s({0})))));
    if (!ok) std::fprintf(stderr, "%s: cannot write the models\n", dir.c_str());
    return ok ? 0 : 1;
}
