#include "codecs/cICOparser.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "codecs/bitmap_rows.h"
#include "codecs/cPNGparser.h"
#include "codecs/image_host.h"
#include "codecs/little_endian_reader.h"
#include "codecs/parsed.h"

namespace corvale {

namespace {

constexpr std::size_t kHeaderBytes = 6;
constexpr std::size_t kEntryBytes = 16;
constexpr std::uint16_t kTypeIcon = 1;
constexpr std::uint16_t kTypeCursor = 2;
constexpr std::uint16_t kPngMarker = 21060; // "DR" of "IHDR", 14 bytes into a PNG
constexpr std::uint16_t kPlanesPng = 255;
constexpr std::uint16_t kPlanesBitmap = 1;
constexpr std::uint32_t kBitmapHeaderBytes = 40;
constexpr std::uint32_t kLargestBitmapHeader = 124;
constexpr std::int64_t kScoreTooDeep = -10000; // entries of more than 32 bits
constexpr std::int64_t kScoreCeiling = 10000;
constexpr std::uint8_t kPngSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
constexpr std::int32_t kLargestEntrySide = 256;

std::int32_t Side(std::uint8_t stored) {
    return stored == 0 ? 256 : stored;
}

std::int64_t SignedAxis(std::int64_t difference) {
    return difference < 0 ? difference * 2 : difference;
}

// Bit count of a PNG entry from its IHDR: 16-bit samples and alpha give 32 bits, RGB 24,
// anything else its bit depth.
std::uint16_t PngBitCount(std::uint8_t depth, std::uint8_t colourType) {
    if (depth == 16) return 32;
    if (colourType == 4 || colourType == 6) return 32;
    if (colourType == 2) return 24;
    return depth;
}

} // namespace

bool cICOparser::LoadStream(std::span<const std::uint8_t> stream, std::int32_t desiredWidth,
                            std::int32_t desiredHeight, ImageHost* host, std::size_t streamOffset,
                            std::size_t streamLength, std::int32_t icoBitDepth,
                            std::uintptr_t gdiToken) try {
    entries_.clear();
    bytes_ = {};
    type_ = 0;
    failure_ = IcoError::None;
    pngFailure_ = PngError::None;
    const auto window = StreamWindow(stream, streamOffset, streamLength);
    if (!window) return Failed(failure_, IcoError::OutsideStream);
    const std::span<const std::uint8_t> data = *window;
    const LittleEndianReader in(data);
    if (!in.Has(0, kHeaderBytes)) return Failed(failure_, IcoError::HeaderTruncated);

    const std::uint16_t reserved = *in.U16(0);
    const std::uint16_t type = *in.U16(2);
    const std::uint16_t count = *in.U16(4);
    if (count == 0 || reserved != 0 || (type != kTypeIcon && type != kTypeCursor))
        return Failed(failure_, IcoError::BadHeader);
    const std::uint64_t directoryEnd = kHeaderBytes + kEntryBytes * std::uint64_t{count};
    if (directoryEnd > data.size()) return Failed(failure_, IcoError::DirectoryTruncated);

    std::vector<IcoEntry> entries(count);
    std::uint64_t imageBytes = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = kHeaderBytes + kEntryBytes * i;
        IcoEntry& e = entries[i];
        e.width = data[at];
        e.height = data[at + 1];
        e.colorCount = data[at + 2];
        e.reserved = data[at + 3];
        e.planes = *in.U16(at + 4);
        e.bitCount = *in.U16(at + 6);
        e.bytesInRes = *in.U32(at + 8);
        e.imageOffset = *in.U32(at + 12);
        imageBytes += e.bytesInRes;
    }
    if (directoryEnd + imageBytes > data.size()) return Failed(failure_, IcoError::ImagesTruncated);

    for (IcoEntry& e : entries) {
        e.planes = kPlanesBitmap;
        // Every entry's bytes must lie inside the data.
        if (!in.Has(e.imageOffset, e.bytesInRes)) return Failed(failure_, IcoError::EntryOutside);
        const auto marker = in.U16(std::size_t{e.imageOffset} + 14);
        if (!marker ||
            std::size_t{e.imageOffset} + 16 > std::size_t{e.imageOffset} + e.bytesInRes) {
            return Failed(failure_, IcoError::EntryOutside);
        }
        if (*marker == kPngMarker) {
            e.planes = kPlanesPng;
            const std::size_t png = e.imageOffset;
            auto ihdr = in.Slice(png, 26);
            if (!ihdr || e.bytesInRes < 26 || std::memcmp(ihdr->data(), kPngSignature, 8) != 0 ||
                std::memcmp(ihdr->data() + 12, "IHDR", 4) != 0) {
                e.bitCount = 0;
                continue;
            }
            const std::uint32_t width = *in.U32BigEndian(png + 16);
            const std::uint32_t height = *in.U32BigEndian(png + 20);
            if (width >= 1 && width <= kLargestEntrySide && height >= 1 &&
                height <= kLargestEntrySide) {
                e.width = static_cast<std::uint8_t>(width & 0xFF);
                e.height = static_cast<std::uint8_t>(height & 0xFF);
            } else {
                e.bitCount = 0;
            }
            if (e.bitCount == 0) e.bitCount = PngBitCount((*ihdr)[24], (*ihdr)[25]);
        } else if (*marker != 0) {
            e.bitCount = *marker;
        } else if (e.bitCount == 0) {
            return Failed(failure_, IcoError::UnknownDepth);
        }
    }

    entries_ = std::move(entries);
    bytes_ = data;
    type_ = type;
    if (host == nullptr) return true;

    if (desiredWidth < 1) desiredWidth = 32;
    if (desiredHeight < 1) desiredHeight = 32;
    const std::int32_t chosen = SelectEntry(desiredWidth, desiredHeight, icoBitDepth);
    host->DestroyDIB();
    if (chosen == 0) return Failed(failure_, IcoError::NoUsableEntry, true);
    const IcoEntry& entry = entries_[static_cast<std::size_t>(chosen - 1)];
    if (entry.bitCount == 0) return Failed(failure_, IcoError::NoUsableEntry, true);
    // PNG entries decode with the image object's own GDI+ token; a caller's token fills in
    // only where the object has none.
    if (host->gdiToken() == 0 && gdiToken != 0) host->gdiToken(gdiToken);
    if (entry.planes == kPlanesPng) {
        const bool result = DecodePngEntry(entry, *host);
        if (host->Handle() == 0) failure_ = IcoError::PngEntryFailed;
        return result;
    }
    if (const IcoError why = DecodeBitmapEntry(entry, *host); why != IcoError::None) {
        host->DestroyDIB();
        failure_ = why;
    }
    return true;
} catch (const std::bad_alloc&) {
    entries_.clear();
    bytes_ = {};
    type_ = 0;
    failure_ = IcoError::OutOfMemory;
    if (host != nullptr) host->DestroyDIB();
    return false;
}

std::int32_t cICOparser::SelectEntry(std::int32_t width, std::int32_t height,
                                     std::int32_t depth) const {
    const std::size_t count = entries_.size();
    if (count == 0) return 0;
    if (count == 1) return entries_[0].bitCount != 0 ? 1 : 0;

    std::vector<std::int64_t> score(count, 0);
    std::vector<bool> scored(count, false);
    for (std::size_t i = 0; i < count; ++i) {
        const IcoEntry& e = entries_[i];
        if (e.bitCount == 0) continue;
        scored[i] = true;
        if (e.bitCount > 32) {
            score[i] = kScoreTooDeep;
        } else {
            score[i] = SignedAxis(std::int64_t{Side(e.width)} - width) +
                       SignedAxis(std::int64_t{Side(e.height)} - height) +
                       std::abs(std::int64_t{depth} - e.bitCount);
        }
        if (score[i] == 0) return static_cast<std::int32_t>(i + 1);
    }

    std::int32_t best = 0;
    std::int64_t bestScore = kScoreCeiling;
    for (std::size_t i = 0; i < count; ++i) {
        if (scored[i] && score[i] > 0 && score[i] < bestScore) {
            bestScore = score[i];
            best = static_cast<std::int32_t>(i + 1);
        }
    }
    if (best != 0) return best;

    // Nothing scored positive: rescore, the later entry winning ties.
    bestScore = kScoreCeiling;
    for (std::size_t i = count; i-- > 0;) {
        if (!scored[i]) continue;
        const std::int64_t rescore =
            std::abs(score[i]) + std::abs(std::int64_t{32} - entries_[i].bitCount);
        if (rescore < bestScore) {
            bestScore = rescore;
            best = static_cast<std::int32_t>(i + 1);
        }
    }
    return best != 0 ? best : 1;
}

std::int32_t cICOparser::Width(std::int32_t entry) const {
    if (entry < 1 || entry > IconCount()) return 0;
    return Side(entries_[static_cast<std::size_t>(entry - 1)].width);
}

std::int32_t cICOparser::Height(std::int32_t entry) const {
    if (entry < 1 || entry > IconCount()) return 0;
    return Side(entries_[static_cast<std::size_t>(entry - 1)].height);
}

std::int32_t cICOparser::bitDepth(std::int32_t entry) const {
    if (entry < 1 || entry > IconCount()) return 0;
    return entries_[static_cast<std::size_t>(entry - 1)].bitCount;
}

bool cICOparser::IsIconPNG(std::int32_t entry) const {
    if (entry < 1 || entry > IconCount()) return false;
    return entries_[static_cast<std::size_t>(entry - 1)].planes == kPlanesPng;
}

std::int64_t cICOparser::ColorCount(std::int32_t entry) const {
    if (entry < 1 || entry > IconCount()) return 0;
    const IcoEntry& e = entries_[static_cast<std::size_t>(entry - 1)];
    if (e.planes == kPlanesPng || e.bitCount == 0 || e.bitCount > 8) return 0;
    const std::int64_t width = Side(e.width);
    const std::int64_t height = Side(e.height);
    const std::int64_t colourBytes = ((width * e.bitCount + 31) / 32) * 4 * height;
    const std::int64_t maskBytes = ((width + 31) / 32) * 4 * height;
    return (std::int64_t{e.bytesInRes} - colourBytes - maskBytes - kBitmapHeaderBytes) / 4;
}

std::int64_t cICOparser::ColorByteOffset(std::int32_t entry) const {
    if (entry < 1 || entry > IconCount()) return 0;
    const IcoEntry& e = entries_[static_cast<std::size_t>(entry - 1)];
    std::int64_t offset = std::int64_t{e.imageOffset} + kBitmapHeaderBytes;
    if (e.bitCount < 16) offset += 4 * (std::int64_t{1} << e.bitCount);
    return offset;
}

std::vector<IconSize> cICOparser::Sizes() const {
    std::vector<IconSize> sizes;
    for (std::int32_t i = 1; i <= IconCount(); ++i) {
        IconSize s;
        s.width = Width(i);
        s.height = Height(i);
        s.bitDepth = bitDepth(i);
        if (s.bitDepth >= 32) {
            s.colors = -1;
        } else if (s.bitDepth == 24) {
            s.colors = 0xFF000000;
        } else if (s.bitDepth == 16) {
            s.colors = 0xFFFF00;
        } else if (IsIconPNG(i)) {
            s.colors = std::int64_t{1} << s.bitDepth;
        } else {
            s.colors = std::clamp<std::int64_t>(ColorCount(i), 0, std::int64_t{1} << s.bitDepth);
        }
        sizes.push_back(s);
    }
    return sizes;
}

bool cICOparser::DecodePngEntry(const IcoEntry& entry, ImageHost& host) {
    const auto bytes = bytes_.subspan(entry.imageOffset, entry.bytesInRes);
    // The PNG decoder's own result: true whenever the entry has the PNG signature, decoded or
    // not (the picture shows whether it was).
    // The size is checked on what is decoded, not on the entry's first header: a later header
    // chunk replaces it.
    PngDecodeOptions options = DefaultPngDecodeOptions();
    options.maxSide = kLargestEntrySide;
    bool result = false;
    if (pngDecoder_ != nullptr) {
        result = pngDecoder_(host, bytes, IconWish{});
    } else {
        cPNGparser png(options);
        result = png.LoadStream(bytes, host, host.gdiToken());
        pngFailure_ = png.Failure();
    }
    if (host.Handle() != 0 &&
        (host.Width() > kLargestEntrySide || host.Height() > kLargestEntrySide))
        host.DestroyDIB();
    if (host.Handle() != 0) host.SetImageType(image_type::kPngInIcon);
    return result;
}

IcoError cICOparser::DecodeBitmapEntry(const IcoEntry& entry, ImageHost& host) const {
    const LittleEndianReader in(bytes_);
    const std::size_t at = entry.imageOffset;
    const auto headerSize = in.U32(at);
    const auto compression = in.U32(at + 16);
    if (!headerSize || !compression || *headerSize < kBitmapHeaderBytes ||
        *headerSize > kLargestBitmapHeader || *headerSize > entry.bytesInRes) {
        return IcoError::BadBitmapHeader;
    }

    DibLayout layout;
    layout.width = Side(entry.width);
    layout.height = Side(entry.height); // colour rows only; the mask follows them
    layout.bitCount = entry.bitCount;
    layout.compression = *compression;
    layout.keepAlpha = true;

    // The entry's bytes only: nothing of another entry is read.
    const LittleEndianReader image(bytes_.subspan(at, entry.bytesInRes));
    std::size_t pixelsAt = 0;
    if (entry.bitCount <= 8) {
        const std::int64_t most = std::int64_t{1} << entry.bitCount;
        // A table shorter than the bit count allows is read as it is; otherwise it is full.
        const std::int64_t counted =
            ColorCount(static_cast<std::int32_t>(&entry - entries_.data()) + 1);
        const std::int64_t colours = counted > 0 && counted < most ? counted : most;
        layout.paletteEntries = static_cast<std::uint32_t>(colours);
        for (std::uint32_t i = 0; i < layout.paletteEntries; ++i) {
            auto colour = image.U32(*headerSize + 4 * std::size_t{i});
            if (!colour) return IcoError::BitmapTruncated;
            layout.palette[i] = *colour | 0xFF000000u;
        }
        // A full table ends where ColorByteOffset says; a short one right after its entries.
        pixelsAt = *headerSize + 4 * static_cast<std::size_t>(colours);
    } else {
        pixelsAt = *headerSize;
        if (layout.compression == kBiBitfields && *headerSize == kBitmapHeaderBytes) {
            for (std::size_t c = 0; c < 3; ++c) {
                auto mask = image.U32(pixelsAt + 4 * c);
                if (!mask) return IcoError::BitmapTruncated;
                layout.masks[c] = *mask;
            }
            pixelsAt += 12;
        } else if (layout.compression == kBiBitfields) {
            // A longer header holds the masks at bytes 40 to 51; they must lie in the entry.
            for (std::size_t c = 0; c < 3; ++c) {
                auto mask = image.U32(kBitmapHeaderBytes + 4 * c);
                if (!mask) return IcoError::BitmapTruncated;
                layout.masks[c] = *mask;
            }
        }
    }
    if (pixelsAt > image.size()) return IcoError::BitmapTruncated;
    const auto pixels = image.bytes().subspan(pixelsAt);

    if (!host.InitializeDIB(layout.width, layout.height) || host.BitsPointer() == nullptr) {
        return IcoError::OutOfMemory;
    }
    if (!DecodeDibPixels(layout, pixels, host.BitsPointer())) return IcoError::BadBitmapData;

    const std::size_t width = static_cast<std::size_t>(layout.width);
    const std::size_t height = static_cast<std::size_t>(layout.height);
    std::uint8_t* bits = host.BitsPointer();
    const bool cursor = IsCursor();

    if (entry.bitCount == 32) {
        // The entry's own alpha channel, premultiplied here.
        const std::size_t rowBytes = width * 4;
        if (layout.compression != kBiRgb && layout.compression != kBiBitfields)
            return IcoError::BadBitmapData;
        for (std::size_t r = 0; r < height; ++r) {
            const std::uint8_t* src = pixels.data() + r * rowBytes;
            std::uint8_t* dst = bits + r * rowBytes;
            for (std::size_t x = 0; x < width; ++x) {
                const std::uint32_t a = src[4 * x + 3];
                std::uint8_t* p = dst + 4 * x;
                if (a == 0) {
                    std::memset(p, 0, 4);
                } else if (a == 255) {
                    p[3] = 255;
                } else {
                    p[0] = static_cast<std::uint8_t>(p[0] * a / 255);
                    p[1] = static_cast<std::uint8_t>(p[1] * a / 255);
                    p[2] = static_cast<std::uint8_t>(p[2] * a / 255);
                    p[3] = static_cast<std::uint8_t>(a);
                }
            }
        }
        host.SetAlpha(true);
        host.SetImageType(cursor ? image_type::kCursor32 : image_type::kIcon32);
        return IcoError::None;
    }

    // Below 32 bits: the 1-bit mask that ends the entry, rows bottom-up, high bit first.
    const std::size_t maskRow = ((width + 31) / 32) * 4;
    const std::size_t maskBytes = maskRow * height;
    if (maskBytes > entry.bytesInRes) return IcoError::BitmapTruncated;
    const auto mask = image.Slice(entry.bytesInRes - maskBytes, maskBytes);
    if (!mask) return IcoError::BitmapTruncated;
    host.SetAlpha(ApplyAndMask(bits, width, height, mask->data(), maskRow));
    host.SetImageType(cursor ? image_type::kCursorMasked : image_type::kIconMasked);
    return IcoError::None;
}

bool DecodeIcoStream(ImageHost& dib, std::span<const std::uint8_t> bytes, const IconWish& wish) {
    cICOparser parser;
    return parser.LoadStream(bytes, wish.cx, wish.cy, &dib, 0, 0, wish.bitDepth, dib.gdiToken()) &&
           dib.Handle() != 0;
}

std::vector<IconSize> IconFileSizes(std::span<const std::uint8_t> bytes) try {
    cICOparser parser;
    if (!parser.LoadStream(bytes, 0, 0, nullptr)) return {};
    return parser.Sizes();
} catch (const std::bad_alloc&) {
    return {};
}

} // namespace corvale
