#include "controls/theme_support.h"

#include <gtest/gtest.h>

namespace corvale {
namespace {

ButtonFacts WithPictures(bool down, bool disabled) {
    ButtonFacts f;
    f.hasPicture = true;
    f.hasDownPicture = down;
    f.hasDisabledPicture = disabled;
    return f;
}

TEST(ThemeButtonLook, DisabledUsesDisabledPictureOrFallsBack) {
    ButtonFacts f = WithPictures(true, true);
    f.enabled = false;
    f.hot = f.pushed = f.focused = f.value = true; // disabled wins over everything
    EXPECT_EQ(ChooseButtonLook(f), (ButtonLook{kStateDisabled, ButtonPicture::DisabledPicture}));
    f.hasDisabledPicture = false; // shown embossed from "Picture"
    EXPECT_EQ(ChooseButtonLook(f), (ButtonLook{kStateDisabled, ButtonPicture::Picture}));
    f.hasPicture = false;
    EXPECT_EQ(ChooseButtonLook(f), (ButtonLook{kStateDisabled, ButtonPicture::None}));
}

TEST(ThemeButtonLook, NotHotStates) {
    ButtonFacts f = WithPictures(true, false);
    EXPECT_EQ(ChooseButtonLook(f), (ButtonLook{kStateNormal, ButtonPicture::Picture}));
    f.focused = true;
    EXPECT_EQ(ChooseButtonLook(f), (ButtonLook{kStateDefaulted, ButtonPicture::Picture}));
    f.focused = false;
    f.defaultLook = true;
    EXPECT_EQ(ChooseButtonLook(f), (ButtonLook{kStateDefaulted, ButtonPicture::Picture}));
    f.value = true; // a checked graphical check box looks pressed
    EXPECT_EQ(ChooseButtonLook(f), (ButtonLook{kStatePressed, ButtonPicture::DownPicture}));
    f.hasDownPicture = false;
    EXPECT_EQ(ChooseButtonLook(f), (ButtonLook{kStatePressed, ButtonPicture::Picture}));
}

TEST(ThemeButtonLook, PushedWhileHotStaysPressed) {
    ButtonFacts f = WithPictures(true, false);
    f.hot = true;
    f.pushed = true;
    EXPECT_EQ(ChooseButtonLook(f), (ButtonLook{kStatePressed, ButtonPicture::DownPicture}));
}

TEST(ThemeButtonLook, HotStates) {
    ButtonFacts f = WithPictures(true, false);
    f.hot = true;
    f.focused = true; // hot wins over focus
    EXPECT_EQ(ChooseButtonLook(f), (ButtonLook{kStateHot, ButtonPicture::Picture}));
    f.value = true;
    EXPECT_EQ(ChooseButtonLook(f), (ButtonLook{kStateHot, ButtonPicture::DownPicture}));
    f.hasDownPicture = false;
    EXPECT_EQ(ChooseButtonLook(f), (ButtonLook{kStateHot, ButtonPicture::Picture}));
    f.hasPicture = false;
    EXPECT_EQ(ChooseButtonLook(f), (ButtonLook{kStateHot, ButtonPicture::None}));
}

TEST(ThemeButtonLook, DefaultCountsOnlyWithFocusOrAPositiveActiveDefault) {
    EXPECT_FALSE(DefaultLook(false, true, 1));
    EXPECT_TRUE(DefaultLook(true, true, std::nullopt));
    EXPECT_FALSE(DefaultLook(true, false, std::nullopt));
    EXPECT_FALSE(DefaultLook(true, false, -1)); // a Boolean True is -1, not positive
    EXPECT_FALSE(DefaultLook(true, false, 0));
    EXPECT_TRUE(DefaultLook(true, false, 1));
}

TEST(ThemeGeometry, RoundingHalvesGoToEven) {
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(-0.5), 0);
    EXPECT_EQ(RoundHalfEven(-1.5), -2);
    EXPECT_EQ(RoundHalfEven(2.4999), 2);
    EXPECT_EQ(RoundHalfEven(2.5001), 3);
    EXPECT_EQ(RoundHalfEven(1e12), 2147483647);
}

TEST(ThemeGeometry, HimetricToPixels) {
    // 16 pixels at 96 dpi are 423 HIMETRIC (16 / 96 in * 2540).
    EXPECT_EQ(HimetricToPixels(423, 15), 16);
    EXPECT_EQ(HimetricToPixels(397, 15), 15);
    EXPECT_EQ(HimetricToPixels(2540, 15), 96);
    EXPECT_EQ(HimetricToPixels(2540, 1440.0 / 120), 120); // 120 dpi
    EXPECT_EQ(HimetricToPixels(0, 15), 0);
    EXPECT_EQ(HimetricToPixels(1309, 15), 49);
    EXPECT_EQ(HimetricToPixels(1310, 15), 50);
    EXPECT_EQ(HimetricToPixels(100, 0), 0);
}

TEST(ThemeGeometry, PictureCentredInTheWholeContentWithoutCaption) {
    const PixelRect content{3, 3, 22, 24};                            // a 25 x 27 button's content
    EXPECT_EQ(CentredPicture(content, 16, 16), (PixelPoint{4, 6}));   // 4.5 -> 4, 5.5 -> 6
    EXPECT_EQ(CentredPicture(content, 16, 15), (PixelPoint{4, 6}));   // 6 exactly
    EXPECT_EQ(CentredPicture(content, 30, 30), (PixelPoint{-2, -2})); // larger than the face
}

TEST(ThemeGeometry, CaptionRectangles) {
    const PixelRect content{3, 3, 97, 37};
    const PixelRect measured{3, 3, 60, 16}; // 13 pixels of text
    // No picture: top = round((37 - 16) / 2 + 2) = round(12.5) = 12.
    EXPECT_EQ(CaptionRect(content, measured, false), (PixelRect{3, 12, 97, 28}));
    // With a picture: at the bottom of the content.
    const PixelRect below = CaptionRect(content, measured, true);
    EXPECT_EQ(below, (PixelRect{3, 22, 97, 37}));
    // The picture is then centred in what is left above the caption.
    PixelRect above = content;
    above.bottom = below.top;
    EXPECT_EQ(CentredPicture(above, 16, 16), (PixelPoint{42, 4})); // 41.5 -> 42, 4.5 -> 4
}

TEST(ThemeGeometry, NegativeColoursAreSystemColours) {
    int asked = -1;
    auto sys = [&](int index) {
        asked = index;
        return 0x00C0C0C0u;
    };
    EXPECT_EQ(ResolveColour(static_cast<std::int32_t>(0x8000000F), sys), 0x00C0C0C0u);
    EXPECT_EQ(asked, 0x0F);
    asked = -1;
    EXPECT_EQ(ResolveColour(0x00123456, sys), 0x00123456u);
    EXPECT_EQ(asked, -1);
}

TEST(ThemeCommonControls, VersionFromTheAssemblyFolder) {
    EXPECT_EQ(CommonControlsVersionFromPath(
                  "C:\\windows\\winsxs\\amd64_microsoft.windows.common-controls_6595b64144ccf1df_"
                  "6.0.2600.2982_none_deadbeef\\COMCTL32.dll"),
              6);
    EXPECT_EQ(CommonControlsVersionFromPath("C:\\WINDOWS\\WinSxS\\x86_Microsoft.Windows.Common-"
                                            "Controls_6595b64144ccf1df_10.0.19041.1_x-ww_1\\c.dll"),
              10);
    EXPECT_EQ(CommonControlsVersionFromPath("C:\\windows\\system32\\COMCTL32.dll"), 0);
    EXPECT_EQ(CommonControlsVersionFromPath("x_microsoft.windows.common-controls_token"), 0);
    EXPECT_EQ(CommonControlsVersionFromPath("x_microsoft.windows.common-controls_t_.0"), 0);
    EXPECT_EQ(CommonControlsVersionFromPath("x_microsoft.windows.common-controls_t_6"), 0);
}

} // namespace
} // namespace corvale
