#pragma once
// PNG decoder: recognises a PNG in bytes or a file, walks its chunks, decompresses the image
// data (zlib when present, else the own inflate), undoes filtering and interlacing and writes
// premultiplied BGRA pixels into an image object.
#include "codecs/decoders.h"
#include "codecs/inflate.h"
#include "codecs/zlib_access.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace corvale {

// Decodes a whole PNG through GDI+ (fileName non-empty for files, else bytes); true when the
// image was made. token is the current GDI+ session token or 0.
using PngGdiplusDecoder = bool (*)(ImageHost& image, std::string_view fileName,
                                   std::span<const std::uint8_t> bytes, std::uintptr_t token);

// Which code undoes the filters and converts the rows; every path gives the same pixels.
enum class PngRowPath : std::uint8_t {
    Automatic, // the fastest the processor runs
    Plain,     // portable code only
    Sse2,      // SSE2 unfiltering and premultiplying
    Ssse3,     // with byte shuffles that convert four pixels at a time
    Sse41,     // and blends in the Paeth filter
    Avx2,      // and conversions of eight pixels at a time
};

// True when this build and processor run the path (Automatic and Plain always); a decode asked
// for a path that is not available takes the best available below it.
bool PngRowPathAvailable(PngRowPath path);

// Pictures of at least this many bytes are written with streaming stores, past the cache: a
// picture that does not fit the cache is not read back from it anyway, and the stores then need
// not fetch each line of the image before writing it.
inline constexpr std::uint64_t kPngStreamImageBytes = std::uint64_t{4} << 20;

struct PngDecodeOptions {
    // Library names the zlib probe tries; empty = decode without zlib.
    std::span<const std::string_view> zlibNames = DefaultZlibNames();
    // Tried first when set.
    PngGdiplusDecoder gdiplus = nullptr;
    // Above 0: a picture wider or taller than this (by the header in force when the image data
    // are decoded) is not decoded. Icon entries pass their limit here.
    std::int32_t maxSide = 0;
    PngRowPath rowPath = PngRowPath::Automatic;
    // Pictures of at least this many bytes are written past the cache (the SSE2 paths and up).
    std::uint64_t streamImageBytes = kPngStreamImageBytes;
};

// The options the built-in decoder chain uses: the default zlib names, and GDI+ as the image
// offers it (ImageHost::DecodeThroughGdiplus: only while a session runs for the image).
PngDecodeOptions DefaultPngDecodeOptions();

// Named limits for hostile input.
inline constexpr std::int64_t kPngMaxPixelBits = 0x7FFFFFFF;  // width * 32 * height at most
inline constexpr std::uint64_t kPngMaxFileBytes = 1ull << 30; // file mode reads at most this
// Deflate cannot expand data more than about 1032 to 1: image data promising more are short.
inline constexpr std::uint64_t kDeflateMaxRatio = 1032;

// Why a PNG was not claimed or made no picture.
enum class PngError : std::uint8_t {
    None,
    BadSignature,         // no PNG signature: the data are not claimed
    FileUnreadable,       // the file cannot be opened or read: not claimed
    BadFileSize,          // a file of 56 bytes or fewer, or beyond the read limit: not claimed
    EndBeforeIend,        // the data end before the IEND chunk
    ChunkLength,          // a chunk length above 2^31 - 1
    ChunkPastEnd,         // a chunk runs past the end of the data
    HeaderCrc,            // the header chunk fails its CRC
    HeaderSize,           // the header chunk is shorter than 13 bytes
    BadDimensions,        // width or height below 1
    BadCompressionMethod, // not 0
    BadFilterMethod,      // not 0
    BadColourType,        // not 0, 2, 3, 4 or 6
    BadBitDepth,          // a depth the colour type does not allow
    BadInterlaceMethod,   // not 0 or 1
    ImageTooLarge,        // width * 32 * height beyond 2^31 - 1
    PaletteCrc,           // the palette chunk fails its CRC
    PaletteLength,        // a palette length that is not a multiple of 3
    ImageDataCrc,         // an image-data chunk fails its CRC
    NoHeader,             // no header chunk before IEND
    LargerThanAllowed,    // wider or taller than the caller's maxSide
    NoImageData,          // no image data before IEND
    ImageDataTooShort,    // too few image-data bytes to decompress to the picture's rows
    ImageDataChanged,     // the image data differ between the two walks over them
    OutOfMemory,          // no memory for the picture, the rows or the decompressed data
    Inflate,              // the image data do not decompress (why: LastInflateError())
    RowsMissing,          // the image data decompress to fewer bytes than the rows take
    BadFilterType,        // an unknown filter type in an interlaced image
    PaletteIndex,         // a palette index beyond the palette
};

// The reason in words, as LastError() gives it.
std::string_view PngErrorText(PngError error);

class cPNGparser {
  public:
    explicit cPNGparser(PngDecodeOptions options = DefaultPngDecodeOptions()) : options_(options) {}

    // True when the bytes begin with the PNG signature: the data are then claimed whether or
    // not the decode succeeds; success shows in cHost holding a picture, failure in Failure().
    bool LoadStream(std::span<const std::uint8_t> stream, ImageHost& cHost,
                    std::uintptr_t gdiToken = 0);
    // The same for a file (UTF-8 name); files of 56 bytes or fewer are not PNGs.
    bool LoadFile(const std::string& fileName, ImageHost& cHost, std::uintptr_t gdiToken = 0);

    enum class Inflater { None, Zlib, Own };
    // Which path decompressed the image data of the last decode.
    Inflater LastInflater() const { return inflater_; }
    // Why the last call claimed no data or made no picture (None after success).
    PngError Failure() const { return failure_; }
    // The same in words (empty after success).
    std::string_view LastError() const { return PngErrorText(failure_); }
    // Why the own inflate failed when Failure() is PngError::Inflate.
    InflateError LastInflateError() const { return inflateError_; }

  private:
    bool Decode(std::span<const std::uint8_t> png, ImageHost& cHost);

    PngDecodeOptions options_;
    Inflater inflater_ = Inflater::None;
    PngError failure_ = PngError::None;
    InflateError inflateError_ = InflateError::None;
};

// The entry of the built-in decoder chain.
bool DecodePngStream(ImageHost& dib, std::span<const std::uint8_t> bytes, const IconWish& wish);

// True when the bytes begin with the 8-byte PNG signature.
bool HasPngSignature(std::span<const std::uint8_t> bytes);

} // namespace corvale
