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

// No valid PNG is this short: signature, IHDR, one IDAT and IEND take more.
constexpr size_t kMinimumFileSize = 49;

}  // namespace

// Decodes a file held in memory. When ownedFile is given (the same bytes as
// data, allocated by the caller), the parse may rearrange it and it is freed
// as soon as the parse is done, before the image is allocated.
static Image Decode(const uint8_t* data, size_t length, int target, uint8_t* ownedFile) {
    const ImageTarget* imageTarget = FindImageTarget(target);
    Image image = nullptr;
    if (data && length >= kMinimumFileSize && imageTarget) {
        PngDecoder decoder;
        PngInitDecoder(decoder, data, length);
        decoder.fileScratch = ownedFile;
        const int parsed = PngParse(decoder) == 0;
        if (ownedFile) {
            std::free(ownedFile);
            ownedFile = nullptr;
            decoder.fileData = decoder.fileScratch = nullptr;
            decoder.chunkCount = 0;  // their data went with the file
        }
        if (parsed) PngDecode(decoder, *imageTarget, image);
        PngReleaseDecoder(decoder);
    }
    std::free(ownedFile);
    return image;
}

Image PngDecodeMemory(const uint8_t* data, size_t length, int target) { return Decode(data, length, target, nullptr); }

void PngReadSize(const char* path, uint32_t& width, uint32_t& height) {
    width = 0;
    height = 0;
    if (!path) return;
    FILE* file = std::fopen(path, "rb");
    if (!file) return;
    uint8_t head[24];
    if (std::fread(head, 1, sizeof head, file) == sizeof head && std::memcmp(head, kPngSignature, 8) == 0) {
        width = PngReadBigEndian32(head + 16);
        height = PngReadBigEndian32(head + 20);
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
    if (size > 0 && std::fseek(file, 0, SEEK_SET) == 0) data = static_cast<uint8_t*>(std::malloc(size_t(size)));
    if (data) AdviseLargeBuffer(data, size_t(size));
    const int complete = data && std::fread(data, 1, size_t(size), file) == size_t(size);
    std::fclose(file);
    if (!complete) {
        std::free(data);
        return nullptr;
    }
    return Decode(data, size_t(size), target, data);  // frees data
}

void PngFreeImage(Image image) { FreeAlignedImage(image); }
