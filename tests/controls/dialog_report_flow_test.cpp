#include "app/report_export.h"
#include "dialog_fake_api.h"
#include "platform/host/memory_list_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace corvale;
using corvale::dialog_test::FakeDialogApi;
using namespace std::string_literals;

struct RecordingWriter : FileWriter {
    std::vector<std::pair<std::string, std::string>> writes;
    bool fail = false;
    bool WriteTextFile(std::string_view path, std::string_view text) override {
        writes.emplace_back(path, text);
        return !fail;
    }
    std::string FailureReason() const override { return fail ? "Access is denied." : ""; }
};

struct ReportFlowTest : ::testing::Test {
    FakeDialogApi api;
    RecordingWriter writer;
    MemoryListControl list{{"Service Display Name", "Service", "PID", "PID Memory", "Path"}};
    std::vector<std::string> steps;
    std::vector<std::string> messages;
    std::string reportPath = "C:\\Users\\me\\Desktop\\Corvale_By_Varnholt.txt";

    void SetUp() override {
        const int row = list.AddRow("Remote Procedure Call (RPC)");
        list.SetCellText(row, 1, "RpcSs");
        list.SetCellText(row, 2, "812");
        list.SetCellText(row, 3, "08.25 MB");
        list.SetCellText(row, 4, "C:\\Windows\\system32\\svchost.exe -k rpcss");
    }
    SaveListResult Save() {
        SaveListSeams seams{api, writer, [this] { steps.push_back("yield"); }, nullptr,
                            [this](const std::string& m) { messages.push_back(m); }};
        return SaveListThroughDialog(0x4242, reportPath, list, seams);
    }
    void ChooseOnOk(std::string name) {
        api.answer = [name](FileDialogRecord& r) {
            std::fill(r.file.begin(), r.file.end(), '\0');
            std::copy(name.begin(), name.end(), r.file.begin());
            return 1;
        };
    }
};

const std::string kSeparator = std::string(62, '-') + "\r\n";

TEST_F(ReportFlowTest, ChosenNameBecomesTheReportPathAndReceivesTheReport) {
    ChooseOnOk("D:\\out\\services.txt");
    EXPECT_EQ(Save(), SaveListResult::Written);
    EXPECT_EQ(reportPath, "D:\\out\\services.txt");

    ASSERT_EQ(api.shown.size(), 1u);
    const FileDialogRecord& r = api.shown[0];
    EXPECT_EQ(r.title, "List Save Location");
    EXPECT_EQ(r.filter, "Text Files (*.txt)\0*.txt\0\0"s);
    EXPECT_EQ(std::string(r.file.data()), "C:\\Users\\me\\Desktop\\Corvale_By_Varnholt.txt");
    EXPECT_EQ(r.U32(ofn::kOwner), 0x4242u);
    EXPECT_EQ(r.Flags(), ofn::kHideReadOnly); // no overwrite prompt, no hook
    EXPECT_EQ(r.U32(ofn::kDefExt), 0u);

    ASSERT_EQ(writer.writes.size(), 1u);
    EXPECT_EQ(writer.writes[0].first, "D:\\out\\services.txt");
    EXPECT_EQ(writer.writes[0].second,
              kSeparator + "Service Display Name: Remote Procedure Call (RPC)\r\n" +
                  "Service: RpcSs\r\nPID: 812\r\nPID Memory: 08.25 MB\r\n" +
                  "Path: C:\\Windows\\system32\\svchost.exe -k rpcss\r\n" + kSeparator);
    EXPECT_EQ(steps, (std::vector<std::string>{"yield", "yield"}));
}

TEST_F(ReportFlowTest, CancelWritesNothingAndKeepsTheReportPath) {
    const std::string before = reportPath;
    EXPECT_EQ(Save(), SaveListResult::Cancelled);
    EXPECT_EQ(reportPath, before);
    EXPECT_TRUE(writer.writes.empty());
    EXPECT_TRUE(steps.empty());
}

TEST_F(ReportFlowTest, ProposalTooLongForTheDialogWritesNothing) {
    reportPath = "C:\\" + std::string(257, 'd'); // 260 characters
    ChooseOnOk("C:\\never.txt");
    EXPECT_EQ(Save(), SaveListResult::Cancelled);
    EXPECT_TRUE(api.shown.empty());
    EXPECT_TRUE(writer.writes.empty());
    EXPECT_EQ(reportPath.size(), 260u);
}

TEST_F(ReportFlowTest, FailedWriteStillRemembersTheChosenName) {
    ChooseOnOk("Z:\\missing\\r.txt");
    writer.fail = true;
    EXPECT_EQ(Save(), SaveListResult::NotWritten);
    EXPECT_EQ(reportPath, "Z:\\missing\\r.txt");
    // The user is told, with the file and the system's reason.
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("Z:\\missing\\r.txt"), std::string::npos);
    EXPECT_NE(messages[0].find("Access is denied."), std::string::npos);
}

TEST_F(ReportFlowTest, EventsHookTheDialog) {
    struct Events : cCommonDialog::Events {
    } events;
    SaveListSeams seams{api, writer, {}, &events, {}};
    SaveListThroughDialog(0, reportPath, list, seams);
    ASSERT_EQ(api.shown.size(), 1u);
    EXPECT_NE(api.shown[0].U32(ofn::kHook), 0u);
    EXPECT_TRUE(api.shown[0].wide) << "the report's dialog takes any file name";
    EXPECT_EQ(api.shown[0].Flags() & 0x80020u, 0x80020u);
}

TEST(ReportPath, DesktopFollowedByTheReportName) {
    EXPECT_EQ(MakeReportPath("C:\\Users\\me\\Desktop"),
              "C:\\Users\\me\\Desktop\\Corvale_By_Varnholt.txt");
    EXPECT_EQ(MakeReportPath(""), "\\Corvale_By_Varnholt.txt");
}

} // namespace
