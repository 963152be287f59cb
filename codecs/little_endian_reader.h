#pragma once
// Bounds-checked reads of little-endian fields at absolute positions of a byte view, and checked
// size arithmetic, shared by the bitmap, icon and GIF decoders. A read that does not fit in the
// view gives no value; nothing reads past the end.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace corvale {

class LittleEndianReader {
  public:
    explicit LittleEndianReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::size_t size() const { return bytes_.size(); }
    std::span<const std::uint8_t> bytes() const { return bytes_; }

    // True when [pos, pos + count) lies inside the view.
    bool Has(std::size_t pos, std::size_t count) const {
        return pos <= bytes_.size() && count <= bytes_.size() - pos;
    }

    std::optional<std::uint8_t> U8(std::size_t pos) const {
        if (!Has(pos, 1)) return std::nullopt;
        return bytes_[pos];
    }
    std::optional<std::uint16_t> U16(std::size_t pos) const {
        if (!Has(pos, 2)) return std::nullopt;
        return static_cast<std::uint16_t>(bytes_[pos] | (bytes_[pos + 1] << 8));
    }
    std::optional<std::uint32_t> U32(std::size_t pos) const {
        if (!Has(pos, 4)) return std::nullopt;
        return static_cast<std::uint32_t>(bytes_[pos]) |
               (static_cast<std::uint32_t>(bytes_[pos + 1]) << 8) |
               (static_cast<std::uint32_t>(bytes_[pos + 2]) << 16) |
               (static_cast<std::uint32_t>(bytes_[pos + 3]) << 24);
    }
    std::optional<std::int32_t> I32(std::size_t pos) const {
        auto v = U32(pos);
        if (!v) return std::nullopt;
        return static_cast<std::int32_t>(*v);
    }
    std::optional<std::uint32_t> U32BigEndian(std::size_t pos) const {
        if (!Has(pos, 4)) return std::nullopt;
        return (static_cast<std::uint32_t>(bytes_[pos]) << 24) |
               (static_cast<std::uint32_t>(bytes_[pos + 1]) << 16) |
               (static_cast<std::uint32_t>(bytes_[pos + 2]) << 8) |
               static_cast<std::uint32_t>(bytes_[pos + 3]);
    }
    // The view [pos, pos + count), or nothing when it does not fit.
    std::optional<std::span<const std::uint8_t>> Slice(std::size_t pos, std::size_t count) const {
        if (!Has(pos, count)) return std::nullopt;
        return bytes_.subspan(pos, count);
    }

  private:
    std::span<const std::uint8_t> bytes_;
};

// The `length` bytes of `stream` from `offset` (length 0: up to the end), as the decoders' stream
// entry points take them; nothing when they reach past the end.
inline std::optional<std::span<const std::uint8_t>>
StreamWindow(std::span<const std::uint8_t> stream, std::size_t offset, std::size_t length) {
    if (offset > stream.size()) return std::nullopt;
    const std::span<const std::uint8_t> rest = stream.subspan(offset);
    if (length == 0) return rest;
    if (length > rest.size()) return std::nullopt;
    return rest.first(length);
}

// Checked size arithmetic: no value on overflow.
inline std::optional<std::size_t> CheckedMul(std::size_t a, std::size_t b) {
    std::size_t r = 0;
    if (__builtin_mul_overflow(a, b, &r)) return std::nullopt;
    return r;
}
inline std::optional<std::size_t> CheckedAdd(std::size_t a, std::size_t b) {
    std::size_t r = 0;
    if (__builtin_add_overflow(a, b, &r)) return std::nullopt;
    return r;
}

// Bytes in one bitmap row of `width` pixels at `bits` per pixel, padded to 4 bytes; no value on
// overflow. Unlike the byte-sized RowBytes helper this takes the full width (256-pixel icons).
inline std::optional<std::size_t> PaddedRowBytes(std::size_t width, std::size_t bits) {
    auto rowBits = CheckedMul(width, bits);
    if (!rowBits) return std::nullopt;
    auto padded = CheckedAdd(*rowBits, 31);
    if (!padded) return std::nullopt;
    return (*padded / 32) * 4;
}

} // namespace corvale
