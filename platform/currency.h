#pragma once
// A signed 64-bit fixed-point amount with four decimal places (currency-style). Byte counts
// travel in it as whole numbers.
#include <cstdint>
#include <optional>
#include <string_view>

namespace corvale {

struct Currency {
    static constexpr std::int64_t kScale = 10000;
    static constexpr std::int64_t kMaxWhole = INT64_MAX / kScale; // 922337203685477

    std::int64_t scaled = 0; // value * 10^4

    static constexpr Currency FromScaled(std::int64_t s) { return Currency{s}; }
    // Nothing when the whole number does not fit.
    static constexpr std::optional<Currency> FromWhole(std::int64_t whole) {
        if (whole > kMaxWhole || whole < -kMaxWhole) return std::nullopt;
        return Currency{whole * kScale};
    }
    // Decimal text: optional blanks, optional sign, digits, optional "." and up to any number of
    // fraction digits (rounded half away from zero to four places). Nothing when it does not fit
    // or is not a number.
    static std::optional<Currency> Parse(std::string_view text);

    constexpr bool IsNegative() const { return scaled < 0; }
    constexpr double ToDouble() const { return static_cast<double>(scaled) / kScale; }
    // Checked sum; nothing on overflow.
    std::optional<Currency> Plus(Currency other) const;

    friend constexpr bool operator==(Currency, Currency) = default;
};

} // namespace corvale
