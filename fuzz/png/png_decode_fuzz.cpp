// Decodes the input as a PNG with zlib and with the own inflate only. Without zlib no CRC is
// checked, so when every chunk's CRC is right and both make an image the pixels must agree. The
// own-inflate decode is then repeated with every other row path the processor runs: each must
// give the same result, pixel for pixel.
#include "codecs/cPNGparser.h"
#include "imaging/c32bppDIB.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>

namespace {
constexpr std::string_view kNoZlib[] = {"corvale-no-such-library"};
// Pictures larger than this are skipped to keep each run fast (they decode the same way).
constexpr std::uint64_t kMaxFuzzPixels = 1u << 22;

// True when every whole chunk's stored CRC matches its type and body.
bool AllCrcsMatch(const std::uint8_t* data, std::size_t size) {
    std::size_t pos = 8;
    while (size >= pos + 12) {
        const std::uint32_t n = std::uint32_t{data[pos]} << 24 | data[pos + 1] << 16 |
                                data[pos + 2] << 8 | data[pos + 3];
        if (size - pos - 12 < n) break;
        const std::uint8_t* c = data + pos + 8 + n;
        const std::uint32_t stored = std::uint32_t{c[0]} << 24 | c[1] << 16 | c[2] << 8 | c[3];
        if (crc32(0, data + pos + 4, n + 4) != stored) return false;
        pos += 12 + n;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvale;
    if (size >= 24) {
        const auto be = [&](std::size_t i) {
            return std::uint64_t{data[i]} << 24 | data[i + 1] << 16 | data[i + 2] << 8 |
                   data[i + 3];
        };
        if (be(16) * be(20) > kMaxFuzzPixels) return 0;
    }
    const std::span<const std::uint8_t> bytes(data, size);
    c32bppDIB withZlib, without;
    cPNGparser a;
    PngDecodeOptions options;
    options.zlibNames = kNoZlib;
    cPNGparser b(options);
    const bool claimedA = a.LoadStream(bytes, withZlib);
    const bool claimedB = b.LoadStream(bytes, without);
    if (claimedA != claimedB) std::abort();
    // A picture exactly when no failure is named (GDI+ is not used here).
    if ((withZlib.BitsPointer() != nullptr) != (a.Failure() == PngError::None) ||
        (without.BitsPointer() != nullptr) != (b.Failure() == PngError::None))
        std::abort();
    for (PngRowPath path : {PngRowPath::Plain, PngRowPath::Sse2, PngRowPath::Ssse3,
                            PngRowPath::Sse41, PngRowPath::Avx2}) {
        if (!PngRowPathAvailable(path)) continue;
        c32bppDIB other;
        options.rowPath = path;
        // Rows written past the cache on every other path, which paths depending on the
        // input's length (so that each path runs both ways).
        options.streamImageBytes =
            ((size + static_cast<std::size_t>(path)) & 1) != 0 ? 0 : kPngStreamImageBytes;
        cPNGparser c(options);
        if (c.LoadStream(bytes, other) != claimedB || c.Failure() != b.Failure() ||
            !other.BitsPointer() != !without.BitsPointer())
            std::abort();
        if (other.BitsPointer() &&
            (other.Width() != without.Width() || other.Height() != without.Height() ||
             other.Alpha() != without.Alpha() ||
             std::memcmp(other.BitsPointer(), without.BitsPointer(),
                         std::size_t(other.scanWidth()) * other.Height()) != 0))
            std::abort();
    }
    if (withZlib.BitsPointer() && without.BitsPointer() && AllCrcsMatch(data, size)) {
        if (withZlib.Width() != without.Width() || withZlib.Height() != without.Height() ||
            withZlib.Alpha() != without.Alpha())
            std::abort();
        if (std::memcmp(withZlib.BitsPointer(), without.BitsPointer(),
                        std::size_t(withZlib.scanWidth()) * withZlib.Height()) != 0)
            std::abort();
    }
    return 0;
}
