#include "app/win32/form_window.h"

#include "app/win32/button_picture.h"
#include "app/win32/message_pump.h"
#include "platform/win32/com.h"
#include "platform/win32/dpi.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>

namespace corvale::win32 {
namespace {

const wchar_t* kPictureBoxClass = L"CorvalePictureBox";

void RegisterPictureBoxClass(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExW(instance, kPictureBoxClass, &wc)) return;
    // The alpha images inside tell a double click from two clicks.
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kPictureBoxClass;
    RegisterClassExW(&wc);
}

// Window procedures of the forms now on the stack, and the objects waiting for it to be zero.
thread_local int handlerDepth = 0;
thread_local std::vector<std::unique_ptr<FormWindow>> retired;

} // namespace

void RetireFormWindow(std::unique_ptr<FormWindow> window) {
    if (!window) return;
    retired.push_back(std::move(window));
    FreeRetiredFormWindows();
}

void FreeRetiredFormWindows() {
    // A destructor may retire another window; each round takes what is there.
    while (handlerDepth == 0 && !retired.empty()) {
        auto going = std::move(retired);
        retired.clear();
        going.clear();
    }
}

int TwipsToPixels(double twips, int dpi) {
    return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch));
}

double PixelsToTwips(int pixels, int dpi) {
    return dpi > 0 ? static_cast<double>(pixels) * kTwipsPerInch / dpi : 0.0;
}

FormWindow::FormWindow(Form form, const wchar_t* className, HINSTANCE instance)
    : form_(std::move(form)), className_(className), instance_(instance) {}

FormWindow::~FormWindow() {
    if (hwnd_ && IsWindow(hwnd_)) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    anchor_.reset();
    theme_.reset();
}

void FormWindow::ApplyThemeFixUps() {
    theme_ = std::make_unique<FormThemeSupport>();
    theme_->Apply(form_, [this](const Control& c) { return ChildOf(c); });
}

void FormWindow::InitAnchor() {
    if (!form_.Find("Anchor1")) return;
    anchor_ =
        std::make_unique<FormAnchor>(hwnd_, form_, [this](const Control& c) { return ChildOf(c); });
    anchor_->SetDpi(static_cast<UINT>(Dpi()));
    (*anchor_)->DontRefresh = true;
    (*anchor_)->DoInit(static_cast<std::int32_t>(std::lround(OuterHeightTwips())),
                       static_cast<std::int32_t>(std::lround(OuterWidthTwips())));
}

int FormWindow::Dpi() const {
    // The DPI the system last moved the window to, else the one it reports for the window.
    if (movedDpi_ > 0) return movedDpi_;
    if (hwnd_) return static_cast<int>(DpiForWindow(hwnd_));
    return creationDpi_;
}

bool FormWindow::CreateFormWindow(HWND owner) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (!GetClassInfoExW(instance_, className_, &wc)) {
        wc.lpfnWndProc = &FormWindow::WndProc;
        wc.hInstance = instance_;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(1));
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = className_;
        if (!RegisterClassExW(&wc)) return false;
    }
    RegisterPictureBoxClass(instance_);
    creationDpi_ = static_cast<int>(SystemDpi());

    const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    RECT r{0, 0, Px(form_.clientWidth), Px(form_.clientHeight)};
    AdjustWindowRectEx(&r, style, FALSE, 0);
    std::wstring caption = WideFromUtf8(form_.caption);
    hwnd_ = CreateWindowExW(0, className_, caption.c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                            r.right - r.left, r.bottom - r.top, owner, nullptr, instance_, this);
    if (!hwnd_) return false;
    creationDpi_ = Dpi();

    toolTip_ =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, instance_, nullptr);

    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(form_.font)), FALSE);
    int id = kFirstControlId;
    for (const Control& c : form_.controls) {
        HWND parent = hwnd_;
        if (!c.container.empty())
            if (HWND p = Child(c.container)) parent = p;
        HWND child = CreateControl(c, parent, id++);
        if (child) children_.emplace(c.DisplayName(), child);
        OnControlCreated(c, child);
    }
    return true;
}

void FormWindow::SizeAndCentreHidden(double widthTwips, double heightTwips) {
    ShowWindow(hwnd_, SW_HIDE);
    SetOuterSizeTwips(widthTwips, heightTwips);
    PumpPendingMessages();
    MoveToTwips(ScreenWidthTwips() / 2 - OuterWidthTwips() / 2, CurrentTopTwips());
    PumpPendingMessages();
    MoveToTwips(CurrentLeftTwips(), ScreenHeightTwips() / 2 - OuterHeightTwips() / 2);
    PumpPendingMessages();
}

int FormWindow::ControlId(std::string_view name) const {
    const auto& controls = form_.controls;
    const auto it = std::find_if(controls.begin(), controls.end(),
                                 [&](const Control& c) { return c.DisplayName() == name; });
    return it == controls.end() ? 0 : kFirstControlId + static_cast<int>(it - controls.begin());
}

HWND FormWindow::Child(std::string_view name) const {
    auto it = children_.find(name);
    return it == children_.end() ? nullptr : it->second;
}

HFONT FormWindow::FontFor(const FontSpec& font) {
    for (auto& [known, handle] : fonts_)
        if (known == font) return handle.get();
    LOGFONTW lf{};
    lf.lfHeight = -static_cast<LONG>(std::lround(font.sizePt * Dpi() / 72.0));
    lf.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = font.italic;
    lf.lfUnderline = font.underline;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = DEFAULT_QUALITY;
    const std::wstring face = WideFromUtf8(font.name);
    lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
    fonts_.emplace_back(font, FontHandle(CreateFontIndirectW(&lf)));
    return fonts_.back().second.get();
}

HWND FormWindow::CreateControl(const Control& c, HWND parent, int id) {
    if (!c.position) return nullptr;
    const TwipsRect& p = *c.position;
    DWORD style = WS_CHILD | (c.visible ? WS_VISIBLE : 0) | (c.enabled ? 0 : WS_DISABLED);
    DWORD exStyle = 0;
    const wchar_t* cls = nullptr;
    std::wstring text = WideFromUtf8(c.text);
    switch (c.kind) {
    case ControlKind::CommandButton:
        cls = L"BUTTON";
        style |= WS_TABSTOP | BS_PUSHBUTTON;
        break;
    case ControlKind::OptionButton:
    case ControlKind::CheckBox:
        cls = L"BUTTON";
        style |= WS_TABSTOP |
                 (c.kind == ControlKind::OptionButton ? BS_AUTORADIOBUTTON : BS_AUTOCHECKBOX);
        // Style 1 (graphical) looks like a push button that stays in when chosen.
        if (c.properties.GetInt32("Style").value_or(0) == 1) style |= BS_PUSHLIKE;
        break;
    case ControlKind::Label:
        cls = L"STATIC";
        style |= SS_LEFT | SS_NOPREFIX;
        break;
    case ControlKind::ListView:
    case ControlKind::ListBox: {
        const bool view = c.kind == ControlKind::ListView;
        cls = view ? WC_LISTVIEWW : L"LISTBOX";
        style |= WS_TABSTOP | (view ? LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS
                                    : WS_VSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY);
        exStyle = WS_EX_CLIENTEDGE;
        text.clear();
        break;
    }
    case ControlKind::TextBox:
        cls = L"EDIT";
        style |= WS_TABSTOP;
        if (c.properties.GetBool("MultiLine").value_or(false)) {
            // ScrollBars: 0 none, 1 horizontal, 2 vertical, 3 both. Without a horizontal bar
            // the lines wrap at the box's edge.
            const int bars = c.properties.GetInt32("ScrollBars").value_or(0);
            style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN;
            if (bars & 1) style |= WS_HSCROLL | ES_AUTOHSCROLL;
            if (bars & 2) style |= WS_VSCROLL;
        } else {
            style |= ES_AUTOHSCROLL;
        }
        if (c.properties.GetBool("Locked").value_or(false)) style |= ES_READONLY;
        exStyle = WS_EX_CLIENTEDGE;
        break;
    case ControlKind::PictureBox:
    case ControlKind::Frame:
        cls = kPictureBoxClass;
        style |= WS_CLIPCHILDREN;
        text.clear();
        break;
    default:
        // Timers and the anchoring control have no window; the busy bar and the alpha images
        // are made by their own controls.
        return nullptr;
    }
    HWND child = CreateWindowExW(
        exStyle, cls, text.c_str(), style, Px(p.left), Px(p.top), Px(p.width), Px(p.height), parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    if (!child) return nullptr;
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(form_.FontOf(c))), FALSE);
    if (c.kind == ControlKind::ListView) {
        // The header takes the list's font too.
        if (HWND header = reinterpret_cast<HWND>(SendMessageW(child, LVM_GETHEADER, 0, 0)))
            SendMessageW(header, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(form_.FontOf(c))),
                         FALSE);
        SendMessageW(child, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                     LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER);
        int index = 0;
        for (const std::string& header : c.items) {
            std::wstring w = WideFromUtf8(header);
            LVCOLUMNW col{};
            col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
            col.pszText = w.data();
            col.cx = Px(1440);
            col.iSubItem = index;
            SendMessageW(child, LVM_INSERTCOLUMNW, index++, reinterpret_cast<LPARAM>(&col));
        }
    } else if (c.kind == ControlKind::ListBox) {
        for (const std::string& item : c.items)
            SendMessageW(child, LB_ADDSTRING, 0,
                         reinterpret_cast<LPARAM>(WideFromUtf8(item).c_str()));
    } else if (c.kind == ControlKind::CommandButton || c.kind == ControlKind::OptionButton ||
               c.kind == ControlKind::CheckBox) {
        ApplyButtonPicture(c, child);
        if (!c.toolTip.empty()) AddToolTip(child, c.toolTip);
        // A button that shows only a picture is named by its tool tip (screen readers read the
        // window text; the picture is drawn instead of it).
        if (c.text.empty() && !c.toolTip.empty()) {
            SetPropW(child, kPictureOnlyButtonProp, reinterpret_cast<HANDLE>(1));
            SetWindowTextW(child, WideFromUtf8(c.toolTip).c_str());
        }
        const bool checked =
            c.properties.GetBool("Value").value_or(c.properties.GetInt32("Value").value_or(0) != 0);
        if (c.kind != ControlKind::CommandButton && checked)
            SendMessageW(child, BM_SETCHECK, BST_CHECKED, 0);
    }
    return child;
}

void FormWindow::ApplyButtonPicture(const Control& c, HWND button) {
    const Bytes* bytes = c.properties.GetBytes("Picture");
    if (!bytes) return;
    std::optional<std::uint32_t> mask;
    if (c.properties.GetBool("UseMaskColor").value_or(false))
        if (auto m = c.properties.GetInt32("MaskColor")) mask = static_cast<std::uint32_t>(*m);
    IconHandle icon = IconFromPicture(*bytes, mask);
    if (!icon) return;
    // The picture is drawn at 96 dpi in its own size; at other DPIs it grows with the text.
    const UINT dpi = static_cast<UINT>(Dpi());
    if (dpi != kBaseDpi) {
        ICONINFO info{};
        BITMAP bm{};
        if (GetIconInfo(icon.get(), &info)) {
            const BitmapHandle colour(info.hbmColor), mask(info.hbmMask);
            GetObjectW(colour ? colour.get() : mask.get(), sizeof bm, &bm);
            if (!colour) bm.bmHeight /= 2; // a monochrome icon stacks its two masks
        }
        if (bm.bmWidth > 0 && bm.bmHeight > 0)
            if (auto scaled = static_cast<HICON>(CopyImage(icon.get(), IMAGE_ICON,
                                                           ScaleForDpi(bm.bmWidth, dpi),
                                                           ScaleForDpi(bm.bmHeight, dpi), 0)))
                icon.reset(scaled);
    }
    SetWindowLongPtrW(button, GWL_STYLE, GetWindowLongPtrW(button, GWL_STYLE) | BS_ICON);
    SendMessageW(button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon.get()));
    pictures_[button] = std::move(icon); // the one shown before (another DPI's) goes now
}

void FormWindow::AddToolTip(HWND button, std::string_view text) {
    if (!toolTip_) return;
    std::wstring w = WideFromUtf8(text);
    TTTOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = hwnd_;
    ti.uId = reinterpret_cast<UINT_PTR>(button);
    ti.lpszText = w.data();
    SendMessageW(toolTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

void FormWindow::SetToolTipText(HWND control, std::string_view text) {
    if (!toolTip_ || !control) return;
    std::wstring w = WideFromUtf8(text);
    TTTOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.hwnd = hwnd_;
    ti.uId = reinterpret_cast<UINT_PTR>(control);
    ti.lpszText = w.data();
    SendMessageW(toolTip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
}

void FormWindow::FitLabelsToText() {
    for (Control& c : form_.controls) {
        if (c.kind != ControlKind::Label || !c.position || c.text.empty()) continue;
        HWND label = ChildOf(c);
        if (!label) continue;
        WindowDc dc(label);
        if (!dc.get()) continue;
        RECT need{0, 0, 0, 0};
        {
            Selection font(dc.get(),
                           reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));
            const std::wstring text = WideFromUtf8(c.text);
            DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &need,
                      DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX | DT_LEFT);
        }
        RECT have{};
        GetClientRect(label, &have);
        const int width = std::max<int>(have.right, need.right + 1);
        const int height = std::max<int>(have.bottom, need.bottom);
        if (width == have.right && height == have.bottom) continue;
        SetWindowPos(label, nullptr, 0, 0, width, height,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        // Whole twips, rounded up, so the model never asks for less than the window has.
        const auto twips = [this](int px) {
            return static_cast<std::int32_t>(std::ceil(Twips(px)));
        };
        c.position->width = std::max(c.position->width, twips(width));
        c.position->height = std::max(c.position->height, twips(height));
    }
}

void FormWindow::OnDpiChanged(UINT dpi, const RECT* suggested) {
    if (dpi == 0) return;
    movedDpi_ = static_cast<int>(dpi);
    if (anchor_) anchor_->SetDpi(dpi);
    // The fonts of the old DPI stay alive until every window has its new one.
    auto oldFonts = std::move(fonts_);
    fonts_.clear();
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(form_.font)), FALSE);
    for (const Control& c : form_.controls) {
        HWND child = ChildOf(c);
        if (!child || !c.position) continue;
        HFONT font = FontFor(form_.FontOf(c));
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (c.kind == ControlKind::CommandButton || c.kind == ControlKind::OptionButton ||
            c.kind == ControlKind::CheckBox)
            ApplyButtonPicture(c, child);
        if (c.kind == ControlKind::ListView)
            if (HWND header = reinterpret_cast<HWND>(SendMessageW(child, LVM_GETHEADER, 0, 0)))
                SendMessageW(header, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    // The window takes the place the system suggests; the anchor keeps the controls where
    // they were in twips, and the controls it does not move are placed again here.
    if (suggested)
        SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    for (const Control& c : form_.controls) {
        HWND child = ChildOf(c);
        if (!child || !c.position) continue;
        const TwipsRect& p = *c.position;
        SetWindowPos(child, nullptr, Px(p.left), Px(p.top), Px(p.width), Px(p.height),
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    FitLabelsToText();
    OnDpiRelayout();
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void FormWindow::SetText(HWND hwnd, std::string_view text) const {
    if (hwnd) SetWindowTextW(hwnd, WideFromUtf8(text).c_str());
}

std::string FormWindow::GetText(HWND hwnd) const {
    if (!hwnd) return {};
    const int n = GetWindowTextLengthW(hwnd);
    if (n <= 0) return {};
    std::wstring w(static_cast<std::size_t>(n) + 1, L'\0');
    const int got = GetWindowTextW(hwnd, w.data(), n + 1);
    w.resize(static_cast<std::size_t>(got < 0 ? 0 : got));
    return Utf8FromWide(w);
}

void FormWindow::SetOuterSizeTwips(double width, double height) {
    SetWindowPos(hwnd_, nullptr, 0, 0, Px(width), Px(height),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

double FormWindow::OuterWidthTwips() const {
    RECT r{};
    GetWindowRect(hwnd_, &r);
    return Twips(r.right - r.left);
}

double FormWindow::OuterHeightTwips() const {
    RECT r{};
    GetWindowRect(hwnd_, &r);
    return Twips(r.bottom - r.top);
}

void FormWindow::MoveToTwips(double left, double top) {
    SetWindowPos(hwnd_, nullptr, Px(left), Px(top), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

double FormWindow::CurrentLeftTwips() const {
    RECT r{};
    GetWindowRect(hwnd_, &r);
    return Twips(r.left);
}

double FormWindow::CurrentTopTwips() const {
    RECT r{};
    GetWindowRect(hwnd_, &r);
    return Twips(r.top);
}

double FormWindow::ScreenWidthTwips() {
    return PixelsToTwips(GetSystemMetrics(SM_CXSCREEN), static_cast<int>(SystemDpi()));
}

double FormWindow::ScreenHeightTwips() {
    return PixelsToTwips(GetSystemMetrics(SM_CYSCREEN), static_cast<int>(SystemDpi()));
}

LRESULT FormWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    return Default(msg, wp, lp);
}

LRESULT CALLBACK FormWindow::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        auto* self = static_cast<FormWindow*>(cs->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
    ++handlerDepth;
    LRESULT result = 0;
    if (msg == ShortcutKeyMessage()) {
        result = self->OnShortcutKey(static_cast<UINT>(wp)) ? 1 : 0;
    } else if (msg == WM_DPICHANGED) {
        self->OnDpiChanged(HIWORD(wp), reinterpret_cast<const RECT*>(lp));
    } else {
        result = self->OnMessage(msg, wp, lp);
    }
    if (msg == WM_DESTROY)
        for (const auto& [name, child] : self->children_)
            RemovePropW(child, kPictureOnlyButtonProp);
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        // The object may outlive its window (a handler still holds it): it then has no controls.
        self->hwnd_ = nullptr;
        self->toolTip_ = nullptr;
        self->children_.clear();
    }
    --handlerDepth;
    FreeRetiredFormWindows();
    return result;
}

} // namespace corvale::win32
