#include "codecs/cPNGparser.h"

#include "codecs/image_host.h"
#include "codecs/inflate.h"
#include "codecs/modParsers.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <emmintrin.h>
#endif

namespace corvale {
namespace {

constexpr std::uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

// Adam7 passes 1-7 (start row, start column, row step, column step), then the whole image.
struct Pass {
    std::uint32_t startRow, startCol, rowStep, colStep;
};
constexpr Pass kPasses[8] = {{0, 0, 8, 8}, {0, 4, 8, 8}, {4, 0, 8, 4}, {0, 2, 4, 4},
                             {2, 0, 4, 2}, {0, 1, 2, 2}, {1, 0, 2, 1}, {0, 0, 1, 1}};
constexpr int kWholeImage = 7;

enum ColorType : std::uint8_t {
    kGrey = 0,
    kTruecolor = 2,
    kPalette = 3,
    kGreyAlpha = 4,
    kTruecolorAlpha = 6
};

// The image's own GDI+ route (ImageHost::DecodeThroughGdiplus).
bool ThroughTheImagesGdiplus(ImageHost& image, std::string_view fileName,
                             std::span<const std::uint8_t> bytes, std::uintptr_t token) {
    return image.DecodeThroughGdiplus(fileName, bytes, token);
}

inline std::uint32_t ReadU32BE(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

inline bool TypeIs(const std::uint8_t* type, const char (&name)[5]) {
    return std::memcmp(type, name, 4) == 0;
}

// x / 255 for x <= 255 * 255, truncating.
inline std::uint8_t Div255(std::uint32_t x) {
    return static_cast<std::uint8_t>((x * 0x8081u) >> 23);
}

struct Header {
    bool seen = false;
    std::int32_t width = 0, height = 0;
    std::uint8_t depth = 0, colorType = 0, interlace = 0;
    std::uint64_t expected = 0; // filtered bytes the header predicts
};

unsigned Channels(std::uint8_t colorType) {
    switch (colorType) {
    case kTruecolor:
        return 3;
    case kGreyAlpha:
        return 2;
    case kTruecolorAlpha:
        return 4;
    default:
        return 1;
    }
}

unsigned BitsPerPixel(const Header& h) {
    return Channels(h.colorType) * h.depth;
}

// Bytes of n pixels, without the filter byte.
std::uint64_t RowLength(std::uint64_t pixels, unsigned bitsPerPixel) {
    return (pixels * bitsPerPixel + 7) / 8;
}

struct PassSize {
    std::uint32_t cols = 0, rows = 0;
};

PassSize SizeOfPass(const Pass& p, std::uint32_t width, std::uint32_t height) {
    PassSize s;
    s.cols = width / p.colStep + (p.startCol < width % p.colStep ? 1 : 0);
    s.rows = height / p.rowStep + (p.startRow < height % p.rowStep ? 1 : 0);
    return s;
}

std::uint64_t ExpectedSize(const Header& h) {
    const unsigned bpp = BitsPerPixel(h);
    const auto w = static_cast<std::uint32_t>(h.width), hh = static_cast<std::uint32_t>(h.height);
    if (h.interlace == 0) return std::uint64_t{hh} * (RowLength(w, bpp) + 1);
    std::uint64_t total = 0;
    for (int p = 0; p < 7; ++p) {
        const PassSize s = SizeOfPass(kPasses[p], w, hh);
        if (s.cols != 0 && s.rows != 0)
            total += std::uint64_t{s.rows} * (RowLength(s.cols, bpp) + 1);
    }
    return total;
}

// The depths the PNG format allows for each colour type; other pairs are refused because the
// pixel layout they imply is undefined.
bool ValidDepthFor(std::uint8_t colorType, std::uint8_t depth) {
    switch (colorType) {
    case kGrey:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case kPalette:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case kTruecolor:
    case kGreyAlpha:
    case kTruecolorAlpha:
        return depth == 8 || depth == 16;
    default:
        return false;
    }
}

// ---- Chunk walk -----------------------------------------------------------------------------

struct DecodeState {
    Header header;
    std::vector<std::uint8_t> palette; // RGB triples
    bool havePalette = false;
    std::vector<std::uint8_t> trns; // body of the transparency chunk (palette: padded to 256)
    bool haveTrns = false;
    std::int32_t key = -1;
    std::span<const std::uint8_t> firstIdat; // the first image-data chunk's body
    std::uint64_t idatChunks = 0;
    std::uint64_t idatBytes = 0;
};

class ChunkWalker {
  public:
    ChunkWalker(const ZlibLibrary* zlib, DecodeState& st, std::string& error)
        : zlib_(zlib), st_(st), error_(error) {}

    bool Walk(std::span<const std::uint8_t> png) {
        std::size_t pos = 8;
        for (;;) {
            if (png.size() - pos < 4) return Fail("data end before the IEND chunk");
            const std::uint32_t length = ReadU32BE(png.data() + pos);
            if (length > 0x7FFFFFFFu) return Fail("negative chunk length");
            if (png.size() - pos < 12 || png.size() - pos - 12 < length)
                return Fail("chunk runs past the end of the data");
            const std::uint8_t* type = png.data() + pos + 4;
            const std::uint32_t storedCrc = zlib_ ? ReadU32BE(type + 4 + length) : 0;
            const std::span<const std::uint8_t> typeAndBody(type, std::size_t{length} + 4);
            const std::span<const std::uint8_t> body = typeAndBody.subspan(4);
            pos += 12 + std::size_t{length};

            if (TypeIs(type, "IEND")) return true;
            if (length == 0) continue;
            if (TypeIs(type, "IHDR")) {
                if (!OnHeader(typeAndBody, body, storedCrc)) return false;
            } else if (TypeIs(type, "PLTE")) {
                if (!OnPalette(typeAndBody, body, storedCrc)) return false;
            } else if (TypeIs(type, "tRNS")) {
                OnTransparency(typeAndBody, body, storedCrc);
            } else if (TypeIs(type, "IDAT")) {
                if (storedCrc != 0 && !CrcMatches(typeAndBody, storedCrc))
                    return Fail("image data chunk fails its CRC");
                if (st_.idatChunks++ == 0) st_.firstIdat = body;
                st_.idatBytes += body.size();
            }
            // Every other chunk is skipped unread.
        }
    }

  private:
    bool Fail(const char* why) {
        error_ = why;
        return false;
    }

    bool CrcMatches(std::span<const std::uint8_t> typeAndBody, std::uint32_t stored) const {
        const std::uint32_t computed = zlib_->Crc32(typeAndBody);
        return computed != 0 && computed == stored;
    }

    bool OnHeader(std::span<const std::uint8_t> typeAndBody, std::span<const std::uint8_t> b,
                  std::uint32_t storedCrc) {
        if (storedCrc != 0 && !CrcMatches(typeAndBody, storedCrc))
            return Fail("header chunk fails its CRC");
        if (b.size() < 13) return Fail("header chunk too short");
        Header h;
        h.width = static_cast<std::int32_t>(ReadU32BE(b.data()));
        h.height = static_cast<std::int32_t>(ReadU32BE(b.data() + 4));
        if (h.width < 1 || h.height < 1) return Fail("width or height below 1");
        if (b[10] != 0 || b[11] != 0) return Fail("unknown compression or filter method");
        h.depth = b[8];
        h.colorType = b[9];
        h.interlace = b[12];
        if (!ValidDepthFor(h.colorType, h.depth)) return Fail("unknown colour type or bit depth");
        if (h.interlace > 1) return Fail("unknown interlace method");
        if (std::int64_t{h.width} * 32 > kPngMaxPixelBits / h.height)
            return Fail("image too large");
        h.expected = ExpectedSize(h);
        h.seen = true;
        st_.header = h;
        return true;
    }

    bool OnPalette(std::span<const std::uint8_t> typeAndBody, std::span<const std::uint8_t> b,
                   std::uint32_t storedCrc) {
        const std::uint8_t ct = st_.header.colorType;
        if (ct == kGrey || ct == kGreyAlpha) return true;
        if (storedCrc != 0 && !CrcMatches(typeAndBody, storedCrc))
            return Fail("palette chunk fails its CRC");
        if (b.size() % 3 != 0) return Fail("palette length not a multiple of 3");
        st_.palette.assign(b.begin(), b.end());
        st_.havePalette = true;
        return true;
    }

    void OnTransparency(std::span<const std::uint8_t> typeAndBody, std::span<const std::uint8_t> b,
                        std::uint32_t storedCrc) {
        const std::uint8_t ct = st_.header.colorType;
        if (ct == kGreyAlpha || ct == kTruecolorAlpha) return;
        if (storedCrc != 0 && !CrcMatches(typeAndBody, storedCrc)) return;
        st_.trns.assign(b.begin(), b.end());
        st_.haveTrns = true;
        st_.key = -1;
        if (ct == kGrey) {
            if (b.size() >= 2) st_.key = b[1];
        } else if (ct == kTruecolor) {
            if (b.size() >= 6) st_.key = std::int32_t{b[1]} << 16 | std::int32_t{b[3]} << 8 | b[5];
        } else if (ct == kPalette) {
            if (st_.trns.size() < 256) st_.trns.resize(256, 255);
            st_.key = 0;
        }
    }

    const ZlibLibrary* zlib_;
    DecodeState& st_;
    std::string& error_;
};

// Appends the bodies of the image-data chunks before the first IEND to out (a second walk over
// chunks the walker has already checked, so that nothing is kept per chunk).
void JoinImageData(std::span<const std::uint8_t> png, std::vector<std::uint8_t>& out) {
    for (std::size_t pos = 8; png.size() - pos >= 12;) {
        const std::uint32_t length = ReadU32BE(png.data() + pos);
        if (png.size() - pos - 12 < length) return;
        const std::uint8_t* type = png.data() + pos + 4;
        if (TypeIs(type, "IEND")) return;
        if (TypeIs(type, "IDAT")) out.insert(out.end(), type + 4, type + 4 + length);
        pos += 12 + std::size_t{length};
    }
}

// ---- Unfiltering ----------------------------------------------------------------------------
//
// A row is unfiltered from the decompressed data into a row buffer of its own: the decompressed
// data stay as they are (the own inflate may still copy from them) and the row above is the
// previous row buffer (all zero on the first row of an image or pass). Row buffers have
// kRowSlack bytes past the row, and the decompressed data kInputSlack bytes past their end,
// for the wider reads and writes of 3- and 6-byte pixels.

constexpr std::size_t kRowSlack = 16;
constexpr std::size_t kInputSlack = 16;
// The smallest window the own inflate decompresses into (larger for very wide rows).
constexpr std::size_t kPngInflateWindow = std::size_t{1} << 20;

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define CORVALE_PNG_X86 1
#endif

// Whether the SSE2 row code is used: x86_64 always has SSE2; i686 asks the processor. Tests
// switch it off to compare both.
std::atomic<bool> gPlainRowsForced{false};

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

struct Converter {
    std::uint8_t colorType = 0, depth = 0;
    const std::uint8_t* palette = nullptr; // RGB triples
    std::size_t paletteEntries = 0;
    const std::vector<std::uint8_t>* trns = nullptr;
    bool haveTrns = false;
    std::int32_t key = -1;
    std::uint32_t lut[256] = {};
    bool skip[256] = {};
    std::size_t lutEntries = 0;
    bool sse2 = false;

    static void Store(std::uint8_t* d, unsigned r, unsigned g, unsigned b, unsigned a) {
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
    bool Row(const std::uint8_t* s, std::uint32_t n, std::uint8_t* d, std::size_t dstStep) const {
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
    void PrepareIndexed() {
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
    bool Indexed(const std::uint8_t* s, std::uint32_t n, std::uint8_t* d,
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
    bool Row16(const std::uint8_t* s, std::uint32_t n, std::uint8_t* d, std::size_t dstStep) const {
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
};

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
// bytes become available, so that the own inflate can hand them over while they are still in
// the cache. Each row is unfiltered into one of two row buffers (the other holds the row above),
// except the last row of the data when it is the only row of its pass: nothing reads the
// decompressed data after it, so it is unfiltered where it lies. A picture one row high thus
// needs no row buffer, and an interlaced one only buffers of its passes before the last.
class RowPass {
  public:
    RowPass(const Header& h, const Converter& conv, std::string& error)
        : conv_(conv), error_(error), width_(static_cast<std::uint32_t>(h.width)),
          height_(static_cast<std::uint32_t>(h.height)), bpp_(BitsPerPixel(h)),
          filterDistance_(bpp_ < 8 ? 1 : bpp_ / 8), interlaced_(h.interlace != 0),
          pass_(h.interlace ? 0 : kWholeImage), lastPass_(h.interlace ? 6 : kWholeImage),
          sse2_(UseSse2()) {}

    // Starts on the image's pixels; false when there is no memory for the row buffers.
    bool Start(std::uint8_t* bits) {
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
    bool Advance(const std::uint8_t* data, std::size_t first, std::size_t available) {
        while (pass_ <= lastPass_) {
            if (available < offset_ || available - offset_ < rowLength_ + 1) return true;
            const std::uint8_t* src = data + (offset_ - first);
            if (src[0] > 4 && interlaced_) {
                error_ = "unknown filter type in an interlaced image";
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
                error_ = "palette index beyond the palette";
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

    static bool OnProgress(void* self, const std::uint8_t* data, std::size_t first,
                           std::size_t written, std::size_t& keepFrom) {
        auto& rows = *static_cast<RowPass*>(self);
        const bool ok = rows.Advance(data, first, written);
        keepFrom = rows.offset_; // the next row
        return ok;
    }

  private:
    // Moves to the next pass that holds pixels (passes without columns or rows consume
    // nothing); its first row has zeros above it.
    void EnterPass() {
        for (; pass_ <= lastPass_; ++pass_) {
            size_ = SizeOfPass(kPasses[pass_], width_, height_);
            if (size_.cols != 0 && size_.rows != 0) break;
        }
        if (pass_ > lastPass_) return;
        rowLength_ = static_cast<std::size_t>(RowLength(size_.cols, bpp_));
        if (pass_ != inPlacePass_) std::memset(prev_, 0, rowLength_);
        row_ = 0;
    }

    const Converter& conv_;
    std::uint8_t* bits_ = nullptr;
    std::string& error_;
    const std::uint32_t width_, height_;
    const unsigned bpp_;
    const std::size_t filterDistance_;
    const bool interlaced_;
    int pass_;
    const int lastPass_;
    const bool sse2_;
    int inPlacePass_ = -1; // the pass whose only row is the last of the data, or -1
    std::unique_ptr<std::uint8_t[]> rows_;
    std::uint8_t* cur_ = nullptr;
    std::uint8_t* prev_ = nullptr;
    PassSize size_;
    std::size_t rowLength_ = 0;
    std::uint32_t row_ = 0;
    std::size_t offset_ = 0; // of the next row's filter byte in the decompressed data
};

} // namespace

void ForcePlainPngRows(bool plain) {
    gPlainRowsForced.store(plain);
}

PngDecodeOptions DefaultPngDecodeOptions() {
    PngDecodeOptions options;
    options.gdiplus = ThroughTheImagesGdiplus;
    return options;
}

bool HasPngSignature(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 8 && std::memcmp(bytes.data(), kSignature, 8) == 0;
}

bool cPNGparser::LoadStream(std::span<const std::uint8_t> stream, ImageHost& cHost,
                            std::uintptr_t gdiToken) {
    inflater_ = Inflater::None;
    error_.clear();
    if (!HasPngSignature(stream)) return false;
    if (options_.gdiplus && options_.gdiplus(cHost, {}, stream, gdiToken)) return true;
    Decode(stream, cHost);
    return true;
}

bool cPNGparser::LoadFile(const std::string& fileName, ImageHost& cHost, std::uintptr_t gdiToken) {
    inflater_ = Inflater::None;
    error_.clear();
    if (fileName.empty()) return false;
    FileHandle file = OpenFileForWrite(fileName, true, false);
    if (!file.valid()) return false;
    const auto size = file.Size();
    if (!size || *size <= 56 || *size > kPngMaxFileBytes) return false;
    std::vector<std::uint8_t> bytes;
    try {
        if (!file.ReadAll(bytes)) return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!HasPngSignature(bytes)) return false;
    if (options_.gdiplus && options_.gdiplus(cHost, fileName, {}, gdiToken)) return true;
    Decode(bytes, cHost);
    return true;
}

bool cPNGparser::Decode(std::span<const std::uint8_t> png, ImageHost& cHost) {
    try {
        std::unique_ptr<ZlibLibrary> zlib;
        if (!options_.zlibNames.empty())
            zlib = ZlibLibrary::Open(FindZlib(false, options_.zlibNames));

        DecodeState st;
        ChunkWalker walker(zlib.get(), st, error_);
        if (!walker.Walk(png)) return false;
        const Header& h = st.header;
        if (!h.seen) return error_ = "no header chunk", false;
        if (options_.maxSide > 0 && (h.width > options_.maxSide || h.height > options_.maxSide))
            return error_ = "image larger than allowed here", false;
        if (st.idatBytes == 0) return error_ = "no image data", false;
        if (h.expected > st.idatBytes * kDeflateMaxRatio + 1024)
            return error_ = "image data too short for the image", false;

        // Join the image data (in place when there is one chunk).
        std::vector<std::uint8_t> joined;
        std::span<const std::uint8_t> idat = st.firstIdat;
        if (st.idatChunks > 1) {
            joined.reserve(static_cast<std::size_t>(st.idatBytes));
            JoinImageData(png, joined);
            if (joined.size() != st.idatBytes) return error_ = "image data changed", false;
            idat = joined;
        }

        std::vector<std::uint8_t> palette;
        if (h.colorType == kGrey || (h.colorType == kPalette && !st.havePalette))
            palette = PreparedPalette(h);
        else
            palette = st.palette;

        Converter conv;
        conv.colorType = h.colorType;
        conv.depth = h.depth;
        conv.palette = palette.data();
        conv.paletteEntries = palette.size() / 3;
        conv.trns = &st.trns;
        conv.haveTrns = st.haveTrns;
        conv.key = st.key;
        conv.sse2 = UseSse2();
        if (h.depth <= 8 && (h.colorType == kGrey || h.colorType == kPalette))
            conv.PrepareIndexed();

        // zlib decompresses all rows at once; the own inflate hands them over as it goes and
        // needs only a window over them: the last 64 KiB for its matches, the row not yet
        // complete, and room to go on.
        const auto expected = static_cast<std::size_t>(h.expected);
        const bool withZlib = zlib && zlib->HasUncompress();
        const std::size_t rowBytes =
            static_cast<std::size_t>(RowLength(h.width, BitsPerPixel(h))) + 1;
        const std::size_t window =
            withZlib ? expected
                     : std::min(expected,
                                std::max(kPngInflateWindow, rowBytes + (std::size_t{512} << 10)));
        // With slack for the wide reads of the row code.
        std::unique_ptr<std::uint8_t[]> raw(new std::uint8_t[window + kInputSlack]);

        // The image is made once the rows can be converted: after zlib, or before the own
        // inflate, which converts them as it goes.
        RowPass rows(h, conv, error_);
        bool tried = false, made = false;
        auto makeImage = [&] {
            if (tried) return made;
            tried = true;
            if (!cHost.InitializeDIB(h.width, h.height))
                return error_ = "no memory for the image", false;
            if (!rows.Start(cHost.BitsPointer())) return error_ = "out of memory", false;
            return made = true;
        };
        bool ok = true;
        bool inflated = false;
        if (withZlib) {
            std::size_t written = 0;
            inflated = zlib->Uncompress({raw.get(), expected}, idat, &written) == kZlibOk &&
                       written == expected;
            if (inflated) {
                inflater_ = Inflater::Zlib;
                ok = makeImage() && rows.Advance(raw.get(), 0, expected);
            }
        }
        if (!inflated) {
            // Each row is converted soon after the inflate has written it.
            InflateProgress progress;
            progress.notify = &RowPass::OnProgress;
            progress.context = &rows;
            progress.interval = std::size_t{64} << 10;
            ok = makeImage();
            const InflateResult r =
                ok ? InflateWindowed({raw.get(), window}, idat, expected, progress)
                   : InflateResult{};
            inflated = r.ok && r.written == expected;
            if (inflated) inflater_ = Inflater::Own;
            if (ok && !inflated) {
                if (error_.empty()) error_ = "image data do not decompress";
                ok = false;
            }
        }
        joined = {};
        if (!ok) {
            cHost.DestroyDIB();
            return false;
        }
        const bool alpha =
            h.colorType == kGreyAlpha || h.colorType == kTruecolorAlpha || st.key >= 0;
        cHost.SetAlpha(alpha);
        cHost.SetImageType(image_type::kPng);
        return true;
    } catch (const std::bad_alloc&) {
        error_ = "out of memory";
        cHost.DestroyDIB();
        return false;
    }
}

bool DecodePngStream(ImageHost& dib, std::span<const std::uint8_t> bytes, const IconWish&) {
    cPNGparser parser;
    return parser.LoadStream(bytes, dib, dib.gdiToken()) && dib.BitsPointer() != nullptr;
}

} // namespace corvale
