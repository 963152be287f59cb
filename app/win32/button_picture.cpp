#include "app/win32/button_picture.h"

#include "platform/win32/com.h"

#include <ocidl.h>
#include <olectl.h>

#include <vector>

namespace corvale::win32 {
namespace {

// Button glyphs are small; anything larger is refused rather than converted.
constexpr int kMaxPictureSide = 256;
constexpr std::size_t kMaxPictureBytes = 1u << 20;

struct GlobalFree_ {
    void operator()(HGLOBAL h) const {
        if (h) GlobalFree(h);
    }
};

// The picture as a bitmap the caller owns, through the system's picture loader.
BitmapHandle LoadBitmapFromBytes(std::span<const std::uint8_t> bytes) {
    if (bytes.empty() || bytes.size() > kMaxPictureBytes) return {};
    std::unique_ptr<void, GlobalFree_> memory(GlobalAlloc(GMEM_MOVEABLE, bytes.size()));
    if (!memory) return {};
    void* p = GlobalLock(memory.get());
    if (!p) return {};
    std::copy(bytes.begin(), bytes.end(), static_cast<std::uint8_t*>(p));
    GlobalUnlock(memory.get());
    ComPtr<IStream> stream;
    // The stream takes the memory over.
    if (FAILED(CreateStreamOnHGlobal(memory.get(), TRUE, stream.Put()))) return {};
    memory.release();
    ComPtr<IPicture> picture;
    if (FAILED(OleLoadPicture(stream.Get(), static_cast<LONG>(bytes.size()), FALSE, IID_IPicture,
                              reinterpret_cast<void**>(picture.Put()))) ||
        !picture)
        return {};
    SHORT type = PICTYPE_NONE;
    OLE_HANDLE handle = 0;
    if (FAILED(picture->get_Type(&type)) || type != PICTYPE_BITMAP ||
        FAILED(picture->get_Handle(&handle)))
        return {};
    // The picture object owns its bitmap: copy it.
    return BitmapHandle(static_cast<HBITMAP>(CopyImage(
        reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(handle)), IMAGE_BITMAP, 0, 0, 0)));
}

} // namespace

IconHandle IconFromPicture(std::span<const std::uint8_t> bytes,
                           std::optional<std::uint32_t> maskColour) {
    BitmapHandle source = LoadBitmapFromBytes(bytes);
    if (!source) return {};
    BITMAP bm{};
    if (!GetObjectW(source.get(), sizeof bm, &bm) || bm.bmWidth <= 0 || bm.bmHeight <= 0 ||
        bm.bmWidth > kMaxPictureSide || bm.bmHeight > kMaxPictureSide)
        return {};
    const int w = bm.bmWidth, h = bm.bmHeight;

    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h; // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    {
        ScreenDc dc;
        if (!GetDIBits(dc.get(), source.get(), 0, static_cast<UINT>(h), pixels.data(), &bi,
                       DIB_RGB_COLORS))
            return {};
    }

    // Straight (not premultiplied) alpha, as icons store it. The mask colour is given as
    // 0x00BBGGRR; DIB pixels are 0x00RRGGBB.
    std::optional<std::uint32_t> maskPixel;
    if (maskColour) {
        const std::uint32_t c = *maskColour;
        maskPixel = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
    }
    // The monochrome AND mask: a set bit is a transparent pixel. Rows are word-aligned.
    const std::size_t maskStride = static_cast<std::size_t>((w + 15) / 16 * 2);
    std::vector<std::uint8_t> maskBits(maskStride * static_cast<std::size_t>(h), 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            std::uint32_t& px = pixels[static_cast<std::size_t>(y) * w + x];
            const std::uint32_t rgb = px & 0x00FFFFFF;
            if (maskPixel && rgb == *maskPixel) {
                px = 0;
                maskBits[y * maskStride + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            } else {
                px = 0xFF000000u | rgb;
            }
        }
    }

    void* bits = nullptr;
    BitmapHandle colour;
    {
        ScreenDc dc;
        colour.reset(CreateDIBSection(dc.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    }
    if (!colour || !bits) return {};
    std::copy(pixels.begin(), pixels.end(), static_cast<std::uint32_t*>(bits));
    GdiFlush();
    BitmapHandle mask(CreateBitmap(w, h, 1, 1, maskBits.data()));
    if (!mask) return {};
    ICONINFO ii{};
    ii.fIcon = TRUE;
    ii.hbmColor = colour.get();
    ii.hbmMask = mask.get();
    return IconHandle(CreateIconIndirect(&ii));
}

} // namespace corvale::win32
