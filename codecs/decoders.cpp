#include "codecs/decoders.h"

#include "codecs/cBMPparser.h"
#include "codecs/cGIFparser.h"
#include "codecs/cICOparser.h"
#include "codecs/cPNGparser.h"

namespace corvale {

const DecoderChain& BuiltInDecoders() {
    static const DecoderChain chain{
        .png = DecodePngStream,
        .gif = DecodeGifStream,
        .ico = DecodeIcoStream,
        .bmp = DecodeBmpStream,
    };
    return chain;
}

} // namespace corvale
