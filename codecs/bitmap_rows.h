#pragma once
// Conversion of device-independent bitmap pixels (1, 4, 8, 16, 24 and 32 bits, run-length
// encoded 4 and 8 bits, bit fields) to 32-bpp BGRA rows, shared by the bitmap and icon decoders.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace corvale {

// Compression codes of a bitmap information header.
inline constexpr std::uint32_t kBiRgb = 0;
inline constexpr std::uint32_t kBiRle8 = 1;
inline constexpr std::uint32_t kBiRle4 = 2;
inline constexpr std::uint32_t kBiBitfields = 3;
inline constexpr std::uint32_t kBiAlphaBitfields = 6;

struct DibLayout {
    std::int32_t width = 0;
    std::int32_t height = 0; // rows, always positive
    bool topDown = false;    // first stored row is the top row
    std::uint16_t bitCount = 0;
    std::uint32_t compression = kBiRgb;
    // Channel masks for 16 and 32 bits (red, green, blue); defaults are filled in by
    // DecodeDibPixels when the compression is not bit fields.
    std::array<std::uint32_t, 3> masks{};
    // Colour table as opaque BGRA values (alpha byte 255); entries past `paletteEntries` are
    // opaque black.
    std::array<std::uint32_t, 256> palette{};
    std::uint32_t paletteEntries = 0;
    // For uncompressed 32-bit pixels: keep the fourth byte as it is instead of making it 255.
    bool keepAlpha = false;
};

// True for the bit counts a bitmap's pixels can have: 1, 4, 8, 16, 24 and 32.
constexpr bool IsDibBitCount(std::uint32_t bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Bytes the pixel data of an uncompressed layout take; nothing on overflow or a bit count that
// has no uncompressed form.
std::optional<std::size_t> DibPixelBytes(const DibLayout& layout);

// Writes layout.width * layout.height BGRA pixels into `dst`, bottom row first (the image
// object's order). Uncompressed and bit-field data must hold DibPixelBytes bytes. Pixels a
// run-length stream skips are opaque black. False when the layout is not supported or the data
// are short; `dst` may then be partly written.
bool DecodeDibPixels(const DibLayout& layout, std::span<const std::uint8_t> pixels,
                     std::uint8_t* dst);

// Applies an icon's 1-bit AND mask to `height` rows of `width` BGRA pixels: mask rows are
// `maskRowBytes` apart in the pixels' row order, high bit first; a set bit makes its pixel clear
// (all zero), a clear bit makes it opaque. True when any pixel became clear.
bool ApplyAndMask(std::uint8_t* bgra, std::size_t width, std::size_t height,
                  const std::uint8_t* mask, std::size_t maskRowBytes);

} // namespace corvale
