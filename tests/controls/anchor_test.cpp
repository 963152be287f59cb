#include "controls/anchor.h"
#include "tests/controls/anchored_label.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvale {
namespace {

constexpr auto Positioned = test_support::AnchoredLabel;

// A form of 9180 x 5190 twips (outer) with one control per interesting code.
Form TestForm() {
    Control timer;
    timer.name = "Timer1";
    timer.kind = ControlKind::Timer;
    timer.tag = "TTTT*/"; // has a code but no position: skipped silently
    Form f = test_support::AnchorTestForm({
        Positioned("Stays", "TTFF*/", {90, 60, 375, 405}),
        Positioned("Bottom", "TFFT*/", {90, 3090, 4080, 180}),
        Positioned("Corner", "FFTT*/", {7500, 3090, 1485, 1515}),
        Positioned("Fill", "TTTT*/own", {90, 510, 8865, 2505}),
        Positioned("Free", "FFFF*/", {30, 30, 1875, 735}),
        Positioned("NoCode", "plain tag", {1950, 60, 1815, 165}),
        timer,
        Positioned("Right", "FFTF*/", {100, 100, 200, 200}),
    });
    f.name = "FrmTest";
    return f;
}

struct RecordingRedraw : RedrawControl {
    std::vector<std::string> calls;
    void SetRedraw(NativeWindow, bool on) override { calls.push_back(on ? "on" : "off"); }
    void RedrawNow(NativeWindow) override { calls.push_back("redraw"); }
};

struct Fixture : ::testing::Test {
    Form form = TestForm();
    FormModelAnchorHost host{form};
    RecordingRedraw redraw;
    MemorySettingsStore store;
    Anchor anchor{host, &redraw, &store};

    Fixture() {
        host.onResize = [this] { anchor.DoResize(); };
    }
    const TwipsRect& At(const char* name) { return *form.Find(name)->position; }
    void Init() {
        anchor.DontRefresh = true;
        anchor.DoInit(5190, 9180);
    }
};

using AnchorMoves = Fixture;

TEST_F(AnchorMoves, CodesMoveAndStretchByTheSizeChange) {
    Init();
    host.Resize(5190 + 300, 9180 + 600);
    EXPECT_EQ(At("Bottom"), (TwipsRect{90, 3390, 4080, 180}));    // follows the bottom edge
    EXPECT_EQ(At("Corner"), (TwipsRect{8100, 3390, 1485, 1515})); // right and bottom
    EXPECT_EQ(At("Fill"), (TwipsRect{90, 510, 9465, 2805}));      // both ways
    EXPECT_EQ(At("Stays"), (TwipsRect{90, 60, 375, 405}));
    EXPECT_EQ(At("Free"), (TwipsRect{30, 30, 1875, 735}));
    EXPECT_EQ(At("NoCode"), (TwipsRect{1950, 60, 1815, 165}));
    EXPECT_EQ(At("Right"), (TwipsRect{700, 100, 200, 200})); // right edge only
    EXPECT_EQ(anchor.PreviousHeight(), 5490);
    EXPECT_EQ(anchor.PreviousWidth(), 9780);

    host.Resize(5190 + 100, 9180 + 100); // incremental: only the difference is applied
    EXPECT_EQ(At("Corner"), (TwipsRect{7600, 3190, 1485, 1515}));
    EXPECT_EQ(At("Fill"), (TwipsRect{90, 510, 8965, 2605}));
}

TEST_F(AnchorMoves, TagsLoseTheirCodeAndASecondInitFindsNone) {
    Init();
    EXPECT_EQ(form.Find("Fill")->tag, "own");
    EXPECT_EQ(form.Find("Bottom")->tag, "");
    EXPECT_EQ(form.Find("NoCode")->tag, "plain tag");
    EXPECT_EQ(anchor.CodeOf(3), "TTTT");
    EXPECT_EQ(anchor.CodeOf(5), "");
    EXPECT_EQ(anchor.CodeOf(99), "");

    anchor.DoInit(5190, 9180);
    EXPECT_EQ(anchor.CodeOf(3), "");
    EXPECT_EQ(form.Find("Fill")->tag, "own");
    host.Resize(6000, 10000);
    EXPECT_EQ(At("Fill"), (TwipsRect{90, 510, 8865, 2505})); // anchoring is off
}

TEST(AnchorTags, OnlyAMarkerAfterFourLettersMakesACode) {
    std::string rest;
    EXPECT_EQ(SplitAnchorTag("TTFF*/abc", &rest), "TTFF");
    EXPECT_EQ(rest, "abc");
    EXPECT_EQ(SplitAnchorTag("tTfF*/", &rest), "tTfF");    // read as is; only "T" anchors
    EXPECT_FALSE(SplitAnchorTag("a note */ here", &rest)); // left whole, not cut by six
    EXPECT_FALSE(SplitAnchorTag("ab*/", &rest));
    EXPECT_FALSE(SplitAnchorTag("TTFF/*", &rest));
    EXPECT_FALSE(SplitAnchorTag("", &rest));
}

TEST(AnchorTags, LowerCaseLettersAreFree) {
    Form f;
    f.outerHeight = 1000;
    f.outerWidth = 1000;
    f.controls.push_back(Positioned("A", "tttt*/", {0, 0, 100, 100}));
    f.controls.push_back(Positioned("B", "FFtT*/", {0, 0, 100, 100}));
    FormModelAnchorHost host(f);
    Anchor anchor(host);
    host.onResize = [&] { anchor.DoResize(); };
    anchor.DoInit(1000, 1000);
    host.Resize(1200, 1300);
    EXPECT_EQ(*f.controls[0].position, (TwipsRect{0, 0, 100, 100}));
    EXPECT_EQ(*f.controls[1].position, (TwipsRect{0, 200, 100, 100})); // bottom only
}

TEST_F(AnchorMoves, ShrinkingBelowTheMinimumSnapsBack) {
    Init();
    host.Resize(5190 + 300, 9180 + 600);
    host.Resize(4000, 5000); // below both minimums
    EXPECT_EQ(host.FormHeight(), 5190);
    EXPECT_EQ(host.FormWidth(), 9180);
    // The controls follow the snapped size: back where they were designed.
    EXPECT_EQ(At("Bottom"), (TwipsRect{90, 3090, 4080, 180}));
    EXPECT_EQ(At("Corner"), (TwipsRect{7500, 3090, 1485, 1515}));
    EXPECT_EQ(At("Fill"), (TwipsRect{90, 510, 8865, 2505}));
    EXPECT_EQ(anchor.PreviousHeight(), 5190);
    EXPECT_EQ(anchor.PreviousWidth(), 9180);
}

TEST_F(AnchorMoves, ShrinkingOneDirectionOnlySnapsThatDirection) {
    Init();
    host.Resize(5190 + 300, 5000);
    EXPECT_EQ(host.FormHeight(), 5490);
    EXPECT_EQ(host.FormWidth(), 9180);
    EXPECT_EQ(At("Corner"), (TwipsRect{7500, 3390, 1485, 1515}));
}

TEST_F(AnchorMoves, MinimisedFormChangesNothingUntilRestored) {
    Init();
    host.minimised = true;
    host.Resize(400, 2000); // the size a minimised window reports
    EXPECT_EQ(host.FormHeight(), 400);
    EXPECT_EQ(At("Fill"), (TwipsRect{90, 510, 8865, 2505}));
    EXPECT_EQ(anchor.PreviousHeight(), 5190);
    host.minimised = false;
    host.Resize(5190 + 300, 9180 + 600);
    EXPECT_EQ(At("Fill"), (TwipsRect{90, 510, 9465, 2805}));
}

TEST_F(AnchorMoves, EventsCarryTheDifferences) {
    std::vector<std::string> seen;
    anchor.events.beforeResize = [&] { seen.push_back("before"); };
    anchor.events.afterResize = [&](std::int32_t dH, std::int32_t dW) {
        seen.push_back("after " + std::to_string(dH) + " " + std::to_string(dW));
    };
    Init();
    host.Resize(5190 + 300, 9180 + 600);
    EXPECT_EQ(seen, (std::vector<std::string>{"before", "after 300 600"}));
}

TEST_F(AnchorMoves, RedrawIsSwitchedOnlyWithoutDontRefresh) {
    Init(); // DontRefresh is true, as both windows set it
    host.Resize(6000, 10000);
    EXPECT_TRUE(redraw.calls.empty());

    anchor.DontRefresh = false;
    host.Resize(6100, 10100);
    EXPECT_EQ(redraw.calls, (std::vector<std::string>{"off", "on", "redraw"}));

    redraw.calls.clear();
    anchor.Freeze(nullptr);
    anchor.UnFreeze(nullptr, false);
    EXPECT_EQ(redraw.calls, (std::vector<std::string>{"off", "on"}));
}

TEST(AnchorFirstResize, WithoutInitTheCurrentSizeBecomesTheMinimum) {
    Form f = TestForm();
    FormModelAnchorHost host(f);
    Anchor anchor(host);
    host.onResize = [&] { anchor.DoResize(); };
    host.Resize(5000, 8000);
    EXPECT_EQ(anchor.MinHeight, 5000);
    EXPECT_EQ(anchor.MinWidth, 8000);
    EXPECT_EQ(anchor.PreviousHeight(), 5000);
    host.Resize(4000, 7000);
    EXPECT_EQ(host.FormHeight(), 5000); // snapped to the minimum taken
    EXPECT_EQ(host.FormWidth(), 8000);
}

TEST(AnchorFirstResize, WithAMinimumButNoSizeTheFormTakesTheMinimum) {
    Form f = TestForm();
    FormModelAnchorHost host(f);
    Anchor anchor(host);
    host.onResize = [&] { anchor.DoResize(); };
    anchor.MinHeight = 5190;
    anchor.MinWidth = 9180;
    host.Resize(6000, 12000);
    EXPECT_EQ(host.FormHeight(), 5190);
    EXPECT_EQ(host.FormWidth(), 9180);
    EXPECT_EQ(anchor.PreviousWidth(), 9180);
    EXPECT_EQ(*f.controls[3].position, (TwipsRect{90, 510, 8865, 2505}));
}

// A host whose size setter refuses to settle keeps raising resizes; nesting stays bounded.
TEST(AnchorReentrance, NestingIsBounded) {
    Form f = TestForm();
    int calls = 0;
    struct Stubborn : FormModelAnchorHost {
        using FormModelAnchorHost::FormModelAnchorHost;
        void SetFormHeight(double) override {
            if (onResize) onResize(); // the size never changes, yet a resize is raised
        }
    };
    Stubborn stubborn(f);
    Anchor bounded(stubborn);
    bounded.DoInit(5190, 9180);
    stubborn.onResize = [&] {
        ++calls;
        bounded.DoResize();
    };
    stubborn.Resize(4000, 9180);
    EXPECT_LE(calls, Anchor::kMaxResizeDepth + 1);
    EXPECT_GT(calls, 1);
}

TEST(AnchorSizes, ASizeThatWouldTurnNegativeIsSkipped) {
    Form f;
    f.outerHeight = 1000;
    f.outerWidth = 1000;
    f.controls.push_back(Positioned("A", "TTTT*/", {0, 0, 100, 100}));
    FormModelAnchorHost host(f);
    Anchor anchor(host);
    host.onResize = [&] { anchor.DoResize(); };
    anchor.DoInit(0, 0); // no minimum
    host.Resize(850, 1050);
    EXPECT_EQ(*f.controls[0].position, (TwipsRect{0, 0, 150, 100})); // height skipped
}

struct AnchorPosition : Fixture {};

TEST_F(AnchorPosition, EmptyRegStringNeitherReadsNorWrites) {
    host.left = 10;
    host.top = 20;
    store.Save("App", "Sec", "MainPos", "500|600");
    Init();
    EXPECT_EQ(host.left, 10);
    anchor.End();
    EXPECT_EQ(store.Get("App", "Sec", "MainPos"), "500|600");
}

TEST_F(AnchorPosition, RestoresAndSavesTheFormPosition) {
    store.Save("App", "Sec", "MainPos", "500|-600");
    anchor.RegString = "App,Sec,Main,0|0";
    Init();
    EXPECT_EQ(host.left, 500);
    EXPECT_EQ(host.top, -600);
    host.left = 1234.5;
    host.top = 15;
    anchor.End();
    EXPECT_EQ(store.Get("App", "Sec", "MainPos"), "1234.5|15");
    anchor.End(); // once only
}

TEST_F(AnchorPosition, DefaultValueWhenNothingIsStored) {
    anchor.RegString = "App,Sec,Main,300|450";
    Init();
    EXPECT_EQ(host.left, 300);
    EXPECT_EQ(host.top, 450);
}

TEST_F(AnchorPosition, MalformedValuesAndShortRegStringsLeaveThePlace) {
    host.left = 10;
    host.top = 20;
    for (const char* value : {"", "500", "x|600", "500|y", "500;600"}) {
        store.Save("App", "Sec", "MainPos", value);
        anchor.RegString = "App,Sec,Main,";
        anchor.DoInit(5190, 9180);
        EXPECT_EQ(host.left, 10) << value;
        EXPECT_EQ(host.top, 20) << value;
    }
    store.Save("App", "Sec", "MainPos", "1|2");
    anchor.RegString = "App,Sec,Main"; // no default part
    anchor.DoInit(5190, 9180);
    EXPECT_EQ(host.left, 10);
}

TEST_F(AnchorPosition, NotSavedWhenTheFormIsNotNormal) {
    anchor.RegString = "App,Sec,Main,0|0";
    Init();
    host.maximised = true;
    anchor.End();
    EXPECT_FALSE(store.Get("App", "Sec", "MainPos"));
}

} // namespace
} // namespace corvale
