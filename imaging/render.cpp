// Render: argument normalisation, placement, the choice of engine and the own pixel engine.
#include "codecs/modParsers.h"
#include "imaging/c32bppDIB.h"
#include "imaging/render_engine.h"
#include "platform/image_storage.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <numbers>

#ifdef _WIN32
#include <windows.h>
#endif

namespace corvale {

// ---- work arrays ------------------------------------------------------------------------------

bool PixelPlane::Allocate(std::int32_t w, std::int32_t h) {
    if (w <= 0 || h <= 0) return false;
    const std::uint64_t size = std::uint64_t(w) * std::uint64_t(h) * 4u;
    if (size > kMaxImageBytes) return false;
    bytes.assign(static_cast<std::size_t>(size), 0);
    width = w;
    height = h;
    return true;
}

PixelView ViewOf(const c32bppDIB& image) {
    std::uint8_t* bits = image.BitsPointer();
    if (!bits) return {};
    const std::ptrdiff_t scan = image.scanWidth();
    return {bits + (image.Height() - 1) * scan, -scan, image.Width(), image.Height()};
}

ConstPixelView SubView(ConstPixelView view, std::int32_t x, std::int32_t y, std::int32_t w,
                       std::int32_t h) {
    return {view.Row(y) + std::ptrdiff_t(x) * 4, view.stride, w, h};
}

bool MirrorCopy(ConstPixelView source, bool mirrorX, bool mirrorY, PixelPlane& out) {
    if (!out.Allocate(source.width, source.height)) return false;
    for (std::int32_t y = 0; y < source.height; ++y) {
        const auto* src =
            reinterpret_cast<const std::uint8_t*>(source.Row(mirrorY ? source.height - 1 - y : y));
        std::uint8_t* dst = out.View().Row(y);
        if (!mirrorX) {
            std::memcpy(dst, src, std::size_t(source.width) * 4u);
            continue;
        }
        for (std::int32_t x = 0; x < source.width; ++x)
            std::memcpy(dst + x * 4, src + (source.width - 1 - x) * 4, 4);
    }
    return true;
}

// ---- scale copy -------------------------------------------------------------------------------

namespace {

void ScaleNearest(ConstPixelView src, const ScaleRequest& rq, PixelPlane& out) {
    const double rx = double(src.width) / rq.destWidth;
    const double ry = double(src.height) / rq.destHeight;
    std::vector<std::int32_t> column(std::size_t(out.width));
    for (std::int32_t x = 0; x < out.width; ++x) {
        const auto sx = std::int32_t(std::floor((rq.outX + x) * rx));
        column[std::size_t(x)] = std::clamp(sx, 0, src.width - 1);
    }
    for (std::int32_t y = 0; y < out.height; ++y) {
        const auto sy = std::clamp(std::int32_t(std::floor((rq.outY + y) * ry)), 0, src.height - 1);
        const std::uint8_t* srow = src.Row(sy);
        std::uint8_t* drow = out.View().Row(y);
        for (std::int32_t x = 0; x < out.width; ++x)
            std::memcpy(drow + x * 4, srow + column[std::size_t(x)] * 4, 4);
    }
}

void ScaleBilinear(ConstPixelView src, const ScaleRequest& rq, PixelPlane& out) {
    const double rx = double(src.width) / rq.destWidth;
    const double ry = double(src.height) / rq.destHeight;
    const std::int32_t lastX = src.width - 1, lastY = src.height - 1;
    // Per destination column: the left neighbour's byte offset, the right one's, and fx.
    std::vector<std::int32_t> left(std::size_t(out.width)), right(std::size_t(out.width));
    std::vector<double> fxs(std::size_t(out.width));
    for (std::int32_t x = 0; x < out.width; ++x) {
        const double sx = (rq.outX + x) * rx;
        const auto ix = std::clamp(std::int32_t(std::floor(sx)), 0, lastX);
        left[std::size_t(x)] = ix * 4;
        right[std::size_t(x)] = std::min(ix + 1, lastX) * 4;
        fxs[std::size_t(x)] = std::clamp(sx - ix, 0.0, 1.0);
    }
    for (std::int32_t y = 0; y < out.height; ++y) {
        const double sy = (rq.outY + y) * ry;
        const auto iy = std::clamp(std::int32_t(std::floor(sy)), 0, lastY);
        const double fy = std::clamp(sy - iy, 0.0, 1.0);
        const std::uint8_t* r0 = src.Row(iy);
        const std::uint8_t* r1 = src.Row(std::min(iy + 1, lastY));
        std::uint8_t* d = out.View().Row(y);
        for (std::int32_t x = 0; x < out.width; ++x, d += 4) {
            const double fx = fxs[std::size_t(x)];
            const double w00 = (1.0 - fx) * (1.0 - fy), w10 = fx * (1.0 - fy);
            const double w01 = (1.0 - fx) * fy, w11 = fx * fy;
            const std::uint8_t* p00 = r0 + left[std::size_t(x)];
            const std::uint8_t* p10 = r0 + right[std::size_t(x)];
            const std::uint8_t* p01 = r1 + left[std::size_t(x)];
            const std::uint8_t* p11 = r1 + right[std::size_t(x)];
            for (int c = 0; c < 4; ++c) {
                const double v = p00[c] * w00 + p10[c] * w10 + p01[c] * w01 + p11[c] * w11;
                d[c] = std::uint8_t(std::min(v, 255.0));
            }
        }
    }
}

} // namespace

bool ScaleCopy(ConstPixelView source, const ScaleRequest& request, PixelPlane& out) {
    if (source.width <= 0 || source.height <= 0 || request.destWidth <= 0 ||
        request.destHeight <= 0 || out.width <= 0 || out.height <= 0)
        return false;
    if (request.bilinear)
        ScaleBilinear(source, request, out);
    else
        ScaleNearest(source, request, out);
    return true;
}

// ---- blend out --------------------------------------------------------------------------------

void AdjustLightness(std::uint8_t* p, float light255) {
    const unsigned a = p[3];
    if (a == 0 || light255 == 0.0f) return;
    const auto m = std::int32_t(std::lround(double(light255) * a)) / 255;
    for (int c = 0; c < 3; ++c) {
        const std::int32_t v = p[c] + m;
        p[c] = std::uint8_t(light255 > 0 ? std::min<std::int32_t>(v, a) : std::max(v, 0));
    }
}

void BlendOut(ConstPixelView source, PixelView dest, std::int32_t destX, std::int32_t destY,
              const BlendEffects& fx) {
    const std::int64_t x0 = std::max<std::int64_t>(destX, 0);
    const std::int64_t y0 = std::max<std::int64_t>(destY, 0);
    const std::int64_t x1 = std::min<std::int64_t>(std::int64_t(destX) + source.width, dest.width);
    const std::int64_t y1 =
        std::min<std::int64_t>(std::int64_t(destY) + source.height, dest.height);
    if (x0 >= x1 || y0 >= y1) return;
    const bool gray = fx.grayScale != -1;
    const GrayWeightSet w = GrayWeights(fx.grayScale);
    const float light255 = fx.lightAdjustment / 100.0f * 255.0f;
    const std::uint32_t o = std::uint32_t(std::clamp(fx.opacity, 0, 255));
    const bool plain = !gray && light255 == 0.0f;
    for (std::int64_t y = y0; y < y1; ++y) {
        const std::uint8_t* s = source.Row(std::int32_t(y - destY)) + (x0 - destX) * 4;
        std::uint8_t* d = dest.Row(std::int32_t(y)) + x0 * 4;
        for (std::int64_t x = x0; x < x1; ++x, s += 4, d += 4) {
            std::uint8_t px[4] = {s[0], s[1], s[2], s[3]};
            const std::uint32_t a = px[3];
            if (a == 0) continue;
            if (!plain) {
                AdjustLightness(px, light255);
                if (gray) {
                    const auto g = std::lround(px[2] * w.red + px[1] * w.green + px[0] * w.blue);
                    px[0] = px[1] = px[2] = std::uint8_t(std::clamp<long>(g, 0, long(a)));
                }
            }
            if (o == 255) {
                const std::uint32_t k = 255 - a;
                for (int c = 0; c < 4; ++c) d[c] = std::uint8_t(d[c] * k / 255 + px[c]);
            } else {
                const std::uint32_t k = 255 - a * o / 255;
                for (int c = 0; c < 4; ++c) d[c] = std::uint8_t((d[c] * k + px[c] * o) / 255);
            }
        }
    }
}

// ---- Render -----------------------------------------------------------------------------------

namespace {

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
bool Fits(std::int64_t v) {
    return v >= kInt32Min && v <= kInt32Max;
}
std::int64_t FloorHalf(std::int64_t v) {
    return v >= 0 ? v / 2 : -((-v + 1) / 2);
}

// The pixels a drawing can reach: the whole image drawn into, or the clip box of the device
// context. False where neither tells (nothing is clipped then).
bool DrawingBounds(const c32bppDIB* host, std::intptr_t dc, std::int32_t& left, std::int32_t& top,
                   std::int32_t& right, std::int32_t& bottom) {
    if (host) {
        left = top = 0;
        right = host->Width();
        bottom = host->Height();
        return true;
    }
#ifdef _WIN32
    return DestinationBounds(dc, left, top, right, bottom);
#else
    (void)dc;
    return false;
#endif
}

// The part of the destination rectangle that can be seen, relative to the rectangle.
struct Visible {
    std::int32_t x = 0, y = 0, width = 0, height = 0;
};

} // namespace

// blend is not looked at: the own engine and GDI+ always blend.
bool c32bppDIB::Render(const RenderPlan& r) const try {
    float lightAdjustment = r.lightAdjustment;
    if (r.opacity <= 0) return storage_ != nullptr;
    if (!storage_ || (!r.destinationDC && !r.destHostDIB)) return false;
    if (r.destHostDIB && !r.destHostDIB->storage_) return false;
    if (!std::isfinite(r.angle)) return false;

    // Sizes and the source rectangle, in 64 bits so nothing wraps on the way.
    std::int64_t dW = r.destWidth == 0 ? width_ : r.destWidth;
    std::int64_t dH = r.destHeight == 0 ? height_ : r.destHeight;
    std::int64_t sX = std::max(r.srcX, 0), sY = std::max(r.srcY, 0);
    std::int64_t sW = r.srcWidth, sH = r.srcHeight;
    if (sW == 0) sW = width_;
    if (sW < 0) {
        dW = -dW;
        sW = -sW;
    }
    if (sH == 0) sH = height_;
    if (sH < 0) {
        dH = -dH;
        sH = -sH;
    }
    if (sX + sW > width_) sW = width_ - sX;
    if (sY + sH > height_) sH = height_ - sY;
    if (sW <= 0 || sH <= 0) return false; // the source rectangle lies outside the image

    const bool rotated = r.angle != std::trunc(r.angle) || std::fmod(r.angle, 360.0f) != 0.0f;
    std::int32_t e = std::abs(r.opacity) % 100;
    if (e == 0) e = 100;
    if (lightAdjustment < -100.0f || lightAdjustment > 100.0f || std::isnan(lightAdjustment))
        lightAdjustment = 0.0f;

    std::int64_t dX = r.destX, dY = r.destY;
    if (r.centerOnDestXY) {
        if (rotated) {
            dX -= dW / 2;
            dY -= dH / 2;
        } else {
            dX -= std::abs(dW / 2);
            dY -= std::abs(dH / 2);
        }
    }
    // Every coordinate the engines compute must stay within 32 bits.
    if (!Fits(dW) || !Fits(dH) || !Fits(dX) || !Fits(dY) || !Fits(dX + dW) || !Fits(dY + dH) ||
        !Fits(dX + std::abs(dW)) || !Fits(dY + std::abs(dH)) || !Fits(dX - std::abs(dW)) ||
        !Fits(dY - std::abs(dH)) || dW == kInt32Min || dH == kInt32Min)
        return false;

    RenderPlan plan = r;
    plan.destX = std::int32_t(dX);
    plan.destY = std::int32_t(dY);
    plan.destWidth = std::int32_t(dW);
    plan.destHeight = std::int32_t(dH);
    plan.srcX = std::int32_t(sX);
    plan.srcY = std::int32_t(sY);
    plan.srcWidth = std::int32_t(sW);
    plan.srcHeight = std::int32_t(sH);
    plan.opacity = e;
    plan.lightAdjustment = lightAdjustment;
    plan.centerOnDestXY = false;
    return rotated ? RenderRotated(plan) : RenderUnrotated(plan);
} catch (const std::bad_alloc&) {
    return false; // no memory for a work array: nothing (more) is drawn
}

bool c32bppDIB::RenderUnrotated(const RenderPlan& p) const {
    const bool mirrored = p.destWidth < 1 || p.destHeight < 0;
    const std::int32_t absW = std::abs(p.destWidth), absH = std::abs(p.destHeight);
    const bool scaled = absW != p.srcWidth || absH != p.srcHeight;
    const GdiplusEngine* gdiplus = services_->gdiplus;
    const bool gdiplusUsable = gdiToken_ != 0 && isGDIplusEnabled();

    bool useAlphaBlend = false;
    if (!gdiplusUsable)
        useAlphaBlend = isAlphaBlendFriendly() && !mirrored && p.grayScale == -1 &&
                        p.lightAdjustment == 0.0f && (!scaled || !highQuality_);
#ifndef _WIN32
    useAlphaBlend = false; // no AlphaBlend here (the capability flags never allow it anyway)
#endif
    if (!useAlphaBlend && isGDIplusEnabled() && gdiplus && gdiplus->draw) {
        GdiplusDrawArgs args{p, highQuality_, gdiToken_};
        args.angle = 0.0f; // whole turns draw unrotated
        if (p.destHostDIB) args.destinationDC = p.destHostDIB->LoadDIBinDC(true);
        const bool ok = gdiplus->draw(*this, args);
        if (p.destHostDIB) p.destHostDIB->LoadDIBinDC(false);
        return ok;
    }

#ifdef _WIN32
    if (useAlphaBlend) {
        std::intptr_t dest = p.destHostDIB ? p.destHostDIB->LoadDIBinDC(true) : p.destinationDC;
        const bool ok = dest && AlphaBlendImage(*this, SelectedDC(), dest, p,
                                                p.setHalfTone && !(flags_ & kCap9xFamily));
        if (p.destHostDIB) p.destHostDIB->LoadDIBinDC(false);
        return ok;
    }
#endif

#ifdef _WIN32
    GdiFlush(); // queued GDI drawing into either image lands before the pixels are read
#endif
    // Own engine: what part of the destination rectangle can be seen at all.
    Visible vis{0, 0, absW, absH};
    std::int32_t boundL = 0, boundT = 0, boundR = 0, boundB = 0;
    const bool bounded =
        DrawingBounds(p.destHostDIB, p.destinationDC, boundL, boundT, boundR, boundB);
    if (bounded) {
        const std::int64_t l = std::max<std::int64_t>(p.destX, boundL);
        const std::int64_t t = std::max<std::int64_t>(p.destY, boundT);
        const std::int64_t r = std::min<std::int64_t>(std::int64_t(p.destX) + absW, boundR);
        const std::int64_t b = std::min<std::int64_t>(std::int64_t(p.destY) + absH, boundB);
        if (l >= r || t >= b) return true; // nothing of it can be seen
        vis = {std::int32_t(l - p.destX), std::int32_t(t - p.destY), std::int32_t(r - l),
               std::int32_t(b - t)};
    }

    const ConstPixelView whole = ViewOf(*this);
    ConstPixelView source = SubView(whole, p.srcX, p.srcY, p.srcWidth, p.srcHeight);
    PixelPlane mirror, scaledPlane, own;
    if (mirrored) {
        if (!MirrorCopy(source, p.destWidth < 1, p.destHeight < 0, mirror)) return false;
        source = mirror.View();
    }
    if (scaled || vis.width != absW || vis.height != absH) {
        if (!scaled) {
            source = SubView(source, vis.x, vis.y, vis.width, vis.height);
        } else {
            if (!scaledPlane.Allocate(vis.width, vis.height)) return false;
            ScaleRequest rq{absW, absH, vis.x, vis.y, highQuality_};
            if (!ScaleCopy(source, rq, scaledPlane)) return false;
            source = scaledPlane.View();
        }
    }
    if (p.destHostDIB == this) { // drawing into itself: blend from a copy
        if (!MirrorCopy(source, false, false, own)) return false;
        source = own.View();
    }
    const BlendEffects effects{p.opacity * 255 / 100, p.grayScale, p.lightAdjustment};
    if (p.destHostDIB) {
        BlendOut(source, ViewOf(*p.destHostDIB), p.destX + vis.x, p.destY + vis.y, effects);
        return true;
    }
#ifdef _WIN32
    return BlendOutToDC(p.destinationDC, source, p.destX + vis.x, p.destY + vis.y, effects);
#else
    return false; // no device contexts on this system
#endif
}

bool c32bppDIB::RenderRotated(const RenderPlan& p) const {
    const GdiplusEngine* gdiplus = services_->gdiplus;
    if (isGDIplusEnabled() && gdiplus && gdiplus->draw) {
        GdiplusDrawArgs args{p, highQuality_, gdiToken_};
        if (p.destHostDIB) args.destinationDC = p.destHostDIB->LoadDIBinDC(true);
        const bool ok = gdiplus->draw(*this, args);
        if (p.destHostDIB) p.destHostDIB->LoadDIBinDC(false);
        if (ok) return true;
    }

    std::int64_t destX = p.destX, destY = p.destY;
    if (p.destWidth < 0) destX += p.destWidth;
    if (p.destHeight < 0) destY += p.destHeight;
    const std::int64_t absW = std::abs(p.destWidth), absH = std::abs(p.destHeight);
    if (absW == 0 || absH == 0) return false;

    PixelPlane source;
    const ConstPixelView region = SubView(ViewOf(*this), p.srcX, p.srcY, p.srcWidth, p.srcHeight);
    if (!MirrorCopy(region, p.destWidth < 0, p.destHeight < 0, source)) return false;
    if (p.lightAdjustment != 0.0f) {
        const float light255 = p.lightAdjustment / 100.0f * 255.0f;
        for (std::size_t i = 0; i < source.bytes.size(); i += 4)
            AdjustLightness(&source.bytes[i], light255);
    }

    // Whole degrees, reduced exactly (fmod of a whole number is exact; no integer overflow
    // however large the angle).
    const auto degrees = std::int32_t(std::fmod(std::nearbyint(double(p.angle)), 360.0));
    const double radians = -(4.0 * std::atan(1.0) * double(degrees) / 180.0);
    const double side = std::nearbyint(std::sqrt(double(absW * absW + absH * absH)));
    if (side < 1 || side > double(std::numeric_limits<std::int32_t>::max()) / 8) return false;
    const auto n = std::int64_t(side);

    // The work image sits centred on the destination rectangle. Only the part of it that can
    // be seen is made: each of its pixels is mapped back through the inverse rotation and the
    // scale into the (mirrored) source.
    const std::int64_t left = destX + FloorHalf(absW - n);
    const std::int64_t top = destY + FloorHalf(absH - n);
    std::int64_t visL = left, visT = top, visR = left + n, visB = top + n;
    std::int32_t boundL = 0, boundT = 0, boundR = 0, boundB = 0;
    const bool bounded =
        DrawingBounds(p.destHostDIB, p.destinationDC, boundL, boundT, boundR, boundB);
    if (bounded) {
        visL = std::max<std::int64_t>(visL, boundL);
        visT = std::max<std::int64_t>(visT, boundT);
        visR = std::min<std::int64_t>(visR, boundR);
        visB = std::min<std::int64_t>(visB, boundB);
        if (visL >= visR || visT >= visB) return true; // nothing of it can be seen
    }
    if (!Fits(visL) || !Fits(visT) || !Fits(visR) || !Fits(visB)) return false;
    const auto workW = std::int32_t(visR - visL), workH = std::int32_t(visB - visT);

    c32bppDIB work(flags_, *services_);
    work.isGDIplusEnabled(isGDIplusEnabled());
    work.HighQualityInterpolation(highQuality_);
    work.gdiToken(gdiToken_);
    if (!work.InitializeDIB(workW, workH)) return false;
    work.SetAlpha(true);

    const double cx = double(destX) + double(absW) / 2.0, cy = double(destY) + double(absH) / 2.0;
    const double scaleX = double(absW) / source.width, scaleY = double(absH) / source.height;
    // Screen rotation by -radians (clockwise for a positive angle, y pointing down); inverse:
    const double c = std::cos(radians), s = std::sin(radians);
    const PixelView out = ViewOf(work);
    const ConstPixelView src = source.View();
    for (std::int32_t y = 0; y < workH; ++y) {
        std::uint8_t* d = out.Row(y);
        const double dy = double(visT + y) + 0.5 - cy;
        for (std::int32_t x = 0; x < workW; ++x, d += 4) {
            const double dx = double(visL + x) + 0.5 - cx;
            const double rx = dx * c - dy * s;
            const double ry = dx * s + dy * c;
            const double u = rx / scaleX + source.width / 2.0;
            const double v = ry / scaleY + source.height / 2.0;
            if (u < 0 || v < 0 || u >= source.width || v >= source.height) continue;
            if (!highQuality_) {
                std::memcpy(d, src.Row(std::int32_t(v)) + std::int32_t(u) * 4, 4);
                continue;
            }
            const double fu = std::max(u - 0.5, 0.0), fv = std::max(v - 0.5, 0.0);
            const auto ix = std::int32_t(fu), iy = std::int32_t(fv);
            const double ax = fu - ix, ay = fv - iy;
            const std::int32_t ix1 = std::min(ix + 1, source.width - 1);
            const std::int32_t iy1 = std::min(iy + 1, source.height - 1);
            const std::uint8_t* r0 = src.Row(iy);
            const std::uint8_t* r1 = src.Row(iy1);
            for (int ch = 0; ch < 4; ++ch) {
                const double val = r0[ix * 4 + ch] * (1 - ax) * (1 - ay) +
                                   r0[ix1 * 4 + ch] * ax * (1 - ay) +
                                   r1[ix * 4 + ch] * (1 - ax) * ay + r1[ix1 * 4 + ch] * ax * ay;
                d[ch] = std::uint8_t(std::min(val, 255.0));
            }
        }
    }
    return work.Render({.destinationDC = p.destinationDC,
                        .destX = std::int32_t(visL),
                        .destY = std::int32_t(visT),
                        .destWidth = workW,
                        .destHeight = workH,
                        .srcWidth = workW,
                        .srcHeight = workH,
                        .opacity = p.opacity,
                        .setHalfTone = p.setHalfTone,
                        .destHostDIB = p.destHostDIB,
                        .grayScale = p.grayScale});
}

} // namespace corvale
