#pragma once
// Owners for the GDI handles the bitmap and icon conversions use.
#include <windows.h>

namespace corvale {

class ScreenDC {
  public:
    ScreenDC() : dc_(GetDC(nullptr)) {}
    ~ScreenDC() {
        if (dc_) ReleaseDC(nullptr, dc_);
    }
    ScreenDC(const ScreenDC&) = delete;
    ScreenDC& operator=(const ScreenDC&) = delete;
    HDC get() const { return dc_; }

  private:
    HDC dc_;
};

class MemoryDC {
  public:
    explicit MemoryDC(HDC compatibleWith) : dc_(CreateCompatibleDC(compatibleWith)) {}
    ~MemoryDC() {
        if (dc_) DeleteDC(dc_);
    }
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;
    HDC get() const { return dc_; }

  private:
    HDC dc_;
};

// Selects an object into a DC and selects the previous one back.
class Selection {
  public:
    Selection(HDC dc, HGDIOBJ object)
        : dc_(dc), previous_(dc && object ? SelectObject(dc, object) : nullptr) {}
    ~Selection() {
        if (previous_) SelectObject(dc_, previous_);
    }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    bool ok() const { return previous_ != nullptr && previous_ != HGDI_ERROR; }

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

// Deletes a GDI object it owns.
class GdiObject {
  public:
    explicit GdiObject(HGDIOBJ object = nullptr) : object_(object) {}
    ~GdiObject() {
        if (object_) DeleteObject(object_);
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    HGDIOBJ get() const { return object_; }

  private:
    HGDIOBJ object_;
};

// Calls LoadDIBinDC(false) on the image object when it goes.
template <class Image> class ImageDC {
  public:
    explicit ImageDC(Image& image)
        : image_(image), dc_(reinterpret_cast<HDC>(image.LoadDIBinDC(true))) {}
    ~ImageDC() { image_.LoadDIBinDC(false); }
    ImageDC(const ImageDC&) = delete;
    ImageDC& operator=(const ImageDC&) = delete;
    HDC get() const { return dc_; }

  private:
    Image& image_;
    HDC dc_;
};

} // namespace corvale
