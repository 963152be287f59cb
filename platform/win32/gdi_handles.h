#pragma once
// Owners for the GDI and user32 handles: each frees what it holds on every path, none can be
// copied (a copy would free the handle twice), and the ones that own a handle can be moved.
#include <windows.h>

#include <memory>
#include <type_traits>
#include <utility>

namespace corvale::win32 {

// GDI objects (bitmaps, fonts, brushes, pens, regions): DeleteObject.
struct GdiObjectDeleter {
    void operator()(HGDIOBJ h) const {
        if (h) DeleteObject(h);
    }
};
template <typename Handle>
using GdiHandle = std::unique_ptr<std::remove_pointer_t<Handle>, GdiObjectDeleter>;
using GdiObject = GdiHandle<HGDIOBJ>;
using BitmapHandle = GdiHandle<HBITMAP>;
using FontHandle = GdiHandle<HFONT>;
using RegionHandle = GdiHandle<HRGN>;

struct IconDeleter {
    void operator()(HICON h) const {
        if (h) DestroyIcon(h);
    }
};
using IconHandle = std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter>;

// The device context of a window (the screen's for nullptr), released on every path.
class WindowDc {
  public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() { Release(); }
    WindowDc(WindowDc&& other) noexcept
        : window_(other.window_), dc_(std::exchange(other.dc_, nullptr)) {}
    WindowDc& operator=(WindowDc&& other) noexcept {
        if (this != &other) {
            Release();
            window_ = other.window_;
            dc_ = std::exchange(other.dc_, nullptr);
        }
        return *this;
    }
    HDC get() const { return dc_; }

  private:
    void Release() {
        if (dc_) ReleaseDC(window_, std::exchange(dc_, nullptr));
    }
    HWND window_;
    HDC dc_;
};

class ScreenDc : public WindowDc {
  public:
    ScreenDc() : WindowDc(nullptr) {}
};

// A memory device context compatible with another (the screen for nullptr): DeleteDC.
class MemoryDc {
  public:
    explicit MemoryDc(HDC compatibleWith) : dc_(CreateCompatibleDC(compatibleWith)) {}
    ~MemoryDc() { Release(); }
    MemoryDc(MemoryDc&& other) noexcept : dc_(std::exchange(other.dc_, nullptr)) {}
    MemoryDc& operator=(MemoryDc&& other) noexcept {
        if (this != &other) {
            Release();
            dc_ = std::exchange(other.dc_, nullptr);
        }
        return *this;
    }
    HDC get() const { return dc_; }

  private:
    void Release() {
        if (dc_) DeleteDC(std::exchange(dc_, nullptr));
    }
    HDC dc_;
};

// Selects an object into a device context and the previous one back when it goes. Scoped to the
// block that draws: it can be neither copied nor moved.
class Selection {
  public:
    Selection(HDC dc, HGDIOBJ object)
        : dc_(dc), previous_(dc && object ? SelectObject(dc, object) : nullptr) {
        if (previous_ == HGDI_ERROR) previous_ = nullptr;
    }
    ~Selection() {
        if (previous_) SelectObject(dc_, previous_);
    }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    bool ok() const { return previous_ != nullptr; }

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

// An image selected into its own memory DC (LoadDIBinDC(true)) until the owner goes. Scoped like
// Selection.
template <class Image> class ImageDc {
  public:
    explicit ImageDc(Image& image)
        : image_(image), dc_(reinterpret_cast<HDC>(image.LoadDIBinDC(true))) {}
    ~ImageDc() { image_.LoadDIBinDC(false); }
    ImageDc(const ImageDc&) = delete;
    ImageDc& operator=(const ImageDc&) = delete;
    HDC get() const { return dc_; }

  private:
    Image& image_;
    HDC dc_;
};

} // namespace corvale::win32
