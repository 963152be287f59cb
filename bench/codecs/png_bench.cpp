// PNG decoding, inflating and encoding next to libpng, zlib and libdeflate, on 2048 x 2048
// photo-like pictures made here (smooth shapes with sensor-like noise, alpha from a radial ramp).
//
// Decoding reads six kinds written by libpng with its default settings (adaptive filters):
// RGBA, RGB, 256-colour palette, grey, Adam7-interlaced RGBA and 16-bit RGB, all from memory.
// The inflate benchmarks decompress the same image data. Encoding compares the own encoder with
// libpng at level 9 on the RGBA, RGB and palette pictures.
//
// tools/png-bench runs this interleaved and prints the ratios.
#include "codecs/cPNGparser.h"
#include "codecs/cPNGwriter.h"
#include "codecs/inflate.h"
#include "imaging/c32bppDIB.h"

#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
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

// The joined IDAT bodies of a PNG.
Bytes ImageData(const Bytes& png) {
    Bytes idat;
    std::size_t pos = 8;
    while (pos + 12 <= png.size()) {
        const std::uint8_t* c = &png[pos];
        const std::size_t n = std::size_t(c[0]) << 24 | c[1] << 16 | c[2] << 8 | c[3];
        if (std::memcmp(c + 4, "IDAT", 4) == 0) idat.insert(idat.end(), c + 8, c + 8 + n);
        pos += 12 + n;
    }
    return idat;
}

// Filtered bytes the image data of a kind inflate to.
std::size_t RawSize(Kind kind) {
    const std::size_t bytesPerPixel = kind == kRgba || kind == kAdam7Rgba ? 4
                                      : kind == kRgb                      ? 3
                                      : kind == kRgb16                    ? 6
                                                                          : 1;
    if (kind != kAdam7Rgba) return std::size_t(kSize) * (kSize * bytesPerPixel + 1);
    // 2048 is a multiple of 8: every pass has whole rows and columns.
    const int cols[7] = {256, 256, 512, 512, 1024, 1024, 2048};
    const int rows[7] = {256, 256, 256, 512, 512, 1024, 1024};
    std::size_t total = 0;
    for (int p = 0; p < 7; ++p) total += std::size_t(rows[p]) * (cols[p] * bytesPerPixel + 1);
    return total;
}

struct Sample {
    Bytes png;  // written by libpng
    Bytes idat; // its image data
    std::size_t rawSize = 0;
};

Sample& Get(Kind kind) {
    static std::unique_ptr<Sample> samples[kKinds];
    if (!samples[kind]) {
        auto s = std::make_unique<Sample>();
        s->png = WriteWithLibpng(kind, MakePixels(kind));
        s->idat = ImageData(s->png);
        s->rawSize = RawSize(kind);
        samples[kind] = std::move(s);
    }
    return *samples[kind];
}

void SetCounters(benchmark::State& state, const Sample& s) {
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kSize * kSize * 4);
    state.counters["png_bytes"] = double(s.png.size());
}

// ---- Decoding -------------------------------------------------------------------------------

constexpr std::string_view kNoZlib[] = {"corvale-no-such-library"};

void DecodeCorvale(benchmark::State& state, bool withZlib) {
    Sample& s = Get(Kind(state.range(0)));
    PngDecodeOptions options;
    if (!withZlib) options.zlibNames = kNoZlib;
    const auto wanted = withZlib ? cPNGparser::Inflater::Zlib : cPNGparser::Inflater::Own;
    for (auto _ : state) {
        c32bppDIB dib;
        cPNGparser parser(options);
        parser.LoadStream(s.png, dib);
        if (parser.LastInflater() != wanted) state.SkipWithError("not the inflate asked for");
        benchmark::DoNotOptimize(dib.BitsPointer());
    }
    SetCounters(state, s);
}

void BM_Decode_Corvale_Zlib(benchmark::State& state) {
    DecodeCorvale(state, true);
}

void BM_Decode_Corvale_OwnInflate(benchmark::State& state) {
    DecodeCorvale(state, false);
}

// libpng's simplified reading interface to 8-bit RGBA (16-bit samples go through its gamma
// handling). The output buffer is allocated per decode, as the image object is.
void BM_Decode_Libpng_Simplified(benchmark::State& state) {
    Sample& s = Get(Kind(state.range(0)));
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
void BM_Decode_Libpng_Rows(benchmark::State& state) {
    Sample& s = Get(Kind(state.range(0)));
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

// ---- Inflating the same image data -----------------------------------------------------------

void SetInflateCounters(benchmark::State& state, const Sample& s) {
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(s.rawSize));
}

void BM_Inflate_Own(benchmark::State& state) {
    Sample& s = Get(Kind(state.range(0)));
    Bytes out(s.rawSize);
    for (auto _ : state) {
        const InflateResult r = InflateData(out, s.idat);
        if (!r.ok || r.written != s.rawSize) state.SkipWithError("inflate failed");
        benchmark::DoNotOptimize(out.data());
    }
    SetInflateCounters(state, s);
}

void BM_Inflate_ZlibUncompress(benchmark::State& state) {
    Sample& s = Get(Kind(state.range(0)));
    Bytes out(s.rawSize);
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
void BM_Inflate_Libdeflate(benchmark::State& state) {
    Sample& s = Get(Kind(state.range(0)));
    Bytes out(s.rawSize);
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    for (auto _ : state) {
        if (libdeflate_deflate_decompress(d, s.idat.data() + 2, s.idat.size() - 6, out.data(),
                                          out.size(), nullptr) != LIBDEFLATE_SUCCESS)
            state.SkipWithError("libdeflate failed");
        benchmark::DoNotOptimize(out.data());
    }
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

void BM_Encode_Corvale_Default(benchmark::State& state) {
    EncodeSample& s = GetEncode(Kind(state.range(0)));
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
void EncodeLibpng(benchmark::State& state, bool zlibDefaultStrategy) {
    EncodeSample& s = GetEncode(Kind(state.range(0)));
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

void BM_Encode_Libpng_Level9(benchmark::State& state) {
    EncodeLibpng(state, false);
}

void BM_Encode_Libpng_Level9_ZlibDefault(benchmark::State& state) {
    EncodeLibpng(state, true);
}

void AllKinds(benchmark::internal::Benchmark* b) {
    b->ArgName("kind")->DenseRange(kRgba, kRgb16)->Unit(benchmark::kMillisecond);
}

void EncodeKinds(benchmark::internal::Benchmark* b) {
    b->ArgName("kind")->DenseRange(kRgba, kPalette)->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_Decode_Libpng_Simplified)->Apply(AllKinds);
BENCHMARK(BM_Decode_Libpng_Rows)->Apply(AllKinds);
BENCHMARK(BM_Decode_Corvale_Zlib)->Apply(AllKinds);
BENCHMARK(BM_Decode_Corvale_OwnInflate)->Apply(AllKinds);
BENCHMARK(BM_Inflate_Own)->Apply(AllKinds);
BENCHMARK(BM_Inflate_ZlibUncompress)->Apply(AllKinds);
BENCHMARK(BM_Inflate_Libdeflate)->Apply(AllKinds);
BENCHMARK(BM_Encode_Corvale_Default)->Apply(EncodeKinds)->Iterations(2);
BENCHMARK(BM_Encode_Libpng_Level9)->Apply(EncodeKinds)->Iterations(2);
BENCHMARK(BM_Encode_Libpng_Level9_ZlibDefault)->Apply(EncodeKinds)->Iterations(2);

} // namespace
} // namespace corvale

BENCHMARK_MAIN();
