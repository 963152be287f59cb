// Icon and cursor handles to 32-bpp image objects.
#include "codecs/cICOparser.h"

#include <cstring>
#include <new>
#include <vector>

#include <windows.h>

#include "codecs/bitmap_rows.h"
#include "codecs/image_host.h"
#include "platform/win32/gdi_handles.h"

namespace corvale {

namespace {

// Reads `rows` rows of `bitmap` from its bottom as bottom-up DIB rows of `bits` per pixel.
bool ReadRows(HBITMAP bitmap, std::int32_t width, std::int32_t height, std::int32_t bits,
              void* out) {
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[2];
    } bi{};
    bi.header.biSize = sizeof(BITMAPINFOHEADER);
    bi.header.biWidth = width;
    bi.header.biHeight = height;
    bi.header.biPlanes = 1;
    bi.header.biBitCount = static_cast<WORD>(bits);
    bi.header.biCompression = BI_RGB;
    win32::ScreenDc screen;
    return GetDIBits(screen.get(), bitmap, 0, static_cast<UINT>(height), out,
                     reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS) == height;
}

} // namespace

bool cICOparser::ConvertstdPicTo32bpp(std::intptr_t iconHandle, ImageHost& host) try {
    HICON icon = reinterpret_cast<HICON>(iconHandle);
    ICONINFO info{};
    if (icon == nullptr || !GetIconInfo(icon, &info)) return false;
    win32::GdiObject colour(info.hbmColor);
    win32::GdiObject mask(info.hbmMask);
    const bool cursor = !info.fIcon;
    type_ = cursor ? 2 : 1;
    entries_.assign(1, IcoEntry{});
    bytes_ = {};

    BITMAP maskInfo{};
    if (info.hbmMask == nullptr || GetObjectW(info.hbmMask, sizeof(maskInfo), &maskInfo) == 0) {
        return false;
    }
    std::int32_t width = 0, height = 0;
    bool below32 = true;
    if (info.hbmColor != nullptr) {
        BITMAP colourInfo{};
        if (GetObjectW(info.hbmColor, sizeof(colourInfo), &colourInfo) == 0) return false;
        width = colourInfo.bmWidth;
        height = colourInfo.bmHeight < 0 ? -colourInfo.bmHeight : colourInfo.bmHeight;
        if (!host.InitializeDIB(width, height) ||
            !ReadRows(info.hbmColor, width, height, 32, host.BitsPointer())) {
            host.DestroyDIB();
            return false;
        }
        std::uint8_t* bits = host.BitsPointer();
        const std::size_t count = static_cast<std::size_t>(width) * height;
        bool anyAlpha = false;
        for (std::size_t i = 0; i < count && !anyAlpha; ++i) anyAlpha = bits[4 * i + 3] != 0;
        if (anyAlpha) {
            // Its own alpha channel, premultiplied here.
            for (std::size_t i = 0; i < count; ++i) {
                std::uint8_t* p = bits + 4 * i;
                const std::uint32_t a = p[3];
                if (a == 0) {
                    std::memset(p, 0, 4);
                } else if (a != 255) {
                    p[0] = static_cast<std::uint8_t>(p[0] * a / 255);
                    p[1] = static_cast<std::uint8_t>(p[1] * a / 255);
                    p[2] = static_cast<std::uint8_t>(p[2] * a / 255);
                }
            }
            entries_[0].bitCount = 32;
            host.SetAlpha(true);
            host.SetImageType(cursor ? image_type::kCursor32 : image_type::kIcon32);
            below32 = false;
        }
    } else {
        // Monochrome: the mask holds the AND rows above the XOR rows.
        width = maskInfo.bmWidth;
        height = maskInfo.bmHeight / 2;
        if (height < 1 || !host.InitializeDIB(width, height)) return false;
        win32::ImageDc<ImageHost> target(host);
        if (target.get() == nullptr || !DrawIcon(target.get(), 0, 0, icon)) {
            host.DestroyDIB();
            return false;
        }
        GdiFlush();
    }
    entries_[0].width = static_cast<std::uint8_t>(width & 0xFF);
    entries_[0].height = static_cast<std::uint8_t>(height & 0xFF);
    if (!below32) return true;

    // The AND mask: for a monochrome icon the upper half of its double-height mask bitmap,
    // which comes last in bottom-up rows.
    const std::int32_t maskHeight = maskInfo.bmHeight < 0 ? -maskInfo.bmHeight : maskInfo.bmHeight;
    const std::size_t maskRow = ((static_cast<std::size_t>(width) + 31) / 32) * 4;
    std::vector<std::uint8_t> maskBits(maskRow * static_cast<std::size_t>(maskHeight));
    if (maskHeight < height || !ReadRows(info.hbmMask, width, maskHeight, 1, maskBits.data())) {
        host.DestroyDIB();
        return false;
    }
    const std::size_t firstRow = static_cast<std::size_t>(maskHeight - height);
    const bool anyTransparent = ApplyAndMask(host.BitsPointer(), static_cast<std::size_t>(width),
                                             static_cast<std::size_t>(height),
                                             maskBits.data() + firstRow * maskRow, maskRow);
    entries_[0].bitCount = 24;
    host.SetAlpha(anyTransparent);
    host.SetImageType(cursor ? image_type::kCursorMasked : image_type::kIconMasked);
    return true;
} catch (const std::bad_alloc&) {
    host.DestroyDIB();
    return false;
}

} // namespace corvale
