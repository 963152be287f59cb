#include "app/ModMain.h"

#include <cstdint>

namespace corvale {
namespace {

constexpr std::int64_t kTwoPow32 = 4294967296LL;
constexpr std::int64_t kBytesPerMegabyte = 1048576;

// Rounds num * mul / den to the nearest whole number, halves to even, without overflow for any
// 64-bit num (mul and den are small enough that (den - 1) * mul fits).
std::uint64_t MulDivRoundHalfEven(std::uint64_t num, std::uint64_t mul, std::uint64_t den) {
    const std::uint64_t q = num / den, r = num % den;
    std::uint64_t result = q * mul + (r * mul) / den;
    const std::uint64_t twiceRest = ((r * mul) % den) * 2;
    if (twiceRest > den || (twiceRest == den && (result % 2) != 0)) ++result;
    return result;
}

// Digits of a number, at least minDigits long (zero-filled), grouped in thousands.
std::string GroupedDigits(std::uint64_t v, std::size_t minDigits, const std::string& group) {
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(v % 10)));
        v /= 10;
    } while (v != 0);
    while (digits.size() < minDigits) digits.insert(digits.begin(), '0');
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0) out += group;
        out += digits[i];
    }
    return out;
}

} // namespace

std::string FormatSizeText(Currency value, bool megabytes, const NumberLocale& locale) {
    std::int64_t scaled = value.scaled;
    // A negative count is a 32-bit wrap: undo it. Cannot overflow, scaled is negative.
    if (scaled < 0) scaled += kTwoPow32 * Currency::kScale;
    const std::uint64_t magnitude =
        scaled < 0 ? 0 - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
    std::string body;
    std::uint64_t rounded = 0;
    if (megabytes) {
        rounded = MulDivRoundHalfEven(magnitude, 100,
                                      static_cast<std::uint64_t>(kBytesPerMegabyte) *
                                          Currency::kScale); // hundredths of a megabyte
        body = GroupedDigits(rounded / 100, 2, locale.group) + locale.decimal;
        body += static_cast<char>('0' + static_cast<int>(rounded % 100 / 10));
        body += static_cast<char>('0' + static_cast<int>(rounded % 10));
        body += " MB";
    } else {
        rounded = MulDivRoundHalfEven(magnitude, 1, Currency::kScale);
        body = GroupedDigits(rounded, 1, locale.group);
    }
    return (scaled < 0 && rounded != 0) ? "-" + body : body;
}

void AutoSizeListViewColumns(ListControl& list) {
    const int n = list.ColumnCount();
    for (int i = 0; i < n; ++i) list.AutoSizeColumn(i);
    list.Redraw();
}

void RemoveListDuplicates(std::vector<std::string>& entries) {
    // Same effect as comparing every pair and deleting later repeats, kept linear in the number of
    // entries times the number of distinct values.
    std::vector<std::string> kept;
    kept.reserve(entries.size());
    for (std::string& e : entries) {
        bool seen = false;
        for (const std::string& k : kept)
            if (k == e) {
                seen = true;
                break;
            }
        if (!seen) kept.push_back(std::move(e));
    }
    entries = std::move(kept);
}

std::string BuildReportText(const ListControl& list) {
    static const std::string kSeparator = std::string(62, '-') + "\r\n";
    std::string out;
    const int rows = list.RowCount();
    for (int r = 1; r <= rows; ++r) {
        out += kSeparator;
        out += "Service Display Name: " + list.RowText(r) + "\r\n";
        out += "Service: " + list.CellText(r, 1) + "\r\n";
        out += "PID: " + list.CellText(r, 2) + "\r\n";
        out += "PID Memory: " + list.CellText(r, 3) + "\r\n";
        out += "Path: " + list.CellText(r, 4) + "\r\n";
        out += kSeparator;
    }
    return out;
}

bool SaveListToFile(std::string_view path, const ListControl& list, FileWriter& writer) {
    return writer.WriteTextFile(path, BuildReportText(list));
}

bool CopyListToClipboard(const ListControl& list, Clipboard& clipboard) {
    return clipboard.SetText(BuildReportText(list));
}

} // namespace corvale
