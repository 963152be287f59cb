#include "app/service_scan.h"

#include "platform/ascii_text.h"

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

std::string HostImageName(std::string_view path) {
    while (!path.empty() && path.front() == ' ') path.remove_prefix(1);
    std::string_view program;
    if (!path.empty() && path.front() == '"') {
        path.remove_prefix(1);
        program = path.substr(0, path.find('"'));
    } else {
        // Unquoted paths may hold blanks: the program ends at the first ".exe" that ends a word.
        std::size_t end = std::string_view::npos;
        for (std::size_t at = 0; at + 4 <= path.size(); ++at)
            if (SameTextIgnoringCase(path.substr(at, 4), ".exe") &&
                (at + 4 == path.size() || path[at + 4] == ' ')) {
                end = at + 4;
                break;
            }
        program = path.substr(0, end == std::string_view::npos ? path.find(' ') : end);
    }
    const auto slash = program.find_last_of("\\/");
    return std::string(slash == std::string_view::npos ? program : program.substr(slash + 1));
}

bool IsSameHostProcess(const WmiObject& process, std::string_view pid, std::string_view hostImage,
                       std::int64_t listedAtMicros) {
    const auto id = process.Get("ProcessId");
    if (!id || id->ToText() != pid) return false;
    const auto name = process.Get("Name");
    const auto nameText = name ? name->ToText() : std::nullopt;
    if (!nameText || !SameTextIgnoringCase(HostImageName(*nameText), hostImage)) return false;
    // A source that gives no start time at all is judged by the name alone; a start time that
    // is there but cannot be read leaves the process unconfirmed.
    if (const auto created = process.Get("CreationDate")) {
        const auto text = created->ToText();
        const auto micros = text ? CimDateTimeToUnixMicros(*text) : std::nullopt;
        if (!micros || *micros > listedAtMicros) return false;
    }
    return true;
}

} // namespace corvale
