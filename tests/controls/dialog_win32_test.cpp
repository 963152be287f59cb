// The file-dialog component and the report export on the real system: comdlg32's save dialog,
// answered from inside through the hook, the report file, the clipboard and the desktop lookup.
#include "app/win32/report_export_win32.h"
#include "controls/common_dialog.h"
#include "controls/win32/common_dialog_win32.h"
#include "platform/host/memory_list_control.h"
#include "platform/win32/text_seams.h"
#include "platform/win32/wide_text.h"
#include "tests/controls/dialog_watchdog.h"

#include <commdlg.h>
#include <dlgs.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using namespace corvale;
using namespace std::string_literals;

// A fresh folder under the temporary folder, removed with everything in it.
class TempFolder {
  public:
    TempFolder() {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        path_ = std::wstring(base) + L"corvale-dlg-" + std::to_wstring(GetCurrentProcessId()) +
                L"-" + std::to_wstring(counter_++);
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempFolder() {
        for (const std::wstring& name : Files()) {
            const std::wstring full = path_ + L"\\" + name;
            SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(full.c_str());
        }
        RemoveDirectoryW((path_ + L"\\dir.txt").c_str());
        RemoveDirectoryW(path_.c_str());
    }
    std::string Utf8() const { return Utf8FromWide(path_); }
    std::wstring File(const wchar_t* name) const { return path_ + L"\\" + name; }
    std::vector<std::wstring> Files() const {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW((path_ + L"\\*").c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE) return names;
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(fd.cFileName);
        } while (FindNextFileW(h, &fd));
        FindClose(h);
        return names;
    }

  private:
    std::wstring path_;
    static inline int counter_ = 0;
};

std::string ReadBytes(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    std::string out;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) out.append(buf, got);
    CloseHandle(h);
    return out;
}

void WriteBytes(const std::wstring& path, std::string_view bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

using corvale::testing::DialogWatchdog;

// Answers the dialog from its hook: optionally types a name, then presses OK (or Cancel).
struct AnsweringEvents : cCommonDialog::Events {
    std::wstring typeName; // for the name box of the wide dialog; empty keeps the proposal
    bool cancel = false;
    int refuseFirstOks = 0;
    int initCount = 0, okCount = 0, closeCount = 0;
    HWND dialog = nullptr;
    WindowHandle hook = 0;

    void InitDialog(WindowHandle hDlg) override {
        ++initCount;
        hook = hDlg;
        dialog = GetParent(reinterpret_cast<HWND>(hDlg));
        if (!typeName.empty()) {
            // Posted, so it runs once the dialog has finished setting itself up.
            PostMessageW(dialog, CDM_SETCONTROLTEXT, edt1,
                         reinterpret_cast<LPARAM>(typeName.c_str()));
            PostMessageW(dialog, CDM_SETCONTROLTEXT, cmb13,
                         reinterpret_cast<LPARAM>(typeName.c_str()));
        }
        PressButton(cancel ? IDCANCEL : IDOK);
    }
    void DialogOK(bool& bCancel) override {
        ++okCount;
        if (refuseFirstOks > 0) {
            --refuseFirstOks;
            bCancel = true;
            PressButton(IDOK);
        }
    }
    void DialogClose() override { ++closeCount; }
    void PressButton(int id) {
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    }
};

MemoryListControl TwoRowList() {
    MemoryListControl list({"Service Display Name", "Service", "PID", "PID Memory", "Path"});
    int r = list.AddRow("Remote Procedure Call (RPC)");
    list.SetCellText(r, 1, "RpcSs");
    list.SetCellText(r, 2, "812");
    list.SetCellText(r, 3, "08.25 MB");
    list.SetCellText(r, 4, "C:\\Windows\\system32\\svchost.exe -k rpcss");
    r = list.AddRow("Caf\xC3\xA9 Service"); // "Café Service"
    list.SetCellText(r, 1, "cafe");
    list.SetCellText(r, 2, "4");
    list.SetCellText(r, 3, "");
    list.SetCellText(r, 4, "C:\\svchost.exe");
    return list;
}

// The report of TwoRowList as text, and as the ANSI file must hold it in code page 1252.
std::string TwoRowReport() {
    const std::string sep = std::string(62, '-') + "\r\n";
    return sep + "Service Display Name: Remote Procedure Call (RPC)\r\n" +
           "Service: RpcSs\r\nPID: 812\r\nPID Memory: 08.25 MB\r\n" +
           "Path: C:\\Windows\\system32\\svchost.exe -k rpcss\r\n" + sep + sep +
           "Service Display Name: Caf\xC3\xA9 Service\r\nService: cafe\r\nPID: 4\r\n" +
           "PID Memory: \r\nPath: C:\\svchost.exe\r\n" + sep;
}

std::string TwoRowReportAnsi1252() {
    std::string text = TwoRowReport();
    text.replace(text.find("\xC3\xA9"), 2, "\xE9");
    return text;
}

bool SameFile(const std::string& a, const std::string& b) {
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) ==
           CSTR_EQUAL;
}

#if !defined(_WIN64)
// On 32-bit Windows the record built byte for byte is the system's own structure: every field
// written at its offset is read back by the structure's member of the same name.
TEST(DialogRecordLayout, EveryFieldLandsInTheSystemStructure) {
    FileDialogRecord record;
    auto mark = [](std::size_t offset) { return 0x10203000u + static_cast<std::uint32_t>(offset); };
    for (std::size_t offset = 0; offset < ofn::kRecordSize; offset += 4)
        if (offset != ofn::kFileOffset) record.SetU32(offset, mark(offset));
    record.SetU16(ofn::kFileOffset, 0x1234);
    record.SetU16(ofn::kFileExtension, 0x5678);
    // The record is the structure's first (pre-Windows 2000) form, which the dialog is shown with.
    EXPECT_EQ(OPENFILENAME_SIZE_VERSION_400A, ofn::kRecordSize);
    OPENFILENAMEA o{};
    std::memcpy(&o, record.bytes.data(), ofn::kRecordSize);
    const auto u32 = [](const void* p) {
        return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p));
    };
    EXPECT_EQ(o.lStructSize, mark(ofn::kStructSize));
    EXPECT_EQ(u32(o.hwndOwner), mark(ofn::kOwner));
    EXPECT_EQ(u32(o.hInstance), mark(ofn::kInstance));
    EXPECT_EQ(u32(o.lpstrFilter), mark(ofn::kFilter));
    EXPECT_EQ(u32(o.lpstrCustomFilter), mark(ofn::kCustomFilter));
    EXPECT_EQ(o.nMaxCustFilter, mark(ofn::kMaxCustomFilter));
    EXPECT_EQ(o.nFilterIndex, mark(ofn::kFilterIndex));
    EXPECT_EQ(u32(o.lpstrFile), mark(ofn::kFile));
    EXPECT_EQ(o.nMaxFile, mark(ofn::kMaxFile));
    EXPECT_EQ(u32(o.lpstrFileTitle), mark(ofn::kFileTitle));
    EXPECT_EQ(o.nMaxFileTitle, mark(ofn::kMaxFileTitle));
    EXPECT_EQ(u32(o.lpstrInitialDir), mark(ofn::kInitialDir));
    EXPECT_EQ(u32(o.lpstrTitle), mark(ofn::kTitle));
    EXPECT_EQ(o.Flags, mark(ofn::kFlags));
    EXPECT_EQ(o.nFileOffset, 0x1234);
    EXPECT_EQ(o.nFileExtension, 0x5678);
    EXPECT_EQ(u32(o.lpstrDefExt), mark(ofn::kDefExt));
    EXPECT_EQ(static_cast<std::uint32_t>(o.lCustData), mark(ofn::kCustData));
    EXPECT_EQ(u32(reinterpret_cast<const void*>(o.lpfnHook)), mark(ofn::kHook));
    EXPECT_EQ(u32(o.lpTemplateName), mark(ofn::kTemplateName));
}
#endif

TEST(DialogSystem, SaveThroughTheHookedDialogWritesTheExactReport) {
    TempFolder folder;
    const std::string proposal = folder.Utf8() + "\\Corvale_By_Varnholt.txt";
    const std::string chosen = folder.Utf8() + "\\chosen.txt";
    MemoryListControl list = TwoRowList();
    AnsweringEvents events;
    events.typeName = WideFromUtf8(chosen);
    std::string reportPath = proposal;
    int yields = 0;

    DialogWatchdog watchdog;
    const SaveListResult result = win32::SaveListWithSystemDialog(
        nullptr, reportPath, list, [&] { ++yields; }, &events);
    ASSERT_FALSE(DialogWatchdog::Fired());
    EXPECT_EQ(result, SaveListResult::Written);
    EXPECT_EQ(events.initCount, 1);
    EXPECT_EQ(events.okCount, 1);
    EXPECT_EQ(events.closeCount, 1);
    EXPECT_TRUE(SameFile(reportPath, chosen)) << reportPath;
    EXPECT_EQ(yields, 2);

    const std::string bytes = ReadBytes(folder.File(L"chosen.txt"));
    if (GetACP() == 1252) {
        EXPECT_EQ(bytes, TwoRowReportAnsi1252());
    } else {
        EXPECT_EQ(bytes.size(), TwoRowReportAnsi1252().size()) << "code page " << GetACP();
    }
    // Only the report: no temporary file left beside it, and the proposal was not written.
    EXPECT_EQ(folder.Files(), std::vector<std::wstring>{L"chosen.txt"});
}

TEST(DialogSystem, CancelKeepsTheReportPathAndWritesNothing) {
    TempFolder folder;
    const std::string proposal = folder.Utf8() + "\\Corvale_By_Varnholt.txt";
    MemoryListControl list = TwoRowList();
    AnsweringEvents events;
    events.cancel = true;
    std::string reportPath = proposal;

    DialogWatchdog watchdog;
    EXPECT_EQ(win32::SaveListWithSystemDialog(nullptr, reportPath, list, {}, &events),
              SaveListResult::Cancelled);
    ASSERT_FALSE(DialogWatchdog::Fired());
    EXPECT_EQ(events.initCount, 1);
    EXPECT_EQ(events.okCount, 0);
    EXPECT_EQ(reportPath, proposal);
    EXPECT_TRUE(folder.Files().empty());
}

TEST(DialogSystem, OkWithTheProposalFillsTheProperties) {
    TempFolder folder;
    const std::string proposal = folder.Utf8() + "\\report.txt";
    cCommonDialog dlg(win32::SystemDialogApi());
    AnsweringEvents events;
    dlg.SetEvents(&events);
    dlg.SetHookDialog(true);
    dlg.SetDialogTitle("List Save Location");
    dlg.SetFilter("Text Files (*.txt)|*.txt");
    dlg.SetFilename(proposal);

    DialogWatchdog watchdog;
    EXPECT_EQ(dlg.ShowSave(), DialogOutcome::Chosen);
    ASSERT_FALSE(DialogWatchdog::Fired());
    EXPECT_EQ(dlg.APIReturn(), 1);
    EXPECT_TRUE(SameFile(dlg.Filename(), proposal)) << dlg.Filename();
    EXPECT_TRUE(SameFile(dlg.FileTitle(), "report.txt")) << dlg.FileTitle();
    EXPECT_EQ(dlg.Filter(), "Text Files (*.txt)\0*.txt"s);
    EXPECT_EQ(dlg.FilterIndex(), 1);
    EXPECT_TRUE(FlagSet(static_cast<std::uint32_t>(dlg.flags()), 0x80020u)); // hook flags back
    EXPECT_EQ(mDialogHook::HookTarget(), nullptr);

    std::string dir;
    std::vector<std::string> files;
    std::int32_t count = 0;
    dlg.ParseMultiFileName(dir, files, count);
    EXPECT_TRUE(SameFile(dir, folder.Utf8())) << dir;
    ASSERT_EQ(count, 1);
    EXPECT_TRUE(SameFile(files[0], "report.txt"));
}

TEST(DialogSystem, RefusedOkKeepsTheDialogOpenUntilAccepted) {
    TempFolder folder;
    cCommonDialog dlg(win32::SystemDialogApi());
    dlg.SetHookDialog(true);
    dlg.SetFilename(folder.Utf8() + "\\twice.txt");

    // On the first OK, centre the dialog on the work area and read where it went.
    struct Centring : AnsweringEvents {
        cCommonDialog* dlg = nullptr;
        std::int32_t l = 0, t = 0, w = 0, h = 0;
        void DialogOK(bool& bCancel) override {
            if (w == 0) {
                dlg->CentreDialog(hook, std::nullopt);
                dlg->GetDialogSize(hook, l, t, w, h);
            }
            AnsweringEvents::DialogOK(bCancel);
        }
    } centring;
    centring.refuseFirstOks = 1;
    centring.dlg = &dlg;
    dlg.SetEvents(&centring);
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);

    DialogWatchdog watchdog;
    EXPECT_EQ(dlg.ShowSave(), DialogOutcome::Chosen);
    ASSERT_FALSE(DialogWatchdog::Fired());
    EXPECT_EQ(centring.okCount, 2);
    ASSERT_GT(centring.w, 0);
    EXPECT_EQ(centring.l, work.left + (work.right - work.left - centring.w) / 2);
    EXPECT_EQ(centring.t, work.top + (work.bottom - work.top - centring.h) / 2);
}

TEST(DialogSystem, FileTitleAndTemplateLibrary) {
    GCommonDialog g(win32::SystemDialogApi());
    EXPECT_EQ(g.VBGetFileTitle("C:\\some folder\\name.txt"), "name.txt");

    cCommonDialog dlg(win32::SystemDialogApi());
    dlg.cdLoadLibrary("comdlg32.dll");
    EXPECT_NE(dlg.hInstance(), 0);
    dlg.cdFreeLibrary();
    EXPECT_EQ(dlg.hInstance(), 0);
    dlg.cdLoadLibrary("no-such-library-here.dll");
    EXPECT_EQ(dlg.hInstance(), 0);
}

TEST(ReportFileSystem, ReplacesAnExistingFileWhole) {
    TempFolder folder;
    const std::wstring target = folder.File(L"r.txt");
    WriteBytes(target, std::string(5000, 'x'));
    win32::Win32FileWriter writer;
    ASSERT_TRUE(writer.WriteTextFile(Utf8FromWide(target), "one\r\ntwo\r\n"));
    EXPECT_EQ(ReadBytes(target), "one\r\ntwo\r\n");
    ASSERT_TRUE(writer.WriteTextFile(Utf8FromWide(target), ""));
    EXPECT_EQ(ReadBytes(target), "");
    EXPECT_EQ(folder.Files(), std::vector<std::wstring>{L"r.txt"});
}

TEST(ReportFileSystem, FailedSaveKeepsTheOldFile) {
    TempFolder folder;
    win32::Win32FileWriter writer;

    // A read-only report cannot be replaced.
    const std::wstring locked = folder.File(L"locked.txt");
    WriteBytes(locked, "old report");
    SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(writer.WriteTextFile(Utf8FromWide(locked), "new report"));
    EXPECT_EQ(ReadBytes(locked), "old report");

    // A report another program holds open without sharing cannot be replaced either.
    const std::wstring busy = folder.File(L"busy.txt");
    WriteBytes(busy, "busy report");
    HANDLE held = CreateFileW(busy.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(writer.WriteTextFile(Utf8FromWide(busy), "new report"));
    CloseHandle(held);
    EXPECT_EQ(ReadBytes(busy), "busy report");

    // A folder that does not exist.
    EXPECT_FALSE(writer.WriteTextFile(folder.Utf8() + "\\missing\\r.txt", "x"));
    EXPECT_FALSE(writer.WriteTextFile("", "x"));
    EXPECT_FALSE(writer.WriteTextFile(folder.Utf8() + "\\", "x"));
    CreateDirectoryW(folder.File(L"dir.txt").c_str(), nullptr); // a folder is not a report
    EXPECT_FALSE(writer.WriteTextFile(folder.Utf8() + "\\dir.txt", "x"));

    // No temporary file is left behind by any of them.
    std::vector<std::wstring> files = folder.Files();
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::wstring>{L"busy.txt", L"locked.txt"}));
}

bool CanCreateIn(const std::wstring& folder) {
    const std::wstring probe = folder + L"\\probe.tmp";
    HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    DeleteFileW(probe.c_str());
    return true;
}

// A folder in which no file may be created while it lives, its files staying writable: the
// read-only attribute (under Wine the folder loses its write permission, which binds every
// user but the host's administrator).
class NoNewFilesFolder {
  public:
    explicit NoNewFilesFolder(const std::wstring& folder) : folder_(folder) {
        SetFileAttributesW(folder_.c_str(), FILE_ATTRIBUTE_READONLY);
        refuses_ = !CanCreateIn(folder_);
    }
    ~NoNewFilesFolder() { SetFileAttributesW(folder_.c_str(), FILE_ATTRIBUTE_NORMAL); }
    NoNewFilesFolder(const NoNewFilesFolder&) = delete;
    NoNewFilesFolder& operator=(const NoNewFilesFolder&) = delete;
    bool Refuses() const { return refuses_; }

  private:
    std::wstring folder_;
    bool refuses_ = false;
};

// CORVALE_NO_NEW_FILES_DIR may name a folder prepared outside (for instance made immutable on
// the host) that refuses new files and holds a writable r.txt.
TEST(ReportFileSystem, AFolderThatForbidsNewFilesGetsTheReportWrittenInPlace) {
    TempFolder temp;
    wchar_t prepared[MAX_PATH] = {};
    const bool given = GetEnvironmentVariableW(L"CORVALE_NO_NEW_FILES_DIR", prepared, MAX_PATH) > 0;
    const std::wstring folder = given ? std::wstring(prepared) : WideFromUtf8(temp.Utf8());
    const std::wstring target = folder + L"\\r.txt";
    if (!given) WriteBytes(target, std::string(3000, 'o'));
    win32::Win32FileWriter writer;
    NoNewFilesFolder locked(folder);
    if (!locked.Refuses())
        GTEST_SKIP() << "the read-only attribute does not stop this user creating files";
    ASSERT_TRUE(writer.WriteTextFile(Utf8FromWide(target), "new\r\nreport\r\n"))
        << writer.FailureReason();
    EXPECT_EQ(ReadBytes(target), "new\r\nreport\r\n");
    // A new report cannot be made there at all: that is said, with the system's reason.
    EXPECT_FALSE(writer.WriteTextFile(Utf8FromWide(folder) + "\\other.txt", "x"));
    EXPECT_EQ(writer.FailureReason(), win32::SystemErrorText(ERROR_ACCESS_DENIED));
}

TEST(ReportClipboardSystem, TextRoundTripsAndTheCopyButtonPutsTheReport) {
    win32::Win32Clipboard clipboard;
    const std::string text = "Zeile 1\r\n\xC3\x84rger \xE2\x82\xAC und \xE4\xB8\xAD"; // Ä, €, 中
    ASSERT_TRUE(clipboard.SetText(text));
    EXPECT_EQ(clipboard.GetText(), text);

    MemoryListControl list = TwoRowList();
    ASSERT_TRUE(win32::CopyListToSystemClipboard(nullptr, list));
    EXPECT_EQ(clipboard.GetText(), TwoRowReport());

    // The system offers the same text to programs that ask for ANSI text.
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE ansi = GetClipboardData(CF_TEXT);
    std::string ansiText;
    if (ansi) {
        if (const char* p = static_cast<const char*>(GlobalLock(ansi))) {
            ansiText = p;
            GlobalUnlock(ansi);
        }
    }
    CloseClipboard();
    if (GetACP() == 1252) {
        EXPECT_EQ(ansiText, TwoRowReportAnsi1252());
    }

    // An empty list leaves empty text.
    MemoryListControl empty({"a"});
    ASSERT_TRUE(win32::CopyListToSystemClipboard(nullptr, empty));
    EXPECT_EQ(clipboard.GetText(), "");
}

TEST(SpecialFolderSystem, DesktopPathAndDefaultReportPath) {
    const std::string desktop = win32::GetSpecialFolderPath(0);
    ASSERT_FALSE(desktop.empty());
    EXPECT_NE(desktop.back(), '\\');
    const DWORD attributes = GetFileAttributesW(WideFromUtf8(desktop).c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(win32::DefaultReportPath(), desktop + "\\Corvale_By_Varnholt.txt");
    EXPECT_EQ(win32::GetSpecialFolderPath(0x7FFF), ""); // no such folder
}

} // namespace
