#include "controls/anchor_page.h"

#include <gtest/gtest.h>

namespace corvale {
namespace {

Control Make(std::string name, ControlKind kind, std::string tag, bool positioned,
             std::optional<std::int32_t> index = std::nullopt) {
    Control c;
    c.name = std::move(name);
    c.kind = kind;
    c.tag = std::move(tag);
    c.index = index;
    if (positioned) c.position = TwipsRect{10, 20, 300, 200};
    return c;
}

struct AnchorPage : ::testing::Test {
    Form form;
    ppAnchors page{form};
    AnchorPage() {
        form.controls.push_back(Make("Label1", ControlKind::Label, "", true));
        form.controls.push_back(Make("Command1", ControlKind::CommandButton, "TTFF*/own", true));
        form.controls.push_back(Make("Timer1", ControlKind::Timer, "TTTT*/tick", false));
        form.controls.push_back(Make("Opt", ControlKind::CommandButton, "TTFF*/", true, 1));
        form.controls.push_back(Make("Opt", ControlKind::CommandButton, "FFTT*/", true, 2));
        form.controls.push_back(Make("Note", ControlKind::Label, "ab*/c", true));
        form.controls.push_back(Make("Anchor1", ControlKind::Anchor, "", false));
        page.SelectionChanged();
    }
    std::string Bars() const {
        std::string s;
        for (int j = 0; j < 4; ++j) s += page.SideColor(j) == kSideAnchored ? 'B' : 'W';
        return s;
    }
};

TEST_F(AnchorPage, FillingListsPositionedControlsAndSettlesTheirCodes) {
    EXPECT_EQ(page.Entries(),
              (std::vector<std::string>{"Label1", "Command1", "Opt(1)", "Opt(2)", "Note"}));
    EXPECT_EQ(form.Find("Label1")->tag, "TTFF*/");
    EXPECT_EQ(form.Find("Command1")->tag, "TTFF*/own");
    EXPECT_EQ(form.Find("Timer1")->tag, "tick"); // a control that cannot move loses its code
    // "*/" that is not right after four letters is the control's own text, as DoInit reads it.
    EXPECT_EQ(form.Find("Note")->tag, "TTFF*/ab*/c");
    // Opening the page again changes nothing more.
    page.SelectionChanged();
    EXPECT_EQ(form.Find("Label1")->tag, "TTFF*/");
    EXPECT_EQ(form.Find("Timer1")->tag, "tick");
}

TEST_F(AnchorPage, NewControlShowsLeftAndTopAnchored) {
    page.SelectEntry(0);
    EXPECT_EQ(Bars(), "BBWW");
    EXPECT_FALSE(page.Changed());
}

TEST_F(AnchorPage, ClickingRightAndBottomThenApplyWritesTTTT) {
    page.SelectEntry(1);
    page.ToggleSide(2);
    page.ToggleSide(3);
    EXPECT_TRUE(page.Changed());
    EXPECT_EQ(page.BarCode(), "TTTT");
    ASSERT_TRUE(page.Apply());
    EXPECT_EQ(form.Find("Command1")->tag, "TTTT*/own");
    // A second click frees the edge again.
    page.ToggleSide(0);
    ASSERT_TRUE(page.Apply());
    EXPECT_EQ(form.Find("Command1")->tag, "FTTT*/own");
}

TEST_F(AnchorPage, ArrayMemberIsMatchedByNameAndIndex) {
    page.SelectEntry(3); // "Opt(2)"
    EXPECT_EQ(Bars(), "WWBB");
    page.ToggleSide(0);
    ASSERT_TRUE(page.Apply());
    EXPECT_EQ(form.Find("Opt", 2)->tag, "TFTT*/");
    EXPECT_EQ(form.Find("Opt", 1)->tag, "TTFF*/");
    EXPECT_EQ(page.ControlOfEntry("Opt(1)"), form.Find("Opt", 1));
    EXPECT_EQ(page.ControlOfEntry("Op"), nullptr);
    EXPECT_EQ(page.ControlOfEntry("Timer1"), nullptr); // not on the page
}

TEST_F(AnchorPage, ApplyWithNothingSelectedChangesNothing) {
    const Form before = form;
    page.ToggleSide(1);
    EXPECT_FALSE(page.Apply());
    page.SelectEntry(99);
    EXPECT_FALSE(page.Apply());
    for (std::size_t i = 0; i < form.controls.size(); ++i)
        EXPECT_EQ(form.controls[i].tag, before.controls[i].tag);
}

TEST_F(AnchorPage, AnyColourButWhiteTogglesToWhite) {
    page.SetSideColor(1, 0x8000000F);
    page.ToggleSide(1);
    EXPECT_EQ(page.SideColor(1), kSideFree);
    page.ToggleSide(1);
    EXPECT_EQ(page.SideColor(1), kSideAnchored);
}

} // namespace
} // namespace corvale
