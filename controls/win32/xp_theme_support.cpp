#include "controls/win32/xp_theme_support.h"

#include "platform/win32/dpi.h"
#include "platform/win32/gdi_handles.h"
#include "platform/win32/safe_dll.h"
#include "platform/win32/wide_text.h"

#include "controls/win32/animation_bar_window.h"

#include <commctrl.h>
#include <shlwapi.h>
#include <uxtheme.h>
#include <vssym32.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace corvale::win32 {
namespace {

// uxtheme and msimg32 are found when first needed, not at load time: a system without them
// still runs the program, unthemed.
struct ThemeApi {
    decltype(&::IsAppThemed) isAppThemed = nullptr;
    decltype(&::IsThemeActive) isThemeActive = nullptr;
    decltype(&::GetThemeAppProperties) getThemeAppProperties = nullptr;
    decltype(&::OpenThemeData) openThemeData = nullptr;
    decltype(&::CloseThemeData) closeThemeData = nullptr;
    decltype(&::GetThemeBackgroundRegion) getThemeBackgroundRegion = nullptr;
    decltype(&::DrawThemeParentBackground) drawThemeParentBackground = nullptr;
    decltype(&::DrawThemeBackground) drawThemeBackground = nullptr;
    decltype(&::GetThemeBackgroundContentRect) getThemeBackgroundContentRect = nullptr;
    decltype(&::DrawThemeText) drawThemeText = nullptr;
    decltype(&::TransparentBlt) transparentBlt = nullptr;
};

template <typename Fn> void FindProc(HMODULE module, const char* name, Fn& fn) {
    fn = module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                : nullptr;
}

const ThemeApi& Api() {
    static const ThemeApi api = [] {
        ThemeApi a;
        // Both stay loaded for the program's life.
        HMODULE ux = LoadSystemLibrary(L"uxtheme.dll");
        FindProc(ux, "IsAppThemed", a.isAppThemed);
        FindProc(ux, "IsThemeActive", a.isThemeActive);
        FindProc(ux, "GetThemeAppProperties", a.getThemeAppProperties);
        FindProc(ux, "OpenThemeData", a.openThemeData);
        FindProc(ux, "CloseThemeData", a.closeThemeData);
        FindProc(ux, "GetThemeBackgroundRegion", a.getThemeBackgroundRegion);
        FindProc(ux, "DrawThemeParentBackground", a.drawThemeParentBackground);
        FindProc(ux, "DrawThemeBackground", a.drawThemeBackground);
        FindProc(ux, "GetThemeBackgroundContentRect", a.getThemeBackgroundContentRect);
        FindProc(ux, "DrawThemeText", a.drawThemeText);
        FindProc(LoadSystemLibrary(L"msimg32.dll"), "TransparentBlt", a.transparentBlt);
        return a;
    }();
    return api;
}

constexpr char kHotProp[] = "Hot";
constexpr char kPaintedProp[] = "Painted";

struct ModuleState {
    bool started = false;
    bool versionKnown = false;
    DWORD comctlMajor = 0;
    bool guardArmed = false;
};
ModuleState& State() {
    static ModuleState s;
    return s;
}

// The "BUTTON" theme data of a window; nothing when uxtheme is missing or has none. Every
// drawing call is made only when it was found.
struct Theme {
    HTHEME h = nullptr;
    Theme(const Theme&) = delete; // a copy would close the theme data twice
    Theme& operator=(const Theme&) = delete;
    explicit Theme(HWND hwnd) {
        if (Api().openThemeData && Api().closeThemeData && Api().getThemeBackgroundRegion &&
            Api().drawThemeParentBackground && Api().drawThemeBackground &&
            Api().getThemeBackgroundContentRect && Api().drawThemeText)
            h = Api().openThemeData(hwnd, L"BUTTON");
    }
    ~Theme() {
        if (h) Api().closeThemeData(h);
    }
};

bool HasHandle(const std::optional<ButtonPictureRef>& p) {
    return p && p->handle;
}

std::int32_t PixelsToHimetric(int pixels, int dpi) {
    return RoundHalfEven(pixels * 2540.0 / (dpi > 0 ? dpi : 96));
}

// Renders a picture upright into (x, y, w, h).
void RenderPicture(const ButtonPictureRef& pic, HDC hdc, int x, int y, int w, int h) {
    if (!pic.handle) return;
    if (pic.type == ButtonPictureRef::kIcon) {
        DrawIconEx(hdc, x, y, static_cast<HICON>(pic.handle), w, h, 0, nullptr, DI_NORMAL);
        return;
    }
    BITMAP bm{};
    if (!GetObjectW(pic.handle, sizeof bm, &bm)) return;
    MemoryDc mem(hdc);
    if (!mem.get()) return;
    Selection sel(mem.get(), pic.handle);
    SetStretchBltMode(hdc, COLORONCOLOR);
    StretchBlt(hdc, x, y, w, h, mem.get(), 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
}

void ArmShutdownGuard() {
    if (State().guardArmed) return;
    State().guardArmed = true;
    // A fault while the program shuts down with comctl32 6 loaded shows no error dialog.
    std::atexit([] { SetErrorMode(SEM_NOGPFAULTERRORBOX); });
}

// Repaints only the themed face of the button: the pending default paint is dropped and the
// face region invalidated without erasing, so the corners are never repainted.
void Refresh(HWND hwnd) {
    RECT rc;
    GetClientRect(hwnd, &rc);
    ValidateRect(hwnd, nullptr);
    HRGN rgn = nullptr;
    Theme theme(hwnd);
    if (theme.h &&
        SUCCEEDED(Api().getThemeBackgroundRegion(theme.h, nullptr, BP_PUSHBUTTON, PBS_NORMAL, &rc,
                                                 &rgn)) &&
        rgn) {
        const RegionHandle owned(rgn);
        InvalidateRgn(hwnd, rgn, FALSE);
    } else {
        InvalidateRect(hwnd, nullptr, FALSE);
    }
}

bool PropSet(HWND hwnd, const char* name) {
    return GetPropA(hwnd, name) != nullptr;
}
void SetFlag(HWND hwnd, const char* name, bool on) {
    SetPropA(hwnd, name, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(on ? 1 : 0)));
}

// A form's graphical button as it stands at each paint: caption, font, picture, default look and
// (for option buttons and check boxes) value come from its window; the colours from the design.
class WindowThemedButton final : public ThemedButton {
  public:
    WindowThemedButton(HWND hwnd, ThemeControlKind kind, const Control& design)
        : hwnd_(hwnd), kind_(kind) {
        useMaskColor_ = design.properties.GetBool("UseMaskColor").value_or(false);
        if (auto mask = design.properties.GetInt32("MaskColor")) maskColor_ = *mask;
        if (auto back = design.properties.GetInt32("BackColor")) backColor_ = *back;
    }
    std::optional<bool> Value() const override {
        if (kind_ == ThemeControlKind::CommandButton) return std::nullopt;
        return SendMessageW(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    bool Default() const override {
        return kind_ == ThemeControlKind::CommandButton &&
               (GetWindowLongPtrW(hwnd_, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    }
    bool Enabled() const override { return IsWindowEnabled(hwnd_) != 0; }
    std::optional<ButtonPictureRef> Picture() const override {
        if (auto icon = reinterpret_cast<HICON>(SendMessageW(hwnd_, BM_GETIMAGE, IMAGE_ICON, 0)))
            return PictureFromIcon(icon);
        if (auto bmp = reinterpret_cast<HBITMAP>(SendMessageW(hwnd_, BM_GETIMAGE, IMAGE_BITMAP, 0)))
            return PictureFromBitmap(bmp);
        return std::nullopt;
    }
    std::int32_t BackColor() const override { return backColor_; }
    std::string Caption() const override {
        // A picture-only button's window text is its name for screen readers, not a caption.
        if (GetPropW(hwnd_, kPictureOnlyButtonProp)) return {};
        const int n = GetWindowTextLengthW(hwnd_);
        if (n <= 0) return {};
        std::wstring w(static_cast<std::size_t>(n) + 1, L'\0');
        w.resize(static_cast<std::size_t>(std::max(0, GetWindowTextW(hwnd_, w.data(), n + 1))));
        return Utf8FromWide(w);
    }
    HFONT Font() const override {
        return reinterpret_cast<HFONT>(SendMessageW(hwnd_, WM_GETFONT, 0, 0));
    }
    bool UseMaskColor() const override { return useMaskColor_; }
    std::int32_t MaskColor() const override { return maskColor_; }

  private:
    HWND hwnd_;
    ThemeControlKind kind_;
    bool useMaskColor_ = false;
    std::int32_t maskColor_ = 0xC0C0C0;
    std::int32_t backColor_ = static_cast<std::int32_t>(0x8000000F);
};

bool IsButtonKind(ThemeControlKind kind) {
    return kind == ThemeControlKind::CommandButton || kind == ThemeControlKind::OptionButton ||
           kind == ThemeControlKind::CheckBox;
}

} // namespace

COLORREF SystemColour(std::int32_t colour) {
    return ResolveColour(colour,
                         [](int index) { return static_cast<std::uint32_t>(GetSysColor(index)); });
}

ButtonPictureRef PictureFromBitmap(HBITMAP bitmap) {
    ButtonPictureRef p;
    p.handle = bitmap;
    p.type = ButtonPictureRef::kBitmap;
    BITMAP bm{};
    if (bitmap && GetObjectW(bitmap, sizeof bm, &bm)) {
        const int dpi = static_cast<int>(SystemDpi());
        p.himetricWidth = PixelsToHimetric(bm.bmWidth, dpi);
        p.himetricHeight = PixelsToHimetric(std::abs(bm.bmHeight), dpi);
    }
    return p;
}

ButtonPictureRef PictureFromIcon(HICON icon) {
    ButtonPictureRef p;
    p.handle = icon;
    p.type = ButtonPictureRef::kIcon;
    ICONINFO info{};
    if (icon && GetIconInfo(icon, &info)) {
        const BitmapHandle colour(info.hbmColor), mask(info.hbmMask);
        BITMAP bm{};
        int w = 0, h = 0;
        if (info.hbmColor && GetObjectW(info.hbmColor, sizeof bm, &bm)) {
            w = bm.bmWidth, h = std::abs(bm.bmHeight);
        } else if (info.hbmMask && GetObjectW(info.hbmMask, sizeof bm, &bm)) {
            w = bm.bmWidth, h = std::abs(bm.bmHeight) / 2; // AND and XOR masks stacked
        }
        const int dpi = static_cast<int>(SystemDpi());
        p.himetricWidth = PixelsToHimetric(w, dpi);
        p.himetricHeight = PixelsToHimetric(h, dpi);
    }
    return p;
}

bool IsComCtl6Loaded() {
    ModuleState& s = State();
    if (!s.versionKnown) {
        s.versionKnown = true;
        HMODULE comctl = GetModuleHandleW(L"comctl32.dll");
        if (!comctl) comctl = LoadSystemLibrary(L"comctl32.dll"); // stays loaded with the program
        auto get = comctl ? reinterpret_cast<DLLGETVERSIONPROC>(
                                reinterpret_cast<void*>(GetProcAddress(comctl, "DllGetVersion")))
                          : nullptr;
        DLLVERSIONINFO info{};
        info.cbSize = sizeof info; // the 20-byte record
        if (get && SUCCEEDED(get(&info))) s.comctlMajor = info.dwMajorVersion;
        if (comctl && s.comctlMajor <= 5) {
            // A version 6 library that under-reports itself still lives in its assembly folder.
            wchar_t path[MAX_PATH] = {};
            const DWORD n = GetModuleFileNameW(comctl, path, MAX_PATH);
            std::string narrow;
            for (DWORD i = 0; i < n && i < MAX_PATH; ++i)
                narrow += path[i] < 128 ? static_cast<char>(path[i]) : '?';
            const int fromPath = CommonControlsVersionFromPath(narrow);
            if (fromPath > 5) s.comctlMajor = static_cast<DWORD>(fromPath);
        }
    }
    return s.comctlMajor > 5;
}

void SetKnownComCtlVersion(DWORD major) {
    State().versionKnown = major != 0;
    State().comctlMajor = major;
}

bool IsThemed() {
    const ThemeApi& api = Api();
    if (!api.isAppThemed || !api.isThemeActive || !api.getThemeAppProperties) return false;
    return api.isAppThemed() && api.isThemeActive() &&
           (api.getThemeAppProperties() & STAP_ALLOW_CONTROLS) != 0;
}

void InitVisualStyles() {
    ModuleState& s = State();
    if (s.started) return;
    if (IsComCtl6Loaded()) {
        ArmShutdownGuard();
        LoadSystemLibrary(L"shell32.dll"); // kept for the program's life
        INITCOMMONCONTROLSEX icc{};
        icc.dwSize = sizeof icc;
        icc.dwICC = ICC_STANDARD_CLASSES;
        InitCommonControlsEx(&icc);
    }
    s.started = true;
}

bool FixThemeSupport(std::span<const ThemeControl> controls) {
    if (!IsComCtl6Loaded()) return false;
    for (const ThemeControl& c : controls) {
        if (!c.hwnd) continue;
        switch (c.kind) {
        case ThemeControlKind::Frame:
            SetWindowSubclass(c.hwnd, pvRedirectFrame, 0, 0);
            break;
        case ThemeControlKind::CommandButton:
        case ThemeControlKind::OptionButton:
        case ThemeControlKind::CheckBox:
            if (c.style == 1 && c.button)
                SetWindowSubclass(c.hwnd, pvRedirectButton, 0,
                                  reinterpret_cast<DWORD_PTR>(c.button));
            break;
        case ThemeControlKind::Other:
            break;
        }
    }
    return true;
}

ThemeControl ThemeControlOf(const Control& control, HWND hwnd, ThemedButton* button) {
    ThemeControl t;
    t.hwnd = hwnd;
    t.button = button;
    t.style = control.properties.GetInt32("Style").value_or(0);
    switch (control.kind) {
    case ControlKind::CommandButton:
        t.kind = ThemeControlKind::CommandButton;
        break;
    case ControlKind::OptionButton:
        t.kind = ThemeControlKind::OptionButton;
        break;
    case ControlKind::CheckBox:
        t.kind = ThemeControlKind::CheckBox;
        break;
    case ControlKind::Frame:
        t.kind = ThemeControlKind::Frame;
        break;
    default:
        t.kind = ThemeControlKind::Other;
        break;
    }
    return t;
}

FormThemeSupport::~FormThemeSupport() {
    for (const auto& [hwnd, isButton] : subclassed_) {
        if (!IsWindow(hwnd)) continue;
        if (isButton)
            RemoveWindowSubclass(hwnd, pvRedirectButton, 0);
        else
            RemoveWindowSubclass(hwnd, pvRedirectFrame, 0);
    }
}

bool FormThemeSupport::Apply(const Form& form,
                             const std::function<HWND(const Control&)>& windowOf) {
    std::vector<ThemeControl> controls;
    for (const Control& c : form.controls) {
        HWND hwnd = windowOf ? windowOf(c) : nullptr;
        if (!hwnd) continue;
        ThemeControl t = ThemeControlOf(c, hwnd, nullptr);
        if (IsButtonKind(t.kind) && t.style == 1) {
            buttons_.emplace_back(hwnd, std::make_unique<WindowThemedButton>(hwnd, t.kind, c));
            t.button = buttons_.back().second.get();
        }
        controls.push_back(t);
    }
    if (!FixThemeSupport(controls)) return false;
    for (const ThemeControl& t : controls) {
        if (t.kind == ThemeControlKind::Frame) subclassed_.emplace_back(t.hwnd, false);
        if (t.button && t.style == 1 && IsButtonKind(t.kind))
            subclassed_.emplace_back(t.hwnd, true);
    }
    return true;
}

const ThemedButton* FormThemeSupport::ButtonOf(HWND hwnd) const {
    for (const auto& [subclassed, isButton] : subclassed_)
        if (subclassed == hwnd && isButton)
            for (const auto& [window, button] : buttons_)
                if (window == hwnd) return button.get();
    return nullptr;
}

LRESULT CALLBACK pvRedirectFrame(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
    switch (msg) {
    case WM_MOUSELEAVE:
    case WM_PRINTCLIENT:
        return DefWindowProcA(hwnd, msg, wp, lp);
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, pvRedirectFrame, 0);
        break;
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}

LRESULT CALLBACK pvRedirectButton(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                  DWORD_PTR ref) {
    const auto* button = reinterpret_cast<const ThemedButton*>(ref);
    bool restoreRedraw = false;
    switch (msg) {
    case WM_SETFOCUS:
    case WM_ENABLE:
        if (IsThemed() && IsWindowVisible(hwnd)) {
            restoreRedraw = true;
            SendMessageA(hwnd, WM_SETREDRAW, 0, 0);
        }
        break;
    case WM_PAINT:
        if (button && IsThemed() && IsWindowVisible(hwnd)) {
            SetFlag(hwnd, kPaintedProp, true);
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            if (dc) pvDrawButton(hwnd, dc, *button);
            EndPaint(hwnd, &ps);
            return 0;
        }
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, pvRedirectButton, 0);
        break;
    }

    const LRESULT result = DefSubclassProc(hwnd, msg, wp, lp);

    switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_MOUSEHOVER:
    case WM_KILLFOCUS:
    case WM_MOUSELEAVE:
        // Pressed or hovered: hot; focus or mouse gone: not.
        if (IsThemed()) {
            SetFlag(hwnd, kHotProp, msg == WM_LBUTTONDOWN || msg == WM_MOUSEHOVER);
            Refresh(hwnd);
        }
        break;
    case WM_MOUSEMOVE:
        if (IsThemed()) {
            if (!PropSet(hwnd, kHotProp)) {
                TRACKMOUSEEVENT tme{};
                tme.cbSize = sizeof tme;
                tme.dwFlags = TME_HOVER | TME_LEAVE;
                tme.hwndTrack = hwnd;
                tme.dwHoverTime = 1;
                TrackMouseEvent(&tme);
            }
            if (!PropSet(hwnd, kPaintedProp)) Refresh(hwnd);
        }
        break;
    case WM_SETFOCUS:
    case WM_ENABLE:
        if (IsThemed() && restoreRedraw) {
            SendMessageA(hwnd, WM_SETREDRAW, 1, 0);
            if (msg == WM_ENABLE)
                InvalidateRect(hwnd, nullptr, FALSE);
            else
                Refresh(hwnd);
        }
        break;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
        if (IsThemed()) Refresh(hwnd);
        break;
    }
    return result;
}

void pvDrawButton(HWND hwnd, HDC hdc, const ThemedButton& button) {
    // 1. What the button is doing.
    const LRESULT bits = SendMessageW(hwnd, BM_GETSTATE, 0, 0);
    ButtonFacts facts;
    facts.pushed = (bits & BST_PUSHED) != 0;
    facts.focused = (bits & BST_FOCUS) != 0;
    facts.value = button.Value().value_or(false);
    facts.hot = PropSet(hwnd, kHotProp);
    facts.defaultLook =
        DefaultLook(button.Default(), GetFocus() == hwnd, button.ActiveControlDefault());
    facts.enabled = button.Enabled();
    const auto picture = button.Picture();
    const auto down = button.DownPicture();
    const auto disabled = button.DisabledPicture();
    facts.hasPicture = HasHandle(picture);
    facts.hasDownPicture = HasHandle(down);
    facts.hasDisabledPicture = HasHandle(disabled);

    // 2. Themed state and picture.
    const ButtonLook look = ChooseButtonLook(facts);
    std::optional<ButtonPictureRef> shown;
    switch (look.picture) {
    case ButtonPicture::Picture:
        shown = picture;
        break;
    case ButtonPicture::DownPicture:
        shown = down;
        break;
    case ButtonPicture::DisabledPicture:
        shown = disabled;
        break;
    case ButtonPicture::None:
        break;
    }

    // 3. The face.
    RECT r;
    GetClientRect(hwnd, &r);
    {
        Theme theme(hwnd);
        if (theme.h) {
            HRGN face = nullptr;
            if (SUCCEEDED(Api().getThemeBackgroundRegion(theme.h, hdc, kPushButtonPart, look.state,
                                                         &r, &face)) &&
                face) {
                const RegionHandle owned(face);
                ExtSelectClipRgn(hdc, face, RGN_DIFF);
            }
            if (FAILED(Api().drawThemeParentBackground(hwnd, hdc, &r))) {
                GdiObject brush(CreateSolidBrush(SystemColour(button.BackColor())));
                if (brush.get()) FillRect(hdc, &r, static_cast<HBRUSH>(brush.get()));
            }
            ExtSelectClipRgn(hdc, nullptr, RGN_COPY);
            Api().drawThemeBackground(theme.h, hdc, kPushButtonPart, look.state, &r, nullptr);
            RECT content = r;
            if (SUCCEEDED(Api().getThemeBackgroundContentRect(theme.h, hdc, kPushButtonPart,
                                                              look.state, &r, &content)))
                r = content;
        } else {
            GdiObject brush(CreateSolidBrush(SystemColour(button.BackColor())));
            if (brush.get()) FillRect(hdc, &r, static_cast<HBRUSH>(brush.get()));
        }
        if (facts.focused) DrawFocusRect(hdc, &r);

        // 4. The caption.
        const std::wstring caption = WideFromUtf8(button.Caption());
        if (!caption.empty() && theme.h) {
            HFONT font = button.Font();
            Selection sel(hdc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
            RECT t = r;
            DrawTextW(hdc, caption.c_str(), -1, &t, DT_CALCRECT | DT_WORDBREAK);
            const PixelRect placed =
                CaptionRect({r.left, r.top, r.right, r.bottom}, {t.left, t.top, t.right, t.bottom},
                            HasHandle(shown));
            t = {placed.left, placed.top, placed.right, placed.bottom};
            Api().drawThemeText(theme.h, hdc, kPushButtonPart, look.state, caption.c_str(), -1,
                                DT_CENTER | DT_WORDBREAK, 0, &t);
            r.bottom = t.top;
        }
    } // 5. the theme is closed here

    // 6. The picture.
    if (!HasHandle(shown)) return;
    const double tpp = TwipsPerPixel(DeviceDpi(hdc));
    const int w = HimetricToPixels(shown->himetricWidth, tpp);
    const int h = HimetricToPixels(shown->himetricHeight, tpp);
    const PixelPoint at = CentredPicture({r.left, r.top, r.right, r.bottom}, w, h);
    if (!facts.enabled) {
        pvDrawDisabledPicture(shown, hdc, at.x, at.y, w, h, SystemColour(button.MaskColor()));
    } else if (button.UseMaskColor()) {
        pvDrawTransparentPicture(shown, hdc, at.x, at.y, w, h, SystemColour(button.MaskColor()), 0,
                                 0, 0, 0);
    } else {
        RenderPicture(*shown, hdc, at.x, at.y, w, h);
    }
}

void pvDrawRect(HDC hdc, int x, int y, int width, int height, COLORREF colour) {
    RECT rc{x, y, x + width, y + height};
    GdiObject brush(CreateSolidBrush(colour));
    if (brush.get()) FillRect(hdc, &rc, static_cast<HBRUSH>(brush.get()));
}

void pvDrawTransparentPicture(const std::optional<ButtonPictureRef>& picture, HDC hdc, int x, int y,
                              int cx, int cy, COLORREF crTransparent, int xSrc, int ySrc, int cxSrc,
                              int cySrc) {
    if (!HasHandle(picture) || cx <= 0 || cy <= 0 || !Api().transparentBlt) return;
    if (cxSrc == 0) cxSrc = cx;
    if (cySrc == 0) cySrc = cy;
    ScreenDc screen;
    MemoryDc mem(screen.get());
    GdiObject bmp(CreateCompatibleBitmap(screen.get(), cxSrc, cySrc));
    if (!mem.get() || !bmp.get()) return;
    Selection sel(mem.get(), bmp.get());
    // The whole bitmap is backed first, so whatever the picture leaves uncovered (an icon that
    // is not square, for one) stays transparent instead of showing the bitmap's black.
    pvDrawRect(mem.get(), 0, 0, cxSrc, cySrc, crTransparent);
    if (picture->type == ButtonPictureRef::kIcon) {
        DrawIconEx(mem.get(), 0, 0, static_cast<HICON>(picture->handle), cxSrc, cySrc, 0, nullptr,
                   DI_NORMAL);
    } else {
        DrawStateW(mem.get(), nullptr, nullptr, reinterpret_cast<LPARAM>(picture->handle), 0, 0, 0,
                   0, 0, DST_BITMAP);
    }
    Api().transparentBlt(hdc, x, y, cx, cy, mem.get(), xSrc, ySrc, cxSrc, cySrc, crTransparent);
}

void pvDrawDisabledPicture(const std::optional<ButtonPictureRef>& picture, HDC hdc, int x, int y,
                           int cx, int cy, COLORREF crMask) {
    if (!HasHandle(picture) || cx <= 0 || cy <= 0) return;
    ScreenDc screen;
    MemoryDc mem(screen.get());
    GdiObject bmp(CreateCompatibleBitmap(screen.get(), cx, cy));
    if (!mem.get() || !bmp.get()) return;
    {
        Selection sel(mem.get(), bmp.get());
        pvDrawRect(mem.get(), 0, 0, cx, cy, RGB(255, 255, 255));
        pvDrawTransparentPicture(picture, mem.get(), 0, 0, cx, cy, crMask, 0, 0, 0, 0);
    } // the bitmap must not be selected into a DC while DrawState draws it
    DrawStateW(hdc, nullptr, nullptr, reinterpret_cast<LPARAM>(bmp.get()), 0, x, y, cx, cy,
               DST_BITMAP | DSS_DISABLED);
}

} // namespace corvale::win32
