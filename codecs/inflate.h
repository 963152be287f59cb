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

// Why an inflate failed.
enum class InflateError : std::uint8_t {
    None,
    InputEnded,           // the data end before the final block does (or hold no zlib header)
    BadBlockType,         // block type 3
    StoredLengthMismatch, // a stored block's length and its complement disagree
    OverSubscribedCode,   // more codes of some length than the code has room for
    IncompleteCode,       // codes left unused, or no code at all
    RepeatWithoutLength,  // a code-length repeat before any length
    RepeatPastEnd,        // a code-length repeat runs past the lengths' count
    BadSymbol,            // literal/length symbol 286 or 287
    DistanceTooFarBack,   // a match reaches before the output's start (or the kept window)
    OutputFull,           // the data go past the end of the output (or of the window)
    Stopped,              // the progress hook asked to stop
    OutOfMemory,          // no room for the tables of a dynamic block
    NoProgressHook,       // InflateWindowed without a hook or an interval
    TableFull,            // a code's subtables do not fit (a bound; complete codes always fit)
};

struct InflateResult {
    bool ok = false;
    std::size_t written = 0; // bytes written to the output (meaningful when ok)
    InflateError error = InflateError::None;
};

// Lets a caller work on the output while it is still in the cache: `notify` is called each time
// about `interval` more bytes have been written, and once more at the end of the stream. `data`
// holds the output bytes from `first` to `written` (first is 0 unless the inflate runs in a
// window), all final. It returns false to stop the inflate (which then fails); in a window it
// sets `keepFrom` (at least `first`) to the first byte it still needs.
struct InflateProgress {
    bool (*notify)(void* context, const std::uint8_t* data, std::size_t first, std::size_t written,
                   std::size_t& keepFrom) = nullptr;
    void* context = nullptr;
    std::size_t interval = 0;
};

// Inflates the zlib stream `in` into `out`. `deflate64` selects the 64 KiB-window variant, in
// which length symbol 285 carries 16 extra bits (length 3 + value). The PNG decoder passes false.
InflateResult InflateData(std::span<std::uint8_t> out, std::span<const std::uint8_t> in,
                          bool deflate64 = false, const InflateProgress* progress = nullptr);

// The same for an output of `outputSize` bytes that the caller takes through `progress` while a
// smaller buffer, `window`, is reused: it keeps the last 64 KiB for matches and what the caller
// still needs, and needs about 66 KiB of room beyond those plus the interval (with less the
// inflate may fail). With a window of the output's size it is InflateData with a progress hook.
InflateResult InflateWindowed(std::span<std::uint8_t> window, std::span<const std::uint8_t> in,
                              std::size_t outputSize, const InflateProgress& progress);

// The same for a stream that lies in pieces, read in order as if joined (the zlib header too may
// be split; empty pieces are allowed anywhere): no copy of the input is made.
InflateResult InflateWindowed(std::span<std::uint8_t> window,
                              std::span<const std::span<const std::uint8_t>> pieces,
                              std::size_t outputSize, const InflateProgress& progress);

// InflateData on the portable path alone: the one the processor allows (BMI2 where present) is
// otherwise chosen at run time. Tests and the fuzz target hold the two to the same results.
InflateResult InflateDataPortable(std::span<std::uint8_t> out, std::span<const std::uint8_t> in,
                                  bool deflate64 = false);

} // namespace corvale
