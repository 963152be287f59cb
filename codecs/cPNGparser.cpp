#include "codecs/cPNGparser.h"

#include "codecs/image_host.h"
#include "codecs/inflate.h"
#include "codecs/modParsers.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#if defined(__SSE2__)
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
    std::vector<std::span<const std::uint8_t>> idat;
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
                st_.idat.push_back(body);
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

// ---- Unfiltering ----------------------------------------------------------------------------

inline std::uint8_t Paeth(int a, int b, int c) {
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    if (pa <= pb && pa <= pc) return static_cast<std::uint8_t>(a);
    if (pb <= pc) return static_cast<std::uint8_t>(b);
    return static_cast<std::uint8_t>(c);
}

#if defined(__SSE2__)
// Paeth for 3 to 8 bytes a pixel, one pixel at a time in 16-bit lanes (pa = |b - c|,
// pb = |a - c|, pc = |a + b - 2c|; ties go to a, then b).
void UnfilterPaethWide(std::uint8_t* row, const std::uint8_t* prev, std::size_t n,
                       std::size_t bpp) {
    const __m128i zero = _mm_setzero_si128();
    auto load = [&](const std::uint8_t* p) {
        std::uint64_t v = 0;
        std::memcpy(&v, p, bpp);
        return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&v)), zero);
    };
    auto abs16 = [&](__m128i x) { return _mm_max_epi16(x, _mm_sub_epi16(zero, x)); };
    __m128i a = zero, c = zero;
    for (std::size_t i = 0; i + bpp <= n; i += bpp) {
        const __m128i b = load(prev + i);
        const __m128i x = load(row + i);
        const __m128i pa = abs16(_mm_sub_epi16(b, c));
        const __m128i pb = abs16(_mm_sub_epi16(a, c));
        const __m128i pc = abs16(_mm_add_epi16(_mm_sub_epi16(a, c), _mm_sub_epi16(b, c)));
        const __m128i smallest = _mm_min_epi16(pc, _mm_min_epi16(pa, pb));
        const __m128i takeA = _mm_cmpeq_epi16(smallest, pa);
        const __m128i takeB = _mm_cmpeq_epi16(smallest, pb);
        const __m128i bOrC = _mm_or_si128(_mm_and_si128(takeB, b), _mm_andnot_si128(takeB, c));
        const __m128i predictor =
            _mm_or_si128(_mm_and_si128(takeA, a), _mm_andnot_si128(takeA, bOrC));
        a = _mm_and_si128(_mm_add_epi16(x, predictor), _mm_set1_epi16(0xFF));
        std::uint64_t out;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(&out), _mm_packus_epi16(a, zero));
        std::memcpy(row + i, &out, bpp);
        c = b;
    }
}
#endif

// Unfilters one row in place; prev is the unfiltered row above or nullptr on the first row.
// False for an unknown filter type (the row is left as it is).
bool UnfilterRow(std::uint8_t filter, std::uint8_t* row, const std::uint8_t* prev, std::size_t n,
                 std::size_t bpp) {
    switch (filter) {
    case 0:
        return true;
    case 1:
        for (std::size_t i = bpp; i < n; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + row[i - bpp]);
        return true;
    case 2:
        if (prev)
            for (std::size_t i = 0; i < n; ++i)
                row[i] = static_cast<std::uint8_t>(row[i] + prev[i]);
        return true;
    case 3:
        if (prev) {
            for (std::size_t i = 0; i < bpp && i < n; ++i)
                row[i] = static_cast<std::uint8_t>(row[i] + (prev[i] >> 1));
            for (std::size_t i = bpp; i < n; ++i)
                row[i] = static_cast<std::uint8_t>(row[i] + ((row[i - bpp] + prev[i]) >> 1));
        } else {
            for (std::size_t i = bpp; i < n; ++i)
                row[i] = static_cast<std::uint8_t>(row[i] + (row[i - bpp] >> 1));
        }
        return true;
    case 4:
        if (prev) {
#if defined(__SSE2__)
            if (bpp >= 3 && n % bpp == 0) {
                UnfilterPaethWide(row, prev, n, bpp);
                return true;
            }
#endif
            for (std::size_t i = 0; i < bpp && i < n; ++i)
                row[i] = static_cast<std::uint8_t>(row[i] + prev[i]);
            for (std::size_t i = bpp; i < n; ++i)
                row[i] =
                    static_cast<std::uint8_t>(row[i] + Paeth(row[i - bpp], prev[i], prev[i - bpp]));
        } else {
            // With no row above the predictor is always the left byte.
            for (std::size_t i = bpp; i < n; ++i)
                row[i] = static_cast<std::uint8_t>(row[i] + row[i - bpp]);
        }
        return true;
    default:
        return false;
    }
}

// ---- Conversion -----------------------------------------------------------------------------

#if defined(__SSE2__)
// Premultiplies RGBA into BGRA four pixels at a time: (c * a + 1) * 257 >> 16 equals
// (c * a) \ 255 for every c, a up to 255, so opaque and clear pixels need no special case.
// Returns the number of pixels done.
std::uint32_t PremultiplyRgba(const std::uint8_t* s, std::uint32_t n, std::uint8_t* d) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i rgbLanes = _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1);
    const __m128i alphaLanes = _mm_set_epi16(255, 0, 0, 0, 255, 0, 0, 0);
    const __m128i one = _mm_set1_epi16(1), m257 = _mm_set1_epi16(257);
    auto half = [&](__m128i v) {
        const __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, _MM_SHUFFLE(3, 3, 3, 3)),
                                              _MM_SHUFFLE(3, 3, 3, 3));
        const __m128i m = _mm_or_si128(_mm_and_si128(a, rgbLanes), alphaLanes);
        const __m128i q = _mm_mulhi_epu16(_mm_add_epi16(_mm_mullo_epi16(v, m), one), m257);
        return _mm_shufflehi_epi16(_mm_shufflelo_epi16(q, _MM_SHUFFLE(3, 0, 1, 2)),
                                   _MM_SHUFFLE(3, 0, 1, 2));
    };
    std::uint32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128i px =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + std::size_t{i} * 4));
        const __m128i out =
            _mm_packus_epi16(half(_mm_unpacklo_epi8(px, zero)), half(_mm_unpackhi_epi8(px, zero)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + std::size_t{i} * 4), out);
    }
    return i;
}
#endif

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
#if defined(__SSE2__)
            if (dstStep == 4) i = PremultiplyRgba(s, n, d);
#endif
            for (s += std::size_t{i} * 4, d += std::size_t{i} * dstStep; i < n;
                 ++i, s += 4, d += dstStep)
                Store(d, s[0], s[1], s[2], s[3]);
            return true;
        }
        case kTruecolor:
            if (key < 0) {
                for (std::uint32_t i = 0; i < n; ++i, s += 3, d += dstStep) {
                    d[0] = s[2];
                    d[1] = s[1];
                    d[2] = s[0];
                    d[3] = 255;
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
        if (depth == 8) {
            for (std::uint32_t i = 0; i < n; ++i, d += dstStep) {
                const unsigned v = s[i];
                if (v >= lutEntries) return false;
                if (!skip[v]) std::memcpy(d, &lut[v], 4);
            }
            return true;
        }
        const unsigned mask = (1u << depth) - 1u;
        for (std::uint32_t i = 0; i < n; ++i, d += dstStep) {
            const std::uint64_t bit = std::uint64_t{i} * depth;
            const unsigned shift = 8 - depth - static_cast<unsigned>(bit & 7);
            const unsigned v = (s[bit >> 3] >> shift) & mask;
            if (v >= lutEntries) return false;
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

} // namespace

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
        st.idat.reserve(16);
        ChunkWalker walker(zlib.get(), st, error_);
        if (!walker.Walk(png)) return false;
        const Header& h = st.header;
        if (!h.seen) return error_ = "no header chunk", false;
        if (st.idatBytes == 0) return error_ = "no image data", false;
        if (h.expected > st.idatBytes * kDeflateMaxRatio + 1024)
            return error_ = "image data too short for the image", false;

        // Join the image data (in place when there is one chunk).
        std::vector<std::uint8_t> joined;
        std::span<const std::uint8_t> idat = st.idat.front();
        if (st.idat.size() > 1) {
            joined.reserve(static_cast<std::size_t>(st.idatBytes));
            for (const auto& part : st.idat) joined.insert(joined.end(), part.begin(), part.end());
            idat = joined;
        }

        const auto expected = static_cast<std::size_t>(h.expected);
        std::unique_ptr<std::uint8_t[]> raw(new std::uint8_t[expected]);
        const std::span<std::uint8_t> rawSpan(raw.get(), expected);
        bool inflated = false;
        if (zlib && zlib->HasUncompress()) {
            std::size_t written = 0;
            inflated = zlib->Uncompress(rawSpan, idat, &written) == kZlibOk && written == expected;
            if (inflated) inflater_ = Inflater::Zlib;
        }
        if (!inflated) {
            const InflateResult r = InflateData(rawSpan, idat);
            inflated = r.ok && r.written == expected;
            if (inflated) inflater_ = Inflater::Own;
        }
        joined = {};
        if (!inflated) return error_ = "image data do not decompress", false;

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
        if (h.depth <= 8 && (h.colorType == kGrey || h.colorType == kPalette))
            conv.PrepareIndexed();

        if (!cHost.InitializeDIB(h.width, h.height))
            return error_ = "no memory for the image", false;
        std::uint8_t* bits = cHost.BitsPointer();
        const std::size_t stride = static_cast<std::size_t>(h.width) * 4;
        const auto width = static_cast<std::uint32_t>(h.width);
        const auto height = static_cast<std::uint32_t>(h.height);
        const unsigned bpp = BitsPerPixel(h);
        const std::size_t filterDistance = bpp < 8 ? 1 : bpp / 8;

        bool ok = true;
        std::uint8_t* read = raw.get();
        const int firstPass = h.interlace ? 0 : kWholeImage;
        const int lastPass = h.interlace ? 6 : kWholeImage;
        for (int p = firstPass; ok && p <= lastPass; ++p) {
            const Pass& pass = kPasses[p];
            const PassSize size = SizeOfPass(pass, width, height);
            if (size.cols == 0 || size.rows == 0) continue;
            const std::size_t rowLength = static_cast<std::size_t>(RowLength(size.cols, bpp));
            const std::uint8_t* prev = nullptr;
            for (std::uint32_t r = 0; r < size.rows; ++r) {
                std::uint8_t* row = read + 1;
                if (!UnfilterRow(read[0], row, prev, rowLength, filterDistance) && h.interlace) {
                    error_ = "unknown filter type in an interlaced image";
                    ok = false;
                    break;
                }
                const std::uint32_t y = pass.startRow + r * pass.rowStep;
                std::uint8_t* dst =
                    bits + std::size_t{height - 1 - y} * stride + std::size_t{pass.startCol} * 4;
                if (!conv.Row(row, size.cols, dst, std::size_t{pass.colStep} * 4)) {
                    error_ = "palette index beyond the palette";
                    ok = false;
                    break;
                }
                prev = row;
                read += rowLength + 1;
            }
        }
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
