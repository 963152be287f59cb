// GIF decoder on arbitrary bytes: the block walk, the rebuilt file and the LZW decoder; a named
// reason exactly when no picture is made.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "codecs/cGIFparser.h"
#include "imaging/c32bppDIB.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvale::c32bppDIB dib;
    corvale::cGIFparser parser;
    const bool made = parser.LoadStream(std::span(data, size), dib) && dib.Handle() != 0;
    if (made != (parser.Failure() == corvale::GifError::None)) std::abort();
    if (made) {
        if (dib.Width() < 1 || dib.Height() < 1 || dib.ImageType() != corvale::image_type::kGif)
            std::abort();
    }
    return 0;
}
