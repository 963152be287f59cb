// Hours of use in a few minutes: the main window over the running system is refreshed N times,
// its detail window opened and closed N/5 times and the report saved and copied N/10 times,
// all through the real windows. The process's private bytes, handles and GDI/USER objects
// before and after must not grow beyond a small allowance.
//
// CORVALE_SOAK_N sets N (50 when unset). The figures are printed as "soak:" lines.
#include "app/win32/message_pump.h"
#include "app/win32/program.h"
#include "app/win32/report_export_win32.h"
#include "platform/win32/com.h"
#include "platform/win32/system_wmi.h"
#include "tests/support/win32_test_support.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace corvale::win32 {
namespace {

struct Counters {
    std::uint64_t privateBytes = 0;
    std::uint64_t addressSpace = 0; // reserved and committed virtual memory in use
    unsigned long handles = 0;
    unsigned long dialogKeys = 0; // of handles: Wine's save dialog's, see ProbeHandleTable
    unsigned long gdi = 0;
    unsigned long user = 0;
};

// GDI objects when the system does not say: every slot of the process's GDI handle table that
// holds an object. Under Wine a handle whose upper word is zero names its slot in any
// generation; on Windows GetGuiResources answers and this is not used.
unsigned long ProbeGdiTable() {
    unsigned long n = 0;
    for (UINT_PTR slot = 1; slot <= 0xFFFF; ++slot)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(slot)) != 0) ++n;
    return n;
}

BOOL CALLBACK CountChild(HWND, LPARAM count) {
    ++*reinterpret_cast<unsigned long*>(count);
    return TRUE;
}

BOOL CALLBACK CountWindow(HWND hwnd, LPARAM count) {
    ++*reinterpret_cast<unsigned long*>(count);
    EnumChildWindows(hwnd, CountChild, count);
    return TRUE;
}

// USER objects when the system does not say: the windows of this thread and their children.
unsigned long CountThreadWindows() {
    unsigned long n = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&n));
    return n;
}

// Private bytes when the system does not say: the committed private pages of the address space.
std::uint64_t SumPrivateCommit() {
    std::uint64_t sum = 0;
    MEMORY_BASIC_INFORMATION mbi{};
    for (auto* at = static_cast<char*>(nullptr);
         VirtualQuery(at, &mbi, sizeof mbi) == sizeof mbi && mbi.RegionSize != 0;
         at = static_cast<char*>(mbi.BaseAddress) + mbi.RegionSize) {
        if (mbi.State == MEM_COMMIT && mbi.Type == MEM_PRIVATE) sum += mbi.RegionSize;
        if (static_cast<char*>(mbi.BaseAddress) + mbi.RegionSize < at) break; // wrapped
    }
    return sum;
}

// The name of a registry key a handle holds; empty for other handles.
std::wstring KeyNameOf(HANDLE h) {
    using QueryObject = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    static const auto query = reinterpret_cast<QueryObject>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
    if (!query) return {};
    struct Text {
        USHORT length, maximum;
        wchar_t* buffer;
    };
    alignas(8) BYTE type[512] = {};
    ULONG n = 0;
    if (query(h, 2 /* type */, type, sizeof type, &n) != 0) return {};
    const auto* t = reinterpret_cast<const Text*>(type);
    if (!t->buffer || std::wstring(t->buffer, t->length / 2) != L"Key") return {};
    alignas(8) BYTE name[2048] = {};
    if (query(h, 1 /* name */, name, sizeof name, &n) != 0) return {};
    const auto* k = reinterpret_cast<const Text*>(name);
    return k->buffer ? std::wstring(k->buffer, k->length / 2) : std::wstring();
}

// Kernel handles when the system does not say: every handle value that names an object. Wine
// 8's save dialog leaves one key of its recent-folders list open for every file name accepted
// (comdlg32, not this program); those are counted apart.
unsigned long ProbeHandleTable(unsigned long& dialogKeys) {
    unsigned long n = 0;
    dialogKeys = 0;
    DWORD flags = 0;
    for (UINT_PTR h = 4; h < (1u << 16); h += 4)
        if (GetHandleInformation(reinterpret_cast<HANDLE>(h), &flags)) {
            ++n;
            const std::wstring key = KeyNameOf(reinterpret_cast<HANDLE>(h));
            if (key.size() >= 15 && key.compare(key.size() - 15, 15, L"\\LastVisitedMRU") == 0)
                ++dialogKeys;
        }
    return n;
}

bool gGuiResourcesAnswer = true, gPrivateAnswer = true, gHandleAnswer = true;

Counters MeasureMemory() {
    Counters c;
    PROCESS_MEMORY_COUNTERS_EX pmc{};
    pmc.cb = sizeof pmc;
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc),
                             sizeof pmc))
        c.privateBytes = pmc.PrivateUsage;
    if (c.privateBytes == 0) {
        gPrivateAnswer = false;
        c.privateBytes = SumPrivateCommit();
    }
    MEMORYSTATUSEX ms{};
    ms.dwLength = sizeof ms;
    if (GlobalMemoryStatusEx(&ms)) c.addressSpace = ms.ullTotalVirtual - ms.ullAvailVirtual;
    return c;
}

Counters Measure() {
    Counters c = MeasureMemory();
    DWORD handles = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &handles)) c.handles = handles;
    if (c.handles == 0) {
        gHandleAnswer = false;
        c.handles = ProbeHandleTable(c.dialogKeys);
    }
    c.gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    c.user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    if (c.gdi == 0 && c.user == 0) {
        gGuiResourcesAnswer = false;
        c.gdi = ProbeGdiTable();
        c.user = CountThreadWindows();
    }
    return c;
}

// Answers the save dialog with OK from its hook, keeping the proposed name.
struct AcceptDialog : cCommonDialog::Events {
    int shown = 0;
    void InitDialog(WindowHandle hDlg) override {
        ++shown;
        HWND dialog = GetParent(reinterpret_cast<HWND>(hDlg));
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    }
};

int SoakCount() {
    const char* n = std::getenv("CORVALE_SOAK_N");
    const int v = n ? std::atoi(n) : 0;
    return v > 0 ? v : 50;
}

class Soak : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        folder_ = Utf8FromWide(temp) + "corvale-soak-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryW(WideFromUtf8(folder_).c_str(), nullptr);
        MainWindowServices s = SystemServices(wmi_);
        s.specialFolderPath = [this](int) { return folder_; };
        s.saveList = [this](HWND owner, std::string& path, const ListControl& list) {
            SaveListWithSystemDialog(
                owner, path, list, [] { PumpPendingMessages(); }, &accept_);
        };
        s.endProgram = nullptr;
        window_ = OpenMainWindow(GetModuleHandleW(nullptr), std::move(s));
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override {
        window_.reset();
        test_support::DrainQuit();
        DeleteFileW(WideFromUtf8(folder_ + "\\Corvale_By_Varnholt.txt").c_str());
        RemoveDirectoryW(WideFromUtf8(folder_).c_str());
    }

    HWND Child(const char* name) const { return window_->Child(name); }
    void Click(const char* button) {
        SendMessageW(Child(button), BM_CLICK, 0, 0);
        PumpPendingMessages();
    }
    bool Refresh() {
        SendMessageW(Child("Command1"), BM_CLICK, 0, 0);
        return PumpUntil([&] { return IsWindowEnabled(Child("Command1")) != FALSE; }, 60000);
    }
    // Selects a row and double-clicks it, then closes the detail window it opened.
    bool OpenAndCloseDetail(int index) {
        HWND list = Child("ListView1");
        LVITEMW state{};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(list, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&state));
        RECT r{};
        r.left = LVIR_LABEL;
        SendMessageW(list, LVM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
        const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
        SendMessageW(list, WM_LBUTTONUP, 0, at);
        PumpPendingMessages();
        FrmDetailService* detail = window_->DetailWindow();
        if (!detail) return false;
        HWND hwnd = detail->Hwnd();
        const bool filled = GetWindowTextLengthW(detail->TextBox()) > 0;
        SendMessageW(hwnd, WM_CLOSE, 0, 0);
        PumpPendingMessages();
        return filled && !IsWindow(hwnd) && window_->DetailWindow() == nullptr;
    }
    int Rows() {
        return static_cast<int>(SendMessageW(Child("ListView1"), LVM_GETITEMCOUNT, 0, 0));
    }

    // One round of every operation the soak repeats.
    void Round(int i, int& details, int& saves) {
        ASSERT_TRUE(Refresh()) << "refresh " << i << " never finished";
        ASSERT_GT(Rows(), 0) << "refresh " << i;
        if (i % 5 == 0) {
            EXPECT_TRUE(OpenAndCloseDetail(i / 5 % Rows())) << "detail window " << i / 5;
            ++details;
        }
        if (i % 10 == 0) {
            const int before = accept_.shown;
            Click("Command2");
            EXPECT_EQ(accept_.shown, before + 1) << "save " << i / 10;
            Click("Command3");
            ++saves;
        }
    }

    ComApartment com_;
    SystemWmiLocator wmi_;
    std::string folder_;
    AcceptDialog accept_;
    std::unique_ptr<FrmMain> window_;
};

void Print(const char* when, const Counters& c) {
    std::printf("soak: %-6s private bytes %llu, address space %llu, handles %lu (of them %lu "
                "left by the save dialog), GDI %lu, USER %lu\n",
                when, static_cast<unsigned long long>(c.privateBytes),
                static_cast<unsigned long long>(c.addressSpace), c.handles, c.dialogKeys, c.gdi,
                c.user);
}

TEST_F(Soak, RepeatedUseDoesNotGrowTheProcess) {
    const int n = SoakCount();
    int details = 0, saves = 0;
    // Warm-up rounds: what is made once and kept (the dialog's libraries, the list's columns,
    // the clipboard's formats) is not growth.
    for (int i = 0; i < 3; ++i) Round(i, details, saves);
    details = saves = 0;
    PumpPendingMessages();
    const Counters before = Measure();
    Counters peak = before;
    const DWORD started = GetTickCount();
    for (int i = 0; i < n && !HasFatalFailure(); ++i) {
        Round(i, details, saves);
        if ((i + 1) % 100 == 0) {
            std::printf("soak: %d rounds, %lu s\n", i + 1, (GetTickCount() - started) / 1000);
            std::fflush(stdout);
        }
        // The peak follows memory only: counting handles by probing costs seconds under Wine.
        const Counters now = MeasureMemory();
        peak.privateBytes = std::max(peak.privateBytes, now.privateBytes);
        peak.addressSpace = std::max(peak.addressSpace, now.addressSpace);
    }
    PumpPendingMessages();
    const Counters after = Measure();
    std::printf("soak: N=%d: %d refreshes, %d detail windows, %d saves and copies, %lu s, "
                "%d bits\n",
                n, n, details, saves, (GetTickCount() - started) / 1000,
                static_cast<int>(sizeof(void*) * 8));
    if (!gPrivateAnswer)
        std::printf("soak: GetProcessMemoryInfo gives no private bytes here; they are the "
                    "committed private pages (VirtualQuery)\n");
    if (!gHandleAnswer)
        std::printf("soak: GetProcessHandleCount gives no count here; handles are the values "
                    "GetHandleInformation accepts\n");
    if (!gGuiResourcesAnswer)
        std::printf("soak: GetGuiResources gives no answer here; GDI counts the process's GDI "
                    "handle table, USER the thread's windows\n");
    Print("before", before);
    Print("after", after);
    std::printf("soak: peak   private bytes %llu, address space %llu\n",
                static_cast<unsigned long long>(peak.privateBytes),
                static_cast<unsigned long long>(peak.addressSpace));

    // Allowances: a heap settles in steps of its own, so private bytes may grow by a little
    // whatever N is; handles and window-system objects must come back to where they were.
    constexpr std::uint64_t kPrivateAllowance = 2u << 20;
    constexpr unsigned long kHandleAllowance = 4, kGdiAllowance = 4, kUserAllowance = 0;
    EXPECT_LE(after.privateBytes, before.privateBytes + kPrivateAllowance);
    EXPECT_LE(after.handles - after.dialogKeys,
              before.handles - before.dialogKeys + kHandleAllowance);
    EXPECT_LE(after.gdi, before.gdi + kGdiAllowance);
    EXPECT_LE(after.user, before.user + kUserAllowance);
}

} // namespace
} // namespace corvale::win32
