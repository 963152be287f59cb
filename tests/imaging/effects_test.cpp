#include "imaging/c32bppDIB.h"

#include "codecs/cICOparser.h"
#include "codecs/cPNGwriter.h"
#include "test_images.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

namespace corvale {
namespace {

using namespace testing;

TEST(Inverse, PremultipliedInverseAndTwiceRestores) {
    c32bppDIB dib(kOwn);
    EXPECT_FALSE(dib.MakeImageInverse());
    ASSERT_TRUE(dib.InitializeDIB(2, 1));
    SetPx(dib, 0, 0, {10, 20, 30, 128});
    SetPx(dib, 1, 0, {0, 0, 0, 0});
    ASSERT_TRUE(dib.MakeImageInverse());
    EXPECT_EQ(Px(dib, 0, 0), (Bgra{118, 108, 98, 128}));
    EXPECT_EQ(Px(dib, 1, 0), (Bgra{0, 0, 0, 0}));
    ASSERT_TRUE(dib.MakeImageInverse());
    EXPECT_EQ(Px(dib, 0, 0), (Bgra{10, 20, 30, 128}));
}

TEST(Transparency, OnlyFullyOpaqueMatchesAndTypeFollows) {
    c32bppDIB dib(kOwn);
    ASSERT_TRUE(dib.InitializeDIB(3, 1));
    SetPx(dib, 0, 0, {30, 20, 10, 255}); // the key colour 0x001E140A as an opaque pixel
    SetPx(dib, 1, 0, {30, 20, 10, 128}); // the same bytes but half transparent: not a match
    SetPx(dib, 2, 0, {1, 2, 3, 255});
    dib.SetAlpha(false);
    dib.SetImageType(image_type::kBitmap);
    const std::int32_t key = 0x1E140A; // R 10, G 20, B 30
    ASSERT_TRUE(dib.MakeTransparent(key));
    EXPECT_EQ(Px(dib, 0, 0), (Bgra{0, 0, 0, 0}));
    EXPECT_EQ(Px(dib, 1, 0), (Bgra{30, 20, 10, 128}));
    EXPECT_TRUE(dib.Alpha());
    EXPECT_EQ(dib.ImageType(), image_type::kAlphaBitmapPremultiplied);

    // Revert puts the key back; the half-transparent pixel still uses alpha, so the type stays.
    ASSERT_TRUE(dib.MakeTransparent(key, true));
    EXPECT_EQ(Px(dib, 0, 0), (Bgra{30, 20, 10, 255}));
    EXPECT_EQ(dib.ImageType(), image_type::kAlphaBitmapPremultiplied);
    SetPx(dib, 1, 0, {0, 0, 0, 0});
    ASSERT_TRUE(dib.MakeTransparent(key, true));
    EXPECT_EQ(dib.ImageType(), image_type::kBitmap);
}

TEST(Mirror, BothAxesEqualAHalfTurn) {
    c32bppDIB dib(kOwn), original(kOwn);
    EXPECT_FALSE(dib.MirrorImage(true, true));
    for (c32bppDIB* d : {&dib, &original}) {
        ASSERT_TRUE(d->InitializeDIB(3, 3));
        testing::FillPattern(*d);
    }
    EXPECT_FALSE(dib.MirrorImage(false, false));
    ASSERT_TRUE(dib.MirrorImage(true, true));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(Px(dib, x, y), Px(original, 2 - x, 2 - y));
    ASSERT_TRUE(dib.MirrorImage(true, false));
    for (int x = 0; x < 3; ++x) EXPECT_EQ(Px(dib, x, 0), Px(original, x, 2));
}

TEST(DropShadow, SizesAndClampedDepth) {
    c32bppDIB dib(kOwn), shadow(kOwn);
    EXPECT_FALSE(dib.CreateDropShadow(4, 0, shadow));
    ASSERT_TRUE(dib.InitializeDIB(10, 10));
    ASSERT_TRUE(dib.CreateDropShadow(4, 0, shadow));
    EXPECT_EQ(shadow.Width(), 18);
    EXPECT_EQ(shadow.Height(), 18);
    ASSERT_TRUE(dib.CreateDropShadow(12, 0, shadow));
    EXPECT_EQ(shadow.Width(), 30);
    EXPECT_EQ(shadow.Height(), 30);
    EXPECT_TRUE(shadow.Alpha());
    EXPECT_EQ(shadow.ImageType(), image_type::kAlphaBitmapPremultiplied);
}

TEST(DropShadow, SinglePixelSpreadsIntoBlockOfAlpha28) {
    c32bppDIB dib(kOwn), shadow(kOwn);
    ASSERT_TRUE(dib.InitializeDIB(1, 1));
    SetPx(dib, 0, 0, {255, 255, 255, 255});
    ASSERT_TRUE(dib.CreateDropShadow(1, 0x0000FF, shadow)); // red
    ASSERT_EQ(shadow.Width(), 3);
    ASSERT_EQ(shadow.Height(), 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(Px(shadow, x, y), (Bgra{0, 0, 28, 28}));
}

TEST(DropShadow, WindowMeanAgainstDirectSum) {
    c32bppDIB dib(kOwn), shadow(kOwn);
    ASSERT_TRUE(dib.InitializeDIB(7, 5));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            const auto a = std::uint8_t((x * 37 + y * 91) % 256);
            SetPx(dib, x, y, {0, 0, 0, a});
        }
    const int depth = 2, s = 4;
    ASSERT_TRUE(dib.CreateDropShadow(depth, 0xFFFFFF, shadow));
    for (int y = 0; y < shadow.Height(); ++y)
        for (int x = 0; x < shadow.Width(); ++x) {
            int sum = 0;
            for (int v = y - s; v <= y; ++v)
                for (int u = x - s; u <= x; ++u)
                    if (u >= 0 && v >= 0 && u < 7 && v < 5) sum += Px(dib, u, v)[3];
            const int a = sum / ((s + 1) * (s + 1));
            ASSERT_EQ(Px(shadow, x, y),
                      (Bgra{std::uint8_t(a), std::uint8_t(a), std::uint8_t(a), std::uint8_t(a)}))
                << x << "," << y;
        }
    // Depth 0: the silhouette itself in the shadow colour.
    ASSERT_TRUE(dib.CreateDropShadow(0, 0x000080, shadow)); // R 128
    EXPECT_EQ(Px(shadow, 3, 2),
              (Bgra{0, 0, std::uint8_t(128 * Px(dib, 3, 2)[3] / 255), Px(dib, 3, 2)[3]}));
}

TEST(DropShadow, RenderJustInTimeDrawsTheShadow) {
    c32bppDIB dib(kOwn);
    ASSERT_TRUE(dib.InitializeDIB(1, 1));
    SetPx(dib, 0, 0, {255, 255, 255, 255});
    c32bppDIB canvas(kOwn);
    ASSERT_TRUE(canvas.InitializeDIB(4, 4));
    ASSERT_TRUE(dib.RenderDropShadow_JIT(0, 1, 1, 1, 0x0000FF, 100, &canvas));
    EXPECT_EQ(Px(canvas, 1, 1), (Bgra{0, 0, 28, 28}));
    EXPECT_EQ(Px(canvas, 3, 3), (Bgra{0, 0, 28, 28}));
    EXPECT_EQ(Px(canvas, 0, 0), (Bgra{0, 0, 0, 0}));
}

TEST(CheckerBoard, AlternatesSquaresOpaque) {
    c32bppDIB dib(kOwn);
    EXPECT_FALSE(dib.CreateCheckerBoard(2, 0, 0xFFFFFF));
    ASSERT_TRUE(dib.InitializeDIB(5, 4));
    EXPECT_FALSE(dib.CreateCheckerBoard(0, 0, 0xFFFFFF));
    ASSERT_TRUE(dib.CreateCheckerBoard(2, 0x0000FF, 0xFF0000)); // red first, then blue
    const Bgra red{0, 0, 255, 255}, blue{255, 0, 0, 255};
    EXPECT_EQ(Px(dib, 0, 0), red);
    EXPECT_EQ(Px(dib, 1, 1), red);
    EXPECT_EQ(Px(dib, 2, 0), blue);
    EXPECT_EQ(Px(dib, 0, 2), blue);
    EXPECT_EQ(Px(dib, 2, 2), red);
    EXPECT_EQ(Px(dib, 4, 3), blue);
    EXPECT_EQ(Px(dib, 4, 1), red);
}

TEST(Region, StylesOverOneRow) {
    c32bppDIB dib(kOwn);
    ASSERT_TRUE(dib.InitializeDIB(4, 2));
    for (int x : {0, 1, 3}) SetPx(dib, x, 1, {0, 0, 0, 255});
    EXPECT_EQ(dib.CreateRegionRects(2), (std::vector<RegionRect>{{0, 1, 2, 2}, {3, 1, 4, 2}}));
    EXPECT_EQ(dib.CreateRegionRects(1), (std::vector<RegionRect>{{0, 1, 4, 2}}));
    EXPECT_EQ(dib.CreateRegionRects(0, 10, 20), (std::vector<RegionRect>{{10, 21, 14, 22}}));
    EXPECT_TRUE(dib.CreateRegionRects(3).empty());
    dib.SetAlpha(false);
    EXPECT_EQ(dib.CreateRegionRects(2), (std::vector<RegionRect>{{0, 0, 4, 2}}));
    dib.SetAlpha(true);
    dib.EraseDIB();
    EXPECT_TRUE(dib.CreateRegionRects(0).empty());
}

TEST(Region, OffsetsMovingAnEdgeBeyond32BitsGiveNoRegion) {
    c32bppDIB dib(kOwn);
    ASSERT_TRUE(dib.InitializeDIB(4, 2));
    SetPx(dib, 3, 1, {0, 0, 0, 255});
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    EXPECT_TRUE(dib.CreateRegionRects(2, kMax - 3, 0).empty());
    EXPECT_TRUE(dib.CreateRegionRects(2, 0, kMax).empty());
    EXPECT_EQ(dib.CreateRegionRects(2, kMax - 4, kMin),
              (std::vector<RegionRect>{{kMax - 1, kMin + 1, kMax, kMin + 2}}));
}

TEST(Region, BoundingBoxOverSeveralRows) {
    c32bppDIB dib(kOwn);
    ASSERT_TRUE(dib.InitializeDIB(6, 5));
    SetPx(dib, 3, 1, {0, 0, 0, 1});
    SetPx(dib, 1, 3, {0, 0, 0, 255});
    SetPx(dib, 4, 3, {0, 0, 0, 255});
    EXPECT_EQ(dib.CreateRegionRects(0), (std::vector<RegionRect>{{1, 1, 5, 4}}));
    EXPECT_EQ(dib.CreateRegionRects(1), (std::vector<RegionRect>{{3, 1, 4, 2}, {1, 3, 5, 4}}));
}

TEST(CopyImage, SameSizeIsByteForByteAndCarriesFlags) {
    c32bppDIB dib(kOwn), copy(kOwn);
    EXPECT_FALSE(dib.CopyImageTo(copy));
    ASSERT_TRUE(MakePattern(dib, 3, 2));
    SetPx(dib, 1, 1, {5, 6, 7, 9});
    dib.SetAlpha(false);
    dib.SetImageType(image_type::kGif);
    dib.SetOriginalFormat({1, 2, 3});
    ASSERT_TRUE(dib.CopyImageTo(copy, 0, 0, true));
    EXPECT_EQ(std::memcmp(copy.BitsPointer(), dib.BitsPointer(), 24), 0);
    EXPECT_FALSE(copy.Alpha());
    EXPECT_EQ(copy.ImageType(), image_type::kGif);
    std::vector<std::uint8_t> kept;
    ASSERT_TRUE(copy.GetOrginalFormat(kept));
    EXPECT_EQ(kept, (std::vector<std::uint8_t>{1, 2, 3}));
    ASSERT_TRUE(dib.CopyImageTo(copy, 0, 0, false));
    EXPECT_FALSE(copy.GetOrginalFormat(kept));
}

TEST(CopyImage, OtherSizeIsScaled) {
    c32bppDIB dib(kOwn), copy(kOwn);
    ASSERT_TRUE(MakePattern(dib, 2, 2));
    SetPx(dib, 1, 1, {0, 0, 0, 0});
    ASSERT_TRUE(dib.CopyImageTo(copy, 4, 6));
    ASSERT_EQ(copy.Width(), 4);
    ASSERT_EQ(copy.Height(), 6);
    EXPECT_EQ(Px(copy, 1, 2), Px(dib, 0, 0));
    EXPECT_EQ(Px(copy, 3, 0), Px(dib, 1, 0));
    EXPECT_EQ(Px(copy, 3, 5), (Bgra{0, 0, 0, 0})); // transparent stays transparent
    // Copying an image onto itself at another size.
    ASSERT_TRUE(dib.CopyImageTo(dib, 1, 1));
    EXPECT_EQ(dib.Width(), 1);
}

TEST(SaveBmp, AlphaImagesWrite32BitRowsAsStored) {
    c32bppDIB dib(kOwn);
    std::vector<std::uint8_t> out{9};
    EXPECT_FALSE(dib.SaveToStream(out));
    EXPECT_TRUE(out.empty());
    ASSERT_TRUE(dib.InitializeDIB(2, 2));
    SetPx(dib, 0, 0, {1, 2, 3, 4});
    ASSERT_TRUE(dib.SaveToStream(out));
    ASSERT_EQ(out.size(), 54u + 16u);
    EXPECT_EQ(out[0], 'B');
    EXPECT_EQ(out[1], 'M');
    EXPECT_EQ(out[2], 70);
    EXPECT_EQ(out[10], 54);
    EXPECT_EQ(out[14], 40);
    EXPECT_EQ(out[18], 2);
    EXPECT_EQ(out[22], 2); // positive height: bottom-up
    EXPECT_EQ(out[26], 1);
    EXPECT_EQ(out[28], 32);
    EXPECT_EQ(out[34], 16);
    EXPECT_TRUE(std::equal(out.begin() + 54, out.end(), dib.BitsPointer()));
}

TEST(SaveBmp, OpaqueImagesWrite24BitRowsPaddedToFourBytes) {
    c32bppDIB dib(kOwn);
    const std::vector<std::uint8_t> out = OpaquePatternBmp(dib, 3, 2);
    ASSERT_EQ(out.size(), 54u + 2u * 12u);
    EXPECT_EQ(out[28], 24);
    EXPECT_EQ(out[34], 24);
    // First stored row is the bottom picture row.
    for (int x = 0; x < 3; ++x) {
        const Bgra p = Px(dib, x, 1);
        EXPECT_EQ(out[54 + x * 3], p[0]);
        EXPECT_EQ(out[54 + x * 3 + 1], p[1]);
        EXPECT_EQ(out[54 + x * 3 + 2], p[2]);
    }
    EXPECT_EQ(out[54 + 9], 0); // padding
    EXPECT_EQ(out[54 + 12], Px(dib, 0, 0)[0]);
}

struct FakeEncoder : PngEncoderObject {
    bool result = true;
    int calls = 0;
    bool Encode(const ImageHost&, std::vector<std::uint8_t>& out) override {
        ++calls;
        if (result) out = {'o', 'b', 'j'};
        return result;
    }
};
int ownCalls = 0;
bool OwnEncoder(const c32bppDIB&, std::vector<std::uint8_t>& out) {
    ++ownCalls;
    out = {'o', 'w', 'n'};
    return true;
}
bool Starts() {
    return true;
}
bool GdiplusSaveFails(const c32bppDIB&, std::vector<std::uint8_t>& out) {
    out = {'x'};
    return false;
}
const GdiplusEngine kGdiplus{.startsOnThisSystem = Starts, .savePng = GdiplusSaveFails};

TEST(SavePng, EncoderObjectFirstThenGdiplusThenOwnEncoder) {
    const ImagingServices none{};
    c32bppDIB bare(0, none);
    ASSERT_TRUE(bare.InitializeDIB(1, 1));
    std::vector<std::uint8_t> out;
    EXPECT_FALSE(bare.SaveToStream_PNG(out)); // nothing can write PNG
    EXPECT_TRUE(out.empty());

    const ImagingServices services{.gdiplus = &kGdiplus, .encodePng = OwnEncoder};
    c32bppDIB dib(0, services);
    ASSERT_TRUE(dib.InitializeDIB(1, 1));
    ownCalls = 0;
    ASSERT_TRUE(dib.SaveToStream_PNG(out));
    EXPECT_EQ(out, (std::vector<std::uint8_t>{'o', 'w', 'n'})); // GDI+ failed, own encoder ran
    EXPECT_EQ(ownCalls, 1);

    auto encoder = std::make_shared<FakeEncoder>();
    dib.SetPngEncoder(encoder);
    ASSERT_TRUE(dib.SaveToStream_PNG(out));
    EXPECT_EQ(out, (std::vector<std::uint8_t>{'o', 'b', 'j'}));
    encoder->result = false; // the object fails, GDI+ fails too: no own-encoder fallback
    EXPECT_FALSE(dib.SaveToStream_PNG(out));
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(ownCalls, 1);
}

} // namespace
} // namespace corvale

namespace corvale {
namespace {

// An icon file with one 32-bit bitmap entry per given size.
std::vector<std::uint8_t> IconFile(std::initializer_list<int> sizes) {
    auto put16 = [](std::vector<std::uint8_t>& v, unsigned x) {
        v.push_back(std::uint8_t(x));
        v.push_back(std::uint8_t(x >> 8));
    };
    auto put32 = [&](std::vector<std::uint8_t>& v, unsigned x) {
        put16(v, x & 0xFFFF);
        put16(v, x >> 16);
    };
    std::vector<std::uint8_t> dir, data;
    put16(dir, 0);
    put16(dir, 1);
    put16(dir, unsigned(sizes.size()));
    const unsigned dataStart = 6 + 16 * unsigned(sizes.size());
    for (int n : sizes) {
        const unsigned maskRow = unsigned((n + 31) / 32 * 4);
        const unsigned bytes = 40 + unsigned(n * n * 4) + maskRow * unsigned(n);
        dir.push_back(std::uint8_t(n));
        dir.push_back(std::uint8_t(n));
        dir.push_back(0);
        dir.push_back(0);
        put16(dir, 1);
        put16(dir, 32);
        put32(dir, bytes);
        put32(dir, dataStart + unsigned(data.size()));
        put32(data, 40);
        put32(data, unsigned(n));
        put32(data, unsigned(n * 2));
        put16(data, 1);
        put16(data, 32);
        for (int i = 0; i < 6; ++i) put32(data, 0);
        for (int i = 0; i < n * n; ++i) put32(data, 0xFF204060u);
        data.insert(data.end(), maskRow * unsigned(n), 0);
    }
    dir.insert(dir.end(), data.begin(), data.end());
    return dir;
}

TEST(IconSizes, ListedFromKeptIconFile) {
    c32bppDIB dib(kOwn);
    std::vector<IconSize> sizes;
    EXPECT_FALSE(dib.SourceIconSizes(sizes));
    const auto file = IconFile({16, 4});
    ASSERT_TRUE(dib.LoadPicture_Stream(file, 16, 16, 0, 0, true));
    EXPECT_EQ(dib.Width(), 16);
    ASSERT_TRUE(dib.SourceIconSizes(sizes));
    ASSERT_EQ(sizes.size(), 2u);
    EXPECT_EQ(sizes[0].width, 16);
    EXPECT_EQ(sizes[1].height, 4);
    EXPECT_EQ(sizes[1].bitDepth, 32);
    // Without kept source bytes there is nothing to list.
    ASSERT_TRUE(dib.LoadPicture_Stream(file, 16, 16, 0, 0, false));
    EXPECT_FALSE(dib.SourceIconSizes(sizes));
}

} // namespace
} // namespace corvale
