// Both windows laid out at the DPI the prefix is set to (the run script sets the user's
// LogPixels before each run and names it in CORVALE_TEST_DPI): no label or column header is cut,
// and a move to a screen of another DPI lays the window out again.
#include "app/win32/message_pump.h"
#include "app/win32/program.h"
#include "platform/fixture_wmi.h"
#include "platform/win32/com.h"
#include "platform/win32/dpi.h"
#include "platform/win32/wide_text.h"
#include "tests/support/win32_test_support.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace corvale::win32 {
namespace {

WmiObject Service(std::string display, std::string name, std::int64_t pid) {
    WmiObject o;
    o.Set("DisplayName", WmiValue::Text(display));
    o.Set("Caption", WmiValue::Text(display));
    o.Set("Name", WmiValue::Text(name));
    o.Set("PathName", WmiValue::Text("C:\\Windows\\system32\\svchost.exe -k netsvcs -p"));
    o.Set("ProcessId", WmiValue::Integer(pid));
    o.Set("State", WmiValue::Text("Running"));
    o.Set("Started", WmiValue::Bool(true));
    return o;
}

WmiObject Process(std::int64_t pid, std::string workingSet) {
    WmiObject o;
    o.Set("ProcessId", WmiValue::Integer(pid));
    o.Set("WorkingSetSize", WmiValue::Text(std::move(workingSet)));
    return o;
}

FixtureData Recorded() {
    FixtureData d;
    // Long texts: four-digit megabytes in a cell and in the total.
    d.services = {Service("Remote Procedure Call (RPC)", "RpcSs", 1000),
                  Service("Windows Management Instrumentation", "Winmgmt", 2000)};
    d.processes = {Process(1000, "1610612736"), Process(2000, "128849018")};
    return d;
}

UINT ExpectedDpi() {
    const char* v = std::getenv("CORVALE_TEST_DPI");
    return v ? static_cast<UINT>(std::strtoul(v, nullptr, 10)) : 0;
}

SIZE TextSize(HWND control, const std::wstring& text) {
    RECT need{0, 0, 0, 0};
    HDC dc = GetDC(control);
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &need,
              DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return {need.right, need.bottom};
}

// The width of the picture a button shows.
int PictureWidth(HWND button) {
    auto icon = reinterpret_cast<HICON>(SendMessageW(button, BM_GETIMAGE, IMAGE_ICON, 0));
    ICONINFO info{};
    if (!icon || !GetIconInfo(icon, &info)) return 0;
    BITMAP bm{};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return bm.bmWidth;
}

std::wstring WindowText(HWND w) {
    wchar_t buf[512] = {};
    GetWindowTextW(w, buf, 512);
    return buf;
}

// Every label of the window shows its whole text on one line, at the window's font.
void ExpectLabelsWhole(const FormWindow& form, const char* where) {
    for (const Control& c : form.Design().controls) {
        if (c.kind != ControlKind::Label) continue;
        HWND label = form.ChildOf(c);
        ASSERT_NE(label, nullptr) << c.name;
        const std::wstring text = WindowText(label);
        const SIZE need = TextSize(label, text);
        RECT have{};
        GetClientRect(label, &have);
        EXPECT_LE(need.cx, have.right) << where << " " << c.name << " \"" << Utf8FromWide(text)
                                       << "\" at " << form.Dpi() << " dpi";
        EXPECT_LE(need.cy, have.bottom) << where << " " << c.name << " at " << form.Dpi();
        // ... and stays inside the window.
        RECT place{}, window{};
        GetWindowRect(label, &place);
        GetClientRect(GetParent(label), &window);
        MapWindowPoints(nullptr, GetParent(label), reinterpret_cast<POINT*>(&place), 2);
        EXPECT_LE(place.right, window.right) << where << " " << c.name << " at " << form.Dpi();
    }
}

void ExpectHeadersWhole(HWND list) {
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    const int columns = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    ASSERT_EQ(columns, 5);
    for (int i = 0; i < columns; ++i) {
        const std::wstring caption = test_support::HeaderItemText(header, i);
        const int width = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, i, 0));
        EXPECT_LE(TextSize(header, caption).cx, width) << Utf8FromWide(caption);
    }
}

// The window's client area as a 24-bit BMP file (the script turns it into the docs' PNG).
void SaveWindowPicture(HWND window, const std::string& path) {
    RECT r{};
    GetClientRect(window, &r);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP dib = test_support::NewDibSection(screen, w, h, 24, &bits);
    DIBSECTION section{};
    GetObjectW(dib, sizeof section, &section);
    HGDIOBJ old = SelectObject(mem, dib);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof section.dsBmih;
    fh.bfSize = fh.bfOffBits + stride * static_cast<DWORD>(h);
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(&fh, sizeof fh, 1, f);
        std::fwrite(&section.dsBmih, sizeof section.dsBmih, 1, f);
        std::fwrite(bits, stride, static_cast<std::size_t>(h), f);
        std::fclose(f);
    }
    SelectObject(mem, old);
    DeleteObject(dib);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
}

class DpiLayoutTest : public ::testing::Test {
  protected:
    void SetUp() override {
        MainWindowServices s;
        s.wmi = &wmi_;
        s.specialFolderPath = [](int) { return std::string("C:\\Users\\tester\\Desktop"); };
        window_ = OpenMainWindow(GetModuleHandleW(nullptr), std::move(s));
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override {
        window_.reset();
        test_support::DrainQuit();
    }
    void Scan() {
        SendMessageW(window_->Child("Command1"), BM_CLICK, 0, 0);
        ASSERT_TRUE(
            PumpUntil([&] { return IsWindowEnabled(window_->Child("Command1")) != FALSE; }, 10000));
    }
    void OpenDetail() {
        HWND list = window_->Child("ListView1");
        LVITEMW state{};
        state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
        SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(20, 8));
        PumpUntil([&] { return window_->DetailWindow() != nullptr; }, 5000);
    }

    FixtureWmi wmi_{Recorded()};
    std::unique_ptr<FrmMain> window_;
};

TEST_F(DpiLayoutTest, NoLabelOrHeaderIsCutAtTheSystemDpi) {
    const UINT dpi = ExpectedDpi();
    ASSERT_NE(dpi, 0u) << "run through dpi_prefix_run.sh, which sets CORVALE_TEST_DPI";
    ASSERT_EQ(static_cast<UINT>(window_->Dpi()), dpi) << "the prefix's LogPixels did not hold";
    ExpectLabelsWhole(*window_, "main (idle)");
    // Fonts and places follow the DPI: the buttons' 8.25 pt and the list's place in twips.
    LOGFONTW lf{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window_->Child("Command1"), WM_GETFONT, 0, 0)),
               sizeof lf, &lf);
    EXPECT_EQ(lf.lfHeight, FontHeightForDpi(825, dpi));
    RECT list{};
    GetWindowRect(window_->Child("ListView1"), &list);
    MapWindowPoints(nullptr, window_->Hwnd(), reinterpret_cast<POINT*>(&list), 2);
    EXPECT_NEAR(list.top, TwipsToPixelsForDpi(510, dpi), 1);
    EXPECT_EQ(PictureWidth(window_->Child("Command1")), ScaleForDpi(16, dpi));

    Scan();
    // Label2 is shown during a scan; it is measured with the rest.
    ExpectLabelsWhole(*window_, "main (after a scan)");
    ExpectHeadersWhole(window_->Child("ListView1"));
    OpenDetail();
    ASSERT_NE(window_->DetailWindow(), nullptr);
    ExpectLabelsWhole(*window_->DetailWindow(), "detail");

    if (const char* shot = std::getenv("CORVALE_SCREENSHOT"); shot && *shot) {
        DestroyWindow(window_->DetailWindow()->Hwnd());
        SetForegroundWindow(window_->Hwnd());
        RedrawWindow(window_->Hwnd(), nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
        PumpUntil([] { return false; }, 500);
        SaveWindowPicture(window_->Hwnd(), shot);
    }
}

TEST_F(DpiLayoutTest, AMoveToAnotherDpiTakesTheSuggestedPlaceAndScalesTheLayout) {
    Scan();
    const int from = window_->Dpi();
    const int to = from * 3 / 2;
    RECT r{};
    GetWindowRect(window_->Hwnd(), &r);
    RECT suggested{r.left, r.top, r.left + (r.right - r.left) * 3 / 2,
                   r.top + (r.bottom - r.top) * 3 / 2};
    SendMessageW(window_->Hwnd(), WM_DPICHANGED, MAKEWPARAM(to, to),
                 reinterpret_cast<LPARAM>(&suggested));
    PumpPendingMessages();
    EXPECT_EQ(window_->Dpi(), to);
    RECT now{};
    GetWindowRect(window_->Hwnd(), &now);
    EXPECT_EQ(now.right - now.left, suggested.right - suggested.left);
    EXPECT_EQ(now.bottom - now.top, suggested.bottom - suggested.top);
    LOGFONTW lf{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window_->Child("Label1"), WM_GETFONT, 0, 0)),
               sizeof lf, &lf);
    EXPECT_EQ(lf.lfHeight, FontHeightForDpi(675, static_cast<UINT>(to)));
    RECT button{};
    GetWindowRect(window_->Child("Command3"), &button);
    MapWindowPoints(nullptr, window_->Hwnd(), reinterpret_cast<POINT*>(&button), 2);
    EXPECT_NEAR(button.left, TwipsToPixelsForDpi(1500, static_cast<UINT>(to)), 1);
    EXPECT_NEAR(button.right - button.left, TwipsToPixelsForDpi(375, static_cast<UINT>(to)), 1);
    EXPECT_EQ(PictureWidth(window_->Child("Command3")), ScaleForDpi(16, static_cast<UINT>(to)));
    ExpectLabelsWhole(*window_, "main (moved)");
    ExpectHeadersWhole(window_->Child("ListView1"));
}

} // namespace
} // namespace corvale::win32
