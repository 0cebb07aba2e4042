// Chunk walk, header checks, inflation and the row loop of the PNG decoder.
#include "png/PngDecoder.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <limits>

#include "png/PixelConvert.h"
#include "png/PngFilter.h"

namespace {

// Adam7 passes: starting row, starting column, row step, column step.
struct Adam7Pass {
    uint32_t row, column, rowStep, columnStep;
};
constexpr Adam7Pass kAdam7[7] = {{0, 0, 8, 8}, {0, 4, 8, 8}, {4, 0, 8, 4}, {0, 2, 4, 4},
                                 {2, 0, 4, 2}, {0, 1, 2, 2}, {1, 0, 2, 1}};
constexpr Adam7Pass kWholeImage = {0, 0, 1, 1};

// Deflate cannot expand more than 1032:1 (a 258-byte match in two bits), so
// no valid file inflates beyond this; larger expectations are refused before
// anything is allocated for them.
constexpr uint64_t kMaxInflateRatio = 1032;
constexpr uint64_t kInflateSlack = 4096;

uint16_t ReadBigEndian16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }

uint32_t ReadType(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

const PngChunk* FindChunk(const PngDecoder& decoder, uint32_t type) {
    for (int32_t i = 0; i < decoder.chunkCount; ++i)
        if (decoder.chunks[i].type == type) return &decoder.chunks[i];
    return nullptr;
}

uint32_t PassWidth(const PngDecoder& decoder, const Adam7Pass& pass) {
    if (pass.column >= decoder.width) return 0;
    return uint32_t((uint64_t(decoder.width) + pass.columnStep - pass.column - 1) / pass.columnStep);
}

uint32_t PassRows(const PngDecoder& decoder, const Adam7Pass& pass) {
    if (pass.row >= decoder.height) return 0;
    return uint32_t((uint64_t(decoder.height) + pass.rowStep - pass.row - 1) / pass.rowStep);
}

// Appends one chunk at readPos after checking that it fits and that its CRC holds.
int ReadChunk(PngDecoder& decoder) {
    const size_t remaining = decoder.fileSize - decoder.readPos;
    if (remaining < 12) return 0;
    const uint8_t* at = decoder.fileData + decoder.readPos;
    const uint32_t length = PngReadBigEndian32(at);
    if (length > remaining - 12) return 0;  // the whole chunk must lie in the file
    PngChunk chunk;
    chunk.length = length;
    chunk.type = ReadType(at + 4);
    chunk.data = at + 8;
    chunk.crc = PngReadBigEndian32(at + 8 + length);
    uLong crc = crc32(0, at + 4, 4);
    crc = crc32_z(crc, chunk.data, length);
    if (crc != chunk.crc) return 0;
    if (decoder.chunkCount == decoder.chunkCapacity) {
        if (decoder.chunkCapacity > std::numeric_limits<int32_t>::max() / 2) return 0;
        const int32_t capacity = decoder.chunkCapacity ? decoder.chunkCapacity * 2 : 16;
        void* grown = std::realloc(decoder.chunks, size_t(capacity) * sizeof(PngChunk));
        if (!grown) return 0;
        decoder.chunks = static_cast<PngChunk*>(grown);
        decoder.chunkCapacity = capacity;
    }
    decoder.chunks[decoder.chunkCount++] = chunk;
    decoder.readPos += size_t(length) + 12;
    return 1;
}

int ValidHeader(const PngDecoder& decoder) {
    const int depth = decoder.bitDepth;
    int depthOk = 0;
    switch (decoder.colorType) {
        case 0: depthOk = depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16; break;
        case 3: depthOk = depth == 1 || depth == 2 || depth == 4 || depth == 8; break;
        case 2:
        case 4:
        case 6: depthOk = depth == 8 || depth == 16; break;
        default: break;
    }
    return depthOk && decoder.width != 0 && decoder.height != 0 && decoder.compressionMethod == 0 &&
           decoder.filterMethod == 0 && decoder.interlaceMethod <= 1;
}

int ReadPaletteAndTransparency(PngDecoder& decoder) {
    if (decoder.colorType == 3) {
        const PngChunk* plte = FindChunk(decoder, PngChunkType("PLTE"));
        if (!plte) return 0;
        const uint32_t count = plte->length / 3;
        if (count > 256) return 0;
        decoder.paletteCount = int32_t(count);
        std::memcpy(decoder.palette, plte->data, size_t(count) * 3);
    }
    const PngChunk* trns = FindChunk(decoder, PngChunkType("tRNS"));
    if (!trns) return 1;
    decoder.hasTransparency = -1;
    switch (decoder.colorType) {
        case 0:
            if (trns->length != 2) return 0;
            decoder.transparentGray = ReadBigEndian16(trns->data);
            return 1;
        case 2:
            if (trns->length != 6) return 0;
            decoder.transparentRed = ReadBigEndian16(trns->data);
            decoder.transparentGreen = ReadBigEndian16(trns->data + 2);
            decoder.transparentBlue = ReadBigEndian16(trns->data + 4);
            return 1;
        case 3:
            if (trns->length > 256) return 0;
            std::memset(decoder.paletteAlpha, 255, sizeof decoder.paletteAlpha);
            std::memcpy(decoder.paletteAlpha, trns->data, trns->length);
            return 1;
        default: return 0;  // grey + alpha and RGBA carry their own alpha
    }
}

// Joins the IDAT data and inflates it in one call into pixelData, which must
// then hold exactly the expected size.
int InflateImageData(PngDecoder& decoder) {
    const uint32_t idat = PngChunkType("IDAT");
    uint64_t total = 0;
    int32_t pieces = 0;
    const PngChunk* only = nullptr;
    for (int32_t i = 0; i < decoder.chunkCount; ++i) {
        if (decoder.chunks[i].type != idat) continue;
        total += decoder.chunks[i].length;  // bounded by the file size
        ++pieces;
        only = &decoder.chunks[i];
    }
    if (total == 0) return 0;

    const uint64_t expected = PngExpectedSize(decoder);
    if (expected == 0 || expected > total * kMaxInflateRatio + kInflateSlack) return 0;
    // The output buffer has 20 % and 12 bytes of room, so that data running
    // past the expected size is seen as such rather than cut off.
    const uint64_t capacity = (expected * 12 + 5) / 10 + 12;
    if (capacity > std::numeric_limits<uLong>::max() || capacity > SIZE_MAX) return 0;

    // One IDAT chunk inflates straight from the file. Several are joined:
    // in place, behind the first one's data, when the file bytes may be
    // overwritten (the chunks between are no longer needed), else in a copy.
    const uint8_t* source = only->data;
    uint8_t* joined = nullptr;
    if (pieces > 1) {
        uint8_t* target = nullptr;
        if (decoder.fileScratch) {
            for (int32_t i = 0; i < decoder.chunkCount && !target; ++i)
                if (decoder.chunks[i].type == idat)
                    target = decoder.fileScratch + (decoder.chunks[i].data - decoder.fileData);
        } else {
            target = joined = static_cast<uint8_t*>(std::malloc(size_t(total)));
            if (!joined) return 0;
            AdviseLargeBuffer(joined, size_t(total));
        }
        size_t at = 0;
        for (int32_t i = 0; i < decoder.chunkCount; ++i) {
            if (decoder.chunks[i].type != idat) continue;
            // Never moves data forward: each piece lies at or behind its place.
            std::memmove(target + at, decoder.chunks[i].data, decoder.chunks[i].length);
            at += decoder.chunks[i].length;
        }
        source = target;
    }
    decoder.pixelData = static_cast<uint8_t*>(std::malloc(size_t(capacity)));
    int ok = 0;
    if (decoder.pixelData) {
        AdviseLargeBuffer(decoder.pixelData, size_t(capacity));
        uLongf produced = uLongf(capacity);
        ok = uncompress(decoder.pixelData, &produced, source, uLong(total)) == Z_OK && produced == expected;
        if (ok) decoder.pixelDataSize = size_t(expected);
    }
    std::free(joined);
    return ok;
}

}  // namespace

int PngChannels(int colorType) {
    switch (colorType) {
        case 2: return 3;
        case 4: return 2;
        case 6: return 4;
        default: return 1;
    }
}

uint64_t PngRowBytes(const PngDecoder& decoder, uint32_t pixelsWide) {
    if (pixelsWide == 0) return 0;
    // At most 2^32 x 16 bits x 4 channels: no overflow in 64 bits.
    return (uint64_t(pixelsWide) * decoder.bitDepth + 7) / 8 * PngChannels(decoder.colorType) + 1;
}

uint64_t PngExpectedSize(const PngDecoder& decoder) {
    const Adam7Pass* passes = decoder.interlaceMethod ? kAdam7 : &kWholeImage;
    const int passCount = decoder.interlaceMethod ? 7 : 1;
    uint64_t total = 0;
    for (int p = 0; p < passCount; ++p) {
        uint64_t bytes = 0;
        const uint64_t row = PngRowBytes(decoder, PassWidth(decoder, passes[p]));
        if (__builtin_mul_overflow(row, uint64_t(PassRows(decoder, passes[p])), &bytes) ||
            __builtin_add_overflow(total, bytes, &total))
            return 0;
    }
    return total;
}

void PngInitDecoder(PngDecoder& decoder, const uint8_t* data, size_t size) {
    decoder = PngDecoder{};
    decoder.fileData = data;
    decoder.fileSize = size;
    decoder.canRead = -1;
}

int PngParse(PngDecoder& decoder) {
    if (!decoder.canRead || !decoder.fileData || decoder.fileSize < 8) return 1;
    if (std::memcmp(decoder.fileData, kPngSignature, 8) != 0) return 1;
    decoder.readPos = 8;
    while (decoder.readPos < decoder.fileSize)
        if (!ReadChunk(decoder)) return 1;
    // Nothing may follow IEND: the walk reads to the end of the file.
    if (decoder.chunkCount <= 2 || decoder.chunks[decoder.chunkCount - 1].type != PngChunkType("IEND")) return 1;

    const PngChunk& header = decoder.chunks[0];
    if (header.type != PngChunkType("IHDR") || header.length != 13) return 1;
    decoder.width = PngReadBigEndian32(header.data);
    decoder.height = PngReadBigEndian32(header.data + 4);
    decoder.bitDepth = header.data[8];
    decoder.colorType = header.data[9];
    decoder.compressionMethod = header.data[10];
    decoder.filterMethod = header.data[11];
    decoder.interlaceMethod = header.data[12];
    if (!ValidHeader(decoder)) return 1;
    decoder.bytesPerPixel = (decoder.bitDepth >= 8 ? decoder.bitDepth / 8 : 1) * PngChannels(decoder.colorType);

    // Checked before inflating: a bad PLTE or tRNS fails without the big work.
    if (!ReadPaletteAndTransparency(decoder)) return 1;
    if (!InflateImageData(decoder)) return 1;
    decoder.parsed = -1;
    return 0;
}

int PngDecode(PngDecoder& decoder, const ImageTarget& target, Image& image) {
    if (!decoder.parsed || !decoder.pixelData) return -1;
    int bitsPerPixel = 32;
    Image created = nullptr;
    if (target.create(created, decoder.width, decoder.height, bitsPerPixel, decoder.colorType, decoder.bitDepth) != 0 ||
        !created)
        return -1;
    const int layout = target.getLayout(created);
    PixelConverter convert = FindPixelConverter(decoder.colorType, layout);
    if (!convert || target.getBitsPerPixel(created) != 32 || target.getWidth(created) != decoder.width ||
        target.getHeight(created) != decoder.height) {
        target.destroy(created);
        return -1;
    }
    PreparePixelConverter(decoder, layout);

    // Filters are undone in place in the inflated data: each row is
    // reconstructed and converted straight into the image while it is in cache.
    const Adam7Pass* passes = decoder.interlaceMethod ? kAdam7 : &kWholeImage;
    const int passCount = decoder.interlaceMethod ? 7 : 1;
    const size_t bytesPerPixel = size_t(decoder.bytesPerPixel);
    size_t offset = 0;
    for (int p = 0; p < passCount; ++p) {
        const Adam7Pass& pass = passes[p];
        const uint32_t pixelsWide = PassWidth(decoder, pass);
        const uint32_t rows = PassRows(decoder, pass);
        if (pixelsWide == 0 || rows == 0) continue;
        const size_t rowBytes = size_t(PngRowBytes(decoder, pixelsWide));
        const size_t dataBytes = rowBytes - 1;
        // Units: pixels at 8 and 16 bits, bytes of packed samples below.
        const uint32_t lastUnit = uint32_t(dataBytes / bytesPerPixel - 1);
        const uint8_t* previous = nullptr;
        for (uint32_t k = 0; k < rows; ++k) {
            if (rowBytes > decoder.pixelDataSize - offset) goto fail;  // cannot happen: the inflated size was checked
            uint8_t* row = decoder.pixelData + offset;
            const int filterType = row[0];
            if (filterType > 4) goto fail;
            PngUnfilterRow(filterType, row + 1, previous, dataBytes, decoder.bytesPerPixel);
            const uint64_t y = pass.row + uint64_t(k) * pass.rowStep;
            uint8_t* destination = target.getRowAddress(created, int64_t(y));
            if (!destination) goto fail;
            convert(decoder, reinterpret_cast<uint32_t*>(destination), row + 1, pass.column, pass.columnStep, lastUnit);
            previous = row + 1;
            offset += rowBytes;
        }
    }
    image = created;
    return 0;

fail:
    target.destroy(created);
    return -1;
}

void PngReleaseDecoder(PngDecoder& decoder) {
    std::free(decoder.chunks);
    std::free(decoder.pixelData);
    decoder.chunks = nullptr;
    decoder.chunkCount = decoder.chunkCapacity = 0;
    decoder.pixelData = nullptr;
    decoder.pixelDataSize = 0;
}
