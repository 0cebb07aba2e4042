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

const ImageTarget* const kTarget = FindImageTarget(3);

Image Load(const char* path) {
    Image image = PngLoadFile(path, 3);
    if (!image) std::fprintf(stderr, "%s: not a PNG picture\n", path);
    return image;
}

// Pixel (x, y), y from the top row, as R, G, B, A.
const uint8_t* At(Image image, uint32_t x, uint32_t y) { return kTarget->getRowAddress(image, y) + 4 * x; }

// A channel that clearly outweighs the other two (lit faces keep their hue).
// The walk's sky (0, 0, 64) and the lit grass stay below 100 in every channel.
bool Dominant(int main, int a, int b) { return main > 100 && main > a + 40 && main > b + 40; }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 5) {
        std::fprintf(stderr, "usage: %s FILE [OTHER FIRST_ROW END_ROW]\n", argv[0]);
        return 2;
    }
    const Image a = Load(argv[1]), b = argc == 5 ? Load(argv[2]) : nullptr;
    if (!a || (argc == 5 && !b)) return 1;
    const uint32_t width = kTarget->getWidth(a), height = kTarget->getHeight(a);
    if (b && (width != kTarget->getWidth(b) || height != kTarget->getHeight(b))) {
        std::printf("differ size\n");
    } else if (b) {
        long differing = 0;
        const uint32_t end = std::min(height, static_cast<uint32_t>(std::atoi(argv[4])));
        for (uint32_t y = static_cast<uint32_t>(std::atoi(argv[3])); y < end; ++y)
            for (uint32_t x = 0; x < width; ++x) differing += std::memcmp(At(a, x, y), At(b, x, y), 3) != 0;
        std::printf("differ %ld\n", differing);
    } else {
        long red = 0, green = 0, blue = 0, yellow = 0, transparent = 0, opaque = 0;
        for (uint32_t y = 0; y < height; ++y) {
            for (uint32_t x = 0; x < width; ++x) {
                const uint8_t* p = At(a, x, y);
                red += Dominant(p[0], p[1], p[2]), green += Dominant(p[1], p[0], p[2]);
                blue += Dominant(p[2], p[0], p[1]), transparent += p[3] == 0, opaque += p[3] == 255;
                yellow += p[0] > 100 && p[1] > 100 && p[0] > p[2] + 60 && p[1] > p[2] + 60;
            }
        }
        const uint8_t* c = At(a, 0, 0);
        std::printf("size %ux%u\nred %ld\ngreen %ld\nblue %ld\nyellow %ld\ntransparent %ld\nopaque %ld\n"
                    "corner %u %u %u %u\n", width, height, red, green, blue, yellow, transparent, opaque,
                    c[0], c[1], c[2], c[3]);
    }
    PngFreeImage(a);
    if (b) PngFreeImage(b);
    return 0;
}
