#include "imaging/source_image_page.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace corvale {
namespace {

using namespace std::string_literals;

TEST(SourceImageTexts, IconEntries) {
    EXPECT_EQ(IconEntryText({16, 16, 8, 256}), "016x016 {8 bit, 256 colors}");
    EXPECT_EQ(IconEntryText({32, 32, 32, -1}), "032x032 {32 bit, True Color Alpha}");
    EXPECT_EQ(IconEntryText({48, 48, 24, 0xFF000000}), "048x048 {24 bit, True Color}");
    EXPECT_EQ(IconEntryText({256, 256, 16, 0xFFFF00}), "256x256 {16 bit, High Color}");
    EXPECT_EQ(IconEntryText({1024, 8, 4, 16}), "1024x008 {4 bit, 16 colors}");
}

TEST(SourceImageTexts, Descriptions) {
    namespace t = image_type;
    EXPECT_EQ(ImageDescription(t::kPng, true, 64, 32), "64 x 32 - PNG file");
    EXPECT_EQ(ImageDescription(t::kGif, true, 5, 6), "5 x 6 - Transparent GIF");
    EXPECT_EQ(ImageDescription(t::kGif, false, 5, 6), "5 x 6 - GIF file");
    EXPECT_EQ(ImageDescription(t::kBitmap, false, 1, 1), "1 x 1 - Bitmap or JPG file");
    EXPECT_EQ(ImageDescription(t::kMetafile, false, 9, 9), "9 x 9 - Windows Meta File");
    EXPECT_EQ(ImageDescription(t::kEnhMetafile, false, 9, 9), "9 x 9 - Windows Meta File");
    EXPECT_EQ(ImageDescription(t::kAlphaBitmapPremultiplied, true, 2, 3), "2 x 3 - Alpha Bitmap");
    EXPECT_EQ(ImageDescription(t::kIcon32, true, 16, 16), "16 x 16");
    EXPECT_EQ(ImageDescription(t::kNone, false, 0, 0), "");
}

TEST(SourceImageTexts, FilterListsEveryKindInOrderWithTiffOnlyUnderGdiplus) {
    const std::string common = "Bitmaps\0*.bmp\0GIFs\0*.gif\0Icons and Cursors\0*.ico;*.cur\0"
                               "JPGs\0*.jpg;*.jpeg\0Meta Files\0*.wmf;*.emf\0PNGs\0*.png\0"s;
    EXPECT_EQ(SelectImageFilter(false),
              "Image Files\0*gif;*.bmp;*.jpg;*.jpeg;*.ico;*.cur;*.wmf;*.emf;*.png\0"s + common +
                  "All Files\0*.*\0\0"s);
    EXPECT_EQ(SelectImageFilter(true),
              "Image Files\0*gif;*.bmp;*.jpg;*.jpeg;*.ico;*.cur;*.wmf;*.emf;*.png;*.tiff\0"s +
                  common + "Tiff\0*.tiff\0All Files\0*.*\0\0"s);
    EXPECT_EQ(kSelectImageFlags, 0x1000u | 0x80000u | 0x200000u | 0x800000u | 0x2000000u);
}

struct SourceImagePage : ::testing::Test {
    AlphaImageSite site;
    aicAlphaImage preview{site};
    ppgSourceImage page{preview};
    std::string Data(const char* name) { return std::string(CORVALE_TESTDATA_DIR) + "/" + name; }
};

TEST_F(SourceImagePage, IconFileListsEntriesAndPickingReloadsThatEntry) {
    ASSERT_TRUE(page.LoadFile(Data("bmp_ico_gif/disc.ico"), 32, 32));
    EXPECT_TRUE(page.Changed());
    EXPECT_EQ(page.IconEntries(), (std::vector<std::string>{"016x016 {32 bit, True Color Alpha}",
                                                            "032x032 {32 bit, True Color Alpha}"}));
    EXPECT_EQ(preview.Image().Width(), 32);
    page.ClearChanged();
    ASSERT_TRUE(page.PickIcon(0));
    EXPECT_TRUE(page.Changed());
    EXPECT_EQ(preview.Image().Width(), 16);
    EXPECT_EQ(page.Description(), "16 x 16");
    EXPECT_EQ(page.IconEntries().size(), 2u); // the list stays for further picks
    // The picked entry is what is stored (not the whole file, which would give the entry that
    // fits the control when read again).
    const std::optional<Bytes> stored = page.StoredImage();
    ASSERT_TRUE(stored);
    c32bppDIB decoded;
    ASSERT_TRUE(decoded.LoadPicture_Stream(*stored, 32, 32));
    EXPECT_EQ(decoded.Width(), 16);
    EXPECT_EQ(decoded.Height(), 16);
    EXPECT_FALSE(page.PickIcon(2));

    page.Clear();
    EXPECT_FALSE(page.HasPicture());
    EXPECT_EQ(page.StoredImage(), Bytes{});
    EXPECT_TRUE(page.IconEntries().empty());
    EXPECT_EQ(page.Description(), "");
}

TEST_F(SourceImagePage, PictureThatDoesNotLoadChangesNothing) {
    EXPECT_FALSE(page.LoadFile(Data("services_win10.json"), 0, 0));
    EXPECT_FALSE(page.HasPicture());
    ASSERT_TRUE(page.LoadFile(Data("bmp_ico_gif/plain.gif"), 0, 0));
    const std::string description = page.Description();
    EXPECT_EQ(description.substr(description.find(" - ")), " - GIF file");
    const std::optional<Bytes> stored = page.StoredImage();
    page.ClearChanged();
    EXPECT_FALSE(page.LoadFile(Data("services_win10.json"), 0, 0));
    EXPECT_FALSE(page.LoadFile(Data("no such file.png"), 0, 0));
    EXPECT_FALSE(page.LoadClipboard([](aicAlphaImage&) { return false; }, 0, 0));
    EXPECT_FALSE(page.Changed());
    EXPECT_EQ(page.StoredImage(), stored);
    EXPECT_EQ(page.Description(), description);
}

TEST_F(SourceImagePage, ShownPictureIsNotAChange) {
    const std::string png = std::string(CORVALE_SOURCE_DIR) + "/app/forms/pictures/logo.png";
    ASSERT_TRUE(page.LoadFile(png, 0, 0));
    const Bytes stored = page.StoredImage().value_or(Bytes{});
    ASSERT_GE(stored.size(), 8u);
    EXPECT_EQ(stored[1], 'P'); // kept PNG bytes
    ppgSourceImage again(preview);
    again.Show(stored, 0, 0);
    EXPECT_FALSE(again.Changed());
    EXPECT_EQ(again.StoredImage(), stored);
    EXPECT_NE(again.Description().find("PNG file"), std::string::npos);
}

TEST_F(SourceImagePage, PictureWithoutKeptBytesIsStoredAsPngNeverAsNone) {
    // As a metafile taken from the clipboard: pixels, but no file bytes behind them.
    ASSERT_TRUE(page.LoadClipboard(
        [](aicAlphaImage& p) {
            c32bppDIB& image = p.Image();
            if (!image.InitializeDIB(64, 48)) return false;
            std::fill_n(image.BitsPointer(), 64 * 48 * 4, std::uint8_t{0xFF});
            image.SetImageType(image_type::kMetafile);
            return true;
        },
        0, 0));
    EXPECT_EQ(page.Description(), "64 x 48 - Windows Meta File");
    const std::optional<Bytes> stored = page.StoredImage();
    ASSERT_TRUE(stored);
    ASSERT_FALSE(stored->empty()); // empty would clear the control's picture
    c32bppDIB decoded;
    ASSERT_TRUE(decoded.LoadPicture_Stream(*stored));
    EXPECT_EQ(decoded.Width(), 64);
    EXPECT_EQ(decoded.ImageType(), image_type::kPng);
}

} // namespace
} // namespace corvale
