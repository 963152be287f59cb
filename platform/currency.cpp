#include "platform/currency.h"

#include <cstddef>

namespace corvale {

std::optional<Currency> Currency::Parse(std::string_view text) {
    std::size_t i = 0, n = text.size();
    while (i < n && text[i] == ' ') ++i;
    while (n > i && text[n - 1] == ' ') --n;
    bool negative = false;
    if (i < n && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    // Accumulate as a positive scaled number; the positive range is one larger than needed for
    // the negative limit only by one unit, which the checks below tolerate.
    std::uint64_t scaledAbs = 0;
    constexpr std::uint64_t limit = static_cast<std::uint64_t>(INT64_MAX);
    bool anyDigit = false;
    for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
        anyDigit = true;
        const std::uint64_t d = static_cast<std::uint64_t>(text[i] - '0');
        if (scaledAbs > (limit / kScale - d) / 10) return std::nullopt;
        scaledAbs = scaledAbs * 10 + d;
    }
    scaledAbs *= kScale;
    if (i < n && text[i] == '.') {
        ++i;
        std::uint64_t place = kScale / 10;
        bool roundUp = false;
        for (bool first = true; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
            anyDigit = true;
            const std::uint64_t d = static_cast<std::uint64_t>(text[i] - '0');
            if (place > 0) {
                scaledAbs += d * place;
                place /= 10;
            } else if (first) {
                roundUp = d >= 5; // half away from zero
                first = false;
            }
        }
        if (roundUp) ++scaledAbs;
        if (scaledAbs > limit) return std::nullopt;
    }
    if (!anyDigit || i != n) return std::nullopt;
    const auto s = static_cast<std::int64_t>(scaledAbs);
    return Currency{negative ? -s : s};
}

std::optional<Currency> Currency::Plus(Currency other) const {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(scaled, other.scaled, &sum)) return std::nullopt;
    return Currency{sum};
}

} // namespace corvale
