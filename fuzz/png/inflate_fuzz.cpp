// The own inflate against zlib: data compressed by zlib must come back exactly (also through a
// moving window); the raw input taken as a stream must never be read or written out of bounds,
// and when both zlib and the own inflate accept it they must agree.
#include "codecs/inflate.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <vector>

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
    uLongf zn = uLongf(viaZlib.size());
    const int zr = uncompress(viaZlib.data(), &zn, data, uLong(size));
    // Every failure names its reason; a success names none.
    if (mine.ok != (mine.error == corvale::InflateError::None)) std::abort();
    if (mine.ok && zr == Z_OK) {
        if (mine.written != zn || std::memcmp(own.data(), viaZlib.data(), zn) != 0) std::abort();
    }
    return 0;
}
