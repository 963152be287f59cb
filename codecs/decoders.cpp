#include "codecs/decoders.h"

#include "codecs/cPNGparser.h"

namespace corvale {

const DecoderChain& BuiltInDecoders() {
    static const DecoderChain chain{
        .png = DecodePngStream,
        .gif = nullptr,
        .ico = nullptr,
        .bmp = nullptr,
    };
    return chain;
}

} // namespace corvale
