#pragma once
// Services the image object reaches through function pointers: parts that live in other
// libraries or that only some systems have (GDI+, the PNG encoder, the zlib probe, the message
// box). A null entry means "not available"; BuiltInServices() in services.cpp lists the ones
// this build has.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvale {

class c32bppDIB;

// One drawing of an image (c32bppDIB::Render): onto destinationDC (Windows) or into
// destHostDIB. Sizes of 0 mean the image's; negative sizes mirror. Opacity in percent; grayScale
// -1 = colour; lightAdjustment in percent (-100..100); angle in degrees. Build it with designated
// initializers: image.Render({.destinationDC = dc, .destX = 4, .opacity = 50}).
struct RenderPlan {
    std::intptr_t destinationDC = 0;
    std::int32_t destX = 0, destY = 0, destWidth = 0, destHeight = 0;
    std::int32_t srcX = 0, srcY = 0, srcWidth = 0, srcHeight = 0;
    std::int32_t opacity = 100;
    bool blend = true;
    bool setHalfTone = true;
    c32bppDIB* destHostDIB = nullptr;
    std::int32_t grayScale = -1;
    float lightAdjustment = 0.0f;
    float angle = 0.0f;
    bool centerOnDestXY = false;
};

// One draw through GDI+: a plan after Render's normalisation (rectangles clipped to the image,
// opacity the effective percentage 1..100, angle 0 = no rotation, not centred).
struct GdiplusDrawArgs : RenderPlan {
    bool highQuality = false;
    std::uintptr_t token = 0;
};

struct GdiplusEngine {
    // True when a GDI+ session can be started on this system.
    bool (*startsOnThisSystem)() = nullptr;
    bool (*draw)(const c32bppDIB& image, const GdiplusDrawArgs& args) = nullptr;
    // Decodes a file (fileName non-empty) or bytes into image; true when an image was made.
    bool (*decode)(c32bppDIB& image, std::string_view fileName, std::span<const std::uint8_t> bytes,
                   std::uintptr_t token) = nullptr;
    bool (*savePng)(const c32bppDIB& image, std::vector<std::uint8_t>& out) = nullptr;
};

struct ImagingServices {
    const GdiplusEngine* gdiplus = nullptr;
    // The own PNG encoder with default settings.
    bool (*encodePng)(const c32bppDIB& image, std::vector<std::uint8_t>& out) = nullptr;
    // True when zlib can be reached (probe only, nothing stays loaded).
    bool (*zlibAvailable)() = nullptr;
    // Takes (and clears) the description of an error the PNG decoder left pending; empty = none.
    std::string (*takePendingPngError)() = nullptr;
    // Shows a message to the user with an OK button only.
    void (*showMessage)(const std::string& text) = nullptr;
};

const ImagingServices& BuiltInServices();

} // namespace corvale
