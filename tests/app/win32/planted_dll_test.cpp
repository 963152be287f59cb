// DLLs of the same names as those the program loads at run time, planted in its current folder
// and beside it, are never loaded: Corvale.exe starts from a folder holding them, shows its
// window and ends cleanly, and none of them has announced itself. The copy of the program has no
// zlib1.dll beside it, so the zlib names are looked for nowhere else. Wine would take its own
// uxtheme, msimg32 and gdiplus over any file of that name; the child is told to prefer files
// ("native"), as Windows does, so a search that reaches a planted one loads it. The program's
// own folder holds planted msimg32 and gdiplus too: a bare-name load would take them first.
#include "demo/win32/demo_services.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const wchar_t* const kSystemNames[] = {L"uxtheme.dll", L"msimg32.dll", L"gdiplus.dll"};
const wchar_t* const kZlibNames[] = {L"zlib1.dll", L"zlib.dll"};
// Beside the program only what no DLL of the system imports by itself: Wine's comctl32 takes
// uxtheme through its import table, out of the program's reach.
const wchar_t* const kBesideNames[] = {L"msimg32.dll", L"gdiplus.dll"};

std::wstring TempFolder(const wchar_t* name) {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    const std::wstring folder =
        std::wstring(base) + name + L"-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

struct Found {
    DWORD pid;
    HWND window;
};

BOOL CALLBACK FindTopWindow(HWND hwnd, LPARAM param) {
    auto* f = reinterpret_cast<Found*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != f->pid || !IsWindowVisible(hwnd)) return TRUE;
    f->window = hwnd;
    return FALSE;
}

TEST(PlantedDll, NoneIsLoadedFromTheCurrentFolder) {
    const std::wstring program =
        corvale::demo::WindowsPathOf(corvale::demo::FromUtf8(CORVALE_PROGRAM_PATH));
    const std::wstring plantedDll =
        corvale::demo::WindowsPathOf(corvale::demo::FromUtf8(CORVALE_PLANTED_DLL_PATH));
    const std::wstring programFolder = TempFolder(L"corvale-program");
    const std::wstring here = TempFolder(L"corvale-planted");
    const std::wstring copy = programFolder + L"\\Corvale.exe";
    ASSERT_TRUE(CopyFileW(program.c_str(), copy.c_str(), FALSE)) << GetLastError();
    std::vector<std::wstring> planted;
    for (const wchar_t* name : kSystemNames) planted.push_back(here + L"\\" + name);
    for (const wchar_t* name : kBesideNames) planted.push_back(programFolder + L"\\" + name);
    for (const wchar_t* name : kZlibNames) planted.push_back(here + L"\\" + name);
    for (const std::wstring& path : planted) {
        DeleteFileW((path + L".loaded").c_str());
        ASSERT_TRUE(CopyFileW(plantedDll.c_str(), path.c_str(), FALSE)) << GetLastError();
    }
    // The check itself works: a plain load from the folder announces the DLL.
    SetDllDirectoryW(nullptr);
    const std::wstring probe = here + L"\\zlib.dll";
    EXPECT_EQ(LoadLibraryW(probe.c_str()), nullptr);
    EXPECT_NE(GetFileAttributesW((probe + L".loaded").c_str()), INVALID_FILE_ATTRIBUTES);
    DeleteFileW((probe + L".loaded").c_str());

    // Under Wine, ctest gives the test (and so the program) WINEDLLOVERRIDES preferring files
    // for the planted names; Wine keeps WINE* variables out of a process's own environment.
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring line = L"\"" + copy + L"\"";
    ASSERT_TRUE(CreateProcessW(copy.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               here.c_str(), &si, &pi))
        << GetLastError();
    Found found{pi.dwProcessId, nullptr};
    for (int i = 0; i < 300 && !found.window; ++i) {
        Sleep(100);
        EnumWindows(FindTopWindow, reinterpret_cast<LPARAM>(&found));
    }
    EXPECT_NE(found.window, nullptr) << "no main window";
    if (found.window) PostMessageW(found.window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(pi.hProcess, 30000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(code, 0u);

    for (const std::wstring& path : planted) {
        EXPECT_EQ(GetFileAttributesW((path + L".loaded").c_str()), INVALID_FILE_ATTRIBUTES)
            << corvale::demo::ToUtf8(path) << " was loaded";
    }
}

} // namespace
