#include "app/ModMain.h"
#include "app/form_data.h"
#include "app/frm_detail_service_logic.h"
#include "platform/fixture_wmi.h"
#include "platform/host/memory_list_control.h"
#include "tests/app/app_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace corvale {
namespace {

WmiObject DhcpService(bool withDescription) {
    WmiObject s;
    s.Set("AcceptPause", WmiValue::Bool(false));
    s.Set("AcceptStop", WmiValue::Bool(true));
    s.Set("Caption", WmiValue::Text("DHCP Client"));
    s.Set("Description", withDescription ? WmiValue::Text("Registers and updates IP addresses.")
                                         : WmiValue::Null());
    s.Set("DesktopInteract", WmiValue::Bool(false));
    s.Set("DisplayName", WmiValue::Text("DHCP Client"));
    s.Set("ErrorControl", WmiValue::Text("Normal"));
    s.Set("ExitCode", WmiValue::Integer(0));
    s.Set("Name", WmiValue::Text("Dhcp"));
    s.Set("PathName", WmiValue::Text("C:\\WINDOWS\\system32\\svchost.exe -k LocalService"));
    s.Set("ProcessId", WmiValue::Integer(1316));
    s.Set("ServiceSpecificExitCode", WmiValue::Integer(0));
    s.Set("ServiceType", WmiValue::Text("Share Process"));
    s.Set("Started", WmiValue::Bool(true));
    s.Set("StartMode", WmiValue::Text("Auto"));
    s.Set("StartName", WmiValue::Text("NT AUTHORITY\\LocalService"));
    s.Set("State", WmiValue::Text("Running"));
    s.Set("Status", WmiValue::Text("OK"));
    s.Set("TagId", WmiValue::Integer(0));
    s.Set("WaitHint", WmiValue::Integer(0));
    return s;
}

std::string ExpectedDhcpText(bool withDescription) {
    return test_support::ExpectedDetailText(
        "DHCP Client", "Dhcp", "C:\\WINDOWS\\system32\\svchost.exe -k LocalService", "1316",
        withDescription ? "Registers and updates IP addresses." : "");
}

TEST(DetailText, TwentyLinesWithAndWithoutDescription) {
    EXPECT_EQ(BuildServiceDetailText(DhcpService(true)), ExpectedDhcpText(true));
    EXPECT_EQ(BuildServiceDetailText(DhcpService(false)), ExpectedDhcpText(false));
}

TEST(DetailText, NullBooleansAreUndeterminedAndUnreadableLinesAreLeftOut) {
    WmiObject s;
    s.Set("Started", WmiValue::Null());
    s.Set("AcceptStop", WmiValue::Null()); // plain value: left out
    s.Set("Name", WmiValue::Text("x"));
    EXPECT_EQ(BuildServiceDetailText(s), "Name: \t\t\tx\r\nStarted: \t\t\t<Undetermined>\r\n");
    EXPECT_EQ(BoolText(WmiValue::Bool(false)), "False");
    EXPECT_EQ(BoolText(WmiValue::Text("yes")), "False");
}

TEST(DetailWindow, RefreshDataReplacesTheTextAndEmptiesItForUnknownServices) {
    Form form = *LoadFrmDetailService().form;
    FixtureWmi wmi(FixtureData{{DhcpService(true)}, {}});
    FrmDetailServiceLogic detail(form, wmi, {});
    detail.RefreshData("DHCP");
    EXPECT_EQ(detail.Text(), ExpectedDhcpText(true));
    EXPECT_EQ(wmi.queries.back(), "Select * from Win32_Service where name = \"DHCP\"");
    detail.RefreshData("Deleted");
    EXPECT_EQ(detail.Text(), "");
    detail.RefreshData("Dhcp");
    wmi.bindFails = true;
    detail.RefreshData("Dhcp");
    EXPECT_EQ(detail.Text(), "");
    // A quote in a name stays inside the value.
    EXPECT_EQ(ServiceByNameQuery("a\"b"), "Select * from Win32_Service where name = \"a\\\"b\"");
}

const std::string kSeparator = std::string(62, '-') + "\r\n";

void AddRow(MemoryListControl& list, const char* name, const char* svc, const char* pid,
            const char* memory, const char* path) {
    const int r = list.AddRow(name);
    list.SetCellText(r, 1, svc);
    list.SetCellText(r, 2, pid);
    list.SetCellText(r, 3, memory);
    list.SetCellText(r, 4, path);
}

TEST(Report, ExactTextForZeroOneAndTwoRows) {
    MemoryListControl list({"Service Display Name", "Service", "PID", "PID Memory", "Path"});
    EXPECT_EQ(BuildReportText(list), "");
    AddRow(list, "DHCP Client", "Dhcp", "1316", "", "svchost.exe -k LocalService");
    const std::string first = kSeparator + "Service Display Name: DHCP Client\r\n" +
                              "Service: Dhcp\r\nPID: 1316\r\nPID Memory: \r\n" +
                              "Path: svchost.exe -k LocalService\r\n" + kSeparator;
    EXPECT_EQ(BuildReportText(list), first);
    AddRow(list, "Audio", "Audiosrv", "88", "05.25 MB", "svchost.exe -k x");
    const std::string second = kSeparator + "Service Display Name: Audio\r\n" +
                               "Service: Audiosrv\r\nPID: 88\r\nPID Memory: 05.25 MB\r\n" +
                               "Path: svchost.exe -k x\r\n" + kSeparator;
    EXPECT_EQ(BuildReportText(list), first + second);
    // The report follows the displayed order.
    list.SetSortKey(0);
    list.SetSorted(true);
    EXPECT_EQ(BuildReportText(list), second + first);
}

std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(Report, SavesTheSameBytesToAFileAndTheClipboard) {
    MemoryListControl list({"Service Display Name", "Service", "PID", "PID Memory", "Path"});
    const auto dir = std::filesystem::temp_directory_path() / "corvale_report_test";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "report.txt").string();
    StdFileWriter writer;
    MemoryClipboard clipboard;

    ASSERT_TRUE(SaveListToFile(path, list, writer)); // empty list: empty file
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(ReadFile(path), "");
    EXPECT_TRUE(CopyListToClipboard(list, clipboard));
    EXPECT_EQ(clipboard.GetText(), "");

    AddRow(list, "A", "a", "4", "01.00 MB", "p");
    ASSERT_TRUE(SaveListToFile(path, list, writer)); // overwrites
    EXPECT_EQ(ReadFile(path), BuildReportText(list));
    ASSERT_TRUE(CopyListToClipboard(list, clipboard));
    EXPECT_EQ(clipboard.GetText(), BuildReportText(list));

    EXPECT_FALSE(SaveListToFile((dir / "missing" / "r.txt").string(), list, writer));
    clipboard.failing = true;
    EXPECT_FALSE(CopyListToClipboard(list, clipboard));
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace corvale
