#pragma once
// Files compiled into a program by corvale_embed() (see cmake/corvale.cmake).
#include <cstddef>
#include <span>
#include <string_view>

namespace corvale::embedded {

struct Entry {
    std::string_view name; // path relative to the embedded folder, '/' separated
    std::span<const unsigned char> bytes;
};
using Table = std::span<const Entry>;

// The bytes of the named file, or an empty span when the table has no such file.
inline std::span<const unsigned char> Find(Table table, std::string_view name) {
    for (const Entry& e : table)
        if (e.name == name) return e.bytes;
    return {};
}

} // namespace corvale::embedded

// Declares a table made by corvale_embed(... NAME name ...).
#define CORVALE_EMBEDDED_TABLE(name)                                                               \
    namespace corvale::embedded {                                                                  \
    extern const Table name;                                                                       \
    }
