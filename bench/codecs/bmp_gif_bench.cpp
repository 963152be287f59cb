// Decoding a 2048 x 2048 GIF and a 2048 x 2048 24-bit BMP: our decoders next to giflib and
// stb_image, each producing a full 32-bit picture.
#include <benchmark/benchmark.h>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#include <gif_lib.h>
#include <stb/stb_image.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "codecs/cBMPparser.h"
#include "codecs/cGIFparser.h"
#include "imaging/c32bppDIB.h"

namespace {

constexpr int kSide = 2048;

// A photo-like picture: smooth gradients, a few shapes and some noise, 256 colours.
std::vector<std::uint8_t> PictureIndices() {
    std::vector<std::uint8_t> indices(static_cast<std::size_t>(kSide) * kSide);
    std::uint32_t seed = 1;
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int dx = x - 900, dy = y - 1100;
            int v = (x / 16 + y / 24) % 200;
            if (dx * dx + dy * dy < 500 * 500) v = 200 + (dx * dx + dy * dy) / 5000 % 40;
            if ((seed >> 28) == 0) v = (v + static_cast<int>(seed >> 20 & 15)) % 256;
            indices[static_cast<std::size_t>(y) * kSide + x] = static_cast<std::uint8_t>(v);
        }
    }
    return indices;
}

std::vector<std::uint8_t> MakeGif() {
    const auto indices = PictureIndices();
    std::vector<GifColorType> table(256);
    for (int i = 0; i < 256; ++i) {
        table[i] = {static_cast<GifByteType>(i), static_cast<GifByteType>(255 - i),
                    static_cast<GifByteType>(i * 5)};
    }
    std::vector<std::uint8_t> out;
    int error = 0;
    GifFileType* gif = EGifOpen(
        &out,
        [](GifFileType* g, const GifByteType* data, int n) {
            auto* o = static_cast<std::vector<std::uint8_t>*>(g->UserData);
            o->insert(o->end(), data, data + n);
            return n;
        },
        &error);
    ColorMapObject* map = GifMakeMapObject(256, table.data());
    EGifPutScreenDesc(gif, kSide, kSide, 8, 0, map);
    EGifPutImageDesc(gif, 0, 0, kSide, kSide, false, nullptr);
    std::vector<GifPixelType> line(indices.begin(), indices.end());
    EGifPutLine(gif, line.data(), static_cast<int>(line.size()));
    GifFreeMapObject(map);
    EGifCloseFile(gif, &error);
    return out;
}

std::vector<std::uint8_t> MakeBmp24() {
    const std::size_t rowBytes = kSide * 3;
    const std::uint32_t offset = 54;
    std::vector<std::uint8_t> file(offset + rowBytes * kSide);
    auto put32 = [&](std::size_t at, std::uint32_t v) { std::memcpy(file.data() + at, &v, 4); };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<std::uint32_t>(file.size()));
    put32(10, offset);
    put32(14, 40);
    put32(18, kSide);
    put32(22, kSide);
    file[26] = 1;
    file[28] = 24;
    std::uint32_t seed = 3;
    for (std::size_t i = offset; i < file.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        file[i] = static_cast<std::uint8_t>(seed >> 24);
    }
    return file;
}

const std::vector<std::uint8_t>& GifFile() {
    static const auto file = MakeGif();
    return file;
}
const std::vector<std::uint8_t>& BmpFile() {
    static const auto file = MakeBmp24();
    return file;
}

void Gif_Corvale(benchmark::State& state) {
    const auto& file = GifFile();
    for (auto _ : state) {
        corvale::c32bppDIB dib;
        if (!corvale::DecodeGifStream(dib, file, {})) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(dib.BitsPointer());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSide * kSide * 4);
}

struct MemoryInput {
    const std::vector<std::uint8_t>* bytes;
    std::size_t pos = 0;
};

// giflib decodes the indices; they are then mapped to 32-bit pixels like ours.
void Gif_Giflib(benchmark::State& state) {
    const auto& file = GifFile();
    for (auto _ : state) {
        MemoryInput input{&file};
        int error = 0;
        GifFileType* gif = DGifOpen(
            &input,
            [](GifFileType* g, GifByteType* out, int n) {
                auto* in = static_cast<MemoryInput*>(g->UserData);
                const std::size_t k =
                    std::min<std::size_t>(static_cast<std::size_t>(n), in->bytes->size() - in->pos);
                std::memcpy(out, in->bytes->data() + in->pos, k);
                in->pos += k;
                return static_cast<int>(k);
            },
            &error);
        if (DGifSlurp(gif) != GIF_OK) state.SkipWithError("giflib failed");
        const SavedImage& frame = gif->SavedImages[0];
        const ColorMapObject* map = gif->SColorMap;
        std::uint32_t lut[256] = {};
        for (int i = 0; i < map->ColorCount; ++i) {
            const GifColorType c = map->Colors[i];
            lut[i] = c.Blue | (c.Green << 8) | (c.Red << 16) | 0xFF000000u;
        }
        std::vector<std::uint32_t> pixels(static_cast<std::size_t>(kSide) * kSide);
        for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = lut[frame.RasterBits[i]];
        benchmark::DoNotOptimize(pixels.data());
        DGifCloseFile(gif, &error);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSide * kSide * 4);
}

void Bmp24_Corvale(benchmark::State& state) {
    const auto& file = BmpFile();
    for (auto _ : state) {
        corvale::c32bppDIB dib;
        if (!corvale::DecodeBmpStream(dib, file, {})) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(dib.BitsPointer());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSide * kSide * 4);
}

void Bmp24_StbImage(benchmark::State& state) {
    const auto& file = BmpFile();
    for (auto _ : state) {
        int w = 0, h = 0, n = 0;
        stbi_uc* rgba =
            stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &w, &h, &n, 4);
        if (rgba == nullptr) state.SkipWithError("stb_image failed");
        benchmark::DoNotOptimize(rgba);
        stbi_image_free(rgba);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSide * kSide * 4);
}

BENCHMARK(Gif_Corvale)->Unit(benchmark::kMillisecond);
BENCHMARK(Gif_Giflib)->Unit(benchmark::kMillisecond);
BENCHMARK(Bmp24_Corvale)->Unit(benchmark::kMillisecond);
BENCHMARK(Bmp24_StbImage)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
