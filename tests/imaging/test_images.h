#pragma once
// Small helpers for building and reading test images.
#include "imaging/c32bppDIB.h"

#include <array>
#include <cstdint>
#include <vector>

namespace corvale {
// Images that draw with the own engine only (no GDI+, no AlphaBlend), whatever the system has.
inline constexpr std::uint32_t kOwn = kCapGdiplusBarred;
} // namespace corvale

namespace corvale::testing {

using Bgra = std::array<std::uint8_t, 4>;

inline std::uint8_t* PixelAt(const c32bppDIB& dib, int x, int y) {
    return dib.BitsPointer() + ((std::size_t(dib.Height() - 1 - y) * dib.Width()) + x) * 4u;
}

inline Bgra Px(const c32bppDIB& dib, int x, int y) {
    const std::uint8_t* p = PixelAt(dib, x, y);
    return {p[0], p[1], p[2], p[3]};
}

inline void SetPx(c32bppDIB& dib, int x, int y, Bgra v) {
    std::uint8_t* p = PixelAt(dib, x, y);
    for (int i = 0; i < 4; ++i) p[i] = v[i];
}

inline void Fill(c32bppDIB& dib, Bgra v) {
    for (int y = 0; y < dib.Height(); ++y)
        for (int x = 0; x < dib.Width(); ++x) SetPx(dib, x, y, v);
}

// Every pixel a distinct opaque colour derived from its position.
inline void FillPattern(c32bppDIB& dib) {
    for (int y = 0; y < dib.Height(); ++y)
        for (int x = 0; x < dib.Width(); ++x)
            SetPx(dib, x, y,
                  {std::uint8_t(x * 7 + 1), std::uint8_t(y * 11 + 2), std::uint8_t((x + y) * 3 + 3),
                   255});
}

// An opaque image of the position pattern saved as a BMP file (24-bit rows); empty on failure.
inline std::vector<std::uint8_t> OpaquePatternBmp(c32bppDIB& dib, int w, int h) {
    std::vector<std::uint8_t> bmp;
    if (!dib.InitializeDIB(w, h)) return bmp;
    FillPattern(dib);
    dib.SetAlpha(false);
    if (!dib.SaveToStream(bmp)) bmp.clear();
    return bmp;
}

} // namespace corvale::testing
