#pragma once
// A reader for the few query shapes the program sends:
//   SELECT * FROM <class>
//   SELECT * FROM <class> WHERE <property> = <value>
// Keywords ignore letter case; the value is quoted with " or ' (or a bare number).
#include <optional>
#include <string>
#include <string_view>

namespace corvale {

struct WqlQuery {
    std::string className;
    std::optional<std::string> whereProperty; // set together with whereValue
    std::string whereValue;
};

struct WqlParseResult {
    std::optional<WqlQuery> query;
    std::string error; // why the text was refused; empty when query is set
};

WqlParseResult ParseWql(std::string_view text);

} // namespace corvale
