// The demo system as tools/run prepares it, seen through the program's main window: Refresh
// lists every demo service that runs in svchost, none that does not, and the labels agree with
// the rows.
#include "app/win32/message_pump.h"
#include "app/win32/program.h"
#include "demo/win32/demo_services.h"
#include "platform/win32/com.h"
#include "platform/win32/system_wmi.h"
#include "tests/support/win32_test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>

namespace corvale::win32 {
namespace {

using demo::DemoService;
using demo::DemoServiceState;

// "1,234.56 MB" in the user's number format, as hundredths of a megabyte.
std::optional<long long> Hundredths(const std::string& text, const NumberLocale& locale) {
    const size_t unit = text.rfind(" MB");
    if (unit == std::string::npos || unit + 3 != text.size()) return std::nullopt;
    long long value = 0;
    int decimals = -1;
    for (size_t i = 0; i < unit; ++i) {
        const std::string rest = text.substr(i);
        if (decimals < 0 && !locale.group.empty() && rest.rfind(locale.group, 0) == 0) {
            i += locale.group.size() - 1;
        } else if (decimals < 0 && rest.rfind(locale.decimal, 0) == 0) {
            decimals = 0;
            i += locale.decimal.size() - 1;
        } else if (text[i] >= '0' && text[i] <= '9') {
            value = value * 10 + (text[i] - '0');
            if (decimals >= 0) ++decimals;
        } else {
            return std::nullopt;
        }
    }
    if (decimals != 2) return std::nullopt;
    return value;
}

// A press of the left button on the control, through the system's input queue.
void ClickLikeAUser(HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    const POINT at{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    test_support::MoveMouseTo(at);
    test_support::PressMouse({MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP});
}

struct Row {
    std::string display, pid, memory, path;
};

TEST(DemoSystem, RefreshListsTheDemoServicesInSvchostAndTheLabelsAgree) {
    ComApartment com;
    std::wstring summary;
    demo::DemoResult r = demo::PrepareDemoSystem(true, &summary);
    ASSERT_TRUE(r.ok()) << r.Utf8();
    // Prepared again, as a second tools/run would: the running demo is reused.
    r = demo::PrepareDemoSystem(false, &summary);
    ASSERT_TRUE(r.ok()) << r.Utf8();
    EXPECT_NE(summary.find(L"already running"), std::wstring::npos) << demo::ToUtf8(summary);

    SystemWmiLocator wmi;
    auto window = OpenMainWindow(GetModuleHandleW(nullptr), SystemServices(wmi));
    ASSERT_NE(window, nullptr);
    SetWindowPos(window->Hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(window->Hwnd());
    PumpUntil([] { return false; }, 100);
    HWND refresh = window->Child("Command1");
    Win32ListView& list = window->List();
    ClickLikeAUser(refresh);
    ASSERT_TRUE(
        PumpUntil([&] { return list.RowCount() > 0 && IsWindowEnabled(refresh) != FALSE; }, 60000));

    std::map<std::string, Row> rows; // by service name
    for (int row = 1; row <= list.RowCount(); ++row)
        rows[list.CellText(row, 1)] = {list.RowText(row), list.CellText(row, 2),
                                       list.CellText(row, 3), list.CellText(row, 4)};
    std::map<std::wstring, DemoServiceState> states;
    for (const DemoServiceState& s : demo::ListDemoServices()) states[s.name] = s;

    const NumberLocale locale = UserNumberLocale();
    for (const DemoService& s : demo::DefaultDemoSet()) {
        const std::string name = demo::ToUtf8(s.name);
        SCOPED_TRACE(name);
        const auto row = rows.find(name);
        if (!s.running || s.group.empty()) {
            EXPECT_EQ(row, rows.end()) << "listed though not running in svchost";
            continue;
        }
        ASSERT_NE(row, rows.end());
        EXPECT_EQ(row->second.display, demo::ToUtf8(s.displayName));
        EXPECT_EQ(row->second.pid, std::to_string(states[s.name].processId));
        EXPECT_NE(row->second.path.find("svchost.exe -k " + demo::ToUtf8(s.group)),
                  std::string::npos);
        const auto hundredths = Hundredths(row->second.memory, locale);
        ASSERT_TRUE(hundredths) << row->second.memory;
        EXPECT_GE(*hundredths, static_cast<long long>(s.workingSetMB) * 100);
    }

    // One memory text per host; the labels count the rows and the hosts and add the hosts up.
    std::map<std::string, std::string> hostMemory;
    for (const auto& [name, row] : rows) {
        const auto [at, fresh] = hostMemory.emplace(row.pid, row.memory);
        EXPECT_EQ(at->second, row.memory) << "two memory texts for process " << row.pid;
    }
    long long sum = 0;
    for (const auto& [pid, memory] : hostMemory) sum += Hundredths(memory, locale).value_or(0);
    EXPECT_EQ(window->GetText(window->Child("Label5")), std::to_string(rows.size()));
    EXPECT_EQ(window->GetText(window->Child("Label6")), std::to_string(hostMemory.size()));
    const auto total = Hundredths(window->GetText(window->Child("Label7")), locale);
    ASSERT_TRUE(total);
    // Each host's text is rounded to a hundredth on its own, the total once.
    EXPECT_LE(std::llabs(*total - sum), static_cast<long long>(hostMemory.size()));

    window.reset();
    test_support::DrainQuit();
    std::vector<std::wstring> names;
    for (const DemoService& s : demo::DefaultDemoSet()) names.push_back(s.name);
    EXPECT_TRUE(demo::RemoveDemoServices(names).ok());
}

} // namespace
} // namespace corvale::win32
