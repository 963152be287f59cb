#pragma once
// What the codecs need of an image: the decoders make and fill one, the PNG encoder and the
// shared helpers (alpha examination, regions) read one. The image object (ImageHost) is the
// implementation the program uses; tests may use a plain in-memory one.
//
// The picture is 32 bits a pixel, premultiplied BGRA, rows bottom-up without padding: pixel
// (x, y), y = 0 the top row, starts at ((Height - 1 - y) * Width + x) * 4 of BitsPointer.
#include "codecs/image_type.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace corvale {

class ImageHost {
  public:
    // A new picture of width x |height| pixels, all 0 (transparent black), Alpha true,
    // ImageType kBlank, replacing any picture held; false (and no picture) when it cannot be
    // made.
    virtual bool InitializeDIB(std::int32_t width, std::int32_t height) = 0;
    // The same for a caller that writes every pixel before anything reads them (a decoder):
    // the pixels may be left as the memory held them. Images that always clear keep this.
    virtual bool InitializeDIBForOverwrite(std::int32_t width, std::int32_t height) {
        return InitializeDIB(width, height);
    }
    // Drops the picture (Alpha false, ImageType kNone).
    virtual void DestroyDIB() = 0;

    // The pixels; null when there is no picture.
    virtual std::uint8_t* BitsPointer() const = 0;
    virtual std::int32_t Width() const = 0;
    virtual std::int32_t Height() const = 0;
    // Bytes of one row (Width * 4).
    virtual std::int32_t scanWidth() const = 0;
    // Non-zero while a picture is held (on Windows the bitmap handle).
    virtual std::intptr_t Handle() const = 0;
    // true: a memory DC with the picture selected (0 when there is no picture or no GDI);
    // false: deselects it again and returns 0.
    virtual std::intptr_t LoadDIBinDC(bool bLoad) = 0;

    // Whether the picture uses its alpha channel, and what it was made from (image_type.h).
    virtual bool Alpha() const = 0;
    virtual void SetAlpha(bool value) = 0;
    virtual void SetImageType(std::int32_t code) = 0;

    // The GDI+ session token the image decodes with (0: none).
    virtual std::uintptr_t gdiToken() const = 0;
    virtual void gdiToken(std::uintptr_t token) = 0;
    // Decodes a file (fileName non-empty, UTF-8) or bytes through the system's GDI+ decoder
    // when a session runs for this image (token non-zero) and the image may use GDI+; true when
    // the picture was made. Images without GDI+ return false.
    virtual bool DecodeThroughGdiplus(std::string_view fileName,
                                      std::span<const std::uint8_t> bytes,
                                      std::uintptr_t token) = 0;

  protected:
    ImageHost() = default;
    ImageHost(const ImageHost&) = default;
    ImageHost& operator=(const ImageHost&) = default;
    ~ImageHost() = default;
};

} // namespace corvale
