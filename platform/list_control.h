#pragma once
// The report-style list control seam. Rows are 1-based, as in the list control's object model;
// a row's cells are 1-based too and cell k holds column k + 1 (column 1 is the row text).
// Column headers are 1-based; the sort column is 0-based. Out-of-range indices are ignored by
// setters and read as empty text.
#include <memory>
#include <string>
#include <string_view>

namespace corvale {

enum class SortOrder { Ascending = 0, Descending = 1 };

class ListControl {
  public:
    virtual ~ListControl() = default;

    // Rows
    virtual int RowCount() const = 0;
    // Appends a row (arrival order, also in sorted mode); returns its 1-based index.
    virtual int AddRow(std::string_view text) = 0;
    virtual void RemoveRow(int row) = 0;
    virtual void ClearRows() = 0;
    virtual std::string RowText(int row) const = 0;
    virtual void SetRowText(int row, std::string_view text) = 0;
    virtual std::string RowTag(int row) const = 0;
    virtual void SetRowTag(int row, std::string_view tag) = 0;
    virtual std::string CellText(int row, int cell) const = 0;
    virtual void SetCellText(int row, int cell, std::string_view text) = 0;
    virtual std::string CellTag(int row, int cell) const = 0;
    virtual void SetCellTag(int row, int cell, std::string_view tag) = 0;

    // Column headers
    virtual int ColumnCount() const = 0;
    virtual std::string ColumnText(int column) const = 0;
    // Fits the 0-based column to the wider of its longest entry and its header text.
    virtual void AutoSizeColumn(int columnIndex) = 0;

    // Sorting: the control orders rows by the text of the sort column, without regard to letter
    // case, keeping rows with equal texts in their order.
    virtual int SortKey() const = 0; // 0-based column
    virtual void SetSortKey(int columnIndex) = 0;
    virtual SortOrder GetSortOrder() const = 0;
    virtual void SetSortOrder(SortOrder order) = 0;
    virtual bool Sorted() const = 0;
    // Switching sorted mode on (also when it is already on) sorts the rows at once.
    virtual void SetSorted(bool on) = 0;
    // Reorders the rows by the sort column's text in the sort order now.
    virtual void SortByText() = 0;

    // Selection (0 = no row selected), visibility and redraw
    virtual int SelectedRow() const = 0;
    virtual void SetSelectedRow(int row) = 0;
    virtual bool Visible() const = 0;
    virtual void SetVisible(bool visible) = 0;
    virtual void Redraw() = 0;
};

// Text order of the in-memory list control: letter case ignored (ASCII letters), then byte
// order. Negative, zero or positive like strcmp. (The Windows list orders by the user's locale.)
int CompareListText(std::string_view a, std::string_view b);

} // namespace corvale
