#pragma once
// Visual-style support (mdXpThemeSupport): loads the common controls at start-up, subclasses a
// form's frames and graphical buttons, and paints graphical buttons as themed push buttons with
// their picture and caption while visual styles are in force.
#include "controls/theme_support.h"
#include "platform/form_model.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace corvale::win32 {

// Window property of a button that shows only its picture: its window text (the name screen
// readers read) is not drawn as a caption.
inline constexpr const wchar_t* kPictureOnlyButtonProp = L"CorvalePictureOnly";

// A picture as the painter needs it: a bitmap (type 1) or an icon (type 3) handle and its size in
// HIMETRIC units. The handle stays owned by whoever made it.
struct ButtonPictureRef {
    static constexpr int kBitmap = 1;
    static constexpr int kIcon = 3;
    HANDLE handle = nullptr;
    int type = kBitmap;
    std::int32_t himetricWidth = 0;
    std::int32_t himetricHeight = 0;
};

// Makes a picture reference for a bitmap or icon handle from its pixel size (at the screen's
// resolution).
ButtonPictureRef PictureFromBitmap(HBITMAP bitmap);
ButtonPictureRef PictureFromIcon(HICON icon);

// A graphical button's properties as the painter reads them. It must outlive the button window.
class ThemedButton {
  public:
    virtual ~ThemedButton() = default;
    virtual std::optional<bool> Value() const { return std::nullopt; } // none on push buttons
    virtual bool Default() const { return false; }
    virtual bool Enabled() const = 0;
    virtual std::optional<ButtonPictureRef> Picture() const = 0;
    virtual std::optional<ButtonPictureRef> DownPicture() const { return std::nullopt; }
    virtual std::optional<ButtonPictureRef> DisabledPicture() const { return std::nullopt; }
    virtual std::int32_t BackColor() const { return static_cast<std::int32_t>(0x8000000F); }
    virtual std::string Caption() const { return {}; }
    virtual HFONT Font() const { return nullptr; }
    virtual bool UseMaskColor() const { return false; }
    virtual std::int32_t MaskColor() const { return 0xC0C0C0; }
    // "Default" of the form's active control; nothing when it has none.
    virtual std::optional<std::int32_t> ActiveControlDefault() const { return std::nullopt; }
};

// A button whose properties are plain fields (the program's buttons and tests).
class SimpleThemedButton final : public ThemedButton {
  public:
    std::optional<bool> value;
    bool isDefault = false;
    std::optional<ButtonPictureRef> picture, downPicture, disabledPicture;
    std::int32_t backColor = static_cast<std::int32_t>(0x8000000F);
    std::string caption;
    HFONT font = nullptr;
    bool useMaskColor = false;
    std::int32_t maskColor = 0xC0C0C0;
    HWND window = nullptr; // Enabled() asks the window when set
    bool enabled = true;

    std::optional<bool> Value() const override { return value; }
    bool Default() const override { return isDefault; }
    bool Enabled() const override { return window ? IsWindowEnabled(window) != 0 : enabled; }
    std::optional<ButtonPictureRef> Picture() const override { return picture; }
    std::optional<ButtonPictureRef> DownPicture() const override { return downPicture; }
    std::optional<ButtonPictureRef> DisabledPicture() const override { return disabledPicture; }
    std::int32_t BackColor() const override { return backColor; }
    std::string Caption() const override { return caption; }
    HFONT Font() const override { return font; }
    bool UseMaskColor() const override { return useMaskColor; }
    std::int32_t MaskColor() const override { return maskColor; }
};

enum class ThemeControlKind { Frame, CommandButton, OptionButton, CheckBox, Other };

// One entry of a form's control collection as the fix-ups see it.
struct ThemeControl {
    ThemeControlKind kind = ThemeControlKind::Other;
    std::int32_t style = 0; // "Style": 1 is graphical
    HWND hwnd = nullptr;
    ThemedButton* button = nullptr; // required for graphical buttons
};

// Once per program, before the first window: loads the common controls when version 6 is in
// force and arranges the shutdown guard. Later calls return at once.
void InitVisualStyles();
// True when comctl32 reports a major version above 5 (cached after the first ask).
bool IsComCtl6Loaded();
// Replaces the cached comctl32 major version (tests run the version-5 paths with it); 0 forgets
// it, so the next ask goes to comctl32 again.
void SetKnownComCtlVersion(DWORD major);
// Visual styles are on for this program's controls.
bool IsThemed();
// Subclasses the form's frames and graphical buttons. False (and nothing subclassed) without
// comctl32 6.
bool FixThemeSupport(std::span<const ThemeControl> controls);

// The kind of a form-model control for the fix-ups, and its "Style".
ThemeControl ThemeControlOf(const Control& control, HWND hwnd, ThemedButton* button);

// The fix-ups of one form's windows: subclasses the form's frames and graphical buttons (command
// buttons, option buttons and check boxes with "Style" 1). A button's caption, font, picture,
// default look and value are read from its window whenever it is painted. The subclassing is undone
// when the object goes, so the windows may outlive it.
class FormThemeSupport {
  public:
    FormThemeSupport() = default;
    ~FormThemeSupport();
    FormThemeSupport(const FormThemeSupport&) = delete;
    FormThemeSupport& operator=(const FormThemeSupport&) = delete;

    // Same result as FixThemeSupport.
    bool Apply(const Form& form, const std::function<HWND(const Control&)>& windowOf);
    // What a subclassed graphical button is painted with; nullptr for any other window.
    const ThemedButton* ButtonOf(HWND hwnd) const;

  private:
    std::vector<std::pair<HWND, std::unique_ptr<ThemedButton>>> buttons_;
    std::vector<std::pair<HWND, bool>> subclassed_; // window, true for a button
};

// The subclass procedures and the painters (public for tests).
LRESULT CALLBACK pvRedirectFrame(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
LRESULT CALLBACK pvRedirectButton(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
void pvDrawButton(HWND hwnd, HDC hdc, const ThemedButton& button);
void pvDrawTransparentPicture(const std::optional<ButtonPictureRef>& picture, HDC hdc, int x, int y,
                              int cx, int cy, COLORREF crTransparent, int xSrc, int ySrc, int cxSrc,
                              int cySrc);
void pvDrawDisabledPicture(const std::optional<ButtonPictureRef>& picture, HDC hdc, int x, int y,
                           int cx, int cy, COLORREF crMask);
void pvDrawRect(HDC hdc, int x, int y, int width, int height, COLORREF colour);

// A system colour (negative) resolved, others as they are.
COLORREF SystemColour(std::int32_t colour);

} // namespace corvale::win32
