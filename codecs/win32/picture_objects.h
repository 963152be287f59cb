#pragma once
// Platform picture objects (OLE) made from bytes or from GDI handles.
#include <cstdint>
#include <span>

#include <ole2.h>
#include <olectl.h>
#include <windows.h>

namespace corvale {

// Owns one reference to a picture object.
class PicturePtr {
  public:
    PicturePtr() = default;
    explicit PicturePtr(IPicture* picture) : p_(picture) {}
    ~PicturePtr() { reset(); }
    PicturePtr(PicturePtr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    PicturePtr& operator=(PicturePtr&& o) noexcept {
        if (this != &o) {
            reset();
            p_ = o.p_;
            o.p_ = nullptr;
        }
        return *this;
    }
    PicturePtr(const PicturePtr&) = delete;
    PicturePtr& operator=(const PicturePtr&) = delete;
    IPicture* get() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    void reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }

  private:
    IPicture* p_ = nullptr;
};

// A picture object decoded by the platform from the bytes; empty on any failure.
PicturePtr LoadPictureFromBytes(std::span<const std::uint8_t> bytes);

// Kinds for PictureFromHandle (the picture types of the platform).
enum class PictureKind {
    Bitmap = PICTYPE_BITMAP,
    Metafile = PICTYPE_METAFILE,
    Icon = PICTYPE_ICON,
    EnhMetafile = PICTYPE_ENHMETAFILE
};

// A picture object that owns the handle (it is freed with the picture); empty on failure, in
// which case the handle is still the caller's.
PicturePtr PictureFromHandle(std::intptr_t handle, PictureKind kind);

} // namespace corvale
