#include "codecs/cGIFparser.h"

#include <array>
#include <cstring>
#include <new>

#include "codecs/gif_lzw.h"
#include "codecs/image_host.h"
#include "codecs/little_endian_reader.h"

namespace corvale {

namespace {

constexpr std::size_t kHeaderBytes = 13;     // signature, version, logical screen descriptor
constexpr std::size_t kDescriptorBytes = 10; // image separator and image descriptor
constexpr std::size_t kControlBytes = 8;     // graphic control extension, whole
constexpr std::uint8_t kExtensionIntroducer = 33;
constexpr std::uint8_t kApplicationLabel = 255;
constexpr std::uint8_t kGraphicControlLabel = 249;
constexpr std::uint8_t kImageSeparator = 44;
constexpr std::uint8_t kTrailer = 59;
constexpr std::size_t kMinFrameDataBytes = 3; // code size byte, one sub-block, terminator
// Largest picture made from hostile input: 64 Mpixels (256 MiB of pixels).
constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 26;

std::size_t TableBytes(std::uint8_t packed) {
    return 3u * (2u << (packed & 7));
}

// Skips chained data sub-blocks from `pos` up to and including the zero-length one.
std::optional<std::size_t> SkipSubBlocks(const LittleEndianReader& in, std::size_t pos) {
    for (;;) {
        auto length = in.U8(pos);
        if (!length) return std::nullopt;
        ++pos;
        if (*length == 0) return pos;
        pos += *length;
    }
}

// The interlaced row order: start row and step of each of the four passes.
constexpr std::array<std::int32_t, 4> kInterlaceStart = {0, 4, 2, 1};
constexpr std::array<std::int32_t, 4> kInterlaceStep = {8, 8, 4, 2};

} // namespace

bool cGIFparser::IsGif(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 6) return false;
    char sig[6];
    for (int i = 0; i < 6; ++i) {
        const char c = static_cast<char>(bytes[i]);
        sig[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return std::memcmp(sig, "gif89a", 6) == 0 || std::memcmp(sig, "gif87a", 6) == 0;
}

Parsed<GifScan, GifError> cGIFparser::Scan(std::span<const std::uint8_t> gif) {
    if (!IsGif(gif)) return GifError::BadSignature;
    const LittleEndianReader in(gif);
    auto screenFlags = in.U8(10);
    if (!screenFlags || !in.Has(0, kHeaderBytes)) return GifError::HeaderTruncated;

    GifScan scan;
    std::size_t pos = kHeaderBytes;
    if (*screenFlags & 0x80) {
        scan.hasGlobalTable = true;
        scan.globalTableBytes = TableBytes(*screenFlags);
        scan.tableOffset = kHeaderBytes;
        scan.tableEntries = static_cast<std::uint32_t>(scan.globalTableBytes / 3);
        pos += scan.globalTableBytes;
        if (!in.Has(0, pos)) return GifError::TableTruncated;
    }

    for (;;) {
        auto block = in.U8(pos);
        if (!block) return GifError::EndBeforeFrame;
        if (*block == 0) {
            ++pos;
        } else if (*block == kExtensionIntroducer) {
            auto label = in.U8(pos + 1);
            if (!label) return GifError::EndBeforeFrame;
            if (*label == kApplicationLabel) {
                auto first = in.U8(pos + 2);
                if (!first) return GifError::EndBeforeFrame;
                auto end = SkipSubBlocks(in, pos + 3 + *first);
                if (!end) return GifError::EndBeforeFrame;
                pos = *end;
            } else if (*label == kGraphicControlLabel) {
                if (!in.Has(pos, kControlBytes)) return GifError::EndBeforeFrame;
                scan.controlOffset = pos;
                scan.transparent = (gif[pos + 3] & 1) != 0;
                scan.transparentIndex = scan.transparent ? gif[pos + 6] : 0;
                pos += kControlBytes;
            } else {
                auto end = SkipSubBlocks(in, pos + 2);
                if (!end) return GifError::EndBeforeFrame;
                pos = *end;
            }
        } else if (*block == kImageSeparator) {
            break;
        } else {
            return GifError::UnknownBlock;
        }
    }

    scan.descriptorOffset = pos;
    if (!in.Has(pos, kDescriptorBytes)) return GifError::FrameTruncated;
    const std::uint8_t packed = gif[pos + 9];
    pos += kDescriptorBytes;
    if (packed & 0x80) {
        scan.hasLocalTable = true;
        scan.tableOffset = pos;
        scan.tableEntries = static_cast<std::uint32_t>(TableBytes(packed) / 3);
        pos += TableBytes(packed);
    }
    const std::size_t dataStart = pos;
    if (!in.U8(pos)) return GifError::FrameTruncated; // LZW minimum code size
    auto end = SkipSubBlocks(in, pos + 1);
    if (!end || *end - dataStart < kMinFrameDataBytes) return GifError::FrameTruncated;
    scan.frameEnd = *end;
    return scan;
}

std::vector<std::uint8_t> cGIFparser::Rebuild(std::span<const std::uint8_t> gif,
                                              const GifScan& scan) {
    std::vector<std::uint8_t> out;
    out.reserve(kHeaderBytes + scan.globalTableBytes + kControlBytes +
                (scan.frameEnd - scan.descriptorOffset) + 5);
    out.insert(out.end(), gif.begin(), gif.begin() + kHeaderBytes + scan.globalTableBytes);
    if (scan.controlOffset) {
        const auto control = gif.subspan(*scan.controlOffset, kControlBytes);
        out.insert(out.end(), control.begin(), control.end());
    }
    const std::size_t frameAt = out.size();
    out.insert(out.end(), gif.begin() + scan.descriptorOffset, gif.begin() + scan.frameEnd);
    out.push_back(kTrailer);
    out.insert(out.end(), 4, 0);

    // The frame's width and height become the logical screen size.
    std::memcpy(out.data() + 6, out.data() + frameAt + 5, 4);

    if (scan.transparent && scan.tableEntries > 0) {
        const std::size_t table = scan.hasLocalTable
                                      ? frameAt + (scan.tableOffset - scan.descriptorOffset)
                                      : kHeaderBytes;
        for (std::uint32_t i = 0; i < scan.tableEntries; ++i) {
            std::memset(out.data() + table + 3 * i, static_cast<int>(i), 3);
        }
    }
    return out;
}

Parsed<GifFrame, GifError> cGIFparser::ReadRebuilt(std::span<const std::uint8_t> rebuilt) {
    const LittleEndianReader in(rebuilt);
    auto screenFlags = in.U8(10);
    if (!IsGif(rebuilt)) return GifError::BadSignature;
    if (!screenFlags || !in.Has(0, kHeaderBytes)) return GifError::HeaderTruncated;
    std::size_t pos = kHeaderBytes;
    std::optional<std::span<const std::uint8_t>> table;
    if (*screenFlags & 0x80) {
        table = in.Slice(pos, TableBytes(*screenFlags));
        if (!table) return GifError::TableTruncated;
        pos += table->size();
    }
    if (in.U8(pos) == kExtensionIntroducer && in.U8(pos + 1) == kGraphicControlLabel) {
        pos += kControlBytes;
    }
    if (in.U8(pos) != kImageSeparator || !in.Has(pos, kDescriptorBytes))
        return GifError::FrameTruncated;

    GifFrame frame;
    frame.width = *in.U16(pos + 5);
    frame.height = *in.U16(pos + 7);
    const std::uint8_t packed = rebuilt[pos + 9];
    frame.interlaced = (packed & 0x40) != 0;
    pos += kDescriptorBytes;
    if (packed & 0x80) {
        table = in.Slice(pos, TableBytes(packed));
        if (!table) return GifError::TableTruncated;
        pos += table->size();
    }
    if (!table) return GifError::NoColourTable;
    frame.table.assign(table->begin(), table->end());

    const std::uint64_t pixels = static_cast<std::uint64_t>(frame.width) * frame.height;
    if (pixels == 0) return GifError::BadDimensions;
    if (pixels > kMaxPixels) return GifError::ImageTooLarge;

    auto minCodeSize = in.U8(pos);
    if (!minCodeSize) return GifError::FrameTruncated;
    frame.minCodeSize = *minCodeSize;
    ++pos;
    // Join the data sub-blocks (no more bytes than the file holds).
    for (;;) {
        auto length = in.U8(pos);
        if (!length) return GifError::FrameTruncated;
        ++pos;
        if (*length == 0) break;
        auto block = in.Slice(pos, *length);
        if (!block) return GifError::FrameTruncated;
        frame.data.insert(frame.data.end(), block->begin(), block->end());
        pos += *length;
    }
    return frame;
}

bool cGIFparser::DecodeFrame(GifFrame& frame, const GifPictureRowFn& onRow) {
    const auto width = static_cast<std::size_t>(frame.width);
    const auto height = static_cast<std::size_t>(frame.height);
    // Stream row r of an interlaced frame: the passes' rows one after the other.
    auto pictureRow = [&](std::size_t r) {
        if (!frame.interlaced) return r;
        for (std::size_t pass = 0; pass < kInterlaceStart.size(); ++pass) {
            const auto start = static_cast<std::size_t>(kInterlaceStart[pass]);
            const auto step = static_cast<std::size_t>(kInterlaceStep[pass]);
            const std::size_t rows = start < height ? (height - start + step - 1) / step : 0;
            if (r < rows) return start + r * step;
            r -= rows;
        }
        return height; // not reached: there are `height` stream rows
    };
    const LzwOutcome lzw = DecodeGifLzwRows(
        frame.data, frame.minCodeSize, width, height,
        [&](std::size_t r, std::span<const std::uint8_t> row) { onRow(pictureRow(r), row); });
    frame.decodedPixels = lzw.produced;
    return !(lzw.produced == 0 && lzw.codeError);
}

Parsed<GifFrame, GifError> cGIFparser::DecodeRebuilt(std::span<const std::uint8_t> rebuilt,
                                                     const GifPictureRowFn& onRow) {
    auto frame = ReadRebuilt(rebuilt);
    if (!frame) return frame;
    if (!DecodeFrame(*frame, onRow)) return GifError::BadCode;
    return frame;
}

bool cGIFparser::LoadStream(std::span<const std::uint8_t> stream, ImageHost& host,
                            std::size_t streamOffset, std::size_t streamLength) {
    failure_ = GifError::None;
    const auto window = StreamWindow(stream, streamOffset, streamLength);
    if (!window) return Failed(failure_, GifError::OutsideStream);
    const std::span<const std::uint8_t> gif = *window;

    const auto scan = Scan(gif);
    if (!scan) return Failed(failure_, scan.error());
    try {
        const std::vector<std::uint8_t> rebuilt = Rebuild(gif, *scan);
        auto frame = ReadRebuilt(rebuilt);
        if (!frame) return Failed(failure_, frame.error());

        if (!host.InitializeDIB(frame->width, frame->height) || host.BitsPointer() == nullptr) {
            host.DestroyDIB();
            return Failed(failure_, GifError::OutOfMemory, true);
        }

        // One premultiplied BGRA value per index. With transparency the rebuilt table is the
        // ramp: the decoded colour names the index, whose colour comes from the table in the
        // input.
        std::array<std::uint32_t, 256> lut{};
        const std::uint32_t entries = static_cast<std::uint32_t>(frame->table.size() / 3);
        auto opaque = [](std::uint8_t r, std::uint8_t g, std::uint8_t b) {
            return static_cast<std::uint32_t>(b) | (static_cast<std::uint32_t>(g) << 8) |
                   (static_cast<std::uint32_t>(r) << 16) | 0xFF000000u;
        };
        for (std::uint32_t k = 0; k < 256; ++k) {
            if (scan->transparent && k == scan->transparentIndex) {
                lut[k] = 0;
            } else if (k >= entries) {
                lut[k] = opaque(0, 0, 0);
            } else if (scan->transparent) {
                const std::uint8_t index = frame->table[3 * k];
                const std::uint8_t* colour = gif.data() + scan->tableOffset + 3 * index;
                lut[k] = opaque(colour[0], colour[1], colour[2]);
            } else {
                const std::uint8_t* colour = frame->table.data() + 3 * k;
                lut[k] = opaque(colour[0], colour[1], colour[2]);
            }
        }

        // Each row of indices goes straight into its picture row. Pixels the data do not
        // reach keep the transparent black of a new picture.
        const auto width = static_cast<std::size_t>(frame->width);
        const auto height = static_cast<std::size_t>(frame->height);
        std::uint8_t* bits = host.BitsPointer();
        const bool decoded =
            DecodeFrame(*frame, [&](std::size_t y, std::span<const std::uint8_t> row) {
                if (y >= height) return;
                std::uint8_t* dst = bits + (height - 1 - y) * width * 4;
                for (std::size_t x = 0; x < row.size(); ++x) {
                    const std::uint32_t v = lut[row[x]];
                    std::memcpy(dst + 4 * x, &v, 4);
                }
            });
        if (!decoded) { // a GIF all the same: no picture, but the data are claimed
            host.DestroyDIB();
            return Failed(failure_, GifError::BadCode, true);
        }
        const bool complete = frame->decodedPixels >= width * height;
        // A frame cut short shows through where its data end, so it uses its alpha channel.
        host.SetAlpha(scan->transparent || !complete);
        host.SetImageType(image_type::kGif);
        return true;
    } catch (const std::bad_alloc&) {
        host.DestroyDIB();
        return Failed(failure_, GifError::OutOfMemory, true);
    }
}

bool DecodeGifStream(ImageHost& dib, std::span<const std::uint8_t> bytes, const IconWish&) {
    cGIFparser parser;
    return parser.LoadStream(bytes, dib) && dib.Handle() != 0;
}

} // namespace corvale
