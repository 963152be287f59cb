// The program's real windows under the system's window manager, with recorded management data
// put in where the program is assembled.
#include "app/win32/message_pump.h"
#include "app/win32/program.h"
#include "app/win32/report_export_win32.h"
#include "platform/fixture_wmi.h"
#include "platform/win32/com.h"
#include "platform/win32/text_seams.h"
#include "tests/app/app_test_support.h"
#include "tests/support/win32_test_support.h"

#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>
#include <gtest/gtest.h>
#include <oleacc.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace corvale::win32 {
namespace {

WmiObject Service(std::string display, std::string name, std::int64_t pid, std::string path,
                  std::optional<std::string> description = "Does its work.") {
    WmiObject o;
    o.Set("AcceptPause", WmiValue::Bool(false));
    o.Set("AcceptStop", WmiValue::Bool(pid != 0));
    o.Set("Caption", WmiValue::Text(display));
    o.Set("Description", description ? WmiValue::Text(*description) : WmiValue::Null());
    o.Set("DesktopInteract", WmiValue::Bool(false));
    o.Set("DisplayName", WmiValue::Text(display));
    o.Set("ErrorControl", WmiValue::Text("Normal"));
    o.Set("ExitCode", WmiValue::Integer(pid != 0 ? 0 : 1077));
    o.Set("Name", WmiValue::Text(name));
    o.Set("PathName", WmiValue::Text(path));
    o.Set("ProcessId", WmiValue::Integer(pid));
    o.Set("ServiceSpecificExitCode", WmiValue::Integer(0));
    o.Set("ServiceType", WmiValue::Text("Share Process"));
    o.Set("Started", WmiValue::Bool(pid != 0));
    o.Set("StartMode", WmiValue::Text("Auto"));
    o.Set("StartName", WmiValue::Text("NT AUTHORITY\\LocalService"));
    o.Set("State", WmiValue::Text(pid != 0 ? "Running" : "Stopped"));
    o.Set("Status", WmiValue::Text("OK"));
    o.Set("TagId", WmiValue::Integer(0));
    o.Set("WaitHint", WmiValue::Integer(0));
    return o;
}

WmiObject Process(std::int64_t pid, std::string workingSet) {
    WmiObject o;
    o.Set("ProcessId", WmiValue::Integer(pid));
    o.Set("Name", WmiValue::Text("svchost.exe"));
    o.Set("WorkingSetSize", WmiValue::Text(std::move(workingSet)));
    return o;
}

constexpr const char* kSvchost = "C:\\Windows\\system32\\svchost.exe -k ";

FixtureData Recorded() {
    FixtureData d;
    d.services = {
        Service("Remote Procedure Call (RPC)", "RpcSs", 1000, std::string(kSvchost) + "rpcss"),
        Service("DCOM Server Process Launcher", "DcomLaunch", 88,
                std::string(kSvchost) + "DcomLaunch"),
        Service("background Tasks Infrastructure", "BrokerInfrastructure", 88,
                std::string(kSvchost) + "DcomLaunch"),
        Service("Windows Event Log", "EventLog", 1234,
                std::string(kSvchost) + "LocalServiceNetworkRestricted", std::nullopt),
        Service("Stopped Host Service", "Stopped", 0, std::string(kSvchost) + "netsvcs"),
        Service("Print Spooler", "Spooler", 2000, "C:\\Windows\\System32\\spoolsv.exe"),
        Service("Zeta Network Service", "Zeta", 4, std::string(kSvchost) + "netsvcs"),
        Service("Capital Letters", "Capital", 77, "C:\\WINDOWS\\SVCHOST.EXE -k caps"),
    };
    d.processes = {Process(1000, "5505024"), Process(88, "123456789"), Process(1234, "1610612736"),
                   Process(4, "524288"), Process(2000, "4096")};
    return d;
}

std::string Text(HWND hwnd) {
    const int n = GetWindowTextLengthW(hwnd);
    std::wstring w(static_cast<std::size_t>(n) + 1, L'\0');
    w.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, w.data(), n + 1)));
    return Utf8FromWide(w);
}

// The tool-tip window owned by one of the thread's windows.
BOOL CALLBACK FindOwnedToolTip(HWND h, LPARAM found) {
    wchar_t cls[64] = {};
    GetClassNameW(h, cls, 64);
    if (lstrcmpiW(cls, TOOLTIPS_CLASSW) == 0 && GetWindow(h, GW_OWNER) != nullptr) {
        *reinterpret_cast<HWND*>(found) = h;
        return FALSE;
    }
    return TRUE;
}

bool Shown(HWND hwnd) {
    return (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
}

// Cell text as the list view itself answers LVM_GETITEMTEXT.
std::string Cell(HWND list, int index, int subItem) {
    return Utf8FromWide(test_support::ListCellText(list, index, subItem));
}

int Rows(HWND list) {
    return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
}

std::vector<std::string> Column(HWND list, int subItem) {
    std::vector<std::string> out;
    for (int i = 0; i < Rows(list); ++i) out.push_back(Cell(list, i, subItem));
    return out;
}

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(Open(BaseServices())); }

    void TearDown() override {
        window_.reset();
        test_support::DrainQuit();
    }

    MainWindowServices BaseServices() {
        MainWindowServices s;
        s.wmi = &wmi_;
        s.specialFolderPath = [this](int folder) {
            folderAsked_ = folder;
            return std::string("C:\\Users\\tester\\Desktop");
        };
        return s;
    }

    bool Open(MainWindowServices s) {
        window_.reset();
        test_support::DrainQuit();
        window_ = OpenMainWindow(GetModuleHandleW(nullptr), std::move(s));
        return window_ != nullptr;
    }

    HWND Child(const char* name) const { return window_->Child(name); }
    HWND List() const { return Child("ListView1"); }

    void Click(const char* button) { SendMessageW(Child(button), BM_CLICK, 0, 0); }

    // Refresh, then let the timer run the scan.
    void Refresh() {
        Click("Command1");
        ASSERT_TRUE(PumpUntil([&] { return IsWindowEnabled(Child("Command1")) != FALSE; }, 10000))
            << "the scan never finished";
    }

    // A click on a column header, as the header control reports it to the list.
    void ClickHeader(int subItem) {
        HWND header = reinterpret_cast<HWND>(SendMessageW(List(), LVM_GETHEADER, 0, 0));
        ASSERT_NE(header, nullptr);
        NMHEADERW nm{};
        nm.hdr.hwndFrom = header;
        nm.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(header));
        nm.hdr.code = HDN_ITEMCLICKW;
        nm.iItem = subItem;
        nm.iButton = 0;
        SendMessageW(List(), WM_NOTIFY, nm.hdr.idFrom, reinterpret_cast<LPARAM>(&nm));
        PumpPendingMessages();
    }

    // The centre of a row's label, as a mouse message's position.
    LPARAM RowCentre(int index) {
        RECT r{};
        r.left = LVIR_LABEL;
        SendMessageW(List(), LVM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
        return MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }

    // Selects the row and double-clicks it with the mouse.
    void DoubleClickRow(int index) {
        SelectAndDoubleClick(
            index, [](HWND w, UINT m, WPARAM wp, LPARAM lp) { SendMessageW(w, m, wp, lp); });
        PumpPendingMessages();
    }

    // Puts a double-click on the row into the queue, the row being selected first.
    void QueueDoubleClick(int index) {
        SelectAndDoubleClick(
            index, [](HWND w, UINT m, WPARAM wp, LPARAM lp) { PostMessageW(w, m, wp, lp); });
    }

    // The selection, then the double-click, each message handed to `deliver`; the selection's
    // record stays alive with the fixture, as a queued message reads it only later.
    template <class Deliver> void SelectAndDoubleClick(int index, Deliver deliver) {
        auto& state = queuedStates_.emplace_back();
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        deliver(List(), LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&state));
        const LPARAM at = RowCentre(index);
        deliver(List(), WM_LBUTTONDBLCLK, MK_LBUTTON, at);
        deliver(List(), WM_LBUTTONUP, 0, at);
    }

    bool BusyBarAnimating() {
        const AnimationBar& bar = window_->BusyBarWindow().Model();
        for (int t = 0; t < AnimationBar::kTimerCount; ++t)
            if (bar.TimerOf(static_cast<AnimationBar::Timer>(t)).enabled) return true;
        return false;
    }

    int RowOf(const std::string& serviceName) {
        for (int i = 0; i < Rows(List()); ++i)
            if (Cell(List(), i, 1) == serviceName) return i;
        return -1;
    }

    FixtureWmi wmi_{Recorded()};
    std::unique_ptr<FrmMain> window_;
    int folderAsked_ = -1;
    std::deque<LVITEMW> queuedStates_; // read when the queued messages run
};

TEST_F(MainWindowTest, OpensIdleCentredAndSizedWithEmptyListAndZeroCounters) {
    HWND main = window_->Hwnd();
    EXPECT_EQ(Text(main), "Varnholt - Corvale");
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_EQ(Rows(List()), 0);
    EXPECT_TRUE(Shown(List()));
    EXPECT_EQ(Text(Child("Label5")), "0");
    EXPECT_EQ(Text(Child("Label6")), "0");
    EXPECT_EQ(Text(Child("Label7")), "00.00 MB");
    EXPECT_FALSE(Shown(Child("Label2")));
    EXPECT_TRUE(IsWindowEnabled(Child("Command1")));
    EXPECT_FALSE(IsWindowEnabled(Child("Command2")));
    EXPECT_FALSE(IsWindowEnabled(Child("Command3")));
    EXPECT_FALSE(Shown(Child("List1")));
    EXPECT_FALSE(Shown(Child("Text1")));
    EXPECT_EQ(Text(Child("Text1")), "\"");
    EXPECT_EQ(wmi_.bindCount, 0) << "nothing is asked of the system before Refresh";

    // Outer size 9180 x 5190 twips at the window's DPI, centred on the screen.
    const int dpi = window_->Dpi();
    RECT r{};
    GetWindowRect(main, &r);
    EXPECT_NEAR(r.right - r.left, 9180 * dpi / 1440.0, 1.0);
    EXPECT_NEAR(r.bottom - r.top, 5190 * dpi / 1440.0, 1.0);
    const int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_NEAR(r.left, (screenW - (r.right - r.left)) / 2.0, 1.0);
    EXPECT_NEAR(r.top, (screenH - (r.bottom - r.top)) / 2.0, 1.0);

    // The five headers, and the default report path on the desktop.
    HWND header = reinterpret_cast<HWND>(SendMessageW(List(), LVM_GETHEADER, 0, 0));
    EXPECT_EQ(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0), 5);
    EXPECT_EQ(window_->List().ColumnText(3), "PID");
    EXPECT_EQ(folderAsked_, 0);
    EXPECT_EQ(window_->ReportPath(), "C:\\Users\\tester\\Desktop\\Corvale_By_Varnholt.txt");
}

TEST_F(MainWindowTest, ButtonsCarryTheirToolTipsAndPictures) {
    HWND tip = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &FindOwnedToolTip, reinterpret_cast<LPARAM>(&tip));
    ASSERT_NE(tip, nullptr);
    const std::pair<const char*, const char*> expected[] = {
        {"Command1", "Refresh List (F5)"},
        {"Command2", "Save List To File (Ctrl+S)"},
        {"Command3", "Copy List To Clip Board (Ctrl+Shift+C)"}};
    for (const auto& [name, text] : expected) {
        wchar_t buf[128] = {};
        TTTOOLINFOW ti{};
        ti.cbSize = sizeof ti;
        ti.hwnd = window_->Hwnd();
        ti.uId = reinterpret_cast<UINT_PTR>(Child(name));
        ti.lpszText = buf;
        SendMessageW(tip, TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&ti));
        EXPECT_EQ(Utf8FromWide(buf), text) << name;
        EXPECT_NE(SendMessageW(Child(name), BM_GETIMAGE, IMAGE_ICON, 0), 0) << name;
    }
}

TEST_F(MainWindowTest, RefreshHidesTheListUntilTheTimerHasRunTheScan) {
    Click("Command1");
    // Right after the click: busy state, scan pending on the timer.
    EXPECT_FALSE(IsWindowEnabled(Child("Command1")));
    EXPECT_FALSE(Shown(List()));
    EXPECT_TRUE(Shown(Child("Label2")));
    EXPECT_TRUE(IsWindowEnabled(Child("Command2")));
    EXPECT_TRUE(IsWindowEnabled(Child("Command3")));
    EXPECT_EQ(wmi_.bindCount, 0);
    EXPECT_TRUE(BusyBarAnimating()) << "the busy bar runs while the scan is pending";

    ASSERT_TRUE(PumpUntil([&] { return IsWindowEnabled(Child("Command1")) != FALSE; }, 10000));
    EXPECT_TRUE(Shown(List()));
    EXPECT_FALSE(Shown(Child("Label2")));
    EXPECT_TRUE(IsWindowEnabled(Child("Command2")));
    EXPECT_FALSE(BusyBarAnimating());

    // Rows in the order the service query returned them; stopped, non-host and capitalised
    // paths left out.
    ASSERT_EQ(Rows(List()), 5);
    EXPECT_EQ(Column(List(), 0),
              (std::vector<std::string>{
                  "Remote Procedure Call (RPC)", "DCOM Server Process Launcher",
                  "background Tasks Infrastructure", "Windows Event Log", "Zeta Network Service"}));
    EXPECT_EQ(Column(List(), 1),
              (std::vector<std::string>{"RpcSs", "DcomLaunch", "BrokerInfrastructure", "EventLog",
                                        "Zeta"}));
    EXPECT_EQ(Column(List(), 2), (std::vector<std::string>{"1000", "88", "88", "1234", "4"}));
    EXPECT_EQ(Column(List(), 3), (std::vector<std::string>{"05.25 MB", "117.74 MB", "117.74 MB",
                                                           "1,536.00 MB", "00.50 MB"}));
    EXPECT_EQ(Cell(List(), 3, 4),
              "C:\\Windows\\system32\\svchost.exe -k LocalServiceNetworkRestricted");

    EXPECT_EQ(Text(Child("Label5")), "5");
    EXPECT_EQ(Text(Child("Label6")), "4");
    EXPECT_EQ(Text(Child("Label7")), "1,659.49 MB");
    // The hidden host-id list holds each process once, in order of first appearance.
    HWND hosts = Child("List1");
    ASSERT_EQ(SendMessageW(hosts, LB_GETCOUNT, 0, 0), 4);
    wchar_t second[16] = {};
    SendMessageW(hosts, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(second));
    EXPECT_EQ(Utf8FromWide(second), "88");
    // One service query and a fresh binding for each of the four host processes.
    EXPECT_EQ(wmi_.bindCount, 5);

    // A second refresh shows the same.
    Refresh();
    EXPECT_EQ(Rows(List()), 5);
    EXPECT_EQ(Text(Child("Label6")), "4");
}

TEST_F(MainWindowTest, WithoutTheManagementServiceTheListStaysEmpty) {
    wmi_.bindFails = true;
    Refresh();
    EXPECT_EQ(Rows(List()), 0);
    EXPECT_EQ(Text(Child("Label5")), "0");
    EXPECT_EQ(Text(Child("Label6")), "0");
    EXPECT_EQ(Text(Child("Label7")), "00.00 MB");
    EXPECT_TRUE(Shown(List()));
    EXPECT_TRUE(IsWindowEnabled(Child("Command1")));
}

TEST_F(MainWindowTest, HeaderClicksSortTextWithoutCaseAndThePidColumnByNumber) {
    Refresh();
    ClickHeader(2); // PID
    const auto pidsOnce = Column(List(), 2);
    ClickHeader(2);
    const auto pidsTwice = Column(List(), 2);
    // The two clicks give the two directions; which comes first is the list's own.
    const std::vector<std::string> up{"4", "88", "88", "1000", "1234"};
    const std::vector<std::string> down{"1234", "1000", "88", "88", "4"};
    EXPECT_TRUE((pidsOnce == up && pidsTwice == down) || (pidsOnce == down && pidsTwice == up))
        << pidsOnce[0] << " " << pidsTwice[0];
    // Rows with equal keys keep the order they had.
    EXPECT_LT(RowOf("DcomLaunch"), RowOf("BrokerInfrastructure"));
    // The memory cells travelled with their rows; PID cells show their texts again.
    EXPECT_EQ(Cell(List(), RowOf("Zeta"), 3), "00.50 MB");
    EXPECT_EQ(Cell(List(), RowOf("Zeta"), 2), "4");

    ClickHeader(0); // display name, letter case ignored
    auto names = Column(List(), 0);
    if (names.front() != "background Tasks Infrastructure") {
        ClickHeader(0);
        names = Column(List(), 0);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"background Tasks Infrastructure",
                                               "DCOM Server Process Launcher",
                                               "Remote Procedure Call (RPC)", "Windows Event Log",
                                               "Zeta Network Service"}));
}

TEST_F(MainWindowTest, TextSortFollowsTheUsersAlphabetWithoutLetterCase) {
    for (const char* name :
         {"Zeta", "\xC3\xA9v\xC3\xA9nements", "alpha", "\xC3\x89v\xC3\xA9nements", "Beta"})
        window_->List().AddRow(name);
    ClickHeader(0);
    auto names = Column(List(), 0);
    if (names.front() != "alpha") {
        ClickHeader(0);
        names = Column(List(), 0);
    }
    // Accented letters in their alphabetical place; texts equal but for case keep their order.
    EXPECT_EQ(names, (std::vector<std::string>{"alpha", "Beta", "\xC3\xA9v\xC3\xA9nements",
                                               "\xC3\x89v\xC3\xA9nements", "Zeta"}));
}

// The user's own separators for the time of a test, kept where the system keeps the user's
// choices; the previous ones come back afterwards.
class UserSeparators {
  public:
    UserSeparators(const wchar_t* decimal, const wchar_t* group) {
        GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal_, 8);
        GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, group_, 8);
        set_ = SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal) &&
               SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, group);
    }
    ~UserSeparators() {
        SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal_);
        SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, group_);
    }
    bool Set() const { return set_; }

  private:
    wchar_t decimal_[8] = {};
    wchar_t group_[8] = {};
    bool set_ = false;
};

TEST_F(MainWindowTest, SizeTextsAndNumberKeysFollowTheUsersSeparators) {
    UserSeparators german(L",", L".");
    ASSERT_TRUE(german.Set());
    MainWindowServices s = BaseServices();
    s.locale = SystemServices(wmi_).locale; // as the program reads it at start-up
    ASSERT_TRUE(Open(std::move(s)));
    Refresh();
    EXPECT_EQ(Column(List(), 3), (std::vector<std::string>{"05,25 MB", "117,74 MB", "117,74 MB",
                                                           "1.536,00 MB", "00,50 MB"}));
    EXPECT_EQ(Text(Child("Label7")), "1.659,49 MB");
    // A PID written with the user's group separator still sorts as the number it is.
    window_->List().SetCellText(RowOf("Zeta") + 1, 2, "1.100");
    ClickHeader(2);
    auto pids = Column(List(), 2);
    if (pids.front() != "88") {
        ClickHeader(2);
        pids = Column(List(), 2);
    }
    EXPECT_EQ(pids, (std::vector<std::string>{"88", "88", "1000", "1.100", "1234"}));
}

// Host memory sorts by size in the user's number format, both ways.
TEST_F(MainWindowTest, MemorySortsBySizeInEnglishAndGermanFormats) {
    struct Format {
        const wchar_t *decimal, *group;
        std::vector<std::string> ascending;
    };
    const Format formats[] = {
        {L".", L",", {"09.00 MB", "20.00 MB", "150.00 MB", "1,200.00 MB"}},
        {L",", L".", {"09,00 MB", "20,00 MB", "150,00 MB", "1.200,00 MB"}},
    };
    for (const Format& f : formats) {
        UserSeparators separators(f.decimal, f.group);
        ASSERT_TRUE(separators.Set());
        MainWindowServices s = BaseServices();
        s.locale = SystemServices(wmi_).locale;
        ASSERT_TRUE(Open(std::move(s)));
        for (int i : {1, 2, 0, 3}) { // as the scan met them: 20, 150, 9, 1,200 MB
            const int row = window_->List().AddRow("service " + std::to_string(i));
            window_->List().SetCellText(row, 3, f.ascending[static_cast<std::size_t>(i)]);
        }
        const std::vector<std::string> descending(f.ascending.rbegin(), f.ascending.rend());
        ClickHeader(3);
        const auto once = Column(List(), 3);
        ClickHeader(3);
        const auto twice = Column(List(), 3);
        EXPECT_TRUE((once == f.ascending && twice == descending) ||
                    (once == descending && twice == f.ascending))
            << once[0] << " " << once[3] << " / " << twice[0] << " " << twice[3];
    }
}

const std::string kEventLogDetail = test_support::ExpectedDetailText(
    "Windows Event Log", "EventLog",
    "C:\\Windows\\system32\\svchost.exe -k LocalServiceNetworkRestricted", "1234");

TEST_F(MainWindowTest, DoubleClickOpensTheOneDetailWindowAndReusesIt) {
    // An empty list opens nothing.
    DoubleClickRow(0);
    EXPECT_EQ(window_->DetailWindow(), nullptr);

    Refresh();
    DoubleClickRow(RowOf("EventLog"));
    FrmDetailService* detail = window_->DetailWindow();
    ASSERT_NE(detail, nullptr);
    HWND first = detail->Hwnd();
    EXPECT_TRUE(IsWindowVisible(first));
    EXPECT_EQ(Text(first), "Detailed Service Info - Windows Event Log");
    EXPECT_EQ(Text(detail->TextBox()), kEventLogDetail);
    RECT r{};
    GetWindowRect(first, &r);
    EXPECT_NEAR(r.right - r.left, 8055 * detail->Dpi() / 1440.0, 1.0);
    EXPECT_NEAR(r.bottom - r.top, 4695 * detail->Dpi() / 1440.0, 1.0);

    DoubleClickRow(RowOf("RpcSs"));
    ASSERT_NE(window_->DetailWindow(), nullptr);
    EXPECT_EQ(window_->DetailWindow()->Hwnd(), first) << "the same window is reused";
    EXPECT_EQ(Text(first), "Detailed Service Info - Remote Procedure Call (RPC)");
    const std::string text = Text(window_->DetailWindow()->TextBox());
    EXPECT_NE(text.find("Name: \t\t\tRpcSs\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Description: \t\tDoes its work.\r\n"), std::string::npos) << text;

    // Closed, it is made anew by the next double-click.
    SendMessageW(first, WM_CLOSE, 0, 0);
    PumpPendingMessages();
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(window_->DetailWindow(), nullptr);
    DoubleClickRow(RowOf("Zeta"));
    ASSERT_NE(window_->DetailWindow(), nullptr);
    EXPECT_EQ(Text(window_->DetailWindow()->Hwnd()),
              "Detailed Service Info - Zeta Network Service");
}

TEST_F(MainWindowTest, DetailWindowClosedAndReplacedWhileADoubleClickYields) {
    Refresh();
    DoubleClickRow(RowOf("EventLog"));
    ASSERT_NE(window_->DetailWindow(), nullptr);
    HWND first = window_->DetailWindow()->Hwnd();
    // The second double-click's handler yields; in that yield the user closes the detail window
    // and double-clicks a third row, whose handler makes a new detail window.
    QueueDoubleClick(RowOf("RpcSs"));
    PostMessageW(first, WM_CLOSE, 0, 0);
    QueueDoubleClick(RowOf("Zeta"));
    PumpPendingMessages();
    EXPECT_FALSE(IsWindow(first));
    FrmDetailService* detail = window_->DetailWindow();
    ASSERT_NE(detail, nullptr);
    EXPECT_NE(detail->Hwnd(), first);
    EXPECT_EQ(Text(detail->Hwnd()), "Detailed Service Info - Zeta Network Service");
    EXPECT_NE(Text(detail->TextBox()).find("Name: \t\t\tZeta\r\n"), std::string::npos)
        << Text(detail->TextBox());
}

TEST_F(MainWindowTest, ClosingTheMainWindowWhileAnyHandlerYieldsEndsTheProgram) {
    int ended = 0;
    MainWindowServices s = BaseServices();
    s.endProgram = [&] { ++ended; };
    ASSERT_TRUE(Open(std::move(s)));
    Refresh();
    HWND main = window_->Hwnd();
    QueueDoubleClick(0); // its handler yields, and the close runs there
    PostMessageW(main, WM_CLOSE, 0, 0);
    RunMessageLoop(); // the program's own loop, which is no yield
    EXPECT_FALSE(IsWindow(main));
    EXPECT_EQ(ended, 1);
}

TEST_F(MainWindowTest, ClosingTheMainWindowEndsTheProgramWithTheDetailWindow) {
    Refresh();
    DoubleClickRow(0);
    ASSERT_NE(window_->DetailWindow(), nullptr);
    HWND detail = window_->DetailWindow()->Hwnd();
    HWND main = window_->Hwnd();
    PostMessageW(main, WM_CLOSE, 0, 0);
    // The program's own loop returns once the main window is gone.
    RunMessageLoop();
    EXPECT_FALSE(IsWindow(main));
    EXPECT_FALSE(IsWindow(detail));
}

// The report of the scanned list in the order it is shown: per row a separator, five labelled
// lines and a separator.
std::string ExpectedReport(HWND list) {
    const std::string separator(62, '-');
    std::string out;
    for (int i = 0; i < Rows(list); ++i) {
        out += separator + "\r\n";
        out += "Service Display Name: " + Cell(list, i, 0) + "\r\n";
        out += "Service: " + Cell(list, i, 1) + "\r\n";
        out += "PID: " + Cell(list, i, 2) + "\r\n";
        out += "PID Memory: " + Cell(list, i, 3) + "\r\n";
        out += "Path: " + Cell(list, i, 4) + "\r\n";
        out += separator + "\r\n";
    }
    return out;
}

// Answers the save dialog from its hook: OK (keeping the proposed name) or Cancel.
// With closeAfter set, that window is asked to close right after the answer.
struct AnswerDialog : cCommonDialog::Events {
    bool cancel = false;
    int shown = 0;
    HWND closeAfter = nullptr;
    std::wstring typeName; // typed into the name box first when set
    void InitDialog(WindowHandle hDlg) override {
        ++shown;
        HWND dialog = GetParent(reinterpret_cast<HWND>(hDlg));
        if (!typeName.empty()) {
            PostMessageW(dialog, CDM_SETCONTROLTEXT, edt1,
                         reinterpret_cast<LPARAM>(typeName.c_str()));
            PostMessageW(dialog, CDM_SETCONTROLTEXT, cmb13,
                         reinterpret_cast<LPARAM>(typeName.c_str()));
        }
        const int id = cancel ? IDCANCEL : IDOK;
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
        if (closeAfter) PostMessageW(closeAfter, WM_CLOSE, 0, 0);
    }
};

class ReportButtonsTest : public MainWindowTest {
  protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        folder_ = Utf8FromWide(temp) + "corvale-report-" + FolderTag();
        CreateDirectoryW(WideFromUtf8(folder_).c_str(), nullptr);
        ASSERT_TRUE(Open(ReportServices()));
    }
    MainWindowServices ReportServices() {
        MainWindowServices s = BaseServices();
        s.specialFolderPath = [this](int) { return folder_; };
        s.saveList = [this](HWND owner, std::string& path, const ListControl& list) {
            SaveListWithSystemDialog(
                owner, path, list, [] { PumpPendingMessages(); }, &answer_);
        };
        s.copyList = [](HWND owner, const ListControl& list) {
            CopyListToSystemClipboard(owner, list);
        };
        return s;
    }
    // The child process of a death test works in the folder of the test that started it.
    static std::string FolderTag() {
        wchar_t tag[32] = {};
        if (GetEnvironmentVariableW(kTagVariable, tag, 32) > 0) return Utf8FromWide(tag);
        return std::to_string(GetCurrentProcessId());
    }
    static constexpr const wchar_t* kTagVariable = L"CORVALE_REPORT_TEST_TAG";
    void TearDown() override {
        DeleteFileW(WideFromUtf8(ReportFile()).c_str());
        RemoveDirectoryW(WideFromUtf8(folder_).c_str());
        MainWindowTest::TearDown();
    }
    std::string ReportFile() const { return folder_ + "\\Corvale_By_Varnholt.txt"; }
    static std::optional<std::string> ReadFile(const std::string& path) {
        std::ifstream in(WideFromUtf8(path).c_str(), std::ios::binary);
        if (!in) return std::nullopt;
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::string folder_;
    AnswerDialog answer_;
};

TEST_F(ReportButtonsTest, SaveWritesTheShownRowsToTheChosenFileAndCancelKeepsThePath) {
    Refresh();
    ClickHeader(2); // the report follows the displayed order
    EXPECT_EQ(window_->ReportPath(), ReportFile());

    answer_.cancel = true;
    Click("Command2");
    EXPECT_EQ(answer_.shown, 1);
    EXPECT_FALSE(ReadFile(ReportFile()).has_value()) << "a cancelled dialog writes nothing";
    EXPECT_EQ(window_->ReportPath(), ReportFile());

    answer_.cancel = false;
    Click("Command2");
    EXPECT_EQ(answer_.shown, 2);
    const auto written = ReadFile(ReportFile());
    ASSERT_TRUE(written.has_value());
    const std::string expected = ExpectedReport(List());
    EXPECT_EQ(*written, expected);
    EXPECT_EQ(expected.substr(0, 62 + 2 + 22), std::string(62, '-') + "\r\nService Display Name: ");
    EXPECT_EQ(std::count(expected.begin(), expected.end(), '\n'), 5 * 7);
    EXPECT_EQ(window_->ReportPath(), ReportFile());
}

TEST_F(ReportButtonsTest, ClosingTheMainWindowAfterTheSaveDialogLeavesTheFileAlone) {
    const std::string old = "OLD REPORT CONTENT";
    std::ofstream(WideFromUtf8(ReportFile()).c_str(), std::ios::binary) << old;
    SetEnvironmentVariableW(kTagVariable, WideFromUtf8(FolderTag()).c_str());
    // The close arrives in the save's yield between the dialog and the writing: the program
    // ends there, as the program's own services end it.
    EXPECT_EXIT(
        {
            MainWindowServices s = ReportServices();
            s.endProgram = SystemServices(wmi_).endProgram;
            if (!Open(std::move(s))) std::exit(2);
            Refresh();
            answer_.closeAfter = window_->Hwnd();
            Click("Command2");
        },
        ::testing::ExitedWithCode(0), "");
    SetEnvironmentVariableW(kTagVariable, nullptr);
    EXPECT_EQ(ReadFile(ReportFile()), std::optional<std::string>(old));
}

std::string ClipboardText(HWND owner) {
    std::string text;
    if (!OpenClipboard(owner)) return text;
    if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* w = static_cast<const wchar_t*>(GlobalLock(h))) {
            text = Utf8FromWide(w);
            GlobalUnlock(h);
        }
    }
    CloseClipboard();
    return text;
}

TEST_F(ReportButtonsTest, CopyPutsTheSameReportOnTheClipboard) {
    Refresh();
    const std::string expected = ExpectedReport(List());
    // The clipboard is shared with whatever else runs on the display: a copy that another
    // program overwrote at once is tried again.
    std::string text;
    for (int attempt = 0; attempt < 3 && text != expected; ++attempt) {
        Click("Command3");
        text = ClipboardText(window_->Hwnd());
    }
    EXPECT_EQ(text, expected);
    EXPECT_NE(text.find("Service: EventLog\r\nPID: 1234\r\nPID Memory: 1,536.00 MB\r\n"),
              std::string::npos);
}

// The libraries this executable (made of the program's libraries) names in its import table.
std::vector<std::string> ImportedLibraries() {
    const auto* base = reinterpret_cast<const BYTE*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    std::vector<std::string> names;
    if (dir.VirtualAddress == 0) return names;
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
         d->Name != 0; ++d) {
        std::string name = reinterpret_cast<const char*>(base + d->Name);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](char c) { return static_cast<char>(std::tolower(uint8_t(c))); });
        names.push_back(name);
    }
    return names;
}

TEST(ProgramImports, ThemeAndBlendingLibrariesAreNotNeededToStart) {
    const auto names = ImportedLibraries();
    auto imports = [&](const char* name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };
    ASSERT_TRUE(imports("user32.dll"));
    EXPECT_FALSE(imports("uxtheme.dll"));
    EXPECT_FALSE(imports("msimg32.dll"));
}

// Closes the main window from inside the scan: the close is handled at the scan's next yield.
class ClosingWmi final : public WmiLocator {
  public:
    explicit ClosingWmi(WmiLocator& inner) : inner_(inner) {}
    std::unique_ptr<WmiServices> Bind(std::string_view moniker) override {
        if (window) PostMessageW(window, WM_CLOSE, 0, 0);
        return inner_.Bind(moniker);
    }
    HWND window = nullptr;

  private:
    WmiLocator& inner_;
};

TEST_F(MainWindowTest, ClosingDuringAScanEndsTheProgramAtOnce) {
    ClosingWmi closing(wmi_);
    int ended = 0;
    MainWindowServices s = BaseServices();
    s.wmi = &closing;
    s.endProgram = [&] { ++ended; };
    ASSERT_TRUE(Open(std::move(s)));
    closing.window = window_->Hwnd();
    Click("Command1");
    ASSERT_TRUE(PumpUntil([&] { return ended > 0; }, 10000));
    EXPECT_EQ(ended, 1);
    EXPECT_FALSE(IsWindow(closing.window));
}

// --- Keyboard, screen readers and saves that cannot go where they were meant to -------------

// Real key presses, as the keyboard sends them: the modifiers go down first and up last.
void PressKeys(std::initializer_list<WORD> keys) {
    std::vector<INPUT> in;
    for (WORD k : keys) {
        INPUT i{};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = k;
        in.push_back(i);
    }
    for (auto k = std::rbegin(keys); k != std::rend(keys); ++k) {
        INPUT i{};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = *k;
        i.ki.dwFlags = KEYEVENTF_KEYUP;
        in.push_back(i);
    }
    SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
}

// Brings the window to the front with the keyboard focus on one of its controls.
bool FocusOn(HWND window, HWND control) {
    return PumpUntil(
        [&] {
            SetForegroundWindow(window);
            SetFocus(control);
            return GetForegroundWindow() == window && GetFocus() == control;
        },
        3000);
}

// The texts of a message box that is up, and OK pressed on it.
struct MessageBoxWatch {
    static inline std::wstring text;
    static inline int seen = 0;
    static BOOL CALLBACK CollectText(HWND child, LPARAM) {
        wchar_t cls[16] = {}, buf[1024] = {};
        GetClassNameW(child, cls, 16);
        if (lstrcmpiW(cls, L"Static") == 0 && GetWindowTextW(child, buf, 1024) > 0) text += buf;
        return TRUE;
    }
    static BOOL CALLBACK Find(HWND top, LPARAM) {
        wchar_t cls[16] = {};
        GetClassNameW(top, cls, 16);
        if (lstrcmpW(cls, L"#32770") != 0 || !IsWindowVisible(top)) return TRUE;
        ++seen;
        EnumChildWindows(top, &CollectText, 0);
        PostMessageW(top, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return FALSE;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        if (seen == 0) EnumThreadWindows(GetCurrentThreadId(), &Find, 0);
    }
    UINT_PTR timer;
    MessageBoxWatch() : timer(SetTimer(nullptr, 0, 50, &Tick)) {
        text.clear();
        seen = 0;
    }
    ~MessageBoxWatch() { KillTimer(nullptr, timer); }
};

// The name the system's accessibility interface gives the window ("" when it has none).
std::string AccessibleName(HWND hwnd) {
    IAccessible* acc = nullptr;
    const HRESULT hr =
        AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                   reinterpret_cast<void**>(&acc));
    if (FAILED(hr) || !acc) {
        ADD_FAILURE() << "no accessible object, error " << std::hex << hr;
        return {};
    }
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    std::string out;
    if (acc->get_accName(self, &name) == S_OK && name) out = Utf8FromWide(name);
    SysFreeString(name);
    acc->Release();
    return out;
}

TEST_F(MainWindowTest, ScreenReadersFindANameOnEveryControl) {
    ComApartment com;
    Refresh(); // the list shows, and a double click opens the detail window
    DoubleClickRow(RowOf("EventLog"));
    ASSERT_NE(window_->DetailWindow(), nullptr);
    const FormWindow* windows[] = {window_.get(), window_->DetailWindow()};
    int named = 0;
    for (const FormWindow* form : windows) {
        for (const Control& c : form->Design().controls) {
            HWND w = form->ChildOf(c);
            if (!w || !IsWindowVisible(w)) continue;
            EXPECT_NE(AccessibleName(w), "") << c.name;
            ++named;
        }
    }
    EXPECT_GE(named, 14);
    EXPECT_EQ(AccessibleName(Child("Command1")), "Refresh List");
    EXPECT_EQ(AccessibleName(Child("Command2")), "Save List To File");
    EXPECT_EQ(AccessibleName(Child("Command3")), "Copy List To Clip Board");
    EXPECT_EQ(AccessibleName(Child("Label1")),
              "Double Click on a service to view detailed information.");
    EXPECT_EQ(AccessibleName(List()), "Services hosted by svchost");
    EXPECT_EQ(AccessibleName(window_->DetailWindow()->TextBox()), "Detailed service information");
}

TEST_F(ReportButtonsTest, KeysDoWhatTheirButtonsDo) {
    HWND main = window_->Hwnd();
    ASSERT_TRUE(FocusOn(main, List()));
    // F5 refreshes; a second F5 while the scan runs meets a disabled button and does nothing.
    PressKeys({VK_F5});
    ASSERT_TRUE(PumpUntil([&] { return !IsWindowEnabled(Child("Command1")); }, 3000));
    PressKeys({VK_F5});
    ASSERT_TRUE(PumpUntil([&] { return IsWindowEnabled(Child("Command1")) != FALSE; }, 10000));
    const int binds = wmi_.bindCount;
    PumpUntil([] { return false; }, 300);
    EXPECT_TRUE(IsWindowEnabled(Child("Command1")));
    EXPECT_EQ(wmi_.bindCount, binds) << "the F5 pressed during the scan started another";
    ASSERT_EQ(Rows(List()), 5);

    // Enter opens the selected row; Escape closes the detail window again.
    const int row = RowOf("EventLog");
    LVITEMW state{};
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(List(), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
    ASSERT_TRUE(FocusOn(main, List()));
    PressKeys({VK_RETURN});
    ASSERT_TRUE(PumpUntil([&] { return window_->DetailWindow() != nullptr; }, 5000));
    FrmDetailService* detail = window_->DetailWindow();
    EXPECT_EQ(Text(detail->Hwnd()), "Detailed Service Info - Windows Event Log");
    ASSERT_TRUE(FocusOn(detail->Hwnd(), detail->TextBox()));
    PressKeys({VK_ESCAPE});
    EXPECT_TRUE(PumpUntil([&] { return window_->DetailWindow() == nullptr; }, 3000));

    // Ctrl+S saves through the dialog, Ctrl+Shift+C copies.
    ASSERT_TRUE(FocusOn(main, List()));
    PressKeys({VK_CONTROL, 'S'});
    ASSERT_TRUE(PumpUntil([&] { return ReadFile(ReportFile()).has_value(); }, 5000));
    EXPECT_EQ(answer_.shown, 1);
    EXPECT_EQ(ReadFile(ReportFile()), std::optional<std::string>(ExpectedReport(List())));
    OpenClipboard(main);
    EmptyClipboard();
    CloseClipboard();
    ASSERT_TRUE(FocusOn(main, List()));
    PressKeys({VK_CONTROL, VK_SHIFT, 'C'});
    EXPECT_TRUE(PumpUntil([&] { return ClipboardText(main) == ExpectedReport(List()); }, 3000));
}

TEST_F(ReportButtonsTest, SavesIntoAFolderNamedOutsideTheAnsiCodePage) {
    const std::wstring folder = L"C:\\\x041E\x0442\x0447\x0451\x0442"; // C:\Отчёт
    const std::wstring file = folder + L"\\r.txt";
    CreateDirectoryW(folder.c_str(), nullptr);
    Refresh();
    answer_.typeName = file;
    Click("Command2");
    const auto written = ReadFile(Utf8FromWide(file));
    DeleteFileW(file.c_str());
    RemoveDirectoryW(folder.c_str());
    ASSERT_TRUE(written.has_value()) << "nothing written into " << Utf8FromWide(folder);
    EXPECT_EQ(*written, ExpectedReport(List())); // the report's bytes, in the system code page
    EXPECT_EQ(window_->ReportPath(), Utf8FromWide(file));
}

TEST_F(ReportButtonsTest, AFailedSaveSaysWhichFileAndWhyAndKeepsTheOldOne) {
    const std::string old = "OLD REPORT CONTENT";
    std::ofstream(WideFromUtf8(ReportFile()).c_str(), std::ios::binary) << old;
    const std::wstring wideFolder = WideFromUtf8(folder_);
    SetFileAttributesW(WideFromUtf8(ReportFile()).c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(wideFolder.c_str(), FILE_ATTRIBUTE_READONLY);
    Refresh();
    {
        MessageBoxWatch watch;
        Click("Command2");
        EXPECT_EQ(MessageBoxWatch::seen, 1);
    }
    SetFileAttributesW(wideFolder.c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesW(WideFromUtf8(ReportFile()).c_str(), FILE_ATTRIBUTE_NORMAL);
    const std::string message = Utf8FromWide(MessageBoxWatch::text);
    EXPECT_NE(message.find(ReportFile()), std::string::npos) << message;
    EXPECT_NE(message.find(SystemErrorText(ERROR_ACCESS_DENIED)), std::string::npos) << message;
    EXPECT_EQ(ReadFile(ReportFile()), std::optional<std::string>(old));
}

} // namespace
} // namespace corvale::win32
