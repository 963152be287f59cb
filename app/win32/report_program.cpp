#include "app/win32/report_program.h"

#include "app/report_arguments.h"
#include "app/service_report.h"
#include "app/win32/program.h"
#include "platform/win32/com.h"
#include "platform/win32/service_manager.h"
#include "platform/win32/system_wmi.h"
#include "platform/win32/text_seams.h"
#include "platform/wql.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <charconv>
#include <cstdio>

#ifndef CORVALE_VERSION_MAJOR
#error "the product version comes from the build (CORVALE_VERSION_MAJOR/MINOR/PATCH)"
#endif
#define CORVALE_STR2(x) #x
#define CORVALE_STR(x) CORVALE_STR2(x)

namespace corvale::win32 {
namespace {

constexpr const char* kProductVersion = CORVALE_STR(CORVALE_VERSION_MAJOR) "." CORVALE_STR(
    CORVALE_VERSION_MINOR) "." CORVALE_STR(CORVALE_VERSION_PATCH);

// Writes to a standard handle: a console gets the text through the wide console API, so every
// character shows whatever the console's code page; anything else (a pipe, a file) gets UTF-8,
// after byteOrderMark when given.
bool WriteStandard(DWORD which, std::string_view utf8, std::string_view byteOrderMark = {}) {
    HANDLE h = GetStdHandle(which);
    if (h == nullptr || h == INVALID_HANDLE_VALUE) return false;
    DWORD mode = 0;
    if (GetConsoleMode(h, &mode)) {
        const std::wstring wide = WideFromUtf8(utf8);
        for (std::size_t at = 0; at < wide.size();) {
            DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(wide.size() - at, 8192));
            // A character of two UTF-16 units is never cut between two writes.
            if (at + chunk < wide.size() && wide[at + chunk - 1] >= 0xD800 &&
                wide[at + chunk - 1] <= 0xDBFF)
                --chunk;
            DWORD written = 0;
            if (!WriteConsoleW(h, wide.data() + at, chunk, &written, nullptr) || written == 0)
                return false;
            at += written;
        }
        return true;
    }
    std::string bytes(byteOrderMark);
    bytes += utf8;
    for (std::size_t at = 0; at < bytes.size();) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - at, 1 << 20));
        DWORD written = 0;
        if (!WriteFile(h, bytes.data() + at, chunk, &written, nullptr) || written == 0)
            return false;
        at += written;
    }
    return true;
}

void Complain(const std::string& line) {
    WriteStandard(STD_ERROR_HANDLE, "CorvaleReport: " + line + "\r\n");
}

std::string ComputerName(COMPUTER_NAME_FORMAT format) {
    wchar_t name[256];
    DWORD size = 256;
    if (!GetComputerNameExW(format, name, &size)) return {};
    return Utf8FromWide({name, size});
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    const std::wstring wa = WideFromUtf8(a), wb = WideFromUtf8(b);
    return CompareStringOrdinal(wa.c_str(), static_cast<int>(wa.size()), wb.c_str(),
                                static_cast<int>(wb.size()), TRUE) == CSTR_EQUAL;
}

// ".", "localhost" and this computer's own names (short, DNS, fully qualified).
bool IsThisComputer(const std::string& name) {
    if (name == "." || SameName(name, "localhost")) return true;
    for (COMPUTER_NAME_FORMAT f :
         {ComputerNameNetBIOS, ComputerNameDnsHostname, ComputerNameDnsFullyQualified})
        if (SameName(name, ComputerName(f))) return true;
    return false;
}

std::string UtcNow() {
    SYSTEMTIME t{};
    GetSystemTime(&t);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02uT%02u:%02u:%02uZ", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond);
    return buf;
}

// This system's version as major.minor.build, from the kernel (the compatibility layer of the
// documented call would give the version the program's manifest names).
std::string LocalOsVersion() {
    using GetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const auto get = ntdll ? reinterpret_cast<GetVersionFn>(
                                 reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                           : nullptr;
    OSVERSIONINFOW v{};
    v.dwOSVersionInfoSize = sizeof v;
    if (!get || get(&v) < 0) return {};
    return std::to_string(v.dwMajorVersion) + "." + std::to_string(v.dwMinorVersion) + "." +
           std::to_string(v.dwBuildNumber);
}

// Another computer's services from its service manager (the four properties the scan reads),
// its processes from its management service when that could be bound: through the service
// manager alone another computer's processes cannot be counted.
class RemoteServiceManager final : public WmiServices {
  public:
    RemoteServiceManager(const std::string& name, std::unique_ptr<WmiServices> processes)
        : machine_(L"\\\\" + WideFromUtf8(name)), processes_(std::move(processes)) {}

    WmiQueryResult ExecQuery(std::string_view wql, int flags) override {
        const auto parsed = ParseWql(wql);
        if (parsed.query && parsed.query->className == "Win32_Process") {
            if (!processes_) return WmiQueryResult::Failure("no process records");
            return processes_->ExecQuery(wql, flags);
        }
        if (!parsed.query || parsed.query->className != "Win32_Service" ||
            parsed.query->whereProperty)
            return WmiQueryResult::Failure("not a query of the report");
        std::uint32_t error = 0;
        const auto services = ReadServices(machine_, &error);
        if (!services) return WmiQueryResult::Failure(SystemMessage(static_cast<long>(error)));
        WmiQueryResult result;
        for (const ScmService& s : *services) {
            WmiObject& o = result.objects.emplace_back();
            o.Set("DisplayName", WmiValue::Text(s.displayName));
            o.Set("Name", WmiValue::Text(s.name));
            o.Set("PathName", WmiValue::Text(s.pathName));
            o.Set("ProcessId", WmiValue::Integer(s.processId));
        }
        return result;
    }

  private:
    std::wstring machine_;
    std::unique_ptr<WmiServices> processes_;
};

// Where this system's records lack a host's private bytes or command line (the service
// manager's records have neither), they are read from the process itself, for a host whose
// process was found.
void CompleteLocalHosts(ComputerReport& r) {
    for (ReportHost& h : r.hosts) {
        if (!h.workingSet) continue;
        std::uint32_t pid = 0;
        const auto [end, ec] = std::from_chars(h.pid.data(), h.pid.data() + h.pid.size(), pid);
        if (ec != std::errc() || end != h.pid.data() + h.pid.size()) continue;
        if (!h.privateBytes) h.privateBytes = ProcessPrivateBytes(pid);
        if (!h.commandLine) h.commandLine = ProcessCommandLine(pid);
    }
}

std::optional<ComputerReport> ScanLocal(const std::string& asked) {
    SystemWmiLocator wmi; // as the window binds: management service, else the service manager
    auto services = wmi.Bind(kCimV2Moniker);
    std::string error = "the management service and the service manager cannot be bound";
    std::optional<ComputerReport> r;
    if (services) r = ScanComputer(*services, &error);
    if (!r) {
        Complain("cannot read the services of " + asked + ": " + error);
        return std::nullopt;
    }
    const std::string name = ComputerName(ComputerNameNetBIOS);
    CompleteLocalHosts(*r);
    r->computer = name.empty() ? asked : name;
    r->osVersion = LocalOsVersion();
    return r;
}

// Zero when the name resolves to an address; otherwise the resolver's error. A name that does
// not resolve cannot be reached, and asking the resolver first spares the remote calls' long
// time-outs.
int ResolveName(const std::string& name) {
    WSADATA wsa{};
    if (const int e = WSAStartup(MAKEWORD(2, 2), &wsa); e != 0) return e;
    ADDRINFOW hints{};
    hints.ai_family = AF_UNSPEC;
    ADDRINFOW* found = nullptr;
    const int e = GetAddrInfoW(WideFromUtf8(name).c_str(), nullptr, &hints, &found);
    if (found) FreeAddrInfoW(found);
    WSACleanup();
    return e;
}

std::optional<ComputerReport> ScanRemote(const std::string& name) {
    const std::string time = UtcNow();
    if (const int e = ResolveName(name); e != 0) {
        Complain("cannot reach " + name + ": " + SystemMessage(e));
        return std::nullopt;
    }
    long wmiError = 0;
    bool hasPathName = false;
    auto wmi = BindComputer(name, &wmiError, &hasPathName);
    std::string osVersion;
    if (wmi) {
        const auto os = wmi->ExecQuery("Select * from Win32_OperatingSystem", kWmiQueryFlags);
        if (os.ok() && !os.objects.empty())
            if (auto v = os.objects.front().Get("Version"))
                osVersion = v->ToText().value_or(std::string());
    }
    std::string error;
    std::optional<ComputerReport> r;
    if (wmi && hasPathName) {
        r = ScanComputer(*wmi, &error);
    } else {
        // That computer's service manager answers for the services, its management service
        // (when bound) for the processes.
        const bool bound = wmi != nullptr;
        RemoteServiceManager manager(name, std::move(wmi));
        r = ScanComputer(manager, &error);
        if (!r && !bound) error = SystemMessage(wmiError) + "; its service manager: " + error;
    }
    if (!r) {
        Complain("cannot reach " + name + ": " + error);
        return std::nullopt;
    }
    r->computer = name;
    r->time = time;
    r->osVersion = osVersion;
    return r;
}

} // namespace

int RunReport(const std::vector<std::string>& args) {
    const ParsedArguments parsed = ParseReportArguments(args);
    if (!parsed.options) {
        Complain(parsed.error + " (CorvaleReport --help lists the options)");
        return kExitBadArguments;
    }
    const ReportOptions& o = *parsed.options;
    if (o.action == ReportAction::Help) {
        WriteStandard(STD_OUTPUT_HANDLE, ReportUsage());
        return kExitComplete;
    }
    if (o.action == ReportAction::Version) {
        WriteStandard(STD_OUTPUT_HANDLE, std::string("CorvaleReport ") + kProductVersion + "\r\n");
        return kExitComplete;
    }

    ComApartment com;
    if (!com.Usable()) {
        Complain("COM cannot be used on this thread");
        return kExitNothing;
    }
    // Calls to other computers act as the user (the process-wide default, set once).
    CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                         RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);

    const std::vector<std::string> computers =
        o.computers.empty() ? std::vector<std::string>{"."} : o.computers;
    std::vector<ComputerReport> reports;
    for (const std::string& name : computers) {
        const std::string time = UtcNow();
        std::optional<ComputerReport> r;
        if (IsThisComputer(name)) {
            r = ScanLocal(name);
            if (r) r->time = time;
        } else {
            r = ScanRemote(name);
        }
        if (r) reports.push_back(std::move(*r));
    }
    const int code = ReportExitCode(computers.size(), reports);
    if (reports.empty()) return code; // nothing to say; an existing --out file is left alone

    ReportStyle style;
    style.format = o.format;
    style.hosts = o.hosts;
    style.manyComputers = computers.size() > 1;
    if (o.format == ReportFormat::Text) style.locale = UserNumberLocale();
    const std::string text = FormatReport(reports, style);
    // Spreadsheet programs read a CSV file as UTF-8 only with the byte-order mark.
    const std::string_view bom = o.format == ReportFormat::Csv ? "\xEF\xBB\xBF" : "";
    if (o.out) {
        if (const DWORD error = ReplaceFileBytes(WideFromUtf8(*o.out), std::string(bom) + text);
            error != ERROR_SUCCESS) {
            Complain("cannot write " + *o.out + ": " + SystemMessage(static_cast<long>(error)));
            return kExitNothing;
        }
    } else if (!WriteStandard(STD_OUTPUT_HANDLE, text, bom)) {
        return kExitNothing;
    }
    return code;
}

} // namespace corvale::win32
