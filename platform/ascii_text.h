#pragma once
// Letter case of plain ASCII names (property names, query keywords, headers): the system's own
// names are ASCII, so no locale is involved.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvale {

constexpr char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

inline std::string AsciiLowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = AsciiLower(c);
    return out;
}

constexpr bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

constexpr bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           SameTextIgnoringCase(text.substr(0, prefix.size()), prefix);
}

// Named values in a list of (name, value) pairs, the names compared ignoring case: the value
// of the first entry named `name`, or null.
template <class Entries> auto FindNamed(Entries& entries, std::string_view name) {
    decltype(&entries.begin()->second) found = nullptr;
    for (auto& [n, v] : entries)
        if (SameTextIgnoringCase(n, name)) return &v;
    return found;
}

// Replaces the value of the entry named `name`, or adds one at the end.
template <class Value>
void SetNamed(std::vector<std::pair<std::string, Value>>& entries, std::string_view name,
              Value value) {
    if (Value* v = FindNamed(entries, name))
        *v = std::move(value);
    else
        entries.emplace_back(std::string(name), std::move(value));
}

} // namespace corvale
