// The Win32 halves of Render: AlphaBlend, and the own engine's blend onto a device context.
#include "imaging/c32bppDIB.h"
#include "imaging/render_engine.h"
#include "platform/win32/gdi_handles.h"

#include <windows.h>

#include <optional>

namespace corvale {
namespace {

HDC AsDC(std::intptr_t dc) {
    return reinterpret_cast<HDC>(dc);
}

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
    const win32::BitmapHandle copy(
        CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!copy || !bits) return false;
    const win32::MemoryDc mem(AsDC(dc));
    const win32::Selection selected(mem.get(), copy.get());
    if (!selected.ok() ||
        !BitBlt(mem.get(), 0, 0, source.width, source.height, AsDC(dc), destX, destY, SRCCOPY))
        return false;
    GdiFlush();
    const std::ptrdiff_t scan = std::ptrdiff_t(source.width) * 4;
    PixelView area{static_cast<std::uint8_t*>(bits) + (source.height - 1) * scan, -scan,
                   source.width, source.height};
    BlendOut(source, area, 0, 0, effects);
    return BitBlt(AsDC(dc), destX, destY, source.width, source.height, mem.get(), 0, 0, SRCCOPY) !=
           0;
}

bool AlphaBlendImage(const c32bppDIB& image, std::intptr_t imageDC, std::intptr_t destDC,
                     const RenderPlan& p, bool halftone) {
    if (!destDC || !image.Handle()) return false;
    GdiFlush();
    HDC dest = AsDC(destDC);
    // The image's own DC while it is selected there, else a memory DC for this call.
    HDC source = AsDC(imageDC);
    std::optional<win32::MemoryDc> mem;
    std::optional<win32::Selection> selected;
    if (!source) {
        mem.emplace(dest);
        selected.emplace(mem->get(), reinterpret_cast<HGDIOBJ>(image.Handle()));
        if (!selected->ok()) return false;
        source = mem->get();
    }
    const int previousMode = halftone ? SetStretchBltMode(dest, HALFTONE) : 0;
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, BYTE(p.opacity * 255 / 100),
                              BYTE(image.Alpha() ? AC_SRC_ALPHA : 0)};
    // gdi32's own entry (the one msimg32 forwards to), so the program does not need msimg32.
    const BOOL ok = GdiAlphaBlend(dest, p.destX, p.destY, p.destWidth, p.destHeight, source, p.srcX,
                                  p.srcY, p.srcWidth, p.srcHeight, blend);
    if (previousMode) SetStretchBltMode(dest, previousMode);
    GdiFlush();
    return ok != FALSE;
}

} // namespace corvale
