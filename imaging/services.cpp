#include "imaging/services.h"

#include "imaging/c32bppDIB.h"

#include "codecs/cPNGwriter.h"
#include "codecs/zlib_access.h"

#ifdef _WIN32
#include "imaging/win32/cGDIPlus.h"
#include "imaging/win32/message_box.h"
#else
#include <cstdio>
#endif

namespace corvale {
namespace {

bool ZlibReachable() {
    return FindZlib(true).found;
}

#ifndef _WIN32
void ShowOnStandardError(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
}
#endif

} // namespace

const ImagingServices& BuiltInServices() {
    static const ImagingServices services{
#ifdef _WIN32
        .gdiplus = &GdiplusEngineForImages(),
#else
        .gdiplus = nullptr,
#endif
        .encodePng = [](const c32bppDIB& image,
                        std::vector<std::uint8_t>& out) { return EncodePngDefault(image, out); },
        .zlibAvailable = ZlibReachable,
        // The own PNG decoder meets every failure it can have (out of memory included) with a
        // result of its own, so it never leaves an error pending for the loader to show.
        .takePendingPngError = nullptr,
#ifdef _WIN32
        .showMessage = ShowMessageBoxOk,
#else
        .showMessage = ShowOnStandardError,
#endif
    };
    return services;
}

} // namespace corvale
