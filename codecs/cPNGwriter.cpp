#include "codecs/cPNGwriter.h"

#include "codecs/image_host.h"
#include "codecs/modParsers.h"

#include <algorithm>
#include <bitset>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>

namespace corvale {
namespace {

constexpr std::uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
constexpr const char* kStandardKeywords[10] = {
    "Title",    "Author",     "Description", "Copyright", "Creation Time",
    "Software", "Disclaimer", "Warning",     "Source",    "Comment"};

enum : std::uint8_t { kGrey = 0, kTruecolor = 2, kPalette = 3, kTruecolorAlpha = 6 };
enum : std::uint8_t { kNone = 0, kSub = 1, kUp = 2, kAverage = 3, kPaeth = 4 };

// UTF-8 to Latin-1; characters beyond Latin-1 and broken sequences become '?'.
std::string ToLatin1(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        unsigned extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        std::uint32_t cp = extra == 3 ? c & 0x07u : extra == 2 ? c & 0x0Fu : c & 0x1Fu;
        bool ok = extra != 0 && i + extra < utf8.size();
        for (unsigned k = 1; ok && k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(utf8[i + k]);
            if ((cc & 0xC0) != 0x80) ok = false;
            cp = (cp << 6) | (cc & 0x3Fu);
        }
        out.push_back(ok && cp <= 0xFF ? static_cast<char>(cp) : '?');
        i += ok ? extra + 1 : 1;
    }
    return out;
}

// A keyword cut to 79 characters, trimmed, with runs of spaces reduced to one.
std::string NormalizeKeyword(std::string_view utf8) {
    std::string k = ToLatin1(utf8);
    if (k.size() > kPngMaxKeyword) k.resize(kPngMaxKeyword);
    const auto first = k.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    k = k.substr(first, k.find_last_not_of(' ') - first + 1);
    for (std::size_t p; (p = k.find("  ")) != std::string::npos;) k.erase(p, 1);
    k.erase(std::remove(k.begin(), k.end(), '\0'), k.end());
    return k;
}

// A text cut to 32700 characters with "\r\n" and "\r" made "\n" (NULs cannot be stored).
std::string NormalizeText(std::string_view utf8) {
    std::string t = ToLatin1(utf8);
    if (t.size() > kPngMaxText) t.resize(kPngMaxText);
    std::string out;
    out.reserve(t.size());
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '\r') {
            out.push_back('\n');
            if (i + 1 < t.size() && t[i + 1] == '\n') ++i;
        } else if (t[i] != '\0') {
            out.push_back(t[i]);
        }
    }
    return out;
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(v >> 24),
                               static_cast<std::uint8_t>(v >> 16),
                               static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
    out.insert(out.end(), b, b + 4);
}

// Appends one chunk from a buffer that holds the 4-byte type followed by the body.
bool AppendChunk(std::vector<std::uint8_t>& png, const ZlibLibrary& zlib,
                 std::span<const std::uint8_t> typeAndBody) {
    if (typeAndBody.size() - 4 > 0x7FFFFFFFu) return false;
    const std::uint32_t crc = zlib.Crc32(typeAndBody);
    if (crc == 0) return false;
    PutU32(png, static_cast<std::uint32_t>(typeAndBody.size() - 4));
    png.insert(png.end(), typeAndBody.begin(), typeAndBody.end());
    PutU32(png, crc);
    return true;
}

bool AppendChunk(std::vector<std::uint8_t>& png, const ZlibLibrary& zlib, const char (&type)[5],
                 std::span<const std::uint8_t> body) {
    std::vector<std::uint8_t> buf(type, type + 4);
    buf.insert(buf.end(), body.begin(), body.end());
    return AppendChunk(png, zlib, buf);
}

// ---- Choosing the form ------------------------------------------------------------------------

struct Form {
    std::uint8_t colorType = kTruecolorAlpha;
    unsigned channels = 4;
    std::vector<std::uint8_t> plte; // RGB triples
    std::vector<std::uint8_t> trns; // tRNS body
    std::vector<std::uint8_t> raw;  // top-down rows of samples, no filter bytes
};

inline std::uint32_t LoadPixel(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

// Straight colour of a premultiplied channel.
inline std::uint8_t Unpremultiply(unsigned c, unsigned a) {
    if (a == 255) return static_cast<std::uint8_t>(c);
    if (a == 0) return 0;
    const unsigned v = c * 255u / a;
    return static_cast<std::uint8_t>(v > 255 ? 255 : v);
}

class FormChooser {
  public:
    explicit FormChooser(const ImageHost& image)
        : bits_(image.BitsPointer()), w_(static_cast<std::size_t>(image.Width())),
          h_(static_cast<std::size_t>(image.Height())), alpha_(image.Alpha()) {}

    Form Choose() {
        std::vector<std::uint32_t> palette;
        std::vector<std::uint8_t> indices;
        if (CollectPalette(palette, indices)) return PaletteForm(palette, std::move(indices));
        indices = {};
        return TruecolorForm();
    }

  private:
    const std::uint8_t* Row(std::size_t y) const { return bits_ + (h_ - 1 - y) * w_ * 4; }
    std::uint32_t Value(const std::uint8_t* p) const {
        return alpha_ ? LoadPixel(p) : (LoadPixel(p) | 0xFF000000u);
    }

    // A small open-addressing map from pixel value to palette index (at most 256 values).
    class ColourIndex {
      public:
        ColourIndex() { std::fill(std::begin(index_), std::end(index_), kEmpty); }
        // The slot of a value: holding it, or the empty slot where it belongs.
        std::size_t Slot(std::uint32_t v) const {
            std::size_t i = (v * 2654435761u) >> (32 - kBits);
            while (index_[i] != kEmpty && key_[i] != v) i = (i + 1) & (kSlots - 1);
            return i;
        }
        bool Has(std::size_t slot) const { return index_[slot] != kEmpty; }
        void Set(std::size_t slot, std::uint32_t v, std::uint16_t index) {
            key_[slot] = v;
            index_[slot] = index;
        }
        std::uint16_t IndexAt(std::size_t slot) const { return index_[slot]; }

      private:
        static constexpr unsigned kBits = 10;
        static constexpr std::size_t kSlots = std::size_t{1} << kBits;
        static constexpr std::uint16_t kEmpty = 0xFFFF;
        std::uint32_t key_[kSlots] = {};
        std::uint16_t index_[kSlots];
    };

    // The distinct pixel values in ascending order, and every pixel's place among them (rows top
    // down); false when there are more than 256. One pass: pixels first get the order in which
    // their value was met, renumbered at the end.
    bool CollectPalette(std::vector<std::uint32_t>& palette,
                        std::vector<std::uint8_t>& indices) const {
        auto map = std::make_unique<ColourIndex>();
        palette.reserve(256);
        indices.resize(w_ * h_);
        std::uint8_t* out = indices.data();
        for (std::size_t y = 0; y < h_; ++y) {
            const std::uint8_t* row = Row(y);
            for (std::size_t x = 0; x < w_;) {
                // A run of one value: one lookup, one fill.
                const std::uint32_t v = Value(row + x * 4);
                std::size_t end = x + 1;
                while (end < w_ && Value(row + end * 4) == v) ++end;
                const std::size_t slot = map->Slot(v);
                if (!map->Has(slot)) {
                    if (palette.size() == 256) return false;
                    map->Set(slot, v, static_cast<std::uint16_t>(palette.size()));
                    palette.push_back(v);
                }
                std::memset(out + x, map->IndexAt(slot), end - x);
                x = end;
            }
            out += w_;
        }
        std::vector<std::uint32_t> sorted = palette;
        std::sort(sorted.begin(), sorted.end());
        std::uint8_t rank[256];
        for (std::size_t i = 0; i < palette.size(); ++i)
            rank[i] = static_cast<std::uint8_t>(
                std::lower_bound(sorted.begin(), sorted.end(), palette[i]) - sorted.begin());
        Remap(indices, rank);
        palette = std::move(sorted);
        return true;
    }

    // Replaces every index i by table[i].
    static void Remap(std::vector<std::uint8_t>& indices, const std::uint8_t (&table)[256]) {
        for (std::uint8_t& i : indices) i = table[i];
    }

    Form PaletteForm(const std::vector<std::uint32_t>& palette,
                     std::vector<std::uint8_t> indices) const {
        struct Entry {
            std::uint8_t r, g, b, a;
        };
        std::vector<Entry> entries;
        bool allGrey = true, anySemi = false, anyClear = false;
        std::bitset<256> opaqueGreys;
        for (std::uint32_t v : palette) {
            const unsigned b = v & 255, g = (v >> 8) & 255, r = (v >> 16) & 255, a = v >> 24;
            Entry e{Unpremultiply(r, a), Unpremultiply(g, a), Unpremultiply(b, a),
                    static_cast<std::uint8_t>(a)};
            entries.push_back(e);
            if (e.r != e.g || e.g != e.b) allGrey = false;
            if (a == 0)
                anyClear = true;
            else if (a != 255)
                anySemi = true;
            else
                opaqueGreys.set(e.r);
        }

        Form form;
        form.raw = std::move(indices);
        if (allGrey && !anySemi) {
            // Grey levels, with one level no opaque pixel uses standing for transparency.
            form.colorType = kGrey;
            form.channels = 1;
            std::uint8_t keyLevel = 0;
            if (anyClear) {
                unsigned level = 0;
                while (opaqueGreys.test(level)) ++level; // fewer than 256 opaque entries here
                keyLevel = static_cast<std::uint8_t>(level);
                form.trns = {0, keyLevel};
            }
            std::uint8_t levelOf[256] = {};
            for (std::size_t i = 0; i < entries.size(); ++i)
                levelOf[i] = entries[i].a == 0 ? keyLevel : entries[i].r;
            Remap(form.raw, levelOf);
            return form;
        }

        form.colorType = kPalette;
        form.channels = 1;
        std::size_t nonOpaque = 0, lastNonOpaque = 0;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            form.plte.insert(form.plte.end(), {entries[i].r, entries[i].g, entries[i].b});
            if (entries[i].a != 255) {
                ++nonOpaque;
                lastNonOpaque = i;
            }
        }
        if (nonOpaque == 1) {
            form.trns.assign(lastNonOpaque + 1, 255);
            form.trns[lastNonOpaque] = entries[lastNonOpaque].a;
        } else if (nonOpaque > 1) {
            for (const Entry& e : entries) form.trns.push_back(e.a);
        }
        return form;
    }

    // A truecolour form of `channels` samples a pixel, which `put(pixel, samples)` writes for
    // each BGRA pixel, rows top down.
    template <class Put>
    Form TruecolorSamples(std::uint8_t colorType, unsigned channels, Put put) const {
        Form form;
        form.colorType = colorType;
        form.channels = channels;
        form.raw.resize(w_ * h_ * channels);
        std::uint8_t* d = form.raw.data();
        for (std::size_t y = 0; y < h_; ++y) {
            const std::uint8_t* p = Row(y);
            for (std::size_t x = 0; x < w_; ++x, p += 4, d += channels) put(p, d);
        }
        return form;
    }

    // Truecolour without alpha: each pixel's red, green and blue, or with `clearKey` that grey
    // for a clear pixel.
    Form RgbForm(std::optional<std::uint8_t> clearKey) const {
        return TruecolorSamples(kTruecolor, 3, [clearKey](const std::uint8_t* p, std::uint8_t* d) {
            if (clearKey && p[3] == 0) {
                d[0] = d[1] = d[2] = *clearKey;
            } else {
                d[0] = p[2];
                d[1] = p[1];
                d[2] = p[0];
            }
        });
    }

    Form TruecolorForm() const {
        if (!alpha_) return RgbForm(std::nullopt);

        bool binary = true, anyClear = false;
        std::bitset<256> opaqueGreys;
        for (std::size_t y = 0; y < h_ && binary; ++y) {
            const std::uint8_t* p = Row(y);
            for (std::size_t x = 0; x < w_; ++x, p += 4) {
                if (p[3] == 0) {
                    anyClear = true;
                } else if (p[3] != 255) {
                    binary = false;
                    break;
                } else if (p[0] == p[1] && p[1] == p[2]) {
                    opaqueGreys.set(p[0]);
                }
            }
        }
        if (binary && !opaqueGreys.all()) {
            // Only clear and opaque pixels: truecolour with a grey key no opaque pixel uses.
            unsigned level = 0;
            while (opaqueGreys.test(level)) ++level;
            const auto key = static_cast<std::uint8_t>(level);
            Form form = RgbForm(key);
            if (anyClear) form.trns = {0, key, 0, key, 0, key};
            return form;
        }

        return TruecolorSamples(kTruecolorAlpha, 4, [](const std::uint8_t* p, std::uint8_t* d) {
            const unsigned a = p[3];
            d[0] = Unpremultiply(p[2], a);
            d[1] = Unpremultiply(p[1], a);
            d[2] = Unpremultiply(p[0], a);
            d[3] = static_cast<std::uint8_t>(a);
        });
    }

    const std::uint8_t* bits_;
    std::size_t w_, h_;
    bool alpha_;
};

// ---- Filtering --------------------------------------------------------------------------------

inline unsigned PaethPredictor(unsigned a, unsigned b, unsigned c) {
    const int p = static_cast<int>(a + b) - static_cast<int>(c);
    const int pa = std::abs(p - static_cast<int>(a));
    const int pb = std::abs(p - static_cast<int>(b));
    const int pc = std::abs(p - static_cast<int>(c));
    if (pa <= pb && pa <= pc) return a;
    if (pb <= pc) return b;
    return c;
}

// The prediction of byte i of a row under a filter (prev is a zero row on the first row).
inline unsigned Predict(std::uint8_t filter, const std::uint8_t* row, const std::uint8_t* prev,
                        std::size_t i, std::size_t bpp) {
    const unsigned left = i >= bpp ? row[i - bpp] : 0;
    const unsigned up = prev[i];
    switch (filter) {
    case kSub:
        return left;
    case kUp:
        return up;
    case kAverage:
        return (left + up) / 2;
    case kPaeth:
        return PaethPredictor(left, up, i >= bpp ? prev[i - bpp] : 0);
    default:
        return 0;
    }
}

void FilterRow(std::uint8_t filter, const std::uint8_t* row, const std::uint8_t* prev,
               std::size_t n, std::size_t bpp, std::uint8_t* out) {
    switch (filter) {
    case kNone:
        std::memcpy(out, row, n);
        return;
    case kSub:
        for (std::size_t i = 0; i < bpp && i < n; ++i) out[i] = row[i];
        for (std::size_t i = bpp; i < n; ++i)
            out[i] = static_cast<std::uint8_t>(row[i] - row[i - bpp]);
        return;
    case kUp:
        for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(row[i] - prev[i]);
        return;
    case kAverage:
        for (std::size_t i = 0; i < bpp && i < n; ++i)
            out[i] = static_cast<std::uint8_t>(row[i] - (prev[i] >> 1));
        for (std::size_t i = bpp; i < n; ++i)
            out[i] = static_cast<std::uint8_t>(row[i] - ((row[i - bpp] + prev[i]) >> 1));
        return;
    default:
        for (std::size_t i = 0; i < bpp && i < n; ++i)
            out[i] = static_cast<std::uint8_t>(row[i] - prev[i]);
        for (std::size_t i = bpp; i < n; ++i)
            out[i] = static_cast<std::uint8_t>(
                row[i] - PaethPredictor(row[i - bpp], prev[i], prev[i - bpp]));
        return;
    }
}

// Setting 6: every filter in turn; the lowest sum of |byte - prediction| wins, later filters
// winning ties; a try stops once it is worse than the best so far.
std::uint8_t ChooseFilter(const std::uint8_t* row, const std::uint8_t* prev, std::size_t n,
                          std::size_t bpp) {
    std::uint64_t best = 254ull * n;
    std::uint8_t chosen = kNone;
    for (std::uint8_t f = kNone; f <= kPaeth; ++f) {
        std::uint64_t sum = 0;
        bool stopped = false;
        for (std::size_t i = 0; i < n; ++i) {
            const int d =
                static_cast<int>(row[i]) - static_cast<int>(Predict(f, row, prev, i, bpp));
            sum += static_cast<unsigned>(d < 0 ? -d : d);
            if (sum > best) {
                stopped = true;
                break;
            }
        }
        if (stopped) continue;
        if (sum == 0) sum = 1;
        if (sum <= best) {
            best = sum;
            chosen = f;
        }
    }
    return chosen;
}

std::vector<std::uint8_t> FilterImage(const Form& form, std::size_t width, std::size_t height,
                                      std::int32_t setting) {
    const std::size_t n = width * form.channels, bpp = form.channels;
    if (setting == 0)
        setting = form.colorType == kTruecolor || form.colorType == kTruecolorAlpha ? 5 : 1;
    std::vector<std::uint8_t> out(height * (n + 1));
    const std::vector<std::uint8_t> zeroRow(n, 0);
    const std::uint8_t* prev = zeroRow.data();
    for (std::size_t y = 0; y < height; ++y) {
        const std::uint8_t* row = form.raw.data() + y * n;
        const std::uint8_t filter =
            setting == 6 ? ChooseFilter(row, prev, n, bpp) : static_cast<std::uint8_t>(setting - 1);
        std::uint8_t* o = out.data() + y * (n + 1);
        o[0] = filter;
        FilterRow(filter, row, prev, n, bpp, o + 1);
        prev = row;
    }
    return out;
}

} // namespace

bool cPNGwriter::SetText(std::int32_t flag, std::string_view text) {
    for (int i = 0; i < 10; ++i) {
        if (flag != (1 << i)) continue;
        if (text.empty())
            standard_[i].reset();
        else
            standard_[i] = TextEntry{kStandardKeywords[i], NormalizeText(text)};
        return true;
    }
    return false;
}

void cPNGwriter::SetCustomText(std::string_view keyword, std::string_view text) {
    const std::string k = NormalizeKeyword(keyword);
    if (k.empty()) return;
    const auto it = std::find_if(custom_.begin(), custom_.end(),
                                 [&](const TextEntry& e) { return e.keyword == k; });
    if (text.empty()) {
        if (it != custom_.end()) custom_.erase(it);
    } else if (it != custom_.end()) {
        it->text = NormalizeText(text);
    } else {
        custom_.push_back(TextEntry{k, NormalizeText(text)});
    }
}

std::int32_t cPNGwriter::TextFlags() const {
    std::int32_t flags = 0;
    for (int i = 0; i < 10; ++i)
        if (standard_[i]) flags |= 1 << i;
    if (!custom_.empty()) flags |= kPngCustomText;
    return flags;
}

bool cPNGwriter::WritePNG(const ImageHost& image, const std::string& fileName,
                          std::vector<std::uint8_t>& out) try {
    out.clear();
    colorType_ = 0;
    if (!image.BitsPointer() || image.Width() < 1 || image.Height() < 1) return false;
    const std::unique_ptr<ZlibLibrary> zlib = ZlibLibrary::Open(FindZlib(false, zlibNames_));
    if (!zlib || !zlib->HasCompress()) return false;

    std::vector<std::uint8_t> png;
    try {
        const auto width = static_cast<std::size_t>(image.Width());
        const auto height = static_cast<std::size_t>(image.Height());
        Form form = FormChooser(image).Choose();
        const std::vector<std::uint8_t> filtered = FilterImage(form, width, height, filter_);
        std::vector<std::uint8_t>().swap(form.raw); // the samples are done with

        auto text = [&](const TextEntry& e, bool allowCompressed) {
            if (allowCompressed && e.text.size() > kPngCompressTextAbove) {
                std::vector<std::uint8_t> z;
                const std::span<const std::uint8_t> t(
                    reinterpret_cast<const std::uint8_t*>(e.text.data()), e.text.size());
                if (zlib->Compress(t, z)) {
                    std::vector<std::uint8_t> chunk = {'z', 'T', 'X', 't'};
                    chunk.insert(chunk.end(), e.keyword.begin(), e.keyword.end());
                    chunk.push_back(0);
                    chunk.push_back(0); // compression method
                    chunk.insert(chunk.end(), z.begin() + 4, z.end());
                    return AppendChunk(png, *zlib, chunk);
                }
            }
            std::vector<std::uint8_t> body(e.keyword.begin(), e.keyword.end());
            body.push_back(0);
            body.insert(body.end(), e.text.begin(), e.text.end());
            return AppendChunk(png, *zlib, "tEXt", body);
        };

        png.assign(kSignature, kSignature + 8);
        std::vector<std::uint8_t> ihdr;
        PutU32(ihdr, static_cast<std::uint32_t>(width));
        PutU32(ihdr, static_cast<std::uint32_t>(height));
        ihdr.insert(ihdr.end(), {8, form.colorType, 0, 0, 0});
        bool ok = AppendChunk(png, *zlib, "IHDR", ihdr);
        for (int i = 0; ok && i < 2; ++i)
            if (standard_[i]) ok = text(*standard_[i], false);
        if (ok && form.colorType == kPalette) {
            ok = AppendChunk(png, *zlib, "PLTE", form.plte);
        } else if (ok && background_) {
            const unsigned r = *background_ & 255, g = (*background_ >> 8) & 255,
                           b = (*background_ >> 16) & 255;
            std::vector<std::uint8_t> bkgd;
            if (form.colorType == kGrey)
                bkgd = {0, static_cast<std::uint8_t>((r + g + b) / 3)};
            else
                bkgd = {0, static_cast<std::uint8_t>(r), 0, static_cast<std::uint8_t>(g),
                        0, static_cast<std::uint8_t>(b)};
            ok = AppendChunk(png, *zlib, "bKGD", bkgd);
        }
        if (ok && !form.trns.empty()) ok = AppendChunk(png, *zlib, "tRNS", form.trns);
        if (ok) {
            // The image data are compressed straight into the file's bytes, sized once for them
            // and for all that follows: no copy of the compressed stream, no growth by doubling.
            const auto bound = CompressBufferLength(filtered.size());
            std::size_t tail = 12 + 19; // IEND and tIME
            auto textBytes = [](const TextEntry& e) {
                return 12 + e.keyword.size() + 3 + e.text.size() + e.text.size() / 64 + 64;
            };
            for (int i = 2; i < 10; ++i)
                if (standard_[i]) tail += textBytes(*standard_[i]);
            for (const TextEntry& e : custom_) tail += textBytes(e);
            const std::size_t start = png.size();
            ok = bound && *bound < png.max_size() - start - 12 - tail;
            if (ok) {
                png.reserve(start + 12 + *bound + tail);
                PutU32(png, 0);
                png.insert(png.end(), {'I', 'D', 'A', 'T'});
                ok = zlib->CompressAppend(filtered, png);
            }
            const std::size_t length = png.size() - start - 8;
            if (ok && length <= 0x7FFFFFFFu) {
                for (int k = 0; k < 4; ++k)
                    png[start + k] = static_cast<std::uint8_t>(length >> (24 - 8 * k));
                const std::uint32_t crc = zlib->Crc32({png.data() + start + 4, length + 4});
                ok = crc != 0;
                if (ok) PutU32(png, crc);
            } else {
                ok = false;
            }
        }
        if (ok && time_) {
            const std::vector<std::uint8_t> t = {static_cast<std::uint8_t>(time_->year >> 8),
                                                 static_cast<std::uint8_t>(time_->year),
                                                 time_->month,
                                                 time_->day,
                                                 time_->hour,
                                                 time_->minute,
                                                 time_->second};
            ok = AppendChunk(png, *zlib, "tIME", t);
        }
        for (int i = 2; ok && i < 10; ++i)
            if (standard_[i]) ok = text(*standard_[i], false);
        for (std::size_t i = 0; ok && i < custom_.size(); ++i) ok = text(custom_[i], true);
        if (ok) ok = AppendChunk(png, *zlib, "IEND", {});
        if (!ok) return false;
        colorType_ = form.colorType;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) { // sizes beyond what a vector can hold here
        return false;
    }

    if (fileName.empty()) {
        out = std::move(png);
        return true;
    }
    bool written;
    {
        FileHandle file = OpenFileForWrite(fileName, false, false);
        if (!file.valid()) return false;
        written = file.Write(png);
    }
    if (!written) DeleteFileSafe(fileName, false);
    return written;
} catch (const std::bad_alloc&) {
    // Finding zlib or writing the file ran out of memory.
    out.clear();
    return false;
}

bool EncodePngDefault(const ImageHost& image, std::vector<std::uint8_t>& out) {
    cPNGwriter writer;
    return writer.WritePNG(image, {}, out);
}

bool ZlibPresent() {
    return FindZlib(true).found;
}

} // namespace corvale
