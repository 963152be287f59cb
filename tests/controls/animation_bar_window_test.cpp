// The busy bar as a real child window (Windows only; runs under Wine).
#include "controls/win32/animation_bar_window.h"
#include "tests/support/win32_test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cmath>
#include <functional>

namespace corvale::win32 {
namespace {

using test_support::PumpPending;
using test_support::PumpUntil;

struct HostWindow {
    HWND hwnd = nullptr;
    HostWindow() {
        hwnd = CreateWindowExW(0, L"STATIC", L"busy bar host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20,
                               20, 400, 160, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    ~HostWindow() {
        if (hwnd) DestroyWindow(hwnd);
    }
};

RECT PlaceInParent(HWND w) {
    RECT rc;
    GetWindowRect(w, &rc);
    MapWindowPoints(nullptr, GetParent(w), reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

TEST(AnimationBarWindow, BlocksAreRoundedFiftyByTwentyPixelsParkedOutside) {
    HostWindow host;
    ASSERT_TRUE(host.hwnd);
    AnimationBarWindow bar;
    ASSERT_TRUE(bar.Create(host.hwnd, 6, 10, 295, 21)); // 4425 x 315 twips
    EXPECT_EQ(bar.HasDC(), true);
    EXPECT_TRUE(bar.hDC());

    RECT block = PlaceInParent(bar.LeftBlock());
    EXPECT_EQ(block.right - block.left, 50);
    EXPECT_EQ(block.bottom - block.top, 20);
    EXPECT_EQ(block.left, -60);                           // -900 twips
    EXPECT_EQ(PlaceInParent(bar.RightBlock()).left, 305); // 4575 twips

    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(bar.LeftBlock(), rgn), ERROR);
    EXPECT_FALSE(PtInRegion(rgn, 0, 0)); // the corner is cut off
    EXPECT_TRUE(PtInRegion(rgn, 25, 10));
    DeleteObject(rgn);
}

TEST(AnimationBarWindow, TrackStaysThreeHundredFifteenTwipsHigh) {
    HostWindow host;
    AnimationBarWindow bar;
    ASSERT_TRUE(bar.Create(host.hwnd, 0, 0, 200, 60));
    RECT track = PlaceInParent(bar.Track());
    EXPECT_EQ(track.right - track.left, 200);
    EXPECT_EQ(track.bottom - track.top, 21);
    SetWindowPos(bar.hWnd(), nullptr, 0, 0, 251, 11, SWP_NOMOVE | SWP_NOZORDER);
    track = PlaceInParent(bar.Track());
    EXPECT_EQ(track.right - track.left, 251);
    EXPECT_EQ(track.bottom - track.top, 11);
    EXPECT_EQ(bar.Model().RightBlockStart(), 251 * 15 + 150);
}

TEST(AnimationBarWindow, StyleFourMovesOnItsTimerAndStopsOnEnd) {
    HostWindow host;
    AnimationBarWindow bar;
    int yields = 0;
    bar.SetYield([&] { ++yields; });
    ASSERT_TRUE(bar.Create(host.hwnd, 6, 10, 295, 21));
    bar.Style(4);
    ASSERT_TRUE(bar.BeginDisplay());
    EXPECT_GE(yields, 1); // the reset yields
    ASSERT_TRUE(PumpUntil([&] { return bar.Model().LeftBlock().left >= -300; }, 5000));
    const int x = PlaceInParent(bar.LeftBlock()).left;
    EXPECT_EQ(x, static_cast<int>(std::lround(bar.Model().LeftBlock().left / 15)));
    EXPECT_GT(PlaceInParent(bar.LeftBlock()).left, -60);
    EXPECT_LT(PlaceInParent(bar.RightBlock()).left, 305);

    bar.EndDisplay();
    EXPECT_EQ(PlaceInParent(bar.LeftBlock()).left, -60);
    const double parked = bar.Model().LeftBlock().left;
    PumpPending();
    Sleep(120);
    PumpPending();
    EXPECT_EQ(bar.Model().LeftBlock().left, parked); // the timer is off
}

TEST(AnimationBarWindow, PulseBandShowsForStyleFive) {
    HostWindow host;
    AnimationBarWindow bar;
    ASSERT_TRUE(bar.Create(host.hwnd, 6, 10, 295, 21));
    bar.Style(5);
    bar.Timing(10);
    ASSERT_TRUE(bar.BeginDisplay());
    ASSERT_TRUE(PumpUntil([&] { return bar.Model().Pulse().width >= 1000; }, 5000));
    EXPECT_TRUE(bar.Model().PulseVisible());
    bar.EndDisplay();
    EXPECT_FALSE(bar.Model().PulseVisible());
}

TEST(AnimationBarWindow, RoundedWindowRegionOfTheWholeBar) {
    HostWindow host;
    AnimationBarWindow bar;
    ASSERT_TRUE(bar.Create(host.hwnd, 6, 100, 251, 11)); // DB1: 3765 x 165 twips
    ASSERT_TRUE(SetRoundedWindowRegion(bar.hWnd(), 251, 11, 7));
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(bar.hWnd(), rgn), ERROR);
    EXPECT_FALSE(PtInRegion(rgn, 0, 0));
    EXPECT_FALSE(PtInRegion(rgn, 250, 10));
    EXPECT_TRUE(PtInRegion(rgn, 125, 5));
    DeleteObject(rgn);
}

} // namespace
} // namespace corvale::win32
