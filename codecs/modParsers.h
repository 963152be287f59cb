#pragma once
// Small routines shared by the decoders, the encoder and the image object: row arithmetic,
// byte order, the alpha examination, file access, the gray-scale weights and region building.
#include "codecs/image_host.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace corvale {

// One rectangle of a region, image coordinates, right and bottom exclusive.
struct RegionRect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    friend bool operator==(const RegionRect&, const RegionRect&) = default;
};

// Bytes of one bitmap row of count pixels at bitsPerPixel, padded to 4 bytes:
// ((count * bits + 31) / 32) * 4. Negative inputs give 0; never overflows for 32-bit inputs.
std::int64_t RowBytes(std::int64_t count, std::int32_t bitsPerPixel);

// The value with its four bytes in reverse order.
constexpr std::uint32_t SwapLong(std::uint32_t value) {
    return (value >> 24) | ((value >> 8) & 0x0000FF00u) | ((value << 8) & 0x00FF0000u) |
           (value << 24);
}

// address + offset, computed as unsigned (wraps, never traps).
constexpr std::uintptr_t AddToAddress(std::uintptr_t address, std::intptr_t offset) {
    return address + static_cast<std::uintptr_t>(offset);
}

// Examines a 32-bpp premultiplied-or-straight BGRA buffer. imageType kNone skips the
// examination (no alpha). Otherwise: no usable alpha gives kBitmap (fix: every alpha byte
// becomes 255); already premultiplied alpha gives kAlphaBitmapPremultiplied; straight alpha
// gives kAlphaBitmap (fix: the pixels are premultiplied). hasAlpha is true for the last two.
void ExamineAlpha(std::span<std::uint8_t> pixels, bool fix, bool& hasAlpha,
                  std::int32_t& imageType);
// The same over an image object's buffer; nothing when it has no image.
void ExamineAlpha(ImageHost& image, bool fix, bool& hasAlpha, std::int32_t& imageType);
// A freshly read 32-bit bitmap: examines and fixes its alpha channel, then records the verdict
// in the image (Alpha, and ImageType kBitmap, kAlphaBitmap or kAlphaBitmapPremultiplied).
void SettleBitmapAlpha(ImageHost& image);

struct GrayWeightSet {
    float red = 1.0f, green = 1.0f, blue = 1.0f;
};
// The weights of a gray-scale formula: -1 gives 1, 1, 1; unknown numbers give formula 0.
GrayWeightSet GrayWeights(std::int32_t formula);

// True when the library loads and exports the name (the library is freed again).
bool HasExport(std::string_view library, std::string_view exportName);

// An open file; closed when the object goes.
class FileHandle {
  public:
    FileHandle() = default;
    explicit FileHandle(std::intptr_t native) : native_(native) {}
    ~FileHandle() { Close(); }
    FileHandle(FileHandle&& other) noexcept : native_(other.native_) { other.native_ = -1; }
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    bool valid() const { return native_ != -1; }
    std::intptr_t get() const { return native_; } // -1 when not open
    void Close();
    std::optional<std::uint64_t> Size() const;
    // Reads from the current position to the end.
    bool ReadAll(std::vector<std::uint8_t>& out);
    bool Write(std::span<const std::uint8_t> bytes);

  private:
    // One read into `into` (0 bytes at the end of the file) or one write of at most `bytes`
    // (at least 1 byte); nothing on failure. The platform's part of ReadAll and Write.
    std::optional<std::size_t> ReadSome(std::span<std::uint8_t> into);
    std::optional<std::size_t> WriteSome(std::span<const std::uint8_t> bytes);

    std::intptr_t native_ = -1;
};

// Opens a file (UTF-8 name). forRead: read access, shared reading, must exist. Otherwise read
// and write access, no sharing, created or replaced, keeping an existing file's attributes.
// wide: use the wide-character functions (Windows); false lets the routine choose.
FileHandle OpenFileForWrite(std::string_view fileName, bool forRead, bool wide);
// Resets the file's attributes and deletes it.
bool DeleteFileSafe(std::string_view fileName, bool wide);

// The visible pixels (alpha not 0) of an image as rectangles in image coordinates (top row 0):
// style 0 one bounding box, 1 one rectangle per row, 2 one per run of visible pixels. An image
// whose Alpha flag is false gives the whole image. Empty: no image, no visible pixel or an
// unknown style.
std::vector<RegionRect> RegionFromAlpha(const ImageHost& image, std::int32_t style);

#ifdef _WIN32
// The same as a GDI region (HRGN) the caller owns; 0 when there is none. The rectangles go to
// ExtCreateRegion in one block, or are combined one by one when that fails.
std::intptr_t RegionHandleFromAlpha(const ImageHost& image, std::int32_t style,
                                    std::int32_t xOffset = 0, std::int32_t yOffset = 0);
// A region from rectangles (same rules).
std::intptr_t RegionHandleFromRects(std::span<const RegionRect> rects);
#endif

} // namespace corvale
