// The icon and cursor decoder: directory validation and queries, entry choice, bitmap entries of
// every depth with their masks (256 pixels wide included) and PNG entries.
#include <gtest/gtest.h>

#include "codecs/cICOparser.h"
#include "codecs/cPNGparser.h"
#include "codecs/cPNGwriter.h"
#include "tests/codecs/bmp_ico_gif_support.h"
#include "tests/codecs/memory_image.h"

namespace corvale {
namespace {

using test::Bgra;
using test::Bytes;
using test::PixelAt;

struct Entry {
    int width = 16, height = 16;     // 256 is written as 0
    int dirBits = 0;                 // bit count in the directory
    std::vector<std::uint8_t> image; // bitmap (header, table, pixels, mask) or PNG bytes
};

std::vector<std::uint8_t> MakeIco(const std::vector<Entry>& entries, int type = 1) {
    Bytes b;
    b.u16(0).u16(static_cast<std::uint32_t>(type)).u16(static_cast<std::uint32_t>(entries.size()));
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(entries.size());
    for (const Entry& e : entries) {
        b.u8(e.width & 0xFF).u8(e.height & 0xFF).u8(0).u8(0).u16(1).u16(e.dirBits);
        b.u32(static_cast<std::uint32_t>(e.image.size())).u32(offset);
        offset += static_cast<std::uint32_t>(e.image.size());
    }
    for (const Entry& e : entries) b.raw(e.image);
    return b.v;
}

std::size_t RowBytesOf(int width, int bits) {
    return ((width * bits + 31) / 32) * 4;
}

// A bitmap entry: header with height doubled, full colour table, colour rows filled by
// `pixel(x, stored row)` (an index, or B G R A for 32 bits), mask rows from `masked(x, row)`.
template <class Pixel, class Masked>
std::vector<std::uint8_t> BitmapImage(int width, int height, int bits, Pixel pixel, Masked masked,
                                      int headerBits = -1) {
    Bytes b;
    b.u32(40).u32(width).u32(2 * height).u16(1).u16(headerBits < 0 ? bits : headerBits);
    b.u32(0).u32(0).u32(0).u32(0).u32(0).u32(0);
    if (bits <= 8) {
        for (int i = 0; i < (1 << bits); ++i) b.u32(static_cast<std::uint32_t>(i) * 0x010101);
    }
    const std::size_t rowBytes = RowBytesOf(width, bits);
    for (int r = 0; r < height; ++r) {
        std::vector<std::uint8_t> row(rowBytes, 0);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t v = pixel(x, r);
            if (bits >= 16) {
                const int bytes = bits / 8;
                for (int k = 0; k < bytes; ++k) {
                    row[bytes * x + k] = static_cast<std::uint8_t>(v >> (8 * k));
                }
            } else {
                const int bitPos = x * bits;
                row[bitPos / 8] |= static_cast<std::uint8_t>(v << (8 - bits - bitPos % 8));
            }
        }
        b.raw(row);
    }
    const std::size_t maskRow = RowBytesOf(width, 1);
    for (int r = 0; r < height; ++r) {
        std::vector<std::uint8_t> row(maskRow, 0);
        for (int x = 0; x < width; ++x) {
            if (masked(x, r)) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
        b.raw(row);
    }
    return b.v;
}

std::vector<std::uint8_t> Plain(int w, int h, int bits) {
    return BitmapImage(
        w, h, bits, [](int, int) { return 1u; }, [](int, int) { return false; });
}

// The start of a PNG: signature, IHDR with the given size, depth and colour type.
std::vector<std::uint8_t> PngHead(std::uint32_t w, std::uint32_t h, int depth, int colourType) {
    Bytes b;
    b.raw({137, 80, 78, 71, 13, 10, 26, 10}).raw({0, 0, 0, 13}).raw({'I', 'H', 'D', 'R'});
    b.raw({static_cast<std::uint8_t>(w >> 24), static_cast<std::uint8_t>(w >> 16),
           static_cast<std::uint8_t>(w >> 8), static_cast<std::uint8_t>(w)});
    b.raw({static_cast<std::uint8_t>(h >> 24), static_cast<std::uint8_t>(h >> 16),
           static_cast<std::uint8_t>(h >> 8), static_cast<std::uint8_t>(h)});
    b.u8(depth).u8(colourType).u8(0).u8(0).u8(0).zeros(20);
    return b.v;
}

TEST(IcoChoice, ClosestEntryWinsWithLargerBeatingSmaller) {
    cICOparser p;
    const auto ico = MakeIco({{16, 16, 0, Plain(16, 16, 32)},
                              {32, 32, 0, Plain(32, 32, 8)},
                              {48, 48, 0, Plain(48, 48, 32)}});
    ASSERT_TRUE(p.LoadStream(ico, 32, 32, nullptr));
    EXPECT_EQ(p.SelectEntry(32, 32, 32), 2); // 24 beats 32
    EXPECT_EQ(p.SelectEntry(48, 48, 32), 3); // exact
    EXPECT_EQ(p.SelectEntry(32, 32, 8), 2);
    MemoryImage dib;
    ASSERT_TRUE(p.LoadStream(ico, 0, 0, &dib)); // 0 x 0 asks for 32 x 32
    EXPECT_EQ(dib.Width(), 32);
}

TEST(IcoChoice, AllSmallerEntriesAreRescoredAndTheLaterWinsTies) {
    cICOparser p;
    ASSERT_TRUE(p.LoadStream(
        MakeIco({{16, 16, 0, Plain(16, 16, 4)}, {16, 16, 0, Plain(16, 16, 32)}}), 32, 32, nullptr));
    EXPECT_EQ(p.SelectEntry(32, 32, 32), 2);
    // Equal positive scores: the earlier entry.
    ASSERT_TRUE(p.LoadStream(
        MakeIco({{48, 48, 0, Plain(48, 48, 8)}, {48, 48, 0, Plain(48, 48, 8)}}), 32, 32, nullptr));
    EXPECT_EQ(p.SelectEntry(32, 32, 32), 1);
}

TEST(IcoChoice, EntriesDeeperThan32BitsLoseAndUnusableEntriesAreSkipped) {
    cICOparser p;
    // A 64-bit 32 x 32 entry scores -10000; the 16 x 16 one is taken after rescoring.
    ASSERT_TRUE(p.LoadStream(
        MakeIco({{32, 32, 0,
                  BitmapImage(
                      32, 32, 8, [](int, int) { return 0u; }, [](int, int) { return false; }, 64)},
                 {16, 16, 0, Plain(16, 16, 8)}}),
        32, 32, nullptr));
    EXPECT_EQ(p.SelectEntry(32, 32, 32), 2);
    // A broken PNG entry has no bit count and cannot be chosen.
    auto broken = PngHead(32, 32, 8, 6);
    broken[12] = 'X';
    ASSERT_TRUE(p.LoadStream(MakeIco({{32, 32, 32, broken}, {16, 16, 0, Plain(16, 16, 8)}}), 32, 32,
                             nullptr));
    EXPECT_EQ(p.bitDepth(1), 0);
    EXPECT_EQ(p.SelectEntry(32, 32, 32), 2);
}

TEST(IcoValidation, HeaderDirectoryAndSizesMustHold) {
    cICOparser p;
    auto refusal = [&](const std::vector<std::uint8_t>& bytes) {
        EXPECT_FALSE(p.LoadStream(bytes, 0, 0, nullptr));
        return p.Failure();
    };
    const auto good = MakeIco({{16, 16, 0, Plain(16, 16, 4)}});
    EXPECT_TRUE(p.LoadStream(good, 0, 0, nullptr));
    auto bad = good;
    bad[0] = 1; // reserved
    EXPECT_EQ(refusal(bad), IcoError::BadHeader);
    bad = good;
    bad[2] = 3; // type
    EXPECT_EQ(refusal(bad), IcoError::BadHeader);
    bad = good;
    bad[4] = 0; // count
    EXPECT_EQ(refusal(bad), IcoError::BadHeader);
    bad = good;
    bad[4] = 2; // a second entry read from the first one's image bytes
    EXPECT_EQ(refusal(bad), IcoError::ImagesTruncated);
    EXPECT_EQ(refusal({good.begin(), good.begin() + 6 + 15}), IcoError::DirectoryTruncated);
    // The directory promises more image bytes than the data hold.
    bad = good;
    bad[6 + 8] = static_cast<std::uint8_t>(bad[6 + 8] + 1);
    EXPECT_EQ(refusal(bad), IcoError::ImagesTruncated);
    // An entry pointing outside the data.
    bad = good;
    bad[6 + 13] = 0x10;
    EXPECT_EQ(refusal(bad), IcoError::EntryOutside);
    EXPECT_EQ(p.IconCount(), 0);
    // Bit count 0 in the bitmap and in the directory.
    EXPECT_EQ(refusal(MakeIco({{16, 16, 0,
                                BitmapImage(
                                    16, 16, 4, [](int, int) { return 0u; },
                                    [](int, int) { return false; }, 0)}})),
              IcoError::UnknownDepth);
    EXPECT_EQ(refusal(std::vector<std::uint8_t>{0, 0, 1, 0, 1}), IcoError::HeaderTruncated);
}

TEST(IcoQueries, SizesDepthsColoursAndOffsets) {
    cICOparser p;
    const auto ico = MakeIco({{32, 16, 0, Plain(32, 16, 4)},
                              {256, 256, 0, PngHead(256, 256, 8, 6)},
                              {24, 24, 0, Plain(24, 24, 24)}});
    ASSERT_TRUE(p.LoadStream(ico, 0, 0, nullptr));
    EXPECT_EQ(p.IconCount(), 3);
    EXPECT_EQ(p.Width(1), 32);
    EXPECT_EQ(p.Height(1), 16);
    EXPECT_EQ(p.bitDepth(1), 4);
    EXPECT_EQ(p.ColorCount(1), 16);
    EXPECT_EQ(p.ColorByteOffset(1), 6 + 3 * 16 + 40 + 64);
    EXPECT_FALSE(p.IsIconPNG(1));
    EXPECT_TRUE(p.IsIconPNG(2));
    EXPECT_EQ(p.Width(2), 256);
    EXPECT_EQ(p.bitDepth(2), 32);
    EXPECT_EQ(p.Width(0), 0);
    EXPECT_EQ(p.Width(4), 0);
    const std::vector<IconSize> sizes = p.Sizes();
    ASSERT_EQ(sizes.size(), 3u);
    EXPECT_EQ(sizes[0], (IconSize{32, 16, 4, 16}));
    EXPECT_EQ(sizes[1], (IconSize{256, 256, 32, -1}));
    EXPECT_EQ(sizes[2], (IconSize{24, 24, 24, 0xFF000000}));
}

TEST(IcoQueries, PngEntryDepthComesFromItsHeader) {
    struct Case {
        int depth, colourType, expected;
    };
    for (const Case c : {Case{8, 6, 32}, Case{8, 4, 32}, Case{16, 2, 32}, Case{8, 2, 24},
                         Case{4, 3, 4}, Case{1, 0, 1}}) {
        cICOparser p;
        ASSERT_TRUE(p.LoadStream(MakeIco({{48, 48, 0, PngHead(48, 48, c.depth, c.colourType)}}), 0,
                                 0, nullptr));
        EXPECT_EQ(p.bitDepth(1), c.expected) << c.depth << "/" << c.colourType;
    }
    // A PNG larger than 256 pixels keeps its directory bytes; the depth still comes from it.
    cICOparser big;
    ASSERT_TRUE(big.LoadStream(MakeIco({{0, 0, 24, PngHead(300, 300, 8, 2)}}), 0, 0, nullptr));
    EXPECT_EQ(big.bitDepth(1), 24);
}

TEST(IcoBitmap, MaskedEntryTakesColoursFromTheTableAndHolesFromTheMask) {
    // 8 bits, index = x + 10 * stored row; the mask clears the pixel (1, 0) of the bottom row.
    const auto image = BitmapImage(
        3, 2, 8, [](int x, int r) { return static_cast<std::uint32_t>(x + 10 * r); },
        [](int x, int r) { return x == 1 && r == 0; });
    for (int type : {1, 2}) {
        MemoryImage dib;
        ASSERT_TRUE(cICOparser().LoadStream(MakeIco({{3, 2, 0, image}}, type), 3, 2, &dib));
        ASSERT_EQ(dib.Width(), 3);
        ASSERT_EQ(dib.Height(), 2);
        EXPECT_EQ(dib.ImageType(), type == 1 ? 3 : 5);
        EXPECT_TRUE(dib.Alpha());
        EXPECT_EQ(PixelAt(dib, 0, 0), (Bgra{10, 10, 10, 255})); // top row is stored row 1
        EXPECT_EQ(PixelAt(dib, 2, 0), (Bgra{12, 12, 12, 255}));
        EXPECT_EQ(PixelAt(dib, 0, 1), (Bgra{0, 0, 0, 255}));
        EXPECT_EQ(PixelAt(dib, 1, 1), (Bgra{}));
        EXPECT_EQ(PixelAt(dib, 2, 1), (Bgra{2, 2, 2, 255}));
    }
}

TEST(IcoBitmap, EveryDepthBelow32BitsDecodes) {
    for (int bits : {1, 4, 8, 16, 24}) {
        const auto image = BitmapImage(
            5, 3, bits,
            [bits](int x, int) -> std::uint32_t {
                if (bits == 24) return 0x102030;
                if (bits == 16) return 0x7C00; // red in 5-5-5
                return static_cast<std::uint32_t>(x % 2);
            },
            [](int, int) { return false; });
        MemoryImage dib;
        ASSERT_TRUE(cICOparser().LoadStream(MakeIco({{5, 3, 0, image}}), 5, 3, &dib)) << bits;
        ASSERT_EQ(dib.Width(), 5) << bits;
        EXPECT_FALSE(dib.Alpha()) << bits;
        const Bgra p = PixelAt(dib, 1, 1);
        if (bits == 24) {
            EXPECT_EQ(p, (Bgra{0x30, 0x20, 0x10, 255}));
        } else if (bits == 16) {
            EXPECT_EQ(p, (Bgra{0, 0, 255, 255}));
        } else {
            EXPECT_EQ(p, (Bgra{1, 1, 1, 255})) << bits;
            EXPECT_EQ(PixelAt(dib, 0, 1), (Bgra{0, 0, 0, 255})) << bits;
        }
    }
}

TEST(IcoBitmap, Entries256PixelsWideDecodeWithTheirFullMaskRows) {
    // 4 bits, 256 x 256: only the last pixel of the top row is masked out.
    const auto image = BitmapImage(
        256, 256, 4, [](int x, int) { return static_cast<std::uint32_t>(x % 16); },
        [](int x, int r) { return x == 255 && r == 255; });
    MemoryImage dib;
    ASSERT_TRUE(cICOparser().LoadStream(MakeIco({{256, 256, 0, image}}), 256, 256, &dib));
    ASSERT_EQ(dib.Width(), 256);
    ASSERT_EQ(dib.Height(), 256);
    EXPECT_EQ(PixelAt(dib, 255, 0), (Bgra{}));
    EXPECT_EQ(PixelAt(dib, 254, 0), (Bgra{14, 14, 14, 255}));
    EXPECT_EQ(PixelAt(dib, 255, 1), (Bgra{15, 15, 15, 255}));
    EXPECT_EQ(PixelAt(dib, 0, 255).a, 255);
}

TEST(IcoBitmap, ThirtyTwoBitEntriesUseTheirOwnAlpha) {
    // Alpha 0 clears the pixel, 255 keeps it, 128 premultiplies; the mask is ignored.
    const auto image = BitmapImage(
        3, 1, 32,
        [](int x, int) -> std::uint32_t {
            const std::uint32_t alpha[3] = {0, 255, 128};
            return 0x00C86432u | (alpha[x] << 24); // b 0x32, g 0x64, r 0xC8
        },
        [](int, int) { return true; });
    for (int type : {1, 2}) {
        MemoryImage dib;
        ASSERT_TRUE(cICOparser().LoadStream(MakeIco({{3, 1, 0, image}}, type), 3, 1, &dib));
        EXPECT_TRUE(dib.Alpha());
        EXPECT_EQ(dib.ImageType(), type == 1 ? 8 : 12);
        EXPECT_EQ(PixelAt(dib, 0, 0), (Bgra{}));
        EXPECT_EQ(PixelAt(dib, 1, 0), (Bgra{0x32, 0x64, 0xC8, 255}));
        EXPECT_EQ(PixelAt(dib, 2, 0), (Bgra{25, 50, 100, 128}));
    }
    // All alpha bytes 0: fully transparent.
    const auto clear = BitmapImage(
        2, 2, 32, [](int, int) { return 0x00FFFFFFu; }, [](int, int) { return false; });
    MemoryImage dib;
    ASSERT_TRUE(cICOparser().LoadStream(MakeIco({{2, 2, 0, clear}}), 2, 2, &dib));
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 2; ++x) EXPECT_EQ(PixelAt(dib, x, y), (Bgra{}));
    }
}

TEST(IcoBitmap, ABitmapThatCannotBeConvertedLeavesNoImage) {
    auto image = Plain(16, 16, 8);
    image[0] = 12; // header size below 40
    MemoryImage dib;
    cICOparser parser;
    EXPECT_TRUE(parser.LoadStream(MakeIco({{16, 16, 0, image}}), 16, 16, &dib));
    EXPECT_EQ(parser.Failure(), IcoError::BadBitmapHeader);
    EXPECT_EQ(dib.Handle(), 0);
    EXPECT_FALSE(DecodeIcoStream(dib, MakeIco({{16, 16, 0, image}}), {}));
}

bool StampPng(ImageHost& dib, std::span<const std::uint8_t> bytes, const IconWish&) {
    // Proves which bytes arrived: the IHDR width becomes the image width.
    if (bytes.size() < 24 || bytes[12] != 'I') return false;
    dib.InitializeDIB(bytes[19], bytes[23]);
    dib.SetImageType(10);
    return true;
}

bool FailPng(ImageHost&, std::span<const std::uint8_t>, const IconWish&) {
    return false;
}

TEST(IcoPng, PngEntriesGoToThePngDecoderWithTheirOwnBytes) {
    const auto ico = MakeIco({{16, 16, 0, Plain(16, 16, 32)}, {48, 40, 0, PngHead(48, 40, 8, 6)}});
    MemoryImage dib;
    ASSERT_TRUE(cICOparser(StampPng).LoadStream(ico, 48, 40, &dib));
    EXPECT_EQ(dib.Width(), 48);
    EXPECT_EQ(dib.Height(), 40);
    EXPECT_EQ(dib.ImageType(), 11);
    MemoryImage failed;
    cICOparser failing(FailPng);
    EXPECT_FALSE(failing.LoadStream(ico, 48, 40, &failed));
    EXPECT_EQ(failing.Failure(), IcoError::PngEntryFailed);
    EXPECT_EQ(failed.Handle(), 0);
}

TEST(IcoPng, APngEntryThatFailsToDecodeIsStillClaimed) {
    // Signature and header only: the own PNG decoder claims it and makes no picture.
    const auto ico = MakeIco({{48, 40, 0, PngHead(48, 40, 8, 6)}});
    MemoryImage dib;
    cICOparser parser;
    EXPECT_TRUE(parser.LoadStream(ico, 48, 40, &dib));
    EXPECT_EQ(parser.Failure(), IcoError::PngEntryFailed);
    EXPECT_EQ(dib.Handle(), 0);
    EXPECT_FALSE(DecodeIcoStream(dib, ico, {48, 40, 32}));
}

TEST(IcoPng, TheSizeDecodedIsCheckedNotTheFirstHeader) {
    // A 300 x 2 PNG with a 16 x 16 header chunk put in front of its own: the directory sees
    // 16 x 16, the decoder decodes the later header's size, which is beyond an entry's 256.
    MemoryImage wide;
    ASSERT_TRUE(wide.InitializeDIB(300, 2));
    std::vector<std::uint8_t> png;
    ASSERT_TRUE(cPNGwriter().WritePNG(wide, {}, png));
    std::vector<std::uint8_t> first(png.begin() + 8, png.begin() + 8 + 25); // IHDR chunk
    first[8 + 3] = 16;
    first[8 + 2] = 0;
    first[8 + 1] = 0;
    first[12 + 3] = 16;
    std::uint32_t crc = 0xFFFFFFFFu; // over type and body
    for (std::size_t i = 4; i < 21; ++i) {
        crc ^= first[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    crc = ~crc;
    for (int k = 0; k < 4; ++k) first[21 + k] = std::uint8_t(crc >> (24 - 8 * k));
    png.insert(png.begin() + 8, first.begin(), first.end());
    const auto ico = MakeIco({{16, 16, 0, png}});
    MemoryImage dib;
    EXPECT_TRUE(cICOparser().LoadStream(ico, 16, 16, &dib));
    EXPECT_EQ(dib.Handle(), 0);
    EXPECT_FALSE(DecodeIcoStream(dib, ico, {16, 16, 32}));
    // The same bytes as a plain PNG decode at their last header's size.
    EXPECT_TRUE(DecodePngStream(dib, png, {}));
    EXPECT_EQ(dib.Width(), 300);
}

TEST(IcoBitmap, BitFieldMasksOfLongerHeadersMustLieInTheEntry) {
    // A 1 x 1 16-bit entry with bit-field compression and a header of 41 to 51 bytes, then one
    // pixel row and one mask row: the masks sit at bytes 40 to 51 of the entry.
    for (std::uint32_t headerSize = 41; headerSize <= 51; ++headerSize) {
        Bytes entry;
        entry.u32(headerSize).u32(1).u32(2).u16(1).u16(16).u32(3);
        entry.zeros(headerSize - entry.v.size());
        entry.u32(0x7C00).u32(0); // the pixel, padded; then the mask row
        MemoryImage dib;
        cICOparser parser;
        EXPECT_TRUE(parser.LoadStream(MakeIco({{1, 1, 16, entry.v}}), 1, 1, &dib));
        if (entry.v.size() < 52) {
            EXPECT_EQ(dib.Handle(), 0) << headerSize;
            EXPECT_EQ(parser.Failure(), IcoError::BitmapTruncated) << headerSize;
        }
    }
}

TEST(IcoFixture, ImageMagickIconWithTwoAlphaEntries) {
    const auto ico = test::ReadFixture("disc.ico");
    cICOparser p;
    ASSERT_TRUE(p.LoadStream(ico, 16, 16, nullptr));
    EXPECT_EQ(p.IconCount(), 2);
    MemoryImage dib;
    ASSERT_TRUE(DecodeIcoStream(dib, ico, {16, 16, 32}));
    EXPECT_EQ(dib.Width(), 16);
    EXPECT_EQ(dib.ImageType(), 8);
    EXPECT_EQ(PixelAt(dib, 0, 0), (Bgra{}));
    EXPECT_EQ(PixelAt(dib, 8, 8), (Bgra{0, 255, 255, 255}));
    ASSERT_TRUE(DecodeIcoStream(dib, ico, {32, 32, 32}));
    EXPECT_EQ(dib.Width(), 32);
    EXPECT_EQ(IconFileSizes(ico), (std::vector<IconSize>{{16, 16, 32, -1}, {32, 32, 32, -1}}));
}

} // namespace
} // namespace corvale
