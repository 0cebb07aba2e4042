// The two image targets and the aligned allocation behind every Image.
#include "png/ImageTarget.h"

#include <cstdlib>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

constexpr size_t kPrefixBytes = 35;  // slack for the prefix and the alignment
constexpr size_t kHeaderBytes = 32;  // eight 32-bit words of a target-2 image

uint32_t ReadWord(const void* at) {
    uint32_t value;
    std::memcpy(&value, at, 4);
    return value;
}

void WriteWord(void* at, uint32_t value) { std::memcpy(at, &value, 4); }

// Target 3: width x height RGBA pixels, bottom row first. The prefix holds,
// from the pixels outward: the block address, the width, the height.
uint32_t GlWidth(Image image) { return image ? ReadWord(static_cast<uint8_t*>(image) - 12) : 0; }

uint32_t GlHeight(Image image) { return image ? ReadWord(static_cast<uint8_t*>(image) - 16) : 0; }

int GlCreate(Image& slot, uint32_t width, uint32_t height, int& bitsPerPixel, int, int) {
    if (slot) return 0;
    bitsPerPixel = 32;
    size_t pixels = 0, bytes = 0;
    if (__builtin_mul_overflow(size_t(width), size_t(height), &pixels) ||
        __builtin_mul_overflow(pixels, size_t(4), &bytes))
        return -1;
    // Not zero-filled: a successful decode writes every pixel, and a failed
    // one never hands the image out.
    void* image = AllocateAlignedImage(bytes, 0);
    if (!image) return -1;
    WriteWord(static_cast<uint8_t*>(image) - 12, width);
    WriteWord(static_cast<uint8_t*>(image) - 16, height);
    slot = image;
    return 0;
}

void DestroyImage(Image image) { FreeAlignedImage(image); }

int GlBitsPerPixel(Image image) { return image ? 32 : 0; }

int GlLayout(Image image) { return image ? kLayoutRgba : -1; }

uint8_t* GlRowAddress(Image image, int64_t y) {
    const uint32_t height = GlHeight(image);
    if (!image || y < 0 || y >= int64_t(height)) return nullptr;
    // OpenGL takes the first row in memory as the bottom one.
    return static_cast<uint8_t*>(image) + size_t(height - 1 - uint64_t(y)) * GlWidth(image) * 4;
}

// Target 2: the eight-word header, then rows of pitch bytes, top row first.
uint32_t HeaderWord(Image image, int word) { return image ? ReadWord(static_cast<uint8_t*>(image) + word * 4) : 0; }

int HeaderCreate(Image& slot, uint32_t width, uint32_t height, int& bitsPerPixel, int, int) {
    if (slot) return 0;
    const uint32_t bytesPerPixel = uint32_t(bitsPerPixel) / 8;
    if (bitsPerPixel <= 0 || bytesPerPixel == 0) return -1;
    // Rows are padded to 32 bytes so that every row start is 32-byte aligned
    // relative to the header.
    uint64_t pitch = 0, rows = 0, bytes = 0;
    if (__builtin_mul_overflow(uint64_t(width), uint64_t(bytesPerPixel), &pitch)) return -1;
    pitch = (pitch + 31) & ~uint64_t(31);
    if (pitch > UINT32_MAX || __builtin_mul_overflow(pitch, uint64_t(height), &rows) ||
        __builtin_add_overflow(rows, uint64_t(kHeaderBytes), &bytes) || bytes > SIZE_MAX)
        return -1;
    void* image = AllocateAlignedImage(size_t(bytes), 1);  // row padding stays 0
    if (!image) return -1;
    const uint32_t header[8] = {7, bytesPerPixel, width, height, uint32_t(pitch), 0, 0, 0};
    std::memcpy(image, header, sizeof header);
    slot = image;
    return 0;
}

int HeaderBitsPerPixel(Image image) { return int(HeaderWord(image, 1) * 8); }

int HeaderLayout(Image image) { return image && HeaderWord(image, 1) == 4 ? kLayoutBgra : -1; }

uint8_t* HeaderRowAddress(Image image, int64_t y) {
    if (!image || y < 0 || y >= int64_t(HeaderWord(image, 3))) return nullptr;
    return static_cast<uint8_t*>(image) + kHeaderBytes + size_t(y) * HeaderWord(image, 4);
}

uint32_t HeaderWidth(Image image) { return HeaderWord(image, 2); }
uint32_t HeaderHeight(Image image) { return HeaderWord(image, 3); }

constexpr ImageTarget kGlTarget = {GlCreate, DestroyImage, GlWidth, GlHeight, GlBitsPerPixel, GlLayout, GlRowAddress};
constexpr ImageTarget kHeaderTarget = {HeaderCreate,       DestroyImage, HeaderWidth,     HeaderHeight,
                                       HeaderBitsPerPixel, HeaderLayout, HeaderRowAddress};

}  // namespace

const ImageTarget* FindImageTarget(int target) {
    // Target 1 (a two-word header later addressed as if it had eight) is
    // refused: nothing in the system asks for it.
    if (target == 3) return &kGlTarget;
    if (target == 2) return &kHeaderTarget;
    return nullptr;
}

void* AllocateAlignedImage(size_t n, int zeroFill) {
    if (n == 0 || n > SIZE_MAX - kPrefixBytes) return nullptr;
    uint8_t* block = static_cast<uint8_t*>(zeroFill ? std::calloc(1, n + kPrefixBytes) : std::malloc(n + kPrefixBytes));
    if (!block) return nullptr;
    // block + 35 rounded down to 16 leaves 20 to 35 bytes in front.
    uint8_t* image = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(block) + kPrefixBytes) & ~uintptr_t(15));
    if (!zeroFill) {
        std::memset(block, 0, size_t(image - block));
        AdviseLargeBuffer(image, n);
    }
    std::memcpy(image - sizeof(void*), &block, sizeof(void*));
    return image;
}

void AdviseLargeBuffer(void* data, size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr uintptr_t kHugePage = uintptr_t(2) << 20;
    if (size < 2 * kHugePage) return;
    const uintptr_t start = (reinterpret_cast<uintptr_t>(data) + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) & ~(kHugePage - 1);
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
}

void FreeAlignedImage(void* image) {
    if (!image) return;
    void* block;
    std::memcpy(&block, static_cast<uint8_t*>(image) - sizeof(void*), sizeof(void*));
    std::free(block);
}
