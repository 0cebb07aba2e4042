// The PNG decoder's working record and its two steps, parse and decode.
// Internal to the PNG subsystem; callers use png/Png.h.
//
// Usage: PngInitDecoder over the file bytes, PngParse, PngDecode into a
// target, PngReleaseDecoder in every case. The record lives for one decode.
#pragma once

#include <cstddef>
#include <cstdint>

#include "png/ImageTarget.h"
#include "png/Png.h"

// The eight bytes every PNG file starts with.
constexpr uint8_t kPngSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

// A 32-bit big-endian field of the file.
inline uint32_t PngReadBigEndian32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// One chunk of the file. The data stays in the file buffer.
struct PngChunk {
    uint32_t length = 0;            // bytes of data
    uint32_t type = 0;              // the 4 type bytes, first byte lowest (see PngChunkType)
    const uint8_t* data = nullptr;  // start of the data inside the file buffer
    uint32_t crc = 0;               // stored CRC
};

// The 32-bit value a chunk type such as "IDAT" is compared as.
constexpr uint32_t PngChunkType(const char (&name)[5]) {
    return uint32_t(uint8_t(name[0])) | uint32_t(uint8_t(name[1])) << 8 | uint32_t(uint8_t(name[2])) << 16 |
           uint32_t(uint8_t(name[3])) << 24;
}

// Working record of one decode. Sizes are size_t so that no size derived
// from the file can wrap.
struct PngDecoder {
    uint32_t width = 0, height = 0;  // from IHDR
    uint8_t bitDepth = 0, colorType = 0, compressionMethod = 0, filterMethod = 0, interlaceMethod = 0;
    uint8_t palette[256][3] = {};    // R, G, B from PLTE; missing entries stay 0
    int32_t paletteCount = 0;        // entries in PLTE
    uint8_t* pixelData = nullptr;    // owned: joined IDAT data, then the inflated rows
    size_t pixelDataSize = 0;        // valid bytes in pixelData
    int32_t hasTransparency = 0;     // -1 once a tRNS chunk was found
    uint8_t paletteAlpha[256] = {};  // alpha per palette index, from tRNS
    uint16_t transparentGray = 0;    // tRNS key of a grey image
    uint16_t transparentRed = 0, transparentGreen = 0, transparentBlue = 0;  // RGB key
    const uint8_t* fileData = nullptr;                                       // borrowed: the whole file
    size_t fileSize = 0;
    uint8_t* fileScratch = nullptr;  // the same bytes when the caller lets the parse
                                     // overwrite them (it joins IDAT data in place)
    size_t readPos = 0;              // offset of the next chunk during the walk
    int32_t bytesPerPixel = 0;       // bytes per pixel, at least 1 (the filter distance)
    PngChunk* chunks = nullptr;      // owned: every chunk in file order
    int32_t chunkCount = 0;
    int32_t chunkCapacity = 0;
    int32_t canRead = 0;              // -1 after set-up; the chunk walk needs it
    int32_t parsed = 0;               // -1 after a successful parse; decode needs it
    uint32_t colorTable[256] = {};    // finished pixel per grey sample or palette index
    uint32_t byteTable[256][8] = {};  // below 8 bits: the finished pixels of each byte value
};

// Channels per pixel of a colour type: 3 for RGB, 2 grey + alpha, 4 RGBA, else 1.
int PngChannels(int colorType);

// Filtered bytes of one row of a pass pixelsWide pixels wide, filter-type
// byte included; 0 when the pass is empty.
uint64_t PngRowBytes(const PngDecoder& decoder, uint32_t pixelsWide);

// Size of all filtered rows, every Adam7 pass counted; 0 on overflow.
uint64_t PngExpectedSize(const PngDecoder& decoder);

// Zeroes the record and points it at the file bytes.
void PngInitDecoder(PngDecoder& decoder, const uint8_t* data, size_t size);

// Walks and checks the chunks, validates the header, PLTE and tRNS, and
// inflates the image data. 0 on success, 1 on failure.
int PngParse(PngDecoder& decoder);

// Creates the image through the target in image and fills it row by row.
// 0 on success; -1 on failure, with image destroyed and reset to nullptr.
int PngDecode(PngDecoder& decoder, const ImageTarget& target, Image& image);

// Frees the chunk list and pixelData; the file bytes stay the caller's.
void PngReleaseDecoder(PngDecoder& decoder);
