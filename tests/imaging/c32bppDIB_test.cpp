#include "imaging/c32bppDIB.h"

#include "codecs/modParsers.h"
#include "test_images.h"

#include "tests/support/temp_path.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>

namespace corvale {
namespace {

using namespace testing;

TEST(ImageLifeCycle, InitializeMakesBlankTransparentImage) {
    c32bppDIB dib(kOwn);
    EXPECT_EQ(dib.ImageType(), image_type::kNone);
    EXPECT_EQ(dib.Handle(), 0);
    ASSERT_TRUE(dib.InitializeDIB(3, -2)); // negative height taken as its absolute value
    EXPECT_EQ(dib.Width(), 3);
    EXPECT_EQ(dib.Height(), 2);
    EXPECT_EQ(dib.scanWidth(), 12);
    EXPECT_NE(dib.Handle(), 0);
    EXPECT_TRUE(dib.Alpha());
    EXPECT_EQ(dib.ImageType(), image_type::kBlank);
    for (int i = 0; i < 24; ++i) EXPECT_EQ(dib.BitsPointer()[i], 0);

    dib.DestroyDIB();
    EXPECT_EQ(dib.BitsPointer(), nullptr);
    EXPECT_EQ(dib.Width(), 0);
    EXPECT_FALSE(dib.Alpha());
    EXPECT_EQ(dib.ImageType(), image_type::kNone);
}

TEST(ImageLifeCycle, RefusesBadSizes) {
    c32bppDIB dib(kOwn);
    EXPECT_FALSE(dib.InitializeDIB(0, 5));
    EXPECT_FALSE(dib.InitializeDIB(5, 0));
    EXPECT_FALSE(dib.InitializeDIB(-4, 5));
    EXPECT_FALSE(dib.InitializeDIB(70000, 70000)); // byte count beyond 32 bits
    EXPECT_EQ(dib.BitsPointer(), nullptr);
    ASSERT_TRUE(dib.InitializeDIB(2, 2));
    EXPECT_FALSE(dib.InitializeDIB(0, 1)); // a failed initialisation still drops the old image
    EXPECT_EQ(dib.BitsPointer(), nullptr);
}

TEST(ImageLifeCycle, EraseClearsEveryPixelAndResetsFlags) {
    c32bppDIB dib(kOwn);
    EXPECT_FALSE(dib.EraseDIB());
    ASSERT_TRUE(MakePattern(dib, 4, 3));
    dib.SetAlpha(false);
    dib.SetImageType(image_type::kPng);
    ASSERT_TRUE(dib.EraseDIB());
    EXPECT_TRUE(dib.Alpha());
    EXPECT_EQ(dib.ImageType(), image_type::kBlank);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(Px(dib, x, y), (Bgra{0, 0, 0, 0}));
}

TEST(Capabilities, VersionRule) {
    EXPECT_EQ(CapabilityFlagsFor({.win9xFamily = true, .major = 4, .minor = 10}), 24u);
    EXPECT_EQ(CapabilityFlagsFor({.win9xFamily = true, .major = 4, .minor = 0}), 32u);
    EXPECT_EQ(CapabilityFlagsFor({.major = 5, .minor = 1}), 9u);
    EXPECT_EQ(CapabilityFlagsFor({.major = 4, .servicePackMajor = 5}), 32u);
    EXPECT_EQ(CapabilityFlagsFor({.major = 4, .servicePackMajor = 6}), 0u);
}

TEST(Capabilities, AlphaBlendFriendlyNeedsAlphaBlend) {
    c32bppDIB without(kOwn);
    without.isAlphaBlendFriendly(true);
    EXPECT_FALSE(without.isAlphaBlendFriendly());

    c32bppDIB with(kCapAlphaBlendExists);
    with.isAlphaBlendFriendly(true);
    EXPECT_TRUE(with.isAlphaBlendFriendly());
    with.isAlphaBlendFriendly(false);
    EXPECT_FALSE(with.isAlphaBlendFriendly());
}

bool gdiplusStarts = true;
bool StartsHere() {
    return gdiplusStarts;
}
const GdiplusEngine kFakeGdiplus{.startsOnThisSystem = StartsHere};
const ImagingServices kWithGdiplus{.gdiplus = &kFakeGdiplus};

TEST(Capabilities, GdiplusOnlyWhenItStartsAndIsNotBarred) {
    gdiplusStarts = true;
    c32bppDIB allowed(kCapAlphaBlendExists | kCapAlphaBlendFriendly, kWithGdiplus);
    EXPECT_TRUE(allowed.isGDIplusEnabled());
    EXPECT_TRUE(allowed.HighQualityInterpolation()); // switched on with GDI+
    allowed.isGDIplusEnabled(false);
    EXPECT_FALSE(allowed.isGDIplusEnabled());

    c32bppDIB barred(kCapGdiplusBarred, kWithGdiplus);
    EXPECT_FALSE(barred.isGDIplusEnabled());
    EXPECT_FALSE(barred.HighQualityInterpolation());

    gdiplusStarts = false;
    c32bppDIB refused(0, kWithGdiplus);
    EXPECT_FALSE(refused.isGDIplusEnabled());
    gdiplusStarts = true;
}

TEST(PixelAccess, GetPixelReadsTopRowFromLastRowInMemory) {
    c32bppDIB dib(kOwn);
    ASSERT_TRUE(dib.InitializeDIB(2, 3));
    std::uint8_t* lastRowInMemory = dib.BitsPointer() + 2 * dib.scanWidth();
    lastRowInMemory[4] = 0x11; // B of pixel (1, 0)
    lastRowInMemory[5] = 0x22;
    lastRowInMemory[6] = 0x33;
    lastRowInMemory[7] = 0xFF;
    std::int32_t a = -5;
    EXPECT_EQ(dib.GetPixel(1, 0, &a), 0x112233);
    EXPECT_EQ(a, 255);
}

TEST(PixelAccess, GetPixelUnpremultipliesOnRequest) {
    c32bppDIB dib(kOwn);
    ASSERT_TRUE(dib.InitializeDIB(1, 1));
    SetPx(dib, 0, 0, {0, 0, 64, 128});
    std::int32_t a = 0;
    EXPECT_EQ(dib.GetPixel(0, 0, &a, true), 64);
    EXPECT_EQ(dib.GetPixel(0, 0, &a, false), 127); // 64 * 255 / 128
    EXPECT_EQ(a, 128);
}

TEST(PixelAccess, GetPixelOutOfRange) {
    c32bppDIB dib(kOwn);
    std::int32_t a = 9;
    EXPECT_EQ(dib.GetPixel(0, 0, &a), -1);
    ASSERT_TRUE(dib.InitializeDIB(2, 2));
    for (auto [x, y] : {std::pair{-1, 0}, {0, -1}, {2, 0}, {0, 2}}) {
        a = 9;
        EXPECT_EQ(dib.GetPixel(x, y, &a), -1);
        EXPECT_EQ(a, 0);
    }
}

// A 3 x 2 image: top row (1,2,3,255) (4,5,6,255) (0,0,64,128); bottom row zero except (1,1).
c32bppDIB* SmallImage(c32bppDIB& dib) {
    dib.InitializeDIB(3, 2);
    SetPx(dib, 0, 0, {1, 2, 3, 255});
    SetPx(dib, 1, 0, {4, 5, 6, 255});
    SetPx(dib, 2, 0, {0, 0, 64, 128});
    SetPx(dib, 1, 1, {7, 8, 9, 255});
    return &dib;
}

TEST(DibBits, DefaultLayoutIsTheBufferItself) {
    c32bppDIB dib(kOwn);
    SmallImage(dib);
    std::vector<std::uint8_t> out;
    DibBitsShape shape;
    ASSERT_TRUE(dib.GetDIBbits(out, {}, {}, true, &shape));
    EXPECT_EQ(shape.width, 3);
    EXPECT_EQ(shape.height, 2);
    EXPECT_EQ(shape.rowBytes, 12);
    ASSERT_EQ(out.size(), 24u);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), dib.BitsPointer()));
}

TEST(DibBits, TopDownRgb24WordAlignedStraightAlpha) {
    c32bppDIB dib(kOwn);
    SmallImage(dib);
    std::vector<std::uint8_t> out;
    DibBitsShape shape;
    DibBitsLayout layout{.bgr = false, .bits32 = false, .wordAligned = true, .bottomUp = false};
    ASSERT_TRUE(dib.GetDIBbits(out, layout, {}, false, &shape));
    EXPECT_EQ(shape.rowBytes, 12); // 9 bytes padded to 12
    const std::vector<std::uint8_t> expected{3, 2, 1, 6, 5, 4, 127, 0, 0, 0, 0, 0,
                                             0, 0, 0, 9, 8, 7, 0,   0, 0, 0, 0, 0};
    EXPECT_EQ(out, expected);
}

TEST(DibBits, RegionIsClippedToTheImage) {
    c32bppDIB dib(kOwn);
    SmallImage(dib);
    std::vector<std::uint8_t> out;
    DibBitsShape shape;
    DibBitsLayout topDown{.bottomUp = false};
    ASSERT_TRUE(dib.GetDIBbits(out, topDown, {1, -1, 5, 2}, true, &shape));
    EXPECT_EQ(shape.width, 2);
    EXPECT_EQ(shape.height, 1);
    const std::vector<std::uint8_t> expected{4, 5, 6, 255, 0, 0, 64, 128};
    EXPECT_EQ(out, expected);
    EXPECT_FALSE(dib.GetDIBbits(out, topDown, {3, 0, 1, 1}));
    EXPECT_TRUE(out.empty());
}

TEST(DibBits, SetRefusesRectanglesWhoseByteCountOverflows) {
    c32bppDIB dib(kOwn);
    SmallImage(dib);
    const std::vector<std::uint8_t> bytes(64, 0xEE);
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    for (bool bits32 : {true, false})
        for (bool aligned : {true, false})
            EXPECT_FALSE(dib.SetDIBbits(bytes, {.bits32 = bits32, .wordAligned = aligned},
                                        {0, 0, kMax, kMax}));
    EXPECT_FALSE(dib.SetDIBbits(bytes, {}, {0, 0, 4, kMax}));
    EXPECT_EQ(Px(dib, 0, 0), (Bgra{1, 2, 3, 255}));
}

TEST(DibBits, SetIsTheInverseOfGet) {
    c32bppDIB source(kOwn);
    SmallImage(source);
    for (bool bgr : {true, false})
        for (bool bits32 : {true, false})
            for (bool aligned : {true, false})
                for (bool bottomUp : {true, false}) {
                    DibBitsLayout layout{
                        .bgr = bgr, .bits32 = bits32, .wordAligned = aligned, .bottomUp = bottomUp};
                    std::vector<std::uint8_t> bytes;
                    ASSERT_TRUE(source.GetDIBbits(bytes, layout));
                    c32bppDIB copy(kOwn);
                    ASSERT_TRUE(copy.InitializeDIB(3, 2));
                    ASSERT_TRUE(copy.SetDIBbits(bytes, layout));
                    for (int y = 0; y < 2; ++y)
                        for (int x = 0; x < 3; ++x) {
                            Bgra want = Px(source, x, y);
                            if (!bits32) { // 24-bit data come back opaque
                                want[3] = 255;
                            }
                            EXPECT_EQ(Px(copy, x, y), want)
                                << x << "," << y << " bgr " << bgr << " 32 " << bits32
                                << " aligned " << aligned << " bottomUp " << bottomUp;
                        }
                }
}

TEST(DibBits, SetIntoPartlyOutsideRectangleAndTooFewBytes) {
    c32bppDIB dib(kOwn);
    ASSERT_TRUE(dib.InitializeDIB(2, 2));
    // A 2 x 1 top-down patch placed at (1, 1): only its first pixel lands in the image.
    const std::vector<std::uint8_t> patch{10, 20, 30, 255, 40, 50, 60, 255};
    DibBitsLayout topDown{.bottomUp = false};
    ASSERT_TRUE(dib.SetDIBbits(patch, topDown, {1, 1, 2, 1}));
    EXPECT_EQ(Px(dib, 1, 1), (Bgra{10, 20, 30, 255}));
    EXPECT_EQ(Px(dib, 0, 1), (Bgra{0, 0, 0, 0}));
    EXPECT_FALSE(dib.SetDIBbits(std::span(patch).first(7), topDown, {0, 0, 2, 1}));
    EXPECT_FALSE(dib.SetDIBbits(patch, topDown, {5, 5, 2, 1}));
}

// ---- loader router ----------------------------------------------------------------------------

std::string calls;
std::span<const std::uint8_t> lastBytes;
IconWish lastWish;

bool MakeOne(ImageHost& dib, std::int32_t type) {
    dib.InitializeDIB(1, 1);
    dib.SetImageType(type);
    return true;
}
// A fake decoder: it takes the data that start with `mark` and makes a one-pixel image of `type`
// from them; each notes its format in `calls`, the PNG one the bytes it was given, the icon one
// the size asked for.
template <char mark, std::int32_t type>
bool Fake(ImageHost& dib, std::span<const std::uint8_t> b, const IconWish& wish) {
    constexpr const char* name = mark == 'P'   ? "png "
                                 : mark == 'G' ? "gif "
                                 : mark == 'I' ? "ico "
                                               : "bmp ";
    calls += name;
    if constexpr (mark == 'P') lastBytes = b;
    if constexpr (mark == 'I') lastWish = wish;
    return b[0] == mark && MakeOne(dib, type);
}
constexpr auto FakePng = Fake<'P', image_type::kPng>;
constexpr auto FakeGif = Fake<'G', image_type::kGif>;
constexpr auto FakeIco = Fake<'I', image_type::kIcon32>;
constexpr auto FakeBmp = Fake<'B', image_type::kBitmap>;
// Claims the data but leaves no image: must not count as a load.
bool ClaimsWithoutImage(ImageHost&, std::span<const std::uint8_t>, const IconWish&) {
    calls += "liar ";
    return true;
}
const DecoderChain kFakes{FakePng, FakeGif, FakeIco, FakeBmp};

std::vector<std::uint8_t> Bytes(char first, std::size_t n) {
    std::vector<std::uint8_t> v(n, 0xAB);
    v[0] = std::uint8_t(first);
    return v;
}

TEST(LoaderRouter, FixedOrderStopsAtFirstDecoderThatMakesAnImage) {
    c32bppDIB dib(kOwn);
    calls.clear();
    ASSERT_TRUE(dib.LoadPicture_Stream(Bytes('I', 100), 0, 0, 0, 0, false, 32, kFakes));
    EXPECT_EQ(calls, "png gif ico ");
    EXPECT_EQ(dib.ImageType(), image_type::kIcon32);

    calls.clear();
    EXPECT_FALSE(dib.LoadPicture_Stream(Bytes('X', 100), 0, 0, 0, 0, false, 32, kFakes));
    EXPECT_EQ(calls, "png gif ico bmp ");
    EXPECT_EQ(dib.BitsPointer(), nullptr);
    EXPECT_EQ(dib.ImageType(), image_type::kNone);

    calls.clear();
    const DecoderChain withLiar{ClaimsWithoutImage, nullptr, nullptr, FakeBmp};
    EXPECT_TRUE(dib.LoadPicture_Stream(Bytes('B', 100), 0, 0, 0, 0, false, 32, withLiar));
    EXPECT_EQ(calls, "liar bmp ");
}

TEST(LoaderRouter, FiftySixBytesAreNotTriedFiftySevenAre) {
    c32bppDIB dib(kOwn);
    calls.clear();
    EXPECT_FALSE(dib.LoadPicture_Stream(Bytes('P', 56), 0, 0, 0, 0, false, 32, kFakes));
    EXPECT_EQ(calls, "");
    EXPECT_TRUE(dib.LoadPicture_Stream(Bytes('P', 57), 0, 0, 0, 0, false, 32, kFakes));
    EXPECT_EQ(calls, "png ");
    // Start and length select the part that counts.
    calls.clear();
    EXPECT_FALSE(dib.LoadPicture_Stream(Bytes('P', 100), 0, 0, 44, 0, false, 32, kFakes));
    EXPECT_EQ(calls, "");
}

TEST(LoaderRouter, StreamStartAndLength) {
    c32bppDIB dib(kOwn);
    std::vector<std::uint8_t> data = Bytes('x', 200);
    data[10] = 'P';
    ASSERT_TRUE(dib.LoadPicture_Stream(data, 0, 0, 10, 0, false, 32, kFakes));
    EXPECT_EQ(lastBytes.size(), 190u); // length 0: to the end
    EXPECT_EQ(lastBytes.data(), data.data() + 10);
    ASSERT_TRUE(dib.LoadPicture_Stream(data, 0, 0, 10, 60, false, 32, kFakes));
    EXPECT_EQ(lastBytes.size(), 60u);
    data[0] = 'P';
    ASSERT_TRUE(dib.LoadPicture_Stream(data, 0, 0, -5, 0, false, 32, kFakes));
    EXPECT_EQ(lastBytes.data(), data.data()); // a start below the array is raised to it
    EXPECT_FALSE(dib.LoadPicture_Stream(data, 0, 0, 500, 0, false, 32, kFakes));
}

TEST(LoaderRouter, IconWishIsClamped) {
    c32bppDIB dib(kOwn);
    ASSERT_TRUE(dib.LoadPicture_Stream(Bytes('I', 60), -3, 48, 0, 0, false, 40, kFakes));
    EXPECT_EQ(lastWish.cx, 0);
    EXPECT_EQ(lastWish.cy, 48);
    EXPECT_EQ(lastWish.bitDepth, 32);
    ASSERT_TRUE(dib.LoadPicture_Stream(Bytes('I', 60), 16, 16, 0, 0, false, 8, kFakes));
    EXPECT_EQ(lastWish.bitDepth, 8);
}

TEST(LoaderRouter, SourceBytesKeptOnlyOnRequestAndReloadable) {
    c32bppDIB dib(kOwn);
    std::vector<std::uint8_t> kept;
    const auto gif = Bytes('G', 80);
    ASSERT_TRUE(dib.LoadPicture_Stream(gif, 0, 0, 0, 0, false, 32, kFakes));
    EXPECT_FALSE(dib.GetOrginalFormat(kept));
    ASSERT_TRUE(dib.LoadPicture_Stream(gif, 0, 0, 0, 0, true, 32, kFakes));
    ASSERT_TRUE(dib.GetOrginalFormat(kept));
    EXPECT_EQ(kept, gif);

    dib.InitializeDIB(5, 5);
    calls.clear();
    EXPECT_FALSE(dib.LoadPicture_FromOrignalFormat(0, 0, 32, kFakes)); // dropped with the image
    ASSERT_TRUE(dib.LoadPicture_Stream(gif, 0, 0, 0, 0, true, 32, kFakes));
    ASSERT_TRUE(dib.LoadPicture_FromOrignalFormat(0, 0, 32, kFakes));
    EXPECT_EQ(dib.ImageType(), image_type::kGif);
    ASSERT_TRUE(dib.GetOrginalFormat(kept));
    EXPECT_EQ(kept, gif);
}

std::vector<std::string> shown;
std::string pending;
std::string TakePending() {
    return std::exchange(pending, {});
}
void Show(const std::string& text) {
    shown.push_back(text);
}
bool FailingPngWithError(ImageHost&, std::span<const std::uint8_t>, const IconWish&) {
    pending = "Invalid PNG chunk";
    return false;
}

TEST(LoaderRouter, PendingPngErrorIsShownAndOtherDecodersStillRun) {
    const ImagingServices services{.takePendingPngError = TakePending, .showMessage = Show};
    c32bppDIB dib(0, services);
    shown.clear();
    calls.clear();
    const DecoderChain chain{FailingPngWithError, FakeGif, nullptr, FakeBmp};
    ASSERT_TRUE(dib.LoadPicture_Stream(Bytes('B', 64), 0, 0, 0, 0, false, 32, chain));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "Invalid PNG chunk");
    EXPECT_EQ(calls, "gif bmp ");
    // No pending error, no message.
    ASSERT_TRUE(dib.LoadPicture_Stream(Bytes('P', 64), 0, 0, 0, 0, false, 32, kFakes));
    EXPECT_EQ(shown.size(), 1u);
}

bool FakeGdiplusDecode(c32bppDIB& dib, std::string_view, std::span<const std::uint8_t>,
                       std::uintptr_t) {
    calls += "gdiplus ";
    return MakeOne(dib, image_type::kPng);
}
bool FakeGdiplusPng(const c32bppDIB&, std::vector<std::uint8_t>& out) {
    out = {0x89, 'P', 'N', 'G'};
    return true;
}
const GdiplusEngine kDecodingGdiplus{
    .startsOnThisSystem = StartsHere, .decode = FakeGdiplusDecode, .savePng = FakeGdiplusPng};

TEST(LoaderRouter, GdiplusLastAndItsImagesKeepPngBytes) {
    const ImagingServices services{.gdiplus = &kDecodingGdiplus};
    c32bppDIB dib(0, services);
    ASSERT_TRUE(dib.isGDIplusEnabled());
    calls.clear();
    ASSERT_TRUE(dib.LoadPicture_Stream(Bytes('J', 64), 0, 0, 0, 0, true, 32, kFakes));
    EXPECT_EQ(calls, "png gif ico bmp gdiplus ");
    std::vector<std::uint8_t> kept;
    ASSERT_TRUE(dib.GetOrginalFormat(kept));
    EXPECT_EQ(kept, (std::vector<std::uint8_t>{0x89, 'P', 'N', 'G'}));

    dib.isGDIplusEnabled(false);
    calls.clear();
    EXPECT_FALSE(dib.LoadPicture_Stream(Bytes('J', 64), 0, 0, 0, 0, true, 32, kFakes));
    EXPECT_EQ(calls, "png gif ico bmp ");
}

class TempFile {
  public:
    explicit TempFile(const std::vector<std::uint8_t>& bytes) {
        path_ = test_support::UniqueTempPath(
            std::string("corvale_dib_") +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".bin");
        FileHandle f = OpenFileForWrite(path_, false, true);
        EXPECT_TRUE(f.Write(bytes));
    }
    ~TempFile() { DeleteFileSafe(path_, true); }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

TEST(LoaderRouter, FilesShorterThan57BytesAreNotTried) {
    c32bppDIB dib(kOwn);
    {
        TempFile shortFile(Bytes('P', 56));
        calls.clear();
        EXPECT_FALSE(dib.LoadPicture_File(shortFile.path(), 0, 0, false, 32, kFakes));
        EXPECT_EQ(calls, "");
    }
    TempFile file(Bytes('B', 57));
    calls.clear();
    ASSERT_TRUE(dib.LoadPicture_File(file.path(), 0, 0, true, 32, kFakes));
    EXPECT_EQ(calls, "png gif ico bmp ");
    std::vector<std::uint8_t> kept;
    ASSERT_TRUE(dib.GetOrginalFormat(kept));
    EXPECT_EQ(kept, Bytes('B', 57));
    EXPECT_FALSE(dib.LoadPicture_File(file.path() + ".missing", 0, 0, false, 32, kFakes));
}

} // namespace
} // namespace corvale
