#include "codecs/cPNGparser.h"

#include "codecs/image_host.h"
#include "codecs/inflate.h"
#include "codecs/modParsers.h"
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

inline std::uint32_t ReadU32BE(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

inline bool TypeIs(const std::uint8_t* type, const char (&name)[5]) {
    return std::memcmp(type, name, 4) == 0;
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

// ---- Chunk walk -----------------------------------------------------------------------------

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

class ChunkWalker {
  public:
    ChunkWalker(const ZlibLibrary* zlib, DecodeState& st, std::string& error)
        : zlib_(zlib), st_(st), error_(error) {}

    bool Walk(std::span<const std::uint8_t> png) {
        std::size_t pos = 8;
        for (;;) {
            if (png.size() - pos < 4) return Fail("data end before the IEND chunk");
            const std::uint32_t length = ReadU32BE(png.data() + pos);
            if (length > 0x7FFFFFFFu) return Fail("negative chunk length");
            if (png.size() - pos < 12 || png.size() - pos - 12 < length)
                return Fail("chunk runs past the end of the data");
            const std::uint8_t* type = png.data() + pos + 4;
            const std::uint32_t storedCrc = zlib_ ? ReadU32BE(type + 4 + length) : 0;
            const std::span<const std::uint8_t> typeAndBody(type, std::size_t{length} + 4);
            const std::span<const std::uint8_t> body = typeAndBody.subspan(4);
            pos += 12 + std::size_t{length};

            if (TypeIs(type, "IEND")) return true;
            if (length == 0) continue;
            if (TypeIs(type, "IHDR")) {
                if (!OnHeader(typeAndBody, body, storedCrc)) return false;
            } else if (TypeIs(type, "PLTE")) {
                if (!OnPalette(typeAndBody, body, storedCrc)) return false;
            } else if (TypeIs(type, "tRNS")) {
                OnTransparency(typeAndBody, body, storedCrc);
            } else if (TypeIs(type, "IDAT")) {
                if (storedCrc != 0 && !CrcMatches(typeAndBody, storedCrc))
                    return Fail("image data chunk fails its CRC");
                if (st_.idatChunks++ == 0) st_.firstIdat = body;
                st_.idatBytes += body.size();
            }
            // Every other chunk is skipped unread.
        }
    }

  private:
    bool Fail(const char* why) {
        error_ = why;
        return false;
    }

    bool CrcMatches(std::span<const std::uint8_t> typeAndBody, std::uint32_t stored) const {
        const std::uint32_t computed = zlib_->Crc32(typeAndBody);
        return computed != 0 && computed == stored;
    }

    bool OnHeader(std::span<const std::uint8_t> typeAndBody, std::span<const std::uint8_t> b,
                  std::uint32_t storedCrc) {
        if (storedCrc != 0 && !CrcMatches(typeAndBody, storedCrc))
            return Fail("header chunk fails its CRC");
        if (b.size() < 13) return Fail("header chunk too short");
        Header h;
        h.width = static_cast<std::int32_t>(ReadU32BE(b.data()));
        h.height = static_cast<std::int32_t>(ReadU32BE(b.data() + 4));
        if (h.width < 1 || h.height < 1) return Fail("width or height below 1");
        if (b[10] != 0 || b[11] != 0) return Fail("unknown compression or filter method");
        h.depth = b[8];
        h.colorType = b[9];
        h.interlace = b[12];
        if (!ValidDepthFor(h.colorType, h.depth)) return Fail("unknown colour type or bit depth");
        if (h.interlace > 1) return Fail("unknown interlace method");
        if (std::int64_t{h.width} * 32 > kPngMaxPixelBits / h.height)
            return Fail("image too large");
        h.expected = ExpectedSize(h);
        h.seen = true;
        st_.header = h;
        return true;
    }

    bool OnPalette(std::span<const std::uint8_t> typeAndBody, std::span<const std::uint8_t> b,
                   std::uint32_t storedCrc) {
        const std::uint8_t ct = st_.header.colorType;
        if (ct == kGrey || ct == kGreyAlpha) return true;
        if (storedCrc != 0 && !CrcMatches(typeAndBody, storedCrc))
            return Fail("palette chunk fails its CRC");
        if (b.size() % 3 != 0) return Fail("palette length not a multiple of 3");
        st_.palette.assign(b.begin(), b.end());
        st_.havePalette = true;
        return true;
    }

    void OnTransparency(std::span<const std::uint8_t> typeAndBody, std::span<const std::uint8_t> b,
                        std::uint32_t storedCrc) {
        const std::uint8_t ct = st_.header.colorType;
        if (ct == kGreyAlpha || ct == kTruecolorAlpha) return;
        if (storedCrc != 0 && !CrcMatches(typeAndBody, storedCrc)) return;
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

    const ZlibLibrary* zlib_;
    DecodeState& st_;
    std::string& error_;
};

// Appends the bodies of the image-data chunks before the first IEND to out (a second walk over
// chunks the walker has already checked, so that nothing is kept per chunk).
void JoinImageData(std::span<const std::uint8_t> png, std::vector<std::uint8_t>& out) {
    for (std::size_t pos = 8; png.size() - pos >= 12;) {
        const std::uint32_t length = ReadU32BE(png.data() + pos);
        if (png.size() - pos - 12 < length) return;
        const std::uint8_t* type = png.data() + pos + 4;
        if (TypeIs(type, "IEND")) return;
        if (TypeIs(type, "IDAT")) out.insert(out.end(), type + 4, type + 4 + length);
        pos += 12 + std::size_t{length};
    }
}

} // namespace

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
    error_.clear();
    if (!HasPngSignature(stream)) return false;
    if (options_.gdiplus && options_.gdiplus(cHost, {}, stream, gdiToken)) return true;
    Decode(stream, cHost);
    return true;
}

bool cPNGparser::LoadFile(const std::string& fileName, ImageHost& cHost, std::uintptr_t gdiToken) {
    inflater_ = Inflater::None;
    error_.clear();
    if (fileName.empty()) return false;
    FileHandle file = OpenFileForWrite(fileName, true, false);
    if (!file.valid()) return false;
    const auto size = file.Size();
    if (!size || *size <= 56 || *size > kPngMaxFileBytes) return false;
    std::vector<std::uint8_t> bytes;
    try {
        if (!file.ReadAll(bytes)) return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!HasPngSignature(bytes)) return false;
    if (options_.gdiplus && options_.gdiplus(cHost, fileName, {}, gdiToken)) return true;
    Decode(bytes, cHost);
    return true;
}

bool cPNGparser::Decode(std::span<const std::uint8_t> png, ImageHost& cHost) {
    try {
        std::unique_ptr<ZlibLibrary> zlib;
        if (!options_.zlibNames.empty())
            zlib = ZlibLibrary::Open(FindZlib(false, options_.zlibNames));

        DecodeState st;
        ChunkWalker walker(zlib.get(), st, error_);
        if (!walker.Walk(png)) return false;
        const Header& h = st.header;
        if (!h.seen) return error_ = "no header chunk", false;
        if (options_.maxSide > 0 && (h.width > options_.maxSide || h.height > options_.maxSide))
            return error_ = "image larger than allowed here", false;
        if (st.idatBytes == 0) return error_ = "no image data", false;
        if (h.expected > st.idatBytes * kDeflateMaxRatio + 1024)
            return error_ = "image data too short for the image", false;

        // Join the image data (in place when there is one chunk).
        std::vector<std::uint8_t> joined;
        std::span<const std::uint8_t> idat = st.firstIdat;
        if (st.idatChunks > 1) {
            joined.reserve(static_cast<std::size_t>(st.idatBytes));
            JoinImageData(png, joined);
            if (joined.size() != st.idatBytes) return error_ = "image data changed", false;
            idat = joined;
        }

        std::vector<std::uint8_t> palette;
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
        conv.Prepare(ChooseRowCode(options_.rowPath));

        // zlib decompresses all rows at once; the own inflate hands them over as it goes and
        // needs only a window over them: the last 64 KiB for its matches, the row not yet
        // complete, and room to go on.
        const auto expected = static_cast<std::size_t>(h.expected);
        const bool withZlib = zlib && zlib->HasUncompress();
        const std::size_t rowBytes =
            static_cast<std::size_t>(RowLength(h.width, BitsPerPixel(h))) + 1;
        const std::size_t window =
            withZlib ? expected
                     : std::min(expected,
                                std::max(kPngInflateWindow, rowBytes + (std::size_t{512} << 10)));
        // With slack for the wide reads of the row code.
        std::unique_ptr<std::uint8_t[]> raw(new std::uint8_t[window + kInputSlack]);

        // The image is made once the rows can be converted: after zlib, or before the own
        // inflate, which converts them as it goes.
        RowPass rows(h, conv, error_);
        bool tried = false, made = false;
        auto makeImage = [&] {
            if (tried) return made;
            tried = true;
            if (!cHost.InitializeDIB(h.width, h.height))
                return error_ = "no memory for the image", false;
            if (!rows.Start(cHost.BitsPointer())) return error_ = "out of memory", false;
            return made = true;
        };
        bool ok = true;
        bool inflated = false;
        if (withZlib) {
            std::size_t written = 0;
            inflated = zlib->Uncompress({raw.get(), expected}, idat, &written) == kZlibOk &&
                       written == expected;
            if (inflated) {
                inflater_ = Inflater::Zlib;
                ok = makeImage() && rows.Advance(raw.get(), 0, expected);
            }
        }
        if (!inflated) {
            // Each row is converted soon after the inflate has written it.
            InflateProgress progress;
            progress.notify = &RowPass::OnProgress;
            progress.context = &rows;
            progress.interval = std::size_t{64} << 10;
            ok = makeImage();
            const InflateResult r =
                ok ? InflateWindowed({raw.get(), window}, idat, expected, progress)
                   : InflateResult{};
            inflated = r.ok && r.written == expected;
            if (inflated) inflater_ = Inflater::Own;
            if (ok && !inflated) {
                if (error_.empty()) error_ = "image data do not decompress";
                ok = false;
            }
        }
        joined = {};
        if (!ok) {
            cHost.DestroyDIB();
            return false;
        }
        const bool alpha =
            h.colorType == kGreyAlpha || h.colorType == kTruecolorAlpha || st.key >= 0;
        cHost.SetAlpha(alpha);
        cHost.SetImageType(image_type::kPng);
        return true;
    } catch (const std::bad_alloc&) {
        error_ = "out of memory";
        cHost.DestroyDIB();
        return false;
    }
}

bool DecodePngStream(ImageHost& dib, std::span<const std::uint8_t> bytes, const IconWish&) {
    cPNGparser parser;
    return parser.LoadStream(bytes, dib, dib.gdiToken()) && dib.BitsPointer() != nullptr;
}

} // namespace corvale
