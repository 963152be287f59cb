// The colour, font, print and help calls on the real system: the 32-bit records against the
// platform's structures, the colour and font dialogs answered from their hooks, the print
// dialogs without a printer and the help engine without its file.
#include "controls/common_dialog.h"
#include "controls/win32/common_dialog_win32.h"
#include "controls/win32/dialog_records_win32.h"
#include "tests/controls/dialog_watchdog.h"

#include <cderr.h>
#include <dlgs.h>
#include <windows.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>

namespace {

using namespace corvale;

using Watchdog = corvale::testing::DialogWatchdog;

// Each byte of a record gets its own value, then the pointer fields are set to the marker.
template <std::size_t N> void FillDistinct(ByteRecord<N>& r) {
    for (std::size_t i = 0; i < N; ++i) r.bytes[i] = static_cast<std::uint8_t>(0x11 + i);
}

// The platform structure equals the record byte for byte outside the pointer fields.
template <std::size_t N>
void ExpectSameBytes(const void* platform, const ByteRecord<N>& r,
                     std::initializer_list<std::size_t> pointers) {
    std::array<std::uint8_t, N> a{}, b = r.bytes;
    std::memcpy(a.data(), platform, N);
    for (std::size_t p : pointers) {
        std::memset(a.data() + p, 0, 4);
        std::memset(b.data() + p, 0, 4);
    }
    EXPECT_EQ(a, b);
}

TEST(DialogRecordsSystem, RecordsAreThePlatformStructuresOnThe32BitTarget) {
#if defined(_WIN64)
    GTEST_SKIP() << "64-bit Windows uses its own wider structures";
#else
    ColorDialogRecord c;
    FillDistinct(c);
    c.SetU32(cc::kStructSize, 36);
    c.SetU32(cc::kTemplateName, 0x1234); // a resource number
    CHOOSECOLORA cp = win32::ToPlatform(c);
    ExpectSameBytes(&cp, c, {cc::kCustColors, cc::kHook});
    EXPECT_EQ(cp.lpCustColors, reinterpret_cast<COLORREF*>(c.customColors.data()));
    EXPECT_EQ(cp.lpfnHook, &win32::DialogHookProc);

    FontDialogRecord f;
    FillDistinct(f);
    FillDistinct(f.logFont);
    f.SetU32(cf::kStructSize, 60);
    f.SetU32(cf::kTemplateName, 0x77);
    f.SetU32(cf::kStyle, 0);        // no style buffer travels with the record
    f.SetU16(cf::kFontType + 2, 0); // padding
    f.dc = f.I32(cf::kDC);
    LOGFONTA font;
    CHOOSEFONTA fp = win32::ToPlatform(f, font);
    ExpectSameBytes(&fp, f, {cf::kLogFont, cf::kHook});
    ExpectSameBytes(&font, f.logFont, {});
    EXPECT_EQ(fp.lpfnHook, &win32::DialogHookProc);

    PrintDialogRecord p;
    FillDistinct(p);
    p.SetU32(pd::kStructSize, 66);
    p.SetU32(pd::kPrintTemplateName, 0x101);
    p.SetU32(pd::kSetupTemplateName, 0x102);
    p.dc = p.I32(pd::kDC);
    PRINTDLGA pp = win32::ToPlatform(p);
    ExpectSameBytes(&pp, p, {pd::kPrintHook, pd::kSetupHook});
    EXPECT_EQ(pp.lpfnPrintHook, &win32::DialogHookProc);
    EXPECT_EQ(pp.lpfnSetupHook, &win32::DialogHookProc);

    PageSetupRecord s;
    FillDistinct(s);
    s.SetU32(psd::kStructSize, 84);
    s.SetU32(psd::kPagePaintHook, 0); // the component never paints pages
    s.SetU32(psd::kTemplateName, 0x103);
    PAGESETUPDLGA sp = win32::ToPlatform(s);
    ExpectSameBytes(&sp, s, {psd::kPageSetupHook});
    EXPECT_EQ(sp.lpfnPageSetupHook, &win32::DialogHookProc);
#endif
}

// Answers a dialog from its hook: once the dialog is up (a command posted from its first
// message comes back through the hook), runs `pick` on the dialog window and presses OK.
struct PickingEvents : cCommonDialog::Events {
    static constexpr WORD kPickNow = 0x7A11;
    std::function<void(HWND)> pick;
    int initCount = 0;
    void InitDialog(WindowHandle hDlg) override {
        ++initCount;
        PostMessageA(reinterpret_cast<HWND>(hDlg), WM_COMMAND, kPickNow, 0);
    }
    void WMCommand(WindowHandle hDlg, std::uintptr_t& wParam, std::intptr_t&) override {
        if (LOWORD(wParam) != kPickNow) return;
        const HWND dialog = reinterpret_cast<HWND>(hDlg);
        if (pick) pick(dialog);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    }
};

TEST(DialogColorSystem, HookPicksAColourAndOkReturnsIt) {
    cCommonDialog dlg(win32::SystemDialogApi());
    PickingEvents events;
    events.pick = [](HWND dialog) {
        SetDlgItemInt(dialog, 706, 0x12, FALSE); // red, green and blue boxes
        SetDlgItemInt(dialog, 707, 0x34, FALSE);
        SetDlgItemInt(dialog, 708, 0x56, FALSE);
    };
    dlg.SetEvents(&events);
    dlg.SetHookDialog(true);
    dlg.Setflags(0x2);                                   // full open
    dlg.SetColor(static_cast<std::int32_t>(0x80000005)); // the window colour
    dlg.SetCustomColor(2, 0x00ABCDEF);

    Watchdog watchdog;
    EXPECT_TRUE(dlg.ShowColor());
    ASSERT_FALSE(Watchdog::Fired());
    EXPECT_EQ(events.initCount, 1);
    EXPECT_EQ(dlg.Color(), static_cast<std::int32_t>(RGB(0x12, 0x34, 0x56)));
    EXPECT_EQ(dlg.APIReturn(), 1);
    EXPECT_EQ(dlg.CustomColor(2), 0x00ABCDEF);
    EXPECT_EQ(dlg.CustomColor(0), static_cast<std::int32_t>(GetSysColor(0)));
    EXPECT_EQ(mDialogHook::HookTarget(), nullptr);
}

TEST(DialogFontSystem, HookPicksAFontAndOkReturnsIt) {
    cCommonDialog dlg(win32::SystemDialogApi());
    PickingEvents events;
    std::string picked;
    events.pick = [&picked](HWND dialog) {
        // Another face than the first, whatever fonts this system has, and 14 points.
        const HWND faces = GetDlgItem(dialog, cmb1);
        const LRESULT count = SendMessageA(faces, CB_GETCOUNT, 0, 0);
        const WPARAM index = count > 1 ? 1 : 0;
        char name[LF_FACESIZE] = {};
        if (SendMessageA(faces, CB_GETLBTEXTLEN, index, 0) < LF_FACESIZE)
            SendMessageA(faces, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(name));
        picked = name;
        SendMessageA(faces, CB_SETCURSEL, index, 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(cmb1, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(faces));
        const HWND sizes = GetDlgItem(dialog, cmb3);
        SendMessageA(sizes, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                     reinterpret_cast<LPARAM>("14"));
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(cmb3, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(sizes));
    };
    dlg.SetEvents(&events);
    dlg.SetHookDialog(true);
    dlg.SetFontName("Courier New");
    dlg.SetFontSize(9);

    Watchdog watchdog;
    EXPECT_TRUE(dlg.ShowFont());
    ASSERT_FALSE(Watchdog::Fired());
    EXPECT_FALSE(picked.empty());
    EXPECT_EQ(dlg.FontName(), picked);
    EXPECT_EQ(dlg.FontSize(), 14);
    EXPECT_TRUE(dlg.flags() & 0x1); // screen fonts
    EXPECT_EQ(events.initCount, 1);
}

bool AnyPrinter() {
    DWORD needed = 0, count = 0;
    EnumPrintersA(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 1, nullptr, 0, &needed,
                  &count);
    return needed > 0;
}

TEST(DialogPrintSystem, WithoutAPrinterTheDialogsFailCleanly) {
    if (AnyPrinter()) GTEST_SKIP() << "a printer is installed";
    cCommonDialog dlg(win32::SystemDialogApi());
    auto printer = std::make_shared<PrinterObject>();
    printer->Copies = 3;
    dlg.SetObject(printer);
    dlg.SetCopies(2);
    dlg.SetFromPage(1);
    dlg.SetToPage(5);
    dlg.Setflags(0x2);

    // The system may say that there is no printer in a message box of its own: answer it.
    Watchdog answerer(500);
    EXPECT_FALSE(dlg.ShowPrinter());
    EXPECT_EQ(dlg.APIReturn(), 0);
    EXPECT_EQ(dlg.ExtendedError(), CommDlgExtendedError());
    EXPECT_EQ(dlg.Copies(), 2);
    EXPECT_EQ(dlg.FromPage(), 1);
    EXPECT_EQ(dlg.ToPage(), 5);
    EXPECT_EQ(dlg.flags(), 0x2);
    EXPECT_EQ(dlg.hDC(), 0);
    EXPECT_EQ(dlg.PrinterName(), "");
    EXPECT_EQ(printer->Copies, 3);

    GCommonDialog g(win32::SystemDialogApi());
    PageSetupArgs a;
    a.LeftMargin = 1;
    a.Printer = printer.get();
    EXPECT_FALSE(g.VBPageSetupDlg2(a));
    EXPECT_EQ(g.ExtendedError(), static_cast<std::uint32_t>(PDERR_NODEFAULTPRN));
    EXPECT_EQ(a.LeftMargin, 1);
    EXPECT_EQ(printer->Copies, 3);
}

// A PostScript printer in this test's prefix: the spooler's built-in generic PPD written to the
// printer-driver folder, Wine's PostScript driver over it, the printer on port "FILE:" made the
// default. Removed again afterwards, so later tests see the prefix as it was.
class TestPrinter {
  public:
    static constexpr wchar_t kName[] = L"Corvale Test Printer";
    static constexpr wchar_t kDriver[] = L"Corvale Test PostScript";

    TestPrinter() {
        wchar_t dir[MAX_PATH] = {};
        DWORD needed = 0;
        if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(dir),
                                        sizeof dir, &needed)) {
            failure_ = "no printer-driver folder";
            return;
        }
        HMODULE spooler = GetModuleHandleW(L"winspool.drv");
        HRSRC res = FindResourceW(spooler, MAKEINTRESOURCEW(1), L"PPDFILE");
        HGLOBAL loaded = res ? LoadResource(spooler, res) : nullptr;
        const void* ppd = loaded ? LockResource(loaded) : nullptr;
        if (!ppd) {
            failure_ = "the spooler carries no PPD";
            return;
        }
        ppd_ = std::wstring(dir) + L"\\corvale-test.ppd";
        HANDLE file = CreateFileW(ppd_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        const DWORD size = SizeofResource(spooler, res);
        const bool wrote = file != INVALID_HANDLE_VALUE &&
                           WriteFile(file, ppd, size, &written, nullptr) && written == size;
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        if (!wrote) {
            failure_ = "cannot write the PPD";
            return;
        }

        DRIVER_INFO_3W driver{};
        driver.cVersion = 3;
        driver.pName = const_cast<wchar_t*>(kDriver);
        driver.pDriverPath = const_cast<wchar_t*>(L"wineps.drv");
        driver.pDataFile = ppd_.data();
        driver.pConfigFile = const_cast<wchar_t*>(L"wineps.drv");
        driver.pDefaultDataType = const_cast<wchar_t*>(L"RAW");
        if (!AddPrinterDriverW(nullptr, 3, reinterpret_cast<BYTE*>(&driver))) {
            failure_ = "AddPrinterDriver failed: " + std::to_string(GetLastError());
            return;
        }
        driverAdded_ = true;

        PRINTER_INFO_2W info{};
        info.pPrinterName = const_cast<wchar_t*>(kName);
        info.pPortName = const_cast<wchar_t*>(L"FILE:");
        info.pDriverName = const_cast<wchar_t*>(kDriver);
        info.pPrintProcessor = const_cast<wchar_t*>(L"WinPrint");
        info.pDatatype = const_cast<wchar_t*>(L"RAW");
        HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
        if (!printer) {
            failure_ = "AddPrinter failed: " + std::to_string(GetLastError());
            return;
        }
        ClosePrinter(printer);
        printerAdded_ = true;
        if (!SetDefaultPrinterW(kName)) failure_ = "SetDefaultPrinter failed";
    }

    ~TestPrinter() {
        HANDLE printer = nullptr;
        PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
        if (printerAdded_ && OpenPrinterW(const_cast<wchar_t*>(kName), &printer, &access)) {
            DeletePrinter(printer);
            ClosePrinter(printer);
        }
        if (driverAdded_) DeletePrinterDriverW(nullptr, nullptr, const_cast<wchar_t*>(kDriver));
        if (!ppd_.empty()) DeleteFileW(ppd_.c_str());
    }
    TestPrinter(const TestPrinter&) = delete;
    TestPrinter& operator=(const TestPrinter&) = delete;

    bool Ready() const { return failure_.empty(); }
    const std::string& Failure() const { return failure_; }

  private:
    std::wstring ppd_;
    bool driverAdded_ = false, printerAdded_ = false;
    std::string failure_;
};

TEST(DialogPrintSystem, WithAPrinterThePrintAndPageSetupDialogsAnswer) {
    TestPrinter installed;
    ASSERT_TRUE(installed.Ready()) << installed.Failure();

    cCommonDialog dlg(win32::SystemDialogApi());
    PickingEvents events;
    dlg.SetEvents(&events);
    dlg.SetHookDialog(true);
    auto printer = std::make_shared<PrinterObject>();
    dlg.SetObject(printer);
    dlg.SetCopies(3);
    dlg.SetFromPage(2);
    dlg.SetToPage(5);
    dlg.Setflags(0x2); // page numbers
    {
        Watchdog watchdog;
        EXPECT_TRUE(dlg.ShowPrinter());
        ASSERT_FALSE(Watchdog::Fired());
    }
    EXPECT_EQ(events.initCount, 1);
    ASSERT_NE(dlg.hDC(), 0);
    EXPECT_EQ(GetDeviceCaps(reinterpret_cast<HDC>(dlg.hDC()), TECHNOLOGY), DT_RASPRINTER);
    EXPECT_EQ(dlg.Copies(), 3);
    EXPECT_EQ(dlg.FromPage(), 2);
    EXPECT_EQ(dlg.ToPage(), 5);
    EXPECT_TRUE(dlg.flags() & 0x2);
    EXPECT_EQ(dlg.PrinterName(), "Corvale Test Printer");
    EXPECT_EQ(dlg.PrinterOutputPort(), "FILE:");
    EXPECT_FALSE(dlg.PrinterDriver().empty());
    EXPECT_EQ(printer->Copies, 3);
    EXPECT_EQ(printer->Orientation, DMORIENT_PORTRAIT);
    EXPECT_GT(printer->PaperSize, 0);
    EXPECT_NE(printer->PrintQuality, 0);

    // Page setup on the same printer: margins in thousandths of an inch, in and back.
    GCommonDialog g(win32::SystemDialogApi());
    PageSetupArgs a;
    a.LeftMargin = 0.75;
    a.TopMargin = 1;
    a.RightMargin = 1.25;
    a.BottomMargin = 1.5;
    a.Printer = printer.get();
    a.Hook = true;
    a.EventSink = &dlg;
    printer->Copies = 0;
    {
        Watchdog watchdog;
        EXPECT_TRUE(g.VBPageSetupDlg2(a));
        ASSERT_FALSE(Watchdog::Fired());
    }
    EXPECT_EQ(events.initCount, 2);
    EXPECT_DOUBLE_EQ(a.LeftMargin, 0.75);
    EXPECT_DOUBLE_EQ(a.TopMargin, 1);
    EXPECT_DOUBLE_EQ(a.RightMargin, 1.25);
    EXPECT_DOUBLE_EQ(a.BottomMargin, 1.5);
    EXPECT_GT(a.PaperSize, 0);
    EXPECT_EQ(a.Orientation, DMORIENT_PORTRAIT);
    EXPECT_GT(printer->Copies, 0);
}

// Answers "No" to the boxes the help engine, a program of its own, shows while it lives.
class HelpEngineAnswerer {
  public:
    HelpEngineAnswerer() : thread_(CreateThread(nullptr, 0, &Run, this, 0, nullptr)) {}
    ~HelpEngineAnswerer() {
        stop_ = true;
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
    }

  private:
    static bool IsHelpEngine(DWORD pid) {
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
        if (!process) return false;
        wchar_t path[MAX_PATH] = {};
        DWORD size = MAX_PATH;
        const bool named = QueryFullProcessImageNameW(process, 0, path, &size);
        CloseHandle(process);
        const std::wstring name = path;
        const std::wstring tail = L"winhlp32.exe";
        return named && name.size() >= tail.size() &&
               _wcsicmp(name.c_str() + name.size() - tail.size(), tail.c_str()) == 0;
    }
    static BOOL CALLBACK AnswerOne(HWND w, LPARAM) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        wchar_t cls[16] = {};
        GetClassNameW(w, cls, 16);
        if (pid != GetCurrentProcessId() && std::wstring(cls) == L"#32770" && IsHelpEngine(pid))
            PostMessageW(w, WM_COMMAND, IDNO, 0);
        return TRUE;
    }
    static DWORD WINAPI Run(void* self) {
        while (!static_cast<HelpEngineAnswerer*>(self)->stop_) {
            EnumWindows(&HelpEngineAnswerer::AnswerOne, 0);
            Sleep(100);
        }
        return 0;
    }
    std::atomic<bool> stop_{false};
    HANDLE thread_;
};

TEST(DialogHelpSystem, MissingHelpFileDoesNotCrash) {
    const std::string file = "C:\\no-such-folder\\corvale-missing.hlp";
    {
        HelpEngineAnswerer answerer;
        cCommonDialog dlg(win32::SystemDialogApi());
        dlg.SetHelpFile(file);
        dlg.SetHelpCommand(HELP_CONTENTS);
        dlg.ShowHelp();
        dlg.SetHelpPosition(10, 10, 400, 300, SW_SHOWNORMAL);
        dlg.SetHelpFile("");
        dlg.ShowHelp();
        EXPECT_FALSE(dlg.IsFileDialog());
    }
    WinHelpA(nullptr, file.c_str(), HELP_QUIT, 0); // ends the help engine if it started
}

} // namespace
