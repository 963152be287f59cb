#include "controls/win32/anchor_window.h"

#include "controls/win32/animation_bar_window.h"

#include <commctrl.h>

#include <cmath>

namespace corvale::win32 {

WindowAnchorHost::WindowAnchorHost(HWND form, Form& model, ControlWindowLookup windowOf)
    : form_(form), form_model_(&model), model_(model), windowOf_(std::move(windowOf)),
      tpp_(ScreenTwipsPerPixel()) {}

RECT WindowAnchorHost::Outer() const {
    RECT rc{};
    GetWindowRect(form_, &rc);
    return rc;
}

int WindowAnchorHost::Px(double twips) const {
    return static_cast<int>(std::lround(twips / tpp_));
}

double WindowAnchorHost::FormHeight() const {
    const RECT rc = Outer();
    return (rc.bottom - rc.top) * tpp_;
}

double WindowAnchorHost::FormWidth() const {
    const RECT rc = Outer();
    return (rc.right - rc.left) * tpp_;
}

void WindowAnchorHost::SetFormHeight(double twips) {
    const RECT rc = Outer();
    SetWindowPos(form_, nullptr, 0, 0, rc.right - rc.left, Px(twips),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void WindowAnchorHost::SetFormWidth(double twips) {
    const RECT rc = Outer();
    SetWindowPos(form_, nullptr, 0, 0, Px(twips), rc.bottom - rc.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

double WindowAnchorHost::FormLeft() const {
    return Outer().left * tpp_;
}
double WindowAnchorHost::FormTop() const {
    return Outer().top * tpp_;
}

void WindowAnchorHost::SetFormLeft(double twips) {
    const RECT rc = Outer();
    SetWindowPos(form_, nullptr, Px(twips), rc.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void WindowAnchorHost::SetFormTop(double twips) {
    const RECT rc = Outer();
    SetWindowPos(form_, nullptr, rc.left, Px(twips), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool WindowAnchorHost::SetNumber(int index, std::string_view property, double value) {
    if (!model_.SetNumber(index, property, value)) return false;
    const Control& c = form_model_->controls[static_cast<std::size_t>(index)];
    HWND w = windowOf_ ? windowOf_(c) : nullptr;
    if (w && c.position) {
        const TwipsRect& r = *c.position;
        SetWindowPos(w, nullptr, Px(r.left), Px(r.top), Px(r.width), Px(r.height),
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return true;
}

void WindowRedraw::SetRedraw(NativeWindow window, bool on) {
    SendMessageA(static_cast<HWND>(window), WM_SETREDRAW, on ? 1 : 0, 0);
}

void WindowRedraw::RedrawNow(NativeWindow window) {
    RedrawWindow(static_cast<HWND>(window), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

FormAnchor::FormAnchor(HWND form, Form& model, ControlWindowLookup windowOf, SettingsStore* store)
    : form_(form), host_(form, model, std::move(windowOf)), anchor_(host_, &redraw_, store) {
    bound_ = SetWindowSubclass(form_, &FormAnchor::SubclassProc, 0,
                               reinterpret_cast<DWORD_PTR>(this)) != FALSE;
}

FormAnchor::~FormAnchor() {
    if (bound_ && IsWindow(form_)) RemoveWindowSubclass(form_, &FormAnchor::SubclassProc, 0);
    anchor_.End();
}

LRESULT CALLBACK FormAnchor::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                          DWORD_PTR ref) {
    auto* self = reinterpret_cast<FormAnchor*>(ref);
    if (msg == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, &FormAnchor::SubclassProc, 0);
        self->anchor_.End(); // the form's place is saved while the window still exists
        self->bound_ = false;
        return DefSubclassProc(hwnd, msg, wp, lp);
    }
    const LRESULT result = DefSubclassProc(hwnd, msg, wp, lp);
    if (msg == WM_SIZE) self->anchor_.DoResize();
    return result;
}

} // namespace corvale::win32
