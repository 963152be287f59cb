#include "app/ModSortListview.h"
#include "platform/ascii_text.h"

#include <cstddef>
#include <optional>

namespace corvale {
namespace {

constexpr std::size_t kKeyDigits = 30; // integer digits and decimal places of a key

struct DecimalNumber {
    bool negative = false;
    std::string intDigits;  // without leading zeros
    std::string fracDigits; // without trailing zeros
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool StartsWith(std::string_view s, std::size_t pos, std::string_view what) {
    return !what.empty() && s.substr(pos, what.size()) == what;
}

// A number as the locale writes it: optional sign, digits with group separators between them,
// optionally the decimal separator and more digits. Blanks around it are allowed.
std::optional<DecimalNumber> ParseLocaleNumber(std::string_view t, const NumberLocale& loc) {
    std::size_t i = 0, n = t.size();
    while (i < n && t[i] == ' ') ++i;
    while (n > i && t[n - 1] == ' ') --n;
    DecimalNumber num;
    if (i < n && (t[i] == '-' || t[i] == '+')) num.negative = t[i++] == '-';
    bool anyDigit = false, inFraction = false;
    while (i < n) {
        if (IsDigit(t[i])) {
            (inFraction ? num.fracDigits : num.intDigits) += t[i++];
            anyDigit = true;
        } else if (!inFraction && StartsWith(t, i, loc.decimal)) {
            inFraction = true;
            i += loc.decimal.size();
        } else if (!inFraction && anyDigit && StartsWith(t, i, loc.group) &&
                   i + loc.group.size() < n && IsDigit(t[i + loc.group.size()])) {
            i += loc.group.size();
        } else {
            return std::nullopt;
        }
    }
    if (!anyDigit) return std::nullopt;
    const std::size_t firstNonZero = num.intDigits.find_first_not_of('0');
    num.intDigits.erase(0, firstNonZero == std::string::npos ? num.intDigits.size() : firstNonZero);
    const std::size_t lastNonZero = num.fracDigits.find_last_not_of('0');
    num.fracDigits.erase(lastNonZero == std::string::npos ? 0 : lastNonZero + 1);
    if (num.intDigits.empty() && num.fracDigits.empty()) num.negative = false; // -0 is 0
    return num;
}

std::string MagnitudeKey(const DecimalNumber& num, const NumberLocale& loc) {
    std::string key;
    if (num.intDigits.size() > kKeyDigits) {
        key.assign(kKeyDigits, '9'); // beyond the key's range: the largest key
        key += loc.decimal;
        key.append(kKeyDigits, '9');
        return key;
    }
    key.assign(kKeyDigits - num.intDigits.size(), '0');
    key += num.intDigits;
    key += loc.decimal;
    key += num.fracDigits.substr(0, kKeyDigits);
    key.append(kKeyDigits - std::min(num.fracDigits.size(), kKeyDigits), '0');
    return key;
}

// Saving place of the displayed text during a numeric sort: text and previous tag joined by "|",
// with "\" and "|" inside them escaped so both come back exactly.
std::string Escape(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        if (c == '\\' || c == '|') out += '\\';
        out += c;
    }
    return out;
}

std::string SaveText(std::string_view text, std::string_view tag) {
    return Escape(text) + "|" + Escape(tag);
}

// Splits a saved tag back into text and previous tag; nothing when it is not one.
std::optional<std::pair<std::string, std::string>> RestoreText(std::string_view saved) {
    std::string parts[2];
    int part = 0;
    for (std::size_t i = 0; i < saved.size(); ++i) {
        const char c = saved[i];
        if (c == '\\' && i + 1 < saved.size()) {
            parts[part] += saved[++i];
        } else if (c == '|' && part == 0) {
            part = 1;
        } else if (c == '|' || c == '\\') {
            return std::nullopt;
        } else {
            parts[part] += c;
        }
    }
    if (part != 1) return std::nullopt;
    return std::make_pair(std::move(parts[0]), std::move(parts[1]));
}

void FlipUnlessKept(ListControl& list, bool keepDirection) {
    if (keepDirection) return;
    list.SetSortOrder(list.GetSortOrder() == SortOrder::Ascending ? SortOrder::Descending
                                                                  : SortOrder::Ascending);
}

std::string TextOf(const ListControl& list, int row, int cell) {
    return cell == 0 ? list.RowText(row) : list.CellText(row, cell);
}
std::string TagOf(const ListControl& list, int row, int cell) {
    return cell == 0 ? list.RowTag(row) : list.CellTag(row, cell);
}
void SetTextOf(ListControl& list, int row, int cell, std::string_view v) {
    cell == 0 ? list.SetRowText(row, v) : list.SetCellText(row, cell, v);
}
void SetTagOf(ListControl& list, int row, int cell, std::string_view v) {
    cell == 0 ? list.SetRowTag(row, v) : list.SetCellTag(row, cell, v);
}

} // namespace

std::string InvertDigits(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (IsDigit(c))
            c = static_cast<char>('9' - (c - '0'));
        else if (c == '-')
            c = ' ';
    }
    return out;
}

std::string NumberSortKey(std::string_view text, const NumberLocale& locale) {
    const std::string_view source = text.substr(0, text.find(' '));
    const auto num = ParseLocaleNumber(source, locale);
    if (!num) return {};
    if (!num->negative) return MagnitudeKey(*num, locale);
    std::string key = "&";
    key += InvertDigits(MagnitudeKey(*num, locale));
    return key;
}

void SortListView(ListControl& list, int columnIndex, std::string_view kind, bool keepDirection,
                  const NumberLocale& locale) {
    if (columnIndex < 1) return;
    const int cell = columnIndex - 1;
    if (kind != kSortNumber) {
        FlipUnlessKept(list, keepDirection);
        list.SetSortKey(cell);
        list.SetSorted(true);
        return;
    }
    const int rows = list.RowCount();
    for (int r = 1; r <= rows; ++r) {
        const std::string text = TextOf(list, r, cell);
        SetTagOf(list, r, cell, SaveText(text, TagOf(list, r, cell)));
        SetTextOf(list, r, cell, NumberSortKey(text, locale));
    }
    FlipUnlessKept(list, keepDirection);
    list.SetSortKey(cell);
    list.SetSorted(true);
    // Separate pass, so the displayed texts come back even if the sort did nothing.
    for (int r = 1; r <= list.RowCount(); ++r) {
        if (auto saved = RestoreText(TagOf(list, r, cell))) {
            SetTextOf(list, r, cell, saved->first);
            SetTagOf(list, r, cell, saved->second);
        }
    }
}

void OnColumnHeaderClick(ListControl& list, int columnIndex, const NumberLocale& locale) {
    // The process id and the host's memory are numbers: "PID Memory" is keyed on its size up to
    // the first blank, so 1,536.00 MB comes after 117.74 MB.
    const std::string header = list.ColumnText(columnIndex);
    const bool numeric =
        SameTextIgnoringCase(header, "pid") || SameTextIgnoringCase(header, "pid memory");
    SortListView(list, columnIndex, numeric ? kSortNumber : std::string_view(), false, locale);
}

} // namespace corvale
