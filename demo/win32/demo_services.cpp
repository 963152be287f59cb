#include "demo/win32/demo_services.h"

#include "platform/win32/safe_dll.h"

#include <algorithm>
#include <cwctype>
#include <map>
#include <memory>
#include <set>
#include <utility>

#ifndef CORVALE_DEMO_BUILD_DIR
#define CORVALE_DEMO_BUILD_DIR ""
#endif

namespace corvale::demo {
namespace {

constexpr const wchar_t* kDllName = L"CorvaleDemoService.dll";
constexpr const wchar_t* kSoloName = L"CorvaleDemoSolo.exe";
constexpr const wchar_t* kServicesKey = L"SYSTEM\\CurrentControlSet\\Services\\";
constexpr const wchar_t* kGroupsKey = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Svchost";
// Marks a service as one of ours in its Parameters key, so listing and cleaning up never touch
// the system's own.
constexpr const wchar_t* kMark = L"CorvaleDemo";
constexpr DWORD kPollMs = 100;

struct ScCloser {
    void operator()(SC_HANDLE h) const { CloseServiceHandle(h); }
};
using ScHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ScCloser>;

class RegKey {
  public:
    RegKey() = default;
    ~RegKey() {
        if (key_) RegCloseKey(key_);
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    HKEY* Out() { return &key_; }
    HKEY get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

struct FileCloser {
    void operator()(HANDLE h) const { CloseHandle(h); }
};
using FileHandle = std::unique_ptr<void, FileCloser>;

DemoResult Fail(DWORD error, std::wstring what) {
    return {error ? error : ERROR_GEN_FAILURE, std::move(what)};
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool FileExists(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring BuildFolder() {
    return WindowsPathOf(FromUtf8(CORVALE_DEMO_BUILD_DIR));
}

bool ReadWhole(const std::wstring& path, std::string& bytes) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        file.release();
        return false;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > (64 << 20)) return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    return bytes.empty() ||
           (ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) &&
            got == bytes.size());
}

DemoResult CopyIfChanged(const std::wstring& from, const std::wstring& to) {
    std::string a, b;
    if (!ReadWhole(from, a)) return Fail(GetLastError(), L"reading " + from);
    if (ReadWhole(to, b) && a == b) return {};
    if (CopyFileW(from.c_str(), to.c_str(), FALSE)) return {};
    // A host that runs holds the old file: move it aside and copy anew.
    const std::wstring aside = to + L"." + std::to_wstring(GetTickCount64()) + L".old";
    if (MoveFileExW(to.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING) &&
        CopyFileW(from.c_str(), to.c_str(), FALSE))
        return {};
    return Fail(GetLastError(), L"copying " + from + L" to " + to);
}

ScHandle OpenManager(DWORD access, DWORD& error) {
    ScHandle scm(OpenSCManagerW(nullptr, nullptr, access));
    error = scm ? ERROR_SUCCESS : GetLastError();
    return scm;
}

std::wstring ParametersKey(const std::wstring& name) {
    return std::wstring(kServicesKey) + name + L"\\Parameters";
}

bool IsOurs(const std::wstring& name) {
    DWORD value = 0, size = sizeof value;
    return RegGetValueW(HKEY_LOCAL_MACHINE, ParametersKey(name).c_str(), kMark, RRF_RT_REG_DWORD,
                        nullptr, &value, &size) == ERROR_SUCCESS &&
           value == 1;
}

DWORD ReadDword(const std::wstring& key, const wchar_t* value) {
    DWORD v = 0, size = sizeof v;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), value, RRF_RT_REG_DWORD, nullptr, &v,
                     &size) != ERROR_SUCCESS)
        return 0;
    return v;
}

// A REG_MULTI_SZ as its strings.
std::vector<std::wstring> SplitMulti(const std::vector<wchar_t>& data) {
    std::vector<std::wstring> out;
    size_t at = 0;
    while (at < data.size() && data[at] != L'\0') {
        size_t end = at;
        while (end < data.size() && data[end] != L'\0') ++end;
        out.emplace_back(data.begin() + static_cast<std::ptrdiff_t>(at),
                         data.begin() + static_cast<std::ptrdiff_t>(end));
        at = end + 1;
    }
    return out;
}

std::vector<wchar_t> JoinMulti(const std::vector<std::wstring>& items) {
    std::vector<wchar_t> out;
    for (const std::wstring& s : items) {
        out.insert(out.end(), s.begin(), s.end());
        out.push_back(L'\0');
    }
    out.push_back(L'\0');
    return out;
}

// Takes `name` out of every svchost group and puts it into `group` (none when empty). The
// groups' key is the 64-bit one even for a 32-bit caller on a 64-bit system: svchost reads it.
DemoResult PlaceInGroup(const std::wstring& name, const std::wstring& group) {
    RegKey groups;
    LSTATUS rc =
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, kGroupsKey, 0, nullptr, 0,
                        KEY_READ | KEY_WRITE | KEY_WOW64_64KEY, nullptr, groups.Out(), nullptr);
    if (rc != ERROR_SUCCESS) return Fail(static_cast<DWORD>(rc), L"opening the svchost groups");
    std::vector<std::pair<std::wstring, std::vector<std::wstring>>> values;
    for (DWORD index = 0;; ++index) {
        wchar_t valueName[256];
        DWORD nameLength = 256, type = 0, bytes = 0;
        rc = RegEnumValueW(groups.get(), index, valueName, &nameLength, nullptr, &type, nullptr,
                           &bytes);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS || type != REG_MULTI_SZ) continue;
        std::vector<wchar_t> data(bytes / sizeof(wchar_t) + 2, L'\0');
        DWORD size = bytes;
        if (RegQueryValueExW(groups.get(), valueName, nullptr, nullptr,
                             reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
            continue;
        values.emplace_back(valueName, SplitMulti(data));
    }
    bool groupSeen = false;
    for (auto& [valueName, members] : values) {
        const bool target = !group.empty() && SameText(valueName, group);
        groupSeen = groupSeen || target;
        std::vector<std::wstring> kept;
        bool present = false;
        for (const std::wstring& m : members) {
            if (SameText(m, name)) {
                present = true;
                if (!target) continue;
            }
            kept.push_back(m);
        }
        if (target && !present) kept.push_back(name);
        if (kept.size() == members.size() && present == target) continue;
        if (kept.empty()) {
            rc = RegDeleteValueW(groups.get(), valueName.c_str());
        } else {
            const std::vector<wchar_t> data = JoinMulti(kept);
            rc = RegSetValueExW(groups.get(), valueName.c_str(), 0, REG_MULTI_SZ,
                                reinterpret_cast<const BYTE*>(data.data()),
                                static_cast<DWORD>(data.size() * sizeof(wchar_t)));
        }
        if (rc != ERROR_SUCCESS) return Fail(static_cast<DWORD>(rc), L"writing group " + valueName);
    }
    if (!group.empty() && !groupSeen) {
        const std::vector<wchar_t> data = JoinMulti({name});
        rc = RegSetValueExW(groups.get(), group.c_str(), 0, REG_MULTI_SZ,
                            reinterpret_cast<const BYTE*>(data.data()),
                            static_cast<DWORD>(data.size() * sizeof(wchar_t)));
        if (rc != ERROR_SUCCESS) return Fail(static_cast<DWORD>(rc), L"writing group " + group);
    }
    return {};
}

DemoResult WriteParameters(const DemoService& s) {
    RegKey key;
    LSTATUS rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, ParametersKey(s.name).c_str(), 0, nullptr, 0,
                                 KEY_WRITE, nullptr, key.Out(), nullptr);
    if (rc != ERROR_SUCCESS)
        return Fail(static_cast<DWORD>(rc), L"creating Parameters of " + s.name);
    const DWORD mark = 1;
    rc = RegSetValueExW(key.get(), kMark, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&mark),
                        sizeof mark);
    if (rc == ERROR_SUCCESS)
        rc = RegSetValueExW(key.get(), L"WorkingSetMB", 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&s.workingSetMB), sizeof(DWORD));
    if (rc == ERROR_SUCCESS) {
        if (s.group.empty()) {
            const LSTATUS gone = RegDeleteValueW(key.get(), L"ServiceDll");
            rc = gone == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : gone;
        } else {
            const std::wstring dll = L"%SystemRoot%\\CorvaleDemo\\" + std::wstring(kDllName);
            rc = RegSetValueExW(key.get(), L"ServiceDll", 0, REG_EXPAND_SZ,
                                reinterpret_cast<const BYTE*>(dll.c_str()),
                                static_cast<DWORD>((dll.size() + 1) * sizeof(wchar_t)));
        }
    }
    if (rc != ERROR_SUCCESS)
        return Fail(static_cast<DWORD>(rc), L"writing Parameters of " + s.name);
    return {};
}

std::wstring CommandOf(const DemoService& s) {
    if (s.group.empty()) return L"\"" + DemoInstallFolder() + L"\\" + kSoloName + L"\" " + s.name;
    wchar_t system[MAX_PATH];
    const UINT n = GetSystemDirectoryW(system, MAX_PATH);
    return std::wstring(system, n < MAX_PATH ? n : 0) + L"\\svchost.exe -k " + s.group;
}

// Errors after which the same request may succeed a moment later.
bool Busy(DWORD error) {
    return error == ERROR_SERVICE_DATABASE_LOCKED || error == ERROR_SERVICE_CANNOT_ACCEPT_CTRL ||
           error == ERROR_SERVICE_MARKED_FOR_DELETE || error == ERROR_SERVICE_REQUEST_TIMEOUT;
}

bool QueryState(SC_HANDLE service, SERVICE_STATUS_PROCESS& status) {
    DWORD needed = 0;
    return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                sizeof status, &needed) != FALSE;
}

// The code a stopped service stopped with; 0 for a clean stop or one that never ran.
DWORD ExitCodeOf(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS status{};
    if (!QueryState(service, status) || status.dwCurrentState != SERVICE_STOPPED) return 0;
    const DWORD code = status.dwWin32ExitCode == ERROR_SERVICE_SPECIFIC_ERROR
                           ? status.dwServiceSpecificExitCode
                           : status.dwWin32ExitCode;
    return code == ERROR_SERVICE_NEVER_STARTED ? 0 : code;
}

std::wstring GroupOfCommand(const std::wstring& command) {
    const size_t k = command.find(L" -k ");
    if (k == std::wstring::npos) return {};
    std::wstring group = command.substr(k + 4);
    const size_t space = group.find(L' ');
    return space == std::wstring::npos ? group : group.substr(0, space);
}

bool QueryCommand(SC_HANDLE service, std::wstring& command, DWORD& startType) {
    DWORD needed = 0;
    QueryServiceConfigW(service, nullptr, 0, &needed);
    if (needed == 0) return false;
    std::vector<BYTE> buffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!QueryServiceConfigW(service, config, needed, &needed)) return false;
    command = config->lpBinaryPathName ? config->lpBinaryPathName : L"";
    startType = config->dwStartType;
    return true;
}

struct Listed {
    std::wstring name;
    std::wstring displayName;
    SERVICE_STATUS_PROCESS status;
};

std::vector<Listed> AllServices(SC_HANDLE scm) {
    std::vector<Listed> out;
    DWORD needed = 0, count = 0, resume = 0;
    std::vector<BYTE> buffer;
    for (;;) {
        BOOL more = EnumServicesStatusExW(
            scm, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL, buffer.data(),
            static_cast<DWORD>(buffer.size()), &needed, &count, &resume, nullptr);
        const DWORD error = more ? ERROR_SUCCESS : GetLastError();
        auto* rows = reinterpret_cast<ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
        for (DWORD i = 0; i < count; ++i)
            out.push_back({rows[i].lpServiceName,
                           rows[i].lpDisplayName ? rows[i].lpDisplayName : L"",
                           rows[i].ServiceStatusProcess});
        if (error != ERROR_MORE_DATA) break;
        buffer.resize(buffer.size() + needed + 1024);
        count = 0;
    }
    return out;
}

} // namespace

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::wstring WindowsPathOf(const std::wstring& path) {
    if (path.empty() || path.front() != L'/') return path;
    using ToDos = WCHAR*(CDECL*)(const char*);
    const auto toDos = reinterpret_cast<ToDos>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    if (toDos) {
        if (WCHAR* dos = toDos(ToUtf8(path).c_str())) {
            std::wstring out(dos);
            HeapFree(GetProcessHeap(), 0, dos);
            return out;
        }
    }
    std::wstring out = L"Z:" + path;
    std::replace(out.begin(), out.end(), L'/', L'\\');
    return out;
}

std::string DemoResult::Utf8() const {
    if (ok()) return "ok";
    std::string out = ToUtf8(what) + ": error " + std::to_string(error);
    wchar_t* message = nullptr;
    if (FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                           FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr) &&
        message) {
        std::wstring text(message);
        LocalFree(message);
        while (!text.empty() && std::iswspace(text.back())) text.pop_back();
        out += " (" + ToUtf8(text) + ")";
    }
    return out;
}

std::wstring DemoInstallFolder() {
    wchar_t windows[MAX_PATH];
    const UINT n = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    return std::wstring(windows, n < MAX_PATH ? n : 0) + L"\\CorvaleDemo";
}

DemoResult InstallDemoFiles(const std::wstring& from) {
    std::wstring source = from;
    if (source.empty()) {
        source = ProgramFolder();
        if (!FileExists(source + L"\\" + kDllName)) source = BuildFolder();
    }
    const std::wstring target = DemoInstallFolder();
    if (!CreateDirectoryW(target.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return Fail(GetLastError(), L"creating " + target);
    for (const wchar_t* file : {kDllName, kSoloName}) {
        DemoResult r = CopyIfChanged(source + L"\\" + file, target + L"\\" + file);
        if (!r.ok()) return r;
    }
    return {};
}

DemoResult InstallDemoService(const DemoService& s) {
    if (s.name.empty() || s.name.find_first_of(L"\\/") != std::wstring::npos)
        return Fail(ERROR_INVALID_NAME, L"service name \"" + s.name + L"\"");
    DWORD error = 0;
    ScHandle scm = OpenManager(SC_MANAGER_ALL_ACCESS, error);
    if (!scm) return Fail(error, L"opening the service manager");
    const std::wstring command = CommandOf(s);
    const std::wstring& display = s.displayName.empty() ? s.name : s.displayName;
    const DWORD type = s.group.empty() ? SERVICE_WIN32_OWN_PROCESS : SERVICE_WIN32_SHARE_PROCESS;
    const ULONGLONG deadline = GetTickCount64() + 30000;
    for (;;) {
        ScHandle service(CreateServiceW(scm.get(), s.name.c_str(), display.c_str(),
                                        SERVICE_ALL_ACCESS, type, SERVICE_DEMAND_START,
                                        SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr,
                                        nullptr, nullptr, nullptr));
        error = service ? ERROR_SUCCESS : GetLastError();
        if (error == ERROR_SERVICE_EXISTS) {
            service.reset(OpenServiceW(scm.get(), s.name.c_str(), SERVICE_ALL_ACCESS));
            error =
                service && ChangeServiceConfigW(service.get(), type, SERVICE_DEMAND_START,
                                                SERVICE_ERROR_NORMAL, command.c_str(), nullptr,
                                                nullptr, nullptr, nullptr, nullptr, display.c_str())
                    ? ERROR_SUCCESS
                    : GetLastError();
        }
        if (error == ERROR_SUCCESS) break;
        if (!Busy(error) || GetTickCount64() > deadline)
            return Fail(error, L"installing service " + s.name);
        Sleep(kPollMs);
    }
    DemoResult r = WriteParameters(s);
    return r.ok() ? PlaceInGroup(s.name, s.group) : r;
}

namespace {

// What one look at a service's state leads to: wait and look again (the error then says whether
// waiting can help), look again at once, or finish with the result.
enum class Next { Wait, LookAgain, Finish };

// Opens the service for `access` and reads its state each round, and lets `step` act on it
// (step(service, state, error, result) -> Next) until it finishes, the error is not one that
// waiting mends or the time is up. A service that does not exist is done when `goneIsDone`.
template <class Step>
DemoResult DriveService(const std::wstring& name, DWORD access, DWORD timeoutMs,
                        const wchar_t* doing, bool goneIsDone, Step step) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    DWORD error = 0;
    for (;;) {
        ScHandle scm = OpenManager(SC_MANAGER_CONNECT, error);
        ScHandle service;
        if (scm) {
            service.reset(OpenServiceW(scm.get(), name.c_str(), access | SERVICE_QUERY_STATUS));
            if (!service) error = GetLastError();
        }
        if (service) {
            SERVICE_STATUS_PROCESS status{};
            if (!QueryState(service.get(), status))
                return Fail(GetLastError(), L"querying " + name);
            DemoResult result;
            const Next next = step(service.get(), status.dwCurrentState, error, result);
            if (next == Next::Finish) return result;
            if (next == Next::LookAgain) continue;
        } else if (goneIsDone && error == ERROR_SERVICE_DOES_NOT_EXIST) {
            return {};
        }
        if (!Busy(error) || GetTickCount64() > deadline) return Fail(error, doing + name);
        Sleep(kPollMs);
    }
}

} // namespace

DemoResult StartDemoService(const std::wstring& name, DWORD timeoutMs) {
    bool asked = false;
    return DriveService(
        name, SERVICE_START, timeoutMs, L"starting ", false,
        [&](SC_HANDLE service, DWORD state, DWORD& error, DemoResult& result) {
            if (state == SERVICE_RUNNING) return Next::Finish;
            if (state != SERVICE_STOPPED) {
                error = ERROR_SERVICE_REQUEST_TIMEOUT; // pending one way or the other: wait
                return Next::Wait;
            }
            if (asked) {
                const DWORD code = ExitCodeOf(service);
                result = Fail(code ? code : ERROR_SERVICE_NEVER_STARTED, L"starting " + name);
                return Next::Finish;
            }
            if (StartServiceW(service, 0, nullptr)) {
                asked = true;
                return Next::LookAgain;
            }
            error = GetLastError();
            if (error == ERROR_SERVICE_ALREADY_RUNNING) {
                asked = true;
                return Next::LookAgain;
            }
            // A service that gives up while starting leaves the manager waiting in vain; the
            // code it stopped with is the answer.
            const DWORD code = ExitCodeOf(service);
            if (error == ERROR_SERVICE_REQUEST_TIMEOUT && code != ERROR_SUCCESS) {
                result = Fail(code, L"starting " + name);
                return Next::Finish;
            }
            return Next::Wait;
        });
}

DemoResult StopDemoService(const std::wstring& name, DWORD timeoutMs) {
    bool asked = false;
    return DriveService(name, SERVICE_STOP, timeoutMs, L"stopping ", true,
                        [&](SC_HANDLE service, DWORD state, DWORD& error, DemoResult&) {
                            if (state == SERVICE_STOPPED) return Next::Finish;
                            error = ERROR_SERVICE_REQUEST_TIMEOUT;
                            if (state != SERVICE_STOP_PENDING && !asked) {
                                SERVICE_STATUS plain{};
                                if (ControlService(service, SERVICE_CONTROL_STOP, &plain)) {
                                    asked = true;
                                } else {
                                    error = GetLastError();
                                    if (error == ERROR_SERVICE_NOT_ACTIVE) return Next::Finish;
                                }
                            }
                            return Next::Wait;
                        });
}

DemoResult DeleteDemoService(const std::wstring& name) {
    DemoResult stopped = StopDemoService(name);
    if (!stopped.ok()) return stopped;
    DWORD error = 0;
    ScHandle scm = OpenManager(SC_MANAGER_CONNECT, error);
    if (!scm) return Fail(error, L"opening the service manager");
    ScHandle service(OpenServiceW(scm.get(), name.c_str(), DELETE));
    if (service) {
        if (!DeleteService(service.get()) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE)
            return Fail(GetLastError(), L"deleting " + name);
    } else if (GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST) {
        return Fail(GetLastError(), L"opening " + name);
    }
    return PlaceInGroup(name, {});
}

DemoResult SetUpDemoServices(const std::vector<DemoService>& services) {
    DemoResult r = InstallDemoFiles();
    for (const DemoService& s : services) {
        if (r.ok()) r = InstallDemoService(s);
    }
    for (const DemoService& s : services) {
        if (r.ok()) r = s.running ? StartDemoService(s.name) : StopDemoService(s.name);
    }
    return r;
}

DemoResult RemoveDemoServices(const std::vector<std::wstring>& names) {
    DemoResult first;
    for (const std::wstring& name : names) {
        DemoResult r = DeleteDemoService(name);
        if (first.ok() && !r.ok()) first = r;
    }
    return first;
}

std::vector<DemoServiceState> ListDemoServices() {
    std::vector<DemoServiceState> out;
    DWORD error = 0;
    ScHandle scm = OpenManager(SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE, error);
    if (!scm) return out;
    for (const Listed& l : AllServices(scm.get())) {
        if (!IsOurs(l.name)) continue;
        DemoServiceState s;
        s.name = l.name;
        s.displayName = l.displayName;
        s.state = l.status.dwCurrentState;
        s.processId = l.status.dwProcessId;
        s.workingSetMB = ReadDword(ParametersKey(l.name), L"WorkingSetMB");
        ScHandle service(OpenServiceW(scm.get(), l.name.c_str(), SERVICE_QUERY_CONFIG));
        std::wstring command;
        DWORD startType = 0;
        if (service && QueryCommand(service.get(), command, startType))
            s.group = GroupOfCommand(command);
        out.push_back(std::move(s));
    }
    std::sort(out.begin(), out.end(),
              [](const DemoServiceState& a, const DemoServiceState& b) { return a.name < b.name; });
    return out;
}

std::vector<DemoService> DefaultDemoSet() {
    // Hosts: CorvaleDemoShared three running services (and a stopped one), CorvaleDemoLarge two
    // holding a few hundred MB, CorvaleDemoSmall one of a few MB; one more runs on its own.
    return {
        {L"CorvaleDemoCatalog", L"Corvale Démo – catalogue des fenêtres", L"CorvaleDemoShared", 24},
        {L"CorvaleDemoIndexer", L"Corvale Demo – Größenprüfung der Bilder", L"CorvaleDemoShared",
         16},
        {L"CorvaleDemoRelay", L"Corvale Demo Relay", L"CorvaleDemoShared", 8},
        {L"CorvaleDemoIdle", L"Corvale Demo Idle (stopped)", L"CorvaleDemoShared", 8, false},
        {L"CorvaleDemoArchive", L"Corvale Демо – служба архива", L"CorvaleDemoLarge", 180},
        {L"CorvaleDemoCache", L"Corvale Δοκιμή – κρυφή μνήμη", L"CorvaleDemoLarge", 60},
        {L"CorvaleDemoPing", L"Corvale Demo Ping", L"CorvaleDemoSmall", 2},
        {L"CorvaleDemoAlone", L"Corvale Demo Alone (own process)", L"", 12},
    };
}

DemoResult PrepareDemoSystem(bool systemToo, std::wstring* summary) {
    const std::vector<DemoService> set = DefaultDemoSet();
    std::set<std::wstring> runningBefore;
    for (const DemoServiceState& s : ListDemoServices())
        if (s.state == SERVICE_RUNNING) runningBefore.insert(s.name);
    const DemoResult r = SetUpDemoServices(set);
    if (!r.ok()) return r;
    bool startedAny = false;
    for (const DemoService& s : set)
        startedAny = startedAny || (s.running && !runningBefore.count(s.name));
    // "7 demo services started: 2 in svchost -k ..., 1 in a process of its own; 1 stopped; ..."
    std::map<std::wstring, int> perGroup;
    int running = 0, alone = 0, stopped = 0;
    for (const DemoServiceState& s : ListDemoServices()) {
        if (s.state != SERVICE_RUNNING) {
            ++stopped;
        } else {
            ++running;
            if (s.group.empty())
                ++alone;
            else
                ++perGroup[s.group];
        }
    }
    std::wstring line = std::to_wstring(running) + L" demo services " +
                        (startedAny ? L"started" : L"already running") + L": ";
    for (const auto& [group, count] : perGroup)
        line += std::to_wstring(count) + L" in svchost -k " + group + L", ";
    line += std::to_wstring(alone) + L" in a process of its own; " + std::to_wstring(stopped) +
            L" stopped";
    if (systemToo) {
        const std::vector<std::wstring> system = StartSystemSvchostServices();
        line += L"; the system's own in svchost: ";
        for (size_t i = 0; i < system.size(); ++i) line += (i ? L", " : L"") + system[i];
        if (system.empty()) line += L"none";
    }
    if (summary) *summary = line;
    return {};
}

std::vector<std::wstring> StartSystemSvchostServices(DWORD timeoutMs) {
    std::vector<std::wstring> running;
    DWORD error = 0;
    ScHandle scm = OpenManager(SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE, error);
    if (!scm) return running;
    for (const Listed& l : AllServices(scm.get())) {
        if (IsOurs(l.name)) continue;
        ScHandle service(OpenServiceW(scm.get(), l.name.c_str(), SERVICE_QUERY_CONFIG));
        std::wstring command;
        DWORD startType = 0;
        if (!service || !QueryCommand(service.get(), command, startType)) continue;
        std::wstring lower = command;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
        if (startType == SERVICE_DISABLED || lower.find(L"svchost.exe") == std::wstring::npos)
            continue;
        if (StartDemoService(l.name, timeoutMs).ok()) running.push_back(l.name);
    }
    return running;
}

} // namespace corvale::demo
