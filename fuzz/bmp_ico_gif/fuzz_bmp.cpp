// Bitmap decoder on arbitrary bytes: no fault, an image only with sane sizes, and a named
// reason exactly when there is none.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "codecs/cBMPparser.h"
#include "imaging/c32bppDIB.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvale::c32bppDIB dib;
    corvale::cBMPparser parser;
    const bool made = parser.LoadStream(std::span(data, size), dib);
    if (made != (parser.Failure() == corvale::BmpError::None)) std::abort();
    if (made) {
        if (dib.Width() < 1 || dib.Height() < 1 || dib.BitsPointer() == nullptr) std::abort();
    }
    return 0;
}
