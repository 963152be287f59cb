// Icon and cursor decoder on arbitrary bytes, every entry asked for in turn; the directory
// queries must hold for every entry.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "codecs/cICOparser.h"
#include "imaging/c32bppDIB.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvale::cICOparser parser;
    corvale::c32bppDIB dib;
    const std::span<const std::uint8_t> bytes(data, size);
    if (!parser.LoadStream(bytes, 0, 0, nullptr)) return 0;
    for (std::int32_t i = 1; i <= parser.IconCount() && i <= 8; ++i) {
        if (parser.Width(i) < 1 || parser.Width(i) > 256) std::abort();
        parser.ColorCount(i);
        parser.ColorByteOffset(i);
        corvale::cICOparser one;
        one.LoadStream(bytes, parser.Width(i), parser.Height(i), &dib, 0, 0, parser.bitDepth(i));
        if (dib.Handle() != 0 && (dib.Width() < 1 || dib.BitsPointer() == nullptr)) std::abort();
        if ((dib.Handle() != 0) != (one.Failure() == corvale::IcoError::None)) std::abort();
    }
    return 0;
}
