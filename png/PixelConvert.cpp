// The pixel converters of colour types 0, 2, 3, 4, 6 in layouts 3 and 4.
// Each writes finished 32-bit pixels straight into the image row; the choice
// between transparent and opaque is a compare, not a branch.
#include "png/PixelConvert.h"

#include <cstring>

#if defined(__x86_64__)
#include <tmmintrin.h>
#endif

#include "png/ImageTarget.h"
#include "png/PngDecoder.h"
#include "png/PngFilter.h"

namespace {

constexpr uint32_t kOpaque = 0xff000000u;

template <int Layout>
constexpr uint32_t PackRgb(uint32_t r, uint32_t g, uint32_t b) {
    if constexpr (Layout == kLayoutRgba)
        return r | g << 8 | b << 16;
    else
        return b | g << 8 | r << 16;
}

constexpr uint32_t Grey(uint32_t g) { return g * 0x010101u; }

inline uint32_t Load16(const uint8_t* p) { return uint32_t(p[0]) << 8 | p[1]; }

// Pixels the row may write: units 0..lastUnit, but no column at or beyond
// the width.
uint32_t ColumnsLeft(const PngDecoder& decoder, uint32_t firstColumn, uint32_t columnStep) {
    if (firstColumn >= decoder.width || columnStep == 0) return 0;
    return uint32_t((uint64_t(decoder.width) - firstColumn + columnStep - 1) / columnStep);
}

uint32_t PixelCount(const PngDecoder& decoder, uint32_t firstColumn, uint32_t columnStep, uint32_t lastUnit) {
    const uint32_t left = ColumnsLeft(decoder, firstColumn, columnStep);
    return lastUnit < left ? lastUnit + 1 : left;
}

// Writes pixel(i) for i < count at columns first, first + step, ...; the
// common step of 1 gets its own loop so that it can be vectorised.
template <class PixelFn>
inline void WritePixels(uint32_t* destination, uint32_t first, uint32_t step, uint32_t count, PixelFn pixel) {
    if (step == 1) {
        uint32_t* out = destination + first;
        for (uint32_t i = 0; i < count; ++i) out[i] = pixel(i);
    } else {
        for (uint32_t i = 0; i < count; ++i) destination[first + size_t(i) * step] = pixel(i);
    }
}

// Grey up to 8 bits and palette images: samples through colorTable.
template <int Depth>
void ConvertIndexed(const PngDecoder& decoder, uint32_t* destination, const uint8_t* source, uint32_t firstColumn,
                    uint32_t columnStep, uint32_t lastUnit) {
    constexpr uint32_t kPerByte = 8 / Depth;
    constexpr uint32_t kMask = (1u << Depth) - 1;
    const uint32_t* table = decoder.colorTable;
    const uint64_t samples = (uint64_t(lastUnit) + 1) * kPerByte;
    const uint32_t left = ColumnsLeft(decoder, firstColumn, columnStep);
    const uint32_t count = samples < left ? uint32_t(samples) : left;
    if constexpr (Depth == 8) {
        WritePixels(destination, firstColumn, columnStep, count, [&](uint32_t i) { return table[source[i]]; });
    } else if (columnStep == 1) {
        // Whole bytes at once: their pixels side by side in byteTable.
        uint32_t* out = destination + firstColumn;
        const uint32_t wholeBytes = count / kPerByte;
        for (uint32_t b = 0; b < wholeBytes; ++b)
            std::memcpy(out + size_t(b) * kPerByte, decoder.byteTable[source[b]], kPerByte * 4);
        const uint32_t rest = count % kPerByte;
        if (rest) std::memcpy(out + size_t(wholeBytes) * kPerByte, decoder.byteTable[source[wholeBytes]], rest * 4);
    } else {
        WritePixels(destination, firstColumn, columnStep, count, [&](uint32_t i) {
            const uint32_t shift = (kPerByte - 1 - i % kPerByte) * Depth;
            return table[(source[i / kPerByte] >> shift) & kMask];
        });
    }
}

// Palette images, and grey up to 8 bits: colorTable already holds the
// finished pixels in the image's layout.
void ConvertThroughTable(const PngDecoder& decoder, uint32_t* destination, const uint8_t* source, uint32_t firstColumn,
                         uint32_t columnStep, uint32_t lastUnit) {
    switch (decoder.bitDepth) {
        case 1: ConvertIndexed<1>(decoder, destination, source, firstColumn, columnStep, lastUnit); return;
        case 2: ConvertIndexed<2>(decoder, destination, source, firstColumn, columnStep, lastUnit); return;
        case 4: ConvertIndexed<4>(decoder, destination, source, firstColumn, columnStep, lastUnit); return;
        default: ConvertIndexed<8>(decoder, destination, source, firstColumn, columnStep, lastUnit); return;
    }
}

template <int Layout>
void ConvertGrey(const PngDecoder& decoder, uint32_t* destination, const uint8_t* source, uint32_t firstColumn,
                 uint32_t columnStep, uint32_t lastUnit) {
    if (decoder.bitDepth <= 8) {
        ConvertThroughTable(decoder, destination, source, firstColumn, columnStep, lastUnit);
        return;
    }
    // 16 bits: the whole sample is compared with the key; a key is never 0x10000.
    const uint32_t key = decoder.hasTransparency ? decoder.transparentGray : 0x10000u;
    const uint32_t count = PixelCount(decoder, firstColumn, columnStep, lastUnit);
    WritePixels(destination, firstColumn, columnStep, count, [&](uint32_t i) {
        const uint8_t* p = source + size_t(i) * 2;
        return Grey(p[0]) | (Load16(p) == key ? 0 : kOpaque);
    });
}

#if defined(__x86_64__)
// 8-bit RGB rows, four pixels per step: one byte shuffle spreads 12 bytes
// into four 32-bit pixels, one compare finds the key colour. SSSE3, chosen
// at run time (PngSimd); returns the pixels done, the caller finishes the row.
template <int Layout>
__attribute__((target("ssse3"))) uint32_t RgbRowSsse3(uint32_t* out, const uint8_t* source, uint32_t count,
                                                      uint32_t step, uint32_t key) {
    const __m128i spread = Layout == kLayoutRgba ? _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1)
                                                 : _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1);
    const __m128i keys = _mm_set1_epi32(int(key));
    const __m128i opaque = _mm_set1_epi32(int(kOpaque));
    uint32_t i = 0;
    // A 16-byte load at pixel i reads 4 bytes past the 4 pixels it uses.
    for (; i + 6 <= count; i += 4) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + size_t(i) * 3));
        const __m128i rgb = _mm_shuffle_epi8(bytes, spread);
        const __m128i pixels = _mm_or_si128(rgb, _mm_andnot_si128(_mm_cmpeq_epi32(rgb, keys), opaque));
        if (step == 1) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), pixels);
        } else {
            // An Adam7 pass: the four pixels lie step columns apart.
            uint32_t* at = out + size_t(i) * step;
            at[0] = uint32_t(_mm_cvtsi128_si32(pixels));
            at[step] = uint32_t(_mm_cvtsi128_si32(_mm_srli_si128(pixels, 4)));
            at[2 * step] = uint32_t(_mm_cvtsi128_si32(_mm_srli_si128(pixels, 8)));
            at[3 * step] = uint32_t(_mm_cvtsi128_si32(_mm_srli_si128(pixels, 12)));
        }
    }
    return i;
}
#endif

template <int Layout>
void ConvertRgb(const PngDecoder& decoder, uint32_t* destination, const uint8_t* source, uint32_t firstColumn,
                uint32_t columnStep, uint32_t lastUnit) {
    const uint32_t count = PixelCount(decoder, firstColumn, columnStep, lastUnit);
    if (decoder.bitDepth == 16) {
        // Keys are compared on all 48 bits; without tRNS the key lies above them.
        const uint64_t key = decoder.hasTransparency
                                 ? uint64_t(decoder.transparentRed) << 32 | uint64_t(decoder.transparentGreen) << 16 |
                                       decoder.transparentBlue
                                 : ~uint64_t(0);
        WritePixels(destination, firstColumn, columnStep, count, [&](uint32_t i) {
            const uint8_t* p = source + size_t(i) * 6;
            const uint64_t sample = uint64_t(Load16(p)) << 32 | uint64_t(Load16(p + 2)) << 16 | Load16(p + 4);
            return PackRgb<Layout>(p[0], p[2], p[4]) | (sample == key ? 0 : kOpaque);
        });
        return;
    }
    // 8 bits: a key above 255 can never match; 0xffffffff is no 24-bit colour.
    uint32_t key = 0xffffffffu;
    if (decoder.hasTransparency && decoder.transparentRed < 256 && decoder.transparentGreen < 256 &&
        decoder.transparentBlue < 256)
        key = PackRgb<Layout>(decoder.transparentRed, decoder.transparentGreen, decoder.transparentBlue);
#if defined(__x86_64__)
    if (PngSimd() >= kPngSimdSsse3) {
        uint32_t* out = destination + firstColumn;
        const uint32_t done = RgbRowSsse3<Layout>(out, source, count, columnStep, key);
        for (uint32_t i = done; i < count; ++i) {
            const uint8_t* p = source + size_t(i) * 3;
            const uint32_t rgb = PackRgb<Layout>(p[0], p[1], p[2]);
            out[size_t(i) * columnStep] = rgb | (rgb == key ? 0 : kOpaque);
        }
        return;
    }
#endif
    WritePixels(destination, firstColumn, columnStep, count, [&](uint32_t i) {
        const uint8_t* p = source + size_t(i) * 3;
        const uint32_t rgb = PackRgb<Layout>(p[0], p[1], p[2]);
        return rgb | (rgb == key ? 0 : kOpaque);
    });
}

template <int Layout>
void ConvertGreyAlpha(const PngDecoder& decoder, uint32_t* destination, const uint8_t* source, uint32_t firstColumn,
                      uint32_t columnStep, uint32_t lastUnit) {
    const uint32_t count = PixelCount(decoder, firstColumn, columnStep, lastUnit);
    if (decoder.bitDepth == 16) {
        WritePixels(destination, firstColumn, columnStep, count, [&](uint32_t i) {
            const uint8_t* p = source + size_t(i) * 4;
            return Grey(p[0]) | uint32_t(p[2]) << 24;
        });
        return;
    }
    WritePixels(destination, firstColumn, columnStep, count, [&](uint32_t i) {
        const uint8_t* p = source + size_t(i) * 2;
        return Grey(p[0]) | uint32_t(p[1]) << 24;
    });
}

template <int Layout>
void ConvertRgba(const PngDecoder& decoder, uint32_t* destination, const uint8_t* source, uint32_t firstColumn,
                 uint32_t columnStep, uint32_t lastUnit) {
    const uint32_t count = PixelCount(decoder, firstColumn, columnStep, lastUnit);
    if (decoder.bitDepth == 16) {
        WritePixels(destination, firstColumn, columnStep, count, [&](uint32_t i) {
            const uint8_t* p = source + size_t(i) * 8;
            return PackRgb<Layout>(p[0], p[2], p[4]) | uint32_t(p[6]) << 24;
        });
        return;
    }
    if (Layout == kLayoutRgba && columnStep == 1) {
        // The row already is the image row.
        std::memcpy(destination + firstColumn, source, size_t(count) * 4);
        return;
    }
    WritePixels(destination, firstColumn, columnStep, count, [&](uint32_t i) {
        uint32_t v;
        std::memcpy(&v, source + size_t(i) * 4, 4);
        if constexpr (Layout == kLayoutRgba)
            return v;
        else
            return (v & 0xff00ff00u) | (v >> 16 & 0xffu) | (v & 0xffu) << 16;
    });
}

// Rows: colour types 0..6; columns: layouts 3 and 4.
constexpr PixelConverter kConverters[7][2] = {
    {ConvertGrey<kLayoutBgra>, ConvertGrey<kLayoutRgba>},
    {nullptr, nullptr},
    {ConvertRgb<kLayoutBgra>, ConvertRgb<kLayoutRgba>},
    {ConvertThroughTable, ConvertThroughTable},
    {ConvertGreyAlpha<kLayoutBgra>, ConvertGreyAlpha<kLayoutRgba>},
    {nullptr, nullptr},
    {ConvertRgba<kLayoutBgra>, ConvertRgba<kLayoutRgba>},
};

}  // namespace

PixelConverter FindPixelConverter(int colorType, int layout) {
    if (colorType < 0 || colorType > 6) return nullptr;
    if (layout != kLayoutBgra && layout != kLayoutRgba) return nullptr;
    return kConverters[colorType][layout == kLayoutRgba ? 1 : 0];
}

// The pixels of each packed byte value, most significant sample first.
static void FillByteTable(PngDecoder& decoder) {
    const int depth = decoder.bitDepth, perByte = 8 / depth;
    const uint32_t mask = (1u << depth) - 1;
    for (int value = 0; value < 256; ++value)
        for (int j = 0; j < perByte; ++j)
            decoder.byteTable[value][j] = decoder.colorTable[(value >> ((perByte - 1 - j) * depth)) & mask];
}

void PreparePixelConverter(PngDecoder& decoder, int layout) {
    if (decoder.colorType == 0 && decoder.bitDepth <= 8) {
        const uint32_t values = 1u << decoder.bitDepth;
        const uint32_t scale = 255 / (values - 1);
        for (uint32_t v = 0; v < values; ++v) {
            const int transparent = decoder.hasTransparency && v == decoder.transparentGray;
            decoder.colorTable[v] = Grey((v * scale) & 0xff) | (transparent ? 0 : kOpaque);
        }
    } else if (decoder.colorType == 3) {
        for (int i = 0; i < 256; ++i) {
            const uint8_t* rgb = decoder.palette[i];
            const uint32_t color = i < decoder.paletteCount
                                       ? (layout == kLayoutRgba ? PackRgb<kLayoutRgba>(rgb[0], rgb[1], rgb[2])
                                                                : PackRgb<kLayoutBgra>(rgb[0], rgb[1], rgb[2]))
                                       : 0;
            const uint32_t alpha = decoder.hasTransparency ? decoder.paletteAlpha[i] : 255;
            decoder.colorTable[i] = color | alpha << 24;
        }
    }
    if ((decoder.colorType == 0 || decoder.colorType == 3) && decoder.bitDepth < 8) FillByteTable(decoder);
}
