// The alpha image control in a real container window: mouse messages, timers, pointer, painting.
#include "imaging/win32/alpha_image_host.h"

#include "test_images.h"
#include "tests/support/win32_test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace corvale {
namespace {

using namespace testing;

using test_support::PumpUntil;

const wchar_t* ContainerClass() {
    static const wchar_t* name = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = L"CorvaleTestContainer";
        RegisterClassW(&wc);
        return L"CorvaleTestContainer";
    }();
    return name;
}

class AlphaImageWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        top_ = CreateWindowExW(0, ContainerClass(), L"form", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50,
                               50, 300, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(top_, nullptr);
        box_ = CreateWindowExW(0, ContainerClass(), L"", WS_CHILD | WS_VISIBLE, 10, 10, 200, 100,
                               top_, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(box_, nullptr);
        host_ = std::make_unique<AlphaImageHost>(box_);
        a_ = &Make("a", RECT{0, 0, 40, 40});
        b_ = &Make("b", RECT{40, 0, 80, 40});
    }
    void TearDown() override {
        host_.reset();
        if (top_) DestroyWindow(top_);
        PumpUntil([] { return false; }, 50);
    }

    aicAlphaImage& Make(std::string name, RECT place) {
        std::vector<aicAlphaImage*> form;
        if (a_) form.push_back(a_);
        aicAlphaImage& c = host_->Add(std::move(name), place, form);
        c.Image().InitializeDIB(40, 40);
        testing::Fill(c.Image(), {0, 0, 255, 255});
        c.Image().SetImageType(image_type::kBitmap);
        c.Resize(40, 40);
        c.Show();
        return c;
    }

    void Log(aicAlphaImage& c, const std::string& n) {
        c.events.MouseEnter = [this, n] { log_.push_back(n + ".enter"); };
        c.events.MouseExit = [this, n] { log_.push_back(n + ".exit"); };
        c.events.Click = [this, n](int button) {
            log_.push_back(n + ".click" + std::to_string(button));
        };
        c.events.FadeTerminated = [this, n](int o) {
            log_.push_back(n + ".faded" + std::to_string(o));
        };
    }

    HWND top_ = nullptr;
    HWND box_ = nullptr;
    std::unique_ptr<AlphaImageHost> host_;
    aicAlphaImage* a_ = nullptr;
    aicAlphaImage* b_ = nullptr;
    std::vector<std::string> log_;
};

TEST_F(AlphaImageWindowTest, MouseMovesAcrossTwoControlsAndTheTimerNoticesTheExit) {
    Log(*a_, "a");
    Log(*b_, "b");
    ASSERT_EQ(a_->Session(), b_->Session());
    SetCursorPos(0, 0); // the real pointer is elsewhere
    SendMessageW(box_, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    SendMessageW(box_, WM_MOUSEMOVE, 0, MAKELPARAM(45, 5));
    EXPECT_EQ(log_, (std::vector<std::string>{"a.enter", "a.exit", "b.enter"}));
    EXPECT_TRUE(b_->isMouseOver());
    // The 100 ms tracking timer finds the pointer outside and ends the visit.
    EXPECT_TRUE(PumpUntil([&] { return log_.size() == 4; }, 2000));
    EXPECT_EQ(log_.back(), "b.exit");
    EXPECT_FALSE(b_->isMouseOver());
}

TEST_F(AlphaImageWindowTest, PressAndReleaseOnAControlClicksIt) {
    Log(*a_, "a");
    Log(*b_, "b");
    SendMessageW(box_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 10));
    SendMessageW(box_, WM_LBUTTONUP, 0, MAKELPARAM(50, 10));
    SendMessageW(box_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(150, 10)); // on no control
    SendMessageW(box_, WM_LBUTTONUP, 0, MAKELPARAM(150, 10));
    EXPECT_EQ(log_, std::vector<std::string>{"b.click1"});
}

TEST_F(AlphaImageWindowTest, FadeRunsOnTheContainersTimer) {
    Log(*a_, "a");
    a_->Opacity(0);
    a_->FadeInOut(100, 25, 10);
    EXPECT_TRUE(PumpUntil([&] { return !log_.empty(); }, 3000));
    EXPECT_EQ(log_, std::vector<std::string>{"a.faded100"});
    EXPECT_EQ(a_->Opacity(), 100);
}

TEST_F(AlphaImageWindowTest, PaintsOverTheContainerBackground) {
    InvalidateRect(box_, nullptr, TRUE);
    UpdateWindow(box_);
    HDC dc = GetDC(box_);
    const COLORREF inside = GetPixel(dc, 20, 20);
    const COLORREF outside = GetPixel(dc, 150, 50);
    ReleaseDC(box_, dc);
    EXPECT_EQ(inside, RGB(255, 0, 0));
    EXPECT_EQ(outside, GetSysColor(COLOR_BTNFACE));
}

TEST_F(AlphaImageWindowTest, CustomPointerFromIconBytes) {
    // A 32 x 32 icon, 32 bits, all opaque white.
    std::vector<std::uint8_t> ico(6 + 16 + 40 + 32 * 32 * 4 + 32 * 4, 0);
    ico[2] = 1;
    ico[4] = 1;
    ico[6] = 32;
    ico[7] = 32;
    ico[10] = 1;
    ico[12] = 32;
    const std::uint32_t size = 40 + 32 * 32 * 4 + 32 * 4;
    for (int i = 0; i < 4; ++i) ico[14 + i] = std::uint8_t(size >> (8 * i));
    ico[18] = 22;
    std::uint8_t* bih = &ico[22];
    bih[0] = 40;
    bih[4] = 32;
    bih[8] = 64;
    bih[12] = 1;
    bih[14] = 32;
    for (int i = 0; i < 32 * 32; ++i)
        for (int k = 0; k < 4; ++k) bih[40 + i * 4 + k] = 255;
    a_->MouseIcon(ico);
    a_->MousePointer(99);
    POINT p{20, 20};
    ClientToScreen(box_, &p);
    SetCursorPos(p.x, p.y);
    const LRESULT handled = SendMessageW(box_, WM_SETCURSOR, reinterpret_cast<WPARAM>(box_),
                                         MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(handled, TRUE);
    EXPECT_NE(GetCursor(), LoadCursorW(nullptr, IDC_ARROW));
}

} // namespace
} // namespace corvale
