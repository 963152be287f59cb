#include "platform/wmi.h"
#include "platform/ascii_text.h"

#include <cmath>
#include <cstdio>

namespace corvale {
namespace {

// Optional blanks, optional sign, decimal digits, optional blanks; nothing else.
std::optional<std::int64_t> ParseWhole(std::string_view t) {
    std::size_t i = 0, n = t.size();
    while (i < n && t[i] == ' ') ++i;
    while (n > i && t[n - 1] == ' ') --n;
    bool negative = false;
    if (i < n && (t[i] == '-' || t[i] == '+')) negative = t[i++] == '-';
    if (i == n) return std::nullopt;
    std::uint64_t v = 0;
    const std::uint64_t limit = negative ? static_cast<std::uint64_t>(INT64_MAX) + 1 : INT64_MAX;
    for (; i < n; ++i) {
        if (t[i] < '0' || t[i] > '9') return std::nullopt;
        const auto d = static_cast<std::uint64_t>(t[i] - '0');
        if (v > (limit - d) / 10) return std::nullopt;
        v = v * 10 + d;
    }
    if (negative) return v == limit ? INT64_MIN : -static_cast<std::int64_t>(v);
    return static_cast<std::int64_t>(v);
}

} // namespace

std::optional<std::string> WmiValue::ToText() const {
    switch (kind()) {
    case Kind::Null:
        return std::nullopt;
    case Kind::Bool:
        return std::string(std::get<1>(value_) ? "True" : "False");
    case Kind::Integer:
        return std::to_string(std::get<2>(value_));
    case Kind::Double: {
        const double d = std::get<3>(value_);
        if (!std::isfinite(d)) return std::nullopt;
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.15g", d);
        return std::string(buf);
    }
    case Kind::Text:
        return std::get<4>(value_);
    }
    return std::nullopt;
}

std::optional<bool> WmiValue::ToBool() const {
    switch (kind()) {
    case Kind::Bool:
        return std::get<1>(value_);
    case Kind::Integer:
        return std::get<2>(value_) == -1;
    case Kind::Text: {
        const std::string& t = std::get<4>(value_);
        if (SameTextIgnoringCase(t, "True")) return true;
        if (SameTextIgnoringCase(t, "False")) return false;
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

std::optional<std::int64_t> WmiValue::ToInt64() const {
    switch (kind()) {
    case Kind::Integer:
        return std::get<2>(value_);
    case Kind::Double: {
        const double d = std::get<3>(value_);
        // The largest double below 2^63 converts safely.
        if (!std::isfinite(d) || d != std::floor(d) || d >= 9223372036854775808.0 ||
            d < -9223372036854775808.0)
            return std::nullopt;
        return static_cast<std::int64_t>(d);
    }
    case Kind::Text:
        return ParseWhole(std::get<4>(value_));
    default:
        return std::nullopt;
    }
}

std::optional<Currency> WmiValue::ToCurrency() const {
    switch (kind()) {
    case Kind::Integer:
        return Currency::FromWhole(std::get<2>(value_));
    case Kind::Double: {
        const double scaled = std::round(std::get<3>(value_) * Currency::kScale);
        if (!std::isfinite(scaled) || std::fabs(scaled) >= 9.2e18) return std::nullopt;
        return Currency::FromScaled(static_cast<std::int64_t>(scaled));
    }
    case Kind::Text:
        return Currency::Parse(std::get<4>(value_));
    default:
        return std::nullopt;
    }
}

void WmiObject::Set(std::string_view name, WmiValue value) {
    for (auto& [n, v] : props_)
        if (SameTextIgnoringCase(n, name)) {
            v = std::move(value);
            return;
        }
    props_.emplace_back(std::string(name), std::move(value));
}

std::optional<WmiValue> WmiObject::Get(std::string_view name) const {
    for (const auto& [n, v] : props_)
        if (SameTextIgnoringCase(n, name)) return v;
    return std::nullopt;
}

} // namespace corvale
