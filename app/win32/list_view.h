#pragma once
// The list-control seam over a comctl32 report-style list view. Row and cell tags live in a side
// table keyed by each item's lParam, so they travel with their rows through a sort.
#include "platform/list_control.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace corvale::win32 {

class Win32ListView final : public ListControl {
  public:
    // hwnd: an existing list view in report mode (not owned).
    explicit Win32ListView(HWND hwnd) : hwnd_(hwnd) {}

    HWND Hwnd() const { return hwnd_; }
    // Adds a column header at the end (design-time setup).
    void AddColumn(std::string_view text, int widthPx);

    int RowCount() const override;
    int AddRow(std::string_view text) override;
    void RemoveRow(int row) override;
    void ClearRows() override;
    std::string RowText(int row) const override { return CellText(row, 0); }
    void SetRowText(int row, std::string_view text) override { SetCellText(row, 0, text); }
    std::string RowTag(int row) const override { return CellTag(row, 0); }
    void SetRowTag(int row, std::string_view tag) override { SetCellTag(row, 0, tag); }
    std::string CellText(int row, int cell) const override;
    void SetCellText(int row, int cell, std::string_view text) override;
    std::string CellTag(int row, int cell) const override;
    void SetCellTag(int row, int cell, std::string_view tag) override;

    int ColumnCount() const override;
    std::string ColumnText(int column) const override;
    void AutoSizeColumn(int columnIndex) override;

    int SortKey() const override { return sortKey_; }
    // Key and order take effect with the next sort (SetSorted or SortByText).
    void SetSortKey(int columnIndex) override { sortKey_ = columnIndex; }
    SortOrder GetSortOrder() const override { return order_; }
    void SetSortOrder(SortOrder order) override { order_ = order; }
    bool Sorted() const override { return sorted_; }
    void SetSorted(bool on) override;
    void SortByText() override;

    int SelectedRow() const override;
    void SetSelectedRow(int row) override;
    bool Visible() const override;
    void SetVisible(bool visible) override;
    void Redraw() override;

  private:
    struct RowTags {
        std::vector<std::string> tags; // [0] row tag, [k] tag of cell k
        int sortedPosition = 0;        // place in the order being applied
    };
    bool ValidCell(int row, int cell) const;
    LPARAM ItemKey(int index) const;
    RowTags* TagsOf(int row);
    const RowTags* TagsOf(int row) const;
    static int CALLBACK CompareItems(LPARAM a, LPARAM b, LPARAM self);

    HWND hwnd_;
    std::unordered_map<LPARAM, RowTags> tags_;
    LPARAM nextKey_ = 1;
    int sortKey_ = 0;
    SortOrder order_ = SortOrder::Ascending;
    bool sorted_ = false;
};

} // namespace corvale::win32
