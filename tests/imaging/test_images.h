#pragma once
// Small helpers for building and reading test images.
#include "imaging/c32bppDIB.h"

#include <array>
#include <cstdint>
#include <initializer_list>
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

// A pixel and where it goes.
struct PlacedPixel {
    int x, y;
    Bgra value;
};

// Makes the image w x h pixels and sets the given ones (the others as InitializeDIB leaves them).
inline bool MakeImage(c32bppDIB& dib, int w, int h, std::initializer_list<PlacedPixel> pixels) {
    if (!dib.InitializeDIB(w, h)) return false;
    for (const PlacedPixel& p : pixels) SetPx(dib, p.x, p.y, p.value);
    return true;
}

// Every pixel a distinct opaque colour derived from its position.
inline void FillPattern(c32bppDIB& dib) {
    for (int y = 0; y < dib.Height(); ++y)
        for (int x = 0; x < dib.Width(); ++x)
            SetPx(dib, x, y,
                  {std::uint8_t(x * 7 + 1), std::uint8_t(y * 11 + 2), std::uint8_t((x + y) * 3 + 3),
                   255});
}

// Makes the image w x h pixels of the position pattern.
inline bool MakePattern(c32bppDIB& dib, int w, int h) {
    if (!dib.InitializeDIB(w, h)) return false;
    FillPattern(dib);
    return true;
}

// An opaque image of the position pattern saved as a BMP file (24-bit rows); empty on failure.
inline std::vector<std::uint8_t> OpaquePatternBmp(c32bppDIB& dib, int w, int h) {
    std::vector<std::uint8_t> bmp;
    if (!MakePattern(dib, w, h)) return bmp;
    dib.SetAlpha(false);
    if (!dib.SaveToStream(bmp)) bmp.clear();
    return bmp;
}

} // namespace corvale::testing
