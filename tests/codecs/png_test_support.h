#pragma once
// Helpers shared by the PNG tests: file reading, hand-built PNG streams and pixel access.
#include "codecs/image_host.h"

#include <zlib.h>

#ifdef CORVALE_HAVE_LIBPNG
#include <png.h>
#endif

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
inline std::array<std::uint8_t, 4> PixelAt(const ImageHost& dib, int x, int y) {
    const std::uint8_t* p =
        dib.BitsPointer() + (static_cast<std::size_t>(dib.Height() - 1 - y) * dib.Width() + x) * 4;
    return {p[0], p[1], p[2], p[3]};
}

inline std::vector<std::uint8_t> Pixels(const ImageHost& dib) {
    if (!dib.BitsPointer()) return {};
    return {dib.BitsPointer(), dib.BitsPointer() + std::size_t(dib.scanWidth()) * dib.Height()};
}

inline std::string PngSuite(const std::string& name) {
    return std::string(CORVALE_PNGSUITE_DIR) + "/" + name;
}

#ifdef CORVALE_HAVE_LIBPNG
using Bytes = std::vector<std::uint8_t>;
// libpng's reading of a file as 8-bit RGBA (high bytes of 16-bit samples, no gamma), then
// premultiplied with truncation and laid out as the image object stores it.
inline Bytes LibpngPixels(const std::string& path, int* width = nullptr, int* height = nullptr) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return {};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    Bytes out;
    std::vector<Bytes> rows;
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, f);
        png_read_info(png, info);
        png_set_expand(png);
        png_set_strip_16(png);
        png_set_gray_to_rgb(png);
        png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
        png_set_interlace_handling(png);
        png_read_update_info(png, info);
        const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
        rows.assign(h, Bytes(w * 4));
        std::vector<png_bytep> pointers;
        for (auto& r : rows) pointers.push_back(r.data());
        png_read_image(png, pointers.data());
        out.resize(std::size_t(w) * h * 4);
        for (png_uint_32 y = 0; y < h; ++y)
            for (png_uint_32 x = 0; x < w; ++x) {
                const std::uint8_t* s = &rows[y][x * 4];
                std::uint8_t* d = &out[((h - 1 - y) * w + x) * 4];
                const unsigned a = s[3];
                for (int c = 0; c < 3; ++c) d[c] = a == 0 ? 0 : std::uint8_t(s[2 - c] * a / 255);
                d[3] = std::uint8_t(a);
            }
        if (width) *width = int(w);
        if (height) *height = int(h);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return out;
}

#endif

// The chunks of a PNG file: (type, body), without checking CRCs.
inline std::vector<std::pair<std::string, std::vector<std::uint8_t>>>
ChunksOf(const std::vector<std::uint8_t>& png) {
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> chunks;
    std::size_t pos = 8;
    while (pos + 12 <= png.size()) {
        const std::uint32_t n = std::uint32_t{png[pos]} << 24 | std::uint32_t{png[pos + 1]} << 16 |
                                std::uint32_t{png[pos + 2]} << 8 | png[pos + 3];
        if (png.size() - pos - 12 < n) break;
        chunks.emplace_back(
            std::string(png.begin() + pos + 4, png.begin() + pos + 8),
            std::vector<std::uint8_t>(png.begin() + pos + 8, png.begin() + pos + 8 + n));
        pos += 12 + n;
    }
    return chunks;
}

} // namespace corvale::testing
