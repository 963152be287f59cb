#pragma once
// The variable-length-code LZW decoder of GIF image data.
#include <cstddef>
#include <cstdint>
#include <functional>
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

// Receives the decoded indices one row at a time in stream order: streamRow counts from 0; the
// row the data end in comes shorter than the width.
using GifRowFn = std::function<void(std::size_t streamRow, std::span<const std::uint8_t> row)>;

// The same decode into at most `rows` rows of `width` indices, handed to onRow as they fill;
// one row is all that is kept.
LzwOutcome DecodeGifLzwRows(std::span<const std::uint8_t> data, int minCodeSize, std::size_t width,
                            std::size_t rows, const GifRowFn& onRow);

} // namespace corvale
