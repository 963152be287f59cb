#include "platform/form_model.h"
#include "platform/host/memory_list_control.h"

#include <gtest/gtest.h>

namespace corvale {
namespace {

std::vector<std::string> Column(const ListControl& list, int cell) {
    std::vector<std::string> out;
    for (int r = 1; r <= list.RowCount(); ++r)
        out.push_back(cell == 0 ? list.RowText(r) : list.CellText(r, cell));
    return out;
}

TEST(MemoryListControl, SortsByTextIgnoringCaseAndKeepsEqualRowsInOrder) {
    MemoryListControl list({"Name", "Value"});
    for (auto [text, value] :
         {std::pair{"beta", "1"}, {"Alpha", "2"}, {"BETA", "3"}, {"alpha", "4"}, {"Zulu", "5"}}) {
        const int row = list.AddRow(text);
        list.SetCellText(row, 1, value);
    }
    list.SetSelectedRow(3); // "BETA"
    list.SetSorted(true);
    EXPECT_EQ(Column(list, 0),
              (std::vector<std::string>{"Alpha", "alpha", "beta", "BETA", "Zulu"}));
    EXPECT_EQ(Column(list, 1), (std::vector<std::string>{"2", "4", "1", "3", "5"}));
    EXPECT_EQ(list.SelectedRow(), 4); // selection follows its row
    list.SetSortOrder(SortOrder::Descending);
    list.SetSortKey(1);
    list.SortByText();
    EXPECT_EQ(Column(list, 1), (std::vector<std::string>{"5", "4", "3", "2", "1"}));
    EXPECT_LT(CompareListText("a", "B"), 0);
    EXPECT_LT(CompareListText("&9", "0"), 0);
    EXPECT_LT(CompareListText("", "&"), 0);
}

TEST(MemoryListControl, IgnoresIndicesOutsideRowsAndColumns) {
    MemoryListControl list({"A", "B"});
    list.AddRow("r");
    list.SetCellText(1, 1, "b");
    list.SetCellText(1, 2, "no such column");
    list.SetCellText(2, 1, "no such row");
    list.SetRowTag(0, "x");
    EXPECT_EQ(list.CellText(1, 2), "");
    EXPECT_EQ(list.CellText(1, 1), "b");
    EXPECT_EQ(list.RowText(2), "");
    EXPECT_EQ(list.ColumnText(0), "");
    EXPECT_EQ(list.ColumnText(2), "B");
    list.SetSelectedRow(1);
    list.RemoveRow(1);
    EXPECT_EQ(list.SelectedRow(), 0);
    EXPECT_EQ(list.RowCount(), 0);
}

TEST(PropertyBag, TypedReadsSayWhenAPropertyIsMissingOrOfAnotherType) {
    PropertyBag bag;
    bag.Set("MPointer", std::int16_t{99});
    bag.Set("Props", std::int32_t{5});
    bag.Set("Image", Bytes{1, 2, 3});
    bag.Set("Caption", std::string("x"));
    EXPECT_EQ(bag.GetInt16("mpointer"), 99);
    EXPECT_EQ(bag.GetInt32("MPointer"), 99); // widens
    EXPECT_FALSE(bag.GetInt16("Props"));     // does not narrow
    EXPECT_EQ(bag.GetInt32("Props"), 5);
    EXPECT_FALSE(bag.GetBool("Props"));
    EXPECT_FALSE(bag.GetInt32("Missing"));
    ASSERT_NE(bag.GetBytes("Image"), nullptr);
    EXPECT_EQ(bag.GetBytes("Image")->size(), 3u);
    EXPECT_EQ(bag.GetBytes("Caption"), nullptr);
    EXPECT_TRUE(bag.Remove("IMAGE"));
    EXPECT_FALSE(bag.Has("Image"));
}

TEST(Form, FindsControlsByNameAndArrayIndex) {
    auto make = [](std::string name, std::optional<std::int32_t> index,
                   std::optional<FontSpec> font) {
        Control c;
        c.name = std::move(name);
        c.index = index;
        c.font = std::move(font);
        return c;
    };
    Form f;
    f.controls.push_back(make("Label1", std::nullopt, std::nullopt));
    f.controls.push_back(make("Option", 0, std::nullopt));
    f.controls.push_back(make("Option", 1, FontSpec{"Tahoma", 8}));
    EXPECT_EQ(f.Find("label1"), &f.controls[0]);
    EXPECT_EQ(f.Find("Option", 1), &f.controls[2]);
    EXPECT_EQ(f.Find("Option"), nullptr);
    EXPECT_EQ(f.controls[2].DisplayName(), "Option(1)");
    EXPECT_EQ(f.FontOf(f.controls[0]).name, "Verdana");
    EXPECT_EQ(f.FontOf(f.controls[2]).name, "Tahoma");
    EXPECT_EQ(ControlKindFromName(ControlKindName(ControlKind::AlphaImage)),
              ControlKind::AlphaImage);
}

} // namespace
} // namespace corvale
