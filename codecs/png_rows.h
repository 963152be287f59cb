#pragma once
// The PNG decoder's row pass: undoes filtering and interlacing and converts the unfiltered rows
// into premultiplied BGRA pixels of the image.
#include "codecs/cPNGparser.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "codecs/cPNGparser.h"

namespace corvale {

// Adam7 passes 1-7 (start row, start column, row step, column step), then the whole image.
struct Pass {
    std::uint32_t startRow, startCol, rowStep, colStep;
};
constexpr Pass kPasses[8] = {{0, 0, 8, 8}, {0, 4, 8, 8}, {4, 0, 8, 4}, {0, 2, 4, 4},
                             {2, 0, 4, 2}, {0, 1, 2, 2}, {1, 0, 2, 1}, {0, 0, 1, 1}};
constexpr int kWholeImage = 7;

enum ColorType : std::uint8_t {
    kGrey = 0,
    kTruecolor = 2,
    kPalette = 3,
    kGreyAlpha = 4,
    kTruecolorAlpha = 6
};

// x / 255 for x <= 255 * 255, truncating.
inline std::uint8_t Div255(std::uint32_t x) {
    return static_cast<std::uint8_t>((x * 0x8081u) >> 23);
}

struct Header {
    bool seen = false;
    std::int32_t width = 0, height = 0;
    std::uint8_t depth = 0, colorType = 0, interlace = 0;
    std::uint64_t expected = 0; // filtered bytes the header predicts
};

inline unsigned Channels(std::uint8_t colorType) {
    switch (colorType) {
    case kTruecolor:
        return 3;
    case kGreyAlpha:
        return 2;
    case kTruecolorAlpha:
        return 4;
    default:
        return 1;
    }
}

inline unsigned BitsPerPixel(const Header& h) {
    return Channels(h.colorType) * h.depth;
}

// Bytes of n pixels, without the filter byte.
inline std::uint64_t RowLength(std::uint64_t pixels, unsigned bitsPerPixel) {
    return (pixels * bitsPerPixel + 7) / 8;
}

struct PassSize {
    std::uint32_t cols = 0, rows = 0;
};

inline PassSize SizeOfPass(const Pass& p, std::uint32_t width, std::uint32_t height) {
    PassSize s;
    s.cols = width / p.colStep + (p.startCol < width % p.colStep ? 1 : 0);
    s.rows = height / p.rowStep + (p.startRow < height % p.rowStep ? 1 : 0);
    return s;
}

// ---- Unfiltering ----------------------------------------------------------------------------
//
// A row is unfiltered from the decompressed data into a row buffer of its own: the decompressed
// data stay as they are (the own inflate may still copy from them) and the row above is the
// previous row buffer (all zero on the first row of an image or pass), or the previous row in
// the decompressed data when it had no filter (such rows are read where they lie). Row buffers have
// kRowSlack bytes past the row, and the decompressed data kInputSlack bytes past their end,
// for the wider reads and writes of 3- and 6-byte pixels.

constexpr std::size_t kRowSlack = 16;
constexpr std::size_t kInputSlack = 16;
// The smallest window the own inflate decompresses into (larger for very wide rows).
constexpr std::size_t kPngInflateWindow = std::size_t{1} << 20;

// The row code a decode runs: a requested path the processor lacks falls back to the best
// below it; Automatic takes the best there is.
enum class RowCode : std::uint8_t { kPlain, kSse2, kSsse3, kSse41, kAvx2 };
RowCode ChooseRowCode(PngRowPath path);

// Converts unfiltered rows of one image into premultiplied BGRA. Every pixel of a row is
// written (clear ones as zeros): the image need not be cleared first.
struct Converter {
    std::uint8_t colorType = 0, depth = 0;
    const std::uint8_t* palette = nullptr; // RGB triples
    std::size_t paletteEntries = 0;
    const std::vector<std::uint8_t>* trns = nullptr;
    bool haveTrns = false;
    std::int32_t key = -1;
    std::uint32_t lut[256] = {};
    std::size_t lutEntries = 0;
    RowCode code = RowCode::kPlain;
    // Rows written whole (dstStep 4) go past the cache (PngDecodeOptions::streamImageBytes);
    // set before Prepare.
    bool streaming = false;
    // Converts whole blocks of pixels of the format (returns how many); null when the code
    // has none for it. Set by Prepare.
    using BlockFn = std::uint32_t (*)(const std::uint8_t* s, std::uint32_t n, std::uint8_t* d,
                                      std::size_t dstStep);
    BlockFn blocks = nullptr;
    // The same with streaming stores for whole rows (16-byte aligned destination); null when
    // rows are not streamed.
    BlockFn streamBlocks = nullptr;

    // Takes the row code and makes what the format needs (call once the fields are set).
    void Prepare(RowCode rowCode) {
        code = rowCode;
        blocks = ChooseBlocks(code, false);
        streamBlocks = streaming ? ChooseBlocks(code, true) : nullptr;
        if (depth <= 8 && (colorType == kGrey || colorType == kPalette)) PrepareIndexed();
    }
    BlockFn ChooseBlocks(RowCode rowCode, bool stream) const;

    static void Store(std::uint8_t* d, unsigned r, unsigned g, unsigned b, unsigned a);
    // Bytes of one pixel of the format (depths of 8 and 16).
    std::size_t PixelBytes() const { return Channels(colorType) * depth / 8u; }
    // Converts n pixels of one unfiltered row into the image, dstStep bytes apart.
    bool Row(const std::uint8_t* s, std::uint32_t n, std::uint8_t* d, std::size_t dstStep) const;
    // Row with ordinary stores only, for pixels that are read again soon.
    bool CachedRow(const std::uint8_t* s, std::uint32_t n, std::uint8_t* d,
                   std::size_t dstStep) const {
        return Convert(blocks, s, n, d, dstStep, false);
    }
    // Writes a whole image row of `width` pixels whose even columns are the pixels at `even`
    // and odd columns those at `odd` (both packed), streamed as Row streams.
    void Interleave(const std::uint8_t* even, const std::uint8_t* odd, std::uint32_t width,
                    std::uint8_t* d) const;
    // Row through the given block routine (or none) for the blocks and the plain code after;
    // `stream` lets palette rows go past the cache.
    bool Convert(BlockFn fn, const std::uint8_t* s, std::uint32_t n, std::uint8_t* d,
                 std::size_t dstStep, bool stream) const;
    // The stored pixel of every grey level or palette index (depths 1 to 8), made once.
    void PrepareIndexed();
    // Grey (through the ramp) and palette images of depths 1 to 8; grey pixels equal to the
    // key are transparent; an index beyond the palette fails.
    bool Indexed(const std::uint8_t* s, std::uint32_t n, std::uint8_t* d, std::size_t dstStep,
                 bool stream) const;
    // Makes the streaming stores of the rows visible to every reader (call once they are done).
    void FinishStreaming() const;
    // 16-bit samples: the most significant byte of each is used.
    bool Row16(const std::uint8_t* s, std::uint32_t n, std::uint8_t* d, std::size_t dstStep) const;
};

// The palette used for grey images (a ramp) and for palette images without a palette chunk.
std::vector<std::uint8_t> PreparedPalette(const Header& h);

// Undoes filtering and interlacing and converts the rows into the image as their decompressed
// data arrive, while they are still in the cache. Each row is unfiltered into a row buffer
// (another holds the row above; two or four rows in a row with the same Average or Paeth filter
// are unfiltered together into buffers of their own), except a row without a filter, which is
// converted where it lies, and the last row of the data when it is the only row of its pass:
// nothing reads the decompressed data after it, so it is unfiltered where it lies. A picture one
// row high thus needs no row buffer, and an interlaced one only buffers of its passes before the
// last.
class RowPass {
  public:
    RowPass(const Header& h, const Converter& conv, PngError& error);

    // Starts on the image's pixels; false when there is no memory for the row buffers.
    bool Start(std::uint8_t* bits);

    // Unfilters and converts every row not yet done that lies within the first `available`
    // bytes of the decompressed data, of which `data` holds those from `first` on. False when a
    // row fails (the error is set).
    bool Advance(const std::uint8_t* data, std::size_t first, std::size_t available);

    // The own inflate's progress hook (InflateProgress::notify); self is the RowPass.
    static bool OnProgress(void* self, const std::uint8_t* data, std::size_t first,
                           std::size_t written, std::size_t& keepFrom);

  private:
    // Converts the current row of the pass from `row` into the image and moves on to the next
    // row (and pass); false when the row fails (the error is set).
    bool ConvertRow(const std::uint8_t* row);
    // Moves to the next pass that holds pixels (passes without columns or rows consume
    // nothing); its first row has zeros above it.
    void EnterPass();
    // The image's row y (rows are stored bottom-up).
    std::uint8_t* ImageRow(std::uint32_t y) const {
        return bits_ + std::size_t{height_ - 1 - y} * width_ * 4;
    }

    const Converter& conv_;
    std::uint8_t* bits_ = nullptr;
    PngError& error_;
    const std::uint32_t width_, height_;
    const unsigned bpp_;
    const std::size_t filterDistance_;
    const bool interlaced_;
    int pass_;
    const int lastPass_;
    const RowCode code_;
    int inPlacePass_ = -1; // the pass whose only row is the last of the data, or -1
    // Interlaced, at least two pixels each way: the even columns of an even row (passes 1 to 5)
    // are kept packed in the row below it, which pass 7 writes last, and the row is written
    // whole when pass 6 brings its odd columns, instead of once a pass. Without memory for
    // pass 6's row every pass writes its pixels in their places.
    bool halves_;
    std::unique_ptr<std::uint8_t[]> oddColumns_; // pass 6's row, converted
    std::unique_ptr<std::uint8_t[]> rows_;
    std::uint8_t* cur_ = nullptr;
    std::uint8_t* prev_ = nullptr;
    std::uint8_t* spare_ = nullptr; // the third buffer, for two rows unfiltered at once
    std::uint8_t* quad_[2] = {};    // the fourth and fifth, for four rows
    // The row above lies in the decompressed data (it had no filter) from prevOffset_ on,
    // rather than in prev_.
    bool prevInData_ = false;
    std::size_t prevOffset_ = 0;
    PassSize size_;
    std::size_t rowLength_ = 0;
    std::uint32_t row_ = 0;
    std::size_t offset_ = 0; // of the next row's filter byte in the decompressed data
};

} // namespace corvale
