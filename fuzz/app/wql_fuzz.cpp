// The query reader and the fixture's answers on arbitrary query texts.
#include "platform/fixture_wmi.h"
#include "platform/wql.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvale;
    static FixtureWmi* wmi = [] {
        FixtureData d;
        WmiObject s;
        s.Set("Name", WmiValue::Text("Dhcp"));
        s.Set("ProcessId", WmiValue::Integer(88));
        d.services.push_back(s);
        WmiObject p;
        p.Set("ProcessId", WmiValue::Integer(88));
        p.Set("WorkingSetSize", WmiValue::Text("5505024"));
        d.processes.push_back(p);
        return new FixtureWmi(std::move(d));
    }();
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const WqlParseResult parsed = ParseWql(text);
    if (parsed.query.has_value() == !parsed.error.empty()) __builtin_trap();
    const WmiQueryResult result = wmi->Run(text);
    if (result.ok() && !parsed.query) __builtin_trap();
    return 0;
}
