#pragma once
// The image-type codes an image object carries in ImageType: what its picture was made from.
#include <cstdint>

namespace corvale::image_type {

inline constexpr std::int32_t kNone = -1;                    // no picture
inline constexpr std::int32_t kBlank = 0;                    // made empty (InitializeDIB)
inline constexpr std::int32_t kBitmap = 1;                   // bitmap without usable alpha
inline constexpr std::int32_t kMetafile = 2;                 // picture object: metafile
inline constexpr std::int32_t kIconMasked = 3;               // icon with an AND mask
inline constexpr std::int32_t kEnhMetafile = 4;              // picture object: enhanced metafile
inline constexpr std::int32_t kCursorMasked = 5;             // cursor with an AND mask
inline constexpr std::int32_t kAlphaBitmap = 6;              // 32-bit bitmap, straight alpha
inline constexpr std::int32_t kAlphaBitmapPremultiplied = 7; // 32-bit bitmap, premultiplied
inline constexpr std::int32_t kIcon32 = 8;                   // 32-bit icon
inline constexpr std::int32_t kGif = 9;
inline constexpr std::int32_t kPng = 10;
inline constexpr std::int32_t kPngInIcon = 11; // PNG entry of an icon or cursor file
inline constexpr std::int32_t kCursor32 = 12;  // 32-bit cursor

} // namespace corvale::image_type
