// What the end-to-end test needs besides the viewer:
//   e2e_helper extensions   GL_EXTENSIONS of a fresh context, one name a line with the space that ended it
//   e2e_helper close ID     asks window ID to close, as a window manager does
//   e2e_helper models DIR   writes the test's models into DIR, whose folder anim/ exists:
//     anim/step_1.vox, step_2.VOX, step_10.vox  a red, a green and a blue block: frames 1, 2, 3 in natural order
//     anim.vox      the same three blocks as the models of one file, no scene graph
//     still.vox     one yellow tower
//     empty.vox     a block of colour 0, which is not drawn
//     keyed.vox     the red block keyframed 40 cells along x over frames 0 to 4
//     raw.vox       a Poly2Vox file: a 300-cell-long bar (wider than an editor model) of two colours
//     sides.vox     the red block with its +z side green (viewer axes) up to 4 cells below the top
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/Window.h"
#include "support/CloseRequest.h"
#include "voxel/VoxWrite.h"

using namespace voxwrite;

// SIZE and XYZI of a solid block of sx x sy x sz (z up) in one palette entry.
Bytes Block(int sx, int sy, int sz, uint8_t colour) {
    Bytes cells = Int32s({sx * sy * sz});
    for (int i = 0; i < sx * sy * sz; ++i)
        cells.insert(cells.end(), {uint8_t(i / (sy * sz)), uint8_t(i / sz % sy), uint8_t(i % sz), colour});
    return Join(Size(sx, sy, sz), Chunk("XYZI", cells));
}

// The red block with its editor y = 0 side (the viewer's +z) green below z = 20.
Bytes Sides() {
    Bytes cells = Int32s({12 * 12 * 24});
    for (int i = 0; i < 12 * 12 * 24; ++i) {
        const int x = i / (12 * 24), y = i / 24 % 12, z = i % 24;
        cells.insert(cells.end(), {uint8_t(x), uint8_t(y), uint8_t(z), uint8_t(y == 0 && z < 20 ? 2 : 1)});
    }
    return Join(Size(12, 12, 24), Chunk("XYZI", cells));
}

// Poly2Vox: X, Y, Z, the cells (z fastest), 256 RGB entries of 6 bits.
Bytes Raw() {
    Bytes file = Int32s({300, 2, 2});
    for (int i = 0; i < 300 * 2 * 2; ++i) file.push_back(uint8_t(i / 4 < 150 ? 1 : 2));
    for (int k = 0; k < 256; ++k) file.insert(file.end(), {uint8_t(k % 64), uint8_t(63 - k % 64), 32});
    return file;
}

int WriteModels(const std::string& dir) {
    // Palette entry 1 red, 2 green, 3 blue, 4 yellow (bytes R, G, B, A); the rest are not used.
    Bytes palette = Int32s({int32_t(0xff1e1edc), int32_t(0xff1ec81e), int32_t(0xffe62828), int32_t(0xff14dce6)});
    palette.resize(1024, 128);
    const auto vox = [&](const Bytes& models) { return VoxFile(Join(models, Chunk("RGBA", palette))); };
    const Bytes red = Block(12, 12, 24, 1), green = Block(12, 12, 24, 2), blue = Block(12, 12, 24, 3);
    const std::pair<const char*, Bytes> files[] = {
        {"/anim/step_1.vox", vox(red)},
        {"/anim/step_2.VOX", vox(green)},
        {"/anim/step_10.vox", vox(blue)},
        {"/anim.vox", vox(Join(red, green, blue))},
        {"/still.vox", vox(Block(10, 10, 40, 4))},
        {"/empty.vox", vox(Block(4, 4, 4, 0))},
        {"/sides.vox", vox(Sides())},
        {"/raw.vox", Raw()},
        {"/keyed.vox",
         VoxFile(Join(red, Chunk("RGBA", palette),
                      Trn(0, {}, 1, -1, {Dict({{"_t", "0 0 0"}}), Dict({{"_f", "4"}, {"_t", "40 0 0"}})}), Shp(1, 0)),
                 200)}};
    bool ok = true;
    for (const auto& [name, bytes] : files)
        ok = ok && std::ofstream(dir + name, std::ios::binary)
                       .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()))
                       .good();
    return ok ? 0 : 1;
}

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "models") == 0) return WriteModels(argv[2]);
    if (argc == 2 && std::strcmp(argv[1], "extensions") == 0) {
        SetWindowAttribute(WindowAttribute::Visible, 0);
        if (OpenWindow(64, 64, 32, 1, kWindowOpenGL, 0) == 0) return 1;
        const char* list = GetGLExtensionString();
        for (const char* c = list; *c != '\0'; ++c) std::printf("%c%s", *c, *c == ' ' ? "\n" : "");
        if (*list == '\0' || list[std::strlen(list) - 1] != ' ') std::putchar('\n');
        return 0;
    }
    Display* display = argc == 3 && std::strcmp(argv[1], "close") == 0 ? XOpenDisplay(nullptr) : nullptr;
    if (display == nullptr) return 2;
    SendCloseRequest(display, std::strtoul(argv[2], nullptr, 0));
    XCloseDisplay(display);  // flushes the request
    return 0;
}
