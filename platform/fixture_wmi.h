#pragma once
// Management instrumentation served from recorded data: Win32_Service and Win32_Process
// objects, answering the query shapes of platform/wql.h. Used by the tests, the benchmarks and
// the program when it runs on recorded data.
#include "platform/wmi.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvale {

struct FixtureData {
    std::vector<WmiObject> services;  // Win32_Service
    std::vector<WmiObject> processes; // Win32_Process
};

// JSON: {"Win32_Service": [{...}], "Win32_Process": [{...}]}; each object maps property names
// to null, true/false, integers, numbers or texts. Nothing (and *error set) on malformed data.
std::optional<FixtureData> ParseFixtureJson(std::string_view json, std::string* error = nullptr);

class FixtureWmi final : public WmiLocator {
  public:
    explicit FixtureWmi(FixtureData data);

    // Binds only to the root\cimv2 moniker (letter case ignored), unless bindFails is set.
    std::unique_ptr<WmiServices> Bind(std::string_view moniker) override;

    // Answers one query over the data: the objects of the class, optionally only those whose
    // property equals the value (texts without regard to letter case, as the platform compares).
    WmiQueryResult Run(std::string_view wql) const;

    FixtureData& data() { return data_; }
    bool bindFails = false;
    int bindCount = 0;
    std::vector<std::string> queries; // every query text run, in order

  private:
    FixtureData data_;
};

} // namespace corvale
