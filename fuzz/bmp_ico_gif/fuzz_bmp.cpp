// Bitmap decoder on arbitrary bytes: no fault, and an image only with sane sizes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "codecs/cBMPparser.h"
#include "imaging/c32bppDIB.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvale::c32bppDIB dib;
    if (corvale::DecodeBmpStream(dib, std::span(data, size), {})) {
        if (dib.Width() < 1 || dib.Height() < 1 || dib.BitsPointer() == nullptr) std::abort();
    }
    return 0;
}
