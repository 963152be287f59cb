#include "platform/fixture_wmi.h"
#include "platform/ascii_text.h"

#include "platform/wql.h"

#include <nlohmann/json.hpp>

namespace corvale {
namespace {

std::optional<WmiValue> ValueFromJson(const nlohmann::json& j) {
    switch (j.type()) {
    case nlohmann::json::value_t::null:
        return WmiValue::Null();
    case nlohmann::json::value_t::boolean:
        return WmiValue::Bool(j.get<bool>());
    case nlohmann::json::value_t::number_integer:
        return WmiValue::Integer(j.get<std::int64_t>());
    case nlohmann::json::value_t::number_unsigned: {
        const auto u = j.get<std::uint64_t>();
        if (u > static_cast<std::uint64_t>(INT64_MAX)) return std::nullopt;
        return WmiValue::Integer(static_cast<std::int64_t>(u));
    }
    case nlohmann::json::value_t::number_float:
        return WmiValue::Double(j.get<double>());
    case nlohmann::json::value_t::string:
        return WmiValue::Text(j.get<std::string>());
    default:
        return std::nullopt;
    }
}

bool ObjectsFromJson(const nlohmann::json& doc, const char* cls, std::vector<WmiObject>& out,
                     std::string& error) {
    auto it = doc.find(cls);
    if (it == doc.end()) return true;
    if (!it->is_array()) {
        error = std::string(cls) + " must be an array";
        return false;
    }
    for (const auto& o : *it) {
        if (!o.is_object()) {
            error = std::string(cls) + " entries must be objects";
            return false;
        }
        WmiObject obj;
        for (auto p = o.begin(); p != o.end(); ++p) {
            auto v = ValueFromJson(p.value());
            if (!v) {
                error = std::string(cls) + "." + p.key() + ": unsupported value";
                return false;
            }
            obj.Set(p.key(), std::move(*v));
        }
        out.push_back(std::move(obj));
    }
    return true;
}

class FixtureServices final : public WmiServices {
  public:
    explicit FixtureServices(FixtureWmi& owner) : owner_(owner) {}
    WmiQueryResult ExecQuery(std::string_view wql, int) override {
        owner_.queries.emplace_back(wql);
        return owner_.Run(wql);
    }

  private:
    FixtureWmi& owner_;
};

} // namespace

std::optional<FixtureData> ParseFixtureJson(std::string_view json, std::string* error) {
    std::string why;
    auto doc = nlohmann::json::parse(json, nullptr, false);
    FixtureData data;
    if (doc.is_discarded() || !doc.is_object()) {
        why = "not a JSON object";
    } else if (ObjectsFromJson(doc, "Win32_Service", data.services, why) &&
               ObjectsFromJson(doc, "Win32_Process", data.processes, why)) {
        return data;
    }
    if (error) *error = why;
    return std::nullopt;
}

FixtureWmi::FixtureWmi(FixtureData data) : data_(std::move(data)) {}

std::unique_ptr<WmiServices> FixtureWmi::Bind(std::string_view moniker) {
    ++bindCount;
    if (bindFails || !SameTextIgnoringCase(moniker, kCimV2Moniker)) return nullptr;
    return std::make_unique<FixtureServices>(*this);
}

WmiQueryResult FixtureWmi::Run(std::string_view wql) const {
    WqlParseResult parsed = ParseWql(wql);
    if (!parsed.query) return WmiQueryResult::Failure("invalid query: " + parsed.error);
    const WqlQuery& q = *parsed.query;
    const std::vector<WmiObject>* source = nullptr;
    if (SameTextIgnoringCase(q.className, "Win32_Service"))
        source = &data_.services;
    else if (SameTextIgnoringCase(q.className, "Win32_Process"))
        source = &data_.processes;
    else
        return WmiQueryResult::Failure("invalid class: " + q.className);

    WmiQueryResult result;
    for (const WmiObject& o : *source) {
        if (q.whereProperty) {
            auto v = o.Get(*q.whereProperty);
            if (!v)
                return WmiQueryResult::Failure("invalid query: no property " + *q.whereProperty);
            auto text = v->ToText();
            if (!text || !SameTextIgnoringCase(*text, q.whereValue)) continue;
        }
        result.objects.push_back(o);
    }
    return result;
}

} // namespace corvale
