// PNG row filters undone in place. Up is a plain loop the compiler
// vectorises. Sub, Average and Paeth depend on the byte one pixel to the
// left, so they run serially along the row; the x86-64 path does every byte
// of one pixel at once in SSE2 registers (Sub whole 16-byte blocks), which
// also keeps the left pixel in a register instead of reloading it.
#include "png/PngFilter.h"

#include <cstdlib>
#include <cstring>

#if defined(__SSE2__) && defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace {

// Scalar reconstruction for any pixel size: for the pixels the vector code
// leaves, and where SSE2 is missing or turned off.
void SubScalar(uint8_t* row, size_t start, size_t length, size_t bpp) {
    for (size_t i = start < bpp ? bpp : start; i < length; ++i) row[i] = uint8_t(row[i] + row[i - bpp]);
}

void UpScalar(uint8_t* row, const uint8_t* previous, size_t length) {
    for (size_t i = 0; i < length; ++i) row[i] = uint8_t(row[i] + previous[i]);
}

// Average of a pass's first row: up is 0, so the predictor is left / 2.
void AverageFirstRow(uint8_t* row, size_t length, size_t bpp) {
    for (size_t i = bpp; i < length; ++i) row[i] = uint8_t(row[i] + (row[i - bpp] >> 1));
}

void AverageScalar(uint8_t* row, const uint8_t* previous, size_t start, size_t length, size_t bpp) {
    size_t i = start;
    for (; i < bpp && i < length; ++i) row[i] = uint8_t(row[i] + (previous[i] >> 1));
    for (; i < length; ++i) row[i] = uint8_t(row[i] + ((row[i - bpp] + previous[i]) >> 1));
}

void PaethScalar(uint8_t* row, const uint8_t* previous, size_t start, size_t length, size_t bpp) {
    size_t i = start;
    // With nothing on the left, the predictor is always up.
    for (; i < bpp && i < length; ++i) row[i] = uint8_t(row[i] + previous[i]);
    for (; i < length; ++i) row[i] = uint8_t(row[i] + PngPaethPredictor(row[i - bpp], previous[i], previous[i - bpp]));
}

#if defined(__SSE2__) && defined(__x86_64__)

// Pixels go in and out of the low bytes of a register. Pixels of up to 4
// bytes are read as 4 bytes and a 6-byte one as 8: the extra bytes are read
// but never written, and the caller keeps them readable.
template <int Bpp>
inline __m128i LoadPixel(const uint8_t* p) {
    if constexpr (Bpp <= 4) {
        int32_t v;
        std::memcpy(&v, p, 4);
        return _mm_cvtsi32_si128(v);
    } else {
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    }
}

template <int Bpp>
inline void StorePixel(uint8_t* p, __m128i v) {
    if constexpr (Bpp <= 4) {
        const int32_t x = _mm_cvtsi128_si32(v);
        std::memcpy(p, &x, Bpp);
    } else if constexpr (Bpp == 8) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
    } else {
        const int64_t x = _mm_cvtsi128_si64(v);
        std::memcpy(p, &x, Bpp);
    }
}

// Sub as a prefix sum over the pixels of 16-byte blocks: log2 steps of
// shifted adds, plus the last pixel of the previous block. Bytes of a block
// beyond its whole pixels are written back unchanged; the next block, which
// starts on them, is loaded before that store so that the load does not wait
// for it.
template <int Bpp>
void SubSse2(uint8_t* row, size_t length) {
    constexpr int kPixels = 16 / Bpp;
    constexpr int kUsed = kPixels * Bpp;
    const __m128i keepMask = _mm_srli_si128(_mm_set1_epi8(-1), 16 - kUsed);  // bytes < kUsed
    const __m128i lastMask = _mm_srli_si128(_mm_set1_epi8(-1), 16 - Bpp);    // bytes < Bpp
    __m128i carry = _mm_setzero_si128();
    size_t i = 0;
    if (length >= 16) {
        __m128i raw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
        for (;;) {
            __m128i x = _mm_add_epi8(raw, carry);
            x = _mm_add_epi8(x, _mm_slli_si128(x, Bpp));
            if constexpr (2 * Bpp < kUsed) x = _mm_add_epi8(x, _mm_slli_si128(x, 2 * Bpp));
            if constexpr (4 * Bpp < kUsed) x = _mm_add_epi8(x, _mm_slli_si128(x, 4 * Bpp));
            if constexpr (8 * Bpp < kUsed) x = _mm_add_epi8(x, _mm_slli_si128(x, 8 * Bpp));
            if constexpr (kUsed < 16) x = _mm_or_si128(_mm_and_si128(x, keepMask), _mm_andnot_si128(keepMask, raw));
            const size_t next = i + kUsed;
            const int more = next + 16 <= length;
            if (more) raw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + next));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + i), x);
            carry = _mm_and_si128(_mm_srli_si128(x, kUsed - Bpp), lastMask);
            i = next;
            if (!more) break;
        }
    }
    // The last pixels, one at a time, carrying on from the block sums.
    SubScalar(row, i, length, Bpp);
}

// Average per pixel: floor((left + up) / 2) is the rounded-up byte average
// minus the carry bit the rounding added.
template <int Bpp>
void AverageSse2(uint8_t* row, const uint8_t* previous, size_t length) {
    const __m128i one = _mm_set1_epi8(1);
    __m128i left = _mm_setzero_si128();
    size_t i = 0;
    for (; i + Bpp <= length; i += Bpp) {
        const __m128i up = LoadPixel<Bpp>(previous + i);
        const __m128i roundUp = _mm_and_si128(_mm_xor_si128(left, up), one);
        const __m128i average = _mm_sub_epi8(_mm_avg_epu8(left, up), roundUp);
        left = _mm_add_epi8(LoadPixel<Bpp>(row + i), average);
        StorePixel<Bpp>(row + i, left);
    }
    AverageScalar(row, previous, i, length, Bpp);
}

// Paeth per pixel in 16-bit lanes. With b = up, c = upper left and
// d = b - c, the choice depends on left (a) only through three compares:
//   a is taken unless lo < a < hi, where lo, hi = min, max of b and c - 2d;
//   else up is taken when a lies on b's side of c - d / 2, else upper left.
// Everything but those compares is worked out from the previous row before
// a is known, which leaves six operations between one pixel and the next.
template <int Bpp>
void PaethSse2(uint8_t* row, const uint8_t* previous, size_t length) {
    const __m128i zero = _mm_setzero_si128();
    __m128i left = zero, upperLeft = zero;
    size_t i = 0;
    for (; i + Bpp <= length; i += Bpp) {
        const __m128i up = _mm_unpacklo_epi8(LoadPixel<Bpp>(previous + i), zero);
        const __m128i raw = _mm_unpacklo_epi8(LoadPixel<Bpp>(row + i), zero);
        const __m128i d = _mm_sub_epi16(up, upperLeft);
        const __m128i upXorUpperLeft = _mm_xor_si128(up, upperLeft);
        const __m128i rising = _mm_cmpgt_epi16(d, _mm_set1_epi16(-1));      // d >= 0
        const __m128i far = _mm_sub_epi16(upperLeft, _mm_add_epi16(d, d));  // c - 2d
        const __m128i lo = _mm_min_epi16(up, far), hi = _mm_max_epi16(up, far);
        // Split point between up's and upper left's side: c + |d| / 2 when
        // d < 0, c - |d| / 2 - 1 (the complement) when d >= 0; a above it is
        // on the side of "above" (up when d >= 0, else upper left).
        const __m128i halfD = _mm_srli_epi16(_mm_max_epi16(d, _mm_sub_epi16(zero, d)), 1);
        const __m128i split = _mm_add_epi16(upperLeft, _mm_xor_si128(halfD, rising));
        const __m128i above = _mm_xor_si128(upperLeft, _mm_and_si128(upXorUpperLeft, rising));
        const __m128i below = _mm_xor_si128(upXorUpperLeft, above);
        // The part that waits for left.
        const __m128i notLeft = _mm_and_si128(_mm_cmpgt_epi16(left, lo), _mm_cmpgt_epi16(hi, left));
        const __m128i upOrUpperLeft = _mm_xor_si128(below, _mm_and_si128(upXorUpperLeft, _mm_cmpgt_epi16(left, split)));
        const __m128i predictor = _mm_or_si128(_mm_and_si128(notLeft, upOrUpperLeft), _mm_andnot_si128(notLeft, left));
        // Both are below 256, so a byte-wise add wraps each lane modulo 256
        // and leaves its high byte 0.
        left = _mm_add_epi8(raw, predictor);
        StorePixel<Bpp>(row + i, _mm_packus_epi16(left, left));
        upperLeft = up;
    }
    PaethScalar(row, previous, i, length, Bpp);
}

template <int Bpp>
void UnfilterSse2(int filterType, uint8_t* row, const uint8_t* previous, size_t length) {
    switch (filterType) {
        case 1: SubSse2<Bpp>(row, length); break;
        case 3: AverageSse2<Bpp>(row, previous, length); break;
        case 4: PaethSse2<Bpp>(row, previous, length); break;
        default: break;
    }
}

#endif

}  // namespace

void PngUnfilterRow(int filterType, uint8_t* row, const uint8_t* previous, size_t length, int bytesPerPixel) {
    const size_t bpp = size_t(bytesPerPixel);
    if (!previous) {
        // In a pass's first row up and upper left are 0: Up leaves the row as
        // it is and Paeth always predicts left, like Sub.
        if (filterType == 2) return;
        if (filterType == 4) filterType = 1;
        if (filterType == 3) {
            AverageFirstRow(row, length, bpp);
            return;
        }
    }
    if (filterType == 0) return;
    if (filterType == 2) {
        UpScalar(row, previous, length);
        return;
    }
#if defined(__SSE2__) && defined(__x86_64__)
    if (PngSimd() >= kPngSimdSse2) {
        switch (bytesPerPixel) {
            case 1: UnfilterSse2<1>(filterType, row, previous, length); return;
            case 2: UnfilterSse2<2>(filterType, row, previous, length); return;
            case 3: UnfilterSse2<3>(filterType, row, previous, length); return;
            case 4: UnfilterSse2<4>(filterType, row, previous, length); return;
            case 6: UnfilterSse2<6>(filterType, row, previous, length); return;
            case 8: UnfilterSse2<8>(filterType, row, previous, length); return;
            default: break;
        }
    }
#endif
    switch (filterType) {
        case 1: SubScalar(row, 0, length, bpp); break;
        case 3: AverageScalar(row, previous, 0, length, bpp); break;
        case 4: PaethScalar(row, previous, 0, length, bpp); break;
        default: break;
    }
}

// The CPU's best level, lowered to the one VOXWALK_PNG_SIMD names.
static int ChooseSimd() {
    int best = kPngSimdScalar;
#if defined(__SSE2__) && defined(__x86_64__)
    best = __builtin_cpu_supports("ssse3") ? kPngSimdSsse3 : kPngSimdSse2;
#endif
    const char* asked = std::getenv("VOXWALK_PNG_SIMD");
    int level = best;
    if (asked && std::strcmp(asked, "scalar") == 0) level = kPngSimdScalar;
    if (asked && std::strcmp(asked, "sse2") == 0) level = kPngSimdSse2;
    return level < best ? level : best;
}

int PngSimd() {
    // A decode asks once per row; the environment is read on the first.
    static const int level = ChooseSimd();
    return level;
}
