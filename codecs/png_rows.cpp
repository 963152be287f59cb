#include "codecs/png_rows.h"

#include "codecs/cPNGparser.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>
#include <type_traits>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <emmintrin.h>
#include <immintrin.h>
#include <smmintrin.h>
#include <tmmintrin.h>
#endif

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define CORVALE_PNG_X86 1
#endif

namespace corvale {
namespace {

#if defined(CORVALE_PNG_X86)
bool ProcessorHas(RowCode code) {
    static const bool sse2 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("sse2") != 0;
    }();
    static const bool ssse3 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("ssse3") != 0;
    }();
    static const bool sse41 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("sse4.1") != 0;
    }();
    // The processor's and the system's (saved register state) support both.
    static const bool avx2 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    switch (code) {
    case RowCode::kSse2:
        return sse2;
    case RowCode::kSsse3:
        return sse2 && ssse3;
    case RowCode::kSse41:
        return sse2 && ssse3 && sse41;
    case RowCode::kAvx2:
        return sse2 && ssse3 && sse41 && avx2;
    default:
        return true;
    }
}
#else
bool ProcessorHas(RowCode code) {
    return code == RowCode::kPlain;
}
#endif

} // namespace

RowCode ChooseRowCode(PngRowPath path) {
    // The paths in order; each asks for the one it names or the best below it.
    constexpr RowCode kOrder[] = {RowCode::kAvx2, RowCode::kSse41, RowCode::kSsse3, RowCode::kSse2};
    std::size_t from = 0;
    if (path == PngRowPath::Plain) return RowCode::kPlain;
    if (path == PngRowPath::Sse41) from = 1;
    if (path == PngRowPath::Ssse3) from = 2;
    if (path == PngRowPath::Sse2) from = 3;
    for (std::size_t i = from; i < std::size(kOrder); ++i)
        if (ProcessorHas(kOrder[i])) return kOrder[i];
    return RowCode::kPlain;
}

bool PngRowPathAvailable(PngRowPath path) {
    switch (path) {
    case PngRowPath::Sse2:
        return ProcessorHas(RowCode::kSse2);
    case PngRowPath::Ssse3:
        return ProcessorHas(RowCode::kSsse3);
    case PngRowPath::Sse41:
        return ProcessorHas(RowCode::kSse41);
    case PngRowPath::Avx2:
        return ProcessorHas(RowCode::kAvx2);
    default:
        return true;
    }
}

namespace {

inline std::uint8_t Paeth(int a, int b, int c) {
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    if (pa <= pb && pa <= pc) return static_cast<std::uint8_t>(a);
    if (pb <= pc) return static_cast<std::uint8_t>(b);
    return static_cast<std::uint8_t>(c);
}

// Unfilters n bytes from src into dst with any filter distance, one byte at a time.
void UnfilterPlain(std::uint8_t filter, const std::uint8_t* src, const std::uint8_t* prev,
                   std::uint8_t* dst, std::size_t n, std::size_t bpp) {
    const std::size_t head = bpp < n ? bpp : n;
    switch (filter) {
    case 1:
        std::memcpy(dst, src, head);
        for (std::size_t i = bpp; i < n; ++i)
            dst[i] = static_cast<std::uint8_t>(src[i] + dst[i - bpp]);
        return;
    case 2:
        for (std::size_t i = 0; i < n; ++i) dst[i] = static_cast<std::uint8_t>(src[i] + prev[i]);
        return;
    case 3:
        for (std::size_t i = 0; i < head; ++i)
            dst[i] = static_cast<std::uint8_t>(src[i] + (prev[i] >> 1));
        for (std::size_t i = bpp; i < n; ++i)
            dst[i] = static_cast<std::uint8_t>(src[i] + ((dst[i - bpp] + prev[i]) >> 1));
        return;
    case 4:
        // Left of the row the predictor is the byte above.
        for (std::size_t i = 0; i < head; ++i) dst[i] = static_cast<std::uint8_t>(src[i] + prev[i]);
        for (std::size_t i = bpp; i < n; ++i)
            dst[i] =
                static_cast<std::uint8_t>(src[i] + Paeth(dst[i - bpp], prev[i], prev[i - bpp]));
        return;
    default: // none, or an unknown type taken as none
        std::memcpy(dst, src, n);
        return;
    }
}

#if defined(CORVALE_PNG_X86)
// Pixels of 1, 2, 3, 4, 6 or 8 bytes, one pixel at a time in the low lanes of a register (the
// lanes are independent, so the chain from one pixel to the next is as short for one byte as for
// four). Pixels of up to 3 bytes are read and written as 4 bytes, and 6-byte ones as 8; the
// bytes past the pixel are the next pixel's and are written again with it (or fall in the slack
// after the row).

// One pixel into the low lanes: 4 bytes for pixels of up to 4 bytes, 8 for 6 or 8.
template <std::size_t kBpp>
[[gnu::target("sse2"), gnu::always_inline]] inline __m128i LoadPixel(const std::uint8_t* p) {
    if constexpr (kBpp <= 4) {
        std::int32_t v;
        std::memcpy(&v, p, 4);
        return _mm_cvtsi32_si128(v);
    } else {
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    }
}

template <std::size_t kBpp>
[[gnu::target("sse2"), gnu::always_inline]] inline void StorePixel(std::uint8_t* p, __m128i v) {
    if constexpr (kBpp <= 4) {
        const std::int32_t x = _mm_cvtsi128_si32(v);
        std::memcpy(p, &x, 4);
    } else {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
    }
}

// Sub: x = r + left.
template <std::size_t kBpp>
[[gnu::target("sse2")]] void UnfilterSubSse2(const std::uint8_t* src, std::uint8_t* dst,
                                             std::size_t n) {
    __m128i a = _mm_setzero_si128();
    for (std::size_t i = 0; i < n; i += kBpp) {
        a = _mm_add_epi8(a, LoadPixel<kBpp>(src + i));
        StorePixel<kBpp>(dst + i, a);
    }
}

// Average: x = r + (left + above) / 2 rounded down. Kept in complemented form, ~x = avg(~left,
// ~above) - r, because the processor's byte average rounds up: the chain from one pixel to the
// next is then two instructions.
template <std::size_t kBpp>
[[gnu::target("sse2")]] void UnfilterAverageSse2(const std::uint8_t* src, const std::uint8_t* prev,
                                                 std::uint8_t* dst, std::size_t n) {
    const __m128i ones = _mm_set1_epi8(-1);
    __m128i notX = ones; // ~0: no pixel to the left
    for (std::size_t i = 0; i < n; i += kBpp) {
        const __m128i notB = _mm_xor_si128(LoadPixel<kBpp>(prev + i), ones);
        notX = _mm_sub_epi8(_mm_avg_epu8(notX, notB), LoadPixel<kBpp>(src + i));
        StorePixel<kBpp>(dst + i, _mm_xor_si128(notX, ones));
    }
}

// Paeth in 16-bit lanes, in the form of PaethFast: with a known, the choice is two compares and
// two selects. The sum is taken in bytes (the high bytes of both lanes are zero), so the chain
// from one pixel to the next is seven short instructions with SSE2 selects (and, andnot, or) and
// five with SSE4.1's blend. SELECT(mask, ifSet, ifClear) is the select.
[[gnu::target("sse2"), gnu::always_inline]] inline __m128i SelectSse2(__m128i mask, __m128i ifSet,
                                                                      __m128i ifClear) {
    return _mm_or_si128(_mm_and_si128(mask, ifSet), _mm_andnot_si128(mask, ifClear));
}

[[gnu::target("sse4.1"), gnu::always_inline]] inline __m128i
SelectSse41(__m128i mask, __m128i ifSet, __m128i ifClear) {
    return _mm_blendv_epi8(ifClear, ifSet, mask);
}

// One pixel: the left (A), above (B) and upper-left (C) pixels and the filtered one (R) in
// 16-bit lanes give the unfiltered pixel in 16-bit lanes.
#define CORVALE_PAETH_STEP(A, B, C, R, SELECT)                                                     \
    __extension__({                                                                                \
        const __m128i pa_ = (A), pb_ = (B), pc_ = (C), pr_ = (R);                                  \
        const __m128i threeCMinusB_ =                                                              \
            _mm_sub_epi16(_mm_add_epi16(pc_, _mm_add_epi16(pc_, pc_)), pb_);                       \
        const __m128i lo_ = _mm_min_epi16(pa_, pb_), hi_ = _mm_max_epi16(pa_, pb_);                \
        const __m128i thresh_ = _mm_sub_epi16(threeCMinusB_, pa_);                                 \
        const __m128i t0_ = SELECT(_mm_cmpgt_epi16(hi_, thresh_), pc_, lo_);                       \
        const __m128i t1_ = SELECT(_mm_cmpgt_epi16(thresh_, lo_), t0_, hi_);                       \
        _mm_add_epi8(t1_, pr_);                                                                    \
    })

#define CORVALE_PAETH_ROW(SELECT)                                                                  \
    const __m128i zero = _mm_setzero_si128();                                                      \
    __m128i a = zero, c = zero;                                                                    \
    for (std::size_t i = 0; i < n; i += kBpp) {                                                    \
        const __m128i b = _mm_unpacklo_epi8(LoadPixel<kBpp>(prev + i), zero);                      \
        a = CORVALE_PAETH_STEP(a, b, c, _mm_unpacklo_epi8(LoadPixel<kBpp>(src + i), zero),         \
                               SELECT);                                                            \
        StorePixel<kBpp>(dst + i, _mm_packus_epi16(a, zero));                                      \
        c = b;                                                                                     \
    }

template <std::size_t kBpp>
[[gnu::target("sse2")]] void UnfilterPaethSse2(const std::uint8_t* src, const std::uint8_t* prev,
                                               std::uint8_t* dst, std::size_t n) {
    CORVALE_PAETH_ROW(SelectSse2)
}

template <std::size_t kBpp>
[[gnu::target("sse4.1")]] void UnfilterPaethSse41(const std::uint8_t* src, const std::uint8_t* prev,
                                                  std::uint8_t* dst, std::size_t n) {
    CORVALE_PAETH_ROW(SelectSse41)
}
#undef CORVALE_PAETH_ROW

// ---- Two rows at once: rows with the same serial filter (Average or Paeth), one below the
// other. The lower row's pixel i - 1 is done in the round of the upper row's pixel i, with the
// upper row's pixels it needs still in registers: the two chains from pixel to pixel run side
// by side.

template <std::size_t kBpp>
[[gnu::target("sse2")]] void
UnfilterAverageTwoSse2(const std::uint8_t* src0, const std::uint8_t* src1, const std::uint8_t* prev,
                       std::uint8_t* dst0, std::uint8_t* dst1, std::size_t n) {
    const __m128i ones = _mm_set1_epi8(-1);
    __m128i notX0 = ones, notX1 = ones; // complemented, as in UnfilterAverageSse2
    for (std::size_t i = 0; i < n; i += kBpp) {
        const __m128i above1 = notX0; // the upper row's pixel i - kBpp (~0 before the row)
        const __m128i notB = _mm_xor_si128(LoadPixel<kBpp>(prev + i), ones);
        notX0 = _mm_sub_epi8(_mm_avg_epu8(notX0, notB), LoadPixel<kBpp>(src0 + i));
        StorePixel<kBpp>(dst0 + i, _mm_xor_si128(notX0, ones));
        if (i != 0) {
            const std::size_t j = i - kBpp;
            notX1 = _mm_sub_epi8(_mm_avg_epu8(notX1, above1), LoadPixel<kBpp>(src1 + j));
            StorePixel<kBpp>(dst1 + j, _mm_xor_si128(notX1, ones));
        }
    }
    const std::size_t j = (n - 1) / kBpp * kBpp; // the lower row's last pixel
    notX1 = _mm_sub_epi8(_mm_avg_epu8(notX1, notX0), LoadPixel<kBpp>(src1 + j));
    StorePixel<kBpp>(dst1 + j, _mm_xor_si128(notX1, ones));
}

#define CORVALE_PAETH_TWO_ROWS(SELECT)                                                             \
    const __m128i zero = _mm_setzero_si128();                                                      \
    __m128i a0 = zero, c0 = zero, a1 = zero, c1 = zero;                                            \
    for (std::size_t i = 0; i < n; i += kBpp) {                                                    \
        const __m128i b1 = a0; /* the upper row's pixel i - kBpp, above the lower row's */         \
        const __m128i b0 = _mm_unpacklo_epi8(LoadPixel<kBpp>(prev + i), zero);                     \
        a0 = CORVALE_PAETH_STEP(a0, b0, c0, _mm_unpacklo_epi8(LoadPixel<kBpp>(src0 + i), zero),    \
                                SELECT);                                                           \
        StorePixel<kBpp>(dst0 + i, _mm_packus_epi16(a0, zero));                                    \
        c0 = b0;                                                                                   \
        if (i != 0) {                                                                              \
            const std::size_t j = i - kBpp;                                                        \
            a1 = CORVALE_PAETH_STEP(a1, b1, c1,                                                    \
                                    _mm_unpacklo_epi8(LoadPixel<kBpp>(src1 + j), zero), SELECT);   \
            StorePixel<kBpp>(dst1 + j, _mm_packus_epi16(a1, zero));                                \
            c1 = b1;                                                                               \
        }                                                                                          \
    }                                                                                              \
    const std::size_t j = (n - 1) / kBpp * kBpp; /* the lower row's last pixel */                  \
    a1 = CORVALE_PAETH_STEP(a1, a0, c1, _mm_unpacklo_epi8(LoadPixel<kBpp>(src1 + j), zero),        \
                            SELECT);                                                               \
    StorePixel<kBpp>(dst1 + j, _mm_packus_epi16(a1, zero));

// Pixels of four bytes or fewer: both rows' pixels in one register, the upper row's pixel i in
// lanes 0-3 and the lower row's pixel i - kBpp in lanes 4-7, so that one step does both.
#define CORVALE_PAETH_TWO_ROWS_PACKED(SELECT)                                                      \
    const __m128i zero = _mm_setzero_si128();                                                      \
    /* The upper row's first pixel alone (lanes 4-7 stay zero: no pixel left of the lower          \
       row's first). */                                                                            \
    __m128i c = _mm_unpacklo_epi8(LoadPixel<kBpp>(prev), zero);                                    \
    __m128i a =                                                                                    \
        CORVALE_PAETH_STEP(zero, c, zero, _mm_unpacklo_epi8(LoadPixel<kBpp>(src0), zero), SELECT); \
    StorePixel<kBpp>(dst0, _mm_packus_epi16(a, zero));                                             \
    for (std::size_t i = kBpp; i < n; i += kBpp) {                                                 \
        /* Above the lower row's pixel: the upper row's pixel i - kBpp, done last round. */        \
        const __m128i b =                                                                          \
            _mm_unpacklo_epi64(_mm_unpacklo_epi8(LoadPixel<kBpp>(prev + i), zero), a);             \
        const __m128i r = _mm_unpacklo_epi8(                                                       \
            _mm_unpacklo_epi32(LoadPixel<kBpp>(src0 + i), LoadPixel<kBpp>(src1 + i - kBpp)),       \
            zero);                                                                                 \
        a = CORVALE_PAETH_STEP(a, b, c, r, SELECT);                                                \
        const __m128i out = _mm_packus_epi16(a, zero);                                             \
        StorePixel<kBpp>(dst0 + i, out);                                                           \
        StorePixel<kBpp>(dst1 + i - kBpp, _mm_srli_si128(out, 4));                                 \
        c = b;                                                                                     \
    }                                                                                              \
    const std::size_t j = (n - 1) / kBpp * kBpp; /* the lower row's last pixel */                  \
    const __m128i b = _mm_unpacklo_epi64(zero, a);                                                 \
    const __m128i r =                                                                              \
        _mm_unpacklo_epi8(_mm_unpacklo_epi32(zero, LoadPixel<kBpp>(src1 + j)), zero);              \
    a = CORVALE_PAETH_STEP(a, b, c, r, SELECT);                                                    \
    StorePixel<kBpp>(dst1 + j, _mm_srli_si128(_mm_packus_epi16(a, zero), 4));

template <std::size_t kBpp>
[[gnu::target("sse2")]] void
UnfilterPaethTwoSse2(const std::uint8_t* src0, const std::uint8_t* src1, const std::uint8_t* prev,
                     std::uint8_t* dst0, std::uint8_t* dst1, std::size_t n) {
    if constexpr (kBpp <= 4) {
        CORVALE_PAETH_TWO_ROWS_PACKED(SelectSse2)
    } else {
        CORVALE_PAETH_TWO_ROWS(SelectSse2)
    }
}

template <std::size_t kBpp>
[[gnu::target("sse4.1")]] void
UnfilterPaethTwoSse41(const std::uint8_t* src0, const std::uint8_t* src1, const std::uint8_t* prev,
                      std::uint8_t* dst0, std::uint8_t* dst1, std::size_t n) {
    if constexpr (kBpp <= 4) {
        CORVALE_PAETH_TWO_ROWS_PACKED(SelectSse41)
    } else {
        CORVALE_PAETH_TWO_ROWS(SelectSse41)
    }
}
#undef CORVALE_PAETH_TWO_ROWS
#undef CORVALE_PAETH_TWO_ROWS_PACKED

// The pixel of a row at byte `at`, or zeros when the row has none there (inner: it has).
template <std::size_t kBpp>
[[gnu::target("sse2"), gnu::always_inline]] inline __m128i
PixelIfIn(const std::uint8_t* row, std::ptrdiff_t at, std::ptrdiff_t len, bool inner) {
    return inner || (at >= 0 && at < len) ? LoadPixel<kBpp>(row + at) : _mm_setzero_si128();
}

// Four Paeth rows of pixels up to four bytes, as two packed pairs: x holds row 0's pixel i and
// row 1's pixel i - kBpp, y row 2's pixel i - 2 kBpp and row 3's pixel i - 3 kBpp. Each row
// starts one pixel after the row above it and its pixel above is the one that row did in the
// round before. In the first three and the last three rounds some rows have no pixel: their
// inputs are zeros (which leaves a row that has not started at zero) and nothing is stored.
// src holds the four rows `step` bytes apart.
#define CORVALE_PAETH_FOUR_STEP(SELECT, INNER)                                                     \
    {                                                                                              \
        const bool inner = INNER;                                                                  \
        const __m128i above = PixelIfIn<kBpp>(prev, i, len, inner);                                \
        const __m128i bx = _mm_unpacklo_epi64(_mm_unpacklo_epi8(above, zero), ax);                 \
        const __m128i by =                                                                         \
            _mm_castpd_si128(_mm_shuffle_pd(_mm_castsi128_pd(ax), _mm_castsi128_pd(ay), 1));       \
        const __m128i rx =                                                                         \
            _mm_unpacklo_epi8(_mm_unpacklo_epi32(PixelIfIn<kBpp>(src, i, len, inner),              \
                                                 PixelIfIn<kBpp>(src + step, i - px, len, inner)), \
                              zero);                                                               \
        const __m128i ry = _mm_unpacklo_epi8(                                                      \
            _mm_unpacklo_epi32(PixelIfIn<kBpp>(src + 2 * step, i - 2 * px, len, inner),            \
                               PixelIfIn<kBpp>(src + 3 * step, i - 3 * px, len, inner)),           \
            zero);                                                                                 \
        ax = CORVALE_PAETH_STEP(ax, bx, cx, rx, SELECT);                                           \
        ay = CORVALE_PAETH_STEP(ay, by, cy, ry, SELECT);                                           \
        cx = bx;                                                                                   \
        cy = by;                                                                                   \
        const __m128i ox = _mm_packus_epi16(ax, zero), oy = _mm_packus_epi16(ay, zero);            \
        if (inner) {                                                                               \
            StorePixel<kBpp>(dst[0] + i, ox);                                                      \
            StorePixel<kBpp>(dst[1] + (i - px), _mm_srli_si128(ox, 4));                            \
            StorePixel<kBpp>(dst[2] + (i - 2 * px), oy);                                           \
            StorePixel<kBpp>(dst[3] + (i - 3 * px), _mm_srli_si128(oy, 4));                        \
        } else {                                                                                   \
            const __m128i out[4] = {ox, _mm_srli_si128(ox, 4), oy, _mm_srli_si128(oy, 4)};         \
            for (std::ptrdiff_t k = 0; k < 4; ++k)                                                 \
                if (i - k * px >= 0 && i - k * px < len)                                           \
                    StorePixel<kBpp>(dst[k] + (i - k * px), out[k]);                               \
        }                                                                                          \
    }

#define CORVALE_PAETH_FOUR_ROWS(SELECT)                                                            \
    const __m128i zero = _mm_setzero_si128();                                                      \
    const auto len = static_cast<std::ptrdiff_t>(n);                                               \
    constexpr auto px = static_cast<std::ptrdiff_t>(kBpp);                                         \
    __m128i ax = zero, cx = zero, ay = zero, cy = zero;                                            \
    std::ptrdiff_t i = 0;                                                                          \
    for (; i < 3 * px && i < len; i += px) CORVALE_PAETH_FOUR_STEP(SELECT, false)                  \
    for (; i < len; i += px) CORVALE_PAETH_FOUR_STEP(SELECT, true)                                 \
    for (; i < len + 3 * px; i += px) CORVALE_PAETH_FOUR_STEP(SELECT, false)

template <std::size_t kBpp>
[[gnu::target("sse2")]] void UnfilterPaethFourSse2(const std::uint8_t* src, std::size_t step,
                                                   const std::uint8_t* prev,
                                                   std::uint8_t* const* dst, std::size_t n) {
    CORVALE_PAETH_FOUR_ROWS(SelectSse2)
}

template <std::size_t kBpp>
[[gnu::target("sse4.1")]] void UnfilterPaethFourSse41(const std::uint8_t* src, std::size_t step,
                                                      const std::uint8_t* prev,
                                                      std::uint8_t* const* dst, std::size_t n) {
    CORVALE_PAETH_FOUR_ROWS(SelectSse41)
}
#undef CORVALE_PAETH_FOUR_ROWS
#undef CORVALE_PAETH_FOUR_STEP

template <std::size_t kBpp>
void UnfilterPaethFour(RowCode code, const std::uint8_t* src, std::size_t step,
                       const std::uint8_t* prev, std::uint8_t* const* dst, std::size_t n) {
    if (code >= RowCode::kSse41)
        UnfilterPaethFourSse41<kBpp>(src, step, prev, dst, n);
    else
        UnfilterPaethFourSse2<kBpp>(src, step, prev, dst, n);
}
#undef CORVALE_PAETH_STEP

// ---- Four Average rows at once (SSSE3). Pixels of up to four bytes sit in the four 32-bit lanes
// of one register, complemented as in UnfilterAverageSse2: row k does pixel i - k in the round in
// which row 0 does pixel i, so the pixel above row k's is the one row k - 1 did the round before,
// the lane below (one shift away), and the chain from round to round stays three instructions
// for four pixels. Within the rows four rounds at a time are loaded sixteen bytes a row,
// transposed into rounds and back, and stored sixteen bytes a row; the first three and the last
// three rounds, where some rows have no pixel, go a pixel at a time.

// Four pixels of a row in four 32-bit lanes, their bytes past the pixel's zero. Pixels of 1 and
// 2 bytes read exactly their 4 or 8 bytes; 3-byte ones read 4 bytes past the fourth pixel.
template <std::size_t kBpp>
[[gnu::target("ssse3"), gnu::always_inline]] inline __m128i LoadFourPixels(const std::uint8_t* p) {
    if constexpr (kBpp == 1) {
        std::int32_t v;
        std::memcpy(&v, p, 4);
        return _mm_shuffle_epi8(_mm_cvtsi32_si128(v), _mm_setr_epi8(0, -1, -1, -1, 1, -1, -1, -1, 2,
                                                                    -1, -1, -1, 3, -1, -1, -1));
    } else if constexpr (kBpp == 2) {
        return _mm_shuffle_epi8(
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
            _mm_setr_epi8(0, 1, -1, -1, 2, 3, -1, -1, 4, 5, -1, -1, 6, 7, -1, -1));
    } else {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        if constexpr (kBpp == 4) return v;
        return _mm_shuffle_epi8(
            v, _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1));
    }
}

// Stores four pixels from four 32-bit lanes; 3-byte pixels write 4 bytes past the fourth (the
// next pixel's, written again with it, or the row's slack).
template <std::size_t kBpp>
[[gnu::target("ssse3"), gnu::always_inline]] inline void StoreFourPixels(std::uint8_t* p,
                                                                         __m128i v) {
    if constexpr (kBpp == 1) {
        const std::int32_t x = _mm_cvtsi128_si32(_mm_shuffle_epi8(
            v, _mm_setr_epi8(0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1)));
        std::memcpy(p, &x, 4);
    } else if constexpr (kBpp == 2) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p),
                         _mm_shuffle_epi8(v, _mm_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1,
                                                           -1, -1, -1, -1)));
    } else {
        if constexpr (kBpp == 3)
            v = _mm_shuffle_epi8(
                v, _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
    }
}

[[gnu::target("sse2"), gnu::always_inline]] inline void Transpose4x32(__m128i& a, __m128i& b,
                                                                      __m128i& c, __m128i& d) {
    const __m128i ab0 = _mm_unpacklo_epi32(a, b), ab1 = _mm_unpackhi_epi32(a, b);
    const __m128i cd0 = _mm_unpacklo_epi32(c, d), cd1 = _mm_unpackhi_epi32(c, d);
    a = _mm_unpacklo_epi64(ab0, cd0);
    b = _mm_unpackhi_epi64(ab0, cd0);
    c = _mm_unpacklo_epi64(ab1, cd1);
    d = _mm_unpackhi_epi64(ab1, cd1);
}

// An edge round of the four-row Average routines, where row k holds pixel j - k and some rows
// have none: each row's pixel read into (and written from) its own lane, exactly, a row without
// a pixel leaving its lane zero (and unwritten). GatherRound returns the pixel above row 0's,
// zero past the row's end.
template <std::size_t kBpp, class Lane>
[[gnu::always_inline]] inline Lane GatherRound(Lane* lane, const std::uint8_t* src,
                                               std::ptrdiff_t stride, const std::uint8_t* prev,
                                               std::ptrdiff_t w, std::ptrdiff_t j) {
    constexpr auto px = static_cast<std::ptrdiff_t>(kBpp);
    for (std::ptrdiff_t k = 0; k < 4; ++k)
        if (j - k >= 0 && j - k < w) std::memcpy(&lane[k], src + k * stride + (j - k) * px, kBpp);
    Lane above = 0;
    if (j < w) std::memcpy(&above, prev + j * px, kBpp);
    return above;
}

template <std::size_t kBpp, class Lane>
[[gnu::always_inline]] inline void ScatterRound(const Lane* lane, std::uint8_t* const* dst,
                                                std::ptrdiff_t w, std::ptrdiff_t j) {
    constexpr auto px = static_cast<std::ptrdiff_t>(kBpp);
    for (std::ptrdiff_t k = 0; k < 4; ++k)
        if (j - k >= 0 && j - k < w) std::memcpy(dst[k] + (j - k) * px, &lane[k], kBpp);
}

// One round of UnfilterAverageFourSsse3 (row k's pixel j - k), every pixel read and written
// exactly: a row without a pixel in this round computes what is never stored. A row that has
// not started reads zeros below lanes of ~0, so it stays at ~0. Returns the new lanes.
template <std::size_t kBpp>
[[gnu::target("ssse3"), gnu::always_inline]] inline __m128i
AverageFourRound(__m128i notX, const std::uint8_t* src, std::ptrdiff_t stride,
                 const std::uint8_t* prev, std::uint8_t* const* dst, std::ptrdiff_t w,
                 std::ptrdiff_t j) {
    alignas(16) std::uint32_t lane[4] = {};
    const std::uint32_t above = GatherRound<kBpp>(lane, src, stride, prev, w, j);
    const __m128i notB =
        _mm_or_si128(_mm_slli_si128(notX, 4), _mm_cvtsi32_si128(static_cast<int>(~above)));
    notX = _mm_sub_epi8(_mm_avg_epu8(notX, notB),
                        _mm_load_si128(reinterpret_cast<const __m128i*>(lane)));
    _mm_store_si128(reinterpret_cast<__m128i*>(lane), _mm_xor_si128(notX, _mm_set1_epi8(-1)));
    ScatterRound<kBpp>(lane, dst, w, j);
    return notX;
}

// src holds the four rows `step` bytes apart; prev is the row above the first.
template <std::size_t kBpp>
[[gnu::target("ssse3")]] void UnfilterAverageFourSsse3(const std::uint8_t* src, std::size_t step,
                                                       const std::uint8_t* prev,
                                                       std::uint8_t* const* dst, std::size_t n) {
    const __m128i ones = _mm_set1_epi8(-1);
    const auto w = static_cast<std::ptrdiff_t>(n / kBpp);
    constexpr auto px = static_cast<std::ptrdiff_t>(kBpp);
    const auto stride = static_cast<std::ptrdiff_t>(step);
    __m128i notX = ones; // lane k: row k's last pixel, ~0 left of its first
    std::ptrdiff_t j = 0;
    for (; j < 3; ++j) notX = AverageFourRound<kBpp>(notX, src, stride, prev, dst, w, j);
    // Rounds j .. j + 3: row 0's pixels j .. j + 3 down to row 3's j - 3 .. j.
    for (; j + 3 < w; j += 4) {
        __m128i r0 = LoadFourPixels<kBpp>(src + j * px);
        __m128i r1 = LoadFourPixels<kBpp>(src + stride + (j - 1) * px);
        __m128i r2 = LoadFourPixels<kBpp>(src + 2 * stride + (j - 2) * px);
        __m128i r3 = LoadFourPixels<kBpp>(src + 3 * stride + (j - 3) * px);
        Transpose4x32(r0, r1, r2, r3);
        const __m128i notAbove = _mm_xor_si128(LoadFourPixels<kBpp>(prev + j * px), ones);
        // Round m's pixel above row 0 comes into lane 0 from lane 3 of the second operand.
        notX = _mm_sub_epi8(
            _mm_avg_epu8(notX, _mm_alignr_epi8(notX, _mm_slli_si128(notAbove, 12), 12)), r0);
        r0 = _mm_xor_si128(notX, ones);
        notX = _mm_sub_epi8(
            _mm_avg_epu8(notX, _mm_alignr_epi8(notX, _mm_slli_si128(notAbove, 8), 12)), r1);
        r1 = _mm_xor_si128(notX, ones);
        notX = _mm_sub_epi8(
            _mm_avg_epu8(notX, _mm_alignr_epi8(notX, _mm_slli_si128(notAbove, 4), 12)), r2);
        r2 = _mm_xor_si128(notX, ones);
        notX = _mm_sub_epi8(_mm_avg_epu8(notX, _mm_alignr_epi8(notX, notAbove, 12)), r3);
        r3 = _mm_xor_si128(notX, ones);
        Transpose4x32(r0, r1, r2, r3);
        StoreFourPixels<kBpp>(dst[0] + j * px, r0);
        StoreFourPixels<kBpp>(dst[1] + (j - 1) * px, r1);
        StoreFourPixels<kBpp>(dst[2] + (j - 2) * px, r2);
        StoreFourPixels<kBpp>(dst[3] + (j - 3) * px, r3);
    }
    for (; j < w + 3; ++j) notX = AverageFourRound<kBpp>(notX, src, stride, prev, dst, w, j);
}

// Four Average rows of 6- or 8-byte pixels: x holds rows 0 and 1, y rows 2 and 3, a pixel to a
// 64-bit lane, staggered as above (row 1's pixel above is x's low lane, row 2's x's high lane).
// Two rounds at a time are loaded and stored sixteen bytes a row.

// Two pixels of a row in the two 64-bit lanes (6-byte pixels spread, read 4 bytes past them).
template <std::size_t kBpp>
[[gnu::target("ssse3"), gnu::always_inline]] inline __m128i LoadTwoPixels(const std::uint8_t* p) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    if constexpr (kBpp == 8) return v;
    return _mm_shuffle_epi8(v, _mm_setr_epi8(0, 1, 2, 3, 4, 5, -1, -1, 6, 7, 8, 9, 10, 11, -1, -1));
}

// Stores two pixels from the two 64-bit lanes; 6-byte pixels write 4 bytes past the second.
template <std::size_t kBpp>
[[gnu::target("ssse3"), gnu::always_inline]] inline void StoreTwoPixels(std::uint8_t* p,
                                                                        __m128i v) {
    if constexpr (kBpp == 6)
        v = _mm_shuffle_epi8(v,
                             _mm_setr_epi8(0, 1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 13, -1, -1, -1, -1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// One round of UnfilterAverageFourWideSsse3, every pixel read and written exactly (as in
// AverageFourRound).
template <std::size_t kBpp>
[[gnu::target("ssse3"), gnu::always_inline]] inline void
AverageFourWideRound(__m128i& notX, __m128i& notY, const std::uint8_t* src, std::ptrdiff_t stride,
                     const std::uint8_t* prev, std::uint8_t* const* dst, std::ptrdiff_t w,
                     std::ptrdiff_t j) {
    alignas(16) std::uint64_t lane[4] = {};
    const std::uint64_t above = ~GatherRound<kBpp>(lane, src, stride, prev, w, j);
    const __m128i notBx =
        _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&above)), notX);
    const __m128i notBy = _mm_alignr_epi8(notY, notX, 8);
    notX = _mm_sub_epi8(_mm_avg_epu8(notX, notBx),
                        _mm_load_si128(reinterpret_cast<const __m128i*>(lane)));
    notY = _mm_sub_epi8(_mm_avg_epu8(notY, notBy),
                        _mm_load_si128(reinterpret_cast<const __m128i*>(lane + 2)));
    const __m128i ones = _mm_set1_epi8(-1);
    _mm_store_si128(reinterpret_cast<__m128i*>(lane), _mm_xor_si128(notX, ones));
    _mm_store_si128(reinterpret_cast<__m128i*>(lane + 2), _mm_xor_si128(notY, ones));
    ScatterRound<kBpp>(lane, dst, w, j);
}

template <std::size_t kBpp>
[[gnu::target("ssse3")]] void
UnfilterAverageFourWideSsse3(const std::uint8_t* src, std::size_t step, const std::uint8_t* prev,
                             std::uint8_t* const* dst, std::size_t n) {
    const __m128i ones = _mm_set1_epi8(-1);
    const auto w = static_cast<std::ptrdiff_t>(n / kBpp);
    constexpr auto px = static_cast<std::ptrdiff_t>(kBpp);
    const auto stride = static_cast<std::ptrdiff_t>(step);
    __m128i notX = ones, notY = ones;
    std::ptrdiff_t j = 0;
    for (; j < 3; ++j) AverageFourWideRound<kBpp>(notX, notY, src, stride, prev, dst, w, j);
    // Rounds j and j + 1: row 0's pixels j and j + 1 down to row 3's j - 3 and j - 2.
    for (; j + 1 < w; j += 2) {
        const __m128i r0 = LoadTwoPixels<kBpp>(src + j * px);
        const __m128i r1 = LoadTwoPixels<kBpp>(src + stride + (j - 1) * px);
        const __m128i r2 = LoadTwoPixels<kBpp>(src + 2 * stride + (j - 2) * px);
        const __m128i r3 = LoadTwoPixels<kBpp>(src + 3 * stride + (j - 3) * px);
        const __m128i notAbove = _mm_xor_si128(LoadTwoPixels<kBpp>(prev + j * px), ones);
        __m128i notBy = _mm_alignr_epi8(notY, notX, 8);
        notX =
            _mm_sub_epi8(_mm_avg_epu8(notX, _mm_alignr_epi8(notX, _mm_slli_si128(notAbove, 8), 8)),
                         _mm_unpacklo_epi64(r0, r1));
        notY = _mm_sub_epi8(_mm_avg_epu8(notY, notBy), _mm_unpacklo_epi64(r2, r3));
        const __m128i x0 = _mm_xor_si128(notX, ones), y0 = _mm_xor_si128(notY, ones);
        notBy = _mm_alignr_epi8(notY, notX, 8);
        notX = _mm_sub_epi8(_mm_avg_epu8(notX, _mm_alignr_epi8(notX, notAbove, 8)),
                            _mm_unpackhi_epi64(r0, r1));
        notY = _mm_sub_epi8(_mm_avg_epu8(notY, notBy), _mm_unpackhi_epi64(r2, r3));
        const __m128i x1 = _mm_xor_si128(notX, ones), y1 = _mm_xor_si128(notY, ones);
        StoreTwoPixels<kBpp>(dst[0] + j * px, _mm_unpacklo_epi64(x0, x1));
        StoreTwoPixels<kBpp>(dst[1] + (j - 1) * px, _mm_unpackhi_epi64(x0, x1));
        StoreTwoPixels<kBpp>(dst[2] + (j - 2) * px, _mm_unpacklo_epi64(y0, y1));
        StoreTwoPixels<kBpp>(dst[3] + (j - 3) * px, _mm_unpackhi_epi64(y0, y1));
    }
    for (; j < w + 3; ++j) AverageFourWideRound<kBpp>(notX, notY, src, stride, prev, dst, w, j);
}

template <std::size_t kBpp>
void UnfilterTwoSse2(RowCode code, std::uint8_t filter, const std::uint8_t* src0,
                     const std::uint8_t* src1, const std::uint8_t* prev, std::uint8_t* dst0,
                     std::uint8_t* dst1, std::size_t n) {
    if (filter == 3) {
        UnfilterAverageTwoSse2<kBpp>(src0, src1, prev, dst0, dst1, n);
    } else if (code >= RowCode::kSse41) {
        UnfilterPaethTwoSse41<kBpp>(src0, src1, prev, dst0, dst1, n);
    } else {
        UnfilterPaethTwoSse2<kBpp>(src0, src1, prev, dst0, dst1, n);
    }
}

// Up: sixteen bytes at a time.
[[gnu::target("sse2")]] void UnfilterUpSse2(const std::uint8_t* src, const std::uint8_t* prev,
                                            std::uint8_t* dst, std::size_t n) {
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(prev + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_add_epi8(s, p));
    }
    for (; i < n; ++i) dst[i] = static_cast<std::uint8_t>(src[i] + prev[i]);
}

// The SSE2 routine for the filter and pixel size, false when there is none (the plain code
// does the row).
template <std::size_t kBpp>
bool UnfilterSse2(RowCode code, std::uint8_t filter, const std::uint8_t* src,
                  const std::uint8_t* prev, std::uint8_t* dst, std::size_t n) {
    switch (filter) {
    case 1:
        UnfilterSubSse2<kBpp>(src, dst, n);
        return true;
    case 3:
        UnfilterAverageSse2<kBpp>(src, prev, dst, n);
        return true;
    case 4:
        if (code >= RowCode::kSse41)
            UnfilterPaethSse41<kBpp>(src, prev, dst, n);
        else
            UnfilterPaethSse2<kBpp>(src, prev, dst, n);
        return true;
    default:
        return false;
    }
}
#endif

// Unfilters one row of n bytes from src into dst; prev is the unfiltered row above (zeros on the
// first row). The caller handles unknown filter types (taken as none here).
void UnfilterRow(RowCode code, std::uint8_t filter, const std::uint8_t* src,
                 const std::uint8_t* prev, std::uint8_t* dst, std::size_t n, std::size_t bpp) {
    if (code == RowCode::kPlain) return UnfilterPlain(filter, src, prev, dst, n, bpp);
#if defined(CORVALE_PNG_X86)
    {
        if (filter == 2) return UnfilterUpSse2(src, prev, dst, n);
        if (bpp == 4 && UnfilterSse2<4>(code, filter, src, prev, dst, n)) return;
        if (bpp == 3 && UnfilterSse2<3>(code, filter, src, prev, dst, n)) return;
        if (bpp == 6 && UnfilterSse2<6>(code, filter, src, prev, dst, n)) return;
        if (bpp == 8 && UnfilterSse2<8>(code, filter, src, prev, dst, n)) return;
        if (bpp == 1 && UnfilterSse2<1>(code, filter, src, prev, dst, n)) return;
        if (bpp == 2 && UnfilterSse2<2>(code, filter, src, prev, dst, n)) return;
    }
#endif
    UnfilterPlain(filter, src, prev, dst, n, bpp);
}

// Unfilters two rows one below the other that both have the Average or both the Paeth filter
// (filter), from src0 and src1 into dst0 and dst1; prev is the row above the first. False when
// there is no such routine for the code and pixel size (the rows then go one at a time).
bool UnfilterTwoRows(RowCode code, std::uint8_t filter, const std::uint8_t* src0,
                     const std::uint8_t* src1, const std::uint8_t* prev, std::uint8_t* dst0,
                     std::uint8_t* dst1, std::size_t n, std::size_t bpp) {
#if defined(CORVALE_PNG_X86)
    if (code == RowCode::kPlain || n == 0 || (filter != 3 && filter != 4)) return false;
    switch (bpp) {
    case 1:
        UnfilterTwoSse2<1>(code, filter, src0, src1, prev, dst0, dst1, n);
        return true;
    case 2:
        UnfilterTwoSse2<2>(code, filter, src0, src1, prev, dst0, dst1, n);
        return true;
    case 3:
        UnfilterTwoSse2<3>(code, filter, src0, src1, prev, dst0, dst1, n);
        return true;
    case 4:
        UnfilterTwoSse2<4>(code, filter, src0, src1, prev, dst0, dst1, n);
        return true;
    case 6:
        UnfilterTwoSse2<6>(code, filter, src0, src1, prev, dst0, dst1, n);
        return true;
    case 8:
        UnfilterTwoSse2<8>(code, filter, src0, src1, prev, dst0, dst1, n);
        return true;
    default:
        return false;
    }
#else
    (void)code, (void)filter, (void)src0, (void)src1, (void)prev, (void)dst0, (void)dst1, (void)n,
        (void)bpp;
    return false;
#endif
}

#if defined(CORVALE_PNG_X86)
// The four-row routine for the filter, code and pixel size; false when there is none.
template <std::size_t kBpp>
bool UnfilterFour(RowCode code, std::uint8_t filter, const std::uint8_t* src, std::size_t step,
                  const std::uint8_t* prev, std::uint8_t* const* dst, std::size_t n) {
    if (filter == 3) {
        if (code < RowCode::kSsse3) return false;
        if constexpr (kBpp <= 4)
            UnfilterAverageFourSsse3<kBpp>(src, step, prev, dst, n);
        else
            UnfilterAverageFourWideSsse3<kBpp>(src, step, prev, dst, n);
        return true;
    }
    if constexpr (kBpp <= 4) {
        if (filter == 4) {
            UnfilterPaethFour<kBpp>(code, src, step, prev, dst, n);
            return true;
        }
    }
    return false;
}
#endif

// Unfilters four rows one below the other that all have the Average or all the Paeth filter
// (filter), the first `step` bytes after src (each row's bytes after its filter byte, `step`
// bytes apart), into dst[0..3]; prev is the row above the first. False when there is no such
// routine for the code, filter and pixel size.
bool UnfilterFourRows(RowCode code, std::uint8_t filter, const std::uint8_t* src, std::size_t step,
                      const std::uint8_t* prev, std::uint8_t* const* dst, std::size_t n,
                      std::size_t bpp) {
#if defined(CORVALE_PNG_X86)
    if (code == RowCode::kPlain || n == 0) return false;
    switch (bpp) {
    case 1:
        return UnfilterFour<1>(code, filter, src, step, prev, dst, n);
    case 2:
        return UnfilterFour<2>(code, filter, src, step, prev, dst, n);
    case 3:
        return UnfilterFour<3>(code, filter, src, step, prev, dst, n);
    case 4:
        return UnfilterFour<4>(code, filter, src, step, prev, dst, n);
    case 6:
        return UnfilterFour<6>(code, filter, src, step, prev, dst, n);
    case 8:
        return UnfilterFour<8>(code, filter, src, step, prev, dst, n);
    default:
        return false;
    }
#else
    (void)code, (void)filter, (void)src, (void)step, (void)prev, (void)dst, (void)n, (void)bpp;
    return false;
#endif
}

// Unfilters, where it lies, a row with zeros above it (the first row of an image or pass): Up
// then adds nothing and Paeth predicts the left byte, as Sub does.
void UnfilterFirstRowInPlace(std::uint8_t filter, std::uint8_t* row, std::size_t n,
                             std::size_t bpp) {
    if (filter == 1 || filter == 4) {
        for (std::size_t i = bpp; i < n; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + row[i - bpp]);
    } else if (filter == 3) {
        for (std::size_t i = bpp; i < n; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + (row[i - bpp] >> 1));
    } // none, Up, or an unknown type taken as none: the bytes stand
}

// ---- Conversion -----------------------------------------------------------------------------

#if defined(CORVALE_PNG_X86)
// Two RGBA pixels in 16-bit lanes to premultiplied BGRA.
[[gnu::target("sse2"), gnu::always_inline]] inline __m128i PremultiplyTwo(__m128i v) {
    const __m128i rgbLanes = _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1);
    const __m128i alphaLanes = _mm_set_epi16(255, 0, 0, 0, 255, 0, 0, 0);
    const __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, _MM_SHUFFLE(3, 3, 3, 3)),
                                          _MM_SHUFFLE(3, 3, 3, 3));
    const __m128i m = _mm_or_si128(_mm_and_si128(a, rgbLanes), alphaLanes);
    const __m128i q = _mm_mulhi_epu16(_mm_add_epi16(_mm_mullo_epi16(v, m), _mm_set1_epi16(1)),
                                      _mm_set1_epi16(257));
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(q, _MM_SHUFFLE(3, 0, 1, 2)),
                               _MM_SHUFFLE(3, 0, 1, 2));
}

// Premultiplies RGBA into BGRA four pixels at a time: (c * a + 1) * 257 >> 16 equals
// (c * a) \ 255 for every c, a up to 255, so opaque and clear pixels need no special case.
// Returns the number of pixels done.
[[gnu::target("sse2")]] std::uint32_t PremultiplyRgba(const std::uint8_t* s, std::uint32_t n,
                                                      std::uint8_t* d) {
    const __m128i zero = _mm_setzero_si128();
    std::uint32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128i px =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + std::size_t{i} * 4));
        const __m128i out = _mm_packus_epi16(PremultiplyTwo(_mm_unpacklo_epi8(px, zero)),
                                             PremultiplyTwo(_mm_unpackhi_epi8(px, zero)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + std::size_t{i} * 4), out);
    }
    return i;
}

// ---- SSSE3: four pixels at a time gathered into BGRA order with one or two byte shuffles,
// then premultiplied where the format has alpha.

// Premultiplies four BGRA pixels as PremultiplyRgba does; a block whose four alphas are all 255
// stands as it is.
[[gnu::target("ssse3"), gnu::always_inline]] inline __m128i PremultiplyBgra(__m128i v) {
    const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
    const __m128i opaque = _mm_cmpeq_epi8(_mm_or_si128(v, colour), _mm_set1_epi8(-1));
    if (_mm_movemask_epi8(opaque) == 0xFFFF) return v;
    const __m128i zero = _mm_setzero_si128();
    const __m128i colourLanes = _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1);
    const __m128i alphaLanes = _mm_set_epi16(255, 0, 0, 0, 255, 0, 0, 0);
    const __m128i one = _mm_set1_epi16(1), k257 = _mm_set1_epi16(257);
    __m128i half[2] = {_mm_unpacklo_epi8(v, zero), _mm_unpackhi_epi8(v, zero)};
    for (__m128i& h : half) {
        const __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(h, _MM_SHUFFLE(3, 3, 3, 3)),
                                              _MM_SHUFFLE(3, 3, 3, 3));
        const __m128i m = _mm_or_si128(_mm_and_si128(a, colourLanes), alphaLanes);
        h = _mm_mulhi_epu16(_mm_add_epi16(_mm_mullo_epi16(h, m), one), k257);
    }
    return _mm_packus_epi16(half[0], half[1]);
}

// The pixel formats the SSSE3 code converts: bytes a pixel, whether it carries alpha, and the
// shuffles that take four pixels into BGRA, from one load or (twoLoads) from two loads whose
// second starts at pixel 2. -1 gives a zero byte; opaque formats then get alpha 255.
struct Ssse3Format {
    std::size_t bytes;
    bool alpha;
    bool twoLoads;
    std::int8_t first[16], second[16];
};

// clang-format off
constexpr Ssse3Format kRgb8 = {3, false, false,
    {2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1}, {}};
constexpr Ssse3Format kRgba8 = {4, true, false,
    {2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15}, {}};
constexpr Ssse3Format kGrey8 = {1, false, false,
    {0, 0, 0, -1, 1, 1, 1, -1, 2, 2, 2, -1, 3, 3, 3, -1}, {}};
constexpr Ssse3Format kGreyAlpha8 = {2, true, false,
    {0, 0, 0, 1, 2, 2, 2, 3, 4, 4, 4, 5, 6, 6, 6, 7}, {}};
constexpr Ssse3Format kRgb16 = {6, false, true,
    {4, 2, 0, -1, 10, 8, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {-1, -1, -1, -1, -1, -1, -1, -1, 4, 2, 0, -1, 10, 8, 6, -1}};
constexpr Ssse3Format kRgba16 = {8, true, true,
    {4, 2, 0, 6, 12, 10, 8, 14, -1, -1, -1, -1, -1, -1, -1, -1},
    {-1, -1, -1, -1, -1, -1, -1, -1, 4, 2, 0, 6, 12, 10, 8, 14}};
constexpr Ssse3Format kGrey16 = {2, false, false,
    {0, 0, 0, -1, 2, 2, 2, -1, 4, 4, 4, -1, 6, 6, 6, -1}, {}};
constexpr Ssse3Format kGreyAlpha16 = {4, true, false,
    {0, 0, 0, 2, 4, 4, 4, 6, 8, 8, 8, 10, 12, 12, 12, 14}, {}};
// clang-format on

// The bytes of four pixels of a format, from its first load.
template <const Ssse3Format& F>
[[gnu::target("sse2"), gnu::always_inline]] inline __m128i LoadFour(const std::uint8_t* s) {
    if constexpr (F.bytes == 1) {
        std::int32_t x;
        std::memcpy(&x, s, 4);
        return _mm_cvtsi32_si128(x);
    } else if constexpr (F.bytes == 2) {
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s));
    } else {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    }
}

// Converts whole blocks of four pixels and returns the pixels done. A load reads up to 16 bytes
// from where it starts, past the row by at most 4 (within the row's slack). kStream: d is
// 16-byte aligned and dstStep 4, and the blocks go past the cache.
template <const Ssse3Format& F, bool kStream = false>
[[gnu::target("ssse3")]] std::uint32_t ConvertSsse3(const std::uint8_t* s, std::uint32_t n,
                                                    std::uint8_t* d, std::size_t dstStep) {
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(F.first));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(F.second));
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    std::uint32_t i = 0;
    for (; i + 4 <= n; i += 4, s += F.bytes * 4) {
        __m128i v = _mm_shuffle_epi8(LoadFour<F>(s), first);
        if constexpr (F.twoLoads) {
            const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + F.bytes * 2));
            v = _mm_or_si128(v, _mm_shuffle_epi8(w, second));
        }
        if constexpr (F.alpha)
            v = PremultiplyBgra(v);
        else
            v = _mm_or_si128(v, opaque);
        if constexpr (kStream) {
            _mm_stream_si128(reinterpret_cast<__m128i*>(d + std::size_t{i} * 4), v);
        } else if (dstStep == 4) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + std::size_t{i} * 4), v);
        } else {
            alignas(16) std::uint8_t px[16];
            _mm_store_si128(reinterpret_cast<__m128i*>(px), v);
            for (std::size_t k = 0; k < 4; ++k)
                std::memcpy(d + (std::size_t{i} + k) * dstStep, px + k * 4, 4);
        }
    }
    return i;
}

// The largest of n bytes, sixteen at a time.
[[gnu::target("sse2")]] unsigned LargestByteSse2(const std::uint8_t* s, std::uint32_t n) {
    __m128i top = _mm_setzero_si128();
    std::uint32_t i = 0;
    for (; i + 16 <= n; i += 16)
        top = _mm_max_epu8(top, _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i)));
    top = _mm_max_epu8(top, _mm_srli_si128(top, 8));
    top = _mm_max_epu8(top, _mm_srli_si128(top, 4));
    top = _mm_max_epu8(top, _mm_srli_si128(top, 2));
    top = _mm_max_epu8(top, _mm_srli_si128(top, 1));
    unsigned largest = static_cast<unsigned>(_mm_cvtsi128_si32(top)) & 255u;
    for (; i < n; ++i) largest = s[i] > largest ? s[i] : largest;
    return largest;
}

// ---- AVX2: eight pixels at a time, four in each 128-bit lane, each lane as the SSSE3 code
// makes it.

// Premultiplies eight BGRA pixels as PremultiplyBgra does four.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i PremultiplyBgraAvx2(__m256i v) {
    const __m256i colour = _mm256_set1_epi32(0x00FFFFFF);
    const __m256i opaque = _mm256_cmpeq_epi8(_mm256_or_si256(v, colour), _mm256_set1_epi8(-1));
    if (_mm256_movemask_epi8(opaque) == -1) return v;
    const __m256i zero = _mm256_setzero_si256();
    const __m256i colourLanes =
        _mm256_set_epi16(0, -1, -1, -1, 0, -1, -1, -1, 0, -1, -1, -1, 0, -1, -1, -1);
    const __m256i alphaLanes =
        _mm256_set_epi16(255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0);
    const __m256i one = _mm256_set1_epi16(1), k257 = _mm256_set1_epi16(257);
    __m256i half[2] = {_mm256_unpacklo_epi8(v, zero), _mm256_unpackhi_epi8(v, zero)};
    for (__m256i& h : half) {
        const __m256i a = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(h, _MM_SHUFFLE(3, 3, 3, 3)),
                                                 _MM_SHUFFLE(3, 3, 3, 3));
        const __m256i m = _mm256_or_si256(_mm256_and_si256(a, colourLanes), alphaLanes);
        h = _mm256_mulhi_epu16(_mm256_add_epi16(_mm256_mullo_epi16(h, m), one), k257);
    }
    return _mm256_packus_epi16(half[0], half[1]);
}

// Converts whole blocks of eight pixels of a one-load format, then what is left in blocks of
// four (ConvertSsse3); returns the pixels done. Reads as ConvertSsse3 does; kStream as there.
template <const Ssse3Format& F, bool kStream>
[[gnu::target("avx2")]] std::uint32_t ConvertAvx2(const std::uint8_t* s, std::uint32_t n,
                                                  std::uint8_t* d, std::size_t dstStep) {
    if (dstStep != 4) return ConvertSsse3<F, kStream>(s, n, d, dstStep);
    const __m256i first =
        _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(F.first)));
    const __m256i opaque = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    std::uint32_t i = 0;
    for (; i + 8 <= n; i += 8, s += F.bytes * 8) {
        __m256i v = _mm256_inserti128_si256(_mm256_castsi128_si256(LoadFour<F>(s)),
                                            LoadFour<F>(s + F.bytes * 4), 1);
        v = _mm256_shuffle_epi8(v, first);
        if constexpr (F.alpha)
            v = PremultiplyBgraAvx2(v);
        else
            v = _mm256_or_si256(v, opaque);
        auto* out = reinterpret_cast<__m128i*>(d + std::size_t{i} * 4);
        if constexpr (kStream) {
            _mm_stream_si128(out, _mm256_castsi256_si128(v));
            _mm_stream_si128(out + 1, _mm256_extracti128_si256(v, 1));
        } else {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), v);
        }
    }
    return i + ConvertSsse3<F, kStream>(s, n - i, d + std::size_t{i} * 4, 4);
}

// Names a format as a type (to choose its routines at compile time).
template <const Ssse3Format& F> struct FormatTag { static constexpr const Ssse3Format& value = F; };

// Palette entries of 8-bit indices, four pixels a store: streamed into whole rows past the cache
// (d 16-byte aligned) or stored as usual. Returns the pixels done. With SSE4.1 the four entries
// go into the register with one move and three inserts, against four moves and three unpacks
// with SSE2: a fifth less time on a large palette picture.
#define CORVALE_INDEXED8(STORE)                                                                    \
    std::uint32_t i = 0;                                                                           \
    for (; i + 4 <= n; i += 4, d += 16) {                                                          \
        const __m128i v =                                                                          \
            _mm_set_epi32(static_cast<int>(table[s[i + 3]]), static_cast<int>(table[s[i + 2]]),    \
                          static_cast<int>(table[s[i + 1]]), static_cast<int>(table[s[i]]));       \
        STORE(reinterpret_cast<__m128i*>(d), v);                                                   \
    }                                                                                              \
    return i;

[[gnu::target("sse2")]] std::uint32_t StreamIndexed8Sse2(const std::uint32_t* table,
                                                         const std::uint8_t* s, std::uint32_t n,
                                                         std::uint8_t* d) {
    CORVALE_INDEXED8(_mm_stream_si128)
}

[[gnu::target("sse4.1")]] std::uint32_t StreamIndexed8Sse41(const std::uint32_t* table,
                                                            const std::uint8_t* s, std::uint32_t n,
                                                            std::uint8_t* d) {
    CORVALE_INDEXED8(_mm_stream_si128)
}

[[gnu::target("sse4.1")]] std::uint32_t StoreIndexed8Sse41(const std::uint32_t* table,
                                                           const std::uint8_t* s, std::uint32_t n,
                                                           std::uint8_t* d) {
    CORVALE_INDEXED8(_mm_storeu_si128)
}
#undef CORVALE_INDEXED8

// Pixels of two packed rows taken in turn, eight at a time: pixel 2m of d is first[m] and pixel
// 2m + 1 is second[m]; streamed (d 16-byte aligned) or stored as usual. Returns the pixels done.
[[gnu::target("sse2")]] std::uint32_t InterleaveSse2(const std::uint8_t* first,
                                                     const std::uint8_t* second, std::uint32_t n,
                                                     std::uint8_t* d, bool stream) {
    std::uint32_t i = 0;
    for (; i + 8 <= n; i += 8, first += 16, second += 16, d += 32) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(second));
        auto* out = reinterpret_cast<__m128i*>(d);
        if (stream) {
            _mm_stream_si128(out, _mm_unpacklo_epi32(a, b));
            _mm_stream_si128(out + 1, _mm_unpackhi_epi32(a, b));
        } else {
            _mm_storeu_si128(out, _mm_unpacklo_epi32(a, b));
            _mm_storeu_si128(out + 1, _mm_unpackhi_epi32(a, b));
        }
    }
    return i;
}

#endif

// Pixels before the first 16-byte boundary at or after d (d holds whole pixels), at most n.
inline std::uint32_t PixelsToAlignment(const std::uint8_t* d, std::uint32_t n) {
    const auto misaligned = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(d) & 15u);
    const std::uint32_t head = ((16u - misaligned) & 15u) / 4u;
    return head < n ? head : n;
}

// Stores a pixel given as 0xAARRGGBB in the byte order blue, green, red, alpha.
inline void StoreBgra(std::uint8_t* d, std::uint32_t v) {
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
    std::memcpy(d, &v, 4);
}

} // namespace

void Converter::Store(std::uint8_t* d, unsigned r, unsigned g, unsigned b, unsigned a) {
    if (a == 255) {
        d[0] = static_cast<std::uint8_t>(b);
        d[1] = static_cast<std::uint8_t>(g);
        d[2] = static_cast<std::uint8_t>(r);
        d[3] = 255;
    } else if (a == 0) {
        d[0] = d[1] = d[2] = d[3] = 0;
    } else {
        d[0] = Div255(b * a);
        d[1] = Div255(g * a);
        d[2] = Div255(r * a);
        d[3] = static_cast<std::uint8_t>(a);
    }
}

// The block routine for the image's format (AVX2 or SSSE3, streamed or not), or null (the rows
// go through the plain code).
Converter::BlockFn Converter::ChooseBlocks(RowCode rowCode, bool stream) const {
#if defined(CORVALE_PNG_X86)
    if (rowCode < RowCode::kSsse3) return nullptr;
    const bool opaque = key < 0;
    // The routine for a format: AVX2 where the code allows it and the format has one (the
    // formats read with one load), else SSSE3; streamed or not.
    const bool wide = rowCode >= RowCode::kAvx2;
    const auto pick = [stream, wide](const auto& format) -> BlockFn {
        constexpr const Ssse3Format& F = std::remove_reference_t<decltype(format)>::value;
        if constexpr (!F.twoLoads) {
            if (wide) return stream ? ConvertAvx2<F, true> : ConvertAvx2<F, false>;
        }
        return stream ? ConvertSsse3<F, true> : ConvertSsse3<F, false>;
    };
    switch (colorType) {
    case kTruecolorAlpha:
        return depth == 8 ? pick(FormatTag<kRgba8>{}) : pick(FormatTag<kRgba16>{});
    case kGreyAlpha:
        return depth == 8 ? pick(FormatTag<kGreyAlpha8>{}) : pick(FormatTag<kGreyAlpha16>{});
    case kTruecolor:
        if (!opaque) return nullptr;
        return depth == 8 ? pick(FormatTag<kRgb8>{}) : pick(FormatTag<kRgb16>{});
    case kGrey:
        // Eight-bit grey is its own ramp; lower depths go through the table.
        if (!opaque || depth < 8) return nullptr;
        return depth == 8 ? pick(FormatTag<kGrey8>{}) : pick(FormatTag<kGrey16>{});
    default:
        return nullptr;
    }
#else
    (void)rowCode;
    (void)stream;
    return nullptr;
#endif
}

#if defined(CORVALE_PNG_X86)
namespace {
[[gnu::target("sse2")]] void StoreFence() {
    _mm_sfence();
}
} // namespace
#endif

void Converter::FinishStreaming() const {
#if defined(CORVALE_PNG_X86)
    if (streaming && code != RowCode::kPlain) StoreFence();
#endif
}

bool Converter::Row(const std::uint8_t* s, std::uint32_t n, std::uint8_t* d,
                    std::size_t dstStep) const {
    if (streamBlocks && dstStep == 4) {
        // The pixels up to a 16-byte boundary as usual, the rest streamed.
        const std::uint32_t head = PixelsToAlignment(d, n);
        if (head != 0 && !Convert(blocks, s, head, d, 4, true)) return false;
        return Convert(streamBlocks, s + std::size_t{head} * PixelBytes(), n - head,
                       d + std::size_t{head} * 4, 4, true);
    }
    return Convert(blocks, s, n, d, dstStep, true);
}

void Converter::Interleave(const std::uint8_t* even, const std::uint8_t* odd, std::uint32_t width,
                           std::uint8_t* d) const {
    // Where pixel x of the row comes from.
    auto source = [&](std::uint32_t x) { return (x & 1 ? odd : even) + std::size_t{x / 2} * 4; };
    std::uint32_t x = 0;
#if defined(CORVALE_PNG_X86)
    if (code != RowCode::kPlain) {
        if (streaming)
            for (const std::uint32_t head = PixelsToAlignment(d, width); x < head; ++x)
                std::memcpy(d + std::size_t{x} * 4, source(x), 4);
        // From x on, pixel x + 2m is first[m] and pixel x + 2m + 1 is second[m].
        x += InterleaveSse2(source(x), source(x + 1), width - x, d + std::size_t{x} * 4, streaming);
    }
#endif
    for (; x < width; ++x) std::memcpy(d + std::size_t{x} * 4, source(x), 4);
}

bool Converter::Convert(BlockFn fn, const std::uint8_t* s, std::uint32_t n, std::uint8_t* d,
                        std::size_t dstStep, bool stream) const {
    if (fn) {
        const std::uint32_t done = fn(s, n, d, dstStep);
        if (done == n) return true;
        s += std::size_t{done} * PixelBytes();
        d += std::size_t{done} * dstStep;
        n -= done;
    }
    if (depth == 16) return Row16(s, n, d, dstStep);
    switch (colorType) {
    case kTruecolorAlpha: {
        std::uint32_t i = 0;
#if defined(CORVALE_PNG_X86)
        if (code == RowCode::kSse2 && dstStep == 4) i = PremultiplyRgba(s, n, d);
#endif
        for (s += std::size_t{i} * 4, d += std::size_t{i} * dstStep; i < n;
             ++i, s += 4, d += dstStep)
            Store(d, s[0], s[1], s[2], s[3]);
        return true;
    }
    case kTruecolor:
        if (key < 0) {
            for (std::uint32_t i = 0; i < n; ++i, s += 3, d += dstStep) {
                const std::uint32_t v =
                    std::uint32_t{s[0]} << 16 | std::uint32_t{s[1]} << 8 | s[2] | 0xFF000000u;
                StoreBgra(d, v);
            }
        } else {
            const unsigned kr = (key >> 16) & 255, kg = (key >> 8) & 255, kb = key & 255;
            for (std::uint32_t i = 0; i < n; ++i, s += 3, d += dstStep) {
                const bool keyed = s[0] == kr && s[1] == kg && s[2] == kb;
                Store(d, s[0], s[1], s[2], keyed ? 0 : 255);
            }
        }
        return true;
    case kGreyAlpha:
        for (std::uint32_t i = 0; i < n; ++i, s += 2, d += dstStep)
            Store(d, s[0], s[0], s[0], s[1]);
        return true;
    default:
        return Indexed(s, n, d, dstStep, stream);
    }
}

// The stored pixel of every grey level or palette index (depths 1 to 8), made once.
void Converter::PrepareIndexed() {
    lutEntries = paletteEntries < 256 ? paletteEntries : 256;
    for (std::size_t v = 0; v < lutEntries; ++v) {
        const std::uint8_t* c = palette + v * 3;
        unsigned a = 255;
        if (colorType == kPalette && haveTrns && v < trns->size()) a = (*trns)[v];
        if (colorType == kGrey && key >= 0 && v == static_cast<std::size_t>(key)) a = 0;
        std::uint8_t px[4];
        Store(px, c[0], c[1], c[2], a);
        std::memcpy(&lut[v], px, 4);
    }
}

// Grey (through the ramp) and palette images of depths 1 to 8; grey pixels equal to the
// key are transparent (their table entry is); an index beyond the palette fails.
bool Converter::Indexed(const std::uint8_t* s, std::uint32_t n, std::uint8_t* d,
                        std::size_t dstStep, bool stream) const {
    const std::size_t entries = lutEntries; // locals: the stores below may alias members
    const std::uint32_t* table = lut;
    if (depth == 8) {
        // Every byte names an entry when the largest does (one quick pass over the row): the
        // copy then needs no check.
        unsigned top = 0;
#if defined(CORVALE_PNG_X86)
        if (code != RowCode::kPlain) {
            top = LargestByteSse2(s, n);
        } else
#endif
        {
            for (std::uint32_t i = 0; i < n; ++i) top = s[i] > top ? s[i] : top;
        }
        if (top >= entries) return false;
        std::uint32_t i = 0;
#if defined(CORVALE_PNG_X86)
        if (stream && streaming && dstStep == 4 && code != RowCode::kPlain) {
            for (const std::uint32_t head = PixelsToAlignment(d, n); i < head; ++i, d += 4)
                std::memcpy(d, &table[s[i]], 4);
            const std::uint32_t done = code >= RowCode::kSse41
                                           ? StreamIndexed8Sse41(table, s + i, n - i, d)
                                           : StreamIndexed8Sse2(table, s + i, n - i, d);
            i += done;
            d += std::size_t{done} * 4;
        } else if (dstStep == 4 && code >= RowCode::kSse41) {
            i = StoreIndexed8Sse41(table, s, n, d);
            d += std::size_t{i} * 4;
        }
#endif
        for (; i < n; ++i, d += dstStep) std::memcpy(d, &table[s[i]], 4);
        return true;
    }
    const unsigned mask = (1u << depth) - 1u;
    for (std::uint32_t i = 0; i < n; ++i, d += dstStep) {
        const std::uint64_t bit = std::uint64_t{i} * depth;
        const unsigned shift = 8 - depth - static_cast<unsigned>(bit & 7);
        const unsigned v = (s[bit >> 3] >> shift) & mask;
        if (v >= entries) return false;
        std::memcpy(d, &table[v], 4);
    }
    return true;
}

// 16-bit samples: the most significant byte of each is used.
bool Converter::Row16(const std::uint8_t* s, std::uint32_t n, std::uint8_t* d,
                      std::size_t dstStep) const {
    // The key bytes are read from the transparency chunk itself; a chunk read under an
    // earlier header may be too short for the colour type now in force.
    const std::size_t keyBytes = colorType == kTruecolor ? 5 : 1;
    const std::uint8_t* t = key >= 0 && trns->size() >= keyBytes ? trns->data() : nullptr;
    switch (colorType) {
    case kTruecolorAlpha:
        for (std::uint32_t i = 0; i < n; ++i, s += 8, d += dstStep)
            Store(d, s[0], s[2], s[4], s[6]);
        return true;
    case kTruecolor:
        for (std::uint32_t i = 0; i < n; ++i, s += 6, d += dstStep) {
            const bool keyed = t && s[0] == t[0] && s[2] == t[2] && s[4] == t[4];
            Store(d, s[0], s[2], s[4], keyed ? 0 : 255);
        }
        return true;
    case kGreyAlpha:
        for (std::uint32_t i = 0; i < n; ++i, s += 4, d += dstStep)
            Store(d, s[0], s[0], s[0], s[2]);
        return true;
    case kGrey:
        for (std::uint32_t i = 0; i < n; ++i, s += 2, d += dstStep) {
            Store(d, s[0], s[0], s[0], t && s[0] == t[0] ? 0 : 255);
        }
        return true;
    default:
        return false;
    }
}

// The palette used for grey images (a ramp) and for palette images without a palette chunk.
std::vector<std::uint8_t> PreparedPalette(const Header& h) {
    std::vector<std::uint8_t> pal(256 * 3, 0);
    if (h.colorType == kGrey && h.depth <= 8) {
        const unsigned top = (1u << h.depth) - 1u;
        const unsigned step = 255 / top;
        for (unsigned v = 1; v <= top; ++v) std::memset(&pal[v * 3], static_cast<int>(v * step), 3);
    }
    if (h.depth == 1) std::memset(&pal[3], 255, 3);
    return pal;
}

RowPass::RowPass(const Header& h, const Converter& conv, PngError& error)
    : conv_(conv), error_(error), width_(static_cast<std::uint32_t>(h.width)),
      height_(static_cast<std::uint32_t>(h.height)), bpp_(BitsPerPixel(h)),
      filterDistance_(bpp_ < 8 ? 1 : bpp_ / 8), interlaced_(h.interlace != 0),
      pass_(h.interlace ? 0 : kWholeImage), lastPass_(h.interlace ? 6 : kWholeImage),
      code_(conv.code), halves_(interlaced_ && width_ >= 2 && height_ >= 2) {}

// Starts on the image's pixels; false when there is no memory for the row buffers.
bool RowPass::Start(std::uint8_t* bits) {
    bits_ = bits;
    std::size_t longest = 0;
    for (int p = pass_; p <= lastPass_; ++p) {
        const PassSize s = SizeOfPass(kPasses[p], width_, height_);
        if (s.cols == 0 || s.rows == 0) continue;
        inPlacePass_ = s.rows == 1 ? p : -1; // stays set only for the last pass with pixels
        longest = std::max(longest, static_cast<std::size_t>(RowLength(s.cols, bpp_)));
    }
    if (inPlacePass_ >= 0) { // its row needs no buffer: size them by the other passes
        longest = 0;
        for (int p = pass_; p < inPlacePass_; ++p) {
            const PassSize s = SizeOfPass(kPasses[p], width_, height_);
            if (s.cols != 0 && s.rows != 0)
                longest = std::max(longest, static_cast<std::size_t>(RowLength(s.cols, bpp_)));
        }
    }
    if (longest != 0) {
        const std::size_t rowBytes = longest + kRowSlack;
        rows_.reset(new (std::nothrow) std::uint8_t[5 * rowBytes]());
        if (!rows_) return false;
        cur_ = rows_.get();
        prev_ = cur_ + rowBytes;
        spare_ = prev_ + rowBytes;
        quad_[0] = spare_ + rowBytes;
        quad_[1] = quad_[0] + rowBytes;
    }
    if (halves_) {
        oddColumns_.reset(new (std::nothrow) std::uint8_t[std::size_t{width_ / 2} * 4]);
        halves_ = oddColumns_ != nullptr; // only a quicker way: the decode goes on without it
    }
    EnterPass();
    return true;
}

// Unfilters and converts every row not yet done that lies within the first `available`
// bytes of the decompressed data, of which `data` holds those from `first` on. False when a
// row fails (the error is set).
bool RowPass::Advance(const std::uint8_t* data, std::size_t first, std::size_t available) {
    while (pass_ <= lastPass_) {
        if (available < offset_ || available - offset_ < rowLength_ + 1) return true;
        const std::uint8_t* src = data + (offset_ - first);
        if (src[0] > 4 && interlaced_) {
            error_ = PngError::BadFilterType;
            return false;
        }
        const std::size_t step = rowLength_ + 1;
        const std::uint8_t* above = prevInData_ ? data + (prevOffset_ - first) : prev_;
        if ((src[0] == 3 || src[0] == 4) && row_ + 3 < size_.rows &&
            available - offset_ >= 4 * step && src[step] == src[0] && src[2 * step] == src[0] &&
            src[3 * step] == src[0]) {
            // Four Average or four Paeth rows of the same pass unfiltered together; the last is
            // the row above the next.
            std::uint8_t* const out[4] = {cur_, spare_, quad_[0], quad_[1]};
            if (UnfilterFourRows(code_, src[0], src + 1, step, above, out, rowLength_,
                                 filterDistance_)) {
                quad_[1] = cur_;
                cur_ = prev_;
                prev_ = out[3];
                prevInData_ = false;
                if (!ConvertRow(out[0]) || !ConvertRow(out[1]) || !ConvertRow(out[2]) ||
                    !ConvertRow(out[3]))
                    return false;
                continue;
            }
        }
        if ((src[0] == 3 || src[0] == 4) && row_ + 1 < size_.rows &&
            available - offset_ >= 2 * step && src[step] == src[0] &&
            UnfilterTwoRows(code_, src[0], src + 1, src + step + 1, above, cur_, spare_, rowLength_,
                            filterDistance_)) {
            // This row and the next (same pass, same serial filter) unfiltered together; the
            // lower one is the row above the next.
            std::uint8_t* const upper = cur_;
            std::uint8_t* const lower = spare_;
            cur_ = prev_;
            prev_ = lower;
            spare_ = upper;
            prevInData_ = false;
            if (!ConvertRow(upper) || !ConvertRow(lower)) return false;
            continue;
        }
        const std::uint8_t* row = cur_;
        const bool unfiltered = src[0] == 0 || src[0] > 4; // none, or unknown taken as none
        if (pass_ == inPlacePass_) {
            // The decompressed data are this decoder's own buffer, handed over read-only.
            auto* bytes = const_cast<std::uint8_t*>(src) + 1;
            UnfilterFirstRowInPlace(src[0], bytes, rowLength_, filterDistance_);
            row = bytes;
        } else if (unfiltered) {
            // Converted where it lies, and the row above the next one from there.
            row = src + 1;
        } else {
            UnfilterRow(code_, src[0], src + 1, above, cur_, rowLength_, filterDistance_);
        }
        // The row above the next: this one where it lies, or its buffer.
        prevInData_ = unfiltered;
        if (unfiltered)
            prevOffset_ = offset_ + 1;
        else
            std::swap(cur_, prev_);
        if (!ConvertRow(row)) return false;
    }
    return true;
}

// Converts the current row of the pass from `row` into the image and moves on to the next row
// (and pass: its first row has zeros above it, so the row above must be settled before).
bool RowPass::ConvertRow(const std::uint8_t* row) {
    const Pass& pass = kPasses[pass_];
    const std::uint32_t y = pass.startRow + row_ * pass.rowStep;
    bool converted;
    if (halves_ && pass_ < 5 && y + 1 < height_) {
        // Even columns of an even row: at half their column in the row below.
        converted =
            conv_.CachedRow(row, size_.cols, ImageRow(y + 1) + std::size_t{pass.startCol / 2} * 4,
                            std::size_t{pass.colStep / 2} * 4);
    } else if (halves_ && pass_ == 5 && y + 1 < height_) {
        converted = conv_.CachedRow(row, size_.cols, oddColumns_.get(), 4);
        if (converted) conv_.Interleave(ImageRow(y + 1), oddColumns_.get(), width_, ImageRow(y));
    } else {
        // Also the last row of an odd height, which has no row below: its pixels go straight
        // to their places.
        converted = conv_.Row(row, size_.cols, ImageRow(y) + std::size_t{pass.startCol} * 4,
                              std::size_t{pass.colStep} * 4);
    }
    if (!converted) {
        error_ = PngError::PaletteIndex;
        return false;
    }
    offset_ += rowLength_ + 1;
    if (++row_ == size_.rows) {
        ++pass_;
        EnterPass();
    }
    return true;
}

bool RowPass::OnProgress(void* self, const std::uint8_t* data, std::size_t first,
                         std::size_t written, std::size_t& keepFrom) {
    auto& rows = *static_cast<RowPass*>(self);
    const bool ok = rows.Advance(data, first, written);
    // The next row, and the row above it when that is read where it lies.
    keepFrom = rows.prevInData_ ? rows.prevOffset_ - 1 : rows.offset_;
    return ok;
}

// Moves to the next pass that holds pixels (passes without columns or rows consume
// nothing); its first row has zeros above it.
void RowPass::EnterPass() {
    for (; pass_ <= lastPass_; ++pass_) {
        size_ = SizeOfPass(kPasses[pass_], width_, height_);
        if (size_.cols != 0 && size_.rows != 0) break;
    }
    if (pass_ > lastPass_) return;
    rowLength_ = static_cast<std::size_t>(RowLength(size_.cols, bpp_));
    if (pass_ != inPlacePass_) std::memset(prev_, 0, rowLength_);
    prevInData_ = false;
    row_ = 0;
}

} // namespace corvale
