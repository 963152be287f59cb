#pragma once
// Memory of one 32-bpp bottom-up image. On Windows it is a DIB section (so GDI can draw into it
// and it can be selected into a memory DC); elsewhere it is a plain block of memory.
#include <cstdint>
#include <memory>

namespace corvale {

class ImageStorage {
  public:
    virtual ~ImageStorage() = default;
    // First byte of the pixel buffer (width * height * 4 bytes, bottom-up rows).
    virtual std::uint8_t* Bits() const = 0;
    // The DIB section on Windows; a non-zero token elsewhere.
    virtual std::intptr_t Handle() const = 0;
};

// Largest pixel buffer an image may have; larger requests are refused before allocating.
inline constexpr std::uint64_t kMaxImageBytes = 0x7FFFFFFFull; // a 32-bit signed byte count

// What a new buffer holds: zeros, or whatever the memory held (for a caller that writes every
// pixel first; a system whose buffers always come zero-filled gives zeros for both).
enum class ImageFill : std::uint8_t { kZeros, kOverwritten };

// A buffer of width x height pixels, or null when the size is not positive, the byte count is
// beyond kMaxImageBytes, or the system refuses the memory.
std::unique_ptr<ImageStorage> CreateImageStorage(std::int32_t width, std::int32_t height,
                                                 ImageFill fill = ImageFill::kZeros);

// Memory device contexts for an image (Windows); on other systems these report 0 / do nothing.
std::intptr_t CreateImageDC(); // compatible with the screen
std::intptr_t SelectImageIntoDC(std::intptr_t dc, std::intptr_t bitmap); // previous object
void DeleteImageDC(std::intptr_t dc);

} // namespace corvale
