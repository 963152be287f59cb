#include "app/ModMain.h"
#include "app/ModSortListview.h"
#include "platform/host/memory_list_control.h"
#include "tests/app/app_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace corvale {
namespace {

Currency Bytes(std::int64_t n) {
    return *Currency::FromWhole(n);
}
std::string Mb(std::int64_t n, const NumberLocale& l = {}) {
    return FormatSizeText(Bytes(n), true, l);
}
std::string B(std::int64_t n, const NumberLocale& l = {}) {
    return FormatSizeText(Bytes(n), false, l);
}

TEST(FormatSizeText, MegabyteAndByteForms) {
    EXPECT_EQ(Mb(0), "00.00 MB");
    EXPECT_EQ(Mb(524288), "00.50 MB");
    EXPECT_EQ(Mb(5505024), "05.25 MB");
    EXPECT_EQ(Mb(123456789), "117.74 MB");
    EXPECT_EQ(Mb(1610612736), "1,536.00 MB");
    EXPECT_EQ(Mb(1048575), "01.00 MB"); // carries into the integer part
    EXPECT_EQ(Mb(922337203685477), "879,609,302.22 MB");
    EXPECT_EQ(B(123456789), "123,456,789");
    EXPECT_EQ(B(0), "0");
    EXPECT_EQ(B(999), "999");
    EXPECT_EQ(B(922337203685477), "922,337,203,685,477");
}

TEST(FormatSizeText, HalvesRoundToEven) {
    EXPECT_EQ(Mb(131072), "00.12 MB"); // exactly 0.125
    EXPECT_EQ(Mb(393216), "00.38 MB"); // exactly 0.375
    EXPECT_EQ(FormatSizeText(Currency::FromScaled(25000), false), "2");
    EXPECT_EQ(FormatSizeText(Currency::FromScaled(35000), false), "4");
}

TEST(FormatSizeText, NegativeValuesUndoAThirtyTwoBitWrap) {
    EXPECT_EQ(B(-1), "4,294,967,295");
    EXPECT_EQ(Mb(-1), "4,096.00 MB");
    EXPECT_EQ(B(-2147483648), "2,147,483,648");
    EXPECT_EQ(B(-4294967297), "-1"); // beyond one wrap stays negative
}

TEST(FormatSizeText, UsesTheLocaleSeparators) {
    const NumberLocale german{",", "."};
    EXPECT_EQ(Mb(1610612736, german), "1.536,00 MB");
    EXPECT_EQ(B(123456789, german), "123.456.789");
    const NumberLocale french{",", "\u00a0"};
    EXPECT_EQ(Mb(1610612736, french), "1\u00a0536,00 MB");
}

TEST(AutoSizeListViewColumns, FitsEveryColumnAndRedraws) {
    MemoryListControl list({"PID", "Service"});
    const int row = list.AddRow("123456");
    list.SetCellText(row, 1, "x");
    AutoSizeListViewColumns(list);
    EXPECT_EQ(list.ColumnWidth(0), 6);
    EXPECT_EQ(list.ColumnWidth(1), 7);
    EXPECT_EQ(list.RedrawCount(), 1);
    MemoryListControl none;
    AutoSizeListViewColumns(none);
    EXPECT_EQ(none.RedrawCount(), 1);
}

TEST(RemoveListDuplicates, KeepsFirstOccurrencesInOrder) {
    std::vector<std::string> ids{"4", "88", "4", "4", "1000", "88", "a", "A", "4"};
    RemoveListDuplicates(ids);
    EXPECT_EQ(ids, (std::vector<std::string>{"4", "88", "1000", "a", "A"}));
    std::vector<std::string> empty;
    RemoveListDuplicates(empty);
    EXPECT_TRUE(empty.empty());
}

TEST(NumberSortKey, KeysOrderAsNumbers) {
    const std::string zeros30(30, '0');
    EXPECT_EQ(NumberSortKey("1234"), std::string(26, '0') + "1234." + zeros30);
    EXPECT_EQ(NumberSortKey("0"), zeros30 + "." + zeros30);
    EXPECT_EQ(NumberSortKey("-5"),
              std::string("&") + std::string(29, '9') + "4." + std::string(30, '9'));
    EXPECT_EQ(NumberSortKey("abc"), "");
    EXPECT_EQ(NumberSortKey(""), "");
    EXPECT_EQ(NumberSortKey("-0"), NumberSortKey("0"));
    EXPECT_EQ(NumberSortKey("1,536.25 MB"),
              std::string(26, '0') + "1536.25" + std::string(28, '0'));
    EXPECT_EQ(NumberSortKey("1.536,25 MB", {",", "."}),
              std::string(26, '0') + "1536,25" + std::string(28, '0'));
    EXPECT_EQ(NumberSortKey("1,,5"), "");
    EXPECT_EQ(InvertDigits("0123456789-x."), "9876543210 x.");
    // Larger magnitudes of negative numbers come first.
    EXPECT_LT(NumberSortKey("-10"), NumberSortKey("-9"));
    EXPECT_LT(NumberSortKey("-0.5"), NumberSortKey("0"));
    EXPECT_LT(NumberSortKey("9"), NumberSortKey("10"));
}

class SortTest : public ::testing::Test {
  protected:
    MemoryListControl list{{"Service Display Name", "Service", "PID", "PID Memory", "Path"}};
    void Add(std::string name, std::string pid, std::string memory) {
        const int r = list.AddRow(name);
        list.SetCellText(r, 2, pid);
        list.SetCellText(r, 3, memory);
    }
    std::vector<std::string> Col(int cell) { return test_support::ColumnTexts(list, cell); }
};

TEST_F(SortTest, PidColumnSortsNumericallyInBothDirections) {
    Add("a", "1234", "");
    Add("b", "4", "");
    Add("c", "1000", "");
    Add("d", "88", "");
    list.SetCellTag(1, 2, "kept");
    OnColumnHeaderClick(list, 3); // first click flips the initial ascending order
    EXPECT_EQ(Col(2), (std::vector<std::string>{"1234", "1000", "88", "4"}));
    OnColumnHeaderClick(list, 3);
    EXPECT_EQ(Col(2), (std::vector<std::string>{"4", "88", "1000", "1234"}));
    EXPECT_EQ(Col(0), (std::vector<std::string>{"b", "d", "c", "a"}));
    EXPECT_EQ(list.CellTag(4, 2), "kept");
    EXPECT_EQ(list.SortKey(), 2);
    EXPECT_TRUE(list.Sorted());
}

TEST_F(SortTest, MemorySortsBySizeOtherColumnsAsTextDirectionFlipsAcrossColumns) {
    Add("x", "1", "117.74 MB");
    Add("y", "2", "1,536.00 MB");
    Add("z", "3", "05.25 MB");
    Add("w", "4", "");
    OnColumnHeaderClick(list, 4); // first click: descending
    EXPECT_EQ(Col(3), (std::vector<std::string>{"1,536.00 MB", "117.74 MB", "05.25 MB", ""}));
    OnColumnHeaderClick(list, 1); // flips to ascending, as text
    EXPECT_EQ(Col(0), (std::vector<std::string>{"w", "x", "y", "z"}));
}

TEST_F(SortTest, NumericSortGivesBackTextsAndTagsExactly) {
    const std::vector<std::string> texts{"7|x", "3", "\\|", "", "-2 | 5"};
    const std::vector<std::string> tags{"a|b|c", "", "\\", "|", "t"};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const int r = list.AddRow(texts[i]);
        list.SetRowTag(r, tags[i]);
        list.SetCellTag(r, 1, "other column");
    }
    SortListView(list, 1, kSortNumber, true);
    // Empty keys for the non-numbers first (in their order), then -2 and 3.
    EXPECT_EQ(Col(0), (std::vector<std::string>{"7|x", "\\|", "", "-2 | 5", "3"}));
    for (int r = 1; r <= list.RowCount(); ++r) {
        const auto i = static_cast<std::size_t>(
            std::find(texts.begin(), texts.end(), list.RowText(r)) - texts.begin());
        ASSERT_LT(i, texts.size());
        EXPECT_EQ(list.RowTag(r), tags[i]) << list.RowText(r);
        EXPECT_EQ(list.CellTag(r, 1), "other column");
    }
}

TEST_F(SortTest, EmptyListSorts) {
    SortListView(list, 3, kSortNumber, false);
    SortListView(list, 0, "", false); // no such column: nothing happens
    EXPECT_EQ(list.RowCount(), 0);
    EXPECT_EQ(list.SortCount(), 1);
}

} // namespace
} // namespace corvale
