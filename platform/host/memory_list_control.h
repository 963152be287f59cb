#pragma once
// In-memory list control: what the tests, benchmarks and the fixture program drive.
#include "platform/list_control.h"

#include <string>
#include <vector>

namespace corvale {

class MemoryListControl final : public ListControl {
  public:
    explicit MemoryListControl(std::vector<std::string> columnHeaders = {});

    int RowCount() const override;
    int AddRow(std::string_view text) override;
    void RemoveRow(int row) override;
    void ClearRows() override;
    std::string RowText(int row) const override;
    void SetRowText(int row, std::string_view text) override;
    std::string RowTag(int row) const override;
    void SetRowTag(int row, std::string_view tag) override;
    std::string CellText(int row, int cell) const override;
    void SetCellText(int row, int cell, std::string_view text) override;
    std::string CellTag(int row, int cell) const override;
    void SetCellTag(int row, int cell, std::string_view tag) override;

    int ColumnCount() const override;
    std::string ColumnText(int column) const override;
    void AutoSizeColumn(int columnIndex) override;

    int SortKey() const override { return sortKey_; }
    void SetSortKey(int columnIndex) override { sortKey_ = columnIndex; }
    SortOrder GetSortOrder() const override { return order_; }
    void SetSortOrder(SortOrder order) override { order_ = order; }
    bool Sorted() const override { return sorted_; }
    void SetSorted(bool on) override;
    void SortByText() override;

    int SelectedRow() const override { return selected_; }
    void SetSelectedRow(int row) override;
    bool Visible() const override { return visible_; }
    void SetVisible(bool visible) override { visible_ = visible; }
    void Redraw() override { ++redraws_; }

    // Inspection for tests: width in characters a column was last fitted to (0 = never),
    // number of redraws, number of text sorts.
    int ColumnWidth(int columnIndex) const;
    int RedrawCount() const { return redraws_; }
    int SortCount() const { return sorts_; }

  private:
    struct Cell {
        std::string text, tag;
    };
    struct Row {
        std::vector<Cell> cells; // [0] is the row itself
    };
    Cell* At(int row, int column);
    const Cell* At(int row, int column) const;

    std::vector<std::string> headers_;
    std::vector<int> widths_;
    std::vector<Row> rows_;
    int sortKey_ = 0;
    SortOrder order_ = SortOrder::Ascending;
    bool sorted_ = false;
    int selected_ = 0;
    bool visible_ = true;
    int redraws_ = 0;
    int sorts_ = 0;
};

} // namespace corvale
