// The image object's loaders with the built-in decoder chain: each of these formats reaches its
// decoder, icon wishes reach the icon decoder, and kept icon bytes list their entries.
#include <gtest/gtest.h>

#include "codecs/cICOparser.h"
#include "imaging/c32bppDIB.h"
#include "tests/codecs/bmp_ico_gif_support.h"

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

} // namespace
} // namespace corvale
