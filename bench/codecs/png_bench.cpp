// PNG decoding, inflating and encoding next to libpng and zlib, on 2048 x 2048 images made here:
// a photo-like RGBA picture, an opaque RGB picture and a 256-colour palette picture.
#include "codecs/cPNGparser.h"
#include "codecs/cPNGwriter.h"
#include "codecs/inflate.h"
#include "imaging/c32bppDIB.h"

#include <benchmark/benchmark.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace corvale {
namespace {

constexpr int kSize = 2048;
using Bytes = std::vector<std::uint8_t>;

enum Kind { kRgba = 0, kRgb = 1, kPalette = 2 };

// Smooth shapes plus sensor-like noise; straight RGBA, top-down.
Bytes MakeStraightPixels(Kind kind) {
    Bytes rgba(std::size_t(kSize) * kSize * 4);
    std::mt19937 rng(42);
    std::normal_distribution<float> noise(0.0f, 3.0f);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const float fx = x / 97.0f, fy = y / 131.0f;
            const float base[3] = {128 + 90 * std::sin(fx) * std::cos(fy * 0.7f),
                                   128 + 80 * std::sin(fx * 0.5f + fy),
                                   128 + 70 * std::cos(fx * 0.3f - fy * 1.3f)};
            std::uint8_t* p = &rgba[(std::size_t(y) * kSize + x) * 4];
            for (int c = 0; c < 3; ++c) {
                float v = base[c] + (kind == kPalette ? 0.0f : noise(rng));
                if (kind == kPalette) v = std::floor(v / 43.0f) * 43.0f; // 6 levels a channel
                p[c] = std::uint8_t(std::fmin(255.0f, std::fmax(0.0f, v)));
            }
            const float r = std::hypot(x - kSize / 2.0f, y - kSize / 2.0f) / (kSize / 2.0f);
            p[3] = kind == kRgba
                       ? std::uint8_t(std::fmax(0.0f, std::fmin(255.0f, 300.0f * (1.1f - r))))
                       : 255;
        }
    return rgba;
}

struct Sample {
    Bytes straight; // RGBA, top-down
    c32bppDIB dib;  // the same picture, premultiplied
    Bytes png;      // written by the own encoder
    Bytes idat;     // its image data
    std::size_t rawSize = 0;
    int colorType = 0;
};

Sample& Get(Kind kind) {
    static std::unique_ptr<Sample> samples[3];
    if (!samples[kind]) {
        auto s = std::make_unique<Sample>();
        s->straight = MakeStraightPixels(kind);
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
        writer.WritePNG(s->dib, {}, s->png);
        s->colorType = writer.ChosenColorType();
        std::size_t pos = 8;
        while (pos + 12 <= s->png.size()) {
            const std::uint8_t* c = &s->png[pos];
            const std::size_t n = std::size_t(c[0]) << 24 | c[1] << 16 | c[2] << 8 | c[3];
            if (std::memcmp(c + 4, "IDAT", 4) == 0) s->idat.insert(s->idat.end(), c + 8, c + 8 + n);
            pos += 12 + n;
        }
        const std::size_t channels = s->colorType == 6 ? 4 : s->colorType == 2 ? 3 : 1;
        s->rawSize = std::size_t(kSize) * (kSize * channels + 1);
        samples[kind] = std::move(s);
    }
    return *samples[kind];
}

void SetCounters(benchmark::State& state, const Sample& s) {
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kSize * kSize * 4);
    state.counters["png_bytes"] = double(s.png.size());
    state.counters["colour_type"] = s.colorType;
}

// ---- Decoding -------------------------------------------------------------------------------

void BM_Decode_Corvale_Zlib(benchmark::State& state) {
    Sample& s = Get(Kind(state.range(0)));
    for (auto _ : state) {
        c32bppDIB dib;
        cPNGparser parser;
        parser.LoadStream(s.png, dib);
        if (parser.LastInflater() != cPNGparser::Inflater::Zlib) state.SkipWithError("no zlib");
        benchmark::DoNotOptimize(dib.BitsPointer());
    }
    SetCounters(state, s);
}

void BM_Decode_Libpng_Simplified(benchmark::State& state) {
    Sample& s = Get(Kind(state.range(0)));
    Bytes out(std::size_t(kSize) * kSize * 4);
    for (auto _ : state) {
        png_image image;
        std::memset(&image, 0, sizeof image);
        image.version = PNG_IMAGE_VERSION;
        png_image_begin_read_from_memory(&image, s.png.data(), s.png.size());
        image.format = PNG_FORMAT_RGBA;
        if (!png_image_finish_read(&image, nullptr, out.data(), 0, nullptr))
            state.SkipWithError("libpng failed");
        benchmark::DoNotOptimize(out.data());
    }
    SetCounters(state, s);
}

// ---- Inflating the same image data -----------------------------------------------------------

void BM_Inflate_Own(benchmark::State& state) {
    Sample& s = Get(Kind(state.range(0)));
    Bytes out(s.rawSize);
    for (auto _ : state) {
        if (!InflateData(out, s.idat).ok) state.SkipWithError("inflate failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(s.rawSize));
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
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(s.rawSize));
}

// ---- Encoding ---------------------------------------------------------------------------------

void BM_Encode_Corvale_Default(benchmark::State& state) {
    Sample& s = Get(Kind(state.range(0)));
    for (auto _ : state) {
        Bytes out;
        cPNGwriter writer;
        if (!writer.WritePNG(s.dib, {}, out)) state.SkipWithError("encode failed");
        benchmark::DoNotOptimize(out.data());
    }
    SetCounters(state, s);
}

// libpng at level 9, writing the same colour type with the filter our default picks (Paeth for
// truecolour, none for palette images).
void BM_Encode_Libpng_Level9(benchmark::State& state) {
    Sample& s = Get(Kind(state.range(0)));
    // The rows libpng is given, in the colour type our encoder chose.
    std::vector<Bytes> rows(kSize);
    std::vector<png_color> palette;
    if (s.colorType == 3) {
        std::vector<std::uint32_t> colours;
        for (std::size_t i = 0; i < s.straight.size(); i += 4) {
            std::uint32_t v;
            std::memcpy(&v, &s.straight[i], 4);
            colours.push_back(v);
        }
        std::sort(colours.begin(), colours.end());
        colours.erase(std::unique(colours.begin(), colours.end()), colours.end());
        for (std::uint32_t v : colours)
            palette.push_back({std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16)});
        for (int y = 0; y < kSize; ++y) {
            rows[y].resize(kSize);
            for (int x = 0; x < kSize; ++x) {
                std::uint32_t v;
                std::memcpy(&v, &s.straight[(std::size_t(y) * kSize + x) * 4], 4);
                rows[y][x] = std::uint8_t(std::lower_bound(colours.begin(), colours.end(), v) -
                                          colours.begin());
            }
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
        png_set_write_fn(
            png, &out,
            [](png_structp p, png_bytep data, png_size_t n) {
                auto* o = static_cast<Bytes*>(png_get_io_ptr(p));
                o->insert(o->end(), data, data + n);
            },
            nullptr);
        png_set_compression_level(png, 9);
        png_set_filter(png, PNG_FILTER_TYPE_BASE, filter);
        png_set_IHDR(png, info, kSize, kSize, 8, pngType, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
        if (s.colorType == 3) png_set_PLTE(png, info, palette.data(), int(palette.size()));
        png_set_rows(png, info, pointers.data());
        png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
        png_destroy_write_struct(&png, &info);
        benchmark::DoNotOptimize(out.data());
        state.counters["libpng_bytes"] = double(out.size());
    }
    SetCounters(state, s);
}

void Kinds(benchmark::internal::Benchmark* b) {
    b->ArgName("rgba_rgb_palette")
        ->Arg(kRgba)
        ->Arg(kRgb)
        ->Arg(kPalette)
        ->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_Decode_Corvale_Zlib)->Apply(Kinds);
BENCHMARK(BM_Decode_Libpng_Simplified)->Apply(Kinds);
BENCHMARK(BM_Inflate_Own)->Apply(Kinds);
BENCHMARK(BM_Inflate_ZlibUncompress)->Apply(Kinds);
BENCHMARK(BM_Encode_Corvale_Default)->Apply(Kinds)->Iterations(2);
BENCHMARK(BM_Encode_Libpng_Level9)->Apply(Kinds)->Iterations(2);

} // namespace
} // namespace corvale

BENCHMARK_MAIN();
