// Drawing into real device contexts, the AlphaBlend engine against the own engine, regions and
// picture objects.
#include "imaging/c32bppDIB.h"

#include "codecs/modParsers.h"
#include "codecs/win32/picture_objects.h"
#include "test_images.h"
#include "tests/support/win32_test_support.h"

#include <gtest/gtest.h>

#include <cstring>

#include <windows.h>

namespace corvale {
namespace {

using namespace testing;

// A memory DC with a 32-bpp DIB section selected, filled with one colour.
class DibDC {
  public:
    DibDC(int w, int h, Bgra fill) : w_(w), h_(h) {
        bitmap_ = test_support::NewDibSection(nullptr, w, h, 32, &bits_);
        dc_ = CreateCompatibleDC(nullptr);
        old_ = SelectObject(dc_, bitmap_);
        for (int i = 0; i < w * h; ++i)
            std::memcpy(static_cast<BYTE*>(bits_) + i * 4, fill.data(), 4);
    }
    ~DibDC() {
        SelectObject(dc_, old_);
        DeleteDC(dc_);
        DeleteObject(bitmap_);
    }
    std::intptr_t dc() const { return reinterpret_cast<std::intptr_t>(dc_); }
    Bgra At(int x, int y) const {
        GdiFlush();
        const BYTE* p = static_cast<const BYTE*>(bits_) + ((h_ - 1 - y) * w_ + x) * 4;
        return {p[0], p[1], p[2], p[3]};
    }

  private:
    int w_, h_;
    HBITMAP bitmap_ = nullptr;
    void* bits_ = nullptr;
    HDC dc_ = nullptr;
    HGDIOBJ old_ = nullptr;
};

void Source(c32bppDIB& dib) {
    ASSERT_TRUE(MakePattern(dib, 4, 3));
    SetPx(dib, 1, 1, {20, 30, 40, 128});
    SetPx(dib, 2, 2, {0, 0, 0, 0});
}

TEST(Win32Image, StorageIsADibSectionUsableByGdi) {
    c32bppDIB dib(kOwn);
    ASSERT_TRUE(dib.InitializeDIB(5, 4));
    EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(dib.Handle())), DWORD(OBJ_BITMAP));
    DIBSECTION section{};
    ASSERT_EQ(GetObjectW(reinterpret_cast<HGDIOBJ>(dib.Handle()), sizeof section, &section),
              int(sizeof section));
    EXPECT_EQ(section.dsBm.bmBits, dib.BitsPointer());
    EXPECT_EQ(section.dsBmih.biHeight, 4); // bottom-up
    EXPECT_EQ(section.dsBmih.biBitCount, 32);

    // GDI draws into the same memory the pixel code reads.
    const HDC dc = reinterpret_cast<HDC>(dib.LoadDIBinDC(true));
    ASSERT_NE(dc, nullptr);
    const RECT top{0, 0, 5, 1};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(dc, &top, red);
    DeleteObject(red);
    GdiFlush();
    EXPECT_EQ(dib.GetPixel(2, 0) & 0xFFFFFF, 0x0000FF);
    EXPECT_EQ(dib.LoadDIBinDC(false), 0);
}

TEST(Win32Image, ManageOwnDCKeepsTheDCAlive) {
    c32bppDIB dib(kOwn);
    ASSERT_TRUE(dib.InitializeDIB(2, 2));
    dib.ManageOwnDC(true);
    const std::intptr_t first = dib.LoadDIBinDC(true);
    ASSERT_NE(first, 0);
    dib.LoadDIBinDC(false);
    EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(first)), DWORD(OBJ_MEMDC));
    EXPECT_EQ(dib.LoadDIBinDC(true), first);
    dib.ManageOwnDC(false);
    EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(first)), 0u); // deleted
}

TEST(Win32Render, OwnEngineDrawsIntoDeviceContext) {
    c32bppDIB src(kOwn); // no AlphaBlend: the own engine
    Source(src);
    DibDC target(8, 8, {100, 100, 100, 255});
    ASSERT_TRUE(src.Render(target.dc(), 2, 3));
    EXPECT_EQ(target.At(2, 3), Px(src, 0, 0));
    EXPECT_EQ(target.At(5, 5), Px(src, 3, 2));
    EXPECT_EQ(target.At(4, 5), (Bgra{100, 100, 100, 255})); // transparent source pixel
    EXPECT_EQ(target.At(1, 3), (Bgra{100, 100, 100, 255}));
    // Mirrored and scaled, partly off the DC.
    ASSERT_TRUE(src.Render(target.dc(), 6, 0, 0, 0, 0, 0, -4, 0));
    EXPECT_EQ(target.At(6, 0), Px(src, 3, 0));
    EXPECT_EQ(target.At(7, 0), Px(src, 2, 0));
}

TEST(Win32Render, AlphaBlendAndOwnEngineAgreeOnPlainDraws) {
    c32bppDIB own(kOwn);
    c32bppDIB blend(kCapAlphaBlendExists | kCapAlphaBlendFriendly | kCapGdiplusBarred);
    Source(own);
    Source(blend);
    ASSERT_TRUE(blend.isAlphaBlendFriendly());
    for (int opacity : {100, 60}) {
        DibDC a(8, 6, {90, 60, 30, 255}), b(8, 6, {90, 60, 30, 255});
        ASSERT_TRUE(own.Render(a.dc(), 1, 2, 0, 0, 0, 0, 0, 0, opacity));
        ASSERT_TRUE(blend.Render(b.dc(), 1, 2, 0, 0, 0, 0, 0, 0, opacity));
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 8; ++x) {
                const Bgra p = a.At(x, y), q = b.At(x, y);
                for (int c = 0; c < 4; ++c)
                    EXPECT_NEAR(p[c], q[c], 1)
                        << "opacity " << opacity << " at " << x << "," << y << " channel " << c;
            }
    }
}

TEST(Win32Render, HostImageDestinationThroughAlphaBlend) {
    c32bppDIB blend(kCapAlphaBlendExists | kCapAlphaBlendFriendly | kCapGdiplusBarred);
    Source(blend);
    c32bppDIB host(kOwn);
    ASSERT_TRUE(host.InitializeDIB(6, 5));
    ASSERT_TRUE(blend.Render(0, 1, 1, 0, 0, 0, 0, 0, 0, 100, true, true, &host));
    EXPECT_EQ(Px(host, 1, 1), Px(blend, 0, 0));
    EXPECT_EQ(Px(host, 4, 3), Px(blend, 3, 2));
    EXPECT_EQ(host.LoadDIBinDC(true) != 0, true); // the host's DC was released, not leaked
    host.LoadDIBinDC(false);
}

TEST(Win32Render, RotatedDrawingOntoADcWorksOnItsVisiblePart) {
    c32bppDIB own(kOwn);
    ASSERT_TRUE(MakePattern(own, 5, 4));
    // The DC's bounds cut the drawing as a host image of the same size does.
    DibDC dc(12, 10, {90, 60, 30, 255});
    c32bppDIB host(kOwn);
    ASSERT_TRUE(host.InitializeDIB(12, 10));
    testing::Fill(host, {90, 60, 30, 255});
    ASSERT_TRUE(
        own.Render(dc.dc(), -3, 2, 21, 17, 0, 0, 0, 0, 100, true, true, nullptr, -1, 0, 30));
    ASSERT_TRUE(own.Render(0, -3, 2, 21, 17, 0, 0, 0, 0, 100, true, true, &host, -1, 0, 30));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x) EXPECT_EQ(dc.At(x, y), Px(host, x, y)) << x << "," << y;
    // A destination whose whole turned square could never be allocated.
    DibDC small(10, 10, {0, 0, 0, 255});
    ASSERT_TRUE(own.Render(small.dc(), 0, 0, 24000, 24000, 0, 0, 0, 0, 100, true, true, nullptr, -1,
                           0, 0.5f));
    EXPECT_EQ(small.At(5, 5), Px(own, 0, 0));
}

TEST(Win32Region, RegionHandleCoversTheRuns) {
    c32bppDIB dib(kOwn);
    ASSERT_TRUE(dib.InitializeDIB(4, 2));
    for (int x : {0, 1, 3}) SetPx(dib, x, 0, {0, 0, 0, 255});
    SetPx(dib, 2, 1, {0, 0, 0, 255});
    const auto region = reinterpret_cast<HRGN>(dib.CreateRegion(2, 10, 0));
    ASSERT_NE(region, nullptr);
    EXPECT_TRUE(PtInRegion(region, 10, 0));
    EXPECT_TRUE(PtInRegion(region, 11, 0));
    EXPECT_FALSE(PtInRegion(region, 12, 0));
    EXPECT_TRUE(PtInRegion(region, 13, 0));
    EXPECT_TRUE(PtInRegion(region, 12, 1));
    EXPECT_FALSE(PtInRegion(region, 11, 1));
    DeleteObject(region);
    EXPECT_EQ(dib.CreateRegion(3), 0);
    // Style 0: the bounding box.
    const auto box = reinterpret_cast<HRGN>(dib.CreateRegion(0));
    RECT r{};
    ASSERT_EQ(GetRgnBox(box, &r), SIMPLEREGION);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.right, 4);
    EXPECT_EQ(r.bottom, 2);
    DeleteObject(box);
}

TEST(Win32Pictures, PictureFromBytesAndHandle) {
    c32bppDIB dib(kOwn);
    const std::vector<std::uint8_t> bmp = OpaquePatternBmp(dib, 3, 2);
    ASSERT_FALSE(bmp.empty());
    PicturePtr picture = LoadPictureFromBytes(bmp);
    ASSERT_TRUE(picture);
    SHORT type = 0;
    ASSERT_EQ(picture.get()->get_Type(&type), S_OK);
    EXPECT_EQ(type, PICTYPE_BITMAP);
    EXPECT_FALSE(LoadPictureFromBytes(std::vector<std::uint8_t>(60, 0x11)));

    HBITMAP handle = CreateBitmap(2, 2, 1, 32, nullptr);
    PicturePtr owned =
        PictureFromHandle(reinterpret_cast<std::intptr_t>(handle), PictureKind::Bitmap);
    ASSERT_TRUE(owned);
    OLE_HANDLE back = 0;
    ASSERT_EQ(owned.get()->get_Handle(&back), S_OK);
    EXPECT_EQ(reinterpret_cast<HBITMAP>(static_cast<std::intptr_t>(back)), handle);
}

} // namespace
} // namespace corvale
