// Decodes the input as a PNG twice, with zlib and with the own inflate only; when both make an
// image the pixels must agree.
#include "codecs/cPNGparser.h"
#include "imaging/c32bppDIB.h"

#include <cstdlib>
#include <cstring>

namespace {
constexpr std::string_view kNoZlib[] = {"corvale-no-such-library"};
// Pictures larger than this are skipped to keep each run fast (they decode the same way).
constexpr std::uint64_t kMaxFuzzPixels = 1u << 22;
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
    if (withZlib.BitsPointer() && without.BitsPointer()) {
        if (withZlib.Width() != without.Width() || withZlib.Height() != without.Height() ||
            withZlib.Alpha() != without.Alpha())
            std::abort();
        if (std::memcmp(withZlib.BitsPointer(), without.BitsPointer(),
                        std::size_t(withZlib.scanWidth()) * withZlib.Height()) != 0)
            std::abort();
    }
    return 0;
}
