#pragma once
// The decisions behind themed graphical buttons that need no window: which themed state and
// which picture a button shows, where its caption and picture go, and the unit conversions.
// The Win32 side (controls/win32/xp_theme_support.h) paints with them.
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace corvale {

// Themed push-button part and states ("BUTTON" class, BP_PUSHBUTTON).
inline constexpr int kPushButtonPart = 1;
enum ThemeButtonState : int {
    kStateNormal = 1,
    kStateHot = 2,
    kStatePressed = 3,
    kStateDisabled = 4,
    kStateDefaulted = 5,
};

enum class ButtonPicture { None, Picture, DownPicture, DisabledPicture };

// What the painter knows about a graphical button at paint time.
struct ButtonFacts {
    bool enabled = true;
    bool hot = false;         // the mouse is over it
    bool pushed = false;      // BM_GETSTATE bit 0x4
    bool focused = false;     // BM_GETSTATE bit 0x8
    bool value = false;       // "Value" (option buttons, check boxes); false when absent
    bool defaultLook = false; // see DefaultLook()
    // Whether each picture exists with a nonzero handle.
    bool hasPicture = false;
    bool hasDownPicture = false;
    bool hasDisabledPicture = false;
};

struct ButtonLook {
    int state = kStateNormal;
    ButtonPicture picture = ButtonPicture::None;
    friend bool operator==(const ButtonLook&, const ButtonLook&) = default;
};

// The button's "Default" counts only while the keyboard focus is on the button itself, unless
// the form's active control reports a positive "Default" value.
bool DefaultLook(bool isDefault, bool focusOnButton, std::optional<std::int32_t> activeDefault);

// Themed state and picture for a button (a missing alternative picture falls back to "Picture";
// None when that is missing too).
ButtonLook ChooseButtonLook(const ButtonFacts& facts);

struct PixelRect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// Rounds to the nearest integer, halves to even (2.5 -> 2, 3.5 -> 4, -0.5 -> 0).
std::int32_t RoundHalfEven(double value);

// Where the caption goes inside the content rectangle. measured is the rectangle the text
// measurement returned when started from content (its bottom is content.top + text height).
// With no picture the caption is roughly centred; with one it sits at the bottom.
PixelRect CaptionRect(const PixelRect& content, const PixelRect& measured, bool hasPicture);

// Top-left corner of a w x h picture centred in area (halves to even).
struct PixelPoint {
    std::int32_t x = 0, y = 0;
    friend bool operator==(const PixelPoint&, const PixelPoint&) = default;
};
PixelPoint CentredPicture(const PixelRect& area, std::int32_t w, std::int32_t h);

// HIMETRIC (1/100 mm) to pixels: round((1440 / twipsPerPixel) * (himetric / 2540)).
std::int32_t HimetricToPixels(std::int32_t himetric, double twipsPerPixel);

// Major version of a common-controls library loaded from a side-by-side assembly folder
// ("...\\amd64_microsoft.windows.common-controls_<token>_6.0.2600.2982_none_...\\comctl32.dll"),
// 0 when the path is not such a folder. Some platforms' version 6 library reports 5.x from its
// version call; its assembly folder still says 6.
int CommonControlsVersionFromPath(std::string_view path);

// A negative colour names a system colour (its low byte is the index); others are 0x00BBGGRR.
std::uint32_t ResolveColour(std::int32_t colour,
                            const std::function<std::uint32_t(int)>& systemColour);

} // namespace corvale
