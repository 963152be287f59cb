#include "platform/win32/service_manager.h"

#include "platform/win32/com.h"

#include <windows.h>

#include <psapi.h>
#include <winsvc.h>

#include <memory>

namespace corvale::win32 {
namespace {

// A service manager may answer with megabytes of configuration at most; anything larger is
// treated as a failed read rather than allocated.
constexpr DWORD kMaxRecordBytes = 16u * 1024u * 1024u;

struct ScHandleCloser {
    void operator()(SC_HANDLE h) const {
        if (h) CloseServiceHandle(h);
    }
};
using ScHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ScHandleCloser>;

struct HandleCloser {
    void operator()(HANDLE h) const {
        if (h) CloseHandle(h);
    }
};
using Handle = std::unique_ptr<void, HandleCloser>;

std::string Text(const wchar_t* s) {
    return s ? Utf8FromWide(s) : std::string();
}

// Calls query(buffer, size, &needed) with a buffer grown to what the manager asks for.
template <class Query> std::vector<BYTE> QueryGrowing(Query query) {
    std::vector<BYTE> buf(4096);
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD needed = 0;
        if (query(buf.data(), static_cast<DWORD>(buf.size()), &needed)) return buf;
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= buf.size() ||
            needed > kMaxRecordBytes)
            return {};
        buf.assign(needed, 0);
    }
    return {};
}

void ReadConfig(SC_HANDLE manager, ScmService& s) {
    ScHandle svc(OpenServiceW(manager, WideFromUtf8(s.name).c_str(), SERVICE_QUERY_CONFIG));
    if (!svc) return;
    auto config = QueryGrowing([&](BYTE* b, DWORD n, DWORD* need) {
        return QueryServiceConfigW(svc.get(), reinterpret_cast<QUERY_SERVICE_CONFIGW*>(b), n, need);
    });
    if (!config.empty()) {
        const auto* c = reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(config.data());
        s.pathName = Text(c->lpBinaryPathName);
        s.startType = c->dwStartType;
        s.errorControl = c->dwErrorControl;
        s.tagId = c->dwTagId;
        if (c->lpServiceStartName && *c->lpServiceStartName)
            s.startName = Text(c->lpServiceStartName);
    }
    auto desc = QueryGrowing([&](BYTE* b, DWORD n, DWORD* need) {
        return QueryServiceConfig2W(svc.get(), SERVICE_CONFIG_DESCRIPTION, b, n, need);
    });
    if (!desc.empty()) {
        const auto* d = reinterpret_cast<const SERVICE_DESCRIPTIONW*>(desc.data());
        if (d->lpDescription && *d->lpDescription) s.description = Text(d->lpDescription);
    }
}

} // namespace

std::optional<std::vector<ScmService>> ReadServices(const std::wstring& machine,
                                                    std::uint32_t* lastError) {
    ScHandle manager(OpenSCManagerW(machine.empty() ? nullptr : machine.c_str(), nullptr,
                                    SC_MANAGER_ENUMERATE_SERVICE));
    if (!manager) {
        if (lastError) *lastError = GetLastError();
        return std::nullopt;
    }

    std::vector<ScmService> out;
    DWORD resume = 0;
    std::vector<BYTE> buf(64 * 1024);
    for (int round = 0; round < 1024; ++round) {
        DWORD needed = 0, count = 0;
        BOOL ok = EnumServicesStatusExW(
            manager.get(), SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL, buf.data(),
            static_cast<DWORD>(buf.size()), &needed, &count, &resume, nullptr);
        const DWORD err = ok ? ERROR_SUCCESS : GetLastError();
        if (!ok && err != ERROR_MORE_DATA) {
            if (lastError) *lastError = err;
            return out.empty() ? std::nullopt : std::optional(out);
        }
        if (static_cast<std::size_t>(count) > buf.size() / sizeof(ENUM_SERVICE_STATUS_PROCESSW))
            break; // more records than the buffer can hold: not an answer to trust
        const auto* e = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buf.data());
        for (DWORD i = 0; i < count; ++i) {
            ScmService s;
            s.name = Text(e[i].lpServiceName);
            s.displayName = Text(e[i].lpDisplayName);
            const SERVICE_STATUS_PROCESS& st = e[i].ServiceStatusProcess;
            s.serviceType = st.dwServiceType;
            s.state = st.dwCurrentState;
            s.controlsAccepted = st.dwControlsAccepted;
            s.win32ExitCode = st.dwWin32ExitCode;
            s.serviceSpecificExitCode = st.dwServiceSpecificExitCode;
            s.waitHint = st.dwWaitHint;
            s.processId = st.dwProcessId;
            out.push_back(std::move(s));
        }
        if (ok) break;
        if (count == 0 && needed > buf.size()) {
            // The next record alone does not fit: retry with what the manager asked for.
            if (needed > kMaxRecordBytes) break;
            buf.assign(needed, 0);
        }
    }
    for (ScmService& s : out) ReadConfig(manager.get(), s);
    return out;
}

std::optional<std::uint64_t> ProcessWorkingSet(std::uint32_t processId) {
    if (processId == 0) return std::nullopt;
    Handle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    if (!process) process.reset(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return std::nullopt;
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process.get(), &counters, sizeof counters)) return std::nullopt;
    return static_cast<std::uint64_t>(counters.WorkingSetSize);
}

std::optional<std::uint64_t> ProcessPrivateBytes(std::uint32_t processId) {
    if (processId == 0) return std::nullopt;
    Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return std::nullopt;
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process.get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof counters))
        return std::nullopt;
    // A running process always has some private memory: 0 is the answer of a system that does
    // not count it (Wine gives its swap figure there), not a reading.
    if (counters.PrivateUsage == 0) return std::nullopt;
    return static_cast<std::uint64_t>(counters.PrivateUsage);
}

using QueryProcessFn = LONG(WINAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);

static QueryProcessFn NtQueryProcess() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll ? reinterpret_cast<QueryProcessFn>(
                       reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryInformationProcess")))
                 : nullptr;
}

// The command line from the process's own environment block, for systems without the direct
// query (before Windows 8.1). Only a process of our own width: the block's layout differs.
static std::optional<std::string> CommandLineFromProcessBlock(std::uint32_t processId) {
    const QueryProcessFn query = NtQueryProcess();
    if (!query) return std::nullopt;
    Handle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    if (!process) return std::nullopt;
    BOOL ourWow = FALSE, theirWow = FALSE;
    if (!IsWow64Process(GetCurrentProcess(), &ourWow) ||
        !IsWow64Process(process.get(), &theirWow) || ourWow != theirWow)
        return std::nullopt;
    struct BasicInformation { // PROCESS_BASIC_INFORMATION
        LONG exitStatus;
        void* pebBaseAddress;
        ULONG_PTR affinityMask;
        LONG basePriority;
        ULONG_PTR uniqueProcessId;
        ULONG_PTR parentProcessId;
    } basic{};
    ULONG got = 0;
    if (query(process.get(), 0 /* ProcessBasicInformation */, &basic, sizeof basic, &got) < 0 ||
        !basic.pebBaseAddress)
        return std::nullopt;
    auto read = [&](const void* at, void* into, std::size_t size) {
        SIZE_T n = 0;
        return ReadProcessMemory(process.get(), at, into, size, &n) && n == size;
    };
    // PEB.ProcessParameters, then RTL_USER_PROCESS_PARAMETERS.CommandLine (a counted text).
    constexpr std::size_t kParametersAt = sizeof(void*) == 8 ? 0x20 : 0x10;
    constexpr std::size_t kCommandLineAt = sizeof(void*) == 8 ? 0x70 : 0x40;
    const BYTE* parameters = nullptr;
    if (!read(static_cast<const BYTE*>(basic.pebBaseAddress) + kParametersAt, &parameters,
              sizeof parameters) ||
        !parameters)
        return std::nullopt;
    struct CountedText {
        USHORT length;
        USHORT maximumLength;
        const wchar_t* buffer;
    } text{};
    if (!read(parameters + kCommandLineAt, &text, sizeof text) || !text.buffer ||
        text.length % 2 != 0)
        return std::nullopt;
    std::wstring out(text.length / 2, L'\0');
    if (!out.empty() && !read(text.buffer, out.data(), text.length)) return std::nullopt;
    return Utf8FromWide(out);
}

static std::optional<std::string> CommandLineFromQuery(std::uint32_t processId) {
    // The system's own query for another process's command line (Windows 8.1 and later, any
    // width); looked up at run time, as the library does not declare it.
    constexpr ULONG kProcessCommandLineInformation = 60;
    const QueryProcessFn query = NtQueryProcess();
    if (!query) return std::nullopt;
    Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return std::nullopt;
    struct CountedText { // UNICODE_STRING
        USHORT length;
        USHORT maximumLength;
        PWSTR buffer;
    };
    std::vector<BYTE> buf(4096);
    for (int attempt = 0; attempt < 3; ++attempt) {
        ULONG needed = 0;
        const LONG status = query(process.get(), kProcessCommandLineInformation, buf.data(),
                                  static_cast<ULONG>(buf.size()), &needed);
        if (status >= 0) {
            const auto* t = reinterpret_cast<const CountedText*>(buf.data());
            const auto* begin = reinterpret_cast<const BYTE*>(t->buffer);
            // The text must lie inside the answer.
            if (!begin || begin < buf.data() + sizeof(CountedText) ||
                begin + t->length > buf.data() + buf.size())
                return std::nullopt;
            return Utf8FromWide({t->buffer, t->length / sizeof(wchar_t)});
        }
        if (needed <= buf.size() || needed > kMaxRecordBytes) return std::nullopt;
        buf.assign(needed, 0);
    }
    return std::nullopt;
}

std::optional<std::string> ProcessCommandLine(std::uint32_t processId) {
    if (processId == 0) return std::nullopt;
    if (auto direct = CommandLineFromQuery(processId)) return direct;
    return CommandLineFromProcessBlock(processId);
}

bool ProcessExists(std::uint32_t processId) {
    if (processId == 0) return false;
    Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    return GetExitCodeProcess(process.get(), &code) && code == STILL_ACTIVE;
}

} // namespace corvale::win32
