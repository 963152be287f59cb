#include "app/ServiceScan.h"

namespace corvale {

std::string PropertyText(const WmiObject& object, std::string_view property) {
    auto v = object.Get(property);
    if (!v) return {};
    return v->ToText().value_or(std::string());
}

bool IsHostedService(std::string_view path, std::string_view pid) {
    return path.find("svchost") != std::string_view::npos && !pid.empty() && pid != "0";
}

std::string HostProcessQuery(std::string_view pid, std::string_view quote) {
    std::string q = "Select * from Win32_Process where ProcessID = ";
    q += quote;
    q += pid;
    q += quote;
    return q;
}

} // namespace corvale
