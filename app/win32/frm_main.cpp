#include "app/win32/frm_main.h"

#include "app/report_export.h"
#include "app/win32/message_pump.h"
#include "platform/win32/com.h"

#include <commctrl.h>

namespace corvale::win32 {
FrmMain::FrmMain(Form mainDesign, Form detailDesign, MainWindowServices services,
                 HINSTANCE instance)
    : FormWindow(std::move(mainDesign), L"CorvaleFrmMain", instance),
      detailDesign_(std::move(detailDesign)), services_(std::move(services)), instance_(instance) {}

FrmMain::~FrmMain() {
    detail_.reset();
    pictures_.reset();
    FreeRetiredFormWindows();
}

void FrmMain::Pump() {
    PumpPendingMessages();
}

bool FrmMain::Load() {
    if (!services_.wmi || !CreateFormWindow(nullptr)) return false;
    HWND listHwnd = Child("ListView1");
    if (!listHwnd) return false;
    list_ = std::make_unique<Win32ListView>(listHwnd);
    MainWindowSeams seams{*list_,
                          *services_.wmi,
                          *this,
                          [this] { Pump(); },
                          services_.locale,
                          [this](const Control& c) { OnControlChanged(c); }};
    logic_ = std::make_unique<FrmMainLogic>(Design(), std::move(seams));
    // The alpha images read their stored pictures as they are made.
    pictures_ = std::make_unique<MainWindowPictures>(*this, services_.openWebPage);

    // The load steps, in their order, with the message queue served in between.
    ApplyThemeFixUps();
    Pump();
    SizeAndCentreHidden(kOuterWidth, kOuterHeight);
    desktopPath_ = services_.specialFolderPath ? services_.specialFolderPath(0) : std::string();
    Pump();
    reportPath_ = MakeReportPath(desktopPath_);
    Pump();
    AutoSizeListViewColumns(*list_);
    RoundBusyBar();
    NameControlsForScreenReaders();
    FitLabelsToText();
    InitAnchor();
    Pump();
    return true;
}

void FrmMain::RoundBusyBar() {
    // DB1 gets its rounded corners (7 pixels at 96 dpi).
    if (const Control* bar = Design().Find("DB1"); bar && bar->position && busyBar_.hWnd())
        SetRoundedWindowRegion(busyBar_.hWnd(), Px(bar->position->width), Px(bar->position->height),
                               Px(7 * 15));
}

namespace {

// A text that goes with a control.
struct ControlText {
    const char* control;
    const char* text;
};
// What a screen reader calls the windows that show no text of their own.
constexpr ControlText kScreenReaderNames[] = {
    {"ListView1", "Services hosted by svchost"},
    {"Picture4", "Links to the maker's pages"},
    {"Picture1", "Corvale logo"},
    {"DB1", "Busy"},
};

// The tool tips of the three buttons name their keys.
constexpr ControlText kButtonKeys[] = {
    {"Command1", "F5"},
    {"Command2", "Ctrl+S"},
    {"Command3", "Ctrl+Shift+C"},
};

} // namespace

void FrmMain::NameControlsForScreenReaders() {
    for (const ControlText& n : kScreenReaderNames)
        if (HWND w = Child(n.control)) SetText(w, n.text);
    for (const ControlText& k : kButtonKeys)
        if (const Control* c = Design().Find(k.control); c && !c->toolTip.empty())
            SetToolTipText(Child(k.control), c->toolTip + " (" + k.text + ")");
}

void FrmMain::PressButton(const char* name) {
    HWND button = Child(name);
    if (!button || !IsWindowEnabled(button) || !IsWindowVisible(button)) return;
    OnCommand(ControlId(name), BN_CLICKED);
}

bool FrmMain::OnShortcutKey(UINT vk) {
    const bool ctrl = GetKeyState(VK_CONTROL) < 0;
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    if (GetKeyState(VK_MENU) < 0) return false;
    if (vk == VK_F5 && !ctrl && !shift) {
        PressButton("Command1");
        return true;
    }
    if (vk == 'S' && ctrl && !shift) {
        PressButton("Command2");
        return true;
    }
    if (vk == 'C' && ctrl && shift) {
        PressButton("Command3");
        return true;
    }
    // Enter on the list opens the selected row, as a double click does; a hidden list (a scan
    // runs) cannot be double-clicked either.
    if (vk == VK_RETURN && !ctrl && !shift && list_ && GetFocus() == list_->Hwnd()) {
        if (IsWindowVisible(list_->Hwnd())) logic_->OnListDoubleClick(*this);
        return true;
    }
    return false;
}

void FrmMain::OnDpiRelayout() {
    if (list_) AutoSizeListViewColumns(*list_);
    RoundBusyBar();
}

void FrmMain::Show() {
    if (Hwnd()) ShowWindow(Hwnd(), SW_SHOW);
}

FrmDetailService* FrmMain::DetailWindow() const {
    return detail_ && detail_->Loaded() ? detail_.get() : nullptr;
}

void FrmMain::OnControlChanged(const Control& c) {
    if (c.name == "Timer1") {
        if (c.enabled) {
            const auto interval = c.properties.GetInt32("Interval").value_or(100);
            SetTimer(Hwnd(), kTimer1, static_cast<UINT>(interval > 0 ? interval : 100), nullptr);
        } else {
            KillTimer(Hwnd(), kTimer1);
        }
        return;
    }
    HWND child = Child(c.DisplayName());
    if (!child) return;
    if ((IsWindowEnabled(child) != FALSE) != c.enabled) EnableWindow(child, c.enabled);
    if (c.kind == ControlKind::Label || c.kind == ControlKind::TextBox) {
        if (GetText(child) != c.text) {
            SetText(child, c.text);
            if (c.kind == ControlKind::Label) FitLabelsToText(); // a longer total stays whole
        }
    }
    if (c.kind != ControlKind::ListView) {
        const bool shown = (GetWindowLongPtrW(child, GWL_STYLE) & WS_VISIBLE) != 0;
        if (shown != c.visible) ShowWindow(child, c.visible ? SW_SHOW : SW_HIDE);
    }
}

void FrmMain::SyncHostIds() {
    HWND box = Child("List1");
    if (!box) return;
    SendMessageW(box, LB_RESETCONTENT, 0, 0);
    for (const std::string& id : logic_->HostIds())
        SendMessageW(box, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideFromUtf8(id).c_str()));
}

void FrmMain::OnControlCreated(const Control& control, HWND) {
    if (control.kind != ControlKind::AnimationBar || !control.position || busyBar_.hWnd()) return;
    HWND parent = control.container.empty() ? Hwnd() : Child(control.container);
    const TwipsRect& p = *control.position;
    if (!busyBar_.Create(parent ? parent : Hwnd(), Px(p.left), Px(p.top), Px(p.width), Px(p.height),
                         ControlId(control.DisplayName())))
        return;
    busyBar_.SetYield([] { PumpPendingMessages(); });
    RegisterChild(control, busyBar_.hWnd());
}

void FrmMain::SetStyle(int style) {
    busyBar_.Style(style);
}
void FrmMain::BeginDisplay() {
    busyBar_.BeginDisplay();
}
void FrmMain::EndDisplay() {
    busyBar_.EndDisplay();
}

FrmDetailServiceLogic& FrmMain::ShowDetailWindow() {
    if (!detail_ || !detail_->Loaded()) {
        // A closed detail window is made anew. The old object may still be in use by a
        // double-click handler further down the stack (one that yielded), so it is retired.
        RetireFormWindow(std::move(detail_));
        detail_ = std::make_unique<FrmDetailService>(detailDesign_, *services_.wmi, instance_);
        detail_->Load();
    }
    detail_->Show();
    return detail_->Logic();
}

void FrmMain::FocusDetailWindow() {
    if (!detail_ || !detail_->Loaded()) return;
    detail_->Sync();
    SetForegroundWindow(detail_->Hwnd());
    SetFocus(detail_->Hwnd());
}

void FrmMain::OnCommand(int id, WORD code) {
    if (code != BN_CLICKED || id == 0) return;
    if (id == ControlId("Command1")) {
        logic_->OnRefreshClick();
    } else if (id == ControlId("Command2")) {
        YieldScope dialogLoop; // the save dialog runs its own message loop
        if (services_.saveList) services_.saveList(Hwnd(), reportPath_, *list_);
    } else if (id == ControlId("Command3")) {
        YieldScope clipboard; // messages other programs send are handled while it waits
        if (services_.copyList) services_.copyList(Hwnd(), *list_);
    }
}

LRESULT FrmMain::OnNotify(const NMHDR& hdr) {
    if (!list_ || hdr.hwndFrom != list_->Hwnd()) return 0;
    switch (hdr.code) {
    case LVN_COLUMNCLICK: {
        const auto& nm = reinterpret_cast<const NMLISTVIEW&>(hdr);
        logic_->OnColumnClick(nm.iSubItem + 1);
        return 0;
    }
    case NM_DBLCLK:
        logic_->OnListDoubleClick(*this);
        return 0;
    default:
        return 0;
    }
}

LRESULT FrmMain::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_COMMAND:
        if (lp) OnCommand(LOWORD(wp), HIWORD(wp)); // from a control, not a menu
        return 0;
    case WM_NOTIFY:
        return OnNotify(*reinterpret_cast<const NMHDR*>(lp));
    case WM_TIMER:
        if (wp == kTimer1 && logic_) {
            logic_->OnTimerTick();
            SyncHostIds();
        }
        return 0;
    case WM_CLOSE:
        DestroyWindow(Hwnd());
        return 0;
    case WM_DESTROY:
        // Ending the main window ends the program, the detail window with it.
        KillTimer(Hwnd(), kTimer1);
        if (detail_ && detail_->Loaded()) DestroyWindow(detail_->Hwnd());
        PostQuitMessage(0);
        // Closed while a handler was paused in a yield (a scan, a save, a double-click, a link
        // click...): the program ends now, rather than let that handler go on with a window
        // and a list that are gone.
        if (YieldDepth() > 0 && services_.endProgram) services_.endProgram();
        return 0;
    default:
        return Default(msg, wp, lp);
    }
}

} // namespace corvale::win32
