// PNG decoding, inflating and encoding next to libpng, libspng, stb_image, zlib and libdeflate.
//
// Two sets of pictures:
// - six 2048 x 2048 photo-like kinds made here (smooth shapes with sensor-like noise, alpha from
//   a radial ramp) and written by libpng with its default settings (adaptive filters): RGBA,
//   RGB, 256-colour palette, grey, Adam7-interlaced RGBA and 16-bit RGB;
// - the corpus of files from other encoders that make_png_corpus.sh writes into the build
//   folder (target png_corpus): ImageMagick's stored-block files of every colour type, its
//   levels and filters, Pillow, and libpng's defaults; photo-, screen- and icon-like content.
//   Files with the same bytes as an earlier one are measured once.
// Decoding reads from memory; the inflate benchmarks decompress the same image data. Encoding
// compares the own encoder with libpng at level 9 on the RGBA, RGB and palette pictures.
//
// tools/png-bench runs this interleaved and prints the ratios.
#include "codecs/cPNGparser.h"
#include "codecs/cPNGwriter.h"
#include "codecs/inflate.h"
#include "imaging/c32bppDIB.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>

#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <png.h>
#include <spng.h>
#include <zlib.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvale {
namespace {

constexpr int kSize = 2048;
using Bytes = std::vector<std::uint8_t>;

enum Kind { kRgba, kRgb, kPalette, kGrey, kAdam7Rgba, kRgb16, kKinds };

// Smooth shapes plus sensor-like noise; straight RGBA with 16 bits a sample, top-down.
// The palette kind has six levels a channel and no noise (216 colours).
std::vector<std::uint16_t> MakePixels(Kind kind) {
    std::vector<std::uint16_t> rgba(std::size_t(kSize) * kSize * 4);
    std::mt19937 rng(42);
    std::normal_distribution<float> noise(0.0f, 3.0f);
    const bool alpha = kind == kRgba || kind == kAdam7Rgba;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const float fx = x / 97.0f, fy = y / 131.0f;
            float c[3] = {128 + 90 * std::sin(fx) * std::cos(fy * 0.7f),
                          128 + 80 * std::sin(fx * 0.5f + fy),
                          128 + 70 * std::cos(fx * 0.3f - fy * 1.3f)};
            if (kind == kGrey) c[0] = c[1] = c[2] = 0.3f * c[0] + 0.59f * c[1] + 0.11f * c[2];
            std::uint16_t* p = &rgba[(std::size_t(y) * kSize + x) * 4];
            for (int i = 0; i < 3; ++i) {
                float v = c[i];
                if (kind == kPalette)
                    v = std::floor(v / 43.0f) * 43.0f;
                else
                    v += noise(rng);
                v = std::fmin(255.0f, std::fmax(0.0f, v));
                p[i] = kind == kRgb16 ? std::uint16_t(std::lround(v * 257.0f))
                                      : std::uint16_t(std::lround(v));
            }
            const float r = std::hypot(x - kSize / 2.0f, y - kSize / 2.0f) / (kSize / 2.0f);
            p[3] = alpha ? std::uint16_t(std::fmax(0.0f, std::fmin(255.0f, 300.0f * (1.1f - r))))
                         : 255;
        }
    return rgba;
}

void AppendToBytes(png_structp png, png_bytep data, png_size_t n) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}

// Writes the picture as a PNG of the kind with libpng's default compression and filters.
Bytes WriteWithLibpng(Kind kind, const std::vector<std::uint16_t>& px) {
    int colorType = PNG_COLOR_TYPE_RGB, channels = 3, depth = 8;
    if (kind == kRgba || kind == kAdam7Rgba) colorType = PNG_COLOR_TYPE_RGBA, channels = 4;
    if (kind == kGrey) colorType = PNG_COLOR_TYPE_GRAY, channels = 1;
    if (kind == kPalette) colorType = PNG_COLOR_TYPE_PALETTE, channels = 1;
    if (kind == kRgb16) depth = 16;

    std::vector<png_color> palette;
    std::vector<std::uint32_t> colours;
    if (kind == kPalette) {
        for (std::size_t i = 0; i < px.size(); i += 4)
            colours.push_back(std::uint32_t(px[i]) | px[i + 1] << 8 | px[i + 2] << 16);
        std::sort(colours.begin(), colours.end());
        colours.erase(std::unique(colours.begin(), colours.end()), colours.end());
        for (std::uint32_t v : colours)
            palette.push_back({std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16)});
    }
    const std::size_t rowBytes = std::size_t(kSize) * channels * (depth / 8);
    Bytes rows(rowBytes * kSize);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const std::uint16_t* p = &px[(std::size_t(y) * kSize + x) * 4];
            std::uint8_t* d = &rows[y * rowBytes + std::size_t(x) * channels * (depth / 8)];
            if (kind == kPalette) {
                const std::uint32_t v = std::uint32_t(p[0]) | p[1] << 8 | p[2] << 16;
                *d = std::uint8_t(std::lower_bound(colours.begin(), colours.end(), v) -
                                  colours.begin());
            } else if (depth == 16) {
                for (int c = 0; c < channels; ++c) {
                    d[2 * c] = std::uint8_t(p[c] >> 8);
                    d[2 * c + 1] = std::uint8_t(p[c]);
                }
            } else {
                for (int c = 0; c < channels; ++c) d[c] = std::uint8_t(p[c]);
            }
        }
    std::vector<png_bytep> pointers;
    for (int y = 0; y < kSize; ++y) pointers.push_back(&rows[y * rowBytes]);

    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, AppendToBytes, nullptr);
    png_set_IHDR(png, info, kSize, kSize, depth, colorType,
                 kind == kAdam7Rgba ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    if (kind == kPalette) png_set_PLTE(png, info, palette.data(), int(palette.size()));
    png_set_rows(png, info, pointers.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::uint32_t Load32BE(const std::uint8_t* p);

// The joined IDAT bodies of a PNG.
Bytes ImageData(const Bytes& png) {
    Bytes idat;
    std::size_t pos = 8;
    while (pos + 12 <= png.size()) {
        const std::uint8_t* c = &png[pos];
        const std::size_t n = Load32BE(c);
        if (n > png.size() - pos - 12) break;
        if (std::memcmp(c + 4, "IDAT", 4) == 0) idat.insert(idat.end(), c + 8, c + 8 + n);
        pos += 12 + n;
    }
    return idat;
}

std::uint32_t Load32BE(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

// Filtered bytes the image data of a PNG inflate to, from its header.
std::size_t RawSize(const Bytes& png) {
    if (png.size() < 33) return 0;
    const std::size_t width = Load32BE(&png[16]), height = Load32BE(&png[20]);
    const unsigned depth = png[24], colorType = png[25], interlace = png[28];
    const unsigned channels = colorType == 2 ? 3 : colorType == 4 ? 2 : colorType == 6 ? 4 : 1;
    auto rowBytes = [&](std::size_t w) { return (w * channels * depth + 7) / 8 + 1; };
    if (interlace == 0) return height * rowBytes(width);
    static constexpr int kX0[7] = {0, 4, 0, 2, 0, 1, 0}, kY0[7] = {0, 0, 4, 0, 2, 0, 1};
    static constexpr int kDx[7] = {8, 8, 4, 4, 2, 2, 1}, kDy[7] = {8, 8, 8, 4, 4, 2, 2};
    std::size_t total = 0;
    for (int p = 0; p < 7; ++p) {
        const std::size_t w =
            width > std::size_t(kX0[p]) ? (width - kX0[p] + kDx[p] - 1) / kDx[p] : 0;
        const std::size_t h =
            height > std::size_t(kY0[p]) ? (height - kY0[p] + kDy[p] - 1) / kDy[p] : 0;
        if (w != 0 && h != 0) total += h * rowBytes(w);
    }
    return total;
}

struct Sample {
    std::string name;   // the kind in the benchmarks' names
    int generated = -1; // a Kind made here at first use, or -1 for a corpus file
    Bytes png;          // the file
    Bytes idat;         // its image data
    std::size_t rawSize = 0;
    // Where every inflate of this sample writes: one buffer for all of them, so that a copy-bound
    // inflate (stored blocks) is not measured faster or slower for where its buffer happened to
    // lie against the input.
    Bytes inflated;
};

Bytes& InflateOutput(Sample& s) {
    if (s.inflated.size() != s.rawSize) s.inflated.assign(s.rawSize, 0);
    return s.inflated;
}

Sample& Ready(Sample& s) {
    if (s.png.empty() && s.generated >= 0) {
        s.png = WriteWithLibpng(Kind(s.generated), MakePixels(Kind(s.generated)));
        s.idat = ImageData(s.png);
        s.rawSize = RawSize(s.png);
    }
    return s;
}

void SetCounters(benchmark::State& state, const Sample& s) {
    const std::int64_t pixels = std::int64_t(Load32BE(&s.png[16])) * Load32BE(&s.png[20]);
    state.SetBytesProcessed(std::int64_t(state.iterations()) * pixels * 4);
    state.counters["png_bytes"] = double(s.png.size());
}

// ---- Decoding -------------------------------------------------------------------------------

constexpr std::string_view kNoZlib[] = {"corvale-no-such-library"};

// One decode by the own decoder, with zlib's uncompress or with its own inflate (a zlib that
// cannot be found); false when it fails or took the other inflate.
bool DecodeOnce(const Sample& s, bool withZlib) {
    PngDecodeOptions options;
    if (!withZlib) options.zlibNames = kNoZlib;
    c32bppDIB dib;
    cPNGparser parser(options);
    const bool ok = parser.LoadStream(s.png, dib) &&
                    parser.LastInflater() ==
                        (withZlib ? cPNGparser::Inflater::Zlib : cPNGparser::Inflater::Own);
    benchmark::DoNotOptimize(dib.BitsPointer());
    return ok;
}

void DecodeCorvale(benchmark::State& state, Sample& s, bool withZlib) {
    for (auto _ : state)
        if (!DecodeOnce(s, withZlib))
            state.SkipWithError("decode failed or took the other inflate");
    SetCounters(state, s);
}

void BM_Decode_Corvale_Zlib(benchmark::State& state, Sample* s) {
    DecodeCorvale(state, Ready(*s), true);
}

void BM_Decode_Corvale_OwnInflate(benchmark::State& state, Sample* s) {
    DecodeCorvale(state, Ready(*s), false);
}

// libpng's simplified reading interface to 8-bit RGBA (16-bit samples go through its gamma
// handling). The output buffer is allocated per decode, as the image object is.
void BM_Decode_Libpng_Simplified(benchmark::State& state, Sample* sample) {
    Sample& s = Ready(*sample);
    for (auto _ : state) {
        png_image image;
        std::memset(&image, 0, sizeof image);
        image.version = PNG_IMAGE_VERSION;
        png_image_begin_read_from_memory(&image, s.png.data(), s.png.size());
        image.format = PNG_FORMAT_RGBA;
        std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[PNG_IMAGE_SIZE(image)]);
        if (!png_image_finish_read(&image, nullptr, out.get(), 0, nullptr))
            state.SkipWithError("libpng failed");
        benchmark::DoNotOptimize(out.get());
    }
    SetCounters(state, s);
}

// libpng's row interface to 8-bit RGBA: palettes and low depths expanded, 16-bit samples cut to
// their high byte, grey widened, opaque alpha added (no gamma work, no premultiplying). The
// output buffer is allocated per decode, as the image object is.
void BM_Decode_Libpng_Rows(benchmark::State& state, Sample* sample) {
    Sample& s = Ready(*sample);
    for (auto _ : state) {
        struct Reader {
            const Bytes* png;
            std::size_t pos;
        } reader{&s.png, 0};
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        if (setjmp(png_jmpbuf(png))) {
            png_destroy_read_struct(&png, &info, nullptr);
            state.SkipWithError("libpng failed");
            break;
        }
        png_set_read_fn(png, &reader, [](png_structp p, png_bytep data, png_size_t n) {
            auto* r = static_cast<Reader*>(png_get_io_ptr(p));
            if (r->png->size() - r->pos < n) png_error(p, "short");
            std::memcpy(data, r->png->data() + r->pos, n);
            r->pos += n;
        });
        png_read_info(png, info);
        png_set_expand(png);
        png_set_strip_16(png);
        png_set_gray_to_rgb(png);
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
        png_set_interlace_handling(png);
        png_read_update_info(png, info);
        const std::size_t width = png_get_image_width(png, info);
        const std::size_t height = png_get_image_height(png, info);
        std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[width * height * 4]);
        std::vector<png_bytep> rows(height);
        for (std::size_t y = 0; y < height; ++y) rows[y] = out.get() + y * width * 4;
        png_read_image(png, rows.data());
        png_read_end(png, nullptr);
        png_destroy_read_struct(&png, &info, nullptr);
        benchmark::DoNotOptimize(out.get());
    }
    SetCounters(state, s);
}

// libspng to 8-bit RGBA (transparency chunks applied), into a buffer allocated per decode.
void BM_Decode_Libspng(benchmark::State& state, Sample* sample) {
    Sample& s = Ready(*sample);
    for (auto _ : state) {
        spng_ctx* ctx = spng_ctx_new(0);
        std::size_t size = 0;
        std::unique_ptr<std::uint8_t[]> out;
        if (spng_set_png_buffer(ctx, s.png.data(), s.png.size()) != 0 ||
            spng_decoded_image_size(ctx, SPNG_FMT_RGBA8, &size) != 0) {
            state.SkipWithError("libspng failed");
        } else {
            out.reset(new std::uint8_t[size]);
            if (spng_decode_image(ctx, out.get(), size, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) != 0)
                state.SkipWithError("libspng failed");
        }
        spng_ctx_free(ctx);
        benchmark::DoNotOptimize(out.get());
    }
    SetCounters(state, s);
}

// stb_image to 8-bit RGBA (16-bit samples cut to 8).
void BM_Decode_StbImage(benchmark::State& state, Sample* sample) {
    Sample& s = Ready(*sample);
    for (auto _ : state) {
        int w = 0, h = 0, n = 0;
        stbi_uc* rgba = stbi_load_from_memory(s.png.data(), int(s.png.size()), &w, &h, &n, 4);
        if (rgba == nullptr) state.SkipWithError("stb_image failed");
        benchmark::DoNotOptimize(rgba);
        stbi_image_free(rgba);
    }
    SetCounters(state, s);
}

// ---- Inflating the same image data -----------------------------------------------------------

void SetInflateCounters(benchmark::State& state, const Sample& s) {
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(s.rawSize));
}

// One own inflate of the sample's image data into its shared buffer; false when it fails.
bool InflateOnce(Sample& s) {
    Bytes& out = InflateOutput(s);
    const InflateResult r = InflateData(out, s.idat);
    benchmark::DoNotOptimize(out.data());
    return r.ok && r.written == s.rawSize;
}

// One libdeflate inflate of the sample's raw deflate data (without the zlib header and
// checksum, which the own inflate does not examine either) into the same buffer.
bool LibdeflateOnce(libdeflate_decompressor* d, Sample& s) {
    Bytes& out = InflateOutput(s);
    const bool ok =
        libdeflate_deflate_decompress(d, s.idat.data() + 2, s.idat.size() - 6, out.data(),
                                      out.size(), nullptr) == LIBDEFLATE_SUCCESS;
    benchmark::DoNotOptimize(out.data());
    return ok;
}

void BM_Inflate_Own(benchmark::State& state, Sample* sample) {
    Sample& s = Ready(*sample);
    for (auto _ : state)
        if (!InflateOnce(s)) state.SkipWithError("inflate failed");
    SetInflateCounters(state, s);
}

// Runs `first` and `second` one after the other in each iteration, in turns which goes first,
// and hands their two times to `both`; a run that returns false ends the benchmark with `error`.
// The two times then share the machine's state of that moment, which separate benchmarks'
// medians, taken minutes apart, do not.
template <class First, class Second, class Both>
void TimeInTurns(benchmark::State& state, First first, Second second, Both both,
                 const char* error) {
    using Clock = std::chrono::steady_clock;
    bool firstFirst = true;
    for (auto _ : state) {
        Clock::duration times[2]{};
        for (int part = 0; part < 2; ++part) {
            const bool isFirst = (part == 0) == firstFirst;
            const auto start = Clock::now();
            const bool ok = isFirst ? first() : second();
            times[isFirst ? 0 : 1] = Clock::now() - start;
            if (!ok) state.SkipWithError(error);
        }
        firstFirst = !firstFirst;
        both(std::chrono::duration<double>(times[0]).count(),
             std::chrono::duration<double>(times[1]).count());
    }
}

// The row pass measured in pairs: each iteration times the own inflate of the image data alone
// and the own-inflate decode, and counts the difference.
void BM_RowPass(benchmark::State& state, Sample* sample) {
    Sample& s = Ready(*sample);
    TimeInTurns(
        state, [&] { return InflateOnce(s); }, [&] { return DecodeOnce(s, false); },
        [&](double inflate, double decode) { state.SetIterationTime(decode - inflate); },
        "inflate or decode failed");
}

// The own inflate and libdeflate measured in pairs, into the same buffer: the time is the own
// inflate's, and the counter vs_libdeflate the ratio of the two sums (libdeflate's over the
// own, above 1 is faster).
void BM_InflatePaired(benchmark::State& state, Sample* sample) {
    Sample& s = Ready(*sample);
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    double ownTotal = 0, theirsTotal = 0;
    TimeInTurns(
        state, [&] { return InflateOnce(s); }, [&] { return LibdeflateOnce(d, s); },
        [&](double own, double theirs) {
            ownTotal += own;
            theirsTotal += theirs;
            state.SetIterationTime(own);
        },
        "inflate failed");
    libdeflate_free_decompressor(d);
    if (ownTotal > 0) state.counters["vs_libdeflate"] = theirsTotal / ownTotal;
}

// The same data read from the IDAT bodies where they lie in the file, as the decoder reads them,
// and, beside it, from the bodies joined into one block through the same entry: the difference
// is the cost of going from one chunk to the next.
void InflatePieces(benchmark::State& state, Sample& s, bool inPlace) {
    std::vector<std::span<const std::uint8_t>> pieces;
    if (inPlace) {
        for (std::size_t pos = 8; pos + 12 <= s.png.size();) {
            const std::uint8_t* c = &s.png[pos];
            const std::size_t n = Load32BE(c);
            if (n > s.png.size() - pos - 12) break;
            if (std::memcmp(c + 4, "IDAT", 4) == 0) pieces.emplace_back(c + 8, n);
            pos += 12 + n;
        }
    } else {
        pieces.emplace_back(s.idat);
    }
    Bytes& out = InflateOutput(s);
    const InflateProgress progress{
        [](void*, const std::uint8_t*, std::size_t, std::size_t written, std::size_t& keepFrom) {
            keepFrom = written;
            return true;
        },
        nullptr, s.rawSize};
    for (auto _ : state) {
        const InflateResult r = InflateWindowed(out, pieces, s.rawSize, progress);
        if (!r.ok || r.written != s.rawSize) state.SkipWithError("inflate failed");
        benchmark::DoNotOptimize(out.data());
    }
    SetInflateCounters(state, s);
    state.counters["pieces"] = double(pieces.size());
}

void BM_Inflate_OwnChunks(benchmark::State& state, Sample* sample) {
    InflatePieces(state, Ready(*sample), true);
}

void BM_Inflate_OwnJoined(benchmark::State& state, Sample* sample) {
    InflatePieces(state, Ready(*sample), false);
}

void BM_Inflate_ZlibUncompress(benchmark::State& state, Sample* sample) {
    Sample& s = Ready(*sample);
    Bytes& out = InflateOutput(s);
    for (auto _ : state) {
        uLongf n = uLongf(out.size());
        if (uncompress(out.data(), &n, s.idat.data(), uLong(s.idat.size())) != Z_OK)
            state.SkipWithError("uncompress failed");
        benchmark::DoNotOptimize(out.data());
    }
    SetInflateCounters(state, s);
}

// libdeflate on the raw deflate data (the zlib header and the Adler-32 trailer left out, as the
// own inflate does not check them either).
void BM_Inflate_Libdeflate(benchmark::State& state, Sample* sample) {
    Sample& s = Ready(*sample);
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    for (auto _ : state)
        if (!LibdeflateOnce(d, s)) state.SkipWithError("libdeflate failed");
    libdeflate_free_decompressor(d);
    SetInflateCounters(state, s);
}

// ---- Encoding ---------------------------------------------------------------------------------

// The picture of a kind as an image object (premultiplied, bottom-up) and as straight 8-bit RGBA.
struct EncodeSample {
    c32bppDIB dib;
    int colorType = 0; // what the own encoder chose
    std::size_t ownBytes = 0;
    Bytes straight;
};

EncodeSample& GetEncode(Kind kind) {
    static std::unique_ptr<EncodeSample> samples[kKinds];
    if (!samples[kind]) {
        auto s = std::make_unique<EncodeSample>();
        const std::vector<std::uint16_t> px = MakePixels(kind);
        s->straight.resize(px.size());
        for (std::size_t i = 0; i < px.size(); ++i) s->straight[i] = std::uint8_t(px[i]);
        s->dib.InitializeDIB(kSize, kSize);
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x) {
                const std::uint8_t* p = &s->straight[(std::size_t(y) * kSize + x) * 4];
                std::uint8_t* d =
                    s->dib.BitsPointer() + (std::size_t(kSize - 1 - y) * kSize + x) * 4;
                for (int c = 0; c < 3; ++c) d[c] = std::uint8_t(p[2 - c] * p[3] / 255);
                d[3] = p[3];
            }
        s->dib.SetAlpha(kind == kRgba);
        cPNGwriter writer;
        Bytes png;
        writer.WritePNG(s->dib, {}, png);
        s->colorType = writer.ChosenColorType();
        s->ownBytes = png.size();
        samples[kind] = std::move(s);
    }
    return *samples[kind];
}

void BM_Encode_Corvale_Default(benchmark::State& state, Kind kind) {
    EncodeSample& s = GetEncode(kind);
    for (auto _ : state) {
        Bytes out;
        cPNGwriter writer;
        if (!writer.WritePNG(s.dib, {}, out)) state.SkipWithError("encode failed");
        benchmark::DoNotOptimize(out.data());
        state.counters["png_bytes"] = double(out.size());
    }
    state.counters["colour_type"] = s.colorType;
}

// libpng at level 9, writing the same colour type with the filter our default picks (Paeth for
// truecolour, none for palette images). libpng's own choice of zlib strategy for filtered rows
// (Z_FILTERED) compresses photographs better than zlib's default, which is all that compress2
// offers; the second variant holds libpng to zlib's default so both compress alike.
void EncodeLibpng(benchmark::State& state, Kind kind, bool zlibDefaultStrategy) {
    EncodeSample& s = GetEncode(kind);
    // The rows libpng is given, in the colour type our encoder chose.
    std::vector<Bytes> rows(kSize);
    std::vector<png_color> palette;
    if (s.colorType == 3) {
        // The palette in our encoder's order (ascending 0xAARRGGBB; the picture is opaque, so
        // premultiplying changes nothing), so that both compress the same bytes.
        auto key = [&](std::size_t i) {
            const std::uint8_t* p = &s.straight[i];
            return std::uint32_t(p[3]) << 24 | std::uint32_t(p[0]) << 16 |
                   std::uint32_t(p[1]) << 8 | p[2];
        };
        std::vector<std::uint32_t> colours;
        for (std::size_t i = 0; i < s.straight.size(); i += 4) colours.push_back(key(i));
        std::sort(colours.begin(), colours.end());
        colours.erase(std::unique(colours.begin(), colours.end()), colours.end());
        for (std::uint32_t v : colours)
            palette.push_back({std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)});
        for (int y = 0; y < kSize; ++y) {
            rows[y].resize(kSize);
            for (int x = 0; x < kSize; ++x)
                rows[y][x] = std::uint8_t(std::lower_bound(colours.begin(), colours.end(),
                                                           key((std::size_t(y) * kSize + x) * 4)) -
                                          colours.begin());
        }
    } else {
        // The straight colours our encoder writes: the stored pixels un-premultiplied, clear
        // pixels black.
        const int channels = s.colorType == 6 ? 4 : 3;
        for (int y = 0; y < kSize; ++y) {
            rows[y].resize(std::size_t(kSize) * channels);
            const std::uint8_t* p = s.dib.BitsPointer() + std::size_t(kSize - 1 - y) * kSize * 4;
            for (int x = 0; x < kSize; ++x, p += 4) {
                const unsigned a = p[3];
                std::uint8_t* d = &rows[y][std::size_t(x) * channels];
                for (int c = 0; c < 3; ++c)
                    d[c] = a == 0     ? 0
                           : a == 255 ? p[2 - c]
                                      : std::uint8_t(std::min(255u, p[2 - c] * 255u / a));
                if (channels == 4) d[3] = std::uint8_t(a);
            }
        }
    }
    std::vector<png_bytep> pointers;
    for (auto& r : rows) pointers.push_back(r.data());
    const int pngType = s.colorType == 6   ? PNG_COLOR_TYPE_RGBA
                        : s.colorType == 2 ? PNG_COLOR_TYPE_RGB
                                           : PNG_COLOR_TYPE_PALETTE;
    const int filter = s.colorType == 3 ? PNG_FILTER_NONE : PNG_FILTER_PAETH;
    for (auto _ : state) {
        Bytes out;
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_set_write_fn(png, &out, AppendToBytes, nullptr);
        png_set_compression_level(png, 9);
        if (zlibDefaultStrategy) png_set_compression_strategy(png, Z_DEFAULT_STRATEGY);
        png_set_filter(png, PNG_FILTER_TYPE_BASE, filter);
        png_set_IHDR(png, info, kSize, kSize, 8, pngType, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
        if (s.colorType == 3) png_set_PLTE(png, info, palette.data(), int(palette.size()));
        png_set_rows(png, info, pointers.data());
        png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
        png_destroy_write_struct(&png, &info);
        benchmark::DoNotOptimize(out.data());
        state.counters["png_bytes"] = double(out.size());
    }
}

void BM_Encode_Libpng_Level9(benchmark::State& state, Kind kind) {
    EncodeLibpng(state, kind, false);
}

void BM_Encode_Libpng_Level9_ZlibDefault(benchmark::State& state, Kind kind) {
    EncodeLibpng(state, kind, true);
}

constexpr const char* kKindNames[kKinds] = {"rgba", "rgb",        "palette",
                                            "grey", "rgba-adam7", "rgb16"};

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream f(path, std::ios::binary);
    std::error_code ec;
    Bytes bytes(std::filesystem::file_size(path, ec));
    if (ec || !f.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size())))
        bytes.clear();
    return bytes;
}

// The corpus folder: $CORVALE_PNG_CORPUS, else the one the build writes.
std::filesystem::path CorpusFolder() {
    if (const char* env = std::getenv("CORVALE_PNG_CORPUS")) return env;
#ifdef CORVALE_PNG_CORPUS_DIR
    return CORVALE_PNG_CORPUS_DIR;
#else
    return {};
#endif
}

// Today's kinds, then the corpus files in name order (a file with the same bytes as an earlier
// one is left out and named in the output's context).
std::vector<std::unique_ptr<Sample>>& LoadSamples() {
    static std::vector<std::unique_ptr<Sample>> samples;
    for (int k = 0; k < kKinds; ++k) {
        auto s = std::make_unique<Sample>();
        s->name = kKindNames[k];
        s->generated = k;
        samples.push_back(std::move(s));
    }
    const std::filesystem::path folder = CorpusFolder();
    std::error_code ec;
    std::vector<std::filesystem::path> files;
    if (!folder.empty())
        for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
            if (entry.path().extension() == ".png") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    if (files.empty())
        std::fprintf(stderr,
                     "bench_png: no corpus in '%s' (build the target png_corpus): "
                     "today's kinds only\n",
                     folder.string().c_str());
    std::string same;
    for (const auto& file : files) {
        auto s = std::make_unique<Sample>();
        s->name = file.stem().string();
        s->png = ReadFile(file);
        s->idat = ImageData(s->png);
        s->rawSize = RawSize(s->png);
        if (s->idat.size() < 6 || s->rawSize == 0) {
            std::fprintf(stderr, "bench_png: %s is not a PNG it can use\n", file.string().c_str());
            continue;
        }
        const auto twin = std::find_if(samples.begin(), samples.end(),
                                       [&](const auto& t) { return t->png == s->png; });
        if (twin != samples.end()) {
            same += (same.empty() ? "" : " ") + s->name + "=" + (*twin)->name;
            continue;
        }
        samples.push_back(std::move(s));
    }
    benchmark::AddCustomContext("same_bytes", same);
    return samples;
}

// Decoding reference and own decodes for every kind, libpng's row interface for the
// 2048 x 2048 pictures only. Big pictures get longer runs than small ones.
void RegisterAll() {
    using DecodeFn = void (*)(benchmark::State&, Sample*);
    struct Named {
        const char* name;
        DecodeFn fn;
        bool bigOnly;
    };
    static constexpr Named kBenchmarks[] = {
        {"BM_Decode_Libpng_Simplified", BM_Decode_Libpng_Simplified, false},
        {"BM_Decode_Libpng_Rows", BM_Decode_Libpng_Rows, true},
        {"BM_Decode_Libspng", BM_Decode_Libspng, false},
        {"BM_Decode_StbImage", BM_Decode_StbImage, false},
        {"BM_Decode_Corvale_Zlib", BM_Decode_Corvale_Zlib, false},
        {"BM_Decode_Corvale_OwnInflate", BM_Decode_Corvale_OwnInflate, false},
        {"BM_Inflate_Own", BM_Inflate_Own, false},
        {"BM_Inflate_OwnChunks", BM_Inflate_OwnChunks, false},
        {"BM_Inflate_OwnJoined", BM_Inflate_OwnJoined, false},
        {"BM_Inflate_ZlibUncompress", BM_Inflate_ZlibUncompress, false},
        {"BM_Inflate_Libdeflate", BM_Inflate_Libdeflate, false},
        {"BM_RowPass", BM_RowPass, false},
        {"BM_InflatePaired", BM_InflatePaired, false},
    };
    for (const auto& sample : LoadSamples()) {
        const bool big = sample->generated >= 0 || sample->rawSize >= 4u << 20;
        for (const Named& b : kBenchmarks) {
            if (b.bigOnly && !big) continue;
            const std::string name = std::string(b.name) + "/kind:" + sample->name;
            auto* registered = benchmark::RegisterBenchmark(name.c_str(), b.fn, sample.get())
                                   ->Unit(benchmark::kMillisecond);
            if (b.fn == BM_RowPass) // timed by itself; a small share of each iteration's time
                registered->UseManualTime()->MinTime(big ? 0.05 : 0.02);
            else if (b.fn == BM_InflatePaired) // timed by itself; half of each iteration's time
                registered->UseManualTime()->MinTime(big ? 0.1 : 0.025);
            else
                registered->MinTime(big ? 0.2 : 0.05);
        }
    }
    using EncodeFn = void (*)(benchmark::State&, Kind);
    const std::pair<const char*, EncodeFn> encoders[] = {
        {"BM_Encode_Corvale_Default", BM_Encode_Corvale_Default},
        {"BM_Encode_Libpng_Level9", BM_Encode_Libpng_Level9},
        {"BM_Encode_Libpng_Level9_ZlibDefault", BM_Encode_Libpng_Level9_ZlibDefault}};
    for (const auto& [name, fn] : encoders)
        for (Kind k : {kRgba, kRgb, kPalette})
            benchmark::RegisterBenchmark((std::string(name) + "/kind:" + kKindNames[k]).c_str(), fn,
                                         k)
                ->Unit(benchmark::kMillisecond)
                ->Iterations(2);
}

} // namespace
} // namespace corvale

int main(int argc, char** argv) {
#if defined(__GLIBC__)
    // Every buffer up to 32 MiB (the largest picture here is 16 MiB, the largest image data
    // 25 MiB) comes from the heap and goes back to it, for every decoder alike: otherwise
    // whether a decode gets reused memory or fresh pages (a page fault and a cleared page each
    // 4 KiB) depends on what ran before it, and the times swing with it.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
#endif
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    corvale::RegisterAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
