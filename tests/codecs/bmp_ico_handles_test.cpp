// Bitmap handles, picture objects and icon or cursor handles converted to image objects.
#include <gtest/gtest.h>

#include <cmath>
#include <type_traits>
#include <utility>

#include <ole2.h>
#include <olectl.h>
#include <windows.h>

#include "codecs/cBMPparser.h"
#include "codecs/cICOparser.h"
#include "codecs/win32/picture_objects.h"
#include "imaging/c32bppDIB.h"
#include "platform/win32/gdi_handles.h"
#include "tests/codecs/bmp_ico_gif_support.h"
#include "tests/support/win32_test_support.h"

namespace corvale {
namespace {

using test::Bgra;
using test::PixelAt;

// An accidental copy of an owner would free its handle twice: none can be copied.
static_assert(!std::is_copy_constructible_v<win32::WindowDc> &&
              !std::is_copy_assignable_v<win32::WindowDc>);
static_assert(!std::is_copy_constructible_v<win32::MemoryDc> &&
              !std::is_copy_assignable_v<win32::MemoryDc>);
static_assert(!std::is_copy_constructible_v<win32::GdiObject> &&
              !std::is_copy_constructible_v<win32::IconHandle>);
static_assert(!std::is_copy_constructible_v<win32::Selection> &&
              !std::is_move_constructible_v<win32::Selection>);
static_assert(std::is_nothrow_move_constructible_v<win32::MemoryDc> &&
              std::is_nothrow_move_assignable_v<win32::WindowDc>);

// A moved owner hands its handle on and frees nothing; the last owner frees it once.
TEST(GdiHandleOwners, MovedHandlesAreFreedOnceByTheLastOwner) {
    HDC dc = nullptr;
    {
        win32::MemoryDc first(nullptr);
        dc = first.get();
        ASSERT_NE(dc, nullptr);
        win32::MemoryDc second(std::move(first));
        EXPECT_EQ(first.get(), nullptr);
        EXPECT_EQ(second.get(), dc);
        win32::MemoryDc third(nullptr);
        third = std::move(second); // third's own DC goes now
        EXPECT_EQ(GetObjectType(third.get()), static_cast<DWORD>(OBJ_MEMDC));
    }
    EXPECT_EQ(GetObjectType(dc), 0u);

    HGDIOBJ brush = CreateSolidBrush(RGB(1, 2, 3));
    {
        win32::GdiObject owner(brush);
        win32::GdiObject taken(std::move(owner));
        EXPECT_EQ(taken.get(), brush);
    }
    EXPECT_EQ(GetObjectType(brush), 0u);
}

// A 32-bit DIB section, top row first in `topFirst` (B, G, R, A).
HBITMAP Section32(int width, int height, const std::vector<Bgra>& topFirst) {
    void* bits = nullptr;
    HBITMAP bitmap = test_support::NewDibSection(nullptr, width, height, 32, &bits);
    auto* p = static_cast<std::uint8_t*>(bits);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Bgra& c = topFirst[static_cast<std::size_t>(y * width + x)];
            std::uint8_t* d = p + (static_cast<std::size_t>(height - 1 - y) * width + x) * 4;
            d[0] = c.b, d[1] = c.g, d[2] = c.r, d[3] = c.a;
        }
    }
    return bitmap;
}

// A device bitmap of the screen's depth painted with SetPixel.
HBITMAP DeviceBitmap(int width, int height, COLORREF (*colour)(int, int)) {
    win32::ScreenDc screen;
    HBITMAP bitmap = CreateCompatibleBitmap(screen.get(), width, height);
    win32::MemoryDc dc(screen.get());
    win32::Selection selected(dc.get(), bitmap);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) SetPixel(dc.get(), x, y, colour(x, y));
    }
    return bitmap;
}

// A 1-bit mask bitmap; `masked(x, y)` sets the bit.
HBITMAP MaskBitmap(int width, int height, bool (*masked)(int, int)) {
    const int rowBytes = ((width + 15) / 16) * 2; // device bitmaps use 16-bit rows
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(rowBytes * height), 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (masked(x, y))
                bits[static_cast<std::size_t>(y * rowBytes + x / 8)] |= 0x80 >> (x % 8);
        }
    }
    return CreateBitmap(width, height, 1, 1, bits.data());
}

TEST(BitmapHandle, ThirtyTwoBitSectionKeepsItsAlphaPremultiplied) {
    win32::GdiObject bitmap(
        Section32(2, 2, {{50, 100, 200, 128}, {0, 0, 0, 0}, {1, 2, 3, 255}, {4, 5, 6, 255}}));
    c32bppDIB dib;
    ASSERT_TRUE(cBMPparser().ConvertstdPicTo32bpp(
        nullptr, reinterpret_cast<std::intptr_t>(bitmap.get()), dib, 32));
    ASSERT_EQ(dib.Width(), 2);
    EXPECT_TRUE(dib.Alpha());
    EXPECT_EQ(dib.ImageType(), 6);
    EXPECT_EQ(PixelAt(dib, 0, 0), (Bgra{25, 50, 100, 128}));
    EXPECT_EQ(PixelAt(dib, 1, 1), (Bgra{4, 5, 6, 255}));
}

TEST(BitmapHandle, DeviceBitmapIsCopiedOpaque) {
    win32::GdiObject bitmap(
        DeviceBitmap(3, 2, [](int x, int y) { return RGB(x * 100, y * 100, 7); }));
    c32bppDIB dib;
    ASSERT_TRUE(cBMPparser().ConvertstdPicTo32bpp(
        nullptr, reinterpret_cast<std::intptr_t>(bitmap.get()), dib));
    ASSERT_EQ(dib.Width(), 3);
    ASSERT_EQ(dib.Height(), 2);
    EXPECT_FALSE(dib.Alpha());
    EXPECT_EQ(dib.ImageType(), 1);
    EXPECT_EQ(PixelAt(dib, 2, 1), (Bgra{7, 100, 200, 255}));
    EXPECT_EQ(PixelAt(dib, 0, 0), (Bgra{7, 0, 0, 255}));
    EXPECT_FALSE(cBMPparser().ConvertstdPicTo32bpp(nullptr, 0, dib));
}

TEST(PictureObject, BitmapPictureDrawsItselfOpaque) {
    HBITMAP bitmap =
        DeviceBitmap(4, 4, [](int x, int) { return x < 2 ? RGB(255, 0, 0) : RGB(0, 0, 255); });
    PicturePtr picture =
        PictureFromHandle(reinterpret_cast<std::intptr_t>(bitmap), PictureKind::Bitmap);
    ASSERT_TRUE(picture);
    c32bppDIB dib;
    ASSERT_TRUE(cBMPparser().ConvertstdPicTo32bpp(picture.get(), 0, dib));
    ASSERT_EQ(dib.Width(), 4);
    ASSERT_EQ(dib.Height(), 4);
    EXPECT_EQ(dib.ImageType(), 1);
    EXPECT_EQ(PixelAt(dib, 0, 3), (Bgra{0, 0, 255, 255}));
    EXPECT_EQ(PixelAt(dib, 3, 0), (Bgra{255, 0, 0, 255}));
}

TEST(PictureObject, MetafileLeavesWhatItDidNotDrawTransparent) {
    // A metafile of 2000 x 1000 hundredths of a millimetre whose left half is filled; its
    // logical units are those hundredths.
    HDC recorder = CreateMetaFileW(nullptr);
    ASSERT_NE(recorder, nullptr);
    win32::GdiObject brush(CreateSolidBrush(RGB(0, 200, 0)));
    RECT left{0, 0, 1000, 1000};
    FillRect(recorder, &left, static_cast<HBRUSH>(brush.get()));
    HMETAFILE wmf = CloseMetaFile(recorder);
    PICTDESC desc{};
    desc.cbSizeofstruct = sizeof(desc);
    desc.picType = PICTYPE_METAFILE;
    desc.wmf.hmeta = wmf;
    desc.wmf.xExt = 2000;
    desc.wmf.yExt = 1000;
    IPicture* raw = nullptr;
    ASSERT_TRUE(SUCCEEDED(
        OleCreatePictureIndirect(&desc, IID_IPicture, TRUE, reinterpret_cast<void**>(&raw))));
    PicturePtr picture(raw);
    win32::ScreenDc screen;
    const int dpiX = GetDeviceCaps(screen.get(), LOGPIXELSX);
    c32bppDIB dib;
    ASSERT_TRUE(cBMPparser().ConvertstdPicTo32bpp(picture.get(), 0, dib));
    // 2000 hundredths of a millimetre at the screen's resolution, rounded.
    EXPECT_EQ(dib.Width(), static_cast<int>(std::nearbyint(2000.0 * dpiX / 2540.0)));
    EXPECT_TRUE(dib.Alpha());
    EXPECT_EQ(dib.ImageType(), 2);
    EXPECT_EQ(PixelAt(dib, 1, 1), (Bgra{0, 200, 0, 255}));
    EXPECT_EQ(PixelAt(dib, dib.Width() - 2, 1), (Bgra{}));
}

// Makes an icon (or a cursor) of the colour and mask bitmaps and converts its handle.
void ConvertIcon(BOOL isIcon, const win32::GdiObject& colour, const win32::GdiObject& mask,
                 c32bppDIB& dib) {
    ICONINFO info{isIcon, 0, 0, static_cast<HBITMAP>(mask.get()),
                  static_cast<HBITMAP>(colour.get())};
    HICON icon = CreateIconIndirect(&info);
    ASSERT_NE(icon, nullptr);
    const bool converted =
        cICOparser().ConvertstdPicTo32bpp(reinterpret_cast<std::intptr_t>(icon), dib);
    DestroyIcon(icon);
    ASSERT_TRUE(converted);
}

TEST(IconHandle, AlphaIconIsPremultipliedAndCursorsSaySo) {
    for (BOOL isIcon : {TRUE, FALSE}) {
        win32::GdiObject colour(Section32(2, 1, {{50, 100, 200, 128}, {9, 9, 9, 255}}));
        win32::GdiObject mask(MaskBitmap(2, 1, [](int, int) { return false; }));
        c32bppDIB dib;
        ConvertIcon(isIcon, colour, mask, dib);
        EXPECT_TRUE(dib.Alpha());
        EXPECT_EQ(dib.ImageType(), isIcon ? 8 : 12);
        EXPECT_EQ(PixelAt(dib, 0, 0), (Bgra{25, 50, 100, 128}));
        EXPECT_EQ(PixelAt(dib, 1, 0), (Bgra{9, 9, 9, 255}));
    }
}

TEST(IconHandle, MaskedIconTakesItsHolesFromTheMask) {
    win32::GdiObject colour(Section32(3, 2,
                                      {{1, 2, 3, 0},
                                       {4, 5, 6, 0},
                                       {7, 8, 9, 0},
                                       {10, 11, 12, 0},
                                       {13, 14, 15, 0},
                                       {16, 17, 18, 0}}));
    win32::GdiObject mask(MaskBitmap(3, 2, [](int x, int y) { return x == 1 && y == 0; }));
    c32bppDIB dib;
    ConvertIcon(TRUE, colour, mask, dib);
    EXPECT_TRUE(dib.Alpha());
    EXPECT_EQ(dib.ImageType(), 3);
    EXPECT_EQ(PixelAt(dib, 0, 0), (Bgra{1, 2, 3, 255}));
    EXPECT_EQ(PixelAt(dib, 1, 0), (Bgra{}));
    EXPECT_EQ(PixelAt(dib, 2, 1), (Bgra{16, 17, 18, 255}));
    EXPECT_FALSE(cICOparser().ConvertstdPicTo32bpp(0, dib));
}

} // namespace
} // namespace corvale
