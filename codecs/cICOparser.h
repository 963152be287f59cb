#pragma once
// Icon and cursor decoder: validates the directory, picks the entry that best fits a wanted size
// and colour depth, and decodes it (PNG entries through the PNG decoder) into an image object.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "codecs/decoders.h"

namespace corvale {

// One directory entry as this decoder keeps it: `planes` is 255 for a PNG image and 1 for a
// bitmap; `bitCount` is the colour depth in use (0: the entry cannot be used).
struct IcoEntry {
    std::uint8_t width = 0;  // 0 means 256
    std::uint8_t height = 0; // 0 means 256
    std::uint8_t colorCount = 0;
    std::uint8_t reserved = 0;
    std::uint16_t planes = 0;
    std::uint16_t bitCount = 0;
    std::uint32_t bytesInRes = 0;
    std::uint32_t imageOffset = 0;
};

// One entry of an icon or cursor file as listed for the user: the colour value is -1 for
// 32 bits (true colour with alpha), 0xFF000000 for 24 bits, 0xFFFF00 for 16 bits, else the
// number of colours.
struct IconSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bitDepth = 0;
    std::int64_t colors = 0;
    friend bool operator==(const IconSize&, const IconSize&) = default;
};

// Why an icon or cursor was refused, or gave no picture.
enum class IcoError : std::uint8_t {
    None,
    OutsideStream,      // the offset or length reaches past the array
    HeaderTruncated,    // fewer than the 6 header bytes
    BadHeader,          // reserved field not 0, neither icon nor cursor, or no entries
    DirectoryTruncated, // the directory runs past the end
    ImagesTruncated,    // the entries' sizes add up to more than the data hold
    EntryOutside,       // an entry's bytes lie outside the data or are too short to recognise
    UnknownDepth,       // neither the bitmap nor the directory gives an entry's bit count
    NoUsableEntry,      // no entry can be chosen, or the chosen one has no bit count
    PngEntryFailed,     // the PNG decoder made no picture of the chosen PNG entry
    BadBitmapHeader,    // a bitmap entry's header is shorter than 40 bytes or too long
    BitmapTruncated,    // its colour table, masks, pixels or mask lie past the entry's end
    BadBitmapData,      // its pixels cannot be decoded at its depth and compression
    OutOfMemory,        // the picture could not be made
};

class cICOparser {
  public:
    // `pngDecoder` decodes PNG entries; null uses the own PNG decoder (cPNGparser), whose result
    // (true for data with the PNG signature) becomes the result of LoadStream.
    explicit cICOparser(StreamDecoder pngDecoder = nullptr) : pngDecoder_(pngDecoder) {}

    // Reads the icon or cursor held in `streamLength` bytes of `stream` from `streamOffset`
    // (0 = up to the end). True when they are a valid icon or cursor directory. With a host, the
    // entry that best fits desiredWidth x desiredHeight (below 1: 32) at icoBitDepth bits is
    // decoded into it; a valid file whose chosen entry cannot be decoded leaves no image.
    bool LoadStream(std::span<const std::uint8_t> stream, std::int32_t desiredWidth,
                    std::int32_t desiredHeight, ImageHost* host, std::size_t streamOffset = 0,
                    std::size_t streamLength = 0, std::int32_t icoBitDepth = 32,
                    std::uintptr_t gdiToken = 0);
    // Why the last LoadStream refused the data or made no picture (None otherwise).
    IcoError Failure() const { return failure_; }

    // Directory queries after LoadStream; entries are numbered from 1 (0 for a bad number).
    std::int32_t IconCount() const { return static_cast<std::int32_t>(entries_.size()); }
    std::int32_t Width(std::int32_t entry) const;
    std::int32_t Height(std::int32_t entry) const;
    std::int32_t bitDepth(std::int32_t entry) const;
    bool IsIconPNG(std::int32_t entry) const;
    // Colour-table entries of a bitmap entry of 8 bits or fewer, from the entry's size.
    std::int64_t ColorCount(std::int32_t entry) const;
    // Position of the colour pixels of a bitmap entry (from the start of the data).
    std::int64_t ColorByteOffset(std::int32_t entry) const;
    bool IsCursor() const { return type_ == 2; }
    const std::vector<IcoEntry>& Entries() const { return entries_; }

    // The entry (from 1) that best fits; 0 when there is none.
    std::int32_t SelectEntry(std::int32_t width, std::int32_t height, std::int32_t depth) const;

    // The sizes and depths of all entries, in directory order.
    std::vector<IconSize> Sizes() const;

#ifdef _WIN32
    // Converts an icon or cursor handle (HICON).
    bool ConvertstdPicTo32bpp(std::intptr_t iconHandle, ImageHost& host);
#endif

  private:
    IcoError DecodeBitmapEntry(const IcoEntry& entry, ImageHost& host) const;
    bool DecodePngEntry(const IcoEntry& entry, ImageHost& host) const;

    StreamDecoder pngDecoder_ = nullptr;
    std::span<const std::uint8_t> bytes_;
    std::uint16_t type_ = 0;
    std::vector<IcoEntry> entries_;
    IcoError failure_ = IcoError::None;
};

// Decoder-chain entry: true when the bytes were an icon or cursor and the image was made.
bool DecodeIcoStream(ImageHost& dib, std::span<const std::uint8_t> bytes, const IconWish& wish);

// The entries of an icon or cursor file; empty when the bytes are not one.
std::vector<IconSize> IconFileSizes(std::span<const std::uint8_t> bytes);

} // namespace corvale
