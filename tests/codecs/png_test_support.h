#pragma once
// Helpers shared by the PNG tests: file reading, hand-built PNG streams and pixel access.
#include "imaging/c32bppDIB.h"

#include <zlib.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace corvale::testing {

inline std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        std::uint8_t buf[65536];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
        std::fclose(f);
    }
    return bytes;
}

inline void PutU32BE(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 24));
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

// Builds PNG files chunk by chunk, with correct CRCs unless told otherwise.
class PngBuilder {
  public:
    PngBuilder() { bytes_ = {137, 80, 78, 71, 13, 10, 26, 10}; }

    PngBuilder& Chunk(std::string_view type, const std::vector<std::uint8_t>& body,
                      bool badCrc = false) {
        PutU32BE(bytes_, static_cast<std::uint32_t>(body.size()));
        const std::size_t start = bytes_.size();
        bytes_.insert(bytes_.end(), type.begin(), type.end());
        bytes_.insert(bytes_.end(), body.begin(), body.end());
        uLong crc = crc32(0, bytes_.data() + start, static_cast<uInt>(bytes_.size() - start));
        PutU32BE(bytes_, static_cast<std::uint32_t>(crc) ^ (badCrc ? 0x5A5A5A5Au : 0u));
        return *this;
    }
    PngBuilder& Header(std::uint32_t w, std::uint32_t h, std::uint8_t depth, std::uint8_t colorType,
                       std::uint8_t interlace = 0) {
        std::vector<std::uint8_t> b;
        PutU32BE(b, w);
        PutU32BE(b, h);
        b.insert(b.end(), {depth, colorType, 0, 0, interlace});
        return Chunk("IHDR", b);
    }
    // Compresses filtered rows (each starting with its filter byte) into one or more IDATs.
    PngBuilder& Data(const std::vector<std::uint8_t>& filtered, int parts = 1) {
        const std::vector<std::uint8_t> z = Deflate(filtered);
        const std::size_t step = (z.size() + parts - 1) / parts;
        for (std::size_t i = 0; i < z.size(); i += step)
            Chunk("IDAT", std::vector<std::uint8_t>(z.begin() + i,
                                                    z.begin() + std::min(z.size(), i + step)));
        return *this;
    }
    PngBuilder& End() { return Chunk("IEND", {}); }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

    static std::vector<std::uint8_t> Deflate(const std::vector<std::uint8_t>& data, int level = 6) {
        uLongf n = compressBound(static_cast<uLong>(data.size()));
        std::vector<std::uint8_t> z(n);
        compress2(z.data(), &n, data.data(), static_cast<uLong>(data.size()), level);
        z.resize(n);
        return z;
    }

  private:
    std::vector<std::uint8_t> bytes_;
};

// Pixel (x, y), y = 0 the top row, as stored: {B, G, R, A}.
inline std::array<std::uint8_t, 4> PixelAt(const c32bppDIB& dib, int x, int y) {
    const std::uint8_t* p =
        dib.BitsPointer() + (static_cast<std::size_t>(dib.Height() - 1 - y) * dib.Width() + x) * 4;
    return {p[0], p[1], p[2], p[3]};
}

inline std::vector<std::uint8_t> Pixels(const c32bppDIB& dib) {
    if (!dib.BitsPointer()) return {};
    return {dib.BitsPointer(), dib.BitsPointer() + std::size_t(dib.scanWidth()) * dib.Height()};
}

inline std::string PngSuite(const std::string& name) {
    return std::string(CORVALE_PNGSUITE_DIR) + "/" + name;
}

} // namespace corvale::testing
