#include "codecs/cPNGparser.h"

#include "codecs/image_host.h"
#include "codecs/inflate.h"
#include "codecs/little_endian_reader.h"
#include "codecs/modParsers.h"
#include "codecs/parsed.h"
#include "codecs/png_rows.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace corvale {
namespace {

constexpr std::uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

// The image's own GDI+ route (ImageHost::DecodeThroughGdiplus).
bool ThroughTheImagesGdiplus(ImageHost& image, std::string_view fileName,
                             std::span<const std::uint8_t> bytes, std::uintptr_t token) {
    return image.DecodeThroughGdiplus(fileName, bytes, token);
}

// The depths the PNG format allows for each colour type; other pairs are refused because the
// pixel layout they imply is undefined.
bool ValidDepthFor(std::uint8_t colorType, std::uint8_t depth) {
    switch (colorType) {
    case kGrey:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case kPalette:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case kTruecolor:
    case kGreyAlpha:
    case kTruecolorAlpha:
        return depth == 8 || depth == 16;
    default:
        return false;
    }
}

bool KnownColourType(std::uint8_t colorType) {
    return colorType == kGrey || colorType == kTruecolor || colorType == kPalette ||
           colorType == kGreyAlpha || colorType == kTruecolorAlpha;
}

std::uint64_t ExpectedSize(const Header& h) {
    const unsigned bpp = BitsPerPixel(h);
    const auto w = static_cast<std::uint32_t>(h.width), hh = static_cast<std::uint32_t>(h.height);
    if (h.interlace == 0) return std::uint64_t{hh} * (RowLength(w, bpp) + 1);
    std::uint64_t total = 0;
    for (int p = 0; p < 7; ++p) {
        const PassSize s = SizeOfPass(kPasses[p], w, hh);
        if (s.cols != 0 && s.rows != 0)
            total += std::uint64_t{s.rows} * (RowLength(s.cols, bpp) + 1);
    }
    return total;
}

// ---- Chunks ---------------------------------------------------------------------------------

// One chunk: 4-byte big-endian body length, 4-byte type, body, 4-byte big-endian CRC-32 over
// type and body.
struct Chunk {
    std::span<const std::uint8_t> typeAndBody;
    std::span<const std::uint8_t> body;
    std::uint32_t storedCrc = 0;
    std::size_t next = 0; // where the next chunk starts

    bool Is(const char (&type)[5]) const { return std::memcmp(typeAndBody.data(), type, 4) == 0; }
};

// Reads the chunk that starts at `pos`; the reason when it does not fit in the data.
Parsed<Chunk, PngError> ReadChunk(const LittleEndianReader& in, std::size_t pos) {
    const auto length = in.U32BigEndian(pos);
    if (!length) return PngError::EndBeforeIend;
    if (*length > 0x7FFFFFFFu) return PngError::ChunkLength;
    const auto typeAndBody = in.Slice(pos + 4, std::size_t{*length} + 4);
    if (!typeAndBody) return PngError::ChunkPastEnd;
    const auto crc = in.U32BigEndian(pos + 8 + *length); // inside the data once the body is
    if (!crc) return PngError::ChunkPastEnd;
    return Chunk{*typeAndBody, typeAndBody->subspan(4), *crc, pos + 12 + *length};
}

// What the chunks say, gathered by the walk.
struct DecodeState {
    Header header;
    std::vector<std::uint8_t> palette; // RGB triples
    bool havePalette = false;
    std::vector<std::uint8_t> trns; // body of the transparency chunk (palette: padded to 256)
    bool haveTrns = false;
    std::int32_t key = -1;
    std::span<const std::uint8_t> firstIdat; // the first image-data chunk's body
    std::uint64_t idatChunks = 0;
    std::uint64_t idatBytes = 0;
};

// Walks the chunks from the signature to IEND and keeps what the decode needs. CRCs are checked
// only with zlib (its crc32); a stored CRC of 0 is never checked.
class ChunkWalker {
  public:
    ChunkWalker(const ZlibLibrary* zlib, DecodeState& st) : zlib_(zlib), st_(st) {}

    PngError Walk(std::span<const std::uint8_t> png) {
        const LittleEndianReader in(png);
        for (std::size_t pos = sizeof kSignature;;) {
            const auto chunk = ReadChunk(in, pos);
            if (!chunk) return chunk.error();
            pos = chunk->next;
            if (chunk->Is("IEND")) return PngError::None;
            if (chunk->body.empty()) continue;
            PngError failure = PngError::None;
            if (chunk->Is("IHDR")) {
                failure = OnHeader(*chunk);
            } else if (chunk->Is("PLTE")) {
                failure = OnPalette(*chunk);
            } else if (chunk->Is("tRNS")) {
                OnTransparency(*chunk);
            } else if (chunk->Is("IDAT")) {
                failure = OnImageData(*chunk);
            }
            // Every other chunk is skipped unread.
            if (failure != PngError::None) return failure;
        }
    }

  private:
    // True when the chunk's CRC is not checked or matches.
    bool CrcHolds(const Chunk& chunk) const {
        if (!zlib_ || chunk.storedCrc == 0) return true;
        const std::uint32_t computed = zlib_->Crc32(chunk.typeAndBody);
        return computed != 0 && computed == chunk.storedCrc;
    }

    PngError OnHeader(const Chunk& chunk) {
        if (!CrcHolds(chunk)) return PngError::HeaderCrc;
        const std::span<const std::uint8_t> b = chunk.body;
        if (b.size() < 13) return PngError::HeaderSize;
        const LittleEndianReader in(b);
        Header h;
        h.width = static_cast<std::int32_t>(*in.U32BigEndian(0));
        h.height = static_cast<std::int32_t>(*in.U32BigEndian(4));
        if (h.width < 1 || h.height < 1) return PngError::BadDimensions;
        if (b[10] != 0) return PngError::BadCompressionMethod;
        if (b[11] != 0) return PngError::BadFilterMethod;
        h.depth = b[8];
        h.colorType = b[9];
        h.interlace = b[12];
        if (!KnownColourType(h.colorType)) return PngError::BadColourType;
        if (!ValidDepthFor(h.colorType, h.depth)) return PngError::BadBitDepth;
        if (h.interlace > 1) return PngError::BadInterlaceMethod;
        if (std::int64_t{h.width} * 32 > kPngMaxPixelBits / h.height)
            return PngError::ImageTooLarge;
        h.expected = ExpectedSize(h);
        h.seen = true;
        st_.header = h;
        return PngError::None;
    }

    PngError OnPalette(const Chunk& chunk) {
        const std::uint8_t ct = st_.header.colorType;
        if (ct == kGrey || ct == kGreyAlpha) return PngError::None;
        if (!CrcHolds(chunk)) return PngError::PaletteCrc;
        if (chunk.body.size() % 3 != 0) return PngError::PaletteLength;
        st_.palette.assign(chunk.body.begin(), chunk.body.end());
        st_.havePalette = true;
        return PngError::None;
    }

    // Never fails: a transparency chunk that cannot be used leaves no key.
    void OnTransparency(const Chunk& chunk) {
        const std::uint8_t ct = st_.header.colorType;
        if (ct == kGreyAlpha || ct == kTruecolorAlpha) return;
        if (!CrcHolds(chunk)) return;
        const std::span<const std::uint8_t> b = chunk.body;
        st_.trns.assign(b.begin(), b.end());
        st_.haveTrns = true;
        st_.key = -1;
        if (ct == kGrey) {
            if (b.size() >= 2) st_.key = b[1];
        } else if (ct == kTruecolor) {
            if (b.size() >= 6) st_.key = std::int32_t{b[1]} << 16 | std::int32_t{b[3]} << 8 | b[5];
        } else if (ct == kPalette) {
            if (st_.trns.size() < 256) st_.trns.resize(256, 255);
            st_.key = 0;
        }
    }

    PngError OnImageData(const Chunk& chunk) {
        if (!CrcHolds(chunk)) return PngError::ImageDataCrc;
        if (st_.idatChunks++ == 0) st_.firstIdat = chunk.body;
        st_.idatBytes += chunk.body.size();
        return PngError::None;
    }

    const ZlibLibrary* zlib_;
    DecodeState& st_;
};

// ---- Decode steps ---------------------------------------------------------------------------

// What the chunks must hold for the image data to be worth decompressing.
PngError CheckImage(const DecodeState& st, const PngDecodeOptions& options) {
    const Header& h = st.header;
    if (!h.seen) return PngError::NoHeader;
    if (options.maxSide > 0 && (h.width > options.maxSide || h.height > options.maxSide))
        return PngError::LargerThanAllowed;
    if (st.idatBytes == 0) return PngError::NoImageData;
    if (h.expected > st.idatBytes * kDeflateMaxRatio + 1024) return PngError::ImageDataTooShort;
    return PngError::None;
}

// The image data as the inflate reads them: the chunks' bodies where they lie, or one block.
struct ImageData {
    std::vector<std::span<const std::uint8_t>> pieces;
    std::vector<std::uint8_t> joined; // the bodies joined, when they are
};

// Gathers the image data in a second walk over chunks the walker has checked (so that the first
// keeps nothing per chunk). They are joined into one block for zlib, which needs one, and when a
// list of the chunks would take more memory than their bodies (bodies on average no longer than
// an entry of the list); else the own inflate reads the bodies where they lie.
PngError GatherImageData(std::span<const std::uint8_t> png, const DecodeState& st, bool oneBlock,
                         ImageData& data) {
    if (st.idatChunks <= 1) {
        data.pieces.push_back(st.firstIdat);
        return PngError::None;
    }
    const bool join =
        oneBlock || st.idatBytes / st.idatChunks <= sizeof(std::span<const std::uint8_t>);
    if (join)
        data.joined.reserve(static_cast<std::size_t>(st.idatBytes));
    else
        data.pieces.reserve(static_cast<std::size_t>(st.idatChunks));
    std::uint64_t bytes = 0;
    const LittleEndianReader in(png);
    for (std::size_t pos = sizeof kSignature;;) {
        const auto chunk = ReadChunk(in, pos);
        if (!chunk || chunk->Is("IEND")) break;
        pos = chunk->next;
        if (!chunk->Is("IDAT") || chunk->body.empty()) continue;
        if (join) {
            data.joined.insert(data.joined.end(), chunk->body.begin(), chunk->body.end());
        } else {
            if (data.pieces.size() == st.idatChunks) return PngError::ImageDataChanged;
            data.pieces.push_back(chunk->body);
        }
        bytes += chunk->body.size();
    }
    if (bytes != st.idatBytes) return PngError::ImageDataChanged;
    if (join) data.pieces.assign(1, data.joined);
    return PngError::None;
}

// The row converter for the image's colour type and depth; `palette` receives the colours it
// points at (a ramp for grey images and palette images without a palette chunk).
Converter MakeConverter(const DecodeState& st, const PngDecodeOptions& options,
                        std::vector<std::uint8_t>& palette) {
    const Header& h = st.header;
    if (h.colorType == kGrey || (h.colorType == kPalette && !st.havePalette))
        palette = PreparedPalette(h);
    else
        palette = st.palette;

    Converter conv;
    conv.colorType = h.colorType;
    conv.depth = h.depth;
    conv.palette = palette.data();
    conv.paletteEntries = palette.size() / 3;
    conv.trns = &st.trns;
    conv.haveTrns = st.haveTrns;
    conv.key = st.key;
    conv.streaming = std::uint64_t{static_cast<std::uint32_t>(h.width)} *
                         static_cast<std::uint32_t>(h.height) * 4u >=
                     options.streamImageBytes;
    conv.Prepare(ChooseRowCode(options.rowPath));
    return conv;
}

// How the image data were decompressed, or why they were not.
struct Decompressed {
    PngError failure = PngError::None;
    cPNGparser::Inflater inflater = cPNGparser::Inflater::None;
    InflateError inflateError = InflateError::None;
};

// Makes the image and fills it: zlib decompresses all rows at once (from one block); the own
// inflate (without zlib, or when zlib fails) reads the image data in their pieces, hands the
// rows over as it goes and needs only a window over them: the last 64 KiB for its matches, the
// row not yet complete and the one above it (read there when it had no filter), and room to go
// on.
Decompressed DecompressRows(std::span<const std::span<const std::uint8_t>> idat,
                            const DecodeState& st, const Converter& conv, const ZlibLibrary* zlib,
                            ImageHost& cHost) {
    const Header& h = st.header;
    const auto expected = static_cast<std::size_t>(h.expected);
    const bool withZlib = zlib && zlib->HasUncompress();
    const std::size_t rowBytes = static_cast<std::size_t>(RowLength(h.width, BitsPerPixel(h))) + 1;
    const std::size_t window =
        withZlib ? expected
                 : std::min(expected,
                            std::max(kPngInflateWindow, 2 * rowBytes + (std::size_t{512} << 10)));
    // With slack for the wide reads of the row code.
    std::unique_ptr<std::uint8_t[]> raw(new std::uint8_t[window + kInputSlack]);

    // The image is made once the rows can be converted: after zlib, or before the own inflate,
    // which converts them as it goes.
    Decompressed out;
    RowPass rows(h, conv, out.failure);
    // Every pixel is written by the rows (a failed decode drops the image).
    auto makeImage = [&] {
        if (!cHost.InitializeDIBForOverwrite(h.width, h.height) || !rows.Start(cHost.BitsPointer()))
            return Failed(out.failure, PngError::OutOfMemory);
        return true;
    };
    if (withZlib && idat.size() == 1) {
        std::size_t written = 0;
        if (zlib->Uncompress({raw.get(), expected}, idat.front(), &written) == kZlibOk &&
            written == expected) {
            out.inflater = cPNGparser::Inflater::Zlib;
            if (makeImage()) rows.Advance(raw.get(), 0, expected);
            return out;
        }
    }
    if (!makeImage()) return out;
    // Each row is converted soon after the inflate has written it.
    InflateProgress progress;
    progress.notify = &RowPass::OnProgress;
    progress.context = &rows;
    progress.interval = std::size_t{64} << 10;
    const InflateResult r = InflateWindowed({raw.get(), window}, idat, expected, progress);
    out.inflateError = r.error;
    if (r.ok && r.written == expected) {
        out.inflater = cPNGparser::Inflater::Own;
    } else if (out.failure == PngError::None) { // else a row failed and stopped the inflate
        out.failure = r.ok ? PngError::RowsMissing : PngError::Inflate;
    }
    return out;
}

} // namespace

std::string_view PngErrorText(PngError error) {
    switch (error) {
    case PngError::None:
        return {};
    case PngError::BadSignature:
        return "no PNG signature";
    case PngError::FileUnreadable:
        return "file cannot be read";
    case PngError::BadFileSize:
        return "file too small or too large";
    case PngError::EndBeforeIend:
        return "data end before the IEND chunk";
    case PngError::ChunkLength:
        return "negative chunk length";
    case PngError::ChunkPastEnd:
        return "chunk runs past the end of the data";
    case PngError::HeaderCrc:
        return "header chunk fails its CRC";
    case PngError::HeaderSize:
        return "header chunk too short";
    case PngError::BadDimensions:
        return "width or height below 1";
    case PngError::BadCompressionMethod:
        return "unknown compression method";
    case PngError::BadFilterMethod:
        return "unknown filter method";
    case PngError::BadColourType:
        return "unknown colour type";
    case PngError::BadBitDepth:
        return "bit depth not allowed for the colour type";
    case PngError::BadInterlaceMethod:
        return "unknown interlace method";
    case PngError::ImageTooLarge:
        return "image too large";
    case PngError::PaletteCrc:
        return "palette chunk fails its CRC";
    case PngError::PaletteLength:
        return "palette length not a multiple of 3";
    case PngError::ImageDataCrc:
        return "image data chunk fails its CRC";
    case PngError::NoHeader:
        return "no header chunk";
    case PngError::LargerThanAllowed:
        return "image larger than allowed here";
    case PngError::NoImageData:
        return "no image data";
    case PngError::ImageDataTooShort:
        return "image data too short for the image";
    case PngError::ImageDataChanged:
        return "image data changed";
    case PngError::OutOfMemory:
        return "out of memory";
    case PngError::Inflate:
        return "image data do not decompress";
    case PngError::RowsMissing:
        return "image data decompress to fewer rows than the image has";
    case PngError::BadFilterType:
        return "unknown filter type in an interlaced image";
    case PngError::PaletteIndex:
        return "palette index beyond the palette";
    }
    return "unknown failure";
}

PngDecodeOptions DefaultPngDecodeOptions() {
    PngDecodeOptions options;
    options.gdiplus = ThroughTheImagesGdiplus;
    return options;
}

bool HasPngSignature(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 8 && std::memcmp(bytes.data(), kSignature, 8) == 0;
}

bool cPNGparser::LoadStream(std::span<const std::uint8_t> stream, ImageHost& cHost,
                            std::uintptr_t gdiToken) {
    inflater_ = Inflater::None;
    failure_ = PngError::None;
    inflateError_ = InflateError::None;
    if (!HasPngSignature(stream)) return Failed(failure_, PngError::BadSignature);
    if (options_.gdiplus && options_.gdiplus(cHost, {}, stream, gdiToken)) return true;
    Decode(stream, cHost);
    return true;
}

bool cPNGparser::LoadFile(const std::string& fileName, ImageHost& cHost, std::uintptr_t gdiToken) {
    inflater_ = Inflater::None;
    failure_ = PngError::None;
    inflateError_ = InflateError::None;
    if (fileName.empty()) return Failed(failure_, PngError::FileUnreadable);
    FileHandle file = OpenFileForWrite(fileName, true, false);
    if (!file.valid()) return Failed(failure_, PngError::FileUnreadable);
    const auto size = file.Size();
    if (!size || *size <= 56 || *size > kPngMaxFileBytes)
        return Failed(failure_, PngError::BadFileSize);
    std::vector<std::uint8_t> bytes;
    try {
        if (!file.ReadAll(bytes)) return Failed(failure_, PngError::FileUnreadable);
    } catch (const std::bad_alloc&) {
        return Failed(failure_, PngError::OutOfMemory);
    }
    if (!HasPngSignature(bytes)) return Failed(failure_, PngError::BadSignature);
    if (options_.gdiplus && options_.gdiplus(cHost, fileName, {}, gdiToken)) return true;
    Decode(bytes, cHost);
    return true;
}

// The steps after the signature: read the chunks, check what they say, gather the image data,
// decompress and convert the rows, and finish the image.
bool cPNGparser::Decode(std::span<const std::uint8_t> png, ImageHost& cHost) {
    try {
        std::unique_ptr<ZlibLibrary> zlib;
        if (!options_.zlibNames.empty())
            zlib = ZlibLibrary::Open(FindZlib(false, options_.zlibNames));

        DecodeState st;
        if (const PngError walked = ChunkWalker(zlib.get(), st).Walk(png); walked != PngError::None)
            return Failed(failure_, walked);
        if (const PngError checked = CheckImage(st, options_); checked != PngError::None)
            return Failed(failure_, checked);
        ImageData idat;
        if (const PngError gathered = GatherImageData(png, st, zlib && zlib->HasUncompress(), idat);
            gathered != PngError::None)
            return Failed(failure_, gathered);

        std::vector<std::uint8_t> palette;
        const Converter conv = MakeConverter(st, options_, palette);
        const Decompressed rows = DecompressRows(idat.pieces, st, conv, zlib.get(), cHost);
        conv.FinishStreaming();
        inflater_ = rows.inflater;
        inflateError_ = rows.inflateError;
        if (rows.failure != PngError::None) {
            cHost.DestroyDIB();
            return Failed(failure_, rows.failure);
        }

        const Header& h = st.header;
        cHost.SetAlpha(h.colorType == kGreyAlpha || h.colorType == kTruecolorAlpha || st.key >= 0);
        cHost.SetImageType(image_type::kPng);
        return true;
    } catch (const std::bad_alloc&) {
        cHost.DestroyDIB();
        return Failed(failure_, PngError::OutOfMemory);
    }
}

bool DecodePngStream(ImageHost& dib, std::span<const std::uint8_t> bytes, const IconWish&) {
    cPNGparser parser;
    return parser.LoadStream(bytes, dib, dib.gdiToken()) && dib.BitsPointer() != nullptr;
}

} // namespace corvale
