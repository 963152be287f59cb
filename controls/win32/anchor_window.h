#pragma once
// The anchoring control on a real window: the form's outer size and place from the window, the
// controls' places from the form model (moved on screen through their windows), redraw switching
// with WM_SETREDRAW, and the form's resize events (WM_SIZE) delivered to DoResize.
#include "controls/anchor.h"

#include <windows.h>

#include <functional>

namespace corvale::win32 {

// The window of a control, or nullptr when it has none (its place then lives in the model only).
using ControlWindowLookup = std::function<HWND(const Control&)>;

class WindowAnchorHost final : public AnchorHost {
  public:
    WindowAnchorHost(HWND form, Form& model, ControlWindowLookup windowOf);

    double FormHeight() const override;
    double FormWidth() const override;
    void SetFormHeight(double twips) override;
    void SetFormWidth(double twips) override;
    double FormLeft() const override;
    double FormTop() const override;
    void SetFormLeft(double twips) override;
    void SetFormTop(double twips) override;
    bool IsMinimised() const override { return IsIconic(form_) != 0; }
    bool IsNormal() const override { return !IsIconic(form_) && !IsZoomed(form_); }
    NativeWindow FormWindow() const override { return form_; }
    // Pixels of the form's DPI from now on (the screen's until set).
    void SetDpi(unsigned dpi) {
        if (dpi > 0) tpp_ = 1440.0 / dpi;
    }

    int ControlCount() const override { return model_.ControlCount(); }
    std::optional<std::string> Tag(int index) const override { return model_.Tag(index); }
    bool SetTag(int index, std::string tag) override {
        return model_.SetTag(index, std::move(tag));
    }
    std::optional<double> Number(int index, std::string_view property) const override {
        return model_.Number(index, property);
    }
    bool SetNumber(int index, std::string_view property, double value) override;

  private:
    RECT Outer() const;
    int Px(double twips) const;

    HWND form_;
    Form* form_model_;
    FormModelAnchorHost model_;
    ControlWindowLookup windowOf_;
    double tpp_;
};

// Freeze/UnFreeze of a real window.
class WindowRedraw final : public RedrawControl {
  public:
    void SetRedraw(NativeWindow window, bool on) override;
    void RedrawNow(NativeWindow window) override;
};

// An Anchor bound to its form window: every WM_SIZE of the form runs DoResize.
class FormAnchor {
  public:
    FormAnchor(HWND form, Form& model, ControlWindowLookup windowOf,
               SettingsStore* store = nullptr);
    ~FormAnchor();
    FormAnchor(const FormAnchor&) = delete;
    FormAnchor& operator=(const FormAnchor&) = delete;

    Anchor& anchor() { return anchor_; }
    // The form's DPI, for turning twips into pixels.
    void SetDpi(unsigned dpi) { host_.SetDpi(dpi); }
    Anchor* operator->() { return &anchor_; }

  private:
    static LRESULT CALLBACK SubclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);

    HWND form_;
    WindowAnchorHost host_;
    WindowRedraw redraw_;
    Anchor anchor_;
    bool bound_ = false;
};

} // namespace corvale::win32
