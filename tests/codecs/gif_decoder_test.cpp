// The GIF decoder: block walk, the rebuilt single-frame file, the LZW decoder (checked against
// an independent encoder written here) and the pixels and flags of decoded frames.
#include <gtest/gtest.h>

#include <map>
#include <random>

// Frames below are described with designated initializers that leave the other members at
// their defaults on purpose.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include "codecs/cGIFparser.h"
#include "codecs/gif_lzw.h"
#include "tests/codecs/bmp_ico_gif_support.h"
#include "tests/codecs/memory_image.h"

namespace corvale {
namespace {

using test::Bgra;
using test::Bytes;
using test::PixelAt;

// A plain GIF LZW encoder. clearWhenFull false keeps coding with a full table instead of
// sending a clear code, as some encoders do.
std::vector<std::uint8_t> LzwEncode(const std::vector<std::uint8_t>& symbols, int minCodeSize,
                                    bool clearWhenFull = true) {
    std::vector<std::uint8_t> out;
    std::uint32_t buffer = 0;
    int count = 0;
    auto emit = [&](std::uint32_t code, int bits) {
        buffer |= code << count;
        count += bits;
        while (count >= 8) {
            out.push_back(static_cast<std::uint8_t>(buffer));
            buffer >>= 8;
            count -= 8;
        }
    };
    const std::uint32_t clear = 1u << minCodeSize;
    std::map<std::pair<std::uint32_t, std::uint8_t>, std::uint32_t> table;
    std::uint32_t next = clear + 2;
    int bits = minCodeSize + 1;
    emit(clear, bits);
    std::uint32_t w = symbols.empty() ? 0 : symbols[0];
    for (std::size_t i = 1; i < symbols.size(); ++i) {
        const std::uint8_t k = symbols[i];
        auto found = table.find({w, k});
        if (found != table.end()) {
            w = found->second;
            continue;
        }
        emit(w, bits);
        if (next < 4096) {
            table[{w, k}] = next++;
            if (next > (1u << bits) && bits < 12) ++bits;
        } else if (clearWhenFull) {
            emit(clear, bits);
            table.clear();
            next = clear + 2;
            bits = minCodeSize + 1;
        }
        w = k;
    }
    if (!symbols.empty()) emit(w, bits);
    emit(clear + 1, bits);
    if (count > 0) out.push_back(static_cast<std::uint8_t>(buffer));
    return out;
}

// Packs data into sub-blocks of at most 255 bytes with the terminator.
std::vector<std::uint8_t> SubBlocks(const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> out;
    for (std::size_t at = 0; at < data.size(); at += 255) {
        const std::size_t n = std::min<std::size_t>(255, data.size() - at);
        out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), data.begin() + at, data.begin() + at + n);
    }
    out.push_back(0);
    return out;
}

struct GifSpec {
    int screenW = 0, screenH = 0; // 0: the frame's size
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<std::uint8_t> globalTable; // 3 bytes an entry, power of two entries
    std::vector<std::uint8_t> localTable;
    std::optional<int> transparentIndex;
    bool controlExtension = false;
    bool interlaced = false;
    std::vector<std::uint8_t> before; // raw blocks before the frame (extensions)
    std::vector<std::uint8_t> lzw;    // joined LZW data
    int minCodeSize = 2;
};

std::uint8_t TableBits(const std::vector<std::uint8_t>& table) {
    std::uint8_t n = 0;
    while ((3u << (n + 1)) < table.size()) ++n;
    return n;
}

std::vector<std::uint8_t> MakeGif(const GifSpec& s) {
    Bytes b;
    for (char c : std::string("GIF89a")) b.u8(static_cast<std::uint8_t>(c));
    b.u16(s.screenW ? s.screenW : s.width).u16(s.screenH ? s.screenH : s.height);
    b.u8(s.globalTable.empty() ? 0 : 0x80 | TableBits(s.globalTable)).u8(0).u8(0);
    b.raw(s.globalTable);
    b.raw(s.before);
    if (s.controlExtension || s.transparentIndex) {
        b.u8(33).u8(249).u8(4).u8(s.transparentIndex ? 1 : 0).u16(10);
        b.u8(s.transparentIndex.value_or(0)).u8(0);
    }
    b.u8(44).u16(s.left).u16(s.top).u16(s.width).u16(s.height);
    b.u8((s.localTable.empty() ? 0 : 0x80 | TableBits(s.localTable)) | (s.interlaced ? 0x40 : 0));
    b.raw(s.localTable);
    b.u8(s.minCodeSize).raw(SubBlocks(s.lzw)).u8(59);
    return b.v;
}

std::vector<std::uint8_t> GreyTable(int entries) {
    std::vector<std::uint8_t> t;
    for (int i = 0; i < entries; ++i) t.insert(t.end(), 3, static_cast<std::uint8_t>(255 - i));
    return t;
}

TEST(GifLzw, RoundTripsRandomDataThroughFullTablesBothWays) {
    std::mt19937 rng(7);
    for (int minCodeSize : {2, 5, 8}) {
        std::vector<std::uint8_t> symbols(40000);
        for (auto& s : symbols) s = static_cast<std::uint8_t>(rng() % (1u << minCodeSize));
        for (bool clearWhenFull : {true, false}) {
            const auto data = LzwEncode(symbols, minCodeSize, clearWhenFull);
            std::vector<std::uint8_t> out(symbols.size());
            const LzwOutcome r = DecodeGifLzw(data, minCodeSize, out);
            EXPECT_FALSE(r.codeError) << minCodeSize << clearWhenFull;
            EXPECT_EQ(r.produced, symbols.size());
            EXPECT_EQ(out, symbols) << minCodeSize << " clear when full " << clearWhenFull;
        }
    }
}

TEST(GifLzw, LongRunsMakeLongStringsAndTheOutputIsClipped) {
    std::vector<std::uint8_t> symbols(100000, 3);
    for (std::size_t i = 0; i < symbols.size(); i += 9973) symbols[i] = 1;
    const auto data = LzwEncode(symbols, 2);
    std::vector<std::uint8_t> out(symbols.size());
    ASSERT_EQ(DecodeGifLzw(data, 2, out).produced, symbols.size());
    EXPECT_EQ(out, symbols);
    // A smaller output takes the first pixels only.
    std::vector<std::uint8_t> part(777);
    EXPECT_EQ(DecodeGifLzw(data, 2, part).produced, 777u);
    EXPECT_TRUE(std::equal(part.begin(), part.end(), symbols.begin()));

    // Row by row: strings longer than a row and strings crossing row ends come out whole and
    // in order; the row the output is clipped in comes short.
    for (std::size_t width : {1u, 7u, 5000u}) {
        std::vector<std::uint8_t> joined;
        std::size_t expectedRow = 0;
        const std::size_t rows = 99991 / width;
        const LzwOutcome r = DecodeGifLzwRows(
            data, 2, width, rows, [&](std::size_t row, std::span<const std::uint8_t> indices) {
                EXPECT_EQ(row, expectedRow++);
                EXPECT_EQ(indices.size(), width);
                joined.insert(joined.end(), indices.begin(), indices.end());
            });
        EXPECT_EQ(r.produced, rows * width);
        ASSERT_EQ(joined.size(), rows * width) << width;
        EXPECT_TRUE(std::equal(joined.begin(), joined.end(), symbols.begin())) << width;
    }
}

TEST(GifLzw, BadCodesAndShortDataStopTheDecode) {
    std::vector<std::uint8_t> out(16);
    // Code size 2: clear (4), then code 7 (not yet defined) as the first code.
    EXPECT_TRUE(DecodeGifLzw(std::vector<std::uint8_t>{0x3C}, 2, out).codeError);
    EXPECT_TRUE(DecodeGifLzw(std::vector<std::uint8_t>{0x00}, 0, out).codeError);
    EXPECT_TRUE(DecodeGifLzw(std::vector<std::uint8_t>{0x00}, 12, out).codeError);
    const auto data = LzwEncode({1, 2, 3, 1, 2, 3, 1, 2, 3, 0, 0, 0}, 2);
    const LzwOutcome r = DecodeGifLzw(std::span(data).first(2), 2, out);
    EXPECT_FALSE(r.codeError);
    EXPECT_GT(r.produced, 0u);
    EXPECT_LT(r.produced, 12u);
}

TEST(GifScan, SignatureIsCaseBlindAndOnlyTheTwoVersions) {
    GifSpec s{.width = 1, .height = 1, .globalTable = GreyTable(2), .lzw = LzwEncode({1}, 2)};
    auto gif = MakeGif(s);
    EXPECT_TRUE(cGIFparser::Scan(gif));
    for (const char* sig : {"gif89a", "GiF87A"}) {
        std::copy(sig, sig + 6, gif.begin());
        EXPECT_TRUE(cGIFparser::Scan(gif)) << sig;
    }
    std::copy("GIF88a", "GIF88a" + 6, gif.begin());
    EXPECT_EQ(cGIFparser::Scan(gif).error(), GifError::BadSignature);
}

TEST(GifScan, ExtensionsBeforeTheFrameAreSkippedAndTheLastControlCounts) {
    Bytes ext;
    ext.u8(33).u8(254).u8(5).raw({'h', 'e', 'l', 'l', 'o'}).u8(0); // comment
    ext.u8(33).u8(255).u8(11).raw(std::vector<std::uint8_t>(11, 'N')).u8(3).u8(1).u16(0).u8(0);
    ext.u8(33).u8(249).u8(4).u8(1).u16(0).u8(3).u8(0); // index 3
    ext.u8(0);                                         // stray zero
    GifSpec s{.screenW = 4,
              .screenH = 4,
              .width = 2,
              .height = 2,
              .globalTable = GreyTable(4),
              .before = ext.v,
              .lzw = LzwEncode({0, 1, 2, 3}, 2)};
    // A later control extension without transparency replaces the first.
    s.controlExtension = true;
    auto gif = MakeGif(s);
    auto scan = cGIFparser::Scan(gif);
    ASSERT_TRUE(scan);
    EXPECT_FALSE(scan->transparent);

    s.controlExtension = false;
    gif = MakeGif(s);
    scan = cGIFparser::Scan(gif);
    ASSERT_TRUE(scan);
    EXPECT_TRUE(scan->transparent);
    EXPECT_EQ(scan->transparentIndex, 3);
    EXPECT_EQ(scan->tableOffset, 13u);
    EXPECT_EQ(scan->tableEntries, 4u);
    EXPECT_EQ(gif[scan->descriptorOffset], 44);
    EXPECT_EQ(scan->frameEnd, gif.size() - 1); // the trailer follows
}

TEST(GifScan, BrokenStructuresCannotBeWalked) {
    GifSpec s{.width = 2, .height = 1, .globalTable = GreyTable(2), .lzw = LzwEncode({0, 1}, 2)};
    const auto gif = MakeGif(s);
    // Truncated anywhere before the end of the frame's data: in the screen descriptor, the
    // global table (13 to 18), before the frame (19) or in it.
    for (std::size_t n = 6; n < gif.size() - 1; ++n) {
        const auto scan = cGIFparser::Scan(std::span(gif).first(n));
        EXPECT_FALSE(scan) << n;
        EXPECT_EQ(scan.error(), n < 13   ? GifError::HeaderTruncated
                                : n < 19 ? GifError::TableTruncated
                                : n < 20 ? GifError::EndBeforeFrame
                                         : GifError::FrameTruncated)
            << n;
    }
    // An unknown block byte.
    auto bad = gif;
    bad[13 + 6] = 0x77;
    EXPECT_EQ(cGIFparser::Scan(bad).error(), GifError::UnknownBlock);
    // A frame whose data is only the code size and the terminator.
    s.lzw.clear();
    EXPECT_EQ(cGIFparser::Scan(MakeGif(s)).error(), GifError::FrameTruncated);
    // A global table that claims more than the file holds.
    auto shortTable = gif;
    shortTable[10] = 0x87;
    EXPECT_EQ(cGIFparser::Scan(shortTable).error(), GifError::TableTruncated);
}

TEST(GifRebuild, FrameSizeBecomesScreenSizeAndTheTableInForceTheRamp) {
    GifSpec s{.screenW = 50,
              .screenH = 40,
              .left = 5,
              .top = 6,
              .width = 3,
              .height = 2,
              .globalTable = GreyTable(2),
              .localTable = GreyTable(4),
              .transparentIndex = 2,
              .lzw = LzwEncode({0, 1, 2, 3, 0, 1}, 2)};
    const auto gif = MakeGif(s);
    const auto scan = cGIFparser::Scan(gif);
    ASSERT_TRUE(scan);
    const auto rebuilt = cGIFparser::Rebuild(gif, *scan);
    EXPECT_EQ(rebuilt[6], 3);
    EXPECT_EQ(rebuilt[8], 2);
    // Trailer and four zero bytes at the end; the control extension copied before the frame.
    ASSERT_GE(rebuilt.size(), 5u);
    EXPECT_EQ(std::vector<std::uint8_t>(rebuilt.end() - 5, rebuilt.end()),
              (std::vector<std::uint8_t>{59, 0, 0, 0, 0}));
    const std::size_t control = 13 + 6;
    EXPECT_EQ(rebuilt[control], 33);
    EXPECT_EQ(rebuilt[control + 1], 249);
    // The global table is untouched, the local one (in force) is the ramp.
    EXPECT_EQ(rebuilt[13], 255);
    const std::size_t local = control + 8 + 10;
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(rebuilt[local + 3 * i], i);
        EXPECT_EQ(rebuilt[local + 3 * i + 2], i);
    }
    std::vector<std::uint8_t> indices(6, 99);
    const auto frame =
        cGIFparser::DecodeRebuilt(rebuilt, [&](std::size_t y, std::span<const std::uint8_t> row) {
            std::copy(row.begin(), row.end(), indices.begin() + std::ptrdiff_t(y * 3));
        });
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->width, 3);
    EXPECT_EQ(frame->height, 2);
    EXPECT_EQ(indices, (std::vector<std::uint8_t>{0, 1, 2, 3, 0, 1}));
}

TEST(GifDecode, TransparentIndexBecomesClearAndOtherIndicesTheirColours) {
    GifSpec s{.width = 2,
              .height = 2,
              .globalTable = GreyTable(4),
              .transparentIndex = 1,
              .lzw = LzwEncode({0, 1, 2, 3}, 2)};
    MemoryImage dib;
    ASSERT_TRUE(cGIFparser().LoadStream(MakeGif(s), dib));
    EXPECT_TRUE(dib.Alpha());
    EXPECT_EQ(dib.ImageType(), 9);
    EXPECT_EQ(PixelAt(dib, 0, 0), (Bgra{255, 255, 255, 255}));
    EXPECT_EQ(PixelAt(dib, 1, 0), (Bgra{0, 0, 0, 0}));
    EXPECT_EQ(PixelAt(dib, 0, 1), (Bgra{253, 253, 253, 255}));
    EXPECT_EQ(PixelAt(dib, 1, 1), (Bgra{252, 252, 252, 255}));
}

TEST(GifDecode, ControlWithoutTransparencyIsOpaqueAndColoursKeepTheirChannels) {
    std::vector<std::uint8_t> table = {10, 20, 30, 40, 50, 60};
    GifSpec s{.width = 2,
              .height = 1,
              .localTable = table,
              .controlExtension = true,
              .lzw = LzwEncode({1, 0}, 2)};
    MemoryImage dib;
    ASSERT_TRUE(cGIFparser().LoadStream(MakeGif(s), dib));
    EXPECT_FALSE(dib.Alpha());
    EXPECT_EQ(PixelAt(dib, 0, 0), (Bgra{60, 50, 40, 255}));
    EXPECT_EQ(PixelAt(dib, 1, 0), (Bgra{30, 20, 10, 255}));
}

TEST(GifDecode, InterlacedRowsLandInPictureOrder) {
    const int h = 11;
    std::vector<std::uint8_t> streamOrder;
    const int starts[4] = {0, 4, 2, 1}, steps[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
        for (int y = starts[pass]; y < h; y += steps[pass]) {
            streamOrder.push_back(static_cast<std::uint8_t>(y));
            streamOrder.push_back(static_cast<std::uint8_t>(y));
        }
    }
    GifSpec s{.width = 2,
              .height = h,
              .globalTable = GreyTable(16),
              .interlaced = true,
              .lzw = LzwEncode(streamOrder, 4),
              .minCodeSize = 4};
    MemoryImage dib;
    ASSERT_TRUE(cGIFparser().LoadStream(MakeGif(s), dib));
    for (int y = 0; y < h; ++y) {
        EXPECT_EQ(PixelAt(dib, 0, y).r, 255 - y) << y;
        EXPECT_EQ(PixelAt(dib, 1, y).r, 255 - y) << y;
    }
}

TEST(GifDecode, DataEndingEarlyLeavesTheRestTransparent) {
    // 4 x 4 interlaced, but data for the first pass (row 0) and the second (row 4: none) only.
    GifSpec s{.width = 4,
              .height = 4,
              .globalTable = GreyTable(2),
              .interlaced = true,
              .lzw = LzwEncode({1, 1, 1, 1, 1, 1}, 2)};
    MemoryImage dib;
    ASSERT_TRUE(cGIFparser().LoadStream(MakeGif(s), dib));
    EXPECT_TRUE(dib.Alpha());
    for (int x = 0; x < 4; ++x) EXPECT_EQ(PixelAt(dib, x, 0).a, 255) << x;
    // Stream row 1 is picture row 2 (third pass): its first two pixels arrived.
    EXPECT_EQ(PixelAt(dib, 0, 2).a, 255);
    EXPECT_EQ(PixelAt(dib, 1, 2).a, 255);
    EXPECT_EQ(PixelAt(dib, 2, 2), (Bgra{}));
    EXPECT_EQ(PixelAt(dib, 0, 1), (Bgra{}));
    EXPECT_EQ(PixelAt(dib, 0, 3), (Bgra{}));
}

TEST(GifDecode, FramesWithoutColoursOrWithHostileSizesMakeNoImage) {
    GifSpec s{.width = 1, .height = 1, .lzw = LzwEncode({0}, 2)};
    MemoryImage dib;
    auto refusal = [&](const std::vector<std::uint8_t>& gif) {
        cGIFparser parser;
        EXPECT_FALSE(parser.LoadStream(gif, dib) && dib.Handle() != 0);
        return parser.Failure();
    };
    EXPECT_EQ(refusal(MakeGif(s)), GifError::NoColourTable);
    s.globalTable = GreyTable(2);
    s.width = 65535;
    s.height = 65535;
    EXPECT_EQ(refusal(MakeGif(s)), GifError::ImageTooLarge);
    s.width = 0;
    EXPECT_EQ(refusal(MakeGif(s)), GifError::BadDimensions);
    EXPECT_EQ(refusal(std::vector<std::uint8_t>(100, 'G')), GifError::BadSignature);
    EXPECT_FALSE(DecodeGifStream(dib, std::vector<std::uint8_t>(100, 'G'), {}));
}

TEST(GifDecode, UndecodableDataAfterTheImageWasMadeClaimTheGifWithNoImage) {
    // Minimum code size 9 is beyond the format: the image is made, the data cannot decode.
    GifSpec s{.width = 2,
              .height = 2,
              .globalTable = GreyTable(2),
              .lzw = LzwEncode({0, 0, 0, 0}, 8),
              .minCodeSize = 9};
    MemoryImage dib;
    cGIFparser parser;
    EXPECT_TRUE(parser.LoadStream(MakeGif(s), dib));
    EXPECT_EQ(parser.Failure(), GifError::BadCode);
    EXPECT_EQ(dib.BitsPointer(), nullptr);
    EXPECT_FALSE(DecodeGifStream(dib, MakeGif(s), {}));
}

TEST(GifDecode, TheClassicTenByTenSample) {
    // The sample image of the format's own description: a 10 x 10 picture in three colours.
    const std::vector<std::uint8_t> gif = {
        0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x0A, 0x00, 0x0A, 0x00, 0x91, 0x00, 0x00, 0xFF,
        0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x21, 0xF9, 0x04,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x2C, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x0A, 0x00,
        0x00, 0x02, 0x16, 0x8C, 0x2D, 0x99, 0x87, 0x2A, 0x1C, 0xDC, 0x33, 0xA0, 0x02, 0x75,
        0xEC, 0x95, 0xFA, 0xA8, 0xDE, 0x60, 0x8C, 0x04, 0x91, 0x4C, 0x01, 0x00, 0x3B};
    const char* rows[10] = {"1111122222", "1111122222", "1111122222", "1110000222", "1110000222",
                            "2220000111", "2220000111", "2222211111", "2222211111", "2222211111"};
    const Bgra colours[3] = {{255, 255, 255, 255}, {0, 0, 255, 255}, {255, 0, 0, 255}};
    MemoryImage dib;
    ASSERT_TRUE(DecodeGifStream(dib, gif, {}));
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) {
            EXPECT_EQ(PixelAt(dib, x, y), colours[rows[y][x] - '0']) << x << "," << y;
        }
    }
}

TEST(GifFixtures, AnimatedGivesItsFirstFrameAtTheFrameSize) {
    MemoryImage dib;
    ASSERT_TRUE(DecodeGifStream(dib, test::ReadFixture("animated.gif"), {}));
    EXPECT_EQ(dib.Width(), 13);
    EXPECT_EQ(dib.Height(), 7);
    EXPECT_FALSE(dib.Alpha());
    EXPECT_EQ(dib.ImageType(), 9);
}

TEST(GifFixtures, CommentAndTransparencyFiles) {
    MemoryImage comment;
    ASSERT_TRUE(DecodeGifStream(comment, test::ReadFixture("comment.gif"), {}));
    EXPECT_EQ(comment.Width(), 13);
    EXPECT_FALSE(comment.Alpha());
    MemoryImage clear;
    ASSERT_TRUE(DecodeGifStream(clear, test::ReadFixture("transparent.gif"), {}));
    EXPECT_TRUE(clear.Alpha());
    EXPECT_EQ(PixelAt(clear, 0, 0), (Bgra{}));
    EXPECT_EQ(PixelAt(clear, 8, 8).a, 255);
}

} // namespace
} // namespace corvale
