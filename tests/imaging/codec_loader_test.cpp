// The image object with the built-in codecs: each of these formats reaches its decoder, icon
// wishes reach the icon decoder, kept icon bytes list their entries, and PNG saving goes
// through the own encoder (or one attached to the image).
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <memory>

#include "codecs/cICOparser.h"
#include "codecs/cPNGparser.h"
#include "codecs/cPNGwriter.h"
#include "imaging/c32bppDIB.h"
#include "tests/codecs/bmp_ico_gif_support.h"
#include "tests/codecs/png_test_support.h"
#include "tests/support/pixel_compare.h"

namespace corvale {
namespace {

TEST(LoaderChain, EachFormatReachesItsDecoder) {
    struct Case {
        const char* file;
        std::int32_t imageType;
        std::int32_t width;
    };
    for (const Case c :
         {Case{"plain.gif", 9, 13}, Case{"rgb24.bmp", 1, 13}, Case{"rle8.bmp", 1, 13},
          Case{"argb32.bmp", 1, 16}, Case{"disc.ico", 8, 32}}) {
        c32bppDIB dib;
        ASSERT_TRUE(dib.LoadPicture_Stream(test::ReadFixture(c.file))) << c.file;
        EXPECT_EQ(dib.ImageType(), c.imageType) << c.file;
        EXPECT_EQ(dib.Width(), c.width) << c.file;
    }
}

TEST(LoaderChain, IconWishPicksTheEntryFromStreamsAndFiles) {
    c32bppDIB dib;
    ASSERT_TRUE(dib.LoadPicture_Stream(test::ReadFixture("disc.ico"), 16, 16));
    EXPECT_EQ(dib.Width(), 16);
    ASSERT_TRUE(
        dib.LoadPicture_File(std::string(CORVALE_TESTDATA_DIR) + "/bmp_ico_gif/disc.ico", 32, 32));
    EXPECT_EQ(dib.Width(), 32);
}

TEST(LoaderChain, KeptIconBytesListTheirEntries) {
    c32bppDIB dib;
    std::vector<IconSize> sizes;
    ASSERT_TRUE(dib.LoadPicture_Stream(test::ReadFixture("disc.ico"), 16, 16, 0, 0, true));
    ASSERT_TRUE(dib.SourceIconSizes(sizes));
    EXPECT_EQ(sizes, (std::vector<IconSize>{{16, 16, 32, -1}, {32, 32, 32, -1}}));

    ASSERT_TRUE(dib.LoadPicture_Stream(test::ReadFixture("disc.ico"), 16, 16, 0, 0, false));
    EXPECT_FALSE(dib.SourceIconSizes(sizes));
    EXPECT_TRUE(sizes.empty());
    ASSERT_TRUE(dib.LoadPicture_Stream(test::ReadFixture("plain.gif"), 0, 0, 0, 0, true));
    EXPECT_FALSE(dib.SourceIconSizes(sizes));
}

TEST(PngSaving, ImageObjectSavesThroughTheOwnEncoder) {
    // A translucent photo from straight colours, stored premultiplied.
    c32bppDIB dib;
    ASSERT_TRUE(dib.InitializeDIB(30, 20));
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x) {
            const std::uint8_t straight[4] = {std::uint8_t(y * 4), 50, std::uint8_t(x * 4),
                                              std::uint8_t(x * 3 + y)}; // B, G, R, A
            std::uint8_t* d = dib.BitsPointer() + (std::size_t(19 - y) * 30 + x) * 4;
            for (int c = 0; c < 3; ++c) d[c] = std::uint8_t(straight[c] * straight[3] / 255);
            d[3] = straight[3];
        }
    dib.SetAlpha(true);
    std::vector<std::uint8_t> png;
    ASSERT_TRUE(dib.SaveToStream_PNG(png));
    c32bppDIB decoded;
    cPNGparser().LoadStream(png, decoded);
    test_support::ExpectSamePicture(testing::Pixels(dib), testing::Pixels(decoded));
    c32bppDIB reloaded;
    ASSERT_TRUE(reloaded.LoadPicture_Stream(png));
    EXPECT_EQ(reloaded.ImageType(), image_type::kPng);

    // An encoder attached to the image, with its own settings, is used first.
    auto writer = std::make_shared<cPNGwriter>();
    writer->SetText(kPngSoftware, "Corvale");
    dib.SetPngEncoder(writer);
    ASSERT_TRUE(dib.SaveToStream_PNG(png));
    EXPECT_NE(std::search(png.begin(), png.end(), std::begin("Software"), std::end("Software") - 1),
              png.end());
}

} // namespace
} // namespace corvale
