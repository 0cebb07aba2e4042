// The public entry points: decode from memory, read a file's size, load a
// file, free an image.
#include "png/Png.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>

#include "png/ImageTarget.h"
#include "png/PngDecoder.h"

namespace {

constexpr uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

// No valid PNG is this short: signature, IHDR, one IDAT and IEND take more.
constexpr size_t kMinimumFileSize = 49;

uint32_t ReadBigEndian32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

}  // namespace

Image PngDecodeMemory(const uint8_t* data, size_t length, int target) {
    if (!data || length < kMinimumFileSize) return nullptr;
    const ImageTarget* imageTarget = FindImageTarget(target);
    if (!imageTarget) return nullptr;
    PngDecoder decoder;
    PngInitDecoder(decoder, data, length);
    Image image = nullptr;
    if (PngParse(decoder) == 0) PngDecode(decoder, *imageTarget, image);
    PngReleaseDecoder(decoder);
    return image;
}

void PngReadSize(const char* path, uint32_t& width, uint32_t& height) {
    width = 0;
    height = 0;
    if (!path) return;
    FILE* file = std::fopen(path, "rb");
    if (!file) return;
    uint8_t head[24];
    if (std::fread(head, 1, sizeof head, file) == sizeof head &&
        std::memcmp(head, kSignature, 8) == 0) {
        width = ReadBigEndian32(head + 16);
        height = ReadBigEndian32(head + 20);
    }
    std::fclose(file);
}

Image PngLoadFile(const char* path, int target) {
    if (!path || !FindImageTarget(target)) return nullptr;
    FILE* file = std::fopen(path, "rb");
    if (!file) return nullptr;
    // A folder opens too, and seeking to its end gives a nonsense size.
    struct stat info;
    long size = -1;
    if (fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode) && std::fseek(file, 0, SEEK_END) == 0)
        size = std::ftell(file);
    uint8_t* data = nullptr;
    if (size > 0 && std::fseek(file, 0, SEEK_SET) == 0)
        data = static_cast<uint8_t*>(std::malloc(size_t(size)));
    const int complete = data && std::fread(data, 1, size_t(size), file) == size_t(size);
    std::fclose(file);
    Image image = complete ? PngDecodeMemory(data, size_t(size), target) : nullptr;
    std::free(data);
    return image;
}

void PngFreeImage(Image image) { FreeAlignedImage(image); }
