#pragma once
// The program's own inflate for zlib-wrapped deflate data, used for PNG image data when no zlib
// library is present or when zlib's uncompress fails.
//
// Rules that differ from a general-purpose inflater:
// - the 2-byte zlib header is skipped without examination and the Adler-32 trailer is not read;
// - every Huffman code must be complete: over-subscribed and incomplete codes (including a
//   distance code with a single code of length 1, or none at all) are rejected;
// - distance codes 30 and 31 are accepted with bases 32769 and 49153 and 14 extra bits each;
// - the output buffer has a fixed size: data that would go past its end fail the inflate.
#include <cstddef>
#include <cstdint>
#include <span>

namespace corvale {

struct InflateResult {
    bool ok = false;
    std::size_t written = 0; // bytes written to the output (meaningful when ok)
};

// Lets a caller work on the output while it is still in the cache: `notify` is called each time
// about `interval` more bytes have been written, with the count of bytes written so far. Those
// bytes are final. Returning false stops the inflate, which then fails.
struct InflateProgress {
    bool (*notify)(void* context, std::size_t written) = nullptr;
    void* context = nullptr;
    std::size_t interval = 0;
};

// Inflates the zlib stream `in` into `out`. `deflate64` selects the 64 KiB-window variant, in
// which length symbol 285 carries 16 extra bits (length 3 + value). The PNG decoder passes false.
InflateResult InflateData(std::span<std::uint8_t> out, std::span<const std::uint8_t> in,
                          bool deflate64 = false, const InflateProgress* progress = nullptr);

} // namespace corvale
