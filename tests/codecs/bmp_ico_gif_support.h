#pragma once
// Helpers shared by the bitmap, icon and GIF decoder tests: file reading, little-endian byte
// building and pixel reading in picture coordinates.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "codecs/image_host.h"

namespace corvale::test {

inline std::vector<std::uint8_t> ReadFixture(const std::string& name) {
    std::ifstream in(std::string(CORVALE_TESTDATA_DIR) + "/bmp_ico_gif/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Appends little-endian fields.
struct Bytes {
    std::vector<std::uint8_t> v;
    Bytes& u8(std::uint32_t x) {
        v.push_back(static_cast<std::uint8_t>(x));
        return *this;
    }
    Bytes& u16(std::uint32_t x) { return u8(x).u8(x >> 8); }
    Bytes& u32(std::uint32_t x) { return u16(x).u16(x >> 16); }
    Bytes& raw(const std::vector<std::uint8_t>& b) {
        v.insert(v.end(), b.begin(), b.end());
        return *this;
    }
    Bytes& zeros(std::size_t n) {
        v.insert(v.end(), n, 0);
        return *this;
    }
};

// A stored pixel of (x, y), y = 0 the top row, as B, G, R, A.
struct Bgra {
    std::uint8_t b = 0, g = 0, r = 0, a = 0;
    friend bool operator==(const Bgra&, const Bgra&) = default;
};

inline Bgra PixelAt(const ImageHost& dib, int x, int y) {
    const std::uint8_t* p =
        dib.BitsPointer() + (static_cast<std::size_t>(dib.Height() - 1 - y) * dib.Width() + x) * 4;
    return {p[0], p[1], p[2], p[3]};
}

inline std::ostream& operator<<(std::ostream& os, const Bgra& p) {
    return os << "(b" << int(p.b) << " g" << int(p.g) << " r" << int(p.r) << " a" << int(p.a)
              << ")";
}

// A BMP file: 14-byte file header and 40-byte information header, then palette and pixels.
// Height negative for top-down rows.
inline std::vector<std::uint8_t> MakeBmp(std::int32_t width, std::int32_t height,
                                         std::uint16_t bits, std::uint32_t compression,
                                         const std::vector<std::uint32_t>& palette,
                                         const std::vector<std::uint8_t>& pixels) {
    const std::uint32_t offset = 14 + 40 + 4 * static_cast<std::uint32_t>(palette.size());
    Bytes b;
    b.u8('B').u8('M').u32(offset + static_cast<std::uint32_t>(pixels.size())).u32(0).u32(offset);
    b.u32(40).u32(static_cast<std::uint32_t>(width)).u32(static_cast<std::uint32_t>(height));
    b.u16(1).u16(bits).u32(compression).u32(static_cast<std::uint32_t>(pixels.size()));
    b.u32(2835).u32(2835).u32(static_cast<std::uint32_t>(palette.size())).u32(0);
    for (std::uint32_t c : palette) b.u32(c);
    b.raw(pixels);
    return b.v;
}

} // namespace corvale::test
