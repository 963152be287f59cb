#include "controls/win32/animation_bar_window.h"

#include "controls/theme_support.h"
#include "platform/win32/gdi_handles.h"

#include <algorithm>
#include <cmath>

namespace corvale::win32 {

// What one constituent window shows: a picture stretched over it, or a plain colour.
struct AnimationPanel {
    HBITMAP picture = nullptr; // not owned
    std::int32_t colour = AnimationBar::kButtonFaceColour;
};

namespace {

constexpr wchar_t kControlClass[] = L"CorvaleAnimationBar";
constexpr wchar_t kPanelClass[] = L"CorvaleAnimationPanel";
constexpr UINT_PTR kFirstTimerId = 1;
constexpr int kPictureWidth = 50;
constexpr int kPictureHeight = 20;
constexpr int kBlockCorner = 7;

COLORREF ToColorRef(std::int32_t colour) {
    return ResolveColour(colour,
                         [](int index) { return static_cast<std::uint32_t>(GetSysColor(index)); });
}

// The shaded block picture: light at the top, dark at the bottom, with a highlight band and the
// leading edge (right for the left block, left for the right one) brighter.
HBITMAP MakeBlockPicture(bool leadingRight) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = kPictureWidth;
    bi.bmiHeader.biHeight = -kPictureHeight; // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bmp || !bits) return bmp;
    auto* px = static_cast<std::uint32_t*>(bits);
    for (int y = 0; y < kPictureHeight; ++y) {
        const double t = static_cast<double>(y) / (kPictureHeight - 1);
        const double shade = 1.0 - 0.55 * t + (y >= 2 && y <= 5 ? 0.25 : 0.0);
        for (int x = 0; x < kPictureWidth; ++x) {
            const double s =
                static_cast<double>(leadingRight ? x : kPictureWidth - 1 - x) / (kPictureWidth - 1);
            const double k = std::min(1.0, shade * (0.65 + 0.35 * s));
            const int r = static_cast<int>(40 * k);
            const int g = static_cast<int>(90 * k + 30 * k * k);
            const int b = std::min(255, static_cast<int>(120 + 135 * k));
            px[y * kPictureWidth + x] = static_cast<std::uint32_t>((r << 16) | (g << 8) | b);
        }
    }
    return bmp;
}

LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_NCCREATE: {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        break;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        const auto* panel =
            reinterpret_cast<const AnimationPanel*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        if (panel && panel->picture) {
            const MemoryDc mem(dc);
            if (mem.get()) {
                const Selection selected(mem.get(), panel->picture);
                SetStretchBltMode(dc, COLORONCOLOR);
                StretchBlt(dc, 0, 0, rc.right, rc.bottom, mem.get(), 0, 0, kPictureWidth,
                           kPictureHeight, SRCCOPY);
            }
        } else {
            const GdiHandle<HBRUSH> brush(CreateSolidBrush(
                ToColorRef(panel ? panel->colour : AnimationBar::kButtonFaceColour)));
            if (brush) FillRect(dc, &rc, brush.get());
        }
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_NCHITTEST:
        return HTTRANSPARENT;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

bool RegisterClasses() {
    static const bool registered = [] {
        HINSTANCE inst = GetModuleHandleW(nullptr);
        WNDCLASSEXW panel{};
        panel.cbSize = sizeof panel;
        panel.lpfnWndProc = PanelProc;
        panel.hInstance = inst;
        panel.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        panel.lpszClassName = kPanelClass;
        return RegisterClassExW(&panel) != 0;
    }();
    return registered;
}

} // namespace

bool SetRoundedWindowRegion(HWND window, int width, int height, int corner) {
    RegionHandle rgn(CreateRoundRectRgn(0, 0, width, height, corner, corner));
    if (!rgn || !SetWindowRgn(window, rgn.get(), TRUE)) return false;
    rgn.release(); // the window owns it now
    return true;
}

AnimationBarWindow::AnimationBarWindow() {
    for (auto& p : panels_) p = std::make_unique<AnimationPanel>();
}

AnimationBarWindow::~AnimationBarWindow() {
    Destroy();
}

void AnimationBarWindow::SetYield(std::function<void()> yield) {
    yield_ = std::move(yield);
}

bool AnimationBarWindow::Create(HWND parent, int x, int y, int width, int height, int id) {
    if (hwnd_) return false;
    static const bool controlClass = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.style = CS_OWNDC;
        wc.lpfnWndProc = &AnimationBarWindow::Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.lpszClassName = kControlClass;
        return RegisterClassExW(&wc) != 0;
    }();
    if (!controlClass || !RegisterClasses()) return false;
    twipsPerPixel_ = ScreenTwipsPerPixel();
    if (!pictures_[0]) pictures_[0].reset(MakeBlockPicture(true));
    if (!pictures_[1]) pictures_[1].reset(MakeBlockPicture(false));

    HINSTANCE inst = GetModuleHandleW(nullptr);
    hwnd_ = CreateWindowExW(0, kControlClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, x, y,
                            width, height, parent,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), inst, this);
    if (!hwnd_) return false;

    auto child = [&](HWND owner, AnimationPanel* panel, bool visible) {
        return CreateWindowExW(0, kPanelClass, L"",
                               WS_CHILD | WS_CLIPSIBLINGS | (visible ? WS_VISIBLE : 0), 0, 0, 1, 1,
                               owner, nullptr, inst, panel);
    };
    panels_[0]->colour = model_.BarBackColour();
    bar_ = child(hwnd_, panels_[0].get(), true);
    panels_[1]->picture = pictures_[0].get();
    panels_[2]->picture = pictures_[1].get();
    blocks_[0] = child(bar_, panels_[1].get(), true);
    blocks_[1] = child(bar_, panels_[2].get(), true);
    blocks_[2] = child(bar_, panels_[3].get(), true);
    blocks_[3] = child(bar_, panels_[4].get(), true);
    pulse_ = child(bar_, panels_[5].get(), false);

    model_.SetHooks({[this] {
                         if (yield_) yield_();
                     },
                     [this] { ApplyBlockRegions(); }});
    RECT rc;
    GetClientRect(hwnd_, &rc);
    OnSize(rc.right, rc.bottom);
    return true;
}

void AnimationBarWindow::Destroy() {
    if (!hwnd_) return;
    for (int t = 0; t < AnimationBar::kTimerCount; ++t)
        if (timerOn_[t]) KillTimer(hwnd_, kFirstTimerId + t);
    HWND h = hwnd_;
    hwnd_ = nullptr;
    SetWindowLongPtrW(h, GWLP_USERDATA, 0);
    DestroyWindow(h);
    bar_ = pulse_ = nullptr;
    for (HWND& b : blocks_) b = nullptr;
    for (bool& on : timerOn_) on = false;
    model_.SetHooks({});
}

HDC AnimationBarWindow::hDC() const {
    return hwnd_ ? GetDC(hwnd_) : nullptr;
}

bool AnimationBarWindow::BeginDisplay() {
    const bool ok = model_.BeginDisplay();
    Sync();
    return ok;
}

void AnimationBarWindow::EndDisplay() {
    model_.EndDisplay();
    Sync();
}

bool AnimationBarWindow::ApplyBackGroundColor() {
    const bool ok = model_.ApplyBackGroundColor();
    Sync();
    return ok;
}

void AnimationBarWindow::TickNow(AnimationBar::Timer timer) {
    model_.Tick(timer);
    Sync();
}

LRESULT CALLBACK AnimationBarWindow::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<AnimationBarWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && self->hwnd_ == hwnd) return self->Handle(msg, wp, lp);
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT AnimationBarWindow::Handle(UINT msg, WPARAM wp, LPARAM lp) {
    const HWND self = hwnd_;
    switch (msg) {
    case WM_ERASEBKGND: {
        RECT rc;
        GetClientRect(hwnd_, &rc);
        FillRect(reinterpret_cast<HDC>(wp), &rc, GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    case WM_SIZE:
        if (bar_) OnSize(LOWORD(lp), HIWORD(lp));
        return 0;
    case WM_TIMER:
        OnTimer(wp);
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(self, GWLP_USERDATA, 0);
        hwnd_ = nullptr;
        bar_ = pulse_ = nullptr;
        for (HWND& b : blocks_) b = nullptr;
        for (bool& on : timerOn_) on = false;
        break;
    }
    return DefWindowProcW(self, msg, wp, lp);
}

int AnimationBarWindow::Px(double twips) const {
    return static_cast<int>(std::lround(twips / twipsPerPixel_));
}

void AnimationBarWindow::OnSize(int width, int height) {
    model_.Resize(width * twipsPerPixel_, height * twipsPerPixel_);
    if (hwnd_) Sync();
}

void AnimationBarWindow::OnTimer(UINT_PTR id) {
    if (id < kFirstTimerId || id >= kFirstTimerId + AnimationBar::kTimerCount) return;
    model_.Tick(static_cast<AnimationBar::Timer>(id - kFirstTimerId));
    Sync();
}

void AnimationBarWindow::ApplyBlockRegions() {
    const TwipBox* boxes[4] = {&model_.LeftBlock(), &model_.RightBlock(), &model_.LeftPlain(),
                               &model_.RightPlain()};
    for (int i = 0; i < 4; ++i) {
        if (!blocks_[i]) continue;
        SetRoundedWindowRegion(blocks_[i], Px(boxes[i]->width), Px(boxes[i]->height), kBlockCorner);
    }
}

void AnimationBarWindow::SyncTimers() {
    for (int t = 0; t < AnimationBar::kTimerCount; ++t) {
        const auto& state = model_.TimerOf(static_cast<AnimationBar::Timer>(t));
        const UINT interval = static_cast<UINT>(std::max<std::int32_t>(1, state.interval));
        if (state.enabled && (!timerOn_[t] || timerInterval_[t] != interval)) {
            timerOn_[t] = SetTimer(hwnd_, kFirstTimerId + t, interval, nullptr) != 0;
            timerInterval_[t] = interval;
        } else if (!state.enabled && timerOn_[t]) {
            KillTimer(hwnd_, kFirstTimerId + t);
            timerOn_[t] = false;
        }
    }
}

void AnimationBarWindow::Sync() {
    if (!hwnd_) return;
    SyncTimers();
    auto place = [&](HWND w, const TwipBox& box) {
        SetWindowPos(w, nullptr, Px(box.left), Px(box.top), std::max(0, Px(box.width)),
                     std::max(0, Px(box.height)), SWP_NOZORDER | SWP_NOACTIVATE);
    };
    auto recolour = [&](int panel, HWND w, std::int32_t colour) {
        if (panels_[panel]->colour == colour) return;
        panels_[panel]->colour = colour;
        InvalidateRect(w, nullptr, FALSE);
    };
    place(bar_, model_.Bar());
    recolour(0, bar_, model_.BarBackColour());
    place(blocks_[0], model_.LeftBlock());
    place(blocks_[1], model_.RightBlock());
    place(blocks_[2], model_.LeftPlain());
    place(blocks_[3], model_.RightPlain());
    recolour(3, blocks_[2], model_.LeftPlainColour());
    recolour(4, blocks_[3], model_.RightPlainColour());
    recolour(5, pulse_, model_.PulseBackColour());
    place(pulse_, model_.Pulse());
    ShowWindow(pulse_, model_.PulseVisible() ? SW_SHOWNA : SW_HIDE);
}

} // namespace corvale::win32
