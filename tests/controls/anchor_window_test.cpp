// The anchoring control bound to a real window (Windows only; runs under Wine).
#include "controls/win32/anchor_window.h"
#include "controls/win32/registry_settings_store.h"
#include "tests/controls/anchored_label.h"
#include "tests/support/win32_test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <map>

namespace corvale::win32 {
namespace {

using test_support::PumpPending;

constexpr auto Child = test_support::AnchoredLabel;

// A top-level window of 612 x 346 pixels (9180 x 5190 twips) with one child per control.
struct TestForm {
    HWND hwnd = nullptr;
    Form model;
    std::map<std::string, HWND> windows;

    TestForm()
        : model(test_support::AnchorTestForm({Child("List", "TTTT*/", {90, 510, 8865, 2505}),
                                              Child("Note", "TFFT*/", {90, 3090, 4080, 180}),
                                              Child("Logo", "FFTT*/", {7500, 3090, 1485, 1515}),
                                              Child("Button", "TTFF*/", {90, 60, 375, 405})})) {
        hwnd = CreateWindowExW(0, L"STATIC", L"anchor host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10,
                               10, 612, 346, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        for (const Control& c : model.controls) {
            const TwipsRect& r = *c.position;
            windows[c.name] = CreateWindowExW(
                0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_GRAYRECT, r.left / 15, r.top / 15,
                r.width / 15, r.height / 15, hwnd, nullptr, GetModuleHandleW(nullptr), nullptr);
        }
    }
    ~TestForm() {
        if (hwnd) DestroyWindow(hwnd);
    }
    ControlWindowLookup Lookup() {
        return [this](const Control& c) {
            auto it = windows.find(c.name);
            return it == windows.end() ? HWND{} : it->second;
        };
    }
    RECT Place(const char* name) {
        RECT rc;
        GetWindowRect(windows[name], &rc);
        MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&rc), 2);
        return rc;
    }
    SIZE Outer() {
        RECT rc;
        GetWindowRect(hwnd, &rc);
        return {rc.right - rc.left, rc.bottom - rc.top};
    }
    void Size(int w, int h) {
        SetWindowPos(hwnd, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER);
        PumpPending();
    }
};

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST(AnchorWindow, ControlsFollowTheWindowEdges) {
    TestForm form;
    ASSERT_TRUE(form.hwnd);
    FormAnchor anchor(form.hwnd, form.model, form.Lookup());
    anchor->DontRefresh = true;
    anchor->DoInit(5190, 9180);
    EXPECT_EQ(form.model.controls[0].tag, "");

    form.Size(612 + 40, 346 + 20); // 600 x 300 twips more
    EXPECT_TRUE(SameRect(form.Place("List"), RECT{6, 34, 6 + 591 + 40, 34 + 167 + 20}));
    EXPECT_TRUE(SameRect(form.Place("Note"), RECT{6, 226, 6 + 272, 226 + 12}));
    EXPECT_TRUE(SameRect(form.Place("Logo"), RECT{540, 226, 540 + 99, 226 + 101}));
    EXPECT_TRUE(SameRect(form.Place("Button"), RECT{6, 4, 31, 31}));
}

TEST(AnchorWindow, NeverShrinksBelowTheDesignSize) {
    TestForm form;
    FormAnchor anchor(form.hwnd, form.model, form.Lookup());
    anchor->DontRefresh = true;
    anchor->DoInit(5190, 9180);
    form.Size(612 + 40, 346 + 20);
    form.Size(300, 200);
    EXPECT_EQ(form.Outer().cx, 612);
    EXPECT_EQ(form.Outer().cy, 346);
    EXPECT_TRUE(SameRect(form.Place("List"), RECT{6, 34, 6 + 591, 34 + 167}));
    EXPECT_TRUE(SameRect(form.Place("Logo"), RECT{500, 206, 500 + 99, 206 + 101}));
}

TEST(AnchorWindow, MinimisingChangesNothingAndRestoringApplies) {
    TestForm form;
    FormAnchor anchor(form.hwnd, form.model, form.Lookup());
    anchor->DontRefresh = true;
    anchor->DoInit(5190, 9180);
    const RECT before = form.Place("Logo");
    ShowWindow(form.hwnd, SW_MINIMIZE);
    PumpPending();
    EXPECT_TRUE(SameRect(form.Place("Logo"), before));
    ShowWindow(form.hwnd, SW_RESTORE);
    PumpPending();
    EXPECT_TRUE(SameRect(form.Place("Logo"), before));
    form.Size(612 + 40, 346 + 20);
    EXPECT_EQ(form.Place("Logo").left, before.left + 40);
}

int g_setRedraw = 0;
LRESULT CALLBACK CountRedraw(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
    if (msg == WM_SETREDRAW) ++g_setRedraw;
    return DefSubclassProc(h, msg, wp, lp);
}

TEST(AnchorWindow, DontRefreshSendsNoRedrawMessages) {
    TestForm form;
    FormAnchor anchor(form.hwnd, form.model, form.Lookup());
    ASSERT_TRUE(SetWindowSubclass(form.hwnd, CountRedraw, 1, 0));
    anchor->DontRefresh = true;
    anchor->DoInit(5190, 9180);
    g_setRedraw = 0;
    form.Size(650, 380);
    EXPECT_EQ(g_setRedraw, 0);

    anchor->DontRefresh = false;
    form.Size(660, 390);
    EXPECT_EQ(g_setRedraw, 2); // frozen, then unfrozen
    RemoveWindowSubclass(form.hwnd, CountRedraw, 1);
}

TEST(AnchorWindow, RegistryStoreRoundTrip) {
    RegistrySettingsStore store;
    EXPECT_FALSE(store.Get("CorvaleTest", "Anchor", "NonePos"));
    EXPECT_TRUE(store.Save("CorvaleTest", "Anchor", "MainPos", "1500|750"));
    EXPECT_EQ(store.Get("CorvaleTest", "Anchor", "MainPos"), "1500|750");
    EXPECT_TRUE(store.Save("CorvaleTest", "Anchor", "MainPos", "\xC3\xA9|0")); // UTF-8 inside
    EXPECT_EQ(store.Get("CorvaleTest", "Anchor", "MainPos"), "\xC3\xA9|0");
    EXPECT_FALSE(store.Save("", "Anchor", "MainPos", "1|1"));
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\CorvaleTest");
}

TEST(AnchorWindow, PositionIsRememberedWhenConfigured) {
    RegistrySettingsStore store;
    store.Save("CorvaleTest", "Forms", "MainPos", "1500|750");
    {
        TestForm form;
        FormAnchor anchor(form.hwnd, form.model, form.Lookup(), &store);
        anchor->RegString = "CorvaleTest,Forms,Main,0|0";
        anchor->DontRefresh = true;
        anchor->DoInit(5190, 9180);
        RECT rc;
        GetWindowRect(form.hwnd, &rc);
        EXPECT_EQ(rc.left, 100);
        EXPECT_EQ(rc.top, 50);
        SetWindowPos(form.hwnd, nullptr, 30, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    } // the anchor ends before its window goes, and saves the place
    EXPECT_EQ(store.Get("CorvaleTest", "Forms", "MainPos"), "450|600");
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\CorvaleTest");
}

} // namespace
} // namespace corvale::win32
