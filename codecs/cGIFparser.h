#pragma once
// GIF decoder: the first frame of a GIF, its transparent colour made fully transparent.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "codecs/decoders.h"
#include "codecs/parsed.h"

namespace corvale {

// What the block walk found before the first frame. Positions are from the start of the GIF.
struct GifScan {
    std::size_t tableOffset = 0;    // colour table in force for the first frame (0: none)
    std::uint32_t tableEntries = 0; // its entry count, 2^((packed & 7) + 1); 0 when none
    bool hasGlobalTable = false;
    std::size_t globalTableBytes = 0;
    std::optional<std::size_t> controlOffset; // last graphic control extension before the frame
    bool transparent = false;
    std::uint8_t transparentIndex = 0;
    std::size_t descriptorOffset = 0; // the image separator (44) of the first frame
    std::size_t frameEnd = 0;         // one past the frame's terminating zero-length sub-block
    bool hasLocalTable = false;
};

// The first frame of a rebuilt single-frame GIF: its size, the colour table of the rebuilt file
// and its LZW data (the sub-blocks joined). No picture-sized buffer: decoding hands the indices
// over a row at a time.
struct GifFrame {
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool interlaced = false;
    std::vector<std::uint8_t> table; // 3 bytes (red, green, blue) an entry
    int minCodeSize = 0;
    std::vector<std::uint8_t> data;
    std::size_t decodedPixels = 0; // after decoding, in stream order; the rest had no data
};

// Receives one decoded row of indices: y is the picture row (0 = top, interlacing undone); the
// row where the data end comes shorter than the width.
using GifPictureRowFn = std::function<void(std::size_t y, std::span<const std::uint8_t> row)>;

// Why a GIF gave no picture.
enum class GifError : std::uint8_t {
    None,
    OutsideStream,   // the offset or length reaches past the array
    BadSignature,    // neither "gif89a" nor "gif87a"
    HeaderTruncated, // the logical screen descriptor is cut off
    TableTruncated,  // a colour table claims more than the data hold
    EndBeforeFrame,  // the data end before the first image descriptor
    UnknownBlock,    // a block that is neither an extension nor an image
    FrameTruncated,  // the frame's descriptor or data are cut off, or too short to hold codes
    NoColourTable,   // no colours to show the indices with
    BadDimensions,   // a frame without pixels
    ImageTooLarge,   // more pixels than a decoded picture may have
    BadCode,         // not one index could be decoded
    OutOfMemory,     // the picture could not be made
};

class cGIFparser {
  public:
    // Decodes the first frame of the GIF held in `streamLength` bytes of `stream` from
    // `streamOffset` (0 = up to the end). True when a GIF image was decoded, or when a GIF was
    // recognised and its decoding failed after `host` was initialised (the image is then
    // destroyed); false when the bytes are not a GIF or its blocks cannot be walked. Why no
    // picture was made: Failure().
    bool LoadStream(std::span<const std::uint8_t> stream, ImageHost& host,
                    std::size_t streamOffset = 0, std::size_t streamLength = 0);
    // Why the last LoadStream made no picture (None when it made one).
    GifError Failure() const { return failure_; }

    // The signature test: "gif89a" or "gif87a" without regard to case.
    static bool IsGif(std::span<const std::uint8_t> bytes);
    // Walks the blocks up to the first image descriptor; the reason when they cannot be walked.
    static Parsed<GifScan, GifError> Scan(std::span<const std::uint8_t> gif);
    // The reduced single-frame file: header with the frame's size as the screen size, global
    // table, the graphic control extension, the frame, the trailer and 4 zero bytes. With a
    // transparent index the table in force holds the ramp i, i, i so pixels reveal their index.
    static std::vector<std::uint8_t> Rebuild(std::span<const std::uint8_t> gif,
                                             const GifScan& scan);
    // Reads the frame of a rebuilt file; the reason when its structure is broken.
    static Parsed<GifFrame, GifError> ReadRebuilt(std::span<const std::uint8_t> rebuilt);
    // LZW-decodes a frame row by row into onRow; false when not one index could be decoded
    // because of a bad code.
    static bool DecodeFrame(GifFrame& frame, const GifPictureRowFn& onRow);
    // Both of the above.
    static Parsed<GifFrame, GifError> DecodeRebuilt(std::span<const std::uint8_t> rebuilt,
                                                    const GifPictureRowFn& onRow);

  private:
    GifError failure_ = GifError::None;
};

// Decoder-chain entry: true when the bytes were a GIF and the image was made.
bool DecodeGifStream(ImageHost& dib, std::span<const std::uint8_t> bytes, const IconWish& wish);

} // namespace corvale
