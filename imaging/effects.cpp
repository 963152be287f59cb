// Effects that change an image in place or derive new images from it, and saving.
#include "codecs/cICOparser.h"
#include "codecs/cPNGwriter.h"
#include "codecs/modParsers.h"
#include "imaging/c32bppDIB.h"
#include "imaging/render_engine.h"
#include "platform/image_storage.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <new>

namespace corvale {
namespace {

// The colour 0x00BBGGRR as an opaque BGRA pixel.
std::array<std::uint8_t, 4> OpaqueKey(std::int32_t color) {
    const auto c = std::uint32_t(color);
    return {std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c), 255};
}

std::size_t PixelCount(const c32bppDIB& image) {
    return std::size_t(image.Width()) * std::size_t(image.Height());
}

void PutLE16(std::vector<std::uint8_t>& out, std::size_t at, std::uint16_t v) {
    out[at] = std::uint8_t(v);
    out[at + 1] = std::uint8_t(v >> 8);
}
void PutLE32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = std::uint8_t(v >> (8 * i));
}

} // namespace

bool c32bppDIB::MakeImageInverse() {
    std::uint8_t* p = BitsPointer();
    if (!p) return false;
    for (std::size_t i = 0, n = PixelCount(*this); i < n; ++i, p += 4) {
        const std::uint8_t a = p[3];
        p[0] = std::uint8_t(a - std::min(p[0], a));
        p[1] = std::uint8_t(a - std::min(p[1], a));
        p[2] = std::uint8_t(a - std::min(p[2], a));
    }
    return true;
}

bool c32bppDIB::MakeTransparent(std::int32_t transparentColor, bool revert) {
    std::uint8_t* bits = BitsPointer();
    if (!bits) return false;
    const auto key = OpaqueKey(transparentColor);
    const std::size_t n = PixelCount(*this);
    if (!revert) {
        bool anyTransparent = false;
        for (std::uint8_t* p = bits; p != bits + n * 4; p += 4) {
            if (std::memcmp(p, key.data(), 4) == 0) std::memset(p, 0, 4);
            anyTransparent = anyTransparent || p[3] == 0;
        }
        if (anyTransparent) {
            alpha_ = true;
            if (imageType_ == image_type::kBitmap)
                imageType_ = image_type::kAlphaBitmapPremultiplied;
        }
        return true;
    }
    bool usesAlpha = false;
    for (std::uint8_t* p = bits; p != bits + n * 4; p += 4) {
        if (p[3] == 0) std::memcpy(p, key.data(), 4);
        usesAlpha = usesAlpha || p[3] != 255;
    }
    // Every pixel opaque again: the picture no longer uses alpha, in its flag as in its type.
    if (!usesAlpha) {
        alpha_ = false;
        if (imageType_ == image_type::kAlphaBitmap ||
            imageType_ == image_type::kAlphaBitmapPremultiplied)
            imageType_ = image_type::kBitmap;
    }
    return true;
}

bool c32bppDIB::MirrorImage(bool mirrorAxisX, bool mirrorAxisY) {
    if (!storage_ || (!mirrorAxisX && !mirrorAxisY)) return false;
    const PixelView view = ViewOf(*this);
    if (mirrorAxisX) {
        for (std::int32_t y = 0; y < height_; ++y) {
            auto* row = reinterpret_cast<std::uint32_t*>(view.Row(y));
            std::reverse(row, row + width_);
        }
    }
    if (mirrorAxisY) {
        for (std::int32_t y = 0; y < height_ / 2; ++y)
            std::swap_ranges(view.Row(y), view.Row(y) + scanWidth(), view.Row(height_ - 1 - y));
    }
    return true;
}

bool c32bppDIB::CreateDropShadow(std::int32_t blurDepth, std::int32_t color,
                                 c32bppDIB& shadow) const try {
    if (!storage_ || &shadow == this) return false;
    const std::int32_t depth = std::clamp(blurDepth, 0, 10);
    const std::int32_t s = depth * 2;
    const std::int64_t sw = std::int64_t(width_) + s, sh = std::int64_t(height_) + s;
    if (sw > INT32_MAX || sh > INT32_MAX) return false;
    shadow.isGDIplusEnabled(isGDIplusEnabled());
    shadow.gdiToken(gdiToken_);
    if (!shadow.InitializeDIB(std::int32_t(sw), std::int32_t(sh))) return false;

    const auto key = OpaqueKey(color); // B, G, R of the shadow colour
    const std::uint32_t area = std::uint32_t(s + 1) * std::uint32_t(s + 1);
    const ConstPixelView src = ViewOf(*this);
    const PixelView dst = ViewOf(shadow);
    // Ring of the last s + 1 source rows' alpha, summed per column as rows enter and leave.
    std::vector<std::uint32_t> columnSum(std::size_t(width_), 0);
    for (std::int32_t y = 0; y < sh; ++y) {
        const std::int32_t entering = y;        // source row y joins the window
        const std::int32_t leaving = y - s - 1; // source row y - s - 1 leaves it
        if (entering < height_) {
            const std::uint8_t* row = src.Row(entering);
            for (std::int32_t x = 0; x < width_; ++x) columnSum[std::size_t(x)] += row[x * 4 + 3];
        }
        if (leaving >= 0 && leaving < height_) {
            const std::uint8_t* row = src.Row(leaving);
            for (std::int32_t x = 0; x < width_; ++x) columnSum[std::size_t(x)] -= row[x * 4 + 3];
        }
        std::uint32_t window = 0; // sum of columnSum over source columns x - s .. x
        std::uint8_t* out = dst.Row(y);
        for (std::int32_t x = 0; x < sw; ++x, out += 4) {
            if (x < width_) window += columnSum[std::size_t(x)];
            if (x - s - 1 >= 0 && x - s - 1 < width_) window -= columnSum[std::size_t(x - s - 1)];
            const std::uint32_t a = window / area;
            out[0] = std::uint8_t(key[0] * a / 255);
            out[1] = std::uint8_t(key[1] * a / 255);
            out[2] = std::uint8_t(key[2] * a / 255);
            out[3] = std::uint8_t(a);
        }
    }
    shadow.SetAlpha(true);
    shadow.SetImageType(image_type::kAlphaBitmapPremultiplied);
    return true;
} catch (const std::bad_alloc&) {
    shadow.DestroyDIB();
    return false;
}

bool c32bppDIB::RenderDropShadow_JIT(std::intptr_t hDC, std::int32_t x, std::int32_t y,
                                     std::int32_t blurDepth, std::int32_t color,
                                     std::int32_t opacity, c32bppDIB* destHostDIB) const try {
    c32bppDIB shadow(flags_ & ~std::uint32_t(kCapGdiplusEnabled), *services_);
    shadow.HighQualityInterpolation(highQuality_);
    if (!CreateDropShadow(blurDepth, color, shadow)) return false;
    return shadow.Render({.destinationDC = hDC,
                          .destX = x,
                          .destY = y,
                          .opacity = opacity,
                          .destHostDIB = destHostDIB});
} catch (const std::bad_alloc&) {
    return false;
}

bool c32bppDIB::CreateCheckerBoard(std::int32_t checkerSize, std::int32_t firstColor,
                                   std::int32_t secondColor) {
    if (!storage_ || checkerSize <= 0) return false;
    const auto first = OpaqueKey(firstColor), second = OpaqueKey(secondColor);
    const PixelView view = ViewOf(*this);
    for (std::int32_t y = 0; y < height_; ++y) {
        std::uint8_t* p = view.Row(y);
        for (std::int32_t x = 0; x < width_; ++x, p += 4) {
            const bool isFirst = ((x / checkerSize) + (y / checkerSize)) % 2 == 0;
            std::memcpy(p, (isFirst ? first : second).data(), 4);
        }
    }
    return true;
}

std::vector<RegionRect> c32bppDIB::CreateRegionRects(std::int32_t style, std::int32_t xOffset,
                                                     std::int32_t yOffset) const try {
    std::vector<RegionRect> rects = RegionFromAlpha(*this, style);
    // Moved edges beyond 32 bits: no region.
    auto moved = [](std::int32_t edge, std::int32_t offset, std::int32_t& out) {
        const std::int64_t v = std::int64_t(edge) + offset;
        if (v < std::numeric_limits<std::int32_t>::min() ||
            v > std::numeric_limits<std::int32_t>::max())
            return false;
        out = std::int32_t(v);
        return true;
    };
    if (xOffset || yOffset)
        for (RegionRect& r : rects) {
            if (!moved(r.left, xOffset, r.left) || !moved(r.right, xOffset, r.right) ||
                !moved(r.top, yOffset, r.top) || !moved(r.bottom, yOffset, r.bottom))
                return {};
        }
    return rects;
} catch (const std::bad_alloc&) {
    return {}; // no memory for the rectangles: no region
}

#ifdef _WIN32
std::intptr_t c32bppDIB::CreateRegion(std::int32_t style, std::int32_t xOffset,
                                      std::int32_t yOffset) const try {
    if (!storage_ || style < 0 || style > 2) return 0;
    return RegionHandleFromAlpha(*this, style, xOffset, yOffset);
} catch (const std::bad_alloc&) {
    return 0;
}
#endif

bool c32bppDIB::CopyImageTo(c32bppDIB& target, std::int32_t newWidth, std::int32_t newHeight,
                            bool copyOriginalFormat) const try {
    if (!storage_ || newWidth < 0 || newHeight < 0) return false;
    if (newWidth == 0) newWidth = width_;
    if (newHeight == 0) newHeight = height_;
    if (&target == this) {
        if (newWidth == width_ && newHeight == height_) return true;
        c32bppDIB copy(flags_, *services_);
        if (!CopyImageTo(copy, 0, 0, true)) return false;
        return copy.CopyImageTo(target, newWidth, newHeight, copyOriginalFormat);
    }
    target.isGDIplusEnabled(isGDIplusEnabled());
    target.gdiToken(gdiToken_);
    if (!target.InitializeDIB(newWidth, newHeight)) return false;
    bool ok = false;
    if (newWidth == width_ && newHeight == height_) {
        std::memcpy(target.BitsPointer(), BitsPointer(), PixelCount(*this) * 4u);
        ok = true;
    } else {
        const GdiplusEngine* gdiplus = services_->gdiplus;
        if (gdiToken_ && isGDIplusEnabled() && gdiplus && gdiplus->draw) {
            GdiplusDrawArgs args;
            args.destinationDC = target.LoadDIBinDC(true);
            args.destWidth = newWidth;
            args.destHeight = newHeight;
            args.srcWidth = width_;
            args.srcHeight = height_;
            args.highQuality = true;
            args.token = gdiToken_;
            ok = gdiplus->draw(*this, args);
            target.LoadDIBinDC(false);
        }
        if (!ok) {
            target.EraseDIB();
            ok = Render({.destWidth = newWidth,
                         .destHeight = newHeight,
                         .srcWidth = width_,
                         .srcHeight = height_,
                         .destHostDIB = &target});
        }
    }
    if (!ok) {
        target.DestroyDIB();
        return false;
    }
    target.SetAlpha(alpha_);
    target.SetImageType(imageType_);
    if (copyOriginalFormat) target.SetOriginalFormat(source_);
    return true;
} catch (const std::bad_alloc&) {
    if (&target != this) target.DestroyDIB();
    return false;
}

bool c32bppDIB::SourceIconSizes(std::vector<IconSize>& sizes) const try {
    sizes.clear();
    if (!storage_ || source_.empty()) return false;
    sizes = IconFileSizes(source_);
    return !sizes.empty();
} catch (const std::bad_alloc&) {
    sizes.clear();
    return false;
}

bool c32bppDIB::SaveToStream(std::vector<std::uint8_t>& out) const try {
    out.clear();
    if (!storage_) return false;
    const std::int32_t bits = alpha_ ? 32 : 24;
    const std::int64_t rowBytes = RowBytes(width_, bits);
    const std::uint64_t imageSize = std::uint64_t(rowBytes) * std::uint64_t(height_);
    const std::uint64_t fileSize = 54u + imageSize;
    if (fileSize > 0xFFFFFFFFull) return false;
    out.assign(static_cast<std::size_t>(fileSize), 0);
    out[0] = 'B';
    out[1] = 'M';
    PutLE32(out, 2, std::uint32_t(fileSize));
    PutLE32(out, 10, 54);
    PutLE32(out, 14, 40);
    PutLE32(out, 18, std::uint32_t(width_));
    PutLE32(out, 22, std::uint32_t(height_));
    PutLE16(out, 26, 1);
    PutLE16(out, 28, std::uint16_t(bits));
    PutLE32(out, 34, std::uint32_t(imageSize));
    const std::uint8_t* src = BitsPointer();
    if (bits == 32) {
        std::memcpy(out.data() + 54, src, static_cast<std::size_t>(imageSize));
        return true;
    }
    for (std::int32_t row = 0; row < height_; ++row) { // stored rows are bottom-up already
        const std::uint8_t* s = src + std::size_t(row) * std::size_t(scanWidth());
        std::uint8_t* d = out.data() + 54 + std::size_t(row) * std::size_t(rowBytes);
        for (std::int32_t x = 0; x < width_; ++x, s += 4, d += 3) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
        }
    }
    return true;
} catch (const std::bad_alloc&) {
    out.clear();
    return false;
}

bool c32bppDIB::SaveToStream_PNG(std::vector<std::uint8_t>& out) const try {
    out.clear();
    if (!storage_) return false;
    const GdiplusEngine* gdiplus = services_->gdiplus;
    auto viaGdiplus = [&] {
        return isGDIplusEnabled() && gdiplus && gdiplus->savePng && gdiplus->savePng(*this, out);
    };
    bool ok = false;
    if (pngEncoder_) {
        ok = pngEncoder_->Encode(*this, out) || (out.clear(), viaGdiplus());
    } else {
        ok =
            viaGdiplus() || (out.clear(), services_->encodePng && services_->encodePng(*this, out));
    }
    if (!ok) out.clear();
    return ok && !out.empty();
} catch (const std::bad_alloc&) {
    out.clear();
    return false;
}

} // namespace corvale
