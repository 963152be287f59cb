// Win32_Service and Win32_Process records built from the service control manager and the
// processes' memory counters, for systems whose management service cannot give them.
#include "platform/ascii_text.h"
#include "platform/fixture_wmi.h"
#include "platform/service_status_text.h"
#include "platform/win32/service_manager.h"
#include "platform/win32/system_wmi.h"
#include "platform/wql.h"

#include <windows.h>

#include <psapi.h>

#include <string>

namespace corvale::win32 {
namespace {

namespace st = corvale::service_text;

WmiObject ServiceObject(const ScmService& s) {
    auto text = [](std::string_view t) { return WmiValue::Text(std::string(t)); };
    auto optionalText = [](const std::optional<std::string>& t) {
        return t ? WmiValue::Text(*t) : WmiValue::Null();
    };
    auto number = [](std::uint32_t v) { return WmiValue::Integer(v); };
    WmiObject o;
    o.Set("AcceptPause", WmiValue::Bool((s.controlsAccepted & st::kAcceptPauseContinue) != 0));
    o.Set("AcceptStop", WmiValue::Bool((s.controlsAccepted & st::kAcceptStop) != 0));
    o.Set("Caption", text(s.displayName));
    o.Set("Description", optionalText(s.description));
    o.Set("DesktopInteract", WmiValue::Bool((s.serviceType & st::kInteractiveProcess) != 0));
    o.Set("DisplayName", text(s.displayName));
    o.Set("ErrorControl", text(st::ErrorControlText(s.errorControl)));
    o.Set("ExitCode", number(s.win32ExitCode));
    o.Set("Name", text(s.name));
    o.Set("PathName", text(s.pathName));
    o.Set("ProcessId", number(s.processId));
    o.Set("ServiceSpecificExitCode", number(s.serviceSpecificExitCode));
    o.Set("ServiceType", text(st::ServiceTypeText(s.serviceType)));
    o.Set("Started", WmiValue::Bool(st::Started(s.state)));
    o.Set("StartMode", text(st::StartModeText(s.startType)));
    o.Set("StartName", optionalText(s.startName));
    o.Set("State", text(st::StateText(s.state)));
    o.Set("Status", text(st::StatusText(s.state)));
    o.Set("TagId", number(s.tagId));
    o.Set("WaitHint", number(s.waitHint));
    return o;
}

// A process record carries what the program reads (ProcessId, WorkingSetSize as the decimal
// text the management service gives for 64-bit values) and its handle. The working set is
// null when it cannot be read.
WmiObject ProcessObject(std::uint32_t processId, std::optional<std::uint64_t> workingSet) {
    WmiObject o;
    o.Set("Handle", WmiValue::Text(std::to_string(processId)));
    o.Set("ProcessId", WmiValue::Integer(processId));
    o.Set("WorkingSetSize",
          workingSet ? WmiValue::Text(std::to_string(*workingSet)) : WmiValue::Null());
    return o;
}

// Every process id of the system; empty when they cannot be listed.
std::vector<std::uint32_t> AllProcessIds() {
    std::vector<DWORD> ids(1024);
    for (int attempt = 0; attempt < 6; ++attempt) {
        DWORD bytes = 0;
        if (!EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes))
            return {};
        if (bytes < ids.size() * sizeof(DWORD)) {
            ids.resize(bytes / sizeof(DWORD));
            return {ids.begin(), ids.end()};
        }
        ids.resize(ids.size() * 2);
    }
    return {};
}

class ServiceManagerServices final : public WmiServices {
  public:
    WmiQueryResult ExecQuery(std::string_view wql, int /*flags*/) override {
        const WqlParseResult parsed = ParseWql(wql);
        if (!parsed.query) return WmiQueryResult::Failure("invalid query: " + parsed.error);
        const WqlQuery& q = *parsed.query;
        FixtureData data;
        if (SameTextIgnoringCase(q.className, "Win32_Service")) {
            auto services = ReadServices();
            if (!services) return WmiQueryResult::Failure("the service manager cannot be read");
            for (const ScmService& s : *services) data.services.push_back(ServiceObject(s));
        } else if (SameTextIgnoringCase(q.className, "Win32_Process")) {
            std::vector<std::uint32_t> ids;
            std::uint32_t one = 0;
            if (q.whereProperty && SameTextIgnoringCase(*q.whereProperty, "ProcessId") &&
                ParseProcessId(q.whereValue, one)) {
                if (ProcessExists(one)) ids.push_back(one);
            } else {
                ids = AllProcessIds();
            }
            for (std::uint32_t id : ids)
                data.processes.push_back(ProcessObject(id, ProcessWorkingSet(id)));
        } else {
            return WmiQueryResult::Failure("invalid class: " + q.className);
        }
        // The matching rules (letter case, numbers against texts) are the recorded data's.
        return FixtureWmi(std::move(data)).Run(wql);
    }

  private:
    static bool ParseProcessId(std::string_view t, std::uint32_t& out) {
        if (t.empty() || t.size() > 10) return false;
        std::uint64_t v = 0;
        for (char c : t) {
            if (c < '0' || c > '9') return false;
            v = v * 10 + static_cast<unsigned>(c - '0');
        }
        if (v > UINT32_MAX) return false;
        out = static_cast<std::uint32_t>(v);
        return true;
    }
};

} // namespace

std::unique_ptr<WmiServices> ServiceManagerWmiLocator::Bind(std::string_view moniker) {
    const auto ns = NamespaceFromMoniker(moniker);
    if (!ns || !SameTextIgnoringCase(*ns, "root\\cimv2")) return nullptr;
    return std::make_unique<ServiceManagerServices>();
}

} // namespace corvale::win32
