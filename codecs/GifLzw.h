#pragma once
// The variable-length-code LZW decoder of GIF image data.
#include <cstddef>
#include <cstdint>
#include <span>

namespace corvale {

struct LzwOutcome {
    std::size_t produced = 0; // indices written to the output
    bool codeError = false;   // a code that cannot occur at its place stopped the decode
};

// Smallest and largest minimum code size a GIF frame may declare.
inline constexpr int kGifMinCodeSizeLow = 1;
inline constexpr int kGifMinCodeSizeHigh = 8;

// Decodes `data` (the frame's sub-blocks joined, without their length bytes) with the given
// minimum code size into `out`, one colour index per byte. Stops at the end code, when `out` is
// full, when the data run out, or at a bad code; what was written so far stays valid.
LzwOutcome DecodeGifLzw(std::span<const std::uint8_t> data, int minCodeSize,
                        std::span<std::uint8_t> out);

} // namespace corvale
