#pragma once
// Reads the installed services straight from the service control manager, and a process's
// working set. Used when the management service cannot give complete records.
#include "platform/service_records.h"

#include <windows.h>

#include <psapi.h>
#include <winsvc.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvale::win32 {

using corvale::ProcessRecord;
using corvale::ScmService;

// The system calls the records are read with (tests put failing ones in), and the size of the
// first buffer the service list is read into.
struct ServiceManagerApi {
    decltype(&::OpenSCManagerW) openManager = ::OpenSCManagerW;
    decltype(&::EnumServicesStatusExW) enumServices = ::EnumServicesStatusExW;
    decltype(&::OpenServiceW) openService = ::OpenServiceW;
    decltype(&::QueryServiceConfigW) queryConfig = ::QueryServiceConfigW;
    decltype(&::QueryServiceConfig2W) queryConfig2 = ::QueryServiceConfig2W;
    decltype(&::OpenProcess) openProcess = ::OpenProcess;
    decltype(&::GetExitCodeProcess) exitCode = ::GetExitCodeProcess;
    decltype(&::QueryFullProcessImageNameW) imageName = ::QueryFullProcessImageNameW;
    decltype(&::GetProcessTimes) processTimes = ::GetProcessTimes;
    decltype(&::GetProcessMemoryInfo) memoryInfo = ::GetProcessMemoryInfo;
    DWORD enumBufferBytes = 64 * 1024;
};

// Every installed Win32 service (no drivers, as Win32_Service has none), in the order the
// manager lists them; nullopt when the manager cannot be opened or its list cannot be read to
// the end. A service whose configuration cannot be read (deleted since it was listed) keeps
// empty configuration fields. machine names another computer ("\\NAME" or "NAME"); empty is
// this one. *lastError, when given, receives the system's error code of a failure.
std::optional<std::vector<ScmService>> ReadServices(const std::wstring& machine = {},
                                                    std::uint32_t* lastError = nullptr,
                                                    const ServiceManagerApi& api = {});

// Working set of a running process in bytes; nullopt when the process cannot be opened (ended,
// or no access).
std::optional<std::uint64_t> ProcessWorkingSet(std::uint32_t processId);

// Private bytes (committed memory only this process can use); nullopt when it cannot be read.
std::optional<std::uint64_t> ProcessPrivateBytes(std::uint32_t processId);

// The command line the process was started with; nullopt when it cannot be read.
std::optional<std::string> ProcessCommandLine(std::uint32_t processId);

// True when a process with this id exists right now.
bool ProcessExists(std::uint32_t processId);

// The running process with this id, its program, start time and working set read through one
// opening of it; nullopt when there is none or it cannot be opened.
std::optional<ProcessRecord> ReadProcess(std::uint32_t processId,
                                         const ServiceManagerApi& api = {});

// The running system as a record source.
class SystemServiceRecords final : public ServiceRecordSource {
  public:
    std::optional<std::vector<ScmService>> ReadServices() override;
    std::optional<ProcessRecord> ReadProcess(std::uint32_t processId) override;
    std::optional<std::vector<std::uint32_t>> ProcessIds() override;
};

} // namespace corvale::win32
