// Image storage as a GDI DIB section, so GDI can draw into the same memory the pixel code uses.
#include "platform/image_storage.h"

#include <windows.h>

#include <new>

namespace corvale {
namespace {

class DibSection final : public ImageStorage {
  public:
    DibSection(HBITMAP bitmap, std::uint8_t* bits) : bitmap_(bitmap), bits_(bits) {}
    ~DibSection() override { DeleteObject(bitmap_); }
    DibSection(const DibSection&) = delete;
    DibSection& operator=(const DibSection&) = delete;
    std::uint8_t* Bits() const override { return bits_; }
    std::intptr_t Handle() const override { return reinterpret_cast<std::intptr_t>(bitmap_); }

  private:
    HBITMAP bitmap_;
    std::uint8_t* bits_;
};

} // namespace

std::unique_ptr<ImageStorage> CreateImageStorage(std::int32_t width, std::int32_t height,
                                                 ImageFill) {
    if (width <= 0 || height <= 0) return nullptr;
    const std::uint64_t bytes = std::uint64_t(width) * std::uint64_t(height) * 4u;
    if (bytes > kMaxImageBytes) return nullptr;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height; // positive: bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = static_cast<DWORD>(bytes);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return nullptr;
    if (!bits) {
        DeleteObject(bitmap);
        return nullptr;
    }
    // A fresh DIB section is zero-filled by the system, whatever the fill asked for.
    std::unique_ptr<ImageStorage> storage(new (std::nothrow)
                                              DibSection(bitmap, static_cast<std::uint8_t*>(bits)));
    if (!storage) DeleteObject(bitmap); // no memory for the holder: the request fails
    return storage;
}

std::intptr_t CreateImageDC() {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    return reinterpret_cast<std::intptr_t>(dc);
}

std::intptr_t SelectImageIntoDC(std::intptr_t dc, std::intptr_t bitmap) {
    if (!dc || !bitmap) return 0;
    GdiFlush(); // drawing queued on the DC reaches the pixels before they change hands
    return reinterpret_cast<std::intptr_t>(
        SelectObject(reinterpret_cast<HDC>(dc), reinterpret_cast<HGDIOBJ>(bitmap)));
}

void DeleteImageDC(std::intptr_t dc) {
    if (dc) DeleteDC(reinterpret_cast<HDC>(dc));
}

} // namespace corvale
