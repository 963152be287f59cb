// CorvaleReport.exe run as scripts run it, over the running system: its rows against the service
// manager's answers, its totals against the window's labels, texts outside the ANSI code page in
// files and pipes, and computers by name.
#include "app/form_data.h"
#include "app/frm_main_logic.h"
#include "demo/win32/demo_services.h"
#include "platform/host/memory_list_control.h"
#include "platform/win32/com.h"
#include "platform/win32/service_manager.h"
#include "platform/win32/system_wmi.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <windows.h>

#include <winsvc.h>

#include <fstream>
#include <iterator>
#include <map>
#include <set>

namespace corvale::win32 {
namespace {

const std::string kBom = "\xEF\xBB\xBF";
// "Überwachung 日本語": no ANSI code page holds both; the comma and quotes make CSV quote it.
const std::string kOddName = "\xC3\x9C"
                             "berwachung \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E, \"A\"";

std::wstring Here() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path, n);
    return p.substr(0, p.find_last_of(L"\\/") + 1);
}

// build/<preset>/tests/app/win32/ -> build/<preset>/app/win32/CorvaleReport.exe
std::wstring ReportExe() {
    return Here() + L"..\\..\\..\\app\\win32\\CorvaleReport.exe";
}

struct Outcome {
    int code = -1;
    std::string out, err;
};

struct Handle {
    HANDLE h = nullptr;
    ~Handle() {
        if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};

std::string ReadFileBytes(const std::wstring& path) {
    std::ifstream f(path.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// Runs the program with its standard output in a pipe and its errors in a file.
Outcome RunReport(const std::wstring& args) {
    Outcome r;
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    Handle readOut, writeOut, errFile;
    if (!CreatePipe(&readOut.h, &writeOut.h, &sa, 0)) return r;
    SetHandleInformation(readOut.h, HANDLE_FLAG_INHERIT, 0);
    // A file of its own for each run: a process that outlives the report and inherited the
    // handle of an earlier run (one the system started meanwhile) must not take this run's
    // messages away.
    static unsigned serial = 0;
    const std::wstring errPath = Here() + L"report_stderr_" +
                                 std::to_wstring(GetCurrentProcessId()) + L"_" +
                                 std::to_wstring(++serial) + L".txt";
    errFile.h = CreateFileW(errPath.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &sa,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (errFile.h == INVALID_HANDLE_VALUE) {
        errFile.h = nullptr;
        r.err = "(no file for the report's messages)";
        return r;
    }
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = writeOut.h;
    si.hStdError = errFile.h;
    std::wstring cmd = L"\"" + ReportExe() + L"\" " + args;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &si, &pi))
        return r;
    Handle process{pi.hProcess}, thread{pi.hThread};
    CloseHandle(writeOut.h);
    writeOut.h = nullptr;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(readOut.h, buf, sizeof buf, &got, nullptr) && got > 0) r.out.append(buf, got);
    WaitForSingleObject(process.h, 60000);
    DWORD code = 0;
    GetExitCodeProcess(process.h, &code);
    r.code = static_cast<int>(code);
    CloseHandle(errFile.h);
    errFile.h = nullptr;
    r.err = ReadFileBytes(errPath);
    DeleteFileW(errPath.c_str());
    return r;
}

// RFC 4180 records (quoted fields may hold commas, quotes and line breaks).
std::vector<std::vector<std::string>> ParseCsv(std::string_view t) {
    std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '"') {
            for (++i; i < t.size(); ++i) {
                if (t[i] == '"' && i + 1 < t.size() && t[i + 1] == '"')
                    rows.back().back() += t[++i];
                else if (t[i] == '"')
                    break;
                else
                    rows.back().back() += t[i];
            }
        } else if (t[i] == ',') {
            rows.back().emplace_back();
        } else if (t[i] == '\r' && i + 1 < t.size() && t[i + 1] == '\n') {
            ++i;
            if (i + 1 < t.size()) rows.emplace_back(1);
        } else {
            rows.back().back() += t[i];
        }
    }
    return rows;
}

// The running svchost-hosted services as the service manager tells them, by name.
std::map<std::string, ScmService> HostedServices() {
    std::map<std::string, ScmService> out;
    for (const ScmService& s : ReadServices().value_or(std::vector<ScmService>{}))
        if (s.processId != 0 && s.pathName.find("svchost") != std::string::npos) out[s.name] = s;
    return out;
}

// Services of the test's own in svchost hosts: one named outside the ANSI code page, one plain;
// a stopped one and one in a process of its own are not listed.
const std::vector<demo::DemoService> kServices{
    {L"CorvaleReportOdd", demo::FromUtf8(kOddName), L"CorvaleReportGroup", 8},
    {L"CorvaleReportPlain", L"Report Plain", L"CorvaleReportGroup2", 4},
    {L"CorvaleReportOff", L"Report Stopped", L"CorvaleReportGroup", 4, false},
    {L"CorvaleReportSolo", L"Report Solo", L"", 4}};

class ReportProgram : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { setUp_ = demo::SetUpDemoServices(kServices); }
    static void TearDownTestSuite() {
        std::vector<std::wstring> names;
        for (const auto& s : kServices) names.push_back(s.name);
        demo::RemoveDemoServices(names);
    }
    void SetUp() override { ASSERT_TRUE(setUp_.ok()) << setUp_.Utf8(); }

    // The CSV rows (header and BOM checked), without the figures that change from run to run.
    static std::vector<std::vector<std::string>> Rows(const std::string& csv) {
        EXPECT_EQ(csv.substr(0, 3), kBom);
        auto rows = ParseCsv(std::string_view(csv).substr(csv.starts_with(kBom) ? 3 : 0));
        EXPECT_EQ(rows.front(),
                  (std::vector<std::string>{"Computer", "Host PID", "Service", "Display Name",
                                            "Path", "Working Set Bytes", "Private Bytes"}));
        rows.erase(rows.begin());
        for (auto& r : rows) r.resize(5);
        return rows;
    }

    static inline demo::DemoResult setUp_;
};

TEST_F(ReportProgram, CsvRowsAreTheServiceManagersAnswers) {
    const Outcome run = RunReport(L"--format csv");
    ASSERT_TRUE(run.code == 0 || run.code == 3) << run.code << run.err;
    const auto hosted = HostedServices();
    const auto rows = Rows(run.out);
    std::set<std::string> listed;
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 5u);
        SCOPED_TRACE(row[2]);
        const auto it = hosted.find(row[2]);
        ASSERT_NE(it, hosted.end());
        EXPECT_EQ(row[1], std::to_string(it->second.processId));
        EXPECT_EQ(row[3], it->second.displayName);
        EXPECT_EQ(row[4], it->second.pathName);
        listed.insert(row[2]);
    }
    EXPECT_EQ(listed.size(), hosted.size());
    EXPECT_EQ(listed.count("CorvaleReportOdd") + listed.count("CorvaleReportPlain"), 2u);
    EXPECT_EQ(listed.count("CorvaleReportOff") + listed.count("CorvaleReportSolo"), 0u);
}

TEST_F(ReportProgram, JsonTotalsAreTheWindowsLabels) {
    ComApartment com;
    SystemWmiLocator wmi;
    Form form = *LoadFrmMain().form;
    MemoryListControl list({"Service Display Name", "Service", "PID", "PID Memory", "Path"});
    struct : BusyBar {
        void SetStyle(int) override {}
        void BeginDisplay() override {}
        void EndDisplay() override {}
    } bar;
    FrmMainLogic window(form, MainWindowSeams{list, wmi, bar, nullptr, NumberLocale{}, nullptr});
    // Working sets move a little between two scans; a few tries find a quiet moment.
    std::vector<std::string> labels, fromJson;
    for (int attempt = 0; attempt < 4 && (labels.empty() || labels != fromJson); ++attempt) {
        const Outcome run = RunReport(L"--format json");
        ASSERT_TRUE(run.code == 0 || run.code == 3) << run.err;
        EXPECT_EQ(run.out.substr(0, 1), "{"); // no byte-order mark
        const auto j = nlohmann::json::parse(run.out);
        window.OnRefreshClick();
        window.OnTimerTick();
        EXPECT_EQ(j["partial"].get<bool>(), run.code == 3);
        std::size_t services = 0;
        bool sawOdd = false;
        for (const auto& h : j["hosts"]) {
            services += h["services"].size();
            // The hosts are of the program's own width here, so their command lines are read.
            ASSERT_TRUE(h["commandLine"].is_string());
            EXPECT_NE(h["commandLine"].get<std::string>().find("svchost"), std::string::npos);
            // Our host of the odd name holds 8 MB of its own.
            if (h["services"][0]["name"] == "CorvaleReportOdd") {
                sawOdd = true;
                EXPECT_GE(h["workingSetBytes"].get<std::uint64_t>(), 8u << 20);
            }
        }
        EXPECT_EQ(services, j["totals"]["services"].get<std::size_t>());
        EXPECT_TRUE(sawOdd);
        labels = {form.Find("Label5")->text, form.Find("Label6")->text, form.Find("Label7")->text};
        const auto& t = j["totals"];
        fromJson = {
            std::to_string(t["services"].get<int>()), std::to_string(t["hosts"].get<int>()),
            FormatSizeText(*Currency::FromWhole(t["workingSetBytes"].get<std::int64_t>()), true)};
    }
    EXPECT_EQ(fromJson, labels);
}

TEST_F(ReportProgram, NamesOutsideTheAnsiCodePageSurviveInFilesAndPipes) {
    const std::wstring csvPath = Here() + L"report \xDC.csv", jsonPath = Here() + L"report.json";
    {
        std::ofstream old(csvPath.c_str(), std::ios::binary);
        old << std::string(100000, 'x'); // longer than the report: replaced whole, not overwritten
    }
    const Outcome csv = RunReport(L"--format csv --out \"" + csvPath + L"\"");
    const Outcome json = RunReport(L"--format=json --out=\"" + jsonPath + L"\"");
    EXPECT_TRUE(csv.out.empty() && json.out.empty());
    const std::string csvFile = ReadFileBytes(csvPath), jsonFile = ReadFileBytes(jsonPath);
    DeleteFileW(csvPath.c_str());
    DeleteFileW(jsonPath.c_str());
    EXPECT_EQ(csvFile.find('x' + std::string(99, 'x')), std::string::npos);
    bool inCsv = false;
    for (const auto& row : Rows(csvFile)) inCsv |= row[3] == kOddName;
    EXPECT_TRUE(inCsv);
    ASSERT_FALSE(jsonFile.starts_with(kBom));
    bool inJson = false;
    const auto parsed = nlohmann::json::parse(jsonFile);
    for (const auto& h : parsed["hosts"])
        for (const auto& s : h["services"]) inJson |= s["displayName"] == kOddName;
    EXPECT_TRUE(inJson) << jsonFile;

    // Through a pipe: the same UTF-8 texts.
    const Outcome piped = RunReport(L"--format json --hosts");
    EXPECT_NE(RunReport(L"--format csv").out.find("\"" + std::string("\xC3\x9C") + "berwachung "),
              std::string::npos);
    EXPECT_NE(RunReport(L"").out.find("Service Display Name: " + kOddName + "\r\n"),
              std::string::npos);
    EXPECT_NO_THROW(nlohmann::json::parse(piped.out));
}

// To a console the report goes through the wide console API: the name shows as it is, whatever
// the console's code page.
TEST_F(ReportProgram, AConsoleShowsEveryCharacter) {
    FreeConsole(); // a console of its own, not the one the test runner may have given
    ASSERT_TRUE(AllocConsole());
    HANDLE screen =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(screen, INVALID_HANDLE_VALUE);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    ASSERT_TRUE(GetConsoleScreenBufferInfo(screen, &info));
    std::wstring cmd = L"\"" + ReportExe() + L"\" --format csv";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &si, &pi));
    WaitForSingleObject(pi.hProcess, 60000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    const DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
    std::wstring shown(cells, L' ');
    DWORD read = 0;
    ReadConsoleOutputCharacterW(screen, shown.data(), cells, COORD{0, 0}, &read);
    CloseHandle(screen);
    FreeConsole();
    shown.resize(read);
    EXPECT_NE(shown.find(L"\u00DCberwachung \u65E5\u672C\u8A9E"), std::wstring::npos);
    EXPECT_TRUE(shown.starts_with(L"Computer,Host PID,")); // no byte-order mark before it
}

TEST_F(ReportProgram, ComputersByNameAndOneThatCannotBeReached) {
    wchar_t own[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD n = MAX_COMPUTERNAME_LENGTH + 1;
    ASSERT_TRUE(GetComputerNameW(own, &n));
    const auto local = Rows(RunReport(L"--format csv").out);
    ASSERT_FALSE(local.empty());
    for (const std::wstring& name :
         {std::wstring(L"."), std::wstring(L"localhost"), std::wstring(own, n)}) {
        const Outcome r = RunReport(L"--format csv --computer " + name);
        EXPECT_EQ(Rows(r.out), local) << Utf8FromWide(name);
        EXPECT_TRUE(r.err.empty()) << r.err;
    }
    // An address is another computer to the program (remote binding, that computer's service
    // manager as fallback): the same services, its rows carry the name as given.
    auto remote = Rows(RunReport(L"--format csv --computer 127.0.0.1").out);
    for (auto& row : remote) {
        EXPECT_EQ(row[0], "127.0.0.1");
        row[0] = local.front()[0];
    }
    EXPECT_EQ(remote, local);
    const Outcome mixed =
        RunReport(L"--format csv --computer no-such-computer.invalid --computer .");
    EXPECT_EQ(mixed.code, 3);
    EXPECT_EQ(Rows(mixed.out), local);
    EXPECT_TRUE(mixed.err.starts_with("CorvaleReport: cannot reach no-such-computer.invalid: "))
        << mixed.err;
    EXPECT_EQ(mixed.err.find("\r\n"), mixed.err.size() - 2); // one line
}

TEST_F(ReportProgram, AFileIsLeftAloneWhenNothingCanBeWritten) {
    const std::wstring path = Here() + L"kept.csv";
    {
        std::ofstream old(path.c_str(), std::ios::binary);
        old << "kept";
    }
    // Nothing could be read: no report, the file keeps what it had.
    const Outcome unreachable =
        RunReport(L"--computer no-such-computer.invalid --format csv --out \"" + path + L"\"");
    EXPECT_EQ(unreachable.code, 1);
    EXPECT_EQ(ReadFileBytes(path), "kept");
    DeleteFileW(path.c_str());
    // A folder that does not exist: a message, no output, exit code 1.
    const Outcome missing = RunReport(L"--out \"" + Here() + L"no such folder\\r.txt\"");
    EXPECT_EQ(missing.code, 1);
    EXPECT_TRUE(missing.out.empty());
    EXPECT_TRUE(missing.err.starts_with("CorvaleReport: cannot write ")) << missing.err;
}

TEST_F(ReportProgram, UsageVersionAndBadArguments) {
    for (const wchar_t* help : {L"/?", L"-h", L"--help"}) {
        const Outcome r = RunReport(help);
        EXPECT_EQ(r.code, 0);
        EXPECT_TRUE(r.out.starts_with("Usage: CorvaleReport")) << r.out;
    }
    const Outcome v = RunReport(L"--version");
    EXPECT_EQ(v.code, 0);
    EXPECT_TRUE(v.out.starts_with("CorvaleReport ")) << v.out;
    EXPECT_TRUE(v.out.find_first_of("0123456789") != std::string::npos);
    const Outcome bad = RunReport(L"--format xml");
    EXPECT_EQ(bad.code, 2);
    EXPECT_TRUE(bad.out.empty());
    EXPECT_NE(bad.err.find("xml"), std::string::npos);
}

} // namespace
} // namespace corvale::win32
