#pragma once
// The busy bar's animation: a strip (the track) with blocks that slide across it, driven by one of
// five timers, or a band that grows and shrinks from the centre. This is the whole behaviour
// without a window: positions are in twips, timers are flags with an interval, and the host (the
// Win32 control, or a test) calls Tick() for a running timer and mirrors the state on screen.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace corvale {

// Position and size of one constituent, in twips, relative to its container.
struct TwipBox {
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
};

// Parses a colour held as text ("8388608", "-2147483633", surrounding blanks allowed). Anything
// that is not a whole number in the 32-bit range gives nothing (a type mismatch).
std::optional<std::int32_t> ParseColourText(std::string_view text);

class AnimationBar {
  public:
    // One timer per style; the index is the style number minus one.
    enum class Timer { Monic = 0, Right = 1, Pace = 2, Bouncy = 3, Pulse = 4 };
    static constexpr int kTimerCount = 5;

    struct TimerState {
        bool enabled = false;
        std::int32_t interval = 50; // milliseconds
    };

    // Design sizes of the constituents (twips).
    static constexpr double kTrackHeight = 315;  // the track never grows taller than this
    static constexpr double kDesignWidth = 4425; // the control's design size
    static constexpr double kDesignHeight = 315;
    static constexpr double kParkGap = 150; // blocks park this far outside the track
    static constexpr std::int16_t kDefaultIncrement = 200;
    static constexpr std::int16_t kDefaultTiming = 50;
    static constexpr std::int32_t kDefaultBarColour = 0x800000; // dark blue
    static constexpr std::int32_t kButtonFaceColour =
        static_cast<std::int32_t>(0x8000000F); // system

    // The reset lets pending window messages run once; the Win32 control also gives the four
    // blocks their rounded regions at that point. Both hooks may be empty.
    struct Hooks {
        std::function<void()> yield;
        std::function<void()> afterReset;
    };

    AnimationBar();
    explicit AnimationBar(Hooks hooks);

    void SetHooks(Hooks hooks) { hooks_ = std::move(hooks); }

    // Write-only properties of the control.
    void ColorBars(std::int16_t value) { colorBars_ = value; }
    void LeftColorBarColor(std::string value) { leftColour_ = std::move(value); }
    void RightColorBarColor(std::string value) { rightColour_ = std::move(value); }
    void BackGroundColor(std::string value) { backColour_ = std::move(value); }
    void PulseColor(std::string value) { pulseColour_ = std::move(value); }
    void Style(std::int32_t value) { style_ = value; }
    void Timing(std::int16_t milsec) { timing_ = milsec; }
    void Increment(std::int16_t twips) { increment_ = twips; }

    // Host events: creation runs the reset; a resize of the control sizes the track and resets.
    void Create();
    void Resize(double controlWidth, double controlHeight);

    // Starts the animation of the current Style. False when a colour text is not a number or
    // Timing is negative: the reset has happened and whatever came before the failing step
    // stays done, but no timer was started.
    bool BeginDisplay();
    // Stops everything and parks the blocks.
    void EndDisplay() { Reset(); }
    // Paints the track in BackGroundColor (the button face when empty). False on a bad colour.
    bool ApplyBackGroundColor();

    // One tick of the given timer; does nothing when that timer is off.
    void Tick(Timer timer);

    // State for the host to mirror and for tests.
    const TwipBox& Bar() const { return bar_; }
    const TwipBox& LeftBlock() const { return pLeft_; }
    const TwipBox& RightBlock() const { return pRight_; }
    const TwipBox& LeftPlain() const { return pLeft2_; }
    const TwipBox& RightPlain() const { return pRight2_; }
    const TwipBox& Pulse() const { return pulse_; }
    bool PulseVisible() const { return pulseVisible_; }
    bool PulseGrowing() const { return growing_; }
    const TimerState& TimerOf(Timer timer) const { return timers_[static_cast<int>(timer)]; }

    std::int32_t LeftBlockStart() const { return leftStart_; }
    std::int32_t RightBlockStart() const { return rightStart_; }
    std::int32_t LeftPlainStart() const { return leftPlainStart_; }
    std::int32_t RightPlainStart() const { return rightPlainStart_; }

    // Colours applied so far (platform 0x00BBGGRR, or negative for a system colour).
    std::int32_t BarBackColour() const { return barBack_; }
    std::int32_t LeftPlainColour() const { return leftPlainBack_; }
    std::int32_t RightPlainColour() const { return rightPlainBack_; }
    std::int32_t PulseBackColour() const { return pulseBack_; }

    // The property values as they stand (BeginDisplay fills in the defaults).
    std::int32_t StyleValue() const { return style_; }
    std::int16_t TimingValue() const { return timing_; }
    std::int16_t IncrementValue() const { return increment_; }

  private:
    void Reset();
    void StartTimer(Timer timer);
    void MoveBlocks(Timer timer);
    void TickPulse();

    Hooks hooks_;
    TwipBox bar_{0, 0, 4425, 315};
    TwipBox pLeft_{0, 0, 750, 300};
    TwipBox pRight_{3600, -15, 750, 300};
    TwipBox pLeft2_{0, 0, 750, 300};
    TwipBox pRight2_{3600, 0, 750, 300};
    TwipBox pulse_{1155, -15, 2010, 285};
    bool pulseVisible_ = false;
    bool growing_ = true;
    std::array<TimerState, kTimerCount> timers_{};

    std::int32_t leftStart_ = 0;
    std::int32_t rightStart_ = 0;
    std::int32_t leftPlainStart_ = 0;
    std::int32_t rightPlainStart_ = 0;

    std::int32_t style_ = 0;
    std::int16_t increment_ = 0;
    std::int16_t timing_ = 0;
    std::int16_t colorBars_ = 0;
    std::string pulseColour_;
    std::string backColour_;
    std::string leftColour_;
    std::string rightColour_;

    std::int32_t barBack_ = kButtonFaceColour;
    std::int32_t leftPlainBack_ = kDefaultBarColour;
    std::int32_t rightPlainBack_ = kDefaultBarColour;
    std::int32_t pulseBack_ = kDefaultBarColour;
};

} // namespace corvale
