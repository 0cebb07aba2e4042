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

#include <algorithm>
#include <cstdio>
#include <string>

#include "voxel/VoxWriter.h"

namespace {

using namespace voxwrite;

// Palette entry 1 red, 2 green, 3 blue, 4 yellow; the rest grey.
Bytes Palette() {
    Bytes out;
    const uint8_t colours[5][3] = {{220, 30, 30}, {30, 200, 30}, {40, 40, 230}, {230, 220, 20}, {128, 128, 128}};
    for (int k = 0; k < 256; ++k) {
        const uint8_t* c = colours[std::min(k, 4)];
        out.insert(out.end(), {c[0], c[1], c[2], 255});
    }
    return Chunk("RGBA", out);
}

// SIZE and XYZI of a solid sx x sy x sz block (z up) of one palette entry.
Bytes Block(int sx, int sy, int sz, uint8_t colour) {
    Bytes cells = Int32s({sx * sy * sz});
    for (int i = 0; i < sx * sy * sz; ++i)
        cells.insert(cells.end(), {static_cast<uint8_t>(i / (sy * sz)), static_cast<uint8_t>(i / sz % sy),
                                   static_cast<uint8_t>(i % sz), colour});
    return Join(Size(sx, sy, sz), Chunk("XYZI", cells));
}

bool Save(const std::string& path, const Bytes& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    const bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return f && std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return std::fprintf(stderr, "usage: %s DIR\n", argv[0]), 2;
    const std::string dir = argv[1];
    mkdir((dir + "/anim").c_str(), 0755);
    const Bytes red = Block(12, 12, 24, 1), green = Block(12, 12, 24, 2), blue = Block(12, 12, 24, 3);
    const bool ok = Save(dir + "/anim/step_1.vox", VoxFile(Join(red, Palette()))) &&
                    Save(dir + "/anim/step_2.vox", VoxFile(Join(green, Palette()))) &&
                    Save(dir + "/anim/step_10.vox", VoxFile(Join(blue, Palette()))) &&
                    Save(dir + "/anim.vox", VoxFile(Join(red, green, blue, Palette()))) &&
                    Save(dir + "/still.vox", VoxFile(Join(Block(10, 10, 40, 4), Palette()))) &&
                    Save(dir + "/empty.vox", VoxFile(Join(Size(4, 4, 4), Chunk("XYZI", Int32s({0})))));
    if (!ok) std::fprintf(stderr, "%s: cannot write the models\n", dir.c_str());
    return ok ? 0 : 1;
}
