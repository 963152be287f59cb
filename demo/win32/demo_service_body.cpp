#include "demo_service_body.h"

#include <string>

namespace corvale::demo {
namespace {

// More than a 32-bit host could give several services at once is refused, not attempted.
constexpr DWORD kMostMegabytes = 1024;

struct Instance {
    SERVICE_STATUS_HANDLE handle = nullptr; // not to be closed
    HANDLE stop = nullptr;
    SRWLOCK lock = SRWLOCK_INIT;
    SERVICE_STATUS status{};

    ~Instance() {
        if (stop) CloseHandle(stop);
    }

    void Report(DWORD state, DWORD exitCode = NO_ERROR, DWORD waitHintMs = 0) {
        AcquireSRWLockExclusive(&lock);
        status.dwServiceType = SERVICE_WIN32;
        status.dwCurrentState = state;
        status.dwControlsAccepted =
            state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
        status.dwWin32ExitCode = exitCode;
        status.dwWaitHint = waitHintMs;
        status.dwCheckPoint =
            state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : status.dwCheckPoint + 1;
        SERVICE_STATUS copy = status;
        ReleaseSRWLockExclusive(&lock);
        SetServiceStatus(handle, &copy);
    }
};

DWORD WINAPI Control(DWORD control, DWORD, LPVOID, LPVOID context) {
    auto* self = static_cast<Instance*>(context);
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        self->Report(SERVICE_STOP_PENDING, NO_ERROR, 5000);
        SetEvent(self->stop);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

DWORD ReadMegabytes(const wchar_t* service) {
    const std::wstring path =
        std::wstring(L"SYSTEM\\CurrentControlSet\\Services\\") + service + L"\\Parameters";
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, path.c_str(), L"WorkingSetMB", RRF_RT_REG_DWORD, nullptr,
                     &value, &size) != ERROR_SUCCESS)
        return 0;
    return value;
}

// Committed memory with every page written, so it counts in the host's working set.
class HeldMemory {
  public:
    explicit HeldMemory(SIZE_T bytes) {
        if (bytes == 0) return;
        base_ = static_cast<unsigned char*>(
            VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        if (!base_) return;
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        for (SIZE_T at = 0; at < bytes; at += info.dwPageSize)
            base_[at] = static_cast<unsigned char>(1 + at / info.dwPageSize % 255);
    }
    ~HeldMemory() {
        if (base_) VirtualFree(base_, 0, MEM_RELEASE);
    }
    HeldMemory(const HeldMemory&) = delete;
    HeldMemory& operator=(const HeldMemory&) = delete;
    bool Held() const { return base_ != nullptr; }

  private:
    unsigned char* base_ = nullptr;
};

} // namespace

void RunDemoService(DWORD argc, LPWSTR* argv) {
    if (argc < 1 || !argv || !argv[0]) return;
    Instance self;
    self.stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    self.handle = RegisterServiceCtrlHandlerExW(argv[0], Control, &self);
    if (!self.handle) return;
    if (!self.stop) {
        self.Report(SERVICE_STOPPED, GetLastError());
        return;
    }
    self.Report(SERVICE_START_PENDING, NO_ERROR, 10000);
    const DWORD megabytes = ReadMegabytes(argv[0]);
    if (megabytes > kMostMegabytes) {
        self.Report(SERVICE_STOPPED, ERROR_INVALID_PARAMETER);
        return;
    }
    {
        // The memory goes before the manager hears "stopped".
        HeldMemory memory(SIZE_T{megabytes} * 1024 * 1024);
        if (megabytes != 0 && !memory.Held()) {
            self.Report(SERVICE_STOPPED, ERROR_NOT_ENOUGH_MEMORY);
            return;
        }
        self.Report(SERVICE_RUNNING);
        WaitForSingleObject(self.stop, INFINITE);
    }
    self.Report(SERVICE_STOPPED);
}

} // namespace corvale::demo
