#pragma once
// Display formatting, the host-id list and the report text of the service-host inspector.
#include "platform/currency.h"
#include "platform/list_control.h"
#include "platform/ui_seams.h"

#include <string>
#include <string_view>
#include <vector>

namespace corvale {

// The separators of the user's locale (UTF-8 texts; English by default).
struct NumberLocale {
    std::string decimal = ".";
    std::string group = ",";
};

// A byte count as text. Megabyte form: "###,###,#00.00 MB" (value / 1048576, two decimals, at
// least two integer digits); byte form: "###,###,###,###,###,##0". A negative value is taken as a
// count that wrapped around in a signed 32-bit field and 2^32 is added first. Rounding to the last
// shown digit is half-to-even on the exact value (so 1048575 bytes give "01.00 MB").
std::string FormatSizeText(Currency value, bool megabytes, const NumberLocale& locale = {});

// Fits every column to the wider of its longest entry and its header, then redraws the list.
void AutoSizeListViewColumns(ListControl& list);

// Removes every later repeat of an entry (exact, case-sensitive equality); the first occurrence
// of each value keeps its place.
void RemoveListDuplicates(std::vector<std::string>& entries);

// The plain-text report of the list's rows in display order: per row a separator, five labelled
// lines and another separator, each ended by CR LF.
std::string BuildReportText(const ListControl& list);

// Writes the report to the file (created or replaced). False when it could not be written.
bool SaveListToFile(std::string_view path, const ListControl& list, FileWriter& writer);

// Puts the report on the clipboard. False when the clipboard could not be used.
bool CopyListToClipboard(const ListControl& list, Clipboard& clipboard);

} // namespace corvale
