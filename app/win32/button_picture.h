#pragma once
// The picture of a graphical push button: a bitmap from the design data whose mask colour
// becomes transparent, made into an icon (the button draws its own greyed form when disabled).
#include "platform/win32/gdi_handles.h"

#include <cstdint>
#include <optional>
#include <span>

namespace corvale::win32 {

// bytes: a picture the system's picture loader reads (BMP, ICO, GIF, JPEG). maskColour: the
// colour (0x00BBGGRR) that is drawn transparent, none for an opaque picture. nullptr when the
// bytes are not a picture.
IconHandle IconFromPicture(std::span<const std::uint8_t> bytes,
                           std::optional<std::uint32_t> maskColour);

} // namespace corvale::win32
