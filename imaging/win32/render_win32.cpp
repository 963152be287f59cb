// The Win32 halves of Render: AlphaBlend, and the own engine's blend onto a device context.
#include "imaging/c32bppDIB.h"
#include "imaging/render_engine.h"

#include <windows.h>

namespace corvale {
namespace {

HDC AsDC(std::intptr_t dc) {
    return reinterpret_cast<HDC>(dc);
}

// A memory DC with a bitmap selected; both released on every path.
class ScopedMemoryDC {
  public:
    ScopedMemoryDC(HDC compatibleWith, HGDIOBJ bitmap) : dc_(CreateCompatibleDC(compatibleWith)) {
        if (dc_ && bitmap) previous_ = SelectObject(dc_, bitmap);
    }
    ~ScopedMemoryDC() {
        if (dc_) {
            if (previous_) SelectObject(dc_, previous_);
            DeleteDC(dc_);
        }
    }
    ScopedMemoryDC(const ScopedMemoryDC&) = delete;
    ScopedMemoryDC& operator=(const ScopedMemoryDC&) = delete;
    HDC get() const { return previous_ ? dc_ : nullptr; }

  private:
    HDC dc_;
    HGDIOBJ previous_ = nullptr;
};

} // namespace

bool DestinationBounds(std::intptr_t dc, std::int32_t& left, std::int32_t& top, std::int32_t& right,
                       std::int32_t& bottom) {
    RECT box{};
    const int kind = GetClipBox(AsDC(dc), &box);
    if (kind == ERROR || kind == NULLREGION) return false;
    left = box.left;
    top = box.top;
    right = box.right;
    bottom = box.bottom;
    return true;
}

bool BlendOutToDC(std::intptr_t dc, ConstPixelView source, std::int32_t destX, std::int32_t destY,
                  const BlendEffects& effects) {
    if (!dc || source.width <= 0 || source.height <= 0) return false;
    // A 32-bpp copy of the destination area only.
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = source.width;
    info.bmiHeader.biHeight = source.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP copy = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!copy || !bits) {
        if (copy) DeleteObject(copy);
        return false;
    }
    bool ok = false;
    {
        ScopedMemoryDC mem(AsDC(dc), copy);
        if (mem.get() &&
            BitBlt(mem.get(), 0, 0, source.width, source.height, AsDC(dc), destX, destY, SRCCOPY)) {
            GdiFlush();
            const std::ptrdiff_t scan = std::ptrdiff_t(source.width) * 4;
            PixelView area{static_cast<std::uint8_t*>(bits) + (source.height - 1) * scan, -scan,
                           source.width, source.height};
            BlendOut(source, area, 0, 0, effects);
            ok = BitBlt(AsDC(dc), destX, destY, source.width, source.height, mem.get(), 0, 0,
                        SRCCOPY) != 0;
        }
    }
    DeleteObject(copy);
    return ok;
}

bool AlphaBlendImage(const c32bppDIB& image, std::intptr_t imageDC, const AlphaBlendCall& call) {
    if (!call.destDC || !image.Handle()) return false;
    GdiFlush();
    HDC dest = AsDC(call.destDC);
    int previousMode = 0;
    if (call.halftone) previousMode = SetStretchBltMode(dest, HALFTONE);
    BLENDFUNCTION blend{AC_SRC_OVER, 0, BYTE(call.constantAlpha),
                        BYTE(call.sourceAlpha ? AC_SRC_ALPHA : 0)};
    BOOL ok = FALSE;
    // gdi32's own entry (the one msimg32 forwards to), so the program does not need msimg32.
    if (imageDC) {
        ok = GdiAlphaBlend(dest, call.destX, call.destY, call.destWidth, call.destHeight,
                           AsDC(imageDC), call.srcX, call.srcY, call.srcWidth, call.srcHeight,
                           blend);
    } else {
        ScopedMemoryDC mem(dest, reinterpret_cast<HGDIOBJ>(image.Handle()));
        if (mem.get())
            ok = GdiAlphaBlend(dest, call.destX, call.destY, call.destWidth, call.destHeight,
                               mem.get(), call.srcX, call.srcY, call.srcWidth, call.srcHeight,
                               blend);
    }
    if (call.halftone && previousMode) SetStretchBltMode(dest, previousMode);
    GdiFlush();
    return ok != FALSE;
}

} // namespace corvale
