#include "app/win32/list_view.h"

#include "platform/win32/com.h"
#include "platform/win32/dpi.h"
#include "platform/win32/gdi_handles.h"

#include <commctrl.h>

#include <algorithm>

namespace corvale::win32 {
namespace {

// Longest text read back from a cell; longer ones are cut (paths are far shorter).
constexpr int kMaxCellChars = 32768;

std::wstring ReadItemText(HWND hwnd, int index, int subItem) {
    std::wstring buf(1024, L'\0');
    for (;;) {
        LVITEMW item{};
        item.iSubItem = subItem;
        item.pszText = buf.data();
        item.cchTextMax = static_cast<int>(buf.size());
        const auto n = static_cast<int>(
            SendMessageW(hwnd, LVM_GETITEMTEXTW, index, reinterpret_cast<LPARAM>(&item)));
        if (n < static_cast<int>(buf.size()) - 1 || buf.size() >= kMaxCellChars) {
            buf.resize(static_cast<std::size_t>(n < 0 ? 0 : n));
            return buf;
        }
        buf.assign(buf.size() * 2, L'\0');
    }
}

// The order of the system's list view: the user's locale, letter case ignored (so "événements"
// sits beside "Événements", both before "Zeta"). Texts the comparison cannot take are put in
// code-unit order.
int CompareForUser(const std::wstring& a, const std::wstring& b) {
    const int r = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(),
                                 static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()));
    if (r != 0) return r - CSTR_EQUAL;
    return a.compare(b);
}

} // namespace

void Win32ListView::AddColumn(std::string_view text, int widthPx) {
    std::wstring w = WideFromUtf8(text);
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    col.pszText = w.data();
    col.cx = widthPx;
    col.iSubItem = ColumnCount();
    SendMessageW(hwnd_, LVM_INSERTCOLUMNW, col.iSubItem, reinterpret_cast<LPARAM>(&col));
}

int Win32ListView::RowCount() const {
    return static_cast<int>(SendMessageW(hwnd_, LVM_GETITEMCOUNT, 0, 0));
}

int Win32ListView::AddRow(std::string_view text) {
    std::wstring w = WideFromUtf8(text);
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = RowCount();
    item.pszText = w.data();
    item.lParam = nextKey_;
    const auto index =
        static_cast<int>(SendMessageW(hwnd_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (index < 0) return 0;
    tags_[nextKey_++] = RowTags{};
    return index + 1;
}

void Win32ListView::RemoveRow(int row) {
    if (row < 1 || row > RowCount()) return;
    tags_.erase(ItemKey(row - 1));
    SendMessageW(hwnd_, LVM_DELETEITEM, row - 1, 0);
}

void Win32ListView::ClearRows() {
    SendMessageW(hwnd_, LVM_DELETEALLITEMS, 0, 0);
    tags_.clear();
}

bool Win32ListView::ValidCell(int row, int cell) const {
    return row >= 1 && row <= RowCount() && cell >= 0 && cell < ColumnCount();
}

LPARAM Win32ListView::ItemKey(int index) const {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    if (!SendMessageW(hwnd_, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return 0;
    return item.lParam;
}

Win32ListView::RowTags* Win32ListView::TagsOf(int row) {
    auto it = tags_.find(ItemKey(row - 1));
    return it == tags_.end() ? nullptr : &it->second;
}

const Win32ListView::RowTags* Win32ListView::TagsOf(int row) const {
    auto it = tags_.find(ItemKey(row - 1));
    return it == tags_.end() ? nullptr : &it->second;
}

std::string Win32ListView::CellText(int row, int cell) const {
    if (!ValidCell(row, cell)) return {};
    return Utf8FromWide(ReadItemText(hwnd_, row - 1, cell));
}

void Win32ListView::SetCellText(int row, int cell, std::string_view text) {
    if (!ValidCell(row, cell)) return;
    std::wstring w = WideFromUtf8(text);
    LVITEMW item{};
    item.iSubItem = cell;
    item.pszText = w.data();
    SendMessageW(hwnd_, LVM_SETITEMTEXTW, row - 1, reinterpret_cast<LPARAM>(&item));
}

std::string Win32ListView::CellTag(int row, int cell) const {
    if (!ValidCell(row, cell)) return {};
    const RowTags* t = TagsOf(row);
    if (!t || static_cast<std::size_t>(cell) >= t->tags.size()) return {};
    return t->tags[static_cast<std::size_t>(cell)];
}

void Win32ListView::SetCellTag(int row, int cell, std::string_view tag) {
    if (!ValidCell(row, cell)) return;
    RowTags* t = TagsOf(row);
    if (!t) return;
    if (t->tags.size() <= static_cast<std::size_t>(cell))
        t->tags.resize(static_cast<std::size_t>(cell) + 1);
    t->tags[static_cast<std::size_t>(cell)] = std::string(tag);
}

int Win32ListView::ColumnCount() const {
    const auto header = reinterpret_cast<HWND>(SendMessageW(hwnd_, LVM_GETHEADER, 0, 0));
    return header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

std::string Win32ListView::ColumnText(int column) const {
    if (column < 1 || column > ColumnCount()) return {};
    wchar_t buf[260] = {};
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT;
    col.pszText = buf;
    col.cchTextMax = 260;
    if (!SendMessageW(hwnd_, LVM_GETCOLUMNW, column - 1, reinterpret_cast<LPARAM>(&col))) return {};
    return Utf8FromWide(buf);
}

void Win32ListView::AutoSizeColumn(int columnIndex) {
    if (columnIndex < 0 || columnIndex >= ColumnCount()) return;
    SendMessageW(hwnd_, LVM_SETCOLUMNWIDTH, columnIndex, LVSCW_AUTOSIZE_USEHEADER);
    // Some list controls measure the header text without the padding the header draws around
    // it: make sure the whole header text shows.
    const auto header = reinterpret_cast<HWND>(SendMessageW(hwnd_, LVM_GETHEADER, 0, 0));
    if (!header) return;
    const std::wstring text = WideFromUtf8(ColumnText(columnIndex + 1));
    SIZE size{};
    {
        WindowDc dc(header);
        if (!dc.get()) return;
        Selection font(dc.get(), reinterpret_cast<HGDIOBJ>(SendMessageW(header, WM_GETFONT, 0, 0)));
        if (!GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &size))
            return;
    }
    const int needed = size.cx + ScaleForDpi(16, SystemDpi());
    const auto width = static_cast<int>(SendMessageW(hwnd_, LVM_GETCOLUMNWIDTH, columnIndex, 0));
    if (width < needed) SendMessageW(hwnd_, LVM_SETCOLUMNWIDTH, columnIndex, needed);
}

void Win32ListView::SetSorted(bool on) {
    sorted_ = on;
    if (on) SortByText();
}

int CALLBACK Win32ListView::CompareItems(LPARAM a, LPARAM b, LPARAM selfParam) {
    // a and b are the items' keys; their places were decided before the control started.
    auto* self = reinterpret_cast<Win32ListView*>(selfParam);
    const auto ra = self->tags_.find(a), rb = self->tags_.find(b);
    const int pa = ra == self->tags_.end() ? 0 : ra->second.sortedPosition;
    const int pb = rb == self->tags_.end() ? 0 : rb->second.sortedPosition;
    return pa < pb ? -1 : (pa > pb ? 1 : 0);
}

void Win32ListView::SortByText() {
    if (sortKey_ < 0 || sortKey_ >= ColumnCount()) return;
    // The order is worked out on a snapshot of the column (the user's text order, equal texts
    // in their present order) and handed to the control as each item's place. The control's
    // callback then never has to read items while it is moving them.
    struct Entry {
        LPARAM key;
        std::wstring text;
    };
    const int n = RowCount();
    std::vector<Entry> rows;
    rows.reserve(static_cast<std::size_t>(n));
    for (int row = 1; row <= n; ++row)
        rows.push_back({ItemKey(row - 1), ReadItemText(hwnd_, row - 1, sortKey_)});
    const bool descending = order_ == SortOrder::Descending;
    std::stable_sort(rows.begin(), rows.end(), [descending](const Entry& x, const Entry& y) {
        const int c = CompareForUser(x.text, y.text);
        return descending ? c > 0 : c < 0;
    });
    for (std::size_t i = 0; i < rows.size(); ++i) {
        auto it = tags_.find(rows[i].key);
        if (it != tags_.end()) it->second.sortedPosition = static_cast<int>(i);
    }
    SendMessageW(hwnd_, LVM_SORTITEMS, reinterpret_cast<WPARAM>(this),
                 reinterpret_cast<LPARAM>(&CompareItems));
}

int Win32ListView::SelectedRow() const {
    const auto index = static_cast<int>(
        SendMessageW(hwnd_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    return index < 0 ? 0 : index + 1;
}

void Win32ListView::SetSelectedRow(int row) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = 0;
    SendMessageW(hwnd_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    if (row < 1 || row > RowCount()) return;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(hwnd_, LVM_SETITEMSTATE, row - 1, reinterpret_cast<LPARAM>(&item));
    SendMessageW(hwnd_, LVM_ENSUREVISIBLE, row - 1, FALSE);
}

bool Win32ListView::Visible() const {
    return (GetWindowLongPtrW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0;
}

void Win32ListView::SetVisible(bool visible) {
    ShowWindow(hwnd_, visible ? SW_SHOW : SW_HIDE);
}

void Win32ListView::Redraw() {
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

} // namespace corvale::win32
