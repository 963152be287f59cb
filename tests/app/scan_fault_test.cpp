// The scan against a system that fails or changes under it. Every call at the scan's seams (a
// binding, a query, each object of an enumeration, each property read, the service manager's
// list and each of its records, each process read) fails in turn, and processes end, start and
// take over ids between the scan's steps. Whatever happens, the scan finishes and every row
// shows only what the system said of that row's own service and host process.
#include "app/form_data.h"
#include "app/frm_main_logic.h"
#include "platform/fixture_wmi.h"
#include "platform/host/memory_list_control.h"
#include "platform/service_records.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace corvale {
namespace {

// Counts the calls at the seams; the one numbered failAt fails.
struct FaultPlan {
    long failAt = -1;
    long calls = 0;
    bool Fail() { return calls++ == failAt; }
};

class FaultyServices final : public WmiServices {
  public:
    FaultyServices(std::unique_ptr<WmiServices> inner, FaultPlan& plan)
        : inner_(std::move(inner)), plan_(plan) {}
    WmiQueryResult ExecQuery(std::string_view wql, int flags) override {
        if (plan_.Fail()) return WmiQueryResult::Failure("injected: query");
        WmiQueryResult r = inner_->ExecQuery(wql, flags);
        if (!r.ok()) return r;
        for (WmiObject& o : r.objects) {
            // The enumeration breaks off at this object: the query fails as a whole.
            if (plan_.Fail()) return WmiQueryResult::Failure("injected: next");
            WmiObject read;
            for (const auto& [name, value] : o.Properties())
                read.Set(name, plan_.Fail() ? WmiValue::Null() : value);
            o = std::move(read);
        }
        return r;
    }

  private:
    std::unique_ptr<WmiServices> inner_;
    FaultPlan& plan_;
};

class FaultyLocator final : public WmiLocator {
  public:
    FaultyLocator(WmiLocator& inner, FaultPlan& plan) : inner_(inner), plan_(plan) {}
    std::unique_ptr<WmiServices> Bind(std::string_view moniker) override {
        if (plan_.Fail()) return nullptr;
        auto s = inner_.Bind(moniker);
        return s ? std::make_unique<FaultyServices>(std::move(s), plan_) : nullptr;
    }

  private:
    WmiLocator& inner_;
    FaultPlan& plan_;
};

// A service manager and process table in memory, failing by the plan.
class FakeRecords final : public ServiceRecordSource {
  public:
    explicit FakeRecords(FaultPlan& plan) : plan_(plan) {}
    std::vector<ScmService> services;
    std::map<std::uint32_t, ProcessRecord> processes;

    std::optional<std::vector<ScmService>> ReadServices() override {
        if (plan_.Fail()) return std::nullopt;
        std::vector<ScmService> out = services;
        for (ScmService& s : out)
            if (plan_.Fail()) { // deleted between the list and its configuration
                s.configured = false;
                s.pathName.clear();
                s.startName.reset();
                s.description.reset();
            }
        return out;
    }
    std::optional<ProcessRecord> ReadProcess(std::uint32_t id) override {
        if (plan_.Fail()) return std::nullopt;
        auto it = processes.find(id);
        if (it == processes.end()) return std::nullopt;
        ProcessRecord r = it->second;
        if (plan_.Fail()) r.imagePath.reset();
        if (plan_.Fail()) r.createdAt.reset();
        if (plan_.Fail()) r.workingSet.reset();
        return r;
    }
    std::optional<std::vector<std::uint32_t>> ProcessIds() override {
        if (plan_.Fail()) return std::nullopt;
        std::vector<std::uint32_t> ids;
        for (const auto& [id, p] : processes) ids.push_back(id);
        return ids;
    }

  private:
    FaultPlan& plan_;
};

struct NullBar : BusyBar {
    int ends = 0;
    void SetStyle(int) override {}
    void BeginDisplay() override {}
    void EndDisplay() override { ++ends; }
};

struct DetailHost : DetailWindowHost {
    Form form = *LoadFrmDetailService().form;
    FrmDetailServiceLogic detail;
    explicit DetailHost(WmiLocator& wmi) : detail(form, wmi, {}) {}
    FrmDetailServiceLogic& ShowDetailWindow() override { return detail; }
    void FocusDetailWindow() override {}
};

constexpr const char* kSvchost = "C:\\Windows\\system32\\svchost.exe -k ";
constexpr std::int64_t kBoot = 1'700'000'000'000'000; // microseconds since 1970
constexpr std::int64_t kSecond = 1'000'000;

ScmService Service(std::string name, std::uint32_t pid, std::string group = "netsvcs") {
    ScmService s;
    s.name = name;
    s.displayName = name + " display";
    s.pathName = kSvchost + group;
    s.configured = true;
    s.description = "About " + name;
    s.serviceType = 0x20;
    s.state = pid != 0 ? 4 : 1;
    s.processId = pid;
    return s;
}

ProcessRecord Process(std::uint32_t pid, std::uint64_t workingSet,
                      std::string image = "C:\\Windows\\system32\\svchost.exe",
                      std::int64_t createdAt = kBoot) {
    return ProcessRecord{pid, image, createdAt, workingSet};
}

// The system as it answers when nothing fails: the truth rows are checked against.
struct Truth {
    std::map<std::string, WmiObject> services;  // by name
    std::map<std::string, std::int64_t> memory; // pid -> working set
};

class ScanUnderFaults : public ::testing::Test {
  protected:
    FaultPlan plan;
    FakeRecords records{plan};
    ServiceRecordsWmi recordsWmi{records};
    FaultyLocator wmi{recordsWmi, plan};
    Form form = *LoadFrmMain().form;
    MemoryListControl list{{"Service Display Name", "Service", "PID", "PID Memory", "Path"}};
    NullBar bar;
    std::function<void()> onYield;
    std::int64_t now = kBoot + 3600 * kSecond;
    FrmMainLogic main{form, MainWindowSeams{list, wmi, bar,
                                            [this] {
                                                if (onYield) onYield();
                                            },
                                            NumberLocale{}, nullptr, [this] { return now; }}};
    DetailHost host{wmi};

    void SetUp() override {
        records.services = {Service("Dhcp", 88, "LocalService"), Service("Dnscache", 88),
                            Service("EventLog", 1234), Service("Stopped", 0),
                            Service("Schedule", 4)};
        records.processes = {{88, Process(88, 5505024)},
                             {1234, Process(1234, 1610612736)},
                             {4, Process(4, 1048576)},
                             {600, Process(600, 4096, "C:\\Windows\\notepad.exe")}};
    }

    Truth TakeTruth() {
        Truth t;
        for (const ScmService& s : records.services) t.services[s.name] = ServiceObject(s);
        for (const auto& [id, p] : records.processes)
            t.memory[std::to_string(id)] = static_cast<std::int64_t>(*p.workingSet);
        return t;
    }

    std::string Text(const char* control) { return form.Find(control)->text; }

    // Every shown row is a listed service's own, its memory that of its own host (or empty, or
    // the unreadable working set's "00.00 MB"), and the counters add up to the rows.
    void ExpectConsistent(const Truth& truth, const std::string& context) {
        SCOPED_TRACE(context);
        EXPECT_TRUE(form.Find("Command1")->enabled);
        EXPECT_TRUE(form.Find("ListView1")->visible);
        EXPECT_FALSE(form.Find("Label2")->visible);
        std::map<std::string, std::string> hostMemory;
        for (int row = 1; row <= list.RowCount(); ++row) {
            const std::string name = list.CellText(row, 1), pid = list.CellText(row, 2),
                              path = list.CellText(row, 4), memory = list.CellText(row, 3);
            const WmiObject* service = nullptr;
            for (const auto& [n, s] : truth.services)
                if ((name.empty() || n == name) && s.Get("ProcessId")->ToText() == pid &&
                    s.Get("PathName")->ToText() == path &&
                    (list.RowText(row).empty() ||
                     s.Get("DisplayName")->ToText() == list.RowText(row)))
                    service = &s;
            EXPECT_NE(service, nullptr) << "row " << row << " is no service's: " << name;
            EXPECT_NE(pid, "0");
            const auto own = truth.memory.find(pid);
            if (!memory.empty() && memory != "00.00 MB") {
                ASSERT_NE(own, truth.memory.end()) << "memory shown for pid " << pid;
                EXPECT_EQ(memory, FormatSizeText(*Currency::FromWhole(own->second), true))
                    << "pid " << pid;
            }
            auto [it, first] = hostMemory.emplace(pid, memory);
            EXPECT_EQ(it->second, memory) << "rows of pid " << pid << " disagree";
        }
        std::int64_t total = 0;
        for (const auto& [pid, memory] : hostMemory)
            if (!memory.empty() && memory != "00.00 MB") total += truth.memory.at(pid);
        EXPECT_EQ(Text("Label5"), std::to_string(list.RowCount()));
        EXPECT_EQ(Text("Label6"), std::to_string(hostMemory.size()));
        EXPECT_EQ(Text("Label7"), FormatSizeText(*Currency::FromWhole(total), true));
    }

    // The detail text holds only lines of the selected row's own service.
    void ExpectDetailOfRow(const Truth& truth, const std::string& context) {
        SCOPED_TRACE(context);
        if (list.RowCount() == 0) return;
        list.SetSelectedRow(1);
        main.OnListDoubleClick(host);
        const std::string text = host.detail.Text();
        if (text.empty()) return;
        const auto it = truth.services.find(list.CellText(1, 1));
        ASSERT_NE(it, truth.services.end()) << text;
        const std::string own = BuildServiceDetailText(it->second);
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t end = text.find("\r\n", at);
            ASSERT_NE(end, std::string::npos) << text;
            const std::string line = text.substr(at, end + 2 - at);
            EXPECT_TRUE(own.find(line) != std::string::npos ||
                        line.find("<Undetermined>") != std::string::npos)
                << line;
            at = end + 2;
        }
    }

    void Scan() {
        main.OnRefreshClick();
        main.OnTimerTick();
    }

    // Runs the scan and a double-click with each call failing in turn; the number of runs.
    long EveryCallFailsInTurn() {
        const Truth truth = TakeTruth();
        for (long n = 0; n < 5000; ++n) {
            plan = FaultPlan{n, 0};
            EXPECT_NO_THROW({
                Scan();
                ExpectConsistent(truth, "call " + std::to_string(n) + " failing");
                ExpectDetailOfRow(truth, "call " + std::to_string(n) + " failing");
            });
            if (plan.calls <= n) return n; // nothing failed: every call has had its turn
        }
        ADD_FAILURE() << "never ran to the end";
        return 0;
    }
};

TEST_F(ScanUnderFaults, EveryCallOfTheServiceManagerRecordsFailsInTurn) {
    const long runs = EveryCallFailsInTurn();
    EXPECT_GT(runs, 100);
    // The run without a fault shows the whole system.
    EXPECT_EQ(list.RowCount(), 4);
    EXPECT_EQ(Text("Label7"), "1,542.25 MB");
}

TEST_F(ScanUnderFaults, EveryCallOfTheManagementServiceFailsInTurn) {
    FixtureData data;
    for (const ScmService& s : records.services) data.services.push_back(ServiceObject(s));
    for (const auto& [id, p] : records.processes) data.processes.push_back(ProcessObject(p));
    FixtureWmi fixture(std::move(data));
    FaultyLocator faulty{fixture, plan};
    FrmMainLogic overFixture{form, MainWindowSeams{list, faulty, bar, nullptr, NumberLocale{},
                                                   nullptr, [this] { return now; }}};
    const Truth truth = TakeTruth();
    long n = 0;
    for (; n < 5000; ++n) {
        plan = FaultPlan{n, 0};
        overFixture.OnRefreshClick();
        overFixture.OnTimerTick();
        ExpectConsistent(truth, "call " + std::to_string(n) + " failing");
        if (plan.calls <= n) break;
    }
    EXPECT_GT(n, 100);
    EXPECT_EQ(Text("Label7"), "1,542.25 MB");
}

TEST_F(ScanUnderFaults, AHostWhoseIdWentToAnotherProgramShowsNoMemory) {
    // Between the service list and the memory pass the host 88 ends; its id goes to an editor,
    // then (next scan) to a service host started after the list was read, then (last scan) to
    // the old host's start time reported without a name.
    const std::vector<ProcessRecord> successors = {
        Process(88, 999 << 20, "C:\\Windows\\notepad.exe", kBoot + 3600 * kSecond),
        Process(88, 999 << 20, "C:\\Windows\\notepad.exe", kBoot),
        Process(88, 999 << 20, "C:\\Windows\\system32\\svchost.exe", now + kSecond),
        ProcessRecord{88, std::nullopt, kBoot, 999 << 20},
    };
    for (const ProcessRecord& successor : successors) {
        SetUp();
        onYield = [&] {
            if (list.RowCount() == 4 && records.processes[88].workingSet != successor.workingSet)
                records.processes[88] = successor;
        };
        Scan();
        ASSERT_EQ(records.processes[88].workingSet, successor.workingSet);
        EXPECT_EQ(list.CellText(1, 3), "");
        EXPECT_EQ(list.CellText(2, 3), "");
        EXPECT_EQ(list.CellText(3, 3), "1,536.00 MB");
        EXPECT_EQ(Text("Label6"), "3");
        EXPECT_EQ(Text("Label7"), "1,537.00 MB");
    }
}

TEST_F(ScanUnderFaults, ServicesStoppedDeletedOrStartedBetweenStepsAreHandled) {
    // During the memory pass: EventLog stops and its host ends, Schedule is deleted (its host
    // keeps running), a new service starts.
    const Truth truth = TakeTruth();
    bool changed = false;
    onYield = [&] {
        if (changed || list.RowCount() < 4) return;
        changed = true;
        records.services.erase(records.services.begin() + 4);
        records.services[2].processId = 0;
        records.processes.erase(1234);
        records.services.push_back(Service("Fresh", 4));
    };
    Scan();
    ASSERT_TRUE(changed);
    // The list is the one read at the start: the ended host's rows keep an empty memory column;
    // the deleted service's host still runs and shows its memory.
    EXPECT_EQ(list.RowCount(), 4);
    EXPECT_EQ(list.CellText(3, 1), "EventLog");
    EXPECT_EQ(list.CellText(3, 3), "");
    EXPECT_EQ(list.CellText(4, 3), "01.00 MB");
    ExpectConsistent(truth, "changed during the scan");
    // The deleted service's detail window stays empty; the next scan lists what runs now.
    list.SetSelectedRow(4);
    main.OnListDoubleClick(host);
    EXPECT_EQ(host.detail.Text(), "");
    Scan();
    std::set<std::string> names;
    for (int row = 1; row <= list.RowCount(); ++row) names.insert(list.CellText(row, 1));
    EXPECT_EQ(names, (std::set<std::string>{"Dhcp", "Dnscache", "Fresh"}));
}

TEST(HostImageName, TakesTheProgramsFileNameFromAServicePath) {
    EXPECT_EQ(HostImageName("C:\\Windows\\system32\\svchost.exe -k netsvcs -p"), "svchost.exe");
    EXPECT_EQ(HostImageName("\"C:\\Program Files\\A B\\host.exe\" -x"), "host.exe");
    EXPECT_EQ(HostImageName("C:\\Program Files\\A B\\svchost.EXE -k x.exe"), "svchost.EXE");
    EXPECT_EQ(HostImageName("svchost.exe"), "svchost.exe");
    EXPECT_EQ(HostImageName("C:/bin/svc -svchost"), "svc");
    EXPECT_EQ(HostImageName(""), "");
}

TEST(CimDateTime, ReadsTheOffsetAndWritesUtc) {
    EXPECT_EQ(CimDateTimeToUnixMicros("19700101000000.000000+000"), 0);
    EXPECT_EQ(CimDateTimeToUnixMicros("20240229123456.789012+060"),
              CimDateTimeToUnixMicros("20240229113456.789012+000"));
    EXPECT_EQ(CimDateTimeToUnixMicros("19691231230000.000000-060"), 0);
    for (const char* bad : {"", "20240229123456.789012", "2024022912345x.789012+000",
                            "20241329123456.789012+000", "20240229123456,789012+000"})
        EXPECT_EQ(CimDateTimeToUnixMicros(bad), std::nullopt) << bad;
    for (std::int64_t t : {std::int64_t{0}, kBoot + 123456, std::int64_t{-1}})
        EXPECT_EQ(CimDateTimeToUnixMicros(CimDateTimeFromUnixMicros(t)), t);
}

} // namespace
} // namespace corvale
