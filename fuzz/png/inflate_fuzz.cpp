// The own inflate against zlib: data compressed by zlib must come back exactly (also through a
// moving window); the raw input taken as a stream must never be read or written out of bounds,
// and when both zlib and the own inflate accept it they must agree. The path chosen for the
// processor and the portable path must give the same result, byte for byte, on both kinds. Both
// kinds read in pieces whose sizes the input chooses must give what they give read whole.
#include "codecs/inflate.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

namespace {

using Piece = std::span<const std::uint8_t>;

// `in` cut into pieces whose sizes come from `sizes` in turn: 1 to 40 bytes, an empty piece
// (then one byte) or, for the values from 200 on, pieces of up to some 28 KB.
std::vector<Piece> Cut(Piece in, Piece sizes) {
    std::vector<Piece> pieces;
    for (std::size_t at = 0, k = 0; at < in.size(); ++k) {
        const unsigned v = sizes.empty() ? 255 : sizes[k % sizes.size()];
        std::size_t n = v < 200 ? v % 41 : (v - 199) * 512;
        if (n == 0) {
            pieces.emplace_back();
            n = 1;
        }
        n = std::min(n, in.size() - at);
        pieces.push_back(in.subspan(at, n));
        at += n;
    }
    return pieces;
}

// The windowed inflate (the window as large as the output) of `pieces` must give the result of
// `whole`, the input read in one piece: success or the same failure, and the same output.
void SameInPieces(const std::vector<Piece>& pieces, Piece whole, std::size_t outputSize) {
    const corvale::InflateProgress ignore{
        [](void*, const std::uint8_t*, std::size_t, std::size_t written, std::size_t& keepFrom) {
            keepFrom = written;
            return true;
        },
        nullptr, 4096};
    std::vector<std::uint8_t> a(outputSize), b(outputSize);
    const auto cut = corvale::InflateWindowed(a, pieces, outputSize, ignore);
    const auto one = corvale::InflateWindowed(b, whole, outputSize, ignore);
    if (cut.ok != one.ok || cut.error != one.error || cut.written != one.written) std::abort();
    if (one.ok && !std::equal(a.begin(), a.begin() + one.written, b.begin())) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using corvale::InflateData;
    if (size < 1) return 0;
    // 1. Valid streams: compress the input at a level and strategy taken from its first byte.
    const int level = data[0] % 10;
    const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
    const int strategy = strategies[(data[0] / 10) % 5];
    const std::uint8_t* src = data + 1;
    const std::size_t n = size - 1;
    z_stream zs{};
    if (deflateInit2(&zs, level, Z_DEFLATED, 15, 8, strategy) != Z_OK) return 0;
    std::vector<std::uint8_t> z(deflateBound(&zs, uLong(n)) + 16);
    zs.next_in = const_cast<Bytef*>(src);
    zs.avail_in = uInt(n);
    zs.next_out = z.data();
    zs.avail_out = uInt(z.size());
    const int rc = deflate(&zs, Z_FINISH);
    z.resize(zs.total_out);
    deflateEnd(&zs);
    if (rc != Z_STREAM_END) std::abort();
    std::vector<std::uint8_t> out(n);
    const auto r = InflateData(out, z);
    if (!r.ok || r.written != n || (n != 0 && std::memcmp(out.data(), src, n) != 0)) std::abort();
    std::vector<std::uint8_t> samePath(n);
    const auto same = corvale::InflateDataPortable(samePath, z);
    if (!same.ok || same.written != n || samePath != out) std::abort();
    SameInPieces(Cut(z, Piece(src, n)), z, n);
    // The same through a window that moves as the output grows, taken piece by piece: for one
    // input in sixteen, on 200 KB made from the input (the window is 136 KiB).
    if (n != 0 && data[0] % 16 == 0) {
        std::vector<std::uint8_t> big(200000);
        for (std::size_t i = 0; i < big.size(); ++i)
            big[i] = static_cast<std::uint8_t>(src[i % n] + i / n % 3);
        uLongf zn = compressBound(uLong(big.size()));
        std::vector<std::uint8_t> zbig(zn);
        if (compress2(zbig.data(), &zn, big.data(), uLong(big.size()), level) != Z_OK) std::abort();
        zbig.resize(zn);
        std::vector<std::uint8_t> window(std::size_t{136} << 10), pieces;
        const corvale::InflateProgress collect{
            [](void* context, const std::uint8_t* bytes, std::size_t first, std::size_t written,
               std::size_t& keepFrom) {
                auto& all = *static_cast<std::vector<std::uint8_t>*>(context);
                all.insert(all.end(), bytes + (all.size() - first), bytes + (written - first));
                keepFrom = written;
                return true;
            },
            &pieces, 4096};
        const auto w = corvale::InflateWindowed(window, zbig, big.size(), collect);
        if (!w.ok || w.written != big.size() || pieces != big) std::abort();
    }

    // 2. Arbitrary streams: the input itself, with a fixed output size.
    std::vector<std::uint8_t> own(4096), viaZlib(4096);
    const auto mine = InflateData(own, std::span<const std::uint8_t>(data, size));
    std::vector<std::uint8_t> portable(own.size());
    const auto p =
        corvale::InflateDataPortable(portable, std::span<const std::uint8_t>(data, size));
    if (p.ok != mine.ok || p.written != mine.written || p.error != mine.error || portable != own)
        std::abort();
    SameInPieces(Cut(Piece(data, size), Piece(data, size).last(std::min<std::size_t>(size, 64))),
                 Piece(data, size), own.size());
    uLongf zn = uLongf(viaZlib.size());
    const int zr = uncompress(viaZlib.data(), &zn, data, uLong(size));
    // Every failure names its reason; a success names none.
    if (mine.ok != (mine.error == corvale::InflateError::None)) std::abort();
    if (mine.ok && zr == Z_OK) {
        if (mine.written != zn || std::memcmp(own.data(), viaZlib.data(), zn) != 0) std::abort();
    }
    return 0;
}
