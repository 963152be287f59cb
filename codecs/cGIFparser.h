#pragma once
// GIF decoder: the first frame of a GIF, its transparent colour made fully transparent.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "codecs/decoders.h"

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

// The first frame decoded from a rebuilt single-frame GIF: one colour index per pixel, rows top
// to bottom in picture order, and the colour table of the rebuilt file.
struct GifFrame {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> indices; // width * height
    std::size_t decodedPixels = 0;     // in stream order; the rest had no data
    bool interlaced = false;
    std::vector<std::uint8_t> table; // 3 bytes (red, green, blue) an entry
};

class cGIFparser {
  public:
    // Decodes the first frame of the GIF held in `streamLength` bytes of `stream` from
    // `streamOffset` (0 = up to the end). True when a GIF image was decoded, or when a GIF was
    // recognised and its decoding failed after `host` was initialised (the image is then
    // destroyed); false when the bytes are not a GIF or its blocks cannot be walked.
    bool LoadStream(std::span<const std::uint8_t> stream, ImageHost& host,
                    std::size_t streamOffset = 0, std::size_t streamLength = 0);

    // The signature test: "gif89a" or "gif87a" without regard to case.
    static bool IsGif(std::span<const std::uint8_t> bytes);
    // Walks the blocks up to the first image descriptor; nothing when they cannot be walked.
    static std::optional<GifScan> Scan(std::span<const std::uint8_t> gif);
    // The reduced single-frame file: header with the frame's size as the screen size, global
    // table, the graphic control extension, the frame, the trailer and 4 zero bytes. With a
    // transparent index the table in force holds the ramp i, i, i so pixels reveal their index.
    static std::vector<std::uint8_t> Rebuild(std::span<const std::uint8_t> gif,
                                             const GifScan& scan);
    // LZW-decodes the frame of a rebuilt file; nothing when its structure is broken.
    static std::optional<GifFrame> DecodeRebuilt(std::span<const std::uint8_t> rebuilt);
};

// Decoder-chain entry: true when the bytes were a GIF and the image was made.
bool DecodeGifStream(ImageHost& dib, std::span<const std::uint8_t> bytes, const IconWish& wish);

} // namespace corvale
