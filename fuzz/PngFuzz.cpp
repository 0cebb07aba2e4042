// Feeds arbitrary bytes to the PNG decoder in both targets, three ways:
//  1. the bytes as they are (the chunk walk, CRCs, signature);
//  2. the same file with every chunk's CRC repaired, so that mutated headers,
//     PLTE, tRNS and IDAT reach the checks behind the CRC;
//  3. a file built from the bytes: a small header taken from the first bytes,
//     PLTE and tRNS from the next, and the rest deflated as the filtered rows,
//     so that filters, Adam7 and converters see arbitrary row data.
// Any image given must be fully addressable: its rows are read end to end, so
// ASan sees a short allocation as well as a stray write.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "png/Png.h"
#include "png/PngDecoder.h"

namespace {

uint32_t Word(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

uint32_t Touch(const uint8_t* bytes, size_t count) {
    uint32_t sum = 0;
    for (size_t i = 0; i < count; i += 61) sum += bytes[i];
    return count ? sum + bytes[count - 1] : sum;
}

void DecodeBoth(const uint8_t* data, size_t size) {
    volatile uint32_t sink = 0;
    if (Image image = PngDecodeMemory(data, size, 3)) {
        const uint8_t* pixels = static_cast<const uint8_t*>(image);
        const uint32_t width = Word(pixels - 12), height = Word(pixels - 16);
        sink = sink + Touch(pixels, size_t(width) * height * 4);
        PngFreeImage(image);
    }
    if (Image image = PngDecodeMemory(data, size, 2)) {
        const uint8_t* header = static_cast<const uint8_t*>(image);
        sink = sink + Touch(header, 32 + size_t(Word(header + 12)) * Word(header + 16));
        PngFreeImage(image);
    }
}

void PutBigEndian32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

// Rewrites the stored CRC of every chunk that fits in the file.
void RepairCrcs(std::vector<uint8_t>& file) {
    size_t at = 8;
    while (at + 12 <= file.size()) {
        const uint32_t length = PngReadBigEndian32(&file[at]);
        if (length > file.size() - at - 12) return;
        PutBigEndian32(&file[at + 8 + length], uint32_t(crc32(0, &file[at + 4], 4 + length)));
        at += size_t(length) + 12;
    }
}

void AppendChunk(std::vector<uint8_t>& file, const char* type, const uint8_t* data, size_t length) {
    const size_t at = file.size();
    file.resize(at + 12 + length);
    PutBigEndian32(&file[at], uint32_t(length));
    std::memcpy(&file[at + 4], type, 4);
    if (length) std::memcpy(&file[at + 8], data, length);
    PutBigEndian32(&file[at + 8 + length], uint32_t(crc32(0, &file[at + 4], uInt(4 + length))));
}

// Byte 0..3: width and height (1..64 each), byte 4: colour type and depth
// choice, byte 5: interlace, PLTE and tRNS switches and the tRNS length;
// then up to 48 palette bytes and the row data, repeated up to the size the
// header expects (plus or minus one byte when byte 5 says so).
void DecodeBuilt(const uint8_t* data, size_t size) {
    if (size < 8) return;
    static constexpr uint8_t kFormats[][2] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                                              {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};
    const uint32_t width = 1 + (data[0] | data[1] << 8) % 64;
    const uint32_t height = 1 + (data[2] | data[3] << 8) % 64;
    const uint8_t* format = kFormats[data[4] % 15];
    const uint8_t flags = data[5];
    const size_t trnsLength = data[6] % 8;
    data += 7;
    size -= 7;

    PngDecoder sizes;
    PngInitDecoder(sizes, nullptr, 0);
    sizes.width = width;
    sizes.height = height;
    sizes.colorType = format[0];
    sizes.bitDepth = format[1];
    sizes.interlaceMethod = flags & 1;
    size_t expected = size_t(PngExpectedSize(sizes));
    if (flags & 0x10) expected += (flags & 0x20) ? 1 : size_t(-1);

    uint8_t header[13];
    PutBigEndian32(header, width);
    PutBigEndian32(header + 4, height);
    header[8] = format[1];
    header[9] = format[0];
    header[10] = header[11] = 0;
    header[12] = flags & 1;
    std::vector<uint8_t> file(kPngSignature, kPngSignature + 8);
    AppendChunk(file, "IHDR", header, 13);
    const size_t paletteLength = size < 48 ? size - size % 3 : 48;
    if (flags & 2) AppendChunk(file, "PLTE", data, paletteLength);
    if (flags & 4) AppendChunk(file, "tRNS", data, trnsLength < size ? trnsLength : size);
    std::vector<uint8_t> rows(expected);
    for (size_t i = 0; i < expected; ++i) rows[i] = size ? data[i % size] : 0;
    uLongf packedSize = compressBound(uLong(rows.size()));
    std::vector<uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, rows.data(), uLong(rows.size()), 1) != Z_OK) return;
    // Split the data over two IDAT chunks when asked.
    const size_t split = (flags & 8) ? packedSize / 2 : packedSize;
    AppendChunk(file, "IDAT", packed.data(), split);
    if (split < packedSize) AppendChunk(file, "IDAT", packed.data() + split, packedSize - split);
    AppendChunk(file, "IEND", nullptr, 0);
    DecodeBoth(file.data(), file.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DecodeBoth(data, size);
    std::vector<uint8_t> repaired(data, data + size);
    RepairCrcs(repaired);
    if (size >= 8) DecodeBoth(repaired.data(), repaired.size());
    DecodeBuilt(data, size);
    return 0;
}
