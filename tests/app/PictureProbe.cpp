// Pixel probes on PNG pictures for the end-to-end tests, decoded with the
// project's own PNG reader.
//   picture_probe FILE          size, counts of colour classes, corner pixel
//   picture_probe FILE OTHER Y0 Y1  pixels that differ between two pictures
//                                   of one size in rows Y0..Y1-1 from the top
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "png/ImageTarget.h"
#include "png/Png.h"

namespace {

struct Picture {
    Image image = nullptr;
    uint32_t width = 0, height = 0;
    const ImageTarget* target = nullptr;
    // Pixel (x, y), y from the top row, as R, G, B, A.
    const uint8_t* At(uint32_t x, uint32_t y) const { return target->getRowAddress(image, y) + 4 * x; }
};

bool Load(const char* path, Picture& p) {
    p.target = FindImageTarget(3);
    p.image = PngLoadFile(path, 3);
    if (!p.image) {
        std::fprintf(stderr, "%s: not a PNG picture\n", path);
        return false;
    }
    p.width = p.target->getWidth(p.image);
    p.height = p.target->getHeight(p.image);
    return true;
}

// A channel that clearly outweighs the other two (lit faces keep their hue).
// The walk's sky (0, 0, 64) and the lit grass stay below 100 in every channel.
bool Dominant(int main, int a, int b) { return main > 100 && main > a + 40 && main > b + 40; }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 5) {
        std::fprintf(stderr, "usage: %s FILE [OTHER FIRST_ROW END_ROW]\n", argv[0]);
        return 2;
    }
    Picture a;
    if (!Load(argv[1], a)) return 1;
    if (argc == 5) {
        Picture b;
        if (!Load(argv[2], b)) return 1;
        if (a.width != b.width || a.height != b.height) {
            std::printf("differ size\n");
            return 0;
        }
        long differing = 0;
        const uint32_t end = std::min(a.height, static_cast<uint32_t>(std::atoi(argv[4])));
        for (uint32_t y = static_cast<uint32_t>(std::atoi(argv[3])); y < end; ++y) {
            for (uint32_t x = 0; x < a.width; ++x) differing += std::memcmp(a.At(x, y), b.At(x, y), 3) != 0;
        }
        std::printf("differ %ld\n", differing);
        PngFreeImage(a.image);
        PngFreeImage(b.image);
        return 0;
    }
    long red = 0, green = 0, blue = 0, yellow = 0, transparent = 0, opaque = 0;
    for (uint32_t y = 0; y < a.height; ++y) {
        for (uint32_t x = 0; x < a.width; ++x) {
            const uint8_t* p = a.At(x, y);
            red += Dominant(p[0], p[1], p[2]);
            green += Dominant(p[1], p[0], p[2]);
            blue += Dominant(p[2], p[0], p[1]);
            yellow += p[0] > 100 && p[1] > 100 && p[0] > p[2] + 60 && p[1] > p[2] + 60;
            transparent += p[3] == 0;
            opaque += p[3] == 255;
        }
    }
    const uint8_t* corner = a.At(0, 0);
    std::printf("size %ux%u\nred %ld\ngreen %ld\nblue %ld\nyellow %ld\ntransparent %ld\nopaque %ld\n"
                "corner %u %u %u %u\n",
                a.width, a.height, red, green, blue, yellow, transparent, opaque, corner[0],
                corner[1], corner[2], corner[3]);
    PngFreeImage(a.image);
    return 0;
}
