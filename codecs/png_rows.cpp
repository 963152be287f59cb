#include "codecs/png_rows.h"

#include "codecs/cPNGparser.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <emmintrin.h>
#endif

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define CORVALE_PNG_X86 1
#endif

namespace corvale {
namespace {

// Whether the SSE2 row code is used: x86_64 always has SSE2; i686 asks the processor. Tests
// switch it off to compare both.
std::atomic<bool> gPlainRowsForced{false};

} // namespace

bool UseSse2() {
#if defined(__x86_64__)
    return !gPlainRowsForced.load(std::memory_order_relaxed);
#elif defined(CORVALE_PNG_X86)
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("sse2") != 0;
    }();
    return has && !gPlainRowsForced.load(std::memory_order_relaxed);
#else
    return false;
#endif
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

// Pixels of one or two bytes: the left bytes are carried in registers. Read back from the row,
// as above, every byte would wait for the store of the byte before it to arrive.
template <std::size_t kBpp, class Predict>
void UnfilterNarrow(const std::uint8_t* src, const std::uint8_t* prev, std::uint8_t* dst,
                    std::size_t n, Predict predict) {
    unsigned a[kBpp] = {}, c[kBpp] = {}; // left and upper left, zero left of the row
    for (std::size_t i = 0; i + kBpp <= n; i += kBpp)
        for (std::size_t j = 0; j < kBpp; ++j) {
            const unsigned b = prev[i + j];
            a[j] = (src[i + j] + predict(a[j], b, c[j])) & 255u;
            c[j] = b;
            dst[i + j] = static_cast<std::uint8_t>(a[j]);
        }
}

template <std::size_t kBpp>
bool UnfilterNarrow(std::uint8_t filter, const std::uint8_t* src, const std::uint8_t* prev,
                    std::uint8_t* dst, std::size_t n) {
    switch (filter) {
    case 1:
        UnfilterNarrow<kBpp>(src, prev, dst, n, [](unsigned a, unsigned, unsigned) { return a; });
        return true;
    case 3:
        UnfilterNarrow<kBpp>(src, prev, dst, n,
                             [](unsigned a, unsigned b, unsigned) { return (a + b) >> 1; });
        return true;
    case 4:
        UnfilterNarrow<kBpp>(src, prev, dst, n, [](unsigned a, unsigned b, unsigned c) -> unsigned {
            return Paeth(static_cast<int>(a), static_cast<int>(b), static_cast<int>(c));
        });
        return true;
    default:
        return false;
    }
}

#if defined(CORVALE_PNG_X86)
// Pixels of 3, 4, 6 or 8 bytes, one pixel at a time in the low lanes of a register. 3- and
// 6-byte pixels are read and written as 4 and 8 bytes; the bytes past the pixel are the next
// pixel's and are written again with it (or fall in the slack after the row).

// One pixel into the low lanes: 4 bytes for pixels of 3 or 4 bytes, 8 for 6 or 8.
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

[[gnu::target("sse2"), gnu::always_inline]] inline __m128i Abs16(__m128i x) {
    return _mm_max_epi16(x, _mm_sub_epi16(_mm_setzero_si128(), x));
}

// Paeth in 16-bit lanes: pa = |b - c|, pb = |a - c|, pc = |a + b - 2c|; ties go to a, then b.
template <std::size_t kBpp>
[[gnu::target("sse2")]] void UnfilterPaethSse2(const std::uint8_t* src, const std::uint8_t* prev,
                                               std::uint8_t* dst, std::size_t n) {
    const __m128i zero = _mm_setzero_si128();
    __m128i a = zero, c = zero;
    for (std::size_t i = 0; i < n; i += kBpp) {
        const __m128i b = _mm_unpacklo_epi8(LoadPixel<kBpp>(prev + i), zero);
        const __m128i pa = Abs16(_mm_sub_epi16(b, c));
        const __m128i pb = Abs16(_mm_sub_epi16(a, c));
        const __m128i pc = Abs16(_mm_add_epi16(_mm_sub_epi16(a, c), _mm_sub_epi16(b, c)));
        const __m128i smallest = _mm_min_epi16(pc, _mm_min_epi16(pa, pb));
        const __m128i takeA = _mm_cmpeq_epi16(smallest, pa);
        const __m128i takeB = _mm_cmpeq_epi16(smallest, pb);
        const __m128i bOrC = _mm_or_si128(_mm_and_si128(takeB, b), _mm_andnot_si128(takeB, c));
        const __m128i predictor =
            _mm_or_si128(_mm_and_si128(takeA, a), _mm_andnot_si128(takeA, bOrC));
        const __m128i x = _mm_add_epi8(_mm_packus_epi16(predictor, zero), LoadPixel<kBpp>(src + i));
        StorePixel<kBpp>(dst + i, x);
        a = _mm_unpacklo_epi8(x, zero);
        c = b;
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
bool UnfilterSse2(std::uint8_t filter, const std::uint8_t* src, const std::uint8_t* prev,
                  std::uint8_t* dst, std::size_t n) {
    switch (filter) {
    case 1:
        UnfilterSubSse2<kBpp>(src, dst, n);
        return true;
    case 3:
        UnfilterAverageSse2<kBpp>(src, prev, dst, n);
        return true;
    case 4:
        UnfilterPaethSse2<kBpp>(src, prev, dst, n);
        return true;
    default:
        return false;
    }
}
#endif

// Unfilters one row of n bytes from src into dst; prev is the unfiltered row above (zeros on the
// first row). The caller handles unknown filter types (taken as none here).
void UnfilterRow(bool sse2, std::uint8_t filter, const std::uint8_t* src, const std::uint8_t* prev,
                 std::uint8_t* dst, std::size_t n, std::size_t bpp) {
#if defined(CORVALE_PNG_X86)
    if (sse2) {
        if (filter == 2) return UnfilterUpSse2(src, prev, dst, n);
        if (bpp == 4 && UnfilterSse2<4>(filter, src, prev, dst, n)) return;
        if (bpp == 3 && UnfilterSse2<3>(filter, src, prev, dst, n)) return;
        if (bpp == 6 && UnfilterSse2<6>(filter, src, prev, dst, n)) return;
        if (bpp == 8 && UnfilterSse2<8>(filter, src, prev, dst, n)) return;
    }
#else
    (void)sse2;
#endif
    if (bpp == 1 && UnfilterNarrow<1>(filter, src, prev, dst, n)) return;
    if (bpp == 2 && UnfilterNarrow<2>(filter, src, prev, dst, n)) return;
    UnfilterPlain(filter, src, prev, dst, n, bpp);
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
#endif

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

// Converts n pixels of one unfiltered row into the image, dstStep bytes apart.
bool Converter::Row(const std::uint8_t* s, std::uint32_t n, std::uint8_t* d,
                    std::size_t dstStep) const {
    if (depth == 16) return Row16(s, n, d, dstStep);
    switch (colorType) {
    case kTruecolorAlpha: {
        std::uint32_t i = 0;
#if defined(CORVALE_PNG_X86)
        if (sse2 && dstStep == 4) i = PremultiplyRgba(s, n, d);
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
        return Indexed(s, n, d, dstStep);
    }
}

// The stored pixel of every grey level or palette index (depths 1 to 8), made once.
void Converter::PrepareIndexed() {
    lutEntries = paletteEntries < 256 ? paletteEntries : 256;
    for (std::size_t v = 0; v < lutEntries; ++v) {
        const std::uint8_t* c = palette + v * 3;
        unsigned a = 255;
        skip[v] = colorType == kGrey && key >= 0 && v == static_cast<std::size_t>(key);
        if (colorType == kPalette && haveTrns && v < trns->size()) a = (*trns)[v];
        std::uint8_t px[4];
        Store(px, c[0], c[1], c[2], a);
        std::memcpy(&lut[v], px, 4);
    }
}

// Grey (through the ramp) and palette images of depths 1 to 8; grey pixels equal to the
// key stay transparent; an index beyond the palette fails.
bool Converter::Indexed(const std::uint8_t* s, std::uint32_t n, std::uint8_t* d,
                        std::size_t dstStep) const {
    const std::size_t entries = lutEntries; // locals: the stores below may alias members
    const bool keyed = colorType == kGrey && key >= 0;
    if (depth == 8 && entries == 256 && !keyed) { // every byte names an entry
        for (std::uint32_t i = 0; i < n; ++i, d += dstStep) std::memcpy(d, &lut[s[i]], 4);
        return true;
    }
    if (depth == 8) {
        for (std::uint32_t i = 0; i < n; ++i, d += dstStep) {
            const unsigned v = s[i];
            if (v >= entries) return false;
            if (!skip[v]) std::memcpy(d, &lut[v], 4);
        }
        return true;
    }
    const unsigned mask = (1u << depth) - 1u;
    for (std::uint32_t i = 0; i < n; ++i, d += dstStep) {
        const std::uint64_t bit = std::uint64_t{i} * depth;
        const unsigned shift = 8 - depth - static_cast<unsigned>(bit & 7);
        const unsigned v = (s[bit >> 3] >> shift) & mask;
        if (v >= entries) return false;
        if (!skip[v]) std::memcpy(d, &lut[v], 4);
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
            if (t && s[0] == t[0]) continue; // stays transparent
            Store(d, s[0], s[0], s[0], 255);
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

// Undoes filtering and interlacing and converts the rows into the image as their decompressed

RowPass::RowPass(const Header& h, const Converter& conv, PngError& error)
    : conv_(conv), error_(error), width_(static_cast<std::uint32_t>(h.width)),
      height_(static_cast<std::uint32_t>(h.height)), bpp_(BitsPerPixel(h)),
      filterDistance_(bpp_ < 8 ? 1 : bpp_ / 8), interlaced_(h.interlace != 0),
      pass_(h.interlace ? 0 : kWholeImage), lastPass_(h.interlace ? 6 : kWholeImage),
      sse2_(UseSse2()) {}

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
        rows_.reset(new (std::nothrow) std::uint8_t[2 * rowBytes]());
        if (!rows_) return false;
        cur_ = rows_.get();
        prev_ = cur_ + rowBytes;
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
        const std::uint8_t* row = cur_;
        if (pass_ == inPlacePass_) {
            // The decompressed data are this decoder's own buffer, handed over read-only.
            auto* bytes = const_cast<std::uint8_t*>(src) + 1;
            UnfilterFirstRowInPlace(src[0], bytes, rowLength_, filterDistance_);
            row = bytes;
        } else {
            UnfilterRow(sse2_, src[0], src + 1, prev_, cur_, rowLength_, filterDistance_);
        }
        const Pass& pass = kPasses[pass_];
        const std::uint32_t y = pass.startRow + row_ * pass.rowStep;
        std::uint8_t* dst =
            bits_ + std::size_t{height_ - 1 - y} * width_ * 4 + std::size_t{pass.startCol} * 4;
        if (!conv_.Row(row, size_.cols, dst, std::size_t{pass.colStep} * 4)) {
            error_ = PngError::PaletteIndex;
            return false;
        }
        std::swap(cur_, prev_);
        offset_ += rowLength_ + 1;
        if (++row_ == size_.rows) {
            ++pass_;
            EnterPass();
        }
    }
    return true;
}

bool RowPass::OnProgress(void* self, const std::uint8_t* data, std::size_t first,
                         std::size_t written, std::size_t& keepFrom) {
    auto& rows = *static_cast<RowPass*>(self);
    const bool ok = rows.Advance(data, first, written);
    keepFrom = rows.offset_; // the next row
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
    row_ = 0;
}

void ForcePlainPngRows(bool plain) {
    gPlainRowsForced.store(plain);
}

} // namespace corvale
