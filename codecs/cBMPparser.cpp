#include "codecs/cBMPparser.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "codecs/image_host.h"
#include "codecs/little_endian_reader.h"
#include "codecs/modParsers.h"

namespace corvale {

namespace {

constexpr std::uint16_t kSignatureBM = 19778; // "BM"
constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::uint32_t kCoreHeaderBytes = 12;   // OS/2 1.x: 16-bit sizes, 3-byte colours
constexpr std::uint32_t kInfoHeaderBytes = 40;   // and the V2, V3, V4 and V5 headers after it
constexpr std::uint32_t kOs2HeaderMinBytes = 16; // OS/2 2.x: 16 to 64 bytes
constexpr std::uint32_t kOs2HeaderMaxBytes = 64;
constexpr std::uint32_t kV5HeaderBytes = 124;
constexpr std::uint32_t kMasksInHeaderBytes = 52; // headers this long carry the masks
// Largest picture made from hostile input: 64 Mpixels (256 MiB of pixels).
constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 26;
// Run-length data can claim any size in a few bytes. Beyond a floor, a picture may have at most
// this many pixels per byte of data (runs give at most 255 pixels per 2 bytes).
constexpr std::uint64_t kRleFloorPixels = std::uint64_t{1} << 20;
constexpr std::uint64_t kMaxRlePixelsPerByte = 4096;

bool IsWindowsInfoSize(std::uint32_t size) {
    return size == 40 || size == 52 || size == 56 || size == 108 || size == kV5HeaderBytes;
}

// Reads the colour table (entrySize 3 or 4 bytes, blue-green-red first) that starts at `at`.
void ReadPalette(const LittleEndianReader& in, std::size_t at, std::size_t entrySize,
                 std::uint32_t wanted, DibLayout& layout) {
    layout.paletteEntries = 0;
    for (std::uint32_t i = 0; i < wanted; ++i) {
        auto entry = in.Slice(at + static_cast<std::size_t>(i) * entrySize, 3);
        if (!entry) break;
        layout.palette[i] = static_cast<std::uint32_t>((*entry)[0]) |
                            (static_cast<std::uint32_t>((*entry)[1]) << 8) |
                            (static_cast<std::uint32_t>((*entry)[2]) << 16) | 0xFF000000u;
        layout.paletteEntries = i + 1;
    }
}

} // namespace

Parsed<BmpHeader, BmpError> cBMPparser::ParseHeader(std::span<const std::uint8_t> file) {
    const LittleEndianReader in(file);
    if (in.U16(0) != kSignatureBM) return BmpError::BadSignature;
    auto pixelOffset = in.U32(10);
    auto infoSize = in.U32(14);
    if (!pixelOffset || !infoSize) return BmpError::HeaderTruncated;

    BmpHeader header;
    header.pixelOffset = *pixelOffset;
    header.infoSize = *infoSize;
    DibLayout& layout = header.layout;
    std::int64_t height = 0;
    std::size_t paletteEntryBytes = 4;
    std::uint32_t colorsUsed = 0;
    std::size_t paletteAt = kFileHeaderBytes + *infoSize;

    if (*infoSize == kCoreHeaderBytes) {
        auto w = in.U16(18), h = in.U16(20), bits = in.U16(24);
        if (!w || !h || !bits) return BmpError::HeaderTruncated;
        layout.width = *w;
        height = *h;
        layout.bitCount = *bits;
        paletteEntryBytes = 3;
    } else if (IsWindowsInfoSize(*infoSize) ||
               (*infoSize >= kOs2HeaderMinBytes && *infoSize <= kOs2HeaderMaxBytes)) {
        auto w = in.I32(18), h = in.I32(22);
        auto bits = in.U16(28);
        if (!w || !h || !bits) return BmpError::HeaderTruncated;
        layout.width = *w;
        height = *h;
        layout.bitCount = *bits;
        if (*infoSize >= 20) {
            auto compression = in.U32(30);
            if (!compression) return BmpError::HeaderTruncated;
            layout.compression = *compression;
        }
        if (*infoSize >= 36) {
            auto used = in.U32(46);
            if (!used) return BmpError::HeaderTruncated;
            colorsUsed = *used;
        }
        const bool windows = IsWindowsInfoSize(*infoSize);
        if (!windows && layout.compression != kBiRgb && layout.compression != kBiRle8 &&
            layout.compression != kBiRle4) {
            return BmpError::BadCompression; // OS/2 Huffman and 24-bit run lengths
        }
        if (windows &&
            (layout.compression == kBiBitfields || layout.compression == kBiAlphaBitfields)) {
            // The masks sit in the longer headers, else right after the 40-byte one.
            std::size_t masksAt = kFileHeaderBytes + kInfoHeaderBytes;
            if (*infoSize < kMasksInHeaderBytes) {
                paletteAt += layout.compression == kBiAlphaBitfields ? 16 : 12;
            }
            for (std::size_t c = 0; c < 3; ++c) {
                auto mask = in.U32(masksAt + 4 * c);
                if (!mask) return BmpError::HeaderTruncated;
                layout.masks[c] = *mask;
            }
        }
    } else {
        return BmpError::BadHeaderSize;
    }

    if (layout.width < 1 || height == 0 || height == INT32_MIN) return BmpError::BadDimensions;
    layout.topDown = height < 0;
    layout.height = static_cast<std::int32_t>(height < 0 ? -height : height);
    if (static_cast<std::uint64_t>(layout.width) * static_cast<std::uint64_t>(layout.height) >
        kMaxPixels) {
        return BmpError::ImageTooLarge;
    }
    if (!IsDibBitCount(layout.bitCount)) return BmpError::BadBitCount;
    switch (layout.compression) {
    case kBiRgb:
        break;
    case kBiRle8:
    case kBiRle4:
        // Run-length data are stored bottom-up only, at their own bit count.
        if (layout.topDown) return BmpError::TopDownRunLength;
        if (layout.bitCount != (layout.compression == kBiRle8 ? 8 : 4))
            return BmpError::BadBitCount;
        break;
    case kBiBitfields:
    case kBiAlphaBitfields:
        if (layout.bitCount != 16 && layout.bitCount != 32) return BmpError::BadBitCount;
        break;
    default:
        return BmpError::BadCompression; // embedded JPEG or PNG, unknown codes
    }

    if (layout.bitCount <= 8) {
        const std::uint32_t most = 1u << layout.bitCount;
        const std::uint32_t wanted = colorsUsed == 0 ? most : std::min(colorsUsed, most);
        ReadPalette(in, paletteAt, paletteEntryBytes, wanted, layout);
    }
    return header;
}

bool cBMPparser::LoadStream(std::span<const std::uint8_t> stream, ImageHost& host,
                            std::size_t streamOffset, std::size_t streamLength) try {
    failure_ = BmpError::None;
    const auto window = StreamWindow(stream, streamOffset, streamLength);
    if (!window) return Failed(failure_, BmpError::OutsideStream);
    const std::span<const std::uint8_t> file = *window;

    const auto header = ParseHeader(file);
    if (!header) return Failed(failure_, header.error());
    const DibLayout& layout = header->layout;

    // Are all rows of uncompressed pixels present?
    std::optional<std::span<const std::uint8_t>> pixels;
    if (header->pixelOffset <= file.size()) pixels = file.subspan(header->pixelOffset);
    const auto pixelBytes = DibPixelBytes(layout);
    const bool complete = pixels && pixelBytes && *pixelBytes <= pixels->size();

    if (complete && layout.bitCount == 32 && layout.compression == kBiRgb &&
        header->infoSize >= kInfoHeaderBytes) {
        // Direct path: the rows as they are, then the alpha channel examined and fixed.
        if (host.InitializeDIB(layout.width, layout.height) && host.BitsPointer() != nullptr) {
            DibLayout raw = layout;
            raw.keepAlpha = true;
            DecodeDibPixels(raw, *pixels, host.BitsPointer());
            SettleBitmapAlpha(host);
            return true;
        }
    }

    // Every other bitmap: opaque pixels. Run-length data may end anywhere inside the file.
    const bool rle = layout.compression == kBiRle8 || layout.compression == kBiRle4;
    if (!pixels || (!rle && !complete)) return Failed(failure_, BmpError::PixelsMissing);
    if (rle) {
        const std::uint64_t count = static_cast<std::uint64_t>(layout.width) * layout.height;
        if (count > kRleFloorPixels && count / kMaxRlePixelsPerByte > pixels->size())
            return Failed(failure_, BmpError::RunLengthTooShort);
    }
    if (!host.InitializeDIB(layout.width, layout.height) || host.BitsPointer() == nullptr) {
        host.DestroyDIB();
        return Failed(failure_, BmpError::OutOfMemory);
    }
    if (!DecodeDibPixels(layout, *pixels, host.BitsPointer())) {
        host.DestroyDIB();
        return Failed(failure_, BmpError::PixelsMissing);
    }
    host.SetAlpha(false);
    host.SetImageType(image_type::kBitmap);
    return true;
} catch (const std::bad_alloc&) {
    host.DestroyDIB();
    return Failed(failure_, BmpError::OutOfMemory);
}

bool DecodeBmpStream(ImageHost& dib, std::span<const std::uint8_t> bytes, const IconWish&) {
    cBMPparser parser;
    return parser.LoadStream(bytes, dib) && dib.Handle() != 0;
}

} // namespace corvale
