// The main window's logo and link images: made from the stored design data, drawn with their
// alpha over the window, and opening the maker's pages through the shell seam.
#include "app/win32/message_pump.h"
#include "app/win32/program.h"
#include "imaging/win32/cGDIPlus.h"
#include "platform/fixture_wmi.h"
#include "tests/support/win32_test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace corvale::win32 {
namespace {

// Runs the program's message pump for a while, whatever it meets.
void PumpFor(int milliseconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end) {
        PumpPendingMessages();
        Sleep(5);
    }
}

using test_support::DrainQuit;
using test_support::MoveMouseTo;
using test_support::PressMouse;

std::vector<std::uint8_t> Picture(const char* name) {
    std::ifstream in(std::string(CORVALE_SOURCE_DIR) + "/app/forms/pictures/" + name,
                     std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class MainPicturesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PumpFor(50); // sessions of windows closed before end here
        DrainQuit();
        openBefore_ = cGDIPlus::OpenSessions();
        MainWindowServices s;
        s.wmi = &wmi_;
        s.specialFolderPath = [](int) { return std::string("C:\\Users\\tester\\Desktop"); };
        s.openWebPage = [this](HWND owner, const std::string& address) {
            opened_.emplace_back(owner, address);
        };
        window_ = OpenMainWindow(GetModuleHandleW(nullptr), std::move(s));
        ASSERT_NE(window_, nullptr);
        ASSERT_NE(window_->Pictures(), nullptr);
        PumpFor(100);
    }
    void TearDown() override {
        window_.reset();
        DrainQuit();
    }

    // A left click in the middle of an alpha image, sent to its picture box.
    void ClickOn(const char* name) {
        MainWindowPictures& pictures = *window_->Pictures();
        aicAlphaImage* image = pictures.Find(name);
        ASSERT_NE(image, nullptr) << name;
        AlphaImageHost* host =
            pictures.HostOf(name == std::string("aicAlphaImage1") ? "Picture1" : "Picture4");
        ASSERT_NE(host, nullptr);
        const RECT place = host->PlaceOf(*image);
        // A point of the picture that is visible: the middle of the image rectangle.
        const LPARAM at =
            MAKELPARAM((place.left + place.right) / 2, (place.top + place.bottom) / 2);
        SendMessageW(host->Container(), WM_MOUSEMOVE, 0, at);
        SendMessageW(host->Container(), WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(host->Container(), WM_LBUTTONUP, 0, at);
    }

    FixtureWmi wmi_{FixtureData{}};
    std::unique_ptr<FrmMain> window_;
    std::vector<std::pair<HWND, std::string>> opened_;
    int openBefore_ = 0;
};

TEST_F(MainPicturesTest, FourImagesFromTheStoredDesign) {
    MainWindowPictures& pictures = *window_->Pictures();
    EXPECT_EQ(pictures.Count(), 4u);
    const std::pair<const char*, int> sizes[] = {{"aicAlphaImage1", 128},
                                                 {"aicAlphaImage4", 125},
                                                 {"aicAlphaImage5", 48},
                                                 {"aicAlphaImage6", 48}};
    for (const auto& [name, width] : sizes) {
        aicAlphaImage* image = pictures.Find(name);
        ASSERT_NE(image, nullptr) << name;
        EXPECT_EQ(image->Image().Width(), width) << name;
        EXPECT_TRUE(image->StretchQuality()) << name;
        EXPECT_TRUE(image->AutoSize()) << name;
        EXPECT_EQ(image->ControlWidth(), width) << name; // the stored size is the picture's
    }
    EXPECT_EQ(pictures.Find("aicAlphaImage4")->MousePointer(), 99);
    EXPECT_FALSE(pictures.Find("aicAlphaImage4")->MouseIcon().empty());
    EXPECT_EQ(pictures.Find("aicAlphaImage1")->MousePointer(), 0);
}

TEST(MainPicturesDesign, AnImageDisabledInTheDesignComesUpDisabled) {
    auto forms = LoadProgramForms();
    ASSERT_TRUE(forms.has_value());
    Control* link = forms->main.Find("aicAlphaImage5");
    ASSERT_NE(link, nullptr);
    link->enabled = false;
    FixtureWmi wmi{FixtureData{}};
    MainWindowServices s;
    s.wmi = &wmi;
    FrmMain window(std::move(forms->main), std::move(forms->detail), std::move(s),
                   GetModuleHandleW(nullptr));
    ASSERT_TRUE(window.Load());
    EXPECT_FALSE(window.Pictures()->Find("aicAlphaImage5")->Enabled());
    EXPECT_TRUE(window.Pictures()->Find("aicAlphaImage4")->Enabled());
}

TEST_F(MainPicturesTest, LinkClicksOpenTheMakersPagesThroughTheShell) {
    ClickOn("aicAlphaImage4");
    ClickOn("aicAlphaImage5");
    ClickOn("aicAlphaImage6");
    ClickOn("aicAlphaImage1"); // the logo opens nothing
    const HWND main = window_->Hwnd();
    EXPECT_EQ(opened_,
              (std::vector<std::pair<HWND, std::string>>{{main, std::string(kMakerWebSite)},
                                                         {main, std::string(kSocialOnePage)},
                                                         {main, std::string(kSocialTwoPage)}}));
    for (const auto& [owner, address] : opened_)
        EXPECT_EQ(address.rfind("https://", 0), 0u) << address;
}

// Two presses of the left button through the system's input queue, at one screen point.
void RealDoubleClick(POINT at) {
    MoveMouseTo(at);
    PumpFor(50);
    PressMouse(
        {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP});
}

TEST_F(MainPicturesTest, RealDoubleClickOnALinkIsOneClickAndADoubleClick) {
    MainWindowPictures& pictures = *window_->Pictures();
    aicAlphaImage* link = pictures.Find("aicAlphaImage5");
    AlphaImageHost* host = pictures.HostOf("Picture4");
    ASSERT_TRUE(link && host);
    std::string events;
    auto click = link->events.Click;
    link->events.Click = [&, click](std::int32_t button) {
        events += "Click ";
        click(button);
    };
    link->events.DblClick = [&] { events += "DblClick "; };

    SetWindowPos(window_->Hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(window_->Hwnd());
    PumpFor(100);
    const RECT place = host->PlaceOf(*link);
    POINT at{(place.left + place.right) / 2, (place.top + place.bottom) / 2};
    ClientToScreen(host->Container(), &at);
    ASSERT_EQ(WindowFromPoint(at), host->Container());
    RealDoubleClick(at);
    PumpFor(200);
    EXPECT_EQ(events, "Click DblClick ");
    EXPECT_EQ(opened_.size(), 1u) << "a double click opens the page once";
}

TEST_F(MainPicturesTest, LinkImageIsAlphaBlendedOverTheWindow) {
    MainWindowPictures& pictures = *window_->Pictures();
    aicAlphaImage* link = pictures.Find("aicAlphaImage5");
    AlphaImageHost* host = pictures.HostOf("Picture4");
    ASSERT_TRUE(link && host);
    RedrawWindow(window_->Hwnd(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpFor(50);

    // The stored picture, decoded by the own decoder (premultiplied BGRA).
    c32bppDIB picture(kCapGdiplusBarred);
    ASSERT_TRUE(picture.LoadPicture_Stream(Picture("link_chat.png")));
    const RECT place = host->PlaceOf(*link);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const int faceBgr[3] = {GetBValue(face), GetGValue(face), GetRValue(face)};
    HDC dc = GetDC(host->Container());
    int transparent = 0, opaque = 0, partial = 0;
    for (int y = 0; y < picture.Height(); y += 3)
        for (int x = 0; x < picture.Width(); x += 3) {
            const std::uint8_t* p =
                picture.BitsPointer() +
                (std::size_t(picture.Height() - 1 - y) * picture.Width() + x) * 4;
            const COLORREF shown = GetPixel(dc, place.left + x, place.top + y);
            const int got[3] = {GetBValue(shown), GetGValue(shown), GetRValue(shown)};
            for (int c = 0; c < 3; ++c) {
                const int expected = faceBgr[c] * (255 - p[3]) / 255 + p[c];
                EXPECT_NEAR(got[c], expected, 3) << x << "," << y << " channel " << c;
            }
            transparent += p[3] == 0;
            opaque += p[3] == 255;
            partial += p[3] > 0 && p[3] < 255;
        }
    ReleaseDC(host->Container(), dc);
    EXPECT_GT(transparent, 0);
    EXPECT_GT(opaque, 0);
    EXPECT_GT(partial, 0); // soft edges were blended, not cut
}

TEST_F(MainPicturesTest, OneGdiplusSessionForTheWindowEndingAfterIt) {
    if (!cGDIPlus::AvailableOnThisSystem()) GTEST_SKIP() << "no GDI+ on this system";
    MainWindowPictures& pictures = *window_->Pictures();
    const HWND main = window_->Hwnd();
    EXPECT_NE(FindWindowExW(main, nullptr, L"Static", L"GDI+Safe Patch"), nullptr);
    auto session = pictures.Find("aicAlphaImage1")->Session();
    for (const char* name : {"aicAlphaImage4", "aicAlphaImage5", "aicAlphaImage6"}) {
        EXPECT_EQ(pictures.Find(name)->Session(), session) << name;
        EXPECT_TRUE(pictures.Find(name)->GDIplusInitialized()) << name;
    }
    EXPECT_NE(session->gdiToken(), cCrossComm::kNoSession);
    EXPECT_NE(session->gdiToken(), cCrossComm::kForeignSession);
    EXPECT_EQ(session->Count(), 4);
    EXPECT_EQ(cGDIPlus::OpenSessions(), openBefore_ + 1);

    window_.reset();
    for (int i = 0; i < 100 && cGDIPlus::OpenSessions() != openBefore_; ++i) PumpFor(10);
    EXPECT_EQ(cGDIPlus::OpenSessions(), openBefore_);
}

} // namespace
} // namespace corvale::win32
