#include "controls/animation_bar.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvale {
namespace {

using Timer = AnimationBar::Timer;

TEST(AnimationBarReset, ParksBlocksOutsideTheDesignTrack) {
    int yields = 0, regions = 0;
    std::vector<char> order;
    AnimationBar bar( // creation resets
        {[&] { ++yields, order.push_back('y'); }, [&] { ++regions, order.push_back('r'); }});
    EXPECT_EQ(bar.LeftBlockStart(), -900);  // 0 - 750 - 150
    EXPECT_EQ(bar.RightBlockStart(), 4575); // 0 + 4425 + 150
    EXPECT_EQ(bar.LeftPlainStart(), -900);
    EXPECT_EQ(bar.RightPlainStart(), 4575);
    EXPECT_EQ(bar.LeftBlock().left, -900);
    EXPECT_EQ(bar.RightPlain().left, 4575);
    EXPECT_EQ(yields, 1);
    EXPECT_EQ(regions, 1);
    EXPECT_EQ(order, (std::vector<char>{'y', 'r'})); // messages run before the regions are set
    for (int t = 0; t < AnimationBar::kTimerCount; ++t)
        EXPECT_FALSE(bar.TimerOf(static_cast<Timer>(t)).enabled);
    EXPECT_FALSE(bar.PulseVisible());
}

// Style 4 (both picture blocks bouncing), the display begun and `ticks` ticks run.
void StartBouncing(AnimationBar& bar, int ticks) {
    bar.Style(4);
    ASSERT_TRUE(bar.BeginDisplay());
    for (int i = 0; i < ticks; ++i) bar.Tick(Timer::Bouncy);
}

TEST(AnimationBarReset, ResizeKeepsAThreeHundredFifteenTwipTrack) {
    AnimationBar bar;
    bar.Resize(3765, 1000);
    EXPECT_EQ(bar.Bar().width, 3765);
    EXPECT_EQ(bar.Bar().height, 315);
    EXPECT_EQ(bar.RightBlockStart(), 3765 + 150);
    bar.Resize(3765, 165); // DB1's own height on the main window
    EXPECT_EQ(bar.Bar().height, 165);
}

TEST(AnimationBarReset, ResizeWhileAnimatingStopsTheAnimation) {
    AnimationBar bar;
    StartBouncing(bar, 1);
    bar.Resize(4425, 315);
    EXPECT_FALSE(bar.TimerOf(Timer::Bouncy).enabled);
    EXPECT_EQ(bar.LeftBlock().left, -900);
}

TEST(AnimationBarDefaults, BeginDisplayFillsInDefaults) {
    AnimationBar bar;
    ASSERT_TRUE(bar.BeginDisplay());
    EXPECT_EQ(bar.StyleValue(), 1); // style 0 runs as style 1
    EXPECT_EQ(bar.TimingValue(), 50);
    EXPECT_EQ(bar.IncrementValue(), 200);
    EXPECT_TRUE(bar.TimerOf(Timer::Monic).enabled);
    EXPECT_EQ(bar.TimerOf(Timer::Monic).interval, 50);
    EXPECT_EQ(bar.LeftPlainColour(), 0x800000);
    EXPECT_EQ(bar.RightPlainColour(), 0x800000);
}

TEST(AnimationBarDefaults, EachStyleStartsItsOwnTimerWithTiming) {
    const Timer expected[] = {Timer::Monic, Timer::Right, Timer::Pace, Timer::Bouncy, Timer::Pulse};
    for (int style = 1; style <= 5; ++style) {
        AnimationBar bar;
        bar.Style(style);
        bar.Timing(120);
        ASSERT_TRUE(bar.BeginDisplay());
        for (int t = 0; t < AnimationBar::kTimerCount; ++t) {
            const auto timer = static_cast<Timer>(t);
            EXPECT_EQ(bar.TimerOf(timer).enabled, timer == expected[style - 1]) << style;
        }
        EXPECT_EQ(bar.TimerOf(expected[style - 1]).interval, 120);
        EXPECT_EQ(bar.PulseVisible(), style == 5);
    }
}

TEST(AnimationBarDefaults, StyleSixStartsNothingButStillResets) {
    AnimationBar bar;
    bar.Style(5);
    ASSERT_TRUE(bar.BeginDisplay());
    bar.Tick(Timer::Pulse);
    bar.Style(6);
    ASSERT_TRUE(bar.BeginDisplay());
    EXPECT_FALSE(bar.PulseVisible());
    for (int t = 0; t < AnimationBar::kTimerCount; ++t)
        EXPECT_FALSE(bar.TimerOf(static_cast<Timer>(t)).enabled);
    EXPECT_EQ(bar.LeftBlock().left, -900);
}

TEST(AnimationBarDefaults, EndDisplayBeforeBeginIsHarmless) {
    AnimationBar bar;
    bar.EndDisplay();
    EXPECT_EQ(bar.LeftBlock().left, -900);
    EXPECT_EQ(bar.RightBlock().left, 4575);
}

TEST(AnimationBarColours, TextColoursAreCheckedWhenApplied) {
    EXPECT_EQ(ParseColourText("8388608"), 8388608);
    EXPECT_EQ(ParseColourText(" -2147483633 "), static_cast<std::int32_t>(0x8000000F));
    EXPECT_FALSE(ParseColourText("blue"));
    EXPECT_FALSE(ParseColourText(""));
    EXPECT_FALSE(ParseColourText("-"));
    EXPECT_FALSE(ParseColourText("2147483648"));
    EXPECT_FALSE(ParseColourText("99999999999999999999"));

    AnimationBar bar;
    bar.RightColorBarColor("not a colour");
    bar.Style(4);
    EXPECT_FALSE(bar.BeginDisplay());
    EXPECT_FALSE(bar.TimerOf(Timer::Bouncy).enabled);

    AnimationBar pulse;
    pulse.Style(5);
    pulse.PulseColor("x");
    EXPECT_FALSE(pulse.BeginDisplay());
    EXPECT_FALSE(pulse.PulseVisible());
}

TEST(AnimationBarColours, BackgroundIsTheButtonFaceUnlessSet) {
    AnimationBar bar;
    ASSERT_TRUE(bar.ApplyBackGroundColor());
    EXPECT_EQ(bar.BarBackColour(), static_cast<std::int32_t>(0x8000000F));
    bar.BackGroundColor("255");
    ASSERT_TRUE(bar.ApplyBackGroundColor());
    EXPECT_EQ(bar.BarBackColour(), 255);
    bar.BackGroundColor("red");
    EXPECT_FALSE(bar.ApplyBackGroundColor());
    EXPECT_EQ(bar.BarBackColour(), 255);
}

TEST(AnimationBarColours, NegativeTimingStartsNoTimer) {
    AnimationBar bar;
    bar.Style(1);
    bar.Timing(-5);
    EXPECT_FALSE(bar.BeginDisplay());
    EXPECT_FALSE(bar.TimerOf(Timer::Monic).enabled);
}

TEST(AnimationBarStyles, StyleFourCrossesTickByTick) {
    AnimationBar bar;
    StartBouncing(bar, 0);
    double left = -900, right = 4575;
    // Left block: -900 ... 4500 is 27 steps of 200; 4700 ≥ 4575 is reached on step 28.
    for (int tick = 1; tick <= 60; ++tick) {
        bar.Tick(Timer::Bouncy);
        left = (left >= 4575) ? -900 : left + 200;
        right = (right > -900) ? right - 200 : 4575;
        ASSERT_EQ(bar.LeftBlock().left, left) << tick;
        ASSERT_EQ(bar.RightBlock().left, right) << tick;
    }
    // The plain blocks stay parked while the picture blocks move.
    EXPECT_EQ(bar.LeftPlain().left, -900);
    EXPECT_EQ(bar.RightPlain().left, 4575);
}

TEST(AnimationBarStyles, StyleFourSpotChecks) {
    AnimationBar bar;
    StartBouncing(bar, 1);
    EXPECT_EQ(bar.LeftBlock().left, -700);
    EXPECT_EQ(bar.RightBlock().left, 4375);
    for (int i = 1; i < 28; ++i) bar.Tick(Timer::Bouncy);
    EXPECT_EQ(bar.LeftBlock().left, 4700); // has passed the far side
    bar.Tick(Timer::Bouncy);
    EXPECT_EQ(bar.LeftBlock().left, -900); // and reappears at its parked start
}

TEST(AnimationBarStyles, StyleOneTestsAfterMoving) {
    AnimationBar bar;
    bar.Increment(275); // -900 + 20 * 275 = 4600 ≥ 4575 on the 20th tick
    bar.Style(1);
    ASSERT_TRUE(bar.BeginDisplay());
    for (int i = 0; i < 19; ++i) bar.Tick(Timer::Monic);
    EXPECT_EQ(bar.LeftBlock().left, 4325);
    bar.Tick(Timer::Monic);
    EXPECT_EQ(bar.LeftBlock().left, -900); // sent back within the same tick

    AnimationBar exact; // reaching Rs exactly also sends it back at once
    exact.Increment(5475);
    exact.Style(1);
    ASSERT_TRUE(exact.BeginDisplay());
    exact.Tick(Timer::Monic);
    EXPECT_EQ(exact.LeftBlock().left, -900);
}

TEST(AnimationBarStyles, StyleTwoTestsBeforeMoving) {
    AnimationBar bar;
    bar.Increment(5475); // 4575 - 5475 = -900: reaches Ls exactly
    bar.Style(2);
    ASSERT_TRUE(bar.BeginDisplay());
    bar.Tick(Timer::Right);
    EXPECT_EQ(bar.RightBlock().left, -900); // stays there for one tick
    bar.Tick(Timer::Right);
    EXPECT_EQ(bar.RightBlock().left, 4575); // and is sent back on the next
    EXPECT_EQ(bar.LeftBlock().left, -900);  // the left block never moves in style 2
}

TEST(AnimationBarStyles, StyleThreeRelays) {
    AnimationBar bar;
    bar.Increment(2000);
    bar.Style(3);
    ASSERT_TRUE(bar.BeginDisplay());
    const double expectL[] = {1100, 3100, 5100, 5100, 5100, 5100, -900};
    const double expectR[] = {4575, 4575, 4575, 2575, 575, -1425, 4575};
    for (int i = 0; i < 7; ++i) {
        bar.Tick(Timer::Pace);
        EXPECT_EQ(bar.LeftBlock().left, expectL[i]) << i;
        EXPECT_EQ(bar.RightBlock().left, expectR[i]) << i;
    }
}

TEST(AnimationBarStyles, ColorBarsChoosesThePair) {
    AnimationBar plain;
    plain.ColorBars(-1);
    plain.Style(4);
    plain.LeftColorBarColor("255");
    ASSERT_TRUE(plain.BeginDisplay());
    plain.Tick(Timer::Bouncy);
    EXPECT_EQ(plain.LeftPlain().left, -700);
    EXPECT_EQ(plain.RightPlain().left, 4375);
    EXPECT_EQ(plain.LeftBlock().left, -900);
    EXPECT_EQ(plain.LeftPlainColour(), 255);

    AnimationBar neither;
    neither.ColorBars(1);
    neither.Style(4);
    ASSERT_TRUE(neither.BeginDisplay());
    neither.Tick(Timer::Bouncy);
    EXPECT_EQ(neither.LeftBlock().left, -900);
    EXPECT_EQ(neither.LeftPlain().left, -900);
}

TEST(AnimationBarStyles, TicksOfStoppedTimersDoNothing) {
    AnimationBar bar;
    bar.Style(4);
    ASSERT_TRUE(bar.BeginDisplay());
    bar.Tick(Timer::Monic); // not the running timer
    EXPECT_EQ(bar.LeftBlock().left, -900);
    bar.EndDisplay();
    bar.Tick(Timer::Bouncy);
    EXPECT_EQ(bar.LeftBlock().left, -900);
}

TEST(AnimationBarPulse, GrowsToFortySixHundredThenShrinks) {
    AnimationBar bar;
    bar.Style(5);
    ASSERT_TRUE(bar.BeginDisplay());
    EXPECT_EQ(bar.Pulse().width, 0);
    double widest = 0;
    int ticks = 0;
    while (bar.PulseGrowing() && ticks < 100) {
        bar.Tick(Timer::Pulse);
        widest = std::max(widest, bar.Pulse().width);
        ++ticks;
    }
    EXPECT_EQ(widest, 4600);
    EXPECT_EQ(ticks, 23);
    EXPECT_EQ(bar.Pulse().left, 4425.0 / 2 - 2300 - 150);
    bar.Tick(Timer::Pulse);
    EXPECT_EQ(bar.Pulse().width, 4400);
    EXPECT_EQ(bar.Pulse().left, 4425.0 / 2 - 2200 - 150);
    for (int i = 0; i < 22; ++i) bar.Tick(Timer::Pulse);
    EXPECT_EQ(bar.Pulse().width, 0);
    EXPECT_FALSE(bar.PulseGrowing());
    bar.Tick(Timer::Pulse); // 0 - 200 < 0: turns round without changing the width
    EXPECT_EQ(bar.Pulse().width, 0);
    EXPECT_TRUE(bar.PulseGrowing());
    bar.Tick(Timer::Pulse);
    EXPECT_EQ(bar.Pulse().width, 200);
}

} // namespace
} // namespace corvale
