// Demo services of the project's own, installed into the current system (a Wine prefix in the
// tests and tools/run): svchost groups, their services, the memory each holds.
//
//   corvale::demo::DemoService s{L"CorvaleDemoX", L"Démo X", L"CorvaleDemoGroup", 64};
//   auto r = corvale::demo::SetUpDemoServices({s});   // files, install, start; idempotent
//   ASSERT_TRUE(r.ok()) << r.Utf8();
//   ...
//   corvale::demo::RemoveDemoServices({s.name});      // stop and delete
//
// Every service runs CorvaleDemoService.dll inside `svchost.exe -k <group>`, or
// CorvaleDemoSolo.exe in a process of its own when the group is empty. Both files are copied to
// DemoInstallFolder() first.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace corvale::demo {

struct DemoService {
    std::wstring name;        // the short name, the key under ...\Services
    std::wstring displayName; // empty: the name
    std::wstring group;       // svchost group; empty: a process of its own (not svchost)
    DWORD workingSetMB = 0;   // memory the service commits and writes while it runs
    bool running = true;      // false: installed and left stopped
};

// error is a Win32 error code (0 on success); what says which step and which service.
struct DemoResult {
    DWORD error = ERROR_SUCCESS;
    std::wstring what;
    bool ok() const { return error == ERROR_SUCCESS; }
    std::string Utf8() const; // what and the system's text for error
};

struct DemoServiceState {
    std::wstring name;
    std::wstring displayName;
    std::wstring group; // empty for a service in a process of its own
    DWORD workingSetMB = 0;
    DWORD state = 0;     // SERVICE_RUNNING, SERVICE_STOPPED, ...
    DWORD processId = 0; // 0 when not running
};

// %SystemRoot%\CorvaleDemo: where the service files live inside the system.
std::wstring DemoInstallFolder();

// Copies CorvaleDemoService.dll and CorvaleDemoSolo.exe into DemoInstallFolder() from `from`, or,
// when empty, from beside the running program or else from the build folder. A file already there
// with the same bytes is left alone (a running host may hold it).
DemoResult InstallDemoFiles(const std::wstring& from = {});

// Creates the service or brings an existing one up to date (type, command, display name, group
// list, Parameters). Does not start it.
DemoResult InstallDemoService(const DemoService& service);

// Starts the service and waits until it runs. Retries while the manager is busy (a prefix that is
// still starting, a host of the same group starting); one that runs already is fine.
DemoResult StartDemoService(const std::wstring& name, DWORD timeoutMs = 60000);

// Stops the service and waits until it has stopped; one that is stopped already is fine.
DemoResult StopDemoService(const std::wstring& name, DWORD timeoutMs = 30000);

// Stops and deletes the service and takes it out of its svchost group; a missing one is fine.
DemoResult DeleteDemoService(const std::wstring& name);

// InstallDemoFiles, then every service installed, started or stopped as `running` says.
DemoResult SetUpDemoServices(const std::vector<DemoService>& services);

// DeleteDemoService for each name; the first failure is returned, the rest still tried.
DemoResult RemoveDemoServices(const std::vector<std::wstring>& names);

// The services installed by this library (their Parameters carry its mark), sorted by name.
std::vector<DemoServiceState> ListDemoServices();

// The demo system tools/run shows: several svchost groups, hosts from a few MB to a few hundred,
// display names with accents and another script, one stopped service, one not in svchost.
std::vector<DemoService> DefaultDemoSet();

// What tools/run prepares: DefaultDemoSet() set up (and, when systemToo, the system's own svchost
// services started); *summary gets one line saying what runs.
DemoResult PrepareDemoSystem(bool systemToo, std::wstring* summary = nullptr);

// Starts the system's own services that run in svchost (those the system itself installed, not
// ours) and are not disabled; returns the names that run afterwards. Failures are skipped.
std::vector<std::wstring> StartSystemSvchostServices(DWORD timeoutMs = 20000);

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

// A path as this system names it: a Unix path ("/home/...") under Wine becomes the loader's DOS
// name for it (Z:\home\... by default); any other path stays as it is.
std::wstring WindowsPathOf(const std::wstring& path);

} // namespace corvale::demo
