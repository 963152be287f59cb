#pragma once
// Reads the installed services straight from the service control manager, and a process's
// working set. Used when the management service cannot give complete records.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvale::win32 {

struct ScmService {
    std::string name;
    std::string displayName;
    std::string pathName;
    std::optional<std::string> startName;   // none for drivers without an account
    std::optional<std::string> description; // none when the service has no description
    std::uint32_t serviceType = 0;
    std::uint32_t startType = 0;
    std::uint32_t errorControl = 0;
    std::uint32_t tagId = 0;
    std::uint32_t state = 0;
    std::uint32_t controlsAccepted = 0;
    std::uint32_t win32ExitCode = 0;
    std::uint32_t serviceSpecificExitCode = 0;
    std::uint32_t waitHint = 0;
    std::uint32_t processId = 0;
};

// Every installed Win32 service (no drivers, as Win32_Service has none), in the order the
// manager lists them; nullopt when
// the manager cannot be opened or enumerated. A service whose configuration cannot be read keeps
// empty configuration fields. machine names another computer ("\\NAME" or "NAME"); empty is
// this one. *lastError, when given, receives the system's error code of a failure.
std::optional<std::vector<ScmService>> ReadServices(const std::wstring& machine = {},
                                                    std::uint32_t* lastError = nullptr);

// Working set of a running process in bytes; nullopt when the process cannot be opened (ended,
// or no access).
std::optional<std::uint64_t> ProcessWorkingSet(std::uint32_t processId);

// Private bytes (committed memory only this process can use); nullopt when it cannot be read.
std::optional<std::uint64_t> ProcessPrivateBytes(std::uint32_t processId);

// The command line the process was started with; nullopt when it cannot be read.
std::optional<std::string> ProcessCommandLine(std::uint32_t processId);

// True when a process with this id exists right now.
bool ProcessExists(std::uint32_t processId);

} // namespace corvale::win32
