// GIF decoder on arbitrary bytes: the block walk, the rebuilt file and the LZW decoder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "codecs/cGIFparser.h"
#include "imaging/c32bppDIB.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvale::c32bppDIB dib;
    if (corvale::DecodeGifStream(dib, std::span(data, size), {})) {
        if (dib.Width() < 1 || dib.Height() < 1 || dib.ImageType() != image_type::kGif)
            std::abort();
    }
    return 0;
}
