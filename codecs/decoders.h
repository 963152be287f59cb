#pragma once
// The chain of built-in stream decoders that the image object's loader tries in a fixed order.
#include "codecs/image_host.h"

#include <cstdint>
#include <span>

namespace corvale {

// The icon entry a caller wants when the data is an icon or cursor file (0 = let the decoder
// choose); other decoders ignore it.
struct IconWish {
    std::int32_t cx = 0;
    std::int32_t cy = 0;
    std::int32_t bitDepth = 32;
};

// True only when the decoder recognised its format and made the picture in image.
using StreamDecoder = bool (*)(ImageHost& image, std::span<const std::uint8_t> bytes,
                               const IconWish& wish);

// Tried in member order; a null entry is skipped.
struct DecoderChain {
    StreamDecoder png = nullptr;
    StreamDecoder gif = nullptr;
    StreamDecoder ico = nullptr;
    StreamDecoder bmp = nullptr;
};

const DecoderChain& BuiltInDecoders();

} // namespace corvale
