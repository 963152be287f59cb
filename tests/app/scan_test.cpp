#include "app/form_data.h"
#include "app/frm_main_logic.h"
#include "platform/embedded.h"
#include "platform/fixture_wmi.h"
#include "platform/host/memory_list_control.h"
#include "tests/app/app_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <ostream>

CORVALE_EMBEDDED_TABLE(app_test_data)

namespace corvale {
namespace {

struct FakeBusyBar : BusyBar {
    std::vector<std::string> calls;
    void SetStyle(int s) override { calls.push_back("Style=" + std::to_string(s)); }
    void BeginDisplay() override { calls.push_back("Begin"); }
    void EndDisplay() override { calls.push_back("End"); }
};

WmiObject Service(std::string name, std::string path, std::int64_t pid) {
    WmiObject o;
    o.Set("Name", WmiValue::Text(name));
    o.Set("DisplayName", WmiValue::Text(name + " display"));
    o.Set("PathName", WmiValue::Text(std::move(path)));
    o.Set("ProcessId", WmiValue::Integer(pid));
    return o;
}

WmiObject Process(std::int64_t pid, WmiValue workingSet) {
    WmiObject o;
    o.Set("ProcessId", WmiValue::Integer(pid));
    o.Set("Name", WmiValue::Text("svchost.exe"));
    o.Set("WorkingSetSize", std::move(workingSet));
    return o;
}

const char* const kHost = "C:\\Windows\\System32\\svchost.exe -k netsvcs";

struct ControlStates {
    bool refresh, save, copy, timer, label, list;
    bool operator==(const ControlStates&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const ControlStates& s) {
        return out << "refresh " << s.refresh << " save " << s.save << " copy " << s.copy
                   << " timer " << s.timer << " label " << s.label << " list " << s.list;
    }
};
constexpr ControlStates kIdleEmpty{true, false, false, false, false, true};
constexpr ControlStates kScanning{false, true, true, true, true, false};

class ScanTest : public ::testing::Test {
  protected:
    FixtureWmi wmi{FixtureData{}};
    Form form = *LoadFrmMain().form;
    MemoryListControl list{{"Service Display Name", "Service", "PID", "PID Memory", "Path"}};
    FakeBusyBar bar;
    std::function<void()> onYield;
    int yields = 0;
    FrmMainLogic main{form, MainWindowSeams{list, wmi, bar,
                                            [this] {
                                                ++yields;
                                                if (onYield) onYield();
                                            },
                                            NumberLocale{}, nullptr}};

    std::string Text(const char* name) { return form.Find(name)->text; }
    bool Enabled(const char* name) { return form.Find(name)->enabled; }
    bool Visible(const char* name) { return form.Find(name)->visible; }
    void Scan() {
        main.OnRefreshClick();
        main.OnTimerTick();
    }
    std::vector<std::string> Cells(int cell) { return test_support::ColumnTexts(list, cell); }
    // What a scan switches: Refresh, Save and Copy enabled, the timer armed, the "scanning"
    // label and the list shown.
    ControlStates States() {
        return {Enabled("Command1"), Enabled("Command2"), Enabled("Command3"),
                Enabled("Timer1"),   Visible("Label2"),   Visible("ListView1")};
    }
};

TEST_F(ScanTest, ControlStatesBeforeDuringAndAfterAScan) {
    // As loaded from the design data.
    EXPECT_EQ(States(), kIdleEmpty);

    wmi.data().services = {Service("a", kHost, 8)};
    std::vector<bool> timerAtYield;
    onYield = [&] { timerAtYield.push_back(Enabled("Timer1")); };
    main.OnRefreshClick();
    EXPECT_EQ(timerAtYield, std::vector<bool>{false}); // the timer is armed after the yield
    EXPECT_EQ(States(), kScanning);
    EXPECT_FALSE(list.Visible());
    EXPECT_EQ(bar.calls, (std::vector<std::string>{"Style=4", "Begin"}));

    bool checkedDuringScan = false;
    onYield = [&] {
        if (checkedDuringScan) return;
        checkedDuringScan = true;
        EXPECT_EQ(States(), (ControlStates{false, true, true, false, true, false}));
    };
    main.OnTimerTick();
    EXPECT_TRUE(checkedDuringScan);
    EXPECT_EQ(States(), (ControlStates{true, true, true, false, false, true}));
    EXPECT_TRUE(list.Visible());
    EXPECT_EQ(bar.calls.back(), "End");
}

TEST_F(ScanTest, ListsOnlyRunningServicesWhosePathNamesSvchostInLowerCase) {
    WmiObject noPid = Service("nopid", kHost, 0);
    noPid.Set("ProcessId", WmiValue::Null());
    wmi.data().services = {Service("stopped", kHost, 0),
                           Service("capitals", "C:\\WINDOWS\\SYSTEM32\\SVCHOST.EXE -k x", 12),
                           Service("own", "C:\\Windows\\System32\\spoolsv.exe", 16),
                           Service("empty", "", 20),
                           noPid,
                           Service("listed", kHost, 24)};
    Scan();
    EXPECT_EQ(Cells(1), std::vector<std::string>{"listed"});
    EXPECT_EQ(Cells(0), std::vector<std::string>{"listed display"});
    EXPECT_EQ(Cells(2), std::vector<std::string>{"24"});
    EXPECT_EQ(Cells(4), std::vector<std::string>{kHost});
    EXPECT_EQ(Text("Label5"), "1");
}

TEST_F(ScanTest, TenServicesInOneHostShareItsMemoryWhichCountsOnce) {
    for (int i = 0; i < 10; ++i)
        wmi.data().services.push_back(Service(std::string("s") + std::to_string(i), kHost, 88));
    wmi.data().processes = {Process(88, WmiValue::Text("5505024"))};
    Scan();
    EXPECT_EQ(list.RowCount(), 10);
    EXPECT_EQ(main.HostIds(), std::vector<std::string>{"88"});
    EXPECT_EQ(Cells(3), std::vector<std::string>(10, "05.25 MB"));
    EXPECT_EQ(Text("Label5"), "10");
    EXPECT_EQ(Text("Label6"), "1");
    EXPECT_EQ(Text("Label7"), "05.25 MB");
    // One service query and one process query, each through its own binding.
    EXPECT_EQ(wmi.bindCount, 2);
    EXPECT_EQ(wmi.queries,
              (std::vector<std::string>{"Select * from Win32_Service",
                                        "Select * from Win32_Process where ProcessID = \"88\""}));
}

TEST_F(ScanTest, VanishedOrUnreadableHostsKeepTheirRowsAndCount) {
    wmi.data().services = {Service("gone", kHost, 4), Service("unreadable", kHost, 8),
                           Service("fine", kHost, 12)};
    wmi.data().processes = {Process(8, WmiValue::Null()),
                            Process(12, WmiValue::Text("1610612736"))};
    Scan();
    EXPECT_EQ(Cells(3), (std::vector<std::string>{"", "00.00 MB", "1,536.00 MB"}));
    EXPECT_EQ(Text("Label6"), "3");
    EXPECT_EQ(Text("Label7"), "1,536.00 MB");
}

TEST_F(ScanTest, FailedBindingOrQueryLeavesAnEmptyFinishedWindow) {
    wmi.data().services = {Service("a", kHost, 8)};
    Scan();
    ASSERT_EQ(list.RowCount(), 1);
    wmi.bindFails = true;
    Scan();
    EXPECT_EQ(list.RowCount(), 0);
    EXPECT_EQ(Text("Label5"), "0");
    EXPECT_EQ(Text("Label6"), "0");
    EXPECT_EQ(Text("Label7"), "00.00 MB");
    EXPECT_TRUE(Enabled("Command1"));
    EXPECT_TRUE(Visible("ListView1"));
}

TEST_F(ScanTest, SortingInTheMiddleOfTheMemoryPassStillFillsEveryRow) {
    wmi.data().services = {Service("a", kHost, 1000), Service("b", kHost, 4),
                           Service("c", kHost, 88), Service("d", kHost, 4)};
    wmi.data().processes = {Process(4, WmiValue::Text("1048576")),
                            Process(88, WmiValue::Text("2097152")),
                            Process(1000, WmiValue::Text("3145728"))};
    bool sorted = false; // one header click while the first host's rows are being filled
    onYield = [&] {
        if (!sorted && wmi.queries.size() == 2) {
            sorted = true;
            main.OnColumnClick(3);
        }
    };
    Scan();
    EXPECT_EQ(Cells(2), (std::vector<std::string>{"1000", "88", "4", "4"}));
    EXPECT_EQ(Cells(3), (std::vector<std::string>{"03.00 MB", "02.00 MB", "01.00 MB", "01.00 MB"}));
    EXPECT_EQ(Text("Label7"), "06.00 MB");
}

TEST_F(ScanTest, RecordedMachineGivesTheExpectedCountsTwiceInARow) {
    auto json = embedded::Find(embedded::app_test_data, "services_win10.json");
    auto data =
        ParseFixtureJson(std::string_view(reinterpret_cast<const char*>(json.data()), json.size()));
    ASSERT_TRUE(data);
    wmi.data() = *data;
    // What the scan should find, worked out from the records themselves.
    std::map<std::string, std::string> workingSet;
    for (const WmiObject& p : data->processes)
        workingSet[*p.Get("ProcessId")->ToText()] = *p.Get("WorkingSetSize")->ToText();
    std::vector<std::string> hosts;
    int rows = 0, vanishedRows = 0;
    std::int64_t total = 0;
    for (const WmiObject& s : data->services) {
        const std::string path = *s.Get("PathName")->ToText(), pid = *s.Get("ProcessId")->ToText();
        if (path.find("svchost") == std::string::npos || pid == "0") continue;
        ++rows;
        if (!workingSet.count(pid)) ++vanishedRows;
        if (std::find(hosts.begin(), hosts.end(), pid) != hosts.end()) continue;
        hosts.push_back(pid);
        if (workingSet.count(pid)) total += std::stoll(workingSet[pid]);
    }
    ASSERT_GT(rows, 50);
    ASSERT_GT(vanishedRows, 0);
    for (int pass = 0; pass < 2; ++pass) {
        Scan();
        EXPECT_EQ(list.RowCount(), rows);
        EXPECT_EQ(Text("Label5"), std::to_string(rows));
        EXPECT_EQ(Text("Label6"), std::to_string(hosts.size()));
        EXPECT_EQ(Text("Label7"), FormatSizeText(*Currency::FromWhole(total), true));
        EXPECT_EQ(main.HostIds(), hosts);
        const auto memory = Cells(3);
        EXPECT_EQ(std::count(memory.begin(), memory.end(), std::string()), vanishedRows);
    }
}

struct FakeDetailHost : DetailWindowHost {
    Form form = *LoadFrmDetailService().form;
    FrmDetailServiceLogic detail;
    int shown = 0, focused = 0;
    explicit FakeDetailHost(WmiLocator& wmi) : detail(form, wmi, {}) {}
    FrmDetailServiceLogic& ShowDetailWindow() override {
        ++shown;
        return detail;
    }
    void FocusDetailWindow() override { ++focused; }
};

TEST_F(ScanTest, DoubleClickFillsTheOneDetailWindowFromTheSelectedRow) {
    FakeDetailHost host(wmi);
    main.OnListDoubleClick(host);
    EXPECT_EQ(host.shown, 0); // empty list: nothing opens

    wmi.data().services = {Service("Dhcp", kHost, 8), Service("Dnscache", kHost, 8)};
    Scan();
    list.SetSelectedRow(2);
    main.OnListDoubleClick(host);
    EXPECT_EQ(host.detail.Caption(), "Detailed Service Info - Dnscache display");
    EXPECT_NE(host.detail.Text().find("Name: \t\t\tDnscache\r\n"), std::string::npos);
    list.SetSelectedRow(1);
    main.OnListDoubleClick(host);
    EXPECT_EQ(host.detail.Caption(), "Detailed Service Info - Dhcp display");
    EXPECT_NE(host.detail.Text().find("Name: \t\t\tDhcp\r\n"), std::string::npos);
    EXPECT_EQ(host.shown, 2);
    EXPECT_EQ(host.focused, 2);
    EXPECT_EQ(wmi.queries.back(), "Select * from Win32_Service where name = \"Dhcp\"");
}

} // namespace
} // namespace corvale
