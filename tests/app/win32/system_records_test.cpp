// The program's records from the running system: the management service over COM, the service
// manager, and the whole scan over them.
#include "app/win32/message_pump.h"
#include "app/win32/program.h"
#include "platform/win32/com.h"
#include "platform/win32/service_manager.h"
#include "platform/win32/system_wmi.h"
#include "tests/support/win32_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace corvale::win32 {
namespace {

constexpr const char* kMoniker = "winmgmts:\\\\.\\root\\cimv2";

std::string TextOf(const WmiObject& o, std::string_view name) {
    auto v = o.Get(name);
    return v && v->ToText() ? *v->ToText() : std::string();
}

TEST(Moniker, NamesTheLocalNamespace) {
    EXPECT_EQ(NamespaceFromMoniker("winmgmts:\\\\.\\root\\cimv2"), "root\\cimv2");
    EXPECT_EQ(NamespaceFromMoniker("WinMgmts:{impersonationLevel=impersonate}!\\\\.\\root\\cimv2"),
              "root\\cimv2");
    EXPECT_EQ(NamespaceFromMoniker("winmgmts://localhost/root/cimv2"), "root\\cimv2");
    EXPECT_EQ(NamespaceFromMoniker("winmgmts:"), "root\\cimv2");
    EXPECT_EQ(NamespaceFromMoniker("winmgmts:\\\\otherhost\\root\\cimv2"), std::nullopt);
    EXPECT_EQ(NamespaceFromMoniker("winmgmts:{impersonationLevel=impersonate"), std::nullopt);
}

class SystemRecords : public ::testing::Test {
  protected:
    ComApartment com_;
};

TEST_F(SystemRecords, ManagementServiceOverComAnswersAProcessQuery) {
    ComWmiLocator locator;
    auto services = locator.Bind(kMoniker);
    ASSERT_NE(services, nullptr);
    const std::string pid = std::to_string(GetCurrentProcessId());
    const WmiQueryResult r =
        services->ExecQuery("Select * from Win32_Process where ProcessID = \"" + pid + "\"", 48);
    ASSERT_TRUE(r.ok()) << r.error;
    ASSERT_EQ(r.objects.size(), 1u);
    EXPECT_EQ(TextOf(r.objects[0], "ProcessID"), pid);
    EXPECT_TRUE(r.objects[0].Get("WorkingSetSize").has_value());
    EXPECT_FALSE(services->ExecQuery("Select * from", 48).ok());
    EXPECT_EQ(locator.Bind("winmgmts:\\\\.\\root\\nosuchnamespace"), nullptr);
}

TEST_F(SystemRecords, ServiceManagerRecordsReadLikeTheManagementServicesOwn) {
    ServiceManagerWmiLocator locator;
    EXPECT_EQ(locator.Bind("winmgmts:\\\\.\\root\\default"), nullptr);
    auto services = locator.Bind(kMoniker);
    ASSERT_NE(services, nullptr);
    const WmiQueryResult all = services->ExecQuery("Select * from Win32_Service", 48);
    ASSERT_TRUE(all.ok()) << all.error;
    ASSERT_FALSE(all.objects.empty());

    // Services only: the drivers the manager also knows are not Win32_Service records.
    const std::set<std::string> types{"Own Process", "Share Process", "Unknown"};
    const std::set<std::string> modes{"Boot", "System", "Auto", "Manual", "Disabled", "Unknown"};
    const std::set<std::string> states{"Stopped", "Start Pending",    "Stop Pending",
                                       "Running", "Continue Pending", "Pause Pending",
                                       "Paused",  "Unknown"};
    const std::set<std::string> errors{"Ignore", "Normal", "Severe", "Critical", "Unknown"};
    int running = 0;
    for (const WmiObject& s : all.objects) {
        const std::string name = TextOf(s, "Name");
        SCOPED_TRACE(name);
        EXPECT_EQ(s.Properties().size(), 20u);
        EXPECT_EQ(TextOf(s, "Caption"), TextOf(s, "DisplayName"));
        EXPECT_TRUE(types.count(TextOf(s, "ServiceType")));
        EXPECT_TRUE(modes.count(TextOf(s, "StartMode")));
        EXPECT_TRUE(states.count(TextOf(s, "State")));
        EXPECT_TRUE(errors.count(TextOf(s, "ErrorControl")));
        const std::string state = TextOf(s, "State");
        EXPECT_EQ(s.Get("Started")->ToBool(), state != "Stopped" && state != "Start Pending");
        const bool runs = TextOf(s, "State") == "Running";
        if (runs) {
            ++running;
            EXPECT_EQ(TextOf(s, "Status"), "OK");
        }
        // A description is a text or null, never an empty text.
        const auto description = s.Get("Description");
        ASSERT_TRUE(description.has_value());
        EXPECT_TRUE(description->IsNull() || !TextOf(s, "Description").empty());
        EXPECT_FALSE(TextOf(s, "ProcessID").empty());
    }
    EXPECT_GT(running, 0);

    // One service by its short name, letter case ignored; an unknown name gives none.
    const std::string first = TextOf(all.objects.front(), "Name");
    const WmiQueryResult one =
        services->ExecQuery("Select * from Win32_Service where name = \"" + first + "\"", 48);
    ASSERT_TRUE(one.ok());
    ASSERT_EQ(one.objects.size(), 1u);
    EXPECT_EQ(TextOf(one.objects[0], "Name"), first);
    EXPECT_TRUE(services->ExecQuery("Select * from Win32_Service where name = \"no such\"", 48)
                    .objects.empty());

    // Our own process by id, with its working set; a process that does not exist gives none.
    const std::string pid = std::to_string(GetCurrentProcessId());
    const WmiQueryResult self =
        services->ExecQuery("Select * from Win32_Process where ProcessID = \"" + pid + "\"", 48);
    ASSERT_EQ(self.objects.size(), 1u);
    const auto bytes = self.objects[0].Get("WorkingSetSize")->ToInt64();
    ASSERT_TRUE(bytes.has_value());
    EXPECT_GT(*bytes, 0);
    EXPECT_TRUE(
        services->ExecQuery("Select * from Win32_Process where ProcessID = \"4294967295\"", 48)
            .objects.empty());
    EXPECT_FALSE(services->ExecQuery("Select * from Win32_Thread", 48).ok());
}

// Each system call the service-manager records are read with fails in turn (access denied).
long gFailAt = -1, gCalls = 0, gEnumCalls = 0;
bool FailNow() {
    if (gCalls++ != gFailAt) return false;
    SetLastError(ERROR_ACCESS_DENIED);
    return true;
}
SC_HANDLE WINAPI FailingOpenManager(LPCWSTR m, LPCWSTR d, DWORD a) {
    return FailNow() ? nullptr : OpenSCManagerW(m, d, a);
}
// Hands the list out three records a round, as a manager with many services does (Wine's own
// gives all or nothing).
BOOL WINAPI FailingEnumServices(SC_HANDLE h, SC_ENUM_TYPE l, DWORD t, DWORD s, LPBYTE b, DWORD n,
                                LPDWORD need, LPDWORD count, LPDWORD resume, LPCWSTR group) {
    ++gEnumCalls;
    if (FailNow()) return FALSE;
    static std::vector<BYTE> all;
    static DWORD total = 0;
    if (*resume == 0) {
        DWORD bytes = 0, records = 0, from = 0;
        EnumServicesStatusExW(h, l, t, s, nullptr, 0, &bytes, &records, &from, group);
        all.assign(bytes, 0);
        from = 0;
        if (!EnumServicesStatusExW(h, l, t, s, all.data(), bytes, &bytes, &total, &from, group))
            return FALSE;
    }
    const auto* records = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(all.data());
    const DWORD first = *resume, batch = std::min<DWORD>(3, total - first);
    if (n < batch * sizeof *records) {
        *need = batch * sizeof *records;
        *count = 0;
        SetLastError(ERROR_MORE_DATA);
        return FALSE;
    }
    // The names stay in the snapshot, which outlives the caller's use of them.
    std::memcpy(b, records + first, batch * sizeof *records);
    *count = batch;
    *resume = first + batch;
    if (*resume < total) {
        SetLastError(ERROR_MORE_DATA);
        return FALSE;
    }
    *resume = 0;
    return TRUE;
}
SC_HANDLE WINAPI FailingOpenService(SC_HANDLE h, LPCWSTR n, DWORD a) {
    return FailNow() ? nullptr : OpenServiceW(h, n, a);
}
BOOL WINAPI FailingQueryConfig(SC_HANDLE h, LPQUERY_SERVICE_CONFIGW c, DWORD n, LPDWORD need) {
    return !FailNow() && QueryServiceConfigW(h, c, n, need);
}
BOOL WINAPI FailingQueryConfig2(SC_HANDLE h, DWORD level, LPBYTE b, DWORD n, LPDWORD need) {
    return !FailNow() && QueryServiceConfig2W(h, level, b, n, need);
}
HANDLE WINAPI FailingOpenProc(DWORD a, BOOL inherit, DWORD id) {
    return FailNow() ? nullptr : OpenProcess(a, inherit, id);
}
BOOL WINAPI FailingExitCode(HANDLE h, LPDWORD code) {
    return !FailNow() && GetExitCodeProcess(h, code);
}
BOOL WINAPI FailingImageName(HANDLE h, DWORD f, LPWSTR name, PDWORD size) {
    return !FailNow() && QueryFullProcessImageNameW(h, f, name, size);
}
BOOL WINAPI FailingTimes(HANDLE h, LPFILETIME a, LPFILETIME b, LPFILETIME c, LPFILETIME d) {
    return !FailNow() && GetProcessTimes(h, a, b, c, d);
}
BOOL WINAPI FailingMemoryInfo(HANDLE h, PPROCESS_MEMORY_COUNTERS c, DWORD n) {
    return !FailNow() && GetProcessMemoryInfo(h, c, n);
}

TEST_F(SystemRecords, EveryServiceManagerCallFailsInTurnWithoutAPartialAnswer) {
    const auto real = ReadServices();
    ASSERT_TRUE(real.has_value());
    // A small first buffer: the list comes in several rounds.
    ServiceManagerApi api{FailingOpenManager,
                          FailingEnumServices,
                          FailingOpenService,
                          FailingQueryConfig,
                          FailingQueryConfig2,
                          FailingOpenProc,
                          FailingExitCode,
                          FailingImageName,
                          FailingTimes,
                          FailingMemoryInfo,
                          1024};
    int failedRuns = 0;
    for (long n = 0;; ++n) {
        gFailAt = n;
        gCalls = gEnumCalls = 0;
        const auto got = ReadServices({}, nullptr, api);
        const bool hit = gCalls > n;
        if (!got) {
            ++failedRuns;
            EXPECT_TRUE(hit);
        } else {
            // The whole list, each record the manager's own or, unread, without configuration.
            ASSERT_EQ(got->size(), real->size()) << "call " << n << " failing";
            for (std::size_t i = 0; i < got->size(); ++i) {
                EXPECT_EQ((*got)[i].name, (*real)[i].name);
                if ((*got)[i].configured)
                    EXPECT_EQ((*got)[i].pathName, (*real)[i].pathName);
                else
                    EXPECT_TRUE((*got)[i].pathName.empty());
            }
        }
        if (!hit) {
            EXPECT_GT(gEnumCalls, 2) << "the list came in one round";
            break;
        }
    }
    EXPECT_GE(failedRuns, 3);

    const auto self = ReadProcess(GetCurrentProcessId());
    ASSERT_TRUE(self && self->imagePath && self->createdAt && self->workingSet);
    for (long n = 0;; ++n) {
        gFailAt = n;
        gCalls = 0;
        const auto got = ReadProcess(GetCurrentProcessId(), api);
        if (got) {
            EXPECT_EQ(got->imagePath.value_or(*self->imagePath), *self->imagePath);
            EXPECT_EQ(got->createdAt.value_or(*self->createdAt), *self->createdAt);
        }
        if (gCalls <= n) {
            EXPECT_TRUE(got && got->workingSet && got->imagePath);
            break;
        }
    }
    gFailAt = -1;
}

// Under Wine the management service's Win32_Service lacks PathName, so the program reads the
// service manager; on Windows it keeps the management service. Either way Refresh lists at
// least one running svchost-hosted service with the memory of its process.
TEST_F(SystemRecords, RefreshListsSvchostServicesOfTheRunningSystem) {
    SystemWmiLocator wmi;
    auto window = OpenMainWindow(GetModuleHandleW(nullptr), SystemServices(wmi));
    ASSERT_NE(window, nullptr);
    SendMessageW(window->Child("Command1"), BM_CLICK, 0, 0);
    ASSERT_TRUE(
        PumpUntil([&] { return IsWindowEnabled(window->Child("Command1")) != FALSE; }, 60000));
    Win32ListView& list = window->List();
    ASSERT_GT(list.RowCount(), 0);
    bool measured = false;
    for (int row = 1; row <= list.RowCount(); ++row) {
        EXPECT_NE(list.CellText(row, 4).find("svchost"), std::string::npos);
        EXPECT_NE(list.CellText(row, 2), "0");
        const std::string memory = list.CellText(row, 3);
        if (!memory.empty() && memory != "00.00 MB") measured = true;
    }
    EXPECT_TRUE(measured) << "no host process with a working set";
    EXPECT_NE(window->GetText(window->Child("Label7")), "00.00 MB");
    window.reset();
    test_support::DrainQuit();
}

} // namespace
} // namespace corvale::win32
