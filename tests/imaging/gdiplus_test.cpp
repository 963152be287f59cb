// GDI+ through the flat interface under the real system: sessions per top-level window,
// decoding, PNG saving and drawing.
#include "imaging/c32bppDIB.h"
#include "imaging/cCrossComm.h"
#include "imaging/win32/cGDIPlus.h"

#include "test_images.h"
#include "tests/support/win32_test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace corvale {
namespace {

using namespace testing;

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::uint8_t> Logo() {
    return ReadFile(std::string(CORVALE_SOURCE_DIR) + "/app/forms/pictures/logo.png");
}

using test_support::PumpFor;

int CountMarkers(HWND top) {
    int n = 0;
    for (HWND w = FindWindowExW(top, nullptr, L"Static", L"GDI+Safe Patch"); w;
         w = FindWindowExW(top, w, L"Static", L"GDI+Safe Patch"))
        ++n;
    return n;
}

// Channels equal within a tolerance.
::testing::AssertionResult Near(const Bgra& a, const Bgra& b, int tolerance) {
    for (int i = 0; i < 4; ++i)
        if (std::abs(int(a[i]) - int(b[i])) > tolerance)
            return ::testing::AssertionFailure()
                   << "channel " << i << ": " << int(a[i]) << " vs " << int(b[i]);
    return ::testing::AssertionSuccess();
}

class GdiplusTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!cGDIPlus::AvailableOnThisSystem()) GTEST_SKIP() << "no GDI+ on this system";
    }
};

TEST_F(GdiplusTest, ProbeKeepsTheTokenOnlyWhenAsked) {
    const int open = cGDIPlus::OpenSessions();
    std::uintptr_t token = 1;
    ASSERT_TRUE(cGDIPlus::isGDIplusOk(token, false));
    EXPECT_EQ(token, 0u);
    EXPECT_EQ(cGDIPlus::OpenSessions(), open);
    ASSERT_TRUE(cGDIPlus::isGDIplusOk(token, true));
    EXPECT_NE(token, 0u);
    EXPECT_EQ(cGDIPlus::OpenSessions(), open + 1);
    cGDIPlus::StopSession(token);
    EXPECT_EQ(cGDIPlus::OpenSessions(), open);
}

TEST_F(GdiplusTest, OneSessionPerTopLevelWindowEndingAfterTheWindow) {
    const int open = cGDIPlus::OpenSessions();
    const int started = cGDIPlus::SessionsStarted();
    HWND top = CreateWindowExW(0, L"Static", L"form", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(top, nullptr);
    HWND box = CreateWindowExW(0, L"Static", L"", WS_CHILD, 0, 0, 50, 50, top, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    HWND owned = CreateWindowExW(0, L"Static", L"owned", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, top,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(box && owned);

    cCrossComm first, second, ownedForm;
    ASSERT_TRUE(first.ManageGDIToken(reinterpret_cast<std::intptr_t>(box)));
    EXPECT_NE(first.gdiToken(), cCrossComm::kNoSession);
    EXPECT_NE(first.gdiToken(), cCrossComm::kForeignSession);
    EXPECT_EQ(CountMarkers(top), 1);
    EXPECT_TRUE(second.ManageGDIToken(reinterpret_cast<std::intptr_t>(top)));
    EXPECT_EQ(second.gdiToken(), cCrossComm::kForeignSession);
    EXPECT_TRUE(ownedForm.ManageGDIToken(reinterpret_cast<std::intptr_t>(owned)));
    EXPECT_EQ(ownedForm.gdiToken(), cCrossComm::kForeignSession);
    EXPECT_EQ(CountMarkers(top), 1);
    EXPECT_EQ(cGDIPlus::SessionsStarted(), started + 1);
    EXPECT_EQ(cGDIPlus::OpenSessions(), open + 1);

    DestroyWindow(owned);
    DestroyWindow(top);
    for (int i = 0; i < 100 && cGDIPlus::OpenSessions() != open; ++i) PumpFor(10);
    EXPECT_EQ(cGDIPlus::OpenSessions(), open);

    cCrossComm none;
    EXPECT_FALSE(none.ManageGDIToken(0));
    EXPECT_EQ(none.gdiToken(), cCrossComm::kNoSession);
}

TEST_F(GdiplusTest, DecodesLikeTheOwnDecoder) {
    const auto bytes = Logo();
    c32bppDIB own(kCapGdiplusBarred);
    ASSERT_TRUE(own.LoadPicture_Stream(bytes));
    c32bppDIB viaGdiplus(0);
    ASSERT_TRUE(cGDIPlus::LoadPicture(viaGdiplus, {}, bytes, 0));
    ASSERT_EQ(viaGdiplus.Width(), own.Width());
    ASSERT_EQ(viaGdiplus.Height(), own.Height());
    EXPECT_EQ(viaGdiplus.ImageType(), image_type::kPng);
    EXPECT_TRUE(viaGdiplus.Alpha());
    int worst = 0;
    for (int y = 0; y < own.Height(); ++y)
        for (int x = 0; x < own.Width(); ++x)
            for (int i = 0; i < 4; ++i)
                worst =
                    std::max(worst, std::abs(int(Px(own, x, y)[i]) - int(Px(viaGdiplus, x, y)[i])));
    EXPECT_LE(worst, 1); // premultiplication may round where the own one truncates

    c32bppDIB broken(0);
    const std::vector<std::uint8_t> junk{0x89, 'P', 'N', 'G', 1, 2, 3};
    EXPECT_FALSE(cGDIPlus::LoadPicture(broken, {}, junk, 0));
    EXPECT_EQ(broken.BitsPointer(), nullptr);
}

TEST_F(GdiplusTest, SavedPngReadsBackTheSamePixels) {
    c32bppDIB image(kCapGdiplusBarred);
    ASSERT_TRUE(MakePattern(image, 5, 3));
    SetPx(image, 4, 2, {0, 0, 0, 0});
    image.SetAlpha(true);
    std::vector<std::uint8_t> png;
    ASSERT_TRUE(cGDIPlus::SaveToPNG({}, png, image, 0));
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(png[1], 'P');
    c32bppDIB back(kCapGdiplusBarred);
    ASSERT_TRUE(back.LoadPicture_Stream(png));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(Px(back, x, y), Px(image, x, y)) << x << "," << y;
}

TEST_F(GdiplusTest, DrawsMirroredFadedAndGrayIntoAnImage) {
    const std::uintptr_t token = cGDIPlus::StartSession();
    ASSERT_NE(token, 0u);
    c32bppDIB src(0);
    ASSERT_TRUE(src.isGDIplusEnabled());
    src.HighQualityInterpolation(false);
    src.gdiToken(token);
    ASSERT_TRUE(src.InitializeDIB(2, 1));
    SetPx(src, 0, 0, {0, 0, 255, 255}); // red
    SetPx(src, 1, 0, {255, 0, 0, 255}); // blue
    src.SetAlpha(true);

    c32bppDIB canvas(kCapGdiplusBarred);
    ASSERT_TRUE(canvas.InitializeDIB(4, 2));
    // Twice the size, mirrored left to right.
    ASSERT_TRUE(src.Render(0, 0, 0, 4, 2, 0, 0, -2, 1, 100, true, true, &canvas));
    EXPECT_TRUE(Near(Px(canvas, 0, 0), {255, 0, 0, 255}, 0));
    EXPECT_TRUE(Near(Px(canvas, 3, 1), {0, 0, 255, 255}, 0));

    c32bppDIB faded(kCapGdiplusBarred);
    ASSERT_TRUE(faded.InitializeDIB(2, 1));
    ASSERT_TRUE(src.Render(0, 0, 0, 0, 0, 0, 0, 0, 0, 50, true, true, &faded));
    EXPECT_TRUE(Near(Px(faded, 0, 0), {0, 0, 127, 127}, 2)); // alpha kept in the image

    c32bppDIB gray(kCapGdiplusBarred);
    ASSERT_TRUE(gray.InitializeDIB(2, 1));
    ASSERT_TRUE(src.Render(0, 0, 0, 0, 0, 0, 0, 0, 0, 100, true, true, &gray, 2));
    EXPECT_TRUE(Near(Px(gray, 0, 0), {85, 85, 85, 255}, 2)); // average of (255, 0, 0)
    cGDIPlus::StopSession(token);
}

// Pixels of a drawing: alpha at least `threshold`.
std::vector<bool> Covered(const c32bppDIB& canvas, int threshold) {
    std::vector<bool> out(std::size_t(canvas.Width()) * canvas.Height());
    for (int y = 0; y < canvas.Height(); ++y)
        for (int x = 0; x < canvas.Width(); ++x)
            out[std::size_t(y) * canvas.Width() + x] = Px(canvas, x, y)[3] >= threshold;
    return out;
}

// Every solidly covered pixel of `a` has a covered pixel of `b` at most one pixel away.
::testing::AssertionResult WithinOnePixel(const c32bppDIB& a, const c32bppDIB& b) {
    const std::vector<bool> solid = Covered(a, 128), any = Covered(b, 1);
    const int w = a.Width(), h = a.Height();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (!solid[std::size_t(y) * w + x]) continue;
            bool found = false;
            for (int ny = std::max(0, y - 1); ny <= std::min(h - 1, y + 1) && !found; ++ny)
                for (int nx = std::max(0, x - 1); nx <= std::min(w - 1, x + 1) && !found; ++nx)
                    found = any[std::size_t(ny) * w + nx];
            if (!found) return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ")";
        }
    return ::testing::AssertionSuccess();
}

TEST_F(GdiplusTest, BothEnginesPlaceMirroredAndRotatedDrawingsAlike) {
    const std::uintptr_t token = cGDIPlus::StartSession();
    ASSERT_NE(token, 0u);
    c32bppDIB viaGdiplus(0), own(kCapGdiplusBarred);
    ASSERT_TRUE(viaGdiplus.isGDIplusEnabled());
    viaGdiplus.gdiToken(token);
    for (c32bppDIB* image : {&viaGdiplus, &own}) {
        image->HighQualityInterpolation(false);
        ASSERT_TRUE(image->InitializeDIB(4, 2));
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x) SetPx(*image, x, y, {0, 0, 200, 255});
    }
    for (float angle : {0.0f, 30.0f, 90.0f, 180.0f})
        for (int width : {8, -8})
            for (int height : {4, -4})
                for (bool centre : {false, true}) {
                    c32bppDIB a(kCapGdiplusBarred), b(kCapGdiplusBarred);
                    ASSERT_TRUE(a.InitializeDIB(48, 48));
                    ASSERT_TRUE(b.InitializeDIB(48, 48));
                    ASSERT_TRUE(viaGdiplus.Render(0, 20, 22, width, height, 0, 0, 0, 0, 100, true,
                                                  true, &a, -1, 0.0f, angle, centre));
                    ASSERT_TRUE(own.Render(0, 20, 22, width, height, 0, 0, 0, 0, 100, true, true,
                                           &b, -1, 0.0f, angle, centre));
                    const std::string what =
                        "angle " + std::to_string(angle) + " size " + std::to_string(width) +
                        " x " + std::to_string(height) + " centred " + std::to_string(centre);
                    EXPECT_TRUE(WithinOnePixel(a, b)) << "GDI+ beside own, " << what;
                    EXPECT_TRUE(WithinOnePixel(b, a)) << "own beside GDI+, " << what;
                }
    cGDIPlus::StopSession(token);
}

TEST_F(GdiplusTest, ImageObjectsUseTheEngineToSavePng) {
    c32bppDIB image(0);
    ASSERT_TRUE(image.isGDIplusEnabled());
    ASSERT_TRUE(MakePattern(image, 3, 3));
    std::vector<std::uint8_t> png;
    ASSERT_TRUE(image.SaveToStream_PNG(png));
    c32bppDIB back(kCapGdiplusBarred);
    ASSERT_TRUE(back.LoadPicture_Stream(png));
    EXPECT_EQ(Px(back, 2, 1), Px(image, 2, 1));
}

} // namespace
} // namespace corvale
