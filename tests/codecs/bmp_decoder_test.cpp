// The bitmap decoder on hand-made files: the direct 32-bit path with its alpha verdicts, row
// order, the own decoding of the other depths and of run-length data, and hostile headers.
#include <gtest/gtest.h>

#include "codecs/cBMPparser.h"
#include "tests/codecs/bmp_ico_gif_support.h"
#include "tests/codecs/memory_image.h"

namespace corvale {
namespace {

using test::Bgra;
using test::MakeBmp;
using test::PixelAt;

// 2 x 2, 32 bits, one pixel per (b, g, r, a) given top row first.
std::vector<std::uint8_t> Bmp32(const std::vector<Bgra>& topFirst, bool topDown) {
    std::vector<std::uint8_t> rows(16);
    for (int stored = 0; stored < 2; ++stored) {
        const int y = topDown ? stored : 1 - stored;
        for (int x = 0; x < 2; ++x) {
            const Bgra& p = topFirst[static_cast<std::size_t>(y * 2 + x)];
            std::uint8_t* d = rows.data() + (stored * 2 + x) * 4;
            d[0] = p.b, d[1] = p.g, d[2] = p.r, d[3] = p.a;
        }
    }
    return MakeBmp(2, topDown ? -2 : 2, 32, 0, {}, rows);
}

// Why the decoder refuses the bytes (None when it takes them).
BmpError Refusal(const std::vector<std::uint8_t>& bytes, MemoryImage& dib, std::size_t offset = 0,
                 std::size_t length = 0) {
    cBMPparser parser;
    return parser.LoadStream(bytes, dib, offset, length) ? BmpError::None : parser.Failure();
}

TEST(BmpDirect32, RowsComeOutUprightWhateverTheStoredOrder) {
    const std::vector<Bgra> pixels = {
        {1, 2, 3, 255}, {4, 5, 6, 255}, {7, 8, 9, 255}, {10, 11, 12, 255}};
    for (bool topDown : {false, true}) {
        MemoryImage dib;
        ASSERT_TRUE(cBMPparser().LoadStream(Bmp32(pixels, topDown), dib)) << topDown;
        ASSERT_EQ(dib.Width(), 2);
        ASSERT_EQ(dib.Height(), 2);
        EXPECT_EQ(PixelAt(dib, 0, 0), pixels[0]) << topDown;
        EXPECT_EQ(PixelAt(dib, 1, 0), pixels[1]) << topDown;
        EXPECT_EQ(PixelAt(dib, 0, 1), pixels[2]) << topDown;
        EXPECT_EQ(PixelAt(dib, 1, 1), pixels[3]) << topDown;
    }
}

TEST(BmpDirect32, AlphaAllZeroOrAllOpaqueMeansNoAlphaChannel) {
    for (std::uint8_t a : {0, 255}) {
        MemoryImage dib;
        ASSERT_TRUE(cBMPparser().LoadStream(
            Bmp32({{10, 20, 30, a}, {40, 50, 60, a}, {1, 1, 1, a}, {0, 0, 0, a}}, false), dib));
        EXPECT_FALSE(dib.Alpha());
        EXPECT_EQ(dib.ImageType(), 1);
        EXPECT_EQ(PixelAt(dib, 0, 0), (Bgra{10, 20, 30, 255})) << int(a);
        EXPECT_EQ(PixelAt(dib, 1, 1), (Bgra{0, 0, 0, 255})) << int(a);
    }
}

TEST(BmpDirect32, StraightAlphaIsPremultipliedAndPremultipliedKept) {
    MemoryImage straight;
    // Red 200 above alpha 128: straight alpha.
    ASSERT_TRUE(cBMPparser().LoadStream(
        Bmp32({{50, 100, 200, 128}, {0, 0, 0, 0}, {9, 9, 9, 255}, {0, 0, 0, 0}}, false), straight));
    EXPECT_TRUE(straight.Alpha());
    EXPECT_EQ(straight.ImageType(), 6);
    EXPECT_EQ(PixelAt(straight, 0, 0), (Bgra{25, 50, 100, 128}));
    EXPECT_EQ(PixelAt(straight, 0, 1), (Bgra{9, 9, 9, 255}));

    MemoryImage premultiplied;
    ASSERT_TRUE(cBMPparser().LoadStream(
        Bmp32({{25, 50, 100, 128}, {0, 0, 0, 0}, {9, 9, 9, 255}, {0, 0, 0, 0}}, false),
        premultiplied));
    EXPECT_TRUE(premultiplied.Alpha());
    EXPECT_EQ(premultiplied.ImageType(), 7);
    EXPECT_EQ(PixelAt(premultiplied, 0, 0), (Bgra{25, 50, 100, 128}));
}

TEST(BmpDirect32, PixelDataBeyondTheGivenLengthIsNotRead) {
    std::vector<std::uint8_t> file =
        Bmp32({{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}, {13, 14, 15, 16}}, false);
    MemoryImage dib;
    // One byte short, by the length argument and by the array itself.
    EXPECT_EQ(Refusal(file, dib, 0, file.size() - 1), BmpError::PixelsMissing);
    EXPECT_EQ(dib.Handle(), 0);
    file.pop_back();
    EXPECT_EQ(Refusal(file, dib), BmpError::PixelsMissing);
    EXPECT_EQ(dib.Handle(), 0);
}

TEST(BmpStream, OffsetAndLengthSelectTheBitmapInsideALargerArray) {
    const std::vector<std::uint8_t> bmp =
        Bmp32({{1, 2, 3, 255}, {5, 6, 7, 255}, {9, 10, 11, 255}, {13, 14, 15, 255}}, false);
    std::vector<std::uint8_t> stream(7, 0xEE);
    stream.insert(stream.end(), bmp.begin(), bmp.end());
    stream.insert(stream.end(), 5, 0xEE);
    MemoryImage dib;
    ASSERT_TRUE(cBMPparser().LoadStream(stream, dib, 7, bmp.size()));
    EXPECT_EQ(PixelAt(dib, 1, 1), (Bgra{13, 14, 15, 255}));
    EXPECT_EQ(Refusal(stream, dib, 6, bmp.size()), BmpError::BadSignature);
    EXPECT_EQ(Refusal(stream, dib, 7, stream.size()), BmpError::OutsideStream);
    EXPECT_EQ(Refusal(stream, dib, stream.size() + 1), BmpError::OutsideStream);
}

TEST(BmpRejects, WrongSignatureOrSizesLeaveTheImageAlone) {
    MemoryImage dib;
    ASSERT_TRUE(dib.InitializeDIB(3, 3));
    const std::intptr_t before = dib.Handle();
    std::vector<std::uint8_t> file = MakeBmp(2, 2, 24, 0, {}, std::vector<std::uint8_t>(16, 7));
    file[1] = 'A';
    EXPECT_EQ(Refusal(file, dib), BmpError::BadSignature);
    EXPECT_EQ(dib.Handle(), before);
    EXPECT_EQ(dib.Width(), 3);

    EXPECT_EQ(Refusal(MakeBmp(0, 2, 24, 0, {}, {}), dib), BmpError::BadDimensions);
    EXPECT_EQ(Refusal(MakeBmp(-2, 2, 24, 0, {}, {}), dib), BmpError::BadDimensions);
    EXPECT_EQ(Refusal(MakeBmp(2, 0, 24, 0, {}, {}), dib), BmpError::BadDimensions);
    file = MakeBmp(2, 2, 24, 0, {}, {});
    EXPECT_EQ(Refusal({file.begin(), file.begin() + 20}, dib), BmpError::HeaderTruncated);
    file[14] = 65; // no known information header is 65 bytes long
    EXPECT_EQ(Refusal(file, dib), BmpError::BadHeaderSize);
    EXPECT_EQ(dib.Width(), 3);
}

TEST(BmpRejects, HostileSizesAndCodesAllocateNothing) {
    MemoryImage dib;
    // 2^30 x 2^30 pixels claimed by a file of a few bytes; run-length data that could claim it.
    EXPECT_EQ(Refusal(MakeBmp(1 << 30, 1 << 30, 8, 1, {0}, {0, 1}), dib), BmpError::ImageTooLarge);
    EXPECT_EQ(Refusal(MakeBmp(2, INT32_MIN, 24, 0, {}, {}), dib), BmpError::BadDimensions);
    // Run-length data may not claim far more pixels than its bytes can describe; small
    // pictures may end at once.
    EXPECT_EQ(Refusal(MakeBmp(4096, 4096, 8, 1, {0}, {0, 1}), dib), BmpError::RunLengthTooShort);
    MemoryImage small;
    EXPECT_TRUE(cBMPparser().LoadStream(MakeBmp(1000, 1000, 8, 1, {0}, {0, 1}), small));
    EXPECT_EQ(PixelAt(small, 999, 0), (Bgra{0, 0, 0, 255}));
    // Run-length data stored top-down, RLE8 at 4 bits, bit fields at 24 bits, JPEG inside.
    EXPECT_EQ(Refusal(MakeBmp(2, -2, 8, 1, {0}, {0, 1}), dib), BmpError::TopDownRunLength);
    EXPECT_EQ(Refusal(MakeBmp(2, 2, 4, 1, {0}, {0, 1}), dib), BmpError::BadBitCount);
    EXPECT_EQ(Refusal(MakeBmp(2, 2, 24, 3, {}, std::vector<std::uint8_t>(28)), dib),
              BmpError::BadBitCount);
    EXPECT_EQ(Refusal(MakeBmp(2, 2, 24, 4, {}, std::vector<std::uint8_t>(16)), dib),
              BmpError::BadCompression);
    EXPECT_EQ(Refusal(MakeBmp(2, 2, 7, 0, {}, std::vector<std::uint8_t>(16)), dib),
              BmpError::BadBitCount);
    // Pixel offset past the end.
    std::vector<std::uint8_t> file = MakeBmp(1, 1, 24, 0, {}, {1, 2, 3, 0});
    file[10] = 0xFF;
    EXPECT_EQ(Refusal(file, dib), BmpError::PixelsMissing);
    EXPECT_EQ(dib.Handle(), 0);
}

TEST(BmpOwnDecoding, PalettedRowsUsePaddingNibbleOrderAndTheTable) {
    const std::vector<std::uint32_t> palette = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000, 0x123456};
    // 3 x 2 at 4 bits: rows of 2 bytes padded to 4. Bottom row first.
    const std::vector<std::uint8_t> rows = {0x34, 0x00, 0, 0, 0x12, 0x30, 0, 0};
    MemoryImage dib;
    ASSERT_TRUE(cBMPparser().LoadStream(MakeBmp(3, 2, 4, 0, palette, rows), dib));
    EXPECT_FALSE(dib.Alpha());
    EXPECT_EQ(dib.ImageType(), 1);
    EXPECT_EQ(PixelAt(dib, 0, 0), (Bgra{0xFF, 0, 0, 255}));       // index 1: blue
    EXPECT_EQ(PixelAt(dib, 1, 0), (Bgra{0, 0xFF, 0, 255}));       // 2: green
    EXPECT_EQ(PixelAt(dib, 2, 0), (Bgra{0, 0, 0xFF, 255}));       // 3: red
    EXPECT_EQ(PixelAt(dib, 0, 1), (Bgra{0, 0, 0xFF, 255}));       // 3
    EXPECT_EQ(PixelAt(dib, 1, 1), (Bgra{0x56, 0x34, 0x12, 255})); // 4
    EXPECT_EQ(PixelAt(dib, 2, 1), (Bgra{0, 0, 0, 255}));          // 0

    // 1 bit, 10 pixels wide: the second byte of the row holds pixels 8 and 9, high bit first.
    MemoryImage mono;
    ASSERT_TRUE(cBMPparser().LoadStream(
        MakeBmp(10, 1, 1, 0, {0x000000, 0xFFFFFF}, {0b10000001, 0b01000000, 0, 0}), mono));
    const std::vector<int> expected = {1, 0, 0, 0, 0, 0, 0, 1, 0, 1};
    for (int x = 0; x < 10; ++x) {
        EXPECT_EQ(PixelAt(mono, x, 0).r, expected[x] ? 255 : 0) << x;
    }
}

TEST(BmpOwnDecoding, IndicesPastTheTableAreBlack) {
    MemoryImage dib;
    ASSERT_TRUE(cBMPparser().LoadStream(MakeBmp(2, 1, 8, 0, {0xFFFFFF}, {0, 200, 0, 0}), dib));
    EXPECT_EQ(PixelAt(dib, 0, 0), (Bgra{255, 255, 255, 255}));
    EXPECT_EQ(PixelAt(dib, 1, 0), (Bgra{0, 0, 0, 255}));
}

TEST(BmpOwnDecoding, TopDown24BitAndOpaque) {
    // 1 x 2, top row first: blue-ish then red-ish.
    MemoryImage dib;
    ASSERT_TRUE(
        cBMPparser().LoadStream(MakeBmp(1, -2, 24, 0, {}, {200, 1, 2, 0, 3, 4, 201, 0}), dib));
    EXPECT_EQ(PixelAt(dib, 0, 0), (Bgra{200, 1, 2, 255}));
    EXPECT_EQ(PixelAt(dib, 0, 1), (Bgra{3, 4, 201, 255}));
    EXPECT_FALSE(dib.Alpha());
}

TEST(BmpOwnDecoding, BitFieldsWidenEveryChannelToFullRange) {
    // 565 masks right after the 40-byte header.
    test::Bytes b;
    const std::uint32_t offset = 14 + 40 + 12;
    b.u8('B').u8('M').u32(offset + 8).u32(0).u32(offset);
    b.u32(40).u32(3).u32(1).u16(1).u16(16).u32(3).u32(8).u32(0).u32(0).u32(0).u32(0);
    b.u32(0xF800).u32(0x07E0).u32(0x001F);
    b.u16(0xFFFF).u16(0x0821).u16(0x8410).u16(0); // white, (1,1,1), (16,32,16), pad
    MemoryImage dib;
    ASSERT_TRUE(cBMPparser().LoadStream(b.v, dib));
    EXPECT_EQ(PixelAt(dib, 0, 0), (Bgra{255, 255, 255, 255}));
    EXPECT_EQ(PixelAt(dib, 1, 0), (Bgra{8, 4, 8, 255}));
    EXPECT_EQ(PixelAt(dib, 2, 0), (Bgra{132, 130, 132, 255}));

    // Plain 16 bits are 5-5-5.
    MemoryImage plain;
    ASSERT_TRUE(cBMPparser().LoadStream(MakeBmp(1, 1, 16, 0, {}, {0x00, 0x7C, 0, 0}), plain));
    EXPECT_EQ(PixelAt(plain, 0, 0), (Bgra{0, 0, 255, 255}));

    // 32-bit bit fields (not the direct path): opaque, image type 1.
    test::Bytes c;
    c.u8('B').u8('M').u32(offset + 4).u32(0).u32(offset);
    c.u32(40).u32(1).u32(1).u16(1).u16(32).u32(3).u32(4).u32(0).u32(0).u32(0).u32(0);
    c.u32(0x000000FF).u32(0x0000FF00).u32(0x00FF0000); // red in the low byte
    c.u8(10).u8(20).u8(30).u8(40);
    MemoryImage fields;
    ASSERT_TRUE(cBMPparser().LoadStream(c.v, fields));
    EXPECT_EQ(PixelAt(fields, 0, 0), (Bgra{30, 20, 10, 255}));
    EXPECT_EQ(fields.ImageType(), 1);
    EXPECT_FALSE(fields.Alpha());
}

TEST(BmpOwnDecoding, Os2CoreHeaderWithThreeByteColours) {
    test::Bytes b;
    const std::uint32_t offset = 14 + 12 + 2 * 3;
    b.u8('B').u8('M').u32(offset + 4).u32(0).u32(offset);
    b.u32(12).u16(2).u16(1).u16(1).u16(1);
    b.u8(0).u8(0).u8(0).u8(10).u8(20).u8(30); // black, (b10, g20, r30)
    b.u8(0x40).u8(0).u8(0).u8(0);             // pixel 0 black, pixel 1 colour 1
    MemoryImage dib;
    ASSERT_TRUE(cBMPparser().LoadStream(b.v, dib));
    EXPECT_EQ(PixelAt(dib, 0, 0), (Bgra{0, 0, 0, 255}));
    EXPECT_EQ(PixelAt(dib, 1, 0), (Bgra{10, 20, 30, 255}));
}

TEST(BmpRunLength, Rle8RunsAbsoluteRunsDeltaAndLineEnds) {
    std::vector<std::uint32_t> palette(256);
    for (std::uint32_t i = 0; i < 256; ++i) palette[i] = i << 16; // red = index
    // 6 x 3. Bottom row: run of 2 x 5, absolute 3 pixels (7, 8, 9, padded), end of line.
    // Middle row: delta (+2, +1) from (0, 1) lands on (2, 2): the middle row stays black and
    // the top row gets 4 pixels of 6 from x = 2 (clipped to the width). End of bitmap.
    const std::vector<std::uint8_t> data = {2, 5, 0, 3, 7, 8, 9, 0, 0, 0, 0, 2, 2, 1, 6, 6, 0, 1};
    MemoryImage dib;
    ASSERT_TRUE(cBMPparser().LoadStream(MakeBmp(6, 3, 8, 1, palette, data), dib));
    auto red = [&](int x, int y) { return int(PixelAt(dib, x, y).r); };
    EXPECT_EQ(red(0, 2), 5);
    EXPECT_EQ(red(1, 2), 5);
    EXPECT_EQ(red(2, 2), 7);
    EXPECT_EQ(red(3, 2), 8);
    EXPECT_EQ(red(4, 2), 9);
    EXPECT_EQ(red(5, 2), 0);
    for (int x = 0; x < 6; ++x) EXPECT_EQ(red(x, 1), 0) << x;
    EXPECT_EQ(red(0, 0), 0);
    EXPECT_EQ(red(1, 0), 0);
    for (int x = 2; x < 6; ++x) EXPECT_EQ(red(x, 0), 6) << x;
    EXPECT_EQ(PixelAt(dib, 5, 1).a, 255);
}

TEST(BmpRunLength, Rle4AlternatesNibblesInRunsAndAbsoluteRuns) {
    std::vector<std::uint32_t> palette(16);
    for (std::uint32_t i = 0; i < 16; ++i) palette[i] = (i * 16) << 8; // green = 16 * index
    // 7 x 1: run of 3 of nibbles (1, 2) -> 1 2 1; absolute 3 pixels 3 4 5 in 2 bytes, padded
    // to 4 bytes with the escape; then a run of 5 that only 1 pixel fits.
    const std::vector<std::uint8_t> data = {3, 0x12, 0, 3, 0x34, 0x50, 5, 0x66, 0, 1};
    MemoryImage dib;
    ASSERT_TRUE(cBMPparser().LoadStream(MakeBmp(7, 1, 4, 2, palette, data), dib));
    const std::vector<int> expected = {1, 2, 1, 3, 4, 5, 6};
    for (int x = 0; x < 7; ++x) EXPECT_EQ(PixelAt(dib, x, 0).g, expected[x] * 16) << x;
}

TEST(BmpRunLength, TruncatedStreamsKeepWhatWasDecoded) {
    std::vector<std::uint32_t> palette = {0, 0xFFFFFF};
    // Absolute run promising 4 bytes with 1 present; no end of bitmap.
    MemoryImage dib;
    ASSERT_TRUE(cBMPparser().LoadStream(MakeBmp(4, 2, 8, 1, palette, {2, 1, 0, 4, 1}), dib));
    EXPECT_EQ(PixelAt(dib, 0, 1).r, 255);
    EXPECT_EQ(PixelAt(dib, 1, 1).r, 255);
    EXPECT_EQ(PixelAt(dib, 2, 1), (Bgra{0, 0, 0, 255}));
}

} // namespace
} // namespace corvale
