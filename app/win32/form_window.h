#pragma once
// A top-level window made from a form's stored design data: its controls become child windows
// (buttons with pictures and tool tips, labels, the report list view, list and text boxes,
// picture boxes), placed in pixels from their twips at the window's DPI and drawn with the
// design fonts.
#include "controls/win32/anchor_window.h"
#include "controls/win32/xp_theme_support.h"
#include "platform/form_model.h"
#include "platform/win32/gdi_handles.h"

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corvale::win32 {

inline constexpr int kTwipsPerInch = 1440;

// Twips to pixels and back at a DPI (15 twips a pixel at 96 dpi); rounds to nearest.
int TwipsToPixels(double twips, int dpi);
double PixelsToTwips(int pixels, int dpi);

class FormWindow;

// Lets go of a form window object. While a window procedure of any form is on the stack the
// object is kept and freed when the outermost one returns: a handler that let messages run
// may still hold it, even though its window was closed under it in the meantime.
void RetireFormWindow(std::unique_ptr<FormWindow> window);
// Frees the retired objects now when no form's window procedure is running (the owner of the
// windows calls it before it goes).
void FreeRetiredFormWindows();

class FormWindow {
  public:
    virtual ~FormWindow();
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;

    HWND Hwnd() const { return hwnd_; }
    const Form& Design() const { return form_; }
    Form& Design() { return form_; }
    int Dpi() const;
    int Px(double twips) const { return TwipsToPixels(twips, Dpi()); }
    double Twips(int pixels) const { return PixelsToTwips(pixels, Dpi()); }

    // The child window of a control (nullptr for controls without one).
    HWND Child(std::string_view name) const;
    HWND ChildOf(const Control& c) const { return Child(c.DisplayName()); }
    // The command ID of a control's window (LOWORD of WM_COMMAND's wParam): kFirstControlId plus
    // the control's place in the design; 0 for a name the design does not have.
    static constexpr int kFirstControlId = 100;
    int ControlId(std::string_view name) const;

    // Window texts (UTF-8).
    void SetText(HWND hwnd, std::string_view text) const;
    std::string GetText(HWND hwnd) const;

    // Outer size and position in twips, as a form reports them (left and top may be negative).
    void SetOuterSizeTwips(double width, double height);
    double OuterWidthTwips() const;
    double OuterHeightTwips() const;
    void MoveToTwips(double left, double top);
    double CurrentLeftTwips() const;
    double CurrentTopTwips() const;
    static double ScreenWidthTwips();
    static double ScreenHeightTwips();

  protected:
    // className is registered once per process.
    FormWindow(Form form, const wchar_t* className, HINSTANCE instance);
    // Creates the window (hidden) and its controls. False when the window cannot be created.
    bool CreateFormWindow(HWND owner);
    virtual LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
    // Called for each control after its child window (if any) was made.
    virtual void OnControlCreated(const Control& control, HWND child) {}
    LRESULT Default(UINT msg, WPARAM wp, LPARAM lp) { return DefWindowProcW(hwnd_, msg, wp, lp); }
    // Records the window of a control made by its own class (OnControlCreated).
    void RegisterChild(const Control& c, HWND hwnd) {
        if (hwnd) children_.emplace(c.DisplayName(), hwnd);
    }
    // Load step shared by both windows: the visual-style fix-ups of the form's controls.
    void ApplyThemeFixUps();
    // Load step shared by both windows: hidden, sized to the outer size in twips, then centred
    // on the screen across and down, with the message queue served after each step.
    void SizeAndCentreHidden(double widthTwips, double heightTwips);
    // The anchoring control bound to this window, initialised with the window's current size.
    void InitAnchor();
    // A key pressed anywhere in this window, before the control with the focus sees it (vk is
    // the virtual key). True when the window used it.
    virtual bool OnShortcutKey(UINT vk) { return false; }
    // After the window was laid out for a new DPI (fonts, places, label widths).
    virtual void OnDpiRelayout() {}
    // The tool tip of a control's window gets a new text.
    void SetToolTipText(HWND control, std::string_view text);
    // Widens (and heightens) labels whose text does not fit at the window's DPI and font; the
    // form model keeps the new size. Run before the anchor reads the places.
    void FitLabelsToText();

  private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    // WM_DPICHANGED: the suggested rectangle, then fonts and places for the new DPI.
    void OnDpiChanged(UINT dpi, const RECT* suggested);
    HFONT FontFor(const FontSpec& font);
    HWND CreateControl(const Control& c, HWND parent, int id);
    void AddToolTip(HWND button, std::string_view text);
    void ApplyButtonPicture(const Control& c, HWND button);

    Form form_;
    const wchar_t* className_;
    HINSTANCE instance_;
    HWND hwnd_ = nullptr;
    HWND toolTip_ = nullptr;
    int creationDpi_ = 96;
    int movedDpi_ = 0; // from WM_DPICHANGED
    std::map<std::string, HWND, std::less<>> children_;
    std::vector<std::pair<FontSpec, FontHandle>> fonts_;
    std::map<HWND, IconHandle> pictures_; // shown by the picture buttons, one each
    std::unique_ptr<FormThemeSupport> theme_;
    std::unique_ptr<FormAnchor> anchor_;
};

} // namespace corvale::win32
