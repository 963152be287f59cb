#include "platform/service_records.h"

#include "platform/ascii_text.h"
#include "platform/fixture_wmi.h"
#include "platform/service_status_text.h"
#include "platform/wql.h"

namespace corvale {
namespace {

namespace st = corvale::service_text;

bool ParseProcessId(std::string_view t, std::uint32_t& out) {
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

class ServiceRecordServices final : public WmiServices {
  public:
    explicit ServiceRecordServices(ServiceRecordsWmi& owner) : owner_(owner) {}
    WmiQueryResult ExecQuery(std::string_view wql, int /*flags*/) override {
        return owner_.Run(wql);
    }

  private:
    ServiceRecordsWmi& owner_;
};

} // namespace

WmiObject ServiceObject(const ScmService& s) {
    auto text = [](std::string_view t) { return WmiValue::Text(std::string(t)); };
    auto optionalText = [](const std::optional<std::string>& t) {
        return t ? WmiValue::Text(*t) : WmiValue::Null();
    };
    auto number = [](std::uint32_t v) { return WmiValue::Integer(v); };
    // Configuration the manager could not give reads as null, never as zeroes.
    auto configured = [&](WmiValue v) { return s.configured ? std::move(v) : WmiValue::Null(); };
    WmiObject o;
    o.Set("AcceptPause", WmiValue::Bool((s.controlsAccepted & st::kAcceptPauseContinue) != 0));
    o.Set("AcceptStop", WmiValue::Bool((s.controlsAccepted & st::kAcceptStop) != 0));
    o.Set("Caption", text(s.displayName));
    o.Set("Description", configured(optionalText(s.description)));
    o.Set("DesktopInteract", WmiValue::Bool((s.serviceType & st::kInteractiveProcess) != 0));
    o.Set("DisplayName", text(s.displayName));
    o.Set("ErrorControl", configured(text(st::ErrorControlText(s.errorControl))));
    o.Set("ExitCode", number(s.win32ExitCode));
    o.Set("Name", text(s.name));
    o.Set("PathName", configured(text(s.pathName)));
    o.Set("ProcessId", number(s.processId));
    o.Set("ServiceSpecificExitCode", number(s.serviceSpecificExitCode));
    o.Set("ServiceType", text(st::ServiceTypeText(s.serviceType)));
    o.Set("Started", WmiValue::Bool(st::Started(s.state)));
    o.Set("StartMode", configured(text(st::StartModeText(s.startType))));
    o.Set("StartName", configured(optionalText(s.startName)));
    o.Set("State", text(st::StateText(s.state)));
    o.Set("Status", text(st::StatusText(s.state)));
    o.Set("TagId", configured(number(s.tagId)));
    o.Set("WaitHint", number(s.waitHint));
    return o;
}

// What the program reads of a process (ProcessId, Name, CreationDate, WorkingSetSize as the
// decimal text the management service gives for 64-bit values) and its handle. A value that
// cannot be read is null.
WmiObject ProcessObject(const ProcessRecord& p) {
    WmiObject o;
    o.Set("CreationDate",
          p.createdAt ? WmiValue::Text(CimDateTimeFromUnixMicros(*p.createdAt)) : WmiValue::Null());
    o.Set("Handle", WmiValue::Text(std::to_string(p.processId)));
    if (p.imagePath) {
        const auto slash = p.imagePath->find_last_of("\\/");
        o.Set("Name", WmiValue::Text(slash == std::string::npos ? *p.imagePath
                                                                : p.imagePath->substr(slash + 1)));
    } else {
        o.Set("Name", WmiValue::Null());
    }
    o.Set("ProcessId", WmiValue::Integer(p.processId));
    o.Set("WorkingSetSize",
          p.workingSet ? WmiValue::Text(std::to_string(*p.workingSet)) : WmiValue::Null());
    return o;
}

std::unique_ptr<WmiServices> ServiceRecordsWmi::Bind(std::string_view moniker) {
    const auto ns = NamespaceFromMoniker(moniker);
    if (!ns || !SameTextIgnoringCase(*ns, "root\\cimv2")) return nullptr;
    return std::make_unique<ServiceRecordServices>(*this);
}

WmiQueryResult ServiceRecordsWmi::Run(std::string_view wql) {
    const WqlParseResult parsed = ParseWql(wql);
    if (!parsed.query) return WmiQueryResult::Failure("invalid query: " + parsed.error);
    const WqlQuery& q = *parsed.query;
    FixtureData data;
    if (SameTextIgnoringCase(q.className, "Win32_Service")) {
        auto services = source_.ReadServices();
        if (!services) return WmiQueryResult::Failure("the service manager cannot be read");
        for (const ScmService& s : *services) data.services.push_back(ServiceObject(s));
    } else if (SameTextIgnoringCase(q.className, "Win32_Process")) {
        std::uint32_t one = 0;
        if (q.whereProperty && SameTextIgnoringCase(*q.whereProperty, "ProcessId") &&
            ParseProcessId(q.whereValue, one)) {
            if (auto p = source_.ReadProcess(one)) data.processes.push_back(ProcessObject(*p));
        } else {
            auto ids = source_.ProcessIds();
            if (!ids) return WmiQueryResult::Failure("the processes cannot be listed");
            for (std::uint32_t id : *ids)
                if (auto p = source_.ReadProcess(id)) data.processes.push_back(ProcessObject(*p));
        }
    } else {
        return WmiQueryResult::Failure("invalid class: " + q.className);
    }
    // The matching rules (letter case, numbers against texts) are the recorded data's.
    return FixtureWmi(std::move(data)).Run(wql);
}

} // namespace corvale
