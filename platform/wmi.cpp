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

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar, and back.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

} // namespace

std::optional<std::int64_t> CimDateTimeToUnixMicros(std::string_view t) {
    if (t.size() != 25 || t[14] != '.' || (t[21] != '+' && t[21] != '-')) return std::nullopt;
    auto digits = [&](std::size_t at, std::size_t n) -> std::optional<unsigned> {
        unsigned v = 0;
        for (std::size_t i = at; i < at + n; ++i) {
            if (t[i] < '0' || t[i] > '9') return std::nullopt;
            v = v * 10 + static_cast<unsigned>(t[i] - '0');
        }
        return v;
    };
    const auto year = digits(0, 4), month = digits(4, 2), day = digits(6, 2), hour = digits(8, 2),
               minute = digits(10, 2), second = digits(12, 2), micros = digits(15, 6),
               offset = digits(22, 3);
    if (!year || !month || !day || !hour || !minute || !second || !micros || !offset)
        return std::nullopt;
    if (*month < 1 || *month > 12 || *day < 1 || *day > 31 || *hour > 23 || *minute > 59 ||
        *second > 60)
        return std::nullopt;
    const std::int64_t offsetMinutes = t[21] == '-' ? -std::int64_t(*offset) : *offset;
    const std::int64_t seconds = DaysFromCivil(*year, *month, *day) * 86400 + *hour * 3600 +
                                 *minute * 60 + *second - offsetMinutes * 60;
    return seconds * 1000000 + *micros;
}

std::string CimDateTimeFromUnixMicros(std::int64_t micros) {
    std::int64_t seconds = micros / 1000000, fraction = micros % 1000000;
    if (fraction < 0) {
        fraction += 1000000;
        --seconds;
    }
    std::int64_t days = seconds / 86400, rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    std::int64_t y = 0;
    unsigned m = 0, d = 0;
    CivilFromDays(days, y, m, d);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04lld%02u%02u%02lld%02lld%02lld.%06lld+000",
                  static_cast<long long>(y), m, d, static_cast<long long>(rest / 3600),
                  static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60),
                  static_cast<long long>(fraction));
    return buf;
}

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

std::optional<std::string> NamespaceFromMoniker(std::string_view moniker) {
    constexpr std::string_view kScheme = "winmgmts:";
    std::string_view rest = moniker;
    if (StartsWithIgnoringCase(rest, kScheme)) rest.remove_prefix(kScheme.size());
    // Optional security settings "{...}!".
    if (!rest.empty() && rest.front() == '{') {
        const auto close = rest.find('}');
        if (close == std::string_view::npos) return std::nullopt;
        rest.remove_prefix(close + 1);
        if (!rest.empty() && rest.front() == '!') rest.remove_prefix(1);
    }
    // Optional "\\server\" (the local computer only: "." or "localhost").
    if (rest.starts_with("\\\\") || rest.starts_with("//")) {
        rest.remove_prefix(2);
        const auto slash = rest.find_first_of("\\/");
        if (slash == std::string_view::npos) return std::nullopt;
        const std::string_view server = rest.substr(0, slash);
        if (server != "." && server != "localhost") return std::nullopt;
        rest.remove_prefix(slash + 1);
    }
    if (rest.empty()) return std::string("root\\cimv2");
    std::string ns(rest);
    for (char& c : ns)
        if (c == '/') c = '\\';
    return ns;
}

void WmiObject::Set(std::string_view name, WmiValue value) {
    SetNamed(props_, name, std::move(value));
}

std::optional<WmiValue> WmiObject::Get(std::string_view name) const {
    if (const WmiValue* v = FindNamed(props_, name)) return *v;
    return std::nullopt;
}

} // namespace corvale
