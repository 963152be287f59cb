#include "codecs/decoders.h"

namespace corvale {

const DecoderChain& BuiltInDecoders() {
    static const DecoderChain chain{
        .png = nullptr,
        .gif = nullptr,
        .ico = nullptr,
        .bmp = nullptr,
    };
    return chain;
}

} // namespace corvale
