#pragma once
// PNG encoder: writes the picture of an image object as an 8-bit PNG (palette, grey,
// truecolour with or without a transparent key, or truecolour with alpha) to a file or bytes.
#include "codecs/image_host.h"
#include "codecs/zlib_access.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvale {

// The standard text keywords and their flag values.
enum PngTextFlag : std::int32_t {
    kPngTitle = 1,
    kPngAuthor = 2,
    kPngDescription = 4,
    kPngCopyright = 8,
    kPngCreationTime = 16,
    kPngSoftware = 32,
    kPngDisclaimer = 64,
    kPngWarning = 128,
    kPngSource = 256,
    kPngComment = 512,
    kPngCustomText = 1024, // custom keywords present
};

struct PngTime {
    std::uint16_t year = 2000;
    std::uint8_t month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// Named limits of the text chunks.
inline constexpr std::size_t kPngMaxKeyword = 79;
inline constexpr std::size_t kPngMaxText = 32700;
inline constexpr std::size_t kPngCompressTextAbove = 1024;

// A PNG encoder object carrying its caller's settings, attachable to an image object
// (c32bppDIB::SetPngEncoder), whose PNG saving then uses it first.
class PngEncoderObject {
  public:
    virtual ~PngEncoderObject() = default;
    virtual bool Encode(const ImageHost& image, std::vector<std::uint8_t>& out) = 0;
};

class cPNGwriter : public PngEncoderObject {
  public:
    explicit cPNGwriter(std::span<const std::string_view> zlibNames = DefaultZlibNames())
        : zlibNames_(zlibNames) {}

    // Filter setting: 0 default (Paeth for truecolour, none otherwise), 1-5 one filter for
    // every row (None, Sub, Up, Average, Paeth), 6 chosen row by row. Others are taken as 0.
    void SetFilter(std::int32_t setting) { filter_ = setting < 0 || setting > 6 ? 0 : setting; }
    std::int32_t Filter() const { return filter_; }

    // Text for one of the standard keywords (a single PngTextFlag); empty text removes it.
    bool SetText(std::int32_t flag, std::string_view text);
    // Text under a custom keyword (UTF-8; compared case-sensitively); empty text removes it.
    void SetCustomText(std::string_view keyword, std::string_view text);
    // The flags of the text entries present.
    std::int32_t TextFlags() const;

    // 0x00BBGGRR background colour written as bKGD for non-palette images.
    void SetBackground(std::optional<std::uint32_t> color) { background_ = color; }
    void SetTime(std::optional<PngTime> time) { time_ = time; }

    // Writes the image to fileName (created or replaced, deleted again on failure) or, when
    // fileName is empty, into out. False when there is no image or no zlib, or on any failure.
    bool WritePNG(const ImageHost& image, const std::string& fileName,
                  std::vector<std::uint8_t>& out);
    bool Encode(const ImageHost& image, std::vector<std::uint8_t>& out) override {
        return WritePNG(image, {}, out);
    }

    // The colour type chosen by the last successful encode (2, 3, 6 or 0).
    std::uint8_t ChosenColorType() const { return colorType_; }

  private:
    struct TextEntry {
        std::string keyword; // Latin-1
        std::string text;    // Latin-1, cut and with line ends made "\n"
    };

    std::span<const std::string_view> zlibNames_;
    std::int32_t filter_ = 0;
    std::optional<TextEntry> standard_[10];
    std::vector<TextEntry> custom_;
    std::optional<std::uint32_t> background_;
    std::optional<PngTime> time_;
    std::uint8_t colorType_ = 0;
};

// The own encoder with default settings (the image object's PNG saving service).
bool EncodePngDefault(const ImageHost& image, std::vector<std::uint8_t>& out);
// Presence-only zlib probe (the image object's isZlibEnabled service).
bool ZlibPresent();

} // namespace corvale
