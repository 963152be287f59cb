#include "codecs/bitmap_rows.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "codecs/little_endian_reader.h"

namespace corvale {

namespace {

constexpr std::uint32_t kOpaqueBlack = 0xFF000000u;

// One colour channel of a bit-field pixel: position and width of its mask, and for masks of
// fewer than 8 bits the table that widens a value to 8 bits by repeating its bits.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int width = 0;
    std::array<std::uint8_t, 256> widen{};

    explicit Channel(std::uint32_t m) : mask(m) {
        if (m == 0) return;
        shift = std::countr_zero(m);
        width = 32 - std::countl_zero(m >> shift);
        if (width >= 8) return;
        for (std::uint32_t v = 0; v < (1u << width); ++v) {
            std::uint32_t out = 0;
            for (int s = 8 - width; s > -width; s -= width) {
                out |= s >= 0 ? (v << s) : (v >> -s);
            }
            widen[v] = static_cast<std::uint8_t>(out & 0xFF);
        }
    }
    std::uint32_t Get(std::uint32_t pixel) const {
        if (mask == 0) return 0;
        const std::uint32_t v = (pixel & mask) >> shift;
        return width >= 8 ? ((v >> (width - 8)) & 0xFF) : widen[v];
    }
};

void Store(std::uint8_t* dst, std::uint32_t bgra) {
    std::memcpy(dst, &bgra, 4);
}

std::uint32_t Bgra(std::uint32_t b, std::uint32_t g, std::uint32_t r) {
    return b | (g << 8) | (r << 16) | kOpaqueBlack;
}

std::uint32_t PaletteAt(const DibLayout& layout, std::uint32_t index) {
    return index < layout.paletteEntries ? layout.palette[index] : kOpaqueBlack;
}

void DecodeRow(const DibLayout& layout, const std::uint8_t* src, std::uint8_t* dst,
               const Channel* channels) {
    const std::size_t width = static_cast<std::size_t>(layout.width);
    switch (layout.bitCount) {
    case 1:
        for (std::size_t x = 0; x < width; ++x) {
            Store(dst + 4 * x, PaletteAt(layout, (src[x >> 3] >> (7 - (x & 7))) & 1));
        }
        break;
    case 4:
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint8_t b = src[x >> 1];
            Store(dst + 4 * x, PaletteAt(layout, (x & 1) ? (b & 15) : (b >> 4)));
        }
        break;
    case 8:
        for (std::size_t x = 0; x < width; ++x) Store(dst + 4 * x, PaletteAt(layout, src[x]));
        break;
    case 16:
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint32_t p = static_cast<std::uint32_t>(src[2 * x] | (src[2 * x + 1] << 8));
            Store(dst + 4 * x, Bgra(channels[2].Get(p), channels[1].Get(p), channels[0].Get(p)));
        }
        break;
    case 24:
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint8_t* s = src + 3 * x;
            Store(dst + 4 * x, Bgra(s[0], s[1], s[2]));
        }
        break;
    case 32:
        if (layout.compression == kBiRgb) {
            std::memcpy(dst, src, 4 * width);
            if (!layout.keepAlpha) {
                for (std::size_t x = 0; x < width; ++x) dst[4 * x + 3] = 0xFF;
            }
        } else {
            for (std::size_t x = 0; x < width; ++x) {
                std::uint32_t p;
                std::memcpy(&p, src + 4 * x, 4);
                Store(dst + 4 * x,
                      Bgra(channels[2].Get(p), channels[1].Get(p), channels[0].Get(p)));
            }
        }
        break;
    default:
        break;
    }
}

bool DecodeRle(const DibLayout& layout, std::span<const std::uint8_t> data, std::uint8_t* dst) {
    const bool rle8 = layout.compression == kBiRle8;
    const std::uint64_t width = static_cast<std::uint64_t>(layout.width);
    const std::uint64_t height = static_cast<std::uint64_t>(layout.height);
    std::uint64_t x = 0;
    std::uint64_t y = 0; // stored row, bottom first
    auto put = [&](std::uint32_t index) {
        if (x < width && y < height) Store(dst + 4 * (y * width + x), PaletteAt(layout, index));
        ++x;
    };
    std::size_t pos = 0;
    while (pos + 2 <= data.size() && y < height) {
        const std::uint8_t count = data[pos];
        const std::uint8_t value = data[pos + 1];
        pos += 2;
        if (count > 0) {
            // Encoded run; in 4-bit data the two nibbles alternate.
            for (std::uint32_t i = 0; i < count && x < width; ++i) {
                put(rle8 ? value : ((i & 1) ? (value & 15) : (value >> 4)));
            }
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            ++y;
        } else if (value == 1) { // end of bitmap
            break;
        } else if (value == 2) { // delta
            if (pos + 2 > data.size()) break;
            x += data[pos];
            y += data[pos + 1];
            pos += 2;
        } else { // absolute run of `value` pixels, padded to a 16-bit boundary
            const std::size_t bytes = rle8 ? value : (value + 1u) / 2;
            if (pos + bytes > data.size()) break;
            for (std::uint32_t i = 0; i < value; ++i) {
                const std::uint8_t b = data[pos + (rle8 ? i : i / 2)];
                put(rle8 ? b : ((i & 1) ? (b & 15) : (b >> 4)));
            }
            pos += bytes + (bytes & 1);
        }
    }
    return true;
}

} // namespace

bool ApplyAndMask(std::uint8_t* bgra, std::size_t width, std::size_t height,
                  const std::uint8_t* mask, std::size_t maskRowBytes) {
    bool anyClear = false;
    for (std::size_t r = 0; r < height; ++r) {
        const std::uint8_t* m = mask + r * maskRowBytes;
        std::uint8_t* dst = bgra + r * width * 4;
        for (std::size_t x = 0; x < width; ++x) {
            if ((m[x >> 3] >> (7 - (x & 7))) & 1) {
                std::memset(dst + 4 * x, 0, 4);
                anyClear = true;
            } else {
                dst[4 * x + 3] = 255;
            }
        }
    }
    return anyClear;
}

std::optional<std::size_t> DibPixelBytes(const DibLayout& layout) {
    if (!IsDibBitCount(layout.bitCount)) return std::nullopt;
    if (layout.width < 1 || layout.height < 1) return std::nullopt;
    auto row = PaddedRowBytes(static_cast<std::size_t>(layout.width), layout.bitCount);
    if (!row) return std::nullopt;
    return CheckedMul(*row, static_cast<std::size_t>(layout.height));
}

bool DecodeDibPixels(const DibLayout& layout, std::span<const std::uint8_t> pixels,
                     std::uint8_t* dst) {
    if (layout.width < 1 || layout.height < 1 || dst == nullptr) return false;
    const std::size_t width = static_cast<std::size_t>(layout.width);
    const std::size_t height = static_cast<std::size_t>(layout.height);

    if (layout.compression == kBiRle8 || layout.compression == kBiRle4) {
        if (layout.topDown) return false;
        if (layout.bitCount != (layout.compression == kBiRle8 ? 8 : 4)) return false;
        for (std::size_t i = 0; i < width * height; ++i) Store(dst + 4 * i, kOpaqueBlack);
        return DecodeRle(layout, pixels, dst);
    }

    const bool bitfields =
        layout.compression == kBiBitfields || layout.compression == kBiAlphaBitfields;
    if (!bitfields && layout.compression != kBiRgb) return false;
    if (bitfields && layout.bitCount != 16 && layout.bitCount != 32) return false;

    std::array<std::uint32_t, 3> masks = layout.masks;
    if (!bitfields) {
        masks = layout.bitCount == 16 ? std::array<std::uint32_t, 3>{0x7C00, 0x03E0, 0x001F}
                                      : std::array<std::uint32_t, 3>{0xFF0000, 0xFF00, 0xFF};
    }
    // Built only where a pixel goes through masks.
    const bool useChannels = layout.bitCount == 16 || (layout.bitCount == 32 && bitfields);
    std::array<Channel, 3> channels = {Channel(useChannels ? masks[0] : 0),
                                       Channel(useChannels ? masks[1] : 0),
                                       Channel(useChannels ? masks[2] : 0)};

    auto total = DibPixelBytes(layout);
    if (!total || pixels.size() < *total) return false;
    const std::size_t rowBytes = *total / height;
    for (std::size_t row = 0; row < height; ++row) {
        const std::size_t stored = layout.topDown ? height - 1 - row : row;
        DecodeRow(layout, pixels.data() + row * rowBytes, dst + stored * width * 4,
                  channels.data());
    }
    return true;
}

} // namespace corvale
