#pragma once
// The management-instrumentation seam: bind to a namespace, run a query, read the returned
// objects' properties by name. The Windows implementations live in platform/win32/; the fixture
// implementation (platform/fixture_wmi.h) answers from a data file.
#include "platform/currency.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace corvale {

// Moniker of the local computer's root\cimv2 namespace and the query flags the program passes
// (return immediately + forward only).
inline constexpr std::string_view kCimV2Moniker = "winmgmts:\\\\.\\root\\cimv2";
inline constexpr int kWmiQueryFlags = 48;

// One property value. 64-bit integers (for example WorkingSetSize) arrive as text, as the
// platform delivers them.
class WmiValue {
  public:
    enum class Kind { Null, Bool, Integer, Double, Text };

    WmiValue() = default; // null
    static WmiValue Null() { return {}; }
    static WmiValue Bool(bool v) { return WmiValue(Storage(std::in_place_index<1>, v)); }
    static WmiValue Integer(std::int64_t v) { return WmiValue(Storage(std::in_place_index<2>, v)); }
    static WmiValue Double(double v) { return WmiValue(Storage(std::in_place_index<3>, v)); }
    static WmiValue Text(std::string v) {
        return WmiValue(Storage(std::in_place_index<4>, std::move(v)));
    }

    Kind kind() const { return static_cast<Kind>(value_.index()); }
    bool IsNull() const { return kind() == Kind::Null; }

    // Numbers as decimal text, Booleans as "True"/"False", texts as they are; null is not
    // convertible.
    std::optional<std::string> ToText() const;
    // True only for a Boolean true (or the integer -1, the platform's own true); nothing for null.
    std::optional<bool> ToBool() const;
    // Whole number: integers, whole doubles, decimal texts. Nothing for null, Booleans,
    // fractions and numbers that do not fit.
    std::optional<std::int64_t> ToInt64() const;
    // Currency-style amount: integers, doubles and decimal texts that fit its range.
    std::optional<Currency> ToCurrency() const;

    friend bool operator==(const WmiValue&, const WmiValue&) = default;

  private:
    using Storage = std::variant<std::monostate, bool, std::int64_t, double, std::string>;
    explicit WmiValue(Storage v) : value_(std::move(v)) {}
    Storage value_;
};

// One returned object. Property names compare without regard to letter case, as the platform's
// do. A property the object lacks gives nothing; a property that is present but null gives a
// null value.
class WmiObject {
  public:
    WmiObject() = default;
    void Set(std::string_view name, WmiValue value);
    std::optional<WmiValue> Get(std::string_view name) const;
    const std::vector<std::pair<std::string, WmiValue>>& Properties() const { return props_; }

  private:
    std::vector<std::pair<std::string, WmiValue>> props_;
};

// The objects of a query, or why it failed.
struct WmiQueryResult {
    std::vector<WmiObject> objects;
    std::string error; // empty on success

    bool ok() const { return error.empty(); }
    static WmiQueryResult Failure(std::string why) {
        WmiQueryResult r;
        r.error = why.empty() ? std::string("query failed") : std::move(why);
        return r;
    }
};

// "winmgmts:\\.\root\cimv2" -> "root\cimv2"; also accepts a plain namespace path, and
// "winmgmts:{impersonationLevel=...}!\\server\ns" forms. Nothing for other monikers (other
// computers included).
std::optional<std::string> NamespaceFromMoniker(std::string_view moniker);

// CIM date and time ("yyyymmddHHMMSS.mmmmmm+UUU", UUU the offset from UTC in minutes) as
// microseconds since 1970-01-01 UTC, and back (written with offset +000). Nothing for a text that
// is not such a time.
std::optional<std::int64_t> CimDateTimeToUnixMicros(std::string_view text);
std::string CimDateTimeFromUnixMicros(std::int64_t micros);

class WmiServices {
  public:
    virtual ~WmiServices() = default;
    virtual WmiQueryResult ExecQuery(std::string_view wql, int flags) = 0;
};

class WmiLocator {
  public:
    virtual ~WmiLocator() = default;
    // The services of the named namespace, or nullptr when binding failed.
    virtual std::unique_ptr<WmiServices> Bind(std::string_view moniker) = 0;
};

} // namespace corvale
