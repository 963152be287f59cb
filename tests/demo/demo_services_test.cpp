// The demo-service library against the system's own service manager (a Wine prefix here).
#include "demo/win32/demo_services.h"

#include <psapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

namespace corvale::demo {
namespace {

const std::wstring kGroup = L"CorvaleDemoTestGroup";

std::optional<DemoServiceState> Find(const std::wstring& name) {
    for (const DemoServiceState& s : ListDemoServices())
        if (s.name == name) return s;
    return std::nullopt;
}

std::vector<std::wstring> GroupMembers(const std::wstring& group) {
    wchar_t data[1024] = {};
    DWORD size = sizeof data - 2 * sizeof(wchar_t);
    if (RegGetValueW(HKEY_LOCAL_MACHINE,
                     L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Svchost", group.c_str(),
                     RRF_RT_REG_MULTI_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return {};
    std::vector<std::wstring> out;
    for (const wchar_t* p = data; *p; p += wcslen(p) + 1) out.emplace_back(p);
    return out;
}

SIZE_T WorkingSetOf(DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!process) return 0;
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    const SIZE_T bytes =
        GetProcessMemoryInfo(process, &counters, sizeof counters) ? counters.WorkingSetSize : 0;
    CloseHandle(process);
    return bytes;
}

class DemoServices : public ::testing::Test {
  protected:
    const std::vector<DemoService> set_{
        {L"CorvaleTestSmall", L"Petit service d'essai", kGroup, 4},
        {L"CorvaleTestLarge", L"Большой тестовый", kGroup, 96},
        {L"CorvaleTestOwn", L"Own process", L"", 8},
        {L"CorvaleTestIdle", L"Idle", kGroup, 4, false},
    };
    void TearDown() override {
        RemoveDemoServices({L"CorvaleTestSmall", L"CorvaleTestLarge", L"CorvaleTestOwn",
                            L"CorvaleTestIdle", L"CorvaleTestTooBig"});
    }
};

TEST_F(DemoServices, RunInSvchostWithTheirMemoryAndGoAwayCleanly) {
    DemoResult r = SetUpDemoServices(set_);
    ASSERT_TRUE(r.ok()) << r.Utf8();
    // A second run finds everything in place and changes nothing.
    r = SetUpDemoServices(set_);
    ASSERT_TRUE(r.ok()) << r.Utf8();

    const auto small = Find(L"CorvaleTestSmall"), large = Find(L"CorvaleTestLarge"),
               own = Find(L"CorvaleTestOwn"), idle = Find(L"CorvaleTestIdle");
    ASSERT_TRUE(small && large && own && idle);
    EXPECT_EQ(small->state, DWORD{SERVICE_RUNNING});
    EXPECT_EQ(large->state, DWORD{SERVICE_RUNNING});
    EXPECT_EQ(own->state, DWORD{SERVICE_RUNNING});
    EXPECT_EQ(idle->state, DWORD{SERVICE_STOPPED});
    EXPECT_EQ(large->displayName, L"Большой тестовый");
    EXPECT_EQ(large->group, kGroup);
    EXPECT_EQ(own->group, L"");
    EXPECT_EQ(large->workingSetMB, 96u);
    auto members = GroupMembers(kGroup);
    std::sort(members.begin(), members.end());
    EXPECT_EQ(members, (std::vector<std::wstring>{L"CorvaleTestIdle", L"CorvaleTestLarge",
                                                  L"CorvaleTestSmall"}));

    // The large host holds its 96 MB; the small one far less.
    const SIZE_T largeBytes = WorkingSetOf(large->processId);
    const SIZE_T smallBytes = WorkingSetOf(small->processId);
    EXPECT_GE(largeBytes, SIZE_T{96} << 20);
    EXPECT_GT(smallBytes, 0u);
    EXPECT_LT(smallBytes + (SIZE_T{64} << 20), largeBytes);

    // Stop: the host lets its service go and the state says so.
    r = StopDemoService(L"CorvaleTestLarge");
    ASSERT_TRUE(r.ok()) << r.Utf8();
    EXPECT_EQ(Find(L"CorvaleTestLarge")->state, DWORD{SERVICE_STOPPED});
    r = StartDemoService(L"CorvaleTestLarge");
    ASSERT_TRUE(r.ok()) << r.Utf8();

    // Moving a service to no group takes it out of the group list.
    DemoService moved = set_[0];
    moved.group.clear();
    ASSERT_TRUE(StopDemoService(moved.name).ok());
    r = InstallDemoService(moved);
    ASSERT_TRUE(r.ok()) << r.Utf8();
    members = GroupMembers(kGroup);
    EXPECT_EQ(std::count(members.begin(), members.end(), moved.name), 0);

    // Delete: gone from the manager and from the groups; a second delete is fine.
    r = RemoveDemoServices(
        {L"CorvaleTestSmall", L"CorvaleTestLarge", L"CorvaleTestOwn", L"CorvaleTestIdle"});
    ASSERT_TRUE(r.ok()) << r.Utf8();
    EXPECT_FALSE(Find(L"CorvaleTestLarge"));
    EXPECT_FALSE(Find(L"CorvaleTestOwn"));
    EXPECT_TRUE(GroupMembers(kGroup).empty());
    EXPECT_TRUE(DeleteDemoService(L"CorvaleTestLarge").ok());
}

TEST_F(DemoServices, FailuresSayWhichServiceAndWhy) {
    const DemoResult r = StartDemoService(L"CorvaleNoSuchService", 2000);
    EXPECT_EQ(r.error, DWORD{ERROR_SERVICE_DOES_NOT_EXIST});
    EXPECT_NE(r.Utf8().find("CorvaleNoSuchService"), std::string::npos);
    EXPECT_EQ(InstallDemoService({L"bad\\name", L"", kGroup, 1}).error, DWORD{ERROR_INVALID_NAME});

    // A service that refuses to start (more memory than it may take) gives its own reason.
    ASSERT_TRUE(SetUpDemoServices({{L"CorvaleTestTooBig", L"", kGroup, 5000, false}}).ok());
    EXPECT_EQ(StartDemoService(L"CorvaleTestTooBig", 20000).error, DWORD{ERROR_INVALID_PARAMETER});
    EXPECT_TRUE(DeleteDemoService(L"CorvaleTestTooBig").ok());
}

} // namespace
} // namespace corvale::demo
