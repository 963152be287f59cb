#pragma once
// The own pixel engine behind c32bppDIB::Render: work arrays, mirror copy, scale copy, lightness
// and blend out. Everything here works on premultiplied BGRA and logical top-down views.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvale {

class c32bppDIB;

// A read-only view of pixels; Row(0) is the top row whatever the storage order.
struct ConstPixelView {
    const std::uint8_t* top = nullptr;
    std::ptrdiff_t stride = 0; // bytes from one row to the next one down
    std::int32_t width = 0;
    std::int32_t height = 0;
    const std::uint8_t* Row(std::int32_t y) const { return top + y * stride; }
};

struct PixelView {
    std::uint8_t* top = nullptr;
    std::ptrdiff_t stride = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint8_t* Row(std::int32_t y) const { return top + y * stride; }
    operator ConstPixelView() const { return {top, stride, width, height}; }
};

// A work array of width x height pixels, top row first.
struct PixelPlane {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> bytes;

    // False when the size is not positive or too large to allocate.
    bool Allocate(std::int32_t w, std::int32_t h);
    PixelView View() { return {bytes.data(), std::ptrdiff_t(width) * 4, width, height}; }
    ConstPixelView View() const { return {bytes.data(), std::ptrdiff_t(width) * 4, width, height}; }
};

// The whole image (bottom-up storage seen top-down); empty view when there is no image.
PixelView ViewOf(const c32bppDIB& image);
// A rectangle of a view (the caller keeps it inside).
ConstPixelView SubView(ConstPixelView view, std::int32_t x, std::int32_t y, std::int32_t w,
                       std::int32_t h);

// Copies the view, reversed left to right and/or top to bottom.
bool MirrorCopy(ConstPixelView source, bool mirrorX, bool mirrorY, PixelPlane& out);

// Resamples source (its whole size stands for srcWidth x srcHeight) to a destination of
// destWidth x destHeight, writing only the part (outX, outY, out.width, out.height) of it into
// out, which must be allocated. Nearest pixel, or bilinear (edge neighbours clamped, which
// renormalises the weights).
struct ScaleRequest {
    std::int32_t destWidth = 0, destHeight = 0;
    std::int32_t outX = 0, outY = 0;
    bool bilinear = false;
};
bool ScaleCopy(ConstPixelView source, const ScaleRequest& request, PixelPlane& out);

// Effects applied on the way out, per source pixel.
struct BlendEffects {
    std::int32_t opacity = 255;   // 0..255
    std::int32_t grayScale = -1;  // formula, -1 none
    float lightAdjustment = 0.0f; // percent, -100..100
};

// The lightness adjustment of one premultiplied pixel (in place).
void AdjustLightness(std::uint8_t* pixel, float light255);
// Blends source onto destination with its top-left at (destX, destY), clipped to destination.
void BlendOut(ConstPixelView source, PixelView destination, std::int32_t destX, std::int32_t destY,
              const BlendEffects& effects);

#ifdef _WIN32
// Win32 halves of the engines (imaging/win32/render_win32.cpp).
// The bounds of what can be drawn on dc (its clip box); false when unknown.
bool DestinationBounds(std::intptr_t dc, std::int32_t& left, std::int32_t& top, std::int32_t& right,
                       std::int32_t& bottom);
// Blends source onto the DC through a 32-bpp copy of the destination area.
bool BlendOutToDC(std::intptr_t dc, ConstPixelView source, std::int32_t destX, std::int32_t destY,
                  const BlendEffects& effects);
// AlphaBlend from the image (selected into a memory DC for the call unless imageDC holds it)
// onto destDC, over the rectangles and at the opacity of a resolved plan; halftone stretching
// when asked.
bool AlphaBlendImage(const c32bppDIB& image, std::intptr_t imageDC, std::intptr_t destDC,
                     const RenderPlan& plan, bool halftone);
#endif

} // namespace corvale
