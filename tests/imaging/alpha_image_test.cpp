#include "imaging/aicAlphaImage.h"

#include "test_images.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace corvale {
namespace {

using namespace testing;

// A container that keeps timers, the tag and resize requests in plain fields.
struct FakeSite : AlphaImageSite {
    aicAlphaImage* control = nullptr;
    bool userMode = true;
    std::map<std::intptr_t, std::int32_t> timers; // running timers: id -> interval
    std::vector<std::string> changes;
    std::optional<std::pair<std::int32_t, std::int32_t>> cursor;
    int invalidations = 0;
    std::int32_t pointer = -1;
    std::size_t iconBytes = 0;

    bool UserMode() const override { return userMode; }
    void Invalidate() override { ++invalidations; }
    void ResizeControl(std::int32_t w, std::int32_t h) override {
        if (control) control->Resize(w, h);
    }
    void StartTimer(std::intptr_t id, std::int32_t ms) override { timers[id] = ms; }
    void StopTimer(std::intptr_t id) override { timers.erase(id); }
    std::optional<std::pair<std::int32_t, std::int32_t>> CursorInControl() const override {
        return cursor;
    }
    void PropertyChanged(std::string_view name) override { changes.emplace_back(name); }
    void MousePointerChanged(std::int32_t p, const Bytes& icon) override {
        pointer = p;
        iconBytes = icon.size();
    }
};

struct Fixture {
    FakeSite site;
    aicAlphaImage ctl{site, kCapGdiplusBarred};
    Fixture() { site.control = &ctl; }
};

// An image of w x h: opaque pattern, or a plus shape on transparency when plus is set.
void MakeImage(aicAlphaImage& ctl, int w, int h, bool plus = false) {
    c32bppDIB& img = ctl.Image();
    ASSERT_TRUE(img.InitializeDIB(w, h));
    if (!plus) {
        testing::FillPattern(img);
        img.SetAlpha(false);
        img.SetImageType(image_type::kBitmap);
        return;
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (x == w / 2 || y == h / 2) SetPx(img, x, y, {0, 0, 200, 255});
    img.SetAlpha(true);
    img.SetImageType(image_type::kAlphaBitmapPremultiplied);
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A 24-bit bottom-up BMP of w x h in one colour, except the top-left pixel.
Bytes SolidBmp(int w, int h, Bgra colour, Bgra corner) {
    const int row = (w * 3 + 3) / 4 * 4;
    Bytes b(54 + std::size_t(row) * h, 0);
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = std::uint8_t(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, std::uint32_t(b.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, std::uint32_t(w));
    put32(22, std::uint32_t(h));
    b[26] = 1;
    b[28] = 24;
    put32(34, std::uint32_t(row * h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Bgra& c = (x == 0 && y == h - 1) ? corner : colour; // last stored row = top
            std::uint8_t* p = &b[54 + std::size_t(y) * row + std::size_t(x) * 3];
            p[0] = c[0];
            p[1] = c[1];
            p[2] = c[2];
        }
    return b;
}

// Gives the property a value through its setter and checks what the control kept.
#define EXPECT_KEEPS(property, given, kept)                                                        \
    do {                                                                                           \
        f.ctl.property(given);                                                                     \
        EXPECT_EQ(f.ctl.property(), kept) << #property "(" #given ")";                             \
    } while (false)

TEST(AlphaImageProperties, RangesAndNormalisation) {
    Fixture f;
    EXPECT_KEEPS(Opacity, 150, 50);
    EXPECT_KEEPS(Opacity, 0, 0);
    EXPECT_KEEPS(Opacity, -40, 40);
    EXPECT_KEEPS(Opacity, 200, 100);

    EXPECT_KEEPS(grayScale, 3, 3);
    EXPECT_KEEPS(grayScale, 9, 3); // ignored
    EXPECT_KEEPS(grayScale, 0, 0); // off
    EXPECT_KEEPS(grayScale, -1, 0);

    EXPECT_KEEPS(ShadowDepth, 11, 2);
    EXPECT_KEEPS(ShadowDepth, 10, 10);
    EXPECT_KEEPS(ShadowOpacity, 101, 50);
    EXPECT_KEEPS(ScaleMethod, 5, 0);
    EXPECT_KEEPS(Mirror, 4, 0);
    EXPECT_KEEPS(HitTestMode, -1, 0);
    EXPECT_KEEPS(IntensityOffset, 100.5f, 0.0f);
    EXPECT_KEEPS(Rotation, 370, 10);
    EXPECT_KEEPS(MaskUsed, 6, 0);
}
#undef EXPECT_KEEPS

TEST(AlphaImageProperties, ChangesAreAnnouncedOnceUnderTheirNames) {
    Fixture f;
    f.ctl.ScaleMethod(2);
    f.ctl.ScaleMethod(2); // the current value: nothing
    f.ctl.Opacity(100);   // already 100
    f.ctl.Opacity(60);
    f.ctl.StretchQuality(false);
    f.ctl.grayScale(1);
    f.ctl.ShadowDepth(11);
    EXPECT_EQ(f.site.changes,
              (std::vector<std::string>{"Stretch", "Opacity", "StretchQuality", "GrayScale"}));
    EXPECT_FALSE(f.ctl.Image().HighQualityInterpolation());
}

TEST(AlphaImageScales, UnrotatedMethods) {
    using enum AlphaScaleMethod;
    // 10 x 5 into 40 x 40.
    EXPECT_EQ(ScaledImageSize(FitInside, 10, 5, 40, 40, 0, 0, false), std::make_pair(40, 20));
    EXPECT_EQ(ScaledImageSize(Stretch, 10, 5, 40, 40, 0, 0, false), std::make_pair(40, 40));
    EXPECT_EQ(ScaledImageSize(FitNoEnlarge, 10, 5, 40, 40, 0, 0, false), std::make_pair(10, 5));
    EXPECT_EQ(ScaledImageSize(FitNoEnlarge, 100, 50, 40, 40, 0, 0, false), std::make_pair(40, 20));
    EXPECT_EQ(ScaledImageSize(ActualSize, 10, 5, 40, 40, 0, 0, false), std::make_pair(10, 5));
    EXPECT_EQ(ScaledImageSize(Custom, 10, 5, 40, 40, 7, 9, false), std::make_pair(7, 9));
    // Halves round to even: 4 x 1 at r = 2.5 gives 10 x 2.5 -> 2; 4 x 3 at r = 2.5 -> 7.5 -> 8.
    EXPECT_EQ(ScaledImageSize(FitInside, 4, 1, 10, 10, 0, 0, false), std::make_pair(10, 2));
    EXPECT_EQ(ScaledImageSize(FitInside, 4, 3, 10, 10, 0, 0, false), std::make_pair(10, 8));
    EXPECT_EQ(ScaledImageSize(FitInside, 0, 3, 10, 10, 0, 0, false), std::make_pair(0, 0));
}

TEST(AlphaImageScales, RotatedFitsTheDiagonal) {
    using enum AlphaScaleMethod;
    // 3 x 4 has diagonal 5.
    EXPECT_EQ(ScaledImageSize(FitInside, 3, 4, 10, 20, 0, 0, true), std::make_pair(6, 8));
    EXPECT_EQ(ScaledImageSize(Stretch, 3, 4, 10, 20, 0, 0, true), std::make_pair(6, 16));
    EXPECT_EQ(ScaledImageSize(FitNoEnlarge, 3, 4, 10, 20, 0, 0, true),
              std::make_pair(3, 4)); // no growth
    EXPECT_EQ(ScaledImageSize(FitNoEnlarge, 30, 40, 10, 20, 0, 0, true), std::make_pair(6, 8));
    EXPECT_EQ(ScaledImageSize(ActualSize, 3, 4, 10, 20, 0, 0, true), std::make_pair(3, 4));
}

TEST(AlphaImageLayout, CentresPartialPaintsAndAutoSizes) {
    Fixture f;
    MakeImage(f.ctl, 10, 5);
    f.ctl.ScaleMethod(3);
    f.ctl.Resize(30, 20);
    EXPECT_EQ(f.ctl.ImageLeft(), 10);
    EXPECT_EQ(f.ctl.ImageTop(), 7);
    EXPECT_TRUE(f.ctl.PartialPaint());

    f.ctl.Resize(4, 4); // smaller than the picture: raised to 0
    EXPECT_EQ(f.ctl.ImageLeft(), 0);
    EXPECT_EQ(f.ctl.ImageTop(), 0);

    f.ctl.ScaleMethod(0);
    f.ctl.Resize(30, 20);
    EXPECT_EQ(f.ctl.ScaledWidth(), 30);
    EXPECT_EQ(f.ctl.ScaledHeight(), 15);
    EXPECT_FALSE(f.ctl.PartialPaint());

    f.ctl.RotateEnabled(true); // 30 x 20 control: the picture fits its diagonal
    std::int32_t w = 0, h = 0;
    f.ctl.GetImageScales(-1, 0, 0, w, h, true);
    EXPECT_EQ(f.ctl.ScaledWidth(), w);
    EXPECT_EQ(f.ctl.RotatedSide(), RoundScaledSize(std::sqrt(double(w * w + h * h))));
    EXPECT_EQ(f.ctl.ImageLeft(), (30 - f.ctl.RotatedSide()) / 2);
    EXPECT_FALSE(f.ctl.PartialPaint());
    f.ctl.RotateEnabled(false);

    f.ctl.ScaleMethod(3);
    f.ctl.AutoSize(true);
    EXPECT_EQ(f.ctl.ControlWidth(), 10);
    EXPECT_EQ(f.ctl.ControlHeight(), 5);
    EXPECT_EQ(f.ctl.ImageLeft(), 0);
}

TEST(AlphaImageLayout, DesignModeWithoutPictureShowsCheckerboard) {
    Fixture f;
    f.site.userMode = false;
    f.ctl.Resize(30, 30);
    ASSERT_NE(f.ctl.Image().BitsPointer(), nullptr);
    EXPECT_EQ(Px(f.ctl.Image(), 0, 0), (Bgra{255, 255, 255, 255}));
    EXPECT_EQ(Px(f.ctl.Image(), 12, 0), (Bgra{0xC0, 0xC0, 0xC0, 255}));
    EXPECT_EQ(Px(f.ctl.Image(), 12, 12), (Bgra{255, 255, 255, 255}));
}

TEST(AlphaImageStoredProperties, ReadsTheStoredPngWithSmoothScaling) {
    Fixture f;
    PropertyBag bag;
    bag.Set("Image", ReadFile(std::string(CORVALE_SOURCE_DIR) + "/app/forms/pictures/logo.png"));
    bag.Set("Props", std::int32_t(1));
    f.ctl.Resize(64, 64);
    f.ctl.ReadProperties(bag);
    ASSERT_NE(f.ctl.Image().BitsPointer(), nullptr);
    EXPECT_EQ(f.ctl.Image().Width(), 128);
    EXPECT_EQ(f.ctl.ImageType(), image_type::kPng);
    EXPECT_TRUE(f.ctl.Image().HighQualityInterpolation());
    EXPECT_EQ(f.ctl.ScaledWidth(), 64); // fitted into the control
    EXPECT_EQ(f.ctl.ParentScaleMode(), kNoScaleMode);

    c32bppDIB canvas(0);
    ASSERT_TRUE(canvas.InitializeDIB(64, 64));
    f.ctl.Paint({0, &canvas, 0, 0});
    int visible = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) visible += Px(canvas, x, y)[3] != 0;
    EXPECT_GT(visible, 64 * 64 / 4);
}

TEST(AlphaImageStoredProperties, AutoSizeFromTheLinkImagesDesign) {
    Fixture f;
    PropertyBag bag;
    bag.Set("Image", ReadFile(std::string(CORVALE_SOURCE_DIR) + "/app/forms/pictures/banner.png"));
    bag.Set("Props", std::int32_t(5));
    bag.Set("MPointer", std::int16_t(99));
    bag.Set("MIcon", Bytes{0, 0, 1, 0});
    f.ctl.Resize(125, 49); // the stored size: drawn at its own size, painted partly
    f.ctl.ReadProperties(bag);
    EXPECT_TRUE(f.ctl.AutoSize());
    EXPECT_EQ(f.ctl.ControlWidth(), 125);
    EXPECT_EQ(f.ctl.ControlHeight(), 49);
    EXPECT_TRUE(f.ctl.PartialPaint());
    EXPECT_EQ(f.site.pointer, 99);
    EXPECT_EQ(f.site.iconBytes, 4u);
    f.ctl.Resize(250, 100); // fitted (twice the size), then the control takes that size
    EXPECT_EQ(f.ctl.ControlWidth(), 250);
    EXPECT_EQ(f.ctl.ControlHeight(), 98);
}

TEST(AlphaImageStoredProperties, UnreadablePictureResetsTheState) {
    Fixture f;
    PropertyBag bag;
    bag.Set("Image", Bytes{1, 2, 3, 4, 5});
    bag.Set("Scaler", std::int32_t(4));
    bag.Set("ScaleCx", std::int32_t(20));
    bag.Set("Props", std::int32_t(1 | 4 | 16 | 128 | 256));
    bag.Set("Opacity", std::int16_t(30));
    bag.Set("Angle", std::int32_t(45));
    bag.Set("Mirror", std::int32_t(3));
    f.ctl.ReadProperties(bag);
    EXPECT_EQ(f.ctl.Image().BitsPointer(), nullptr);
    EXPECT_EQ(f.ctl.ScaleMethod(), 0);
    EXPECT_EQ(f.ctl.Props(), 1 | 16);
    EXPECT_EQ(f.ctl.Opacity(), 100);
    EXPECT_EQ(f.ctl.Rotation(), 0);
    EXPECT_EQ(f.ctl.Mirror(), 0);
    std::int32_t w = -1, h = -1;
    f.ctl.GetImageScales(4, 0, 0, w, h, false);
    EXPECT_EQ(w, 0);
}

TEST(AlphaImageStoredProperties, WriteThenReadKeepsTheSettings) {
    Fixture a;
    a.ctl.Opacity(70);
    a.ctl.grayScale(2);
    a.ctl.HitTestMode(3);
    a.ctl.ShadowEnabled(true);
    a.ctl.ShadowDepth(5);
    a.ctl.ShadowColor(0x112233);
    a.ctl.OffsetShadow(-3, 4);
    a.ctl.IntensityOffset(-25.5f);
    a.ctl.ScaleMethod(4);
    a.ctl.CustomSize(33, 44);
    a.ctl.MousePointer(99);
    a.ctl.Rotation(90);
    PropertyBag bag;
    a.ctl.WriteProperties(bag);
    EXPECT_FALSE(bag.Has("Mirror")); // defaults are not stored
    EXPECT_FALSE(bag.Has("Image"));
    ASSERT_NE(bag.Find("Opacity"), nullptr);
    EXPECT_TRUE(std::holds_alternative<std::int16_t>(*bag.Find("Opacity")));

    Fixture b;
    b.ctl.ReadProperties(bag);
    // No picture: the reset of an empty control applies to the picture settings.
    EXPECT_EQ(b.ctl.grayScale(), 2);
    EXPECT_EQ(b.ctl.HitTestMode(), 3);
    EXPECT_EQ(b.ctl.ShadowDepth(), 5);
    EXPECT_EQ(b.ctl.ShadowColor(), 0x112233);
    EXPECT_EQ(b.ctl.ShadowOffsetX(), -3);
    EXPECT_EQ(b.ctl.ShadowOffsetY(), 4);
    EXPECT_EQ(b.ctl.IntensityOffset(), -25.5f);
    EXPECT_EQ(b.ctl.MousePointer(), 99);
    EXPECT_FALSE(b.ctl.ShadowEnabled()); // Props reset without a picture
}

// Keys kept in 16 bits never wrap: values beyond the type's range are clamped by the setters
// and when read, and the ranged keys still ignore what lies outside their range.
TEST(AlphaImageStoredProperties, SixteenBitKeysClampInsteadOfWrapping) {
    Fixture a;
    a.ctl.ShadowOffsetX(40000);
    a.ctl.ShadowOffsetY(-40000);
    EXPECT_EQ(a.ctl.ShadowOffsetX(), 32767);
    EXPECT_EQ(a.ctl.ShadowOffsetY(), -32768);
    a.ctl.MousePointer(70000);
    a.ctl.OLEDropMode(-70000);
    EXPECT_EQ(a.ctl.MousePointer(), 32767);
    EXPECT_EQ(a.ctl.OLEDropMode(), -32768);
    PropertyBag bag;
    a.ctl.WriteProperties(bag);
    EXPECT_EQ(bag.GetInt16("ShadowX"), std::int16_t(32767));
    EXPECT_EQ(bag.GetInt16("ShadowY"), std::int16_t(-32768));
    EXPECT_EQ(bag.GetInt16("MPointer"), std::int16_t(32767));

    std::int32_t x = 1, y = 2, sx = 123456, sy = -123456;
    a.ctl.OffsetImage(true, x, y, sx, sy);
    EXPECT_EQ(a.ctl.ShadowOffsetX(), 32767);
    EXPECT_EQ(a.ctl.ShadowOffsetY(), -32768);
    a.ctl.OffsetShadow(32768, -32769);
    EXPECT_EQ(a.ctl.ShadowOffsetX(), 32767);
    EXPECT_EQ(a.ctl.ShadowOffsetY(), -32768);
    a.ctl.ShadowDepth(-1); // ranged keys: ignored
    EXPECT_EQ(a.ctl.ShadowDepth(), 2);

    // A bag written elsewhere with 32-bit values: clamped, or the default for ranged keys.
    PropertyBag wide;
    wide.Set("ShadowX", std::int32_t(40000));
    wide.Set("MPointer", std::int32_t(-40000));
    wide.Set("ShadowDepth", std::int32_t(11));
    wide.Set("ShadowOpacity", std::int32_t(100));
    Fixture b;
    b.ctl.ReadProperties(wide);
    EXPECT_EQ(b.ctl.ShadowOffsetX(), 32767);
    EXPECT_EQ(b.ctl.ShadowOffsetY(), 2);
    EXPECT_EQ(b.ctl.MousePointer(), -32768);
    EXPECT_EQ(b.ctl.ShadowDepth(), 2);
    EXPECT_EQ(b.ctl.ShadowOpacity(), 100);
}

// A new control holds the defaults, and saving it stores nothing but what always goes.
TEST(AlphaImageStoredProperties, NewControlHasTheDefaultsAndStoresNone) {
    Fixture f;
    EXPECT_EQ(f.ctl.Opacity(), 100);
    EXPECT_EQ(f.ctl.grayScale(), 0);
    EXPECT_EQ(f.ctl.Props(), alpha_props::kStretchQuality);
    EXPECT_EQ(f.ctl.MaskColor(), kSystemButtonFace);
    EXPECT_EQ(f.ctl.ShadowColor(), 0x404040);
    EXPECT_EQ(f.ctl.ShadowOffsetX(), 2);
    EXPECT_EQ(f.ctl.ShadowDepth(), 2);
    EXPECT_EQ(f.ctl.ShadowOpacity(), 50);
    EXPECT_TRUE(f.ctl.Enabled());
    PropertyBag bag;
    f.ctl.WriteProperties(bag);
    EXPECT_TRUE(bag.Entries().empty());
}

TEST(AlphaImageStoredProperties, SavedPictureComesBackWithoutTheEffects) {
    Fixture a;
    ASSERT_TRUE(a.ctl.LoadImage_FromArray(SolidBmp(4, 3, {10, 20, 30, 255}, {1, 2, 3, 255})));
    a.ctl.Resize(4, 3);
    a.ctl.Mirror(1);
    a.ctl.InversedImage(true);
    EXPECT_EQ(Px(a.ctl.Image(), 3, 0), (Bgra{254, 253, 252, 255})); // mirrored and inverted
    PropertyBag bag;
    a.ctl.WriteProperties(bag);
    std::vector<std::uint8_t> probe;
    if (!a.ctl.Image().SaveToStream_PNG(probe)) GTEST_SKIP() << "no PNG writer here";
    ASSERT_NE(bag.GetBytes("Image"), nullptr);

    Fixture b;
    b.ctl.Resize(4, 3);
    b.ctl.ReadProperties(bag); // applies mirror and inversion again
    ASSERT_NE(b.ctl.Image().BitsPointer(), nullptr);
    EXPECT_EQ(Px(b.ctl.Image(), 3, 0), (Bgra{254, 253, 252, 255}));
    b.ctl.Mirror(0);
    b.ctl.InversedImage(false);
    EXPECT_EQ(Px(b.ctl.Image(), 0, 0), (Bgra{1, 2, 3, 255}));
}

TEST(AlphaImageMask, CornerColourBecomesTransparentAndComesBack) {
    Fixture f;
    ASSERT_TRUE(f.ctl.LoadImage_FromArray(SolidBmp(3, 3, {10, 20, 30, 255}, {1, 2, 3, 255})));
    ASSERT_FALSE(f.ctl.Image().Alpha());
    f.ctl.MaskUsed(3); // top-right: the common colour
    EXPECT_EQ(Px(f.ctl.Image(), 1, 1), (Bgra{0, 0, 0, 0}));
    EXPECT_EQ(Px(f.ctl.Image(), 0, 0), (Bgra{1, 2, 3, 255}));
    EXPECT_TRUE(f.ctl.Image().Alpha());
    f.ctl.MaskUsed(2); // top-left: the old mask is undone first
    EXPECT_EQ(Px(f.ctl.Image(), 1, 1), (Bgra{10, 20, 30, 255}));
    EXPECT_EQ(Px(f.ctl.Image(), 0, 0), (Bgra{0, 0, 0, 0}));
    f.ctl.MaskUsed(0);
    EXPECT_EQ(Px(f.ctl.Image(), 0, 0), (Bgra{1, 2, 3, 255}));
    EXPECT_FALSE(f.ctl.Image().Alpha());
    f.ctl.MaskUsed(3); // switched off, it can be switched on again
    EXPECT_EQ(f.ctl.MaskUsed(), 3);
    EXPECT_EQ(Px(f.ctl.Image(), 1, 1), (Bgra{0, 0, 0, 0}));

    Fixture g; // a picture with its own transparency takes no mask
    MakeImage(g.ctl, 3, 3, true);
    g.ctl.MaskUsed(2);
    EXPECT_EQ(g.ctl.MaskUsed(), 0);
}

TEST(AlphaImageMask, StoredMaskWithoutItsSourceIsApplied) {
    PropertyBag bag;
    bag.Set("Image", SolidBmp(3, 3, {10, 20, 30, 255}, {1, 2, 3, 255}));
    bag.Set("MaskUsed", true);
    bag.Set("Mask", std::int32_t{0x0A141E}); // R 30, G 20, B 10: the common colour
    Fixture f;
    f.ctl.ReadProperties(bag);
    EXPECT_NE(f.ctl.MaskUsed(), 0);
    EXPECT_EQ(Px(f.ctl.Image(), 1, 1), (Bgra{0, 0, 0, 0}));
    EXPECT_EQ(Px(f.ctl.Image(), 0, 0), (Bgra{1, 2, 3, 255}));
}

TEST(AlphaImageMask, MaskOfAnInvertedPictureSurvivesSavingAndReading) {
    Fixture a;
    ASSERT_TRUE(a.ctl.LoadImage_FromArray(SolidBmp(3, 3, {10, 20, 30, 255}, {1, 2, 3, 255})));
    a.ctl.InversedImage(true);
    a.ctl.MaskColor(0x010203); // the corner's colour (0x00BBGGRR: B 1, G 2, R 3)
    a.ctl.MaskUsed(1);
    ASSERT_EQ(Px(a.ctl.Image(), 0, 0), (Bgra{0, 0, 0, 0}));
    ASSERT_EQ(Px(a.ctl.Image(), 1, 1), (Bgra{245, 235, 225, 255}));
    PropertyBag bag;
    a.ctl.WriteProperties(bag);
    if (!bag.GetBytes("Image")) GTEST_SKIP() << "no PNG writer here";

    Fixture b;
    b.ctl.ReadProperties(bag);
    EXPECT_EQ(b.ctl.MaskUsed(), 1);
    EXPECT_EQ(Px(b.ctl.Image(), 0, 0), (Bgra{0, 0, 0, 0})); // the same pixel is transparent
    EXPECT_EQ(Px(b.ctl.Image(), 1, 1), (Bgra{245, 235, 225, 255}));
}

TEST(AlphaImageHitTest, FourModes) {
    Fixture f;
    MakeImage(f.ctl, 9, 9, true); // a plus: row 4 and column 4
    f.ctl.ScaleMethod(3);
    f.ctl.Resize(9, 9);
    EXPECT_TRUE(f.ctl.HitTest(0, 0)); // mode 0: the whole rectangle
    EXPECT_FALSE(f.ctl.HitTest(9, 0));

    f.ctl.HitTestMode(1); // bounding box of the visible pixels: the whole plus
    EXPECT_TRUE(f.ctl.HitTest(0, 0));
    for (int mode : {2, 3}) {
        f.ctl.HitTestMode(mode);
        EXPECT_FALSE(f.ctl.HitTest(0, 0)) << mode;
        EXPECT_TRUE(f.ctl.HitTest(4, 0)) << mode;
        EXPECT_TRUE(f.ctl.HitTest(0, 4)) << mode;
        EXPECT_FALSE(f.ctl.HitTest(8, 8)) << mode;
    }
    f.ctl.Enabled(false); // disabled: the rectangle, but no mouse events
    EXPECT_TRUE(f.ctl.HitTest(0, 0));
    EXPECT_FALSE(f.ctl.OnMouseMove(0, 0, 4, 4));
}

TEST(AlphaImageHitTest, ShapeFollowsTheScaledPicture) {
    Fixture f;
    MakeImage(f.ctl, 9, 9, true);
    f.ctl.ScaleMethod(1);
    f.ctl.HitTestMode(2);
    f.ctl.Resize(18, 18); // drawn at twice the size: the bar is at 8..9
    EXPECT_TRUE(f.ctl.HitTest(9, 1));
    EXPECT_FALSE(f.ctl.HitTest(4, 1));
}

struct EventLog {
    std::vector<std::string> entries;
    void Attach(aicAlphaImage& c, const std::string& n) {
        c.events.MouseEnter = [this, n] { entries.push_back(n + ".enter"); };
        c.events.MouseExit = [this, n] { entries.push_back(n + ".exit"); };
        c.events.MouseMove = [this, n](int, int, float, float) { entries.push_back(n + ".move"); };
        c.events.MouseDown = [this, n](int, int, float, float) { entries.push_back(n + ".down"); };
        c.events.MouseUp = [this, n](int, int, float, float) { entries.push_back(n + ".up"); };
        c.events.Click = [this, n](int) { entries.push_back(n + ".click"); };
    }
};

TEST(AlphaImageMouse, ExitOfTheFirstBeforeEnterOfTheSecond) {
    FakeSite site;
    aicAlphaImage a(site, kCapGdiplusBarred), b(site, kCapGdiplusBarred);
    aicAlphaImage* form[] = {&a, &b};
    a.JoinSession(form);
    b.JoinSession(form);
    ASSERT_EQ(a.Session(), b.Session());
    EXPECT_EQ(a.Session()->Count(), 2);
    a.Resize(10, 10);
    b.Resize(10, 10);
    EventLog log;
    log.Attach(a, "a");
    log.Attach(b, "b");

    EXPECT_TRUE(a.OnMouseMove(0, 0, 5, 5));
    EXPECT_TRUE(a.isMouseOver());
    EXPECT_EQ(site.Tag(), "Timer");
    EXPECT_EQ(site.timers.at(a.MouseTimerId()), 100);
    a.OnMouseMove(0, 0, 6, 5); // still inside: no new enter
    b.OnMouseMove(0, 0, 1, 1);
    EXPECT_EQ(log.entries, (std::vector<std::string>{"a.enter", "a.move", "a.move", "a.exit",
                                                     "b.enter", "b.move"}));
    EXPECT_FALSE(a.isMouseOver());
    EXPECT_TRUE(b.isMouseOver());
    EXPECT_EQ(site.timers.count(a.MouseTimerId()), 0u);
    EXPECT_EQ(site.timers.count(b.MouseTimerId()), 1u);
}

TEST(AlphaImageMouse, TimerWatchesTheCursorUntilItLeaves) {
    FakeSite site;
    aicAlphaImage a(site, kCapGdiplusBarred);
    aicAlphaImage* form[] = {&a};
    a.JoinSession(form);
    MakeImage(a, 9, 9, true);
    a.HitTestMode(3);
    a.ScaleMethod(3);
    a.Resize(9, 9);
    EventLog log;
    log.Attach(a, "a");
    ASSERT_TRUE(a.OnMouseMove(0, 0, 4, 4));
    site.cursor = std::make_pair(4, 1); // on the plus
    a.OnTimer(a.MouseTimerId());
    EXPECT_EQ(site.timers.count(a.MouseTimerId()), 1u);
    site.cursor = std::make_pair(1, 1); // inside the rectangle, outside the shape
    a.OnTimer(a.MouseTimerId());
    EXPECT_EQ(site.timers.count(a.MouseTimerId()), 0u);
    EXPECT_EQ(site.Tag(), "");
    EXPECT_FALSE(a.isMouseOver());
    EXPECT_EQ(log.entries, (std::vector<std::string>{"a.enter", "a.move", "a.exit"}));
}

TEST(AlphaImageMouse, ClickNeedsThePressToBeginOnTheControl) {
    Fixture f;
    f.ctl.Resize(10, 10);
    EventLog log;
    log.Attach(f.ctl, "a");
    EXPECT_FALSE(f.ctl.OnMouseDown(1, 0, 20, 20)); // outside
    EXPECT_TRUE(f.ctl.OnMouseUp(1, 0, 3, 3));
    EXPECT_TRUE(f.ctl.OnMouseDown(1, 0, 3, 3));
    EXPECT_TRUE(f.ctl.OnMouseUp(1, 0, 3, 3));
    EXPECT_EQ(log.entries, (std::vector<std::string>{"a.up", "a.down", "a.up", "a.click"}));
}

TEST(AlphaImageMouse, DestroyedHolderLeavesNoDanglingRecord) {
    FakeSite site;
    auto a = std::make_unique<aicAlphaImage>(site, kCapGdiplusBarred);
    aicAlphaImage b(site, kCapGdiplusBarred);
    aicAlphaImage* form[] = {a.get(), &b};
    a->JoinSession(form);
    b.JoinSession(form);
    a->Resize(5, 5);
    b.Resize(5, 5);
    a->OnMouseMove(0, 0, 1, 1);
    auto session = b.Session();
    a.reset();
    EXPECT_EQ(session->CapturedControl(), nullptr);
    EXPECT_EQ(session->Count(), 1);
    EXPECT_TRUE(site.timers.empty());
    b.OnMouseMove(0, 0, 1, 1); // nobody to release
    EXPECT_TRUE(b.isMouseOver());
}

TEST(AlphaImageFade, UpInTenStepsEveryTenMilliseconds) {
    Fixture f;
    f.ctl.Opacity(0);
    std::vector<int> terminated;
    f.ctl.events.FadeTerminated = [&](int o) { terminated.push_back(o); };
    f.ctl.FadeInOut(100, 10, 5);
    ASSERT_EQ(f.site.timers.count(f.ctl.FadeTimerId()), 1u);
    EXPECT_EQ(f.site.timers.at(f.ctl.FadeTimerId()), 10);
    EXPECT_NE(f.ctl.FadeTimerId(), f.ctl.MouseTimerId());
    int ticks = 0;
    while (f.site.timers.count(f.ctl.FadeTimerId()) && ticks < 100) {
        f.ctl.OnTimer(f.ctl.FadeTimerId());
        ++ticks;
        if (ticks == 3) {
            EXPECT_EQ(f.ctl.Opacity(), 30);
        }
    }
    EXPECT_EQ(ticks, 10);
    EXPECT_EQ(f.ctl.Opacity(), 100);
    EXPECT_EQ(terminated, std::vector<int>{100});
}

TEST(AlphaImageFade, DownStopsAtTheTargetAndIdleCasesStartNothing) {
    Fixture f;
    std::vector<int> terminated;
    f.ctl.events.FadeTerminated = [&](int o) { terminated.push_back(o); };
    f.ctl.FadeInOut(5, -30, 50); // 100 -> 70 -> 40 -> 10 -> 5
    EXPECT_EQ(f.site.timers.at(f.ctl.FadeTimerId()), 50);
    std::vector<int> seen;
    while (f.site.timers.count(f.ctl.FadeTimerId())) {
        f.ctl.OnTimer(f.ctl.FadeTimerId());
        seen.push_back(f.ctl.Opacity());
    }
    EXPECT_EQ(seen, (std::vector<int>{70, 40, 10, 5}));
    EXPECT_EQ(terminated, std::vector<int>{5});

    f.ctl.FadeInOut(5, 10, 10); // already there
    f.ctl.FadeInOut(50, 0, 10); // no step
    EXPECT_TRUE(f.site.timers.empty());
    f.ctl.FadeInOut(150, 50, 10); // target clamped to 100
    f.ctl.OnTimer(f.ctl.FadeTimerId());
    f.ctl.OnTimer(f.ctl.FadeTimerId());
    EXPECT_EQ(f.ctl.Opacity(), 100);
    f.ctl.FadeInOut(0, 10, 10);
    f.ctl.Hide(); // hiding stops a running fade
    EXPECT_TRUE(f.site.timers.empty());
}

TEST(AlphaImagePaint, OpacityShadowAndNothingOutsideTheClip) {
    Fixture f;
    MakeImage(f.ctl, 4, 4);
    Fill(f.ctl.Image(), {0, 0, 200, 255});
    f.ctl.ScaleMethod(3);
    f.ctl.Resize(12, 12); // picture at 4..7
    c32bppDIB canvas(0);
    ASSERT_TRUE(canvas.InitializeDIB(12, 12));
    f.ctl.Opacity(50);
    f.ctl.Paint({0, &canvas, 0, 0});
    EXPECT_EQ(Px(canvas, 5, 5)[2], 200 * 127 / 255);
    EXPECT_EQ(Px(canvas, 0, 0), (Bgra{0, 0, 0, 0}));

    c32bppDIB clipped(0);
    ASSERT_TRUE(clipped.InitializeDIB(12, 12));
    f.ctl.Paint({0, &clipped, 0, 0, 0, 0, 3, 3}); // clip misses the picture
    EXPECT_EQ(Px(clipped, 5, 5), (Bgra{0, 0, 0, 0}));

    f.ctl.Opacity(100);
    f.ctl.ShadowEnabled(true);
    f.ctl.ShadowDepth(0);
    f.ctl.OffsetShadow(3, 3);
    c32bppDIB shadowed(0);
    ASSERT_TRUE(shadowed.InitializeDIB(12, 12));
    f.ctl.Paint({0, &shadowed, 0, 0});
    EXPECT_EQ(Px(shadowed, 10, 10)[3], 127);               // shadow only, at 50 % of 100 %
    EXPECT_EQ(Px(shadowed, 5, 5), (Bgra{0, 0, 200, 255})); // picture over it
}

TEST(AlphaImageDerived, ShadowIsPrebuiltOnlyForScaledOrLargePictures) {
    Fixture f;
    MakeImage(f.ctl, 10, 10);
    f.ctl.ScaleMethod(3);
    f.ctl.Resize(20, 20);
    f.ctl.ShadowEnabled(true);
    EXPECT_FALSE(f.ctl.HasShadowImage()); // small, own size: drawn on the fly
    f.ctl.ScaleMethod(1);
    EXPECT_TRUE(f.ctl.HasShadowImage());
    f.ctl.ShadowEnabled(false);
    EXPECT_FALSE(f.ctl.HasShadowImage());
}

TEST(AlphaImageDerived, AutoRedrawBufferIsWhatGetsPaintedAndHitTested) {
    Fixture f;
    MakeImage(f.ctl, 9, 9, true);
    f.ctl.ScaleMethod(3);
    f.ctl.HitTestMode(2);
    f.ctl.Resize(9, 9);
    f.ctl.AutoRedraw(true);
    ASSERT_TRUE(f.ctl.HasRedrawBuffer());
    EXPECT_TRUE(f.ctl.HitTest(4, 0));
    EXPECT_FALSE(f.ctl.HitTest(0, 0));
    // Pixels changed behind the buffer's back do not show until it is rebuilt.
    Fill(f.ctl.Image(), {0, 255, 0, 255});
    c32bppDIB canvas(0);
    ASSERT_TRUE(canvas.InitializeDIB(9, 9));
    f.ctl.Paint({0, &canvas, 0, 0});
    EXPECT_EQ(Px(canvas, 4, 0), (Bgra{0, 0, 200, 255}));
    EXPECT_EQ(Px(canvas, 0, 0), (Bgra{0, 0, 0, 0}));
    f.ctl.AutoRedraw(false);
    EXPECT_FALSE(f.ctl.HasRedrawBuffer());
}

TEST(AlphaImageDerived, MirrorTurnsThePixelsAndBack) {
    Fixture f;
    MakeImage(f.ctl, 3, 2);
    const Bgra topLeft = Px(f.ctl.Image(), 0, 0);
    f.ctl.Mirror(3);
    EXPECT_EQ(Px(f.ctl.Image(), 2, 1), topLeft);
    f.ctl.Mirror(2); // only the left-right turn is undone
    EXPECT_EQ(Px(f.ctl.Image(), 0, 1), topLeft);
    f.ctl.Mirror(0);
    EXPECT_EQ(Px(f.ctl.Image(), 0, 0), topLeft);
}

} // namespace
} // namespace corvale
