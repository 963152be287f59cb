#include "controls/animation_bar.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace corvale {

std::optional<std::int32_t> ParseColourText(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 10) return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (negative) value = -value;
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

AnimationBar::AnimationBar() {
    Create();
}

AnimationBar::AnimationBar(Hooks hooks) : hooks_(std::move(hooks)) {
    Create();
}

void AnimationBar::Create() {
    Reset();
}

void AnimationBar::Resize(double controlWidth, double controlHeight) {
    bar_.width = controlWidth;
    bar_.height = std::min(controlHeight, kTrackHeight);
    Reset();
}

void AnimationBar::Reset() {
    growing_ = true;
    for (TimerState& t : timers_) t.enabled = false;
    pulseVisible_ = false;

    pLeft_.left = bar_.left - pLeft_.width - kParkGap;
    pRight_.left = bar_.left + bar_.width + kParkGap;
    pLeft2_.left = bar_.left - pLeft2_.width - kParkGap;
    pRight2_.left = bar_.left + bar_.width + kParkGap;

    // Whole twips, halves to even (the platform's rounding).
    auto whole = [](double v) { return static_cast<std::int32_t>(std::nearbyint(v)); };
    leftStart_ = whole(pLeft_.left);
    rightStart_ = whole(pRight_.left);
    leftPlainStart_ = whole(pLeft2_.left);
    rightPlainStart_ = whole(pRight2_.left);

    if (hooks_.yield) hooks_.yield();
    if (hooks_.afterReset) hooks_.afterReset();
}

bool AnimationBar::BeginDisplay() {
    Reset();
    const std::string defaultColour = std::to_string(kDefaultBarColour);
    if (leftColour_.empty()) leftColour_ = defaultColour;
    if (rightColour_.empty()) rightColour_ = defaultColour;
    if (pulseColour_.empty()) pulseColour_ = defaultColour;
    if (timing_ == 0) timing_ = kDefaultTiming;
    if (increment_ == 0) increment_ = kDefaultIncrement;
    if (style_ == 0) style_ = 1;

    const auto left = ParseColourText(leftColour_);
    if (!left) return false;
    leftPlainBack_ = *left;
    const auto right = ParseColourText(rightColour_);
    if (!right) return false;
    rightPlainBack_ = *right;

    // A timer cannot take a negative interval.
    if (timing_ < 0) return false;

    // Styles 1 to 5 run the timer of their place (Monic, Right, Pace, Bouncy, Pulse); other
    // styles animate nothing.
    if (style_ == 5) {
        const auto pulse = ParseColourText(pulseColour_);
        if (!pulse) return false;
        pulseBack_ = *pulse;
        pulseVisible_ = true;
        pulse_.width = 0;
    }
    if (style_ >= 1 && style_ <= kTimerCount) StartTimer(static_cast<Timer>(style_ - 1));
    return true;
}

bool AnimationBar::ApplyBackGroundColor() {
    if (backColour_.empty()) backColour_ = std::to_string(kButtonFaceColour);
    const auto colour = ParseColourText(backColour_);
    if (!colour) return false;
    barBack_ = *colour;
    return true;
}

void AnimationBar::StartTimer(Timer timer) {
    TimerState& t = timers_[static_cast<int>(timer)];
    t.interval = timing_;
    t.enabled = true;
}

void AnimationBar::Tick(Timer timer) {
    if (!TimerOf(timer).enabled) return;
    if (timer == Timer::Pulse)
        TickPulse();
    else
        MoveBlocks(timer);
}

void AnimationBar::MoveBlocks(Timer timer) {
    TwipBox* l = nullptr;
    TwipBox* r = nullptr;
    double ls = 0, rs = 0;
    if (colorBars_ == 0) {
        l = &pLeft_, r = &pRight_, ls = leftStart_, rs = rightStart_;
    } else if (colorBars_ == -1) {
        l = &pLeft2_, r = &pRight2_, ls = leftPlainStart_, rs = rightPlainStart_;
    } else {
        return; // neither pair is chosen
    }
    const double d = increment_;
    switch (timer) {
    case Timer::Monic: // left to right; tested after moving
        l->left += d;
        if (l->left >= rs) l->left = ls;
        break;
    case Timer::Right: // right to left; tested before moving
        if (r->left > ls)
            r->left -= d;
        else
            r->left = rs;
        break;
    case Timer::Pace: // relay: the left block crosses, then the right one comes back
        if (l->left < rs) {
            l->left += d;
        } else if (r->left > ls) {
            r->left -= d;
        } else {
            l->left = ls;
            r->left = rs;
        }
        break;
    case Timer::Bouncy: // both cross on every tick
        if (l->left >= rs)
            l->left = ls;
        else
            l->left += d;
        if (r->left > ls)
            r->left -= d;
        else
            r->left = rs;
        break;
    case Timer::Pulse:
        break;
    }
}

void AnimationBar::TickPulse() {
    const double d = increment_;
    const double b = bar_.width;
    auto place = [&] { pulse_.left = b / 2 + bar_.left - pulse_.width / 2 - kParkGap; };
    if (growing_) {
        pulse_.width += d;
        place();
        if (pulse_.width > b) growing_ = false;
    } else if (pulse_.width - d >= 0) {
        pulse_.width -= d;
        place();
    } else {
        growing_ = true;
    }
}

} // namespace corvale
