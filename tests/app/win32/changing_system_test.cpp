// The main window over a system whose services change while it scans: another thread stops and
// starts service-host services of the test's own, and installs, starts and deletes others,
// while the window is refreshed again and again. After each scan every shown row is checked
// against what the service manager says at that moment; a row whose service changed since the
// scan read the list counts as gone, every other row must agree with the manager exactly.
#include "app/win32/message_pump.h"
#include "app/win32/program.h"
#include "demo/win32/demo_services.h"
#include "platform/win32/com.h"
#include "platform/win32/service_manager.h"
#include "platform/win32/system_wmi.h"
#include "tests/support/win32_test_support.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace corvale::win32 {
namespace {

constexpr const wchar_t* kOwnPrefix = L"CorvaleChanging";

// Services of the test's own, each in a service host of its group: stopped and started again
// and again; and short-lived ones that are installed, started and deleted while running.
const std::vector<demo::DemoService> kSteady{
    {L"CorvaleChangingA", L"Changing A", L"CorvaleChangingG1", 6},
    {L"CorvaleChangingB", L"Changing B", L"CorvaleChangingG2", 2},
    {L"CorvaleChangingC", L"Changing C", L"CorvaleChangingG1", 4}};

// Changes the system's services until told to stop, and remembers when each was last changed.
class Changer {
  public:
    ~Changer() {
        Stop();
        std::vector<std::wstring> names;
        for (const demo::DemoService& s : kSteady) names.push_back(s.name);
        for (int k = 0; k < next_; ++k) names.push_back(Own(k));
        demo::RemoveDemoServices(names);
    }

    void Start() {
        thread_ = std::thread([this] {
            for (unsigned step = 0; !stop_; ++step) {
                {
                    std::lock_guard<std::mutex> hold(pause_);
                    Change(step);
                }
                Sleep(15);
            }
        });
    }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    // While the returned lock lives, nothing changes.
    std::unique_lock<std::mutex> Hold() { return std::unique_lock<std::mutex>(pause_); }
    // The change count when the named service last changed (0: never).
    unsigned LastChange(const std::string& name) {
        std::lock_guard<std::mutex> hold(log_);
        auto it = changedAt_.find(name);
        return it == changedAt_.end() ? 0 : it->second;
    }
    unsigned Changes() const { return changes_; }
    int Started() const { return started_; }
    int Stopped() const { return stopped_; }
    int Deleted() const { return deleted_; }

  private:
    static std::wstring Own(int k) { return kOwnPrefix + std::to_wstring(k); }

    void Mark(const std::wstring& name) {
        std::lock_guard<std::mutex> hold(log_);
        changedAt_[Utf8FromWide(name)] = ++changes_;
    }

    // The change is marked before and after, so a scan that overlaps it in any way sees a mark
    // later than its start.
    template <class F> void Changing(const std::wstring& name, F change) {
        Mark(name);
        change();
        Mark(name);
    }

    void Change(unsigned step) {
        const std::wstring steady = kSteady[step / 4 % kSteady.size()].name;
        switch (step % 4) {
        case 0: // one stops
            Changing(steady, [&] { stopped_ += demo::StopDemoService(steady).ok(); });
            break;
        case 1: { // a new one appears and runs
            const demo::DemoService fresh{Own(next_++), L"", L"CorvaleChangingG3", 1};
            Changing(fresh.name, [&] {
                if (demo::InstallDemoService(fresh).ok())
                    started_ += demo::StartDemoService(fresh.name).ok();
            });
            break;
        }
        case 2: // and is deleted while it runs
            Changing(Own(next_ - 1),
                     [&] { deleted_ += demo::DeleteDemoService(Own(next_ - 1)).ok(); });
            break;
        case 3: // the one stopped starts again
            Changing(steady, [&] { started_ += demo::StartDemoService(steady).ok(); });
            break;
        }
    }

    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mutex pause_, log_;
    std::map<std::string, unsigned> changedAt_;
    std::atomic<unsigned> changes_{0};
    std::atomic<int> started_{0}, stopped_{0}, deleted_{0};
    int next_ = 0;
};

std::string Cell(HWND list, int index, int subItem) {
    return Utf8FromWide(test_support::ListCellText(list, index, subItem));
}

std::string Text(HWND hwnd) {
    wchar_t buf[256] = {};
    GetWindowTextW(hwnd, buf, 256);
    return Utf8FromWide(buf);
}

TEST(ChangingSystem, EveryShownRowIsTheManagersAnswerOrGone) {
    ComApartment com;
    SystemWmiLocator wmi;
    auto window = OpenMainWindow(GetModuleHandleW(nullptr), SystemServices(wmi));
    ASSERT_NE(window, nullptr);
    const demo::DemoResult up = demo::SetUpDemoServices(kSteady);
    ASSERT_TRUE(up.ok()) << up.Utf8();
    Changer changer;
    HWND list = window->Child("ListView1");
    HWND refresh = window->Child("Command1");

    const ULONGLONG readStart = GetTickCount64();
    for (int i = 0; i < 10; ++i) ReadServices();
    std::printf("changing system: the manager's list read in %llu ms\n",
                (GetTickCount64() - readStart) / 10);
    changer.Start();
    int scans = 0, checked = 0, gone = 0, measured = 0;
    const char* scansWanted = std::getenv("CORVALE_CHANGING_SCANS");
    const int wanted = scansWanted && std::atoi(scansWanted) > 0 ? std::atoi(scansWanted) : 200;
    const ULONGLONG started = GetTickCount64();
    for (; scans < wanted && !::testing::Test::HasFailure(); ++scans) {
        const unsigned listedFrom = changer.Changes();
        SendMessageW(refresh, BM_CLICK, 0, 0);
        ASSERT_TRUE(PumpUntil([&] { return IsWindowEnabled(refresh) != FALSE; }, 60000))
            << "scan " << scans << " never finished";
        // Hold the system still and compare with what the manager says now.
        auto still = changer.Hold();
        const auto now = ReadServices();
        ASSERT_TRUE(now.has_value());
        std::map<std::string, const ScmService*> byName;
        for (const ScmService& s : *now) byName[s.name] = &s;
        const int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        std::map<std::string, int> hosts;
        for (int i = 0; i < rows; ++i) {
            const std::string name = Cell(list, i, 1), pid = Cell(list, i, 2),
                              memory = Cell(list, i, 3);
            ++hosts[pid];
            if (changer.LastChange(name) > listedFrom) {
                ++gone; // changed since the scan began: the row may show the older state
                continue;
            }
            SCOPED_TRACE("scan " + std::to_string(scans) + ", row " + name);
            const auto it = byName.find(name);
            ASSERT_NE(it, byName.end()) << "listed, yet the manager does not know it";
            const ScmService& s = *it->second;
            EXPECT_EQ(Cell(list, i, 0), s.displayName);
            EXPECT_EQ(pid, std::to_string(s.processId));
            EXPECT_EQ(Cell(list, i, 4), s.pathName);
            // Memory is shown only for the process the service runs in, which is a service
            // host that still runs and was started before this scan.
            if (!memory.empty()) {
                const auto host = ReadProcess(s.processId);
                ASSERT_TRUE(host.has_value()) << "memory shown for a process that is gone";
                ASSERT_TRUE(host->imagePath.has_value());
                EXPECT_NE(host->imagePath->find("svchost.exe"), std::string::npos);
                ++measured;
            }
            ++checked;
        }
        EXPECT_EQ(Text(window->Child("Label5")), std::to_string(rows));
        EXPECT_EQ(Text(window->Child("Label6")), std::to_string(hosts.size()));
    }
    changer.Stop();
    std::printf("changing system: %llu ms a scan\n", (GetTickCount64() - started) / scans);
    std::printf("changing system: %d scans, %d rows agreed with the manager (%d with memory), "
                "%d rows gone; %d starts, %d stops, %d deletions\n",
                scans, checked, measured, gone, changer.Started(), changer.Stopped(),
                changer.Deleted());
    EXPECT_EQ(scans, wanted);
    EXPECT_GT(checked, 0);
    EXPECT_GT(measured, 0);
    EXPECT_GT(changer.Deleted(), 0);
    EXPECT_GT(changer.Started(), 0);
    window.reset();
    test_support::DrainQuit();
}

} // namespace
} // namespace corvale::win32
