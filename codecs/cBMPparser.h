#pragma once
// Windows bitmap decoder: BMP files in a byte array, and on Windows picture objects and bitmap
// handles, into premultiplied 32-bpp image objects.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "codecs/bitmap_rows.h"
#include "codecs/decoders.h"
#include "codecs/parsed.h"

#ifdef _WIN32
struct IPicture;
#endif

namespace corvale {

// What the file and information headers of a BMP file say.
struct BmpHeader {
    std::uint32_t pixelOffset = 0; // from the start of the file
    std::uint32_t infoSize = 0;    // 12 (OS/2 1.x), 16..64 (OS/2 2.x), 40, 52, 56, 108, 124
    DibLayout layout;              // with palette and masks read
};

// Why a bitmap was refused.
enum class BmpError : std::uint8_t {
    None,
    OutsideStream,     // the offset or length reaches past the array
    BadSignature,      // no "BM"
    HeaderTruncated,   // a header field, mask or the pixel offset lies past the end
    BadHeaderSize,     // an information header of no known size
    BadDimensions,     // width below 1, height 0 or -2^31
    ImageTooLarge,     // more pixels than a decoded picture may have
    BadBitCount,       // a bit count that does not exist or that the compression does not allow
    BadCompression,    // unknown codes, embedded JPEG or PNG, OS/2 Huffman or 24-bit runs
    TopDownRunLength,  // run-length data stored top-down
    PixelsMissing,     // the pixel offset lies past the end or rows are missing
    RunLengthTooShort, // run-length data far too short for the pixels they claim
    OutOfMemory,       // the picture could not be made
};

class cBMPparser {
  public:
    // Decodes the bitmap held in `streamLength` bytes of `stream` from `streamOffset`
    // (0 = up to the end). Uncompressed 32-bit bitmaps keep their alpha channel (examined and
    // premultiplied where needed); every other bitmap becomes opaque. False when the bytes are
    // not a bitmap this decoder reads (why: Failure()); the image object is then left as it
    // was, unless making the picture failed.
    bool LoadStream(std::span<const std::uint8_t> stream, ImageHost& host,
                    std::size_t streamOffset = 0, std::size_t streamLength = 0);
    // Why the last LoadStream returned false (None after success).
    BmpError Failure() const { return failure_; }

    // Reads the headers, colour table and masks; the reason when they are not a bitmap's.
    static Parsed<BmpHeader, BmpError> ParseHeader(std::span<const std::uint8_t> file);

#ifdef _WIN32
    // Converts a picture object, or when `picture` is null the bitmap `bitmap` (HBITMAP).
    // `bitCount` is the source's colour depth when known (0 otherwise).
    bool ConvertstdPicTo32bpp(IPicture* picture, std::intptr_t bitmap, ImageHost& host,
                              std::int32_t bitCount = 0);
#endif

  private:
    BmpError failure_ = BmpError::None;
};

// Decoder-chain entry: true when the bytes were a bitmap and the image was made.
bool DecodeBmpStream(ImageHost& dib, std::span<const std::uint8_t> bytes, const IconWish& wish);

} // namespace corvale
