// Picture objects and bitmap handles to 32-bpp image objects.
#include "codecs/cBMPparser.h"

#include <cmath>
#include <cstring>
#include <new>

#include <ole2.h>
#include <olectl.h>
#include <windows.h>

#include "codecs/image_host.h"
#include "codecs/modParsers.h"
#include "platform/win32/dpi.h"
#include "platform/win32/gdi_handles.h"

namespace corvale {

namespace {

constexpr double kHimetricPerInch = 2540.0;

// Picture size in hundredths of a millimetre to screen pixels, halves to even.
std::int32_t HimetricToPixels(OLE_XSIZE_HIMETRIC value, int pixelsPerInch) {
    return static_cast<std::int32_t>(std::nearbyint(value * pixelsPerInch / kHimetricPerInch));
}

// Fills the image with the 32-bit rows of `bitmap`; false when they cannot be read.
bool Read32BitRows(HBITMAP bitmap, const BITMAP& info, ImageHost& host) {
    const std::size_t width = static_cast<std::size_t>(host.Width());
    const std::size_t height = static_cast<std::size_t>(host.Height());
    std::uint8_t* bits = host.BitsPointer();
    DIBSECTION section{};
    if (info.bmBits != nullptr &&
        GetObjectW(bitmap, sizeof(section), &section) == sizeof(section)) {
        // A DIB section: its own memory, bottom-up unless its height is negative.
        const bool topDown = section.dsBmih.biHeight < 0;
        const auto* src = static_cast<const std::uint8_t*>(info.bmBits);
        const std::size_t stride = static_cast<std::size_t>(info.bmWidthBytes);
        for (std::size_t r = 0; r < height; ++r) {
            const std::size_t from = topDown ? height - 1 - r : r;
            std::memcpy(bits + r * width * 4, src + from * stride, width * 4);
        }
        return true;
    }
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = static_cast<LONG>(width);
    bi.bmiHeader.biHeight = static_cast<LONG>(height);
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    win32::ScreenDc screen;
    return GetDIBits(screen.get(), bitmap, 0, static_cast<UINT>(height), bits, &bi,
                     DIB_RGB_COLORS) == static_cast<int>(height);
}

void MakeOpaque(ImageHost& host) {
    std::uint8_t* bits = host.BitsPointer();
    const std::size_t count = static_cast<std::size_t>(host.Width()) * host.Height();
    for (std::size_t i = 0; i < count; ++i) bits[4 * i + 3] = 255;
    host.SetAlpha(false);
    host.SetImageType(image_type::kBitmap);
}

} // namespace

bool cBMPparser::ConvertstdPicTo32bpp(IPicture* picture, std::intptr_t bitmapHandle,
                                      ImageHost& host, std::int32_t bitCount) try {
    HBITMAP bitmap = reinterpret_cast<HBITMAP>(bitmapHandle);
    std::int32_t width = 0, height = 0;
    SHORT pictureType = PICTYPE_NONE;
    BITMAP info{};
    if (picture == nullptr) {
        if (bitmap == nullptr || GetObjectW(bitmap, sizeof(info), &info) == 0) return false;
        width = info.bmWidth;
        height = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
    } else {
        if (FAILED(picture->get_Type(&pictureType)) || pictureType == PICTYPE_NONE ||
            pictureType == PICTYPE_UNINITIALIZED) {
            return false;
        }
        OLE_XSIZE_HIMETRIC hmWidth = 0;
        OLE_YSIZE_HIMETRIC hmHeight = 0;
        if (FAILED(picture->get_Width(&hmWidth)) || FAILED(picture->get_Height(&hmHeight))) {
            return false;
        }
        const int dpi = static_cast<int>(win32::SystemDpi());
        width = HimetricToPixels(hmWidth, dpi);
        height = HimetricToPixels(hmHeight, dpi);
    }
    if (width < 1 || height < 1 || !host.InitializeDIB(width, height)) return false;

    if (picture == nullptr) {
        if (info.bmBitsPixel == 32 && Read32BitRows(bitmap, info, host)) {
            SettleBitmapAlpha(host);
            return true;
        }
        {
            win32::ImageDc<ImageHost> target(host);
            win32::MemoryDc source(target.get());
            win32::Selection selected(source.get(), bitmap);
            if (target.get() == nullptr || !selected.ok() ||
                !BitBlt(target.get(), 0, 0, width, height, source.get(), 0, 0, SRCCOPY)) {
                host.DestroyDIB();
                return false;
            }
            GdiFlush();
        }
        MakeOpaque(host);
        return true;
    }

    const bool metafile = pictureType == PICTYPE_METAFILE || pictureType == PICTYPE_ENHMETAFILE;
    if (metafile) {
        std::memset(host.BitsPointer(), 255, static_cast<std::size_t>(width) * height * 4);
    }
    {
        win32::ImageDc<ImageHost> target(host);
        OLE_XSIZE_HIMETRIC hmWidth = 0;
        OLE_YSIZE_HIMETRIC hmHeight = 0;
        picture->get_Width(&hmWidth);
        picture->get_Height(&hmHeight);
        if (target.get() == nullptr ||
            FAILED(picture->Render(target.get(), 0, 0, width, height, 0, hmHeight, hmWidth,
                                   -hmHeight, nullptr))) {
            host.DestroyDIB();
            return false;
        }
        GdiFlush();
    }
    if (!metafile) {
        MakeOpaque(host);
        return true;
    }
    // What the metafile did not draw kept alpha 255: it becomes transparent.
    std::uint8_t* bits = host.BitsPointer();
    const std::size_t count = static_cast<std::size_t>(width) * height;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t* p = bits + 4 * i;
        if (p[3] == 255) {
            std::memset(p, 0, 4);
        } else {
            p[3] = 255;
        }
    }
    host.SetAlpha(true);
    host.SetImageType(pictureType == PICTYPE_METAFILE ? image_type::kMetafile
                                                      : image_type::kEnhMetafile);
    (void)bitCount;
    return true;
} catch (const std::bad_alloc&) {
    host.DestroyDIB();
    return false;
}

} // namespace corvale
