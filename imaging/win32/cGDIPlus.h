#pragma once
// The GDI+ calls the image core needs, through gdiplus.dll's flat interface loaded at run time:
// sessions (start-up probe, start, stop), decoding files and bytes into an image object,
// drawing an image object with opacity, scaling, mirroring, rotation, gray scale and lightness,
// and saving it as PNG. Every operation that finds no session token starts a temporary one.
#include "imaging/services.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace corvale {

class c32bppDIB;

class cGDIPlus {
  public:
    // True when gdiplus.dll exports GdiplusStartup and a version-1 session starts. With keepToken
    // the session stays open and its token goes to gdiToken (the caller stops it); otherwise it
    // is shut down at once and gdiToken is 0.
    static bool isGDIplusOk(std::uintptr_t& gdiToken, bool keepToken);
    // The probe above, made once a process.
    static bool AvailableOnThisSystem();

    // A version-1 session: its token, or 0 on failure.
    static std::uintptr_t StartSession();
    // Shuts a non-zero token's session down.
    static void StopSession(std::uintptr_t token);
    // Sessions started through this wrapper and not yet stopped (temporary ones included).
    static int OpenSessions();
    // Sessions started so far in this process.
    static int SessionsStarted();

    // Decodes a file (fileName not empty, UTF-8) or bytes into image: a new image of the
    // picture's size, Alpha from the alpha check, ImageType 10. False when GDI+ cannot read it.
    static bool LoadPicture(c32bppDIB& image, std::string_view fileName,
                            std::span<const std::uint8_t> bytes, std::uintptr_t token);
    // Encodes the image as PNG with the "image/png" encoder: into the file when fileName is not
    // empty, else into out.
    static bool SaveToPNG(std::string_view fileName, std::vector<std::uint8_t>& out,
                          const c32bppDIB& image, std::uintptr_t token);
    // Draws the image (rectangles already normalised by Render; negative destination sizes
    // mirror) onto args.destinationDC.
    static bool Draw(const c32bppDIB& image, const GdiplusDrawArgs& args);
};

// The engine the image objects use (services.h).
const GdiplusEngine& GdiplusEngineForImages();

} // namespace corvale
