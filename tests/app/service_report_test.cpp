// The console report over recorded machines: the same rows and totals as the window's scan, the
// CSV/JSON/text forms of awkward texts and unreadable figures, the command line and exit codes.
#include "app/form_data.h"
#include "app/frm_main_logic.h"
#include "app/report_arguments.h"
#include "app/service_report.h"
#include "platform/embedded.h"
#include "platform/fixture_wmi.h"
#include "platform/host/memory_list_control.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

CORVALE_EMBEDDED_TABLE(app_test_data)

namespace corvale {
namespace {

struct NoBusyBar : BusyBar {
    void SetStyle(int) override {}
    void BeginDisplay() override {}
    void EndDisplay() override {}
};

WmiObject Service(std::string display, std::string name, std::int64_t pid, std::string path) {
    WmiObject o;
    o.Set("DisplayName", WmiValue::Text(std::move(display)));
    o.Set("Name", WmiValue::Text(std::move(name)));
    o.Set("PathName", WmiValue::Text(std::move(path)));
    o.Set("ProcessId", WmiValue::Integer(pid));
    return o;
}

WmiObject Process(std::int64_t pid, WmiValue workingSet, WmiValue privateBytes,
                  std::string name = "svchost.exe") {
    WmiObject o;
    o.Set("ProcessId", WmiValue::Integer(pid));
    o.Set("Name", WmiValue::Text(std::move(name)));
    o.Set("WorkingSetSize", std::move(workingSet));
    o.Set("PrivatePageCount", std::move(privateBytes));
    o.Set("CommandLine", WmiValue::Text("svchost.exe -k " + std::to_string(pid)));
    return o;
}

const std::string kHost = "C:\\Windows\\System32\\svchost.exe -k netsvcs";

ComputerReport Scan(FixtureData data) {
    FixtureWmi wmi(std::move(data));
    auto services = wmi.Bind(kCimV2Moniker);
    std::string error;
    auto r = ScanComputer(*services, &error);
    EXPECT_TRUE(r) << error;
    r->computer = "HOST1";
    r->time = "2026-12-08T16:00:00Z";
    return r ? *r : ComputerReport{};
}

TEST(ServiceReport, RecordedMachineGivesTheWindowsRowsAndTotals) {
    auto json = embedded::Find(embedded::app_test_data, "services_win10.json");
    auto data =
        ParseFixtureJson(std::string_view(reinterpret_cast<const char*>(json.data()), json.size()));
    ASSERT_TRUE(data);
    for (WmiObject& p : data->processes) // the recording has no private bytes: give each some
        p.Set("PrivatePageCount",
              WmiValue::Text(std::to_string(*p.Get("ProcessId")->ToInt64() * 4096 + 1)));

    FixtureWmi wmi(*data);
    Form form = *LoadFrmMain().form;
    MemoryListControl list({"Service Display Name", "Service", "PID", "PID Memory", "Path"});
    NoBusyBar bar;
    FrmMainLogic window(form, MainWindowSeams{list, wmi, bar, nullptr, NumberLocale{}, nullptr});
    window.OnRefreshClick();
    window.OnTimerTick();

    const ComputerReport r = Scan(*data);
    const ReportTotals t = Totals(r);
    EXPECT_EQ(std::to_string(t.services), form.Find("Label5")->text);
    EXPECT_EQ(std::to_string(t.hosts), form.Find("Label6")->text);
    EXPECT_EQ(FormatSizeText(*Currency::FromWhole(static_cast<std::int64_t>(t.workingSet)), true),
              form.Find("Label7")->text);
    ASSERT_EQ(static_cast<int>(r.services.size()), list.RowCount());
    int unreadable = 0;
    for (int row = 1; row <= list.RowCount(); ++row) {
        const ReportService& s = r.services[static_cast<std::size_t>(row - 1)];
        EXPECT_EQ(s.displayName, list.RowText(row));
        EXPECT_EQ(s.name, list.CellText(row, 1));
        EXPECT_EQ(s.pid, list.CellText(row, 2));
        EXPECT_EQ(s.path, list.CellText(row, 4));
        if (list.CellText(row, 3).empty()) ++unreadable; // the host that had ended
    }
    ASSERT_GT(unreadable, 0);
    EXPECT_TRUE(r.Partial());
    EXPECT_EQ(ReportExitCode(1, {r}), kExitPartial);

    // The text form is the window's report, with n/a for the ended host and private bytes added.
    const std::string text = FormatReport({r}, ReportStyle{});
    std::string windowText = BuildReportText(list);
    std::size_t lines = 0;
    for (std::size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
    EXPECT_EQ(lines, 8 * r.services.size());
    for (std::size_t at = 0; (at = windowText.find("PID Memory: \r\n", at)) != std::string::npos;)
        windowText.replace(at, 14, "PID Memory: n/a\r\n");
    std::string withoutPrivate = text;
    for (std::size_t at = 0;
         (at = withoutPrivate.find("PID Private Bytes: ", at)) != std::string::npos;)
        withoutPrivate.erase(at, withoutPrivate.find("\r\n", at) + 2 - at);
    EXPECT_EQ(withoutPrivate, windowText);
}

// Texts that CSV must quote, JSON must escape, and a host whose memory cannot be read.
FixtureData AwkwardMachine() {
    FixtureData d;
    d.services = {
        Service("Comma, \"quoted\" name", "Svc,1", 100, kHost),
        Service("Two\r\nlines\nhere", "Svc2", 100, kHost),
        Service(std::string("\xC3\x9C"
                            "berwachung \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E") +
                    "\t\x01\x1F\\/",
                "Svc3", 200, kHost + " \"x\""),
        Service("Stopped", "Svc4", 0, kHost),
        Service("Caps", "Svc5", 300, "C:\\WINDOWS\\SVCHOST.EXE -k caps"),
        Service("Ended host", "Svc6", 400, kHost),
    };
    d.processes = {Process(100, WmiValue::Text("5505024"), WmiValue::Integer(3145728)),
                   Process(200, WmiValue::Null(), WmiValue::Text("18446744073709551615"))};
    return d; // 400 has ended: no process record
}

TEST(ServiceReport, CsvQuotesWhatNeedsItAndLeavesUnreadableFiguresEmpty) {
    ReportStyle style;
    style.format = ReportFormat::Csv;
    const std::string csv = FormatReport({Scan(AwkwardMachine())}, style);
    EXPECT_EQ(
        csv, "Computer,Host PID,Service,Display Name,Path,Working Set Bytes,Private Bytes\r\n"
             "HOST1,100,\"Svc,1\",\"Comma, \"\"quoted\"\" name\","
             "C:\\Windows\\System32\\svchost.exe -k netsvcs,5505024,3145728\r\n"
             "HOST1,100,Svc2,\"Two\r\nlines\nhere\","
             "C:\\Windows\\System32\\svchost.exe -k netsvcs,5505024,3145728\r\n"
             "HOST1,200,Svc3,\xC3\x9C"
             "berwachung \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\t\x01\x1F\\/,"
             "\"C:\\Windows\\System32\\svchost.exe -k netsvcs \"\"x\"\"\",,18446744073709551615\r\n"
             "HOST1,400,Svc6,Ended host,C:\\Windows\\System32\\svchost.exe -k netsvcs,,\r\n");
    style.hosts = true;
    EXPECT_EQ(FormatReport({Scan(AwkwardMachine())}, style),
              "Computer,Host PID,Service Count,Working Set Bytes,Private Bytes,Services\r\n"
              "HOST1,100,2,5505024,3145728,\"Svc,1;Svc2\"\r\n"
              "HOST1,200,1,,18446744073709551615,Svc3\r\n"
              "HOST1,400,1,,,Svc6\r\n");
}

TEST(ServiceReport, JsonEscapesEveryTextAndParsesBackToTheSameRecords) {
    ComputerReport r = Scan(AwkwardMachine());
    r.services[0].name += "\xFF\xC0\xAF"; // not UTF-8: replaced, never passed on
    r.services[1].name += "\xE2\x80\xA8";
    ReportStyle style;
    style.format = ReportFormat::Json;
    const std::string out = FormatReport({r}, style);
    EXPECT_NE(out.find(R"("Two\r\nlines\nhere")"), std::string::npos);
    EXPECT_NE(out.find(R"(\t\u0001\u001f\\/")"), std::string::npos);
    EXPECT_NE(out.find("\xC3\x9C"
                       "berwachung \xE6\x97\xA5"),
              std::string::npos); // kept as UTF-8
    const auto j = nlohmann::json::parse(out);
    EXPECT_EQ(j["computer"], "HOST1");
    EXPECT_EQ(j["time"], "2026-12-08T16:00:00Z");
    EXPECT_TRUE(j["osVersion"].is_null());
    EXPECT_EQ(j["partial"], true);
    EXPECT_EQ(j["totals"]["services"], 4);
    EXPECT_EQ(j["totals"]["hosts"], 3);
    EXPECT_EQ(j["totals"]["workingSetBytes"], 5505024u);
    EXPECT_EQ(j["totals"]["privateBytes"], UINT64_MAX); // saturates rather than wraps
    ASSERT_EQ(j["hosts"].size(), 3u);
    EXPECT_EQ(j["hosts"][0]["pid"], 100);
    EXPECT_EQ(j["hosts"][0]["commandLine"], "svchost.exe -k 100");
    EXPECT_EQ(j["hosts"][0]["services"][0]["name"], "Svc,1\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(j["hosts"][0]["services"][1]["name"], "Svc2\xE2\x80\xA8");
    EXPECT_EQ(j["hosts"][0]["services"][1]["displayName"], "Two\r\nlines\nhere");
    EXPECT_EQ(j["hosts"][1]["services"][0]["displayName"],
              std::string("\xC3\x9C"
                          "berwachung \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E") +
                  "\t\x01\x1F\\/");
    EXPECT_TRUE(j["hosts"][1]["workingSetBytes"].is_null());
    EXPECT_TRUE(j["hosts"][2]["workingSetBytes"].is_null());
    EXPECT_TRUE(j["hosts"][2]["privateBytes"].is_null());
    EXPECT_TRUE(j["hosts"][2]["commandLine"].is_null());

    // Several computers: an array of the same objects; per host, names only.
    style.manyComputers = style.hosts = true;
    ComputerReport empty;
    empty.computer = "EMPTY";
    const auto many = nlohmann::json::parse(FormatReport({r, empty}, style));
    ASSERT_EQ(many.size(), 2u);
    EXPECT_EQ(many[0]["hosts"][0]["services"],
              nlohmann::json({"Svc,1\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", "Svc2\xE2\x80\xA8"}));
    EXPECT_EQ(many[1]["hosts"].size(), 0u);
    EXPECT_EQ(many[1]["partial"], false);
}

TEST(ServiceReport, TextSaysNaForUnreadableFiguresAndNamesEachOfSeveralComputers) {
    ReportStyle style;
    style.manyComputers = true;
    const std::string text = FormatReport({Scan(AwkwardMachine())}, style);
    EXPECT_EQ(text.substr(0, 16), "Computer: HOST1\r");
    EXPECT_NE(text.find("PID: 100\r\nPID Memory: 05.25 MB\r\nPID Private Bytes: 03.00 MB\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("PID: 400\r\nPID Memory: n/a\r\nPID Private Bytes: n/a\r\n"),
              std::string::npos);
    style.hosts = true;
    style.manyComputers = false;
    EXPECT_EQ(FormatReport({Scan(AwkwardMachine())}, style),
              "PID: 100 | Services: 2 | PID Memory: 05.25 MB | PID Private Bytes: 03.00 MB | "
              "Svc,1, Svc2\r\n"
              "PID: 200 | Services: 1 | PID Memory: n/a | PID Private Bytes: "
              "18446744073709551615 bytes | Svc3\r\n"
              "PID: 400 | Services: 1 | PID Memory: n/a | PID Private Bytes: n/a | Svc6\r\n");
}

TEST(ServiceReport, AHostWhoseIdWentToAnotherProgramIsUnreadNotMisread) {
    FixtureData data;
    data.services = {Service("Alpha", "A", 10, kHost), Service("Beta", "B", 20, kHost)};
    data.processes = {
        Process(10, WmiValue::Integer(5 << 20), WmiValue::Integer(3 << 20)),
        Process(20, WmiValue::Integer(999 << 20), WmiValue::Integer(999 << 20), "notepad.exe")};
    const ComputerReport r = Scan(std::move(data));
    ASSERT_EQ(r.hosts.size(), 2u);
    EXPECT_EQ(r.hosts[0].workingSet, std::optional<std::uint64_t>(5 << 20));
    EXPECT_FALSE(r.hosts[1].workingSet);
    EXPECT_FALSE(r.hosts[1].privateBytes);
    EXPECT_TRUE(r.Partial());
    EXPECT_EQ(Totals(r).workingSet, std::uint64_t{5 << 20});
}

TEST(ServiceReport, FailedServiceQueryGivesNoReport) {
    FixtureWmi wmi(FixtureData{});
    auto services = wmi.Bind(kCimV2Moniker);
    struct Failing : WmiServices {
        WmiQueryResult ExecQuery(std::string_view, int) override {
            return WmiQueryResult::Failure("access denied");
        }
    } failing;
    std::string error;
    EXPECT_FALSE(ScanComputer(failing, &error));
    EXPECT_EQ(error, "access denied");
    const auto none = ScanComputer(*services);
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->Partial());
    EXPECT_EQ(ReportExitCode(1, {*none}), kExitComplete);
    EXPECT_EQ(ReportExitCode(2, {*none}), kExitPartial); // a computer missing
    EXPECT_EQ(ReportExitCode(2, {}), kExitNothing);
}

TEST(ReportArguments, ParsesTheOptionsAndRefusesWhatItDoesNotKnow) {
    auto p = ParseReportArguments(
        {"--format", "csv", "--hosts", "--computer", ".", "--computer=SRV 2", "--out=C:\\r.csv"});
    ASSERT_TRUE(p.options) << p.error;
    EXPECT_EQ(p.options->format, ReportFormat::Csv);
    EXPECT_TRUE(p.options->hosts);
    EXPECT_EQ(p.options->computers, (std::vector<std::string>{".", "SRV 2"}));
    EXPECT_EQ(p.options->out, "C:\\r.csv");
    EXPECT_EQ(p.options->action, ReportAction::Report);
    EXPECT_EQ(ParseReportArguments({"--version"}).options->action, ReportAction::Version);
    for (const char* help : {"/?", "-h", "--help"})
        EXPECT_EQ(ParseReportArguments({"--bogus", help}).options->action, ReportAction::Help);

    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--format", "xml"},
                                                {"--format"},
                                                {"--computer"},
                                                {"--computer="},
                                                {"--out", "a", "--out", "b"},
                                                {"--format=csv", "--format=json"},
                                                {"--hosts=yes"},
                                                {"-x"},
                                                {"report"}}) {
        const auto r = ParseReportArguments(bad);
        EXPECT_FALSE(r.options) << bad[0];
        EXPECT_FALSE(r.error.empty());
    }
}

} // namespace
} // namespace corvale
