// The PNG decoder against the PNG suite, libpng (on the host) and hand-made streams.
#include "codecs/cPNGparser.h"
#include "png_test_support.h"
#include "tests/codecs/memory_image.h"

#include "tests/support/temp_path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <set>

namespace corvale {
namespace {

using testing::PixelAt;
using testing::Pixels;
using testing::PngBuilder;
using testing::PngSuite;
using testing::ReadFileBytes;
using Bytes = std::vector<std::uint8_t>;
#ifdef CORVALE_HAVE_LIBPNG
using testing::LibpngPixels;
using testing::LibpngPixelsOf;
#endif

constexpr std::string_view kNoZlib[] = {"corvale-no-such-library"};

PngDecodeOptions WithZlib() {
    return PngDecodeOptions{};
}
PngDecodeOptions WithoutZlib() {
    PngDecodeOptions o;
    o.zlibNames = kNoZlib;
    return o;
}

struct Decoded {
    bool claimed = false;
    bool made = false;
    cPNGparser::Inflater inflater = cPNGparser::Inflater::None;
    PngError failure = PngError::None;
    InflateError inflateError = InflateError::None;
    Bytes pixels;
    bool alpha = false;
    int type = -1, width = 0, height = 0;
};

Decoded Decode(const Bytes& png, PngDecodeOptions options = WithZlib()) {
    MemoryImage dib;
    cPNGparser parser(options);
    Decoded d;
    d.claimed = parser.LoadStream(png, dib);
    d.made = dib.BitsPointer() != nullptr;
    d.inflater = parser.LastInflater();
    d.failure = parser.Failure();
    d.inflateError = parser.LastInflateError();
    d.pixels = Pixels(dib);
    d.alpha = dib.Alpha();
    d.type = dib.ImageType();
    d.width = dib.Width();
    d.height = dib.Height();
    return d;
}

std::vector<std::string> SuiteFiles() {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(CORVALE_PNGSUITE_DIR))
        if (e.path().extension() == ".png") names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(PngSuite, EveryValidFileDecodesAndEveryBrokenOneFails) {
    const std::map<std::string, PngError> broken = {
        {"xc1n0g08.png", PngError::BadColourType}, {"xc9n2c08.png", PngError::BadColourType},
        {"xcrn0g04.png", PngError::BadSignature},  {"xcsn0g01.png", PngError::ImageDataCrc},
        {"xd0n2c08.png", PngError::BadBitDepth},   {"xd3n2c08.png", PngError::BadBitDepth},
        {"xd9n2c08.png", PngError::BadBitDepth},   {"xdtn0g01.png", PngError::NoImageData},
        {"xhdn0g08.png", PngError::HeaderCrc},     {"xlfn0g04.png", PngError::BadSignature},
        {"xs1n0g01.png", PngError::BadSignature},  {"xs2n0g01.png", PngError::BadSignature},
        {"xs4n0g01.png", PngError::BadSignature},  {"xs7n0g01.png", PngError::BadSignature}};
    const auto names = SuiteFiles();
    ASSERT_GT(names.size(), 150u) << "PNG suite not found at " << CORVALE_PNGSUITE_DIR;
    for (const auto& name : names) {
        const Bytes png = ReadFileBytes(PngSuite(name));
        ASSERT_FALSE(png.empty()) << name;
        const Decoded d = Decode(png);
        if (name[0] == 'x') {
            EXPECT_FALSE(d.made) << name;
            const auto why = broken.find(name);
            ASSERT_NE(why, broken.end()) << name << ": " << PngErrorText(d.failure);
            EXPECT_EQ(d.failure, why->second) << name << ": " << PngErrorText(d.failure);
        } else {
            EXPECT_TRUE(d.claimed && d.made) << name << ": " << PngErrorText(d.failure);
            EXPECT_EQ(d.failure, PngError::None) << name;
            EXPECT_EQ(d.type, 10) << name;
            EXPECT_EQ(d.inflater, cPNGparser::Inflater::Zlib) << name;
        }
    }
}

TEST(PngSuite, ZlibAndOwnInflateGiveIdenticalPixels) {
    for (const auto& name : SuiteFiles()) {
        if (name[0] == 'x') continue;
        const Bytes png = ReadFileBytes(PngSuite(name));
        const Decoded a = Decode(png, WithZlib()), b = Decode(png, WithoutZlib());
        ASSERT_TRUE(b.made) << name;
        EXPECT_EQ(b.inflater, cPNGparser::Inflater::Own) << name;
        EXPECT_EQ(a.pixels, b.pixels) << name;
        EXPECT_EQ(a.alpha, b.alpha) << name;
    }
}

TEST(PngSuite, FileModeMatchesStreamMode) {
    for (const char* name : {"basn6a08.png", "basi3p02.png", "xcsn0g01.png"}) {
        MemoryImage dib;
        cPNGparser parser;
        EXPECT_TRUE(parser.LoadFile(PngSuite(name), dib)) << name;
        EXPECT_EQ(Pixels(dib), Decode(ReadFileBytes(PngSuite(name))).pixels) << name;
    }
}

// The row paths this processor runs, the automatic choice first.
std::vector<PngRowPath> RowPaths() {
    std::vector<PngRowPath> paths;
    for (PngRowPath p : {PngRowPath::Automatic, PngRowPath::Plain, PngRowPath::Sse2,
                         PngRowPath::Ssse3, PngRowPath::Sse41, PngRowPath::Avx2})
        if (PngRowPathAvailable(p)) paths.push_back(p);
    return paths;
}

// streamed: every picture written past the cache, as large ones are.
PngDecodeOptions OwnInflateWith(PngRowPath path, bool streamed = false) {
    PngDecodeOptions o = WithoutZlib();
    o.rowPath = path;
    if (streamed) o.streamImageBytes = 0;
    return o;
}

TEST(PngSuite, EveryRowPathGivesIdenticalPixels) {
    for (const auto& name : SuiteFiles()) {
        if (name[0] == 'x') continue;
        const Bytes png = ReadFileBytes(PngSuite(name));
        const Decoded automatic = Decode(png, WithoutZlib());
        for (PngRowPath path : RowPaths())
            for (bool streamed : {false, true})
                EXPECT_EQ(Decode(png, OwnInflateWith(path, streamed)).pixels, automatic.pixels)
                    << name << " path " << static_cast<int>(path) << " streamed " << streamed;
    }
}

#ifdef CORVALE_HAVE_LIBPNG
TEST(PngSuite, PixelsEqualLibpngPremultiplied) {
    for (const auto& name : SuiteFiles()) {
        if (name[0] == 'x') continue;
        const Bytes expected = LibpngPixels(PngSuite(name));
        const Decoded d = Decode(ReadFileBytes(PngSuite(name)));
        int diffs = 0;
        for (std::size_t i = 0; i < expected.size() && i < d.pixels.size(); i += 4)
            if (std::memcmp(&expected[i], &d.pixels[i], 4) != 0) ++diffs;
        EXPECT_EQ(diffs, 0) << name;
        EXPECT_EQ(expected.size(), d.pixels.size()) << name;
    }
}
#endif

// ---- Hand-made streams ------------------------------------------------------------------------

// Filtered rows with filter byte 0 from raw rows.
Bytes Unfiltered(const std::vector<Bytes>& rows, std::uint8_t filter = 0) {
    Bytes out;
    for (const Bytes& r : rows) {
        out.push_back(filter);
        out.insert(out.end(), r.begin(), r.end());
    }
    return out;
}

Bytes SimplePng(std::uint32_t w, std::uint32_t h, std::uint8_t depth, std::uint8_t colorType,
                const std::vector<Bytes>& rows,
                const std::vector<std::pair<std::string, Bytes>>& extra = {}) {
    PngBuilder b;
    b.Header(w, h, depth, colorType);
    for (const auto& [type, body] : extra) b.Chunk(type, body);
    return b.Data(Unfiltered(rows)).End().bytes();
}

TEST(PngPixels, RgbaIsPremultipliedWithTruncation) {
    const Decoded d = Decode(SimplePng(2, 1, 8, 6, {{200, 100, 50, 128, 90, 80, 70, 0}}));
    ASSERT_TRUE(d.made);
    EXPECT_EQ(Bytes(d.pixels.begin(), d.pixels.begin() + 8), (Bytes{25, 50, 100, 128, 0, 0, 0, 0}));
    EXPECT_TRUE(d.alpha);
}

TEST(PngPixels, GreyRampsAndSubBytePacking) {
    const Decoded one = Decode(SimplePng(8, 1, 1, 0, {{0b10100000}}));
    ASSERT_TRUE(one.made);
    MemoryImage dib;
    cPNGparser().LoadStream(SimplePng(8, 1, 1, 0, {{0b10100000}}), dib);
    EXPECT_EQ(PixelAt(dib, 0, 0), (std::array<std::uint8_t, 4>{255, 255, 255, 255}));
    EXPECT_EQ(PixelAt(dib, 1, 0), (std::array<std::uint8_t, 4>{0, 0, 0, 255}));
    EXPECT_EQ(PixelAt(dib, 2, 0), (std::array<std::uint8_t, 4>{255, 255, 255, 255}));
    EXPECT_FALSE(dib.Alpha());
    cPNGparser().LoadStream(SimplePng(4, 1, 2, 0, {{0b00011011}}), dib); // samples 0, 1, 2, 3
    EXPECT_EQ(PixelAt(dib, 1, 0)[0], 85);
    EXPECT_EQ(PixelAt(dib, 2, 0)[0], 170);
    EXPECT_EQ(PixelAt(dib, 3, 0)[0], 255);
}

TEST(PngPixels, RowsAreStoredBottomUp) {
    MemoryImage dib;
    ASSERT_TRUE(cPNGparser().LoadStream(SimplePng(1, 2, 8, 0, {{10}, {20}}), dib));
    EXPECT_EQ(dib.BitsPointer()[0], 20) << "the first stored row is the bottom row";
    EXPECT_EQ(PixelAt(dib, 0, 0)[0], 10);
}

TEST(PngPixels, TransparencyKeysAndTables) {
    // Grey key: the sample equal to the key stays transparent black.
    Decoded d = Decode(SimplePng(2, 1, 8, 0, {{7, 8}}, {{"tRNS", {0, 7}}}));
    EXPECT_EQ(d.pixels, (Bytes{0, 0, 0, 0, 8, 8, 8, 255}));
    EXPECT_TRUE(d.alpha);
    // Truecolour key.
    d = Decode(SimplePng(2, 1, 8, 2, {{1, 2, 3, 1, 2, 4}}, {{"tRNS", {0, 1, 0, 2, 0, 3}}}));
    EXPECT_EQ(d.pixels, (Bytes{0, 0, 0, 0, 4, 2, 1, 255}));
    // Palette with a short table: missing entries are opaque.
    d = Decode(SimplePng(2, 1, 8, 3, {{0, 1}}, {{"PLTE", {255, 0, 0, 0, 255, 0}}, {"tRNS", {0}}}));
    EXPECT_EQ(d.pixels, (Bytes{0, 0, 0, 0, 0, 255, 0, 255}));
    EXPECT_TRUE(d.alpha);
    // Without a transparency chunk truecolour has no alpha.
    EXPECT_FALSE(Decode(SimplePng(1, 1, 8, 2, {{1, 2, 3}})).alpha);
    // A transparency chunk in a grey-alpha image is ignored.
    d = Decode(SimplePng(1, 1, 8, 4, {{9, 255}}, {{"tRNS", {0, 9}}}));
    EXPECT_EQ(d.pixels, (Bytes{9, 9, 9, 255}));
}

// Deliberate difference from libpng: 16-bit samples are compared with the key by their high
// bytes only, so a pixel differing from the key in its low bytes is transparent.
TEST(PngPixels, SixteenBitKeyComparesHighBytesOnly) {
    const Bytes png = SimplePng(2, 1, 16, 2, {{1, 99, 2, 99, 3, 99, 1, 0, 2, 0, 4, 0}},
                                {{"tRNS", {1, 0, 2, 0, 3, 0}}});
    const Decoded d = Decode(png);
    EXPECT_EQ(d.pixels, (Bytes{0, 0, 0, 0, 4, 2, 1, 255}));
    EXPECT_TRUE(d.alpha);
}

TEST(PngPixels, InterlacedImagesMatchTheirPlainForm) {
    // 4 x 3 grey image: pass 6 holds more bytes than pass 7; and a 1 x 1 image (pass 1 only).
    const Bytes plain = SimplePng(4, 3, 8, 0, {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}});
    // Adam7 passes of a 4 x 3 image: 1:(0,0) 4:(2,0) 5:(0,2),(2,2) 6:(1,0),(3,0),(1,2),(3,2)
    // 7:(0..3,1).
    const Bytes passes = {0, 1, 0, 3, 0, 9, 11, 0, 2, 4, 0, 10, 12, 0, 5, 6, 7, 8};
    const Bytes interlaced = PngBuilder().Header(4, 3, 8, 0, 1).Data(passes).End().bytes();
    const Decoded a = Decode(plain), b = Decode(interlaced);
    ASSERT_TRUE(b.made);
    EXPECT_EQ(a.pixels, b.pixels);
    const Decoded tiny =
        Decode(PngBuilder().Header(1, 1, 8, 6, 1).Data({0, 1, 2, 3, 255}).End().bytes());
    ASSERT_TRUE(tiny.made);
    EXPECT_EQ(tiny.pixels, (Bytes{3, 2, 1, 255}));
}

// Random filtered rows (random bytes, every filter type) in each pixel size the row code treats
// apart, at widths that end pixels on every byte alignment, plain and interlaced: every row path
// agrees with the others and (on the host) with libpng.
TEST(PngPixels, RandomRowsDecodeAlikeOnEveryRowPath) {
    struct Layout {
        std::uint8_t depth, colorType;
        unsigned bitsPerPixel;
        int alphaAt; // byte of the alpha sample (its high byte) in a pixel, or -1
    };
    const Layout layouts[] = {{8, 2, 24, -1},  {8, 6, 32, 3},  {16, 2, 48, -1},
                              {16, 6, 64, 6},  {16, 4, 32, 2}, {8, 4, 16, 1},
                              {16, 0, 16, -1}, {8, 0, 8, -1},  {2, 0, 2, -1}};
    std::mt19937 rng(17);
    unsigned nextFilter = 0; // one-row images take the filters in turn
    for (const Layout& l : layouts)
        for (std::uint32_t w : {1u, 2u, 5u, 33u})
            for (std::uint8_t interlace : {0, 1})
                for (std::uint32_t h : {11u, 12u, 13u, 1u}) {
                    // Filtered data: per row (or pass row) a filter byte and random bytes.
                    Bytes filtered;
                    auto addRows = [&](std::uint32_t cols, std::uint32_t rows) {
                        if (cols == 0 || rows == 0) return;
                        const std::size_t rowBytes = (std::size_t{cols} * l.bitsPerPixel + 7) / 8;
                        for (std::uint32_t r = 0; r < rows; ++r) {
                            // Heights 12 and 13 have only Paeth or only Average rows, which
                            // go four at a time.
                            const auto filter = static_cast<std::uint8_t>(h == 1 ? nextFilter++ % 5
                                                                          : h == 12 ? 4
                                                                          : h == 13 ? 3
                                                                                    : rng() % 5);
                            filtered.push_back(filter);
                            const std::size_t start = filtered.size();
                            for (std::size_t i = 0; i < rowBytes; ++i)
                                filtered.push_back(static_cast<std::uint8_t>(rng()));
                            // Unfiltered rows with alpha: mostly opaque, so that blocks of
                            // opaque pixels and blocks with some translucent ones both occur.
                            if (filter == 0 && l.alphaAt >= 0)
                                for (std::size_t i = l.alphaAt; i < rowBytes;
                                     i += l.bitsPerPixel / 8)
                                    if (rng() % 8 != 0) filtered[start + i] = 255;
                        }
                    };
                    if (interlace == 0) {
                        addRows(w, h);
                    } else {
                        const std::uint32_t pass[7][4] = {{0, 0, 8, 8}, {0, 4, 8, 8}, {4, 0, 8, 4},
                                                          {0, 2, 4, 4}, {2, 0, 4, 2}, {0, 1, 2, 2},
                                                          {1, 0, 2, 1}};
                        for (const auto& p : pass)
                            addRows((w + p[3] - 1 - p[1]) / p[3] * (p[1] < w),
                                    (h + p[2] - 1 - p[0]) / p[2]);
                    }
                    const Bytes png = PngBuilder()
                                          .Header(w, h, l.depth, l.colorType, interlace)
                                          .Data(filtered)
                                          .End()
                                          .bytes();
                    const std::string what =
                        "depth " + std::to_string(l.depth) + " type " +
                        std::to_string(l.colorType) + " width " + std::to_string(w) +
                        " interlace " + std::to_string(interlace) + " height " + std::to_string(h);
                    const Decoded fast = Decode(png, WithoutZlib());
                    ASSERT_TRUE(fast.made) << what;
                    for (PngRowPath path : RowPaths())
                        for (bool streamed : {false, true})
                            EXPECT_EQ(Decode(png, OwnInflateWith(path, streamed)).pixels,
                                      fast.pixels)
                                << what << " path " << static_cast<int>(path) << " streamed "
                                << streamed;
                    EXPECT_EQ(Decode(png, WithZlib()).pixels, fast.pixels) << what;
#ifdef CORVALE_HAVE_LIBPNG
                    EXPECT_EQ(LibpngPixelsOf(png), fast.pixels) << what;
#endif
                }
}

// Images larger than the own inflate's window, with rows longer than the 64 KiB it keeps for
// matches (the window moves while rows are converted), every other row without a filter (read
// where it lies, and the row above the next from there): plain and interlaced, the same pixels
// as through zlib.
TEST(PngPixels, ImagesLargerThanTheInflateWindowDecodeAsWithZlib) {
    std::mt19937 rng(3);
    for (std::uint8_t interlace : {0, 1}) {
        const std::uint32_t w = 56250, h = 10;
        Bytes filtered;
        const std::uint32_t passes[7][4] = {{0, 0, 8, 8}, {0, 4, 8, 8}, {4, 0, 8, 4}, {0, 2, 4, 4},
                                            {2, 0, 4, 2}, {0, 1, 2, 2}, {1, 0, 2, 1}};
        auto addRows = [&](std::uint32_t cols, std::uint32_t rows) {
            for (std::uint32_t r = 0; r < rows; ++r) {
                filtered.push_back(static_cast<std::uint8_t>(r % 2 == 0 ? 0 : 1 + rng() % 4));
                for (std::uint32_t i = 0; i < cols * 4; ++i)
                    filtered.push_back(static_cast<std::uint8_t>(rng() % 8));
            }
        };
        if (interlace == 0)
            addRows(w, h);
        else
            for (const auto& p : passes)
                addRows((w + p[3] - 1 - p[1]) / p[3], (h + p[2] - 1 - p[0]) / p[2]);
        ASSERT_GT(filtered.size(), std::size_t{1} << 20);
        const Bytes png =
            PngBuilder().Header(w, h, 8, 6, interlace).Data(filtered, 3).End().bytes();
        const Decoded own = Decode(png, WithoutZlib()), viaZlib = Decode(png, WithZlib());
        ASSERT_TRUE(own.made);
        EXPECT_EQ(own.inflater, cPNGparser::Inflater::Own);
        EXPECT_EQ(viaZlib.inflater, cPNGparser::Inflater::Zlib);
        EXPECT_EQ(own.pixels, viaZlib.pixels) << int(interlace);
    }
}

// The own inflate reads the image data from the chunks where they lie: stored blocks cut across
// chunks of odd sizes, empty chunks among them, decode as with zlib; without the last chunk the
// data end early.
TEST(PngChunks, StoredImageDataAcrossManyChunksDecodesAsWithZlib) {
    std::mt19937 rng(4);
    const std::uint32_t w = 300, h = 200;
    Bytes filtered;
    for (std::uint32_t r = 0; r < h; ++r) {
        filtered.push_back(static_cast<std::uint8_t>(r % 5));
        for (std::uint32_t i = 0; i < w * 3; ++i)
            filtered.push_back(static_cast<std::uint8_t>(rng()));
    }
    const Bytes z = PngBuilder::Deflate(filtered, 0);
    PngBuilder complete, truncated;
    for (PngBuilder* b : {&complete, &truncated}) b->Header(w, h, 8, 2);
    for (std::size_t at = 0, step = 1; at < z.size(); at += step, step = step * 7 % 4099 + 1) {
        const Bytes body(z.begin() + at, z.begin() + std::min(z.size(), at + step));
        for (PngBuilder* b : {&complete, &truncated})
            if (b == &complete || at + step < z.size()) b->Chunk("IDAT", body).Chunk("IDAT", {});
    }
    const Bytes png = complete.End().bytes();
    const Decoded own = Decode(png, WithoutZlib()), viaZlib = Decode(png, WithZlib());
    ASSERT_TRUE(own.made);
    EXPECT_EQ(own.inflater, cPNGparser::Inflater::Own);
    EXPECT_EQ(viaZlib.inflater, cPNGparser::Inflater::Zlib);
    EXPECT_EQ(own.pixels, viaZlib.pixels);
    const Decoded cut = Decode(truncated.End().bytes(), WithoutZlib());
    EXPECT_FALSE(cut.made);
    EXPECT_EQ(cut.failure, PngError::Inflate);
    EXPECT_EQ(cut.inflateError, InflateError::InputEnded);
}

// Deliberate difference from libpng: an unknown filter type leaves a row of a non-interlaced
// image as it is; in an interlaced image it fails the decode.
TEST(PngPixels, UnknownFilterTypeIsToleratedOnlyWithoutInterlacing) {
    const Decoded plain = Decode(PngBuilder().Header(2, 1, 8, 0).Data({7, 40, 50}).End().bytes());
    ASSERT_TRUE(plain.made);
    EXPECT_EQ(plain.pixels, (Bytes{40, 40, 40, 255, 50, 50, 50, 255}));
    const Decoded interlaced =
        Decode(PngBuilder().Header(1, 1, 8, 0, 1).Data({7, 40}).End().bytes());
    EXPECT_FALSE(interlaced.made);
    EXPECT_EQ(interlaced.failure, PngError::BadFilterType);
}

// Deliberate difference from libpng: a palette image without a palette chunk decodes as black,
// with index 1 white at depth 1.
TEST(PngPixels, PaletteImageWithoutPaletteIsBlackAndWhite) {
    const Decoded d = Decode(SimplePng(2, 1, 1, 3, {{0b01000000}}));
    ASSERT_TRUE(d.made);
    EXPECT_EQ(d.pixels, (Bytes{0, 0, 0, 255, 255, 255, 255, 255}));
    const Decoded beyond = Decode(SimplePng(1, 1, 8, 3, {{2}}, {{"PLTE", {1, 2, 3, 4, 5, 6}}}));
    EXPECT_FALSE(beyond.made) << "an index beyond the palette fails";
    EXPECT_EQ(beyond.failure, PngError::PaletteIndex);
}

TEST(PngChunks, AncillaryChunksAreSkippedAndImageDataJoined) {
    const std::vector<Bytes> rows = {{10, 20, 30, 40, 50, 60}, {70, 80, 90, 100, 110, 120}};
    const Bytes plain = SimplePng(2, 2, 8, 2, rows);
    const Bytes busy = PngBuilder()
                           .Header(2, 2, 8, 2)
                           .Chunk("gAMA", {0, 0, 0x3A, 0x98})
                           .Chunk("pHYs", {0, 0, 0, 1, 0, 0, 0, 1, 0})
                           .Chunk("tIME", {7, 0xD0, 1, 1, 0, 0, 0})
                           .Chunk("zzZz", {1, 2, 3}, true) // bad CRC, never examined
                           .Data(Unfiltered(rows), 3)
                           .End()
                           .bytes();
    const Decoded a = Decode(plain), b = Decode(busy);
    ASSERT_TRUE(b.made);
    EXPECT_EQ(a.pixels, b.pixels);
}

TEST(PngChunks, CrcIsCheckedOnlyWithZlib) {
    const Bytes png = PngBuilder()
                          .Header(1, 1, 8, 0)
                          .Chunk("IDAT", PngBuilder::Deflate({0, 5}), true)
                          .End()
                          .bytes();
    const Decoded checked = Decode(png, WithZlib());
    EXPECT_TRUE(checked.claimed);
    EXPECT_FALSE(checked.made);
    EXPECT_EQ(checked.failure, PngError::ImageDataCrc);
    EXPECT_TRUE(Decode(png, WithoutZlib()).made);
}

TEST(PngChunks, PaletteLengthRules) {
    const Bytes tenBytes(10, 1);
    for (const Decoded& d : {Decode(SimplePng(1, 1, 8, 3, {{0}}, {{"PLTE", tenBytes}})),
                             Decode(SimplePng(1, 1, 8, 2, {{0, 0, 0}}, {{"PLTE", tenBytes}}))}) {
        EXPECT_FALSE(d.made);
        EXPECT_EQ(d.failure, PngError::PaletteLength);
    }
    EXPECT_TRUE(Decode(SimplePng(1, 1, 8, 0, {{0}}, {{"PLTE", tenBytes}})).made);
}

// Claimed, no picture, and the reason named (by both inflaters when the data get that far).
void ExpectRefused(const Bytes& png, PngError why, const char* what) {
    for (const PngDecodeOptions& options : {WithZlib(), WithoutZlib()}) {
        const Decoded d = Decode(png, options);
        EXPECT_TRUE(d.claimed) << what;
        EXPECT_FALSE(d.made) << what;
        EXPECT_EQ(d.failure, why) << what << ": " << PngErrorText(d.failure);
    }
}

TEST(PngChunks, BrokenStreamsAreClaimedButMakeNoImage) {
    const Bytes good = SimplePng(2, 2, 8, 0, {{1, 2}, {3, 4}});
    ExpectRefused(Bytes(good.begin(), good.end() - 12), PngError::EndBeforeIend,
                  "data ending before IEND");
    ExpectRefused(Bytes(good.begin(), good.end() - 1), PngError::ChunkPastEnd,
                  "IEND without all of its CRC");
    Bytes huge = good;
    huge[8] = 0x80; // the header chunk's length
    ExpectRefused(huge, PngError::ChunkLength, "a length above 2^31 - 1");
    ExpectRefused(PngBuilder().Data({0, 1, 2}).End().bytes(), PngError::NoHeader, "no header");
    ExpectRefused(PngBuilder().Header(1, 1, 8, 0).End().bytes(), PngError::NoImageData, "no data");
    // Image data one row short (a mended case: the rows are not invented).
    ExpectRefused(PngBuilder().Header(2, 2, 8, 0).Data({0, 1, 2}).End().bytes(),
                  PngError::RowsMissing, "one row short");
    const Decoded garbled =
        Decode(PngBuilder().Header(1, 1, 8, 0).Chunk("IDAT", {0x78, 0x9C, 0xFF}).End().bytes());
    EXPECT_EQ(garbled.failure, PngError::Inflate);
    EXPECT_EQ(garbled.inflateError, InflateError::BadBlockType);
    // Header fields outside the format, each refused for itself.
    ExpectRefused(PngBuilder().Header(1, 1, 4, 2).Data({0, 0, 0}).End().bytes(),
                  PngError::BadBitDepth, "a depth the colour type does not allow");
    ExpectRefused(PngBuilder().Header(1, 1, 8, 5).Data({0, 0}).End().bytes(),
                  PngError::BadColourType, "colour type 5");
    ExpectRefused(PngBuilder().Header(1, 1, 8, 0, 2).Data({0, 0}).End().bytes(),
                  PngError::BadInterlaceMethod, "interlace method 2");
    ExpectRefused(PngBuilder().Header(0, 1, 8, 0).Data({0}).End().bytes(), PngError::BadDimensions,
                  "width 0");
    ExpectRefused(PngBuilder().Chunk("IHDR", {0, 0, 0, 1, 0, 0, 0, 1, 8, 0, 1, 0, 0}).End().bytes(),
                  PngError::BadCompressionMethod, "compression method 1");
    ExpectRefused(PngBuilder().Chunk("IHDR", {0, 0, 0, 1, 0, 0, 0, 1, 8, 0, 0, 1, 0}).End().bytes(),
                  PngError::BadFilterMethod, "filter method 1");
    // Sizes whose product overflows 64 bits when multiplied carelessly: refused by the size
    // check itself, before the image data could be found too short.
    ExpectRefused(PngBuilder().Header(0x7FFFFFFF, 0x7FFFFFFF, 8, 6).Data({0}).End().bytes(),
                  PngError::ImageTooLarge, "2^31 - 1 square");
    ExpectRefused(PngBuilder().Header(4096, 4096, 8, 6).Data({0}).End().bytes(),
                  PngError::ImageDataTooShort, "64 MiB of rows from a few bytes");
    // A grey key read under a first header, then a 16-bit truecolour header: the two-byte key
    // is too short to compare with and is not read past its end.
    const Bytes rows16 = {0, 0, 0, 0, 0, 0, 0};
    const Decoded rekeyed = Decode(PngBuilder()
                                       .Header(1, 1, 8, 0)
                                       .Chunk("tRNS", {0, 1})
                                       .Header(1, 1, 16, 2)
                                       .Data(rows16)
                                       .End()
                                       .bytes());
    EXPECT_EQ(rekeyed.pixels, (Bytes{0, 0, 0, 255}));
    ExpectRefused(PngBuilder().Chunk("IHDR", {0, 0, 0, 1}).Data({0, 0}).End().bytes(),
                  PngError::HeaderSize, "a header chunk too short to read");
    // Not a PNG at all: not claimed.
    Bytes notPng = good;
    notPng[1] = 'Q';
    for (const Bytes& bytes : {notPng, Bytes(good.begin(), good.begin() + 7)}) {
        const Decoded d = Decode(bytes);
        EXPECT_FALSE(d.claimed);
        EXPECT_EQ(d.failure, PngError::BadSignature);
    }
}

TEST(PngFile, FilesOf56BytesOrFewerAreNotPngs) {
    const std::string path = test_support::UniqueTempPath("corvale_png_size.png");
    Bytes bytes = SimplePng(1, 1, 8, 0, {{0}});
    bytes.resize(57, 0);
    for (std::size_t size : {std::size_t{56}, std::size_t{57}}) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, size, f);
        std::fclose(f);
        MemoryImage dib;
        cPNGparser parser;
        EXPECT_EQ(parser.LoadFile(path, dib), size == 57) << size;
        if (size == 56) {
            EXPECT_EQ(parser.Failure(), PngError::BadFileSize);
        }
    }
    std::remove(path.c_str());
}

#ifdef CORVALE_HAVE_LIBPNG
// The reference decoder really does disagree on the three deliberate differences above.
TEST(PngPixels, LibpngDisagreesWhereWeDifferOnPurpose) {
    const std::string path = test_support::UniqueTempPath("corvale_png_differences.png");
    auto viaLibpng = [&](const Bytes& png) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(png.data(), 1, png.size(), f);
        std::fclose(f);
        return LibpngPixels(path);
    };
    const Bytes keyed =
        SimplePng(1, 1, 16, 2, {{1, 99, 2, 99, 3, 99}}, {{"tRNS", {1, 0, 2, 0, 3, 0}}});
    EXPECT_EQ(viaLibpng(keyed), (Bytes{3, 2, 1, 255})) << "libpng keeps the pixel opaque";
    EXPECT_TRUE(viaLibpng(PngBuilder().Header(2, 1, 8, 0).Data({7, 40, 50}).End().bytes()).empty());
    EXPECT_TRUE(viaLibpng(SimplePng(2, 1, 1, 3, {{0b01000000}})).empty());
    std::remove(path.c_str());
}
#endif

} // namespace
} // namespace corvale
