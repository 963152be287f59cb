#include "app/win32/frm_detail_service.h"

#include "app/win32/message_pump.h"

namespace corvale::win32 {

FrmDetailService::FrmDetailService(Form design, WmiLocator& wmi, HINSTANCE instance)
    : FormWindow(std::move(design), L"CorvaleFrmDetailService", instance), wmi_(wmi) {
    logic_ = std::make_unique<FrmDetailServiceLogic>(
        Design(), wmi_, [this] { Pump(); },
        [this](const Control& c) {
            if (c.name == "Text1") SetText(TextBox(), c.text);
        });
}

FrmDetailService::~FrmDetailService() = default;

void FrmDetailService::Pump() {
    Sync();
    PumpPendingMessages();
}

void FrmDetailService::Sync() {
    if (!Hwnd()) return;
    if (GetText(Hwnd()) != Design().caption) SetText(Hwnd(), Design().caption);
}

bool FrmDetailService::Load() {
    if (!CreateFormWindow(nullptr)) return false;
    // Screen readers name a text box after the label made before it: an unseen one names the
    // detail text by what it shows.
    if (HWND label = CreateWindowExW(
            0, L"STATIC", L"Detailed service information", WS_CHILD | SS_NOPREFIX, 0, 0, 0, 0,
            Hwnd(), nullptr, reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(Hwnd(), GWLP_HINSTANCE)),
            nullptr))
        SetWindowPos(label, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ApplyThemeFixUps();
    PumpPendingMessages();
    SizeAndCentreHidden(kOuterWidth, kOuterHeight);
    FitLabelsToText();
    InitAnchor(); // Text1 keeps filling the window
    PumpPendingMessages();
    return true;
}

void FrmDetailService::Show() {
    if (!Hwnd()) return;
    Sync();
    ShowWindow(Hwnd(), SW_SHOW);
}

bool FrmDetailService::OnShortcutKey(UINT vk) {
    if (vk != VK_ESCAPE) return false;
    // Escape closes the window, as its close box does.
    PostMessageW(Hwnd(), WM_CLOSE, 0, 0);
    return true;
}

LRESULT FrmDetailService::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    // The locked detail text keeps a text box's own background rather than the greyed one of
    // a read-only edit control.
    if (msg == WM_CTLCOLORSTATIC && reinterpret_cast<HWND>(lp) == TextBox() && TextBox()) {
        auto dc = reinterpret_cast<HDC>(wp);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    }
    return Default(msg, wp, lp);
}

} // namespace corvale::win32
