#pragma once
// Sorting the service list by a column: text order through the list control, or numeric order
// through temporary fixed-width key texts.
#include "app/ModMain.h"
#include "platform/list_control.h"

#include <string>
#include <string_view>

namespace corvale {

inline constexpr std::string_view kSortNumber = "sNumber";

// Every digit d becomes 9 - d and every "-" a blank; other characters stay.
std::string InvertDigits(std::string_view text);

// The key text whose text order equals numeric order: of the text up to its first blank, if that
// is a number in the locale (group separators and the decimal separator accepted), 30 zero-filled
// integer digits, the decimal separator and 30 decimals; a negative number gives "&" followed by
// the inverted digits of its magnitude's key; anything else gives empty text.
std::string NumberSortKey(std::string_view text, const NumberLocale& locale = {});

// Sorts the list by the 1-based column: kind kSortNumber sorts numerically, empty kind by text.
// Unless keepDirection is set the direction flips first. After a numeric sort every cell of the
// column shows its text again and every tag holds its previous value, whatever they contain.
void SortListView(ListControl& list, int columnIndex, std::string_view kind, bool keepDirection,
                  const NumberLocale& locale = {});

// A click on the 1-based column header: "PID" (any letter case) sorts numerically, any other
// header by text; the direction flips with every click.
void OnColumnHeaderClick(ListControl& list, int columnIndex, const NumberLocale& locale = {});

} // namespace corvale
