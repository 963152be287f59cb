// Visual-style support on real windows (Windows only; runs under Wine with common controls 6).
// Tests that need visual styles in force run in a child process of this program started with
// the Light theme switched on in the user's settings, because a process reads the theme once.
#include "controls/win32/xp_theme_support.h"
#include "tests/support/win32_test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <uxtheme.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace corvale::win32 {
namespace {

constexpr COLORREF kRed = RGB(220, 0, 0);
constexpr COLORREF kMagenta = RGB(255, 0, 255);

using test_support::PumpPending;

// ---- pictures made on the spot

HBITMAP SolidBitmap(int w, int h, COLORREF fill, COLORREF border) {
    HDC screen = GetDC(nullptr);
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    HDC mem = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(mem, bmp);
    pvDrawRect(mem, 0, 0, w, h, border);
    pvDrawRect(mem, 1, 1, w - 2, h - 2, fill);
    SelectObject(mem, old);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return bmp;
}

// An icon 16 wide and 24 tall: green in its top 16 rows, transparent below.
HICON TallIcon() {
    HBITMAP colour = SolidBitmap(16, 24, RGB(0, 160, 0), RGB(0, 160, 0));
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(mem, colour);
    pvDrawRect(mem, 0, 16, 16, 8, RGB(0, 0, 0));
    SelectObject(mem, old);
    HBITMAP mask = CreateBitmap(16, 24, 1, 1, nullptr);
    old = SelectObject(mem, mask);
    PatBlt(mem, 0, 0, 16, 16, BLACKNESS); // opaque
    PatBlt(mem, 0, 16, 16, 8, WHITENESS); // transparent
    SelectObject(mem, old);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    ICONINFO info{TRUE, 0, 0, mask, colour};
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(colour);
    DeleteObject(mask);
    return icon;
}

// ---- windows

LRESULT CALLBACK FormProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    return DefWindowProcW(h, msg, wp, lp);
}

HWND MakeForm(int w, int h) {
    static const bool registered = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = FormProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        wc.lpszClassName = L"CorvaleThemeTestForm";
        return RegisterClassW(&wc) != 0;
    }();
    if (!registered) return nullptr;
    return CreateWindowExW(0, L"CorvaleThemeTestForm", L"Themed buttons",
                           WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 40, 40, w, h, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

HWND MakeButton(HWND form, int x, int y, int w, int h, DWORD style = BS_PUSHBUTTON,
                const wchar_t* text = L"") {
    return CreateWindowExW(0, L"BUTTON", text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, form,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
}

struct Form {
    HWND hwnd;
    explicit Form(int w = 320, int h = 200) : hwnd(MakeForm(w, h)) {}
    ~Form() {
        if (hwnd) DestroyWindow(hwnd);
    }
};

// The pixels of a window as it shows on screen, rows top-down, 0x00RRGGBB.
struct Shot {
    int w = 0, h = 0;
    std::vector<std::uint32_t> px;
    std::uint32_t at(int x, int y) const { return px[static_cast<std::size_t>(y) * w + x]; }
};

Shot Capture(HWND hwnd) {
    RedrawWindow(hwnd, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpPending();
    RECT rc;
    GetClientRect(hwnd, &rc);
    Shot s;
    s.w = rc.right;
    s.h = rc.bottom;
    s.px.assign(static_cast<std::size_t>(s.w) * s.h, 0);
    HDC dc = GetDC(hwnd);
    HDC mem = CreateCompatibleDC(dc);
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), s.w, -s.h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, dib);
    BitBlt(mem, 0, 0, s.w, s.h, dc, 0, 0, SRCCOPY);
    GdiFlush();
    const auto* p = static_cast<const std::uint32_t*>(bits);
    for (std::size_t i = 0; i < s.px.size(); ++i) s.px[i] = p[i] & 0xFFFFFF;
    SelectObject(mem, old);
    DeleteObject(dib);
    DeleteDC(mem);
    ReleaseDC(hwnd, dc);
    return s;
}

// Writes a shot as a 24-bit BMP (turned into PNG for the documentation by hand).
void SaveShot(const Shot& s, const std::string& path) {
    const int row = (s.w * 3 + 3) & ~3;
    const std::uint32_t size = 54 + static_cast<std::uint32_t>(row) * s.h;
    std::vector<unsigned char> out(size, 0);
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out[at + i] = static_cast<unsigned char>(v >> (8 * i));
    };
    out[0] = 'B', out[1] = 'M';
    put32(2, size), put32(10, 54), put32(14, 40), put32(18, s.w), put32(22, s.h);
    out[26] = 1, out[28] = 24;
    for (int y = 0; y < s.h; ++y)
        for (int x = 0; x < s.w; ++x) {
            const std::uint32_t c = s.at(x, s.h - 1 - y);
            unsigned char* d = &out[54 + static_cast<std::size_t>(y) * row + x * 3];
            d[0] = c & 0xFF, d[1] = (c >> 8) & 0xFF, d[2] = (c >> 16) & 0xFF;
        }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(out.data()), size);
}

Shot Crop(const Shot& s, HWND child, HWND parent) {
    RECT rc;
    GetWindowRect(child, &rc);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rc), 2);
    Shot c;
    c.w = rc.right - rc.left;
    c.h = rc.bottom - rc.top;
    for (int y = rc.top; y < rc.bottom; ++y)
        for (int x = rc.left; x < rc.right; ++x) c.px.push_back(s.at(x, y));
    return c;
}

bool Near(std::uint32_t a, COLORREF ref, int tolerance = 24) {
    const int r = (a >> 16) & 0xFF, g = (a >> 8) & 0xFF, b = a & 0xFF;
    return std::abs(r - GetRValue(ref)) <= tolerance && std::abs(g - GetGValue(ref)) <= tolerance &&
           std::abs(b - GetBValue(ref)) <= tolerance;
}

int CountNear(const Shot& s, COLORREF ref) {
    int n = 0;
    for (std::uint32_t p : s.px) n += Near(p, ref) ? 1 : 0;
    return n;
}

// ---- running a test with visual styles on or off

bool InChild() {
    return std::getenv("CORVALE_THEME_CHILD") != nullptr;
}

void SetThemeActive(bool on) {
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER,
                        L"Software\\Microsoft\\Windows\\CurrentVersion\\ThemeManager", 0, nullptr,
                        0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    auto setText = [&](const wchar_t* name, const wchar_t* value) {
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                       static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
    };
    setText(L"ThemeActive", on ? L"1" : L"0");
    setText(L"DllName", L"C:\\windows\\resources\\themes\\light\\light.msstyles");
    setText(L"ColorName", L"Blue");
    setText(L"SizeName", L"NormalSize");
    RegCloseKey(key);
}

// Switches the Light theme on or off for the user and runs the named test in a new process of
// this program (a process reads the theme once, when it starts); the setting is switched back
// afterwards. Returns the child's exit code.
int RunInChild(const std::string& test, bool stylesOn) {
    SetThemeActive(stylesOn);
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring cmd = L"\"" + std::wstring(self) + L"\" --gtest_filter=";
    for (char c : test) cmd += static_cast<wchar_t>(c);
    SetEnvironmentVariableW(L"CORVALE_THEME_CHILD", L"1");
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    const BOOL started =
        CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    SetEnvironmentVariableW(L"CORVALE_THEME_CHILD", nullptr);
    if (started) WaitForSingleObject(pi.hProcess, 120000);
    SetThemeActive(!stylesOn);
    if (!started) return -2;
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

// Runs the rest of the current test only where visual styles are on (or off); elsewhere runs it
// in a child process with the theme switched accordingly and reports the child's result.
#define RUN_WITH_STYLES(on)                                                                        \
    do {                                                                                           \
        if (IsThemed() != (on)) {                                                                  \
            ASSERT_FALSE(InChild()) << "the theme could not be switched";                          \
            const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();            \
            const std::string name = std::string(info->test_suite_name()) + "." + info->name();    \
            ASSERT_EQ(RunInChild(name, on), 0) << "run of " << name << " in a child";              \
            return;                                                                                \
        }                                                                                          \
    } while (0)

// ---- tests

TEST(ThemeStartUp, CommonControlsSixAreLoaded) {
    EXPECT_TRUE(IsComCtl6Loaded());
    InitVisualStyles();
    InitVisualStyles(); // later calls return at once
    EXPECT_TRUE(IsComCtl6Loaded());
}

TEST(ThemeFixUps, OnlyFramesAndGraphicalButtonsAreSubclassed) {
    Form form;
    SimpleThemedButton graphical, plain, option;
    const HWND g = MakeButton(form.hwnd, 10, 10, 25, 27);
    const HWND p = MakeButton(form.hwnd, 40, 10, 60, 27, BS_PUSHBUTTON, L"Plain");
    const HWND o = MakeButton(form.hwnd, 110, 10, 25, 27, BS_AUTORADIOBUTTON | BS_PUSHLIKE);
    const HWND frame = MakeButton(form.hwnd, 10, 50, 200, 80, BS_GROUPBOX, L"Frame");
    const HWND label = CreateWindowExW(0, L"STATIC", L"x", WS_CHILD | WS_VISIBLE, 150, 10, 20, 20,
                                       form.hwnd, nullptr, GetModuleHandleW(nullptr), nullptr);
    const ThemeControl controls[] = {
        {ThemeControlKind::CommandButton, 1, g, &graphical},
        {ThemeControlKind::CommandButton, 0, p, &plain},
        {ThemeControlKind::OptionButton, 1, o, &option},
        {ThemeControlKind::Frame, 0, frame, nullptr},
        {ThemeControlKind::Other, 1, label, nullptr},
    };
    ASSERT_TRUE(FixThemeSupport(controls));
    // RemoveWindowSubclass reports whether the subclass was there.
    EXPECT_TRUE(RemoveWindowSubclass(g, pvRedirectButton, 0));
    EXPECT_FALSE(RemoveWindowSubclass(p, pvRedirectButton, 0));
    EXPECT_TRUE(RemoveWindowSubclass(o, pvRedirectButton, 0));
    EXPECT_TRUE(RemoveWindowSubclass(frame, pvRedirectFrame, 0));
    EXPECT_FALSE(RemoveWindowSubclass(label, pvRedirectButton, 0));
    EXPECT_FALSE(RemoveWindowSubclass(label, pvRedirectFrame, 0));
}

TEST(ThemeFixUps, WithoutCommonControlsSixNothingIsSubclassed) {
    Form form;
    SimpleThemedButton graphical;
    const HWND g = MakeButton(form.hwnd, 10, 10, 25, 27);
    const HWND frame = MakeButton(form.hwnd, 10, 50, 200, 80, BS_GROUPBOX, L"Frame");
    const ThemeControl controls[] = {{ThemeControlKind::CommandButton, 1, g, &graphical},
                                     {ThemeControlKind::Frame, 0, frame, nullptr}};
    SetKnownComCtlVersion(5);
    EXPECT_FALSE(IsComCtl6Loaded());
    EXPECT_FALSE(FixThemeSupport(controls));
    SetKnownComCtlVersion(0); // ask comctl32 again
    EXPECT_TRUE(IsComCtl6Loaded());
    EXPECT_FALSE(RemoveWindowSubclass(g, pvRedirectButton, 0));
    EXPECT_FALSE(RemoveWindowSubclass(frame, pvRedirectFrame, 0));
}

TEST(ThemeFixUps, FormModelControlsMapToTheirKinds) {
    Control c;
    c.kind = ControlKind::CommandButton;
    c.properties.Set("Style", std::int16_t{1});
    SimpleThemedButton b;
    const ThemeControl t = ThemeControlOf(c, reinterpret_cast<HWND>(1), &b);
    EXPECT_EQ(t.kind, ThemeControlKind::CommandButton);
    EXPECT_EQ(t.style, 1);
    c.kind = ControlKind::Label;
    EXPECT_EQ(ThemeControlOf(c, nullptr, nullptr).kind, ThemeControlKind::Other);
}

TEST(ThemeFixUps, FormButtonsOfEveryKindArePaintedAsTheyAreNow) {
    Form window;
    corvale::Form model;
    std::map<std::string, HWND> windows;
    auto add = [&](const char* name, ControlKind kind, int style, DWORD buttonStyle) {
        Control c;
        c.name = name;
        c.kind = kind;
        c.properties.Set("Style", std::int16_t(style));
        model.controls.push_back(c);
        windows[name] =
            MakeButton(window.hwnd, 10 + 40 * int(windows.size()), 10, 30, 27, buttonStyle);
    };
    add("Command1", ControlKind::CommandButton, 1, BS_PUSHBUTTON | BS_ICON);
    add("Option1", ControlKind::OptionButton, 1, BS_AUTORADIOBUTTON | BS_PUSHLIKE);
    add("Check1", ControlKind::CheckBox, 1, BS_AUTOCHECKBOX | BS_PUSHLIKE);
    add("Check2", ControlKind::CheckBox, 0, BS_AUTOCHECKBOX);
    FormThemeSupport theme;
    ASSERT_TRUE(theme.Apply(model, [&](const Control& c) { return windows[c.name]; }));
    EXPECT_EQ(ThemeControlOf(model.controls[1], nullptr, nullptr).kind,
              ThemeControlKind::OptionButton);
    EXPECT_EQ(ThemeControlOf(model.controls[2], nullptr, nullptr).kind, ThemeControlKind::CheckBox);
    // What changes after the fix-ups is what gets painted.
    const ThemedButton* command = theme.ButtonOf(windows["Command1"]);
    ASSERT_NE(command, nullptr);
    HICON icon = TallIcon();
    SetWindowTextW(windows["Command1"], L"Go");
    SendMessageW(windows["Command1"], BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
    SendMessageW(windows["Command1"], BM_SETSTYLE, BS_DEFPUSHBUTTON | BS_ICON, FALSE);
    EXPECT_EQ(command->Caption(), "Go");
    const auto picture = command->Picture();
    EXPECT_TRUE(picture && picture->handle == icon);
    EXPECT_TRUE(command->Default());
    EXPECT_EQ(command->Value(), std::nullopt);
    SendMessageW(windows["Command1"], BM_SETIMAGE, IMAGE_ICON, 0);
    DestroyIcon(icon);

    const ThemedButton* option = theme.ButtonOf(windows["Option1"]);
    const ThemedButton* check = theme.ButtonOf(windows["Check1"]);
    ASSERT_TRUE(option && check);
    EXPECT_EQ(theme.ButtonOf(windows["Check2"]), nullptr) << "not graphical";
    SendMessageW(windows["Check1"], BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_EQ(check->Value(), std::optional<bool>(true));
    EXPECT_EQ(option->Value(), std::optional<bool>(false));
    EXPECT_FALSE(RemoveWindowSubclass(windows["Check2"], pvRedirectButton, 0));
    EXPECT_TRUE(RemoveWindowSubclass(windows["Option1"], pvRedirectButton, 0));
}

TEST(ThemeFixUps, ButtonsAreLeftAloneWhileStylesAreOff) {
    RUN_WITH_STYLES(false);
    Form form;
    HBITMAP bmp = SolidBitmap(16, 16, kRed, RGB(0, 0, 128));
    const HWND fixed = MakeButton(form.hwnd, 10, 10, 25, 27, BS_PUSHBUTTON | BS_BITMAP);
    const HWND untouched = MakeButton(form.hwnd, 50, 10, 25, 27, BS_PUSHBUTTON | BS_BITMAP);
    SendMessageW(fixed, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bmp));
    SendMessageW(untouched, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bmp));
    SimpleThemedButton props;
    props.picture = PictureFromBitmap(bmp);
    const ThemeControl controls[] = {{ThemeControlKind::CommandButton, 1, fixed, &props}};
    ASSERT_TRUE(FixThemeSupport(controls));

    SendMessageW(fixed, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    SendMessageW(fixed, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(fixed, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    SendMessageW(untouched, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    SendMessageW(untouched, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(untouched, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    SetFocus(form.hwnd);
    const Shot shot = Capture(form.hwnd);
    EXPECT_EQ(GetPropA(fixed, "Painted"), nullptr);
    EXPECT_EQ(GetPropA(fixed, "Hot"), nullptr);
    EXPECT_EQ(Crop(shot, fixed, form.hwnd).px, Crop(shot, untouched, form.hwnd).px);
    DeleteObject(bmp);
}

TEST(ThemeDrawing, TransparentTallIconShowsNoDarkBand) {
    HICON icon = TallIcon();
    ASSERT_TRUE(icon);
    const ButtonPictureRef pic = PictureFromIcon(icon);
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP target = CreateCompatibleBitmap(screen, 40, 40);
    HGDIOBJ old = SelectObject(mem, target);
    pvDrawRect(mem, 0, 0, 40, 40, RGB(255, 255, 255));
    pvDrawTransparentPicture(pic, mem, 4, 4, 16, 24, kMagenta, 0, 0, 0, 0);
    int green = 0, dark = 0;
    for (int y = 4; y < 28; ++y)
        for (int x = 4; x < 20; ++x) {
            const COLORREF c = GetPixel(mem, x, y);
            if (y < 20 && GetGValue(c) > 120 && GetRValue(c) < 40) ++green;
            if (y >= 20 && GetRValue(c) < 128 && GetGValue(c) < 128 && GetBValue(c) < 128) ++dark;
        }
    EXPECT_EQ(green, 16 * 16);
    EXPECT_EQ(dark, 0);
    SelectObject(mem, old);
    DeleteObject(target);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    DestroyIcon(icon);
}

TEST(ThemeDrawing, MissingPicturesDrawNothing) {
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP target = CreateCompatibleBitmap(screen, 8, 8);
    HGDIOBJ old = SelectObject(mem, target);
    pvDrawRect(mem, 0, 0, 8, 8, RGB(1, 2, 3));
    pvDrawTransparentPicture(std::nullopt, mem, 0, 0, 8, 8, kMagenta, 0, 0, 0, 0);
    pvDrawDisabledPicture(ButtonPictureRef{}, mem, 0, 0, 8, 8, kMagenta);
    EXPECT_EQ(GetPixel(mem, 4, 4), RGB(1, 2, 3));
    SelectObject(mem, old);
    DeleteObject(target);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
}

// The main window's three picture buttons, drawn by the themed painter or left to the system.
struct ButtonRow {
    Form form{200, 110};
    HBITMAP pictures[3];
    SimpleThemedButton props[3];
    HWND buttons[3];
    HWND standard;

    ButtonRow() {
        pictures[0] = SolidBitmap(16, 16, kRed, RGB(0, 0, 128));
        pictures[1] = SolidBitmap(16, 15, RGB(0, 140, 0), RGB(0, 0, 128));
        pictures[2] = SolidBitmap(16, 15, RGB(0, 0, 220), RGB(0, 0, 128));
        for (int i = 0; i < 3; ++i) {
            buttons[i] = MakeButton(form.hwnd, 6 + i * 30, 4, 25, 27, BS_PUSHBUTTON | BS_BITMAP);
            SendMessageW(buttons[i], BM_SETIMAGE, IMAGE_BITMAP,
                         reinterpret_cast<LPARAM>(pictures[i]));
            props[i].picture = PictureFromBitmap(pictures[i]);
            props[i].window = buttons[i];
        }
        standard = MakeButton(form.hwnd, 6, 40, 25, 27); // a plain push button, for comparison
        EnableWindow(buttons[1], FALSE);
        EnableWindow(buttons[2], FALSE);
        const ThemeControl controls[] = {
            {ThemeControlKind::CommandButton, 1, buttons[0], &props[0]},
            {ThemeControlKind::CommandButton, 1, buttons[1], &props[1]},
            {ThemeControlKind::CommandButton, 1, buttons[2], &props[2]},
        };
        FixThemeSupport(controls);
        SetFocus(form.hwnd);
    }
    ~ButtonRow() {
        DestroyWindow(form.hwnd);
        form.hwnd = nullptr;
        for (HBITMAP b : pictures) DeleteObject(b);
    }
};

// The window as drawn, also saved as `picture` in CORVALE_THEME_SHOTS when that is set.
Shot Drawn(HWND window, const char* picture) {
    const Shot shot = Capture(window);
    if (const char* dir = std::getenv("CORVALE_THEME_SHOTS"))
        SaveShot(shot, std::string(dir) + "/" + picture);
    return shot;
}

TEST(ThemeDrawing, StylesOffShowTheSystemButtons) {
    RUN_WITH_STYLES(false);
    ButtonRow row;
    const Shot shot = Drawn(row.form.hwnd, "buttons-styles-off.bmp");
    EXPECT_EQ(GetPropA(row.buttons[0], "Painted"), nullptr);
    EXPECT_GT(CountNear(Crop(shot, row.buttons[0], row.form.hwnd), kRed), 100);
}

TEST(ThemeDrawing, GraphicalButtonsDrawThemedFaces) {
    RUN_WITH_STYLES(true);
    ButtonRow row;
    const Shot shot = Drawn(row.form.hwnd, "buttons-themed.bmp");
    EXPECT_NE(GetPropA(row.buttons[0], "Painted"), nullptr);

    // The face is the theme's push button: the same edge as a standard themed button.
    const Shot ours = Crop(shot, row.buttons[0], row.form.hwnd);
    const Shot theirs = Crop(shot, row.standard, row.form.hwnd);
    int sameEdge = 0, edge = 0;
    for (int x = 0; x < ours.w; ++x)
        for (int y : {0, 1, ours.h - 2, ours.h - 1})
            ++edge, sameEdge += ours.at(x, y) == theirs.at(x, y);
    EXPECT_GE(sameEdge, edge * 9 / 10);

    // The 16 x 16 picture sits in the middle of the content: at (4 or 5, 5 or 6) of a 25 x 27
    // face, whatever the theme's margins, its centre pixel is red.
    EXPECT_TRUE(Near(ours.at(12, 13), kRed)) << std::hex << ours.at(12, 13);
    EXPECT_GE(CountNear(ours, kRed), 14 * 14);

    // Disabled without a disabled picture: the picture shows embossed, not in colour.
    const Shot disabled = Crop(shot, row.buttons[1], row.form.hwnd);
    EXPECT_EQ(CountNear(disabled, RGB(0, 140, 0)), 0);
    int differing = 0;
    for (int y = 8; y < 20; ++y)
        for (int x = 6; x < 19; ++x) differing += disabled.at(x, y) != disabled.at(3, 13);
    EXPECT_GT(differing, 10);
}

TEST(ThemeDrawing, HoverMakesTheButtonHotAndLeavingClearsIt) {
    RUN_WITH_STYLES(true);
    ButtonRow row;
    Capture(row.form.hwnd);
    const Shot before = Crop(Capture(row.form.hwnd), row.buttons[0], row.form.hwnd);
    SendMessageW(row.buttons[0], WM_MOUSEHOVER, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(GetPropA(row.buttons[0], "Hot"), reinterpret_cast<HANDLE>(1));
    const Shot hot = Crop(Capture(row.form.hwnd), row.buttons[0], row.form.hwnd);
    EXPECT_NE(hot.px, before.px); // the hot face differs from the normal one
    SendMessageW(row.buttons[0], WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(GetPropA(row.buttons[0], "Hot"), nullptr);
    const Shot after = Crop(Capture(row.form.hwnd), row.buttons[0], row.form.hwnd);
    EXPECT_EQ(after.px, before.px);
}

TEST(ThemeDrawing, CaptionPutsThePictureAboveIt) {
    RUN_WITH_STYLES(true);
    Form form(240, 120);
    HBITMAP bmp = SolidBitmap(16, 16, kRed, kRed);
    const HWND b = MakeButton(form.hwnd, 10, 10, 90, 60, BS_PUSHBUTTON | BS_BITMAP);
    SimpleThemedButton props;
    props.picture = PictureFromBitmap(bmp);
    props.caption = "Refresh";
    const ThemeControl controls[] = {{ThemeControlKind::CommandButton, 1, b, &props}};
    ASSERT_TRUE(FixThemeSupport(controls));
    const Shot face = Crop(Capture(form.hwnd), b, form.hwnd);
    int top = face.h, bottom = -1, dark = face.h;
    for (int y = 0; y < face.h; ++y)
        for (int x = 0; x < face.w; ++x) {
            if (Near(face.at(x, y), kRed)) top = std::min(top, y), bottom = std::max(bottom, y);
            if (Near(face.at(x, y), RGB(0, 0, 0), 60) && y > 4 && y < face.h - 4 && x > 4 &&
                x < face.w - 4)
                dark = std::min(dark, y);
        }
    ASSERT_LT(bottom, face.h);
    EXPECT_EQ(bottom - top, 15);
    EXPECT_LT(bottom, dark); // caption text below the picture
    EXPECT_LT(dark, face.h);
    DeleteObject(bmp);
}

// ---- the program's own buttons, set up from a form model as the windows do

// A picture file of the program's design data as an icon whose magenta pixels are transparent
// (the buttons' mask colour), the way the program's windows show them.
HICON ProgramGlyph(const char* name) {
    std::string path = std::string(CORVALE_SOURCE_DIR) + "/app/forms/pictures/" + name;
    if (!path.empty() && path[0] == '/') path = "Z:" + path; // the host's files under Wine
    std::wstring wide(path.begin(), path.end());
    HBITMAP bmp = static_cast<HBITMAP>(LoadImageW(nullptr, wide.c_str(), IMAGE_BITMAP, 0, 0,
                                                  LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    if (!bmp) return nullptr;
    BITMAP bm{};
    GetObjectW(bmp, sizeof bm, &bm);
    const int w = bm.bmWidth, h = std::abs(bm.bmHeight);
    std::vector<std::uint32_t> px(static_cast<std::size_t>(w) * h);
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, bmp, 0, h, px.data(), &bi, DIB_RGB_COLORS);
    DeleteObject(bmp);
    std::vector<std::uint8_t> maskBits(static_cast<std::size_t>((w + 15) / 16 * 2) * h, 0);
    const int maskRow = (w + 15) / 16 * 2;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint32_t& p = px[static_cast<std::size_t>(y) * w + x];
            if ((p & 0xFFFFFF) == 0xFF00FF) {
                p = 0;
                maskBits[static_cast<std::size_t>(y) * maskRow + x / 8] |= 0x80 >> (x % 8);
            }
        }
    HBITMAP colour = CreateCompatibleBitmap(screen, w, h);
    SetDIBits(screen, colour, 0, h, px.data(), &bi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    HBITMAP mask = CreateBitmap(w, h, 1, 1, maskBits.data());
    ICONINFO info{TRUE, 0, 0, mask, colour};
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(colour);
    DeleteObject(mask);
    return icon;
}

struct ProgramButtons {
    Form window{200, 70};
    corvale::Form model;
    HICON icons[3] = {};
    std::map<std::string, HWND> windows;
    std::unique_ptr<FormThemeSupport> theme = std::make_unique<FormThemeSupport>();

    ProgramButtons() {
        const char* files[] = {"refresh.bmp", "save.bmp", "copy.bmp"};
        for (int i = 0; i < 3; ++i) {
            Control c;
            c.name = "Command" + std::to_string(i + 1);
            c.kind = ControlKind::CommandButton;
            c.properties.Set("Style", std::int16_t{1});
            model.controls.push_back(c);
            icons[i] = ProgramGlyph(files[i]);
            HWND b = MakeButton(window.hwnd, 6 + i * 30, 4, 25, 27, BS_PUSHBUTTON | BS_ICON);
            SendMessageW(b, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icons[i]));
            if (i > 0) EnableWindow(b, FALSE); // save and copy start disabled
            windows[c.name] = b;
        }
        Control plain;
        plain.name = "Plain";
        plain.kind = ControlKind::CommandButton;
        plain.text = "OK";
        model.controls.push_back(plain);
        windows["Plain"] = MakeButton(window.hwnd, 100, 4, 60, 27, BS_PUSHBUTTON, L"OK");
        Control label;
        label.name = "Label1";
        label.kind = ControlKind::Label;
        model.controls.push_back(label); // no window: skipped
        SetFocus(window.hwnd);
    }
    ~ProgramButtons() {
        theme.reset();
        DestroyWindow(window.hwnd);
        window.hwnd = nullptr;
        for (HICON i : icons)
            if (i) DestroyIcon(i);
    }
    bool Apply() {
        return theme->Apply(model, [this](const Control& c) {
            auto it = windows.find(c.name);
            return it == windows.end() ? HWND{} : it->second;
        });
    }
};

int Saturated(const Shot& s) {
    int n = 0;
    for (std::uint32_t p : s.px) {
        const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
        n += std::max({r, g, b}) - std::min({r, g, b}) > 60;
    }
    return n;
}

TEST(ThemeDrawing, ProgramButtonsUnderTheLightTheme) {
    RUN_WITH_STYLES(true);
    ProgramButtons scene;
    ASSERT_TRUE(scene.icons[0]);
    ASSERT_TRUE(scene.Apply());
    const Shot shot = Drawn(scene.window.hwnd, "program-buttons-themed.bmp");
    EXPECT_NE(GetPropA(scene.windows["Command1"], "Painted"), nullptr);
    EXPECT_EQ(GetPropA(scene.windows["Plain"], "Painted"), nullptr);
    const Shot refresh = Crop(shot, scene.windows["Command1"], scene.window.hwnd);
    EXPECT_GT(Saturated(refresh), 30);          // the glyph in colour
    EXPECT_EQ(CountNear(refresh, kMagenta), 0); // its mask colour stays transparent
    const Shot save = Crop(shot, scene.windows["Command2"], scene.window.hwnd);
    EXPECT_EQ(Saturated(save), 0); // disabled: embossed grey
    EXPECT_EQ(CountNear(save, kMagenta), 0);

    // Going away undoes the subclassing.
    const HWND refreshWindow = scene.windows["Command1"];
    scene.theme.reset();
    EXPECT_FALSE(RemoveWindowSubclass(refreshWindow, pvRedirectButton, 0));
}

TEST(ThemeDrawing, ProgramButtonsWithStylesOff) {
    RUN_WITH_STYLES(false);
    ProgramButtons scene;
    ASSERT_TRUE(scene.Apply());
    const Shot shot = Drawn(scene.window.hwnd, "program-buttons-styles-off.bmp");
    EXPECT_EQ(GetPropA(scene.windows["Command1"], "Painted"), nullptr);
    EXPECT_GT(Saturated(Crop(shot, scene.windows["Command1"], scene.window.hwnd)), 30);
}

} // namespace
} // namespace corvale::win32
