#include "platform/host/memory_list_control.h"
#include "platform/ascii_text.h"

#include <algorithm>

namespace corvale {

int CompareListText(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(AsciiLower(a[i]));
        const auto y = static_cast<unsigned char>(AsciiLower(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

MemoryListControl::MemoryListControl(std::vector<std::string> columnHeaders)
    : headers_(std::move(columnHeaders)), widths_(headers_.size(), 0) {}

MemoryListControl::Cell* MemoryListControl::At(int row, int column) {
    if (row < 1 || row > RowCount() || column < 0) return nullptr;
    if (column > 0 && column >= ColumnCount()) return nullptr; // no such column
    Row& r = rows_[static_cast<std::size_t>(row - 1)];
    if (static_cast<std::size_t>(column) >= r.cells.size())
        r.cells.resize(static_cast<std::size_t>(column) + 1);
    return &r.cells[static_cast<std::size_t>(column)];
}

const MemoryListControl::Cell* MemoryListControl::At(int row, int column) const {
    if (row < 1 || row > RowCount() || column < 0) return nullptr;
    const Row& r = rows_[static_cast<std::size_t>(row - 1)];
    if (static_cast<std::size_t>(column) >= r.cells.size()) return nullptr;
    return &r.cells[static_cast<std::size_t>(column)];
}

int MemoryListControl::RowCount() const {
    return static_cast<int>(rows_.size());
}

int MemoryListControl::AddRow(std::string_view text) {
    Row r;
    r.cells.push_back(Cell{std::string(text), {}});
    rows_.push_back(std::move(r));
    return RowCount();
}

void MemoryListControl::RemoveRow(int row) {
    if (row < 1 || row > RowCount()) return;
    rows_.erase(rows_.begin() + (row - 1));
    if (selected_ == row)
        selected_ = 0;
    else if (selected_ > row)
        --selected_;
}

void MemoryListControl::ClearRows() {
    rows_.clear();
    selected_ = 0;
}

std::string MemoryListControl::RowText(int row) const {
    const Cell* c = At(row, 0);
    return c ? c->text : std::string();
}
void MemoryListControl::SetRowText(int row, std::string_view text) {
    if (Cell* c = At(row, 0)) c->text = text;
}
std::string MemoryListControl::RowTag(int row) const {
    const Cell* c = At(row, 0);
    return c ? c->tag : std::string();
}
void MemoryListControl::SetRowTag(int row, std::string_view tag) {
    if (Cell* c = At(row, 0)) c->tag = tag;
}
std::string MemoryListControl::CellText(int row, int cell) const {
    const Cell* c = cell >= 1 ? At(row, cell) : nullptr;
    return c ? c->text : std::string();
}
void MemoryListControl::SetCellText(int row, int cell, std::string_view text) {
    if (Cell* c = cell >= 1 ? At(row, cell) : nullptr) c->text = text;
}
std::string MemoryListControl::CellTag(int row, int cell) const {
    const Cell* c = cell >= 1 ? At(row, cell) : nullptr;
    return c ? c->tag : std::string();
}
void MemoryListControl::SetCellTag(int row, int cell, std::string_view tag) {
    if (Cell* c = cell >= 1 ? At(row, cell) : nullptr) c->tag = tag;
}

int MemoryListControl::ColumnCount() const {
    return static_cast<int>(headers_.size());
}

std::string MemoryListControl::ColumnText(int column) const {
    if (column < 1 || column > ColumnCount()) return {};
    return headers_[static_cast<std::size_t>(column - 1)];
}

void MemoryListControl::AutoSizeColumn(int columnIndex) {
    if (columnIndex < 0 || columnIndex >= ColumnCount()) return;
    std::size_t w = headers_[static_cast<std::size_t>(columnIndex)].size();
    for (const Row& r : rows_)
        if (static_cast<std::size_t>(columnIndex) < r.cells.size())
            w = std::max(w, r.cells[static_cast<std::size_t>(columnIndex)].text.size());
    widths_[static_cast<std::size_t>(columnIndex)] = static_cast<int>(w);
}

int MemoryListControl::ColumnWidth(int columnIndex) const {
    if (columnIndex < 0 || columnIndex >= ColumnCount()) return 0;
    return widths_[static_cast<std::size_t>(columnIndex)];
}

void MemoryListControl::SetSorted(bool on) {
    sorted_ = on;
    if (on) SortByText();
}

void MemoryListControl::SortByText() {
    ++sorts_;
    const auto key = static_cast<std::size_t>(std::max(sortKey_, 0));
    const bool descending = order_ == SortOrder::Descending;
    const Row* selectedRow = selected_ ? &rows_[static_cast<std::size_t>(selected_ - 1)] : nullptr;
    std::vector<std::size_t> order(rows_.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    auto text = [&](std::size_t i) -> std::string_view {
        const Row& r = rows_[i];
        return key < r.cells.size() ? std::string_view(r.cells[key].text) : std::string_view();
    };
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const int c = CompareListText(text(a), text(b));
        return descending ? c > 0 : c < 0;
    });
    std::vector<Row> sorted;
    sorted.reserve(rows_.size());
    int newSelected = 0;
    for (std::size_t i : order) {
        if (selectedRow == &rows_[i]) newSelected = static_cast<int>(sorted.size()) + 1;
        sorted.push_back(std::move(rows_[i]));
    }
    rows_ = std::move(sorted);
    selected_ = newSelected;
}

void MemoryListControl::SetSelectedRow(int row) {
    selected_ = (row >= 1 && row <= RowCount()) ? row : 0;
}

} // namespace corvale
