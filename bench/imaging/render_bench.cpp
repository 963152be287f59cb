// Own engine: scaling 1024 x 1024 to 1600 x 1600 (nearest and bilinear) and blending, side by
// side with the reference resampler (triangle filter = bilinear) on the same pixels.
#include "imaging/c32bppDIB.h"
#include "imaging/render_engine.h"

#include <benchmark/benchmark.h>

#include <stb/stb_image_resize.h>

#include <cstdint>
#include <vector>

namespace corvale {
namespace {

constexpr int kSource = 1024;
constexpr int kTarget = 1600;

// Premultiplied test picture: colour gradients with a varying alpha.
void Paint(c32bppDIB& dib) {
    dib.InitializeDIB(kSource, kSource);
    std::uint8_t* p = dib.BitsPointer();
    for (int y = 0; y < kSource; ++y)
        for (int x = 0; x < kSource; ++x, p += 4) {
            const unsigned a = 128 + ((x ^ y) & 127);
            p[0] = std::uint8_t((x & 255) * a / 255);
            p[1] = std::uint8_t((y & 255) * a / 255);
            p[2] = std::uint8_t(((x + y) & 255) * a / 255);
            p[3] = std::uint8_t(a);
        }
}

void SetPixelsCounter(benchmark::State& state, double pixels) {
    state.counters["Mpix/s"] =
        benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_OwnScale(benchmark::State& state, bool bilinear) {
    c32bppDIB src(0);
    Paint(src);
    PixelPlane out;
    out.Allocate(kTarget, kTarget);
    const ScaleRequest rq{kTarget, kTarget, 0, 0, bilinear};
    for (auto _ : state) {
        ScaleCopy(ViewOf(src), rq, out);
        benchmark::DoNotOptimize(out.bytes.data());
        benchmark::ClobberMemory();
    }
    SetPixelsCounter(state, double(kTarget) * kTarget);
}


void BM_ReferenceScaleBilinear(benchmark::State& state) {
    c32bppDIB src(0);
    Paint(src);
    std::vector<std::uint8_t> out(std::size_t(kTarget) * kTarget * 4);
    for (auto _ : state) {
        stbir_resize_uint8_generic(src.BitsPointer(), kSource, kSource, kSource * 4, out.data(),
                                   kTarget, kTarget, kTarget * 4, 4, 3,
                                   STBIR_FLAG_ALPHA_PREMULTIPLIED, STBIR_EDGE_CLAMP,
                                   STBIR_FILTER_TRIANGLE, STBIR_COLORSPACE_LINEAR, nullptr);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    SetPixelsCounter(state, double(kTarget) * kTarget);
}

// The whole Render call into a host image: scale copy then blend out.
void BM_OwnRenderScaled(benchmark::State& state, bool bilinear) {
    c32bppDIB src(0), dest(0);
    Paint(src);
    src.HighQualityInterpolation(bilinear);
    dest.InitializeDIB(kTarget, kTarget);
    for (auto _ : state) {
        src.Render(0, 0, 0, kTarget, kTarget, 0, 0, 0, 0, 100, true, true, &dest);
        benchmark::DoNotOptimize(dest.BitsPointer());
    }
    SetPixelsCounter(state, double(kTarget) * kTarget);
}

// Blend out alone: an unscaled draw at full and partial opacity.
void BM_OwnBlend(benchmark::State& state) {
    c32bppDIB src(0), dest(0);
    Paint(src);
    dest.InitializeDIB(kSource, kSource);
    const auto opacity = std::int32_t(state.range(0));
    for (auto _ : state) {
        src.Render(0, 0, 0, 0, 0, 0, 0, 0, 0, opacity, true, true, &dest);
        benchmark::DoNotOptimize(dest.BitsPointer());
    }
    SetPixelsCounter(state, double(kSource) * kSource);
}

BENCHMARK_CAPTURE(BM_OwnScale, Nearest, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OwnScale, Bilinear, true)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceScaleBilinear)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OwnRenderScaled, Nearest, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OwnRenderScaled, Bilinear, true)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OwnBlend)->Arg(100)->Arg(60)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace corvale

BENCHMARK_MAIN();
