// Running out of memory: every decoder, the PNG encoder and the image object's loader meet a
// failed allocation with their failure result (no exception reaches the caller, no picture is
// left half made). The global operator new of this program is the seam: it can be told to fail
// after a number of allocations, and it records the largest single request.
#include "codecs/cBMPparser.h"
#include "codecs/cGIFparser.h"
#include "codecs/cICOparser.h"
#include "codecs/cPNGparser.h"
#include "codecs/cPNGwriter.h"
#include "imaging/c32bppDIB.h"
#include "tests/codecs/bmp_ico_gif_support.h"
#include "tests/codecs/memory_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <new>
#include <string>

namespace {

// Allocations still allowed before operator new fails; negative: no limit.
long gBudget = -1;
long gRefused = 0; // requests refused so far
std::size_t gLargest = 0;
// Bytes held through operator new now, and the most held since the peak was last reset.
std::size_t gLive = 0, gPeak = 0;
// Each block carries its size in front of it (keeping the alignment malloc gives).
constexpr std::size_t kHead = 16;

void* Allocate(std::size_t n) noexcept {
    if (gBudget == 0) {
        ++gRefused;
        return nullptr;
    }
    if (gBudget > 0) --gBudget;
    if (n > gLargest) gLargest = n;
    auto* block = static_cast<unsigned char*>(std::malloc(n + kHead));
    if (!block) return nullptr;
    std::memcpy(block, &n, sizeof n);
    gLive += n;
    gPeak = std::max(gPeak, gLive);
    return block + kHead;
}

void Release(void* p) noexcept {
    if (!p) return;
    auto* block = static_cast<unsigned char*>(p) - kHead;
    std::size_t n;
    std::memcpy(&n, block, sizeof n);
    gLive -= n;
    std::free(block);
}

} // namespace

#include "tests/support/replaced_new.h"

namespace corvale {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Runs `work` with allocation n failing, for n = 0, 1, 2, ... until a run needs no failing
// allocation. `work` returns true when it ended with a picture; a run that fails must leave
// none, and nothing may be thrown. Returns whether the last (unhindered) run made a picture.
bool EveryAllocationFailsInTurn(const std::function<bool(bool& hasPicture)>& work) {
    for (long n = 0; n < 100000; ++n) {
        gBudget = n;
        bool made = false, hasPicture = false;
        try {
            made = work(hasPicture);
        } catch (...) {
            gBudget = -1;
            ADD_FAILURE() << "an exception escaped with allocation " << n << " failing";
            return false;
        }
        const bool exhausted = gBudget == 0;
        gBudget = -1;
        if (!made) {
            EXPECT_FALSE(hasPicture) << "allocation " << n;
        }
        if (!exhausted) return made;
    }
    ADD_FAILURE() << "never ran to the end";
    return false;
}

Bytes Fixture(const char* name) {
    return test::ReadFixture(name);
}

Bytes SmallPng() {
    MemoryImage image;
    image.InitializeDIB(9, 7);
    for (int i = 0; i < 9 * 7 * 4; ++i) image.BitsPointer()[i] = std::uint8_t(i * 37 % 256);
    for (int i = 3; i < 9 * 7 * 4; i += 4) image.BitsPointer()[i] = 255;
    Bytes png;
    cPNGwriter().WritePNG(image, {}, png);
    return png;
}

TEST(OutOfMemory, EachDecoderGivesItsFailureResult) {
    struct Case {
        std::string name;
        Bytes bytes;
        StreamDecoder decoder;
    };
    const Case cases[] = {
        {"rgb24.bmp", Fixture("rgb24.bmp"), DecodeBmpStream},
        {"rle8.bmp", Fixture("rle8.bmp"), DecodeBmpStream},
        {"interlaced.gif", Fixture("interlaced.gif"), DecodeGifStream},
        {"transparent.gif", Fixture("transparent.gif"), DecodeGifStream},
        {"disc.ico", Fixture("disc.ico"), DecodeIcoStream},
        {"png", SmallPng(), DecodePngStream},
    };
    for (const Case& c : cases) {
        ASSERT_FALSE(c.bytes.empty()) << c.name;
        const bool lastMade = EveryAllocationFailsInTurn([&](bool& hasPicture) {
            MemoryImage image;
            const bool made = c.decoder(image, c.bytes, IconWish{});
            hasPicture = image.BitsPointer() != nullptr;
            return made;
        });
        EXPECT_TRUE(lastMade) << c.name;
    }
}

// A PNG decode that a failed allocation stops says so, on either inflate path, rather than
// blaming the file.
TEST(OutOfMemory, ThePngDecoderNamesTheFailedAllocation) {
    static constexpr std::string_view kNoZlib[] = {"corvale-no-such-library"};
    const Bytes png = SmallPng();
    for (bool withZlib : {true, false}) {
        PngDecodeOptions options;
        options.gdiplus = nullptr;
        if (!withZlib) options.zlibNames = kNoZlib;
        EXPECT_TRUE(EveryAllocationFailsInTurn([&](bool& hasPicture) {
            MemoryImage image;
            cPNGparser parser(options);
            parser.LoadStream(png, image);
            hasPicture = image.BitsPointer() != nullptr;
            const PngError why = parser.Failure();
            if (why == PngError::Inflate) {
                EXPECT_EQ(parser.LastInflateError(), InflateError::OutOfMemory) << withZlib;
            } else if (why != PngError::None) {
                EXPECT_EQ(why, PngError::OutOfMemory) << parser.LastError() << " " << withZlib;
            }
            return why == PngError::None && hasPicture;
        })) << withZlib;
    }
}

// Writing an interlaced picture's even rows whole takes a buffer of its own, which only makes the
// decode quicker: when it is refused the passes write their pixels in place, and the picture
// comes out the same.
TEST(OutOfMemory, AnInterlacedPngDecodesTheSameWithoutItsRowOfOddColumns) {
    std::ifstream in(std::string(CORVALE_PNGSUITE_DIR) + "/basi6a08.png", std::ios::binary);
    const Bytes png{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_FALSE(png.empty());
    MemoryImage reference;
    ASSERT_TRUE(DecodePngStream(reference, png, IconWish{}));
    const Bytes expected(reference.BitsPointer(), reference.BitsPointer() + 32 * 32 * 4);
    int madeDespiteAFailure = 0;
    EveryAllocationFailsInTurn([&](bool& hasPicture) {
        MemoryImage image;
        const long refused = gRefused;
        const bool made = DecodePngStream(image, png, IconWish{});
        hasPicture = image.BitsPointer() != nullptr;
        if (made && gRefused != refused) {
            ++madeDespiteAFailure;
            EXPECT_TRUE(std::equal(expected.begin(), expected.end(), image.BitsPointer()));
        }
        return made;
    });
    EXPECT_EQ(madeDespiteAFailure, 1);
}

TEST(OutOfMemory, IconDirectoryAndSizesGiveTheirFailureResult) {
    const Bytes ico = Fixture("disc.ico");
    EXPECT_TRUE(EveryAllocationFailsInTurn([&](bool& hasPicture) {
        hasPicture = false;
        return IconFileSizes(ico).size() == 2;
    }));
}

TEST(OutOfMemory, EncoderGivesItsFailureResult) {
    MemoryImage image;
    ASSERT_TRUE(image.InitializeDIB(40, 30));
    for (int i = 0; i < 40 * 30 * 4; ++i) image.BitsPointer()[i] = std::uint8_t(i * 7);
    for (int i = 3; i < 40 * 30 * 4; i += 4) image.BitsPointer()[i] = 255;
    EXPECT_TRUE(EveryAllocationFailsInTurn([&](bool& hasPicture) {
        hasPicture = false;
        Bytes out;
        return cPNGwriter().WritePNG(image, {}, out) && !out.empty();
    }));
}

TEST(OutOfMemory, ImageLoaderGivesItsFailureResult) {
    for (const char* name : {"rgb24.bmp", "interlaced.gif", "disc.ico"}) {
        const Bytes bytes = Fixture(name);
        EXPECT_TRUE(EveryAllocationFailsInTurn([&](bool& hasPicture) {
            c32bppDIB dib(kCapGdiplusBarred);
            const bool made = dib.LoadPicture_Stream(bytes, 0, 0, 0, 0, true);
            hasPicture = dib.BitsPointer() != nullptr;
            return made;
        })) << name;
    }
    const std::string file = std::string(CORVALE_TESTDATA_DIR) + "/bmp_ico_gif/plain.gif";
    EXPECT_TRUE(EveryAllocationFailsInTurn([&](bool& hasPicture) {
        c32bppDIB dib(kCapGdiplusBarred);
        const bool made = dib.LoadPicture_File(file);
        hasPicture = dib.BitsPointer() != nullptr;
        return made;
    }));
}

// A small picture with alpha, half its pixels transparent, kept with its PNG bytes.
void MakeSource(c32bppDIB& dib) {
    ASSERT_TRUE(dib.LoadPicture_Stream(SmallPng(), 0, 0, 0, 0, true));
    for (int i = 0; i < dib.Width() * dib.Height(); i += 2)
        std::memset(dib.BitsPointer() + i * 4, 0, 4);
    dib.SetAlpha(true);
}

TEST(OutOfMemory, EveryImageCoreEntryGivesItsFailureResult) {
    c32bppDIB src(kCapGdiplusBarred);
    MakeSource(src);
    c32bppDIB self(kCapGdiplusBarred);
    MakeSource(self);
    using Entry = std::function<bool(bool& hasPicture)>;
    auto draw = [&](std::int32_t w, std::int32_t h, float angle, std::int32_t light = 0) {
        return Entry([&src, w, h, angle, light](bool& hasPicture) {
            hasPicture = false;
            c32bppDIB canvas(kCapGdiplusBarred);
            if (!canvas.InitializeDIB(20, 20)) return false;
            return src.Render(0, 1, 1, w, h, 0, 0, 0, 0, 100, true, true, &canvas, 2, float(light),
                              angle);
        });
    };
    // A call that fills an image: it left a picture when the image has pixels.
    auto makes = [](std::function<bool(c32bppDIB&)> make) {
        return Entry([make](bool& hasPicture) {
            c32bppDIB made(kCapGdiplusBarred);
            const bool ok = make(made);
            hasPicture = made.BitsPointer() != nullptr;
            return ok;
        });
    };
    // A call that writes bytes: it left a picture when it wrote any.
    auto writes = [](std::function<bool(Bytes&)> write) {
        return Entry([write](bool& hasPicture) {
            Bytes out;
            const bool ok = write(out);
            hasPicture = !out.empty();
            return ok;
        });
    };
    const std::pair<const char*, Entry> entries[] = {
        {"Render scaled", draw(30, 25, 0)},
        {"Render mirrored", draw(-9, -7, 0, 20)},
        {"Render rotated", draw(14, 11, 30.0f, -30)},
        {"Render into itself",
         [&](bool& hasPicture) {
             hasPicture = false;
             return self.Render(0, 2, 1, 0, 0, 0, 0, 0, 0, 100, true, true, &self);
         }},
        {"CopyImageTo",
         makes([&](c32bppDIB& copy) { return src.CopyImageTo(copy, 23, 17, true); })},
        {"CreateDropShadow",
         makes([&](c32bppDIB& shadow) { return src.CreateDropShadow(3, 0x00FF00, shadow); })},
        {"RenderDropShadow_JIT",
         [&](bool& hasPicture) {
             hasPicture = false;
             c32bppDIB canvas(kCapGdiplusBarred);
             return canvas.InitializeDIB(20, 20) &&
                    src.RenderDropShadow_JIT(0, 2, 2, 2, 0, 80, &canvas);
         }},
        {"CreateRegionRects",
         [&](bool& hasPicture) {
             hasPicture = false;
             return src.CreateRegionRects(2, 5, 5).size() > 1;
         }},
        {"SaveToStream", writes([&](Bytes& bmp) { return src.SaveToStream(bmp); })},
        {"SaveToStream_PNG", writes([&](Bytes& png) { return src.SaveToStream_PNG(png); })},
        {"GetDIBbits", writes([&](Bytes& bits) {
             return src.GetDIBbits(bits, {false, false, false, true, false});
         })},
        {"GetOrginalFormat", writes([&](Bytes& bytes) { return src.GetOrginalFormat(bytes); })},
        {"InitializeDIB", makes([](c32bppDIB& dib) { return dib.InitializeDIB(5, 5); })},
        {"LoadPicture_FromOrignalFormat", makes([&](c32bppDIB& dib) {
             return src.CopyImageTo(dib, 0, 0, true) && dib.LoadPicture_FromOrignalFormat();
         })},
    };
    for (const auto& [name, entry] : entries)
        EXPECT_TRUE(EveryAllocationFailsInTurn(entry)) << name;
}

// About 100 bytes declaring one 8192 x 8192 interlaced frame whose data are only a clear code
// and an end code.
Bytes HugeEmptyGif() {
    test::Bytes b;
    b.raw({'G', 'I', 'F', '8', '9', 'a'}).u16(8192).u16(8192).u8(0x80).u8(0).u8(0);
    b.raw({0, 0, 0, 255, 255, 255});                       // two colours
    b.u8(0x2C).u16(0).u16(0).u16(8192).u16(8192).u8(0x40); // interlaced frame
    b.u8(2).u8(1).u8(0x2C).u8(0);                          // clear (4), end (5)
    b.u8(0x3B);                                            // trailer
    b.zeros(100 - b.v.size());
    return b.v;
}

TEST(OutOfMemory, AGifFrameIsDecodedWithoutAWholeFrameBuffer) {
    const Bytes gif = HugeEmptyGif();
    c32bppDIB dib(kCapGdiplusBarred); // its pixels are not allocated with operator new
    gLargest = 0;
    ASSERT_TRUE(DecodeGifStream(dib, gif, IconWish{}));
    EXPECT_EQ(dib.Width(), 8192);
    EXPECT_EQ(dib.Height(), 8192);
    // Nothing beside the picture grows with the frame: the largest other request is the LZW
    // table or one row, far below the 64 MiB a frame of indices would take.
    EXPECT_LT(gLargest, std::size_t{1} << 20);
}

// A PNG decoded into `dib` on one inflate path (zlib's or the own), the most it held through
// operator new meanwhile beyond what was held before, and what the decoder said.
struct MeasuredDecode {
    bool ok;
    std::size_t peak;
    cPNGparser::Inflater inflater;
    std::string error;
};
MeasuredDecode DecodeMeasuringPeak(const Bytes& png, bool withZlib, c32bppDIB& dib) {
    static constexpr std::string_view kNoZlib[] = {"corvale-no-such-library"};
    PngDecodeOptions options;
    options.gdiplus = nullptr;
    if (!withZlib) options.zlibNames = kNoZlib;
    cPNGparser parser(options);
    const std::size_t before = gLive;
    gPeak = gLive;
    const bool ok = parser.LoadStream(png, dib);
    return {ok, gPeak - before, parser.LastInflater(), std::string(parser.LastError())};
}

// A picture one row high: beside the picture (its pixels are not allocated with operator new)
// the decoder holds about the decompressed row and no row buffers, on either inflate path.
TEST(OutOfMemory, AOneRowPngHoldsLittleMoreThanItsRowBesideThePicture) {
    constexpr std::int32_t kWidth = 300000;
    Bytes png;
    {
        c32bppDIB wide(kCapGdiplusBarred);
        ASSERT_TRUE(wide.InitializeDIB(kWidth, 1));
        for (std::int32_t x = 0; x < kWidth; ++x) { // opaque, many colours: truecolour
            std::uint8_t* p = wide.BitsPointer() + std::size_t(x) * 4;
            p[0] = std::uint8_t(x);
            p[1] = std::uint8_t(x >> 8);
            p[2] = std::uint8_t(x % 7);
            p[3] = 255;
        }
        ASSERT_TRUE(cPNGwriter().WritePNG(wide, {}, png));
    }
    ASSERT_EQ(png[25], 2); // RGB, 8 bits
    const std::size_t rowBytes = std::size_t(kWidth) * 3 + 1;
    for (bool withZlib : {true, false}) {
        c32bppDIB dib(kCapGdiplusBarred);
        const MeasuredDecode decode = DecodeMeasuringPeak(png, withZlib, dib);
        ASSERT_TRUE(decode.ok) << decode.error;
        ASSERT_EQ(dib.Width(), kWidth);
        EXPECT_EQ(decode.inflater,
                  withZlib ? cPNGparser::Inflater::Zlib : cPNGparser::Inflater::Own);
        EXPECT_EQ(dib.GetPixel(1000, 0), 0xE80306); // B 232, G 3, R 6
        // The row, the inflate's tables and the file's few chunks; two more rows before.
        EXPECT_LT(decode.peak, rowBytes + rowBytes / 4) << withZlib;
    }
}

// The encoder holds at most about twice the picture beside it (the filtered rows and the file's
// bytes, into which the image data are compressed), even when nothing compresses.
TEST(OutOfMemory, TheEncoderHoldsAboutTwiceThePictureBesideIt) {
    constexpr std::int32_t kSide = 512;
    c32bppDIB image(kCapGdiplusBarred); // its pixels are not allocated with operator new
    ASSERT_TRUE(image.InitializeDIB(kSide, kSide));
    std::uint32_t seed = 12345;
    for (std::size_t i = 0; i < std::size_t(kSide) * kSide; ++i) { // RGBA noise
        std::uint8_t* p = image.BitsPointer() + i * 4;
        seed = seed * 1103515245u + 12345u;
        p[3] = std::uint8_t(1 + (seed >> 16) % 254);
        for (int c = 0; c < 3; ++c) p[c] = std::uint8_t((seed >> (c * 5)) % (p[3] + 1u));
    }
    const std::size_t picture = std::size_t(kSide) * kSide * 4;
    cPNGwriter writer;
    Bytes png;
    const std::size_t before = gLive;
    gPeak = gLive;
    ASSERT_TRUE(writer.WritePNG(image, {}, png));
    EXPECT_EQ(writer.ChosenColorType(), 6);
    EXPECT_LT(gPeak - before, picture * 2 + picture / 8);
    c32bppDIB back(kCapGdiplusBarred);
    ASSERT_TRUE(DecodePngStream(back, png, {}));
    EXPECT_EQ(back.Width(), kSide);
}

// ---- Pictures near the limits, where the address space is 2 GB --------------------------------

std::uint32_t Crc32(const std::uint8_t* p, std::size_t n) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PutChunk(Bytes& png, const char* type, const Bytes& body) {
    for (int k = 0; k < 4; ++k) png.push_back(std::uint8_t(body.size() >> (24 - 8 * k)));
    const std::size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), body.begin(), body.end());
    const std::uint32_t crc = Crc32(png.data() + start, png.size() - start);
    for (int k = 0; k < 4; ++k) png.push_back(std::uint8_t(crc >> (24 - 8 * k)));
}

// A PNG of width x 1 RGBA 16-bit pixels, all zero, in a few MB: one fixed-code deflate block of
// a literal and matches of 258 bytes one back.
Bytes OneRowZeroPng(std::uint32_t width) {
    const std::uint64_t total = std::uint64_t(width) * 8 + 1; // filter byte and samples
    Bytes z = {0x78, 0x01};
    std::uint64_t bits = 0;
    int count = 0;
    auto put = [&](std::uint32_t value, int n) { // LSB first
        bits |= std::uint64_t(value) << count;
        count += n;
        while (count >= 8) {
            z.push_back(std::uint8_t(bits));
            bits >>= 8;
            count -= 8;
        }
    };
    auto code = [&](std::uint32_t c, int n) { // Huffman codes go most significant bit first
        std::uint32_t reversed = 0;
        for (int i = 0; i < n; ++i) reversed |= ((c >> i) & 1u) << (n - 1 - i);
        put(reversed, n);
    };
    put(1, 1);     // final block
    put(1, 2);     // fixed codes
    code(0x30, 8); // literal 0 (the filter byte)
    code(0x30, 8); // literal 0
    std::uint64_t left = total - 2;
    for (; left >= 258; left -= 258) {
        code(0xC5, 8); // length 258 (code 285)
        code(0, 5);    // distance 1
    }
    for (; left > 0; --left) code(0x30, 8);
    code(0, 7); // end of block
    if (count) put(0, 8 - count);
    const std::uint32_t adler = std::uint32_t(total % 65521) << 16 | 1u; // all bytes zero
    for (int k = 0; k < 4; ++k) z.push_back(std::uint8_t(adler >> (24 - 8 * k)));
    Bytes png = {137, 80, 78, 71, 13, 10, 26, 10};
    Bytes ihdr;
    for (std::uint32_t v : {width, 1u})
        for (int k = 0; k < 4; ++k) ihdr.push_back(std::uint8_t(v >> (24 - 8 * k)));
    ihdr.insert(ihdr.end(), {16, 6, 0, 0, 0});
    PutChunk(png, "IHDR", ihdr);
    PutChunk(png, "IDAT", z);
    PutChunk(png, "IEND", {});
    return png;
}

// The reviewer's cases: each gives its result, none ends the program. They need 0.5 to 1 GB
// each, so they run only where the address space is 2 GB (the 32-bit build), where they bite.
TEST(LargePictures, GiveTheirResultsWithinA32BitAddressSpace) {
    constexpr bool k32Bit = sizeof(void*) == 4;
    {
        // The widest RGBA 16-bit row there is: 256 MiB of picture beside 512 MiB of data (a
        // narrower one elsewhere).
        const std::uint32_t width = k32Bit ? 67108863 : 2000003;
        const Bytes png = OneRowZeroPng(width);
        c32bppDIB dib(kCapGdiplusBarred);
        EXPECT_TRUE(DecodePngStream(dib, png, {}));
        EXPECT_EQ(dib.Width(), std::int32_t(width));
    }
    if (!k32Bit) GTEST_SKIP() << "the rest for the 32-bit build";
    c32bppDIB small(kCapGdiplusBarred);
    ASSERT_TRUE(small.InitializeDIB(16, 16));
    for (int i = 0; i < 16 * 16; ++i) std::memset(small.BitsPointer() + i * 4, 200, 4);
    {
        c32bppDIB big(kCapGdiplusBarred);
        const bool made = small.CopyImageTo(big, 11600, 11600);
        EXPECT_EQ(big.BitsPointer() != nullptr, made);
        if (made) {
            EXPECT_EQ(big.GetPixel(5000, 5000), 0xC8C8C8);
        }
    }
    {
        c32bppDIB sparse(kCapGdiplusBarred); // every other pixel clear
        ASSERT_TRUE(sparse.InitializeDIB(8192, 8191));
        std::uint8_t* p = sparse.BitsPointer();
        for (std::size_t i = 0; i < std::size_t(8192) * 8191; i += 2)
            std::memset(p + i * 4, 255, 4);
        sparse.SetAlpha(true);
        const std::vector<RegionRect> rects = sparse.CreateRegionRects(2);
        EXPECT_TRUE(rects.empty() || rects.size() == std::size_t(4096) * 8191) << rects.size();
    }
    {
        c32bppDIB window(kCapGdiplusBarred);
        ASSERT_TRUE(window.InitializeDIB(10, 10));
        EXPECT_TRUE(
            small.Render(0, 0, 0, 16000, 16000, 0, 0, 0, 0, 100, true, true, &window, -1, 0, 0.5f));
        EXPECT_EQ(window.GetPixel(5, 5), 0xC8C8C8);
    }
}

// Image data in 200,000 one-byte chunks: what is kept beside the picture is the joined data and
// the inflated rows, nothing per chunk.
TEST(OutOfMemory, ManyImageDataChunksCostNothingPerChunk) {
    constexpr std::uint32_t kWidth = 400, kHeight = 500;
    const std::size_t expected = std::size_t(kWidth + 1) * kHeight; // grey, 8 bits, all zero
    Bytes z = {0x78, 0x01};
    for (std::size_t done = 0; done < expected;) { // stored blocks
        const std::size_t n = std::min<std::size_t>(expected - done, 65535);
        done += n;
        z.push_back(done == expected ? 1 : 0);
        z.insert(z.end(),
                 {std::uint8_t(n), std::uint8_t(n >> 8), std::uint8_t(~n), std::uint8_t(~n >> 8)});
        z.insert(z.end(), n, 0);
    }
    const std::uint32_t adler = std::uint32_t(expected % 65521) << 16 | 1u;
    for (int k = 0; k < 4; ++k) z.push_back(std::uint8_t(adler >> (24 - 8 * k)));
    Bytes png = {137, 80, 78, 71, 13, 10, 26, 10};
    Bytes ihdr;
    for (std::uint32_t v : {kWidth, kHeight})
        for (int k = 0; k < 4; ++k) ihdr.push_back(std::uint8_t(v >> (24 - 8 * k)));
    ihdr.insert(ihdr.end(), {8, 0, 0, 0, 0});
    PutChunk(png, "IHDR", ihdr);
    for (std::uint8_t b : z) PutChunk(png, "IDAT", {b});
    PutChunk(png, "IEND", {});
    ASSERT_GT(z.size(), 200000u);
    for (bool withZlib : {true, false}) {
        c32bppDIB dib(kCapGdiplusBarred);
        const MeasuredDecode decode = DecodeMeasuringPeak(png, withZlib, dib);
        ASSERT_TRUE(decode.ok) << decode.error;
        ASSERT_EQ(dib.Height(), std::int32_t(kHeight));
        // The joined data, the inflated rows and two row buffers; a list of the chunks alone
        // would take 16 bytes a chunk (3.2 MB here).
        EXPECT_LT(decode.peak, 2 * expected + 100000) << withZlib;
    }
}

} // namespace
} // namespace corvale
