#include "controls/anchor.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace corvale {
namespace {

// Whole twips, halves to even (the platform's conversion of a fractional size).
std::int32_t WholeTwips(double v) {
    if (!std::isfinite(v)) return 0;
    const double r = std::nearbyint(v);
    if (r >= 2147483647.0) return 2147483647;
    if (r <= -2147483648.0) return -2147483647 - 1;
    return static_cast<std::int32_t>(r);
}

std::optional<double> ParseNumber(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty()) return std::nullopt;
    double v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

// A number as the decimal text of a single-precision value ("1234", "-15.5").
std::string SingleText(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.7g", static_cast<double>(static_cast<float>(v)));
    return buf;
}

std::vector<std::string_view> Split(std::string_view s, char sep) {
    std::vector<std::string_view> parts;
    for (;;) {
        const auto at = s.find(sep);
        parts.push_back(s.substr(0, at));
        if (at == std::string_view::npos) break;
        s.remove_prefix(at + 1);
    }
    return parts;
}

} // namespace

std::optional<std::string> SplitAnchorTag(std::string_view tag, std::string* rest) {
    // Only a marker right after the four letters makes a code: a tag that merely contains "*/"
    // somewhere else keeps its text whole.
    if (tag.size() < 6 || tag.substr(4, 2) != "*/") return std::nullopt;
    if (rest) *rest = std::string(tag.substr(6));
    return std::string(tag.substr(0, 4));
}

Anchor::Anchor(AnchorHost& host, RedrawControl* redraw, SettingsStore* store)
    : host_(&host), redraw_(redraw), store_(store) {}

Anchor::~Anchor() {
    End();
}

std::optional<Anchor::RegParts> Anchor::SplitRegString() const {
    if (RegString.empty()) return std::nullopt;
    const auto parts = Split(RegString, ',');
    if (parts.size() < 4) return std::nullopt;
    return RegParts{std::string(parts[0]), std::string(parts[1]), std::string(parts[2]) + "Pos",
                    std::string(parts[3])};
}

void Anchor::RestorePosition() {
    const auto reg = SplitRegString();
    if (!reg || !store_) return;
    const std::string value = store_->Get(reg->app, reg->section, reg->key).value_or(reg->fallback);
    const auto pieces = Split(value, '|');
    if (pieces.size() < 2) return;
    const auto left = ParseNumber(pieces[0]);
    const auto top = ParseNumber(pieces[1]);
    if (!left || !top) return;
    host_->SetFormLeft(*left);
    host_->SetFormTop(*top);
}

void Anchor::DoInit(std::int32_t minHeight, std::int32_t minWidth) {
    if (!host_) return;
    RestorePosition();

    const int count = host_->ControlCount();
    codes_.assign(static_cast<std::size_t>(count > 0 ? count : 0) + 1, std::string());
    for (int i = 0; i < count; ++i) {
        const auto tag = host_->Tag(i);
        if (!tag) continue;
        std::string rest;
        if (auto code = SplitAnchorTag(*tag, &rest)) {
            codes_[static_cast<std::size_t>(i)] = std::move(*code);
            host_->SetTag(i, std::move(rest));
        }
    }

    MinHeight = minHeight;
    MinWidth = minWidth;
    prevHeight_ = WholeTwips(host_->FormHeight());
    prevWidth_ = WholeTwips(host_->FormWidth());
}

void Anchor::DoResize() {
    if (!host_ || depth_ >= kMaxResizeDepth) return;
    if (host_->IsMinimised()) return;
    ++depth_;
    const NativeWindow window = host_->FormWindow();
    if (!DontRefresh) Freeze(window);

    // Only a size below the minimum is set: setting the same size again would only raise
    // another resize.
    if (host_->FormHeight() < MinHeight) host_->SetFormHeight(MinHeight);
    if (host_->FormWidth() < MinWidth) host_->SetFormWidth(MinWidth);

    const std::int32_t dH = WholeTwips(host_->FormHeight() - prevHeight_);
    const std::int32_t dW = WholeTwips(host_->FormWidth() - prevWidth_);

    if (prevHeight_ != 0 && prevWidth_ != 0) {
        if (events.beforeResize) events.beforeResize();
        ApplyDifference(dH, dW);
        if (events.afterResize) events.afterResize(dH, dW);
    } else if (MinHeight != 0) {
        host_->SetFormHeight(MinHeight);
        host_->SetFormWidth(MinWidth);
    } else {
        MinHeight = WholeTwips(host_->FormHeight());
        MinWidth = WholeTwips(host_->FormWidth());
    }

    prevHeight_ = WholeTwips(host_->FormHeight());
    prevWidth_ = WholeTwips(host_->FormWidth());
    if (!DontRefresh) UnFreeze(window, true);
    --depth_;
}

void Anchor::ApplyDifference(std::int32_t dH, std::int32_t dW) {
    const int count = host_->ControlCount();
    for (int i = 0; i < count && static_cast<std::size_t>(i) < codes_.size(); ++i) {
        const std::string& code = codes_[static_cast<std::size_t>(i)];
        if (code.size() < 4 || code.compare(2, 2, "FF") == 0) continue;
        const bool left = code[0] == 'T', top = code[1] == 'T';
        const bool right = code[2] == 'T', bottom = code[3] == 'T';
        // A property the control lacks, or a size that would turn negative, is skipped.
        auto add = [&](std::string_view property, std::int32_t delta, bool isSize) {
            const auto now = host_->Number(i, property);
            if (!now) return;
            const double next = *now + delta;
            if (isSize && next < 0) return;
            host_->SetNumber(i, property, next);
        };
        if (bottom) {
            if (top)
                add("Height", dH, true);
            else
                add("Top", dH, false);
        }
        if (right) {
            if (left)
                add("Width", dW, true);
            else
                add("Left", dW, false);
        }
    }
}

void Anchor::Freeze(NativeWindow window) {
    if (redraw_) redraw_->SetRedraw(window, false);
}

void Anchor::UnFreeze(NativeWindow window, bool forceUpdate) {
    if (!redraw_) return;
    redraw_->SetRedraw(window, true);
    if (forceUpdate) redraw_->RedrawNow(window);
}

void Anchor::End() {
    if (!host_) return;
    const auto reg = SplitRegString();
    if (reg && store_ && host_->IsNormal()) {
        store_->Save(reg->app, reg->section, reg->key,
                     SingleText(host_->FormLeft()) + "|" + SingleText(host_->FormTop()));
    }
    host_ = nullptr;
}

std::string Anchor::CodeOf(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= codes_.size()) return {};
    return codes_[static_cast<std::size_t>(index)];
}

// ---- the form model as a host

FormModelAnchorHost::FormModelAnchorHost(Form& form)
    : form_(&form), height_(form.outerHeight), width_(form.outerWidth) {}

void FormModelAnchorHost::Resize(double heightTwips, double widthTwips) {
    const bool changed = heightTwips != height_ || widthTwips != width_;
    height_ = heightTwips;
    width_ = widthTwips;
    if (changed && onResize) onResize();
}

void FormModelAnchorHost::SetFormHeight(double twips) {
    Resize(twips, width_);
}
void FormModelAnchorHost::SetFormWidth(double twips) {
    Resize(height_, twips);
}

int FormModelAnchorHost::ControlCount() const {
    return static_cast<int>(form_->controls.size());
}

std::optional<std::string> FormModelAnchorHost::Tag(int index) const {
    if (index < 0 || index >= ControlCount()) return std::nullopt;
    return form_->controls[static_cast<std::size_t>(index)].tag;
}

bool FormModelAnchorHost::SetTag(int index, std::string tag) {
    if (index < 0 || index >= ControlCount()) return false;
    form_->controls[static_cast<std::size_t>(index)].tag = std::move(tag);
    return true;
}

namespace {
std::int32_t* Field(TwipsRect& r, std::string_view property) {
    if (property == "Left") return &r.left;
    if (property == "Top") return &r.top;
    if (property == "Width") return &r.width;
    if (property == "Height") return &r.height;
    return nullptr;
}
} // namespace

std::optional<double> FormModelAnchorHost::Number(int index, std::string_view property) const {
    if (index < 0 || index >= ControlCount()) return std::nullopt;
    auto& pos = form_->controls[static_cast<std::size_t>(index)].position;
    if (!pos) return std::nullopt;
    const std::int32_t* field = Field(*pos, property);
    if (!field) return std::nullopt;
    return *field;
}

bool FormModelAnchorHost::SetNumber(int index, std::string_view property, double value) {
    if (index < 0 || index >= ControlCount()) return false;
    auto& pos = form_->controls[static_cast<std::size_t>(index)].position;
    if (!pos) return false;
    std::int32_t* field = Field(*pos, property);
    if (!field) return false;
    *field = WholeTwips(value);
    return true;
}

} // namespace corvale
