// Image targets: how the decoder creates and addresses its output image.
// Internal to the PNG subsystem; callers see only png/Png.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "png/Png.h"

// Pixel layouts of a 32-bit pixel, as bytes in memory.
enum PixelLayout : int {
    kLayoutBgra = 3,  // B, G, R, A (header image)
    kLayoutRgba = 4,  // R, G, B, A (OpenGL)
};

// The operations of one target. Results: 0 success, -1 failure, as noted.
struct ImageTarget {
    // Allocates the image into slot unless the slot already holds one (then 0,
    // nothing allocated). bitsPerPixel is the request in, the result out.
    int (*create)(Image& slot, uint32_t width, uint32_t height, int& bitsPerPixel, int colorType, int bitDepth);
    void (*destroy)(Image image);         // nullptr: nothing
    uint32_t (*getWidth)(Image image);    // 0 for nullptr
    uint32_t (*getHeight)(Image image);   // 0 for nullptr
    int (*getBitsPerPixel)(Image image);  // 0 for nullptr
    int (*getLayout)(Image image);        // PixelLayout, -1 for nullptr
    // Address of image row y, counted from the PNG's top row; nullptr
    // unless 0 <= y < height.
    uint8_t* (*getRowAddress)(Image image, int64_t y);
};

// The target for a target number (2 or 3); nullptr for any other.
const ImageTarget* FindImageTarget(int target);

// Aligned allocation behind every Image: n bytes at a 16-byte aligned address
// with at least 20 bytes of zeroed prefix in front of it, whose last 8 bytes
// hold the block's own address. The n bytes are zero-filled when zeroFill is
// set; a target whose every byte gets written skips that. nullptr when n is 0
// or too large.
void* AllocateAlignedImage(size_t n, int zeroFill);
// Asks the system to back a large buffer with huge pages where it can: a
// decode writes tens of megabytes once, and faulting them in 4 KiB at a time
// costs more than the writing. A no-op for small buffers and elsewhere.
void AdviseLargeBuffer(void* data, size_t size);

// Releases an AllocateAlignedImage block through its stored address.
void FreeAlignedImage(void* image);
