// Helpers for the PNG tests: libpng as the reference decoder, a
// byte-level builder for crafted files, and our images read back as RGBA.
#pragma once

#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "png/Png.h"

namespace pngtest {

using Bytes = std::vector<uint8_t>;

struct Rgba {
    uint32_t width = 0, height = 0;
    Bytes pixels;
};  // R, G, B, A bytes, top row first

// libpng under our decoder's rules: palette, low-bit grey and tRNS expanded,
// 16-bit samples cut to their high byte, grey to RGB, opaque alpha where
// there is none, no gamma. False when libpng refuses the file.
inline bool DecodeWithLibpng(const Bytes& file, Rgba& image) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    FILE* stream = fmemopen(const_cast<uint8_t*>(file.data()), file.size(), "rb");
    volatile bool read = false;
    if (!setjmp(png_jmpbuf(png))) {
        png_init_io(png, stream);
        png_set_add_alpha(png, 0xff, PNG_FILLER_AFTER);
        png_read_png(png, info, PNG_TRANSFORM_EXPAND | PNG_TRANSFORM_STRIP_16 | PNG_TRANSFORM_GRAY_TO_RGB, nullptr);
        image = {png_get_image_width(png, info), png_get_image_height(png, info), {}};
        const png_bytepp rows = png_get_rows(png, info);
        for (uint32_t y = 0; y < image.height; ++y)
            image.pixels.insert(image.pixels.end(), rows[y], rows[y] + image.width * 4);
        read = true;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(stream);
    return read;
}

// "" when image (which it frees) holds expected's pixels, read through the
// layout of its target, else the first difference.
inline std::string Differs(Image image, int target, const Rgba& expected) {
    if (!image) return "no image in target " + std::to_string(target);
    const bool gl = target == 3;  // else B, G, R, A behind eight words, top row first
    const uint32_t width = expected.width, pitch = gl ? width * 4 : static_cast<const uint32_t*>(image)[4];
    std::string fault;
    for (uint32_t i = 0; i < width * expected.height && fault.empty(); ++i) {
        const uint32_t x = i % width, y = i / width, row = gl ? expected.height - 1 - y : y;
        const uint8_t* p = static_cast<const uint8_t*>(image) + (gl ? 0 : 32) + size_t(row) * pitch + x * 4;
        const uint8_t rgba[4] = {p[gl ? 0 : 2], p[1], p[gl ? 2 : 0], p[3]};
        if (std::memcmp(rgba, &expected.pixels[size_t(i) * 4], 4) != 0)
            fault = "target " + std::to_string(target) + ": pixel " + std::to_string(x) + ", " + std::to_string(y);
    }
    PngFreeImage(image);
    return fault;
}

// Decodes file in both targets (and the file at path, if given, in target 3)
// and compares with libpng's decode of reference (the same file unless
// libpng would refuse it).
inline std::string CompareWithLibpng(const Bytes& file, const Bytes& reference, const char* path = nullptr) {
    Rgba expected;
    if (!DecodeWithLibpng(reference, expected)) return "libpng refuses the file";
    std::string fault = path ? Differs(PngLoadFile(path, 3), 3, expected) : "";
    for (int target : {2, 3}) fault += Differs(PngDecodeMemory(file.data(), file.size(), target), target, expected);
    return fault;
}

// ---- crafted files ----

inline void Put32(Bytes& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
}

struct Chunk {
    const char* type;
    Bytes data;
};

// The signature, then each chunk with its length and CRC.
inline Bytes Chunks(const std::vector<Chunk>& chunks) {
    Bytes file = {137, 80, 78, 71, 13, 10, 26, 10};
    for (const auto& [type, data] : chunks) {
        Put32(file, uint32_t(data.size()));
        file.insert(file.end(), type, type + 4);
        file.insert(file.end(), data.begin(), data.end());
        Put32(file, uint32_t(crc32(0, &file[file.size() - data.size() - 4], uInt(4 + data.size()))));
    }
    return file;
}

inline Bytes Ihdr(uint32_t w, uint32_t h, int depth, int colorType, int interlace = 0) {
    return {uint8_t(w >> 24),
            uint8_t(w >> 16),
            uint8_t(w >> 8),
            uint8_t(w),
            uint8_t(h >> 24),
            uint8_t(h >> 16),
            uint8_t(h >> 8),
            uint8_t(h),
            uint8_t(depth),
            uint8_t(colorType),
            0,
            0,
            uint8_t(interlace)};
}

inline Bytes Deflate(const Bytes& raw) {
    uLongf size = compressBound(uLong(raw.size()));
    Bytes out(size);
    compress2(out.data(), &size, raw.data(), uLong(raw.size()), 9);
    return Bytes(out.begin(), out.begin() + long(size));
}

// IHDR, the extra chunks (PLTE, tRNS, ...), one IDAT of raw (filtered rows)
// deflated, IEND.
inline Bytes BuildPng(const Bytes& ihdr, const Bytes& raw, std::vector<Chunk> extra = {}) {
    extra.insert(extra.begin(), {"IHDR", ihdr});
    extra.insert(extra.end(), {{"IDAT", Deflate(raw)}, {"IEND", {}}});
    return Chunks(extra);
}

}  // namespace pngtest
