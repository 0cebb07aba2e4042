// Helpers for the PNG tests: libpng as the reference decoder and writer, and
// a byte-level builder for crafted (often broken) files.
#pragma once

#include <png.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "png/Png.h"

namespace pngtest {

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Pixels as R, G, B, A bytes, top row first.
struct RgbaImage {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgba;
};

struct MemoryReader {
    const uint8_t* data;
    size_t size, pos;
};

inline void ReadFromMemory(png_structp png, png_bytep out, png_size_t count) {
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (count > reader->size - reader->pos) png_error(png, "read past end");
    std::memcpy(out, reader->data + reader->pos, count);
    reader->pos += count;
}

inline void IgnoreWarning(png_structp, png_const_charp) {}

// libpng under the same rules as our decoder: palette, low-bit grey and tRNS
// expanded, 16-bit samples cut to their high byte, grey to RGB, opaque alpha
// added where there is none, no gamma. False when libpng refuses the file.
inline bool DecodeWithLibpng(const std::vector<uint8_t>& file, RgbaImage& image) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, IgnoreWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    MemoryReader reader{file.data(), file.size(), 0};
    std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &reader, ReadFromMemory);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xff, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    image.width = png_get_image_width(png, info);
    image.height = png_get_image_height(png, info);
    if (png_get_rowbytes(png, info) != size_t(image.width) * 4) png_error(png, "not RGBA8");
    image.rgba.assign(size_t(image.width) * image.height * 4, 0);
    rows.resize(image.height);
    for (uint32_t y = 0; y < image.height; ++y) rows[y] = image.rgba.data() + size_t(y) * image.width * 4;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

struct MemoryWriter {
    std::vector<uint8_t>* out;
};

inline void WriteToMemory(png_structp png, png_bytep data, png_size_t count) {
    auto* writer = static_cast<MemoryWriter*>(png_get_io_ptr(png));
    writer->out->insert(writer->out->end(), data, data + count);
}

inline void FlushNothing(png_structp) {}

// Writes rows (raw samples, big-endian at 16 bits, top row first) with libpng
// using the given filter mask (PNG_FILTER_NONE ... PNG_ALL_FILTERS).
inline std::vector<uint8_t> EncodeWithLibpng(uint32_t width, uint32_t height, int bitDepth,
                                             int colorType, int interlace, int filters,
                                             const std::vector<uint8_t>& samples,
                                             int compressionLevel = 6) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, IgnoreWarning);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    MemoryWriter writer{&out};
    png_set_write_fn(png, &writer, WriteToMemory, FlushNothing);
    png_set_IHDR(png, info, width, height, bitDepth, colorType,
                 interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        png_color palette[256];
        for (int i = 0; i < 256; ++i)
            palette[i] = {png_byte(i * 7), png_byte(255 - i), png_byte(i * 13 + 5)};
        png_set_PLTE(png, info, palette, 1 << bitDepth);
    }
    png_set_filter(png, PNG_FILTER_TYPE_BASE, filters);
    png_set_compression_level(png, compressionLevel);
    png_write_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    std::vector<png_bytep> rows(height);
    for (uint32_t y = 0; y < height; ++y)
        rows[y] = const_cast<png_bytep>(samples.data() + size_t(y) * rowBytes);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// Our image of either target as R, G, B, A bytes, top row first.
inline RgbaImage FromImage(Image image, int target, uint32_t width, uint32_t height) {
    RgbaImage out;
    out.width = width;
    out.height = height;
    out.rgba.resize(size_t(width) * height * 4);
    const uint8_t* base = static_cast<const uint8_t*>(image);
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* to = out.rgba.data() + size_t(y) * width * 4;
        if (target == 3) {
            std::memcpy(to, base + size_t(height - 1 - y) * width * 4, size_t(width) * 4);
        } else {
            uint32_t pitch;
            std::memcpy(&pitch, base + 16, 4);
            const uint8_t* from = base + 32 + size_t(y) * pitch;
            for (uint32_t x = 0; x < width; ++x) {
                to[x * 4 + 0] = from[x * 4 + 2];
                to[x * 4 + 1] = from[x * 4 + 1];
                to[x * 4 + 2] = from[x * 4 + 0];
                to[x * 4 + 3] = from[x * 4 + 3];
            }
        }
    }
    return out;
}

// Index of the first differing pixel, or -1.
inline long FirstDifference(const RgbaImage& a, const RgbaImage& b) {
    if (a.width != b.width || a.height != b.height) return 0;
    for (size_t i = 0; i < a.rgba.size(); i += 4)
        if (std::memcmp(&a.rgba[i], &b.rgba[i], 4) != 0) return long(i / 4);
    return -1;
}

// Byte-level PNG builder for crafted files.
inline void PutBigEndian32(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v >> 24));
    out.push_back(uint8_t(v >> 16));
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}

inline std::vector<uint8_t> Signature() { return {137, 80, 78, 71, 13, 10, 26, 10}; }

inline void AppendChunk(std::vector<uint8_t>& file, const char* type, const std::vector<uint8_t>& data) {
    PutBigEndian32(file, uint32_t(data.size()));
    const size_t typeAt = file.size();
    file.insert(file.end(), type, type + 4);
    file.insert(file.end(), data.begin(), data.end());
    PutBigEndian32(file, uint32_t(crc32(0, file.data() + typeAt, uInt(4 + data.size()))));
}

inline std::vector<uint8_t> Ihdr(uint32_t width, uint32_t height, int bitDepth, int colorType,
                                 int interlace = 0) {
    std::vector<uint8_t> data;
    PutBigEndian32(data, width);
    PutBigEndian32(data, height);
    data.push_back(uint8_t(bitDepth));
    data.push_back(uint8_t(colorType));
    data.push_back(0);
    data.push_back(0);
    data.push_back(uint8_t(interlace));
    return data;
}

inline std::vector<uint8_t> Deflate(const std::vector<uint8_t>& raw) {
    uLongf size = compressBound(uLong(raw.size()));
    std::vector<uint8_t> out(size);
    compress2(out.data(), &size, raw.data(), uLong(raw.size()), 9);
    out.resize(size);
    return out;
}

// A whole file: IHDR, the chunks in between (e.g. PLTE, tRNS), one IDAT
// holding raw (the filtered rows) deflated, IEND.
struct ExtraChunk {
    const char* type;
    std::vector<uint8_t> data;
};

inline std::vector<uint8_t> BuildPng(const std::vector<uint8_t>& ihdr, const std::vector<uint8_t>& raw,
                                     const std::vector<ExtraChunk>& extra = {}) {
    std::vector<uint8_t> file = Signature();
    AppendChunk(file, "IHDR", ihdr);
    for (const ExtraChunk& chunk : extra) AppendChunk(file, chunk.type, chunk.data);
    AppendChunk(file, "IDAT", Deflate(raw));
    AppendChunk(file, "IEND", {});
    return file;
}

}  // namespace pngtest
