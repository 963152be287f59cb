#include "controls/theme_support.h"
#include "platform/ascii_text.h"

#include <cmath>
#include <string>

namespace corvale {

bool DefaultLook(bool isDefault, bool focusOnButton, std::optional<std::int32_t> activeDefault) {
    if (!isDefault) return false;
    if (focusOnButton) return true;
    return activeDefault && *activeDefault > 0;
}

ButtonLook ChooseButtonLook(const ButtonFacts& f) {
    auto orPicture = [&](bool hasAlternative, ButtonPicture alternative) {
        if (hasAlternative) return alternative;
        return f.hasPicture ? ButtonPicture::Picture : ButtonPicture::None;
    };
    const ButtonPicture plain = f.hasPicture ? ButtonPicture::Picture : ButtonPicture::None;

    if (!f.enabled)
        return {kStateDisabled, orPicture(f.hasDisabledPicture, ButtonPicture::DisabledPicture)};
    if (!f.hot || f.pushed) {
        if (f.value || f.pushed)
            return {kStatePressed, orPicture(f.hasDownPicture, ButtonPicture::DownPicture)};
        if (f.focused || f.defaultLook) return {kStateDefaulted, plain};
        return {kStateNormal, plain};
    }
    if (f.value) return {kStateHot, orPicture(f.hasDownPicture, ButtonPicture::DownPicture)};
    return {kStateHot, plain};
}

std::int32_t RoundHalfEven(double value) {
    const double r = std::nearbyint(value); // the default rounding mode is to nearest, ties even
    if (r >= 2147483647.0) return 2147483647;
    if (r <= -2147483648.0) return -2147483647 - 1;
    return static_cast<std::int32_t>(r);
}

PixelRect CaptionRect(const PixelRect& content, const PixelRect& measured, bool hasPicture) {
    PixelRect t = measured;
    t.left = content.left;
    t.right = content.right;
    if (!hasPicture) {
        t.top = RoundHalfEven((content.bottom - measured.bottom) / 2.0 + 2);
        t.bottom = t.top + measured.bottom;
    } else {
        t.top = content.bottom - measured.bottom + 1;
        t.bottom = content.bottom;
    }
    return t;
}

PixelPoint CentredPicture(const PixelRect& area, std::int32_t w, std::int32_t h) {
    return {RoundHalfEven((area.right - area.left - w) / 2.0 + area.left),
            RoundHalfEven((area.bottom - area.top - h) / 2.0 + area.top)};
}

std::int32_t HimetricToPixels(std::int32_t himetric, double twipsPerPixel) {
    if (!(twipsPerPixel > 0)) return 0;
    return RoundHalfEven((1440.0 / twipsPerPixel) * (himetric / 2540.0));
}

int CommonControlsVersionFromPath(std::string_view path) {
    constexpr std::string_view kAssembly = "microsoft.windows.common-controls_";
    const std::string lower = AsciiLowered(path);
    std::string_view rest(lower);
    const auto at = rest.rfind(kAssembly);
    if (at == std::string_view::npos) return 0;
    rest.remove_prefix(at + kAssembly.size());
    const auto token = rest.find('_'); // the public key token comes first
    if (token == std::string_view::npos) return 0;
    rest.remove_prefix(token + 1);
    int major = 0, digits = 0;
    while (!rest.empty() && rest.front() >= '0' && rest.front() <= '9' && digits < 4) {
        major = major * 10 + (rest.front() - '0');
        rest.remove_prefix(1);
        ++digits;
    }
    if (digits == 0 || rest.empty() || rest.front() != '.') return 0;
    return major;
}

std::uint32_t ResolveColour(std::int32_t colour,
                            const std::function<std::uint32_t(int)>& systemColour) {
    if (colour < 0) return systemColour ? systemColour(colour & 0xFF) : 0;
    return static_cast<std::uint32_t>(colour);
}

} // namespace corvale
